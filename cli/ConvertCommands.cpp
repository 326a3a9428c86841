#include "ConvertCommands.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "Application.h"
#include "Config.h"
#include "Conversions.h"
#include "FileIO.h"
#include "JsonText.h"
#include "Lint.h"
#include "MeshCompare.h"
#include "PortablePlatform.h"
#include "ResultCodes.h"
#include "ShapeView.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsage = 2;

bool SplitPair(const std::string& text, std::string& left, std::string& right) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    left = text.substr(0, eq);
    right = text.substr(eq + 1);
    return true;
}

// One line per input: the window's line breaks become "; ".
std::string OneLine(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
        text.replace(at, 1, "; ");
    return text;
}

BatchResult Failed(const BatchItem& item, int code, const std::string& message,
                   const std::vector<std::string>& warnings = {}) {
    BatchResult r;
    r.status = BatchResult::Status::kFailed;
    r.code = code;
    for (const std::string& w : warnings) r.text += item.label + ": warning: " + w + "\n";
    r.text += item.label + ": failed: " + OneLine(message) + "\n";
    r.json = {{"input", ToJsonText(item.label)},
              {"output", ToJsonText(item.target)},
              {"status", "failed"},
              {"message", ToJsonText(OneLine(message))},
              {"warnings", ToJsonTexts(warnings)}};
    return r;
}

// What loading an input left behind, as warnings of the run.
std::vector<std::string> InputWarnings(const NifFile& input) {
    std::vector<std::string> warnings;
    for (const std::string& w : input.Warnings()) warnings.push_back("input: " + w);
    return warnings;
}

// The end of every conversion of one input: the refusal, or the output written (in a dry run,
// what would be written and what it changes), as a line and a JSON entry. A conversion made
// in place tells what it changed (knownChanges) and passes its file as input and output.
BatchResult Finish(const Batch& batch, const BatchItem& item, const NifFile& input,
                   const NifFile& output, ConversionResult r,
                   std::vector<std::string> warnings = {}, const std::string& written = {},
                   const std::vector<std::string>* knownChanges = nullptr) {
    // What loading the input left behind (bytes after its footer, string references past the
    // table) is said once the output is made from it; a file copied as it is keeps them. A
    // conversion in place took them before the file changed.
    if (&input != &output) {
        const std::vector<std::string> left = InputWarnings(input);
        warnings.insert(warnings.end(), left.begin(), left.end());
    }
    warnings.insert(warnings.end(), r.warnings.begin(), r.warnings.end());
    if (r.code != rc::kOk) return Failed(item, r.code, r.message, warnings);
    const bool dry = batch.Options().dryRun;
    const std::string target = written.empty() ? item.target : written;
    if (written.empty()) {
        std::string error;
        if (const int code = SaveOutput(output, item.target, dry, error); code != rc::kOk)
            return Failed(item, code, SaveFailedText(code, error), warnings);
    }
    std::vector<std::string> changes;
    if (knownChanges) {
        changes = *knownChanges;
    } else if (dry || batch.Options().json) {
        changes = CompareMeshes(input, output).Lines();
    }
    BatchResult result;
    for (const std::string& w : warnings) result.text += item.label + ": warning: " + w + "\n";
    // What was restored is news only once it is written.
    for (const std::string& line : r.restored)
        result.text += item.label + ": restored: " + line + "\n";
    result.text += item.label + " -> " + target + (dry ? ": would write" : ": ok");
    bool first = true;
    for (const std::string& line : r.repairs) {
        // Lines of what was left alone carry their own label.
        const bool left = line.rfind("not repaired: ", 0) == 0;
        result.text += (first && !left ? "; repaired: " : "; ") + line;
        first = first && left;
    }
    result.text += "\n";
    if (dry) {
        for (const std::string& c : changes) result.text += "  change: " + c + "\n";
    }
    result.json = {{"input", ToJsonText(item.label)},      {"output", ToJsonText(target)},
                   {"status", dry ? "would write" : "ok"}, {"warnings", ToJsonTexts(warnings)},
                   {"restored", ToJsonTexts(r.restored)},  {"repairs", ToJsonTexts(r.repairs)},
                   {"differences", ToJsonTexts(changes)}};
    return result;
}

