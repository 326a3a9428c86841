// The conversion commands of pellmar-cli and what they share.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct CleanOptions {
    std::vector<std::string> inputs;
    std::string library;      // required unless restoreFrom is given
    std::string restoreFrom;  // the original mesh, never written
    std::string output;
    std::string outputDir;
    bool testMode = false;
    std::vector<std::string> assign;   // SHAPE=SHADER
    std::vector<std::string> alpha;    // SHAPE
    std::vector<std::string> noAlpha;  // SHAPE
    std::vector<std::string> rename;   // OLD=NEW
    std::string config;                // empty: Config.xml beside the program
    std::string dataPath;              // empty: the game's data folder as found
    bool dataPathGiven = false;
    bool noRepair = false;    // skip the repairs Clean applies by default
    std::string form = "le";  // le (12/83) or se (12/100)
};

struct ToBlenderOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string outputDir;
};

struct ConvertOptions {
    std::vector<std::string> inputs;
    std::string to;  // se or le
    std::string output;
    std::string outputDir;
    unsigned jobs = 1;
    bool progress = false;  // a progress line on err (a terminal)
};

struct ConversionResult;

// Writing over an input is never what a batch means: the input would be lost, or a later
// input converted from an earlier output. Every file the batch may write (targets[i] for
// inputs[i]) is compared with every input before the first write; a file whose targets clash
// is refused (results[i] says why), the rest go on. Files the run only reads (the original of
// a restore) count as inputs.
std::vector<bool> RefuseClashes(const std::vector<std::string>& inputs,
                                const std::vector<std::vector<std::string>>& targets,
                                std::vector<ConversionResult>& results,
                                const std::vector<std::string>& alsoRead = {});

// Exit codes: 0 all converted, 1 any failed, 2 usage error.
[[nodiscard]] int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunToBlender(const ToBlenderOptions& options, std::ostream& out,
                               std::ostream& err);
[[nodiscard]] int RunShapes(const std::string& input, std::ostream& out, std::ostream& err);
[[nodiscard]] int RunShaders(const std::string& library, std::ostream& out, std::ostream& err);
