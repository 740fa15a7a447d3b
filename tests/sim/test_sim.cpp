// The simulator as a plain libmodbus master sees it over the pty: register
// contents, writes, refusals, garbled and missing replies, line timing.

#include "FactoryDefaults.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <modbus/modbus.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSlave = 1;
constexpr int kRegisters = 1100;
constexpr int kTimeoutMs = 1000;    // an answering simulator replies well within this
constexpr int kNoReplyMs = 300;     // how long we wait to be sure nothing comes

// A libmodbus RTU master on the simulator's pty, 9600 8N1, slave 1.
class Master {
public:
    explicit Master(const QString &path, int responseTimeoutMs = kTimeoutMs)
    {
        m_ctx = modbus_new_rtu(QFile::encodeName(path).constData(), 9600, 'N', 8, 1);
        if (!m_ctx)
            return;
        modbus_set_slave(m_ctx, kSlave);
        modbus_set_response_timeout(m_ctx, responseTimeoutMs / 1000, (responseTimeoutMs % 1000) * 1000);
        m_connected = modbus_connect(m_ctx) == 0;
    }
    ~Master() { close(); }
    Master(const Master &) = delete;
    Master &operator=(const Master &) = delete;

    bool connected() const { return m_connected; }
    modbus_t *ctx() const { return m_ctx; }
    void close()
    {
        if (m_connected)
            modbus_close(m_ctx);
        m_connected = false;
        if (m_ctx)
            modbus_free(m_ctx);
        m_ctx = nullptr;
    }

private:
    modbus_t *m_ctx = nullptr;
    bool m_connected = false;
};

struct Reply {
    int rc = -1;
    int err = 0;
    std::vector<quint16> values;
    bool ok(int count) const { return rc == count; }
    QByteArray why() const { return QByteArray("rc ") + QByteArray::number(rc) + ": " + modbus_strerror(err); }
};

Reply readRegs(const Master &m, int address, int count)
{
    Reply r;
    r.values.assign(count, 0);
    r.rc = modbus_read_registers(m.ctx(), address, count, r.values.data());
    r.err = errno;
    return r;
}

Reply writeReg(const Master &m, int address, quint16 value)
{
    Reply r;
    r.rc = modbus_write_register(m.ctx(), address, value);
    r.err = errno;
    return r;
}

Reply writeRegs(const Master &m, int address, const std::vector<quint16> &values)
{
    Reply r;
    r.rc = modbus_write_registers(m.ctx(), address, static_cast<int>(values.size()), values.data());
    r.err = errno;
    return r;
}

// All 1100 registers, read the way a master must: at most 125 at a time.
std::vector<quint16> readWholeImage(const Master &m)
{
    std::vector<quint16> image;
    for (int start = 0; start < kRegisters; start += 125) {
        const int count = std::min(125, kRegisters - start);
        const Reply r = readRegs(m, start, count);
        if (!r.ok(count))
            return {};
        image.insert(image.end(), r.values.begin(), r.values.end());
    }
    return image;
}

QByteArray describeDifference(const std::vector<quint16> &got, const std::vector<quint16> &want)
{
    if (got.size() != want.size())
        return "size " + QByteArray::number(qulonglong(got.size())) + " != " + QByteArray::number(qulonglong(want.size()));
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i])
            return "register " + QByteArray::number(qulonglong(i)) + ": got " + QByteArray::number(got[i]) + ", want "
                   + QByteArray::number(want[i]);
    }
    return "equal";
}

// Time of a request, the silence that ends it and its reply on the wire, in nanoseconds.
qint64 wireNs(int requestBytes, int replyBytes, int baud)
{
    return ((qint64(requestBytes) + replyBytes) * 10 + 35) * 1'000'000'000 / baud;
}

// A read of n registers: request 8 bytes, reply 5 + 2n bytes.
qint64 readWireNs(int n, int baud) { return wireNs(8, 5 + 2 * n, baud); }

// CPU time (user + system) of a process so far, in clock ticks.
long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the ")" closing the command name; utime and stime are the 14th and 15th of the line.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields[11].toLong() + fields[12].toLong();
}

