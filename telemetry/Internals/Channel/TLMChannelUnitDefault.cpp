#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"
#include "telemetry/TLMErrors.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace {


// The priority a log is stored with.
std::uint8_t PriorityOf(TLMFlags flags) { return static_cast<std::uint8_t>(flags & 0xFF); }

// The log the log database would evict to store one of `priority`: of the
// lowest priority not above it, the oldest; `end` when there is none.
// Places of switches (no log) are passed over.
template <typename Iterator>
Iterator EvictionCandidate(Iterator begin, Iterator end, std::uint8_t priority) {
    Iterator found = end;
    for (Iterator it = begin; it != end; ++it) {
        if (!it->log || PriorityOf(it->flags) > priority) continue;
        if (found == end || PriorityOf(it->flags) < PriorityOf(found->flags)) found = it;
    }
    return found;
}

// What a log takes in memory, at most: its archive times the factor. The
// archive is kept, so the log is archived once however often its save is
// tried. A log that cannot be archived is not saved either; it counts for
// little.
template <typename Waiting>
std::size_t Measure(Waiting& waiting) {
    std::optional<std::vector<std::uint8_t>> archive = TLMKeyedArchiver::archivedData(TLMArchiveValue(waiting.log));
    const std::size_t size = archive ? archive->size() : 0;
    if (archive) waiting.archive = std::make_shared<const std::vector<std::uint8_t>>(std::move(*archive));
    waiting.bytes = TLMChannelUnitDefault::kMemoryPerArchivedByte * std::max<std::size_t>(size, 1);
    return waiting.bytes;
}

}  // namespace

TLMChannelUnitDefault::TLMChannelUnitDefault(std::shared_ptr<TLMIngestionProtocol> ingestion,
                                             std::shared_ptr<TLMStorage> storage,
                                             TLMChannelUnitConfiguration configuration,
                                             std::shared_ptr<platform::DispatchQueue> logsDispatchQueue,
                                             std::shared_ptr<TLMSenderLock> senderLock)
    : mConfiguration(std::move(configuration)),
      mIngestion(std::move(ingestion)),
      mStorage(std::move(storage)),
      mLogsDispatchQueue(std::move(logsDispatchQueue)),
      mSenderLock(std::move(senderLock)) {}

std::string TLMChannelUnitDefault::startTimeKey() const { return "ChannelStartTimer:" + mConfiguration.groupId(); }

// ---- Delegates

void TLMChannelUnitDefault::addDelegate(const std::weak_ptr<TLMChannelDelegate>& delegate) { mDelegates.add(delegate); }

void TLMChannelUnitDefault::removeDelegate(const TLMChannelDelegate* delegate) { mDelegates.remove(delegate); }

template <typename Call>
void TLMChannelUnitDefault::notifyDelegates(Call&& call) {
    mDelegates.forEach(std::forward<Call>(call));
}

// ---- Enqueueing

void TLMChannelUnitDefault::enqueueItem(std::shared_ptr<TLMAbstractLog> item, TLMFlags flags) {
    // The log is still the caller's alone here; it is completed on its thread.
    if (item) {
        if (!item->timestamp()) item->setTimestamp(platform::Clock::shared()->now());
        if (!item->device()) item->setDevice(TLMDeviceTracker::sharedInstance().device());
        if (item->dataResidencyRegion().empty()) {
            if (std::optional<std::string> region = TLMTelemetry::dataResidencyRegion()) {
                item->setDataResidencyRegion(std::move(*region));
            }
        }
    }
    if (!item || !item->isValid()) {
        TLMLogWarning(kTLMLogTag, "Log is not valid.");
        return;
    }
    std::string internalId = TLMNewUuidString();
    notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelPrepareLog(*this, item); });
    notifyDelegates(
        [&](TLMChannelDelegate& delegate) { delegate.channelDidPrepareLog(*this, item, internalId, flags); });
    // Only while the log database cannot take saves (refused, or a try
    // waits for a held file) do logs stay in memory for long: then each is
    // measured, once, on the caller's thread. Otherwise an enqueue stays a
    // push, and a burst is saved as fast as the database allows.
    const bool bounded = mRefused.load() || mStorage->isFileHeld();
    WaitingLog entry{std::move(item), std::move(internalId), flags};
    const std::size_t bytes = bounded ? Measure(entry) : 0;
    std::vector<WaitingLog> dropped;
    {
        std::lock_guard lock(mWaitingMutex);
        bool keep = true;
        if (bounded) {
            // Logs that came before the bound began count from now on too.
            if (mUnmeasuredWaiting) {
                for (WaitingLog& waiting : mWaiting) {
                    if (!waiting.log || waiting.bytes != 0) continue;
                    mHeldBytes += Measure(waiting);
                }
                mUnmeasuredWaiting = false;
            }
            if (mHeldBytes.load() + bytes > kRefusedBytesLimit) keep = makeRoom(entry, dropped);
        }
        if (keep) {
            mHeldBytes += bytes;
            mUnmeasuredWaiting = mUnmeasuredWaiting || bytes == 0;
            mWaiting.push_back(std::move(entry));
            ++mWaitingLogs;
            // One block serves every log that comes before it begins.
            if (mStoreTicket == 0) {
                const std::uint64_t ticket = mStoreTicket = ++mLastTicket;
                mLogsDispatchQueue->async([self = shared_from_this(), ticket] { self->storeWaitingLogs(ticket); });
            }
        }
    }
    for (const WaitingLog& gone : dropped) completeEnqueueing(gone);
}

