#pragma once
// Named notifications between parts of the app that do not know each other.
// A notification carries a name, the identity of its poster (the object) and
// a user info value. Observers are blocks; they run on the posting thread,
// synchronously and in the order they were added.
//
// Threads: adding, removing and posting are safe from any thread. A post
// calls the observers registered when it began; one added during a post is
// called from the next post on. An observer removed during a post (by
// itself, another block or another thread) is not called once its removal
// has returned; a call that had already begun may still run to its end on
// the posting thread, so a block that may outlive its owner holds the owner
// weakly.

#include "platform/foundation/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class Notification {
public:
    Notification(std::string name, const void* object, Value userInfo)
        : mName(std::move(name)), mObject(object), mUserInfo(std::move(userInfo)) {}

    const std::string& name() const { return mName; }
    // The poster's identity (an address it chose, or nullptr); never
    // dereferenced here, and the poster may be gone by the time an observer
    // reads it.
    const void* object() const { return mObject; }
    const Value& userInfo() const { return mUserInfo; }

private:
    std::string mName;
    const void* mObject;
    Value mUserInfo;
};

class NotificationCenter {
    struct Observer;
    struct State;

public:
    using Block = std::function<void(const Notification&)>;

    // What addObserverForName returns. Move-only: letting go of a token
    // (destroying it, or assigning another over it) removes its observer,
    // so a forgotten token never leaves a block behind. An empty token
    // (default-made or moved from) observes nothing.
    class ObserverToken {
    public:
        ObserverToken() = default;
        ObserverToken(ObserverToken&& other) noexcept = default;
        ObserverToken& operator=(ObserverToken&& other) noexcept;
        ~ObserverToken();

        // True while its observer is registered.
        bool isActive() const;

    private:
        friend class NotificationCenter;
        ObserverToken(std::weak_ptr<State> center, std::shared_ptr<Observer> observer)
            : mCenter(std::move(center)), mObserver(std::move(observer)) {}
        void remove();

        std::weak_ptr<State> mCenter;
        std::shared_ptr<Observer> mObserver;
    };

    // The process-wide centre the app's parts meet through.
    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Calls `block` for every notification of `name` (every name when
    // nullopt) posted with `object` (any object when nullptr).
    [[nodiscard]] ObserverToken addObserverForName(std::optional<std::string> name, const void* object, Block block);

    // Removes the token's observer; nothing when it was removed before or
    // belongs to another centre. The token stays, inactive.
    void removeObserver(const ObserverToken& token);

    void postNotificationName(std::string name, const void* object, Value userInfo = Value());
    void postNotification(const Notification& notification);

private:
    std::shared_ptr<State> mState;
};

}  // namespace platform
