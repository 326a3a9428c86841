// The content check every conversion makes before it writes, and the comparison behind it and
// behind `diff`: broken conversions are refused, what the forms store is tolerated, collision
// compares in the game's units.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>

#include "Application.h"
#include "Config.h"
#include "Conversions.h"
#include "FormSwitch.h"
#include "Geometry.h"
#include "Havok.h"
#include "MeshCompare.h"
#include "PortablePlatform.h"
#include "ResultCodes.h"
#include "SampleBuilder.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "ShapeView.h"
#include "TestSupport.h"

namespace {

const std::vector<AssignmentRow> kRows = {
    {"Body", "Plain", "no"}, {"Hands", "Hair (A)", "yes"}, {"Feet", "Metal", "no"}};

// The sample cleaned for the game: three shapes, the body skinned over three partitions.
NifFile Game() {
    NifFile out;
    EXPECT_EQ(PrepareClean(MakeSampleMesh(), MakeSampleLibrary(), kRows, AlphaSettings{}, out).code,
              rc::kOk);
    return out;
}

// The skinned body's data, in whichever layout the file keeps it.
NiTriShapeData* BodyData(NifFile& f) {
    return f.BlockAs<NiTriShapeData>(ShapeView(f, FindShape(f, "Body")).DataRef());
}
NiSkinPartition* BodyPartition(NifFile& f) {
    return const_cast<NiSkinPartition*>(ShapeView(f, FindShape(f, "Body")).Partition());
}
std::vector<PackedVertex>& BodyRecords(NifFile& f) {
    return BodyPartition(f)->vertexData.records;
}

struct Fault {
    const char* what;
    const char* named;                               // the part the refusal names
    std::function<void(NifFile&)> original, packed;  // for either layout of the output
};

const std::vector<Fault> kFaults = {
    {"drops a vertex", "vertices",
     [](NifFile& f) {
         NiTriShapeData& d = *BodyData(f);
         --d.numVertices;
         for (auto* list : {&d.vertices, &d.normals, &d.tangents, &d.bitangents})
             if (!list->empty()) list->pop_back();
         d.uvs.pop_back();
     },
     [](NifFile& f) {
         BodyRecords(f).pop_back();
         BodyPartition(f)->dataSize -= BodyPartition(f)->vertexSize;
     }},
    {"moves a vertex", "positions", [](NifFile& f) { BodyData(f)->vertices[3].x += 0.5f; },
     [](NifFile& f) { BodyRecords(f)[3].position.x += 0.5f; }},
    {"loses a weight", "weights",
     [](NifFile& f) {
         SkinPartition& p = BodyPartition(f)->partitions[0];
         p.vertexWeights[0] = 0;
     },
     [](NifFile& f) {
         BodyRecords(f)[BodyPartition(f)->partitions[0].vertexMap[0]].weights[0] = 0;
     }},
    {"swaps two UVs", "UVs",
     [](NifFile& f) { std::swap(BodyData(f)->uvs[0], BodyData(f)->uvs[5]); },
     [](NifFile& f) { std::swap(BodyRecords(f)[0].uv, BodyRecords(f)[5].uv); }},
    {"turns a triangle over", "triangles",
     [](NifFile& f) { std::swap(BodyData(f)->triangles[2].v2, BodyData(f)->triangles[2].v3); },
     [](NifFile& f) {
         Triangle& t = BodyPartition(f)->partitions[0].trianglesCopy[2];
         std::swap(t.v2, t.v3);
     }},
};

struct Path {
    const char* what;
    std::function<ConversionResult(NifFile&)> run;
    bool packed;
};

}  // namespace