bool TLMChannelUnitDefault::makeRoom(WaitingLog& entry, std::vector<WaitingLog>& dropped) {
    while (mHeldBytes.load() + entry.bytes > kRefusedBytesLimit) {
        ++mDroppedWaiting;
        ++mDroppedTotal;
        const auto victim = EvictionCandidate(mWaiting.begin(), mWaiting.end(), PriorityOf(entry.flags));
        if (victim == mWaiting.end()) {
            entry.bytes = 0;  // never counted
            dropped.push_back(std::move(entry));
            return false;
        }
        // Counted off here, not when it is completed: the next enqueue
        // sees the room at once.
        mHeldBytes -= std::exchange(victim->bytes, 0);
        dropped.push_back(std::move(*victim));
        mWaiting.erase(victim);
        --mWaitingLogs;
    }
    return true;
}

void TLMChannelUnitDefault::asyncInOrder(std::function<void()> block) {
    std::lock_guard lock(mWaitingMutex);
    mWaiting.push_back({});
    // Logs after the switch need a block after its own.
    mStoreTicket = 0;
    mLogsDispatchQueue->async([self = shared_from_this(), block = std::move(block)] {
        self->takeAnswers();
        {
            // The blocks before this one took every log before its place.
            std::lock_guard lock(self->mWaitingMutex);
            self->mWaiting.pop_front();
        }
        block();
    });
}

void TLMChannelUnitDefault::storeWaitingLogs(std::uint64_t ticket) {
    std::size_t left = 0;
    {
        std::lock_guard lock(mWaitingMutex);
        // Logs that come from now on queue a block of their own.
        if (mStoreTicket == ticket) mStoreTicket = 0;
        for (const WaitingLog& waiting : mWaiting) {
            if (!waiting.log) break;
            ++left;
        }
    }
    const std::size_t most = std::max<std::size_t>(mConfiguration.batchSizeLimit(), 1);
    // Once the log database refused a save, the rest is kept without
    // trying it again (each try may wait seconds for a held file).
    bool refused = false;
    do {
        takeAnswers();
        std::vector<WaitingLog> logs;
        {
            std::lock_guard lock(mWaitingMutex);
            while (left > 0 && !mWaiting.empty() && mWaiting.front().log && (refused || logs.size() < most)) {
                logs.push_back(std::move(mWaiting.front()));
                mWaiting.pop_front();
                --mWaitingLogs;
                --left;
            }
        }
        if (logs.empty()) break;
        storeLogs(std::move(logs), !refused);
        refused = !mKept.empty();
    } while (left > 0);
    reportDroppedLogs();
}

void TLMChannelUnitDefault::storeLogs(std::vector<WaitingLog> logs, bool trySaving) {
    const std::string groupId = mConfiguration.groupId();
    for (WaitingLog& waiting : logs) {
        const std::shared_ptr<TLMAbstractLog>& log = waiting.log;
        bool filtered = !mEnabled;
        if (filtered) {
            TLMLogDebug(kTLMLogTag, "Channel unit %s is disabled; the log is dropped.", groupId.c_str());
        } else {
            notifyDelegates([&](TLMChannelDelegate& delegate) {
                if (!filtered && delegate.channelUnitShouldFilterLog(*this, log)) filtered = true;
            });
            const std::string type = log->type();
            if (filtered) TLMLogDebug(kTLMLogTag, "Log of type '%s' was filtered out by a delegate.", type.c_str());
        }
        waiting.save = !filtered;
    }
    const std::uint64_t storedCount = saveInOrder(std::move(logs), trySaving);
    countStored(storedCount);
    if (storedCount > 0 || !mKept.empty()) checkPendingLogs();
}

