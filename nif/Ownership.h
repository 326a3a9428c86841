// Who owns whom in a file: the owned references of every block, both ways, and the removal of
// blocks together with everything only they own.
#pragma once

#include <cstdint>
#include <vector>

#include "NifFile.h"

class Ownership {
  public:
    explicit Ownership(const NifFile& file);

    const std::vector<uint32_t>& Children(uint32_t block) const { return children_[block]; }
    const std::vector<uint32_t>& Owners(uint32_t block) const { return owners_[block]; }

    // Marks in `removed` every block owned only by removed blocks, starting from `work` (blocks
    // just marked), except blocks in `kept`. Returns the marked blocks, ascending.
    std::vector<uint32_t> Cascade(std::vector<bool>& removed, std::vector<uint32_t> work,
                                  const std::vector<BlockRef>& kept = {}) const;

  private:
    std::vector<std::vector<uint32_t>> children_;
    std::vector<std::vector<uint32_t>> owners_;
};

// Blocks that leave whole: `roots` with the controllers, interpolators, data and the rest of
// their owned subtrees (scene objects aside), including what animation sequences drive through
// them; the sequences' entries that drove a leaving controller or interpolator leave too. A
// block that something staying also owns stays. Removes them; returns how many left.
size_t RemoveWhole(NifFile& file, const std::vector<uint32_t>& roots);
