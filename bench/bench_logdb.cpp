// The log database's cost: saving 10,000 logs, each through a connection of
// its own as the storage layer does, and loading them back in batches of 50
// (each batch deleted once loaded, as after sending). Beside it, the same
// INSERT of the same archives on one open connection with a transaction per
// row, to show what opening a connection for every operation costs.
//
// A burst saved 50 at a time (as a channel unit saves what waits) into a
// store that is full, so that every log evicts an older one, beside the
// same burst into a store with room.
//
// Run with --benchmark_enable_random_interleaving=true so the repetitions of
// the two take turns.

#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/security/Crypto.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kLogs = 10000;
constexpr std::uint64_t kBatchSize = 50;

// One app root for the run, removed at exit.
const std::filesystem::path& BenchRoot() {
    static const platform::TemporaryFolder folder("vekmont-bench-logdb");
    static const bool ready = [] {
        platform::Paths::setRoot(folder.path());
        TLMArchiverUtil::addAllowedTelemetryModuleClasses();
        return true;
    }();
    (void)ready;
    return folder.path();
}

// A start-service log as the client writes one, with this host's device.
std::shared_ptr<TLMStartServiceLog> MakeLog(int index) {
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setTimestamp(std::chrono::system_clock::now());
    log->setSid("session-" + std::to_string(index));
    log->setDevice(TLMDeviceTracker::sharedInstance().device());
    log->setServices(std::vector<std::string>{"Analytics", "Crashes"});
    return log;
}

void RemoveDatabase(const std::filesystem::path& file) {
    for (const char* suffix : {"", "-journal"}) std::filesystem::remove(file.string() + suffix);
}

double Seconds(std::chrono::steady_clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// The process's processor time: the disk's syncs, which both pay alike,
// stay out of it.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void BM_LogDBSaveThenLoad(benchmark::State& state) {
    BenchRoot();
    std::vector<std::shared_ptr<TLMStartServiceLog>> logs;
    for (int i = 0; i < kLogs; ++i) logs.push_back(MakeLog(i));
    double saveSeconds = 0;
    double loadSeconds = 0;
    double saveCpuSeconds = 0;
    for (auto _ : state) {
        RemoveDatabase(TLMLogDBStorage().dbFileURL());
        TLMLogDBStorage storage;
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& log : logs) {
            if (!storage.saveLog(log, "Analytics", TLMFlagsNormal)) throw std::runtime_error("a log was not saved");
        }
        const auto saved = std::chrono::steady_clock::now();
        saveCpuSeconds += CpuSeconds() - cpuStart;
        std::size_t loaded = 0;
        bool more = true;
        while (more) {
            std::optional<std::string> batchId;
            more = storage.loadLogsWithGroupId(
                "Analytics", kBatchSize, std::nullopt,
                [&](const std::vector<std::shared_ptr<TLMAbstractLog>>& batch, const std::optional<std::string>& id) {
                    loaded += batch.size();
                    batchId = id;
                });
            if (batchId) storage.deleteLogsWithBatchId(*batchId, "Analytics");
        }
        const auto done = std::chrono::steady_clock::now();
        if (loaded != kLogs) throw std::runtime_error("not every log was loaded");
        saveSeconds += Seconds(saved - start);
        loadSeconds += Seconds(done - saved);
        state.SetIterationTime(Seconds(done - start));
    }
    state.counters["save_logs/s"] = static_cast<double>(kLogs * state.iterations()) / saveSeconds;
    state.counters["load_logs/s"] = static_cast<double>(kLogs * state.iterations()) / loadSeconds;
    state.counters["save_cpu_us"] = saveCpuSeconds * 1e6 / static_cast<double>(kLogs * state.iterations());
}

struct Connection {
    explicit Connection(const std::filesystem::path& file) {
        if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open");
    }
    ~Connection() { sqlite3_close_v2(db); }
    void exec(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
    }
    sqlite3* db = nullptr;
};

