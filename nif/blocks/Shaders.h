// Properties, shaders, texture sets and textures.
#pragma once

#include "Scene.h"

class NiProperty : public NiObjectNET {
  public:
    NIF_BASE(NiProperty)
};

// Properties whose body after the common beginning is one or a few plain values.
#define NIF_SIMPLE_PROPERTY(T, ValueType) \
    class T : public NiProperty {         \
      public:                             \
        NIF_BLOCK(T)                      \
        ValueType flags{};                \
        NIF_FIELDS(v) {                   \
            NiProperty::Describe(v);      \
            v.V(flags);                   \
        }                                 \
    };
NIF_SIMPLE_PROPERTY(NiDitherProperty, uint16_t)
NIF_SIMPLE_PROPERTY(NiSpecularProperty, uint16_t)
NIF_SIMPLE_PROPERTY(NiVertexColorProperty, uint16_t)
NIF_SIMPLE_PROPERTY(NiWireframeProperty, uint16_t)
NIF_SIMPLE_PROPERTY(NiZBufferProperty, uint16_t)
#undef NIF_SIMPLE_PROPERTY

class NiTransparentProperty : public NiProperty {
  public:
    NIF_BLOCK(NiTransparentProperty)
    std::array<uint8_t, 6> unknown{};
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        v.V(unknown);
    }
};

class NiAlphaProperty : public NiProperty {
  public:
    NIF_BLOCK(NiAlphaProperty)
    uint16_t flags = 4844;
    uint8_t threshold = 128;
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        v.V(flags, threshold);
    }
};

class NiMaterialProperty : public NiProperty {
  public:
    NIF_BLOCK(NiMaterialProperty)
    Color3 specular;
    Color3 emissive;
    float glossiness = 0, alpha = 1, emissiveMult = 1;
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        v.V(specular, emissive, glossiness, alpha, emissiveMult);
    }
};

class NiStencilProperty : public NiProperty {
  public:
    NIF_BLOCK(NiStencilProperty)
    uint16_t flags = 0;
    uint32_t stencilRef = 0, stencilMask = 0;
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        v.V(flags, stencilRef, stencilMask);
    }
};

class NiShadeProperty : public NiProperty {
  public:
    NIF_BLOCK(NiShadeProperty)
    uint16_t shadeFlags = 0;  // the Blender form
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        if (v.In(kForm34)) v.V(shadeFlags);
    }
};

class BSShaderProperty : public NiShadeProperty {
  public:
    NIF_BLOCK(BSShaderProperty)
    // The Blender form's shader header.
    uint32_t shaderType = 0, shaderFlags = 0, shaderFlags2 = 0;
    float environmentMapScale = 0;
    NIF_FIELDS(v) {
        NiShadeProperty::Describe(v);
        if (v.In(kForm34)) {
            v.V(shaderType, shaderFlags, shaderFlags2, environmentMapScale);
        }
    }
};

// Shaders of the Blender form whose body ends in one file name.
#define NIF_NAMED_SHADER(T, Parent) \
    class T : public Parent {       \
      public:                       \
        NIF_BLOCK(T)                \
        std::string fileName;       \
        NIF_FIELDS(v) {             \
            Parent::Describe(v);    \
            v.Text(fileName, 4);    \
        }                           \
    };

class BSShaderLightingProperty : public BSShaderProperty {
  public:
    NIF_BASE(BSShaderLightingProperty)
    uint32_t textureClampMode = 3;
    NIF_FIELDS(v) {
        BSShaderProperty::Describe(v);
        v.V(textureClampMode);
    }
};

class BSShaderNoLightingProperty : public BSShaderLightingProperty {
  public:
    NIF_BLOCK(BSShaderNoLightingProperty)
    std::string fileName;
    float falloffStartAngle = 0, falloffStopAngle = 0, falloffStartOpacity = 0,
          falloffStopOpacity = 0;
    NIF_FIELDS(v) {
        BSShaderLightingProperty::Describe(v);
        v.Text(fileName, 4);
        v.V(falloffStartAngle, falloffStopAngle, falloffStartOpacity, falloffStopOpacity);
    }
};

