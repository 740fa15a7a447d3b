// One reply that comes late (after its time-out, while the device also
// answers the retry), is lost, or comes twice (the copy 25 ms after it,
// before the next reply), at places of the window's connect and write and
// of alarmcfg-cli read and write, on a lenient device, on a strict one that
// refuses reads of more than 10 registers with an exception and on one that
// leaves them unanswered. Every run is exact or fails honestly; a wrong
// success fails the test. After an exact connect, "设置" with no edit must
// leave every register as it was, and every backup alarmcfg-cli saved must
// put the device back exactly.
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
// ALARMCFG_SWEEP=full runs every place for every fault and device (a few
// hours) and prints the table; ALARMCFG_SWEEP=N every Nth place;
// ALARMCFG_FAULTS=doubled,lost (say) only those faults. The default
// runs one place of each fault and device in the window and two in
// alarmcfg-cli, shifted from one combination to the next so that together
// they spread over the operations, and always the doubled reply to the option
// flags, the one a shifted read took for the alarm mode's.
#include "BackupFile.h"
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

// The simulator's reply numbers. The window: the probe is 1, the burst
// 2..46 (the option flags 45), the fence behind it 47; "设置" after a clean
// connect reads the device for its backup (42 reads and a fence, 48..90)
// and then sends its 22 writes (91..112). alarmcfg-cli: read's 42 reads and
// its fence are 1..43 (the option flags 41), and write's 22 writes follow
// them at 44..65. Each run checks that the device saw its faulted request, so
// a number that drifts past its operation fails rather than fault nothing.
constexpr int kFirstBurstReply = 2;
constexpr int kOptionFlagsReply = 45;
constexpr int kCliOptionFlagsReply = 41;
constexpr int kFenceReply = 47;
constexpr int kFirstWriteReply = 48;
constexpr int kLastWriteReply = 112;
constexpr int kCliReads = 43;
constexpr int kCliWrites = 22;

struct Fault {
    const char *name;
    QStringList args(int reply, int run) const
    {
        if (kind == 0) // late by 501 .. 1851 ms, one delay after the other
            return {"--late", QStringLiteral("%1:%2").arg(reply).arg(501 + 150 * (run % 10))};
        if (kind == 1)
            return {"--lose-reply", QString::number(reply)};
        return {"--duplicate-reply", QStringLiteral("%1:25").arg(reply)};
    }
    int kind;
};
const Fault kFaults[] = {{"late", 0}, {"lost", 1}, {"doubled", 2}};

struct Device {
    const char *name;
    QStringList args;
};
const Device kDevices[] = {{"lenient", {}}, {"strict", {"--strict"}}, {"strict=silent", {"--strict=silent"}}};

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

// Where each operation is faulted: the Nth request (the window's connect is
// the probe, 45 reads of its burst and the fence, 47 in all, so 48 is the
// first poll), or with writes the Nth write request.
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

bool swept(const Fault &f)
{
    const QByteArray only = qgetenv("ALARMCFG_FAULTS");
    return only.isEmpty() || only.split(',').contains(f.name);
}

