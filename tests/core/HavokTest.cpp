// Havok collision: layer and material numbering between the Fallout 3 form and the game forms,
// and the rigid body's two creation-info records.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "Havok.h"
#include "RandomVisitor.h"

namespace {

std::string Write(const NiObject& block, uint8_t form) {
    NifWriter out;
    EXPECT_EQ(WriteBody(block, out, form), "");
    return out.Buffer();
}

std::unique_ptr<NiObject> Read(TypeId type, const std::string& bytes, uint8_t form) {
    auto block = CreateBlock(type);
    NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ReadBody(*block, in, form, 8, nullptr);
    EXPECT_FALSE(in.Failed()) << in.Error();
    EXPECT_EQ(in.Remaining(), 0u);
    return block;
}

// The switches that renumber, each with its way back.
const std::pair<uint8_t, uint8_t> kRenumbering[] = {
    {kForm34, kForm83}, {kForm83, kForm34}, {kForm34, kForm100}, {kForm100, kForm34}};

}  // namespace

TEST(HavokNumbering, LayersAreABijectionThatRoundTrips) {
    for (auto [from, to] : kRenumbering) {
        std::set<uint8_t> images;
        for (int value = 0; value < 256; ++value) {
            const auto v = static_cast<uint8_t>(value);
            const uint8_t there = MapLayer(v, from, to, nullptr);
            images.insert(there);
            EXPECT_EQ(MapLayer(there, to, from, nullptr), v) << value << " from " << int{from};
        }
        EXPECT_EQ(images.size(), 256u);
    }
    // Between the game forms nothing changes.
    std::string note = "stale";
    EXPECT_EQ(MapLayer(29, kForm83, kForm100, &note), 29);
    EXPECT_EQ(note, "");
}

TEST(HavokNumbering, LayersPairByName) {
    struct Case {
        uint8_t fallout3, skyrim;
    };
    // ANIM_STATIC ~ ANIMSTATIC; DEADBIP and the pick layers moved; CAMERASPHERE is spelled
    // CAMERASHPERE in some Skyrim lists.
    for (Case c : {Case{0, 0}, Case{2, 2}, Case{28, 28}, Case{29, 32}, Case{30, 30}, Case{31, 34},
                   Case{33, 36}, Case{35, 39}, Case{42, 46}}) {
        std::string note = "stale";
        EXPECT_EQ(MapLayer(c.fallout3, kForm34, kForm83, &note), c.skyrim);
        EXPECT_EQ(note, "") << int{c.fallout3};
        EXPECT_EQ(MapLayer(c.skyrim, kForm100, kForm34, &note), c.fallout3);
        EXPECT_EQ(note, "") << int{c.skyrim};
    }
    // Layers without a counterpart keep a free number, or take a number the pairs left over.
    std::string note;
    EXPECT_EQ(MapLayer(50, kForm83, kForm34, &note), 50);
    EXPECT_EQ(note, "Havok layer 50 (SKYL_CRITTER) has no Fallout 3 counterpart; kept as 50");
    const uint8_t ward = MapLayer(29, kForm83, kForm34, &note);
    EXPECT_NE(ward, 29);
    EXPECT_EQ(note, "Havok layer 29 (SKYL_WARD) has no Fallout 3 counterpart; stored as " +
                        std::to_string(ward));
    MapLayer(43, kForm34, kForm83, &note);
    EXPECT_NE(note.find("(FOL_NULL) has no Skyrim counterpart"), std::string::npos) << note;
    MapLayer(200, kForm34, kForm83, &note);
    EXPECT_EQ(note, "Havok layer 200 has no Skyrim counterpart; kept as 200");
}

