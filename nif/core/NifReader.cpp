#include "NifReader.h"

#include <algorithm>
#include <cstring>

namespace {

// A body read from its source is held this much at a time.
constexpr size_t kSourceWindow = size_t{64} << 10;

}  // namespace

bool NifReader::TakeSlow(void* dst, size_t n) {
    if (n == 0) return !failed_;
    if (failed_) {
        std::memset(dst, 0, n);
        return false;
    }
    if (n > Remaining()) {
        std::memset(dst, 0, n);
        Fail("unexpected end of data: " + std::to_string(n) + " bytes needed, " +
             std::to_string(Remaining()) + " left");
        return false;
    }
    if (!source_) {
        std::memcpy(dst, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    // The bytes at hand, then the rest straight from the source.
    const size_t k = size_ - pos_;
    if (k != 0) std::memcpy(dst, data_ + pos_, k);
    pos_ = size_;
    const size_t at = base_ + pos_;
    if (!source_->CopyFrom(at, static_cast<uint8_t*>(dst) + k, n - k)) {
        std::memset(dst, 0, n);
        Fail("the file could not be read further");
        return false;
    }
    Refill(at + (n - k), 0);
    return true;
}

bool NifReader::WantSlow(size_t n) {
    if (failed_ || !source_ || n > Remaining()) return false;
    Refill(base_ + pos_, n);
    if (size_ - pos_ >= n) return true;
    Fail("the file could not be read further");
    return false;
}

void NifReader::Refill(size_t at, size_t n) {
    size_t got = 0;
    data_ = source_->From(at, std::min(end_ - at, std::max(n, kSourceWindow)), got);
    base_ = at;
    size_ = got;
    pos_ = 0;
}

void NifReader::FailAt(size_t position, const std::string& message) {
    if (failed_) return;
    failed_ = true;
    error_ = "at byte offset " + std::to_string(base_ + position) + ": " + message;
}

uint8_t NifReader::U8() {
    uint8_t v;
    Take(&v, 1);
    return v;
}

uint16_t NifReader::U16() {
    uint8_t b[2];
    Take(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t NifReader::U32() {
    uint8_t b[4];
    Take(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

int32_t NifReader::I32() {
    return static_cast<int32_t>(U32());
}

float NifReader::F32() {
    uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

Vector3 NifReader::Vec3() {
    Vector3 v;
    v.x = F32();
    v.y = F32();
    v.z = F32();
    return v;
}

Matrix33 NifReader::Mat33() {
    Matrix33 m;
    for (float& f : m.m) f = F32();
    return m;
}

uint8_t NifReader::CharSkippingSpace() {
    while (!failed_ && pos_ < size_) {
        uint8_t c = data_[pos_];
        if (c != 0x20 && (c < 0x09 || c > 0x0D)) break;
        ++pos_;
    }
    return U8();
}

uint32_t NifReader::CountSlow(uint64_t count, size_t elemSize, const char* what) {
    if (failed_) return 0;
    if (elemSize == 0) elemSize = 1;
    if (count > Remaining() / elemSize) {
        Fail(std::string(what) + " count " + std::to_string(count) + " is larger than the " +
             std::to_string(Remaining()) + " bytes left can hold");
        return 0;
    }
    return static_cast<uint32_t>(count);
}

static std::string CutAtZero(const char* p, size_t n) {
    const void* zero = std::memchr(p, 0, n);
    return std::string(p, zero ? static_cast<const char*>(zero) - p : n);
}

std::string NifReader::SizedString(const char* what) {
    const std::string bytes = SizedBytes(what);
    return CutAtZero(bytes.data(), bytes.size());
}

std::string NifReader::ShortString() {
    const std::string bytes = ShortBytes();
    return CutAtZero(bytes.data(), bytes.size());
}

NifReader NifReader::Sub(size_t n) {
    if (failed_ || n > size_ - pos_) {
        Fail("a body of " + std::to_string(n) + " bytes runs past the end of the data");
        return NifReader(data_, 0, Offset());
    }
    NifReader sub(data_ + pos_, n, Offset());
    pos_ += n;
    return sub;
}

void NifReader::TakeTextSlow(std::string& out, size_t n) {
    out.assign(n, '\0');
    Take(out.data(), n);
}

void NifReader::SizedBytes(std::string& out, const char* what) {
    out.clear();
    uint32_t n = U32();
    if (failed_) return;
    if (n > kMaxSizedString) {
        FailAt(pos_ - 4, std::string(what) + " of " + std::to_string(n) + " bytes is longer than " +
                             std::to_string(kMaxSizedString));
        return;
    }
    if (Count(n, 1, what) != n) return;
    TakeText(out, n);
}

std::string NifReader::SizedBytes(const char* what) {
    std::string bytes;
    SizedBytes(bytes, what);
    return bytes;
}

std::string NifReader::ShortBytes() {
    uint8_t n = U8();
    std::string bytes;
    if (!failed_ && Count(n, 1, "short string") == n) TakeText(bytes, n);
    return bytes;
}