// Fraction of the next ms of wall time that the process spends on a CPU, or -1.
double cpuShareOver(qint64 pid, int ms)
{
    const long before = cpuTicks(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(ms);
    const long after = cpuTicks(pid);
    const double wallTicks = wall.elapsed() * double(::sysconf(_SC_CLK_TCK)) / 1000;
    if (before < 0 || after < 0 || wallTicks <= 0)
        return -1;
    return (after - before) / wallTicks;
}

struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the simulator expecting it to quit on its own.
RunResult runToExit(const QStringList &args)
{
    QProcess p;
    p.start(SimProcess::binary(), args);
    RunResult r;
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QByteArray imageJson(const std::vector<quint16> &image)
{
    QByteArray json = "[";
    for (size_t i = 0; i < image.size(); ++i) {
        if (i)
            json += ',';
        json += QByteArray::number(image[i]);
    }
    return json + "]";
}

// Nothing arrives on fd within ms.
bool staysQuiet(int fd, int ms)
{
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, ms) == 0;
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void factoryImageReadsBack();
    void writesAreStoredAndDumped();
    void exitSignalsDump_data();
    void exitSignalsDump();
    void exceptionOnAddressRefusesWrites();
    void unservedFunctionsAreRefused();
    void corruptEveryNthReply();
    void stopAfterAnswersThenFallsSilent();
    void silentNeverAnswers();
    void badFramesAndOtherSlavesAreIgnored();
    void portCanBeReopened();
    void imageFileIsLoaded();
    void badImageFileIsRejected_data();
    void badImageFileIsRejected();
    void badCommandLineIsRejected_data();
    void badCommandLineIsRejected();
    void baudEmulatesWireTime();
    void delaySlowsEveryReply();
    void aLateReplyComesAmongLaterOnes();
    void inputsToggle();
    void linkFollowsThePty();
    void servesRtuOverTcpToOneClientAtATime();
};

void TestSim::factoryImageReadsBack()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QVERIFY(sim.ptyPath().startsWith(QLatin1String("/dev/")));
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    const std::vector<quint16> factoryImage = factory::registerImage();
    const std::vector<quint16> image = readWholeImage(m);
    QVERIFY2(image == factoryImage, describeDifference(image, factoryImage).constData());

    // A few values spelled out, so a broken factory image cannot pass unnoticed.
    QCOMPARE(image[6], quint16(0x0015));
    QCOMPARE(image[1050], quint16(4));
    const QByteArray phone = "8615800000000";
    for (int i = 0; i < (phone.size() + 1) / 2; ++i) {
        const quint16 hi = quint8(phone[2 * i]);
        const quint16 lo = 2 * i + 1 < phone.size() ? quint8(phone[2 * i + 1]) : 0;
        QCOMPARE(image[710 + i], quint16(hi << 8 | lo));
    }

    // Registers end at 1099.
    Reply last = readRegs(m, 1099, 1);
    QVERIFY2(last.ok(1), last.why());
    Reply beyond = readRegs(m, 1099, 2);
    QCOMPARE(beyond.rc, -1);
    QCOMPARE(beyond.err, EMBXILADD);
}

void TestSim::writesAreStoredAndDumped()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    std::vector<quint16> want = factory::registerImage();
    Reply r = writeReg(m, 5, 0x0003); // both relays on
    QVERIFY2(r.ok(1), r.why());
    want[5] = 0x0003;
    r = writeReg(m, 1050, 1);
    QVERIFY2(r.ok(1), r.why());
    want[1050] = 1;
    const std::vector<quint16> times{30, 45};
    r = writeRegs(m, 900, times);
    QVERIFY2(r.ok(2), r.why());
    want[900] = 30;
    want[901] = 45;
    std::vector<quint16> phone(20);
    for (int i = 0; i < 20; ++i)
        phone[i] = quint16(0x3130 + i);
    r = writeRegs(m, 730, phone);
    QVERIFY2(r.ok(20), r.why());
    std::copy(phone.begin(), phone.end(), want.begin() + 730);

    const std::vector<quint16> readBack = readWholeImage(m);
    QVERIFY2(readBack == want, describeDifference(readBack, want).constData());
    const std::vector<quint16> dumped = sim.dumpImage();
    QVERIFY2(dumped == want, describeDifference(dumped, want).constData());

    // A second dump sees a later write.
    r = writeReg(m, 5, 0x0001);
    QVERIFY2(r.ok(1), r.why());
    want[5] = 0x0001;
    const std::vector<quint16> dumpedAgain = sim.dumpImage();
    QVERIFY2(dumpedAgain == want, describeDifference(dumpedAgain, want).constData());
}

