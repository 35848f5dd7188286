#include "telemetry/Internals/Storage/TLMDBStorage.h"

#include "platform/security/Crypto.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

namespace {


// File names are "file:" URIs; SQLite would read "?", "#" and "%" in a bare
// path as URI syntax.
std::string FileURI(const std::filesystem::path& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const unsigned char c : path.string()) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

std::string ErrorMessage(sqlite3* db) { return sqlite3_errmsg(db); }

// How long a connection waits for another one's lock (a backup, the sqlite3
// shell) before a statement gives up with SQLITE_BUSY.
constexpr int kBusyTimeoutMilliseconds = 5000;

// The file itself is at fault: nothing but making it anew helps.
bool IsDamage(int code) { return code == SQLITE_CORRUPT || code == SQLITE_NOTADB; }

// Another connection holds the file: nothing is wrong with it.
bool IsBusy(int code) { return code == SQLITE_BUSY || code == SQLITE_LOCKED; }

// Refused for now, the data unharmed: held, a full disk, write-protected,
// not openable (a folder in its place), a failing read or write.
bool IsRefusal(int code) {
    const int primary = code & 0xFF;
    return IsBusy(primary) || primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL ||
           primary == SQLITE_IOERR || primary == SQLITE_PERM;
}

// An operation found the file without our set-up (another version, no
// identifier): an extended code SQLite does not use, never returned.
constexpr int kNotSetUp = SQLITE_ERROR | (0x76 << 8);

// Marks the set-up lock held for as long as it lives.
class Holding {
public:
    explicit Holding(bool& flag) : mFlag(flag), mWas(flag) { mFlag = true; }
    ~Holding() { mFlag = mWas; }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;

private:
    bool& mFlag;
    const bool mWas;
};

bool IsMissing(const std::filesystem::path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) != 0 && errno == ENOENT;
}

// The file is not ours to write (another owner, a mode set on it) while its
// folder is: it can be replaced, where a read-only folder or file system
// only refuses for now.
bool CannotWriteButCanReplace(const std::filesystem::path& file) {
    if (access(file.c_str(), W_OK) == 0 || errno != EACCES) return false;
    const std::filesystem::path folder = file.parent_path();
    return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

// SQLite opens a file whose header names a write format it does not know
// for reading only; such a file stays in our way, unlike a write-protected
// file or folder. Read through the connection's own file: closing another
// descriptor of it would drop the process's locks on it.
bool HasUnknownWriteFormat(sqlite3* db) {
    sqlite3_file* file = nullptr;
    unsigned char header[19] = {};
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr ||
        file->pMethods == nullptr || file->pMethods->xRead(file, header, sizeof header, 0) != SQLITE_OK) {
        return false;
    }
    return header[18] > 2;
}

// The first problem SQLite's own check finds in the file, as damage.
bool CheckFindsDamage(const std::filesystem::path& file) {
    int result = SQLITE_OK;
    TLMDBConnection db = TLMDBStorage::openDatabaseAtFileURL(file, &result, false);
    if (!db) return IsDamage(result);
    const std::vector<TLMDBRow> rows =
        TLMDBStorage::executeSelectionQuery("PRAGMA integrity_check(1);", db.get(), &result, TLMStorageBindableArray());
    if (result != SQLITE_OK) return IsDamage(result);
    const std::string* verdict = rows.empty() || rows.front().empty() ? nullptr : rows.front().front().asString();
    return verdict == nullptr || *verdict != "ok";
}

std::function<void()>& ReplacingHook(TLMDBStorage::ReplacingStep step) {
    static std::function<void()> hooks[2];
    return hooks[step == TLMDBStorage::ReplacingStep::AfterPathCheck ? 1 : 0];
}

// An exclusive flock on the set-up lock file, held while a damaged,
// unusable or foreign file is replaced, so that two processes never both
// replace it: the second finds the first one's new file. The kernel lets go
// when the process ends, however it ends. Waiting, it tries for as long as
// a statement waits for another connection's lock, sleeping as SQLite does
// (through its default file system). A lock file that cannot be opened or
// locked (a read-only folder, a symbolic link in its place) leaves the
// work unlocked, as a process alone would do it.
class SetUpLock {
public:
    SetUpLock(const std::filesystem::path& file, bool wait) {
        constexpr int kStepMilliseconds = 10;
        for (int waited = 0;; waited += kStepMilliseconds) {
            mFd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (mFd < 0) {
                mTaken = true;
                return;
            }
            if (flock(mFd, LOCK_EX | LOCK_NB) == 0) {
                // A lock on a file that lost its name (removed or replaced
                // meanwhile) keeps out no one who opens the name now.
                struct stat held {};
                struct stat named {};
                if (fstat(mFd, &held) == 0 && lstat(file.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                    held.st_ino == named.st_ino) {
                    mTaken = true;
                    return;
                }
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                mTaken = true;
                return;
            }
            close(mFd);
            mFd = -1;
            if (!wait || waited >= kBusyTimeoutMilliseconds) return;
            sqlite3_sleep(kStepMilliseconds);
        }
    }
    ~SetUpLock() {
        if (mFd >= 0) close(mFd);  // lets go of the lock
    }
    SetUpLock(const SetUpLock&) = delete;
    SetUpLock& operator=(const SetUpLock&) = delete;
    bool taken() const { return mTaken; }

private:
    int mFd = -1;
    bool mTaken = false;
};

}  // namespace

// Set up before main, before anything opens a connection.
static const int gSQLiteConfigurationResult = TLMDBStorage::configureSQLite();

void TLMDBConnectionCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

TLMDBStorage::TLMDBStorage(TLMDBSchema schema, std::uint64_t version, std::string filename)
    : TLMDBStorage(DeferConfiguration{}, std::move(schema), version, std::move(filename)) {
    initializeDatabase();
}

TLMDBStorage::TLMDBStorage(std::uint64_t version, std::string filename)
    : TLMDBStorage(TLMDBSchema{}, version, std::move(filename)) {}

TLMDBStorage::TLMDBStorage(DeferConfiguration, TLMDBSchema schema, std::uint64_t version, std::string filename)
    : mSchema(std::move(schema)), mVersion(version), mFilename(std::move(filename)) {}

bool TLMDBStorage::isBusyResult(int result) { return IsBusy(result); }

bool TLMDBStorage::isRefusedForNowResult(int result) { return IsRefusal(result); }

std::filesystem::path TLMDBStorage::setUpLockFile(const std::filesystem::path& dbFile) {
    return dbFile.string() + ".setup.lock";
}

