// Named scene objects and nodes: the beginning every scene-graph block shares, and the node
// types of Bethesda meshes.
#pragma once

#include "Structs.h"

class NiObjectNET : public NiObject {
  public:
    NIF_BASE(NiObjectNET)
    StringRef name = kNoString;
    std::vector<BlockRef> extraData;
    BlockRef controller = kNoBlock;

    NIF_FIELDS(v) {
        v.String(name);
        v.RefList(kCount32, extraData, RefKind::kOwned, TypeId::NiExtraData);
        v.Ref(controller, RefKind::kOwned, TypeId::NiTimeController);
    }
};

class NiAVObject : public NiObjectNET {
  public:
    NIF_BASE(NiAVObject)
    uint32_t flags = 0;
    Vector3 translation;
    Matrix33 rotation;
    float scale = 1;
    std::vector<BlockRef> properties;  // the Blender form only
    BlockRef collisionObject = kNoBlock;

    NIF_FIELDS(v) {
        NiObjectNET::Describe(v);
        v.V(flags, translation, rotation, scale);
        if (v.In(kForm34)) v.RefList(kCount32, properties, RefKind::kOwned, TypeId::NiProperty);
        v.Ref(collisionObject, RefKind::kOwned, TypeId::NiCollisionObject);
    }
};

class NiDynamicEffect : public NiAVObject {
  public:
    NIF_BASE(NiDynamicEffect)
    uint8_t switchState = 0;
    std::vector<BlockRef> affectedNodes;
    NIF_FIELDS(v) {
        NiAVObject::Describe(v);
        v.V(switchState);
        v.RefList(kCount32, affectedNodes, RefKind::kBack, TypeId::NiNode);
    }
};

class NiNode : public NiAVObject {
  public:
    NIF_BLOCK(NiNode)
    std::vector<BlockRef> children;
    std::vector<BlockRef> effects;
    NIF_FIELDS(v) {
        NiAVObject::Describe(v);
        v.RefList(kCount32, children, RefKind::kOwned, TypeId::NiAVObject);
        v.RefList(kCount32, effects, RefKind::kOwned, TypeId::NiDynamicEffect);
    }
};

class NiBone : public NiNode {
  public:
    NIF_BLOCK(NiBone)
};
class BSFadeNode : public NiNode {
  public:
    NIF_BLOCK(BSFadeNode)
};
class BSLeafAnimNode : public NiNode {
  public:
    NIF_BLOCK(BSLeafAnimNode)
};
// Older node types with a node's body and nothing more.
class RootCollisionNode : public NiNode {
  public:
    NIF_BLOCK(RootCollisionNode)
};
class AvoidNode : public NiNode {
  public:
    NIF_BLOCK(AvoidNode)
};
class NiBSAnimationNode : public NiNode {
  public:
    NIF_BLOCK(NiBSAnimationNode)
};
class NiBSParticleNode : public NiNode {
  public:
    NIF_BLOCK(NiBSParticleNode)
};

class NiBillboardNode : public NiNode {
  public:
    NIF_BLOCK(NiBillboardNode)
    uint16_t billboardMode = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(billboardMode);
    }
};

class NiSwitchNode : public NiNode {
  public:
    NIF_BLOCK(NiSwitchNode)
    uint16_t switchFlags = 0;
    uint32_t index = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(switchFlags, index);
    }
};

class NiSortAdjustNode : public NiNode {
  public:
    NIF_BLOCK(NiSortAdjustNode)
    uint32_t sortingMode = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(sortingMode);
    }
};

class BSValueNode : public NiNode {
  public:
    NIF_BLOCK(BSValueNode)
    uint32_t value = 0;
    uint8_t valueFlags = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(value, valueFlags);
    }
};

class BSOrderedNode : public NiNode {
  public:
    NIF_BLOCK(BSOrderedNode)
    Vector4 alphaSortBound;
    uint8_t staticBound = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(alphaSortBound, staticBound);
    }
};

class BSRangeNode : public NiNode {
  public:
    NIF_BLOCK(BSRangeNode)
    uint8_t min = 0, max = 0, current = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(min, max, current);
    }
};
class BSBlastNode : public BSRangeNode {
  public:
    NIF_BLOCK(BSBlastNode)
};
class BSDamageStage : public BSBlastNode {
  public:
    NIF_BLOCK(BSDamageStage)
};
class BSDebrisNode : public BSRangeNode {
  public:
    NIF_BLOCK(BSDebrisNode)
};

class BSMultiBoundNode : public NiNode {
  public:
    NIF_BLOCK(BSMultiBoundNode)
    BlockRef multiBound = kNoBlock;
    uint32_t cullingMode = 0;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.Ref(multiBound, RefKind::kOwned, TypeId::BSMultiBound);
        if (v.In(kFormsGame)) v.V(cullingMode);
    }
};

class BSTreeNode : public NiNode {
  public:
    NIF_BLOCK(BSTreeNode)
    std::vector<BlockRef> bones1;
    std::vector<BlockRef> bones2;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.RefList(kCount32, bones1, RefKind::kOwned, TypeId::NiNode);
        v.RefList(kCount32, bones2, RefKind::kOwned, TypeId::NiNode);
    }
};
