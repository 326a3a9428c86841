// Shapes between the original edition's layout and the Special Edition's packed records, as
// real files lay them out: generated skinned meshes of every vertex-attribute combination and
// the shared real files keep their content on every conversion path, as the mesh comparison
// and the independent sheet reader see it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <set>

#include "Conversions.h"
#include "FileIO.h"
#include "FormSwitch.h"
#include "Geometry.h"
#include "MeshCompare.h"
#include "ResultCodes.h"
#include "SampleBuilder.h"
#include "SampleFiles.h"
#include "ShapeConversion.h"
#include "ShapeView.h"
#include "SheetCheck.h"
#include "TestSupport.h"

namespace {

enum Attributes : unsigned { kNormals = 1, kTangents = 2, kUVs = 4, kColors = 8 };

struct MeshCase {
    const char* what;
    uint32_t userVersion2;  // 34 (with user version 11) or 83
    unsigned attributes;
    uint32_t partitions, bones;
    uint32_t weightsPerVertex;
    bool headPart;
};

// A grid cut into partitions of consecutive triangles. Every vertex has its own weights on
// bones of the skin that follow its column, so neighbouring partitions share bones and
// vertices; each partition lists the bones its vertices use.
NifFile MakeSkinnedGrid(const MeshCase& c) {
    const uint32_t userVersion = c.userVersion2 == 34 ? 11 : 12;
    SampleBuilder b(userVersion, c.userVersion2);
    const int root = b.Reserve();
    const uint16_t rows = 24, cols = 20;
    auto d = std::make_unique<NiTriShapeData>();
    d->numVertices = rows * cols;
    d->hasNormals = (c.attributes & kNormals) != 0;
    const bool tangents = (c.attributes & kTangents) && d->hasNormals;
    d->dataFlags = static_cast<uint16_t>(((c.attributes & kUVs) ? 1 : 0) | (tangents ? 0x1000 : 0));
    d->hasVertexColors = (c.attributes & kColors) != 0;
    for (uint16_t v = 0; v < d->numVertices; ++v) {
        const float x = static_cast<float>(v % cols) * 1.37f, y = static_cast<float>(v / cols);
        const float s = std::sin(x), k = std::cos(x);
        d->vertices.push_back({x, y * 0.91f, s * 3.3f});
        if (d->hasNormals) d->normals.push_back({-k * 0.6f, 0.0f, 0.8f});
        if (tangents) {
            d->tangents.push_back({0.8f, 0.0f, 0.6f * k});
            d->bitangents.push_back({0.123456f * s, 1.0f, 0.0f});
        }
        if (d->hasVertexColors)
            d->vertexColors.push_back({s * s, k * k, 0.5f, 1.0f - s * s * 0.3f});
        if (c.attributes & kUVs) d->uvs.push_back({x / 30.0f, y / 24.0f});
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

    // The bones and weights of each vertex.
    const float shares[4][4] = {
        {1, 0, 0, 0}, {0.7f, 0.3f, 0, 0}, {0.5f, 0.3f, 0.2f, 0}, {0.4f, 0.3f, 0.2f, 0.1f}};
    const uint32_t w = c.weightsPerVertex;
    auto boneOf = [&](uint16_t v, uint32_t k) {
        return static_cast<uint16_t>(((v % cols) * c.bones / cols + k * 3 + (v / cols) % 2) %
                                     c.bones);
    };
    auto skinData = std::make_unique<NiSkinData>();
    skinData->bones.resize(c.bones);
    for (uint16_t v = 0; v < d->numVertices; ++v) {
        for (uint32_t k = 0; k < w; ++k)
            skinData->bones[boneOf(v, k)].weights.push_back({v, shares[w - 1][k]});
    }
    for (BoneData& bone : skinData->bones)
        bone.numVertices = static_cast<uint16_t>(bone.weights.size());
    auto skin = std::make_unique<NiSkinPartition>();
    const size_t per = (d->triangles.size() + c.partitions - 1) / c.partitions;
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
        std::set<uint16_t> used;
        for (uint16_t v : part.vertexMap) {
            for (uint32_t k = 0; k < w; ++k) used.insert(boneOf(v, k));
        }
        part.bones.assign(used.begin(), used.end());
        part.numWeightsPerVertex = static_cast<uint16_t>(w);
        for (uint16_t v : part.vertexMap) {
            for (uint32_t k = 0; k < w; ++k) {
                const auto at = std::find(part.bones.begin(), part.bones.end(), boneOf(v, k));
                part.vertexWeights.push_back(shares[w - 1][k]);
                part.boneIndices.push_back(static_cast<uint8_t>(at - part.bones.begin()));
            }
        }
        part.numVertices = static_cast<uint16_t>(part.vertexMap.size());
        part.numTriangles = static_cast<uint16_t>(part.triangles.size());
        part.hasVertexMap = part.hasVertexWeights = part.hasFaces = part.hasBoneIndices = 1;
        skin->partitions.push_back(std::move(part));
    }

    auto instance = std::make_unique<BSDismemberSkinInstance>();
    instance->skeletonRoot = root;
    for (uint32_t p = 0; p < c.partitions; ++p) {
        const uint16_t part = c.headPart ? 230 : static_cast<uint16_t>(32 + p);
        instance->partitions.push_back({1, part});
    }
    SetBoneSetFlags(*instance, *skin);
    instance->data = b.Add(std::move(skinData));
    instance->skinPartition = b.Add(std::move(skin));
    std::vector<int32_t> children;
    for (uint32_t k = 0; k < c.bones; ++k) {
        auto bone = std::make_unique<NiNode>();
        bone->name = b.String("Bone" + std::to_string(k));
        instance->bones.push_back(b.Add(std::move(bone)));
        children.push_back(instance->bones.back());
    }
    auto shape = std::make_unique<NiTriShape>();
    shape->name = b.String("Grid");
    shape->data = b.Add(std::move(d));
    shape->skinInstance = b.Add(std::move(instance));
    children.push_back(b.Add(std::move(shape)));
    auto node = std::make_unique<NiNode>();
    node->name = b.String("Scene Root");
    node->children = children;
    b.Set(root, std::move(node));
    return b.Finish();
}

template <class T>
const T* FirstBlock(const NifFile& f) {
    for (const auto& block : f.blocks)
        if (auto* t = As<T>(block.get())) return t;
    return nullptr;
}

NifFile Reloaded(const NifFile& f) {
    std::string bytes;
    EXPECT_EQ(f.SaveToMemory(bytes), rc::kOk) << f.LastError();
    NifFile back;
    EXPECT_EQ(back.LoadFromMemory(std::vector<uint8_t>(bytes.begin(), bytes.end())), rc::kOk)
        << back.LastError();
    return back;
}

// Every difference the geometry comparison finds, one per line; `packed`: within what the
// Special Edition's records keep.
std::string Differences(const NifFile& a, const NifFile& b, bool packed = false,
                        bool collisionMayLeave = false) {
    CompareOptions geometry;
    geometry.geometryOnly = true;
    geometry.packedPrecision = packed;
    geometry.collisionMayLeave = collisionMayLeave;
    std::string text;
    for (const std::string& line : CompareMeshes(a, b, geometry).Lines()) text += line + "\n";
    return text;
}

// The Special Edition's layout of a skinned shape: no records or triangles in the shape, the
// records (one per vertex, naming the skin's bones) and the triangles in the partition, every
// partition listing all bones, and the bone-set flag only on the first partition.
void ExpectRealSkinnedLayout(const NifFile& se, size_t vertices) {
    for (const auto& block : se.blocks) {
        EXPECT_FALSE(As<NiGeometry>(block.get()) || As<NiGeometryData>(block.get()))
            << NameOf(block->Type());
    }
    const auto* shape = FirstBlock<BSTriShape>(se);
    const auto* skin = FirstBlock<NiSkinPartition>(se);
    const auto* instance = FirstBlock<BSDismemberSkinInstance>(se);
    ASSERT_TRUE(shape && skin && instance);
    EXPECT_EQ(shape->dataSize, 0u);
    EXPECT_TRUE(shape->vertexData.records.empty());
    EXPECT_EQ(shape->numTriangles, 0u);
    EXPECT_EQ(shape->numVertices, As<BSDynamicTriShape>(shape) ? vertices : 0u);
    ASSERT_TRUE(skin->RecordsDecoded());
    EXPECT_EQ(skin->vertexData.records.size(), vertices);
    EXPECT_EQ(skin->vertexDesc, shape->vertexDesc);
    for (const PackedVertex& r : skin->vertexData.records) {
        for (size_t k = 0; k < 4; ++k) EXPECT_LT(r.bones[k], instance->bones.size());
    }
    for (size_t p = 0; p < skin->partitions.size(); ++p) {
        const SkinPartition& part = skin->partitions[p];
        EXPECT_EQ(part.bones.size(), instance->bones.size());
        EXPECT_EQ(part.triangles.size(), part.numTriangles);
        // Both lists number the shape's vertices.
        EXPECT_EQ(part.trianglesCopy.size(), part.triangles.size());
        for (size_t t = 0; t < part.triangles.size() && t < part.trianglesCopy.size(); ++t)
            EXPECT_EQ(part.triangles[t].v2, part.trianglesCopy[t].v2);
        EXPECT_EQ((instance->partitions[p].partFlag & 0x100) != 0, p == 0) << "partition " << p;
    }
}

}  // namespace

