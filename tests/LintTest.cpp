// Lint rules, their repairs and the tangent frames and bounds the repairs compute.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>

#include "Conversions.h"
#include "Havok.h"
#include "Lint.h"
#include "MeshMath.h"
#include "Repair.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "TestSupport.h"

namespace {

// The sample cleaned with a tangent-space shader on the skinned body: no finding at all.
NifFile CleanBase() {
    const std::vector<AssignmentRow> rows = {
        {"Body", "Plain", "no"}, {"Hands", "Hair (A)", "yes"}, {"Feet", "Metal", "no"}};
    NifFile out;
    EXPECT_EQ(PrepareClean(MakeSampleMesh(), MakeSampleLibrary(), rows, AlphaSettings{}, out).code,
              rc::kOk);
    return out;
}

template <class T>
T& First(NifFile& f, int skip = 0) {
    for (auto& b : f.blocks) {
        if (T* t = As<T>(b.get()); t && skip-- == 0) return *t;
    }
    // The fixture always holds the blocks the breakages edit.
    std::abort();
}

std::vector<std::string> RuleIds(const NifFile& f) {
    std::vector<std::string> ids;
    for (const Finding& finding : Lint(f)) ids.push_back(finding.rule->id);
    return ids;
}

NiTriShapeData& BodyData(NifFile& f) {
    return *f.BlockAs<NiTriShapeData>(f.FindShapeByName("Body")->data);
}
BSLightingShaderProperty& BodyShader(NifFile& f) {
    return *f.BlockAs<BSLightingShaderProperty>(f.FindShapeByName("Body")->shaderProperty);
}

void ToSpecialEdition(NifFile& f) {
    f.SetUserVersions(12, 100);
    for (SkinPartition& p : First<NiSkinPartition>(f).partitions) p.trianglesCopy = p.triangles;
}

struct Breakage {
    const char* rule;
    std::function<void(NifFile&)> edit;
};

const std::vector<Breakage> kBreakages = {
    {"consistency", [](NifFile& f) { ++f.header.numStrings; }},
    {"se-old-shapes", ToSpecialEdition},
    {"se-partition-strips",
     [](NifFile& f) {
         ToSpecialEdition(f);
         SkinPartition& p = First<NiSkinPartition>(f).partitions[0];
         for (const Triangle& t : p.triangles) {
             p.strips.push_back({t.v1, t.v2, t.v3});
             p.stripLengths.push_back(3);
         }
         p.triangles.clear();
     }},
    {"vertex-limit", [](NifFile& f) { BodyData(f).triangles[5].v2 = BodyData(f).numVertices; }},
    {"shared-shader",
     [](NifFile& f) {
         f.FindShapeByName("Feet")->shaderProperty = f.FindShapeByName("Body")->shaderProperty;
     }},
    {"empty-partition",
     [](NifFile& f) {
         First<NiSkinPartition>(f).partitions.insert(
             First<NiSkinPartition>(f).partitions.begin() + 1, SkinPartition{});
         auto& parts = First<BSDismemberSkinInstance>(f).partitions;
         parts.insert(parts.begin() + 1, {257, 99});
     }},
    {"bone-set-flag",
     [](NifFile& f) {
         // A partition with the bones of the one before it does not start a bone set.
         First<BSDismemberSkinInstance>(f).partitions[2].partFlag |= 0x100;
     }},
    {"missing-tangents",
     [](NifFile& f) {
         BodyData(f).dataFlags &= 0x0FFF;
         BodyData(f).tangents.clear();
         BodyData(f).bitangents.clear();
     }},
    {"stale-bound", [](NifFile& f) { BodyData(f).bound.radius *= 0.5f; }},
    {"vertex-color-flag", [](NifFile& f) { BodyShader(f).header.flags2 ^= 1u << 5; }},
    {"skinned-flag", [](NifFile& f) { BodyShader(f).header.flags1 &= ~2u; }},
    {"no-normals", [](NifFile& f) { BodyData(f).DropNormals(); }},
    {"envmap-flag", [](NifFile& f) { BodyShader(f).header.flags1 |= 1u << 7; }},
    {"collision-target",
     [](NifFile& f) {
         auto collision = std::make_unique<bhkCollisionObject>();
         collision->target = static_cast<BlockRef>(IndexOfType(f, "NiTriShape"));
         First<NiNode>(f).collisionObject = f.AppendBlock(std::move(collision));
     }},
    {"zero-scale", [](NifFile& f) { First<NiSkinData>(f).bones[1].skinTransform.scale = 0; }},
    {"alpha-no-effect",
     [](NifFile& f) {
         f.BlockAs<NiAlphaProperty>(f.FindShapeByName("Hands")->alphaProperty)->flags = 0x10EC;
     }},
};

// Repairs, then checks the result: consistent, free of every repaired rule, and unchanged by
// a second repair.
void ExpectRepairSettles(NifFile& f) {
    const RepairReport first = Repair(f);
    EXPECT_EQ(f.CheckConsistency(), "");
    for (const Finding& finding : Lint(f)) {
        EXPECT_FALSE(finding.rule->repairable) << finding.rule->id << ": " << finding.message;
    }
    const Bytes once = SaveBytes(f);
    const RepairReport second = Repair(f);
    EXPECT_TRUE(second.repairs.empty()) << second.repairs[0];
    EXPECT_EQ(SaveBytes(f), once);
}

}  // namespace

