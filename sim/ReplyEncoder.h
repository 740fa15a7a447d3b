#pragma once
// Builds reply frames with libmodbus without sending them: libmodbus writes
// the reply into one end of a socketpair and we pick the bytes up at the
// other, so the serving loop can hold them back or garble them before they
// reach the line.

#include <QByteArray>

#include <modbus/modbus.h>

namespace sim {

class ReplyEncoder {
public:
    ReplyEncoder() = default;
    ~ReplyEncoder();
    ReplyEncoder(const ReplyEncoder &) = delete;
    ReplyEncoder &operator=(const ReplyEncoder &) = delete;

    bool init(int slave, QString *error);

    // The reply to req (a whole RTU frame as modbus_receive returned it),
    // CRC included; libmodbus applies writes to mapping. Empty when libmodbus
    // sends nothing.
    QByteArray reply(const uint8_t *req, int length, modbus_mapping_t *mapping);
    QByteArray exception(const uint8_t *req, unsigned int code);

private:
    QByteArray collect();

    modbus_t *m_ctx = nullptr;
    int m_libmodbusEnd = -1;
    int m_ourEnd = -1;
};

} // namespace sim
