// Lint rules, their repairs and the tangent frames and bounds the repairs compute.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>

#include "Conversions.h"
#include "ExtraData.h"
#include "Havok.h"
#include "Lint.h"
#include "MeshCompare.h"
#include "MeshMath.h"
#include "RealTangents.h"
#include "Repair.h"
#include "ResultCodes.h"
#include "SampleFiles.h"
#include "Shaders.h"
#include "ShapeView.h"
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

NifFile SpecialEdition(const NifFile& f) {
    NifFile se;
    EXPECT_EQ(PrepareConvert(f, kForm100, se).code, rc::kOk);
    return se;
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
bool Fires(const NifFile& f, const std::string& rule) {
    const std::vector<std::string> ids = RuleIds(f);
    return std::find(ids.begin(), ids.end(), rule) != ids.end();
}

NiTriShapeData& BodyData(NifFile& f) {
    return *f.BlockAs<NiTriShapeData>(f.FindShapeByName("Body")->data);
}
BSLightingShaderProperty& ShaderOf(NifFile& f, const std::string& shape) {
    return *f.BlockAs<BSLightingShaderProperty>(ShapeView(f, FindShape(f, shape)).Shader());
}
BSLightingShaderProperty& BodyShader(NifFile& f) {
    return ShaderOf(f, "Body");
}

void ToSpecialEdition(NifFile& f) {
    f.SetUserVersions(12, 100);
    for (SkinPartition& p : First<NiSkinPartition>(f).partitions) p.trianglesCopy = p.triangles;
}

// Appends bones to the body's skin, each the first bone's node again, with no weights.
void AddSkinBones(NifFile& f, size_t count) {
    auto& skin = First<BSDismemberSkinInstance>(f);
    auto& data = First<NiSkinData>(f);
    for (size_t k = 0; k < count; ++k) {
        skin.bones.push_back(skin.bones[0]);
        data.bones.push_back(data.bones[0]);
        data.bones.back().weights.clear();
        data.bones.back().numVertices = 0;
    }
}

// A BSXFlags of that value on the root node.
void AddBsx(NifFile& f, uint32_t value) {
    auto bsx = std::make_unique<BSXFlags>();
    bsx->name = f.AddString("BSX");
    bsx->value = value;
    First<NiNode>(f).extraData.push_back(f.AppendBlock(std::move(bsx)));
}

struct Breakage {
    const char* rule;
    std::function<void(NifFile&)> edit;
};

const std::vector<Breakage> kBreakages = {
    {"consistency", [](NifFile& f) { ++f.header.numStrings; }},
    {"se-old-shapes", ToSpecialEdition},
    {"vertex-limit", [](NifFile& f) { BodyData(f).triangles[5].v2 = BodyData(f).numVertices; }},
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
    {"weights-per-vertex",
     [](NifFile& f) {
         // Vertex 0 gets four more bones in the skin data: five or six in all.
         AddSkinBones(f, 4);
         auto& bones = First<NiSkinData>(f).bones;
         for (size_t k = bones.size() - 4; k < bones.size(); ++k) {
             bones[k].weights = {{0, 0.1f}};
             bones[k].numVertices = 1;
         }
     }},
    {"partition-bones",
     [](NifFile& f) {
         // Each weight slot of the first partition on a bone of its own: 88 bones.
         AddSkinBones(f, 90);
         SkinPartition& p = First<NiSkinPartition>(f).partitions[0];
         p.bones.clear();
         for (size_t at = 0; at < p.vertexWeights.size(); ++at) {
             p.bones.push_back(static_cast<uint16_t>(at));
             p.boneIndices[at] = static_cast<uint8_t>(at);
             p.vertexWeights[at] = 0.25f;
         }
     }},
    {"unpartitioned-triangles",
     [](NifFile& f) {
         SkinPartition& p = First<NiSkinPartition>(f).partitions[1];
         p.triangles.pop_back();
         --p.numTriangles;
     }},
    {"head-part-shape",
     [](NifFile& f) {
         f = SpecialEdition(f);
         BodyShader(f).header.flags1 |= shader_bits::kFacegenDetailMap;
     }},
    {"textures",
     [](NifFile& f) {
         auto& set = *f.BlockAs<BSShaderTextureSet>(BodyShader(f).textureSet);
         set.textures[0].text = "C:\\Games\\Skyrim\\Data\\textures\\body.dds";
         set.textures[1].text = "textures/body_n.dds";
         set.textures.resize(6);
     }},
    {"bsx-flags",
     [](NifFile& f) {
         // Collision the flags do not claim.
         auto collision = std::make_unique<bhkCollisionObject>();
         collision->target = f.roots[0];
         First<NiNode>(f).collisionObject = f.AppendBlock(std::move(collision));
         AddBsx(f, 0);
     }},
    {"strip-collision",
     [](NifFile& f) {
         auto collision = std::make_unique<bhkCollisionObject>();
         collision->target = f.roots[0];
         First<NiNode>(f).collisionObject = f.AppendBlock(std::move(collision));
         f.AppendBlock(std::make_unique<bhkNiTriStripsShape>());
         AddBsx(f, bsx_bits::kHavok);
     }},
    {"duplicate-names",
     [](NifFile& f) { f.FindShapeByName("Feet")->name = f.FindShapeByName("Hands")->name; }},
    {"skin-bones",
     [](NifFile& f) {
         auto& skin = First<BSDismemberSkinInstance>(f);
         skin.skeletonRoot = skin.bones[0];
     }},
    {"alpha-no-effect",
     [](NifFile& f) {
         f.BlockAs<NiAlphaProperty>(f.FindShapeByName("Hands")->alphaProperty)->flags = 0x10EC;
     }},
};

// Repairs, then checks the result: consistent, free of every repaired rule, with the meshes
// of the input (tangents may arrive), and unchanged by a second repair.
void ExpectRepairSettles(NifFile& f) {
    const NifFile input = f;
    const RepairReport first = Repair(f);
    EXPECT_EQ(f.CheckConsistency(), "");
    for (const Finding& finding : Lint(f)) {
        EXPECT_FALSE(finding.rule->repairable) << finding.rule->id << ": " << finding.message;
    }
    CompareOptions tangents;
    tangents.mayAdd["*"] = kPartTangents;
    EXPECT_EQ(ContentProblems(input, f, tangents), "");
    const Bytes once = SaveBytes(f);
    EXPECT_EQ(LoadBytes(once).CheckConsistency(), "");
    const RepairReport second = Repair(f);
    EXPECT_TRUE(second.repairs.empty()) << second.repairs[0];
    EXPECT_EQ(SaveBytes(f), once);
}

}  // namespace

