// Editing and query operations of NifFile.
#include <algorithm>

#include "NifBlockBSLightShadeProp.h"
#include "NifBlockTriShape.h"
#include "NifBlockUnknown.h"
#include "NifFile.h"

void NifFile::DeleteBlock(uint32_t blockIndex) {
    DeleteBlocks({blockIndex});
}

void NifFile::DeleteBlocksOfType(const std::string& typeName) {
    auto it = std::find(header.blockTypes.begin(), header.blockTypes.end(), typeName);
    if (it == header.blockTypes.end()) return;
    const auto type = static_cast<uint16_t>(it - header.blockTypes.begin());
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < header.blockTypeIndex.size(); ++i) {
        if (header.blockTypeIndex[i] == type) indices.push_back(i);
    }
    DeleteBlocks(std::move(indices));
}

void NifFile::DeleteBlocks(std::vector<uint32_t> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    while (!indices.empty() && indices.back() >= blocks.size()) indices.pop_back();
    if (indices.empty()) return;

    // A type name leaves the table with the last of its blocks.
    std::vector<uint32_t> remaining(header.blockTypes.size(), 0);
    std::vector<bool> touched(header.blockTypes.size(), false);
    std::vector<bool> removed(blocks.size(), false);
    for (uint32_t i : indices) removed[i] = true;
    for (size_t i = 0; i < blocks.size(); ++i) {
        uint16_t t = header.blockTypeIndex[i];
        if (t >= remaining.size()) continue;
        if (removed[i]) {
            touched[t] = true;
        } else {
            ++remaining[t];
        }
    }
    std::vector<uint16_t> newType(header.blockTypes.size());
    std::vector<std::string> types;
    for (size_t t = 0; t < header.blockTypes.size(); ++t) {
        newType[t] = static_cast<uint16_t>(types.size());
        if (!touched[t] || remaining[t] != 0) types.push_back(std::move(header.blockTypes[t]));
    }
    header.blockTypes = std::move(types);
    header.numBlockTypes = static_cast<uint16_t>(header.blockTypes.size());

    size_t out = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (removed[i]) continue;
        blocks[out] = std::move(blocks[i]);
        uint16_t t = header.blockTypeIndex[i];
        header.blockTypeIndex[out] = t < newType.size() ? newType[t] : t;
        header.blockSizes[out] = header.blockSizes[i];
        ++out;
    }
    blocks.resize(out);
    header.blockTypeIndex.resize(out);
    header.blockSizes.resize(out);
    header.numBlocks = static_cast<uint32_t>(out);

    const BlockRemap remap(std::move(indices));
    for (size_t j = 0; j < blocks.size(); ++j) {
        blocks[j]->notifyBlockDelete(remap);
        header.blockSizes[j] = blocks[j]->blockSize;
    }
}

void NifFile::SetUserVersions(uint32_t userVersion, uint32_t userVersion2) {
    const uint32_t previous = header.userVersion;
    header.userVersion = userVersion;
    header.userVersion2 = userVersion2;
    const bool switches =
        (previous == 11 && userVersion == 12) || (previous == 12 && userVersion == 11);
    if (!switches) return;
    for (size_t i = 0; i < blocks.size(); ++i) {
        blocks[i]->notifyUserVersionChange(userVersion, userVersion2);
        header.blockSizes[i] = blocks[i]->blockSize;
    }
}

void NifFile::RenameShape(const std::string& oldName, const std::string& newName) {
    NifBlockTriShape* shape = FindShapeByName(oldName);
    if (!shape) return;
    const StringRef k = shape->nameIndex;
    if (k < 0 || static_cast<uint32_t>(k) >= header.strings.size()) {
        // No entry of its own to overwrite: the name gets a new one.
        header.strings.push_back(newName);
        header.numStrings = static_cast<uint32_t>(header.strings.size());
        shape->nameIndex = static_cast<StringRef>(header.strings.size() - 1);
    } else {
        header.strings[static_cast<size_t>(k)] = newName;
    }
    shape->name = newName;
    header.maxStringLength =
        std::max<uint32_t>(header.maxStringLength, static_cast<uint32_t>(newName.size()));
}

void NifFile::AppendBlock(std::unique_ptr<NifBlock> block, const std::string& typeName) {
    header.blockSizes.push_back(block->blockSize);
    header.blockTypeIndex.push_back(header.FindOrAddBlockType(typeName));
    blocks.push_back(std::move(block));
    header.numBlocks = static_cast<uint32_t>(blocks.size());
}

NifBlockTriShape* NifFile::FindShapeByName(const std::string& name) {
    for (auto& b : blocks) {
        if (b->blockKind == kKindTriShape) {
            auto* shape = static_cast<NifBlockTriShape*>(b.get());
            if (shape->name == name) return shape;
        }
    }
    return nullptr;
}

const NifBlockTriShape* NifFile::FindShapeByName(const std::string& name) const {
    return const_cast<NifFile*>(this)->FindShapeByName(name);
}

const NifBlockBSLightShadeProp* NifFile::FindShaderByName(const std::string& name) const {
    for (const auto& b : blocks) {
        if (b->blockKind == kKindLightShadeProp) {
            auto* shader = static_cast<const NifBlockBSLightShadeProp*>(b.get());
            if (shader->name == name) return shader;
        }
    }
    return nullptr;
}

size_t NifFile::GetShapeNames(std::vector<std::string>& names) const {
    names.clear();
    for (const auto& b : blocks) {
        if (b->blockKind == kKindTriShape)
            names.push_back(static_cast<const NifBlockTriShape*>(b.get())->name);
    }
    return names.size();
}

size_t NifFile::GetShaderNames(std::vector<std::string>& names) const {
    names.clear();
    for (const auto& b : blocks) {
        if (b->blockKind == kKindLightShadeProp) {
            names.push_back(static_cast<const NifBlockBSLightShadeProp*>(b.get())->name);
        }
    }
    return names.size();
}

std::vector<BlockName> NifFile::OpaqueBlocksWithUnreachableReferences() const {
    std::vector<BlockName> found;
    for (uint32_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->blockKind != kKindUnknown) continue;
        if (static_cast<const NifBlockUnknown*>(blocks[i].get())->HasUnreachableReferences()) {
            found.push_back({i, TypeNameOf(i)});
        }
    }
    return found;
}

std::vector<BlockName> NifFile::OpaqueBlocksBrokenByFormSwitch() const {
    std::vector<BlockName> found;
    for (uint32_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->blockKind != kKindUnknown) continue;
        if (static_cast<const NifBlockUnknown*>(blocks[i].get())->traits.layout !=
            OpaqueLayout::kStable) {
            found.push_back({i, TypeNameOf(i)});
        }
    }
    return found;
}
