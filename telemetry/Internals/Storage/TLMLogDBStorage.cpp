#include "telemetry/Internals/Storage/TLMLogDBStorage.h"

#include "platform/foundation/TextParts.h"
#include "platform/security/Crypto.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>

namespace {

const char* const kTable = "logs";
const char* const kIdColumn = "id";
const char* const kGroupIdColumn = "groupId";
const char* const kLogColumn = "log";
const char* const kTargetTokenColumn = "targetToken";
const char* const kTargetKeyColumn = "targetKey";
const char* const kPriorityColumn = "priority";

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string Describe(const platform::Value& value) {
    if (const std::int64_t* number = value.asInteger()) return std::to_string(*number);
    if (const std::string* text = value.asString()) return *text;
    return "";
}

// A few values as they are; more (a batch's identifiers, at every try) by
// their count, first and last, so that a deletion that keeps failing does
// not fill the log.
std::string Describe(const std::vector<platform::Value>& values) {
    constexpr std::size_t kListed = 3;
    if (values.size() <= kListed) {
        std::vector<std::string> texts;
        for (const platform::Value& value : values) texts.push_back(Describe(value));
        return "value(s) '" + platform::joined(texts, "','") + "'";
    }
    return std::to_string(values.size()) + " values from '" + Describe(values.front()) + "' to '" +
           Describe(values.back()) + "'";
}

// Base64 with anything outside its alphabet left out, as damaged rows may
// hold line breaks or blanks.
std::optional<std::vector<std::uint8_t>> DecodeBase64IgnoringUnknown(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
            c == '=') {
            kept += c;
        }
    }
    return platform::security::base64Decode(kept);
}

// The file held by another connection, damaged and not made anew yet (it
// is, a while after the last time), write-protected, not openable, on a
// full disk, or failing to read or write: the same save may work later.
// A database full at its own limit is SQLITE_FULL from a single insertion
// and is not this.
bool RefusedForNow(int code) {
    const int primary = code & 0xFF;
    return TLMDBStorage::isRefusedForNowResult(code) || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// An insertion refused as full while the database is below its own limit,
// or whose evictions cannot be written: the disk is full, and evicting
// logs frees nothing. Primary code FULL, an extension SQLite does not use.
constexpr int kDiskFull = SQLITE_FULL | (1 << 8);

}  // namespace

const TLMDBSchema& TLMLogDBStorage::logsSchema() {
    static const TLMDBSchema schema = {{kTable,
                                        {{kIdColumn, {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}},
                                         {kGroupIdColumn, {"TEXT", "NOT NULL"}},
                                         {kLogColumn, {"TEXT", "NOT NULL"}},
                                         {kTargetTokenColumn, {"TEXT"}},
                                         {kTargetKeyColumn, {"TEXT"}},
                                         {kPriorityColumn, {"INTEGER"}}}}};
    return schema;
}

TLMLogDBStorage::TLMLogDBStorage() : TLMDBStorage(DeferConfiguration{}, logsSchema(), kSchemaVersion, kFileName) {
    const auto indexes = columnsIndexes(schema()).at(kTable);
    mIdColumnIndex = indexes.at(kIdColumn);
    mGroupIdColumnIndex = indexes.at(kGroupIdColumn);
    mLogColumnIndex = indexes.at(kLogColumn);
    mTargetTokenColumnIndex = indexes.at(kTargetTokenColumn);
    initializeDatabase();
}

void TLMLogDBStorage::customizeDatabase(sqlite3* db) {
    // Batches of an earlier file are told by their file identifier.
    createPriorityIndex(db);
}

int TLMLogDBStorage::migrateDatabase(sqlite3* db, std::uint64_t fromVersion) {
    // Every version before this one is emptied (its table lacks columns we
    // write); the hook works on the connection of the configuration.
    int result = SQLITE_OK;
    if (tableExists(kTable, db, &result)) result = executeNonSelectionQuery("DROP TABLE " + Quoted(kTable) + ";", db);
    if (result == SQLITE_OK) result = createTablesWithSchema(schema(), db);
    if (result == SQLITE_OK) result = createPriorityIndex(db);
    return result;
}

