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

    void Fields(Visitor& v) override {
        NiParticles::Fields(v);
        if (v.In(kForm100)) v.V(vertexDesc);
        if (v.In(kFormsGame)) {
            v.V(farBegin);
            v.V(farEnd);
            v.V(nearBegin);
            v.V(nearEnd);
        }
        if (v.In(kForm100)) v.Ref(data, RefKind::kOwned, TypeId::NiPSysData);
        v.V(worldSpace);
        v.RefList<uint32_t>(modifiers, RefKind::kOwned, TypeId::NiPSysModifier);
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

    void Fields(Visitor& v) override {
        NiGeometryData::Fields(v);
        v.V(hasRadii);
        v.V(numActive);
        v.V(hasSizes);
        v.V(hasRotations);
        v.V(hasRotationAngles);
        v.V(hasRotationAxes);
        v.V(hasTextureIndices);
        if (v.In(kForm34)) {
            v.List<uint8_t>(subtextureOffsets);
        } else {
            v.List<uint32_t>(subtextureOffsets);
        }
        if (v.In(kFormsGame)) {
            v.V(aspectRatio);
            v.V(aspectFlags);
            v.V(speedToAspectAspect2);
            v.V(speedToAspectSpeed1);
            v.V(speedToAspectSpeed2);
        }
    }

    // The Blender form counts subtexture offsets in a byte: an atlas of more cells cannot go
    // there whole.
    void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) override {
        NiGeometryData::SwitchForm(from, to, notes);
        if (to == kForm34 && subtextureOffsets.size() > 255) {
            subtextureOffsets.resize(255);
            notes.push_back("particle subtexture offsets cut to the 255 the form can count");
        }
    }
};

class NiPSysData : public NiParticlesData {
  public:
    NIF_BLOCK(NiPSysData)
    uint8_t hasRotationSpeeds = 0;
    void Fields(Visitor& v) override {
        NiParticlesData::Fields(v);
        v.V(hasRotationSpeeds);
    }
};

class BSStripPSysData : public NiPSysData {
  public:
    NIF_BLOCK(BSStripPSysData)
    uint16_t maxPointCount = 0;
    float startCapSize = 0, endCapSize = 0;
    uint8_t doZPrepass = 0;
    void Fields(Visitor& v) override {
        NiPSysData::Fields(v);
        v.V(maxPointCount);
        v.V(startCapSize);
        v.V(endCapSize);
        v.V(doZPrepass);
    }
};

// A node that holds the particle systems several emitters share.
class BSMasterParticleSystem : public NiNode {
  public:
    NIF_BLOCK(BSMasterParticleSystem)
    uint16_t maxEmitterObjects = 0;
    std::vector<BlockRef> particleSystems;
    void Fields(Visitor& v) override {
        NiNode::Fields(v);
        v.V(maxEmitterObjects);
        v.RefList<uint32_t>(particleSystems, RefKind::kOwned, TypeId::NiAVObject);
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
    void Fields(Visitor& v) override {
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(bombObject, RefKind::kBack, TypeId::NiNode);
        v.V(bombAxis);
        v.V(decay);
        v.V(deltaV);
        v.V(decayType);
        v.V(symmetryType);
    }
};

class NiPSysBoundUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysBoundUpdateModifier)
    uint16_t updateSkip = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(updateSkip);
    }
};

class NiPSysColliderManager : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysColliderManager)
    BlockRef collider = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(collider, RefKind::kOwned, TypeId::NiPSysCollider);
    }
};

class NiPSysColorModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysColorModifier)
    BlockRef data = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(data, RefKind::kOwned, TypeId::NiColorData);
    }
};

class NiPSysDragModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysDragModifier)
    BlockRef dragObject = kNoBlock;
    Vector3 dragAxis;
    float percentage = 0, range = 0, rangeFalloff = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(dragObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(dragAxis);
        v.V(percentage);
        v.V(range);
        v.V(rangeFalloff);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(gravityObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(gravityAxis);
        v.V(decay);
        v.V(strength);
        v.V(forceType);
        v.V(turbulence);
        v.V(turbulenceScale);
        v.V(worldAligned);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(growTime);
        v.V(growGeneration);
        v.V(fadeTime);
        v.V(fadeGeneration);
        v.V(baseScale);
    }
};

class NiPSysMeshUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(NiPSysMeshUpdateModifier)
    std::vector<BlockRef> meshes;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.RefList<uint32_t>(meshes, RefKind::kOwned, TypeId::NiAVObject);
    }
};

class BSPSysHavokUpdateModifier : public NiPSysMeshUpdateModifier {
  public:
    NIF_BLOCK(BSPSysHavokUpdateModifier)
    BlockRef modifier = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysMeshUpdateModifier::Fields(v);
        v.Ref(modifier, RefKind::kOwned, TypeId::NiPSysModifier);
    }
};

class BSPSysInheritVelocityModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysInheritVelocityModifier)
    BlockRef inheritObject = kNoBlock;
    float chanceToInherit = 0, velocityMultiplier = 0, velocityVariation = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.Ref(inheritObject, RefKind::kBack, TypeId::NiAVObject);
        v.V(chanceToInherit);
        v.V(velocityMultiplier);
        v.V(velocityVariation);
    }
};

class BSPSysRecycleBoundModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysRecycleBoundModifier)
    Vector3 boundOffset;
    Vector3 boundExtent;
    BlockRef boundObject = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(boundOffset);
        v.V(boundExtent);
        v.Ref(boundObject, RefKind::kBack, TypeId::NiAVObject);
    }
};

class BSPSysSubTexModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysSubTexModifier)
    float startFrame = 0, startFrameFudge = 0, endFrame = 0;
    float loopStartFrame = 0, loopStartFrameFudge = 0;
    float frameCount = 0, frameCountFudge = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(startFrame);
        v.V(startFrameFudge);
        v.V(endFrame);
        v.V(loopStartFrame);
        v.V(loopStartFrameFudge);
        v.V(frameCount);
        v.V(frameCountFudge);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(rotationSpeed);
        v.V(rotationSpeedVariation);
        v.V(rotationAngle);
        v.V(rotationAngleVariation);
        v.V(randomRotSpeedSign);
        v.V(randomAxis);
        v.V(axis);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(numSpawnGenerations);
        v.V(percentageSpawned);
        v.V(minNumToSpawn);
        v.V(maxNumToSpawn);
        v.V(spawnSpeedVariation);
        v.V(spawnDirVariation);
        v.V(lifeSpan);
        v.V(lifeSpanVariation);
    }
};

class BSPSysLODModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysLODModifier)
    float lodBeginDistance = 0, lodEndDistance = 0, endEmitScale = 0, endSize = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(lodBeginDistance);
        v.V(lodEndDistance);
        v.V(endEmitScale);
        v.V(endSize);
    }
};

class BSPSysScaleModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysScaleModifier)
    std::vector<float> scales;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.List<uint32_t>(scales);
    }
};

class BSPSysSimpleColorModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysSimpleColorModifier)
    float fadeInPercent = 0, fadeOutPercent = 0;
    float color1EndPercent = 0, color1StartPercent = 0;
    float color2EndPercent = 0, color2StartPercent = 0;
    std::array<Color4, 3> colors{};
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(fadeInPercent);
        v.V(fadeOutPercent);
        v.V(color1EndPercent);
        v.V(color1StartPercent);
        v.V(color2EndPercent);
        v.V(color2StartPercent);
        v.V(colors);
    }
};

class BSPSysStripUpdateModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSPSysStripUpdateModifier)
    float updateDeltaTime = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(updateDeltaTime);
    }
};

class BSWindModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSWindModifier)
    float strength = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(strength);
    }
};

class BSParentVelocityModifier : public NiPSysModifier {
  public:
    NIF_BLOCK(BSParentVelocityModifier)
    float damping = 0;
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
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
    void Fields(Visitor& v) override {
        NiPSysModifier::Fields(v);
        v.V(speed);
        v.V(speedVariation);
        v.V(declination);
        v.V(declinationVariation);
        v.V(planarAngle);
        v.V(planarAngleVariation);
        v.V(initialColor);
        v.V(initialRadius);
        v.V(radiusVariation);
        v.V(lifeSpan);
        v.V(lifeSpanVariation);
    }
};

