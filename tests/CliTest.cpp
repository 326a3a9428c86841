// pellmar-cli run as a process, as scripts run it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "Geometry.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(CliCheck, GoodAndBadFiles) {
    TempDir dir;
    const Bytes good = SaveBytes(MakeBodyMesh(true));
    WriteFileBytes(dir.Path("good.nif"), good);
    WriteFileBytes(dir.Path("cut.nif"), Bytes(good.begin(), good.begin() + 300));
    WriteFileBytes(dir.Path("nofooter.nif"), Bytes(good.begin(), good.end() - 8));

    CliRun ok = RunCli("check " + Quoted(dir.Path("good.nif")) + " " +
                       Quoted(SamplePath(kSampleLibraryName)));
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    EXPECT_NE(ok.out.find("good.nif: ok, 17 blocks, 3 shapes, writes back identically\n"),
              std::string::npos)
        << ok.out;

    CliRun footer = RunCli("check " + Quoted(dir.Path("nofooter.nif")));
    EXPECT_EQ(footer.exitCode, 1) << footer.out;
    EXPECT_NE(footer.out.find("nofooter.nif: error: footer of a 11/34 (Blender form) file at byte "
                              "offset " +
                              std::to_string(good.size() - 8)),
              std::string::npos)
        << footer.out;

    // Bytes after the footer load, but are not written back.
    Bytes after = good;
    after.insert(after.end(), 1000, 7);
    WriteFileBytes(dir.Path("after.nif"), after);
    CliRun trailing = RunCli("check " + Quoted(dir.Path("after.nif")));
    EXPECT_EQ(trailing.exitCode, 1) << trailing.out;
    EXPECT_NE(trailing.out.find("after.nif: ok, 17 blocks, 3 shapes, writes back differently: the "
                                "1000 bytes after the footer, at byte offset " +
                                std::to_string(good.size()) + ", are not kept\n"),
              std::string::npos)
        << trailing.out;
    // Conversions of such a file drop the bytes and say how many: the output is the one the
    // file without them gives.
    const std::string library = Quoted(SamplePath(kSampleLibraryName));
    for (const std::string& command : {"clean --library " + library, std::string("repair")}) {
        SCOPED_TRACE(command);
        for (const char* name : {"good", "after"}) {
            fs::remove(dir.Path(std::string(name) + "_out.nif"));
            CliRun run = RunCli(command + " " + Quoted(dir.Path(std::string(name) + ".nif")) +
                                " -o " + Quoted(dir.Path(std::string(name) + "_out.nif")));
            EXPECT_EQ(run.exitCode, 0) << run.out;
            EXPECT_EQ(
                run.out.find("warning: input: 1000 bytes after the footer") != std::string::npos,
                name == std::string("after"))
                << run.out;
        }
        EXPECT_EQ(ReadFileBytes(dir.Path("after_out.nif")),
                  ReadFileBytes(dir.Path("good_out.nif")));
    }
    // A body that reads but writes back otherwise names the first byte that differs.
    Bytes padded = good;
    padded[38] = ' ';
    WriteFileBytes(dir.Path("padded.nif"), padded);
    CliRun differs = RunCli("check " + Quoted(dir.Path("padded.nif")));
    EXPECT_EQ(differs.exitCode, 1) << differs.out;
    EXPECT_NE(differs.out.find("writes back differently from byte offset 38\n"), std::string::npos)
        << differs.out;

    CliRun mixed = RunCli("check " + Quoted(dir.Path("cut.nif")) + " " +
                          Quoted(dir.Path("good.nif")) + " " + Quoted(dir.Path("missing.nif")));
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.out.find("cut.nif: error: "), std::string::npos) << mixed.out;
    EXPECT_NE(mixed.out.find("good.nif: ok"), std::string::npos);
    EXPECT_NE(mixed.out.find("missing.nif: error: cannot open"), std::string::npos);
}

TEST(CliInfo, JsonStaysValidForAnyNameBytes) {
    TempDir dir;
    NifFile f = MakeBodyMesh(true);
    f.RenameShape("Body", std::string("K\xE9rper\x01\"\\", 9));
    ASSERT_EQ(f.Save(dir.Path("odd.nif").string()), 0);
    CliRun run = RunCli("info --json " + Quoted(dir.Path("odd.nif")));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const nlohmann::json doc = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << run.out;
    EXPECT_EQ(doc["shapes"][0], "K\xC3\xA9rper\x01\"\\");
    EXPECT_EQ(doc["userVersion"], 11);
    EXPECT_EQ(doc["blocks"].size(), f.blocks.size());
    EXPECT_EQ(doc["blocks"][0]["type"], "NiNode");

    CliRun text = RunCli("info " + Quoted(SamplePath(kSampleLibraryName)));
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("12/83 (game form)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Hair (A)"), std::string::npos);
}

