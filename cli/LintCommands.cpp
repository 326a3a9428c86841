#include "LintCommands.h"

#include <algorithm>
#include <atomic>
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

int RunLint(const BatchOptions& options, Severity lowest, std::ostream& out, std::ostream& err) {
    Batch batch(ReadingOnly(options));
    if (const std::string problem = batch.PlanOutputs(OutputKind::kNone); !problem.empty()) {
        err << "error: " << problem << "\n";
        return kUsage;
    }
    std::atomic<size_t> errors{0}, warnings{0}, notes{0}, unreadable{0};
    const int code = batch.Run(
        [&](const BatchItem& item) {
            BatchResult r;
            NifFile f;
            std::string error;
            if (batch.Load(item, f, error) != rc::kOk) {
                ++unreadable;
                r.status = BatchResult::Status::kFailed;
                r.text = item.label + ": error: " + error + "\n";
                r.json = {{"file", ToJsonText(item.label)}, {"error", ToJsonText(error)}};
                return r;
            }
            Counts counts;
            nlohmann::json findings = nlohmann::json::array();
            std::vector<Finding> all = Lint(f);
            for (Finding& finding : all) finding.file = item.label;
            for (const Finding& finding : AtLeast(std::move(all), lowest)) {
                counts.Add(finding.severity);
                findings.push_back(FindingJson(finding));
                r.text += item.label + ": " +
                          (finding.block < 0
                               ? std::string("file")
                               : "block " + std::to_string(finding.block) + " " + finding.type);
                if (!finding.shape.empty()) r.text += " \"" + finding.shape + "\"";
                r.text += std::string(": ") + finding.rule->id + " (" +
                          SeverityName(finding.severity) + "): " + finding.message + "\n";
            }
            errors += counts.errors;
            warnings += counts.warnings;
            notes += counts.notes;
            r.errors = counts.errors;
            r.text += item.label + ": " + Plural(counts.errors, "error") + ", " +
                      Plural(counts.warnings, "warning") + ", " + Plural(counts.notes, "note") +
                      "\n";
            r.json = {{"file", ToJsonText(item.label)},
                      {"findings", findings},
                      {"errors", counts.errors},
                      {"warnings", counts.warnings},
                      {"notes", counts.notes}};
            return r;
        },
        [&](size_t ok, size_t, size_t failed) {
            return std::to_string(ok + failed) + " files: " + Plural(errors, "error") + ", " +
                   Plural(warnings, "warning") + ", " + Plural(notes, "note") +
                   (failed ? ", " + std::to_string(failed) + " not read" : "");
        },
        out, err);
    if (unreadable > 0) return kUsage;
    return code != 0 || errors > 0 ? 1 : 0;
}
