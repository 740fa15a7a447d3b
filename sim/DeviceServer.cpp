#include "DeviceServer.h"

#include "ImageFile.h"
#include "SafeFile.h"
#include "LineTiming.h"
#include "ModbusRtu.h"
#include "RegisterMap.h"
#include "SignalFlags.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
// Longest sleep between looks at the signal flags.
constexpr std::chrono::milliseconds kMaxIdle{50};
// A frame arrives on the pty in one piece; a gap this long means it was cut.
constexpr int kByteTimeoutUs = 100'000;
// --line chatter: another master reads two registers of slave 7, and slave 7
// answers this long after.
const QByteArray kChatterRequest = QByteArray::fromHex("070300000002C46D");
const QByteArray kChatterReply = QByteArray::fromHex("070304000100024C32");
constexpr std::chrono::milliseconds kChatterReplyAfter{20};
} // namespace

DeviceServer::DeviceServer(const Options &opts, int lineFd)
    : m_opts(opts)
    , m_line(lineFd)
    , m_plan(opts)
{
}

DeviceServer::DeviceServer(const Options &opts, Listening listener)
    : m_opts(opts)
    , m_line(-1)
    , m_listener(listener.fd)
    , m_plan(opts)
{
}

DeviceServer::~DeviceServer()
{
    if (m_listener >= 0 && m_line >= 0)
        ::close(m_line); // the client's connection; the listener belongs to main
    if (m_rx)
        modbus_free(m_rx); // leaves the pty open; Pty owns it
    if (m_mapping)
        modbus_mapping_free(m_mapping);
}

bool DeviceServer::init(const std::vector<quint16> &image, QString *error)
{
    m_mapping = modbus_mapping_new(0, 0, regmap::kImageRegisters, 0);
    if (!m_mapping) {
        *error = QStringLiteral("modbus_mapping_new: %1").arg(QString::fromLocal8Bit(modbus_strerror(errno)));
        return false;
    }
    std::copy_n(image.begin(), std::min<size_t>(image.size(), regmap::kImageRegisters), m_mapping->tab_registers);

    if (!m_encoder.init(m_plan.slave(), error) || !resetReceiver(error))
        return false;
    m_nextChatter = Clock::now() + m_plan.chatterPeriod();

    if (m_opts.inputsToggleSec > 0) {
        m_togglePeriod = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::duration<double>(m_opts.inputsToggleSec));
        m_nextToggle = Clock::now() + m_togglePeriod;
    }
    return true;
}

// libmodbus, having seen a request for another slave, takes the next frame
// for that slave's reply and drops it. Only our tool talks on this line, so
// that next frame is a request of ours: a fresh context forgets the skip.
bool DeviceServer::resetReceiver(QString *error)
{
    if (m_rx)
        modbus_free(m_rx);
    // Never connected: the name is not opened, the pty master is the socket.
    m_rx = modbus_new_rtu("pty-master", 9600, 'N', 8, 1);
    if (!m_rx || modbus_set_slave(m_rx, m_plan.slave()) != 0 || modbus_set_socket(m_rx, m_line) != 0
        || modbus_set_byte_timeout(m_rx, 0, kByteTimeoutUs) != 0) {
        *error = QStringLiteral("libmodbus line context: %1").arg(QString::fromLocal8Bit(modbus_strerror(errno)));
        return false;
    }
    return true;
}

