// Shapes between the original edition's layout and the Special Edition's packed records:
// generated skinned meshes and the shared real file survive the trip there and back with the
// documented precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "FileIO.h"
#include "FormSwitch.h"
#include "Geometry.h"
#include "ResultCodes.h"
#include "SampleBuilder.h"

namespace {

constexpr float kHalfStep = 1.0f / 2048;  // UVs and weights in [0, 1]: half a half-float step
constexpr float kByteStep = 1.0f / 255 + 1e-6f;

struct MeshCase {
    const char* what;
    uint32_t userVersion2;  // 34 (with user version 11) or 83
    uint32_t partitions, bonesPerPartition;
    bool colors, tangents;
};

// A grid of vertices cut into partitions of consecutive triangles. Each partition has its own
// bone list (neighbouring lists overlap) and gives each vertex four weights whose bone indices
// depend on the partition, so the vertices two partitions share are weighted differently.
NifFile MakeSkinnedGrid(const MeshCase& c) {
    const uint32_t userVersion = c.userVersion2 == 34 ? 11 : 12;
    SampleBuilder b(userVersion, c.userVersion2);
    const bool blender = c.userVersion2 == 34;
    const int root = b.Reserve();
    const uint16_t rows = 24, cols = 20;
    auto d = std::make_unique<NiTriShapeData>();
    d->numVertices = rows * cols;
    d->hasNormals = 1;
    d->dataFlags = static_cast<uint16_t>(1 | (c.tangents ? 0x1000 : 0));
    d->hasVertexColors = c.colors;
    for (uint16_t v = 0; v < d->numVertices; ++v) {
        const float x = static_cast<float>(v % cols) * 1.37f, y = static_cast<float>(v / cols);
        const float s = std::sin(x), k = std::cos(x);
        d->vertices.push_back({x, y * 0.91f, s * 3.3f});
        d->normals.push_back({-k * 0.6f, 0.0f, 0.8f});
        if (c.tangents) {
            d->tangents.push_back({0.8f, 0.0f, 0.6f * k});
            d->bitangents.push_back({0.123456f * s, 1.0f, 0.0f});
        }
        if (c.colors) d->vertexColors.push_back({s * s, k * k, 0.5f, 1.0f - s * s * 0.3f});
        d->uvs.push_back({x / 30.0f, y / 24.0f});
    }
    for (uint16_t r = 0; r + 1 < rows; ++r) {
        for (uint16_t q = 0; q + 1 < cols; ++q) {
            const uint16_t at = r * cols + q;
            d->triangles.push_back(
                {at, static_cast<uint16_t>(at + 1), static_cast<uint16_t>(at + cols)});
            d->triangles.push_back({static_cast<uint16_t>(at + 1),
                                    static_cast<uint16_t>(at + cols + 1),
                                    static_cast<uint16_t>(at + cols)});
        }
    }
    d->numTriangles = static_cast<uint16_t>(d->triangles.size());
    d->numTrianglePoints = 3u * d->numTriangles;
    d->hasTriangles = 1;
    d->bound = {{20, 12, 0}, 30};

    const uint32_t boneCount = c.bonesPerPartition + (c.partitions - 1) * c.bonesPerPartition / 2;
    auto skinData = std::make_unique<NiSkinData>();
    skinData->bones.resize(boneCount);
    auto skin = std::make_unique<NiSkinPartition>();
    const size_t per = (d->triangles.size() + c.partitions - 1) / c.partitions;
    std::vector<bool> weighted(d->numVertices, false);
    for (uint32_t p = 0; p < c.partitions; ++p) {
        SkinPartition part;
        std::vector<int> local(d->numVertices, -1);
        for (size_t t = p * per; t < std::min(d->triangles.size(), (p + 1) * per); ++t) {
            Triangle tri = d->triangles[t];
            for (uint16_t* v : {&tri.v1, &tri.v2, &tri.v3}) {
                if (local[*v] < 0) {
                    local[*v] = static_cast<int>(part.vertexMap.size());
                    part.vertexMap.push_back(*v);
                }
                *v = static_cast<uint16_t>(local[*v]);
            }
            part.triangles.push_back(tri);
        }
        for (uint32_t k = 0; k < c.bonesPerPartition; ++k)
            part.bones.push_back(static_cast<uint16_t>(p * c.bonesPerPartition / 2 + k));
        for (uint16_t v : part.vertexMap) {
            const float weights[4] = {0.4f, 0.3f, 0.2f, 0.1f};
            for (uint32_t k = 0; k < 4; ++k) {
                const auto index =
                    static_cast<uint8_t>((v * 7 + k * 13 + p * 5) % c.bonesPerPartition);
                part.vertexWeights.push_back(weights[k]);
                part.boneIndices.push_back(index);
                if (!weighted[v])
                    skinData->bones[part.bones[index]].weights.push_back({v, weights[k]});
            }
            weighted[v] = true;
        }
        part.numVertices = static_cast<uint16_t>(part.vertexMap.size());
        part.numTriangles = static_cast<uint16_t>(part.triangles.size());
        part.numWeightsPerVertex = 4;
        part.hasVertexMap = part.hasVertexWeights = part.hasFaces = part.hasBoneIndices = 1;
        skin->partitions.push_back(std::move(part));
    }
    for (BoneData& bone : skinData->bones)
        bone.numVertices = static_cast<uint16_t>(bone.weights.size());

    auto instance = std::make_unique<BSDismemberSkinInstance>();
    instance->skeletonRoot = root;
    instance->data = b.Add(std::move(skinData));
    instance->skinPartition = b.Add(std::move(skin));
    std::vector<int32_t> children;
    for (uint32_t k = 0; k < boneCount; ++k) {
        auto bone = std::make_unique<NiNode>();
        bone->name = b.String("Bone" + std::to_string(k));
        instance->bones.push_back(b.Add(std::move(bone)));
        children.push_back(instance->bones.back());
    }
    for (uint32_t p = 0; p < c.partitions; ++p)
        instance->partitions.push_back({257, static_cast<uint16_t>((blender ? 0 : 32) + p)});
    auto shape = std::make_unique<NiTriShape>();
    shape->name = b.String("Grid");
    shape->data = b.Add(std::move(d));
    shape->skinInstance = b.Add(std::move(instance));
    children.push_back(b.Add(std::move(shape)));
    auto node = std::make_unique<NiNode>();
    node->children = children;
    b.Set(root, std::move(node));
    return b.Finish();
}

template <class T>
const T* First(const NifFile& f) {
    for (const auto& block : f.blocks)
        if (auto* t = As<T>(block.get())) return t;
    return nullptr;
}

void ExpectNear3(const Vector3& a, const Vector3& b, float bound) {
    EXPECT_NEAR(a.x, b.x, bound);
    EXPECT_NEAR(a.y, b.y, bound);
    EXPECT_NEAR(a.z, b.z, bound);
}

// What the trip must keep: every triangle corner's position exactly and its other values
// within their precision; every partition's bones, triangles (by position) and weights; the
// body parts. Vertices two partitions weight differently may have been copied, so corners are
// compared through their triangles.
void ExpectSameShape(const NifFile& before, const NifFile& after) {
    const auto* a = First<NiTriShapeData>(before);
    const auto* b = First<NiTriShapeData>(after);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->triangles.size(), b->triangles.size());
    EXPECT_EQ(a->dataFlags, b->dataFlags);
    EXPECT_EQ(a->hasVertexColors, b->hasVertexColors);
    for (size_t t = 0; t < a->triangles.size(); ++t) {
        const Triangle& ta = a->triangles[t];
        const Triangle& tb = b->triangles[t];
        for (auto [va, vb] : {std::pair{ta.v1, tb.v1}, {ta.v2, tb.v2}, {ta.v3, tb.v3}}) {
            EXPECT_EQ(std::memcmp(&a->vertices[va], &b->vertices[vb], sizeof(Vector3)), 0);
            EXPECT_NEAR(a->uvs[va].u, b->uvs[vb].u, kHalfStep);
            EXPECT_NEAR(a->uvs[va].v, b->uvs[vb].v, kHalfStep);
            ExpectNear3(a->normals[va], b->normals[vb], kByteStep);
            if (a->HasTangents()) {
                ExpectNear3(a->tangents[va], b->tangents[vb], kByteStep);
                ExpectNear3(a->bitangents[va], b->bitangents[vb], kByteStep);
                EXPECT_EQ(a->bitangents[va].x, b->bitangents[vb].x);
            }
            if (a->hasVertexColors) {
                EXPECT_NEAR(a->vertexColors[va].r, b->vertexColors[vb].r, 1.0f / 510 + 1e-6f);
                EXPECT_NEAR(a->vertexColors[va].a, b->vertexColors[vb].a, 1.0f / 510 + 1e-6f);
            }
        }
    }
    const auto* pa = First<NiSkinPartition>(before);
    const auto* pb = First<NiSkinPartition>(after);
    ASSERT_TRUE(pa && pb);
    ASSERT_EQ(pa->partitions.size(), pb->partitions.size());
    for (size_t p = 0; p < pa->partitions.size(); ++p) {
        const SkinPartition& x = pa->partitions[p];
        const SkinPartition& y = pb->partitions[p];
        EXPECT_EQ(x.bones, y.bones);
        EXPECT_TRUE(y.stripLengths.empty());
        ASSERT_EQ(x.triangles.size(), y.triangles.size());
        for (size_t t = 0; t < x.triangles.size(); ++t) {
            for (auto [la, lb] : {std::pair{x.triangles[t].v1, y.triangles[t].v1},
                                  {x.triangles[t].v2, y.triangles[t].v2},
                                  {x.triangles[t].v3, y.triangles[t].v3}}) {
                EXPECT_EQ(std::memcmp(&a->vertices[x.vertexMap[la]], &b->vertices[y.vertexMap[lb]],
                                      sizeof(Vector3)),
                          0);
                for (size_t k = 0; k < 4; ++k) {
                    EXPECT_EQ(x.vertexWeights[la * 4 + k], y.vertexWeights[lb * 4 + k]);
                    EXPECT_EQ(x.boneIndices[la * 4 + k], y.boneIndices[lb * 4 + k]);
                }
            }
        }
    }
    const auto* sa = First<BSDismemberSkinInstance>(before);
    const auto* sb = First<BSDismemberSkinInstance>(after);
    ASSERT_TRUE(sa && sb);
    ASSERT_EQ(sa->partitions.size(), sb->partitions.size());
    for (size_t p = 0; p < sa->partitions.size(); ++p)
        EXPECT_EQ(sa->partitions[p].bodyPart, sb->partitions[p].bodyPart);
}

