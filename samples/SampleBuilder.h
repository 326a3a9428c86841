// Assembles a NifFile block by block; indices can be reserved before the block exists, so
// blocks can refer forward.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "NifFile.h"

class SampleBuilder {
  public:
    SampleBuilder(uint32_t userVersion, uint32_t userVersion2);

    int32_t String(const std::string& text);
    int32_t Reserve();
    void Set(int32_t index, std::unique_ptr<NifBlock> block, const std::string& type);
    int32_t Add(std::unique_ptr<NifBlock> block, const std::string& type);
    // Every block's blockSize is set from what its Put writes.
    NifFile Finish();

    const NifBlockHeader& Header() const { return file_.header; }

  private:
    NifFile file_;
    std::vector<std::pair<std::unique_ptr<NifBlock>, std::string>> slots_;
};

// The body of an opaque block, built field by field.
std::unique_ptr<NifBlock> OpaqueBlock(const std::string& type, const NifWriter& body);
// The common beginning of NiObjectNET types: name, empty extra-data list, controller.
void PutObjectNET(NifWriter& w, int32_t name, int32_t controller = -1);
