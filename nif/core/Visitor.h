// The field visitor: every block type describes its body once, as a Fields(Visitor&) function
// that names its fields in file order with their form conditions. Reading, writing, the
// enumeration of block and string references, random filling (tests) and the size of a body
// all follow from that one description, by running it with a different visitor.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "NifTypes.h"
#include "TypeList.h"

// The three forms of NIF 20.2.0.7 that block descriptions know, as bits so that a field can
// name the set of forms it exists in.
enum FormBits : uint8_t {
    kForm34 = 1,   // 11/34: Blender exports, Fallout 3 and New Vegas
    kForm83 = 2,   // 12/83: Skyrim
    kForm100 = 4,  // 12/100: Skyrim Special Edition
    kFormsGame = kForm83 | kForm100,
    kFormsAll = kForm34 | kForm83 | kForm100,
};
// The form of a file from its user versions; 0 when the descriptions do not cover it.
uint8_t FormOf(uint32_t userVersion, uint32_t userVersion2);

enum class RefKind : uint8_t {
    kOwned,  // Ref: a child, a data block, a controller
    kBack,   // Ptr: a parent, a target, an entity
};

enum class VisitMode : uint8_t {
    kRead,     // fills the fields from bytes
    kWrite,    // writes the fields
    kRandom,   // fills the fields with random values (tests)
    kInspect,  // walks the fields as they are (references, strings, comparisons)
};

class Visitor {
  public:
    Visitor(VisitMode mode, uint8_t form) : mode_(mode), form_(form) {}
    virtual ~Visitor() = default;

    VisitMode Mode() const { return mode_; }
    uint8_t Form() const { return form_; }
    bool In(uint8_t forms) const { return (form_ & forms) != 0; }
    bool Reading() const { return mode_ == VisitMode::kRead; }
    // False once reading or writing met a problem; descriptions stop looping then.
    virtual bool Ok() const { return true; }

    // ---- the primitives each visitor implements ----
    // A value whose memory layout is its file layout: a number, a bool byte, a fixed record.
    // isCount marks a value that sizes a later list (random filling keeps those small).
    virtual void Value(void* data, size_t size, bool isCount) = 0;
    // count records of elemSize bytes each; `list` resizes and exposes the storage.
    struct PodList {
        void* vector;
        void (*resize)(void* vector, size_t n);
        size_t (*size)(const void* vector);
        void* (*data)(void* vector);
    };
    virtual void Values(const PodList& list, size_t elemSize, uint32_t count) = 0;
    virtual void Ref(BlockRef& ref, RefKind kind, TypeId target) = 0;
    // count references; `removable` lists drop the entries of removed blocks (the list owns
    // its count), the others keep the slot as -1 (a parallel list depends on it).
    virtual void Refs(std::vector<BlockRef>& refs, uint32_t count, RefKind kind, TypeId target,
                      bool removable) = 0;
    virtual void String(StringRef& index) = 0;
    // A length-prefixed text inside the body, kept byte for byte. lengthSize is 4 or 1.
    virtual void Text(std::string& text, size_t lengthSize) = 0;
    // The rest of the body as raw bytes (opaque blocks).
    virtual void Rest(std::vector<uint8_t>& raw) = 0;
    // Reading: a count of entries of at least minSize bytes each, checked against the bytes
    // left (0 and a failure when they cannot hold it). Other modes return count.
    virtual uint32_t CheckCount(uint64_t count, size_t minSize) {
        (void)minSize;
        return static_cast<uint32_t>(count);
    }
    // Writing met fields that disagree (a list and the count it must match).
    virtual void Mismatch(const char* what) { (void)what; }

    // ---- the vocabulary the descriptions use ----
    template <class T>
    void V(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        Value(&value, sizeof value, false);
    }
    template <class C>
    void Count(C& count) {
        static_assert(std::is_integral_v<C>);
        Value(&count, sizeof count, true);
    }
    // count plain records (numbers or fixed records).
    template <class T>
    void Array(std::vector<T>& list, uint32_t count) {
        static_assert(std::is_trivially_copyable_v<T>);
        PodList p{&list, [](void* v, size_t n) { static_cast<std::vector<T>*>(v)->resize(n); },
                  [](const void* v) { return static_cast<const std::vector<T>*>(v)->size(); },
                  [](void* v) -> void* { return static_cast<std::vector<T>*>(v)->data(); }};
        Values(p, sizeof(T), count);
    }
    // A count of type C, then that many plain records: the list owns its count.
    template <class C, class T>
    void List(std::vector<T>& list) {
        C n = static_cast<C>(list.size());
        Count(n);
        Array(list, static_cast<uint32_t>(n));
    }
    template <class C>
    void RefList(std::vector<BlockRef>& refs, RefKind kind, TypeId target) {
        C n = static_cast<C>(refs.size());
        Count(n);
        Refs(refs, static_cast<uint32_t>(n), kind, target, true);
    }
    template <class S, class... A>
    void Struct(S& s, A... args) {
        s.Fields(*this, args...);
    }
    // count structures, each describing itself with Fields(Visitor&, args...).
    template <class S, class... A>
    void Structs(std::vector<S>& list, uint32_t count, A... args) {
        if (Reading()) {
            count = CheckCount(count, 1);
            list.clear();
            list.reserve(std::min<uint32_t>(count, 4096));
            for (uint32_t i = 0; i < count && Ok(); ++i) {
                list.emplace_back();
                list.back().Fields(*this, args...);
            }
            return;
        }
        if (mode_ == VisitMode::kRandom) list.assign(count, S{});
        if (mode_ == VisitMode::kWrite && list.size() != count) Mismatch("structure list");
        for (size_t i = 0; i < list.size() && Ok(); ++i) list[i].Fields(*this, args...);
    }
    template <class C, class S, class... A>
    void StructList(std::vector<S>& list, A... args) {
        C n = static_cast<C>(list.size());
        Count(n);
        Structs(list, static_cast<uint32_t>(n), args...);
    }
    template <class C>
    void StringList(std::vector<StringRef>& list) {
        C n = static_cast<C>(list.size());
        Count(n);
        Strings(list, static_cast<uint32_t>(n));
    }
    void Strings(std::vector<StringRef>& list, uint32_t count) {
        if (Reading() || mode_ == VisitMode::kRandom) list.resize(CheckCount(count, 4));
        if (mode_ == VisitMode::kWrite && list.size() != count) Mismatch("string list");
        for (size_t i = 0; i < list.size() && Ok(); ++i) String(list[i]);
    }
    // count lengths, then for each a list of that many plain records (strips, points).
    template <class T, class L>
    void Jagged(std::vector<std::vector<T>>& lists, const std::vector<L>& lengths) {
        if (Reading() || mode_ == VisitMode::kRandom) lists.resize(lengths.size());
        if (mode_ == VisitMode::kWrite && lists.size() != lengths.size()) Mismatch("list of lists");
        for (size_t i = 0; i < lists.size() && i < lengths.size() && Ok(); ++i)
            Array(lists[i], static_cast<uint32_t>(lengths[i]));
    }

  private:
    VisitMode mode_;
    uint8_t form_;
};

// A text of the string table read as a value inside keys and other templates.
inline void VisitKeyValue(Visitor& v, float& x) {
    v.V(x);
}
inline void VisitKeyValue(Visitor& v, uint8_t& x) {
    v.V(x);
}
inline void VisitKeyValue(Visitor& v, StringRef& x) {
    v.String(x);
}
template <class T>
void VisitKeyValue(Visitor& v, T& x) {
    v.V(x);
}
