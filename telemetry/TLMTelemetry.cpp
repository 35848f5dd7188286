#include "telemetry/TLMTelemetry.h"

#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMServiceAbstract.h"
#include "telemetry/core/Util/TLMSharedInstance.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const char* const kTelemetryIsEnabledKey = "TelemetryIsEnabled";
const char* const kInstallIdKey = "InstallId";
const char* const kNetworkRequestsAllowedKey = "NetworkRequestsAllowed";
// The installation kind of a development build.
constexpr long kDevelopmentEnvironment = 99;

// A secret is one printable token: no blanks, no control bytes.
bool isWellFormedAppSecret(const std::string& appSecret) {
    if (appSecret.empty()) return false;
    return std::none_of(appSecret.begin(), appSecret.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

// Values read and written from any thread without the client's lock.
struct SharedSettings {
    std::mutex mutex;
    std::optional<std::string> dataResidencyRegion;
    std::optional<std::string> installId;
};

SharedSettings& sharedSettings() {
    static SharedSettings* settings = new SharedSettings();
    return *settings;
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

namespace {

TLMSharedInstance<TLMTelemetry>& sharedClient() {
    static auto* holder = new TLMSharedInstance<TLMTelemetry>();
    return *holder;
}

}  // namespace

TLMTelemetry& TLMTelemetry::sharedInstance() {
    return sharedClient().get([] { return new TLMTelemetry(); });
}

void TLMTelemetry::resetSharedInstanceForTests() {
    if (TLMTelemetry* old = sharedClient().reset()) {
        std::shared_ptr<TLMChannelGroupDefault> group;
        {
            std::lock_guard guard(old->mLock);
            group = old->mChannelGroup;
        }
        if (group) {
            group->logsDispatchQueue()->sync([] {});
            group->setEnabled(false, false);
            // The units switch off on the logs queue.
            group->logsDispatchQueue()->sync([] {});
            if (group->httpClient()) group->httpClient()->endForTests();
        }
    }
    SharedSettings& settings = sharedSettings();
    std::lock_guard lock(settings.mutex);
    settings.installId.reset();
    settings.dataResidencyRegion.reset();
}

std::string TLMTelemetry::logTag() { return kLogTag; }

void TLMTelemetry::start(const std::string& startString, const std::vector<TLMServiceClass>& services) {
    TLMTelemetry& client = sharedInstance();
    std::lock_guard guard(client.mLock);
    if (!client.configure(startString)) return;

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
    std::vector<std::string> started;
    for (TLMServiceAbstract* service : instances) {
        if (client.startService(*service)) started.push_back(service->serviceName());
    }
    if (!started.empty()) client.sendStartServiceLog(started);
}

bool TLMTelemetry::configure(const std::string& startString) {
    if (mSdkConfigured) {
        if (mAppSecret != TLMUtility::appSecretFrom(startString) ||
            mDefaultTransmissionTargetToken != TLMUtility::transmissionTargetTokenFrom(startString)) {
            TLMLogWarning(logTag(), "The client is configured already; the new start string is ignored.");
        }
        return true;
    }
    const std::optional<std::string> appSecret = TLMUtility::appSecretFrom(startString);
    const std::optional<std::string> token = TLMUtility::transmissionTargetTokenFrom(startString);
    if (!appSecret && !token) {
        TLMLogError(logTag(),
                    "The start string holds neither an app secret nor a target token; the client is not "
                    "configured.");
        return false;
    }
    if (appSecret && !isWellFormedAppSecret(*appSecret)) {
        TLMLogError(logTag(), "App secret is empty or malformed; the client is not configured.");
        return false;
    }
    // The app's own choice of level wins; a development build shows warnings.
    if (!TLMLogger::isUserDefinedLogLevel() && TLMUtility::currentAppEnvironment() == kDevelopmentEnvironment) {
        TLMLogger::setCurrentLogLevel(TLMLogLevelWarning);
    }
    mAppSecret = appSecret;
    mDefaultTransmissionTargetToken = token;
    mHttpClient = TLMHttpClient::make();
    mIngestion = std::make_shared<TLMDefaultIngestion>(
        mHttpClient, mLogUrl.value_or(TLMDefaultIngestion::kDefaultBaseUrl), installId());
    mIngestion->setAppSecret(appSecret);
    mChannelGroup = TLMChannelGroupDefault::make(mHttpClient, mIngestion);
    // Before any unit, so that every unit gets its unified twin.
    mUnifiedCollectorChannelDelegate =
        std::make_shared<TLMUnifiedCollectorChannelDelegate>(mHttpClient, installId(), std::nullopt);
    mChannelGroup->addDelegate(mUnifiedCollectorChannelDelegate);
    mChannelUnit =
        mChannelGroup->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration(kGroupId));
    if (!isNetworkRequestsAllowed()) mChannelGroup->pauseWithIdentifyingObject(this);
    if (!isInstanceEnabled()) mChannelGroup->setEnabled(false, false);
    mSdkConfigured = true;
    TLMLogInfo(logTag(), "Telemetry client configured successfully.");
    return true;
}

bool TLMTelemetry::startService(TLMServiceAbstract& service) {
    const std::string name = service.serviceName();
    if (std::find(mServices.begin(), mServices.end(), &service) != mServices.end() || service.started()) {
        TLMLogWarning(logTag(), "%s service has already been started.", name.c_str());
        return false;
    }
    if (service.isAppSecretRequired() && !mAppSecret) {
        TLMLogError(logTag(), "Cannot start service %s: it needs an app secret.", name.c_str());
        return false;
    }
    service.startWithChannelGroup(*this, mChannelGroup, mAppSecret, mDefaultTransmissionTargetToken, true);
    mServices.push_back(&service);
    // A client switched off keeps its services off.
    if (!isInstanceEnabled()) service.setInstanceEnabled(false);
    TLMLogInfo(logTag(), "%s service started from application.", name.c_str());
    return true;
}

void TLMTelemetry::sendStartServiceLog(const std::vector<std::string>& servicesNames) {
    std::lock_guard guard(mLock);
    if (!isEnabled()) {
        mStartedServiceNamesToLog.insert(mStartedServiceNamesToLog.end(), servicesNames.begin(), servicesNames.end());
        return;
    }
    if (!mChannelUnit) return;
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setServices(servicesNames);
    log->setUnifiedCollectorEnabled(mDefaultTransmissionTargetToken.has_value());
    mChannelUnit->enqueueItem(std::move(log), TLMFlagsNormal);
}

bool TLMTelemetry::isEnabled() { return sharedInstance().isClientEnabled(); }

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
    // The channels first when switching on, so the services find them on;
    // last when switching off, after the services have deleted their logs.
    if (isEnabled && mChannelGroup) mChannelGroup->setEnabled(true, false);
    for (TLMServiceAbstract* service : mServices) service->setInstanceEnabled(isEnabled);
    if (!isEnabled && mChannelGroup) mChannelGroup->setEnabled(false, true);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(isEnabled), kTelemetryIsEnabledKey);
    mEnabledStateUpdating = false;
    TLMLogInfo(logTag(), "Telemetry client has been %s.", isEnabled ? "enabled" : "disabled");
    if (isEnabled && !mStartedServiceNamesToLog.empty()) {
        const std::vector<std::string> names = std::move(mStartedServiceNamesToLog);
        mStartedServiceNamesToLog.clear();
        sendStartServiceLog(names);
    }
}

