// How much memory the commands that promise not to hold a mesh twice take at their peak, as a
// multiple of the file's size. This program counts its own allocations: every operator new
// and delete of the process goes through the counter below. Sanitizer builds keep their own
// allocator, so there the tests skip.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <sstream>
#include <string>

#include "Commands.h"
#include "ConvertCommands.h"
#include "NifFile.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

std::atomic<int64_t> live{0}, peak{0};

}  // namespace

#ifndef PELLMAR_TEST_ASAN
namespace {

// Each allocation keeps its size in front of the bytes it hands out.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t n) {
    void* p = std::malloc(n + kHeader);
    if (!p) throw std::bad_alloc();
    *static_cast<size_t*>(p) = n;
    const int64_t now = live.fetch_add(static_cast<int64_t>(n)) + static_cast<int64_t>(n);
    int64_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return static_cast<char*>(p) + kHeader;
}

void Free(void* p) noexcept {
    if (!p) return;
    char* base = static_cast<char*>(p) - kHeader;
    live.fetch_sub(static_cast<int64_t>(*reinterpret_cast<size_t*>(base)));
    std::free(base);
}

}  // namespace

void* operator new(size_t n) {
    return Allocate(n);
}
void* operator new[](size_t n) {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    Free(p);
}
void operator delete[](void* p) noexcept {
    Free(p);
}
void operator delete(void* p, size_t) noexcept {
    Free(p);
}
void operator delete[](void* p, size_t) noexcept {
    Free(p);
}
#endif

namespace {

// The most memory held at once while `run` runs, beyond what was held before it.
template <class Run>
int64_t PeakOf(Run run) {
    const int64_t before = live.load();
    peak.store(before);
    run();
    return peak.load() - before;
}

struct Case {
    const char* name;
    const char* form;  // the mesh's: le (12/83) or se (12/100)
    const char* command;
    double most;  // the peak's limit, times the file's size
};

// A skinned mesh of 120,000 vertices in sixteen shapes: several megabytes, like a body or an
// armour, in which one shape is a small part of the whole.
TEST(PeakMemory, CommandsHoldAMeshOnceAndAShapeMore) {
#ifdef PELLMAR_TEST_ASAN
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#endif
    const TempDir dir;
    const std::filesystem::path le = dir.Path("mesh-le.nif"), se = dir.Path("mesh-se.nif");
    {
        NifFile mesh = MakeSkinnedMesh(120000, 12, 83, 7500, false);
        ASSERT_EQ(mesh.Save(le.string()), rc::kOk) << mesh.LastError();
    }
    {
        ConvertOptions convert;
        convert.run.inputs = {le.string()};
        convert.run.output = se.string();
        convert.run.jobs = 1;
        convert.to = "se";
        std::ostringstream out, err;
        ASSERT_EQ(RunConvert(convert, out, err), 0) << err.str();
    }
    // The limits are the goals: check under twice the file's size, a conversion under one and
    // a half times. Measured: check 1.04 (game form) and 1.13 (Special Edition), convert
    // --to se 1.15, --to le 1.37 of the input's size; a conversion to the Special Edition
    // that kept every old shape to the end took 1.64.
    const Case cases[] = {
        {"check, game form", "le", "check", 2.0},
        {"check, Special Edition", "se", "check", 2.0},
        {"convert --to se", "le", "se", 1.5},
        {"convert --to le", "se", "le", 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path in = std::string(c.form) == "le" ? le : se;
        const std::filesystem::path out = dir.Path(std::string("out-") + c.command + ".nif");
        std::ostringstream text, err;
        int code = -1;
        const int64_t held = PeakOf([&] {
            if (std::string(c.command) == "check") {
                BatchOptions check;
                check.inputs = {in.string()};
                check.jobs = 1;
                code = RunCheck(check, text, err);
            } else {
                ConvertOptions convert;
                convert.run.inputs = {in.string()};
                convert.run.output = out.string();
                convert.run.jobs = 1;
                convert.to = c.command;
                code = RunConvert(convert, text, err);
            }
        });
        EXPECT_EQ(code, 0) << err.str();
        const auto size = static_cast<double>(std::filesystem::file_size(in));
        EXPECT_LT(static_cast<double>(held) / size, c.most)
            << held << " bytes at the peak for a file of " << size;
    }
}

}  // namespace
