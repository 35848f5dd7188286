#pragma once
// The telemetry client's small layer over one SQLite database file in the
// client's folder. Every operation opens its own connection, applies the
// maximum database size to it, does its work and closes it again, so no
// state but the file is shared between calls. After set-up a connection
// never creates the file: one removed (a cleaning tool emptying the folder)
// or left without our tables is set up anew at once and the work runs on
// the new file. Files found damaged, unusable or foreign are replaced
// under an exclusive lock between processes ("<file>.setup.lock"), and
// only while the path still names the file found so. Tables come from a schema
// description; the schema version is the database's "user_version", and an
// older one is handed to a migration hook. Set-up gives the file an
// identifier of its own in the transaction that makes its tables and writes
// its version; every operation runs in one transaction that first reads
// both, so a file not set up (an older release's, a half set-up, one
// emptied meanwhile) is set up before the work runs on it. A connection runs none of the
// file's triggers, in SQLite's defensive mode, and waits a while for
// another reader's lock (a backup, the sqlite3 shell). No operation throws:
// each gives an SQLite result code (0 OK, 11 CORRUPT, 13 FULL, 26 NOTADB,
// ...), false, an empty list or 0, and logs what went wrong.
//
// Not thread-safe: the telemetry client calls it from one serial queue.

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Value.h"
#include "telemetry/Internals/Storage/TLMStorageBindableArray.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One column: its name and the words of its declaration ("INTEGER",
// "PRIMARY KEY", ...).
struct TLMDBColumn {
    std::string name;
    std::vector<std::string> words;
};
using TLMDBColumnsSchema = std::vector<TLMDBColumn>;
// Table name to its columns, in order.
using TLMDBSchema = std::map<std::string, TLMDBColumnsSchema>;
// Table name to column name to the column's position in its table.
using TLMDBColumnsIndexes = std::map<std::string, std::map<std::string, std::size_t>>;

// A value read from a row: null, a string or a 64-bit integer.
using TLMDBRow = std::vector<platform::Value>;

struct TLMDBConnectionCloser {
    void operator()(sqlite3* db) const;
};
using TLMDBConnection = std::unique_ptr<sqlite3, TLMDBConnectionCloser>;

class TLMDBStorage {
public:
    // The maximum size every connection starts with.
    static constexpr std::int64_t kDefaultMaxSizeInBytes = 10 * 1024 * 1024;
    // After set-up, how long a file made anew is left alone when it is
    // found damaged again.
    static constexpr std::chrono::seconds kRebuildInterval{60};
    // How many foreign files are kept beside the database.
    static constexpr int kMaxSetAside = 3;
    // Where the database `dbFile` is set aside as the `n`th foreign file:
    // "<stem>.set-aside-<n><extension>" beside it.
    static std::filesystem::path setAsideFile(const std::filesystem::path& dbFile, int n);

    // Configures the database `filename` (relative to the client's folder):
    // creates the file and the schema's missing tables, keeps full
    // auto-vacuum and the version. A file that is corrupt, not a database or
    // of a write format SQLite only reads, where a table of the schema cannot
    // be made, which at our version holds another table of its name, or
    // which the migration fails on, is deleted and made anew. Found so by a
    // later operation, it is made anew and the operation runs again, at most
    // once in kRebuildInterval (by the platform clock); meanwhile its
    // failures are only returned. A file another connection holds is not
    // waited for here: the next operation sets it up, waiting as every
    // operation does; so does one refused for now otherwise
    // (write-protected, a full disk, a folder in its place), which is kept
    // as it is.
    TLMDBStorage(TLMDBSchema schema, std::uint64_t version, std::string filename);
    TLMDBStorage(std::uint64_t version, std::string filename);
    virtual ~TLMDBStorage() = default;

    TLMDBStorage(const TLMDBStorage&) = delete;
    TLMDBStorage& operator=(const TLMDBStorage&) = delete;

    const std::filesystem::path& dbFileURL() const { return mDbFileURL; }
    std::int64_t maxSizeInBytes() const { return mMaxSizeInBytes; }
    // 0 when the database was never configured.
    std::int64_t pageSize() const { return mPageSize; }
    const TLMDBSchema& schema() const { return mSchema; }

