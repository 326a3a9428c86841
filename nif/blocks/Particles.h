// Particle systems: the system and its particle data, the modifiers that emit, move, colour
// and kill particles, the colliders, and the controllers that animate modifiers.
#pragma once

#include <array>

#include "Animation.h"
#include "Geometry.h"

// ---- the system and its data ----

class NiParticles : public NiGeometry {
  public:
    NIF_BLOCK(NiParticles)
};

class NiParticleSystem : public NiParticles {
  public:
    NIF_BLOCK(NiParticleSystem)
    // The Special Edition stores the data reference here instead of NiGeometry's place for
    // it: `data` serves both, so the reference survives a change of form.
    uint64_t vertexDesc = 0;                                        // the Special Edition
    uint16_t farBegin = 0, farEnd = 0, nearBegin = 0, nearEnd = 0;  // the game forms
    uint8_t worldSpace = 1;
    std::vector<BlockRef> modifiers;

    NIF_FIELDS(v) {
        NiParticles::Describe(v);
        if (v.In(kForm100)) v.V(vertexDesc);
        if (v.In(kFormsGame)) {
            v.V(farBegin, farEnd, nearBegin, nearEnd);
        }
        if (v.In(kForm100)) v.Ref(data, RefKind::kOwned, TypeId::NiPSysData);
        v.V(worldSpace);
        v.RefList(kCount32, modifiers, RefKind::kOwned, TypeId::NiPSysModifier);
    }
};

class BSStripParticleSystem : public NiParticleSystem {
  public:
    NIF_BLOCK(BSStripParticleSystem)
};

// Per-particle lists are not stored in these forms: the data keeps only the flags that say
// which attributes the particles have, and the texture atlas.
class NiParticlesData : public NiGeometryData {
  public:
    NIF_BLOCK(NiParticlesData)
    uint8_t hasRadii = 0;
    uint16_t numActive = 0;
    uint8_t hasSizes = 0, hasRotations = 0, hasRotationAngles = 0, hasRotationAxes = 0;
    uint8_t hasTextureIndices = 0;
    std::vector<Vector4> subtextureOffsets;  // the Blender form counts them in one byte
    float aspectRatio = 0;                   // the rest: the game forms
    uint16_t aspectFlags = 0;
    float speedToAspectAspect2 = 0, speedToAspectSpeed1 = 0, speedToAspectSpeed2 = 0;

    NIF_FIELDS(v) {
        NiGeometryData::Describe(v);
        v.V(hasRadii, numActive, hasSizes, hasRotations, hasRotationAngles, hasRotationAxes,
            hasTextureIndices);
        if (v.In(kForm34)) {
            v.List(kCount8, subtextureOffsets);
        } else {
            v.List(kCount32, subtextureOffsets);
        }
        if (v.In(kFormsGame)) {
            v.V(aspectRatio, aspectFlags, speedToAspectAspect2, speedToAspectSpeed1,
                speedToAspectSpeed2);
        }
    }

    // The Blender form counts subtexture offsets in a byte: an atlas of more cells cannot go
    // there whole.
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        NiGeometryData::SwitchForm(from, to, notes);
        if (to == kForm34 && subtextureOffsets.size() > 255) {
            subtextureOffsets.resize(255);
            notes.emplace_back("particle subtexture offsets cut to the 255 the form can count");
        }
    }
};

class NiPSysData : public NiParticlesData {
  public:
    NIF_BLOCK(NiPSysData)
    uint8_t hasRotationSpeeds = 0;
    NIF_FIELDS(v) {
        NiParticlesData::Describe(v);
        v.V(hasRotationSpeeds);
    }
};

class BSStripPSysData : public NiPSysData {
  public:
    NIF_BLOCK(BSStripPSysData)
    uint16_t maxPointCount = 0;
    float startCapSize = 0, endCapSize = 0;
    uint8_t doZPrepass = 0;
    NIF_FIELDS(v) {
        NiPSysData::Describe(v);
        v.V(maxPointCount, startCapSize, endCapSize, doZPrepass);
    }
};

// A node that holds the particle systems several emitters share.
class BSMasterParticleSystem : public NiNode {
  public:
    NIF_BLOCK(BSMasterParticleSystem)
    uint16_t maxEmitterObjects = 0;
    std::vector<BlockRef> particleSystems;
    NIF_FIELDS(v) {
        NiNode::Describe(v);
        v.V(maxEmitterObjects);
        v.RefList(kCount32, particleSystems, RefKind::kOwned, TypeId::NiAVObject);
    }
};

// ---- modifiers ----