TEST(CliUsage, ErrorsExitTwoAndHelpZero) {
    EXPECT_EQ(RunCli("").exitCode, 2);
    EXPECT_EQ(RunCli("frobnicate").exitCode, 2);
    EXPECT_EQ(RunCli("info").exitCode, 2);
    EXPECT_EQ(RunCli("info --help").exitCode, 0);
    EXPECT_EQ(RunCli("check --help").exitCode, 0);
    EXPECT_EQ(RunCli("info /nonexistent.nif").exitCode, 1);
}

namespace {

std::string Samples(const char* name) {
    return Quoted(SamplePath(name));
}

// The sample Blender export cleaned for each edition: se.nif and le.nif in the folder.
bool CleanForBothEditions(const TempDir& dir) {
    const std::string clean =
        "clean " + Samples(kSampleMeshName) + " --library " + Samples(kSampleLibraryName);
    return RunCli(clean + " --form se -o " + Quoted(dir.Path("se.nif"))).exitCode == 0 &&
           RunCli(clean + " -o " + Quoted(dir.Path("le.nif"))).exitCode == 0;
}

}  // namespace

TEST(CliClean, ConvertsWithAssignmentsRenamesAndAlpha) {
    TempDir dir;
    CliRun run =
        RunCli("clean " + Samples(kSampleMeshName) + " --library " + Samples(kSampleLibraryName) +
               " -o " + Quoted(dir.Path("game.nif")) + " --rename Feet=Boots --assign Boots=Metal" +
               " --assign 'Hands=Hair (A)' --no-alpha Hands --alpha Boots --alpha Tail --config " +
               Samples(kSampleConfigName));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("warning: no shape named \"Tail\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 converted, 0 failed"), std::string::npos);
    NifFile out;
    ASSERT_EQ(out.Load(dir.Path("game.nif").string()), 0);
    EXPECT_EQ(out.header.userVersion, 12u);
    const NiGeometry* boots = out.FindShapeByName("Boots");
    ASSERT_NE(boots, nullptr);
    EXPECT_GE(boots->alphaProperty, 0);
    // --no-alpha adds none: the hands keep the alpha property of their Blender export.
    EXPECT_EQ(out.BlockAs<NiAlphaProperty>(out.FindShapeByName("Hands")->alphaProperty)->threshold,
              96);
    EXPECT_EQ(out.BlockAs<NiAlphaProperty>(boots->alphaProperty)->threshold, 128);
    std::vector<std::string> shapes;
    out.GetShapeNames(shapes);
    EXPECT_EQ(shapes, (std::vector<std::string>{"Body", "Hands", "Boots"}));
}

