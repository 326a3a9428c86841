// Where block objects live, and the animation key lists most curves hold (KeyList). A file of
// a few thousand small blocks makes and frees one object per block, and the general allocator
// spends more on those than reading their fields takes; a list of a few keys per curve took
// its slow path. Blocks and lists of up to 512 bytes take a slot from their thread's list of
// free slots of that size, carved from 16 KB chunks; a freed slot goes back on the list of the
// thread that frees it. Chunks are never returned to the system: the pool holds at most what
// the most blocks and lists alive at once took, per thread. Larger ones, and all of them in
// the sanitizer builds (whose allocator checks each use), come from the general allocator.
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "NiObject.h"

#if defined(__SANITIZE_ADDRESS__)
#define PELLMAR_BLOCK_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELLMAR_BLOCK_POOL 0
#endif
#endif
#ifndef PELLMAR_BLOCK_POOL
#define PELLMAR_BLOCK_POOL 1
#endif

namespace {

constexpr size_t kGrain = 16;                  // slot sizes are multiples of this
constexpr size_t kClasses = 512 / kGrain + 1;  // class c holds slots of c * kGrain bytes
constexpr size_t kChunk = size_t{16} << 10;

struct Slot {
    Slot* next;
};

// The chunks of every thread, kept reachable for the whole run.
struct Chunks {
    std::mutex lock;
    std::vector<std::unique_ptr<std::byte[]>> all;
};

Chunks& TheChunks() {
    static Chunks* chunks = new Chunks;  // never destroyed: blocks may outlive static objects
    return *chunks;
}

// Trivially destroyed, so that blocks freed late in a thread's end still find it.
thread_local Slot* freeSlots[kClasses];

size_t ClassOf(size_t size) {
    return (size + kGrain - 1) / kGrain;
}

// A new chunk cut into free slots of class c.
void Refill(size_t c) {
    auto chunk = std::make_unique_for_overwrite<std::byte[]>(kChunk);
    std::byte* at = chunk.get();
    const size_t size = c * kGrain, count = kChunk / size;
    for (size_t i = 0; i < count; ++i) {
        auto* slot = reinterpret_cast<Slot*>(at + i * size);
        slot->next = freeSlots[c];
        freeSlots[c] = slot;
    }
    Chunks& chunks = TheChunks();
    const std::lock_guard<std::mutex> guard(chunks.lock);
    chunks.all.push_back(std::move(chunk));
}

}  // namespace

void* PoolAllocate(size_t size) {
    const size_t c = ClassOf(size);
    if (!PELLMAR_BLOCK_POOL || c == 0 || c >= kClasses) return ::operator new(size);
    if (!freeSlots[c]) Refill(c);
    Slot* slot = freeSlots[c];
    freeSlots[c] = slot->next;
    return slot;
}

void PoolFree(void* p, size_t size) noexcept {
    const size_t c = ClassOf(size);
    if (!PELLMAR_BLOCK_POOL || c == 0 || c >= kClasses) {
        ::operator delete(p);
        return;
    }
    auto* slot = static_cast<Slot*>(p);
    slot->next = freeSlots[c];
    freeSlots[c] = slot;
}

void* NiObject::operator new(size_t size) {
    return PoolAllocate(size);
}

void NiObject::operator delete(void* p, size_t size) noexcept {
    PoolFree(p, size);
}
