#include "NifBlockHeader.h"

#include <cstring>
#include <tuple>

void NifBlockHeader::Get(NifReader& in) {
    in.Bytes(headerLine.data(), headerLine.size());
    lineFeed = 0x0A;
    for (uint8_t& b : version) b = in.CharSkippingSpace();
    endianByte = in.CharSkippingSpace();
    userVersion = in.U32();
    numBlocks = in.U32();
    if (HasBethesdaFields()) {
        userVersion2 = in.U32();
        creator = in.ShortBytes();
        exportInfo1 = in.ShortBytes();
        exportInfo2 = in.ShortBytes();
        if (HasFourthExportInfo()) exportInfo3 = in.ShortBytes();
    }
    numBlockTypes = in.U16();
    uint32_t types = in.Count(numBlockTypes, 4, "block type");
    blockTypes.reserve(types);
    for (uint32_t i = 0; i < types; ++i)
        in.SizedBytes(blockTypes.emplace_back(), "block type name");
    // Each block has a 2-byte type index and a 4-byte size entry.
    uint32_t blocks = in.Count(numBlocks, 6, "block");
    const size_t indexAt = in.Position();
    in.Array(blockTypeIndex, blocks, "block");
    for (uint32_t i = 0; i < blockTypeIndex.size(); ++i) {
        if (blockTypeIndex[i] >= numBlockTypes) {
            in.FailAt(indexAt + 2 * size_t{i}, "block " + std::to_string(i) + " has type index " +
                                                   std::to_string(blockTypeIndex[i]) +
                                                   ", beyond the " + std::to_string(numBlockTypes) +
                                                   " block types");
            break;
        }
    }
    in.Array(blockSizes, blocks, "block");
    numStrings = in.U32();
    maxStringLength = in.U32();
    uint32_t count = in.Count(numStrings, 4, "string");
    strings.reserve(count);
    for (uint32_t i = 0; i < count; ++i) in.SizedBytes(strings.emplace_back(), "string");
    numGroups = in.U32();
    if (!in.Failed() && numGroups != 0) {
        in.Fail("numGroups is " + std::to_string(numGroups) + "; group entries are not supported");
    }
}

namespace {

constexpr char kLine[] = "Gamebryo File Format, Version 20.2.0.7";
constexpr size_t kLineSize = sizeof kLine - 1;
static_assert(kLineSize == std::tuple_size_v<decltype(NifBlockHeader::headerLine)>);

bool IsSpace(uint8_t c) {
    return c == 0x20 || (c >= 0x09 && c <= 0x0D);
}

// The start of a text for a message: printable bytes up to the first line feed, at most 60.
std::string Shown(const uint8_t* data, size_t size) {
    std::string text;
    for (size_t i = 0; i < size && i < 60 && data[i] != 0x0A; ++i)
        text += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '?';
    return text;
}

}  // namespace

std::string NifBlockHeader::CheckStart(const uint8_t* data, size_t size) {
    if (size < kLineSize || std::memcmp(data, kLine, kLineSize) != 0) {
        // Other versions of the format open with a line of the same kind.
        for (const char* other : {"Gamebryo File Format, Version ", "NetImmerse File Format"}) {
            const size_t n = std::strlen(other);
            if (size >= n && std::memcmp(data, other, n) == 0) {
                return "a NIF file of another version ('" + Shown(data, size) +
                       "'); only version 20.2.0.7 is read";
            }
        }
        return "not a NIF file: it does not start with the line '" + std::string(kLine) + "'";
    }
    size_t at = kLineSize;
    while (at < size && IsSpace(data[at])) ++at;
    static constexpr uint8_t kVersion[4] = {0x07, 0x00, 0x02, 0x14};
    if (size - at < 5) return "the file ends after its header line, before the version";
    if (std::memcmp(data + at, kVersion, 4) != 0) {
        return "the header line names version 20.2.0.7 but the version at byte offset " +
               std::to_string(at) + " is " + std::to_string(data[at + 3]) + "." +
               std::to_string(data[at + 2]) + "." + std::to_string(data[at + 1]) + "." +
               std::to_string(data[at]);
    }
    if (data[at + 4] == 0) {
        return "the file stores its numbers big-endian (endian byte 0 at byte offset " +
               std::to_string(at + 4) + "); only little-endian files are read";
    }
    return {};
}

void NifBlockHeader::Put(NifWriter& out, const std::vector<uint32_t>* sizes) const {
    out.Bytes(headerLine.data(), headerLine.size());
    out.U8(lineFeed);
    out.Bytes(version.data(), version.size());
    out.U8(endianByte);
    out.U32(userVersion);
    out.U32(numBlocks);
    if (HasBethesdaFields()) {
        out.U32(userVersion2);
        out.ShortBytes(creator);
        out.ShortBytes(exportInfo1);
        out.ShortBytes(exportInfo2);
        if (HasFourthExportInfo()) out.ShortBytes(exportInfo3);
    }
    out.U16(numBlockTypes);
    for (uint16_t i = 0; i < numBlockTypes; ++i) out.SizedBytes(blockTypes[i]);
    out.Bytes(blockTypeIndex.data(), 2 * size_t{numBlocks});
    const std::vector<uint32_t>& table = sizes ? *sizes : blockSizes;
    out.Bytes(table.data(), 4 * size_t{numBlocks});
    out.U32(numStrings);
    out.U32(maxStringLength);
    for (uint32_t i = 0; i < numStrings; ++i) out.SizedBytes(strings[i]);
    out.U32(numGroups);
}

void NifBlockHeader::Reset() {
    numBlockTypes = 0;
    numStrings = 0;
    numBlocks = 0;
    blockTypes.clear();
    blockTypeIndex.clear();
    blockSizes.clear();
    strings.clear();
}

uint16_t NifBlockHeader::FindOrAddBlockType(const std::string& typeName) {
    for (size_t i = 0; i < blockTypes.size(); ++i) {
        if (blockTypes[i] == typeName) return static_cast<uint16_t>(i);
    }
    blockTypes.push_back(typeName);
    ++numBlockTypes;
    return static_cast<uint16_t>(blockTypes.size() - 1);
}

const std::string& NifBlockHeader::TypeNameOf(size_t block) const {
    static const std::string kNone;
    if (block >= blockTypeIndex.size() || blockTypeIndex[block] >= blockTypes.size()) return kNone;
    return blockTypes[blockTypeIndex[block]];
}
