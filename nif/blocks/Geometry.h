// Geometry: shapes, their vertex data, skinning, and the Special Edition's packed shapes.
#pragma once

#include "Scene.h"
#include "VertexData.h"

#pragma pack(push, 1)
struct BoneVertData {
    uint16_t index = 0;
    float weight = 0;
};
struct BodyPartList {
    uint16_t partFlag = 0;  // bit 8: start of a new bone set
    uint16_t bodyPart = 0;
};
struct BSGeometrySegmentData {
    uint8_t flags = 0;
    uint32_t startIndex = 0;
    uint32_t numPrimitives = 0;
};
struct NiAGDDataStream {
    uint32_t type = 0, unitSize = 0, totalSize = 0, stride = 0, blockIndex = 0, blockOffset = 0;
    uint8_t flags = 0;
};
#pragma pack(pop)
static_assert(sizeof(BoneVertData) == 6 && sizeof(BSGeometrySegmentData) == 9 &&
              sizeof(NiAGDDataStream) == 25);

// The materials of a shape: names and extra data in two parallel lists.
struct MaterialData {
    std::vector<StringRef> names;
    std::vector<int32_t> extraData;
    int32_t active = -1;
    uint8_t needsUpdate = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        uint32_t n = static_cast<uint32_t>(names.size());
        v.Count(n);
        v.Strings(names, n);
        v.Array(extraData, n);
        v.V(active, needsUpdate);
    }
};

class NiGeometry : public NiAVObject {
  public:
    NIF_BASE(NiGeometry)
    NiBound particleBound;  // particle systems of the Special Edition
    BlockRef particleSkin = kNoBlock;
    BlockRef data = kNoBlock;
    BlockRef skinInstance = kNoBlock;
    MaterialData materials;
    BlockRef shaderProperty = kNoBlock;  // the game forms
    BlockRef alphaProperty = kNoBlock;

    NIF_FIELDS(v) {
        NiAVObject::Describe(v);
        const bool seParticles = v.In(kForm100) && IsA(Type(), TypeId::NiParticleSystem);
        if (seParticles) {
            v.V(particleBound);
            v.Ref(particleSkin, RefKind::kOwned, TypeId::NiObject);
        } else {
            v.Ref(data, RefKind::kOwned, TypeId::NiGeometryData);
            v.Ref(skinInstance, RefKind::kOwned, TypeId::NiSkinInstance);
            v.Struct(materials);
        }
        if (v.In(kFormsGame)) {
            v.Ref(shaderProperty, RefKind::kOwned, TypeId::BSShaderProperty);
            v.Ref(alphaProperty, RefKind::kOwned, TypeId::NiAlphaProperty);
        }
    }
};

class NiTriBasedGeom : public NiGeometry {
  public:
    NIF_BASE(NiTriBasedGeom)
};
class NiTriShape : public NiTriBasedGeom {
  public:
    NIF_BLOCK(NiTriShape)
};
class NiTriStrips : public NiTriBasedGeom {
  public:
    NIF_BLOCK(NiTriStrips)
};

class BSLODTriShape : public NiTriBasedGeom {
  public:
    NIF_BLOCK(BSLODTriShape)
    uint32_t lod0Size = 0, lod1Size = 0, lod2Size = 0;
    NIF_FIELDS(v) {
        NiTriBasedGeom::Describe(v);
        v.V(lod0Size, lod1Size, lod2Size);
    }
};

class BSSegmentedTriShape : public NiTriShape {
  public:
    NIF_BLOCK(BSSegmentedTriShape)
    std::vector<BSGeometrySegmentData> segments;
    NIF_FIELDS(v) {
        NiTriShape::Describe(v);
        v.List(kCount32, segments);
    }
};

// Vertex data shared by shapes and particles. numVertices sizes every per-vertex list.
class NiGeometryData : public NiObject {
  public:
    NIF_BASE(NiGeometryData)
    int32_t groupId = 0;
    uint16_t numVertices = 0;
    uint16_t maxVertices = 0;  // particle data stores this instead of numVertices
    uint8_t keepFlags = 0, compressFlags = 0;
    uint8_t hasVertices = 1;
    std::vector<Vector3> vertices;
    uint16_t dataFlags = 0;  // bit 0: one UV set; bit 12: tangents and bitangents
    uint32_t materialCrc = 0;
    uint8_t hasNormals = 0;
    std::vector<Vector3> normals;
    std::vector<Vector3> tangents;
    std::vector<Vector3> bitangents;
    NiBound bound;
    uint8_t hasVertexColors = 0;
    std::vector<Color4> vertexColors;
    std::vector<TexCoord> uvs;
    uint16_t consistencyFlags = 0;
    BlockRef additionalData = kNoBlock;