// Every conversion refuses an output that lost or changed what the input held, names the
// shape and what differs, and writes nothing.
TEST(ContentCheck, BrokenConversionsAreRefused) {
    const NifFile game = Game();
    NifFile se;
    ASSERT_EQ(PrepareConvert(game, kForm100, se).code, rc::kOk);
    const Path paths[] = {
        {"clean",
         [](NifFile& out) {
             return PrepareClean(MakeSampleMesh(), MakeSampleLibrary(), kRows, {}, out);
         },
         false},
        {"clean --form se",
         [](NifFile& out) {
             return PrepareClean(MakeSampleMesh(), MakeSampleLibrary(), kRows, {}, out, {}, true,
                                 kForm100);
         },
         true},
        {"to-blender", [&](NifFile& out) { return PrepareToBlender(game, out); }, false},
        {"convert --to se", [&](NifFile& out) { return PrepareConvert(game, kForm100, out); },
         true},
        {"convert --to le", [&](NifFile& out) { return PrepareConvert(se, kForm83, out); }, false},
    };
    for (const Path& path : paths) {
        for (const Fault& fault : kFaults) {
            SCOPED_TRACE(std::string(path.what) + " " + fault.what);
            g_breakConversionForTests = path.packed ? fault.packed : fault.original;
            NifFile out;
            const ConversionResult r = path.run(out);
            g_breakConversionForTests = nullptr;
            EXPECT_EQ(r.code, rc::kContentChanged);
            EXPECT_NE(r.message.find("shape \"Body\""), std::string::npos) << r.message;
            EXPECT_NE(r.message.find(fault.named), std::string::npos) << r.message;
        }
        NifFile out;
        EXPECT_EQ(path.run(out).code, rc::kOk) << path.what;
    }
    // The window's Clean writes nothing when the check refuses.
    TempDir dir;
    std::ostringstream messages;
    PortablePlatform platform(messages);
    AppState state(platform);
    state.inputNif = MakeSampleMesh();
    state.libraryNif = MakeSampleLibrary();
    state.config.set(kInputNifFileName, "in.nif");
    FillList(state);
    g_breakConversionForTests = kFaults[1].original;
    const ConversionResult r = CleanTo(state, dir.Path("out.nif").string());
    g_breakConversionForTests = nullptr;
    EXPECT_EQ(r.code, rc::kContentChanged);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("out.nif")));
}

namespace {

// Hands the shapes a switch converts to the check, breaking the body on the way when told.
struct BreakingWatcher : ShapeWatcher {
    InPlaceContentCheck& check;
    NifFile& file;
    std::function<void(NifFile&)> fault;
    BreakingWatcher(InPlaceContentCheck& c, NifFile& f, std::function<void(NifFile&)> x)
        : check(c), file(f), fault(std::move(x)) {}
    void Before(const NifFile& f, uint32_t shape) override { check.Before(f, shape); }
    void After(const NifFile& f, uint32_t shape) override {
        if (fault && f.NameOf(shape) == "Body") fault(file);
        check.After(f, shape);
    }
};

// Two shapes over one data block: the hands and their copy.
NifFile SharedData(const NifFile& game) {
    NifFile f = game;
    const auto hands = static_cast<uint32_t>(FindShape(f, "Hands"));
    const BlockRef copy = f.AppendBlock(f.blocks[hands]->Clone());
    f.BlockAs<NiNode>(f.roots[0])->children.push_back(copy);
    return f;
}

}  // namespace

