// Fills a block's fields with seeded random values through its own description: counts stay
// small, values are mostly small (so conditions on them take every branch), references point
// at blocks 0 to 9.
#pragma once

#include <random>

#include "Visitors.h"

class RandomVisitor : public Visitor {
  public:
    RandomVisitor(uint8_t form, uint32_t seed) : Visitor(VisitMode::kRandom, form), rng_(seed) {}

    void Value(void* data, size_t size, bool isCount) override {
        auto* bytes = static_cast<uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) bytes[i] = 0;
        if (isCount) {
            bytes[0] = static_cast<uint8_t>(Next() % 4);
            return;
        }
        const uint32_t pick = Next() % 8;
        if (pick < 5) {
            // Small values take the branches of conditions (types, flags, has-fields).
            bytes[0] = static_cast<uint8_t>(Next() % 18);
        } else if (pick < 7) {
            bytes[0] = static_cast<uint8_t>(Next() % 2);
        } else {
            for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(Next());
        }
    }
    void Values(const PodList& list, size_t elemSize, uint32_t count) override {
        list.resize(list.vector, count);
        auto* bytes = static_cast<uint8_t*>(list.data(list.vector));
        for (size_t i = 0; i < count * elemSize; ++i) bytes[i] = static_cast<uint8_t>(Next() % 8);
    }
    void VisitRef(BlockRef& ref, RefKind, TypeId) override {
        ref = static_cast<BlockRef>(Next() % 11) - 1;
    }
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t count, RefKind kind, TypeId target,
                   bool) override {
        refs.resize(count);
        for (BlockRef& r : refs) VisitRef(r, kind, target);
    }
    void VisitString(StringRef& s) override { s = static_cast<StringRef>(Next() % 6) - 1; }
    void Text(std::string& text, size_t) override { text.assign(Next() % 5, 'a'); }
    void Rest(std::vector<uint8_t>& raw) override { raw.assign(Next() % 9, 7); }

  private:
    uint32_t Next() { return static_cast<uint32_t>(rng_()); }
    std::mt19937 rng_;
};
