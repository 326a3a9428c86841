#include "FileIO.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

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

// A hidden name in the target's own folder, so the final rename stays on one file system.
std::string TempNameBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name.append(TextFromPath(target.filename()));
    name.append(".pellmar-");
    name.append(std::to_string(counter++));
    name.append(".tmp");
    fs::path result = target;
    result.replace_filename(PathFromText(name));
    return TextFromPath(result);
}

}  // namespace

fs::path PathFromText(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string TextFromPath(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    std::error_code ec;
    fs::path p = PathFromText(path);
    if (!fs::is_regular_file(p, ec)) {
        error = "cannot open '" + path + "' for reading: not a regular file";
        return rc::kCannotOpen;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open '" + path + "' for reading";
        return rc::kCannotOpen;
    }
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        bytes.clear();
        error = "cannot read '" + path + "'";
        return rc::kCannotOpen;
    }
    return rc::kOk;
}

OutputOpener StandardOutputOpener() {
    return [](const std::string& path) -> std::unique_ptr<OutputFile> {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return nullptr;
        return std::make_unique<StdioFile>(f);
    };
}

int WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                        const OutputOpener& opener) {
    std::error_code ec;
    const fs::path target = PathFromText(path);
    fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        error = "'" + path + "' exists and is not a regular file";
        return rc::kNotRegularFile;
    }
    std::string tmp = TempNameBeside(target);
    if (fs::exists(PathFromText(tmp), ec)) fs::remove(PathFromText(tmp), ec);
    std::unique_ptr<OutputFile> out = opener(tmp);
    if (!out) {
        error = "cannot open '" + path + "' for writing";
        return rc::kCannotOpen;
    }
    bool ok = out->Write(bytes.data(), bytes.size());
    ok = ok && out->Flush();
    ok = out->Close() && ok;
    out.reset();
    if (!ok) {
        fs::remove(PathFromText(tmp), ec);
        error = "writing '" + path + "' failed; the target was left untouched";
        return rc::kWriteFailed;
    }
    fs::rename(PathFromText(tmp), target, ec);
    if (ec) {
        fs::remove(PathFromText(tmp), ec);
        error = "cannot replace '" + path + "': " + ec.message();
        return rc::kWriteFailed;
    }
    return rc::kOk;
}
