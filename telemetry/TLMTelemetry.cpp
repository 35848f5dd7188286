#include "telemetry/TLMTelemetry.h"

#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/Internals/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMServiceAbstract.h"

#include <algorithm>

namespace {

const char* const kTelemetryIsEnabledKey = "TelemetryIsEnabled";

// A secret is one printable token: no blanks, no control bytes.
bool isWellFormedAppSecret(const std::string& appSecret) {
    if (appSecret.empty()) return false;
    return std::none_of(appSecret.begin(), appSecret.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

}  // namespace

TLMTelemetry::TLMTelemetry() {
    // Settings of earlier releases under their new keys.
    TLMTelemetryUserDefaults::shared().migrateKeys(
        {
            {"TLTelemetryChannelStartTimer", TLMUserDefaultsPrefixKey("TLChannelStartTimer")},
            {"TLTelemetryPastDevices", "pastDevicesKey"},
            {"TLTelemetryInstallId", "TLInstallId"},
            {"TLTelemetryTelemetryIsEnabled", "TLTelemetryIsEnabled"},
            {"TLTelemetryEncryptionKeyMetadata", "TLEncryptionKeyMetadata"},
            {"TLTelemetrySessionIdHistory", "SessionIdHistory"},
            {"TLTelemetryUserIdHistory", "UserIdHistory"},
        },
        "Telemetry");
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
}

TLMTelemetry& TLMTelemetry::sharedInstance() {
    static TLMTelemetry instance;
    return instance;
}

std::string TLMTelemetry::logTag() { return "Telemetry"; }

void TLMTelemetry::start(const std::string& appSecret, const std::vector<TLMServiceClass>& services) {
    TLMTelemetry& client = sharedInstance();
    std::lock_guard guard(client.mLock);
    if (!client.configureWithAppSecret(appSecret)) return;

    std::vector<TLMServiceAbstract*> instances;
    for (const TLMServiceClass& serviceClass : services) {
        if (!serviceClass) {
            TLMLogError(logTag(), "Cannot start a service that is null.");
            continue;
        }
        instances.push_back(&serviceClass());
    }
    std::stable_sort(instances.begin(), instances.end(), [](TLMServiceAbstract* a, TLMServiceAbstract* b) {
        return a->initializationPriority() > b->initializationPriority();
    });
    for (TLMServiceAbstract* service : instances) client.startService(*service);
}

bool TLMTelemetry::configureWithAppSecret(const std::string& appSecret) {
    if (mSdkConfigured) {
        if (mAppSecret != appSecret) {
            TLMLogWarning(logTag(), "The client is configured already; the new app secret is ignored.");
        }
        return true;
    }
    if (!isWellFormedAppSecret(appSecret)) {
        TLMLogError(logTag(), "App secret is empty or malformed; the client is not configured.");
        return false;
    }
    // The app's own choice of level wins; otherwise warnings and errors show.
    if (!TLMLogger::isUserDefinedLogLevel()) TLMLogger::setCurrentLogLevel(TLMLogLevelWarning);
    mAppSecret = appSecret;
    mChannelGroup = std::make_shared<TLMChannelGroupDefault>();
    mSdkConfigured = true;
    TLMLogInfo(logTag(), "Telemetry client configured successfully.");
    return true;
}

void TLMTelemetry::startService(TLMServiceAbstract& service) {
    const std::string name = service.serviceName();
    if (std::find(mServices.begin(), mServices.end(), &service) != mServices.end() || service.started()) {
        TLMLogWarning(logTag(), "%s service has already been started.", name.c_str());
        return;
    }
    service.startWithChannelGroup(mChannelGroup, mAppSecret, std::nullopt, true);
    mServices.push_back(&service);
    // A client switched off keeps its services off.
    if (!isInstanceEnabled()) service.setInstanceEnabled(false);
    TLMLogInfo(logTag(), "%s service started from application.", name.c_str());
}

bool TLMTelemetry::isEnabled() {
    const TLMTelemetry& client = sharedInstance();
    return client.isSdkConfigured() && client.isInstanceEnabled();
}

void TLMTelemetry::setEnabled(bool isEnabled) {
    TLMTelemetry& client = sharedInstance();
    std::lock_guard guard(client.mLock);
    if (!client.canBeUsed()) return;
    client.setInstanceEnabled(isEnabled);
}

bool TLMTelemetry::canBeUsed() const {
    if (isSdkConfigured()) return true;
    TLMLogError(logTag(),
                "Telemetry hasn't been configured. You need to call [TLMTelemetry start:YOUR_APP_SECRET "
                "withServices:LIST_OF_SERVICES] first.");
    return false;
}

bool TLMTelemetry::isInstanceEnabled() const {
    return TLMTelemetryUserDefaults::shared().boolForKey(kTelemetryIsEnabledKey, true);
}

void TLMTelemetry::setInstanceEnabled(bool isEnabled) {
    if (isEnabled == isInstanceEnabled()) return;
    mEnabledStateUpdating = true;
    for (TLMServiceAbstract* service : mServices) service->setInstanceEnabled(isEnabled);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(isEnabled), kTelemetryIsEnabledKey);
    mEnabledStateUpdating = false;
    TLMLogInfo(logTag(), "Telemetry client has been %s.", isEnabled ? "enabled" : "disabled");
}

std::optional<std::string> TLMTelemetry::appSecret() const {
    std::lock_guard guard(mLock);
    return mAppSecret;
}

std::shared_ptr<TLMChannelGroupDefault> TLMTelemetry::channelGroup() const {
    std::lock_guard guard(mLock);
    return mChannelGroup;
}
