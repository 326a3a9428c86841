// Animation: controllers and the interpolators they drive, the key data behind those,
// controller sequences and their managers, the object palette and Bethesda's animation notes.
#pragma once

#include <array>

#include "Scene.h"

// ---- key data ----

// Rotation keys: quaternion keys, or (key type 4) three separate float curves about X, Y and
// Z. In the XYZ case the file still stores the key count, but the keys themselves hold
// nothing; `keys` then keeps that many empty entries so the count survives.
struct RotationKeys {
    uint32_t keyType = 0;
    KeyList<QuatKey> keys;
    std::array<KeyGroup<float>, 3> xyz;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        uint32_t n = static_cast<uint32_t>(keys.size());
        v.Count(n);
        if (n != 0) v.V(keyType);
        // The key type is stored only with keys; without keys it counts as 0.
        const uint32_t type = n != 0 ? keyType : 0;
        v.Structs(keys, n, type);
        if (type == 4)
            for (KeyGroup<float>& group : xyz) v.Struct(group);
    }
};

class NiKeyframeData : public NiObject {
  public:
    NIF_BLOCK(NiKeyframeData)
    RotationKeys rotations;
    KeyGroup<Vector3> translations;
    KeyGroup<float> scales;
    NIF_FIELDS(v) {
        v.Struct(rotations);
        v.Struct(translations);
        v.Struct(scales);
    }
};
class NiTransformData : public NiKeyframeData {
  public:
    NIF_BLOCK(NiTransformData)
};

class NiRotData : public NiObject {
  public:
    NIF_BLOCK(NiRotData)
    RotationKeys rotations;
    NIF_FIELDS(v) { v.Struct(rotations); }
};

class NiFloatData : public NiObject {
  public:
    NIF_BLOCK(NiFloatData)
    KeyGroup<float> data;
    NIF_FIELDS(v) { v.Struct(data); }
};

class NiBoolData : public NiObject {
  public:
    NIF_BLOCK(NiBoolData)
    KeyGroup<uint8_t> data;
    NIF_FIELDS(v) { v.Struct(data); }
};

class NiPosData : public NiObject {
  public:
    NIF_BLOCK(NiPosData)
    KeyGroup<Vector3> data;
    NIF_FIELDS(v) { v.Struct(data); }
};

class NiColorData : public NiObject {
  public:
    NIF_BLOCK(NiColorData)
    KeyGroup<Color4> data;
    NIF_FIELDS(v) { v.Struct(data); }
};

class NiUVData : public NiObject {
  public:
    NIF_BLOCK(NiUVData)
    std::array<KeyGroup<float>, 4> groups;  // U offset, V offset, U tiling, V tiling
    NIF_FIELDS(v) {
        for (KeyGroup<float>& group : groups) v.Struct(group);
    }
};

class NiVisData : public NiObject {
  public:
    NIF_BLOCK(NiVisData)
    KeyList<Key<uint8_t>> keys;  // linear keys, no key type stored
    NIF_FIELDS(v) { v.StructList(kCount32, keys, 1u); }
};

// One morph target: a name and an offset per vertex.
struct Morph {
    StringRef frameName = kNoString;
    std::vector<Vector3> vectors;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t vertexCount) {
        v.String(frameName);
        v.Array(vectors, vertexCount);
    }
};

class NiMorphData : public NiObject {
  public:
    NIF_BLOCK(NiMorphData)
    uint32_t vertexCount = 0;  // the length of every morph's vector list
    uint8_t relativeTargets = 0;
    std::vector<Morph> morphs;
    NIF_FIELDS(v) {
        uint32_t n = static_cast<uint32_t>(morphs.size());
        v.Count(n);
        v.Count(vertexCount);
        v.V(relativeTargets);
        v.Structs(morphs, n, vertexCount);
    }
};

class NiBSplineData : public NiObject {
  public:
    NIF_BLOCK(NiBSplineData)
    std::vector<float> floatControlPoints;
    std::vector<int16_t> compactControlPoints;
    NIF_FIELDS(v) {
        v.List(kCount32, floatControlPoints);
        v.List(kCount32, compactControlPoints);
    }
};

class NiBSplineBasisData : public NiObject {
  public:
    NIF_BLOCK(NiBSplineBasisData)
    uint32_t controlPointCount = 0;
    NIF_FIELDS(v) { v.V(controlPointCount); }
};

// ---- interpolators ----

