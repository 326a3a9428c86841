// Giving a shape a copy of a library shader, its texture set and, optionally, a new alpha
// property.
#include "Geometry.h"
#include "NifFile.h"
#include "Shaders.h"

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
            return "the shape's data is not triangle geometry data";
    }
    return "unknown";
}

AssignResult NifFile::AssignShader(const std::string& shapeName, const std::string& shaderName,
                                   const NifFile& library, bool withAlpha) {
    NiGeometry* shape = FindShapeByName(shapeName);
    if (!shape) return AssignResult::kNoSuchShape;
    const BSLightingShaderProperty* shaderTemplate = library.FindShaderByName(shaderName);
    if (!shaderTemplate) return AssignResult::kNoSuchShader;
    const auto* set = library.BlockAs<BSShaderTextureSet>(shaderTemplate->textureSet);
    if (!set) return AssignResult::kBadTextureSet;
    auto* geometry = BlockAs<NiTriBasedGeomData>(shape->data);
    if (!geometry) return AssignResult::kBadGeometry;

    // Library block indices mean nothing here: the copy keeps no name, controller or extra data.
    auto shader = std::make_unique<BSLightingShaderProperty>(*shaderTemplate);
    shader->name = kNoString;
    shader->controller = kNoBlock;
    shader->extraData.clear();
    const bool dropNormals = shader->HasModelSpaceNormals();
    const BlockRef s = static_cast<BlockRef>(blocks.size());
    shader->textureSet = s + 1;
    AppendBlock(std::move(shader));
    AppendBlock(set->Clone());
    shape->shaderProperty = s;
    if (dropNormals) geometry->DropNormals();
    if (withAlpha) shape->alphaProperty = AppendBlock(std::make_unique<NiAlphaProperty>());
    return AssignResult::kAssigned;
}
