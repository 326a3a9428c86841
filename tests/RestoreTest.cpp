// Clean with a restore from the original: real game meshes taken to the Blender form and
// cleaned back, with the edits a modder makes in between, and the forms of the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "Animation.h"
#include "BlockCopy.h"
#include "Conversions.h"
#include "Geometry.h"
#include "Havok.h"
#include "Restore.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"
#include "Visitors.h"

namespace fs = std::filesystem;

namespace {

std::map<std::string, size_t> TypeCounts(const NifFile& f) {
    std::map<std::string, size_t> counts;
    for (uint32_t i = 0; i < f.blocks.size(); ++i) ++counts[f.TypeNameOf(i)];
    return counts;
}

bool IsScene(const NifFile& f, BlockRef r) {
    return f.BlockAs<NiAVObject>(r) != nullptr;
}

// Two owned subtrees hold blocks of the same types and bytes (reference and string indices
// aside) with the same string texts, and their references to scene objects name the same
// objects: what a copy between two files must keep.
void ExpectSameSubtree(const NifFile& a, BlockRef ra, const NifFile& b, BlockRef rb,
                       std::set<std::pair<BlockRef, BlockRef>>& seen) {
    ASSERT_EQ(ra == kNoBlock, rb == kNoBlock);
    if (ra == kNoBlock || !seen.insert({ra, rb}).second) return;
    const auto ia = static_cast<uint32_t>(ra), ib = static_cast<uint32_t>(rb);
    ASSERT_EQ(a.TypeNameOf(ia), b.TypeNameOf(ib));
    if (IsScene(a, ra)) {
        EXPECT_EQ(a.NameOf(ia), b.NameOf(ib));
        return;
    }
    struct Shape {
        std::vector<BlockRef> refs;
        std::vector<std::string> texts;
        Bytes bytes;
    };
    auto shapeOf = [](const NifFile& f, uint32_t i) {
        Shape s;
        std::unique_ptr<NiObject> c = f.blocks[i]->Clone();
        ForEachRef(*c, f.Form(), [&](BlockRef& r, RefKind, TypeId) {
            s.refs.push_back(r);
            r = 0;
        });
        ForEachString(*c, f.Form(), [&](StringRef& t) {
            s.texts.push_back(f.Text(t));
            t = 0;
        });
        s.bytes = BodyBytes(*c, f.Form());
        return s;
    };
    const Shape sa = shapeOf(a, ia), sb = shapeOf(b, ib);
    EXPECT_EQ(sa.bytes, sb.bytes) << a.TypeNameOf(ia);
    EXPECT_EQ(sa.texts, sb.texts) << a.TypeNameOf(ia);
    ASSERT_EQ(sa.refs.size(), sb.refs.size());
    for (size_t k = 0; k < sa.refs.size(); ++k)
        ExpectSameSubtree(a, sa.refs[k], b, sb.refs[k], seen);
}
void ExpectSameSubtree(const NifFile& a, BlockRef ra, const NifFile& b, BlockRef rb) {
    std::set<std::pair<BlockRef, BlockRef>> seen;
    ExpectSameSubtree(a, ra, b, rb, seen);
}

// The scene object of a name and kind, or the root for the original's root.
BlockRef Namesake(const NifFile& original, uint32_t i, const NifFile& f) {
    if (!original.roots.empty() && original.roots[0] == static_cast<BlockRef>(i)) return f.roots[0];
    for (uint32_t k = 0; k < f.blocks.size(); ++k) {
        if (f.NameOf(k) == original.NameOf(i) && f.TypeNameOf(k) == original.TypeNameOf(i))
            return static_cast<BlockRef>(k);
    }
    return kNoBlock;
}

std::vector<AssignmentRow> Rows(const NifFile& input, const NifFile& library) {
    std::vector<std::string> shapes, shaders;
    input.GetShapeNames(shapes);
    library.GetShaderNames(shaders);
    std::vector<AssignmentRow> rows;
    for (const std::string& s : shapes) rows.push_back({s, shaders.empty() ? "" : shaders[0], ""});
    return rows;
}

NifFile Corpus(const std::string& name) {
    NifFile f;
    const fs::path path = fs::path(PELLMAR_CORPUS_DIR) / name;
    if (fs::exists(path)) {
        EXPECT_EQ(f.Load(path.string()), rc::kOk) << f.LastError();
    }
    return f;
}

// A corpus mesh in the game form: as it is, or cleaned with the sample library.
NifFile GameOriginal(const std::string& name) {
    NifFile f = Corpus(name);
    if (f.blocks.empty() || f.Form() == kForm83) return f;
    NifFile game;
    const NifFile library = MakeSampleLibrary();
    EXPECT_EQ(PrepareClean(f, library, Rows(f, library), {}, game).code, rc::kOk);
    return game;
}

struct Trip {
    NifFile blender, restored;
    ConversionResult result;
};

// To the Blender form, whose exporter writes its string table in its own order, `edit`, and
// Clean back restoring from the original.
Trip RoundTrip(const NifFile& original, const std::function<void(NifFile&)>& edit = {},
               const NifFile& library = NifFile()) {
    Trip t;
    EXPECT_EQ(PrepareToBlender(original, t.blender).code, rc::kOk);
    auto& strings = t.blender.header.strings;
    std::reverse(strings.begin(), strings.end());
    const auto last = static_cast<StringRef>(strings.size()) - 1;
    for (auto& b : t.blender.blocks)
        ForEachString(*b, kForm34, [&](StringRef& s) { s = s >= 0 && s <= last ? last - s : s; });
    if (edit) edit(t.blender);
    t.result =
        PrepareClean(t.blender, library, Rows(t.blender, library), {}, t.restored, {&original, {}});
    EXPECT_EQ(t.result.code, rc::kOk) << t.result.message;
    EXPECT_EQ(t.restored.CheckConsistency(), "");
    return t;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

// The subtree of a block leaves the file, with what only it owned.
void DeleteWithOwned(NifFile& f, BlockRef r) {
    for (auto& b : f.blocks) {
        if (auto* node = As<NiNode>(b.get())) std::erase(node->children, r);
    }
    f.DeleteBlocks(UnownedBlocks(f, {static_cast<uint32_t>(r)}));
}

BlockRef IndexOf(const NifFile& f, const std::string& name) {
    for (uint32_t i = 0; i < f.blocks.size(); ++i)
        if (f.NameOf(i) == name) return static_cast<BlockRef>(i);
    ADD_FAILURE() << "no block named " << name;
    return kNoBlock;
}

void DropRootControllers(NifFile& f) {
    auto* root = f.BlockAs<NiNode>(f.roots[0]);
    const BlockRef chain = root->controller;
    root->controller = kNoBlock;
    f.DeleteBlocks(UnownedBlocks(f, {static_cast<uint32_t>(chain)}));
}

const std::vector<std::string> kGameMeshes = {
    "pyffi__skyrim_cookiechip.nif", "pyffi__fallout3_switch.nif", "pyffi__falloutnv_goldbar.nif"};

}  // namespace

TEST(Restore, RoundTripThroughBlenderGivesTheOriginalBack) {
    TempDir dir;
    std::string outputs;
    for (const std::string& name : kGameMeshes) {
        SCOPED_TRACE(name);
        const NifFile original = GameOriginal(name);
        if (original.blocks.empty()) continue;
        Trip t = RoundTrip(original);
        EXPECT_EQ(TypeCounts(t.restored), TypeCounts(original));
        for (uint32_t i = 0; i < original.blocks.size(); ++i) {
            const BlockRef n = Namesake(original, i, t.restored);
            if (auto* node = original.BlockAs<NiNode>(static_cast<BlockRef>(i))) {
                ASSERT_NE(n, kNoBlock) << original.NameOf(i);
                ExpectSameSubtree(original, node->collisionObject, t.restored,
                                  t.restored.BlockAs<NiNode>(n)->collisionObject);
            }
            if (auto* shape = original.BlockAs<NiGeometry>(static_cast<BlockRef>(i))) {
                ASSERT_NE(n, kNoBlock) << original.NameOf(i);
                const auto* out = t.restored.BlockAs<NiGeometry>(n);
                ExpectSameSubtree(original, shape->shaderProperty, t.restored, out->shaderProperty);
                ExpectSameSubtree(original, shape->alphaProperty, t.restored, out->alphaProperty);
            }
        }
        // Restoring into a file that has it all copies nothing twice; the shaders it replaces
        // leave.
        NifFile again;
        const ConversionResult r = PrepareClean(t.restored, NifFile(), Rows(t.restored, NifFile()),
                                                {}, again, {&original, {}});
        ASSERT_EQ(r.code, rc::kOk) << r.message;
        EXPECT_EQ(TypeCounts(again), TypeCounts(original));
        EXPECT_EQ(again.CheckConsistency(), "");

        const fs::path out = dir.Path("restored_" + name);
        ASSERT_EQ(t.restored.Save(out.string()), rc::kOk);
        outputs += " '" + out.string() + "'";
    }
    if (outputs.empty()) GTEST_SKIP() << "no corpus";
#ifndef _WIN32
    // The independent readers accept every output.
    const fs::path tools = fs::path(PELLMAR_CORPUS_DIR).parent_path() / "tools";
    if (!fs::exists(tools / "nifcheck.py") || std::system("python3 -c '' 2>/dev/null") != 0)
        GTEST_SKIP() << "independent readers absent";
    const std::string quiet = " >/dev/null 2>&1";
    EXPECT_EQ(std::system(("python3 '" + (tools / "sheetcheck" / "sheetcheck.py").string() +
                           "' --files" + outputs + quiet)
                              .c_str()),
              0);
    EXPECT_EQ(std::system(
                  ("python3 '" + (tools / "nifcheck.py").string() + "'" + outputs + quiet).c_str()),
              0);
#endif
}

TEST(Restore, EditsBetweenTheTwoFilesAreReported) {
    struct Case {
        const char* what;
        std::string mesh;
        std::function<void(NifFile&)> edit;
        bool withLibrary;
        std::vector<std::string> mentioned;  // in the warnings or the restored lines
        std::function<void(const NifFile& original, const Trip&)> check;
    };
    const std::vector<Case> cases = {
        {"a shape renamed in Blender",
         "pyffi__skyrim_cookiechip.nif",
         [](NifFile& f) { f.RenameShape("cookie005", "cookie_renamed"); },
         false,
         {"shape \"cookie_renamed\" has no namesake in the original",
          "the original's shape \"cookie005\" has no namesake in the output",
          "\"cookie_renamed\" got no shader"},
         [](const NifFile&, const Trip& t) {
             EXPECT_EQ(TypeCounts(t.restored)["BSLightingShaderProperty"], 0u);
             EXPECT_EQ(TypeCounts(t.restored)["bhkCollisionObject"], 1u);  // the node matched
         }},
        {"a shape added and one deleted",
         "pyffi__fallout3_switch.nif",
         [](NifFile& f) {
             DeleteWithOwned(f, IndexOf(f, "redlight:2"));
             const BlockRef green = IndexOf(f, "greenlight01:2");
             std::unique_ptr<NiObject> copy = f.Block(green)->Clone();
             auto& shape = static_cast<NiGeometry&>(*copy);
             shape.name = f.AddString("newlight");
             shape.data = f.AppendBlock(f.Block(shape.data)->Clone());
             const BlockRef added = f.AppendBlock(std::move(copy));
             for (auto& b : f.blocks)
                 if (auto* node = As<NiNode>(b.get());
                     node && std::count(node->children.begin(), node->children.end(), green))
                     node->children.push_back(added);
         },
         true,
         {"shape \"newlight\" has no namesake in the original",
          "the original's shape \"redlight:2\" has no namesake in the output"},
         [](const NifFile& original, const Trip& t) {
             // Three shaders restored, the new shape's from the library.
             EXPECT_EQ(TypeCounts(t.restored)["BSLightingShaderProperty"], 4u);
             EXPECT_NE(t.restored.FindShapeByName("newlight")->shaderProperty, kNoBlock);
             ExpectSameSubtree(original, original.FindShapeByName("greenlight01:2")->shaderProperty,
                               t.restored,
                               t.restored.FindShapeByName("greenlight01:2")->shaderProperty);
         }},
        {"a node that already has collision",
         "pyffi__falloutnv_goldbar.nif",
         [](NifFile& f) {
             f.BlockAs<bhkRigidBody>(IndexOfType(f, "bhkRigidBody"))->bodyFlags = 0x77;
         },
         false,
         {"kept its own collision"},
         [](const NifFile& original, const Trip& t) {
             EXPECT_EQ(TypeCounts(t.restored), TypeCounts(original));
             EXPECT_EQ(t.restored.BlockAs<bhkRigidBody>(IndexOfType(t.restored, "bhkRigidBody"))
                           ->bodyFlags,
                       0x77u);
         }},
        {"animation whose target was deleted",
         "pyffi__fallout3_switch.nif",
         [](NifFile& f) {
             DropRootControllers(f);
             DeleteWithOwned(f, IndexOf(f, "GenElecSwitch01 NonAccum"));
         },
         false,
         {"controllers not restored"},
         [](const NifFile&, const Trip& t) {
             EXPECT_EQ(TypeCounts(t.restored).count("NiControllerManager"), 0u);
             EXPECT_EQ(t.restored.BlockAs<NiNode>(t.restored.roots[0])->controller, kNoBlock);
         }},
        {"animation whose targets are all there",
         "pyffi__fallout3_switch.nif",
         DropRootControllers,
         false,
         {"controllers (1 NiControllerManager"},
         [](const NifFile& original, const Trip& t) {
             EXPECT_EQ(TypeCounts(t.restored), TypeCounts(original));
             // Sequences, palette entries and controller targets name the same objects.
             ExpectSameSubtree(original, original.BlockAs<NiNode>(original.roots[0])->controller,
                               t.restored,
                               t.restored.BlockAs<NiNode>(t.restored.roots[0])->controller);
         }},
    };
    const NifFile library = MakeSampleLibrary();
    size_t ran = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const NifFile original = GameOriginal(c.mesh);
        if (original.blocks.empty()) continue;
        ++ran;
        const Trip t = RoundTrip(original, c.edit, c.withLibrary ? library : NifFile());
        std::vector<std::string> lines = t.result.warnings;
        lines.insert(lines.end(), t.result.restored.begin(), t.result.restored.end());
        for (const std::string& m : c.mentioned) EXPECT_TRUE(Mentions(lines, m)) << m;
        c.check(original, t);
    }
    if (ran == 0) GTEST_SKIP() << "no corpus";
}

