#include <algorithm>
#include <cstring>
#include <functional>

#include "Commands.h"
#include "FileIO.h"
#include "FormSwitch.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace {

// Takes the written file piece by piece and compares it with the file on disk, read alongside
// in pieces: neither is held whole. Stops at the first difference.
class CompareWithFile {
  public:
    explicit CompareWithFile(InputFile& file) : file_(file) {}
    bool operator()(const char* data, size_t n) {
        while (n > 0) {
            if (held_ == 0) {
                const size_t want = std::min(kPiece, file_.Size() - read_);
                if (want == 0 || !file_.Read(buffer_.data(), want, error_)) {
                    // The written file is longer, or the file could not be read further.
                    differsAt_ = read_;
                    return false;
                }
                read_ += want;
                held_ = want;
                at_ = 0;
            }
            const size_t k = std::min(n, held_);
            const uint8_t* ours = buffer_.data() + at_;
            if (std::memcmp(data, ours, k) != 0) {
                const auto diff =
                    std::mismatch(ours, ours + k, reinterpret_cast<const uint8_t*>(data));
                differsAt_ = compared_ + static_cast<uint64_t>(diff.first - ours);
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
    // Where the written bytes first differ from the file's, or -1.
    int64_t DiffersAt() const { return differsAt_; }
    uint64_t Compared() const { return compared_; }
    const std::string& Error() const { return error_; }

  private:
    static constexpr size_t kPiece = size_t{256} << 10;
    InputFile& file_;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kPiece);
    size_t read_ = 0;  // bytes read from the file
    size_t at_ = 0;    // the next byte to compare in the buffer
    size_t held_ = 0;  // bytes of the buffer not compared yet
    uint64_t compared_ = 0;
    int64_t differsAt_ = -1;
    std::string error_;
};

// One line about one file; true when it loads, is consistent and writes back identically.
// Neither the file nor what is written is held whole beside the loaded blocks.
bool CheckOne(const std::string& path, std::ostream& out) {
    NifFile f;
    if (f.Load(path) != rc::kOk) {
        out << path << ": error: " << f.LastError() << "\n";
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
    InputFile file;
    std::string error;
    if (file.Open(path, error) != rc::kOk) {
        out << "cannot read it again: " << error << "\n";
        return false;
    }
    CompareWithFile compare(file);
    const int written = f.SaveInPieces(std::ref(compare));
    if (written == rc::kInconsistent) {
        out << "not writable: " << f.LastError() << "\n";
        return false;
    }
    if (compare.DiffersAt() < 0 && compare.Compared() + f.TrailingBytes() != file.Size()) {
        // The file changed since it was loaded.
        out << "writes back differently from byte offset " << compare.Compared() << "\n";
        return false;
    }
    if (compare.DiffersAt() >= 0) {
        out << "writes back differently from byte offset " << compare.DiffersAt();
        if (!compare.Error().empty()) out << " (" << compare.Error() << ")";
        out << "\n";
        return false;
    }
    if (f.TrailingBytes() != 0) {
        out << "writes back differently: the " << f.TrailingBytes()
            << " bytes after the footer, at byte offset " << compare.Compared()
            << ", are not kept\n";
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
