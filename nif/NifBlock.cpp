#include "NifBlock.h"

#include "NifBlockHeader.h"

std::string ReadName(NifReader& in, const NifBlockHeader& header, StringRef& nameIndex) {
    size_t at = in.Position();
    nameIndex = in.I32();
    if (in.Failed() || nameIndex == kNoString) return {};
    if (nameIndex < 0 || static_cast<uint32_t>(nameIndex) >= header.strings.size()) {
        in.FailAt(at, "string reference " + std::to_string(nameIndex) +
                          " is outside the string table of " +
                          std::to_string(header.strings.size()) + " entries");
        return {};
    }
    return header.strings[static_cast<size_t>(nameIndex)];
}

void ReadRefList(NifReader& in, uint32_t count, std::vector<BlockRef>& list) {
    list.reserve(list.size() + count);
    for (uint32_t i = 0; i < count; ++i) list.push_back(in.I32());
}

void WriteRefList(NifWriter& out, const std::vector<BlockRef>& list) {
    for (BlockRef r : list) out.I32(r);
}