TEST(ShapeConversion, SkinnedMeshesKeepTheirContentInTheRealSpecialEditionLayout) {
    const MeshCase cases[] = {
        {"Blender, every attribute, 3 partitions", 34, kNormals | kTangents | kUVs | kColors, 3,
         120, 4, false},
        {"Blender, normals and UVs, 4 partitions", 34, kNormals | kUVs, 4, 60, 3, false},
        {"Skyrim, colours and UVs, no normals", 83, kUVs | kColors, 2, 40, 2, false},
        {"Skyrim, normals and tangents, 5 partitions", 83, kNormals | kTangents | kUVs, 5, 12, 4,
         false},
        {"Skyrim, positions only, one bone per vertex", 83, 0, 1, 3, 1, false},
        {"Skyrim head part, every attribute", 83, kNormals | kTangents | kUVs | kColors, 3, 8, 4,
         true},
    };
    const std::filesystem::path checker = SheetChecker();
    TempDir dir;
    std::vector<std::string> written;
    for (const MeshCase& c : cases) {
        SCOPED_TRACE(c.what);
        const NifFile original = MakeSkinnedGrid(c);
        const size_t vertices = ShapesOf(original)[0].NumVertices();
        NifFile se = original;
        SwitchForm(se, kGameUserVersion, kSEUserVersion2);
        EXPECT_EQ(se.CheckConsistency(), "");
        se = Reloaded(se);
        ASSERT_NO_FATAL_FAILURE(ExpectRealSkinnedLayout(se, vertices));
        EXPECT_EQ(FirstBlock<BSDynamicTriShape>(se) != nullptr, c.headPart);
        EXPECT_EQ(Differences(original, se), "");
        NifFile back = se;
        SwitchForm(back, original.header.userVersion, original.header.userVersion2);
        back = Reloaded(back);
        EXPECT_EQ(Differences(original, back, true), "");
        EXPECT_EQ(Differences(se, back), "");
        for (const NifFile* f : {&se, &back}) {
            written.push_back(dir.Path(std::to_string(written.size()) + ".nif").string());
            ASSERT_EQ(f->Save(written.back()), rc::kOk);
        }
    }
    if (checker.empty()) GTEST_SKIP() << "no sheet reader or python3";
    EXPECT_EQ(SheetCheck(checker, written, dir.Path("report.txt")), "");
}

