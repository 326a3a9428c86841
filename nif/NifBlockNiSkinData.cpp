#include "NifBlockNiSkinData.h"

#include "VertexShift.h"

void NifBlockNiSkinData::Get(NifReader& in, const NifBlockHeader&) {
    in.Bytes(skinTransform.data(), skinTransform.size());
    numBones = in.U32();
    hasVertexWeights = in.U8();
    // A bone takes at least 70 bytes.
    uint32_t bones = in.Count(numBones, 70, "bone");
    boneList.reserve(bones);
    for (uint32_t b = 0; b < bones; ++b) {
        BoneData bone;
        in.Bytes(bone.transform.data(), bone.transform.size());
        bone.boundingSphereOffset = in.Vec3();
        bone.boundingSphereRadius = in.F32();
        bone.numVertices = in.U16();
        uint32_t weights = in.Count(bone.numVertices, 6, "vertex weight");
        bone.vertexWeights.reserve(weights);
        for (uint32_t w = 0; w < weights; ++w) {
            SkinWeight sw;
            sw.index = in.U16();
            sw.weight = in.F32();
            bone.vertexWeights.push_back(sw);
        }
        boneList.push_back(std::move(bone));
    }
}

void NifBlockNiSkinData::Put(NifWriter& out, const NifBlockHeader&) const {
    out.Bytes(skinTransform.data(), skinTransform.size());
    out.U32(numBones);
    out.U8(hasVertexWeights);
    for (const BoneData& bone : boneList) {
        out.Bytes(bone.transform.data(), bone.transform.size());
        out.Vec3(bone.boundingSphereOffset);
        out.F32(bone.boundingSphereRadius);
        out.U16(bone.numVertices);
        for (const SkinWeight& w : bone.vertexWeights) {
            out.U16(w.index);
            out.F32(w.weight);
        }
    }
}

void NifBlockNiSkinData::notifyVerticesDelete(const std::vector<uint16_t>& indices) {
    if (indices.empty()) return;
    const uint16_t last = indices.back();
    int32_t removed = 0;
    const std::vector<int32_t> shift = BuildVertexShift(indices, size_t{last} + 1, &removed);
    for (BoneData& bone : boneList) {
        for (size_t w = bone.vertexWeights.size(); w-- > 0;) {
            uint16_t& v = bone.vertexWeights[w].index;
            if (v > last) {
                v = static_cast<uint16_t>(v - removed);
            } else if (shift[v] == -1) {
                bone.vertexWeights.erase(bone.vertexWeights.begin() +
                                         static_cast<std::ptrdiff_t>(w));
                --bone.numVertices;
                blockSize -= 6;
            } else {
                v = static_cast<uint16_t>(v - shift[v]);
            }
        }
    }
}
