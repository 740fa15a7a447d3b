#pragma once
// Modbus RTU facts, named once: the function codes this tool uses, the size
// of a frame, and the silence that ends a frame on the line. The link,
// the simulator and the benchmark all take them from here.

#include <chrono>

namespace rtu {

constexpr unsigned char kReadHoldingRegisters = 0x03;
constexpr unsigned char kWriteSingleRegister = 0x06;
constexpr unsigned char kWriteMultipleRegisters = 0x10;
constexpr unsigned char kExceptionFlag = 0x80; // set in the function code of an exception reply

constexpr unsigned char kIllegalFunction = 0x01;
constexpr unsigned char kIllegalDataAddress = 0x02;
constexpr unsigned char kIllegalDataValue = 0x03;

constexpr int kMaxFrameBytes = 256;
constexpr int kCrcBytes = 2;

// On 8N1 a character is 10 bits: start, 8 data, stop.
constexpr int kBitsPerCharacter = 10;

// A frame ends with 3.5 characters of silence; above 19200 baud the gap is
// fixed at 1750 microseconds.
constexpr int kFixedFrameGapAboveBaud = 19200;
constexpr std::chrono::microseconds kFixedFrameGap{1750};

// The time one character occupies the line at baud, rounded up.
constexpr std::chrono::microseconds characterTime(int baud)
{
    return std::chrono::microseconds(baud > 0 ? (kBitsPerCharacter * 1'000'000LL + baud - 1) / baud : 0);
}

// The silence that ends a frame at baud: 3.5 characters, rounded up.
constexpr std::chrono::microseconds frameGap(int baud)
{
    if (baud <= 0 || baud > kFixedFrameGapAboveBaud)
        return kFixedFrameGap;
    constexpr long long gapBits = 7LL * kBitsPerCharacter / 2;
    return std::chrono::microseconds((gapBits * 1'000'000 + baud - 1) / baud);
}

} // namespace rtu
