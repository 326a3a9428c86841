// The format vocabulary of NIF 20.2.0.7 bodies: fixed-width little-endian numbers and the
// small records built from them. Records hold floats by value; every copy keeps the exact
// bit pattern that was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Triangle {
    uint16_t v1 = 0, v2 = 0, v3 = 0;
};

struct Color4 {
    float r = 0, g = 0, b = 0, a = 0;
};

struct Matrix33 {
    float m[9] = {};
};

struct TexCoord {
    float u = 0, v = 0;
};

// Records are read and written in bulk: their memory layout is their file layout.
static_assert(sizeof(Vector3) == 12 && sizeof(Triangle) == 6 && sizeof(Color4) == 16 &&
              sizeof(Matrix33) == 36 && sizeof(TexCoord) == 8);

// A block reference is an int index in block order; -1 means none.
using BlockRef = int32_t;
// A string reference is an int index into the header's string table; -1 means none.
using StringRef = int32_t;

constexpr BlockRef kNoBlock = -1;
constexpr StringRef kNoString = -1;

// The forms Pellmar converts between.
constexpr uint32_t kBlenderUserVersion = 11;
constexpr uint32_t kBlenderUserVersion2 = 34;
constexpr uint32_t kGameUserVersion = 12;
constexpr uint32_t kGameUserVersion2 = 83;
// The Special Edition's form: the game user version with this second one.
constexpr uint32_t kSEUserVersion2 = 100;

// The longest sized string the reader accepts, in bytes.
constexpr uint32_t kMaxSizedString = 1024;

// A short human description of a file's form, from its two user versions.
std::string DescribeForm(uint32_t userVersion, uint32_t userVersion2);

// Empties a list and hands its storage back to the allocator. (`list = {}` would pick the
// assignment from an initializer list, which keeps the storage.)
template <class List>
void ReleaseStorage(List& list) {
    List().swap(list);
}
