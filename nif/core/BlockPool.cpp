// The pool's chunks (BlockPool.h).
#include "BlockPool.h"

#include <memory>
#include <mutex>
#include <vector>

namespace block_pool {

thread_local constinit Slot* freeSlots[kClasses] = {};

namespace {

constexpr size_t kChunk = size_t{16} << 10;

// The chunks of every thread, kept reachable for the whole run.
struct Chunks {
    std::mutex lock;
    std::vector<std::unique_ptr<std::byte[]>> all;
};

Chunks& TheChunks() {
    static Chunks* chunks = new Chunks;  // never destroyed: blocks may outlive static objects
    return *chunks;
}

}  // namespace

void* TakeFromNewChunk(size_t c) {
    auto chunk = std::make_unique_for_overwrite<std::byte[]>(kChunk);
    std::byte* at = chunk.get();
    const size_t size = c * kGrain, count = kChunk / size;
    for (size_t i = 0; i < count; ++i) {
        auto* slot = reinterpret_cast<Slot*>(at + i * size);
        slot->next = freeSlots[c];
        freeSlots[c] = slot;
    }
    {
        Chunks& chunks = TheChunks();
        const std::lock_guard<std::mutex> guard(chunks.lock);
        chunks.all.push_back(std::move(chunk));
    }
    Slot* slot = freeSlots[c];
    freeSlots[c] = slot->next;
    return slot;
}

}  // namespace block_pool
