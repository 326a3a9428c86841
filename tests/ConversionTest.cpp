// Clean and ToBlender end to end on the samples, with every effect checked, and every way
// they refuse.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FormSwitch.h"
#include "Geometry.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The window's state after start-up on the samples.
struct Session {
    FakePlatform platform;
    AppState state{platform};
    TempDir dir;

    explicit Session(NifFile input = MakeSampleMesh(), NifFile library = MakeSampleLibrary()) {
        state.config.set(kInputNifFileName, dir.Path("body.nif").string());
        state.inputNif = std::move(input);
        state.libraryNif = std::move(library);
        FillList(state);
    }
    std::string Out(const std::string& name) const { return dir.Path(name).string(); }
    NifFile Saved(const std::string& name) const {
        NifFile f;
        EXPECT_EQ(f.Load(Out(name)), rc::kOk) << f.LastError();
        return f;
    }
};

size_t CountType(const NifFile& f, const std::string& type) {
    size_t n = 0;
    for (uint32_t i = 0; i < f.blocks.size(); ++i) n += f.TypeNameOf(i) == type;
    return n;
}

const NiGeometry& Shape(const NifFile& f, const std::string& name) {
    return *f.FindShapeByName(name);
}

}  // namespace

TEST(Clean, ConvertsTheSampleForTheGame) {
    Session s;
    s.state.config.set(kAlphaFlagsValue, "4845");
    s.state.config.set(kAlphaThreshold, "300");
    ShaderList& list = s.state.list;
    list.SetShaderOfRow(0, "SkinBody");
    list.SetShaderOfRow(1, "Hair (A)");  // alpha "yes" through the "(A)"
    list.SetShaderOfRow(2, "FaceTint");
    s.platform.saveAnswer = s.Out("game.nif");

    const Bytes before = SaveBytes(s.state.inputNif);
    const ConversionResult r = Clean(s.state);
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    EXPECT_TRUE(r.warnings.empty());
    EXPECT_EQ(SaveBytes(s.state.inputNif), before);  // the loaded input is kept as it was

    const NifFile out = s.Saved("game.nif");
    EXPECT_EQ(out.CheckConsistency(), "");
    EXPECT_EQ(out.header.userVersion, 12u);
    EXPECT_EQ(out.header.userVersion2, 83u);
    for (TypeId type : kCleanRemovedTypes) {
        // The texture sets left are the three copied from the library.
        EXPECT_EQ(CountType(out, NameOf(type)), type == TypeId::BSShaderTextureSet ? 3u : 0u)
            << NameOf(type);
    }
    // The single-child root is gone: the body node is the root now.
    EXPECT_EQ(out.roots, std::vector<BlockRef>{0});
    EXPECT_EQ(out.NameOf(0), "FemaleBody");
    EXPECT_EQ(CountType(out, "BSLightingShaderProperty"), 3u);

    const auto& body = Shape(out, "Body");
    const auto& shader = *out.BlockAs<BSLightingShaderProperty>(body.shaderProperty);
    EXPECT_EQ(shader.lightingShaderType, 5u);
    EXPECT_EQ(out.TypeNameOf(static_cast<uint32_t>(shader.textureSet)), "BSShaderTextureSet");
    EXPECT_EQ(body.alphaProperty, -1);
    // Model-space normals: the body geometry carries no normals; the tinted feet keep theirs.
    EXPECT_EQ(out.BlockAs<NiTriShapeData>(body.data)->hasNormals, 0);
    EXPECT_EQ(out.BlockAs<NiTriShapeData>(Shape(out, "Feet").data)->hasNormals, 1);

    // The alpha block comes from the configuration; the file's own alpha block is left alone.
    const auto& hands = Shape(out, "Hands");
    const auto* alpha = out.BlockAs<NiAlphaProperty>(hands.alphaProperty);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->flags, 4845);
    EXPECT_EQ(alpha->threshold, 300 % 256);
    EXPECT_EQ(CountType(out, "NiAlphaProperty"), 2u);
}

