// Which device COM1..COM7 open, decided on made-up port lists and port maps,
// and the port map file as the tool keeps it.
#include "PortResolver.h"
#include "SystemPorts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using ports::PortMap;
using ports::SystemPort;

Q_DECLARE_METATYPE(QList<ports::SystemPort>)
Q_DECLARE_METATYPE(ports::PortMap)

namespace {

SystemPort uart(int k, bool hardware)
{
    SystemPort p;
    p.name = QStringLiteral("ttyS%1").arg(k);
    p.device = QStringLiteral("/dev/") + p.name;
    p.kind = hardware ? SystemPort::Kind::BuiltInUart : SystemPort::Kind::PhantomUart;
    return p;
}

// A USB adapter as udev names it: by-id carries the serial number when there
// is one, by-path the USB socket.
SystemPort adapter(const QString &name, const QString &serial, int socket)
{
    SystemPort p;
    p.name = name;
    p.device = QStringLiteral("/dev/") + name;
    p.kind = SystemPort::Kind::UsbAdapter;
    p.serialNumber = serial;
    p.vendorId = serial.isEmpty() ? 0x1a86 : 0x0403;
    p.productId = serial.isEmpty() ? 0x7523 : 0x6001;
    p.description = serial.isEmpty() ? QStringLiteral("USB Serial") : QStringLiteral("FT232R USB UART");
    p.byId = serial.isEmpty() ? QStringLiteral("/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0")
                              : QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(serial);
    p.byPath = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:%1:1.0-port0").arg(socket);
    return p;
}

SystemPort renamed(SystemPort p, const QString &name)
{
    p.name = name;
    p.device = QStringLiteral("/dev/") + name;
    return p;
}

SystemPort withoutLinks(SystemPort p)
{
    p.byId.clear();
    p.byPath.clear();
    return p;
}

ports::Pin pinOf(const SystemPort &p, bool byPath = false)
{
    return {byPath ? p.byPath : p.byId, p.usbId(), p.serialNumber};
}

ports::EnvLookup envOf(const QStringList &settings)
{
    return [settings](const QString &name) {
        for (const QString &s : settings)
            if (s.section(QLatin1Char('='), 0, 0) == name)
                return s.section(QLatin1Char('='), 1);
        return QString();
    };
}

// "assigned /dev/ttyUSB1" for each COM number, "none" where nothing is.
QStringList outcome(const std::array<ports::Resolution, kPortCount> &com)
{
    QStringList out;
    for (const ports::Resolution &r : com)
        out << (r.device.isEmpty() ? ports::ruleName(r.rule) : ports::ruleName(r.rule) + QLatin1Char(' ') + r.device);
    return out;
}

QStringList pinsOf(const PortMap &map)
{
    QStringList out;
    for (const auto &[com, pin] : map)
        out << QStringLiteral("COM%1=%2").arg(com).arg(pin.link);
    return out;
}

QStringList nothingFrom(int com)
{
    QStringList out;
    for (int n = com; n <= kLastPort; ++n)
        out << QStringLiteral("none");
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const SystemPort A = adapter(QStringLiteral("ttyUSB0"), QStringLiteral("A50285BI"), 1);
const SystemPort B = adapter(QStringLiteral("ttyUSB1"), QStringLiteral("B7731XQ2"), 2);
const SystemPort C = adapter(QStringLiteral("ttyUSB2"), QStringLiteral("C0000001"), 3);
const SystemPort N = adapter(QStringLiteral("ttyUSB0"), QString(), 4); // a CH340 without a serial number

} // namespace

class PortResolverTest : public QObject {
    Q_OBJECT
private slots:
    void comNumbers_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QList<SystemPort>>("present");
        QTest::addColumn<PortMap>("saved");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("newPins");

