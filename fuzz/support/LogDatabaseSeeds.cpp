// Writes the seed corpus of the log database's fuzz target: log databases
// made by our own log storage, and with a second folder the damaged copies
// kept as regression inputs, damaged with SQLite itself and by overwriting
// pages at offsets from the page size.
//
//   log_database_seeds <folder> [<damaged folder>]

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/TokenFuzzSupport.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path DatabaseFile() { return *TLMUtility::fullURLForPathComponent(TLMLogDBStorage::kFileName); }

void RemoveDatabase() {
    for (const char* suffix : {"", "-journal"}) {
        std::error_code ignored;
        fs::remove(DatabaseFile().string() + suffix, ignored);
    }
}

bool Execute(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    bool done = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
    char* error = nullptr;
    done = done && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
    if (!done) std::fprintf(stderr, "%s: %s\n", sql.c_str(), error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    sqlite3_close_v2(db);
    return done;
}

std::int64_t Integer(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = 0;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    return value;
}

// The page where the table or index of that name starts, overwritten.
bool OverwriteRootPage(const fs::path& file, const std::string& name, const std::function<char(std::size_t)>& byteAt) {
    const std::int64_t pageSize = Integer(file, "PRAGMA page_size");
    const std::int64_t page = Integer(file, "SELECT rootpage FROM sqlite_master WHERE name = '" + name + "'");
    if (pageSize <= 0 || page <= 0) return false;
    std::vector<char> bytes(static_cast<std::size_t>(pageSize));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = byteAt(i);
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp((page - 1) * pageSize);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

std::shared_ptr<TLMStartServiceLog> StartLog(const std::string& name) {
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setServices(std::vector<std::string>{name});
    return log;
}

std::shared_ptr<TLMEventLog> Event(const std::string& name) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName(name);
    event->setEventId("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    return event;
}

std::shared_ptr<TLMUnifiedSchemaLog> Unified(const std::string& name, const std::string& token) {
    auto log = std::make_shared<TLMUnifiedSchemaLog>();
    log->setVer("3.0");
    log->setName(name);
    log->addTransmissionTargetToken(token);
    return log;
}

// Logs of the groups and priorities a start meets: two batches' worth
// waiting in the fuzz target's group, a crash, a log for a target.
bool SaveLogs(TLMLogDBStorage& storage, int analytics) {
    bool saved = storage.saveLog(StartLog("Analytics"), "Analytics", TLMFlagsNormal);
    for (int i = 0; i < analytics; ++i) {
        saved = saved && storage.saveLog(Event("event" + std::to_string(i)), "Analytics",
                                         i % 3 == 0 ? TLMFlagsCritical : TLMFlagsNormal);
    }
    saved = saved && storage.saveLog(Event("crash"), "Crashes", TLMFlagsCritical);
    return saved && storage.saveLog(Unified("unified", "aaaa-1111-token"), "Analytics", TLMFlagsNormal);
}

// A small database on 512-byte pages: made at version 1, so that our own
// migration builds its table and index.
bool MakeSmallDatabase() {
    RemoveDatabase();
    if (!Execute(DatabaseFile(), "PRAGMA page_size = 512; PRAGMA user_version = 1;")) return false;
    TLMLogDBStorage storage;
    return storage.pageSize() == 512 && SaveLogs(storage, 3);
}

bool Keep(const fs::path& folder, const std::string& name) {
    std::error_code error;
    fs::copy_file(DatabaseFile(), folder / name, fs::copy_options::overwrite_existing, error);
    if (error) std::fprintf(stderr, "cannot write %s: %s\n", name.c_str(), error.message().c_str());
    return !error;
}

bool WriteSeeds(const fs::path& folder) {
    RemoveDatabase();
    { TLMLogDBStorage storage; }
    bool written = Keep(folder, "empty.sqlite");
    RemoveDatabase();
    {
        TLMLogDBStorage storage;
        written = written && SaveLogs(storage, 60) && Keep(folder, "two-batches.sqlite");
    }
    // As an earlier build's set-up refused half-way left it (our table,
    // version 0, no identifier), with logs saved into it meanwhile; and an
    // older release's file, whose table lacks the columns we write.
    written =
        written &&
        Execute(DatabaseFile(), "DROP TABLE fileIdentity; DROP INDEX ix_logs_priority; PRAGMA user_version = 0;") &&
        Keep(folder, "half-set-up.sqlite");
    RemoveDatabase();
    written =
        written &&
        Execute(DatabaseFile(),
                "CREATE TABLE logs (id INTEGER PRIMARY KEY AUTOINCREMENT, groupId TEXT NOT NULL, log TEXT NOT "
                "NULL); INSERT INTO logs (groupId, log) VALUES ('Analytics', 'AAAA'); PRAGMA user_version = 4;") &&
        Keep(folder, "version-4.sqlite");
    return written && MakeSmallDatabase() && Keep(folder, "small-pages.sqlite");
}

bool WriteDamaged(const fs::path& folder) {
    struct Damage {
        const char* name;
        std::function<bool(const fs::path&)> apply;
    };
    const Damage damages[] = {
        {"zeroed-logs-page-fails-every-save.sqlite",
         [](const fs::path& file) { return OverwriteRootPage(file, "logs", [](std::size_t) { return '\0'; }); }},
        {"random-logs-page-fails-every-save.sqlite",
         [](const fs::path& file) {
             std::mt19937 random(7);
             return OverwriteRootPage(file, "logs", [&](std::size_t) { return static_cast<char>(random() & 0xFF); });
         }},
        // An older release's file: the damage is met while its table is
        // dropped and made anew, and the version written.
        {"version-0-zeroed-logs-page-fails-every-save.sqlite",
         [](const fs::path& file) {
             return Execute(file, "PRAGMA user_version = 0;") &&
                    OverwriteRootPage(file, "logs", [](std::size_t) { return '\0'; });
         }},
        {"version-3-random-index-page-fails-every-save.sqlite",
         [](const fs::path& file) {
             std::mt19937 random(3);
             return Execute(file, "PRAGMA user_version = 3;") &&
                    OverwriteRootPage(file, "ix_logs_priority",
                                      [&](std::size_t) { return static_cast<char>(random() & 0xFF); });
         }},
        {"write-format-3-fails-every-save.sqlite",
         [](const fs::path& file) {
             // The header's write format: above 2, SQLite only reads the file.
             std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
             out.seekp(18);
             out.put('\x03');
             return out.good();
         }},
        {"renamed-column-fails-every-save.sqlite",
         [](const fs::path& file) { return Execute(file, "ALTER TABLE logs RENAME COLUMN groupId TO groupKey;"); }},
        // A damaged header's version, negative or later than ours, kept the
        // file from being mended.
        {"negative-version-renamed-column-fails-every-save.sqlite",
         [](const fs::path& file) {
             return Execute(file, "ALTER TABLE logs RENAME COLUMN groupId TO groupKey; PRAGMA user_version = -1;");
         }},
        {"later-version-renamed-column-fails-every-save.sqlite",
         [](const fs::path& file) {
             return Execute(file, "ALTER TABLE logs RENAME COLUMN groupId TO groupKey; PRAGMA user_version = 6;");
         }},
        {"logs-a-view-fails-set-up.sqlite",
         [](const fs::path& file) {
             return Execute(file,
                            "DROP TABLE logs; CREATE VIEW logs AS SELECT 1 AS id, 'Analytics' AS groupId, '' AS log, "
                            "NULL AS targetToken, NULL AS targetKey, 1 AS priority;");
         }},
        {"insert-trigger-on-an-endless-view-hangs-the-save.sqlite",
         [](const fs::path& file) {
             return Execute(file,
                            "CREATE VIEW endless AS WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
                            "SELECT max(x) FROM n;"
                            "CREATE TRIGGER hang AFTER INSERT ON logs BEGIN SELECT * FROM endless; END;");
         }},
    };
    for (const Damage& damage : damages) {
        if (!MakeSmallDatabase() || !damage.apply(DatabaseFile()) || !Keep(folder, damage.name)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: log_database_seeds <folder> [<damaged folder>]\n");
        return 2;
    }
    // The fuzz target's keys, so that the stored target tokens decrypt there.
    fuzzsupport::InstallTokenKeys();
    TLMLogger::setCurrentLogLevel(TLMLogLevelNone);
    for (int i = 1; i < argc; ++i) fs::create_directories(argv[i]);
    if (!WriteSeeds(argv[1])) return 1;
    if (argc == 3 && !WriteDamaged(argv[2])) return 1;
    RemoveDatabase();
    return 0;
}
