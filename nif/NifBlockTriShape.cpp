#include "NifBlockTriShape.h"

#include "NifBlockHeader.h"
#include "NifBlockNiNode.h"

void NifBlockTriShape::Get(NifReader& in, const NifBlockHeader& header) {
    name = ReadName(in, header, nameIndex);
    numExtraData = in.I32();
    ReadRefList(in, in.SignedCount(numExtraData, 4, "extra data"), extraData);
    controller = in.I32();
    flags = in.U16();
    flagsHigh = in.U16();
    translation = in.Vec3();
    rotation = in.Mat33();
    scale = in.F32();
    propertySection = HasPropertyList(header.userVersion);
    if (propertySection) {
        numProperties = in.U32();
        ReadRefList(in, in.Count(numProperties, 4, "property"), properties);
    }
    collisionObject = in.I32();
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
    out.I32(nameIndex);
    out.I32(numExtraData);
    WriteRefList(out, extraData);
    out.I32(controller);
    out.U16(flags);
    out.U16(flagsHigh);
    out.Vec3(translation);
    out.Mat33(rotation);
    out.F32(scale);
    if (HasPropertyList(header.userVersion)) {
        out.U32(numProperties);
        WriteRefList(out, properties);
    }
    out.I32(collisionObject);
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
    uint32_t dropped = remap.RepairList(extraData, numExtraData);
    remap.Repair(controller);
    remap.Repair(collisionObject);
    remap.Repair(data);
    remap.Repair(skinInstance);
    const uint32_t droppedProperties = remap.RepairList(properties, numProperties);
    if (propertySection) dropped += droppedProperties;
    remap.Repair(shaderProperty);
    remap.Repair(alphaProperty);
    blockSize -= 4 * dropped;
}

// Game form: the property count and its entries go, the shader and alpha references come.
void NifBlockTriShape::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    const uint32_t section = 4 + 4 * numProperties;
    if (userVersion == 12 && propertySection) {
        blockSize = blockSize - section + 8;
        propertySection = false;
    } else if (userVersion == 11 && !propertySection) {
        blockSize = blockSize + section - 8;
        propertySection = true;
    }
}

void NifBlockTriShape::CollectReferences(std::vector<BlockRef>& out) const {
    out.insert(out.end(), extraData.begin(), extraData.end());
    out.push_back(controller);
    out.insert(out.end(), properties.begin(), properties.end());
    out.push_back(collisionObject);
    out.push_back(data);
    out.push_back(skinInstance);
    out.push_back(shaderProperty);
    out.push_back(alphaProperty);
}
