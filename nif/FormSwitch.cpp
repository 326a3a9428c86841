#include "FormSwitch.h"

#include <algorithm>
#include <map>

#include "Geometry.h"
#include "HavokUnits.h"
#include "Ownership.h"
#include "Shaders.h"
#include "ShapeConversion.h"
#include "Visitors.h"

namespace {

void MoveAlphaProperty(NifFile& file, uint8_t to) {
    for (auto& b : file.blocks) {
        auto* shape = As<NiGeometry>(b.get());
        if (!shape) continue;
        if (to == kForm34) {
            if (shape->alphaProperty != kNoBlock) shape->properties.push_back(shape->alphaProperty);
            shape->alphaProperty = kNoBlock;
            shape->shaderProperty = kNoBlock;
            continue;
        }
        auto& list = shape->properties;
        for (size_t k = 0; k < list.size(); ++k) {
            if (shape->alphaProperty == kNoBlock && file.BlockAs<NiAlphaProperty>(list[k])) {
                shape->alphaProperty = list[k];
                break;
            }
        }
        list.clear();
    }
}

void LodShapesToTriShapes(NifFile& file, std::vector<std::string>& warnings) {
    size_t count = 0;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        auto* lod = As<BSLODTriShape>(file.blocks[i].get());
        if (!lod || lod->Type() != TypeId::BSLODTriShape) continue;
        auto shape = std::make_unique<NiTriShape>();
        static_cast<NiTriBasedGeom&>(*shape) = static_cast<const NiTriBasedGeom&>(*lod);
        warnings.push_back("BSLODTriShape \"" + file.NameOf(i) +
                           "\" became a NiTriShape; its level-of-detail sizes " +
                           std::to_string(lod->lod0Size) + ", " + std::to_string(lod->lod1Size) +
                           " and " + std::to_string(lod->lod2Size) + " were dropped");
        file.ReplaceBlock(i, std::move(shape));
        ++count;
    }
    (void)count;
}

}  // namespace

std::string SummarizeBlocks(const NifFile& file, const std::vector<uint32_t>& indices) {
    std::map<std::string, size_t> counts;
    for (uint32_t i : indices) ++counts[file.TypeNameOf(i)];
    std::string text;
    for (const auto& [type, n] : counts)
        text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + type;
    return text;
}

std::vector<uint32_t> BlocksMissingFromForm(const NifFile& file, uint8_t to) {
    const size_t n = file.blocks.size();
    const Ownership ownership(file);
    std::vector<bool> removed(n, false);
    std::vector<uint32_t> work;
    for (uint32_t i = 0; i < n; ++i) {
        const TypeId t = file.blocks[i]->Type();
        if (t == TypeId::kUnlisted || (InfoOf(t).forms & to) != 0) continue;
        // Inside a collision tree the whole collision object goes.
        uint32_t root = i;
        std::vector<bool> seen(n, false);
        for (uint32_t at = i; !seen[at] && !ownership.Owners(at).empty();) {
            seen[at] = true;
            at = ownership.Owners(at).front();
            if (IsA(file.blocks[at]->Type(), TypeId::NiAVObject)) break;
            if (IsA(file.blocks[at]->Type(), TypeId::NiCollisionObject)) root = at;
        }
        if (!removed[root]) {
            removed[root] = true;
            work.push_back(root);
        }
    }
    // Then everything owned only by removed blocks.
    return ownership.Cascade(removed, std::move(work));
}

namespace {

// The switch between two forms of one geometry layout (11/34 and 12/83, or 12/83 and 12/100).
void SwitchBlocks(NifFile& file, uint8_t from, uint8_t to, FormSwitchReport& report) {
    if (to == kForm34) LodShapesToTriShapes(file, report.warnings);
    const std::vector<uint32_t> leaving = BlocksMissingFromForm(file, to);
    if (!leaving.empty()) {
        report.warnings.push_back("removed what the target form lacks: " +
                                  SummarizeBlocks(file, leaving));
        file.DeleteBlocks(leaving);
    }
    MoveAlphaProperty(file, to);
    std::vector<std::string> notes;
    for (auto& b : file.blocks) b->SwitchForm(from, to, notes);
    // Havok's lengths are ten times larger in the Blender form.
    if ((from == kForm34) != (to == kForm34)) {
        LengthVisitor lengths(
            to == kForm34 ? LengthVisitor::Mode::kToBlender : LengthVisitor::Mode::kToGame, from);
        for (auto& b : file.blocks) b->Lengths(lengths);
    }
    // Notes of one kind are summarised with their count.
    std::map<std::string, size_t> counts;
    for (const std::string& n : notes) ++counts[n];
    for (const auto& [text, count] : counts)
        report.warnings.push_back(count == 1 ? text
                                             : text + " (" + std::to_string(count) + " times)");
}

}  // namespace

FormSwitchReport SwitchForm(NifFile& file, uint32_t userVersion, uint32_t userVersion2,
                            ShapeWatcher* watcher) {
    FormSwitchReport report;
    const uint8_t from = file.Form();
    const uint8_t to = FormOf(userVersion, userVersion2);
    if (from == 0 || to == 0 || from == to) {
        file.SetUserVersions(userVersion, userVersion2);
        return report;
    }
    // Files list their block types in the order of first use; a switch that replaces types
    // keeps them so.
    const bool ordered = file.TypesInFirstUseOrder();
    // The Special Edition's shapes are converted in the original edition's layout: 11/34
    // passes through 12/83 on the way to and from 12/100.
    if (from == kForm100) {
        UnpackShapes(file, report.warnings, watcher);
        SwitchBlocks(file, kForm100, kForm83, report);
        file.SetUserVersions(kGameUserVersion, kGameUserVersion2);
        if (to == kForm34) SwitchBlocks(file, kForm83, kForm34, report);
    } else if (to == kForm100) {
        if (from == kForm34) {
            SwitchBlocks(file, kForm34, kForm83, report);
            file.SetUserVersions(kGameUserVersion, kGameUserVersion2);
        }
        PackShapes(file, report.warnings, watcher);
        SwitchBlocks(file, kForm83, kForm100, report);
    } else {
        SwitchBlocks(file, from, to, report);
    }
    file.SetUserVersions(userVersion, userVersion2);
    if (ordered) file.SortTypesByFirstUse();
    return report;
}
