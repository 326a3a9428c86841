#include "Visitors.h"

#include <cstring>

namespace {

class ReadVisitor : public Visitor {
  public:
    ReadVisitor(NifReader& in, uint8_t form, size_t stringCount, uint32_t* badStrings)
        : Visitor(VisitMode::kRead, form), in_(in), strings_(stringCount), bad_(badStrings) {}
    bool Ok() const override { return !in_.Failed(); }
    void Value(void* data, size_t size, bool) override { in_.Bytes(data, size); }
    void Values(const PodList& list, size_t elemSize, uint32_t count) override {
        const uint32_t n = in_.Count(count, elemSize, "list");
        list.resize(list.vector, n);
        in_.Bytes(list.data(list.vector), n * elemSize);
    }
    void Ref(BlockRef& ref, RefKind, TypeId) override { ref = in_.I32(); }
    void Refs(std::vector<BlockRef>& refs, uint32_t count, RefKind, TypeId, bool) override {
        const uint32_t n = in_.Count(count, 4, "reference list");
        refs.resize(n);
        in_.Bytes(refs.data(), n * 4);
    }
    void String(StringRef& index) override {
        index = in_.I32();
        if (index >= 0 && static_cast<size_t>(index) >= strings_ && bad_) ++*bad_;
    }
    void Text(std::string& text, size_t lengthSize) override {
        uint32_t length = 0;
        if (lengthSize == 1) {
            length = in_.U8();
        } else {
            length = in_.U32();
        }
        const uint32_t n = in_.Count(length, 1, "text");
        text.resize(n);
        in_.Bytes(text.data(), n);
    }
    void Rest(std::vector<uint8_t>& raw) override {
        raw.resize(in_.Remaining());
        in_.Bytes(raw.data(), raw.size());
    }
    uint32_t CheckCount(uint64_t count, size_t minSize) override {
        return in_.Count(count, minSize, "list");
    }

  private:
    NifReader& in_;
    size_t strings_;
    uint32_t* bad_;
};

// Counts the bytes a NifWriter would receive.
class ByteCounter {
  public:
    void U8(uint8_t) { size_ += 1; }
    void U32(uint32_t) { size_ += 4; }
    void I32(int32_t) { size_ += 4; }
    void Bytes(const void*, size_t n) { size_ += n; }
    size_t Size() const { return size_; }

  private:
    size_t size_ = 0;
};

template <class Out>
class WriteVisitor : public Visitor {
  public:
    WriteVisitor(Out& out, uint8_t form) : Visitor(VisitMode::kWrite, form), out_(out) {}
    bool Ok() const override { return problem_.empty(); }
    void Value(void* data, size_t size, bool) override { out_.Bytes(data, size); }
    void Values(const PodList& list, size_t elemSize, uint32_t count) override {
        const size_t n = list.size(list.vector);
        if (n != count) Mismatch("list");
        out_.Bytes(list.data(list.vector), n * elemSize);
    }
    void Ref(BlockRef& ref, RefKind, TypeId) override { out_.I32(ref); }
    void Refs(std::vector<BlockRef>& refs, uint32_t count, RefKind, TypeId, bool) override {
        if (refs.size() != count) Mismatch("reference list");
        out_.Bytes(refs.data(), refs.size() * 4);
    }
    void String(StringRef& index) override { out_.I32(index); }
    void Text(std::string& text, size_t lengthSize) override {
        if (lengthSize == 1) {
            if (text.size() > 255) Mismatch("text longer than 255 bytes");
            out_.U8(static_cast<uint8_t>(text.size()));
        } else {
            out_.U32(static_cast<uint32_t>(text.size()));
        }
        out_.Bytes(text.data(), text.size());
    }
    void Rest(std::vector<uint8_t>& raw) override { out_.Bytes(raw.data(), raw.size()); }
    void Mismatch(const char* what) override {
        if (problem_.empty()) problem_ = std::string("a ") + what + " does not match its count";
    }
    const std::string& Problem() const { return problem_; }

  private:
    Out& out_;
    std::string problem_;
};

class RefVisitor : public InspectVisitor {
  public:
    RefVisitor(uint8_t form, const RefFunction& fn) : InspectVisitor(form), fn_(fn) {}
    void Ref(BlockRef& ref, RefKind kind, TypeId target) override { fn_(ref, kind, target); }

  private:
    const RefFunction& fn_;
};

class StringVisitor : public InspectVisitor {
  public:
    StringVisitor(uint8_t form, const std::function<void(StringRef&)>& fn)
        : InspectVisitor(form), fn_(fn) {}
    void String(StringRef& s) override { fn_(s); }

  private:
    const std::function<void(StringRef&)>& fn_;
};

class RemapVisitor : public InspectVisitor {
  public:
    RemapVisitor(uint8_t form, const BlockRemap& remap) : InspectVisitor(form), remap_(remap) {}
    void Ref(BlockRef& ref, RefKind, TypeId) override { remap_.Repair(ref); }
    void Refs(std::vector<BlockRef>& refs, uint32_t, RefKind, TypeId, bool removable) override {
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
}

std::string WriteBody(const NiObject& block, NifWriter& out, uint8_t form) {
    WriteVisitor<NifWriter> v(out, form);
    // Writing only reads the fields.
    const_cast<NiObject&>(block).Fields(v);
    return v.Problem();
}

size_t BodySize(const NiObject& block, uint8_t form, std::string* problem) {
    ByteCounter counter;
    WriteVisitor<ByteCounter> v(counter, form);
    const_cast<NiObject&>(block).Fields(v);
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
