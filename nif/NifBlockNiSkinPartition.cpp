#include "NifBlockNiSkinPartition.h"

#include <algorithm>

#include "NifBlockHeader.h"
#include "VertexShift.h"

namespace {

// The trailing "LOD level" and "global VB" bytes exist in the game form only.
bool HasTrailingShort(uint32_t userVersion) { return userVersion == 12; }

void ReadPartition(NifReader& in, bool trailing, SkinPartition& p) {
    p.numVertices = in.U16();
    p.numTriangles = in.U16();
    p.numBones = in.U16();
    p.numStrips = in.U16();
    p.numWeightsPerVertex = in.U16();
    uint32_t n = in.Count(p.numBones, 2, "partition bone");
    for (uint32_t i = 0; i < n; ++i) p.bones.push_back(in.U16());
    p.hasVertexMap = in.U8();
    if (p.hasVertexMap != 0) {
        n = in.Count(p.numVertices, 2, "vertex map");
        for (uint32_t i = 0; i < n; ++i) p.vertexMap.push_back(in.U16());
    }
    p.hasVertexWeights = in.U8();
    if (p.hasVertexWeights != 0) {
        n = in.Count(p.numVertices, 16, "partition weight");
        p.vertexWeights.resize(n);
        for (auto& w : p.vertexWeights) {
            for (float& f : w) f = in.F32();
        }
    }
    n = in.Count(p.numStrips, 2, "strip length");
    for (uint32_t i = 0; i < n; ++i) p.stripLengths.push_back(in.U16());
    p.hasFaces = in.U8();
    if (p.hasFaces != 0 && p.numStrips != 0) {
        for (uint16_t length : p.stripLengths) {
            n = in.Count(length, 2, "strip");
            for (uint32_t i = 0; i < n; ++i) p.strips.push_back(in.U16());
        }
    } else if (p.hasFaces != 0) {
        n = in.Count(p.numTriangles, 6, "partition triangle");
        for (uint32_t i = 0; i < n; ++i) p.triangles.push_back(in.Tri());
    }
    p.hasBoneIndices = in.U8();
    if (p.hasBoneIndices != 0) {
        n = in.Count(p.numVertices, 4, "bone index");
        p.boneIndices.resize(n);
        for (auto& b : p.boneIndices) in.Bytes(b.data(), b.size());
    }
    if (trailing) p.trailingShort = in.U16();
}

void WritePartition(NifWriter& out, bool trailing, const SkinPartition& p) {
    out.U16(p.numVertices);
    out.U16(p.numTriangles);
    out.U16(p.numBones);
    out.U16(p.numStrips);
    out.U16(p.numWeightsPerVertex);
    for (uint16_t b : p.bones) out.U16(b);
    out.U8(p.hasVertexMap);
    for (uint16_t v : p.vertexMap) out.U16(v);
    out.U8(p.hasVertexWeights);
    for (const auto& w : p.vertexWeights) {
        for (float f : w) out.F32(f);
    }
    for (uint16_t s : p.stripLengths) out.U16(s);
    out.U8(p.hasFaces);
    for (uint16_t s : p.strips) out.U16(s);
    for (const Triangle& t : p.triangles) out.Tri(t);
    out.U8(p.hasBoneIndices);
    for (const auto& b : p.boneIndices) out.Bytes(b.data(), b.size());
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