TEST(Lint, EveryRuleFiresOnItsBreakageOnly) {
    EXPECT_EQ(RuleIds(CleanBase()), std::vector<std::string>{});
    // The skinned body's records and triangles live in its partition there: no vertex limit.
    EXPECT_EQ(RuleIds(SpecialEdition(CleanBase())), std::vector<std::string>{});
    ASSERT_EQ(kBreakages.size(), LintRules().size());
    for (const Breakage& b : kBreakages) {
        SCOPED_TRACE(b.rule);
        ASSERT_NE(FindLintRule(b.rule), nullptr);
        NifFile f = CleanBase();
        b.edit(f);
        EXPECT_TRUE(Fires(f, b.rule));
        // A repair limited to another rule leaves the file as it was; an inconsistent file is
        // not repaired at all.
        const NifFile before = f;
        const char* other = std::string(b.rule) == "stale-bound" ? "skinned-flag" : "stale-bound";
        EXPECT_TRUE(Repair(f, {other}).repairs.empty());
        if (std::string(b.rule) == "consistency") {
            EXPECT_TRUE(Repair(f).repairs.empty());
            continue;
        }
        EXPECT_EQ(SaveBytes(f), SaveBytes(before));
        if (FindLintRule(b.rule)->repairable) ExpectRepairSettles(f);
    }
}