std::string TLMTelemetry::installId() {
    SharedSettings& settings = sharedSettings();
    std::lock_guard lock(settings.mutex);
    if (settings.installId) return *settings.installId;
    TLMTelemetryUserDefaults& defaults = TLMTelemetryUserDefaults::shared();
    const std::optional<platform::Value> stored = defaults.objectForKey(kInstallIdKey);
    const std::string* text = stored ? stored->asString() : nullptr;
    if (text != nullptr && TLMIsUuidString(*text)) {
        settings.installId = *text;
    } else {
        settings.installId = TLMNewUuidString();
        defaults.setObject(platform::Value(*settings.installId), kInstallIdKey);
    }
    return *settings.installId;
}

long TLMTelemetry::tracerPidFromStatus(const std::string& statusText) {
    std::istringstream lines(statusText);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("TracerPid:", 0) != 0) continue;
        const char* digits = line.c_str() + 10;
        char* end = nullptr;
        const long pid = std::strtol(digits, &end, 10);
        return end != digits && pid > 0 ? pid : 0;
    }
    return 0;
}

bool TLMTelemetry::isDebuggerAttached() {
    std::ifstream status("/proc/self/status");
    if (!status) return false;
    std::ostringstream text;
    text << status.rdbuf();
    return tracerPidFromStatus(text.str()) != 0;
}

std::optional<std::string> TLMTelemetry::dataResidencyRegion() {
    SharedSettings& settings = sharedSettings();
    std::lock_guard lock(settings.mutex);
    return settings.dataResidencyRegion;
}

void TLMTelemetry::setDataResidencyRegion(std::optional<std::string> region) {
    SharedSettings& settings = sharedSettings();
    std::lock_guard lock(settings.mutex);
    settings.dataResidencyRegion = std::move(region);
}

void TLMTelemetry::setLogUrl(const std::string& logUrl) {
    TLMTelemetry& client = sharedInstance();
    std::lock_guard guard(client.mLock);
    client.mLogUrl = logUrl;
    if (client.mIngestion) client.mIngestion->setBaseURL(logUrl);
}

bool TLMTelemetry::isNetworkRequestsAllowed() const {
    return TLMTelemetryUserDefaults::shared().boolForKey(kNetworkRequestsAllowedKey, true);
}

void TLMTelemetry::setNetworkRequestsAllowed(bool isAllowed) {
    std::lock_guard guard(mLock);
    if (isAllowed == isNetworkRequestsAllowed()) return;
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(isAllowed), kNetworkRequestsAllowedKey);
    if (mChannelGroup) {
        if (isAllowed) {
            mChannelGroup->resumeWithIdentifyingObject(this);
        } else {
            mChannelGroup->pauseWithIdentifyingObject(this);
        }
    }
    TLMLogInfo(logTag(), "Network requests are %s.", isAllowed ? "allowed" : "forbidden");
}

std::optional<std::string> TLMTelemetry::appSecret() const {
    std::lock_guard guard(mLock);
    return mAppSecret;
}

std::optional<std::string> TLMTelemetry::defaultTransmissionTargetToken() const {
    std::lock_guard guard(mLock);
    return mDefaultTransmissionTargetToken;
}

std::shared_ptr<TLMChannelGroupDefault> TLMTelemetry::channelGroup() const {
    std::lock_guard guard(mLock);
    return mChannelGroup;
}

std::shared_ptr<TLMChannelUnitDefault> TLMTelemetry::channelUnit() const {
    std::lock_guard guard(mLock);
    return mChannelUnit;
}

std::shared_ptr<TLMUnifiedCollectorChannelDelegate> TLMTelemetry::unifiedCollectorChannelDelegate() const {
    std::lock_guard guard(mLock);
    return mUnifiedCollectorChannelDelegate;
}
