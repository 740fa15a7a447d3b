#pragma once
// A write to a closed pipe or past a file size limit ends a program by a
// signal (SIGPIPE, SIGXFSZ) unless it is ignored: then the write fails with
// EPIPE or EFBIG, and the command line says so and exits 3 instead of
// ending silently. Each platform has its own file.

namespace cli {

void letWritesFailInsteadOfSignals();

} // namespace cli
