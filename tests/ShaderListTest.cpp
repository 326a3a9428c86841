// The window's list and combo box as logic.
#include <gtest/gtest.h>

#include "SampleFiles.h"
#include "ShaderList.h"

namespace {

ShaderList Filled(std::vector<std::string> shaders = {"Skin", "Metal", "Skin (A)", "Hair (A)"}) {
    ShaderList list;
    list.Fill({"Body", "Hands", "Feet"}, shaders);
    return list;
}

}  // namespace

TEST(ShaderList, FillGivesEveryShapeTheFirstShaderAndNoAlphaMark) {
    const ShaderList list = Filled();
    ASSERT_EQ(list.Rows().size(), 3u);
    for (const AssignmentRow& row : list.Rows()) {
        EXPECT_EQ(row.shader, "Skin");
        EXPECT_EQ(row.alpha, "");
        EXPECT_FALSE(AlphaMarkIsYes(row.alpha));
    }
    // Matching starts at the second entry: "Skin (A)" begins with "Skin".
    EXPECT_EQ(list.ComboSelection(), 2u);
}

TEST(ShaderList, ComboMatchingWrapsAndIgnoresCase) {
    const ShaderList list = Filled();
    EXPECT_EQ(list.MatchCombo("metal"), 1u);
    EXPECT_EQ(list.MatchCombo("HAIR"), 3u);
    EXPECT_EQ(list.MatchCombo("Skin ("), 2u);
    EXPECT_EQ(list.MatchCombo("Velvet"), std::nullopt);
    const ShaderList alone = Filled({"Skin"});
    EXPECT_EQ(alone.MatchCombo("skin"), 0u);
    ShaderList list2 = Filled();
    list2.ComboChosen(1);
    list2.SelectComboText("Velvet");
    EXPECT_EQ(list2.ComboSelection(), 1u);
}

TEST(ShaderList, DoubleClickThresholds) {
    struct Case {
        int x;
        ShaderList::Activation action;
        const char* mark;
    };
    const Case cases[] = {{179, ShaderList::Activation::kEditName, ""},
                          {180, ShaderList::Activation::kNothing, ""},
                          {360, ShaderList::Activation::kNothing, ""},
                          {361, ShaderList::Activation::kToggleAlpha, "yes"},
                          {0, ShaderList::Activation::kEditName, ""}};
    for (const Case& c : cases) {
        ShaderList list = Filled();
        EXPECT_EQ(list.ItemActivated(1, c.x), c.action) << c.x;
        EXPECT_EQ(list.Rows()[1].alpha, c.mark) << c.x;
    }
    ShaderList list = Filled();
    list.ItemActivated(0, 400);
    list.ItemActivated(0, 400);
    EXPECT_EQ(list.Rows()[0].alpha, "no");
    list.Rows()[0].alpha = "YES";
    list.ItemActivated(0, 400);
    EXPECT_EQ(list.Rows()[0].alpha, "no");
    EXPECT_EQ(list.ItemActivated(7, 400), ShaderList::Activation::kNothing);
}

TEST(ShaderList, RowSelectionAndComboChoice) {
    ShaderList list = Filled();
    list.ComboChosen(3);  // no row selected: nothing changes
    for (const AssignmentRow& row : list.Rows()) EXPECT_EQ(row.shader, "Skin");

    list.RowSelected(1);
    EXPECT_EQ(list.ComboSelection(), 2u);
    list.ItemActivated(1, 400);  // alpha "yes" by hand
    list.ComboChosen(1);
    EXPECT_EQ(list.Rows()[1].shader, "Metal");
    EXPECT_EQ(list.Rows()[1].alpha, "no");  // the choice overwrites the toggled mark
    list.ComboChosen(3);
    EXPECT_EQ(list.Rows()[1].alpha, "yes");
    list.RowSelected(1);
    EXPECT_EQ(list.ComboSelection(), 3u);
}

TEST(ShaderList, NameEditsRenameTheShape) {
    NifFile mesh = MakeSampleMesh();
    ShaderList list;
    std::vector<std::string> shapes;
    mesh.GetShapeNames(shapes);
    list.Fill(shapes, {"Skin"});
    list.LabelEditEnded(0, std::nullopt, mesh);  // cancelled with Escape
    EXPECT_EQ(list.Rows()[0].shape, "Body");
    EXPECT_NE(mesh.FindShapeByName("Body"), nullptr);
    list.LabelEditEnded(0, std::string("Torso"), mesh);
    EXPECT_EQ(list.Rows()[0].shape, "Torso");
    EXPECT_NE(mesh.FindShapeByName("Torso"), nullptr);
    list.LabelEditEnded(1, std::string("Feet"), mesh);  // a name another shape has is accepted
    mesh.GetShapeNames(shapes);
    EXPECT_EQ(shapes, (std::vector<std::string>{"Torso", "Feet", "Feet"}));
}

TEST(ShaderList, LibraryWithoutShadersLeavesEmptyCells) {
    ShaderList list;
    list.Fill({"Body"}, {});
    EXPECT_TRUE(list.ComboEntries().empty());
    EXPECT_EQ(list.ComboSelection(), std::nullopt);
    EXPECT_EQ(list.Rows()[0].shader, "");
    list.RowSelected(0);
    list.ComboChosen(0);
    EXPECT_EQ(list.Rows()[0].shader, "");
}
