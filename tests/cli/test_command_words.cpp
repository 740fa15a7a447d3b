// The command that puts a backup back is printed for pasting: each word must
// come through the shell it is pasted into whole. And each class of failure
// is worded by both programs alike: who failed and what to do, never in the
// link's own words.
#include "CliText.h"
#include "Commands.h"
#include "FailureClass.h"
#include "Messages.h"
#include "ProblemMessages.h"

#include <QtTest>

Q_DECLARE_METATYPE(LinkFailure)
Q_DECLARE_METATYPE(failure::Class)
Q_DECLARE_METATYPE(PortOpenFailure::Cause)

class CommandWordsTest : public QObject {
    Q_OBJECT
private slots:
    void quoting_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("posix");
        QTest::addColumn<QString>("windows");

        // Plain literals: moc misreads raw strings that hold a quote.
        QTest::newRow("a plain word stays bare") << "--no-backup" << "--no-backup" << "--no-backup";
        QTest::newRow("a Windows path without blanks") << "C:\\Users\\li\\x.json" << "'C:\\Users\\li\\x.json'"
                                                       << "C:\\Users\\li\\x.json";
        QTest::newRow("a blank") << "/home/li wei/x.json" << "'/home/li wei/x.json'" << "\"/home/li wei/x.json\"";
        QTest::newRow("a blank in a Windows path") << "C:\\Users\\Li Wei\\x.json" << "'C:\\Users\\Li Wei\\x.json'"
                                                    << "\"C:\\Users\\Li Wei\\x.json\"";
        QTest::newRow("a quote of each kind") << "it's \"it\"" << "'it'\\''s \"it\"'" << "\"it's \\\"it\\\"\"";
        QTest::newRow("backslashes before a quote are doubled") << "a\\\"b" << "'a\\\"b'" << "\"a\\\\\\\"b\"";
        QTest::newRow("a trailing backslash in quotes") << "C:\\my dir\\" << "'C:\\my dir\\'" << "\"C:\\my dir\\\\\"";
        QTest::newRow("Chinese") << "备份 一.json" << "'备份 一.json'" << "\"备份 一.json\"";
        QTest::newRow("nothing") << "" << "''" << "\"\"";
    }

    void quoting()
    {
        QFETCH(QString, word);
        QFETCH(QString, posix);
        QFETCH(QString, windows);
        QCOMPARE(cli::shellQuoted(word), posix);
        QCOMPARE(cli::windowsQuoted(word), windows);
    }

    // Columns: how the link failed and its own words; the class, the command
    // line's words, and the window's for a read and for what follows a write.
    void eachClassIsWordedAlike_data()
    {
        QTest::addColumn<LinkFailure>("kind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<failure::Class>("expected");
        QTest::addColumn<QString>("cli");
        QTest::addColumn<QString>("windowRead");
        QTest::addColumn<QString>("windowLine");
        using failure::DeviceDid;
        using failure::Remedy;
        using failure::Who;
        const QString refused = msg::requestRefused(0, 7, msg::exceptionName(2));
        QTest::newRow("silence behind a check read")
            << LinkFailure::Silent << "the line is not quiet: no answer to a check read within 500 ms"
            << failure::Class{Who::Connection, DeviceDid::Nothing, Remedy::CheckConnection}
            << "nothing came back; check the cable, the port and the device's power" << msg::readFailed()
            << msg::deviceSilent();
        QTest::newRow("a refusal") << LinkFailure::Refused << "Modbus exception 02 (illegal data address)"
                                   << failure::Class{Who::Device, DeviceDid::Refused, Remedy::None}
                                   << "the device refused it: Modbus exception 02 (illegal data address)"
                                   << msg::readRefused(refused) << msg::deviceRefused(refused);
        // An echo or a break is no answer of the device's.
        QTest::newRow("no whole reply before the fence")
            << LinkFailure::Garbled << "a garbled frame came before the answer to a check read"
            << failure::Class{Who::Line, DeviceDid::Garbled, Remedy::CheckWiring}
            << "bytes came back, but no whole reply to the request; check that A and B are not swapped, and the "
               "line for noise or an adapter that garbles"
            << msg::readFailedBecause(msg::noWholeReply() + msg::adviceCheckWiring())
            << msg::noWholeReply() + msg::adviceCheckWiring();
        QTest::newRow("answers that cannot be matched")
            << LinkFailure::Unsure << "the line is not quiet: frames keep coming"
            << failure::Class{Who::Line, DeviceDid::Unmatched, Remedy::CheckOtherMasters}
            << "replies came back, but which request each answers could not be told; check for another master on "
               "the line, or an adapter that repeats frames"
            << msg::readFailedBecause(msg::answersUnmatched() + msg::adviceCheckOtherMasters())
            << msg::answersUnmatched() + msg::adviceCheckOtherMasters();
        QTest::newRow("the port went away") << LinkFailure::NotOpen << "port not open"
                                            << failure::Class{Who::Port, DeviceDid::Port, Remedy::CheckConnection}
                                            << "port not open; check the cable, the port and the device's power"
                                            << msg::readFailed() << msg::deviceSilent();
        QTest::newRow("Ctrl-C") << LinkFailure::Interrupted << "interrupted"
                                << failure::Class{Who::Operator, DeviceDid::NotAsked, Remedy::None} << "interrupted"
                                << msg::readFailed() << msg::deviceSilent();
    }

    void eachClassIsWordedAlike()
    {
        QFETCH(LinkFailure, kind);
        QFETCH(QString, error);
        QFETCH(failure::Class, expected);
        QFETCH(QString, cli);
        QFETCH(QString, windowRead);
        QFETCH(QString, windowLine);
        const session::LinkProblem problem{kind, error, {false, 0, 7}, kind == LinkFailure::Refused ? 2 : 0};
        QVERIFY(failure::classify(problem) == expected);
        QCOMPARE(cli::linkFailureText(problem), cli);
        QCOMPARE(readFailureMessage(problem), windowRead);
        QCOMPARE(linkProblemLine(problem), windowLine);
        // A write says the same, and how far it got.
        QVERIFY(writeFailureMessage(problem, 3, 22).endsWith(u'\n' + msg::writesConfirmed(3, 22)));
    }

    // Columns: why a port did not open, and who holds it; what to do, and the
    // command line's words. The platform's advice is the platform's file's.
    void anOpenFailureSaysWhatToDo_data()
    {
        QTest::addColumn<PortOpenFailure::Cause>("cause");
        QTest::addColumn<QStringList>("holders");
        QTest::addColumn<failure::Remedy>("remedy");
        QTest::addColumn<QString>("cli");
        using Cause = PortOpenFailure::Cause;
        using failure::Remedy;
        QTest::newRow("another copy") << Cause::LockedByAlarmcfg << QStringList{"alarmcfg (pid 7)"}
                                      << Remedy::DisconnectOtherCopy
                                      << "DEV: in use by another copy of alarmcfg, alarmcfg (pid 7); disconnect it there first";
        QTest::newRow("a modem probe") << Cause::MarkedExclusive << QStringList{"cat (pid 3)", "ModemManager (pid 612)"}
                                       << Remedy::KeepModemProbesAway
                                       << "DEV: marked for one program's use (TIOCEXCL), but no copy of alarmcfg holds it; "
                                          "open in cat (pid 3), ModemManager (pid 612); ModemManager and brltty probe new "
                                          "USB serial ports (see the README for a udev rule that keeps ModemManager away)";
        QTest::newRow("brltty") << Cause::MarkedExclusive << QStringList{"brltty (pid 9)"} << Remedy::KeepModemProbesAway
                                << QString();
        QTest::newRow("a mark left behind")
            << Cause::MarkedExclusive << QStringList{"minicom (pid 5)"} << Remedy::ClearLeftBehindMark
            << "DEV: marked for one program's use (TIOCEXCL), but no copy of alarmcfg holds it; open in minicom (pid 5). "
               "Unless one of them uses the port alone, a program that ended without clearing the mark left it behind: "
               "it stays until every program has closed the port (close them, or unplug the adapter and plug it in again)";
        QTest::newRow("nothing behind the name") << Cause::NoDevice << QStringList() << Remedy::None
                                                 << "DEV: no such device (unplugged?)";
    }

    void anOpenFailureSaysWhatToDo()
    {
        QFETCH(PortOpenFailure::Cause, cause);
        QFETCH(QStringList, holders);
        QFETCH(failure::Remedy, remedy);
        QFETCH(QString, cli);
        const PortOpenFailure f{QStringLiteral("COM1"), QStringLiteral("DEV"), cause, QStringLiteral("TEXT"), holders};
        const failure::Class c = failure::classify(f);
        QVERIFY(c.who == failure::Who::Port && c.did == failure::DeviceDid::Port);
        QCOMPARE(c.remedy, remedy);
        if (!cli.isEmpty())
            QCOMPARE(cli::openFailureText(f), cli);
    }

    // What the operator gave is theirs to mend (exit 2), a value the device
    // cannot take told from a file; the port, the line and the device are not (exit 3).
    void whoFailedDecidesTheExitStatus()
    {
        using params::Problem;
        using namespace failure;
        for (const Problem::Kind kind : {Problem::PasswordTooLong, Problem::Unsendable, Problem::ActionTimeOutOfRange}) {
            QVERIFY(classify(Problem{kind, {}, {}}) == (Class{Who::Entry, DeviceDid::NotAsked, Remedy::EditEntry}));
            QCOMPARE(cli::exitStatusFor(classify(Problem{kind, {}, {}})), cli::kExitUsage);
        }
        for (const Problem::Kind kind : {Problem::CannotRead, Problem::NotJson, Problem::DuplicateKey}) {
            QVERIFY(classify(Problem{kind, {}, {}}) == (Class{Who::File, DeviceDid::NotAsked, Remedy::FixFile}));
            QCOMPARE(cli::exitStatusFor(classify(Problem{kind, {}, {}})), cli::kExitUsage);
        }
        for (const LinkFailure kind : {LinkFailure::Silent, LinkFailure::Refused, LinkFailure::Garbled, LinkFailure::NotOpen})
            QCOMPARE(cli::exitStatusFor(classify(kind)), cli::kExitDevice);
        QCOMPARE(cli::exitStatusFor(classify(PortOpenFailure{})), cli::kExitDevice);
    }
};

QTEST_GUILESS_MAIN(CommandWordsTest)
#include "test_command_words.moc"
