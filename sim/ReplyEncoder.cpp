#include "ReplyEncoder.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

ReplyEncoder::~ReplyEncoder()
{
    // modbus_free does not close the socket we handed over.
    if (m_ctx)
        modbus_free(m_ctx);
    if (m_libmodbusEnd >= 0)
        ::close(m_libmodbusEnd);
    if (m_ourEnd >= 0)
        ::close(m_ourEnd);
}

bool ReplyEncoder::init(int slave, QString *error)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        *error = QStringLiteral("socketpair: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_libmodbusEnd = fds[0];
    m_ourEnd = fds[1];
    const int flags = ::fcntl(m_ourEnd, F_GETFL);
    ::fcntl(m_ourEnd, F_SETFL, flags | O_NONBLOCK);

    // The device name is never opened: the context only frames and writes to
    // the socket set below.
    m_ctx = modbus_new_rtu("reply-encoder", 9600, 'N', 8, 1);
    if (!m_ctx || modbus_set_slave(m_ctx, slave) != 0 || modbus_set_socket(m_ctx, m_libmodbusEnd) != 0) {
        *error = QStringLiteral("libmodbus reply context: %1").arg(QString::fromLocal8Bit(modbus_strerror(errno)));
        return false;
    }
    return true;
}

QByteArray ReplyEncoder::reply(const uint8_t *req, int length, modbus_mapping_t *mapping)
{
    collect(); // nothing should be left over; make sure of it
    if (modbus_reply(m_ctx, req, length, mapping) < 0)
        return {};
    return collect();
}

QByteArray ReplyEncoder::exception(const uint8_t *req, unsigned int code)
{
    collect();
    if (modbus_reply_exception(m_ctx, req, code) < 0)
        return {};
    return collect();
}

QByteArray ReplyEncoder::collect()
{
    QByteArray out;
    char buf[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const ssize_t n = ::read(m_ourEnd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: the whole frame is in
    }
    return out;
}

} // namespace sim
