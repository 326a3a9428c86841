// Particle blocks: where the Special Edition moves the system's data reference, and the
// subtexture offsets the Blender form cannot count.
#include <gtest/gtest.h>

#include <cstring>

#include "Particles.h"
#include "Visitors.h"

namespace {

std::string Written(const NiObject& block, uint8_t form) {
    NifWriter out;
    EXPECT_EQ(WriteBody(block, out, form), "");
    return out.Buffer();
}

}  // namespace

TEST(Particles, SpecialEditionStoresSystemDataAfterLodDistances) {
    NiParticleSystem system;
    system.data = 5;
    // Name, extra data and controller (12), the scene object without properties (60), then
    // the data reference in the game form; bound, skin, shader and alpha (28), vertex
    // description (8) and distances (8) before it in the Special Edition.
    for (auto [form, offset] : {std::pair{kForm83, size_t{72}}, std::pair{kForm100, size_t{116}}}) {
        const std::string bytes = Written(system, form);
        ASSERT_GE(bytes.size(), offset + 4);
        int32_t at = 0;
        std::memcpy(&at, bytes.data() + offset, 4);
        EXPECT_EQ(at, 5) << "form " << int(form);
        int found = 0;
        ForEachRef(system, form, [&](BlockRef& ref, RefKind kind, TypeId target) {
            if (ref != 5) return;
            ++found;
            EXPECT_EQ(kind, RefKind::kOwned);
            EXPECT_TRUE(IsA(TypeId::NiPSysData, target));
        });
        EXPECT_EQ(found, 1) << "form " << int(form);
    }
}

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
