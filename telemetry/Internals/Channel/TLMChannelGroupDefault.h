#pragma once
// The channel group: owns the channel units of every service. Thread-safe.

#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TLMChannelGroupDefault {
public:
    // Creates a unit with the configuration and keeps it.
    std::shared_ptr<TLMChannelUnitDefault> addChannelUnitWithConfiguration(
        const TLMChannelUnitConfiguration& configuration);

    // The unit whose configuration has that group id, or null.
    std::shared_ptr<TLMChannelUnitDefault> channelUnitForGroupId(const std::string& groupId) const;

private:
    mutable std::mutex mMutex;
    std::vector<std::shared_ptr<TLMChannelUnitDefault>> mChannels;
};
