#include "NifBlockAlphaProperty.h"

void NifBlockAlphaProperty::Get(NifReader& in, const NifBlockHeader&) {
    nameIndex = in.I32();
    numExtraData = in.U32();
    ReadRefList(in, in.Count(numExtraData, 4, "extra data"), extraData);
    controller = in.I32();
    flags = in.U16();
    threshold = in.U8();
}

void NifBlockAlphaProperty::Put(NifWriter& out, const NifBlockHeader&) const {
    out.I32(nameIndex);
    out.U32(numExtraData);
    WriteRefList(out, extraData);
    out.I32(controller);
    out.U16(flags);
    out.U8(threshold);
}

void NifBlockAlphaProperty::notifyBlockDelete(const BlockRemap& remap) {
    blockSize -= 4 * remap.RepairList(extraData, numExtraData);
    remap.Repair(controller);
}

void NifBlockAlphaProperty::CollectReferences(std::vector<BlockRef>& out) const {
    out.insert(out.end(), extraData.begin(), extraData.end());
    out.push_back(controller);
}
