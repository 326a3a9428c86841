// Havok collision: layer and material numbering between the Fallout 3 form and the game forms,
// and the rigid body's two creation-info records.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "BodyBytes.h"
#include "Havok.h"
#include "RandomVisitor.h"

namespace {

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
        const std::string game = Written(body, kForm83);

        // In memory there and back: every byte comes back.
        std::vector<std::string> notes;
        body.SwitchForm(kForm83, kForm34, notes);
        EXPECT_EQ(body.filter.layer, 29);
        EXPECT_EQ(notes.size(), 1u);
        bhkRigidBody back = body;
        back.SwitchForm(kForm34, kForm83, notes);
        EXPECT_EQ(Written(back, kForm83), game);

        // Through the bytes of 11/34: fields of the 2010 record only take their defaults,
        // everything else comes back, and the Fallout 3 bytes then stay as they are.
        const std::string fallout3 = Written(body, kForm34);
        auto read = ReadBack(TypeId::bhkRigidBody, fallout3, kForm34);
        read->SwitchForm(kForm34, kForm83, notes);
        auto& viaFallout3 = static_cast<bhkRigidBody&>(*read);
        EXPECT_EQ(viaFallout3.info.filter.layer, 29);
        EXPECT_EQ(viaFallout3.info.timeFactor, 1.0f);
        EXPECT_EQ(viaFallout3.info.gravityFactor, 1.0f);
        auto again = ReadBack(TypeId::bhkRigidBody, Written(viaFallout3, kForm83), kForm83);
        again->SwitchForm(kForm83, kForm34, notes);
        EXPECT_EQ(Written(*again, kForm34), fallout3);
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
            EXPECT_EQ(Written(data, kForm83), bytes);
        }
    }
}

namespace {

// How a value changes from the game forms to the Blender form: lengths ten times larger, a
// length squared a hundred times, a value per length a tenth, anything else unchanged.
struct Expected {
    const float* field;
    float game;
    float blender;
};

float Within(float value, float ulps) {
    return std::fabs(value) * ulps * 1.2e-7f;
}

}  // namespace

