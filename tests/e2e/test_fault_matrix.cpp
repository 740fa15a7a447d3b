// What the operator sees when the line or the device misbehaves, or the input
// is bad, with the real RTU link and the simulator: the messages in order, the
// window's state and the device's registers afterwards.
#include "CliEnvironment.h"
#include "PlannedWrites.h"
#include "DeviceImage.h"
#include "FactoryDefaults.h"
#include "FormMain.h"
#include "Messages.h"
#include "RtuLink.h"
#include "NetworkServers.h"
#include "SimWindow.h"
#include "WindowTimer.h"

#include "RegisterMap.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The writes of a whole configuration, as many as the register map has.
const int kWrites = plannedwrites::count();

namespace {
// Whether the process holds an flock, from /proc/locks.
bool lockedBy(qint64 pid)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : locks.readAll().split('\n'))
        if (line.simplified().split(' ').value(4).toLongLong() == pid)
            return true;
    return false;
}
} // namespace

class FaultMatrixTest : public QObject {
    Q_OBJECT
private slots:
    void aKilledDeviceEndsTheConnection()
    {
        SimWindow r;
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.sim.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!r.form->bConnected, 7000);
        QCOMPARE(r.messages, QStringList({msg::linkTimedOut()}));
        QCOMPARE(r.form->cmdConnect->text(), QStringLiteral("链接"));
        QVERIFY(!r.form->Timer1->isTicking() && !r.form->Timer2->isTicking());
        r.form->ToggleConnection(); // the terminal is gone: reconnecting fails cleanly
        QVERIFY(!r.form->bConnected);
    }

    void corruptRepliesDuringAConnectAreReadAgain()
    {
        SimWindow r({"--corrupt-every", "3"}); // the probe and the status block pass, the first phone slot does not
        QVERIFY(r.start());
        r.form->ToggleConnection();
        // Read exactly, and then told that the line needed many retries, and why.
        QCOMPARE(r.messages.size(), 2);
        QCOMPARE(r.messages[0], msg::readSucceeded());
        QVERIFY2(r.messages[1].startsWith(msg::connectedButLineTroubled(QString())), qPrintable(r.messages[1]));
        QVERIFY(r.form->bConnected);
        QCOMPARE(listEntries(r.form->lstPhone), params::factorySet().phones);
        QCOMPARE(r.form->txtOpen[0]->text(), QStringLiteral("设备1开"));
        QCOMPARE(r.form->lblVertion->text(), QStringLiteral("V1.5"));
    }

    void corruptRepliesDuringAWriteAreWrittenAgain()
    {
        SimWindow r({"--corrupt-every", "50"}); // the 4th write of the run gets the bad reply
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->txtTime[0]->setText(QStringLiteral("5"));
        r.form->WriteAllParameters();
        QCOMPARE(r.messages, QStringList({msg::writeSucceeded()}));
        QVERIFY(!r.form->ProgressBar1->isVisibleTo(r.form.get()));
        std::vector<quint16> expected = factory::registerImage();
        expected[900] = 5;
        QCOMPARE(r.sim.dumpImage(), expected);
    }

    // The window connects to no device that answers later than it waits,
    // and the line doctor says how late it answers.
    void aSlowDeviceIsNoDevice()
    {
        SimWindow r({"--delay", "700"});
        QVERIFY(r.start());
        auto saysHowLate = [](const QString &message) {
            for (int ms = 700; ms < 1000; ++ms)
                if (message == msg::connectFailedBecause(msg::verdictSlowReply(ms, 500)))
                    return true;
            return false;
        };
        r.form->ToggleConnection();
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(saysHowLate(r.messages[0]), qPrintable(r.messages[0]));
        QVERIFY(!r.form->bConnected);
        QCOMPARE(r.form->lblVertion->text(), QStringLiteral("0.0")); // the late reply was not taken
        r.form->ToggleConnection();
        QCOMPARE(r.messages.size(), 2);
        QVERIFY2(saysHowLate(r.messages[1]), qPrintable(r.messages[1]));
        QCOMPARE(r.form->lblVertion->text(), QStringLiteral("0.0"));
    }

    // Each fault a site's line may have gets its own words in the failed
    // connect's box, from the line doctor. Where its quick look cannot settle
    // it, the box offers the full scan; pressed, the scan names the speed or
    // the address. Numbers that vary from run to run are written 9001, 9002.
    void theBoxSaysWhyTheControllerDoesNotAnswer_data()
    {
        QTest::addColumn<QStringList>("device");
        QTest::addColumn<bool>("scan");     // press the full scan where the box offers it
        QTest::addColumn<QString>("words"); // the box, or the scan's box, begins with these
        const QString usual = QStringLiteral("9600 8N1");
        QTest::newRow("nothing connected") << QStringList({"--line", "silent"}) << false
                                           << msg::connectFailedBecause(msg::verdictNothingAt(usual) + msg::adviceNoAnswer());
        QTest::newRow("set to slave 2") << QStringList({"--line", "slave:2"}) << true
                                        << msg::connectFailedBecause(msg::verdictOtherAddress(2, usual));
        QTest::newRow("at 19200 baud") << QStringList({"--line", "speed:19200"}) << true
                                       << msg::connectFailedBecause(msg::verdictOtherSpeed("19200 8N1", usual, 19200));
        QTest::newRow("an adapter that echoes, alone") << QStringList({"--line", "echo-only"}) << false
                                                       << msg::connectFailedBecause(msg::verdictEchoOnly());
        QTest::newRow("A and B swapped") << QStringList({"--line", "swapped"}) << false
                                         << msg::connectFailedBecause(msg::verdictLinesSwappedAt(usual));
        QTest::newRow("another kind of device")
            << QStringList({"--line", "foreign"}) << false
            << msg::readFailedBecause(msg::verdictNotThisDevice(msg::verdictRefusedRegisters(QStringList(
                   {msg::requestRefused(10, 10, msg::exceptionName(2)), msg::requestRefused(900, 8, msg::exceptionName(2)),
                    msg::requestRefused(1050, 1, msg::exceptionName(2))}).join(msg::listSeparator()))));
        QTest::newRow("one request in three unanswered") << QStringList({"--line", "flaky:0.33"}) << false
                                                         << msg::verdictIntermittent(9001, 20, 9002);
        QTest::newRow("another master") << QStringList({"--line", "chatter"}) << false
                                        << msg::verdictAnotherMaster(9001, "0.5", 9002, "7");
    }

    void theBoxSaysWhyTheControllerDoesNotAnswer()
    {
        QFETCH(QStringList, device);
        QFETCH(bool, scan);
        QFETCH(QString, words);
        SimWindow r(device);
        QVERIFY(r.start());
        QStringList offered;
        FormMain::setChoiceHook([&](const QString &text, const QString &button) {
            offered << text;
            return scan && button == msg::fullScanButton();
        });
        QElapsedTimer took;
        took.start();
        r.form->ToggleConnection();
        FormMain::setChoiceHook({});
        const QStringList boxes = offered + r.messages;
        qInfo("%lld ms: %s", took.elapsed(), qPrintable(boxes.join(" | ")));
        const QString pattern = QRegularExpression::escape(words).replace("9001", "\\d+").replace("9002", "\\d+");
        const QRegularExpression expected(pattern);
        QVERIFY2(std::any_of(boxes.begin(), boxes.end(), [&](const QString &box) { return expected.match(box).hasMatch(); }),
                 qPrintable(boxes.join("\n---\n")));
        // Where the box offered the scan, it says so last.
        for (const QString &box : offered)
            QVERIFY(box.endsWith(u'\n' + msg::scanOffered()));
    }

    void aRefusedWriteStopsTheRunThere_data()
    {
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("writtenBefore"); // a text slot written before the refusal
        QTest::addColumn<QString>("request");       // what the message says the device refused
        QTest::addColumn<int>("confirmed");
        QTest::newRow("alarm text slot") << 830 << "810" << msg::requestRefused(830, 5, msg::exceptionName(2)) << plannedwrites::placeOf(830) - 1;
        QTest::newRow("option flags") << 1030 << "1050" << msg::requestRefused(1030, 1, msg::exceptionName(2)) << plannedwrites::placeOf(1030) - 1;
    }

    void aRefusedWriteStopsTheRunThere()
    {
        QFETCH(int, refused);
        QFETCH(QString, writtenBefore);
        QFETCH(QString, request);
        QFETCH(int, confirmed);
        SimWindow r({"--exception-on", QString::number(refused)});
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->strAlarmText[0] = QStringLiteral("新文字");
        r.form->strAlarmText[1] = QStringLiteral("不会到达");
        r.form->OptMode[0]->setChecked(true);
        r.form->chkHold->setChecked(true);
        r.form->WriteAllParameters();
        // The device answered: the message says it refused, and what is on it already.
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(msg::writeRefused(request) + u'\n' + msg::writesConfirmed(confirmed, kWrites) + u'\n'),
                 qPrintable(r.messages[0]));
        const std::vector<quint16> image = r.sim.dumpImage();
        QVERIFY(image[810] != factory::registerImage()[810]);
        QCOMPARE(image[1030], quint16(0)); // refused, or never reached
        if (writtenBefore == "1050")
            QCOMPARE(image[1050], quint16(1));
        else
            QCOMPARE(image[1050], quint16(4));
    }

    void badInputLeavesTheDeviceUntouched_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("7-character password") << "txtMiMa" << "1234567" << msg::passwordTooLong();
        QTest::newRow("20-byte command") << "txtClose_1" << QStringLiteral("设备二号继电器关") << msg::commandTooLong();
        QTest::newRow("41-byte alarm text") << "alarm" << QString(41, u'a') << msg::slotTextTooLong();
        QTest::newRow("emoji in a reply") << "txtAnswer_1" << QStringLiteral("已开🙂") << msg::unsendableCharacter("🙂");
        QTest::newRow("action time 40000") << "txtTime_0" << "40000" << msg::actionTimeOutOfRange();
        QTest::newRow("typed port name") << "port" << "COM12"
                                         << msg::portOpenFailed() + "\n" + msg::portNotADevice("COM12"); // no device on Linux
    }

    void badInputLeavesTheDeviceUntouched()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        SimWindow r;
        QVERIFY(r.start());
        QVERIFY(r.connect());
        const std::vector<quint16> before = r.sim.dumpImage();
        QCOMPARE(before.size(), size_t(1100));
        if (field == "port") {
            r.form->ToggleConnection(); // disconnect, then try the typed port
            r.form->cmbComSel->setEditText(text);
            r.form->ToggleConnection();
        } else {
            if (field == "alarm")
                r.form->txtDIAlarm->setPlainText(text);
            else
                r.form->findChild<QLineEdit *>(field)->setText(text);
            r.form->WriteAllParameters();
        }
        QCOMPARE(r.messages, QStringList({message}));
        QCOMPARE(r.sim.dumpImage(), before);
    }

    void anOpenFailureSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a path that is not there") << "missing";
        QTest::newRow("a device without permission") << "forbidden";
        QTest::newRow("a port another link holds") << "held";
        QTest::newRow("a port another program locks") << "locked";
        QTest::newRow("a file that is no serial line") << "file";
        QTest::newRow("text that names no device") << "word";
        QTest::newRow("a server that refuses") << "refused";
        QTest::newRow("a server that does not answer") << "unanswered";
        QTest::newRow("a network name without a port") << "network word";
        QTest::newRow("a raw server reached by RFC 2217") << "not telnet";
    }

    void anOpenFailureSaysWhy()
    {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        const QString dir = QFileInfo(tmp.path()).canonicalFilePath();
        SimWindow r;
        QVERIFY(r.sim.start());
        RtuLink holder;
        QProcess locker;
        const auto stopLocker = qScopeGuard([&] { locker.kill(); locker.waitForFinished(); });
        const UnansweringPort silent;
        SimProcess server({"--tcp", "127.0.0.1:0"});
        QString typed;
        QString cause;
        if (kind == "missing") {
            typed = dir + "/ttyUSB9";
            cause = msg::portMissing(typed);
        } else if (kind == "forbidden") {
            typed = dir + "/ttyUSB0";
            QFile file(typed);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setPermissions({}));
            if (::access(QFile::encodeName(typed).constData(), R_OK | W_OK) == 0)
                QSKIP("this user (root) opens a file of mode 000 anyway");
            cause = msg::portNoPermission(typed) + msg::adviceJoinDialoutGroup();
        } else if (kind == "held") {
            holder.setTarget({r.sim.ptyPath(), r.sim.ptyPath(), PortOpenFailure::Cause::NoDevice, QString()});
            QVERIFY(holder.OpenPort());
            typed = r.sim.ptyPath();
            cause = msg::portLockedByCopy(typed, QStringLiteral("test_fault_matrix (pid %1)").arg(QCoreApplication::applicationPid()))
                    + msg::adviceDisconnectOtherCopy();
        } else if (kind == "locked") {
            // flock(1) takes the lock a script's exclusive open takes, and keeps it.
            locker.start(QStringLiteral("flock"), {r.sim.ptyPath(), QStringLiteral("sleep"), QStringLiteral("30")});
            QVERIFY(locker.waitForStarted());
            QTRY_VERIFY(lockedBy(locker.processId()));
            typed = r.sim.ptyPath();
            cause = msg::portBusyBy(typed, QStringLiteral("flock (pid %1)").arg(locker.processId())) + msg::adviceCloseOtherProgram();
        } else if (kind == "file") {
            typed = dir + "/notes.txt";
            QFile file(typed);
            QVERIFY(file.open(QIODevice::WriteOnly));
            cause = msg::portNotADevice(typed);
        } else if (kind == "refused") {
            const int port = freePort();
            typed = QStringLiteral("tcp://localhost:%1").arg(port);
            cause = msg::portConnectionRefused(QStringLiteral("localhost:%1").arg(port));
        } else if (kind == "unanswered") {
            typed = QStringLiteral("tcp://127.0.0.1:%1").arg(silent.port());
            cause = msg::portConnectTimedOut(QStringLiteral("127.0.0.1:%1").arg(silent.port()), 3);
        } else if (kind == "network word") {
            typed = QStringLiteral("rfc2217://server");
            cause = msg::portEntry(typed, msg::portNotANetworkName());
        } else if (kind == "not telnet") {
            QVERIFY(server.start());
            typed = server.ptyPath().replace("tcp://", "rfc2217://");
            const QString address = server.ptyPath().remove("tcp://");
            cause = msg::portSystemError(address, QStringLiteral("no Telnet answer within 3 s: is it a raw TCP port? Then "
                                                                 "name it tcp://%1").arg(address));
        } else {
            typed = QStringLiteral("随便");
            cause = msg::portNotADevice(typed);
        }
        QElapsedTimer took;
        took.start();
        r.form->cmbComSel->setEditText(typed);
        r.form->ToggleConnection();
        QCOMPARE(r.messages, QStringList({msg::portOpenFailed() + "\n" + cause}));
        // The connect and the name's look-up give up after three seconds.
        QVERIFY2(took.elapsed() < (kind == "unanswered" ? 3500 : 500) + (kind == "not telnet" ? 3000 : 0),
                 qPrintable(QString::number(took.elapsed())));
        QVERIFY(!r.form->bConnected);
        QCOMPARE(r.form->cmdConnect->text(), QStringLiteral("连接"));
    }

    // The first status poll after a connect (request 48: the probe, the burst
    // and its fence come first) goes unanswered or comes late. On every kind
    // of device the next poll finds the line in step and the window stays.
    void oneBadPollKeepsTheConnection_data()
    {
        QTest::addColumn<QStringList>("device");
        for (const char *strict : {"", "--strict", "--strict=silent"}) {
            const QStringList kind = *strict ? QStringList{strict} : QStringList{};
            QTest::addRow("lost, %s", *strict ? strict : "lenient") << kind + QStringList{"--lose-reply", "48"};
            QTest::addRow("late, %s", *strict ? strict : "lenient") << kind + QStringList{"--late", "48:700"};
        }
    }

    void oneBadPollKeepsTheConnection()
    {
        QFETCH(QStringList, device);
        SimWindow r(device);
        QVERIFY(r.start());
        QVERIFY(r.connect());
        // Past the link's time-out of three seconds after the bad poll.
        QTest::qWait(5000);
        QVERIFY(r.form->bConnected);
        QVERIFY(r.messages.isEmpty());
        QVERIFY(r.sim.dumpImage().size() > 0 && r.sim.requestCount() >= 52); // the poll went on
    }

    // A two-wire adapter that sends each request back: the window connects
    // and writes as exactly as on a line without one, at both rates.
    void anAdapterThatHearsItselfIsNoObstacle_data()
    {
        QTest::addColumn<int>("baud");
        QTest::newRow("9600") << 9600;
        QTest::newRow("115200") << 115200;
    }

    void anAdapterThatHearsItselfIsNoObstacle()
    {
        QFETCH(int, baud);
        SimWindow r({"--echo", "--baud", QString::number(baud)});
        LinkSettings settings = r.link.settings();
        settings.baud = baud;
        r.link.setSettings(settings);
        QVERIFY(r.start());
        QVERIFY(r.connect());
        QCOMPARE(r.form->lblVertion->text(), QStringLiteral("V1.5"));
        r.form->txtTime[1]->setText(QStringLiteral("12"));
        r.form->WriteAllParameters();
        QCOMPARE(r.messages, QStringList({msg::writeSucceeded()}));
        std::vector<quint16> expected = factory::registerImage();
        expected[901] = 12;
        QCOMPARE(r.sim.dumpImage(), expected);
    }

    // "设置" stopped part-way, by a refusal or by a line that fails: the box
    // says how many writes the device confirmed and offers to put the device
    // back. Pressing it leaves every register as it was before "设置"; the
    // same backup through alarmcfg-cli restore does the same on a device
    // left as the stopped write left it.
    void aWriteStoppedPartWayIsPutBack_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("confirmed");
        QTest::newRow("a refusal") << QStringList{"--exception-on", "830"} << plannedwrites::placeOf(830) - 1;
        // Silent from the fifth write for longer than its tries and the
        // operator's first look at the box: the poll must not end the
        // connection meanwhile, and the put-back, tried again, succeeds once
        // the device answers.
        QTest::newRow("a line that goes silent for 9 s") << QStringList{"--silence-at-write", "5:9000"} << 4;
        // Silent for 5 s from the first, a middle and the last write.
        for (int k : {1, 5, 11, kWrites})
            QTest::addRow("silent for 5 s from write %d", k) << QStringList{"--silence-at-write", QStringLiteral("%1:5000").arg(k)} << k - 1;
    }

    void aWriteStoppedPartWayIsPutBack()
    {
        QFETCH(QStringList, fault);
        QFETCH(int, confirmed);
        QTemporaryDir dir;
        const QString image = dir.filePath("odd.json");
        const std::vector<quint16> before = deviceimage::oddImage();
        QVERIFY(deviceimage::save(image, before));
        SimWindow r(QStringList{"--image", image} + fault);
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->txtMiMa->setText(QStringLiteral("2468"));
        r.form->strAlarmText[1] = QStringLiteral("新的报警短信");
        QString box, button, backup;
        std::vector<quint16> stopped;
        QStringList retries;
        FormMain::setChoiceHook([&](const QString &text, const QString &b) {
            if (box.isEmpty()) {
                box = text;
                button = b;
                stopped = r.sim.dumpImage();
            } else {
                retries << text; // the put-back failed while the device was silent: it offers to try again
            }
            // The operator reads the box, longer than the link time-out the
            // first time; its event loop runs the timers.
            QTest::qWait(retries.isEmpty() ? 4000 : 1500);
            return true;
        });
        r.form->cmdRelayWrite->click();
        FormMain::setChoiceHook({});
        QCOMPARE(button, msg::putBackButton());
        QVERIFY2(box.contains(msg::writesConfirmed(confirmed, kWrites)), qPrintable(box));
        const QRegularExpressionMatch saved = QRegularExpression(msg::backupSavedAt("(.+)")).match(box);
        QVERIFY2(saved.hasMatch(), qPrintable(box));
        backup = saved.captured(1);
        QVERIFY(confirmed == 0 || stopped != before); // unheard from the first write: nothing changed yet
        QVERIFY2(retries.size() < 5, qPrintable(retries.join(" / ")));
        QVERIFY(r.form->bConnected);
        // Put back: all 1100 registers as before, and said so.
        QCOMPARE(r.messages, QStringList({msg::commandPasswordsMadeOne(), msg::putBackDone(plannedwrites::registers())}));
        QCOMPARE(deviceimage::differingRegisters(r.sim.dumpImage(), before), QList<int>());

        SimProcess other({"--image", [&] {
                              const QString path = dir.filePath("stopped.json");
                              deviceimage::save(path, stopped);
                              return path;
                          }()});
        QVERIFY(other.start());
        QProcess cli;
        cli.setProcessEnvironment(cliEnvironment(dir.filePath("home"), dir.filePath("home")));
        cli.start(QStringLiteral(ALARMCFG_CLI_PATH), {"restore", backup, "-p", other.ptyPath()});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(deviceimage::differingRegisters(other.dumpImage(), before), QList<int>());
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "test_fault_matrix.moc"
