#include "NifWriter.h"

#include <algorithm>

void NifWriter::Grow(size_t n) {
    // At least doubled, so that writing many small values copies each byte a few times.
    const size_t capacity = std::max({used_ + n, 2 * capacity_, size_t{4096}});
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (used_ != 0) std::memcpy(bigger.get(), data_.get(), used_);
    data_ = std::move(bigger);
    capacity_ = capacity;
}

void NifWriter::Spill(const void* src, size_t n) {
    if (!drain_ || capacity_ == 0) {
        Grow(n);
    } else {
        Flush();
        if (n > capacity_ || n >= kDirect) {
            // Large: straight to the drain.
            if (!drainFailed_ && !drain_(static_cast<const char*>(src), n)) drainFailed_ = true;
            drained_ += n;
            return;
        }
    }
    std::memcpy(data_.get() + used_, src, n);
    used_ += n;
}

bool NifWriter::Flush() {
    if (drain_ && used_ != 0) {
        if (!drainFailed_ && !drain_(data_.get(), used_)) drainFailed_ = true;
        drained_ += used_;
        used_ = 0;
    }
    return !drainFailed_;
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
