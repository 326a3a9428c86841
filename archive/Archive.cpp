#include "Archive.h"

#include <lz4frame.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ArchiveNames.h"
#include "ResultCodes.h"

namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kFolderNamesFlag = 0x1;
constexpr uint32_t kFileNamesFlag = 0x2;
constexpr uint32_t kCompressedFlag = 0x4;
constexpr uint32_t kXboxFlag = 0x40;
constexpr uint32_t kEmbeddedNamesFlag = 0x100;
constexpr uint32_t kXmemFlag = 0x200;
constexpr uint32_t kToggleBit = 0x40000000;
constexpr uint32_t kSizeMask = 0x3FFFFFFF;
constexpr uint32_t kOffsetMask = 0x7FFFFFFF;
// No entry is decompressed to more than this, whatever size it records.
constexpr uint64_t kMaxEntrySize = uint64_t{1} << 30;
// Neither zlib nor LZ4 expands data by more than this factor (zlib's limit is 1032).
constexpr uint64_t kMaxExpansion = 1032;
// Past this many, warnings are counted rather than kept.
constexpr size_t kMaxWarnings = 100;

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint64_t Le64(const uint8_t* p) {
    return uint64_t{Le32(p)} | uint64_t{Le32(p + 4)} << 32;
}

std::string Hex(uint64_t v) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(v >> shift) & 0xF];
    return out;
}

#ifndef _WIN32
std::string SystemReason(int error) {
    return error == 0 ? "unknown error" : std::generic_category().message(error);
}
#endif

}  // namespace

// Where the archive's bytes come from: reads at an offset, none of which moves a shared
// position, so that several threads may read at once.
class Archive::Source {
  public:
    virtual ~Source() = default;
    uint64_t Size() const { return size_; }
    // False with the reason when the n bytes at offset cannot all be read.
    virtual bool ReadAt(uint64_t offset, uint8_t* dst, size_t n, std::string& reason) const = 0;

  protected:
    uint64_t size_ = 0;
};

namespace {

class MemorySource : public Archive::Source {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data) { size_ = size; }
    bool ReadAt(uint64_t offset, uint8_t* dst, size_t n, std::string& reason) const override {
        if (offset > size_ || n > size_ - offset) {
            reason = "it ends before byte " + std::to_string(offset + n);
            return false;
        }
        if (n > 0) std::memcpy(dst, data_ + offset, n);
        return true;
    }

  private:
    const uint8_t* data_;
};

class FileSource : public Archive::Source {
  public:
    ~FileSource() override {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
        if (fd_ >= 0) close(fd_);
#endif
    }

    // An empty text, or why the file cannot be read.
    std::string Open(const std::string& path) {
        std::error_code ec;
        const std::filesystem::path p(std::u8string(path.begin(), path.end()));
        const auto status = std::filesystem::status(p, ec);
        if (!std::filesystem::exists(status)) return "it does not exist";
        if (!std::filesystem::is_regular_file(status)) return "not a regular file";
#ifdef _WIN32
        handle_ = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return "the system refuses to open it";
        LARGE_INTEGER size;
        if (GetFileType(handle_) != FILE_TYPE_DISK || !GetFileSizeEx(handle_, &size))
            return "not a regular file";
        size_ = static_cast<uint64_t>(size.QuadPart);
#else
        fd_ = open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return SystemReason(errno);
        struct stat st;
        if (fstat(fd_, &st) != 0) return SystemReason(errno);
        if (!S_ISREG(st.st_mode)) return "not a regular file";
        size_ = static_cast<uint64_t>(st.st_size);
#endif
        return {};
    }

