// The RTU exchange on a scripted line, with no device and no timing: how
// replies are cut out of the byte stream, which frames are believed, how the
// line is brought back into step after a failure, and the confirmation of
// every block read after one.
#include "DeviceProfile.h"
#include "ModbusRtu.h"
#include "RegisterMap.h"
#include "ReplyFrame.h"
#include "RtuLink.h"
#include "SerialLine.h"

#include <QtTest>

#include <deque>
#include <utility>
#include <functional>

namespace {

// A line whose device is a script: each frame sent may make bytes arrive,
// and receive() hands them over at once.
class ScriptedLine : public SerialLine {
public:
    std::function<QByteArray(const QByteArray &sent)> device;
    QList<QByteArray> sent;
    QByteArray arriving;
    // As a network line: a stream, a round trip, and the connection made again.
    bool stream = false;
    std::chrono::microseconds rtt{0};
    quint64 drops = 0;

    bool open(const QString &, int, PortOpenFailure *) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString openedDevice() const override { return QStringLiteral("scripted"); }
    int discardInput() override
    {
        const int n = static_cast<int>(arriving.size());
        arriving.clear();
        return n;
    }
    bool send(const QByteArray &bytes, QString *) override
    {
        sent << bytes;
        if (device)
            arriving += device(bytes);
        return true;
    }
    QByteArray receive(int maxBytes, std::chrono::microseconds, QString *) override
    {
        const QByteArray out = arriving.left(maxBytes);
        arriving.remove(0, out.size());
        return out;
    }
    bool streamed() const override { return stream; }
    std::chrono::microseconds roundTrip() const override { return rtt; }
    quint64 reconnections() const override { return drops; }

private:
    bool m_open = false;
};

// A reply frame to a read of count registers, each holding value.
QByteArray readReply(int count, quint16 value)
{
    QByteArray body;
    body.append(char(1)).append(char(rtu::kReadHoldingRegisters)).append(char(2 * count));
    for (int i = 0; i < count; ++i)
        body.append(char(value >> 8)).append(char(value & 0xFF));
    return frame::withCrc(body);
}

int countOf(const QByteArray &request) { return (quint8(request[4]) << 8) | quint8(request[5]); }
int startOf(const QByteArray &request) { return (quint8(request[2]) << 8) | quint8(request[3]); }
const int kCheckStart = session::deviceProfile().checkShapes.front().start;
// A check read: in the first relay text slot, with a count the tool's own reads never use.
bool isCheck(const QByteArray &request)
{
    return startOf(request) == kCheckStart && countOf(request) != regmap::kTextReadCount;
}

// A device that answers the link's check reads correctly and every other
// request as the given function does.
std::function<QByteArray(const QByteArray &)> answeringChecks(std::function<QByteArray(const QByteArray &)> f)
{
    return [f](const QByteArray &req) {
        return isCheck(req) ? readReply(countOf(req), 0) : f(req);
    };
}

// The blocks as the link reads them, every one of them used.
std::vector<ModbusLink::ReadBlock> usedBlocks(const std::vector<regmap::Block> &blocks)
{
    std::vector<ModbusLink::ReadBlock> out;
    for (const regmap::Block &b : blocks)
        out.push_back({b.start, b.count, true});
    return out;
}

struct Bench {
    ScriptedLine *line = new ScriptedLine;
    RtuLink link{std::unique_ptr<SerialLine>(line)};
    QVector<QVector<quint16>> replies;

    Bench()
    {
        LinkSettings s;
        s.responseTimeoutMs = 30; // the script answers at once or never
        s.attempts = 3;
        link.setSettings(s);
        link.setProfile(session::deviceProfile());
        link.setTarget({QStringLiteral("COM1"), QStringLiteral("scripted"), PortOpenFailure::Cause::NoDevice, QString()});
        QObject::connect(&link, &ModbusLink::ReplyReceived,
                         [this](int, const QVector<quint16> &v, int) { replies << v; });
    }
};

} // namespace

class RtuExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void aReplyIsCutFromTheStreamAndChecked()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        // The device answers each read with its start address in every register.
        b.line->device = [](const QByteArray &req) { return readReply(countOf(req), startOf(req)); };
        QVERIFY(b.link.ReadRegisters(710, 10));
        QCOMPARE(b.replies.last(), QVector<quint16>(10, 710));

        // The same reply twice, back to back: the first copy proves nothing.
        b.line->device = answeringChecks([](const QByteArray &req) { return readReply(countOf(req), 1).repeated(2); });
        QVERIFY(!b.link.ReadRegisters(730, 10));
        QVERIFY2(b.link.lastError().contains("followed by 25 more bytes"), qPrintable(b.link.lastError()));

        // A reply for another count, a bad CRC, a frame cut short.
        b.line->device = answeringChecks([](const QByteArray &) { return readReply(9, 1); });
        QVERIFY(!b.link.ReadRegisters(750, 10));
        QVERIFY2(b.link.lastError().contains("18 bytes for 10 registers"), qPrintable(b.link.lastError()));
        b.line->device = answeringChecks([](const QByteArray &req) {
            QByteArray r = readReply(countOf(req), 1);
            r[4] = char(r[4] ^ 1);
            return r;
        });
        QVERIFY(!b.link.ReadRegisters(750, 10));
        QVERIFY2(b.link.lastError().contains("CRC"), qPrintable(b.link.lastError()));
        b.line->device = answeringChecks([](const QByteArray &req) { return readReply(countOf(req), 1).left(12); });
        QVERIFY(!b.link.ReadRegisters(750, 10));
        QVERIFY2(b.link.lastError().contains("cut short after 12 bytes"), qPrintable(b.link.lastError()));
        QCOMPARE(b.replies.size(), 1);
    }

    // After a failure nothing is sent before a check read, of a count no other
    // read uses, has been answered; a late reply before it is dropped.
    void aLateReplyIsDroppedBeforeTheLineIsBelieved()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        QByteArray late; // the reply to the read that timed out, on its way
        bool lateGone = false;
        b.line->device = [&](const QByteArray &req) -> QByteArray {
            if (startOf(req) == 710 && !lateGone && late.isEmpty()) {
                late = readReply(countOf(req), 0xBAD);
                return {}; // comes too late
            }
            QByteArray out = late + readReply(countOf(req), startOf(req)); // glued to the next answer
            if (!late.isEmpty())
                lateGone = true;
            late.clear();
            return out;
        };
        QVERIFY(!b.link.ReadRegisters(710, 10));
        QVERIFY(b.link.lastError().contains("no reply"));
        const qsizetype before = b.line->sent.size();
        QVERIFY(b.link.ReadRegisters(730, 10));
        // First the check read, then the request itself.
        QCOMPARE(b.line->sent.size(), before + 2);
        const QByteArray check = b.line->sent[before];
        QVERIFY(isCheck(check));
        QVERIFY(countOf(check) >= 2 && countOf(check) < regmap::kTextReadCount);
        QCOMPARE(b.replies.last(), QVector<quint16>(10, 730)); // not 0xBAD
    }

    void aLineThatNeverAnswersTheCheckReadSendsNothingElse()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        b.line->device = [](const QByteArray &) { return QByteArray(); };
        QVERIFY(!b.link.ReadRegisters(0, 7));
        const qsizetype before = b.line->sent.size();
        QVERIFY(!b.link.ReadRegisters(0, 7));
        // Two check reads only: one of the first slot, and one of the full
        // read's own shapes that tells a silent device from a fussy one.
        QCOMPARE(b.line->sent.size(), before + 2);
        QVERIFY(isCheck(b.line->sent[before]));
        QCOMPARE(startOf(b.line->sent[before + 1]), regmap::kActionTimes.start);
        QVERIFY2(b.link.lastError().contains("not quiet"), qPrintable(b.link.lastError()));
        // Once the device answers again, so does the line.
        b.line->device = [](const QByteArray &req) { return readReply(countOf(req), 5); };
        QVERIFY(b.link.ReadRegisters(0, 7));
    }

    // A write's echo names only its address and count: a late echo of one
    // write must never confirm the next write of the same block.
    void aLateWriteEchoConfirmsNothing()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        QByteArray lateEcho;
        bool firstWrite = true;
        b.line->device = [&](const QByteArray &req) -> QByteArray {
            // The late echo reaches the line in front of whatever answers the next request.
            QByteArray out = std::exchange(lateEcho, QByteArray());
            if (quint8(req[1]) == rtu::kReadHoldingRegisters)
                return out + readReply(countOf(req), 0);
            if (std::exchange(firstWrite, false))
                lateEcho = frame::withCrc(req.left(6)); // stored, answered too late
            return out;                                 // the second write is lost on the line
        };
        QVERIFY(!b.link.WriteRegisters(10, {0x3132, 0x3300}, 2, ModbusLink::Retry::Once));
        QVERIFY(!b.link.WriteRegisters(10, {0x4142, 0x4300}, 2, ModbusLink::Retry::Once));
        QVERIFY2(b.link.lastError().contains("no reply"), qPrintable(b.link.lastError()));
        QCOMPARE(b.line->sent.size(), 3); // the first write, the check read, the second write
    }

    // An exception is an answer to this very request: the line stays in step.
    void anExceptionNeedsNoCheckRead()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        b.line->device = [](const QByteArray &req) {
            if (quint8(req[1]) == rtu::kWriteSingleRegister) {
                QByteArray body;
                body.append(char(1)).append(char(rtu::kWriteSingleRegister | rtu::kExceptionFlag)).append(char(2));
                return frame::withCrc(body);
            }
            return readReply(countOf(req), 3);
        };
        QVERIFY(!b.link.WriteRegister(1030, 1));
        QVERIFY(b.link.lastError().contains("exception 02"));
        const qsizetype before = b.line->sent.size();
        QVERIFY(b.link.ReadRegisters(1030, 1));
        QCOMPARE(b.line->sent.size(), before + 1);
    }

    // Blocks read after a failure are read again; one that reads back
    // otherwise is read until two reads agree, or the read fails.
    void blocksAfterAFailureAreConfirmed_data()
    {
        QTest::addColumn<QList<int>>("answers"); // what the device gives 770 on each read after its failure
        QTest::addColumn<bool>("exact");
        QTest::newRow("agrees at once") << QList<int>{7, 7} << true;
        QTest::newRow("a shifted first read, then agreement") << QList<int>{9, 7, 7} << true;
        QTest::newRow("never twice the same") << QList<int>{9, 7, 8, 6, 5} << false;
    }

    void blocksAfterAFailureAreConfirmed()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, exact);
        Bench b;
        QVERIFY(b.link.OpenPort());
        bool failed = false;
        QList<int> reads;
        b.line->device = [&](const QByteArray &req) -> QByteArray {
            const int start = startOf(req);
            if (isCheck(req))
                return readReply(countOf(req), 0);
            reads << start;
            if (start == 750 && !failed) {
                failed = true;
                return {};
            }
            if (start == 770 && !answers.isEmpty())
                return readReply(countOf(req), quint16(answers.takeFirst()));
            return readReply(countOf(req), quint16(start));
        };
        const std::vector<regmap::Block> blocks{{710, 10}, {730, 10}, {750, 10}, {770, 10}, {790, 10}};
        const auto got = b.link.ReadBlocks(usedBlocks(blocks));
        QCOMPARE(got.has_value(), exact);
        // A failure taints the whole read: every block is read again, last
        // to first, those before the failure too, until one never reads back
        // the same.
        QCOMPARE(reads.count(710), exact ? 2 : 1);
        QCOMPARE(reads.count(730), exact ? 2 : 1);
        QCOMPARE(reads.count(750), exact ? 3 : 2);
        QCOMPARE(reads.count(790), 2);
        if (exact) {
            QCOMPARE(got->size(), blocks.size());
            QCOMPARE((*got)[3].values, QVector<quint16>(10, 7));
            QCOMPARE((*got)[4].values, QVector<quint16>(10, 790));
        } else {
            QVERIFY2(b.link.lastError().contains("never came back the same twice"), qPrintable(b.link.lastError()));
        }
        QVERIFY(b.replies.isEmpty()); // ReadBlocks hands its blocks back; it emits nothing
    }

    // A late reply that comes after the line was synced shifts every reply
    // after it by one, each answer arriving during the next request's wait.
    // The confirmation must not be fooled by the same shift.
    void aShiftedRunOfEqualReadsIsCaught()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        QByteArray late, owed;
        bool shifting = false;
        b.line->device = [&](const QByteArray &req) -> QByteArray {
            const QByteArray reply = readReply(countOf(req), quint16(startOf(req)));
            if (isCheck(req)) // in order: what is owed comes before it
                return std::exchange(owed, QByteArray()) + reply;
            if (startOf(req) == 710 && late.isEmpty() && !shifting) {
                late = reply; // held back past the time-out
                return {};
            }
            if (!late.isEmpty()) { // the late one arrives now; this request's answer comes next time
                shifting = true;
                owed = reply;
                return std::exchange(late, QByteArray());
            }
            if (!owed.isEmpty()) {
                const QByteArray out = std::exchange(owed, reply);
                return out;
            }
            return reply;
        };
        const std::vector<regmap::Block> blocks{{710, 10}, {730, 10}, {750, 10}, {770, 10}};
        const auto got = b.link.ReadBlocks(usedBlocks(blocks));
        QVERIFY2(got, qPrintable(b.link.lastError()));
        for (size_t i = 0; i < blocks.size(); ++i)
            QCOMPARE((*got)[i].values, QVector<quint16>(10, quint16(blocks[i].start)));
    }

    // A noisy line garbles replies now and then, check reads and confirming
    // reads among them: a garbled answer proves nothing either way, and the
    // read still comes through whole.
    void aLineThatGarblesEveryThirdReplyStillReads_data()
    {
        QTest::addColumn<int>("every");
        QTest::newRow("every third") << 3;
        QTest::newRow("every fourth") << 4;
        QTest::newRow("every fifth") << 5;
    }

    void aLineThatGarblesEveryThirdReplyStillReads()
    {
        QFETCH(int, every);
        Bench b;
        QVERIFY(b.link.OpenPort());
        int replies = 0;
        b.line->device = [&](const QByteArray &req) {
            QByteArray r = readReply(countOf(req), quint16(startOf(req)));
            if (++replies % every == 0)
                r[r.size() - 1] = char(r.back() ^ 0x5A);
            return r;
        };
        const std::vector<regmap::Block> blocks = regmap::fullReadBlocks();
        const auto got = b.link.ReadBlocks(usedBlocks(blocks));
        QVERIFY2(got, qPrintable(b.link.lastError()));
        for (size_t i = 0; i < blocks.size(); ++i)
            QCOMPARE((*got)[i].values.value(0), quint16(blocks[i].start));
    }

    // A network line: each reply waits the round trip longer, and a
    // connection made again is a departure, so that the next exchange first
    // brings the line into step and the read is confirmed.
    void aConnectionMadeAgainTaintsTheReadItHappensIn()
    {
        Bench b;
        b.line->stream = true;
        b.line->rtt = std::chrono::milliseconds(40);
        QVERIFY(b.link.OpenPort());
        b.line->device = [](const QByteArray &) { return QByteArray(); };
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!b.link.ReadRegisters(0, 7));
        QVERIFY2(b.link.lastError() == "no reply within 70 ms", qPrintable(b.link.lastError()));
        QVERIFY(waited.elapsed() >= 70);

        b.line->device = answeringChecks([](const QByteArray &req) { return readReply(countOf(req), startOf(req)); });
        const std::vector<regmap::Block> blocks{{710, 10}, {730, 10}};
        QVERIFY(b.link.ReadBlocks(usedBlocks(blocks))); // in step again after the silence
        qsizetype before = b.line->sent.size();
        QVERIFY(b.link.ReadBlocks(usedBlocks(blocks)));
        QCOMPARE(b.line->sent.size(), before + 3); // clean: each block, then the fence
        // The connection drops between two reads and is made again.
        b.line->device = answeringChecks([&](const QByteArray &req) {
            if (startOf(req) == 710 && b.line->drops == 0)
                ++b.line->drops;
            return readReply(countOf(req), startOf(req));
        });
        before = b.line->sent.size();
        const std::optional<std::vector<ModbusLink::BlockValues>> read = b.link.ReadBlocks(usedBlocks(blocks));
        QVERIFY(read);
        QCOMPARE(read->at(1).values, QVector<quint16>(10, 730));
        const QList<QByteArray> sent = b.line->sent.mid(before);
        QCOMPARE(startOf(sent[0]), 710);
        QVERIFY2(isCheck(sent[1]), "the read after the drop waits for a check read");
        QCOMPARE(startOf(sent[2]), 730);
        // Confirmed: both blocks read again, each behind a fence.
        for (const int start : {710, 730})
            QCOMPARE(std::count_if(sent.begin(), sent.end(), [&](const QByteArray &r) { return startOf(r) == start; }), 2);
        QCOMPARE(sent.size(), 8);
    }

    void aCleanLineReadsEachBlockOnce()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        b.line->device = [](const QByteArray &req) { return readReply(countOf(req), quint16(startOf(req))); };
        const auto got = b.link.ReadBlocks(usedBlocks(regmap::fullReadBlocks()));
        QVERIFY(got);
        // Each block once, then the fence: one check read.
        QCOMPARE(b.line->sent.size(), qsizetype(regmap::fullReadBlocks().size()) + 1);
        QVERIFY(isCheck(b.line->sent.last()));
    }

    // A device that answers nothing but the full read's own shapes refuses
    // the check reads, with an exception or by silence: the link gives each
    // shape up, says so, and ends on one the device answers, so that one
    // lost reply is still recovered exactly.
    void aRefusedCheckShapeGivesWayToAnother_data()
    {
        QTest::addColumn<bool>("silently");
        QTest::newRow("exception 03") << false;
        QTest::newRow("no answer") << true;
    }

    void aRefusedCheckShapeGivesWayToAnother()
    {
        QFETCH(bool, silently);
        Bench b;
        QVERIFY(b.link.OpenPort());
        bool lost = false;
        QList<int> checkCounts;
        b.line->device = [&](const QByteArray &req) -> QByteArray {
            const int count = countOf(req);
            if (isCheck(req) || (startOf(req) == regmap::kActionTimes.start && count == regmap::kActionTimes.count && lost))
                checkCounts << count;
            if (count != 1 && count != 7 && count != 8 && count != 10) {
                QByteArray body;
                body.append(char(1)).append(char(rtu::kReadHoldingRegisters | rtu::kExceptionFlag)).append(char(3));
                return silently ? QByteArray() : frame::withCrc(body);
            }
            if (startOf(req) == 730 && !std::exchange(lost, true))
                return {};
            return readReply(count, quint16(startOf(req)));
        };
        const std::vector<regmap::Block> blocks{{710, 10}, {730, 10}, {750, 10}};
        const auto got = b.link.ReadBlocks(usedBlocks(blocks));
        QVERIFY2(got, qPrintable(b.link.lastError()));
        for (size_t i = 0; i < blocks.size(); ++i)
            QCOMPARE((*got)[i].values, QVector<quint16>(10, quint16(blocks[i].start)));
        // Each shape of the first slot refused once and given up; the checks
        // end on the action times, which the device answers.
        for (int count : {2, 3, 4, 5, 6, 9})
            QVERIFY2(checkCounts.count(count) <= 1, qPrintable(QString::number(count)));
        QCOMPARE(checkCounts.last(), regmap::kActionTimes.count);
    }

    // An adapter that hears itself sends each request back before the reply:
    // that exact echo is skipped; bytes that differ from it by one are not an
    // echo, and the read fails rather than take them.
    void anEchoIsSkippedOnlyWhenExact()
    {
        Bench b;
        QVERIFY(b.link.OpenPort());
        bool garble = false;
        b.line->device = [&](const QByteArray &req) {
            QByteArray echo = req;
            if (garble && !isCheck(req))
                echo[3] = char(echo[3] ^ 1);
            const bool read = quint8(req[1]) == rtu::kReadHoldingRegisters;
            return echo + (read ? readReply(countOf(req), quint16(startOf(req))) : req);
        };
        const auto got = b.link.ReadBlocks(usedBlocks({{710, 10}, {730, 10}}));
        QVERIFY2(got, qPrintable(b.link.lastError()));
        QCOMPARE(got->back().values, QVector<quint16>(10, 730));
        QVERIFY(b.link.WriteRegister(1030, 3)); // the echo, then the reply: the same bytes twice
        QVERIFY(b.link.ReadRegisters(0, 7));
        QCOMPARE(b.replies.last(), QVector<quint16>(7, 0));
        garble = true;
        QVERIFY(!b.link.ReadRegisters(0, 7, ModbusLink::Retry::Once));
        QVERIFY2(b.link.lastError().contains("not the echo"), qPrintable(b.link.lastError()));
    }
};

QTEST_GUILESS_MAIN(RtuExchangeTest)
#include "test_rtu_exchange.moc"
