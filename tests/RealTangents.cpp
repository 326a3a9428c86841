#include "RealTangents.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "Geometry.h"
#include "MeshMath.h"

namespace {

Vector3 Unit3(const uint8_t (&b)[3]) {
    return {ByteToUnit(b[0]), ByteToUnit(b[1]), ByteToUnit(b[2])};
}

// A packed shape's records: its own, or those of its skin partition, whose triangles (in
// shape-vertex numbering) then stand for the shape's.
bool ReadPacked(const NifFile& file, const BSTriShape& s, TangentShape& out) {
    const std::vector<PackedVertex>* records = nullptr;
    uint64_t desc = s.vertexDesc;
    std::vector<Triangle> triangles;
    if (s.dataSize > 0 && s.vertexData.Decoded(s.vertexDesc)) {
        records = &s.vertexData.records;
        triangles = s.triangles;
    } else if (const auto* instance = file.BlockAs<NiSkinInstance>(s.skin)) {
        const auto* skin = file.BlockAs<NiSkinPartition>(instance->skinPartition);
        if (!skin || skin->dataSize == 0 || !skin->RecordsDecoded()) return false;
        records = &skin->vertexData.records;
        desc = skin->vertexDesc;
        for (const SkinPartition& p : skin->partitions)
            triangles.insert(triangles.end(), p.trianglesCopy.begin(), p.trianglesCopy.end());
    }
    const uint16_t a = VertexAttributes(desc);
    constexpr uint16_t kNeeded = kVaVertex | kVaUV | kVaNormal | kVaTangent;
    if (!records || (a & kNeeded) != kNeeded) return false;
    for (const PackedVertex& r : *records) {
        out.positions.push_back(r.position);
        out.uvs.push_back({HalfToFloat(r.uv[0]), HalfToFloat(r.uv[1])});
        out.normals.push_back(Unit3(r.normal));
        out.tangents.push_back(Unit3(r.tangent));
        out.bitangents.push_back(
            {std::bit_cast<float>(r.w), ByteToUnit(r.bitangentY), ByteToUnit(r.bitangentZ)});
    }
    out.triangles = std::move(triangles);
    return true;
}

}  // namespace

std::vector<TangentShape> TangentShapesOf(const NifFile& file) {
    std::vector<TangentShape> shapes;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        TangentShape shape;
        shape.name = file.NameOf(i);
        const NiObject* block = file.blocks[i].get();
        if (const auto* g = As<NiTriBasedGeom>(block)) {
            const auto* d = file.BlockAs<NiTriBasedGeomData>(g->data);
            const size_t n = d ? d->vertices.size() : 0;
            if (n == 0 || !d->HasTangents() || !(d->dataFlags & 1) || d->normals.size() != n ||
                d->uvs.size() != n || d->tangents.size() != n || d->bitangents.size() != n)
                continue;
            shape.positions = d->vertices;
            shape.normals = d->normals;
            shape.uvs = d->uvs;
            shape.tangents = d->tangents;
            shape.bitangents = d->bitangents;
            shape.triangles = TrianglesOf(*d);
        } else if (const auto* s = As<BSTriShape>(block)) {
            if (As<BSDynamicTriShape>(block) || !ReadPacked(file, *s, shape)) continue;
        } else {
            continue;
        }
        // Triangles naming vertices past the end would make the comparison meaningless.
        const size_t n = shape.positions.size();
        const bool inRange =
            std::all_of(shape.triangles.begin(), shape.triangles.end(),
                        [n](const Triangle& t) { return t.v1 < n && t.v2 < n && t.v3 < n; });
        if (n > 0 && !shape.triangles.empty() && inRange) shapes.push_back(std::move(shape));
    }
    return shapes;
}

std::string HeaderText(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

bool WrittenByTheGamesExporter(const NifFile& file) {
    return (file.Form() & kFormsGame) && !HeaderText(file.header.creator).empty() &&
           HeaderText(file.header.exportInfo1).empty();
}

double AngleBetween(const Vector3& a, const Vector3& b) {
    const double la = std::hypot(double{a.x}, double{a.y}, double{a.z});
    const double lb = std::hypot(double{b.x}, double{b.y}, double{b.z});
    if (!(la > 0) || !(lb > 0)) return 180.0;
    const double c = (double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z) / (la * lb);
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
}

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    const size_t k = std::min(values.size() - 1, static_cast<size_t>(q * values.size()));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

TangentError RegenerationError(const TangentShape& shape) {
    std::vector<Vector3> tangents, bitangents;
    GenerateTangents(shape.positions, shape.normals, shape.uvs, shape.triangles, tangents,
                     bitangents);
    TangentError e;
    for (size_t k = 0; k < shape.positions.size(); ++k) {
        e.tangent.push_back(AngleBetween(tangents[k], shape.tangents[k]));
        e.bitangent.push_back(AngleBetween(bitangents[k], shape.bitangents[k]));
    }
    return e;
}
