// What Pellmar knows about the block types it keeps opaque: where their block references
// are, and whether their body changes between the Blender form (11/34) and the game form
// (12/83).
#pragma once

#include <string>

enum class OpaqueRefs {
    kNone,         // no block reference at all: the bytes travel unchanged
    kObjectNET,    // only the common beginning: name, extra-data list, controller
    kUnreachable,  // references deeper in the body, or a type Pellmar does not know
};

enum class OpaqueLayout {
    kStable,   // the same body in both forms
    kChanges,  // the body differs between the forms
    kUnknown,  // a type Pellmar knows nothing about
};

struct OpaqueTraits {
    OpaqueRefs refs;
    OpaqueLayout layout;
};

OpaqueTraits TraitsOfOpaqueType(const std::string& typeName);
