// pellmar-cli on whole mods: folders in and folders out, the clash check over everything a run
// reads, dry runs and JSON reports, strict configuration, test mode and interruptions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

#include "ArchiveWriter.h"
#include "CliRun.h"
#include "Conversions.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A small game mesh: the tiny sample body cleaned for Skyrim.
const Bytes& GameMesh() {
    static const Bytes bytes = [] {
        NifFile out;
        EXPECT_EQ(PrepareClean(MakeBodyMesh(true), MakeSampleLibrary(), {}, {}, out).code, rc::kOk);
        return SaveBytes(out);
    }();
    return bytes;
}

// A mod folder: meshes at several depths, one with an upper-case extension, a file that is
// no mesh, and a link back up the tree.
fs::path MakeMod(const TempDir& dir) {
    const fs::path mod = dir.Path("mod");
    for (const char* path : {"meshes/armor/iron/cuirass.nif", "meshes/armor/iron/gloves.NIF",
                             "meshes/clutter/cup.nif", "meshes/body_0.nif"}) {
        fs::create_directories((mod / path).parent_path());
        WriteFileBytes(mod / path, GameMesh());
    }
    WriteFileBytes(mod / "meshes/readme.txt", Bytes{'h', 'i'});
    fs::create_directory_symlink("../..", mod / "meshes/armor/up");
    // Names of meshes that are no files to read: a link to a device and a pipe.
    fs::create_symlink("/dev/zero", mod / "meshes/device.nif");
    EXPECT_EQ(mkfifo((mod / "meshes/pipe.nif").c_str(), 0600), 0);
    return mod;
}

std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files.push_back(e.path().lexically_relative(root).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

// Every command takes folders: their meshes in a stable order, outputs at the same paths below
// the output folder, a link back up the tree reported and not followed.
TEST(CliBatch, FoldersInAndTheSamePathsOut) {
    TempDir dir;
    const fs::path mod = MakeMod(dir);
    const std::vector<std::string> meshes = {"meshes/armor/iron/cuirass.nif",
                                             "meshes/armor/iron/gloves.NIF", "meshes/body_0.nif",
                                             "meshes/clutter/cup.nif"};
    CliRun convert = RunCli("convert " + Quoted(mod) + " --to se --jobs 2 --output-dir " +
                            Quoted(dir.Path("out")));
    EXPECT_EQ(convert.exitCode, 0) << convert.out;
    EXPECT_EQ(FilesBelow(dir.Path("out")), meshes);
    EXPECT_NE(convert.out.find("up: a link leads back"), std::string::npos) << convert.out;
    for (const char* name :
         {"device.nif: not a regular file; skipped", "pipe.nif: not a regular file; skipped"})
        EXPECT_NE(convert.out.find(name), std::string::npos) << convert.out;
    size_t at = 0;
    for (const std::string& m : meshes) {
        const size_t line = convert.out.find((mod / m).string() + " -> ");
        EXPECT_GT(line, at) << m;
        at = line;
    }
    EXPECT_NE(convert.out.find("4 converted, 0 failed"), std::string::npos);
    for (const char* command : {"lint", "check", "info", "to-blender --dry-run"}) {
        CliRun r = RunCli(std::string(command) + " " + Quoted(mod) + " --jobs 2");
        EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.out;
        EXPECT_NE(r.out.find("gloves.NIF"), std::string::npos) << command;
    }
    // diff of two folders pairs the files by path: the Special Edition's outputs keep the
    // meshes within what their records store.
    CliRun same = RunCli("diff --geometry " + Quoted(mod) + " " + Quoted(dir.Path("out")));
    EXPECT_EQ(same.exitCode, 0) << same.out;
    EXPECT_NE(same.out.find("4 agree, 0 differ"), std::string::npos) << same.out;
    fs::remove(dir.Path("out/meshes/clutter/cup.nif"));
    CliRun missing = RunCli("diff " + Quoted(mod) + " " + Quoted(dir.Path("out")));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("cup.nif: only in"), std::string::npos) << missing.out;
    // -o takes one mesh.
    EXPECT_EQ(
        RunCli("convert " + Quoted(mod) + " --to se -o " + Quoted(dir.Path("x.nif"))).exitCode, 2);
}

