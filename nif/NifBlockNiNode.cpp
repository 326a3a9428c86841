#include "NifBlockNiNode.h"

void NifBlockNiNode::Get(NifReader& in, const NifBlockHeader& header) {
    GetAVObject(in, header);
    numChildren = in.U32();
    ReadRefList(in, in.Count(numChildren, 4, "child"), children);
    numEffects = in.U32();
    ReadRefList(in, in.Count(numEffects, 4, "effect"), effects);
}

void NifBlockNiNode::Put(NifWriter& out, const NifBlockHeader& header) const {
    PutAVObject(out, header);
    out.U32(numChildren);
    WriteRefList(out, children);
    out.U32(numEffects);
    WriteRefList(out, effects);
}

void NifBlockNiNode::notifyBlockDelete(const BlockRemap& remap) {
    uint32_t dropped = RepairAVObject(remap);
    dropped += remap.RepairList(children, numChildren);
    dropped += remap.RepairList(effects, numEffects);
    blockSize -= 4 * dropped;
}

// The property count and every remaining entry are written only up to user version 11.
void NifBlockNiNode::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    const uint32_t section = PropertySectionSize();
    if (SwitchPropertySection(userVersion))
        blockSize = propertySection ? blockSize + section : blockSize - section;
}

void NifBlockNiNode::CollectReferences(std::vector<BlockRef>& out) const {
    CollectAVObjectReferences(out);
    out.insert(out.end(), children.begin(), children.end());
    out.insert(out.end(), effects.begin(), effects.end());
}
