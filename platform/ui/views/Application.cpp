#include "platform/ui/views/Application.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/ApplicationDelegate.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/core/detail/MainLoop.h"

#include <algorithm>
#include <cctype>

namespace platform::ui {

Application& Application::sharedApplication() {
    static Application* application = new Application();  // lives as long as the process
    return *application;
}

void Application::setApplicationState(ApplicationState state) {
    auto step = [this](ApplicationState next, const char* notification) {
        mState = next;
        NotificationCenter::defaultCenter().postNotificationName(notification, this);
    };
    while (mState != state) {
        switch (mState) {
            case ApplicationState::active:
                step(ApplicationState::inactive, kApplicationWillResignActiveNotification);
                break;
            case ApplicationState::inactive:
                if (state == ApplicationState::active) {
                    step(ApplicationState::active, kApplicationDidBecomeActiveNotification);
                } else {
                    step(ApplicationState::background, kApplicationDidEnterBackgroundNotification);
                }
                break;
            case ApplicationState::background:
                step(ApplicationState::inactive, kApplicationWillEnterForegroundNotification);
                break;
        }
    }
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
    std::vector<std::shared_ptr<Window>> live;
    for (const auto& weak : mWindows) {
        if (auto window = weak.lock()) live.push_back(std::move(window));
    }
    return live;
}

void Application::addWindow(const std::shared_ptr<Window>& window) {
    mWindows.erase(std::remove_if(mWindows.begin(), mWindows.end(), [](const auto& w) { return w.expired(); }),
                   mWindows.end());
    for (const auto& weak : mWindows) {
        if (weak.lock() == window) return;
    }
    mWindows.push_back(window);
}

void Application::windowBecameKey(const std::shared_ptr<Window>& window) {
    const auto previous = mKeyWindow.lock();
    if (previous == window) return;
    if (previous) previous->resignKeyWindow();
    mKeyWindow = window;
    window->becomeKeyWindow();
}

bool Application::canOpenURL(const std::string& url) const {
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    return std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

void Application::openURL(const std::string& url, std::function<void(bool)> completion) {
    mOpenedURLs.push_back(url);
    bool opened = canOpenURL(url);
    if (opened && mURLOpener) opened = mURLOpener(url);
    if (completion) detail::postToMain([completion = std::move(completion), opened] { completion(opened); });
}

void Application::clearRecords() {
    mOpenedURLs.clear();
    mHaptics.clear();
    mSounds.clear();
}

bool Application::finishLaunching(const Value& launchOptions) {
    // Held for the call: the delegate may replace itself.
    const auto delegate = mDelegate;
    const bool answer = delegate ? delegate->applicationDidFinishLaunchingWithOptions(*this, launchOptions) : true;
    NotificationCenter::defaultCenter().postNotificationName(kApplicationDidFinishLaunchingNotification, this);
    return answer;
}

bool Application::handleOpenURL(const std::filesystem::path& url, const Value& options) {
    const auto delegate = mDelegate;
    return delegate ? delegate->applicationOpenURL(*this, url, options) : false;
}

void Application::terminate() {
    if (mTerminated) return;
    mTerminated = true;
    if (const auto delegate = mDelegate) delegate->applicationWillTerminate(*this);
    NotificationCenter::defaultCenter().postNotificationName(kApplicationWillTerminateNotification, this);
}

void Application::resetLifeCycle() {
    mDelegate.reset();
    mTerminated = false;
}

void Application::receiveMemoryWarning() {
    if (const auto delegate = mDelegate) delegate->applicationDidReceiveMemoryWarning(*this);
    NotificationCenter::defaultCenter().postNotificationName(kApplicationDidReceiveMemoryWarningNotification, this);
    if (const auto* controllers = detail::controllerBridge()) controllers->sendMemoryWarning();
}

}  // namespace platform::ui