std::string Converted(size_t ok, size_t, size_t failed) {
    return std::to_string(ok) + " converted, " + std::to_string(failed) + " failed";
}

// The usage problem of a planned batch, printed; true when there was one.
bool UsageProblem(const std::string& problem, std::ostream& err) {
    if (problem.empty()) return false;
    err << "error: " << problem << "\n";
    return true;
}

// A conversion command over its inputs alone: the outputs planned, every input loaded and
// handed to `step`, which makes the input's line.
int RunEach(const BatchOptions& options, OutputKind kind, const std::string& prefix,
            const std::function<BatchResult(const Batch&, const BatchItem&, NifFile&)>& step,
            const Batch::Summary& summary, std::ostream& out, std::ostream& err) {
    Batch batch(options);
    if (UsageProblem(batch.PlanOutputs(kind, prefix), err)) return kUsage;
    batch.RefuseClashes({});
    return batch.Run(
        [&](const BatchItem& item) {
            NifFile input;
            std::string error;
            if (const int code = batch.Load(item, input, error); code != rc::kOk)
                return Failed(item, code, error);
            return step(batch, item, input);
        },
        summary, out, err);
}

// A conversion command that needs nothing but its inputs and a form.
int RunSimple(const BatchOptions& options, OutputKind kind, const std::string& prefix,
              const std::function<ConversionResult(const NifFile&, NifFile&)>& convert,
              std::ostream& out, std::ostream& err) {
    return RunEach(
        options, kind, prefix,
        [&](const Batch& batch, const BatchItem& item, NifFile& input) {
            NifFile output;
            return Finish(batch, item, input, output, convert(input, output));
        },
        Converted, out, err);
}

}  // namespace

int RunToBlender(const BatchOptions& options, std::ostream& out, std::ostream& err) {
    return RunSimple(options, OutputKind::kBeside, "blend_", PrepareToBlender, out, err);
}

int RunConvert(const ConvertOptions& o, std::ostream& out, std::ostream& err) {
    const uint8_t form = o.to == "se" ? kForm100 : kForm83;
    // The input is converted where it lies, so a large mesh is held once.
    return RunEach(
        o.run, OutputKind::kRequired, {},
        [form](const Batch& batch, const BatchItem& item, NifFile& file) {
            std::vector<std::string> warnings = InputWarnings(file);
            // What the output changes is listed only in a dry run and in the JSON report.
            const bool listed = batch.Options().dryRun || batch.Options().json;
            std::vector<std::string> changes;
            ConversionResult r = ConvertInPlace(file, form, listed ? &changes : nullptr);
            return Finish(batch, item, file, file, std::move(r), std::move(warnings), {}, &changes);
        },
        Converted, out, err);
}