    bool ReadAt(uint64_t offset, uint8_t* dst, size_t n, std::string& reason) const override {
        while (n > 0) {
#ifdef _WIN32
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
            if (!ReadFile(handle_, dst, want, &got, &at)) {
                const DWORD code = GetLastError();
                if (code != ERROR_HANDLE_EOF) {
                    reason = "reading failed (Windows error " + std::to_string(code) + ")";
                    return false;
                }
            }
            const size_t read = got;
#else
            const ssize_t got =
                pread(fd_, dst, std::min<size_t>(n, size_t{1} << 30), static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR) continue;
                reason = SystemReason(errno);
                return false;
            }
            const auto read = static_cast<size_t>(got);
#endif
            if (read == 0) {
                reason = "it shrank while it was read";
                return false;
            }
            dst += read;
            offset += read;
            n -= read;
        }
        return true;
    }

  private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

// The records part of the archive, read from the start of the file and grown on demand (up
// to the file's size) as the walk over the records goes on.
class RecordCursor {
  public:
    explicit RecordCursor(const Archive::Source& source) : source_(source) {}
    uint64_t Position() const { return pos_; }
    const std::string& ReadError() const { return readError_; }

    // Whether n more bytes exist from the position (false: past the end, or a read failed).
    bool Has(uint64_t n) {
        const uint64_t end = pos_ + n;
        if (end <= bytes_.size()) return true;
        if (end > source_.Size()) return false;
        const uint64_t grown = std::min<uint64_t>(
            source_.Size(), std::max<uint64_t>(end, uint64_t{bytes_.size()} * 2));
        const size_t old = bytes_.size();
        bytes_.resize(static_cast<size_t>(grown));
        if (!source_.ReadAt(old, bytes_.data() + old, bytes_.size() - old, readError_)) {
            bytes_.resize(old);
            return false;
        }
        return true;
    }
    // Callers check Has first.
    const uint8_t* Take(size_t n) {
        const uint8_t* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }

  private:
    const Archive::Source& source_;
    std::vector<uint8_t> bytes_;
    uint64_t pos_ = 0;
    std::string readError_;
};

struct FolderRecord {
    uint64_t hash = 0;
    uint32_t count = 0;
    std::string name;  // Windows-1252 bytes
};

struct FileRecord {
    uint64_t hash = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
    size_t folder = 0;
    std::string name;  // Windows-1252 bytes
};

}  // namespace

Archive::Archive() = default;
Archive::Archive(Archive&&) noexcept = default;
Archive& Archive::operator=(Archive&&) noexcept = default;
Archive::~Archive() = default;

int Archive::Open(const std::string& path, std::string& error) {
    *this = Archive();
    name_ = path;
    auto file = std::make_unique<FileSource>();
    const std::string reason = file->Open(path);
    if (!reason.empty()) {
        error = "cannot open '" + path + "' for reading: " + reason;
        return rc::kCannotOpen;
    }
    source_ = std::move(file);
    const int result = Parse(error);
    if (result != rc::kOk) *this = Archive();
    return result;
}

int Archive::OpenMemory(const uint8_t* data, size_t size, const std::string& name,
                        std::string& error) {
    *this = Archive();
    name_ = name;
    source_ = std::make_unique<MemorySource>(data, size);
    const int result = Parse(error);
    if (result != rc::kOk) *this = Archive();
    return result;
}

std::string Archive::EntryText(const ArchiveEntry& entry) const {
    return "'" + name_ + "', entry '" + entry.path + "'";
}

