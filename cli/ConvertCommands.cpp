#include "ConvertCommands.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "Application.h"
#include "Config.h"
#include "Conversions.h"
#include "FileIO.h"
#include "PortablePlatform.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsage = 2;

std::string FileNameOf(const std::string& path) {
    return TextFromPath(PathFromText(path).filename());
}

std::string ParentOf(const std::string& path) {
    return TextFromPath(PathFromText(path).parent_path());
}

std::string Join(const std::string& folder, const std::string& name) {
    return TextFromPath(PathFromText(folder) / PathFromText(name));
}

bool SplitPair(const std::string& text, std::string& left, std::string& right) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    left = text.substr(0, eq);
    right = text.substr(eq + 1);
    return true;
}

// Output folders keep each file name, so two inputs of one name would collide.
bool DuplicateNames(const std::vector<std::string>& inputs, std::ostream& err) {
    std::set<std::string> seen;
    for (const std::string& input : inputs) {
        if (!seen.insert(FileNameOf(input)).second) {
            err << "error: two inputs are named " << FileNameOf(input)
                << "; --output-dir would write one over the other\n";
            return true;
        }
    }
    return false;
}

// The rows of the window after the command line's edits; shapes the input lacks are warnings.
void ApplyRowEdits(const CleanOptions& o, AppState& state, std::vector<std::string>& warnings) {
    ShaderList& list = state.list;
    auto rowsNamed = [&](const std::string& name) {
        std::vector<size_t> rows;
        for (size_t i = 0; i < list.Rows().size(); ++i) {
            if (list.Rows()[i].shape == name) rows.push_back(i);
        }
        if (rows.empty()) warnings.push_back("no shape named \"" + name + "\"");
        return rows;
    };
    for (const std::string& r : o.rename) {
        std::string from, to;
        SplitPair(r, from, to);
        const auto rows = rowsNamed(from);
        if (!rows.empty()) list.LabelEditEnded(rows.front(), to, state.inputNif);
    }
    for (const std::string& a : o.assign) {
        std::string shape, shader;
        SplitPair(a, shape, shader);
        for (size_t row : rowsNamed(shape)) list.SetShaderOfRow(row, shader);
    }
    for (const auto& [names, mark] : {std::pair{&o.alpha, "yes"}, std::pair{&o.noAlpha, "no"}}) {
        for (const std::string& name : *names) {
            for (size_t row : rowsNamed(name)) list.Rows()[row].alpha = mark;
        }
    }
}

void PrintOutcome(const std::string& input, const std::string& written, const ConversionResult& r,
                  const std::vector<std::string>& warnings, std::ostream& out) {
    for (const std::string& w : warnings) out << input << ": warning: " << w << "\n";
    for (const std::string& w : r.warnings) out << input << ": warning: " << w << "\n";
    if (r.code == rc::kOk) {
        // What was restored is news only once it is written.
        for (const std::string& line : r.restored) out << input << ": restored: " << line << "\n";
        out << input << " -> " << written << ": ok";
        for (size_t i = 0; i < r.repairs.size(); ++i)
            out << (i == 0 ? "; repaired: " : "; ") << r.repairs[i];
        out << "\n";
        return;
    }
    // One line per file: the window's line breaks become "; ".
    std::string message = r.message;
    for (size_t at = message.find('\n'); at != std::string::npos; at = message.find('\n', at))
        message.replace(at, 1, "; ");
    out << input << ": failed: " << message << "\n";
}

int Summary(size_t converted, size_t failed, std::ostream& out) {
    out << converted << " converted, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}

bool LoadInput(AppState& state, const std::string& input) {
    state.config.set(kInputNifFileName, input);
    state.inputLoad = state.inputNif.Load(input);
    state.inputError = state.inputNif.LastError();
    return state.inputLoad == rc::kOk;
}

}  // namespace

std::vector<bool> RefuseClashes(const std::vector<std::string>& inputs,
                                const std::vector<std::vector<std::string>>& targets,
                                std::vector<ConversionResult>& results,
                                const std::vector<std::string>& alsoRead) {
    std::vector<bool> refused(inputs.size(), false);
    results.assign(inputs.size(), ConversionResult{});
    std::vector<std::string> read = inputs;
    read.insert(read.end(), alsoRead.begin(), alsoRead.end());
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::string target, input;
        if (!FindTargetThatIsAnInput(targets[i], read, target, input)) continue;
        refused[i] = true;
        results[i].code = rc::kOutputIsInput;
        results[i].message = SameFile(input, inputs[i])
                                 ? "refusing to write over the input itself (" + target + ")"
                                 : "refusing to write " + target + ", which is the input " + input +
                                       " of this run; nothing was written for this file";
    }
    return refused;
}