void TestSim::exitSignalsDump_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSim::exitSignalsDump()
{
    QFETCH(int, signal);
    SimProcess sim;
    QVERIFY(sim.start());
    {
        Master m(sim.ptyPath());
        QVERIFY(m.connected());
        const Reply r = writeReg(m, 1030, 0x0002);
        QVERIFY2(r.ok(1), r.why());
    }
    QVERIFY(!QFile::exists(sim.dumpPath()));
    QCOMPARE(::kill(pid_t(sim.pid()), signal), 0);
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 0);

    QFile f(sim.dumpPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonArray array = QJsonDocument::fromJson(f.readAll()).array();
    QCOMPARE(array.size(), kRegisters);
    QCOMPARE(array.at(1030).toInt(), 2);
    QCOMPARE(array.at(6).toInt(), 0x15);
    QVERIFY(!QFile::exists(sim.dumpPath() + QStringLiteral(".tmp")));
}

void TestSim::exceptionOnAddressRefusesWrites()
{
    SimProcess sim({QStringLiteral("--exception-on"), QStringLiteral("1030"), QStringLiteral("--exception-on"),
                    QStringLiteral("5")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    std::vector<quint16> want = factory::registerImage();
    Reply r = writeReg(m, 1030, 3);
    QCOMPARE(r.rc, -1);
    QCOMPARE(r.err, EMBXILADD);
    r = writeRegs(m, 1025, std::vector<quint16>(10, 0x7777)); // 1025..1034 covers 1030
    QCOMPARE(r.rc, -1);
    QCOMPARE(r.err, EMBXILADD);
    r = writeRegs(m, 1030, {9}); // range starting on the address
    QCOMPARE(r.err, EMBXILADD);
    r = writeRegs(m, 1021, std::vector<quint16>(10, 0x7777)); // 1021..1030 ends on it
    QCOMPARE(r.err, EMBXILADD);
    r = writeReg(m, 5, 1); // the second address given
    QCOMPARE(r.err, EMBXILADD);

    // Neighbours are written as usual.
    r = writeReg(m, 1029, 0x1111);
    QVERIFY2(r.ok(1), r.why());
    want[1029] = 0x1111;
    r = writeRegs(m, 1031, {0x2222, 0x3333});
    QVERIFY2(r.ok(2), r.why());
    want[1031] = 0x2222;
    want[1032] = 0x3333;
    // Reading the address is fine.
    const Reply read = readRegs(m, 1030, 1);
    QVERIFY2(read.ok(1), read.why());
    QCOMPARE(read.values[0], want[1030]);

    const std::vector<quint16> dumped = sim.dumpImage();
    QVERIFY2(dumped == want, describeDifference(dumped, want).constData());
}

void TestSim::unservedFunctionsAreRefused()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    uint16_t input = 0;
    QCOMPARE(modbus_read_input_registers(m.ctx(), 0, 1, &input), -1);
    QCOMPARE(errno, EMBXILFUN);
    QCOMPARE(modbus_write_bit(m.ctx(), 0, 1), -1);
    QCOMPARE(errno, EMBXILFUN);
    uint8_t bits[8];
    QCOMPARE(modbus_read_bits(m.ctx(), 0, 8, bits), -1);
    QCOMPARE(errno, EMBXILFUN);
    const Reply r = readRegs(m, 6, 1);
    QVERIFY2(r.ok(1), r.why());
}

void TestSim::corruptEveryNthReply()
{
    SimProcess sim({QStringLiteral("--corrupt-every"), QStringLiteral("2")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    for (int round = 0; round < 2; ++round) {
        const Reply good = readRegs(m, 6, 1);
        QVERIFY2(good.ok(1), good.why());
        QCOMPARE(good.values[0], quint16(0x0015));
        const Reply bad = readRegs(m, 6, 1);
        QCOMPARE(bad.rc, -1);
        QCOMPARE(bad.err, EMBBADCRC);
    }
    // Writes count as replies too; the garbled one is still stored.
    Reply w = writeReg(m, 1050, 2);
    QVERIFY2(w.ok(1), w.why());
    w = writeReg(m, 1050, 1);
    QCOMPARE(w.err, EMBBADCRC);
    const std::vector<quint16> dumped = sim.dumpImage();
    QCOMPARE(dumped.size(), size_t(kRegisters));
    QCOMPARE(dumped[1050], quint16(1));
}

void TestSim::stopAfterAnswersThenFallsSilent()
{
    SimProcess sim({QStringLiteral("--stop-after"), QStringLiteral("2")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath(), kNoReplyMs);
    QVERIFY(m.connected());

    Reply r = readRegs(m, 6, 1);
    QVERIFY2(r.ok(1), r.why());
    r = writeReg(m, 1050, 2);
    QVERIFY2(r.ok(1), r.why());
    r = readRegs(m, 6, 1);
    QCOMPARE(r.rc, -1);
    QCOMPARE(r.err, ETIMEDOUT);
    r = writeReg(m, 1030, 3);
    QCOMPARE(r.rc, -1);
    QCOMPARE(r.err, ETIMEDOUT);

    // A device that stopped answering stopped acting too.
    const std::vector<quint16> dumped = sim.dumpImage();
    QCOMPARE(dumped.size(), size_t(kRegisters));
    QCOMPARE(dumped[1050], quint16(2));
    QCOMPARE(dumped[1030], factory::registerImage()[1030]);
}

void TestSim::silentNeverAnswers()
{
    SimProcess sim({QStringLiteral("--silent")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath(), kNoReplyMs);
    QVERIFY(m.connected());

    Reply r = readRegs(m, 6, 1);
    QCOMPARE(r.rc, -1);
    QCOMPARE(r.err, ETIMEDOUT);
    r = writeReg(m, 5, 3);
    QCOMPARE(r.err, ETIMEDOUT);
    QVERIFY(staysQuiet(modbus_get_socket(m.ctx()), 100));

    const std::vector<quint16> dumped = sim.dumpImage();
    const std::vector<quint16> want = factory::registerImage();
    QVERIFY2(dumped == want, describeDifference(dumped, want).constData());
}

void TestSim::badFramesAndOtherSlavesAreIgnored()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Master m(sim.ptyPath(), kNoReplyMs);
    QVERIFY(m.connected());
    const int fd = modbus_get_socket(m.ctx());

    // Read of register 6 with its CRC bytes zeroed: no reply at all.
    const uint8_t badCrc[] = {0x01, 0x03, 0x00, 0x06, 0x00, 0x01, 0x00, 0x00};
    QCOMPARE(::write(fd, badCrc, sizeof badCrc), ssize_t(sizeof badCrc));
    QVERIFY(staysQuiet(fd, kNoReplyMs));
    Reply r = readRegs(m, 6, 1);
    QVERIFY2(r.ok(1), r.why());
    QCOMPARE(r.values[0], quint16(0x0015));

    // A frame cut short is dropped once the line goes quiet.
    const uint8_t cut[] = {0x01, 0x03, 0x00};
    QCOMPARE(::write(fd, cut, sizeof cut), ssize_t(sizeof cut));
    QVERIFY(staysQuiet(fd, kNoReplyMs));
    r = readRegs(m, 6, 1);
    QVERIFY2(r.ok(1), r.why());

    // Another slave's request gets no answer, is not acted on, and does not
    // cost us the request right after it.
    for (int round = 0; round < 2; ++round) {
        modbus_set_slave(m.ctx(), 2);
        r = writeReg(m, 1050, 2);
        QCOMPARE(r.rc, -1);
        QCOMPARE(r.err, ETIMEDOUT);
        modbus_set_slave(m.ctx(), kSlave);
        r = readRegs(m, 1050, 1);
        QVERIFY2(r.ok(1), r.why());
        QCOMPARE(r.values[0], quint16(4));
    }
}

void TestSim::portCanBeReopened()
{
    SimProcess sim;
    QVERIFY(sim.start());
    for (int round = 0; round < 3; ++round) {
        Master m(sim.ptyPath());
        QVERIFY(m.connected());
        const Reply r = readRegs(m, 4, 3);
        QVERIFY2(r.ok(3), r.why());
        QCOMPARE(r.values[2], quint16(0x0015));
    }
    // With the port closed there is nothing to do, and nothing is done.
    const double share = cpuShareOver(sim.pid(), 400);
    QVERIFY2(share >= 0 && share < 0.2, qPrintable(QStringLiteral("busy %1 of the time").arg(share)));

    // kill() does not return before the process is gone.
    const qint64 pid = sim.pid();
    sim.kill();
    QCOMPARE(sim.exitCode(), -1);
    QCOMPARE(::kill(pid_t(pid), 0), -1);
}

void TestSim::imageFileIsLoaded()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::vector<quint16> image(kRegisters);
    for (int i = 0; i < kRegisters; ++i)
        image[i] = quint16((i * 7919 + 13) & 0xFFFF);
    image[0] = 0;
    image[1] = 65535;
    const QString path = dir.filePath(QStringLiteral("image.json"));
    QVERIFY(writeFile(path, imageJson(image)));

    SimProcess sim({QStringLiteral("--image"), path});
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());
    const std::vector<quint16> readBack = readWholeImage(m);
    QVERIFY2(readBack == image, describeDifference(readBack, image).constData());
    const std::vector<quint16> dumped = sim.dumpImage();
    QVERIFY2(dumped == image, describeDifference(dumped, image).constData());
}

void TestSim::badImageFileIsRejected_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all

    const std::vector<quint16> good(kRegisters, 1);
    QByteArray goodJson = imageJson(good);
    auto withFirst = [&](const QByteArray &first) { return "[" + first + goodJson.mid(2); };

    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("empty file") << QByteArray(" ");
    QTest::newRow("not json") << QByteArray(goodJson).chopped(1);
    QTest::newRow("object") << QByteArray("{\"registers\": []}");
    QTest::newRow("1099 values") << imageJson(std::vector<quint16>(kRegisters - 1, 1));
    QTest::newRow("1101 values") << imageJson(std::vector<quint16>(kRegisters + 1, 1));
    QTest::newRow("65536") << withFirst("65536");
    QTest::newRow("negative") << withFirst("-1");
    QTest::newRow("fraction") << withFirst("1.5");
    QTest::newRow("string") << withFirst("\"1\"");
    QTest::newRow("null") << withFirst("null");
    QTest::newRow("bool") << withFirst("true");
    QTest::newRow("nested") << withFirst("[1]");
}

void TestSim::badImageFileIsRejected()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("image.json"));
    if (!content.isEmpty())
        QVERIFY(writeFile(path, content));

    const RunResult r = runToExit({QStringLiteral("--image"), path});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.out.isEmpty(), r.out.constData()); // no pty was offered
    QVERIFY(!r.err.trimmed().isEmpty());
}

