// Removing vertices from geometry, skin data and skin partitions.
#include <gtest/gtest.h>

#include "NifBlockNiSkinData.h"
#include "NifBlockNiSkinPartition.h"
#include "NifBlockTriShapeData.h"
#include "TestSupport.h"

namespace {

NifBlockTriShapeData FourVertexQuad(bool normals, bool tangents, bool colors, bool uvs) {
    NifBlockTriShapeData d;
    d.numVertices = 4;
    d.vertices.resize(4);
    for (uint16_t i = 0; i < 4; ++i) d.vertices[i].x = i;
    d.hasNormals = normals ? 1 : 0;
    d.vectorFlags = static_cast<uint16_t>((uvs ? 1 : 0) | (tangents ? 0x1000 : 0));
    if (normals) d.normals.resize(4);
    if (normals && tangents) {
        d.tangents.resize(4);
        d.bitangents.resize(4);
    }
    d.hasVertexColors = colors ? 1 : 0;
    if (colors) d.vertexColors.resize(4);
    if (d.vectorFlags) d.uvSet.resize(4);
    d.hasTriangles = 1;
    d.triangles = {{0, 1, 2}, {0, 2, 3}};
    d.numTriangles = 2;
    d.numTrianglePoints = 6;
    d.blockSize = static_cast<uint32_t>(WriteBody(d, MakeHeader(12)).size());
    return d;
}

}  // namespace

TEST(TriShapeDataVertexRemoval, DropsTrianglesAndRenumbers) {
    const NifBlockHeader h = MakeHeader(12);
    struct Case {
        bool normals, tangents, colors, uvs;
        uint32_t perVertex;
    };
    const Case cases[] = {{true, true, true, true, 12 + 36 + 16 + 8},
                          {false, false, false, false, 12},
                          {true, false, false, true, 12 + 12 + 8},
                          {false, true, true, true, 12 + 16 + 8}};
    for (const Case& c : cases) {
        NifBlockTriShapeData d = FourVertexQuad(c.normals, c.tangents, c.colors, c.uvs);
        const uint32_t size = d.blockSize;
        d.notifyVerticesDelete({1});
        EXPECT_EQ(d.numVertices, 3);
        EXPECT_EQ(d.vertices[1].x, 2.0f);
        ASSERT_EQ(d.triangles.size(), 1u);
        EXPECT_EQ(d.triangles[0].v1, 0);
        EXPECT_EQ(d.triangles[0].v2, 1);
        EXPECT_EQ(d.triangles[0].v3, 2);
        EXPECT_EQ(d.numTriangles, 1);
        EXPECT_EQ(d.numTrianglePoints, 3u);
        EXPECT_EQ(d.blockSize, size - c.perVertex - 6);
        EXPECT_EQ(WriteBody(d, h).size(), d.blockSize);
    }
}

TEST(TriShapeDataVertexRemoval, EmptyOrOutOfRangeListsChangeNothing) {
    const NifBlockHeader h = MakeHeader(12);
    for (const std::vector<uint16_t>& list :
         {std::vector<uint16_t>{}, std::vector<uint16_t>{4, 9}}) {
        NifBlockTriShapeData d = FourVertexQuad(true, true, false, true);
        const Bytes before = WriteBody(d, h);
        d.notifyVerticesDelete(list);
        EXPECT_EQ(WriteBody(d, h), before);
    }
    // Normals turned off by a shader assignment, then a removal.
    NifBlockTriShapeData d = FourVertexQuad(true, true, false, true);
    d.DropNormals();
    d.notifyVerticesDelete({0, 3});
    EXPECT_EQ(WriteBody(d, h).size(), d.blockSize);
    // A triangle count without a triangle list.
    NifBlockTriShapeData noList = FourVertexQuad(false, false, false, true);
    noList.hasTriangles = 0;
    noList.triangles.clear();
    noList.blockSize = static_cast<uint32_t>(WriteBody(noList, h).size());
    noList.notifyVerticesDelete({2});
    EXPECT_EQ(WriteBody(noList, h).size(), noList.blockSize);
}

TEST(SkinDataVertexRemoval, RemovesAndRenumbersWeights) {
    NifBlockNiSkinData skin;
    BoneData bone;
    for (uint16_t v : {1, 2, 4, 5, 7}) bone.vertexWeights.push_back({v, 0.25f});
    bone.numVertices = 5;
    BoneData lost;
    lost.vertexWeights = {{2, 1.0f}, {5, 1.0f}};
    lost.numVertices = 2;
    skin.boneList = {bone, lost};
    skin.numBones = 2;
    skin.blockSize = static_cast<uint32_t>(WriteBody(skin, MakeHeader(11)).size());
    const uint32_t size = skin.blockSize;

    skin.notifyVerticesDelete({});
    EXPECT_EQ(skin.blockSize, size);
    skin.notifyVerticesDelete({2, 5});
    std::vector<uint16_t> left;
    for (const SkinWeight& w : skin.boneList[0].vertexWeights) left.push_back(w.index);
    EXPECT_EQ(left, (std::vector<uint16_t>{1, 3, 5}));
    EXPECT_EQ(skin.boneList[0].numVertices, 3);
    EXPECT_EQ(skin.boneList[1].numVertices, 0);
    EXPECT_EQ(skin.boneList.size(), 2u);
    EXPECT_EQ(skin.blockSize, size - 12 - 12);
    EXPECT_EQ(WriteBody(skin, MakeHeader(11)).size(), skin.blockSize);
}

