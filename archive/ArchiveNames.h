// Names inside BSA archives: the hash each record stores, their text as UTF-8, matching them
// against a pattern, and the relative file path an entry becomes outside the archive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// The 64-bit hash an archive stores for a folder path ("meshes\armor") and for a file name
// without its folder ("x.nif"), computed from the name's Windows-1252 bytes: '/' counts as
// '\', A-Z as a-z, and a folder's leading and trailing separators are dropped.
[[nodiscard]] uint64_t ArchiveFolderHash(std::string_view name);
[[nodiscard]] uint64_t ArchiveFileHash(std::string_view name);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves unassigned become the C1
// control characters of the same value.
[[nodiscard]] std::string Utf8FromWindows1252(std::string_view bytes);

// Whether a UTF-8 entry path matches a glob pattern: '*' stands for any run of characters
// (separators included), '?' for one character; '/' and '\' are the same, and letters match
// without regard to case (ASCII and the Latin-1 letters of Windows-1252).
[[nodiscard]] bool ArchivePathMatches(std::string_view pattern, std::string_view path);

// The relative file path, on the running platform, that an entry path (UTF-8, '\' or '/'
// between folders) is written to. rc::kOk, or rc::kUnsafeEntryPath with the reason when the
// path is absolute, names a drive, climbs with "..", or has no name left. Empty and "."
// folders are dropped; characters Windows refuses in names (<>:"|?*, control characters)
// become '_', and so do the trailing dots and spaces Windows would strip; a device name
// (CON, NUL, COM1, ...) gets a '_' in front. The same path comes out on every platform, up
// to the separator.
[[nodiscard]] int SafeRelativePath(std::string_view entryPath, std::filesystem::path& path,
                                   std::string& error);
