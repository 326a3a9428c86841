#include "Conversions.h"

#include <algorithm>
#include <cstdlib>

#include "FormSwitch.h"
#include "Geometry.h"
#include "MeshCompare.h"
#include "Ownership.h"
#include "Repair.h"
#include "Restore.h"
#include "ResultCodes.h"
#include "Shaders.h"
#include "ShapeConversion.h"
#include "ShapeView.h"

const std::vector<TypeId> kCleanRemovedTypes = {
    TypeId::NiSpecularProperty, TypeId::BSShaderPPLightingProperty, TypeId::BSShaderTextureSet,
    TypeId::NiMaterialProperty, TypeId::NiStencilProperty};

const std::vector<TypeId> kToBlenderRemovedTypes = {
    TypeId::NiSpecularProperty, TypeId::BSLightingShaderProperty, TypeId::BSShaderTextureSet,
    TypeId::NiMaterialProperty, TypeId::NiStencilProperty,        TypeId::NiAlphaProperty,
    TypeId::BSInvMarker};

std::function<void(NifFile&)> g_breakConversionForTests;

namespace {

ConversionResult Refuse(int code, std::string message) {
    ConversionResult r;
    r.code = code;
    r.message = std::move(message);
    return r;
}

bool IsSupportedForm(const NifBlockHeader& h) {
    return (h.userVersion == kBlenderUserVersion && h.userVersion2 == kBlenderUserVersion2) ||
           (h.userVersion == kGameUserVersion &&
            (h.userVersion2 == kGameUserVersion2 || h.userVersion2 == kSEUserVersion2));
}

// Shapes that cannot take the target form's geometry layout refuse the conversion.
ConversionResult SwitchChecked(NifFile& file, uint32_t userVersion, uint32_t userVersion2,
                               ShapeWatcher* watcher = nullptr) {
    const std::string problem = CheckShapesConvertible(file, FormOf(userVersion, userVersion2));
    if (!problem.empty())
        return Refuse(rc::kUnsupportedForm, "Pellmar cannot convert this mesh's " + problem + ".");
    ConversionResult result;
    result.warnings = SwitchForm(file, userVersion, userVersion2, watcher).warnings;
    return result;
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

// What every conversion refuses: a form it does not convert, or an inconsistent file.
ConversionResult RefuseUnconvertible(const NifFile& input) {
    if (!IsSupportedForm(input.header)) {
        return Refuse(
            rc::kUnsupportedForm,
            "The input is in the form " +
                DescribeForm(input.header.userVersion, input.header.userVersion2) +
                "; Pellmar converts only the Blender form (11/34) and the game forms (12/83 "
                "and 12/100).");
    }
    // A file whose tables or references disagree would be converted into another wrong file.
    if (const std::string problem = input.CheckConsistency(); !problem.empty()) {
        return Refuse(rc::kInconsistent,
                      "The input is inconsistent, so Pellmar does not convert it (repair can "
                      "tell what is wrong): " +
                          problem + ".");
    }
    return {};
}

// The common part, on the output: type removals, the single-child root, the checks that the
// edits and the coming form switch leave no opaque block corrupt, and the switch (watched by
// `watcher` when given).
ConversionResult StripAndSwitch(NifFile& output, const std::vector<TypeId>& types,
                                uint32_t targetUserVersion, uint32_t targetUserVersion2,
                                CompareOptions& expected, bool dropRoot,
                                ShapeWatcher* watcher = nullptr) {
    const std::vector<BlockName> opaque = output.OpaqueBlocks();
    const uint8_t to = FormOf(targetUserVersion, targetUserVersion2);
    const bool switches = output.Form() != to;
    if (!opaque.empty() && switches) {
        return Refuse(rc::kUnsafeOpaqueBlock,
                      "Pellmar cannot convert the layout of blocks it does not know between the "
                      "Blender form and the game form: " +
                          SummarizeBlocks(output, Indices(opaque)) + ".");
    }
    const size_t before = output.blocks.size();
    // Removed blocks leave with what they own: a property's controllers, interpolators and
    // their data, and the animation's entries that drove them.
    std::vector<uint32_t> removed;
    for (uint32_t i = 0; i < output.blocks.size(); ++i) {
        if (std::find(types.begin(), types.end(), output.blocks[i]->Type()) != types.end())
            removed.push_back(i);
    }
    RemoveWhole(output, removed);
    if (dropRoot) DropSingleChildRoot(output);
    if (output.blocks.size() != before && !opaque.empty()) {
        return Refuse(rc::kUnsafeOpaqueBlock,
                      "Pellmar cannot repair the block references inside blocks it does not know, "
                      "which removing blocks would leave pointing at the wrong blocks: " +
                          SummarizeBlocks(output, Indices(output.OpaqueBlocks())) + ".");
    }
    if (!switches) return {};
    // Collision whose blocks the target form lacks leaves with them (the switch names it).
    expected.collisionMayLeave = !BlocksMissingFromForm(output, to).empty();
    return SwitchChecked(output, targetUserVersion, targetUserVersion2, watcher);
}

// Refusals first, then the work on a copy of the input.
ConversionResult StripAndCheck(const NifFile& input, const std::vector<TypeId>& types,
                               uint32_t targetUserVersion, uint32_t targetUserVersion2,
                               NifFile& output, CompareOptions& expected, bool dropRoot = true) {
    ConversionResult refused = RefuseUnconvertible(input);
    if (refused.code != rc::kOk) return refused;
    output = input;
    return StripAndSwitch(output, types, targetUserVersion, targetUserVersion2, expected, dropRoot);
}

// The conversion's result, or its refusal when the content check found a problem.
ConversionResult WithProblems(const std::string& problem, ConversionResult result) {
    if (problem.empty()) return result;
    return Refuse(rc::kContentChanged, "Pellmar did not write the conversion because " + problem +
                                           ". This is a fault of Pellmar; please report it "
                                           "with the input file.");
}

// The last step of every conversion: the output must keep the input's meshes, apart from what
// the conversion changes on purpose.
ConversionResult Checked(const NifFile& input, NifFile& output, const CompareOptions& expected,
                         ConversionResult result) {
    if (g_breakConversionForTests) g_breakConversionForTests(output);
    return WithProblems(ContentProblems(input, output, expected), std::move(result));
}

// What the repairs did, then what they left and why.
void TakeRepairs(RepairReport report, ConversionResult& result) {
    result.repairs = std::move(report.repairs);
    for (const std::string& s : report.skipped) result.repairs.push_back("not repaired: " + s);
}

// Shapes under a shader with model-space normals lose their normals and tangents on purpose
// (AssignShader, the restore).
void AllowModelSpaceNormals(const NifFile& output, CompareOptions& expected) {
    for (const ShapeView& s : ShapesOf(output)) {
        const auto* shader = output.BlockAs<BSLightingShaderProperty>(s.Shader());
        if (shader && shader->HasModelSpaceNormals())
            expected.allowed[s.Name()] |= kPartNormals | kPartTangents;
    }
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
                              NifFile& output, const RestoreSource& restore, bool repair,
                              uint8_t form) {
    return PrepareClean(input, library, CleanSettings{{}, rows, alpha, restore, repair, form},
                        output);
}

ConversionResult PrepareClean(const NifFile& input, const NifFile& library,
                              const CleanSettings& settings, NifFile& output) {
    const std::vector<AssignmentRow>& rows = settings.rows;
    const AlphaSettings& alpha = settings.alpha;
    const RestoreSource& restore = settings.restore;
    const bool repair = settings.repair;
    const uint8_t form = settings.form;
    const NifFile* original = restore.original;
    const bool noLibrary = original && library.blocks.empty();
    if (!noLibrary && (library.header.userVersion != kGameUserVersion ||
                       library.header.userVersion2 != kGameUserVersion2)) {
        return Refuse(rc::kBadLibrary,
                      "The shader library is in the form " +
                          DescribeForm(library.header.userVersion, library.header.userVersion2) +
                          ", not in the game form (12/83).");
    }
    // Shapes, shaders and collision are restored in the original edition's layout; a Special
    // Edition original is read through it.
    NifFile converted;
    if (original && original->Form() == kForm100) {
        ConversionResult c = PrepareConvert(*original, kForm83, converted);
        if (c.code != rc::kOk) {
            c.message = "The original cannot be read in the game form (12/83): " + c.message;
            return c;
        }
        original = &converted;
    }
    if (original && original->Form() != kForm83) {
        return Refuse(
            rc::kUnsupportedForm,
            "The original is in the form " +
                DescribeForm(original->header.userVersion, original->header.userVersion2) +
                "; Pellmar restores from game meshes (12/83 or 12/100).");
    }
    CompareOptions expected;
    ConversionResult result = StripAndCheck(input, kCleanRemovedTypes, kGameUserVersion,
                                            kGameUserVersion2, output, expected);
    if (result.code != rc::kOk) return result;
    for (const auto& [from, to] : settings.renames) {
        if (FindShape(output, from) < 0) {
            result.warnings.push_back("no shape named \"" + from + "\" to rename");
            continue;
        }
        output.RenameShape(from, to);
        // The content check matches the input's shape with its new name.
        bool chained = false;
        for (auto& [original, now] : expected.renamed) {
            if (now == from) {
                now = to;
                chained = true;
            }
        }
        if (!chained) expected.renamed[from] = to;
    }

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
        expected.collisionMayArrive = true;
    }
    AllowModelSpaceNormals(output, expected);
    if (repair) {
        TakeRepairs(Repair(output), result);
        // Tangents that a repair generated.
        expected.mayAdd["*"] |= kPartTangents;
    }
    if (form == kForm100) {
        ConversionResult packed = SwitchChecked(output, kGameUserVersion, kSEUserVersion2);
        if (packed.code != rc::kOk) return packed;
        result.warnings.insert(result.warnings.end(), packed.warnings.begin(),
                               packed.warnings.end());
    }
    return Checked(input, output, expected, std::move(result));
}

ConversionResult PrepareToBlender(const NifFile& input, NifFile& output) {
    CompareOptions expected;
    ConversionResult result = StripAndCheck(input, kToBlenderRemovedTypes, kBlenderUserVersion,
                                            kBlenderUserVersion2, output, expected);
    if (result.code != rc::kOk) return result;
    return Checked(input, output, expected, std::move(result));
}

namespace {

// What convert refuses before it starts.
ConversionResult RefuseUnconvertedForm(const NifFile& input) {
    if (input.Form() == kForm34) {
        return Refuse(rc::kUnsupportedForm,
                      "The input is a Blender export (11/34); convert game meshes (12/83 or "
                      "12/100), or clean Blender exports with clean --form.");
    }
    return RefuseUnconvertible(input);
}

// The conversion of a file that passed those refusals, in place.
ConversionResult SwitchInPlace(NifFile& file, uint8_t form, std::vector<std::string>* changes) {
    // A mesh already in the form stays as it is.
    if (file.Form() == form) {
        if (changes) changes->clear();
        return {};
    }
    // Nothing is removed before the switch, so the check's copy of the input numbers its
    // blocks as the file does while each shape is converted.
    CompareOptions expected;
    InPlaceContentCheck check(file, form, expected);
    ConversionResult result = StripAndSwitch(file, {}, kGameUserVersion,
                                             form == kForm100 ? kSEUserVersion2 : kGameUserVersion2,
                                             expected, false, &check);
    if (result.code != rc::kOk) return result;
    if (g_breakConversionForTests) g_breakConversionForTests(file);
    result = WithProblems(check.Problems(file), std::move(result));
    if (changes && result.code == rc::kOk) *changes = check.Changes(file);
    return result;
}

}  // namespace

ConversionResult PrepareConvert(const NifFile& input, uint8_t form, NifFile& output) {
    ConversionResult refused = RefuseUnconvertedForm(input);
    if (refused.code != rc::kOk) return refused;
    output = input;
    return SwitchInPlace(output, form, nullptr);
}

ConversionResult ConvertInPlace(NifFile& file, uint8_t form, std::vector<std::string>* changes) {
    ConversionResult refused = RefuseUnconvertedForm(file);
    if (refused.code != rc::kOk) return refused;
    return SwitchInPlace(file, form, changes);
}

ConversionResult PrepareRepair(const NifFile& input, const std::vector<std::string>& only,
                               NifFile& output) {
    if (const std::string problem = input.CheckConsistency(); !problem.empty())
        return Refuse(rc::kInconsistent, "not repaired, the file is inconsistent: " + problem);
    output = input;
    ConversionResult result;
    TakeRepairs(Repair(output, only), result);
    CompareOptions expected;
    expected.mayAdd["*"] |= kPartTangents;  // tangents the repair generated
    return Checked(input, output, expected, std::move(result));
}
