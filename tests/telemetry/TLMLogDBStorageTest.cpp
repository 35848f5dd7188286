// The log database: logs kept across starts, batches by priority and their
// bookkeeping per group, eviction when full, and the rows it reads back.

#include "tests/support/TempRoot.h"
#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"
#include "tests/telemetry/support/RawDatabase.h"

#include "platform/dispatch/Clock.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMEncrypter.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Logs = std::vector<std::shared_ptr<TLMAbstractLog>>;

class TLMLogDBStorageTest : public testing::Test {
protected:
    void SetUp() override { TLMArchiverUtil::addAllowedTelemetryModuleClasses(); }

    struct Batch {
        Logs logs;
        std::optional<std::string> batchId;
        bool more = false;
    };

    static Batch load(TLMLogDBStorage& storage, const std::string& groupId, std::uint64_t limit,
                      const std::optional<std::vector<std::string>>& excluded = std::nullopt) {
        Batch batch;
        bool called = false;
        batch.more = storage.loadLogsWithGroupId(groupId, limit, excluded,
                                                 [&](const Logs& logs, const std::optional<std::string>& batchId) {
                                                     called = true;
                                                     batch.logs = logs;
                                                     batch.batchId = batchId;
                                                 });
        EXPECT_TRUE(called);
        return batch;
    }

    static std::vector<std::int64_t> ids(const std::filesystem::path& file, const std::string& where = "1") {
        std::vector<std::int64_t> out;
        const std::int64_t count = rawdb::Integer(file, "SELECT COUNT(*) FROM logs WHERE " + where);
        for (std::int64_t i = 0; i < count; ++i) {
            out.push_back(rawdb::Integer(
                file, "SELECT id FROM logs WHERE " + where + " ORDER BY id LIMIT 1 OFFSET " + std::to_string(i)));
        }
        return out;
    }
};

std::shared_ptr<TLMStartServiceLog> makeLog(const std::string& name, std::size_t padding = 0) {
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setTimestamp(tlmtest::fixedTime());
    log->setDevice(tlmtest::validDevice());
    log->setServices(std::vector<std::string>{name + std::string(padding, '.')});
    return log;
}

std::string nameOf(const std::shared_ptr<TLMAbstractLog>& log) {
    auto start = std::dynamic_pointer_cast<TLMStartServiceLog>(log);
    return start && start->services() && !start->services()->empty() ? start->services()->front() : "";
}

std::vector<std::string> namesOf(const Logs& logs) {
    std::vector<std::string> names;
    for (const auto& log : logs) names.push_back(nameOf(log));
    return names;
}

// The warnings that hold `part`.
std::size_t warnings(TLMLogCapture& capture, std::string_view part) {
    return static_cast<std::size_t>(std::ranges::count_if(
        capture.linesAt(TLMLogLevelWarning),
        [&](const TLMCapturedLine& line) { return line.message.find(part) != line.message.npos; }));
}
// Of a database deleted and made anew, for whatever reason; of one called damaged.
std::size_t rebuilds(TLMLogCapture& capture) { return warnings(capture, "; it is deleted and created anew."); }
std::size_t damagedWarnings(TLMLogCapture& capture) { return warnings(capture, "\"Logs.sqlite\" database is damaged"); }

// A log database of the previous start holding three logs, for the test to
// damage; none of this start's objects has it open.
std::filesystem::path previousDatabase() {
    TLMLogDBStorage storage;
    for (const char* name : {"old0", "old1", "old2"}) EXPECT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
    return storage.dbFileURL();
}

std::filesystem::path setAside(int n) {
    return TLMDBStorage::setAsideFile(*TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName), n);
}

void removeDatabase() {
    const std::filesystem::path file = *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
    for (const char* suffix : {"", "-journal"}) std::filesystem::remove(file.string() + suffix);
    for (int n = 1; n <= TLMDBStorage::kMaxSetAside; ++n) std::filesystem::remove(setAside(n));
}

// The default file system, telling when a connection sleeps: the busy
// handler sleeps through it while it waits for another one's lock.
class SleepReportingFileSystem {
public:
    explicit SleepReportingFileSystem(std::function<void()> slept) : mSlept(std::move(slept)) {
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        mBaseSleep = base->xSleep;
        mFileSystem = *base;
        mFileSystem.zName = "vekmont-sleep-reporting";
        mFileSystem.xSleep = &Sleep;
        sInstance = this;
        EXPECT_EQ(sqlite3_vfs_register(&mFileSystem, 1), SQLITE_OK);
    }
    ~SleepReportingFileSystem() {
        sqlite3_vfs_unregister(&mFileSystem);
        sInstance = nullptr;
    }

private:
    static int Sleep(sqlite3_vfs* vfs, int microseconds) {
        sInstance->mSlept();
        return sInstance->mBaseSleep(vfs, microseconds);
    }

    static inline SleepReportingFileSystem* sInstance = nullptr;
    std::function<void()> mSlept;
    int (*mBaseSleep)(sqlite3_vfs*, int) = nullptr;
    sqlite3_vfs mFileSystem{};
};

// Runs the action once, the first time a connection of this process starts
// a statement that begins with the prefix: after the statement was
// prepared, before it takes any lock of the file. SQLite hands every
// connection opened meanwhile to the registered entry point, which traces
// its statements. Several may be alive at once, on several threads; each
// runs its action on the thread of the statement.
class BeforeStatement {
public:
    BeforeStatement(std::string prefix, std::function<void()> action)
        : mPrefix(std::move(prefix)), mAction(std::move(action)) {
        std::lock_guard lock(sMutex);
        if (sInstances.empty()) {
            EXPECT_EQ(sqlite3_auto_extension(reinterpret_cast<void (*)()>(&Entry)), SQLITE_OK);
        }
        sInstances.push_back(this);
    }
    ~BeforeStatement() {
        std::lock_guard lock(sMutex);
        sInstances.erase(std::find(sInstances.begin(), sInstances.end(), this));
        if (sInstances.empty()) sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&Entry));
    }
    bool ran() const { return mRan.load(); }

private:
    static int Entry(sqlite3* db, const char**, const struct sqlite3_api_routines*) {
        return sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &Traced, nullptr);
    }
    static int Traced(unsigned, void*, void*, void* text) {
        const std::string_view statement(static_cast<const char*>(text));
        BeforeStatement* chosen = nullptr;
        {
            std::lock_guard lock(sMutex);
            for (BeforeStatement* instance : sInstances) {
                if (!instance->mRan && statement.rfind(instance->mPrefix, 0) == 0) {
                    instance->mRan = true;
                    chosen = instance;
                    break;
                }
            }
        }
        if (chosen != nullptr) chosen->mAction();
        return 0;
    }

    static inline std::mutex sMutex;
    static inline std::vector<BeforeStatement*> sInstances;
    std::string mPrefix;
    std::function<void()> mAction;
    std::atomic<bool> mRan{false};
};

}  // namespace

TEST_F(TLMLogDBStorageTest, LogsSurviveAReopenAndPendingBatchesDoNot) {
    std::filesystem::path file;
    auto first = makeLog("first");
    {
        TLMLogDBStorage storage;
        file = storage.dbFileURL();
        EXPECT_EQ(file.filename(), "Logs.sqlite");
        ASSERT_TRUE(storage.saveLog(first, "Analytics", TLMFlagsNormal));
        ASSERT_TRUE(storage.saveLog(makeLog("second"), "Analytics", TLMFlagsNormal));
        ASSERT_TRUE(storage.saveLog(makeLog("crash"), "Crashes", TLMFlagsCritical));
        EXPECT_EQ(load(storage, "Analytics", 10).logs.size(), 2u);
        EXPECT_TRUE(load(storage, "Analytics", 10).logs.empty());
    }
    EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 5);
    EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'ix_logs_priority'"), 1);

    TLMLogDBStorage reopened;
    EXPECT_EQ(reopened.countLogs(), 3u);
    const Batch batch = load(reopened, "Analytics", 10);
    ASSERT_EQ(batch.logs.size(), 2u);
    EXPECT_TRUE(batch.logs[0]->isEqual(*first));
    EXPECT_EQ(namesOf(batch.logs), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(namesOf(reopened.logsFromDBWithGroupId("Crashes")), std::vector<std::string>{"crash"});
}