int RunRepair(const RepairOptions& o, std::ostream& out, std::ostream& err) {
    for (const std::string& id : o.only) {
        const LintRule* rule = FindLintRule(id);
        if (!rule || !rule->repairable) {
            err << "error: --only " << id << ": "
                << (rule ? "that rule has no repair" : "no such rule") << "; the repairs are:";
            for (const LintRule& r : LintRules()) {
                if (r.repairable) err << " " << r.id;
            }
            err << "\n";
            return kUsage;
        }
    }
    return RunEach(
        o.run, OutputKind::kRequired, {},
        [&](const Batch& batch, const BatchItem& item, NifFile& input) {
            NifFile output;
            std::string error;
            ConversionResult r = PrepareRepair(input, o.only, output);
            const bool nothing =
                r.code == rc::kOk &&
                std::all_of(r.repairs.begin(), r.repairs.end(), [](const std::string& line) {
                    return line.rfind("not repaired: ", 0) == 0;
                });
            if (!nothing) return Finish(batch, item, input, output, std::move(r));
            // A file without findings is copied byte for byte.
            std::vector<uint8_t> bytes;
            int code = batch.ReadBytes(item, bytes, error);
            if (code == rc::kOk && !batch.Options().dryRun)
                code = WriteOutputBytes(item.target, bytes, error);
            if (code != rc::kOk) return Failed(item, code, SaveFailedText(code, error));
            BatchResult result = Finish(batch, item, input, input, std::move(r), {}, item.target);
            result.status = BatchResult::Status::kUnchanged;
            const bool dry = batch.Options().dryRun;
            const std::string from = dry ? ": would write" : ": ok";
            result.text.replace(result.text.find(from), from.size(),
                                dry ? ": nothing to repair, would copy unchanged"
                                    : ": nothing to repair, copied unchanged");
            result.json["status"] = "unchanged";
            return result;
        },
        [](size_t repaired, size_t unchanged, size_t failed) {
            return std::to_string(repaired) + " repaired, " + std::to_string(unchanged) +
                   " unchanged, " + std::to_string(failed) + " failed";
        },
        out, err);
}

