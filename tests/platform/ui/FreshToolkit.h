#pragma once
// The toolkit's process-wide objects as a new process has them, for the
// resets after each test of the programs that show screens: a phone held
// upright, only the main screen at its default size, an active
// application with no delegate, URL opener or records, the default status
// bar. Windows go with the test that held them.

#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"

namespace testsupport {

inline void ResetToolkit() {
    using namespace platform::ui;
    Device& device = Device::currentDevice();
    device.setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    device.setOrientation(DeviceOrientation::portrait);
    const auto main = Screen::mainScreen();
    for (const auto& screen : Screen::screens()) {
        if (screen != main) Screen::disconnectScreen(screen);
    }
    main->setSize(Screen::kDefaultSize);
    main->setScale(Screen::kDefaultScale);
    Application& application = Application::sharedApplication();
    application.setApplicationState(ApplicationState::active);
    application.setStatusBarStyle(StatusBarStyle::defaultStyle);
    application.setURLOpener({});
    application.resetLifeCycle();
    application.clearRecords();
}

}  // namespace testsupport
