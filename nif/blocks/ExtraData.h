// Extra data attached to scene objects, and the bounds Bethesda meshes carry.
#pragma once

#include "Structs.h"

class NiExtraData : public NiObject {
  public:
    NIF_BLOCK(NiExtraData)
    StringRef name = kNoString;
    NIF_FIELDS(v) { v.String(name); }
};

class NiIntegerExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiIntegerExtraData)
    uint32_t value = 0;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(value);
    }
};
class BSXFlags : public NiIntegerExtraData {
  public:
    NIF_BLOCK(BSXFlags)
};

class NiStringExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiStringExtraData)
    StringRef value = kNoString;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.String(value);
    }
};

class NiBooleanExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiBooleanExtraData)
    uint8_t value = 0;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(value);
    }
};

class NiFloatExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiFloatExtraData)
    float value = 0;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(value);
    }
};

class NiFloatsExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiFloatsExtraData)
    std::vector<float> values;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.List(kCount32, values);
    }
};

class NiIntegersExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiIntegersExtraData)
    std::vector<uint32_t> values;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.List(kCount32, values);
    }
};

class NiBinaryExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiBinaryExtraData)
    std::vector<uint8_t> data;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.List(kCount32, data);
    }
};

class NiColorExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiColorExtraData)
    Color4 value;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(value);
    }
};

class NiVectorExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiVectorExtraData)
    Vector4 value;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(value);
    }
};

class NiStringsExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiStringsExtraData)
    std::vector<SizedText> values;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.StructList(kCount32, values);
    }
};

class NiTextKeyExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiTextKeyExtraData)
    KeyList<Key<StringRef>> keys;  // linear keys whose values are texts
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.StructList(kCount32, keys, 1u);
    }
};

class BSBound : public NiExtraData {
  public:
    NIF_BLOCK(BSBound)
    Vector3 center;
    Vector3 dimensions;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(center, dimensions);
    }
};

class BSInvMarker : public NiExtraData {
  public:
    NIF_BLOCK(BSInvMarker)
    uint16_t rotationX = 0, rotationY = 0, rotationZ = 0;
    float zoom = 1;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(rotationX, rotationY, rotationZ, zoom);
    }
};

struct BoneLOD {
    uint32_t distance = 0;
    StringRef boneName = kNoString;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(distance);
        v.String(boneName);
    }
};

class BSBoneLODExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSBoneLODExtraData)
    std::vector<BoneLOD> lods;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.StructList(kCount32, lods);
    }
};

class BSBehaviorGraphExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSBehaviorGraphExtraData)
    StringRef graphFile = kNoString;
    uint8_t controlsBaseSkeleton = 0;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.String(graphFile);
        v.V(controlsBaseSkeleton);
    }
};

class BSDistantObjectLargeRefExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSDistantObjectLargeRefExtraData)
    uint8_t largeRef = 0;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.V(largeRef);
    }
};

class BSWArray : public NiExtraData {
  public:
    NIF_BLOCK(BSWArray)
    std::vector<int32_t> items;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.List(kCount32, items);
    }
};

struct DecalVectorArray {
    std::vector<Vector3> points;
    std::vector<Vector3> normals;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        uint16_t n = static_cast<uint16_t>(points.size());
        v.Count(n);
        v.Array(points, n);
        v.Array(normals, n);
    }
};

class BSDecalPlacementVectorExtraData : public NiFloatExtraData {
  public:
    NIF_BLOCK(BSDecalPlacementVectorExtraData)
    std::vector<DecalVectorArray> blocks;
    NIF_FIELDS(v) {
        NiFloatExtraData::Describe(v);
        v.StructList(kCount16, blocks);
    }
};

struct FurniturePosition {
    Vector3 offset;
    uint16_t orientation = 0;  // the Blender form
    uint8_t positionRef1 = 0, positionRef2 = 0;
    float heading = 0;  // the game forms
    uint16_t animationType = 0;
    uint16_t entryProperties = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(offset);
        if (v.In(kForm34)) {
            v.V(orientation, positionRef1, positionRef2);
        } else {
            v.V(heading, animationType, entryProperties);
        }
    }
};

class BSFurnitureMarker : public NiExtraData {
  public:
    NIF_BLOCK(BSFurnitureMarker)
    std::vector<FurniturePosition> positions;
    NIF_FIELDS(v) {
        NiExtraData::Describe(v);
        v.StructList(kCount32, positions);
    }
};
class BSFurnitureMarkerNode : public BSFurnitureMarker {
  public:
    NIF_BLOCK(BSFurnitureMarkerNode)
};

class BSMultiBound : public NiObject {
  public:
    NIF_BLOCK(BSMultiBound)
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) { v.Ref(data, RefKind::kOwned, TypeId::BSMultiBoundData); }
};

class BSMultiBoundData : public NiObject {
  public:
    NIF_BLOCK(BSMultiBoundData)
};

class BSMultiBoundOBB : public BSMultiBoundData {
  public:
    NIF_BLOCK(BSMultiBoundOBB)
    Vector3 center;
    Vector3 size;
    Matrix33 rotation;
    NIF_FIELDS(v) { v.V(center, size, rotation); }
};

class BSMultiBoundAABB : public BSMultiBoundData {
  public:
    NIF_BLOCK(BSMultiBoundAABB)
    Vector3 position;
    Vector3 extent;
    NIF_FIELDS(v) { v.V(position, extent); }
};

class BSMultiBoundSphere : public BSMultiBoundData {
  public:
    NIF_BLOCK(BSMultiBoundSphere)
    Vector3 center;
    float radius = 0;
    NIF_FIELDS(v) { v.V(center, radius); }
};
