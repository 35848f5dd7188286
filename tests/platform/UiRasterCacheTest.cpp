// A window's raster cache: one byte budget, least recently used out first,
// never what the current frame uses; layers keyed by identifiers that their
// presentation copies share.

#include "platform/ui/core/Layer.h"
#include "platform/ui/render/RasterCache.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <vector>

using platform::ui::RasterCache;
using platform::ui::RasterEntry;
using platform::ui::RasterKey;

namespace {

// A 16 x 16 image: 1,024 bytes in the cache.
RasterEntry entryOf(std::uint64_t version = 0) {
    const std::vector<platform::Pixel> pixels(16 * 16);
    return {platform::Image::fromPixels(16, 16, pixels), {0, 0, 16, 16}, 1, version};
}

RasterKey tile(std::uint64_t part) { return {7, platform::ui::kRasterTile, part}; }

}  // namespace

TEST(UiRasterCache, EvictsLeastRecentlyUsedButNeverWhatThisFrameUses) {
    RasterCache cache(3 * 1024);
    cache.store(tile(1), entryOf());
    cache.store(tile(2), entryOf());
    cache.store(tile(3), entryOf());
    EXPECT_EQ(cache.bytes(), 3u * 1024);

    cache.beginFrame();
    ASSERT_NE(cache.find(tile(1)), nullptr);  // 2 is now the least recently used
    cache.store(tile(4), entryOf());
    EXPECT_EQ(cache.find(tile(2)), nullptr);
    EXPECT_NE(cache.find(tile(3)), nullptr);
    EXPECT_EQ(cache.bytes(), 3u * 1024);

    // Everything is in use this frame now: the cache goes over budget
    // rather than drop a raster the frame is about to draw.
    cache.store(tile(5), entryOf());
    EXPECT_EQ(cache.count(), 4u);
    EXPECT_EQ(cache.bytes(), 4u * 1024);
    cache.beginFrame();
    cache.store(tile(6), entryOf());
    EXPECT_EQ(cache.bytes(), 3u * 1024);
    EXPECT_NE(cache.find(tile(6)), nullptr);
    EXPECT_NE(cache.find(tile(5)), nullptr);
}

TEST(UiRasterCache, ReplacingAndErasingKeepTheByteCount) {
    RasterCache cache;
    cache.store(tile(1), entryOf(1));
    cache.store(tile(1), entryOf(2));
    EXPECT_EQ(cache.count(), 1u);
    EXPECT_EQ(cache.bytes(), 1024u);
    EXPECT_EQ(cache.find(tile(1))->version, 2u);

    cache.store({8, platform::ui::kRasterContent, 0}, entryOf());
    cache.store(tile(2), entryOf());
    cache.eraseOwner(7);
    EXPECT_EQ(cache.count(), 1u);
    EXPECT_EQ(cache.bytes(), 1024u);
    EXPECT_EQ(cache.find(tile(2)), nullptr);
    EXPECT_NE(cache.find({8, platform::ui::kRasterContent, 0}), nullptr);

    cache.beginFrame();
    cache.setBudget(0);
    EXPECT_EQ(cache.count(), 0u);
    EXPECT_EQ(cache.bytes(), 0u);
}

TEST(UiRasterCache, LayersHaveIdentifiersTheirPresentationsShare) {
    const auto a = platform::ui::Layer::make();
    const auto b = platform::ui::Layer::make();
    EXPECT_NE(a->identifier(), b->identifier());
    EXPECT_NE(a->identifier(), 0u);
    EXPECT_EQ(a->presentationLayer()->identifier(), a->identifier());
}

TEST(UiRasterCache, HandlesFindTheirEntryUntilItGoes) {
    RasterCache cache;
    RasterCache other;
    const RasterKey key{9, platform::ui::kRasterContent, 0};
    cache.store(key, entryOf(1));
    other.store(tile(1), entryOf(5));

    RasterCache::Handle handle;
    ASSERT_NE(cache.find(key, handle), nullptr);
    EXPECT_EQ(cache.find(key, handle)->version, 1u);

    // Replaced: the handle must not lead to the entry that went.
    cache.store(key, entryOf(2));
    ASSERT_NE(cache.find(key, handle), nullptr);
    EXPECT_EQ(cache.find(key, handle)->version, 2u);

    // A handle from one cache finds nothing in another.
    EXPECT_EQ(other.find(key, handle), nullptr);
    RasterCache::Handle fromOther;
    ASSERT_NE(other.find(tile(1), fromOther), nullptr);
    EXPECT_EQ(cache.find(tile(1), fromOther), nullptr);

    // Others going leave it; its own going does not, though its place is
    // taken by another key at once.
    cache.store(tile(2), entryOf(4));
    cache.erase(tile(2));
    EXPECT_EQ(cache.find(key, handle)->version, 2u);
    cache.erase(key);
    EXPECT_EQ(cache.find(key, handle), nullptr);
    cache.store(tile(3), entryOf(6));
    EXPECT_EQ(cache.find(key, handle), nullptr);
    cache.store(key, entryOf(3));
    EXPECT_EQ(cache.find(key, handle)->version, 3u);
    cache.clear();
    EXPECT_EQ(cache.find(key, handle), nullptr);
}

