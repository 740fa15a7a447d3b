#include "HostLookup.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace hostlookup {

Result lookUp(const QString &host, std::chrono::milliseconds within)
{
    QHostAddress address;
    if (address.setAddress(host))
        return Result{{address}, Result::Failure::None, QString()};

    // Shared with the thread, which may outlive this call.
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        Result result;
    };
    const auto shared = std::make_shared<Shared>();
    const QString name = host;
    // No Qt object on that thread, so Qt never adopts it.
    std::thread([shared, name] {
        Result r = resolve(name);
        const std::lock_guard<std::mutex> g(shared->lock);
        shared->result = std::move(r);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> g(shared->lock);
    if (!shared->done.wait_for(g, within, [&] { return shared->finished; }))
        return Result{{}, Result::Failure::TimedOut, QStringLiteral("no answer to the name's look-up within %1 s").arg(within.count() / 1000.0)};
    return shared->result;
}

} // namespace hostlookup
