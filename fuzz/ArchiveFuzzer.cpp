// libFuzzer target for the archive reader: any bytes either are refused with a message, or
// open into entries each of which reads to its recorded size or is refused with a message
// naming the archive and the entry; each entry's path matches itself as a pattern and turns
// into a relative path or a refusal.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Archive.h"
#include "ArchiveNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Archive archive;
    std::string error;
    if (archive.OpenMemory(data, size, "fuzz.bsa", error) != 0) {
        if (error.find("'fuzz.bsa'") == std::string::npos || !archive.Entries().empty())
            std::abort();
        return 0;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < archive.Entries().size(); ++i) {
        const ArchiveEntry& entry = archive.Entries()[i];
        if (archive.Read(i, bytes, error) == 0) {
            if (bytes.size() != entry.originalSize || !entry.damage.empty()) std::abort();
        } else if (error.find("'fuzz.bsa', entry '" + entry.path + "'") == std::string::npos) {
            std::abort();
        }
        if (!ArchivePathMatches(entry.path, entry.path)) std::abort();
        std::filesystem::path path;
        if (SafeRelativePath(entry.path, path, error) == 0 &&
            (path.empty() || path.is_absolute() || path.has_root_name()))
            std::abort();
    }
    return 0;
}
