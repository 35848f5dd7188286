#include "app/Utilities/System/QLNotificationObserverTracker.h"

#include "engine/services/Logger.h"
#include "engine/services/ZDUtils.h"

namespace {

// The debug switch of the tracker's own lines.
constexpr int kTrackerDebugFlag = 16;

}  // namespace

QLNotificationObserverTracker::~QLNotificationObserverTracker() { removeObservers(); }

bool QLNotificationObserverTracker::observeNotification(const std::string& name, Block block) {
    if (name.empty() || !block) {
        ZDUtils::logWarning("QLNotificationObserverTracker: refused an observer %s",
                            name.empty() ? "without a notification name" : "without a block");
        return false;
    }
    auto& center = platform::NotificationCenter::defaultCenter();
    // The old observer goes before the new one comes, so one post never reaches both.
    if (auto kept = mNotificationObservers.find(name); kept != mNotificationObservers.end()) {
        center.removeObserver(kept->second);
        mNotificationObservers.erase(kept);
    }
    mNotificationObservers.emplace(name, center.addObserverForName(name, nullptr, std::move(block)));
    return true;
}

bool QLNotificationObserverTracker::observeNotifications(const std::vector<std::string>& names, const Block& block) {
    bool all = true;
    for (const std::string& name : names) all = observeNotification(name, block) && all;
    return all;
}

void QLNotificationObserverTracker::removeObserverForName(const std::string& name) {
    auto kept = mNotificationObservers.find(name);
    if (kept == mNotificationObservers.end()) return;
    platform::NotificationCenter::defaultCenter().removeObserver(kept->second);
    mNotificationObservers.erase(kept);
    if (CDebugFlags::Get().IsOn(kTrackerDebugFlag)) {
        ZDUtils::logDebug("<QLNotificationObserverTracker: %p>  1 observer released", static_cast<const void*>(this));
    }
}

void QLNotificationObserverTracker::removeObservers() {
    const std::size_t count = mNotificationObservers.size();
    auto& center = platform::NotificationCenter::defaultCenter();
    for (const auto& [name, token] : mNotificationObservers) center.removeObserver(token);
    if (CDebugFlags::Get().IsOn(kTrackerDebugFlag)) {
        ZDUtils::logDebug("<QLNotificationObserverTracker: %p>  %d observers released", static_cast<const void*>(this),
                          static_cast<int>(count));
    }
    mNotificationObservers.clear();
}