void TLMDBStorage::setReplacingHook(ReplacingStep step, std::function<void()> hook) {
    ReplacingHook(step) = std::move(hook);
}

std::optional<TLMDBStorage::FileIdentity> TLMDBStorage::identityAt(const std::filesystem::path& path) {
    struct statx status {};
    if (path.empty() || statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &status) != 0) {
        return std::nullopt;
    }
    FileIdentity identity{makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_ino};
    if ((status.stx_mask & STATX_BTIME) != 0) {
        identity.bornSeconds = status.stx_btime.tv_sec;
        identity.bornNanoseconds = status.stx_btime.tv_nsec;
    }
    return identity;
}

TLMDBConnection TLMDBStorage::openAndIdentify(int* result, bool create, std::optional<FileIdentity>& identity) {
    const std::optional<FileIdentity> before = identityAt(mDbFileURL);
    TLMDBConnection db = openDatabaseAtFileURL(mDbFileURL, result, create);
    const std::optional<FileIdentity> after = db ? identityAt(mDbFileURL) : std::nullopt;
    identity = before && before == after ? after : std::nullopt;
    return db;
}

int TLMDBStorage::configureSQLite() {
    static const int result = sqlite3_config(SQLITE_CONFIG_URI, 1);
    return result;
}

void TLMDBStorage::initializeDatabase() {
    static std::once_flag logged;
    std::call_once(logged, [] {
        const int result = gSQLiteConfigurationResult;
        if (result == SQLITE_OK) {
            TLMLogDebug(kTLMLogTag, "SQLite global configuration successfully updated.");
        } else {
            const std::string text = sqlite3_errstr(result);
            TLMLogError(kTLMLogTag, "Failed to update SQLite global configuration. Error: %s.", text.c_str());
        }
    });
    // The app's start does not wait for another connection's lock.
    setUp(false);
}

int TLMDBStorage::setUp(bool waitForLocks) {
    const std::uint64_t waitsBefore = mHeldFileWaits.load();
    FileFault fault = FileFault::None;
    std::int64_t storedVersion = 0;
    int result = configureDatabase(fault, storedVersion, waitForLocks);
    if (fault != FileFault::None) {
        result = replaceFaultyDatabase(fault, result, storedVersion, waitForLocks, std::nullopt);
    }
    // Nothing is wrong with a file refused for now: the next use tries again
    // rather than finding the database never configured.
    mSetUpPending = IsRefusal(result);
    noteFileHeld(result, waitsBefore);
    const std::string name = mFilename;
    if (IsBusy(result)) {
        TLMLogWarning(kTLMLogTag, "The \"%s\" database is in use by another connection; it is set up at its next use.",
                      name.c_str());
    } else if (mSetUpPending) {
        TLMLogWarning(kTLMLogTag,
                      "The \"%s\" database cannot be written for now (result=%d); it is set up at its next use.",
                      name.c_str(), result);
    } else if (result != SQLITE_OK) {
        TLMLogError(kTLMLogTag, "Failed to initialize database.");
    }
    return result;
}

int TLMDBStorage::setUpIfPending() {
    if (mPageSize != 0) return SQLITE_OK;
    if (mSetUpPending) return setUp(true);
    TLMLogError(kTLMLogTag, "The database was not configured correctly. The page size is expected to be non zero.");
    return SQLITE_ERROR;
}

int TLMDBStorage::replaceFaultyDatabase(FileFault fault, int result, std::int64_t storedVersion, bool waitForLocks,
                                        const std::optional<FileIdentity>& foundByWork) {
    std::optional<SetUpLock> lock;
    if (!mHoldingSetUpLock) lock.emplace(setUpLockFile(mDbFileURL), waitForLocks);
    // Another process is replacing it; its new file serves the next use.
    if (lock && !lock->taken()) return SQLITE_BUSY;
    const Holding holding(mHoldingSetUpLock);
    // Found again under the lock: a process that replaced it meanwhile has
    // left a new file, to be used as it is.
    result = configureDatabase(fault, storedVersion, waitForLocks);
    // Damage set-up's checks do not see: mended while the path names the
    // very file the work found it in, told from a file made anew at its
    // inode by its birth time or, where the file system keeps none, by
    // SQLite's own check finding it too.
    if (fault == FileFault::None && result == SQLITE_OK && foundByWork && identityAt(mDbFileURL) == foundByWork &&
        (foundByWork->bornSeconds != 0 || foundByWork->bornNanoseconds != 0 || CheckFindsDamage(mDbFileURL))) {
        fault = FileFault::Damaged;
        result = SQLITE_CORRUPT;
    }
    switch (fault) {
        case FileFault::None: return result;
        case FileFault::Damaged: return rebuildDatabase(result, waitForLocks);
        case FileFault::Unusable: return replaceUnusableDatabase(result, waitForLocks);
        case FileFault::Foreign:
        case FileFault::NotWritable: return setAsideDatabase(fault, storedVersion, waitForLocks);
    }
    return result;
}

bool TLMDBStorage::stillTheFileFound() {
    if (const std::function<void()>& hook = ReplacingHook(ReplacingStep::BeforePathCheck)) hook();
    if (mFoundIdentity && identityAt(mDbFileURL) == mFoundIdentity) {
        if (const std::function<void()>& hook = ReplacingHook(ReplacingStep::AfterPathCheck)) hook();
        return true;
    }
    const std::string name = mFilename;
    TLMLogWarning(kTLMLogTag, "The \"%s\" database was replaced meanwhile; the file now in its place is used.",
                  name.c_str());
    return false;
}

int TLMDBStorage::rebuildDatabase(int damage, bool waitForLocks) {
    const std::string name = mFilename;
    TLMLogWarning(kTLMLogTag, "The \"%s\" database is damaged (result=%d); it is deleted and created anew.",
                  name.c_str(), damage);
    if (stillTheFileFound()) dropDatabase();
    FileFault fault = FileFault::None;
    std::int64_t newFileVersion = 0;
    return configureDatabase(fault, newFileVersion, waitForLocks);
}

int TLMDBStorage::replaceUnusableDatabase(int result, bool waitForLocks) {
    // Not called damaged: SQLite did not say so, and the error before this
    // one tells what is in the way.
    const std::string name = mFilename;
    TLMLogWarning(kTLMLogTag, "The \"%s\" database cannot be used (result=%d); it is deleted and created anew.",
                  name.c_str(), result);
    if (stillTheFileFound()) dropDatabase();
    FileFault fault = FileFault::None;
    std::int64_t newFileVersion = 0;
    return configureDatabase(fault, newFileVersion, waitForLocks);
}