int TLMLogDBStorage::createPriorityIndex(sqlite3* db) {
    // Another instance of the app starting at once may have made it.
    const std::string query = "CREATE INDEX IF NOT EXISTS \"ix_" + std::string(kTable) + "_" + kPriorityColumn +
                              "\" ON " + Quoted(kTable) + " (" + Quoted(kPriorityColumn) + ")";
    return executeNonSelectionQuery(query, db);
}

void TLMLogDBStorage::setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) {
    deleteUndeletedRows();
    TLMDBStorage::setMaxStorageSize(sizeInBytes, completionHandler);
}

bool TLMLogDBStorage::targetColumnsForLog(const TLMAbstractLog& log, std::optional<TargetColumns>& columns) {
    columns.reset();
    if (dynamic_cast<const TLMUnifiedSchemaLog*>(&log) == nullptr) return true;
    columns.emplace();
    const auto tokens = log.transmissionTargetTokens();
    if (!tokens || tokens->empty()) return true;
    // A unified-schema log is made for exactly one token.
    const std::string& token = *tokens->begin();
    columns->encryptedToken = mTargetTokenEncrypter.encryptString(token);
    if (!columns->encryptedToken) {
        TLMLogError(kTLMLogTag, "Failed to encrypt the target token of a log; the log is not stored.");
        return false;
    }
    columns->targetKey = TLMUtility::targetKeyFromTargetToken(token);
    return true;
}

std::optional<TLMLogDBStorage::PreparedLog> TLMLogDBStorage::prepareLog(const TLMLogToSave& item,
                                                                        const std::string& groupId) {
    const std::shared_ptr<TLMAbstractLog>& log = item.log;
    if (!log) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> made;
    if (!item.archive) made = TLMUtility::archiveKeyedData(TLMArchiveValue(log));
    const std::vector<std::uint8_t>* archive = item.archive ? item.archive.get() : made ? &*made : nullptr;
    if (!archive) return std::nullopt;
    PreparedLog prepared;
    prepared.base64 = platform::security::base64Encode(*archive);
    prepared.priority = item.flags & 0xFF;

    TLMStorageBindableArray& values = prepared.values;
    values.addString(groupId);
    values.addString(prepared.base64);
    std::string columns = Quoted(kGroupIdColumn) + ", " + Quoted(kLogColumn);
    std::optional<TargetColumns> target;
    if (!targetColumnsForLog(*log, target)) return std::nullopt;
    if (target) {
        values.addString(target->encryptedToken);
        values.addString(target->targetKey);
        columns += ", " + Quoted(kTargetTokenColumn) + ", " + Quoted(kTargetKeyColumn);
    }
    values.addNumber(prepared.priority);
    columns += ", " + Quoted(kPriorityColumn);
    // From a SELECT rather than VALUES: SQLite then gives the statement a
    // journal of its own, so a full database undoes the statement alone
    // and the transaction of a group goes on with the evictions; after a
    // plain VALUES it gives up the whole transaction.
    const std::string placeholders = buildKeyFormatWithCount(values.size());
    prepared.insert = "INSERT INTO " + Quoted(kTable) + " (" + columns + ") SELECT " +
                      placeholders.substr(1, placeholders.size() - 2);
    return prepared;
}

bool TLMLogDBStorage::saveLog(const std::shared_ptr<TLMAbstractLog>& log, const std::string& groupId, TLMFlags flags) {
    return saveLogs({{log, flags}}, groupId).front() == TLMSaveOutcome::Stored;
}

