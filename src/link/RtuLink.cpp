#include "RtuLink.h"

#include "Defence.h"
#include "ModbusRtu.h"
#include "ReplyFrame.h"
#include "SerialLine.h"
#include "Trace.h"

#include <algorithm>

using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {
// The longest a wait on the line goes without looking for an interrupt.
constexpr microseconds kInterruptSlice = milliseconds(50);

bool isRead(const QByteArray &request)
{
    return static_cast<quint8>(request[1]) == rtu::kReadHoldingRegisters;
}

// Whether the bytes that came for sent hold a whole frame of its slave, past
// the adapter's echo of it when there is one: then only the frame gap is
// left to wait for.
bool wholeFrameCame(const QByteArray &came, const QByteArray &sent)
{
    if (sent.startsWith(came))
        return false; // nothing, or the echo still coming
    const QByteArray rest = came.startsWith(sent) ? came.mid(sent.size()) : came;
    const int length = frame::replyLength(rest);
    return !rest.isEmpty() && rest[0] == sent[0] && length > 0 && rest.size() >= length;
}
} // namespace

RtuLink::RtuLink(QObject *parent) : RtuLink(SerialLine::create(), parent) {}

RtuLink::RtuLink(std::unique_ptr<SerialLine> line, QObject *parent) : ModbusLink(parent), m_line(std::move(line))
{
    setSettings(LinkSettings::fromEnvironment());
}

RtuLink::~RtuLink()
{
    ClosePort();
}

bool RtuLink::isOpen() const
{
    return m_line->isOpen();
}

bool RtuLink::refuseOpen(const PortOpenFailure &failure)
{
    setOpenFailure(failure);
    setFailure(LinkFailure::NotOpen,
               QStringLiteral("%1: %2").arg(failure.device.isEmpty() ? failure.port : failure.device, failure.systemText));
    trace("FAIL", lastError());
    return false;
}

bool RtuLink::openDevice()
{
    ClosePort();
    const PortTarget &t = target();
    PortOpenFailure failure;
    failure.port = t.name;
    failure.device = t.device;
    trace("PORT", t.how.isEmpty() ? QStringLiteral("%1 -> %2").arg(t.name, t.device) : t.how);
    if (t.device.isEmpty()) {
        failure.cause = t.missing;
        failure.systemText = t.missing == PortOpenFailure::Cause::NotADevice ? tr("not a device name") : tr("no device");
        return refuseOpen(failure);
    }
    const int baud = settings().baud;
    if (baud <= 0) {
        failure.systemText = tr("no baud rate (ALARMCFG_BAUD or --baud is not a positive number)");
        return refuseOpen(failure);
    }
    if (!m_line->open(t.device, baud, &failure))
        return refuseOpen(failure);
    // A new connection: nothing is known of the line or of the device.
    m_baud = baud;
    m_pending.clear();
    m_echo = Echo::Unknown;
    m_reconnectionsSeen = 0;
    trace("OPEN", QStringLiteral("%1 %2 8N1").arg(m_line->openedDevice()).arg(baud));
    if (m_line->streamed())
        trace("OPEN", tr("a stream: replies are cut out by their length and CRC, never by a pause; round trip %1 ms, "
                         "each reply waited for up to %2 ms")
                          .arg(m_line->roundTrip().count() / 1000.0, 0, 'f', 1)
                          .arg(replyTimeout().count()));
    return true;
}

void RtuLink::ClosePort()
{
    if (!m_line->isOpen())
        return;
    m_line->close();
    m_pending.clear();
    trace("CLOSE", QString());
}

QByteArray RtuLink::requestBytes(const LinkRequest &r) const
{
    const quint8 slave = profile().slave;
    switch (r.function) {
    case LinkRequest::Function::Read: return frame::readRequest(slave, r.start, r.count);
    case LinkRequest::Function::WriteSingle: return frame::writeSingleRequest(slave, r.start, r.values.value(0));
    case LinkRequest::Function::WriteBlock: return frame::writeBlockRequest(slave, r.start, r.values);
    }
    return QByteArray();
}

LineAnswer RtuLink::failed(LinkFailure failure, const QString &error, const QByteArray &frame)
{
    LineAnswer a;
    a.failure = failure;
    a.error = error;
    a.frame = frame;
    a.wellFormed = frame.size() > rtu::kCrcBytes && frame::withCrc(frame.chopped(rtu::kCrcBytes)) == frame;
    trace("ERR", error);
    return a;
}

