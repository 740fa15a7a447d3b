// Faults of the line at places of the window's connect and write and of
// alarmcfg-cli read and write, one at a time and two in one operation, on a
// lenient device, on a strict one that refuses reads of more than 10
// registers with an exception and on one that leaves them unanswered. The
// kinds: a reply late (after its time-out, while the device also answers the
// retry), lost (or a request never heard), doubled (the copy 25 ms after it,
// before the next reply), garbled, a frame nobody asked for just before a
// reply, bytes trailing a reply, and an adapter that begins to echo. Every run
// is exact or fails honestly; a wrong success fails the test. After an exact
// connect, "设置" with no edit must leave every register as it was, and every
// backup alarmcfg-cli saved must put the device back exactly.
//
// The faults networks bring, from a proxy between the tool and alarmcfg-sim
// --tcp, are swept the same way (theWindowThroughAFaultyNetwork,
// theCommandLineThroughAFaultyNetwork): every reply in 1-byte pieces, two
// replies joined, 150 ms added to every piece, and the connection closed in
// the middle of a reply, of a request, or just after a write went out, also
// with the server gone for good after it. The window's connect, "设置" and
// poll and alarmcfg-cli read, write and restore must each be exact or fail
// honestly, and a write that stopped part-way must be put back exactly by
// the backup it saved.
//
// ALARMCFG_SWEEP=full faults every place with every kind, and every adjacent
// pair of places with every pair of kinds, and pairs further apart (hours:
// shard it); ALARMCFG_SWEEP=N every Nth place; ALARMCFG_FAULTS=doubled,lost
// (say) only those kinds; ALARMCFG_SHARD=i/n only every nth run from the ith,
// so that n processes share a sweep; ALARMCFG_SWEEP_TALLY=FILE keeps the
// table so far in FILE after every run, for a sweep stopped before its end
// (and each wrong run on a line of its own); ALARMCFG_SWEEP_LINE=instant drops the
// simulated line time for speed. The default runs one place of each
// single fault and device in the window and two in alarmcfg-cli, and a few
// pairs, among them a doubled reply followed by a lost one, the pair no
// single defence sees.
#include "BackupFile.h"
#include "PlannedWrites.h"
#include "CliEnvironment.h"
#include "ConfigFile.h"
#include "DeviceImage.h"
#include "FormMain.h"
#include "Messages.h"
#include "NetworkServers.h"
#include "RememberedPorts.h"
#include "SimWindow.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

struct Kind {
    const char *name;
    // The simulator's options that make this fault at request or reply n.
    QStringList (*args)(int n, int run);
};

const Kind kKinds[] = {
    {"late", [](int n, int run) { // by 501 .. 1851 ms, one delay after the other
         return QStringList{"--late", QStringLiteral("%1:%2").arg(n).arg(501 + 150 * (run % 10))};
     }},
    {"lost", [](int n, int run) { // the reply, or the request the device never heard
         return QStringList{run % 2 ? "--miss-request" : "--lose-reply", QString::number(n)};
     }},
    {"doubled", [](int n, int) { return QStringList{"--duplicate-reply", QStringLiteral("%1:25").arg(n)}; }},
    {"garbled", [](int n, int) { return QStringList{"--corrupt-reply", QString::number(n)}; }},
    {"stray", [](int n, int) { return QStringList{"--stray", QString::number(n)}; }},
    {"trailing", [](int n, int) { return QStringList{"--trailing", QString::number(n)}; }},
    {"echo", [](int n, int) { return QStringList{"--echo-from", QString::number(n)}; }},
};
constexpr int kKindCount = sizeof kKinds / sizeof kKinds[0];
constexpr int kDoubled = 2, kLost = 1;

struct Device {
    const char *name;
    QStringList args;
};
const Device kDevices[] = {{"lenient", {}}, {"strict", {"--strict"}}, {"strict=silent", {"--strict=silent"}}};

// One fault at a request, or two.
struct Faults {
    int a, n;
    int b = -1, m = 0;
    QString name() const
    {
        return b < 0 ? QString::fromLatin1(kKinds[a].name)
                     : QStringLiteral("%1 + %2").arg(kKinds[a].name, kKinds[b].name);
    }
    QString where() const
    {
        return b < 0 ? QStringLiteral("%1 %2").arg(kKinds[a].name).arg(n)
                     : QStringLiteral("%1 %2, %3 %4").arg(kKinds[a].name).arg(n).arg(kKinds[b].name).arg(m);
    }
    QStringList args(int run) const
    {
        QStringList out = kKinds[a].args(n, run);
        if (b >= 0)
            out += kKinds[b].args(m, run);
        return out;
    }
};