TEST(Clean, BlenderBodyPartsTakeTheGameNumbers) {
    Session s;
    s.platform.saveAnswer = s.Out("game.nif");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    std::vector<uint16_t> parts;
    for (const auto& b : s.Saved("game.nif").blocks) {
        if (auto* skin = As<BSDismemberSkinInstance>(b.get())) {
            for (const BodyPartList& p : skin->partitions) parts.push_back(p.bodyPart);
        }
    }
    // Torso, left arm and left leg of the sample's 0, 3 and 7.
    EXPECT_EQ(parts, (std::vector<uint16_t>{32, 34, 38}));
}

TEST(Clean, SaveDialogIsPrefilledAndCancellable) {
    Session s;
    const Bytes before = SaveBytes(s.state.inputNif);
    const ConversionResult r = Clean(s.state);
    EXPECT_EQ(r.code, rc::kCancelled);
    EXPECT_EQ(s.platform.dialogs, std::vector<std::string>{"Save Skyrim Nif"});
    EXPECT_EQ(s.platform.savePrefill, s.Out("body.nif"));
    EXPECT_EQ(s.platform.saveInitialFolder, s.dir.Root().string() + s.platform.PathSeparator());
    EXPECT_EQ(SaveBytes(s.state.inputNif), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(s.dir.Root()), fs::directory_iterator()), 0);
}

TEST(Clean, FailedSavesChangeNothingAndARetryWritesTheSameFile) {
    Session s;
    WriteFileBytes(s.dir.Path("file.nif"), {1});
    s.platform.saveAnswer = s.Out("file.nif/out.nif");
    ConversionResult r = Clean(s.state);
    EXPECT_EQ(r.code, rc::kCannotOpen);
    EXPECT_EQ(r.message.rfind("Failed to save .nif file: 1\n", 0), 0u) << r.message;

    s.state.opener = [](const std::string&) -> std::unique_ptr<OutputFile> {
        struct Broken : OutputFile {
            bool Write(const char*, size_t) override { return false; }
            bool Flush() override { return true; }
            bool Close() override { return true; }
        };
        return std::make_unique<Broken>();
    };
    s.platform.saveAnswer = s.Out("retry.nif");
    r = Clean(s.state);
    EXPECT_EQ(r.code, rc::kWriteFailed);
    EXPECT_FALSE(fs::exists(s.dir.Path("retry.nif")));

    s.state.opener = StandardOutputOpener();
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    Session fresh;
    fresh.platform.saveAnswer = fresh.Out("first.nif");
    ASSERT_EQ(Clean(fresh.state).code, rc::kOk);
    EXPECT_EQ(ReadFileBytes(s.dir.Path("retry.nif")), ReadFileBytes(fresh.dir.Path("first.nif")));
}

TEST(Clean, RefusesWhatItCannotConvertSafely) {
    NifFile special = MakeSampleMesh();
    special.header.userVersion = 12;
    special.header.userVersion2 = 130;
    // A block of a type Pellmar does not know: in a form switch, and (in a game-form input)
    // while blocks are deleted, whose references it would not repair.
    NifFile unknown = MakeSampleMesh();
    AppendOpaque(unknown, "BSFutureThing", {1, 2, 3});
    NifFile deep = MakeSampleMesh();
    SwitchForm(deep, 12, 83);
    AppendOpaque(deep, "BSFutureThing");
    NifFile blenderLibrary = MakeSampleLibrary();
    blenderLibrary.header.userVersion = 11;

    struct Case {
        const char* what;
        NifFile input, library;
        int code;
        std::string mention;
    };
    Case cases[] = {
        {"Fallout 4 form", special, MakeSampleLibrary(), rc::kUnsupportedForm, "12/130"},
        {"unknown layout", unknown, MakeSampleLibrary(), rc::kUnsafeOpaqueBlock,
         "layout of blocks it does not know between the Blender form and the game form: 1 "
         "BSFutureThing"},
        {"unreachable references", deep, MakeSampleLibrary(), rc::kUnsafeOpaqueBlock,
         "references inside blocks it does not know, which removing blocks would leave pointing "
         "at the wrong blocks: 1 BSFutureThing"},
        {"library in the Blender form", MakeSampleMesh(), blenderLibrary, rc::kBadLibrary, "11/83"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s(c.input, c.library);
        s.platform.saveAnswer = s.Out("out.nif");
        const ConversionResult r = Clean(s.state);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.message.find(c.mention), std::string::npos) << r.message;
        EXPECT_FALSE(fs::exists(s.dir.Path("out.nif")));
        EXPECT_TRUE(s.platform.dialogs.empty());
    }

    Session missing;
    missing.state.inputLoad = rc::kMalformed;
    missing.state.inputError = "header at byte offset 3: unexpected end of data";
    EXPECT_EQ(Clean(missing.state).code, rc::kNoInput);
    EXPECT_NE(ToBlender(missing.state).message.find("unexpected end"), std::string::npos);
    Session unnamed;
    unnamed.state.config.set(kInputNifFileName, "");
    EXPECT_EQ(ToBlender(unnamed.state).code, rc::kNoInput);
    Session noLibrary;
    noLibrary.state.libraryLoad = rc::kCannotOpen;
    EXPECT_EQ(Clean(noLibrary.state).code, rc::kBadLibrary);
}