TEST(CliClean, RestoresFromTheOriginalAndNeverWritesIt) {
    TempDir dir;
    const std::string orig = Quoted(dir.Path("orig.nif")), blend = Quoted(dir.Path("blend.nif"));
    ASSERT_EQ(
        RunCli("clean " + Samples(kSampleMeshName) + " --library " + Samples(kSampleLibraryName) +
               " -o " + orig + " --assign Body=SkinBody --assign 'Hands=Hair (A)'")
            .exitCode,
        0);
    ASSERT_EQ(RunCli("to-blender " + orig + " -o " + blend).exitCode, 0);

    CliRun run = RunCli("clean " + blend + " --restore-from " + orig + " --library " +
                        Samples(kSampleLibraryName) + " --assign Hands=Metal -o " +
                        Quoted(dir.Path("out.nif")));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("restored: shape \"Body\": shader (1 BSLightingShaderProperty, 1 "
                           "BSShaderTextureSet)"),
              std::string::npos)
        << run.out;
    NifFile original, out, library;
    ASSERT_EQ(original.Load(dir.Path("orig.nif").string()), 0);
    ASSERT_EQ(out.Load(dir.Path("out.nif").string()), 0);
    ASSERT_EQ(library.Load(SamplePath(kSampleLibraryName).string()), 0);
    auto textures = [](const NifFile& f, const BSLightingShaderProperty* shader) {
        return BodyBytes(*f.Block(shader->textureSet), f.Form());
    };
    auto shaderOf = [](const NifFile& f, const char* shape) {
        return f.BlockAs<BSLightingShaderProperty>(f.FindShapeByName(shape)->shaderProperty);
    };
    // Body and Feet wear their original shaders (and Body its alpha), Hands the one assigned.
    for (const char* shape : {"Body", "Feet"})
        EXPECT_EQ(textures(out, shaderOf(out, shape)),
                  textures(original, shaderOf(original, shape)));
    EXPECT_EQ(textures(out, shaderOf(out, "Hands")),
              textures(library, library.FindShaderByName("Metal")));
    EXPECT_EQ(out.FindShapeByName("Hands")->alphaProperty, kNoBlock);  // nothing of the original
    EXPECT_EQ(out.CheckConsistency(), "");

    const Bytes before = ReadFileBytes(dir.Path("orig.nif"));
    CliRun over = RunCli("clean " + blend + " --restore-from " + orig + " -o " + orig);
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_NE(over.out.find("refusing to write"), std::string::npos) << over.out;
    EXPECT_EQ(ReadFileBytes(dir.Path("orig.nif")), before);

    for (const std::string& usage : {"clean " + blend + " -o " + Quoted(dir.Path("x.nif")),
                                     "clean " + blend + " --restore-from " + orig +
                                         " --assign Body=Metal -o " + Quoted(dir.Path("x.nif"))}) {
        EXPECT_EQ(RunCli(usage).exitCode, 2) << usage;
    }
    EXPECT_FALSE(fs::exists(dir.Path("x.nif")));
}

TEST(CliClean, UsageErrors) {
    TempDir dir;
    const std::string mesh = Samples(kSampleMeshName),
                      lib = " --library " + Samples(kSampleLibraryName);
    const std::string cases[] = {
        "clean " + mesh + lib,                            // no output option
        "clean " + mesh + lib + " -o a.nif --test-mode",  // two output options
        "clean " + mesh + " " + mesh + lib + " -o " +
            Quoted(dir.Path("x.nif")),  // -o with two inputs
        "clean " + mesh + " " + mesh + lib + " --output-dir " + Quoted(dir.Root()),  // same names
        "clean " + mesh + lib + " -o " + Quoted(dir.Path("x.nif")) +
            " --assign Body=Velvet",  // no such shader
        "clean " + mesh + lib + " -o " + Quoted(dir.Path("x.nif")) +
            " --assign Body",                                  // not NAME=NAME
        "clean " + mesh + " -o " + Quoted(dir.Path("x.nif")),  // no library
        "to-blender " + mesh + " " + mesh + " -o " + Quoted(dir.Path("x.nif")),
    };
    for (const std::string& args : cases) {
        CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << args << "\n" << run.out;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root()), fs::directory_iterator()), 0);
    for (const char* command : {"clean", "to-blender", "shapes", "shaders"}) {
        EXPECT_EQ(RunCli(std::string(command) + " --help").exitCode, 0) << command;
    }
}

TEST(CliToBlender, WritesBlendBesideEachInput) {
    TempDir dir;
    fs::create_directory(dir.Path("sub"));
    ASSERT_EQ(RunCli("clean " + Samples(kSampleMeshName) + " --library " +
                     Samples(kSampleLibraryName) + " -o " + Quoted(dir.Path("sub/game.nif")))
                  .exitCode,
              0);
    CliRun run = RunCli("to-blender " + Quoted(dir.Path("sub/game.nif")));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    NifFile back;
    ASSERT_EQ(back.Load(dir.Path("sub/blend_game.nif").string()), 0);
    EXPECT_EQ(back.header.userVersion, 11u);
    EXPECT_EQ(back.CheckConsistency(), "");

    // A refused input (a block of an unknown type, whose references removals would break)
    // fails its line; the summary counts it.
    NifFile unknown = MakeSampleMesh();
    AppendOpaque(unknown, "BSFutureThing");
    ASSERT_EQ(unknown.Save(dir.Path("sub/unknown.nif").string()), 0);
    CliRun refused = RunCli("to-blender " + Quoted(dir.Path("sub/unknown.nif")) + " " +
                            Samples(kSampleMeshName) + " --output-dir " + Quoted(dir.Root()));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("1 BSFutureThing"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("1 converted, 1 failed"), std::string::npos) << refused.out;
}

