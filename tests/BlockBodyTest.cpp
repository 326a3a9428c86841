// Hand-made bodies of every parsed block class: read, written back byte for byte, and the
// sizes that the edits of a file leave behind.
#include <gtest/gtest.h>

#include "NifBlockAlphaProperty.h"
#include "NifBlockBSDismemberment.h"
#include "NifBlockBSLightShadeProp.h"
#include "NifBlockNiNode.h"
#include "NifBlockNiSkinData.h"
#include "NifBlockNiSkinPartition.h"
#include "NifBlockTriShape.h"
#include "NifBlockTriShapeData.h"
#include "NifBlockUnknown.h"
#include "TestSupport.h"

namespace {

using Refs = std::vector<int32_t>;

// The common beginning of node and shape bodies, up to the property section.
void PutAVObject(ByteBuilder& b, int32_t name, int32_t extraCount, const Refs& extra,
                 int32_t controller) {
    b.I32(name).I32(extraCount);
    for (int32_t r : extra) b.I32(r);
    b.I32(controller).U16(14).U16(0);
    b.Zeros(12);                                                  // translation
    for (int i = 0; i < 9; ++i) b.F32(i % 4 == 0 ? 1.0f : 0.0f);  // rotation
    b.F32(1.0f);                                                  // scale
}

void PutList(ByteBuilder& b, const Refs& refs) {
    b.U32(static_cast<uint32_t>(refs.size()));
    for (int32_t r : refs) b.I32(r);
}

struct NodeCase {
    uint32_t userVersion;
    Refs extra, properties, children, effects;
};

Bytes NodeBody(const NodeCase& c) {
    ByteBuilder b;
    PutAVObject(b, 0, static_cast<int32_t>(c.extra.size()), c.extra, -1);
    if (c.userVersion <= 11) PutList(b, c.properties);
    b.I32(-1);
    PutList(b, c.children);
    PutList(b, c.effects);
    return b.Get();
}

}  // namespace

TEST(NiNodeBody, ReadsAndWritesBackEveryLayout) {
    const NodeCase cases[] = {
        {11, {}, {}, {}, {}},
        {11, {7}, {2, 3}, {4, 5, 6}, {8}},
        {12, {7, 9}, {}, {1, 2}, {}},
    };
    for (const NodeCase& c : cases) {
        const NifBlockHeader h = MakeHeader(c.userVersion, {"Root"});
        NifBlockNiNode node;
        const Bytes body = NodeBody(c);
        ReadBody(node, body, h);
        EXPECT_EQ(WriteBody(node, h), body);
        const size_t lists = c.extra.size() + c.children.size() + c.effects.size();
        EXPECT_EQ(body.size(),
                  c.userVersion <= 11 ? 84 + 4 * (lists + c.properties.size()) : 80 + 4 * lists);
        EXPECT_EQ(node.name, "Root");
        EXPECT_EQ(node.numChildren, c.children.size());
    }
}

TEST(NiNodeBody, NegativeExtraDataCountReadsNoEntries) {
    const NifBlockHeader h = MakeHeader(11);
    ByteBuilder b;
    PutAVObject(b, -1, -3, {}, -1);
    PutList(b, {});
    b.I32(-1);
    PutList(b, {});
    PutList(b, {});
    NifBlockNiNode node;
    ReadBody(node, b.Get(), h);
    EXPECT_TRUE(node.extraData.empty());
    EXPECT_EQ(node.name, "");
    EXPECT_EQ(WriteBody(node, h), b.Get());
}

TEST(NiNodeBody, BlockDeletionRepairsEveryReference) {
    struct Case {
        Refs children;
        uint32_t removed;
        Refs expected;
    };
    const Case cases[] = {
        {{4, 5, 6}, 5, {4, 5}},
        {{5, 5, 7}, 5, {6}},
        {{1, 2}, 9, {1, 2}},
        {{}, 0, {}},
    };
    for (const Case& c : cases) {
        const NifBlockHeader h = MakeHeader(11, {"Root"});
        NifBlockNiNode node;
        const auto removed = static_cast<int32_t>(c.removed);
        ReadBody(node, NodeBody({11, {removed}, {removed, 1}, c.children, {}}), h);
        node.controller = static_cast<int32_t>(c.removed);
        node.collisionObject = -1;
        node.notifyBlockDelete(c.removed);
        EXPECT_EQ(node.children, c.expected);
        EXPECT_EQ(node.controller, -1);
        EXPECT_EQ(node.collisionObject, -1);
        EXPECT_TRUE(node.extraData.empty());
        EXPECT_EQ(WriteBody(node, h).size(), node.blockSize);
    }
}

