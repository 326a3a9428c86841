#include "ShapeView.h"

#include <algorithm>
#include <bit>

#include "ShapeConversion.h"

bool ShapeView::IsShape(const NiObject* block) {
    return As<NiTriBasedGeom>(block) || As<BSTriShape>(block);
}

ShapeView::ShapeView(const NifFile& file, uint32_t index) : file_(&file), index_(index) {
    const NiObject* b = file.Block(static_cast<BlockRef>(index));
    block_ = As<NiAVObject>(b);
    if ((geometry_ = As<NiTriBasedGeom>(b))) {
        data_ = file.BlockAs<NiTriBasedGeomData>(geometry_->data);
        skin_ = geometry_->skinInstance;
        shader_ = geometry_->shaderProperty;
        alpha_ = geometry_->alphaProperty;
        for (BlockRef p : geometry_->properties) {
            if (shader_ == kNoBlock && file.BlockAs<BSShaderProperty>(p)) shader_ = p;
            if (alpha_ == kNoBlock && file.BlockAs<NiAlphaProperty>(p)) alpha_ = p;
        }
    } else if ((packed_ = As<BSTriShape>(b))) {
        dynamic_ = As<BSDynamicTriShape>(b);
        skin_ = packed_->skin;
        shader_ = packed_->shaderProperty;
        alpha_ = packed_->alphaProperty;
    }
    if ((skinInstance_ = file.BlockAs<NiSkinInstance>(skin_))) {
        skinData_ = file.BlockAs<NiSkinData>(skinInstance_->data);
        partition_ = file.BlockAs<NiSkinPartition>(skinInstance_->skinPartition);
    }
    if (!packed_) return;
    // Records in the shape when it holds data; a skinned shape without data keeps them in its
    // partition.
    if (packed_->dataSize > 0) {
        packedVertices_ = packed_->numVertices;
        if (packed_->vertexData.Decoded(packed_->vertexDesc) &&
            packed_->vertexData.records.size() == packed_->numVertices) {
            records_ = &packed_->vertexData.records;
            attributes_ = VertexAttributes(packed_->vertexDesc);
        }
    } else if (partition_ && partition_->dataSize > 0) {
        packedVertices_ =
            partition_->vertexSize ? partition_->dataSize / partition_->vertexSize : 1;
        if (partition_->RecordsDecoded()) {
            records_ = &partition_->vertexData.records;
            attributes_ = VertexAttributes(partition_->vertexDesc);
            recordsInPartition_ = true;
        }
    }
}

std::string ShapeView::Label() const {
    const std::string name = Name();
    if (!name.empty()) return "shape \"" + name + "\"";
    return "shape (block " + std::to_string(index_) + " " + file_->TypeNameOf(index_) + ")";
}

namespace {

const Vector4* DynamicPosition(const BSDynamicTriShape* dynamic, size_t v) {
    return dynamic && v < dynamic->dynamicVertices.size() ? &dynamic->dynamicVertices[v] : nullptr;
}

Vector3 UnitBytes(const uint8_t* b) {
    return {ByteToUnit(b[0]), ByteToUnit(b[1]), ByteToUnit(b[2])};
}

template <class T>
T At(const std::vector<T>& list, size_t i) {
    return i < list.size() ? list[i] : T{};
}

}  // namespace

size_t ShapeView::NumVertices() const {
    if (packed_) return records_ ? records_->size() : 0;
    return data_ ? data_->numVertices : 0;
}

bool ShapeView::HasNormals() const {
    if (packed_) return records_ && (attributes_ & kVaNormal);
    return data_ && data_->hasNormals && data_->normals.size() == data_->numVertices;
}

bool ShapeView::HasTangents() const {
    if (packed_) return records_ && (attributes_ & kVaNormal) && (attributes_ & kVaTangent);
    return data_ && data_->HasTangents() && data_->tangents.size() == data_->numVertices &&
           data_->bitangents.size() == data_->numVertices;
}

bool ShapeView::HasUVs() const {
    if (packed_) return records_ && (attributes_ & kVaUV);
    return data_ && (data_->dataFlags & 1) && data_->uvs.size() == data_->numVertices;
}

bool ShapeView::HasColors() const {
    if (packed_) return records_ && (attributes_ & kVaColor);
    return data_ && data_->hasVertexColors && data_->vertexColors.size() == data_->numVertices;
}