int TLMLogDBStorage::insertLog(sqlite3* db, const PreparedLog& log, std::int64_t maxSize, bool inTransaction,
                               std::int64_t& rowId) {
    if (static_cast<std::int64_t>(log.base64.size()) >= maxSize) {
        TLMLogError(kTLMLogTag,
                    "Log is too large (%zu bytes) to store in database. Current maximum database size is %lld bytes.",
                    log.base64.size(), static_cast<long long>(maxSize));
        return SQLITE_TOOBIG;
    }
    // SQLite may give up a whole transaction on a full database; what
    // follows must not run outside it.
    const auto transactionLost = [&] { return inTransaction && sqlite3_get_autocommit(db) != 0; };
    int code = executeNonSelectionQuery(log.insert, db, log.values);
    // Room for the row with a split of the table and of the index.
    const std::int64_t pagesNeeded =
        static_cast<std::int64_t>(log.base64.size()) / std::max<std::int64_t>(pageSize(), 1) + 3;
    const auto belowOwnLimit = [&] {
        int read = SQLITE_OK;
        const std::int64_t maxPages = getMaxPageCountInOpenedDatabase(db, &read);
        return read == SQLITE_OK && getPageCountInOpenedDatabase(db) + pagesNeeded <= maxPages;
    };
    long deleted = 0;
    // The oldest log of equal or lower priority, of any group, makes room,
    // one at a time until the new one fits. Each is the first of what is
    // left, so the order is that of one list read before the first.
    TLMStorageBindableArray candidateValues;
    candidateValues.addNumber(log.priority);
    const std::string nextCandidate = "SELECT " + Quoted(kIdColumn) + " FROM " + Quoted(kTable) + " WHERE " +
                                      Quoted(kPriorityColumn) + " <= ? ORDER BY " + Quoted(kPriorityColumn) + " ASC, " +
                                      Quoted(kIdColumn) + " ASC LIMIT 1";
    while (code == SQLITE_FULL && !transactionLost()) {
        if (belowOwnLimit()) {
            code = kDiskFull;
            break;
        }
        int selected = SQLITE_OK;
        const std::vector<TLMDBRow> candidate = executeSelectionQuery(nextCandidate, db, &selected, candidateValues);
        if (selected != SQLITE_OK) {
            code = selected;
            break;
        }
        if (candidate.empty()) break;
        const long long id = candidate.front().front().numberAsInteger().value_or(0);
        code = deleteLogsFromDBWithColumnValues({candidate.front().front()}, kIdColumn, db);
        if ((code & 0xFF) == SQLITE_FULL) code = kDiskFull;
        if (code != SQLITE_OK) break;
        ++deleted;
        TLMLogDebug(kTLMLogTag, "Deleted a log with id %lld to store a new log.", id);
        code = executeNonSelectionQuery(log.insert, db, log.values);
    }
    if (code != SQLITE_OK && transactionLost()) return SQLITE_ABORT;
    if (deleted > 0) {
        TLMLogDebug(kTLMLogTag,
                    "Log storage was over capacity, %ld oldest log(s) with equal or lower priority deleted.", deleted);
    }
    if (code == SQLITE_OK) {
        rowId = sqlite3_last_insert_rowid(db);
    } else if (code == SQLITE_FULL) {
        TLMLogError(kTLMLogTag, "Storage is full and no logs with equal or lower priority exist; discarding the log.");
    } else if (code == kDiskFull) {
        TLMLogDebug(kTLMLogTag, "The disk is full below the database's own limit; no log is evicted.");
    }
    return code;
}

int TLMLogDBStorage::storeLog(const TLMLogToSave& item, const std::string& groupId) {
    const std::optional<PreparedLog> prepared = prepareLog(item, groupId);
    if (!prepared) return SQLITE_ERROR;
    return executeQueryUsingBlock([&](sqlite3* db) {
        int code = SQLITE_OK;
        // Unread (the file held) it is no size at all.
        const std::int64_t maxSize = pageSize() * getMaxPageCountInOpenedDatabase(db, &code);
        if (code != SQLITE_OK) return code;
        std::int64_t rowId = 0;
        code = insertLog(db, *prepared, maxSize, true, rowId);
        if (code == SQLITE_OK)
            TLMLogVerbose(kTLMLogTag, "Log is stored with id: '%lld'", static_cast<long long>(rowId));
        return code;
    });
}