LineAnswer RtuLink::transact(const LinkRequest &r, Waiting waiting)
{
    m_requestTimer.start();
    if (!m_line->isOpen())
        return failed(LinkFailure::NotOpen, tr("port not open"));
    int before = 0;
    if (waiting == Waiting::Discard) {
        // Whatever waits on the line now answers nothing that is still asked.
        before = m_line->discardInput() + static_cast<int>(m_pending.size());
        m_pending.clear();
    }
    const QByteArray request = requestBytes(r);
    const QByteArray sent = frame::withCrc(request);
    trace("TX", frame::hex(sent));
    m_bytesCame = false;
    QString error;
    LineAnswer a = m_line->send(sent, &error) ? answer(request, sent, true) : failed(LinkFailure::Silent, error);
    if (!error.isEmpty())
        a.lineFailed = true;
    a.bytesBefore = before;
    // A connection made again since: whatever was on its way then is lost,
    // or may still come on the new one.
    if (m_line->reconnections() != m_reconnectionsSeen) {
        m_reconnectionsSeen = m_line->reconnections();
        a.reconnected = true;
    }
    return a;
}

LineAnswer RtuLink::receiveAgain(const LinkRequest &r)
{
    m_bytesCame = false;
    const QByteArray request = requestBytes(r);
    return answer(request, frame::withCrc(request), false);
}

LineAnswer RtuLink::answer(const QByteArray &request, const QByteArray &sent, bool first)
{
    const milliseconds timeout = replyTimeout();
    QByteArray reply;
    LineAnswer seen;
    const Received got = first ? receiveAnswer(sent, &reply, timeout, &seen) : receiveFrame(&reply, timeout);
    LineAnswer a;
    switch (got) {
    case Received::Frame: break;
    case Received::Nothing:
        if (interrupted())
            a = failed(LinkFailure::Interrupted, tr("interrupted"));
        else
            a = failed(m_bytesCame ? LinkFailure::Garbled : LinkFailure::Silent,
                       m_bytesCame ? tr("no whole reply within %1 ms").arg(timeout.count())
                                   : tr("no reply within %1 ms").arg(timeout.count()));
        break;
    case Received::Cut:
        trace("RX", frame::hex(reply));
        a = failed(LinkFailure::Garbled, tr("reply cut short after %1 bytes").arg(reply.size()));
        break;
    case Received::Failed:
        a = failed(LinkFailure::Silent, m_lineError);
        a.lineFailed = true;
        break;
    case Received::NotTheEcho: a = failed(LinkFailure::Garbled, tr("the bytes that came back are not the echo of the request")); break;
    }
    if (got != Received::Frame) {
        a.echoBegan = seen.echoBegan;
        a.echoEnded = seen.echoEnded;
        return a;
    }
    trace("RX", frame::hex(reply));
    QVector<quint16> values;
    const QString error = frame::checkReply(request, reply, &values);
    if (!error.isEmpty() && frame::isExceptionReply(request, reply) && !bytesWithinFrameGap()) {
        // The device refused this very request: an answer, so the line is in step.
        a.failure = LinkFailure::Refused;
        a.error = error;
        a.refusalCode = static_cast<quint8>(reply[2]);
        a.frame = reply;
        a.wellFormed = true;
        trace("ERR", error);
    } else if (!error.isEmpty()) {
        a = failed(LinkFailure::Garbled, error, reply);
    } else if (const int extra = bytesWithinFrameGap()) {
        // More bytes before the silence that ends a frame mean a longer or a
        // repeated reply: the one just read cannot be trusted to answer this request.
        a = failed(LinkFailure::Garbled, tr("reply followed by %1 more bytes").arg(extra), reply);
    } else {
        a.values = values;
        a.frame = reply;
        a.wellFormed = true;
        if (isRead(request) && m_echo == Echo::Unknown)
            m_echo = Echo::Absent;
        // A single write's reply is its request: on a line not known to echo,
        // an echo of a request the device never heard would look the same.
        a.ownBytesOnly = !isRead(request) && reply == sent && m_echo != Echo::Present;
    }
    a.echoBegan = seen.echoBegan;
    a.echoEnded = seen.echoEnded;
    return a;
}

