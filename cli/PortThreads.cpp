#include "PortThreads.h"

#include "Console.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

namespace cli {

namespace {

class JobThread : public QThread {
public:
    explicit JobThread(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

} // namespace

std::vector<int> runOnThreads(const std::vector<std::function<int()>> &jobs, int fallback, int leaveBehindMs,
                              const std::function<int(const std::vector<size_t> &)> &leftBehind)
{
    std::vector<int> results(jobs.size(), fallback);
    // One byte for each job: a std::vector<bool> would share a word between
    // jobs, each thread writing its neighbours' flags too.
    std::vector<char> done(jobs.size(), 1);
    for (size_t i = 0; i < jobs.size(); ++i)
        done[i] = !jobs[i];
    std::mutex lock;
    std::condition_variable ended;
    std::vector<std::unique_ptr<QThread>> threads;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i])
            continue;
        threads.push_back(std::make_unique<JobThread>([&, i] {
            const int result = jobs[i]();
            const std::lock_guard<std::mutex> g(lock);
            results[i] = result;
            done[i] = true;
            ended.notify_all();
        }));
        threads.back()->start();
    }
    std::unique_lock<std::mutex> g(lock);
    std::optional<std::chrono::steady_clock::time_point> interruptSeen;
    while (std::find(done.begin(), done.end(), 0) != done.end()) {
        ended.wait_for(g, std::chrono::milliseconds(kInterruptLookMs));
        if (!interrupted())
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (!interruptSeen)
            interruptSeen = now;
        if (now - *interruptSeen < std::chrono::milliseconds(leaveBehindMs))
            continue;
        std::vector<size_t> behind;
        for (size_t i = 0; i < done.size(); ++i)
            if (!done[i])
                behind.push_back(i);
        g.unlock();
        std::_Exit(leftBehind(behind));
    }
    g.unlock();
    // Each thread has returned from its job; wait() sees it end, and the
    // deletes free its Qt data here, on this thread.
    for (const std::unique_ptr<QThread> &t : threads)
        t->wait();
    threads.clear();
    return results;
}

} // namespace cli