TEST(NiNodeBody, UserVersionSwitchKeepsSizeEqualToBody) {
    NifBlockHeader h = MakeHeader(11, {"Root"});
    NifBlockNiNode node;
    ReadBody(node, NodeBody({11, {}, {3, 4}, {1}, {}}), h);
    for (uint32_t uv : {12u, 11u, 12u}) {
        h.userVersion = uv;
        node.notifyUserVersionChange(uv, uv == 12 ? 83 : 34);
        EXPECT_EQ(WriteBody(node, h).size(), node.blockSize) << uv;
    }
    const uint32_t size = node.blockSize;
    for (uint32_t other : {83u, 34u, 0u}) node.notifyUserVersionChange(other, 0);
    EXPECT_EQ(node.blockSize, size);
}

namespace {

struct ShapeCase {
    uint32_t userVersion;
    Refs properties;
    std::vector<std::string> materials;  // raw stored bytes
    int32_t shader, alpha;
};

Bytes ShapeBody(const ShapeCase& c) {
    ByteBuilder b;
    PutAVObject(b, 0, 0, {}, -1);
    if (c.userVersion <= 11) PutList(b, c.properties);
    b.I32(-1).I32(3).I32(4);  // collision, data, skin
    b.U32(static_cast<uint32_t>(c.materials.size()));
    for (const std::string& m : c.materials) b.U16(static_cast<uint16_t>(m.size())).Text(m);
    for (size_t i = 0; i < c.materials.size(); ++i) b.I32(static_cast<int32_t>(i));
    b.I32(0).U8(0);
    if (c.userVersion > 11) b.I32(c.shader).I32(c.alpha);
    return b.Get();
}

}  // namespace

TEST(NiTriShapeBody, ReadsAndWritesBackEveryLayout) {
    const ShapeCase cases[] = {
        {11, {}, {}, -1, -1},
        {11, {5, 6, 7}, {"Mat"}, -1, -1},
        {12, {}, {}, 9, 10},
        // Names stored with length 0, with an inner zero and with a trailing zero keep their bytes.
        {12, {}, {"", std::string("A\0B", 3), std::string("C\0", 2)}, 9, -1},
    };
    for (const ShapeCase& c : cases) {
        const NifBlockHeader h = MakeHeader(c.userVersion, {"Body"});
        NifBlockTriShape shape;
        const Bytes body = ShapeBody(c);
        ReadBody(shape, body, h);
        EXPECT_EQ(WriteBody(shape, h), body);
        EXPECT_EQ(shape.name, "Body");
        EXPECT_EQ(shape.shaderProperty, c.shader);
        EXPECT_EQ(shape.alphaProperty, c.alpha);
    }
}

TEST(NiTriShapeBody, UserVersionSwitchFollowsTheLayout) {
    NifBlockHeader h = MakeHeader(11, {"Body"});
    NifBlockTriShape shape;
    ReadBody(shape, ShapeBody({11, {5}, {}, -1, -1}), h);
    const uint32_t blender = shape.blockSize;
    h.userVersion = 12;
    shape.notifyUserVersionChange(12, 83);
    EXPECT_EQ(WriteBody(shape, h).size(), shape.blockSize);
    EXPECT_EQ(shape.blockSize, blender);  // -4 count, -4 entry, +8 references
    shape.properties.clear();
    shape.numProperties = 0;
    shape.blockSize = static_cast<uint32_t>(WriteBody(shape, h).size());
    h.userVersion = 11;
    shape.notifyUserVersionChange(11, 34);
    EXPECT_EQ(WriteBody(shape, h).size(), shape.blockSize);
    EXPECT_EQ(shape.blockSize, blender - 4);
}