namespace {

// Makes a partition of the grid hold the quad of vertices 0, 1, 20 and 21 as the strip of its
// local vertices 0 1 2 3.
void StripOfFourVertices(SkinPartition& part) {
    part.numVertices = 4;
    part.vertexMap = {0, 1, 20, 21};
    part.vertexWeights.resize(8);
    part.boneIndices.resize(8);
    part.triangles.clear();
    part.stripLengths = {4};
    part.strips = {{0, 1, 2, 3}};
}

}  // namespace

// A partition no shape reaches (its skin no longer names it) takes the Special Edition's faces
// as a packed shape's partition does: its strips a triangle list in the shape's numbering,
// with the copy that form keeps beside it. The switch used to leave its copy empty, and the
// file could not be written.
TEST(ShapeConversion, APartitionNoShapeReachesTakesTheSpecialEditionFaces) {
    NifFile f = MakeSkinnedGrid({"", 83, kNormals | kUVs, 2, 4, 2, false});
    auto* partition = const_cast<NiSkinPartition*>(FirstBlock<NiSkinPartition>(f));
    const_cast<NiSkinInstance*>(FirstBlock<NiSkinInstance>(f))->skinPartition = kNoBlock;
    StripOfFourVertices(partition->partitions[0]);
    const std::vector<Triangle> unpacked = partition->partitions[1].triangles;
    const NifFile original = f;
    SwitchForm(f, kGameUserVersion, kSEUserVersion2);
    ASSERT_EQ(f.CheckConsistency(), "");
    const NifFile se = Reloaded(f);
    using Corners = std::vector<std::array<uint16_t, 3>>;
    const auto corners = [](const std::vector<Triangle>& list) {
        Corners out;
        for (const Triangle& c : list) out.push_back({c.v1, c.v2, c.v3});
        return out;
    };
    const auto& parts = FirstBlock<NiSkinPartition>(se)->partitions;
    ASSERT_EQ(parts.size(), 2u);
    for (const SkinPartition& p : parts) {
        EXPECT_TRUE(p.stripLengths.empty());
        EXPECT_EQ(corners(p.trianglesCopy), corners(p.triangles));
        EXPECT_EQ(p.triangles.size(), p.numTriangles);
    }
    // The strip 0 1 2 3 of local vertices, the second triangle turned back to its winding.
    EXPECT_EQ(corners(parts[0].triangles), (Corners{{0, 1, 20}, {1, 21, 20}}));
    ASSERT_EQ(parts[1].triangles.size(), unpacked.size());
    for (size_t t = 0; t < unpacked.size(); ++t) {
        const Triangle& u = unpacked[t];
        EXPECT_EQ(corners({parts[1].triangles[t]}),
                  (Corners{{parts[1].ShapeVertex(u.v1), parts[1].ShapeVertex(u.v2),
                            parts[1].ShapeVertex(u.v3)}}));
    }
    // The shape itself, its weights from the skin data, is kept whole both ways.
    EXPECT_EQ(Differences(original, se), "");
    NifFile le = se;
    SwitchForm(le, kGameUserVersion, kGameUserVersion2);
    EXPECT_EQ(Differences(original, Reloaded(le), true), "");
}

