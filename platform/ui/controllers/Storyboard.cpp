#include "platform/ui/controllers/Storyboard.h"

#include <map>
#include <mutex>
#include <utility>

namespace platform::ui {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, Storyboard::SceneFactory> scenes;
};

Registry& registry() {
    static Registry shared;
    return shared;
}

}  // namespace

void Storyboard::registerScene(const std::string& storyboard, const std::string& identifier, SceneFactory factory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (factory) {
        r.scenes[{storyboard, identifier}] = std::move(factory);
    } else {
        r.scenes.erase({storyboard, identifier});
    }
}

void Storyboard::removeScene(const std::string& storyboard, const std::string& identifier) {
    registerScene(storyboard, identifier, nullptr);
}

std::shared_ptr<Storyboard> Storyboard::named(const std::string& name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto first = r.scenes.lower_bound({name, std::string{}});
    if (first == r.scenes.end() || first->first.first != name) return nullptr;
    return std::make_shared<Storyboard>(name);
}

std::shared_ptr<ViewController> Storyboard::instantiateViewController(const std::string& identifier) const {
    SceneFactory factory;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const auto found = r.scenes.find({mName, identifier});
        if (found == r.scenes.end()) return nullptr;
        factory = found->second;
    }
    return factory();
}

}  // namespace platform::ui
