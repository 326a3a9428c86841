#include "TypeList.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

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

namespace {

// Each type's place in a depth-first walk of the type tree: a type descends from base when
// its place lies within base's span.
struct TypeTree {
    std::array<uint16_t, kListedTypeCount> first{}, last{};
    TypeTree() {
        std::vector<std::vector<size_t>> children(kListedTypeCount);
        for (size_t i = 0; i < kListedTypeCount; ++i) {
            const auto parent = static_cast<size_t>(kInfos[i].parent);
            if (parent != i) children[parent].push_back(i);
        }
        uint16_t counter = 0;
        // Iterative walk from every root (NiObject is the only one).
        std::vector<std::pair<size_t, size_t>> stack;
        for (size_t root = 0; root < kListedTypeCount; ++root) {
            if (static_cast<size_t>(kInfos[root].parent) != root) continue;
            stack.push_back({root, 0});
            first[root] = counter++;
            while (!stack.empty()) {
                auto& [at, next] = stack.back();
                if (next < children[at].size()) {
                    const size_t child = children[at][next++];
                    first[child] = counter++;
                    stack.push_back({child, 0});
                } else {
                    last[at] = static_cast<uint16_t>(counter - 1);
                    stack.pop_back();
                }
            }
        }
    }
};

}  // namespace

bool IsA(TypeId type, TypeId base) {
    const auto t = static_cast<size_t>(type), b = static_cast<size_t>(base);
    if (t >= kListedTypeCount || b >= kListedTypeCount) return false;
    static const TypeTree tree;
    return tree.first[b] <= tree.first[t] && tree.first[t] <= tree.last[b];
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
