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

constexpr std::array<TypeSpan, kListedTypeCount> BuildTypeSpans() {
    std::array<TypeSpan, kListedTypeCount> spans{};
    // A walk from the root (NiObject is its own parent) with an explicit stack of types, each
    // with the next type to look at as a child.
    std::array<size_t, kListedTypeCount> stack{}, next{};
    uint16_t counter = 0;
    for (size_t root = 0; root < kListedTypeCount; ++root) {
        if (static_cast<size_t>(kInfos[root].parent) != root) continue;
        size_t depth = 0;
        stack[depth] = root;
        next[depth] = 0;
        spans[root].first = counter++;
        while (true) {
            const size_t at = stack[depth];
            size_t& child = next[depth];
            while (child < kListedTypeCount &&
                   (static_cast<size_t>(kInfos[child].parent) != at || child == at))
                ++child;
            if (child < kListedTypeCount) {
                const size_t c = child++;
                spans[c].first = counter++;
                ++depth;
                stack[depth] = c;
                next[depth] = 0;
            } else {
                spans[at].last = static_cast<uint16_t>(counter - 1);
                if (depth == 0) break;
                --depth;
            }
        }
    }
    return spans;
}

}  // namespace

// Computed when compiling.
constinit const std::array<TypeSpan, kListedTypeCount> kTypeSpans = BuildTypeSpans();

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
