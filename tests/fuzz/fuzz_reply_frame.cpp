// Our own checks of a reply frame, on any request this tool can build and any
// bytes coming back: only a right answer may pass, and its values must be the
// registers it carries.
#include "FuzzSupport.h"
#include "ReplyFrame.h"

namespace {

QByteArray bytesOf(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), static_cast<qsizetype>(v.size()));
}

int wordAt(const QByteArray &b, int at)
{
    return (quint8(b[at]) << 8) | quint8(b[at + 1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const quint8 slave = in.ConsumeIntegral<quint8>();
    // Mostly counts near the Modbus limits, sometimes any int.
    const int start = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(0, 1100);
    const int count = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-1, 130);

    QByteArray request;
    const int requestKind = in.ConsumeIntegralInRange<int>(0, 3);
    switch (requestKind) {
    case 0: request = frame::readRequest(slave, start, count); break;
    case 1: request = frame::writeSingleRequest(slave, start, in.ConsumeIntegral<quint16>()); break;
    case 2: {
        QVector<quint16> values(in.ConsumeIntegralInRange<int>(0, 130));
        for (quint16 &v : values)
            v = in.ConsumeIntegral<quint16>();
        request = frame::writeBlockRequest(slave, start, values);
        break;
    }
    default: request = bytesOf(in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 12))); break;
    }

    // The reply: raw bytes, or bytes with a right CRC so that the checks after
    // the CRC are reached, optionally opening like a right answer would.
    QByteArray reply;
    const int replyKind = in.ConsumeIntegralInRange<int>(0, 3);
    if (replyKind == 3 && request.size() >= 2) {
        if (quint8(request[1]) == frame::kReadHoldingRegisters) {
            reply = request.left(2);
            reply.append(static_cast<char>(in.ConsumeBool() ? 2 * (count & 0xFFFF) : in.ConsumeIntegral<quint8>()));
        } else {
            reply = request.left(6); // a write is answered by its echo
        }
    }
    reply += bytesOf(in.ConsumeRemainingBytes<uint8_t>());
    if (replyKind >= 2)
        reply = frame::withCrc(reply);

    const bool wantValues = replyKind != 1;
    QVector<quint16> values(3, 0xBEEF); // stale values a read must replace
    const QString error = frame::checkReply(request, reply, wantValues ? &values : nullptr);
    if (!error.isEmpty())
        return 0;

    // Only a whole, intact reply from the asked slave passes.
    FUZZ_CHECK(request.size() >= 6 && reply.size() >= 5);
    FUZZ_CHECK(frame::withCrc(reply.left(reply.size() - 2)) == reply);
    FUZZ_CHECK(reply[0] == request[0] && reply[1] == request[1]);
    const QByteArray body = reply.left(reply.size() - 2);
    switch (quint8(request[1])) {
    case frame::kReadHoldingRegisters: {
        const int asked = wordAt(request, 4);
        FUZZ_CHECK(reply.size() == 5 + 2 * asked && quint8(reply[2]) == 2 * asked);
        if (requestKind == 0)
            FUZZ_CHECK(asked == (count & 0xFFFF));
        if (wantValues) {
            FUZZ_CHECK(values.size() == asked);
            for (int i = 0; i < asked; ++i)
                FUZZ_CHECK(values[i] == wordAt(reply, 3 + 2 * i));
        }
        break;
    }
    case frame::kWriteSingleRegister:
    case frame::kWriteMultipleRegisters:
        FUZZ_CHECK(body == request.left(6)); // the echo of address and value or count
        break;
    default:
        std::fprintf(stderr, "a reply to unsupported function %d passed\n", quint8(request[1]));
        std::abort();
    }
    return 0;
}