TEST(HavokNumbering, MaterialsPairByNameAndRoundTrip) {
    struct Case {
        uint32_t fallout3, skyrim;
    };
    const Case named[] = {{0, 3741512247u},   // STONE
                          {13, 3074114406u},  // CHAIN ~ MATERIAL_CHAIN
                          {10, 1570821952u},  // HEAVY_STONE
                          {24, 493553910u}};  // BOTTLE
    std::vector<uint32_t> sample = {0xFFFFFFFFu, 131151687u, 3895166727u, 4283869410u};
    for (uint32_t v = 0; v < 300; ++v) sample.push_back(v);
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) sample.push_back(static_cast<uint32_t>(rng()));
    for (Case c : named) {
        std::string note = "stale";
        EXPECT_EQ(MapMaterial(c.fallout3, kForm34, kForm83, &note), c.skyrim);
        EXPECT_EQ(note, "");
        EXPECT_EQ(MapMaterial(c.skyrim, kForm83, kForm34, &note), c.fallout3);
        EXPECT_EQ(note, "");
        sample.push_back(c.skyrim);
    }
    for (auto [from, to] : kRenumbering) {
        std::set<uint32_t> values(sample.begin(), sample.end()), images;
        for (uint32_t v : values) {
            const uint32_t there = MapMaterial(v, from, to, nullptr);
            images.insert(there);
            EXPECT_EQ(MapMaterial(there, to, from, nullptr), v) << v << " from " << int{from};
        }
        EXPECT_EQ(images.size(), values.size());
    }
    std::string note;
    EXPECT_EQ(MapMaterial(5, kForm34, kForm83, &note), 5u);
    EXPECT_EQ(note, "Havok material 5 (FO_HAV_MAT_METAL) has no Skyrim counterpart; kept as 5");
    MapMaterial(3895166727u, kForm83, kForm34, &note);
    EXPECT_NE(note.find("(SKY_HAV_MAT_WARD) has no Fallout 3 counterpart"), std::string::npos);
}

// Both filters of a rigid body change numbering, and what one record stores survives a trip
// through the bytes of the other.
TEST(HavokRigidBody, SwitchesThroughTheBytesOfTheOtherForm) {
    for (uint32_t seed = 0; seed < 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        bhkRigidBody body;
        RandomVisitor random(kForm83, seed);
        body.Fields(random);
        body.filter.layer = 32;       // DEADBIP
        body.info.filter.layer = 29;  // WARD: no Fallout 3 counterpart
        const std::string game = Write(body, kForm83);

        // In memory there and back: every byte comes back.
        std::vector<std::string> notes;
        body.SwitchForm(kForm83, kForm34, notes);
        EXPECT_EQ(body.filter.layer, 29);
        EXPECT_EQ(notes.size(), 1u);
        bhkRigidBody back = body;
        back.SwitchForm(kForm34, kForm83, notes);
        EXPECT_EQ(Write(back, kForm83), game);

        // Through the bytes of 11/34: fields of the 2010 record only take their defaults,
        // everything else comes back, and the Fallout 3 bytes then stay as they are.
        const std::string fallout3 = Write(body, kForm34);
        auto read = Read(TypeId::bhkRigidBody, fallout3, kForm34);
        read->SwitchForm(kForm34, kForm83, notes);
        auto& viaFallout3 = static_cast<bhkRigidBody&>(*read);
        EXPECT_EQ(viaFallout3.info.filter.layer, 29);
        EXPECT_EQ(viaFallout3.info.timeFactor, 1.0f);
        EXPECT_EQ(viaFallout3.info.gravityFactor, 1.0f);
        auto again = Read(TypeId::bhkRigidBody, Write(viaFallout3, kForm83), kForm83);
        again->SwitchForm(kForm83, kForm34, notes);
        EXPECT_EQ(Write(*again, kForm34), fallout3);
    }
}

// Unions of bounding volumes nest; a body nesting them deeper than any real file is refused
// instead of recursing as deep as its bytes allow.
TEST(HavokCollisionData, NestedUnionsReadBackAndTooDeepOnesAreRefused) {
    for (uint32_t depth : {10u, 40u}) {
        NifWriter out;
        out.I32(-1);  // target
        for (uint32_t x : {0u, 0u}) out.U32(x);
        out.U8(1);  // use the bounding volume
        for (uint32_t i = 0; i < depth; ++i) {
            out.U32(4);  // a union of one volume
            out.U32(1);
        }
        out.U32(0);  // a sphere
        for (int i = 0; i < 4; ++i) out.U32(0);
        const std::string bytes = out.Buffer();
        NiCollisionData data;
        NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ReadBody(data, in, kForm83, 0, nullptr);
        EXPECT_EQ(in.Failed(), depth > BoundingVolume::kMaxDepth) << depth;
        if (!in.Failed()) {
            EXPECT_EQ(Write(data, kForm83), bytes);
        }
    }
}
