#pragma once
// One channel unit: the logs of one group on their way from the caller to
// the ingestion. A log is completed and checked on the caller's thread,
// then stored in the log database on the group's logs queue; batches of
// stored logs are loaded and sent from there.
//
// Batching: the unit sends when it holds a batch's worth of logs (only at
// the default flush interval of 6 seconds; a longer interval chosen by the
// application is kept to), or when the flush interval has passed since the
// oldest unsent log came. For a longer interval that time is stored under
// "ChannelStartTimer:<groupId>", so a restart does not begin it anew. At
// most `pendingBatchesLimit` batches are out at once.
//
// Outcomes: a batch answered with success is deleted; one the server
// refused (an answer that will not change: 4xx other than 408 and 429) or
// that cannot be sent at all (a log JSON cannot hold) is deleted and its
// logs reported failed. A batch that ended without a usable answer (no
// answer, or 5xx, 408, 429 after every retry, or a refusal of the ingestion
// such as network requests not allowed) is reported failed too, but stays
// stored: it is not loaded again by this process, so the server cannot get
// it twice from it, and the next start sends it.
//
// Threads: the methods marked "on the logs queue" run there only; every
// other is safe from any thread. The unit's state lives on the logs queue,
// so what a call changes shows once the queue got there.
//
// A burst: every switch (enabling, pausing, resuming) has a block of its
// own on the logs queue, in the order of the calls, and so has a log that
// finds no block queued for the logs that came since the last switch; so
// waiting for the queue waits for what was enqueued before. A block saves
// the logs that waited when it began, up to the next switch, a batch at a
// time (one transaction each). Answers to batches are taken up before each
// batch is saved, ahead of the logs waiting, so a batch that is full
// leaves at once, also while a burst is still being saved. Logs are never
// saved past a switch called after them.
//
// Logs waiting to be saved are not bounded while the log database takes
// saves: a burst is saved a batch at a time as fast as it allows.
//
// Refused saves: logs whose save the log database refused for now (the
// file held by another connection past the wait, damaged and not yet made
// anew, failing to read or write) are kept in memory, in order. They are
// saved before the next logs and at the next flush, which comes after the
// flush interval while any are kept, the unit paused or disabled too (they
// came before the switch); until then delegates hear neither
// that they were stored nor that the unit is done with them. While any
// are kept, a block tries the log database once and keeps the rest of its
// logs unsaved. A refusal that comes back at once (write-protected, a full
// disk, a file that cannot be opened, damage waiting for its rebuild) is
// not tried again at every block: the next try comes after a pause that
// doubles from a second up to the flush interval. A file held by another
// connection keeps its own wait (each try waits for it). Kept logs are
// archived once, and a refusal logs one warning when it begins and one
// with its counts when it ends.
//
// The bound: while saves are refused, or the log database finds its file
// held by another connection (a try still waiting for it), each log's
// memory is measured once (kMemoryPerArchivedByte times its archive): when
// it is enqueued, or, for logs that came before, by the first enqueue that
// finds the bound begun or once the logs queue keeps them. Every log the
// unit is not done with counts, waiting, being saved or kept; they are
// bounded to kRefusedBytesLimit, of which
// those kept take three quarters at most. Past the bound the log
// database's eviction order decides what goes: the lowest priority, then
// the oldest (among the logs kept, or those still waiting when a log is
// enqueued), so an ordinary log never pushes out a critical one. A log dropped so is completed at once (on the thread
// that enqueued the log that pushed it out, when it was still waiting), and one warning on the logs queue counts the
// logs dropped (at most one each flush interval). A count of the stored logs the held file kept back is read again the
// same way.
//
// Several processes on one log database: stored logs are loaded and sent
// only by the process that holds the sender lock (TLMSenderLock), which a
// unit takes when it is about to send. Without it the unit stores only and
// marks the lock file; its group tries the lock again at its interval, and
// the holder's group recounts every unit when another process stored logs
// or when it has just taken the lock.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "telemetry/Internals/Channel/TLMChannelUnitConfiguration.h"
#include "telemetry/Internals/Channel/TLMSenderLock.h"
#include "telemetry/Internals/Ingestion/TLMIngestionProtocol.h"
#include "telemetry/Internals/Storage/TLMStorage.h"
#include "telemetry/Internals/Util/TLMDelegateList.h"
#include "telemetry/TLMFlags.h"
#include "telemetry/core/Channel/TLMChannelDelegate.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// What becomes of a batch once its send has ended.
enum class TLMBatchOutcome {
    Sent,     // deleted; its logs succeeded
    Refused,  // deleted; its logs failed for good
    Kept,     // its logs failed here, stay stored and go after the next start
};

