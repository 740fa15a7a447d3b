// alarmcfg-fault-proxy: a TCP proxy on 127.0.0.1 between the tool and a
// server (alarmcfg-sim --tcp), bringing one of the faults networks bring:
//   split       every reply cut into 1-byte pieces
//   join        one reply held back and sent joined to the next in one piece
//   delay       150 ms added to every piece, both ways
//   close-read  the connection closed after half of one reply came through
//   close-write the connection closed after half of one request went through
//   close-sent  the connection closed just after one request went through,
//               before its reply
// --at N picks the request (counted from 1 over every connection; with
// --writes, the Nth write request, function 06 or 16) whose reply or request
// is faulted. --then-refuse ends the listener once a close has happened, so
// that the connection cannot be made again. --fired FILE is created when the
// fault happened. One client at a time, as a serial device server: a second
// connection is ended at once. Prints tcp://127.0.0.1:PORT on its first line.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<char>;

constexpr auto kDelay = std::chrono::milliseconds(150);
constexpr auto kPieceGap = std::chrono::milliseconds(2);

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

struct Options {
    std::string to;
    std::string fault = "none";
    long at = 0;
    bool writes = false;
    bool thenRefuse = false;
    std::string fired;
};

struct Piece {
    Clock::time_point due;
    Bytes bytes;
};

int connectTo(const std::string &hostPort)
{
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::atoi(hostPort.c_str() + colon + 1)));
    if (::inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &a.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void sendAll(int fd, const char *data, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w <= 0) {
            if (w < 0 && errno == EINTR)
                continue;
            return;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
}

class Proxy {
public:
    explicit Proxy(const Options &o) : m_o(o) {}

    bool listen()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
            || ::listen(m_listener, 4) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &length) != 0)
            return false;
        std::printf("tcp://127.0.0.1:%d\n", ntohs(a.sin_port));
        std::fflush(stdout);
        return true;
    }

    void run()
    {
        while (!g_stop) {
            pollfd fds[3] = {{m_listener, POLLIN, 0}, {m_client, POLLIN, 0}, {m_server, POLLIN, 0}};
            ::poll(fds, 3, waitMs());
            forwardDue();
            if (fds[0].revents & POLLIN)
                accept();
            if (m_client >= 0 && fds[1].revents)
                fromClient();
            if (m_server >= 0 && fds[2].revents)
                fromServer();
        }
        endSession();
    }