// In the Special Edition's form: packed shapes only, and each partition's corners carry the
// partition's weights (as half floats) and bone indices in their records.
void ExpectPacked(const NifFile& f) {
    for (const auto& block : f.blocks) {
        EXPECT_FALSE(As<NiGeometry>(block.get()) || As<NiGeometryData>(block.get()))
            << NameOf(block->Type());
    }
    const auto* shape = First<BSTriShape>(f);
    const auto* skin = First<NiSkinPartition>(f);
    ASSERT_TRUE(shape && skin);
    ASSERT_TRUE(skin->RecordsDecoded());
    EXPECT_EQ(skin->vertexData.records.size(), shape->numVertices);
    for (const SkinPartition& p : skin->partitions) {
        ASSERT_EQ(p.trianglesCopy.size(), p.triangles.size());
        for (size_t j = 0; j < p.numVertices; ++j) {
            const PackedVertex& r = skin->vertexData.records[p.vertexMap[j]];
            for (size_t k = 0; k < 4; ++k) {
                EXPECT_NEAR(HalfToFloat(r.weights[k]), p.vertexWeights[j * 4 + k], kHalfStep);
                EXPECT_EQ(r.bones[k], p.boneIndices[j * 4 + k]);
            }
        }
    }
}

NifFile Reloaded(const NifFile& f) {
    std::string bytes;
    EXPECT_EQ(f.SaveToMemory(bytes), rc::kOk) << f.LastError();
    NifFile back;
    EXPECT_EQ(back.LoadFromMemory(std::vector<uint8_t>(bytes.begin(), bytes.end())), rc::kOk)
        << back.LastError();
    return back;
}

}  // namespace