TEST(CliNames, ShapesAndShaders) {
    CliRun shapes = RunCli("shapes " + Samples(kSampleMeshName));
    EXPECT_EQ(shapes.exitCode, 0);
    EXPECT_EQ(shapes.out, "Body\nHands\nFeet\n");
    CliRun shaders = RunCli("shaders " + Samples(kSampleLibraryName));
    EXPECT_EQ(shaders.out.substr(0, 18), "SkinBody\nSkinHands");
    EXPECT_EQ(RunCli("shapes /nonexistent.nif").exitCode, 1);
}

// Each run starts two processes; under the address sanitizer a start costs a third of a
// second, so that build takes fewer rounds (the race itself is the same).
#if defined(PELLMAR_TEST_ASAN)
constexpr int kRaceRounds = 40;
#else
constexpr int kRaceRounds = 200;
#endif

TEST(WriteRaces, EveryRunReportingSuccessLeftACompleteFile) {
    TempDir dir;
    // Two conversions with different results into one output, started together, many times.
    const std::string run = std::string(PELLMAR_CLI) + " clean " + Samples(kSampleMeshName) +
                            " --library " + Samples(kSampleLibraryName) + " -o ";
    const std::string one = run + "\"$out\"", two = run + "\"$out\" --rename Feet=Boots";
    ASSERT_EQ(RunShell("cd " + Quoted(dir.Root()) + " && out=one.nif && " + one +
                       " >/dev/null && out=two.nif && " + two + " >/dev/null")
                  .exitCode,
              0);
    const CliRun rounds =
        RunShell("cd " + Quoted(dir.Root()) + " && mkdir rounds && out=out.nif && for i in $(seq " +
                 std::to_string(kRaceRounds) + "); do " + one + " >/dev/null & " + two +
                 " >/dev/null; b=$?; wait $!; a=$?; " +
                 "[ $a -eq 0 ] && [ $b -eq 0 ] || echo \"round $i: exit codes $a $b\"; " +
                 "cp out.nif rounds/$i.nif; done");
    ASSERT_EQ(rounds.exitCode, 0) << rounds.out;
    EXPECT_EQ(rounds.out, "") << "every run succeeds";
    const Bytes first = ReadFileBytes(dir.Path("one.nif")),
                second = ReadFileBytes(dir.Path("two.nif"));
    ASSERT_NE(first, second);
    size_t complete = 0;
    for (const auto& e : fs::directory_iterator(dir.Path("rounds"))) {
        const Bytes b = ReadFileBytes(e.path());
        complete += b == first || b == second;
    }
    EXPECT_EQ(complete, static_cast<size_t>(kRaceRounds));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.Root())) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"one.nif", "out.nif", "rounds", "two.nif"}));
}

TEST(InputProtection, BatchesCheckEveryOutputAgainstEveryInputFirst) {
    TempDir dir;
    NifFile game;
    ASSERT_EQ(RunCli("clean " + Samples(kSampleMeshName) + " --library " +
                     Samples(kSampleLibraryName) + " -o " + Quoted(dir.Path("a.nif")))
                  .exitCode,
              0);
    fs::copy_file(dir.Path("a.nif"), dir.Path("blend_a.nif"));
    const Bytes before = ReadFileBytes(dir.Path("blend_a.nif"));
    // a.nif's output would be the later input blend_a.nif; and the reverse order.
    for (const char* order : {"a.nif blend_a.nif", "blend_a.nif a.nif"}) {
        CliRun run =
            RunShell("cd " + Quoted(dir.Root()) + " && " + PELLMAR_CLI + " to-blender " + order);
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_NE(run.out.find("a.nif: failed: refusing to write blend_a.nif, which is the "
                               "input blend_a.nif of this run"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("1 converted, 1 failed"), std::string::npos) << run.out;
        EXPECT_EQ(ReadFileBytes(dir.Path("blend_a.nif")), before);
        EXPECT_TRUE(fs::exists(dir.Path("blend_blend_a.nif")));
    }

    // Test mode on the game's own body mesh, under another name of the same file.
    const fs::path bodies = dir.Path("Data/meshes/actors/character/character assets");
    fs::create_directories(bodies);
    fs::copy_file(dir.Path("a.nif"), bodies / "femalebody_1.nif");
    fs::create_hard_link(bodies / "femalebody_1.nif", dir.Path("linked.nif"));
    for (const fs::path& input : {bodies / "femalebody_1.nif", dir.Path("linked.nif")}) {
        CliRun run = RunCli("clean " + Quoted(input) + " --library " + Samples(kSampleLibraryName) +
                            " --test-mode --data-path " + Quoted(dir.Path("Data")));
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_NE(run.out.find("refusing to write over the input itself"), std::string::npos)
            << run.out;
        EXPECT_EQ(ReadFileBytes(bodies / "femalebody_1.nif"), ReadFileBytes(dir.Path("a.nif")));
        EXPECT_EQ(std::distance(fs::directory_iterator(bodies), fs::directory_iterator()), 1);
    }
}

TEST(OddPaths, CleanRefusesAConfigThatIsNoFileAndTestModeWithoutDataFolder) {
    TempDir dir;
    fs::create_directory(dir.Path("folder.xml"));
    ASSERT_EQ(mkfifo(dir.Path("fifo.xml").c_str(), 0600), 0);
    const std::string clean =
        "clean " + Samples(kSampleMeshName) + " --library " + Samples(kSampleLibraryName);
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {" -o out.nif --config folder.xml", "--config 'folder.xml' is not a regular file"},
        {" -o out.nif --config fifo.xml", "--config 'fifo.xml' is not a regular file"},
        {" -o out.nif --config missing.xml", "--config 'missing.xml' does not exist"},
        {" --test-mode", "give it with --data-path"},
        {" --test-mode --data-path ''", "give it with --data-path"},
        {" --test-mode --data-path Dat", "the Data folder 'Dat/' is not a folder"},
        {" --test-mode --data-path folder.xml/x", "writes only into an existing one"},
    };
    for (const Case& c : cases) {
        // HOME without Steam's folders: no Data folder is found.
        CliRun run = RunShell("cd " + Quoted(dir.Root()) + " && HOME=. timeout 60 " + PELLMAR_CLI +
                              " " + clean + c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root()), fs::directory_iterator()), 2)
        << "nothing written";
}

