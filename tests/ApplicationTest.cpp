// Start-up, loading and the command handler, with a platform that answers as told.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "PortablePlatform.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A program folder holding the samples.
struct ProgramFolder {
    TempDir dir;
    KeepCurrentFolder keep;
    FakePlatform platform;

    explicit ProgramFolder(bool config = true, bool library = true) {
        platform.programFolder = dir.Root().string() + platform.PathSeparator();
        if (config) fs::copy_file(SamplePath(kSampleConfigName), dir.Path(kSampleConfigName));
        if (library) fs::copy_file(SamplePath(kSampleLibraryName), dir.Path(kSampleLibraryName));
        fs::copy_file(SamplePath(kSampleMeshName), dir.Path(kSampleMeshName));
    }
    // The program started with this argument.
    AppState& Start(const std::string& argument) {
        platform.argument = argument;
        state = std::make_unique<AppState>(platform);
        StartUp(*state);
        return *state;
    }

    std::unique_ptr<AppState> state;
};

}  // namespace

TEST(StartUp, WithArgumentAndConfigShowsNoDialog) {
    ProgramFolder p;
    AppState& state = p.Start(kSampleMeshName);  // relative to the program folder
    EXPECT_TRUE(p.platform.dialogs.empty());
    EXPECT_EQ(fs::current_path(), p.dir.Root());
    EXPECT_EQ(state.inputLoad, rc::kOk);
    EXPECT_EQ(state.libraryLoad, rc::kOk);
    ASSERT_EQ(state.list.Rows().size(), 3u);
    EXPECT_EQ(state.list.Rows()[0].shape, "Body");
    EXPECT_EQ(state.list.Rows()[0].shader, "SkinBody");
    EXPECT_EQ(state.list.ComboEntries().size(), 6u);
}

TEST(StartUp, WithoutArgumentOrConfigAsksForBothFilesLibraryFirst) {
    ProgramFolder p(false);
    p.platform.openAnswers = {p.dir.Path(kSampleLibraryName).string(), ""};
    AppState& state = p.Start("");
    EXPECT_EQ(p.platform.dialogs, (std::vector<std::string>{"Load Library Nif", "Load Input Nif"}));
    EXPECT_EQ(state.libraryLoad, rc::kOk);
    EXPECT_EQ(state.config.get(kShaderLibraryFile), p.dir.Path(kSampleLibraryName).string());
    EXPECT_EQ(state.config.get(kInputNifFileName), "");
    EXPECT_TRUE(state.list.Rows().empty());
    // Nothing to convert: refused, nothing written.
    EXPECT_EQ(ToBlender(state).code, rc::kNoInput);
    EXPECT_FALSE(fs::exists(p.dir.Path("test.nif")));
}

TEST(StartUp, ConfigWithoutLibraryElementUsesTheDefaultNameWithoutADialog) {
    ProgramFolder p(false, false);
    const std::string xml = "<PellmarConfig><TestMode>false</TestMode></PellmarConfig>";
    WriteFileBytes(p.dir.Path("Config.xml"), Bytes(xml.begin(), xml.end()));
    AppState& state = p.Start(kSampleMeshName);
    EXPECT_TRUE(p.platform.dialogs.empty());
    EXPECT_EQ(state.config.get(kShaderLibraryFile), "ShaderLibrary.nif");
    EXPECT_EQ(state.libraryLoad, rc::kCannotOpen);
    EXPECT_TRUE(state.list.ComboEntries().empty());
    EXPECT_EQ(state.list.Rows()[0].shader, "");
}

