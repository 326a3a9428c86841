#include "FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>

#include <cwctype>
#else
#include <unistd.h>
#endif

#include "Interrupt.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

// Loading refuses files above this size before allocating for them.
constexpr uintmax_t kMaxReadSize = uintmax_t{2} << 30;

class StdioFile : public OutputFile {
  public:
    explicit StdioFile(std::FILE* f) : f_(f) {}
    ~StdioFile() override {
        if (f_) std::fclose(f_);
    }
    bool Write(const char* data, size_t size) override {
        return std::fwrite(data, 1, size, f_) == size;
    }
    bool Flush() override { return std::fflush(f_) == 0; }
    bool Close() override {
        bool ok = std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

  private:
    std::FILE* f_;
};

// Passes pieces on until an interruption is requested, then refuses them.
class InterruptibleFile : public OutputFile {
  public:
    explicit InterruptibleFile(OutputFile& file) : file_(file) {}
    bool Write(const char* data, size_t size) override {
        return !InterruptRequested() && file_.Write(data, size);
    }
    bool Flush() override { return file_.Flush(); }
    bool Close() override { return file_.Close(); }

  private:
    OutputFile& file_;
};

// The temporary file written through the descriptor that created it: no second open, and no
// buffer between the caller's pieces and the system.
class FdFile : public OutputFile {
  public:
    explicit FdFile(int fd) : fd_(fd) {}
    ~FdFile() override {
        if (fd_ >= 0) CloseFd();
    }
    bool Write(const char* data, size_t size) override {
        while (size > 0) {
#ifdef _WIN32
            const int n =
                _write(fd_, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
#else
            const ssize_t n = write(fd_, data, size);
#endif
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Flush() override {
        return true;
    }
    bool Close() override {
        return CloseFd();
    }

  private:
    bool CloseFd() {
#ifdef _WIN32
        const bool ok = _close(fd_) == 0;
#else
        const bool ok = close(fd_) == 0;
#endif
        fd_ = -1;
        return ok;
    }
    int fd_;
};

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

// The system's text for an errno value, or a plain word when the failing call set none.
std::string Reason(int error) {
    if (error == 0) return "unknown error";
    return std::generic_category().message(error);
}

// Six random letters and digits, from a generator seeded once per thread.
std::string RandomTag() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{
            static_cast<uint64_t>(device()), static_cast<uint64_t>(device()),
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string tag(6, '0');
    for (char& c : tag) c = kChars[pick(engine)];
    return tag;
}

// What is known of a target before it is replaced.
struct TargetState {
    bool exists = false;
    bool regular = false;
    bool writable = true;  // its owner may write it
#ifndef _WIN32
    struct stat info {};
#endif
};

TargetState StateOf(const fs::path& target) {
    TargetState state;
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    state.exists = fs::exists(status);
    state.regular = fs::is_regular_file(status);
    state.writable = (status.permissions() & fs::perms::owner_write) != fs::perms::none;
#else
    if (stat(target.c_str(), &state.info) == 0) {
        state.exists = true;
        state.regular = S_ISREG(state.info.st_mode);
        state.writable = (state.info.st_mode & S_IWUSR) != 0;
    }
#endif
    return state;
}

#ifndef _WIN32
// The process's file creation mask, read once from the system's status of the process rather
// than with umask(), which would change it for a moment under the other threads; -1 when it
// cannot be read.
int CreationMask() {
    static const int mask = [] {
        int found = -1;
        if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            unsigned value = 0;
            while (std::fgets(line, sizeof line, f)) {
                if (std::sscanf(line, "Umask: %o", &value) == 1) {
                    found = static_cast<int>(value & 0777);
                    break;
                }
            }
            std::fclose(f);
        }
        return found;
    }();
    return mask;
}
#endif

// Creates a new empty file of a unique short name (".pm-XXXXXX.tmp") in the target's folder,
// so the final rename stays on one file system and any target name that fits the folder
// leaves room for it. The file is created exclusively: a name another writer holds is never
// reused. When the target exists, the new file takes its permission bits, and its owner and
// group where the system allows. Returns the name and the open descriptor, or empty with
// errno's value in `error`.
std::string CreateTempBeside(const fs::path& target, const TargetState& existing, int& fd,
                             int& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate.replace_filename(PathFromText(".pm-" + RandomTag() + ".tmp"));
#ifdef _WIN32
        fd = _wopen(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            error = errno;
            if (error == EEXIST) continue;
            return {};
        }
        (void)existing;  // a read-only target was refused; nothing else carries over
#else
        const mode_t want = existing.exists ? existing.info.st_mode & 07777 : 0666;
        fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, want & 0777);
        if (fd < 0) {
            error = errno;
            if (error == EEXIST) continue;
            return {};
        }
        if (existing.exists) {
            const struct stat& old = existing.info;
            // Best effort: only a privileged user may give a file away.
            static const uid_t kUser = geteuid();
            static const gid_t kGroup = getegid();
            const bool givenAway = old.st_uid != kUser || old.st_gid != kGroup;
            if (givenAway && fchown(fd, old.st_uid, old.st_gid) != 0) {
            }
            // The creation mask may have taken bits away, and the special bits are set here.
            const int mask = CreationMask();
            const bool exact = mask >= 0 && ((want & 0777) & ~static_cast<mode_t>(mask)) == want;
            if ((givenAway || !exact) && fchmod(fd, want) != 0) {
                error = errno;
                close(fd);
                std::error_code ec;
                fs::remove(candidate, ec);
                return {};
            }
        }
#endif
        return TextFromPath(candidate);
    }
    error = EEXIST;
    return {};
}

// The opener writing files as they are: recognised by WriteFileAtomically, which then writes
// through the descriptor of the temporary file it created.
struct StandardOpener {
    std::unique_ptr<OutputFile> operator()(const std::string& path) const {
#ifdef _WIN32
        std::FILE* f = _wfopen(PathFromText(path).c_str(), L"wb");
#else
        std::FILE* f = std::fopen(path.c_str(), "wb");
#endif
        if (!f) return nullptr;
        return std::make_unique<StdioFile>(f);
    }
};

}  // namespace

