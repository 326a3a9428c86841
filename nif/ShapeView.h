// One view of a shape, whatever its form keeps where: NiTriShape, NiTriStrips, BSLODTriShape
// and their kin with their NiTriShapeData or NiTriStripsData, and the Special Edition's
// BSTriShape family with packed vertex records in the shape or, for skinned shapes, in the
// skin partition. Every command reads shapes through it: their names, vertices, triangles,
// normals, UVs, colours, skin and bones, shader and alpha property.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "Geometry.h"
#include "NifFile.h"
#include "Shaders.h"

// A bone's weight on a vertex: the bone is an index into the skin's bone list.
struct BoneWeight {
    uint16_t bone = 0;
    float weight = 0;
};

// The weights of every vertex, in one list with each vertex's start (vertex v owns entries
// start[v] to start[v + 1]).
struct VertexWeights {
    std::vector<uint32_t> start;
    std::vector<BoneWeight> entries;
    size_t Vertices() const { return start.empty() ? 0 : start.size() - 1; }
};

class ShapeView {
  public:
    // Whether a block is a shape: triangle geometry of the original edition's layout or the
    // Special Edition's packed shapes.
    static bool IsShape(const NiObject* block);

    // index must name a shape.
    ShapeView(const NifFile& file, uint32_t index);

    const NifFile& File() const { return *file_; }
    uint32_t Index() const { return index_; }
    std::string Name() const { return file_->NameOf(index_); }
    // "shape "Name"", or the block's index and type for a shape without a name.
    std::string Label() const;
    const NiAVObject& Block() const { return *block_; }

    // The original edition's layout: the shape and its data block (nullptr otherwise).
    const NiTriBasedGeom* Geometry() const { return geometry_; }
    const NiTriBasedGeomData* Data() const { return data_; }
    BlockRef DataRef() const { return geometry_ ? geometry_->data : kNoBlock; }
    // The Special Edition's packed shape (nullptr otherwise) and where its records live.
    const BSTriShape* Packed() const { return packed_; }
    bool RecordsInPartition() const { return packed_ && records_ && recordsInPartition_; }
    // A packed shape whose records Pellmar cannot decode (an unknown layout).
    bool UnreadableRecords() const { return packed_ && !records_ && packedVertices_ > 0; }

    // The shader: the game forms' slot, or the first shader property listed (11/34).
    BlockRef Shader() const { return shader_; }
    BlockRef Alpha() const { return alpha_; }
    BlockRef Skin() const { return skin_; }
    const NiSkinInstance* SkinInstance() const { return skinInstance_; }
    const NiSkinData* SkinData() const { return skinData_; }
    const NiSkinPartition* Partition() const { return partition_; }

    // ---- geometry, as stored (packed values decoded) ----
    size_t NumVertices() const;
    bool HasNormals() const;
    bool HasTangents() const;  // tangents and bitangents
    bool HasUVs() const;
    bool HasColors() const;
    Vector3 Position(size_t v) const;
    Vector3 Normal(size_t v) const;
    Vector3 Tangent(size_t v) const;    // the first of the two arrays after the normals
    Vector3 Bitangent(size_t v) const;  // the second
    TexCoord UV(size_t v) const;
    Color4 Color(size_t v) const;
    std::vector<Vector3> Positions() const;
    // The triangles in shape-vertex numbering: the stored list, strips unrolled, or a
    // skinned packed shape's partitions one after the other.
    std::vector<Triangle> Triangles() const;

    // ---- skin ----
    bool IsSkinned() const { return skinInstance_ != nullptr; }
    // The names of the skin's bones, in the skin's order ("" for a missing bone).
    std::vector<std::string> BoneNames() const;
    // The weights that draw the shape: the packed records (Special Edition), else the
    // partitions; vertices no partition holds take the skin data's weights.
    VertexWeights Weights() const;
    // The skin data's own weights (empty when it stores none).
    VertexWeights SkinDataWeights() const;

  private:
    const NifFile* file_;
    uint32_t index_;
    const NiAVObject* block_ = nullptr;
    const NiTriBasedGeom* geometry_ = nullptr;
    const NiTriBasedGeomData* data_ = nullptr;
    const BSTriShape* packed_ = nullptr;
    const BSDynamicTriShape* dynamic_ = nullptr;
    const std::vector<PackedVertex>* records_ = nullptr;
    uint16_t attributes_ = 0;
    bool recordsInPartition_ = false;
    size_t packedVertices_ = 0;
    BlockRef shader_ = kNoBlock, alpha_ = kNoBlock, skin_ = kNoBlock;
    const NiSkinInstance* skinInstance_ = nullptr;
    const NiSkinData* skinData_ = nullptr;
    const NiSkinPartition* partition_ = nullptr;
};

// The shapes of a file, in block order.
std::vector<ShapeView> ShapesOf(const NifFile& file);
// The first shape of that name, or -1.
int32_t FindShape(const NifFile& file, const std::string& name);

// A partition's triangles in the shape's vertex numbering: the Special Edition numbers them so
// already (in the list and in its copy), the other forms by the partition's vertex map.
std::vector<Triangle> PartitionTriangles(const SkinPartition& p, bool specialEdition);

// A triangle with its lowest vertex first, keeping its winding: the same whichever corner it
// starts at.
inline std::array<uint16_t, 3> CanonicalTriangle(const Triangle& t) {
    if (t.v1 <= t.v2 && t.v1 <= t.v3) return {t.v1, t.v2, t.v3};
    if (t.v2 <= t.v1 && t.v2 <= t.v3) return {t.v2, t.v3, t.v1};
    return {t.v3, t.v1, t.v2};
}

// The Skyrim flags of a lighting or effect shader, or nullptr.
template <class Object>
auto* SkyrimHeaderOf(Object* block) {
    using Header =
        std::conditional_t<std::is_const_v<Object>, const SkyrimShaderHeader, SkyrimShaderHeader>;
    Header* header = nullptr;
    if (auto* l = As<BSLightingShaderProperty>(block)) header = &l->header;
    if (auto* e = As<BSEffectShaderProperty>(block)) header = &e->header;
    return header;
}

namespace shader_bits {
constexpr uint32_t kSkinned = 1u << 1;             // first word
constexpr uint32_t kEnvironmentMapping = 1u << 7;  // first word
constexpr uint32_t kFacegenDetailMap = 1u << 10;   // first word
constexpr uint32_t kModelSpaceNormals = 1u << 12;  // first word
constexpr uint32_t kVertexColors = 1u << 5;        // second word
constexpr uint16_t kStartBoneSet = 1u << 8;        // a body part's partition flag
}  // namespace shader_bits
