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
    void Set(int32_t index, std::unique_ptr<NiObject> block);
    int32_t Add(std::unique_ptr<NiObject> block);
    // The file, with block 0 as its root.
    NifFile Finish();

    uint8_t Form() const { return file_.Form(); }

  private:
    NifFile file_;
    std::vector<std::unique_ptr<NiObject>> slots_;
};
