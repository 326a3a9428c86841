#include "ArchiveCommand.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "Archive.h"
#include "ArchiveNames.h"
#include "FileIO.h"
#include "Interrupt.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

const char* CompressionName(ArchiveCompression c) {
    switch (c) {
        case ArchiveCompression::kZlib:
            return "zlib";
        case ArchiveCompression::kLz4:
            return "lz4";
        case ArchiveCompression::kXmem:
            return "xmem";
        default:
            return "none";
    }
}

std::string RightAligned(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Opens the archive, printing its warnings; false after printing the error.
bool OpenArchive(const ArchiveOptions& options, Archive& archive, std::ostream& err) {
    std::string error;
    if (archive.Open(options.archive, error) != rc::kOk) {
        err << "error: " << error << "\n";
        return false;
    }
    for (const std::string& warning : archive.Warnings()) err << "warning: " << warning << "\n";
    return true;
}

std::vector<size_t> Selected(const Archive& archive, const std::string& pattern) {
    std::vector<size_t> selected;
    for (size_t i = 0; i < archive.Entries().size(); ++i) {
        if (pattern.empty() || ArchivePathMatches(pattern, archive.Entries()[i].path))
            selected.push_back(i);
    }
    return selected;
}

std::string MatchText(const ArchiveOptions& options, size_t matched, size_t total) {
    const std::string entries = std::to_string(total) + (total == 1 ? " entry" : " entries");
    if (options.pattern.empty()) return entries;
    return std::to_string(matched) + " of " + entries + " match '" + options.pattern + "'";
}

// Whether `inner` lies in `folder`, both resolved (symbolic links followed).
bool Inside(const fs::path& inner, const fs::path& folder) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec);
    if (ec) return false;
    const fs::path b = fs::weakly_canonical(folder, ec);
    if (ec) return false;
    auto [end, unused] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
    (void)unused;
    return end == b.end();
}

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

int RunArchiveList(const ArchiveOptions& options, std::ostream& out, std::ostream& err) {
    Archive archive;
    if (!OpenArchive(options, archive, err)) return 1;
    const std::vector<size_t> selected = Selected(archive, options.pattern);
    uint64_t stored = 0, original = 0;
    size_t compressed = 0, damaged = 0;
    for (size_t i : selected) {
        const ArchiveEntry& e = archive.Entries()[i];
        out << RightAligned(std::to_string(e.storedSize), 10) << ' '
            << RightAligned(e.damage.empty() ? std::to_string(e.originalSize) : "?", 10) << "  "
            << CompressionName(e.compression)
            << std::string(6 - std::string(CompressionName(e.compression)).size(), ' ') << e.path;
        if (!e.damage.empty()) out << "  damaged: " << e.damage;
        out << "\n";
        stored += e.storedSize;
        original += e.damage.empty() ? e.originalSize : 0;
        compressed += e.compression != ArchiveCompression::kNone;
        damaged += !e.damage.empty();
    }
    out << MatchText(options, selected.size(), archive.Entries().size()) << " (" << compressed
        << " compressed";
    if (damaged > 0) out << ", " << damaged << " damaged";
    out << "): " << stored << " bytes stored, " << original << " bytes original; version "
        << archive.Version() << "\n";
    return damaged > 0 ? 1 : 0;
}

int RunArchiveExtract(const ArchiveOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    const fs::path dir = PathFromText(options.outputDir);
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
        err << "error: --output-dir '" << options.outputDir << "' is not a folder\n";
        return 2;
    }
    Archive archive;
    if (!OpenArchive(options, archive, err)) return 1;
    const std::vector<size_t> selected = Selected(archive, options.pattern);
    if (selected.empty()) {
        err << "error: " << MatchText(options, 0, archive.Entries().size())
            << "; nothing extracted\n";
        return 1;
    }
    fs::create_directories(dir, ec);
    if (ec) {
        err << "error: cannot create the output folder '" << options.outputDir
            << "': " << ec.message() << "\n";
        return 1;
    }
    size_t written = 0, refused = 0, failed = 0;
    // Targets of this run, so that two entries of one path (or of paths that differ only in
    // case) never replace each other, even with --overwrite.
    std::set<std::string> targets;
    std::vector<uint8_t> bytes;
    size_t started = 0;
    for (size_t i : selected) {
        // An interruption stops between entries (or abandons the one being written).
        if (InterruptRequested()) break;
        ++started;
        const ArchiveEntry& e = archive.Entries()[i];
        // A refusal protects a file or leaves the output folder alone; a failure is an entry
        // that cannot be read or written.
        auto report = [&](const std::string& target, const std::string& what) {
            out << e.path << (target.empty() ? "" : " -> " + target) << ": " << what << "\n";
            ++(what.starts_with("refused") ? refused : failed);
        };
        fs::path relative;
        std::string error;
        if (SafeRelativePath(e.path, relative, error) != rc::kOk) {
            report("", "refused: " + error);
            continue;
        }
        const fs::path target = dir / relative;
        const std::string targetText = TextFromPath(target);
        if (!targets.insert(Lowered(targetText)).second) {
            report(targetText, "refused: another entry of the archive was written there");
            continue;
        }
        // Checked before any folder is made: what exists of the path is resolved, the rest
        // holds no "..".
        const fs::path parent = target.parent_path();
        if (!Inside(parent, dir)) {
            report(targetText, "refused: its folder leads out of the output folder");
            continue;
        }
        if (fs::exists(fs::symlink_status(target, ec))) {
            if (!options.overwrite) {
                report(targetText, "refused: the file exists (--overwrite replaces it)");
                continue;
            }
            if (SameFile(targetText, options.archive)) {
                report(targetText, "refused: it is the archive itself");
                continue;
            }
        }
        if (archive.Read(i, bytes, error) != rc::kOk) {
            report("", "error: " + error);
            continue;
        }
        fs::create_directories(parent, ec);
        if (ec) {
            report(targetText, "error: cannot create its folder: " + ec.message());
            continue;
        }
        const int saved = WriteFileAtomically(
            targetText,
            [&](OutputFile& file) {
                return file.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            },
            error);
        if (saved != rc::kOk) {
            report(targetText, "error: " + error);
            continue;
        }
        out << e.path << " -> " << targetText << ": ok, " << bytes.size() << " bytes\n";
        ++written;
    }
    out << MatchText(options, selected.size(), archive.Entries().size()) << ": " << written
        << " extracted, " << refused << " refused, " << failed << " failed";
    if (InterruptRequested())
        out << "; interrupted: " << selected.size() - started << " not started";
    out << "\n";
    return refused + failed > 0 || InterruptRequested() ? 1 : 0;
}
