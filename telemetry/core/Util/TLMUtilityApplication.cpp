// The application object and the kind of installation.

#include "platform/foundation/Bundle.h"
#include "telemetry/core/Util/TLMDispatcherUtil.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <filesystem>
#include <mutex>

namespace {

// Not one of the application's own states: a process without one.
constexpr long kNoApplicationState = 3;

std::mutex gApplicationMutex;
std::shared_ptr<TLMApplicationInterface> gApplication;

bool bundleHolds(const std::filesystem::path& relative) {
    const auto* bundle = platform::Bundle::main();
    std::error_code error;
    return bundle && std::filesystem::exists(bundle->resourcesPath() / relative, error);
}

}  // namespace

void TLMUtility::setSharedApp(std::shared_ptr<TLMApplicationInterface> application) {
    std::lock_guard lock(gApplicationMutex);
    gApplication = std::move(application);
}

std::shared_ptr<TLMApplicationInterface> TLMUtility::sharedApp() {
    std::lock_guard lock(gApplicationMutex);
    return gApplication;
}

long TLMUtility::applicationState() {
    const auto application = sharedApp();
    return application ? application->applicationState() : kNoApplicationState;
}

void TLMUtility::sharedAppOpenUrl(const std::string& url, std::function<void(long)> completionHandler) {
    const auto application = sharedApp();
    if (!application || !application->canOpenURL(url)) {
        if (completionHandler) completionHandler(2);
        return;
    }
    TLMDispatcherUtil::performBlockOnMainThread([application, url, completionHandler] {
        application->openURL(url, [completionHandler](bool opened) {
            if (completionHandler) completionHandler(opened ? 1 : 2);
        });
    });
}

bool TLMUtility::hasEmbeddedMobileProvision() { return bundleHolds("embedded.mobileprovision"); }

bool TLMUtility::isAppStoreReceiptSandbox() { return bundleHolds("StoreKit/sandboxReceipt"); }

long TLMUtility::currentAppEnvironment() {
    if (hasEmbeddedMobileProvision()) return 99;
    return isAppStoreReceiptSandbox() ? 1 : 0;
}
