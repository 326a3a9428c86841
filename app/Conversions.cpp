#include "Conversions.h"

#include <cstdlib>

#include "NifBlockAlphaProperty.h"
#include "NifBlockNiNode.h"
#include "NifBlockTriShape.h"
#include "ResultCodes.h"

const std::vector<std::string> kCleanRemovedTypes = {
    "NiSpecularProperty", "BSShaderPPLightingProperty", "BSShaderTextureSet", "NiMaterialProperty",
    "NiStencilProperty"};

const std::vector<std::string> kToBlenderRemovedTypes = {
    "NiSpecularProperty", "BSLightingShaderProperty", "BSShaderTextureSet", "NiMaterialProperty",
    "NiStencilProperty",  "NiAlphaProperty",          "BSInvMarker"};

namespace {

bool IsSupportedForm(const NifBlockHeader& h) {
    return (h.userVersion == kBlenderUserVersion && h.userVersion2 == kBlenderUserVersion2) ||
           (h.userVersion == kGameUserVersion && h.userVersion2 == kGameUserVersion2);
}

std::string ListBlocks(const std::vector<BlockName>& blocks) {
    std::string text;
    for (const BlockName& b : blocks) {
        text +=
            (text.empty() ? "" : ", ") + ("block " + std::to_string(b.index) + " (" + b.type + ")");
    }
    return text;
}

ConversionResult Refuse(int code, std::string message) {
    ConversionResult r;
    r.code = code;
    r.message = std::move(message);
    return r;
}

// The common part: type removals, the single-child root, and the checks that the edits and
// the coming form switch leave no opaque block corrupt.
ConversionResult StripAndCheck(const NifFile& input, const std::vector<std::string>& types,
                               uint32_t targetUserVersion, NifFile& output) {
    if (!IsSupportedForm(input.header)) {
        return Refuse(
            rc::kUnsupportedForm,
            "The input is in the form " +
                DescribeForm(input.header.userVersion, input.header.userVersion2) +
                "; Pellmar converts only the Blender form (11/34) and the game form (12/83).");
    }
    output = input;
    const size_t before = output.blocks.size();
    for (const std::string& type : types) output.DeleteBlocksOfType(type);
    // The saved footer always names block 0 as the root, so a root is dropped only when its
    // one child becomes block 0.
    if (!output.blocks.empty() && output.TypeNameOf(0) == "NiNode") {
        const auto& root = static_cast<const NifBlockNiNode&>(*output.blocks[0]);
        if (root.numChildren == 1 && root.children.size() == 1 && root.children[0] == 1)
            output.DeleteBlock(0);
    }
    if (output.blocks.size() != before) {
        const std::vector<BlockName> stale = output.OpaqueBlocksWithUnreachableReferences();
        if (!stale.empty()) {
            return Refuse(rc::kUnsafeOpaqueBlock,
                          "Pellmar cannot repair the block references inside " + ListBlocks(stale) +
                              ", which removing blocks would leave pointing at the wrong blocks.");
        }
    }
    if (output.header.userVersion != targetUserVersion) {
        const std::vector<BlockName> broken = output.OpaqueBlocksBrokenByFormSwitch();
        if (!broken.empty()) {
            return Refuse(rc::kUnsafeOpaqueBlock,
                          "Pellmar cannot convert the layout of " + ListBlocks(broken) +
                              " between the Blender form and the game form.");
        }
    }
    return {};
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
                              NifFile& output) {
    if (library.header.userVersion != kGameUserVersion ||
        library.header.userVersion2 != kGameUserVersion2) {
        return Refuse(rc::kBadLibrary,
                      "The shader library is in the form " +
                          DescribeForm(library.header.userVersion, library.header.userVersion2) +
                          ", not in the game form (12/83).");
    }
    ConversionResult result = StripAndCheck(input, kCleanRemovedTypes, kGameUserVersion, output);
    if (result.code != rc::kOk) return result;
    output.SetUserVersions(kGameUserVersion, kGameUserVersion2);

    for (const AssignmentRow& row : rows) {
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
        // Only an alpha block that the assignment created takes the configured values.
        const NifBlockTriShape* shape = output.FindShapeByName(row.shape);
        const BlockRef a = shape ? shape->alphaProperty : kNoBlock;
        if (a >= 0 && static_cast<size_t>(a) < output.blocks.size() &&
            output.blocks[static_cast<size_t>(a)]->blockKind == kKindAlphaProperty) {
            auto& block =
                static_cast<NifBlockAlphaProperty&>(*output.blocks[static_cast<size_t>(a)]);
            block.flags = alpha.flags;
            block.threshold = alpha.threshold;
        }
    }
    return result;
}

ConversionResult PrepareToBlender(const NifFile& input, NifFile& output) {
    ConversionResult result =
        StripAndCheck(input, kToBlenderRemovedTypes, kBlenderUserVersion, output);
    if (result.code == rc::kOk) output.SetUserVersions(kBlenderUserVersion, kBlenderUserVersion2);
    return result;
}
