// The two conversions on their own: from a loaded input (and, for Clean, the library and the
// rows) to an edited copy ready to be saved, or a refusal that says why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NifFile.h"
#include "ShaderList.h"

// What a conversion did.
struct ConversionResult {
    int code = 0;                       // a result code of ResultCodes.h
    std::string message;                // why it failed, for the user
    std::vector<std::string> warnings;  // rows that got no shader, and why
};

struct AlphaSettings {
    uint16_t flags = 4844;
    uint8_t threshold = 128;
};

// Legacy property types that Clean removes, in order.
extern const std::vector<std::string> kCleanRemovedTypes;
// Types that ToBlender removes, in order.
extern const std::vector<std::string> kToBlenderRemovedTypes;

// Removes the types, drops a single-child root and switches to the game form, then gives
// every row its shader (and alpha); with form kForm100 the result then takes the Special
// Edition's form. `output` receives the edited copy of `input`.
ConversionResult PrepareClean(const NifFile& input, const NifFile& library,
                              const std::vector<AssignmentRow>& rows, const AlphaSettings& alpha,
                              NifFile& output, uint8_t form = kForm83);
// A game mesh (12/83 or 12/100) in the other edition's form (form: kForm83 or kForm100),
// keeping every block the target form has.
ConversionResult PrepareConvert(const NifFile& input, uint8_t form, NifFile& output);
// Removes the types, drops a single-child root and switches to the Blender form.
ConversionResult PrepareToBlender(const NifFile& input, NifFile& output);

// Alpha values from the settings text as C's atoi reads it, keeping the low bits.
AlphaSettings ParseAlphaSettings(const std::string* flags, const std::string* threshold);
