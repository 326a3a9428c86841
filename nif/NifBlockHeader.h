// The file header: identification, user versions, export-info texts, the block type, type
// index and size tables and the string table. Its counts are stored fields; the editing
// operations keep them equal to the lengths of their lists.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "NifReader.h"
#include "NifWriter.h"

class NifBlockHeader {
  public:
    void Get(NifReader& in);
    // Writes the header; sizes, when given, stands for blockSizes.
    void Put(NifWriter& out, const std::vector<uint32_t>* sizes = nullptr) const;
    // Empty when data (the first bytes of a file) starts as a file this header reads: the
    // line "Gamebryo File Format, Version 20.2.0.7", white space, that version as a number
    // and a little-endian mark; otherwise why not. Nothing else is read before this check.
    static std::string CheckStart(const uint8_t* data, size_t size);

    // Empties the block, type and string tables and their counts; the other fields keep
    // their values until the next Get.
    void Reset();
    // Index of the type name (exact comparison), appended when absent. Does not touch
    // blockTypeIndex.
    uint16_t FindOrAddBlockType(const std::string& typeName);
    // The type name of block i, or an empty text when the tables do not name one.
    const std::string& TypeNameOf(size_t block) const;

    // Files with userVersion 10 or more (or 1) carry userVersion2 and the export-info texts.
    bool HasBethesdaFields() const { return userVersion >= 10 || userVersion == 1; }
    // Fallout 4 and later write a fourth export-info text.
    bool HasFourthExportInfo() const { return HasBethesdaFields() && userVersion2 >= 130; }

    std::array<char, 38> headerLine{};
    uint8_t lineFeed = 0x0A;
    std::array<uint8_t, 4> version{};
    uint8_t endianByte = 1;
    uint32_t userVersion = 0;
    uint32_t numBlocks = 0;
    uint32_t userVersion2 = 0;
    // The export-info texts are kept byte for byte (with any terminating zero); Display cuts
    // them at their first zero.
    static std::string Display(const std::string& text) { return text.substr(0, text.find('\0')); }
    std::string creator;
    std::string exportInfo1;
    std::string exportInfo2;
    std::string exportInfo3;
    uint16_t numBlockTypes = 0;
    std::vector<std::string> blockTypes;
    std::vector<uint16_t> blockTypeIndex;
    std::vector<uint32_t> blockSizes;
    uint32_t numStrings = 0;
    uint32_t maxStringLength = 0;
    std::vector<std::string> strings;
    uint32_t numGroups = 0;
};
