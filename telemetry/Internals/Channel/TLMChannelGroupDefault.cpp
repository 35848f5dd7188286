#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"

std::shared_ptr<TLMChannelUnitDefault> TLMChannelGroupDefault::addChannelUnitWithConfiguration(
    const TLMChannelUnitConfiguration& configuration) {
    auto unit = std::make_shared<TLMChannelUnitDefault>(configuration);
    std::lock_guard lock(mMutex);
    mChannels.push_back(unit);
    return unit;
}

std::shared_ptr<TLMChannelUnitDefault> TLMChannelGroupDefault::channelUnitForGroupId(const std::string& groupId) const {
    std::lock_guard lock(mMutex);
    for (const auto& unit : mChannels) {
        if (unit->configuration().groupId() == groupId) return unit;
    }
    return nullptr;
}
