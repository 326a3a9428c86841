// The field visitor: every block type describes its body once (NIF_FIELDS, NiObject.h), naming
// its fields in file order with their form conditions. Reading, writing, the enumeration of
// block and string references, random filling (tests) and the size of a body all follow from
// that one description, by running it with a different visitor.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
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

// Checks block references while bodies are written or counted: each must be -1 or name a
// block of the file whose type, when listed, belongs to the family the field declares. The
// first reference that does not is kept. (References inside raw bodies cannot be found.)
struct RefCheck {
    explicit RefCheck(const std::vector<TypeId>& blockTypes) : types(blockTypes) {}
    [[gnu::always_inline]] void See(BlockRef r, TypeId target) {
        if (bad || r == kNoBlock) return;
        if (r < 0 || static_cast<size_t>(r) >= types.size()) {
            bad = true;
            badRef = r;
            return;
        }
        const TypeId to = types[static_cast<size_t>(r)];
        if (to != TypeId::kUnlisted && !IsA(to, target)) {
            bad = true;
            badRef = r;
            badTarget = target;
        }
    }

    const std::vector<TypeId>& types;  // of each block of the file
    bool bad = false;
    BlockRef badRef = kNoBlock;
    TypeId badTarget = TypeId::kUnlisted;  // kUnlisted: badRef is out of range
};

// The type of a count that precedes its list: kCount32, kCount16 or kCount8.
template <class C>
struct CountWidth {};
inline constexpr CountWidth<uint32_t> kCount32{};
inline constexpr CountWidth<uint16_t> kCount16{};
inline constexpr CountWidth<uint8_t> kCount8{};

// What every visitor holds: its mode and form, the primitives each visitor implements, and the
// window of bytes that reading and writing move small values through. The vocabulary the
// descriptions use is VisitorOf's, below.
class VisitorBase {
  public:
    VisitorBase(VisitMode mode, uint8_t form) : mode_(mode), form_(form) {}
    virtual ~VisitorBase() = default;

    uint8_t Form() const { return form_; }
    bool In(uint8_t forms) const { return (form_ & forms) != 0; }
    // False once reading or writing met a problem; descriptions stop looping then.
    bool Ok() const { return !stopped_; }

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
    // References and string references; reading and writing move those that fit the window
    // (see below) without calling these.
    virtual void VisitRef(BlockRef& ref, RefKind kind, TypeId target) = 0;
    virtual void VisitRefs(std::vector<BlockRef>& refs, uint32_t count, RefKind kind, TypeId target,
                           bool removable) = 0;
    virtual void VisitString(StringRef& index) = 0;
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
    // count records of elemSize bytes each whose description names fixed-size values only,
    // at the places `runs` gives (offsets in the record, in file order, adjacent places
    // joined): recordBytes of the file per record. Visitors that move bytes move them run by
    // run and return true; the others return false and the records are walked one by one.
    struct Run {
        uint32_t offset, size;
    };
    virtual bool MoveRecords(const PodList& list, size_t elemSize, uint32_t count, const Run* runs,
                             size_t numRuns, size_t recordBytes) {
        (void)list, (void)elemSize, (void)count, (void)runs, (void)numRuns, (void)recordBytes;
        return false;
    }

  protected:
    template <class T, class Alloc>
    static PodList PodListOf(std::vector<T, Alloc>& list) {
        using List = std::vector<T, Alloc>;
        return {&list, [](void* v, size_t n) { static_cast<List*>(v)->resize(n); },
                [](const void* v) { return static_cast<const List*>(v)->size(); },
                [](void* v) -> void* { return static_cast<List*>(v)->data(); }};
    }
    // Set by the visitors whose MoveRecords moves records.
    bool movesRecords_ = false;
    // Set when reading or writing met a problem (Ok).
    bool stopped_ = false;
    // Writing: the references written through the window are checked here.
    RefCheck* refCheck_ = nullptr;
    // Reading: the entries of the string table, and where references past them are counted.
    size_t stringCount_ = SIZE_MAX;
    uint32_t* pastTable_ = nullptr;
    void CountPastTable(StringRef index) {
        if (index >= 0 && static_cast<size_t>(index) >= stringCount_ && pastTable_) ++*pastTable_;
    }