// A fault of the network, as alarmcfg-fault-proxy brings it.
struct NetFault {
    const char *name;
    const char *proxy;
    bool serverGone; // no connection can be made after it
};
const NetFault kNetFaults[] = {{"1-byte pieces", "split", false},
                               {"two replies joined", "join", false},
                               {"150 ms a piece", "delay", false},
                               {"closed mid-read", "close-read", false},
                               {"closed mid-write", "close-write", false},
                               {"closed after a write, before its reply", "close-sent", false},
                               {"closed after a write, server gone", "close-sent", true}};

// Where each operation is faulted: the Nth request, or with writes the Nth
// write request.
struct Place {
    int at;
    bool writes;
};
QStringList proxyArgs(const NetFault &f, Place p)
{
    QStringList args{"--fault", QLatin1String(f.proxy), "--at", QString::number(p.at)};
    if (p.writes)
        args << "--writes";
    if (f.serverGone)
        args << "--then-refuse";
    return args;
}

QByteArray sweep() { return qgetenv("ALARMCFG_SWEEP"); }
bool full() { return sweep() == "full"; }

bool swept(int kind)
{
    const QByteArray only = qgetenv("ALARMCFG_FAULTS");
    return only.isEmpty() || only.split(',').contains(kKinds[kind].name);
}

// This process's share of the runs: ALARMCFG_SHARD=i/n.
bool mine(int run)
{
    const QList<QByteArray> shard = qgetenv("ALARMCFG_SHARD").split('/');
    if (shard.size() != 2 || shard[1].toInt() <= 0)
        return true;
    return run % shard[1].toInt() == shard[0].toInt();
}

// The places of one range to fault for the combination with index c of n:
// every stride-th with ALARMCFG_SWEEP, else `some` spread over the range,
// shifted with each combination so that together they cover it.
QList<int> places(int first, int last, int c, int n, int some)
{
    QList<int> out;
    const int stride = full() ? 1 : sweep().toInt();
    if (stride > 0) {
        for (int p = first; p <= last; p += stride)
            out << p;
        return out;
    }
    const int span = last - first + 1;
    for (int i = 0; i < some; ++i)
        out << first + (span * i / some + span * c / (n * some)) % span;
    return out;
}

// The faults of a sweep over requests first..last on the device with index
// d, pairs only up to pairsTo. By default each kind of fault goes to one of
// the devices, and the named pairs to the first; a full sweep pairs every
// kind with every other on the lenient and the strict device.
QList<Faults> faultsOver(int d, int first, int last, int some, const QList<Faults> &named, int pairsTo)
{
    QList<Faults> out;
    const bool all = full() || sweep().toInt() > 0;
    for (int a = 0; a < kKindCount; ++a)
        if (swept(a) && (all || (a + d) % 3 == 0))
            for (int n : places(first, last, a + kKindCount * d, 3 * kKindCount, some))
                out.append({a, n});
    if (full()) {
        // Every adjacent pair, and pairs further apart from every eighth place.
        for (int a = 0; a < kKindCount && d < 2; ++a)
            for (int b = 0; b < kKindCount; ++b)
                if (swept(a) && swept(b))
                    for (int n = first; n <= pairsTo; ++n)
                        for (int apart : {1, 5, 17})
                            if (n + apart <= pairsTo && (apart == 1 || (n - first) % 8 == 0))
                                out.append({a, n, b, n + apart});
        return out;
    }
    // A doubled reply, then a lost one: right after it, and further on.
    if (swept(kDoubled) && swept(kLost))
        for (int n : places(first, last - 10, d, 3, 1))
            out.append({kDoubled, n, kLost, n + (d == 2 ? 10 : 1)});
    for (const Faults &f : named)
        if (d == 0 && swept(f.a) && swept(f.b))
            out.append(f);
    return out;
}

// Runs by operation, faults and device, for the table.
struct Tally {
    struct Cell {
        int runs = 0, exact = 0, failed = 0, wrong = 0;
    };
    std::map<QString, Cell> cells; // "operation / fault / device"
    QStringList wrongRuns, failedRuns;

