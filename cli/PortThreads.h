#pragma once
// The threads the ports' commands run on. Each is a QThread, started and
// waited for here and deleted before the commands' results are returned, so
// that every thread's Qt data is made and freed while the program runs, and
// no thread but main is left when it exits. A plain thread that makes a
// QObject (a link, a file) would be adopted by Qt instead, and on Windows a
// watcher thread of Qt's would free its data some time after it ended: woken
// as main was, that thread could still be at work while QCoreApplication and
// the process were torn down, and the program crashed as it exited.

#include <functional>
#include <vector>

namespace cli {

// Runs every job that is set on a thread of its own, all at once, and returns
// their results in order once all have ended; an empty job gives fallback.
// After an interrupt, jobs still running leaveBehindMs later are left
// behind: leftBehind is told their indices, and the program ends at once
// with the status it returns, as they may use the caller's data.
std::vector<int> runOnThreads(const std::vector<std::function<int()>> &jobs, int fallback, int leaveBehindMs,
                              const std::function<int(const std::vector<size_t> &)> &leftBehind);

} // namespace cli
