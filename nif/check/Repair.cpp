#include "Repair.h"

#include <algorithm>
#include <bit>
#include <set>

#include "ExtraData.h"
#include "Lint.h"
#include "MeshMath.h"
#include "ShapeConversion.h"
#include "ShapeView.h"

namespace {

// Where a packed shape's records live: in the shape, in its skin partition, or both.
struct PackedRecords {
    BSTriShape* shape = nullptr;
    NiSkinPartition* partition = nullptr;
    std::vector<std::vector<PackedVertex>*> lists;
};

PackedRecords RecordsOf(NifFile& file, BlockRef block) {
    PackedRecords r;
    r.shape = file.BlockAs<BSTriShape>(block);
    if (!r.shape) return r;
    const ShapeView view(file, static_cast<uint32_t>(block));
    const size_t n = view.NumVertices();
    if (r.shape->dataSize > 0 && r.shape->vertexData.records.size() == n)
        r.lists.push_back(&r.shape->vertexData.records);
    const auto* skin = file.BlockAs<NiSkinInstance>(r.shape->skin);
    r.partition = skin ? file.BlockAs<NiSkinPartition>(skin->skinPartition) : nullptr;
    if (r.partition && r.partition->dataSize > 0 && r.partition->RecordsDecoded() &&
        r.partition->vertexData.records.size() == n)
        r.lists.push_back(&r.partition->vertexData.records);
    return r;
}

// A packed shape's records take another layout: the shape's, its partition's and every
// partition's description follow, with the sizes that depend on it.
void SetLayout(PackedRecords& r, uint16_t attributes) {
    const uint64_t old = r.shape->vertexDesc;
    const uint64_t desc = MakeVertexDesc(attributes);
    const uint32_t size = DescVertexSize(desc);
    r.shape->vertexDesc = desc;
    if (r.shape->dataSize > 0)
        r.shape->dataSize = size * r.shape->numVertices + 6u * r.shape->numTriangles;
    NiSkinPartition* p = r.partition;
    if (!p) return;
    if (p->dataSize > 0) {
        p->dataSize = size * static_cast<uint32_t>(p->vertexData.records.size());
        p->vertexSize = size;
        p->vertexDesc = desc;
    } else if (p->vertexDesc == old) {
        p->vertexDesc = desc;
    }
    for (SkinPartition& part : p->partitions) {
        if (part.vertexDesc == old || p->dataSize > 0) part.vertexDesc = desc;
    }
}

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