std::vector<TLMSaveOutcome> TLMLogDBStorage::saveLogs(const std::vector<TLMLogToSave>& logs,
                                                      const std::string& groupId) {
    deleteUndeletedRows();
    if (logs.empty()) return {};
    // One transaction for the group: one sync of the journal and the file
    // for all of them instead of one each, and one connection, also for
    // the evictions of a full database. The default full sync stays, so a
    // log counts as stored only once its group's commit is on the disk; a
    // crash before loses the group as it would have lost the logs still
    // queued.
    std::vector<std::optional<PreparedLog>> prepared;
    // Each log's own code: stored, too large, or full with nothing to evict.
    std::vector<int> codes;
    std::vector<std::int64_t> rowIds;
    bool ran = false;
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        ran = true;
        codes.assign(logs.size(), SQLITE_ERROR);
        rowIds.assign(logs.size(), 0);
        // Read in the block: a damaged file made anew may have another.
        int code = SQLITE_OK;
        const std::int64_t maxSize = pageSize() * getMaxPageCountInOpenedDatabase(db, &code);
        if (code != SQLITE_OK) return code;
        // Archived only once the file can be read: logs a held file keeps
        // refusing are tried again and again.
        if (prepared.empty()) {
            prepared.reserve(logs.size());
            for (const TLMLogToSave& item : logs) prepared.push_back(prepareLog(item, groupId));
        }
        // The operation's transaction holds the group; it is rolled back
        // when this fails.
        for (std::size_t i = 0; code == SQLITE_OK && i < prepared.size(); ++i) {
            if (!prepared[i]) continue;
            codes[i] = insertLog(db, *prepared[i], maxSize, true, rowIds[i]);
            // Any other failure ends the transaction.
            if (codes[i] != SQLITE_OK && codes[i] != SQLITE_FULL && codes[i] != SQLITE_TOOBIG) code = codes[i];
        }
        return code;
    });
    const bool committed = ran && result == SQLITE_OK;
    // Held by another connection (set-up still pending, or the statements
    // waited in vain), or damaged and not yet made anew: one log at a time
    // would meet the same.
    const bool later = RefusedForNow(result);
    std::vector<TLMSaveOutcome> outcomes(logs.size(), TLMSaveOutcome::Failed);
    for (std::size_t i = 0; i < logs.size(); ++i) {
        // Unprepared: refused before it was archived, or it cannot be.
        const bool unprepared = i < prepared.size() && !prepared[i];
        if (unprepared) continue;
        if (committed) {
            if (codes[i] != SQLITE_OK) continue;
            outcomes[i] = TLMSaveOutcome::Stored;
            TLMLogVerbose(kTLMLogTag, "Log is stored with id: '%lld'", static_cast<long long>(rowIds[i]));
        } else if (later) {
            // One too large fails whenever it is tried.
            outcomes[i] = ran && codes[i] == SQLITE_TOOBIG ? TLMSaveOutcome::Failed : TLMSaveOutcome::Later;
        } else if (ran && logs.size() > 1) {
            // Nothing of a failed transaction stays, so each goes once more,
            // alone.
            const int alone = storeLog(logs[i], groupId);
            // Full at its own limit with nothing to evict, it fails.
            const bool later = alone != SQLITE_FULL && RefusedForNow(alone);
            outcomes[i] =
                alone == SQLITE_OK ? TLMSaveOutcome::Stored : (later ? TLMSaveOutcome::Later : TLMSaveOutcome::Failed);
        }
    }
    return outcomes;
}

std::uint64_t TLMLogDBStorage::countLogs() {
    deleteUndeletedRows();
    return countEntriesForTable(kTable, "", {});
}

