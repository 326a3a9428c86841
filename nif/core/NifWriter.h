// Appends little-endian fields to a byte buffer; the mirror image of NifReader.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "NifTypes.h"

class NifWriter {
  public:
    void U8(uint8_t v) { buf_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) { Raw(v); }
    void U32(uint32_t v) { Raw(v); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v);
    void Vec3(const Vector3& v);
    void Mat33(const Matrix33& m);
    void Bytes(const void* src, size_t n) { buf_.append(static_cast<const char*>(src), n); }
    // A list of fixed-size records whose memory layout is their file layout.
    template <typename T>
    void Array(const std::vector<T>& list) {
        Bytes(list.data(), list.size() * sizeof(T));
    }
    void Reserve(size_t n) { buf_.reserve(n); }
    // uint length and the text; an empty text is written as the count 1 and one zero byte.
    void SizedString(const std::string& s);
    // byte length and the text; an empty text is written as the length 1 and one zero byte.
    void ShortString(const std::string& s);
    // uint length and every byte of the text.
    void SizedBytes(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        Bytes(s.data(), s.size());
    }
    // byte length and every byte.
    void ShortBytes(const std::string& s) {
        U8(static_cast<uint8_t>(s.size()));
        Bytes(s.data(), s.size());
    }

    size_t Size() const { return buf_.size(); }
    const std::string& Buffer() const { return buf_; }
    std::string& Buffer() { return buf_; }

  private:
    // Numbers are stored little-endian, which is the memory order of every supported host.
    static_assert(std::endian::native == std::endian::little);
    template <typename T>
    void Raw(T v) {
        buf_.append(reinterpret_cast<const char*>(&v), sizeof v);
    }

    std::string buf_;
};
