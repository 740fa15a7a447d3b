// Register map and field encodings: what goes into and comes out of the
// device's registers.
#include "FactoryDefaults.h"
#include "FieldCodecs.h"
#include "RegisterMap.h"
#include "RegisterText.h"

#include <QRandomGenerator>
#include <QtTest>

using regtext::GbkText;

class EncodingsTest : public QObject {
    Q_OBJECT
private slots:
    void gbkCountsAsciiOneByteAndChineseTwo()
    {
        QCOMPARE(regtext::encodeGbk(QStringLiteral("全开")).bytes, QByteArray("\xc8\xab\xbf\xaa"));
        QCOMPARE(regtext::encodeGbk(QStringLiteral("739154*设备1开")).bytes.size(), 7 + 4 + 1 + 2);
        QCOMPARE(regtext::encodeGbk(QString()).bytes.size(), 0);
        QVERIFY(regtext::encodeGbk(QStringLiteral("通道1闭合报警")).ok());
    }

    void gbkReportsEveryCharacterItCannotSend()
    {
        const GbkText t = regtext::encodeGbk(QStringLiteral("开😀关\u0E01x"));
        QCOMPARE(t.unencodable, QStringLiteral("😀\u0E01"));
        QCOMPARE(t.bytes, regtext::encodeGbk(QStringLiteral("开关x")).bytes); // no "?" stands in for them
        QVERIFY(!regtext::encodeGbk(QString(QChar(0xD800))).ok());           // lone surrogate
        QVERIFY(!regtext::encodeGbk(QString(QChar(0))).ok());                // would end the text early
    }

    // One table for both codecs: ICU's GBK on Linux, code page 936 on Windows.
    void gbkCodesAsTheDeviceStoresThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // what GBK makes of the characters it has
        QTest::addColumn<QString>("lacking");  // the characters it has not

