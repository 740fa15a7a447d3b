#include "WriteFailures.h"

#include <csignal>

namespace cli {

void letWritesFailInsteadOfSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace cli
