#include "RtuLink.h"

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
// Frames dropped before a check's answer before the line counts as noisy.
constexpr int kMostFramesBeforeAnswer = 4;

int word(const QByteArray &bytes, int at)
{
    return (static_cast<quint8>(bytes[at]) << 8) | static_cast<quint8>(bytes[at + 1]);
}
} // namespace

std::vector<RtuLink::CheckShape> RtuLink::checkShapes()
{
    const int slot = regmap::relayTextSlot(0, regmap::RelayText::OnCommand);
    return {{slot, 2}, {slot, 3}, {slot, 4}, {slot, 5}, {slot, 6}, {slot, 9}, {regmap::kActionTimes.start, regmap::kActionTimes.count}};
}

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

bool RtuLink::OpenPort()
{
    ClosePort();
    setOpenFailure(std::nullopt);
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
    m_unsynced = false;
    m_pending.clear();
    m_echo = Echo::Unknown;
    m_readCounts.clear();
    m_refusedShapes.clear();
    m_checkKnown.clear();
    m_checkRound = 0;
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

bool RtuLink::readBlock(quint8 slave, int start, int count, QVector<quint16> &values)
{
    return transact(frame::readRequest(slave, start, count), &values);
}

bool RtuLink::writeSingle(quint8 slave, int address, quint16 value)
{
    return transact(frame::writeSingleRequest(slave, address, value), nullptr);
}

bool RtuLink::writeBlock(quint8 slave, int start, const QVector<quint16> &values)
{
    return transact(frame::writeBlockRequest(slave, start, values), nullptr);
}

bool RtuLink::transact(const QByteArray &request, QVector<quint16> *values)
{
    m_requestTimer.start();
    if (!m_line->isOpen()) {
        setFailure(LinkFailure::NotOpen, tr("port not open"));
        trace("ERR", lastError());
        return false;
    }
    // A connection made again may bring what the old one left on its way.
    if (m_line->reconnections() != m_reconnectionsSeen) {
        m_reconnectionsSeen = m_line->reconnections();
        m_unsynced = true;
    }
    // A failure may have left a reply on its way: nothing is sent until the
    // line is known to be quiet again.
    if (m_unsynced && !synchronize())
        return false;
    m_requestTimer.start();
    m_bytesCame = false;
    // Whatever waits on the line now answers nothing that is still asked.
    if (const int dropped = m_line->discardInput() + static_cast<int>(m_pending.size()))
        depart(tr("%1 bytes that came after the last reply").arg(dropped));
    m_pending.clear();

    const bool read = static_cast<quint8>(request[1]) == rtu::kReadHoldingRegisters;
    const int start = word(request, 2);
    if (read) {
        m_readCounts.insert(word(request, 4));
    } else {
        // What a check found there no longer holds once a write is sent.
        const int count = static_cast<quint8>(request[1]) == rtu::kWriteSingleRegister ? 1 : word(request, 4);
        m_checkKnown.erase(m_checkKnown.lower_bound(start), m_checkKnown.lower_bound(start + count));
    }

    const QByteArray frame = frame::withCrc(request);
    trace("TX", frame::hex(frame));
    QString error;
    if (!m_line->send(frame, &error))
        return fail(LinkFailure::Silent, error);

    QByteArray reply;
    switch (receiveAnswer(frame, &reply, replyTimeout())) {
    case Received::Frame: break;
    case Received::Nothing:
        if (interrupted())
            return fail(LinkFailure::Interrupted, tr("interrupted"));
        return fail(m_bytesCame ? LinkFailure::Garbled : LinkFailure::Silent,
                    m_bytesCame ? tr("no whole reply within %1 ms").arg(replyTimeout().count())
                                : tr("no reply within %1 ms").arg(replyTimeout().count()));
    case Received::Cut:
        trace("RX", frame::hex(reply));
        return fail(LinkFailure::Garbled, tr("reply cut short after %1 bytes").arg(reply.size()));
    case Received::Failed: return fail(LinkFailure::Silent, m_lineError);
    case Received::NotTheEcho: return fail(LinkFailure::Garbled, tr("the bytes that came back are not the echo of the request"));
    }
    trace("RX", frame::hex(reply));
    error = frame::checkReply(request, reply, values);
    if (!error.isEmpty() && frame::isExceptionReply(request, reply) && !bytesWithinFrameGap()) {
        // The device refused this very request: an answer, so the line is in step.
        setFailure(LinkFailure::Refused, error, static_cast<quint8>(reply[2]));
        trace("ERR", error);
        return false;
    }
    if (!error.isEmpty())
        return fail(LinkFailure::Garbled, error);
    // More bytes before the silence that ends a frame mean a longer or a
    // repeated reply: the one just read cannot be trusted to answer this request.
    if (const int extra = bytesWithinFrameGap())
        return fail(LinkFailure::Garbled, tr("reply followed by %1 more bytes").arg(extra));
    if (read && m_echo == Echo::Unknown)
        m_echo = Echo::Absent;
    return true;
}

bool RtuLink::fail(LinkFailure failure, const QString &error)
{
    setFailure(failure, error);
    trace("ERR", error);
    m_unsynced = true;
    ++m_departures;
    return false;
}

void RtuLink::depart(const QString &what)
{
    ++m_departures;
    trace("DROP", what);
}

bool RtuLink::synchronize()
{
    for (int attempt = 1; attempt <= kCheckAttempts; ++attempt) {
        if (const int drained = drainLine())
            depart(tr("%1 bytes while waiting for the line to fall quiet").arg(drained));
        if (interrupted()) {
            setFailure(LinkFailure::Interrupted, tr("interrupted"));
            return false;
        }
        m_pending.clear();
        m_line->discardInput();
        switch (checkUntilAnswered(true)) {
        case Check::AnsweredFirst: m_unsynced = false; return true;
        case Check::NoAnswer:
            // Silence proves the device gone: no point in asking again now.
            if (lastFailure() != LinkFailure::Garbled && lastFailure() != LinkFailure::Unsure)
                return false;
            break;
        case Check::OtherFirst:
        case Check::Refused: break;
        }
    }
    return false;
}

bool RtuLink::fence()
{
    if (m_unsynced || !m_line->isOpen())
        return false;
    // No flush first: whatever came after the reply is the evidence.
    if (checkUntilAnswered(false) == Check::AnsweredFirst)
        return true;
    ++m_departures;
    m_unsynced = true;
    return false;
}

std::optional<RtuLink::CheckShape> RtuLink::peekCheckShape(int *round) const
{
    const std::vector<CheckShape> shapes = checkShapes();
    const int n = static_cast<int>(shapes.size());
    // A count the tool reads too could pass a late reply for the answer: such
    // a shape is taken only when no other is left.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            const CheckShape &s = shapes[(m_checkRound + i) % n];
            if (!m_refusedShapes.count(s) && (pass == 1 || !m_readCounts.count(s.count))) {
                *round = (m_checkRound + i + 1) % n;
                return s;
            }
        }
    }
    return std::nullopt;
}