std::filesystem::path TLMDBStorage::setAsideFile(const std::filesystem::path& dbFile, int n) {
    return dbFile.parent_path() /
           (dbFile.stem().string() + ".set-aside-" + std::to_string(n) + dbFile.extension().string());
}

namespace {

const char* const kJournalSuffixes[] = {"-journal", "-wal", "-shm"};

// Renames a database file with its journals (one not played yet holds its
// data); journals left at the new name belong to no file there.
bool MoveWithJournals(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    for (const char* suffix : kJournalSuffixes) std::filesystem::remove(to.string() + suffix, error);
    std::filesystem::rename(from, to, error);
    if (error) return false;
    for (const char* suffix : kJournalSuffixes) {
        std::error_code ignored;
        const std::filesystem::path journal = from.string() + suffix;
        if (std::filesystem::exists(journal, ignored)) std::filesystem::rename(journal, to.string() + suffix, ignored);
        std::filesystem::remove(journal, ignored);
    }
    return true;
}

bool RemoveWithJournals(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::remove(file, error);
    for (const char* suffix : kJournalSuffixes) {
        std::error_code ignored;
        std::filesystem::remove(file.string() + suffix, ignored);
    }
    return !error;
}

}  // namespace

int TLMDBStorage::setAsideDatabase(FileFault fault, std::int64_t storedVersion, bool waitForLocks) {
    const std::string name = mFilename;
    const auto version = static_cast<long long>(storedVersion);
    if (!stillTheFileFound()) {
        FileFault fault = FileFault::None;
        std::int64_t newFileVersion = 0;
        return configureDatabase(fault, newFileVersion, waitForLocks);
    }
    // The copies kept, oldest first, numbered from 1 without gaps; with every
    // number taken the oldest makes room, so the file just found, the one
    // most likely to matter to the release that wrote it, is always kept.
    std::vector<std::filesystem::path> kept;
    for (int n = 1; n <= kMaxSetAside; ++n) {
        const std::filesystem::path candidate = setAsideFile(mDbFileURL, n);
        std::error_code error;
        // One that cannot be looked at counts as there: it is not written
        // over.
        if (std::filesystem::exists(candidate, error) || error) kept.push_back(candidate);
    }
    bool moved = true;
    if (kept.size() >= static_cast<std::size_t>(kMaxSetAside)) {
        const std::string oldest = kept.front().filename().string();
        TLMLogWarning(kTLMLogTag, "\"%s\", the oldest database set aside, is deleted to make room.", oldest.c_str());
        moved = RemoveWithJournals(kept.front());
        kept.erase(kept.begin());
    }
    for (std::size_t i = 0; moved && i < kept.size(); ++i) {
        const std::filesystem::path closedUp = setAsideFile(mDbFileURL, static_cast<int>(i) + 1);
        if (kept[i] != closedUp) moved = MoveWithJournals(kept[i], closedUp);
    }
    const std::filesystem::path aside = setAsideFile(mDbFileURL, static_cast<int>(kept.size()) + 1);
    if (!moved || !MoveWithJournals(mDbFileURL, aside)) {
        TLMLogWarning(kTLMLogTag,
                      "The \"%s\" database of version %lld cannot be set aside; it is deleted and created anew.",
                      name.c_str(), version);
        dropDatabase();
        FileFault fault = FileFault::None;
        std::int64_t newFileVersion = 0;
        return configureDatabase(fault, newFileVersion, waitForLocks);
    }
    const std::string keptAs = aside.filename().string();
    if (fault == FileFault::NotWritable) {
        TLMLogWarning(kTLMLogTag,
                      "The \"%s\" database cannot be written by this user; it is kept as \"%s\" and a new one is "
                      "made.",
                      name.c_str(), keptAs.c_str());
    } else {
        TLMLogWarning(kTLMLogTag,
                      "The \"%s\" database has version %lld and its tables are not the ones this client reads; it "
                      "is kept as \"%s\" and a new one is made.",
                      name.c_str(), version, keptAs.c_str());
    }
    fault = FileFault::None;
    std::int64_t newFileVersion = 0;
    return configureDatabase(fault, newFileVersion, waitForLocks);
}

bool TLMDBStorage::rebuildAfterDamage(int result) {
    if (!IsDamage(result)) return false;
    // Whenever damage is found, but a file damaged again right away (a
    // failing disk) is not deleted over and over.
    const platform::Clock::Instant now = platform::Clock::shared()->instant();
    if (mLastRebuild && now - *mLastRebuild < kRebuildInterval) {
        if (!mRebuildDeferred) {
            mRebuildDeferred = true;
            const std::string name = mFilename;
            const auto interval = static_cast<long long>(kRebuildInterval.count());
            TLMLogWarning(kTLMLogTag,
                          "Damage found again in the \"%s\" database (result=%d); it is made anew %lld s after the "
                          "last time.",
                          name.c_str(), result, interval);
        }
        return false;
    }
    mLastRebuild = now;
    mRebuildDeferred = false;
    // The size settled for this run still holds for the new file.
    const std::int64_t maxSizeInBytes = mMaxSizeInBytes;
    const int configured = replaceFaultyDatabase(FileFault::Damaged, result, 0, true, mWorkIdentity);
    mMaxSizeInBytes = maxSizeInBytes;
    mSetUpPending = IsRefusal(configured);
    if (configured != SQLITE_OK) {
        TLMLogError(kTLMLogTag, "Failed to initialize database.");
        return false;
    }
    return true;
}

