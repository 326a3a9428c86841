// Reading a whole file, and writing one so that the target is replaced only by a complete
// file: the bytes go to a temporary file beside the target, which is renamed over the target
// once it was written, flushed and closed without error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Paths are 8-bit text in UTF-8 (on Windows, the process code page the manifest selects).
std::filesystem::path PathFromText(const std::string& text);
std::string TextFromPath(const std::filesystem::path& path);

// 0 and the bytes, or rc::kCannotOpen with a message.
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// Where the bytes of a file go; replaced by tests to make writes fail.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

// Opens a new file for writing, or returns nullptr.
using OutputOpener = std::function<std::unique_ptr<OutputFile>(const std::string& path)>;
OutputOpener StandardOutputOpener();

// rc::kOk; rc::kNotRegularFile when the target exists and is not a regular file;
// rc::kCannotOpen when no temporary file can be created beside it; rc::kWriteFailed when
// writing, flushing, closing or renaming failed. On failure the target is untouched and the
// temporary file is gone.
int WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                        const OutputOpener& opener = StandardOutputOpener());