std::optional<RtuLink::CheckShape> RtuLink::nextCheckShape()
{
    int round = m_checkRound;
    const std::optional<CheckShape> shape = peekCheckShape(&round);
    m_checkRound = round;
    return shape;
}

void RtuLink::giveUpShape(const CheckShape &shape, const QString &why)
{
    m_refusedShapes.insert(shape);
    int round = m_checkRound;
    const std::optional<CheckShape> next = peekCheckShape(&round);
    trace("SYNC", next ? tr("the device %1 check read %2x%3: the checks read %4x%5 from now on")
                             .arg(why)
                             .arg(shape.start)
                             .arg(shape.count)
                             .arg(next->start)
                             .arg(next->count)
                       : tr("the device %1 check read %2x%3, the last shape left: all of them are tried again")
                             .arg(why)
                             .arg(shape.start)
                             .arg(shape.count));
    // Every shape given up: a device that was only silent for a while may
    // answer them again.
    if (!next)
        m_refusedShapes.clear();
}

RtuLink::Check RtuLink::checkUntilAnswered(bool dropOthers)
{
    int garbled = 0;
    for (size_t tries = 0; tries < checkShapes().size() + kCheckAttempts; ++tries) {
        const Check c = checkRead(dropOthers, std::nullopt);
        if (c == Check::Refused)
            continue;
        if (c == Check::NoAnswer && lastFailure() == LinkFailure::Silent && !interrupted()) {
            // Silence proves nothing yet: the device may be gone, or ignore
            // this shape alone. The last shape, one of the full read's own,
            // tells them apart: answered right after, the other is given up.
            const CheckShape silent = m_lastShape;
            const CheckShape last = checkShapes().back();
            if (silent.start == last.start && silent.count == last.count)
                return c;
            const Check other = checkRead(dropOthers, last);
            if (other == Check::AnsweredFirst)
                giveUpShape(silent, tr("did not answer, while it answered the check read %1x%2 right after,")
                                        .arg(last.start)
                                        .arg(last.count));
            return other == Check::Refused ? Check::NoAnswer : other;
        }
        if (c == Check::NoAnswer && !interrupted() && ++garbled < kCheckAttempts)
            continue; // a garbled answer proves nothing either way
        return c;
    }
    return Check::NoAnswer;
}

