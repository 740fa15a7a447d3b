#include "RegisterMap.h"

#include <algorithm>

namespace regmap {

std::vector<Block> fullReadBlocks()
{
    std::vector<Block> blocks;
    for (int p = 0; p < kPhoneSlots; ++p)
        blocks.push_back({phoneSlot(p), kTextReadCount});
    for (int k = 0; k < kAlarmTexts; ++k)
        blocks.push_back({alarmTextSlot(k), kTextReadCount});
    for (int i = 0; i < kReadTextSlots; ++i)
        blocks.push_back({readTextSlot(i), kTextReadCount});
    blocks.push_back(kActionTimes);
    blocks.push_back({kOptionFlags, 1});
    blocks.push_back({kAlarmMode, 1});
    return blocks;
}

std::vector<Block> configurationBlocks()
{
    std::vector<Block> blocks{kStatusBlock};
    for (const Block &b : fullReadBlocks()) {
        if (b.count == kTextReadCount && !isTextField(b.start))
            continue; // a slot that carries nothing of the tool's
        blocks.push_back(isTextField(b.start) ? Block{b.start, kSlotRegisters} : b);
    }
    return blocks;
}

std::vector<Block> writeBlocks()
{
    std::vector<Block> blocks;
    for (int r = 0; r < kRelayCount; ++r)
        for (int kind = 0; kind < kRelayTextKinds; ++kind)
            blocks.push_back({relayTextSlot(r, static_cast<RelayText>(kind)), kSlotRegisters});
    for (int i = 0; i < kAllCommandCount; ++i)
        blocks.push_back({allCommandSlot(i), kSlotRegisters});
    for (int k = 0; k < kAlarmTexts; ++k)
        blocks.push_back({alarmTextSlot(k), kSlotRegisters});
    for (int p = 0; p < kPhoneSlots; ++p)
        blocks.push_back({phoneSlot(p), kSlotRegisters});
    blocks.push_back(kActionTimes);
    blocks.push_back({kAlarmMode, 1});
    blocks.push_back({kOptionFlags, 1});
    return blocks;
}

bool startsWriteBlock(int start)
{
    for (const Block &b : writeBlocks())
        if (b.start == start)
            return true;
    return false;
}

std::vector<Block> readParts(int start, int count)
{
    std::vector<Block> parts;
    // The slot that holds start, when it holds a text.
    int slot = -1;
    for (const Block &b : writeBlocks())
        if (isTextField(b.start) && start >= b.start && start < b.start + b.count)
            slot = b.start;
    const int end = start + count;
    if (slot < 0) {
        for (int at = start; at < end; at += kMaxReadRegisters)
            parts.push_back({at, std::min(kMaxReadRegisters, end - at)});
        return parts;
    }
    const int slotEnd = slot + kSlotRegisters;
    for (int at = slot + (start - slot) / kTextReadCount * kTextReadCount; at < end; at += kTextReadCount)
        parts.push_back({at, std::min(kTextReadCount, slotEnd - at)});
    // Registers past the slot are read as any other block's.
    if (end > slotEnd)
        for (const Block &b : readParts(slotEnd, end - slotEnd))
            parts.push_back(b);
    return parts;
}

} // namespace regmap
