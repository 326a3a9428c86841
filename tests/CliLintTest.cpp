// pellmar-cli lint and repair as processes: the JSON read back, exit codes, outputs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "Geometry.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

std::pair<int, std::string> Cli(const std::string& args) {
    const std::string command = "(timeout 60 " + std::string(PELLMAR_CLI) + " " + args + ") 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Q(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

}  // namespace

TEST(CliLint, JsonRepairAndExitCodes) {
    TempDir dir;
    // Clean without repairs, then let the feet share the body's shader: an error.
    auto [cleanCode, cleanOut] =
        Cli("clean " + Q(SamplePath(kSampleMeshName)) + " --library " +
            Q(SamplePath(kSampleLibraryName)) + " --no-repair -o " + Q(dir.Path("raw.nif")));
    ASSERT_EQ(cleanCode, 0) << cleanOut;
    NifFile f = LoadBytes(ReadFileBytes(dir.Path("raw.nif")));
    const BlockRef shared = f.FindShapeByName("Body")->shaderProperty;
    f.FindShapeByName("Feet")->shaderProperty = shared;
    ASSERT_EQ(f.Save(dir.Path("bad.nif").string()), rc::kOk);

    auto [code, out] = Cli("lint --json " + Q(dir.Path("bad.nif")) + " " +
                           Q(SamplePath(kSampleLibraryName)) + " " + Q(dir.Path("none.nif")));
    EXPECT_EQ(code, 2) << out;  // a file that does not load
    const nlohmann::json doc = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << out;
    const nlohmann::json& files = doc["files"];
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0]["errors"], 1);
    EXPECT_EQ(files[0]["warnings"], 1);  // the hands' vertex colours, unflagged
    bool found = false;
    for (const auto& finding : files[0]["findings"]) {
        if (finding["rule"] != "shared-shader") continue;
        found = true;
        EXPECT_EQ(finding["severity"], "error");
        EXPECT_EQ(finding["block"], shared);
        EXPECT_EQ(finding["type"], "BSLightingShaderProperty");
        EXPECT_EQ(finding["shape"], "Body");
        EXPECT_NE(finding["message"].get<std::string>().find("Creation Kit"), std::string::npos);
    }
    EXPECT_TRUE(found) << out;
    EXPECT_EQ(files[1]["findings"].size(), 0u);
    EXPECT_NE(files[2]["error"].get<std::string>().find("does not exist"), std::string::npos);

    auto [textCode, text] = Cli("lint " + Q(dir.Path("bad.nif")));
    EXPECT_EQ(textCode, 1);
    EXPECT_NE(text.find("bad.nif: block " + std::to_string(shared) +
                        " BSLightingShaderProperty \"Body\": shared-shader (error): "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("bad.nif: 1 error, 1 warning, 0 notes\n"), std::string::npos) << text;

    // Repair: only what was asked, then everything; a second repair copies the file unchanged.
    auto [onlyCode, onlyOut] = Cli("repair " + Q(dir.Path("bad.nif")) +
                                   " --only shared-shader -o " + Q(dir.Path("a.nif")));
    EXPECT_EQ(onlyCode, 0) << onlyOut;
    EXPECT_EQ(Cli("lint " + Q(dir.Path("a.nif"))).first, 0);
    EXPECT_NE(Cli("lint " + Q(dir.Path("a.nif"))).second.find("vertex-color-flag"),
              std::string::npos);
    auto [fixCode, fixOut] =
        Cli("repair " + Q(dir.Path("bad.nif")) + " -o " + Q(dir.Path("b.nif")));
    EXPECT_EQ(fixCode, 0) << fixOut;
    EXPECT_NE(fixOut.find("repaired: shared-shader: shape \"Feet\" got its own copy"),
              std::string::npos)
        << fixOut;
    EXPECT_NE(Cli("lint " + Q(dir.Path("b.nif"))).second.find("0 errors, 0 warnings, 0 notes"),
              std::string::npos);
    // The output folder is made as needed.
    auto [againCode, againOut] =
        Cli("repair " + Q(dir.Path("b.nif")) + " --output-dir " + Q(dir.Path("out")));
    EXPECT_EQ(againCode, 0) << againOut;
    EXPECT_NE(againOut.find("nothing to repair"), std::string::npos) << againOut;
    EXPECT_EQ(ReadFileBytes(dir.Path("out/b.nif")), ReadFileBytes(dir.Path("b.nif")));

    // Refusals: its own input, unknown rules and rules without a repair, no output.
    const Bytes before = ReadFileBytes(dir.Path("bad.nif"));
    EXPECT_EQ(Cli("repair " + Q(dir.Path("bad.nif")) + " -o " + Q(dir.Path("bad.nif"))).first, 1);
    EXPECT_EQ(ReadFileBytes(dir.Path("bad.nif")), before);
    for (const char* args : {" --only bogus -o x.nif", " --only no-normals -o x.nif", ""}) {
        auto [usage, message] = Cli("repair " + Q(dir.Path("bad.nif")) + args);
        EXPECT_EQ(usage, 2) << args << message;
    }
    EXPECT_EQ(Cli("lint").first, 2);
}