// A dry run writes nothing and says what would change; the JSON report gives each input's
// output, status, repairs and differences.
TEST(CliBatch, DryRunAndJsonReport) {
    TempDir dir;
    const fs::path mod = MakeMod(dir);
    CliRun dry = RunCli("convert " + Quoted(mod) + " --to se --dry-run --output-dir " +
                        Quoted(dir.Path("out")));
    EXPECT_EQ(dry.exitCode, 0) << dry.out;
    EXPECT_FALSE(fs::exists(dir.Path("out")));
    EXPECT_NE(dry.out.find("cup.nif: would write"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("change: blocks: +3 BSTriShape"), std::string::npos) << dry.out;
    CliRun dryRepair =
        RunCli("repair " + Quoted(mod) + " --dry-run --output-dir " + Quoted(dir.Path("out")));
    EXPECT_EQ(dryRepair.exitCode, 0) << dryRepair.out;
    EXPECT_FALSE(fs::exists(dir.Path("out")));
    EXPECT_NE(dryRepair.out.find("cup.nif: nothing to repair, would copy unchanged"),
              std::string::npos)
        << dryRepair.out;

    CliRun json =
        RunCli("repair " + Quoted(mod) + " --json --output-dir " + Quoted(dir.Path("fixed")));
    ASSERT_EQ(json.exitCode, 0) << json.out;
    const nlohmann::json doc = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << json.out;
    ASSERT_EQ(doc["files"].size(), 4u);
    for (const nlohmann::json& f : doc["files"]) {
        for (const char* field : {"input", "output", "status", "repairs", "differences"})
            EXPECT_TRUE(f.contains(field)) << field << " in " << f.dump();
        EXPECT_EQ(f["status"], "unchanged");
    }
    EXPECT_EQ(doc["warnings"].size(), 3u);  // the link up the tree, the device, the pipe

    // A folder without meshes is no error, but the run says so.
    fs::create_directories(dir.Path("empty/textures"));
    CliRun empty = RunCli("lint " + Quoted(dir.Path("empty")));
    EXPECT_EQ(empty.exitCode, 0) << empty.out;
    EXPECT_NE(empty.out.find("empty: no .nif files below this folder"), std::string::npos)
        << empty.out;
    EXPECT_EQ(FilesBelow(dir.Path("fixed")).size(), 4u);
}

// No run writes over a file it reads: an input, the shader library, the configuration or the
// original of a restore.
TEST(CliBatch, NoRunWritesOverAFileItReads) {
    TempDir dir;
    WriteFileBytes(dir.Path("lib.nif"), SaveBytes(MakeSampleLibrary()));
    WriteFileBytes(dir.Path("body.nif"), SaveBytes(MakeBodyMesh(true)));
    WriteFileBytes(dir.Path("original.nif"), GameMesh());
    fs::copy_file(SamplePath(kSampleConfigName), dir.Path("cfg.xml"));
    const std::string clean = "clean " + Quoted(dir.Path("body.nif")) + " --library " +
                              Quoted(dir.Path("lib.nif")) + " --config " +
                              Quoted(dir.Path("cfg.xml"));
    const struct {
        const char* what;
        std::string args;
        fs::path kept;
    } cases[] = {
        {"the library", clean + " -o " + Quoted(dir.Path("lib.nif")), dir.Path("lib.nif")},
        {"the configuration", clean + " -o " + Quoted(dir.Path("cfg.xml")), dir.Path("cfg.xml")},
        {"the original",
         clean + " --restore-from " + Quoted(dir.Path("original.nif")) + " -o " +
             Quoted(dir.Path("original.nif")),
         dir.Path("original.nif")},
        {"the input",
         "convert " + Quoted(dir.Path("original.nif")) + " --to se --output-dir " +
             Quoted(dir.Root()),
         dir.Path("original.nif")},
        {"the input, by to-blender",
         "to-blender " + Quoted(dir.Path("original.nif")) + " --output-dir " + Quoted(dir.Root()),
         dir.Path("original.nif")},
        {"the input, by clean", clean + " -o " + Quoted(dir.Path("body.nif")),
         dir.Path("body.nif")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = ReadFileBytes(c.kept);
        CliRun r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find("refusing to write"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFileBytes(c.kept), before);
    }
}

// The command line reads its Config.xml strictly: what the window would take as defaults is a
// usage error naming the file, the element and the value.
TEST(CliBatch, ConfigurationErrorsAreUsageErrors) {
    TempDir dir;
    const struct {
        const char* text;
        const char* named;
    } cases[] = {
        {"<PellmarConfig><AlphaFlagsValue>4844", "cannot be read as XML"},
        {"<OtherConfig/>", "<OtherConfig>"},
        {"<PellmarConfig><AlphaFlagsValue>0x12ED</AlphaFlagsValue></PellmarConfig>",
         "<AlphaFlagsValue> holds \"0x12ED\""},
        {"<PellmarConfig><AlphaThreshold>300</AlphaThreshold></PellmarConfig>",
         "<AlphaThreshold> holds \"300\""},
        {"<PellmarConfig><AlphaThreshold>-1</AlphaThreshold></PellmarConfig>",
         "<AlphaThreshold> holds \"-1\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = c.text;
        WriteFileBytes(dir.Path("cfg.xml"), Bytes(text.begin(), text.end()));
        CliRun r = RunCli("clean " + Quoted(SamplePath(kSampleMeshName)) + " --library " +
                          Quoted(SamplePath(kSampleLibraryName)) + " --config " +
                          Quoted(dir.Path("cfg.xml")) + " -o " + Quoted(dir.Path("out.nif")));
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.out.find("cfg.xml"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.named), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(dir.Path("out.nif")));
    }
}

// Test mode replaces both body meshes or neither.
TEST(CliBatch, TestModeWritesBothBodiesOrNeither) {
    TempDir dir;
    const fs::path folder = dir.Path("Data/meshes/actors/character/character assets");
    fs::create_directories(folder / "femalebody_1.nif");  // a folder: the second write fails
    WriteFileBytes(folder / "femalebody_0.nif", Bytes{'o', 'l', 'd'});
    CliRun r = RunCli("clean " + Quoted(SamplePath(kSampleMeshName)) + " --library " +
                      Quoted(SamplePath(kSampleLibraryName)) + " --test-mode --data-path " +
                      Quoted(dir.Path("Data")));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(ReadFileBytes(folder / "femalebody_0.nif"), (Bytes{'o', 'l', 'd'}));
    for (const auto& e : fs::directory_iterator(folder))
        EXPECT_EQ(e.path().filename().string().find(".pm-"), std::string::npos);
}

// SIGTERM in the middle of a run: the file being written is abandoned, nothing later starts,
// no temporary file is left, and the summary says so.
TEST(CliBatch, AnInterruptedRunLeavesNothingBehind) {
    TempDir dir;
    // A large mesh first, whose save may be under way when the signal comes, then many small
    // ones: the signal comes once the large mesh's temporary file or output shows.
    const fs::path big = dir.Path("in/a_big.nif");
    fs::create_directories(big.parent_path());
    ASSERT_EQ(MakeLargeMesh(300000, 12, 83).Save(big.string()), rc::kOk);
    constexpr int kSmall = 600;
    for (int i = 0; i < kSmall; ++i)
        WriteFileBytes(dir.Path("in/small" + std::to_string(i) + ".nif"), GameMesh());
    const std::string command = "timeout 120 " + std::string(PELLMAR_CLI) + " convert " +
                                Quoted(dir.Path("in")) + " --to se --jobs 1 --output-dir " +
                                Quoted(dir.Path("out"));
    CliRun r = RunShell(command + " > " + Quoted(dir.Path("log.txt")) + " & pid=$!; cd " +
                        Quoted(dir.Root()) +
                        "; for i in $(seq 6000); do { [ -e out/a_big.nif ] || ls out/.pm-* "
                        ">/dev/null 2>&1; } && break; sleep 0.002; done; kill -TERM $pid; "
                        "wait $pid");
    const Bytes log = ReadFileBytes(dir.Path("log.txt"));
    const std::string text(log.begin(), log.end());
    EXPECT_EQ(r.exitCode, 1) << text;
    EXPECT_NE(text.find("interrupted"), std::string::npos) << text;
    size_t outputs = 0;
    if (!fs::exists(dir.Path("out"))) return;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path("out"))) {
        EXPECT_EQ(e.path().filename().string().find(".pm-"), std::string::npos) << e.path();
        ++outputs;
    }
    EXPECT_LT(outputs, kSmall + 1u);
    // The large mesh was abandoned half-way, or finished before the signal came.
    const fs::path bigOut = dir.Path("out/a_big.nif");
    if (fs::exists(bigOut)) {
        CliRun diff = RunCli("diff --geometry " + Quoted(big) + " " + Quoted(bigOut));
        EXPECT_EQ(diff.exitCode, 0) << diff.out;
    } else {
        EXPECT_NE(text.find("interrupted while writing"), std::string::npos) << text;
    }
}

