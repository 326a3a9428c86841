#include <algorithm>
#include <cstring>
#include <functional>

#include <sstream>

#include "Batch.h"
#include "Commands.h"
#include "FileIO.h"
#include "FormSwitch.h"
#include "JsonText.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

// Reads the next `n` bytes of what was loaded into `to`; false (with a reason) when it cannot.
using Source = std::function<bool(uint8_t* to, size_t n, std::string& error)>;

// Takes the written file piece by piece and compares it with the loaded bytes, read alongside
// in pieces: neither is held whole. Stops at the first difference.
class CompareWithSource {
  public:
    CompareWithSource(const Source& read, uint64_t size) : read_(read), size_(size) {}
    bool operator()(const char* data, size_t n) {
        while (n > 0) {
            if (held_ == 0) {
                const size_t want = static_cast<size_t>(std::min<uint64_t>(kPiece, size_ - done_));
                if (want == 0 || !read_(buffer_.data(), want, error_)) {
                    // The written file is longer, or the source could not be read further.
                    differsAt_ = static_cast<int64_t>(done_);
                    return false;
                }
                done_ += want;
                held_ = want;
                at_ = 0;
            }
            const size_t k = std::min(n, held_);
            const uint8_t* ours = buffer_.data() + at_;
            if (std::memcmp(data, ours, k) != 0) {
                const auto diff =
                    std::mismatch(ours, ours + k, reinterpret_cast<const uint8_t*>(data));
                differsAt_ = static_cast<int64_t>(compared_) + (diff.first - ours);
                return false;
            }
            data += k;
            n -= k;
            at_ += k;
            held_ -= k;
            compared_ += k;
        }
        return true;
    }
    // Where the written bytes first differ from the source's, or -1.
    int64_t DiffersAt() const { return differsAt_; }
    uint64_t Compared() const { return compared_; }
    const std::string& Error() const { return error_; }

  private:
    static constexpr size_t kPiece = size_t{256} << 10;
    const Source& read_;
    uint64_t size_;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kPiece);
    uint64_t done_ = 0;  // bytes read from the source
    size_t at_ = 0;      // the next byte to compare in the buffer
    size_t held_ = 0;    // bytes of the buffer not compared yet
    uint64_t compared_ = 0;
    int64_t differsAt_ = -1;
    std::string error_;
};

// The file's report after loading: consistent, and how it writes back, compared with the
// `size` bytes it was loaded from, which `read` gives again from the start.
bool Report(const std::string& label, NifFile& f, std::ostream& out, const Source& read,
            uint64_t size) {
    std::vector<std::string> shapes;
    out << label << ": ok, " << f.blocks.size() << " blocks, " << f.GetShapeNames(shapes)
        << " shapes, ";
    const std::string problem = f.CheckConsistency();
    if (!problem.empty()) {
        out << "inconsistent: " << problem << "\n";
        return false;
    }
    CompareWithSource compare(read, size);
    if (f.SaveInPieces(std::ref(compare)) == rc::kInconsistent) {
        out << "not writable: " << f.LastError() << "\n";
        return false;
    }
    const int64_t differsAt = compare.DiffersAt();
    const uint64_t compared = compare.Compared();
    const std::string& error = compare.Error();
    if (differsAt < 0 && compared + f.TrailingBytes() != size) {
        // The file changed since it was loaded.
        out << "writes back differently from byte offset " << compared << "\n";
        return false;
    }
    if (differsAt >= 0) {
        out << "writes back differently from byte offset " << differsAt;
        if (!error.empty()) out << " (" << error << ")";
        out << "\n";
        return false;
    }
    if (f.TrailingBytes() != 0) {
        out << "writes back differently: the " << f.TrailingBytes()
            << " bytes after the footer, at byte offset " << compared << ", are not kept\n";
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

// One line about one file; true when it loads, is consistent and writes back identically. What
// is written is compared piece by piece as it is written: a file on disk is read again
// alongside, an archive entry is compared with its bytes in memory.
bool CheckOne(const Batch& batch, const BatchItem& item, std::ostream& out) {
    NifFile f;
    std::string error;
    if (item.archive) {
        std::vector<uint8_t> bytes;
        if (batch.ReadBytes(item, bytes, error) != rc::kOk || f.LoadFromMemory(bytes) != rc::kOk) {
            out << item.label << ": error: " << (error.empty() ? f.LastError() : error) << "\n";
            return false;
        }
        size_t at = 0;
        const Source read = [&](uint8_t* to, size_t n, std::string&) {
            std::memcpy(to, bytes.data() + at, n);
            at += n;
            return true;
        };
        return Report(item.label, f, out, read, bytes.size());
    }
    if (batch.Load(item, f, error) != rc::kOk) {
        out << item.label << ": error: " << error << "\n";
        return false;
    }
    InputFile file;
    if (file.Open(item.path, error) != rc::kOk) {
        out << item.label << ": cannot read it again: " << error << "\n";
        return false;
    }
    const Source read = [&](uint8_t* to, size_t n, std::string& readError) {
        return file.Read(to, n, readError);
    };
    return Report(item.label, f, out, read, file.Size());
}

}  // namespace

int RunCheck(const BatchOptions& options, std::ostream& out, std::ostream& err) {
    Batch batch(ReadingOnly(options));
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
