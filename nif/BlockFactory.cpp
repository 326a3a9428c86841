#include "BlockFactory.h"

#include <functional>
#include <string_view>
#include <unordered_map>

#include "NifBlockBSDismemberment.h"
#include "NifBlockBSLightShadeProp.h"
#include "NifBlockNiNode.h"
#include "NifBlockNiSkinData.h"
#include "NifBlockNiSkinPartition.h"
#include "NifBlockTriShape.h"
#include "NifBlockTriShapeData.h"
#include "NifBlockUnknown.h"

namespace {

using Factory = std::function<std::unique_ptr<NifBlock>()>;

template <typename T>
std::unique_ptr<NifBlock> Make() {
    return std::make_unique<T>();
}

const std::unordered_map<std::string_view, Factory>& Table() {
    static const std::unordered_map<std::string_view, Factory> table = {
        {"NiTriShapeData", Make<NifBlockTriShapeData>},
        {"NiTriShape", Make<NifBlockTriShape>},
        {"BSDismemberSkinInstance", Make<NifBlockBSDismemberment>},
        {"NiSkinInstance", [] { return std::make_unique<NifBlockBSDismemberment>(false); }},
        {"NiNode", Make<NifBlockNiNode>},
        // Node types whose body is exactly NiNode's.
        {"BSFadeNode", Make<NifBlockNiNode>},
        {"BSLeafAnimNode", Make<NifBlockNiNode>},
        {"RootCollisionNode", Make<NifBlockNiNode>},
        {"AvoidNode", Make<NifBlockNiNode>},
        {"NiBSAnimationNode", Make<NifBlockNiNode>},
        {"NiBSParticleNode", Make<NifBlockNiNode>},
        {"NiSkinData", Make<NifBlockNiSkinData>},
        {"NiSkinPartition", Make<NifBlockNiSkinPartition>},
        {"BSLightingShaderProperty", Make<NifBlockBSLightShadeProp>},
    };
    return table;
}

}  // namespace

std::unique_ptr<NifBlock> CreateBlock(const std::string& typeName, uint32_t size) {
    auto it = Table().find(typeName);
    if (it != Table().end()) {
        std::unique_ptr<NifBlock> block = it->second();
        block->blockSize = size;
        return block;
    }
    return std::make_unique<NifBlockUnknown>(size, TraitsOfOpaqueType(typeName));
}
