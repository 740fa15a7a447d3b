#pragma once
// The link's defence against replies that cannot be trusted.
//
// A Modbus RTU read reply names no address: the reply to one 10-register read
// looks exactly like the reply to the next. A reply that comes twice (a device
// or a converter repeating it), late (after its time-out), never, garbled, or
// from nowhere would make every block read after it the block before. So the
// defence holds every read of several blocks, and every run of writes, to one
// reply for each request and nothing else on the line. Its words, one for
// each idea:
//
// - A departure: anything on the line but one reply to each request: bytes
//   waiting before a request or following a reply, a time-out, a garbled or
//   unfitting frame, an adapter that begins or stops echoing. Each is counted
//   once. One departure anywhere in an operation departs the whole of it, not
//   only what follows: every block it read is confirmed, every register it
//   wrote read back.
// - Out of step: after a failed exchange the line may still hold replies on
//   their way. Nothing more is sent until it is in step again: drained until
//   quiet for a while, then a check read whose answer comes first, the frames
//   before it dropped (SYNC and DROP in the trace).
// - A check read: a read the device is known to answer, of a count the
//   operation's own reads do not use (the profile's shapes, in turn), so that
//   no other reply can pass for its answer; what it found must not change
//   between checks. A shape the device refuses is given up; so is one it
//   leaves unanswered while it answers the last shape, one of the full
//   read's own, right after.
// - The fence: a check read at the end of an operation, with nothing drained
//   before it, so that a frame still on its way behind the last reply comes
//   first and is seen. On a clean line it is the only extra exchange.
// - Unproven: a reply that is byte for byte one already taken for another
//   request (within the operation, or shortly before it), which may be a
//   copy of that one, taken in place of a reply that never came; or a single
//   write answered by nothing but its own bytes on a line not known to echo,
//   which may be an adapter's echo of a request the device never heard.
//   Neither departs from one reply per request, so nothing else would see it.
//   An unproven block that is used is read again after the fence and must
//   read the same; a run of unused ones is followed by a fence before the
//   next used block, so that a shift that began there cannot reach it. An
//   unproven single write is read back.
// - Confirming: after a departure, every block of the read is read again,
//   last to first, on a line in step, until two reads agree with a fence
//   answered right behind the second (CONFIRM); a read that never agrees
//   fails, honestly.
//
// A copy can only stand in for a reply that never came; so with one copy on
// the line the block it stood in for is read again while every other
// exchange is answered truly, and a copy answering the read again stands
// in for a reply the first read had right.

#include "ModbusLink.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <deque>
#include <map>
#include <set>
#include <utility>

class Defence {
public:
    explicit Defence(ModbusLink &link);

    // After a failure the line is drained until it has been quiet this long,
    // or for the response time-out when that is shorter (at most
    // kDrainLimitMs), before anything else is sent.
    static constexpr int kQuietMs = 200;
    static constexpr int kDrainLimitMs = 1000;
    // How often a check is sent again when its answer comes garbled or not
    // at all, before the line counts as out of step.
    static constexpr int kCheckAttempts = 3;
    // Frames dropped before a check's answer before the line counts as noisy.
    static constexpr int kMostFramesBeforeAnswer = 4;
    // How long a reply taken outside an operation is remembered: a copy of
    // it may still come during the next one.
    static constexpr int kRememberRepliesMs = 2000;

    // A new connection: nothing is known of the line or of the device.
    void reset();

    // Something besides the defence used the line (the line doctor): as after
    // a failed exchange, nothing more is sent until it is in step again.
    void outOfStep() { m_outOfStep = true; }

    // One request, tried up to attempts times, the line brought in step first.
    LineAnswer exchange(const LinkRequest &request, int attempts);

    // The blocks read exactly, or nothing: see the header's account.
    std::optional<std::vector<ModbusLink::BlockValues>> read(const std::vector<ModbusLink::ReadBlock> &blocks,
                                                             const std::function<void(int, int)> &progress);

    // The writes in order, each confirmed before the next; read back when
    // the run departed, or where a single write is unproven.
    ModbusLink::WriteResult write(const std::vector<ModbusLink::BlockWrite> &writes,
                                  const std::function<bool(int)> &next);

    // Reads back what the writes named by `which` put into the device; the
    // registers that differ, or nothing when the read failed.
    std::optional<std::vector<ModbusLink::RegisterMismatch>> readBack(const std::vector<ModbusLink::BlockWrite> &writes,
                                                                      const std::vector<size_t> &which,
                                                                      const std::function<void(int, int)> &progress);

    quint64 departures() const { return m_departures; }

private:
    enum class Check {
        AnsweredFirst, // its answer was the first frame to come
        OtherFirst,    // a whole, well-formed frame came before it: another request's reply
        NoAnswer,      // nothing, or only garbled bytes: no evidence either way
        Refused,       // the device refused this shape: another one is tried
    };

    LineAnswer once(const LinkRequest &request);
    void depart(const QString &what);
    // Counts what the transport saw besides the answer, once each.
    void weigh(const LineAnswer &answer);
    bool inStep();
    bool bringInStep();
    bool fence();
    Check checkRead(bool dropOthers, std::optional<RegisterBlock> forced);
    Check checkUntilAnswered(bool dropOthers);
    std::optional<RegisterBlock> nextCheckShape();
    std::optional<RegisterBlock> peekCheckShape(int *round) const;
    void giveUpShape(const RegisterBlock &shape, const QString &why);
    bool fitsKnownContent(const RegisterBlock &shape, const QVector<quint16> &values) const;
    bool confirmBlock(ModbusLink::BlockValues &block, int count);
    // Every block again, last to first; false when one never agrees.
    bool confirmAll(std::vector<ModbusLink::BlockValues> &read, const std::vector<ModbusLink::ReadBlock> &blocks);
    // Whether frame was taken before for another request: then it may be a copy.
    bool takenBefore(const QByteArray &frame, const LinkRequest &request) const;
    void remember(const QByteArray &frame, const LinkRequest &request);
    void forgetOldReplies();
    bool writtenAsRead(const std::vector<ModbusLink::BlockWrite> &writes, const std::vector<size_t> &which, int *written);
    void fail(LinkFailure failure, const QString &error, int refusalCode = 0);

    ModbusLink &m_link;
    bool m_outOfStep = false;
    quint64 m_departures = 0;
    std::set<int> m_readCounts; // the counts of reads on this connection
    std::set<std::pair<int, int>> m_refusedShapes;
    std::map<int, quint16> m_checkKnown; // registers as accepted check answers gave them
    RegisterBlock m_lastShape;
    int m_checkRound = 0;
    // Replies taken, with the request each was taken for and when.
    struct Taken {
        QByteArray frame;
        LinkRequest request;
        qint64 atMs;
    };
    std::deque<Taken> m_taken;
    QElapsedTimer m_clock;
    int m_operations = 0; // nesting of the operations running: none, replies are forgotten as they age
};
