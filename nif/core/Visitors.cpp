#include "Visitors.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

class ReadVisitor : public FieldReading {
  public:
    ReadVisitor(NifReader& in, uint8_t form, size_t stringCount, uint32_t* badStrings)
        : FieldReading(VisitMode::kRead, form), in_(&in) {
        movesRecords_ = true;
        stringCount_ = stringCount;
        pastTable_ = badStrings;
        Open();
    }
    // Reads from another reader (the next body).
    void Start(NifReader& in) {
        in_ = &in;
        Open();
    }
    // Hands the window back to the reader.
    void Finish() { in_->Advance(cur_); }
    // Where the window stands: the end of a body read whole from bytes at hand.
    const uint8_t* Cursor() const { return cur_; }
    void Value(void* data, size_t size, bool) override {
        Finish();
        in_->Bytes(data, size);
        Open();
    }
    void Values(const PodList& list, size_t elemSize, uint32_t count) override {
        Finish();
        const uint32_t n = in_->Count(count, elemSize, "list");
        list.resize(list.vector, n);
        in_->Bytes(list.data(list.vector), n * elemSize);
        Open();
    }
    // The visitor moves references and string references that fit the window itself; these
    // take the rest.
    void VisitRef(BlockRef& ref, RefKind, TypeId) override { Value(&ref, 4, false); }
    // A list longer than the window.
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t count, RefKind, TypeId, bool) override {
        Finish();
        const uint32_t n = in_->Count(count, 4, "reference list");
        refs.resize(n);
        in_->Bytes(refs.data(), n * 4);
        Open();
    }
    void VisitString(StringRef& index) override {
        Value(&index, 4, false);
        CountPastTable(index);
    }
    void Text(std::string& text, size_t lengthSize) override {
        Finish();
        uint32_t length = 0;
        if (lengthSize == 1) {
            length = in_->U8();
        } else {
            length = in_->U32();
        }
        const uint32_t n = in_->Count(length, 1, "text");
        text.resize(n);
        in_->Bytes(text.data(), n);
        Open();
    }
    void Rest(std::vector<uint8_t>& raw) override {
        Finish();
        raw.resize(in_->Remaining());
        in_->Bytes(raw.data(), raw.size());
        Open();
    }
    uint32_t CheckCount(uint64_t count, size_t minSize) override {
        Finish();
        const uint32_t n = in_->Count(count, minSize, "list");
        Open();
        return n;
    }
    bool MoveRecords(const PodList& list, size_t elemSize, uint32_t count, const Run* runs,
                     size_t numRuns, size_t recordBytes) override {
        Finish();
        // Records the file cannot hold fail here, before anything is allocated for them.
        const uint32_t n = in_->Count(count, std::max<size_t>(recordBytes, 1), "list");
        // Fresh records: what the layout leaves out keeps its default, as when walked.
        list.resize(list.vector, 0);
        list.resize(list.vector, n);
        auto* record = static_cast<uint8_t*>(list.data(list.vector));
        if (numRuns == 1 && runs[0].offset == 0 && runs[0].size == elemSize) {
            in_->Bytes(record, n * elemSize);
        } else if (recordBytes != 0) {
            // As many records as are at hand at a time.
            for (uint32_t i = 0; i < n && in_->Want(recordBytes);) {
                const uint8_t* from = in_->Cursor();
                const size_t atHand = static_cast<size_t>(in_->End() - from) / recordBytes;
                const size_t stop = std::min<size_t>(n, i + atHand);
                for (; i < stop; ++i, record += elemSize) {
                    for (size_t r = 0; r < numRuns; ++r) {
                        CopyRun(record + runs[r].offset, from, runs[r].size);
                        from += runs[r].size;
                    }
                }
                in_->Advance(from);
            }
        }
        Open();
        return true;
    }

  private:
    void Open() {
        // Reading never writes through the window.
        cur_ = const_cast<uint8_t*>(in_->Cursor());
        end_ = const_cast<uint8_t*>(in_->End());
        // Whatever failed did so in a call to the reader, each of which is followed by Open.
        stopped_ = in_->Failed();
    }
    NifReader* in_;
};