    void add(const QString &cell, bool exact, bool honestFailure, const QString &run)
    {
        Cell &c = cells[cell];
        ++c.runs;
        if (exact)
            ++c.exact;
        else if (honestFailure) {
            ++c.failed;
            failedRuns << run;
        }
        else {
            ++c.wrong;
            wrongRuns << run;
        }
        const QString keep = qEnvironmentVariable("ALARMCFG_SWEEP_TALLY");
        QFile file(keep);
        if (!keep.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write((table().join(u'\n') + u'\n' + wrongRuns.join(u'\n')).toUtf8());
    }
    QStringList table() const
    {
        QStringList lines{"| operation / faults / device | runs | exact | failed honestly | wrong successes |"};
        for (const auto &[name, c] : cells)
            lines << QStringLiteral("| %1 | %2 | %3 | %4 | %5 |").arg(name).arg(c.runs).arg(c.exact).arg(c.failed).arg(c.wrong);
        return lines;
    }
    void print() const
    {
        for (const QString &line : table())
            qInfo("%s", qPrintable(line));
        if (!failedRuns.isEmpty() && !full())
            qInfo("failed honestly: %s", qPrintable(failedRuns.join(", ")));
    }
};

} // namespace

class ReplyFaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image;
    params::ParameterSet m_reference; // what a window shows after a clean connect
    QByteArray m_cliReference;         // what alarmcfg-cli read prints on a clean line
    // The device's request numbers, counted on clean runs: the window's
    // connect is 1..m_connect and "设置" right after it m_connect+1..m_write;
    // alarmcfg-cli read is 1..m_cliRead, and its write's writes follow to m_cliWrite.
    long m_connect = 0, m_write = 0, m_cliRead = 0, m_cliWrite = 0;
    Tally m_tally;
    int m_run = 0;

    QStringList simArgs(const Faults &f, const Device &d, int run) const
    {
        // A device that answers in 30 ms and more, so that a copy 25 ms after
        // a reply comes before the next one; ALARMCFG_SWEEP_LINE=instant
        // leaves out the line's own time, for a long sweep.
        const QStringList line = qgetenv("ALARMCFG_SWEEP_LINE") == "instant" ? QStringList() : QStringList{"--baud", "9600"};
        return line + QStringList{"--delay", "30", "--image", m_image} + d.args + f.args(run);
    }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QString err;
    };

    static QProcess *startCli(const QStringList &args, const QString &home)
    {
        auto *p = new QProcess;
        p->setProcessEnvironment(cliEnvironment(home, home));
        p->start(QStringLiteral(ALARMCFG_CLI_PATH), args);
        return p;
    }

    // Whether the device was asked for request n at all.
    static bool faulted(SimProcess &sim, int n)
    {
        sim.dumpImage();
        return sim.requestCount() >= n;
    }

    static Run finish(QProcess *p)
    {
        Run r;
        if (p->waitForFinished(180000) && p->exitStatus() == QProcess::NormalExit)
            r.exitCode = p->exitCode();
        r.out = p->readAllStandardOutput();
        r.err = QString::fromUtf8(p->readAllStandardError());
        delete p;
        return r;
    }

    // The configuration a read printed, without the time it was saved.
    static QByteArray withoutTime(const QByteArray &json)
    {
        QByteArray out;
        for (const QByteArray &line : json.split('\n'))
            if (!line.trimmed().startsWith("\"saved\""))
                out += line + '\n';
        return out;
    }

    // A backup put back on a factory-fresh device must hold every register
    // of the original in its blocks.
    bool restoresExactly(const QString &backup)
    {
        SimProcess fresh;
        if (!fresh.start())
            return false;
        const Run r = finish(startCli({"restore", backup, "-p", fresh.ptyPath()}, m_dir.filePath("restore-home")));
        const std::vector<quint16> after = fresh.dumpImage();
        const std::vector<quint16> original = deviceimage::oddImage();
        if (r.exitCode != 0 || after.size() != original.size())
            return false;
        for (const regmap::Block &b : backup::backupBlocks())
            for (int a = b.start; a < b.start + b.count; ++a)
                if (after[a] != original[a])
                    return false;
        return true;
    }

    // Counts a clean run's requests on the odd image.
    long requestsOf(const std::function<bool(SimProcess &)> &run)
    {
        SimProcess sim({"--image", m_image});
        if (!sim.start() || !run(sim))
            return -1;
        sim.dumpImage();
        return sim.requestCount();
    }

    // The device as "设置" leaves it after the sweep's edit, on a clean pty.
    std::vector<quint16> windowEditOnAPty()
    {
        SimWindow r({"--image", m_image});
        if (!r.start() || !r.connect())
            return {};
        r.form->txtMiMa->setText(QStringLiteral("2468"));
        r.form->strAlarmText[1] = QStringLiteral("新的报警短信");
        r.form->cmdRelayWrite->click();
        r.messages.removeAll(msg::commandPasswordsMadeOne()); // the odd image's commands carry other passwords
        return r.messages == QStringList({msg::writeSucceeded()}) ? r.sim.dumpImage() : std::vector<quint16>();
    }

    static bool sweptNet(const NetFault &f)
    {
        const QByteArray only = qgetenv("ALARMCFG_FAULTS");
        return only.isEmpty() || only.split(',').contains(f.proxy);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_image = m_dir.filePath("odd.json");
        QVERIFY(deviceimage::save(m_image, deviceimage::oddImage()));
        SimWindow clean({"--image", m_image});
        QVERIFY(clean.start());
        QVERIFY(clean.connect());
        m_reference = clean.form->CollectParameterSet();
        clean.sim.dumpImage();
        m_connect = clean.sim.requestCount();
        clean.form->cmdRelayWrite->click();
        QCOMPARE(clean.messages, QStringList({msg::writeSucceeded()}));
        clean.sim.dumpImage();
        m_write = clean.sim.requestCount();

        const QString home = m_dir.filePath("home");
        m_cliRead = requestsOf([&](SimProcess &sim) {
            const Run read = finish(startCli({"read", "-p", sim.ptyPath()}, home));
            m_cliReference = withoutTime(read.out);
            return read.exitCode == 0;
        });
        QVERIFY(m_cliReference.contains("\"parameters\""));
        const QString file = m_dir.filePath("site.json");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(m_cliReference);
        f.close();
        m_cliWrite = requestsOf([&](SimProcess &sim) {
            return finish(startCli({"write", file, "-p", sim.ptyPath()}, home)).exitCode == 0;
        });
        QVERIFY(m_connect > 40 && m_write > m_connect && m_cliRead > 40 && m_cliWrite > m_cliRead);
        qInfo("requests: connect 1..%ld, write ..%ld; alarmcfg-cli read 1..%ld, write ..%ld", m_connect, m_write,
              m_cliRead, m_cliWrite);
    }

    void cleanupTestCase()
    {
        QFile::remove(ports::rememberedPortsPath()); // the network ports the windows connected to
        m_tally.print();
        QVERIFY2(m_tally.wrongRuns.isEmpty(), qPrintable(m_tally.wrongRuns.join(", ")));
    }

    // The connect is exact or ends honestly; an exact one is followed by a
    // "设置" with no edit, which must leave every register as it was.
    void theWindowConnectsExactlyOrNotAtAll()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        // Pairs a probe found: a doubled reply at the first place, the second lost.
        const QList<Faults> named{{kDoubled, 10, kLost, 11}, {kDoubled, 4, kLost, 30}};
        for (int di = 0; di < 3; ++di) {
            const Device &d = kDevices[di];
            for (const Faults &f : faultsOver(di, 2, static_cast<int>(m_connect), 1, named, static_cast<int>(m_connect))) {
                if (!mine(m_run++))
                    continue;
                SimWindow r(simArgs(f, d, m_run));
                QVERIFY(r.start());
                r.form->ToggleConnection();
                const bool connected = r.form->bConnected && r.messages == QStringList({msg::readSucceeded()});
                bool exact = connected && params::differences(m_reference, r.form->CollectParameterSet()).empty();
                if (exact) {
                    r.messages.clear();
                    r.form->cmdRelayWrite->click();
                    exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == before;
                }
                const bool honest = !r.form->bConnected && r.messages.size() == 1 && r.messages[0] != msg::readSucceeded();
                QVERIFY2(faulted(r.sim, std::max(f.n, f.m)), qPrintable(f.where()));
                m_tally.add(QStringLiteral("window connect / %1 / %2").arg(f.name(), d.name), exact, honest,
                            QStringLiteral("connect: %1 on a %2 device").arg(f.where(), d.name));
            }
        }
    }

    void theWindowWritesExactlyOrSaysItFailed()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        for (int di = 0; di < 3; ++di) {
            const Device &d = kDevices[di];
            for (const Faults &f : faultsOver(di, static_cast<int>(m_connect) + 1, static_cast<int>(m_write), 1, {}, 0)) {
                if (!mine(m_run++))
                    continue;
                SimWindow r(simArgs(f, d, m_run));
                QVERIFY(r.start());
                QVERIFY2(r.connect(), qPrintable(r.messages.join(" / ")));
                r.form->cmdRelayWrite->click();
                // What the operator did not edit goes back register for register.
                const bool exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == before;
                const bool honest = r.messages.size() == 1 && r.messages[0] != msg::writeSucceeded();
                QVERIFY2(faulted(r.sim, std::max(f.n, f.m)), qPrintable(f.where()));
                m_tally.add(QStringLiteral("window write / %1 / %2").arg(f.name(), d.name), exact, honest,
                            QStringLiteral("write: %1 on a %2 device").arg(f.where(), d.name));
            }
        }
    }

    // alarmcfg-cli read, and write, which reads the same before its 22 writes:
    // the places cover both. Each backup a write saved is put back on another
    // device.
    void theCommandLineReadsAndWritesExactlyOrFails()
    {
        const QString file = m_dir.filePath("site.json");
        const std::vector<quint16> before = deviceimage::oddImage();
        // Runs eight at a time, each with its own simulator: they mostly wait on
        // their lines.
        struct Pending {
            std::unique_ptr<SimProcess> sim;
            QProcess *cli;
            bool write;
            int n;
            QString cell, name;
        };
        std::vector<Pending> pending;
        QStringList backups, unfaulted;
        auto settle = [&] {
            for (Pending &p : pending) {
                const Run run = finish(p.cli);
                const QRegularExpressionMatch saved = QRegularExpression("backup saved to (.*)\n").match(run.err);
                if (saved.hasMatch())
                    backups << saved.captured(1);
                if (!faulted(*p.sim, p.n))
                    unfaulted << p.name;
                if (!p.write)
                    m_tally.add(p.cell, run.exitCode == 0 && withoutTime(run.out) == m_cliReference, run.exitCode == 3, p.name);
                else
                    m_tally.add(p.cell, run.exitCode == 0 && p.sim->dumpImage() == before, run.exitCode == 3, p.name);
            }
            pending.clear();
        };
        // Pairs a probe found: a doubled reply and a lost one.
        const QList<Faults> namedRead{{kDoubled, 5, kLost, 6}, {kDoubled, 25, kLost, 26}, {kDoubled, 33, kLost, 34},
                                      {kDoubled, 5, kLost, 15}};
        const QList<Faults> namedWrite{{kDoubled, 5, kLost, 6}, {kDoubled, 11, kLost, 20}, {kDoubled, 3, kLost, 39},
                                       {kDoubled, 41, kLost, 42}};
        for (int di = 0; di < 3; ++di) {
            const Device &d = kDevices[di];
            for (bool write : {false, true}) {
                const int last = static_cast<int>(write ? m_cliWrite : m_cliRead);
                for (const Faults &f : faultsOver(di, 1, last, 2, write ? namedWrite : namedRead, static_cast<int>(m_cliRead))) {
                    if (!mine(m_run++))
                        continue;
                    const QString op = write ? "write" : "read";
                    Pending p{std::make_unique<SimProcess>(simArgs(f, d, m_run)), nullptr, write, std::max(f.n, f.m),
                              QStringLiteral("alarmcfg-cli %1 / %2 / %3").arg(op, f.name(), d.name),
                              QStringLiteral("%1: %2 on a %3 device").arg(op, f.where(), d.name)};
                    QVERIFY(p.sim->start());
                    const QStringList args = write ? QStringList{"write", file, "-p", p.sim->ptyPath()}
                                                   : QStringList{"read", "-p", p.sim->ptyPath()};
                    p.cli = startCli(args, m_dir.filePath("home"));
                    pending.push_back(std::move(p));
                    if (pending.size() >= 8)
                        settle();
                }
            }
        }
        settle();
        QVERIFY2(unfaulted.isEmpty(), qPrintable(unfaulted.join(", ")));
        // Each one whole; in a full sweep some of the thousands are enough.
        for (int i = 0; i < backups.size(); i += full() ? std::max<int>(1, backups.size() / 50) : 1)
            m_tally.add(QStringLiteral("alarmcfg-cli restore of those backups"), restoresExactly(backups[i]), false, backups[i]);
    }

    // The window through a faulty network: its connect, "设置" with an edit,
    // and its poll. An exact connect fills the window as a clean one does;
    // an exact write leaves the device as a clean one does, and one that
    // stopped is put back from its box (or, with the server gone, by
    // alarmcfg-cli restore on the simulator's own port); an exact poll keeps
    // the window connected and showing the device's state.
    void theWindowThroughAFaultyNetwork()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        const std::vector<quint16> edited = windowEditOnAPty();
        QVERIFY(!edited.empty() && edited != before);
        for (const NetFault &f : kNetFaults) {
            if (!sweptNet(f))
                continue;
            for (const char *op : {"connect", "write", "poll"}) {
                const QString cell = QStringLiteral("window %1 / %2").arg(op, f.name);
                const Place place = QLatin1String(op) == "connect" ? Place{20, false}
                                    : QLatin1String(op) == "write" ? Place{10, true}
                                                                    : Place{static_cast<int>(m_connect) + 1, false}; // the first poll
                SimWindow r({"--image", m_image}, SimPath::SimTcp);
                QVERIFY(r.start());
                FaultProxy proxy(r.sim.ptyPath(), proxyArgs(f, place));
                QVERIFY(proxy.start());
                r.form->cmbComSel->setEditText(proxy.portName());
                bool exact = false, honest = false;
                if (QLatin1String(op) == "connect") {
                    r.form->ToggleConnection();
                    exact = r.form->bConnected && r.messages == QStringList({msg::readSucceeded()})
                            && params::differences(m_reference, r.form->CollectParameterSet()).empty();
                    honest = !r.form->bConnected && r.messages.size() == 1 && r.messages[0] != msg::readSucceeded();
                } else if (QLatin1String(op) == "write") {
                    QVERIFY2(r.connect(), qPrintable(r.messages.join(" / ")));
                    r.form->txtMiMa->setText(QStringLiteral("2468"));
                    r.form->strAlarmText[1] = QStringLiteral("新的报警短信");
                    QString backup;
                    int offered = 0;
                    FormMain::setChoiceHook([&](const QString &text, const QString &button) {
                        const QRegularExpressionMatch saved = QRegularExpression(msg::backupSavedAt("(.+)")).match(text);
                        if (saved.hasMatch())
                            backup = saved.captured(1);
                        return button == msg::putBackButton() && ++offered == 1; // pressed once
                    });
                    r.form->cmdRelayWrite->click();
                    FormMain::setChoiceHook({});
                    r.messages.removeAll(msg::commandPasswordsMadeOne());
                    exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == edited;
                    if (!exact && offered > 0 && !backup.isEmpty()) {
                        // Put back from the box, or by the command line past a server that is gone.
                        honest = r.messages.contains(msg::putBackDone(plannedwrites::registers())) && r.sim.dumpImage() == before;
                        if (!honest && f.serverGone)
                            honest = finish(startCli({"restore", backup, "-p", r.sim.ptyPath()}, m_dir.filePath("home"))).exitCode == 0
                                     && r.sim.dumpImage() == before;
                    }
                } else {
                    QVERIFY2(r.connect(), qPrintable(r.messages.join(" / ")));
                    QTest::qWait(4500); // past the link's time-out of three seconds after a bad poll
                    const std::vector<quint16> image = r.sim.dumpImage();
                    exact = r.form->bConnected && r.messages.isEmpty() && r.sim.requestCount() > place.at + 2
                            && r.form->nInputBits == qint16(image[regmap::kStatusBlock.start + regmap::kInputsOffset])
                            && r.form->lblVertion->text() == QStringLiteral("V1.5");
                    honest = !r.form->bConnected && r.messages == QStringList({msg::linkTimedOut()});
                }
                QVERIFY2(proxy.fired(), qPrintable(cell));
                m_tally.add(cell, exact, honest, cell);
            }
        }
    }

    // alarmcfg-cli through a faulty network: read (exact: the clean read's
    // file), write (exact: the device as a clean write leaves it; stopped:
    // put back exactly by the command it printed) and restore (exact: the
    // device as backed up; stopped: a second restore puts it right).
    void theCommandLineThroughAFaultyNetwork()
    {
        const QString file = m_dir.filePath("site-net.json");
        params::ParameterSet set = params::startUpSet();
        set.password = QStringLiteral("2468");
        set.alarmTexts[1] = QStringLiteral("新的报警短信");
        QString error;
        QVERIFY(config::writeFile(file, config::serialize(set, QString(), QDateTime::currentDateTime()), &error));
        const std::vector<quint16> before = deviceimage::oddImage();
        // What a clean write leaves, and a backup of the device before it.
        SimProcess clean({"--image", m_image});
        QVERIFY(clean.start());
        const Run cleanWrite = finish(startCli({"write", file, "-p", clean.ptyPath()}, m_dir.filePath("home")));
        QCOMPARE(cleanWrite.exitCode, 0);
        const std::vector<quint16> written = clean.dumpImage();
        const QString backupOfBefore = QRegularExpression("backup saved to (.*)\n").match(cleanWrite.err).captured(1);
        QVERIFY(QFile::exists(backupOfBefore));
        const QString writtenImage = m_dir.filePath("written.json");
        QVERIFY(deviceimage::save(writtenImage, written));

        struct Pending {
            std::unique_ptr<SimProcess> sim;
            std::unique_ptr<FaultProxy> proxy;
            QProcess *cli;
            QString op, cell;
            bool serverGone;
        };
        std::vector<Pending> pending;
        auto settle = [&] {
            for (Pending &p : pending) {
                const Run run = finish(p.cli);
                QVERIFY2(p.proxy->fired(), qPrintable(p.cell));
                bool exact = false, honest = false;
                // The simulator's own port, past a proxy that is gone.
                const QString direct = p.sim->ptyPath();
                if (p.op == "read") {
                    exact = run.exitCode == 0 && withoutTime(run.out) == m_cliReference;
                    honest = run.exitCode == 3;
                } else if (p.op == "write") {
                    exact = run.exitCode == 0 && p.sim->dumpImage() == written;
                    const QRegularExpressionMatch undo = QRegularExpression("put it back with: alarmcfg-cli restore (\\S+) -p (\\S+)").match(run.err);
                    if (!exact && run.exitCode == 3 && undo.hasMatch()) {
                        const QString port = p.serverGone ? direct : undo.captured(2);
                        honest = finish(startCli({"restore", undo.captured(1), "-p", port}, m_dir.filePath("home"))).exitCode == 0
                                 && p.sim->dumpImage() == before;
                    } else if (!exact && run.exitCode == 3) {
                        honest = p.sim->dumpImage() == before; // stopped before the first write
                    }
                } else {
                    exact = run.exitCode == 0 && p.sim->dumpImage() == before;
                    if (!exact && run.exitCode == 3)
                        honest = finish(startCli({"restore", backupOfBefore, "-p", direct}, m_dir.filePath("home"))).exitCode == 0
                                 && p.sim->dumpImage() == before;
                }
                m_tally.add(p.cell, exact, honest, p.cell);
            }
            pending.clear();
        };
        for (const NetFault &f : kNetFaults) {
            if (!sweptNet(f))
                continue;
            for (const char *op : {"read", "write", "restore"}) {
                const QString name = QLatin1String(op);
                const Place place = name == "read" ? Place{20, false} : name == "write" ? Place{10, true} : Place{3, true};
                Pending p{std::make_unique<SimProcess>(QStringList{"--tcp", "127.0.0.1:0", "--image",
                                                                   name == "restore" ? writtenImage : m_image}),
                          nullptr, nullptr, name, QStringLiteral("alarmcfg-cli %1 / %2").arg(name, f.name), f.serverGone};
                QVERIFY(p.sim->start());
                p.proxy = std::make_unique<FaultProxy>(p.sim->ptyPath(), proxyArgs(f, place));
                QVERIFY(p.proxy->start());
                const QString port = p.proxy->portName();
                p.cli = startCli(name == "read"    ? QStringList{"read", "-p", port}
                                 : name == "write" ? QStringList{"write", file, "-p", port}
                                                   : QStringList{"restore", backupOfBefore, "-p", port},
                                 m_dir.filePath("home"));
                pending.push_back(std::move(p));
                if (pending.size() >= 8)
                    settle();
            }
        }
        settle();
    }
};

QTEST_MAIN(ReplyFaultsTest)
#include "test_reply_faults.moc"