Vector3 ShapeView::Position(size_t v) const {
    if (!packed_) return data_ ? At(data_->vertices, v) : Vector3{};
    if (const Vector4* d = DynamicPosition(dynamic_, v)) return {d->x, d->y, d->z};
    return records_ && v < records_->size() ? (*records_)[v].position : Vector3{};
}

Vector3 ShapeView::Normal(size_t v) const {
    if (!packed_) return data_ ? At(data_->normals, v) : Vector3{};
    return records_ && v < records_->size() ? UnitBytes((*records_)[v].normal) : Vector3{};
}

Vector3 ShapeView::Tangent(size_t v) const {
    if (!packed_) return data_ ? At(data_->tangents, v) : Vector3{};
    return records_ && v < records_->size() ? UnitBytes((*records_)[v].tangent) : Vector3{};
}

Vector3 ShapeView::Bitangent(size_t v) const {
    if (!packed_) return data_ ? At(data_->bitangents, v) : Vector3{};
    if (!records_ || v >= records_->size()) return {};
    const PackedVertex& r = (*records_)[v];
    // The bitangent's x is a float in the position's fourth slot, which a head part keeps
    // beside its dynamic positions.
    float x = std::bit_cast<float>(r.w);
    if (!(attributes_ & kVaVertex)) {
        const Vector4* d = DynamicPosition(dynamic_, v);
        x = d ? d->w : 0.0f;
    }
    return {x, ByteToUnit(r.bitangentY), ByteToUnit(r.bitangentZ)};
}

TexCoord ShapeView::UV(size_t v) const {
    if (!packed_) return data_ ? At(data_->uvs, v) : TexCoord{};
    if (!records_ || v >= records_->size()) return {};
    const PackedVertex& r = (*records_)[v];
    return {HalfToFloat(r.uv[0]), HalfToFloat(r.uv[1])};
}

Color4 ShapeView::Color(size_t v) const {
    if (!packed_) return data_ ? At(data_->vertexColors, v) : Color4{};
    if (!records_ || v >= records_->size()) return {};
    const uint8_t* c = (*records_)[v].color;
    return {c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, c[3] / 255.0f};
}

std::vector<Vector3> ShapeView::Positions() const {
    if (!packed_ && data_) return data_->vertices;
    std::vector<Vector3> positions(NumVertices());
    for (size_t v = 0; v < positions.size(); ++v) positions[v] = Position(v);
    return positions;
}

std::vector<Triangle> ShapeView::Triangles() const {
    if (data_) {
        if (const auto* shape = As<NiTriShapeData>(data_))
            return shape->hasTriangles ? shape->triangles : std::vector<Triangle>{};
        if (const auto* strips = As<NiTriStripsData>(data_))
            return strips->hasPoints ? StripsToTriangles(strips->points) : std::vector<Triangle>{};
        return {};
    }
    if (!packed_) return {};
    if (packed_->dataSize > 0) return packed_->triangles;
    std::vector<Triangle> triangles;
    if (!partition_) return triangles;
    for (const SkinPartition& p : partition_->partitions) {
        const std::vector<Triangle> list = PartitionTriangles(p, true);
        triangles.insert(triangles.end(), list.begin(), list.end());
    }
    return triangles;
}

std::vector<Triangle> PartitionTriangles(const SkinPartition& p, bool specialEdition) {
    if (specialEdition) return p.trianglesCopy.empty() ? p.triangles : p.trianglesCopy;
    std::vector<Triangle> list = p.stripLengths.empty() ? p.triangles : StripsToTriangles(p.strips);
    for (Triangle& t : list) t = {p.ShapeVertex(t.v1), p.ShapeVertex(t.v2), p.ShapeVertex(t.v3)};
    return list;
}

std::vector<std::string> ShapeView::BoneNames() const {
    std::vector<std::string> names;
    if (!skinInstance_) return names;
    for (BlockRef b : skinInstance_->bones)
        names.push_back(b >= 0 ? file_->NameOf(static_cast<uint32_t>(b)) : std::string());
    return names;
}

