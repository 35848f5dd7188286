#pragma once
// Cuts the application's use into sessions. A session starts when tracking
// starts in the foreground, and anew when the application comes back to the
// foreground after at least 20 seconds in the background with no log made
// for at least 20 seconds. Each session gets a random id, announced by a
// start-session log that goes to the delegate, and stamped as "sid" on every
// other log of the channel group. In manual mode only startSession begins
// sessions.
//
// Times are the platform clock's dates. The application's state changes
// come as the platform's notifications by name on the default centre.
//
// Threads: safe from any thread. Logs are stamped on the threads that
// enqueue them, the notifications come on the main thread; the times are
// kept under the tracker's lock. No other lock is taken while it is held,
// and the delegate is called without it.

#include "platform/foundation/NotificationCenter.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"
#include "telemetry/core/Context/TLMSessionContext.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class TLMSessionTracker;

class TLMSessionTrackerDelegate {
public:
    virtual ~TLMSessionTrackerDelegate() = default;
    // A start-session log to send.
    virtual void sessionTrackerProcessLog(TLMSessionTracker& sessionTracker,
                                          const std::shared_ptr<TLMAbstractLog>& log) = 0;
};

class TLMSessionTracker : public TLMChannelDelegate, public std::enable_shared_from_this<TLMSessionTracker> {
public:
    using Date = std::chrono::system_clock::time_point;

    static constexpr const char* kDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
    static constexpr const char* kWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";

    // Removes the obsolete "PastSessions" setting.
    TLMSessionTracker();

    void setDelegate(std::weak_ptr<TLMSessionTrackerDelegate> delegate);
    std::chrono::duration<double> sessionTimeout() const { return mSessionTimeout; }

    // Starts automatic tracking (not in manual mode): a session at once when
    // the application is active or inactive, and the application's
    // background and foreground notifications observed.
    void start();
    // Ends it: no more notifications, and no current session.
    void stop();
    bool isStarted() const;

    // Only before start; logged and ignored after.
    void enableManualSessionTracker();
    bool isManualSessionTrackerEnabled() const { return mManual.load(); }
    // In manual mode, a new session now; logged and ignored otherwise.
    void startSession();

    // A new session when tracking and none is current or the current one
    // has timed out.
    void renewSessionId();
    // The last log is at least the timeout old, and the application was, or
    // is, in the background at least as long.
    bool hasSessionTimedOut() const;

    void applicationDidEnterBackground();
    void applicationWillEnterForeground();

    // Stamps every log but start-session and start-service logs with the
    // current session (unless it keeps its own) and notes the time.
    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;

private:
    // A new session id made current, then its start-session log sent.
    void sendStartSession(const std::string& sessionId);
    std::string makeSessionCurrent();
    // In manual mode: logs that the change of state is not tracked.
    bool skippedInManualMode(const char* moment) const;

    const std::chrono::duration<double> mSessionTimeout{20.0};
    TLMSessionContext& mContext;
    std::atomic<bool> mManual{false};

    mutable std::recursive_mutex mLock;
    bool mStarted = false;
    std::optional<Date> mLastCreatedLogTime;
    std::optional<Date> mLastEnteredForegroundTime;
    std::optional<Date> mLastEnteredBackgroundTime;
    std::weak_ptr<TLMSessionTrackerDelegate> mDelegate;
    platform::NotificationCenter::ObserverToken mBackgroundObserver;
    platform::NotificationCenter::ObserverToken mForegroundObserver;
};
