#include "NifBlockTriShape.h"

#include "NifBlockHeader.h"

void NifBlockTriShape::Get(NifReader& in, const NifBlockHeader& header) {
    GetAVObject(in, header);
    data = in.I32();
    skinInstance = in.I32();
    numMaterials = in.U32();
    // Each material has at least a 2-byte name length and a 4-byte extra-data value.
    uint32_t materials = in.Count(numMaterials, 6, "material");
    for (uint32_t i = 0; i < materials; ++i) {
        uint16_t length = in.U16();
        if (length > kMaxSizedString) in.Fail("material name longer than 1024 bytes");
        std::string bytes(in.Count(length, 1, "material name"), '\0');
        in.Bytes(bytes.data(), bytes.size());
        materialNames.push_back(std::move(bytes));
    }
    for (uint32_t i = 0; i < materials; ++i) materialExtraData.push_back(in.I32());
    activeMaterial = in.I32();
    materialNeedsUpdate = in.U8();
    if (!HasPropertyList(header.userVersion)) {
        shaderProperty = in.I32();
        alphaProperty = in.I32();
    }
}

void NifBlockTriShape::Put(NifWriter& out, const NifBlockHeader& header) const {
    PutAVObject(out, header);
    out.I32(data);
    out.I32(skinInstance);
    out.U32(numMaterials);
    for (const std::string& n : materialNames) {
        out.U16(static_cast<uint16_t>(n.size()));
        out.Bytes(n.data(), n.size());
    }
    for (int32_t v : materialExtraData) out.I32(v);
    out.I32(activeMaterial);
    out.U8(materialNeedsUpdate);
    if (!HasPropertyList(header.userVersion)) {
        out.I32(shaderProperty);
        out.I32(alphaProperty);
    }
}

void NifBlockTriShape::notifyBlockDelete(const BlockRemap& remap) {
    const uint32_t dropped = RepairAVObject(remap);
    remap.Repair(data);
    remap.Repair(skinInstance);
    remap.Repair(shaderProperty);
    remap.Repair(alphaProperty);
    blockSize -= 4 * dropped;
}

// Game form: the property count and its entries go, the shader and alpha references come.
void NifBlockTriShape::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    const uint32_t section = PropertySectionSize();
    if (SwitchPropertySection(userVersion)) {
        blockSize = propertySection ? blockSize + section - 8 : blockSize - section + 8;
    }
}

void NifBlockTriShape::CollectReferences(std::vector<BlockRef>& out) const {
    CollectAVObjectReferences(out);
    out.push_back(data);
    out.push_back(skinInstance);
    out.push_back(shaderProperty);
    out.push_back(alphaProperty);
}