TEST(NiTriShapeBody, BlockDeletionRepairsReferences) {
    const NifBlockHeader h = MakeHeader(12, {"Body"});
    NifBlockTriShape shape;
    ReadBody(shape, ShapeBody({12, {}, {}, 9, 4}), h);
    shape.properties = {3, 7, 9};
    shape.numProperties = 3;
    shape.notifyBlockDelete(7u);
    EXPECT_EQ(shape.properties, (Refs{3, 8}));
    EXPECT_EQ(shape.numProperties, 2u);
    EXPECT_EQ(shape.shaderProperty, 8);
    EXPECT_EQ(shape.data, 3);
    shape.notifyBlockDelete(8u);
    EXPECT_EQ(shape.shaderProperty, -1);
    EXPECT_EQ(shape.alphaProperty, 4);
}

namespace {

struct GeometryCase {
    const char* what;
    uint32_t userVersion;
    uint16_t vertices;
    uint8_t hasVertices, hasNormals, hasColors, hasTriangles;
    uint16_t vectorFlags;
    uint16_t triangles;
    std::vector<uint16_t> matchGroups;  // sizes
};

Bytes GeometryBody(const GeometryCase& c) {
    const uint16_t n = c.vertices;
    ByteBuilder b;
    b.I32(0).U16(n).U8(0).U8(0).U8(c.hasVertices);
    for (uint16_t i = 0; i < n; ++i) b.F32(i).F32(1).F32(2);
    b.U16(c.vectorFlags);
    if (c.userVersion == 12) b.U32(0xDEADBEEF);
    b.U8(c.hasNormals);
    const bool tangents = c.hasNormals == 1 && (c.vectorFlags & 0xF000);
    if (c.hasNormals == 1) b.Zeros(12u * n);
    if (tangents) b.Zeros(24u * n);
    b.F32(0).F32(0).F32(0).F32(5);
    b.U8(c.hasColors);
    if (c.hasColors == 1) b.Zeros(16u * n);
    if (c.vectorFlags != 0) b.Zeros(8u * n);
    b.U16(0).I32(-1).U16(c.triangles).U32(3u * c.triangles).U8(c.hasTriangles);
    if (c.hasTriangles == 1) {
        for (uint16_t t = 0; t < c.triangles; ++t) b.U16(0).U16(1).U16(2);
    }
    b.U16(static_cast<uint16_t>(c.matchGroups.size()));
    for (uint16_t size : c.matchGroups) {
        b.U16(size);
        for (uint16_t i = 0; i < size; ++i) b.U16(i);
    }
    return b.Get();
}

}  // namespace

TEST(NiTriShapeDataBody, ReadsAndWritesBackEveryLayout) {
    const GeometryCase cases[] = {
        {"blender form, normals and one UV set", 11, 3, 1, 1, 0, 1, 0x0001, 1, {}},
        {"game form with material CRC and tangents", 12, 3, 1, 1, 0, 1, 0x1001, 1, {}},
        {"flag bytes of value 2 mean absent", 11, 3, 1, 2, 2, 2, 0x1001, 4, {}},
        {"tangent bits without bit 0 still mean one UV set", 11, 2, 1, 1, 1, 1, 0x1000, 0, {}},
        {"has-vertices 0 still holds positions", 11, 3, 0, 0, 0, 1, 0, 1, {}},
        {"match groups of different sizes", 12, 4, 1, 0, 1, 1, 0x0001, 2, {2, 3}},
        {"no vertices", 12, 0, 1, 1, 1, 1, 0x1001, 0, {}},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.what);
        const NifBlockHeader h = MakeHeader(c.userVersion);
        NifBlockTriShapeData data;
        const Bytes body = GeometryBody(c);
        ReadBody(data, body, h);
        EXPECT_EQ(WriteBody(data, h), body);
        EXPECT_EQ(data.vertices.size(), c.vertices);
    }
}

TEST(NiTriShapeDataBody, MaterialCrcFollowsTheUserVersion) {
    NifBlockHeader h = MakeHeader(11);
    NifBlockTriShapeData data;
    ReadBody(data, GeometryBody({"", 11, 3, 1, 1, 0, 1, 1, 1, {}}), h);
    h.userVersion = 12;
    data.notifyUserVersionChange(12, 83);
    Bytes game = WriteBody(data, h);
    EXPECT_EQ(game.size(), data.blockSize);
    // Four zero bytes right after the vector flags (offset 9 + 36 + 2).
    EXPECT_EQ(Bytes(game.begin() + 47, game.begin() + 51), Bytes(4, 0));
    h.userVersion = 11;
    data.notifyUserVersionChange(11, 34);
    EXPECT_EQ(WriteBody(data, h), GeometryBody({"", 11, 3, 1, 1, 0, 1, 1, 1, {}}));
}

