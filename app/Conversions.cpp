#include "Conversions.h"

#include <algorithm>
#include <cstdlib>

#include "FormSwitch.h"
#include "Geometry.h"
#include "Repair.h"
#include "Restore.h"
#include "ResultCodes.h"
#include "Shaders.h"

const std::vector<TypeId> kCleanRemovedTypes = {
    TypeId::NiSpecularProperty, TypeId::BSShaderPPLightingProperty, TypeId::BSShaderTextureSet,
    TypeId::NiMaterialProperty, TypeId::NiStencilProperty};

const std::vector<TypeId> kToBlenderRemovedTypes = {
    TypeId::NiSpecularProperty, TypeId::BSLightingShaderProperty, TypeId::BSShaderTextureSet,
    TypeId::NiMaterialProperty, TypeId::NiStencilProperty,        TypeId::NiAlphaProperty,
    TypeId::BSInvMarker};

namespace {

bool IsSupportedForm(const NifBlockHeader& h) {
    return (h.userVersion == kBlenderUserVersion && h.userVersion2 == kBlenderUserVersion2) ||
           (h.userVersion == kGameUserVersion && h.userVersion2 == kGameUserVersion2);
}

ConversionResult Refuse(int code, std::string message) {
    ConversionResult r;
    r.code = code;
    r.message = std::move(message);
    return r;
}

std::vector<uint32_t> Indices(const std::vector<BlockName>& blocks) {
    std::vector<uint32_t> list;
    for (const BlockName& b : blocks) list.push_back(b.index);
    return list;
}

// A root node with one child and nothing else hands the scene to that child.
void DropSingleChildRoot(NifFile& file) {
    if (file.roots.size() != 1) return;
    const BlockRef r = file.roots[0];
    const NiObject* block = file.Block(r);
    if (!block || block->Type() != TypeId::NiNode) return;
    const auto& root = static_cast<const NiNode&>(*block);
    if (root.children.size() != 1 || root.children[0] == r || !root.extraData.empty() ||
        root.controller != kNoBlock || root.collisionObject != kNoBlock ||
        !file.BlockAs<NiAVObject>(root.children[0]))
        return;
    file.roots[0] = root.children[0];
    file.DeleteBlock(static_cast<uint32_t>(r));
}

// The common part: type removals, the single-child root, and the checks that the edits and
// the coming form switch leave no opaque block corrupt.
ConversionResult StripAndCheck(const NifFile& input, const std::vector<TypeId>& types,
                               uint32_t targetUserVersion, uint32_t targetUserVersion2,
                               NifFile& output) {
    if (!IsSupportedForm(input.header)) {
        return Refuse(
            rc::kUnsupportedForm,
            "The input is in the form " +
                DescribeForm(input.header.userVersion, input.header.userVersion2) +
                "; Pellmar converts only the Blender form (11/34) and the game form (12/83).");
    }
    output = input;
    const std::vector<BlockName> opaque = output.OpaqueBlocks();
    const bool switches = output.header.userVersion != targetUserVersion;
    if (!opaque.empty() && switches) {
        return Refuse(rc::kUnsafeOpaqueBlock,
                      "Pellmar cannot convert the layout of blocks it does not know between the "
                      "Blender form and the game form: " +
                          SummarizeBlocks(output, Indices(opaque)) + ".");
    }
    const size_t before = output.blocks.size();
    for (TypeId type : types) output.DeleteBlocksOfType(NameOf(type));
    DropSingleChildRoot(output);
    if (output.blocks.size() != before && !opaque.empty()) {
        return Refuse(rc::kUnsafeOpaqueBlock,
                      "Pellmar cannot repair the block references inside blocks it does not know, "
                      "which removing blocks would leave pointing at the wrong blocks: " +
                          SummarizeBlocks(output, Indices(output.OpaqueBlocks())) + ".");
    }
    ConversionResult result;
    if (switches) {
        FormSwitchReport report = SwitchForm(output, targetUserVersion, targetUserVersion2);
        result.warnings = std::move(report.warnings);
    }
    return result;
}

}  // namespace

