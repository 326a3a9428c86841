#include "NifBlockAVObject.h"

#include "NifBlockHeader.h"

void NifBlockAVObject::GetAVObject(NifReader& in, const NifBlockHeader& header) {
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
}

void NifBlockAVObject::PutAVObject(NifWriter& out, const NifBlockHeader& header) const {
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
}

uint32_t NifBlockAVObject::RepairAVObject(const BlockRemap& remap) {
    uint32_t dropped = remap.RepairList(extraData, numExtraData);
    remap.Repair(controller);
    remap.Repair(collisionObject);
    const uint32_t droppedProperties = remap.RepairList(properties, numProperties);
    if (propertySection) dropped += droppedProperties;
    return dropped;
}

void NifBlockAVObject::CollectAVObjectReferences(std::vector<BlockRef>& out) const {
    out.insert(out.end(), extraData.begin(), extraData.end());
    out.push_back(controller);
    out.insert(out.end(), properties.begin(), properties.end());
    out.push_back(collisionObject);
}

bool NifBlockAVObject::SwitchPropertySection(uint32_t userVersion) {
    if (userVersion != 11 && userVersion != 12) return false;
    const bool wanted = HasPropertyList(userVersion);
    if (wanted == propertySection) return false;
    propertySection = wanted;
    return true;
}
