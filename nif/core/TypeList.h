// The one list of block types Pellmar describes (blocks/Types.def): name, parent, the forms
// the type exists in, and whether real files hold it or it only gives its fields to
// descendants. The type ids, the factory, the type tests and the names all come from it.
#pragma once

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

struct TypeInfo {
    const char* name;
    TypeId parent;  // NiObject is its own parent
    uint8_t forms;  // FormBits
    bool abstract;
};

const TypeInfo& InfoOf(TypeId type);
const char* NameOf(TypeId type);
// True when type is base or descends from it.
bool IsA(TypeId type, TypeId base);
// The listed type of that name, or kUnlisted.
TypeId TypeByName(std::string_view name);
// How many types the list holds.
constexpr size_t kListedTypeCount = static_cast<size_t>(TypeId::kUnlisted);
