// The SQLite layer: configuration and its hooks, versions, a damaged file,
// the maximum size and the values read back from rows.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/RawDatabase.h"

#include "telemetry/Internals/Storage/TLMDBStorage.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const TLMDBSchema kSchema = {
    {"items", {{"id", {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}}, {"name", {"TEXT", "NOT NULL"}}, {"n", {}}}}};

// Records the calls of the two hooks.
class RecordingStorage : public TLMDBStorage {
public:
    // The migration hook answers `migration`.
    RecordingStorage(std::uint64_t version, const std::string& filename = "Test.sqlite", int migration = 0)
        : TLMDBStorage(DeferConfiguration{}, kSchema, version, filename), mMigration(migration) {
        initializeDatabase();
    }

    int created = 0;
    std::vector<std::uint64_t> migratedFrom;

protected:
    void customizeDatabase(sqlite3*) override { ++created; }
    int migrateDatabase(sqlite3*, std::uint64_t fromVersion) override {
        migratedFrom.push_back(fromVersion);
        return mMigration;
    }

private:
    const int mMigration;
};

int insert(TLMDBStorage& storage, const std::string& name, std::int64_t n) {
    TLMStorageBindableArray values;
    values.addString(name);
    values.addNumber(n);
    return storage.executeNonSelectionQuery("INSERT INTO \"items\" (\"name\", \"n\") VALUES (?, ?)", values);
}

}  // namespace

TEST(TLMDBStorage, FirstStartCreatesLaterStartsOnlyMigrateOlderVersions) {
    std::filesystem::path file;
    {
        RecordingStorage first(3);
        file = first.dbFileURL();
        EXPECT_EQ(first.created, 1);
        EXPECT_TRUE(first.migratedFrom.empty());
        EXPECT_EQ(first.pageSize(), 4096);
        EXPECT_EQ(first.maxSizeInBytes(), 10 * 1024 * 1024);
        EXPECT_EQ(rawdb::Integer(file, "PRAGMA auto_vacuum"), 1);
        EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 3);
        EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'items'"), 1);
    }
    RecordingStorage same(3);
    EXPECT_EQ(same.created, 0);
    EXPECT_TRUE(same.migratedFrom.empty());

    RecordingStorage newer(5);
    EXPECT_EQ(newer.created, 0);
    EXPECT_EQ(newer.migratedFrom, std::vector<std::uint64_t>{3});
    EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 5);
}

TEST(TLMDBStorage, KeepsAVersionNewerThanItsOwn) {
    std::filesystem::path file;
    {
        RecordingStorage storage(5);
        file = storage.dbFileURL();
        ASSERT_EQ(insert(storage, "kept", 1), 0);
    }
    rawdb::Execute(file, "PRAGMA user_version = 9");

    TLMLogCapture capture;
    RecordingStorage older(5);
    EXPECT_EQ(older.created, 0);
    EXPECT_TRUE(older.migratedFrom.empty());
    EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 9);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning,
                                   "Keeping \"Test.sqlite\" database at version 9, newer than this client's 5."));
    // The newer release still finds its data as its own version.
    RecordingStorage again(5);
    EXPECT_TRUE(again.migratedFrom.empty());
    EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM items"), 1);
}

TEST(TLMDBStorage, ReplacesAFileThatIsNotADatabase) {
    std::filesystem::path file;
    { file = RecordingStorage(1).dbFileURL(); }
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 512; ++i) out << "not a database, ";
    }

    RecordingStorage storage(1);
    EXPECT_EQ(storage.created, 1);
    EXPECT_EQ(storage.pageSize(), 4096);
    EXPECT_EQ(insert(storage, "fresh", 7), 0);
    EXPECT_EQ(storage.countEntriesForTable("items", "", {}), 1u);
    std::ifstream in(file, std::ios::binary);
    std::string head(16, '\0');
    in.read(head.data(), 16);
    EXPECT_EQ(head, std::string("SQLite format 3\0", 16));
}

TEST(TLMDBStorage, ReplacesAFileWhereATableOfTheSchemaCannotBeMade) {
    std::filesystem::path file;
    { file = RecordingStorage(1).dbFileURL(); }
    // An index holds the table's name.
    rawdb::Execute(file, "DROP TABLE items; CREATE TABLE other (x); CREATE INDEX items ON other (x)");

    TLMLogCapture capture;
    RecordingStorage storage(1);
    EXPECT_EQ(storage.created, 1);
    EXPECT_TRUE(capture.hasMessage(
        TLMLogLevelWarning, "The \"Test.sqlite\" database cannot be used (result=1); it is deleted and created anew."));
    EXPECT_FALSE(capture.hasMessage(TLMLogLevelError, "Failed to initialize database."));
    EXPECT_EQ(insert(storage, "fresh", 7), 0);
    EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'other'"), 0);
}

TEST(TLMDBStorage, AFileTheMigrationFailsOnIsMadeAnewAndCalledDamagedOnlyWhenSQLiteSaidSo) {
    const struct {
        int migration;
        const char* warning;
    } cases[] = {
        {SQLITE_CORRUPT, "The \"Test.sqlite\" database is damaged (result=11); it is deleted and created anew."},
        {SQLITE_ERROR, "The \"Test.sqlite\" database cannot be used (result=1); it is deleted and created anew."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.migration);
        std::filesystem::path file;
        {
            RecordingStorage old(1);
            file = old.dbFileURL();
            ASSERT_EQ(insert(old, "old", 1), 0);
        }
        TLMLogCapture capture;
        RecordingStorage storage(2, "Test.sqlite", c.migration);
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, c.warning));
        EXPECT_EQ(capture.linesAt(TLMLogLevelWarning).size(), 1u);
        EXPECT_EQ(insert(storage, "new", 2), 0);
        EXPECT_EQ(rawdb::Integer(file, "SELECT COUNT(*) FROM items"), 1);
        EXPECT_EQ(rawdb::Integer(file, "PRAGMA user_version"), 2);
        std::filesystem::remove(file);
    }
}

