#include "platform/foundation/ProcessMemory.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstddef>

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

}  // namespace

void giveFreedMemoryBack() {
    if (const tMallctl control = allocatorControl()) {
        // 4096: every arena (MALLCTL_ARENAS_ALL).
        control("arena.4096.purge", nullptr, nullptr, nullptr, 0);
        return;
    }
    malloc_trim(0);
}

}  // namespace platform
