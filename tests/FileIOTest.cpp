// Reading and replacing files on odd paths: long names, read-only and restricted targets,
// things that are not regular files, and telling two paths of one file apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "FileIO.h"
#include "Interrupt.h"
#include "Memory.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(OddPaths, NamesUpToTheLongestAFolderHolds) {
    const NifFile f = MakeBodyMesh(true);
    for (size_t length : {241u, 250u, 255u}) {
        TempDir dir;
        const std::string name = std::string(length - 4, 'n') + ".nif";
        ASSERT_EQ(f.Save(dir.Path(name).string()), rc::kOk) << length << ": " << f.LastError();
        ASSERT_EQ(f.Save(dir.Path(name).string()), rc::kOk) << "replacing, " << length;
        EXPECT_EQ(ReadFileBytes(dir.Path(name)), SaveBytes(f));
        EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{name});
    }
}

TEST(OddPaths, ReplacedTargetsKeepTheirModeAndReadOnlyOnesAreRefused) {
    const NifFile f = MakeBodyMesh(true);
    TempDir dir;
    const Bytes old = {1, 2, 3};
    WriteFileBytes(dir.Path("ro.nif"), old);
    fs::permissions(dir.Path("ro.nif"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(f.Save(dir.Path("ro.nif").string()), rc::kCannotOpen);
    EXPECT_NE(f.LastError().find("ro.nif': it is read-only"), std::string::npos) << f.LastError();
    EXPECT_EQ(ReadFileBytes(dir.Path("ro.nif")), old);
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"ro.nif"});
#ifndef _WIN32
    // 0666 and 06755 are more than the usual creation mask lets a new file have.
    for (const fs::perms mode :
         {fs::perms(0640), fs::perms(0600), fs::perms(0755), fs::perms(0666), fs::perms(06755)}) {
        WriteFileBytes(dir.Path("rw.nif"), old);
        fs::permissions(dir.Path("rw.nif"), mode);
        ASSERT_EQ(f.Save(dir.Path("rw.nif").string()), rc::kOk) << f.LastError();
        EXPECT_EQ(fs::status(dir.Path("rw.nif")).permissions(), mode);
        EXPECT_EQ(ReadFileBytes(dir.Path("rw.nif")), SaveBytes(f));
    }
#endif
}

// A target that shares its contents with another name (a hard link, or a symbolic link to
// it) is replaced by the new file; the other name keeps the old contents.
TEST(OddPaths, ALinkedTargetIsReplacedAndWhatItSharedWithIsNot) {
    const NifFile f = MakeBodyMesh(true);
    const Bytes old = {1, 2, 3};
    for (bool symbolic : {false, true}) {
#ifdef _WIN32
        if (symbolic) continue;  // creating one takes a privilege there
#endif
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        TempDir dir;
        WriteFileBytes(dir.Path("staged.nif"), old);
        if (symbolic) {
            fs::create_symlink("staged.nif", dir.Path("target.nif"));
        } else {
            fs::create_hard_link(dir.Path("staged.nif"), dir.Path("target.nif"));
        }
        ASSERT_EQ(f.Save(dir.Path("target.nif").string()), rc::kOk) << f.LastError();
        EXPECT_FALSE(fs::is_symlink(dir.Path("target.nif")));
        EXPECT_EQ(ReadFileBytes(dir.Path("target.nif")), SaveBytes(f));
        EXPECT_EQ(ReadFileBytes(dir.Path("staged.nif")), old);
        EXPECT_EQ(Names(dir.Root()), (std::vector<std::string>{"staged.nif", "target.nif"}));
    }
}

