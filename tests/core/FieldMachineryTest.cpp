// The shortcuts of the field machinery give what walking the descriptions field by field
// gives: records moved as runs of bytes, bodies read from a source a piece at a time, a writer
// that drains a fixed buffer, and the pool the blocks live in.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "Animation.h"
#include "BodyBytes.h"
#include "ExtraData.h"
#include "Geometry.h"
#include "Havok.h"
#include "RandomVisitor.h"

namespace {

// Writes a body field by field, as the description names them: no window, no runs.
class WalkingWriter : public Visitor {
  public:
    explicit WalkingWriter(uint8_t form) : Visitor(VisitMode::kWrite, form) {}
    void Value(void* data, size_t size, bool) override { Put(data, size); }
    void Values(const PodList& list, size_t elemSize, uint32_t) override {
        Put(list.data(list.vector), list.size(list.vector) * elemSize);
    }
    void VisitRef(BlockRef& ref, RefKind, TypeId) override { Put(&ref, 4); }
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t, RefKind, TypeId, bool) override {
        Put(refs.data(), refs.size() * 4);
    }
    void VisitString(StringRef& s) override { Put(&s, 4); }
    void Text(std::string& text, size_t lengthSize) override {
        const auto length = static_cast<uint32_t>(text.size());
        Put(&length, lengthSize);
        Put(text.data(), text.size());
    }
    void Rest(std::vector<uint8_t>& raw) override { Put(raw.data(), raw.size()); }
    std::string bytes;

  private:
    void Put(const void* data, size_t size) { bytes.append(static_cast<const char*>(data), size); }
};

std::string Walked(NiObject& block, uint8_t form) {
    WalkingWriter w(form);
    block.Fields(w);
    return w.bytes;
}

// Serves bytes as a file would: whatever is asked for, from where it is asked.
class BytesSource : public NifReader::Source {
  public:
    explicit BytesSource(const std::string& bytes) : bytes_(bytes) {}
    const uint8_t* From(size_t at, size_t n, size_t& got) override {
        EXPECT_GE(at, last_) << "sources only move forward";
        last_ = at;
        got = std::min(n, bytes_.size() - at);
        return reinterpret_cast<const uint8_t*>(bytes_.data()) + at;
    }
    bool CopyFrom(size_t at, void* dst, size_t n) override {
        EXPECT_GE(at, last_) << "sources only move forward";
        last_ = at + n;
        if (at + n > bytes_.size()) return false;
        std::memcpy(dst, bytes_.data() + at, n);
        return true;
    }

  private:
    const std::string& bytes_;
    size_t last_ = 0;
};

// Random bodies of every listed type in every form it exists in that the writer accepts.
template <class F>
void ForEveryRandomBody(uint32_t seeds, F check) {
    for (size_t i = 0; i < kListedTypeCount; ++i) {
        const auto type = static_cast<TypeId>(i);
        if (InfoOf(type).abstract) continue;
        for (uint8_t form : Forms(type)) {
            for (uint32_t seed = 0; seed < seeds; ++seed) {
                auto block = CreateBlock(type);
                RandomVisitor random(form, seed);
                block->Fields(random);
                NifWriter probe;
                if (!WriteBody(*block, probe, form).empty()) continue;
                SCOPED_TRACE(std::string(NameOf(type)) + " form " + std::to_string(form) +
                             " seed " + std::to_string(seed));
                check(*block, form);
            }
        }
    }
}

}  // namespace

