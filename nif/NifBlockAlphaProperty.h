// NiAlphaProperty as Pellmar creates it for a shape marked for alpha. Alpha properties read
// from a file stay opaque blocks.
#pragma once

#include <string>
#include <vector>

#include "NifBlock.h"

class NifBlockAlphaProperty : public NifBlock {
  public:
    // Alpha testing on with the "greater" function, blending off.
    static constexpr uint16_t kDefaultFlags = 4844;
    static constexpr uint8_t kDefaultThreshold = 128;

    NifBlockAlphaProperty() : NifBlock(kKindAlphaProperty) { blockSize = 15; }
    NifBlockAlphaProperty(const NifBlockAlphaProperty&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockAlphaProperty>(*this);
    }

    StringRef nameIndex = kNoString;
    std::string name;
    uint32_t numExtraData = 0;
    std::vector<BlockRef> extraData;
    BlockRef controller = kNoBlock;
    uint16_t flags = kDefaultFlags;
    uint8_t threshold = kDefaultThreshold;
};
