// The visitors the core runs over block descriptions: reading, writing, and walking the
// references and string references of a block.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BlockRemap.h"
#include "NiObject.h"
#include "NifReader.h"
#include "NifWriter.h"

// Reads a body. String references past the end of the string table are kept and counted in
// *badStrings (real files hold some; they read as empty names).
void ReadBody(NiObject& block, NifReader& in, uint8_t form, size_t stringCount,
              uint32_t* badStrings);
// Writes a body; empty, or what disagrees (a list that does not match the count it shares).
// References are checked on the way when refs is given.
std::string WriteBody(const NiObject& block, NifWriter& out, uint8_t form,
                      RefCheck* refs = nullptr);
// The size WriteBody produces, counted without writing; problem receives what WriteBody would
// report.
size_t BodySize(const NiObject& block, uint8_t form, std::string* problem = nullptr,
                RefCheck* refs = nullptr);

// Reads the bodies of one file, one after another, through one visitor.
class BodyReader {
  public:
    BodyReader(uint8_t form, size_t stringCount);
    ~BodyReader();
    // A new block made by `reading` (ReadingFor), its body read as ReadBody reads it: in then
    // stands after the body, or has failed.
    std::unique_ptr<NiObject> ReadNew(BlockReading reading, NifReader& in);
    // The bodies of a file that lie whole in bytes at hand, read one after another.
    struct HeldBodies {
        const uint8_t* bytes;          // the bytes at hand
        size_t size;                   // how many
        size_t offset;                 // the file offset of bytes[0]
        const uint32_t* sizes;         // each block's body size
        const uint16_t* types;         // each block's type index
        const BlockReading* readings;  // each type index's reading (ReadingFor)
        uint32_t count;                // the file's blocks
    };
    // Reads blocks from `next` on while their bodies lie whole in the bytes at hand after
    // `used` and read cleanly to their end, appending them and moving used past them; returns
    // the first block it did not take (a body not at hand, or one that fails or ends early,
    // which the caller reads again for its message).
    uint32_t ReadHeld(const HeldBodies& held, uint32_t next, size_t& used,
                      std::vector<std::unique_ptr<NiObject>>& blocks);
    // String references past the end of the table, so far.
    uint32_t BadStrings() const { return badStrings_; }

  private:
    struct Visitor;
    NifReader empty_;
    NifReader held_;  // the bytes at hand ReadHeld reads
    uint32_t badStrings_ = 0;
    std::unique_ptr<Visitor> visitor_;
};

// Writes the bodies of one file, one after another, through one visitor. The bytes stay in
// the visitor's window until Finish: call it before using out directly, and Reopen after.
class BodyWriter {
  public:
    BodyWriter(NifWriter& out, uint8_t form, RefCheck* refs);
    ~BodyWriter();
    // Writes a body and returns its size; problem receives what disagrees, as WriteBody
    // returns it, and is left alone when nothing does.
    size_t Write(const NiObject& block, std::string& problem);
    // Writes the blocks one after another, entering each body's size in the output's size
    // table at sizesAt (4 bytes each). With types, a block of another type than its entry stops it
    // before its body; a body that disagrees, or whose references do not check, stops it after.
    // Returns the index of the block that stopped it (the block count when none did); problem
    // then receives what the body disagreed in, if that stopped it.
    size_t WriteBlocks(const std::vector<std::unique_ptr<NiObject>>& blocks, const TypeId* types,
                       size_t sizesAt, std::string& problem);
    // How many bytes out holds, counting those still in the window.
    size_t Position() const;
    void Finish();
    void Reopen();

  private:
    [[gnu::noinline]] void TakeProblem(std::string& problem) const;

    struct Visitor;
    std::unique_ptr<Visitor> visitor_;
    NifWriter& out_;  // what the bodies are written to
    RefCheck* refs_;
    size_t end_;  // where the last body written ended
};

using RefFunction = std::function<void(BlockRef& ref, RefKind kind, TypeId target)>;
// Every block reference of the body, in file order: owned and back references, single
// fields, lists and references inside structures.
void ForEachRef(NiObject& block, uint8_t form, const RefFunction& fn);
void ForEachRef(const NiObject& block, uint8_t form,
                const std::function<void(BlockRef ref, RefKind kind, TypeId target)>& fn);
// Every string-table reference of the body.
void ForEachString(NiObject& block, uint8_t form, const std::function<void(StringRef& s)>& fn);
// Blocks left the file: references follow the remap; entries of removed blocks leave the
// lists that own their count and become -1 elsewhere.
void RemapRefs(NiObject& block, uint8_t form, const BlockRemap& remap);

// A visitor that walks the fields as they are and does nothing by default.
class InspectVisitor : public Visitor {
  public:
    explicit InspectVisitor(uint8_t form) : Visitor(VisitMode::kInspect, form) {}
    void Value(void*, size_t, bool) override {}
    void Values(const PodList&, size_t, uint32_t) override {}
    void VisitRef(BlockRef&, RefKind, TypeId) override {}
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t, RefKind kind, TypeId target,
                   bool) override {
        for (BlockRef& r : refs) VisitRef(r, kind, target);
    }
    void VisitString(StringRef&) override {}
    void Text(std::string&, size_t) override {}
    void Rest(std::vector<uint8_t>&) override {}
};
