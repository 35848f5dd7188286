#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace platform {

struct NotificationCenter::Observer {
    Observer(std::optional<std::string> name, const void* object, Block block)
        : name(std::move(name)), object(object), block(std::move(block)) {}

    bool wants(const Notification& notification) const {
        return (!name || *name == notification.name()) && (object == nullptr || object == notification.object());
    }

    const std::optional<std::string> name;
    const void* const object;
    const Block block;
    // Set under the centre's mutex; read without it by posts that hold an
    // older list.
    std::atomic<bool> removed{false};
};

// The observers in registration order. The list is never changed in place:
// adding or removing makes a new one, so a post walks the list it took
// without holding the mutex while blocks run.
struct NotificationCenter::State {
    using List = std::vector<std::shared_ptr<Observer>>;

    void remove(const std::shared_ptr<Observer>& observer) {
        std::lock_guard lock(mutex);
        if (observer->removed.exchange(true)) return;
        auto next = std::make_shared<List>();
        next->reserve(observers->size());
        std::copy_if(observers->begin(), observers->end(), std::back_inserter(*next),
                     [&](const std::shared_ptr<Observer>& o) { return o != observer; });
        observers = std::move(next);
    }

    std::mutex mutex;
    std::shared_ptr<const List> observers = std::make_shared<List>();
};

NotificationCenter::ObserverToken& NotificationCenter::ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        remove();
        mCenter = std::move(other.mCenter);
        mObserver = std::move(other.mObserver);
    }
    return *this;
}

NotificationCenter::ObserverToken::~ObserverToken() { remove(); }

bool NotificationCenter::ObserverToken::isActive() const { return mObserver && !mObserver->removed.load(); }

void NotificationCenter::ObserverToken::remove() {
    if (!mObserver) return;
    if (auto state = mCenter.lock()) {
        state->remove(mObserver);
    } else {
        mObserver->removed.store(true);
    }
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::NotificationCenter() : mState(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() {
    std::lock_guard lock(mState->mutex);
    for (const auto& observer : *mState->observers) observer->removed.store(true);
}

NotificationCenter::ObserverToken NotificationCenter::addObserverForName(std::optional<std::string> name,
                                                                         const void* object, Block block) {
    auto observer = std::make_shared<Observer>(std::move(name), object, std::move(block));
    std::lock_guard lock(mState->mutex);
    auto next = std::make_shared<State::List>(*mState->observers);
    next->push_back(observer);
    mState->observers = std::move(next);
    return ObserverToken(mState, std::move(observer));
}

void NotificationCenter::removeObserver(const ObserverToken& token) {
    if (!token.mObserver || token.mCenter.lock() != mState) return;
    mState->remove(token.mObserver);
}

void NotificationCenter::postNotificationName(std::string name, const void* object, Value userInfo) {
    postNotification(Notification(std::move(name), object, std::move(userInfo)));
}

void NotificationCenter::postNotification(const Notification& notification) {
    std::shared_ptr<const State::List> observers;
    {
        std::lock_guard lock(mState->mutex);
        observers = mState->observers;
    }
    for (const auto& observer : *observers) {
        // Checked at each call, so a removal made by an earlier block (or
        // another thread) takes effect within this post.
        if (observer->wants(notification) && !observer->removed.load()) observer->block(notification);
    }
}

}  // namespace platform
