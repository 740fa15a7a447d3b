// The window on the real RTU link, talking to the device simulator.
#include "CliEnvironment.h"
#include "PlannedWrites.h"
#include "DeviceProfile.h"
#include "FactoryDefaults.h"
#include "FakeLink.h"
#include "FieldCodecs.h"
#include "FormMain.h"
#include "ImageFile.h"
#include "Messages.h"
#include "RegisterMap.h"
#include "RegisterText.h"
#include "RememberedPorts.h"
#include "RtuLink.h"
#include "SimWindow.h"
#include "WindowTimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The writes of a whole configuration, as many as the register map has.
const int kWrites = plannedwrites::count();


QString writeImage(const QTemporaryDir &dir, const std::vector<quint16> &image)
{
    QJsonArray array;
    for (quint16 v : image)
        array.append(v);
    const QString path = dir.filePath(QStringLiteral("image.json"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(array).toJson());
    return path;
}

void putText(std::vector<quint16> &image, int slot, const QByteArray &bytes)
{
    const QVector<quint16> regs = regtext::bytesToRegisters(bytes);
    std::copy(regs.begin(), regs.end(), image.begin() + slot);
}

// The image the same edits give on the in-process device; r's messages stay caught.
std::vector<quint16> referenceImage(SimWindow &r)
{
    FormMain::setMessageHook([](const QString &) {});
    FakeLink fake;
    FormMain reference(&fake);
    reference.InitializeWindow();
    reference.ToggleConnection();
    editEveryField(reference);
    reference.WriteAllParameters();
    FormMain::setMessageHook([&r](const QString &text) { r.messages << text; });
    return fake.image;
}

// The rate a terminal's line is set to, as a serial server set it.
int lineSpeed(const QString &tty)
{
    const int fd = ::open(QFile::encodeName(tty).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    const bool ok = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        return -1;
    switch (cfgetospeed(&tio)) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    default: return 0;
    }
}

} // namespace

class WindowEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void aConnectFillsTheWindowFromTheDevice()
    {
        SimWindow r;
        QVERIFY(r.start());
        r.form->cmdConnect->click();
        QCOMPARE(r.messages, QStringList({msg::readSucceeded()}));
        FormMain &f = *r.form;
        QVERIFY(f.bConnected);
        QCOMPARE(f.lblVertion->text(), QStringLiteral("V1.5"));
        QCOMPARE(f.txtMiMa->text(), QStringLiteral("739154"));
        QCOMPARE(f.txtOpen[1]->text(), QStringLiteral("设备2开"));
        QCOMPARE(f.txtClose[0]->text(), QStringLiteral("设备1关"));
        QCOMPARE(f.txtCAnswer[1]->text(), QStringLiteral("设备2关闭成功"));
        QCOMPARE(listEntries(f.lstPhone), QStringList({"15800000000"}));
        QCOMPARE(f.strAlarmText[3], QStringLiteral("通道2断开报警"));
        QVERIFY(f.OptMode[2]->isChecked());

        f.cmdRelay[0]->click();
        QCOMPARE(r.sim.dumpImage().at(5), quint16(1));
        QTRY_VERIFY_WITH_TIMEOUT(f.Timer1->isTicking(), 1000);
        QTest::qWait(1200); // a poll repaints from the device: still on
        QCOMPARE(f.cmdRelay[0]->palette().color(QPalette::Button), FormMain::StateColour(true));
        QCOMPARE(f.nRelayBits, qint16(1));
    }

    void theInputsFollowTheDevice()
    {
        SimWindow r({"--inputs-toggle", "0.7"});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        QSet<bool> seen;
        QElapsedTimer t;
        t.start();
        while (seen.size() < 2 && t.elapsed() < 3000) {
            QTest::qWait(50);
            seen.insert(r.form->cmdDI[0]->palette().color(QPalette::Button) == FormMain::StateColour(true));
        }
        QCOMPARE(seen.size(), 2);
    }

    void aSilentDeviceGivesTheProbeMessage()
    {
        SimWindow r({"--silent"});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(msg::connectFailedBecause(msg::verdictNothingAt("9600 8N1"))), qPrintable(r.messages[0]));
        QVERIFY(!r.form->bConnected);
        QVERIFY(!r.link.isOpen());
    }

    void aDeviceLostDuringTheBurstGivesTheFailureMessage()
    {
        SimWindow r({"--stop-after", "12"});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(msg::readFailedBecause(msg::verdictNothingAt("9600 8N1") + msg::adviceNoAnswer())),
                 qPrintable(r.messages[0]));
        QCOMPARE(r.form->txtOpen[0]->text(), QStringLiteral("设备1开")); // never read, still the window's own
        QVERIFY(!r.form->bConnected); // so it is never written over the device's
    }

    void aDeviceLostWhilePollingEndsTheConnection()
    {
        // The connect, then nothing.
        SimWindow r({"--stop-after", QString::number(SimWindow::connectRequests())});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        QVERIFY(r.form->bConnected);
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(!r.form->bConnected, 8000);
        // The first poll goes unanswered a second after the connect; three seconds later the window knows.
        QVERIFY2(t.elapsed() >= 3000 && t.elapsed() < 6500, qPrintable(QString::number(t.elapsed()))); // a second of slack on a busy machine
        QCOMPARE(r.messages, QStringList({msg::readSucceeded(), msg::linkTimedOut()}));
        QCOMPARE(r.form->cmdConnect->text(), QStringLiteral("链接"));
        QVERIFY(!r.link.isOpen());
    }

    void everyFieldReadsBackAsWritten()
    {
        SimWindow r;
        QVERIFY(r.start());
        r.form->ToggleConnection();
        editEveryField(*r.form);
        r.form->WriteAllParameters();
        QCOMPARE(r.messages.last(), msg::writeSucceeded());

        // The same edits on the in-process device give the same image, register for register.
        QCOMPARE(r.sim.dumpImage(), referenceImage(r));

        r.form->ToggleConnection();
        r.form.reset(); // a new window reads the device afresh
        FormMain fresh(&r.link);
        fresh.InitializeWindow();
        fresh.cmbDISel->setCurrentIndex(2);
        fresh.ToggleConnection();
        QCOMPARE(fresh.txtMiMa->text(), QStringLiteral("4321"));
        QCOMPARE(fresh.txtOpen[0]->text(), QStringLiteral("开灯"));
        QCOMPARE(fresh.txtClose[0]->text(), QStringLiteral("off1"));
        QCOMPARE(fresh.txtAnswer[0]->text(), QStringLiteral("灯已开"));
        QCOMPARE(fresh.txtCAnswer[0]->text(), QString());
        QCOMPARE(fresh.txtAnswer[1]->text(), QStringLiteral("ok"));
        QCOMPARE(fresh.txtCAnswer[1]->text(), QStringLiteral("水泵已经关闭"));
        QCOMPARE(fresh.txtTime[0]->text(), QStringLiteral("12"));
        QCOMPARE(fresh.txtTime[1]->text(), QStringLiteral("-3"));
        QVERIFY(fresh.chkHold->isChecked() && !fresh.chkPhoneAlarm->isChecked());
        QVERIFY(fresh.OptMode[1]->isChecked());
        QCOMPARE(listEntries(fresh.lstPhone), QStringList({"13912345678", "110"}));
        QCOMPARE(fresh.txtDIAlarm->toPlainText(), QStringLiteral("一号门打开"));
        QCOMPARE(fresh.strAlarmText[0], QStringLiteral("通道1闭合报警"));
    }

    void factoryRestoreGivesTheFactoryImageBack()
    {
        std::vector<quint16> changed = factory::registerImage();
        for (int slot = 10; slot < 1000; slot += 20)
            putText(changed, slot, QByteArray(40, 'z')); // every slot full of old text
        // The all-on and all-off commands are no part of the factory set:
        // the restore keeps the device's, under the factory password.
        putText(changed, 490, regtext::encodeGbk(QStringLiteral("1*全部打开")).bytes + QByteArray(1, '\0'));
        putText(changed, 510, regtext::encodeGbk(QStringLiteral("1*全部关闭")).bytes + QByteArray(1, '\0'));
        changed[900] = 55;
        QTemporaryDir dir;
        SimWindow r({"--image", writeImage(dir, changed)});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        r.form->Command1->click();
        QCOMPARE(r.messages.last(), msg::writeSucceeded());
        const std::vector<quint16> image = r.sim.dumpImage();
        std::vector<quint16> factoryImage = factory::registerImage();
        putText(factoryImage, 490, regtext::encodeGbk(QStringLiteral("739154*全部打开")).bytes + QByteArray(1, '\0'));
        putText(factoryImage, 510, regtext::encodeGbk(QStringLiteral("739154*全部关闭")).bytes + QByteArray(1, '\0'));
        // Each written text ends with a zero, so what is read back is the factory text.
        for (int slot : {10, 30, 50, 70, 90, 110, 130, 150, 490, 510, 710, 730, 750, 770, 790, 810, 830, 850, 870}) {
            const QVector<quint16> got(image.begin() + slot, image.begin() + slot + 10);
            const QVector<quint16> want(factoryImage.begin() + slot, factoryImage.begin() + slot + 10);
            QCOMPARE(regtext::decodeTextBlock(got, 10), regtext::decodeTextBlock(want, 10));
        }
        QCOMPARE(image[900], quint16(0));
        QCOMPARE(image[1050], quint16(4));
    }

    void aTypedPtyPathConnects()
    {
        // Values that differ from the window's own, in the probe's block and
        // in the burst's first and last blocks.
        std::vector<quint16> image = factory::registerImage();
        putText(image, regmap::phoneSlot(4), regtext::encodeGbk(fields::phoneSlotText("13900000005")).bytes);
        image[regmap::kOptionFlags] = 3;
        image[regmap::kAlarmMode] = 2;
        QTemporaryDir dir;
        SimWindow r({"--image", writeImage(dir, image)});
        QVERIFY(r.sim.start());
        qunsetenv("ALARMCFG_COM1"); // the path alone reaches the device
        r.form->cmbComSel->setEditText(r.sim.ptyPath());
        r.form->cmdConnect->click();
        QCOMPARE(r.messages, QStringList({msg::readSucceeded()}));
        FormMain &f = *r.form;
        QVERIFY(f.bConnected);
        QCOMPARE(r.link.target().device, r.sim.ptyPath());
        QCOMPARE(f.lblVertion->text(), QStringLiteral("V1.5"));
        QCOMPARE(listEntries(f.lstPhone), QStringList({"15800000000", "13900000005"}));
        QVERIFY(f.chkHold->isChecked() && f.chkPhoneAlarm->isChecked());
        QVERIFY(f.OptMode[1]->isChecked());
        QVERIFY2(f.lblPortInfo->text().startsWith(r.sim.ptyPath()), qPrintable(f.lblPortInfo->text()));
    }

    // A controller behind a serial device server, by each kind of network
    // port: the connect reads it exactly, the port line names the server
    // connected to, the poll follows the inputs, "设置" writes every field
    // exactly, the port is offered again by the next window, and through
    // RFC 2217 the server's line runs at the tool's rate, not at its own.
    void aNetworkPortWorksAsASerialOne_data()
    {
        QTest::addColumn<int>("path");
        for (SimPath p : {SimPath::SimTcp, SimPath::Ser2netRaw, SimPath::Ser2netRfc2217})
            QTest::newRow(pathName(p)) << int(p);
    }

    void aNetworkPortWorksAsASerialOne()
    {
        QFETCH(int, path);
        const SimPath way = SimPath(path);
        QFile::remove(ports::rememberedPortsPath());
        SimWindow r({"--inputs-toggle", "0.7"}, way);
        QVERIFY(r.start());
        FormMain &f = *r.form;
        const QString port = r.behind.port();
        QCOMPARE(f.lblPortInfo->text(),
                 msg::portEntry(port, way == SimPath::Ser2netRfc2217 ? msg::portNetworkRfc2217() : msg::portNetworkRaw()));
        f.cmdConnect->click();
        QCOMPARE(r.messages, QStringList({msg::readSucceeded()}));
        QVERIFY(f.bConnected);
        QCOMPARE(f.txtMiMa->text(), QStringLiteral("739154"));
        QCOMPARE(listEntries(f.lstPhone), QStringList({"15800000000"}));
        const QString server = port.mid(port.indexOf(QLatin1String("://")) + 3);
        QVERIFY2(f.lblPortInfo->text().endsWith(u'\n' + msg::portConnectedTo(server)), qPrintable(f.lblPortInfo->text()));
        // ser2net opens the line at 19200 baud: a raw port keeps it, RFC 2217 lets the tool set it.
        if (way != SimPath::SimTcp)
            QCOMPARE(lineSpeed(r.sim.ptyPath()), way == SimPath::Ser2netRfc2217 ? 9600 : kSer2netOpeningBaud);

        QSet<bool> seen;
        QElapsedTimer t;
        t.start();
        while (seen.size() < 2 && t.elapsed() < 3000) {
            QTest::qWait(50);
            seen.insert(f.cmdDI[0]->palette().color(QPalette::Button) == FormMain::StateColour(true));
        }
        QCOMPARE(seen.size(), 2);

        editEveryField(f);
        f.WriteAllParameters();
        QCOMPARE(r.messages.last(), msg::writeSucceeded());
        std::vector<quint16> written = r.sim.dumpImage();
        const std::vector<quint16> expected = referenceImage(r);
        written[regmap::kStatusBlock.start + regmap::kInputsOffset] = expected[regmap::kStatusBlock.start + regmap::kInputsOffset];
        QCOMPARE(written, expected);

        f.ToggleConnection();
        QVERIFY(!f.lblPortInfo->text().contains(msg::portConnectedTo(server)));
        FormMain next(&r.link);
        next.InitializeWindow();
        QCOMPARE(next.cmbComSel->count(), kPortCount + 1);
        QCOMPARE(next.cmbComSel->itemText(kPortCount), port);
        QFile::remove(ports::rememberedPortsPath());
    }

    // A server serves one client at a time: the second is told it is busy,
    // named by the server, and the first goes on undisturbed.
    void aSecondClientIsToldTheServerIsBusy_data() { aNetworkPortWorksAsASerialOne_data(); }

    void aSecondClientIsToldTheServerIsBusy()
    {
        QFETCH(int, path);
        const SimPath way = SimPath(path);
        SimWindow r({}, way);
        QVERIFY(r.start());
        QVERIFY(r.connect());
        RtuLink link;
        FormMain second(&link);
        second.InitializeWindow();
        second.cmbComSel->setEditText(r.behind.port());
        second.ToggleConnection();
        QVERIFY(!second.bConnected);
        const QString server = r.behind.port().mid(r.behind.port().indexOf(QLatin1String("://")) + 3);
        QCOMPARE(r.messages, QStringList({msg::portOpenFailed() + u'\n' + msg::portServerBusy(server)}));
        QCOMPARE(link.openFailure()->cause, PortOpenFailure::Cause::ServerBusy);
        r.messages.clear();
        r.form->txtTime[0]->setText(QStringLiteral("9"));
        r.form->WriteAllParameters();
        QCOMPARE(r.messages, QStringList({msg::writeSucceeded()}));
        QCOMPARE(r.sim.dumpImage().at(900), quint16(9));
        QFile::remove(ports::rememberedPortsPath());
    }

    void aSecondLinkIsRefusedWhileTheFirstIsConnected_data()
    {
        QTest::addColumn<QString>("how"); // how the second link names the port
        QTest::newRow("the same COM number") << "com";
        QTest::newRow("the pty's path") << "pty";
        QTest::newRow("a symlink to the pty") << "symlink";
    }

    void aSecondLinkIsRefusedWhileTheFirstIsConnected()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString symlink = dir.filePath(QStringLiteral("COM1"));
        SimWindow r({"--link", symlink});
        QVERIFY(r.start());
        QVERIFY(r.connect());

        RtuLink second;
        second.setProfile(session::deviceProfile());
        const QString name = how == "com" ? QStringLiteral("COM1") : how == "pty" ? r.sim.ptyPath() : symlink;
        second.setTarget(ports::targetOf(ports::lookUpPorts(), name));
        // Tests run as root, and TIOCEXCL stops no open of root's: here it is
        // the first link's flock that turns the second away.
        QVERIFY(!second.OpenPort());
        QVERIFY(!second.isOpen());
        const std::optional<PortOpenFailure> failure = second.openFailure();
        QVERIFY(failure);
        QCOMPARE(failure->cause, PortOpenFailure::Cause::LockedByAlarmcfg);
        QCOMPARE(failure->device, r.sim.ptyPath());

        // The first window's traffic is undisturbed.
        editEveryField(*r.form);
        r.form->WriteAllParameters();
        QCOMPARE(r.messages.last(), msg::writeSucceeded());
        QCOMPARE(r.sim.dumpImage(), referenceImage(r));

        // Once the first lets go, the port is free for the next.
        r.form->ToggleConnection();
        QVERIFY2(second.OpenPort(), qPrintable(second.lastError()));
        QVERIFY(second.ReadRegisters(regmap::kStatusBlock.start, regmap::kStatusBlock.count));
    }

    void aRefusedWriteStopsWithItsMessage()
    {
        SimWindow r({"--exception-on", "1050"});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        r.messages.clear();
        r.form->txtTime[0]->setText(QStringLiteral("9"));
        r.form->WriteAllParameters();
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(msg::writeRefused(msg::requestRefused(1050, 1, msg::exceptionName(2))) + u'\n'
                                          + msg::writesConfirmed(plannedwrites::placeOf(1050) - 1, kWrites) + u'\n'),
                 qPrintable(r.messages[0]));
        const std::vector<quint16> image = r.sim.dumpImage();
        QCOMPARE(image[900], quint16(9));  // written before the refusal
        QCOMPARE(image[1050], quint16(4)); // refused by the device
    }

    // One rule for the relay register: Q0 switched off from the window and
    // from alarmcfg-cli, on a device whose register 5 has high bits set,
    // leaves the same value, the one the controllers are known to take.
    void oneRelayRuleForTheWindowAndTheCommandLine()
    {
        QTemporaryDir dir;
        std::vector<quint16> image = factory::registerImage();
        image[regmap::kRelayRegister] = 0x0103;
        const QString path = dir.filePath("relays.json");
        QString error;
        QVERIFY(imagefile::save(path, image, &error));

        SimWindow r({"--image", path});
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->Timer1->setEnabled(false);
        r.form->cmdRelay[0]->click();
        const quint16 byWindow = r.sim.dumpImage()[regmap::kRelayRegister];

        SimProcess sim({"--image", path});
        QVERIFY(sim.start());
        QProcess cli;
        cli.setProcessEnvironment(cliEnvironment(dir.filePath("home"), dir.filePath("home")));
        cli.start(QStringLiteral(ALARMCFG_CLI_PATH), {"relay", "Q0", "off", "-p", sim.ptyPath()});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(sim.dumpImage()[regmap::kRelayRegister], byWindow);
        QCOMPARE(byWindow, quint16(0x0002));
    }
};

QTEST_MAIN(WindowEndToEndTest)
#include "test_window_e2e.moc"