int Archive::Parse(std::string& error) {
    const std::string quoted = "'" + name_ + "'";
    auto damaged = [&](const std::string& what) {
        error = quoted + " is damaged: " + what;
        return rc::kDamagedArchive;
    };
    const uint64_t fileSize = source_->Size();
    uint8_t h[kHeaderSize];
    std::string reason;
    const size_t headLength = static_cast<size_t>(std::min<uint64_t>(fileSize, kHeaderSize));
    if (!source_->ReadAt(0, h, headLength, reason)) {
        error = "cannot read " + quoted + ": " + reason;
        return rc::kCannotOpen;
    }
    if (headLength >= 4 && std::memcmp(h, "BSA\0", 4) != 0) {
        error =
            quoted + " is not a BSA archive" +
            (std::memcmp(h, "BTDX", 4) == 0 ? " (it is a BA2 archive, which Pellmar does not read)"
                                            : "");
        return rc::kUnsupportedArchive;
    }
    if (headLength < kHeaderSize) {
        return damaged("it ends after " + std::to_string(fileSize) + " bytes, inside the " +
                       std::to_string(kHeaderSize) + "-byte header");
    }
    version_ = Le32(h + 4);
    if (version_ != 104 && version_ != 105) {
        error = quoted + " is a BSA archive of version " + std::to_string(version_) +
                "; Pellmar reads versions 104 (Skyrim) and 105 (Special Edition)";
        return rc::kUnsupportedArchive;
    }
    flags_ = Le32(h + 12);
    if (flags_ & kXboxFlag) {
        error = quoted + " is an Xbox 360 archive, which Pellmar does not read";
        return rc::kUnsupportedArchive;
    }
    if (Le32(h + 8) != kHeaderSize) {
        return damaged("its folder records start at byte " + std::to_string(Le32(h + 8)) +
                       " instead of right after the header");
    }
    const uint32_t folderCount = Le32(h + 16), fileCount = Le32(h + 20);
    const uint32_t folderNamesLength = Le32(h + 24), fileNamesLength = Le32(h + 28);
    const bool folderNames = flags_ & kFolderNamesFlag, fileNames = flags_ & kFileNamesFlag;
    const uint64_t folderRecordSize = version_ == 105 ? 24 : 16;
    // What the counts make the records take, all in 64 bits: checked against the file's size
    // before anything is allocated for them.
    const uint64_t recordsEnd = kHeaderSize + folderRecordSize * folderCount +
                                (folderNames ? uint64_t{folderNamesLength} + folderCount : 0) +
                                uint64_t{16} * fileCount + (fileNames ? fileNamesLength : 0);
    if (recordsEnd > fileSize) {
        return damaged("the header's counts (" + std::to_string(folderCount) + " folders, " +
                       std::to_string(fileCount) + " files, names of " +
                       std::to_string(folderNames ? folderNamesLength : 0) + " and " +
                       std::to_string(fileNames ? fileNamesLength : 0) +
                       " bytes) need records of " + std::to_string(recordsEnd) +
                       " bytes, more than the archive's " + std::to_string(fileSize));
    }

    RecordCursor in(*source_);
    auto cutShort = [&](const std::string& what) {
        if (!in.ReadError().empty()) {
            error = "cannot read " + quoted + ": " + in.ReadError();
            return rc::kCannotOpen;
        }
        return damaged("it ends inside " + what);
    };
    if (!in.Has(recordsEnd)) return cutShort("its records");
    in.Take(kHeaderSize);

    std::vector<FolderRecord> folders(folderCount);
    uint64_t filesInFolders = 0;
    for (uint32_t i = 0; i < folderCount; ++i) {
        const uint8_t* r = in.Take(static_cast<size_t>(folderRecordSize));
        folders[i].hash = Le64(r);
        folders[i].count = Le32(r + 8);
        filesInFolders += folders[i].count;
        if (filesInFolders > fileCount) {
            return damaged("folder record " + std::to_string(i) + " brings the files to " +
                           std::to_string(filesInFolders) + ", more than the header's " +
                           std::to_string(fileCount));
        }
    }
    if (filesInFolders != fileCount) {
        return damaged("the folders hold " + std::to_string(filesInFolders) +
                       " files, the header counts " + std::to_string(fileCount));
    }

    std::vector<FileRecord> files;
    files.reserve(fileCount);
    const uint64_t folderNamesStart = in.Position();
    for (size_t i = 0; i < folders.size(); ++i) {
        FolderRecord& folder = folders[i];
        if (folderNames) {
            if (!in.Has(1)) return cutShort("the name of folder " + std::to_string(i));
            const uint8_t length = *in.Take(1);
            if (length == 0)
                return damaged("folder " + std::to_string(i) + " has a name of length 0");
            if (!in.Has(length)) return cutShort("the name of folder " + std::to_string(i));
            const auto* text = reinterpret_cast<const char*>(in.Take(length));
            folder.name.assign(text, length - 1u);
            if (text[length - 1] != '\0' || folder.name.find('\0') != std::string::npos) {
                return damaged("the name of folder " + std::to_string(i) +
                               " is not a text of its recorded length " + std::to_string(length));
            }
        } else {
            folder.name = "#" + Hex(folder.hash).substr(2);
        }
        if (!in.Has(uint64_t{16} * folder.count))
            return cutShort("the file records of folder '" + Utf8FromWindows1252(folder.name) +
                            "'");
        for (uint32_t k = 0; k < folder.count; ++k) {
            const uint8_t* r = in.Take(16);
            files.push_back({Le64(r), Le32(r + 8), Le32(r + 12), i, {}});
        }
    }
    if (folderNames) {
        const uint64_t taken = in.Position() - folderNamesStart - uint64_t{16} * fileCount;
        if (taken != uint64_t{folderNamesLength} + folderCount) {
            warnings_.push_back(quoted + ": the folder names take " +
                                std::to_string(taken - folderCount) + " bytes, the header says " +
                                std::to_string(folderNamesLength));
        }
    }
    if (fileNames) {
        if (!in.Has(fileNamesLength)) return cutShort("its file names");
        const auto* block = reinterpret_cast<const char*>(in.Take(fileNamesLength));
        size_t at = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            const void* nul = std::memchr(block + at, '\0', fileNamesLength - at);
            if (nul == nullptr) {
                return damaged("its file-name block of " + std::to_string(fileNamesLength) +
                               " bytes ends after " + std::to_string(i) + " of " +
                               std::to_string(files.size()) + " names");
            }
            const size_t length = static_cast<size_t>(static_cast<const char*>(nul) - (block + at));
            files[i].name.assign(block + at, length);
            at += length + 1;
        }
        if (at != fileNamesLength) {
            warnings_.push_back(quoted + ": " + std::to_string(fileNamesLength - at) +
                                " bytes of its file-name block follow the last name");
        }
    } else {
        for (FileRecord& f : files) f.name = "#" + Hex(f.hash).substr(2);
    }
    dataStart_ = in.Position();

    size_t skippedWarnings = 0;
    auto warn = [&](std::string text) {
        if (warnings_.size() < kMaxWarnings) {
            warnings_.push_back(std::move(text));
        } else {
            ++skippedWarnings;
        }
    };
    if (folderNames) {
        for (const FolderRecord& folder : folders) {
            const uint64_t expected = ArchiveFolderHash(folder.name);
            if (expected != folder.hash) {
                warn(quoted + ": folder '" + Utf8FromWindows1252(folder.name) +
                     "' is stored with hash " + Hex(folder.hash) + ", its name hashes to " +
                     Hex(expected));
            }
        }
    }

    const bool compressedByDefault = flags_ & kCompressedFlag;
    const bool embedded = flags_ & kEmbeddedNamesFlag;
    entries_.reserve(files.size());
    for (const FileRecord& f : files) {
        ArchiveEntry e;
        const std::string& folderName = folders[f.folder].name;
        e.folder = Utf8FromWindows1252(folderName);
        e.name = Utf8FromWindows1252(f.name);
        e.path = folderName == "." ? e.name : e.folder + "\\" + e.name;
        e.offset = f.offset & kOffsetMask;
        e.storedSize = f.size & kSizeMask;
        if (compressedByDefault != ((f.size & kToggleBit) != 0)) {
            e.compression = version_ == 105             ? ArchiveCompression::kLz4
                            : (flags_ & kXmemFlag) != 0 ? ArchiveCompression::kXmem
                                                        : ArchiveCompression::kZlib;
        }
        if (fileNames) {
            const uint64_t expected = ArchiveFileHash(f.name);
            if (expected != f.hash) {
                warn(quoted + ": file '" + e.path + "' is stored with hash " + Hex(f.hash) +
                     ", its name hashes to " + Hex(expected));
            }
        }
        const uint64_t end = uint64_t{e.offset} + e.storedSize;
        if (e.offset < dataStart_) {
            e.damage = "its data starts at byte " + std::to_string(e.offset) +
                       ", inside the archive's records (which end at byte " +
                       std::to_string(dataStart_) + ")";
        } else if (end > fileSize) {
            e.damage = "its data (bytes " + std::to_string(e.offset) + " to " +
                       std::to_string(end) + ") runs past the end of the archive (" +
                       std::to_string(fileSize) + " bytes)";
        }
        ProbeEntry(e, embedded);
        entries_.push_back(std::move(e));
    }
    if (skippedWarnings > 0) {
        warnings_.push_back(quoted + ": " + std::to_string(skippedWarnings) + " more warnings");
    }
    return rc::kOk;
}

