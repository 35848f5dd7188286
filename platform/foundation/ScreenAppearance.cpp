#include "platform/foundation/ScreenAppearance.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform {

namespace {

using Observer = std::function<void(const std::string&)>;
using Observers = std::vector<Observer>;

struct Registry {
    std::mutex mutex;
    // Replaced on every addition, so a notification walks the list it found
    // without holding the lock.
    std::shared_ptr<const Observers> observers = std::make_shared<const Observers>();
};

Registry& registry() {
    static auto* shared = new Registry();  // lives as long as the process
    return *shared;
}

}  // namespace

void addScreenWillAppearObserver(Observer observer) {
    if (!observer) return;
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    auto updated = std::make_shared<Observers>(*shared.observers);
    updated->push_back(std::move(observer));
    shared.observers = std::move(updated);
}

void notifyScreenWillAppear(const std::string& className) {
    std::shared_ptr<const Observers> observers;
    {
        Registry& shared = registry();
        std::lock_guard lock(shared.mutex);
        observers = shared.observers;
    }
    for (const Observer& observer : *observers) observer(className);
}

}  // namespace platform
