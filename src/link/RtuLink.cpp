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
    setLastError(QStringLiteral("%1: %2").arg(failure.device.isEmpty() ? failure.port : failure.device, failure.systemText));
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
    m_baud = baud;
    m_unsynced = false;
    m_pending.clear();
    trace("OPEN", QStringLiteral("%1 %2 8N1").arg(m_line->openedDevice()).arg(baud));
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
        setLastError(tr("port not open"));
        trace("ERR", lastError());
        return false;
    }
    // A failure may have left a reply on its way: nothing is sent until the
    // line is known to be quiet again.
    if (m_unsynced && !synchronize())
        return false;
    m_requestTimer.start();
    // Whatever waits on the line now is no answer to this request.
    if (const int dropped = m_line->discardInput() + static_cast<int>(m_pending.size()))
        trace("DROP", tr("%1 bytes that came after the last reply").arg(dropped));
    m_pending.clear();

    const QByteArray frame = frame::withCrc(request);
    trace("TX", frame::hex(frame));
    QString error;
    if (!m_line->send(frame, &error))
        return fail(error);

    QByteArray reply;
    switch (receiveFrame(&reply, milliseconds(settings().responseTimeoutMs))) {
    case Received::Frame: break;
    case Received::Nothing:
        return fail(interrupted() ? tr("interrupted") : tr("no reply within %1 ms").arg(settings().responseTimeoutMs));
    case Received::Cut:
        trace("RX", frame::hex(reply));
        return fail(tr("reply cut short after %1 bytes").arg(reply.size()));
    case Received::Failed: return fail(m_lineError);
    }
    trace("RX", frame::hex(reply));
    error = frame::checkReply(request, reply, values);
    if (!error.isEmpty() && frame::isExceptionReply(request, reply) && !bytesWithinFrameGap()) {
        // The device refused this very request: an answer, so the line is in step.
        setLastError(error);
        trace("ERR", error);
        return false;
    }
    if (!error.isEmpty())
        return fail(error);
    // More bytes before the silence that ends a frame mean a longer or a
    // repeated reply: the one just read cannot be trusted to answer this request.
    if (const int extra = bytesWithinFrameGap())
        return fail(tr("reply followed by %1 more bytes").arg(extra));
    return true;
}

bool RtuLink::fail(const QString &error)
{
    setLastError(error);
    trace("ERR", error);
    m_unsynced = true;
    return false;
}

bool RtuLink::synchronize()
{
    if (const int drained = drainLine())
        trace("DROP", tr("%1 bytes while waiting for the line to fall quiet").arg(drained));
    if (interrupted()) {
        setLastError(tr("interrupted"));
        return false;
    }
    m_pending.clear();
    m_line->discardInput();
    if (checkRead(true) != Check::AnsweredFirst)
        return false;
    m_unsynced = false;
    return true;
}

bool RtuLink::nothingFollowed()
{
    if (m_unsynced || !m_line->isOpen())
        return false;
    // No flush first: whatever came after the reply is the evidence. A
    // garbled or missing answer proves nothing, so the check is sent again.
    for (int attempt = 0; attempt < kFollowChecks; ++attempt) {
        switch (checkRead(false)) {
        case Check::AnsweredFirst: return true;
        case Check::OtherFirst: attempt = kFollowChecks; break;
        case Check::NoAnswer: break;
        }
    }
    m_unsynced = true;
    return false;
}

RtuLink::Check RtuLink::checkRead(bool dropOthers)
{
    const int span = kSyncLastCount - kSyncFirstCount + 1;
    const int count = kSyncFirstCount + (m_syncReads++ % span);
    const QByteArray request = frame::readRequest(regmap::kSlave, kSyncStart, count);
    const QByteArray frame = frame::withCrc(request);
    trace("SYNC", tr("check read %1x%2: %3").arg(kSyncStart).arg(count).arg(frame::hex(frame)));
    QString error;
    if (!m_line->send(frame, &error)) {
        setLastError(error);
        trace("ERR", error);
        return Check::NoAnswer;
    }
    // Replies to earlier requests may still come first; each is dropped, and
    // the device, having answered them, gets a little longer for this one.
    const milliseconds timeout(settings().responseTimeoutMs);
    QElapsedTimer waited;
    waited.start();
    for (int late = 0;; ++late) {
        QByteArray reply;
        const Received got = receiveFrame(&reply, timeout);
        if (got == Received::Failed) {
            setLastError(m_lineError);
            trace("ERR", m_lineError);
            return Check::NoAnswer;
        }
        if (got == Received::Nothing) {
            setLastError(interrupted() ? tr("interrupted")
                                       : tr("the line is not quiet: no answer to a check read within %1 ms")
                                             .arg(settings().responseTimeoutMs));
            trace("SYNC", lastError());
            return Check::NoAnswer;
        }
        if (got == Received::Frame && frame::checkReply(request, reply, nullptr).isEmpty() && !bytesWithinFrameGap()) {
            trace("SYNC", tr("answered first, after %1 ms: the line is quiet").arg(waited.elapsed()));
            return Check::AnsweredFirst;
        }
        // Only this frame: what followed it may be the answer.
        const bool wellFormed = got == Received::Frame && frame::withCrc(reply.chopped(rtu::kCrcBytes)) == reply;
        trace("DROP", tr("%1 frame: %2").arg(wellFormed ? tr("late") : tr("garbled"), frame::hex(reply)));
        if (!dropOthers) {
            setLastError(wellFormed ? tr("another reply came before the answer to a check read")
                                    : tr("a garbled frame came before the answer to a check read"));
            return wellFormed ? Check::OtherFirst : Check::NoAnswer;
        }
        if (late >= 4) {
            setLastError(tr("the line is not quiet: frames keep coming"));
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

microseconds RtuLink::byteTimeout() const
{
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
