#include "Repair.h"

#include <algorithm>
#include <set>

#include "Lint.h"
#include "MeshMath.h"
#include "ShapeConversion.h"
#include "ShapeView.h"

namespace {

struct Fixer {
    NifFile& file;
    RepairReport& report;

    std::string Quoted(uint32_t block) const {
        const std::string name = file.NameOf(block);
        return name.empty() ? BlockLabel(file, static_cast<int32_t>(block)) : "\"" + name + "\"";
    }
    void Did(const char* rule, const std::string& what) {
        report.repairs.push_back(std::string(rule) + ": " + what);
    }
    void Skip(const char* rule, const std::string& why) {
        report.skipped.push_back(std::string(rule) + ": " + why);
    }

    // Every shape but the first gets its own copy of the shader.
    void Unshare(BlockRef shader) {
        std::vector<uint32_t> users;
        for (const ShapeView& s : ShapesOf(file)) {
            if (s.Shader() == shader) users.push_back(s.Index());
        }
        const auto* original = file.BlockAs<NiObjectNET>(shader);
        if (!original || original->controller != kNoBlock) {
            Skip("shared-shader", BlockLabel(file, shader) +
                                      " is animated; a copy would leave its controller behind");
            return;
        }
        for (size_t u = 1; u < users.size(); ++u) {
            const BlockRef copy = file.AppendBlock(file.Block(shader)->Clone());
            if (auto* g = file.BlockAs<NiGeometry>(static_cast<BlockRef>(users[u])))
                g->shaderProperty = copy;
            if (auto* t = file.BlockAs<BSTriShape>(static_cast<BlockRef>(users[u])))
                t->shaderProperty = copy;
            Did("shared-shader", "shape " + Quoted(users[u]) + " got its own copy of " +
                                     BlockLabel(file, shader) + " as block " +
                                     std::to_string(copy));
        }
    }

    void DropEmptyPartitions(BlockRef block) {
        auto* partition = file.BlockAs<NiSkinPartition>(block);
        const size_t before = partition->partitions.size();
        std::vector<bool> empty(before);
        for (size_t p = 0; p < before; ++p) {
            empty[p] = partition->partitions[p].numVertices == 0 ||
                       partition->partitions[p].numTriangles == 0;
        }
        // The body parts of a dismemberment run parallel to the partitions.
        for (const auto& b : file.blocks) {
            auto* skin = As<BSDismemberSkinInstance>(b.get());
            if (!skin || skin->skinPartition != block || skin->partitions.size() != before)
                continue;
            size_t keep = 0;
            for (size_t p = 0; p < before; ++p) {
                if (!empty[p]) skin->partitions[keep++] = skin->partitions[p];
            }
            skin->partitions.resize(keep);
        }
        size_t keep = 0;
        for (size_t p = 0; p < before; ++p) {
            if (empty[p]) continue;
            if (keep != p) partition->partitions[keep] = std::move(partition->partitions[p]);
            ++keep;
        }
        partition->partitions.resize(keep);
        Did("empty-partition", std::to_string(before - keep) + " empty partition(s) removed from " +
                                   BlockLabel(file, block));
    }

    void BoneSetFlags(BlockRef block) {
        auto* skin = file.BlockAs<BSDismemberSkinInstance>(block);
        const auto* partition = file.BlockAs<NiSkinPartition>(skin->skinPartition);
        if (!partition) return;
        const BSDismemberSkinInstance before = *skin;
        SetBoneSetFlags(*skin, *partition);
        size_t changed = 0;
        for (size_t p = 0; p < skin->partitions.size(); ++p)
            changed += skin->partitions[p].partFlag != before.partitions[p].partFlag;
        // An earlier repair (an empty partition removed) may have settled it already.
        if (changed == 0) return;
        Did("bone-set-flag", "the flag set where the bones change on " + std::to_string(changed) +
                                 " partition(s) of " + BlockLabel(file, block));
    }

    // Geometry findings on a Special Edition shape name the packed shape, whose records the
    // repairs do not rewrite.
    bool PackedShape(const char* rule, BlockRef block, const std::string& shape) {
        if (file.BlockAs<NiTriBasedGeomData>(block)) return false;
        Skip(rule, "\"" + shape +
                       "\" is a Special Edition shape; convert it with convert --to le, "
                       "repair, and convert back");
        return true;
    }

    void Tangents(BlockRef block, const std::string& shape) {
        if (PackedShape("missing-tangents", block, shape)) return;
        auto* d = file.BlockAs<NiTriBasedGeomData>(block);
        GenerateTangents(d->vertices, d->normals, d->uvs, TrianglesOf(*d), d->tangents,
                         d->bitangents);
        d->dataFlags |= 0x1000;
        Did("missing-tangents", "tangents and bitangents generated for \"" + shape + "\"");
    }

    void Bound(BlockRef block, const std::string& shape) {
        if (auto* packed = file.BlockAs<BSTriShape>(block)) {
            packed->bound = BoundOf(ShapeView(file, static_cast<uint32_t>(block)).Positions());
        } else {
            auto* d = file.BlockAs<NiGeometryData>(block);
            d->bound = BoundOf(d->vertices);
        }
        Did("stale-bound", "bounding sphere recomputed for \"" + shape + "\"");
    }

    void ShaderFlags(const Finding& f) {
        auto* header = SkyrimHeaderOf(file.Block(f.block));
        if (!header) {
            PackedShape(f.rule->id, f.block, f.shape);
            return;
        }
        if (f.rule->id == std::string("skinned-flag")) {
            header->flags1 |= shader_bits::kSkinned;
            Did("skinned-flag", "Skinned flag set on the shader of \"" + f.shape + "\"");
            return;
        }
        // Vertex colours: the flag follows the data of the shapes that use the shader.
        bool colors = false;
        for (const ShapeView& s : ShapesOf(file)) {
            if (s.Shader() == f.block) colors = colors || s.HasColors();
        }
        if (colors) {
            header->flags2 |= shader_bits::kVertexColors;
        } else {
            header->flags2 &= ~shader_bits::kVertexColors;
        }
        Did("vertex-color-flag", std::string("Vertex_Colors flag ") + (colors ? "set" : "cleared") +
                                     " on the shader of \"" + f.shape + "\"");
    }
};

bool Selected(const std::vector<std::string>& only, const LintRule* rule) {
    return rule && rule->repairable &&
           (only.empty() || std::find(only.begin(), only.end(), rule->id) != only.end());
}

}  // namespace

RepairReport Repair(NifFile& file, const std::vector<std::string>& only) {
    RepairReport report;
    Fixer fix{file, report};
    // Shared shaders first, so that the flags below are set per shape.
    std::set<BlockRef> done;
    for (const Finding& f : Lint(file)) {
        if (f.rule->id == std::string("shared-shader") && Selected(only, f.rule) &&
            done.insert(f.block).second)
            fix.Unshare(f.block);
    }
    std::set<std::pair<std::string, BlockRef>> fixed;
    for (const Finding& f : Lint(file)) {
        if (!Selected(only, f.rule) || !fixed.insert({f.rule->id, f.block}).second) continue;
        const std::string id = f.rule->id;
        if (id == "empty-partition") fix.DropEmptyPartitions(f.block);
        if (id == "bone-set-flag") fix.BoneSetFlags(f.block);
        if (id == "missing-tangents") fix.Tangents(f.block, f.shape);
        if (id == "stale-bound") fix.Bound(f.block, f.shape);
        if (id == "skinned-flag" || id == "vertex-color-flag") fix.ShaderFlags(f);
    }
    return report;
}
