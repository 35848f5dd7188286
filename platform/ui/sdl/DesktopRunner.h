#pragma once
// Runs an application main in a desktop window: the SDL window opens when
// the main window is prepared and the loop runs until it is closed or the
// loop is stopped (ApplicationMainRequestEnd, SIGTERM).

#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/sdl/DesktopWindow.h"

#include <memory>

namespace platform::ui::sdl {

class DesktopRunner : public ApplicationRunner {
public:
    explicit DesktopRunner(DesktopOptions options) : mOptions(std::move(options)) {}
    // Throws DesktopError when SDL cannot open a window.
    void prepare(const std::shared_ptr<Window>& window) override {
        mDesktop = std::make_unique<DesktopWindow>(window, mOptions);
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
