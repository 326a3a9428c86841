#include "Lint.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "Animation.h"
#include "ExtraData.h"
#include "Havok.h"
#include "MeshMath.h"
#include "ResultCodes.h"
#include "ShapeConversion.h"
#include "ShapeView.h"

namespace {

constexpr size_t kWeightsPerVertex = 4;    // what a partition and a packed record hold
constexpr size_t kBonesPerPartition = 80;  // what the game skins one partition with
constexpr size_t kTextureSlots = 9;        // the game forms' texture sets

const std::vector<LintRule> kRules = {
    {"consistency", Severity::kError,
     "the header's tables, a block's body or a block reference disagree",
     "the game and the Creation Kit read the file wrongly or crash",
     "unusable: every reader, the game's included, follows the header's tables", false},
    {"se-old-shapes", Severity::kError,
     "a Special Edition file (12/100) holds NiTriShape or NiTriStrips shapes",
     "the Special Edition crashes or draws nothing",
     "crash: the best-known report on unconverted meshes, the reason mesh optimisers exist", false},
    {"vertex-limit", Severity::kError,
     "a shape goes beyond 65,535 vertices or triangles (a wrapped count, an index past the "
     "vertices)",
     "the game crashes or draws torn triangles",
     "unusable: the counts are 16-bit and the triangles name vertices that do not exist", false},
    {"se-partition-strips", Severity::kWarning,
     "a skin partition of a Special Edition file (12/100) stores strips",
     "the Special Edition draws skinned shapes from the partitions' triangle lists, so the shape "
     "has holes or is not drawn",
     "known from the engine's draw of SE shapes and the game's files (none holds strips); no "
     "crash verified",
     false},
    {"shared-shader", Severity::kWarning, "one shader block is used by several shapes",
     "an edit meant for one shape (textures, flags, effects) shows on all of them; the "
     "Creation Kit is reported to crash on such meshes",
     "crash reported, not verified; the game's own files give each shape its own shader", true},
    {"empty-partition", Severity::kWarning, "a skin partition holds no vertices or no triangles",
     "the partition draws nothing; the game is reported to crash drawing it",
     "crash reported, not verified; the game's own files hold no empty partition", true},
    {"bone-set-flag", Severity::kWarning,
     "the start-net-bone-set flag of a body part is not set exactly on the first partition and "
     "on each partition whose bones differ from the one before",
     "the game may draw or dismember the body part with the wrong bone set",
     "known from the game's own files, whose flags follow the partitions' bone lists", true},
    {"missing-tangents", Severity::kWarning,
     "a shape under a tangent-space normal map has no tangents and bitangents",
     "lighting shifts and seams show across the surface", "looks wrong: visible in game", true},
    {"stale-bound", Severity::kWarning,
     "a shape's bounding sphere misses some of its vertices (skinned shapes with a zero sphere "
     "are left alone, as the game's own are)",
     "the game culls the shape while parts of it are still on screen",
     "looks wrong: visible in game at the screen's edges", true},
    {"vertex-color-flag", Severity::kWarning,
     "the shader's Vertex_Colors flag disagrees with the shape's vertex colours",
     "the colours are ignored, or the shape is drawn with colours it does not have",
     "looks wrong: visible in game", true},
    {"skinned-flag", Severity::kWarning, "a skinned shape's shader lacks the Skinned flag",
     "the shape is drawn in its bind pose instead of following the skeleton",
     "looks wrong: visible in game", true},
    {"no-normals", Severity::kWarning,
     "a shader that lights with vertex normals is on a shape without normals",
     "the shape is lit wrongly, flat or black", "looks wrong: visible in game", false},
    {"envmap-flag", Severity::kWarning,
     "the Environment_Mapping flag is on a lighting shader whose type has no environment map",
     "the reflection the flag asks for is missing or drawn from the wrong texture",
     "looks wrong: visible in game", false},
    {"collision-target", Severity::kWarning,
     "a collision object's target is not the node that holds it",
     "the collision follows another object or stays behind", "looks wrong: seen in game", false},
    {"zero-scale", Severity::kWarning,
     "a skin or bone transform has zero scale or a rotation that cannot be inverted",
     "the skin collapses to a point and importers refuse the mesh",
     "looks wrong: visible in game; importers refuse it", false},
    {"weights-per-vertex", Severity::kWarning, "a vertex is weighted by more than 4 bones",
     "a skin partition keeps 4 weights per vertex, so the rest are dropped and the vertex "
     "moves otherwise than in the editor",
     "known from the format: partitions and packed records hold 4 weights", false},
    {"partition-bones", Severity::kWarning,
     "the vertices of a skin partition use more than 80 bones",
     "the game skins a partition with at most 80 bones; the shape is drawn torn or not at all",
     "the limit the tools modders use split partitions by; no crash verified", false},
    {"unpartitioned-triangles", Severity::kWarning,
     "triangles of a skinned shape are in no skin partition",
     "the game draws skinned shapes partition by partition, so those triangles are holes",
     "looks wrong: visible in game", false},
    {"head-part-shape", Severity::kWarning,
     "a head part (FaceGen shader flag, or body part 230) in a Special Edition file is a "
     "BSTriShape, not a BSDynamicTriShape",
     "the Special Edition moves head parts' vertices through BSDynamicTriShape: FaceGen and "
     "expressions do not reach the shape",
     "known from the game's own head parts, all BSDynamicTriShape", true},
    {"textures", Severity::kWarning,
     "a texture path is absolute, starts with data\\, uses forward slashes or characters "
     "outside ASCII, or names a .tga in a Special Edition file; a lighting shader has no "
     "diffuse texture; a texture set has fewer than 9 slots",
     "the game does not find the texture and draws the shape untextured or purple",
     "looks wrong: visible in game; the game's own texture sets hold 9 relative paths", true},
    {"bsx-flags", Severity::kWarning,
     "the BSXFlags claim collision or animation the file does not hold, or lack the bit for "
     "what it holds",
     "the game ignores the file's collision or animation, or looks for what is not there",
     "looks wrong: seen in game; the game's own files' flags match their blocks", true},
    {"strip-collision", Severity::kWarning,
     "a Skyrim or Special Edition file holds strip collision (bhkNiTriStripsShape, "
     "bhkPackedNiTriStripsShape)",
     "Skyrim's collision does not use the older games' strip shapes: the object does not "
     "collide, or the game crashes",
     "crash reported for meshes ported from older games, not verified; the game's own files "
     "hold none",
     false},
    {"duplicate-names", Severity::kWarning, "two shapes of the file have the same name",
     "morphs, texture swaps and tools (Pellmar's --assign and --restore-from too) address "
     "shapes by name and reach only one of them",
     "known from how tools and the game's morphs address shapes", false},
    {"skin-bones", Severity::kWarning,
     "a skin names bones missing from the file, or its skeleton root is not an ancestor of the "
     "shape",
     "the game binds the skin to the wrong nodes or none: the shape is stretched, misplaced or "
     "missing",
     "not verified against a crash; the game's own skins name every bone and an ancestor root",
     false},
    {"alpha-no-effect", Severity::kNote, "an alpha property neither blends nor tests",
     "it changes nothing on screen and costs a block", "waste: the flags turn every use off",
     false},
};

struct Context {
    const NifFile& file;
    const std::vector<ShapeView>& shapes;
    std::vector<Finding>& findings;

