#include "OpaqueTypes.h"

#include <string_view>
#include <unordered_map>

namespace {

using R = OpaqueRefs;
using L = OpaqueLayout;

// Types known by name. Anything else that matches none of the families below is unknown.
const std::unordered_map<std::string_view, OpaqueTraits>& KnownTypes() {
    static const std::unordered_map<std::string_view, OpaqueTraits> table = {
        // Derived from NiObjectNET, no reference past the common beginning.
        {"BSEffectShaderProperty", {R::kObjectNET, L::kChanges}},
        {"BSShaderNoLightingProperty", {R::kObjectNET, L::kChanges}},
        {"NiAlphaProperty", {R::kObjectNET, L::kStable}},
        {"NiMaterialProperty", {R::kObjectNET, L::kStable}},
        {"NiSpecularProperty", {R::kObjectNET, L::kStable}},
        {"NiStencilProperty", {R::kObjectNET, L::kStable}},
        {"NiVertexColorProperty", {R::kObjectNET, L::kStable}},
        {"NiZBufferProperty", {R::kObjectNET, L::kStable}},
        {"NiWireframeProperty", {R::kObjectNET, L::kStable}},
        {"NiDitherProperty", {R::kObjectNET, L::kStable}},
        {"NiShadeProperty", {R::kObjectNET, L::kStable}},
        // No block reference.
        {"BSBehaviorGraphExtraData", {R::kNone, L::kStable}},
        {"BSBoneLODExtraData", {R::kNone, L::kStable}},
        {"BSBound", {R::kNone, L::kStable}},
        {"BSConnectPoint::Children", {R::kNone, L::kStable}},
        {"BSConnectPoint::Parents", {R::kNone, L::kStable}},
        {"BSDecalPlacementVectorExtraData", {R::kNone, L::kStable}},
        {"BSInvMarker", {R::kNone, L::kStable}},
        {"BSShaderTextureSet", {R::kNone, L::kStable}},
        {"BSXFlags", {R::kNone, L::kStable}},
        {"NiAdditionalGeometryData", {R::kNone, L::kStable}},
        {"NiBoolData", {R::kNone, L::kStable}},
        {"NiBooleanExtraData", {R::kNone, L::kStable}},
        {"NiFloatData", {R::kNone, L::kStable}},
        {"NiFloatExtraData", {R::kNone, L::kStable}},
        {"NiIntegerExtraData", {R::kNone, L::kStable}},
        {"NiMorphData", {R::kNone, L::kStable}},
        {"NiPosData", {R::kNone, L::kStable}},
        {"NiStringExtraData", {R::kNone, L::kStable}},
        {"NiTextKeyExtraData", {R::kNone, L::kStable}},
        {"NiTransformData", {R::kNone, L::kStable}},
        {"bhkBoxShape", {R::kNone, L::kStable}},
        {"bhkCapsuleShape", {R::kNone, L::kStable}},
        {"bhkCompressedMeshShapeData", {R::kNone, L::kStable}},
        {"bhkConvexVerticesShape", {R::kNone, L::kStable}},
        {"hkPackedNiTriStripsData", {R::kNone, L::kStable}},
        {"NiIntegersExtraData", {R::kNone, L::kStable}},
        {"NiFloatsExtraData", {R::kNone, L::kStable}},
        {"NiBinaryExtraData", {R::kNone, L::kStable}},
        {"NiVectorExtraData", {R::kNone, L::kStable}},
        {"NiColorExtraData", {R::kNone, L::kStable}},
        // References deeper in the body, layout the same in both forms.
        {"NiTexturingProperty", {R::kUnreachable, L::kStable}},
        {"NiSourceTexture", {R::kUnreachable, L::kStable}},
        {"NiControllerSequence", {R::kUnreachable, L::kStable}},
        {"NiDefaultAVObjectPalette", {R::kUnreachable, L::kStable}},
        {"NiSkinInstance", {R::kUnreachable, L::kStable}},
        {"NiSkinData", {R::kNone, L::kStable}},
        {"BSDismemberSkinInstance", {R::kUnreachable, L::kStable}},
        {"bhkCollisionObject", {R::kUnreachable, L::kStable}},
        {"bhkBlendCollisionObject", {R::kUnreachable, L::kStable}},
        {"bhkSPCollisionObject", {R::kUnreachable, L::kStable}},
        {"bhkSimpleShapePhantom", {R::kUnreachable, L::kStable}},
        {"bhkMoppBvTreeShape", {R::kUnreachable, L::kStable}},
        {"bhkCompressedMeshShape", {R::kUnreachable, L::kStable}},
        {"bhkConvexTransformShape", {R::kUnreachable, L::kStable}},
        {"bhkListShape", {R::kUnreachable, L::kStable}},
        {"bhkPackedNiTriStripsShape", {R::kUnreachable, L::kStable}},
        {"bhkRagdollConstraint", {R::kUnreachable, L::kStable}},
        {"bhkLimitedHingeConstraint", {R::kUnreachable, L::kStable}},
        {"bhkMalleableConstraint", {R::kUnreachable, L::kStable}},
        {"NiPSysCylinderEmitter", {R::kUnreachable, L::kStable}},
    };
    return table;
}

// Types whose body differs between the two forms.
constexpr std::string_view kLayoutChanges[] = {
    "BSMultiBoundNode",
    "BSOrderedNode",
    "BSValueNode",
    "BSTreeNode",
    "BSBlastNode",
    "BSDamageStage",
    "BSRangeNode",
    "BSDebrisNode",
    "NiBillboardNode",
    "NiSwitchNode",
    "NiLODNode",
    "NiSortAdjustNode",
    "NiBone",
    "NiCamera",
    "NiAmbientLight",
    "NiDirectionalLight",
    "NiPointLight",
    "NiSpotLight",
    "NiTextureEffect",
    "NiTriStrips",
    "NiTriStripsData",
    "BSLODTriShape",
    "BSSegmentedTriShape",
    "NiLines",
    "NiLinesData",
    "NiParticles",
    "NiParticlesData",
    "NiParticleSystem",
    "NiMeshParticleSystem",
    "BSStripParticleSystem",
    "NiPSysData",
    "NiMeshPSysData",
    "BSStripPSysData",
    "NiRotatingParticles",
    "NiRotatingParticlesData",
    "NiAutoNormalParticles",
    "NiAutoNormalParticlesData",
    "NiParticleMeshes",
    "NiParticleMeshesData",
    "NiScreenElements",
    "NiScreenElementsData",
    "BSShaderPPLightingProperty",
    "BSShaderNoLightingProperty",
    "BSShaderProperty",
    "SkyShaderProperty",
    "TileShaderProperty",
    "TallGrassShaderProperty",
    "WaterShaderProperty",
    "HairShaderProperty",
    "DistantLODShaderProperty",
    "BSDistantTreeShaderProperty",
    "VolumetricFogShaderProperty",
    "Lighting30ShaderProperty",
    "BSEffectShaderProperty",
    "BSSkyShaderProperty",
    "BSWaterShaderProperty",
    "bhkRigidBody",
    "bhkRigidBodyT",
};

bool StartsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}
bool EndsWith(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Families of types with references deeper in the body and the same layout in both forms:
// controllers, interpolators and particle modifiers.
bool IsKnownFamily(std::string_view name) {
    return EndsWith(name, "Controller") || EndsWith(name, "Interpolator") ||
           ((StartsWith(name, "NiPSys") || StartsWith(name, "BSPSys")) &&
            (EndsWith(name, "Modifier") || EndsWith(name, "Emitter")));
}

}  // namespace

OpaqueTraits TraitsOfOpaqueType(const std::string& typeName) {
    std::string_view name(typeName);
    OpaqueTraits traits{R::kUnreachable, L::kUnknown};
    auto known = KnownTypes().find(name);
    if (known != KnownTypes().end()) {
        traits = known->second;
    } else if (IsKnownFamily(name)) {
        traits.layout = L::kStable;
    }
    for (std::string_view changing : kLayoutChanges) {
        if (changing == name) traits.layout = L::kChanges;
    }
    return traits;
}