TEST(ShapeConversion, SkinnedMeshesSurviveTheSpecialEditionAndBack) {
    const MeshCase cases[] = {
        {"Blender, 3 partitions of 80 bones, colours and tangents", 34, 3, 80, true, true},
        {"Blender, 4 partitions of 60 bones, no colours or tangents", 34, 4, 60, false, false},
        {"Skyrim, 2 partitions of 80 bones, colours, no tangents", 83, 2, 80, true, false},
        {"Skyrim, 5 partitions of 12 bones, tangents, no colours", 83, 5, 12, false, true},
    };
    for (const MeshCase& c : cases) {
        SCOPED_TRACE(c.what);
        const NifFile original = MakeSkinnedGrid(c);
        NifFile se = original;
        SwitchForm(se, kGameUserVersion, kSEUserVersion2);
        EXPECT_EQ(se.CheckConsistency(), "");
        se = Reloaded(se);
        ExpectPacked(se);
        NifFile back = se;
        SwitchForm(back, original.header.userVersion, original.header.userVersion2);
        EXPECT_EQ(back.CheckConsistency(), "");
        ExpectSameShape(original, Reloaded(back));
    }
}

TEST(ShapeConversion, StripsBecomeTriangleListsAndHeadPartsDynamicShapes) {
    NifFile f = MakeSkinnedGrid({"", 83, 1, 4, false, false});
    auto* data = const_cast<NiTriShapeData*>(First<NiTriShapeData>(f));
    data->triangles.resize(2);  // the strip 0 1 20 21 as a triangle list
    data->numTriangles = 2;
    auto strips = std::make_unique<NiTriStripsData>();
    static_cast<NiTriBasedGeomData&>(*strips) = *data;
    strips->stripLengths = {4};
    strips->hasPoints = 1;
    strips->points = {{0, 1, 20, 21}};
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.blocks[i].get() == data) f.ReplaceBlock(i, std::move(strips));
        if (auto* shape = As<NiTriShape>(f.blocks[i].get())) {
            auto s = std::make_unique<NiTriStrips>();
            static_cast<NiTriBasedGeom&>(*s) = *shape;
            f.ReplaceBlock(i, std::move(s));
        }
    }
    auto* partition = const_cast<NiSkinPartition*>(First<NiSkinPartition>(f));
    partition->partitions[0].triangles.clear();
    partition->partitions[0].stripLengths = {4};
    partition->partitions[0].strips = {{0, 1, 2, 3}};
    const_cast<BSDismemberSkinInstance*>(First<BSDismemberSkinInstance>(f))
        ->partitions[0]
        .bodyPart = 230;
    SwitchForm(f, kGameUserVersion, kSEUserVersion2);
    const NifFile se = Reloaded(f);
    const auto* shape = First<BSDynamicTriShape>(se);
    ASSERT_NE(shape, nullptr);
    // A skinned head part keeps its records and triangles in the partition.
    EXPECT_EQ(shape->dataSize, 0u);
    EXPECT_EQ(shape->dynamicVertices.size(), shape->numVertices);
    const SkinPartition& p = First<NiSkinPartition>(se)->partitions[0];
    ASSERT_EQ(p.triangles.size(), 2u);
    EXPECT_TRUE(p.stripLengths.empty());
    EXPECT_EQ(p.triangles[1].v1, 1);
    EXPECT_EQ(p.triangles[1].v2, 3);
    EXPECT_EQ(p.triangles[1].v3, 2);
    NifFile le = se;
    SwitchForm(le, kGameUserVersion, kGameUserVersion2);
    const NifFile reloaded = Reloaded(le);
    const auto* back = First<NiTriShapeData>(reloaded);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->triangles.size(), 2u);
    EXPECT_EQ(back->triangles[1].v2, 21);
    EXPECT_EQ(back->vertices[21].x, 1.37f);  // column 1 of row 1
}

