// The checks a reply must pass before the link believes it.
#include "ReplyFrame.h"

#include <QtTest>

using namespace frame;

class ReplyFrameTest : public QObject {
    Q_OBJECT
private slots:
    void requestsAreStandardFrames()
    {
        QCOMPARE(withCrc(readRequest(1, 0, 10)), QByteArray::fromHex("01030000000AC5CD"));
        QCOMPARE(writeSingleRequest(1, 5, 2), QByteArray::fromHex("010600050002"));
        QCOMPARE(writeBlockRequest(1, 900, {7, 0xFFFF}), QByteArray::fromHex("0110038400020400 07FFFF"));
    }

    void aRightReadReplyGivesItsValues()
    {
        QVector<quint16> values;
        QCOMPARE(checkReply(readRequest(1, 4, 2), withCrc(QByteArray::fromHex("0103040001ABCD")), &values), QString());
        QCOMPARE(values, QVector<quint16>({0x0001, 0xABCD}));
    }

    void wrongRepliesAreRejected_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("error");
        const QByteArray read = readRequest(1, 0, 2);
        QByteArray badCrc = withCrc(QByteArray::fromHex("01030400010002"));
        badCrc[badCrc.size() - 1] = static_cast<char>(badCrc.back() ^ 0x01);
        QTest::newRow("bad crc") << read << badCrc << "CRC error";
        QTest::newRow("other slave") << read << withCrc(QByteArray::fromHex("02030400010002")) << "reply from slave 2";
        QTest::newRow("exception") << read << withCrc(QByteArray::fromHex("018302")) << "Modbus exception 02 (illegal data address)";
        QTest::newRow("too few registers") << read << withCrc(QByteArray::fromHex("0103020001")) << "reply carries 2 bytes for 2 registers";
        QTest::newRow("other function") << read << withCrc(QByteArray::fromHex("010400050002")) << "reply to function 4 for a request of function 3";
        QTest::newRow("short") << read << QByteArray::fromHex("0103") << "reply too short (2 bytes)";
        QTest::newRow("write echo differs") << writeSingleRequest(1, 5, 2) << withCrc(QByteArray::fromHex("010600050003"))
                                            << "write reply does not echo the request";
        QTest::newRow("block echo differs") << writeBlockRequest(1, 10, {1, 2}) << withCrc(QByteArray::fromHex("0110000A0001"))
                                            << "write reply does not echo address and count";
    }

    void wrongRepliesAreRejected()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, error);
        QVector<quint16> values;
        QCOMPARE(checkReply(request, reply, &values), error);
        QVERIFY(values.isEmpty());
    }

    void writeEchoesAreAccepted()
    {
        QCOMPARE(checkReply(writeSingleRequest(1, 5, 2), withCrc(writeSingleRequest(1, 5, 2)), nullptr), QString());
        QCOMPARE(checkReply(writeBlockRequest(1, 10, {1, 2}), withCrc(QByteArray::fromHex("0110000A0002")), nullptr), QString());
    }
};

QTEST_GUILESS_MAIN(ReplyFrameTest)
#include "test_reply_frame.moc"