TEST(Clean, OnlyAPlainNodeRootWithOneChildIsDropped) {
    NifFile fade = MakeSampleMesh();
    auto fadeRoot = std::make_unique<BSFadeNode>();
    static_cast<NiNode&>(*fadeRoot) = *fade.BlockAs<NiNode>(0);
    fade.ReplaceBlock(0, std::move(fadeRoot));
    NifFile elsewhere = MakeSampleMesh();  // its one child is the spine node, block 2
    elsewhere.BlockAs<NiNode>(0)->children = {2};
    NifFile notTheRoot = MakeSampleMesh();  // the footer names the body node
    notTheRoot.roots = {1};
    for (const auto& [what, input, root, dropped] :
         {std::tuple{"NiNode with one child", MakeSampleMesh(), "FemaleBody", true},
          std::tuple{"BSFadeNode root", fade, "Scene Root", false},
          std::tuple{"one child elsewhere", elsewhere, "NPC Spine [Spn0]", true},
          std::tuple{"block 0 is not the footer's root", notTheRoot, "FemaleBody", false}}) {
        SCOPED_TRACE(what);
        Session s(input);
        s.platform.saveAnswer = s.Out("out.nif");
        ASSERT_EQ(Clean(s.state).code, rc::kOk);
        const NifFile out = s.Saved("out.nif");
        ASSERT_EQ(out.roots.size(), 1u);
        EXPECT_EQ(out.NameOf(static_cast<uint32_t>(out.roots[0])), root);
        // Five legacy blocks go, each shape gains a shader and a texture set.
        EXPECT_EQ(out.blocks.size(), input.blocks.size() - 5 - (dropped ? 1 : 0) + 6);
        EXPECT_EQ(out.NameOf(0) == "Scene Root", !dropped);
    }
}

TEST(Clean, RowsWithoutAShaderAreReported) {
    Session s(MakeSampleMesh(), MakeSampleLibrary());
    NifFile noShaders = MakeSampleLibrary();
    noShaders.DeleteBlocksOfType("BSLightingShaderProperty");
    s.state.libraryNif = noShaders;
    FillList(s.state);
    s.state.list.Rows()[2].shape = "Tail";
    s.platform.saveAnswer = s.Out("out.nif");
    const ConversionResult r = Clean(s.state);
    ASSERT_EQ(r.code, rc::kOk);
    ASSERT_EQ(r.warnings.size(), 3u);
    EXPECT_NE(r.warnings[0].find("\"Body\" got no shader: the library holds no shader"),
              std::string::npos);
    EXPECT_NE(r.warnings[2].find("no shape of that name"), std::string::npos);
}

TEST(Clean, TwoShapesOfOneNameBothActOnTheFirst) {
    NifFile input = MakeSampleMesh();
    input.RenameShape("Feet", "Hands");
    Session s(input);
    s.platform.saveAnswer = s.Out("out.nif");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    const NifFile out = s.Saved("out.nif");
    std::vector<const NiGeometry*> hands;
    for (const auto& b : out.blocks) {
        const auto* shape = As<NiTriShape>(b.get());
        if (shape && out.Text(shape->name) == "Hands") hands.push_back(shape);
    }
    ASSERT_EQ(hands.size(), 2u);
    EXPECT_GE(hands[0]->shaderProperty, 0);
    EXPECT_EQ(hands[1]->shaderProperty, -1);
}

