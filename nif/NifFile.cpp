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

int NifFile::Load(const std::string& path) {
    Clear();
    error_.clear();
    std::vector<uint8_t> bytes;
    int result = ReadWholeFile(path, bytes, error_);
    if (result != rc::kOk) return Fail(result, error_);
    return LoadFromMemory(bytes);
}

namespace {

// The block a body is read into: a described one when the type is listed, concrete and
// exists in the file's form; raw bytes otherwise.
std::unique_ptr<NiObject> BlockFor(const std::string& typeName, uint8_t form) {
    const TypeId type = TypeByName(typeName);
    if (form != 0 && type != TypeId::kUnlisted && (InfoOf(type).forms & form) != 0) {
        if (auto block = CreateBlock(type)) return block;
    }
    return std::make_unique<OpaqueBlock>();
}

}  // namespace

int NifFile::LoadFromMemory(const std::vector<uint8_t>& bytes) {
    Clear();
    error_.clear();
    NifReader in(bytes.data(), bytes.size());
    header.Get(in);
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

    const std::string form = DescribeForm(header.userVersion, header.userVersion2);
    const uint8_t formBits = Form();
    uint32_t badStrings = 0;
    blocks.reserve(header.numBlocks);
    for (uint32_t i = 0; i < header.numBlocks; ++i) {
        const std::string& type = header.TypeNameOf(i);
        const uint32_t size = header.blockSizes[i];
        const std::string where = "block " + std::to_string(i) + " (" + type + ") of a " + form;
        if (size > in.Remaining()) {
            return Fail(rc::kMalformed, where + " file at byte offset " +
                                            std::to_string(in.Offset()) + ": its size " +
                                            std::to_string(size) + " is larger than the " +
                                            std::to_string(in.Remaining()) + " bytes left");
        }
        NifReader body = in.Sub(size);
        std::unique_ptr<NiObject> block = BlockFor(type, formBits);
        ReadBody(*block, body, formBits, header.strings.size(), &badStrings);
        if (body.Failed()) return Fail(rc::kMalformed, where + " file: " + body.Error());
        if (body.Remaining() != 0) {
            return Fail(rc::kMalformed, where + " file: the body ends at byte offset " +
                                            std::to_string(body.Offset()) + ", " +
                                            std::to_string(body.Remaining()) +
                                            " bytes before its recorded size of " +
                                            std::to_string(size));
        }
        blocks.push_back(std::move(block));
    }

    // The footer: the roots of the scene.
    const size_t footerAt = in.Offset();
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

int NifFile::SaveToMemory(std::string& bytes) const {
    bytes.clear();
    std::string problem = CheckTables();
    if (problem.empty()) problem = CheckReferences();
    if (!problem.empty()) {
        error_ = "refusing to write an inconsistent file: " + problem;
        return rc::kInconsistent;
    }
    const uint8_t form = Form();
    NifWriter file;
    uint64_t expected = 0;
    for (uint32_t size : header.blockSizes) expected += size;
    file.Reserve(static_cast<size_t>(std::min<uint64_t>(expected, uint64_t{1} << 31)) + 4096);
    header.Put(file);
    // The size table sits before the string table and the group count; it is filled in from
    // what each body writes.
    size_t tail = 4 + 4 + 4;
    for (const std::string& s : header.strings) tail += 4 + s.size();
    const size_t sizesAt = file.Size() - tail - 4 * blocks.size();
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t start = file.Size();
        const std::string p = WriteBody(*blocks[i], file, form);
        if (!p.empty()) {
            error_ = "refusing to write an inconsistent file: block " + std::to_string(i) + " (" +
                     TypeNameOf(static_cast<uint32_t>(i)) + "): " + p;
            return rc::kInconsistent;
        }
        const auto size = static_cast<uint32_t>(file.Size() - start);
        std::memcpy(file.Buffer().data() + sizesAt + 4 * i, &size, 4);
    }
    file.U32(static_cast<uint32_t>(roots.size()));
    for (BlockRef r : roots) file.I32(r);
    bytes = std::move(file.Buffer());
    return rc::kOk;
}

int NifFile::Save(const std::string& path, const OutputOpener& opener) const {
    std::string bytes;
    int result = SaveToMemory(bytes);
    if (result != rc::kOk) return result;
    return WriteFileAtomically(path, bytes, error_, opener);
}

bool IsDescribed(const NiObject& block) {
    class RestFinder : public InspectVisitor {
      public:
        RestFinder() : InspectVisitor(kFormsAll) {}
        void Rest(std::vector<uint8_t>&) override { found = true; }
        bool found = false;
    } finder;
    const_cast<NiObject&>(block).Fields(finder);
    return !finder.found;
}
