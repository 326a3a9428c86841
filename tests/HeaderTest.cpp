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

// The footer of a file without blocks: no roots.
Bytes WithFooter(Bytes bytes) {
    bytes.insert(bytes.end(), 4, 0);
    return bytes;
}

}  // namespace

TEST(Header, TextsWriteBackByteForByte) {
    // Terminating zeros, embedded zeros and empty table entries are all kept; only the display
    // cuts a text at its first zero.
    HeaderSpec terminated, embedded;
    terminated.exportInfo = {{8, 'P', 'e', 'l', 'l', 'm', 'a', 'r', 0}, {1, 0}, {1, 0}};
    embedded.exportInfo = {{3, 'a', 0, 'b'}, {1, 0}, {2, 0, 0}};
    embedded.types = {std::string("NiNode\0junk", 11), ""};
    embedded.strings = {"", std::string("\0", 1)};
    const std::pair<HeaderSpec, const char*> cases[] = {
        {HeaderSpec{}, "abc"}, {terminated, "Pellmar"}, {embedded, "a"}};
    for (const auto& [layout, creator] : cases) {
        const Bytes bytes = WithFooter(HeaderBytes(layout));
        NifFile f = LoadBytes(bytes);
        EXPECT_EQ(SaveBytes(f), bytes) << creator;
        EXPECT_EQ(NifBlockHeader::Display(f.header.creator), creator);
        EXPECT_EQ(f.header.creator.size() + 1, layout.exportInfo[0].size());
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