private:
    int waitMs() const
    {
        int ms = 50;
        for (const std::deque<Piece> *q : {&m_toServer, &m_toClient})
            if (!q->empty())
                ms = std::min<int>(ms, static_cast<int>(std::max<long>(
                                           0, std::chrono::duration_cast<std::chrono::milliseconds>(q->front().due - Clock::now()).count())));
        return ms;
    }

    void accept()
    {
        const int c = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        if (m_client >= 0) {
            ::close(c); // busy
            return;
        }
        m_server = connectTo(m_o.to);
        if (m_server < 0) {
            ::close(c);
            return;
        }
        const int on = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_client = c;
    }

    void endSession()
    {
        for (int *fd : {&m_client, &m_server})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        m_toServer.clear();
        m_toClient.clear();
        m_held.clear();
        m_holdNext = m_cutNext = false;
    }

    void fire()
    {
        if (m_fired)
            return;
        m_fired = true;
        if (!m_o.fired.empty())
            if (FILE *f = std::fopen(m_o.fired.c_str(), "w"))
                std::fclose(f);
    }

    // A close fault ends the session, and with --then-refuse every later one.
    void closeByFault()
    {
        fire();
        endSession();
        if (m_o.thenRefuse && m_listener >= 0) {
            ::close(m_listener);
            m_listener = -1;
        }
    }

    Bytes readSome(int fd, bool *ended)
    {
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        *ended = n <= 0 && !(n < 0 && errno == EINTR);
        return n > 0 ? Bytes(buf, buf + n) : Bytes();
    }

    void fromClient()
    {
        bool ended = false;
        const Bytes request = readSome(m_client, &ended);
        if (ended) {
            endSession();
            return;
        }
        if (request.empty())
            return;
        ++m_requests;
        const bool write = request.size() > 1 && (request[1] == 0x06 || request[1] == 0x10);
        if (write)
            ++m_writes;
        const bool target = !m_fired && (m_o.writes ? write && m_writes == m_o.at : m_requests == m_o.at);
        if (target && m_o.fault == "close-write") {
            sendAll(m_server, request.data(), request.size() / 2);
            closeByFault();
            return;
        }
        if (m_o.fault == "delay") {
            m_toServer.push_back({Clock::now() + kDelay, request});
            return;
        }
        sendAll(m_server, request.data(), request.size());
        if (target && m_o.fault == "close-sent") {
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // on its way to the server
            closeByFault();
        } else if (target && m_o.fault == "close-read") {
            m_cutNext = true;
        } else if (target && m_o.fault == "join") {
            m_holdNext = true;
        }
    }

    void fromServer()
    {
        bool ended = false;
        Bytes reply = readSome(m_server, &ended);
        if (ended) {
            endSession();
            return;
        }
        if (m_cutNext) {
            sendAll(m_client, reply.data(), std::max<size_t>(1, reply.size() / 2));
            closeByFault();
            return;
        }
        if (m_holdNext) {
            m_holdNext = false;
            m_held = reply;
            fire();
            return;
        }
        if (!m_held.empty()) {
            reply.insert(reply.begin(), m_held.begin(), m_held.end());
            m_held.clear();
        }
        if (m_o.fault == "delay") {
            m_toClient.push_back({Clock::now() + kDelay, reply});
            fire();
            return;
        }
        if (m_o.fault == "split") {
            for (const char c : reply) {
                sendAll(m_client, &c, 1);
                std::this_thread::sleep_for(kPieceGap);
            }
            fire();
            return;
        }
        sendAll(m_client, reply.data(), reply.size());
    }

    void forwardDue()
    {
        const Clock::time_point now = Clock::now();
        for (auto [queue, fd] : {std::make_pair(&m_toServer, m_server), std::make_pair(&m_toClient, m_client)})
            while (!queue->empty() && queue->front().due <= now) {
                if (fd >= 0)
                    sendAll(fd, queue->front().bytes.data(), queue->front().bytes.size());
                queue->pop_front();
            }
    }

    const Options m_o;
    int m_listener = -1;
    int m_client = -1;
    int m_server = -1;
    long m_requests = 0;
    long m_writes = 0;
    bool m_fired = false;
    bool m_holdNext = false;
    bool m_cutNext = false;
    Bytes m_held;
    std::deque<Piece> m_toServer, m_toClient;
};

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--to" && hasValue)
            o.to = argv[++i];
        else if (a == "--fault" && hasValue)
            o.fault = argv[++i];
        else if (a == "--at" && hasValue)
            o.at = std::atol(argv[++i]);
        else if (a == "--fired" && hasValue)
            o.fired = argv[++i];
        else if (a == "--writes")
            o.writes = true;
        else if (a == "--then-refuse")
            o.thenRefuse = true;
        else {
            std::fprintf(stderr, "usage: %s --to HOST:PORT [--fault split|join|delay|close-read|close-write|close-sent] "
                                 "[--at N] [--writes] [--then-refuse] [--fired FILE]\n", argv[0]);
            return 2;
        }
    }
    const char *faults[] = {"none", "split", "join", "delay", "close-read", "close-write", "close-sent"};
    if (o.to.empty() || std::none_of(std::begin(faults), std::end(faults), [&](const char *f) { return o.fault == f; })) {
        std::fprintf(stderr, "%s: --to HOST:PORT and a known --fault are needed\n", argv[0]);
        return 2;
    }
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    Proxy proxy(o);
    if (!proxy.listen()) {
        std::fprintf(stderr, "%s: cannot listen: %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    proxy.run();
    return 0;
}
