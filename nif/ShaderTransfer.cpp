// Giving a shape a copy of a library shader, its texture set and, optionally, a new alpha
// property.
#include "NifBlockAlphaProperty.h"
#include "NifBlockBSLightShadeProp.h"
#include "NifBlockTriShape.h"
#include "NifBlockTriShapeData.h"
#include "NifBlockUnknown.h"
#include "NifFile.h"

const char* DescribeAssignResult(AssignResult result) {
    switch (result) {
        case AssignResult::kAssigned:
            return "assigned";
        case AssignResult::kNoSuchShape:
            return "the input holds no shape of that name";
        case AssignResult::kNoSuchShader:
            return "the library holds no shader of that name";
        case AssignResult::kBadTextureSet:
            return "the library shader's texture set is not a BSShaderTextureSet block";
        case AssignResult::kBadGeometry:
            return "the shape's data is not a NiTriShapeData block";
    }
    return "unknown";
}

AssignResult NifFile::AssignShader(const std::string& shapeName, const std::string& shaderName,
                                   const NifFile& library, bool withAlpha) {
    NifBlockTriShape* shape = FindShapeByName(shapeName);
    if (!shape) return AssignResult::kNoSuchShape;
    const NifBlockBSLightShadeProp* shaderTemplate = library.FindShaderByName(shaderName);
    if (!shaderTemplate) return AssignResult::kNoSuchShader;
    const BlockRef set = shaderTemplate->textureSet;
    if (set < 0 || static_cast<size_t>(set) >= library.blocks.size() ||
        library.blocks[static_cast<size_t>(set)]->blockKind != kKindUnknown ||
        library.TypeNameOf(static_cast<uint32_t>(set)) != "BSShaderTextureSet") {
        return AssignResult::kBadTextureSet;
    }
    const BlockRef d = shape->data;
    if (d < 0 || static_cast<size_t>(d) >= blocks.size() ||
        blocks[static_cast<size_t>(d)]->blockKind != kKindTriShapeData) {
        return AssignResult::kBadGeometry;
    }

    // Library block indices mean nothing here: the copy keeps no name, controller or extra data.
    auto shader = std::make_unique<NifBlockBSLightShadeProp>();
    shader->CopyFrom(*shaderTemplate);
    shader->nameIndex = kNoString;
    shader->name.clear();
    shader->controller = kNoBlock;
    shader->blockSize -= 4 * static_cast<uint32_t>(shader->extraData.size());
    shader->extraData.clear();
    shader->numExtraData = 0;

    const auto s = static_cast<BlockRef>(blocks.size());
    shader->textureSet = s + 1;
    const bool dropNormals = shader->HasModelSpaceNormals();
    AppendBlock(std::move(shader), "BSLightingShaderProperty");
    AppendBlock(library.blocks[static_cast<size_t>(set)]->Clone(), "BSShaderTextureSet");
    shape->shaderProperty = s;

    if (dropNormals) {
        auto* geometry = static_cast<NifBlockTriShapeData*>(blocks[static_cast<size_t>(d)].get());
        geometry->DropNormals();
        header.blockSizes[static_cast<size_t>(d)] = geometry->blockSize;
    }
    if (withAlpha) {
        shape->alphaProperty = s + 2;
        AppendBlock(std::make_unique<NifBlockAlphaProperty>(), "NiAlphaProperty");
    }
    return AssignResult::kAssigned;
}