void TLMChannelUnitDefault::countStored(std::uint64_t count) {
    if (count == 0) return;
    // The file was free a moment ago: a count it kept back is read now.
    if (mStoredCount) {
        *mStoredCount += count;
    } else {
        readStoredCount();
    }
    // The process that sends learns of them when it next looks.
    if (mSenderLock && !mSenderLock->isHeld()) mSenderLock->markStored();
}

std::uint64_t TLMChannelUnitDefault::saveInOrder(std::vector<WaitingLog> fresh, bool trySaving) {
    const bool keptBefore = !mKept.empty();
    if (keptBefore && (!trySaving || !mayTrySaving())) {
        // Kept behind the others, untried.
        std::uint64_t newlyKept = 0;
        for (WaitingLog& waiting : fresh) {
            if (!waiting.save) {
                completeEnqueueing(waiting);
                continue;
            }
            mKept.push_back(std::move(waiting));
            ++newlyKept;
        }
        mRefusalKept += newlyKept;
        boundKeptLogs();
        return 0;
    }
    std::vector<WaitingLog> logs(std::make_move_iterator(mKept.begin()), std::make_move_iterator(mKept.end()));
    mKept.clear();
    logs.insert(logs.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    if (logs.empty()) return 0;
    const std::string groupId = mConfiguration.groupId();
    std::vector<TLMLogToSave> toSave;
    std::vector<std::size_t> savedAt;
    for (std::size_t i = 0; i < logs.size(); ++i) {
        if (!logs[i].save) continue;
        toSave.push_back({logs[i].log, logs[i].flags, logs[i].archive});
        savedAt.push_back(i);
    }
    std::vector<TLMSaveOutcome> outcomes(logs.size(), TLMSaveOutcome::Failed);
    if (!trySaving) {
        for (const std::size_t i : savedAt) outcomes[i] = TLMSaveOutcome::Later;
    } else if (!toSave.empty()) {
        const std::vector<TLMSaveOutcome> saved = mStorage->saveLogs(toSave, groupId);
        for (std::size_t k = 0; k < savedAt.size() && k < saved.size(); ++k) outcomes[savedAt[k]] = saved[k];
    }
    std::uint64_t storedCount = 0;
    std::uint64_t newlyKept = 0;
    const std::size_t keptCount = logs.size() - fresh.size();
    for (std::size_t i = 0; i < logs.size(); ++i) {
        WaitingLog& waiting = logs[i];
        if (outcomes[i] == TLMSaveOutcome::Later) {
            // Neither stored nor given up: the unit is not done with it.
            mKept.push_back(std::move(waiting));
            if (i >= keptCount) ++newlyKept;
            continue;
        }
        if (outcomes[i] == TLMSaveOutcome::Stored) {
            ++storedCount;
            notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelDidStoreLog(*this, waiting.log); });
        }
        completeEnqueueing(waiting);
    }
    noteSaveTried(keptBefore, newlyKept);
    boundKeptLogs();
    return storedCount;
}

bool TLMChannelUnitDefault::mayTrySaving() const {
    return !mNextTry || platform::Clock::shared()->instant() >= *mNextTry;
}

