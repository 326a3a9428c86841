// Damaged files: every prefix of small fixtures (loaded from bytes and from a file), and every
// byte set to 0x00, to 0xFF and flipped in its top bit. Each either loads into a file that writes
// back identically (or, with a damaged reference, refuses to be written), or is refused as
// malformed; nothing crashes, hangs or allocates from a bogus count.
#include <gtest/gtest.h>

#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

void ExpectLoadsSafely(const Bytes& bytes, const std::string& what) {
    NifFile f;
    const int result = f.LoadFromMemory(bytes);
    if (result != rc::kOk) {
        ASSERT_EQ(result, rc::kMalformed) << what;
        ASSERT_FALSE(f.LastError().empty()) << what;
        ASSERT_TRUE(f.blocks.empty()) << what;
        return;
    }
    const std::string problem = f.CheckConsistency();
    // A damaged reference (out of range or of the wrong family) loads, as references are not
    // validated on load, but is never written.
    ASSERT_TRUE(problem.empty() || problem.find(" refers to ") != std::string::npos)
        << what << ": " << problem;
    std::string written;
    ASSERT_EQ(f.SaveToMemory(written), problem.empty() ? rc::kOk : rc::kInconsistent) << what;
    // What loads and is consistent writes back byte for byte, up to its footer (a damaged
    // root count leaves bytes after the footer, which are counted and not kept).
    if (problem.empty()) {
        ASSERT_LE(f.TrailingBytes(), bytes.size()) << what;
        const Bytes kept(bytes.begin(), bytes.end() - static_cast<long>(f.TrailingBytes()));
        ASSERT_EQ(Bytes(written.begin(), written.end()), kept) << what;
        ASSERT_TRUE(f.TrailingBytes() == 0 || !f.Warnings().empty()) << what;
    }
}

// Loading a file reads it block by block; loading bytes reads them in place: both give the
// same result and the same message.
void ExpectFileLoadsLikeBytes(const Bytes& bytes, const TempDir& dir, const std::string& what) {
    const auto path = dir.Path("damaged.nif");
    WriteFileBytes(path, bytes);
    NifFile fromFile, fromBytes;
    const int fileResult = fromFile.Load(path.string());
    ASSERT_EQ(fileResult, fromBytes.LoadFromMemory(bytes)) << what;
    ASSERT_EQ(fromFile.LastError(), fromBytes.LastError()) << what;
    if (fileResult == rc::kOk) {
        ASSERT_EQ(SaveBytes(fromFile), SaveBytes(fromBytes)) << what;
    }
}

void MutateEverything(const Bytes& fixture) {
    ASSERT_LE(fixture.size(), 2048u);
    const TempDir dir;
    for (size_t n = 0; n < fixture.size(); ++n) {
        const Bytes prefix(fixture.begin(), fixture.begin() + static_cast<long>(n));
        ExpectLoadsSafely(prefix, "prefix " + std::to_string(n));
        ExpectFileLoadsLikeBytes(prefix, dir, "prefix " + std::to_string(n));
    }
    for (size_t i = 0; i < fixture.size(); ++i) {
        for (int variant = 0; variant < 3; ++variant) {
            Bytes damaged = fixture;
            damaged[i] = variant == 0   ? 0x00
                         : variant == 1 ? 0xFF
                                        : static_cast<uint8_t>(damaged[i] ^ 0x80);
            ExpectLoadsSafely(
                damaged, "offset " + std::to_string(i) + " variant " + std::to_string(variant));
        }
    }
}

}  // namespace

TEST(Mutation, BlenderFormMesh) {
    MutateEverything(SaveBytes(MakeBodyMesh(true)));
}

TEST(Mutation, GameFormLibrary) {
    MutateEverything(SaveBytes(MakeSampleLibrary()));
}

TEST(Mutation, CorpusFilesUpTo2KB) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (const auto& path : files) {
        const Bytes bytes = ReadFileBytes(path);
        if (bytes.size() <= 2048) MutateEverything(bytes);
    }
}