class BSShaderPPLightingProperty : public BSShaderLightingProperty {
  public:
    NIF_BLOCK(BSShaderPPLightingProperty)
    BlockRef textureSet = kNoBlock;
    float refractionStrength = 0;
    int32_t refractionFirePeriod = 0;
    float parallaxMaxPasses = 4, parallaxScale = 1;
    NIF_FIELDS(v) {
        BSShaderLightingProperty::Describe(v);
        v.Ref(textureSet, RefKind::kOwned, TypeId::BSShaderTextureSet);
        v.V(refractionStrength, refractionFirePeriod, parallaxMaxPasses, parallaxScale);
    }
};
class Lighting30ShaderProperty : public BSShaderPPLightingProperty {
  public:
    NIF_BLOCK(Lighting30ShaderProperty)
};

class WaterShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(WaterShaderProperty)
};
class DistantLODShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(DistantLODShaderProperty)
};
class BSDistantTreeShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(BSDistantTreeShaderProperty)
};
class VolumetricFogShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(VolumetricFogShaderProperty)
};
class HairShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(HairShaderProperty)
};
NIF_NAMED_SHADER(TallGrassShaderProperty, BSShaderProperty)
NIF_NAMED_SHADER(TileShaderProperty, BSShaderLightingProperty)

class SkyShaderProperty : public BSShaderLightingProperty {
  public:
    NIF_BLOCK(SkyShaderProperty)
    std::string fileName;
    uint32_t skyObjectType = 0;
    NIF_FIELDS(v) {
        BSShaderLightingProperty::Describe(v);
        v.Text(fileName, 4);
        v.V(skyObjectType);
    }
};
#undef NIF_NAMED_SHADER

class BSShaderTextureSet : public NiObject {
  public:
    NIF_BLOCK(BSShaderTextureSet)
    std::vector<SizedText> textures;
    NIF_FIELDS(v) { v.StructList(kCount32, textures); }
};

// The flags, UV transform and colours at the beginning of the game form's shaders.
struct SkyrimShaderHeader {
    uint32_t flags1 = 0;  // bit 1 Skinned, bit 12 Model_Space_Normals, ...
    uint32_t flags2 = 0;  // bit 5 Vertex_Colors, ...
    TexCoord uvOffset;
    TexCoord uvScale{1, 1};
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(flags1, flags2, uvOffset, uvScale);
    }
};

class BSLightingShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(BSLightingShaderProperty)
    uint32_t lightingShaderType = 0;
    SkyrimShaderHeader header;
    BlockRef textureSet = kNoBlock;
    Color3 emissiveColor;
    float emissiveMultiple = 1;
    uint32_t textureClampMode = 3;
    float alpha = 1, refractionStrength = 0, glossiness = 80;
    Color3 specularColor{1, 1, 1};
    float specularStrength = 1, lightingEffect1 = 0.3f, lightingEffect2 = 2;
    // The tail the shader type selects.
    float environmentMapScale = 1;                       // 1
    Color3 tintColor;                                    // 5 skin, 6 hair
    float maxPasses = 0, scale = 1;                      // 7
    float innerLayerThickness = 0, refractionScale = 0;  // 11
    TexCoord innerLayerTextureScale;
    float envmapStrength = 0;
    Vector4 sparkleParameters;  // 14
    float eyeCubemapScale = 0;  // 16
    Vector3 leftEyeReflectionCenter, rightEyeReflectionCenter;

    bool HasModelSpaceNormals() const { return (header.flags1 & 0x1000) != 0; }

    NIF_FIELDS(v) {
        // The game forms store the shader type before everything else, the name included.
        if (v.In(kFormsGame)) v.V(lightingShaderType);
        BSShaderProperty::Describe(v);
        v.Struct(header);
        v.Ref(textureSet, RefKind::kOwned, TypeId::BSShaderTextureSet);
        v.V(emissiveColor, emissiveMultiple, textureClampMode, alpha, refractionStrength,
            glossiness, specularColor, specularStrength, lightingEffect1, lightingEffect2);
        switch (lightingShaderType) {
            case 1:
                v.V(environmentMapScale);
                break;
            case 5:
            case 6:
                v.V(tintColor);
                break;
            case 7:
                v.V(maxPasses, scale);
                break;
            case 11:
                v.V(innerLayerThickness, refractionScale, innerLayerTextureScale, envmapStrength);
                break;
            case 14:
                v.V(sparkleParameters);
                break;
            case 16:
                v.V(eyeCubemapScale, leftEyeReflectionCenter, rightEyeReflectionCenter);
                break;
            default:
                break;
        }
    }
};

class BSEffectShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(BSEffectShaderProperty)
    SkyrimShaderHeader header;
    std::string sourceTexture;
    uint8_t textureClampMode = 3, lightingInfluence = 0, envMapMinLod = 0, unused = 0;
    float falloffStartAngle = 1, falloffStopAngle = 1, falloffStartOpacity = 0,
          falloffStopOpacity = 0;
    Color4 baseColor;
    float baseColorScale = 1, softFalloffDepth = 0;
    std::string greyscaleTexture;
    NIF_FIELDS(v) {
        BSShaderProperty::Describe(v);
        v.Struct(header);
        v.Text(sourceTexture, 4);
        v.V(textureClampMode, lightingInfluence, envMapMinLod, unused, falloffStartAngle,
            falloffStopAngle, falloffStartOpacity, falloffStopOpacity, baseColor, baseColorScale,
            softFalloffDepth);
        v.Text(greyscaleTexture, 4);
    }
};

class BSWaterShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(BSWaterShaderProperty)
    SkyrimShaderHeader header;
    uint32_t waterFlags = 0;
    NIF_FIELDS(v) {
        BSShaderProperty::Describe(v);
        v.Struct(header);
        v.V(waterFlags);
    }
};

class BSSkyShaderProperty : public BSShaderProperty {
  public:
    NIF_BLOCK(BSSkyShaderProperty)
    SkyrimShaderHeader header;
    std::string sourceTexture;
    uint32_t skyObjectType = 0;
    NIF_FIELDS(v) {
        BSShaderProperty::Describe(v);
        v.Struct(header);
        v.Text(sourceTexture, 4);
        v.V(skyObjectType);
    }
};

// The family of pixel data a texture may hold inside the file; no type of it is described.
class NiPixelFormat : public NiObject {
  public:
    NIF_BASE(NiPixelFormat)
};

class NiTexture : public NiObjectNET {
  public:
    NIF_BASE(NiTexture)
};

class NiSourceTexture : public NiTexture {
  public:
    NIF_BLOCK(NiSourceTexture)
    uint8_t useExternal = 1;
    StringRef fileName = kNoString;
    BlockRef pixelData = kNoBlock;
    std::array<uint32_t, 3> formatPrefs{};
    uint8_t isStatic = 1, directRender = 1, persistRenderData = 0;
    NIF_FIELDS(v) {
        NiTexture::Describe(v);
        v.V(useExternal);
        if (useExternal <= 1) {
            v.String(fileName);
            v.Ref(pixelData, RefKind::kOwned, TypeId::NiPixelFormat);
        }
        v.V(formatPrefs, isStatic, directRender, persistRenderData);
    }
};

struct TexDesc {
    BlockRef source = kNoBlock;
    uint16_t flags = 0;
    uint8_t hasTransform = 0;
    TexCoord translation, scale{1, 1};
    float rotation = 0;
    uint32_t transformMethod = 0;
    TexCoord center;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Ref(source, RefKind::kOwned, TypeId::NiSourceTexture);
        v.V(flags, hasTransform);
        if (hasTransform) {
            v.V(translation, scale, rotation, transformMethod, center);
        }
    }
};

struct OptionalTexture {
    uint8_t has = 0;
    TexDesc texture;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(has);
        if (has) v.Struct(texture);
    }
};

struct ShaderTexDesc {
    OptionalTexture map;
    uint32_t mapId = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Struct(map);
        if (map.has) v.V(mapId);
    }
};

class NiTexturingProperty : public NiProperty {
  public:
    NIF_BLOCK(NiTexturingProperty)
    uint16_t flags = 0;
    uint32_t textureCount = 0;
    // base, dark, detail, gloss, glow, bump, normal, parallax, decal 0 to 3
    std::array<OptionalTexture, 12> textures{};
    float bumpLumaScale = 0, bumpLumaOffset = 0;
    Matrix22 bumpMatrix;
    float parallaxOffset = 0;
    std::vector<ShaderTexDesc> shaderTextures;
    NIF_FIELDS(v) {
        NiProperty::Describe(v);
        v.V(flags, textureCount);
        for (uint32_t slot = 0; slot < textures.size() && v.Ok(); ++slot) {
            // Slots from the bump map on exist only when the count reaches them.
            if (slot >= 5 && textureCount <= slot) continue;
            v.Struct(textures[slot]);
            if (slot == 5 && textures[slot].has) {
                v.V(bumpLumaScale, bumpLumaOffset, bumpMatrix);
            }
            if (slot == 7 && textures[slot].has) v.V(parallaxOffset);
        }
        v.StructList(kCount32, shaderTextures);
    }
};