// Counts the bytes a NifWriter would receive. Its window is a scratch area that small values
// are written over and over.
class ByteCounter {
  public:
    void U8(uint8_t) { Bytes(nullptr, 1); }
    void U32(uint32_t) { Bytes(nullptr, 4); }
    void I32(int32_t) { Bytes(nullptr, 4); }
    void Bytes(const void*, size_t n) { size_ += n; }
    size_t Size() const { return size_; }
    uint64_t Drained() const { return 0; }
    uint8_t* Cursor() {
        start_ = size_;
        return scratch_;
    }
    uint8_t* End() { return scratch_ + sizeof scratch_; }
    void Advance(const uint8_t* p) { size_ = start_ + static_cast<size_t>(p - scratch_); }

  private:
    size_t size_ = 0;
    size_t start_ = 0;  // size_ when the window was opened
    uint8_t scratch_[1024];
};

template <class Out>
class WriteVisitor : public FieldWriting {
  public:
    WriteVisitor(Out& out, uint8_t form, RefCheck* refs)
        : FieldWriting(VisitMode::kWrite, form), out_(out) {
        movesRecords_ = true;
        refCheck_ = refs;
        Open();
    }
    // Hands the window back to the output.
    void Finish() {
        out_.Advance(cur_);
        start_ = cur_;
    }
    // The bytes written so far, the window's included.
    size_t Position() const {
        return static_cast<size_t>(out_.Drained()) + out_.Size() +
               static_cast<size_t>(cur_ - Start());
    }
    // Forgets what disagreed in the body before.
    void Restart() {
        mismatch_ = nullptr;
        stopped_ = false;
    }
    // Takes the window again after the output was used directly.
    void Reopen() { Open(); }
    void Value(void* data, size_t size, bool) override {
        Finish();
        out_.Bytes(data, size);
        Open();
    }
    void Values(const PodList& list, size_t elemSize, uint32_t count) override {
        const size_t n = list.size(list.vector);
        if (n != count) Mismatch("list");
        Finish();
        out_.Bytes(list.data(list.vector), n * elemSize);
        Open();
    }
    void VisitRef(BlockRef& ref, RefKind, TypeId target) override {
        Value(&ref, 4, false);
        if (refCheck_) refCheck_->See(ref, target);
    }
    // A list longer than the window, or one that does not match its count.
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t count, RefKind, TypeId target,
                   bool) override {
        if (refs.size() != count) Mismatch("reference list");
        const size_t bytes = refs.size() * 4;
        if (bytes <= static_cast<size_t>(end_ - cur_)) {
            if (bytes != 0) std::memcpy(cur_, refs.data(), bytes);
            cur_ += bytes;
        } else {
            Finish();
            out_.Bytes(refs.data(), bytes);
            Open();
        }
        if (refCheck_) {
            for (BlockRef r : refs) refCheck_->See(r, target);
        }
    }
    void VisitString(StringRef& index) override { Value(&index, 4, false); }
    void Text(std::string& text, size_t lengthSize) override {
        Finish();
        if (lengthSize == 1) {
            if (text.size() > 255) Mismatch("text longer than 255 bytes");
            out_.U8(static_cast<uint8_t>(text.size()));
        } else {
            out_.U32(static_cast<uint32_t>(text.size()));
        }
        out_.Bytes(text.data(), text.size());
        Open();
    }
    void Rest(std::vector<uint8_t>& raw) override {
        Finish();
        out_.Bytes(raw.data(), raw.size());
        Open();
    }
    void Mismatch(const char* what) override {
        if (!mismatch_) mismatch_ = what;
        stopped_ = true;
    }
    bool MoveRecords(const PodList& list, size_t elemSize, uint32_t count, const Run* runs,
                     size_t numRuns, size_t recordBytes) override {
        uint8_t gathered[4096];
        if (recordBytes > sizeof gathered) return false;
        const size_t n = list.size(list.vector);
        if (n != count) Mismatch("structure list");
        Finish();
        const auto* record = static_cast<const uint8_t*>(list.data(list.vector));
        if constexpr (std::is_same_v<Out, ByteCounter>) {
            out_.Bytes(nullptr, n * recordBytes);
        } else if (numRuns == 1 && runs[0].offset == 0 && runs[0].size == elemSize) {
            out_.Bytes(record, n * elemSize);
        } else {
            // The runs of many records are gathered, then written together.
            size_t used = 0;
            for (size_t i = 0; i < n; ++i, record += elemSize) {
                if (used + recordBytes > sizeof gathered) {
                    out_.Bytes(gathered, used);
                    used = 0;
                }
                for (size_t r = 0; r < numRuns; ++r) {
                    CopyRun(gathered + used, record + runs[r].offset, runs[r].size);
                    used += runs[r].size;
                }
            }
            out_.Bytes(gathered, used);
        }
        Open();
        return true;
    }
    std::string Problem() const {
        return mismatch_ ? std::string("a ") + mismatch_ + " does not match its count"
                         : std::string();
    }

  private:
    void Open() {
        cur_ = out_.Cursor();
        end_ = out_.End();
        start_ = cur_;
    }
    // Where the window opened; out_.Size() counts the bytes before it.
    const uint8_t* Start() const { return start_; }

    Out& out_;
    const uint8_t* start_ = nullptr;
    const char* mismatch_ = nullptr;  // what first disagreed
};

