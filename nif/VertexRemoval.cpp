#include "VertexRemoval.h"

#include <algorithm>

namespace {

// For each old index below size: -1 when removed, otherwise how many removed indices lie
// below it. removed receives how many listed indices fell inside the table.
std::vector<int32_t> Shift(const std::vector<uint16_t>& indices, size_t size, int32_t& removed) {
    std::vector<int32_t> shift(size);
    size_t k = 0;
    for (size_t j = 0; j < size; ++j) {
        if (k < indices.size() && indices[k] == j) {
            shift[j] = -1;
            ++k;
        } else {
            shift[j] = static_cast<int32_t>(k);
        }
    }
    removed = static_cast<int32_t>(k);
    return shift;
}

template <class T>
void EraseEvery(std::vector<T>& list, const std::vector<int32_t>& shift, size_t stride = 1) {
    if (list.size() != shift.size() * stride) return;
    size_t out = 0;
    for (size_t j = 0; j < shift.size(); ++j) {
        if (shift[j] == -1) continue;
        for (size_t k = 0; k < stride; ++k) list[out * stride + k] = list[j * stride + k];
        ++out;
    }
    list.resize(out * stride);
}

// Drops triangles with a removed corner and renumbers the others; corners beyond the table
// are lowered by `beyond`.
void RenumberTriangles(std::vector<Triangle>& triangles, const std::vector<int32_t>& shift,
                       int32_t beyond) {
    auto gone = [&](uint16_t c) { return c < shift.size() && shift[c] == -1; };
    auto renumber = [&](uint16_t& c) {
        c = static_cast<uint16_t>(c - (c < shift.size() ? shift[c] : beyond));
    };
    std::erase_if(triangles,
                  [&](const Triangle& t) { return gone(t.v1) || gone(t.v2) || gone(t.v3); });
    for (Triangle& t : triangles) {
        renumber(t.v1);
        renumber(t.v2);
        renumber(t.v3);
    }
}

}  // namespace

void RemoveVertices(NiTriShapeData& d, const std::vector<uint16_t>& indices) {
    int32_t removed = 0;
    const std::vector<int32_t> shift = Shift(indices, d.numVertices, removed);
    if (removed == 0) return;
    for (auto* list : {&d.vertices, &d.normals, &d.tangents, &d.bitangents})
        EraseEvery(*list, shift);
    EraseEvery(d.vertexColors, shift);
    EraseEvery(d.uvs, shift);
    d.numVertices = static_cast<uint16_t>(d.numVertices - removed);
    if (!d.hasTriangles) return;
    RenumberTriangles(d.triangles, shift, removed);
    d.numTriangles = static_cast<uint16_t>(d.triangles.size());
    d.numTrianglePoints = 3 * static_cast<uint32_t>(d.triangles.size());
}

void RemoveVertices(NiSkinData& skin, const std::vector<uint16_t>& indices) {
    if (indices.empty()) return;
    int32_t removed = 0;
    const std::vector<int32_t> shift = Shift(indices, size_t{indices.back()} + 1, removed);
    for (BoneData& bone : skin.bones) {
        std::erase_if(bone.weights, [&](const BoneVertData& w) {
            return w.index < shift.size() && shift[w.index] == -1;
        });
        for (BoneVertData& w : bone.weights)
            w.index = static_cast<uint16_t>(w.index -
                                            (w.index < shift.size() ? shift[w.index] : removed));
        if (!bone.weights.empty() || skin.hasVertexWeights)
            bone.numVertices = static_cast<uint16_t>(bone.weights.size());
    }
}

void RemoveVertices(NiSkinPartition& skin, const std::vector<uint16_t>& indices) {
    if (indices.empty()) return;
    int32_t removedTotal = 0;
    const std::vector<int32_t> global = Shift(indices, size_t{indices.back()} + 1, removedTotal);
    for (SkinPartition& p : skin.partitions) {
        if (!p.hasVertexMap || !p.stripLengths.empty()) continue;
        // The partition's own numbering: its vertices in vertex-map order.
        std::vector<int32_t> local(p.vertexMap.size());
        int32_t r = 0;
        for (size_t i = 0; i < p.vertexMap.size(); ++i) {
            const uint16_t g = p.vertexMap[i];
            local[i] = g < global.size() && global[g] == -1 ? -1 : r;
            if (local[i] == -1) ++r;
        }
        if (r == 0) {
            for (uint16_t& g : p.vertexMap)
                g = static_cast<uint16_t>(g - (g < global.size() ? global[g] : removedTotal));
            continue;
        }
        const size_t w = p.numWeightsPerVertex;
        if (p.hasVertexWeights) EraseEvery(p.vertexWeights, local, w);
        if (p.hasBoneIndices) EraseEvery(p.boneIndices, local, w);
        EraseEvery(p.vertexMap, local);
        for (uint16_t& g : p.vertexMap)
            g = static_cast<uint16_t>(g - (g < global.size() ? global[g] : removedTotal));
        p.numVertices = static_cast<uint16_t>(p.vertexMap.size());
        if (p.hasFaces) {
            RenumberTriangles(p.triangles, local, r);
            p.numTriangles = static_cast<uint16_t>(p.triangles.size());
        }
    }
}