void TLMChannelUnitDefault::noteSaveTried(bool keptBefore, std::uint64_t newlyKept) {
    if (mKept.empty()) {
        if (keptBefore) endRefusal();
        return;
    }
    const std::string groupId = mConfiguration.groupId();
    if (!keptBefore) {
        mRefusalBegan = platform::Clock::shared()->instant();
        mRefusalKept = 0;
        {
            std::lock_guard lock(mWaitingMutex);
            mDroppedBeforeRefusal = mDroppedTotal;
        }
        const std::size_t count = mKept.size();
        TLMLogWarning(kTLMLogTag,
                      "The log database refuses saves for now (in use by another connection, damaged, "
                      "write-protected or full); %zu log(s) of group %s are kept until it takes them.",
                      count, groupId.c_str());
    }
    mRefusalKept += newlyKept;
    // A held file made this try wait already; each of its tries waits.
    if (mStorage->isFileHeld()) {
        mNextTry.reset();
        mRetryDelay = platform::Clock::Duration::zero();
        ++mRetryGeneration;
        return;
    }
    // Came back at once: trying at every block would only spin.
    const auto longest =
        std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::seconds(mConfiguration.flushInterval()));
    const auto first = std::chrono::duration_cast<platform::Clock::Duration>(kFirstRetryDelay);
    mRetryDelay = mRetryDelay == platform::Clock::Duration::zero() ? first : mRetryDelay * 2;
    mRetryDelay = std::max(std::min(mRetryDelay, longest), first);
    mNextTry = platform::Clock::shared()->instant() + mRetryDelay;
    const std::uint64_t generation = ++mRetryGeneration;
    mLogsDispatchQueue->asyncAfter(mRetryDelay, [weakSelf = weak_from_this(), generation] {
        const auto self = weakSelf.lock();
        if (self && self->mRetryGeneration == generation) self->retryAfterPause();
    });
}

void TLMChannelUnitDefault::endRefusal() {
    mNextTry.reset();
    mRetryDelay = platform::Clock::Duration::zero();
    ++mRetryGeneration;
    std::uint64_t dropped = 0;
    {
        std::lock_guard lock(mWaitingMutex);
        dropped = mDroppedTotal - mDroppedBeforeRefusal;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(platform::Clock::shared()->instant() - mRefusalBegan);
    const std::string groupId = mConfiguration.groupId();
    const auto kept = static_cast<unsigned long long>(mRefusalKept);
    TLMLogWarning(kTLMLogTag,
                  "The log database's refusal of group %s's logs ended after %lld s: %llu log(s) were kept "
                  "meanwhile, %llu lost past the bound.",
                  groupId.c_str(), static_cast<long long>(seconds.count()), kept,
                  static_cast<unsigned long long>(dropped));
}

void TLMChannelUnitDefault::retryAfterPause() {
    mNextTry.reset();
    if (mKept.empty()) return;
    const std::uint64_t stored = saveInOrder({});
    countStored(stored);
    if (stored > 0 || !mKept.empty()) checkPendingLogs();
}

void TLMChannelUnitDefault::boundKeptLogs() {
    std::size_t bytes = 0;
    for (WaitingLog& waiting : mKept) {
        // Taken while saves went: measured once it is kept.
        if (waiting.bytes == 0 && waiting.log) mHeldBytes += Measure(waiting);
        bytes += waiting.bytes;
    }
    // As the log database evicts, so a log never goes for one of lower
    // priority. The rest of the bound is room for logs still waiting, taken
    // in, while the logs queue waits for the file.
    std::uint64_t dropped = 0;
    while (bytes > kRefusedBytesLimit - kRefusedBytesLimit / 4) {
        const auto victim = EvictionCandidate(mKept.begin(), mKept.end(), 0xFF);
        const WaitingLog gone = std::move(*victim);
        mKept.erase(victim);
        bytes -= gone.bytes;
        ++dropped;
        completeEnqueueing(gone);
    }
    {
        std::lock_guard lock(mWaitingMutex);
        mDroppedWaiting += dropped;
        mDroppedTotal += dropped;
        mRefused = !mKept.empty();
    }
    if (dropped > 0) reportDroppedLogs();
}

void TLMChannelUnitDefault::completeEnqueueing(const WaitingLog& waiting) {
    mHeldBytes -= waiting.bytes;
    notifyDelegates([&](TLMChannelDelegate& delegate) {
        delegate.channelDidCompleteEnqueueingLog(*this, waiting.log, waiting.internalId);
    });
}

bool TLMChannelUnitDefault::readStoredCount() {
    const std::optional<std::uint64_t> count = mStorage->countLogsWithGroupId(mConfiguration.groupId());
    if (!count) {
        mStoredCount.reset();
        const std::string groupId = mConfiguration.groupId();
        TLMLogWarning(kTLMLogTag,
                      "The stored logs of group %s cannot be counted: the log database is in use by another "
                      "connection. They are counted again at the next flush.",
                      groupId.c_str());
        return false;
    }
    mStoredCount = *count - std::min(*count, mLogsInBatches);
    return true;
}

void TLMChannelUnitDefault::reportDroppedLogs() {
    {
        // Most blocks drop nothing: no clock, no report put off.
        std::lock_guard lock(mWaitingMutex);
        if (mDroppedWaiting == 0) return;
    }
    const platform::Clock::Duration interval =
        std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::seconds(mConfiguration.flushInterval()));
    const platform::Clock::Date now = platform::Clock::shared()->now();
    if (mLastDropWarning && now >= *mLastDropWarning && now - *mLastDropWarning < interval) {
        // Counted in the next one, which comes at its time should no block
        // come first.
        if (!mDropReportScheduled) {
            mDropReportScheduled = true;
            mLogsDispatchQueue->asyncAfter(interval - (now - *mLastDropWarning), [weakSelf = weak_from_this()] {
                if (const auto self = weakSelf.lock()) {
                    self->mDropReportScheduled = false;
                    self->reportDroppedLogs();
                }
            });
        }
        return;
    }
    std::uint64_t dropped = 0;
    {
        std::lock_guard lock(mWaitingMutex);
        dropped = std::exchange(mDroppedWaiting, 0);
    }
    if (dropped == 0) return;
    mLastDropWarning = now;
    const std::string groupId = mConfiguration.groupId();
    TLMLogWarning(kTLMLogTag,
                  "%llu log(s) of group %s were dropped before they could be saved: the log database refused "
                  "saves and more than %zu KiB of them waited. The lowest priority and oldest went first.",
                  static_cast<unsigned long long>(dropped), groupId.c_str(), kRefusedBytesLimit / 1024);
}

