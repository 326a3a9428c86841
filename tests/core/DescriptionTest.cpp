// Generic tests driven by the block descriptions themselves: every listed type, in every form
// it exists in, written from random field values reads back to the same bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "BodyBytes.h"
#include "NifFile.h"
#include "RandomVisitor.h"
#include "ResultCodes.h"
#include "SheetCheck.h"

namespace {

// A file with no blocks in the form of these user versions.
NifFile EmptyFile(uint32_t user, uint32_t user2) {
    NifFile f;
    const char line[] = "Gamebryo File Format, Version 20.2.0.7";
    std::copy(line, line + f.header.headerLine.size(), f.header.headerLine.begin());
    f.header.version = {0x07, 0x00, 0x02, 0x14};
    f.header.userVersion = user;
    f.header.userVersion2 = user2;
    f.header.exportInfo1 = f.header.exportInfo2 = f.header.creator = std::string(1, '\0');
    return f;
}

// A random body of the type in the form that a file can hold (its references pointing
// nowhere), or nullptr when the draw gave values the writer refuses (a size without its
// record size).
std::unique_ptr<NiObject> RandomBody(TypeId type, uint8_t form, uint32_t seed) {
    auto block = CreateBlock(type);
    RandomVisitor random(form, seed);
    block->Fields(random);
    ForEachRef(*block, form, [](BlockRef& r, RefKind, TypeId) { r = kNoBlock; });
    NifWriter probe;
    if (!WriteBody(*block, probe, form).empty()) return nullptr;
    return block;
}

constexpr std::tuple<uint8_t, uint32_t, uint32_t> kForms[] = {
    {kForm34, 11, 34}, {kForm83, 12, 83}, {kForm100, 12, 100}};

}  // namespace

TEST(Descriptions, EveryTypeReadsBackWhatItWrites) {
    for (size_t i = 0; i < kListedTypeCount; ++i) {
        const auto type = static_cast<TypeId>(i);
        if (InfoOf(type).abstract) continue;
        for (uint8_t form : Forms(type)) {
            uint32_t written = 0;
            for (uint32_t seed = 0; seed < 40; ++seed) {
                SCOPED_TRACE(std::string(NameOf(type)) + " form " + std::to_string(form) +
                             " seed " + std::to_string(seed));
                auto block = CreateBlock(type);
                ASSERT_NE(block, nullptr);
                ASSERT_EQ(block->Type(), type);
                RandomVisitor random(form, seed);
                block->Fields(random);
                // Values no file may hold (records that disagree with their description) are
                // refused by the writer; those draws are left out.
                NifWriter probe;
                if (!WriteBody(*block, probe, form).empty()) continue;
                ++written;
                const std::string bytes = Written(*block, form);
                auto copy = CreateBlock(type);
                NifReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                ReadBody(*copy, in, form, 8, nullptr);
                ASSERT_FALSE(in.Failed()) << in.Error();
                ASSERT_EQ(in.Remaining(), 0u);
                ASSERT_EQ(Written(*copy, form), bytes);
                ASSERT_EQ(Written(*block->Clone(), form), bytes);
            }
            EXPECT_GT(written, 0u) << NameOf(type) << " form " << int{form};
        }
    }
}

// A block switched to the other form and back writes the same bytes: fields of one form keep
// their values in memory and each block's own conversion (layers, materials) is reversible.
TEST(Descriptions, FormSwitchThereAndBackKeepsEveryByte) {
    for (size_t i = 0; i < kListedTypeCount; ++i) {
        const auto type = static_cast<TypeId>(i);
        const uint8_t forms = InfoOf(type).forms;
        if (InfoOf(type).abstract || !(forms & kForm34) || !(forms & kForm83)) continue;
        for (auto [from, to] : {std::pair{kForm83, kForm34}, std::pair{kForm34, kForm83}}) {
            for (uint32_t seed = 0; seed < 20; ++seed) {
                SCOPED_TRACE(std::string(NameOf(type)) + " seed " + std::to_string(seed));
                auto block = CreateBlock(type);
                RandomVisitor random(from, seed);
                block->Fields(random);
                const std::string bytes = Written(*block, from);
                std::vector<std::string> notes;
                block->SwitchForm(from, to, notes);
                block->SwitchForm(to, from, notes);
                ASSERT_EQ(Written(*block, from), bytes);
            }
        }
    }
}

