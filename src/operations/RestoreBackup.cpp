// Putting a backup back: only what differs is written, and everything is
// read back.
#include "DeviceSession.h"

#include "BlockDecoding.h"
#include "RegisterMap.h"

#include <algorithm>

namespace session {

RestoreResult DeviceSession::restore(const backup::Backup &b, const RestoreOptions &options)
{
    RestoreResult result;
    const std::vector<params::PlannedWrite> all = backup::restoreWrites(b);
    result.blocks = static_cast<int>(all.size());
    for (const params::PlannedWrite &w : all)
        result.registers += static_cast<int>(w.registers.size());

    // The firmware first: registers of one version may mean something else on another.
    const Outcome<QVector<quint16>> status = read(regmap::kStatusBlock.start, regmap::kStatusBlock.count);
    const std::optional<blocks::Status> decoded = status ? blocks::decodeStatus(*status, regmap::kStatusBlock.count)
                                                         : std::nullopt;
    if (!decoded) {
        result.problem = status.problem;
        return result;
    }
    result.deviceFirmware = decoded->firmware;
    // A backup that names no firmware may be of any: it is refused as one of other firmware.
    if (b.firmware != result.deviceFirmware && !options.force) {
        result.stage = RestoreResult::Stage::OtherFirmware;
        return result;
    }

    // Only the blocks that differ are written: a block the failed write never
    // reached stays untouched, even where the device refuses writes. A text
    // slot goes from its start through its last register that differs, as the
    // write that changed it wrote it; the other blocks whole.
    const Outcome<std::vector<Mismatch>> before = compare(all, options.readProgress);
    if (!before) {
        result.problem = before.problem;
        return result;
    }
    for (params::PlannedWrite w : all) {
        int last = -1;
        for (const Mismatch &m : *before)
            if (m.address >= w.start && m.address < w.start + w.registers.size())
                last = std::max(last, m.address);
        if (last < 0)
            continue;
        if (regmap::isTextField(w.start))
            w.registers.resize(last - w.start + 1);
        result.writes.push_back(w);
    }
    const std::vector<ModbusLink::BlockWrite> writes = linkWrites(result.writes);
    const int total = static_cast<int>(writes.size());
    if (options.stop && options.stop() && total > 0) {
        result.stage = RestoreResult::Stage::Stopped;
        result.problem = {LinkFailure::Interrupted, QStringLiteral("interrupted"), {}, 0};
        return result;
    }
    const ModbusLink::WriteResult sent = m_link.WriteBlocks(writes, [&](int confirmed) {
        if (options.writeProgress)
            options.writeProgress(confirmed, total);
        return !options.stop || !options.stop();
    });
    result.written = sent.confirmed;
    if (!sent.ok) {
        result.stage = RestoreResult::Stage::Stopped;
        result.problem = lastProblem();
        return result;
    }
    const Outcome<std::vector<Mismatch>> after = compare(all, options.verifyProgress);
    if (!after) {
        result.stage = RestoreResult::Stage::NotReadBack;
        result.problem = after.problem;
        return result;
    }
    result.mismatches = *after;
    result.stage = after->empty() ? RestoreResult::Stage::Done : RestoreResult::Stage::Differs;
    return result;
}

} // namespace session
