#include "NifBlockNiSkinPartition.h"

#include <algorithm>

#include "NifBlockHeader.h"
#include "VertexShift.h"

namespace {

// The trailing "LOD level" and "global VB" bytes exist in the game form only.
bool HasTrailingShort(uint32_t userVersion) {
    return userVersion == 12;
}

void ReadPartition(NifReader& in, bool trailing, SkinPartition& p) {
    p.numVertices = in.U16();
    p.numTriangles = in.U16();
    p.numBones = in.U16();
    p.numStrips = in.U16();
    p.numWeightsPerVertex = in.U16();
    in.Array(p.bones, p.numBones, "partition bone");
    p.hasVertexMap = in.U8();
    if (p.hasVertexMap != 0) in.Array(p.vertexMap, p.numVertices, "vertex map");
    p.hasVertexWeights = in.U8();
    if (p.hasVertexWeights != 0) in.Array(p.vertexWeights, p.numVertices, "partition weight");
    in.Array(p.stripLengths, p.numStrips, "strip length");
    p.hasFaces = in.U8();
    if (p.hasFaces != 0 && p.numStrips != 0) {
        for (uint16_t length : p.stripLengths) in.Array(p.strips, length, "strip");
    } else if (p.hasFaces != 0) {
        in.Array(p.triangles, p.numTriangles, "partition triangle");
    }
    p.hasBoneIndices = in.U8();
    if (p.hasBoneIndices != 0) in.Array(p.boneIndices, p.numVertices, "bone index");
    if (trailing) p.trailingShort = in.U16();
}

void WritePartition(NifWriter& out, bool trailing, const SkinPartition& p) {
    out.U16(p.numVertices);
    out.U16(p.numTriangles);
    out.U16(p.numBones);
    out.U16(p.numStrips);
    out.U16(p.numWeightsPerVertex);
    out.Array(p.bones);
    out.U8(p.hasVertexMap);
    out.Array(p.vertexMap);
    out.U8(p.hasVertexWeights);
    out.Array(p.vertexWeights);
    out.Array(p.stripLengths);
    out.U8(p.hasFaces);
    out.Array(p.strips);
    out.Array(p.triangles);
    out.U8(p.hasBoneIndices);
    out.Array(p.boneIndices);
    if (trailing) out.U16(p.trailingShort);
}

}  // namespace

void NifBlockNiSkinPartition::Get(NifReader& in, const NifBlockHeader& header) {
    numSkinPartitions = in.U32();
    // A partition takes at least 14 bytes.
    uint32_t n = in.Count(numSkinPartitions, 14, "skin partition");
    skinPartitions.resize(n);
    for (SkinPartition& p : skinPartitions) {
        ReadPartition(in, HasTrailingShort(header.userVersion), p);
    }
}

void NifBlockNiSkinPartition::Put(NifWriter& out, const NifBlockHeader& header) const {
    out.U32(numSkinPartitions);
    for (const SkinPartition& p : skinPartitions) {
        WritePartition(out, HasTrailingShort(header.userVersion), p);
    }
}

void NifBlockNiSkinPartition::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    if (userVersion == 12) {
        for (SkinPartition& p : skinPartitions) p.trailingShort = 0;
        blockSize += 2 * static_cast<uint32_t>(skinPartitions.size());
    }
    if (userVersion == 11) blockSize -= 2 * static_cast<uint32_t>(skinPartitions.size());
}

// Partitions refer to shape vertices only through their vertex map; weights, bone indices
// and triangles use partition-local numbers. Partitions with strips or without a vertex map
// cannot be renumbered and are left as they are.
void NifBlockNiSkinPartition::notifyVerticesDelete(const std::vector<uint16_t>& indices) {
    if (indices.empty()) return;
    const uint16_t last = indices.back();
    int32_t removedTotal = 0;
    const std::vector<int32_t> global = BuildVertexShift(indices, size_t{last} + 1, &removedTotal);

    for (SkinPartition& p : skinPartitions) {
        if (p.hasVertexMap == 0 || p.numStrips != 0) continue;
        // Local shift table over partition vertices.
        std::vector<int32_t> local(p.vertexMap.size());
        int32_t r = 0;
        for (size_t i = 0; i < p.vertexMap.size(); ++i) {
            uint16_t g = p.vertexMap[i];
            if (g <= last && global[g] == -1) {
                ++r;
                local[i] = -1;
            } else {
                local[i] = r;
            }
        }
        for (size_t i = p.vertexMap.size(); i-- > 0;) {
            uint16_t& g = p.vertexMap[i];
            if (g > last) {
                g = static_cast<uint16_t>(g - removedTotal);
            } else if (global[g] == -1) {
                p.vertexMap.erase(p.vertexMap.begin() + static_cast<std::ptrdiff_t>(i));
                --p.numVertices;
                blockSize -= 2;
                if (p.hasVertexWeights != 0 && i < p.vertexWeights.size()) {
                    p.vertexWeights.erase(p.vertexWeights.begin() + static_cast<std::ptrdiff_t>(i));
                    blockSize -= 16;
                }
                if (p.hasBoneIndices != 0 && i < p.boneIndices.size()) {
                    p.boneIndices.erase(p.boneIndices.begin() + static_cast<std::ptrdiff_t>(i));
                    blockSize -= 4;
                }
            } else {
                g = static_cast<uint16_t>(g - global[g]);
            }
        }
        if (r == 0) continue;
        for (size_t t = p.triangles.size(); t-- > 0;) {
            Triangle& tri = p.triangles[t];
            uint16_t* corners[3] = {&tri.v1, &tri.v2, &tri.v3};
            if (std::any_of(std::begin(corners), std::end(corners),
                            [&](uint16_t* c) { return *c < local.size() && local[*c] == -1; })) {
                p.triangles.erase(p.triangles.begin() + static_cast<std::ptrdiff_t>(t));
                --p.numTriangles;
                blockSize -= 6;
                continue;
            }
            for (uint16_t* c : corners) {
                *c = static_cast<uint16_t>(*c - (*c < local.size() ? local[*c] : r));
            }
        }
    }
}
