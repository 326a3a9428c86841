// Extra data attached to scene objects, and the bounds Bethesda meshes carry.
#pragma once

#include "Structs.h"

class NiExtraData : public NiObject {
  public:
    NIF_BLOCK(NiExtraData)
    StringRef name = kNoString;
    void Fields(Visitor& v) override { v.String(name); }
};

class NiIntegerExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiIntegerExtraData)
    uint32_t value = 0;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
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
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.String(value);
    }
};

class NiBooleanExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiBooleanExtraData)
    uint8_t value = 0;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(value);
    }
};

class NiFloatExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiFloatExtraData)
    float value = 0;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(value);
    }
};

class NiFloatsExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiFloatsExtraData)
    std::vector<float> values;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.List<uint32_t>(values);
    }
};

class NiIntegersExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiIntegersExtraData)
    std::vector<uint32_t> values;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.List<uint32_t>(values);
    }
};

class NiBinaryExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiBinaryExtraData)
    std::vector<uint8_t> data;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.List<uint32_t>(data);
    }
};

class NiColorExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiColorExtraData)
    Color4 value;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(value);
    }
};

class NiVectorExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiVectorExtraData)
    Vector4 value;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(value);
    }
};

class NiStringsExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiStringsExtraData)
    std::vector<SizedText> values;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.StructList<uint32_t>(values);
    }
};

class NiTextKeyExtraData : public NiExtraData {
  public:
    NIF_BLOCK(NiTextKeyExtraData)
    std::vector<Key<StringRef>> keys;  // linear keys whose values are texts
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.StructList<uint32_t>(keys, 1u);
    }
};

class BSBound : public NiExtraData {
  public:
    NIF_BLOCK(BSBound)
    Vector3 center;
    Vector3 dimensions;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(center);
        v.V(dimensions);
    }
};

class BSInvMarker : public NiExtraData {
  public:
    NIF_BLOCK(BSInvMarker)
    uint16_t rotationX = 0, rotationY = 0, rotationZ = 0;
    float zoom = 1;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(rotationX);
        v.V(rotationY);
        v.V(rotationZ);
        v.V(zoom);
    }
};

struct BoneLOD {
    uint32_t distance = 0;
    StringRef boneName = kNoString;
    void Fields(Visitor& v) {
        v.V(distance);
        v.String(boneName);
    }
};

class BSBoneLODExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSBoneLODExtraData)
    std::vector<BoneLOD> lods;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.StructList<uint32_t>(lods);
    }
};

class BSBehaviorGraphExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSBehaviorGraphExtraData)
    StringRef graphFile = kNoString;
    uint8_t controlsBaseSkeleton = 0;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.String(graphFile);
        v.V(controlsBaseSkeleton);
    }
};

class BSDistantObjectLargeRefExtraData : public NiExtraData {
  public:
    NIF_BLOCK(BSDistantObjectLargeRefExtraData)
    uint8_t largeRef = 0;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.V(largeRef);
    }
};

class BSWArray : public NiExtraData {
  public:
    NIF_BLOCK(BSWArray)
    std::vector<int32_t> items;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.List<uint32_t>(items);
    }
};

struct DecalVectorArray {
    std::vector<Vector3> points;
    std::vector<Vector3> normals;
    void Fields(Visitor& v) {
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
    void Fields(Visitor& v) override {
        NiFloatExtraData::Fields(v);
        v.StructList<uint16_t>(blocks);
    }
};

struct FurniturePosition {
    Vector3 offset;
    uint16_t orientation = 0;  // the Blender form
    uint8_t positionRef1 = 0, positionRef2 = 0;
    float heading = 0;  // the game forms
    uint16_t animationType = 0;
    uint16_t entryProperties = 0;
    void Fields(Visitor& v) {
        v.V(offset);
        if (v.In(kForm34)) {
            v.V(orientation);
            v.V(positionRef1);
            v.V(positionRef2);
        } else {
            v.V(heading);
            v.V(animationType);
            v.V(entryProperties);
        }
    }
};

class BSFurnitureMarker : public NiExtraData {
  public:
    NIF_BLOCK(BSFurnitureMarker)
    std::vector<FurniturePosition> positions;
    void Fields(Visitor& v) override {
        NiExtraData::Fields(v);
        v.StructList<uint32_t>(positions);
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
    void Fields(Visitor& v) override { v.Ref(data, RefKind::kOwned, TypeId::BSMultiBoundData); }
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
    void Fields(Visitor& v) override {
        v.V(center);
        v.V(size);
        v.V(rotation);
    }
};

class BSMultiBoundAABB : public BSMultiBoundData {
  public:
    NIF_BLOCK(BSMultiBoundAABB)
    Vector3 position;
    Vector3 extent;
    void Fields(Visitor& v) override {
        v.V(position);
        v.V(extent);
    }
};

class BSMultiBoundSphere : public BSMultiBoundData {
  public:
    NIF_BLOCK(BSMultiBoundSphere)
    Vector3 center;
    float radius = 0;
    void Fields(Visitor& v) override {
        v.V(center);
        v.V(radius);
    }
};
