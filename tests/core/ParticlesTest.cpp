// Particle data: the subtexture offsets the Blender form cannot count.
#include <gtest/gtest.h>

#include "BodyBytes.h"
#include "Particles.h"

TEST(Particles, BlenderFormKeepsAtMost255SubtextureOffsets) {
    NiPSysData data;
    data.subtextureOffsets.resize(300);
    std::vector<std::string> notes;
    data.SwitchForm(kForm83, kForm100, notes);
    EXPECT_EQ(data.subtextureOffsets.size(), 300u);
    EXPECT_TRUE(notes.empty());

    data.SwitchForm(kForm83, kForm34, notes);
    EXPECT_EQ(data.subtextureOffsets.size(), 255u);
    EXPECT_EQ(notes.size(), 1u);
    const std::string bytes = Written(data, kForm34);
    NiPSysData back;
    NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ReadBody(back, in, kForm34, 8, nullptr);
    ASSERT_FALSE(in.Failed()) << in.Error();
    EXPECT_EQ(back.subtextureOffsets.size(), 255u);
}
