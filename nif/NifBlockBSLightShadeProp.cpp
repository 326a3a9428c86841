#include "NifBlockBSLightShadeProp.h"

#include "NifBlockHeader.h"

uint32_t NifBlockBSLightShadeProp::TailSize(uint32_t shaderType) {
    switch (shaderType) {
        case 1:
            return 4;  // environment map
        case 5:
            return 12;  // skin tint
        case 6:
            return 12;  // hair tint
        case 7:
            return 8;  // parallax occlusion
        case 11:
            return 20;  // multi-layer parallax
        case 14:
            return 16;  // sparkle snow
        case 16:
            return 28;  // eye environment map
        default:
            return 0;
    }
}

void NifBlockBSLightShadeProp::Get(NifReader& in, const NifBlockHeader& header) {
    shaderType = in.U32();
    name = ReadName(in, header, nameIndex);
    numExtraData = in.U32();
    ReadRefList(in, in.Count(numExtraData, 4, "extra data"), extraData);
    controller = in.I32();
    flagsPart1 = in.U16();
    flagsPart2 = in.U32();
    flagsPart3 = in.U32();
    flagsPart4 = in.U16();
    for (uint32_t& v : valuesBeforeTextureSet) v = in.U32();
    textureSet = in.I32();
    for (uint32_t& v : valuesAfterTextureSet) v = in.U32();
    for (uint32_t& v : shadingFloats) v = in.U32();
    for (uint32_t i = 0; i < TailSize(shaderType) / 4; ++i) tail[i] = in.U32();
}

void NifBlockBSLightShadeProp::Put(NifWriter& out, const NifBlockHeader&) const {
    out.U32(shaderType);
    out.I32(nameIndex);
    out.U32(numExtraData);
    WriteRefList(out, extraData);
    out.I32(controller);
    out.U16(flagsPart1);
    out.U32(flagsPart2);
    out.U32(flagsPart3);
    out.U16(flagsPart4);
    for (uint32_t v : valuesBeforeTextureSet) out.U32(v);
    out.I32(textureSet);
    for (uint32_t v : valuesAfterTextureSet) out.U32(v);
    for (uint32_t v : shadingFloats) out.U32(v);
    for (uint32_t i = 0; i < TailSize(shaderType) / 4; ++i) out.U32(tail[i]);
}

void NifBlockBSLightShadeProp::notifyBlockDelete(const BlockRemap& remap) {
    blockSize -= 4 * remap.RepairList(extraData, numExtraData);
    remap.Repair(controller);
    remap.Repair(textureSet);
}

void NifBlockBSLightShadeProp::CollectReferences(std::vector<BlockRef>& out) const {
    out.insert(out.end(), extraData.begin(), extraData.end());
    out.push_back(controller);
    out.push_back(textureSet);
}

void NifBlockBSLightShadeProp::CopyFrom(const NifBlockBSLightShadeProp& source) {
    blockSize = source.blockSize;
    shaderType = source.shaderType;
    nameIndex = source.nameIndex;
    name = source.name;
    numExtraData = source.numExtraData;
    extraData = source.extraData;
    controller = source.controller;
    flagsPart1 = source.flagsPart1;
    flagsPart2 = source.flagsPart2;
    flagsPart3 = source.flagsPart3;
    flagsPart4 = source.flagsPart4;
    valuesBeforeTextureSet = source.valuesBeforeTextureSet;
    textureSet = source.textureSet;
    valuesAfterTextureSet = source.valuesAfterTextureSet;
    shadingFloats = source.shadingFloats;
    tail = source.tail;
}
