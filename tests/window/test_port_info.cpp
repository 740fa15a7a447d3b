// The line below the relay frame that tells the operator which device the
// chosen COM entry or the typed text is.
#include "WindowFixture.h"

#include "Messages.h"
#include "SystemPorts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class PortInfoTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_dir;

    QString placed(QString text) const { return text.replace(QStringLiteral("$DIR"), m_dir); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_dir = QFileInfo(m_tmp.path()).canonicalFilePath();
        QFile tty(m_dir + QStringLiteral("/tty"));
        QVERIFY(tty.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(m_dir + QStringLiteral("/tty"), m_dir + QStringLiteral("/link")));
    }

    void theLabelNamesTheDevice_data()
    {
        QTest::addColumn<QString>("env");    // NAME=VALUE set before the window starts, or empty
        QTest::addColumn<QString>("choice"); // an entry to pick, or text to type
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("notShown");

        const QString gone = msg::portNotPresent();
        // A network port, on either platform: its kind, or what is wrong with its name.
        QTest::newRow("a raw network port") << "" << "tcp://127.0.0.5:4001"
                                            << QStringList{"tcp://127.0.0.5:4001：" + msg::portNetworkRaw()} << QStringList{gone};
        QTest::newRow("an RFC 2217 port") << "" << "RFC2217://[::1]:7000"
                                          << QStringList{"RFC2217://[::1]:7000：" + msg::portNetworkRfc2217()} << QStringList{gone};
        QTest::newRow("a network name without a port")
            << "" << "tcp://127.0.0.5" << QStringList{"tcp://127.0.0.5：" + msg::portNotANetworkName()} << QStringList{gone};
        if (ports::thisPlatform() == ports::Platform::Windows) {
            // The test's wine prefix maps no COM7; presence is the system's port list, not a file.
            QTest::newRow("an entry of Windows's own that is not present")
                << "" << "COM7" << QStringList{R"(COM7：\\.\COM7（)" + msg::portOfSystem() + "）", gone} << QStringList();
            QTest::newRow("a typed COM port beyond the list")
                << "" << "com12" << QStringList{R"(\\.\COM12（)" + msg::portTyped() + "）", gone} << QStringList();
            QTest::newRow("a Linux path names no device here")
                << "" << "/dev/ttyUSB0" << QStringList{"/dev/ttyUSB0：" + msg::portNotADeviceName()} << QStringList{gone};
            return;
        }
        QTest::newRow("an entry set by the environment")
            << "ALARMCFG_COM2=$DIR/tty" << "COM2" << QStringList{"COM2：$DIR/tty（" + msg::portByEnvironment("ALARMCFG_COM2") + "）"}
            << QStringList{gone};
        QTest::newRow("an entry whose device is not there")
            << "ALARMCFG_COM3=$DIR/gone" << "COM3" << QStringList{"COM3：$DIR/gone", gone} << QStringList();
        QTest::newRow("a typed path") << "" << "$DIR/tty" << QStringList{"$DIR/tty（" + msg::portTyped() + "）"}
                                      << QStringList{gone};
        QTest::newRow("a typed link shows where it leads")
            << "" << "$DIR/link" << QStringList{"$DIR/link → $DIR/tty（" + msg::portTyped() + "）"} << QStringList{gone};
        QTest::newRow("a typed path that is not there") << "" << "$DIR/gone" << QStringList{"$DIR/gone（", gone} << QStringList();
        QTest::newRow("typed text that names no device")
            << "" << "随便" << QStringList{"随便：" + msg::portNotADeviceName()} << QStringList{gone};
    }

    void theLabelNamesTheDevice()
    {
        QFETCH(QString, env);
        QFETCH(QString, choice);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        const QString variable = env.section('=', 0, 0);
        if (!env.isEmpty())
            qputenv(variable.toLatin1().constData(), placed(env.section('=', 1)).toLocal8Bit());
        WindowFixture w;
        const int entry = w.form->cmbComSel->findText(choice);
        if (entry >= 0)
            w.form->cmbComSel->setCurrentIndex(entry); // picked from the list
        else
            w.form->cmbComSel->setEditText(placed(choice));
        const QString text = w.form->lblPortInfo->text();
        if (!env.isEmpty())
            qunsetenv(variable.toLatin1().constData());
        for (const QString &s : shown)
            QVERIFY2(text.contains(placed(s)), qPrintable(text));
        for (const QString &s : notShown)
            QVERIFY2(!text.contains(placed(s)), qPrintable(text));
    }

    void theLabelFollowsEachNewLook()
    {
        qunsetenv("ALARMCFG_COM5");
        WindowFixture w;
        w.form->cmbComSel->setCurrentIndex(4);
        // As if an adapter had been plugged in for COM5 while the window was open.
        qputenv("ALARMCFG_COM5", (m_dir + "/tty").toLocal8Bit());
        w.form->cmbComSel->showPopup();
        w.form->cmbComSel->hidePopup();
        QVERIFY2(w.form->lblPortInfo->text().contains(m_dir + "/tty"), qPrintable(w.form->lblPortInfo->text()));

        qputenv("ALARMCFG_COM5", (m_dir + "/link").toLocal8Bit());
        w.form->ToggleConnection(); // a connect looks again too
        qunsetenv("ALARMCFG_COM5");
        QVERIFY2(w.form->lblPortInfo->text().contains(m_dir + "/link"), qPrintable(w.form->lblPortInfo->text()));
    }

    // The cause, then what to do about it where this platform has advice.
    void anOpenFailureSaysWhatToDoOnThisPlatform_data()
    {
        QTest::addColumn<int>("cause");
        QTest::addColumn<QString>("second"); // the message's second line

        using Cause = PortOpenFailure::Cause;
        const QString device = QStringLiteral("DEV");
        if (ports::thisPlatform() == ports::Platform::Windows) {
            QTest::newRow("in use") << int(Cause::Busy) << msg::portBusyBy(device, "HOLDER") + msg::adviceCloseOtherProgram();
            QTest::newRow("no driver") << int(Cause::NoDriver)
                                       << msg::portNoDriver(device, "TEXT") + msg::adviceInstallAdapterDriver();
            QTest::newRow("no dialout group here") << int(Cause::NoPermission) << msg::portNoPermission(device);
        } else {
            QTest::newRow("no permission") << int(Cause::NoPermission)
                                           << msg::portNoPermission(device) + msg::adviceJoinDialoutGroup();
            QTest::newRow("busy") << int(Cause::Busy) << msg::portBusyBy(device, "HOLDER") + msg::adviceCloseOtherProgram();
            QTest::newRow("no driver") << int(Cause::NoDriver) << msg::portNoDriver(device, "TEXT");
        }
        // Who holds the port decides what to do, on every platform.
        QTest::newRow("another copy") << int(Cause::LockedByAlarmcfg)
                                      << msg::portLockedByCopy(device, "HOLDER") + msg::adviceDisconnectOtherCopy();
        QTest::newRow("a modem probe") << int(Cause::MarkedExclusive)
                                       << msg::portMarkedExclusive(device, "ModemManager (pid 612)") + "\n" + msg::portModemManagerHint();
    }

    void anOpenFailureSaysWhatToDoOnThisPlatform()
    {
        QFETCH(int, cause);
        QFETCH(QString, second);
        WindowFixture w;
        PortOpenFailure failure;
        failure.port = QStringLiteral("COM1");
        failure.device = QStringLiteral("DEV");
        failure.cause = static_cast<PortOpenFailure::Cause>(cause);
        failure.systemText = QStringLiteral("TEXT");
        failure.holders = {failure.cause == PortOpenFailure::Cause::MarkedExclusive ? QStringLiteral("ModemManager (pid 612)")
                                                                                    : QStringLiteral("HOLDER")};
        w.link.openFailure = failure;
        w.form->ToggleConnection();
        QCOMPARE(w.messages, QStringList({msg::portOpenFailed() + "\n" + second}));
    }

    void theLabelSitsBelowTheRelayFrameAcrossTheWindow()
    {
        WindowFixture w;
        const QRect label = w.form->lblPortInfo->geometry();
        QVERIFY(label.top() > w.form->Frame8->geometry().bottom());
        QVERIFY(label.bottom() < w.form->height());
        QVERIFY(label.left() <= w.form->Frame8->geometry().left());
        QVERIFY(label.right() >= w.form->cmdRelayWrite->geometry().right());
        QVERIFY(label.height() >= 2 * w.form->lblPortInfo->fontMetrics().lineSpacing()); // two lines fit
    }
};

QTEST_MAIN(PortInfoTest)
#include "test_port_info.moc"
