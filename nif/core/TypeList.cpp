#include "TypeList.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

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

namespace {

// The lookup by name: an open-addressing table of the names' hashes, filled when compiling.
// A file's header names each of its types once, but a folder of small files asks for a few
// names per file, so the lookup costs one hash of the name's length and its first and last
// eight bytes, and mostly one comparison.
constexpr size_t kNameSlotBits = 10;
constexpr size_t kNameSlots = size_t{1} << kNameSlotBits;
static_assert(kNameSlots >= 2 * kListedTypeCount);

// The hashes taken when compiling must be the ones taken when running.
static_assert(std::endian::native == std::endian::little);

// Eight bytes of a name from `at` on (fewer at its end), little-endian, as a number.
constexpr uint64_t NameWord(std::string_view name, size_t at) {
    if (!std::is_constant_evaluated() && at + 8 <= name.size()) {
        uint64_t w;
        std::memcpy(&w, name.data() + at, 8);
        return w;
    }
    uint64_t w = 0;
    for (size_t i = 0; i < 8 && at + i < name.size(); ++i)
        w |= uint64_t{static_cast<uint8_t>(name[at + i])} << (8 * i);
    return w;
}

constexpr size_t NameSlot(std::string_view name) {
    const size_t n = name.size();
    uint64_t h = NameWord(name, 0) * 0x9E3779B97F4A7C15u;
    h ^= NameWord(name, n > 8 ? n - 8 : 0) * 0xC2B2AE3D27D4EB4Fu;
    h ^= n * 0x165667B19E3779F9u;
    return static_cast<size_t>(h >> (64 - kNameSlotBits));
}

constexpr std::array<size_t, kListedTypeCount> BuildNameLengths() {
    std::array<size_t, kListedTypeCount> lengths{};
    for (size_t i = 0; i < kListedTypeCount; ++i)
        lengths[i] = std::string_view(kInfos[i].name).size();
    return lengths;
}

constinit const std::array<size_t, kListedTypeCount> kNameLengths = BuildNameLengths();

// Each slot holds a type id plus one; 0 marks an empty slot.
constexpr std::array<uint16_t, kNameSlots> BuildNameSlots() {
    std::array<uint16_t, kNameSlots> slots{};
    for (size_t i = 0; i < kListedTypeCount; ++i) {
        size_t at = NameSlot(kInfos[i].name);
        while (slots[at] != 0) at = (at + 1) & (kNameSlots - 1);
        slots[at] = static_cast<uint16_t>(i + 1);
    }
    return slots;
}

constinit const std::array<uint16_t, kNameSlots> kNameSlotsTable = BuildNameSlots();

}  // namespace

TypeId TypeByName(std::string_view name) {
    for (size_t at = NameSlot(name);; at = (at + 1) & (kNameSlots - 1)) {
        const uint16_t slot = kNameSlotsTable[at];
        if (slot == 0) return TypeId::kUnlisted;
        const size_t i = slot - 1u;
        if (std::string_view(kInfos[i].name, kNameLengths[i]) == name)
            return static_cast<TypeId>(i);
    }
}

uint8_t FormOf(uint32_t userVersion, uint32_t userVersion2) {
    if (userVersion == 11 && userVersion2 == 34) return kForm34;
    if (userVersion == 12 && userVersion2 == 83) return kForm83;
    if (userVersion == 12 && userVersion2 == 100) return kForm100;
    return 0;
}
