#include "platform/foundation/ProcessMemory.h"

#include "platform/dispatch/DispatchQueue.h"

#include <dlfcn.h>
#include <malloc.h>

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

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

std::string decayName(unsigned arena) { return "arena." + std::to_string(arena) + ".dirty_decay_ms"; }

struct HeldState {
    std::mutex mutex;
    int holders = 0;
    // Each arena's decay before the first holder: the one for the largest
    // requests gives its pages back at once, the others after a while.
    std::vector<ssize_t> decays;
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
    unsigned arenas = 0;
    std::size_t size = sizeof arenas;
    state.decays.clear();
    if (control("arenas.narenas", &arenas, &size, nullptr, 0) != 0) return;
    for (unsigned arena = 0; arena < arenas; ++arena) {
        ssize_t decay = 0;
        ssize_t keep = -1;
        size = sizeof decay;
        // An arena not made yet refuses; it starts with the default.
        if (control(decayName(arena).c_str(), &decay, &size, &keep, sizeof keep) != 0) decay = keep;
        state.decays.push_back(decay);
    }
}

FreedPagesHeld::~FreedPagesHeld() {
    const tMallctl control = allocatorControl();
    if (control == nullptr) return;
    HeldState& state = held();
    std::lock_guard lock(state.mutex);
    if (--state.holders > 0) return;
    for (unsigned arena = 0; arena < state.decays.size(); ++arena) {
        ssize_t decay = state.decays[arena];
        if (decay >= 0) control(decayName(arena).c_str(), nullptr, nullptr, &decay, sizeof decay);
    }
    // The allocator's thread, idle while nothing aged, would leave what was
    // kept until the next frees woke it.
    giveFreedMemoryBack();
}

std::shared_ptr<FreedPagesHeld> holdFreedPages(std::chrono::milliseconds linger) {
    return {new FreedPagesHeld, [linger](FreedPagesHeld* hold) {
                auto& queue = DispatchQueue::global(DispatchQueuePriority::Background);
                auto letGo = [hold] { delete hold; };
                // A clock of the tests' own would keep even no wait until it moves.
                if (linger.count() > 0) {
                    queue.asyncAfter(linger, std::move(letGo));
                } else {
                    queue.async(std::move(letGo));
                }
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
