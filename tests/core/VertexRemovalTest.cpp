// Removing vertices keeps geometry, skin weights and partitions in agreement.
#include <gtest/gtest.h>

#include "VertexRemoval.h"
#include "Visitors.h"

namespace {

// Five vertices in a fan around vertex 0: triangles (0,1,2), (0,2,3), (0,3,4).
NiTriShapeData Fan() {
    NiTriShapeData d;
    d.numVertices = 5;
    d.hasNormals = 1;
    d.dataFlags = 1;
    for (uint16_t v = 0; v < 5; ++v) {
        d.vertices.push_back({float(v), 0, 0});
        d.normals.push_back({0, 0, float(v)});
        d.uvs.push_back({float(v), float(v)});
    }
    d.hasTriangles = 1;
    d.triangles = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    d.numTriangles = 3;
    d.numTrianglePoints = 9;
    return d;
}

}  // namespace

TEST(VertexRemoval, GeometryDropsTrianglesAndRenumbers) {
    struct Case {
        std::vector<uint16_t> removed;
        std::vector<float> keptX;
        std::vector<Triangle> triangles;
    };
    const Case cases[] = {
        {{}, {0, 1, 2, 3, 4}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}},
        {{1}, {0, 2, 3, 4}, {{0, 1, 2}, {0, 2, 3}}},
        {{2, 4}, {0, 1, 3}, {}},
        {{9}, {0, 1, 2, 3, 4}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}},
    };
    for (const Case& c : cases) {
        NiTriShapeData d = Fan();
        RemoveVertices(d, c.removed);
        ASSERT_EQ(d.numVertices, c.keptX.size());
        for (size_t v = 0; v < c.keptX.size(); ++v) {
            EXPECT_EQ(d.vertices[v].x, c.keptX[v]);
            EXPECT_EQ(d.normals[v].z, c.keptX[v]);
            EXPECT_EQ(d.uvs[v].u, c.keptX[v]);
        }
        ASSERT_EQ(d.triangles.size(), c.triangles.size());
        for (size_t t = 0; t < c.triangles.size(); ++t) {
            EXPECT_EQ(d.triangles[t].v1, c.triangles[t].v1);
            EXPECT_EQ(d.triangles[t].v2, c.triangles[t].v2);
            EXPECT_EQ(d.triangles[t].v3, c.triangles[t].v3);
        }
        EXPECT_EQ(d.numTriangles, d.triangles.size());
        NifWriter out;
        EXPECT_EQ(WriteBody(d, out, kForm83), "");  // every list still matches its count
    }
}

TEST(VertexRemoval, SkinWeightsAndPartitionsFollow) {
    NiSkinData skin;
    BoneData bone;
    bone.weights = {{0, 0.5f}, {1, 0.25f}, {3, 0.25f}, {7, 1}};
    bone.numVertices = 4;
    skin.bones = {bone};
    RemoveVertices(skin, {1, 2});
    ASSERT_EQ(skin.bones[0].weights.size(), 3u);
    EXPECT_EQ(skin.bones[0].weights[1].index, 1);  // 3 lowered by two
    EXPECT_EQ(skin.bones[0].weights[2].index, 5);  // beyond the list: lowered by two
    EXPECT_EQ(skin.bones[0].numVertices, 3);

    NiSkinPartition partition;
    SkinPartition p;
    p.numVertices = 3;
    p.numWeightsPerVertex = 1;
    p.hasVertexMap = p.hasVertexWeights = p.hasFaces = 1;
    p.vertexMap = {2, 5, 6};
    p.vertexWeights = {0.2f, 0.5f, 0.6f};
    p.triangles = {{0, 1, 2}};
    p.numTriangles = 1;
    SkinPartition strips = p;
    strips.stripLengths = {3};
    partition.partitions = {p, strips};
    RemoveVertices(partition, {5});
    const SkinPartition& q = partition.partitions[0];
    EXPECT_EQ(q.vertexMap, (std::vector<uint16_t>{2, 5}));
    EXPECT_EQ(q.vertexWeights, (std::vector<float>{0.2f, 0.6f}));
    EXPECT_TRUE(q.triangles.empty());
    EXPECT_EQ(partition.partitions[1].vertexMap, p.vertexMap);  // strips are left alone
}
