// libFuzzer target: any bytes either fail to load, or load into a file that saves, reloads and
// saves again to the same bytes; whatever loads is linted, repaired, switched to the other
// forms and put through the commands' conversions (their content checks included) without a
// crash, and what those make stays consistent.
#include <cstdlib>
#include <string>
#include <vector>

#include "Conversions.h"
#include "FormSwitch.h"
#include "Lint.h"
#include "MeshCompare.h"
#include "NifFile.h"
#include "Repair.h"
#include "ResultCodes.h"
#include "ShapeConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NifFile f;
    if (f.LoadFromMemory(std::vector<uint8_t>(data, data + size)) != rc::kOk) {
        if (!f.blocks.empty() || f.LastError().empty()) std::abort();
        return 0;
    }
    std::string saved;
    if (f.SaveToMemory(saved) != rc::kOk) return 0;  // damaged references are refused, not written
    NifFile again;
    if (again.LoadFromMemory(std::vector<uint8_t>(saved.begin(), saved.end())) != rc::kOk)
        std::abort();
    std::string resaved;
    if (again.SaveToMemory(resaved) != rc::kOk || resaved != saved) std::abort();

    (void)Lint(f);
    NifFile repaired = f;
    (void)Repair(repaired);
    if (!repaired.CheckConsistency().empty()) std::abort();
    if (!f.OpaqueBlocks().empty()) return 0;  // conversions refuse raw blocks
    for (auto [user, user2] : {std::pair{11u, 34u}, std::pair{12u, 83u}, std::pair{12u, 100u}}) {
        NifFile switched = f;
        if (!CheckShapesConvertible(switched, FormOf(user, user2)).empty()) continue;
        (void)SwitchForm(switched, user, user2);
        if (!switched.CheckConsistency().empty()) std::abort();
        (void)CompareMeshes(f, switched).Lines();
    }
    // What a conversion reports as done is consistent; what it refuses, it names.
    auto checked = [](const ConversionResult& r, const NifFile& out) {
        if (r.code == rc::kOk ? !out.CheckConsistency().empty() : r.message.empty()) std::abort();
    };
    for (uint8_t form : {kForm83, kForm100}) {
        NifFile out;
        checked(PrepareConvert(f, form, out), out);
    }
    NifFile blender;
    checked(PrepareToBlender(f, blender), blender);
    NifFile fixed;
    checked(PrepareRepair(f, {}, fixed), fixed);
    return 0;
}