fs::path PathFromText(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string TextFromPath(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const fs::path pa = PathFromText(a), pb = PathFromText(b);
#ifndef _WIN32
    struct stat sa, sb;
    const bool hasA = stat(pa.c_str(), &sa) == 0, hasB = stat(pb.c_str(), &sb) == 0;
    if (hasA && hasB) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (hasA != hasB) return false;
#endif
    // Without inode numbers, or for files still to be written: the resolved paths, which on
    // Windows compare without regard to case.
    const fs::path ca = fs::weakly_canonical(pa, ec);
    if (ec) return false;
    const fs::path cb = fs::weakly_canonical(pb, ec);
    if (ec) return false;
#ifdef _WIN32
    const std::wstring wa = ca.wstring(), wb = cb.wstring();
    if (wa.size() != wb.size()) return false;
    for (size_t i = 0; i < wa.size(); ++i) {
        if (std::towlower(wa[i]) != std::towlower(wb[i])) return false;
    }
    return true;
#else
    return ca == cb;
#endif
}

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    InputFile file;
    const int opened = file.Open(path, error);
    if (opened != rc::kOk) return opened;
    bytes.resize(file.Size());
    bool ok = file.Read(bytes.data(), bytes.size(), error);
    // A file that grew since its size was taken is refused rather than read half.
    uint8_t extra = 0;
    std::string atEnd;
    if (ok && file.Read(&extra, 1, atEnd)) {
        ok = false;
        error = "cannot read " + Quote(path) + ": it changed its size while it was read";
    }
    if (!ok) {
        bytes.clear();
        bytes.shrink_to_fit();
        return rc::kCannotOpen;
    }
    return rc::kOk;
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
#ifdef _WIN32
        _close(fd_);
#else
        close(fd_);
#endif
    }
}

int InputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    const fs::path p = PathFromText(path);
    uintmax_t size = 0;
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = fs::status(p, ec);
    const bool exists = fs::exists(status), regular = fs::is_regular_file(status);
    if (regular) size = fs::file_size(p, ec);
    const int statError = ec ? ec.value() : 0;
#else
    // One look at the path tells whether it exists, is a regular file (opening a FIFO would
    // wait for a writer) and how large it is.
    struct stat info;
    const int statError = stat(p.c_str(), &info) == 0 ? 0 : errno;
    const bool exists = statError == 0 || (statError != ENOENT && statError != ENOTDIR);
    const bool regular = statError == 0 && S_ISREG(info.st_mode);
    if (regular) size = static_cast<uintmax_t>(info.st_size);
#endif
    if (!exists) {
        error = "cannot open " + Quote(path) + " for reading: it does not exist";
        return rc::kCannotOpen;
    }
    if (statError != 0 && !regular) {
        error = "cannot open " + Quote(path) + " for reading: " + Reason(statError);
        return rc::kCannotOpen;
    }
    if (!regular) {
        error = "cannot open " + Quote(path) + " for reading: not a regular file";
        return rc::kCannotOpen;
    }
    if (size > kMaxReadSize) {
        error = "cannot read " + Quote(path) + ": larger than " +
                std::to_string(kMaxReadSize >> 30) + " GiB";
        return rc::kCannotOpen;
    }
#ifdef _WIN32
    fd_ = _wopen(p.c_str(), _O_RDONLY | _O_BINARY);
#else
    fd_ = open(p.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd_ < 0) {
        error = "cannot open " + Quote(path) + " for reading: " + Reason(errno);
        return rc::kCannotOpen;
    }
    size_ = static_cast<size_t>(size);
    return rc::kOk;
}

