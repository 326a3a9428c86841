#include "BlockRemap.h"

#include <algorithm>

int64_t BlockRemap::Map(BlockRef ref) const {
    if (ref < 0) return ref;
    auto it = std::lower_bound(removed_.begin(), removed_.end(), static_cast<uint32_t>(ref));
    if (it != removed_.end() && *it == static_cast<uint32_t>(ref)) return kRemoved;
    return ref - (it - removed_.begin());
}

void BlockRemap::Repair(BlockRef& ref) const {
    int64_t m = Map(ref);
    ref = m == kRemoved ? kNoBlock : static_cast<BlockRef>(m);
}

uint32_t BlockRemap::RepairEntries(std::vector<BlockRef>& list) const {
    uint32_t dropped = 0;
    size_t out = 0;
    for (BlockRef ref : list) {
        int64_t m = Map(ref);
        if (m == kRemoved) {
            ++dropped;
            continue;
        }
        list[out++] = static_cast<BlockRef>(m);
    }
    list.resize(out);
    return dropped;
}
