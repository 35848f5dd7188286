#pragma once
// How one channel unit batches its logs.

#include <cstdint>
#include <string>

class TLMChannelUnitConfiguration {
public:
    TLMChannelUnitConfiguration(std::string groupId, int priority, std::uint64_t flushInterval,
                                std::uint32_t batchSizeLimit, std::uint32_t pendingBatchesLimit);

    // Priority 1, batches of at most 50 logs, at most 3 pending batches.
    static TLMChannelUnitConfiguration makeDefaultConfiguration(std::string groupId, std::uint64_t flushInterval = 6);

    const std::string& groupId() const { return mGroupId; }
    int priority() const { return mPriority; }
    std::uint64_t flushInterval() const { return mFlushInterval; }  // whole seconds
    std::uint32_t batchSizeLimit() const { return mBatchSizeLimit; }
    std::uint32_t pendingBatchesLimit() const { return mPendingBatchesLimit; }

private:
    std::string mGroupId;
    int mPriority;
    std::uint64_t mFlushInterval;
    std::uint32_t mBatchSizeLimit;
    std::uint32_t mPendingBatchesLimit;
};