class TLMChannelUnitDefault : public std::enable_shared_from_this<TLMChannelUnitDefault> {
public:
    // The flush interval at which a full batch is sent at once.
    static constexpr std::uint64_t kDefaultFlushInterval = 6;
    // The memory logs may take while the log database refuses saves: a
    // minute of a held file at 50 logs a second.
    static constexpr std::size_t kRefusedBytesLimit = 6 * 1024 * 1024;
    // What a log takes in memory for each byte of its archive, rounded up:
    // its objects, texts and list entries (an event of about 500 bytes
    // archived takes about 830), and the archive kept for its save.
    static constexpr std::size_t kMemoryPerArchivedByte = 3;
    // The first pause after a refusal that came back at once.
    static constexpr std::chrono::seconds kFirstRetryDelay{1};

    // Without a sender lock, no other process sends the storage's logs.
    TLMChannelUnitDefault(std::shared_ptr<TLMIngestionProtocol> ingestion, std::shared_ptr<TLMStorage> storage,
                          TLMChannelUnitConfiguration configuration,
                          std::shared_ptr<platform::DispatchQueue> logsDispatchQueue,
                          std::shared_ptr<TLMSenderLock> senderLock = nullptr);

    const TLMChannelUnitConfiguration& configuration() const { return mConfiguration; }
    const std::shared_ptr<TLMIngestionProtocol>& ingestion() const { return mIngestion; }
    const std::shared_ptr<platform::DispatchQueue>& logsDispatchQueue() const { return mLogsDispatchQueue; }

    void addDelegate(const std::weak_ptr<TLMChannelDelegate>& delegate);
    void removeDelegate(const TLMChannelDelegate* delegate);

    // On the caller's thread: fills a missing timestamp (the platform
    // clock's date), device (the device tracker's) and data-residency region
    // (the client's); refuses an invalid (or null) log with the warning
    // "Log is not valid."; gives the log a new UUID text as internal id and
    // lets every delegate prepare it; while saves are refused and the bound
    // is reached, drops one (see above). Then, on the logs queue: a
    // disabled unit drops it; a
    // delegate may filter it out; otherwise it is stored with the flags' low
    // byte as its priority. channelDidCompleteEnqueueingLog follows in every
    // case.
    void enqueueItem(std::shared_ptr<TLMAbstractLog> item, TLMFlags flags);
    // Logs enqueued and not yet taken to be saved.
    std::size_t waitingLogCount() const { return mWaitingLogs.load(); }

    // Disabling stops sending and storing; with deletion every stored log of
    // the group is deleted and reported failed (TLMErrorChannelDisabled).
    // Enabling looks at what is stored again.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled);
    // Sending stops while any object holds the unit paused; logs are still
    // stored meanwhile.
    void pauseWithIdentifyingObject(const void* identifyingObject);
    void resumeWithIdentifyingObject(const void* identifyingObject);
    // Stored logs of that token's target key are left out of batches while
    // paused.
    void pauseSendingLogsWithToken(const std::string& token);
    void resumeSendingLogsWithToken(const std::string& token);

