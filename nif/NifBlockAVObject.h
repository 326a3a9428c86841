// The beginning that the bodies of scene-graph objects (nodes and shapes) share: name, extra
// data, controller, flags, transform, the property list of the Blender form and the
// collision object. Node and shape classes read, write and repair it through this base.
#pragma once

#include <string>
#include <vector>

#include "NifBlock.h"

// The property section is part of the body up to user version 11.
inline bool HasPropertyList(uint32_t userVersion) {
    return userVersion <= 11;
}

class NifBlockAVObject : public NifBlock {
  public:
    StringRef nameIndex = kNoString;
    std::string name;
    int32_t numExtraData = 0;
    std::vector<BlockRef> extraData;
    BlockRef controller = kNoBlock;
    uint16_t flags = 0;
    uint16_t flagsHigh = 0;
    Vector3 translation;
    Matrix33 rotation;
    float scale = 1.0f;
    uint32_t numProperties = 0;
    std::vector<BlockRef> properties;
    // Whether the body currently carries the property count and list (the Blender form).
    bool propertySection = true;
    BlockRef collisionObject = kNoBlock;

  protected:
    explicit NifBlockAVObject(uint16_t kind) : NifBlock(kind) {}
    NifBlockAVObject(const NifBlockAVObject&) = default;

    void GetAVObject(NifReader& in, const NifBlockHeader& header);
    void PutAVObject(NifWriter& out, const NifBlockHeader& header) const;
    // Repairs the references of the beginning; returns how many entries that the body writes
    // left their lists.
    uint32_t RepairAVObject(const BlockRemap& remap);
    void CollectAVObjectReferences(std::vector<BlockRef>& out) const;
    // Follows a switch to user version 11 or 12: true when the property section appeared or
    // went, whose size is then PropertySectionSize().
    bool SwitchPropertySection(uint32_t userVersion);
    uint32_t PropertySectionSize() const { return 4 + 4 * numProperties; }
};
