#pragma once
// Scenes: controllers built in code with their outlets, cells, tags and
// recognisers, found by storyboard name and scene identifier. The module
// that owns a screen registers a factory for its scene (typically at start,
// from its own registration function); a caller instantiates it by name.
// A scene that is not registered, or whose factory makes nothing or a
// controller of another class than asked for, gives null: callers assert
// softly and show nothing.
//
// Registration and instantiation may come from any thread; factories run
// on the caller's, outside the registry's lock (so they may instantiate
// other scenes).

#include <functional>
#include <memory>
#include <string>

namespace platform::ui {

class ViewController;

class Storyboard {
public:
    using SceneFactory = std::function<std::shared_ptr<ViewController>()>;
    // The identifier of a storyboard's initial scene.
    static constexpr const char* kInitialSceneIdentifier = "Initial";

    // Replaces a scene of the same name and identifier.
    static void registerScene(const std::string& storyboard, const std::string& identifier, SceneFactory factory);
    static void removeScene(const std::string& storyboard, const std::string& identifier);

    // Null when no scene is registered under the name, as the platform's
    // lookup of a storyboard that is not in the bundle.
    static std::shared_ptr<Storyboard> named(const std::string& name);

    explicit Storyboard(std::string name) : mName(std::move(name)) {}
    const std::string& name() const { return mName; }

    // A new controller of the scene; null when there is none.
    std::shared_ptr<ViewController> instantiateViewController(const std::string& identifier) const;
    // The scene registered as kInitialSceneIdentifier; null when there is none.
    std::shared_ptr<ViewController> instantiateInitialViewController() const {
        return instantiateViewController(kInitialSceneIdentifier);
    }
    // Null also when the controller is not a T.
    template <typename T>
    std::shared_ptr<T> instantiateViewControllerAs(const std::string& identifier) const {
        return std::dynamic_pointer_cast<T>(instantiateViewController(identifier));
    }

private:
    std::string mName;
};

}  // namespace platform::ui