        QTest::newRow("environment over pin over built-in over new adapter")
            << QStringList{"ALARMCFG_COM1=/dev/pts/9"}
            << QList<SystemPort>{uart(0, true), uart(1, true), uart(2, true), A, B}
            << PortMap{{1, pinOf(C)}, {2, pinOf(A)}}
            << QStringList{"environment /dev/pts/9", "saved /dev/ttyUSB0", "built-in /dev/ttyS2", "assigned /dev/ttyUSB1"} + nothingFrom(5)
            << QStringList{"COM4=" + B.byId};
        QTest::newRow("phantom UARTs are never offered")
            << QStringList() << QList<SystemPort>{uart(0, false), uart(1, false), uart(2, false), uart(3, false), A}
            << PortMap() << QStringList{"assigned /dev/ttyUSB0"} + nothingFrom(2) << QStringList{"COM1=" + A.byId};
        QTest::newRow("a second adapter takes the next number, the first keeps its own")
            << QStringList() << QList<SystemPort>{renamed(B, "ttyUSB0"), renamed(A, "ttyUSB1")}
            << PortMap{{1, pinOf(A)}}
            << QStringList{"saved /dev/ttyUSB1", "assigned /dev/ttyUSB0"} + nothingFrom(3) << QStringList{"COM2=" + B.byId};
        QTest::newRow("an unplugged adapter keeps its number")
            << QStringList() << QList<SystemPort>{B} << PortMap{{1, pinOf(A)}}
            << QStringList{"saved", "assigned /dev/ttyUSB1"} + nothingFrom(3) << QStringList{"COM2=" + B.byId};
        QTest::newRow("without a serial number the USB socket names the adapter")
            << QStringList() << QList<SystemPort>{N} << PortMap()
            << QStringList{"assigned /dev/ttyUSB0"} + nothingFrom(2) << QStringList{"COM1=" + N.byPath};
        QTest::newRow("adapters plugged in together are numbered in kernel order")
            << QStringList() << QList<SystemPort>{renamed(A, "ttyUSB10"), renamed(B, "ttyUSB2")} << PortMap()
            << QStringList{"assigned /dev/ttyUSB2", "assigned /dev/ttyUSB10"} + nothingFrom(3)
            << QStringList{"COM1=" + B.byId, "COM2=" + A.byId};
        QTest::newRow("an adapter the environment names gets no second number")
            << QStringList{"ALARMCFG_COM3=" + A.byId} << QList<SystemPort>{A} << PortMap()
            << QStringList{"none", "none", "environment " + A.byId} + nothingFrom(4) << QStringList();
        QTest::newRow("an adapter without a stable link is numbered but not pinned")
            << QStringList() << QList<SystemPort>{withoutLinks(A)} << PortMap()
            << QStringList{"unsaved /dev/ttyUSB0"} + nothingFrom(2) << QStringList();
    }

