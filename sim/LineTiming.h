#pragma once
// How long a request and its reply occupy a real RS-485 line.

#include <chrono>

namespace sim {

// Time from the first byte of a request to the last byte of its reply at
// baud bits per second: 10 bits a byte (start, 8 data, stop) plus the
// silence that ends the request. The silence before the next request is the
// master's to keep. Zero when baud is 0 (no line to emulate).
std::chrono::microseconds wireTime(int requestBytes, int replyBytes, int baud);

} // namespace sim