TEST_F(TLMLogDBStorageTest, LoadsHighestPriorityFirstThenOldestAndDeletesSentBatches) {
    TLMLogDBStorage storage;
    ASSERT_TRUE(storage.saveLog(makeLog("n1"), "Analytics", TLMFlagsNormal));
    ASSERT_TRUE(storage.saveLog(makeLog("c1"), "Analytics", TLMFlagsCritical));
    ASSERT_TRUE(storage.saveLog(makeLog("n2"), "Analytics", TLMFlagsNormal));
    ASSERT_TRUE(storage.saveLog(makeLog("c2"), "Analytics", TLMFlagsCritical));

    const Batch first = load(storage, "Analytics", 3);
    EXPECT_EQ(namesOf(first.logs), (std::vector<std::string>{"c1", "c2", "n1"}));
    EXPECT_TRUE(first.more);
    ASSERT_TRUE(first.batchId.has_value());
    EXPECT_EQ(first.batchId->size(), 36u);
    const Batch second = load(storage, "Analytics", 3);
    EXPECT_EQ(namesOf(second.logs), std::vector<std::string>{"n2"});
    EXPECT_FALSE(second.more);

    storage.deleteLogsWithBatchId(*first.batchId, "Analytics");
    EXPECT_EQ(storage.countLogs(), 1u);
    storage.deleteLogsWithBatchId(*first.batchId, "Analytics");  // gone already: nothing happens
    storage.deleteLogsWithBatchId(*second.batchId, "Other");     // not that group's batch
    EXPECT_EQ(storage.countLogs(), 1u);
    storage.deleteLogsWithBatchId(*second.batchId, "Analytics");
    EXPECT_EQ(storage.countLogs(), 0u);
    EXPECT_TRUE(storage.batches().empty());
}

TEST_F(TLMLogDBStorageTest, ABatchHoldsAtMostTheLimitAndTellsWhetherMoreWait) {
    TLMLogDBStorage storage;
    const Batch none = load(storage, "Analytics", 50);
    EXPECT_TRUE(none.logs.empty());
    EXPECT_FALSE(none.batchId.has_value());
    EXPECT_FALSE(none.more);
    EXPECT_TRUE(storage.batches().empty());

    for (int i = 0; i < 51; ++i) ASSERT_TRUE(storage.saveLog(makeLog(std::to_string(i)), "Analytics", TLMFlagsNormal));
    const Batch full = load(storage, "Analytics", 50);
    EXPECT_EQ(full.logs.size(), 50u);
    EXPECT_TRUE(full.more);
    EXPECT_EQ(nameOf(full.logs.back()), "49");
    storage.deleteLogsWithBatchId(*full.batchId, "Analytics");

    for (int i = 51; i < 100; ++i)
        ASSERT_TRUE(storage.saveLog(makeLog(std::to_string(i)), "Analytics", TLMFlagsNormal));
    const Batch exact = load(storage, "Analytics", 50);
    EXPECT_EQ(exact.logs.size(), 50u);
    EXPECT_FALSE(exact.more);
    storage.deleteLogsWithBatchId(*exact.batchId, "Analytics");

    for (int i = 0; i < 3; ++i) ASSERT_TRUE(storage.saveLog(makeLog("x"), "Analytics", TLMFlagsNormal));
    const Batch unlimited = load(storage, "Analytics", std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(unlimited.logs.size(), 3u);
    EXPECT_FALSE(unlimited.more);
}

TEST_F(TLMLogDBStorageTest, AFullDatabaseEvictsTheOldestLogsOfEqualOrLowerPriorityInAnyGroup) {
    TLMLogDBStorage storage;
    const std::filesystem::path file = storage.dbFileURL();
    bool resized = false;
    storage.setMaxStorageSize(16 * 4096, [&](bool success) { resized = success; });
    ASSERT_TRUE(resized);

    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(storage.saveLog(makeLog("n" + std::to_string(i), 1500), "A", TLMFlagsNormal));
    const std::vector<std::int64_t> normal = ids(file);
    ASSERT_GE(normal.size(), 4u);
    ASSERT_LT(normal.size(), 30u);
    EXPECT_EQ(normal.back(), 30);  // the newest stay

    // A critical log makes room from the oldest ordinary logs, of group A.
    ASSERT_TRUE(storage.saveLog(makeLog("c0", 1500), "B", TLMFlagsCritical));
    const std::vector<std::int64_t> left = ids(file, "priority = 1");
    ASSERT_LT(left.size(), normal.size());
    EXPECT_TRUE(std::equal(left.begin(), left.end(), normal.end() - static_cast<std::ptrdiff_t>(left.size())));

    int saved = 1;
    while (!ids(file, "priority = 1").empty() && saved < 40) {
        ASSERT_TRUE(storage.saveLog(makeLog("c" + std::to_string(saved++), 1500), "B", TLMFlagsCritical));
    }
    ASSERT_TRUE(ids(file, "priority = 1").empty());
    const std::vector<std::int64_t> critical = ids(file);
    ASSERT_TRUE(storage.saveLog(makeLog("c-last", 1500), "B", TLMFlagsCritical));
    EXPECT_EQ(ids(file).front(), critical[1]);  // then the oldest critical one

    // An ordinary log never evicts a critical one, whatever else its flags hold.
    const std::vector<std::int64_t> before = ids(file);
    for (const auto flags : {TLMFlagsNormal, static_cast<TLMFlags>(0x100 | TLMFlagsNormal)}) {
        TLMLogCapture capture;
        EXPECT_FALSE(storage.saveLog(makeLog("late", 1500), "A", flags));
        EXPECT_TRUE(capture.hasMessage(
            TLMLogLevelError, "Storage is full and no logs with equal or lower priority exist; discarding the log."));
        EXPECT_EQ(ids(file), before);
    }
}

TEST_F(TLMLogDBStorageTest, ALogLargerThanTheDatabaseIsRefusedAtOnce) {
    TLMLogDBStorage storage;
    storage.setMaxStorageSize(8 * 4096, {});
    ASSERT_TRUE(storage.saveLog(makeLog("small"), "A", TLMFlagsNormal));
    TLMLogCapture capture;
    EXPECT_FALSE(storage.saveLog(makeLog("huge", 30000), "A", TLMFlagsCritical));
    EXPECT_EQ(storage.countLogs(), 1u);
    const auto errors = capture.linesAt(TLMLogLevelError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].message.find("Current maximum database size is 32768 bytes."), std::string::npos);
}