int RunClean(const CleanOptions& o, std::ostream& out, std::ostream& err) {
    const int outputs = !o.output.empty() + !o.outputDir.empty() + o.testMode;
    if (outputs != 1) {
        err << "error: choose exactly one of -o, --output-dir and --test-mode; the input is never "
               "overwritten "
               "silently\n";
        return kUsage;
    }
    if ((!o.output.empty() || o.testMode) && o.inputs.size() > 1) {
        err << "error: -o and --test-mode take one input; use --output-dir for several\n";
        return kUsage;
    }
    if (!o.outputDir.empty() && DuplicateNames(o.inputs, err)) return kUsage;
    for (const auto* pairs : {&o.assign, &o.rename}) {
        for (const std::string& p : *pairs) {
            std::string l, r;
            if (!SplitPair(p, l, r)) {
                err << "error: '" << p << "' is not of the form NAME=NAME\n";
                return kUsage;
            }
        }
    }

    // Only a regular file reaches the XML reader: a folder or a FIFO is refused unopened.
    if (!o.config.empty()) {
        std::error_code ec;
        const fs::file_status status = fs::status(PathFromText(o.config), ec);
        if (!fs::is_regular_file(status)) {
            err << "error: --config '" << o.config << "' "
                << (fs::exists(status) ? "is not a regular file" : "does not exist") << "\n";
            return kUsage;
        }
    }

    if (o.library.empty() && o.restoreFrom.empty()) {
        err << "error: clean needs --library, or --restore-from with its original\n";
        return kUsage;
    }
    if (o.library.empty() && !o.assign.empty()) {
        err << "error: --assign names a library shader; give the library with --library\n";
        return kUsage;
    }

    std::ostringstream messages;
    PortablePlatform platform(messages);
    NifFile library, original;
    if (!o.library.empty() && library.Load(o.library) != rc::kOk) {
        err << o.library << ": error: " << library.LastError() << "\n";
        return 1;
    }
    if (!o.restoreFrom.empty() && original.Load(o.restoreFrom) != rc::kOk) {
        err << o.restoreFrom << ": error: " << original.LastError() << "\n";
        return 1;
    }
    std::vector<std::string> assigned;
    for (const std::string& a : o.assign) {
        std::string shape, shader;
        SplitPair(a, shape, shader);
        assigned.push_back(shape);
    }
    std::vector<std::string> shaders;
    library.GetShaderNames(shaders);
    for (const std::string& a : o.assign) {
        std::string shape, shader;
        SplitPair(a, shape, shader);
        if (std::find(shaders.begin(), shaders.end(), shader) == shaders.end()) {
            err << "error: the library holds no shader named \"" << shader << "\"\n";
            return kUsage;
        }
    }

    // The settings are read once; each input starts from them.
    ConfigStore settings;
    loadConfig(settings, platform,
               o.config.empty() ? platform.ProgramFolder() + "Config.xml" : o.config);
    settings.set(kTestMode, o.testMode ? "true" : "false");
    if (o.dataPathGiven) {
        std::string dataPath = o.dataPath;
        if (!dataPath.empty() && dataPath.back() != platform.PathSeparator())
            dataPath += platform.PathSeparator();
        settings.set(kSkyrimDataPath, dataPath);
    }
    const std::string& dataPath = settings.get(kSkyrimDataPath);
    if (o.testMode && dataPath.empty()) {
        err << "error: --test-mode writes into the game's Data folder, and none was found; "
               "give it with --data-path DIR\n";
        return kUsage;
    }

    std::vector<std::vector<std::string>> targets;
    for (const std::string& input : o.inputs) {
        targets.push_back(o.testMode ? TestModeWrites(dataPath, platform.PathSeparator())
                          : !o.output.empty()
                              ? std::vector<std::string>{o.output}
                              : std::vector<std::string>{Join(o.outputDir, FileNameOf(input))});
    }
    std::vector<ConversionResult> refusals;
    const std::vector<bool> refused =
        RefuseClashes(o.inputs, targets, refusals,
                      o.restoreFrom.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{o.restoreFrom});

    size_t converted = 0, failed = 0;
    for (size_t i = 0; i < o.inputs.size(); ++i) {
        const std::string& input = o.inputs[i];
        AppState state(platform);
        state.config = settings;
        state.libraryNif = library;
        if (o.library.empty()) state.libraryLoad = rc::kCannotOpen;
        if (!o.restoreFrom.empty()) {
            state.original = original;
            state.assignedShapes = assigned;
        }
        state.cleanForm = o.form == "se" ? kForm100 : kForm83;
        ConversionResult result = refusals[i];
        std::vector<std::string> warnings;
        std::string written;
        if (o.testMode) {
            const auto bodies = TestModeTargets(dataPath, platform.PathSeparator());
            written = bodies[0] + ", " + bodies[1];
        } else {
            written = targets[i][0];
        }
        if (refused[i]) {
            // refused
        } else if (!LoadInput(state, input)) {
            result.code = state.inputLoad;
            result.message = state.inputError;
        } else {
            FillList(state);
            ApplyRowEdits(o, state, warnings);
            state.repair = !o.noRepair;
            result = o.testMode ? CleanTestMode(state) : CleanTo(state, written);
        }
        PrintOutcome(input, written, result, warnings, out);
        ++(result.code == rc::kOk ? converted : failed);
    }
    return Summary(converted, failed, out);
}