#ifdef PELLMAR_CORPUS_DIR
// The real Special Edition file goes to the original edition's layout within the precision
// bounds of its twin (the same mesh as the original edition stores it; the tool that wrote the
// Special Edition file recomputed a third of the normals, so those are compared for length)
// and back to every byte.
TEST(ShapeConversion, RealSpecialEditionFileConvertsThereAndBack) {
    const std::filesystem::path dir = PELLMAR_CORPUS_DIR;
    const auto se = dir / "pyffi__skyrimse_cookiechip.nif",
               le = dir / "pyffi__skyrim_cookiechip.nif";
    if (!std::filesystem::exists(se) || !std::filesystem::exists(le)) GTEST_SKIP() << "no corpus";
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_EQ(ReadWholeFile(se.string(), bytes, error), rc::kOk);
    NifFile f, twin;
    ASSERT_EQ(f.LoadFromMemory(bytes), rc::kOk);
    ASSERT_EQ(twin.Load(le.string()), rc::kOk);
    SwitchForm(f, kGameUserVersion, kGameUserVersion2);
    const NifFile converted = Reloaded(f);
    const auto* a = First<NiTriShapeData>(converted);
    const auto* b = First<NiTriShapeData>(twin);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->numVertices, b->numVertices);
    EXPECT_EQ(std::memcmp(a->triangles.data(), b->triangles.data(), b->triangles.size() * 6), 0);
    EXPECT_EQ(a->dataFlags, b->dataFlags);
    for (size_t v = 0; v < a->numVertices; ++v) {
        ExpectNear3(a->vertices[v], b->vertices[v], 1e-4f);
        const Vector3& n = a->normals[v];
        EXPECT_NEAR(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 1.0f, 3 * kByteStep);
        EXPECT_NEAR(a->uvs[v].u, b->uvs[v].u, std::fabs(b->uvs[v].u) / 2048 + 1e-7f);
        EXPECT_NEAR(a->uvs[v].v, b->uvs[v].v, std::fabs(b->uvs[v].v) / 2048 + 1e-7f);
    }
    SwitchForm(f, kGameUserVersion, kSEUserVersion2);
    std::string again;
    ASSERT_EQ(f.SaveToMemory(again), rc::kOk);
    EXPECT_TRUE(again == std::string(bytes.begin(), bytes.end()));
}
#endif
