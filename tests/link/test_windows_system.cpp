// What the Windows files do with the real system (run under wine): open
// errors in the system's words and with the right cause, the port list, a
// port held by one copy of the tool at a time, and printed commands that
// Windows splits back into the same words. With ALARMCFG_TEST_COM naming a port that
// leads somewhere (scripts/windows maps COM1 to the simulator), the port
// itself is tried too.
#include "CliText.h"
#include "SerialLine.h"
#include "SystemPorts.h"

#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>
#include <shellapi.h>

class WindowsSystemTest : public QObject {
    Q_OBJECT

    static PortOpenFailure openFailure(const QString &device)
    {
        PortOpenFailure failure;
        const std::unique_ptr<SerialLine> line = SerialLine::create();
        if (line->open(device, 9600, &failure)) {
            failure.cause = PortOpenFailure::Cause::Other;
            failure.systemText = QStringLiteral("opened");
        }
        return failure;
    }

private slots:
    void aMissingPortIsNoDeviceInTheSystemsWords()
    {
        const PortOpenFailure f = openFailure(QStringLiteral(R"(\\.\COM199)"));
        QCOMPARE(f.cause, PortOpenFailure::Cause::NoDevice);
        // FormatMessage's words, then the code.
        QVERIFY2(!f.systemText.startsWith(QStringLiteral("system error")) && f.systemText.contains(QStringLiteral(" (error ")),
                 qPrintable(f.systemText));
        QCOMPARE(SerialLine::adviceFor(f.cause), OpenAdvice::None);
    }

    void aFileIsNoSerialLine()
    {
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("notes.txt")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        QCOMPARE(openFailure(path).cause, PortOpenFailure::Cause::NotADevice);
    }

    void errorsOfAPortInUseOrWithoutDriver()
    {
        QCOMPARE(SerialLine::causeOf(ERROR_ACCESS_DENIED), PortOpenFailure::Cause::Busy);
        QCOMPARE(SerialLine::causeOf(ERROR_SHARING_VIOLATION), PortOpenFailure::Cause::Busy);
        QCOMPARE(SerialLine::causeOf(ERROR_GEN_FAILURE), PortOpenFailure::Cause::NoDriver);
        QCOMPARE(SerialLine::adviceFor(PortOpenFailure::Cause::Busy), OpenAdvice::CloseOtherProgram);
        QCOMPARE(SerialLine::adviceFor(PortOpenFailure::Cause::NoDriver), OpenAdvice::InstallAdapterDriver);
        QCOMPARE(SerialLine::adviceFor(PortOpenFailure::Cause::NoPermission), OpenAdvice::None); // no dialout here
        QVERIFY(!SerialLine::systemText(ERROR_SHARING_VIOLATION).startsWith(QStringLiteral("system error")));
    }

    void theMappedPortIsListedAndHeldByOneCopy()
    {
        const QString com = qEnvironmentVariable("ALARMCFG_TEST_COM");
        if (com.isEmpty())
            QSKIP("no port mapped (ALARMCFG_TEST_COM)");
        const QString device = *ports::typedDevice(com);
        const QList<ports::SystemPort> present = ports::listSystemPorts();
        QVERIFY2(ports::devicePresent(present, device), qPrintable(QStringLiteral("%1 not among %2 listed ports").arg(device).arg(present.size())));
        QCOMPARE(ports::findPort(present, device)->name, com.toUpper());

        PortOpenFailure failure;
        const std::unique_ptr<SerialLine> first = SerialLine::create();
        QVERIFY2(first->open(device, 9600, &failure), qPrintable(failure.systemText));
        // A second copy of the tool is told apart from another program.
        const PortOpenFailure second = openFailure(device);
        QCOMPARE(second.cause, PortOpenFailure::Cause::LockedByAlarmcfg);
        first->close();
        const std::unique_ptr<SerialLine> again = SerialLine::create();
        QVERIFY2(again->open(device, 9600, &failure), qPrintable(failure.systemText));
    }

    void printedCommandsSplitBackIntoTheirWords()
    {
        const QStringList words{QStringLiteral("alarmcfg-cli"), QStringLiteral(R"(C:\Users\Li Wei\AppData\Local\alarmcfg\backups\x.json)"),
                                QStringLiteral("a\"b"), QStringLiteral("two\\\\\"quotes\""), QStringLiteral(R"(C:\my dir\)"),
                                QStringLiteral("备份 一.json"), QString()};
        QStringList quoted;
        for (const QString &w : words)
            quoted << cli::windowsQuoted(w);
        const std::wstring line = quoted.join(u' ').toStdWString();
        int count = 0;
        LPWSTR *argv = CommandLineToArgvW(line.c_str(), &count);
        QVERIFY(argv);
        QStringList back;
        for (int i = 0; i < count; ++i)
            back << QString::fromWCharArray(argv[i]);
        LocalFree(argv);
        QCOMPARE(back, words);
    }
};

QTEST_GUILESS_MAIN(WindowsSystemTest)
#include "test_windows_system.moc"
