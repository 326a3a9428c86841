// Editing and query operations of NifFile.
#include <algorithm>

#include "ExtraData.h"
#include "Geometry.h"
#include "NifFile.h"
#include "Shaders.h"
#include "ShapeView.h"
#include "Visitors.h"

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
    const uint8_t form = Form();
    for (auto& block : blocks) RemapRefs(*block, form, remap);
    uint32_t rootCount = static_cast<uint32_t>(roots.size());
    remap.RepairList(roots, rootCount);
}

void NifFile::SetUserVersions(uint32_t userVersion, uint32_t userVersion2) {
    header.userVersion = userVersion;
    header.userVersion2 = userVersion2;
}

const std::string& NifFile::Text(StringRef index) const {
    static const std::string kNone;
    if (index < 0 || static_cast<size_t>(index) >= header.strings.size()) return kNone;
    return header.strings[static_cast<size_t>(index)];
}

std::string NifFile::NameOf(uint32_t blockIndex) const {
    const NiObject* b = Block(static_cast<BlockRef>(blockIndex));
    if (auto* net = As<NiObjectNET>(b)) return Text(net->name);
    if (auto* extra = As<NiExtraData>(b)) return Text(extra->name);
    return {};
}

StringRef NifFile::AddString(const std::string& text) {
    auto it = std::find(header.strings.begin(), header.strings.end(), text);
    if (it != header.strings.end()) return static_cast<StringRef>(it - header.strings.begin());
    header.strings.push_back(text);
    header.numStrings = static_cast<uint32_t>(header.strings.size());
    header.maxStringLength =
        std::max<uint32_t>(header.maxStringLength, static_cast<uint32_t>(text.size()));
    return static_cast<StringRef>(header.strings.size() - 1);
}

void NifFile::RenameShape(const std::string& oldName, const std::string& newName) {
    auto* shape = BlockAs<NiAVObject>(FindShape(*this, oldName));
    if (!shape) return;
    const StringRef k = shape->name;
    // Another reader of the entry keeps its text: the shape then gets an entry of its own.
    size_t readers = 0;
    if (k >= 0 && static_cast<size_t>(k) < header.strings.size()) {
        for (auto& b : blocks) {
            ForEachString(*b, Form(), [&](StringRef& s) { readers += s == k; });
        }
    }
    if (readers == 1) {
        header.strings[static_cast<size_t>(k)] = newName;
        header.maxStringLength =
            std::max<uint32_t>(header.maxStringLength, static_cast<uint32_t>(newName.size()));
        return;
    }
    header.strings.push_back(newName);
    header.numStrings = static_cast<uint32_t>(header.strings.size());
    header.maxStringLength =
        std::max<uint32_t>(header.maxStringLength, static_cast<uint32_t>(newName.size()));
    shape->name = static_cast<StringRef>(header.strings.size() - 1);
}

BlockRef NifFile::AppendBlock(std::unique_ptr<NiObject> block, const std::string& rawTypeName) {
    header.blockSizes.push_back(0);
    const TypeId type = block->Type();
    header.blockTypeIndex.push_back(
        header.FindOrAddBlockType(type == TypeId::kUnlisted ? rawTypeName : ::NameOf(type)));
    blocks.push_back(std::move(block));
    header.numBlocks = static_cast<uint32_t>(blocks.size());
    return static_cast<BlockRef>(blocks.size() - 1);
}

void NifFile::ReplaceBlock(uint32_t index, std::unique_ptr<NiObject> block) {
    if (index >= blocks.size()) return;
    const uint16_t oldType = header.blockTypeIndex[index];
    header.blockTypeIndex[index] = header.FindOrAddBlockType(::NameOf(block->Type()));
    blocks[index] = std::move(block);
    // The old type name leaves the table when no block has it any more.
    if (std::find(header.blockTypeIndex.begin(), header.blockTypeIndex.end(), oldType) !=
        header.blockTypeIndex.end())
        return;
    header.blockTypes.erase(header.blockTypes.begin() + oldType);
    header.numBlockTypes = static_cast<uint16_t>(header.blockTypes.size());
    for (uint16_t& t : header.blockTypeIndex) {
        if (t > oldType) --t;
    }
}

NiGeometry* NifFile::FindShapeByName(const std::string& name) {
    return BlockAs<NiGeometry>(FindShape(*this, name));
}

const NiGeometry* NifFile::FindShapeByName(const std::string& name) const {
    return const_cast<NifFile*>(this)->FindShapeByName(name);
}

const BSLightingShaderProperty* NifFile::FindShaderByName(const std::string& name) const {
    for (const auto& b : blocks) {
        if (auto* shader = As<BSLightingShaderProperty>(b.get())) {
            if (Text(shader->name) == name) return shader;
        }
    }
    return nullptr;
}

size_t NifFile::GetShapeNames(std::vector<std::string>& names) const {
    names.clear();
    for (const ShapeView& s : ShapesOf(*this)) names.push_back(s.Name());
    return names.size();
}

size_t NifFile::GetShaderNames(std::vector<std::string>& names) const {
    names.clear();
    for (const auto& b : blocks) {
        if (auto* shader = As<BSLightingShaderProperty>(b.get()))
            names.push_back(Text(shader->name));
    }
    return names.size();
}

void NifFile::SortTypesByFirstUse() {
    std::vector<uint16_t> newIndex(header.blockTypes.size(), 0xFFFF);
    std::vector<std::string> types;
    for (uint16_t& t : header.blockTypeIndex) {
        if (t >= newIndex.size()) continue;
        if (newIndex[t] == 0xFFFF) {
            newIndex[t] = static_cast<uint16_t>(types.size());
            types.push_back(header.blockTypes[t]);
        }
        t = newIndex[t];
    }
    header.blockTypes = std::move(types);
    header.numBlockTypes = static_cast<uint16_t>(header.blockTypes.size());
}

bool NifFile::TypesInFirstUseOrder() const {
    uint16_t next = 0;
    for (uint16_t t : header.blockTypeIndex) {
        if (t > next) return false;
        if (t == next) ++next;
    }
    return next == header.blockTypes.size();
}

std::vector<BlockName> NifFile::OpaqueBlocks() const {
    std::vector<BlockName> found;
    for (uint32_t i = 0; i < blocks.size(); ++i) {
        if (!IsDescribed(*blocks[i])) found.push_back({i, TypeNameOf(i)});
    }
    return found;
}
