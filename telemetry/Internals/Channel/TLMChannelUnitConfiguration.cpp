#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"

TLMChannelUnitConfiguration::TLMChannelUnitConfiguration(std::string groupId, int priority, std::uint64_t flushInterval,
                                                         std::uint32_t batchSizeLimit,
                                                         std::uint32_t pendingBatchesLimit)
    : mGroupId(std::move(groupId)),
      mPriority(priority),
      mFlushInterval(flushInterval),
      mBatchSizeLimit(batchSizeLimit),
      mPendingBatchesLimit(pendingBatchesLimit) {}

TLMChannelUnitConfiguration TLMChannelUnitConfiguration::makeDefaultConfiguration(std::string groupId,
                                                                                  std::uint64_t flushInterval) {
    return TLMChannelUnitConfiguration(std::move(groupId), 1, flushInterval, 50, 3);
}
