#include "telemetry/TelemetryAnalytics/Internals/Session/TLMSessionTracker.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMStartSessionLog.h"
#include "telemetry/core/Model/TLMNoAutoAssignSessionIdLog.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

namespace {

// The application states below this one have the application on screen.
constexpr long kApplicationStateBackground = 2;

TLMSessionTracker::Date now() { return platform::Clock::shared()->now(); }

}  // namespace

TLMSessionTracker::TLMSessionTracker() : mContext(TLMSessionContext::sharedInstance()) {
    TLMTelemetryUserDefaults::shared().removeObjectForKey("PastSessions");
}

void TLMSessionTracker::setDelegate(std::weak_ptr<TLMSessionTrackerDelegate> delegate) {
    std::lock_guard lock(mLock);
    mDelegate = std::move(delegate);
}

bool TLMSessionTracker::isStarted() const {
    std::lock_guard lock(mLock);
    return mStarted;
}

void TLMSessionTracker::start() {
    {
        std::lock_guard lock(mLock);
        if (mStarted || mManual) return;
        mStarted = true;
        std::weak_ptr<TLMSessionTracker> weakSelf = weak_from_this();
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
        mBackgroundObserver =
            center.addObserverForName(kDidEnterBackgroundNotification, nullptr, [weakSelf](const auto&) {
                if (auto self = weakSelf.lock()) self->applicationDidEnterBackground();
            });
        mForegroundObserver =
            center.addObserverForName(kWillEnterForegroundNotification, nullptr, [weakSelf](const auto&) {
                if (auto self = weakSelf.lock()) self->applicationWillEnterForeground();
            });
    }
    if (TLMUtility::applicationState() < kApplicationStateBackground) renewSessionId();
}

void TLMSessionTracker::stop() {
    std::lock_guard lock(mLock);
    if (!mStarted || mManual) return;
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(mBackgroundObserver);
    center.removeObserver(mForegroundObserver);
    mStarted = false;
    mContext.setSessionId(std::nullopt);
}

void TLMSessionTracker::enableManualSessionTracker() {
    std::lock_guard lock(mLock);
    if (mStarted) {
        TLMLogInfo(kTLMAnalyticsLogTag,
                   "Manual session tracker should be set before the TLMAnalytics service is started.");
        return;
    }
    mManual = true;
    TLMLogInfo(kTLMAnalyticsLogTag, "Manual session tracker is enabled.");
}

void TLMSessionTracker::startSession() {
    if (!mManual) {
        TLMLogInfo(kTLMAnalyticsLogTag, "Can't start new session because manual session tracker is disabled.");
        return;
    }
    std::string sessionId;
    {
        std::lock_guard lock(mLock);
        sessionId = makeSessionCurrent();
    }
    sendStartSession(sessionId);
    TLMLogInfo(kTLMAnalyticsLogTag, "Started a new session: %s", sessionId.c_str());
}

void TLMSessionTracker::renewSessionId() {
    std::string sessionId;
    {
        // The test and the new id under one hold, so that racing renewals
        // make one session.
        std::lock_guard lock(mLock);
        if (!mStarted || (mContext.sessionId() && !hasSessionTimedOut())) return;
        sessionId = makeSessionCurrent();
    }
    sendStartSession(sessionId);
}

std::string TLMSessionTracker::makeSessionCurrent() {
    std::string sessionId = TLMNewUuidString();
    mContext.setSessionId(sessionId);
    TLMLogInfo(kTLMAnalyticsLogTag, "New session ID: %s", sessionId.c_str());
    return sessionId;
}

void TLMSessionTracker::sendStartSession(const std::string& sessionId) {
    std::shared_ptr<TLMSessionTrackerDelegate> delegate;
    {
        std::lock_guard lock(mLock);
        delegate = mDelegate.lock();
    }
    if (!delegate) return;
    auto log = std::make_shared<TLMStartSessionLog>();
    log->setSid(sessionId);
    delegate->sessionTrackerProcessLog(*this, log);
}

bool TLMSessionTracker::hasSessionTimedOut() const {
    std::lock_guard lock(mLock);
    const Date current = now();
    const bool noLogForLong = !mLastCreatedLogTime || current - *mLastCreatedLogTime >= mSessionTimeout;
    const bool inBackgroundForLong = mLastEnteredBackgroundTime && mLastEnteredForegroundTime &&
                                     *mLastEnteredBackgroundTime > *mLastEnteredForegroundTime &&
                                     current - *mLastEnteredBackgroundTime >= mSessionTimeout;
    const bool wasInBackgroundForLong =
        mLastEnteredBackgroundTime &&
        mLastEnteredForegroundTime.value_or(*mLastEnteredBackgroundTime) - *mLastEnteredBackgroundTime >=
            mSessionTimeout;
    return noLogForLong && (inBackgroundForLong || wasInBackgroundForLong);
}

bool TLMSessionTracker::skippedInManualMode(const char* moment) const {
    if (!mManual) return false;
    const std::string when = moment;
    TLMLogInfo(kTLMAnalyticsLogTag,
               "Manual session tracker is enabled. Skip tracking a session status request after enter %s.",
               when.c_str());
    return true;
}

void TLMSessionTracker::applicationDidEnterBackground() {
    if (skippedInManualMode("background")) return;
    std::lock_guard lock(mLock);
    mLastEnteredBackgroundTime = now();
}

void TLMSessionTracker::applicationWillEnterForeground() {
    if (skippedInManualMode("foreground")) return;
    {
        std::lock_guard lock(mLock);
        mLastEnteredForegroundTime = now();
    }
    renewSessionId();
}

void TLMSessionTracker::channelPrepareLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>& log) {
    if (!log || dynamic_cast<const TLMStartSessionLog*>(log.get()) != nullptr ||
        dynamic_cast<const TLMStartServiceLog*>(log.get()) != nullptr) {
        return;
    }
    if (dynamic_cast<const TLMNoAutoAssignSessionIdLog*>(log.get()) == nullptr) {
        log->setSid(mContext.sessionId().value_or(""));
    }
    std::lock_guard lock(mLock);
    mLastCreatedLogTime = now();
}