    // How an operation's transaction begins: a read leaves a write-protected
    // file readable; a write takes the file's write lock at once (waiting
    // for it as for any lock) rather than after its first read.
    enum class Access { Read, Write };

    // Opens a connection, limits its size and runs the block on it inside a
    // transaction, committed when the block gives SQLITE_OK and rolled back
    // otherwise; the block's code, or the code that kept it from running.
    // The block may not begin or end a transaction of its own.
    int executeQueryUsingBlock(const std::function<int(sqlite3*)>& callback, Access access = Access::Write);

    int executeNonSelectionQuery(const std::string& query);
    int executeNonSelectionQuery(const std::string& query, const TLMStorageBindableArray& values);
    // The rows; empty when the connection cannot be opened. `result` (may
    // be null) gets the code.
    std::vector<TLMDBRow> executeSelectionQuery(const std::string& query, const TLMStorageBindableArray& values,
                                                int* result = nullptr);
    // Rows of `table`, those matching `condition` when it is not empty.
    std::uint64_t countEntriesForTable(const std::string& table, const std::string& condition,
                                       const TLMStorageBindableArray& values, int* result = nullptr);

    // A missing table counts as dropped, an existing one as created.
    bool createTable(const std::string& tableName, const TLMDBColumnsSchema& columnsSchema);
    bool dropTable(const std::string& tableName);
    void dropDatabase();

    // Changes the maximum size, rounded up to whole pages, unless the data
    // already stored is larger; the handler (may be empty) gets the outcome.
    // Holds for this run only.
    void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler);

    // Operations on a connection that is already open. Without `create` a
    // missing file is SQLITE_CANTOPEN.
    static TLMDBConnection openDatabaseAtFileURL(const std::filesystem::path& fileURL, int* result, bool create = true);
    static int createTablesWithSchema(const TLMDBSchema& schema, sqlite3* db);
    // 0 when every table of the schema is the one its description makes;
    // SQLITE_CORRUPT when one is not, and then `differs` (may be null) is
    // set, telling it from SQLite's own damage.
    static int checkTablesWithSchema(const TLMDBSchema& schema, sqlite3* db, bool* differs = nullptr);
    static std::string columnsQueryFromColumnsSchema(const TLMDBColumnsSchema& columnsSchema);
    static TLMDBColumnsIndexes columnsIndexes(const TLMDBSchema& schema);
    static bool tableExists(const std::string& tableName, sqlite3* db);
    static bool tableExists(const std::string& tableName, sqlite3* db, int* result);
    static int setVersion(std::uint64_t version, sqlite3* db);
    static void enableAutoVacuumInOpenedDatabase(sqlite3* db);
    static int executeNonSelectionQuery(const std::string& query, sqlite3* db);
    static int executeNonSelectionQuery(const std::string& query, sqlite3* db, const TLMStorageBindableArray& values);
    // Prepares, binds and hands the statement to the block; always finalizes.
    static int executeQuery(const std::string& query, sqlite3* db, const TLMStorageBindableArray& values,
                            const std::function<int(sqlite3_stmt*)>& callback);
    static std::vector<TLMDBRow> executeSelectionQuery(const std::string& query, sqlite3* db,
                                                       const TLMStorageBindableArray& values);
    // `result` may be null; the rows read before a failure are returned.
    static std::vector<TLMDBRow> executeSelectionQuery(const std::string& query, sqlite3* db, int* result,
                                                       const TLMStorageBindableArray& values);
    static platform::Value columnValueFromStatement(sqlite3_stmt* query, int index);
    static std::int64_t getPageSizeInOpenedDatabase(sqlite3* db);
    static std::int64_t getPageCountInOpenedDatabase(sqlite3* db);
    // `result` (may be null) gets the query's code: another connection's
    // lock keeps it from being read.
    static std::int64_t getMaxPageCountInOpenedDatabase(sqlite3* db, int* result = nullptr);
    // The first value of the first row; 0 when there is none. `result`
    // (may be null) gets the query's code.
    static std::int64_t querySingleValue(const std::string& query, sqlite3* db, int* result = nullptr,
                                         const TLMStorageBindableArray& values = {});
    static int setMaxPageCount(std::int64_t maxPageCount, sqlite3* db);
    // Another connection held the file (SQLITE_BUSY, SQLITE_LOCKED): nothing
    // is wrong with it, and the work may succeed later.
    static bool isBusyResult(int result);
    // Process-wide SQLite set-up, once, before any connection.
    static int configureSQLite();
    // A refusal that may pass (the file held, a full disk, a read-only file
    // or folder, a file that cannot be opened): nothing is wrong with the
    // data, and the same work may succeed later.
    static bool isRefusedForNowResult(int result);
    // Beside the database file: held while a file is replaced.
    static std::filesystem::path setUpLockFile(const std::filesystem::path& dbFile);
    // For tests: runs when a file found damaged, unusable or foreign is
    // about to be deleted or set aside (with the set-up lock held), before
    // or after the path is checked to name it still. Empty: none.
    enum class ReplacingStep { BeforePathCheck, AfterPathCheck };
    static void setReplacingHook(ReplacingStep step, std::function<void()> hook);
    // The one-row table holding the file's identifier.
    static constexpr const char* kFileIdTable = "fileIdentity";
    // The identifier stored in the file, none when it holds none.
    static std::optional<std::int64_t> fileIdInOpenedDatabase(sqlite3* db, int* result = nullptr);

    // From any thread: another connection held the file when the last
    // operation (or set-up) ran, or holds it now that one waits; false once
    // an operation went through without waiting.
    bool fileHeldByAnother() const { return mFileHeld.load(std::memory_order_relaxed); }

