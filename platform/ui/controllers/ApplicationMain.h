#pragma once
// The application main: makes the main window with the main storyboard's
// initial scene as its root controller, launches the app's delegate, shows
// the window, hands in a document when one was given, and runs the main
// run loop until the app is to end; then the global queues close (waiting
// up to 3 s for the blocks running there) and the delegate hears that it
// terminates. How the loop runs (headless, or in a desktop window) is the
// runner's business.
//
// Signals: SIGTERM and SIGINT end the loop cleanly (the delegate hears
// applicationWillTerminate); SIGUSR1 is a memory warning. They are blocked
// in the calling thread and the threads it starts afterwards, and taken by
// a thread of their own that hands them to the main loop; the previous
// mask is restored when the main returns.
//
// Call it once, on the main thread, before other threads are started.

#include "platform/foundation/Value.h"
#include "platform/ui/views/Device.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

class ApplicationDelegate;
class Window;

struct ApplicationMainOptions {
    // The storyboard whose initial scene is the main window's root.
    std::string mainStoryboard = "Main";
    Value launchOptions;
    // A document handed in at start, as another app would hand it.
    std::optional<std::filesystem::path> openURL;
};

// Runs the main loop in some face.
class ApplicationRunner {
public:
    virtual ~ApplicationRunner() = default;
    // Before the window gets its root controller: device, screen and the
    // window's frame.
    virtual void prepare(const std::shared_ptr<Window>& window) = 0;
    // After launch, with the window shown: runs the main loop until it is
    // stopped (or the runner's own end, such as a closed window).
    virtual void run(const std::shared_ptr<Window>& window) = 0;
};

// No display: the main loop on the real clock until it is stopped.
class HeadlessRunner : public ApplicationRunner {
public:
    explicit HeadlessRunner(UserInterfaceIdiom idiom = UserInterfaceIdiom::phone) : mIdiom(idiom) {}
    void prepare(const std::shared_ptr<Window>& window) override;
    void run(const std::shared_ptr<Window>& window) override;

private:
    UserInterfaceIdiom mIdiom;
};

// The exit status: 0, or 1 when the main storyboard has no initial scene
// (the app is launched with an empty window all the same).
int ApplicationMain(std::shared_ptr<ApplicationDelegate> delegate, const ApplicationMainOptions& options,
                    ApplicationRunner& runner);

// Ends a running application main as SIGTERM does; from any thread.
void ApplicationMainRequestEnd();

}  // namespace platform::ui