TEST(Restore, FormsOfTheOriginal) {
    const NifFile se = Corpus("pyffi__skyrimse_cookiechip.nif");
    const NifFile le = Corpus("pyffi__skyrim_cookiechip.nif");
    if (se.blocks.empty() || le.blocks.empty()) GTEST_SKIP() << "no corpus";

    // A Special Edition original restores into a Special Edition file block for block.
    NifFile stripped = se;
    auto* shape = stripped.BlockAs<BSTriShape>(IndexOfType(stripped, "BSTriShape"));
    auto* root = stripped.BlockAs<NiNode>(stripped.roots[0]);
    const BlockRef marker = IndexOfType(stripped, "BSInvMarker");
    const std::vector<uint32_t> gone = {static_cast<uint32_t>(shape->shaderProperty),
                                        static_cast<uint32_t>(root->collisionObject),
                                        static_cast<uint32_t>(marker)};
    shape->shaderProperty = shape->alphaProperty = root->collisionObject = kNoBlock;
    std::erase(root->extraData, marker);
    stripped.DeleteBlocks(UnownedBlocks(stripped, gone));
    ASSERT_EQ(stripped.blocks.size(), se.blocks.size() - 8);
    RestoreReport report;
    std::string error;
    ASSERT_EQ(RestoreFromOriginal(se, stripped, {}, report, error), rc::kOk) << error;
    EXPECT_EQ(TypeCounts(stripped), TypeCounts(se));
    EXPECT_EQ(stripped.CheckConsistency(), "");
    ExpectSameSubtree(se, se.BlockAs<NiNode>(se.roots[0])->collisionObject, stripped,
                      stripped.BlockAs<NiNode>(stripped.roots[0])->collisionObject);

    // Clean writes the game form 12/83: a Special Edition original is read in it first, a
    // Blender-form original is refused and nothing is made.
    NifFile blender;
    ASSERT_EQ(PrepareToBlender(le, blender).code, rc::kOk);
    NifFile fromSE;
    const ConversionResult restored =
        PrepareClean(blender, NifFile(), Rows(blender, NifFile()), {}, fromSE, {&se, {}});
    ASSERT_EQ(restored.code, rc::kOk) << restored.message;
    EXPECT_EQ(TypeCounts(fromSE), TypeCounts(le));
    EXPECT_EQ(fromSE.CheckConsistency(), "");
    NifFile out;
    const ConversionResult r =
        PrepareClean(blender, NifFile(), Rows(blender, NifFile()), {}, out, {&blender, {}});
    EXPECT_EQ(r.code, rc::kUnsupportedForm);
    EXPECT_NE(r.message.find("game meshes"), std::string::npos) << r.message;
    EXPECT_TRUE(out.blocks.empty());
}

