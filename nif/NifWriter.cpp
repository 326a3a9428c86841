#include "NifWriter.h"

#include <cstring>

void NifWriter::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(bits);
}

void NifWriter::Vec3(const Vector3& v) {
    F32(v.x);
    F32(v.y);
    F32(v.z);
}

void NifWriter::Tri(const Triangle& t) {
    U16(t.v1);
    U16(t.v2);
    U16(t.v3);
}

void NifWriter::Col4(const Color4& c) {
    F32(c.r);
    F32(c.g);
    F32(c.b);
    F32(c.a);
}

void NifWriter::Mat33(const Matrix33& m) {
    for (float f : m.m) F32(f);
}

void NifWriter::UV(const TexCoord& t) {
    F32(t.u);
    F32(t.v);
}

void NifWriter::Bytes(const void* src, size_t n) {
    buf_.append(static_cast<const char*>(src), n);
}

void NifWriter::SizedString(const std::string& s) {
    if (s.empty()) {
        U32(1);
        U8(0);
        return;
    }
    U32(static_cast<uint32_t>(s.size()));
    Bytes(s.data(), s.size());
}

void NifWriter::ShortString(const std::string& s) {
    if (s.empty()) {
        U8(1);
        U8(0);
        return;
    }
    U8(static_cast<uint8_t>(s.size()));
    Bytes(s.data(), s.size());
}