    void Add(const char* rule, int32_t block, const std::string& shape, const std::string& what) {
        Finding f;
        f.rule = FindLintRule(rule);
        f.severity = f.rule->severity;
        f.block = block;
        if (block >= 0 && static_cast<size_t>(block) < file.blocks.size())
            f.type = file.TypeNameOf(static_cast<uint32_t>(block));
        f.shape = shape;
        f.message = what + ": " + f.rule->effect;
        findings.push_back(std::move(f));
    }
    std::string Name(uint32_t block) const { return file.NameOf(block); }
    std::string Quoted(uint32_t block) const {
        const std::string name = Name(block);
        return name.empty() ? BlockLabel(file, static_cast<int32_t>(block)) : "\"" + name + "\"";
    }
    bool GameForm() const { return file.Form() == kForm83 || file.Form() == kForm100; }
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

// A set of triangles as their rotation that starts at the smallest vertex: grouped by that
// vertex (a counting sort, as vertex indices are small), each group sorted by the other two.
// Building it and asking it are linear in the triangles but for the groups' sorts, which are
// short unless many triangles share their smallest vertex.
class TriangleSet {
  public:
    explicit TriangleSet(const std::vector<std::array<uint16_t, 3>>& triangles) {
        uint32_t bound = 0;
        for (const auto& t : triangles) bound = std::max<uint32_t>(bound, t[0] + 1u);
        start_.assign(size_t{bound} + 1, 0);
        for (const auto& t : triangles) ++start_[t[0] + 1u];
        for (size_t v = 1; v < start_.size(); ++v) start_[v] += start_[v - 1];
        rest_.resize(triangles.size());
        std::vector<uint32_t> next(start_.begin(), start_.end() - 1);
        for (const auto& t : triangles) rest_[next[t[0]]++] = Rest(t);
        for (size_t v = 0; v + 1 < start_.size(); ++v) {
            if (start_[v + 1] - start_[v] > 1)
                std::sort(rest_.begin() + start_[v], rest_.begin() + start_[v + 1]);
        }
    }
    bool Has(const std::array<uint16_t, 3>& t) const {
        if (size_t{t[0]} + 1 >= start_.size()) return false;
        return std::binary_search(rest_.begin() + start_[t[0]], rest_.begin() + start_[t[0] + 1u],
                                  Rest(t));
    }

