#include "Commands.h"
#include "FileIO.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "RoundTrip.h"

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
    RoundTripReport report = CompareRoundTrip(bytes, written);
    if (report.identical) {
        out << "writes back identically\n";
    } else if (report.identicalAfterRewrites) {
        out << "writes back identically after rewrites (";
        for (size_t i = 0; i < report.rewrites.size(); ++i) {
            out << (i ? ", " : "") << report.rewrites[i];
        }
        out << ")\n";
    } else {
        out << "writes back differently from byte offset " << report.firstDifference << "\n";
        return false;
    }
    return true;
}

}  // namespace

int RunCheck(const std::vector<std::string>& paths, std::ostream& out) {
    bool allGood = true;
    for (const std::string& path : paths) allGood = CheckOne(path, out) && allGood;
    return allGood ? 0 : 1;
}