TEST(Descriptions, ListNamesAndParents) {
    for (size_t i = 0; i < kListedTypeCount; ++i) {
        const auto type = static_cast<TypeId>(i);
        EXPECT_EQ(TypeByName(NameOf(type)), type);
        EXPECT_TRUE(IsA(type, TypeId::NiObject)) << NameOf(type);
        // A type exists only where its parent does.
        EXPECT_EQ(InfoOf(type).forms & ~InfoOf(InfoOf(type).parent).forms, 0) << NameOf(type);
    }
    // Names match whole and with their case: a prefix, a longer name or another case is none.
    for (const char* other : {"NoSuchType", "", "NiNod", "NiNodeX", "ninode", "NINODE"})
        EXPECT_EQ(TypeByName(other), TypeId::kUnlisted) << other;
    EXPECT_EQ(TypeByName(std::string(300, 'N')), TypeId::kUnlisted);
    // The type test agrees with walking the parents, for every pair of types.
    for (size_t t = 0; t < kListedTypeCount; ++t) {
        for (size_t b = 0; b < kListedTypeCount; ++b) {
            bool walked = false;
            for (auto at = static_cast<TypeId>(t);; at = InfoOf(at).parent) {
                walked = walked || at == static_cast<TypeId>(b);
                if (InfoOf(at).parent == at) break;
            }
            ASSERT_EQ(IsA(static_cast<TypeId>(t), static_cast<TypeId>(b)), walked)
                << NameOf(static_cast<TypeId>(t)) << " " << NameOf(static_cast<TypeId>(b));
        }
    }
}

#ifdef PELLMAR_CORPUS_DIR
// Every listed type, in every form it exists in, written from random field values, is read
// by the independent reader to exactly its size: the descriptions follow the format sheet
// field by field (the round trip alone cannot tell a field of the wrong width or form).
TEST(Descriptions, AnIndependentReaderReadsEveryTypeAsWritten) {
    const std::filesystem::path checker = SheetChecker();
    if (checker.empty()) GTEST_SKIP() << "no sheet reader or python3";
    std::vector<uint8_t> sheet;
    std::string error;
    ASSERT_EQ(
        ReadWholeFile((checker.parent_path() / "../../format/layouts.txt").string(), sheet, error),
        rc::kOk)
        << error;
    const std::string sheetTypes(sheet.begin(), sheet.end());
    const std::filesystem::path out = UniqueTempDir("pellmar-types");
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    std::vector<std::string> files;
    for (auto [form, user, user2] : kForms) {
        NifFile f = EmptyFile(user, user2);
        for (const char* text : {"a", "b", "c", "d", "e", "f"}) f.AddString(text);
        for (size_t i = 0; i < kListedTypeCount; ++i) {
            const auto type = static_cast<TypeId>(i);
            if (InfoOf(type).abstract || !(InfoOf(type).forms & form)) continue;
            // Older node types the sheet does not list.
            if (sheetTypes.find(std::string("block ") + NameOf(type) + " ") == std::string::npos)
                continue;
            for (uint32_t seed = 0; seed < 4; ++seed) {
                if (auto block = RandomBody(type, form, seed)) f.AppendBlock(std::move(block));
            }
        }
        const auto path = out / ("types-" + std::to_string(user2) + ".nif");
        ASSERT_EQ(f.Save(path.string()), rc::kOk) << f.LastError();
        files.push_back(path.string());
    }
    EXPECT_EQ(SheetCheck(checker, files, out / "report.txt"), "");
    std::filesystem::remove_all(out);
}

