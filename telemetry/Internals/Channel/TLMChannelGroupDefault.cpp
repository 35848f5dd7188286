#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"

#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMDispatcherUtil.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <chrono>

const char* const kTLMApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";

std::shared_ptr<TLMChannelGroupDefault> TLMChannelGroupDefault::make(std::shared_ptr<TLMHttpClient> httpClient,
                                                                     std::shared_ptr<TLMIngestionProtocol> ingestion) {
    // Looked at before the storage makes it: a home without one has no
    // sender to wait for.
    const bool newHome = !TLMUtility::fileExistsForPathComponent(TLMLogDBStorage::kFileName);
    auto storage = std::make_shared<TLMLogDBStorage>();
    std::shared_ptr<TLMSenderLock> senderLock;
    // No file without a client folder: then nothing is shared either.
    if (!storage->dbFileURL().empty()) {
        senderLock = std::make_shared<TLMSenderLock>(TLMSenderLock::pathFor(storage->dbFileURL()), newHome);
    }
    return make(std::move(httpClient), std::move(ingestion), std::move(storage), std::move(senderLock));
}

std::shared_ptr<TLMChannelGroupDefault> TLMChannelGroupDefault::make(std::shared_ptr<TLMHttpClient> httpClient,
                                                                     std::shared_ptr<TLMIngestionProtocol> ingestion,
                                                                     std::shared_ptr<TLMStorage> storage,
                                                                     std::shared_ptr<TLMSenderLock> senderLock) {
    auto group = std::make_shared<TLMChannelGroupDefault>(Key{}, std::move(httpClient), std::move(ingestion),
                                                          std::move(storage), std::move(senderLock));
    if (group->mSenderLock) group->scheduleLook();
    group->mWillTerminateObserver = platform::NotificationCenter::defaultCenter().addObserverForName(
        kTLMApplicationWillTerminateNotification, nullptr,
        [weakGroup = std::weak_ptr<TLMChannelGroupDefault>(group)](const platform::Notification&) {
            if (const auto self = weakGroup.lock()) self->applicationWillTerminate();
        });
    return group;
}

TLMChannelGroupDefault::TLMChannelGroupDefault(Key, std::shared_ptr<TLMHttpClient> httpClient,
                                               std::shared_ptr<TLMIngestionProtocol> ingestion,
                                               std::shared_ptr<TLMStorage> storage,
                                               std::shared_ptr<TLMSenderLock> senderLock)
    : mHttpClient(std::move(httpClient)),
      mIngestion(std::move(ingestion)),
      mStorage(std::move(storage)),
      mLogsDispatchQueue(std::make_shared<platform::DispatchQueue>("com.vekmont.telemetry.logs")),
      mSenderLock(std::move(senderLock)) {}

TLMChannelGroupDefault::~TLMChannelGroupDefault() {
    // Blocks on the queue may hold the units; none holds the group.
    if (!mLogsDispatchQueue->isCurrent()) mLogsDispatchQueue->sync([] {});
}

std::shared_ptr<TLMChannelUnitDefault> TLMChannelGroupDefault::addChannelUnitWithConfiguration(
    const TLMChannelUnitConfiguration& configuration) {
    return addChannelUnitWithConfiguration(configuration, mIngestion);
}

std::shared_ptr<TLMChannelUnitDefault> TLMChannelGroupDefault::addChannelUnitWithConfiguration(
    const TLMChannelUnitConfiguration& configuration, std::shared_ptr<TLMIngestionProtocol> ingestion) {
    auto unit = std::make_shared<TLMChannelUnitDefault>(std::move(ingestion), mStorage, configuration,
                                                        mLogsDispatchQueue, mSenderLock);
    unit->addDelegate(weak_from_this());
    {
        std::lock_guard lock(mMutex);
        mChannels.push_back(unit);
    }
    mLogsDispatchQueue->async([unit] { unit->countStoredLogsAndCheck(); });
    const std::string groupId = configuration.groupId();
    TLMLogDebug("Telemetry", "Added channel unit %s.", groupId.c_str());
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelGroupDidAddChannelUnit(*this, unit); });
    return unit;
}