namespace {

// A game mesh whose alpha test is animated: the shape's alpha property has a controller with
// its interpolator and keys, and the root's sequence drives that controller.
NifFile AnimatedAlphaMesh() {
    NifFile f = MakeSampleLibrary();  // a game-form file to build in
    f.blocks.clear();
    f.header.blockTypes.clear();
    f.header.numBlockTypes = 0;
    f.header.blockTypeIndex.clear();
    f.header.blockSizes.clear();
    f.header.numBlocks = 0;
    f.header.strings.clear();
    f.header.numStrings = 0;
    f.roots.clear();
    auto add = [&](std::unique_ptr<NiObject> b) { return f.AppendBlock(std::move(b)); };
    const BlockRef root = add(std::make_unique<NiNode>());
    auto data = std::make_unique<NiTriShapeData>();
    data->numVertices = 3;
    data->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    data->hasNormals = 1;
    data->normals.assign(3, {0, 0, 1});
    data->triangles = {{0, 1, 2}};
    data->numTriangles = 1;
    data->numTrianglePoints = 3;
    data->hasTriangles = 1;
    data->bound = {{0.5f, 0.5f, 0}, 1};
    auto shape = std::make_unique<NiTriShape>();
    shape->name = f.AddString("Leaves");
    shape->data = add(std::move(data));
    auto keys = std::make_unique<NiFloatData>();
    auto interpolator = std::make_unique<NiFloatInterpolator>();
    interpolator->value = 128;
    interpolator->data = add(std::move(keys));
    const BlockRef interp = add(std::move(interpolator));
    auto controller = std::make_unique<BSNiAlphaPropertyTestRefController>();
    controller->interpolator = interp;
    const BlockRef control = add(std::move(controller));
    auto alpha = std::make_unique<NiAlphaProperty>();
    alpha->controller = control;
    shape->alphaProperty = add(std::move(alpha));
    f.BlockAs<NiTimeController>(control)->target = shape->alphaProperty;
    auto shader = std::make_unique<BSLightingShaderProperty>();
    auto textures = std::make_unique<BSShaderTextureSet>();
    textures->textures.resize(9);
    shader->textureSet = add(std::move(textures));
    shape->shaderProperty = add(std::move(shader));
    const BlockRef leaves = add(std::move(shape));
    auto sequence = std::make_unique<NiControllerSequence>();
    sequence->name = f.AddString("Idle");
    ControlledBlock driven;
    driven.interpolator = interp;
    driven.controller = control;
    driven.nodeName = f.AddString("Leaves");
    driven.propertyType = f.AddString("NiAlphaProperty");
    driven.controllerType = f.AddString("BSNiAlphaPropertyTestRefController");
    sequence->controlledBlocks.push_back(driven);
    const BlockRef idle = add(std::move(sequence));
    auto manager = std::make_unique<NiControllerManager>();
    manager->target = root;
    manager->sequences = {idle};
    const BlockRef managerRef = add(std::move(manager));
    f.BlockAs<NiControllerSequence>(idle)->manager = managerRef;
    auto node = std::make_unique<NiNode>();
    node->name = f.AddString("Scene Root");
    node->children = {leaves};
    node->controller = managerRef;
    f.ReplaceBlock(static_cast<uint32_t>(root), std::move(node));
    f.roots = {root};
    EXPECT_EQ(f.CheckConsistency(), "");
    return f;
}

}  // namespace