TEST(NiTriShapeDataBody, AdditionalDataFollowsDeletions) {
    NifBlockTriShapeData data;
    data.additionalData = 6;
    data.notifyBlockDelete(2u);
    EXPECT_EQ(data.additionalData, 5);
    data.notifyBlockDelete(5u);
    EXPECT_EQ(data.additionalData, -1);
}

TEST(NiSkinDataBody, ReadsAndWritesBackBones) {
    for (uint8_t hasWeights : {0, 1}) {
        ByteBuilder b;
        b.Zeros(52).U32(2).U8(hasWeights);
        for (uint16_t weights : {2, 5}) {
            b.Zeros(52).F32(1).F32(2).F32(3).F32(4).U16(weights);
            for (uint16_t w = 0; w < weights; ++w) b.U16(w).F32(0.5f);
        }
        const NifBlockHeader h = MakeHeader(11);
        NifBlockNiSkinData skin;
        ReadBody(skin, b.Get(), h);
        EXPECT_EQ(WriteBody(skin, h), b.Get());
        EXPECT_EQ(b.Size(), 57u + (70 + 6 * 2) + (70 + 6 * 5));
        ASSERT_EQ(skin.boneList.size(), 2u);
        EXPECT_EQ(skin.boneList[1].vertexWeights.size(), 5u);
    }
}

namespace {

// One partition: 4 vertices, strips or triangles as asked.
void PutPartition(ByteBuilder& b, uint8_t hasMap, std::vector<uint16_t> strips, uint16_t triangles,
                  uint8_t hasFaces, bool trailing) {
    b.U16(4).U16(triangles).U16(2).U16(static_cast<uint16_t>(strips.size())).U16(4);
    b.U16(0).U16(1);
    b.U8(hasMap);
    if (hasMap) b.U16(10).U16(11).U16(12).U16(13);
    b.U8(1).Zeros(16 * 4);
    for (uint16_t s : strips) b.U16(s);
    b.U8(hasFaces);
    if (hasFaces && !strips.empty()) {
        for (uint16_t s : strips) {
            for (uint16_t i = 0; i < s; ++i) b.U16(i % 4);
        }
    } else if (hasFaces) {
        for (uint16_t t = 0; t < triangles; ++t) b.U16(0).U16(1).U16(2);
    }
    b.U8(1).Zeros(4 * 4);
    if (trailing) b.U16(0x0101);
}

}  // namespace

TEST(NiSkinPartitionBody, ReadsAndWritesBackStripsTrianglesAndFlags) {
    for (uint32_t uv : {11u, 12u}) {
        ByteBuilder b;
        b.U32(4);
        PutPartition(b, 1, {5, 3}, 7, 1, uv == 12);  // strips win over a non-zero triangle count
        PutPartition(b, 2, {}, 2, 1, uv == 12);      // any non-zero flag counts as set
        PutPartition(b, 1, {2}, 0, 0, uv == 12);     // no faces, strip lengths still read
        PutPartition(b, 0, {}, 1, 1, uv == 12);
        const NifBlockHeader h = MakeHeader(uv);
        NifBlockNiSkinPartition part;
        ReadBody(part, b.Get(), h);
        EXPECT_EQ(WriteBody(part, h), b.Get());
        ASSERT_EQ(part.skinPartitions.size(), 4u);
        EXPECT_EQ(part.skinPartitions[0].strips.size(), 8u);
        EXPECT_TRUE(part.skinPartitions[0].triangles.empty());
        EXPECT_EQ(part.skinPartitions[1].triangles.size(), 2u);
        EXPECT_EQ(part.skinPartitions[1].vertexMap.size(), 4u);
        EXPECT_TRUE(part.skinPartitions[2].strips.empty());
    }
}