std::optional<std::uint64_t> TLMLogDBStorage::countLogsWithGroupId(const std::string& groupId) {
    deleteUndeletedRows();
    TLMStorageBindableArray values;
    values.addString(groupId);
    int result = SQLITE_OK;
    const std::uint64_t count = countEntriesForTable(kTable, Quoted(kGroupIdColumn) + " = ?", values, &result);
    if (isBusyResult(result)) return std::nullopt;
    return count;
}

bool TLMLogDBStorage::loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                                          const std::optional<std::vector<std::string>>& excludedTargetKeys,
                                          const TLMLoadDataCompletionHandler& completionHandler) {
    deleteUndeletedRows();
    std::vector<TLMDBRow> rows;
    std::int64_t fileId = 0;
    // The rows pending in this very file are left out: those of a batch of
    // another file are other logs here.
    executeQueryUsingBlock(
        [&](sqlite3* db) {
            fileId = workFileId();
            std::vector<std::int64_t> pendingIds;
            if (const auto group = mBatches.find(groupId); group != mBatches.end()) {
                for (const auto& [batchId, batch] : group->second) {
                    if (batch.fileId == fileId) pendingIds.insert(pendingIds.end(), batch.ids.begin(), batch.ids.end());
                }
            }
            // Sent already, their deletion still to come.
            if (const auto group = mUndeleted.find(groupId); group != mUndeleted.end()) {
                if (const auto ids = group->second.find(fileId); ids != group->second.end()) {
                    pendingIds.insert(pendingIds.end(), ids->second.begin(), ids->second.end());
                }
            }
            TLMStorageBindableArray values;
            values.addString(groupId);
            std::string condition = Quoted(kGroupIdColumn) + " = ?";
            if (excludedTargetKeys && !excludedTargetKeys->empty()) {
                // Logs without a target key belong to no paused target.
                condition += " AND (" + Quoted(kTargetKeyColumn) + " IS NULL OR " + Quoted(kTargetKeyColumn) +
                             " NOT IN " + buildKeyFormatWithCount(excludedTargetKeys->size()) + ")";
                for (const std::string& key : *excludedTargetKeys) values.addString(key);
            }
            if (!pendingIds.empty()) {
                condition += " AND " + Quoted(kIdColumn) + " NOT IN " + buildKeyFormatWithCount(pendingIds.size());
                for (const std::int64_t id : pendingIds) values.addNumber(id);
            }
            // SQLite's LIMIT is a signed 64-bit number.
            const std::uint64_t maxLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
            const std::uint64_t queryLimit = limit >= maxLimit ? maxLimit : limit + 1;
            condition += " ORDER BY " + Quoted(kPriorityColumn) + " DESC, " + Quoted(kIdColumn) + " ASC LIMIT " +
                         std::to_string(queryLimit);
            int code = SQLITE_OK;
            rows = executeSelectionQuery("SELECT * FROM " + Quoted(kTable) + " WHERE " + condition, db, &code, values);
            return code;
        },
        Access::Read);

    std::vector<TLMStoredLog> stored = logsOfRows(rows, fileId);
    const bool moreLogsAvailable = stored.size() > limit;
    if (moreLogsAvailable) stored.resize(limit);

    std::vector<std::int64_t> ids;
    std::vector<std::shared_ptr<TLMAbstractLog>> logs;
    for (const TLMStoredLog& entry : stored) {
        ids.push_back(entry.id);
        logs.push_back(entry.log);
    }
    std::optional<std::string> batchId;
    if (!logs.empty()) {
        batchId = TLMNewUuidString();
        std::vector<std::string> idTexts;
        for (const std::int64_t id : ids) idTexts.push_back(std::to_string(id));
        mBatches[groupId][*batchId] = {fileId, std::move(ids)};
        const std::string joined = platform::joined(idTexts, "','");
        TLMLogVerbose(kTLMLogTag, "Load log(s) with id(s) '%s' as batch Id:%s", joined.c_str(), batchId->c_str());
    }
    if (completionHandler) completionHandler(logs, batchId);
    return moreLogsAvailable;
}

