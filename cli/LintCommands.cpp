#include "LintCommands.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "Application.h"
#include "ConvertCommands.h"
#include "FileIO.h"
#include "JsonText.h"
#include "Lint.h"
#include "NifFile.h"
#include "Repair.h"
#include "ResultCodes.h"

namespace {

constexpr int kUsage = 2;

struct Counts {
    size_t errors = 0, warnings = 0, notes = 0;
    void Add(Severity s) {
        ++(s == Severity::kError ? errors : s == Severity::kWarning ? warnings : notes);
    }
};

std::string Plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

nlohmann::json FindingJson(const Finding& f) {
    return {{"file", ToJsonText(f.file)},
            {"block", f.block},
            {"type", ToJsonText(f.type)},
            {"shape", ToJsonText(f.shape)},
            {"rule", f.rule->id},
            {"severity", SeverityName(f.severity)},
            {"message", ToJsonText(f.message)}};
}

}  // namespace

std::string LintRulesJson() {
    nlohmann::json rules = nlohmann::json::array();
    for (const LintRule& r : LintRules()) {
        rules.push_back({{"id", r.id},
                         {"severity", SeverityName(r.severity)},
                         {"repairable", r.repairable},
                         {"description", r.description},
                         {"effect", r.effect},
                         {"evidence", r.evidence}});
    }
    return nlohmann::json{{"rules", rules}}.dump(2) + "\n";
}

int RunLint(const std::vector<std::string>& paths, bool json, Severity lowest, std::ostream& out) {
    bool anyError = false, anyUnloaded = false;
    nlohmann::json files = nlohmann::json::array();
    for (const std::string& path : paths) {
        std::vector<Finding> all;
        std::string error;
        if (LintFile(path, all, error) != rc::kOk) {
            anyUnloaded = true;
            if (json) {
                files.push_back({{"file", ToJsonText(path)}, {"error", ToJsonText(error)}});
            } else {
                out << path << ": error: " << error << "\n";
            }
            continue;
        }
        Counts counts;
        nlohmann::json findings = nlohmann::json::array();
        for (const Finding& finding : AtLeast(std::move(all), lowest)) {
            counts.Add(finding.severity);
            if (json) {
                findings.push_back(FindingJson(finding));
                continue;
            }
            out << path << ": "
                << (finding.block < 0
                        ? "file"
                        : "block " + std::to_string(finding.block) + " " + finding.type);
            if (!finding.shape.empty()) out << " \"" << finding.shape << "\"";
            out << ": " << finding.rule->id << " (" << SeverityName(finding.severity)
                << "): " << finding.message << "\n";
        }
        anyError = anyError || counts.errors > 0;
        if (json) {
            files.push_back({{"file", ToJsonText(path)},
                             {"findings", findings},
                             {"errors", counts.errors},
                             {"warnings", counts.warnings},
                             {"notes", counts.notes}});
        } else {
            out << path << ": " << Plural(counts.errors, "error") << ", "
                << Plural(counts.warnings, "warning") << ", " << Plural(counts.notes, "note")
                << "\n";
        }
    }
    if (json) out << nlohmann::json{{"files", files}}.dump(2) << "\n";
    return anyUnloaded ? kUsage : anyError ? 1 : 0;
}

int RunRepair(const RepairOptions& o, std::ostream& out, std::ostream& err) {
    if (o.output.empty() == o.outputDir.empty()) {
        err << "error: choose one of -o and --output-dir; repair never writes over its input\n";
        return kUsage;
    }
    if (!o.output.empty() && o.inputs.size() > 1) {
        err << "error: -o takes one input; use --output-dir for several\n";
        return kUsage;
    }
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
    std::vector<std::string> targets;
    for (const std::string& input : o.inputs) {
        targets.push_back(!o.output.empty() ? o.output
                                            : TextFromPath(PathFromText(o.outputDir) /
                                                           PathFromText(input).filename()));
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (SameFile(targets[i], targets[j])) {
                err << "error: " << o.inputs[i] << " and " << o.inputs[j]
                    << " would both be written to " << targets[i] << "\n";
                return kUsage;
            }
        }
    }

    std::vector<std::vector<std::string>> writes;
    for (const std::string& t : targets) writes.push_back({t});
    std::vector<ConversionResult> refusals;
    const std::vector<bool> refused = RefuseClashes(o.inputs, writes, refusals);

    size_t repaired = 0, unchanged = 0, failed = 0;
    for (size_t i = 0; i < o.inputs.size(); ++i) {
        const std::string& input = o.inputs[i];
        const std::string& target = targets[i];
        std::string error;
        std::vector<uint8_t> bytes;
        NifFile f;
        int code = rc::kOk;
        if (refused[i]) {
            code = refusals[i].code;
            error = refusals[i].message;
        } else if ((code = ReadWholeFile(input, bytes, error)) != rc::kOk) {
        } else if ((code = f.LoadFromMemory(bytes)) != rc::kOk) {
            error = f.LastError();
        }
        if (code != rc::kOk) {
            out << input << ": failed: " << error << "\n";
            ++failed;
            continue;
        }
        NifFile repairedFile;
        ConversionResult result = PrepareRepair(f, o.only, repairedFile);
        std::vector<std::string> skipped;
        std::vector<std::string> done;
        for (const std::string& r : result.repairs)
            (r.rfind("not repaired: ", 0) == 0 ? skipped : done)
                .push_back(r.substr(
                    r.rfind("not repaired: ", 0) == 0 ? std::string("not repaired: ").size() : 0));
        if (result.code != rc::kOk) {
            out << input << ": failed: " << result.message << "\n";
            ++failed;
            continue;
        }
        // A file without findings is copied byte for byte.
        code = done.empty()
                   ? WriteFileAtomically(target, std::string(bytes.begin(), bytes.end()), error)
                   : repairedFile.Save(target);
        if (!done.empty()) error = repairedFile.LastError();
        if (code != rc::kOk) {
            out << input << ": failed: " << SaveFailedText(code, error) << "\n";
            ++failed;
            continue;
        }
        out << input << " -> " << target << ": ";
        if (done.empty()) {
            out << "nothing to repair, copied unchanged";
            ++unchanged;
        } else {
            out << "repaired: ";
            for (size_t r = 0; r < done.size(); ++r) out << (r ? "; " : "") << done[r];
            ++repaired;
        }
        for (const std::string& s : skipped) out << "; not repaired: " << s;
        out << "\n";
    }
    out << repaired << " repaired, " << unchanged << " unchanged, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}