    // The visitors that move bytes (reading, writing, counting) keep a window of them here:
    // reading takes values from cur_ on, writing puts them there, and a fixed-size value that
    // fits moves without a call. The rest goes through Value, which first hands back cur_
    // and afterwards sets a new window. Other visitors keep the window empty.
    uint8_t* cur_ = nullptr;
    uint8_t* end_ = nullptr;

    struct Layout {
        bool valid;
        size_t numRuns, bytes;
        Run runs[16];
    };
    template <class S, class... A>
    const Layout* LayoutOf(A... args);

    VisitMode mode_;
    uint8_t form_;
};

// Visitors whose mode is fixed when they are compiled: the descriptions are compiled once for
// each of them, without asking the mode at every field.
inline constexpr int kAnyMode = -1;

// The vocabulary the descriptions use. kFixed is the mode every visitor of the class has, or
// kAnyMode: the mode is then asked at run time (Visitor).
template <int kFixed>
class VisitorOf : public VisitorBase {
  public:
    VisitorOf(VisitMode mode, uint8_t form) : VisitorBase(mode, form) {}
    // Structure lists read up to this long are made whole before their records are read.
    static constexpr uint32_t kEagerRecords = 4096;

    [[gnu::always_inline]] VisitMode Mode() const {
        if constexpr (kFixed == kAnyMode) {
            return mode_;
        } else {
            return static_cast<VisitMode>(kFixed);
        }
    }
    [[gnu::always_inline]] bool Reading() const { return Mode() == VisitMode::kRead; }

