// Lint: what in a loaded file is known to crash the game or the Creation Kit, looks wrong in
// the game, or is waste. One table of rules gives every rule its id, severity, description
// and effect; the findings, the command line and the documentation all come from it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "NifFile.h"

enum class Severity { kNote, kWarning, kError };
const char* SeverityName(Severity severity);

struct LintRule {
    const char* id;
    Severity severity;
    const char* description;  // what is wrong, one line
    const char* effect;       // what it does in the game
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
    int32_t block = -1;   // the block concerned, -1 for the whole file
    std::string shape;    // the shape concerned, or empty
    std::string message;  // what is wrong here and what it does in the game
};

// Every finding of every rule, by block. A file that fails the consistency check gets that
// finding alone: the other rules read references the check found wrong.
[[nodiscard]] std::vector<Finding> Lint(const NifFile& file);
// How a block is named in findings: "block 4 NiTriShape".
std::string BlockLabel(const NifFile& file, int32_t block);
