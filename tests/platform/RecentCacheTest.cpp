// The bounded table behind the text caches: when full it lets go of the
// entries used least recently, never of all of them.

#include "platform/foundation/RecentCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using platform::RecentCache;

TEST(RecentCache, WhenFullTheLeastRecentlyUsedGoAndAHotEntryStays) {
    RecentCache<int> cache(16);
    std::vector<int> gone;
    const auto evicted = [&](int&& value) { gone.push_back(value); };
    for (int i = 0; i < 16; ++i) cache.insert("k" + std::to_string(i), i, evicted);
    ASSERT_NE(cache.find("k0"), nullptr);  // k0 used again: k1 and k2 are now the oldest
    EXPECT_EQ(cache.insert("k3", 99, evicted), 3) << "a key kept is kept as it was";
    EXPECT_TRUE(gone.empty());

    cache.insert("new", 16, evicted);
    std::sort(gone.begin(), gone.end());
    EXPECT_EQ(gone, (std::vector<int>{1, 2})) << "an eighth, the least recently used";
    EXPECT_EQ(cache.find("k1"), nullptr);
    ASSERT_NE(cache.find("k0"), nullptr);
    EXPECT_EQ(*cache.find("k0"), 0);
    EXPECT_EQ(cache.size(), 15u);

    // A busy screen: one text used between many others stays; the table
    // stays bounded and everything let go is handed back once.
    gone.clear();
    for (int i = 100; i < 400; ++i) {
        cache.insert("other" + std::to_string(i), i, evicted);
        ASSERT_NE(cache.find("k0"), nullptr) << i;
        EXPECT_LE(cache.size(), 16u);
    }
    EXPECT_EQ(cache.size() + gone.size(), 15u + 300u);
    std::sort(gone.begin(), gone.end());
    EXPECT_EQ(std::adjacent_find(gone.begin(), gone.end()), gone.end()) << "none handed back twice";
    EXPECT_EQ(std::count(gone.begin(), gone.end(), 0), 0);
}