TEST(TLMDBStorage, AFolderInTheFilesPlaceRefusesWorkUntilItIsGone) {
    // A folder where the file should be: it cannot be opened, for now.
    std::filesystem::path file;
    { file = RecordingStorage(1, "Blocked.sqlite").dbFileURL(); }
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);

    RecordingStorage storage(1, "Blocked.sqlite");
    EXPECT_EQ(storage.pageSize(), 0);
    bool ran = false;
    const auto work = [&](sqlite3*) {
        ran = true;
        return 0;
    };
    EXPECT_EQ(storage.executeQueryUsingBlock(work), SQLITE_CANTOPEN);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(storage.executeSelectionQuery("SELECT 1", {}).empty());
    EXPECT_TRUE(std::filesystem::is_directory(file));  // nothing of it is deleted

    // Gone, the next work sets the file up and runs.
    std::filesystem::remove(file);
    EXPECT_EQ(storage.executeQueryUsingBlock(work), SQLITE_OK);
    EXPECT_TRUE(ran);
    EXPECT_GT(storage.pageSize(), 0);
}

TEST(TLMDBStorage, MaximumSizeRoundsUpToPagesAndNeverBelowTheData) {
    RecordingStorage storage(1);
    TLMLogCapture capture;
    bool outcome = false;
    storage.setMaxStorageSize(20000, [&](bool success) { outcome = success; });
    EXPECT_TRUE(outcome);
    EXPECT_EQ(storage.maxSizeInBytes(), 5 * 4096);
    EXPECT_TRUE(
        capture.hasMessage(TLMLogLevelInfo, "Changed maximum database size to 20480 bytes (next multiple of 4KiB)."));

    storage.setMaxStorageSize(8 * 4096, [&](bool success) { outcome = success; });
    EXPECT_TRUE(outcome);
    EXPECT_EQ(storage.maxSizeInBytes(), 8 * 4096);
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelInfo, "Changed maximum database size to 32768 bytes."));

    // The limit holds for every later connection: the file stops growing.
    const std::string text(1000, 'x');
    int result = 0;
    for (int i = 0; i < 100 && result == 0; ++i) result = insert(storage, text, i);
    EXPECT_EQ(result, 13);
    EXPECT_LE(rawdb::Integer(storage.dbFileURL(), "PRAGMA page_count"), 8);

    storage.setMaxStorageSize(4096, [&](bool success) { outcome = success; });
    EXPECT_FALSE(outcome);
    EXPECT_EQ(storage.maxSizeInBytes(), 8 * 4096);
    EXPECT_TRUE(
        capture.hasMessage(TLMLogLevelWarning,
                           "Cannot change database size to 4096 bytes as it would cause a loss of data. Maximum "
                           "database size will not be changed."));
}

TEST(TLMDBStorage, ReadsWholeIntegersTextAndNullForOtherTypes) {
    RecordingStorage storage(1);
    ASSERT_EQ(insert(storage, "big", 5'000'000'000), 0);
    ASSERT_EQ(insert(storage, "negative", -4'294'967'297), 0);
    ASSERT_EQ(storage.executeNonSelectionQuery("UPDATE items SET n = 1.5 WHERE name = 'negative'"), 0);
    ASSERT_EQ(storage.executeNonSelectionQuery("INSERT INTO items (id, name, n) VALUES (3000000000, 'id', X'00')"), 0);

    TLMLogCapture capture;
    const std::vector<TLMDBRow> rows = storage.executeSelectionQuery("SELECT * FROM items ORDER BY id", {});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (TLMDBRow{std::int64_t{1}, "big", std::int64_t{5'000'000'000}}));
    EXPECT_EQ(rows[1], (TLMDBRow{std::int64_t{2}, "negative", platform::Value()}));
    EXPECT_EQ(rows[2], (TLMDBRow{std::int64_t{3'000'000'000}, "id", platform::Value()}));
    EXPECT_EQ(capture.linesAt(TLMLogLevelError).size(), 2u);
}

TEST(TLMDBStorage, TablesAreCreatedAndDroppedOnce) {
    RecordingStorage storage(1);
    const TLMDBColumnsSchema columns = {{"key", {"TEXT"}}, {"value", {"INTEGER", "NOT NULL"}}};
    EXPECT_EQ(TLMDBStorage::columnsQueryFromColumnsSchema(columns), "\"key\" TEXT, \"value\" INTEGER NOT NULL");
    EXPECT_TRUE(storage.createTable("extra", columns));
    EXPECT_TRUE(storage.createTable("extra", columns));
    EXPECT_EQ(storage.countEntriesForTable("sqlite_master", "\"name\" = ?",
                                           [] {
                                               TLMStorageBindableArray values;
                                               values.addString("extra");
                                               return values;
                                           }()),
              1u);
    EXPECT_TRUE(storage.dropTable("extra"));
    EXPECT_TRUE(storage.dropTable("extra"));
    EXPECT_EQ(rawdb::Integer(storage.dbFileURL(), "SELECT COUNT(*) FROM sqlite_master WHERE name = 'extra'"), 0);

    const TLMDBColumnsIndexes indexes = TLMDBStorage::columnsIndexes(kSchema);
    EXPECT_EQ(indexes.at("items").at("id"), 0u);
    EXPECT_EQ(indexes.at("items").at("n"), 2u);
}