// A shape's triangles are covered when its partitions hold each of them in some order and
// rotation, whichever partition it is in; the winding counts, degenerate triangles do not.
TEST(Lint, PartitionCoverIsTheTrianglesNotTheirOrder) {
    using Edit = std::function<void(std::vector<SkinPartition>&)>;
    auto rotateAndReverse = [](SkinPartition& p) {
        for (Triangle& t : p.triangles) t = {t.v2, t.v3, t.v1};
        std::reverse(p.triangles.begin(), p.triangles.end());
    };
    const struct {
        const char* name;
        Edit edit;
        const char* found;  // the start of the message, or nullptr for no finding
    } kCases[] = {
        {"as made", [](std::vector<SkinPartition>&) {}, nullptr},
        {"rotated, in reverse order",
         [&](std::vector<SkinPartition>& parts) {
             for (SkinPartition& p : parts) rotateAndReverse(p);
         },
         nullptr},
        {"partitions in the other order",
         [](std::vector<SkinPartition>& parts) { std::reverse(parts.begin(), parts.end()); },
         nullptr},
        {"one triangle wound the other way",
         [](std::vector<SkinPartition>& parts) {
             Triangle& t = parts[0].triangles[0];
             std::swap(t.v2, t.v3);
         },
         "1 of the "},
        {"one triangle twice, another not at all",
         [](std::vector<SkinPartition>& parts) {
             parts[1].triangles.back() = parts[1].triangles.front();
         },
         "1 of the "},
        {"no partitions", [](std::vector<SkinPartition>& parts) { parts.clear(); },
         nullptr},  // checked below: every triangle
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        NifFile f = CleanBase();
        auto& partition = First<NiSkinPartition>(f);
        c.edit(partition.partitions);
        std::vector<std::string> messages;
        for (const Finding& finding : Lint(f)) {
            if (finding.rule->id == std::string("unpartitioned-triangles"))
                messages.push_back(finding.message);
        }
        if (partition.partitions.empty()) {
            // Every triangle of the shape.
            ASSERT_EQ(messages.size(), 1u);
            const std::string count = messages[0].substr(0, messages[0].find(' '));
            EXPECT_NE(messages[0].find(" of the " + count + " triangles"), std::string::npos)
                << messages[0];
        } else if (c.found) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].rfind(c.found, 0), 0u) << messages[0];
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{});
        }
    }
}

// The table's order, severities and the evidence every rule carries.
TEST(Lint, SeveritiesFollowTheEvidence) {
    Severity previous = Severity::kError;
    for (const LintRule& r : LintRules()) {
        SCOPED_TRACE(r.id);
        EXPECT_LE(r.severity, previous);  // errors first, notes last
        previous = r.severity;
        const std::string evidence = r.evidence;
        ASSERT_FALSE(evidence.empty());
        // Only what is known to crash or leave the mesh unusable is an error.
        if (r.severity != Severity::kError) continue;
        EXPECT_TRUE(evidence.rfind("crash:", 0) == 0 || evidence.rfind("unusable:", 0) == 0);
        EXPECT_EQ(evidence.find("not verified"), std::string::npos);
    }
    std::vector<Finding> findings(3);
    findings[0].severity = Severity::kNote;
    findings[1].severity = Severity::kError;
    findings[2].severity = Severity::kWarning;
    EXPECT_EQ(AtLeast(findings, Severity::kWarning).size(), 2u);
    EXPECT_EQ(AtLeast(findings, Severity::kError)[0].severity, Severity::kError);
    Severity parsed = Severity::kNote;
    EXPECT_TRUE(ParseSeverity("warning", parsed) && parsed == Severity::kWarning);
    EXPECT_FALSE(ParseSeverity("fatal", parsed));
}

