// pellmar-cli run as a process, as scripts run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "NifBlockTriShape.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

struct CliRun {
    int exitCode;
    std::string out;
};

CliRun RunCli(const std::string& args) {
    const std::string command = std::string(PELLMAR_CLI) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

TEST(CliCheck, GoodBadAndRewrittenFiles) {
    TempDir dir;
    const Bytes good = SaveBytes(MakeBodyMesh(true));
    WriteFileBytes(dir.Path("good.nif"), good);
    WriteFileBytes(dir.Path("cut.nif"), Bytes(good.begin(), good.begin() + 300));
    Bytes rewritten = good;
    rewritten.resize(rewritten.size() - 8);  // no footer
    WriteFileBytes(dir.Path("nofooter.nif"), rewritten);

    CliRun ok = RunCli("check " + Quoted(dir.Path("good.nif")) + " " + Quoted(SamplePath(kSampleLibraryName)));
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    EXPECT_NE(ok.out.find("good.nif: ok, 17 blocks, 3 shapes, writes back identically\n"), std::string::npos) << ok.out;

    CliRun footer = RunCli("check " + Quoted(dir.Path("nofooter.nif")));
    EXPECT_EQ(footer.exitCode, 0) << footer.out;
    EXPECT_NE(footer.out.find("writes back identically after rewrites (footer rewritten)"), std::string::npos);

    CliRun mixed = RunCli("check " + Quoted(dir.Path("cut.nif")) + " " + Quoted(dir.Path("good.nif")) + " " +
                       Quoted(dir.Path("missing.nif")));
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
