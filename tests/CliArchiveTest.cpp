// pellmar-cli archive ls and extract as processes: listing, patterns, Windows-1252 names,
// hostile paths, existing files, damaged archives and usage errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "ArchiveCommand.h"
#include "ArchiveWriter.h"
#include "CliRun.h"
#include "Interrupt.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The exit code and the output, for std::tie.
std::pair<int, std::string> Cli(const std::string& args) {
    CliRun r = RunCli(args);
    return {r.exitCode, r.out};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(CliArchive, ListAndExtract) {
    TempDir dir;
    const std::vector<PackedFile> files = {{"meshes\\caf\xE9\\a.nif", Bytes{'a', 'b', 'c'}},
                                           {"meshes\\armor\\b.nif", Bytes(3000, 'b')},
                                           {"textures\\t.dds", Bytes{'t'}, true},
                                           {"..\\..\\x", Bytes{'x'}}};
    WriteFileBytes(dir.Path("a.bsa"), PackArchive({105, 0x107, 1, false}, files));
    const std::string archive = Quoted(dir.Path("a.bsa"));

    auto [code, out] = Cli("archive ls " + archive);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(Has(out, "      3000  lz4   meshes\\armor\\b.nif\n")) << out;
    EXPECT_TRUE(Has(out, "        16          1  none  textures\\t.dds\n")) << out;
    EXPECT_TRUE(Has(out, "  lz4   meshes\\caf\xC3\xA9\\a.nif\n")) << out;
    EXPECT_TRUE(Has(out, "4 entries (3 compressed): ")) << out;
    std::tie(code, out) = Cli("archive ls " + archive + " 'MESHES/*.NIF'");
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(Has(out, "2 of 4 entries match 'MESHES/*.NIF' (2 compressed)")) << out;
    EXPECT_FALSE(Has(out, "t.dds")) << out;

    // The hostile entry is refused and lands nowhere; the others are written.
    const fs::path outDir = dir.Path("deep") / "er" / "out";
    std::tie(code, out) = Cli("archive extract " + archive + " --output-dir " + Quoted(outDir));
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(Has(out, "..\\..\\x: refused: the entry path '..\\..\\x' climbs out")) << out;
    EXPECT_TRUE(Has(out, "4 entries: 3 extracted, 1 refused, 0 failed\n")) << out;
    EXPECT_FALSE(fs::exists(dir.Path("x")));
    EXPECT_EQ(ReadFileBytes(outDir / "meshes" / "caf\xC3\xA9" / "a.nif"), files[0].contents);
    EXPECT_EQ(ReadFileBytes(outDir / "meshes" / "armor" / "b.nif"), files[1].contents);
    EXPECT_EQ(ReadFileBytes(outDir / "textures" / "t.dds"), files[2].contents);

    // Existing files are kept unless --overwrite is given.
    WriteFileBytes(outDir / "meshes" / "armor" / "b.nif", Bytes{'o', 'l', 'd'});
    std::tie(code, out) =
        Cli("archive extract " + archive + " --output-dir " + Quoted(outDir) + " 'meshes\\*'");
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(Has(out, "b.nif: refused: the file exists (--overwrite replaces it)")) << out;
    EXPECT_EQ(ReadFileBytes(outDir / "meshes" / "armor" / "b.nif"), (Bytes{'o', 'l', 'd'}));
    std::tie(code, out) = Cli("archive extract " + archive + " --output-dir " + Quoted(outDir) +
                              " 'meshes\\*' --overwrite");
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(Has(out, "2 of 4 entries match 'meshes\\*': 2 extracted, 0 refused, 0 failed"))
        << out;
    EXPECT_EQ(ReadFileBytes(outDir / "meshes" / "armor" / "b.nif"), files[1].contents);

    // A folder that is a link out of the output folder is not followed.
    fs::create_directories(dir.Path("elsewhere"));
    fs::create_directories(dir.Path("linked"));
    fs::create_directory_symlink(dir.Path("elsewhere"), dir.Path("linked") / "textures");
    std::tie(code, out) = Cli("archive extract " + archive + " --output-dir " +
                              Quoted(dir.Path("linked")) + " 'textures\\*'");
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(Has(out, "refused: its folder leads out of the output folder")) << out;
    EXPECT_TRUE(fs::is_empty(dir.Path("elsewhere")));

    // Interrupted: nothing more starts, and the summary says what was left.
    ArchiveOptions options;
    options.archive = dir.Path("a.bsa").string();
    options.outputDir = dir.Path("stopped").string();
    std::ostringstream lines, errors;
    RequestInterrupt();
    EXPECT_EQ(RunArchiveExtract(options, lines, errors), 1);
    ClearInterrupt();
    EXPECT_TRUE(Has(lines.str(), "0 extracted, 0 refused, 0 failed; interrupted: 4 not started"))
        << lines.str();
    EXPECT_TRUE(fs::is_empty(dir.Path("stopped")));
}

TEST(CliArchive, DamagedArchivesAndUsageErrors) {
    TempDir dir;
    const Bytes good = PackArchive({104, 0x7, 1, false}, {{"meshes\\a.nif", Bytes(100, 'a')}});
    WriteFileBytes(dir.Path("cut.bsa"), Bytes(good.begin(), good.end() - 1));
    WriteFileBytes(dir.Path("head.bsa"), Bytes(good.begin(), good.begin() + 40));
    WriteFileBytes(dir.Path("file"), Bytes{1});
    Bytes wrongHash = good;
    wrongHash[36 + 16 + 8 + 3] ^= 1;  // the file record's hash, after the folder record and name
    WriteFileBytes(dir.Path("hash.bsa"), wrongHash);
    WriteFileBytes(
        dir.Path("twice.bsa"),
        PackArchive({104, 0x3, 1, false}, {{"m\\x.nif", Bytes{1}}, {"m\\X.NIF", Bytes{2}}}));
    const struct {
        std::string args;
        int code;
        std::string message;
    } cases[] = {
        {"archive ls " + Quoted(dir.Path("cut.bsa")), 1, "meshes\\a.nif  damaged: its data (bytes"},
        {"archive extract " + Quoted(dir.Path("cut.bsa")) + " --output-dir " +
             Quoted(dir.Path("o")),
         1,
         "meshes\\a.nif: error: '" + dir.Path("cut.bsa").string() +
             "', entry 'meshes\\a.nif' is damaged: its data"},
        {"archive ls " + Quoted(dir.Path("hash.bsa")), 0,
         "warning: '" + dir.Path("hash.bsa").string() +
             "': file 'meshes\\a.nif' is stored with hash 0x"},
        {"archive extract " + Quoted(dir.Path("twice.bsa")) + " --output-dir " +
             Quoted(dir.Path("t")),
         1, ": refused: another entry of the archive was written there"},
        {"archive ls " + Quoted(dir.Path("head.bsa")), 1,
         "error: '" + dir.Path("head.bsa").string() + "' is damaged: the header's counts"},
        {"archive ls " + Quoted(dir.Path("none.bsa")), 1,
         "none.bsa' for reading: it does not exist"},
        {"archive extract " + Quoted(dir.Path("cut.bsa")) + " --output-dir " +
             Quoted(dir.Path("file")),
         2, "is not a folder"},
        {"archive extract " + Quoted(dir.Path("cut.bsa")) + " --output-dir " +
             Quoted(dir.Path("o")) + " '*.dds'",
         1, "0 of 1 entry match '*.dds'; nothing extracted"},
        {"archive extract " + Quoted(dir.Path("cut.bsa")), 2, "--output-dir is required"},
        {"archive", 2, "A subcommand is required"},
        {"archive extract --help", 0, "--overwrite"},
    };
    for (const auto& c : cases) {
        auto [code, out] = Cli(c.args);
        EXPECT_EQ(code, c.code) << c.args << "\n" << out;
        EXPECT_TRUE(Has(out, c.message)) << c.args << "\n" << out;
    }
}
