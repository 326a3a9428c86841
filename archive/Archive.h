// Reading BSA archives of Skyrim (version 104, zlib) and its Special Edition (version 105, LZ4
// frames). Opening reads the header, the folder and file records and the names, and checks
// them; each entry's bytes are read only when asked for, so an archive of any size costs
// memory in proportion to its records and to the entry being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class ArchiveCompression { kNone, kZlib, kLz4, kXmem };

struct ArchiveEntry {
    std::string path;         // UTF-8, "folder\name" as stored; just "name" in the root folder "."
    std::string folder;       // UTF-8, as stored ("." for the root)
    std::string name;         // UTF-8
    uint32_t offset = 0;      // where the entry's bytes start in the archive
    uint32_t storedSize = 0;  // bytes stored there, embedded name and size prefix included
    uint32_t originalSize = 0;  // bytes of the contents (for a compressed entry, as recorded)
    ArchiveCompression compression = ArchiveCompression::kNone;
    // Why the entry cannot be read (its range or its prefix is damaged), or empty. Found
    // when opening: such an entry is listed, and Read refuses it.
    std::string damage;
};

class Archive {
  public:
    Archive();
    Archive(Archive&&) noexcept;
    Archive& operator=(Archive&&) noexcept;
    ~Archive();

    // rc::kOk; rc::kCannotOpen (missing, not a regular file, unreadable),
    // rc::kUnsupportedArchive (not a BSA, another version, an Xbox archive) or
    // rc::kDamagedArchive, with a message naming the archive.
    [[nodiscard]] int Open(const std::string& path, std::string& error);
    // The same over bytes in memory, which must outlive the archive; `name` stands for the
    // archive in messages.
    [[nodiscard]] int OpenMemory(const uint8_t* data, size_t size, const std::string& name,
                                 std::string& error);

    const std::string& Name() const { return name_; }
    uint32_t Version() const { return version_; }
    uint32_t Flags() const { return flags_; }
    const std::vector<ArchiveEntry>& Entries() const { return entries_; }
    // Findings that do not stop reading: names whose hash disagrees with the stored one,
    // records of a layout the header does not announce.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    // The decompressed contents of an entry. rc::kOk; rc::kDamagedArchive (a damaged entry,
    // a damaged stream, contents whose size is not the recorded one), rc::kUnsupportedArchive
    // (Xbox XMem compression) or rc::kCannotOpen (the file cannot be read), with a message
    // naming the archive and the entry. Safe to call from several threads at once: reads go
    // to an offset without moving a shared position.
    [[nodiscard]] int Read(size_t entry, std::vector<uint8_t>& bytes, std::string& error) const;

    class Source;

  private:
    int Parse(std::string& error);
    void ProbeEntry(ArchiveEntry& entry, bool embedded);
    [[nodiscard]] int Decompress(const ArchiveEntry& entry, const uint8_t* data, size_t size,
                                 std::vector<uint8_t>& bytes, std::string& error) const;
    std::string EntryText(const ArchiveEntry& entry) const;

    std::unique_ptr<Source> source_;
    std::string name_;
    uint32_t version_ = 0;
    uint32_t flags_ = 0;
    uint64_t dataStart_ = 0;
    std::vector<ArchiveEntry> entries_;
    std::vector<std::string> warnings_;
};
