#include "telemetry/Internals/Channel/TLMUnifiedCollectorChannelDelegate.h"

#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <string_view>

namespace {

bool hasTargetTokens(const TLMAbstractLog& log) {
    const auto tokens = log.transmissionTargetTokens();
    return tokens && !tokens->empty();
}

}  // namespace

TLMUnifiedCollectorChannelDelegate::TLMUnifiedCollectorChannelDelegate(std::shared_ptr<TLMHttpClient> httpClient,
                                                                       const std::string& installId,
                                                                       const std::optional<std::string>& baseUrl)
    : mInstallId(TLMUuidFromString(installId)),
      mIngestion(std::make_shared<TLMUnifiedCollectorIngestion>(
          std::move(httpClient), baseUrl.value_or(TLMUnifiedCollectorIngestion::kDefaultBaseUrl))) {}

void TLMUnifiedCollectorChannelDelegate::setLogUrl(const std::string& logUrl) { mIngestion->setBaseURL(logUrl); }

bool TLMUnifiedCollectorChannelDelegate::isUnifiedGroupId(const std::string& groupId) {
    const std::string suffix = kUnifiedGroupIdSuffix;
    return groupId.size() >= suffix.size() &&
           groupId.compare(groupId.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::shared_ptr<TLMChannelUnitDefault> TLMUnifiedCollectorChannelDelegate::twinOf(
    const TLMChannelUnitDefault& channel) const {
    std::lock_guard lock(mMutex);
    const auto found = mTwinsByGroupId.find(channel.configuration().groupId());
    return found == mTwinsByGroupId.end() ? nullptr : found->second.lock();
}

void TLMUnifiedCollectorChannelDelegate::channelGroupDidAddChannelUnit(
    TLMChannelGroupDefault& channelGroup, const std::shared_ptr<TLMChannelUnitDefault>& channel) {
    const TLMChannelUnitConfiguration& configuration = channel->configuration();
    if (isUnifiedGroupId(configuration.groupId())) return;
    // Adding the twin calls back here, for the twin, which is left alone.
    auto twin = channelGroup.addChannelUnitWithConfiguration(
        TLMChannelUnitConfiguration::makeDefaultConfiguration(configuration.groupId() + kUnifiedGroupIdSuffix,
                                                              configuration.flushInterval()),
        mIngestion);
    std::lock_guard lock(mMutex);
    mTwinsByGroupId[configuration.groupId()] = twin;
}

void TLMUnifiedCollectorChannelDelegate::channelPrepareLog(TLMChannelUnitDefault&,
                                                           const std::shared_ptr<TLMAbstractLog>& log) {
    auto* unified = dynamic_cast<TLMUnifiedSchemaLog*>(log.get());
    if (unified == nullptr) return;
    if (!unified->ext()) unified->setExt(std::make_shared<TLMCSExtensions>());
    if (!unified->ext()->sdkExt()) unified->ext()->setSdkExt(std::make_shared<TLMSDKExtension>());
    TLMSDKExtension& sdk = *unified->ext()->sdkExt();
    {
        std::lock_guard lock(mMutex);
        EpochAndSeq& record = mEpochsAndSeqsByIKey[unified->iKey()];
        if (record.epoch.empty()) record.epoch = TLMNewUuidString();
        sdk.setEpoch(record.epoch);
        sdk.setSeq(++record.seq);
    }
    sdk.setInstallId(mInstallId);
}

void TLMUnifiedCollectorChannelDelegate::channelDidPrepareLog(TLMChannelUnitDefault& channel,
                                                              const std::shared_ptr<TLMAbstractLog>& log,
                                                              const std::string&, TLMFlags flags) {
    if (dynamic_cast<const TLMUnifiedSchemaLog*>(log.get()) != nullptr || !hasTargetTokens(*log)) return;
    const auto twin = twinOf(channel);
    if (!twin) {
        const std::string groupId = channel.configuration().groupId();
        TLMLogWarning("Telemetry", "Channel unit %s has no unified twin; its logs for targets are dropped.",
                      groupId.c_str());
        return;
    }
    for (auto& converted : log->toUnifiedSchemaLogsWithFlags(flags)) twin->enqueueItem(std::move(converted), flags);
}

bool TLMUnifiedCollectorChannelDelegate::channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                                                    const std::shared_ptr<TLMAbstractLog>& log) {
    if (!isUnifiedGroupId(channelUnit.configuration().groupId())) return hasTargetTokens(*log);
    const auto* unified = dynamic_cast<const TLMUnifiedSchemaLog*>(log.get());
    return unified != nullptr && !unified->isValid();
}

void TLMUnifiedCollectorChannelDelegate::channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled,
                                                              bool deleteDataOnDisabled) {
    if (const auto twin = twinOf(channel)) twin->setEnabled(isEnabled, deleteDataOnDisabled);
}

void TLMUnifiedCollectorChannelDelegate::channelDidPauseWithIdentifyingObject(TLMChannelUnitDefault& channel,
                                                                              const void* identifyingObject) {
    if (const auto twin = twinOf(channel)) twin->pauseWithIdentifyingObject(identifyingObject);
}

void TLMUnifiedCollectorChannelDelegate::channelDidResumeWithIdentifyingObject(TLMChannelUnitDefault& channel,
                                                                               const void* identifyingObject) {
    if (const auto twin = twinOf(channel)) twin->resumeWithIdentifyingObject(identifyingObject);
}
