// Appends little-endian fields to a byte buffer; the mirror image of NifReader.
//
// The buffer keeps some room past the bytes written, so that the field writer can put small
// values there without a call each: Cursor() to End() is that room, and Advance hands back how
// far it was filled. Only bytes before Size() are the output.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NifTypes.h"

class NifWriter {
  public:
    NifWriter() = default;
    NifWriter(const NifWriter&) = delete;
    NifWriter& operator=(const NifWriter&) = delete;

    void U8(uint8_t v) { Bytes(&v, 1); }
    void U16(uint16_t v) { Raw(v); }
    void U32(uint32_t v) { Raw(v); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) { Raw(v); }
    void Vec3(const Vector3& v) { Raw(v); }
    void Mat33(const Matrix33& m) { Raw(m); }
    void Bytes(const void* src, size_t n) {
        if (n > capacity_ - used_ || (n >= kDirect && drain_)) {
            Spill(src, n);
            return;
        }
        if (n != 0) std::memcpy(data_.get() + used_, src, n);
        used_ += n;
    }
    // A list of fixed-size records whose memory layout is their file layout.
    template <typename T>
    void Array(const std::vector<T>& list) {
        Bytes(list.data(), list.size() * sizeof(T));
    }
    void Reserve(size_t n) {
        if (n > capacity_) Grow(n - used_);
    }
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
    // Overwrites n bytes already written, at offset `at` (a size filled in later).
    void Patch(size_t at, const void* src, size_t n) { std::memcpy(data_.get() + at, src, n); }

    // With a drain, the buffer never grows past its reserved size: when it is full, what it
    // holds goes to the drain, and a list of kDirect bytes or more goes there directly, not
    // copied into the buffer first. The drain returns false when it cannot take the bytes;
    // Drained() then reports it.
    using Drain = std::function<bool(const char* data, size_t size)>;
    static constexpr size_t kDirect = size_t{64} << 10;
    void SetDrain(Drain drain) { drain_ = std::move(drain); }
    // Hands what the buffer holds to the drain; false when the drain failed, now or before.
    bool Flush();
    // The bytes handed to the drain so far.
    uint64_t Drained() const { return drained_; }

    // The bytes in the buffer (with a drain, those not drained yet).
    size_t Size() const { return used_; }
    const char* Data() const { return data_.get(); }
    // A copy of the bytes written.
    const std::string& Buffer() const {
        copy_.assign(Data(), used_);
        return copy_;
    }
    // Starts empty, keeping the memory.
    void Clear() { used_ = 0; }

    // The room past the bytes written (see above); Advance(p) marks the bytes up to p written.
    uint8_t* Cursor() { return reinterpret_cast<uint8_t*>(data_.get()) + used_; }
    uint8_t* End() { return reinterpret_cast<uint8_t*>(data_.get()) + capacity_; }
    void Advance(const uint8_t* p) {
        used_ = static_cast<size_t>(p - reinterpret_cast<const uint8_t*>(data_.get()));
    }

  private:
    // Numbers are stored little-endian, which is the memory order of every supported host.
    static_assert(std::endian::native == std::endian::little);
    template <typename T>
    void Raw(const T& v) {
        Bytes(&v, sizeof v);
    }
    // Makes room for n more bytes.
    void Grow(size_t n);
    // Bytes that do not fit the room left.
    void Spill(const void* src, size_t n);

    // The bytes written and the room after them, which is not initialised.
    std::unique_ptr<char[]> data_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    Drain drain_;
    uint64_t drained_ = 0;
    bool drainFailed_ = false;
    mutable std::string copy_;
};
