// Copying library shaders with their texture sets onto shapes.
#include <gtest/gtest.h>

#include "NifBlockAlphaProperty.h"
#include "NifBlockBSLightShadeProp.h"
#include "NifBlockTriShape.h"
#include "NifBlockTriShapeData.h"
#include "NifBlockUnknown.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

// The sample mesh in the game form, as Clean leaves it before assigning shaders.
NifFile GameMesh() {
    NifFile f = MakeSampleMesh();
    for (const char* type : {"NiSpecularProperty", "BSShaderPPLightingProperty",
                             "BSShaderTextureSet", "NiMaterialProperty", "NiStencilProperty"}) {
        f.DeleteBlocksOfType(type);
    }
    f.SetUserVersions(12, 83);
    return f;
}

const NifBlockTriShapeData& DataOf(const NifFile& f, const std::string& shape) {
    return static_cast<const NifBlockTriShapeData&>(
        *f.blocks[static_cast<size_t>(f.FindShapeByName(shape)->data)]);
}

uint32_t IndexOf(const NifFile& f, const NifBlock* block) {
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.blocks[i].get() == block) return i;
    }
    return UINT32_MAX;
}

}  // namespace

TEST(AssignShader, AppendsShaderTextureSetAndAlphaWithTheirTypes) {
    NifFile f = GameMesh();
    const NifFile library = MakeSampleLibrary();
    ASSERT_EQ(std::count(f.header.blockTypes.begin(), f.header.blockTypes.end(),
                         "BSLightingShaderProperty"),
              0);
    f.DeleteBlocksOfType("NiAlphaProperty");
    const uint16_t types = f.header.numBlockTypes;
    const auto s = static_cast<int32_t>(f.blocks.size());

    ASSERT_EQ(f.AssignShader("Hands", "Hair (A)", library, true), AssignResult::kAssigned);
    const NifBlockTriShape* hands = f.FindShapeByName("Hands");
    EXPECT_EQ(hands->shaderProperty, s);
    EXPECT_EQ(hands->alphaProperty, s + 2);
    EXPECT_EQ(f.blocks.size(), static_cast<size_t>(s + 3));
    EXPECT_EQ(static_cast<NifBlockBSLightShadeProp&>(*f.blocks[s]).textureSet, s + 1);
    EXPECT_EQ(f.header.numBlockTypes, types + 3);
    EXPECT_EQ(std::vector<std::string>(f.header.blockTypes.end() - 3, f.header.blockTypes.end()),
              (std::vector<std::string>{"BSLightingShaderProperty", "BSShaderTextureSet",
                                        "NiAlphaProperty"}));
    EXPECT_EQ(f.CheckConsistency(), "");

    ASSERT_EQ(f.AssignShader("Feet", "Plain", library, false), AssignResult::kAssigned);
    EXPECT_EQ(f.header.numBlockTypes, types + 3);
    EXPECT_EQ(f.blocks.size(), static_cast<size_t>(s + 5));
    EXPECT_EQ(f.FindShapeByName("Feet")->alphaProperty, -1);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(AssignShader, CopiesTheLibraryBodiesExceptWhatMeansNothingHere) {
    NifFile f = GameMesh();
    NifFile library = MakeSampleLibrary();
    auto* templ = const_cast<NifBlockBSLightShadeProp*>(library.FindShaderByName("Metal"));
    // A template with a controller and extra data of its own library.
    templ->controller = 0;
    templ->extraData = {0, 0};
    templ->numExtraData = 2;
    templ->blockSize += 8;
    library.header.blockSizes[IndexOf(library, templ)] = templ->blockSize;

    ASSERT_EQ(f.AssignShader("Feet", "Metal", library, false), AssignResult::kAssigned);
    const auto s = static_cast<uint32_t>(f.FindShapeByName("Feet")->shaderProperty);
    NifBlockBSLightShadeProp expected;
    expected.CopyFrom(*templ);
    expected.nameIndex = -1;
    expected.controller = -1;
    expected.extraData.clear();
    expected.numExtraData = 0;
    expected.textureSet = static_cast<int32_t>(s + 1);
    EXPECT_EQ(WriteBody(*f.blocks[s], f.header), WriteBody(expected, f.header));
    EXPECT_EQ(f.blocks[s]->blockSize, templ->blockSize - 8);
    EXPECT_EQ(WriteBody(*f.blocks[s + 1], f.header),
              WriteBody(*library.blocks[static_cast<size_t>(templ->textureSet)], library.header));
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(AssignShader, RefusesWhatItCannotCopyAndChangesNothing) {
    const NifFile library = MakeSampleLibrary();
    NifFile badSet = library;
    static_cast<NifBlockBSLightShadeProp&>(*badSet.blocks[1]).textureSet = 0;  // the root node
    NifFile noData = GameMesh();
    noData.FindShapeByName("Feet")->data = 0;

    struct Case {
        const char* what;
        NifFile input;
        const NifFile* lib;
        std::string shape, shader;
        AssignResult result;
    };
    Case cases[] = {
        {"no such shape", GameMesh(), &library, "Tail", "Plain", AssignResult::kNoSuchShape},
        {"no such shader", GameMesh(), &library, "Feet", "Velvet", AssignResult::kNoSuchShader},
        {"empty shader name", GameMesh(), &library, "Feet", "", AssignResult::kNoSuchShader},
        {"texture set not a texture set", GameMesh(), &badSet, "Feet", "SkinBody",
         AssignResult::kBadTextureSet},
        {"data not geometry", noData, &library, "Feet", "Plain", AssignResult::kBadGeometry},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = SaveBytes(c.input);
        EXPECT_EQ(c.input.AssignShader(c.shape, c.shader, *c.lib, true), c.result);
        EXPECT_EQ(SaveBytes(c.input), before);
        EXPECT_NE(std::string(DescribeAssignResult(c.result)), "");
    }
}

TEST(AssignShader, ModelSpaceNormalsDropTheGeometrysNormals) {
    const NifFile library = MakeSampleLibrary();
    struct Case {
        const char* shader;
        bool drops;
    };
    // SkinBody has model-space normals and the tint bit; FaceTint only the tint bit.
    for (const Case& c : {Case{"SkinBody", true}, Case{"FaceTint", false}, Case{"Plain", false}}) {
        SCOPED_TRACE(c.shader);
        NifFile f = GameMesh();
        const NifBlockTriShapeData before = DataOf(f, "Body");
        ASSERT_EQ(before.vectorFlags, 0x1001);
        ASSERT_EQ(f.AssignShader("Body", c.shader, library, false), AssignResult::kAssigned);
        const NifBlockTriShapeData& after = DataOf(f, "Body");
        if (c.drops) {
            EXPECT_EQ(after.blockSize, before.blockSize - 36u * before.numVertices);
            EXPECT_EQ(after.hasNormals, 0);
            EXPECT_EQ(after.vectorFlags, 1);
        } else {
            EXPECT_EQ(WriteBody(after, f.header), WriteBody(before, f.header));
        }
        EXPECT_EQ(f.CheckConsistency(), "");
        // A second assignment lowers nothing further.
        const uint32_t size = after.blockSize;
        ASSERT_EQ(f.AssignShader("Body", c.shader, library, false), AssignResult::kAssigned);
        EXPECT_EQ(DataOf(f, "Body").blockSize, size);
        EXPECT_EQ(f.CheckConsistency(), "");
    }
}

TEST(AssignShader, GeometryWithoutUVsKeepsVectorFlagsZero) {
    const NifFile library = MakeSampleLibrary();
    NifFile f = GameMesh();
    auto& data = const_cast<NifBlockTriShapeData&>(DataOf(f, "Feet"));
    data.vectorFlags = 0;
    data.uvSet.clear();
    data.blockSize -= 8u * data.numVertices;
    f.header.blockSizes[static_cast<size_t>(f.FindShapeByName("Feet")->data)] = data.blockSize;
    ASSERT_EQ(f.AssignShader("Feet", "SkinBody", library, false), AssignResult::kAssigned);
    EXPECT_EQ(DataOf(f, "Feet").vectorFlags, 0);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(AssignShader, TwiceLeavesTheFirstSetUnreferenced) {
    const NifFile library = MakeSampleLibrary();
    NifFile f = GameMesh();
    const auto s = static_cast<int32_t>(f.blocks.size());
    f.AssignShader("Hands", "Plain", library, true);
    f.AssignShader("Hands", "Metal", library, true);
    EXPECT_EQ(f.blocks.size(), static_cast<size_t>(s + 6));
    EXPECT_EQ(f.FindShapeByName("Hands")->shaderProperty, s + 3);
    EXPECT_EQ(f.FindShapeByName("Hands")->alphaProperty, s + 5);
    EXPECT_EQ(f.blocks[static_cast<size_t>(s + 5)]->blockKind, kKindAlphaProperty);
    EXPECT_EQ(f.CheckConsistency(), "");
}