void TestSim::badCommandLineIsRejected_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("stray argument") << QStringList{"ttyS0"};
    QTest::newRow("baud zero") << QStringList{"--baud", "0"};
    QTest::newRow("baud text") << QStringList{"--baud", "fast"};
    QTest::newRow("baud missing") << QStringList{"--baud"};
    QTest::newRow("delay negative") << QStringList{"--delay", "-5"};
    QTest::newRow("toggle zero") << QStringList{"--inputs-toggle", "0"};
    QTest::newRow("toggle text") << QStringList{"--inputs-toggle", "often"};
    QTest::newRow("stop-after negative") << QStringList{"--stop-after", "-1"};
    QTest::newRow("exception address too big") << QStringList{"--exception-on", "65536"};
    QTest::newRow("corrupt-every zero") << QStringList{"--corrupt-every", "0"};
    QTest::newRow("silent with value") << QStringList{"--silent=yes"};
    QTest::newRow("dump empty") << QStringList{"--dump="};
    QTest::newRow("tcp on a name off the loopback") << QStringList{"--tcp", "alarm.example:502"};
    QTest::newRow("tcp without a port") << QStringList{"--tcp", "127.0.0.1"};
    QTest::newRow("tcp and a link") << QStringList{"--tcp", "127.0.0.1:0", "--link", "/tmp/alarmcfg-sim-link"};
}

