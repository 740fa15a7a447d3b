// Which device COM1..COM7 open, decided on made-up port lists and port maps,
// by the rules of either platform, and the port map's text.
#include "PortFixtures.h"

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

    void windowsNumbersItsOwnPorts()
    {
        const SystemPort ch340 = ports::windowsPort(QStringLiteral("COM3"), QStringLiteral("USB-SERIAL CH340 (COM3)"),
                                                    QStringLiteral("wch.cn"), QStringLiteral(R"(USB\VID_1A86&PID_7523&REV_0264)"),
                                                    QStringLiteral(R"(USB\VID_1A86&PID_7523\5&2E5B3A6&0&1)"));
        // Neither a saved pin nor an adapter of another kind makes a Windows number move.
        const ports::Resolved r = ports::resolve(envOf({R"(ALARMCFG_COM2=\\.\COM12)"}), {ch340, A}, PortMap{{1, pinOf(B)}},
                                                 ports::Platform::Windows);
        QCOMPARE(outcome(r.com), QStringList({R"(system \\.\COM1)", R"(environment \\.\COM12)", R"(system \\.\COM3)",
                                              R"(system \\.\COM4)", R"(system \\.\COM5)", R"(system \\.\COM6)",
                                              R"(system \\.\COM7)"}));
        QVERIFY(r.newPins.empty());
        QVERIFY(!r.com[0].port); // COM1 is offered, but not present
        QVERIFY(r.com[2].port);
        QCOMPARE(r.com[2].port->description, QStringLiteral("USB-SERIAL CH340"));
        QVERIFY2(ports::describe(r.com[2]).contains(QStringLiteral("USB 1a86:7523")), qPrintable(ports::describe(r.com[2])));
        QVERIFY2(ports::describe(r.com[0]).contains(QStringLiteral("not present")), qPrintable(ports::describe(r.com[0])));
    }

    void windowsPortNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("friendly");
        QTest::addColumn<QString>("hardwareId");
        QTest::addColumn<QString>("instanceId");
        QTest::addColumn<QStringList>("expected"); // device, description, VID:PID, serial

        QTest::newRow("CH340: no serial number, Windows made one up")
            << "COM3" << "USB-SERIAL CH340 (COM3)" << R"(USB\VID_1A86&PID_7523&REV_0264)" << R"(USB\VID_1A86&PID_7523\5&2E5B3A6&0&1)"
            << QStringList{R"(\\.\COM3)", "USB-SERIAL CH340", "1a86:7523", ""};
        QTest::newRow("FTDI: the serial with the port's letter after it")
            << "COM7" << "USB Serial Port (COM7)" << R"(FTDIBUS\COMPORT&VID_0403&PID_6001)" << R"(FTDIBUS\VID_0403+PID_6001+A50285BIA\0000)"
            << QStringList{R"(\\.\COM7)", "USB Serial Port", "0403:6001", "A50285BI"};
        QTest::newRow("CP210x: the serial in the instance ID")
            << "COM12" << "Silicon Labs CP210x USB to UART Bridge (COM12)" << R"(USB\VID_10C4&PID_EA60&REV_0100)"
            << R"(USB\VID_10C4&PID_EA60\0001)" << QStringList{R"(\\.\COM12)", "Silicon Labs CP210x USB to UART Bridge", "10c4:ea60", "0001"};
        QTest::newRow("a built-in port has no USB identity")
            << "COM1" << "Communications Port (COM1)" << R"(ACPI\PNP0501)" << R"(ACPI\PNP0501\0)"
            << QStringList{R"(\\.\COM1)", "Communications Port", "", ""};
        QTest::newRow("the registry alone gives the name, in any case")
            << "com4" << "" << "" << "" << QStringList{R"(\\.\COM4)", "", "", ""};
    }

    void windowsPortNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, friendly);
        QFETCH(QString, hardwareId);
        QFETCH(QString, instanceId);
        QFETCH(QStringList, expected);
        const SystemPort p = ports::windowsPort(name, friendly, QString(), hardwareId, instanceId);
        QCOMPARE((QStringList{p.device, p.description, p.usbId(), p.serialNumber}), expected);
        QCOMPARE(p.kind == SystemPort::Kind::UsbAdapter, !expected[2].isEmpty());
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

};

QTEST_GUILESS_MAIN(PortResolverTest)
#include "test_port_resolver.moc"