void TLMChannelUnitDefault::takeAnswers() {
    std::vector<BatchAnswer> answers;
    {
        std::lock_guard lock(mWaitingMutex);
        answers.swap(mAnswers);
    }
    for (const BatchAnswer& answer : answers) batchEnded(*answer.batch, answer.response, answer.error);
}

// ---- Batching

void TLMChannelUnitDefault::countStoredLogsAndCheck() {
    readStoredCount();
    // Logs kept from before go at once, the last short batch too.
    checkPendingLogs(FlushKind::everything);
}

void TLMChannelUnitDefault::recountStoredLogs() {
    if (!mEnabled) return;
    readStoredCount();
    checkPendingLogs();
}

void TLMChannelUnitDefault::checkPendingLogs(FlushKind whenFull) {
    if (!mEnabled || mPaused) {
        retryKeptLogs();
        return;
    }
    // Another process sends: this one stores and marks only. Its count,
    // which only the sender lowers, would try the lock at every save; the
    // group's look takes over from a sender that ended, and recounts. Logs
    // the log database refused still need the timer that saves them.
    if (whenFull == FlushKind::fullBatches && mKept.empty() && mSenderLock && mSenderLock->heldByAnother()) return;
    // A full batch leaves at once; what is left waits for the timer. Logs
    // are stored in groups, so the count can pass a batch and more.
    if (mConfiguration.flushInterval() <= kDefaultFlushInterval &&
        mStoredCount.value_or(0) >= mConfiguration.batchSizeLimit()) {
        flushQueue(whenFull);
    }
    // An unread count may hold anything.
    if ((mStoredCount == 0u && mKept.empty()) || mTimerRunning) return;
    const platform::Clock::Duration left = resolveFlushInterval();
    if (left <= platform::Clock::Duration::zero()) {
        flushQueue();
    } else {
        startTimer(left);
    }
}

platform::Clock::Duration TLMChannelUnitDefault::resolveFlushInterval() {
    const auto interval =
        std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::seconds(mConfiguration.flushInterval()));
    if (mConfiguration.flushInterval() <= kDefaultFlushInterval) return interval;
    TLMTelemetryUserDefaults& defaults = TLMTelemetryUserDefaults::shared();
    const platform::Clock::Date now = platform::Clock::shared()->now();
    const std::optional<platform::Value> stored = defaults.objectForKey(startTimeKey());
    const platform::Clock::Date* start = stored ? stored->asDate() : nullptr;
    // No start yet, or one in the future (the date was set back): it begins now.
    if (start == nullptr || *start > now) {
        defaults.setObject(platform::Value(now), startTimeKey());
        return interval;
    }
    const auto elapsed = std::chrono::duration_cast<platform::Clock::Duration>(now - *start);
    return elapsed >= interval ? platform::Clock::Duration::zero() : interval - elapsed;
}

