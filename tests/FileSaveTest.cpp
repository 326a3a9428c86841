// Saving: a target is replaced only by a complete, consistent file.
#include <gtest/gtest.h>

#include "Geometry.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Scene.h"
#include "TestSupport.h"
#include "Visitors.h"

namespace fs = std::filesystem;

namespace {

// Fails at the chosen step, after passing a few bytes on to a real file.
class FailingFile : public OutputFile {
  public:
    enum Step { kWrite, kFlush, kClose };
    FailingFile(std::unique_ptr<OutputFile> real, Step step)
        : real_(std::move(real)), step_(step) {}
    bool Write(const char* data, size_t size) override {
        real_->Write(data, size / 2);
        return step_ != kWrite;
    }
    bool Flush() override { return real_->Flush() && step_ != kFlush; }
    bool Close() override { return real_->Close() && step_ != kClose; }

  private:
    std::unique_ptr<OutputFile> real_;
    Step step_;
};

OutputOpener FailingOpener(FailingFile::Step step) {
    return [step](const std::string& path) -> std::unique_ptr<OutputFile> {
        return std::make_unique<FailingFile>(StandardOutputOpener()(path), step);
    };
}

// The first block the header lists under that type name.
size_t BlockNamed(const NifFile& f, const std::string& type) {
    for (uint32_t i = 0; i < f.blocks.size(); ++i) {
        if (f.TypeNameOf(i) == type) return i;
    }
    ADD_FAILURE() << "no " << type;
    return 0;
}

size_t FilesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace

TEST(FileSave, WritesExactlyTheSerializedBytes) {
    TempDir dir;
    const NifFile f = MakeBodyMesh(true);
    ASSERT_EQ(f.Save(dir.Path("out.nif").string()), rc::kOk);
    EXPECT_EQ(ReadFileBytes(dir.Path("out.nif")), SaveBytes(f));
    // Replacing an existing file.
    WriteFileBytes(dir.Path("old.nif"), Bytes(5000, 7));
    ASSERT_EQ(f.Save(dir.Path("old.nif").string()), rc::kOk);
    EXPECT_EQ(ReadFileBytes(dir.Path("old.nif")), SaveBytes(f));
    EXPECT_EQ(FilesIn(dir.Root()), 2u);
}

// A file is written in one pass through memory or, when large, counted and then written in
// pieces; both give the bytes SaveToMemory gives, as does writing the pieces anywhere else.
TEST(FileSave, PiecesMakeTheSameFileAsOnePass) {
    TempDir dir;
    for (const bool isLarge : {false, true}) {
        const NifFile f = isLarge ? MakeLargeMesh(12000, 12, 83) : MakeBodyMesh(true);
        std::string whole;
        ASSERT_EQ(f.SaveToMemory(whole), rc::kOk);
        // The vertex lists of 64 KB or more (the large mesh's 144 KB) go to the sink as they
        // are, not copied into a piece first.
        std::vector<const std::vector<Vector3>*> large;
        for (const auto& block : f.blocks) {
            const auto* data = dynamic_cast<const NiGeometryData*>(block.get());
            if (data && data->vertices.size() * sizeof(Vector3) >= size_t{64} << 10)
                large.push_back(&data->vertices);
        }
        EXPECT_EQ(large.empty(), !isLarge);
        std::string pieces;
        size_t calls = 0, largest = 0, direct = 0;
        ASSERT_EQ(f.SaveInPieces([&](const char* data, size_t size) {
            pieces.append(data, size);
            largest = std::max(largest, size);
            for (const auto* list : large) {
                direct += data == reinterpret_cast<const char*>(list->data()) &&
                          size == list->size() * sizeof(Vector3);
            }
            return ++calls, true;
        }),
                  rc::kOk);
        EXPECT_EQ(pieces, whole);
        EXPECT_EQ(direct, large.size());
        // No list of these meshes is as large as a piece: the rest came in pieces of 256 KB.
        EXPECT_LE(largest, size_t{256} << 10);
        EXPECT_GE(calls, whole.size() / (size_t{256} << 10));
        ASSERT_EQ(f.Save(dir.Path("out.nif").string()), rc::kOk) << f.LastError();
        EXPECT_EQ(ReadFileBytes(dir.Path("out.nif")), Bytes(whole.begin(), whole.end()));
        // A sink that gives up is not called again, and the save says so.
        calls = 0;
        EXPECT_EQ(f.SaveInPieces([&](const char*, size_t) { return ++calls, false; }),
                  rc::kWriteFailed);
        EXPECT_EQ(calls, 1u);
    }
    // An inconsistent file reaches no sink.
    NifFile bad = MakeBodyMesh(true);
    bad.roots = {99};
    EXPECT_EQ(bad.SaveInPieces([](const char*, size_t) {
        ADD_FAILURE() << "written";
        return true;
    }),
              rc::kInconsistent);
}

TEST(FileSave, WriteErrorsLeaveTheTargetUntouched) {
    // Small files are written in one piece, large ones (over a megabyte) in many.
    for (const NifFile& f : {MakeBodyMesh(true), MakeLargeMesh(12000, 11, 34)}) {
        for (auto step : {FailingFile::kWrite, FailingFile::kFlush, FailingFile::kClose}) {
            TempDir dir;
            const Bytes previous = {1, 2, 3};
            WriteFileBytes(dir.Path("out.nif"), previous);
            EXPECT_EQ(f.Save(dir.Path("out.nif").string(), FailingOpener(step)), rc::kWriteFailed);
            EXPECT_EQ(ReadFileBytes(dir.Path("out.nif")), previous);
            EXPECT_EQ(FilesIn(dir.Root()), 1u) << "temporary file left behind";
            EXPECT_EQ(f.Save(dir.Path("new.nif").string(), FailingOpener(step)), rc::kWriteFailed);
            EXPECT_FALSE(fs::exists(dir.Path("new.nif")));
        }
    }
}

TEST(FileSave, UnwritableTargetsAreRefused) {
    TempDir dir;
    const NifFile f = MakeBodyMesh(true);
    WriteFileBytes(dir.Path("file.nif"), {1});
    EXPECT_EQ(f.Save(dir.Path("file.nif/out.nif").string()), rc::kCannotOpen);
    EXPECT_EQ(ReadFileBytes(dir.Path("file.nif")), Bytes{1});
    fs::create_directory(dir.Path("folder.nif"));
    EXPECT_EQ(f.Save(dir.Path("folder.nif").string()), rc::kNotRegularFile);
    EXPECT_TRUE(fs::is_directory(dir.Path("folder.nif")));
#ifndef _WIN32
    EXPECT_EQ(f.Save("/dev/null"), rc::kNotRegularFile);
#endif
    EXPECT_FALSE(f.LastError().empty());
}

// A block kept as raw bytes under a listed type's name is written as it is, and references to
// it cannot be judged by their type, whatever its name.
TEST(FileSave, ABlockOfRawBytesUnderAListedNameIsWrittenAsItIs) {
    NifFile f = MakeBodyMesh(true);
    std::string before;
    ASSERT_EQ(f.SaveToMemory(before), rc::kOk);
    const size_t alpha = BlockNamed(f, "NiAlphaProperty");
    ASSERT_GT(alpha, f.blocks.size() / 2) << "the block should follow the shapes";
    NifWriter body;
    ASSERT_EQ(WriteBody(*f.blocks[alpha], body, f.Form()), "");
    auto raw = std::make_unique<OpaqueBlock>();
    raw->raw.assign(body.Data(), body.Data() + body.Size());
    f.blocks[alpha] = std::move(raw);
    std::string after;
    ASSERT_EQ(f.SaveToMemory(after), rc::kOk) << f.LastError();
    EXPECT_EQ(after, before);
    f.FindShapeByName("Body")->data = static_cast<BlockRef>(alpha);
    EXPECT_EQ(f.SaveToMemory(after), rc::kOk) << f.LastError();
}

TEST(FileSave, RefusesAFileWhoseTablesLie) {
    struct Case {
        const char* what;
        void (*spoil)(NifFile&);
        const char* mention;
    };
    const Case cases[] = {
        {"block count", [](NifFile& f) { f.header.numBlocks += 1; }, "numBlocks"},
        {"string count", [](NifFile& f) { f.header.numStrings = 0; }, "numStrings"},
        {"type index", [](NifFile& f) { f.header.blockTypeIndex[0] = 200; }, "type index"},
        {"list and its count",
         [](NifFile& f) {
             f.BlockAs<NiTriShapeData>(f.FindShapeByName("Body")->data)->numVertices += 1;
         },
         "does not match its count"},
        {"reference out of range", [](NifFile& f) { f.FindShapeByName("Body")->data = 99; },
         "refers to block 99"},
        {"reference of the wrong family", [](NifFile& f) { f.FindShapeByName("Body")->data = 0; },
         "where a NiGeometryData belongs"},
        {"block of another type than the header names",
         [](NifFile& f) {
             f.blocks[BlockNamed(f, "NiMaterialProperty")] = std::make_unique<NiNode>();
         },
         "but the header names its type NiMaterialProperty"},
        // The shape comes first: its reference is judged by the block's real type, not by the
        // name the header gives it.
        {"reference to a block of another type than the header names",
         [](NifFile& f) {
             const size_t alpha = BlockNamed(f, "NiAlphaProperty");
             f.blocks[alpha] = std::make_unique<NiTriShapeData>();
             f.FindShapeByName("Body")->data = static_cast<BlockRef>(alpha);
         },
         "is a NiTriShapeData but the header names its type NiAlphaProperty"},
        {"root out of range",
         [](NifFile& f) {
             f.roots = {0, 40};
         },
         "names block 40 as a root"},
    };
    // A file made in memory has no body sizes yet; a loaded one has them, and is saved
    // without counting its bodies first.
    NifFile loaded;
    std::string bytes;
    ASSERT_EQ(MakeBodyMesh(true).SaveToMemory(bytes), rc::kOk);
    ASSERT_EQ(loaded.LoadFromMemory(std::vector<uint8_t>(bytes.begin(), bytes.end())), rc::kOk);
    for (const Case& c : cases) {
        for (const bool wasLoaded : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (wasLoaded ? ", loaded" : ", made"));
            TempDir dir;
            NifFile f = wasLoaded ? loaded : MakeBodyMesh(true);
            c.spoil(f);
            EXPECT_EQ(f.Save(dir.Path("out.nif").string()), rc::kInconsistent);
            EXPECT_NE(f.LastError().find(c.mention), std::string::npos) << f.LastError();
            EXPECT_EQ(FilesIn(dir.Root()), 0u);
        }
    }
}
