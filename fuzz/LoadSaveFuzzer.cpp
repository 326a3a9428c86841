// libFuzzer target: any bytes either fail to load, or load into a file that saves, reloads and
// saves again to the same bytes; whatever loads is linted, repaired and switched to the other
// forms without a crash, and what those write stays consistent.
#include <cstdlib>
#include <string>
#include <vector>

#include "FormSwitch.h"
#include "Lint.h"
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
    }
    return 0;
}