  private:
    static uint32_t Rest(const std::array<uint16_t, 3>& t) { return uint32_t{t[1]} << 16 | t[2]; }
    std::vector<uint32_t> start_;  // where each smallest vertex's group begins in rest_
    std::vector<uint32_t> rest_;   // the other two vertices of each triangle, group by group
};

void CheckPartitionCover(Context& c, const ShapeView& s) {
    const std::vector<Triangle> own = s.Data() || (s.Packed() && s.Packed()->dataSize > 0)
                                          ? s.Triangles()
                                          : std::vector<Triangle>{};
    if (own.empty()) return;
    const NiSkinPartition* partition = s.Partition();
    std::vector<std::array<uint16_t, 3>> held;
    if (partition) {
        for (const SkinPartition& p : partition->partitions) {
            for (const Triangle& t : PartitionTriangles(p, c.file.Form() == kForm100))
                held.push_back(CanonicalTriangle(t));
        }
    }
    // The partitions mostly hold the shape's triangles in the shape's order.
    size_t inOrder = 0;
    while (inOrder < own.size() && inOrder < held.size() &&
           CanonicalTriangle(own[inOrder]) == held[inOrder])
        ++inOrder;
    if (inOrder == own.size()) return;
    const TriangleSet heldSet(held);
    size_t missing = 0;
    for (const Triangle& t : own) {
        const bool degenerate = t.v1 == t.v2 || t.v2 == t.v3 || t.v1 == t.v3;
        missing += !degenerate && !heldSet.Has(CanonicalTriangle(t));
    }
    if (missing == 0) return;
    const int32_t block =
        s.SkinInstance()->skinPartition >= 0 ? s.SkinInstance()->skinPartition : s.Skin();
    c.Add("unpartitioned-triangles", block, s.Name(),
          std::to_string(missing) + " of the " + std::to_string(own.size()) + " triangles of " +
              s.Label() + " are in no skin partition" + (partition ? "" : " (it has none)"));
}

// How many skin bones a partition's vertices use (with a weight that is not zero); the
// shape's drawing weights stand in for a partition that stores none.
size_t UsedBones(const SkinPartition& p, const ShapeView& s, size_t skinBones) {
    std::vector<bool> used(std::max<size_t>(skinBones, 1) + 256, false);
    size_t count = 0;
    auto use = [&](size_t bone) {
        if (bone < used.size() && !used[bone]) {
            used[bone] = true;
            ++count;
        }
    };
    const size_t w = p.numWeightsPerVertex;
    if (p.hasVertexWeights && p.vertexWeights.size() >= size_t{p.numVertices} * w) {
        for (size_t at = 0; at < size_t{p.numVertices} * w; ++at) {
            const size_t local = p.hasBoneIndices && at < p.boneIndices.size()
                                     ? p.boneIndices[at]
                                     : at % std::max<size_t>(w, 1);
            if (p.vertexWeights[at] != 0 && local < p.bones.size()) use(p.bones[local]);
        }
        return count;
    }
    const VertexWeights drawn = s.Weights();
    for (size_t j = 0; j < p.numVertices; ++j) {
        const uint16_t v = p.ShapeVertex(j);
        if (v >= drawn.Vertices()) continue;
        for (uint32_t e = drawn.start[v]; e < drawn.start[v + 1]; ++e) use(drawn.entries[e].bone);
    }
    return count;
}

void CheckWeights(Context& c, const ShapeView& s) {
    const size_t n = s.NumVertices();
    // The most weights any source gives each vertex: the skin data, then each partition.
    std::vector<size_t> most(n, 0);
    if (const NiSkinData* data = s.SkinData(); data && data->hasVertexWeights) {
        for (const BoneData& bone : data->bones) {
            for (const BoneVertData& w : bone.weights)
                if (w.weight != 0 && w.index < n) ++most[w.index];
        }
    }
    const NiSkinPartition* partition = s.Partition();
    const size_t skinBones = s.SkinInstance() ? s.SkinInstance()->bones.size() : 0;
    if (partition) {
        for (size_t p = 0; p < partition->partitions.size(); ++p) {
            const SkinPartition& part = partition->partitions[p];
            const size_t w = part.numWeightsPerVertex;
            for (size_t j = 0; j < part.numVertices && w > kWeightsPerVertex; ++j) {
                size_t count = 0;
                for (size_t k = 0; k < w && j * w + k < part.vertexWeights.size(); ++k)
                    count += part.vertexWeights[j * w + k] != 0;
                const uint16_t v = part.ShapeVertex(j);
                if (v < n) most[v] = std::max(most[v], count);
            }
            const size_t used = UsedBones(part, s, skinBones);
            if (used > kBonesPerPartition) {
                c.Add("partition-bones", s.SkinInstance()->skinPartition, s.Name(),
                      "partition " + std::to_string(p) + " of " + s.Label() + " uses " +
                          std::to_string(used) + " bones");
            }
        }
    }
    const size_t over = static_cast<size_t>(
        std::count_if(most.begin(), most.end(), [](size_t k) { return k > kWeightsPerVertex; }));
    if (over > 0) {
        c.Add("weights-per-vertex", s.Skin(), s.Name(),
              std::to_string(over) + " vertices of " + s.Label() + " are weighted by up to " +
                  std::to_string(*std::max_element(most.begin(), most.end())) + " bones");
    }
}

// Each node's parent, by the nodes' child lists.
std::map<BlockRef, BlockRef> Parents(const NifFile& file) {
    std::map<BlockRef, BlockRef> parents;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        if (const auto* node = As<NiNode>(file.blocks[i].get())) {
            for (BlockRef child : node->children)
                if (child >= 0) parents.emplace(child, static_cast<BlockRef>(i));
        }
    }
    return parents;
}

bool IsAncestor(const std::map<BlockRef, BlockRef>& parents, BlockRef ancestor, BlockRef of) {
    // The walk is bounded by the number of nodes, so a cycle cannot hang it.
    for (size_t steps = 0; steps <= parents.size(); ++steps) {
        const auto up = parents.find(of);
        if (up == parents.end()) return false;
        if (up->second == ancestor) return true;
        of = up->second;
    }
    return false;
}

void CheckSkinBones(Context& c, const ShapeView& s, const std::map<BlockRef, BlockRef>& parents) {
    const NiSkinInstance& skin = *s.SkinInstance();
    std::vector<std::string> problems;
    size_t missing = 0;
    for (BlockRef bone : skin.bones) missing += c.file.BlockAs<NiNode>(bone) == nullptr;
    if (missing > 0)
        problems.push_back(std::to_string(missing) + " of its " +
                           std::to_string(skin.bones.size()) + " bones are missing");
    if (s.SkinData() && s.SkinData()->bones.size() != skin.bones.size())
        problems.push_back("its skin data lists " + std::to_string(s.SkinData()->bones.size()) +
                           " bones, the skin " + std::to_string(skin.bones.size()));
    if (!c.file.BlockAs<NiNode>(skin.skeletonRoot)) {
        problems.push_back("it has no skeleton root");
    } else if (!IsAncestor(parents, skin.skeletonRoot, static_cast<BlockRef>(s.Index()))) {
        problems.push_back("its skeleton root " + c.Quoted(skin.skeletonRoot) +
                           " is not an ancestor of the shape");
    }
    if (problems.empty()) return;
    std::string what = "the skin of " + s.Label() + ": ";
    for (size_t i = 0; i < problems.size(); ++i) what += (i ? "; " : "") + problems[i];
    c.Add("skin-bones", s.Skin(), s.Name(), what);
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
    std::map<std::string, std::vector<uint32_t>> byName;
    for (const ShapeView& s : c.shapes) {
        if (!s.Name().empty()) byName[s.Name()].push_back(s.Index());
    }
    for (const auto& [name, same] : byName) {
        if (same.size() < 2) continue;
        std::string blocks;
        for (uint32_t b : same) blocks += (blocks.empty() ? "" : ", ") + std::to_string(b);
        c.Add("duplicate-names", static_cast<int32_t>(same[1]), name,
              std::to_string(same.size()) + " shapes are named \"" + name + "\" (blocks " + blocks +
                  ")");
    }
    const std::map<BlockRef, BlockRef> parents = Parents(c.file);
    for (const ShapeView& s : c.shapes) {
        const std::string name = s.Name();
        const std::string who = s.Label();
        const NiObject* shader = c.file.Block(s.Shader());
        const auto index = static_cast<int32_t>(s.Index());
        if (se && s.Geometry()) {
            c.Add("se-old-shapes", index, name,
                  who + " is a " + c.file.TypeNameOf(s.Index()) +
                      " in a Special Edition file, which draws only BSTriShape");
        }
        if (se && s.Packed() && !As<BSDynamicTriShape>(s.Packed()) &&
            IsHeadPart(c.file, s.Shader(), s.Skin())) {
            c.Add("head-part-shape", index, name,
                  who + " is a head part stored as " + c.file.TypeNameOf(s.Index()));
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
        if (s.IsSkinned()) {
            CheckSkinBones(c, s, parents);
            CheckWeights(c, s);
            CheckPartitionCover(c, s);
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
        // The game's own skinned Special Edition shapes leave their sphere at zero.
        const NiBound& bound = s.Data() ? s.Data()->bound : s.Packed()->bound;
        const bool unset = s.IsSkinned() && bound.radius == 0;
        if (n > 0 && !unset && !BoundHolds(bound, s.Positions())) {
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
        const NiObject* block = c.file.blocks[i].get();
        if (c.GameForm() && (block->Type() == TypeId::bhkNiTriStripsShape ||
                             block->Type() == TypeId::bhkPackedNiTriStripsShape)) {
            c.Add("strip-collision", static_cast<int32_t>(i), "",
                  "the file's collision holds a " + c.file.TypeNameOf(i));
        }
        const auto* holder = As<NiAVObject>(block);
        if (!holder) continue;
        const auto* object = c.file.BlockAs<NiCollisionObject>(holder->collisionObject);
        if (!object || object->target == static_cast<BlockRef>(i)) continue;
        c.Add("collision-target", holder->collisionObject, c.Name(i),
              "the collision object of " + c.Quoted(i) + " targets " +
                  (object->target < 0 ? std::string("nothing") : c.Quoted(object->target)));
    }
}

// The first shape whose shader is `shader` or uses the texture set `set`.
std::string UserOf(const Context& c, BlockRef shader, BlockRef set) {
    for (const ShapeView& s : c.shapes) {
        const auto* l = c.file.BlockAs<BSLightingShaderProperty>(s.Shader());
        if (s.Shader() == shader || (l && set >= 0 && l->textureSet == set)) return s.Name();
    }
    return {};
}

void CheckTextures(Context& c) {
    if (!c.GameForm()) return;
    const bool se = c.file.Form() == kForm100;
    for (uint32_t i = 0; i < c.file.blocks.size(); ++i) {
        const NiObject* block = c.file.blocks[i].get();
        const auto at = static_cast<BlockRef>(i);
        std::vector<std::string> problems;
        const auto slot = [&](const std::string& where, const std::string& path) {
            const std::string problem = texture_paths::Problem(path, se);
            if (!problem.empty()) problems.push_back(where + " \"" + path + "\" " + problem);
        };
        std::string shape;
        if (const auto* set = As<BSShaderTextureSet>(block)) {
            for (size_t t = 0; t < set->textures.size(); ++t)
                slot("slot " + std::to_string(t), set->textures[t].text);
            if (set->textures.size() < kTextureSlots)
                problems.push_back("it holds " + std::to_string(set->textures.size()) +
                                   " slots, not " + std::to_string(kTextureSlots));
            shape = UserOf(c, kNoBlock, at);
        } else if (const auto* l = As<BSLightingShaderProperty>(block)) {
            const auto* set = c.file.BlockAs<BSShaderTextureSet>(l->textureSet);
            if (!set || set->textures.empty() || set->textures[0].text.empty())
                problems.push_back("the lighting shader has no diffuse texture");
            shape = UserOf(c, at, kNoBlock);
        } else if (const auto* e = As<BSEffectShaderProperty>(block)) {
            slot("the source texture", e->sourceTexture);
            slot("the greyscale texture", e->greyscaleTexture);
            shape = UserOf(c, at, kNoBlock);
        }
        if (problems.empty()) continue;
        std::string what;
        for (size_t p = 0; p < problems.size(); ++p) what += (p ? "; " : "") + problems[p];
        c.Add("textures", at, shape, what);
    }
}

void CheckBsx(Context& c) {
    if (!c.GameForm()) return;
    const FileContents has = ContentsOf(c.file);
    for (uint32_t i = 0; i < c.file.blocks.size(); ++i) {
        const auto* bsx = As<BSXFlags>(c.file.blocks[i].get());
        if (!bsx) continue;
        const uint32_t v = bsx->value;
        std::vector<std::string> problems;
        const bool claimsCollision = v & (bsx_bits::kHavok | bsx_bits::kRagdoll);
        if (has.collision && !claimsCollision)
            problems.push_back("the file holds collision but the Havok bit is clear");
        if (!has.collision && claimsCollision)
            problems.push_back("they claim collision the file does not hold");
        if (has.sceneAnimation && !(v & bsx_bits::kAnimated))
            problems.push_back("controllers move the scene but the Animated bit is clear");
        if (!has.controllers && (v & bsx_bits::kAnimated))
            problems.push_back("they claim animation and the file holds no controller");
        if (problems.empty()) continue;
        std::string what = "the BSXFlags (" + std::to_string(v) + "): ";
        for (size_t p = 0; p < problems.size(); ++p) what += (p ? "; " : "") + problems[p];
        c.Add("bsx-flags", static_cast<int32_t>(i), "", what);
    }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

std::string Lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

bool Absolute(const std::string& path) {
    const bool drive =
        path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    return drive || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

}  // namespace

namespace texture_paths {

std::string Problem(const std::string& path, bool specialEdition) {
    if (path.empty()) return {};
    std::vector<std::string> problems;
    if (Absolute(path)) problems.push_back("is absolute");
    if (StartsWithNoCase(path, "data\\") || StartsWithNoCase(path, "data/"))
        problems.push_back("starts with data\\");
    if (path.find('/') != std::string::npos) problems.push_back("uses forward slashes");
    if (std::any_of(path.begin(), path.end(), [](char ch) { return ch & 0x80; }))
        problems.push_back("has characters outside ASCII");
    if (specialEdition && Lower(path).ends_with(".tga"))
        problems.push_back("is a .tga, which the Special Edition does not load");
    std::string text;
    for (size_t p = 0; p < problems.size(); ++p)
        text += (p == 0 ? "" : p + 1 == problems.size() ? " and " : ", ") + problems[p];
    return text;
}

std::string Repaired(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    const std::string lower = Lower(p);
    if (StartsWithNoCase(lower, "data\\")) {
        p = p.substr(5);
    } else if (Absolute(p)) {
        // Everything up to the Data folder, or else up to the textures folder, goes.
        const size_t data = lower.rfind("\\data\\");
        const size_t textures = lower.find("\\textures\\");
        if (data != std::string::npos) {
            p = p.substr(data + 6);
        } else if (textures != std::string::npos) {
            p = p.substr(textures + 1);
        } else {
            return {};
        }
    }
    return Problem(p, false).empty() ? p : std::string();
}

}  // namespace texture_paths

FileContents ContentsOf(const NifFile& file) {
    FileContents has;
    for (const auto& b : file.blocks) {
        has.collision = has.collision || As<NiCollisionObject>(b.get());
        const auto* controller = As<NiTimeController>(b.get());
        if (!controller) continue;
        has.controllers = true;
        const TypeId t = b->Type();
        const bool moves = t == TypeId::NiControllerManager ||
                           IsA(t, TypeId::NiKeyframeController) ||
                           t == TypeId::NiMultiTargetTransformController;
        has.sceneAnimation =
            has.sceneAnimation || (moves && file.BlockAs<NiAVObject>(controller->target));
    }
    return has;
}

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

bool ParseSeverity(std::string_view name, Severity& severity) {
    for (Severity s : {Severity::kError, Severity::kWarning, Severity::kNote}) {
        if (name == SeverityName(s)) {
            severity = s;
            return true;
        }
    }
    return false;
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
                ". *Evidence:* " + r.evidence + ".\n";
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
    CheckTextures(c);
    CheckBsx(c);
    return findings;
}

int LintFile(const std::string& path, std::vector<Finding>& findings, std::string& error) {
    NifFile file;
    const int code = file.Load(path);
    if (code != rc::kOk) {
        error = file.LastError();
        return code;
    }
    findings = Lint(file);
    for (Finding& f : findings) f.file = path;
    return rc::kOk;
}

std::vector<Finding> AtLeast(std::vector<Finding> findings, Severity lowest) {
    std::erase_if(findings, [&](const Finding& f) { return f.severity < lowest; });
    return findings;
}