// Converting in place (what the command line does) writes what converting a copy writes and
// passes the check that compares the whole input with the whole output; a shape broken while
// it is converted is refused by name and part, whichever way the switch goes.
TEST(ContentCheck, ConversionInPlaceChecksEachShapeAsItGoes) {
    const NifFile game = Game();
    NifFile se;
    ASSERT_EQ(PrepareConvert(game, kForm100, se).code, rc::kOk);
    const struct {
        const char* what;
        NifFile input;
        uint8_t to;
    } cases[] = {
        {"sample to se", game, kForm100},
        {"sample to le", se, kForm83},
        {"shared data to se", SharedData(game), kForm100},
        {"four shapes to se", MakeSkinnedMesh(700, 12, 83, 200, true), kForm100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NifFile copied;
        ASSERT_EQ(PrepareConvert(c.input, c.to, copied).code, rc::kOk);
        NifFile file = c.input;
        std::vector<std::string> changes;
        const ConversionResult r = ConvertInPlace(file, c.to, &changes);
        ASSERT_EQ(r.code, rc::kOk) << r.message;
        // What a dry run lists: the block types that came and went, as diff says.
        EXPECT_EQ(changes, CompareMeshes(c.input, file).Lines());
        EXPECT_FALSE(changes.empty());
        std::string a, b;
        ASSERT_EQ(copied.SaveToMemory(a), rc::kOk);
        ASSERT_EQ(file.SaveToMemory(b), rc::kOk);
        EXPECT_EQ(a, b);
        EXPECT_EQ(ContentProblems(c.input, file, {}), "");
        EXPECT_EQ(ShapesOf(file).size(), ShapesOf(c.input).size());
        for (const ShapeView& s : ShapesOf(file)) EXPECT_GT(s.NumVertices(), 0u) << s.Name();
    }
    // A shape whose block was put back by another, even an equal one, is no longer the one
    // compared.
    g_breakConversionForTests = [](NifFile& f) {
        const auto body = static_cast<uint32_t>(FindShape(f, "Body"));
        f.ReplaceBlock(body, f.blocks[body]->Clone());
    };
    NifFile replaced;
    const ConversionResult r = PrepareConvert(game, kForm100, replaced);
    g_breakConversionForTests = nullptr;
    EXPECT_EQ(r.code, rc::kContentChanged);
    EXPECT_NE(r.message.find("shape \"Body\": replaced"), std::string::npos) << r.message;
    // A mesh already in the target form is left as it is.
    for (const NifFile* already : {&game, static_cast<const NifFile*>(&se)}) {
        NifFile same = *already;
        std::vector<std::string> changes = {"not cleared"};
        ASSERT_EQ(ConvertInPlace(same, already->Form(), &changes).code, rc::kOk);
        EXPECT_TRUE(changes.empty());
        std::string a, b;
        ASSERT_EQ(already->SaveToMemory(a), rc::kOk);
        ASSERT_EQ(same.SaveToMemory(b), rc::kOk);
        EXPECT_EQ(a, b);
    }
    // The switch of the sample to either form, checked in place, the body broken on the way
    // by `fault` when given; what the check found.
    const auto switched = [&](bool toSE, const std::function<void(NifFile&)>& fault) {
        NifFile file = toSE ? game : se;
        CompareOptions options;
        InPlaceContentCheck check(file, toSE ? kForm100 : kForm83, options);
        BreakingWatcher watcher(check, file, fault);
        (void)SwitchForm(file, kGameUserVersion, toSE ? kSEUserVersion2 : kGameUserVersion2,
                         &watcher);
        return check.Problems(file);
    };
    for (const bool toSE : {true, false}) {
        EXPECT_EQ(switched(toSE, nullptr), "") << toSE;
        for (const Fault& fault : kFaults) {
            SCOPED_TRACE(std::string(fault.what) + (toSE ? " to se" : " to le"));
            const std::string problems = switched(toSE, toSE ? fault.packed : fault.original);
            EXPECT_NE(problems.find("shape \"Body\""), std::string::npos) << problems;
            EXPECT_NE(problems.find(fault.named), std::string::npos) << problems;
        }
    }
}

// Packing lets go of each shape's old data as soon as no unpacked shape needs it, so a large
// mesh is not held twice; data two shapes share stays until the second is packed. What is
// counted is the storage the data blocks' lists hold, not their lengths: an emptied list that
// keeps its storage still holds the mesh.
TEST(ContentCheck, PackingLetsGoOfOldDataAsItGoes) {
    struct Counter : ShapeWatcher {
        std::vector<size_t> held;  // vertices the data blocks have storage for, before each shape
        std::vector<size_t> triangles;
        void Before(const NifFile& f, uint32_t) override {
            size_t n = 0, t = 0;
            for (const auto& b : f.blocks) {
                if (const auto* d = As<NiTriShapeData>(b.get())) {
                    const size_t lists[] = {d->vertices.capacity(), d->normals.capacity(),
                                            d->tangents.capacity(), d->bitangents.capacity(),
                                            d->uvs.capacity()};
                    n += *std::max_element(std::begin(lists), std::end(lists));
                    t += d->triangles.capacity();
                }
            }
            held.push_back(n);
            triangles.push_back(t);
        }
        void After(const NifFile&, uint32_t) override {}
    };
    // Loaded from its bytes, each list has the storage of its length.
    NifFile four = LoadBytes(SaveBytes(MakeSkinnedMesh(800, 12, 83, 200, false)));
    const size_t perShape = ShapeView(four, FindShape(four, "Shape0")).Triangles().size();
    Counter counter;
    (void)SwitchForm(four, kGameUserVersion, kSEUserVersion2, &counter);
    EXPECT_EQ(counter.held, (std::vector<size_t>{800, 600, 400, 200}));
    EXPECT_EQ(counter.triangles,
              (std::vector<size_t>{4 * perShape, 3 * perShape, 2 * perShape, perShape}));

    NifFile shared = SharedData(Game());
    const size_t hands = ShapeView(shared, FindShape(shared, "Hands")).NumVertices();
    Counter sharing;
    (void)SwitchForm(shared, kGameUserVersion, kSEUserVersion2, &sharing);
    ASSERT_EQ(sharing.held.size(), 4u);
    // The copy is packed last: the hands' data is still there for it.
    EXPECT_GE(sharing.held[3], hands);
    for (const ShapeView& s : ShapesOf(shared)) {
        if (s.Name() == "Hands") {
            EXPECT_EQ(s.NumVertices(), hands);
        }
    }

    // What only the old data owned (additional geometry data) still leaves with it.
    NifFile extra = Game();
    auto additional = std::make_unique<NiAdditionalGeometryData>();
    additional->numVertices = 4;
    BodyData(extra)->additionalData = extra.AppendBlock(std::move(additional));
    ASSERT_EQ(extra.CheckConsistency(), "");
    ASSERT_EQ(ConvertInPlace(extra, kForm100).code, rc::kOk);
    for (uint32_t i = 0; i < extra.blocks.size(); ++i)
        EXPECT_NE(extra.TypeNameOf(i), "NiAdditionalGeometryData");
}

// Within what the packed records store a value is the same; a step further it differs.
TEST(ContentCheck, PackedPrecisionIsToleratedAndNoMore) {
    const NifFile game = Game();
    NifFile se;
    ASSERT_EQ(PrepareConvert(game, kForm100, se).code, rc::kOk);
    struct Nudge {
        const char* what;
        uint32_t part;
        std::function<void(PackedVertex&, int)> edit;
    };
    const Nudge nudges[] = {
        {"normal", kPartNormals, [](PackedVertex& r, int n) { r.normal[0] += n; }},
        {"UV", kPartUVs, [](PackedVertex& r, int n) { r.uv[1] += n; }},
        {"weight", kPartWeights, [](PackedVertex& r, int n) { r.weights[0] += n; }},
    };
    CompareOptions geometry;
    geometry.geometryOnly = true;
    for (const Nudge& nudge : nudges) {
        SCOPED_TRACE(nudge.what);
        // Rounding to the stored precision moved the value by at most half a step: one step
        // more in the rounding's direction can still be within it, three steps never are.
        for (int steps : {3, -3}) {
            NifFile edited = se;
            PackedVertex& r = BodyRecords(edited)[7];
            nudge.edit(r, steps);
            const MeshComparison c = CompareMeshes(game, edited, geometry);
            ASSERT_EQ(c.shapes.size(), 3u);
            EXPECT_EQ(c.shapes[0].parts, nudge.part) << steps;
        }
    }
    EXPECT_TRUE(CompareMeshes(game, se, geometry).Same());
}

TEST(ContentCheck, DiffNamesAddedRemovedAndRenamedShapes) {
    const NifFile game = Game();
    NifFile renamed = game;
    renamed.RenameShape("Feet", "Boots");
    NifFile removed = game;
    removed.DeleteBlock(static_cast<uint32_t>(FindShape(removed, "Hands")));
    const MeshComparison r = CompareMeshes(game, renamed);
    ASSERT_EQ(r.renamed.size(), 1u);
    EXPECT_EQ(r.renamed[0], std::make_pair(std::string("Feet"), std::string("Boots")));
    EXPECT_FALSE(r.Same());
    const MeshComparison d = CompareMeshes(game, removed);
    EXPECT_EQ(d.removed, std::vector<std::string>{"Hands"});
    EXPECT_TRUE(CompareMeshes(removed, game).added == std::vector<std::string>{"Hands"});
    // A conversion told of the rename accepts it.
    CompareOptions told;
    told.renamed["Feet"] = "Boots";
    EXPECT_EQ(ContentProblems(game, renamed, told), "");
    EXPECT_NE(ContentProblems(game, renamed, {}), "");
}

// A value the Special Edition's records cannot hold (a byte for a normal, a tangent or a
// colour, a half float for a UV) is refused before converting, with the shape, the part, the
// vertex and the value; one that rounds into the range converts. It used to be caught only by
// the content check, whose message called it a fault of Pellmar.
TEST(ContentCheck, ValuesTheSpecialEditionCannotHoldAreRefusedByName) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* what;
        std::function<void(NiTriShapeData&)> edit;
        const char* named;  // the start of the refusal's reason, or nullptr: it converts
    } kCases[] = {
        {"a normal of 1.002", [](NiTriShapeData& d) { d.normals[4].z = 1.002f; }, nullptr},
        {"a normal of 2", [](NiTriShapeData& d) { d.normals[4].z = 2; }, "normals beyond"},
        {"a NaN normal", [&](NiTriShapeData& d) { d.normals[4].x = nan; }, "normals beyond"},
        {"a tangent of -3", [](NiTriShapeData& d) { d.tangents[4].y = -3; }, "tangents beyond"},
        {"a UV of 1e6", [](NiTriShapeData& d) { d.uvs[4].u = 1e6f; }, "UVs beyond"},
        {"a NaN UV", [&](NiTriShapeData& d) { d.uvs[4].v = nan; }, nullptr},
        {"a colour of 1.5",
         [](NiTriShapeData& d) {
             d.hasVertexColors = 1;
             d.vertexColors.assign(d.numVertices, Color4{0.5f, 0.5f, 0.5f, 1});
             d.vertexColors[4].g = 1.5f;
         },
         "vertex colours beyond"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        NifFile f = Game();
        ASSERT_TRUE(BodyData(f)->HasTangents());
        c.edit(*BodyData(f));
        NifFile out;
        const ConversionResult r = PrepareConvert(f, kForm100, out);
        if (!c.named) {
            EXPECT_EQ(r.code, rc::kOk) << r.message;
            continue;
        }
        EXPECT_EQ(r.code, rc::kUnsupportedForm) << r.message;
        EXPECT_NE(r.message.find("\"Body\": " + std::string(c.named)), std::string::npos)
            << r.message;
        EXPECT_NE(r.message.find("(vertex 4: "), std::string::npos) << r.message;
        EXPECT_EQ(r.message.find("fault of Pellmar"), std::string::npos) << r.message;
    }
}