class NiInterpolator : public NiObject {
  public:
    NIF_BASE(NiInterpolator)
};
class NiKeyBasedInterpolator : public NiInterpolator {
  public:
    NIF_BASE(NiKeyBasedInterpolator)
};

class NiColorInterpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiColorInterpolator)
    Color4 value;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(value);
        v.Ref(data, RefKind::kOwned, TypeId::NiColorData);
    }
};

class NiFloatInterpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiFloatInterpolator)
    float value = 0;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(value);
        v.Ref(data, RefKind::kOwned, TypeId::NiFloatData);
    }
};

class NiTransformInterpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiTransformInterpolator)
    NiQuatTransform transform;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(transform);
        v.Ref(data, RefKind::kOwned, TypeId::NiTransformData);
    }
};
class BSRotAccumTransfInterpolator : public NiTransformInterpolator {
  public:
    NIF_BLOCK(BSRotAccumTransfInterpolator)
};

class NiPoint3Interpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiPoint3Interpolator)
    Vector3 value;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(value);
        v.Ref(data, RefKind::kOwned, TypeId::NiPosData);
    }
};

class NiPathInterpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiPathInterpolator)
    uint16_t flags = 0;
    int32_t bankDirection = 0;
    float maxBankAngle = 0;
    float smoothing = 0;
    int16_t followAxis = 0;
    BlockRef pathData = kNoBlock;
    BlockRef percentData = kNoBlock;
    NIF_FIELDS(v) {
        v.V(flags, bankDirection, maxBankAngle, smoothing, followAxis);
        v.Ref(pathData, RefKind::kOwned, TypeId::NiPosData);
        v.Ref(percentData, RefKind::kOwned, TypeId::NiFloatData);
    }
};

class NiBoolInterpolator : public NiKeyBasedInterpolator {
  public:
    NIF_BLOCK(NiBoolInterpolator)
    uint8_t value = 0;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        v.V(value);
        v.Ref(data, RefKind::kOwned, TypeId::NiBoolData);
    }
};
class NiBoolTimelineInterpolator : public NiBoolInterpolator {
  public:
    NIF_BLOCK(NiBoolTimelineInterpolator)
};

struct InterpBlendItem {
    BlockRef interpolator = kNoBlock;
    float weight = 0;
    float normalizedWeight = 0;
    uint8_t priority = 0;
    float easeSpinner = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Ref(interpolator, RefKind::kOwned, TypeId::NiInterpolator);
        v.V(weight, normalizedWeight, priority, easeSpinner);
    }
};

// Flag bit 0 (manager controlled): the blend state lives in the controller manager and the
// body stops after the weight threshold, though it still stores the array size.
class NiBlendInterpolator : public NiInterpolator {
  public:
    NIF_BASE(NiBlendInterpolator)
    uint8_t flags = 0;
    uint8_t arraySize = 0;  // kept for manager-controlled blends; else the length of `items`
    float weightThreshold = 0;
    uint8_t interpCount = 0;
    uint8_t singleIndex = 0;
    int8_t highPriority = 0;
    int8_t nextHighPriority = 0;
    float singleTime = 0;
    float highWeightsSum = 0;
    float nextHighWeightsSum = 0;
    float highEaseSpinner = 0;
    std::vector<InterpBlendItem> items;

    NIF_FIELDS(v) {
        v.V(flags);
        const bool managed = (flags & 1) != 0;
        uint8_t size = managed ? arraySize : static_cast<uint8_t>(items.size());
        if (!managed && items.size() > 255) v.Mismatch("blend item list longer than 255");
        v.Count(size);
        if (v.Reading() || v.Mode() == VisitMode::kRandom) arraySize = size;
        v.V(weightThreshold);
        if (managed) return;
        v.V(interpCount, singleIndex, highPriority, nextHighPriority, singleTime, highWeightsSum,
            nextHighWeightsSum, highEaseSpinner);
        v.Structs(items, size);
    }
};

