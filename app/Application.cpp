#include "Application.h"

#include <filesystem>
#include <system_error>

#include "Config.h"
#include "FileIO.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

ConversionResult Failed(int code, std::string message) {
    ConversionResult r;
    r.code = code;
    r.message = std::move(message);
    return r;
}

// A refusal when the input is not there to convert.
bool InputMissing(AppState& state, ConversionResult& result) {
    if (state.config.get(kInputNifFileName).empty()) {
        result = Failed(rc::kNoInput, "No input file was chosen.");
        return true;
    }
    if (state.inputLoad != rc::kOk) {
        result = Failed(rc::kNoInput, "The input file did not load: " + state.inputError);
        return true;
    }
    return false;
}

// The file saved, with the save's code and the window's text for a failure.
ConversionResult SaveTo(const AppState& state, const NifFile& file, const std::string& path,
                        ConversionResult result) {
    const int code = file.Save(path, state.opener);
    if (code != rc::kOk) {
        result.code = code;
        result.message = SaveFailedText(code, file.LastError());
    }
    return result;
}

// Before a test-mode save replaces a game file, the file is kept as NAME.orig (once).
int PrepareTestTarget(const std::string& target, std::string& error) {
    std::error_code ec;
    const fs::path path = PathFromText(target);
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    if (!fs::is_regular_file(path, ec)) return rc::kOk;
    const fs::path backup = PathFromText(target + ".orig");
    if (fs::exists(backup, ec)) return rc::kOk;
    if (!fs::copy_file(path, backup, ec)) {
        error = "cannot keep a copy of " + target + ": " + ec.message();
        return rc::kWriteFailed;
    }
    return rc::kOk;
}

void LoadInto(AppState& state, const char* key, const char* title, NifFile& file, int& result,
              std::string& error) {
    std::string& path = state.config.get(key);
    if (path.empty()) {
        std::string chosen;
        if (!state.platform.ChooseOpenPath(title, chosen)) {
            result = rc::kCannotOpen;
            error = "no file was chosen";
            return;
        }
        path = chosen;
    }
    result = file.Load(path);
    error = file.LastError();
}

}  // namespace

std::string SaveFailedText(int code, const std::string& reason) {
    return "Failed to save .nif file: " + std::to_string(code) +
           (reason.empty() ? std::string() : "\n" + reason);
}

void loadLibraryNif(AppState& state) {
    LoadInto(state, kShaderLibraryFile, "Load Library Nif", state.libraryNif, state.libraryLoad,
             state.libraryError);
}

void loadInputNif(AppState& state) {
    LoadInto(state, kInputNifFileName, "Load Input Nif", state.inputNif, state.inputLoad,
             state.inputError);
}

void FillList(AppState& state) {
    std::vector<std::string> shapes, shaders;
    state.inputNif.GetShapeNames(shapes);
    state.libraryNif.GetShaderNames(shaders);
    state.list.Fill(shapes, shaders);
}

void StartUpSettings(AppState& state, const std::string& configPath) {
    state.platform.SetCurrentFolder(state.platform.ProgramFolder());
    loadConfig(state.config, state.platform, configPath);
    state.config.set(kInputNifFileName, state.platform.FirstArgument());
}

void StartUpFiles(AppState& state) {
    loadLibraryNif(state);
    loadInputNif(state);
    FillList(state);
}

void StartUp(AppState& state, const std::string& configPath) {
    StartUpSettings(state, configPath);
    StartUpFiles(state);
}

std::string BlenderOutputPath(const std::string& input, char separator) {
    const size_t cut = input.rfind(separator);
    if (cut == std::string::npos) return "test.nif";
    return input.substr(0, cut + 1) + "blend_" + input.substr(cut + 1);
}

std::vector<std::string> TestModeTargets(const std::string& dataPath, char separator) {
    std::string folder;
    if (!dataPath.empty()) {
        for (const char* part : {"meshes", "actors", "character", "character assets"}) {
            folder += part;
            folder += separator;
        }
    }
    return {dataPath + folder + "femalebody_0.nif", dataPath + folder + "femalebody_1.nif"};
}

std::vector<std::string> TestModeWrites(const std::string& dataPath, char separator) {
    std::vector<std::string> writes;
    for (const std::string& target : TestModeTargets(dataPath, separator)) {
        writes.push_back(target);
        writes.push_back(target + ".orig");
    }
    return writes;
}

bool FindTargetThatIsAnInput(const std::vector<std::string>& targets,
                             const std::vector<std::string>& inputs, std::string& target,
                             std::string& input) {
    for (const std::string& t : targets) {
        for (const std::string& i : inputs) {
            if (SameFile(t, i)) {
                target = t;
                input = i;
                return true;
            }
        }
    }
    return false;
}

std::string WindowTitle(const AppState& state) {
    if (state.inputLoad != rc::kOk || state.inputNif.blocks.empty()) return "Pellmar";
    const NifBlockHeader& h = state.inputNif.header;
    return "Pellmar - " + DescribeForm(h.userVersion, h.userVersion2);
}

uint8_t CleanForm(const AppState& state) {
    if (state.cleanForm != 0) return state.cleanForm;
    return state.inputNif.Form() == kForm100 ? kForm100 : kForm83;
}

