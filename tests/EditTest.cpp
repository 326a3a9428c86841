// Deleting blocks, switching forms, renaming and the queries, on whole files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "FormSwitch.h"
#include "Geometry.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"
#include "Visitors.h"

namespace {

std::vector<uint32_t> IndicesOfType(const NifFile& f, const std::string& type) {
    std::vector<uint32_t> found;
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.TypeNameOf(i) == type) found.push_back(i);
    }
    return found;
}

// For every block, the blocks its references reach (-1 and `gone` left out), and the roots.
using Reach = std::map<const NiObject*, std::vector<const NiObject*>>;
Reach ReachOf(const NifFile& f, const NiObject* gone) {
    Reach reach;
    for (const auto& b : f.blocks) {
        auto& list = reach[b.get()];
        ForEachRef(static_cast<const NiObject&>(*b), f.Form(), [&](BlockRef r, RefKind, TypeId) {
            if (const NiObject* t = f.Block(r); t && t != gone) list.push_back(t);
        });
    }
    if (gone) reach.erase(gone);
    for (BlockRef r : f.roots) {  // the roots under the key nullptr
        if (const NiObject* t = f.Block(r); t && t != gone) reach[nullptr].push_back(t);
    }
    return reach;
}

// Deleting any one block leaves every other reference on the block it reached before.
void ExpectEveryDeletionRepairs(const NifFile& file) {
    ASSERT_EQ(file.CheckConsistency(), "");
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        NifFile f = file;
        const Reach before = ReachOf(f, f.blocks[i].get());
        f.DeleteBlock(i);
        ASSERT_EQ(f.CheckConsistency(), "") << "deleting block " << i;
        ASSERT_EQ(ReachOf(f, nullptr), before) << "deleting block " << i;
    }
}

}  // namespace