TEST(Lint, TexturePaths) {
    const struct {
        const char* path;
        bool se;
        const char* problem;   // a word of it, "" for none
        const char* repaired;  // "" when it cannot be repaired
    } cases[] = {
        {"textures\\armor\\iron.dds", true, "", "textures\\armor\\iron.dds"},
        {"c:\\games\\skyrim\\Data\\textures\\a.dds", false, "absolute", "textures\\a.dds"},
        {"D:/mods/textures/a.dds", false, "absolute", "textures\\a.dds"},
        {"c:\\work\\a.dds", false, "absolute", ""},
        {"Data\\textures\\a.dds", false, "data\\", "textures\\a.dds"},
        {"textures/a/b.dds", false, "forward slashes", "textures\\a\\b.dds"},
        {"textures\\caf\xc3\xa9.dds", false, "ASCII", ""},
        {"textures\\a.tga", true, ".tga", "textures\\a.tga"},
        {"textures\\a.TGA", false, "", "textures\\a.TGA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string problem = texture_paths::Problem(c.path, c.se);
        EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(texture_paths::Repaired(c.path), c.repaired);
    }
}

// The Special Edition's packed shapes get the geometry rules with findings on the packed
// shape; a skinned shape's zero sphere is left, as the game's own files leave it.
TEST(Lint, SpecialEditionShapesGetTheGeometryRules) {
    NifFile se = SpecialEdition(CleanBase());
    auto& body = *se.BlockAs<BSTriShape>(FindShape(se, "Body"));
    auto& feet = *se.BlockAs<BSTriShape>(FindShape(se, "Feet"));
    body.bound = {};
    EXPECT_EQ(RuleIds(se), std::vector<std::string>{});
    const NiBound bound = feet.bound;
    feet.bound.radius = 0;
    const std::vector<Finding> findings = Lint(se);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_STREQ(findings[0].rule->id, "stale-bound");
    EXPECT_EQ(se.Block(findings[0].block), &feet);
    EXPECT_EQ(findings[0].type, "BSTriShape");
    const RepairReport report = Repair(se);
    ASSERT_EQ(report.repairs.size(), 1u);
    EXPECT_GE(feet.bound.radius, bound.radius * 0.5f);
    EXPECT_EQ(RuleIds(se), std::vector<std::string>{});
}

namespace {

// Takes the tangent attribute out of a packed shape's records, as a tool that wrote none.
void DropPackedTangents(NifFile& f, int32_t shape) {
    auto& s = *f.BlockAs<BSTriShape>(shape);
    const uint64_t desc = MakeVertexDesc(VertexAttributes(s.vertexDesc) & ~kVaTangent);
    const uint32_t size = DescVertexSize(desc);
    s.vertexDesc = desc;
    if (s.dataSize > 0) s.dataSize = size * s.numVertices + 6u * s.numTriangles;
    const auto* skin = f.BlockAs<NiSkinInstance>(s.skin);
    auto* p = skin ? f.BlockAs<NiSkinPartition>(skin->skinPartition) : nullptr;
    if (!p || p->dataSize == 0) return;
    p->vertexDesc = desc;
    p->vertexSize = size;
    p->dataSize = size * static_cast<uint32_t>(p->vertexData.records.size());
    for (SkinPartition& part : p->partitions) part.vertexDesc = desc;
}

// The descriptions and sizes of a packed shape and its partition agree with its records.
void ExpectLayoutAgrees(const NifFile& f, int32_t shape) {
    const auto& s = *f.BlockAs<BSTriShape>(shape);
    const uint32_t size = DescVertexSize(s.vertexDesc);
    EXPECT_EQ(size, PackedVertexSize(VertexAttributes(s.vertexDesc)));
    if (s.dataSize > 0) {
        EXPECT_EQ(s.dataSize, size * s.numVertices + 6u * s.numTriangles);
    }
    const auto* skin = f.BlockAs<NiSkinInstance>(s.skin);
    const auto* p = skin ? f.BlockAs<NiSkinPartition>(skin->skinPartition) : nullptr;
    if (!p) return;
    EXPECT_EQ(p->vertexDesc, s.vertexDesc);
    if (p->dataSize > 0) {
        EXPECT_EQ(p->vertexSize, size);
        EXPECT_EQ(p->dataSize, size * p->vertexData.records.size());
    }
    for (const SkinPartition& part : p->partitions) EXPECT_EQ(part.vertexDesc, s.vertexDesc);
}

}  // namespace

// Tangents regenerated in the Special Edition's records (the shape's own, a skinned shape's
// partition's, a head part's beside its dynamic positions) are those the original edition's
// layout gets, within what bytes keep; the descriptions and sizes follow the new layout.
TEST(Lint, SpecialEditionTangentsRegenerated) {
    const struct {
        const char* shape;
        bool headPart;
    } cases[] = {{"Feet", false}, {"Body", false}, {"Body", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.shape) + (c.headPart ? " as a head part" : ""));
        NifFile base = CleanBase();
        if (c.headPart) BodyShader(base).header.flags1 |= shader_bits::kFacegenDetailMap;
        NifFile expected = base;
        auto& d = *expected.BlockAs<NiTriShapeData>(expected.FindShapeByName(c.shape)->data);
        d.dataFlags &= 0x0FFF;
        ASSERT_EQ(Repair(expected, {"missing-tangents"}).repairs.size(), 1u);
        expected = SpecialEdition(expected);

        NifFile se = SpecialEdition(base);
        const int32_t shape = FindShape(se, c.shape);
        ASSERT_EQ(As<BSDynamicTriShape>(se.Block(shape)) != nullptr, c.headPart);
        DropPackedTangents(se, shape);
        ASSERT_TRUE(Fires(se, "missing-tangents"));
        const NifFile before = se;
        ASSERT_EQ(Repair(se, {"missing-tangents"}).repairs.size(), 1u);
        ExpectLayoutAgrees(se, shape);
        const NifFile reloaded = LoadBytes(SaveBytes(se));
        EXPECT_FALSE(Fires(reloaded, "missing-tangents"));
        // Both are generated from the same mesh, here from its normals as bytes: within a
        // degree or two.
        const ShapeView want(expected, static_cast<uint32_t>(FindShape(expected, c.shape)));
        const ShapeView got(reloaded, static_cast<uint32_t>(shape));
        ASSERT_TRUE(got.HasTangents());
        for (size_t v = 0; v < got.NumVertices(); ++v) {
            EXPECT_LT(AngleBetween(want.Tangent(v), got.Tangent(v)), 2.0) << v;
            EXPECT_LT(AngleBetween(want.Bitangent(v), got.Bitangent(v)), 2.0) << v;
        }
        CompareOptions tangents;
        tangents.mayAdd["*"] = kPartTangents;
        EXPECT_EQ(ContentProblems(before, reloaded, tangents), "");
    }
}

