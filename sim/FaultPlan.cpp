#include "FaultPlan.h"

#include "Options.h"
#include "ModbusRtu.h"
#include "RegisterMap.h"

#include <algorithm>
#include <cmath>

namespace sim {

FaultPlan::FaultPlan(const Options &opts)
    : m_silent(opts.silent || opts.line.kind == Options::Line::Kind::Silent
               || opts.line.kind == Options::Line::Kind::EchoOnly)
    , m_line(opts.line)
    , m_stopAfter(opts.stopAfter)
    , m_exceptionAddresses(opts.exceptionAddresses)
    , m_corruptEvery(opts.corruptEvery)
    , m_strict(opts.strict)
    , m_dropWriteAddresses(opts.dropWriteAddresses)
    , m_lostReplies(opts.lostReplies)
    , m_missed(opts.missedRequests)
    , m_corrupted(opts.corruptReplies)
    , m_trailing(opts.trailingReplies)
    , m_strays(opts.strayBefore)
    , m_echoFrom(opts.echoFrom)
    , m_silence(opts.silenceAtWrite)
{
    for (const Options::DuplicateReply &d : opts.duplicateReplies)
        m_duplicateReplies.push_back({d.reply, d.ms});
    for (const Options::LateReply &late : opts.lateReplies)
        m_lateReplies.push_back({late.reply, late.ms});
}

std::optional<int> FaultPlan::lateMs() const
{
    for (const auto &[reply, ms] : m_lateReplies)
        if (reply == m_answered)
            return ms;
    return std::nullopt;
}

bool FaultPlan::losesReply() const
{
    return std::find(m_lostReplies.begin(), m_lostReplies.end(), m_answered) != m_lostReplies.end();
}

namespace {
bool holds(const std::vector<long> &numbers, long n)
{
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}
} // namespace

bool FaultPlan::missesRequest() const
{
    return holds(m_missed, m_answered);
}

bool FaultPlan::echoesNext() const
{
    return (m_echoFrom > 0 && m_answered + 1 >= m_echoFrom) || m_line.kind == Options::Line::Kind::EchoOnly;
}

bool FaultPlan::deaf(bool write, std::chrono::steady_clock::time_point now)
{
    if (m_silence && write && ++m_writes == m_silence->write)
        m_deafUntil = now + std::chrono::milliseconds(m_silence->ms);
    return now < m_deafUntil;
}

bool FaultPlan::answerNext()
{
    if (m_silent)
        return false;
    // A flaky line loses its share evenly: request n is lost where the
    // count of lost ones n * share reaches a new whole number.
    ++m_heard;
    if (m_line.kind == Options::Line::Kind::Flaky
        && std::floor(m_heard * m_line.share) > std::floor((m_heard - 1) * m_line.share))
        return false;
    if (m_stopAfter >= 0 && m_answered >= m_stopAfter)
        return false;
    ++m_answered;
    return true;
}

bool FaultPlan::refusesWrite(int address, int count) const
{
    return std::any_of(m_exceptionAddresses.begin(), m_exceptionAddresses.end(),
                       [&](int a) { return a >= address && a < address + count; });
}

int FaultPlan::readRefusal(int start, int count) const
{
    if (m_line.kind == Options::Line::Kind::Foreign
        && !(start >= regmap::kStatusBlock.start && start + count <= regmap::kStatusBlock.start + regmap::kStatusBlock.count))
        return rtu::kIllegalDataAddress;
    return m_strict == Options::Strict::Refuse && count > regmap::kMaxReadRegisters ? rtu::kIllegalDataValue : 0;
}

int FaultPlan::slave() const
{
    return m_line.kind == Options::Line::Kind::Slave ? m_line.slave : regmap::kSlave;
}

int FaultPlan::onlyAtBaud() const
{
    return m_line.kind == Options::Line::Kind::Speed ? m_line.baud : 0;
}

bool FaultPlan::breaksReplies() const
{
    return m_line.kind == Options::Line::Kind::Swapped;
}

std::chrono::milliseconds FaultPlan::chatterPeriod() const
{
    return std::chrono::milliseconds(m_line.kind == Options::Line::Kind::Chatter ? 150 : 0);
}

bool FaultPlan::ignoresRead(int count) const
{
    return m_strict == Options::Strict::Ignore && count > regmap::kMaxReadRegisters;
}

bool FaultPlan::dropsWrite(int address, int count) const
{
    return std::any_of(m_dropWriteAddresses.begin(), m_dropWriteAddresses.end(),
                       [&](int a) { return a >= address && a < address + count; });
}

FaultPlan::Garbling FaultPlan::nextReply(long request)
{
    ++m_sent;
    Garbling g;
    g.corrupt = (m_corruptEvery > 0 && m_sent % m_corruptEvery == 0) || holds(m_corrupted, request);
    g.trailing = holds(m_trailing, request);
    g.strayFirst = holds(m_strays, request);
    for (const auto &[reply, ms] : m_duplicateReplies)
        if (reply == m_sent) {
            g.duplicate = true;
            g.duplicateMs = ms;
        }
    return g;
}

} // namespace sim
