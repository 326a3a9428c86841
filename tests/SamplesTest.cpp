#include <gtest/gtest.h>

#include "SampleFiles.h"
#include "TestSupport.h"

// The committed sample files are exactly what the generator writes.
TEST(Samples, CommittedFilesMatchTheGenerator) {
    EXPECT_EQ(ReadFileBytes(SamplePath(kSampleMeshName)), SaveBytes(MakeSampleMesh()));
    EXPECT_EQ(ReadFileBytes(SamplePath(kSampleLibraryName)), SaveBytes(MakeSampleLibrary()));
    const std::string config = SampleConfigXml();
    EXPECT_EQ(ReadFileBytes(SamplePath(kSampleConfigName)), Bytes(config.begin(), config.end()));
}
