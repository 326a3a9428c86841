// The Special Edition's packed vertex record: which parts a record holds follows from the
// attribute bits of its vertex description, and the description's low four bits give the
// record's size in 4-byte units.
#pragma once

#include "Structs.h"

// The attribute bits (bits 44 to 55 of a vertex description).
enum VertexAttribute : uint16_t {
    kVaVertex = 0x1,
    kVaUV = 0x2,
    kVaUV2 = 0x4,
    kVaNormal = 0x8,
    kVaTangent = 0x10,
    kVaColor = 0x20,
    kVaSkinned = 0x40,
    kVaLand = 0x80,
    kVaEye = 0x100,
    kVaInstance = 0x200,
    kVaFullPrecision = 0x400,
};

inline uint16_t VertexAttributes(uint64_t desc) {
    return static_cast<uint16_t>((desc >> 44) & 0xFFF);
}
inline uint32_t DescVertexSize(uint64_t desc) {
    return static_cast<uint32_t>(desc & 0xF) * 4;
}
// The size of a record holding these attributes, 0 when they name a part the Special
// Edition's record lacks (a second UV set, landscape or instance data).
uint32_t PackedVertexSize(uint16_t attributes);
// A vertex description for records holding these attributes: size and part offsets.
uint64_t MakeVertexDesc(uint16_t attributes);

// IEEE half precision, rounding to the nearest value (ties to even).
uint16_t FloatToHalf(float value);
float HalfToFloat(uint16_t half);
// Unit values stored as bytes: 0 is -1, 255 is +1.
uint8_t UnitToByte(float value);
inline float ByteToUnit(uint8_t b) {
    return static_cast<float>(b) / 127.5f - 1.0f;
}
// Colour channels stored as bytes: 0 is 0, 255 is 1.
uint8_t ColorToByte(float value);

struct PackedVertex {
    static constexpr bool kRecordLayout = true;  // see Visitor.h
    Vector3 position;
    uint32_t w = 0;  // the bitangent's x as float bits with tangents, else unused
    uint16_t uv[2] = {};
    uint8_t normal[3] = {};
    uint8_t bitangentY = 0;
    uint8_t tangent[3] = {};
    uint8_t bitangentZ = 0;
    uint8_t color[4] = {};
    uint16_t weights[4] = {};  // half floats
    uint8_t bones[4] = {};     // indices into the bone list of the vertex's partition
    float eye = 0;

    template <class FieldVisitor>

    void Fields(FieldVisitor& v, uint16_t a) {
        if (a & kVaVertex) {
            v.V(position, w);
        }
        if (a & kVaUV) v.V(uv);
        if (a & kVaNormal) {
            v.V(normal, bitangentY);
        }
        if ((a & (kVaNormal | kVaTangent)) == (kVaNormal | kVaTangent)) {
            v.V(tangent, bitangentZ);
        }
        if (a & kVaColor) v.V(color);
        if (a & kVaSkinned) {
            v.V(weights, bones);
        }
        if (a & kVaEye) v.V(eye);
    }
};

// count records of a vertex description: decoded when the description's record size is the
// size its attributes give, kept as bytes otherwise. Readers lay records out by their
// attributes, so records kept as bytes are not written back: such a file is refused.
struct PackedVertices {
    std::vector<PackedVertex> records;
    std::vector<uint8_t> raw;

    bool Decoded(uint64_t desc) const {
        const uint32_t size = DescVertexSize(desc);
        return size != 0 && PackedVertexSize(VertexAttributes(desc)) == size;
    }
    template <class FieldVisitor>
    void Fields(FieldVisitor& v, uint64_t desc, uint32_t count) {
        if (Decoded(desc)) {
            v.Structs(records, count, VertexAttributes(desc));
        } else {
            if (v.Mode() == VisitMode::kWrite && count > 0)
                v.Mismatch("vertex record size that disagrees with its attributes");
            v.Array(raw, v.CheckCount(uint64_t{DescVertexSize(desc)} * count, 1));
        }
    }
};