class RefVisitor : public InspectVisitor {
  public:
    RefVisitor(uint8_t form, const RefFunction& fn) : InspectVisitor(form), fn_(fn) {}
    void VisitRef(BlockRef& ref, RefKind kind, TypeId target) override { fn_(ref, kind, target); }

  private:
    const RefFunction& fn_;
};

class StringVisitor : public InspectVisitor {
  public:
    StringVisitor(uint8_t form, const std::function<void(StringRef&)>& fn)
        : InspectVisitor(form), fn_(fn) {}
    void VisitString(StringRef& s) override { fn_(s); }

  private:
    const std::function<void(StringRef&)>& fn_;
};

class RemapVisitor : public InspectVisitor {
  public:
    RemapVisitor(uint8_t form, const BlockRemap& remap) : InspectVisitor(form), remap_(remap) {}
    void VisitRef(BlockRef& ref, RefKind, TypeId) override { remap_.Repair(ref); }
    void VisitRefs(std::vector<BlockRef>& refs, uint32_t, RefKind, TypeId,
                   bool removable) override {
        if (removable) {
            uint32_t dropped = 0;
            remap_.RepairList(refs, dropped);
        } else {
            for (BlockRef& r : refs) remap_.Repair(r);
        }
    }

  private:
    const BlockRemap& remap_;
};

}  // namespace

void ReadBody(NiObject& block, NifReader& in, uint8_t form, size_t stringCount,
              uint32_t* badStrings) {
    ReadVisitor v(in, form, stringCount, badStrings);
    block.Fields(v);
    v.Finish();
}

std::string WriteBody(const NiObject& block, NifWriter& out, uint8_t form, RefCheck* refs) {
    WriteVisitor<NifWriter> v(out, form, refs);
    // Writing only reads the fields.
    const_cast<NiObject&>(block).Fields(v);
    v.Finish();
    return v.Problem();
}

size_t BodySize(const NiObject& block, uint8_t form, std::string* problem, RefCheck* refs) {
    ByteCounter counter;
    WriteVisitor<ByteCounter> v(counter, form, refs);
    const_cast<NiObject&>(block).Fields(v);
    v.Finish();
    if (problem) *problem = v.Problem();
    return counter.Size();
}

void ForEachRef(NiObject& block, uint8_t form, const RefFunction& fn) {
    RefVisitor v(form, fn);
    block.Fields(v);
}

void ForEachRef(const NiObject& block, uint8_t form,
                const std::function<void(BlockRef ref, RefKind kind, TypeId target)>& fn) {
    const RefFunction wrapper = [&](BlockRef& r, RefKind k, TypeId t) { fn(r, k, t); };
    ForEachRef(const_cast<NiObject&>(block), form, wrapper);
}