    // A head part's packed shape becomes BSDynamicTriShape: its positions (with the
    // bitangent's x beside them) move out of the records into the shape.
    void DynamicHeadPart(BlockRef block, const std::string& shape) {
        const ShapeView view(file, static_cast<uint32_t>(block));
        PackedRecords r = RecordsOf(file, block);
        const uint16_t attributes = VertexAttributes(r.shape->vertexDesc);
        if (r.lists.empty() || !(attributes & kVaVertex) || r.shape->Type() != TypeId::BSTriShape) {
            Skip("head-part-shape", "\"" + shape + "\" has no vertex records Pellmar can move");
            return;
        }
        auto dynamic = std::make_unique<BSDynamicTriShape>();
        static_cast<BSTriShape&>(*dynamic) = *r.shape;
        for (const PackedVertex& v : *r.lists.front())
            dynamic->dynamicVertices.push_back(
                {v.position.x, v.position.y, v.position.z, std::bit_cast<float>(v.w)});
        // A skinned head part still counts its vertices in the shape.
        dynamic->numVertices = static_cast<uint16_t>(view.NumVertices());
        file.ReplaceBlock(static_cast<uint32_t>(block), std::move(dynamic));
        r = RecordsOf(file, block);
        SetLayout(r, attributes & ~kVaVertex);
        Did("head-part-shape", "\"" + shape + "\" is now a BSDynamicTriShape");
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

    void Tangents(BlockRef block, const std::string& shape) {
        if (auto* d = file.BlockAs<NiTriBasedGeomData>(block)) {
            GenerateTangents(d->vertices, d->normals, d->uvs, TrianglesOf(*d), d->tangents,
                             d->bitangents);
            d->dataFlags |= 0x1000;
        } else if (!PackedTangents(block)) {
            Skip("missing-tangents", "\"" + shape + "\" has no vertex records Pellmar can extend");
            return;
        }
        Did("missing-tangents", "tangents and bitangents generated for \"" + shape + "\"");
    }

    // The Special Edition's records gain the tangent attribute: the tangent and the
    // bitangent's y and z as bytes, the bitangent's x as a float in the position's fourth
    // slot (a head part keeps it beside its dynamic positions).
    bool PackedTangents(BlockRef block) {
        PackedRecords r = RecordsOf(file, block);
        const ShapeView view(file, static_cast<uint32_t>(block));
        const size_t n = view.NumVertices();
        if (r.lists.empty() || !view.HasNormals() || !view.HasUVs()) return false;
        std::vector<Vector3> normals(n), tangents, bitangents;
        std::vector<TexCoord> uvs(n);
        for (size_t v = 0; v < n; ++v) {
            normals[v] = view.Normal(v);
            uvs[v] = view.UV(v);
        }
        GenerateTangents(view.Positions(), normals, uvs, view.Triangles(), tangents, bitangents);
        const uint16_t attributes = VertexAttributes(r.shape->vertexDesc) | kVaTangent;
        auto* dynamic = As<BSDynamicTriShape>(r.shape);
        for (std::vector<PackedVertex>* list : r.lists) {
            for (size_t v = 0; v < n; ++v) {
                PackedVertex& p = (*list)[v];
                p.tangent[0] = UnitToByte(tangents[v].x);
                p.tangent[1] = UnitToByte(tangents[v].y);
                p.tangent[2] = UnitToByte(tangents[v].z);
                p.bitangentY = UnitToByte(bitangents[v].y);
                p.bitangentZ = UnitToByte(bitangents[v].z);
                p.w = std::bit_cast<uint32_t>(bitangents[v].x);
            }
        }
        if (dynamic && !(attributes & kVaVertex)) {
            for (size_t v = 0; v < n && v < dynamic->dynamicVertices.size(); ++v)
                dynamic->dynamicVertices[v].w = bitangents[v].x;
        }
        SetLayout(r, attributes);
        return true;
    }

    // Shapes under a model-space normal map take their normals from the map: nothing to
    // generate, and the report says so, in one line.
    void ModelSpaceNormals() {
        std::string names;
        for (const ShapeView& s : ShapesOf(file)) {
            const auto* l = file.BlockAs<BSLightingShaderProperty>(s.Shader());
            if (l && l->HasModelSpaceNormals() && !s.HasTangents() && s.NumVertices() > 0)
                names += (names.empty() ? "\"" : ", \"") + s.Name() + "\"";
        }
        if (!names.empty())
            Skip("missing-tangents",
                 "none generated for " + names + ": a normal map in model space needs none");
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
        if (!header) return;
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

    // Paths that only start wrongly or separate folders with forward slashes become relative
    // to the Data folder; short texture sets get empty slots up to nine. What needs another
    // file (a missing diffuse, a .tga, characters outside ASCII) is left.
    void Textures(BlockRef block) {
        const bool se = file.Form() == kForm100;
        size_t fixed = 0;
        std::vector<std::string> left;
        const auto path = [&](std::string& p) {
            if (texture_paths::Problem(p, se).empty()) return;
            const std::string repaired = texture_paths::Repaired(p);
            if (!repaired.empty() && texture_paths::Problem(repaired, se).empty()) {
                p = repaired;
                ++fixed;
            } else {
                left.push_back("\"" + p + "\" " + texture_paths::Problem(p, se));
            }
        };
        if (auto* set = file.BlockAs<BSShaderTextureSet>(block)) {
            for (SizedText& t : set->textures) path(t.text);
            if (set->textures.size() < 9) {
                Did("textures", BlockLabel(file, block) + " padded from " +
                                    std::to_string(set->textures.size()) + " to 9 slots");
                set->textures.resize(9);
            }
        } else if (auto* e = file.BlockAs<BSEffectShaderProperty>(block)) {
            path(e->sourceTexture);
            path(e->greyscaleTexture);
        } else {
            left.emplace_back("the lighting shader has no diffuse texture");
        }
        if (fixed > 0)
            Did("textures", std::to_string(fixed) + " path(s) of " + BlockLabel(file, block) +
                                " made relative to the Data folder with backslashes");
        for (const std::string& l : left)
            Skip("textures", BlockLabel(file, block) + ": " + l + "; it needs another file");
    }

    // The bits for collision and animation the file holds are set; a bit that claims what the
    // file lacks is left, since the game may be told so on purpose.
    void Bsx(BlockRef block) {
        auto* bsx = file.BlockAs<BSXFlags>(block);
        const FileContents has = ContentsOf(file);
        const uint32_t before = bsx->value;
        if (has.collision && !(bsx->value & (bsx_bits::kHavok | bsx_bits::kRagdoll)))
            bsx->value |= bsx_bits::kHavok;
        if (has.sceneAnimation) bsx->value |= bsx_bits::kAnimated;
        if (bsx->value != before) {
            Did("bsx-flags",
                "BSXFlags " + std::to_string(before) + " became " + std::to_string(bsx->value));
        }
        if ((!has.collision && (bsx->value & (bsx_bits::kHavok | bsx_bits::kRagdoll))) ||
            (!has.controllers && (bsx->value & bsx_bits::kAnimated)))
            Skip("bsx-flags",
                 "the BSXFlags still claim collision or animation the file lacks; "
                 "clear them by hand if nothing adds it");
    }
};

bool Selected(const std::vector<std::string>& only, const LintRule* rule) {
    return rule && rule->repairable &&
           (only.empty() || std::find(only.begin(), only.end(), rule->id) != only.end());
}

bool Selected(const std::vector<std::string>& only, const char* id) {
    return Selected(only, FindLintRule(id));
}

}  // namespace

RepairReport Repair(NifFile& file, const std::vector<std::string>& only) {
    RepairReport report;
    Fixer fix{file, report};
    // Shared shaders first, so that the flags below are set per shape; head parts take their
    // own block type before their geometry is touched.
    // The findings are taken again only after a step that changed blocks.
    std::vector<Finding> findings = Lint(file);
    std::set<BlockRef> done;
    for (const Finding& f : findings) {
        if (f.rule->id == std::string("shared-shader") && Selected(only, f.rule) &&
            done.insert(f.block).second)
            fix.Unshare(f.block);
    }
    if (!done.empty()) findings = Lint(file);
    bool heads = false;
    for (const Finding& f : findings) {
        if (f.rule->id == std::string("head-part-shape") && Selected(only, f.rule)) {
            fix.DynamicHeadPart(f.block, f.shape);
            heads = true;
        }
    }
    if (heads) findings = Lint(file);
    std::set<std::pair<std::string, BlockRef>> fixed;
    for (const Finding& f : findings) {
        if (!Selected(only, f.rule) || !fixed.insert({f.rule->id, f.block}).second) continue;
        const std::string id = f.rule->id;
        if (id == "empty-partition") fix.DropEmptyPartitions(f.block);
        if (id == "bone-set-flag") fix.BoneSetFlags(f.block);
        if (id == "missing-tangents") fix.Tangents(f.block, f.shape);
        if (id == "stale-bound") fix.Bound(f.block, f.shape);
        if (id == "skinned-flag" || id == "vertex-color-flag") fix.ShaderFlags(f);
        if (id == "textures") fix.Textures(f.block);
        if (id == "bsx-flags") fix.Bsx(f.block);
    }
    if (file.CheckConsistency().empty() && Selected(only, "missing-tangents"))
        fix.ModelSpaceNormals();
    return report;
}
