#include "platform/net/Reachability.h"

#include "platform/dispatch/RunLoop.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

using namespace platform::net;
using platform::RunLoop;
using namespace std::chrono_literals;

namespace {

// Links a test sets by hand: flags per host name (addresses by their text),
// and a change report that the test fires.
class FakeSource final : public ReachabilitySource {
public:
    void set(const std::string& key, std::optional<std::uint32_t> flags) {
        std::lock_guard lock(mMutex);
        mFlags[key] = flags;
    }
    std::optional<std::uint32_t> flagsFor(const ReachabilityTarget& target) override {
        std::lock_guard lock(mMutex);
        ++reads;
        auto found = mFlags.find(target.hostName.empty() ? addressText(target) : target.hostName);
        return found == mFlags.end() ? std::nullopt : found->second;
    }
    bool startWatching(std::function<void()> changed) override {
        std::lock_guard lock(mMutex);
        mChanged = std::move(changed);
        ++starts;
        return watchable;
    }
    void stopWatching() override {
        std::lock_guard lock(mMutex);
        mChanged = nullptr;
        ++stops;
    }
    // Reports a change from another thread, as the system's watcher does.
    void fireChange() {
        std::function<void()> changed;
        {
            std::lock_guard lock(mMutex);
            changed = mChanged;
        }
        if (changed) std::thread(changed).join();
    }
    static std::string addressText(const ReachabilityTarget& target) {
        char text[INET6_ADDRSTRLEN] = {};
        const auto& in = reinterpret_cast<const sockaddr_in&>(target.address);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        return text;
    }

    bool watchable = true;
    int starts = 0;
    int stops = 0;
    std::atomic<int> reads{0};

private:
    std::mutex mMutex;
    std::map<std::string, std::optional<std::uint32_t>> mFlags;
    std::function<void()> mChanged;
};

class ReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override { ReachabilitySource::setShared(source); }
    void TearDown() override { ReachabilitySource::setShared(nullptr); }

    // Runs the loop for what a change has queued.
    void drain() { RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 20ms); }

    std::shared_ptr<FakeSource> source = std::make_shared<FakeSource>();
};

sockaddr_in zeroAddress() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return address;
}

}  // namespace

TEST_F(ReachabilityTest, ReferencesReadTheirTargetsFlags) {
    source->set("example.org", ReachabilityFlagReachable | ReachabilityFlagIsWWAN);
    source->set("0.0.0.0", ReachabilityFlagReachable);
    auto host = Reachability::withHostName("example.org");
    const auto zero = zeroAddress();
    auto address = Reachability::withAddress(reinterpret_cast<const sockaddr&>(zero));
    ASSERT_TRUE(host && address);
    EXPECT_EQ(host->flags(), ReachabilityFlagReachable | ReachabilityFlagIsWWAN);
    EXPECT_EQ(address->flags(), ReachabilityFlagReachable);
    EXPECT_EQ(Reachability::withHostName("unknown.example")->flags(), std::nullopt);

    EXPECT_EQ(Reachability::withHostName(""), nullptr);
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_EQ(Reachability::withAddress(unix), nullptr);
}

TEST_F(ReachabilityTest, EachChangeOfTheFlagsReachesTheCallbackOnceOnItsLoop) {
    source->set("example.org", ReachabilityFlagReachable);
    auto reference = Reachability::withHostName("example.org");
    std::vector<std::uint32_t> seen;
    const auto loopThread = std::this_thread::get_id();
    bool wrongThread = false;
    reference->setCallback([&](Reachability&, std::uint32_t flags) {
        wrongThread = wrongThread || std::this_thread::get_id() != loopThread;
        seen.push_back(flags);
    });
    ASSERT_TRUE(reference->scheduleWithRunLoop(RunLoop::current()));
    EXPECT_FALSE(reference->scheduleWithRunLoop(RunLoop::current()));
    EXPECT_EQ(source->starts, 1);

    // The links changed but this target's flags did not: nothing to tell.
    source->fireChange();
    drain();
    EXPECT_TRUE(seen.empty());

    source->set("example.org", 0);
    source->fireChange();
    source->fireChange();  // a burst of reports of the same change
    drain();
    source->set("example.org", ReachabilityFlagReachable | ReachabilityFlagConnectionRequired);
    source->fireChange();
    drain();
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0, ReachabilityFlagReachable | ReachabilityFlagConnectionRequired}));
    EXPECT_FALSE(wrongThread);

    // Flags that cannot be read are no change.
    source->set("example.org", std::nullopt);
    source->fireChange();
    drain();
    EXPECT_EQ(seen.size(), 2u);

    // A change queued before the unschedule never arrives; the watch ends
    // with the last watched reference.
    source->set("example.org", ReachabilityFlagReachable);
    source->fireChange();
    reference->unscheduleFromRunLoop();
    drain();
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(source->stops, 1);
}

TEST_F(ReachabilityTest, WatchingEndsWithTheLastReferenceAndFailsWhenNothingCanBeWatched) {
    source->set("a.example", ReachabilityFlagReachable);
    {
        auto first = Reachability::withHostName("a.example");
        auto second = Reachability::withHostName("a.example");
        ASSERT_TRUE(first->scheduleWithRunLoop(RunLoop::current()));
        ASSERT_TRUE(second->scheduleWithRunLoop(RunLoop::current()));
        EXPECT_EQ(source->starts, 1);
        first->unscheduleFromRunLoop();
        EXPECT_EQ(source->stops, 0);
        // `second` goes away while still scheduled.
    }
    EXPECT_EQ(source->stops, 1);

    source->watchable = false;
    auto reference = Reachability::withHostName("a.example");
    EXPECT_FALSE(reference->scheduleWithRunLoop(RunLoop::current()));
    // A failed schedule leaves the reference free to try again.
    source->watchable = true;
    EXPECT_TRUE(reference->scheduleWithRunLoop(RunLoop::current()));
    reference->unscheduleFromRunLoop();
}

TEST(SystemReachability, LoopbackIsLocalAndAnUnresolvableHostIsNotReachable) {
    SystemReachabilitySource system;
    ReachabilityTarget loopback;
    auto& in = reinterpret_cast<sockaddr_in&>(loopback.address);
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(system.flagsFor(loopback),
              ReachabilityFlagReachable | ReachabilityFlagIsLocalAddress | ReachabilityFlagIsDirect);

    ReachabilityTarget localhost;
    localhost.hostName = "localhost";
    const auto local = system.flagsFor(localhost);
    ASSERT_TRUE(local.has_value());
    EXPECT_TRUE(*local & ReachabilityFlagIsLocalAddress);

    // ".invalid" never resolves.
    ReachabilityTarget nowhere;
    nowhere.hostName = "no-such-host.invalid";
    EXPECT_EQ(system.flagsFor(nowhere), 0u);

    // Watching the kernel's changes starts and stops cleanly.
    EXPECT_TRUE(system.startWatching([] {}));
    system.stopWatching();
}