void BM_OneConnectionInsert(benchmark::State& state) {
    const std::filesystem::path file = BenchRoot() / "OneConnection.sqlite";
    std::vector<std::shared_ptr<TLMStartServiceLog>> logs;
    for (int i = 0; i < kLogs; ++i) logs.push_back(MakeLog(i));
    double seconds = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        RemoveDatabase(file);
        Connection connection(file);
        connection.exec(
            "PRAGMA auto_vacuum = FULL;"
            "CREATE TABLE \"logs\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"groupId\" TEXT NOT NULL, \"log\" TEXT "
            "NOT NULL, \"targetToken\" TEXT, \"targetKey\" TEXT, \"priority\" INTEGER);"
            "CREATE INDEX \"ix_logs_priority\" ON \"logs\" (\"priority\");"
            "PRAGMA user_version = 5;");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(connection.db, "INSERT INTO \"logs\" (\"groupId\", \"log\", \"priority\") VALUES (?,?,?)",
                           -1, &insert, nullptr);
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& log : logs) {
            // The same work per log as a save: archive, Base64, insert.
            const std::string base64 =
                platform::security::base64Encode(*TLMUtility::archiveKeyedData(TLMArchiveValue(log)));
            connection.exec("BEGIN");
            sqlite3_bind_text(insert, 1, "Analytics", -1, SQLITE_TRANSIENT);
            sqlite3_bind_text64(insert, 2, base64.data(), base64.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            sqlite3_bind_int64(insert, 3, TLMFlagsNormal);
            if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error("insert failed");
            sqlite3_reset(insert);
            connection.exec("COMMIT");
        }
        const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
        cpuSeconds += CpuSeconds() - cpuStart;
        sqlite3_finalize(insert);
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["save_logs/s"] = static_cast<double>(kLogs * state.iterations()) / seconds;
    state.counters["save_cpu_us"] = cpuSeconds * 1e6 / static_cast<double>(kLogs * state.iterations());
}

constexpr int kFill = 2000;
constexpr int kBurst = 1000;
constexpr std::int64_t kFullStoreSize = 1024 * 1024;

// Saves the logs as a channel unit does, up to a batch at a time.
void SaveInGroups(TLMLogDBStorage& storage, const std::vector<std::shared_ptr<TLMStartServiceLog>>& logs) {
    for (std::size_t start = 0; start < logs.size(); start += kBatchSize) {
        std::vector<TLMLogToSave> group;
        for (std::size_t i = start; i < logs.size() && i < start + kBatchSize; ++i) {
            group.push_back({logs[i], TLMFlagsNormal});
        }
        for (const TLMSaveOutcome outcome : storage.saveLogs(group, "Analytics")) {
            if (outcome != TLMSaveOutcome::Stored) throw std::runtime_error("a log was not saved");
        }
    }
}

// range(0): 1 for a full store (1 MiB, filled past its size), 0 for one
// with room (10 MiB) holding the same logs.
void BM_BurstIntoStore(benchmark::State& state) {
    BenchRoot();
    const bool full = state.range(0) != 0;
    state.SetLabel(full ? "full store" : "store with room");
    std::vector<std::shared_ptr<TLMStartServiceLog>> fill;
    for (int i = 0; i < kFill; ++i) fill.push_back(MakeLog(i));
    std::vector<std::shared_ptr<TLMStartServiceLog>> burst;
    for (int i = 0; i < kBurst; ++i) burst.push_back(MakeLog(kFill + i));
    double seconds = 0;
    std::uint64_t evicted = 0;
    for (auto _ : state) {
        RemoveDatabase(TLMLogDBStorage().dbFileURL());
        TLMLogDBStorage storage;
        if (full) {
            bool resized = false;
            storage.setMaxStorageSize(kFullStoreSize, [&](bool success) { resized = success; });
            if (!resized) throw std::runtime_error("the size was not set");
        }
        SaveInGroups(storage, fill);
        const std::uint64_t before = storage.countLogs();
        if (full != (before < static_cast<std::uint64_t>(kFill))) throw std::runtime_error("not the store wanted");
        const auto start = std::chrono::steady_clock::now();
        SaveInGroups(storage, burst);
        const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
        evicted += before + kBurst - storage.countLogs();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["save_logs/s"] = static_cast<double>(kBurst * state.iterations()) / seconds;
    state.counters["evicted"] = static_cast<double>(evicted) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_BurstIntoStore)->Arg(0)->Arg(1)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LogDBSaveThenLoad)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OneConnectionInsert)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
