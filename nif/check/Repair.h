// The safe fixes for what lint finds: each repairable rule's findings are fixed in place, in
// the order of the rule table, and nothing else in the file changes.
#pragma once

#include <string>
#include <vector>

#include "NifFile.h"

struct [[nodiscard]] RepairReport {
    std::vector<std::string> repairs;  // "rule: what was done", one per fix
    std::vector<std::string> skipped;  // findings of a selected rule left as they were, and why
};

// Fixes the findings of the repairable rules named in `only` (every repairable rule when it is
// empty). A file that fails the consistency check is left alone. Repairing a repaired file
// changes nothing. With missing-tangents selected, shapes under a model-space normal map get a
// line in `skipped` saying that they need no tangents.
RepairReport Repair(NifFile& file, const std::vector<std::string>& only = {});