// Emits from inside a shape placed at a node.
class NiPSysVolumeEmitter : public NiPSysEmitter {
  public:
    NIF_BASE(NiPSysVolumeEmitter)
    BlockRef emitterObject = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysEmitter::Fields(v);
        v.Ref(emitterObject, RefKind::kBack, TypeId::NiNode);
    }
};

class NiPSysBoxEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysBoxEmitter)
    float width = 0, height = 0, depth = 0;
    void Fields(Visitor& v) override {
        NiPSysVolumeEmitter::Fields(v);
        v.V(width);
        v.V(height);
        v.V(depth);
    }
};

class NiPSysCylinderEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysCylinderEmitter)
    float radius = 0, height = 0;
    void Fields(Visitor& v) override {
        NiPSysVolumeEmitter::Fields(v);
        v.V(radius);
        v.V(height);
    }
};

class NiPSysSphereEmitter : public NiPSysVolumeEmitter {
  public:
    NIF_BLOCK(NiPSysSphereEmitter)
    float radius = 0;
    void Fields(Visitor& v) override {
        NiPSysVolumeEmitter::Fields(v);
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
    void Fields(Visitor& v) override {
        NiPSysEmitter::Fields(v);
        v.RefList<uint32_t>(emitterMeshes, RefKind::kBack, TypeId::NiAVObject);
        v.V(initialVelocityType);
        v.V(emissionType);
        v.V(emissionAxis);
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
    void Fields(Visitor& v) override {
        v.V(bounce);
        v.V(spawnOnCollide);
        v.V(dieOnCollide);
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
    void Fields(Visitor& v) override {
        NiPSysCollider::Fields(v);
        v.V(width);
        v.V(height);
        v.V(xAxis);
        v.V(yAxis);
    }
};

class NiPSysSphericalCollider : public NiPSysCollider {
  public:
    NIF_BLOCK(NiPSysSphericalCollider)
    float radius = 0;
    void Fields(Visitor& v) override {
        NiPSysCollider::Fields(v);
        v.V(radius);
    }
};

// ---- controller data ----

// The birth rate curve of an emitter controller and when the emitter is on.
class NiPSysEmitterCtlrData : public NiObject {
  public:
    NIF_BLOCK(NiPSysEmitterCtlrData)
    KeyGroup<float> birthRateKeys;
    std::vector<Key<uint8_t>> activeKeys;  // linear keys
    void Fields(Visitor& v) override {
        v.Struct(birthRateKeys);
        v.StructList<uint32_t>(activeKeys, 1u);
    }
};

// ---- controllers ----

// Animates a value of the modifier named modifierName in the controlled particle system.
class NiPSysModifierCtlr : public NiSingleInterpController {
  public:
    NIF_BASE(NiPSysModifierCtlr)
    StringRef modifierName = kNoString;
    void Fields(Visitor& v) override {
        NiSingleInterpController::Fields(v);
        v.String(modifierName);
    }
};

// The interpolator animates the birth rate; the visibility interpolator turns emission on and
// off.
class NiPSysEmitterCtlr : public NiPSysModifierCtlr {
  public:
    NIF_BLOCK(NiPSysEmitterCtlr)
    BlockRef visibilityInterpolator = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysModifierCtlr::Fields(v);
        v.Ref(visibilityInterpolator, RefKind::kOwned, TypeId::NiInterpolator);
    }
};

// An emitter controller that drives the emitters of a master particle system.
class BSPSysMultiTargetEmitterCtlr : public NiPSysEmitterCtlr {
  public:
    NIF_BLOCK(BSPSysMultiTargetEmitterCtlr)
    uint16_t maxEmitters = 0;
    BlockRef masterParticleSystem = kNoBlock;
    void Fields(Visitor& v) override {
        NiPSysEmitterCtlr::Fields(v);
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
