#include "Interrupt.h"

#include <atomic>

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");

}  // namespace

void RequestInterrupt() {
    requested.store(true);
}

bool InterruptRequested() {
    return requested.load();
}

void ClearInterrupt() {
    requested.store(false);
}
