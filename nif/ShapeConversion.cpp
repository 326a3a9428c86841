#include "ShapeConversion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <map>

#include "BlockCopy.h"
#include "Geometry.h"
#include "Shaders.h"
#include "Visitors.h"

namespace {

constexpr uint16_t kNewBoneSet = 230;  // the head's bone set in head parts
constexpr uint32_t kFacegenDetailMap = 0x400;
constexpr uint16_t kStaticConsistency = 0x4000;

NiSkinPartition* PartitionOf(const NifFile& file, BlockRef skin) {
    const auto* instance = file.BlockAs<NiSkinInstance>(skin);
    return instance ? file.BlockAs<NiSkinPartition>(instance->skinPartition) : nullptr;
}

std::string ShapeName(const NifFile& file, uint32_t index) {
    return "\"" + file.NameOf(index) + "\"";
}

uint16_t GlobalVertex(const SkinPartition& p, size_t local) {
    return p.hasVertexMap && local < p.vertexMap.size() ? p.vertexMap[local]
                                                        : static_cast<uint16_t>(local);
}

// The packed weights and bone indices of a partition's vertex.
struct VertexSkin {
    std::array<uint16_t, 4> weights{};
    std::array<uint8_t, 4> bones{};
    bool operator==(const VertexSkin&) const = default;
};

VertexSkin SkinOfVertex(const SkinPartition& p, size_t local) {
    VertexSkin s;
    const size_t w = p.numWeightsPerVertex;
    for (size_t k = 0; k < w && k < 4; ++k) {
        const size_t at = local * w + k;
        if (p.hasVertexWeights && at < p.vertexWeights.size())
            s.weights[k] = FloatToHalf(p.vertexWeights[at]);
        if (p.hasBoneIndices && at < p.boneIndices.size()) s.bones[k] = p.boneIndices[at];
    }
    return s;
}

// A triangle's key that ignores where its corners start (the winding stays).
std::array<uint16_t, 3> TriangleKey(const Triangle& t) {
    if (t.v1 <= t.v2 && t.v1 <= t.v3) return {t.v1, t.v2, t.v3};
    if (t.v2 <= t.v1 && t.v2 <= t.v3) return {t.v2, t.v3, t.v1};
    return {t.v3, t.v1, t.v2};
}

struct PackedGeometry {
    uint16_t attributes = 0;
    std::vector<PackedVertex> records;
    std::vector<Triangle> triangles;
};

PackedGeometry PackData(const NiTriBasedGeomData& d, std::vector<Triangle> triangles) {
    PackedGeometry g;
    const size_t n = d.numVertices;
    const bool tangents = d.HasTangents() && d.tangents.size() == n && d.bitangents.size() == n;
    g.attributes = kVaVertex;
    if ((d.dataFlags & 1) && d.uvs.size() == n) g.attributes |= kVaUV;
    if (d.hasNormals && d.normals.size() == n) g.attributes |= kVaNormal;
    if (tangents && (g.attributes & kVaNormal)) g.attributes |= kVaTangent;
    if (d.hasVertexColors && d.vertexColors.size() == n) g.attributes |= kVaColor;
    g.records.resize(n);
    for (size_t k = 0; k < n; ++k) {
        PackedVertex& r = g.records[k];
        if (k < d.vertices.size()) r.position = d.vertices[k];
        if (g.attributes & kVaUV) {
            r.uv[0] = FloatToHalf(d.uvs[k].u);
            r.uv[1] = FloatToHalf(d.uvs[k].v);
        }
        if (g.attributes & kVaNormal) {
            r.normal[0] = UnitToByte(d.normals[k].x);
            r.normal[1] = UnitToByte(d.normals[k].y);
            r.normal[2] = UnitToByte(d.normals[k].z);
        }
        if (g.attributes & kVaTangent) {
            r.w = std::bit_cast<uint32_t>(d.bitangents[k].x);
            r.bitangentY = UnitToByte(d.bitangents[k].y);
            r.bitangentZ = UnitToByte(d.bitangents[k].z);
            r.tangent[0] = UnitToByte(d.tangents[k].x);
            r.tangent[1] = UnitToByte(d.tangents[k].y);
            r.tangent[2] = UnitToByte(d.tangents[k].z);
        }
        if (g.attributes & kVaColor) {
            const Color4& c = d.vertexColors[k];
            r.color[0] = ColorToByte(c.r);
            r.color[1] = ColorToByte(c.g);
            r.color[2] = ColorToByte(c.b);
            r.color[3] = ColorToByte(c.a);
        }
    }
    g.triangles = std::move(triangles);
    return g;
}

// Gives every record the weights and bones of its partition. A vertex that two partitions
// weight differently is copied for the later one, whose triangles (in the partition and in
// the shape) move to the copy; the skin data weights the copy as the original.
void PackSkin(NiSkinPartition& skin, NiSkinData* skinData, PackedGeometry& g) {
    g.attributes |= kVaSkinned;
    const size_t original = g.records.size();
    std::vector<bool> assigned(original, false);
    std::map<std::array<uint16_t, 3>, std::vector<size_t>> shapeTriangles;
    std::vector<std::pair<uint16_t, uint16_t>> copies;  // original, copy
    for (size_t t = 0; t < g.triangles.size(); ++t)
        shapeTriangles[TriangleKey(g.triangles[t])].push_back(t);
    for (SkinPartition& p : skin.partitions) {
        if (!p.stripLengths.empty()) {
            p.triangles = StripsToTriangles(p.strips);
            p.strips.clear();
            p.stripLengths.clear();
            p.numTriangles = static_cast<uint16_t>(p.triangles.size());
            p.hasFaces = 1;
        }
        std::vector<uint16_t> final(p.numVertices);
        std::map<uint16_t, uint16_t> moved;
        for (size_t j = 0; j < p.numVertices; ++j) {
            const uint16_t v = GlobalVertex(p, j);
            final[j] = v;
            if (v >= original) continue;
            const VertexSkin s = SkinOfVertex(p, j);
            PackedVertex* r = &g.records[v];
            if (assigned[v] &&
                (VertexSkin{std::to_array(r->weights), std::to_array(r->bones)} != s)) {
                if (g.records.size() >= 0xFFFF) continue;
                final[j] = static_cast<uint16_t>(g.records.size());
                moved[v] = final[j];
                copies.emplace_back(v, final[j]);
                g.records.push_back(*r);
                r = &g.records.back();
            }
            assigned[v] = true;
            std::copy(s.weights.begin(), s.weights.end(), r->weights);
            std::copy(s.bones.begin(), s.bones.end(), r->bones);
        }
        if (!moved.empty()) {
            p.hasVertexMap = 1;
            p.vertexMap = final;
        }
        p.trianglesCopy.clear();
        for (const Triangle& t : p.triangles) {
            const auto at = [&](uint16_t local) {
                return local < final.size() ? final[local] : local;
            };
            const Triangle global{at(t.v1), at(t.v2), at(t.v3)};
            p.trianglesCopy.push_back(global);
            if (moved.empty()) continue;
            const Triangle before{GlobalVertex(p, t.v1), GlobalVertex(p, t.v2),
                                  GlobalVertex(p, t.v3)};
            auto found = shapeTriangles.find(TriangleKey(before));
            if (found == shapeTriangles.end() || found->second.empty()) continue;
            Triangle& shape = g.triangles[found->second.back()];
            found->second.pop_back();
            for (uint16_t* corner : {&shape.v1, &shape.v2, &shape.v3}) {
                const auto m = moved.find(*corner);
                if (m != moved.end()) *corner = m->second;
            }
        }
    }
    if (skinData && !copies.empty()) {
        for (BoneData& bone : skinData->bones) {
            const size_t count = bone.weights.size();
            for (size_t k = 0; k < count; ++k) {
                for (const auto& [from, to] : copies)
                    if (bone.weights[k].index == from)
                        bone.weights.push_back({to, bone.weights[k].weight});
            }
            if (skinData->hasVertexWeights)
                bone.numVertices = static_cast<uint16_t>(bone.weights.size());
        }
    }
}

std::unique_ptr<BSTriShape> NewPackedShape(const NiObject& from, bool dynamic) {
    if (dynamic) return std::make_unique<BSDynamicTriShape>();
    if (from.Type() == TypeId::BSSegmentedTriShape) {
        auto s = std::make_unique<BSSubIndexTriShape>();
        s->segments = static_cast<const BSSegmentedTriShape&>(from).segments;
        return s;
    }
    return std::make_unique<BSTriShape>();
}

void PackShape(NifFile& file, uint32_t index, std::vector<BlockRef>& oldData) {
    const auto& shape = static_cast<const NiTriBasedGeom&>(*file.blocks[index]);
    const auto* data = file.BlockAs<NiTriBasedGeomData>(shape.data);
    std::vector<Triangle> triangles;
    if (const auto* tris = As<NiTriShapeData>(data); tris && tris->hasTriangles)
        triangles = tris->triangles;
    if (const auto* strips = As<NiTriStripsData>(data); strips && strips->hasPoints)
        triangles = StripsToTriangles(strips->points);
    PackedGeometry g = data ? PackData(*data, std::move(triangles)) : PackedGeometry{};
    NiSkinPartition* skin = PartitionOf(file, shape.skinInstance);
    if (skin) {
        const auto* instance = file.BlockAs<NiSkinInstance>(shape.skinInstance);
        PackSkin(*skin, file.BlockAs<NiSkinData>(instance->data), g);
    }
    const bool dynamic = IsHeadPart(file, shape.shaderProperty, shape.skinInstance);
    auto packed = NewPackedShape(shape, dynamic);
    static_cast<NiAVObject&>(*packed) = static_cast<const NiAVObject&>(shape);
    packed->properties.clear();
    if (data) packed->bound = data->bound;
    packed->skin = shape.skinInstance;
    packed->shaderProperty = shape.shaderProperty;
    packed->alphaProperty = shape.alphaProperty;
    const uint16_t attributes = dynamic ? g.attributes & ~kVaVertex : g.attributes;
    packed->vertexDesc = MakeVertexDesc(attributes);
    packed->numVertices = static_cast<uint16_t>(g.records.size());
    packed->numTriangles = static_cast<uint16_t>(g.triangles.size());
    const uint32_t size = DescVertexSize(packed->vertexDesc);
    if (dynamic) {
        auto& d = static_cast<BSDynamicTriShape&>(*packed);
        for (const PackedVertex& r : g.records)
            d.dynamicVertices.push_back(
                {r.position.x, r.position.y, r.position.z, std::bit_cast<float>(r.w)});
    }
    if (skin) {
        skin->vertexDesc = packed->vertexDesc;
        skin->vertexSize = size;
        skin->dataSize = size * packed->numVertices;
        skin->vertexData = {g.records, {}};
        if (skin->dataSize == 0) skin->vertexData.records.clear();
        for (SkinPartition& p : skin->partitions) p.vertexDesc = packed->vertexDesc;
    }
    // A skinned head part keeps its vertices in the skin partition only.
    if (!(dynamic && skin)) {
        packed->dataSize = size * packed->numVertices + 6u * packed->numTriangles;
        if (packed->dataSize > 0) {
            packed->triangles = g.triangles;
            if (size > 0) {
                packed->vertexData.records = std::move(g.records);
            }
        }
    }
    if (shape.data != kNoBlock) oldData.push_back(shape.data);
    file.ReplaceBlock(index, std::move(packed));
}

// The records of a packed shape: its own, or its skin partition's copy.
const std::vector<PackedVertex>* RecordsOf(const NifFile& file, const BSTriShape& s,
                                           uint16_t& attributes) {
    if (s.dataSize > 0 && s.vertexData.Decoded(s.vertexDesc) &&
        s.vertexData.records.size() == s.numVertices) {
        attributes = VertexAttributes(s.vertexDesc);
        return &s.vertexData.records;
    }
    const NiSkinPartition* skin = PartitionOf(file, s.skin);
    if (skin && skin->dataSize > 0 && skin->RecordsDecoded() &&
        skin->vertexData.records.size() >= s.numVertices) {
        attributes = VertexAttributes(skin->vertexDesc);
        return &skin->vertexData.records;
    }
    return nullptr;
}

std::unique_ptr<NiTriShapeData> UnpackData(const NifFile& file, const BSTriShape& s) {
    auto d = std::make_unique<NiTriShapeData>();
    uint16_t a = 0;
    static const std::vector<PackedVertex> kNone;
    const std::vector<PackedVertex>* found = RecordsOf(file, s, a);
    const std::vector<PackedVertex>& records = found ? *found : kNone;
    const size_t n = std::min<size_t>(s.numVertices, records.size());
    const auto* dynamic = As<BSDynamicTriShape>(&s);
    const bool dynamicPositions = dynamic && dynamic->dynamicVertices.size() >= n;
    const bool tangents = (a & (kVaNormal | kVaTangent)) == (kVaNormal | kVaTangent);
    d->numVertices = static_cast<uint16_t>(n);
    d->hasNormals = (a & kVaNormal) ? 1 : 0;
    d->dataFlags = static_cast<uint16_t>(((a & kVaUV) ? 1 : 0) | (tangents ? 0x1000 : 0));
    d->hasVertexColors = (a & kVaColor) ? 1 : 0;
    d->bound = s.bound;
    d->consistencyFlags = s.skin == kNoBlock ? kStaticConsistency : 0;
    for (size_t k = 0; k < n; ++k) {
        const PackedVertex& r = records[k];
        float bitangentX = std::bit_cast<float>(r.w);
        if (dynamicPositions) {
            const Vector4& p = dynamic->dynamicVertices[k];
            d->vertices.push_back({p.x, p.y, p.z});
            if (!(a & kVaVertex)) bitangentX = p.w;
        } else {
            d->vertices.push_back(r.position);
        }
        if (a & kVaNormal)
            d->normals.push_back(
                {ByteToUnit(r.normal[0]), ByteToUnit(r.normal[1]), ByteToUnit(r.normal[2])});
        if (tangents) {
            d->tangents.push_back(
                {ByteToUnit(r.tangent[0]), ByteToUnit(r.tangent[1]), ByteToUnit(r.tangent[2])});
            d->bitangents.push_back(
                {bitangentX, ByteToUnit(r.bitangentY), ByteToUnit(r.bitangentZ)});
        }
        if (a & kVaColor)
            d->vertexColors.push_back({r.color[0] / 255.0f, r.color[1] / 255.0f,
                                       r.color[2] / 255.0f, r.color[3] / 255.0f});
        if (a & kVaUV) d->uvs.push_back({HalfToFloat(r.uv[0]), HalfToFloat(r.uv[1])});
    }
    if (s.dataSize > 0) {
        d->triangles = s.triangles;
    } else if (const NiSkinPartition* skin = PartitionOf(file, s.skin)) {
        for (const SkinPartition& p : skin->partitions)
            d->triangles.insert(d->triangles.end(), p.trianglesCopy.begin(), p.trianglesCopy.end());
    }
    d->numTriangles = static_cast<uint16_t>(d->triangles.size());
    d->numTrianglePoints = 3u * d->numTriangles;
    d->hasTriangles = 1;
    return d;
}

// Partitions and skin data that hold no weights get them from the packed records; the
// partition's packed copy leaves.
void UnpackSkin(const NifFile& file, const BSTriShape& s) {
    NiSkinPartition* skin = PartitionOf(file, s.skin);
    if (!skin) return;
    uint16_t a = 0;
    const std::vector<PackedVertex>* records = RecordsOf(file, s, a);
    if (records && (a & kVaSkinned)) {
        const auto* instance = file.BlockAs<NiSkinInstance>(s.skin);
        auto* skinData = file.BlockAs<NiSkinData>(instance->data);
        const bool fillData = skinData && !skinData->hasVertexWeights;
        for (SkinPartition& p : skin->partitions) {
            const bool fillPartition = !p.hasVertexWeights || !p.hasBoneIndices;
            if (fillPartition) {
                p.numWeightsPerVertex = 4;
                p.hasVertexWeights = p.hasBoneIndices = 1;
                p.vertexWeights.clear();
                p.boneIndices.clear();
            }
            for (size_t j = 0; j < p.numVertices; ++j) {
                const uint16_t v = GlobalVertex(p, j);
                const PackedVertex r = v < records->size() ? (*records)[v] : PackedVertex{};
                for (size_t k = 0; k < 4; ++k) {
                    const float weight = HalfToFloat(r.weights[k]);
                    if (fillPartition) {
                        p.vertexWeights.push_back(weight);
                        p.boneIndices.push_back(r.bones[k]);
                    }
                    if (fillData && weight > 0 && r.bones[k] < p.bones.size() &&
                        p.bones[r.bones[k]] < skinData->bones.size())
                        skinData->bones[p.bones[r.bones[k]]].weights.push_back({v, weight});
                }
            }
        }
        if (fillData) {
            skinData->hasVertexWeights = 1;
            for (BoneData& bone : skinData->bones)
                bone.numVertices = static_cast<uint16_t>(bone.weights.size());
        }
    }
    skin->dataSize = skin->vertexSize = 0;
    skin->vertexDesc = 0;
    skin->vertexData = {};
    for (SkinPartition& p : skin->partitions) {
        p.vertexDesc = 0;
        p.trianglesCopy.clear();
    }
}

// Blocks of the list that no block refers to any more, with the additional data only they
// referred to.

bool Packable(const NiObject& b) {
    const TypeId t = b.Type();
    return t == TypeId::NiTriShape || t == TypeId::NiTriStrips || t == TypeId::BSSegmentedTriShape;
}

}  // namespace

