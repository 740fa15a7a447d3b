#pragma once
// The link on a real serial line: a Modbus RTU master on the platform's
// SerialLine. Framing, the checks a reply must pass, the frame gap, the
// echo of an adapter that hears itself, the check reads that prove the line
// in step and the trace live here, the same on every platform.

#include "ModbusLink.h"

#include <QElapsedTimer>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

class SerialLine;

class RtuLink : public ModbusLink {
    Q_OBJECT
public:
    // After a failure the line is drained until it has been quiet this long,
    // or for the response time-out when that is shorter (at most
    // kDrainLimitMs), before anything else is sent.
    static constexpr int kQuietMs = 200;
    static constexpr int kDrainLimitMs = 1000;
    // The bytes of one reply follow each other closely: a pause this long
    // (or of kByteTimeoutCharacters at slow rates) ends it.
    static constexpr int kByteTimeoutMs = 100;
    static constexpr int kByteTimeoutCharacters = 5;
    // How often a check is sent again when its answer comes garbled or not
    // at all, before the line counts as out of step.
    static constexpr int kCheckAttempts = 3;

    // A check read: what it asks. The shapes are tried in order, a refused
    // one never again on the same connection.
    struct CheckShape {
        int start;
        int count;
        bool operator<(const CheckShape &o) const { return std::make_pair(start, count) < std::make_pair(o.start, o.count); }
    };
    // Inside the first relay text slot, which every full read fetches, with
    // the counts the tool's own reads never use (they read 1, 7, 8 or 10), so
    // that a late reply can never pass for a check's answer; then, for a
    // device that answers nothing but the full read's own shapes, the
    // action-time block, told apart by what it holds.
    static std::vector<CheckShape> checkShapes();

    explicit RtuLink(QObject *parent = nullptr);
    // On a given line: for tests that stand in for the platform's.
    explicit RtuLink(std::unique_ptr<SerialLine> line, QObject *parent = nullptr);
    ~RtuLink() override;

    bool OpenPort() override;
    void ClosePort() override;
    bool isOpen() const override;
    QString peerAddress() const override;

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;
    void note(const char *kind, const QString &text) override;
    // A connection the line made again is one more: what was on its way is lost.
    quint64 departures() const override;
    void distrustLine() override { m_unsynced = true; }
    bool fence() override;

private:
    enum class Received { Frame, Nothing, Cut, Failed, NotTheEcho };

    bool refuseOpen(const PortOpenFailure &failure);
    bool transact(const QByteArray &request, QVector<quint16> *values);
    // A failed exchange: the line may now hold replies on their way.
    bool fail(LinkFailure failure, const QString &error);
    void depart(const QString &what);
    // Brings the line back to a state where the next reply answers the next
    // request: drained, then a check answered first. False while it is not.
    bool synchronize();
    enum class Check {
        AnsweredFirst, // its answer was the first frame to come
        OtherFirst,    // a whole, well-formed frame came before it: another request's reply
        NoAnswer,      // nothing, or only garbled bytes: no evidence either way
        Refused,       // the device refused this shape: another one is tried
    };
    // Sends a check read, of the next shape or the one forced; with
    // dropOthers, frames before its answer are dropped.
    Check checkRead(bool dropOthers, std::optional<CheckShape> forced);
    // Sends checks until one proves something, a refused or silent shape
    // giving way to the next.
    Check checkUntilAnswered(bool dropOthers);
    std::optional<CheckShape> nextCheckShape();
    std::optional<CheckShape> peekCheckShape(int *round) const;
    void giveUpShape(const CheckShape &shape, const QString &why);
    bool fitsKnownContent(const CheckShape &shape, const QVector<quint16> &values) const;
    int drainLine();
    // The answer to frame just sent: its echo first where the adapter
    // sends one back, then one reply frame, its first byte within timeout.
    Received receiveAnswer(const QByteArray &sent, QByteArray *reply, std::chrono::microseconds timeout);
    // One reply frame, its first byte within timeout; bytes that came after
    // it in the same read stay in m_pending.
    Received receiveFrame(QByteArray *frame, std::chrono::microseconds timeout);
    // Up to n bytes, the first within timeout and each further one within the
    // byte time-out; stops early once they are no longer the start of
    // prefixOf, when given. Bytes past n stay in m_pending.
    QByteArray collect(int n, std::chrono::microseconds timeout, const QByteArray *prefixOf);
    // Bytes from the line within timeout, in slices short enough to notice an
    // interrupt; empty on silence, on a line error (m_lineError) or when interrupted.
    QByteArray waitForBytes(std::chrono::microseconds timeout);
    // Bytes that arrive within the frame gap after a reply.
    int bytesWithinFrameGap();
    std::chrono::microseconds byteTimeout() const;
    // The response time-out, and the line's round trip on top of it.
    std::chrono::milliseconds replyTimeout() const;
    void trace(const char *kind, const QString &text) const;

    std::unique_ptr<SerialLine> m_line;
    int m_baud = LinkSettings::kDefaultBaud;
    bool m_unsynced = false; // a failure happened since the line was last known quiet
    quint64 m_departures = 0;
    // Whether the adapter sends each request back before the reply: learned
    // from a read, whose reply can never equal its request.
    enum class Echo { Unknown, Absent, Present } m_echo = Echo::Unknown;
    bool m_bytesCame = false; // anything at all came during the current exchange
    std::set<int> m_readCounts; // the counts of the tool's own reads on this connection
    std::set<CheckShape> m_refusedShapes;
    std::map<int, quint16> m_checkKnown; // registers as accepted check answers gave them
    CheckShape m_lastShape{0, 0};
    int m_checkRound = 0;
    QByteArray m_pending;
    QString m_lineError;
    QElapsedTimer m_requestTimer;
    quint64 m_reconnectionsSeen = 0; // of the line, when the link last looked
};
