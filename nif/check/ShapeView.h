// The shapes of a file with what lint and repair read of each: the data, shader, alpha
// property and skin, found the same way in every form.
#pragma once

#include <type_traits>
#include <vector>

#include "Geometry.h"
#include "NifFile.h"
#include "Shaders.h"

struct ShapeView {
    uint32_t index = 0;
    const NiAVObject* shape = nullptr;  // NiGeometry or BSTriShape
    const NiTriBasedGeomData* data = nullptr;
    BlockRef shader = kNoBlock;  // the game forms' slot, or the first shader listed (11/34)
    BlockRef alpha = kNoBlock;
    BlockRef skin = kNoBlock;
};

// Triangle shapes (NiTriShape, NiTriStrips, BSLODTriShape and their kin) and BSTriShape, in
// block order.
inline std::vector<ShapeView> ShapesOf(const NifFile& file) {
    std::vector<ShapeView> shapes;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        ShapeView s;
        s.index = i;
        if (const auto* g = As<NiTriBasedGeom>(file.blocks[i].get())) {
            s.shape = g;
            s.data = file.BlockAs<NiTriBasedGeomData>(g->data);
            s.skin = g->skinInstance;
            s.shader = g->shaderProperty;
            s.alpha = g->alphaProperty;
            for (BlockRef p : g->properties) {
                if (s.shader == kNoBlock && file.BlockAs<BSShaderProperty>(p)) s.shader = p;
                if (s.alpha == kNoBlock && file.BlockAs<NiAlphaProperty>(p)) s.alpha = p;
            }
        } else if (const auto* t = As<BSTriShape>(file.blocks[i].get())) {
            s.shape = t;
            s.skin = t->skin;
            s.shader = t->shaderProperty;
            s.alpha = t->alphaProperty;
        } else {
            continue;
        }
        shapes.push_back(s);
    }
    return shapes;
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
constexpr uint32_t kModelSpaceNormals = 1u << 12;  // first word
constexpr uint32_t kVertexColors = 1u << 5;        // second word
constexpr uint16_t kStartBoneSet = 1u << 8;        // a body part's partition flag
}  // namespace shader_bits