    bool HasTangents() const { return hasNormals != 0 && (dataFlags & 0x1000) != 0; }
    // The body stops carrying normals, tangents and bitangents.
    void DropNormals() {
        hasNormals = 0;
        dataFlags &= static_cast<uint16_t>(~0x1000);
        normals.clear();
        tangents.clear();
        bitangents.clear();
    }

    NIF_FIELDS(v) {
        v.V(groupId);
        const bool particles = IsA(Type(), TypeId::NiPSysData);
        if (particles) {
            v.V(maxVertices);
        } else {
            v.Count(numVertices);
        }
        const uint32_t n = particles ? 0 : numVertices;
        v.V(keepFlags, compressFlags, hasVertices);
        if (hasVertices) v.Array(vertices, n);
        v.V(dataFlags);
        if (v.In(kFormsGame)) v.V(materialCrc);
        v.V(hasNormals);
        if (hasNormals) v.Array(normals, n);
        if (HasTangents()) {
            v.Array(tangents, n);
            v.Array(bitangents, n);
        }
        v.V(bound, hasVertexColors);
        if (hasVertexColors) v.Array(vertexColors, n);
        if (dataFlags & 1) v.Array(uvs, n);
        v.V(consistencyFlags);
        v.Ref(additionalData, RefKind::kOwned, TypeId::AbstractAdditionalGeometryData);
    }
};

class NiTriBasedGeomData : public NiGeometryData {
  public:
    NIF_BASE(NiTriBasedGeomData)
    uint16_t numTriangles = 0;
    NIF_FIELDS(v) {
        NiGeometryData::Describe(v);
        v.Count(numTriangles);
    }
};

struct MatchGroup {
    std::vector<uint16_t> vertices;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.List(kCount16, vertices);
    }
};

class NiTriShapeData : public NiTriBasedGeomData {
  public:
    NIF_BLOCK(NiTriShapeData)
    uint32_t numTrianglePoints = 0;
    uint8_t hasTriangles = 0;
    std::vector<Triangle> triangles;
    std::vector<MatchGroup> matchGroups;
    NIF_FIELDS(v) {
        NiTriBasedGeomData::Describe(v);
        v.V(numTrianglePoints, hasTriangles);
        if (hasTriangles) v.Array(triangles, numTriangles);
        v.StructList(kCount16, matchGroups);
    }
};

class NiTriStripsData : public NiTriBasedGeomData {
  public:
    NIF_BLOCK(NiTriStripsData)
    std::vector<uint16_t> stripLengths;
    uint8_t hasPoints = 0;
    std::vector<std::vector<uint16_t>> points;
    NIF_FIELDS(v) {
        NiTriBasedGeomData::Describe(v);
        v.List(kCount16, stripLengths);
        v.V(hasPoints);
        if (hasPoints) v.Jagged(points, stripLengths);
    }
};

struct BoneData {
    NiTransform skinTransform;
    NiBound bound;
    uint16_t numVertices = 0;
    std::vector<BoneVertData> weights;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint8_t hasWeights) {
        v.V(skinTransform, bound);
        v.Count(numVertices);
        if (hasWeights) v.Array(weights, numVertices);
    }
};

class NiSkinData : public NiObject {
  public:
    NIF_BLOCK(NiSkinData)
    NiTransform skinTransform;
    uint8_t hasVertexWeights = 1;
    std::vector<BoneData> bones;
    NIF_FIELDS(v) {
        v.V(skinTransform);
        uint32_t n = static_cast<uint32_t>(bones.size());
        v.Count(n);
        v.V(hasVertexWeights);
        v.Structs(bones, n, hasVertexWeights);
    }
};

class NiSkinInstance : public NiObject {
  public:
    NIF_BLOCK(NiSkinInstance)
    BlockRef data = kNoBlock;
    BlockRef skinPartition = kNoBlock;
    BlockRef skeletonRoot = kNoBlock;
    // Parallel to the bone list of the skin data: a removed bone keeps its slot as -1.
    std::vector<BlockRef> bones;
    NIF_FIELDS(v) {
        v.Ref(data, RefKind::kOwned, TypeId::NiSkinData);
        v.Ref(skinPartition, RefKind::kOwned, TypeId::NiSkinPartition);
        v.Ref(skeletonRoot, RefKind::kBack, TypeId::NiNode);
        uint32_t n = static_cast<uint32_t>(bones.size());
        v.Count(n);
        v.Refs(bones, n, RefKind::kBack, TypeId::NiNode, false);
    }
};