class NiBlendBoolInterpolator : public NiBlendInterpolator {
  public:
    NIF_BLOCK(NiBlendBoolInterpolator)
    uint8_t value = 0;
    NIF_FIELDS(v) {
        NiBlendInterpolator::Describe(v);
        v.V(value);
    }
};
class NiBlendFloatInterpolator : public NiBlendInterpolator {
  public:
    NIF_BLOCK(NiBlendFloatInterpolator)
    float value = 0;
    NIF_FIELDS(v) {
        NiBlendInterpolator::Describe(v);
        v.V(value);
    }
};
class NiBlendPoint3Interpolator : public NiBlendInterpolator {
  public:
    NIF_BLOCK(NiBlendPoint3Interpolator)
    Vector3 value;
    NIF_FIELDS(v) {
        NiBlendInterpolator::Describe(v);
        v.V(value);
    }
};
class NiBlendTransformInterpolator : public NiBlendInterpolator {
  public:
    NIF_BLOCK(NiBlendTransformInterpolator)
};

class NiBSplineInterpolator : public NiInterpolator {
  public:
    NIF_BASE(NiBSplineInterpolator)
    float startTime = 0;
    float stopTime = 0;
    BlockRef splineData = kNoBlock;
    BlockRef basisData = kNoBlock;
    NIF_FIELDS(v) {
        v.V(startTime, stopTime);
        v.Ref(splineData, RefKind::kOwned, TypeId::NiBSplineData);
        v.Ref(basisData, RefKind::kOwned, TypeId::NiBSplineBasisData);
    }
};

class NiBSplineFloatInterpolator : public NiBSplineInterpolator {
  public:
    NIF_BASE(NiBSplineFloatInterpolator)
    float value = 0;
    uint32_t handle = 0;
    NIF_FIELDS(v) {
        NiBSplineInterpolator::Describe(v);
        v.V(value, handle);
    }
};
class NiBSplineCompFloatInterpolator : public NiBSplineFloatInterpolator {
  public:
    NIF_BLOCK(NiBSplineCompFloatInterpolator)
    float offset = 0;
    float halfRange = 0;
    NIF_FIELDS(v) {
        NiBSplineFloatInterpolator::Describe(v);
        v.V(offset, halfRange);
    }
};

class NiBSplinePoint3Interpolator : public NiBSplineInterpolator {
  public:
    NIF_BASE(NiBSplinePoint3Interpolator)
    Vector3 value;
    uint32_t handle = 0;
    NIF_FIELDS(v) {
        NiBSplineInterpolator::Describe(v);
        v.V(value, handle);
    }
};
class NiBSplineCompPoint3Interpolator : public NiBSplinePoint3Interpolator {
  public:
    NIF_BLOCK(NiBSplineCompPoint3Interpolator)
    float offset = 0;
    float halfRange = 0;
    NIF_FIELDS(v) {
        NiBSplinePoint3Interpolator::Describe(v);
        v.V(offset, halfRange);
    }
};

class NiBSplineTransformInterpolator : public NiBSplineInterpolator {
  public:
    NIF_BLOCK(NiBSplineTransformInterpolator)
    NiQuatTransform transform;
    uint32_t translationHandle = 0;
    uint32_t rotationHandle = 0;
    uint32_t scaleHandle = 0;
    NIF_FIELDS(v) {
        NiBSplineInterpolator::Describe(v);
        v.V(transform, translationHandle, rotationHandle, scaleHandle);
    }
};
class NiBSplineCompTransformInterpolator : public NiBSplineTransformInterpolator {
  public:
    NIF_BLOCK(NiBSplineCompTransformInterpolator)
    float translationOffset = 0, translationHalfRange = 0;
    float rotationOffset = 0, rotationHalfRange = 0;
    float scaleOffset = 0, scaleHalfRange = 0;
    NIF_FIELDS(v) {
        NiBSplineTransformInterpolator::Describe(v);
        v.V(translationOffset, translationHalfRange, rotationOffset, rotationHalfRange, scaleOffset,
            scaleHalfRange);
    }
};

class NiLookAtInterpolator : public NiInterpolator {
  public:
    NIF_BLOCK(NiLookAtInterpolator)
    uint16_t flags = 0;
    BlockRef lookAt = kNoBlock;
    StringRef lookAtName = kNoString;
    NiQuatTransform transform;
    BlockRef translation = kNoBlock;
    BlockRef roll = kNoBlock;
    BlockRef scale = kNoBlock;
    NIF_FIELDS(v) {
        v.V(flags);
        v.Ref(lookAt, RefKind::kBack, TypeId::NiNode);
        v.String(lookAtName);
        v.V(transform);
        v.Ref(translation, RefKind::kOwned, TypeId::NiPoint3Interpolator);
        v.Ref(roll, RefKind::kOwned, TypeId::NiFloatInterpolator);
        v.Ref(scale, RefKind::kOwned, TypeId::NiFloatInterpolator);
    }
};