std::vector<TLMStoredLog> TLMLogDBStorage::logsWithCondition(const std::string& condition,
                                                             const TLMStorageBindableArray& values) {
    std::string query = "SELECT * FROM " + Quoted(kTable);
    if (!condition.empty()) query += " WHERE " + condition;
    std::vector<TLMDBRow> rows;
    std::int64_t fileId = 0;
    executeQueryUsingBlock(
        [&](sqlite3* db) {
            fileId = workFileId();
            int code = SQLITE_OK;
            rows = executeSelectionQuery(query, db, &code, values);
            return code;
        },
        Access::Read);
    return logsOfRows(rows, fileId);
}

std::vector<TLMStoredLog> TLMLogDBStorage::logsOfRows(const std::vector<TLMDBRow>& rows, std::int64_t fileId) {
    std::vector<TLMStoredLog> logs;
    for (const TLMDBRow& row : rows) {
        if (row.size() <= std::max({mIdColumnIndex, mLogColumnIndex, mTargetTokenColumnIndex})) continue;
        const std::int64_t id = row[mIdColumnIndex].numberAsInteger().value_or(0);
        const std::string* text = row[mLogColumnIndex].asString();
        std::shared_ptr<TLMAbstractLog> log;
        if (text != nullptr) {
            if (const auto data = DecodeBase64IgnoringUnknown(*text)) {
                // Texts an older build or the app stored as they came (a
                // host's Latin-1) are sent mended rather than dropped.
                if (const auto value = TLMUtility::unarchiveKeyedData(*data, TLMKeyedUnarchiver::Texts::Mended)) {
                    if (const TLMArchiveValue::Object* object = value->asObject()) {
                        log = std::dynamic_pointer_cast<TLMAbstractLog>(*object);
                    }
                }
            }
        }
        const long long logId = id;
        if (!log) {
            TLMLogError(kTLMLogTag, "Deserialization failed for log with Id %lld", logId);
            deleteIdsOfFile({platform::Value(id)}, fileId);
            continue;
        }
        if (const std::string* token = row[mTargetTokenColumnIndex].asString()) {
            if (token->empty()) {
                TLMLogError(kTLMLogTag, "Unexpected empty target token for log with Id %lld.", logId);
            } else if (const std::optional<std::string> plain = mTargetTokenEncrypter.decryptString(*token)) {
                log->addTransmissionTargetToken(*plain);
            } else {
                TLMLogError(kTLMLogTag, "Failed to decrypt the target token for log with Id %lld.", logId);
            }
        }
        logs.push_back({id, std::move(log)});
    }
    return logs;
}

std::vector<std::shared_ptr<TLMAbstractLog>> TLMLogDBStorage::logsFromDBWithGroupId(const std::string& groupId) {
    TLMStorageBindableArray values;
    values.addString(groupId);
    std::vector<std::shared_ptr<TLMAbstractLog>> logs;
    for (TLMStoredLog& entry : logsWithCondition(Quoted(kGroupIdColumn) + " = ?", values)) {
        logs.push_back(std::move(entry.log));
    }
    return logs;
}

std::vector<std::shared_ptr<TLMAbstractLog>> TLMLogDBStorage::deleteLogsWithGroupId(const std::string& groupId) {
    deleteUndeletedRows();
    std::vector<std::shared_ptr<TLMAbstractLog>> logs = logsFromDBWithGroupId(groupId);
    if (deleteLogsFromDBWithColumnValue(platform::Value(groupId), kGroupIdColumn) == SQLITE_OK) {
        mUndeleted.erase(groupId);
    }
    mBatches.erase(groupId);
    return logs;
}