// Reads what precedes an entry's contents (the embedded name, the original size of a
// compressed entry) and records the entry's size, or why it cannot be read.
void Archive::ProbeEntry(ArchiveEntry& e, bool embedded) {
    if (!e.damage.empty()) return;
    const bool compressed = e.compression != ArchiveCompression::kNone;
    if (!compressed && !embedded) {
        e.originalSize = e.storedSize;
        return;
    }
    uint8_t prefix[1 + 255 + 4];
    const size_t length = std::min<size_t>(e.storedSize, sizeof prefix);
    std::string reason;
    if (!source_->ReadAt(e.offset, prefix, length, reason)) {
        e.damage = "its data cannot be read: " + reason;
        return;
    }
    size_t at = 0;
    if (embedded) {
        if (length < 1 || size_t{1} + prefix[0] > length) {
            e.damage = "its embedded name (" +
                       (length < 1 ? std::string("a length byte")
                                   : std::to_string(1 + prefix[0]) + " bytes") +
                       ") does not fit in its " + std::to_string(e.storedSize) + " bytes";
            return;
        }
        at = size_t{1} + prefix[0];
    }
    if (!compressed) {
        e.originalSize = static_cast<uint32_t>(e.storedSize - at);
        return;
    }
    if (at + 4 > length) {
        e.damage = "its " + std::to_string(e.storedSize) +
                   " bytes leave no room for the original size of a compressed entry";
        return;
    }
    e.originalSize = Le32(prefix + at);
    const uint64_t payload = e.storedSize - at - 4;
    if (e.originalSize > kMaxEntrySize || e.originalSize > payload * kMaxExpansion + 1024) {
        e.damage = "it records an original size of " + std::to_string(e.originalSize) +
                   " bytes for " + std::to_string(payload) + " compressed bytes";
    }
}