// ---- controllers ----

class NiTimeController : public NiObject {
  public:
    NIF_BASE(NiTimeController)
    BlockRef nextController = kNoBlock;
    uint16_t flags = 0;  // bit 0 anim type, bits 1-2 cycle type, bit 3 active, bit 4 backwards
    float frequency = 1;
    float phase = 0;
    float startTime = 0;
    float stopTime = 0;
    BlockRef target = kNoBlock;
    NIF_FIELDS(v) {
        v.Ref(nextController, RefKind::kOwned, TypeId::NiTimeController);
        v.V(flags, frequency, phase, startTime, stopTime);
        v.Ref(target, RefKind::kBack, TypeId::NiObjectNET);
    }
};

class NiInterpController : public NiTimeController {
  public:
    NIF_BASE(NiInterpController)
};

class NiMultiTargetTransformController : public NiInterpController {
  public:
    NIF_BLOCK(NiMultiTargetTransformController)
    std::vector<BlockRef> extraTargets;
    NIF_FIELDS(v) {
        NiInterpController::Describe(v);
        v.RefList(kCount16, extraTargets, RefKind::kBack, TypeId::NiAVObject);
    }
};

struct MorphWeight {
    BlockRef interpolator = kNoBlock;
    float weight = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Ref(interpolator, RefKind::kOwned, TypeId::NiInterpolator);
        v.V(weight);
    }
};

class NiGeomMorpherController : public NiInterpController {
  public:
    NIF_BLOCK(NiGeomMorpherController)
    uint16_t morpherFlags = 0;
    BlockRef data = kNoBlock;
    uint8_t alwaysUpdate = 0;
    std::vector<MorphWeight> interpolators;
    NIF_FIELDS(v) {
        NiInterpController::Describe(v);
        v.V(morpherFlags);
        v.Ref(data, RefKind::kOwned, TypeId::NiMorphData);
        v.V(alwaysUpdate);
        v.StructList(kCount32, interpolators);
    }
};

class NiMorpherController : public NiInterpController {
  public:
    NIF_BLOCK(NiMorpherController)
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        NiInterpController::Describe(v);
        v.Ref(data, RefKind::kOwned, TypeId::NiMorphData);
    }
};

class NiSingleInterpController : public NiInterpController {
  public:
    NIF_BASE(NiSingleInterpController)
    BlockRef interpolator = kNoBlock;
    NIF_FIELDS(v) {
        NiInterpController::Describe(v);
        v.Ref(interpolator, RefKind::kOwned, TypeId::NiInterpolator);
    }
};

class NiKeyframeController : public NiSingleInterpController {
  public:
    NIF_BLOCK(NiKeyframeController)
};
class NiTransformController : public NiKeyframeController {
  public:
    NIF_BLOCK(NiTransformController)
};

class NiFloatInterpController : public NiSingleInterpController {
  public:
    NIF_BASE(NiFloatInterpController)
};

class NiFlipController : public NiFloatInterpController {
  public:
    NIF_BLOCK(NiFlipController)
    uint32_t textureSlot = 0;
    std::vector<BlockRef> sources;
    NIF_FIELDS(v) {
        NiFloatInterpController::Describe(v);
        v.V(textureSlot);
        v.RefList(kCount32, sources, RefKind::kOwned, TypeId::NiSourceTexture);
    }
};

class NiAlphaController : public NiFloatInterpController {
  public:
    NIF_BLOCK(NiAlphaController)
};

class NiTextureTransformController : public NiFloatInterpController {
  public:
    NIF_BLOCK(NiTextureTransformController)
    uint8_t shaderMap = 0;
    uint32_t textureSlot = 0;
    uint32_t operation = 0;
    NIF_FIELDS(v) {
        NiFloatInterpController::Describe(v);
        v.V(shaderMap, textureSlot, operation);
    }
};

