#pragma once
// Keeps an owner's observers of the default notification centre, one per
// notification name, and removes them all when it goes: an owner that drops
// its tracker hears nothing more. Registering a name again replaces (and so
// removes) the observer kept for it. Main thread; the blocks run on the
// posting thread.

#include "platform/foundation/NotificationCenter.h"

#include <map>
#include <string>
#include <vector>

class QLNotificationObserverTracker {
public:
    using Block = platform::NotificationCenter::Block;

    QLNotificationObserverTracker() = default;
    ~QLNotificationObserverTracker();
    QLNotificationObserverTracker(const QLNotificationObserverTracker&) = delete;
    QLNotificationObserverTracker& operator=(const QLNotificationObserverTracker&) = delete;

    // Observes `name` from any poster. An empty name (which would observe
    // every notification) or an empty block is refused with a warning and
    // changes nothing: false.
    bool observeNotification(const std::string& name, Block block);
    // The same block for each name, in order; false when any was refused.
    bool observeNotifications(const std::vector<std::string>& names, const Block& block);

    void removeObserverForName(const std::string& name);
    void removeObservers();

    const std::map<std::string, platform::NotificationCenter::ObserverToken>& notificationObservers() const {
        return mNotificationObservers;
    }

private:
    std::map<std::string, platform::NotificationCenter::ObserverToken> mNotificationObservers;
};