int Archive::Read(size_t index, std::vector<uint8_t>& bytes, std::string& error) const {
    bytes.clear();
    if (!source_ || index >= entries_.size()) {
        error = "'" + name_ + "' has no entry " + std::to_string(index);
        return rc::kCannotOpen;
    }
    const ArchiveEntry& e = entries_[index];
    if (!e.damage.empty()) {
        error = EntryText(e) + " is damaged: " + e.damage;
        return rc::kDamagedArchive;
    }
    if (e.compression == ArchiveCompression::kXmem) {
        error = EntryText(e) + " is compressed with Xbox XMem, which Pellmar does not read";
        return rc::kUnsupportedArchive;
    }
    std::vector<uint8_t> stored(e.storedSize);
    std::string reason;
    if (!source_->ReadAt(e.offset, stored.data(), stored.size(), reason)) {
        error = "cannot read " + EntryText(e) + ": " + reason;
        return rc::kCannotOpen;
    }
    // The prefix was checked when the archive was opened.
    size_t at = (flags_ & kEmbeddedNamesFlag) ? size_t{1} + stored[0] : 0;
    if (e.compression == ArchiveCompression::kNone) {
        stored.erase(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(at));
        bytes = std::move(stored);
        return rc::kOk;
    }
    at += 4;
    const int result = Decompress(e, stored.data() + at, stored.size() - at, bytes, error);
    if (result != rc::kOk) bytes.clear();
    return result;
}

