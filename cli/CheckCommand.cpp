#include <algorithm>

#include <sstream>

#include "Batch.h"
#include "Commands.h"
#include "FileIO.h"
#include "FormSwitch.h"
#include "JsonText.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

// One line about one file; true when it loads, is consistent and writes back identically.
bool CheckOne(const Batch& batch, const BatchItem& item, std::ostream& out) {
    const std::string& path = item.label;
    std::vector<uint8_t> bytes;
    std::string error;
    NifFile f;
    if (batch.ReadBytes(item, bytes, error) != rc::kOk || f.LoadFromMemory(bytes) != rc::kOk) {
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

int RunCheck(const BatchOptions& options, std::ostream& out, std::ostream& err) {
    Batch batch(options);
    if (const std::string problem = batch.PlanOutputs(OutputKind::kNone); !problem.empty()) {
        err << "error: " << problem << "\n";
        return 2;
    }
    return batch.Run(
        [&](const BatchItem& item) {
            std::ostringstream line;
            BatchResult r;
            if (!CheckOne(batch, item, line)) r.status = BatchResult::Status::kFailed;
            r.text = line.str();
            r.json = {{"file", ToJsonText(item.label)},
                      {"ok", r.status == BatchResult::Status::kOk},
                      {"report", ToJsonText(r.text.substr(0, r.text.size() - 1))}};
            return r;
        },
        [](size_t ok, size_t, size_t failed) {
            return std::to_string(ok) + " write back identically, " + std::to_string(failed) +
                   " do not";
        },
        out, err);
}