bool DeviceServer::run()
{
    while (!stopRequested()) {
        dumpOnRequest();
        Clock::time_point now = Clock::now();
        toggleInputsIfDue(now);
        chatterIfDue(now);
        sendDueReplies(now);
        sendDueCopies(now);

        Clock::time_point wake = now + kMaxIdle;
        if (!m_pending.empty())
            wake = std::min(wake, m_pending.front().due);
        if (!m_late.empty())
            wake = std::min(wake, m_late.front().due);
        if (!m_copies.empty())
            wake = std::min(wake, m_copies.front().due);
        if (m_togglePeriod.count() > 0)
            wake = std::min(wake, m_nextToggle);
        if (m_plan.chatterPeriod().count() > 0)
            wake = std::min(wake, m_nextChatter);
        // Rounded up, so the last fraction of a millisecond is not spent spinning on zero timeouts.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(Clock::duration::zero(), wake - now));

        // The line while a client is connected (always, on a pty), and the listener.
        pollfd pfd[2] = {{m_line, POLLIN, 0}, {m_listener, POLLIN, 0}};
        const int n = ::poll(pfd, 2, static_cast<int>(wait.count()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "alarmcfg-sim: poll: %s\n", std::strerror(errno));
            return false;
        }
        if (n == 0)
            continue;
        // A client that went is let go before a new one is taken (whose
        // descriptor may well have the same number).
        const bool gone = m_listener >= 0 && m_line >= 0 && pfd[0].revents
                          && (pfd[0].revents & (POLLERR | POLLHUP) || clientClosed());
        if (gone)
            dropClient();
        if (pfd[1].revents & POLLIN)
            acceptClient();
        if (gone || m_line < 0 || pfd[0].revents == 0)
            continue;
        if (pfd[0].revents & (POLLERR | POLLNVAL)) {
            std::fprintf(stderr, "alarmcfg-sim: the pty failed\n");
            return false;
        }
        if (pfd[0].revents & POLLIN)
            serveRequest(Clock::now());
        else if (pfd[0].revents & POLLHUP)
            ::usleep(50'000); // cannot happen while we hold the slave side; never spin on it
    }
    return true;
}

void DeviceServer::acceptClient()
{
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return;
    if (m_line >= 0) {
        ::close(client); // busy: one client at a time
        return;
    }
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_line = client;
    QString error;
    if (!resetReceiver(&error))
        std::fprintf(stderr, "alarmcfg-sim: %s\n", qPrintable(error));
}

bool DeviceServer::clientClosed() const
{
    char byte;
    return ::recv(m_line, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void DeviceServer::dropClient()
{
    ::close(m_line);
    m_line = -1;
}

void DeviceServer::serveRequest(Clock::time_point receivedAt)
{
    uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(m_rx, req);
    if (length < 0) {
        // Bad CRC, a frame cut short or too long: drop whatever else is
        // queued and wait for the tool to try again.
        discardInput();
        return;
    }
    if (length == 0) {
        QString error;
        if (!resetReceiver(&error))
            std::fprintf(stderr, "alarmcfg-sim: %s\n", qPrintable(error));
        return;
    }
    if (!m_opts.logPath.isEmpty())
        m_log.push_back(QByteArray(reinterpret_cast<const char *>(req), length));
    // A two-wire adapter hears everything the master sends, at once.
    if (m_opts.echo || m_plan.echoesNext())
        sendNow(QByteArray(reinterpret_cast<const char *>(req), length));
    if (req[0] != m_plan.slave())
        return; // a broadcast: the controller only answers its own address
    // At another rate than its own the device hears no request, only noise.
    if (m_plan.onlyAtBaud() && m_toolSideRate && m_toolSideRate() != m_plan.onlyAtBaud())
        return;
    ++m_requests;
    const bool write = req[1] != rtu::kReadHoldingRegisters;
    if (m_plan.deaf(write, receivedAt) || !m_plan.answerNext() || m_plan.missesRequest())
        return;
    const long request = m_plan.answered();
    const int readCount = req[1] == rtu::kReadHoldingRegisters ? (req[4] << 8) | req[5] : 0;
    if (m_plan.ignoresRead(readCount))
        return;

    QByteArray reply = buildReply(req, length);
    if (reply.isEmpty() || m_plan.losesReply())
        return;
    if (m_plan.breaksReplies())
        reply = QByteArray(4, '\0');
    Clock::time_point due = receivedAt + std::chrono::milliseconds(m_opts.delayMs)
                            + wireTime(length, static_cast<int>(reply.size()), m_opts.baud);
    // A late reply leaves on its own time, while the device goes on answering
    // the requests after it at once: it reaches the master among their replies.
    if (const std::optional<int> late = m_plan.lateMs()) {
        m_late.push_back({reply, receivedAt + std::chrono::milliseconds(*late), request});
        std::sort(m_late.begin(), m_late.end(), [](const PendingReply &a, const PendingReply &b) { return a.due < b.due; });
        return;
    }
    // Otherwise one frame at a time: a reply never overtakes an earlier one.
    if (!m_pending.empty())
        due = std::max(due, m_pending.back().due);
    m_pending.push_back({reply, due, request});
}

QByteArray DeviceServer::buildReply(const uint8_t *req, int length)
{
    const int function = req[1];
    switch (function) {
    case rtu::kReadHoldingRegisters:
        if (const int refusal = m_plan.readRefusal((req[2] << 8) | req[3], (req[4] << 8) | req[5]))
            return m_encoder.exception(req, static_cast<unsigned>(refusal));
        return m_encoder.reply(req, length, m_mapping);
    case rtu::kWriteSingleRegister:
    case rtu::kWriteMultipleRegisters: {
        const int address = (req[2] << 8) | req[3];
        const int count = function == rtu::kWriteSingleRegister ? 1 : ((req[4] << 8) | req[5]);
        if (m_plan.refusesWrite(address, count))
            return m_encoder.exception(req, rtu::kIllegalDataAddress);
        if (m_plan.dropsWrite(address, count) && address + count <= regmap::kImageRegisters) {
            // The reply confirms the write; the registers keep what they held.
            const std::vector<quint16> kept(m_mapping->tab_registers + address, m_mapping->tab_registers + address + count);
            const QByteArray reply = m_encoder.reply(req, length, m_mapping);
            std::copy(kept.begin(), kept.end(), m_mapping->tab_registers + address);
            return reply;
        }
        return m_encoder.reply(req, length, m_mapping);
    }
    default:
        return m_encoder.exception(req, rtu::kIllegalFunction);
    }
}

void DeviceServer::sendDueReplies(Clock::time_point now)
{
    for (;;) {
        // The earlier of the next in-order reply and the next late one.
        const bool lateFirst = !m_late.empty() && (m_pending.empty() || m_late.front().due < m_pending.front().due);
        std::deque<PendingReply> &queue = lateFirst ? m_late : m_pending;
        if (queue.empty() || queue.front().due > now)
            break;
        QByteArray frame = queue.front().frame;
        const long request = queue.front().request;
        queue.pop_front();
        const FaultPlan::Garbling garbling = m_plan.nextReply(request);
        if (garbling.corrupt)
            frame[frame.size() - 1] = static_cast<char>(frame.back() ^ 0xFF); // CRC high byte
        // A frame from nowhere just before: a whole reply of slave 1 to a
        // one-register read (0x5A5A, CRC and all), as a late reply of some
        // other request would be.
        if (garbling.strayFirst)
            sendNow(QByteArray::fromHex("0103025A5A02DF"));
        // A repeated frame follows the first without a gap, as a faulty
        // device sends it, so both reach the line in one write; or it comes
        // on its own a little later, as a converter that repeats sends it.
        if (garbling.duplicate && garbling.duplicateMs == 0)
            frame += frame;
        else if (garbling.duplicate)
            scheduleCopy(frame, now + std::chrono::milliseconds(garbling.duplicateMs));
        // Bytes that belong to no frame, right behind it: noise, or the start
        // of a frame that never ends.
        if (garbling.trailing)
            frame += QByteArray::fromHex("01 03 7E");
        sendNow(frame);
    }
}

void DeviceServer::scheduleCopy(const QByteArray &frame, Clock::time_point due)
{
    // A copy is not counted as a reply of its own: it goes out as it is.
    m_copies.push_back({frame, due});
    std::sort(m_copies.begin(), m_copies.end(), [](const PendingReply &a, const PendingReply &b) { return a.due < b.due; });
}

void DeviceServer::sendDueCopies(Clock::time_point now)
{
    while (!m_copies.empty() && m_copies.front().due <= now) {
        sendNow(m_copies.front().frame);
        m_copies.pop_front();
    }
}

void DeviceServer::sendNow(const QByteArray &frame)
{
    if (m_line < 0)
        return; // no client: the reply goes nowhere
    qsizetype done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::write(m_line, frame.constData() + done, frame.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The tool's side is full: nobody reads it, so nobody misses the rest.
            std::fprintf(stderr, "alarmcfg-sim: frame dropped: %s\n", n < 0 ? std::strerror(errno) : "short write");
            break;
        }
    }
}

void DeviceServer::toggleInputsIfDue(Clock::time_point now)
{
    if (m_togglePeriod.count() <= 0 || now < m_nextToggle)
        return;
    m_mapping->tab_registers[regmap::kStatusBlock.start + regmap::kInputsOffset] ^= 0x3;
    m_nextToggle += m_togglePeriod;
    if (m_nextToggle <= now)
        m_nextToggle = now + m_togglePeriod; // we were held up; do not flip in a burst
}

void DeviceServer::chatterIfDue(Clock::time_point now)
{
    const auto period = m_plan.chatterPeriod();
    if (period.count() <= 0 || now < m_nextChatter)
        return;
    sendNow(kChatterRequest);
    scheduleCopy(kChatterReply, now + kChatterReplyAfter);
    m_nextChatter += period;
    if (m_nextChatter <= now)
        m_nextChatter = now + period;
}

void DeviceServer::discardInput()
{
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(m_line, buf, sizeof buf);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
}

void DeviceServer::dumpOnRequest()
{
    if (!takeDumpRequest())
        return;
    QString error;
    if (!saveState(&error))
        std::fprintf(stderr, "alarmcfg-sim: %s\n", qPrintable(error));
}

bool DeviceServer::saveState(QString *error) const
{
    // The count first: once the dump is there, the count is too.
    if (!m_opts.countPath.isEmpty()) {
        QString why;
        if (!safefile::write(m_opts.countPath, QByteArray::number(static_cast<qlonglong>(m_requests)) + '\n',
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                 | QFileDevice::ReadOther,
                             &why)) {
            *error = QStringLiteral("cannot write %1: %2").arg(m_opts.countPath, why);
            return false;
        }
    }
    if (!m_opts.logPath.isEmpty()) {
        QByteArray log;
        for (const QByteArray &request : m_log)
            log += request.toHex() + '\n';
        QString why;
        if (!safefile::write(m_opts.logPath, log,
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther,
                             &why)) {
            *error = QStringLiteral("cannot write %1: %2").arg(m_opts.logPath, why);
            return false;
        }
    }
    return m_opts.dumpPath.isEmpty() || imagefile::save(m_opts.dumpPath, image(), error);
}

std::vector<quint16> DeviceServer::image() const
{
    return std::vector<quint16>(m_mapping->tab_registers, m_mapping->tab_registers + regmap::kImageRegisters);
}

} // namespace sim