    [[gnu::always_inline]] void Ref(BlockRef& ref, RefKind kind, TypeId target) {
        if (4 <= end_ - cur_) [[likely]] {
            if (Reading()) {
                std::memcpy(&ref, cur_, 4);
            } else {
                std::memcpy(cur_, &ref, 4);
                if (refCheck_) refCheck_->See(ref, target);
            }
            cur_ += 4;
            return;
        }
        VisitRef(ref, kind, target);
    }
    // count references; `removable` lists drop the entries of removed blocks (the list owns
    // its count), the others keep the slot as -1 (a parallel list depends on it).
    void Refs(std::vector<BlockRef>& refs, uint32_t count, RefKind kind, TypeId target,
              bool removable) {
        const uint64_t bytes = uint64_t{count} * 4;
        if (bytes <= static_cast<uint64_t>(end_ - cur_) && (Reading() || refs.size() == count)) {
            if (Reading()) {
                if (count == 0) {
                    refs.clear();
                    return;
                }
                refs.resize(count);
                std::memcpy(refs.data(), cur_, static_cast<size_t>(bytes));
            } else {
                if (count != 0) std::memcpy(cur_, refs.data(), static_cast<size_t>(bytes));
                if (refCheck_) {
                    for (BlockRef r : refs) refCheck_->See(r, target);
                }
            }
            cur_ += static_cast<size_t>(bytes);
            return;
        }
        VisitRefs(refs, count, kind, target, removable);
    }
    // A reference into the header's string table; reading counts those past its end.
    [[gnu::always_inline]] void String(StringRef& index) {
        if (4 <= end_ - cur_) [[likely]] {
            if (Reading()) {
                std::memcpy(&index, cur_, 4);
                CountPastTable(index);
            } else {
                std::memcpy(cur_, &index, 4);
            }
            cur_ += 4;
            return;
        }
        VisitString(index);
    }
    // Values in file order. Several named together (a run of fields without conditions) move
    // through the window after one check of its room, each as one copy of its known size;
    // when the window is too short they are taken one by one, as if named apart.
    template <class T, class... More>
    [[gnu::always_inline]] void V(T& value, More&... more) {
        static_assert(std::is_trivially_copyable_v<T> &&
                      (std::is_trivially_copyable_v<More> && ...));
        if constexpr (sizeof...(More) != 0) {
            constexpr size_t total = (sizeof value + ... + sizeof(More));
            if (total <= static_cast<size_t>(end_ - cur_)) [[likely]] {
                uint8_t* at = cur_;
                Move(at, value);
                (Move(at, more), ...);
                cur_ = at;
                return;
            }
        }
        Fixed<sizeof value>(&value, false);
        (Fixed<sizeof more>(&more, false), ...);
    }
    template <class C>
    [[gnu::always_inline]] void Count(C& count) {
        static_assert(std::is_integral_v<C>);
        Fixed<sizeof count>(&count, true);
    }
    // count plain records (numbers or fixed records).
    template <class T>
    void Array(std::vector<T>& list, uint32_t count) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (count == 0 && Reading()) {
            list.clear();
            return;
        }
        Values(PodListOf(list), sizeof(T), count);
    }
    // A count of type C (kCount32, kCount16, kCount8), then that many plain records: the
    // list owns its count.
    template <class C, class T>
    void List(CountWidth<C>, std::vector<T>& list) {
        C n = static_cast<C>(list.size());
        Count(n);
        Array(list, static_cast<uint32_t>(n));
    }
    template <class C>
    [[gnu::always_inline]] void RefList(CountWidth<C>, std::vector<BlockRef>& refs, RefKind kind,
                                        TypeId target) {
        C n = static_cast<C>(refs.size());
        Count(n);
        // Most lists of most blocks are empty, and stay so in every mode.
        if (n == 0 && refs.empty()) return;
        Refs(refs, static_cast<uint32_t>(n), kind, target, true);
    }
    template <class S, class... A>
    void Struct(S& s, A... args) {
        if constexpr (requires { S::kRecordLayout; } && sizeof...(A) == 0) {
            if (movesRecords_ && RecordAsRuns(s)) return;
        }
        s.Fields(*this, args...);
    }
    // count structures, each describing itself with Fields(visitor, args...). A structure
    // that declares kRecordLayout (see below) moves as runs of bytes where the visitor can.
    template <class S, class Alloc, class... A>
    void Structs(std::vector<S, Alloc>& list, uint32_t count, A... args) {
        if constexpr (requires { S::kRecordLayout; }) {
            // A few records are walked sooner than their layout is found.
            if (movesRecords_ && count >= 16 && RecordsAsRuns(list, count, args...)) return;
        }
        if (Reading()) {
            // No records (most key curves of a controller): nothing to check or reserve.
            if (count == 0) {
                list.clear();
                return;
            }
            count = CheckCount(count, 1);
            list.clear();
            if (count <= kEagerRecords) {
                // Made at once; a body that ends early fails its file, records and all.
                list.resize(count);
                for (S& s : list) {
                    s.Fields(*this, args...);
                    if (!Ok()) break;
                }
                return;
            }
            // Beyond that, only as many as the body holds.
            list.reserve(kEagerRecords);
            for (uint32_t i = 0; i < count && Ok(); ++i) {
                list.emplace_back();
                list.back().Fields(*this, args...);
            }
            return;
        }
        if (Mode() == VisitMode::kRandom) list.assign(count, S{});
        if (Mode() == VisitMode::kWrite && list.size() != count) Mismatch("structure list");
        // A record's fields never change the list's length.
        S* const records = list.data();
        const size_t n = list.size();
        for (size_t i = 0; i < n && Ok(); ++i) records[i].Fields(*this, args...);
    }
    template <class C, class S, class Alloc, class... A>
    void StructList(CountWidth<C>, std::vector<S, Alloc>& list, A... args) {
        C n = static_cast<C>(list.size());
        Count(n);
        Structs(list, static_cast<uint32_t>(n), args...);
    }
    template <class C>
    void StringList(CountWidth<C>, std::vector<StringRef>& list) {
        C n = static_cast<C>(list.size());
        Count(n);
        Strings(list, static_cast<uint32_t>(n));
    }
    void Strings(std::vector<StringRef>& list, uint32_t count) {
        if (Reading() || Mode() == VisitMode::kRandom) list.resize(CheckCount(count, 4));
        if (Mode() == VisitMode::kWrite && list.size() != count) Mismatch("string list");
        for (size_t i = 0; i < list.size() && Ok(); ++i) String(list[i]);
    }
    // count lengths, then for each a list of that many plain records (strips, points).
    template <class T, class L>
    void Jagged(std::vector<std::vector<T>>& lists, const std::vector<L>& lengths) {
        if (Reading() || Mode() == VisitMode::kRandom) lists.resize(lengths.size());
        if (Mode() == VisitMode::kWrite && lists.size() != lengths.size())
            Mismatch("list of lists");
        for (size_t i = 0; i < lists.size() && i < lengths.size() && Ok(); ++i)
            Array(lists[i], static_cast<uint32_t>(lengths[i]));
    }

  private:
    template <class S, class Alloc, class... A>
    bool RecordsAsRuns(std::vector<S, Alloc>& list, uint32_t count, A... args);
    template <class S>
    bool RecordAsRuns(S& s);
    // N bytes between a value and the window at `at`, in the direction of the mode.
    template <size_t N>
    [[gnu::always_inline]] void MoveAt(uint8_t* at, void* data) {
        if (Reading()) {
            std::memcpy(data, at, N);
        } else {
            std::memcpy(at, data, N);
        }
    }
    template <class T>
    [[gnu::always_inline]] void Move(uint8_t*& at, T& value) {
        MoveAt<sizeof value>(at, &value);
        at += sizeof value;
    }
    template <size_t N>
    [[gnu::always_inline]] void Fixed(void* data, bool isCount) {
        if (N <= static_cast<size_t>(end_ - cur_)) [[likely]] {
            MoveAt<N>(cur_, data);
            cur_ += N;
            return;
        }
        Value(data, N, isCount);
    }
};

