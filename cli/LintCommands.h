// pellmar-cli lint and repair.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Lint.h"

// One line per finding of at least the lowest severity and a summary per file (counting what
// is shown), or one JSON document. Exit code 2 when a file does not load, else 1 when a file
// has an error finding, else 0.
[[nodiscard]] int RunLint(const std::vector<std::string>& paths, bool json, Severity lowest,
                          std::ostream& out);
// The rule table for tools: {"rules": [{"id", "severity", "repairable", "description",
// "effect", "evidence"}]}.
std::string LintRulesJson();

struct RepairOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string outputDir;
    std::vector<std::string> only;  // rule ids; empty: every repair
};
// Exit codes: 0 all written, 1 any failed, 2 usage error.
[[nodiscard]] int RunRepair(const RepairOptions& options, std::ostream& out, std::ostream& err);