TEST(ShapeConversion, StripsBecomeTriangleListsAndHeadPartsDynamicShapes) {
    NifFile f = MakeSkinnedGrid({"", 83, kNormals | kUVs, 1, 4, 2, true});
    auto* data = const_cast<NiTriShapeData*>(FirstBlock<NiTriShapeData>(f));
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
    auto* partition = const_cast<NiSkinPartition*>(FirstBlock<NiSkinPartition>(f));
    StripOfFourVertices(partition->partitions[0]);
    const NifFile original = f;
    SwitchForm(f, kGameUserVersion, kSEUserVersion2);
    const NifFile se = Reloaded(f);
    const auto* shape = FirstBlock<BSDynamicTriShape>(se);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->dataSize, 0u);
    EXPECT_EQ(shape->dynamicVertices.size(), shape->numVertices);
    const SkinPartition& p = FirstBlock<NiSkinPartition>(se)->partitions[0];
    ASSERT_EQ(p.triangles.size(), 2u);
    EXPECT_TRUE(p.stripLengths.empty());
    // The strip's second triangle turned back to its winding, in the shape's numbering.
    EXPECT_EQ(p.triangles[1].v1, 1);
    EXPECT_EQ(p.triangles[1].v2, 21);
    EXPECT_EQ(p.triangles[1].v3, 20);
    EXPECT_EQ(Differences(original, se), "");
    NifFile le = se;
    SwitchForm(le, kGameUserVersion, kGameUserVersion2);
    const NifFile reloaded = Reloaded(le);
    const auto* back = FirstBlock<NiTriShapeData>(reloaded);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->triangles.size(), 2u);
    EXPECT_EQ(back->triangles[1].v2, 21);
    EXPECT_EQ(back->vertices[21].x, 1.37f);  // column 1 of row 1
    // The partition numbers its own vertices again.
    EXPECT_EQ(FirstBlock<NiSkinPartition>(reloaded)->partitions[0].triangles[1].v2, 3);
    EXPECT_EQ(Differences(original, reloaded, true), "");
}

#ifdef PELLMAR_CORPUS_DIR
namespace {

NifFile CorpusFile(const std::string& name) {
    NifFile f;
    const auto path = std::filesystem::path(PELLMAR_CORPUS_DIR) / name;
    EXPECT_EQ(f.Load(path.string()), rc::kOk) << f.LastError();
    return f;
}

// The figures of every shape against what the independent reader listed for the file.
void ExpectCorpusFigures(const NifFile& f, const std::string& name) {
    std::vector<ShapeFigures> expected;
    for (const ShapeFigures& row : CorpusGeometry())
        if (row.file == name) expected.push_back(row);
    const std::vector<ShapeView> shapes = ShapesOf(f);
    ASSERT_EQ(shapes.size(), expected.size()) << name;
    for (size_t i = 0; i < shapes.size(); ++i)
        EXPECT_EQ(CompareFigures(expected[i], FiguresOf(shapes[i])), "");
}

}  // namespace

