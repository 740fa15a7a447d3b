#include "DeviceProfile.h"

#include "RegisterMap.h"

namespace session {

DeviceProfile deviceProfile()
{
    DeviceProfile p;
    p.slave = regmap::kSlave;
    p.maxReadCount = regmap::kMaxReadRegisters;
    p.maxWriteCount = regmap::kSlotRegisters;
    // Inside the first relay text slot, which every full read fetches, with
    // the counts the tool's own reads never use (they read 1, 7, 8 or 10), so
    // that a late reply can never pass for a check's answer; then, for a
    // device that answers nothing but the full read's own shapes, the
    // action-time block, told apart by what it holds.
    const int slot = regmap::relayTextSlot(0, regmap::RelayText::OnCommand);
    for (int count : {2, 3, 4, 5, 6, 9})
        p.checkShapes.push_back({slot, count});
    p.checkShapes.push_back({regmap::kActionTimes.start, regmap::kActionTimes.count});
    return p;
}

} // namespace session
