// The abstract block: every object of a NIF file other than the header. A block knows which
// class it is (blockKind), the size of the body its Put writes (blockSize), how to read and
// write that body, and how to follow three kinds of file edits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BlockRemap.h"
#include "NifReader.h"
#include "NifWriter.h"

class NifBlockHeader;

enum BlockKind : uint16_t {
    kKindHeader = 0,
    kKindUnknown = 1,
    kKindTriShape = 2,
    kKindTriShapeData = 3,
    kKindNiNode = 4,
    kKindDismemberment = 5,
    kKindSkin = 6,  // NiSkinData and NiSkinPartition share it
    kKindLightShadeProp = 7,
    kKindAlphaProperty = 8,
};

class NifBlock {
  public:
    explicit NifBlock(uint16_t kind) : blockKind(kind) {}
    virtual ~NifBlock() = default;

    // Blocks were removed from the file: adjust every stored block reference and blockSize.
    virtual void notifyBlockDelete(const BlockRemap& remap) { (void)remap; }
    void notifyBlockDelete(uint32_t blockIndex) { notifyBlockDelete(BlockRemap({blockIndex})); }
    // The file switched between user version 11 and 12: take the new layout and its size.
    virtual void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) {
        (void)userVersion;
        (void)userVersion2;
    }
    // Vertices with these indices (strictly ascending) leave the shape.
    virtual void notifyVerticesDelete(const std::vector<uint16_t>& indices) { (void)indices; }
    virtual void Get(NifReader& in, const NifBlockHeader& header) = 0;
    virtual void Put(NifWriter& out, const NifBlockHeader& header) const = 0;

    // Appends every block reference the block holds and can repair.
    virtual void CollectReferences(std::vector<BlockRef>& out) const { (void)out; }
    // A deep copy.
    virtual std::unique_ptr<NifBlock> Clone() const = 0;

    // Which class the block is; set by the constructor and never changed.
    uint16_t blockKind;
    uint32_t blockSize = 0;

  protected:
    NifBlock(const NifBlock&) = default;
    NifBlock& operator=(const NifBlock&) = default;
};

// Reads a string reference and checks it against the header's string table; returns the text
// it names (empty for -1).
std::string ReadName(NifReader& in, const NifBlockHeader& header, StringRef& nameIndex);

// Reference lists are written from their count field, then that many entries.
void ReadRefList(NifReader& in, uint32_t count, std::vector<BlockRef>& list);
void WriteRefList(NifWriter& out, const std::vector<BlockRef>& list);
