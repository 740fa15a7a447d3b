#pragma once
// The link on a real serial line: a Modbus RTU master on the platform's
// SerialLine. Framing, the checks a reply must pass, the frame gap, the
// resynchronisation after a failure and the trace live here, the same on
// every platform.

#include "ModbusLink.h"

#include <QElapsedTimer>

#include <chrono>
#include <memory>

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
    // The check read that proves a line quiet after a failure: registers of
    // the first text slot, with a count no other read of the tool uses, so
    // that its reply cannot be mistaken for a late one to an earlier request.
    static constexpr int kSyncStart = 10;
    static constexpr int kSyncFirstCount = 11;
    static constexpr int kSyncLastCount = 20;
    // How often the check behind a confirming read is sent when its answer
    // comes garbled or not at all.
    static constexpr int kFollowChecks = 3;

    explicit RtuLink(QObject *parent = nullptr);
    // On a given line: for tests that stand in for the platform's.
    explicit RtuLink(std::unique_ptr<SerialLine> line, QObject *parent = nullptr);
    ~RtuLink() override;

    bool OpenPort() override;
    void ClosePort() override;
    bool isOpen() const override;

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;
    void note(const char *kind, const QString &text) override;
    void distrustLine() override { m_unsynced = true; }
    bool nothingFollowed() override;

private:
    enum class Received { Frame, Nothing, Cut, Failed };

    bool refuseOpen(const PortOpenFailure &failure);
    bool transact(const QByteArray &request, QVector<quint16> *values);
    bool fail(const QString &error);
    // Brings the line back to a state where the next reply answers the next
    // request: drained, then a check read answered. False while it is not.
    bool synchronize();
    enum class Check {
        AnsweredFirst, // its answer was the first frame to come
        OtherFirst,    // a whole, well-formed frame came before it: another request's reply
        NoAnswer,      // nothing, or only garbled bytes: no evidence either way
    };
    // Sends a check read; with dropOthers, frames before its answer are dropped.
    Check checkRead(bool dropOthers);
    int drainLine();
    // One reply frame, its first byte within timeout; bytes that came after
    // it in the same read stay in m_pending.
    Received receiveFrame(QByteArray *frame, std::chrono::microseconds timeout);
    // Bytes from the line within timeout, in slices short enough to notice an
    // interrupt; empty on silence, on a line error (m_lineError) or when interrupted.
    QByteArray waitForBytes(std::chrono::microseconds timeout);
    // Bytes that arrive within the frame gap after a reply.
    int bytesWithinFrameGap();
    std::chrono::microseconds byteTimeout() const;
    void trace(const char *kind, const QString &text) const;

    std::unique_ptr<SerialLine> m_line;
    int m_baud = LinkSettings::kDefaultBaud;
    bool m_unsynced = false; // a failure happened since the line was last known quiet
    int m_syncReads = 0;
    QByteArray m_pending;
    QString m_lineError;
    QElapsedTimer m_requestTimer;
};
