// Seeded random sequences of edits keep every table and reference consistent, and what is
// saved loads back to the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "FormSwitch.h"
#include "SampleFiles.h"
#include "TestSupport.h"

namespace {

void ExpectSavedFileLoadsBackEqual(const NifFile& f, const std::string& step) {
    const Bytes saved = SaveBytes(f);
    NifFile reloaded;
    ASSERT_EQ(reloaded.LoadFromMemory(saved), 0) << step << ": " << reloaded.LastError();
    ASSERT_EQ(SaveBytes(reloaded), saved) << step;
}

// One random edit; returns what it did.
std::string RandomEdit(NifFile& f, const NifFile& library, std::mt19937& rng) {
    auto pick = [&](size_t n) {
        return static_cast<size_t>(std::uniform_int_distribution<size_t>(0, n - 1)(rng));
    };
    std::vector<std::string> shapes, shaders;
    f.GetShapeNames(shapes);
    library.GetShaderNames(shaders);
    switch (pick(5)) {
        case 0:
            if (f.blocks.empty()) return "nothing";
            {
                const auto i = static_cast<uint32_t>(pick(f.blocks.size()));
                f.DeleteBlock(i);
                return "delete block " + std::to_string(i);
            }
        case 1:
            if (f.header.blockTypes.empty()) return "nothing";
            {
                const std::string type = f.header.blockTypes[pick(f.header.blockTypes.size())];
                // One pass and one by one from the highest index must agree.
                NifFile apart = f;
                std::vector<uint32_t> indices;
                for (uint32_t i = 0; i < apart.blocks.size(); ++i) {
                    if (apart.TypeNameOf(i) == type) indices.push_back(i);
                }
                for (auto it = indices.rbegin(); it != indices.rend(); ++it) apart.DeleteBlock(*it);
                f.DeleteBlocksOfType(type);
                EXPECT_EQ(SaveBytes(f), SaveBytes(apart)) << type;
                return "delete type " + type;
            }
        case 2: {
            // Callers refuse to switch files with blocks whose layout Pellmar does not know.
            if (!f.OpaqueBlocks().empty() || f.Form() == 0) return "nothing";
            const bool game = f.header.userVersion == 11;
            SwitchForm(f, game ? 12 : 11, game ? 83 : 34);
            return game ? "to game form" : "to Blender form";
        }
        case 3:
            if (shapes.empty()) return "nothing";
            {
                const std::string from = shapes[pick(shapes.size())];
                const std::string to = pick(2) ? from + "x" : "S" + std::to_string(pick(100));
                f.RenameShape(from, to);
                return "rename " + from + " to " + to;
            }
        default:
            if (shapes.empty() || f.header.userVersion != 12) return "nothing";
            {
                const std::string shape = shapes[pick(shapes.size())];
                const std::string shader = shaders[pick(shaders.size())];
                (void)f.AssignShader(shape, shader, library, pick(2) == 1);
                return "assign " + shader + " to " + shape;
            }
    }
}

void RunSequences(const NifFile& start, int sequences, int steps) {
    const NifFile library = MakeSampleLibrary();
    for (int seed = 0; seed < sequences; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        NifFile f = start;
        for (int step = 0; step < steps; ++step) {
            const std::string what = "seed " + std::to_string(seed) + " step " +
                                     std::to_string(step) + ": " + RandomEdit(f, library, rng);
            ASSERT_EQ(f.CheckConsistency(), "") << what;
            ExpectSavedFileLoadsBackEqual(f, what);
        }
    }
}

}  // namespace

TEST(EditProperties, SampleMesh) {
    RunSequences(MakeSampleMesh(), 40, 25);
}

TEST(EditProperties, SampleLibraryAndGameMesh) {
    RunSequences(MakeSampleLibrary(), 10, 15);
    RunSequences(MakeLargeMesh(3000, 12, 83), 10, 15);
}

TEST(EditProperties, CorpusFiles) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        NifFile f;
        ASSERT_EQ(f.Load(path.string()), 0);
        RunSequences(f, 10, 15);
    }
}
