#include <gtest/gtest.h>

#include "NifReader.h"
#include "TestSupport.h"

TEST(NifReader, FailsOnceAndThenYieldsZeros) {
    const Bytes bytes = {1, 2, 3};
    NifReader in(bytes.data(), bytes.size(), 100);
    EXPECT_EQ(in.U16(), 0x0201);
    EXPECT_EQ(in.U32(), 0u);
    EXPECT_TRUE(in.Failed());
    EXPECT_NE(in.Error().find("offset 102"), std::string::npos) << in.Error();
    EXPECT_EQ(in.U8(), 0);  // nothing more is consumed
    EXPECT_EQ(in.Position(), 2u);
}

TEST(NifReader, CountsLargerThanTheBytesLeftFail) {
    const Bytes bytes(40, 0);
    struct Case {
        uint64_t count;
        size_t size;
        bool ok;
    };
    const Case cases[] = {{10, 4, true}, {11, 4, false}, {0xFFFFFFFF, 12, false}, {40, 1, true}, {0, 52, true}};
    for (const Case& c : cases) {
        NifReader in(bytes.data(), bytes.size());
        const uint32_t n = in.Count(c.count, c.size, "entry");
        EXPECT_EQ(!in.Failed(), c.ok) << c.count;
        EXPECT_EQ(n, c.ok ? c.count : 0u);
    }
    NifReader in(bytes.data(), bytes.size());
    EXPECT_EQ(in.SignedCount(-5, 4, "entry"), 0u);
    EXPECT_FALSE(in.Failed());
}

TEST(NifReader, SizedStringsAreCutAtZeroAndLimited) {
    const Bytes embedded = ByteBuilder().Sized(std::string("ab\0cd", 5)).Get();
    NifReader a(embedded.data(), embedded.size());
    EXPECT_EQ(a.SizedString("name"), "ab");
    EXPECT_EQ(a.Remaining(), 0u);

    Bytes longest = ByteBuilder().U32(1024).Get();
    longest.resize(4 + 1024, 'x');
    NifReader b(longest.data(), longest.size());
    EXPECT_EQ(b.SizedString("name").size(), 1024u);

    Bytes tooLong = ByteBuilder().U32(1025).Get();
    tooLong.resize(4 + 1025, 'x');
    NifReader c(tooLong.data(), tooLong.size());
    c.SizedString("name");
    EXPECT_TRUE(c.Failed());
    EXPECT_NE(c.Error().find("longer than 1024"), std::string::npos);
}

TEST(NifReader, SubReaderCoversExactlyItsBytes) {
    const Bytes bytes = {1, 2, 3, 4, 5};
    NifReader in(bytes.data(), bytes.size(), 10);
    in.U8();
    NifReader sub = in.Sub(2);
    EXPECT_EQ(sub.Offset(), 11u);
    EXPECT_EQ(sub.U16(), 0x0302);
    EXPECT_EQ(sub.U8(), 0);
    EXPECT_TRUE(sub.Failed());
    EXPECT_EQ(in.U8(), 4);
    in.Sub(5);
    EXPECT_TRUE(in.Failed());
}
