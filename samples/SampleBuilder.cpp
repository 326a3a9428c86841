#include "SampleBuilder.h"

#include <cstring>

SampleBuilder::SampleBuilder(uint32_t userVersion, uint32_t userVersion2) {
    NifBlockHeader& h = file_.header;
    const char line[] = "Gamebryo File Format, Version 20.2.0.7";
    std::memcpy(h.headerLine.data(), line, h.headerLine.size());
    h.version = {0x07, 0x00, 0x02, 0x14};
    h.endianByte = 1;
    h.userVersion = userVersion;
    h.userVersion2 = userVersion2;
    h.creator = "Pellmar samples";
    // Empty export texts as files hold them: one zero byte.
    h.exportInfo1 = h.exportInfo2 = std::string(1, '\0');
}

int32_t SampleBuilder::String(const std::string& text) {
    return file_.AddString(text);
}

int32_t SampleBuilder::Reserve() {
    slots_.emplace_back();
    return static_cast<int32_t>(slots_.size() - 1);
}

void SampleBuilder::Set(int32_t index, std::unique_ptr<NiObject> block) {
    slots_[static_cast<size_t>(index)] = std::move(block);
}

int32_t SampleBuilder::Add(std::unique_ptr<NiObject> block) {
    int32_t index = Reserve();
    Set(index, std::move(block));
    return index;
}

NifFile SampleBuilder::Finish() {
    for (auto& block : slots_) file_.AppendBlock(std::move(block));
    slots_.clear();
    file_.roots = {0};
    return std::move(file_);
}