TEST_F(TLMLogDBStorageTest, IdentifiersBeyondThirtyTwoBitsStayWhole) {
    TLMLogDBStorage storage;
    const std::filesystem::path file = storage.dbFileURL();
    ASSERT_TRUE(storage.saveLog(makeLog("first"), "A", TLMFlagsNormal));
    storage.deleteLogsWithGroupId("A");
    rawdb::Execute(file, "UPDATE sqlite_sequence SET seq = 3000000000 WHERE name = 'logs'");
    for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
    EXPECT_EQ(ids(file), (std::vector<std::int64_t>{3'000'000'001, 3'000'000'002, 3'000'000'003}));

    const Batch first = load(storage, "A", 2);
    EXPECT_EQ(namesOf(first.logs), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(storage.batches().at("A").at(*first.batchId).ids,
              (std::vector<std::int64_t>{3'000'000'001, 3'000'000'002}));
    EXPECT_EQ(namesOf(load(storage, "A", 2).logs), std::vector<std::string>{"c"});
    storage.deleteLogsWithBatchId(*first.batchId, "A");
    EXPECT_EQ(ids(file), std::vector<std::int64_t>{3'000'000'003});
}

TEST_F(TLMLogDBStorageTest, GroupsThatShareAPrefixKeepTheirOwnBatches) {
    TLMLogDBStorage storage;
    for (const char* name : {"c1", "c2"})
        ASSERT_TRUE(storage.saveLog(makeLog(name), "Analytics_critical", TLMFlagsCritical));
    for (const char* name : {"a1", "a2", "a3"}) {
        ASSERT_TRUE(storage.saveLog(makeLog(name), "Analytics", TLMFlagsNormal));
    }
    // Each group counts its own; the whole table keeps its count.
    EXPECT_EQ(storage.countLogsWithGroupId("Analytics"), 3u);
    EXPECT_EQ(storage.countLogsWithGroupId("Analytics_critical"), 2u);
    EXPECT_EQ(storage.countLogsWithGroupId("Analytic"), 0u);
    EXPECT_EQ(storage.countLogs(), 5u);
    const Batch critical = load(storage, "Analytics_critical", 10);
    ASSERT_EQ(critical.logs.size(), 2u);
    EXPECT_EQ(load(storage, "Analytics", 1).logs.size(), 1u);

    EXPECT_EQ(namesOf(storage.deleteLogsWithGroupId("Analytics")), (std::vector<std::string>{"a1", "a2", "a3"}));
    EXPECT_EQ(storage.countLogs(), 2u);
    // The other group's batch is still out: its logs are not handed out twice.
    EXPECT_TRUE(load(storage, "Analytics_critical", 10).logs.empty());
    storage.deleteLogsWithBatchId(*critical.batchId, "Analytics_critical");
    EXPECT_EQ(storage.countLogs(), 0u);
}

TEST_F(TLMLogDBStorageTest, DeletionBindsItsValues) {
    TLMLogDBStorage storage;
    ASSERT_TRUE(storage.saveLog(makeLog("quoted"), "it's", TLMFlagsNormal));
    ASSERT_TRUE(storage.saveLog(makeLog("kept"), "it", TLMFlagsNormal));
    EXPECT_EQ(namesOf(storage.deleteLogsWithGroupId("it's")), std::vector<std::string>{"quoted"});
    EXPECT_EQ(storage.countLogs(), 1u);
    EXPECT_EQ(storage.deleteLogsFromDBWithColumnValue(platform::Value("') OR 1=1 --"), "groupId"), 0);
    EXPECT_EQ(storage.countLogs(), 1u);
    EXPECT_EQ(TLMLogDBStorage::buildKeyFormatWithCount(1), "(?)");
    EXPECT_EQ(TLMLogDBStorage::buildKeyFormatWithCount(3), "(?,?,?)");
}

TEST_F(TLMLogDBStorageTest, AnOlderDatabaseIsEmptiedAtStart) {
    std::filesystem::path file;
    {
        TLMLogDBStorage storage;
        file = storage.dbFileURL();
        ASSERT_TRUE(storage.saveLog(makeLog("old"), "A", TLMFlagsNormal));
    }
    rawdb::Execute(file, "PRAGMA user_version = 4");
    TLMLogDBStorage storage;
    EXPECT_EQ(storage.countLogs(), 0u);
    EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 5);
    EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'ix_logs_priority'"), 1);
    EXPECT_TRUE(storage.saveLog(makeLog("new"), "A", TLMFlagsNormal));
}

TEST_F(TLMLogDBStorageTest, RowsAreReadWithTheirTokensAndDamagedOnesDeleted) {
    TLMLogDBStorage storage;
    const std::filesystem::path file = storage.dbFileURL();
    for (const char* name : {"damaged", "paused", "token", "empty-token", "bad-token", "plain"}) {
        ASSERT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
    }
    const std::string token = *TLMEncrypter().encryptString("target-token-123");
    rawdb::Execute(file,
                   "UPDATE logs SET log = 'bm90IGFuIGFyY2hpdmU=' WHERE id = 1;"
                   "UPDATE logs SET targetKey = 'paused-key' WHERE id = 2;"
                   "UPDATE logs SET targetToken = '" +
                       token +
                       "', targetKey = 'key' WHERE id = 3;"
                       "UPDATE logs SET targetToken = '' WHERE id = 4;"
                       "UPDATE logs SET targetToken = 'AAAA' WHERE id = 5;");
    TLMLogCapture capture;
    const Batch batch = load(storage, "A", 10, std::vector<std::string>{"paused-key"});
    EXPECT_EQ(namesOf(batch.logs), (std::vector<std::string>{"token", "empty-token", "bad-token", "plain"}));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Deserialization failed for log with Id 1"));
    EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM logs WHERE id = 1"), 0);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Unexpected empty target token for log with Id 4."));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Failed to decrypt the target token for log with Id 5."));
    ASSERT_NE(batch.logs[0]->transmissionTargetTokens(), nullptr);
    EXPECT_EQ(*batch.logs[0]->transmissionTargetTokens(), TLMAbstractLog::TargetTokens{"target-token-123"});
    for (std::size_t i = 1; i < batch.logs.size(); ++i) EXPECT_EQ(batch.logs[i]->transmissionTargetTokens(), nullptr);
}

TEST_F(TLMLogDBStorageTest, UnifiedLogsKeepTheirTokenEncryptedBesideTheirTargetKey) {
    auto unified = [](const std::string& name, const std::optional<std::string>& token) {
        auto log = std::make_shared<TLMUnifiedSchemaLog>();
        log->setVer("3.0");
        log->setName(name);
        log->setTimestamp(tlmtest::fixedTime());
        if (token) log->addTransmissionTargetToken(*token);
        return log;
    };
    const auto first = unified("first", "aaaa-1111-secret");
    const auto second = unified("second", "bbbb-2222-secret");
    const auto keyless = unified("keyless", "-3333-secret");
    const auto tokenless = unified("tokenless", std::nullopt);
    std::filesystem::path file;
    {
        TLMLogDBStorage storage;
        file = storage.dbFileURL();
        for (const auto& log : {first, second, keyless, tokenless}) {
            ASSERT_TRUE(storage.saveLog(log, "Analytics/unified", TLMFlagsNormal));
        }
        ASSERT_TRUE(storage.saveLog(makeLog("ordinary"), "Analytics/unified", TLMFlagsNormal));

        // The token is never in the file in the clear; its target key is.
        for (int id = 1; id <= 3; ++id) {
            const auto stored = rawdb::Text(file, "SELECT targetToken FROM logs WHERE id = " + std::to_string(id));
            ASSERT_TRUE(stored.has_value());
            EXPECT_EQ(stored->find("secret"), std::string::npos);
            const auto plain = TLMEncrypter().decryptString(*stored);
            EXPECT_EQ(plain, *(id == 1 ? first : id == 2 ? second : keyless)->transmissionTargetTokens()->begin());
        }
        EXPECT_EQ(rawdb::Text(file, "SELECT targetKey FROM logs WHERE id = 1"), "aaaa");
        EXPECT_EQ(rawdb::Text(file, "SELECT targetKey FROM logs WHERE id = 2"), "bbbb");
        for (int id = 3; id <= 5; ++id) {
            EXPECT_EQ(rawdb::Text(file, "SELECT targetKey FROM logs WHERE id = " + std::to_string(id)), std::nullopt);
        }
        EXPECT_EQ(rawdb::Text(file, "SELECT targetToken FROM logs WHERE id = 4"), std::nullopt);
        EXPECT_EQ(rawdb::Text(file, "SELECT targetToken FROM logs WHERE id = 5"), std::nullopt);

        // A paused target holds back its own logs only.
        const Batch batch = load(storage, "Analytics/unified", 10, std::vector<std::string>{"aaaa", "cccc"});
        ASSERT_EQ(batch.logs.size(), 4u);
        EXPECT_TRUE(batch.logs[0]->isEqual(*second));
        EXPECT_EQ(*batch.logs[0]->transmissionTargetTokens(), TLMAbstractLog::TargetTokens{"bbbb-2222-secret"});
        EXPECT_TRUE(batch.logs[1]->isEqual(*keyless));
        EXPECT_TRUE(batch.logs[2]->isEqual(*tokenless));
        EXPECT_EQ(batch.logs[2]->transmissionTargetTokens(), nullptr);
        EXPECT_EQ(nameOf(batch.logs[3]), "ordinary");
        EXPECT_TRUE(load(storage, "Analytics/unified", 10, std::vector<std::string>{"aaaa"}).logs.empty());
    }

    // The next run sends the paused target's log with its token.
    TLMLogDBStorage reopened;
    const Batch batch = load(reopened, "Analytics/unified", 1);
    ASSERT_EQ(batch.logs.size(), 1u);
    EXPECT_TRUE(batch.logs[0]->isEqual(*first));
    EXPECT_EQ(*batch.logs[0]->transmissionTargetTokens(), TLMAbstractLog::TargetTokens{"aaaa-1111-secret"});

    // A token that cannot be encrypted keeps its log out of the database;
    // other logs are stored as before.
    TLMEncrypter::setRandomSource([](std::span<std::uint8_t>) { return EIO; });
    TLMLogCapture capture;
    EXPECT_FALSE(reopened.saveLog(unified("unencrypted", "dddd-4444-secret"), "Analytics/unified", TLMFlagsNormal));
    EXPECT_TRUE(
        capture.hasMessage(TLMLogLevelError, "Failed to encrypt the target token of a log; the log is not stored."));
    EXPECT_TRUE(reopened.saveLog(makeLog("after"), "Analytics/unified", TLMFlagsNormal));
    TLMEncrypter::setRandomSource({});
    EXPECT_EQ(reopened.countLogs(), 6u);
}

TEST_F(TLMLogDBStorageTest, AGroupSavedTogetherEndsAsTheSameLogsSavedOneByOne) {
    struct Item {
        std::string name;
        std::size_t padding;
        TLMFlags flags;
    };
    struct Case {
        const char* name;
        std::int64_t maxSize;  // 0: the default
        std::vector<Item> before;
        std::vector<Item> group;
        std::size_t refused;  // of the group, saved one by one
        const char* evicted;  // a log of the group gone by the end, or null
    };
    std::vector<Item> filling;
    for (int i = 0; i < 6; ++i) filling.push_back({"n" + std::to_string(i), 1500, TLMFlagsNormal});
    std::vector<Item> crowd;
    for (int i = 0; i < 40; ++i) crowd.push_back({"c" + std::to_string(i), 1500, TLMFlagsCritical});
    crowd.push_back({"late-normal", 1500, TLMFlagsNormal});
    const Case cases[] = {
        {"room for all",
         0,
         {{"old", 0, TLMFlagsNormal}},
         {{"a", 0, TLMFlagsNormal}, {"b", 0, TLMFlagsCritical}},
         0,
         nullptr},
        {"one too large in the middle",
         8 * 4096,
         {},
         {{"small", 0, TLMFlagsNormal}, {"huge", 30000, TLMFlagsCritical}, {"after", 0, TLMFlagsNormal}},
         1,
         nullptr},
        // The database fills within the group: older logs are evicted,
        // then logs of the group itself, and the last ordinary one finds
        // nothing to evict.
        {"full within the group", 16 * 4096, filling, crowd, 1, "c0"},
    };
    struct Outcome {
        std::vector<bool> saved;
        std::vector<std::pair<std::int64_t, std::string>> rows;
        std::vector<std::string> lines;  // debug and error
    };
    TLMLogDBStorage().dropDatabase();  // each run starts from an empty database
    auto run = [&](const Case& c, bool together) {
        Outcome outcome;
        auto storage = std::make_unique<TLMLogDBStorage>();
        if (c.maxSize != 0) storage->setMaxStorageSize(c.maxSize, {});
        for (const Item& item : c.before)
            EXPECT_TRUE(storage->saveLog(makeLog(item.name, item.padding), "A", item.flags));
        std::vector<TLMLogToSave> group;
        for (const Item& item : c.group) group.push_back({makeLog(item.name, item.padding), item.flags});
        TLMLogCapture capture;
        if (together) {
            for (const TLMSaveOutcome saved : storage->saveLogs(group, "A"))
                outcome.saved.push_back(saved == TLMSaveOutcome::Stored);
        } else {
            for (const TLMLogToSave& item : group) outcome.saved.push_back(storage->saveLog(item.log, "A", item.flags));
        }
        // Which logs were evicted, in order, and why logs were refused; a
        // failing statement's own report aside.
        for (const TLMCapturedLine& line : capture.lines()) {
            if ((line.level == TLMLogLevelDebug || line.level == TLMLogLevelError) &&
                line.message.rfind("Failed to finalize SQLite statement", 0) != 0)
                outcome.lines.push_back(line.message);
        }
        for (const TLMStoredLog& row : storage->logsWithCondition("", {})) {
            outcome.rows.emplace_back(row.id, nameOf(row.log));
        }
        storage->dropDatabase();
        return outcome;
    };
    for (const Case& c : cases) {
        const Outcome alone = run(c, false);
        const Outcome together = run(c, true);
        EXPECT_EQ(together.saved, alone.saved) << c.name;
        EXPECT_EQ(together.rows, alone.rows) << c.name;  // same identifiers: nothing twice, nothing lost
        EXPECT_EQ(together.lines, alone.lines) << c.name;
        EXPECT_EQ(static_cast<std::size_t>(std::count(alone.saved.begin(), alone.saved.end(), false)), c.refused)
            << c.name;
        const bool gone =
            c.evicted != nullptr && std::none_of(alone.rows.begin(), alone.rows.end(),
                                                 [&](const auto& row) { return row.second == c.evicted; });
        EXPECT_EQ(gone, c.evicted != nullptr) << c.name;
    }
}

TEST_F(TLMLogDBStorageTest, ADamagedDatabaseIsMadeAnewAndTheLogStillSaved) {
    using Path = std::filesystem::path;
    struct Damage {
        const char* name;
        std::function<void(const Path&)> apply;
        bool corrupt;  // SQLite finds it so; else the file is in our way only
    };
    const Damage damages[] = {
        {"a page of the logs zeroed", [](const Path& file) { rawdb::ZeroPage(file, rawdb::RootPage(file, "logs")); },
         true},
        {"a page of the logs of random bytes",
         [](const Path& file) { rawdb::FillPageWithRandomBytes(file, rawdb::RootPage(file, "logs"), 7); }, true},
        {"a page of the priority index zeroed",
         [](const Path& file) { rawdb::ZeroPage(file, rawdb::RootPage(file, "ix_logs_priority")); }, true},
        {"a page of the priority index of random bytes",
         [](const Path& file) { rawdb::FillPageWithRandomBytes(file, rawdb::RootPage(file, "ix_logs_priority"), 11); },
         true},
        // Found while an older version's table is dropped and made anew.
        {"version 0, a page of the logs zeroed",
         [](const Path& file) {
             rawdb::Execute(file, "PRAGMA user_version = 0");
             rawdb::ZeroPage(file, rawdb::RootPage(file, "logs"));
         },
         true},
        {"version 3, a page of the priority index of random bytes",
         [](const Path& file) {
             rawdb::Execute(file, "PRAGMA user_version = 3");
             rawdb::FillPageWithRandomBytes(file, rawdb::RootPage(file, "ix_logs_priority"), 5);
         },
         true},
        // Every insertion would be refused.
        {"a write format SQLite does not know", [](const Path& file) { rawdb::SetHeaderByte(file, 18, 3); }, false},
        {"a column of the logs renamed",
         [](const Path& file) { rawdb::Execute(file, "ALTER TABLE logs RENAME COLUMN groupId TO groupKey"); }, false},
        // Set-up cannot make the table.
        {"logs as a view",
         [](const Path& file) {
             rawdb::Execute(file,
                            "DROP TABLE logs; CREATE VIEW logs AS SELECT 1 AS id, 'A' AS groupId, '' AS log, "
                            "NULL AS targetToken, NULL AS targetKey, 1 AS priority");
         },
         false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        removeDatabase();
        const Path file = previousDatabase();
        damage.apply(file);

        TLMLogCapture capture;
        TLMLogDBStorage storage;
        EXPECT_TRUE(storage.saveLog(makeLog("new"), "A", TLMFlagsCritical));
        EXPECT_EQ(rebuilds(capture), 1u);
        EXPECT_EQ(damagedWarnings(capture), damage.corrupt ? 1u : 0u);
        EXPECT_EQ(rawdb::Text(file, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(storage.countLogs(), 1u);
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), std::vector<std::string>{"new"});
        EXPECT_TRUE(storage.saveLog(makeLog("later"), "A", TLMFlagsNormal));
    }
}

TEST_F(TLMLogDBStorageTest, EveryOperationMakesADatabaseDamagedAfterSetUpAnew) {
    struct Operation {
        const char* name;
        std::function<void(TLMLogDBStorage&, const std::optional<std::string>& batchId)> run;
    };
    const Operation operations[] = {
        {"count", [](TLMLogDBStorage& storage, const auto&) { EXPECT_EQ(storage.countLogs(), 0u); }},
        {"delete a batch",
         [](TLMLogDBStorage& storage, const auto& batchId) { storage.deleteLogsWithBatchId(*batchId, "A"); }},
        {"change the maximum size",
         [](TLMLogDBStorage& storage, const auto&) {
             bool outcome = false;
             storage.setMaxStorageSize(20 * 4096, [&](bool success) { outcome = success; });
             EXPECT_TRUE(outcome);
             EXPECT_EQ(storage.maxSizeInBytes(), 20 * 4096);
         }},
    };
    for (const Operation& operation : operations) {
        SCOPED_TRACE(operation.name);
        removeDatabase();
        TLMLogDBStorage storage;
        ASSERT_TRUE(storage.saveLog(makeLog("old"), "A", TLMFlagsNormal));
        const std::optional<std::string> batchId = load(storage, "A", 1).batchId;
        ASSERT_TRUE(batchId.has_value());
        rawdb::OverwriteHeader(storage.dbFileURL());

        TLMLogCapture capture;
        operation.run(storage, batchId);
        EXPECT_EQ(rebuilds(capture), 1u);
        ASSERT_TRUE(storage.saveLog(makeLog("new"), "A", TLMFlagsNormal));
        EXPECT_EQ(storage.countLogs(), 1u);
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), std::vector<std::string>{"new"});
    }
}

TEST_F(TLMLogDBStorageTest, TheNewDatabaseKeepsTheRunsSizeAndNoBatchOfTheDamagedOne) {
    TLMLogDBStorage storage;
    storage.setMaxStorageSize(16 * 4096, {});
    for (const char* name : {"old1", "old2"}) ASSERT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
    const Batch old = load(storage, "A", 10);
    ASSERT_EQ(old.logs.size(), 2u);
    rawdb::OverwriteHeader(storage.dbFileURL());

    // The new rows take the identifiers of the batch's again.
    for (const char* name : {"new1", "new2"}) ASSERT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
    EXPECT_EQ(ids(storage.dbFileURL()), (std::vector<std::int64_t>{1, 2}));
    storage.deleteLogsWithBatchId(*old.batchId, "A");
    EXPECT_EQ(storage.countLogs(), 2u);
    EXPECT_EQ(namesOf(load(storage, "A", 10).logs), (std::vector<std::string>{"new1", "new2"}));
    // The size settled for this run holds for the new file.
    EXPECT_EQ(storage.maxSizeInBytes(), 16 * 4096);
}

TEST_F(TLMLogDBStorageTest, ADatabaseDamagedAgainIsMadeAnewAtMostOnceAMinute) {
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock(clock);
    const std::filesystem::path file = previousDatabase();
    rawdb::ZeroPage(file, rawdb::RootPage(file, "logs"));
    TLMLogCapture capture;
    TLMLogDBStorage storage;
    ASSERT_TRUE(storage.saveLog(makeLog("first"), "A", TLMFlagsNormal));
    ASSERT_EQ(rebuilds(capture), 1u);

    // Each later damage is mended a minute after the last time; meanwhile
    // saves are refused for later, not failed.
    for (std::size_t round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        rawdb::ZeroPage(file, rawdb::RootPage(file, "logs"));
        clock->advance(59s);
        EXPECT_EQ(storage.saveLogs({{makeLog("later"), TLMFlagsNormal}}, "A"),
                  std::vector<TLMSaveOutcome>{TLMSaveOutcome::Later});
        EXPECT_EQ(rebuilds(capture), 1u + round);
        clock->advance(1s);
        EXPECT_TRUE(storage.saveLog(makeLog("kept"), "A", TLMFlagsNormal));
        EXPECT_EQ(rebuilds(capture), 2u + round);
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), std::vector<std::string>{"kept"});
    }
}