int RunToBlender(const ToBlenderOptions& o, std::ostream& out, std::ostream& err) {
    if (!o.output.empty() && !o.outputDir.empty()) {
        err << "error: choose -o or --output-dir, not both\n";
        return kUsage;
    }
    if (!o.output.empty() && o.inputs.size() > 1) {
        err << "error: -o takes one input; use --output-dir for several\n";
        return kUsage;
    }
    if (!o.outputDir.empty() && DuplicateNames(o.inputs, err)) return kUsage;

    std::ostringstream messages;
    PortablePlatform platform(messages);
    std::vector<std::vector<std::string>> targets;
    for (const std::string& input : o.inputs) {
        targets.push_back({!o.output.empty() ? o.output
                           : !o.outputDir.empty()
                               ? Join(o.outputDir, FileNameOf(input))
                               : Join(ParentOf(input), "blend_" + FileNameOf(input))});
    }
    std::vector<ConversionResult> refusals;
    const std::vector<bool> refused = RefuseClashes(o.inputs, targets, refusals);

    size_t converted = 0, failed = 0;
    for (size_t i = 0; i < o.inputs.size(); ++i) {
        const std::string& input = o.inputs[i];
        const std::string& path = targets[i][0];
        AppState state(platform);
        ConversionResult result = refusals[i];
        if (refused[i]) {
            // refused
        } else if (!LoadInput(state, input)) {
            result.code = state.inputLoad;
            result.message = state.inputError;
        } else {
            result = ToBlenderTo(state, path);
        }
        PrintOutcome(input, path, result, {}, out);
        ++(result.code == rc::kOk ? converted : failed);
    }
    return Summary(converted, failed, out);
}

int RunConvert(const ConvertOptions& o, std::ostream& out, std::ostream& err) {
    const int outputs = !o.output.empty() + !o.outputDir.empty();
    if (outputs != 1) {
        err << "error: choose exactly one of -o and --output-dir; the input is never overwritten "
               "silently\n";
        return kUsage;
    }
    if (!o.output.empty() && o.inputs.size() > 1) {
        err << "error: -o takes one input; use --output-dir for several\n";
        return kUsage;
    }
    if (!o.outputDir.empty() && DuplicateNames(o.inputs, err)) return kUsage;
    if (o.jobs == 0) {
        err << "error: --jobs needs at least 1\n";
        return kUsage;
    }
    const uint8_t form = o.to == "se" ? kForm100 : kForm83;
    std::vector<std::vector<std::string>> targets;
    for (const std::string& input : o.inputs)
        targets.push_back({!o.output.empty() ? o.output : Join(o.outputDir, FileNameOf(input))});
    std::vector<ConversionResult> results;
    const std::vector<bool> refused = RefuseClashes(o.inputs, targets, results);

    // Workers take the next file; lines are printed in input order as soon as every earlier
    // file is done, with the progress line redrawn below them.
    const size_t total = o.inputs.size();
    std::atomic<size_t> next{0};
    std::mutex lock;
    std::vector<bool> done(total, false);
    size_t printed = 0, finished = 0, converted = 0, failed = 0;
    const bool progress = o.progress && total > 4;
    auto work = [&] {
        for (size_t i = next++; i < total; i = next++) {
            ConversionResult result = results[i];
            if (!refused[i]) {
                NifFile input, output;
                if (const int loaded = input.Load(o.inputs[i]); loaded != rc::kOk) {
                    result.code = loaded;
                    result.message = input.LastError();
                } else {
                    result = PrepareConvert(input, form, output);
                    if (result.code == rc::kOk) {
                        if (const int saved = output.Save(targets[i][0]); saved != rc::kOk) {
                            result.code = saved;
                            result.message = SaveFailedText(saved, output.LastError());
                        }
                    }
                }
            }
            std::lock_guard<std::mutex> guard(lock);
            results[i] = std::move(result);
            done[i] = true;
            ++finished;
            if (progress) err << "\r\x1b[K";
            for (; printed < total && done[printed]; ++printed) {
                PrintOutcome(o.inputs[printed], targets[printed][0], results[printed], {}, out);
                ++(results[printed].code == rc::kOk ? converted : failed);
            }
            out.flush();
            if (progress && finished < total)
                err << "converting: " << finished << " of " << total << " done" << std::flush;
        }
    };
    const unsigned threads = static_cast<unsigned>(std::min<size_t>(o.jobs, total));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    return Summary(converted, failed, out);
}

namespace {

int PrintNames(const std::string& path, bool shapes, std::ostream& out, std::ostream& err) {
    NifFile f;
    if (f.Load(path) != rc::kOk) {
        err << path << ": error: " << f.LastError() << "\n";
        return 1;
    }
    std::vector<std::string> names;
    if (shapes) {
        f.GetShapeNames(names);
    } else {
        f.GetShaderNames(names);
    }
    for (const std::string& n : names) out << n << "\n";
    return 0;
}

}  // namespace

int RunShapes(const std::string& input, std::ostream& out, std::ostream& err) {
    return PrintNames(input, true, out, err);
}

int RunShaders(const std::string& library, std::ostream& out, std::ostream& err) {
    return PrintNames(library, false, out, err);
}
