// alarmcfg-cli as an installer runs it, against simulators on pseudo-terminals:
// what it writes, what it refuses, how it fails and how it is undone.
#include "BackupFile.h"
#include "PlannedWrites.h"
#include "ConfigFile.h"
#include "ImageFile.h"
#include "CliEnvironment.h"
#include "DeviceImage.h"
#include "FactoryDefaults.h"
#include "FormMain.h"
#include "Messages.h"
#include "NetworkServers.h"
#include "SimWindow.h"

#include "RegisterMap.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {
// The writes of a whole configuration, as many as the register map has.
const int kWrites = plannedwrites::count();


struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// The configuration of the custom device with some texts shortened and every
// other kind of field changed: what an installer puts on a controller.
params::ParameterSet siteSet()
{
    params::ParameterSet set = params::startUpSet();
    set.phones = QStringList{"+8613800000000", "13912345678"};
    set.password = QStringLiteral("2468");
    set.relays[0].on = QStringLiteral("开");
    set.relays[0].off = QStringLiteral("关");
    set.relays[1].onReply = QStringLiteral("pump on");
    set.relays[1].actionTime = -7;
    set.allOn = QStringLiteral("ALL");
    set.alarmTexts[1] = QStringLiteral("二号门关上了，现场一切正常请放心");
    set.alarmMode = params::AlarmMode::Closing;
    set.phoneAlarm = true;
    return set;
}

// What poppler reads from a PDF: its text laid out as on the page
// (pdftotext), its fonts (pdffonts), its pages (pdfinfo).
QString poppler(const QString &tool, const QString &pdf)
{
    QProcess p;
    p.start(tool, tool == QLatin1String("pdftotext") ? QStringList{"-layout", pdf, "-"} : QStringList{pdf});
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Every font pdffonts lists is embedded, and there is one at least.
bool everyFontEmbedded(const QString &pdf)
{
    const QStringList lines = poppler("pdffonts", pdf).split(u'\n', Qt::SkipEmptyParts).mid(2); // below the heading
    return !lines.isEmpty() && std::all_of(lines.begin(), lines.end(), [](const QString &line) {
        const QStringList columns = line.split(u' ', Qt::SkipEmptyParts); // ... emb sub uni object ID
        return columns.size() > 5 && columns[columns.size() - 5] == QLatin1String("yes");
    });
}

// The program under test: the build's, or ALARMCFG_CLI (the same built with
// another sanitizer).
QString cliProgram()
{
    return qEnvironmentVariable("ALARMCFG_CLI", QStringLiteral(ALARMCFG_CLI_PATH));
}

} // namespace

