#pragma once
// What the application tells the app about its life: launch, a document
// handed in by another app, the end, and memory running low. The app
// implements it once; the application main makes the window from the main
// storyboard, gives it to the delegate and then launches. Main thread only.

#include "platform/foundation/Value.h"

#include <filesystem>
#include <memory>

namespace platform::ui {

class Application;
class Window;

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // The main window, set before launch.
    virtual std::shared_ptr<Window> window() const = 0;
    virtual void setWindow(std::shared_ptr<Window> window) = 0;

    // Once, before the window is shown. False means the launch options
    // could not be handled (the application goes on all the same).
    virtual bool applicationDidFinishLaunchingWithOptions(Application& application, const Value& launchOptions) {
        (void)application, (void)launchOptions;
        return true;
    }
    // A file another app hands to this one; true when it was taken.
    virtual bool applicationOpenURL(Application& application, const std::filesystem::path& url, const Value& options) {
        (void)application, (void)url, (void)options;
        return false;
    }
    // Once, as the process is about to end cleanly.
    virtual void applicationWillTerminate(Application& application) { (void)application; }
    virtual void applicationDidReceiveMemoryWarning(Application& application) { (void)application; }
};

}  // namespace platform::ui