    // On the logs queue: counts the group's stored logs and sends or starts
    // the flush timer accordingly. The group schedules it for a new unit.
    enum class FlushKind { everything, fullBatches };
    void checkPendingLogs(FlushKind whenFull = FlushKind::fullBatches);
    void countStoredLogsAndCheck();
    // On the logs queue: counts the stored logs again (other processes may
    // have stored some); full batches go, the rest waits for the timer.
    void recountStoredLogs();
    // On the logs queue: sends what is stored, batch by batch, up to the
    // pending-batch limit: everything (the timer, a resume, flushing), or
    // only full batches (the count reached a batch), the rest staying for
    // the timer.
    void flushQueue(FlushKind kind = FlushKind::everything);

    bool isEnabled() const { return mEnabled.load(); }
    bool isPaused() const { return mPaused.load(); }
    // Batches sent and not yet answered.
    std::size_t pendingBatchCount() const { return mPendingBatchCount.load(); }

    // "ChannelStartTimer:<groupId>"
    std::string startTimeKey() const;

    // Sent: an answer 2xx without error. Refused: any other answer but 408,
    // 429 and 5xx, or a batch the ingestion found it could never send.
    // Kept: everything else (no answer, or one that may change).
    static TLMBatchOutcome batchOutcome(const std::optional<platform::net::HTTPURLResponse>& response,
                                        const std::optional<platform::Error>& error);

private:
    template <typename Call>
    void notifyDelegates(Call&& call);

    // A log enqueued and not yet stored; without a log, the place of a
    // switch among the logs.
    struct WaitingLog {
        std::shared_ptr<TLMAbstractLog> log;
        std::string internalId;
        TLMFlags flags = TLMFlagsDefault;
        bool save = true;       // false: filtered out or dropped, only completed
        std::size_t bytes = 0;  // in memory; measured once, 0 until the bound needs it
        // Made when it was measured, and saved as it is.
        std::shared_ptr<const std::vector<std::uint8_t>> archive{};
    };
    // The end of a batch's send, waiting for the logs queue.
    struct BatchAnswer {
        std::shared_ptr<const TLMLogContainer> batch;
        std::optional<platform::net::HTTPURLResponse> response;
        std::optional<platform::Error> error;
    };

    // Queues `block` on the logs queue after every log enqueued before and
    // before every log enqueued after.
    void asyncInOrder(std::function<void()> block);
    // On the logs queue: the logs that waited when the block `ticket` began,
    // up to the next switch, a batch at a time, each after the answers that
    // came.
    void storeWaitingLogs(std::uint64_t ticket);
    // Without `trySaving`, the logs to save are kept as if refused.
    void storeLogs(std::vector<WaitingLog> logs, bool trySaving);
    void takeAnswers();
    // On the logs queue: saves the kept logs, then `fresh`, in one go and
    // in order; tells the delegates of those stored or given up and keeps
    // those the log database refused. The number stored.
    std::uint64_t saveInOrder(std::vector<WaitingLog> fresh, bool trySaving = true);
    // On the logs queue: drops kept logs past kRefusedBytesLimit and tells
    // enqueueItem what is kept.
    void boundKeptLogs();
    // Under mWaitingMutex, while saves cannot go: drops waiting logs in the
    // eviction order until `entry` fits the bound, or `entry` itself when
    // none may go for it (false). The dropped, to be completed, go to
    // `dropped`.
    bool makeRoom(WaitingLog& entry, std::vector<WaitingLog>& dropped);
    // Tells the delegates the unit is done with the log, and frees its bytes.
    void completeEnqueueing(const WaitingLog& waiting);
    // On the logs queue: `count` logs were just stored.
    void countStored(std::uint64_t count);
    // Reads the stored count into mStoredCount; false (the count unknown)
    // when the file was held.
    bool readStoredCount();
    // On the logs queue: while logs are kept, saving them is tried again
    // after the flush interval, also when the unit is paused or disabled.
    void retryKeptLogs();
    // On the logs queue: whether the pause after a refusal is over.
    bool mayTrySaving() const;
    // On the logs queue, after a try: begins, goes on with or ends the
    // refusal period; after a refusal that came back at once, the next try
    // waits for the pause.
    void noteSaveTried(bool keptBefore, std::uint64_t newlyKept);
    void endRefusal();
    // On the logs queue: the kept logs tried again once the pause is over.
    void retryAfterPause();
    // On the logs queue, before each batch: true when this process may load
    // stored logs, taking the sender lock if it is free (TLMSenderLock::mayLoad).
    bool maySend();
    // On the logs queue: the warning that counts the waiting logs dropped,
    // at most one each flush interval; one held back comes at its time.
    void reportDroppedLogs();
    // Whether logs enqueued are still to be stored (switches aside).
    bool logsWaiting();
    bool sendOneBatch();
    void batchEnded(const TLMLogContainer& batch, const std::optional<platform::net::HTTPURLResponse>& response,
                    const std::optional<platform::Error>& error);
    void deleteStoredLogs();
    // What is left of the flush interval, using and keeping the stored start
    // time for intervals longer than the default.
    platform::Clock::Duration resolveFlushInterval();
    void startTimer(platform::Clock::Duration delay);
    void cancelTimer();