TEST(CliConvert, EditionsBothWaysInParallelBatches) {
    TempDir dir;
    fs::create_directories(dir.Path("le"));
    fs::create_directories(dir.Path("back"));
    const std::string library = " --library " + Samples(kSampleLibraryName);
    ASSERT_TRUE(CleanForBothEditions(dir));
    // Cleaning for the original edition and converting equals cleaning for the Special Edition.
    ASSERT_EQ(RunCli("convert " + Quoted(dir.Path("le.nif")) + " --to se -o " +
                     Quoted(dir.Path("converted.nif")))
                  .exitCode,
              0);
    EXPECT_EQ(ReadFileBytes(dir.Path("converted.nif")), ReadFileBytes(dir.Path("se.nif")));

    // A batch on two threads: lines in input order, failures reported, the rest converted.
    std::string inputs;
    for (int i = 0; i < 6; ++i) {
        fs::copy_file(dir.Path("se.nif"), dir.Path("se" + std::to_string(i) + ".nif"));
        inputs += " " + Quoted(dir.Path("se" + std::to_string(i) + ".nif"));
        if (i == 2) inputs += " " + Quoted(dir.Path("missing.nif"));
    }
    CliRun run =
        RunCli("convert" + inputs + " --to le --jobs 2 --output-dir " + Quoted(dir.Path("le")));
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find("6 converted, 1 failed"), std::string::npos) << run.out;
    EXPECT_LT(run.out.find("se2.nif ->"), run.out.find("missing.nif: failed"));
    EXPECT_LT(run.out.find("missing.nif: failed"), run.out.find("se3.nif ->"));
    CliRun back = RunCli("convert " + Quoted(dir.Path("le/se0.nif")) + " --to se --output-dir " +
                         Quoted(dir.Path("back")));
    EXPECT_EQ(back.exitCode, 0) << back.out;
    EXPECT_EQ(ReadFileBytes(dir.Path("back/se0.nif")), ReadFileBytes(dir.Path("se.nif")));

    const std::string se = Quoted(dir.Path("se.nif"));
    for (const std::string& args :
         {"convert " + se + " --to le", "convert " + se + " --to xx -o " + se + "2",
          "convert " + se + " --to le --jobs 0 -o " + se + "2",
          "clean " + se + library + " --form ae -o " + se + "2"})
        EXPECT_EQ(RunCli(args).exitCode, 2) << args;
    CliRun self = RunCli("convert " + se + " --to le -o " + se);
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_NE(self.out.find("refusing to write over the input itself"), std::string::npos);
    CliRun blender =
        RunCli("convert " + Samples(kSampleMeshName) + " --to se -o " + Quoted(dir.Path("x.nif")));
    EXPECT_NE(blender.out.find("Blender export"), std::string::npos) << blender.out;
    EXPECT_FALSE(fs::exists(dir.Path("x.nif")));
}