// A mod folder is read with its archives by the commands that write nothing, each entry in the
// archive's place below the folder; the commands that write take the loose meshes and name
// the archive they leave.
TEST(CliBatch, FoldersAreReadWithTheirArchivesByTheCommandsThatWriteNothing) {
    TempDir dir;
    const fs::path mod = dir.Path("mod");
    fs::create_directories(mod / "meshes");
    fs::create_directories(mod / "data");
    WriteFileBytes(mod / "meshes/loose.nif", GameMesh());
    const std::vector<PackedFile> files = MeshFiles(105);
    const fs::path archive = mod / "data/Mod.bsa";
    WriteFileBytes(archive, PackArchive({105, 0x7, 0x1, false}, files));
    const std::string entry = archive.string() + ":meshes\\pellmar\\shaderlibrary.nif";

    CliRun lint = RunCli("lint " + Quoted(mod) + " --json");
    EXPECT_EQ(lint.exitCode, 0) << lint.out;
    const nlohmann::json doc = nlohmann::json::parse(lint.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << lint.out;
    ASSERT_EQ(doc["files"].size(), files.size() + 1);
    std::vector<std::string> names;
    for (const auto& f : doc["files"]) names.push_back(f["file"]);
    EXPECT_NE(std::find(names.begin(), names.end(), entry), names.end()) << lint.out;
    for (const char* command : {"check", "info"}) {
        CliRun r = RunCli(std::string(command) + " " + Quoted(mod));
        EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.out;
        EXPECT_NE(r.out.find(entry), std::string::npos) << r.out;
    }

    const fs::path out = dir.Path("out");
    CliRun loose = RunCli("convert " + Quoted(mod) + " --to se --output-dir " + Quoted(out));
    EXPECT_EQ(loose.exitCode, 0) << loose.out;
    EXPECT_NE(loose.out.find("Mod.bsa: an archive; name it as an input"), std::string::npos)
        << loose.out;
    EXPECT_EQ(FilesBelow(out), std::vector<std::string>{"meshes/loose.nif"});
    // Named, its meshes go where they stand in the folder: diff pairs them with the archive's.
    CliRun packed =
        RunCli("convert " + Quoted(archive) + " --to se --output-dir " + Quoted(out / "data"));
    EXPECT_EQ(packed.exitCode, 0) << packed.out;
    CliRun diff = RunCli("diff --geometry " + Quoted(mod) + " " + Quoted(out));
    EXPECT_EQ(diff.exitCode, 0) << diff.out;
    EXPECT_NE(diff.out.find(std::to_string(files.size() + 1) + " agree"), std::string::npos)
        << diff.out;
}

// To the commands that write nothing, an archive that cannot be opened is a file that does not
// load, as a damaged mesh is: the same exit code, its reason on an error line, and lint's JSON
// entry with the file and the error. It was reported as a failed input of another shape (and
// lint exited 1, as for an error finding; check called the archive "not a NIF file").
TEST(CliBatch, ADamagedArchiveIsAFileThatDoesNotLoad) {
    TempDir dir;
    const Bytes packed = PackArchive({105, 0x7, 0x1, false}, {{"meshes\\a.nif", GameMesh()}});
    for (const char* folder : {"with-archive", "with-mesh"}) {
        fs::create_directories(dir.Path(folder));
        WriteFileBytes(dir.Path(folder) / "good.nif", GameMesh());
    }
    WriteFileBytes(dir.Path("with-archive/cut.bsa"), Bytes(packed.begin(), packed.begin() + 40));
    WriteFileBytes(dir.Path("with-mesh/cut.nif"),
                   Bytes(GameMesh().begin(), GameMesh().begin() + 100));
    for (const char* command : {"lint", "check", "info", "diff"}) {
        SCOPED_TRACE(command);
        const auto run = [&](const char* folder) {
            const std::string in = Quoted(dir.Path(folder));
            return RunCli(std::string(command) + " " + in +
                          (command == std::string("diff") ? " " + in : ""));
        };
        const CliRun archive = run("with-archive"), mesh = run("with-mesh");
        EXPECT_EQ(archive.exitCode, mesh.exitCode) << archive.out << mesh.out;
        EXPECT_NE(archive.out.find("cut.bsa: error: "), std::string::npos) << archive.out;
        EXPECT_NE(archive.out.find("is damaged"), std::string::npos) << archive.out;
    }
    const CliRun lint = RunCli("lint --json " + Quoted(dir.Path("with-archive")));
    EXPECT_EQ(lint.exitCode, 2) << lint.out;
    const nlohmann::json doc = nlohmann::json::parse(lint.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << lint.out;
    ASSERT_EQ(doc["files"].size(), 2u);
    for (const auto& f : doc["files"]) EXPECT_TRUE(f.contains("file")) << f.dump();
    EXPECT_TRUE(doc["files"][0].contains("error")) << doc.dump();
}

// A run keeps every archive it reads open until it ends: more archives than the usual limit
// of open files (here lowered to 40) are all read, as a large load order's Data folder needs.
TEST(CliBatch, MoreArchivesThanTheOpenFileLimitAreAllRead) {
    TempDir dir;
    const Bytes archive = PackArchive({105, 0x7, 0x1, false}, {{"meshes\\a.nif", GameMesh()}});
    constexpr int kArchives = 80;
    fs::create_directories(dir.Path("data"));
    for (int i = 0; i < kArchives; ++i)
        WriteFileBytes(dir.Path("data/mod" + std::to_string(i) + ".bsa"), archive);
    const CliRun r = RunShell("ulimit -Sn 40 && timeout 120 " + std::string(PELLMAR_CLI) +
                              " lint --jobs 1 " + Quoted(dir.Path("data")));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(std::to_string(kArchives) + " files: 0 errors"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("not read"), std::string::npos) << r.out;
}

// A reader of the output that goes away (`| head`) stops the run as an interruption does,
// instead of ending the program at once in the middle of another job's save, which left
// that save's temporary file behind.
TEST(CliBatch, AClosedOutputPipeStopsTheRunAsAnInterruption) {
    TempDir dir;
    constexpr int kMeshes = 400;
    fs::create_directories(dir.Path("in"));
    for (int i = 0; i < kMeshes; ++i)
        WriteFileBytes(dir.Path("in/m" + std::to_string(i) + ".nif"), GameMesh());
    // head takes the first byte and goes: the output's next write finds no reader. The exit
    // status is the program's, not head's.
    const fs::path status = dir.Path("status.txt");
    const CliRun r = RunShell("{ timeout 120 " + std::string(PELLMAR_CLI) + " convert " +
                              Quoted(dir.Path("in")) + " --to se --jobs 2 --output-dir " +
                              Quoted(dir.Path("out")) + "; echo $? > " + Quoted(status) +
                              "; } | head -c 1 > /dev/null");
    const Bytes code = ReadFileBytes(status);
    EXPECT_EQ(std::string(code.begin(), code.end()), "1\n") << r.out;
    size_t outputs = 0;
    ASSERT_TRUE(fs::exists(dir.Path("out"))) << r.out;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path("out"))) {
        EXPECT_EQ(e.path().filename().string().find(".pm-"), std::string::npos) << e.path();
        ++outputs;
    }
    EXPECT_LT(outputs, static_cast<size_t>(kMeshes));
}

