// A reply that comes after its time-out, while the device also answers the
// retry: at every place of the connect, the write, alarmcfg-cli read and
// write, and for delays from just past the time-out to four times it, every
// run is exact or fails honestly. A wrong success fails the test.
//
// ALARMCFG_SWEEP=full runs every delay at every place (an hour or so), and
// ALARMCFG_SWEEP=N at every Nth place; the default runs each delay once, at
// places spread over the operations.
#include "CliEnvironment.h"
#include "ConfigFile.h"
#include "DeviceImage.h"
#include "FormMain.h"
#include "Messages.h"
#include "SimWindow.h"

#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

// The simulator's reply numbers: the probe is 1, the burst 2..46, the 22
// writes of "设置" follow a clean connect at 47..68.
constexpr int kFirstBurstReply = 2;
constexpr int kLastBurstReply = 46;
constexpr int kFirstWriteReply = 47;
constexpr int kLastWriteReply = 68;

QList<int> delays()
{
    QList<int> ms;
    for (int d = 501; d <= 2000; d += 150)
        ms << d;
    return ms; // 501, 651, ..., 1851: ten delays past the 500 ms time-out
}

// Every how many places the sweep makes a reply late; 0 for one place a delay.
int sweepStride()
{
    const QByteArray sweep = qgetenv("ALARMCFG_SWEEP");
    return sweep == "full" ? 1 : std::max(0, sweep.toInt());
}

// The places to make late for the delay with index i: every stride-th, or one
// that walks through the range as the delays go up.
QList<int> places(int first, int last, int i, int count)
{
    if (const int stride = sweepStride()) {
        QList<int> some;
        for (int n = first; n <= last; n += stride)
            some << n;
        return some;
    }
    return {first + (last - first) * i / std::max(1, count - 1)};
}

struct Tally {
    int runs = 0, exact = 0, failed = 0, wrong = 0;
    QStringList wrongRuns;
    void add(bool ok, bool honestFailure, const QString &run)
    {
        ++runs;
        if (ok)
            ++exact;
        else if (honestFailure)
            ++failed;
        else {
            ++wrong;
            wrongRuns << run;
        }
    }
    QString line(const char *what) const
    {
        return QStringLiteral("%1: %2 runs, %3 exact, %4 failed honestly, %5 wrong successes")
            .arg(QLatin1String(what))
            .arg(runs)
            .arg(exact)
            .arg(failed)
            .arg(wrong);
    }
};

} // namespace

class LateRepliesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_image;
    params::ParameterSet m_reference; // what a window shows after a clean connect
    QByteArray m_cliReference;         // what alarmcfg-cli read prints on a clean line

    QStringList simArgs(int reply, int ms) const
    {
        return {"--baud", "9600", "--image", m_image, "--late", QStringLiteral("%1:%2").arg(reply).arg(ms)};
    }

    struct Run {
        int exitCode = -1;
        QByteArray out;
    };

    static QProcess *startCli(const QStringList &args, const QString &home)
    {
        auto *p = new QProcess;
        p->setProcessEnvironment(cliEnvironment(home, home));
        p->start(QStringLiteral(ALARMCFG_CLI_PATH), args);
        return p;
    }

    static Run finish(QProcess *p)
    {
        Run r;
        if (p->waitForFinished(120000) && p->exitStatus() == QProcess::NormalExit)
            r.exitCode = p->exitCode();
        r.out = p->readAllStandardOutput();
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

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_image = m_dir.filePath("custom.json");
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

    void theWindowConnectsExactlyOrNotAtAll()
    {
        Tally tally;
        const QList<int> ms = delays();
        for (int i = 0; i < ms.size(); ++i) {
            for (int n : places(kFirstBurstReply, kLastBurstReply, i, ms.size())) {
                SimWindow r(simArgs(n, ms[i]));
                QVERIFY(r.start());
                r.form->ToggleConnection();
                const bool connected = r.form->bConnected && r.messages == QStringList({msg::readSucceeded()});
                const bool exact = connected && params::differences(m_reference, r.form->CollectParameterSet()).empty();
                const bool honest = !r.form->bConnected && r.messages == QStringList({msg::readFailed()});
                tally.add(exact, honest, QStringLiteral("reply %1 late by %2 ms").arg(n).arg(ms[i]));
            }
        }
        qInfo("%s", qPrintable(tally.line("window connect")));
        QVERIFY2(tally.wrong == 0, qPrintable(tally.wrongRuns.join(", ")));
        QCOMPARE(tally.exact + tally.failed, tally.runs);
    }

    void theWindowWritesExactlyOrSaysItFailed()
    {
        Tally tally;
        const QList<int> ms = delays();
        const std::vector<quint16> before = deviceimage::oddImage();
        for (int i = 0; i < ms.size(); ++i) {
            for (int n : places(kFirstWriteReply, kLastWriteReply, i, ms.size())) {
                SimWindow r(simArgs(n, ms[i]));
                QVERIFY(r.start());
                QVERIFY(r.connect());
                r.form->cmdRelayWrite->click();
                // What the operator did not edit goes back register for register.
                const bool exact = r.messages == QStringList({msg::writeSucceeded()}) && r.sim.dumpImage() == before;
                const bool honest = r.messages == QStringList({msg::writeFailed()});
                tally.add(exact, honest, QStringLiteral("reply %1 late by %2 ms").arg(n).arg(ms[i]));
            }
        }
        qInfo("%s", qPrintable(tally.line("window write")));
        QVERIFY2(tally.wrong == 0, qPrintable(tally.wrongRuns.join(", ")));
    }

    // alarmcfg-cli read reads 42 blocks, and write 42 before its 22 writes:
    // the places cover both.
    void theCommandLineReadsAndWritesExactlyOrFails()
    {
        constexpr int kCliReads = 42;
        constexpr int kCliWrites = 22;
        const QString file = m_dir.filePath("site.json");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(m_cliReference);
        }
        const std::vector<quint16> before = deviceimage::oddImage();
        Tally reads, writes;
        const QList<int> ms = delays();
        // Runs in parallel, each with its own simulator.
        struct Pending {
            std::unique_ptr<SimProcess> sim;
            QProcess *cli;
            bool write;
            QString name;
        };
        std::vector<Pending> pending;
        auto settle = [&] {
            for (Pending &p : pending) {
                const Run run = finish(p.cli);
                if (!p.write) {
                    reads.add(run.exitCode == 0 && withoutTime(run.out) == m_cliReference, run.exitCode == 3, p.name);
                } else {
                    writes.add(run.exitCode == 0 && p.sim->dumpImage() == before, run.exitCode == 3, p.name);
                }
            }
            pending.clear();
        };
        for (int i = 0; i < ms.size(); ++i) {
            for (bool write : {false, true}) {
                const int last = write ? kCliReads + kCliWrites : kCliReads;
                for (int n : places(write ? kCliReads + 1 : 1, last, i, ms.size())) {
                    Pending p{std::make_unique<SimProcess>(simArgs(n, ms[i])), nullptr, write,
                              QStringLiteral("%1: reply %2 late by %3 ms").arg(write ? "write" : "read").arg(n).arg(ms[i])};
                    QVERIFY(p.sim->start());
                    const QStringList args = write ? QStringList{"write", file, "--retries", "2", "-p", p.sim->ptyPath()}
                                                   : QStringList{"read", "--retries", "2", "-p", p.sim->ptyPath()};
                    p.cli = startCli(args, m_dir.filePath("home"));
                    pending.push_back(std::move(p));
                    if (pending.size() >= 4)
                        settle();
                }
            }
        }
        settle();
        qInfo("%s", qPrintable(reads.line("alarmcfg-cli read")));
        qInfo("%s", qPrintable(writes.line("alarmcfg-cli write")));
        QVERIFY2(reads.wrong == 0, qPrintable(reads.wrongRuns.join(", ")));
        QVERIFY2(writes.wrong == 0, qPrintable(writes.wrongRuns.join(", ")));
    }
};

QTEST_MAIN(LateRepliesTest)
#include "test_late_replies.moc"
