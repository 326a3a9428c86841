#include <algorithm>

#include "Commands.h"
#include "FileIO.h"
#include "FormSwitch.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

// One line about one file; true when it loads, is consistent and writes back identically.
bool CheckOne(const std::string& path, std::ostream& out) {
    std::vector<uint8_t> bytes;
    std::string error;
    NifFile f;
    if (ReadWholeFile(path, bytes, error) != rc::kOk || f.LoadFromMemory(bytes) != rc::kOk) {
        out << path << ": error: " << (error.empty() ? f.LastError() : error) << "\n";
        return false;
    }
    std::vector<std::string> shapes;
    out << path << ": ok, " << f.blocks.size() << " blocks, " << f.GetShapeNames(shapes)
        << " shapes, ";
    const std::string problem = f.CheckConsistency();
    if (!problem.empty()) {
        out << "inconsistent: " << problem << "\n";
        return false;
    }
    std::string written;
    if (f.SaveToMemory(written) != rc::kOk) {
        out << "not writable: " << f.LastError() << "\n";
        return false;
    }
    const std::string in(bytes.begin(), bytes.end());
    if (written != in) {
        const auto diff = std::mismatch(written.begin(), written.end(), in.begin(), in.end());
        out << "writes back differently from byte offset " << (diff.second - in.begin()) << "\n";
        return false;
    }
    out << "writes back identically";
    const std::vector<BlockName> opaque = f.OpaqueBlocks();
    if (!opaque.empty()) {
        std::vector<uint32_t> indices;
        for (const BlockName& b : opaque) indices.push_back(b.index);
        out << "; kept as raw bytes: " << SummarizeBlocks(f, indices);
    }
    for (const std::string& w : f.Warnings()) out << "; warning: " << w;
    out << "\n";
    return true;
}

}  // namespace

int RunCheck(const std::vector<std::string>& paths, std::ostream& out) {
    bool allGood = true;
    for (const std::string& path : paths) allGood = CheckOne(path, out) && allGood;
    return allGood ? 0 : 1;
}