TEST(NiSkinPartitionBody, TrailingShortFollowsTheUserVersion) {
    ByteBuilder blender, game;
    blender.U32(3);
    game.U32(3);
    for (int i = 0; i < 3; ++i) {
        PutPartition(blender, 1, {}, 1, 1, false);
        PutPartition(game, 1, {}, 1, 1, false);
        game.U16(0);
    }
    NifBlockHeader h = MakeHeader(11);
    NifBlockNiSkinPartition part;
    ReadBody(part, blender.Get(), h);
    h.userVersion = 12;
    part.notifyUserVersionChange(12, 83);
    EXPECT_EQ(part.blockSize, blender.Size() + 6);
    EXPECT_EQ(WriteBody(part, h), game.Get());
    h.userVersion = 11;
    part.notifyUserVersionChange(11, 34);
    EXPECT_EQ(WriteBody(part, h), blender.Get());
    EXPECT_EQ(part.blockSize, blender.Size());
}

TEST(BSDismemberSkinInstanceBody, RemapsBodyPartsForTheGame) {
    ByteBuilder b;
    b.I32(1).I32(2).I32(0).U32(2).I32(5).I32(6).I32(5);
    for (uint16_t part : {0, 3, 7, 32, 5}) b.U16(257).U16(part);
    const NifBlockHeader h = MakeHeader(11);
    NifBlockBSDismemberment skin;
    ReadBody(skin, b.Get(), h);
    EXPECT_EQ(WriteBody(skin, h), b.Get());
    skin.notifyUserVersionChange(11, 34);
    EXPECT_EQ(WriteBody(skin, h), b.Get());
    skin.notifyUserVersionChange(12, 83);
    skin.notifyUserVersionChange(12, 83);
    std::vector<uint16_t> parts;
    for (const auto& p : skin.partitions) {
        parts.push_back(p.bodyPart);
        EXPECT_EQ(p.partFlag, 257);
    }
    EXPECT_EQ(parts, (std::vector<uint16_t>{32, 34, 38, 32, 5}));
    EXPECT_EQ(skin.blockSize, b.Size());
}

TEST(BSDismemberSkinInstanceBody, DeletionRepairsReferencesAndBones) {
    ByteBuilder b;
    b.I32(1).I32(2).I32(0).U32(3).I32(4).I32(5).I32(6).I32(0);
    const NifBlockHeader h = MakeHeader(12);
    NifBlockBSDismemberment skin;
    ReadBody(skin, b.Get(), h);
    EXPECT_EQ(skin.blockSize, 20u + 4 * 3);
    skin.notifyBlockDelete(0u);
    EXPECT_EQ(skin.skeletonRoot, -1);
    EXPECT_EQ(skin.skinData, 0);
    skin.notifyBlockDelete(4u);  // bones were 3, 4, 5
    EXPECT_EQ(skin.bones, (Refs{3, 4}));
    EXPECT_EQ(skin.numBones, 2u);
    EXPECT_EQ(WriteBody(skin, h).size(), skin.blockSize);
}

TEST(NiSkinInstanceBody, HasNoPartitionList) {
    ByteBuilder b;
    b.I32(1).I32(2).I32(0).U32(1).I32(4);
    const NifBlockHeader h = MakeHeader(12);
    NifBlockBSDismemberment skin(false);
    ReadBody(skin, b.Get(), h);
    EXPECT_EQ(WriteBody(skin, h), b.Get());
    skin.notifyBlockDelete(1u);
    EXPECT_EQ(skin.skinData, -1);
    EXPECT_EQ(skin.bones, (Refs{3}));
}

namespace {

Bytes ShaderBody(uint32_t type, int32_t name, Refs extra, int32_t controller, int32_t set) {
    ByteBuilder b;
    b.U32(type).I32(name).U32(static_cast<uint32_t>(extra.size()));
    for (int32_t r : extra) b.I32(r);
    b.I32(controller).U16(0x1001).U32(0x00200020).U32(7).U16(9);
    b.U32(1).U32(2).U32(3).I32(set);
    for (uint32_t i = 0; i < 5 + 9; ++i) b.U32(100 + i);
    for (uint32_t i = 0; i < NifBlockBSLightShadeProp::TailSize(type) / 4; ++i) b.U32(200 + i);
    return b.Get();
}

}  // namespace

