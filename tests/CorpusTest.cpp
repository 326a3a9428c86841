// Real files and the samples write back identically.
#include <gtest/gtest.h>

#include "NifFile.h"
#include "ResultCodes.h"
#include "RoundTrip.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

void ExpectRoundTrip(const std::filesystem::path& path) {
    SCOPED_TRACE(path.string());
    const Bytes input = ReadFileBytes(path);
    NifFile f;
    ASSERT_EQ(f.Load(path.string()), rc::kOk) << f.LastError();
    EXPECT_EQ(f.CheckConsistency(), "");
    const Bytes output = SaveBytes(f);
    const RoundTripReport report =
        CompareRoundTrip(input, std::string(output.begin(), output.end()));
    EXPECT_TRUE(report.identicalAfterRewrites) << "first difference at " << report.firstDifference;
}

}  // namespace

TEST(Corpus, EveryFileWritesBack) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (const auto& path : files) ExpectRoundTrip(path);
}

TEST(Corpus, SamplesWriteBack) {
    ExpectRoundTrip(SamplePath(kSampleMeshName));
    ExpectRoundTrip(SamplePath(kSampleLibraryName));
}

TEST(RoundTrip, NamesTheRewritesThatExplainADifference) {
    const Bytes clean = SaveBytes(MakeBodyMesh(true));
    const std::string cleanText(clean.begin(), clean.end());
    EXPECT_TRUE(CompareRoundTrip(clean, cleanText).identical);

    // The creator text with a terminating zero counted, and another footer.
    NifFile f = MakeBodyMesh(true);
    Bytes input = clean;
    const size_t creator = 56;
    ASSERT_EQ(input[creator], f.header.creator.size());
    input[creator] += 1;
    input.insert(input.begin() + static_cast<long>(creator + 1 + f.header.creator.size()), 0);
    input[input.size() - 4] = 5;
    const RoundTripReport report = CompareRoundTrip(input, cleanText);
    EXPECT_TRUE(report.identicalAfterRewrites);
    EXPECT_EQ(report.rewrites,
              (std::vector<std::string>{"export-info terminator dropped", "footer rewritten"}));

    Bytes changed = input;
    changed[clean.size() - 200] ^= 1;
    const RoundTripReport bad = CompareRoundTrip(changed, cleanText);
    EXPECT_FALSE(bad.identicalAfterRewrites);
    EXPECT_EQ(bad.firstDifference, clean.size() - 200);
}
