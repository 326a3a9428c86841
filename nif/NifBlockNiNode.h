// A scene-graph node: NiNode and every node type whose body is exactly NiNode's.
#pragma once

#include <string>
#include <vector>

#include "NifBlock.h"

class NifBlockNiNode : public NifBlock {
  public:
    NifBlockNiNode() : NifBlock(kKindNiNode) {}
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

    StringRef nameIndex = kNoString;
    std::string name;
    int32_t numExtraData = 0;
    std::vector<BlockRef> extraData;
    BlockRef controller = kNoBlock;
    uint16_t flags = 0;
    uint16_t flagsHigh = 0;
    Vector3 translation;
    Matrix33 rotation;
    float scale = 1.0f;
    uint32_t numProperties = 0;
    std::vector<BlockRef> properties;
    // Whether the body currently carries the property count and list (the Blender form).
    bool propertySection = true;
    BlockRef collisionObject = kNoBlock;
    uint32_t numChildren = 0;
    std::vector<BlockRef> children;
    uint32_t numEffects = 0;
    std::vector<BlockRef> effects;
};

// The properties section of scene-graph objects is part of the body up to user version 11.
inline bool HasPropertyList(uint32_t userVersion) {
    return userVersion <= 11;
}
