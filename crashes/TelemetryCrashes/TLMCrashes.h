#pragma once
// The crashes service of the telemetry client, as far as the app starts it:
// its identity towards the client and the app's delegate. Capturing,
// processing and sending reports come later.

#include "telemetry/TLMServiceAbstract.h"

#include <memory>
#include <mutex>
#include <string>

class TLMCrashesDelegate;

class TLMCrashes : public TLMServiceAbstract {
public:
    static TLMCrashes& sharedInstance();

    // The app's delegate, held weakly; any thread.
    static void setDelegate(std::weak_ptr<TLMCrashesDelegate> delegate);
    static std::shared_ptr<TLMCrashesDelegate> delegate();

    std::string serviceName() const override { return "Crashes"; }
    std::string logTag() const override { return "TelemetryCrashes"; }
    // Started before the services of default priority.
    int initializationPriority() const override { return 999; }

private:
    TLMCrashes() : TLMServiceAbstract("Crashes") {}

    mutable std::mutex mDelegateMutex;
    std::weak_ptr<TLMCrashesDelegate> mDelegate;
};