class BSDismemberSkinInstance : public NiSkinInstance {
  public:
    NIF_BLOCK(BSDismemberSkinInstance)
    std::vector<BodyPartList> partitions;
    NIF_FIELDS(v) {
        NiSkinInstance::Describe(v);
        v.List(kCount32, partitions);
    }
    // The Blender form's torso, left arm and left leg (0, 3, 7) are the game's body, forearms
    // and calves (32, 34, 38); the two numbers swap, so a switch there and back restores both.
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>&) override {
        if ((from == kForm34) == (to == kForm34)) return;
        static constexpr uint16_t kPairs[][2] = {{0, 32}, {3, 34}, {7, 38}};
        for (BodyPartList& p : partitions) {
            for (const auto& pair : kPairs) {
                if (p.bodyPart == pair[0] || p.bodyPart == pair[1]) {
                    p.bodyPart = p.bodyPart == pair[0] ? pair[1] : pair[0];
                    break;
                }
            }
        }
    }
};

struct SkinPartition {
    uint16_t numVertices = 0;
    uint16_t numTriangles = 0;
    uint16_t numWeightsPerVertex = 0;
    std::vector<uint16_t> bones;
    uint8_t hasVertexMap = 0;
    std::vector<uint16_t> vertexMap;
    uint8_t hasVertexWeights = 0;
    std::vector<float> vertexWeights;  // numVertices x numWeightsPerVertex
    std::vector<uint16_t> stripLengths;
    uint8_t hasFaces = 0;
    std::vector<std::vector<uint16_t>> strips;
    std::vector<Triangle> triangles;
    uint8_t hasBoneIndices = 0;
    std::vector<uint8_t> boneIndices;  // numVertices x numWeightsPerVertex
    uint8_t lodLevel = 0;              // the game forms
    uint8_t globalVB = 0;
    uint64_t vertexDesc = 0;  // the Special Edition
    std::vector<Triangle> trianglesCopy;

    // The shape's vertex of a partition's local vertex: through the vertex map where there is
    // one, the same number otherwise.
    uint16_t ShapeVertex(size_t local) const {
        return hasVertexMap && local < vertexMap.size() ? vertexMap[local]
                                                        : static_cast<uint16_t>(local);
    }

    template <class FieldVisitor>

    void Fields(FieldVisitor& v) {
        v.Count(numVertices);
        v.Count(numTriangles);
        uint16_t numBones = static_cast<uint16_t>(bones.size());
        v.Count(numBones);
        uint16_t numStrips = static_cast<uint16_t>(stripLengths.size());
        v.Count(numStrips);
        v.Count(numWeightsPerVertex);
        v.Array(bones, numBones);
        v.V(hasVertexMap);
        if (hasVertexMap) v.Array(vertexMap, numVertices);
        const uint32_t perVertex = uint32_t{numVertices} * numWeightsPerVertex;
        v.V(hasVertexWeights);
        if (hasVertexWeights) v.Array(vertexWeights, perVertex);
        v.Array(stripLengths, numStrips);
        v.V(hasFaces);
        if (hasFaces && numStrips != 0) v.Jagged(strips, stripLengths);
        if (hasFaces && numStrips == 0) v.Array(triangles, numTriangles);
        v.V(hasBoneIndices);
        if (hasBoneIndices) v.Array(boneIndices, perVertex);
        if (v.In(kFormsGame)) {
            v.V(lodLevel, globalVB);
        }
        if (v.In(kForm100)) {
            v.V(vertexDesc);
            v.Array(trianglesCopy, numTriangles);
        }
    }
};

class NiSkinPartition : public NiObject {
  public:
    NIF_BLOCK(NiSkinPartition)
    // The Special Edition keeps a copy of the shape's packed vertices here: dataSize bytes of
    // records of vertexSize bytes.
    uint32_t dataSize = 0;
    uint32_t vertexSize = 0;
    uint64_t vertexDesc = 0;
    PackedVertices vertexData;
    std::vector<SkinPartition> partitions;