namespace {

// Builds the one-list form from per-vertex entries added in any order.
class WeightsBuilder {
  public:
    explicit WeightsBuilder(size_t vertices) : counts_(vertices, 0) {}
    // Two passes: count, then add in the same order.
    void Count(size_t v) {
        if (v < counts_.size()) ++counts_[v];
    }
    void Start() {
        out_.start.assign(counts_.size() + 1, 0);
        for (size_t v = 0; v < counts_.size(); ++v) out_.start[v + 1] = out_.start[v] + counts_[v];
        out_.entries.resize(out_.start.back());
        fill_.assign(out_.start.begin(), out_.start.end() - 1);
    }
    void Add(size_t v, uint16_t bone, float weight) {
        if (v < fill_.size()) out_.entries[fill_[v]++] = {bone, weight};
    }
    VertexWeights Take() { return std::move(out_); }

  private:
    std::vector<uint32_t> counts_;
    std::vector<uint32_t> fill_;
    VertexWeights out_;
};

// The skin data's weights of the vertices `wanted` selects (all when it is empty).
void SkinDataPass(const NiSkinData& data, const std::vector<bool>& wanted, WeightsBuilder& b,
                  bool counting) {
    if (!data.hasVertexWeights) return;
    for (size_t bone = 0; bone < data.bones.size(); ++bone) {
        for (const BoneVertData& w : data.bones[bone].weights) {
            if (w.weight == 0) continue;
            if (!wanted.empty() && (w.index >= wanted.size() || !wanted[w.index])) continue;
            if (counting) {
                b.Count(w.index);
            } else {
                b.Add(w.index, static_cast<uint16_t>(bone), w.weight);
            }
        }
    }
}

}  // namespace

VertexWeights ShapeView::SkinDataWeights() const {
    const size_t n = NumVertices();
    WeightsBuilder b(n);
    if (skinData_) SkinDataPass(*skinData_, {}, b, true);
    b.Start();
    if (skinData_) SkinDataPass(*skinData_, {}, b, false);
    return b.Take();
}

VertexWeights ShapeView::Weights() const {
    const size_t n = NumVertices();
    WeightsBuilder b(n);
    if (!skinInstance_) {
        b.Start();
        return b.Take();
    }
    if (packed_ && records_ && (attributes_ & kVaSkinned)) {
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1) b.Start();
            for (size_t v = 0; v < n; ++v) {
                const PackedVertex& r = (*records_)[v];
                for (size_t k = 0; k < 4; ++k) {
                    if (r.weights[k] == 0) continue;
                    if (pass == 0) {
                        b.Count(v);
                    } else {
                        b.Add(v, r.bones[k], HalfToFloat(r.weights[k]));
                    }
                }
            }
        }
        return b.Take();
    }
    // The first partition that holds a vertex gives its weights; the skin data gives those of
    // vertices no partition holds.
    std::vector<bool> uncovered(n, true);
    struct Source {
        const SkinPartition* p;
        size_t local;
    };
    std::vector<Source> source(n, Source{nullptr, 0});
    if (partition_) {
        for (const SkinPartition& p : partition_->partitions) {
            if (!p.hasVertexWeights) continue;
            for (size_t j = 0; j < p.numVertices; ++j) {
                const uint16_t v = p.ShapeVertex(j);
                if (v >= n || source[v].p) continue;
                source[v] = {&p, j};
                uncovered[v] = false;
            }
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) b.Start();
        for (size_t v = 0; v < n; ++v) {
            const SkinPartition* p = source[v].p;
            if (!p) continue;
            const size_t w = p->numWeightsPerVertex;
            for (size_t k = 0; k < w; ++k) {
                const size_t at = source[v].local * w + k;
                const float weight = At(p->vertexWeights, at);
                const size_t local = p->hasBoneIndices ? At(p->boneIndices, at) : k;
                if (weight == 0 || local >= p->bones.size()) continue;
                if (pass == 0) {
                    b.Count(v);
                } else {
                    b.Add(v, p->bones[local], weight);
                }
            }
        }
        if (skinData_) SkinDataPass(*skinData_, uncovered, b, pass == 0);
    }
    return b.Take();
}

std::vector<ShapeView> ShapesOf(const NifFile& file) {
    std::vector<ShapeView> shapes;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        if (ShapeView::IsShape(file.blocks[i].get())) shapes.emplace_back(file, i);
    }
    return shapes;
}

int32_t FindShape(const NifFile& file, const std::string& name) {
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        if (ShapeView::IsShape(file.blocks[i].get()) && file.NameOf(i) == name)
            return static_cast<int32_t>(i);
    }
    return -1;
}