int Archive::Decompress(const ArchiveEntry& e, const uint8_t* data, size_t size,
                        std::vector<uint8_t>& bytes, std::string& error) const {
    // The output grows with what the stream gives, up to one byte past the recorded size, so
    // a size that lies costs no more memory than the stream's true contents.
    const size_t limit = size_t{e.originalSize} + 1;
    bytes.resize(std::min<size_t>(limit, std::max<size_t>(size * 4, 1 << 16)));
    size_t produced = 0;
    const bool zlibStream = e.compression == ArchiveCompression::kZlib;
    const char* kind = zlibStream ? "zlib stream" : "LZ4 frame";
    auto fail = [&](const std::string& what) {
        error = EntryText(e) + " is damaged: its " + kind + " " + what;
        return rc::kDamagedArchive;
    };
    auto grow = [&] {
        if (produced == bytes.size() && bytes.size() < limit)
            bytes.resize(std::min(limit, bytes.size() * 2));
    };
    bool finished = false;
    if (zlibStream) {
        z_stream z{};
        if (inflateInit(&z) != Z_OK) return fail("cannot be started");
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = static_cast<uInt>(size);
        for (;;) {
            grow();
            z.next_out = bytes.data() + produced;
            z.avail_out = static_cast<uInt>(bytes.size() - produced);
            const uInt before = z.avail_in, room = z.avail_out;
            const int status = inflate(&z, Z_NO_FLUSH);
            produced += room - z.avail_out;
            if (status == Z_STREAM_END) {
                finished = true;
                break;
            }
            if (status == Z_DATA_ERROR || status == Z_NEED_DICT || status == Z_MEM_ERROR) {
                const std::string message = z.msg ? z.msg : "is not valid";
                inflateEnd(&z);
                return fail("is not valid (" + message + ")");
            }
            if (produced > e.originalSize || (z.avail_in == before && room == z.avail_out)) break;
        }
        inflateEnd(&z);
    } else {
        LZ4F_dctx* context = nullptr;
        if (LZ4F_isError(LZ4F_createDecompressionContext(&context, LZ4F_VERSION)))
            return fail("cannot be started");
        size_t consumed = 0;
        for (;;) {
            grow();
            size_t room = bytes.size() - produced, taken = size - consumed;
            const size_t hint = LZ4F_decompress(context, bytes.data() + produced, &room,
                                                data + consumed, &taken, nullptr);
            produced += room;
            consumed += taken;
            if (LZ4F_isError(hint)) {
                LZ4F_freeDecompressionContext(context);
                return fail(std::string("is not valid (") + LZ4F_getErrorName(hint) + ")");
            }
            if (hint == 0) {
                finished = true;
                break;
            }
            if (produced > e.originalSize || (room == 0 && taken == 0)) break;
        }
        LZ4F_freeDecompressionContext(context);
    }
    if (produced > e.originalSize) {
        return fail("holds more than the entry's original size of " +
                    std::to_string(e.originalSize) + " bytes");
    }
    if (!finished) return fail("is cut short after " + std::to_string(produced) + " bytes");
    if (produced != e.originalSize) {
        return fail("holds " + std::to_string(produced) + " bytes, the entry's original size is " +
                    std::to_string(e.originalSize));
    }
    bytes.resize(produced);
    return rc::kOk;
}