namespace {

// The cleaned copy of the input, or the reason there is none.
ConversionResult PrepareCleanOutput(AppState& state, NifFile& output) {
    ConversionResult result;
    if (InputMissing(state, result)) return result;
    const bool noLibrary = state.libraryLoad != rc::kOk;
    if (noLibrary && !state.original) {
        return Failed(rc::kBadLibrary, "The shader library did not load: " + state.libraryError);
    }
    const AlphaSettings alpha = ParseAlphaSettings(
        state.config.contains(kAlphaFlagsValue) ? &state.config.get(kAlphaFlagsValue) : nullptr,
        state.config.contains(kAlphaThreshold) ? &state.config.get(kAlphaThreshold) : nullptr);
    // The loaded input stays as it is: a failed save can be retried with the same result.
    RestoreSource restore;
    if (state.original) restore = {&*state.original, state.assignedShapes};
    const NifFile none;
    return PrepareClean(state.inputNif, noLibrary ? none : state.libraryNif, state.list.Rows(),
                        alpha, output, restore, state.repair, CleanForm(state));
}

}  // namespace

ConversionResult CleanTo(AppState& state, const std::string& path) {
    NifFile output;
    ConversionResult result = PrepareCleanOutput(state, output);
    if (result.code != rc::kOk) return result;
    return SaveTo(state, output, path, result);
}

ConversionResult CleanTestMode(AppState& state) {
    NifFile output;
    ConversionResult result = PrepareCleanOutput(state, output);
    if (result.code != rc::kOk) return result;
    const char separator = state.platform.PathSeparator();
    const std::string& dataPath = state.config.get(kSkyrimDataPath);
    std::string clash, input;
    if (FindTargetThatIsAnInput(TestModeWrites(dataPath, separator),
                                {state.config.get(kInputNifFileName)}, clash, input)) {
        return Failed(rc::kOutputIsInput, "Test mode would write over its own input " + input +
                                              " (as " + clash + "); nothing was written.");
    }
    return WriteTestModeBodies(output, dataPath, separator, state.opener, std::move(result));
}

ConversionResult WriteTestModeBodies(const NifFile& output, const std::string& dataPath,
                                     char separator, const OutputOpener& opener,
                                     ConversionResult result) {
    const std::vector<std::string> targets = TestModeTargets(dataPath, separator);
    for (const std::string& target : targets) {
        std::string error;
        const int prepared = PrepareTestTarget(target, error);
        if (prepared != rc::kOk) {
            result.code = prepared;
            result.message = SaveFailedText(prepared, error);
            return result;
        }
    }
    // Both bodies or neither: the game would draw a body of two versions.
    std::string bytes, error;
    int code = output.SaveToMemory(bytes);
    error = output.LastError();
    if (code == rc::kOk) code = WriteFilesTogether(targets, bytes, error, opener);
    if (code != rc::kOk) {
        result.code = code;
        result.message = SaveFailedText(code, error);
    }
    return result;
}

ConversionResult Clean(AppState& state) {
    if (state.config.get(kTestMode) == "true") return CleanTestMode(state);
    ConversionResult result;
    // Nothing to save: no dialog.
    NifFile output;
    result = PrepareCleanOutput(state, output);
    if (result.code != rc::kOk) return result;
    std::string path = state.config.get(kInputNifFileName);
    const size_t cut = path.rfind(state.platform.PathSeparator());
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (!state.platform.ChooseSavePath("Save Skyrim Nif", folder, path)) {
        return Failed(rc::kCancelled, "");
    }
    return SaveTo(state, output, path, result);
}

ConversionResult ToBlender(AppState& state) {
    return ToBlenderTo(state, BlenderOutputPath(state.config.get(kInputNifFileName),
                                                state.platform.PathSeparator()));
}

ConversionResult ToBlenderTo(AppState& state, const std::string& path) {
    ConversionResult result;
    if (InputMissing(state, result)) return result;
    NifFile output;
    result = PrepareToBlender(state.inputNif, output);
    if (result.code != rc::kOk) return result;
    return SaveTo(state, output, path, result);
}

namespace {

void Report(AppState& state, const ConversionResult& result, const char* success) {
    if (result.code > 0) {
        state.platform.ShowMessage(result.message, kFailureCaption, MessageKind::kError);
        return;
    }
    std::string text = success;
    if (!result.warnings.empty()) {
        text += "\n\nThese shapes got no shader:";
        for (const std::string& w : result.warnings) text += "\n" + w;
    }
    if (!result.repairs.empty()) {
        text += "\n\nRepairs:";
        for (const std::string& r : result.repairs) text += "\n" + r;
    }
    state.platform.ShowMessage(text, kSuccessCaption, MessageKind::kInformation);
    state.platform.Quit(0);
}

}  // namespace

void onCommand(AppState& state, int notificationCode, int controlIndex,
               std::optional<size_t> comboEntry) {
    switch (controlIndex) {
        case 0:
            if (notificationCode == 1 && comboEntry) state.list.ComboChosen(*comboEntry);
            break;
        case 1:
            state.platform.Quit(0);
            break;
        case 2: {
            const ConversionResult result = Clean(state);
            if (result.code >= 0) Report(state, result, kCleanSuccess);
            break;
        }
        case 3:
            state.config.set(kTestMode, "true");
            Report(state, Clean(state), kCleanSuccess);
            break;
        case 4:
            Report(state, ToBlender(state), kBlenderSuccess);
            break;
        default:
            break;
    }
}
