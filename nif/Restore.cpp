#include "Restore.h"

#include <algorithm>
#include <bit>
#include <map>
#include <set>

#include "Animation.h"
#include "BlockCopy.h"
#include "FormSwitch.h"
#include "Geometry.h"
#include "Havok.h"
#include "ResultCodes.h"
#include "Shaders.h"

namespace {

enum class Kind { kNone, kShape, kNode, kOther };

Kind KindOf(const NiObject* b) {
    if (As<NiGeometry>(b) || As<BSTriShape>(b)) return Kind::kShape;
    if (As<NiNode>(b)) return Kind::kNode;
    if (As<NiAVObject>(b)) return Kind::kOther;
    return Kind::kNone;
}

// The shader and alpha slots of a shape of either geometry family.
struct Slots {
    BlockRef* shader = nullptr;
    BlockRef* alpha = nullptr;
};
Slots SlotsOf(NiObject* b) {
    if (auto* g = As<NiGeometry>(b)) return {&g->shaderProperty, &g->alphaProperty};
    if (auto* t = As<BSTriShape>(b)) return {&t->shaderProperty, &t->alphaProperty};
    return {};
}

// Scene objects of the original with their namesakes in the output.
struct Matching {
    std::vector<std::pair<uint32_t, uint32_t>> pairs;  // original, output
    std::vector<bool> originalMatched, outputMatched;
};

Matching MatchSceneObjects(const NifFile& original, const NifFile& output) {
    Matching m;
    m.originalMatched.assign(original.blocks.size(), false);
    m.outputMatched.assign(output.blocks.size(), false);
    std::map<std::pair<Kind, std::string>, std::vector<uint32_t>> byName;
    for (uint32_t i = 0; i < output.blocks.size(); ++i) {
        const Kind k = KindOf(output.blocks[i].get());
        if (k != Kind::kNone) byName[{k, output.NameOf(i)}].push_back(i);
    }
    std::map<std::pair<Kind, std::string>, size_t> used;
    for (uint32_t i = 0; i < original.blocks.size(); ++i) {
        const Kind k = KindOf(original.blocks[i].get());
        if (k == Kind::kNone) continue;
        const std::pair<Kind, std::string> key{k, original.NameOf(i)};
        auto it = byName.find(key);
        size_t& n = used[key];
        if (it == byName.end() || n >= it->second.size()) continue;
        const uint32_t o = it->second[n++];
        m.pairs.emplace_back(i, o);
        m.originalMatched[i] = m.outputMatched[o] = true;
    }
    // Roots the exporter renamed.
    if (!original.roots.empty() && !output.roots.empty()) {
        const BlockRef a = original.roots[0], b = output.roots[0];
        const NiObject *ra = original.Block(a), *rb = output.Block(b);
        if (ra && rb && KindOf(ra) != Kind::kNone && KindOf(ra) == KindOf(rb) &&
            !m.originalMatched[static_cast<size_t>(a)] &&
            !m.outputMatched[static_cast<size_t>(b)]) {
            m.pairs.emplace_back(static_cast<uint32_t>(a), static_cast<uint32_t>(b));
            m.originalMatched[static_cast<size_t>(a)] = m.outputMatched[static_cast<size_t>(b)] =
                true;
        }
    }
    return m;
}

std::string Label(const NifFile& file, uint32_t i) {
    const char* kind = KindOf(file.blocks[i].get()) == Kind::kShape ? "shape" : "node";
    return std::string(kind) + " \"" + file.NameOf(i) + "\"";
}

// A name that sequences of the subtree animate and the output lacks, or empty.
std::string MissingAnimatedName(const NifFile& original, const std::vector<uint32_t>& blocks,
                                const std::set<std::string>& outputNames) {
    for (uint32_t b : blocks) {
        const auto* sequence = original.BlockAs<NiControllerSequence>(static_cast<BlockRef>(b));
        if (!sequence) continue;
        for (const ControlledBlock& c : sequence->controlledBlocks) {
            const std::string& name = original.Text(c.nodeName);
            if (!name.empty() && !outputNames.count(name))
                return "sequence \"" + original.Text(sequence->name) + "\" animates \"" + name +
                       "\", which the output lacks";
        }
    }
    return {};
}

enum class What { kShader, kAlpha, kCollision, kExtraData, kControllers };
const char* WhatName(What w) {
    switch (w) {
        case What::kShader:
            return "shader";
        case What::kAlpha:
            return "alpha property";
        case What::kCollision:
            return "collision";
        case What::kExtraData:
            return "extra data";
        case What::kControllers:
            return "controllers";
    }
    return "";
}

struct Action {
    uint32_t target;  // the output block that gets the copy
    What what;
    size_t ticket;
};

// Controllers restored with a shader or an alpha property are driven again by the output's
// sequences of the same name, as the original's sequences drove them: each sequence gets the
// original's entry for a copied controller back once.
void DriveRestoredControllers(const NifFile& original, NifFile& output,
                              const SubtreeCopier& copier) {
    std::map<std::string, NiControllerSequence*> sequences;
    for (auto& b : output.blocks) {
        if (auto* s = As<NiControllerSequence>(b.get())) sequences.emplace(output.Text(s->name), s);
    }
    for (const auto& b : original.blocks) {
        const auto* from = As<NiControllerSequence>(b.get());
        if (!from) continue;
        auto to = sequences.find(original.Text(from->name));
        if (to == sequences.end()) continue;
        for (const ControlledBlock& c : from->controlledBlocks) {
            const BlockRef controller =
                c.controller >= 0 ? copier.CopyOf(static_cast<uint32_t>(c.controller)) : kNoBlock;
            if (controller == kNoBlock) continue;
            auto& list = to->second->controlledBlocks;
            if (std::any_of(list.begin(), list.end(),
                            [&](const ControlledBlock& x) { return x.controller == controller; }))
                continue;
            ControlledBlock copy = c;
            copy.controller = controller;
            copy.interpolator = c.interpolator >= 0
                                    ? copier.CopyOf(static_cast<uint32_t>(c.interpolator))
                                    : kNoBlock;
            for (StringRef* text : {&copy.nodeName, &copy.propertyType, &copy.controllerType,
                                    &copy.controllerId, &copy.interpolatorId}) {
                if (*text != kNoString) *text = output.AddString(original.Text(*text));
            }
            list.push_back(copy);
        }
    }
}

// The stored Havok lengths of a collision tree, in walk order.
std::vector<float> StoredLengths(const NifFile& file, const std::vector<uint32_t>& tree) {
    std::vector<float> values;
    LengthVisitor gather(LengthVisitor::Mode::kGather, &values);
    for (uint32_t b : tree) file.blocks[b]->Lengths(gather);
    return values;
}

bool WithinAUnitInTheLastPlace(float a, float b) {
    const auto x = std::bit_cast<int32_t>(a), y = std::bit_cast<int32_t>(b);
    return x == y || ((x < 0) == (y < 0) && (x - y == 1 || y - x == 1));
}

// A collision that went to Blender and came back keeps every Havok length within a unit in the
// last place (a float cannot always hold a length ten times larger and come back exactly):
// where every length of a node's collision came back so, the original's bytes return.
void KeepOriginalLengths(const NifFile& original, NifFile& output, RestoreReport& report) {
    const std::map<std::string, std::vector<BlockRef>> held = CollisionHolders(original);
    std::map<std::string, size_t> used;
    for (uint32_t i = 0; i < output.blocks.size(); ++i) {
        const auto* node = As<NiAVObject>(output.blocks[i].get());
        if (!node || !output.Block(node->collisionObject)) continue;
        const std::string name = output.NameOf(i);
        auto it = held.find(name);
        if (it == held.end() || used[name] >= it->second.size()) continue;
        const BlockRef from = it->second[used[name]++];
        std::string problem;
        const std::vector<uint32_t> a =
            OwnedSubtree(original, static_cast<uint32_t>(from), problem);
        const std::vector<uint32_t> b =
            OwnedSubtree(output, static_cast<uint32_t>(node->collisionObject), problem);
        if (!problem.empty() || a.size() != b.size()) continue;
        bool sameTypes = true;
        for (size_t k = 0; k < a.size(); ++k)
            sameTypes = sameTypes && original.TypeNameOf(a[k]) == output.TypeNameOf(b[k]);
        const std::vector<float> was = StoredLengths(original, a), is = StoredLengths(output, b);
        if (!sameTypes || was.size() != is.size()) continue;
        size_t differ = 0;
        bool close = true;
        for (size_t k = 0; k < was.size() && close; ++k) {
            close = WithinAUnitInTheLastPlace(was[k], is[k]);
            differ += std::bit_cast<uint32_t>(was[k]) != std::bit_cast<uint32_t>(is[k]);
        }
        if (!close || differ == 0) continue;
        std::vector<float> values = was;
        LengthVisitor assign(LengthVisitor::Mode::kAssign, &values);
        for (uint32_t k : b) output.blocks[k]->Lengths(assign);
        report.restored.push_back("node \"" + name + "\": the original's bytes of " +
                                  std::to_string(differ) +
                                  " Havok length(s) that came back from Blender a unit in the "
                                  "last place apart");
    }
}

}  // namespace