int TLMDBStorage::configureDatabase(FileFault& fault, std::int64_t& storedVersion, bool waitForLocks) {
    fault = FileFault::None;
    storedVersion = 0;
    mPageSize = 0;
    const bool existed = TLMUtility::fileExistsForPathComponent(mFilename);
    const std::optional<std::filesystem::path> file =
        TLMUtility::createFileAtPathComponent(mFilename, std::nullopt, false, false);
    if (!file) return SQLITE_CANTOPEN;
    mDbFileURL = *file;
    if (mMaxSizeInBytes == 0) mMaxSizeInBytes = kDefaultMaxSizeInBytes;

    int result = SQLITE_OK;
    TLMDBConnection db = openAndIdentify(&result, true, mFoundIdentity);
    if (!db) return result;
    // One write transaction from reading the version to writing it: a
    // second instance of the app starting at once sets the file up before
    // or after this one, never finding our new file still at version 0 and
    // emptying it as an older one. Without waiting, a file anyone holds,
    // even a reader, is left at once.
    if (waitForLocks) {
        waitForHeldFile(db.get());
    } else {
        sqlite3_busy_timeout(db.get(), 0);
    }
    const int began =
        sqlite3_exec(db.get(), waitForLocks ? "BEGIN IMMEDIATE;" : "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr);
    if (IsBusy(began)) return began;
    // A file that cannot start one (damaged, only readable) is judged by
    // the checks, and nothing is written outside one: schema, version and
    // identifier are there together or not at all.
    const bool inTransaction = began == SQLITE_OK;
    std::int64_t pageSize = 0;
    bool madeTables = false;
    result = configureSchema(db.get(), fault, pageSize, storedVersion, madeTables, began);
    // SQLite keeps the version signed; no release writes a negative one.
    const auto version = static_cast<std::int64_t>(mVersion);
    // The tables are made anew or emptied: their row identifiers start over.
    bool fresh = !existed || madeTables;
    if (result == SQLITE_OK) {
        const std::string name = mFilename;
        const auto stored = static_cast<long long>(storedVersion);
        bool differs = false;
        // Our tables without a version: a set-up left half done (by a
        // release that wrote them outside one transaction), not an older
        // release's file; the rows saved in them are kept.
        const bool halfSetUp = existed && !madeTables && storedVersion == 0 && version > 0 && !mSchema.empty() &&
                               checkTablesWithSchema(mSchema, db.get(), &differs) == SQLITE_OK;
        if (halfSetUp) {
            TLMLogWarning(kTLMLogTag,
                          "The \"%s\" database was left at version %lld with our tables; its set-up is finished.",
                          name.c_str(), stored);
            customizeDatabase(db.get());
        } else if (!existed || (madeTables && storedVersion == version)) {
            if (!existed) {
                TLMLogInfo(kTLMLogTag, "Created \"%s\" database with %lld version.", name.c_str(),
                           static_cast<long long>(version));
            } else {
                TLMLogWarning(kTLMLogTag, "The \"%s\" database had lost its tables; they are made anew.", name.c_str());
            }
            customizeDatabase(db.get());
        } else if (storedVersion < 0) {
            // Its tables are ours (set-up checked them): a damaged header.
            TLMLogWarning(kTLMLogTag, "The \"%s\" database has version %lld; it is set to %lld.", name.c_str(), stored,
                          static_cast<long long>(version));
        } else if (storedVersion < version) {
            TLMLogInfo(kTLMLogTag, "Migrating \"%s\" database from version %lld to %lld.", name.c_str(), stored,
                       static_cast<long long>(version));
            result = migrateDatabase(db.get(), static_cast<std::uint64_t>(storedVersion));
            fresh = true;
            // What it would have kept is lost at any rate: a file it fails
            // on is made anew, not left refusing every save.
            if (result != SQLITE_OK && !IsDamage(result) && !IsRefusal(result)) fault = FileFault::Unusable;
        } else if (storedVersion > version) {
            // A later release wrote it; writing our older number would make
            // that release take its own data for old and migrate it away.
            TLMLogWarning(kTLMLogTag, "Keeping \"%s\" database at version %lld, newer than this client's %lld.",
                          name.c_str(), stored, static_cast<long long>(version));
        }
        if (result == SQLITE_OK && storedVersion <= version) result = setVersion(mVersion, db.get());
        if (result == SQLITE_OK) result = writeFileId(db.get(), fresh);
    }
    if (inTransaction) {
        if (result == SQLITE_OK) result = sqlite3_exec(db.get(), "COMMIT;", nullptr, nullptr, nullptr);
        if (result != SQLITE_OK && sqlite3_get_autocommit(db.get()) == 0) {
            sqlite3_exec(db.get(), "ROLLBACK;", nullptr, nullptr, nullptr);
        }
    }
    // Damage SQLite finds anywhere in set-up (migrating, writing the
    // version, committing) is damage, as it is at the checks.
    if (fault == FileFault::None && IsDamage(result)) fault = FileFault::Damaged;
    if (result != SQLITE_OK) return result;
    // Outside the transaction: VACUUM cannot run in one.
    enableAutoVacuumInOpenedDatabase(db.get());
    mPageSize = pageSize;
    mSetUpVersion = std::max(storedVersion, version);
    return SQLITE_OK;
}

std::optional<std::int64_t> TLMDBStorage::fileIdInOpenedDatabase(sqlite3* db, int* result) {
    int code = SQLITE_OK;
    std::optional<std::int64_t> id;
    if (tableExists(kFileIdTable, db, &code)) {
        const std::vector<TLMDBRow> rows =
            executeSelectionQuery(std::string("SELECT \"id\" FROM \"") + kFileIdTable + "\" LIMIT 1;", db, &code, {});
        if (!rows.empty() && !rows.front().empty()) {
            if (const std::int64_t* value = rows.front().front().asInteger()) id = *value;
        }
    }
    if (result) *result = code;
    return id;
}

int TLMDBStorage::writeFileId(sqlite3* db, bool fresh) {
    int result = SQLITE_OK;
    const std::optional<std::int64_t> stored = fileIdInOpenedDatabase(db, &result);
    if (result != SQLITE_OK) return result;
    if (stored && !fresh) return SQLITE_OK;
    // 64 random bits: two set-ups never give one id, so rows of one file
    // are never taken for another's. (SQLite's application_id holds 32.)
    std::int64_t id = 0;
    auto* bytes = reinterpret_cast<std::uint8_t*>(&id);
    if (const int error = platform::security::randomBytes({bytes, sizeof id}); error != 0) {
        TLMLogError(kTLMLogTag, "No random identifier for the database file (errno %d).", error);
        return SQLITE_ERROR;
    }
    const std::string table = std::string("\"") + kFileIdTable + "\"";
    result = executeNonSelectionQuery("CREATE TABLE IF NOT EXISTS " + table + " (\"id\" INTEGER NOT NULL);", db);
    if (result == SQLITE_OK) result = executeNonSelectionQuery("DELETE FROM " + table + ";", db);
    TLMStorageBindableArray values;
    values.addNumber(id);
    if (result == SQLITE_OK)
        result = executeNonSelectionQuery("INSERT INTO " + table + " (\"id\") VALUES (?);", db, values);
    return result;
}

int TLMDBStorage::configureSchema(sqlite3* db, FileFault& fault, std::int64_t& pageSize, std::int64_t& storedVersion,
                                  bool& madeTables, int began) {
    const auto damagedIf = [&](bool damaged) {
        if (damaged) fault = FileFault::Damaged;
    };
    int result = SQLITE_OK;
    pageSize = querySingleValue("PRAGMA page_size;", db, &result);
    if (pageSize <= 0) {
        TLMLogError(kTLMLogTag, "Failed to get storage page size.");
        damagedIf(IsDamage(result));
        return result != SQLITE_OK ? result : SQLITE_ERROR;
    }
    storedVersion = querySingleValue("PRAGMA user_version", db, &result);
    if (result != SQLITE_OK) {
        damagedIf(IsDamage(result));
        return result;
    }
    // A file SQLite only reads (its header names a write format it does not
    // know, or the file is write-protected) would refuse every save.
    if (sqlite3_db_readonly(db, "main") == 1) {
        if (!HasUnknownWriteFormat(db) && CannotWriteButCanReplace(mDbFileURL)) {
            TLMLogError(kTLMLogTag, "The database file cannot be written by this user.");
            fault = FileFault::NotWritable;
            return SQLITE_READONLY;
        }
        if (!HasUnknownWriteFormat(db)) {
            // Write-protected: its logs are kept for when it is writable.
            TLMLogError(kTLMLogTag, "The database file cannot be written for now.");
            return SQLITE_READONLY;
        }
        TLMLogError(kTLMLogTag, "The database file can only be read.");
        fault = FileFault::Unusable;
        return SQLITE_READONLY;
    }
    // Without a transaction nothing is written: the file is set up by the
    // next use that can begin one.
    if (began != SQLITE_OK) {
        damagedIf(IsDamage(began));
        return began;
    }
    if (mSchema.empty()) return SQLITE_OK;
    // What a file of a later version (or of a negative one: a damaged
    // header) holds may be a later release's data: when it is in our way it
    // is set aside, not deleted.
    const auto version = static_cast<std::int64_t>(mVersion);
    const bool foreign = storedVersion < 0 || storedVersion > version;
    for (const auto& entry : mSchema) {
        int code = SQLITE_OK;
        if (!tableExists(entry.first, db, &code) && code == SQLITE_OK) madeTables = true;
    }
    result = createTablesWithSchema(mSchema, db);
    if (result != SQLITE_OK) {
        TLMLogError(kTLMLogTag, "Failed to create tables with schema with error \"%d\".", result);
        // What keeps a table of ours from being made (a view or an index of
        // its name, a broken schema) is in the file, and the missing table
        // holds nothing to lose; another connection's lock, a full disk or a
        // write-protected folder is not.
        if (foreign && !IsRefusal(result)) {
            fault = FileFault::Foreign;
        } else if (!IsRefusal(result)) {
            fault = IsDamage(result) ? FileFault::Damaged : FileFault::Unusable;
        }
        return result;
    }
    // A file of our version holds the tables as we make them; another table
    // of the name (a column renamed, a constraint added) would refuse every
    // write, and so would one in a foreign file.
    if (storedVersion == version || foreign) {
        bool differs = false;
        result = checkTablesWithSchema(mSchema, db, &differs);
        if (result != SQLITE_OK) {
            if (IsDamage(result))
                fault = foreign ? FileFault::Foreign : differs ? FileFault::Unusable : FileFault::Damaged;
            return result;
        }
    }
    return SQLITE_OK;
}

TLMDBConnection TLMDBStorage::openDatabaseAtFileURL(const std::filesystem::path& fileURL, int* result, bool create) {
    sqlite3* handle = nullptr;
    const std::string uri = FileURI(fileURL);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | (create ? SQLITE_OPEN_CREATE : 0);
    const int opened = sqlite3_open_v2(uri.c_str(), &handle, flags, nullptr);
    TLMDBConnection db(handle);
    int code = opened;
    // The file is data only: its triggers do not run, its schema functions
    // are only the harmless ones and it cannot be made to change its own
    // schema. Another reader of the file is waited for.
    if (code == SQLITE_OK) code = sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    if (code == SQLITE_OK) code = sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    if (code == SQLITE_OK) code = sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    if (code == SQLITE_OK) code = sqlite3_busy_timeout(handle, kBusyTimeoutMilliseconds);
    if (result) *result = code;
    if (code != SQLITE_OK) {
        TLMLogError(kTLMLogTag, "Failed to open database with result: %d.", code);
        return nullptr;
    }
    return db;
}

int TLMDBStorage::executeQueryUsingBlock(const std::function<int(sqlite3*)>& callback, Access access) {
    int result = executeQueryOnNewConnection(callback, access);
    // A file found damaged after set-up is made anew as set-up does, and so
    // is one removed or emptied, or found not set up; the work runs on the
    // new one.
    if (rebuildAfterDamage(result) || setUpAgainIfGone(result) || setUpAgainIfNotSetUp(result)) {
        result = executeQueryOnNewConnection(callback, access);
    }
    // Set up once more by another launch between the two: its set-up is
    // what held the work back.
    return result == kNotSetUp ? SQLITE_BUSY : result;
}

int TLMDBStorage::setUpUnderLock() {
    std::optional<SetUpLock> lock;
    if (!mHoldingSetUpLock) lock.emplace(setUpLockFile(mDbFileURL), true);
    if (lock && !lock->taken()) return SQLITE_BUSY;
    const Holding holding(mHoldingSetUpLock);
    return setUp(true);
}

bool TLMDBStorage::setUpAgainIfNotSetUp(int result) {
    if (result != kNotSetUp) return false;
    const std::string name = mFilename;
    TLMLogWarning(kTLMLogTag, "The \"%s\" database is not set up as this client left it; it is set up again.",
                  name.c_str());
    return setUpUnderLock() == SQLITE_OK;
}

int TLMDBStorage::checkSetUp(sqlite3* db, std::int64_t& fileId) {
    // One statement, whose table a file not set up by us lacks: the common
    // path pays one prepare and one step. A literal, with nothing to
    // destroy: the logs queue may still check a file while the process exits.
    static constexpr std::string_view query =
        "SELECT \"id\", (SELECT \"user_version\" FROM pragma_user_version) FROM \"fileIdentity\" LIMIT 1;";
    static_assert(query.find(kFileIdTable) != std::string_view::npos);
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(db, query.data(), static_cast<int>(query.size()), &statement, nullptr);
    // "no such table": no set-up of ours.
    if (result == SQLITE_ERROR) result = kNotSetUp;
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
        if (result == SQLITE_ROW && sqlite3_column_type(statement, 0) == SQLITE_INTEGER &&
            sqlite3_column_int64(statement, 1) == mSetUpVersion) {
            fileId = sqlite3_column_int64(statement, 0);
            result = SQLITE_OK;
        } else if (result == SQLITE_ROW || result == SQLITE_DONE) {
            result = kNotSetUp;
        }
    }
    sqlite3_finalize(statement);
    return result;
}

