// NiSkinPartition: a skinned shape cut into partitions, each with its bones, its vertex map
// into the shape, four weights and bone indices per vertex, and its faces.
#pragma once

#include <array>
#include <vector>

#include "NifBlock.h"

struct SkinPartition {
    uint16_t numVertices = 0;
    uint16_t numTriangles = 0;
    uint16_t numBones = 0;
    uint16_t numStrips = 0;
    uint16_t numWeightsPerVertex = 0;
    std::vector<uint16_t> bones;
    uint8_t hasVertexMap = 0;
    std::vector<uint16_t> vertexMap;
    uint8_t hasVertexWeights = 0;
    std::vector<std::array<float, 4>> vertexWeights;
    std::vector<uint16_t> stripLengths;
    uint8_t hasFaces = 0;
    std::vector<uint16_t> strips;
    std::vector<Triangle> triangles;
    uint8_t hasBoneIndices = 0;
    std::vector<std::array<uint8_t, 4>> boneIndices;
    uint16_t trailingShort = 0;
};

class NifBlockNiSkinPartition : public NifBlock {
  public:
    NifBlockNiSkinPartition() : NifBlock(kKindSkin) {}
    NifBlockNiSkinPartition(const NifBlockNiSkinPartition&) = default;

    void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) override;
    void notifyVerticesDelete(const std::vector<uint16_t>& indices) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockNiSkinPartition>(*this);
    }

    uint32_t numSkinPartitions = 0;
    std::vector<SkinPartition> skinPartitions;
};
