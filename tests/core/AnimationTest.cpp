// Animation bodies built by hand: the branches random filling seldom reaches (XYZ rotation
// keys, TBC quaternion keys, note types, manager-controlled blends), the kinds of references
// sequences and palettes hold, and bogus counts that must fail cleanly.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "Animation.h"
#include "Visitors.h"

namespace {

void TimeController(NifWriter& w) {
    w.I32(-1);  // next controller
    w.U16(8);   // flags: active
    w.F32(1);   // frequency
    w.F32(0);   // phase
    w.F32(0);   // start
    w.F32(2);   // stop
    w.I32(0);   // target
}

struct Case {
    const char* name;
    TypeId type;
    uint8_t form;
    std::function<void(NifWriter&)> body;
    std::function<void(const NiObject&)> check;
};

using RefSeen = std::pair<BlockRef, RefKind>;
std::vector<RefSeen> RefsOf(const NiObject& block, uint8_t form) {
    std::vector<RefSeen> seen;
    ForEachRef(block, form,
               [&](BlockRef ref, RefKind kind, TypeId) { seen.emplace_back(ref, kind); });
    return seen;
}

const Case kCases[] = {
    {"keyframe data with XYZ rotations", TypeId::NiKeyframeData, kForm83,
     [](NifWriter& w) {
         w.U32(1);  // rotation key count: the keys themselves hold nothing
         w.U32(4);  // XYZ rotation
         w.U32(1), w.U32(1), w.F32(0), w.F32(0.5f);                           // X: one linear key
         w.U32(2), w.U32(1), w.F32(0), w.F32(0.25f), w.F32(1), w.F32(0.75f);  // Y
         w.U32(0);                                                            // Z: no keys
         w.U32(1), w.U32(1), w.F32(0), w.Vec3({1, 2, 3});                     // translations
         w.U32(0);                                                            // scales
     },
     [](const NiObject& b) {
         const auto& d = *As<NiKeyframeData>(&b);
         EXPECT_EQ(d.rotations.keyType, 4u);
         EXPECT_EQ(d.rotations.keys.size(), 1u);
         EXPECT_EQ(d.rotations.xyz[0].keys.size(), 1u);
         ASSERT_EQ(d.rotations.xyz[1].keys.size(), 2u);
         EXPECT_EQ(d.rotations.xyz[1].keys[1].value, 0.75f);
         EXPECT_TRUE(d.rotations.xyz[2].keys.empty());
         ASSERT_EQ(d.translations.keys.size(), 1u);
         EXPECT_EQ(d.translations.keys[0].value.z, 3.0f);
         EXPECT_TRUE(d.scales.keys.empty());
     }},
    {"transform data with TBC quaternion keys", TypeId::NiTransformData, kForm34,
     [](NifWriter& w) {
         w.U32(1), w.U32(3);
         w.F32(0.5f), w.F32(1), w.F32(0), w.F32(0), w.F32(0), w.F32(0.1f), w.F32(0.2f), w.F32(0.3f);
         w.U32(0), w.U32(0);
     },
     [](const NiObject& b) {
         const auto& d = *As<NiTransformData>(&b);
         ASSERT_EQ(d.rotations.keys.size(), 1u);
         EXPECT_EQ(d.rotations.keys[0].time, 0.5f);
         EXPECT_EQ(d.rotations.keys[0].tbc.c, 0.3f);
         EXPECT_TRUE(d.rotations.xyz[0].keys.empty());
     }},
    {"note with an arm value", TypeId::BSAnimNote, kForm100,
     [](NifWriter& w) { w.U32(1), w.F32(0.5f), w.U32(7); },
     [](const NiObject& b) { EXPECT_EQ(As<BSAnimNote>(&b)->arm, 7u); }},
    {"note with gain and state", TypeId::BSAnimNote, kForm83,
     [](NifWriter& w) { w.U32(2), w.F32(0.5f), w.F32(0.25f), w.U32(3); },
     [](const NiObject& b) {
         EXPECT_EQ(As<BSAnimNote>(&b)->gain, 0.25f);
         EXPECT_EQ(As<BSAnimNote>(&b)->state, 3u);
     }},
    {"manager-controlled blend keeps its array size", TypeId::NiBlendFloatInterpolator, kForm83,
     [](NifWriter& w) { w.U8(1), w.U8(3), w.F32(0), w.F32(9); },
     [](const NiObject& b) {
         const auto& d = *As<NiBlendFloatInterpolator>(&b);
         EXPECT_EQ(d.arraySize, 3);
         EXPECT_TRUE(d.items.empty());
         EXPECT_EQ(d.value, 9.0f);
     }},
    {"bone levels sized apart from the node group count", TypeId::NiBSBoneLODController, kForm34,
     [](NifWriter& w) {
         TimeController(w);
         w.U32(0), w.U32(2), w.U32(5);  // level, level count, node group count
         w.U32(1), w.I32(4), w.U32(0);
     },
     [](const NiObject& b) {
         const auto& d = *As<NiBSBoneLODController>(&b);
         EXPECT_EQ(d.nodeGroupCount, 5u);
         ASSERT_EQ(d.nodeGroups.size(), 2u);
         EXPECT_EQ(RefsOf(b, kForm34),
                   (std::vector<RefSeen>{
                       {-1, RefKind::kOwned}, {0, RefKind::kBack}, {4, RefKind::kBack}}));
     }},
    {"controller sequence", TypeId::NiControllerSequence, kForm83,
     [](NifWriter& w) {
         w.U32(0);                      // name
         w.U32(1), w.U32(0);            // one controlled block, grow by
         w.I32(3), w.I32(-1), w.U8(0);  // interpolator, controller, priority
         for (int i = 1; i <= 5; ++i) w.U32(i);
         w.F32(1), w.I32(5), w.U32(0), w.F32(1), w.F32(0), w.F32(2);
         w.I32(1);            // manager
         w.U32(6);            // accum root name
         w.U16(1), w.I32(7);  // anim note arrays
     },
     [](const NiObject& b) {
         const auto& d = *As<NiControllerSequence>(&b);
         ASSERT_EQ(d.controlledBlocks.size(), 1u);
         EXPECT_EQ(d.controlledBlocks[0].interpolatorId, 5);
         EXPECT_EQ(d.accumRootName, 6);
         EXPECT_EQ(RefsOf(b, kForm83), (std::vector<RefSeen>{{3, RefKind::kOwned},
                                                             {-1, RefKind::kOwned},
                                                             {5, RefKind::kOwned},
                                                             {1, RefKind::kBack},
                                                             {7, RefKind::kOwned}}));
     }},
    {"object palette", TypeId::NiDefaultAVObjectPalette, kForm34,
     [](NifWriter& w) {
         w.I32(0), w.U32(1);
         w.U32(4), w.Bytes("Bone", 4), w.I32(2);
     },
     [](const NiObject& b) {
         const auto& d = *As<NiDefaultAVObjectPalette>(&b);
         ASSERT_EQ(d.objects.size(), 1u);
         EXPECT_EQ(d.objects[0].name, "Bone");
         EXPECT_EQ(RefsOf(b, kForm34),
                   (std::vector<RefSeen>{{0, RefKind::kBack}, {2, RefKind::kBack}}));
     }},
};

std::unique_ptr<NiObject> Read(TypeId type, uint8_t form, const std::string& bytes, bool& failed,
                               std::string& error) {
    NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    auto block = CreateBlock(type);
    ReadBody(*block, in, form, 8, nullptr);
    failed = in.Failed();
    error = in.Error();
    if (!failed && in.Remaining() != 0) {
        failed = true;
        error = "bytes left over";
    }
    return block;
}

}  // namespace

