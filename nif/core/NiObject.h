// The root of every block: a type from the list and a body described by Fields. Blocks are
// plain values: copying one copies every field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "BlockPool.h"
#include "Visitor.h"

class LengthVisitor;

// The block pool (BlockPool.h) for the small lists that nearly every block of some types
// holds.
template <class T>
struct PoolAllocator {
    using value_type = T;
    using is_always_equal = std::true_type;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}
    // The list's own size check keeps n * sizeof(T) from overflowing.
    T* allocate(size_t n) { return static_cast<T*>(PoolAllocate(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { PoolFree(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const {
        return true;
    }
};
// A list of animation keys: most curves hold a few, one list per curve.
template <class T>
using KeyList = std::vector<T, PoolAllocator<T>>;

class NiObject {
  public:
    virtual ~NiObject() = default;
    // Files make and free blocks by the thousand: they live in a pool (BlockPool.h).
    static void* operator new(size_t size) { return PoolAllocate(size); }
    static void operator delete(void* p, size_t size) noexcept { PoolFree(p, size); }

    virtual TypeId Type() const = 0;
    // Declared by every listed class (NIF_BLOCK, NIF_BASE) and defined for all of them in one
    // file (Factory.cpp): as each class's first virtual function defined out of line, it puts
    // the class's table of virtual functions, and the descriptions compiled for it, in that
    // file alone instead of in every file that makes a block.
    virtual void Anchor() const;
    // The body's fields in file order, for a visitor of any mode, and compiled apart for
    // reading and writing. A class with fields describes them once with NIF_FIELDS.
    virtual void Fields(Visitor& v) { (void)v; }
    virtual void Fields(FieldReading& v) { (void)v; }
    virtual void Fields(FieldWriting& v) { (void)v; }
    virtual std::unique_ptr<NiObject> Clone() const = 0;
    // The file changes form (FormBits from and to): convert what the same fields mean
    // differently there, adding a note for each value that has no counterpart.
    virtual void SwitchForm(uint8_t from, uint8_t to, std::vector<std::string>& notes) {
        (void)from;
        (void)to;
        (void)notes;
    }

    // The fields that are lengths in Havok's units (HavokUnits.h), which differ between the
    // Blender form and the game forms; blocks without such fields name none.
    virtual void Lengths(LengthVisitor& v) { (void)v; }

  protected:
    NiObject() = default;
    NiObject(const NiObject&) = default;
    NiObject& operator=(const NiObject&) = default;
};

// Declares the type id and the copy of a concrete block class.
#define NIF_BLOCK(T)                                   \
    static constexpr TypeId kTypeId = TypeId::T;       \
    void Anchor() const override;                      \
    TypeId Type() const override {                     \
        return TypeId::T;                              \
    }                                                  \
    std::unique_ptr<NiObject> Clone() const override { \
        return std::make_unique<T>(*this);             \
    }

// Opens the description of a class's fields, in file order:
//     NIF_FIELDS(v) {
//         Parent::Describe(v);
//         v.V(flags);
//     }
// It is compiled for each kind of visitor that Fields takes.
#define NIF_FIELDS(v)                       \
    void Fields(Visitor& v) override {      \
        Describe(v);                        \
    }                                       \
    void Fields(FieldReading& v) override { \
        Describe(v);                        \
    }                                       \
    void Fields(FieldWriting& v) override { \
        Describe(v);                        \
    }                                       \
    template <class FieldVisitor>           \
    void Describe(FieldVisitor& v)

// Names the type id of an abstract class, for As<T>.
#define NIF_BASE(T)                              \
    static constexpr TypeId kTypeId = TypeId::T; \
    void Anchor() const override;

// A block whose type is outside the list (or whose file is in a form the descriptions do not
// cover): its body travels as raw bytes and its references cannot be found.
class OpaqueBlock : public NiObject {
  public:
    TypeId Type() const override { return TypeId::kUnlisted; }
    std::unique_ptr<NiObject> Clone() const override {
        return std::make_unique<OpaqueBlock>(*this);
    }
    NIF_FIELDS(v) { v.Rest(raw); }

    std::vector<uint8_t> raw;
};

// A new block of a listed concrete type; nullptr for abstract or unlisted types.
std::unique_ptr<NiObject> CreateBlock(TypeId type);
// Makes a block of one type and reads its body with the visitor.
using BlockReading = std::unique_ptr<NiObject> (*)(FieldReading& v);
// The reading of the type's blocks: an opaque block for abstract and unlisted types.
BlockReading ReadingFor(TypeId type);

template <class T>
T* As(NiObject* block) {
    return block && IsA(block->Type(), T::kTypeId) ? static_cast<T*>(block) : nullptr;
}
template <class T>
const T* As(const NiObject* block) {
    return block && IsA(block->Type(), T::kTypeId) ? static_cast<const T*>(block) : nullptr;
}