void TestSim::badCommandLineIsRejected()
{
    QFETCH(QStringList, args);
    const RunResult r = runToExit(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.out.isEmpty(), r.out.constData());
    QVERIFY2(r.err.contains("usage:"), r.err.constData());
}

void TestSim::baudEmulatesWireTime()
{
    constexpr int baud = 9600;
    SimProcess sim({QStringLiteral("--baud"), QString::number(baud)});
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    for (int count : {10, 100}) {
        QElapsedTimer t;
        t.start();
        const Reply r = readRegs(m, 0, count);
        const qint64 elapsed = t.nsecsElapsed();
        QVERIFY2(r.ok(count), r.why());
        const qint64 wire = readWireNs(count, baud);
        QVERIFY2(elapsed >= wire, qPrintable(QStringLiteral("%1 registers took %2 ns, the wire needs %3 ns")
                                                .arg(count)
                                                .arg(elapsed)
                                                .arg(wire)));
    }
}

void TestSim::delaySlowsEveryReply()
{
    // The delay comes on top of the wire time.
    SimProcess sim({QStringLiteral("--delay"), QStringLiteral("300"), QStringLiteral("--baud"), QStringLiteral("9600")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath(), 2000);
    QVERIFY(m.connected());

    const qint64 least = 300'000'000 + readWireNs(1, 9600);
    QElapsedTimer t;
    t.start();
    Reply r = readRegs(m, 6, 1);
    qint64 elapsed = t.nsecsElapsed();
    QVERIFY2(r.ok(1), r.why());
    QVERIFY2(elapsed >= least, qPrintable(QStringLiteral("read took %1 ns").arg(elapsed)));

    t.restart();
    r = writeReg(m, 1050, 2);
    elapsed = t.nsecsElapsed();
    QVERIFY2(r.ok(1), r.why());
    QVERIFY2(elapsed >= 300'000'000, qPrintable(QStringLiteral("write took %1 ns").arg(elapsed)));
}

// --late N:MS holds reply N back while the replies after it leave at once,
// so the late one reaches the master after the answer to a later request.
void TestSim::aLateReplyComesAmongLaterOnes()
{
    SimProcess sim({QStringLiteral("--late"), QStringLiteral("2:400")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath(), 200);
    QVERIFY(m.connected());
    QVERIFY(readRegs(m, 0, 7).ok(7));
    QElapsedTimer t;
    t.start();
    const Reply timedOut = readRegs(m, 710, 10);
    QCOMPARE(timedOut.rc, -1);
    const Reply next = readRegs(m, 6, 1); // reply 3, not queued behind the late one
    QVERIFY2(next.ok(1), next.why());
    QCOMPARE(next.values[0], quint16(factory::kFirmwareVersion));
    QVERIFY2(t.elapsed() < 400, qPrintable(QStringLiteral("reply 3 after %1 ms").arg(t.elapsed())));

    // Then the late reply: 3 header bytes, 20 of registers, 2 of CRC.
    QByteArray late;
    const int fd = modbus_get_socket(m.ctx());
    while (late.size() < 25 && t.elapsed() < 1500) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                late.append(buf, n);
        }
    }
    QCOMPARE(late.size(), 25);
    QCOMPARE(quint8(late[2]), quint8(20));
    QVERIFY(t.elapsed() >= 400);
}