TEST(Lint, EveryRuleFiresOnItsBreakageOnly) {
    EXPECT_EQ(RuleIds(CleanBase()), std::vector<std::string>{});
    ASSERT_EQ(kBreakages.size(), LintRules().size());
    for (const Breakage& b : kBreakages) {
        SCOPED_TRACE(b.rule);
        ASSERT_NE(FindLintRule(b.rule), nullptr);
        NifFile f = CleanBase();
        b.edit(f);
        const std::vector<std::string> ids = RuleIds(f);
        EXPECT_NE(std::find(ids.begin(), ids.end(), b.rule), ids.end());
        // A repair limited to another rule leaves the file as it was; an inconsistent file is
        // not repaired at all.
        const NifFile before = f;
        const char* other = std::string(b.rule) == "stale-bound" ? "skinned-flag" : "stale-bound";
        EXPECT_TRUE(Repair(f, {other}).repairs.empty());
        EXPECT_TRUE(Repair(f, {b.rule == std::string("consistency") ? "" : other}).repairs.empty());
        if (std::string(b.rule) == "consistency") {
            EXPECT_TRUE(Repair(f).repairs.empty());
            continue;
        }
        EXPECT_EQ(SaveBytes(f), SaveBytes(before));
        if (FindLintRule(b.rule)->repairable) ExpectRepairSettles(f);
    }
}

// Packed Special Edition shapes get the geometry rules, with findings on the packed shape,
// whose bound a repair recomputes.
TEST(Lint, SpecialEditionShapesGetTheGeometryRules) {
    NifFile se;
    ASSERT_EQ(PrepareConvert(CleanBase(), kForm100, se).code, rc::kOk);
    EXPECT_EQ(RuleIds(se), std::vector<std::string>{});
    BSTriShape& shape = First<BSTriShape>(se);
    const NiBound bound = shape.bound;
    shape.bound.radius = 0;
    const std::vector<Finding> findings = Lint(se);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_STREQ(findings[0].rule->id, "stale-bound");
    EXPECT_EQ(se.Block(findings[0].block), &shape);
    const RepairReport report = Repair(se);
    ASSERT_EQ(report.repairs.size(), 1u);
    EXPECT_GE(shape.bound.radius, bound.radius * 0.5f);
    EXPECT_EQ(RuleIds(se), std::vector<std::string>{});
}

TEST(Lint, SamplesCorpusAndRepairedCorpus) {
    EXPECT_TRUE(Lint(MakeSampleMesh()).empty());
    EXPECT_TRUE(Lint(MakeSampleLibrary()).empty());
    for (const auto& path : CorpusFiles()) {
        SCOPED_TRACE(path.string());
        NifFile f = LoadBytes(ReadFileBytes(path));
        for (const Finding& finding : Lint(f))
            EXPECT_NE(finding.rule->severity, Severity::kError) << finding.message;
        ExpectRepairSettles(f);
    }
}

