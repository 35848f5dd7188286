#include "platform/foundation/ProcessMemory.h"

#include "platform/dispatch/DispatchQueue.h"

#include <dlfcn.h>
#include <malloc.h>

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <string>

namespace platform {

namespace {

using tMallctl = int (*)(const char*, void*, std::size_t*, void*, std::size_t);

// jemalloc's control entry when the program is linked with it. Looked up
// rather than linked, so that the libraries also serve programs on the C
// library's allocator (the sanitizer builds, most tests).
tMallctl allocatorControl() {
    static const auto control = reinterpret_cast<tMallctl>(dlsym(RTLD_DEFAULT, "mallctl"));
    return control;
}

// Sets every arena's dirty decay; -1 keeps freed pages.
void setDirtyDecay(tMallctl control, ssize_t milliseconds) {
    unsigned arenas = 0;
    std::size_t size = sizeof arenas;
    if (control("arenas.narenas", &arenas, &size, nullptr, 0) != 0) return;
    for (unsigned arena = 0; arena < arenas; ++arena) {
        const std::string name = "arena." + std::to_string(arena) + ".dirty_decay_ms";
        // An arena not made yet refuses; it starts with the default.
        control(name.c_str(), nullptr, nullptr, &milliseconds, sizeof milliseconds);
    }
}

struct HeldState {
    std::mutex mutex;
    int holders = 0;
    ssize_t decay = 0;  // as it was before the first holder
};

HeldState& held() {
    // Never destroyed: a holder may go on a thread still running at exit.
    static auto* state = new HeldState;
    return *state;
}

}  // namespace

FreedPagesHeld::FreedPagesHeld() {
    const tMallctl control = allocatorControl();
    if (control == nullptr) return;
    HeldState& state = held();
    std::lock_guard lock(state.mutex);
    if (state.holders++ > 0) return;
    std::size_t size = sizeof state.decay;
    if (control("arenas.dirty_decay_ms", &state.decay, &size, nullptr, 0) != 0) state.decay = 1000;
    setDirtyDecay(control, -1);
}

FreedPagesHeld::~FreedPagesHeld() {
    const tMallctl control = allocatorControl();
    if (control == nullptr) return;
    HeldState& state = held();
    std::lock_guard lock(state.mutex);
    if (--state.holders > 0) return;
    setDirtyDecay(control, state.decay);
    // The allocator's thread, idle while nothing aged, would leave what was
    // kept until the next frees woke it.
    giveFreedMemoryBack();
}

std::shared_ptr<FreedPagesHeld> holdFreedPages() {
    return {new FreedPagesHeld, [](FreedPagesHeld* hold) {
                DispatchQueue::global(DispatchQueuePriority::Background).async([hold] { delete hold; });
            }};
}

void giveFreedMemoryBack() {
    if (const tMallctl control = allocatorControl()) {
        // 4096: every arena (MALLCTL_ARENAS_ALL).
        control("arena.4096.purge", nullptr, nullptr, nullptr, 0);
        return;
    }
    malloc_trim(0);
}

}  // namespace platform
