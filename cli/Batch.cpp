#include "Batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "Archive.h"
#include "ArchiveNames.h"
#include "FileIO.h"
#include "Interrupt.h"
#include "NifFile.h"
#include "ResultCodes.h"

namespace fs = std::filesystem;

namespace {

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    return std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

bool IsArchivePath(const std::string& path) {
    std::error_code ec;
    return EndsWithNoCase(path, ".bsa") && fs::is_regular_file(PathFromText(path), ec);
}

// A path resolved as far as it exists, in one letter case where the system ignores case.
std::string PathKey(const fs::path& p) {
    std::error_code ec;
    std::string key = TextFromPath(fs::weakly_canonical(p, ec));
#ifdef _WIN32
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return key;
}

// A file's identity for the clash check: device and inode where the system has them, its
// resolved path otherwise; empty for a file that does not exist.
std::string FileKey(const std::string& path) {
    std::error_code ec;
    const fs::path p = PathFromText(path);
    if (!fs::exists(p, ec)) return {};
#ifndef _WIN32
    struct stat s;
    if (stat(p.c_str(), &s) == 0) return std::to_string(s.st_dev) + ":" + std::to_string(s.st_ino);
#endif
    return PathKey(p);
}

BatchItem Item(const std::string& path, const std::string& label, const std::string& relative) {
    BatchItem item;
    item.path = path;
    item.label = label;
    item.relative = relative;
    return item;
}

}  // namespace

unsigned DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

Batch::Batch(const BatchOptions& options) : options_(options) {
    for (const std::string& input : options_.inputs) Walk(input);
}

Batch::~Batch() = default;

void Batch::Walk(const std::string& root) {
    const size_t before = items_.size();
    WalkInput(root);
    // A folder or archive without meshes is no error, but worth a word.
    if (items_.size() == before) {
        warnings_.push_back(root + ": no .nif files " +
                            (IsArchivePath(root) ? "in this archive" : "below this folder"));
    }
}

// An archive's `.nif` entries, named `label:entry\path.nif`, their relative paths below
// `folder` (the archive's place below the folder walked; empty for an archive named itself).
// An archive that cannot be opened is one refused item.
void Batch::AddArchive(const std::string& path, const std::string& label, const fs::path& folder,
                       std::vector<BatchItem>& into) {
    auto archive = std::make_unique<Archive>();
    std::string error;
    if (const int code = archive->Open(path, error); code != rc::kOk) {
        into.push_back(Item(path, path, TextFromPath(folder / PathFromText(path).filename())));
        into.back().code = code;
        into.back().message = error;
        return;
    }
    for (size_t e = 0; e < archive->Entries().size(); ++e) {
        const ArchiveEntry& entry = archive->Entries()[e];
        if (!EndsWithNoCase(entry.name, ".nif")) continue;
        BatchItem item = Item(path, label + ":" + entry.path, {});
        item.archive = archive.get();
        item.entry = e;
        fs::path relative;
        std::string problem;
        if (SafeRelativePath(entry.path, relative, problem) != rc::kOk) {
            item.code = rc::kUnsafeEntryPath;
            item.message = problem;
        }
        item.relative = TextFromPath((folder / relative).lexically_normal());
        into.push_back(std::move(item));
    }
    archives_.push_back(std::move(archive));
}

void Batch::WalkInput(const std::string& root) {
    std::error_code ec;
    const fs::path rootPath = PathFromText(root);
    if (IsArchivePath(root)) {
        const std::string name = TextFromPath(rootPath.filename());
        AddArchive(root, name, {}, items_);
        return;
    }
    if (!fs::is_directory(rootPath, ec)) {
        items_.push_back(Item(root, root, TextFromPath(rootPath.filename())));
        return;
    }
    // Folders being walked, by their resolved path: a link back into one is a loop.
    std::set<fs::path> walking;
    std::vector<BatchItem> found;
    std::function<void(const fs::path&)> walk = [&](const fs::path& folder) {
        std::error_code e;
        const fs::path resolved = fs::canonical(folder, e);
        auto problem = [&](const std::string& text) {
            BatchItem item = Item(TextFromPath(folder), TextFromPath(folder),
                                  TextFromPath(folder.lexically_relative(rootPath)));
            item.code = rc::kCannotOpen;
            item.message = text;
            found.push_back(std::move(item));
        };
        if (e) return problem("cannot read the folder: " + e.message());
        if (!walking.insert(resolved).second) {
            warnings_.push_back(TextFromPath(folder) +
                                ": a link leads back into a folder being walked; not followed");
            return;
        }
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e))
            entries.push_back(*it);
        if (e) {
            problem("cannot read the folder: " + e.message());
        } else {
            std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
                return a.path().filename() < b.path().filename();
            });
            for (const fs::directory_entry& entry : entries) {
                std::error_code s;
                const std::string name = TextFromPath(entry.path().filename());
                if (entry.is_directory(s)) {
                    walk(entry.path());
                } else if (EndsWithNoCase(name, ".bsa") && entry.is_regular_file(s)) {
                    // A mod's archive holds meshes as its folder does. The commands that
                    // write leave it: an archived mesh and a loose one of its path (the game
                    // takes the loose one) would write one output.
                    const std::string path = TextFromPath(entry.path());
                    if (options_.readingOnly) {
                        AddArchive(path, path, folder.lexically_relative(rootPath), found);
                    } else {
                        warnings_.push_back(path +
                                            ": an archive; name it as an input to include its "
                                            "meshes");
                    }
                } else if (EndsWithNoCase(name, ".nif")) {
                    const std::string path = TextFromPath(entry.path());
                    // A pipe, a device or a broken link of a mesh's name is never opened.
                    if (!entry.is_regular_file(s)) {
                        warnings_.push_back(path + ": not a regular file; skipped");
                        continue;
                    }
                    found.push_back(
                        Item(path, path, TextFromPath(entry.path().lexically_relative(rootPath))));
                }
            }
        }
        walking.erase(resolved);
    };
    walk(rootPath);
    std::move(found.begin(), found.end(), std::back_inserter(items_));
}

