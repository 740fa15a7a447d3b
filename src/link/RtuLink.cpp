#include "RtuLink.h"

#include "SystemPorts.h"
#include "ReplyFrame.h"

#include <QDateTime>

#include <modbus.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

RtuLink::RtuLink(QObject *parent)
    : ModbusLink(parent), m_trace(qEnvironmentVariableIntValue("ALARMCFG_TRACE") == 1)
{
}

RtuLink::~RtuLink()
{
    ClosePort();
}

int RtuLink::configuredBaud()
{
    const QByteArray text = qgetenv("ALARMCFG_BAUD");
    if (text.isEmpty())
        return kDefaultBaud;
    bool ok = false;
    const int baud = text.toInt(&ok);
    return ok && baud > 0 ? baud : 0;
}

int RtuLink::frameGapUs(int baud)
{
    if (baud <= 0 || baud > kFixedFrameGapAboveBaud)
        return kFixedFrameGapUs;
    return static_cast<int>(std::ceil(kFrameGapCharacters * 10 * 1e6 / baud));
}

std::optional<QString> RtuLink::choosePortDevice()
{
    if (portNumber() == 0 && !typedPort().trimmed().isEmpty()) {
        const QString typed = typedPort().trimmed();
        const std::optional<QString> device = ports::typedPortDevice(typed);
        trace("PORT", QStringLiteral("typed %1 -> %2").arg(typed, device.value_or(QStringLiteral("no device name"))));
        if (!device)
            refuseOpen({typed, QString(), PortOpenFailure::Cause::NotADevice, tr("not a device name")});
        return device;
    }
    if (portNumber() < kFirstPort || portNumber() > kLastPort) {
        setLastError(tr("COM%1 is not a port of this tool").arg(portNumber()));
        return std::nullopt;
    }
    const ports::PortTable table = ports::lookUpPorts();
    for (const QString &note : table.notes)
        trace("PORT", note);
    const ports::Resolution &chosen = table.com[portNumber() - kFirstPort];
    trace("PORT", ports::describe(chosen));
    if (chosen.device.isEmpty()) {
        refuseOpen({QStringLiteral("COM%1").arg(portNumber()), chosen.pin ? chosen.pin->link : QString(),
                    PortOpenFailure::Cause::NoDevice, tr("no device")});
        return std::nullopt;
    }
    return chosen.device;
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
    const std::optional<QString> path = choosePortDevice();
    if (!path)
        return false;
    PortOpenFailure failure;
    failure.port = portNumber() == 0 ? typedPort().trimmed() : QStringLiteral("COM%1").arg(portNumber());
    failure.device = *path;
    const int baud = m_chosenBaud ? *m_chosenBaud : configuredBaud();
    if (baud == 0) {
        failure.systemText = tr("ALARMCFG_BAUD is not a baud rate");
        return refuseOpen(failure);
    }
    // libmodbus opens the device itself in modbus_connect and sets the line
    // up there at once. So the claim comes first, on a descriptor of our own:
    // a port another program holds is refused before its line settings are
    // touched. The flock belongs to that descriptor, which therefore stays
    // open for as long as the port does.
    if (!m_claim.claim(*path, &failure))
        return refuseOpen(failure);
    const QString device = m_claim.device();
    m_ctx = modbus_new_rtu(device.toLocal8Bit().constData(), baud, 'N', 8, 1);
    if (!m_ctx) {
        failure.cause = PortOpenFailure::Cause::Other;
        failure.systemText = QString::fromLocal8Bit(modbus_strerror(errno));
        m_claim.release();
        return refuseOpen(failure);
    }
    modbus_set_response_timeout(m_ctx, static_cast<uint32_t>(m_responseTimeoutMs / 1000),
                                static_cast<uint32_t>(m_responseTimeoutMs % 1000) * 1000);
    modbus_set_error_recovery(m_ctx, MODBUS_ERROR_RECOVERY_NONE);
    if (modbus_connect(m_ctx) == -1) {
        const int error = errno;
        failure.cause = PortClaim::causeOf(error);
        failure.systemText = QString::fromLocal8Bit(modbus_strerror(error));
        modbus_free(m_ctx);
        m_ctx = nullptr;
        m_claim.release();
        return refuseOpen(failure);
    }
    // From here on the kernel refuses other opens of the line (root's excepted,
    // which the claim's flock and TIOCGEXCL check turn away instead).
    PortClaim::setExclusive(modbus_get_socket(m_ctx), true);
    m_baud = baud;
    trace("OPEN", QStringLiteral("%1 %2 8N1").arg(device).arg(baud));
    return true;
}