void TestSim::inputsToggle()
{
    SimProcess sim({QStringLiteral("--inputs-toggle"), QStringLiteral("0.2")});
    QVERIFY(sim.start());
    Master m(sim.ptyPath());
    QVERIFY(m.connected());

    Reply r = readRegs(m, 0, 7);
    QVERIFY2(r.ok(7), r.why());
    const std::vector<quint16> before = r.values;

    // Two flips: inputs 0 and 1 change and change back; nothing else in the
    // status block moves.
    quint16 last = before[4];
    for (int flip = 0; flip < 2; ++flip) {
        QElapsedTimer t;
        t.start();
        bool changed = false;
        while (!changed && t.elapsed() < 1000) {
            QThread::msleep(20);
            r = readRegs(m, 0, 7);
            QVERIFY2(r.ok(7), r.why());
            changed = r.values[4] != last;
        }
        QVERIFY2(changed, "register 4 did not change within a second");
        QCOMPARE(quint16(r.values[4] ^ last), quint16(0x3));
        for (int i : {0, 1, 2, 3, 5, 6})
            QCOMPARE(r.values[i], before[i]);
        last = r.values[4];
    }
    QCOMPARE(last, before[4]);

    // Waiting for the next flip costs no CPU to speak of.
    const double share = cpuShareOver(sim.pid(), 600);
    QVERIFY2(share >= 0 && share < 0.2, qPrintable(QStringLiteral("busy %1 of the time").arg(share)));
}

