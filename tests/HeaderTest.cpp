#include <gtest/gtest.h>

#include "NifBlockHeader.h"
#include "ResultCodes.h"
#include "TestSupport.h"

namespace {

struct HeaderSpec {
    uint32_t userVersion = 12, userVersion2 = 83;
    std::vector<Bytes> exportInfo = {{3, 'a', 'b', 'c'}, {1, 0}, {1, 0}};
    std::vector<std::string> types = {"NiNode"};
    std::vector<std::string> strings = {"Root"};
    uint32_t groups = 0;
};

// A header of zero blocks, written by hand.
Bytes HeaderBytes(const HeaderSpec& s) {
    ByteBuilder b;
    b.Text("Gamebryo File Format, Version 20.2.0.7").U8(0x0A);
    b.U8(7).U8(0).U8(2).U8(20).U8(1);
    b.U32(s.userVersion).U32(0);
    if (s.userVersion >= 10) {
        b.U32(s.userVersion2);
        for (const Bytes& e : s.exportInfo) {
            for (uint8_t c : e) b.U8(c);
        }
    }
    b.U16(static_cast<uint16_t>(s.types.size()));
    for (const auto& t : s.types) b.Sized(t);
    b.U32(static_cast<uint32_t>(s.strings.size())).U32(4);
    for (const auto& t : s.strings) b.Sized(t);
    b.U32(s.groups);
    return b.Get();
}

Bytes WithFooter(Bytes bytes) {
    for (uint8_t c : {1, 0, 0, 0, 0, 0, 0, 0}) bytes.push_back(c);
    return bytes;
}

}  // namespace

TEST(Header, WritesBackUnchangedWithoutTerminatorsOrEmptyEntries) {
    const Bytes bytes = WithFooter(HeaderBytes({}));
    NifFile f = LoadBytes(bytes);
    EXPECT_EQ(f.header.creator, "abc");
    EXPECT_EQ(f.header.exportInfo1, "");
    EXPECT_EQ(SaveBytes(f), bytes);
}

TEST(Header, TextRewritesOfTheWriter) {
    struct Case {
        const char* what;
        HeaderSpec in, out;
    };
    HeaderSpec terminated, unterminated;
    terminated.exportInfo = {{8, 'P', 'e', 'l', 'l', 'm', 'a', 'r', 0}, {0}, {1, 0}};
    unterminated.exportInfo = {{7, 'P', 'e', 'l', 'l', 'm', 'a', 'r'}, {1, 0}, {1, 0}};
    HeaderSpec embedded = unterminated, cut = unterminated;
    embedded.types = {std::string("NiNode\0junk", 11), ""};
    embedded.strings = {""};
    cut.types = {"NiNode", std::string("\0", 1)};
    cut.strings = {std::string("\0", 1)};
    const Case cases[] = {
        {"terminating zero dropped, empty text padded", terminated, unterminated},
        {"embedded zero cuts, empty entries padded", embedded, cut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifFile f = LoadBytes(WithFooter(HeaderBytes(c.in)));
        EXPECT_EQ(SaveBytes(f), WithFooter(HeaderBytes(c.out)));
        NifFile again = LoadBytes(SaveBytes(f));
        EXPECT_EQ(again.header.blockTypes, f.header.blockTypes);
        EXPECT_EQ(again.header.creator, f.header.creator);
    }
}

TEST(Header, RejectsGroupsAndOverlongNames) {
    HeaderSpec longest;
    longest.strings = {std::string(1024, 'x')};
    EXPECT_EQ(LoadBytes(WithFooter(HeaderBytes(longest))).header.strings[0].size(), 1024u);
    HeaderSpec groups;
    groups.groups = 2;
    HeaderSpec overlong;
    overlong.strings = {std::string(1025, 'x')};
    for (const HeaderSpec& s : {groups, overlong}) {
        NifFile f;
        EXPECT_EQ(f.LoadFromMemory(WithFooter(HeaderBytes(s))), rc::kMalformed);
        EXPECT_NE(f.LastError().find("offset"), std::string::npos) << f.LastError();
        EXPECT_TRUE(f.blocks.empty());
        EXPECT_EQ(f.header.numStrings, 0u);
    }
}

TEST(Header, PlainGamebryoHeaderHasNoBethesdaFields) {
    HeaderSpec plain;
    plain.userVersion = 0;
    const Bytes bytes = WithFooter(HeaderBytes(plain));
    NifFile f = LoadBytes(bytes);
    EXPECT_EQ(f.header.blockTypes, std::vector<std::string>{"NiNode"});
    EXPECT_EQ(SaveBytes(f), bytes);
}

TEST(Header, FindOrAddBlockType) {
    NifBlockHeader h;
    EXPECT_EQ(h.FindOrAddBlockType("NiNode"), 0);
    EXPECT_EQ(h.FindOrAddBlockType("NiTriShape"), 1);
    EXPECT_EQ(h.FindOrAddBlockType("NiNode"), 0);
    EXPECT_EQ(h.FindOrAddBlockType("ninode"), 2);
    EXPECT_EQ(h.numBlockTypes, 3);
    EXPECT_TRUE(h.blockTypeIndex.empty());
}

TEST(Header, OtherFormsLoadOrNameTheirForm) {
    // Skyrim SE's user versions on a file whose blocks still have the game form's layout load
    // and write back; a claimed Fallout 4 header or a plain Gamebryo one does not parse here.
    Bytes bytes = SaveBytes(LoadBytes(ReadFileBytes(SamplePath("ShaderLibrary.nif"))));
    struct Case {
        uint32_t userVersion, userVersion2;
        const char* mention;
    };
    for (const Case& c : {Case{12, 100, nullptr}, Case{12, 130, "12/130 (Fallout 4"},
                          Case{0, 83, "plain Gamebryo"}}) {
        Bytes changed = bytes;
        ByteBuilder versions;
        versions.U32(c.userVersion);
        std::copy(versions.Get().begin(), versions.Get().end(), changed.begin() + 44);
        ByteBuilder second;
        second.U32(c.userVersion2);
        std::copy(second.Get().begin(), second.Get().end(), changed.begin() + 52);
        NifFile f;
        const int result = f.LoadFromMemory(changed);
        if (!c.mention) {
            ASSERT_EQ(result, rc::kOk) << f.LastError();
            EXPECT_EQ(SaveBytes(f), changed);
        } else {
            EXPECT_EQ(result, rc::kMalformed);
            EXPECT_NE(f.LastError().find(c.mention), std::string::npos) << f.LastError();
        }
    }
}
