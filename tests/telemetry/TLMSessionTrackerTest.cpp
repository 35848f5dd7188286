// The session tracker on the virtual clock's dates: when a return to the
// foreground starts a new session, what logs are stamped with, manual mode,
// and stamping from many threads while the application changes state.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMStartSessionLog.h"
#include "telemetry/TelemetryAnalytics/Internals/Session/TLMSessionTracker.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Model/TLMNoAutoAssignSessionIdLog.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class RecordingTrackerDelegate final : public TLMSessionTrackerDelegate {
public:
    void sessionTrackerProcessLog(TLMSessionTracker&, const std::shared_ptr<TLMAbstractLog>& log) override {
        std::lock_guard lock(mMutex);
        mSessions.push_back(log->sid());
    }
    std::vector<std::string> sessions() const {
        std::lock_guard lock(mMutex);
        return mSessions;
    }

private:
    mutable std::mutex mMutex;
    std::vector<std::string> mSessions;
};

// A crash log keeps the session it was made in.
class KeepsItsSession final : public TLMEventLog, public TLMNoAutoAssignSessionIdLog {};

struct TrackerRig {
    explicit TrackerRig(long applicationState)
        : application(std::make_shared<testsupport::StateApplication>(applicationState)) {
        clock->setDate(std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000)));
        TLMUtility::setSharedApp(application);
        tracker->setDelegate(delegate);
    }
    ~TrackerRig() { TLMUtility::setSharedApp(nullptr); }

    void background() { post(TLMSessionTracker::kDidEnterBackgroundNotification); }
    void foreground() { post(TLMSessionTracker::kWillEnterForegroundNotification); }
    static void post(const char* name) {
        platform::NotificationCenter::defaultCenter().postNotificationName(name, nullptr);
    }
    // A log made now; returns the session it got.
    std::string logNow() {
        auto log = testsupport::makeEvent("e");
        tracker->channelPrepareLog(unit, log);
        return log->sid();
    }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    std::shared_ptr<testsupport::StateApplication> application;
    std::shared_ptr<RecordingTrackerDelegate> delegate = std::make_shared<RecordingTrackerDelegate>();
    std::shared_ptr<TLMSessionTracker> tracker = std::make_shared<TLMSessionTracker>();
    TLMChannelUnitDefault unit{nullptr, nullptr, TLMChannelUnitConfiguration::makeDefaultConfiguration("Test"),
                               nullptr};
};

}  // namespace

TEST(TLMSessionTracker, ANewSessionNeedsTwentySecondsAwayAndNoLog) {
    TLMTelemetryUserDefaults::shared().setObject(platform::Value("old"), "PastSessions");
    TrackerRig rig(2);  // started in the background
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().objectForKey("PastSessions").has_value());
    rig.tracker->start();
    EXPECT_TRUE(rig.delegate->sessions().empty());
    EXPECT_EQ(rig.logNow(), "");

    rig.foreground();
    ASSERT_EQ(rig.delegate->sessions().size(), 1u);
    const std::string first = rig.delegate->sessions()[0];
    EXPECT_EQ(TLMSessionContext::sharedInstance().sessionId(), std::optional(first));
    EXPECT_EQ(rig.logNow(), first);

    // 19 s away, the last log 30 s old: the session goes on.
    rig.clock->advance(11s);
    rig.background();
    rig.clock->advance(19s);
    rig.foreground();
    EXPECT_EQ(rig.delegate->sessions().size(), 1u);

    // 25 s away with a log made 10 s ago (in the background): it goes on.
    rig.background();
    rig.clock->advance(15s);
    EXPECT_EQ(rig.logNow(), first);
    rig.clock->advance(10s);
    rig.foreground();
    EXPECT_EQ(rig.delegate->sessions().size(), 1u);

    // 20 s away with the last log 20 s old: a new session.
    rig.logNow();
    rig.background();
    rig.clock->advance(20s);
    rig.foreground();
    ASSERT_EQ(rig.delegate->sessions().size(), 2u);
    const std::string second = rig.delegate->sessions()[1];
    EXPECT_NE(second, first);
    EXPECT_EQ(rig.logNow(), second);

    // Stopped: no session, no more notifications heard.
    rig.tracker->stop();
    EXPECT_EQ(TLMSessionContext::sharedInstance().sessionId(), std::nullopt);
    rig.background();
    rig.clock->advance(60s);
    rig.foreground();
    EXPECT_EQ(rig.delegate->sessions().size(), 2u);
}

