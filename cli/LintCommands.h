// pellmar-cli lint and repair.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// One line per finding and a summary per file, or one JSON document. Exit code 0 when no file
// has an error finding (or fails to load), 1 otherwise.
[[nodiscard]] int RunLint(const std::vector<std::string>& paths, bool json, std::ostream& out);

struct RepairOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string outputDir;
    std::vector<std::string> only;  // rule ids; empty: every repair
};
// Exit codes: 0 all written, 1 any failed, 2 usage error.
[[nodiscard]] int RunRepair(const RepairOptions& options, std::ostream& out, std::ostream& err);
