// Appends little-endian fields to a byte buffer; the mirror image of NifReader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "NifTypes.h"

class NifWriter {
public:
    void U8(uint8_t v) { buf_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v);
    void Vec3(const Vector3& v);
    void Tri(const Triangle& t);
    void Col4(const Color4& c);
    void Mat33(const Matrix33& m);
    void UV(const TexCoord& t);
    void Bytes(const void* src, size_t n);
    // uint length and the text; an empty text is written as the count 1 and one zero byte.
    void SizedString(const std::string& s);
    // byte length and the text; an empty text is written as the length 1 and one zero byte.
    void ShortString(const std::string& s);

    size_t Size() const { return buf_.size(); }
    const std::string& Buffer() const { return buf_; }
    std::string& Buffer() { return buf_; }

private:
    std::string buf_;
};
