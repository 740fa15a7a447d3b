// A POSIX terminal: signals, UTF-8 already, shell quoting, drawing without a display.
#include "Console.h"

#include "CliText.h"

#include <atomic>
#include <csignal>

namespace cli {

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted = true;
}
} // namespace

void setUpConsole()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a frame being written is written whole
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A write to a closed pipe or past a file size limit would end the program
    // by a signal; ignored, the write fails with EPIPE or EFBIG, and the
    // command says so and exits 3 instead of ending silently.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

bool interrupted()
{
    return g_interrupted;
}

void chooseHeadlessGraphics()
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // whatever the desktop would choose: there may be no display
}

QString commandWord(const QString &word)
{
    return shellQuoted(word);
}

} // namespace cli
