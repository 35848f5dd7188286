#pragma once
// The application object as the telemetry client asks for it. Its state is
// read from any thread (the crashes service asks from a background queue),
// so it is kept apart, in step with the application's state notifications;
// URLs go to the application itself, which the client calls on the main
// thread. Made on the main thread.

#include "platform/foundation/NotificationCenter.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {
class Application;
}

class VKMTelemetryApplication final : public TLMApplicationInterface {
public:
    explicit VKMTelemetryApplication(platform::ui::Application& application);

    // Makes one for `application` the telemetry client's application object.
    static void registerWithTelemetry(platform::ui::Application& application);

    // 0 active, 1 inactive, 2 in the background.
    long applicationState() override { return mState->load(); }
    bool canOpenURL(const std::string& url) override;
    void openURL(const std::string& url, std::function<void(bool)> completion) override;

private:
    platform::ui::Application& mApplication;
    // Shared with the observers: a post already under way may still reach
    // one after this object has gone.
    std::shared_ptr<std::atomic<long>> mState;
    std::vector<platform::NotificationCenter::ObserverToken> mObservers;
};
