// BSLightingShaderProperty: the game form's lighting shader, named and pointing at its
// texture set. Most of the body is carried as opaque values; the shader type selects the tail.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "NifBlock.h"

class NifBlockBSLightShadeProp : public NifBlock {
  public:
    NifBlockBSLightShadeProp() : NifBlock(kKindLightShadeProp) {}
    NifBlockBSLightShadeProp(const NifBlockBSLightShadeProp&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockBSLightShadeProp>(*this);
    }
    void CopyFrom(const NifBlockBSLightShadeProp& source);

    // Tail length in bytes for a shader type.
    static uint32_t TailSize(uint32_t shaderType);
    // The model-space-normals flag (bit 12 of the first shader-flags word): the shader takes
    // its normals from a model-space normal map and the geometry carries none.
    bool HasModelSpaceNormals() const { return (flagsPart1 & 0x1000) != 0; }

    uint32_t shaderType = 0;
    StringRef nameIndex = kNoString;
    std::string name;
    uint32_t numExtraData = 0;
    std::vector<BlockRef> extraData;
    BlockRef controller = kNoBlock;
    uint16_t flagsPart1 = 0;
    uint32_t flagsPart2 = 0;
    uint32_t flagsPart3 = 0;
    uint16_t flagsPart4 = 0;
    std::array<uint32_t, 3> valuesBeforeTextureSet{};
    BlockRef textureSet = kNoBlock;
    std::array<uint32_t, 5> valuesAfterTextureSet{};
    std::array<uint32_t, 9> shadingFloats{};
    // Room for the longest tail (shader type 16, 7 values); only the selected one is used.
    std::array<uint32_t, 7> tail{};
};