bool IsHeadPart(const NifFile& file, BlockRef shader, BlockRef skin) {
    if (const auto* s = file.BlockAs<BSLightingShaderProperty>(shader);
        s && (s->header.flags1 & kFacegenDetailMap))
        return true;
    if (const auto* d = file.BlockAs<BSDismemberSkinInstance>(skin)) {
        for (const BodyPartList& p : d->partitions)
            if (p.bodyPart == kNewBoneSet) return true;
    }
    return false;
}

// Each window of three points, every second one turned to keep the winding; windows that
// repeat a point (the joins between strips) draw nothing and are left out.
std::vector<Triangle> StripsToTriangles(const std::vector<std::vector<uint16_t>>& strips) {
    std::vector<Triangle> triangles;
    for (const auto& s : strips) {
        for (size_t i = 2; i < s.size(); ++i) {
            const Triangle t = i % 2 == 0 ? Triangle{s[i - 2], s[i - 1], s[i]}
                                          : Triangle{s[i - 2], s[i], s[i - 1]};
            if (t.v1 != t.v2 && t.v2 != t.v3 && t.v1 != t.v3) triangles.push_back(t);
        }
    }
    return triangles;
}

std::string CheckShapesConvertible(const NifFile& file, uint8_t to) {
    const uint8_t from = file.Form();
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        const NiObject& b = *file.blocks[i];
        if (to == kForm100 && from != kForm100 && Packable(b)) {
            const auto& shape = static_cast<const NiGeometry&>(b);
            const NiSkinPartition* skin = PartitionOf(file, shape.skinInstance);
            for (size_t k = 0; skin && k < skin->partitions.size(); ++k) {
                const SkinPartition& p = skin->partitions[k];
                if (p.numWeightsPerVertex > 4)
                    return "shape " + ShapeName(file, i) + ": partition " + std::to_string(k) +
                           " has " + std::to_string(p.numWeightsPerVertex) +
                           " weights per vertex; the Special Edition's vertex holds 4";
            }
        }
        const auto* s = As<BSTriShape>(&b);
        if (to != kForm100 && from == kForm100 && s && s->numVertices > 0) {
            uint16_t a = 0;
            if (!RecordsOf(file, *s, a))
                return "shape " + ShapeName(file, i) +
                       ": its vertex records are of a layout Pellmar does not know "
                       "(description 0x" +
                       [](uint64_t d) {
                           char text[20];
                           snprintf(text, sizeof text, "%016llx",
                                    static_cast<unsigned long long>(d));
                           return std::string(text);
                       }(s->vertexDesc) +
                       ")";
        }
    }
    return {};
}

