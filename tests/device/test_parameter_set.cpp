// The parameter set without a window: read from a device's registers, checked,
// planned into writes, and kept in a configuration file.
#include "ConfigFile.h"
#include "DeviceImage.h"
#include "FactoryDefaults.h"
#include "ParameterReader.h"
#include "RegisterMap.h"
#include "WritePlan.h"

#include <QMap>
#include <QTimeZone>
#include <QtTest>

#include <functional>

namespace {

// The window's full read: the status block, then its 10-register blocks.
std::vector<regmap::Block> windowReads()
{
    std::vector<regmap::Block> reads = {regmap::kStatusBlock};
    for (const regmap::Block &b : regmap::fullReadBlocks())
        reads.push_back(b);
    return reads;
}

// The blocks applied in order, as the window or the command line reads them.
params::DeviceReading readImage(const std::vector<quint16> &image, const std::vector<regmap::Block> &reads = windowReads())
{
    params::ParameterReader reader;
    for (const regmap::Block &b : reads)
        reader.apply(b.start, QVector<quint16>(image.begin() + b.start, image.begin() + b.start + b.count), b.count);
    return reader.reading();
}

std::vector<quint16> written(std::vector<quint16> image, const params::ParameterSet &set,
                             const params::DeviceReading *reading = nullptr)
{
    for (const params::PlannedWrite &w : params::planWrites(set, reading))
        std::copy(w.registers.begin(), w.registers.end(), image.begin() + w.start);
    return image;
}

QStringList problemList(const std::vector<params::Problem> &problems)
{
    QStringList out;
    for (const params::Problem &p : problems)
        out << QStringLiteral("%1 %2").arg(p.kind).arg(p.field);
    return out;
}

} // namespace

class ParameterSetTest : public QObject {
    Q_OBJECT
private slots:
    void whatIsReadIsWrittenBackUnchanged_data()
    {
        QTest::addColumn<int>("image"); // 0 factory, 1 custom, 2 odd
        QTest::addColumn<bool>("whole"); // each text slot read whole, as the command line reads it
        QTest::newRow("factory device") << 0 << false;
        QTest::newRow("a device set up by someone else") << 1 << false;
        QTest::newRow("a device holding what the tool does not keep") << 2 << false;
        QTest::newRow("the same, every slot read whole") << 2 << true;
    }

    void whatIsReadIsWrittenBackUnchanged()
    {
        QFETCH(int, image);
        QFETCH(bool, whole);
        const std::vector<quint16> before = image == 0   ? factory::registerImage()
                                            : image == 1 ? deviceimage::customImage()
                                                         : deviceimage::oddImage();
        const params::DeviceReading reading = readImage(before, whole ? regmap::configurationBlocks() : windowReads());
        QVERIFY(params::checkParameters(reading.shown, &reading).empty());
        const std::vector<quint16> after = written(before, reading.shown, &reading);
        QCOMPARE(deviceimage::differingRegisters(after, before), QList<int>()); // register for register
    }

    // From the odd device: each edited field is encoded as a set without a
    // reading encodes it, and the registers no field is stored in stay.
    void anEditedFieldIsEncodedAndNothingElse()
    {
        const std::vector<quint16> before = deviceimage::oddImage();
        const params::DeviceReading reading = readImage(before);
        QCOMPARE(reading.shown.password, QString()); // relay 2's on-command has none
        auto changed = [&](const std::function<void(params::ParameterSet &)> &edit) {
            params::ParameterSet set = reading.shown;
            edit(set);
            QMap<int, quint16> out;
            const std::vector<quint16> after = written(before, set, &reading);
            for (int a : deviceimage::differingRegisters(after, before))
                out[a] = after[a];
            return out;
        };
        using Regs = QMap<int, quint16>;
        QCOMPARE(changed([](params::ParameterSet &s) { s.alarmMode = params::AlarmMode::Closing; }), Regs({{1050, 1}}));
        QCOMPARE(changed([](params::ParameterSet &s) { s.alarmMode = params::AlarmMode::None; }), Regs({{1050, 4}}));
        // One option changed clears the bits the window has no box for.
        QCOMPARE(changed([](params::ParameterSet &s) { s.powerLossMemory = false; }), Regs({{1030, 2}}));
        QCOMPARE(changed([](params::ParameterSet &s) { s.relays[0].actionTime = -2; }), Regs({{900, 0xFFFE}}));
        // The list closes up once edited; the slot after the last entry is emptied.
        // (Slot 730 still holds the rest of this number from before it was emptied.)
        QCOMPARE(changed([](params::ParameterSet &s) { s.phones.removeAt(1); }),
                 Regs({{730, 0x3836}, {750, 0x6100}, {770, 0x6100}}));
        // Another prefix stays until the command is edited: then it is the window's password, here none.
        QCOMPARE(changed([](params::ParameterSet &s) { s.relays[0].off = QStringLiteral("关"); }),
                 Regs({{30, 0xB9D8}, {31, 0x0000}}));
    }

