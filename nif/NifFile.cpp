#include "NifFile.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "ResultCodes.h"
#include "Visitors.h"

NifFile::NifFile(const NifFile& other)
    : header(other.header),
      roots(other.roots),
      error_(other.error_),
      warnings_(other.warnings_),
      trailing_(other.trailing_) {
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
    trailing_ = 0;
    header.Reset();
}

int NifFile::Fail(int code, const std::string& message) {
    Clear();
    error_ = message;
    return code;
}

// Where a file's bytes come from while loading: all of them in memory, or a file read piece
// by piece so that a large mesh is not held twice.
class ByteFeed : public NifReader::Source {
  public:
    // Up to n bytes from the current position (got: how many), not consumed.
    virtual const uint8_t* Peek(size_t n, size_t& got) = 0;
    // The same, and every further byte already at hand: got may exceed n.
    virtual const uint8_t* PeekHeld(size_t n, size_t& got) = 0;
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
    const uint8_t* PeekHeld(size_t, size_t& got) override {
        got = Remaining();
        return bytes_.data() + pos_;
    }
    // Every body is at hand: never asked.
    const uint8_t* From(size_t at, size_t n, size_t& got) override {
        got = std::min(n, bytes_.size() - std::min(at, bytes_.size()));
        return bytes_.data() + std::min(at, bytes_.size());
    }
    bool CopyFrom(size_t at, void* dst, size_t n) override {
        if (at > bytes_.size() || n > bytes_.size() - at) return false;
        if (n != 0) std::memcpy(dst, bytes_.data() + at, n);
        return true;
    }
    void Skip(size_t n) override { pos_ += std::min(n, Remaining()); }
    size_t Offset() const override { return pos_; }
    size_t Remaining() const override { return bytes_.size() - pos_; }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

// Reads a file of up to kWhole bytes in one piece; a larger one ahead in pieces of kAhead
// bytes, so that many small blocks cost few reads, holding at most one piece or the largest
// block: such a file with bytes after its footer is read at most kAhead bytes past it.
class FileFeed : public ByteFeed {
  public:
    static constexpr size_t kAhead = size_t{64} << 10;
    // Held whole, such a file costs one read where pieces took several.
    static constexpr size_t kWhole = size_t{1} << 20;

    explicit FileFeed(InputFile& file)
        : file_(file), ahead_(file.Size() <= kWhole ? file.Size() : kAhead) {}
    const uint8_t* Peek(size_t n, size_t& got) override {
        n = std::min(n, Remaining());
        const size_t held = end_ - start_;
        if (held < n) {
            const size_t want = std::min(std::max(n, ahead_), Remaining());
            if (want > capacity_) {
                // A block larger than any before: a buffer of its size.
                auto bigger = std::make_unique_for_overwrite<uint8_t[]>(want);
                if (held != 0) std::memcpy(bigger.get(), buffer_.get() + start_, held);
                buffer_ = std::move(bigger);
                capacity_ = want;
            } else if (start_ != 0) {
                if (held != 0) std::memmove(buffer_.get(), buffer_.get() + start_, held);
            }
            start_ = 0;
            end_ = held;
            if (!failed_) {
                if (file_.Read(buffer_.get() + held, want - held, error_)) {
                    end_ = want;
                } else {
                    failed_ = true;
                }
            }
        }
        got = std::min(n, end_ - start_);
        return buffer_.get() + start_;
    }
    const uint8_t* PeekHeld(size_t n, size_t& got) override {
        const uint8_t* data = Peek(n, got);
        got = end_ - start_;
        return data;
    }
    // n is at most what is held.
    void Skip(size_t n) override {
        start_ += std::min(n, end_ - start_);
        offset_ += n;
    }
    size_t Offset() const override { return offset_; }
    size_t Remaining() const override { return file_.Size() - offset_; }
    // A large body read as it goes, from what is held onwards.
    const uint8_t* From(size_t at, size_t n, size_t& got) override {
        Skip(at - offset_);
        return Peek(n, got);
    }
    bool CopyFrom(size_t at, void* dst, size_t n) override {
        Skip(at - offset_);
        const size_t k = std::min(n, end_ - start_);
        if (k != 0) std::memcpy(dst, buffer_.get() + start_, k);
        Skip(k);
        if (k == n) return true;
        if (failed_ || !file_.Read(static_cast<uint8_t*>(dst) + k, n - k, error_)) {
            failed_ = true;
            return false;
        }
        offset_ += n - k;
        return true;
    }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

