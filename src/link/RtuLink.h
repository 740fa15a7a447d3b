#pragma once
// The link on a real serial line: a Modbus RTU master on the platform's
// SerialLine. Framing, the checks a reply must pass, the frame gap, the echo
// of an adapter that hears itself and the trace live here, the same on every
// platform. It reports what the line showed; the defence decides. For the
// line doctor it also listens, sends a read as it is and sets the line's
// format (LineDoctor.cpp).

#include "ModbusLink.h"

#include <QElapsedTimer>

#include <chrono>
#include <memory>

class SerialLine;

class RtuLink : public ModbusLink {
    Q_OBJECT
public:
    // The bytes of one reply follow each other closely: a pause this long
    // (or of kByteTimeoutCharacters at slow rates) ends it.
    static constexpr int kByteTimeoutMs = 100;
    static constexpr int kByteTimeoutCharacters = 5;

    explicit RtuLink(QObject *parent = nullptr);
    // On a given line: for tests that stand in for the platform's.
    explicit RtuLink(std::unique_ptr<SerialLine> line, QObject *parent = nullptr);
    ~RtuLink() override;

    void ClosePort() override;
    bool isOpen() const override;
    QString peerAddress() const override;

protected:
    bool openDevice() override;
    LineAnswer transact(const LinkRequest &request, Waiting waiting) override;
    LineAnswer receiveAgain(const LinkRequest &request) override;
    int drainLine() override;
    bool watchesLine() const override { return true; }
    void trace(const char *kind, const QString &text) override;
    std::vector<HeardBytes> listenLine(int ms) override;
    RawExchange probeLine(const QByteArray &request, int waitMs) override;
    bool canSetLineFormat() const override;
    bool setLineFormat(const LineFormat &format) override;
    std::optional<LineErrors> lineErrors() override;

private:
    enum class Received { Frame, Nothing, Cut, Failed, NotTheEcho };

    bool refuseOpen(const PortOpenFailure &failure);
    QByteArray requestBytes(const LinkRequest &request) const;
    // The answer to the request just sent (sent: its bytes with the CRC).
    LineAnswer answer(const QByteArray &request, const QByteArray &sent, bool first);
    LineAnswer failed(LinkFailure failure, const QString &error, const QByteArray &frame = {});
    // The answer to frame just sent: its echo first where the adapter
    // sends one back, then one reply frame, its first byte within timeout.
    Received receiveAnswer(const QByteArray &sent, QByteArray *reply, std::chrono::microseconds timeout, LineAnswer *seen);
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

    std::unique_ptr<SerialLine> m_line;
    int m_baud = LinkSettings::kDefaultBaud;
    // Whether the adapter sends each request back before the reply: learned
    // from a read, whose reply can never begin with its request.
    enum class Echo { Unknown, Absent, Present } m_echo = Echo::Unknown;
    bool m_bytesCame = false; // anything at all came during the current exchange
    quint64 m_reconnectionsSeen = 0; // the line's connections made again, as last reported
    QByteArray m_pending;
    QString m_lineError;
    QElapsedTimer m_requestTimer;
};