bool RtuLink::fitsKnownContent(const CheckShape &shape, const QVector<quint16> &values) const
{
    for (int k = 0; k < values.size(); ++k) {
        const auto known = m_checkKnown.find(shape.start + k);
        if (known != m_checkKnown.end() && known->second != values[k])
            return false;
    }
    return true;
}

RtuLink::Check RtuLink::checkRead(bool dropOthers, std::optional<CheckShape> forced)
{
    const std::optional<CheckShape> shape = forced ? forced : nextCheckShape();
    if (!shape) {
        setFailure(LinkFailure::Refused, tr("the device answers none of the check reads"));
        return Check::NoAnswer;
    }
    m_lastShape = *shape;
    const QByteArray request = frame::readRequest(regmap::kSlave, shape->start, shape->count);
    const QByteArray frame = frame::withCrc(request);
    trace("SYNC", tr("check read %1x%2: %3").arg(shape->start).arg(shape->count).arg(frame::hex(frame)));
    m_bytesCame = false;
    QString error;
    if (!m_line->send(frame, &error)) {
        setFailure(LinkFailure::Silent, error);
        trace("ERR", error);
        return Check::NoAnswer;
    }
    // Replies to earlier requests may still come first; each is dropped, and
    // the device, having answered them, gets a little longer for this one.
    const milliseconds timeout = replyTimeout();
    QElapsedTimer waited;
    waited.start();
    for (int late = 0;; ++late) {
        QByteArray reply;
        const Received got = receiveAnswer(frame, &reply, timeout);
        if (got == Received::Failed) {
            setFailure(LinkFailure::Silent, m_lineError);
            trace("ERR", m_lineError);
            return Check::NoAnswer;
        }
        if (got == Received::Nothing) {
            if (interrupted())
                setFailure(LinkFailure::Interrupted, tr("interrupted"));
            else
                setFailure(m_bytesCame ? LinkFailure::Garbled : LinkFailure::Silent,
                           tr("the line is not quiet: no answer to a check read within %1 ms").arg(timeout.count()));
            trace("SYNC", lastError());
            return Check::NoAnswer;
        }
        if (got == Received::NotTheEcho) {
            m_pending.clear();
            setFailure(LinkFailure::Garbled, tr("the bytes that came back are not the echo of a check read"));
            ++m_departures;
            return Check::NoAnswer;
        }
        QVector<quint16> values;
        const bool fits = got == Received::Frame && frame::checkReply(request, reply, &values).isEmpty();
        if (fits && !bytesWithinFrameGap()) {
            if (fitsKnownContent(*shape, values)) {
                for (int k = 0; k < values.size(); ++k)
                    m_checkKnown[shape->start + k] = values[k];
                trace("SYNC", tr("answered first, after %1 ms: the line is in step").arg(waited.elapsed()));
                return Check::AnsweredFirst;
            }
            trace("SYNC", tr("a reply of the check's length that does not hold what the check found before"));
        } else if (got == Received::Frame && frame::isExceptionReply(request, reply) && !bytesWithinFrameGap()) {
            // An exception is an answer: the device refuses this shape.
            giveUpShape(*shape, tr("refused (%1)").arg(frame::checkReply(request, reply, nullptr)));
            setFailure(LinkFailure::Refused, tr("the device refused a check read"), static_cast<quint8>(reply[2]));
            return Check::Refused;
        }
        // Only this frame: what followed it may be the answer.
        const bool wellFormed = got == Received::Frame && frame::withCrc(reply.chopped(rtu::kCrcBytes)) == reply;
        depart(tr("%1 frame: %2").arg(wellFormed ? tr("late") : tr("garbled"), frame::hex(reply)));
        if (!dropOthers) {
            setFailure(wellFormed ? LinkFailure::Unsure : LinkFailure::Garbled,
                       wellFormed ? tr("another reply came before the answer to a check read")
                                  : tr("a garbled frame came before the answer to a check read"));
            return wellFormed ? Check::OtherFirst : Check::NoAnswer;
        }
        if (late >= kMostFramesBeforeAnswer) {
            setFailure(LinkFailure::Unsure, tr("the line is not quiet: frames keep coming"));
            trace("SYNC", lastError());
            return Check::NoAnswer;
        }
    }
}

