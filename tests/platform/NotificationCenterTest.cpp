#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using platform::Notification;
using platform::NotificationCenter;
using platform::Value;

namespace {

// Records "observer:name" for every call, in call order.
struct CallLog {
    NotificationCenter::Block recorder(const std::string& observer) {
        return [this, observer](const Notification& n) { calls.push_back(observer + ":" + n.name()); };
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST(NotificationCenterTest, CallsMatchingObserversInRegistrationOrderWithTheirUserInfo) {
    NotificationCenter center;
    CallLog log;
    int posterA = 0;
    int posterB = 0;
    Value seenInfo;
    const void* seenObject = nullptr;

    auto any = center.addObserverForName("Loaded", nullptr, [&](const Notification& n) {
        log.calls.push_back("any:" + n.name());
        seenInfo = n.userInfo();
        seenObject = n.object();
    });
    auto fromA = center.addObserverForName("Loaded", &posterA, log.recorder("fromA"));
    auto closed = center.addObserverForName("Closed", nullptr, log.recorder("closed"));
    auto everyName = center.addObserverForName(std::nullopt, nullptr, log.recorder("every"));
    auto fromB = center.addObserverForName("Loaded", &posterB, log.recorder("fromB"));

    const Value info(Value::Dictionary{{"kQLKeyFileURL", Value("/tmp/a.wkst")}, {"QLKeyLayoutId", Value(42)}});
    center.postNotificationName("Loaded", &posterA, info);
    EXPECT_EQ(log.take(), (Calls{"any:Loaded", "fromA:Loaded", "every:Loaded"}));
    EXPECT_EQ(seenInfo, info);
    EXPECT_EQ(seenObject, &posterA);

    center.postNotificationName("Loaded", &posterB);
    EXPECT_EQ(log.take(), (Calls{"any:Loaded", "every:Loaded", "fromB:Loaded"}));
    EXPECT_TRUE(seenInfo.isNull());

    // A post without an object reaches only observers of any object.
    center.postNotificationName("Loaded", nullptr);
    EXPECT_EQ(log.take(), (Calls{"any:Loaded", "every:Loaded"}));
    center.postNotificationName("Closed", &posterB);
    EXPECT_EQ(log.take(), (Calls{"closed:Closed", "every:Closed"}));
    center.postNotificationName("Unobserved", nullptr);
    EXPECT_EQ(log.take(), (Calls{"every:Unobserved"}));
}

TEST(NotificationCenterTest, AnObserverAddedDuringAPostGetsTheNextPostOnly) {
    NotificationCenter center;
    CallLog log;
    NotificationCenter::ObserverToken late;
    auto first = center.addObserverForName("N", nullptr, [&](const Notification& n) {
        log.calls.push_back("first:" + n.name());
        if (!late.isActive()) late = center.addObserverForName("N", nullptr, log.recorder("late"));
    });
    auto second = center.addObserverForName("N", nullptr, log.recorder("second"));

    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"first:N", "second:N"}));
    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"first:N", "second:N", "late:N"}));
}

TEST(NotificationCenterTest, ObserversRemovedDuringAPostAreNotCalledAgain) {
    NotificationCenter center;
    CallLog log;
    NotificationCenter::ObserverToken self, other, last;
    auto remover = center.addObserverForName("N", nullptr, [&](const Notification& n) {
        log.calls.push_back("remover:" + n.name());
        center.removeObserver(last);  // later in this very post
    });
    self = center.addObserverForName("N", nullptr, [&](const Notification& n) {
        log.calls.push_back("self:" + n.name());
        center.removeObserver(self);
        center.removeObserver(self);  // twice is harmless
    });
    other = center.addObserverForName("N", nullptr, log.recorder("other"));
    last = center.addObserverForName("N", nullptr, log.recorder("last"));

    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"remover:N", "self:N", "other:N"}));
    EXPECT_FALSE(self.isActive());
    EXPECT_FALSE(last.isActive());
    EXPECT_TRUE(other.isActive());

    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"remover:N", "other:N"}));
}

TEST(NotificationCenterTest, LettingGoOfATokenRemovesItsObserver) {
    NotificationCenter center;
    NotificationCenter elsewhere;
    CallLog log;
    { auto dropped = center.addObserverForName("N", nullptr, log.recorder("dropped")); }
    auto moved = center.addObserverForName("N", nullptr, log.recorder("moved"));
    NotificationCenter::ObserverToken kept = std::move(moved);
    EXPECT_FALSE(moved.isActive());
    auto replaced = center.addObserverForName("N", nullptr, log.recorder("replaced"));
    replaced = center.addObserverForName("N", nullptr, log.recorder("replacement"));
    // Another centre's removal leaves this centre's observer alone.
    elsewhere.removeObserver(kept);

    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"moved:N", "replacement:N"}));

    center.removeObserver(kept);
    center.postNotificationName("N", nullptr);
    EXPECT_EQ(log.take(), (Calls{"replacement:N"}));

    // A token that outlives its centre is inert and safe to drop.
    auto orphan = std::make_unique<NotificationCenter>();
    auto token = orphan->addObserverForName("N", nullptr, log.recorder("orphan"));
    orphan.reset();
    EXPECT_FALSE(token.isActive());
}

TEST(NotificationCenterTest, RemovalFromAnotherThreadStopsCallsWhilePostsGoOn) {
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::atomic<long> postsDone{0};
    std::atomic<long> watchedCalls{0};
    std::atomic<long> wrongThread{0};
    std::atomic<std::thread::id> poster{};

    auto watched = center.addObserverForName("Tick", nullptr, [&](const Notification&) {
        if (std::this_thread::get_id() != poster.load()) ++wrongThread;
        ++watchedCalls;
    });
    auto steady = center.addObserverForName("Tick", nullptr, [&](const Notification&) {
        if (std::this_thread::get_id() != poster.load()) ++wrongThread;
    });

    std::thread posting([&] {
        poster = std::this_thread::get_id();
        while (!stop) {
            center.postNotificationName("Tick", nullptr, Value(Value::Dictionary{{"n", Value(1)}}));
            ++postsDone;
        }
    });
    // Observers come and go beside the posts.
    std::thread churning([&] {
        while (!stop) {
            auto passing = center.addObserverForName("Tick", nullptr, [](const Notification&) {});
            center.removeObserver(passing);
        }
    });

    while (watchedCalls < 200) std::this_thread::yield();
    center.removeObserver(watched);
    // The post under way when the removal returned may still call it; once
    // it has finished, no later post does.
    const long removedAt = postsDone;
    while (postsDone < removedAt + 1) std::this_thread::yield();
    const long callsAfterRemoval = watchedCalls;
    while (postsDone < removedAt + 500) std::this_thread::yield();
    EXPECT_EQ(watchedCalls.load(), callsAfterRemoval);

    stop = true;
    posting.join();
    churning.join();
    EXPECT_EQ(wrongThread.load(), 0);
    EXPECT_TRUE(steady.isActive());
}
