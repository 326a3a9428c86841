#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "ResultCodes.h"

ByteBuilder& ByteBuilder::U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

ByteBuilder& ByteBuilder::U16(uint16_t v) {
    return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8));
}

ByteBuilder& ByteBuilder::U32(uint32_t v) {
    return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
}

ByteBuilder& ByteBuilder::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
}

ByteBuilder& ByteBuilder::Zeros(size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

ByteBuilder& ByteBuilder::Text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}

ByteBuilder& ByteBuilder::Sized(const std::string& s) {
    return U32(static_cast<uint32_t>(s.size())).Text(s);
}

NifBlockHeader MakeHeader(uint32_t userVersion, std::vector<std::string> strings) {
    NifBlockHeader h;
    h.userVersion = userVersion;
    h.userVersion2 = userVersion == 12 ? 83 : 34;
    h.strings = std::move(strings);
    h.numStrings = static_cast<uint32_t>(h.strings.size());
    return h;
}

void ReadBody(NifBlock& block, const Bytes& body, const NifBlockHeader& header) {
    NifReader in(body.data(), body.size());
    block.Get(in, header);
    ASSERT_FALSE(in.Failed()) << in.Error();
    ASSERT_EQ(in.Remaining(), 0u);
    block.blockSize = static_cast<uint32_t>(body.size());
}

Bytes WriteBody(const NifBlock& block, const NifBlockHeader& header) {
    NifWriter out;
    block.Put(out, header);
    return Bytes(out.Buffer().begin(), out.Buffer().end());
}

Bytes SaveBytes(const NifFile& file) {
    std::string bytes;
    EXPECT_EQ(file.SaveToMemory(bytes), rc::kOk) << file.LastError();
    return Bytes(bytes.begin(), bytes.end());
}

NifFile LoadBytes(const Bytes& bytes) {
    NifFile f;
    EXPECT_EQ(f.LoadFromMemory(bytes), rc::kOk) << f.LastError();
    return f;
}

TempDir::TempDir() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("pellmar-test-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::filesystem::path> CorpusFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(PELLMAR_CORPUS_DIR, ec)) {
        if (entry.path().extension() == ".nif") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path SamplePath(const std::string& name) {
    return std::filesystem::path(PELLMAR_SOURCE_DIR) / "samples" / name;
}