TEST_F(TLMLogDBStorageTest, TheDatabaseRunsNoCodeOfItsOwn) {
    const std::filesystem::path file = TLMLogDBStorage().dbFileURL();
    // A trigger that would drop every new log.
    rawdb::Execute(file, "CREATE TRIGGER wipe AFTER INSERT ON logs BEGIN DELETE FROM logs; END;");
    TLMLogDBStorage storage;
    ASSERT_TRUE(storage.saveLog(makeLog("kept"), "A", TLMFlagsNormal));
    EXPECT_EQ(namesOf(load(storage, "A", 10).logs), std::vector<std::string>{"kept"});

    // Nor may a statement rewrite the schema, nor the schema call functions
    // that reach outside the file.
    int defensive = -1;
    int trustedSchema = -1;
    EXPECT_EQ(storage.executeQueryUsingBlock([&](sqlite3* db) {
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, -1, &defensive);
        sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, -1, &trustedSchema);
        return 0;
    }),
              0);
    EXPECT_EQ(defensive, 1);
    EXPECT_EQ(trustedSchema, 0);
}

TEST_F(TLMLogDBStorageTest, ASaveWaitsForAnotherConnectionToLetGoOfTheFile) {
    struct Holder {
        const char* name;
        const char* statements;
    };
    const Holder holders[] = {
        {"a read transaction", "BEGIN; SELECT COUNT(*) FROM logs;"},
        {"an exclusive lock", "BEGIN EXCLUSIVE;"},
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        removeDatabase();
        TLMLogDBStorage storage;
        const std::filesystem::path file = storage.dbFileURL();
        // Lets go once the save waits, on the save's own thread.
        std::optional<rawdb::HeldFile> other(std::in_place, file, holder.statements);
        std::atomic<bool> slept{false};
        SleepReportingFileSystem fileSystem([&] {
            if (!slept.exchange(true)) other->letGo();
        });
        const bool saved = storage.saveLog(makeLog("waited"), "A", TLMFlagsNormal);
        other.reset();
        EXPECT_TRUE(saved);
        EXPECT_TRUE(slept.load());
        EXPECT_EQ(storage.countLogs(), 1u);
    }
}

