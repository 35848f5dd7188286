#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"

#include "telemetry/Internals/Context/TLMDeviceTracker.h"
#include "telemetry/Internals/Util/TLMUuid.h"
#include "telemetry/TLMLogger.h"

#include <chrono>

TLMChannelUnitDefault::TLMChannelUnitDefault(TLMChannelUnitConfiguration configuration)
    : mConfiguration(std::move(configuration)) {}

void TLMChannelUnitDefault::enqueueItem(std::shared_ptr<TLMAbstractLog> item, TLMFlags flags) {
    // The log is still the caller's alone here; it is completed on its thread.
    if (item && !item->timestamp()) item->setTimestamp(std::chrono::system_clock::now());
    if (item && !item->device()) item->setDevice(TLMDeviceTracker::sharedInstance().device());
    if (!item || !item->isValid()) {
        TLMLogWarning("Telemetry", "Log is not valid.");
        return;
    }
    TLMPendingLog pending{std::move(item), TLMNewUuidString(), flags};

    std::lock_guard lock(mMutex);
    if (!mEnabled) {
        const std::string groupId = mConfiguration.groupId();
        TLMLogDebug("Telemetry", "Channel unit %s is disabled; the log is dropped.", groupId.c_str());
        return;
    }
    mPendingLogs.push_back(std::move(pending));
}

void TLMChannelUnitDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    std::lock_guard lock(mMutex);
    mEnabled = isEnabled;
    if (!isEnabled && deleteDataOnDisabled) mPendingLogs.clear();
}

bool TLMChannelUnitDefault::isEnabled() const {
    std::lock_guard lock(mMutex);
    return mEnabled;
}

std::vector<TLMPendingLog> TLMChannelUnitDefault::pendingLogs() const {
    std::lock_guard lock(mMutex);
    return mPendingLogs;
}

std::size_t TLMChannelUnitDefault::countLogs() const {
    std::lock_guard lock(mMutex);
    return mPendingLogs.size();
}
