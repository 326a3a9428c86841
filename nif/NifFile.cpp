#include "NifFile.h"

#include <algorithm>
#include <cstring>

#include "ResultCodes.h"
#include "Visitors.h"

NifFile::NifFile(const NifFile& other)
    : header(other.header), roots(other.roots), error_(other.error_), warnings_(other.warnings_) {
    blocks.reserve(other.blocks.size());
    for (const auto& b : other.blocks) blocks.push_back(b->Clone());
}

NifFile& NifFile::operator=(const NifFile& other) {
    if (this != &other) {
        NifFile copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void NifFile::Clear() {
    blocks.clear();
    roots.clear();
    warnings_.clear();
    header.Reset();
}

int NifFile::Fail(int code, const std::string& message) {
    Clear();
    error_ = message;
    return code;
}

namespace {

// The block a body is read into: a described one when the type is listed, concrete and
// exists in the file's form; raw bytes otherwise.
std::unique_ptr<NiObject> BlockFor(TypeId type, uint8_t form) {
    if (form != 0 && type != TypeId::kUnlisted && (InfoOf(type).forms & form) != 0) {
        if (auto block = CreateBlock(type)) return block;
    }
    return std::make_unique<OpaqueBlock>();
}

}  // namespace

// Where a file's bytes come from while loading: all of them in memory, or a file read piece
// by piece so that a large mesh is not held twice.
class ByteFeed {
  public:
    virtual ~ByteFeed() = default;
    // Up to n bytes from the current position (got: how many), not consumed.
    virtual const uint8_t* Peek(size_t n, size_t& got) = 0;
    virtual void Skip(size_t n) = 0;
    virtual size_t Offset() const = 0;
    virtual size_t Remaining() const = 0;
};

class MemoryFeed : public ByteFeed {
  public:
    explicit MemoryFeed(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    const uint8_t* Peek(size_t n, size_t& got) override {
        got = std::min(n, Remaining());
        return bytes_.data() + pos_;
    }
    void Skip(size_t n) override { pos_ += std::min(n, Remaining()); }
    size_t Offset() const override { return pos_; }
    size_t Remaining() const override { return bytes_.size() - pos_; }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

class FileFeed : public ByteFeed {
  public:
    explicit FileFeed(InputFile& file) : file_(file) {}
    const uint8_t* Peek(size_t n, size_t& got) override {
        n = std::min(n, Remaining());
        const size_t held = buffer_.size() - start_;
        if (held < n) {
            // The bytes held move to the front and the file fills the rest.
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
            start_ = 0;
            buffer_.resize(n);
            if (!failed_ && !file_.Read(buffer_.data() + held, n - held, error_)) {
                failed_ = true;
                buffer_.resize(held);
            }
        }
        got = std::min(n, buffer_.size() - start_);
        return buffer_.data() + start_;
    }
    void Skip(size_t n) override {
        const size_t held = buffer_.size() - start_;
        start_ += std::min(n, held);
        offset_ += n;
        if (start_ == buffer_.size()) {
            buffer_.clear();
            start_ = 0;
        }
    }
    size_t Offset() const override { return offset_; }
    size_t Remaining() const override { return file_.Size() - offset_; }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

  private:
    InputFile& file_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    size_t offset_ = 0;
    bool failed_ = false;
    std::string error_;
};

int NifFile::Load(const std::string& path) {
    Clear();
    error_.clear();
    InputFile file;
    std::string error;
    const int opened = file.Open(path, error);
    if (opened != rc::kOk) return Fail(opened, error);
    FileFeed feed(file);
    const int result = LoadFrom(feed);
    // A read error explains what looked like a file ending early.
    if (feed.Failed()) return Fail(rc::kCannotOpen, feed.Error());
    return result;
}

int NifFile::LoadFromMemory(const std::vector<uint8_t>& bytes) {
    MemoryFeed feed(bytes);
    return LoadFrom(feed);
}

int NifFile::LoadFrom(ByteFeed& feed) {
    Clear();
    error_.clear();
    // The header's length shows only while it is read: a growing prefix is tried.
    size_t got = 0;
    const uint8_t* data = nullptr;
    NifReader in(nullptr, 0);
    for (size_t want = size_t{1} << 16;; want *= 4) {
        header.Reset();
        data = feed.Peek(want, got);
        in = NifReader(data, got);
        header.Get(in);
        if (!in.Failed() || got < want) break;
    }
    if (in.Failed()) {
        // Past the user versions, the error names the form the file claims.
        const bool versionsRead = in.Position() > 56;
        return Fail(
            rc::kMalformed,
            "header" +
                (versionsRead
                     ? " of a " + DescribeForm(header.userVersion, header.userVersion2) + " file"
                     : std::string()) +
                " " + in.Error());
    }

    feed.Skip(in.Position());

    const std::string form = DescribeForm(header.userVersion, header.userVersion2);
    const uint8_t formBits = Form();
    uint32_t badStrings = 0;
    // Each type name of the header is looked up once.
    std::vector<TypeId> listed;
    for (const std::string& name : header.blockTypes) listed.push_back(TypeByName(name));
    blocks.reserve(header.numBlocks);
    for (uint32_t i = 0; i < header.numBlocks; ++i) {
        const std::string& type = header.TypeNameOf(i);
        const uint32_t size = header.blockSizes[i];
        // Built only for a message: a load of many small blocks makes no texts.
        auto where = [&] { return "block " + std::to_string(i) + " (" + type + ") of a " + form; };
        if (size > feed.Remaining()) {
            return Fail(rc::kMalformed, where() + " file at byte offset " +
                                            std::to_string(feed.Offset()) + ": its size " +
                                            std::to_string(size) + " is larger than the " +
                                            std::to_string(feed.Remaining()) + " bytes left");
        }
        data = feed.Peek(size, got);
        NifReader body(data, got, feed.Offset());
        const uint16_t t = header.blockTypeIndex[i];
        std::unique_ptr<NiObject> block =
            BlockFor(t < listed.size() ? listed[t] : TypeId::kUnlisted, formBits);
        ReadBody(*block, body, formBits, header.strings.size(), &badStrings);
        if (body.Failed()) return Fail(rc::kMalformed, where() + " file: " + body.Error());
        if (body.Remaining() != 0) {
            return Fail(rc::kMalformed, where() + " file: the body ends at byte offset " +
                                            std::to_string(body.Offset()) + ", " +
                                            std::to_string(body.Remaining()) +
                                            " bytes before its recorded size of " +
                                            std::to_string(size));
        }
        blocks.push_back(std::move(block));
        feed.Skip(size);
    }

    // The footer: the roots of the scene (and whatever follows it, which is refused).
    const size_t footerAt = feed.Offset();
    data = feed.Peek(feed.Remaining(), got);
    in = NifReader(data, got, footerAt);
    const uint32_t numRoots = in.Count(in.U32(), 4, "root");
    roots.resize(numRoots);
    in.Bytes(roots.data(), numRoots * 4);
    if (in.Failed()) {
        return Fail(rc::kMalformed, "footer of a " + form + " file at byte offset " +
                                        std::to_string(footerAt) + ": the file ends early (" +
                                        in.Error() + ")");
    }
    for (BlockRef r : roots) {
        if (r < -1 || (r >= 0 && static_cast<size_t>(r) >= blocks.size())) {
            return Fail(rc::kMalformed, "footer of a " + form + " file names block " +
                                            std::to_string(r) + " as a root, but the file holds " +
                                            std::to_string(blocks.size()) + " blocks");
        }
    }
    if (in.Remaining() != 0) {
        return Fail(rc::kMalformed, "a " + form + " file has " + std::to_string(in.Remaining()) +
                                        " bytes after its footer, at byte offset " +
                                        std::to_string(in.Offset()));
    }
    if (badStrings != 0) {
        warnings_.push_back(std::to_string(badStrings) +
                            " string references point past the end of the string table of " +
                            std::to_string(header.strings.size()) +
                            " entries; they read as empty names and are kept");
    }
    return rc::kOk;
}

std::string NifFile::CheckBeforeWriting() const {
    std::string problem = CheckTables();
    if (problem.empty()) problem = CheckReferences();
    return problem;
}

uint64_t NifFile::StoredBodyBytes() const {
    uint64_t total = 0;
    for (uint32_t size : header.blockSizes) total += size;
    return total;
}

int NifFile::RefuseInconsistent(const std::string& problem) const {
    error_ = "refusing to write an inconsistent file: " + problem;
    return rc::kInconsistent;
}

std::string NifFile::BodyProblem(size_t block, const std::string& problem) const {
    return "block " + std::to_string(block) + " (" + TypeNameOf(static_cast<uint32_t>(block)) +
           "): " + problem;
}

int NifFile::SaveToMemory(std::string& bytes) const {
    bytes.clear();
    if (const std::string problem = CheckBeforeWriting(); !problem.empty())
        return RefuseInconsistent(problem);
    const uint8_t form = Form();
    NifWriter file;
    file.Reserve(static_cast<size_t>(std::min<uint64_t>(StoredBodyBytes(), uint64_t{1} << 31)) +
                 4096);
    header.Put(file);
    // The size table sits before the string table and the group count; it is filled in from
    // what each body writes.
    size_t tail = 4 + 4 + 4;
    for (const std::string& s : header.strings) tail += 4 + s.size();
    const size_t sizesAt = file.Size() - tail - 4 * blocks.size();
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t start = file.Size();
        const std::string p = WriteBody(*blocks[i], file, form);
        if (!p.empty()) return RefuseInconsistent(BodyProblem(i, p));
        const auto size = static_cast<uint32_t>(file.Size() - start);
        std::memcpy(file.Buffer().data() + sizesAt + 4 * i, &size, 4);
    }
    file.U32(static_cast<uint32_t>(roots.size()));
    for (BlockRef r : roots) file.I32(r);
    bytes = std::move(file.Buffer());
    return rc::kOk;
}

int NifFile::Save(const std::string& path, const OutputOpener& opener) const {
    // A file of a few megabytes is written in one pass into memory; a larger one is counted
    // first and then written piece by piece, so it is not held twice.
    if (StoredBodyBytes() < (uint64_t{16} << 20)) {
        std::string bytes;
        const int result = SaveToMemory(bytes);
        if (result != rc::kOk) return result;
        return WriteFileAtomically(path, bytes, error_, opener);
    }
    if (const std::string problem = CheckBeforeWriting(); !problem.empty())
        return RefuseInconsistent(problem);
    const uint8_t form = Form();
    // The size table first, counted from what each body writes; then the file goes out piece
    // by piece, so no second copy of a large mesh is held.
    NifBlockHeader out = header;
    for (size_t i = 0; i < blocks.size(); ++i) {
        std::string p;
        out.blockSizes[i] = static_cast<uint32_t>(BodySize(*blocks[i], form, &p));
        if (!p.empty()) return RefuseInconsistent(BodyProblem(i, p));
    }
    constexpr size_t kPiece = size_t{4} << 20;
    return WriteFileAtomically(
        path,
        [&](OutputFile& file) {
            NifWriter piece;
            piece.Reserve(kPiece + 4096);
            out.Put(piece);
            for (const auto& block : blocks) {
                (void)WriteBody(*block, piece, form);
                if (piece.Size() >= kPiece) {
                    if (!file.Write(piece.Buffer().data(), piece.Size())) return false;
                    piece.Buffer().clear();
                }
            }
            piece.U32(static_cast<uint32_t>(roots.size()));
            for (BlockRef r : roots) piece.I32(r);
            return file.Write(piece.Buffer().data(), piece.Size());
        },
        error_, opener);
}