// Pellmar reads every shape of the real files as the independent reader does: the skinned
// Special Edition shapes whose records live in their partitions included.
TEST(ShapeConversion, EveryCorpusShapeReadsAsTheIndependentReaderSeesIt) {
    const std::vector<ShapeFigures> rows = CorpusGeometry();
    if (rows.empty()) GTEST_SKIP() << "no corpus";
    std::set<std::string> files;
    for (const ShapeFigures& r : rows) files.insert(r.file);
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        ExpectCorpusFigures(CorpusFile(name), name);
    }
}

// Every conversion path of the real game meshes keeps every shape: to-blender, convert both
// ways, and the Special Edition files there and back in their own layout.
TEST(ShapeConversion, EveryPathKeepsTheRealMeshes) {
    const std::vector<ShapeFigures> rows = CorpusGeometry();
    if (rows.empty()) GTEST_SKIP() << "no corpus";
    const std::filesystem::path checker = SheetChecker();
    TempDir dir;
    std::vector<std::string> written;
    std::set<std::string> files;
    for (const ShapeFigures& r : rows) files.insert(r.file);
    for (const std::string& name : files) {
        const NifFile input = CorpusFile(name);
        if (input.Form() == kForm34) continue;
        SCOPED_TRACE(name);
        NifFile blender, le, se, seBack;
        const ConversionResult b = PrepareToBlender(input, blender);
        ASSERT_EQ(b.code, rc::kOk) << b.message;
        const ConversionResult l = PrepareConvert(input, kForm83, le);
        ASSERT_EQ(l.code, rc::kOk) << l.message;
        const ConversionResult s = PrepareConvert(le, kForm100, se);
        ASSERT_EQ(s.code, rc::kOk) << s.message;
        for (const NifFile* out : {&blender, &le, &se}) {
            const NifFile reloaded = Reloaded(*out);
            ExpectCorpusFigures(reloaded, name);
            // The Blender form lacks the compressed collision meshes of the game's files.
            EXPECT_EQ(Differences(input, reloaded, false, out == &blender), "");
            written.push_back(dir.Path(std::to_string(written.size()) + ".nif").string());
            ASSERT_EQ(out->Save(written.back()), rc::kOk);
        }
        // A Special Edition file there and back keeps its layout: the same blocks of the same
        // sizes (an unused record slot and a partition's padding aside).
        if (input.Form() != kForm100) continue;
        ASSERT_EQ(se.blocks.size(), input.blocks.size());
        EXPECT_EQ(se.header.blockTypes, input.header.blockTypes);
        const NifFile back = Reloaded(se);
        for (uint32_t i = 0; i < input.blocks.size(); ++i) {
            EXPECT_EQ(back.TypeNameOf(i), input.TypeNameOf(i));
            const NiObject* block = input.blocks[i].get();
            if (As<NiSkinPartition>(block) || As<BSDynamicTriShape>(block)) continue;
            EXPECT_TRUE(BodyBytes(*back.blocks[i], kForm100) == BodyBytes(*block, kForm100))
                << "block " << i << " " << input.TypeNameOf(i);
        }
    }
    if (checker.empty()) GTEST_SKIP() << "no sheet reader or python3";
    EXPECT_EQ(SheetCheck(checker, written, dir.Path("report.txt")), "");
}

// The real Special Edition cookie goes to the original edition's layout within the precision
// bounds of its twin (the same mesh as the original edition stores it) and back to every byte.
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
    // The tool that wrote the Special Edition file recomputed the normals and tangents.
    CompareOptions options;
    options.geometryOnly = true;
    options.allowed["*"] = kPartNormals | kPartTangents;
    options.packedPrecision = true;
    const MeshComparison c = CompareMeshes(twin, converted, options);
    EXPECT_TRUE(c.Same()) << c.Lines().front();
    SwitchForm(f, kGameUserVersion, kSEUserVersion2);
    std::string again;
    ASSERT_EQ(f.SaveToMemory(again), rc::kOk);
    EXPECT_TRUE(again == std::string(bytes.begin(), bytes.end()));
}
#endif