TEST(Animation, HandMadeBodiesReadAndWriteBack) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        NifWriter w;
        c.body(w);
        const std::string bytes = w.Buffer();
        bool failed = false;
        std::string error;
        auto block = Read(c.type, c.form, bytes, failed, error);
        EXPECT_FALSE(failed) << error;
        if (failed) continue;
        c.check(*block);
        NifWriter out;
        EXPECT_EQ(WriteBody(*block, out, c.form), "");
        EXPECT_EQ(out.Buffer(), bytes);
    }
}

TEST(Animation, BogusCountsFailWithoutHugeLists) {
    const std::pair<TypeId, std::function<void(NifWriter&)>> cases[] = {
        // XYZ rotation keys read nothing each: the count alone must not be trusted.
        {TypeId::NiKeyframeData, [](NifWriter& w) { w.U32(0xFFFFFFFF), w.U32(4), w.U32(0); }},
        {TypeId::NiMorphData,
         [](NifWriter& w) { w.U32(1), w.U32(0x40000000), w.U8(0), w.U32(0), w.F32(0); }},
        {TypeId::NiSequence, [](NifWriter& w) { w.U32(0), w.U32(0x10000000), w.U32(0); }},
        {TypeId::NiDefaultAVObjectPalette,
         [](NifWriter& w) { w.I32(0), w.U32(1), w.U32(0x7FFFFFFF); }},
    };
    for (const auto& [type, body] : cases) {
        SCOPED_TRACE(NameOf(type));
        NifWriter w;
        body(w);
        const std::string bytes = w.Buffer();
        bool failed = false;
        std::string error;
        Read(type, kForm83, bytes, failed, error);
        EXPECT_TRUE(failed);
        EXPECT_NE(error, "bytes left over");
    }
}