std::string Batch::PlanOutputs(OutputKind kind, const std::string& prefix,
                               const std::vector<std::string>& testModeWrites) {
    const bool o = !options_.output.empty(), dir = !options_.outputDir.empty();
    if (kind == OutputKind::kNone) {
        if (o || dir) return "this command writes no files; it takes no -o or --output-dir";
        return {};
    }
    if (kind == OutputKind::kTestMode) {
        if (o || dir) return "choose one of -o, --output-dir and --test-mode";
        if (items_.size() != 1) return "--test-mode takes one input mesh";
        items_[0].writes = testModeWrites;
        items_[0].target = testModeWrites.empty() ? "" : testModeWrites[0];
        return {};
    }
    if (o && dir) return "choose -o or --output-dir, not both";
    if (kind == OutputKind::kRequired && !o && !dir)
        return "choose -o or --output-dir; the input is never overwritten silently";
    if (o && items_.size() != 1)
        return "-o takes one input mesh (the inputs hold " + std::to_string(items_.size()) +
               "); use --output-dir for several";
    std::map<std::string, size_t> planned;
    for (size_t i = 0; i < items_.size(); ++i) {
        BatchItem& item = items_[i];
        const fs::path relative = PathFromText(item.relative);
        if (o) {
            item.target = options_.output;
        } else if (dir) {
            item.target = TextFromPath(PathFromText(options_.outputDir) / relative);
        } else {
            if (item.archive)
                return "the meshes of " + item.path +
                       " cannot be written beside it: give --output-dir (or -o)";
            const fs::path source = PathFromText(item.path);
            item.target = TextFromPath(source.parent_path() /
                                       PathFromText(prefix + TextFromPath(source.filename())));
        }
        item.writes = {item.target};
        // Two inputs of one name (files given directly, or one path in two archives) would
        // write one file.
        if (item.code != rc::kOk) continue;
        const std::string key = PathKey(PathFromText(item.target));
        const auto [at, fresh] = planned.emplace(key, i);
        if (!fresh)
            return "the inputs " + items_[at->second].label + " and " + item.label +
                   " would both be written to " + item.target;
    }
    return {};
}

void Batch::RefuseClashes(const std::vector<std::pair<std::string, std::string>>& alsoRead) {
    std::map<std::string, std::string> read;  // identity -> what it is
    for (const BatchItem& item : items_) {
        if (const std::string key = FileKey(item.path); !key.empty())
            read.emplace(key, "the input " + item.path + " of this run");
    }
    for (const auto& [path, what] : alsoRead) {
        if (const std::string key = FileKey(path); !key.empty())
            read.emplace(key, what + " " + path + ", which this run reads");
    }
    for (BatchItem& item : items_) {
        if (item.code != rc::kOk) continue;
        for (const std::string& target : item.writes) {
            const std::string key = FileKey(target);
            const auto found = read.find(key);
            if (key.empty() || found == read.end()) continue;
            item.code = rc::kOutputIsInput;
            item.message = !item.archive && key == FileKey(item.path)
                               ? "refusing to write over the input itself (" + target + ")"
                               : "refusing to write " + target + ", which is " + found->second +
                                     "; nothing was written for this file";
            break;
        }
    }
}

int Batch::Load(const BatchItem& item, NifFile& file, std::string& error) const {
    if (item.code != rc::kOk) {
        error = item.message;
        return item.code;
    }
    if (!item.archive) {
        const int code = file.Load(item.path);
        error = file.LastError();
        return code;
    }
    std::vector<uint8_t> bytes;
    if (const int code = ReadBytes(item, bytes, error); code != rc::kOk) return code;
    const int code = file.LoadFromMemory(bytes);
    error = file.LastError();
    return code;
}

