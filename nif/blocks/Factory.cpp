// The factory: a new block of each concrete listed type.
#include <type_traits>

#include "Animation.h"
#include "ExtraData.h"
#include "Geometry.h"
#include "Havok.h"
#include "Particles.h"
#include "Scene.h"
#include "Shaders.h"

std::unique_ptr<NiObject> CreateBlock(TypeId type) {
    switch (type) {
#define NIF_TYPE(name, parent, forms) \
    case TypeId::name:                \
        return std::make_unique<name>();
#define NIF_ABSTRACT(name, parent, forms)
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
        default:
            return nullptr;
    }
}

// Each listed class's anchor (NiObject.h).
#define NIF_TYPE(name, parent, forms) \
    void name::Anchor() const {}
#define NIF_ABSTRACT(name, parent, forms) NIF_TYPE(name, parent, forms)
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