// The visitor whose mode is asked at run time: walking the references, random filling, and
// whatever else visits a body.
using Visitor = VisitorOf<kAnyMode>;
// Reading and writing bodies, compiled apart (Visitors.cpp).
using FieldReading = VisitorOf<static_cast<int>(VisitMode::kRead)>;
using FieldWriting = VisitorOf<static_cast<int>(VisitMode::kWrite)>;

// Copies one run of a record: a few dozen bytes, moved as at most two overlapping words of
// the largest size that fits, rather than by a call.
inline void CopyRun(uint8_t* to, const uint8_t* from, size_t n) {
    auto two = [&](auto word) {
        constexpr size_t w = sizeof word;
        std::memcpy(&word, from, w);
        std::memcpy(to, &word, w);
        std::memcpy(&word, from + n - w, w);
        std::memcpy(to + n - w, &word, w);
    };
    struct Words16 {
        uint64_t a, b;
    };
    if (n >= 16 && n <= 32) {
        two(Words16{});
    } else if (n >= 8 && n < 16) {
        two(uint64_t{});
    } else if (n >= 4 && n < 8) {
        two(uint32_t{});
    } else {
        std::memcpy(to, from, n);
    }
}

// The layout of a record, from one run of its description: where each value it names lies
// in the record. A structure declares
//     static constexpr bool kRecordLayout = true;
// when its Fields names fixed-size values only (V and Struct of such structures) and which of
// them depends on its arguments and the form alone, never on the values, and does nothing
// else. Whatever breaks that where it shows (a value outside the record, a count, a reference,
// a text, a list, a reading check) leaves the layout unusable, and the records are walked one
// by one.
class RecordLayout final : public Visitor {
  public:
    RecordLayout(VisitMode mode, uint8_t form, const void* record, size_t size)
        : Visitor(mode, form), base_(static_cast<const uint8_t*>(record)), size_(size) {}
    void Value(void* data, size_t size, bool isCount) override {
        // Addresses compared as numbers: a value may lie anywhere (a local of the description).
        const auto at = reinterpret_cast<uintptr_t>(data),
                   base = reinterpret_cast<uintptr_t>(base_);
        if (isCount || at < base || at - base > size_ || size > size_ - (at - base)) {
            stopped_ = true;
            return;
        }
        const auto offset = static_cast<uint32_t>(at - base);
        if (numRuns_ > 0 && runs_[numRuns_ - 1].offset + runs_[numRuns_ - 1].size == offset) {
            runs_[numRuns_ - 1].size += static_cast<uint32_t>(size);
        } else if (numRuns_ < kMaxRuns) {
            runs_[numRuns_++] = {offset, static_cast<uint32_t>(size)};
        } else {
            stopped_ = true;
        }
        bytes_ += size;
    }
    void Values(const PodList&, size_t, uint32_t) override { stopped_ = true; }
    void VisitRef(BlockRef&, RefKind, TypeId) override { stopped_ = true; }
    void VisitRefs(std::vector<BlockRef>&, uint32_t, RefKind, TypeId, bool) override {
        stopped_ = true;
    }
    void VisitString(StringRef&) override { stopped_ = true; }
    void Text(std::string&, size_t) override { stopped_ = true; }
    void Rest(std::vector<uint8_t>&) override { stopped_ = true; }
    uint32_t CheckCount(uint64_t, size_t) override {
        stopped_ = true;
        return 0;
    }
    void Mismatch(const char*) override { stopped_ = true; }