TEST(Lint, RulesTextIsTheReadmeList) {
    const Bytes readme = ReadFileBytes(SamplePath("../README.md"));
    const std::string text(readme.begin(), readme.end());
    EXPECT_NE(text.find(LintRulesText()), std::string::npos) << LintRulesText();
}

namespace {

double Angle(const Vector3& a, const Vector3& b) {
    const double d = double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z;
    const double la = std::hypot(a.x, a.y, a.z), lb = std::hypot(b.x, b.y, b.z);
    return std::acos(std::clamp(d / (la * lb), -1.0, 1.0)) * 180.0 / 3.14159265358979;
}

double MedianAngle(const std::vector<Vector3>& a, const std::vector<Vector3>& b) {
    std::vector<double> angles;
    for (size_t i = 0; i < a.size(); ++i) angles.push_back(Angle(a[i], b[i]));
    std::nth_element(angles.begin(), angles.begin() + angles.size() / 2, angles.end());
    return angles[angles.size() / 2];
}

}  // namespace

TEST(Tangents, RegeneratedForTheRealShapeMatchTheGame) {
    const auto files = CorpusFiles();
    const auto real = std::find_if(files.begin(), files.end(), [](const auto& p) {
        return p.filename() == "nifly__le_hair_cm01_hl__911016c3.nif";
    });
    if (real == files.end()) GTEST_SKIP() << "no corpus beside the repository";
    NifFile f = LoadBytes(ReadFileBytes(*real));
    NiTriShapeData& d = First<NiTriShapeData>(f);
    ASSERT_TRUE(d.HasTangents());
    const std::vector<Vector3> tangents = d.tangents, bitangents = d.bitangents;
    d.dataFlags &= 0x0FFF;
    ASSERT_EQ(Repair(f, {"missing-tangents"}).repairs.size(), 1u);
    EXPECT_LT(MedianAngle(d.tangents, tangents), 2.0);
    EXPECT_LT(MedianAngle(d.bitangents, bitangents), 2.0);
}

TEST(Tangents, SeamsAndDegenerateTrianglesGiveUnitFrames) {
    // Two triangles mirrored in U around the shared edge 1-2, a triangle of one repeated
    // vertex, one whose UVs are all equal, and a vertex no triangle reaches.
    const std::vector<Vector3> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {5, 5, 5}};
    const std::vector<Vector3> n = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 0}};
    const std::vector<TexCoord> uv = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {0.5f, 0.5f}};
    const std::vector<Triangle> tri = {{0, 1, 2}, {1, 3, 2}, {0, 0, 1}, {4, 4, 4}, {2, 3, 4}};
    std::vector<Vector3> t, b;
    GenerateTangents(p, n, uv, tri, t, b);
    ASSERT_EQ(t.size(), p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        SCOPED_TRACE(i);
        for (const Vector3& v : {t[i], b[i]}) {
            EXPECT_NEAR(std::hypot(v.x, v.y, v.z), 1.0, 1e-5);
        }
        EXPECT_NEAR(Angle(t[i], b[i]), 90.0, 1e-3);
    }
}

TEST(Bounds, HoldEveryPointWithinTheBoxSphere) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    for (size_t count : {1, 2, 3, 50, 1000}) {
        std::vector<Vector3> points;
        for (size_t i = 0; i < count; ++i)
            points.push_back({coordinate(random), coordinate(random) * 0.01f, coordinate(random)});
        Vector3 low = points[0], high = points[0];
        for (const Vector3& q : points) {
            low = {std::min(low.x, q.x), std::min(low.y, q.y), std::min(low.z, q.z)};
            high = {std::max(high.x, q.x), std::max(high.y, q.y), std::max(high.z, q.z)};
        }
        const NiBound bound = BoundOf(points);
        EXPECT_TRUE(BoundHolds(bound, points));
        for (const Vector3& q : points) {
            const double d = std::hypot(double{q.x} - bound.center.x, double{q.y} - bound.center.y,
                                        double{q.z} - bound.center.z);
            EXPECT_LE(d, double{bound.radius});
        }
        const double box = 0.5 * std::hypot(double{high.x} - low.x, double{high.y} - low.y,
                                            double{high.z} - low.z);
        EXPECT_LE(double{bound.radius}, box * (1 + 1e-6) + 1e-6);
    }
}