// The shader controllers of the game forms name the variable or color they drive by number.
class BSEffectShaderPropertyFloatController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSEffectShaderPropertyFloatController)
    uint32_t controlledVariable = 0;
    NIF_FIELDS(v) {
        NiFloatInterpController::Describe(v);
        v.V(controlledVariable);
    }
};
class BSLightingShaderPropertyFloatController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSLightingShaderPropertyFloatController)
    uint32_t controlledVariable = 0;
    NIF_FIELDS(v) {
        NiFloatInterpController::Describe(v);
        v.V(controlledVariable);
    }
};
class BSLightingShaderPropertyUShortController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSLightingShaderPropertyUShortController)
    uint32_t controlledVariable = 0;
    NIF_FIELDS(v) {
        NiFloatInterpController::Describe(v);
        v.V(controlledVariable);
    }
};
class BSNiAlphaPropertyTestRefController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSNiAlphaPropertyTestRefController)
};
class BSMaterialEmittanceMultController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSMaterialEmittanceMultController)
};
class BSRefractionStrengthController : public NiFloatInterpController {
  public:
    NIF_BLOCK(BSRefractionStrengthController)
};

class NiBoolInterpController : public NiSingleInterpController {
  public:
    NIF_BASE(NiBoolInterpController)
};
class NiVisController : public NiBoolInterpController {
  public:
    NIF_BLOCK(NiVisController)
};

class NiPoint3InterpController : public NiSingleInterpController {
  public:
    NIF_BASE(NiPoint3InterpController)
};

class NiMaterialColorController : public NiPoint3InterpController {
  public:
    NIF_BLOCK(NiMaterialColorController)
    uint16_t targetColor = 0;
    NIF_FIELDS(v) {
        NiPoint3InterpController::Describe(v);
        v.V(targetColor);
    }
};
class BSEffectShaderPropertyColorController : public NiPoint3InterpController {
  public:
    NIF_BLOCK(BSEffectShaderPropertyColorController)
    uint32_t controlledColor = 0;
    NIF_FIELDS(v) {
        NiPoint3InterpController::Describe(v);
        v.V(controlledColor);
    }
};
class BSLightingShaderPropertyColorController : public NiPoint3InterpController {
  public:
    NIF_BLOCK(BSLightingShaderPropertyColorController)
    uint32_t controlledColor = 0;
    NIF_FIELDS(v) {
        NiPoint3InterpController::Describe(v);
        v.V(controlledColor);
    }
};

class NiExtraDataController : public NiSingleInterpController {
  public:
    NIF_BASE(NiExtraDataController)
    StringRef extraDataName = kNoString;
    NIF_FIELDS(v) {
        NiSingleInterpController::Describe(v);
        v.String(extraDataName);
    }
};
class NiFloatExtraDataController : public NiExtraDataController {
  public:
    NIF_BLOCK(NiFloatExtraDataController)
};

// The nodes of one level of detail.
struct NodeSet {
    std::vector<BlockRef> nodes;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.RefList(kCount32, nodes, RefKind::kBack, TypeId::NiNode);
    }
};

class NiBoneLODController : public NiTimeController {
  public:
    NIF_BLOCK(NiBoneLODController)
    uint32_t lod = 0;
    uint32_t nodeGroupCount = 0;  // stored apart from the number of levels, which sizes the list
    std::vector<NodeSet> nodeGroups;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(lod);
        uint32_t n = static_cast<uint32_t>(nodeGroups.size());
        v.Count(n);
        v.V(nodeGroupCount);
        v.Structs(nodeGroups, n);
    }
};
class NiBSBoneLODController : public NiBoneLODController {
  public:
    NIF_BLOCK(NiBSBoneLODController)
};

class bhkBlendController : public NiTimeController {
  public:
    NIF_BLOCK(bhkBlendController)
    uint32_t keys = 0;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(keys);
    }
};

class NiLookAtController : public NiTimeController {
  public:
    NIF_BLOCK(NiLookAtController)
    uint16_t lookAtFlags = 0;
    BlockRef lookAt = kNoBlock;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(lookAtFlags);
        v.Ref(lookAt, RefKind::kBack, TypeId::NiNode);
    }
};

class NiUVController : public NiTimeController {
  public:
    NIF_BLOCK(NiUVController)
    uint16_t textureSet = 0;
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(textureSet);
        v.Ref(data, RefKind::kOwned, TypeId::NiUVData);
    }
};

class BSRefractionFirePeriodController : public NiTimeController {
  public:
    NIF_BLOCK(BSRefractionFirePeriodController)
    BlockRef interpolator = kNoBlock;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.Ref(interpolator, RefKind::kOwned, TypeId::NiInterpolator);
    }
};

class BSLagBoneController : public NiTimeController {
  public:
    NIF_BLOCK(BSLagBoneController)
    float linearVelocity = 0;
    float linearRotation = 0;
    float maximumDistance = 0;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(linearVelocity, linearRotation, maximumDistance);
    }
};