int Batch::ReadBytes(const BatchItem& item, std::vector<uint8_t>& bytes, std::string& error) const {
    if (item.code != rc::kOk) {
        error = item.message;
        return item.code;
    }
    if (item.archive) return item.archive->Read(item.entry, bytes, error);
    return ReadWholeFile(item.path, bytes, error);
}

int Batch::Run(const Task& task, const Summary& summary, std::ostream& out, std::ostream& err,
               const nlohmann::json& header) {
    for (const auto& archive : archives_) {
        for (const std::string& w : archive->Warnings())
            warnings_.push_back(archive->Name() + ": " + w);
    }
    if (!options_.json) {
        for (const std::string& w : warnings_) err << "warning: " << w << "\n";
    }
    const size_t total = items_.size();
    std::vector<BatchResult> results(total);
    std::vector<bool> done(total, false);
    std::atomic<size_t> next{0};
    std::mutex lock;
    size_t printed = 0, finished = 0, ok = 0, unchanged = 0, failed = 0;
    nlohmann::json files = nlohmann::json::array();
    const bool progress = options_.progress && !options_.json && total > 1;
    const auto start = std::chrono::steady_clock::now();
    auto last = start - std::chrono::seconds(1);
    auto work = [&] {
        for (size_t i = next++; i < total && !InterruptRequested(); i = next++) {
            BatchResult r;
            const BatchItem& item = items_[i];
            if (item.code != rc::kOk && !options_.readingOnly) {
                r.status = BatchResult::Status::kFailed;
                r.code = item.code;
                r.text = item.label + ": failed: " + item.message + "\n";
                r.json = {{"input", item.label}, {"status", "failed"}, {"message", item.message}};
            } else {
                r = task(item);
            }
            std::lock_guard<std::mutex> guard(lock);
            results[i] = std::move(r);
            done[i] = true;
            ++finished;
            // The progress line is redrawn below new result lines, and otherwise at most ten
            // times a second.
            const auto now = std::chrono::steady_clock::now();
            const bool lines = printed < total && done[printed];
            const bool redraw = progress && (lines || now - last >= std::chrono::milliseconds(100));
            if (redraw) err << "\r\x1b[K";
            for (; printed < total && done[printed]; ++printed) {
                BatchResult& p = results[printed];
                if (options_.json) {
                    files.push_back(std::move(p.json));
                } else {
                    out << p.text;
                }
                ++(p.status == BatchResult::Status::kOk          ? ok
                   : p.status == BatchResult::Status::kUnchanged ? unchanged
                                                                 : failed);
                p.text.clear();
            }
            out.flush();
            if (redraw && finished < total) {
                const double seconds = std::chrono::duration<double>(now - start).count();
                char rate[32];
                std::snprintf(rate, sizeof rate, "%.0f", seconds > 0 ? finished / seconds : 0.0);
                err << "[" << finished << "/" << total << "] " << rate << " files/s  "
                    << items_[std::min(i + 1, total - 1)].label << std::flush;
                last = now;
            }
        }
    };
    const unsigned jobs = options_.jobs == 0 ? DefaultJobs() : options_.jobs;
    const auto threads = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(total, 1)));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    if (progress) err << "\r\x1b[K" << std::flush;
    const size_t notStarted = total - finished;
    std::string line = summary(ok, unchanged, failed);
    if (notStarted > 0) line += "; interrupted: " + std::to_string(notStarted) + " not started";
    if (options_.json) {
        nlohmann::json doc = header;
        doc["files"] = std::move(files);
        doc["warnings"] = warnings_;
        doc["summary"] = line;
        doc["interrupted"] = notStarted > 0 || InterruptRequested();
        out << doc.dump(2) << "\n";
    } else {
        out << line << "\n";
    }
    return failed == 0 && notStarted == 0 && !InterruptRequested() ? 0 : 1;
}

namespace {

// The folder an output goes to, made when it is missing.
int MakeFolderOf(const std::string& target, std::string& error) {
    const fs::path parent = PathFromText(target).parent_path();
    std::error_code ec;
    if (parent.empty() || fs::is_directory(parent, ec)) return rc::kOk;
    fs::create_directories(parent, ec);
    if (!ec) return rc::kOk;
    error = "cannot create the folder " + TextFromPath(parent) + ": " + ec.message();
    return rc::kCannotOpen;
}

}  // namespace

int SaveOutput(const NifFile& file, const std::string& target, bool dryRun, std::string& error) {
    if (dryRun) return rc::kOk;
    if (const int code = MakeFolderOf(target, error); code != rc::kOk) return code;
    const int code = file.Save(target);
    error = file.LastError();
    return code;
}

int WriteOutputBytes(const std::string& target, const std::vector<uint8_t>& bytes,
                     std::string& error) {
    if (const int code = MakeFolderOf(target, error); code != rc::kOk) return code;
    return WriteFileAtomically(
        target,
        [&](OutputFile& file) {
            return file.Write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        },
        error);
}
