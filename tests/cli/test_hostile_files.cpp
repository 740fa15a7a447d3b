// Paths that name no regular file, given to every part of the tool that saves
// or reads one (read -o, sheet -o, 导出配置, write FILE, 导入配置, restore BACKUP,
// 恢复写入前的参数, the port map): what is
// left on disk, the exit status and the message, and that nothing waits.
// Then standard output that takes no more data, on every command that prints.
#include "BackupFile.h"
#include "CliEnvironment.h"
#include "ConfigFile.h"
#include "FactoryDefaults.h"
#include "Messages.h"
#include "SimProcess.h"
#include "SystemPorts.h"
#include "WindowFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

enum class Thing { NullDevice, FullDevice, Fifo, Folder, Socket, LinkToFile, LinkToNothing };

struct Run {
    int exitCode = -1; // -1: it did not end by itself within 10 s
    qint64 ms = 0;
    QString err;
};

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// What stands at path, without following a link: the test's view of "left on disk".
QString state(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return QStringLiteral("nothing");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("character device %1,%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("FIFO");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("socket");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("folder of ") + QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u',');
    return QStringLiteral("file of %1 bytes, mode %2").arg(st.st_size).arg(st.st_mode & 0777, 0, 8);
}

// Makes thing at path; a link's target holds target. A device of its own
// for root, so that a tool that replaced it would replace that node and not
// the machine's /dev/null; for anyone else a link to the machine's, which
// only root could replace.
QString make(Thing thing, const QString &path, const QByteArray &target)
{
    const QByteArray name = QFile::encodeName(path);
    auto device = [&](unsigned minorNumber, const char *shared) {
        if (::geteuid() != 0)
            QFile::link(QString::fromLatin1(shared), path);
        else if (::mknod(name.constData(), S_IFCHR | 0666, makedev(1, minorNumber)) != 0)
            qFatal("mknod: %s", std::strerror(errno));
        return path;
    };
    switch (thing) {
    case Thing::NullDevice: return device(3, "/dev/null");
    case Thing::FullDevice: return device(7, "/dev/full");
    case Thing::Fifo:
        if (::mkfifo(name.constData(), 0644) != 0)
            qFatal("mkfifo: %s", std::strerror(errno));
        return path;
    case Thing::Folder:
        QDir().mkpath(path);
        putFile(path + QStringLiteral("/kept"), "kept");
        return path;
    case Thing::Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (name.size() >= qsizetype(sizeof address.sun_path))
            qFatal("socket path too long: %s", name.constData());
        std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            qFatal("socket: %s", std::strerror(errno));
        ::close(fd); // the socket file stays
        return path;
    }
    case Thing::LinkToFile:
        putFile(QFileInfo(path).dir().filePath(QStringLiteral("target")), target);
        QFile::link(QStringLiteral("target"), path);
        return path;
    case Thing::LinkToNothing:
        QFile::link(QStringLiteral("nothing"), path);
        return path;
    }
    return path;
}

ports::SystemPort anAdapter()
{
    ports::SystemPort p;
    p.name = QStringLiteral("ttyUSB0");
    p.device = QStringLiteral("/dev/ttyUSB0");
    p.kind = ports::SystemPort::Kind::UsbAdapter;
    p.serialNumber = QStringLiteral("A50285BI");
    p.byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    return p;
}

} // namespace

Q_DECLARE_METATYPE(Thing)

class HostileFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir home; // the tool's data and config folders

    Run cli(const QStringList &args, const std::function<void()> &inChild = {})
    {
        QProcess p;
        p.setProcessEnvironment(cliEnvironment(home.filePath("data"), home.filePath("config")));
        if (inChild)
            p.setChildProcessModifier(inChild);
        QElapsedTimer took;
        took.start();
        p.start(QStringLiteral(ALARMCFG_CLI_PATH), args);
        Run r;
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.ms = took.elapsed();
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    static QByteArray configuration()
    {
        return config::serialize(params::startUpSet(), QString(), QDateTime());
    }

private slots:
    void initTestCase() { QVERIFY(home.isValid()); }

    // Columns: what is made at the path; then for each part of the tool what
    // it says. An empty text means the part takes the path as it should: a
    // save writes, a read reads.
    void nothingButARegularFileIsReadOrReplaced_data()
    {
        QTest::addColumn<Thing>("thing");
        QTest::addColumn<QString>("cliSave");    // read -o, sheet -o: the message, exit 3
        QTest::addColumn<QString>("windowSave"); // 导出配置: the reason in the message
        QTest::addColumn<QString>("cliRead");    // write FILE --dry-run: the message, exit 2
        QTest::addColumn<QString>("windowRead"); // 导入配置: the line of the message
        QTest::addColumn<QString>("mapNote");    // the port map: what the note says
        const QString ignored = QStringLiteral("ignored and left as it is: it is %1, not a regular file");
        QTest::newRow("character device") << Thing::NullDevice << "" << ""
                                          << "it is a character device, not a regular file; not read"
                                          << msg::fileNotRegular(msg::fileKindCharacterDevice())
                                          << ignored.arg("a character device");
        QTest::newRow("full device") << Thing::FullDevice << systemText(ENOSPC) << systemText(ENOSPC)
                                     << "it is a character device, not a regular file; not read"
                                     << msg::fileNotRegular(msg::fileKindCharacterDevice())
                                     << ignored.arg("a character device");
        QTest::newRow("FIFO") << Thing::Fifo
                              << "it is a FIFO (named pipe), not a regular file or a character device; left as it is"
                              << msg::saveNotRegular(msg::fileKindFifo())
                              << "it is a FIFO (named pipe), not a regular file; not read"
                              << msg::fileNotRegular(msg::fileKindFifo()) << ignored.arg("a FIFO (named pipe)");
        QTest::newRow("folder") << Thing::Folder << "it is a folder, not a regular file or a character device; left as it is"
                                << msg::saveNotRegular(msg::fileKindFolder())
                                << "it is a folder, not a regular file; not read" << msg::fileNotRegular(msg::fileKindFolder())
                                << ignored.arg("a folder");
        QTest::newRow("socket") << Thing::Socket << "it is a socket, not a regular file or a character device; left as it is"
                                << msg::saveNotRegular(msg::fileKindSocket())
                                << "it is a socket, not a regular file; not read" << msg::fileNotRegular(msg::fileKindSocket())
                                << ignored.arg("a socket");
        QTest::newRow("link to a file") << Thing::LinkToFile << "" << "" << "" << "" << "";
        QTest::newRow("link to nothing") << Thing::LinkToNothing
                                         << "it is a symbolic link to nothing, which does not exist; not followed"
                                         << msg::saveDanglingLink("nothing") << "cannot be read: " + systemText(ENOENT)
                                         << msg::fileCannotBeRead(systemText(ENOENT))
                                         << "not saved: it is a symbolic link to nothing, which does not exist; not followed";
    }

    void nothingButARegularFileIsReadOrReplaced()
    {
        QFETCH(Thing, thing);
        QFETCH(QString, cliSave);
        QFETCH(QString, windowSave);
        QFETCH(QString, cliRead);
        QFETCH(QString, windowRead);
        QFETCH(QString, mapNote);
        QTemporaryDir dir;
        // A link stays: its target is replaced, with a configuration's mode;
        // a link to nothing makes no file.
        const QString targetAfterSave = thing == Thing::LinkToFile ? QStringLiteral(" mode 600") : QStringLiteral("nothing");
        auto target = [&] {
            return state(dir.filePath(thing == Thing::LinkToNothing ? "nothing" : "target")).section(u',', -1);
        };

        // read -o
        SimProcess sim;
        QVERIFY(sim.start());
        QString path = make(thing, dir.filePath("read-o"), "earlier");
        QString before = state(path);
        Run r = cli({"read", "-p", sim.ptyPath(), "-o", path});
        QVERIFY2(r.ms < 5000, "read -o waited");
        QCOMPARE(r.exitCode, cliSave.isEmpty() ? 0 : 3);
        QVERIFY2(r.err.contains(cliSave.isEmpty() ? "configuration saved to " + path : "cannot save " + path + ": " + cliSave),
                 qPrintable(r.err));
        QCOMPARE(state(path), before);
        QCOMPARE(target(), targetAfterSave);
        if (thing == Thing::LinkToFile)
            QVERIFY(config::readFile(path).configuration);
        QFile::remove(dir.filePath("target"));

        // sheet -o: the same rules for the PDF, which holds the password too
        const QString site = dir.filePath("site.json");
        putFile(site, configuration());
        path = make(thing, dir.filePath("sheet-o"), "earlier");
        before = state(path);
        r = cli({"sheet", site, "-o", path});
        QVERIFY2(r.ms < 5000, "sheet -o waited");
        QCOMPARE(r.exitCode, cliSave.isEmpty() ? 0 : 3);
        QVERIFY2(r.err.contains(cliSave.isEmpty() ? site + ": hand-over sheet saved to " + path
                                                  : site + ": cannot save " + path + ": " + cliSave),
                 qPrintable(r.err));
        QCOMPARE(state(path), before);
        QCOMPARE(target(), targetAfterSave);
        QFile::remove(dir.filePath("target"));

        // 导出配置
        {
            WindowFixture w;
            w.connectQuietly();
            w.chosenFile = path = make(thing, dir.filePath("export"), "earlier");
            before = state(path);
            w.form->cmdExport->click();
            QCOMPARE(w.messages.size(), 1);
            const QString expected = windowSave.isEmpty() ? msg::configExported(path) : msg::configNotSaved(path, windowSave);
            QCOMPARE(w.messages[0], expected);
            QCOMPARE(state(path), before);
            QCOMPARE(target(), targetAfterSave);
        }
        QFile::remove(dir.filePath("target"));

        // write FILE: only the dry run, which reads the file as every write does
        path = make(thing, dir.filePath("write"), configuration());
        before = state(path);
        r = cli({"write", path, "--dry-run"});
        QVERIFY2(r.ms < 5000, "write FILE waited");
        QCOMPARE(r.exitCode, cliRead.isEmpty() ? 0 : 2);
        QVERIFY2(cliRead.isEmpty() ? r.err.isEmpty() : r.err.contains(path + ": " + cliRead), qPrintable(r.err));
        QCOMPARE(state(path), before);

        // 导入配置
        {
            WindowFixture w;
            w.chosenFile = path;
            w.form->cmdImport->click();
            QCOMPARE(w.messages.size(), 1);
            QCOMPARE(w.messages[0], windowRead.isEmpty() ? msg::configImported() : msg::configRefused(path, windowRead));
            QCOMPARE(state(path), before);
        }
        QFile::remove(dir.filePath("target"));

        // restore BACKUP --dry-run, and the window's put-back: a backup is read by the same rules
        backup::Backup factoryBackup;
        factoryBackup.firmware = QStringLiteral("V1.5"); // the simulator's: a backup naming none is refused
        int registers = 0;
        for (const regmap::Block &block : backup::backupBlocks()) {
            const std::vector<quint16> image = factory::registerImage();
            factoryBackup.blocks[block.start] = QVector<quint16>(image.begin() + block.start, image.begin() + block.start + block.count);
            registers += block.count;
        }
        path = make(thing, dir.filePath("backup"), backup::serialize(factoryBackup));
        before = state(path);
        r = cli({"restore", path, "--dry-run"});
        QVERIFY2(r.ms < 5000, "restore BACKUP waited");
        QCOMPARE(r.exitCode, cliRead.isEmpty() ? 0 : 2);
        QVERIFY2(cliRead.isEmpty() ? r.err.isEmpty() : r.err.contains(path + ": " + cliRead), qPrintable(r.err));
        {
            WindowFixture w;
            w.connectQuietly();
            w.form->PutBackBackup(path);
            QCOMPARE(w.messages, QStringList(windowRead.isEmpty() ? msg::putBackDone(registers) : msg::backupUnreadable(path, windowRead)));
        }
        QCOMPARE(state(path), before);
        QFile::remove(dir.filePath("target"));

        // The port map: read, and saved when an adapter gets a number.
        path = make(thing, dir.filePath("ports.json"), "{}\n");
        before = state(path);
        const ports::PortTable t = ports::lookUpPorts({anAdapter()}, path, [](const QString &) { return QString(); });
        if (mapNote.isEmpty()) {
            QVERIFY2(t.notes.isEmpty(), qPrintable(t.notes.join(u'\n')));
            QCOMPARE(t.com[0].rule, ports::Rule::Assigned);
            QVERIFY(ports::loadPortMap(path).pins.count(1)); // saved through the link
        } else {
            QCOMPARE(t.notes.size(), 1);
            QVERIFY2(t.notes[0].contains(path) && t.notes[0].contains(mapNote), qPrintable(t.notes[0]));
            QCOMPARE(t.com[0].rule, ports::Rule::Unsaved); // the adapter still has its number
        }
        QCOMPARE(state(path), before);
        if (thing == Thing::LinkToFile)
            QCOMPARE(target(), QStringLiteral(" mode 644"));

        // And as every command finds it: in the tool's folder, no command waits.
        QFile::remove(dir.filePath("target"));
        QDir(home.filePath("config")).removeRecursively();
        QVERIFY(QDir().mkpath(home.filePath("config/alarmcfg")));
        path = make(thing, home.filePath("config/alarmcfg/ports.json"), "{}\n");
        before = state(path);
        r = cli({"status", "-p", sim.ptyPath(), "--trace"});
        QCOMPARE(r.exitCode, 0);
        if (!mapNote.isEmpty() && !mapNote.startsWith("not saved"))
            QVERIFY2(r.err.contains("PORT  port map " + path + " " + mapNote), qPrintable(r.err));
        QCOMPARE(state(path), before);
        QDir(home.filePath("config")).removeRecursively();
    }

    void severalPortsWriteThroughOneDevice()
    {
        SimProcess a, b;
        QVERIFY(a.start() && b.start());
        QTemporaryDir dir;
        const QString path = make(Thing::NullDevice, dir.filePath("null"), QByteArray());
        const Run r = cli({"read", "-p", a.ptyPath(), "-p", b.ptyPath(), "-o", path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err.count("configuration saved to " + path + '\n'), 2);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList({"null"}));
    }

    // Columns: the command (PORT: a simulator; FILE: a configuration), and
    // where its standard output goes.
    void dataThatDoesNotGoOutFailsTheCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out"); // a device, "closed pipe" or "full disk"
        QTest::addColumn<QString>("why");
        const QString full = systemText(ENOSPC), pipe = systemText(EPIPE), limit = systemText(EFBIG);
        QTest::newRow("read > /dev/full") << QStringList({"read", "-p", "PORT"}) << "/dev/full" << full;
        QTest::newRow("read | closed pipe") << QStringList({"read", "-p", "PORT"}) << "closed pipe" << pipe;
        QTest::newRow("read > full disk") << QStringList({"read", "-p", "PORT"}) << "full disk" << limit;
        QTest::newRow("read -o on a full disk") << QStringList({"read", "-p", "PORT", "-o", "FILE"}) << "full disk" << limit;
        QTest::newRow("sheet -o on a full disk") << QStringList({"sheet", "FILE", "-o", "OUT"}) << "full disk" << limit;
        QTest::newRow("write --dry-run > /dev/full") << QStringList({"write", "FILE", "--dry-run"}) << "/dev/full" << full;
        QTest::newRow("status > /dev/full") << QStringList({"status", "-p", "PORT"}) << "/dev/full" << full;
        QTest::newRow("status --watch | closed pipe") << QStringList({"status", "-p", "PORT", "--watch"}) << "closed pipe" << pipe;
        QTest::newRow("diff --json > /dev/full") << QStringList({"diff", "FILE", "-p", "PORT", "--json"}) << "/dev/full" << full;
        QTest::newRow("ports --json > /dev/full") << QStringList({"ports", "--json"}) << "/dev/full" << full;
        QTest::newRow("--help > /dev/full") << QStringList({"--help"}) << "/dev/full" << full;
    }

    void dataThatDoesNotGoOutFailsTheCommand()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFETCH(QString, why);
        SimProcess sim;
        QVERIFY(sim.start());
        QTemporaryDir dir;
        const QString file = dir.filePath("site.json");
        putFile(file, configuration());
        args.replaceInStrings(QRegularExpression("^PORT$"), sim.ptyPath());
        args.replaceInStrings(QRegularExpression("^OUT$"), dir.filePath("out.json"));
        args.replaceInStrings(QRegularExpression("^FILE$"), args.contains("-o") && !args.contains(dir.filePath("out.json"))
                                                                ? dir.filePath("out.json")
                                                                : file);
        const QByteArray earlier(2000, 'e'); // more than the limit lets the tool write
        putFile(dir.filePath("out.json"), earlier);

        int pipeEnds[2] = {-1, -1};
        QVERIFY(::pipe(pipeEnds) == 0);
        ::close(pipeEnds[0]); // nobody reads
        const QByteArray target = QFile::encodeName(out == "full disk" ? dir.filePath("out.json") : out);
        const bool closedPipe = out == "closed pipe", fullDisk = out == "full disk", toStdout = !args.contains("-o");
        const Run r = cli(args, [&] {
            if (closedPipe) {
                ::dup2(pipeEnds[1], STDOUT_FILENO);
                return;
            }
            // A full disk: a limit on the size of any file this program writes,
            // below the size of a configuration.
            if (fullDisk) {
                const rlimit small{500, RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &small);
            }
            if (toStdout)
                ::dup2(::open(target.constData(), O_WRONLY | O_TRUNC), STDOUT_FILENO);
        });
        ::close(pipeEnds[1]);
        QCOMPARE(r.exitCode, 3);
        const QString said = args.contains("-o") ? QStringLiteral("cannot save %1: ").arg(dir.filePath("out.json")) + why
                                                 : "alarmcfg-cli: cannot write to standard output: " + why;
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        if (args.contains("-o")) {
            QCOMPARE(fileBytes(dir.filePath("out.json")), earlier); // the earlier file, whole
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"out.json", "site.json"}));
        }
    }
};

QTEST_MAIN(HostileFilesTest)
#include "test_hostile_files.moc"