TEST(DeleteBlock, TypeNameLeavesWithTheLastBlockOfItsType) {
    NifFile f = MakeSampleMesh();
    const auto geometry = IndicesOfType(f, "NiTriShapeData");
    ASSERT_EQ(geometry.size(), 3u);
    const uint16_t types = f.header.numBlockTypes;
    f.DeleteBlock(geometry[2]);
    EXPECT_EQ(f.header.numBlockTypes, types);

    const uint32_t specular = IndexOfType(f, "NiSpecularProperty");
    const uint16_t t = f.header.blockTypeIndex[specular];
    std::vector<uint16_t> before = f.header.blockTypeIndex;
    f.DeleteBlock(specular);
    EXPECT_EQ(f.header.numBlockTypes, types - 1);
    EXPECT_EQ(
        std::count(f.header.blockTypes.begin(), f.header.blockTypes.end(), "NiSpecularProperty"),
        0);
    before.erase(before.begin() + specular);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(f.header.blockTypeIndex[i], before[i] > t ? before[i] - 1 : before[i]);
    }
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(DeleteBlock, EveryReferenceFollows) {
    NifFile f = MakeSampleMesh();
    const uint32_t specular = IndexOfType(f, "NiSpecularProperty");
    NiGeometry* body = f.FindShapeByName("Body");
    const std::vector<BlockRef> properties = body->properties;
    const BlockRef data = body->data;
    f.DeleteBlock(specular);
    std::vector<BlockRef> expected;
    for (BlockRef p : properties) {
        if (p != static_cast<BlockRef>(specular))
            expected.push_back(p > static_cast<BlockRef>(specular) ? p - 1 : p);
    }
    EXPECT_EQ(body->properties, expected);
    EXPECT_EQ(body->data, data - 1);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(DeleteBlock, AnySingleBlockOfTheSamplesAndTheCorpus) {
    {
        SCOPED_TRACE("sample mesh");
        ExpectEveryDeletionRepairs(MakeSampleMesh());
    }
    {
        SCOPED_TRACE("sample library");
        ExpectEveryDeletionRepairs(MakeSampleLibrary());
    }
    for (const auto& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        NifFile f;
        ASSERT_EQ(f.Load(path.string()), rc::kOk) << f.LastError();
        ExpectEveryDeletionRepairs(f);
    }
}

TEST(DeleteBlocksOfType, UnknownNameChangesNothing) {
    NifFile f = MakeSampleMesh();
    const Bytes before = SaveBytes(f);
    f.DeleteBlocksOfType("NiTriStrips");
    f.DeleteBlocksOfType("nitrishapedata");
    EXPECT_EQ(SaveBytes(f), before);
}

TEST(DeleteBlocksOfType, EqualsDeletingOneByOneFromTheHighest) {
    for (const char* type : {"NiTriShapeData", "NiNode", "NiTriShape", "NiSpecularProperty"}) {
        NifFile together = MakeSampleMesh();
        NifFile apart = MakeSampleMesh();
        std::vector<uint32_t> indices = IndicesOfType(apart, type);
        std::reverse(indices.begin(), indices.end());
        for (uint32_t i : indices) apart.DeleteBlock(i);
        together.DeleteBlocksOfType(type);
        EXPECT_EQ(SaveBytes(together), SaveBytes(apart)) << type;
        EXPECT_TRUE(IndicesOfType(together, type).empty());
    }
}

TEST(SwitchForm, BetweenTheBlenderAndTheGameForm) {
    NifFile f = MakeSampleMesh();
    const Bytes blender = SaveBytes(f);
    EXPECT_TRUE(SwitchForm(f, 11, 34).warnings.empty());
    EXPECT_EQ(SaveBytes(f), blender);

    SwitchForm(f, 12, 83);
    EXPECT_EQ(f.header.userVersion, 12u);
    EXPECT_EQ(f.header.userVersion2, 83u);
    EXPECT_EQ(f.CheckConsistency(), "");
    // The alpha property moves from the property list into its slot.
    const NiGeometry* hands = f.FindShapeByName("Hands");
    EXPECT_NE(f.BlockAs<NiAlphaProperty>(hands->alphaProperty), nullptr);
    const Bytes game = SaveBytes(f);
    EXPECT_EQ(SaveBytes(LoadBytes(game)), game);

    SwitchForm(f, 11, 34);
    EXPECT_EQ(f.CheckConsistency(), "");
    EXPECT_EQ(hands->alphaProperty, kNoBlock);
    EXPECT_EQ(hands->properties.size(), 1u);
}

TEST(RenameShape, RenamesTheFirstShapeOfThatName) {
    NifFile f = MakeSampleMesh();
    f.RenameShape("Feet", "Hands");  // now two shapes named Hands
    std::vector<std::string> names;
    f.GetShapeNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Body", "Hands", "Hands"}));
    const NiGeometry* first = f.FindShapeByName("Hands");
    f.RenameShape("Hands", "Gloves");
    EXPECT_EQ(f.FindShapeByName("Gloves"), first);
    f.GetShapeNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Body", "Gloves", "Hands"}));
    f.RenameShape("Nobody", "X");
    EXPECT_EQ(f.FindShapeByName("X"), nullptr);
}

TEST(RenameShape, MaxStringLengthOnlyGrows) {
    NifFile f = MakeSampleMesh();
    const uint32_t longest = f.header.maxStringLength;
    f.RenameShape("Body", "B");
    EXPECT_EQ(f.header.maxStringLength, longest);
    const std::string longer(longest + 5, 'y');
    f.RenameShape("B", longer);
    EXPECT_EQ(f.header.maxStringLength, longer.size());
    NifFile reloaded = LoadBytes(SaveBytes(f));
    EXPECT_NE(reloaded.FindShapeByName(longer), nullptr);
}

TEST(RenameShape, AnEntryOfItsOwnIsRenamedInPlaceAnUnnamedShapeGetsOne) {
    NifFile f = MakeSampleMesh();
    const size_t strings = f.header.strings.size();
    const StringRef k = f.FindShapeByName("Body")->name;
    f.RenameShape("Body", "Torso");
    EXPECT_EQ(f.header.strings.size(), strings);
    EXPECT_EQ(f.Text(k), "Torso");

    NiGeometry* feet = f.FindShapeByName("Feet");
    feet->name = kNoString;
    f.RenameShape("", "Boots");
    EXPECT_EQ(f.header.numStrings, strings + 1);
    EXPECT_EQ(feet->name, static_cast<StringRef>(strings));
    EXPECT_EQ(f.Text(feet->name), "Boots");
}

TEST(RenameShape, ASharedEntryStaysWithTheOtherBlock) {
    const NifFile sample = MakeSampleMesh();
    const uint32_t node = 1, body = IndexOfType(sample, "NiTriShape");
    ASSERT_TRUE(sample.BlockAs<NiNode>(node));
    // The feet take the name entry of a node, then of the body shape (which is found first).
    for (const uint32_t sharer : {node, body}) {
        SCOPED_TRACE(sample.NameOf(sharer));
        NifFile f = sample;
        NiGeometry* feet = f.FindShapeByName("Feet");
        feet->name = f.BlockAs<NiObjectNET>(static_cast<BlockRef>(sharer))->name;
        const std::string text = f.NameOf(sharer);
        const NiObjectNET* renamed = sharer == body ? f.BlockAs<NiGeometry>(body) : feet;
        const NiObjectNET* other = sharer == body ? feet : f.BlockAs<NiObjectNET>(node);
        const std::vector<std::string> strings = f.header.strings;
        f.RenameShape(text, "Boots");
        EXPECT_EQ(f.Text(renamed->name), "Boots");
        EXPECT_EQ(f.Text(other->name), text);
        EXPECT_EQ(f.header.numStrings, strings.size() + 1);
        EXPECT_EQ(std::vector<std::string>(f.header.strings.begin(), f.header.strings.end() - 1),
                  strings);
        EXPECT_EQ(f.CheckConsistency(), "");
    }
}

TEST(Queries, NamesInBlockOrder) {
    NifFile mesh = MakeSampleMesh();
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(mesh.GetShaderNames(names), 0u);
    EXPECT_TRUE(names.empty());
    NifFile library = MakeSampleLibrary();
    EXPECT_EQ(library.GetShapeNames(names), 0u);
    EXPECT_EQ(library.GetShaderNames(names), 6u);
    EXPECT_EQ(names.front(), "SkinBody");
    EXPECT_NE(library.FindShaderByName("Hair (A)"), nullptr);
    EXPECT_EQ(library.FindShaderByName("hair (a)"), nullptr);
}

TEST(Queries, OpaqueBlocksAreTheUndescribedOnes) {
    NifFile f = MakeSampleMesh();
    EXPECT_TRUE(f.OpaqueBlocks().empty());
    // A type Pellmar has never heard of could hold references anywhere and any layout.
    const uint32_t stencil = IndexOfType(f, "NiStencilProperty");
    const std::vector<BlockName> opaque =
        LoadBytes(RenameType(SaveBytes(f), "NiStencilProperty", "BSFutureThing")).OpaqueBlocks();
    ASSERT_EQ(opaque.size(), 1u);
    EXPECT_EQ(opaque[0].index, stencil);
    EXPECT_EQ(opaque[0].type, "BSFutureThing");
}
