// libFuzzer target: any bytes either fail to load, or load into a file that saves, reloads and
// saves again to the same bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include "NifFile.h"
#include "ResultCodes.h"

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
    return 0;
}