// A head part stored as BSTriShape becomes BSDynamicTriShape with the same mesh, skinned or
// not; the real head part of the corpus is left as it is.
TEST(Lint, HeadPartBecomesDynamic) {
    for (const char* name : {"Body", "Feet"}) {
        SCOPED_TRACE(name);
        NifFile se = SpecialEdition(CleanBase());
        ShaderOf(se, name).header.flags1 |= shader_bits::kFacegenDetailMap;
        ASSERT_TRUE(Fires(se, "head-part-shape"));
        const NifFile before = se;
        ASSERT_EQ(Repair(se, {"head-part-shape"}).repairs.size(), 1u);
        const int32_t shape = FindShape(se, name);
        ASSERT_NE(As<BSDynamicTriShape>(se.Block(shape)), nullptr);
        ExpectLayoutAgrees(se, shape);
        const NifFile reloaded = LoadBytes(SaveBytes(se));
        EXPECT_EQ(ContentProblems(before, reloaded, {}), "");
        EXPECT_EQ(RuleIds(reloaded), std::vector<std::string>{});
    }
}

namespace {

// The flags a repair must leave on real files: every shader's two words, every body part's.
std::vector<uint32_t> Flags(const NifFile& f) {
    std::vector<uint32_t> flags;
    for (const auto& b : f.blocks) {
        if (const auto* h = SkyrimHeaderOf(b.get()))
            flags.insert(flags.end(), {h->flags1, h->flags2});
        if (const auto* d = As<BSDismemberSkinInstance>(b.get())) {
            for (const BodyPartList& p : d->partitions) flags.push_back(p.partFlag);
        }
    }
    return flags;
}

bool GameFile(const std::filesystem::path& p) {
    const std::string name = p.filename().string();
    return name.rfind("pynifly__se_", 0) == 0 || name.rfind("pyffi__skyrim", 0) == 0;
}

}  // namespace

// No error on any real file, no finding at all on the game's own meshes but what they hold
// (the bounds of a Blender exporter's test file, the vertex colours of a modded hand), and
// repairs that change no flag real files set.
TEST(Lint, SamplesCorpusAndRepairedCorpus) {
    EXPECT_TRUE(Lint(MakeSampleMesh()).empty());
    EXPECT_TRUE(Lint(MakeSampleLibrary()).empty());
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus beside the repository";
    size_t game = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        NifFile f = LoadBytes(ReadFileBytes(path));
        for (const Finding& finding : Lint(f)) {
            EXPECT_NE(finding.severity, Severity::kError) << finding.message;
            EXPECT_STRNE(finding.rule->id, "bone-set-flag") << finding.message;
            EXPECT_FALSE(GameFile(path)) << finding.message;
        }
        game += GameFile(path);
        const std::vector<uint32_t> flags = Flags(f);
        ExpectRepairSettles(f);
        if (GameFile(path)) {
            EXPECT_EQ(Flags(f), flags);
        }
    }
    EXPECT_EQ(game, 5u);
}

