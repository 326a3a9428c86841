#include "NifBlockTriShapeData.h"

#include "NifBlockHeader.h"
#include "VertexShift.h"

namespace {

bool HasMaterialCrc(uint32_t userVersion) { return userVersion == 12; }

template <typename T, typename ReadOne>
void ReadList(NifReader& in, uint32_t count, size_t size, const char* what, std::vector<T>& list,
              ReadOne readOne) {
    uint32_t n = in.Count(count, size, what);
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i) list.push_back((in.*readOne)());
}

}  // namespace

void NifBlockTriShapeData::Get(NifReader& in, const NifBlockHeader& header) {
    groupId = in.I32();
    numVertices = in.U16();
    keepFlags = in.U8();
    compressFlags = in.U8();
    hasVertices = in.U8();
    ReadList(in, numVertices, 12, "vertex", vertices, &NifReader::Vec3);
    vectorFlags = in.U16();
    if (HasMaterialCrc(header.userVersion)) materialCrc = in.U32();
    hasNormals = in.U8();
    if (NormalsPresent()) ReadList(in, numVertices, 12, "normal", normals, &NifReader::Vec3);
    if (TangentsPresent()) {
        ReadList(in, numVertices, 12, "tangent", tangents, &NifReader::Vec3);
        ReadList(in, numVertices, 12, "bitangent", bitangents, &NifReader::Vec3);
    }
    center = in.Vec3();
    radius = in.F32();
    hasVertexColors = in.U8();
    if (ColorsPresent()) ReadList(in, numVertices, 16, "colour", vertexColors, &NifReader::Col4);
    if (UVsPresent()) ReadList(in, numVertices, 8, "UV", uvSet, &NifReader::UV);
    consistencyFlags = in.U16();
    additionalData = in.I32();
    numTriangles = in.U16();
    numTrianglePoints = in.U32();
    hasTriangles = in.U8();
    if (TrianglesPresent()) ReadList(in, numTriangles, 6, "triangle", triangles, &NifReader::Tri);
    numMatchGroups = in.U16();
    uint32_t groups = in.Count(numMatchGroups, 2, "match group");
    for (uint32_t g = 0; g < groups; ++g) {
        MatchGroup group;
        group.numVertices = in.U16();
        ReadList(in, group.numVertices, 2, "match group vertex", group.vertexIndices,
                 &NifReader::U16);
        matchGroups.push_back(std::move(group));
    }
}

void NifBlockTriShapeData::Put(NifWriter& out, const NifBlockHeader& header) const {
    out.I32(groupId);
    out.U16(numVertices);
    out.U8(keepFlags);
    out.U8(compressFlags);
    out.U8(hasVertices);
    for (const Vector3& v : vertices) out.Vec3(v);
    out.U16(vectorFlags);
    if (HasMaterialCrc(header.userVersion)) out.U32(materialCrc);
    out.U8(hasNormals);
    if (NormalsPresent()) {
        for (const Vector3& v : normals) out.Vec3(v);
    }
    if (TangentsPresent()) {
        for (const Vector3& v : tangents) out.Vec3(v);
        for (const Vector3& v : bitangents) out.Vec3(v);
    }
    out.Vec3(center);
    out.F32(radius);
    out.U8(hasVertexColors);
    if (ColorsPresent()) {
        for (const Color4& c : vertexColors) out.Col4(c);
    }
    if (UVsPresent()) {
        for (const TexCoord& t : uvSet) out.UV(t);
    }
    out.U16(consistencyFlags);
    out.I32(additionalData);
    out.U16(numTriangles);
    out.U32(numTrianglePoints);
    out.U8(hasTriangles);
    if (TrianglesPresent()) {
        for (const Triangle& t : triangles) out.Tri(t);
    }
    out.U16(numMatchGroups);
    for (const MatchGroup& g : matchGroups) {
        out.U16(g.numVertices);
        for (uint16_t i : g.vertexIndices) out.U16(i);
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