bool TLMDBStorage::setUpAgainIfGone(int result) {
    if (mPageSize == 0) return false;
    // A file removed while the work's connection had it open refuses writes
    // as read-only.
    const bool refused = (result & 0xFF) == SQLITE_CANTOPEN || (result & 0xFF) == SQLITE_READONLY;
    // Put in place by another user (the app run once as root) or made
    // write-protected, in our folder: set up anew.
    bool gone = refused && (IsMissing(mDbFileURL) || CannotWriteButCanReplace(mDbFileURL));
    if (!gone && result == SQLITE_ERROR && !mSchema.empty()) {
        // "no such table": emptied, or replaced by an empty file.
        int code = SQLITE_OK;
        TLMDBConnection db = openDatabaseAtFileURL(mDbFileURL, &code, false);
        for (auto table = mSchema.begin(); db && !gone && table != mSchema.end(); ++table) {
            gone = !tableExists(table->first, db.get(), &code) && code == SQLITE_OK;
        }
    }
    if (!gone) return false;
    const std::string name = mFilename;
    TLMLogWarning(
        kTLMLogTag,
        "The \"%s\" database was removed, lost its tables or cannot be written by this user; it is set up anew.",
        name.c_str());
    return setUpUnderLock() == SQLITE_OK;
}

int TLMDBStorage::executeQueryOnNewConnection(const std::function<int(sqlite3*)>& callback, Access access) {
    if (const int setUp = setUpIfPending(); setUp != SQLITE_OK) return setUp;
    const std::uint64_t waitsBefore = mHeldFileWaits.load();
    int result = SQLITE_OK;
    TLMDBConnection db = openAndIdentify(&result, false, mWorkIdentity);
    if (!db) return result;
    waitForHeldFile(db.get());
    result = setMaxPageCount(mMaxSizeInBytes / mPageSize, db.get());
    if (result == SQLITE_CORRUPT || result == SQLITE_NOTADB) return result;
    if (result != SQLITE_OK) TLMLogError(kTLMLogTag, "Failed to open database with specified maximum size constraint.");
    result = sqlite3_exec(db.get(), access == Access::Write ? "BEGIN IMMEDIATE;" : "BEGIN;", nullptr, nullptr, nullptr);
    // The identifier and the version are read in the work's transaction:
    // no other launch empties or sets up the file between them and the work.
    std::int64_t fileId = 0;
    if (result == SQLITE_OK) result = checkSetUp(db.get(), fileId);
    if (result == SQLITE_OK) {
        if (mLastFileId && *mLastFileId != fileId) {
            const std::string name = mFilename;
            TLMLogWarning(kTLMLogTag,
                          "The \"%s\" database is another file than before; identifiers of the earlier one delete "
                          "nothing in it.",
                          name.c_str());
        }
        mLastFileId = fileId;
        mWorkFileId = fileId;
        result = callback(db.get());
        if (result == SQLITE_OK) result = sqlite3_exec(db.get(), "COMMIT;", nullptr, nullptr, nullptr);
    }
    if (sqlite3_get_autocommit(db.get()) == 0) sqlite3_exec(db.get(), "ROLLBACK;", nullptr, nullptr, nullptr);
    noteFileHeld(result, waitsBefore);
    return result;
}

