// One block's body as bytes and back, in each form its type exists in, for tests of single blocks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "NiObject.h"
#include "NifReader.h"
#include "NifWriter.h"
#include "TypeList.h"
#include "Visitors.h"

// The forms a listed type exists in.
inline std::vector<uint8_t> Forms(TypeId t) {
    std::vector<uint8_t> forms;
    for (uint8_t f : {kForm34, kForm83, kForm100})
        if (InfoOf(t).forms & f) forms.push_back(f);
    return forms;
}

inline std::string Written(const NiObject& block, uint8_t form) {
    NifWriter out;
    EXPECT_EQ(WriteBody(block, out, form), "");
    return out.Buffer();
}

// Reads bytes into a new block of the type; the test fails unless it read all of them.
inline std::unique_ptr<NiObject> ReadBack(TypeId type, const std::string& bytes, uint8_t form) {
    auto block = CreateBlock(type);
    NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ReadBody(*block, in, form, 8, nullptr);
    EXPECT_FALSE(in.Failed()) << in.Error();
    EXPECT_EQ(in.Remaining(), 0u);
    return block;
}
