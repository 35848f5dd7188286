#pragma once
// What the channels need of log storage: save a log for a group, load a
// batch of a group's logs by priority, and delete a sent batch or a whole
// group.

#include "telemetry/TLMFlags.h"
#include "telemetry/core/Model/TLMAbstractLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The logs of a batch and its identifier (none when no log was loaded).
using TLMLoadDataCompletionHandler = std::function<void(const std::vector<std::shared_ptr<TLMAbstractLog>>& logArray,
                                                        const std::optional<std::string>& batchId)>;

// What became of a log handed to the storage.
enum class TLMSaveOutcome {
    Stored,
    Failed,  // for good: it will not be stored
    // Refused for now (another connection held the file, it is damaged and
    // not yet made anew, write-protected or on a full disk, or cannot be
    // opened): saving it again later may work.
    Later,
};

// A log to save with the flags it was enqueued with, and its keyed archive
// when the caller made it already (a log kept for a later try is archived
// once).
struct TLMLogToSave {
    std::shared_ptr<TLMAbstractLog> log;
    TLMFlags flags = TLMFlagsDefault;
    std::shared_ptr<const std::vector<std::uint8_t>> archive{};
};

class TLMStorage {
public:
    virtual ~TLMStorage() = default;

    // True when the log was stored; the low byte of the flags is its
    // priority.
    virtual bool saveLog(const std::shared_ptr<TLMAbstractLog>& log, const std::string& groupId, TLMFlags flags) = 0;
    // Saves the logs of one group as saveLog would, one after the other;
    // for each, in order, what became of it. A storage may do it in one go
    // (the log database: one transaction).
    virtual std::vector<TLMSaveOutcome> saveLogs(const std::vector<TLMLogToSave>& logs, const std::string& groupId) {
        std::vector<TLMSaveOutcome> outcomes;
        outcomes.reserve(logs.size());
        for (const TLMLogToSave& item : logs) {
            outcomes.push_back(saveLog(item.log, groupId, item.flags) ? TLMSaveOutcome::Stored
                                                                      : TLMSaveOutcome::Failed);
        }
        return outcomes;
    }
    // Every stored log, of every group.
    virtual std::uint64_t countLogs() = 0;
    // The stored logs of one group, those in pending batches included; none
    // when another connection held the file so that they could not be
    // counted.
    virtual std::optional<std::uint64_t> countLogsWithGroupId(const std::string& groupId) = 0;
    // The logs that were deleted.
    virtual std::vector<std::shared_ptr<TLMAbstractLog>> deleteLogsWithGroupId(const std::string& groupId) = 0;
    virtual void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) = 0;
    // Hands at most `limit` logs of the group that no pending batch holds,
    // highest priority first, then oldest, to the handler (may be empty)
    // before it returns; true when more were waiting.
    virtual bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                                     const std::optional<std::vector<std::string>>& excludedTargetKeys,
                                     const TLMLoadDataCompletionHandler& completionHandler) = 0;
    virtual void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) = 0;
    // From any thread: whether another connection holds the file, as the
    // last operation found it (one still waiting for it included). What
    // comes meanwhile waits too.
    virtual bool isFileHeld() const { return false; }
};
