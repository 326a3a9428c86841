// Copying library shaders with their texture sets onto shapes.
#include <gtest/gtest.h>

#include "FormSwitch.h"
#include "Geometry.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"
#include "Visitors.h"

namespace {

// The sample mesh in the game form, as Clean leaves it before assigning shaders.
NifFile GameMesh() {
    NifFile f = MakeSampleMesh();
    for (const char* type : {"NiSpecularProperty", "BSShaderPPLightingProperty",
                             "BSShaderTextureSet", "NiMaterialProperty", "NiStencilProperty"}) {
        f.DeleteBlocksOfType(type);
    }
    SwitchForm(f, 12, 83);
    return f;
}

NiTriShapeData& DataOf(NifFile& f, const std::string& shape) {
    return *f.BlockAs<NiTriShapeData>(f.FindShapeByName(shape)->data);
}

// The header and every body, also of a file too inconsistent to be saved.
Bytes Snapshot(const NifFile& f) {
    NifWriter out;
    f.header.Put(out);
    for (const auto& b : f.blocks) WriteBody(*b, out, f.Form());
    return Bytes(out.Buffer().begin(), out.Buffer().end());
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
    const NiGeometry* hands = f.FindShapeByName("Hands");
    EXPECT_EQ(hands->shaderProperty, s);
    EXPECT_EQ(hands->alphaProperty, s + 2);
    EXPECT_EQ(f.blocks.size(), static_cast<size_t>(s + 3));
    EXPECT_EQ(f.BlockAs<BSLightingShaderProperty>(s)->textureSet, s + 1);
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
    auto* templ = const_cast<BSLightingShaderProperty*>(library.FindShaderByName("Metal"));
    // A template with a controller and extra data of its own library.
    templ->controller = 0;
    templ->extraData = {0, 0};

    ASSERT_EQ(f.AssignShader("Feet", "Metal", library, false), AssignResult::kAssigned);
    const auto s = static_cast<uint32_t>(f.FindShapeByName("Feet")->shaderProperty);
    BSLightingShaderProperty expected = *templ;
    expected.name = kNoString;
    expected.controller = kNoBlock;
    expected.extraData.clear();
    expected.textureSet = static_cast<BlockRef>(s + 1);
    EXPECT_EQ(BodyBytes(*f.blocks[s], kForm83), BodyBytes(expected, kForm83));
    EXPECT_EQ(BodyBytes(*f.blocks[s + 1], kForm83),
              BodyBytes(*library.Block(templ->textureSet), kForm83));
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(AssignShader, RefusesWhatItCannotCopyAndChangesNothing) {
    const NifFile library = MakeSampleLibrary();
    NifFile badSet = library;
    badSet.BlockAs<BSLightingShaderProperty>(1)->textureSet = 0;  // the root node
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
        const Bytes before = Snapshot(c.input);
        EXPECT_EQ(c.input.AssignShader(c.shape, c.shader, *c.lib, true), c.result);
        EXPECT_EQ(Snapshot(c.input), before);
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
        const Bytes before = BodyBytes(DataOf(f, "Body"), kForm83);
        ASSERT_EQ(DataOf(f, "Body").dataFlags, 0x1001);
        const size_t vertices = DataOf(f, "Body").numVertices;
        ASSERT_EQ(f.AssignShader("Body", c.shader, library, false), AssignResult::kAssigned);
        const NiTriShapeData& after = DataOf(f, "Body");
        const Bytes afterBytes = BodyBytes(after, kForm83);
        if (c.drops) {
            EXPECT_EQ(afterBytes.size(), before.size() - 36u * vertices);
            EXPECT_EQ(after.hasNormals, 0);
            EXPECT_EQ(after.dataFlags, 1);
        } else {
            EXPECT_EQ(afterBytes, before);
        }
        EXPECT_EQ(f.CheckConsistency(), "");
        // A second assignment lowers nothing further.
        ASSERT_EQ(f.AssignShader("Body", c.shader, library, false), AssignResult::kAssigned);
        EXPECT_EQ(BodyBytes(DataOf(f, "Body"), kForm83), afterBytes);
        EXPECT_EQ(f.CheckConsistency(), "");
    }
}

TEST(AssignShader, GeometryWithoutUVsKeepsVectorFlagsZero) {
    const NifFile library = MakeSampleLibrary();
    NifFile f = GameMesh();
    NiTriShapeData& data = DataOf(f, "Feet");
    data.dataFlags = 0;
    data.uvs.clear();
    ASSERT_EQ(f.AssignShader("Feet", "SkinBody", library, false), AssignResult::kAssigned);
    EXPECT_EQ(DataOf(f, "Feet").dataFlags, 0);
    EXPECT_EQ(f.CheckConsistency(), "");
}

TEST(AssignShader, TwiceLeavesTheFirstSetUnreferenced) {
    const NifFile library = MakeSampleLibrary();
    NifFile f = GameMesh();
    const auto s = static_cast<int32_t>(f.blocks.size());
    ASSERT_EQ(f.AssignShader("Hands", "Plain", library, true), AssignResult::kAssigned);
    ASSERT_EQ(f.AssignShader("Hands", "Metal", library, true), AssignResult::kAssigned);
    EXPECT_EQ(f.blocks.size(), static_cast<size_t>(s + 6));
    EXPECT_EQ(f.FindShapeByName("Hands")->shaderProperty, s + 3);
    EXPECT_EQ(f.FindShapeByName("Hands")->alphaProperty, s + 5);
    EXPECT_NE(f.BlockAs<NiAlphaProperty>(s + 5), nullptr);
    EXPECT_EQ(f.CheckConsistency(), "");
}
