// pellmar-cli lint and repair.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Batch.h"

// One line per finding and a summary per file, or one JSON document. Exit code 0 when no file
// has an error finding, 1 when one has, 2 when a file does not load (or on usage errors).
[[nodiscard]] int RunLint(const BatchOptions& options, std::ostream& out, std::ostream& err);
