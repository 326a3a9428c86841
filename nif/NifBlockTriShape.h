// NiTriShape: one mesh of the file, the unit a shader is assigned to.
#pragma once

#include <string>
#include <vector>

#include "NifBlockAVObject.h"

class NifBlockTriShape : public NifBlockAVObject {
  public:
    NifBlockTriShape() : NifBlockAVObject(kKindTriShape) {}
    NifBlockTriShape(const NifBlockTriShape&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockTriShape>(*this);
    }

    BlockRef data = kNoBlock;
    BlockRef skinInstance = kNoBlock;
    uint32_t numMaterials = 0;
    // Material names are kept byte for byte as stored (ushort length, then the bytes), so a
    // body writes back with exactly the size it was read with.
    std::vector<std::string> materialNames;
    std::vector<int32_t> materialExtraData;
    int32_t activeMaterial = 0;
    uint8_t materialNeedsUpdate = 0;
    BlockRef shaderProperty = kNoBlock;
    BlockRef alphaProperty = kNoBlock;
};
