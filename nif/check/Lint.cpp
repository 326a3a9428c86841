#include "Lint.h"

#include <cmath>
#include <functional>
#include <map>

#include "Havok.h"
#include "MeshMath.h"
#include "ShapeConversion.h"
#include "ShapeView.h"

namespace {

const std::vector<LintRule> kRules = {
    {"consistency", Severity::kError,
     "the header's tables, a block's body or a block reference disagree",
     "the game and the Creation Kit read the file wrongly or crash", false},
    {"se-old-shapes", Severity::kError,
     "a Special Edition file (12/100) holds NiTriShape or NiTriStrips shapes",
     "the Special Edition crashes or draws nothing", false},
    {"se-partition-strips", Severity::kError,
     "a skin partition of a Special Edition file (12/100) stores strips",
     "the Special Edition crashes drawing the skinned shape", false},
    {"vertex-limit", Severity::kError,
     "a shape goes beyond 65,535 vertices or triangles (a wrapped count, an index past the "
     "vertices)",
     "the game crashes or draws torn triangles", false},
    {"shared-shader", Severity::kError, "one shader block is used by several shapes",
     "the Creation Kit crashes on the mesh", true},
    {"empty-partition", Severity::kError, "a skin partition holds no vertices or no triangles",
     "the game crashes drawing the skinned shape", true},
    {"bone-set-flag", Severity::kWarning,
     "the start-net-bone-set flag of a body part is not set exactly on the first partition and "
     "on each partition whose bones differ from the one before",
     "the game may draw or dismember the body part with the wrong bone set", true},
    {"missing-tangents", Severity::kWarning,
     "a shape under a tangent-space normal map has no tangents and bitangents",
     "lighting shifts and seams show across the surface", true},
    {"stale-bound", Severity::kWarning, "a shape's bounding sphere misses some of its vertices",
     "the game culls the shape while parts of it are still on screen", true},
    {"vertex-color-flag", Severity::kWarning,
     "the shader's Vertex_Colors flag disagrees with the shape's vertex colours",
     "the colours are ignored, or the shape is drawn with colours it does not have", true},
    {"skinned-flag", Severity::kWarning, "a skinned shape's shader lacks the Skinned flag",
     "the shape is drawn in its bind pose instead of following the skeleton", true},
    {"no-normals", Severity::kWarning,
     "a shader that lights with vertex normals is on a shape without normals",
     "the shape is lit wrongly, flat or black", false},
    {"envmap-flag", Severity::kWarning,
     "the Environment_Mapping flag is on a lighting shader whose type has no environment map",
     "the reflection the flag asks for is missing or drawn from the wrong texture", false},
    {"collision-target", Severity::kWarning,
     "a collision object's target is not the node that holds it",
     "the collision follows another object or stays behind", false},
    {"zero-scale", Severity::kWarning,
     "a skin or bone transform has zero scale or a rotation that cannot be inverted",
     "the skin collapses to a point and importers refuse the mesh", false},
    {"alpha-no-effect", Severity::kNote, "an alpha property neither blends nor tests",
     "it changes nothing on screen and costs a block", false},
};

struct Context {
    const NifFile& file;
    const std::vector<ShapeView>& shapes;
    std::vector<Finding>& findings;

