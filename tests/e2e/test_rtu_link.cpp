// The tool's RTU link against the device simulator (libmodbus's slave side)
// over a pseudo-terminal, and over TCP: a server of RFC 2217 that does not
// agree, a connection that drops.
#include "DeviceProfile.h"
#include "FactoryDefaults.h"
#include "RegisterMap.h"
#include "SystemPorts.h"
#include "LinkSettings.h"
#include "RtuLink.h"
#include "NetworkServers.h"
#include "SimProcess.h"
#include "Telnet.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Reply {
    int start;
    QVector<quint16> values;
};

// A simulator and a link opened on it as COM1.
struct Bench {
    SimProcess sim;
    RtuLink link;
    QVector<Reply> replies;

    explicit Bench(const QStringList &args = {}) : sim(args)
    {
        link.setProfile(session::deviceProfile());
        QObject::connect(&link, &ModbusLink::ReplyReceived, [this](int start, const QVector<quint16> &v, int) {
            replies.append({start, v});
        });
    }
    bool open()
    {
        if (!sim.start())
            return false;
        qputenv("ALARMCFG_COM1", sim.ptyPath().toLocal8Bit());
        link.setTarget(ports::targetOf(ports::lookUpPorts(), QStringLiteral("COM1")));
        return link.OpenPort();
    }
};

// A Telnet server on 127.0.0.1 for one client, in a thread of its own: it
// answers the client's opening with `opening` and each com-port command with
// what `answer` gives, and serves no device.
class ComPortServer {
public:
    using Answer = std::function<QByteArray(quint8 command, const QByteArray &value)>;
    ComPortServer(QByteArray opening, Answer answer) : m_opening(std::move(opening)), m_answer(std::move(answer))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(m_listener, 1) == 0
            && ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &length) == 0)
            m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ComPortServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_client >= 0)
            ::shutdown(m_client, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    QString portName() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port); }

private:
    void serve()
    {
        m_client = ::accept(m_listener, nullptr, nullptr);
        if (m_client < 0)
            return;
        QByteArray got;
        char buf[512];
        for (ssize_t n; (n = ::read(m_client, buf, sizeof buf)) > 0;) {
            got += QByteArray(buf, n);
            QByteArray out;
            if (!m_opened && got.contains(telnet::command(telnet::kWill, telnet::kComPortOption))) {
                m_opened = true;
                out += m_opening;
            }
            // Each IAC SB 44 command value IAC SE the client sent: its answer.
            for (qsizetype at; (at = got.indexOf(QByteArray("\xFF\xFA\x2C", 3))) >= 0;) {
                const qsizetype end = got.indexOf(QByteArray("\xFF\xF0", 2), at);
                if (end < 0)
                    break;
                const quint8 command = quint8(got[at + 3]);
                out += telnet::subnegotiation(telnet::kComPortOption, QByteArray(1, char(command + telnet::kServerOffset))
                                                                           + m_answer(command, got.mid(at + 4, end - at - 4)));
                got.remove(0, end + 2);
            }
            if (!out.isEmpty() && ::write(m_client, out.constData(), size_t(out.size())) != out.size())
                break;
        }
        ::close(m_client);
    }

    QByteArray m_opening;
    Answer m_answer;
    int m_listener = -1;
    int m_client = -1;
    int m_port = 0;
    bool m_opened = false;
    std::thread m_thread;
};

} // namespace

class RtuLinkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // the port map of a test user, never the real one
    }

    void portsMapToDevices()
    {
        qputenv("ALARMCFG_COM3", "/dev/ttyUSB7");
        const ports::PortTable table = ports::lookUpPorts();
        QCOMPARE(ports::targetOf(table, "com3").device, QStringLiteral("/dev/ttyUSB7"));
        QCOMPARE(ports::targetOf(table, "COM3").name, QStringLiteral("COM3"));
        QCOMPARE(ports::targetOf(table, "ttyUSB2").device, QStringLiteral("/dev/ttyUSB2"));
        const PortTarget nothing = ports::targetOf(table, "COM8");
        QVERIFY(nothing.device.isEmpty());
        QCOMPARE(nothing.missing, PortOpenFailure::Cause::NotADevice);
        QCOMPARE(ports::targetOf(table, "").missing, PortOpenFailure::Cause::NoDevice);

        RtuLink link;
        link.setTarget(nothing);
        QVERIFY(!link.OpenPort());
        QCOMPARE(link.openFailure().value().cause, PortOpenFailure::Cause::NotADevice);
        qputenv("ALARMCFG_COM2", "/nonexistent/tty");
        link.setTarget(ports::targetOf(ports::lookUpPorts(), "COM2"));
        QVERIFY(!link.OpenPort());
        QVERIFY(link.lastError().contains("/nonexistent/tty"));
        QCOMPARE(link.openFailure().value().cause, PortOpenFailure::Cause::NoDevice);
        QVERIFY(!link.ReadRegisters(0, 7)); // closed: nothing to talk to
        qunsetenv("ALARMCFG_COM2");
        qunsetenv("ALARMCFG_COM3");
    }

    void readsAndWritesReachTheDevice()
    {
        Bench b;
        QVERIFY(b.open());
        QVERIFY(b.link.ReadRegisters(0, 7));
        QCOMPARE(b.replies.size(), 1);
        QCOMPARE(b.replies[0].start, 0);
        QCOMPARE(b.replies[0].values.value(6), quint16(factory::kFirmwareVersion));
        QVERIFY(b.link.ReadRegisters(710, 10));
        const std::vector<quint16> factoryImage = factory::registerImage();
        QCOMPARE(b.replies[1].values, QVector<quint16>(factoryImage.begin() + 710, factoryImage.begin() + 720));

        QSignalSpy done(&b.link, &ModbusLink::WriteDone);
        QVERIFY(b.link.WriteRegister(5, 2));
        QCOMPARE(done.count(), 1);
        QVERIFY(b.link.WriteRegisters(900, {7, 0xFFFF, 3}, 2)); // only the first two go out
        const std::vector<quint16> image = b.sim.dumpImage();
        QCOMPARE(image.size(), size_t(1100));
        QCOMPARE(image[5], quint16(2));
        QCOMPARE(image[900], quint16(7));
        QCOMPARE(image[901], quint16(0xFFFF));
        QCOMPARE(image[902], quint16(0));
        // The largest requests the controller is known to take: a read of 10, a slot of 20.
        QVERIFY(b.link.ReadRegisters(900, regmap::kMaxReadRegisters));
        QVERIFY(b.link.WriteRegisters(810, QVector<quint16>(regmap::kSlotRegisters, 1), regmap::kSlotRegisters));
    }

    void countsAreCheckedBeforeAnythingIsSent()
    {
        Bench b;
        QVERIFY(b.open());
        QVERIFY(!b.link.ReadRegisters(0, 0));
        QVERIFY(!b.link.ReadRegisters(0, regmap::kMaxReadRegisters + 1));
        QVERIFY(!b.link.WriteRegisters(10, {}, 0));
        QVERIFY(!b.link.WriteRegisters(10, QVector<quint16>(21, 0), 21));
        QVERIFY(!b.link.WriteRegisters(10, {1}, 2));
        QVERIFY(b.link.lastError().contains("2 registers"));
        QVERIFY(b.replies.isEmpty());
        QCOMPARE(b.sim.dumpImage(), factory::registerImage()); // nothing reached the device
        QVERIFY(b.link.ReadRegisters(0, 7));                // and the line is still in step
    }

    void aReadFromInsideTheReplyHandlerWorks()
    {
        Bench b;
        QVERIFY(b.open());
        bool nestedOk = false;
        QObject::connect(&b.link, &ModbusLink::ReplyReceived, [&](int start, const QVector<quint16> &, int) {
            if (start == 1050)
                nestedOk = b.link.ReadRegisters(0, 7);
        });
        QVERIFY(b.link.ReadRegisters(1050, 1));
        QVERIFY(nestedOk);
        QCOMPARE(b.replies.size(), 2);
        QCOMPARE(b.replies[0].start, 1050);
        QCOMPARE(b.replies[1].start, 0);
        QCOMPARE(b.replies[1].values.value(6), quint16(factory::kFirmwareVersion));
    }

    void aSilentDeviceTimesOut()
    {
        Bench b({"--silent"});
        QVERIFY(b.open());
        QElapsedTimer t;
        t.start();
        QVERIFY(!b.link.ReadRegisters(0, 7));
        QVERIFY(t.elapsed() >= LinkSettings::kDefaultResponseTimeoutMs);
        QCOMPARE(b.link.lastError(), QStringLiteral("no reply within 500 ms"));
        QSignalSpy done(&b.link, &ModbusLink::WriteDone);
        QVERIFY(!b.link.WriteRegister(5, 1));
        QCOMPARE(done.count(), 1); // raised even without an answer
        QVERIFY(b.replies.isEmpty());
    }

    void exceptionsAndBadCrcsFailAndTheLineRecovers()
    {
        Bench b({"--exception-on", "1030", "--corrupt-every", "3"});
        QVERIFY(b.open());
        QVERIFY(!b.link.WriteRegister(1030, 3)); // reply 1: exception
        QVERIFY(b.link.lastError().contains("exception 02"));
        QVERIFY(b.link.ReadRegisters(0, 7));  // reply 2
        QVERIFY(!b.link.ReadRegisters(0, 7)); // reply 3: bad CRC
        QVERIFY(b.link.lastError().contains("CRC"));
        QVERIFY(b.link.ReadRegisters(1030, 1)); // reply 4
        QCOMPARE(b.replies.last().values, QVector<quint16>({0}));
        QCOMPARE(b.replies.size(), 2);
    }

    void aLateReplyIsNeverTakenForTheNextOne()
    {
        Bench b({"--delay", "650"});
        QVERIFY(b.open());
        QVERIFY(!b.link.ReadRegisters(0, 10));
        // Same length, other registers: taking the late reply would give the status block.
        QVERIFY(!b.link.ReadRegisters(710, 10));
        QVERIFY(b.replies.isEmpty());
    }

    void aRepeatedReplyNeverShiftsTheBlocks_data()
    {
        QTest::addColumn<int>("attempts");
        QTest::newRow("tried once") << 1;
        QTest::newRow("retried") << 3;
    }

    void aRepeatedReplyNeverShiftsTheBlocks()
    {
        QFETCH(int, attempts);
        Bench b({"--duplicate-reply", "2"});
        LinkSettings settings = b.link.settings();
        settings.attempts = attempts;
        b.link.setSettings(settings);
        QVERIFY(b.open());
        const std::vector<quint16> image = factory::registerImage();
        auto block = [&](int start) { return QVector<quint16>(image.begin() + start, image.begin() + start + 10); };
        QVERIFY(b.link.ReadRegisters(690, 10));
        // Reply 2 comes twice: the first copy is no proof of anything.
        QCOMPARE(b.link.ReadRegisters(710, 10, ModbusLink::Retry::AsSet), attempts > 1);
        if (attempts == 1)
            QVERIFY2(b.link.lastError().contains("followed by 25 more bytes"), qPrintable(b.link.lastError()));
        QVERIFY(b.link.ReadRegisters(730, 10));
        QVERIFY(b.link.ReadRegisters(810, 10));
        QCOMPARE(b.replies.last().values, block(810));
        QCOMPARE(b.replies[b.replies.size() - 2].values, block(730));
        if (attempts > 1)
            QCOMPARE(b.replies[1].values, block(710));
    }

    // At the slowest rates the frame gap nears a second; a repeated reply
    // must still fail its exchange there.
    void aRepeatedReplyIsCaughtAtTheSlowestRates()
    {
        Bench b({"--duplicate-reply", "1"});
        LinkSettings settings = b.link.settings();
        settings.baud = 50;
        b.link.setSettings(settings);
        QVERIFY(b.open());
        QVERIFY(!b.link.ReadRegisters(0, 7));
        QVERIFY2(b.link.lastError().contains("followed by 19 more bytes"), qPrintable(b.link.lastError()));
    }

    // RFC 2217: the server must take the com-port option and set its line
    // as asked, or the port does not open and the message says why.
    void aComPortServerMustAgree_data()
    {
        QTest::addColumn<QByteArray>("opening");
        QTest::addColumn<int>("changed"); // the command the server answers otherwise, 0 for none
        QTest::addColumn<QString>("why");  // empty: the port opens
        const QByteArray binary = telnet::command(telnet::kWill, telnet::kBinary) + telnet::command(telnet::kDo, telnet::kBinary);
        const QByteArray agrees = telnet::command(telnet::kDo, telnet::kComPortOption) + binary;
        QTest::newRow("agrees") << agrees << 0 << "";
        QTest::newRow("refuses the option") << telnet::command(telnet::kDont, telnet::kComPortOption) + binary << 0
                                            << "the server refuses RFC 2217's COM-PORT-OPTION";
        QTest::newRow("keeps its own rate") << agrees << int(telnet::kSetBaudRate)
                                            << "the server did not agree to baud rate 9600 on its serial line: it answered 19200";
        QTest::newRow("keeps its parity") << agrees << int(telnet::kSetParity)
                                          << "the server did not agree to parity none on its serial line: it answered even";
        QTest::newRow("refuses binary") << telnet::command(telnet::kDo, telnet::kComPortOption) + telnet::command(telnet::kWont, telnet::kBinary)
                                        << 0 << "the server refuses Telnet's binary transmission";
    }

    void aComPortServerMustAgree()
    {
        QFETCH(QByteArray, opening);
        QFETCH(int, changed);
        QFETCH(QString, why);
        ComPortServer server(opening, [changed](quint8 command, const QByteArray &value) {
            if (command != changed)
                return value;
            return command == telnet::kSetBaudRate ? QByteArray("\x00\x00\x4B\x00", 4) : QByteArray(1, 3);
        });
        RtuLink link;
        link.setTarget(ports::targetOf(ports::PortTable{}, server.portName()));
        const bool opened = link.OpenPort();
        QCOMPARE(opened, why.isEmpty());
        if (!opened) {
            QCOMPARE(link.openFailure()->cause, PortOpenFailure::Cause::Other);
            QVERIFY2(link.openFailure()->systemText.startsWith(why), qPrintable(link.openFailure()->systemText));
        }
    }

    // A connection that drops is made again once, and the exchange under way
    // fails and is tried again on it; with the server gone for good, the
    // exchanges fail at once and say so.
    void aDroppedConnectionIsMadeAgainOnce()
    {
        SimProcess sim({"--tcp", "127.0.0.1:0"});
        QVERIFY(sim.start());
        FaultProxy proxy(sim.ptyPath(), {"--fault", "close-read", "--at", "2", "--then-refuse"});
        QVERIFY(proxy.start());
        RtuLink link;
        link.setProfile(session::deviceProfile());
        link.setTarget(ports::targetOf(ports::PortTable{}, proxy.portName()));
        QVERIFY(link.OpenPort());
        QVERIFY(link.ReadRegisters(0, 7));
        QVERIFY(!link.ReadRegisters(0, 7)); // the reply cut in half, the server gone after it
        QVERIFY(proxy.fired());
        QVERIFY2(link.lastError().contains("dropped and could not be made again"), qPrintable(link.lastError()));
        QElapsedTimer t;
        t.start();
        QVERIFY(!link.ReadRegisters(0, 7, ModbusLink::Retry::AsSet));
        QVERIFY2(link.lastError().startsWith(QStringLiteral("not connected to %1").arg(proxy.portName().mid(6))),
                 qPrintable(link.lastError()));
        QVERIFY(t.elapsed() < 500);
        QVERIFY(link.isOpen()); // until the operator closes it: a later send tries once more
    }

    void aVanishedDeviceFailsQuickly()
    {
        Bench b;
        QVERIFY(b.open());
        QVERIFY(b.link.ReadRegisters(0, 7));
        b.sim.kill();
        QTest::qWait(100);
        QElapsedTimer t;
        t.start();
        QVERIFY(!b.link.ReadRegisters(0, 7));
        QVERIFY(!b.link.ReadRegisters(0, 7));
        QVERIFY(t.elapsed() < 3 * LinkSettings::kDefaultResponseTimeoutMs);
    }

    void traceShowsEveryFrame()
    {
        QTemporaryFile capture;
        QVERIFY(capture.open());
        qputenv("ALARMCFG_TRACE", "1");
        QString pty;
        {
            Bench b({"--exception-on", "5", "--duplicate-reply", "1"});
            const int saved = dup(STDERR_FILENO);
            dup2(capture.handle(), STDERR_FILENO);
            const bool opened = b.open();
            RtuLink second; // a second instance on the same port
            second.setTarget(b.link.target());
            const bool secondOpened = second.OpenPort();
            LinkSettings settings = b.link.settings();
            settings.attempts = 2;
            b.link.setSettings(settings);
            b.link.ReadRegisters(0, 7);
            b.link.WriteRegister(5, 1, ModbusLink::Retry::AsSet);
            fflush(stderr);
            dup2(saved, STDERR_FILENO);
            close(saved);
            QVERIFY(opened && !secondOpened);
            pty = b.sim.ptyPath();
        }
        qunsetenv("ALARMCFG_TRACE");
        capture.seek(0);
        const QString text = QString::fromLatin1(capture.readAll());
        QVERIFY2(text.contains("TX    01 03 00 00 00 07 04 08"), qPrintable(text));
        QVERIFY2(text.contains(QRegularExpression("RX    01 03 0E( [0-9A-F]{2}){16} \\(\\d+\\.\\d ms\\)")), qPrintable(text));
        QVERIFY2(text.contains("ERR   Modbus exception 02 (illegal data address)"), qPrintable(text));
        QVERIFY2(text.contains("ERR   reply followed by 19 more bytes"), qPrintable(text)); // the status block came twice
        QVERIFY2(text.contains("RETRY write 5=1, attempt 2 of 2"), qPrintable(text));
        // Each open says which device the port resolver chose, and why a port was refused.
        QVERIFY2(text.contains(QStringLiteral("PORT  COM1 -> %1 (set by ALARMCFG_COM1)").arg(pty)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("OPEN  %1 9600 8N1").arg(pty)), qPrintable(text));
        // Root gets past TIOCEXCL and meets the lock; anyone else meets TIOCEXCL
        // (EBUSY) first. Either way the lock names this program as its holder.
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("FAIL  %1: locked \\(flock\\) by test_rtu_link \\(pid %2\\)")
                                                      .arg(QRegularExpression::escape(pty))
                                                      .arg(QCoreApplication::applicationPid()))),
                 qPrintable(text));
        QVERIFY(text.contains(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]", QRegularExpression::MultilineOption)));
    }
};

QTEST_GUILESS_MAIN(RtuLinkTest)
#include "test_rtu_link.moc"
