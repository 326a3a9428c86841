// Reading a whole file, and writing one so that the target is replaced only by a complete
// file: the bytes go to a temporary file of a unique name beside the target, created
// exclusively, which is renamed over the target once it was written, flushed and closed
// without error. Two writers of one target never share a temporary file; the last rename wins.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Paths are 8-bit text in UTF-8 (on Windows, the process code page the manifest selects).
std::filesystem::path PathFromText(const std::string& text);
std::string TextFromPath(const std::filesystem::path& path);

// Whether two paths name one file: the same device and inode where the system has them, the
// same resolved path elsewhere (and for paths that do not exist yet).
[[nodiscard]] bool SameFile(const std::string& a, const std::string& b);

// 0 and the bytes, read in one piece of the file's size, or rc::kCannotOpen with a message:
// the file does not exist, is not a regular file, is too large, cannot be read, or changed
// its size while it was read.
[[nodiscard]] int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                                std::string& error);

// A file read from start to end in pieces, with the checks of ReadWholeFile.
class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
    // rc::kOk or rc::kCannotOpen with a message.
    [[nodiscard]] int Open(const std::string& path, std::string& error);
    size_t Size() const { return size_; }
    // The next n bytes; false with a message when they cannot be read (or the file shrank).
    [[nodiscard]] bool Read(void* dst, size_t n, std::string& error);

  private:
    int fd_ = -1;
    std::string path_;
    size_t size_ = 0;
};

// Where the bytes of a file go; replaced by tests to make writes fail.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

// Opens a file for writing (the empty temporary file just created), or returns nullptr.
using OutputOpener = std::function<std::unique_ptr<OutputFile>(const std::string& path)>;
OutputOpener StandardOutputOpener();

// rc::kOk; rc::kNotRegularFile when the target exists and is not a regular file;
// rc::kCannotOpen when the target is read-only (its owner has no write permission) or no
// temporary file can be created beside it; rc::kWriteFailed when writing, flushing, closing
// or renaming failed. The error names the path and the system's reason. A replaced target
// keeps its permission bits (and, where the system allows, its owner and group). On failure
// the target is untouched and the temporary file is gone.
[[nodiscard]] int WriteFileAtomically(const std::string& path, const std::string& bytes,
                                      std::string& error,
                                      const OutputOpener& opener = StandardOutputOpener());
// The same, the bytes coming from `produce` piece by piece (false: a write failed).
using OutputProducer = std::function<bool(OutputFile& out)>;
[[nodiscard]] int WriteFileAtomically(const std::string& path, const OutputProducer& produce,
                                      std::string& error,
                                      const OutputOpener& opener = StandardOutputOpener());

// Writes the same bytes to several targets so that either every target is replaced or none
// is: each is first written in full to a temporary file beside it; only when all are written
// do the renames run, and a failing rename puts the targets already replaced back as they were.
// The codes and messages of WriteFileAtomically.
[[nodiscard]] int WriteFilesTogether(const std::vector<std::string>& paths,
                                     const std::string& bytes, std::string& error,
                                     const OutputOpener& opener = StandardOutputOpener());