TEST(UiRasterCache, ManyKeysComingAndGoingAreFoundAsAMapWouldHoldThem) {
    // Tiles of a few owners stored, replaced, erased, taken, found (through
    // handles or not) and evicted in a fixed random order, against a plain
    // map of what should be there; the cache's own rules hold at every step.
    RasterCache cache(600 * 1024);
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> expected;
    std::map<std::pair<std::uint64_t, std::uint64_t>, RasterCache::Handle> handles;
    std::mt19937 random(20261208);
    const auto keyOf = [](const auto& at) { return RasterKey{at.first, platform::ui::kRasterTile, at.second}; };
    for (int step = 0; step < 20000; ++step) {
        if (step % 500 == 0) cache.beginFrame();
        const std::pair<std::uint64_t, std::uint64_t> at{random() % 5, random() % 300};
        const std::uint64_t version = step;
        if (step % 7 == 3) {
            // Found within the frame: what this frame uses is never evicted.
            const RasterEntry* found = step % 2 ? cache.find(keyOf(at), handles[at]) : cache.find(keyOf(at));
            ASSERT_EQ(found != nullptr, expected.contains(at)) << "step " << step;
            if (found) {
                ASSERT_EQ(found->version, expected[at]) << "step " << step;
            }
            ASSERT_EQ(cache.checkInvariants(), "") << "step " << step;
            continue;
        }
        switch (random() % 4) {
            case 0:
            case 1:
                cache.store(keyOf(at), entryOf(version));
                expected[at] = version;
                break;
            case 2:
                cache.erase(keyOf(at));
                expected.erase(at);
                break;
            case 3:
                if (const auto image = cache.take(keyOf(at))) {
                    ASSERT_TRUE(expected.contains(at));
                } else {
                    ASSERT_FALSE(expected.contains(at)) << "step " << step;
                }
                expected.erase(at);
                break;
        }
        if (step % 3000 == 2999) {
            cache.eraseOwner(step % 5);
            std::erase_if(expected, [&](const auto& kept) { return kept.first.first == std::uint64_t(step % 5); });
        }
        // What the budget let go is gone from both.
        if (cache.count() < expected.size()) {
            std::erase_if(expected, [&](const auto& kept) { return !cache.find(keyOf(kept.first)); });
        }
        ASSERT_EQ(cache.count(), expected.size()) << "step " << step;
        ASSERT_EQ(cache.checkInvariants(), "") << "step " << step;
    }
    EXPECT_GT(expected.size(), 300u) << "the table grew past a few buckets";
    EXPECT_EQ(cache.bytes(), expected.size() * 1024);
    for (std::uint64_t owner = 0; owner < 5; ++owner) {
        for (std::uint64_t part = 0; part < 300; ++part) {
            const RasterEntry* entry = cache.find(keyOf(std::pair{owner, part}));
            const auto kept = expected.find({owner, part});
            ASSERT_EQ(entry != nullptr, kept != expected.end()) << owner << " " << part;
            if (entry) {
                EXPECT_EQ(entry->version, kept->second);
            }
        }
    }
}

// A raster a job makes beyond its frame: nothing is found until the job is
// done, then the first look-up keeps it; erasing or storing the key first
// forgets the job's.
TEST(UiRasterCache, ARasterMadeLaterIsKeptByTheFirstLookUpOnceDone) {
    RasterCache cache;
    cache.store(tile(1), entryOf(1));
    auto later = std::make_shared<RasterCache::PromisedRaster>();
    cache.storeLater(tile(1), entryOf(2), later);
    EXPECT_TRUE(cache.pending(tile(1)));
    EXPECT_EQ(cache.find(tile(1)), nullptr) << "the stale raster is still found";
    EXPECT_EQ(cache.bytes(), 0u);

    later->image = entryOf().image;
    later->done = true;
    const RasterEntry* found = cache.find(tile(1));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->image, later->image);
    EXPECT_EQ(found->version, 2u);
    EXPECT_FALSE(cache.pending(tile(1)));
    EXPECT_EQ(cache.bytes(), 1024u);

    // Forgotten: a job done after its key was erased or stored keeps nothing.
    auto erased = std::make_shared<RasterCache::PromisedRaster>();
    cache.storeLater(tile(2), entryOf(), erased);
    cache.erase(tile(2));
    auto replaced = std::make_shared<RasterCache::PromisedRaster>();
    cache.storeLater(tile(3), entryOf(), replaced);
    cache.store(tile(3), entryOf(7));
    for (auto* done : {&erased, &replaced}) {
        (*done)->image = entryOf().image;
        (*done)->done = true;
    }
    EXPECT_FALSE(cache.pending(tile(2)));
    EXPECT_EQ(cache.find(tile(2)), nullptr);
    ASSERT_NE(cache.find(tile(3)), nullptr);
    EXPECT_EQ(cache.find(tile(3))->version, 7u);
    EXPECT_EQ(cache.bytes(), 2u * 1024);

    // Done and never looked up again: kept by the next frame, under the
    // budget, not held apart from it.
    auto unasked = std::make_shared<RasterCache::PromisedRaster>();
    cache.storeLater(tile(5), entryOf(5), unasked);
    cache.beginFrame();
    EXPECT_TRUE(cache.pending(tile(5)));
    EXPECT_EQ(cache.bytes(), 2u * 1024);
    unasked->image = entryOf().image;
    unasked->done = true;
    cache.beginFrame();
    EXPECT_FALSE(cache.pending(tile(5)));
    EXPECT_EQ(cache.count(), 3u);
    EXPECT_EQ(cache.bytes(), 3u * 1024);
    cache.setBudget(2 * 1024);
    EXPECT_EQ(cache.count(), 2u) << "not under the budget";

    // A job that made nothing leaves the key to be asked for again.
    auto failed = std::make_shared<RasterCache::PromisedRaster>();
    cache.storeLater(tile(4), entryOf(), failed);
    failed->done = true;
    EXPECT_EQ(cache.find(tile(4)), nullptr);
    EXPECT_FALSE(cache.pending(tile(4)));
}