    void onlyWhatIsEncodedIsChecked()
    {
        std::vector<quint16> image = factory::registerImage();
        deviceimage::putText(image, 10, QStringLiteral("1234567*on"));
        deviceimage::putText(image, 90, QStringLiteral("1234567*on2"));
        deviceimage::putText(image, 130, QStringLiteral("reply of twenty bytes")); // read as 20 bytes, no end
        const params::DeviceReading reading = readImage(image);
        params::ParameterSet set = reading.shown;
        QCOMPARE(set.password, QStringLiteral("1234567"));
        using P = params::Problem;
        QCOMPARE(problemList(params::checkParameters(set, &reading)), QStringList());
        QCOMPARE(problemList(params::checkParameters(set)),
                 QStringList({QStringLiteral("%1 parameters.password").arg(P::PasswordTooLong),
                              QStringLiteral("%1 parameters.relays[1].onReply").arg(P::CommandTooLong)}));
        set.relays[1].off = QStringLiteral("off2"); // a command goes out with the password
        QCOMPARE(problemList(params::checkParameters(set, &reading)),
                 QStringList({QStringLiteral("%1 parameters.password").arg(P::PasswordTooLong)}));
        set.relays[1].onReply = QStringLiteral("reply of twenty byte!");
        QCOMPARE(problemList(params::checkParameters(set, &reading)),
                 QStringList({QStringLiteral("%1 parameters.password").arg(P::PasswordTooLong),
                              QStringLiteral("%1 parameters.relays[1].onReply").arg(P::CommandTooLong)}));
    }