// Each collision type names its own lengths: to the Blender form they grow tenfold (a length
// squared a hundredfold, a quantisation scale shrinks), directions, masses and materials stay,
// and back in the game form every value is within a unit in the last place of what it was.
TEST(HavokUnits, EveryCollisionTypeScalesItsLengthsOnly) {
    auto box = std::make_unique<bhkBoxShape>();
    box->radius = 0.01f;
    box->dimensions = {1.5f, 0.25f, 3.0f};
    box->material = 7;
    auto capsule = std::make_unique<bhkCapsuleShape>();
    capsule->firstPoint = {1, 2, 3};
    capsule->secondPoint = {-1, 0.5f, 2};
    capsule->radius1 = 0.3f;
    capsule->radius2 = 0.4f;
    auto convex = std::make_unique<bhkConvexVerticesShape>();
    convex->vertices = {{1, 2, 3, 0}, {-4, 5, 0.25f, 0}};
    convex->normals = {{0, 0, 1, -2.5f}};
    auto transform = std::make_unique<bhkConvexTransformShape>();
    transform->transform.m[0] = 1;
    transform->transform.m[12] = 0.7f;
    transform->transform.m[14] = -1.25f;
    auto mopp = std::make_unique<bhkMoppBvTreeShape>();
    mopp->mopp.offset = {-3, 2, 1, 2048.0f};
    mopp->scale = 1;
    auto body = std::make_unique<bhkRigidBody>();
    body->info.translation = {1, 2, 3, 0};
    body->info.center = {0.5f, 0, -0.5f, 0};
    body->info.inertiaTensor.m[0] = 0.54f;
    body->info.inertiaTensor.m[5] = 0.06f;
    body->info.rotation = {0, 0.6f, 0, 0.8f};
    body->info.mass = 12;
    body->info.friction = 0.3f;
    auto compressed = std::make_unique<bhkCompressedMeshShapeData>();
    compressed->error = 0.001f;
    compressed->aabb = {{-1, -2, -3, 0}, {4, 5, 6, 0}};
    compressed->bigVerts = {{7, 8, 9, 0}};
    compressed->chunks.resize(1);
    compressed->chunks[0].translation = {0.25f, 0.5f, 0.75f, 0};
    compressed->chunks[0].vertices = {{1000, 2000, 3000}};
    auto spring = std::make_unique<bhkStiffSpringConstraint>();
    spring->constraint.pivotA = {1, 0, 0, 0};
    spring->constraint.length = 2;

    struct Case {
        NiObject* block;
        std::vector<Expected> fields;
    };
    const Case cases[] = {
        {box.get(),
         {{&box->radius, 0.01f, 0.1f},
          {&box->dimensions.x, 1.5f, 15},
          {&box->dimensions.y, 0.25f, 2.5f},
          {&box->dimensions.z, 3, 30}}},
        {capsule.get(),
         {{&capsule->firstPoint.z, 3, 30},
          {&capsule->secondPoint.y, 0.5f, 5},
          {&capsule->radius1, 0.3f, 3},
          {&capsule->radius2, 0.4f, 4}}},
        {convex.get(),
         {{&convex->vertices[1].x, -4, -40},
          {&convex->vertices[1].z, 0.25f, 2.5f},
          {&convex->normals[0].z, 1, 1},
          {&convex->normals[0].w, -2.5f, -25}}},
        {transform.get(),
         {{&transform->transform.m[0], 1, 1},
          {&transform->transform.m[12], 0.7f, 7},
          {&transform->transform.m[14], -1.25f, -12.5f}}},
        {mopp.get(),
         {{&mopp->mopp.offset.x, -3, -30},
          {&mopp->mopp.offset.w, 2048, 204.8f},
          {&mopp->scale, 1, 1}}},
        {body.get(),
         {{&body->info.translation.z, 3, 30},
          {&body->info.translation.w, 0, 0},
          {&body->info.center.x, 0.5f, 5},
          {&body->info.inertiaTensor.m[0], 0.54f, 54},
          {&body->info.inertiaTensor.m[5], 0.06f, 6},
          {&body->info.rotation.y, 0.6f, 0.6f},
          {&body->info.mass, 12, 12},
          {&body->info.friction, 0.3f, 0.3f}}},
        {compressed.get(),
         {{&compressed->error, 0.001f, 0.01f},
          {&compressed->aabb.max.y, 5, 50},
          {&compressed->bigVerts[0].z, 9, 90},
          {&compressed->chunks[0].translation.y, 0.5f, 5}}},
        {spring.get(),
         {{&spring->constraint.pivotA.x, 1, 10}, {&spring->constraint.length, 2, 20}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(NameOf(c.block->Type()));
        LengthVisitor toBlender(LengthVisitor::Mode::kToBlender, kForm83);
        c.block->Lengths(toBlender);
        for (const Expected& e : c.fields) EXPECT_NEAR(*e.field, e.blender, Within(e.blender, 2));
        LengthVisitor toGame(LengthVisitor::Mode::kToGame, kForm34);
        c.block->Lengths(toGame);
        for (const Expected& e : c.fields) EXPECT_NEAR(*e.field, e.game, Within(e.game, 1));
    }
    // The quantised chunk vertices stay: they count steps of the error from the translation.
    EXPECT_EQ(compressed->chunks[0].vertices[0].y, 2000);
}

// From the game forms to the Blender form and back, a value comes back exactly whenever a float
// can hold it ten times larger and return, and otherwise within a unit in the last place.
TEST(HavokUnits, GameValuesComeBackExactlyOrWithinAUnitInTheLastPlace) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> any(-200.0f, 200.0f);
    for (int power : {1, 2, -1}) {
        size_t exact = 0;
        const size_t n = 20000;
        for (size_t i = 0; i < n; ++i) {
            const float x = any(random);
            const float back = HavokToGame(HavokToBlender(x, power), power);
            if (back == x) {
                ++exact;
            } else {
                EXPECT_TRUE(std::nextafter(x, INFINITY) == back ||
                            std::nextafter(x, -INFINITY) == back)
                    << x << " came back as " << back;
            }
        }
        EXPECT_GT(exact, n * 8 / 10) << "power " << power;
    }
    for (float special : {0.0f, -0.0f, INFINITY, -INFINITY}) {
        EXPECT_EQ(std::signbit(HavokToBlender(special, 1)), std::signbit(special));
        EXPECT_EQ(HavokToGame(HavokToBlender(special, 1), 1), special);
    }
    EXPECT_TRUE(std::isnan(HavokToBlender(NAN, 1)));
}