void PackShapes(NifFile& file, std::vector<std::string>& notes) {
    std::vector<BlockRef> oldData;
    size_t strips = 0, heads = 0;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        if (!Packable(*file.blocks[i])) continue;
        strips += file.blocks[i]->Type() == TypeId::NiTriStrips;
        PackShape(file, i, oldData);
        heads += file.blocks[i]->Type() == TypeId::BSDynamicTriShape;
    }
    if (strips != 0) notes.push_back(std::to_string(strips) + " NiTriStrips became triangle lists");
    if (heads != 0)
        notes.push_back(std::to_string(heads) + " head part shape(s) became BSDynamicTriShape");
    file.DeleteBlocks(UnownedBlocks(file, std::vector<uint32_t>(oldData.begin(), oldData.end())));
}

void UnpackShapes(NifFile& file, std::vector<std::string>& notes) {
    size_t heads = 0;
    const size_t count = file.blocks.size();
    for (uint32_t i = 0; i < count; ++i) {
        const auto* s = As<BSTriShape>(file.blocks[i].get());
        if (!s) continue;
        heads += s->Type() == TypeId::BSDynamicTriShape;
        // The data first: it may read the partition's copy of the records, which then leaves.
        std::unique_ptr<NiTriShapeData> data = UnpackData(file, *s);
        UnpackSkin(file, *s);
        std::unique_ptr<NiTriShape> shape;
        if (const auto* sub = As<BSSubIndexTriShape>(s); sub && !sub->segments.empty()) {
            auto segmented = std::make_unique<BSSegmentedTriShape>();
            segmented->segments = sub->segments;
            shape = std::move(segmented);
        } else {
            shape = std::make_unique<NiTriShape>();
        }
        static_cast<NiAVObject&>(*shape) = static_cast<const NiAVObject&>(*s);
        shape->skinInstance = s->skin;
        shape->shaderProperty = s->shaderProperty;
        shape->alphaProperty = s->alphaProperty;
        shape->data = file.AppendBlock(std::move(data));
        file.ReplaceBlock(i, std::move(shape));
    }
    if (heads != 0) notes.push_back(std::to_string(heads) + " BSDynamicTriShape became NiTriShape");
}
