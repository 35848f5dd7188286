// Reachability as the telemetry client sees it: the status of the flags,
// and the change notification on the main thread.

#include "telemetry/Internals/Util/TLM_Reachability.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace platform::net;

namespace {

class TLMReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override { ReachabilitySource::setShared(links); }
    void TearDown() override { ReachabilitySource::setShared(nullptr); }

    void runMainLoop() {
        platform::RunLoop::current()->runUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    }

    std::shared_ptr<testsupport::TestLinks> links = std::make_shared<testsupport::TestLinks>();
};

}  // namespace

TEST_F(TLMReachabilityTest, StatusOfTheFlags) {
    constexpr std::uint32_t reachable = ReachabilityFlagReachable;
    struct Case {
        std::uint32_t flags;
        TLMNetworkStatus status;
    };
    const Case cases[] = {
        {0, NotReachable},
        {ReachabilityFlagIsWWAN, NotReachable},
        {reachable, ReachableViaWiFi},
        {reachable | ReachabilityFlagIsWWAN, ReachableViaWWAN},
        {reachable | ReachabilityFlagIsWWAN | ReachabilityFlagConnectionRequired, ReachableViaWWAN},
        {reachable | ReachabilityFlagConnectionRequired, NotReachable},
        {reachable | ReachabilityFlagConnectionRequired | ReachabilityFlagConnectionOnTraffic, ReachableViaWiFi},
        {reachable | ReachabilityFlagConnectionRequired | ReachabilityFlagConnectionOnDemand, ReachableViaWiFi},
        {reachable | ReachabilityFlagConnectionRequired | ReachabilityFlagConnectionOnDemand |
             ReachabilityFlagInterventionRequired,
         NotReachable},
        {reachable | ReachabilityFlagConnectionOnTraffic | ReachabilityFlagInterventionRequired, ReachableViaWiFi},
    };
    for (const Case& c : cases) EXPECT_EQ(TLM_Reachability::networkStatusForFlags(c.flags), c.status) << c.flags;

    auto internet = TLM_Reachability::reachabilityForInternetConnection();
    ASSERT_NE(internet, nullptr);
    const auto& target = internet->reachabilityRef()->target();
    EXPECT_TRUE(target.hostName.empty());
    EXPECT_EQ(target.address.ss_family, AF_INET);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in&>(target.address).sin_addr.s_addr, 0u);

    links->setFlags(std::nullopt);
    EXPECT_EQ(internet->currentReachabilityStatus(), NotReachable);
    EXPECT_FALSE(internet->connectionRequired());
    links->setFlags(ReachabilityFlagReachable | ReachabilityFlagIsWWAN);
    EXPECT_EQ(internet->currentReachabilityStatus(), ReachableViaWWAN);
    links->setFlags(ReachabilityFlagReachable | ReachabilityFlagConnectionRequired);
    EXPECT_TRUE(internet->connectionRequired());
    EXPECT_EQ(TLM_Reachability::reachabilityWithHostName(""), nullptr);
    EXPECT_NE(TLM_Reachability::reachabilityWithHostName("ingestion.example"), nullptr);
}

TEST_F(TLMReachabilityTest, ChangesArePostedOnTheMainThreadWithTheObject) {
    links->setFlags(ReachabilityFlagReachable);
    auto reachability = TLM_Reachability::reachabilityForInternetConnection();
    std::vector<const void*> posters;
    std::vector<std::thread::id> threads;
    auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        kTLNetworkReachabilityChangedNotification, nullptr, [&](const platform::Notification& notification) {
            posters.push_back(notification.object());
            threads.push_back(std::this_thread::get_id());
        });

    // Started on the main thread: posted at once.
    reachability->startNotifier();
    ASSERT_EQ(posters.size(), 1u);
    EXPECT_EQ(posters[0], reachability.get());

    links->setFlags(ReachabilityFlagReachable | ReachabilityFlagIsWWAN);
    links->reportChange();
    runMainLoop();
    ASSERT_EQ(posters.size(), 2u);
    EXPECT_EQ(posters[1], reachability.get());
    EXPECT_EQ(reachability->currentReachabilityStatus(), ReachableViaWWAN);

    // Stopped: later changes post nothing.
    reachability->stopNotifier();
    links->setFlags(0);
    links->reportChange();
    runMainLoop();
    EXPECT_EQ(posters.size(), 2u);

    // Started from another thread, it waits for the main loop.
    std::thread([&] { reachability->startNotifier(); }).join();
    EXPECT_EQ(posters.size(), 2u);
    runMainLoop();
    ASSERT_EQ(posters.size(), 3u);
    for (const auto& thread : threads) EXPECT_EQ(thread, std::this_thread::get_id());

    // Gone: a change reported afterwards reaches nobody.
    reachability.reset();
    links->setFlags(ReachabilityFlagReachable);
    links->reportChange();
    runMainLoop();
    EXPECT_EQ(posters.size(), 3u);
}