  private:
    InputFile& file_;
    const size_t ahead_;  // how much a read asks for at least
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_ = 0;
    size_t start_ = 0, end_ = 0;  // the bytes held, from the current position on
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
    size_t got = 0;
    const uint8_t* data = feed.Peek(FileFeed::kAhead, got);
    // What is no NIF file of this version is refused before any of it is read as one.
    if (const std::string problem = NifBlockHeader::CheckStart(data, got); !problem.empty())
        return Fail(rc::kMalformed, problem);
    // The header's length shows only while it is read: a growing prefix is tried.
    NifReader in(nullptr, 0);
    for (size_t want = FileFeed::kAhead;; want *= 4) {
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

    // The form's name, for messages only.
    const auto form = [this] { return DescribeForm(header.userVersion, header.userVersion2); };
    const uint8_t formBits = Form();
    BodyReader reader(formBits, header.strings.size());
    // Each type name of the header is looked up once: a body is read into a described block
    // when its type is listed, concrete and exists in the file's form (kUnlisted otherwise),
    // and kept as raw bytes otherwise.
    std::vector<BlockReading> readings;
    for (TypeId type : ReadTypes()) readings.push_back(ReadingFor(type));
    blocks.reserve(header.numBlocks);
    // The bodies at hand are read in place, as many as the feed holds, before it is asked for
    // more.
    const uint8_t* held = nullptr;
    size_t heldSize = 0, used = 0;
    // The header's lists are read once here; the feed's offset is known between its moves.
    const uint32_t numBlocks = header.numBlocks;
    const uint32_t* sizes = header.blockSizes.data();
    const uint16_t* typeIndex = header.blockTypeIndex.data();
    size_t fed = feed.Offset();
    NifReader body(nullptr, 0);
    for (uint32_t i = 0; i < numBlocks; ++i) {
        // The bodies at hand that read cleanly go one after another; the rest of the loop takes
        // the next one, whatever it needs (more of the file, a body read as it goes, a message).
        i = reader.ReadHeld({held, heldSize, fed, sizes, typeIndex, readings.data(), numBlocks}, i,
                            used, blocks);
        if (i == numBlocks) break;
        const uint32_t size = sizes[i];
        // Built only for a message: a load of many small blocks makes no texts.
        auto where = [&] {
            return "block " + std::to_string(i) + " (" + header.TypeNameOf(i) + ") of a " + form();
        };
        if (size > heldSize - used) [[unlikely]] {
            feed.Skip(used);
            fed = feed.Offset();
            used = 0;
            if (size > feed.Remaining()) {
                return Fail(rc::kMalformed, where() + " file at byte offset " +
                                                std::to_string(fed) + ": its size " +
                                                std::to_string(size) + " is larger than the " +
                                                std::to_string(feed.Remaining()) + " bytes left");
            }
            // A body larger than a piece of the file is read as it goes rather than held.
            held = feed.PeekHeld(std::min(size_t{size}, FileFeed::kAhead), heldSize);
        }
        const size_t at = fed + used;
        const bool inPlace = size <= heldSize - used;
        body.Reopen(held + used, std::min<size_t>(size, heldSize - used), at, &feed, at + size);
        std::unique_ptr<NiObject> block = reader.ReadNew(readings[typeIndex[i]], body);
        if (inPlace) [[likely]] {
            used += size;
        } else {
            // The feed moved on with the body: what it holds starts afresh after it.
            used = 0;
            heldSize = 0;
            if (!body.Failed() && body.Remaining() == 0) feed.Skip(at + size - feed.Offset());
            fed = feed.Offset();
        }
        if (body.Failed()) [[unlikely]]
            return Fail(rc::kMalformed, where() + " file: " + body.Error());
        if (body.Remaining() != 0) [[unlikely]] {
            return Fail(rc::kMalformed, where() + " file: the body ends at byte offset " +
                                            std::to_string(body.Offset()) + ", " +
                                            std::to_string(body.Remaining()) +
                                            " bytes before its recorded size of " +
                                            std::to_string(size));
        }
        blocks.push_back(std::move(block));
    }
    feed.Skip(used);

    // The footer: the roots of the scene. What follows it is counted from the file's size,
    // not read.
    const size_t footerAt = feed.Offset();
    data = feed.Peek(4, got);
    in = NifReader(data, got, footerAt);
    const uint32_t numRoots = in.U32();
    if (!in.Failed() && numRoots > std::max<size_t>(blocks.size(), 1)) {
        return Fail(rc::kMalformed, "footer of a " + form() + " file at byte offset " +
                                        std::to_string(footerAt) + " lists " +
                                        std::to_string(numRoots) + " roots, more than the " +
                                        std::to_string(blocks.size()) + " blocks of the file");
    }
    if (!in.Failed()) {
        data = feed.Peek(4 + size_t{4} * numRoots, got);
        in = NifReader(data, got, footerAt);
        (void)in.U32();
        const uint32_t n = in.Count(numRoots, 4, "root");
        roots.resize(n);
        in.Bytes(roots.data(), size_t{4} * n);
    }
    if (in.Failed()) {
        return Fail(rc::kMalformed, "footer of a " + form() + " file at byte offset " +
                                        std::to_string(footerAt) + ": the file ends early (" +
                                        in.Error() + ")");
    }
    for (BlockRef r : roots) {
        if (r < -1 || (r >= 0 && static_cast<size_t>(r) >= blocks.size())) {
            return Fail(rc::kMalformed, "footer of a " + form() + " file names block " +
                                            std::to_string(r) + " as a root, but the file holds " +
                                            std::to_string(blocks.size()) + " blocks");
        }
    }
    trailing_ = feed.Remaining() - in.Position();
    if (trailing_ != 0) {
        warnings_.push_back(std::to_string(trailing_) + " bytes after the footer, at byte offset " +
                            std::to_string(footerAt + in.Position()) +
                            ", are not kept: saving writes the file without them");
    }
    if (const uint32_t badStrings = reader.BadStrings(); badStrings != 0) {
        warnings_.push_back(std::to_string(badStrings) +
                            " string references point past the end of the string table of " +
                            std::to_string(header.strings.size()) +
                            " entries; they read as empty names and are kept");
    }
    return rc::kOk;
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
    NifWriter file;
    const int result = WriteOnePass(file, StoredBodyBytes());
    if (result == rc::kOk) bytes.assign(file.Data(), file.Size());
    return result;
}

std::vector<TypeId> NifFile::ReadTypes() const {
    const uint8_t form = Form();
    std::vector<TypeId> types;
    types.reserve(header.blockTypes.size());
    for (const std::string& name : header.blockTypes) {
        const TypeId type = TypeByName(name);
        types.push_back(form != 0 && type != TypeId::kUnlisted &&
                                (InfoOf(type).forms & form) != 0 && !InfoOf(type).abstract
                            ? type
                            : TypeId::kUnlisted);
    }
    return types;
}

bool NifFile::HeaderTypes(std::vector<TypeId>& types) const {
    if (!CountProblem().empty()) return false;
    const std::vector<TypeId> named = ReadTypes();
    types.resize(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (header.blockTypeIndex[i] >= named.size()) return false;
        types[i] = named[header.blockTypeIndex[i]];
    }
    return true;
}

std::string NifFile::WriteAll(NifWriter& file, uint64_t bodyBytes, const std::vector<TypeId>& types,
                              bool* differs) const {
    const uint8_t form = Form();
    RefCheck check(types);
    // The size table sits before the string table and the group count; it is filled in from
    // what each body writes.
    size_t tail = 4 + 4 + 4;
    for (const std::string& s : header.strings) tail += 4 + s.size();
    // Room for the whole file at once: the header's lists and texts, the bodies, the footer.
    size_t headerBytes = 4096 + tail + 6 * blocks.size();
    for (const std::string& s : header.blockTypes) headerBytes += 4 + s.size();
    file.Reserve(file.Size() + headerBytes +
                 static_cast<size_t>(std::min<uint64_t>(bodyBytes, uint64_t{1} << 31)) +
                 4 * roots.size());
    header.Put(file);
    const size_t sizesAt = file.Size() - tail - 4 * blocks.size();
    {
        BodyWriter bodies(file, form, &check);
        std::string p;
        const size_t stop =
            bodies.WriteBlocks(blocks, differs ? types.data() : nullptr, sizesAt, p);
        if (stop < blocks.size()) {
            if (!p.empty()) return BodyProblem(stop, p);
            if (check.bad) return RefProblem(stop, check);
            // Only a block of another type than the header names is left.
            if (differs) *differs = true;
            return {};
        }
    }
    if (std::string problem = CheckRoots(); !problem.empty()) return problem;
    file.U32(static_cast<uint32_t>(roots.size()));
    file.Bytes(roots.data(), 4 * roots.size());
    return {};
}

int NifFile::WriteOnePass(NifWriter& file, uint64_t bodyBytes) const {
    // Most files are saved with every block of the type loading gave it. The references are
    // then checked against the types the header names, and each block is compared with its
    // type as it is written, instead of visiting every block once more beforehand. A block of
    // another type, or anything wrong, sends the file through the full check first, so the
    // outcome and its message are the same either way.
    std::vector<TypeId> types;
    if (HeaderTypes(types)) {
        bool differs = false;
        if (WriteAll(file, bodyBytes, types, &differs).empty() && !differs) return rc::kOk;
        file.Clear();
    }
    if (const std::string problem = CheckTables(types); !problem.empty())
        return RefuseInconsistent(problem);
    if (const std::string problem = WriteAll(file, bodyBytes, types, nullptr); !problem.empty())
        return RefuseInconsistent(problem);
    return rc::kOk;
}

int NifFile::CountBodies(std::vector<uint32_t>& sizes) const {
    std::vector<TypeId> types;
    if (const std::string problem = CheckTables(types); !problem.empty())
        return RefuseInconsistent(problem);
    const uint8_t form = Form();
    RefCheck check(types);
    sizes.resize(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        std::string p;
        sizes[i] = static_cast<uint32_t>(BodySize(*blocks[i], form, &p, &check));
        if (!p.empty()) return RefuseInconsistent(BodyProblem(i, p));
        if (check.bad) return RefuseInconsistent(RefProblem(i, check));
    }
    if (const std::string problem = CheckRoots(); !problem.empty())
        return RefuseInconsistent(problem);
    return rc::kOk;
}

bool NifFile::WritePieces(const std::vector<uint32_t>& sizes, const PieceSink& sink) const {
    NifWriter piece;
    piece.Reserve(kPiece);
    // Whenever the piece is full it goes to the sink, inside a body or between bodies.
    piece.SetDrain(sink);
    header.Put(piece, &sizes);
    {
        BodyWriter bodies(piece, Form(), nullptr);
        std::string problem;
        for (const auto& block : blocks) (void)bodies.Write(*block, problem);
    }
    piece.U32(static_cast<uint32_t>(roots.size()));
    piece.Bytes(roots.data(), 4 * roots.size());
    return piece.Flush();
}

int NifFile::SaveInPieces(const PieceSink& sink) const {
    std::vector<uint32_t> sizes;
    if (const int counted = CountBodies(sizes); counted != rc::kOk) return counted;
    if (!WritePieces(sizes, sink)) {
        error_ = "writing stopped before the end of the file";
        return rc::kWriteFailed;
    }
    return rc::kOk;
}

int NifFile::Save(const std::string& path, const OutputOpener& opener) const {
    // A small file is written in one pass into memory and out in one piece; a larger one is
    // counted first and then written piece by piece, so it is not held twice. The sizes the
    // header holds tell which, unless blocks were added since (their sizes are still 0): then
    // the bodies are counted to know.
    std::vector<uint32_t> sizes;
    uint64_t total = StoredBodyBytes();
    bool onePass = total < kOnePass && std::find(header.blockSizes.begin(), header.blockSizes.end(),
                                                 0u) == header.blockSizes.end();
    if (!onePass) {
        if (const int counted = CountBodies(sizes); counted != rc::kOk) return counted;
        total = 0;
        for (uint32_t size : sizes) total += size;
        onePass = total < kOnePass;
    }
    if (onePass) {
        NifWriter file;
        const int result = WriteOnePass(file, total);
        if (result != rc::kOk) return result;
        return WriteFileAtomically(
            path, [&](OutputFile& out) { return out.Write(file.Data(), file.Size()); }, error_,
            opener);
    }
    return WriteFileAtomically(
        path,
        [&](OutputFile& file) {
            return WritePieces(
                sizes, [&](const char* data, size_t size) { return file.Write(data, size); });
        },
        error_, opener);
}
