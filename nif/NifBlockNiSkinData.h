// NiSkinData: the skin transform and, per bone, its transform, bounding sphere and weights.
#pragma once

#include <array>
#include <vector>

#include "NifBlock.h"

struct SkinWeight {
    uint16_t index = 0;
    float weight = 0;
};

// Rotation, translation and scale, carried as 52 raw bytes.
using SkinTransform = std::array<uint8_t, 52>;

struct BoneData {
    SkinTransform transform{};
    Vector3 boundingSphereOffset;
    float boundingSphereRadius = 0;
    uint16_t numVertices = 0;
    std::vector<SkinWeight> vertexWeights;
};

class NifBlockNiSkinData : public NifBlock {
  public:
    NifBlockNiSkinData() : NifBlock(kKindSkin) {}
    NifBlockNiSkinData(const NifBlockNiSkinData&) = default;

    void notifyVerticesDelete(const std::vector<uint16_t>& indices) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockNiSkinData>(*this);
    }

    SkinTransform skinTransform{};
    uint32_t numBones = 0;
    uint8_t hasVertexWeights = 1;
    std::vector<BoneData> boneList;
};