TEST(Clean, TestModeWritesBothBodiesAndKeepsTheOriginals) {
    Session s;
    s.state.config.set(kTestMode, "true");
    s.state.config.set(kSkyrimDataPath, s.dir.Root().string() + s.platform.PathSeparator());
    const fs::path folder = s.dir.Path("meshes/actors/character/character assets");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    EXPECT_TRUE(s.platform.dialogs.empty());
    const Bytes first = ReadFileBytes(folder / "femalebody_0.nif");
    EXPECT_EQ(ReadFileBytes(folder / "femalebody_1.nif"), first);
    EXPECT_FALSE(fs::exists(folder / "femalebody_0.nif.orig"));

    // Existing game files are kept once as .orig; a second run keeps the first copy.
    WriteFileBytes(folder / "femalebody_0.nif", {7, 7});
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    EXPECT_EQ(ReadFileBytes(folder / "femalebody_0.nif.orig"), (Bytes{7, 7}));
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    EXPECT_EQ(ReadFileBytes(folder / "femalebody_0.nif.orig"), (Bytes{7, 7}));
    EXPECT_EQ(ReadFileBytes(folder / "femalebody_0.nif"), first);

    KeepCurrentFolder keep;
    TempDir bare;
    fs::current_path(bare.Root());
    s.state.config.set(kSkyrimDataPath, "");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    EXPECT_TRUE(fs::exists(bare.Path("femalebody_0.nif")));
    EXPECT_TRUE(fs::exists(bare.Path("femalebody_1.nif")));
}

TEST(InputProtection, TestModeNeverWritesOverItsOwnInput) {
    // The input as each file test mode may write, one of them through another spelling.
    for (const std::string name : {"femalebody_0.nif", "femalebody_1.nif", "femalebody_1.nif.orig",
                                   "../character assets/femalebody_0.nif"}) {
        SCOPED_TRACE(name);
        Session s;
        const fs::path game = s.dir.Path("meshes/actors/character/character assets");
        fs::create_directories(game);
        const std::string input = (game / name).string();
        WriteFileBytes(input, {5, 5, 5});
        s.state.config.set(kTestMode, "true");
        s.state.config.set(kSkyrimDataPath, s.dir.Root().string() + s.platform.PathSeparator());
        s.state.config.set(kInputNifFileName, input);
        const ConversionResult r = Clean(s.state);
        EXPECT_EQ(r.code, rc::kOutputIsInput);
        EXPECT_NE(r.message.find(input), std::string::npos) << r.message;
        EXPECT_EQ(ReadFileBytes(input), (Bytes{5, 5, 5}));
        EXPECT_EQ(std::distance(fs::directory_iterator(game), fs::directory_iterator()), 1);
    }
}

TEST(ToBlender, ConvertsACleanedMeshBack) {
    Session s;
    s.platform.saveAnswer = s.Out("body.nif");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    Session back(s.Saved("body.nif"));
    back.state.config.set(kInputNifFileName, s.Out("body.nif"));
    const ConversionResult r = ToBlender(back.state);
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    const NifFile out = s.Saved("blend_body.nif");
    EXPECT_EQ(out.CheckConsistency(), "");
    EXPECT_EQ(out.header.userVersion, 11u);
    EXPECT_EQ(out.header.userVersion2, 34u);
    for (TypeId type : kToBlenderRemovedTypes)
        EXPECT_EQ(CountType(out, NameOf(type)), 0u) << NameOf(type);
    EXPECT_EQ(CountType(out, "NiTriShape"), 3u);
}

TEST(ToBlender, OutputNames) {
    EXPECT_EQ(BlenderOutputPath("C:\\Mods\\body.nif", '\\'), "C:\\Mods\\blend_body.nif");
    EXPECT_EQ(BlenderOutputPath("body.nif", '\\'), "test.nif");
    EXPECT_EQ(BlenderOutputPath("C:/Mods/body.nif", '\\'), "test.nif");
    EXPECT_EQ(BlenderOutputPath("/home/m/body.nif", '/'), "/home/m/blend_body.nif");
    EXPECT_EQ(TestModeTargets("", '/'),
              (std::vector<std::string>{"femalebody_0.nif", "femalebody_1.nif"}));
    EXPECT_EQ(TestModeTargets("D\\", '\\')[1],
              "D\\meshes\\actors\\character\\character assets\\femalebody_1.nif");
}