void TLMChannelUnitDefault::startTimer(platform::Clock::Duration delay) {
    mTimerRunning = true;
    const std::uint64_t generation = ++mTimerGeneration;
    mLogsDispatchQueue->asyncAfter(delay, [weakSelf = weak_from_this(), generation] {
        const auto self = weakSelf.lock();
        if (!self || !self->mTimerRunning || self->mTimerGeneration != generation) return;
        self->mTimerRunning = false;
        self->flushQueue();
    });
}

void TLMChannelUnitDefault::cancelTimer() {
    ++mTimerGeneration;
    mTimerRunning = false;
}

void TLMChannelUnitDefault::flushQueue(FlushKind kind) {
    if (kind == FlushKind::everything) {
        cancelTimer();
        // What the log database refused goes first, once its pause is over.
        if (!mKept.empty() && mayTrySaving()) countStored(saveInOrder({}));
        // Drops no block of the logs queue has counted yet.
        reportDroppedLogs();
        if (!mStoredCount) readStoredCount();
    }
    if (!mEnabled || mPaused) {
        retryKeptLogs();
        return;
    }
    // Another process sending the stored logs sends these too.
    if (mIngestion->isReadyToSend() && maySend()) {
        // The interval is over for every log stored so far.
        if (kind == FlushKind::everything && mConfiguration.flushInterval() > kDefaultFlushInterval) {
            TLMTelemetryUserDefaults::shared().removeObjectForKey(startTimeKey());
        }
        for (bool first = true; mPendingBatchIds.size() < mConfiguration.pendingBatchesLimit(); first = false) {
            if (kind == FlushKind::fullBatches && mStoredCount.value_or(0) < mConfiguration.batchSizeLimit()) break;
            // The lock file may have been removed since: checked before each.
            if (!first && !maySend()) break;
            if (!sendOneBatch()) break;
        }
    }
    // Still held: tried again after a whole interval, whatever was stored.
    if (kind == FlushKind::everything && (!mKept.empty() || !mStoredCount) && !mTimerRunning) {
        startTimer(std::chrono::duration_cast<platform::Clock::Duration>(
            std::chrono::seconds(mConfiguration.flushInterval())));
    }
}

void TLMChannelUnitDefault::retryKeptLogs() {
    if (mKept.empty() || mTimerRunning) return;
    startTimer(
        std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::seconds(mConfiguration.flushInterval())));
}

bool TLMChannelUnitDefault::maySend() {
    if (!mSenderLock) return true;
    const bool held = mSenderLock->isHeld();
    // Asked of the holder too: its file's name may have gone to another
    // file, whose holder would load the same logs.
    const bool mayLoad = mSenderLock->mayLoad();
    // Taken just now: what the process that sent before left counts too.
    if (!held && mSenderLock->isHeld()) readStoredCount();
    return mayLoad;
}

bool TLMChannelUnitDefault::sendOneBatch() {
    std::optional<std::vector<std::string>> excludedTargetKeys;
    if (!mPausedTargetKeys.empty()) {
        excludedTargetKeys.emplace(mPausedTargetKeys.begin(), mPausedTargetKeys.end());
    }
    std::vector<std::shared_ptr<TLMAbstractLog>> logs;
    std::optional<std::string> batchId;
    mAvailableBatchFromStorage = mStorage->loadLogsWithGroupId(
        mConfiguration.groupId(), mConfiguration.batchSizeLimit(), excludedTargetKeys,
        [&](const std::vector<std::shared_ptr<TLMAbstractLog>>& loaded, const std::optional<std::string>& loadedId) {
            logs = loaded;
            batchId = loadedId;
        });
    if (!mAvailableBatchFromStorage) {
        mStoredCount = 0;
    } else if (mStoredCount) {
        *mStoredCount -= std::min<std::uint64_t>(*mStoredCount, logs.size());
    }
    if (!batchId || logs.empty()) return false;

    mLogsInBatches += logs.size();
    mPendingBatchIds.insert(*batchId);
    mPendingBatchCount = mPendingBatchIds.size();
    for (const auto& log : logs) {
        notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelWillSendLog(*this, log); });
    }
    auto container = std::make_shared<const TLMLogContainer>(*batchId, std::move(logs));
    mIngestion->sendAsync(
        container, [weakSelf = weak_from_this(), container](
                       const std::string&, const std::optional<platform::net::HTTPURLResponse>& response,
                       const std::optional<std::vector<std::uint8_t>>&, const std::optional<platform::Error>& error) {
            const auto self = weakSelf.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mWaitingMutex);
                self->mAnswers.push_back({container, response, error});
            }
            // Its own block, should no block of a waiting log come first.
            self->mLogsDispatchQueue->async([self] { self->takeAnswers(); });
        });
    return mAvailableBatchFromStorage;
}