class NiPSysModifier : public NiObject {
  public:
    NIF_BASE(NiPSysModifier)
    StringRef name = kNoString;
    uint32_t order = 0;  // the order modifiers run in: emitters 1000, colliders 5000, ...
    BlockRef target = kNoBlock;
    uint8_t active = 1;
    NIF_FIELDS(v) {
        v.String(name);
        v.V(order);
        v.Ref(target, RefKind::kBack, TypeId::NiParticleSystem);
        v.V(active);
    }
};

class NiPSysAgeDeathModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysAgeDeathModifier)
    uint8_t spawnOnDeath = 0;
    BlockRef spawnModifier = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(spawnOnDeath);
        v.Ref(spawnModifier, RefKind::kOwned, TypeId::NiPSysSpawnModifier);
    }
};

class NiPSysBombModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysBombModifier)
    BlockRef bombObject = kNoBlock;
    Vector3 bombAxis;
    float decay = 0, deltaV = 0;
    uint32_t decayType = 0, symmetryType = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(bombObject, RefKind::kBack, TypeId::NiNode);
        v.V(bombAxis, decay, deltaV, decayType, symmetryType);
    }
};

class NiPSysBoundUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysBoundUpdateModifier)
    uint16_t updateSkip = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(updateSkip);
    }
};

class NiPSysColliderManager : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysColliderManager)
    BlockRef collider = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(collider, RefKind::kOwned, TypeId::NiPSysCollider);
    }
};

class NiPSysColorModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysColorModifier)
    BlockRef data = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(data, RefKind::kOwned, TypeId::NiColorData);
    }
};

class NiPSysDragModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysDragModifier)
    BlockRef dragObject = kNoBlock;
    Vector3 dragAxis;
    float percentage = 0, range = 0, rangeFalloff = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(dragObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(dragAxis, percentage, range, rangeFalloff);
    }
};

class NiPSysGravityModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysGravityModifier)
    BlockRef gravityObject = kNoBlock;
    Vector3 gravityAxis;
    float decay = 0, strength = 0;
    uint32_t forceType = 0;  // 0 planar, 1 spherical
    float turbulence = 0, turbulenceScale = 1;
    uint8_t worldAligned = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(gravityObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(gravityAxis, decay, strength, forceType, turbulence, turbulenceScale, worldAligned);
    }
};

class NiPSysGrowFadeModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysGrowFadeModifier)
    float growTime = 0;
    uint16_t growGeneration = 0;
    float fadeTime = 0;
    uint16_t fadeGeneration = 0;
    float baseScale = 1;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(growTime, growGeneration, fadeTime, fadeGeneration, baseScale);
    }
};

class NiPSysMeshUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysMeshUpdateModifier)
    std::vector<BlockRef> meshes;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.RefList(kCount32, meshes, RefKind::kOwned, TypeId::NiAVObject);
    }
};

class BSPSysHavokUpdateModifier : public NiPSysMeshUpdateModifier {
  public:
    NIF_BLOCK(BSPSysHavokUpdateModifier)
    BlockRef modifier = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysMeshUpdateModifier::Describe(v);
        v.Ref(modifier, RefKind::kOwned, TypeId::NiPSysModifier);
    }
};

class BSPSysInheritVelocityModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysInheritVelocityModifier)
    BlockRef inheritObject = kNoBlock;
    float chanceToInherit = 0, velocityMultiplier = 0, velocityVariation = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.Ref(inheritObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(chanceToInherit, velocityMultiplier, velocityVariation);
    }
};

class BSPSysRecycleBoundModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysRecycleBoundModifier)
    Vector3 boundOffset;
    Vector3 boundExtent;
    BlockRef boundObject = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(boundOffset, boundExtent);
        v.Ref(boundObject, RefKind::kBack, TypeId::NiAVObject);
    }
};

class BSPSysSubTexModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysSubTexModifier)
    float startFrame = 0, startFrameFudge = 0, endFrame = 0;
    float loopStartFrame = 0, loopStartFrameFudge = 0;
    float frameCount = 0, frameCountFudge = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(startFrame, startFrameFudge, endFrame, loopStartFrame, loopStartFrameFudge, frameCount,
            frameCountFudge);
    }
};

class NiPSysPositionModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysPositionModifier)
};

class NiPSysRotationModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysRotationModifier)
    float rotationSpeed = 0, rotationSpeedVariation = 0;
    float rotationAngle = 0, rotationAngleVariation = 0;
    uint8_t randomRotSpeedSign = 0, randomAxis = 0;
    Vector3 axis;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(rotationSpeed, rotationSpeedVariation, rotationAngle, rotationAngleVariation,
            randomRotSpeedSign, randomAxis, axis);
    }
};

class NiPSysSpawnModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysSpawnModifier)
    uint16_t numSpawnGenerations = 0;
    float percentageSpawned = 0;
    uint16_t minNumToSpawn = 0, maxNumToSpawn = 0;
    float spawnSpeedVariation = 0, spawnDirVariation = 0;
    float lifeSpan = 0, lifeSpanVariation = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(numSpawnGenerations, percentageSpawned, minNumToSpawn, maxNumToSpawn,
            spawnSpeedVariation, spawnDirVariation, lifeSpan, lifeSpanVariation);
    }
};

class BSPSysLODModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysLODModifier)
    float lodBeginDistance = 0, lodEndDistance = 0, endEmitScale = 0, endSize = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(lodBeginDistance, lodEndDistance, endEmitScale, endSize);
    }
};

class BSPSysScaleModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysScaleModifier)
    std::vector<float> scales;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.List(kCount32, scales);
    }
};

class BSPSysSimpleColorModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysSimpleColorModifier)
    float fadeInPercent = 0, fadeOutPercent = 0;
    float color1EndPercent = 0, color1StartPercent = 0;
    float color2EndPercent = 0, color2StartPercent = 0;
    std::array<Color4, 3> colors{};
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(fadeInPercent, fadeOutPercent, color1EndPercent, color1StartPercent, color2EndPercent,
            color2StartPercent, colors);
    }
};

class BSPSysStripUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysStripUpdateModifier)
    float updateDeltaTime = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(updateDeltaTime);
    }
};

class BSWindModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSWindModifier)
    float strength = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(strength);
    }
};

class BSParentVelocityModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSParentVelocityModifier)
    float damping = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(damping);
    }
};

// ---- emitters ----

class NiPSysEmitter : public NiPSysModifier {
  public:
    NIF_BASE(NiPSysEmitter)
    float speed = 0, speedVariation = 0;
    float declination = 0, declinationVariation = 0;
    float planarAngle = 0, planarAngleVariation = 0;
    Color4 initialColor;
    float initialRadius = 0, radiusVariation = 0;
    float lifeSpan = 0, lifeSpanVariation = 0;
    NIF_FIELDS(v) {
        NiPSysModifier::Describe(v);
        v.V(speed, speedVariation, declination, declinationVariation, planarAngle,
            planarAngleVariation, initialColor, initialRadius, radiusVariation, lifeSpan,
            lifeSpanVariation);
    }
};

// Emits from inside a shape placed at a node.
class NiPSysVolumeEmitter : public NiPSysEmitter {
  public:
    NIF_BASE(NiPSysVolumeEmitter)
    BlockRef emitterObject = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysEmitter::Describe(v);
        v.Ref(emitterObject, RefKind::kBack, TypeId::NiNode);
    }
};

class NiPSysBoxEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysBoxEmitter)
    float width = 0, height = 0, depth = 0;
    NIF_FIELDS(v) {
        NiPSysVolumeEmitter::Describe(v);
        v.V(width, height, depth);
    }
};

class NiPSysCylinderEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysCylinderEmitter)
    float radius = 0, height = 0;
    NIF_FIELDS(v) {
        NiPSysVolumeEmitter::Describe(v);
        v.V(radius, height);
    }
};

class NiPSysSphereEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysSphereEmitter)
    float radius = 0;
    NIF_FIELDS(v) {
        NiPSysVolumeEmitter::Describe(v);
        v.V(radius);
    }
};

class BSPSysArrayEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(BSPSysArrayEmitter)
};

class NiPSysMeshEmitter : public NiPSysEmitter {
  public:
    NIF_BLOCK(NiPSysMeshEmitter)
    std::vector<BlockRef> emitterMeshes;
    uint32_t initialVelocityType = 0;  // 0 normals, 1 random, 2 direction
    uint32_t emissionType = 0;         // vertices, face centres, edge centres, surfaces
    Vector3 emissionAxis;
    NIF_FIELDS(v) {
        NiPSysEmitter::Describe(v);
        v.RefList(kCount32, emitterMeshes, RefKind::kBack, TypeId::NiAVObject);
        v.V(initialVelocityType, emissionType, emissionAxis);
    }
};

// ---- colliders ----

