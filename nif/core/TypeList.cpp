#include "TypeList.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "Visitor.h"

namespace {

constexpr TypeInfo kInfos[] = {
#define NIF_TYPE(name, parent, forms) {#name, TypeId::parent, forms, false},
#define NIF_ABSTRACT(name, parent, forms) {#name, TypeId::parent, forms, true},
#include "Types.def"
#undef NIF_TYPE
#undef NIF_ABSTRACT
    {"", TypeId::NiObject, 0, true},
};
static_assert(std::size(kInfos) == kListedTypeCount + 1);

// Names in sorted order for the lookup by name.
struct ByName {
    std::array<std::pair<std::string_view, TypeId>, kListedTypeCount> entries;
    ByName() {
        for (size_t i = 0; i < kListedTypeCount; ++i)
            entries[i] = {kInfos[i].name, static_cast<TypeId>(i)};
        std::sort(entries.begin(), entries.end());
    }
};

}  // namespace

const TypeInfo& InfoOf(TypeId type) {
    const auto i = static_cast<size_t>(type);
    return kInfos[i < kListedTypeCount ? i : kListedTypeCount];
}

const char* NameOf(TypeId type) {
    return InfoOf(type).name;
}

bool IsA(TypeId type, TypeId base) {
    if (type == TypeId::kUnlisted) return false;
    for (;;) {
        if (type == base) return true;
        const TypeId parent = InfoOf(type).parent;
        if (parent == type) return false;
        type = parent;
    }
}

TypeId TypeByName(std::string_view name) {
    static const ByName table;
    auto it = std::lower_bound(table.entries.begin(), table.entries.end(),
                               std::pair<std::string_view, TypeId>{name, TypeId::NiObject});
    if (it != table.entries.end() && it->first == name) return it->second;
    return TypeId::kUnlisted;
}

uint8_t FormOf(uint32_t userVersion, uint32_t userVersion2) {
    if (userVersion == 11 && userVersion2 == 34) return kForm34;
    if (userVersion == 12 && userVersion2 == 83) return kForm83;
    if (userVersion == 12 && userVersion2 == 100) return kForm100;
    return 0;
}
