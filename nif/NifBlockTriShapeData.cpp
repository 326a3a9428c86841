#include "NifBlockTriShapeData.h"

#include "NifBlockHeader.h"
#include "VertexShift.h"

namespace {

bool HasMaterialCrc(uint32_t userVersion) {
    return userVersion == 12;
}

}  // namespace

void NifBlockTriShapeData::Get(NifReader& in, const NifBlockHeader& header) {
    groupId = in.I32();
    numVertices = in.U16();
    keepFlags = in.U8();
    compressFlags = in.U8();
    hasVertices = in.U8();
    in.Array(vertices, numVertices, "vertex");
    vectorFlags = in.U16();
    if (HasMaterialCrc(header.userVersion)) materialCrc = in.U32();
    hasNormals = in.U8();
    if (NormalsPresent()) in.Array(normals, numVertices, "normal");
    if (TangentsPresent()) {
        in.Array(tangents, numVertices, "tangent");
        in.Array(bitangents, numVertices, "bitangent");
    }
    center = in.Vec3();
    radius = in.F32();
    hasVertexColors = in.U8();
    if (ColorsPresent()) in.Array(vertexColors, numVertices, "colour");
    if (UVsPresent()) in.Array(uvSet, numVertices, "UV");
    consistencyFlags = in.U16();
    additionalData = in.I32();
    numTriangles = in.U16();
    numTrianglePoints = in.U32();
    hasTriangles = in.U8();
    if (TrianglesPresent()) in.Array(triangles, numTriangles, "triangle");
    numMatchGroups = in.U16();
    uint32_t groups = in.Count(numMatchGroups, 2, "match group");
    for (uint32_t g = 0; g < groups; ++g) {
        MatchGroup group;
        group.numVertices = in.U16();
        in.Array(group.vertexIndices, group.numVertices, "match group vertex");
        matchGroups.push_back(std::move(group));
    }
}

void NifBlockTriShapeData::Put(NifWriter& out, const NifBlockHeader& header) const {
    out.I32(groupId);
    out.U16(numVertices);
    out.U8(keepFlags);
    out.U8(compressFlags);
    out.U8(hasVertices);
    out.Array(vertices);
    out.U16(vectorFlags);
    if (HasMaterialCrc(header.userVersion)) out.U32(materialCrc);
    out.U8(hasNormals);
    if (NormalsPresent()) out.Array(normals);
    if (TangentsPresent()) {
        out.Array(tangents);
        out.Array(bitangents);
    }
    out.Vec3(center);
    out.F32(radius);
    out.U8(hasVertexColors);
    if (ColorsPresent()) out.Array(vertexColors);
    if (UVsPresent()) out.Array(uvSet);
    out.U16(consistencyFlags);
    out.I32(additionalData);
    out.U16(numTriangles);
    out.U32(numTrianglePoints);
    out.U8(hasTriangles);
    if (TrianglesPresent()) out.Array(triangles);
    out.U16(numMatchGroups);
    for (const MatchGroup& g : matchGroups) {
        out.U16(g.numVertices);
        out.Array(g.vertexIndices);
    }
}

void NifBlockTriShapeData::notifyBlockDelete(const BlockRemap& remap) {
    remap.Repair(additionalData);
}

void NifBlockTriShapeData::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    if (userVersion == 12) {
        materialCrc = 0;
        blockSize += 4;
    }
    if (userVersion == 11) blockSize -= 4;
}

void NifBlockTriShapeData::DropNormals() {
    if (NormalsPresent()) {
        size_t written = normals.size();
        if (TangentsPresent()) written += tangents.size() + bitangents.size();
        blockSize -= static_cast<uint32_t>(12 * written);
    }
    hasNormals = 0;
    normals.clear();
    tangents.clear();
    bitangents.clear();
    if (vectorFlags != 0) vectorFlags = 1;
}

namespace {

template <typename T>
void EraseAt(std::vector<T>& list, size_t j) {
    if (j < list.size()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
}

}  // namespace

void NifBlockTriShapeData::notifyVerticesDelete(const std::vector<uint16_t>& indices) {
    if (indices.empty()) return;
    int32_t removed = 0;
    const std::vector<int32_t> shift = BuildVertexShift(indices, vertices.size(), &removed);
    if (removed == 0) return;

    // Per-vertex entries of the lists the body writes, and their sizes in the file.
    const uint32_t perVertex = 12 + (NormalsPresent() ? 12 : 0) + (TangentsPresent() ? 24 : 0) +
                               (ColorsPresent() ? 16 : 0) + (UVsPresent() ? 8 : 0);
    for (size_t j = vertices.size(); j-- > 0;) {
        if (shift[j] != -1) continue;
        EraseAt(vertices, j);
        EraseAt(normals, j);
        EraseAt(tangents, j);
        EraseAt(bitangents, j);
        EraseAt(vertexColors, j);
        EraseAt(uvSet, j);
        --numVertices;
        blockSize -= perVertex;
    }

    if (!TrianglesPresent()) return;
    for (size_t t = triangles.size(); t-- > 0;) {
        Triangle& tri = triangles[t];
        uint16_t* corners[3] = {&tri.v1, &tri.v2, &tri.v3};
        bool drop = false;
        for (uint16_t* c : corners) {
            if (*c < shift.size() && shift[*c] == -1) drop = true;
        }
        if (drop) {
            triangles.erase(triangles.begin() + static_cast<std::ptrdiff_t>(t));
            --numTriangles;
            numTrianglePoints -= 3;
            blockSize -= 6;
            continue;
        }
        for (uint16_t* c : corners) {
            int32_t s = *c < shift.size() ? shift[*c] : removed;
            *c = static_cast<uint16_t>(*c - s);
        }
    }
}