namespace {

SkinPartition MappedPartition(std::vector<uint16_t> map, bool weights, bool boneIndices) {
    SkinPartition p;
    p.vertexMap = std::move(map);
    p.numVertices = static_cast<uint16_t>(p.vertexMap.size());
    p.hasVertexMap = 1;
    p.hasVertexWeights = weights ? 1 : 0;
    if (weights) {
        for (size_t i = 0; i < p.vertexMap.size(); ++i)
            p.vertexWeights.push_back({float(i), 0, 0, 0});
    }
    p.hasBoneIndices = boneIndices ? 1 : 0;
    if (boneIndices) p.boneIndices.resize(p.vertexMap.size());
    p.hasFaces = 1;
    return p;
}

NifBlockNiSkinPartition Holding(std::vector<SkinPartition> parts) {
    NifBlockNiSkinPartition block;
    block.skinPartitions = std::move(parts);
    block.numSkinPartitions = static_cast<uint32_t>(block.skinPartitions.size());
    block.blockSize = static_cast<uint32_t>(WriteBody(block, MakeHeader(12)).size());
    return block;
}

}  // namespace

TEST(SkinPartitionVertexRemoval, RenumbersBothNumberings) {
    for (bool extras : {true, false}) {
        SkinPartition p = MappedPartition({10, 11, 12, 13}, extras, extras);
        p.triangles = {{0, 1, 2}, {1, 2, 3}, {0, 2, 3}};
        p.numTriangles = 3;
        NifBlockNiSkinPartition block = Holding({p});
        const uint32_t size = block.blockSize;
        block.notifyVerticesDelete({11});
        const SkinPartition& q = block.skinPartitions[0];
        EXPECT_EQ(q.vertexMap, (std::vector<uint16_t>{10, 11, 12}));
        EXPECT_EQ(q.numVertices, 3);
        ASSERT_EQ(q.triangles.size(), 1u);
        EXPECT_EQ(q.triangles[0].v2, 1);
        EXPECT_EQ(q.triangles[0].v3, 2);
        EXPECT_EQ(q.numTriangles, 1);
        EXPECT_EQ(block.blockSize, size - (extras ? 34u : 14u));
        if (extras) {
            EXPECT_EQ(q.vertexWeights[1][0], 2.0f);
        }
        EXPECT_EQ(WriteBody(block, MakeHeader(12)).size(), block.blockSize);
    }
}

TEST(SkinPartitionVertexRemoval, UntouchedAndSharedPartitions) {
    SkinPartition untouched = MappedPartition({5, 12}, true, true);
    untouched.triangles = {{0, 1, 1}};
    untouched.numTriangles = 1;
    SkinPartition a = MappedPartition({2, 3, 4}, false, false);
    a.triangles = {{0, 1, 2}};
    a.numTriangles = 1;
    SkinPartition b = MappedPartition({3, 7}, false, false);
    SkinPartition strips = MappedPartition({3, 4}, false, false);
    strips.numStrips = 1;
    strips.stripLengths = {3};
    strips.strips = {0, 1, 1};
    SkinPartition unmapped = MappedPartition({}, false, false);
    unmapped.hasVertexMap = 0;
    unmapped.numVertices = 2;
    NifBlockNiSkinPartition block = Holding({untouched, a, b, strips, unmapped});
    block.notifyVerticesDelete({3, 11});
    EXPECT_EQ(block.skinPartitions[0].vertexMap, (std::vector<uint16_t>{4, 10}));
    EXPECT_EQ(block.skinPartitions[0].triangles.size(), 1u);
    EXPECT_EQ(block.skinPartitions[1].vertexMap, (std::vector<uint16_t>{2, 3}));
    EXPECT_TRUE(block.skinPartitions[1].triangles.empty());
    EXPECT_EQ(block.skinPartitions[2].vertexMap, (std::vector<uint16_t>{6}));
    EXPECT_EQ(block.skinPartitions[3].vertexMap,
              (std::vector<uint16_t>{3, 4}));  // strips: left alone
    EXPECT_EQ(block.skinPartitions[4].numVertices, 2);
    EXPECT_EQ(WriteBody(block, MakeHeader(12)).size(), block.blockSize);
}