    void comNumbers()
    {
        QFETCH(QStringList, env);
        QFETCH(QList<SystemPort>, present);
        QFETCH(PortMap, saved);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, newPins);
        const ports::Resolved r = ports::resolve(envOf(env), present, saved);
        QCOMPARE(outcome(r.com), expected);
        QCOMPARE(pinsOf(r.newPins), newPins);
        for (const auto &[com, pin] : r.newPins)
            QVERIFY2(!pin.usbId.isEmpty(), "a pin carries its VID:PID as a hint");
    }

    void typedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("device"); // empty: names no device

        QTest::newRow("a device path") << "/dev/ttyUSB1" << false << "/dev/ttyUSB1";
        QTest::newRow("a by-id link") << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" << false
                                      << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        QTest::newRow("a bare kernel name") << "ttyUSB1" << false << "/dev/ttyUSB1";
        QTest::newRow("blanks around it") << " ttyACM0 " << false << "/dev/ttyACM0";
        QTest::newRow("a Windows name on Linux") << "COM12" << false << "";
        QTest::newRow("a word") << "随便" << false << "";
        QTest::newRow("a relative path") << "dev/ttyUSB0" << false << "";
        QTest::newRow("Windows COM12") << "COM12" << true << R"(\\.\COM12)";
        QTest::newRow("Windows, small letters") << "com3" << true << R"(\\.\COM3)";
        QTest::newRow("Windows, already a device name") << R"(\\.\COM4)" << true << R"(\\.\COM4)";
        QTest::newRow("Windows, a Linux path") << "/dev/ttyUSB0" << true << "";
        QTest::newRow("Windows COM0") << "COM0" << true << "";
    }

    void typedText()
    {
        QFETCH(QString, text);
        QFETCH(bool, windows);
        QFETCH(QString, device);
        const std::optional<QString> got =
            ports::typedPortDevice(text, windows ? ports::Platform::Windows : ports::Platform::Linux);
        QCOMPARE(got.value_or(QString()), device);
    }

    void portMapText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem"); // empty: a good map

        QTest::newRow("as the tool writes it") << ports::serializePortMap({{2, pinOf(A)}, {5, pinOf(N, true)}}) << "";
        QTest::newRow("an empty map") << QByteArray("{}") << "";
        QTest::newRow("cut short") << QByteArray("{ \"COM1\": { \"link\": \"/dev/serial/by-id/x\"") << "not JSON";
        QTest::newRow("a list") << QByteArray("[]") << "not a JSON object";
        QTest::newRow("a port the tool has not") << QByteArray(R"({"COM9": {"link": "/dev/x"}})") << "COM9";
        QTest::newRow("no link") << QByteArray(R"({"COM1": {"usb": "0403:6001"}})") << "link";
        QTest::newRow("a link that is no path") << QByteArray(R"({"COM1": {"link": "ttyUSB0"}})") << "link";
        QTest::newRow("a number for text") << QByteArray(R"({"COM1": {"link": "/dev/x", "serial": 5}})") << "text";
    }

    void portMapText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        QString why;
        const std::optional<PortMap> map = ports::parsePortMap(text, &why);
        if (problem.isEmpty()) {
            QVERIFY2(map, qPrintable(why));
            QCOMPARE(ports::serializePortMap(*map), ports::serializePortMap(*ports::parsePortMap(ports::serializePortMap(*map), &why)));
        } else {
            QVERIFY(!map);
            QVERIFY2(why.contains(problem), qPrintable(why));
        }
    }

    void newPinsAreSavedAtOnceAndNeverMove()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("alarmcfg/ports.json"));
        const ports::EnvLookup noEnv = envOf({});

        ports::PortTable t = ports::lookUpPorts({A}, path, noEnv);
        QCOMPARE(outcome(t.com).first(), QStringLiteral("assigned /dev/ttyUSB0"));
        QCOMPARE(ports::loadPortMap(path).pins, (PortMap{{1, pinOf(A)}}));

        t = ports::lookUpPorts({renamed(B, "ttyUSB0"), renamed(A, "ttyUSB1")}, path, noEnv);
        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved /dev/ttyUSB1", "assigned /dev/ttyUSB0"}));

        t = ports::lookUpPorts({renamed(B, "ttyUSB3")}, path, noEnv); // the first one unplugged
        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved", "saved /dev/ttyUSB3"}));
        QCOMPARE(ports::loadPortMap(path).pins, (PortMap{{1, pinOf(A)}, {2, pinOf(B)}}));
        QVERIFY(t.notes.isEmpty());
    }

    void aMapThatCannotBeReadIsIgnoredAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the map's name is taken by a folder
        QTest::newRow("cut short") << QByteArray("{ \"COM1\": { \"link\": ");
        QTest::newRow("not a port map") << QByteArray(R"({"COM1": "/dev/ttyUSB0"})");
        QTest::newRow("unreadable") << QByteArray();
    }

    void aMapThatCannotBeReadIsIgnoredAndLeftAlone()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ports.json"));
        if (content.isEmpty())
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ports.json")));
        else
            writeFile(path, content);

        const ports::PortTable t = ports::lookUpPorts({A}, path, envOf({}));
        QCOMPARE(outcome(t.com).first(), QStringLiteral("unsaved /dev/ttyUSB0")); // still reachable
        QCOMPARE(t.notes.size(), 1);
        QVERIFY2(t.notes.first().contains(path) && t.notes.first().contains(QStringLiteral("ignored")), qPrintable(t.notes.first()));
        if (content.isEmpty())
            QVERIFY(QFileInfo(path).isDir());
        else
            QCOMPARE(fileBytes(path), content); // the operator's map, typo and all, is theirs to mend
    }

    void aBrokenWriteLeavesTheOldMapWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ports.json"));
        QString error;
        QVERIFY(ports::savePortMap(path, {{1, pinOf(A)}}, &error));
        const QByteArray before = fileBytes(path);

        // A file size limit stops the write half-way, as a full disk would; it holds for root too.
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = 16;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const ports::PortTable t = ports::lookUpPorts({A, B}, path, envOf({}));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved /dev/ttyUSB0", "unsaved /dev/ttyUSB1"}));
        QCOMPARE(t.notes.size(), 1);
        QVERIFY2(t.notes.first().contains(QStringLiteral("not saved")), qPrintable(t.notes.first()));
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"ports.json"})); // no half-written leftovers
    }
};

QTEST_GUILESS_MAIN(PortResolverTest)
#include "test_port_resolver.moc"
