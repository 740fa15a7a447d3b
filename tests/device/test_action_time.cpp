// Typed action times and the register value they become.
#include "ActionTime.h"

#include <QtTest>

class ActionTimeTest : public QObject {
    Q_OBJECT
private slots:
    void registerValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 99999 = refused
        QTest::newRow("integer") << "15" << 15;
        QTest::newRow("half down to even") << "2.5" << 2;
        QTest::newRow("half up to even") << "3.5" << 4;
        QTest::newRow("negative half") << "-2.5" << -2;
        QTest::newRow("above half") << "2.51" << 3;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("leading blank") << " 7" << 7;
        QTest::newRow("blanks inside") << "1 2\t3\n4" << 1234;
        QTest::newRow("letter first") << "x" << 0;
        QTest::newRow("stops at letter") << "12abc" << 12;
        QTest::newRow("comma stops") << "1,5" << 1;
        QTest::newRow("plus sign") << "+ 9" << 9;
        QTest::newRow("lone sign") << "-" << 0;
        QTest::newRow("fraction only") << ".6" << 1;
        QTest::newRow("exponent") << "1e3" << 1000;
        QTest::newRow("D exponent") << "1D2" << 100;
        QTest::newRow("negative exponent") << "25e-1" << 2;
        QTest::newRow("exponent without digits") << "3e" << 3;
        QTest::newRow("hex") << "&H10" << 16;
        QTest::newRow("hex lower case") << "&hff" << 255;
        QTest::newRow("hex 16 bit") << "&HFFFF" << -1;
        QTest::newRow("hex stops") << "&H1G" << 1;
        QTest::newRow("octal") << "&O17" << 15;
        QTest::newRow("ampersand alone") << "&" << 0;
        QTest::newRow("ampersand other") << "&X1" << 0;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("smallest") << "-32768" << -32768;
        QTest::newRow("rounds into range") << "-32768.5" << -32768;
        QTest::newRow("rounds out of range") << "32767.5" << 99999;
        QTest::newRow("too large") << "40000" << 99999;
        QTest::newRow("too small") << "-32769" << 99999;
        QTest::newRow("hex 32 bit") << "&H10000" << 99999;
        QTest::newRow("huge exponent") << "1e400" << 99999;
        QTest::newRow("tiny exponent") << "1e-400" << 0;
        // A Chinese input method types full-width forms; they mean the same.
        QTest::newRow("full-width digits") << "１２" << 12;
        QTest::newRow("full-width sign") << "－５" << -5;
        QTest::newRow("full-width point") << "２．５" << 2;
        QTest::newRow("full-width plus, ASCII exponent") << "＋１e2" << 100;
        QTest::newRow("ideographic space is no blank") << "\u30007" << 0;
    }

    void registerValue()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<qint16> value = actiontime::registerValue(text);
        if (expected == 99999)
            QVERIFY2(!value, qPrintable(QString::number(value.value_or(0))));
        else
            QCOMPARE(value, std::optional<qint16>(static_cast<qint16>(expected)));
    }
};

QTEST_GUILESS_MAIN(ActionTimeTest)
#include "test_action_time.moc"