TEST(ContentCheck, InconsistentInputsAreRefusedByEveryConversion) {
    NifFile broken = Game();
    // The shape's data reference points past the blocks.
    broken.FindShapeByName("Body")->data = 65543;
    ASSERT_NE(broken.CheckConsistency(), "");
    NifFile out;
    for (const ConversionResult& r :
         {PrepareToBlender(broken, out), PrepareConvert(broken, kForm100, out),
          PrepareClean(broken, MakeSampleLibrary(), kRows, {}, out)}) {
        EXPECT_EQ(r.code, rc::kInconsistent);
        EXPECT_NE(r.message.find("65543"), std::string::npos) << r.message;
    }
}

namespace {

// A node holding a convex collision at the mesh's size: in the game form its lengths are a
// tenth of the Blender form's.
NifFile BladeWithCollision(uint32_t userVersion, uint32_t userVersion2, float scale) {
    SampleBuilder b(userVersion, userVersion2);
    const int32_t root = b.Reserve();
    auto convex = std::make_unique<bhkConvexVerticesShape>();
    convex->radius = 0.05f * scale;
    convex->vertices = {{1.25f * scale, 0.5f * scale, 3 * scale, 0},
                        {-1.25f * scale, 0.5f * scale, 3 * scale, 0},
                        {0, -0.5f * scale, 0.75f * scale, 0}};
    convex->normals = {{0, 0, 1, -3 * scale}, {0, 1, 0, -0.5f * scale}};
    auto body = std::make_unique<bhkRigidBody>();
    body->info.translation = {0.2f * scale, 0, 1.5f * scale, 0};
    body->info.center = {0, 0, 1.5f * scale, 0};
    body->info.inertiaTensor.m[0] = 0.75f * scale * scale;
    body->info.mass = 2;
    body->shape = b.Add(std::move(convex));
    auto collision = std::make_unique<bhkCollisionObject>();
    collision->target = root;
    collision->body = b.Add(std::move(body));
    auto node = std::make_unique<BSFadeNode>();
    node->name = b.String("Blade");
    node->collisionObject = b.Add(std::move(collision));
    b.Set(root, std::move(node));
    return b.Finish();
}

bhkConvexVerticesShape* Convex(const NifFile& f) {
    for (const auto& block : f.blocks)
        if (auto* c = As<bhkConvexVerticesShape>(block.get())) return c;
    ADD_FAILURE() << "no convex shape";
    static bhkConvexVerticesShape none;
    return &none;
}

}  // namespace

