// Where block objects live, and the animation key lists most curves hold (KeyList). A file of
// a few thousand small blocks makes and frees one object per block, and the general allocator
// spends more on those than reading their fields takes; a list of a few keys per curve took
// its slow path. Blocks and lists of up to 512 bytes take a slot from their thread's list of
// free slots of that size, carved from 16 KB chunks (BlockPool.cpp); a freed slot goes back on
// the list of the thread that frees it. Chunks are never returned to the system: the pool
// holds at most what the most blocks and lists alive at once took, per thread. Larger ones,
// and all of them in the sanitizer builds (whose allocator checks each use), come from the
// general allocator.
//
// Taking and returning a slot is inline: where a block of a known type is made or freed, its
// size, and so its slot size, is a constant.
#pragma once

#include <cstddef>
#include <new>

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

namespace block_pool {

inline constexpr size_t kGrain = 16;                  // slot sizes are multiples of this
inline constexpr size_t kClasses = 512 / kGrain + 1;  // class c holds slots of c * kGrain bytes

struct Slot {
    Slot* next;
};

// The thread's free slots of each class. Constant-initialised and trivially destroyed, so
// that blocks freed late in a thread's end still find it, and reaching it costs no check.
extern thread_local constinit Slot* freeSlots[kClasses];

// Cuts a new chunk into free slots of class c and takes one.
void* TakeFromNewChunk(size_t c);

inline constexpr size_t ClassOf(size_t size) {
    return (size + kGrain - 1) / kGrain;
}

}  // namespace block_pool

[[gnu::always_inline]] inline void* PoolAllocate(size_t size) {
    using namespace block_pool;
    const size_t c = ClassOf(size);
    if (!PELLMAR_BLOCK_POOL || c == 0 || c >= kClasses) [[unlikely]]
        return ::operator new(size);
    Slot* slot = freeSlots[c];
    if (!slot) [[unlikely]]
        return TakeFromNewChunk(c);
    freeSlots[c] = slot->next;
    return slot;
}

[[gnu::always_inline]] inline void PoolFree(void* p, size_t size) noexcept {
    using namespace block_pool;
    const size_t c = ClassOf(size);
    if (!PELLMAR_BLOCK_POOL || c == 0 || c >= kClasses) [[unlikely]] {
        ::operator delete(p);
        return;
    }
    auto* slot = static_cast<Slot*>(p);
    slot->next = freeSlots[c];
    freeSlots[c] = slot;
}
