#pragma once
// How long a request and its reply occupy a real RS-485 line.

#include <chrono>

namespace sim {

// Wire time of a request and its reply at baud bits per second: 10 bits a
// byte (start, 8 data, stop) plus 3.5 characters of silence before each of
// the two frames. Zero when baud is 0 (no line to emulate).
std::chrono::microseconds wireTime(int requestBytes, int replyBytes, int baud);

} // namespace sim
