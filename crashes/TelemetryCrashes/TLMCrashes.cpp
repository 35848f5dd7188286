#include "crashes/TelemetryCrashes/TLMCrashes.h"

TLMCrashes& TLMCrashes::sharedInstance() {
    // Never destroyed: the client's queues may reach it while the process ends.
    static TLMCrashes* instance = new TLMCrashes();
    return *instance;
}

void TLMCrashes::setDelegate(std::weak_ptr<TLMCrashesDelegate> delegate) {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mDelegateMutex);
    crashes.mDelegate = std::move(delegate);
}

std::shared_ptr<TLMCrashesDelegate> TLMCrashes::delegate() {
    TLMCrashes& crashes = sharedInstance();
    std::lock_guard guard(crashes.mDelegateMutex);
    return crashes.mDelegate.lock();
}
