// A Windows console: a control handler for Ctrl-C, UTF-8 output, and
// quoting by the rules Windows programs split their command line with.
#include "Console.h"

#include "CliText.h"

#include <windows.h>

#include <atomic>

namespace cli {

namespace {
std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own. TRUE keeps the process alive until the port
// threads have stopped after their exchange in flight.
BOOL WINAPI onControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        g_interrupted = true;
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace

void setUpConsole()
{
    // PCRE2's JIT stack is freed when a thread ends, and with mingw's
    // threads that crashed the program as a port thread ended. The patterns
    // here are short: the interpreter is fast enough. Read once, before the
    // first pattern is compiled.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
    SetConsoleCtrlHandler(onControl, TRUE);
    // Messages name Chinese fields and texts; the console's own code page would garble them.
    SetConsoleOutputCP(CP_UTF8);
    // The progress line is redrawn with VT sequences, which a console shows only when asked to.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode))
        SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool interrupted()
{
    return g_interrupted;
}

void chooseHeadlessGraphics()
{
    // The windows platform draws into a PDF without showing anything, on any
    // session a console runs in.
}

QString commandWord(const QString &word)
{
    return windowsQuoted(word);
}

} // namespace cli