std::shared_ptr<TLMChannelUnitDefault> TLMChannelGroupDefault::channelUnitForGroupId(const std::string& groupId) const {
    std::lock_guard lock(mMutex);
    for (const auto& unit : mChannels) {
        if (unit->configuration().groupId() == groupId) return unit;
    }
    return nullptr;
}

std::vector<std::shared_ptr<TLMChannelUnitDefault>> TLMChannelGroupDefault::channels() const {
    std::lock_guard lock(mMutex);
    return mChannels;
}

void TLMChannelGroupDefault::addDelegate(const std::weak_ptr<TLMChannelDelegate>& delegate) {
    mDelegates.add(delegate);
}

void TLMChannelGroupDefault::removeDelegate(const TLMChannelDelegate* delegate) { mDelegates.remove(delegate); }

template <typename Call>
void TLMChannelGroupDefault::notifyDelegates(Call&& call) {
    mDelegates.forEach(std::forward<Call>(call));
}

void TLMChannelGroupDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    if (mIngestion) mIngestion->setEnabled(isEnabled, deleteDataOnDisabled);
    if (mHttpClient) mHttpClient->setEnabled(isEnabled);
    for (const auto& unit : channels()) unit->setEnabled(isEnabled, deleteDataOnDisabled);
    if (!mSenderLock) return;
    // After the units' switches: none sends any more when the lock goes.
    mLogsDispatchQueue->async([self = shared_from_this(), isEnabled] {
        self->mSending = isEnabled;
        if (!isEnabled) self->mSenderLock->letGo();
    });
}

bool TLMChannelGroupDefault::isSender() const {
    if (!mSenderLock) return true;
    bool held = false;
    if (mLogsDispatchQueue->isCurrent()) {
        held = mSenderLock->isHeld();
    } else {
        mLogsDispatchQueue->sync([&] { held = mSenderLock->isHeld(); });
    }
    return held;
}

void TLMChannelGroupDefault::scheduleLook() {
    const auto interval = std::chrono::duration_cast<platform::Clock::Duration>(
        std::chrono::seconds(TLMChannelUnitDefault::kDefaultFlushInterval));
    mLogsDispatchQueue->asyncAfter(interval, [weakSelf = weak_from_this()] {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->lookAtOtherProcesses();
        self->scheduleLook();
    });
}

void TLMChannelGroupDefault::lookAtOtherProcesses() {
    if (!mSending) return;
    const std::vector<std::shared_ptr<TLMChannelUnitDefault>> units = channels();
    // A group without units would hold the lock and send nothing.
    if (units.empty()) return;
    const bool held = mSenderLock->holdOrTake();
    // Its lock file replaced, this process no longer sends. Batches waiting
    // to be tried again would then go from both: given up, they stay stored
    // and go from the new sender, as after a restart. One on the wire is
    // answered within the new sender's wait.
    if (mSenderLock->takeLostToAnother() && mHttpClient) {
        for (const auto& call : mHttpClient->pendingCalls()) {
            if (call->isWaitingForRetry()) call->cancel();
        }
    }
    if (!held) return;
    // A new lock file's holder looks again when its wait is over, at once
    // sending what was stored meanwhile.
    if (const std::optional<platform::Clock::Duration> left = mSenderLock->waitLeft()) {
        if (!mWaitLookScheduled) {
            mWaitLookScheduled = true;
            mLogsDispatchQueue->asyncAfter(*left, [weakSelf = weak_from_this()] {
                const auto self = weakSelf.lock();
                if (!self) return;
                self->mWaitLookScheduled = false;
                self->lookAtOtherProcesses();
            });
        }
        return;
    }
    if (!mSenderLock->othersStoredSinceLastLook()) return;
    for (const auto& unit : units) unit->recountStoredLogs();
}

