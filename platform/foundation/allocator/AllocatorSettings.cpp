// jemalloc's settings for the programs linked with it, read as it starts,
// and the address space its arenas take ahead.

#include <jemalloc/jemalloc.h>

#include <cstddef>
#include <string>

// background_thread: freed pages are given back by the allocator's own
// threads as they age, not by whichever thread frees next.
// dirty_decay_ms:1000: freed pages stay a second for the next screen to
// reuse without page faults, then go back (its default 10 s kept 470 to
// 530 MB after a large layout closed).
// muzzy_decay_ms:0: once given back, they are gone from the resident set
// at once rather than lazily.
// lg_extent_max_active_fit:10: pages freed together (a document's copy,
// a drawing's instructions) serve the small objects that come next. Their
// ranges join into one; at the default of 6 a range over 64 times the
// size asked for is passed over, so the next copy faulted in fresh pages
// while the freed ones waited for their second.
// narenas:4: the pool threads of a first frame share four arenas rather than
// one per thread (32 on eight cores): fewer heaps to grow, and each grows
// in large steps, each step a hold on the address space that the other
// threads' page faults wait for.
// tcache_max:786432: a thread keeps blocks it freed up to 768 KiB (the
// default stops at 32 KiB) for its next requests of their size. A layer
// composited apart within a band (a fading popover's 1,470 x 128 pixels)
// takes such a block and frees it every band; from the arena it came in
// pages never touched before, each a page fault, and a fade's frames were
// half page faults. Bitmaps of tiles (1.25 MiB) stay out: a pool thread's
// cache would hold them past the frame that dropped them.
// tcache_nslots_large:4: at most four of each of those sizes a thread
// (the default twenty would keep megabytes in idle threads).
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf =
    "background_thread:true,dirty_decay_ms:1000,muzzy_decay_ms:0,lg_extent_max_active_fit:10,narenas:4,"
    "tcache_max:786432,tcache_nslots_large:4";
}

namespace {

// Every arena takes 64 MiB of address space before the program's threads
// run, and keeps it (`retain`, jemalloc's default): pages from it are
// only touched when used. Grown step by step as a start allocates, each
// step an mmap holding the address space while the other threads' page
// faults waited (15 to 75 such waits in a start).
constexpr std::size_t kAheadPerArena = std::size_t{64} << 20;

__attribute__((constructor)) void growArenasAhead() {
    unsigned arenas = 0;
    std::size_t size = sizeof arenas;
    // The arenas threads are given; not the one for the largest requests,
    // made on first use with settings of its own.
    if (mallctl("opt.narenas", &arenas, &size, nullptr, 0) != 0) return;
    for (unsigned arena = 0; arena < arenas; ++arena) {
        void* block = mallocx(kAheadPerArena, MALLOCX_ARENA(arena) | MALLOCX_TCACHE_NONE);
        if (block == nullptr) continue;
        dallocx(block, MALLOCX_TCACHE_NONE);
        // Untouched pages, but counted as freed ones: straight to the
        // retained range, so that later requests do not prefer them to
        // pages freed warm.
        mallctl(("arena." + std::to_string(arena) + ".purge").c_str(), nullptr, nullptr, nullptr, 0);
    }
}

}  // namespace
