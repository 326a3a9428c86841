#include "SampleBuilder.h"

#include <cstring>

#include "BlockFactory.h"
#include "NifBlockUnknown.h"

SampleBuilder::SampleBuilder(uint32_t userVersion, uint32_t userVersion2) {
    NifBlockHeader& h = file_.header;
    const char line[] = "Gamebryo File Format, Version 20.2.0.7";
    std::memcpy(h.headerLine.data(), line, h.headerLine.size());
    h.version = {0x07, 0x00, 0x02, 0x14};
    h.endianByte = 1;
    h.userVersion = userVersion;
    h.userVersion2 = userVersion2;
    h.creator = "Pellmar samples";
}

int32_t SampleBuilder::String(const std::string& text) {
    NifBlockHeader& h = file_.header;
    for (size_t i = 0; i < h.strings.size(); ++i) {
        if (h.strings[i] == text) return static_cast<int32_t>(i);
    }
    h.strings.push_back(text);
    h.numStrings = static_cast<uint32_t>(h.strings.size());
    if (text.size() > h.maxStringLength) h.maxStringLength = static_cast<uint32_t>(text.size());
    return static_cast<int32_t>(h.strings.size() - 1);
}

int32_t SampleBuilder::Reserve() {
    slots_.emplace_back();
    return static_cast<int32_t>(slots_.size() - 1);
}

void SampleBuilder::Set(int32_t index, std::unique_ptr<NifBlock> block, const std::string& type) {
    slots_[static_cast<size_t>(index)] = {std::move(block), type};
}

int32_t SampleBuilder::Add(std::unique_ptr<NifBlock> block, const std::string& type) {
    int32_t index = Reserve();
    Set(index, std::move(block), type);
    return index;
}

NifFile SampleBuilder::Finish() {
    // Each block is written and read back, so it is in exactly the state a loaded one is.
    for (auto& [block, type] : slots_) {
        NifWriter w;
        block->Put(w, file_.header);
        const auto size = static_cast<uint32_t>(w.Size());
        std::unique_ptr<NifBlock> loaded = CreateBlock(type, size);
        NifReader in(reinterpret_cast<const uint8_t*>(w.Buffer().data()), size);
        loaded->Get(in, file_.header);
        file_.AppendBlock(std::move(loaded), type);
    }
    slots_.clear();
    return std::move(file_);
}

std::unique_ptr<NifBlock> OpaqueBlock(const std::string& type, const NifWriter& body) {
    auto block = std::make_unique<NifBlockUnknown>(static_cast<uint32_t>(body.Size()),
                                                   TraitsOfOpaqueType(type));
    block->rawData.assign(body.Buffer().begin(), body.Buffer().end());
    return block;
}

void PutObjectNET(NifWriter& w, int32_t name, int32_t controller) {
    w.I32(name);
    w.I32(0);
    w.I32(controller);
}