std::vector<quint16> loadImage(const QString &path)
{
    QString error;
    return imagefile::load(path, &error).value_or(std::vector<quint16>());
}

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir home; // the tool's data and config folders, away from the real user's
    QStringList sims;   // args given to the simulators started by start()
    std::vector<std::unique_ptr<SimProcess>> running;
    std::vector<std::unique_ptr<SimBehind>> behind; // the servers in front of some of them

    SimProcess &start(const QStringList &args = {}, const std::vector<quint16> &image = {})
    {
        QStringList all = args;
        if (!image.empty()) {
            const QString path = home.filePath(QStringLiteral("image%1.json").arg(running.size()));
            deviceimage::save(path, image);
            all << "--image" << path;
        }
        running.push_back(std::make_unique<SimProcess>(all));
        if (!running.back()->start())
            qFatal("the simulator did not start");
        return *running.back();
    }

    // A simulator reached by a path: its port, or empty when the server did not start.
    QString startBehind(SimPath path, const std::vector<quint16> &image = {})
    {
        SimProcess &sim = start(simArgsFor(path), image);
        behind.push_back(std::make_unique<SimBehind>(path, sim));
        QString error;
        if (!behind.back()->start(&error))
            qWarning("%s", qPrintable(error));
        return error.isEmpty() ? behind.back()->port() : QString();
    }

    Run cli(const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        p.start(cliProgram(), args);
        Run r;
        if (!p.waitForFinished(60000))
            return r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // The requests of the read that comes before every write, backup or not,
    // on a clean line: every block, the fence behind the last, and a read
    // again of each block whose reply repeats one before it. Counted on a
    // device holding image (the simulator's own when empty).
    long readRequests(const std::vector<quint16> &image = {})
    {
        SimProcess &sim = start({}, image);
        if (cli({"read", "-p", sim.ptyPath()}).exitCode != 0)
            qFatal("a clean read failed");
        sim.dumpImage();
        return sim.requestCount();
    }

    QString file(const QString &name, const params::ParameterSet &set)
    {
        const QString path = home.filePath(name);
        QString error;
        if (!config::writeFile(path, config::serialize(set, QString(), QDateTime::currentDateTime()), &error))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void cleanup()
    {
        behind.clear();
        running.clear();
    }

    void readThenWriteLeavesTheDeviceAsItWas()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        SimProcess &sim = start({}, before);
        const QString saved = home.filePath("odd.json");
        Run r = cli({"read", "-p", sim.ptyPath(), "-o", saved});
        QCOMPARE(r.exitCode, 0);
        // Read whole, the 30-byte alarm text is whole in the file.
        QCOMPARE(config::readFile(saved).configuration->set.alarmTexts[0], QStringLiteral("前门被打开，请立即检查现场安全"));
        r = cli({"write", saved, "-p", sim.ptyPath(), "--no-backup", "--verify"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(deviceimage::differingRegisters(sim.dumpImage(), before), QList<int>());

        // One field changed in the file: only its registers change.
        params::ParameterSet set = config::readFile(saved).configuration->set;
        set.relays[0].onReply = QStringLiteral("灯亮了");
        QCOMPARE(cli({"write", file("edited.json", set), "-p", sim.ptyPath(), "--no-backup"}).exitCode, 0);
        std::vector<quint16> expected = before;
        deviceimage::putText(expected, 50, QStringLiteral("灯亮了"));
        QCOMPARE(deviceimage::differingRegisters(sim.dumpImage(), expected), QList<int>());
    }

    // Through a serial device server, by each kind of network port: read,
    // write and restore are as exact as on a serial line, and the backup
    // names the port as typed.
    void everyPathReadsWritesAndRestoresExactly_data()
    {
        QTest::addColumn<int>("path");
        for (SimPath p : {SimPath::SimTcp, SimPath::Ser2netRaw, SimPath::Ser2netRfc2217})
            QTest::newRow(pathName(p)) << int(p);
    }

    void everyPathReadsWritesAndRestoresExactly()
    {
        QFETCH(int, path);
        const std::vector<quint16> before = deviceimage::oddImage();
        const QString port = startBehind(SimPath(path), before);
        QVERIFY(!port.isEmpty());
        SimProcess &sim = *running.back();
        SimProcess &reference = start({}, before); // the same device on a pty
        const Run read = cli({"read", "-p", port});
        QCOMPARE(read.exitCode, 0);
        const Run readOnPty = cli({"read", "-p", reference.ptyPath()});
        const QRegularExpression savedAt("\"saved\": [^\n]*\n");
        QCOMPARE(QString(read.out).remove(savedAt), QString(readOnPty.out).remove(savedAt));
        QVERIFY(read.out.contains("\"parameters\""));

        const Run written = cli({"write", file("site.json", siteSet()), "-p", port, "--verify"});
        QVERIFY2(written.exitCode == 0, qPrintable(written.err));
        QVERIFY2(written.err.contains(QStringLiteral("%1 writes confirmed and read back the same").arg(kWrites)), qPrintable(written.err));
        QCOMPARE(cli({"write", home.filePath("site.json"), "-p", reference.ptyPath(), "--no-backup"}).exitCode, 0);
        QCOMPARE(deviceimage::differingRegisters(sim.dumpImage(), reference.dumpImage()), QList<int>());

        const QString backup = QRegularExpression("backup saved to (\\S+)$", QRegularExpression::MultilineOption).match(written.err).captured(1);
        QFile saved(backup);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const std::optional<backup::Backup> parsed = backup::parse(saved.readAll()).backup;
        QVERIFY(parsed);
        QCOMPARE(parsed->port, port);
        const Run restored = cli({"restore", backup, "-p", port});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        QCOMPARE(deviceimage::differingRegisters(sim.dumpImage(), before), QList<int>());
    }

    // Two spellings of one server share their backups' name, as COM3 and
    // com3 do; a second client at once is told the server is busy.
    void oneServerOneBackupNameAndOneClient()
    {
        const QString port = startBehind(SimPath::SimTcp);
        QVERIFY(!port.isEmpty());
        const QString number = port.section(u':', -1);
        const QString other = QStringLiteral("TCP://[::ffff:127.0.0.1]:0%1/").arg(number);
        QStringList names;
        for (const QString &p : {port, other}) {
            const Run r = cli({"write", file("site.json", siteSet()), "-p", p});
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            const QString backup = QRegularExpression("backup saved to (\\S+)$", QRegularExpression::MultilineOption).match(r.err).captured(1);
            names << QFileInfo(backup).fileName().mid(QStringLiteral("yyyyMMdd-HHmmss-zzz-").size()).remove(QRegularExpression("-\\d+\\.json$|\\.json$"));
            QVERIFY2(r.err.startsWith(p + ": "), qPrintable(r.err)); // reports name the port as typed
        }
        QCOMPARE(names[0], QStringLiteral("tcp_3A_2F_2F127_2E0_2E0_2E1_3A%1").arg(number));
        QCOMPARE(names[1], names[0]);

        const Run twice = cli({"status", "-p", port, "-p", other});
        QCOMPARE(twice.exitCode, 3);
        QVERIFY2(twice.err.contains(QStringLiteral("the server 127.0.0.1:%1 is busy: it serves one client at a time").arg(number)),
                 qPrintable(twice.err));
        QCOMPARE(twice.out.count("firmware V1.5"), 1);

        // Mixed with a serial port, each answers under its own name.
        const Run mixed = cli({"status", "-p", start().ptyPath(), "-p", other});
        QVERIFY2(mixed.exitCode == 0, qPrintable(mixed.err));
        QCOMPARE(mixed.out.count("firmware V1.5"), 2);
        QVERIFY2(mixed.out.contains(other + " I0=off"), qPrintable(mixed.out));
    }

    // Each way a network port fails to open has its own words, naming the server.
    void aNetworkPortThatDoesNotOpenSaysWhy_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("said");
        const int free = freePort();
        QTest::newRow("refused") << QStringLiteral("tcp://localhost:%1").arg(free)
                                 << QStringLiteral("tcp://localhost:%1: the server localhost:%1 refused the connection: "
                                                   "nothing listens at that port\n").arg(free);
        QTest::newRow("no port") << "rfc2217://127.0.0.5"
                                 << "rfc2217://127.0.0.5: not a network port: no port number after the host: 127.0.0.5:PORT "
                                    "(tcp://HOST:PORT or rfc2217://HOST:PORT, an IPv6 address in brackets)\n";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:4001"
                                               << "tcp://::1:4001: not a network port: an IPv6 address goes in brackets: "
                                                  "tcp://[::1]:4001 (tcp://HOST:PORT or rfc2217://HOST:PORT, an IPv6 "
                                                  "address in brackets)\n";
    }

    void aNetworkPortThatDoesNotOpenSaysWhy()
    {
        QFETCH(QString, port);
        QFETCH(QString, said);
        const Run r = cli({"status", "-p", port});
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(r.err, said);
    }

    void factoryKeepsWhatIsNoPartOfIt()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        SimProcess &sim = start({}, before);
        QCOMPARE(cli({"factory", "-p", sim.ptyPath(), "--no-backup"}).exitCode, 0);
        const std::vector<quint16> after = sim.dumpImage();
        // The mode and the options as the device held them, bits the window has no box for included.
        for (int a : {902, 903, 904, 905, 906, 907, 1030, 1050})
            QCOMPARE(after[a], before[a]);
        const QMap<QString, QString> fields = deviceimage::fields(after);
        QCOMPARE(fields.value("text   10"), QStringLiteral("739154*设备1开"));
        QCOMPARE(fields.value("text  490"), QStringLiteral("739154*ALL ON")); // under the factory password
        QCOMPARE(fields.value("time Q1"), QStringLiteral("0"));
    }

    void oneEncoderForTheWindowAndTheCommandLine()
    {
        const QString site = file("site.json", siteSet());
        SimProcess &byCli = start();
        QCOMPARE(cli({"write", site, "-p", byCli.ptyPath(), "--no-backup"}).exitCode, 0);

        SimWindow byWindow;
        QVERIFY(byWindow.start());
        QVERIFY(byWindow.connect());
        FormMain::setFileDialogHook([&](FormMain::FileDialog, const QString &) { return site; });
        byWindow.form->cmdImport->click();
        byWindow.form->cmdRelayWrite->click();
        FormMain::setFileDialogHook({});
        QCOMPARE(byWindow.messages, QStringList({msg::configImported(), msg::writeSucceeded()}));
        QCOMPARE(byCli.dumpImage(), byWindow.sim.dumpImage());
    }

    void verifyFindsAWriteTheDeviceDropped()
    {
        SimProcess &sim = start({"--drop-writes-to", "830"});
        const Run r = cli({"write", file("site.json", siteSet()), "-p", sim.ptyPath(), "--no-backup", "--verify"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QRegularExpression("verify: parameters\\.alarmTexts\\.channel2Closing does not hold what was "
                                                   "written: \\d+ of its registers differ, register 830 holds 0x")),
                 qPrintable(r.err));
        QCOMPARE(r.err.count("verify: parameters."), 1); // the writes it stored read back the same
    }

    // Whatever stops a write part-way, the backup it saved first puts the
    // device back register for register, even values the write's checks
    // would refuse: a 25-byte reply, a phone slot holding letters, a password
    // longer than six characters.
    void aWriteStoppedPartWayIsPutBackByItsBackup_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("kill -9") << "kill";
        QTest::newRow("Ctrl-C") << "interrupt";
        QTest::newRow("a device exception") << "exception";
        QTest::newRow("the device vanishes") << "vanish";
    }

    void aWriteStoppedPartWayIsPutBackByItsBackup()
    {
        QFETCH(QString, how);
        std::vector<quint16> before = deviceimage::oddImage();
        deviceimage::putText(before, 50, QStringLiteral("relay one is now on!!!!!")); // 25 bytes
        deviceimage::putText(before, 750, QStringLiteral("10086abc"));
        deviceimage::putText(before, 10, QStringLiteral("12345678*开灯"));
        const QStringList slow{"--delay", "60"};
        const long reads = readRequests(before);
        SimProcess &sim = start(how == "exception" ? slow + QStringList{"--exception-on", "810"} : slow, before);

        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        p.start(cliProgram(), {"write", file("site.json", siteSet()), "-p", sim.ptyPath(), "--timeout", "700"});
        QVERIFY(p.waitForStarted());
        // Some writes through, not all 22.
        QTRY_VERIFY_WITH_TIMEOUT((sim.dumpImage(), sim.requestCount() > reads + 3), 30000);
        if (how == "kill")
            ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        else if (how == "interrupt")
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        else if (how == "vanish")
            sim.kill();
        QVERIFY(p.waitForFinished(20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QRegularExpressionMatch saved = QRegularExpression("backup saved to (\\S+)$", QRegularExpression::MultilineOption).match(err);
        QVERIFY2(saved.hasMatch(), qPrintable(err));
        // Who failed: the device that refused, or the line that fell silent.
        if (how == "exception")
            QVERIFY2(err.contains("failed: the device refused it: Modbus exception 02 (illegal data address)"), qPrintable(err));
        if (how == "vanish")
            QVERIFY2(err.contains("check the cable"), qPrintable(err));
        if (how != "kill") {
            QCOMPARE(p.exitCode(), 3);
            QVERIFY2(err.contains(QStringLiteral("put it back with: alarmcfg-cli restore %1 -p %2 --timeout 700")
                                      .arg(saved.captured(1), sim.ptyPath())),
                     qPrintable(err));
        }
        // The same device, answering again (a vanished one after a restart, on a new line).
        SimProcess &device = how == "vanish" ? start({}, QFile::exists(sim.dumpPath()) ? loadImage(sim.dumpPath()) : before)
                                            : sim;
        QVERIFY(device.dumpImage() != before || how == "vanish");
        const Run restored = cli({"restore", saved.captured(1), "-p", device.ptyPath()});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        QVERIFY2(restored.err.contains("backup restored:"), qPrintable(restored.err));
        QCOMPARE(deviceimage::differingRegisters(device.dumpImage(), before), QList<int>());
    }

    void backupsNeverReplaceEachOther()
    {
        // Two ports whose names differ only in punctuation, written twice
        // within a second: four backups, each restoring its own device.
        QTemporaryDir links;
        std::vector<quint16> first = deviceimage::customImage(), second = deviceimage::oddImage();
        SimProcess &a = start({"--link", links.filePath("site.a")}, first);
        SimProcess &b = start({"--link", links.filePath("site_a")}, second);
        const QString site = file("site.json", siteSet());
        QStringList paths;
        for (int round = 0; round < 2; ++round) {
            const Run r = cli({"write", site, "-p", links.filePath("site.a"), "-p", links.filePath("site_a")});
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            const auto found = QRegularExpression("backup saved to (\\S+)$", QRegularExpression::MultilineOption).globalMatch(r.err);
            for (auto it = found; it.hasNext();)
                paths << it.next().captured(1);
        }
        QCOMPARE(paths.size(), 4);
        QCOMPARE(QSet<QString>(paths.begin(), paths.end()).size(), 4);
        for (const QString &path : paths) // the commands carry the password
            QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                     QFile::Permissions());
        // The first round's backups hold each device as it was.
        for (const QString &path : paths.mid(0, 2)) {
            const bool ofA = path.contains("site_2Ea");
            QVERIFY(ofA != path.contains("site_5Fa"));
            const Run r = cli({"restore", path, "-p", links.filePath(ofA ? "site.a" : "site_a")});
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        }
        QCOMPARE(deviceimage::differingRegisters(a.dumpImage(), first), QList<int>());
        QCOMPARE(deviceimage::differingRegisters(b.dumpImage(), second), QList<int>());
    }

    void aBackupIsCheckedBeforeAnythingIsSent()
    {
        SimProcess &sim = start({}, deviceimage::customImage());
        const Run made = cli({"write", file("site.json", siteSet()), "-p", sim.ptyPath()});
        const QString path = QRegularExpression("backup saved to (\\S+)$", QRegularExpression::MultilineOption).match(made.err).captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(made.err));
        // A dry run shows the writes of the backup and opens no port.
        const Run dry = cli({"restore", path, "--dry-run"});
        QCOMPARE(dry.exitCode, 0);
        QVERIFY2(dry.out.contains(QRegularExpression("^  10 16 ", QRegularExpression::MultilineOption)), qPrintable(dry.out));
        QCOMPARE(dry.out.count('\n'), qsizetype(backup::backupBlocks().size()));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        bytes.replace("{\"start\": 900, ", "{\"start\": 901, ");
        const QString broken = home.filePath("broken-backup.json");
        QFile out(broken);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        const std::vector<quint16> now = sim.dumpImage();
        const Run refused = cli({"restore", broken, "-p", sim.ptyPath()});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains("no block of a backup starts at 901"), qPrintable(refused.err));
        QCOMPARE(sim.dumpImage(), now);
        // A configuration file is not a backup, and the other way round.
        QVERIFY(cli({"restore", file("site.json", siteSet()), "-p", sim.ptyPath()}).err.contains("a configuration file, not a backup"));
        QCOMPARE(cli({"write", path, "-p", sim.ptyPath()}).exitCode, 2);
        QCOMPARE(sim.dumpImage(), now);

        // A backup of other firmware is put back only when asked for, by name.
        QByteArray other = bytes;
        other.replace("{\"start\": 901, ", "{\"start\": 900, ").replace("\"firmware\": \"V1.5\"", "\"firmware\": \"V1.10\"");
        const QString older = home.filePath("other-firmware.json");
        QFile o(older);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write(other);
        o.close();
        const Run kept = cli({"restore", older, "-p", sim.ptyPath()});
        QCOMPARE(kept.exitCode, 2);
        QVERIFY2(kept.err.contains("the backup is of firmware V1.10, the device runs V1.5"), qPrintable(kept.err));
        QCOMPARE(sim.dumpImage(), now);
        QCOMPARE(cli({"restore", older, "-p", sim.ptyPath(), "--force"}).exitCode, 0);
        QCOMPARE(sim.dumpImage(), deviceimage::customImage());
    }

    void diffSaysWhetherTheDeviceHoldsTheFile()
    {
        SimProcess &sim = start({}, deviceimage::customImage());
        const QString saved = home.filePath("custom.json");
        QCOMPARE(cli({"read", "-p", sim.ptyPath(), "-o", saved}).exitCode, 0);
        Run r = cli({"diff", saved, "-p", sim.ptyPath()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());

        r = cli({"diff", file("site.json", siteSet()), "-p", sim.ptyPath(), "--json"});
        QCOMPARE(r.exitCode, 1);
        const QJsonObject result = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(result["port"].toString(), sim.ptyPath());
        const QJsonArray diffs = result["differences"].toArray();
        QVERIFY(diffs.contains(QJsonObject{{"field", "parameters.password"}, {"device", "4321"}, {"file", "2468"}}));
        QVERIFY(diffs.contains(QJsonObject{{"field", "parameters.alarmMode"}, {"device", "opening"}, {"file", "closing"}}));
    }

    void severalControllersAtOnce()
    {
        SimProcess &a = start(), &b = start(), &c = start({}, deviceimage::customImage());
        const Run r = cli({"write", file("site.json", siteSet()), "-p", a.ptyPath(), "-p", b.ptyPath(), "-p", c.ptyPath(),
                           "--verify", "--no-backup"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err.count(QStringLiteral("%1 writes confirmed and read back the same").arg(kWrites)), 3);
        const QMap<QString, QString> want = deviceimage::fields(a.dumpImage());
        QCOMPARE(deviceimage::fields(b.dumpImage()), want);
        QCOMPARE(deviceimage::fields(c.dumpImage()), want);
        QCOMPARE(want.value("text  830"), QStringLiteral("二号门关上了，现场一切正常请放心"));
    }

    // The short commands, run after run, on three ports at once: every run
    // ends with status 0, never by a signal, a sanitizer's report or a hang,
    // as the port threads and the program end. ALARMCFG_CRASH_LOOPS=N runs
    // each N times (default 10).
    void shortCommandsEndCleanlyRunAfterRun_data()
    {
        QTest::addColumn<QStringList>("args"); // PORTS stands for three simulators, each with -p
        QTest::newRow("status") << QStringList({"status", "PORTS"});
        QTest::newRow("read -o") << QStringList({"read", "PORTS", "-o", home.filePath("read.json")});
        QTest::newRow("write --dry-run") << QStringList({"write", file("site.json", siteSet()), "--dry-run"});
        QTest::newRow("--help") << QStringList({"--help"});
        QTest::newRow("--version") << QStringList({"--version"});
    }

    void shortCommandsEndCleanlyRunAfterRun()
    {
        QFETCH(QStringList, args);
        if (const qsizetype at = args.indexOf("PORTS"); at >= 0) {
            QStringList ports;
            for (int i = 0; i < 3; ++i)
                ports << "-p" << start().ptyPath();
            args = args.mid(0, at) + ports + args.mid(at + 1);
        }
        const int runs = qEnvironmentVariableIsSet("ALARMCFG_CRASH_LOOPS") ? qEnvironmentVariableIntValue("ALARMCFG_CRASH_LOOPS") : 10;
        QVERIFY(runs > 0);
        int failed = 0;
        QString first;
        for (int i = 1; i <= runs; ++i) {
            const Run r = cli(args);
            if (r.exitCode == 0)
                continue;
            if (failed++ == 0)
                first = QStringLiteral("run %1 %2:\n%3").arg(i).arg(r.exitCode < 0 ? "crashed or hung" : "exited " + QString::number(r.exitCode), r.err);
        }
        QVERIFY2(failed == 0, qPrintable(QStringLiteral("%1 of %2 runs failed; the first, %3").arg(failed).arg(runs).arg(first)));
    }

    // A line set for something else before the run (a terminal at 19200
    // 7E1, two stop bits, cooked) has those settings again once the command
    // ends, answered or not. A pseudo-terminal keeps no character size or
    // parity, so what it keeps is compared: all of it as read back.
    void theLineIsLeftAsItWasFound_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QStringList>("device");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("19200 7E1, answered") << int(B19200) << QStringList() << 0;
        QTest::newRow("1200, nothing answers") << int(B1200) << QStringList({"--silent"}) << 3;
        // The doctor sets other speeds while it looks for the controller.
        QTest::newRow("1200, the doctor finds 19200") << int(B1200) << QStringList({"--line", "speed:19200"}) << 3;
    }

    void theLineIsLeftAsItWasFound()
    {
        QFETCH(int, speed);
        QFETCH(QStringList, device);
        QFETCH(int, exitCode);
        SimProcess &sim = start(device);
        auto settings = [&](const termios *set) {
            termios tio{};
            const int fd = ::open(QFile::encodeName(sim.ptyPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool ok = fd >= 0 && (!set || ::tcsetattr(fd, TCSANOW, set) == 0) && ::tcgetattr(fd, &tio) == 0;
            if (fd >= 0)
                ::close(fd);
            return ok ? std::optional<termios>(tio) : std::nullopt;
        };
        std::optional<termios> found = settings(nullptr);
        QVERIFY(found);
        found->c_cflag = (found->c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        found->c_lflag |= ICANON | ECHO;
        found->c_iflag |= ICRNL;
        QVERIFY(::cfsetispeed(&*found, speed_t(speed)) == 0 && ::cfsetospeed(&*found, speed_t(speed)) == 0);
        found = settings(&*found);
        QVERIFY(found && ::cfgetospeed(&*found) == speed_t(speed) && (found->c_cflag & CSTOPB) && (found->c_lflag & ICANON));

        const Run r = device.contains("--line") ? cli({"doctor", "-p", sim.ptyPath()})
                                                : cli({"status", "-p", sim.ptyPath(), "--timeout", "100", "--retries", "0"});
        QCOMPARE(r.exitCode, exitCode);
        const std::optional<termios> after = settings(nullptr);
        QVERIFY(after);
        QCOMPARE(::cfgetospeed(&*after), ::cfgetospeed(&*found));
        QCOMPARE(::cfgetispeed(&*after), ::cfgetispeed(&*found));
        QCOMPARE(after->c_cflag, found->c_cflag);
        QCOMPARE(after->c_iflag, found->c_iflag);
        QCOMPARE(after->c_oflag, found->c_oflag);
        QCOMPARE(after->c_lflag, found->c_lflag);
    }

    void theWorstPortDecidesTheExitStatus()
    {
        SimProcess &good = start();
        const Run r = cli({"status", "-p", good.ptyPath(), "-p", home.filePath("no-such-port")});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.out.contains(good.ptyPath() + " I0=off I1=off Q0=off Q1=off firmware V1.5"), qPrintable(r.out));
        QVERIFY2(r.err.contains("no-such-port: no such device"), qPrintable(r.err));
    }

    void anInterruptStopsBetweenTwoWrites()
    {
        // Slow to answer, so that the interrupt finds a write waiting for its answer.
        const long reads = readRequests();
        SimProcess &sim = start({"--baud", "9600", "--delay", "200"});
        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        p.start(cliProgram(), {"write", file("site.json", siteSet()), "-p", sim.ptyPath(), "--no-backup"});
        QVERIFY(p.waitForStarted());
        // The device is read first; the interrupt comes once some writes are through, not all 22.
        QTRY_VERIFY_WITH_TIMEOUT((sim.dumpImage(), sim.requestCount() > reads + 2), 20000);
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 3);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("interrupted: the device confirmed (\\d+) of %1 writes").arg(kWrites)).match(err);
        QVERIFY2(m.hasMatch(), qPrintable(err));
        const int confirmed = m.captured(1).toInt();
        QVERIFY2(confirmed > 0 && confirmed < kWrites, qPrintable(err));
        // The device answered every request it got: no frame was cut.
        sim.dumpImage();
        QCOMPARE(sim.requestCount(), reads + confirmed);
    }

    void badUsageAndBadFilesSendNothing_data()
    {
        QTest::addColumn<QStringList>("args"); // PORT stands for the simulator's pty
        params::ParameterSet tooLong = siteSet();
        tooLong.relays[1].on = QString(15, u'x'); // 20 bytes with "2468*"
        QTest::newRow("unknown command") << QStringList({"wirte", "f.json", "-p", "PORT"});
        QTest::newRow("no file") << QStringList({"write", "-p", "PORT"});
        QTest::newRow("no port") << QStringList({"status"});
        QTest::newRow("bad baud") << QStringList({"status", "-p", "PORT", "-b", "fast"});
        QTest::newRow("an option of another command") << QStringList({"read", "-p", "PORT", "--watch"});
        QTest::newRow("unknown relay") << QStringList({"relay", "Q2", "on", "-p", "PORT"});
        QTest::newRow("a file the write refuses") << QStringList({"write", file("long.json", tooLong), "-p", "PORT"});
        QTest::newRow("sheet: a file the write refuses") << QStringList({"sheet", home.filePath("long.json"), "-o", "x.pdf"});
        QTest::newRow("sheet: no -o") << QStringList({"sheet", "-p", "PORT"});
        QTest::newRow("sheet: a file and a port") << QStringList({"sheet", home.filePath("long.json"), "-p", "PORT", "-o", "x.pdf"});
        QTest::newRow("sheet: a SIM number that is none") << QStringList({"sheet", "-p", "PORT", "-o", "x.pdf", "--sim", "pump"});
        QTest::newRow("a file that cannot be read") << QStringList({"diff", home.filePath("missing.json"), "-p", "PORT"});
    }

    void badUsageAndBadFilesSendNothing()
    {
        QFETCH(QStringList, args);
        SimProcess &sim = start();
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.ptyPath());
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
        sim.dumpImage();
        QCOMPARE(sim.requestCount(), 0L);
    }

    // Columns: the command, PORT standing for a simulator that never answers;
    // what the command says and its exit status.
    void anInterruptEndsEveryCommandWithinASecond_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("device"); // how the simulator answers
        const QStringList slow = {"-p", "PORT", "--timeout", "8000", "--retries", "5"};
        const QString site = file("site.json", siteSet());
        for (const int signal : {SIGINT, SIGTERM}) {
            const char *name = signal == SIGINT ? "SIGINT" : "SIGTERM";
            auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s, %s", what, name); };
            const QStringList silent{"--silent"};
            row("read") << QStringList({"read"}) + slow << signal << 3 << "PORT: interrupted" << silent;
            row("write, at the backup") << QStringList({"write", site}) + slow << signal << 3
                                        << "PORT: no backup, nothing written: interrupted" << silent;
            row("write, at the read first") << QStringList({"write", site, "--no-backup"}) + slow << signal << 3
                                            << "PORT: nothing written: interrupted" << silent;
            // The device read, then fell silent: the write got there and is
            // not waited for past the grace.
            row("write in flight") << QStringList({"write", site, "--no-backup"}) + slow << signal << 3
                                   << QStringLiteral("PORT: interrupted: the device confirmed 0 of %1 writes; write 10 "
                                                     "(parameters.relays[0].on) was sent, its answer not awaited; no backup was made")
                                          .arg(kWrites)
                                   << QStringList{"--stop-after", QString::number(readRequests())};
            row("diff") << QStringList({"diff", site}) + slow << signal << 3 << "PORT: interrupted" << silent;
            row("relay") << QStringList({"relay", "Q0", "on"}) + slow << signal << 3
                         << "PORT: read of 1 registers from 5 failed: interrupted" << silent;
            row("status --watch") << QStringList({"status", "--watch"}) + slow << signal << 0 << "" << QStringList{"--silent"};
        }
    }

    void anInterruptEndsEveryCommandWithinASecond()
    {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QStringList, device);
        SimProcess &sim = start(device);
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.ptyPath());
        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        p.start(cliProgram(), args);
        QVERIFY(p.waitForStarted());
        QTest::qWait(1000); // waiting for the first answer by now
        QCOMPARE(p.state(), QProcess::Running);
        QElapsedTimer took;
        took.start();
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        const qint64 ms = took.elapsed();
        qInfo("%s ended %lld ms after the signal", qPrintable(args.join(u' ')), ms);
        QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), said.isEmpty() ? said : said.replace("PORT", sim.ptyPath()) + '\n');
    }

    // A two-wire adapter sends every request back before the reply: at both
    // rates each command is as exact as on a line without one.
    void anAdapterThatHearsItselfIsNoObstacle_data()
    {
        QTest::addColumn<QString>("baud");
        QTest::newRow("9600") << "9600";
        QTest::newRow("115200") << "115200";
    }

    void anAdapterThatHearsItselfIsNoObstacle()
    {
        QFETCH(QString, baud);
        const std::vector<quint16> before = deviceimage::oddImage();
        const Run clean = cli({"read", "-p", start({}, before).ptyPath()});
        QCOMPARE(clean.exitCode, 0);
        SimProcess &sim = start({"--echo", "--baud", baud}, before);
        const QStringList line = {"-p", sim.ptyPath(), "-b", baud};
        const Run read = cli(QStringList{"read"} + line);
        QCOMPARE(read.exitCode, 0);
        auto withoutTime = [](const QString &json) { return json.split(u'\n').filter(QRegularExpression("^(?!\\s*\"saved\")")); };
        QCOMPARE(withoutTime(read.out), withoutTime(clean.out));
        const QString saved = home.filePath("echo.json");
        QCOMPARE(cli(QStringList{"read", "-o", saved} + line).exitCode, 0);
        QCOMPARE(cli(QStringList{"write", saved, "--verify", "--no-backup"} + line).exitCode, 0);
        QCOMPARE(sim.dumpImage(), before);
        const Run status = cli(QStringList{"status"} + line);
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out, sim.ptyPath() + " I0=off I1=off Q0=off Q1=off firmware V1.5\n");
    }

    // A lost reply is a line of its own; the watch goes on, and Ctrl-C ends it.
    void watchingGoesOnThroughALostReply()
    {
        // The first status read and the fence behind it are requests 1 and 2: the second read is lost.
        SimProcess &sim = start({"--lose-reply", "3"});
        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        p.start(cliProgram(), {"status", "--watch", "--retries", "0", "--timeout", "300", "-p", sim.ptyPath()});
        QVERIFY(p.waitForStarted());
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput()), out.count(u'\n') >= 3), 10000);
        const QStringList lines = out.split(u'\n');
        QVERIFY2(lines[0].endsWith(" I0=off I1=off Q0=off Q1=off firmware V1.5"), qPrintable(out));
        QVERIFY2(lines[1].contains(sim.ptyPath() + " no status: read of 7 registers from 0 failed: nothing came back; check the cable"),
                 qPrintable(out));
        QVERIFY2(lines[2].endsWith(" I0=off I1=off Q0=off Q1=off firmware V1.5"), qPrintable(out)); // shown again
        QElapsedTimer took;
        took.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(5000));
        QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(p.exitCode(), 0);
    }

    // Columns: the command (PORT: a simulator), what it says, its exit status.
    void messagesNameWhatIsWrong_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("exitCode");
        const QString site = file("site.json", siteSet());
        QByteArray twice = config::serialize(siteSet(), QString(), QDateTime());
        twice.replace("\"password\": ", "\"password\": \"2024\", \"password\": ");
        const QString twicePath = home.filePath("twice.json");
        QFile out(twicePath);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(twice) == twice.size());
        out.close();
        params::ParameterSet invisible = siteSet();
        invisible.relays[0].onReply = QStringLiteral("开\u0000了");
        invisible.alarmTexts[2] = QStringLiteral("门😀\u200B😀");
        const QString invisiblePath = file("invisible.json", invisible);

        QTest::newRow("a key twice") << QStringList({"write", twicePath, "--dry-run"})
                                     << twicePath + ": parameters.password: the key is there more than once; which value is "
                                                    "meant cannot be told\n"
                                     << 2;
        QTest::newRow("characters that show nothing")
            << QStringList({"diff", invisiblePath, "-p", "PORT"})
            << invisiblePath + ": parameters.relays[0].onReply: holds characters GBK cannot carry: U+0000\n" + invisiblePath
                   + ": parameters.alarmTexts.channel1Opening: holds characters GBK cannot carry: 😀 U+200B\n"
            << 2;
        QTest::newRow("an empty port") << QStringList({"status", "-p", ""})
                                       << "alarmcfg-cli: -p needs a port name: -p COM1, or -p /dev/ttyUSB0\n" << 2;
        QTest::newRow("a blank port among others") << QStringList({"read", "-p", "PORT", "-p", " ", "-o", site})
                                                   << "alarmcfg-cli: -p needs a port name: -p COM1, or -p /dev/ttyUSB0\n" << 2;
        // The backups folder's name is taken by a file.
        QTest::newRow("no backups folder") << QStringList({"write", site, "-p", "PORT", "--quiet"})
                                           << "PORT: no backup, nothing written: cannot save a backup in BACKUPS: " << 3;
    }

    void messagesNameWhatIsWrong()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QFETCH(int, exitCode);
        const long reads = readRequests();
        SimProcess &sim = start();
        const QString backups = home.filePath("data/alarmcfg/backups");
        QDir(backups).removeRecursively();
        QVERIFY(QDir().mkpath(home.filePath("data/alarmcfg")));
        QFile taken(backups);
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.ptyPath());
        const Run r = cli(args);
        QFile::remove(backups);
        QCOMPARE(r.exitCode, exitCode);
        said.replace("PORT", sim.ptyPath());
        if (said.contains("BACKUPS")) {
            QVERIFY2(r.err.startsWith(said.replace("BACKUPS", backups)), qPrintable(r.err));
            QVERIFY2(r.err.endsWith(": " + backups + " is a regular file, not a folder\n"), qPrintable(r.err));
        } else {
            QCOMPARE(r.err, said);
        }
        sim.dumpImage();
        QCOMPARE(sim.requestCount(), exitCode == 2 ? 0L : reads); // the backup's reads, and no write
    }

    void portsInJsonIsOneObjectPerLine()
    {
        const Run r = cli({"ports", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QStringList kinds;
        for (const QString &line : lines) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError && !line.contains(u'\n'), qPrintable(line));
            kinds << o["kind"].toString();
            if (o["kind"] == "com")
                QCOMPARE(o["port"].toString(), QStringLiteral("COM%1").arg(kinds.size()));
            else
                QVERIFY2(o["kind"] == "device" && o["device"].toString().startsWith("/dev/"), qPrintable(line));
        }
        QCOMPARE(kinds.mid(0, 7), QStringList(7, "com"));
        QCOMPARE(kinds.count("device"), kinds.size() - 7);
    }

    // Columns: the password and the six commands (relay 1 on, off, relay 2
    // on, off, all on, all off), the phone list, whether the sheet is made
    // from the file or from a device that holds it, the six commands as the
    // device holds them when put straight into its image (else the file is
    // written to it); what the owner must send for each command, other lines
    // the sheet shows, and what it must not.
    void aSheetHoldsEveryCommandAsItMustBeSent_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("phones");
        QTest::addColumn<bool>("fromDevice");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("absent");
        // Chinese characters whose glyphs the font shares with radicals, a space, digits after Latin letters.
        const QStringList commands{"开泵ON", "关 pump", "Q2开", "一号水泵 OFF", "全开", "ALL OFF"};
        const QStringList phones{"13912345678", "", "+8613800000000"}; // the empty entry is an empty slot
        // The site's letters, drawn first, are named in one run of the PDF's character map.
        const QStringList shown{"安装地点：abcdefghijklmnopqrstuvwxyz 日", "第1个手机号码：13912345678",
                                "第2个手机号码：+8613800000000", "水泵已开[U+0007]"};
        const QString mixed = QStringLiteral("注意：这些命令前的密码各不相同，请照灰底逐条发送。");
        QTest::newRow("a password, from the file")
            << "739154" << commands << phones << false << QStringList()
            << QStringList{"739154*开泵ON", "739154*关 pump", "739154*Q2开", "739154*一号水泵 OFF", "739154*全开", "739154*ALL OFF"}
            << shown << QStringList{"第3个手机号码", "固件版本", mixed};
        QTest::newRow("no password, from a device")
            << "" << commands << phones << true << QStringList() << commands << shown + QStringList{"固件版本：V1.5"}
            << QStringList{"第3个手机号码", mixed};
        // What a write stopped part-way, an SMS or another tool leaves behind.
        const QStringList held{"4321*开灯", "4321*关灯", "OPEN2", "7777*CLOSE2", "9999*ALL ON", "ALL OFF"};
        QTest::newRow("other passwords in front, from a device")
            << "" << commands << phones << true << held << held << QStringList{mixed, "固件版本：V1.5"} << QStringList();
        // Spaces nobody would see on the grey, marked as a keypad's missing characters are.
        QTest::newRow("spaces that do not show, from the file")
            << "739154" << QStringList{"开泵ON", "关 pump ", "Q2开", "水泵\u3000OFF", "全开", "全关\u3000"} << phones << false
            << QStringList()
            << QStringList{"739154*开泵ON", "739154*关 pump[U+0020]", "739154*Q2开", "739154*水泵[U+3000]OFF",
                           "739154*全开", "739154*全关[U+3000]"}
            << QStringList() << QStringList{mixed};
        QTest::newRow("spaces at both ends, no password, from a device")
            << "" << QStringList{"  开泵", "关泵", "Q2开", "Q2关", " ALL ON ", "ALL OFF"} << phones << true << QStringList()
            << QStringList{"[U+0020][U+0020]开泵", "关泵", "Q2开", "Q2关", "[U+0020]ALL ON[U+0020]", "ALL OFF"} << QStringList()
            << QStringList();
    }

    void aSheetHoldsEveryCommandAsItMustBeSent()
    {
        QFETCH(QString, password);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, phones);
        QFETCH(bool, fromDevice);
        QFETCH(QStringList, held);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, absent);
        params::ParameterSet set = siteSet();
        set.password = password;
        for (int r = 0; r < 2; ++r) {
            set.relays[r].on = commands[2 * r];
            set.relays[r].off = commands[2 * r + 1];
        }
        set.allOn = commands[4];
        set.allOff = commands[5];
        set.phones = phones;
        set.relays[0].onReply = QStringLiteral("水泵已开\u0007"); // no keypad gives it
        const QString site = file("sheet.json", set), pdf = home.filePath("sheet.pdf");
        QStringList source{site};
        if (fromDevice && !held.isEmpty()) {
            std::vector<quint16> image = factory::registerImage();
            const int commandSlots[] = {10, 30, 90, 110, 490, 510};
            for (int i = 0; i < 6; ++i)
                deviceimage::putText(image, commandSlots[i], held[i]);
            source = {"-p", start({}, image).ptyPath()};
        } else if (fromDevice) {
            SimProcess &sim = start();
            QCOMPARE(cli({"write", site, "-p", sim.ptyPath(), "--no-backup"}).exitCode, 0);
            source = {"-p", sim.ptyPath()};
        }
        const Run r = cli(QStringList{"sheet"} + source + QStringList{"-o", pdf, "--site", "abcdefghijklmnopqrstuvwxyz 日"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains("hand-over sheet saved to " + pdf), qPrintable(r.err));
        const QString text = poppler("pdftotext", pdf);
        // Each command in its row, whole, with nothing in front.
        const params::FieldId ids[] = {params::FieldId::OnCommand, params::FieldId::OffCommand};
        for (int i = 0; i < 6; ++i) {
            const QString caption = i < 4 ? params::field(ids[i % 2], i / 2).caption.text()
                                          : params::field(i == 4 ? params::FieldId::AllOn : params::FieldId::AllOff).caption.text();
            const QRegularExpression row(QStringLiteral("^ *%1 +%2( {2,}|$)").arg(caption, QRegularExpression::escape(sent[i])),
                                         QRegularExpression::MultilineOption);
            QVERIFY2(text.contains(row), qPrintable(caption + ": " + sent[i] + "\n" + text));
        }
        for (const QString &line : shown)
            QVERIFY2(text.contains(line), qPrintable(line + "\n" + text));
        for (const QString &line : absent)
            QVERIFY2(!text.contains(line), qPrintable(line + "\n" + text));
        QVERIFY2(everyFontEmbedded(pdf), qPrintable(poppler("pdffonts", pdf)));
        QCOMPARE(QFileInfo(pdf).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions()); // the password
    }

    // Every field at its longest: five phones of 20 digits, every text at its limit.
    void theLongestSheetIsOneA4Page()
    {
        params::ParameterSet set = siteSet();
        set.password = QString(6, u'W');
        for (params::RelaySettings &r : set.relays) {
            r.on = r.off = QString(12, u'W'); // 19 bytes with the password and "*"
            r.onReply = r.offReply = QString(19, u'W');
            r.actionTime = -32768;
        }
        set.allOn = set.allOff = QString(12, u'W');
        set.alarmTexts = {QString(40, u'W'), QString(40, u'M'), QString(20, u'国'), QString(20, u'警')};
        set.phones = QStringList(5, QStringLiteral("12345678901234567890"));
        const QString pdf = home.filePath("longest.pdf");
        const Run r = cli({"sheet", file("longest.json", set), "-o", pdf, "--site", QString(60, u'站'), "--sim", "+8613812345678901234"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QString info = poppler("pdfinfo", pdf);
        QVERIFY2(info.contains(QRegularExpression("^Pages: +1$", QRegularExpression::MultilineOption)), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("^Page size: .*\\(A4\\)$", QRegularExpression::MultilineOption)), qPrintable(info));
        // Down to the last lines: nothing fell off the page.
        const QString text = poppler("pdftotext", pdf);
        for (const QString &line : {params::phoneCaption(4) + QStringLiteral("：12345678901234567890"), QString(20, u'警'),
                                    params::field(params::FieldId::PhoneAlarm).caption.text(), QStringLiteral("made by alarmcfg ")})
            QVERIFY2(text.contains(line), qPrintable(line + "\n" + text));
    }

    // One code path: the window's sheet of a device is the command line's.
    void theWindowMakesTheCommandLinesSheet()
    {
        SimWindow byWindow;
        QVERIFY(byWindow.start());
        params::ParameterSet set = siteSet();
        set.alarmTexts[1] = QStringLiteral("二号门关上了"); // short enough for the window to read whole
        QCOMPARE(cli({"write", file("site.json", set), "-p", byWindow.sim.ptyPath(), "--no-backup"}).exitCode, 0);
        const QString byCli = home.filePath("cli.pdf"), fromWindow = home.filePath("window.pdf");
        QCOMPARE(cli({"sheet", "-p", byWindow.sim.ptyPath(), "-o", byCli}).exitCode, 0);
        QVERIFY(byWindow.connect());
        byWindow.form->txtOpen[0]->setText(QStringLiteral("not written")); // the sheet is the device's, and says so
        QString saved;
        FormMain::setFileDialogHook([&](FormMain::FileDialog, const QString &) { return fromWindow; });
        FormMain::setChoiceHook([&](const QString &text, const QString &) {
            saved = text;
            return false;
        });
        byWindow.form->cmdSheet->click();
        FormMain::setFileDialogHook({});
        FormMain::setChoiceHook({});
        const QString text = poppler("pdftotext", byCli);
        QVERIFY(text.contains(QStringLiteral("2468*开")));
        QCOMPARE(poppler("pdftotext", fromWindow), text);
        QVERIFY2(saved.contains(msg::sheetShowsDevice()), qPrintable(saved));
    }

    void aDryRunShowsTheWritesAndSendsNothing()
    {
        const Run r = cli({"write", file("site.json", siteSet()), "--dry-run"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.chopped(1).split(u'\n');
        QCOMPARE(lines.size(), kWrites);
        QCOMPARE(lines[0], QStringLiteral("  10 16 3234 3638 2ABF AA00  \"2468*开\"  parameters.relays[0].on"));
        QCOMPARE(lines.last(), QStringLiteral("1030 06 0002  parameters.powerLossMemory, parameters.phoneAlarm"));
    }

    // The line doctor names each fault a site's line may have by its code,
    // and only reads: the simulator's log holds read requests alone.
    void theDoctorNamesEachLineFault_data()
    {
        QTest::addColumn<QStringList>("device");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("says"); // a piece of the sentence
        QTest::newRow("a controller") << QStringList() << "healthy" << "20 of 20 status reads answered";
        QTest::newRow("nothing connected") << QStringList({"--line", "silent"}) << "no-answer" << "slaves 1 to 247";
        QTest::newRow("set to slave 2") << QStringList({"--line", "slave:2"}) << "other-address" << "slave address 2 ";
        QTest::newRow("at 19200 baud") << QStringList({"--line", "speed:19200"}) << "other-speed" << "alarmcfg-cli -b 19200";
        QTest::newRow("an adapter that echoes, alone") << QStringList({"--line", "echo-only"}) << "echo-only" << "own requests";
        QTest::newRow("A and B swapped") << QStringList({"--line", "swapped"}) << "lines-swapped" << "swap the two wires";
        QTest::newRow("another kind of device") << QStringList({"--line", "foreign"}) << "not-this-device" << "registers 900-907";
        QTest::newRow("one request in three unanswered") << QStringList({"--line", "flaky:0.33"}) << "intermittent" << "latency";
        QTest::newRow("another master") << QStringList({"--line", "chatter"}) << "another-master" << "of slave 7";
    }

    void theDoctorNamesEachLineFault()
    {
        QFETCH(QStringList, device);
        QFETCH(QString, verdict);
        QFETCH(QString, says);
        // The sentence and the JSON at once, each from its own device: a scan takes half a minute.
        const QString log = home.filePath("heard.log");
        QFile::remove(log);
        SimProcess &sim = start(device + QStringList{"--log", log});
        SimProcess &twin = start(device);
        QProcess json, sentence;
        for (QProcess *p : {&json, &sentence})
            p->setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        json.start(cliProgram(), {"doctor", "-p", sim.ptyPath(), "--json"});
        sentence.start(cliProgram(), {"doctor", "-p", twin.ptyPath()});
        QVERIFY(json.waitForFinished(60000) && sentence.waitForFinished(60000));
        QCOMPARE(json.exitCode(), verdict == "healthy" ? 0 : 3);
        const QJsonObject found = QJsonDocument::fromJson(json.readAllStandardOutput()).object();
        QCOMPARE(found["verdict"].toString(), verdict);
        QVERIFY(!found["probes"].toArray().isEmpty());
        const QString said = QString::fromUtf8(sentence.readAllStandardOutput());
        QVERIFY2(said.startsWith(twin.ptyPath() + u' ' + verdict + ": ") && said.contains(says), qPrintable(said));
        sim.terminate();
        QFile heard(log);
        QVERIFY(heard.open(QIODevice::ReadOnly));
        const QList<QByteArray> requests = heard.readAll().split('\n');
        // The simulator logs what it takes for its own address, at its own speed.
        if (QStringList({"healthy", "other-speed", "not-this-device", "intermittent"}).contains(verdict))
            QVERIFY(requests.size() > 2);
        for (const QByteArray &request : requests)
            QVERIFY2(request.isEmpty() || request.mid(2, 2) == "03", request.constData());
    }
};

QTEST_MAIN(CliTest)
#include "test_cli.moc"
