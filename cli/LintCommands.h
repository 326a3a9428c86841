// pellmar-cli lint.
#pragma once

#include <ostream>
#include <string>

#include "Batch.h"
#include "Lint.h"

// One line per finding of at least the lowest severity and a summary per file (counting what
// is shown), or one JSON document. Exit code 2 when a file does not load, else 1 when a file
// has an error finding, else 0.
[[nodiscard]] int RunLint(const BatchOptions& options, Severity lowest, std::ostream& out,
                          std::ostream& err);
// The rule table for tools: {"rules": [{"id", "severity", "repairable", "description",
// "effect", "evidence"}]}.
std::string LintRulesJson();
