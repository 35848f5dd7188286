#pragma once
// What a channel unit tells those who watch it. Every method has an empty
// default; a delegate implements what it needs. Delegates are held weakly.
//
// Threads: channelPrepareLog and channelDidPrepareLog run on the thread that
// enqueues the log, before it goes to the logs queue; every other call runs
// on the channel group's logs queue, except the completion of a log dropped
// because too many waited to be saved: that runs on the thread that
// enqueued the log which pushed it out.

#include "platform/foundation/Error.h"
#include "telemetry/TLMFlags.h"
#include "telemetry/core/Model/TLMAbstractLog.h"

#include <memory>
#include <string>

class TLMChannelGroupDefault;
class TLMChannelUnitDefault;

class TLMChannelDelegate {
public:
    virtual ~TLMChannelDelegate() = default;

    // A valid log about to be enqueued; the delegate may complete it.
    virtual void channelPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) {}
    // The log, prepared, with the identifier it carries until it is stored.
    virtual void channelDidPrepareLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                      const std::string& internalId, TLMFlags flags) {}
    // True drops the log before it is stored.
    virtual bool channelUnitShouldFilterLog(TLMChannelUnitDefault& channelUnit,
                                            const std::shared_ptr<TLMAbstractLog>& log) {
        return false;
    }
    // The log is in the storage (before its completion below); only then may
    // its owner let go of another copy.
    virtual void channelDidStoreLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) {}
    // The log was stored, filtered out or dropped: the unit is done with it.
    virtual void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault& channel,
                                                 const std::shared_ptr<TLMAbstractLog>& log,
                                                 const std::string& internalId) {}

    // For each log of a batch, before it is sent and once its outcome is
    // known.
    virtual void channelWillSendLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log) {}
    virtual void channelDidSucceedSendingLog(TLMChannelUnitDefault& channel,
                                             const std::shared_ptr<TLMAbstractLog>& log) {}
    virtual void channelDidFailSendingLog(TLMChannelUnitDefault& channel, const std::shared_ptr<TLMAbstractLog>& log,
                                          const platform::Error& error) {}

    // The unit was switched, paused or resumed (so that a twin unit can
    // follow).
    virtual void channelDidSetEnabled(TLMChannelUnitDefault& channel, bool isEnabled, bool deleteDataOnDisabled) {}
    virtual void channelDidPauseWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) {}
    virtual void channelDidResumeWithIdentifyingObject(TLMChannelUnitDefault& channel, const void* identifyingObject) {}

    // A unit was added to the group (on the thread that added it).
    virtual void channelGroupDidAddChannelUnit(TLMChannelGroupDefault& channelGroup,
                                               const std::shared_ptr<TLMChannelUnitDefault>& channel) {}
};