void ForEachString(NiObject& block, uint8_t form, const std::function<void(StringRef& s)>& fn) {
    StringVisitor v(form, fn);
    block.Fields(v);
}

void RemapRefs(NiObject& block, uint8_t form, const BlockRemap& remap) {
    RemapVisitor v(form, remap);
    block.Fields(v);
}

// The reader and writer of a whole file's bodies keep one visitor for all of them.
struct BodyReader::Visitor : ReadVisitor {
    using ReadVisitor::ReadVisitor;
};

BodyReader::BodyReader(uint8_t form, size_t stringCount) : empty_(nullptr, 0), held_(nullptr, 0) {
    visitor_ = std::make_unique<Visitor>(empty_, form, stringCount, &badStrings_);
}

BodyReader::~BodyReader() = default;

std::unique_ptr<NiObject> BodyReader::ReadNew(BlockReading reading, NifReader& in) {
    visitor_->Start(in);
    std::unique_ptr<NiObject> block = reading(*visitor_);
    visitor_->Finish();
    return block;
}

uint32_t BodyReader::ReadHeld(const HeldBodies& held, uint32_t next, size_t& used,
                              std::vector<std::unique_ptr<NiObject>>& blocks) {
    Visitor& v = *visitor_;
    // One reader over all the bytes at hand. Each body is read from where it starts and must
    // end where its size says; one that reads past that (into the next body) or stops short
    // is read again by the caller, bounded by its size, for the message.
    held_.Reopen(held.bytes, held.size, held.offset, nullptr, held.offset + held.size);
    uint32_t i = next;
    for (; i < held.count; ++i) {
        const uint32_t size = held.sizes[i];
        if (size > held.size - used) break;
        const uint8_t* body = held.bytes + used;
        held_.Advance(body);
        v.Start(held_);
        std::unique_ptr<NiObject> block = held.readings[held.types[i]](v);
        // Read to its end, the window stands there (the reader is not told).
        if (v.Cursor() != body + size || held_.Failed()) [[unlikely]]
            break;
        used += size;
        blocks.push_back(std::move(block));
    }
    return i;
}

struct BodyWriter::Visitor : WriteVisitor<NifWriter> {
    using WriteVisitor<NifWriter>::WriteVisitor;
};

BodyWriter::BodyWriter(NifWriter& out, uint8_t form, RefCheck* refs)
    : visitor_(std::make_unique<Visitor>(out, form, refs)),
      out_(out),
      refs_(refs),
      end_(visitor_->Position()) {}

BodyWriter::~BodyWriter() {
    visitor_->Finish();
}

size_t BodyWriter::Write(const NiObject& block, std::string& problem) {
    visitor_->Restart();
    // Writing only reads the fields.
    const_cast<NiObject&>(block).Fields(*visitor_);
    if (!visitor_->Ok()) [[unlikely]]
        TakeProblem(problem);
    // The body starts where the one before it ended.
    const size_t start = end_;
    end_ = visitor_->Position();
    return end_ - start;
}

size_t BodyWriter::WriteBlocks(const std::vector<std::unique_ptr<NiObject>>& blocks,
                               const TypeId* types, size_t sizesAt, std::string& problem) {
    const size_t n = blocks.size();
    for (size_t i = 0; i < n; ++i) {
        const NiObject& block = *blocks[i];
        if (types && block.Type() != types[i]) [[unlikely]]
            return i;
        const auto size = static_cast<uint32_t>(Write(block, problem));
        if (!problem.empty() || (refs_ && refs_->bad)) [[unlikely]]
            return i;
        out_.Patch(sizesAt + 4 * i, &size, 4);
    }
    return n;
}

// Out of line, so that writing a body that agrees saves no registers for the message.
void BodyWriter::TakeProblem(std::string& problem) const {
    problem = visitor_->Problem();
}

size_t BodyWriter::Position() const {
    return visitor_->Position();
}

void BodyWriter::Finish() {
    visitor_->Finish();
}

void BodyWriter::Reopen() {
    visitor_->Reopen();
    end_ = visitor_->Position();
}
