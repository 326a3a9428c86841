#include "NifBlockHeader.h"

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
    for (uint32_t i = 0; i < types; ++i) blockTypes.push_back(in.SizedBytes("block type name"));
    // Each block has a 2-byte type index and a 4-byte size entry.
    uint32_t blocks = in.Count(numBlocks, 6, "block");
    blockTypeIndex.reserve(blocks);
    blockSizes.reserve(blocks);
    for (uint32_t i = 0; i < blocks; ++i) {
        uint16_t t = in.U16();
        if (!in.Failed() && t >= numBlockTypes) {
            in.Fail("block " + std::to_string(i) + " has type index " + std::to_string(t) +
                    ", beyond the " + std::to_string(numBlockTypes) + " block types");
        }
        blockTypeIndex.push_back(t);
    }
    for (uint32_t i = 0; i < blocks; ++i) blockSizes.push_back(in.U32());
    numStrings = in.U32();
    maxStringLength = in.U32();
    uint32_t count = in.Count(numStrings, 4, "string");
    strings.reserve(count);
    for (uint32_t i = 0; i < count; ++i) strings.push_back(in.SizedBytes("string"));
    numGroups = in.U32();
    if (!in.Failed() && numGroups != 0) {
        in.Fail("numGroups is " + std::to_string(numGroups) + "; group entries are not supported");
    }
}

void NifBlockHeader::Put(NifWriter& out) const {
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
    for (uint32_t i = 0; i < numBlocks; ++i) out.U16(blockTypeIndex[i]);
    for (uint32_t i = 0; i < numBlocks; ++i) out.U32(blockSizes[i]);
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
