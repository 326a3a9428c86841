// Structures that several block families share: fixed records (read and written in bulk, their
// memory layout being their file layout) and described structures with Fields.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "NiObject.h"

struct Vector4 {
    float x = 0, y = 0, z = 0, w = 0;
};
struct Quaternion {
    float w = 1, x = 0, y = 0, z = 0;
};
struct Color3 {
    float r = 0, g = 0, b = 0;
};
struct Matrix22 {
    float m[4] = {};
};
struct Matrix44 {
    float m[16] = {};
};
struct NiBound {
    Vector3 center;
    float radius = 0;
};
struct NiTransform {
    Matrix33 rotation;
    Vector3 translation;
    float scale = 1;
};
struct NiQuatTransform {
    Vector3 translation;
    Quaternion rotation;
    float scale = 1;
};
struct TBC {
    float t = 0, b = 0, c = 0;
};
struct HalfVector3 {
    uint16_t x = 0, y = 0, z = 0;
};
struct NiPlane {
    Vector3 normal;
    float constant = 0;
};
static_assert(sizeof(Vector4) == 16 && sizeof(Quaternion) == 16 && sizeof(Color3) == 12 &&
              sizeof(Matrix44) == 64 && sizeof(NiBound) == 16 && sizeof(NiTransform) == 52 &&
              sizeof(NiQuatTransform) == 32 && sizeof(TBC) == 12 && sizeof(HalfVector3) == 6);

// A length-prefixed text inside a body (uint length).
struct SizedText {
    std::string text;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.Text(text, 4);
    }
};

// One key of an animation curve; the key type (1 linear, 2 quadratic, 3 TBC) decides what
// follows the value.
template <class T>
struct Key {
    static constexpr bool kRecordLayout = true;  // see Visitor.h
    float time = 0;
    T value{};
    T forward{};
    T backward{};
    TBC tbc;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t keyType) {
        if constexpr (std::is_same_v<T, StringRef>) {
            v.V(time);
            v.String(value);
            if (keyType == 2) {
                v.String(forward);
                v.String(backward);
            }
        } else {
            // The time and value of a key move as one run.
            v.V(time, value);
            if (keyType == 2) v.V(forward, backward);
        }
        if (keyType == 3) v.V(tbc);
    }
};

// A curve: its keys and their key type (stored only when there are keys).
template <class T>
struct KeyGroup {
    uint32_t keyType = 0;
    KeyList<Key<T>> keys;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        uint32_t n = static_cast<uint32_t>(keys.size());
        v.Count(n);
        if (n != 0) v.V(keyType);
        v.Structs(keys, n, keyType);
    }
};

// One rotation key; XYZ rotation curves (key type 4) keep their keys elsewhere.
struct QuatKey {
    static constexpr bool kRecordLayout = true;  // see Visitor.h
    float time = 0;
    Quaternion value;
    TBC tbc;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint32_t keyType) {
        if (keyType != 4) {
            v.V(time, value);
        }
        if (keyType == 3) v.V(tbc);
    }
};
