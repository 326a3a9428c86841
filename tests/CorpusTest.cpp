// Real files and the samples write back identically.
#include <gtest/gtest.h>

#include "NifFile.h"
#include "ResultCodes.h"
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
    const auto diff = std::mismatch(input.begin(), input.end(), output.begin(), output.end());
    EXPECT_TRUE(output == input) << "first difference at byte offset "
                                 << (diff.first - input.begin());
}

}  // namespace

TEST(Corpus, EveryFileWritesBackIdentically) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (const auto& path : files) ExpectRoundTrip(path);
}

TEST(Corpus, SamplesWriteBackIdentically) {
    ExpectRoundTrip(SamplePath(kSampleMeshName));
    ExpectRoundTrip(SamplePath(kSampleLibraryName));
}