std::vector<std::string> ShapesWithOriginalShader(const NifFile& original, const NifFile& output) {
    std::vector<std::string> names;
    for (const auto& [o, n] : MatchSceneObjects(original, output).pairs) {
        const Slots s = SlotsOf(original.blocks[o].get());
        if (s.shader && original.Block(*s.shader)) names.push_back(output.NameOf(n));
    }
    return names;
}

int RestoreFromOriginal(const NifFile& original, NifFile& output,
                        const std::vector<std::string>& keepShaders, RestoreReport& report,
                        std::string& error) {
    const uint8_t form = original.Form();
    if ((form & kFormsGame) == 0 || form != output.Form()) {
        error = "the original is in the form " +
                DescribeForm(original.header.userVersion, original.header.userVersion2) +
                " and the output in the form " +
                DescribeForm(output.header.userVersion, output.header.userVersion2) +
                "; Pellmar restores from an original in the output's game form";
        return rc::kUnsupportedForm;
    }
    const Matching m = MatchSceneObjects(original, output);
    for (uint32_t i = 0; i < original.blocks.size(); ++i) {
        const Kind k = KindOf(original.blocks[i].get());
        if ((k == Kind::kShape || k == Kind::kNode) && !m.originalMatched[i])
            report.unmatched.push_back("the original's " + Label(original, i) +
                                       " has no namesake in the output");
    }
    for (uint32_t i = 0; i < output.blocks.size(); ++i) {
        const Kind k = KindOf(output.blocks[i].get());
        if ((k == Kind::kShape || k == Kind::kNode) && !m.outputMatched[i])
            report.unmatched.push_back(Label(output, i) + " has no namesake in the original");
    }
    std::set<std::string> outputNames;
    for (uint32_t i = 0; i < output.blocks.size(); ++i)
        if (KindOf(output.blocks[i].get()) != Kind::kNone) outputNames.insert(output.NameOf(i));

    SubtreeCopier copier(original, output);
    for (const auto& [o, n] : m.pairs) copier.Match(o, n);

    std::vector<Action> actions;
    std::map<uint32_t, std::vector<std::string>> kept;  // output block -> what it kept
    auto plan = [&](uint32_t target, What what, BlockRef root) {
        actions.push_back({target, what, copier.Plan(static_cast<uint32_t>(root))});
    };
    for (const auto& [o, n] : m.pairs) {
        const NiObject* from = original.blocks[o].get();
        NiObject* to = output.blocks[n].get();
        const Kind kind = KindOf(from);
        if (kind == Kind::kShape) {
            if (std::find(keepShaders.begin(), keepShaders.end(), output.NameOf(n)) !=
                keepShaders.end())
                continue;
            const Slots s = SlotsOf(const_cast<NiObject*>(from));
            if (original.Block(*s.shader)) plan(n, What::kShader, *s.shader);
            if (original.Block(*s.alpha)) plan(n, What::kAlpha, *s.alpha);
            continue;
        }
        if (kind != Kind::kNode) continue;
        const auto& a = static_cast<const NiNode&>(*from);
        const auto& b = static_cast<const NiNode&>(*to);
        if (original.Block(a.collisionObject)) {
            if (b.collisionObject == kNoBlock) {
                plan(n, What::kCollision, a.collisionObject);
            } else {
                kept[n].push_back("its own collision");
            }
        }
        // Extra data by type and name; two of one type and name in the original come once.
        std::set<std::pair<std::string, std::string>> present;
        for (BlockRef e : b.extraData)
            if (output.Block(e))
                present.insert({output.TypeNameOf(static_cast<uint32_t>(e)),
                                output.NameOf(static_cast<uint32_t>(e))});
        for (BlockRef e : a.extraData) {
            if (!original.Block(e)) continue;
            const auto i = static_cast<uint32_t>(e);
            if (present.insert({original.TypeNameOf(i), original.NameOf(i)}).second)
                plan(n, What::kExtraData, e);
        }
        if (original.Block(a.controller)) {
            if (b.controller != kNoBlock) {
                kept[n].push_back("its own controllers");
                continue;
            }
            std::string problem;
            const std::vector<uint32_t> chain =
                OwnedSubtree(original, static_cast<uint32_t>(a.controller), problem);
            const std::string missing = MissingAnimatedName(original, chain, outputNames);
            if (missing.empty()) {
                plan(n, What::kControllers, a.controller);
            } else {
                report.unmatched.push_back(Label(output, n) +
                                           ": controllers not restored: " + missing);
            }
        }
    }

    const std::vector<BlockRef> copies = copier.Commit();
    std::vector<uint32_t> replaced;
    std::map<uint32_t, std::vector<std::string>> got;
    for (const Action& act : actions) {
        const BlockRef copy = copies[act.ticket];
        if (copy == kNoBlock) {
            report.unmatched.push_back(Label(output, act.target) + ": " + WhatName(act.what) +
                                       " not restored: " + copier.Reason(act.ticket));
            continue;
        }
        NiObject* to = output.blocks[act.target].get();
        auto swap = [&](BlockRef& slot) {
            if (slot != kNoBlock) replaced.push_back(static_cast<uint32_t>(slot));
            slot = copy;
        };
        switch (act.what) {
            case What::kShader: {
                swap(*SlotsOf(to).shader);
                // The normals come from the normal map, as with a library shader.
                const auto* shader = output.BlockAs<BSLightingShaderProperty>(copy);
                auto* shape = As<NiGeometry>(to);
                if (shader && shader->HasModelSpaceNormals() && shape)
                    if (auto* data = output.BlockAs<NiTriBasedGeomData>(shape->data))
                        data->DropNormals();
                break;
            }
            case What::kAlpha:
                swap(*SlotsOf(to).alpha);
                break;
            case What::kCollision:
                static_cast<NiAVObject*>(to)->collisionObject = copy;
                break;
            case What::kExtraData:
                static_cast<NiObjectNET*>(to)->extraData.push_back(copy);
                break;
            case What::kControllers:
                static_cast<NiObjectNET*>(to)->controller = copy;
                break;
        }
        got[act.target].push_back(std::string(WhatName(act.what)) + " (" +
                                  SummarizeBlocks(original, copier.Blocks(act.ticket)) + ")");
    }
    DriveRestoredControllers(original, output, copier);
    KeepOriginalLengths(original, output, report);
    for (const auto& [o, n] : m.pairs) {
        std::string line;
        for (const std::string& g : got[n]) line += (line.empty() ? "" : ", ") + g;
        for (const std::string& k : kept[n]) line += (line.empty() ? "kept " : ", kept ") + k;
        if (!line.empty()) report.restored.push_back(Label(output, n) + ": " + line);
    }
    // What the copies replaced leaves with what only it owned. Removing blocks renumbers the
    // file, which raw blocks would not follow: they keep the replaced blocks instead.
    if (output.OpaqueBlocks().empty()) output.DeleteBlocks(UnownedBlocks(output, replaced));
    return rc::kOk;
}
