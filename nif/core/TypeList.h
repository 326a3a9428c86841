// The one list of block types Pellmar describes (blocks/Types.def): name, parent, the forms
// the type exists in, and whether real files hold it or it only gives its fields to
// descendants. The type ids, the factory, the type tests and the names all come from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

enum class TypeId : uint16_t {
#define NIF_TYPE(name, parent, forms) name,
#define NIF_ABSTRACT(name, parent, forms) name,
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
    kUnlisted,  // a type outside the list: its blocks stay opaque
};

// How many types the list holds.
constexpr size_t kListedTypeCount = static_cast<size_t>(TypeId::kUnlisted);

struct TypeInfo {
    const char* name;
    TypeId parent;  // NiObject is its own parent
    uint8_t forms;  // FormBits
    bool abstract;
};

const TypeInfo& InfoOf(TypeId type);
const char* NameOf(TypeId type);
// Each listed type's place in a depth-first walk of the type tree, and the last place among
// its descendants: a type descends from base when its place lies within base's span.
struct TypeSpan {
    uint16_t first, last;
};
extern const std::array<TypeSpan, kListedTypeCount> kTypeSpans;
// True when type is base or descends from it.
inline bool IsA(TypeId type, TypeId base) {
    const auto t = static_cast<size_t>(type), b = static_cast<size_t>(base);
    if (t >= kListedTypeCount || b >= kListedTypeCount) return false;
    return kTypeSpans[b].first <= kTypeSpans[t].first && kTypeSpans[t].first <= kTypeSpans[b].last;
}
// The listed type of that name, or kUnlisted.
TypeId TypeByName(std::string_view name);