// A report cut short by a full disk is not a success: whatever the command, the program says
// so and exits 2 (a script would otherwise take a truncated report for a whole one). What
// the command writes besides is written as ever.
TEST(CliBatch, AReportThatCannotBeWrittenIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    TempDir dir;
    const fs::path mesh = dir.Path("mesh.nif");
    WriteFileBytes(mesh, GameMesh());
    const std::string in = Quoted(mesh);
    const struct {
        const char* name;
        std::string args;
        const char* written;  // a file the command writes, or nullptr
    } kCases[] = {
        {"lint --json", "lint --json " + in, nullptr},
        {"info", "info " + in, nullptr},
        {"lint --rules", "lint --rules", nullptr},
        {"convert", "convert --to se " + in + " -o " + Quoted(dir.Path("se.nif")), "se.nif"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        // Standard output to the full device, standard error to the test.
        const CliRun r =
            RunShell("timeout 120 " + std::string(PELLMAR_CLI) + " " + c.args + " 2>&1 >/dev/full");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.out.find("could not be written"), std::string::npos) << r.out;
        if (c.written) {
            CliRun diff = RunCli("diff --geometry " + in + " " + Quoted(dir.Path(c.written)));
            EXPECT_EQ(diff.exitCode, 0) << diff.out;
        }
    }
}

