// A NIF file in memory: the header, the ordered list of blocks (whose positions are the block
// indices) and the footer's roots. Loading, saving, editing and queries.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FileIO.h"
#include "NiObject.h"
#include "NifBlockHeader.h"

class NiGeometry;
class BSLightingShaderProperty;
struct RefCheck;

// What AssignShader did.
enum class AssignResult {
    kAssigned,
    kNoSuchShape,    // the input holds no shape of that name
    kNoSuchShader,   // the library holds no shader of that name
    kBadTextureSet,  // the template's texture set is not a BSShaderTextureSet of the library
    kBadGeometry,    // the shape's data is not triangle geometry data
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
    [[nodiscard]] int Load(const std::string& path);
    [[nodiscard]] int LoadFromMemory(const std::vector<uint8_t>& bytes);
    // Writes the header (its size table filled from the bodies), every body and the footer.
    // Refuses, writing nothing, when the file is inconsistent (rc::kInconsistent).
    [[nodiscard]] int Save(const std::string& path,
                           const OutputOpener& opener = StandardOutputOpener()) const;
    [[nodiscard]] int SaveToMemory(std::string& bytes) const;
    // Writes the file piece by piece to sink without holding it whole: the body sizes are
    // counted first. rc::kOk; rc::kInconsistent as Save, before anything reaches the sink;
    // rc::kWriteFailed when the sink returned false (it is not called again).
    using PieceSink = std::function<bool(const char* data, size_t size)>;
    [[nodiscard]] int SaveInPieces(const PieceSink& sink) const;
    const std::string& LastError() const { return error_; }
    // What loading accepted but reports: string references past the end of the table, bytes
    // after the footer.
    const std::vector<std::string>& Warnings() const { return warnings_; }
    // How many bytes followed the footer of the file loaded. They are not read (a file may
    // carry megabytes there) and not kept: saving writes the file without them.
    uint64_t TrailingBytes() const { return trailing_; }

    // The form of the file (FormBits), 0 when the block descriptions do not cover it.
    uint8_t Form() const { return FormOf(header.userVersion, header.userVersion2); }

    // Editing.
    void DeleteBlock(uint32_t blockIndex);
    void DeleteBlocksOfType(const std::string& typeName);
    // Removes the listed blocks (any order, duplicates allowed) in one pass, with exactly the
    // result of deleting them one by one from the highest index down.
    void DeleteBlocks(std::vector<uint32_t> indices);
    // Changes the user versions only; SwitchForm (FormSwitch.h) converts the blocks.
    void SetUserVersions(uint32_t userVersion, uint32_t userVersion2);
    // Renames a shape of any layout; a name entry that other blocks read too is left to them.
    void RenameShape(const std::string& oldName, const std::string& newName);
    [[nodiscard]] AssignResult AssignShader(const std::string& shapeName,
                                            const std::string& shaderName, const NifFile& library,
                                            bool withAlpha);
    // Appends a block; the header's tables follow. The type name of a raw block must be given.
    // Returns its index.
    BlockRef AppendBlock(std::unique_ptr<NiObject> block, const std::string& rawTypeName = {});
    // Replaces block i by a block of another listed type.
    void ReplaceBlock(uint32_t index, std::unique_ptr<NiObject> block);
    // The header's type names in the order of their first block (as writers list them), and
    // whether they are so; names no block uses leave.
    void SortTypesByFirstUse();
    bool TypesInFirstUseOrder() const;
    // An entry of the string table holding text (a new one when none does).
    StringRef AddString(const std::string& text);

    // Queries.
    NiObject* Block(BlockRef index) const {
        return index >= 0 && static_cast<size_t>(index) < blocks.size()
                   ? blocks[static_cast<size_t>(index)].get()
                   : nullptr;
    }
    template <class T>
    T* BlockAs(BlockRef index) const {
        return As<T>(Block(index));
    }
    // The text of a string reference; empty for -1 and references past the table.
    const std::string& Text(StringRef index) const;
    // The name of a block (its NiObjectNET or extra-data name), or empty.
    std::string NameOf(uint32_t blockIndex) const;
    // The first shape of that name in the original edition's layout (ShapeView.h finds shapes
    // of every layout).
    NiGeometry* FindShapeByName(const std::string& name);
    const NiGeometry* FindShapeByName(const std::string& name) const;
    const BSLightingShaderProperty* FindShaderByName(const std::string& name) const;
    // Shapes are the triangle geometry blocks: NiTriShape, NiTriStrips, BSLODTriShape and the
    // Special Edition's BSTriShape family.
    size_t GetShapeNames(std::vector<std::string>& names) const;
    size_t GetShaderNames(std::vector<std::string>& names) const;
    const std::string& TypeNameOf(uint32_t blockIndex) const {
        return header.TypeNameOf(blockIndex);
    }
    // Blocks kept as raw bytes, whose references Pellmar cannot find.
    std::vector<BlockName> OpaqueBlocks() const;
    // Empty when the header's tables, every body and every reference (in range, of the
    // declared type family) agree; otherwise what is wrong first.
    std::string CheckConsistency() const;

    NifBlockHeader header;
    std::vector<std::unique_ptr<NiObject>> blocks;
    std::vector<BlockRef> roots;  // the footer

  private:
    int LoadFrom(class ByteFeed& feed);
    int Fail(int code, const std::string& message);
    // The header's counts against the lists they count, and the blocks.
    std::string CountProblem() const;
    // The header's tables against the blocks; types receives each block's type.
    std::string CheckTables(std::vector<TypeId>& types) const;
    // The type each type name of the header is read as in this form: the described type, or
    // kUnlisted for raw bytes.
    std::vector<TypeId> ReadTypes() const;
    // The type each block has when it is as loading made it, from the header's tables alone;
    // false when the tables do not hold together.
    bool HeaderTypes(std::vector<TypeId>& types) const;
    // The header, the bodies and the footer into out, each reference checked against types;
    // what is wrong first, or empty. With differs, a block whose own type is not its entry of
    // types stops the writing and sets *differs.
    std::string WriteAll(NifWriter& out, uint64_t bodyBytes, const std::vector<TypeId>& types,
                         bool* differs) const;
    // What a reference check found in a block.
    std::string RefProblem(size_t block, const RefCheck& check) const;
    std::string CheckRoots() const;
    // The body sizes the header holds: what the file held when loaded, a guide for buffers.
    uint64_t StoredBodyBytes() const;
    int RefuseInconsistent(const std::string& problem) const;
    // The whole file into out, checked on the way; refuses as Save does. bodyBytes: about
    // what the bodies take, to reserve room.
    int WriteOnePass(NifWriter& out, uint64_t bodyBytes) const;
    // Each body's size as it will be written, checking the file as WriteOnePass does.
    int CountBodies(std::vector<uint32_t>& sizes) const;
    // The header (with those sizes), the bodies and the footer, in pieces of about kPiece
    // bytes; false when the sink refused one.
    bool WritePieces(const std::vector<uint32_t>& sizes, const PieceSink& sink) const;
    // Files whose bodies take fewer bytes are saved in one pass through memory.
    static constexpr uint64_t kOnePass = uint64_t{1} << 20;
    static constexpr size_t kPiece = size_t{256} << 10;
    std::string BodyProblem(size_t block, const std::string& problem) const;

    mutable std::string error_;
    std::vector<std::string> warnings_;
    uint64_t trailing_ = 0;
};

// Whether a block's fields are described: only blocks of unlisted types keep raw bodies.
inline bool IsDescribed(const NiObject& block) {
    return block.Type() != TypeId::kUnlisted;
}
