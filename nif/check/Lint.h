// Lint: what in a loaded file crashes the game or the Creation Kit, looks wrong in the game, or
// is waste. One table of rules gives every rule its id, severity, description, effect and the
// evidence behind it; the findings, the command line and the documentation all come from it.
//
// Severity follows the evidence: an error is what is known to crash the game or the Creation
// Kit or to leave the mesh unusable, a warning what looks wrong in the game (and whatever is
// reported to crash without a crash to check it against), a note what is only waste.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "NifFile.h"

enum class Severity { kNote, kWarning, kError };
const char* SeverityName(Severity severity);
// "error", "warning" or "note"; false for anything else.
[[nodiscard]] bool ParseSeverity(std::string_view name, Severity& severity);

struct LintRule {
    const char* id;
    Severity severity;
    const char* description;  // what is wrong, one line
    const char* effect;       // what it does in the game
    const char* evidence;     // what happens and where that is known from, in a few words
    bool repairable;          // Repair (Repair.h) fixes it
};

// Every rule, errors first.
const std::vector<LintRule>& LintRules();
// The rule of that id, or nullptr.
const LintRule* FindLintRule(std::string_view id);
// The documentation's list: one line per rule.
std::string LintRulesText();

struct Finding {
    const LintRule* rule = nullptr;
    Severity severity = Severity::kNote;  // the rule's
    std::string file;                     // the file's path (LintFile), or empty
    int32_t block = -1;                   // the block concerned, -1 for the whole file
    std::string type;                     // that block's type name, or empty
    std::string shape;                    // the shape concerned, or empty
    std::string message;                  // what is wrong here and what it does in the game
};

// Every finding of every rule, by block. A file that fails the consistency check gets that
// finding alone: the other rules read references the check found wrong.
[[nodiscard]] std::vector<Finding> Lint(const NifFile& file);
// Loads the file at path and lints it, with the path in every finding. rc::kOk, or the load's
// result code with the reason in error.
[[nodiscard]] int LintFile(const std::string& path, std::vector<Finding>& findings,
                           std::string& error);
// The findings of at least that severity, in their order.
std::vector<Finding> AtLeast(std::vector<Finding> findings, Severity lowest);
// How a block is named in findings: "block 4 NiTriShape".
std::string BlockLabel(const NifFile& file, int32_t block);

// The texture paths of the game forms' shaders and texture sets.
namespace texture_paths {
// What is wrong with one path, "" when nothing is: absolute, under "data\", forward slashes,
// characters outside ASCII, a .tga in a Special Edition file.
std::string Problem(const std::string& path, bool specialEdition);
// The path relative to the Data folder with backslashes, when the problem is only where it
// starts or how it separates folders; "" when it cannot be told.
std::string Repaired(const std::string& path);
}  // namespace texture_paths

// BSXFlags bits that tell the game what a file holds.
namespace bsx_bits {
constexpr uint32_t kAnimated = 1u << 0;
constexpr uint32_t kHavok = 1u << 1;
constexpr uint32_t kRagdoll = 1u << 2;
}  // namespace bsx_bits
// Whether the file holds collision objects; whether it holds controllers at all, and
// controllers that move its scene (keyframe managers and transform controllers).
struct FileContents {
    bool collision = false;
    bool controllers = false;
    bool sceneAnimation = false;
};
FileContents ContentsOf(const NifFile& file);