bool InputFile::Read(void* dst, size_t n, std::string& error) {
    if (fd_ < 0) {
        error = "cannot read " + Quote(path_) + ": not open";
        return false;
    }
    auto* at = static_cast<char*>(dst);
    while (n > 0) {
#ifdef _WIN32
        const int got = _read(fd_, at, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
#else
        const ssize_t got = read(fd_, at, n);
#endif
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = "cannot read " + Quote(path_) + ": " +
                    (got < 0 ? Reason(errno) : "it changed its size while it was read");
            return false;
        }
        at += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

OutputOpener StandardOutputOpener() {
    return StandardOpener{};
}

int WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                        const OutputOpener& opener) {
    return WriteFileAtomically(
        path, [&](OutputFile& out) { return out.Write(bytes.data(), bytes.size()); }, error,
        opener);
}

int WriteFileAtomically(const std::string& path, const OutputProducer& produce, std::string& error,
                        const OutputOpener& opener) {
    std::error_code ec;
    const fs::path target = PathFromText(path);
    const TargetState state = StateOf(target);
    if (state.exists && !state.regular) {
        error = Quote(path) + " exists and is not a regular file";
        return rc::kNotRegularFile;
    }
    // Permission bits do not stop a privileged user, so a target its owner may not write is
    // refused here rather than replaced.
    if (state.exists && !state.writable) {
        error = "cannot write " + Quote(path) + ": it is read-only";
        return rc::kCannotOpen;
    }
    int createError = 0;
    int fd = -1;
    const std::string tmp = CreateTempBeside(target, state, fd, createError);
    if (tmp.empty()) {
        error = "cannot create a temporary file beside " + Quote(path) + ": " + Reason(createError);
        return rc::kCannotOpen;
    }
    const fs::path tmpPath = PathFromText(tmp);
    errno = 0;
    std::unique_ptr<OutputFile> out;
    if (opener.target<StandardOpener>()) {
        out = std::make_unique<FdFile>(fd);
    } else {
        FdFile(fd).Close();
        out = opener(tmp);
    }
    if (!out) {
        const int openError = errno;
        fs::remove(tmpPath, ec);
        error =
            "cannot open " + Quote(tmp) + " for writing " + Quote(path) + ": " + Reason(openError);
        return rc::kCannotOpen;
    }
    errno = 0;
    // An interruption stops the file between two pieces and abandons it.
    InterruptibleFile pieces(*out);
    bool ok = produce(pieces) && !InterruptRequested();
    ok = ok && out->Flush();
    int writeError = errno;
    if (!out->Close() && ok) {
        ok = false;
        writeError = errno;
    }
    out.reset();
    if (!ok && InterruptRequested()) {
        fs::remove(tmpPath, ec);
        error = "interrupted while writing " + Quote(path) + "; the target was left untouched";
        return rc::kInterrupted;
    }
    if (!ok) {
        fs::remove(tmpPath, ec);
        error = "writing " + Quote(path) + " failed: " + Reason(writeError) +
                "; the target was left untouched";
        return rc::kWriteFailed;
    }
    fs::rename(tmpPath, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(tmpPath, ec);
        error = "cannot replace " + Quote(path) + ": " + reason;
        return rc::kWriteFailed;
    }
    return rc::kOk;
}

int WriteFilesTogether(const std::vector<std::string>& paths, const std::string& bytes,
                       std::string& error, const OutputOpener& opener) {
    // Each target's bytes first go to a staging file of their own in the target's folder,
    // written atomically itself; the targets are replaced only once every one is staged.
    std::vector<fs::path> staged, kept;
    std::error_code ec;
    auto removeAll = [&](const std::vector<fs::path>& files) {
        for (const fs::path& f : files) fs::remove(f, ec);
    };
    for (const std::string& path : paths) {
        const fs::path target = PathFromText(path);
        const fs::file_status status = fs::status(target, ec);
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            removeAll(staged);
            error = Quote(path) + " exists and is not a regular file; nothing was written";
            return rc::kNotRegularFile;
        }
        fs::path stage = target;
        stage.replace_filename(PathFromText(".pm-" + RandomTag() + ".new"));
        if (const int code = WriteFileAtomically(TextFromPath(stage), bytes, error, opener);
            code != rc::kOk) {
            removeAll(staged);
            return code;
        }
        staged.push_back(stage);
    }
    // Existing targets step aside, then the staged files take their places; any failure
    // undoes what was done.
    std::vector<std::pair<fs::path, fs::path>> asides;  // target, its old file
    std::vector<fs::path> placed;
    auto undo = [&](const std::string& reason) {
        for (const fs::path& p : placed) fs::remove(p, ec);
        for (const auto& [target, old] : asides) fs::rename(old, target, ec);
        removeAll(staged);
        error = reason + "; the targets were left as they were";
        return rc::kWriteFailed;
    };
    for (const std::string& path : paths) {
        const fs::path target = PathFromText(path);
        if (!fs::exists(target, ec)) continue;
        fs::path old = target;
        old.replace_filename(PathFromText(".pm-" + RandomTag() + ".old"));
        fs::rename(target, old, ec);
        if (ec) return undo("cannot replace " + Quote(path) + ": " + ec.message());
        asides.emplace_back(target, old);
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        fs::rename(staged[i], PathFromText(paths[i]), ec);
        if (ec) return undo("cannot replace " + Quote(paths[i]) + ": " + ec.message());
        placed.push_back(PathFromText(paths[i]));
    }
    for (const auto& [target, old] : asides) fs::remove(old, ec);
    return rc::kOk;
}
