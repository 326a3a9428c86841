// The factory: a new block of each concrete listed type.
#include <algorithm>
#include <iterator>
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

namespace {

// Makes a block of type T and reads its body: the description is called directly, with no
// look-up of the type besides the one that chose this function.
template <class T>
std::unique_ptr<NiObject> MakeAndRead(FieldReading& v) {
    auto block = std::make_unique<T>();
    block->T::Fields(v);
    return block;
}

// By type id: abstract types, and types outside the list, are read as raw bytes.
constexpr BlockReading kReadings[] = {
#define NIF_TYPE(name, parent, forms) &MakeAndRead<name>,
#define NIF_ABSTRACT(name, parent, forms) &MakeAndRead<OpaqueBlock>,
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
    &MakeAndRead<OpaqueBlock>,  // kUnlisted
};
static_assert(std::size(kReadings) == kListedTypeCount + 1);

}  // namespace

BlockReading ReadingFor(TypeId type) {
    return kReadings[std::min(static_cast<size_t>(type), kListedTypeCount)];
}

// Each listed class's anchor (NiObject.h).
#define NIF_TYPE(name, parent, forms) \
    void name::Anchor() const {}
#define NIF_ABSTRACT(name, parent, forms) NIF_TYPE(name, parent, forms)
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