// To Blender writes collision at the Blender form's scale, Clean brings a collision made in
// Blender at the mesh's size to the game's, and the comparison sees both in game units.
TEST(CollisionUnits, ToBlenderAndCleanScaleHavokLengths) {
    const NifFile game = BladeWithCollision(12, 83, 1);
    NifFile blender;
    ASSERT_EQ(PrepareToBlender(game, blender).code, rc::kOk);
    EXPECT_FLOAT_EQ(Convex(blender)->vertices[0].x, 12.5f);
    EXPECT_FLOAT_EQ(Convex(blender)->normals[0].z, 1.0f);
    EXPECT_FLOAT_EQ(Convex(blender)->normals[0].w, -30.0f);
    EXPECT_TRUE(CompareMeshes(game, blender).collision.empty());

    // A collision a modder made in Blender at ten times the game's numbers.
    const NifFile made = BladeWithCollision(11, 34, 10);
    NifFile cleaned;
    const ConversionResult r = PrepareClean(made, MakeSampleLibrary(), {}, {}, cleaned);
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    EXPECT_NEAR(Convex(cleaned)->vertices[0].x, 1.25f, 1e-6f);
    EXPECT_NEAR(Convex(cleaned)->radius, 0.05f, 1e-8f);
    EXPECT_TRUE(CompareMeshes(game, cleaned).collision.empty());

    // A collision left at the wrong scale is a difference.
    NifFile wrong = blender;
    Convex(wrong)->vertices[1].y *= 10;
    EXPECT_EQ(CompareMeshes(game, wrong).collision.size(), 1u);
}