class NiPSysCollider : public NiObject {
  public:
    NIF_BASE(NiPSysCollider)
    float bounce = 0;
    uint8_t spawnOnCollide = 0, dieOnCollide = 0;
    BlockRef spawnModifier = kNoBlock;
    BlockRef parent = kNoBlock;
    BlockRef nextCollider = kNoBlock;
    BlockRef colliderObject = kNoBlock;
    NIF_FIELDS(v) {
        v.V(bounce, spawnOnCollide, dieOnCollide);
        v.Ref(spawnModifier, RefKind::kOwned, TypeId::NiPSysSpawnModifier);
        v.Ref(parent, RefKind::kBack, TypeId::NiPSysColliderManager);
        v.Ref(nextCollider, RefKind::kOwned, TypeId::NiPSysCollider);
        v.Ref(colliderObject, RefKind::kBack, TypeId::NiAVObject);
    }
};

class NiPSysPlanarCollider : public NiPSysCollider {
  public:
    NIF_BLOCK(NiPSysPlanarCollider)
    float width = 0, height = 0;
    Vector3 xAxis, yAxis;
    NIF_FIELDS(v) {
        NiPSysCollider::Describe(v);
        v.V(width, height, xAxis, yAxis);
    }
};

class NiPSysSphericalCollider : public NiPSysCollider {
  public:
    NIF_BLOCK(NiPSysSphericalCollider)
    float radius = 0;
    NIF_FIELDS(v) {
        NiPSysCollider::Describe(v);
        v.V(radius);
    }
};

// ---- controller data ----

// The birth rate curve of an emitter controller and when the emitter is on.
class NiPSysEmitterCtlrData : public NiObject {
  public:
    NIF_BLOCK(NiPSysEmitterCtlrData)
    KeyGroup<float> birthRateKeys;
    KeyList<Key<uint8_t>> activeKeys;  // linear keys
    NIF_FIELDS(v) {
        v.Struct(birthRateKeys);
        v.StructList(kCount32, activeKeys, 1u);
    }
};

// ---- controllers ----

// Animates a value of the modifier named modifierName in the controlled particle system.
class NiPSysModifierCtlr : public NiSingleInterpController {
  public:
    NIF_BASE(NiPSysModifierCtlr)
    StringRef modifierName = kNoString;
    NIF_FIELDS(v) {
        NiSingleInterpController::Describe(v);
        v.String(modifierName);
    }
};

// The interpolator animates the birth rate; the visibility interpolator turns emission on and
// off.
class NiPSysEmitterCtlr : public NiPSysModifierCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterCtlr)
    BlockRef visibilityInterpolator = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysModifierCtlr::Describe(v);
        v.Ref(visibilityInterpolator, RefKind::kOwned, TypeId::NiInterpolator);
    }
};

// An emitter controller that drives the emitters of a master particle system.
class BSPSysMultiTargetEmitterCtlr : public NiPSysEmitterCtlr {
  public:
    NIF_BLOCK(BSPSysMultiTargetEmitterCtlr)
    uint16_t maxEmitters = 0;
    BlockRef masterParticleSystem = kNoBlock;
    NIF_FIELDS(v) {
        NiPSysEmitterCtlr::Describe(v);
        v.V(maxEmitters);
        v.Ref(masterParticleSystem, RefKind::kBack, TypeId::BSMasterParticleSystem);
    }
};

class NiPSysModifierBoolCtlr : public NiPSysModifierCtlr {
  public:
    NIF_BASE(NiPSysModifierBoolCtlr)
};
class NiPSysModifierActiveCtlr : public NiPSysModifierBoolCtlr {
  public:
    NIF_BLOCK(NiPSysModifierActiveCtlr)
};

class NiPSysModifierFloatCtlr : public NiPSysModifierCtlr {
  public:
    NIF_BASE(NiPSysModifierFloatCtlr)
};
class NiPSysEmitterDeclinationCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterDeclinationCtlr)
};
class NiPSysEmitterDeclinationVarCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterDeclinationVarCtlr)
};
class NiPSysEmitterInitialRadiusCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterInitialRadiusCtlr)
};
class NiPSysEmitterLifeSpanCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterLifeSpanCtlr)
};
class NiPSysEmitterSpeedCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterSpeedCtlr)
};
class NiPSysGravityStrengthCtlr : public NiPSysModifierFloatCtlr {
  public:
    NIF_BLOCK(NiPSysGravityStrengthCtlr)
};

// Controllers of the whole system, with no fields of their own: they restart the system when
// its animation loops, and advance it every frame.
class NiPSysResetOnLoopCtlr : public NiTimeController {
  public:
    NIF_BLOCK(NiPSysResetOnLoopCtlr)
};
class NiPSysUpdateCtlr : public NiTimeController {
  public:
    NIF_BLOCK(NiPSysUpdateCtlr)
};