        QTest::newRow("ASCII") << QStringLiteral("ON 1") << QByteArray("ON 1") << QString();
        QTest::newRow("GB2312") << QStringLiteral("全开·") << QByteArray("\xc8\xab\xbf\xaa\xa1\xa4") << QString();
        QTest::newRow("beyond GB2312") << QStringLiteral("丂") << QByteArray("\x81\x40") << QString();
        QTest::newRow("pinyin") << QStringLiteral("é") << QByteArray("\xa8\xa6") << QString();
        QTest::newRow("full-width") << QStringLiteral("２：") << QByteArray("\xa3\xb2\xa3\xba") << QString();
        QTest::newRow("euro") << QStringLiteral("€") << QByteArray("\x80") << QString();
        // A best fit ("A" for "À", "ss" for "ß") would send another text than the one typed.
        QTest::newRow("no best fit") << QStringLiteral("Àß开") << QByteArray("\xbf\xaa") << QStringLiteral("Àß");
        QTest::newRow("emoji and Thai") << QStringLiteral("😀\u0E01") << QByteArray() << QStringLiteral("😀\u0E01");
    }

    void gbkCodesAsTheDeviceStoresThem()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, lacking);
        const GbkText t = regtext::encodeGbk(text);
        QCOMPARE(t.bytes, bytes);
        QCOMPARE(t.unencodable, lacking);
        if (lacking.isEmpty())
            QCOMPARE(regtext::decodeGbk(bytes), text);
    }

    void gbkDecodingOfWhatNoWriteMade_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");

        QTest::newRow("half a character at the end") << QByteArray("\xc8\xab\xbf") << QStringLiteral("全");
        QTest::newRow("a lead byte before what no trail byte is") << QByteArray("\xc8" "1") << QStringLiteral("\uFFFD" "1");
        QTest::newRow("a trail byte may be ASCII") << QByteArray("\xc8" "A") << QStringLiteral("\u83EF");
        QTest::newRow("ends at the first zero byte") << QByteArray("\xc8\xab\0\xbf\xaa", 5) << QStringLiteral("全");
    }

    void gbkDecodingOfWhatNoWriteMade()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(regtext::decodeGbk(bytes), text);
    }

    // 0xFF is no GBK byte: ICU gives it a private-use character, code page 936
    // the replacement character. Either way it stands alone and is no text.
    void aByteOutsideGbkStandsAloneAsNoText()
    {
        const QString text = regtext::decodeGbk(QByteArray("A\xff" "B"));
        QCOMPARE(text.size(), 3);
        QCOMPARE(text.front(), QLatin1Char('A'));
        QCOMPARE(text.back(), QLatin1Char('B'));
        QVERIFY2(text[1] == QChar(0xFFFD) || text[1].category() == QChar::Other_PrivateUse, qPrintable(text));
    }

    void packingPutsTheFirstByteHighAndIsItsOwnInverse()
    {
        QCOMPARE(regtext::bytesToRegisters("AB"), QVector<quint16>({0x4142}));
        QCOMPARE(regtext::bytesToRegisters("ABC"), QVector<quint16>({0x4142, 0x4300}));
        QCOMPARE(regtext::registersToBytes({0x4142, 0x4300}, 2), QByteArray("ABC\0", 4));
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(2 * QRandomGenerator::global()->bounded(0, 30), '\0');
            for (char &c : bytes)
                c = static_cast<char>(QRandomGenerator::global()->bounded(256));
            const QVector<quint16> regs = regtext::bytesToRegisters(bytes);
            QCOMPARE(regtext::registersToBytes(regs, static_cast<int>(regs.size())), bytes);
        }
    }

    void textBlocksEndAtTheFirstZeroByteOrAfterTheBlock()
    {
        const QVector<quint16> full = regtext::bytesToRegisters("0123456789abcdefghij");
        QCOMPARE(regtext::decodeTextBlock(full, 10), QStringLiteral("0123456789abcdefghij"));
        QCOMPARE(regtext::decodeTextBlock(full, 3), QStringLiteral("012345"));
        QCOMPARE(regtext::decodeTextBlock(regtext::bytesToRegisters(QByteArray("AB\0CD", 5)), 3), QStringLiteral("AB"));
        const QByteArray chinese = regtext::encodeGbk(QStringLiteral("设备1开启成功")).bytes;
        QCOMPARE(regtext::decodeTextBlock(regtext::slotRegisters(chinese, 20), 10), QStringLiteral("设备1开启成功"));
        QCOMPARE(regtext::decodeTextBlock({}, 0), QString());
        // Bytes that are not GBK still give some text, never a crash.
        regtext::decodeTextBlock({0xFFFF, 0x81FF, 0x8000}, 3);
    }

    void slotWritesEndWithAZeroByteWheneverItFits()
    {
        auto regs = [](int n, int capacity) { return regtext::slotRegisters(QByteArray(n, 'x'), capacity); };
        QCOMPARE(regs(13, 40).size(), 7);
        QCOMPARE(regs(13, 40).last(), quint16(0x7800));
        QCOMPARE(regs(14, 40).size(), 8);
        QCOMPARE(regs(14, 40).last(), quint16(0));
        QCOMPARE(regs(19, 20).size(), 10);
        QCOMPARE(regs(39, 40).size(), 20);
        QCOMPARE(regs(40, 40).size(), 20);
        QCOMPARE(regs(0, 40), QVector<quint16>({0}));
    }

    void passwordTravelsInFrontOfTheCommands()
    {
        QCOMPARE(fields::composeCommand(QStringLiteral("739154"), QStringLiteral("设备1开")), QStringLiteral("739154*设备1开"));
        QCOMPARE(fields::composeCommand(QString(), QStringLiteral("设备1开")), QStringLiteral("设备1开"));

        const fields::OnCommand on = fields::splitOnCommand(QStringLiteral("739154*设备1开"));
        QCOMPARE(on.password, QStringLiteral("739154"));
        QCOMPARE(on.command, QStringLiteral("设备1开"));
        QCOMPARE(fields::splitOnCommand(QStringLiteral("abc*")).command, QString());
        QCOMPARE(fields::splitOnCommand(QStringLiteral("pw*a*b")).command, QStringLiteral("a"));
        QCOMPARE(fields::splitOnCommand(QStringLiteral("open")).password, QString());
        QCOMPARE(fields::splitOnCommand(QStringLiteral("open")).command, QStringLiteral("open"));
        QCOMPARE(fields::splitOffCommand(QStringLiteral("739154*设备1关")), QStringLiteral("设备1关"));
        QCOMPARE(fields::splitOffCommand(QStringLiteral("close")), QStringLiteral("close"));
    }

    void phoneNumbersKeepTheirDigits()
    {
        QCOMPARE(fields::phoneSlotText(QStringLiteral("15800000000")), QStringLiteral("8615800000000"));
        QCOMPARE(fields::phoneSlotText(QStringLiteral("158000000001")), QStringLiteral("158000000001"));
        QCOMPARE(fields::phoneSlotText(QStringLiteral("12345")), QStringLiteral("12345"));

        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("8615800000000")), std::optional(QStringLiteral("15800000000")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("15800000000")), std::optional(QStringLiteral("15800000000")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("800123")), std::optional(QStringLiteral("800123")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("8")), std::optional(QStringLiteral("8")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("861234")), std::optional(QStringLiteral("861234")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("a")), std::nullopt);
        QCOMPARE(fields::phoneEntryFromSlot(QString()), std::nullopt);
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("+8615800000000")), std::optional(QStringLiteral("+8615800000000")));
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("+")), std::nullopt);
        QCOMPARE(fields::phoneEntryFromSlot(QStringLiteral("+86-139")), std::nullopt);
        // A "+" number of 11 characters is no bare national number.
        QCOMPARE(fields::phoneSlotText(QStringLiteral("+1234567890")), QStringLiteral("+1234567890"));
        // Every number the write produces reads back as it was entered.
        for (const QString &entry : {QStringLiteral("15800000000"), QStringLiteral("8001234"), QStringLiteral("0"),
                                     QStringLiteral("861"), QStringLiteral("+8613800000000"), QStringLiteral("+1234567890")})
            QCOMPARE(fields::phoneEntryFromSlot(fields::phoneSlotText(entry)), std::optional(entry));
        // A 13-character entry with "86" in front is the stored form of an 11-digit number.
        QCOMPARE(fields::phoneEntryFromSlot(fields::phoneSlotText(QStringLiteral("8612345678901"))),
                 std::optional(QStringLiteral("12345678901")));
    }

    void flagsModeAndVersion()
    {
        QCOMPARE(fields::encodeOptionFlags(true, true), 3);
        QCOMPARE(fields::encodeOptionFlags(false, true), 2);
        QCOMPARE(fields::encodeOptionFlags(true, false), 1);
        QVERIFY(fields::decodeOptionFlags(3).hold && fields::decodeOptionFlags(3).phoneAlarm);
        QVERIFY(!fields::decodeOptionFlags(2).hold && fields::decodeOptionFlags(2).phoneAlarm);
        QVERIFY(!fields::decodeOptionFlags(0xFFFC).hold && !fields::decodeOptionFlags(0xFFFC).phoneAlarm);

        QCOMPARE(fields::encodeAlarmMode(0), 1);
        QCOMPARE(fields::encodeAlarmMode(1), 2);
        QCOMPARE(fields::encodeAlarmMode(2), 4);
        QCOMPARE(fields::encodeAlarmMode(-1), 4);
        QCOMPARE(fields::decodeAlarmMode(4), 2);
        QCOMPARE(fields::decodeAlarmMode(3), 1);
        QCOMPARE(fields::decodeAlarmMode(7), 2);
        QCOMPARE(fields::decodeAlarmMode(0), -1);
        QCOMPARE(fields::decodeAlarmMode(8), -1);

        QCOMPARE(fields::firmwareVersionText(0x0015), QStringLiteral("V1.5"));
        QCOMPARE(fields::firmwareVersionText(0x0018), QStringLiteral("V1.8"));
        QCOMPARE(fields::firmwareVersionText(0x001A), QStringLiteral("V1.10"));
        QCOMPARE(fields::firmwareVersionText(0), QStringLiteral("V0.0"));
    }

    void fullReadFetchesEveryBlockInOrder()
    {
        const std::vector<regmap::Block> blocks = regmap::fullReadBlocks();
        QCOMPARE(blocks.size(), size_t(44));
        QCOMPARE(blocks.front().start, 710);
        QCOMPARE(blocks[5].start, 810);
        QCOMPARE(blocks[9].start, 10);
        QCOMPARE(blocks[40].start, 630);
        QCOMPARE(blocks[41].start, 900);
        QCOMPARE(blocks[41].count, 8);
        QCOMPARE(blocks[42].start, 1030);
        QCOMPARE(blocks[43].start, 1050);
        QCOMPARE(regmap::relayTextSlot(1, regmap::RelayText::OffReply), 150);
        QCOMPARE(regmap::allCommandSlot(1), 510);
    }

    void factoryImageHoldsTheFactoryConfiguration()
    {
        const std::vector<quint16> image = factory::registerImage();
        QCOMPARE(image.size(), size_t(1100));
        QCOMPARE(image[6], quint16(0x0015));
        QCOMPARE(image[1050], quint16(4));
        auto text = [&](int slot) {
            return regtext::decodeTextBlock(QVector<quint16>(image.begin() + slot, image.begin() + slot + 10), 10);
        };
        QCOMPARE(text(10), QStringLiteral("739154*设备1开"));
        QCOMPARE(text(110), QStringLiteral("739154*设备2关"));
        QCOMPARE(text(130), QStringLiteral("设备2开启成功"));
        QCOMPARE(text(490), QStringLiteral("739154*全开"));
        QCOMPARE(text(870), QStringLiteral("通道2断开报警"));
        QCOMPARE(text(710), QStringLiteral("8615800000000"));
        QCOMPARE(text(790), QStringLiteral("a"));
    }
};

QTEST_GUILESS_MAIN(EncodingsTest)
#include "test_encodings.moc"
