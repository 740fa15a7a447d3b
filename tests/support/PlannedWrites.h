#pragma once
// What the tests expect of a full write, counted from the register map, so
// that a field added to the table changes no test's figures.

#include "RegisterMap.h"

#include <algorithm>

namespace plannedwrites {

// The writes of a full write.
inline int count() { return static_cast<int>(regmap::writeBlocks().size()); }

// The place in the run of the write that starts at `start`, counted from 1.
inline int placeOf(int start)
{
    const std::vector<regmap::Block> all = regmap::writeBlocks();
    return 1 + static_cast<int>(std::find_if(all.begin(), all.end(), [&](const regmap::Block &b) { return b.start == start; })
                                - all.begin());
}

// The registers a full write covers: what a backup puts back.
inline int registers()
{
    int n = 0;
    for (const regmap::Block &b : regmap::writeBlocks())
        n += b.count;
    return n;
}

} // namespace plannedwrites