// Real files set the bone-set flag where a partition's bones differ from the one before:
// each flag turned over is found and turned back, and the Special Edition forms of the files
// (every partition listing all bones) and of the sample follow the same rule.
TEST(Lint, BoneSetFlagsFollowTheRealFiles) {
    std::vector<NifFile> skinned;
    for (const auto& path : CorpusFiles()) {
        if (path.filename().string().rfind("nifly__le_", 0) == 0)
            skinned.push_back(LoadBytes(ReadFileBytes(path)));
    }
    if (skinned.empty()) GTEST_SKIP() << "no corpus beside the repository";
    for (NifFile& real : skinned) {
        const auto& parts = First<BSDismemberSkinInstance>(real).partitions;
        for (size_t p = 0; p < parts.size(); ++p) {
            SCOPED_TRACE(p);
            NifFile f = real;
            First<BSDismemberSkinInstance>(f).partitions[p].partFlag ^= shader_bits::kStartBoneSet;
            EXPECT_TRUE(Fires(f, "bone-set-flag"));
            EXPECT_EQ(Repair(f, {"bone-set-flag"}).repairs.size(), 1u);
            EXPECT_EQ(Flags(f), Flags(real));
        }
        EXPECT_FALSE(Fires(SpecialEdition(real), "bone-set-flag"));
    }
    NifFile se;
    const std::vector<AssignmentRow> rows = {{"Body", "Plain", "no"}};
    ASSERT_EQ(PrepareClean(MakeSampleMesh(), MakeSampleLibrary(), rows, AlphaSettings{}, se, {},
                           true, kForm100)
                  .code,
              rc::kOk);
    EXPECT_FALSE(Fires(se, "bone-set-flag"));
    const auto& parts = First<BSDismemberSkinInstance>(se).partitions;
    for (size_t p = 0; p < parts.size(); ++p)
        EXPECT_EQ((parts[p].partFlag & shader_bits::kStartBoneSet) != 0, p == 0);
}

// A game-exported skinned Special Edition shape's tangents, set aside and regenerated in its
// partition's records, come back within the figures of the original edition's.
TEST(Tangents, RegeneratedInARealSpecialEditionPartition) {
    const auto files = CorpusFiles();
    const auto real = std::find_if(files.begin(), files.end(), [](const auto& p) {
        return p.filename() == "pynifly__se_body1m_0__b4d6f37c.nif";
    });
    if (real == files.end()) GTEST_SKIP() << "no corpus beside the repository";
    NifFile f = LoadBytes(ReadFileBytes(*real));
    const int32_t kilt = FindShape(f, "Bandit_Kilt");
    const auto stored = TangentShapesOf(f);
    DropPackedTangents(f, kilt);
    ASSERT_EQ(Repair(f, {"missing-tangents"}).repairs.size(), 1u);
    ExpectLayoutAgrees(f, kilt);
    const auto regenerated = TangentShapesOf(LoadBytes(SaveBytes(f)));
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_EQ(regenerated.size(), 1u);
    std::vector<double> angles;
    for (size_t v = 0; v < stored[0].tangents.size(); ++v) {
        angles.push_back(AngleBetween(stored[0].tangents[v], regenerated[0].tangents[v]));
        angles.push_back(AngleBetween(stored[0].bitangents[v], regenerated[0].bitangents[v]));
    }
    EXPECT_LT(Quantile(angles, 0.5), 1.0);
    EXPECT_LT(Quantile(angles, 0.9), 2.0);
}

TEST(Lint, RulesTextIsTheReadmeList) {
    const Bytes readme = ReadFileBytes(SamplePath("../README.md"));
    const std::string text(readme.begin(), readme.end());
    EXPECT_NE(text.find(LintRulesText()), std::string::npos) << LintRulesText();
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
