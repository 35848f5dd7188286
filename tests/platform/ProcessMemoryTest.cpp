// How far the main heap moves its break when it runs out: a large step only
// while a HeapGrowthAhead lasts, and the library's small one again after the
// last has gone, whichever order they end in.

#include "platform/foundation/ProcessMemory.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

using platform::HeapGrowthAhead;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// The bytes the heaps took from the system at the first growth while this
// thread allocates blocks of 64 KiB (below any mapping threshold), or 0 when
// they did not grow within 256 MiB. What was allocated is freed.
std::size_t nextGrowth() {
    std::vector<void*> blocks;
    const std::size_t before = mallinfo2().arena;
    std::size_t grown = 0;
    while (grown == 0 && blocks.size() < 4096) {
        blocks.push_back(std::malloc(64 * 1024));
        grown = mallinfo2().arena - before;
    }
    for (void* block : blocks) std::free(block);
    return grown;
}

}  // namespace

TEST(ProcessMemory, HeapsGrowInLargeStepsOnlyWhileAGrowthAheadLasts) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocator has no top pad";
#endif
    struct Case {
        const char* name;
        std::function<void(std::optional<HeapGrowthAhead>&, std::optional<HeapGrowthAhead>&)> steps;
        bool large;
    };
    const Case cases[] = {
        {"none", [](auto&, auto&) {}, false},
        {"one lasting", [](auto& a, auto&) { a.emplace(); }, true},
        {"one ended", [](auto& a, auto&) { a.emplace(), a.reset(); }, false},
        {"two, the first ended", [](auto& a, auto& b) { a.emplace(), b.emplace(), a.reset(); }, true},
        {"two, the second ended", [](auto& a, auto& b) { a.emplace(), b.emplace(), b.reset(); }, true},
        {"two, both ended", [](auto& a, auto& b) { a.emplace(), b.emplace(), a.reset(), b.reset(); }, false},
        {"moved, the new one lasting", [](auto& a, auto& b) { a.emplace(), b.emplace(std::move(*a)), a.reset(); },
         true},
        {"moved, the new one ended", [](auto& a, auto& b) { a.emplace(), b.emplace(std::move(*a)), b.reset(); }, false},
        {"moved onto one lasting, then ended",
         [](auto& a, auto& b) { a.emplace(), b.emplace(), *b = std::move(*a), b.reset(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<HeapGrowthAhead> a, b;
        c.steps(a, b);
        const std::size_t grown = nextGrowth();
        if (c.large) {
            EXPECT_GE(grown, HeapGrowthAhead::kLargeTopPad);
        } else {
            EXPECT_GT(grown, 0u);
            EXPECT_LT(grown, 1 * kMiB);
        }
        a.reset();
        b.reset();
    }
}