void TLMChannelGroupDefault::pauseWithIdentifyingObject(const void* identifyingObject) {
    for (const auto& unit : channels()) unit->pauseWithIdentifyingObject(identifyingObject);
}

void TLMChannelGroupDefault::resumeWithIdentifyingObject(const void* identifyingObject) {
    for (const auto& unit : channels()) unit->resumeWithIdentifyingObject(identifyingObject);
}

void TLMChannelGroupDefault::setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) {
    mLogsDispatchQueue->async([storage = mStorage, sizeInBytes, handler = std::move(completionHandler)] {
        storage->setMaxStorageSize(sizeInBytes, handler);
    });
}

void TLMChannelGroupDefault::applicationWillTerminate() {
    TLMDispatcherUtil::dispatchSyncWithTimeout(1.0, *mLogsDispatchQueue, [] {});
}

// ---- The units' events

void TLMChannelGroupDefault::channelPrepareLog(TLMChannelUnitDefault& channel,
                                               const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelPrepareLog(channel, log); });
}

void TLMChannelGroupDefault::channelDidPrepareLog(TLMChannelUnitDefault& channel,
                                                  const std::shared_ptr<TLMAbstractLog>& log,
                                                  const std::string& internalId, TLMFlags flags) {
    notifyDelegates(
        [&](TLMChannelDelegate& delegate) { delegate.channelDidPrepareLog(channel, log, internalId, flags); });
}

bool TLMChannelGroupDefault::channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                                        const std::shared_ptr<TLMAbstractLog>& log) {
    bool filtered = false;
    notifyDelegates([&](TLMChannelDelegate& delegate) {
        if (!filtered && delegate.channelUnitShouldFilterLog(channelUnit, log)) filtered = true;
    });
    return filtered;
}

void TLMChannelGroupDefault::channelDidStoreLog(TLMChannelUnitDefault& channel,
                                                const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelDidStoreLog(channel, log); });
}

void TLMChannelGroupDefault::channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel,
                                                             const std::shared_ptr<TLMAbstractLog>& log,
                                                             const std::string& internalId) {
    notifyDelegates(
        [&](TLMChannelDelegate& delegate) { delegate.channelDidCompleteEnqueueingLog(channel, log, internalId); });
}

void TLMChannelGroupDefault::channelWillSendLog(TLMChannelUnitDefault& channel,
                                                const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelWillSendLog(channel, log); });
}

void TLMChannelGroupDefault::channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                                         const std::shared_ptr<TLMAbstractLog>& log) {
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(channel, log); });
}

void TLMChannelGroupDefault::channelDidFailSendingLog(TLMChannelUnitDefault& channel,
                                                      const std::shared_ptr<TLMAbstractLog>& log,
                                                      const platform::Error& error) {
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelDidFailSendingLog(channel, log, error); });
}

void TLMChannelGroupDefault::channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled,
                                                  bool deleteDataOnDisabled) {
    notifyDelegates(
        [&](TLMChannelDelegate& delegate) { delegate.channelDidSetEnabled(channel, isEnabled, deleteDataOnDisabled); });
}

void TLMChannelGroupDefault::channelDidPauseWithIdentifyingObject(TLMChannelUnitDefault& channel,
                                                                  const void* identifyingObject) {
    notifyDelegates([&](TLMChannelDelegate& delegate) {
        delegate.channelDidPauseWithIdentifyingObject(channel, identifyingObject);
    });
}

void TLMChannelGroupDefault::channelDidResumeWithIdentifyingObject(TLMChannelUnitDefault& channel,
                                                                   const void* identifyingObject) {
    notifyDelegates([&](TLMChannelDelegate& delegate) {
        delegate.channelDidResumeWithIdentifyingObject(channel, identifyingObject);
    });
}
