// The two conversions on their own: from a loaded input (and, for Clean, the library and the
// rows) to an edited copy ready to be saved, or a refusal that says why.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "NifFile.h"
#include "ShaderList.h"

// What a conversion did.
struct [[nodiscard]] ConversionResult {
    int code = 0;                       // a result code of ResultCodes.h
    std::string message;                // why it failed, for the user
    std::vector<std::string> warnings;  // rows that got no shader, and why
    std::vector<std::string> restored;  // what each shape and node got from the original
    std::vector<std::string> repairs;   // what the repairs fixed ("rule: what") or left
};

// Clean's restore from the original mesh the input was made from (see Restore.h).
struct RestoreSource {
    const NifFile* original = nullptr;  // none: no restore
    // Shapes the user gave a library shader: they keep it and get nothing from the original.
    std::vector<std::string> assigned;
};

struct AlphaSettings {
    uint16_t flags = 4844;
    uint8_t threshold = 128;
};

// Legacy property types that Clean removes, in order.
extern const std::vector<TypeId> kCleanRemovedTypes;
// Types that ToBlender removes, in order.
extern const std::vector<TypeId> kToBlenderRemovedTypes;

// The input stays as it is: each conversion edits a copy and, before it hands the copy back,
// compares its meshes with the input's (MeshCompare.h): a conversion whose output would not
// keep every shape's vertices, triangles, UVs, normals, colours, bones and weights (within
// what the target form stores), apart from what it changes on purpose, is refused with
// rc::kContentChanged naming the shape and what differs. An input that fails the consistency
// check is refused (rc::kInconsistent).
// Removes the types, drops a single-child root and switches to the game form, then gives
// every row its shader (and alpha). `output` receives the edited copy of `input`.
// With an original, the shapes whose namesake there has a shader (and are not among
// `assigned`) take that shader instead of their row's, then the original's collision, extra
// data and controllers come back (RestoreFromOriginal); a Special Edition original is read in
// the game form first. An empty library then stands for none: rows it would serve are warned.
// Then, unless `repair` is false, every repair of Repair.h applies; with form kForm100 the
// result last takes the Special Edition's form.
ConversionResult PrepareClean(const NifFile& input, const NifFile& library,
                              const std::vector<AssignmentRow>& rows, const AlphaSettings& alpha,
                              NifFile& output, const RestoreSource& restore = {},
                              bool repair = true, uint8_t form = kForm83);

// Everything Clean takes besides its input and library, as plain values.
struct CleanSettings {
    // Shapes renamed first, in order (OLD, NEW): the rows name shapes by their new names.
    std::vector<std::pair<std::string, std::string>> renames;
    std::vector<AssignmentRow> rows;
    AlphaSettings alpha;
    RestoreSource restore;
    bool repair = true;
    uint8_t form = kForm83;
};
ConversionResult PrepareClean(const NifFile& input, const NifFile& library,
                              const CleanSettings& settings, NifFile& output);
// A game mesh (12/83 or 12/100) in the other edition's form (form: kForm83 or kForm100),
// keeping every block the target form has.
ConversionResult PrepareConvert(const NifFile& input, uint8_t form, NifFile& output);
// The same conversion made in the file itself, so that a large mesh is not held twice: the
// content check compares each shape as it is converted (InPlaceContentCheck). On a refusal
// the file may be half converted and is to be dropped. `changes`, when given, receives what
// CompareMeshes(input, output).Lines() would list.
ConversionResult ConvertInPlace(NifFile& file, uint8_t form,
                                std::vector<std::string>* changes = nullptr);
// Removes the types, drops a single-child root and switches to the Blender form.
ConversionResult PrepareToBlender(const NifFile& input, NifFile& output);

// The safe repairs of Repair.h (only the rules named, or all), on a copy of the input; the
// result lists what was repaired and what was left and why. An inconsistent input is refused.
ConversionResult PrepareRepair(const NifFile& input, const std::vector<std::string>& only,
                               NifFile& output);

// Runs on every conversion's output just before its content check when set: tests break a
// conversion on purpose with it to see the check refuse the result.
extern std::function<void(NifFile&)> g_breakConversionForTests;

// Alpha values from the settings text as C's atoi reads it, keeping the low bits.
AlphaSettings ParseAlphaSettings(const std::string* flags, const std::string* threshold);