    const TLMChannelUnitConfiguration mConfiguration;
    const std::shared_ptr<TLMIngestionProtocol> mIngestion;
    const std::shared_ptr<TLMStorage> mStorage;
    const std::shared_ptr<platform::DispatchQueue> mLogsDispatchQueue;
    const std::shared_ptr<TLMSenderLock> mSenderLock;  // used on the logs queue

    TLMDelegateList<TLMChannelDelegate> mDelegates;

    // Filled on any thread, emptied on the logs queue. Blocks are queued
    // under the lock, so they come in the order of mWaiting.
    std::mutex mWaitingMutex;
    std::deque<WaitingLog> mWaiting;
    // In mWaiting, switches aside; changed under the lock, read without.
    std::atomic<std::size_t> mWaitingLogs{0};
    // The block queued for the logs since the last switch, not begun yet;
    // 0 when there is none.
    std::uint64_t mStoreTicket = 0;
    std::uint64_t mLastTicket = 0;
    std::uint64_t mDroppedWaiting = 0;  // not yet counted in a warning
    std::uint64_t mDroppedTotal = 0;
    // Whether the logs queue keeps logs the log database refused.
    std::atomic<bool> mRefused{false};
    // The memory of every log enqueued and not yet completed: waiting,
    // being saved or kept. Grows under the lock; shrinks anywhere.
    std::atomic<std::size_t> mHeldBytes{0};
    // Under mWaitingMutex: a log enqueued while saves went may be waiting
    // unmeasured.
    bool mUnmeasuredWaiting = false;
    std::vector<BatchAnswer> mAnswers;

    // Written on the logs queue only; atomics so that they can be read
    // anywhere.
    std::atomic<bool> mEnabled{true};
    std::atomic<bool> mPaused{false};
    std::atomic<std::size_t> mPendingBatchCount{0};

    // The logs queue's own.
    // Stored and not yet in a batch; none while a held file keeps it unread.
    std::optional<std::uint64_t> mStoredCount = 0;
    // Logs of this process's batches that stay stored: on their way, or
    // kept for the next start. A count of the stored logs leaves them out.
    std::uint64_t mLogsInBatches = 0;
    std::deque<WaitingLog> mKept;  // refused for now, oldest first
    std::optional<platform::Clock::Date> mLastDropWarning;
    bool mDropReportScheduled = false;
    std::set<std::string> mPendingBatchIds;
    bool mAvailableBatchFromStorage = false;
    std::set<const void*> mPausedIdentifyingObjects;
    std::set<std::string> mPausedTargetKeys;
    std::uint64_t mTimerGeneration = 0;
    bool mTimerRunning = false;
    // No try before this, after a refusal that came back at once.
    std::optional<platform::Clock::Instant> mNextTry;
    platform::Clock::Duration mRetryDelay{};
    std::uint64_t mRetryGeneration = 0;
    // The refusal under way: since when, the logs it kept, the drops before.
    platform::Clock::Instant mRefusalBegan{};
    std::uint64_t mRefusalKept = 0;
    std::uint64_t mDroppedBeforeRefusal = 0;
};
