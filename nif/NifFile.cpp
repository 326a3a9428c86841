#include "NifFile.h"

#include "BlockFactory.h"
#include "NifBlockTriShape.h"
#include "ResultCodes.h"

NifFile::NifFile(const NifFile& other) : header(other.header), error_(other.error_) {
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

int NifFile::LoadFromMemory(const std::vector<uint8_t>& bytes) {
    Clear();
    error_.clear();
    NifReader in(bytes.data(), bytes.size());
    header.Get(in, header);
    if (in.Failed()) {
        // Past the user versions, the error names the form the file claims.
        const bool versionsRead = in.Position() > 56;
        return Fail(rc::kMalformed,
                    "header" +
                        (versionsRead ? " of a " + DescribeForm(header.userVersion, header.userVersion2) + " file"
                                      : std::string()) +
                        " " + in.Error());
    }

    const std::string form = DescribeForm(header.userVersion, header.userVersion2);
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
        std::unique_ptr<NifBlock> block = CreateBlock(type, size);
        block->Get(body, header);
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
    return rc::kOk;
}

int NifFile::SaveToMemory(std::string& bytes) const {
    bytes.clear();
    std::string problem = CheckTables();
    if (problem.empty()) problem = CheckReferences();
    NifWriter out;
    if (problem.empty()) {
        header.Put(out, header);
        uint64_t total = out.Size() + 8;
        for (uint32_t size : header.blockSizes) total += size;
        out.Reserve(static_cast<size_t>(total));
        // Every body is checked against the size table as it is written.
        for (size_t i = 0; problem.empty() && i < blocks.size(); ++i) {
            const size_t start = out.Size();
            blocks[i]->Put(out, header);
            problem = CheckBlockSize(i, out.Size() - start);
        }
    }
    if (!problem.empty()) {
        error_ = "refusing to write an inconsistent file: " + problem;
        return rc::kInconsistent;
    }
    out.U32(1);  // one root
    out.I32(0);  // block 0
    bytes = std::move(out.Buffer());
    return rc::kOk;
}

int NifFile::Save(const std::string& path, const OutputOpener& opener) const {
    std::string bytes;
    int result = SaveToMemory(bytes);
    if (result != rc::kOk) return result;
    return WriteFileAtomically(path, bytes, error_, opener);
}