void TLMDBStorage::waitForHeldFile(sqlite3* db) { sqlite3_busy_handler(db, &TLMDBStorage::heldFileWait, this); }

int TLMDBStorage::heldFileWait(void* storage, int count) {
    // SQLite's own busy timeout: short sleeps first, then 100 ms each.
    static constexpr int kDelays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    static constexpr int kTotals[] = {0, 1, 3, 8, 18, 33, 53, 78, 103, 128, 178, 228};
    constexpr int kSteps = static_cast<int>(std::size(kDelays));
    auto* self = static_cast<TLMDBStorage*>(storage);
    if (count == 0) ++self->mHeldFileWaits;
    self->mFileHeld = true;
    int delay = kDelays[std::min(count, kSteps - 1)];
    const int prior = count < kSteps ? kTotals[count] : kTotals[kSteps - 1] + delay * (count - (kSteps - 1));
    if (prior + delay > kBusyTimeoutMilliseconds) {
        delay = kBusyTimeoutMilliseconds - prior;
        if (delay <= 0) return 0;
    }
    sqlite3_sleep(delay);
    return 1;
}

void TLMDBStorage::noteFileHeld(int result, std::uint64_t waitsBefore) {
    // A wait that ended in time still counts: the holder may take it again.
    mFileHeld = IsBusy(result) || mHeldFileWaits.load() != waitsBefore;
}

int TLMDBStorage::executeNonSelectionQuery(const std::string& query) {
    return executeNonSelectionQuery(query, TLMStorageBindableArray());
}

int TLMDBStorage::executeNonSelectionQuery(const std::string& query, const TLMStorageBindableArray& values) {
    return executeQueryUsingBlock([&](sqlite3* db) { return executeNonSelectionQuery(query, db, values); });
}

std::vector<TLMDBRow> TLMDBStorage::executeSelectionQuery(const std::string& query,
                                                          const TLMStorageBindableArray& values, int* result) {
    std::vector<TLMDBRow> rows;
    const int code = executeQueryUsingBlock(
        [&](sqlite3* db) {
            int step = SQLITE_OK;
            rows = executeSelectionQuery(query, db, &step, values);
            return step;
        },
        Access::Read);
    if (result) *result = code;
    return rows;
}

std::uint64_t TLMDBStorage::countEntriesForTable(const std::string& table, const std::string& condition,
                                                 const TLMStorageBindableArray& values, int* result) {
    std::string query = "SELECT COUNT(*) FROM \"" + table + "\" ";
    if (!condition.empty()) query += "WHERE " + condition;
    const std::vector<TLMDBRow> rows = executeSelectionQuery(query, values, result);
    if (rows.empty() || rows.front().empty()) return 0;
    const auto count = rows.front().front().numberAsInteger();
    return count && *count > 0 ? static_cast<std::uint64_t>(*count) : 0;
}

bool TLMDBStorage::createTable(const std::string& tableName, const TLMDBColumnsSchema& columnsSchema) {
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        if (tableExists(tableName, db)) return SQLITE_OK;
        const std::string query =
            "CREATE TABLE \"" + tableName + "\" (" + columnsQueryFromColumnsSchema(columnsSchema) + ");";
        const int code = executeNonSelectionQuery(query, db);
        if (code == SQLITE_OK) {
            TLMLogVerbose(kTLMLogTag, "Table %s has been created", tableName.c_str());
        } else {
            TLMLogError(kTLMLogTag, "Failed to create table %s", tableName.c_str());
        }
        return code;
    });
    return result == SQLITE_OK;
}