void RtuLink::ClosePort()
{
    if (!m_ctx)
        return;
    // The flag belongs to the line, not to our descriptor: left set, it would
    // outlive us while any other descriptor (the simulator's, say) is open.
    PortClaim::setExclusive(modbus_get_socket(m_ctx), false);
    modbus_close(m_ctx);
    modbus_free(m_ctx);
    m_ctx = nullptr;
    m_claim.release();
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
    if (!m_ctx) {
        setLastError(tr("port not open"));
        trace("ERR", lastError());
        return false;
    }
    // Whatever waits on the line now is no answer to this request.
    discardWaitingInput();
    modbus_set_slave(m_ctx, static_cast<quint8>(request[0]));
    trace("TX", frame::hex(frame::withCrc(request)));
    if (modbus_send_raw_request(m_ctx, reinterpret_cast<const uint8_t *>(request.constData()),
                                static_cast<int>(request.size())) == -1)
        return fail(QString::fromLocal8Bit(modbus_strerror(errno)));

    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive_confirmation(m_ctx, reply);
    if (length == -1)
        return fail(errno == ETIMEDOUT ? tr("no reply within %1 ms").arg(m_responseTimeoutMs)
                                       : QString::fromLocal8Bit(modbus_strerror(errno)));
    if (length == 0)
        return fail(tr("reply from another slave"));
    const QByteArray bytes(reinterpret_cast<const char *>(reply), length);
    const QString error = frame::checkReply(request, bytes, values);
    trace("RX", frame::hex(bytes));
    if (!error.isEmpty())
        return fail(error);
    // libmodbus reads exactly one reply's length. More bytes before the gap
    // that ends a frame mean a longer or repeated reply: the one just read
    // cannot be trusted to answer this request.
    if (const int extra = bytesArrivingWithin(frameGapUs(m_baud)))
        return fail(tr("reply followed by %1 more bytes").arg(extra));
    return true;
}

void RtuLink::discardWaitingInput()
{
    const int fd = modbus_get_socket(m_ctx);
    int waiting = 0;
    if (fd >= 0 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0)
        trace("DROP", tr("%1 bytes that came after the last reply").arg(waiting));
    modbus_flush(m_ctx);
}

int RtuLink::bytesArrivingWithin(int microseconds) const
{
    const int fd = modbus_get_socket(m_ctx);
    if (fd < 0)
        return 0;
    pollfd p{fd, POLLIN, 0};
    // Whole seconds apart: below about 40 baud the gap is longer than one.
    const timespec gap{microseconds / 1'000'000, static_cast<long>(microseconds % 1'000'000) * 1000};
    if (::ppoll(&p, 1, &gap, nullptr) <= 0 || !(p.revents & POLLIN))
        return 0;
    int waiting = 0;
    ::ioctl(fd, FIONREAD, &waiting);
    return std::max(waiting, 1);
}

void RtuLink::retrying(const QString &request, int attempt, int attempts)
{
    trace("RETRY", tr("%1, attempt %2 of %3").arg(request).arg(attempt).arg(attempts));
}

bool RtuLink::fail(const QString &error)
{
    setLastError(error);
    trace("ERR", error);
    drainLine();
    return false;
}

// A reply that comes late, or the rest of a garbled one, must never be taken
// for the answer to the next request: discard until the line falls quiet.
void RtuLink::drainLine()
{
    if (!m_ctx)
        return;
    modbus_flush(m_ctx);
    const int fd = modbus_get_socket(m_ctx);
    QElapsedTimer drain;
    drain.start();
    char buffer[256];
    while (fd >= 0 && drain.elapsed() < kDrainLimitMs) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kQuietMs);
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
        if (::read(fd, buffer, sizeof buffer) <= 0)
            break;
    }
}

void RtuLink::trace(const char *direction, const QString &text) const
{
    if (!m_trace)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    const bool timed = std::string_view(direction) == "RX" || std::string_view(direction) == "ERR";
    const QString took = timed ? QStringLiteral(" (%1 ms)").arg(m_requestTimer.nsecsElapsed() / 1e6, 0, 'f', 1) : QString();
    const QString label = m_traceLabel.isEmpty() ? QString() : m_traceLabel + u' ';
    // One call per line, so that lines of links on other threads do not mix.
    std::fprintf(stderr, "[%s] %s%-5s %s%s\n", qPrintable(stamp), qPrintable(label), direction, qPrintable(text),
                 qPrintable(took));
}

void RtuLink::setTrace(bool on, const QString &label)
{
    m_trace = on;
    m_traceLabel = label;
}
