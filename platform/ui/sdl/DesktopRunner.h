#pragma once
// Runs an application main in a desktop window: the SDL window opens when
// the main window is prepared and the loop runs until it is closed or the
// loop is stopped (ApplicationMainRequestEnd, SIGTERM). While the window is
// open the pasteboard is mirrored to the desktop's clipboard and URLs the
// app opens go to the desktop's handler.

#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/sdl/DesktopClipboard.h"
#include "platform/ui/sdl/DesktopPrograms.h"
#include "platform/ui/sdl/DesktopWindow.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Pasteboard.h"

#include <memory>

namespace platform::ui::sdl {

class DesktopRunner : public ApplicationRunner {
public:
    explicit DesktopRunner(DesktopOptions options) : mOptions(std::move(options)) {}
    ~DesktopRunner() override {
        if (!mDesktop) return;
        // Before SDL's video goes with the window.
        Pasteboard::generalPasteboard().setSystemClipboard(nullptr);
        Application::sharedApplication().setURLOpener({});
    }
    DesktopRunner(const DesktopRunner&) = delete;
    DesktopRunner& operator=(const DesktopRunner&) = delete;
    // Throws DesktopError when SDL cannot open a window.
    void prepare(const std::shared_ptr<Window>& window) override {
        mDesktop = std::make_unique<DesktopWindow>(window, mOptions);
        Pasteboard::generalPasteboard().setSystemClipboard(std::make_shared<DesktopClipboard>());
        Application::sharedApplication().setURLOpener(&openURLOnDesktop);
    }
    void run(const std::shared_ptr<Window>& window) override {
        (void)window;
        if (mDesktop) mDesktop->run();
    }
    DesktopWindow* desktop() const { return mDesktop.get(); }

private:
    DesktopOptions mOptions;
    std::unique_ptr<DesktopWindow> mDesktop;
};

}  // namespace platform::ui::sdl
