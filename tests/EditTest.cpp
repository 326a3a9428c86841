// Deleting blocks, switching forms, renaming and the queries, on whole files.
#include <gtest/gtest.h>

#include <algorithm>

#include "NifBlockNiNode.h"
#include "NifBlockTriShape.h"
#include "NifBlockUnknown.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

uint32_t IndexOfType(const NifFile& f, const std::string& type) {
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.TypeNameOf(i) == type) return i;
    }
    ADD_FAILURE() << "no " << type;
    return 0;
}

std::vector<uint32_t> IndicesOfType(const NifFile& f, const std::string& type) {
    std::vector<uint32_t> found;
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.TypeNameOf(i) == type) found.push_back(i);
    }
    return found;
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

TEST(DeleteBlock, EveryParsedReferenceFollowsAndSizesAreCopied) {
    NifFile f = MakeSampleMesh();
    const uint32_t specular = IndexOfType(f, "NiSpecularProperty");
    auto* body = static_cast<NifBlockTriShape*>(f.FindShapeByName("Body"));
    const std::vector<int32_t> properties = body->properties;
    const int32_t data = body->data;
    f.DeleteBlock(specular);
    std::vector<int32_t> expected;
    for (int32_t p : properties) {
        if (p != static_cast<int32_t>(specular))
            expected.push_back(p > static_cast<int32_t>(specular) ? p - 1 : p);
    }
    body = f.FindShapeByName("Body");
    EXPECT_EQ(body->properties, expected);
    EXPECT_EQ(body->data, data - 1);
    for (uint32_t i = 0; i < f.blocks.size(); ++i)
        EXPECT_EQ(f.header.blockSizes[i], f.blocks[i]->blockSize);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(DeleteBlock, DeletingBlockZeroMakesTheNextBlockTheRoot) {
    NifFile f = MakeSampleMesh();
    const std::string second = static_cast<NifBlockNiNode&>(*f.blocks[1]).name;
    f.DeleteBlock(0);
    EXPECT_EQ(static_cast<NifBlockNiNode&>(*f.blocks[0]).name, second);
    const Bytes saved = SaveBytes(f);
    EXPECT_EQ(Bytes(saved.end() - 8, saved.end()), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(f.CheckConsistency(), "");
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

TEST(SetUserVersions, SwitchesOnlyBetweenTheTwoForms) {
    NifFile f = MakeSampleMesh();
    const Bytes blender = SaveBytes(f);
    f.SetUserVersions(11, 34);
    EXPECT_EQ(SaveBytes(f), blender);

    f.SetUserVersions(12, 83);
    EXPECT_EQ(f.header.userVersion, 12u);
    EXPECT_EQ(f.header.userVersion2, 83u);
    EXPECT_EQ(f.CheckConsistency(), "");  // nodes and shapes still holding properties included
    const Bytes game = SaveBytes(f);
    f.SetUserVersions(12, 83);
    EXPECT_EQ(SaveBytes(f), game);
    NifFile reloaded = LoadBytes(game);
    EXPECT_EQ(SaveBytes(reloaded), game);

    f.SetUserVersions(11, 34);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(RenameShape, RenamesTheFirstShapeOfThatName) {
    NifFile f = MakeSampleMesh();
    f.RenameShape("Feet", "Hands");  // now two shapes named Hands
    std::vector<std::string> names;
    f.GetShapeNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Body", "Hands", "Hands"}));
    const NifBlockTriShape* first = f.FindShapeByName("Hands");
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

TEST(RenameShape, ShapeWithoutANameGetsANewStringEntry) {
    NifFile f = MakeSampleMesh();
    NifBlockTriShape* feet = f.FindShapeByName("Feet");
    feet->nameIndex = -1;
    feet->name.clear();
    const std::vector<std::string> strings = f.header.strings;
    f.RenameShape("", "Boots");
    EXPECT_EQ(f.header.numStrings, strings.size() + 1);
    EXPECT_EQ(f.header.strings.back(), "Boots");
    EXPECT_EQ(feet->nameIndex, static_cast<int32_t>(strings.size()));
    EXPECT_EQ(std::vector<std::string>(f.header.strings.begin(), f.header.strings.end() - 1),
              strings);
    EXPECT_NE(LoadBytes(SaveBytes(f)).FindShapeByName("Boots"), nullptr);
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

TEST(Queries, OpaqueBlocksThatEditsWouldBreak) {
    NifFile f = MakeSampleMesh();
    auto names = [](const std::vector<BlockName>& blocks) {
        std::vector<std::string> types;
        for (const BlockName& b : blocks) types.push_back(b.type);
        return types;
    };
    // Its texture-set reference lies deep in the body, and its layout differs between forms.
    EXPECT_EQ(names(f.OpaqueBlocksWithUnreachableReferences()),
              std::vector<std::string>{"BSShaderPPLightingProperty"});
    EXPECT_EQ(names(f.OpaqueBlocksBrokenByFormSwitch()),
              std::vector<std::string>{"BSShaderPPLightingProperty"});
    f.DeleteBlocksOfType("BSShaderPPLightingProperty");
    EXPECT_TRUE(f.OpaqueBlocksWithUnreachableReferences().empty());
    EXPECT_TRUE(f.OpaqueBlocksBrokenByFormSwitch().empty());
    // A type Pellmar has never heard of could hold references anywhere and any layout.
    f.header.blockTypes[f.header.blockTypeIndex[IndexOfType(f, "NiStencilProperty")]] =
        "BSFutureThing";
    NifFile reloaded = LoadBytes(SaveBytes(f));
    EXPECT_EQ(names(reloaded.OpaqueBlocksWithUnreachableReferences()),
              std::vector<std::string>{"BSFutureThing"});
    EXPECT_EQ(names(reloaded.OpaqueBlocksBrokenByFormSwitch()),
              std::vector<std::string>{"BSFutureThing"});
}