TEST_F(TLMLogDBStorageTest, SetUpWhileAnotherConnectionHoldsTheFileLeavesItForTheNextOperation) {
    struct Holder {
        const char* name;
        // The file as the other connection found it.
        std::function<std::filesystem::path()> file;
        const char* statements;
        std::vector<std::string> keptLogs;
    };
    const Holder holders[] = {
        {"an exclusive lock on the logs of the last start",
         previousDatabase,
         "BEGIN EXCLUSIVE;",
         {"old0", "old1", "old2"}},
        {"a read transaction", previousDatabase, "BEGIN; SELECT COUNT(*) FROM logs;", {"old0", "old1", "old2"}},
        // Making our table would fail as busy, not as damage.
        {"a write lock on a file that has no logs table yet",
         [] {
             const std::filesystem::path file = *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
             std::filesystem::create_directories(file.parent_path());
             std::ofstream{file};  // an empty file is an empty database
             rawdb::Execute(file, "CREATE TABLE other (x); INSERT INTO other VALUES (7);");
             return file;
         },
         "BEGIN IMMEDIATE; INSERT INTO other VALUES (8);",
         {}},
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        removeDatabase();
        const std::filesystem::path file = holder.file();
        // The other connection lets go on the storage's own thread, in its
        // first wait, so no other thread need run meanwhile.
        std::optional<rawdb::HeldFile> other(std::in_place, file, holder.statements);
        std::atomic<int> sleeps{0};
        bool releaseOnSleep = false;
        SleepReportingFileSystem fileSystem([&] {
            ++sleeps;
            if (std::exchange(releaseOnSleep, false)) other->letGo();
        });

        // The app's start does not wait for the other connection, and
        // nothing of the file is deleted.
        TLMLogCapture capture;
        TLMLogDBStorage storage;
        EXPECT_EQ(sleeps.load(), 0);
        EXPECT_EQ(rebuilds(capture), 0u);
        // The first operation sets it up, waiting as any work does; the
        // other connection lets go once it waits.
        releaseOnSleep = true;
        const bool saved = storage.saveLog(makeLog("new"), "A", TLMFlagsNormal);
        other.reset();
        EXPECT_TRUE(saved);
        EXPECT_GT(sleeps.load(), 0);
        EXPECT_EQ(rebuilds(capture), 0u);
        std::vector<std::string> want = holder.keptLogs;
        want.push_back("new");
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), want);
        if (holder.keptLogs.empty()) {
            EXPECT_EQ(rawdb::Integer(file, "SELECT SUM(x) FROM other"), 15);
        }
    }
}

TEST_F(TLMLogDBStorageTest, AnotherInstanceMakingTheTableWhileThisOneSetsUpIsNoDamage) {
    removeDatabase();
    TLMLogCapture capture;
    // Between our making the file and our set-up's transaction, a second
    // instance of the app starting at once finds the file, makes the table
    // and saves a log.
    bool otherSaved = false;
    BeforeStatement race("BEGIN", [&] {
        TLMLogDBStorage other;
        otherSaved = other.saveLog(makeLog("other's"), "A", TLMFlagsNormal);
    });
    TLMLogDBStorage storage;
    ASSERT_TRUE(race.ran());
    EXPECT_TRUE(otherSaved);

    // The file is the other instance's as much as ours: nothing is deleted.
    EXPECT_EQ(rebuilds(capture), 0u);
    EXPECT_TRUE(capture.linesAt(TLMLogLevelError).empty());
    EXPECT_TRUE(storage.saveLog(makeLog("ours"), "A", TLMFlagsNormal));
    EXPECT_EQ(namesOf(load(storage, "A", 10).logs), (std::vector<std::string>{"other's", "ours"}));
    EXPECT_EQ(rawdb::Integer(storage.dbFileURL(), "PRAGMA user_version"), TLMLogDBStorage::kSchemaVersion);
    EXPECT_EQ(rawdb::Integer(storage.dbFileURL(),
                             "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'ix_logs_priority'"),
              1);
}

