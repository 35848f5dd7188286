#include "platform/foundation/Paths.h"

#include "platform/foundation/TemporaryFolder.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using platform::Paths;

TEST(PathsTest, FoldersLieUnderTheRootAndAreCreatedOnUse) {
    const fs::path root = testsupport::processRoot();
    ASSERT_EQ(Paths::root(), root);

    struct Case {
        const char* name;
        fs::path (*get)();
        fs::path expected;
    };
    const Case cases[] = {
        {"documents", &Paths::documents, root / "Documents"},
        {"library", &Paths::library, root / "Library"},
        {"logs", &Paths::logs, root / "Library" / "Logs"},
        {"preferences", &Paths::preferences, root / "Library" / "Preferences"},
        {"application support", &Paths::applicationSupport, root / "Library" / "Application Support"},
        {"caches (explicit root keeps them inside)", &Paths::caches, root / "Library" / "Caches"},
        {"tmp", &Paths::tmp, root / "tmp"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(fs::exists(c.expected)) << c.name << " existed before first use";
        EXPECT_EQ(c.get(), c.expected) << c.name;
        EXPECT_TRUE(fs::is_directory(c.expected)) << c.name << " was not created";
    }
}

TEST(PathsTest, SetRootMovesEveryFolder) {
    platform::TemporaryFolder other("vekmont-test");
    const fs::path newRoot = other.path() / "nested" / "root";
    Paths::setRoot(newRoot);
    EXPECT_EQ(Paths::root(), newRoot);
    EXPECT_TRUE(fs::is_directory(newRoot));
    EXPECT_EQ(Paths::logs(), newRoot / "Library" / "Logs");
    EXPECT_EQ(Paths::caches(), newRoot / "Library" / "Caches");
    EXPECT_TRUE(fs::is_directory(newRoot / "Library" / "Logs"));
    Paths::setRoot(testsupport::processRoot());
    EXPECT_EQ(Paths::documents(), testsupport::processRoot() / "Documents");
}

TEST(PathsTest, ConcurrentFirstUseAgrees) {
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<fs::path> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[t] = (t % 2 == 0) ? Paths::applicationSupport() : Paths::logs();
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) {
        const fs::path expected =
            testsupport::processRoot() / "Library" / ((t % 2 == 0) ? "Application Support" : "Logs");
        EXPECT_EQ(results[t], expected);
    }
    EXPECT_TRUE(fs::is_directory(testsupport::processRoot() / "Library" / "Logs"));
    EXPECT_TRUE(fs::is_directory(testsupport::processRoot() / "Library" / "Application Support"));
}
