// Loading: the factory, and every way a malformed file is refused without touching memory
// beyond its bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "NifBlockTriShape.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

size_t BodyOffset(const NifFile& f, uint32_t block) {
    NifWriter w;
    f.header.Put(w, f.header);
    size_t offset = w.Size();
    for (uint32_t i = 0; i < block; ++i) offset += f.header.blockSizes[i];
    return offset;
}

void Poke32(Bytes& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

}  // namespace

TEST(FileLoad, FactoryChoosesClassesByExactTypeName) {
    NifFile f = MakeBodyMesh(true);
    // Rename the type of the root: a lower-case spelling is not NiNode.
    f.header.blockTypes[f.header.blockTypeIndex[0]] = "ninode";
    NifFile loaded = LoadBytes(SaveBytes(f));
    EXPECT_EQ(loaded.blocks[0]->blockKind, kKindUnknown);
    EXPECT_EQ(loaded.blocks[1]->blockKind, kKindUnknown);  // shares the type entry
    EXPECT_EQ(SaveBytes(loaded), SaveBytes(f));

    NifFile sample = LoadBytes(SaveBytes(MakeBodyMesh(true)));
    std::vector<uint16_t> kinds;
    for (const auto& b : sample.blocks) kinds.push_back(b->blockKind);
    // Alpha, material, specular, stencil, texture set and lighting properties stay opaque.
    for (uint32_t i = 0; i < sample.blocks.size(); ++i) {
        const std::string& type = sample.TypeNameOf(i);
        const bool parsed = type == "NiNode" || type == "NiTriShape" || type == "NiTriShapeData" ||
                            type == "NiSkinData" || type == "NiSkinPartition" ||
                            type == "BSDismemberSkinInstance";
        EXPECT_EQ(kinds[i] != kKindUnknown, parsed) << type;
    }
}

TEST(FileLoad, NodeTypesWithNiNodeBodyAreParsed) {
    for (const char* type : {"BSFadeNode", "BSLeafAnimNode", "RootCollisionNode", "AvoidNode",
                             "NiBSAnimationNode", "NiBSParticleNode"}) {
        NifFile f = MakeBodyMesh(true);
        f.header.blockTypes[f.header.blockTypeIndex[0]] = type;
        NifFile loaded = LoadBytes(SaveBytes(f));
        EXPECT_EQ(loaded.blocks[0]->blockKind, kKindNiNode) << type;
        EXPECT_EQ(loaded.TypeNameOf(0), type);
    }
}

TEST(FileLoad, ZeroBlocksAndTwoAlphaProperties) {
    NifFile empty;
    empty.header = MakeBodyMesh(true).header;
    empty.header.Reset();
    const Bytes bytes = SaveBytes(empty);
    NifFile loaded = LoadBytes(bytes);
    EXPECT_TRUE(loaded.blocks.empty());
    EXPECT_EQ(Bytes(bytes.end() - 8, bytes.end()), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));

    NifFile two = MakeBodyMesh(true);
    uint32_t alpha = 0;
    while (two.TypeNameOf(alpha) != "NiAlphaProperty") ++alpha;
    two.AppendBlock(two.blocks[alpha]->Clone(), "NiAlphaProperty");
    const Bytes twoBytes = SaveBytes(two);
    EXPECT_EQ(SaveBytes(LoadBytes(twoBytes)), twoBytes);
}

TEST(FileLoad, MissingPathsAndFoldersCannotBeOpened) {
    TempDir dir;
    NifFile f = LoadBytes(SaveBytes(MakeBodyMesh(true)));
    EXPECT_EQ(f.Load(dir.Path("missing.nif").string()), rc::kCannotOpen);
    EXPECT_TRUE(f.blocks.empty());
    EXPECT_EQ(f.header.numBlocks, 0u);
    EXPECT_TRUE(f.header.blockTypes.empty());
    EXPECT_EQ(f.Load(dir.Root().string()), rc::kCannotOpen);
    EXPECT_FALSE(f.LastError().empty());
}

TEST(FileLoad, MalformedFilesAreRefusedWithTheirPlace) {
    const NifFile good = MakeBodyMesh(true);
    const Bytes bytes = SaveBytes(good);
    uint32_t shape = 0;
    while (good.TypeNameOf(shape) != "NiTriShape") ++shape;
    const size_t root = BodyOffset(good, 0), shapeAt = BodyOffset(good, shape);

    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<std::string> mentions;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"truncated header", Bytes(bytes.begin(), bytes.begin() + 60), {"header", "offset"}});
    cases.push_back({"truncated body",
                     Bytes(bytes.begin(), bytes.begin() + static_cast<long>(root) + 10),
                     {"block 0 (NiNode)", "11/34"}});
    Bytes count = bytes;
    Poke32(count, root + 4 + 4 + 4 + 4 + 12 + 36 + 4 + 4 + 4 + 4 * 0, 0x10000000);  // numChildren
    cases.push_back({"child count beyond the data", count, {"block 0", "child count"}});
    Bytes type = bytes;
    {
        NifWriter w;
        NifBlockHeader h = good.header;
        h.blockTypeIndex[2] = h.numBlockTypes;
        h.Put(w, h);
        std::memcpy(type.data(), w.Buffer().data(), w.Size());
    }
    cases.push_back({"type index out of range", type, {"block 2", "type index"}});
    Bytes name = bytes;
    Poke32(name, shapeAt, 99);
    cases.push_back({"string reference out of range", name, {"NiTriShape", "string reference 99"}});
    Bytes longer = bytes;
    {
        NifWriter w;
        NifBlockHeader h = good.header;
        h.blockSizes[0] += 4;
        h.Put(w, h);
        std::memcpy(longer.data(), w.Buffer().data(), w.Size());
        longer.insert(longer.begin() + static_cast<long>(root + good.header.blockSizes[0]), 4, 0);
    }
    cases.push_back({"body shorter than its size entry",
                     longer,
                     {"block 0", "bytes before its recorded size"}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifFile f;
        EXPECT_EQ(f.LoadFromMemory(c.bytes), rc::kMalformed);
        EXPECT_TRUE(f.blocks.empty());
        EXPECT_TRUE(f.header.blockSizes.empty());
        for (const std::string& m : c.mentions)
            EXPECT_NE(f.LastError().find(m), std::string::npos) << f.LastError();
    }
}

TEST(FileLoad, BytesAfterTheLastBodyAreIgnored) {
    Bytes bytes = SaveBytes(MakeBodyMesh(true));
    bytes.resize(bytes.size() - 8);
    const Bytes without = SaveBytes(LoadBytes(bytes));
    bytes.insert(bytes.end(), {9, 9, 9});
    EXPECT_EQ(SaveBytes(LoadBytes(bytes)), without);
}
