// The Special Edition's packed vertex record: every combination of attributes reads and
// writes exactly, and the number conversions keep their documented precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "BodyBytes.h"
#include "Geometry.h"
#include "RandomVisitor.h"

// For each of the 256 sets of the record's attributes (and the full-precision bit, which the
// Special Edition ignores): a shape and a skin partition of records written from random field
// values read back to the same records, and any bytes in the records' place write back as read.
TEST(PackedVertex, EveryAttributeCombinationReadsAndWritesExactly) {
    constexpr uint16_t kParts[] = {kVaVertex, kVaUV,      kVaNormal, kVaTangent,
                                   kVaColor,  kVaSkinned, kVaEye,    kVaFullPrecision};
    std::mt19937 rng(7);
    for (uint32_t set = 0; set < 256; ++set) {
        uint16_t a = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (set & (1u << bit)) a |= kParts[bit];
        const uint64_t desc = MakeVertexDesc(a);
        const uint32_t size = PackedVertexSize(a);
        SCOPED_TRACE("attributes " + std::to_string(a));
        ASSERT_EQ(DescVertexSize(desc), size);
        ASSERT_EQ(VertexAttributes(desc), a);
        if (size == 0) continue;

        BSTriShape shape;
        shape.vertexDesc = desc;
        shape.numVertices = 5;
        shape.numTriangles = 1;
        shape.triangles = {{0, 1, 4}};
        shape.dataSize = size * 5 + 6;
        RandomVisitor random(kForm100, set);
        random.Structs(shape.vertexData.records, 5, a);
        NiSkinPartition skin;
        skin.vertexDesc = desc;
        skin.vertexSize = size;
        skin.dataSize = size * 5;
        skin.vertexData.records = shape.vertexData.records;

        for (NiObject* block : {static_cast<NiObject*>(&shape), static_cast<NiObject*>(&skin)}) {
            std::string bytes = Written(*block, kForm100);
            // The records end 10 bytes before the shape's end (triangle, particle size) and
            // are the partition's last bytes (it has no partitions).
            const size_t end = block == &shape ? bytes.size() - 10 : bytes.size();
            for (size_t i = end - size * 5; i < end; ++i) bytes[i] = static_cast<char>(rng());
            const auto copy = ReadBack(block->Type(), bytes, kForm100);
            ASSERT_FALSE(HasFailure());
            ASSERT_EQ(Written(*copy, kForm100), bytes);
        }
        // Decoded, not kept as bytes: the field values survive.
        const auto block = ReadBack(TypeId::BSTriShape, Written(shape, kForm100), kForm100);
        const auto& copy = static_cast<const BSTriShape&>(*block);
        ASSERT_EQ(copy.vertexData.records.size(), 5u);
        EXPECT_TRUE(copy.vertexData.raw.empty());
        EXPECT_EQ(std::memcmp(copy.vertexData.records.data(), shape.vertexData.records.data(),
                              5 * sizeof(PackedVertex)),
                  0);
    }
}

TEST(PackedVertex, DescriptionsOfRealFilesAndUnknownLayouts) {
    // Position, UV, normal and tangent, as the game's meshes store them.
    EXPECT_EQ(MakeVertexDesc(0x1B), 0x1B00000650407ull);
    // A second UV set or landscape data: kept as bytes.
    for (uint16_t a : {kVaUV2, kVaLand, kVaInstance})
        EXPECT_EQ(PackedVertexSize(a | kVaVertex), 0u);
    PackedVertices v;
    EXPECT_FALSE(v.Decoded((uint64_t{kVaVertex | kVaUV2} << 44) | 6));
    EXPECT_FALSE(v.Decoded(MakeVertexDesc(kVaVertex) + 1));  // a size its parts do not fill
}

TEST(PackedVertex, NumberConversionsKeepTheirPrecision) {
    // Every half but the not-a-numbers goes to float and back unchanged.
    for (uint32_t h = 0; h < 0x10000; ++h) {
        if ((h & 0x7C00) == 0x7C00 && (h & 0x3FF)) continue;
        ASSERT_EQ(FloatToHalf(HalfToFloat(static_cast<uint16_t>(h))), h);
    }
    // Rounding to nearest: within half a step (2^-11 relative) in the normal range.
    for (float x = -70000; x < 70000; x += 13.37f) {
        const float back = HalfToFloat(FloatToHalf(x));
        if (std::fabs(x) > 65519) {
            EXPECT_TRUE(std::isinf(back));
        } else if (std::fabs(x) > 6.2e-5f) {
            EXPECT_LE(std::fabs(back - x), std::fabs(x) / 2048) << x;
        }
    }
    for (float x = 0; x < 1; x += 0.00037f)
        EXPECT_LE(std::fabs(HalfToFloat(FloatToHalf(x)) - x), 1.0f / 4096);
    EXPECT_EQ(FloatToHalf(1.0f / 16777216), 1);             // the smallest subnormal
    EXPECT_EQ(FloatToHalf(2049.0f), FloatToHalf(2048.0f));  // a tie goes to the even value
    // Bytes go to floats and back unchanged; floats to bytes within half a step.
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(UnitToByte(ByteToUnit(static_cast<uint8_t>(b))), b);
        EXPECT_EQ(ColorToByte(static_cast<float>(b) / 255.0f), b);
    }
    for (float x = -1; x <= 1; x += 0.0013f) {
        EXPECT_LE(std::fabs(ByteToUnit(UnitToByte(x)) - x), 1.0f / 255 + 1e-6f);
        if (x >= 0) {
            EXPECT_LE(std::fabs(ColorToByte(x) / 255.0f - x), 1.0f / 510 + 1e-6f);
        }
    }
    EXPECT_EQ(UnitToByte(NAN), 128);
    EXPECT_EQ(UnitToByte(7), 255);
    // Around every half step, the values round to the nearest byte, halves up. The reference
    // is exact: a float below 256 plus a half is exact in a double. (std::round is no
    // reference: MinGW-w64's, in the Windows build, rounds 0.49999997 up.)
    for (int k = 0; k < 255; ++k) {
        float unit = (k + 0.5f) / 127.5f - 1.0f, color = (k + 0.5f) / 255.0f;
        for (int i = 0; i < 8; ++i) {
            unit = std::nextafter(unit, -2.0f);
            color = std::nextafter(color, -1.0f);
        }
        for (int i = 0; i < 16; ++i) {
            const auto expected = [](float scaled) {
                return static_cast<int>(std::floor(double{scaled} + 0.5));
            };
            EXPECT_EQ(UnitToByte(unit), expected((unit + 1.0f) * 127.5f)) << unit;
            EXPECT_EQ(ColorToByte(color), expected(color * 255.0f)) << color;
            unit = std::nextafter(unit, 2.0f);
            color = std::nextafter(color, 2.0f);
        }
    }
}
