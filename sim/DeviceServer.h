#pragma once
// The simulated controller: reads requests off the line, lets libmodbus answer
// them from the register image and sends the replies, held back or garbled as
// the options say.

#include "FaultPlan.h"
#include "Options.h"
#include "ReplyEncoder.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include <modbus/modbus.h>

namespace sim {

class DeviceServer {
public:
    // On a pseudo-terminal's master side.
    DeviceServer(const Options &opts, int lineFd);
    // On the connections a listening socket accepts, one client at a time.
    struct Listening {
        int fd;
    };
    DeviceServer(const Options &opts, Listening listener);
    ~DeviceServer();
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    bool init(const std::vector<quint16> &image, QString *error);
    // The rate the tool's side of the line is set to, for --line speed:BAUD.
    void setToolSideRate(std::function<int()> rate) { m_toolSideRate = std::move(rate); }

    // Serves until SIGTERM or SIGINT, dumping the image on SIGUSR1. False on a
    // line error that ends the simulation.
    bool run();

    std::vector<quint16> image() const;
    // Writes the request count and the image where the options say.
    bool saveState(QString *error) const;

private:
    using Clock = std::chrono::steady_clock;
    struct PendingReply {
        QByteArray frame;
        Clock::time_point due;
        long request = 0; // the request it answers, counted from 1
    };

    bool resetReceiver(QString *error);
    void serveRequest(Clock::time_point receivedAt);
    QByteArray buildReply(const uint8_t *req, int length);
    void sendDueReplies(Clock::time_point now);
    void scheduleCopy(const QByteArray &frame, Clock::time_point due);
    void sendDueCopies(Clock::time_point now);
    void sendNow(const QByteArray &frame);
    void toggleInputsIfDue(Clock::time_point now);
    // --line chatter: another master's request to slave 7, and its reply after it.
    void chatterIfDue(Clock::time_point now);
    void discardInput();
    void dumpOnRequest();
    // The listening socket: a new client becomes the line, unless one is
    // served already, whose connection stands; the new one is ended at once.
    void acceptClient();
    // The client's connection ended: the line is gone until the next one.
    void dropClient();
    bool clientClosed() const;

    const Options m_opts;
    int m_line;          // -1 while no client is connected
    const int m_listener = -1;
    FaultPlan m_plan;
    ReplyEncoder m_encoder;
    modbus_t *m_rx = nullptr;
    modbus_mapping_t *m_mapping = nullptr;
    std::deque<PendingReply> m_pending; // in the order of their requests
    std::deque<PendingReply> m_late;    // --late replies, by due time
    std::deque<PendingReply> m_copies;  // --duplicate-reply N:MS copies, by due time
    std::chrono::microseconds m_togglePeriod{0};
    Clock::time_point m_nextToggle;
    long m_requests = 0; // requests to slave 1 received, answered or not
    std::vector<QByteArray> m_log; // every request heard, for --log
    std::function<int()> m_toolSideRate;
    Clock::time_point m_nextChatter;
};

} // namespace sim
