// Ports behind a serial device server, without a network: their names, the
// one spelling their backups go by, the Telnet of RFC 2217 taken apart and
// put together, what a failed connect is called, and the list of network
// ports the window remembers.
#include "NetworkPort.h"
#include "RememberedPorts.h"
#include "SystemPorts.h"
#include "TcpLine.h"
#include "Telnet.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out += static_cast<char>(b);
    return out;
}

// The server's answer to one com-port command: IAC SB 44 (command + 100) value IAC SE.
QByteArray comAnswer(quint8 command, const QByteArray &value)
{
    return telnet::subnegotiation(telnet::kComPortOption, QByteArray(1, static_cast<char>(command + telnet::kServerOffset)) + value);
}

} // namespace

class NetworkPortsTest : public QObject {
    Q_OBJECT
private slots:
    void namesAreReadOrRefusedWithAReason_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::addColumn<QString>("problem");
        QTest::newRow("an IPv4 address") << "tcp://127.0.0.1:4001" << "tcp://127.0.0.1:4001" << "";
        QTest::newRow("a name, any case") << "TCP://Pump-Room.Site:4001" << "tcp://pump-room.site:4001" << "";
        QTest::newRow("a name ending in its root") << "rfc2217://server.site.:7000/" << "rfc2217://server.site:7000" << "";
        QTest::newRow("IPv6 in brackets") << "rfc2217://[0:0::0:1]:7000" << "rfc2217://[::1]:7000" << "";
        QTest::newRow("IPv4 in IPv6") << "tcp://[::ffff:127.0.0.1]:04001" << "tcp://127.0.0.1:4001" << "";
        QTest::newRow("spaces around") << "  tcp://localhost:502 " << "tcp://localhost:502" << "";
        QTest::newRow("no port") << "tcp://localhost" << "" << "no port number after the host";
        QTest::newRow("an empty port") << "tcp://localhost:" << "" << "no port number after the host";
        QTest::newRow("port 0") << "tcp://localhost:0" << "" << "\"0\" is no port number";
        QTest::newRow("port too large") << "tcp://localhost:65536" << "" << "\"65536\" is no port number";
        QTest::newRow("no host") << "tcp://:4001" << "" << "no host before the port number";
        QTest::newRow("IPv6 bare") << "tcp://::1:4001" << "" << "an IPv6 address goes in brackets: tcp://[::1]:4001";
        QTest::newRow("not IPv6 in brackets") << "tcp://[localhost]:4001" << "" << "\"localhost\" in brackets is no IPv6 address";
        QTest::newRow("no IPv4") << "tcp://300.1.1.1:4001" << "" << "\"300.1.1.1\" is no IPv4 address";
        QTest::newRow("a space in the name") << "tcp://pump room:4001" << "" << "\"pump room\" is no host name or address";
        QTest::newRow("another scheme") << "udp://localhost:4001" << "" << "not tcp://HOST:PORT or rfc2217://HOST:PORT";
    }

    void namesAreReadOrRefusedWithAReason()
    {
        QFETCH(QString, typed);
        QFETCH(QString, canonical);
        QFETCH(QString, problem);
        QString why;
        const std::optional<ports::NetworkPort> p = ports::parseNetworkPort(typed, &why);
        QCOMPARE(p ? p->canonical() : QString(), canonical);
        if (!problem.isEmpty())
            QVERIFY2(why.startsWith(problem), qPrintable(why));
    }

    // The target keeps the name as typed (COMn in capitals); the backups go by one spelling.
    void aPortIsNamedAsTypedAndBackedUpUnderOneName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("key");
        QTest::newRow("network") << " tcp://Server.Site:04001" << "tcp://Server.Site:04001" << "tcp://server.site:4001"
                                 << "tcp://server.site:4001";
        QTest::newRow("RFC 2217") << "RFC2217://[0:0::1]:7000" << "RFC2217://[0:0::1]:7000" << "rfc2217://[::1]:7000"
                                  << "rfc2217://[::1]:7000";
        QTest::newRow("a bad network name") << "tcp://server" << "tcp://server" << "" << "tcp://server";
        QTest::newRow("COM") << "com3" << "COM3" << "" << "COM3";
        QTest::newRow("a path") << "/dev/ttyUSB1" << "/dev/ttyUSB1" << "/dev/ttyUSB1" << "/dev/ttyUSB1";
    }

    void aPortIsNamedAsTypedAndBackedUpUnderOneName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QFETCH(QString, device);
        QFETCH(QString, key);
        ports::PortTable table;
        const PortTarget t = ports::targetOf(table, typed);
        QCOMPARE(t.name, name);
        if (!typed.startsWith("/") || ports::thisPlatform() == ports::Platform::Linux)
            QCOMPARE(t.device, device);
        QCOMPARE(ports::portKey(typed), key);
        if (device.isEmpty() && ports::looksLikeNetworkPort(typed))
            QCOMPARE(t.missing, PortOpenFailure::Cause::NotADevice);
    }

    void dataBytesTravelWithTheirIacDoubled()
    {
        QCOMPARE(telnet::escape(bytes({0x01, 0xFF, 0x03, 0xFF, 0xFF})), bytes({0x01, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0xFF}));
        // 9600 in four bytes, and a value holding 0xFF escaped inside the sub-negotiation.
        QCOMPARE(telnet::lineSettings(9600).front().value, bytes({0, 0, 0x25, 0x80}));
        QCOMPARE(telnet::subnegotiation(44, bytes({1, 0, 0, 0xFF, 0})), bytes({255, 250, 44, 1, 0, 0, 255, 255, 0, 255, 240}));
    }

    // What ser2net sends when a client connects and answers, cut at every
    // byte: the data comes out whole and the options end up agreed.
    void aSessionIsTakenApartWhereverThePiecesEnd()
    {
        const QByteArray frame = bytes({0x01, 0x03, 0x02, 0xFF, 0xFF, 0xB9, 0xF4});
        const QByteArray wire = bytes({255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0, 255, 251, 0, 255, 253, 44})
                                + telnet::subnegotiation(44, bytes({107, 0})) + comAnswer(telnet::kSetBaudRate, bytes({0, 0, 0x25, 0x80}))
                                + telnet::escape(frame) + bytes({255, 241}); // and a NOP
        for (int cut = 0; cut <= wire.size(); ++cut) {
            telnet::Session s;
            QByteArray data = s.feed(wire.left(cut));
            data += s.feed(wire.mid(cut));
            QCOMPARE(data, frame);
            QVERIFY(s.comPortAgreed() && s.binaryAgreed());
            QCOMPARE(s.comAnswers().at(telnet::kSetBaudRate), bytes({0, 0, 0x25, 0x80}));
            QVERIFY(!s.comAnswers().count(7)); // the modem state notice is no answer
            // The echo it offers is refused; nothing else needs an answer.
            QCOMPARE(s.takeAnswers(), telnet::command(telnet::kDont, telnet::kEcho));
        }
    }

    void whatTheServerRefusesIsKnown()
    {
        telnet::Session s;
        QVERIFY(s.feed(telnet::command(telnet::kDont, telnet::kComPortOption)).isEmpty());
        QVERIFY(s.comPortRefused() && !s.comPortAgreed());
        telnet::Session b;
        b.feed(telnet::command(telnet::kWont, telnet::kBinary));
        QVERIFY(b.binaryRefused());
        // An option the tool does not know is declined.
        telnet::Session o;
        o.feed(telnet::command(telnet::kDo, 24) + telnet::command(telnet::kWill, 31));
        QCOMPARE(o.takeAnswers(), telnet::command(telnet::kWont, 24) + telnet::command(telnet::kDont, 31));
        QCOMPARE(telnet::settingText(telnet::kSetBaudRate, bytes({0, 0, 0x4B, 0})), QStringLiteral("19200"));
        QCOMPARE(telnet::settingText(telnet::kSetParity, bytes({3})), QStringLiteral("even"));
    }

    void eachFailedConnectHasItsCause_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("cause");
        QTest::newRow("no such host") << int(QAbstractSocket::HostNotFoundError) << int(PortOpenFailure::Cause::NoSuchHost);
        QTest::newRow("refused") << int(QAbstractSocket::ConnectionRefusedError) << int(PortOpenFailure::Cause::Refused);
        QTest::newRow("unreachable") << int(QAbstractSocket::NetworkError) << int(PortOpenFailure::Cause::Unreachable);
        QTest::newRow("timed out") << int(QAbstractSocket::SocketTimeoutError) << int(PortOpenFailure::Cause::TimedOut);
        QTest::newRow("ended at once") << int(QAbstractSocket::RemoteHostClosedError) << int(PortOpenFailure::Cause::ServerBusy);
    }

    void eachFailedConnectHasItsCause()
    {
        QFETCH(int, error);
        QFETCH(int, cause);
        QCOMPARE(int(TcpLine::causeOf(QAbstractSocket::SocketError(error))), cause);
    }

    void theWindowRemembersTheLatestPortsOnce()
    {
        QStringList names;
        for (int i = 1; i <= ports::kMaxRememberedPorts; ++i)
            names = ports::rememberPort(names, QStringLiteral("tcp://127.0.0.%1:4001").arg(i));
        QCOMPARE(names.size(), ports::kMaxRememberedPorts);
        // Another spelling of one of them moves it first, as now typed; the oldest goes.
        names = ports::rememberPort(names, QStringLiteral("TCP://127.0.0.3:04001"));
        QCOMPARE(names.front(), QStringLiteral("TCP://127.0.0.3:04001"));
        QCOMPARE(names.count(QStringLiteral("tcp://127.0.0.3:4001")), 0);
        QCOMPARE(names.size(), ports::kMaxRememberedPorts);
        names = ports::rememberPort(names, QStringLiteral("rfc2217://[::1]:7000"));
        QVERIFY(!names.contains(QStringLiteral("tcp://127.0.0.1:4001")));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("alarmcfg/network-ports.json"));
        QCOMPARE(ports::loadRememberedPorts(path).names, QStringList()); // none yet
        QString error;
        QVERIFY2(ports::saveRememberedPorts(path, names, &error), qPrintable(error));
        QCOMPARE(ports::loadRememberedPorts(path).names, names);
        for (const QByteArray &bad : {QByteArray("{}"), QByteArray("[\"COM1\"]"), QByteArray("[\"tcp://x\"]"), QByteArray("[1]")}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bad) == bad.size());
            f.close();
            const ports::RememberedPorts loaded = ports::loadRememberedPorts(path);
            QVERIFY2(!loaded.usable && loaded.names.isEmpty() && !loaded.problem.isEmpty(), bad.constData());
        }
    }
};

QTEST_MAIN(NetworkPortsTest)
#include "test_network_ports.moc"