    void theWritesOfASet()
    {
        params::ParameterSet set = params::startUpSet();
        set.phones = QStringList{"15800000000", "+8613800000000", "110"};
        set.relays[1].actionTime = -3;
        set.alarmMode = params::AlarmMode::None;
        set.powerLossMemory = true;
        const std::vector<params::PlannedWrite> writes = params::planWrites(set);
        QStringList trace;
        QList<int> progress;
        for (const params::PlannedWrite &w : writes) {
            trace << QStringLiteral("%1%2x%3").arg(w.single ? "S" : "W").arg(w.start).arg(w.registers.size());
            for (int v : w.progressAfter)
                progress << v;
        }
        QCOMPARE(trace, QStringList({"W10x8", "W30x8", "W50x7", "W70x7", "W90x8", "W110x8", "W130x7", "W150x7", "W490x6",
                                     "W510x6", "W810x7", "W830x7", "W850x7", "W870x7", "W710x7", "W730x8", "W750x2",
                                     "W770x1", "W790x1", "W900x8", "S1050x1", "S1030x1"}));
        QCOMPARE(progress, QList<int>({3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 46, 50}));
        QCOMPARE(writes[19].registers, QVector<quint16>({0, 0xFFFD, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(writes[20].registers, QVector<quint16>({4})); // no mode chosen: both ways
        QCOMPARE(writes[21].registers, QVector<quint16>({1}));
        QCOMPARE(writes[0].field, QStringLiteral("parameters.relays[0].on"));
        QCOMPARE(writes[0].text, QStringLiteral("739154*设备1开"));
    }

    void everyProblemInTheWritesOrder()
    {
        params::ParameterSet set = params::startUpSet();
        set.password = QStringLiteral("12*45678");
        set.relays[1].offReply = QString(10, u'关');
        set.allOn = QStringLiteral("a*b");
        set.alarmTexts[3] = QString(41, u'x');
        set.phones = QStringList{"1", "13 8", QString(), "😀"};
        set.relays[0].onReply = QStringLiteral("开😀");
        set.relays[1].actionTime = 40000;
        using P = params::Problem;
        QCOMPARE(problemList(params::checkParameters(set)),
                 QStringList({QStringLiteral("%1 parameters.password").arg(P::PasswordTooLong),
                              QStringLiteral("%1 parameters.password").arg(P::HoldsPasswordSeparator),
                              QStringLiteral("%1 parameters.allOn").arg(P::HoldsPasswordSeparator),
                              QStringLiteral("%1 parameters.relays[1].offReply").arg(P::CommandTooLong),
                              QStringLiteral("%1 parameters.alarmTexts.channel2Opening").arg(P::SlotTextTooLong),
                              QStringLiteral("%1 parameters.phones[1]").arg(P::PhoneNotANumber),
                              QStringLiteral("%1 parameters.phones[3]").arg(P::PhoneNotANumber),
                              QStringLiteral("%1 parameters.relays[0].onReply").arg(P::Unsendable),
                              QStringLiteral("%1 parameters.phones[3]").arg(P::Unsendable),
                              QStringLiteral("%1 parameters.relays[1].actionTime").arg(P::ActionTimeOutOfRange)}));
    }

    // Each row is a whole record: a path of its own, a caption, its factory
    // value through its codec, and a read and a write for what it stores.
    void everyRowIsAWholeRecord()
    {
        QStringList paths;
        for (const params::Field &f : params::fieldTable()) {
            QVERIFY2(!paths.contains(f.path) && &params::fieldAt(f.path) == &f, qPrintable(f.path));
            paths << f.path;
            QVERIFY2(f.caption.source, qPrintable(f.path));
            params::ParameterSet set;
            f.put(set, f.factory);
            QCOMPARE(f.get(set), f.factory);
            const bool stored = f.registers.count > 0;
            QCOMPARE(f.readIn != params::ReadStep::None, stored);
            QCOMPARE(f.writtenIn != params::WriteStep::None, stored);
            QVERIFY2(f.block.start <= f.registers.start && f.registers.start + f.registers.count <= f.block.start + f.block.count,
                     qPrintable(f.path));
        }
    }

    // The factory image read back, as the window or the command line reads
    // it, is the factory set; the start-up set differs from it in the phone
    // list and the mode; 恢复出厂 keeps the all-on and all-off commands, the
    // mode and the options.
    void theRowsValuesMakeTheSets()
    {
        auto fieldsDiffering = [](const params::ParameterSet &a, const params::ParameterSet &b) {
            QStringList out;
            for (const params::Difference &d : params::differences(a, b))
                out << d.field;
            return out;
        };
        for (bool whole : {false, true})
            QCOMPARE(fieldsDiffering(readImage(factory::registerImage(), whole ? regmap::configurationBlocks() : windowReads()).shown,
                                     params::factorySet()),
                     QStringList());
        QCOMPARE(fieldsDiffering(params::startUpSet(), params::factorySet()),
                 QStringList({"parameters.phones[0]", "parameters.alarmMode"}));
        params::ParameterSet restored = readImage(deviceimage::customImage()).shown;
        params::applyFactoryTable(restored);
        QCOMPARE(fieldsDiffering(restored, params::factorySet()),
                 QStringList({"parameters.allOn", "parameters.allOff", "parameters.alarmMode", "parameters.powerLossMemory",
                              "parameters.phoneAlarm"}));
    }

    // The commands as the device holds them, and the passwords in front:
    // as read while unchanged, as the set composes them once edited.
    void theCommandsAsStored()
    {
        const params::DeviceReading reading = readImage(deviceimage::oddImage());
        params::ParameterSet set = reading.shown;
        const params::Field &on2 = params::field(params::FieldId::OnCommand, 1);
        QCOMPARE(params::storedText(params::field(params::FieldId::OffCommand, 0), set, &reading), QStringLiteral("1111*关灯"));
        QCOMPARE(params::storedText(on2, set, &reading), QStringLiteral("OPEN2"));
        QCOMPARE(params::commandPasswords(set, &reading), QStringList({"4321", "1111", "", "88"}));
        set.password = QStringLiteral("5678");
        QCOMPARE(params::storedText(on2, set, &reading), QStringLiteral("5678*OPEN2"));
        QCOMPARE(params::commandPasswords(set, &reading), QStringList({"5678"}));
    }

    void aFileKeepsTheSet()
    {
        params::ParameterSet set = readImage(deviceimage::customImage()).shown;
        const QByteArray file = config::serialize(set, QStringLiteral("V1.5"),
                                                  QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone(8 * 3600)));
        QVERIFY(file.startsWith("{\n  \"format\": \"alarmcfg-config\",\n  \"version\": 1,\n"
                                "  \"saved\": \"2026-12-07T12:00:00+08:00\",\n  \"device\": {\n    \"firmware\": \"V1.5\"\n  },\n"));
        QVERIFY(file.contains("\"phones\": [\"+8613800000000\", \"13912345678\", \"110\"],\n    \"password\": \"4321\""));
        QVERIFY(file.contains("\"alarmMode\": \"opening\",\n    \"powerLossMemory\": true,\n    \"phoneAlarm\": true\n  }\n}\n"));
        QVERIFY(file.contains("前门被打开，请立")); // UTF-8 as it is, not escaped
        const config::ParseResult back = config::parse(file);
        QVERIFY2(back.problems.empty(), back.problems.empty() ? "" : qPrintable(back.problems[0].field));
        QVERIFY(back.configuration->set.sameConfiguration(set));
        QCOMPARE(back.configuration->firmware, QStringLiteral("V1.5"));
        QVERIFY(config::parse(config::serialize(set, QString(), QDateTime())).configuration); // both informational keys left out
    }
};

QTEST_GUILESS_MAIN(ParameterSetTest)
#include "test_parameter_set.moc"