bool TLMDBStorage::dropTable(const std::string& tableName) {
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        if (!tableExists(tableName, db)) return SQLITE_OK;
        const int code = executeNonSelectionQuery("DROP TABLE \"" + tableName + "\";", db);
        if (code == SQLITE_OK) {
            TLMLogVerbose(kTLMLogTag, "Table %s has been deleted", tableName.c_str());
        } else {
            TLMLogError(kTLMLogTag, "Failed to delete table %s", tableName.c_str());
        }
        return code;
    });
    return result == SQLITE_OK;
}

void TLMDBStorage::dropDatabase() {
    const bool removed = !mDbFileURL.empty() && TLMUtility::deleteFileAtURL(mDbFileURL);
    // A journal left beside a deleted file would be played into the new one.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        std::error_code ignored;
        if (!mDbFileURL.empty()) std::filesystem::remove(mDbFileURL.string() + suffix, ignored);
    }
    if (removed) {
        const std::string uri = FileURI(mDbFileURL);
        TLMLogVerbose(kTLMLogTag, "Database %s has been deleted.", uri.c_str());
    } else {
        TLMLogError(kTLMLogTag, "Failed to delete database.");
    }
}

void TLMDBStorage::setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) {
    auto finish = [&](bool success) {
        if (completionHandler) completionHandler(success);
    };
    if (setUpIfPending() != SQLITE_OK) return finish(false);
    int result = SQLITE_OK;
    TLMDBConnection db = openAndIdentify(&result, false, mWorkIdentity);
    if (!db) return finish(false);
    const long long size = sizeInBytes;
    const std::int64_t pageCount = getPageCountInOpenedDatabase(db.get());
    TLMLogDebug(kTLMLogTag, "Found %lld pages in the database.", static_cast<long long>(pageCount));
    const std::int64_t requestedPages = sizeInBytes / mPageSize + (sizeInBytes % mPageSize > 0 ? 1 : 0);
    bool success = false;
    if (pageCount > requestedPages) {
        TLMLogWarning(kTLMLogTag,
                      "Cannot change database size to %lld bytes as it would cause a loss of data. Maximum database "
                      "size will not be changed.",
                      size);
    } else if ((result = setMaxPageCount(requestedPages, db.get())) != SQLITE_OK) {
        if (IsDamage(result)) {
            db.reset();
            if (rebuildAfterDamage(result)) return setMaxStorageSize(sizeInBytes, completionHandler);
        }
        TLMLogError(kTLMLogTag, "Could not change maximum database size to %lld bytes. SQLite error code: %i", size,
                    result);
    } else {
        const std::int64_t newMaxPages = getMaxPageCountInOpenedDatabase(db.get());
        const long long newMaxSize = mPageSize * newMaxPages;
        if (newMaxPages == requestedPages) {
            mMaxSizeInBytes = newMaxSize;
            if (newMaxSize == sizeInBytes) {
                TLMLogInfo(kTLMLogTag, "Changed maximum database size to %lld bytes.", size);
            } else {
                TLMLogInfo(kTLMLogTag, "Changed maximum database size to %lld bytes (next multiple of 4KiB).",
                           newMaxSize);
            }
            success = true;
        } else {
            TLMLogError(kTLMLogTag,
                        "Could not change maximum database size to %lld bytes, current maximum size is %lld bytes.",
                        size, newMaxSize);
        }
    }
    db.reset();
    finish(success);
}

int TLMDBStorage::createTablesWithSchema(const TLMDBSchema& schema, sqlite3* db) {
    std::vector<std::pair<std::string, std::string>> statements;
    for (const auto& [tableName, columns] : schema) {
        int result = SQLITE_OK;
        if (tableExists(tableName, db, &result)) continue;
        if (result != SQLITE_OK) return result;
        // Another connection (a second instance of the app starting) may
        // make the table between the check and the statement; the table is
        // then there as wanted. SQLite keeps the statement without "IF NOT
        // EXISTS", as the schema check expects it.
        statements.emplace_back(tableName, "CREATE TABLE IF NOT EXISTS \"" + tableName + "\" (" +
                                               columnsQueryFromColumnsSchema(columns) + ");");
    }
    // Not a structured binding: the log macro's lambda captures the name,
    // which clang before 16 refuses for a binding.
    for (const auto& entry : statements) {
        const std::string& tableName = entry.first;
        int result = executeNonSelectionQuery(entry.second, db);
        if (result != SQLITE_OK) return result;
        // A view of the name makes the statement do nothing: no table of
        // ours is there still.
        if (!tableExists(tableName, db, &result)) {
            if (result != SQLITE_OK) return result;
            TLMLogError(kTLMLogTag, "Could not create the table %s: something else has its name.", tableName.c_str());
            return SQLITE_ERROR;
        }
    }
    return SQLITE_OK;
}

int TLMDBStorage::checkTablesWithSchema(const TLMDBSchema& schema, sqlite3* db, bool* differs) {
    for (const auto& [tableName, columns] : schema) {
        TLMStorageBindableArray values;
        values.addString(tableName);
        int result = SQLITE_OK;
        const std::vector<TLMDBRow> rows = executeSelectionQuery(
            "SELECT \"sql\" FROM \"sqlite_master\" WHERE \"type\"='table' AND \"name\"=?;", db, &result, values);
        if (result != SQLITE_OK) return result;
        // SQLite keeps the statement as it was given, without its ";".
        const std::string expected =
            "CREATE TABLE \"" + tableName + "\" (" + columnsQueryFromColumnsSchema(columns) + ")";
        const std::string* stored = rows.empty() || rows.front().empty() ? nullptr : rows.front().front().asString();
        if (stored == nullptr || *stored != expected) {
            const std::string name = tableName;
            TLMLogError(kTLMLogTag, "The table %s is not the one of the schema.", name.c_str());
            if (differs) *differs = true;
            return SQLITE_CORRUPT;
        }
    }
    return SQLITE_OK;
}

std::string TLMDBStorage::columnsQueryFromColumnsSchema(const TLMDBColumnsSchema& columnsSchema) {
    std::string text;
    for (const TLMDBColumn& column : columnsSchema) {
        if (!text.empty()) text += ", ";
        text += "\"" + column.name + "\" ";
        for (std::size_t i = 0; i < column.words.size(); ++i) text += (i == 0 ? "" : " ") + column.words[i];
    }
    return text;
}

