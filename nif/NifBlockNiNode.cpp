#include "NifBlockNiNode.h"

#include "NifBlockHeader.h"

void NifBlockNiNode::Get(NifReader& in, const NifBlockHeader& header) {
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
    numChildren = in.U32();
    ReadRefList(in, in.Count(numChildren, 4, "child"), children);
    numEffects = in.U32();
    ReadRefList(in, in.Count(numEffects, 4, "effect"), effects);
}

void NifBlockNiNode::Put(NifWriter& out, const NifBlockHeader& header) const {
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
    out.U32(numChildren);
    WriteRefList(out, children);
    out.U32(numEffects);
    WriteRefList(out, effects);
}

void NifBlockNiNode::notifyBlockDelete(const BlockRemap& remap) {
    uint32_t dropped = remap.RepairList(extraData, numExtraData);
    remap.Repair(controller);
    remap.Repair(collisionObject);
    const uint32_t droppedProperties = remap.RepairList(properties, numProperties);
    if (propertySection) dropped += droppedProperties;
    dropped += remap.RepairList(children, numChildren);
    dropped += remap.RepairList(effects, numEffects);
    blockSize -= 4 * dropped;
}

// The property count and every remaining entry are written only up to user version 11.
void NifBlockNiNode::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    const uint32_t section = 4 + 4 * numProperties;
    if (userVersion == 12 && propertySection) {
        blockSize -= section;
        propertySection = false;
    } else if (userVersion == 11 && !propertySection) {
        blockSize += section;
        propertySection = true;
    }
}

void NifBlockNiNode::CollectReferences(std::vector<BlockRef>& out) const {
    out.insert(out.end(), extraData.begin(), extraData.end());
    out.push_back(controller);
    out.insert(out.end(), properties.begin(), properties.end());
    out.push_back(collisionObject);
    out.insert(out.end(), children.begin(), children.end());
    out.insert(out.end(), effects.begin(), effects.end());
}
