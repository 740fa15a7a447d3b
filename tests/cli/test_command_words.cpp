// The command that puts a backup back is printed for pasting: each word must
// come through the shell it is pasted into whole. Each class of failure is
// worded by both programs alike: who failed and what to do, never in the
// link's own words. And the line doctor's verdict is judged from the bytes
// and times its probes recorded, and worded by both.
#include "CliText.h"
#include "Commands.h"
#include "FailureClass.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "ReplyFrame.h"
#include "VerdictMessages.h"

#include <QtTest>

Q_DECLARE_METATYPE(LinkFailure)
Q_DECLARE_METATYPE(failure::Class)
Q_DECLARE_METATYPE(PortOpenFailure::Cause)
Q_DECLARE_METATYPE(doctor::Verdict)
Q_DECLARE_METATYPE(doctor::Scan)

namespace {

// One probe as the doctor recorded it, written "KIND[/MS] FORMAT SLAVE START
// COUNT | BYTES@MS ...": FORMAT as 9600N, 19200E; /MS the time an answer
// counts within; BYTES in hex, ECHO for the request itself and INVERTED for
// it with every bit inverted. "listen | BYTES@MS ..." sends nothing.
doctor::Probe recorded(const QString &text)
{
    using Kind = doctor::Probe::Kind;
    static const QMap<QString, Kind> kinds{{"listen", Kind::Listen}, {"status", Kind::Status}, {"area", Kind::Area},
                                           {"repeat", Kind::Repeat}, {"speed", Kind::Speed},   {"address", Kind::Address}};
    const QStringList head = text.section(u'|', 0, 0).simplified().split(u' ');
    doctor::Probe p;
    p.kind = kinds.value(head[0].section(u'/', 0, 0));
    p.answerWithinMs = head[0].section(u'/', 1).toInt();
    p.format = {9600, Parity::None};
    p.waitedUs = 500'000;
    if (p.kind != Kind::Listen) {
        const QString format = head.value(1);
        p.format = {format.chopped(1).toInt(), format.endsWith(u'E') ? Parity::Even : format.endsWith(u'O') ? Parity::Odd : Parity::None};
        p.slave = static_cast<quint8>(head.value(2).toInt());
        p.start = head.value(3).toInt();
        p.count = head.value(4).toInt();
        p.sent = frame::withCrc(frame::readRequest(p.slave, p.start, p.count));
    }
    for (const QString &piece : text.section(u'|', 1).simplified().split(u' ', Qt::SkipEmptyParts)) {
        const QString bytes = piece.section(u'@', 0, 0);
        QByteArray heard;
        if (bytes == QLatin1String("ECHO"))
            heard = p.sent;
        else if (bytes == QLatin1String("INVERTED"))
            for (const char c : p.sent)
                heard += static_cast<char>(~c);
        else
            heard = QByteArray::fromHex(bytes.toLatin1());
        p.heard.push_back({static_cast<qint64>(piece.section(u'@', 1).toDouble() * 1000), heard});
    }
    return p;
}

// Recorded from alarmcfg-sim: the factory status block, the first relay
// text, the action times and the alarm mode, and a refusal of each.
const QString kStatus = "01030E00000000000000000000000000152EDA@25";
const QStringList kAreas = {"area 9600N 1 10 10 | 0103143733393135342AC9E8B1B831BFAA000000000000BA55@30",
                            "area 9600N 1 900 8 | 01031000000000000000000000000000000000E459@28",
                            "area 9600N 1 1050 1 | 0103020004B987@20"};
const QString kRefusal = "018302C0F1@15";

// The status read, the areas, and 20 status reads of which the first
// `lost` went unanswered.
QStringList answeringDevice(int lost = 0, const QStringList &areas = kAreas)
{
    QStringList probes{"listen |", "status/500 9600N 1 0 7 | " + kStatus};
    probes += areas;
    for (int i = 0; i < 20; ++i)
        probes << QStringLiteral("repeat 9600N 1 0 7 | %1").arg(i < lost ? QString() : kStatus);
    return probes;
}

// Nothing but `heard` at 9600 8N1; with the scans, `found` on the step
// they stopped at.
QStringList unanswered(const QString &heard, bool scanned, const QString &found = {})
{
    QStringList probes{"listen |", "status/500 9600N 1 0 7 | " + heard, "status 9600N 1 0 7 | " + heard,
                       "status 9600N 1 0 7 | " + heard};
    if (scanned)
        probes << "speed 1200N 1 0 7 | " + heard << "speed 1200E 1 0 7 | " + heard << "address 9600N 2 0 1 |";
    if (!found.isEmpty())
        probes << found;
    return probes;
}

} // namespace

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

    // Columns: the probes as recorded, how far the scans went; the verdict,
    // whether the probes prove it, what the command line says and what the
    // window says.
    void eachVerdictIsJudgedFromWhatCameBack_data()
    {
        QTest::addColumn<QStringList>("probes");
        QTest::addColumn<doctor::Scan>("speedScan");
        QTest::addColumn<doctor::Scan>("addressScan");
        QTest::addColumn<doctor::Verdict>("verdict");
        QTest::addColumn<bool>("settled");
        QTest::addColumn<QString>("cli");
        QTest::addColumn<QString>("window");
        using doctor::Scan;
        using doctor::Verdict;
        const QString refused02 = msg::exceptionName(2);
        QTest::newRow("healthy") << answeringDevice() << Scan::NotRun << Scan::NotRun << Verdict::Healthy << true
                                 << "healthy: the controller answers: firmware V1.5; 20 of 20 status reads answered, in "
                                    "25.0 ms on average (25.0 ms at the slowest), at 9600 8N1 as slave 1"
                                 << msg::verdictHealthy("V1.5", 20, 20, 25);
        QTest::newRow("quick: nothing at 9600") << unanswered({}, false) << Scan::NotRun << Scan::NotRun << Verdict::NoAnswer
                                                << false << "no-answer: nothing came back from slave 1 at 9600 8N1; other "
                                                           "speeds and addresses were not tried."
                                                << msg::verdictNothingAt("9600 8N1") + msg::adviceNoAnswer();
        QTest::newRow("nothing anywhere") << unanswered({}, true) << Scan::Done << Scan::Done << Verdict::NoAnswer << true
                                          << "no-answer: nothing came back, at 1200 to 115200 baud with parity N, E and O, "
                                             "slaves 1 to 247."
                                          << msg::verdictNothingAnywhere() + msg::adviceNoAnswer();
        QTest::newRow("a tcp:// port: no speed scan") << unanswered({}, false) << Scan::Skipped << Scan::Done
                                                      << Verdict::NoAnswer << true
                                                      << "nothing came back, at 9600 8N1 only: a tcp:// port cannot change"
                                                      << msg::verdictNothingAtAnyAddress("9600 8N1") + msg::adviceNoAnswer();
        QTest::newRow("an echo and nothing else") << QStringList({"listen |", "status/500 9600N 1 0 7 | ECHO@1"})
                                                  << Scan::NotRun << Scan::NotRun << Verdict::EchoOnly << true
                                                  << "echo-only: only the tool's own requests came back"
                                                  << msg::verdictEchoOnly();
        QTest::newRow("a break everywhere") << unanswered("00000000@3", true) << Scan::Done << Scan::Done
                                            << Verdict::LinesSwapped << true
                                            << "lines-swapped: only a break (20 bytes 0x00) came back, and no reply at "
                                               "1200 to 115200 baud"
                                            << msg::verdictLinesSwapped();
        QTest::newRow("quick: the request inverted") << unanswered("ECHO@1 INVERTED@3", false) << Scan::NotRun
                                                     << Scan::NotRun << Verdict::LinesSwapped << false
                                                     << "lines-swapped: only the requests inverted came back, and no "
                                                        "reply at 9600 8N1 (other speeds"
                                                     << msg::verdictLinesSwappedAt("9600 8N1");
        QTest::newRow("at 19200") << unanswered({}, true, "speed 19200N 1 0 7 | " + kStatus) << Scan::Found << Scan::NotRun
                                  << Verdict::OtherSpeed << true
                                  << "other-speed: the controller answers at 19200 8N1, not at 9600 8N1: set it back to "
                                     "9600 8N1, or use its speed: alarmcfg-cli -b 19200"
                                  << msg::verdictOtherSpeed("19200 8N1", "9600 8N1", 19200);
        QTest::newRow("with even parity") << unanswered({}, true, "speed 9600E 1 0 7 | " + kStatus) << Scan::Found
                                          << Scan::NotRun << Verdict::OtherSpeed << true
                                          << "the controller answers at 9600 8E1, with parity, and this tool talks 8N1 only"
                                          << msg::verdictOtherParity("9600 8E1", 9600);
        QTest::newRow("at slave 17") << unanswered({}, true, "address 9600N 17 0 1 | 11030200007987@12") << Scan::Done
                                     << Scan::Found << Verdict::OtherAddress << true
                                     << "other-address: a device answers at slave address 17 (at 9600 8N1), not at 1"
                                     << msg::verdictOtherAddress(17, "9600 8N1");
        QStringList refusing = {"listen |", "status/500 9600N 1 0 7 | " + kStatus};
        for (const QString &area : kAreas)
            refusing << area.section(u'|', 0, 0) + "| " + kRefusal;
        QTest::newRow("another device, refusing") << refusing << Scan::NotRun << Scan::NotRun << Verdict::NotThisDevice
                                                  << true
                                                  << "not-this-device: a Modbus device answers as slave 1, but it did not "
                                                     "give registers 10-19 (Modbus exception 02 (illegal data address)), "
                                                     "registers 900-907"
                                                  << msg::verdictNotThisDevice(msg::verdictRefusedRegisters(
                                                         QStringList({msg::requestRefused(10, 10, refused02),
                                                                      msg::requestRefused(900, 8, refused02),
                                                                      msg::requestRefused(1050, 1, refused02)})
                                                             .join(msg::listSeparator())));
        QTest::newRow("another device, another layout")
            << QStringList({"listen |", "status/500 9600N 1 0 7 | 01030E00000000000000001234000000159C6C@20"})
            << Scan::NotRun << Scan::NotRun << Verdict::NotThisDevice << true
            << "its status block holds what this controller never holds" << msg::verdictNotThisDevice(msg::verdictOtherLayout());
        QStringList silentArea = kAreas;
        silentArea.last() = "area 9600N 1 1050 1 |";
        QTest::newRow("an area that never answers") << answeringDevice(0, silentArea) << Scan::NotRun << Scan::NotRun
                                                    << Verdict::NotThisDevice << true << "register 1050 (no answer)"
                                                    << msg::verdictNotThisDevice(msg::verdictRefusedRegisters(
                                                           msg::requestUnanswered(1050, 1)));
        QTest::newRow("an area lost on a line that loses") << answeringDevice(5, silentArea) << Scan::NotRun
                                                           << Scan::NotRun << Verdict::Intermittent << true
                                                           << "intermittent: the controller answers, but 5 of 20 status "
                                                              "reads were lost (25%)"
                                                           << msg::verdictIntermittent(5, 20, 25);
        QTest::newRow("another master")
            << QStringList({"listen | 070300000002C46D@10 070304000100024C32@30 070300000002C46D@160 "
                            "070304000100024C32@180 070300000002C46D@310 070304000100024C32@330"})
            << Scan::NotRun << Scan::NotRun << Verdict::AnotherMaster << true
            << "another-master: 6 frames the tool did not ask for passed in 0.5 s while it was silent (about 12 a "
               "second, of slave 7)"
            << msg::verdictAnotherMaster(6, "0.5", 12, "7");
        QTest::newRow("a third lost") << answeringDevice(6) << Scan::NotRun << Scan::NotRun << Verdict::Intermittent
                                      << true << "6 of 20 status reads were lost (30%)"
                                      << msg::verdictIntermittent(6, 20, 30);
        QTest::newRow("a late reply") << QStringList({"listen |", "status/500 9600N 1 0 7 | 01030E00000000000000000000000000152EDA@705"})
                                      << Scan::NotRun << Scan::NotRun << Verdict::SlowReply << true
                                      << "slow-reply: the controller answers, but 705 ms after the request, later than "
                                         "the 500 ms the tool waits: give it more time with alarmcfg-cli --timeout 900"
                                      << msg::verdictSlowReply(705, 500);
    }

    void eachVerdictIsJudgedFromWhatCameBack()
    {
        QFETCH(QStringList, probes);
        QFETCH(doctor::Scan, speedScan);
        QFETCH(doctor::Scan, addressScan);
        QFETCH(doctor::Verdict, verdict);
        QFETCH(bool, settled);
        QFETCH(QString, cli);
        QFETCH(QString, window);
        std::vector<doctor::Probe> recordedProbes;
        for (const QString &p : probes)
            recordedProbes.push_back(recorded(p));
        const doctor::Diagnosis d = doctor::judge(recordedProbes, {9600, Parity::None}, speedScan, addressScan);
        QCOMPARE(doctor::verdictCode(d.verdict), doctor::verdictCode(verdict));
        QCOMPARE(d.settled, settled);
        const QString said = cli::doctorText(d);
        QVERIFY2(said.startsWith(doctor::verdictCode(verdict) + ": ") && said.contains(cli), qPrintable(said));
        QCOMPARE(lineVerdictMessage(d), window);
        // The JSON names the verdict by its code, and gives back every probe.
        const QJsonObject json = cli::doctorJson(QStringLiteral("COM1"), d);
        QCOMPARE(json["verdict"].toString(), doctor::verdictCode(verdict));
        QCOMPARE(json["probes"].toArray().size(), static_cast<qsizetype>(probes.size()));
        QCOMPARE(doctor::verdictFromCode(doctor::verdictCode(verdict)), std::optional<doctor::Verdict>(verdict));
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