void TLMChannelUnitDefault::batchEnded(const TLMLogContainer& batch,
                                       const std::optional<platform::net::HTTPURLResponse>& response,
                                       const std::optional<platform::Error>& error) {
    const std::string& batchId = batch.batchId();
    const std::vector<std::shared_ptr<TLMAbstractLog>>& logs = batch.logs();
    if (mPendingBatchIds.erase(batchId) == 0) {
        TLMLogWarning(kTLMLogTag, "Batch Id %s not expected, ignore.", batchId.c_str());
        return;
    }
    mPendingBatchCount = mPendingBatchIds.size();
    const std::string groupId = mConfiguration.groupId();
    const std::size_t count = logs.size();
    const TLMBatchOutcome outcome = batchOutcome(response, error);
    if (outcome != TLMBatchOutcome::Kept) mLogsInBatches -= std::min<std::uint64_t>(mLogsInBatches, count);
    if (outcome == TLMBatchOutcome::Sent) {
        TLMLogVerbose(kTLMLogTag, "Sent %zu log(s) of group %s with batch Id %s.", count, groupId.c_str(),
                      batchId.c_str());
        mStorage->deleteLogsWithBatchId(batchId, groupId);
        // A log JSON could not hold went without the others: it failed.
        const std::vector<std::shared_ptr<TLMAbstractLog>> unwritten = batch.unwritableLogs();
        const platform::Error unwrittenError =
            TLMMakeError(TLMErrorSerializationFailed, "The log cannot be written as JSON.");
        for (const auto& log : logs) {
            if (std::find(unwritten.begin(), unwritten.end(), log) != unwritten.end()) {
                notifyDelegates([&](TLMChannelDelegate& delegate) {
                    delegate.channelDidFailSendingLog(*this, log, unwrittenError);
                });
            } else {
                notifyDelegates(
                    [&](TLMChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(*this, log); });
            }
        }
    } else {
        const platform::Error failure =
            error ? *error
                  : (response ? TLMMakeHttpStatusError(response->statusCode)
                              : TLMMakeError(TLMErrorInvalidRequest, "The batch ended without an answer."));
        const std::string description = failure.localizedDescription();
        TLMLogError(kTLMLogTag, "Sending logs for batch Id %s failed: %s", batchId.c_str(), description.c_str());
        if (outcome == TLMBatchOutcome::Refused) {
            mStorage->deleteLogsWithBatchId(batchId, groupId);
        } else {
            TLMLogInfo(kTLMLogTag, "The %zu log(s) of batch Id %s stay stored and go again after the next start.",
                       count, batchId.c_str());
        }
        for (const auto& log : logs) {
            notifyDelegates(
                [&](TLMChannelDelegate& delegate) { delegate.channelDidFailSendingLog(*this, log, failure); });
        }
    }
    // A slot is free. A backlog kept back (by the pending-batch limit, a
    // pause, a restart) goes on at once, its last short batch too. While
    // logs still come in, or a short batch waits for its interval, only
    // full batches go.
    if (mAvailableBatchFromStorage && !mTimerRunning && !logsWaiting()) {
        flushQueue();
    } else {
        checkPendingLogs();
    }
}

bool TLMChannelUnitDefault::logsWaiting() {
    std::lock_guard lock(mWaitingMutex);
    return std::any_of(mWaiting.begin(), mWaiting.end(),
                       [](const WaitingLog& waiting) { return waiting.log != nullptr; });
}