// Records lists long enough to move as runs (packed vertices of every layout, keys of every
// key type, rigid body records of both layouts) write what walking them writes, and read back.
TEST(FieldMachinery, RecordsMoveAsTheirDescriptionsWalk) {
    std::mt19937 rng(3);
    auto randomBytes = [&](void* data, size_t n) {
        for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(data)[i] = static_cast<uint8_t>(rng());
    };
    std::vector<std::pair<std::unique_ptr<NiObject>, uint8_t>> cases;
    constexpr uint16_t kParts[] = {kVaVertex, kVaUV,      kVaNormal, kVaTangent,
                                   kVaColor,  kVaSkinned, kVaEye};
    for (uint32_t set = 1; set < 128; ++set) {
        uint16_t a = 0;
        for (int bit = 0; bit < 7; ++bit)
            if (set & (1u << bit)) a |= kParts[bit];
        auto shape = std::make_unique<BSTriShape>();
        shape->vertexDesc = MakeVertexDesc(a);
        shape->numVertices = 40;
        shape->dataSize = PackedVertexSize(a) * 40;
        shape->vertexData.records.resize(40);
        randomBytes(shape->vertexData.records.data(), 40 * sizeof(PackedVertex));
        auto skin = std::make_unique<NiSkinPartition>();
        skin->vertexDesc = shape->vertexDesc;
        skin->vertexSize = PackedVertexSize(a);
        skin->dataSize = shape->dataSize;
        skin->vertexData.records = shape->vertexData.records;
        cases.emplace_back(std::move(shape), kForm100);
        cases.emplace_back(std::move(skin), kForm100);
    }
    for (uint32_t keyType : {1u, 2u, 3u, 4u}) {
        auto data = std::make_unique<NiTransformData>();
        data->rotations.keyType = keyType;
        data->rotations.keys.resize(keyType == 4 ? 3 : 20);
        randomBytes(data->rotations.keys.data(), data->rotations.keys.size() * sizeof(QuatKey));
        data->translations.keyType = keyType;
        data->translations.keys.resize(17);
        randomBytes(data->translations.keys.data(), 17 * sizeof(Key<Vector3>));
        data->scales.keyType = keyType;
        data->scales.keys.resize(30);
        randomBytes(data->scales.keys.data(), 30 * sizeof(Key<float>));
        cases.emplace_back(std::move(data), kForm83);
    }
    // Text keys name strings: they cannot move as bytes and are walked.
    auto text = std::make_unique<NiTextKeyExtraData>();
    text->keys.resize(20);
    for (uint32_t i = 0; i < 20; ++i) {
        text->keys[i].time = float(i);
        text->keys[i].value = StringRef(i % 3);
    }
    cases.emplace_back(std::move(text), kForm83);
    for (uint8_t form : {kForm34, kForm83}) {
        auto body = std::make_unique<bhkRigidBody>();
        randomBytes(&body->info, sizeof body->info);
        cases.emplace_back(std::move(body), form);
    }
    for (auto& [block, form] : cases) {
        SCOPED_TRACE(std::string(NameOf(block->Type())) + " form " + std::to_string(form));
        const std::string walked = Walked(*block, form);
        ASSERT_EQ(Written(*block, form), walked);
        const auto copy = ReadBack(block->Type(), walked, form);
        ASSERT_EQ(Walked(*copy, form), walked);
    }
}

namespace {

// A record that claims a fixed layout but names a value outside itself: its lists must be
// walked, as the claim cannot hold.
struct NamesALocal {
    static constexpr bool kRecordLayout = true;
    uint16_t a = 0;
    uint32_t b = 0;
    template <class FieldVisitor>
    void Fields(FieldVisitor& v) {
        v.V(a);
        auto narrow = static_cast<uint8_t>(b);
        v.V(narrow);
        if (v.Reading()) b = narrow;
    }
};

class LocalsBlock : public NiObject {
  public:
    TypeId Type() const override { return TypeId::NiNode; }
    std::unique_ptr<NiObject> Clone() const override {
        return std::make_unique<LocalsBlock>(*this);
    }
    NIF_FIELDS(v) { v.StructList(kCount32, records); }
    std::vector<NamesALocal> records;
};

}  // namespace

TEST(FieldMachinery, RecordsNamingValuesOutsideThemselvesAreWalked) {
    LocalsBlock block;
    for (uint16_t i = 0; i < 40; ++i) block.records.push_back({i, 1000u + i});
    const std::string bytes = Written(block, kForm83);
    ASSERT_EQ(bytes, Walked(block, kForm83));
    ASSERT_EQ(bytes.size(), 4u + 40 * 3);
    LocalsBlock copy;
    NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ReadBody(copy, in, kForm83, 0, nullptr);
    ASSERT_FALSE(in.Failed());
    ASSERT_EQ(copy.records.size(), 40u);
    for (uint16_t i = 0; i < 40; ++i) {
        EXPECT_EQ(copy.records[i].a, i);
        EXPECT_EQ(copy.records[i].b, static_cast<uint8_t>(1000u + i));
    }
}

// Any body cut short fails to read, wherever the cut falls: inside a record moved at once, a
// list, a reference list or a single value.
TEST(FieldMachinery, EveryBodyCutShortFailsToRead) {
    ForEveryRandomBody(3, [](NiObject& block, uint8_t form) {
        const std::string bytes = Written(block, form);
        for (size_t n = 0; n < bytes.size(); ++n) {
            auto copy = CreateBlock(block.Type());
            NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), n);
            ReadBody(*copy, in, form, 8, nullptr);
            ASSERT_TRUE(in.Failed()) << n << " of " << bytes.size() << " bytes";
        }
    });
}

