// pellmar-cli lint and repair as processes: the JSON read back, exit codes, outputs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "Geometry.h"
#include "Lint.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {}  // namespace

TEST(CliLint, JsonRepairAndExitCodes) {
    TempDir dir;
    // Clean without repairs, then let the feet share the body's shader (a warning) and give a
    // body triangle a vertex past the end (an error).
    auto [cleanCode, cleanOut] = RunCli("clean " + Quoted(SamplePath(kSampleMeshName)) +
                                        " --library " + Quoted(SamplePath(kSampleLibraryName)) +
                                        " --no-repair -o " + Quoted(dir.Path("raw.nif")));
    ASSERT_EQ(cleanCode, 0) << cleanOut;
    NifFile f = LoadBytes(ReadFileBytes(dir.Path("raw.nif")));
    const BlockRef shared = f.FindShapeByName("Body")->shaderProperty;
    f.FindShapeByName("Feet")->shaderProperty = shared;
    ASSERT_EQ(f.Save(dir.Path("shared.nif").string()), rc::kOk);
    const BlockRef body = f.FindShapeByName("Body")->data;
    auto& data = *f.BlockAs<NiTriShapeData>(body);
    data.triangles[0].v1 = data.numVertices;
    ASSERT_EQ(f.Save(dir.Path("bad.nif").string()), rc::kOk);

    auto [code, out] = RunCli("lint --json " + Quoted(dir.Path("bad.nif")) + " " +
                              Quoted(SamplePath(kSampleLibraryName)));
    EXPECT_EQ(code, 1) << out;
    const nlohmann::json doc = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << out;
    const nlohmann::json& files = doc["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["errors"], 1);
    // The shared shader, the hands' unflagged colours, the broken triangle in no partition.
    EXPECT_EQ(files[0]["warnings"], 3);
    bool found = false;
    for (const auto& finding : files[0]["findings"]) {
        EXPECT_EQ(finding["file"], dir.Path("bad.nif").string());
        if (finding["rule"] != "shared-shader") continue;
        found = true;
        EXPECT_EQ(finding["severity"], "warning");
        EXPECT_EQ(finding["block"], shared);
        EXPECT_EQ(finding["type"], "BSLightingShaderProperty");
        EXPECT_EQ(finding["shape"], "Body");
        EXPECT_NE(finding["message"].get<std::string>().find("Creation Kit"), std::string::npos);
    }
    EXPECT_TRUE(found) << out;
    EXPECT_EQ(files[1]["findings"].size(), 0u);

    // --severity: the lowest severity shown; the exit code still follows the errors.
    auto [textCode, text] = RunCli("lint --severity error " + Quoted(dir.Path("bad.nif")));
    EXPECT_EQ(textCode, 1);
    EXPECT_NE(text.find("bad.nif: block " + std::to_string(body) +
                        " NiTriShapeData \"Body\": vertex-limit (error): "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("shared-shader"), std::string::npos) << text;
    EXPECT_NE(text.find("bad.nif: 1 error, 0 warnings, 0 notes\n"), std::string::npos) << text;
    EXPECT_EQ(RunCli("lint --severity warning " + Quoted(dir.Path("shared.nif"))).exitCode, 0);
    // A file that does not load is a usage error, as is an unknown severity.
    auto [noneCode, none] = RunCli("lint --json " + Quoted(dir.Path("none.nif")));
    EXPECT_EQ(noneCode, 2);
    EXPECT_NE(none.find("does not exist"), std::string::npos) << none;
    EXPECT_EQ(RunCli("lint --severity fatal " + Quoted(dir.Path("shared.nif"))).exitCode, 2);

    // The rule table for tools.
    auto [rulesCode, rulesOut] = RunCli("lint --rules --json");
    EXPECT_EQ(rulesCode, 0);
    const nlohmann::json rules = nlohmann::json::parse(rulesOut, nullptr, false);
    ASSERT_FALSE(rules.is_discarded()) << rulesOut;
    ASSERT_EQ(rules["rules"].size(), LintRules().size());
    for (size_t i = 0; i < LintRules().size(); ++i) {
        const LintRule& r = LintRules()[i];
        const nlohmann::json& j = rules["rules"][i];
        EXPECT_EQ(j["id"], r.id);
        EXPECT_EQ(j["severity"], SeverityName(r.severity));
        EXPECT_EQ(j["repairable"], r.repairable);
        EXPECT_EQ(j["evidence"], r.evidence);
        EXPECT_EQ(j["description"], r.description);
        EXPECT_EQ(j["effect"], r.effect);
    }

    // Repair: only what was asked, then everything; a second repair copies the file unchanged.
    auto [onlyCode, onlyOut] = RunCli("repair " + Quoted(dir.Path("shared.nif")) +
                                      " --only shared-shader -o " + Quoted(dir.Path("a.nif")));
    EXPECT_EQ(onlyCode, 0) << onlyOut;
    const std::string once = RunCli("lint " + Quoted(dir.Path("a.nif"))).out;
    EXPECT_EQ(once.find("shared-shader"), std::string::npos) << once;
    EXPECT_NE(once.find("vertex-color-flag"), std::string::npos) << once;
    auto [fixCode, fixOut] =
        RunCli("repair " + Quoted(dir.Path("shared.nif")) + " -o " + Quoted(dir.Path("b.nif")));
    EXPECT_EQ(fixCode, 0) << fixOut;
    EXPECT_NE(fixOut.find("repaired: shared-shader: shape \"Feet\" got its own copy"),
              std::string::npos)
        << fixOut;
    EXPECT_NE(RunCli("lint " + Quoted(dir.Path("b.nif"))).out.find("0 errors, 0 warnings, 0 notes"),
              std::string::npos);
    // The output folder is made as needed.
    auto [againCode, againOut] =
        RunCli("repair " + Quoted(dir.Path("b.nif")) + " --output-dir " + Quoted(dir.Path("out")));
    EXPECT_EQ(againCode, 0) << againOut;
    EXPECT_NE(againOut.find("nothing to repair"), std::string::npos) << againOut;
    EXPECT_EQ(ReadFileBytes(dir.Path("out/b.nif")), ReadFileBytes(dir.Path("b.nif")));

    // Refusals: its own input, unknown rules and rules without a repair, no output.
    const Bytes before = ReadFileBytes(dir.Path("shared.nif"));
    EXPECT_EQ(
        RunCli("repair " + Quoted(dir.Path("shared.nif")) + " -o " + Quoted(dir.Path("shared.nif")))
            .exitCode,
        1);
    EXPECT_EQ(ReadFileBytes(dir.Path("shared.nif")), before);
    for (const char* args : {" --only bogus -o x.nif", " --only no-normals -o x.nif", ""}) {
        auto [usage, message] = RunCli("repair " + Quoted(dir.Path("shared.nif")) + args);
        EXPECT_EQ(usage, 2) << args << message;
    }
    EXPECT_EQ(RunCli("lint").exitCode, 2);
}