// Meshes inside archives of both editions go through every command without unpacking: each
// finding and output names the archive and the entry, outputs land as loose files at the
// entries' paths, and the archive itself is never written.
TEST(CliBatch, ArchivesAreFoldersOfTheirMeshes) {
    TempDir dir;
    for (uint32_t version : {104u, 105u}) {
        SCOPED_TRACE(version);
        std::vector<PackedFile> files = MeshFiles(version);
        files.push_back({"meshes\\readme.txt", Bytes{'h', 'i'}});
        const PackLayout layout{version, 0x7, 0x1, false};
        const fs::path archive = dir.Path("Mod" + std::to_string(version) + ".bsa");
        WriteFileBytes(archive, PackArchive(layout, files));
        const Bytes packed = ReadFileBytes(archive);
        const std::string entry =
            "Mod" + std::to_string(version) + ".bsa:meshes\\pellmar\\shaderlibrary.nif";

        CliRun lint = RunCli("lint " + Quoted(archive) + " --json");
        EXPECT_EQ(lint.exitCode, 0) << lint.out;
        const nlohmann::json doc = nlohmann::json::parse(lint.out, nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << lint.out;
        ASSERT_EQ(doc["files"].size(), 2u);
        EXPECT_EQ(doc["files"][1]["file"], entry);
        for (const char* command : {"check", "info"}) {
            CliRun r = RunCli(std::string(command) + " " + Quoted(archive));
            EXPECT_EQ(r.exitCode, 0) << command << "\n" << r.out;
            EXPECT_NE(r.out.find(entry), std::string::npos) << r.out;
        }
        const std::string to = version == 104 ? "se" : "le";
        const fs::path out = dir.Path("out" + std::to_string(version));
        CliRun convert =
            RunCli("convert " + Quoted(archive) + " --to " + to + " --output-dir " + Quoted(out));
        EXPECT_EQ(convert.exitCode, 0) << convert.out;
        EXPECT_TRUE(fs::exists(out / "meshes/actors/character/character assets/femalebody_0.nif"));
        EXPECT_TRUE(fs::exists(out / "meshes/pellmar/shaderlibrary.nif"));
        // The loose outputs hold the archived meshes.
        CliRun diff = RunCli("diff --geometry " + Quoted(archive) + " " + Quoted(out));
        EXPECT_EQ(diff.exitCode, 0) << diff.out;
        CliRun repair =
            RunCli("repair " + Quoted(archive) + " --output-dir " + Quoted(dir.Path("fixed")));
        EXPECT_EQ(repair.exitCode, 0) << repair.out;
        // Writing beside an archived mesh would write into the archive: an output folder is
        // needed.
        EXPECT_EQ(RunCli("to-blender " + Quoted(archive)).exitCode, 2);
        CliRun blender = RunCli("to-blender " + Quoted(archive) + " --output-dir " +
                                Quoted(dir.Path("blender")));
        EXPECT_EQ(blender.exitCode, 0) << blender.out;
        EXPECT_EQ(ReadFileBytes(archive), packed);
    }
}