// Through Blender and back with the original, the collision's bytes come back.
TEST(CollisionUnits, RoundTripWithTheOriginalKeepsEveryByte) {
    NifFile game = BladeWithCollision(12, 83, 1);
    // Values a float cannot hold ten times larger and bring back.
    bhkConvexVerticesShape& convex = *Convex(game);
    size_t inexact = 0;
    for (float x = 1.0f; inexact < 3; x = std::nextafter(x, 2.0f)) {
        if (HavokToGame(HavokToBlender(x, 1), 1) == x) continue;
        convex.vertices[inexact].y = x;
        ++inexact;
    }
    NifFile blender, back, restored;
    ASSERT_EQ(PrepareToBlender(game, blender).code, rc::kOk);
    ASSERT_EQ(PrepareClean(blender, MakeSampleLibrary(), {}, {}, back).code, rc::kOk);
    EXPECT_NE(Convex(back)->vertices[0].y, Convex(game)->vertices[0].y);
    EXPECT_TRUE(CompareMeshes(game, back).collision.empty());
    const ConversionResult r =
        PrepareClean(blender, NifFile(), {}, {}, restored, RestoreSource{&game, {}});
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    for (uint32_t i = 0; i < game.blocks.size(); ++i) {
        if (!As<bhkRefObject>(game.blocks[i].get())) continue;
        const uint32_t j = IndexOfType(restored, game.TypeNameOf(i));
        EXPECT_EQ(BodyBytes(*restored.blocks[j], kForm83), BodyBytes(*game.blocks[i], kForm83))
            << game.TypeNameOf(i);
    }
}
