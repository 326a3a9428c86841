// A block kept opaque: its body travels as raw bytes. For types derived from NiObjectNET the
// references at the beginning of the body (extra-data list and controller) are repaired in
// the raw bytes when blocks are removed; references anywhere else cannot be found.
#pragma once

#include <string>
#include <vector>

#include "NifBlock.h"
#include "OpaqueTypes.h"

class NifBlockUnknown : public NifBlock {
  public:
    NifBlockUnknown(uint32_t size, OpaqueTraits traits) : NifBlock(kKindUnknown), traits(traits) {
        blockSize = size;
    }
    NifBlockUnknown(const NifBlockUnknown&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockUnknown>(*this);
    }

    // True when the block may hold references that a removal would leave stale.
    bool HasUnreachableReferences() const;

    OpaqueTraits traits;
    std::vector<uint8_t> rawData;

  private:
    // Where the NiObjectNET beginning lies in rawData; false when the bytes do not hold one.
    bool LocateObjectNET(uint32_t& count, size_t& controllerAt) const;
};