RtuLink::Received RtuLink::receiveAnswer(const QByteArray &sent, QByteArray *reply, microseconds timeout, LineAnswer *seen)
{
    const bool read = static_cast<quint8>(sent[1]) == rtu::kReadHoldingRegisters;
    // A read's reply never begins with its request, so bytes that do are the
    // adapter hearing itself: from a read the echo is learned, or noticed
    // when it begins in the middle of a connection. Only those exact bytes:
    // an echo that differs by one byte is no echo.
    if (m_echo == Echo::Present || read) {
        const QByteArray head = collect(static_cast<int>(sent.size()), timeout, &sent);
        if (head.isEmpty())
            return m_lineError.isEmpty() ? Received::Nothing : Received::Failed;
        if (head == sent) {
            if (m_echo != Echo::Present) {
                seen->echoBegan = m_echo == Echo::Absent;
                trace("ECHO", m_echo == Echo::Absent
                                  ? tr("the adapter began to send each request back: from now on that echo is skipped")
                                  : tr("the adapter sends each request back before its reply: from now on that echo is skipped"));
                m_echo = Echo::Present;
            }
        } else {
            m_pending = head + m_pending;
            // A read answered at once by the start of its reply, with no
            // echo before it: the adapter stopped echoing. Anything else is
            // no echo, but garbled bytes.
            const bool replyFirst = read && head.size() >= 3 && head[0] == sent[0] && head[1] == sent[1]
                                    && static_cast<quint8>(head[2]) == 2 * ((static_cast<quint8>(sent[4]) << 8) | static_cast<quint8>(sent[5]));
            if (m_echo == Echo::Present && !replyFirst) {
                trace("RX", frame::hex(head));
                return Received::NotTheEcho;
            }
            if (m_echo == Echo::Present) {
                seen->echoEnded = true;
                trace("ECHO", tr("the adapter no longer sends each request back"));
                m_echo = Echo::Absent;
            }
        }
    }
    return receiveFrame(reply, timeout);
}

QByteArray RtuLink::collect(int n, microseconds timeout, const QByteArray *prefixOf)
{
    QByteArray got = std::exchange(m_pending, QByteArray());
    if (got.isEmpty())
        got = waitForBytes(timeout);
    while (!got.isEmpty() && got.size() < n && (!prefixOf || prefixOf->startsWith(got))) {
        const QByteArray more = waitForBytes(byteTimeout());
        if (more.isEmpty())
            break;
        got += more;
    }
    if (got.size() > n) {
        m_pending = got.mid(n);
        got.truncate(n);
    }
    return got;
}

RtuLink::Received RtuLink::receiveFrame(QByteArray *frame, microseconds timeout)
{
    *frame = m_pending;
    m_pending.clear();
    if (frame->isEmpty())
        *frame = waitForBytes(timeout);
    if (frame->isEmpty())
        return m_lineError.isEmpty() ? Received::Nothing : Received::Failed;
    for (;;) {
        const int length = frame::replyLength(*frame);
        if (length > 0 && frame->size() >= length) {
            m_pending = frame->mid(length);
            frame->truncate(length);
            return Received::Frame;
        }
        const QByteArray more = waitForBytes(byteTimeout());
        if (!m_lineError.isEmpty())
            return Received::Failed;
        if (more.isEmpty())
            // A frame of a function we never ask for has no known length: it
            // ends where the line falls silent, and its checks reject it.
            return length < 0 ? Received::Frame : Received::Cut;
        *frame += more;
    }
}

QByteArray RtuLink::waitForBytes(microseconds timeout)
{
    m_lineError.clear();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const microseconds left = timeout - microseconds(waited.nsecsElapsed() / 1000);
        if (left <= microseconds::zero() || interrupted())
            return {};
        QByteArray bytes = m_line->receive(rtu::kMaxFrameBytes, std::min(left, kInterruptSlice), &m_lineError);
        if (!bytes.isEmpty())
            m_bytesCame = true;
        if (!bytes.isEmpty() || !m_lineError.isEmpty())
            return bytes;
    }
}

int RtuLink::drainLine()
{
    int drained = static_cast<int>(m_pending.size());
    m_pending.clear();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < Defence::kDrainLimitMs && !interrupted()) {
        const QByteArray bytes = waitForBytes(milliseconds(std::min(Defence::kQuietMs, settings().responseTimeoutMs)));
        if (bytes.isEmpty())
            break;
        drained += static_cast<int>(bytes.size());
    }
    return drained + m_line->discardInput();
}