// To Blender removes the alpha property with its controller, interpolator and keys and the
// sequence's entry that drove them; the restore brings each back once, driven again.
TEST(Restore, AnimatedAlphaLeavesWholeAndComesBackOnceDriven) {
    const NifFile original = AnimatedAlphaMesh();
    NifFile blender;
    ASSERT_EQ(PrepareToBlender(original, blender).code, rc::kOk);
    const auto leftover = TypeCounts(blender);
    for (const char* type :
         {"NiAlphaProperty", "BSNiAlphaPropertyTestRefController", "NiFloatInterpolator",
          "NiFloatData", "BSLightingShaderProperty", "BSShaderTextureSet"})
        EXPECT_EQ(leftover.count(type), 0u) << type;
    const auto* sequence = [&]() -> const NiControllerSequence* {
        for (const auto& b : blender.blocks)
            if (auto* s = As<NiControllerSequence>(b.get())) return s;
        return nullptr;
    }();
    ASSERT_NE(sequence, nullptr);
    EXPECT_TRUE(sequence->controlledBlocks.empty());

    NifFile restored;
    const ConversionResult r =
        PrepareClean(blender, NifFile(), Rows(blender, NifFile()), {}, restored, {&original, {}});
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    EXPECT_EQ(TypeCounts(restored), TypeCounts(original));
    for (const auto& b : restored.blocks) {
        const auto* s = As<NiControllerSequence>(b.get());
        if (!s) continue;
        ASSERT_EQ(s->controlledBlocks.size(), 1u);
        const ControlledBlock& c = s->controlledBlocks[0];
        const auto* controller = restored.BlockAs<BSNiAlphaPropertyTestRefController>(c.controller);
        ASSERT_NE(controller, nullptr);
        EXPECT_EQ(controller->interpolator, c.interpolator);
        EXPECT_NE(restored.BlockAs<NiAlphaProperty>(controller->target), nullptr);
        EXPECT_EQ(restored.Text(c.nodeName), "Leaves");
    }
}
