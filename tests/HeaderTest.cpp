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

// Only a file that opens with the header line of version 20.2.0.7, that version's number and a
// little-endian mark is read, and those first bytes are checked before anything else.
TEST(Header, OnlyTheLineAndNumberOfThisVersionOpenAFile) {
    const Bytes good = WithFooter(HeaderBytes(HeaderSpec{}));
    auto with = [&](size_t at, const Bytes& patch) {
        Bytes b = good;
        std::copy(patch.begin(), patch.end(), b.begin() + static_cast<long>(at));
        return b;
    };
    auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* mention;
    };
    const Case cases[] = {
        {"zeros", Bytes(4096, 0), "not a NIF file: it does not start with the line 'Gamebryo"},
        {"nothing", Bytes{}, "not a NIF file"},
        {"a text", text("Hello, this is not a mesh at all, but a text file.\n"), "not a NIF file"},
        {"a line cut short", Bytes(good.begin(), good.begin() + 20), "not a NIF file"},
        {"another version", with(30, text("20.0.0.5")),
         "another version ('Gamebryo File Format, Version 20.0.0.5')"},
        {"an older format", text("NetImmerse File Format, Version 4.0.0.2\n\0\0\0\0"),
         "another version ('NetImmerse File Format, Version 4.0.0.2')"},
        {"the number of another version", with(39, {5, 0, 0, 20}),
         "the version at byte offset 39 is 20.0.0.5"},
        {"big-endian numbers", with(43, {0}), "big-endian (endian byte 0 at byte offset 43)"},
        {"nothing after the line", Bytes(good.begin(), good.begin() + 39),
         "ends after its header line"},
    };
    const TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(dir.Path("file.nif"), c.bytes);
        NifFile fromBytes, fromFile;
        EXPECT_EQ(fromBytes.LoadFromMemory(c.bytes), rc::kMalformed);
        EXPECT_EQ(fromFile.Load(dir.Path("file.nif").string()), rc::kMalformed);
        EXPECT_EQ(fromFile.LastError(), fromBytes.LastError());
        EXPECT_NE(fromBytes.LastError().find(c.mention), std::string::npos)
            << fromBytes.LastError();
        EXPECT_TRUE(fromBytes.blocks.empty());
    }
    // The line feed may be any white space, as before.
    Bytes spaced = good;
    spaced[38] = ' ';
    EXPECT_EQ(LoadBytes(spaced).header.userVersion, 12u);
}