    // The records are decoded when they fill dataSize exactly with the description's size.
    bool RecordsDecoded() const {
        return vertexSize == DescVertexSize(vertexDesc) && vertexData.Decoded(vertexDesc) &&
               dataSize % vertexSize == 0;
    }
    NIF_FIELDS(v) {
        uint32_t n = static_cast<uint32_t>(partitions.size());
        v.Count(n);
        if (v.In(kForm100)) {
            v.Count(dataSize);
            v.V(vertexSize, vertexDesc);
            // Readers divide the data size by the record size: a file must not hold data
            // without a record size.
            if (v.Mode() == VisitMode::kWrite && dataSize > 0 && !RecordsDecoded())
                v.Mismatch("vertex data size that disagrees with its vertex description");
            if (dataSize > 0 && RecordsDecoded()) {
                v.Structs(vertexData.records, dataSize / vertexSize, VertexAttributes(vertexDesc));
            } else if (dataSize > 0) {
                v.Array(vertexData.raw, dataSize);
            }
        }
        v.Structs(partitions, n);
    }
};

// Per-vertex data for particle and level-of-detail uses, as typed byte blocks.
struct NiAGDDataBlock {
    uint32_t blockSize = 0;
    std::vector<uint32_t> blockOffsets;
    std::vector<uint32_t> dataSizes;
    std::vector<uint8_t> data;  // dataSizes.size() x blockSize bytes
    uint32_t shaderIndex = 0, totalSize = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t packed) {
        v.Count(blockSize);
        v.List(kCount32, blockOffsets);
        v.List(kCount32, dataSizes);
        v.Array(data,
                static_cast<uint32_t>(v.CheckCount(uint64_t{blockSize} * dataSizes.size(), 1)));
        if (packed == 1) {
            v.V(shaderIndex, totalSize);
        }
    }
};
struct NiAGDDataBlocks {
    uint8_t hasData = 0;
    NiAGDDataBlock block;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t packed) {
        v.V(hasData);
        if (hasData) v.Struct(block, packed);
    }
};

class AbstractAdditionalGeometryData : public NiObject {
  public:
    NIF_BASE(AbstractAdditionalGeometryData)
};

class NiAdditionalGeometryData : public AbstractAdditionalGeometryData {
  public:
    NIF_BLOCK(NiAdditionalGeometryData)
    uint16_t numVertices = 0;
    std::vector<NiAGDDataStream> blockInfos;
    std::vector<NiAGDDataBlocks> blocks;
    NIF_FIELDS(v) {
        v.V(numVertices);
        v.List(kCount32, blockInfos);
        v.StructList(kCount32, blocks, 0u);
    }
};

// The Special Edition's shape: packed vertex records and triangles in one block.
class BSTriShape : public NiAVObject {
  public:
    NIF_BLOCK(BSTriShape)
    NiBound bound;
    BlockRef skin = kNoBlock;
    BlockRef shaderProperty = kNoBlock;
    BlockRef alphaProperty = kNoBlock;
    uint64_t vertexDesc = 0;
    uint16_t numTriangles = 0;
    uint16_t numVertices = 0;
    uint32_t dataSize = 0;
    PackedVertices vertexData;  // numVertices records, when dataSize is not 0
    std::vector<Triangle> triangles;
    uint32_t particleDataSize = 0;
    std::vector<HalfVector3> particleVertices, particleNormals;
    std::vector<Triangle> particleTriangles;

    NIF_FIELDS(v) {
        NiAVObject::Describe(v);
        v.V(bound);
        v.Ref(skin, RefKind::kOwned, TypeId::NiObject);
        v.Ref(shaderProperty, RefKind::kOwned, TypeId::BSShaderProperty);
        v.Ref(alphaProperty, RefKind::kOwned, TypeId::NiAlphaProperty);
        v.V(vertexDesc);
        v.Count(numTriangles);
        v.Count(numVertices);
        v.V(dataSize);
        if (dataSize > 0) {
            v.Struct(vertexData, vertexDesc, uint32_t{numVertices});
            v.Array(triangles, numTriangles);
        }
        v.V(particleDataSize);
        if (particleDataSize > 0) {
            v.Array(particleVertices, numVertices);
            v.Array(particleNormals, numVertices);
            v.Array(particleTriangles, numTriangles);
        }
    }
};

class BSSubIndexTriShape : public BSTriShape {
  public:
    NIF_BLOCK(BSSubIndexTriShape)
    std::vector<BSGeometrySegmentData> segments;
    NIF_FIELDS(v) {
        BSTriShape::Describe(v);
        v.List(kCount32, segments);
    }
};

class BSDynamicTriShape : public BSTriShape {
  public:
    NIF_BLOCK(BSDynamicTriShape)
    std::vector<Vector4> dynamicVertices;
    NIF_FIELDS(v) {
        BSTriShape::Describe(v);
        uint32_t size = static_cast<uint32_t>(dynamicVertices.size() * 16);
        v.Count(size);
        v.Array(dynamicVertices, size / 16);
    }
};
