#include "ShapeConversion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <map>

#include "BlockCopy.h"
#include "Geometry.h"
#include "Shaders.h"
#include "ShapeView.h"
#include "Visitors.h"

namespace {

constexpr uint16_t kNewBoneSet = 230;  // the head's bone set in head parts
constexpr uint16_t kStaticConsistency = 0x4000;

NiSkinPartition* PartitionOf(const NifFile& file, BlockRef skin) {
    const auto* instance = file.BlockAs<NiSkinInstance>(skin);
    return instance ? file.BlockAs<NiSkinPartition>(instance->skinPartition) : nullptr;
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

// A partition's faces as the Special Edition keeps them: one triangle list (strips made into
// one) numbered by the shape's vertices, and the copy of it that form keeps beside the list.
void SpecialEditionFaces(SkinPartition& p) {
    if (!p.stripLengths.empty()) {
        p.triangles = StripsToTriangles(p.strips);
        p.strips.clear();
        p.stripLengths.clear();
    }
    p.numTriangles = static_cast<uint16_t>(p.triangles.size());
    p.hasFaces = 1;
    for (Triangle& t : p.triangles)
        t = {p.ShapeVertex(t.v1), p.ShapeVertex(t.v2), p.ShapeVertex(t.v3)};
    p.trianglesCopy = p.triangles;
}

// The Special Edition's skin: every record holds its vertex's four weights with indices into
// the skin's bone list, so a vertex that several partitions share is stored once and the
// vertex count and order stay as they are. Each partition lists every bone of the skin, keeps
// its vertex map and weights (by the same bone indices) and its triangles both in its own
// numbering and in the shape's.
void PackSkin(const ShapeView& view, NiSkinPartition& skin, PackedGeometry& g) {
    g.attributes |= kVaSkinned;
    const size_t n = g.records.size();
    // Each vertex's four slots: the skin bone and its weight, unrounded for the partitions.
    using Slots = std::array<std::pair<uint8_t, float>, 4>;
    std::vector<Slots> slots(n);
    {
        const VertexWeights weights = view.Weights();
        std::vector<std::pair<uint16_t, float>> all;
        for (size_t v = 0; v < n && v < weights.Vertices(); ++v) {
            all.clear();
            for (uint32_t e = weights.start[v]; e < weights.start[v + 1]; ++e)
                all.emplace_back(weights.entries[e].bone, weights.entries[e].weight);
            // More than four (only skin data can hold them): the heaviest four.
            if (all.size() > 4) {
                std::stable_sort(all.begin(), all.end(),
                                 [](const auto& a, const auto& b) { return a.second > b.second; });
                all.resize(4);
            }
            PackedVertex& r = g.records[v];
            for (size_t k = 0; k < all.size(); ++k) {
                slots[v][k] = {static_cast<uint8_t>(all[k].first), all[k].second};
                r.bones[k] = static_cast<uint8_t>(all[k].first);
                r.weights[k] = FloatToHalf(all[k].second);
            }
        }
    }
    const size_t numBones = view.SkinInstance() ? view.SkinInstance()->bones.size() : 0;
    std::vector<uint16_t> allBones(numBones);
    for (size_t b = 0; b < numBones; ++b) allBones[b] = static_cast<uint16_t>(b);
    for (SkinPartition& p : skin.partitions) {
        std::vector<uint16_t> map(p.numVertices);
        for (size_t j = 0; j < p.numVertices; ++j) map[j] = p.ShapeVertex(j);
        p.vertexMap = map;
        p.hasVertexMap = 1;
        p.bones = allBones;
        p.numWeightsPerVertex = 4;
        p.hasVertexWeights = p.hasBoneIndices = 1;
        p.vertexWeights.assign(size_t{p.numVertices} * 4, 0.0f);
        p.boneIndices.assign(size_t{p.numVertices} * 4, 0);
        for (size_t j = 0; j < p.numVertices; ++j) {
            if (map[j] >= n) continue;
            for (size_t k = 0; k < 4; ++k) {
                p.boneIndices[j * 4 + k] = slots[map[j]][k].first;
                p.vertexWeights[j * 4 + k] = slots[map[j]][k].second;
            }
        }
        SpecialEditionFaces(p);
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
    const ShapeView view(file, index);
    const NiTriBasedGeom& shape = *view.Geometry();
    const NiTriBasedGeomData* data = view.Data();
    PackedGeometry g = data ? PackData(*data, view.Triangles()) : PackedGeometry{};
    NiSkinPartition* skin = PartitionOf(file, shape.skinInstance);
    if (skin) PackSkin(view, *skin, g);
    if (auto* parts = file.BlockAs<BSDismemberSkinInstance>(shape.skinInstance); parts && skin)
        SetBoneSetFlags(*parts, *skin);
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
    const uint32_t size = DescVertexSize(packed->vertexDesc);
    const auto vertices = static_cast<uint16_t>(g.records.size());
    if (dynamic) {
        auto& d = static_cast<BSDynamicTriShape&>(*packed);
        for (const PackedVertex& r : g.records)
            d.dynamicVertices.push_back(
                {r.position.x, r.position.y, r.position.z, std::bit_cast<float>(r.w)});
    }
    if (skin) {
        // A skinned shape keeps its records and triangles in the partition only; a head part
        // still counts its dynamic positions.
        skin->vertexDesc = packed->vertexDesc;
        skin->vertexSize = size;
        skin->dataSize = size * vertices;
        skin->vertexData = {std::move(g.records), {}};
        if (skin->dataSize == 0) skin->vertexData.records.clear();
        for (SkinPartition& p : skin->partitions) p.vertexDesc = packed->vertexDesc;
        packed->numVertices = dynamic ? vertices : 0;
        packed->numTriangles = 0;
        packed->dataSize = 0;
    } else {
        packed->numVertices = vertices;
        packed->numTriangles = static_cast<uint16_t>(g.triangles.size());
        packed->dataSize = size * vertices + 6u * packed->numTriangles;
        if (packed->dataSize > 0) {
            packed->triangles = std::move(g.triangles);
            if (size > 0) packed->vertexData.records = std::move(g.records);
        }
    }
    if (shape.data != kNoBlock) oldData.push_back(shape.data);
    file.ReplaceBlock(index, std::move(packed));
}

std::unique_ptr<NiTriShapeData> UnpackData(const ShapeView& view) {
    auto d = std::make_unique<NiTriShapeData>();
    const size_t n = view.NumVertices();
    const bool tangents = view.HasTangents();
    d->numVertices = static_cast<uint16_t>(n);
    d->hasNormals = view.HasNormals() ? 1 : 0;
    const bool uvs = view.HasUVs();
    d->dataFlags = static_cast<uint16_t>((uvs ? 1 : 0) | (tangents ? 0x1000 : 0));
    d->hasVertexColors = view.HasColors() ? 1 : 0;
    d->bound = view.Packed()->bound;
    d->consistencyFlags = view.Skin() == kNoBlock ? kStaticConsistency : 0;
    d->vertices = view.Positions();
    for (size_t k = 0; k < n; ++k) {
        if (d->hasNormals) d->normals.push_back(view.Normal(k));
        if (tangents) {
            d->tangents.push_back(view.Tangent(k));
            d->bitangents.push_back(view.Bitangent(k));
        }
        if (d->hasVertexColors) d->vertexColors.push_back(view.Color(k));
        if (uvs) d->uvs.push_back(view.UV(k));
    }
    d->triangles = view.Triangles();
    d->numTriangles = static_cast<uint16_t>(d->triangles.size());
    d->numTrianglePoints = 3u * d->numTriangles;
    d->hasTriangles = 1;
    return d;
}

// Partitions and skin data that hold no weights get them from the packed records (whose bone
// indices name the skin's bones); the partition's packed copy leaves.
void UnpackSkin(NifFile& file, const ShapeView& view) {
    NiSkinPartition* skin = PartitionOf(file, view.Skin());
    if (!skin) return;
    const VertexWeights weights = view.Weights();
    auto* skinData = file.BlockAs<NiSkinData>(view.SkinInstance()->data);
    if (view.Packed() && view.NumVertices() > 0 && weights.Vertices() > 0) {
        const bool fillData = skinData && !skinData->hasVertexWeights;
        for (SkinPartition& p : skin->partitions) {
            if (p.hasVertexWeights && p.hasBoneIndices) continue;
            p.numWeightsPerVertex = 4;
            p.hasVertexWeights = p.hasBoneIndices = 1;
            p.vertexWeights.assign(size_t{p.numVertices} * 4, 0.0f);
            p.boneIndices.assign(size_t{p.numVertices} * 4, 0);
            for (size_t j = 0; j < p.numVertices; ++j) {
                const uint16_t v = p.ShapeVertex(j);
                if (v >= weights.Vertices()) continue;
                size_t k = 0;
                for (uint32_t e = weights.start[v]; e < weights.start[v + 1] && k < 4; ++e, ++k) {
                    const uint16_t bone = weights.entries[e].bone;
                    auto at = std::find(p.bones.begin(), p.bones.end(), bone);
                    if (at == p.bones.end()) at = p.bones.insert(p.bones.end(), bone);
                    p.boneIndices[j * 4 + k] = static_cast<uint8_t>(at - p.bones.begin());
                    p.vertexWeights[j * 4 + k] = weights.entries[e].weight;
                }
            }
        }
        if (fillData) {
            for (size_t v = 0; v < weights.Vertices(); ++v) {
                for (uint32_t e = weights.start[v]; e < weights.start[v + 1]; ++e) {
                    const BoneWeight& w = weights.entries[e];
                    if (w.bone < skinData->bones.size())
                        skinData->bones[w.bone].weights.push_back(
                            {static_cast<uint16_t>(v), w.weight});
                }
            }
            skinData->hasVertexWeights = 1;
            for (BoneData& bone : skinData->bones)
                bone.numVertices = static_cast<uint16_t>(bone.weights.size());
        }
    }
    skin->dataSize = skin->vertexSize = 0;
    skin->vertexDesc = 0;
    skin->vertexData = {};
    // The original edition numbers a partition's triangles by the partition's own vertices.
    for (SkinPartition& p : skin->partitions) {
        std::map<uint16_t, uint16_t> local;
        for (size_t j = 0; j < p.numVertices; ++j)
            local.emplace(p.ShapeVertex(j), static_cast<uint16_t>(j));
        const auto at = [&](uint16_t v) {
            const auto found = local.find(v);
            return found == local.end() ? v : found->second;
        };
        if (view.Packed()) {
            for (Triangle& t : p.triangles) t = {at(t.v1), at(t.v2), at(t.v3)};
        }
        p.vertexDesc = 0;
        ReleaseStorage(p.trianglesCopy);
    }
}

bool Packable(const NiObject& b) {
    const TypeId t = b.Type();
    return t == TypeId::NiTriShape || t == TypeId::NiTriStrips || t == TypeId::BSSegmentedTriShape;
}

}  // namespace

bool IsHeadPart(const NifFile& file, BlockRef shader, BlockRef skin) {
    if (const auto* s = file.BlockAs<BSLightingShaderProperty>(shader);
        s && (s->header.flags1 & shader_bits::kFacegenDetailMap))
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

namespace {

// The first value of a shape's data the Special Edition's records cannot hold, as text, or
// empty: normals, tangents and colours are bytes, UVs half floats. A value within half a step
// of the range (a normal of 1.002) rounds into it, as the content check allows; a NaN normal or
// colour has no byte, a NaN or infinite UV has its half float.
std::string UnstorableValue(const NiTriBasedGeomData& d) {
    const auto number = [](double x) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", x);
        return std::string(text);
    };
    const auto beyond = [&](const char* what, size_t v, double x, const char* range) {
        return std::string(what) +
               " beyond what the Special Edition's vertex records hold (vertex " +
               std::to_string(v) + ": " + number(x) + "; they hold " + range + ")";
    };
    const auto unit = [](double x) { return std::fabs(x) <= 1.0 + 1.0 / 255.0; };
    const auto colour = [](double x) { return x >= -0.5 / 255.0 && x <= 1.0 + 0.5 / 255.0; };
    const auto half = [](double x) { return !std::isfinite(x) || std::fabs(x) < 65520.0; };
    const size_t n = d.numVertices;
    const bool normals = d.hasNormals && d.normals.size() == n;
    const bool tangents = d.HasTangents() && d.tangents.size() == n && d.bitangents.size() == n;
    const bool uvs = (d.dataFlags & 1) && d.uvs.size() == n;
    const bool colours = d.hasVertexColors && d.vertexColors.size() == n;
    for (size_t v = 0; v < n; ++v) {
        if (normals) {
            for (float x : {d.normals[v].x, d.normals[v].y, d.normals[v].z})
                if (!unit(x)) return beyond("normals", v, x, "-1 to 1");
        }
        if (tangents) {
            for (float x : {d.tangents[v].x, d.tangents[v].y, d.tangents[v].z, d.bitangents[v].y,
                            d.bitangents[v].z})
                if (!unit(x)) return beyond("tangents", v, x, "-1 to 1");
        }
        if (uvs) {
            for (float x : {d.uvs[v].u, d.uvs[v].v})
                if (!half(x)) return beyond("UVs", v, x, "-65504 to 65504");
        }
        if (colours) {
            const Color4& c = d.vertexColors[v];
            for (float x : {c.r, c.g, c.b, c.a})
                if (!colour(x)) return beyond("vertex colours", v, x, "0 to 1");
        }
    }
    return {};
}

}  // namespace

std::string CheckShapesConvertible(const NifFile& file, uint8_t to) {
    const uint8_t from = file.Form();
    for (const ShapeView& view : ShapesOf(file)) {
        if (to == kForm100 && from != kForm100 && Packable(view.Block())) {
            if (const NiTriBasedGeomData* d = view.Data()) {
                if (std::string value = UnstorableValue(*d); !value.empty())
                    return view.Label() + ": " + value;
            }
            const NiSkinPartition* skin = view.Partition();
            for (size_t k = 0; skin && k < skin->partitions.size(); ++k) {
                const SkinPartition& p = skin->partitions[k];
                if (p.numWeightsPerVertex > 4)
                    return view.Label() + ": partition " + std::to_string(k) + " has " +
                           std::to_string(p.numWeightsPerVertex) +
                           " weights per vertex; the Special Edition's vertex holds 4";
            }
            if (skin && view.SkinInstance()->bones.size() > 256)
                return view.Label() + ": its skin has " +
                       std::to_string(view.SkinInstance()->bones.size()) +
                       " bones; the Special Edition's vertex names at most 256";
        }
        if (to != kForm100 && from == kForm100 && view.UnreadableRecords()) {
            char desc[20];
            snprintf(desc, sizeof desc, "%016llx",
                     static_cast<unsigned long long>(view.Packed()->vertexDesc));
            return view.Label() +
                   ": its vertex records are of a layout Pellmar does not know (description 0x" +
                   desc + ")";
        }
    }
    return {};
}

namespace {

// Frees the vertex and triangle lists of a data block nothing reads any more; its references
// (additional data) stay, so that what only it owns still leaves with it.
void DropLists(NiObject& block) {
    if (auto* d = As<NiGeometryData>(&block)) {
        ReleaseStorage(d->vertices);
        ReleaseStorage(d->normals);
        ReleaseStorage(d->tangents);
        ReleaseStorage(d->bitangents);
        ReleaseStorage(d->vertexColors);
        ReleaseStorage(d->uvs);
    }
    if (auto* t = As<NiTriShapeData>(&block)) {
        ReleaseStorage(t->triangles);
        ReleaseStorage(t->matchGroups);
    }
    if (auto* strips = As<NiTriStripsData>(&block)) {
        ReleaseStorage(strips->points);
        ReleaseStorage(strips->stripLengths);
    }
}

}  // namespace

bool ConvertsLayout(const NiObject& block, uint8_t from, uint8_t to) {
    if (to == kForm100 && from != kForm100) return Packable(block);
    return from == kForm100 && to != kForm100 && As<BSTriShape>(&block) != nullptr;
}

void PackShapes(NifFile& file, std::vector<std::string>& notes, ShapeWatcher* watcher) {
    // How many references each block has: a data block whose every referrer was a shape now
    // packed holds nothing anyone reads any more.
    std::vector<uint32_t> referrers(file.blocks.size(), 0);
    for (const auto& b : file.blocks) {
        ForEachRef(*b, file.Form(), [&](BlockRef r, RefKind, TypeId) {
            if (r >= 0 && static_cast<size_t>(r) < referrers.size()) ++referrers[r];
        });
    }
    for (BlockRef r : file.roots) {
        if (r >= 0 && static_cast<size_t>(r) < referrers.size()) ++referrers[r];
    }
    std::vector<BlockRef> oldData;
    size_t strips = 0, heads = 0;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        if (!Packable(*file.blocks[i])) continue;
        strips += file.blocks[i]->Type() == TypeId::NiTriStrips;
        if (watcher) watcher->Before(file, i);
        const size_t before = oldData.size();
        PackShape(file, i, oldData);
        heads += file.blocks[i]->Type() == TypeId::BSDynamicTriShape;
        if (watcher) watcher->After(file, i);
        if (oldData.size() == before) continue;
        const auto data = static_cast<size_t>(oldData.back());
        if (data < referrers.size() && --referrers[data] == 0) DropLists(*file.blocks[data]);
    }
    if (strips != 0) notes.push_back(std::to_string(strips) + " NiTriStrips became triangle lists");
    if (heads != 0)
        notes.push_back(std::to_string(heads) + " head part shape(s) became BSDynamicTriShape");
    file.DeleteBlocks(UnownedBlocks(file, std::vector<uint32_t>(oldData.begin(), oldData.end())));
    // A partition no packed shape reached (its skin names it, but no shape names the skin, or
    // no skin names it) still takes that form's faces, so that its lists match their counts.
    for (const auto& b : file.blocks) {
        auto* skin = As<NiSkinPartition>(b.get());
        if (!skin) continue;
        for (SkinPartition& p : skin->partitions) {
            if (!p.stripLengths.empty() || p.trianglesCopy.size() != p.numTriangles)
                SpecialEditionFaces(p);
        }
    }
}

void UnpackShapes(NifFile& file, std::vector<std::string>& notes, ShapeWatcher* watcher) {
    size_t heads = 0;
    const size_t count = file.blocks.size();
    for (uint32_t i = 0; i < count; ++i) {
        const auto* s = As<BSTriShape>(file.blocks[i].get());
        if (!s) continue;
        heads += s->Type() == TypeId::BSDynamicTriShape;
        if (watcher) watcher->Before(file, i);
        {
            // The data first: it may read the partition's copy of the records, which then
            // leaves.
            const ShapeView view(file, i);
            std::unique_ptr<NiTriShapeData> data = UnpackData(view);
            UnpackSkin(file, view);
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
        if (watcher) watcher->After(file, i);
    }
    if (heads != 0) notes.push_back(std::to_string(heads) + " BSDynamicTriShape became NiTriShape");
}

void SetBoneSetFlags(BSDismemberSkinInstance& parts, const NiSkinPartition& skin) {
    const size_t n = std::min(parts.partitions.size(), skin.partitions.size());
    for (size_t k = 0; k < n; ++k) {
        const bool starts = k == 0 || skin.partitions[k].bones != skin.partitions[k - 1].bones;
        uint16_t& flag = parts.partitions[k].partFlag;
        flag = starts ? static_cast<uint16_t>(flag | shader_bits::kStartBoneSet)
                      : static_cast<uint16_t>(flag & ~shader_bits::kStartBoneSet);
    }
}