    void Add(const char* rule, int32_t block, const std::string& shape, const std::string& what) {
        Finding f;
        f.rule = FindLintRule(rule);
        f.block = block;
        f.shape = shape;
        f.message = what + ": " + f.rule->effect;
        findings.push_back(std::move(f));
    }
    std::string Name(uint32_t block) const { return file.NameOf(block); }
    std::string Quoted(uint32_t block) const {
        const std::string name = Name(block);
        return name.empty() ? BlockLabel(file, static_cast<int32_t>(block)) : "\"" + name + "\"";
    }
};

bool TangentSpaceShader(const NiObject* shader) {
    if (const auto* l = As<BSLightingShaderProperty>(shader)) return !l->HasModelSpaceNormals();
    return As<BSShaderPPLightingProperty>(shader) != nullptr;
}

// How many shapes use each shader block (game forms).
std::map<BlockRef, std::vector<uint32_t>> ShaderUsers(const Context& c) {
    std::map<BlockRef, std::vector<uint32_t>> users;
    if (c.file.Form() == kForm34) return users;
    for (const ShapeView& s : c.shapes) {
        if (c.file.BlockAs<BSShaderProperty>(s.Shader())) users[s.Shader()].push_back(s.Index());
    }
    return users;
}

void CheckShapes(Context& c) {
    const bool se = c.file.Form() == kForm100;
    for (const auto& [shader, users] : ShaderUsers(c)) {
        if (users.size() < 2) continue;
        std::string names;
        for (uint32_t u : users) names += (names.empty() ? "" : ", ") + c.Quoted(u);
        c.Add("shared-shader", shader, c.Name(users[0]),
              "the shader is used by " + std::to_string(users.size()) + " shapes (" + names + ")");
    }
    for (const ShapeView& s : c.shapes) {
        const std::string name = s.Name();
        const std::string who = "shape " + c.Quoted(s.Index());
        const NiObject* shader = c.file.Block(s.Shader());
        const auto index = static_cast<int32_t>(s.Index());
        if (se && s.Geometry()) {
            c.Add("se-old-shapes", index, name,
                  who + " is a " + c.file.TypeNameOf(s.Index()) +
                      " in a Special Edition file, which draws only BSTriShape");
        }
        const auto* header = SkyrimHeaderOf(shader);
        if (header && s.IsSkinned() && !(header->flags1 & shader_bits::kSkinned)) {
            c.Add("skinned-flag", s.Shader(), name, who + " is skinned, its shader is not");
        }
        if (const auto* l = As<BSLightingShaderProperty>(shader);
            l && (l->header.flags1 & shader_bits::kEnvironmentMapping) &&
            l->lightingShaderType != 1) {
            c.Add("envmap-flag", s.Shader(), name,
                  "the shader of " + who + " has the Environment_Mapping flag but type " +
                      std::to_string(l->lightingShaderType));
        }
        if (const auto* a = c.file.BlockAs<NiAlphaProperty>(s.Alpha());
            a && !(a->flags & 1) && !(a->flags & (1u << 9))) {
            c.Add("alpha-no-effect", s.Alpha(), name,
                  "the alpha property of " + who + " (flags " + std::to_string(a->flags) +
                      ") neither blends nor tests");
        }
        if (!s.Data() && !s.Packed()) continue;
        // Geometry findings name the data block, or the packed shape that holds its records.
        const int32_t data = s.Data() ? s.DataRef() : index;
        const size_t n = s.NumVertices();
        const bool lit = As<BSLightingShaderProperty>(shader) && TangentSpaceShader(shader);
        if (lit && !s.HasNormals() && n > 0) {
            c.Add("no-normals", data, name, who + " has no normals for its lighting shader");
        }
        if (TangentSpaceShader(shader) && s.HasNormals() && s.HasUVs() && !s.HasTangents() &&
            n > 0) {
            c.Add("missing-tangents", data, name,
                  who + " has a tangent-space normal map but no tangents");
        }
        if (header) {
            const bool flag = (header->flags2 & shader_bits::kVertexColors) != 0;
            if (flag != s.HasColors()) {
                c.Add("vertex-color-flag", s.Shader(), name,
                      flag ? "the shader of " + who + " expects vertex colours the shape lacks"
                           : who + " has vertex colours its shader ignores");
            }
        }
        const NiBound& bound = s.Data() ? s.Data()->bound : s.Packed()->bound;
        if (n > 0 && !BoundHolds(bound, s.Positions())) {
            c.Add("stale-bound", data, name, "the bounding sphere of " + who + " misses vertices");
        }
        const std::vector<Triangle> triangles = s.Triangles();
        bool pastEnd = false;
        for (const Triangle& t : triangles)
            pastEnd = pastEnd || t.v1 >= n || t.v2 >= n || t.v3 >= n;
        const auto* shapeData = As<NiTriShapeData>(s.Data());
        const bool wrapped =
            triangles.size() > 65535 || (shapeData && shapeData->numTrianglePoints > 3u * 65535u);
        if (pastEnd || wrapped) {
            c.Add("vertex-limit", data, name,
                  who + (pastEnd ? " has triangles naming vertices past its " + std::to_string(n)
                                 : " holds more than 65,535 triangles"));
        }
    }
}

bool Invertible(const NiTransform& t) {
    const float* m = t.rotation.m;
    const double det = double{m[0]} * (double{m[4]} * m[8] - double{m[5]} * m[7]) -
                       double{m[1]} * (double{m[3]} * m[8] - double{m[5]} * m[6]) +
                       double{m[2]} * (double{m[3]} * m[7] - double{m[4]} * m[6]);
    return std::isfinite(det) && std::fabs(det) > 1e-6 && std::isfinite(t.scale) &&
           std::fabs(t.scale) > 1e-6;
}

// The shape a skin block serves, by name.
std::string ShapeOfSkin(const Context& c, int32_t skinBlock, int32_t partitionBlock) {
    for (const ShapeView& s : c.shapes) {
        const auto* skin = s.SkinInstance();
        if (s.Skin() == skinBlock ||
            (skin && (skin->skinPartition == partitionBlock || skin->data == partitionBlock)))
            return s.Name();
    }
    return {};
}

void CheckSkins(Context& c) {
    const bool se = c.file.Form() == kForm100;
    for (uint32_t i = 0; i < c.file.blocks.size(); ++i) {
        const NiObject* block = c.file.blocks[i].get();
        const auto at = static_cast<int32_t>(i);
        if (const auto* data = As<NiSkinData>(block)) {
            size_t bad = Invertible(data->skinTransform) ? 0 : 1;
            for (const BoneData& bone : data->bones) bad += Invertible(bone.skinTransform) ? 0 : 1;
            if (bad > 0) {
                c.Add("zero-scale", at, ShapeOfSkin(c, -1, at),
                      std::to_string(bad) + " transform(s) of the skin data cannot be inverted");
            }
        }
        if (const auto* partition = As<NiSkinPartition>(block)) {
            for (size_t p = 0; p < partition->partitions.size(); ++p) {
                const SkinPartition& part = partition->partitions[p];
                const std::string where = "partition " + std::to_string(p);
                if (part.numVertices == 0 || part.numTriangles == 0) {
                    c.Add("empty-partition", at, ShapeOfSkin(c, -1, at),
                          where + " holds " + std::to_string(part.numVertices) + " vertices and " +
                              std::to_string(part.numTriangles) + " triangles");
                }
                if (se && !part.stripLengths.empty()) {
                    c.Add(
                        "se-partition-strips", at, ShapeOfSkin(c, -1, at),
                        where + " stores " + std::to_string(part.stripLengths.size()) + " strips");
                }
            }
        }
        if (const auto* skin = As<BSDismemberSkinInstance>(block)) {
            const auto* partition = c.file.BlockAs<NiSkinPartition>(skin->skinPartition);
            if (!partition) continue;
            BSDismemberSkinInstance expected = *skin;
            SetBoneSetFlags(expected, *partition);
            for (size_t p = 0; p < skin->partitions.size(); ++p) {
                const bool has = skin->partitions[p].partFlag & shader_bits::kStartBoneSet;
                if (has == bool(expected.partitions[p].partFlag & shader_bits::kStartBoneSet))
                    continue;
                c.Add("bone-set-flag", at, ShapeOfSkin(c, at, -1),
                      "partition " + std::to_string(p) + " of body part " +
                          std::to_string(skin->partitions[p].bodyPart) +
                          (has ? " starts a new bone set with the bones of the partition before it"
                               : " does not start a new bone set, though its bones differ from "
                                 "the partition before it"));
                break;
            }
        }
    }
}

void CheckCollision(Context& c) {
    for (uint32_t i = 0; i < c.file.blocks.size(); ++i) {
        const auto* holder = As<NiAVObject>(c.file.blocks[i].get());
        if (!holder) continue;
        const auto* object = c.file.BlockAs<NiCollisionObject>(holder->collisionObject);
        if (!object || object->target == static_cast<BlockRef>(i)) continue;
        c.Add("collision-target", holder->collisionObject, c.Name(i),
              "the collision object of " + c.Quoted(i) + " targets " +
                  (object->target < 0 ? std::string("nothing") : c.Quoted(object->target)));
    }
}

}  // namespace

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::kError:
            return "error";
        case Severity::kWarning:
            return "warning";
        case Severity::kNote:
            return "note";
    }
    return "note";
}

const std::vector<LintRule>& LintRules() {
    return kRules;
}

const LintRule* FindLintRule(std::string_view id) {
    for (const LintRule& r : kRules) {
        if (id == r.id) return &r;
    }
    return nullptr;
}

std::string LintRulesText() {
    std::string text;
    for (const LintRule& r : kRules) {
        text += std::string("- `") + r.id + "` (" + SeverityName(r.severity) +
                (r.repairable ? ", repaired" : "") + "): " + r.description + "; " + r.effect +
                ".\n";
    }
    return text;
}

std::string BlockLabel(const NifFile& file, int32_t block) {
    if (block < 0 || static_cast<size_t>(block) >= file.blocks.size()) return "file";
    return "block " + std::to_string(block) + " " + file.TypeNameOf(static_cast<uint32_t>(block));
}

std::vector<Finding> Lint(const NifFile& file) {
    std::vector<Finding> findings;
    const std::vector<ShapeView> shapes = ShapesOf(file);
    Context c{file, shapes, findings};
    const std::string problem = file.CheckConsistency();
    if (!problem.empty()) {
        c.Add("consistency", -1, "", problem);
        return findings;
    }
    CheckShapes(c);
    CheckSkins(c);
    CheckCollision(c);
    return findings;
}
