#pragma once
// Which requests the simulated device answers, refuses or garbles, as chosen
// on the command line.

#include "Options.h"

#include <QtGlobal>

#include <chrono>
#include <optional>
#include <vector>

namespace sim {


class FaultPlan {
public:
    explicit FaultPlan(const Options &opts);

    // Called once for each well-formed request to slave 1; false means the
    // device stays silent and acts on nothing.
    bool answerNext();
    // For the request answerNext() just accepted: how long after it its
    // reply leaves, when the options make it late.
    std::optional<int> lateMs() const;
    // For the request answerNext() just accepted: its reply is lost on the line.
    bool losesReply() const;
    // For the request answerNext() just accepted: the device never heard it.
    bool missesRequest() const;
    // The request about to be counted is sent back before anything else.
    bool echoesNext() const;
    // A write arrived at `now`; true while the device hears nothing.
    bool deaf(bool write, std::chrono::steady_clock::time_point now);
    // A write of count registers from address that must be refused with
    // exception 02 and store nothing.
    bool refusesWrite(int address, int count) const;
    struct Garbling {
        bool corrupt = false;   // garble the CRC
        bool duplicate = false; // send the frame twice
        int duplicateMs = 0;    // the copy this long after the first; 0: back to back
        bool trailing = false;  // bytes of no frame follow at once
        bool strayFirst = false; // a frame nobody asked for goes first
    };
    // The exception a read of count registers from start is refused with,
    // by a strict device or one of another kind; 0 when it is answered.
    int readRefusal(int start, int count) const;
    bool ignoresRead(int count) const;
    // The slave address the device answers at.
    int slave() const;
    // The rate the tool's side must be set to for the device to hear it; 0: any.
    int onlyAtBaud() const;
    // Every reply goes out as a few 0x00 bytes: a break, as A and B swapped give.
    bool breaksReplies() const;
    // Another master polls slave 7 this often; zero: none does.
    std::chrono::milliseconds chatterPeriod() const;
    // A write of count registers from address that is confirmed but not
    // stored, as a faulty device might.
    bool dropsWrite(int address, int count) const;
    // Called once for each reply about to be sent: request is the number of
    // the request it answers.
    Garbling nextReply(long request);
    long answered() const { return m_answered; }

private:
    bool m_silent;
    Options::Line m_line;
    long m_heard = 0; // requests to the device, heard or not (flaky)
    long m_stopAfter;
    std::vector<int> m_exceptionAddresses;
    int m_corruptEvery;
    std::vector<std::pair<long, int>> m_duplicateReplies;
    Options::Strict m_strict;
    std::vector<int> m_dropWriteAddresses;
    std::vector<long> m_lostReplies;
    std::vector<std::pair<long, int>> m_lateReplies;
    std::vector<long> m_missed, m_corrupted, m_trailing, m_strays;
    long m_echoFrom;
    std::optional<Options::Silence> m_silence;
    long m_writes = 0;
    std::chrono::steady_clock::time_point m_deafUntil;
    long m_answered = 0;
    long m_sent = 0;
};

} // namespace sim
