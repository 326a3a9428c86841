// The root of every block: a type from the list and a body described by Fields. Blocks are
// plain values: copying one copies every field.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Visitor.h"

class LengthVisitor;

class NiObject {
  public:
    virtual ~NiObject() = default;
    // Files make and free blocks by the thousand: they live in a pool (BlockPool.cpp).
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size) noexcept;

    virtual TypeId Type() const = 0;
    // The body's fields in file order; each class calls its parent's first.
    virtual void Fields(Visitor& v) { (void)v; }
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
    TypeId Type() const override {                     \
        return TypeId::T;                              \
    }                                                  \
    std::unique_ptr<NiObject> Clone() const override { \
        return std::make_unique<T>(*this);             \
    }

// Names the type id of an abstract class, for As<T>.
#define NIF_BASE(T) static constexpr TypeId kTypeId = TypeId::T;

// A block whose type is outside the list (or whose file is in a form the descriptions do not
// cover): its body travels as raw bytes and its references cannot be found.
class OpaqueBlock : public NiObject {
  public:
    TypeId Type() const override { return TypeId::kUnlisted; }
    std::unique_ptr<NiObject> Clone() const override {
        return std::make_unique<OpaqueBlock>(*this);
    }
    void Fields(Visitor& v) override { v.Rest(raw); }

    std::vector<uint8_t> raw;
};

// A new block of a listed concrete type; nullptr for abstract or unlisted types.
std::unique_ptr<NiObject> CreateBlock(TypeId type);

template <class T>
T* As(NiObject* block) {
    return block && IsA(block->Type(), T::kTypeId) ? static_cast<T*>(block) : nullptr;
}
template <class T>
const T* As(const NiObject* block) {
    return block && IsA(block->Type(), T::kTypeId) ? static_cast<const T*>(block) : nullptr;
}
