#include "app/Utilities/System/VKMTelemetryApplication.h"

#include "platform/ui/views/Application.h"
#include "platform/ui/views/Notifications.h"

namespace {

long stateNumber(platform::ui::ApplicationState state) {
    switch (state) {
        case platform::ui::ApplicationState::active: return 0;
        case platform::ui::ApplicationState::inactive: return 1;
        case platform::ui::ApplicationState::background: return 2;
    }
    return 0;
}

}  // namespace

VKMTelemetryApplication::VKMTelemetryApplication(platform::ui::Application& application)
    : mApplication(application),
      mState(std::make_shared<std::atomic<long>>(stateNumber(application.applicationState()))) {
    // The application changes its state before it posts, on the main thread.
    auto& center = platform::NotificationCenter::defaultCenter();
    for (const char* name : {platform::ui::kApplicationWillResignActiveNotification,
                             platform::ui::kApplicationDidEnterBackgroundNotification,
                             platform::ui::kApplicationWillEnterForegroundNotification,
                             platform::ui::kApplicationDidBecomeActiveNotification}) {
        mObservers.push_back(center.addObserverForName(name, &application,
                                                       [state = mState, &application](const platform::Notification&) {
                                                           state->store(stateNumber(application.applicationState()));
                                                       }));
    }
}

void VKMTelemetryApplication::registerWithTelemetry(platform::ui::Application& application) {
    TLMUtility::setSharedApp(std::make_shared<VKMTelemetryApplication>(application));
}

bool VKMTelemetryApplication::canOpenURL(const std::string& url) { return mApplication.canOpenURL(url); }

void VKMTelemetryApplication::openURL(const std::string& url, std::function<void(bool)> completion) {
    mApplication.openURL(url, std::move(completion));
}
