// The reads and the writes of a whole configuration, made from the field
// table: each row says which part of a full read and of a write carries it.
// The parts come in the device's order, and the reads keep the shapes the
// device answers.
#include "RegisterMap.h"

#include "FieldTable.h"

#include <algorithm>

namespace regmap {

namespace {

// The blocks a row is read or written in, a text slot at count registers.
std::vector<Block> blocksOf(const params::Field &f, int textCount)
{
    if (!f.inTextSlots())
        return {f.block};
    std::vector<Block> out;
    for (int slot : f.textSlots())
        out.push_back({slot, textCount});
    return out;
}

// Blocks that several rows share are read and written once.
void addOnce(std::vector<Block> &blocks, const Block &b)
{
    if (std::none_of(blocks.begin(), blocks.end(), [&](const Block &in) { return in.start == b.start; }))
        blocks.push_back(b);
}

} // namespace

bool isTextField(int slot)
{
    for (const params::Field &f : params::fieldTable()) {
        const std::vector<int> own = f.textSlots();
        if (std::find(own.begin(), own.end(), slot) != own.end())
            return true;
    }
    return false;
}

std::vector<Block> fullReadBlocks()
{
    using params::ReadStep;
    std::vector<Block> blocks;
    for (ReadStep step : {ReadStep::PhoneSlots, ReadStep::AlarmTexts, ReadStep::SlotRun, ReadStep::Registers}) {
        std::vector<Block> part;
        for (const params::Field &f : params::fieldTable())
            if (f.readIn == step)
                for (const Block &b : blocksOf(f, kTextReadCount))
                    addOnce(part, b);
        if (step == ReadStep::SlotRun)
            for (int i = 0; i < kReadTextSlots; ++i)
                addOnce(part, {readTextSlot(i), kTextReadCount});
        std::sort(part.begin(), part.end(), [](const Block &a, const Block &b) { return a.start < b.start; });
        blocks.insert(blocks.end(), part.begin(), part.end());
    }
    return blocks;
}

std::vector<Block> configurationBlocks()
{
    std::vector<Block> blocks{kStatusBlock};
    for (const Block &b : fullReadBlocks()) {
        if (params::fieldsStoredIn(b).empty())
            continue; // a slot that carries nothing of the tool's
        blocks.push_back(isTextField(b.start) ? Block{b.start, kSlotRegisters} : b);
    }
    return blocks;
}

std::vector<Block> writeBlocks()
{
    using params::WriteStep;
    std::vector<Block> blocks;
    for (WriteStep step : {WriteStep::Texts, WriteStep::PhoneSlots, WriteStep::Registers})
        for (const params::Field &f : params::fieldTable())
            if (f.writtenIn == step)
                for (const Block &b : blocksOf(f, kSlotRegisters))
                    addOnce(blocks, b);
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