TEST(BSLightingShaderPropertyBody, EveryShaderTypeHasItsTail) {
    const std::pair<uint32_t, size_t> sizes[] = {{0, 100},  {1, 104},  {5, 112},
                                                 {6, 112},  {7, 108},  {11, 120},
                                                 {14, 116}, {16, 128}, {99, 100}};
    for (const auto& [type, size] : sizes) {
        const NifBlockHeader h = MakeHeader(12, {"Skin"});
        NifBlockBSLightShadeProp shader;
        const Bytes body = ShaderBody(type, 0, {}, -1, 3);
        EXPECT_EQ(body.size(), size);
        ReadBody(shader, body, h);
        EXPECT_EQ(WriteBody(shader, h), body) << type;
        EXPECT_EQ(shader.name, "Skin");
        EXPECT_TRUE(shader.HasModelSpaceNormals());
        NifBlockBSLightShadeProp copy;
        copy.CopyFrom(shader);
        EXPECT_EQ(WriteBody(copy, h), body);
        EXPECT_EQ(copy.blockSize, shader.blockSize);
    }
}

TEST(BSLightingShaderPropertyBody, DeletionRepairsTextureSetControllerAndExtraData) {
    const NifBlockHeader h = MakeHeader(12);
    NifBlockBSLightShadeProp shader;
    ReadBody(shader, ShaderBody(0, -1, {2, 6}, 6, 4), h);
    EXPECT_EQ(shader.name, "");
    shader.notifyBlockDelete(6u);
    EXPECT_EQ(shader.extraData, (Refs{2}));
    EXPECT_EQ(shader.controller, -1);
    EXPECT_EQ(shader.textureSet, 4);
    shader.notifyBlockDelete(4u);
    EXPECT_EQ(shader.textureSet, -1);
    shader.notifyBlockDelete(0u);
    EXPECT_EQ(shader.extraData, (Refs{1}));
    EXPECT_EQ(WriteBody(shader, h).size(), shader.blockSize);
    const uint32_t size = shader.blockSize;
    shader.notifyUserVersionChange(11, 34);
    EXPECT_EQ(shader.blockSize, size);
}

TEST(NiAlphaPropertyBody, DefaultBytes) {
    NifBlockAlphaProperty alpha;
    const Bytes expected = {0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,   0,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xEC, 0x12, 0x80};
    const NifBlockHeader h = MakeHeader(12);
    EXPECT_EQ(WriteBody(alpha, h), expected);
    EXPECT_EQ(alpha.blockSize, 15u);
    alpha.notifyBlockDelete(0u);
    alpha.notifyUserVersionChange(11, 34);
    EXPECT_EQ(WriteBody(alpha, h), expected);
    NifBlockAlphaProperty read;
    ReadBody(read, expected, h);
    EXPECT_EQ(read.flags, 4844);
    EXPECT_EQ(read.threshold, 128);
}

TEST(OpaqueBody, KeepsItsBytesAndRepairsOnlyTheObjectNETBeginning) {
    const NifBlockHeader h = MakeHeader(11);
    // name, two extra-data entries, controller, then a reference-like value deeper in the body.
    const Bytes body = ByteBuilder().I32(0).I32(2).I32(3).I32(5).I32(5).I32(5).Get();
    struct Case {
        const char* type;
        Bytes expected;
        bool unreachable;
    };
    const Case cases[] = {
        {"NiAlphaProperty", ByteBuilder().I32(0).I32(1).I32(3).I32(-1).I32(5).Get(), false},
        {"BSInvMarker", body, false},
        {"NiTexturingProperty", body, true},
        {"SomethingNew", body, true},
    };
    for (const Case& c : cases) {
        NifBlockUnknown block(static_cast<uint32_t>(body.size()), TraitsOfOpaqueType(c.type));
        ReadBody(block, body, h);
        EXPECT_EQ(WriteBody(block, h), body);
        block.notifyBlockDelete(5u);
        block.notifyUserVersionChange(12, 83);
        EXPECT_EQ(WriteBody(block, h), c.expected) << c.type;
        EXPECT_EQ(block.blockSize, c.expected.size());
        EXPECT_EQ(block.HasUnreachableReferences(), c.unreachable) << c.type;
    }
    NifBlockUnknown empty(0, TraitsOfOpaqueType("BSXFlags"));
    ReadBody(empty, {}, h);
    EXPECT_TRUE(WriteBody(empty, h).empty());
}
