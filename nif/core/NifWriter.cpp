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

void NifWriter::Mat33(const Matrix33& m) {
    for (float f : m.m) F32(f);
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