// A body read from a source, with from none to all of its bytes at hand at first, reads as
// one held whole; a body of more than a piece of a file (a shape of 6,000 vertices) too.
TEST(FieldMachinery, BodiesReadFromASourceAsFromMemory) {
    auto readsLikeMemory = [](const NiObject& block, const std::string& bytes, uint8_t form,
                              size_t atHand) {
        BytesSource source(bytes);
        NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), std::min(atHand, bytes.size()),
                     0, &source, bytes.size());
        auto copy = CreateBlock(block.Type());
        ReadBody(*copy, in, form, 8, nullptr);
        ASSERT_FALSE(in.Failed()) << in.Error();
        ASSERT_EQ(in.Remaining(), 0u);
        ASSERT_EQ(Written(*copy, form), bytes);
    };
    ForEveryRandomBody(2, [&](NiObject& block, uint8_t form) {
        const std::string bytes = Written(block, form);
        for (size_t atHand : {size_t{0}, size_t{1}, size_t{5}, size_t{16}, bytes.size() / 2})
            readsLikeMemory(block, bytes, form, atHand);
    });
    NiTriShapeData data;
    data.numVertices = 6000;
    data.hasVertices = true;
    data.vertices.resize(6000);
    data.hasNormals = true;
    data.normals.resize(6000);
    for (uint32_t i = 0; i < 6000; ++i) data.vertices[i] = data.normals[i] = {float(i), 1, 2};
    const std::string bytes = Written(data, kForm83);
    ASSERT_GT(bytes.size(), size_t{100} << 10);
    for (size_t atHand : {size_t{0}, size_t{100}, size_t{70000}})
        readsLikeMemory(data, bytes, kForm83, atHand);
    // Cut short, it fails as in memory, at the same place.
    const std::string cut = bytes.substr(0, bytes.size() - 5);
    BytesSource source(cut);
    NifReader fromSource(reinterpret_cast<const uint8_t*>(cut.data()), 10, 0, &source,
                         bytes.size());
    NifReader inMemory(reinterpret_cast<const uint8_t*>(cut.data()), cut.size());
    NiTriShapeData a, b;
    ReadBody(a, fromSource, kForm83, 8, nullptr);
    ReadBody(b, inMemory, kForm83, 8, nullptr);
    EXPECT_TRUE(fromSource.Failed());
    EXPECT_TRUE(inMemory.Failed());
}

// A writer with a drain hands over exactly the bytes written, in pieces no larger than its
// buffer (a list larger than the buffer goes on its own), and stops calling a drain that failed.
TEST(FieldMachinery, DrainedWritersPassOnEveryByte) {
    for (size_t buffer : {size_t{4096}, size_t{10000}}) {
        for (size_t chunk : {size_t{1}, size_t{7}, buffer - 1, buffer, buffer + 1, 3 * buffer}) {
            SCOPED_TRACE(std::to_string(buffer) + " " + std::to_string(chunk));
            std::string drained, expected;
            size_t largestPiece = 0;
            NifWriter out;
            out.Reserve(buffer);
            out.SetDrain([&](const char* data, size_t size) {
                drained.append(data, size);
                largestPiece = std::max(largestPiece, size);
                return true;
            });
            for (int i = 0; i < 20; ++i) {
                const std::string piece(chunk, static_cast<char>('a' + i));
                out.Bytes(piece.data(), piece.size());
                expected += piece;
            }
            ASSERT_TRUE(out.Flush());
            EXPECT_EQ(drained, expected);
            EXPECT_EQ(out.Drained(), expected.size());
            EXPECT_LE(largestPiece, std::max(buffer, chunk));
        }
    }
    int calls = 0;
    NifWriter failing;
    failing.Reserve(4096);
    failing.SetDrain([&](const char*, size_t) { return ++calls, false; });
    const std::string kilobyte(1024, 'k');
    for (int i = 0; i < 10; ++i) failing.Bytes(kilobyte.data(), kilobyte.size());
    EXPECT_FALSE(failing.Flush());
    EXPECT_EQ(calls, 1);
}

// Blocks of every type made on two threads and freed, in another order, on the other thread
// keep their own values the whole time: no two share memory.
TEST(FieldMachinery, BlocksKeepTheirOwnMemoryAcrossThreads) {
    auto make = [](uint32_t seed, std::vector<std::unique_ptr<NiObject>>& blocks,
                   std::vector<std::string>& bytes) {
        for (int round = 0; round < 3; ++round) {
            for (size_t i = 0; i < kListedTypeCount; ++i) {
                const auto type = static_cast<TypeId>(i);
                if (InfoOf(type).abstract) continue;
                const uint8_t form = Forms(type)[0];
                auto block = CreateBlock(type);
                RandomVisitor random(form, seed++);
                block->Fields(random);
                bytes.push_back(Walked(*block, form));
                blocks.push_back(std::move(block));
            }
        }
    };
    std::vector<std::unique_ptr<NiObject>> first, second;
    std::vector<std::string> firstBytes, secondBytes;
    std::thread a([&] { make(1, first, firstBytes); });
    std::thread b([&] { make(100000, second, secondBytes); });
    a.join();
    b.join();
    for (const auto* set : {&first, &second}) {
        const auto& bytes = set == &first ? firstBytes : secondBytes;
        for (size_t i = 0; i < set->size(); ++i)
            ASSERT_EQ(Walked(*(*set)[i], Forms((*set)[i]->Type())[0]), bytes[i]);
    }
    std::mt19937 rng(5);
    std::shuffle(first.begin(), first.end(), rng);
    std::shuffle(second.begin(), second.end(), rng);
    std::thread c([&] { first.clear(); });
    std::thread d([&] { second.clear(); });
    c.join();
    d.join();
    // The slots freed are taken again.
    std::vector<std::unique_ptr<NiObject>> again;
    std::vector<std::string> againBytes;
    make(7, again, againBytes);
    for (size_t i = 0; i < again.size(); ++i)
        ASSERT_EQ(Walked(*again[i], Forms(again[i]->Type())[0]), againBytes[i]);
}