int RtuLink::drainLine()
{
    int drained = static_cast<int>(m_pending.size());
    m_pending.clear();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < kDrainLimitMs && !interrupted()) {
        const QByteArray bytes = waitForBytes(milliseconds(std::min(kQuietMs, settings().responseTimeoutMs)));
        if (bytes.isEmpty())
            break;
        drained += static_cast<int>(bytes.size());
    }
    return drained;
}

RtuLink::Received RtuLink::receiveAnswer(const QByteArray &sent, QByteArray *reply, microseconds timeout)
{
    const bool read = static_cast<quint8>(sent[1]) == rtu::kReadHoldingRegisters;
    if (m_echo == Echo::Present || (m_echo == Echo::Unknown && read)) {
        // A read's reply never begins with its request, so bytes that do are
        // the adapter hearing itself. Only those exact bytes: an echo that
        // differs by one byte is no echo.
        const QByteArray head = collect(static_cast<int>(sent.size()), timeout, &sent);
        if (head.isEmpty())
            return m_lineError.isEmpty() ? Received::Nothing : Received::Failed;
        if (head == sent) {
            if (m_echo == Echo::Unknown) {
                m_echo = Echo::Present;
                trace("ECHO", tr("the adapter sends each request back before its reply: from now on that echo is skipped"));
            }
        } else {
            m_pending = head + m_pending;
            if (m_echo == Echo::Present) {
                trace("RX", frame::hex(head));
                return Received::NotTheEcho;
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

quint64 RtuLink::departures() const
{
    return m_departures + m_line->reconnections();
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

void RtuLink::note(const char *kind, const QString &text)
{
    trace(kind, text);
}

void RtuLink::trace(const char *kind, const QString &text) const
{
    if (!settings().trace)
        return;
    const std::string_view k(kind);
    const bool timed = k == "RX" || k == "ERR";
    const QString took = timed ? QStringLiteral(" (%1 ms)").arg(m_requestTimer.nsecsElapsed() / 1e6, 0, 'f', 1) : QString();
    trace::line(settings().traceLabel, kind, text + took);
}
