#pragma once
// The log database "Logs.sqlite": every telemetry log between its creation
// and its sending, one row each with its group, its keyed archive in
// Base64 and its priority. When the database is full a new log evicts the
// oldest logs of equal or lower priority, of any group. Loaded logs are
// recorded as a batch in memory (a new start can load them again) until
// the batch is deleted, with the identifier of the file they came from: a
// batch is deleted only in that file (or a copy of it), never in a file
// made anew whose rows reuse its row identifiers. A sent batch whose rows
// could not be deleted (the file held by another connection) stays out of
// every load, and its rows are deleted at the next operation that can.
//
// Not thread-safe: the channel group calls it from its one serial queue.

#include "telemetry/Internals/Storage/TLMDBStorage.h"
#include "telemetry/Internals/Storage/TLMStorage.h"
#include "telemetry/core/Util/TLMEncrypter.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A log read back with its row identifier.
struct TLMStoredLog {
    std::int64_t id = 0;
    std::shared_ptr<TLMAbstractLog> log;
};

class TLMLogDBStorage : public TLMDBStorage, public TLMStorage {
public:
    static constexpr std::uint64_t kSchemaVersion = 5;
    static constexpr const char* kFileName = "Logs.sqlite";
    static const TLMDBSchema& logsSchema();

    TLMLogDBStorage();

    bool saveLog(const std::shared_ptr<TLMAbstractLog>& log, const std::string& groupId, TLMFlags flags) override;
    // In one transaction, with the evictions a database full at its own
    // limit needs; when it fails otherwise, each log is tried once more
    // alone. When another connection held the file all along, or it is
    // damaged and not yet made anew, or cannot be opened, read or written
    // (write-protected, a full disk: then nothing is evicted), every log is
    // Later at once, none tried again. saveLog is a group of one.
    std::vector<TLMSaveOutcome> saveLogs(const std::vector<TLMLogToSave>& logs, const std::string& groupId) override;
    std::uint64_t countLogs() override;
    std::optional<std::uint64_t> countLogsWithGroupId(const std::string& groupId) override;
    std::vector<std::shared_ptr<TLMAbstractLog>> deleteLogsWithGroupId(const std::string& groupId) override;
    void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override;
    bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                             const std::optional<std::vector<std::string>>& excludedTargetKeys,
                             const TLMLoadDataCompletionHandler& completionHandler) override;
    void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) override;
    bool isFileHeld() const override { return fileHeldByAnother(); }

    std::vector<std::shared_ptr<TLMAbstractLog>> logsFromDBWithGroupId(const std::string& groupId);
    // The logs of the rows matching the condition (all when empty). A row
    // whose log cannot be read is deleted and left out.
    std::vector<TLMStoredLog> logsWithCondition(const std::string& condition, const TLMStorageBindableArray& values);
    int deleteLogFromDBWithId(std::int64_t logId);
    int deleteLogsFromDBWithColumnValue(const platform::Value& columnValue, const std::string& columnName);
    int deleteLogsFromDBWithColumnValues(const std::vector<platform::Value>& columnValues,
                                         const std::string& columnName);
    // The values (integers or strings) are bound, never written into the
    // statement.
    static int deleteLogsFromDBWithColumnValues(const std::vector<platform::Value>& columnValues,
                                                const std::string& columnName, sqlite3* db);
    // "(?,?,?)" for three.
    static std::string buildKeyFormatWithCount(std::size_t count);
    static int createPriorityIndex(sqlite3* db);

    // The rows of a pending batch and the file they came from.
    struct Batch {
        std::int64_t fileId = 0;
        std::vector<std::int64_t> ids;
        bool operator==(const Batch&) const = default;
    };
    // Each pending batch, by group and batch identifier.
    const std::map<std::string, std::map<std::string, Batch>>& batches() const { return mBatches; }

protected:
    void customizeDatabase(sqlite3* db) override;
    // Any older version whose table is not ours: the logs table is made
    // anew, empty.
    int migrateDatabase(sqlite3* db, std::uint64_t fromVersion) override;

private:
    // The encrypted transmission target token and its target key, stored
    // beside the archive of a unified-schema log so that sending can be
    // paused per target; each NULL when the log has no token or the token
    // no key.
    struct TargetColumns {
        std::optional<std::string> encryptedToken;
        std::optional<std::string> targetKey;
    };
    // The columns of a unified-schema log in `columns`; none for any other
    // log. False, with an error logged, when the token cannot be encrypted:
    // the log is not stored rather than keeping its token in the clear or
    // losing it.
    bool targetColumnsForLog(const TLMAbstractLog& log, std::optional<TargetColumns>& columns);

    // A log archived, with its INSERT and the values to bind.
    struct PreparedLog {
        std::string base64;
        std::string insert;
        TLMStorageBindableArray values;
        std::int64_t priority = 0;
    };
    // One log on its own connection, as one of a group whose transaction
    // failed: the SQLite code (SQLITE_ERROR for a log that cannot be
    // archived).
    int storeLog(const TLMLogToSave& item, const std::string& groupId);
    // One log on the open connection: inserted, or, when the database is
    // full, after the oldest logs of equal or lower priority were deleted
    // one at a time until it fits. SQLITE_TOOBIG for a log larger than the
    // database, SQLITE_FULL when there was nothing (more) to evict,
    // SQLITE_ABORT when SQLite gave up the transaction it ran in.
    int insertLog(sqlite3* db, const PreparedLog& log, std::int64_t maxSize, bool inTransaction, std::int64_t& rowId);
    std::optional<PreparedLog> prepareLog(const TLMLogToSave& item, const std::string& groupId);

    // Deletes the rows of deleted batches that a held file kept; they stay
    // recorded until that succeeds.
    void deleteUndeletedRows();
    // Deletes rows by identifier in the file `fileId` only: in another one
    // they name other logs, and nothing is deleted (SQLITE_OK).
    int deleteIdsOfFile(const std::vector<platform::Value>& ids, std::int64_t fileId);
    // Reads the rows of the condition; `fileId` gets the file's identifier.
    std::vector<TLMStoredLog> logsOfRows(const std::vector<TLMDBRow>& rows, std::int64_t fileId);

    std::map<std::string, std::map<std::string, Batch>> mBatches;
    // The identifiers of deleted batches whose rows are still to be deleted,
    // by group and file.
    std::map<std::string, std::map<std::int64_t, std::vector<std::int64_t>>> mUndeleted;
    std::size_t mIdColumnIndex = 0;
    std::size_t mGroupIdColumnIndex = 0;
    std::size_t mLogColumnIndex = 0;
    std::size_t mTargetTokenColumnIndex = 0;
    TLMEncrypter mTargetTokenEncrypter;
};
