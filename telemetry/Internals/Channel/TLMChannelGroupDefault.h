#pragma once
// The channel group: the channel units of every service, the one log
// database they share and the one serial logs queue from which every call
// into that database is made. The group is a delegate of each of its units
// and passes every unit's events on to its own delegates.
//
// Other processes of the same home share the log database. Only the one
// holding the sender lock beside it ("Logs.sqlite.lock") sends stored
// logs; the units take it when they are about to send. Every flush
// interval the group looks again: without the lock it tries to take it
// (the sender may have ended); with it, it has every unit count its stored
// logs again when the lock was just taken or another process marked that
// it stored logs. A holder of a new lock file waiting before it loads (see
// TLMSenderLock) looks again when the wait is over. A holder whose lock
// file was replaced and taken by another process gives up its calls waiting
// for a retry: their batches stay stored for the new sender. Switched off,
// the group lets go of the lock.
//
// Threads: every method is safe from any thread.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Channel/TLMSenderLock.h"
#include "telemetry/Internals/Ingestion/TLMHttpClient.h"
#include "telemetry/Internals/Ingestion/TLMIngestionProtocol.h"
#include "telemetry/Internals/Storage/TLMStorage.h"
#include "telemetry/Internals/Util/TLMDelegateList.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The application's notification that it is about to end.
extern const char* const kTLMApplicationWillTerminateNotification;

class TLMChannelGroupDefault : public TLMChannelDelegate, public std::enable_shared_from_this<TLMChannelGroupDefault> {
    struct Key {};

public:
    // A group over the log database "Logs.sqlite" and its sender lock;
    // `ingestion` sends the batches of units added without one of their
    // own, over `httpClient`.
    static std::shared_ptr<TLMChannelGroupDefault> make(std::shared_ptr<TLMHttpClient> httpClient,
                                                        std::shared_ptr<TLMIngestionProtocol> ingestion);
    // The same over another storage; without a sender lock no other process
    // sends its logs.
    static std::shared_ptr<TLMChannelGroupDefault> make(std::shared_ptr<TLMHttpClient> httpClient,
                                                        std::shared_ptr<TLMIngestionProtocol> ingestion,
                                                        std::shared_ptr<TLMStorage> storage,
                                                        std::shared_ptr<TLMSenderLock> senderLock = nullptr);

    TLMChannelGroupDefault(Key, std::shared_ptr<TLMHttpClient> httpClient,
                           std::shared_ptr<TLMIngestionProtocol> ingestion, std::shared_ptr<TLMStorage> storage,
                           std::shared_ptr<TLMSenderLock> senderLock);
    // Waits for the work already on the logs queue.
    ~TLMChannelGroupDefault() override;

    // Makes a unit on the group's ingestion (or the one given), storage and
    // logs queue, makes the group its delegate, schedules its look at what
    // is stored, and tells the group's delegates.
    std::shared_ptr<TLMChannelUnitDefault> addChannelUnitWithConfiguration(
        const TLMChannelUnitConfiguration& configuration);
    std::shared_ptr<TLMChannelUnitDefault> addChannelUnitWithConfiguration(
        const TLMChannelUnitConfiguration& configuration, std::shared_ptr<TLMIngestionProtocol> ingestion);

    // The unit whose configuration has that group id, or null.
    std::shared_ptr<TLMChannelUnitDefault> channelUnitForGroupId(const std::string& groupId) const;

    // Every delegate receives the callbacks of every unit of the group.
    void addDelegate(const std::weak_ptr<TLMChannelDelegate>& delegate);
    void removeDelegate(const TLMChannelDelegate* delegate);

    // The ingestion, the HTTP client and every unit together: disabled,
    // nothing is sent and calls on the wire are cancelled; with deletion
    // every unit deletes its stored logs.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled);
    void pauseWithIdentifyingObject(const void* identifyingObject);
    void resumeWithIdentifyingObject(const void* identifyingObject);

    // Hands the size to the storage on the logs queue; the handler runs there.
    void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler);

    // Gives the work already queued on the logs queue at most 1 second to
    // finish. Called on the application's will-terminate notification.
    void applicationWillTerminate();

    // True when this process sends the stored logs: it holds the sender
    // lock (or has none), once what is queued on the logs queue is done.
    bool isSender() const;

    const std::shared_ptr<TLMHttpClient>& httpClient() const { return mHttpClient; }
    const std::shared_ptr<TLMIngestionProtocol>& ingestion() const { return mIngestion; }
    // Only to be used on the logs queue.
    const std::shared_ptr<TLMStorage>& storage() const { return mStorage; }
    const std::shared_ptr<platform::DispatchQueue>& logsDispatchQueue() const { return mLogsDispatchQueue; }

    // ---- The units' events, passed on to the group's delegates.
    void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                              const std::string& internalId, TLMFlags flags) override;
    bool channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                    const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidStoreLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                         const std::string& internalId) override;
    void channelWillSendLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                     const std::shared_ptr<TLMAbstractLog>& log) override;
    void channelDidFailSendingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                  const platform::Error& error) override;
    void channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled, bool deleteDataOnDisabled) override;
    void channelDidPauseWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) override;
    void channelDidResumeWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) override;

private:
    template <typename Call>
    void notifyDelegates(Call&& call);
    std::vector<std::shared_ptr<TLMChannelUnitDefault>> channels() const;
    // On the logs queue, every flush interval: see above.
    void lookAtOtherProcesses();
    void scheduleLook();

    const std::shared_ptr<TLMHttpClient> mHttpClient;
    const std::shared_ptr<TLMIngestionProtocol> mIngestion;
    const std::shared_ptr<TLMStorage> mStorage;
    const std::shared_ptr<platform::DispatchQueue> mLogsDispatchQueue;
    const std::shared_ptr<TLMSenderLock> mSenderLock;  // used on the logs queue
    bool mSending = true;                              // the logs queue's own: switched on
    bool mWaitLookScheduled = false;                   // the logs queue's own: a look at the wait's end
    platform::NotificationCenter::ObserverToken mWillTerminateObserver;

    mutable std::mutex mMutex;
    std::vector<std::shared_ptr<TLMChannelUnitDefault>> mChannels;
    TLMDelegateList<TLMChannelDelegate> mDelegates;
};