int RunClean(const CleanOptions& o, std::ostream& out, std::ostream& err) {
    for (const auto* pairs : {&o.assign, &o.rename}) {
        for (const std::string& p : *pairs) {
            std::string l, r;
            if (!SplitPair(p, l, r)) {
                err << "error: '" << p << "' is not of the form NAME=NAME\n";
                return kUsage;
            }
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
    // The settings: --config must name a regular file that reads cleanly; the one beside the
    // program is read the same way when it is there.
    ConfigStore settings;
    settings.set(kSkyrimDataPath, platform.SkyrimDataPath());
    std::string configPath = o.config;
    if (!o.config.empty()) {
        std::error_code ec;
        const fs::file_status status = fs::status(PathFromText(o.config), ec);
        if (!fs::is_regular_file(status)) {
            err << "error: --config '" << o.config << "' "
                << (fs::exists(status) ? "is not a regular file" : "does not exist") << "\n";
            return kUsage;
        }
    } else {
        configPath = platform.ProgramFolder() + "Config.xml";
        std::error_code ec;
        if (!fs::is_regular_file(PathFromText(configPath), ec)) configPath.clear();
    }
    if (!configPath.empty()) {
        std::string error;
        if (ReadConfigStrictly(configPath, settings, error) != rc::kOk) {
            err << "error: " << error << "\n";
            return kUsage;
        }
    }
    if (o.dataPathGiven) {
        std::string dataPath = o.dataPath;
        if (!dataPath.empty() && dataPath.back() != platform.PathSeparator())
            dataPath += platform.PathSeparator();
        settings.set(kSkyrimDataPath, dataPath);
    }
    const std::string dataPath = settings.get(kSkyrimDataPath);
    if (o.testMode && dataPath.empty()) {
        err << "error: --test-mode writes into the game's Data folder, and none was found; "
               "give it with --data-path DIR\n";
        return kUsage;
    }
    // The Data folder is the game's own: a mistyped one is not made up.
    if (o.testMode) {
        std::error_code ec;
        if (!fs::is_directory(PathFromText(dataPath), ec)) {
            err << "error: the Data folder '" << dataPath
                << "' is not a folder; --test-mode writes only into an existing one\n";
            return kUsage;
        }
    }

    NifFile library, original;
    if (!o.library.empty() && library.Load(o.library) != rc::kOk) {
        err << o.library << ": error: " << library.LastError() << "\n";
        return 1;
    }
    if (!o.restoreFrom.empty() && original.Load(o.restoreFrom) != rc::kOk) {
        err << o.restoreFrom << ": error: " << original.LastError() << "\n";
        return 1;
    }
    std::vector<std::string> shaders;
    library.GetShaderNames(shaders);
    std::vector<std::string> assigned;
    for (const std::string& a : o.assign) {
        std::string shape, shader;
        SplitPair(a, shape, shader);
        if (std::find(shaders.begin(), shaders.end(), shader) == shaders.end()) {
            err << "error: the library holds no shader named \"" << shader << "\"\n";
            return kUsage;
        }
        assigned.push_back(shape);
    }

    Batch batch(o.run);
    const char separator = platform.PathSeparator();
    if (UsageProblem(batch.PlanOutputs(o.testMode ? OutputKind::kTestMode : OutputKind::kRequired,
                                       {}, TestModeWrites(dataPath, separator)),
                     err))
        return kUsage;
    // Nothing a run reads is ever written: the inputs, the library, the configuration and the
    // original.
    batch.RefuseClashes({{o.library, "the shader library"},
                         {configPath, "the configuration"},
                         {o.restoreFrom, "the original"}});

    AlphaSettings alpha = ParseAlphaSettings(
        settings.contains(kAlphaFlagsValue) ? &settings.get(kAlphaFlagsValue) : nullptr,
        settings.contains(kAlphaThreshold) ? &settings.get(kAlphaThreshold) : nullptr);
    const NifFile none;
    return batch.Run(
        [&](const BatchItem& item) {
            NifFile input, output;
            std::string error;
            if (const int code = batch.Load(item, input, error); code != rc::kOk)
                return Failed(item, code, error);
            // The rows the window would show (each shape with the library's first shader and
            // no alpha), after the renames, then the assignments and alpha marks.
            std::vector<std::string> names, warnings;
            input.GetShapeNames(names);
            CleanSettings clean;
            auto named = [&](const std::string& name) {
                if (std::find(names.begin(), names.end(), name) != names.end()) return true;
                warnings.push_back("no shape named \"" + name + "\"");
                return false;
            };
            for (const std::string& r : o.rename) {
                std::string from, to;
                SplitPair(r, from, to);
                if (!named(from)) continue;
                *std::find(names.begin(), names.end(), from) = to;
                clean.renames.emplace_back(from, to);
            }
            for (const std::string& n : names)
                clean.rows.push_back({n, shaders.empty() ? "" : shaders[0], "no"});
            for (const std::string& a : o.assign) {
                std::string shape, shader;
                SplitPair(a, shape, shader);
                if (!named(shape)) continue;
                for (AssignmentRow& row : clean.rows) {
                    if (row.shape != shape) continue;
                    row.shader = shader;
                    // A shader whose name holds "(A)" marks the shape for alpha, as in the window.
                    row.alpha = shader.find("(A)") != std::string::npos ? "yes" : "no";
                }
            }
            for (const auto& [list, mark] : {std::pair{&o.alpha, "yes"}, {&o.noAlpha, "no"}}) {
                for (const std::string& name : *list) {
                    if (!named(name)) continue;
                    for (AssignmentRow& row : clean.rows)
                        if (row.shape == name) row.alpha = mark;
                }
            }
            clean.alpha = alpha;
            if (!o.restoreFrom.empty()) clean.restore = {&original, assigned};
            clean.repair = !o.noRepair;
            clean.form = o.form == "se" ? kForm100 : kForm83;
            ConversionResult r =
                PrepareClean(input, o.library.empty() ? none : library, clean, output);
            if (!o.testMode || r.code != rc::kOk)
                return Finish(batch, item, input, output, std::move(r), warnings);
            const auto bodies = TestModeTargets(dataPath, separator);
            if (!batch.Options().dryRun)
                r = WriteTestModeBodies(output, dataPath, separator, StandardOutputOpener(),
                                        std::move(r));
            return Finish(batch, item, input, output, std::move(r), warnings,
                          bodies[0] + ", " + bodies[1]);
        },
        Converted, out, err);
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