protected:
    // For subclasses with hooks: the constructor stores the values only, and
    // the subclass calls initializeDatabase() at the end of its own
    // constructor, when the hooks it overrides can run.
    struct DeferConfiguration {};
    TLMDBStorage(DeferConfiguration, TLMDBSchema schema, std::uint64_t version, std::string filename);
    void initializeDatabase();

    // Called when the database file was created: at the first start, or
    // when a damaged file was made anew.
    virtual void customizeDatabase(sqlite3* db) {}
    // Called when the stored version is older than ours and the tables are
    // not the schema's; its SQLite code. A file it fails on is made anew
    // (the data of a version no longer read is gone at any rate), reported
    // damaged only when SQLite found it so. Tables that are the schema's at
    // version 0 are a set-up left half done: they are kept.
    virtual int migrateDatabase(sqlite3* db, std::uint64_t fromVersion) { return 0; }
    // Within an operation's block: the identifier of the file it runs on,
    // read in its transaction. Row identifiers belong to it: a copy of the
    // file keeps it, a file made anew (emptied, removed, at the same inode
    // or not) has another.
    std::int64_t workFileId() const { return mWorkFileId; }

private:
    // Device, inode and, where the file system keeps it, the birth time: a
    // file made anew at once often gets the inode just freed.
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t bornSeconds = 0;
        std::uint32_t bornNanoseconds = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    // The file the path names now (not followed); none when there is none.
    static std::optional<FileIdentity> identityAt(const std::filesystem::path& path);
    // Opens a connection and tells the file it is on: none when the path
    // named another file before the open than after it. Only a hint for
    // replacing a faulty file: a file made anew may get the inode just
    // freed, and a copy is another inode with the same rows.
    TLMDBConnection openAndIdentify(int* result, bool create, std::optional<FileIdentity>& identity);

    // What is wrong with the file itself. Another connection's lock is
    // nothing wrong.
    enum class FileFault {
        None,
        // SQLite found it corrupt or not a database: deleted and made anew.
        Damaged,
        // Of a write format SQLite only reads, holding something else where
        // a table of ours belongs, or failing the migration: deleted and made
        // anew too, but not called damaged.
        Unusable,
        // Of a later version, or of a negative one no release writes, with a
        // table of ours in another shape: data we cannot read, set aside.
        Foreign,
        // Not ours to write (another owner, a mode set on it) in a folder
        // that is: set aside too, and made anew.
        NotWritable,
    };

    // Configures the file, making it anew when it is damaged or setting it
    // aside when it is foreign. Without `waitForLocks` a file another
    // connection holds is left at once; held (SQLITE_BUSY, SQLITE_LOCKED)
    // the set-up is left for the next use.
    int setUp(bool waitForLocks);
    // Replaces the file found at fault under the set-up lock, once it was
    // found so again there; a file another process made anew meanwhile is
    // used. `foundByWork`: the file a later operation found damaged, which
    // set-up's checks may not see; it is replaced while the path names it
    // still.
    int replaceFaultyDatabase(FileFault fault, int result, std::int64_t storedVersion, bool waitForLocks,
                              const std::optional<FileIdentity>& foundByWork);
    // The path names the file configuration found, which may now be deleted
    // or set aside; the hook for tests runs first.
    bool stillTheFileFound();
    // After set-up, the file removed or left without our tables: set up anew
    // at once; true when the work should run again.
    bool setUpAgainIfGone(int result);
    // A set-up left for later runs now, waiting for locks as any work does;
    // SQLITE_OK when the database is configured.
    int setUpIfPending();
    // `storedVersion` gets the version the file held, for a foreign one's
    // message.
    int configureDatabase(FileFault& fault, std::int64_t& storedVersion, bool waitForLocks);
    // Within set-up's transaction: reads the page size and the stored
    // version, checks the file can be written and makes or checks the
    // schema's tables.
    // `madeTables`: a table of the schema was missing and is made.
    // `began`: the code of beginning the transaction; without one nothing
    // is written.
    int configureSchema(sqlite3* db, FileFault& fault, std::int64_t& pageSize, std::int64_t& storedVersion,
                        bool& madeTables, int began);
    // Deletes the file with its journal and configures it anew.
    int rebuildDatabase(int damage, bool waitForLocks);
    int replaceUnusableDatabase(int result, bool waitForLocks);
    // Renames the file (with its journals) to the next setAsideFile() and
    // configures a new one. At most kMaxSetAside are kept, the oldest
    // making room; a file that cannot be renamed is deleted.
    int setAsideDatabase(FileFault fault, std::int64_t storedVersion, bool waitForLocks);
    // After set-up, a damaged file is made anew, the first time at once,
    // then at most once in kRebuildInterval; true when the work should run
    // again on the new file.
    bool rebuildAfterDamage(int result);
    int executeQueryOnNewConnection(const std::function<int(sqlite3*)>& callback, Access access);
    // Within an operation's transaction: SQLITE_OK and the file's identifier
    // when the file is set up as set-up left it; kNotSetUp when its version
    // is another or it holds no identifier.
    int checkSetUp(sqlite3* db, std::int64_t& fileId);
    // An operation found the file not set up: it is set up (or migrated)
    // under the set-up lock; true when the work should run again.
    bool setUpAgainIfNotSetUp(int result);
    // setUp(true) under the set-up lock (unless this process holds it).
    int setUpUnderLock();
    // Within set-up's transaction: keeps the file's identifier, or gives it
    // a new one when `fresh` (its tables made anew) or it has none.
    int writeFileId(sqlite3* db, bool fresh);
    // The busy wait of our connections (SQLite's own, up to
    // kBusyTimeoutMilliseconds), which also tells that the file is held.
    void waitForHeldFile(sqlite3* db);
    static int heldFileWait(void* storage, int count);
    // After an operation that began with `waitsBefore` waits counted.
    void noteFileHeld(int result, std::uint64_t waitsBefore);

    std::filesystem::path mDbFileURL;
    std::int64_t mMaxSizeInBytes = 0;
    std::int64_t mPageSize = 0;
    TLMDBSchema mSchema;
    std::uint64_t mVersion;
    std::string mFilename;
    // When a damaged file was last made anew after set-up.
    std::optional<platform::Clock::Instant> mLastRebuild;
    // Damage found again too soon was reported.
    bool mRebuildDeferred = false;
    bool mSetUpPending = false;
    // The file configuration or the last operation opened.
    std::optional<FileIdentity> mFoundIdentity;
    std::optional<FileIdentity> mWorkIdentity;
    // The version set-up left in the file: ours, or a later one kept.
    std::int64_t mSetUpVersion = 0;
    // Of the running operation, and of the last file an operation ran on.
    std::int64_t mWorkFileId = 0;
    std::optional<std::int64_t> mLastFileId;
    // This process holds the set-up lock: a set-up within a set-up does not
    // wait for it.
    bool mHoldingSetUpLock = false;
    std::atomic<bool> mFileHeld{false};
    std::atomic<std::uint64_t> mHeldFileWaits{0};
};