TEST(TLMSessionTracker, StartSessionAndCrashLogsKeepTheirOwnSession) {
    TrackerRig rig(0);
    rig.tracker->start();
    ASSERT_EQ(rig.delegate->sessions().size(), 1u);
    const std::string current = rig.delegate->sessions()[0];

    // A crash log keeps its id but counts as a log made now: coming back
    // 20 s later keeps the session.
    rig.background();
    rig.clock->advance(20s);
    auto crash = std::make_shared<KeepsItsSession>();
    crash->setSid("crashed-run");
    rig.tracker->channelPrepareLog(rig.unit, crash);
    EXPECT_EQ(crash->sid(), "crashed-run");
    rig.foreground();
    EXPECT_FALSE(rig.tracker->hasSessionTimedOut());
    EXPECT_EQ(rig.delegate->sessions().size(), 1u);

    // A start-session log made in the background neither gets the current
    // id nor counts as a log: the same stay now starts a new session.
    rig.clock->advance(20s);
    rig.background();
    rig.clock->advance(19s);
    auto start = std::make_shared<TLMStartSessionLog>();
    start->setSid("their-own");
    rig.tracker->channelPrepareLog(rig.unit, start);
    EXPECT_EQ(start->sid(), "their-own");
    rig.clock->advance(1s);
    rig.foreground();
    ASSERT_EQ(rig.delegate->sessions().size(), 2u);
    EXPECT_NE(rig.delegate->sessions()[1], current);
    EXPECT_EQ(rig.logNow(), rig.delegate->sessions()[1]);
}

TEST(TLMSessionTracker, ManualModeIsChosenBeforeStartAndStartsSessionsOnRequest) {
    TLMLogCapture capture;
    {
        TrackerRig rig(0);
        rig.tracker->startSession();
        EXPECT_TRUE(
            capture.hasMessage(TLMLogLevelInfo, "Can't start new session because manual session tracker is disabled."));
        rig.tracker->start();
        rig.tracker->enableManualSessionTracker();
        EXPECT_FALSE(rig.tracker->isManualSessionTrackerEnabled());
        EXPECT_TRUE(capture.hasMessage(
            TLMLogLevelInfo, "Manual session tracker should be set before the TLMAnalytics service is started."));
        rig.tracker->stop();
    }
    TrackerRig rig(0);
    rig.tracker->enableManualSessionTracker();
    EXPECT_TRUE(rig.tracker->isManualSessionTrackerEnabled());
    rig.tracker->start();  // nothing in manual mode
    EXPECT_TRUE(rig.delegate->sessions().empty());
    EXPECT_EQ(rig.logNow(), "");

    rig.tracker->startSession();
    ASSERT_EQ(rig.delegate->sessions().size(), 1u);
    EXPECT_EQ(rig.logNow(), rig.delegate->sessions()[0]);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelInfo, "Started a new session: " + rig.delegate->sessions()[0]));
    rig.tracker->applicationDidEnterBackground();
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelInfo,
                                   "Manual session tracker is enabled. Skip tracking a session status request after "
                                   "enter background."));
}

TEST(TLMSessionTracker, LogsStampedOnManyThreadsWhileTheApplicationComesAndGoes) {
    TrackerRig rig(0);
    rig.tracker->start();
    constexpr int kThreads = 4;
    constexpr int kLogs = 500;
    std::vector<std::thread> threads;
    std::atomic<int> unstamped{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kLogs; ++i) {
                if (rig.logNow().empty()) ++unstamped;
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        rig.background();
        rig.clock->setDate(rig.clock->now() + 21s);
        rig.foreground();
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(unstamped.load(), 0);
    // Every session announced is a distinct id.
    const std::vector<std::string> sessions = rig.delegate->sessions();
    EXPECT_EQ(std::set<std::string>(sessions.begin(), sessions.end()).size(), sessions.size());
}
