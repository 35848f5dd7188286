#include "telemetry/core/Model/TLMAbstractLog.h"

#include "platform/foundation/Bundle.h"
#include "telemetry/core/Context/TLMUserIdContext.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

TLMAbstractLog::TLMAbstractLog(const TLMKeyedUnarchiver& coder)
    : mType(coder.decodeString("type")),
      mTimestamp(coder.decodeDate("timestamp")),
      mSid(coder.decodeString("sid")),
      mDistributionGroupId(coder.decodeString("distributionGroupId")),
      mUserId(coder.decodeString("userId")),
      mDataResidencyRegion(coder.decodeString("dataResidencyRegion")),
      mDevice(coder.decodeObjectOfClass<TLMDevice>("device")) {}

std::shared_ptr<const TLMAbstractLog::TargetTokens> TLMAbstractLog::transmissionTargetTokens() const {
    std::lock_guard lock(mTokensMutex);
    return mTransmissionTargetTokens;
}

void TLMAbstractLog::setTransmissionTargetTokens(std::shared_ptr<const TargetTokens> tokens) {
    std::lock_guard lock(mTokensMutex);
    mTransmissionTargetTokens = std::move(tokens);
}

void TLMAbstractLog::addTransmissionTargetToken(const std::string& token) {
    std::lock_guard lock(mTokensMutex);
    auto tokens = mTransmissionTargetTokens ? std::make_shared<TargetTokens>(*mTransmissionTargetTokens)
                                            : std::make_shared<TargetTokens>();
    tokens->insert(token);
    mTransmissionTargetTokens = std::move(tokens);
}

TLMOrderedDictionary TLMAbstractLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setText(dictionary, mType, "type");
    if (mTimestamp) dictionary.setObject(TLMUtility::dateToISO8601(*mTimestamp), "timestamp");
    setText(dictionary, mSid, "sid");
    setText(dictionary, mDistributionGroupId, "distributionGroupId");
    setText(dictionary, mUserId, "userId");
    if (mDevice) dictionary.setObject(mDevice->serializeToDictionary(), "device");
    setText(dictionary, mDataResidencyRegion, "dataResidencyRegion");
    return dictionary;
}

std::optional<std::string> TLMAbstractLog::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    return serializeToDictionary().jsonText(prettyPrint);
}

bool TLMAbstractLog::isValid() const {
    if (mType.empty()) return reportInvalidField("type");
    if (!mTimestamp) return reportInvalidField("timestamp");
    if (!mDevice || !mDevice->isValid()) return reportInvalidField("device");
    return true;
}

bool TLMAbstractLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMAbstractLog*>(&other);
    if (log == nullptr) return false;
    const bool sameDevice = mDevice && log->mDevice ? mDevice->isEqual(*log->mDevice) : mDevice == log->mDevice;
    return mTag == log->mTag && mType == log->mType && mTimestamp == log->mTimestamp && mSid == log->mSid &&
           mDistributionGroupId == log->mDistributionGroupId && mUserId == log->mUserId && sameDevice &&
           mDataResidencyRegion == log->mDataResidencyRegion;
}

void TLMAbstractLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeString(mType, "type");
    coder.encodeDate(mTimestamp, "timestamp");
    coder.encodeString(mSid, "sid");
    coder.encodeString(mDistributionGroupId, "distributionGroupId");
    coder.encodeString(mUserId, "userId");
    coder.encodeString(mDataResidencyRegion, "dataResidencyRegion");
    coder.encodeObject(mDevice, "device");
}

std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> TLMAbstractLog::toUnifiedSchemaLogsWithFlags(TLMFlags flags) const {
    std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> logs;
    if (const auto tokens = transmissionTargetTokens()) {
        for (const std::string& token : *tokens) {
            if (auto log = toUnifiedSchemaLogForTargetToken(token, flags)) logs.push_back(std::move(log));
        }
    }
    return logs;
}

std::shared_ptr<TLMUnifiedSchemaLog> TLMAbstractLog::toUnifiedSchemaLogForTargetToken(const std::string& token,
                                                                                      TLMFlags flags) const {
    auto log = std::make_shared<TLMUnifiedSchemaLog>();
    log->setTransmissionTargetTokens(std::make_shared<const TargetTokens>(TargetTokens{token}));
    log->setVer("3.0");
    log->setTimestamp(mTimestamp);
    log->setIKey(TLMUtility::iKeyFromTargetToken(token).value_or(""));
    log->setFlags(flags);

    // Without a device record only the user's id and the app's language
    // are known.
    const TLMDevice noDevice;
    const TLMDevice& device = mDevice ? *mDevice : noDevice;
    auto ext = std::make_shared<TLMCSExtensions>();

    auto protocol = std::make_shared<TLMProtocolExtension>();
    protocol->setDevMake(device.oemName());
    protocol->setDevModel(device.model());
    ext->setProtocolExt(std::move(protocol));

    auto user = std::make_shared<TLMUserExtension>();
    const auto userId = mUserId.empty() ? std::nullopt : std::optional<std::string>(mUserId);
    user->setLocalId(TLMUserIdContext::prefixedUserIdFromUserId(userId).value_or(""));
    std::string locale = device.locale();
    std::replace(locale.begin(), locale.end(), '_', '-');
    user->setLocale(std::move(locale));
    ext->setUserExt(std::move(user));

    auto os = std::make_shared<TLMOSExtension>();
    os->setName(device.osName());
    os->setVer(combineOsVersion(device.osVersion(), device.osBuild()));
    ext->setOsExt(std::move(os));

    auto app = std::make_shared<TLMAppExtension>();
    if (!device.appNamespace().empty()) app->setAppId("I:" + device.appNamespace());
    app->setVer(device.appVersion());
    if (const platform::Bundle* bundle = platform::Bundle::main()) app->setLocale(bundle->preferredLanguage());
    ext->setAppExt(std::move(app));

    auto net = std::make_shared<TLMNetExtension>();
    net->setProvider(device.carrierName());
    ext->setNetExt(std::move(net));

    auto sdk = std::make_shared<TLMSDKExtension>();
    sdk->setLibVer(combineSDKLibVer(device.sdkName(), device.sdkVersion()));
    ext->setSdkExt(std::move(sdk));

    // No offset is no time zone, not UTC.
    auto loc = std::make_shared<TLMLocExtension>();
    if (device.timeZoneOffset()) loc->setTz(convertTimeZoneOffsetToISO8601(*device.timeZoneOffset()));
    ext->setLocExt(std::move(loc));

    ext->setDeviceExt(std::make_shared<TLMDeviceExtension>());
    log->setExt(std::move(ext));
    return log;
}

std::string TLMAbstractLog::combineOsVersion(const std::string& version, const std::string& build) {
    std::string text = version.empty() ? "" : "Version " + version;
    if (!build.empty()) text = text.empty() ? "Build " + build : text + " (Build " + build + ")";
    return text;
}

std::string TLMAbstractLog::combineSDKLibVer(const std::string& name, const std::string& version) {
    return name.empty() || version.empty() ? "" : name + "-" + version;
}

std::string TLMAbstractLog::convertTimeZoneOffsetToISO8601(std::int64_t offsetInMinutes) {
    // The sign comes from the whole offset: west of UTC by less than an
    // hour is "-00:30", where the hours alone would give "+00".
    const std::uint64_t magnitude = offsetInMinutes < 0 ? 0 - static_cast<std::uint64_t>(offsetInMinutes)
                                                        : static_cast<std::uint64_t>(offsetInMinutes);
    char text[32];
    std::snprintf(text, sizeof text, "%c%02" PRIu64 ":%02" PRIu64, offsetInMinutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}
