#include "VertexData.h"

#include <algorithm>
#include <bit>
#include <cmath>

uint32_t PackedVertexSize(uint16_t a) {
    if (a & (kVaUV2 | kVaLand | kVaInstance)) return 0;
    uint32_t size = 0;
    if (a & kVaVertex) size += 16;
    if (a & kVaUV) size += 4;
    if (a & kVaNormal) size += 4;
    if ((a & (kVaNormal | kVaTangent)) == (kVaNormal | kVaTangent)) size += 4;
    if (a & kVaColor) size += 4;
    if (a & kVaSkinned) size += 12;
    if (a & kVaEye) size += 4;
    return size;
}

uint64_t MakeVertexDesc(uint16_t a) {
    uint64_t desc = uint64_t{a} << 44;
    uint32_t at = (a & kVaVertex) ? 4 : 0;  // in 4-byte units
    // Each present part records its offset in its nibble: UV 8, normal 16, tangent 20,
    // colour 24, skinning 28, eye data 36.
    auto place = [&](bool present, int shift, uint32_t units) {
        if (!present) return;
        desc |= uint64_t{at} << shift;
        at += units;
    };
    place(a & kVaUV, 8, 1);
    place(a & kVaNormal, 16, 1);
    place((a & (kVaNormal | kVaTangent)) == (kVaNormal | kVaTangent), 20, 1);
    place(a & kVaColor, 24, 1);
    place(a & kVaSkinned, 28, 3);
    place(a & kVaEye, 36, 1);
    return desc | (PackedVertexSize(a) / 4);
}

uint16_t FloatToHalf(float value) {
    const uint32_t x = std::bit_cast<uint32_t>(value);
    const auto sign = static_cast<uint16_t>((x >> 16) & 0x8000);
    const uint32_t abs = x & 0x7FFFFFFF;
    if (abs > 0x7F800000) return sign | 0x7E00;   // not a number
    if (abs >= 0x477FF000) return sign | 0x7C00;  // rounds past the largest half: infinity
    if (abs < 0x38800000) {
        // Below the smallest normal half: a multiple of 2^-24.
        const float scaled = std::bit_cast<float>(abs) * 16777216.0f;
        return sign | static_cast<uint16_t>(std::lrint(scaled));
    }
    uint32_t h = ((((abs >> 23) - 112) << 10) | ((abs & 0x7FFFFF) >> 13));
    const uint32_t rest = abs & 0x1FFF;
    if (rest > 0x1000 || (rest == 0x1000 && (h & 1))) ++h;
    return sign | static_cast<uint16_t>(h);
}

float HalfToFloat(uint16_t half) {
    const uint32_t sign = uint32_t{half & 0x8000u} << 16;
    const uint32_t exp = (half >> 10) & 0x1F;
    const uint32_t mant = half & 0x3FF;
    if (exp == 0) {
        const float v = static_cast<float>(mant) / 16777216.0f;
        return sign ? -v : v;
    }
    if (exp == 31) return std::bit_cast<float>(sign | 0x7F800000 | (mant << 13));
    return std::bit_cast<float>(sign | ((exp + 112) << 23) | (mant << 13));
}

namespace {

// A value from 0 to 255 to the nearest whole number, halves up, without the C runtime: below
// 2^23 a float's fraction, the value less its truncation, is exact. (std::round gave the same
// on Linux, but the roundf that MinGW-w64 links into the Windows programs rounds 0.49999997
// up, so they packed a few values one step higher than the Linux ones.)
uint8_t RoundToByte(float value) {
    const int whole = static_cast<int>(value);
    return static_cast<uint8_t>(whole + (value - static_cast<float>(whole) >= 0.5f));
}

}  // namespace

uint8_t UnitToByte(float value) {
    if (std::isnan(value)) value = 0;
    return RoundToByte((std::clamp(value, -1.0f, 1.0f) + 1.0f) * 127.5f);
}

uint8_t ColorToByte(float value) {
    if (std::isnan(value)) value = 0;
    return RoundToByte(std::clamp(value, 0.0f, 1.0f) * 255.0f);
}
