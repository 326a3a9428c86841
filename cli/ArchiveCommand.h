// pellmar-cli archive ls and archive extract.
#pragma once

#include <ostream>
#include <string>

struct ArchiveOptions {
    std::string archive;
    std::string pattern;  // a glob over the entry paths; empty: every entry
    std::string outputDir;
    bool overwrite = false;
};

// One line per entry (stored and original size, compression, path) and a summary. Exit code
// 0, or 1 when the archive cannot be read or a listed entry is damaged.
[[nodiscard]] int RunArchiveList(const ArchiveOptions& options, std::ostream& out,
                                 std::ostream& err);
// Writes the matching entries under the output folder, one line each, and a summary. An
// existing file is replaced only with `overwrite`. Exit code 0 when every matching entry was
// written, 1 when any failed or was refused (or none matches), 2 when the output folder is
// not a folder.
[[nodiscard]] int RunArchiveExtract(const ArchiveOptions& options, std::ostream& out,
                                    std::ostream& err);