TEST_F(TLMLogDBStorageTest, TwoInstancesStartingAtOnceSetTheFileUpOneAfterTheOther) {
    removeDatabase();
    TLMLogCapture capture;
    std::unique_ptr<TLMLogDBStorage> second;
    std::thread starting;
    // The second instance has left its set-up, or is about to empty the
    // table as an older version's.
    std::counting_semaphore<2> secondWaits(0);
    std::binary_semaphore firstSaved(0);
    BeforeStatement drop("DROP TABLE", [&] {
        secondWaits.release();
        EXPECT_TRUE(firstSaved.try_acquire_for(std::chrono::seconds(60)));
    });
    // The second instance starts while the first writes its version into
    // the new file.
    BeforeStatement race("PRAGMA user_version = ", [&] {
        starting = std::thread([&] {
            second = std::make_unique<TLMLogDBStorage>();
            secondWaits.release();
        });
        EXPECT_TRUE(secondWaits.try_acquire_for(std::chrono::seconds(60)));
    });
    TLMLogDBStorage first;
    ASSERT_TRUE(race.ran());
    const bool firstSavedItsLog = first.saveLog(makeLog("first's"), "A", TLMFlagsNormal);
    firstSaved.release();
    starting.join();
    ASSERT_TRUE(second);
    EXPECT_TRUE(firstSavedItsLog);
    EXPECT_TRUE(second->saveLog(makeLog("second's"), "A", TLMFlagsNormal));

    // Neither took the other's file for an older one.
    EXPECT_FALSE(drop.ran());
    EXPECT_EQ(namesOf(load(first, "A", 10).logs), (std::vector<std::string>{"first's", "second's"}));
    EXPECT_EQ(rebuilds(capture), 0u);
    EXPECT_EQ(rawdb::Integer(first.dbFileURL(), "PRAGMA user_version"), TLMLogDBStorage::kSchemaVersion);
}

TEST_F(TLMLogDBStorageTest, AFileHeldPastTheWaitLeavesLogsForLaterAndTheCountUnreadNotLostOrZero) {
    const std::vector<std::vector<std::string>> groups = {{"one"}, {"first", "second", "third"}};
    for (const std::vector<std::string>& names : groups) {
        SCOPED_TRACE(names.size());
        removeDatabase();
        const std::filesystem::path file = previousDatabase();
        TLMLogDBStorage storage;
        std::vector<TLMLogToSave> group;
        for (const std::string& name : names) group.push_back({makeLog(name), TLMFlagsNormal});

        rawdb::SleeplessFileSystem fileSystem;
        rawdb::HeldFile held(file, "BEGIN EXCLUSIVE;");
        EXPECT_EQ(storage.saveLogs(group, "A"), std::vector<TLMSaveOutcome>(names.size(), TLMSaveOutcome::Later));
        EXPECT_EQ(storage.countLogsWithGroupId("A"), std::nullopt);
        EXPECT_GT(fileSystem.sleeps(), 0);  // it did wait, as long as any work waits
        EXPECT_TRUE(storage.isFileHeld());

        held.letGo();
        EXPECT_EQ(storage.countLogsWithGroupId("A"), std::optional<std::uint64_t>(3));
        EXPECT_FALSE(storage.isFileHeld());
        EXPECT_EQ(storage.saveLogs(group, "A"), std::vector<TLMSaveOutcome>(names.size(), TLMSaveOutcome::Stored));
        std::vector<std::string> want = {"old0", "old1", "old2"};
        want.insert(want.end(), names.begin(), names.end());
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), want);
    }
}

TEST_F(TLMLogDBStorageTest, AFileOfALaterOrNegativeVersionWhoseTableIsNotOursIsSetAsideNotDeleted) {
    // A later version with our table is kept as it is (TLMDBStorageTest).
    struct Case {
        const char* name;
        const char* change;
        bool ours;  // the table still
    };
    const Case cases[] = {
        {"a later version, a column renamed",
         "ALTER TABLE logs RENAME COLUMN groupId TO groupKey; PRAGMA user_version = 7", false},
        {"a negative version, logs a view over another table",
         "ALTER TABLE logs RENAME TO entries; CREATE VIEW logs AS SELECT * FROM entries; PRAGMA user_version = -1",
         false},
        {"a negative version, our table", "PRAGMA user_version = -1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        const std::filesystem::path file = previousDatabase();
        rawdb::Execute(file, c.change);
        TLMLogDBStorage storage;
        EXPECT_TRUE(storage.saveLog(makeLog("new"), "A", TLMFlagsNormal));
        const std::vector<std::string> all = {"old0", "old1", "old2", "new"};
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), c.ours ? all : std::vector<std::string>{"new"});
        // The logs of the file set aside; -1: none is.
        const std::int64_t asideLogs =
            std::filesystem::exists(setAside(1)) ? rawdb::Integer(setAside(1), "SELECT COUNT(*) FROM logs") : -1;
        EXPECT_EQ(asideLogs, c.ours ? -1 : 3);
    }

    // Three are kept at most, the newest: the oldest makes room, and nothing
    // is called damaged or made anew.
    removeDatabase();
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        const std::string version = std::to_string(6 + n);
        rawdb::Execute(previousDatabase(),
                       "ALTER TABLE logs RENAME COLUMN groupId TO groupKey; PRAGMA user_version = " + version);
        TLMLogCapture capture;
        TLMLogDBStorage storage;
        EXPECT_TRUE(storage.saveLog(makeLog("new"), "A", TLMFlagsNormal));
        EXPECT_EQ(rebuilds(capture), 0u);
        EXPECT_EQ(damagedWarnings(capture), 0u);
        // The warning names the version found and the file it is kept as.
        const std::string kept = "has version " + version +
                                 " and its tables are not the ones this client reads; it is kept as \"Logs.set-aside-" +
                                 std::to_string(std::min(n, TLMDBStorage::kMaxSetAside)) + ".sqlite\"";
        EXPECT_EQ(warnings(capture, kept), 1u);
        // Oldest first: the versions of the files kept (0: none).
        const std::vector<std::vector<std::int64_t>> kKept = {{7, 0, 0}, {7, 8, 0}, {7, 8, 9}, {8, 9, 10}, {9, 10, 11}};
        std::vector<std::int64_t> versions;
        for (int k = 1; k <= TLMDBStorage::kMaxSetAside; ++k) {
            versions.push_back(std::filesystem::exists(setAside(k)) ? rawdb::Integer(setAside(k), "PRAGMA user_version")
                                                                    : 0);
        }
        EXPECT_EQ(versions, kKept[n - 1]);
        EXPECT_FALSE(std::filesystem::exists(setAside(TLMDBStorage::kMaxSetAside + 1)));
        storage.dropDatabase();
    }
}

TEST_F(TLMLogDBStorageTest, ARemovedOrEmptiedDatabaseIsSetUpAnewAndNothingWaitingIsLost) {
    using Path = std::filesystem::path;
    struct Case {
        const char* name;
        std::function<void(const Path&)> apply;
        std::vector<std::string> want;  // after "new" was saved
        bool whileSaving = false;       // applied once the save has its connection
    };
    const auto remove = [](const Path& file) {
        for (const char* suffix : {"", "-journal", ".setup.lock", ".lock"})
            std::filesystem::remove(file.string() + suffix);
    };
    const Case cases[] = {
        {"removed with its journal and lock files", remove, {"new"}},
        {"replaced by an empty file",
         [&](const Path& file) {
             remove(file);
             std::ofstream{file};
         },
         {"new"}},
        {"its table dropped", [](const Path& file) { rawdb::Execute(file, "DROP TABLE logs"); }, {"new"}},
        // A second launch makes the file anew first: its rows take the
        // identifiers of this process's batch out, which must not delete them.
        {"removed, then made anew by a second launch",
         [&](const Path& file) {
             remove(file);
             EXPECT_TRUE(TLMLogDBStorage().saveLog(makeLog("second's"), "A", TLMFlagsNormal));
         },
         {"second's", "new"}},
        {"removed while the save has it open", remove, {"new"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        TLMLogDBStorage storage;
        ASSERT_TRUE(storage.saveLog(makeLog("old"), "A", TLMFlagsNormal));
        const Batch out = load(storage, "A", 10);
        ASSERT_TRUE(out.batchId.has_value());
        const Path file = storage.dbFileURL();
        std::optional<BeforeStatement> during;
        if (c.whileSaving) {
            during.emplace("INSERT", [&] { c.apply(file); });
        } else {
            c.apply(file);
        }

        EXPECT_EQ(storage.saveLogs({{makeLog("new"), TLMFlagsNormal}}, "A"),
                  std::vector<TLMSaveOutcome>{TLMSaveOutcome::Stored});
        EXPECT_EQ(during.has_value(), during && during->ran());
        storage.deleteLogsWithBatchId(*out.batchId, "A");
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), c.want);
        EXPECT_EQ(rawdb::Integer(storage.dbFileURL(), "PRAGMA user_version"), TLMLogDBStorage::kSchemaVersion);
        EXPECT_EQ(
            rawdb::Integer(storage.dbFileURL(),
                           "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = 'ix_logs_priority'"),
            1);
    }
}