TLMDBColumnsIndexes TLMDBStorage::columnsIndexes(const TLMDBSchema& schema) {
    TLMDBColumnsIndexes indexes;
    for (const auto& [tableName, columns] : schema) {
        auto& table = indexes[tableName];
        for (std::size_t i = 0; i < columns.size(); ++i) table[columns[i].name] = i;
    }
    return indexes;
}

bool TLMDBStorage::tableExists(const std::string& tableName, sqlite3* db) {
    return tableExists(tableName, db, nullptr);
}

bool TLMDBStorage::tableExists(const std::string& tableName, sqlite3* db, int* result) {
    TLMStorageBindableArray values;
    values.addString(tableName);
    const std::int64_t count = querySingleValue(
        "SELECT COUNT(*) FROM \"sqlite_master\" WHERE \"type\"='table' AND \"name\"=?;", db, result, values);
    return count > 0;
}

int TLMDBStorage::setVersion(std::uint64_t version, sqlite3* db) {
    return executeNonSelectionQuery("PRAGMA user_version = " + std::to_string(version), db);
}

void TLMDBStorage::enableAutoVacuumInOpenedDatabase(sqlite3* db) {
    constexpr std::int64_t kFull = 1;
    if (querySingleValue("PRAGMA auto_vacuum", db) == kFull) return;
    TLMLogDebug(kTLMLogTag, "Vacuuming database and enabling auto_vacuum");
    executeNonSelectionQuery("PRAGMA auto_vacuum = FULL;", db);
    executeNonSelectionQuery("VACUUM;", db);
}

int TLMDBStorage::executeNonSelectionQuery(const std::string& query, sqlite3* db) {
    return executeNonSelectionQuery(query, db, TLMStorageBindableArray());
}

int TLMDBStorage::executeNonSelectionQuery(const std::string& query, sqlite3* db,
                                           const TLMStorageBindableArray& values) {
    return executeQuery(query, db, values, [db](sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) return SQLITE_OK;
        const std::string message = ErrorMessage(db);
        if (result == SQLITE_CORRUPT || result == SQLITE_NOTADB) {
            TLMLogError(kTLMLogTag, "A database file is corrupted, result=%d\n\t%s", result, message.c_str());
        } else if (result == SQLITE_FULL) {
            TLMLogDebug(kTLMLogTag, "Query failed with error: %d\n\t%s", result, message.c_str());
        } else {
            TLMLogError(kTLMLogTag, "Could not execute the statement, result=%d\n\t%s", result, message.c_str());
        }
        return result;
    });
}

int TLMDBStorage::executeQuery(const std::string& query, sqlite3* db, const TLMStorageBindableArray& values,
                               const std::function<int(sqlite3_stmt*)>& callback) {
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr);
    if (result != SQLITE_OK) {
        const std::string message = ErrorMessage(db);
        TLMLogError(kTLMLogTag, "Failed to prepare SQLite statement, result=%d\n\t%s", result, message.c_str());
        sqlite3_finalize(statement);
        return result;
    }
    result = values.bindAllValuesWithStatement(statement, db);
    if (result == SQLITE_OK) result = callback(statement);
    const int finalized = sqlite3_finalize(statement);
    if (finalized != SQLITE_OK) {
        const std::string message = ErrorMessage(db);
        TLMLogError(kTLMLogTag, "Failed to finalize SQLite statement, result=%d\n\t%s", finalized, message.c_str());
    }
    return result;
}

std::vector<TLMDBRow> TLMDBStorage::executeSelectionQuery(const std::string& query, sqlite3* db,
                                                          const TLMStorageBindableArray& values) {
    return executeSelectionQuery(query, db, nullptr, values);
}

std::vector<TLMDBRow> TLMDBStorage::executeSelectionQuery(const std::string& query, sqlite3* db, int* result,
                                                          const TLMStorageBindableArray& values) {
    std::vector<TLMDBRow> rows;
    const int code = executeQuery(query, db, values, [&](sqlite3_stmt* statement) {
        int step = SQLITE_OK;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            const int count = sqlite3_column_count(statement);
            if (count == 0) continue;
            TLMDBRow row;
            row.reserve(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) row.push_back(columnValueFromStatement(statement, i));
            rows.push_back(std::move(row));
        }
        if (step == SQLITE_DONE) return SQLITE_OK;
        const std::string message = ErrorMessage(db);
        TLMLogError(kTLMLogTag, "Query failed with error: %d\n\t%s", step, message.c_str());
        return step;
    });
    if (result) *result = code;
    return rows;
}

platform::Value TLMDBStorage::columnValueFromStatement(sqlite3_stmt* query, int index) {
    const int type = sqlite3_column_type(query, index);
    switch (type) {
        case SQLITE_NULL: return platform::Value();
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query, index));
            const int length = sqlite3_column_bytes(query, index);
            return platform::Value(std::string(text ? text : "", text ? static_cast<std::size_t>(length) : 0));
        }
        // Row identifiers run past 32 bits after enough insertions.
        case SQLITE_INTEGER: return platform::Value(static_cast<std::int64_t>(sqlite3_column_int64(query, index)));
        default:
            TLMLogError(kTLMLogTag, "Could not retrieve column value at index %d from statement: unknown type %d.",
                        index, type);
            return platform::Value();
    }
}

std::int64_t TLMDBStorage::getPageSizeInOpenedDatabase(sqlite3* db) {
    return querySingleValue("PRAGMA page_size;", db);
}

std::int64_t TLMDBStorage::getPageCountInOpenedDatabase(sqlite3* db) {
    return querySingleValue("PRAGMA page_count;", db);
}

std::int64_t TLMDBStorage::getMaxPageCountInOpenedDatabase(sqlite3* db, int* result) {
    return querySingleValue("PRAGMA max_page_count;", db, result);
}

std::int64_t TLMDBStorage::querySingleValue(const std::string& query, sqlite3* db, int* result,
                                            const TLMStorageBindableArray& values) {
    const std::vector<TLMDBRow> rows = executeSelectionQuery(query, db, result, values);
    if (rows.empty() || rows.front().empty()) return 0;
    return rows.front().front().numberAsInteger().value_or(0);
}

int TLMDBStorage::setMaxPageCount(std::int64_t maxPageCount, sqlite3* db) {
    int result = SQLITE_OK;
    executeSelectionQuery("PRAGMA max_page_count = " + std::to_string(maxPageCount), db, &result,
                          TLMStorageBindableArray());
    return result;
}
