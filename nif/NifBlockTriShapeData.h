// NiTriShapeData: the geometry of one shape.
#pragma once

#include <vector>

#include "NifBlock.h"

struct MatchGroup {
    uint16_t numVertices = 0;
    std::vector<uint16_t> vertexIndices;
};

class NifBlockTriShapeData : public NifBlock {
  public:
    NifBlockTriShapeData() : NifBlock(kKindTriShapeData) {}
    NifBlockTriShapeData(const NifBlockTriShapeData&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) override;
    void notifyVerticesDelete(const std::vector<uint16_t>& indices) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override {
        out.push_back(additionalData);
    }
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockTriShapeData>(*this);
    }

    // The body stops carrying normals, tangents and bitangents; blockSize follows.
    void DropNormals();

    // Only the value 1 of a flag byte means present.
    bool NormalsPresent() const { return hasNormals == 1; }
    bool TangentsPresent() const { return hasNormals == 1 && (vectorFlags & 0xF000) != 0; }
    bool UVsPresent() const { return vectorFlags != 0; }
    bool ColorsPresent() const { return hasVertexColors == 1; }
    bool TrianglesPresent() const { return hasTriangles == 1; }

    int32_t groupId = 0;
    uint16_t numVertices = 0;
    uint8_t keepFlags = 0;
    uint8_t compressFlags = 0;
    uint8_t hasVertices = 1;
    std::vector<Vector3> vertices;
    uint16_t vectorFlags = 0;
    uint32_t materialCrc = 0;
    uint8_t hasNormals = 0;
    std::vector<Vector3> normals;
    std::vector<Vector3> tangents;
    std::vector<Vector3> bitangents;
    Vector3 center;
    float radius = 0;
    uint8_t hasVertexColors = 0;
    std::vector<Color4> vertexColors;
    std::vector<TexCoord> uvSet;
    uint16_t consistencyFlags = 0;
    BlockRef additionalData = kNoBlock;
    uint16_t numTriangles = 0;
    uint32_t numTrianglePoints = 0;
    uint8_t hasTriangles = 0;
    std::vector<Triangle> triangles;
    uint16_t numMatchGroups = 0;
    std::vector<MatchGroup> matchGroups;
};
