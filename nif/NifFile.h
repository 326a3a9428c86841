// A NIF file in memory: the header and the ordered list of blocks, whose positions are the
// block indices. Loading, saving, editing and queries.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "FileIO.h"
#include "NifBlock.h"
#include "NifBlockHeader.h"

class NifBlockTriShape;
class NifBlockBSLightShadeProp;

// What AssignShader did.
enum class AssignResult {
    kAssigned,
    kNoSuchShape,    // the input holds no shape of that name
    kNoSuchShader,   // the library holds no shader of that name
    kBadTextureSet,  // the template's texture set is not a BSShaderTextureSet of the library
    kBadGeometry,    // the shape's data is not a NiTriShapeData block
};
const char* DescribeAssignResult(AssignResult result);

// A block named in a report: its index and type name.
struct BlockName {
    uint32_t index;
    std::string type;
};

class NifFile {
  public:
    NifFile() = default;
    NifFile(const NifFile& other);
    NifFile& operator=(const NifFile& other);
    NifFile(NifFile&&) = default;
    NifFile& operator=(NifFile&&) = default;

    void Clear();
    // rc::kOk; rc::kCannotOpen; rc::kMalformed with LastError() naming the byte offset and,
    // inside a block, the block. A failed load leaves the file empty.
    int Load(const std::string& path);
    int LoadFromMemory(const std::vector<uint8_t>& bytes);
    // Writes the header, every body and the footer (one root, block 0). Refuses, writing
    // nothing, when the file is inconsistent (rc::kInconsistent).
    int Save(const std::string& path, const OutputOpener& opener = StandardOutputOpener()) const;
    int SaveToMemory(std::string& bytes) const;
    const std::string& LastError() const { return error_; }

    // Editing.
    void DeleteBlock(uint32_t blockIndex);
    void DeleteBlocksOfType(const std::string& typeName);
    // Removes the listed blocks (any order, duplicates allowed) in one pass, with exactly the
    // result of deleting them one by one from the highest index down.
    void DeleteBlocks(std::vector<uint32_t> indices);
    void SetUserVersions(uint32_t userVersion, uint32_t userVersion2);
    void RenameShape(const std::string& oldName, const std::string& newName);
    AssignResult AssignShader(const std::string& shapeName, const std::string& shaderName,
                              const NifFile& library, bool withAlpha);
    // Appends a block with its type; the header's tables follow.
    void AppendBlock(std::unique_ptr<NifBlock> block, const std::string& typeName);

    // Queries.
    NifBlockTriShape* FindShapeByName(const std::string& name);
    const NifBlockTriShape* FindShapeByName(const std::string& name) const;
    const NifBlockBSLightShadeProp* FindShaderByName(const std::string& name) const;
    size_t GetShapeNames(std::vector<std::string>& names) const;
    size_t GetShaderNames(std::vector<std::string>& names) const;
    const std::string& TypeNameOf(uint32_t blockIndex) const {
        return header.TypeNameOf(blockIndex);
    }
    // Opaque blocks whose references Pellmar cannot find, so that any deletion may leave them
    // stale.
    std::vector<BlockName> OpaqueBlocksWithUnreachableReferences() const;
    // Opaque blocks that a switch between the two forms would leave in the wrong layout.
    std::vector<BlockName> OpaqueBlocksBrokenByFormSwitch() const;
    // Empty when the header's tables, every block size and every parsed reference agree;
    // otherwise what is wrong first.
    std::string CheckConsistency() const;

    NifBlockHeader header;
    std::vector<std::unique_ptr<NifBlock>> blocks;

  private:
    int Fail(int code, const std::string& message);
    std::string CheckTables() const;
    std::string CheckBlockSize(size_t block, size_t written) const;
    std::string CheckReferences() const;

    mutable std::string error_;
};
