// What a batch run of pellmar-cli is: its inputs (files, and folders walked for their meshes),
// the file each input's output goes to, the check that no run writes over a file it reads,
// the jobs that run the command on every input, and the report: one result per input in
// input order, a progress line on a terminal, a summary, or one JSON document.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

class Archive;

// One input of a run.
struct BatchItem {
    std::string path;      // the file to read (for an archive entry: the archive)
    std::string label;     // how lines name it (a path, or Archive.bsa:entry\path.nif)
    std::string relative;  // below the folder or archive it was found in; its name otherwise
    // An entry of an archive: the archive and the entry's index (archive null otherwise).
    const Archive* archive = nullptr;
    size_t entry = 0;
    std::string target;               // where its output goes; empty for none
    std::vector<std::string> writes;  // every file it may write (the target first)
    // Refused before it ran (a folder that cannot be walked, an output that is an input).
    int code = 0;
    std::string message;
};

// What running the command on one input gave.
struct BatchResult {
    enum class Status { kOk, kUnchanged, kFailed };
    Status status = Status::kOk;
    int code = 0;         // the result code of a failure
    std::string text;     // the lines the text report prints for the input
    nlohmann::json json;  // its entry in the JSON report
    size_t errors = 0;    // lint: findings of error severity
};

// Where outputs go.
enum class OutputKind {
    kNone,      // the command writes nothing (info, check, lint, diff)
    kRequired,  // -o or --output-dir
    kBeside,    // -o, --output-dir, or beside the input with a prefix (to-blender)
    kTestMode,  // the game's two body meshes (clean --test-mode)
};

struct BatchOptions {
    std::vector<std::string> inputs;
    std::string output;     // -o: one input
    std::string outputDir;  // --output-dir: the inputs' paths below it
    unsigned jobs = 0;      // 0: the machine's cores
    bool json = false;
    bool dryRun = false;
    bool progress = false;  // a progress line on the error stream (a terminal)
    // The command writes nothing: its folders are read with the archives below them, and an
    // input refused before it runs (an archive that cannot be opened) reaches the command,
    // whose Load reports it like a file that does not load. Otherwise an archive a walk passes
    // is named in a warning, and a refused input is reported as failed without the command.
    bool readingOnly = false;
};

// The options of a command that writes nothing.
inline BatchOptions ReadingOnly(BatchOptions options) {
    options.readingOnly = true;
    return options;
}

class Batch {
  public:
    // Walks the inputs: a folder gives its `.nif` files (any letter case) below it, in a stable
    // order, with readingOnly the `.nif` entries of the archives (`.bsa`) below it in
    // their place too; an archive named itself gives its `.nif` entries. A folder that cannot be
    // read becomes a refused item; a symbolic link that leads back into a folder being walked is
    // reported and not followed.
    explicit Batch(const BatchOptions& options);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Usage problems of the inputs and output options, or empty: -o with more than one input,
    // -o and --output-dir together, an output option where the command writes nothing or none
    // where it must write, two inputs that would write one file.
    std::string PlanOutputs(OutputKind kind, const std::string& prefix = {},
                            const std::vector<std::string>& testModeWrites = {});
    // Refuses each input that would write over a file the run reads: any input, or one of
    // `alsoRead`: (path, what it is: "the shader library", ...).
    void RefuseClashes(const std::vector<std::pair<std::string, std::string>>& alsoRead = {});

    std::vector<BatchItem>& Items() { return items_; }
    const BatchOptions& Options() const { return options_; }

    using Task = std::function<BatchResult(const BatchItem& item)>;
    using Summary = std::function<std::string(size_t ok, size_t unchanged, size_t failed)>;
    // Runs the task on every input on `jobs` threads, printing each result in input order (or
    // collecting it for the JSON document), then the summary. Stops starting inputs once an
    // interruption was asked for (Interrupt.h). Returns 0 when every input succeeded, 1
    // otherwise (the caller may map failures differently).
    int Run(const Task& task, const Summary& summary, std::ostream& out, std::ostream& err,
            const nlohmann::json& header = nlohmann::json::object());

    // Loads an item's mesh: a file, or an archive entry; an item refused before the run gives
    // its refusal.
    [[nodiscard]] int Load(const BatchItem& item, class NifFile& file, std::string& error) const;
    // An item's bytes, whole.
    [[nodiscard]] int ReadBytes(const BatchItem& item, std::vector<uint8_t>& bytes,
                                std::string& error) const;

  private:
    // One input's items; a folder or archive that gives none is warned about.
    void Walk(const std::string& root);
    void WalkInput(const std::string& root);
    void AddArchive(const std::string& path, const std::string& label,
                    const std::filesystem::path& folder, std::vector<BatchItem>& into);
    BatchOptions options_;
    std::vector<BatchItem> items_;
    std::vector<std::unique_ptr<Archive>> archives_;
    // What the walk and the archives report without stopping: links that lead back into a
    // folder being walked (not followed), names whose hash disagrees.
    std::vector<std::string> warnings_;
};

// Saves an output below its folder (creating the folders it needs), or, in a dry run, says what
// would be written. The failure's code and message, or rc::kOk.
[[nodiscard]] int SaveOutput(const NifFile& file, const std::string& target, bool dryRun,
                             std::string& error);

// The same for bytes copied as they are.
[[nodiscard]] int WriteOutputBytes(const std::string& target, const std::vector<uint8_t>& bytes,
                                   std::string& error);

// The machine's cores, at least 1.
unsigned DefaultJobs();
