// A bounds-checked reader over a byte buffer. Reads past the end, or counts larger than the
// bytes left can hold, put the reader into a sticky failed state: every later read yields
// zeros and consumes nothing, so layout code reads field by field without testing anything,
// and the caller asks Failed() once at the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "NifTypes.h"

class NifReader {
  public:
    // Where the bytes of a body come from when they are not all at hand: a body larger than
    // the piece of a file held in memory is read as it goes, its large lists straight from
    // the file into their storage. Offsets are absolute, and only ever move forward.
    class Source {
      public:
        virtual ~Source() = default;
        // Up to n bytes from offset `at` on (got: how many).
        virtual const uint8_t* From(size_t at, size_t n, size_t& got) = 0;
        // Exactly n bytes from offset `at` on into dst; false when they cannot be read.
        virtual bool CopyFrom(size_t at, void* dst, size_t n) = 0;
    };

    // base is the absolute file offset of data[0], used in error messages.
    NifReader(const uint8_t* data, size_t size, size_t base = 0)
        : data_(data), size_(size), base_(base), end_(base + size) {}
    // A reader of the bytes from base to end, the first size of them at data, the others
    // from source.
    NifReader(const uint8_t* data, size_t size, size_t base, Source* source, size_t end)
        : data_(data), size_(size), base_(base), end_(end), source_(source) {}

    // Reads other bytes, as the second constructor would, keeping the error text's storage.
    void Reopen(const uint8_t* data, size_t size, size_t base, Source* source, size_t end) {
        data_ = data;
        size_ = size;
        base_ = base;
        end_ = end;
        source_ = source;
        pos_ = 0;
        failed_ = false;
        error_.clear();
    }

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int32_t I32();
    float F32();
    Vector3 Vec3();
    Matrix33 Mat33();
    void Bytes(void* dst, size_t n) { Take(dst, n); }
    // count records whose memory layout is their file layout, appended to list. The count is
    // checked against the bytes left first.
    template <typename T>
    void Array(std::vector<T>& list, uint64_t count, const char* what) {
        static_assert(std::endian::native == std::endian::little);
        const uint32_t n = Count(count, sizeof(T), what);
        const size_t old = list.size();
        list.resize(old + n);
        Bytes(list.data() + old, n * sizeof(T));
    }
    // One byte after skipping white-space bytes (0x09 to 0x0D and 0x20).
    uint8_t CharSkippingSpace();

    // A count of entries of at least elemSize bytes each. A count that the bytes left cannot
    // hold fails the reader and yields 0, so no loop or allocation follows a bogus count.
    uint32_t Count(uint64_t count, size_t elemSize, const char* what) {
        // Counts are at most 32 bits wide and sizes small: the product cannot overflow.
        if (!failed_ && count <= UINT32_MAX &&
            count * (elemSize == 0 ? 1 : elemSize) <= size_ - pos_)
            return static_cast<uint32_t>(count);
        return CountSlow(count, elemSize, what);
    }
    // A count read as a signed int: negative counts mean no entries.
    uint32_t SignedCount(int32_t count, size_t elemSize, const char* what) {
        return count <= 0 ? 0 : Count(static_cast<uint64_t>(count), elemSize, what);
    }

    // uint length, then that many bytes; the text is cut at its first zero byte. Lengths over
    // kMaxSizedString fail the reader.
    std::string SizedString(const char* what);
    // byte length, then that many bytes; the text is cut at its first zero byte.
    std::string ShortString();
    // The same two, keeping every byte.
    std::string SizedBytes(const char* what);
    // The same into out (empty when the reader fails), reusing its storage.
    void SizedBytes(std::string& out, const char* what);
    std::string ShortBytes();

    // A reader over the next n bytes, which this reader then skips.
    NifReader Sub(size_t n);

    void Fail(const std::string& message) { FailAt(pos_, message); }
    // Fails naming the field that starts at this reader's position.
    void FailAt(size_t position, const std::string& message);
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }
    size_t Position() const { return pos_; }
    size_t Offset() const { return base_ + pos_; }
    size_t Remaining() const { return end_ - base_ - pos_; }
    const uint8_t* Data() const { return data_; }
    // The bytes left to read that are at hand, empty once the reader failed: the field reader
    // takes small values from there without a call each and hands back how far it got with
    // Advance. Want(n) brings n of them at hand when the bytes left hold them.
    const uint8_t* Cursor() const { return data_ + pos_; }
    const uint8_t* End() const { return failed_ ? data_ + pos_ : data_ + size_; }
    void Advance(const uint8_t* p) { pos_ = static_cast<size_t>(p - data_); }
    bool Want(size_t n) {
        if (!failed_ && n <= size_ - pos_) return true;
        return WantSlow(n);
    }

  private:
    bool Take(void* dst, size_t n) {
        // The common case inline: enough bytes left and no failure yet.
        if (!failed_ && n <= size_ - pos_) {
            if (n != 0) std::memcpy(dst, data_ + pos_, n);
            pos_ += n;
            return true;
        }
        return TakeSlow(dst, n);
    }
    bool TakeSlow(void* dst, size_t n);
    uint32_t CountSlow(uint64_t count, size_t elemSize, const char* what);
    bool WantSlow(size_t n);
    // n bytes as a text into out; the bytes left hold them.
    void TakeText(std::string& out, size_t n) {
        // The common case inline: the text is at hand.
        if (n <= size_ - pos_) [[likely]] {
            out.assign(reinterpret_cast<const char*>(data_ + pos_), n);
            pos_ += n;
            return;
        }
        TakeTextSlow(out, n);
    }
    // The same when some of the text is still to come from the source.
    void TakeTextSlow(std::string& out, size_t n);
    // The bytes from offset `at` on at hand, at least n of them when they exist.
    void Refill(size_t at, size_t n);

    const uint8_t* data_;
    size_t size_;  // bytes at hand, from data_
    size_t base_;  // the offset of data_[0]
    size_t end_;   // the offset where the bytes end
    Source* source_ = nullptr;
    size_t pos_ = 0;
    bool failed_ = false;
    std::string error_;
};