void TestSim::linkFollowsThePty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyALARM"));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/tty"), link)); // a stale link from an earlier run

    {
        SimProcess sim({QStringLiteral("--link"), link});
        QVERIFY(sim.start());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
        Master m(link);
        QVERIFY(m.connected());
        const Reply r = readRegs(m, 6, 1);
        QVERIFY2(r.ok(1), r.why());
        QCOMPARE(r.values[0], quint16(0x0015));
        m.close();
        sim.terminate();
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(link));
    }

    // A real file of that name is left alone.
    QVERIFY(writeFile(link, "keep"));
    const RunResult r = runToExit({QStringLiteral("--link"), link});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QFile kept(link);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));
}

// --tcp: the same RTU frames and faults over a TCP connection, to one
// client at a time; a second is ended at once, and once the first has gone
// the next is served.
void TestSim::servesRtuOverTcpToOneClientAtATime()
{
    SimProcess sim({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--exception-on"),
                    QStringLiteral("900")});
    QVERIFY(sim.start());
    QVERIFY2(sim.ptyPath().startsWith("tcp://127.0.0.1:"), qPrintable(sim.ptyPath()));
    const quint16 port = quint16(sim.ptyPath().section(u':', -1).toUInt());
    auto connectClient = [port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 ? fd : -1;
    };
    for (int round = 0; round < 2; ++round) {
        // libmodbus's RTU master, on the connection instead of a tty.
        modbus_t *ctx = modbus_new_rtu("tcp", 9600, 'N', 8, 1);
        const int fd = connectClient();
        QVERIFY(ctx && fd >= 0);
        modbus_set_slave(ctx, kSlave);
        modbus_set_socket(ctx, fd);
        modbus_set_response_timeout(ctx, 1, 0);
        std::vector<quint16> status(7);
        QCOMPARE(modbus_read_registers(ctx, 0, 7, status.data()), 7);
        QCOMPARE(status[6], quint16(0x0015));
        QCOMPARE(modbus_write_register(ctx, 901, quint16(round + 3)), 1);
        QCOMPARE(modbus_write_register(ctx, 900, 1), -1); // the fault options hold on TCP too
        QCOMPARE(errno, EMBXILADD);
        // A second client, while this one is served: its connection ends at once.
        const int second = connectClient();
        QVERIFY(second >= 0);
        pollfd pfd{second, POLLIN, 0};
        QCOMPARE(::poll(&pfd, 1, kTimeoutMs), 1);
        char byte;
        QCOMPARE(::read(second, &byte, 1), ssize_t(0));
        ::close(second);
        modbus_free(ctx);
        ::close(fd);
        QTest::qWait(100); // the simulator sees the first one go
    }
    QCOMPARE(sim.dumpImage().at(901), quint16(4));
}

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