TLMBatchOutcome TLMChannelUnitDefault::batchOutcome(const std::optional<platform::net::HTTPURLResponse>& response,
                                                    const std::optional<platform::Error>& error) {
    if (error) return TLMIsBatchRefusedLocally(*error) ? TLMBatchOutcome::Refused : TLMBatchOutcome::Kept;
    if (!response) return TLMBatchOutcome::Kept;
    if (TLMHttpUtil::isSuccessStatusCode(response->statusCode)) return TLMBatchOutcome::Sent;
    return TLMHttpUtil::isRecoverableError(response->statusCode) ? TLMBatchOutcome::Kept : TLMBatchOutcome::Refused;
}

// ---- Switches

void TLMChannelUnitDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    asyncInOrder([self = shared_from_this(), isEnabled, deleteDataOnDisabled] {
        if (self->mEnabled != isEnabled) {
            self->mEnabled = isEnabled;
            if (!isEnabled) {
                self->cancelTimer();
                self->retryKeptLogs();
            }
        }
        if (!isEnabled && deleteDataOnDisabled) self->deleteStoredLogs();
        self->notifyDelegates([&](TLMChannelDelegate& delegate) {
            delegate.channelDidSetEnabled(*self, isEnabled, deleteDataOnDisabled);
        });
        if (isEnabled) self->countStoredLogsAndCheck();
    });
}

void TLMChannelUnitDefault::deleteStoredLogs() {
    std::vector<std::shared_ptr<TLMAbstractLog>> logs = mStorage->deleteLogsWithGroupId(mConfiguration.groupId());
    // Those the log database refused go with them.
    std::deque<WaitingLog> kept;
    kept.swap(mKept);
    for (const WaitingLog& waiting : kept) logs.push_back(waiting.log);
    if (!kept.empty()) endRefusal();
    boundKeptLogs();
    // Batches on the wire are forgotten: their answers are not waited for.
    mPendingBatchIds.clear();
    mPendingBatchCount = 0;
    mStoredCount = 0;
    mLogsInBatches = 0;
    mAvailableBatchFromStorage = false;
    TLMTelemetryUserDefaults::shared().removeObjectForKey(startTimeKey());
    const platform::Error error =
        TLMMakeError(TLMErrorChannelDisabled, "The channel is disabled; its stored logs are deleted.");
    for (const auto& log : logs) {
        notifyDelegates([&](TLMChannelDelegate& delegate) { delegate.channelDidFailSendingLog(*this, log, error); });
    }
    for (const WaitingLog& waiting : kept) completeEnqueueing(waiting);
    const std::size_t count = logs.size();
    const std::string groupId = mConfiguration.groupId();
    TLMLogDebug(kTLMLogTag, "Deleted %zu stored log(s) of group %s.", count, groupId.c_str());
}

void TLMChannelUnitDefault::pauseWithIdentifyingObject(const void* identifyingObject) {
    asyncInOrder([self = shared_from_this(), identifyingObject] {
        self->mPausedIdentifyingObjects.insert(identifyingObject);
        self->mPaused = true;
        self->cancelTimer();
        self->retryKeptLogs();
        self->notifyDelegates([&](TLMChannelDelegate& delegate) {
            delegate.channelDidPauseWithIdentifyingObject(*self, identifyingObject);
        });
    });
}

void TLMChannelUnitDefault::resumeWithIdentifyingObject(const void* identifyingObject) {
    asyncInOrder([self = shared_from_this(), identifyingObject] {
        self->mPausedIdentifyingObjects.erase(identifyingObject);
        self->mPaused = !self->mPausedIdentifyingObjects.empty();
        self->notifyDelegates([&](TLMChannelDelegate& delegate) {
            delegate.channelDidResumeWithIdentifyingObject(*self, identifyingObject);
        });
        if (self->mPaused) return;
        if (self->mAvailableBatchFromStorage) {
            self->flushQueue();
        } else {
            // What was held back goes at once, the last short batch too.
            self->checkPendingLogs(FlushKind::everything);
        }
    });
}

void TLMChannelUnitDefault::pauseSendingLogsWithToken(const std::string& token) {
    const std::optional<std::string> targetKey = TLMUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;
    asyncInOrder([self = shared_from_this(), key = *targetKey] { self->mPausedTargetKeys.insert(key); });
}

void TLMChannelUnitDefault::resumeSendingLogsWithToken(const std::string& token) {
    const std::optional<std::string> targetKey = TLMUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;
    asyncInOrder([self = shared_from_this(), key = *targetKey] {
        if (self->mPausedTargetKeys.erase(key) == 0) return;
        self->countStoredLogsAndCheck();
    });
}