    bool Valid() const { return !stopped_; }
    const Run* Runs() const { return runs_; }
    size_t NumRuns() const { return numRuns_; }
    size_t Bytes() const { return bytes_; }

  private:
    static constexpr size_t kMaxRuns = 16;
    const uint8_t* base_;
    size_t size_;
    Run runs_[kMaxRuns];
    size_t numRuns_ = 0;
    size_t bytes_ = 0;
};

// The layout of S's records under these arguments, in this form and visiting mode; nullptr
// when it is unusable. A structure without arguments has one layout per form and mode, found
// once per thread; the others keep the last few layouts of each structure per thread: taking
// one costs about as much as walking a record or two.
template <class S, class... A>
const VisitorBase::Layout* VisitorBase::LayoutOf(A... args) {
    static_assert(std::is_trivially_copyable_v<S>);
    static_assert((std::is_integral_v<A> && ...), "layouts are kept by integral arguments");
    const bool reading = mode_ == VisitMode::kRead;
    const auto find = [&](Layout& layout) {
        S probe{};
        RecordLayout recorder(mode_, form_, &probe, sizeof probe);
        probe.Fields(static_cast<Visitor&>(recorder), args...);
        layout.valid = recorder.Valid() && recorder.NumRuns() <= std::size(layout.runs);
        if (layout.valid) {
            layout.numRuns = recorder.NumRuns();
            layout.bytes = recorder.Bytes();
            std::copy(recorder.Runs(), recorder.Runs() + recorder.NumRuns(), layout.runs);
        }
    };
    if constexpr (sizeof...(A) == 0) {
        // Zero-initialised like all of a thread's storage: not found yet.
        struct Known {
            bool found;
            Layout layout;
        };
        static thread_local Known known[kFormsAll + 1][2];
        Known& k = known[form_ & kFormsAll][reading];
        if (!k.found) [[unlikely]] {
            find(k.layout);
            k.found = true;
        }
        return k.layout.valid ? &k.layout : nullptr;
    } else {
        // Zero-initialised like all of a thread's storage: every entry unused.
        struct Entry {
            bool used;
            uint8_t form;
            bool reading;
            uint64_t key[sizeof...(A)];
            Layout layout;
        };
        static thread_local Entry kept[4];
        static thread_local unsigned next;
        const uint64_t key[sizeof...(A)] = {static_cast<uint64_t>(args)...};
        for (const Entry& e : kept) {
            if (e.used && e.form == form_ && e.reading == reading &&
                std::equal(key, key + sizeof...(A), e.key))
                return e.layout.valid ? &e.layout : nullptr;
        }
        Entry& e = kept[next++ % std::size(kept)];
        find(e.layout);
        e.used = true;
        e.form = form_;
        e.reading = reading;
        std::copy(key, key + sizeof...(A), e.key);
        return e.layout.valid ? &e.layout : nullptr;
    }
}

template <int kFixed>
template <class S, class Alloc, class... A>
bool VisitorOf<kFixed>::RecordsAsRuns(std::vector<S, Alloc>& list, uint32_t count, A... args) {
    const Layout* layout = LayoutOf<S>(args...);
    return layout && MoveRecords(PodListOf(list), sizeof(S), count, layout->runs, layout->numRuns,
                                 layout->bytes);
}

// One record: it moves through the window when it fits.
template <int kFixed>
template <class S>
bool VisitorOf<kFixed>::RecordAsRuns(S& s) {
    const Layout* layout = LayoutOf<S>();
    if (!layout || static_cast<size_t>(end_ - cur_) < layout->bytes) return false;
    auto* record = reinterpret_cast<uint8_t*>(&s);
    for (size_t r = 0; r < layout->numRuns; ++r) {
        const Run run = layout->runs[r];
        if (Reading()) {
            CopyRun(record + run.offset, cur_, run.size);
        } else {
            CopyRun(cur_, record + run.offset, run.size);
        }
        cur_ += run.size;
    }
    return true;
}