// The places of one range to fault for the combination with index c of n:
// every stride-th with ALARMCFG_SWEEP, else `some` spread over the range,
// shifted with each combination so that together they cover it.
QList<int> places(int first, int last, int c, int n, int some)
{
    QList<int> out;
    const int stride = sweep() == "full" ? 1 : sweep().toInt();
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

// Runs by place, kind of fault and device, for the table.
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
    }
    void print() const
    {
        qInfo("| operation / fault / device | runs | exact | failed honestly | wrong successes |");
        for (const auto &[name, c] : cells)
            qInfo("| %s | %d | %d | %d | %d |", qPrintable(name), c.runs, c.exact, c.failed, c.wrong);
        if (!failedRuns.isEmpty())
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
    Tally m_tally;

    QStringList simArgs(const Fault &f, const Device &d, int reply, int run) const
    {
        // A device that answers in 30 ms and more, so that a copy 25 ms after
        // a reply comes before the next one.
        return QStringList{"--baud", "9600", "--delay", "30", "--image", m_image} + d.args + f.args(reply, run);
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

    // The device as "设置" leaves it after the sweep's edit, on a clean pty.
    std::vector<quint16> windowEditOnAPty()
    {
        SimWindow r({"--image", m_image});
        if (!r.start() || !r.connect())
            return {};
        r.form->txtMiMa->setText(QStringLiteral("2468"));
        r.form->strAlarmText[1] = QStringLiteral("新的报警短信");
        r.form->cmdRelayWrite->click();
        return r.messages == QStringList({msg::writeSucceeded()}) ? r.sim.dumpImage() : std::vector<quint16>();
    }

    static bool sweptNet(const NetFault &f)
    {
        const QByteArray only = qgetenv("ALARMCFG_FAULTS");
        return only.isEmpty() || only.split(',').contains(f.proxy);
    }

    // Whether the device was asked for reply `reply` at all.
    static bool faulted(SimProcess &sim, int reply)
    {
        sim.dumpImage();
        return sim.requestCount() >= reply;
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

        SimProcess sim({"--image", m_image});
        QVERIFY(sim.start());
        const Run read = finish(startCli({"read", "-p", sim.ptyPath()}, m_dir.filePath("home")));
        QCOMPARE(read.exitCode, 0);
        m_cliReference = withoutTime(read.out);
        QVERIFY(m_cliReference.contains("\"parameters\""));
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
        int c = 0, run = 0;
        for (const Fault &f : kFaults) {
            for (const Device &d : kDevices) {
                if (!swept(f)) {
                    ++c;
                    continue;
                }
                QList<int> at = places(kFirstBurstReply, kFenceReply, c++, 9, 1);
                if (f.kind == 2 && !at.contains(kOptionFlagsReply))
                    at << kOptionFlagsReply;
                for (int n : at) {
                    SimWindow r(simArgs(f, d, n, run++));
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
                    QVERIFY2(faulted(r.sim, n), qPrintable(QString::number(n)));
                    m_tally.add(QStringLiteral("window connect / %1 / %2").arg(f.name, d.name), exact, honest,
                                QStringLiteral("connect: reply %1 %2 on a %3 device").arg(n).arg(f.name, d.name));
                }
            }
        }
    }

    void theWindowWritesExactlyOrSaysItFailed()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        int c = 0, run = 0;
        for (const Fault &f : kFaults) {
            for (const Device &d : kDevices) {
                if (!swept(f)) {
                    ++c;
                    continue;
                }
                for (int n : places(kFirstWriteReply, kLastWriteReply, c++, 9, 1)) {
                    SimWindow r(simArgs(f, d, n, run++));
                    QVERIFY(r.start());
                    QVERIFY2(r.connect(), qPrintable(r.messages.join(" / ")));
                    r.form->cmdRelayWrite->click();
                    // What the operator did not edit goes back register for register.
                    const bool exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == before;
                    const bool honest = r.messages.size() == 1 && r.messages[0] != msg::writeSucceeded();
                    QVERIFY2(faulted(r.sim, n), qPrintable(QString::number(n)));
                    m_tally.add(QStringLiteral("window write / %1 / %2").arg(f.name, d.name), exact, honest,
                                QStringLiteral("write: reply %1 %2 on a %3 device").arg(n).arg(f.name, d.name));
                }
            }
        }
    }

    // alarmcfg-cli read reads 42 blocks and a fence, and write the same before
    // its 22 writes: the places cover both. Each backup a write saved is put
    // back on another device.
    void theCommandLineReadsAndWritesExactlyOrFails()
    {
        const QString file = m_dir.filePath("site.json");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(m_cliReference);
        }
        const std::vector<quint16> before = deviceimage::oddImage();
        // Runs eight at a time, each with its own simulator: they mostly wait on
        // their lines.
        struct Pending {
            std::unique_ptr<SimProcess> sim;
            QProcess *cli;
            bool write;
            int reply;
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
                if (!faulted(*p.sim, p.reply))
                    unfaulted << p.name;
                if (!p.write)
                    m_tally.add(p.cell, run.exitCode == 0 && withoutTime(run.out) == m_cliReference, run.exitCode == 3, p.name);
                else
                    m_tally.add(p.cell, run.exitCode == 0 && p.sim->dumpImage() == before, run.exitCode == 3, p.name);
            }
            pending.clear();
        };
        int c = 0, run = 0;
        for (const Fault &f : kFaults) {
            for (const Device &d : kDevices) {
                if (!swept(f)) {
                    ++c;
                    continue;
                }
                for (bool write : {false, true}) {
                    const int last = write ? kCliReads + kCliWrites : kCliReads;
                    QList<int> at = places(1, last, c, 9, 2);
                    if (!write && f.kind == 2 && !at.contains(kCliOptionFlagsReply))
                        at << kCliOptionFlagsReply;
                    for (int n : at) {
                        Pending p{std::make_unique<SimProcess>(simArgs(f, d, n, run++)), nullptr, write, n,
                                  QStringLiteral("alarmcfg-cli %1 / %2 / %3").arg(write ? "write" : "read", f.name, d.name),
                                  QStringLiteral("%1: reply %2 %3 on a %4 device").arg(write ? "write" : "read").arg(n).arg(f.name, d.name)};
                        QVERIFY(p.sim->start());
                        const QStringList args = write ? QStringList{"write", file, "-p", p.sim->ptyPath()}
                                                       : QStringList{"read", "-p", p.sim->ptyPath()};
                        p.cli = startCli(args, m_dir.filePath("home"));
                        pending.push_back(std::move(p));
                        if (pending.size() >= 8)
                            settle();
                    }
                }
                ++c;
            }
        }
        settle();
        QVERIFY2(unfaulted.isEmpty(), qPrintable(unfaulted.join(", ")));
        QVERIFY(!backups.isEmpty());
        for (const QString &b : backups)
            m_tally.add(QStringLiteral("alarmcfg-cli restore of those backups"), restoresExactly(b), false, b);
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
                                                                    : Place{48, false};
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
                    exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == edited;
                    if (!exact && offered > 0 && !backup.isEmpty()) {
                        // Put back from the box, or by the command line past a server that is gone.
                        honest = r.messages.contains(msg::putBackDone(390)) && r.sim.dumpImage() == before;
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