// diff of two meshes: the same mesh in the two editions agrees on its geometry, an edited one
// differs, and a file that does not load is a usage error.
TEST(CliDiff, ComparesMeshesOfAnyFormAsTextAndJson) {
    TempDir dir;
    const std::string library = " --library " + Samples(kSampleLibraryName);
    ASSERT_TRUE(CleanForBothEditions(dir));
    const std::string pair = Quoted(dir.Path("le.nif")) + " " + Quoted(dir.Path("se.nif"));
    CliRun geometry = RunCli("diff --geometry " + pair);
    EXPECT_EQ(geometry.exitCode, 0) << geometry.out;
    EXPECT_NE(geometry.out.find("the meshes agree"), std::string::npos);
    // Without --geometry the block types differ between the editions.
    CliRun all = RunCli("diff --json " + pair);
    EXPECT_EQ(all.exitCode, 1) << all.out;
    const nlohmann::json doc = nlohmann::json::parse(all.out);
    EXPECT_FALSE(doc["same"].get<bool>());
    EXPECT_EQ(doc["shapes"].size(), 3u);
    EXPECT_EQ(doc["shapes"][0]["vertices"][1], doc["shapes"][0]["vertices"][0]);
    EXPECT_TRUE(doc["shapes"][0]["differences"].empty());
    EXPECT_FALSE(doc["blockTypes"].empty());

    NifFile moved;
    ASSERT_EQ(moved.Load(dir.Path("le.nif").string()), 0);
    moved.BlockAs<NiTriShapeData>(moved.FindShapeByName("Feet")->data)->vertices[2].z += 1;
    WriteFileBytes(dir.Path("moved.nif"), SaveBytes(moved));
    CliRun differs = RunCli("diff --geometry " + Quoted(dir.Path("le.nif")) + " " +
                            Quoted(dir.Path("moved.nif")));
    EXPECT_EQ(differs.exitCode, 1);
    EXPECT_NE(differs.out.find("shape \"Feet\": positions: 1 of"), std::string::npos)
        << differs.out;

    // Collision is no part of the geometry: a mesh without its collision (what To Blender
    // leaves of a mesh whose collision types the Blender form lacks) agrees on its geometry.
    WriteFileBytes(dir.Path("box.nif"), SaveBytes(MakeSkinnedMesh(300, 12, 83, 100, true)));
    WriteFileBytes(dir.Path("bare.nif"), SaveBytes(MakeSkinnedMesh(300, 12, 83, 100, false)));
    const std::string boxes = Quoted(dir.Path("box.nif")) + " " + Quoted(dir.Path("bare.nif"));
    CliRun shapesOnly = RunCli("diff --geometry " + boxes);
    EXPECT_EQ(shapesOnly.exitCode, 0) << shapesOnly.out;
    CliRun withCollision = RunCli("diff " + boxes);
    EXPECT_EQ(withCollision.exitCode, 1) << withCollision.out;
    EXPECT_NE(withCollision.out.find("the second file has none"), std::string::npos)
        << withCollision.out;
    EXPECT_EQ(RunCli("diff " + pair + " " + pair).exitCode, 2);
    EXPECT_EQ(RunCli("diff " + Quoted(dir.Path("le.nif")) + " /nonexistent.nif").exitCode, 2);
}

// Special Edition shapes are shapes for every command: info lists them, clean renames them.
TEST(CliSpecialEdition, InfoListsAndCleanRenamesPackedShapes) {
    TempDir dir;
    const std::string library = " --library " + Samples(kSampleLibraryName);
    ASSERT_TRUE(CleanForBothEditions(dir));
    CliRun info = RunCli("info --json " + Quoted(dir.Path("se.nif")));
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(info.out)["shapes"], (nlohmann::json{"Body", "Hands", "Feet"}));
    CliRun clean = RunCli("clean " + Quoted(dir.Path("se.nif")) + library + " --rename Feet=Boots" +
                          " -o " + Quoted(dir.Path("renamed.nif")));
    ASSERT_EQ(clean.exitCode, 0) << clean.out;
    CliRun shapes = RunCli("shapes " + Quoted(dir.Path("renamed.nif")));
    EXPECT_EQ(shapes.out, "Body\nHands\nBoots\n");
}
