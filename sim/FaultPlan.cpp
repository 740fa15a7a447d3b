#include "FaultPlan.h"

#include "Options.h"
#include "RegisterMap.h"

#include <algorithm>

namespace sim {

FaultPlan::FaultPlan(const Options &opts)
    : m_silent(opts.silent)
    , m_stopAfter(opts.stopAfter)
    , m_exceptionAddresses(opts.exceptionAddresses)
    , m_corruptEvery(opts.corruptEvery)
    , m_strict(opts.strict)
    , m_dropWriteAddresses(opts.dropWriteAddresses)
    , m_lostReplies(opts.lostReplies)
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

bool FaultPlan::answerNext()
{
    if (m_silent)
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

bool FaultPlan::refusesRead(int count) const
{
    return m_strict == Options::Strict::Refuse && count > regmap::kMaxReadRegisters;
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

FaultPlan::Garbling FaultPlan::nextReply()
{
    ++m_sent;
    Garbling g;
    g.corrupt = m_corruptEvery > 0 && m_sent % m_corruptEvery == 0;
    for (const auto &[reply, ms] : m_duplicateReplies)
        if (reply == m_sent) {
            g.duplicate = true;
            g.duplicateMs = ms;
        }
    return g;
}

} // namespace sim
