// How block indices change when a set of blocks leaves the file: a reference to a removed
// block no longer refers to anything, and a reference above removed blocks is lowered by the
// number of removed blocks below it. Removing several blocks in one pass gives exactly what
// removing them one at a time, from the highest index down, would give.
#pragma once

#include <cstdint>
#include <vector>

#include "NifTypes.h"

class BlockRemap {
  public:
    // removed: the removed block indices, strictly ascending.
    explicit BlockRemap(std::vector<uint32_t> removed) : removed_(std::move(removed)) {}

    // The new value of a reference; kRemoved when it referred to a removed block.
    // Negative references are kept as they are.
    static constexpr int64_t kRemoved = INT64_MIN;
    int64_t Map(BlockRef ref) const;

    // A single reference: a removed target becomes -1.
    void Repair(BlockRef& ref) const;
    // A reference list with its count: entries of removed blocks leave the list. Returns how
    // many entries left it.
    template <typename Count>
    uint32_t RepairList(std::vector<BlockRef>& list, Count& count) const {
        uint32_t dropped = RepairEntries(list);
        count = static_cast<Count>(count - static_cast<Count>(dropped));
        return dropped;
    }

    const std::vector<uint32_t>& Removed() const { return removed_; }

  private:
    uint32_t RepairEntries(std::vector<BlockRef>& list) const;

    std::vector<uint32_t> removed_;
};