// A file holding a block of every type its form has loads each body into a block of the type
// its header names, with the values written: loading makes each block through a table of
// types that has to stay in step with the list.
TEST(Descriptions, LoadingMakesEachBlockOfTheTypeItsHeaderNames) {
    for (auto [form, user, user2] : kForms) {
        SCOPED_TRACE("form " + std::to_string(form));
        NifFile made = EmptyFile(user, user2);
        std::vector<TypeId> types;
        std::vector<std::string> bodies;
        for (size_t i = 0; i < kListedTypeCount; ++i) {
            const auto type = static_cast<TypeId>(i);
            if (InfoOf(type).abstract || !(InfoOf(type).forms & form)) continue;
            auto block = RandomBody(type, form, static_cast<uint32_t>(i));
            if (!block) continue;
            types.push_back(type);
            bodies.push_back(Written(*block, form));
            made.AppendBlock(std::move(block));
        }
        ASSERT_GT(types.size(), 100u);
        std::string bytes;
        ASSERT_EQ(made.SaveToMemory(bytes), rc::kOk) << made.LastError();
        NifFile loaded;
        ASSERT_EQ(loaded.LoadFromMemory(std::vector<uint8_t>(bytes.begin(), bytes.end())), rc::kOk)
            << loaded.LastError();
        ASSERT_EQ(loaded.blocks.size(), types.size());
        for (size_t i = 0; i < types.size(); ++i) {
            ASSERT_EQ(loaded.blocks[i]->Type(), types[i]) << NameOf(types[i]);
            EXPECT_EQ(Written(*loaded.blocks[i], form), bodies[i]) << NameOf(types[i]);
        }
    }
}

// Deleting any one block of a real file leaves every reference pointing at a block of the
// type its field declares, as an independent reader driven by the format sheet sees it: a
// reference the descriptions fail to enumerate keeps its old index and points elsewhere.
TEST(Descriptions, DeletingAnyBlockLeavesReferencesAnIndependentReaderAccepts) {
    const std::filesystem::path dir = PELLMAR_CORPUS_DIR;
    const std::filesystem::path checker = SheetChecker();
    if (!std::filesystem::exists(dir) || checker.empty())
        GTEST_SKIP() << "no corpus, sheet reader or python3";
    const std::filesystem::path out = UniqueTempDir("pellmar-deletions");
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".nif") continue;
        NifFile f;
        ASSERT_EQ(f.Load(entry.path().string()), rc::kOk);
        for (uint32_t i = 0; i < f.blocks.size(); ++i) {
            NifFile edited = f;
            edited.DeleteBlock(i);
            EXPECT_EQ(edited.CheckConsistency(), "") << entry.path() << " without block " << i;
            const auto path =
                out / (entry.path().stem().string() + "-" + std::to_string(i) + ".nif");
            ASSERT_EQ(edited.Save(path.string()), rc::kOk) << edited.LastError();
            files.push_back(path.string());
        }
    }
    EXPECT_EQ(SheetCheck(checker, files, out / "report.txt"), "");
    std::filesystem::remove_all(out);
}

TEST(Descriptions, CorpusFilesWriteBackIdentically) {
    const std::filesystem::path dir = PELLMAR_CORPUS_DIR;
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".nif") continue;
        SCOPED_TRACE(entry.path().string());
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_EQ(ReadWholeFile(entry.path().string(), bytes, error), rc::kOk);
        NifFile f;
        ASSERT_EQ(f.LoadFromMemory(bytes), rc::kOk) << f.LastError();
        std::string out;
        ASSERT_EQ(f.SaveToMemory(out), rc::kOk) << f.LastError();
        const std::string in(bytes.begin(), bytes.end());
        const auto diff = std::mismatch(out.begin(), out.end(), in.begin(), in.end());
        EXPECT_TRUE(diff.first == out.end() && diff.second == in.end())
            << "first difference at byte " << (diff.first - out.begin()) << " of " << in.size();
        EXPECT_EQ(f.CheckConsistency(), "");
        for (const BlockName& b : f.OpaqueBlocks()) ADD_FAILURE() << "opaque " << b.type;
    }
}
#endif