class NiControllerManager : public NiTimeController {
  public:
    NIF_BLOCK(NiControllerManager)
    uint8_t cumulative = 0;
    std::vector<BlockRef> sequences;
    BlockRef objectPalette = kNoBlock;
    NIF_FIELDS(v) {
        NiTimeController::Describe(v);
        v.V(cumulative);
        v.RefList(kCount32, sequences, RefKind::kOwned, TypeId::NiControllerSequence);
        v.Ref(objectPalette, RefKind::kOwned, TypeId::NiDefaultAVObjectPalette);
    }
};

// ---- sequences, the object palette, animation notes ----

// One animated channel of a sequence: what drives it and, by name, what it drives.
struct ControlledBlock {
    BlockRef interpolator = kNoBlock;
    BlockRef controller = kNoBlock;
    uint8_t priority = 0;
    StringRef nodeName = kNoString;
    StringRef propertyType = kNoString;
    StringRef controllerType = kNoString;
    StringRef controllerId = kNoString;
    StringRef interpolatorId = kNoString;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Ref(interpolator, RefKind::kOwned, TypeId::NiInterpolator);
        v.Ref(controller, RefKind::kOwned, TypeId::NiTimeController);
        v.V(priority);
        v.String(nodeName);
        v.String(propertyType);
        v.String(controllerType);
        v.String(controllerId);
        v.String(interpolatorId);
    }
};

class NiSequence : public NiObject {
  public:
    NIF_BLOCK(NiSequence)
    StringRef name = kNoString;
    uint32_t arrayGrowBy = 0;
    std::vector<ControlledBlock> controlledBlocks;
    NIF_FIELDS(v) {
        v.String(name);
        uint32_t n = static_cast<uint32_t>(controlledBlocks.size());
        v.Count(n);
        v.V(arrayGrowBy);
        v.Structs(controlledBlocks, n);
    }
};

class NiControllerSequence : public NiSequence {
  public:
    NIF_BLOCK(NiControllerSequence)
    float weight = 1;
    BlockRef textKeys = kNoBlock;
    uint32_t cycleType = 0;
    float frequency = 1;
    float startTime = 0;
    float stopTime = 0;
    BlockRef manager = kNoBlock;
    StringRef accumRootName = kNoString;
    std::vector<BlockRef> animNoteArrays;
    NIF_FIELDS(v) {
        NiSequence::Describe(v);
        v.V(weight);
        v.Ref(textKeys, RefKind::kOwned, TypeId::NiTextKeyExtraData);
        v.V(cycleType, frequency, startTime, stopTime);
        v.Ref(manager, RefKind::kBack, TypeId::NiControllerManager);
        v.String(accumRootName);
        v.RefList(kCount16, animNoteArrays, RefKind::kOwned, TypeId::BSAnimNotes);
    }
};

// A palette entry: an object and the name sequences know it by (a text in the body).
struct AVObject {
    std::string name;
    BlockRef object = kNoBlock;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Text(name, 4);
        v.Ref(object, RefKind::kBack, TypeId::NiAVObject);
    }
};

class NiAVObjectPalette : public NiObject {
  public:
    NIF_BASE(NiAVObjectPalette)
};
class NiDefaultAVObjectPalette : public NiAVObjectPalette {
  public:
    NIF_BLOCK(NiDefaultAVObjectPalette)
    BlockRef scene = kNoBlock;
    std::vector<AVObject> objects;
    NIF_FIELDS(v) {
        v.Ref(scene, RefKind::kBack, TypeId::NiAVObject);
        v.StructList(kCount32, objects);
    }
};

// A note at a time of an animation: type 1 carries an arm value, type 2 a gain and a state.
class BSAnimNote : public NiObject {
  public:
    NIF_BLOCK(BSAnimNote)
    uint32_t type = 0;
    float time = 0;
    uint32_t arm = 0;
    float gain = 0;
    uint32_t state = 0;
    NIF_FIELDS(v) {
        v.V(type, time);
        if (type == 1) v.V(arm);
        if (type == 2) {
            v.V(gain, state);
        }
    }
};

class BSAnimNotes : public NiObject {
  public:
    NIF_BLOCK(BSAnimNotes)
    std::vector<BlockRef> notes;
    NIF_FIELDS(v) { v.RefList(kCount16, notes, RefKind::kOwned, TypeId::BSAnimNote); }
};