TEST(OnCommand, ButtonsRunTheConversionsAndReport) {
    ProgramFolder p;
    AppState& state = p.Start(p.dir.Path(kSampleMeshName).string());

    onCommand(state, 0, 1);  // Cancel
    EXPECT_EQ(p.platform.quits, 1);

    p.platform.saveAnswer = "";
    onCommand(state, 0, 2);  // Clean!, dialog cancelled: no message
    EXPECT_TRUE(p.platform.messages.empty());

    WriteFileBytes(p.dir.Path("file.nif"), {1});
    p.platform.saveAnswer = p.dir.Path("file.nif/x.nif").string();
    onCommand(state, 0, 2);
    ASSERT_EQ(p.platform.messages.size(), 1u);
    // The code, then which path and which system error.
    const std::string& text = p.platform.messages[0].text;
    EXPECT_EQ(text.rfind("Failed to save .nif file: 1\n", 0), 0u) << text;
    EXPECT_NE(text.find(p.platform.saveAnswer), std::string::npos) << text;
#ifndef _WIN32
    EXPECT_NE(text.find("Not a directory"), std::string::npos) << text;
#endif
    EXPECT_EQ(p.platform.messages[0].caption, "Save Failed");
    EXPECT_EQ(p.platform.messages[0].kind, MessageKind::kError);
    EXPECT_EQ(p.platform.quits, 1);

    p.platform.saveAnswer = p.dir.Path("game.nif").string();
    onCommand(state, 0, 2);
    // The sample's hands carry vertex colours the library's skin shader does not flag; the
    // skin shaders' normal maps are in model space, so no shape gets tangents.
    EXPECT_EQ(p.platform.messages.back().text,
              "Skyrim .nif saved successfully.\n\nRepairs:\nvertex-color-flag: Vertex_Colors flag "
              "set on the shader of \"Hands\"\nnot repaired: missing-tangents: none generated for "
              "\"Body\", \"Hands\", \"Feet\": a normal map in model space needs none");
    EXPECT_EQ(p.platform.messages.back().caption, "Save Successful");
    EXPECT_EQ(p.platform.quits, 2);

    state.inputNif.header.userVersion = 12;
    state.inputNif.header.userVersion2 = 130;
    onCommand(state, 0, 4);  // To Blender on an input in a form it does not convert
    EXPECT_NE(p.platform.messages.back().text.find("12/130"), std::string::npos);
    EXPECT_EQ(p.platform.messages.back().caption, "Save Failed");
    EXPECT_EQ(p.platform.quits, 2);

    state.config.set(kInputNifFileName, p.dir.Path("game.nif").string());
    loadInputNif(state);
    onCommand(state, 0, 4);  // To Blender, beside the input
    EXPECT_EQ(p.platform.messages.back().text, "Blender .nif saved successfully.");
    EXPECT_TRUE(fs::exists(p.dir.Path("blend_game.nif")));

    state.config.set(kSkyrimDataPath, p.dir.Path("Data").string() + p.platform.PathSeparator());
    onCommand(state, 0, 3);  // TEST!
    EXPECT_EQ(state.config.get(kTestMode), "true");
    EXPECT_TRUE(
        fs::exists(p.dir.Path("Data/meshes/actors/character/character assets/femalebody_1.nif")));
    EXPECT_EQ(p.platform.quits, 4);
}

TEST(OnCommand, ComboSelectionChangeAppliesToTheSelectedRow) {
    ProgramFolder p;
    AppState& state = p.Start(kSampleMeshName);
    state.list.RowSelected(1);
    onCommand(state, 4, 0, 2);  // another notification: ignored
    EXPECT_EQ(state.list.Rows()[1].shader, "SkinBody");
    onCommand(state, 1, 0, 2);
    EXPECT_EQ(state.list.Rows()[1].shader, "Hair (A)");
    EXPECT_EQ(state.list.Rows()[1].alpha, "yes");
    onCommand(state, 0, 9);  // not a control of the handler
    EXPECT_EQ(p.platform.quits, 0);
}

TEST(OnCommand, SuccessMessageNamesRowsWithoutAShader) {
    ProgramFolder p;
    AppState& state = p.Start(kSampleMeshName);
    state.list.Rows()[1].shader = "Velvet";
    p.platform.saveAnswer = p.dir.Path("game.nif").string();
    onCommand(state, 0, 2);
    ASSERT_EQ(p.platform.messages.size(), 1u);
    EXPECT_EQ(p.platform.messages[0].text.rfind(
                  "Skyrim .nif saved successfully.\n\nThese shapes got no shader:\n", 0),
              0u);
    EXPECT_NE(p.platform.messages[0].text.find("\"Hands\""), std::string::npos);
}

TEST(PortablePlatform, SkyrimDataFolderIsTheFirstSteamFolderThatExists) {
    TempDir home;
    const std::string h = home.Root().string();
    EXPECT_EQ(SteamSkyrimDataPath(h), "");
    EXPECT_EQ(SteamSkyrimDataPath(""), "");
    fs::create_directories(home.Path(".local/share/Steam/steamapps/common/Skyrim/Data"));
    EXPECT_EQ(SteamSkyrimDataPath(h), h + "/.local/share/Steam/steamapps/common/Skyrim/Data/");
    fs::create_directories(home.Path(".steam/steam/steamapps/common/Skyrim/Data"));
    EXPECT_EQ(SteamSkyrimDataPath(h), h + "/.steam/steam/steamapps/common/Skyrim/Data/");
}
