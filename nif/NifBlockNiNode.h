// A scene-graph node: NiNode and every node type whose body is exactly NiNode's.
#pragma once

#include <vector>

#include "NifBlockAVObject.h"

class NifBlockNiNode : public NifBlockAVObject {
  public:
    NifBlockNiNode() : NifBlockAVObject(kKindNiNode) {}
    NifBlockNiNode(const NifBlockNiNode&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockNiNode>(*this);
    }

    uint32_t numChildren = 0;
    std::vector<BlockRef> children;
    uint32_t numEffects = 0;
    std::vector<BlockRef> effects;
};