TEST(Corpus, EveryFileConvertsOrIsRefusedWithAReason) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        NifFile input;
        ASSERT_EQ(input.Load(path.string()), rc::kOk);
        Session s(input);
        s.platform.saveAnswer = s.Out("game.nif");
        const ConversionResult clean = Clean(s.state);
        const ConversionResult blender = ToBlender(s.state);
        for (const auto& [r, name] :
             {std::pair{clean, "game.nif"}, std::pair{blender, "blend_body.nif"}}) {
            if (r.code == rc::kOk) {
                EXPECT_EQ(s.Saved(name).CheckConsistency(), "");
            } else {
                EXPECT_TRUE(r.code == rc::kUnsafeOpaqueBlock || r.code == rc::kUnsupportedForm)
                    << r.code;
                EXPECT_NE(r.message.find("Pellmar"), std::string::npos) << r.message;
            }
        }
    }
}

TEST(Clean, AlphaValuesGoOnlyIntoAlphaBlocksItCreated) {
    Session first;
    first.state.list.SetShaderOfRow(1, "Hair (A)");
    first.platform.saveAnswer = first.Out("game.nif");
    ASSERT_EQ(Clean(first.state).code, rc::kOk);

    // Cleaned again: the alpha block read from the file keeps its values, also when the row
    // asks for alpha but its shader cannot be assigned.
    NifFile game = first.Saved("game.nif");
    const Bytes alphaBefore =
        BodyBytes(*game.Block(game.FindShapeByName("Hands")->alphaProperty), kForm83);
    Session again(game);
    again.state.config.set(kAlphaFlagsValue, "1");
    again.state.list.Rows()[1] = {"Hands", "Velvet", "yes"};
    again.platform.saveAnswer = again.Out("again.nif");
    const ConversionResult r = Clean(again.state);
    ASSERT_EQ(r.code, rc::kOk) << r.message;
    const NifFile out = again.Saved("again.nif");
    const auto& hands = Shape(out, "Hands");
    EXPECT_EQ(BodyBytes(*out.Block(hands.alphaProperty), kForm83), alphaBefore);
}

// The window on a Special Edition input: its title names the form, Clean writes the Special
// Edition's form with the chosen shaders, To Blender the Blender form.
TEST(Clean, SpecialEditionInputStaysSpecialEdition) {
    NifFile se = MakeSampleMesh();
    SwitchForm(se, kGameUserVersion, kSEUserVersion2);
    Session s(se);
    EXPECT_EQ(WindowTitle(s.state), "Pellmar - 12/100 (Special Edition form)");
    ASSERT_EQ(s.state.list.Rows().size(), 3u);
    s.state.list.SetShaderOfRow(1, "Hair (A)");
    s.platform.saveAnswer = s.Out("game.nif");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    const NifFile game = s.Saved("game.nif");
    EXPECT_EQ(game.Form(), kForm100);
    EXPECT_EQ(CountType(game, "BSTriShape"), 3u);
    EXPECT_EQ(CountType(game, "NiTriShape") + CountType(game, "NiTriShapeData"), 0u);
    ASSERT_EQ(ToBlenderTo(s.state, s.Out("blend.nif")).code, rc::kOk);
    EXPECT_EQ(s.Saved("blend.nif").Form(), kForm34);
    EXPECT_EQ(CountType(s.Saved("blend.nif"), "NiTriShape"), 3u);
    s.state.cleanForm = kForm83;  // clean --form le
    s.platform.saveAnswer = s.Out("le.nif");
    ASSERT_EQ(Clean(s.state).code, rc::kOk);
    NifFile le = s.Saved("le.nif");
    EXPECT_EQ(le.Form(), kForm83);
    // The same shaders and alpha: converted, the original edition's output is the same file.
    SwitchForm(le, kGameUserVersion, kSEUserVersion2);
    EXPECT_EQ(SaveBytes(le), ReadFileBytes(s.dir.Path("game.nif")));
}
