// The commands of pellmar-cli that write meshes: clean, to-blender, convert and repair. Each
// runs as a batch (Batch.h) and returns the process's exit code: 0 all written, 1 any failed,
// 2 usage error.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Batch.h"

struct CleanOptions {
    BatchOptions run;
    bool testMode = false;
    std::string library;               // required unless restoreFrom is given
    std::string restoreFrom;           // the original mesh, never written
    std::vector<std::string> assign;   // SHAPE=SHADER
    std::vector<std::string> alpha;    // SHAPE
    std::vector<std::string> noAlpha;  // SHAPE
    std::vector<std::string> rename;   // OLD=NEW
    std::string config;                // empty: Config.xml beside the program, when there
    std::string dataPath;              // the game's data folder for --test-mode
    bool dataPathGiven = false;
    bool noRepair = false;    // skip the repairs Clean applies by default
    std::string form = "le";  // le (12/83) or se (12/100)
};

struct ConvertOptions {
    BatchOptions run;
    std::string to;  // se or le
};

struct RepairOptions {
    BatchOptions run;
    std::vector<std::string> only;  // rule ids; empty: every repair
};

[[nodiscard]] int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunToBlender(const BatchOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunRepair(const RepairOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunShapes(const std::string& input, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunShaders(const std::string& library, std::ostream& out, std::ostream& err);
