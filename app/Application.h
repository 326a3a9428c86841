// The application: its one state record, start-up, the loading of the two files, the two
// conversions as the buttons start them, and the command handler that reports their results.
// Everything outside goes through Platform, so all of it runs without a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ConfigStore.h"
#include "Conversions.h"
#include "NifFile.h"
#include "Platform.h"
#include "ShaderList.h"

struct AppState {
    explicit AppState(Platform& platform) : platform(platform) {}

    Platform& platform;
    ConfigStore config;
    NifFile inputNif;
    NifFile libraryNif;
    // How loading went; the error text says why a file is missing.
    int inputLoad = 0;
    std::string inputError;
    int libraryLoad = 0;
    std::string libraryError;
    ShaderList list;
    // Clean --restore-from: the original mesh (its shaders, collision, extra data and
    // controllers come back) and the shapes the user gave a library shader. Without a loaded
    // library, Clean then gives library shaders to no shape.
    std::optional<NifFile> original;
    std::vector<std::string> assignedShapes;
    // Clean applies the repairs of Repair.h.
    bool repair = true;
    // Where saved files go; tests make it fail.
    OutputOpener opener = StandardOutputOpener();
    // The form Clean writes (kForm83 or kForm100); 0 follows the input: a Special Edition
    // input gives a Special Edition mesh, anything else the original edition's.
    uint8_t cleanForm = 0;
};

// The form Clean writes for this state.
uint8_t CleanForm(const AppState& state);
// The window's title: the program's name and the form of the loaded input.
std::string WindowTitle(const AppState& state);

// The texts the user is shown.
inline constexpr const char* kCleanSuccess = "Skyrim .nif saved successfully.";
inline constexpr const char* kBlenderSuccess = "Blender .nif saved successfully.";
inline constexpr const char* kSuccessCaption = "Save Successful";
inline constexpr const char* kFailureCaption = "Save Failed";
// The code, then (on its own line) the reason: which path, which system error.
std::string SaveFailedText(int code, const std::string& reason);

// The program folder becomes the current folder; the settings, the start-up argument, the
// library and then the input are read; the list is filled.
void StartUp(AppState& state, const std::string& configPath = "Config.xml");
// The first half of StartUp, before the window's controls exist: folder, settings, argument.
void StartUpSettings(AppState& state, const std::string& configPath = "Config.xml");
// The second half: the library, then the input, then the list.
void StartUpFiles(AppState& state);
// Each shows an open dialog when its setting is empty, then loads the file.
void loadLibraryNif(AppState& state);
void loadInputNif(AppState& state);
// Rows for the input's shapes and combo entries for the library's shaders.
void FillList(AppState& state);

// The conversions as the buttons run them: -1 when the save dialog was cancelled, 0 when
// saved, otherwise a failure code with its message. Test mode refuses (rc::kOutputIsInput,
// before writing anything) when one of its files is the input itself.
ConversionResult Clean(AppState& state);
ConversionResult ToBlender(AppState& state);
// Clean with the output path given, and Clean in test mode (the game's two body meshes).
ConversionResult CleanTo(AppState& state, const std::string& path);
ConversionResult CleanTestMode(AppState& state);
// Writes a cleaned mesh over the game's two body meshes below `dataPath`, keeping each existing
// one once as NAME.orig; the folders are made as needed.
ConversionResult WriteTestModeBodies(const NifFile& output, const std::string& dataPath,
                                     char separator, const OutputOpener& opener,
                                     ConversionResult result);
// ToBlender with the output path given.
ConversionResult ToBlenderTo(AppState& state, const std::string& path);
// Where ToBlender writes: "blend_" before the input's file name, or "test.nif" for a bare name.
std::string BlenderOutputPath(const std::string& input, char separator);
// The two test-mode targets below the game's data folder.
std::vector<std::string> TestModeTargets(const std::string& dataPath, char separator);
// Every file a test-mode Clean may write: each target and its NAME.orig copy.
std::vector<std::string> TestModeWrites(const std::string& dataPath, char separator);
// The first of `targets` that is the same file as one of `inputs` (SameFile), or false.
[[nodiscard]] bool FindTargetThatIsAnInput(const std::vector<std::string>& targets,
                                           const std::vector<std::string>& inputs,
                                           std::string& target, std::string& input);

// The handler of the five controls (index = control id - 501). For the combo box (index 0)
// comboEntry is its current selection.
void onCommand(AppState& state, int notificationCode, int controlIndex,
               std::optional<size_t> comboEntry = std::nullopt);