TEST(OddPaths, ReadingSaysWhyAFileCannotBeRead) {
    TempDir dir;
    struct Case {
        fs::path path;
        const char* reason;
    };
    std::vector<Case> cases = {{dir.Path("missing.nif"), "does not exist"},
                               {dir.Root(), "not a regular file"}};
#ifndef _WIN32
    ASSERT_EQ(mkfifo(dir.Path("fifo.nif").c_str(), 0600), 0);
    cases.push_back({dir.Path("fifo.nif"), "not a regular file"});
    // Its size says 0, yet it has bytes: a file that grows while read.
    cases.push_back({"/proc/self/status", "changed its size"});
#endif
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_EQ(ReadWholeFile(c.path.string(), bytes, error), rc::kCannotOpen) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
        EXPECT_TRUE(bytes.empty());
    }
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_EQ(ReadWholeFile(SamplePath(kSampleMeshName).string(), bytes, error), rc::kOk);
    EXPECT_EQ(bytes, ReadFileBytes(SamplePath(kSampleMeshName)));
}

TEST(OddPaths, SameFileFollowsIdentityNotSpelling) {
    TempDir dir;
    fs::create_directory(dir.Path("sub"));
    WriteFileBytes(dir.Path("a.nif"), {1});
    WriteFileBytes(dir.Path("b.nif"), {1});
    const std::string a = dir.Path("a.nif").string();
    EXPECT_TRUE(SameFile(a, dir.Path("sub/../a.nif").string()));
    EXPECT_FALSE(SameFile(a, dir.Path("b.nif").string()));
    EXPECT_TRUE(SameFile(dir.Path("new.nif").string(), dir.Path("sub/../new.nif").string()));
    EXPECT_FALSE(SameFile(a, dir.Path("new.nif").string()));
#ifndef _WIN32
    fs::create_hard_link(dir.Path("a.nif"), dir.Path("link.nif"));
    EXPECT_TRUE(SameFile(a, dir.Path("link.nif").string()));
#endif
}

// An interruption requested while a file is written abandons it: the pieces after it are not
// written, the temporary file goes and the target keeps its old bytes. Saves of both sizes
// (one piece, and a large mesh in pieces) stop the same way.
TEST(OddPaths, AnInterruptedWriteLeavesTheTargetAsItWas) {
    TempDir dir;
    const Bytes old = {1, 2, 3};
    WriteFileBytes(dir.Path("t.nif"), old);
    std::string error;
    size_t pieces = 0;
    const int code = WriteFileAtomically(
        dir.Path("t.nif").string(),
        [&](OutputFile& out) {
            for (int i = 0; i < 4; ++i) {
                if (i == 2) RequestInterrupt();
                if (!out.Write("abcd", 4)) return false;
                ++pieces;
            }
            return true;
        },
        error);
    EXPECT_EQ(code, rc::kInterrupted);
    EXPECT_EQ(pieces, 2u);
    EXPECT_NE(error.find("interrupted while writing"), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(dir.Path("t.nif")), old);
    EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"t.nif"});
    for (const NifFile& f : {MakeBodyMesh(true), MakeLargeMesh(150000, 12, 83)}) {
        EXPECT_EQ(f.Save(dir.Path("t.nif").string()), rc::kInterrupted);
        EXPECT_EQ(ReadFileBytes(dir.Path("t.nif")), old);
        EXPECT_EQ(Names(dir.Root()), std::vector<std::string>{"t.nif"});
    }
    ClearInterrupt();
    EXPECT_EQ(WriteFileAtomically(dir.Path("t.nif").string(), std::string("new"), error), rc::kOk);
    EXPECT_EQ(ReadFileBytes(dir.Path("t.nif")), (Bytes{'n', 'e', 'w'}));
}

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// A batch run keeps what it frees for the next file: a large list freed stays with the
// program instead of going back to the system (and faulting in again page by page).
TEST(Memory, FreedListsStayForTheNextFile) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33)) && \
    !defined(PELLMAR_TEST_ASAN)  // the sanitizer's allocator takes no such setting
    KeepFreedMemoryForReuse();
    constexpr size_t kSize = 30u << 20;
    {
        std::vector<char> list(kSize);
        std::memset(list.data(), 1, list.size());
    }
    EXPECT_GE(mallinfo2().fordblks, kSize);
#else
    GTEST_SKIP() << "the allocator in use has no such setting";
#endif
}