AlphaSettings ParseAlphaSettings(const std::string* flags, const std::string* threshold) {
    AlphaSettings alpha;
    if (flags) alpha.flags = static_cast<uint16_t>(std::atoi(flags->c_str()));
    if (threshold) alpha.threshold = static_cast<uint8_t>(std::atoi(threshold->c_str()));
    return alpha;
}

ConversionResult PrepareClean(const NifFile& input, const NifFile& library,
                              const std::vector<AssignmentRow>& rows, const AlphaSettings& alpha,
                              NifFile& output, const RestoreSource& restore, bool repair) {
    const NifFile* original = restore.original;
    const bool noLibrary = original && library.blocks.empty();
    if (!noLibrary && (library.header.userVersion != kGameUserVersion ||
                       library.header.userVersion2 != kGameUserVersion2)) {
        return Refuse(rc::kBadLibrary,
                      "The shader library is in the form " +
                          DescribeForm(library.header.userVersion, library.header.userVersion2) +
                          ", not in the game form (12/83).");
    }
    if (original && original->Form() != kForm83) {
        const std::string form =
            DescribeForm(original->header.userVersion, original->header.userVersion2);
        return Refuse(rc::kUnsupportedForm,
                      original->Form() == kForm100
                          ? "The original is in the form " + form +
                                "; restoring from it into Clean's game form (12/83) needs the "
                                "conversion of Special Edition blocks, which this build lacks."
                          : "The original is in the form " + form +
                                "; Pellmar restores from game-form originals (12/83).");
    }
    ConversionResult result =
        StripAndCheck(input, kCleanRemovedTypes, kGameUserVersion, kGameUserVersion2, output);
    if (result.code != rc::kOk) return result;

    std::vector<std::string> restoredShapes;
    if (original) {
        for (const std::string& shape : ShapesWithOriginalShader(*original, output)) {
            if (std::find(restore.assigned.begin(), restore.assigned.end(), shape) ==
                restore.assigned.end())
                restoredShapes.push_back(shape);
        }
    }
    for (const AssignmentRow& row : rows) {
        if (std::find(restoredShapes.begin(), restoredShapes.end(), row.shape) !=
            restoredShapes.end())
            continue;
        if (noLibrary) {
            result.warnings.push_back("\"" + row.shape +
                                      "\" got no shader: its original has none and no library "
                                      "was given");
            continue;
        }
        const bool withAlpha = AlphaMarkIsYes(row.alpha);
        const AssignResult assigned =
            output.AssignShader(row.shape, row.shader, library, withAlpha);
        if (assigned != AssignResult::kAssigned) {
            result.warnings.push_back("\"" + row.shape +
                                      "\" got no shader: " + DescribeAssignResult(assigned) +
                                      (row.shader.empty() ? "" : " (\"" + row.shader + "\")"));
            continue;
        }
        if (!withAlpha) continue;
        // The alpha block the assignment created takes the configured values.
        const NiGeometry* shape = output.FindShapeByName(row.shape);
        if (auto* a = output.BlockAs<NiAlphaProperty>(shape ? shape->alphaProperty : kNoBlock)) {
            a->flags = alpha.flags;
            a->threshold = alpha.threshold;
        }
    }
    if (original) {
        RestoreReport report;
        std::string error;
        const int code = RestoreFromOriginal(*original, output, restore.assigned, report, error);
        if (code != rc::kOk) return Refuse(code, "Restoring from the original failed: " + error);
        result.restored = std::move(report.restored);
        result.warnings.insert(result.warnings.end(), report.unmatched.begin(),
                               report.unmatched.end());
    }
    if (repair) {
        RepairReport report = Repair(output);
        result.repairs = std::move(report.repairs);
        for (const std::string& s : report.skipped) result.repairs.push_back("not repaired: " + s);
    }
    return result;
}

ConversionResult PrepareToBlender(const NifFile& input, NifFile& output) {
    return StripAndCheck(input, kToBlenderRemovedTypes, kBlenderUserVersion, kBlenderUserVersion2,
                         output);
}