void TLMLogDBStorage::deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) {
    const auto group = mBatches.find(groupId);
    if (group == mBatches.end()) return deleteUndeletedRows();
    const auto batch = group->second.find(batchId);
    if (batch == group->second.end()) return deleteUndeletedRows();
    // The batch was answered: its rows must not go again, so they stay out
    // of every load until their deletion succeeds, whatever it meets (a
    // file held past the wait; a damaged file made anew forgets them with
    // the batches).
    std::vector<std::int64_t>& undeleted = mUndeleted[groupId][batch->second.fileId];
    undeleted.insert(undeleted.end(), batch->second.ids.begin(), batch->second.ids.end());
    const std::size_t count = batch->second.ids.size();
    group->second.erase(batch);
    if (group->second.empty()) mBatches.erase(group);
    deleteUndeletedRows();
    if (!mUndeleted.empty()) {
        TLMLogWarning(kTLMLogTag,
                      "The %zu log(s) of batch Id %s could not be deleted; they are not loaded again and are deleted "
                      "at the next operation.",
                      count, batchId.c_str());
    }
}

void TLMLogDBStorage::deleteUndeletedRows() {
    if (mUndeleted.empty()) return;
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        // Those of another file name other logs here: they are forgotten
        // with the rows of this one, deleted.
        std::vector<platform::Value> ids;
        for (const auto& [groupId, files] : mUndeleted) {
            if (const auto found = files.find(workFileId()); found != files.end()) {
                ids.insert(ids.end(), found->second.begin(), found->second.end());
            }
        }
        return ids.empty() ? SQLITE_OK : deleteLogsFromDBWithColumnValues(ids, kIdColumn, db);
    });
    if (result == SQLITE_OK) mUndeleted.clear();
}

int TLMLogDBStorage::deleteIdsOfFile(const std::vector<platform::Value>& ids, std::int64_t fileId) {
    return executeQueryUsingBlock([&](sqlite3* db) {
        if (workFileId() != fileId) return SQLITE_OK;
        return deleteLogsFromDBWithColumnValues(ids, kIdColumn, db);
    });
}

int TLMLogDBStorage::deleteLogFromDBWithId(std::int64_t logId) {
    return deleteLogsFromDBWithColumnValue(platform::Value(logId), kIdColumn);
}

int TLMLogDBStorage::deleteLogsFromDBWithColumnValue(const platform::Value& columnValue,
                                                     const std::string& columnName) {
    return deleteLogsFromDBWithColumnValues({columnValue}, columnName);
}

int TLMLogDBStorage::deleteLogsFromDBWithColumnValues(const std::vector<platform::Value>& columnValues,
                                                      const std::string& columnName) {
    return executeQueryUsingBlock(
        [&](sqlite3* db) { return deleteLogsFromDBWithColumnValues(columnValues, columnName, db); });
}

int TLMLogDBStorage::deleteLogsFromDBWithColumnValues(const std::vector<platform::Value>& columnValues,
                                                      const std::string& columnName, sqlite3* db) {
    TLMStorageBindableArray values;
    for (const platform::Value& value : columnValues) {
        if (const std::int64_t* number = value.asInteger()) {
            values.addNumber(*number);
        } else {
            values.addString(value.asString() ? std::optional<std::string>(*value.asString()) : std::nullopt);
        }
    }
    const std::string query = "DELETE FROM " + Quoted(kTable) + " WHERE " + Quoted(columnName) + " IN " +
                              buildKeyFormatWithCount(columnValues.size());
    const int result = executeNonSelectionQuery(query, db, values);
    const std::string description = "Deletion of log(s) by " + columnName + " with " + Describe(columnValues);
    if (result == SQLITE_OK) {
        TLMLogVerbose(kTLMLogTag, "%s succeeded.", description.c_str());
    } else {
        TLMLogError(kTLMLogTag, "%s failed.", description.c_str());
    }
    return result;
}

std::string TLMLogDBStorage::buildKeyFormatWithCount(std::size_t count) {
    std::string format = "(";
    for (std::size_t i = 0; i < count; ++i) format += i == 0 ? "?" : ",?";
    return format + ")";
}
