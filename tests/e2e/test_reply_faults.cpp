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
#include "SimWindow.h"

#include <QDir>
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
};

QTEST_MAIN(ReplyFaultsTest)
#include "test_reply_faults.moc"