TEST_F(TLMLogDBStorageTest, EveryRefusalThatMayPassKeepsTheLogsUntilTheStoreWorks) {
    // A folder in the file's place: TLMDBStorageTest.
    using Fault = rawdb::FaultyFileSystem::Fault;
    struct Case {
        const char* name;
        Fault fault;
        bool atStart;  // else after set-up
    };
    const Case cases[] = {
        {"a full disk", Fault::Full, false},
        {"a full disk at start", Fault::Full, true},
        {"a write-protected file", Fault::WriteProtected, false},
        {"a write-protected file at start", Fault::WriteProtected, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        previousDatabase();  // logs of the last start, which nothing may evict or delete
        rawdb::FaultyFileSystem fileSystem;
        std::optional<TLMLogDBStorage> storage;
        if (!c.atStart) storage.emplace();
        rawdb::FaultyFileSystem::setFault(c.fault);
        if (c.atStart) storage.emplace();
        const std::vector<TLMLogToSave> group = {{makeLog("new1"), TLMFlagsCritical},
                                                 {makeLog("new2"), TLMFlagsNormal}};
        EXPECT_EQ(storage->saveLogs(group, "A"), std::vector<TLMSaveOutcome>(2, TLMSaveOutcome::Later));

        rawdb::FaultyFileSystem::setFault(Fault::None);
        EXPECT_EQ(storage->saveLogs(group, "A"), std::vector<TLMSaveOutcome>(2, TLMSaveOutcome::Stored));
        EXPECT_EQ(namesOf(load(*storage, "A", 10).logs),
                  (std::vector<std::string>{"new1", "old0", "old1", "old2", "new2"}));
    }
}

// The other launch: a process of its own on the same home, started after
// the damage, which stops once it has found the damage, right before it
// deletes the file (the path checked), until the test lets it go.
class DamageFindingLaunch {
public:
    explicit DamageFindingLaunch(bool damageAfterSetUp) {
        TLMLogger::waitUntilIdle();
        if (pipe(mFound) != 0 || pipe(mGo) != 0 || (mPid = fork()) < 0) return;
        if (mPid != 0) return;
        // The logger's queue has no thread in this copy of the process.
        TLMLogger::setLogHandler({});
        bool stopped = false;
        TLMDBStorage::setReplacingHook(TLMDBStorage::ReplacingStep::AfterPathCheck, [&] {
            if (std::exchange(stopped, true)) return;
            char c = 'f';
            if (write(mFound[1], &c, 1) != 1 || !ready(mGo[0]) || read(mGo[0], &c, 1) != 1) _exit(3);
        });
        TLMLogDBStorage storage;
        if (damageAfterSetUp) rawdb::OverwriteHeader(storage.dbFileURL());
        _exit(storage.saveLog(makeLog("other's"), "A", TLMFlagsNormal) ? 0 : 1);
    }
    ~DamageFindingLaunch() {
        for (const int fd : {mFound[0], mFound[1], mGo[0], mGo[1]}) close(fd);
        if (mPid > 0) kill(mPid, SIGKILL), waitpid(mPid, nullptr, 0);
    }
    bool foundDamage() {
        char c = 0;
        return ready(mFound[0]) && read(mFound[0], &c, 1) == 1;
    }
    // Lets it go on; its exit code (0: its log saved).
    int goOn() {
        char c = 'g';
        int status = 0;
        if (write(mGo[1], &c, 1) != 1 || waitpid(mPid, &status, 0) != mPid) return -1;
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static bool ready(int fd) {
        pollfd in{fd, POLLIN, 0};
        return poll(&in, 1, 30'000) == 1;
    }
    int mFound[2] = {-1, -1};
    int mGo[2] = {-1, -1};
    pid_t mPid = -1;
};

TEST_F(TLMLogDBStorageTest, TwoLaunchesFindingTheSameDamageReplaceTheFileOnceAndKeepBothTheirLogs) {
    struct Case {
        const char* name;
        bool afterSetUp;  // else at set-up, of a text file
    };
    const Case cases[] = {{"a text file at start", false}, {"damage found by a save", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        const std::filesystem::path file = *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
        std::optional<TLMLogDBStorage> storage;
        if (c.afterSetUp) {
            storage.emplace();
        } else {
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file) << "not a database";
        }
        DamageFindingLaunch other(c.afterSetUp);
        ASSERT_TRUE(other.foundDamage());

        // While the other launch replaces the file, this one waits for it
        // (here a wait that runs out at once) and keeps its log for later.
        rawdb::SleeplessFileSystem fileSystem;
        if (!storage) storage.emplace();
        const TLMSaveOutcome first = storage->saveLogs({{makeLog("ours"), TLMFlagsNormal}}, "A").front();
        EXPECT_EQ(other.goOn(), 0);
        // Kept, it is saved into the other launch's new file.
        if (first == TLMSaveOutcome::Later) {
            EXPECT_TRUE(storage->saveLog(makeLog("ours"), "A", TLMFlagsNormal));
        }
        std::vector<std::string> names = namesOf(load(*storage, "A", 10).logs);
        std::ranges::sort(names);
        EXPECT_EQ(names, (std::vector<std::string>{"other's", "ours"}));
    }
}

TEST_F(TLMLogDBStorageTest, ABatchIsDeletedOnlyInTheFileItCameFromOrACopyOfIt) {
    using Path = std::filesystem::path;
    const auto copyAside = [](const Path& file) {
        const Path copy = file.string() + ".copy";
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        return copy;
    };
    // A second launch sets the file up anew and saves three logs: their
    // identifiers are those of the batch in flight.
    const auto secondLaunchSaves = [] {
        TLMLogDBStorage second;
        for (const char* name : {"b1", "b2", "b3"}) EXPECT_TRUE(second.saveLog(makeLog(name), "A", TLMFlagsNormal));
    };
    struct Case {
        const char* name;
        std::function<void(const Path&)> apply;
        std::vector<std::string> want;  // left once the batch is deleted
    };
    const Case cases[] = {
        {"emptied in place (same inode and birth time) and set up anew",
         [&](const Path& file) {
             std::filesystem::resize_file(file, 0);
             secondLaunchSaves();
         },
         {"b1", "b2", "b3"}},
        {"its table dropped and set up anew",
         [&](const Path& file) {
             rawdb::Execute(file, "DROP TABLE logs");
             secondLaunchSaves();
         },
         {"b1", "b2", "b3"}},
        {"removed and made anew",
         [&](const Path& file) {
             std::filesystem::remove(file);
             secondLaunchSaves();
         },
         {"b1", "b2", "b3"}},
        // What backup and sync tools do: the copy holds the batch's rows.
        {"replaced by a copy of itself", [&](const Path& file) { std::filesystem::rename(copyAside(file), file); }, {}},
        {"replaced by a hard link to a copy",
         [&](const Path& file) {
             const Path copy = copyAside(file);
             const Path link = file.string() + ".link";
             std::filesystem::create_hard_link(copy, link);
             std::filesystem::rename(link, file);
             std::filesystem::remove(copy);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        TLMLogDBStorage storage;
        for (const char* name : {"a1", "a2", "a3"}) ASSERT_TRUE(storage.saveLog(makeLog(name), "A", TLMFlagsNormal));
        const Batch sent = load(storage, "A", 10);
        ASSERT_EQ(sent.logs.size(), 3u);
        c.apply(storage.dbFileURL());
        storage.deleteLogsWithBatchId(*sent.batchId, "A");
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), c.want);
        EXPECT_EQ(namesOf(load(*std::make_unique<TLMLogDBStorage>(), "A", 10).logs), c.want);
    }
}

TEST_F(TLMLogDBStorageTest, AFileNotSetUpAsWeLeftItIsSetUpBeforeTheSaveAndOurRowsKept) {
    using Path = std::filesystem::path;
    // Put in place while the app runs, as a restored backup is: written
    // aside, then renamed over the file.
    const auto putInPlace = [](const Path& file, const std::string& statements) {
        const Path other = file.string() + ".other";
        std::ofstream{other, std::ios::trunc};
        rawdb::Execute(other, statements);
        std::filesystem::rename(other, file);
    };
    struct Case {
        const char* name;
        std::function<void(const Path&)> apply;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"an older release's file, its table without our columns",
         [&](const Path& file) {
             putInPlace(file,
                        "CREATE TABLE logs (id INTEGER PRIMARY KEY AUTOINCREMENT, groupId TEXT NOT NULL, log TEXT NOT "
                        "NULL); INSERT INTO logs (groupId, log) VALUES ('A', 'old'); PRAGMA user_version = 4;");
         },
         {"after"}},
        // Another launch's set-up of a new file, refused after it made the
        // table: this launch's save into it was told it is stored.
        {"our table left at version 0 by a set-up refused half-way",
         [&](const Path& file) {
             putInPlace(file,
                        "CREATE TABLE \"logs\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"groupId\" TEXT NOT NULL, "
                        "\"log\" TEXT NOT NULL, \"targetToken\" TEXT, \"targetKey\" TEXT, \"priority\" INTEGER)");
         },
         {"after"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        TLMLogDBStorage storage;
        ASSERT_TRUE(storage.saveLog(makeLog("before"), "A", TLMFlagsNormal));
        c.apply(storage.dbFileURL());
        EXPECT_TRUE(storage.saveLog(makeLog("after"), "A", TLMFlagsNormal));
        // A later launch's set-up keeps them too.
        EXPECT_EQ(namesOf(load(*std::make_unique<TLMLogDBStorage>(), "A", 10).logs), c.want);
        EXPECT_EQ(rawdb::Integer(storage.dbFileURL(), "PRAGMA user_version"), TLMLogDBStorage::kSchemaVersion);
    }
}

// A launch as a user other than root, in a process of its own, owning the
// app's folders: root ignores modes. Its exit code.
int launchAsAnotherUser(const std::function<int()>& work) {
    constexpr uid_t kNobody = 65534;
    const std::filesystem::path folder = *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
    for (std::filesystem::path p = folder.parent_path();
         p.string().size() >= testsupport::processRoot().string().size(); p = p.parent_path()) {
        EXPECT_EQ(chown(p.c_str(), kNobody, kNobody), 0) << p;
    }
    TLMLogger::waitUntilIdle();
    const pid_t pid = fork();
    if (pid == 0) {
        // The logger's queue has no thread in this copy of the process.
        TLMLogger::setLogHandler({});
        _exit(setgid(kNobody) == 0 && setuid(kNobody) == 0 ? work() : 9);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(TLMLogDBStorageTest, AFileWeCannotWriteInAFolderWeCanIsSetAsideAndMadeAnew) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const std::filesystem::path file = *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName);
    const auto ownedByTheUser = [&](mode_t mode) {
        EXPECT_EQ(chown(file.c_str(), 65534, 65534), 0);
        EXPECT_EQ(chmod(file.c_str(), mode), 0);
    };
    struct Case {
        const char* name;
        std::function<void()> before;  // as root, on the last start's file
        bool whileRunning;             // the mode set once the launch set the file up
        int want;                      // 0 stored, 2 kept for later
    };
    const Case cases[] = {
        {"root's, 0644 (the app once run as root)", [] {}, false, 0},
        {"the user's, write-protected", [&] { ownedByTheUser(0444); }, false, 0},
        {"the user's, write-protected while running", [&] { ownedByTheUser(0644); }, true, 0},
        {"the user's in a read-only folder",
         [&] {
             ownedByTheUser(0644);
             EXPECT_EQ(chmod(file.parent_path().c_str(), 0555), 0);
         },
         false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        previousDatabase();
        c.before();
        const int launch = launchAsAnotherUser([&] {
            TLMLogDBStorage storage;
            if (c.whileRunning && chmod(file.c_str(), 0444) != 0) return 8;
            const TLMSaveOutcome outcome = storage.saveLogs({{makeLog("new"), TLMFlagsNormal}}, "A").front();
            if (outcome == TLMSaveOutcome::Later) return 2;
            return outcome == TLMSaveOutcome::Stored && namesOf(load(storage, "A", 10).logs).back() == "new" ? 0 : 1;
        });
        chmod(file.parent_path().c_str(), 0755);
        EXPECT_EQ(launch, c.want);
        // The last start's logs are kept: beside it, or where they were.
        const std::filesystem::path kept = c.want == 0 ? setAside(1) : file;
        EXPECT_EQ(rawdb::Integer(kept, "SELECT COUNT(*) FROM logs WHERE groupId = 'A'"), 3);
    }
}

TEST_F(TLMLogDBStorageTest, AFailedDeletionNamesItsBatchNotEveryIdentifier) {
    removeDatabase();
    TLMLogDBStorage storage;
    std::vector<TLMLogToSave> group;
    for (int i = 0; i < 20; ++i) group.push_back({makeLog("log" + std::to_string(i)), TLMFlagsNormal});
    ASSERT_EQ(storage.saveLogs(group, "A"), std::vector<TLMSaveOutcome>(20, TLMSaveOutcome::Stored));
    const Batch sent = load(storage, "A", 20);
    rawdb::FaultyFileSystem fileSystem;
    rawdb::FaultyFileSystem::setFault(rawdb::FaultyFileSystem::Fault::Full);
    TLMLogCapture capture;
    storage.deleteLogsWithBatchId(*sent.batchId, "A");
    TLMLogger::waitUntilIdle();
    std::vector<std::string> deletions;
    for (const TLMCapturedLine& line : capture.linesAt(TLMLogLevelError)) {
        if (line.message.starts_with("Deletion")) deletions.push_back(line.message);
    }
    EXPECT_EQ(deletions, std::vector<std::string>{"Deletion of log(s) by id with 20 values from '1' to '20' failed."});

    // Deleted once the disk has room, and never loaded again meanwhile.
    EXPECT_TRUE(load(storage, "A", 20).logs.empty());
    rawdb::FaultyFileSystem::setFault(rawdb::FaultyFileSystem::Fault::None);
    EXPECT_EQ(storage.countLogs(), 0u);
}

TEST_F(TLMLogDBStorageTest, ADamagedFileMendedOrReplacedByAnotherBeforeItIsReplacedIsKept) {
    // Another launch (or a restoring user) writes the last start's good
    // file back while this one gets ready to replace the damaged one.
    const auto writeGood = [](const std::filesystem::path& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    };
    struct Case {
        const char* name;
        bool inPlace;  // same inode and birth time: only finding it again tells
    };
    const Case cases[] = {{"put in its place, found by the path", false},
                          {"mended in place while this launch waits for the set-up lock", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeDatabase();
        const std::filesystem::path file = previousDatabase();
        std::string good;
        {
            std::ifstream in(file, std::ios::binary);
            good.assign(std::istreambuf_iterator<char>(in), {});
        }
        writeGood(file, "not a database");
        int lock = -1;
        std::optional<SleepReportingFileSystem> fileSystem;
        if (c.inPlace) {
            lock = open(TLMDBStorage::setUpLockFile(file).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_EQ(flock(lock, LOCK_EX), 0);
            fileSystem.emplace([&] {
                if (lock < 0) return;
                writeGood(file, good);
                close(std::exchange(lock, -1));
            });
        } else {
            TLMDBStorage::setReplacingHook(TLMDBStorage::ReplacingStep::BeforePathCheck, [&] {
                writeGood(file.string() + ".good", good);
                std::filesystem::rename(file.string() + ".good", file);
            });
        }
        TLMLogDBStorage storage;
        EXPECT_TRUE(storage.saveLog(makeLog("ours"), "A", TLMFlagsNormal));
        TLMDBStorage::setReplacingHook(TLMDBStorage::ReplacingStep::BeforePathCheck, {});
        EXPECT_EQ(lock, -1);
        EXPECT_EQ(namesOf(load(storage, "A", 10).logs), (std::vector<std::string>{"old0", "old1", "old2", "ours"}));
    }
}