int RtuLink::bytesWithinFrameGap()
{
    if (!m_pending.isEmpty())
        return static_cast<int>(m_pending.size());
    const QByteArray more = waitForBytes(rtu::frameGap(m_baud));
    m_pending = more;
    return static_cast<int>(more.size());
}

milliseconds RtuLink::replyTimeout() const
{
    return milliseconds(settings().responseTimeoutMs) + std::chrono::ceil<milliseconds>(m_line->roundTrip());
}

QString RtuLink::peerAddress() const
{
    return m_line->isOpen() ? m_line->peerAddress() : QString();
}

microseconds RtuLink::byteTimeout() const
{
    // On a stream a reply may come in pieces far apart: only its time-out ends it.
    if (m_line->streamed())
        return replyTimeout();
    return std::max<microseconds>(milliseconds(kByteTimeoutMs), kByteTimeoutCharacters * rtu::characterTime(m_baud));
}

void RtuLink::trace(const char *kind, const QString &text)
{
    if (!settings().trace)
        return;
    const std::string_view k(kind);
    const bool timed = k == "RX" || k == "ERR";
    const QString took = timed ? QStringLiteral(" (%1 ms)").arg(m_requestTimer.nsecsElapsed() / 1e6, 0, 'f', 1) : QString();
    trace::line(settings().traceLabel, kind, text + took);
}

std::vector<HeardBytes> RtuLink::listenLine(int ms)
{
    std::vector<HeardBytes> heard;
    if (!m_line->isOpen())
        return heard;
    // What waited before answers an older request, or was heard before: only
    // what comes now is heard.
    m_pending.clear();
    m_line->discardInput();
    trace("LISTEN", tr("%1 ms with nothing sent").arg(ms));
    QElapsedTimer listening;
    listening.start();
    for (;;) {
        const microseconds left = milliseconds(ms) - microseconds(listening.nsecsElapsed() / 1000);
        if (left <= microseconds::zero())
            break;
        const QByteArray bytes = waitForBytes(left);
        if (bytes.isEmpty() && (!m_lineError.isEmpty() || interrupted()))
            break;
        if (!bytes.isEmpty()) {
            heard.push_back({listening.nsecsElapsed() / 1000, bytes});
            trace("HEARD", frame::hex(bytes));
        }
    }
    return heard;
}

RawExchange RtuLink::probeLine(const QByteArray &request, int waitMs)
{
    RawExchange x;
    x.sent = frame::withCrc(request);
    if (!m_line->isOpen()) {
        x.lineError = tr("port not open");
        return x;
    }
    m_pending.clear();
    m_line->discardInput();
    trace("PROBE", frame::hex(x.sent));
    m_requestTimer.start();
    if (!m_line->send(x.sent, &x.lineError))
        return x;
    QByteArray came;
    for (;;) {
        const microseconds left = milliseconds(waitMs) - microseconds(m_requestTimer.nsecsElapsed() / 1000);
        if (left <= microseconds::zero())
            break;
        const bool ending = wholeFrameCame(came, x.sent);
        const QByteArray bytes = waitForBytes(ending ? std::min<microseconds>(left, rtu::frameGap(m_baud)) : left);
        if (bytes.isEmpty()) {
            x.lineError = m_lineError;
            x.interrupted = interrupted();
            if (ending || !x.lineError.isEmpty() || x.interrupted)
                break;
            continue;
        }
        came += bytes;
        x.heard.push_back({m_requestTimer.nsecsElapsed() / 1000, bytes});
    }
    x.waitedUs = m_requestTimer.nsecsElapsed() / 1000;
    if (!came.isEmpty())
        trace("RX", frame::hex(came));
    return x;
}

bool RtuLink::canSetLineFormat() const
{
    return m_line->isOpen() && m_line->canSetFormat();
}

bool RtuLink::setLineFormat(const LineFormat &format)
{
    QString error;
    if (!m_line->isOpen() || !m_line->setFormat(format, &error)) {
        trace("FORMAT", tr("%1 not set: %2").arg(format.text(), m_line->isOpen() ? error : tr("port not open")));
        return false;
    }
    m_baud = format.baud;
    m_pending.clear();
    trace("FORMAT", format.text());
    return true;
}

std::optional<LineErrors> RtuLink::lineErrors()
{
    return m_line->isOpen() ? m_line->errorCounts() : std::nullopt;
}
