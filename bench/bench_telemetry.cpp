// The telemetry client's sending road, end to end: 100,000 events from 8
// threads, enqueued as callers do (none waits for room), through a channel
// unit's enqueue, the log database, batching and the HTTP client to the
// local ingestion test server, until every batch has been answered. It
// reports the events per second over the whole road, the time one
// enqueueItem takes on the caller's thread (median and 99th percentile) and
// the logs dropped.
//
// Beside it, in the same run: the log database saving the same events on one
// thread with nothing else going on (the rate storage alone allows), and
// handing the same log to a serial queue with nothing done for it (what an
// enqueue costs at the least).
//
// A burst: 8 threads enqueue 10,000 events each as fast as they can. It
// reports how soon the first batch has been answered, how long until every
// log has been, how many logs were answered before the last log of the
// burst was stored, the resident memory and the heap's growth at their
// peak (sampled every 20 ms from the main thread), and the logs dropped
// and those the server got twice or not at all (a run fails when a log went
// missing without being counted as dropped, or went twice).
//
// Under a steady load the road cannot take, the memory of the process:
// 400 events/s while another connection holds the log database, and 800
// events/s while the service cannot be reached (the database fills and
// evicts). It reports the resident memory before, at its peak and after the
// load, the heap in use (mallinfo2) before and after, and the logs the unit
// is not done with and those it dropped.
//
// A burst that meets a held file: another connection holds the log
// database from before the unit's start, and 23,000 events are tracked at
// once, ordinary ones and ones with the largest valid properties (17 typed
// strings at the length limits, of three-byte characters). It reports the
// heap's growth at its peak (sampled every 5 ms) against the bound the unit
// keeps while the file is held, the time one enqueue took (median), and the
// logs dropped and stored once the file is let go (a run fails when a log is
// neither).
//
// VEKMONT_BENCH_EVENTS sets another number of events (for a quick look).
// VEKMONT_BENCH_LOAD_SECONDS sets how long each load lasts (default 60).
// VEKMONT_BENCH_BURST_EVENTS sets the burst's events per thread.
// VEKMONT_BENCH_HOLD_SECONDS sets how long the burst's file is held (default
// 12: two refused saves and a try waiting).
// Run with --benchmark_enable_random_interleaving=true so the repetitions
// take turns.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMUuid.h"
#include "tests/telemetry/support/IngestionTestServer.h"

#include "bench/Percentile.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
// The longest the road may stand still before the run is given up.
constexpr auto kStallTimeout = std::chrono::minutes(2);
constexpr std::int64_t kStorageSize = 1024LL * 1024 * 1024;
using Clock = std::chrono::steady_clock;

std::size_t EventCount() {
    const char* text = std::getenv("VEKMONT_BENCH_EVENTS");
    const long count = text != nullptr ? std::atol(text) : 0;
    return count > 0 ? static_cast<std::size_t>(count) : 100000;
}

// One app root and one server for the run, removed at exit.
struct BenchWorld {
    BenchWorld() : root("vekmont-bench-telemetry") {
        platform::Paths::setRoot(root.path());
        TLMArchiverUtil::addAllowedTelemetryModuleClasses();
        TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses();
        server.start();
    }
    platform::TemporaryFolder root;
    testsupport::IngestionTestServer server;
};

BenchWorld& World() {
    static BenchWorld world;
    return world;
}

void RemoveDatabase() {
    const std::filesystem::path file = TLMLogDBStorage().dbFileURL();
    for (const char* suffix : {"", "-journal"}) std::filesystem::remove(file.string() + suffix);
}

// An event as the app tracks one: a name, two properties, its own id.
std::shared_ptr<TLMEventLog> MakeEvent(std::size_t index) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName("LayoutLoaded");
    event->setEventId(TLMNewUuidString());
    event->setProperties({{"Thread", std::to_string(index % kThreads)}, {"Index", std::to_string(index)}});
    return event;
}

std::size_t BurstEventsPerThread() {
    const char* text = std::getenv("VEKMONT_BENCH_BURST_EVENTS");
    const long count = text != nullptr ? std::atol(text) : 0;
    return count > 0 ? static_cast<std::size_t>(count) : 10000;
}

// Counts the outcomes of every log of the group, and the logs the units
// are done with (stored, or dropped before).
class Outcomes final : public TLMChannelDelegate {
public:
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                         const std::string&) override {
        ++completed;
    }
    void channelDidStoreLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override { ++stored; }
    void channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override {
        ++succeeded;
    }
    void channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                  const platform::Error&) override {
        ++failed;
    }
    std::atomic<std::size_t> completed{0};
    std::atomic<std::size_t> stored{0};
    std::atomic<std::size_t> succeeded{0};
    std::atomic<std::size_t> failed{0};
};

// Waits until every one of `events` logs is done with (stored or dropped)
// and the stored ones have an outcome, whole batches of them at least (the
// rest goes with the flush interval).
void WaitForOutcomes(const Outcomes& outcomes, std::size_t events) {
    std::size_t last = 0;
    auto lastProgress = Clock::now();
    for (;;) {
        const std::size_t done = outcomes.succeeded + outcomes.failed;
        if (outcomes.completed >= events && done >= outcomes.stored / 50 * 50) return;
        const std::size_t progress = done + outcomes.completed;
        if (progress != last) {
            last = progress;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress > kStallTimeout) {
            throw std::runtime_error("sending stood still at " + std::to_string(done) + " logs answered, " +
                                     std::to_string(outcomes.completed) + " done with, " +
                                     std::to_string(outcomes.stored) + " stored");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Runs `perThread(thread, index)` for each event on kThreads threads and
// returns the time each call took, in microseconds.
template <typename Call>
std::vector<double> TimedCalls(std::size_t events, Call perEvent) {
    std::vector<std::vector<double>> times(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            times[t].reserve(events / kThreads + 1);
            for (std::size_t i = static_cast<std::size_t>(t); i < events; i += kThreads) {
                auto item = MakeEvent(i);
                const auto start = Clock::now();
                perEvent(std::move(item));
                times[t].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::vector<double> all;
    for (const auto& part : times) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One iteration's sending road, from no database to a server that has
// seen nothing: a channel group whose delegate is `delegate`, and its
// "Analytics" unit, ready once the logs queue has set them up.
struct Road {
    std::shared_ptr<TLMHttpClient> client;
    std::shared_ptr<TLMDefaultIngestion> ingestion;
    std::shared_ptr<TLMChannelGroupDefault> group;
    std::shared_ptr<TLMChannelUnitDefault> unit;
};

Road OpenRoad(BenchWorld& world, const std::shared_ptr<TLMChannelDelegate>& delegate) {
    RemoveDatabase();
    world.server.reset();
    Road road;
    // No reachability watch: the bench is about the road, not the links.
    road.client = TLMHttpClient::make(nullptr);
    road.ingestion = std::make_shared<TLMDefaultIngestion>(road.client, world.server.baseUrl(), TLMNewUuidString());
    road.ingestion->setAppSecret("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3");
    road.group = TLMChannelGroupDefault::make(road.client, road.ingestion);
    // Room for every event at once: the producers outrun the storage, and a
    // full database would evict unsent logs.
    road.group->setMaxStorageSize(kStorageSize, nullptr);
    road.group->addDelegate(delegate);
    road.unit =
        road.group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));
    road.group->logsDispatchQueue()->sync([] {});
    return road;
}

void BM_EventsEndToEnd(benchmark::State& state) {
    BenchWorld& world = World();
    const std::size_t events = EventCount();
    for (auto _ : state) {
        auto outcomes = std::make_shared<Outcomes>();
        Road road = OpenRoad(world, outcomes);
        auto& unit = road.unit;

        const auto start = Clock::now();
        std::vector<double> enqueue = TimedCalls(
            events, [&](std::shared_ptr<TLMEventLog> event) { unit->enqueueItem(std::move(event), TLMFlagsNormal); });
        // Whatever is short of a full batch goes with the flush interval: the
        // bench sends whole batches only.
        WaitForOutcomes(*outcomes, events);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (outcomes->failed != 0) throw std::runtime_error("a batch failed");
        state.counters["events/s"] = static_cast<double>(outcomes->succeeded) / seconds;
        state.counters["enqueue_median_us"] = Percentile(enqueue, 0.5);
        state.counters["enqueue_p99_us"] = Percentile(enqueue, 0.99);
        state.counters["requests"] = static_cast<double>(world.server.requests().size());
        state.counters["dropped"] = static_cast<double>(outcomes->completed - outcomes->stored);
        unit.reset();
        road.group.reset();
    }
}

// The process's resident memory, in MiB.
double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

double HeapInUseMiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// When the burst's steps happened, on the steady clock.
class BurstTimes final : public TLMChannelDelegate {
public:
    explicit BurstTimes(std::size_t total) : mTotal(total) {}
    void channelDidCompleteEnqueueingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                         const std::string&) override {
        ++completed;
    }
    void channelDidStoreLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override {
        if (++mStored == mTotal) {
            lastStored = Clock::now();
            answeredBeforeLastStored = mSucceeded.load();
        }
    }
    void channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override {
        if (mSucceeded++ == 0) firstAnswered = Clock::now();
    }
    void channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                  const platform::Error&) override {
        ++failed;
    }
    std::size_t succeeded() const { return mSucceeded.load(); }
    std::size_t stored() const { return mStored.load(); }

    // Written on the logs queue; read once every log has its outcome.
    Clock::time_point firstAnswered;
    Clock::time_point lastStored;
    std::size_t answeredBeforeLastStored = 0;
    std::atomic<std::size_t> failed{0};
    std::atomic<std::size_t> completed{0};

private:
    const std::size_t mTotal;
    std::atomic<std::size_t> mStored{0};
    std::atomic<std::size_t> mSucceeded{0};
};

void BM_BurstFirstBatchAndAll(benchmark::State& state) {
    BenchWorld& world = World();
    const std::size_t perThread = BurstEventsPerThread();
    const std::size_t events = perThread * kThreads;
    for (auto _ : state) {
        auto times = std::make_shared<BurstTimes>(events);
        Road road = OpenRoad(world, times);
        auto& unit = road.unit;

        // The events are made beforehand: the burst is the enqueueing alone.
        std::vector<std::vector<std::shared_ptr<TLMEventLog>>> made(kThreads);
        std::set<std::string> expectedIds;
        for (std::size_t i = 0; i < events; ++i) {
            auto event = MakeEvent(i);
            expectedIds.insert(event->eventId());
            made[i % kThreads].push_back(std::move(event));
        }
        const double heapBefore = HeapInUseMiB();
        double residentPeak = ResidentMiB();
        double heapPeak = heapBefore;
        const auto sample = [&] {
            residentPeak = std::max(residentPeak, ResidentMiB());
            heapPeak = std::max(heapPeak, HeapInUseMiB());
        };
        const auto start = Clock::now();
        std::atomic<int> producing{kThreads};
        std::vector<std::thread> threads;
        for (auto& part : made) {
            threads.emplace_back([&unit, &part, &producing] {
                for (auto& event : part) unit->enqueueItem(std::move(event), TLMFlagsNormal);
                --producing;
            });
        }
        while (producing > 0) {
            sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        for (auto& thread : threads) thread.join();
        std::size_t last = 0;
        auto lastProgress = Clock::now();
        // Every log done with, and every stored one answered.
        while (times->completed < events || times->succeeded() + times->failed < times->stored()) {
            sample();
            // Storing is progress too: nothing may be answered while it goes on.
            const std::size_t done = times->stored() + times->succeeded() + times->failed;
            if (done != last) {
                last = done;
                lastProgress = Clock::now();
            } else if (Clock::now() - lastProgress > kStallTimeout) {
                throw std::runtime_error("sending stood still at " + std::to_string(done) + " logs");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (times->failed != 0) throw std::runtime_error("a batch failed");
        state.counters["first_batch_s"] = std::chrono::duration<double>(times->firstAnswered - start).count();
        state.counters["all_stored_s"] = std::chrono::duration<double>(times->lastStored - start).count();
        state.counters["all_delivered_s"] = seconds;
        state.counters["logs_answered_while_saving"] = static_cast<double>(times->answeredBeforeLastStored);
        // The process's peak counts earlier repetitions' checks too; the heap's
        // growth is this burst's alone.
        state.counters["rss_peak_MiB"] = residentPeak;
        state.counters["heap_growth_peak_MiB"] = heapPeak - heapBefore;

        // Every id once at the server, none twice; those missing were
        // dropped and counted.
        std::set<std::string> sent;
        std::size_t twice = 0;
        const auto requests = world.server.requests();
        for (const auto& request : requests) {
            for (const auto& log : request.logs) {
                const platform::Value* id = log.find("id");
                if (!sent.insert(id != nullptr && id->asString() != nullptr ? *id->asString() : std::string()).second) {
                    ++twice;
                }
            }
        }
        std::size_t missing = 0;
        for (const std::string& id : expectedIds) missing += sent.count(id) == 0 ? 1 : 0;
        const std::size_t dropped = events - times->stored();
        state.counters["dropped"] = static_cast<double>(dropped);
        state.counters["missing_at_server"] = static_cast<double>(missing);
        state.counters["twice_at_server"] = static_cast<double>(twice);
        if (twice != 0 || missing != dropped) {
            throw std::runtime_error("the server got " + std::to_string(twice) + " logs twice and missed " +
                                     std::to_string(missing) + ", " + std::to_string(dropped) + " dropped");
        }
        state.counters["requests"] = static_cast<double>(requests.size());
        unit.reset();
        road.group.reset();
    }
}

void BM_StorageAloneSaves(benchmark::State& state) {
    World();
    const std::size_t events = EventCount() / 10;
    for (auto _ : state) {
        RemoveDatabase();
        TLMLogDBStorage storage;
        const auto device = TLMDeviceTracker::sharedInstance().device();
        const auto start = Clock::now();
        for (std::size_t i = 0; i < events; ++i) {
            auto event = MakeEvent(i);
            event->setTimestamp(std::chrono::system_clock::now());
            event->setDevice(device);
            if (!storage.saveLog(event, "Analytics", TLMFlagsNormal)) throw std::runtime_error("a log was not saved");
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["events/s"] = static_cast<double>(events) / seconds;
    }
}

void BM_BareQueueHandOver(benchmark::State& state) {
    World();
    const std::size_t events = EventCount();
    for (auto _ : state) {
        platform::DispatchQueue queue("com.vekmont.bench.handover");
        const auto start = Clock::now();
        std::vector<double> handOver = TimedCalls(events, [&](std::shared_ptr<TLMEventLog> event) {
            queue.async([event = std::move(event)] { benchmark::DoNotOptimize(event.get()); });
        });
        queue.sync([] {});
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["async_median_us"] = Percentile(handOver, 0.5);
        state.counters["async_p99_us"] = Percentile(handOver, 0.99);
    }
}

double LoadSeconds() {
    const char* text = std::getenv("VEKMONT_BENCH_LOAD_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 60;
}


// Another connection holding the log database (a backup, the sqlite3
// shell) until it is let go.
class HeldDatabase {
public:
    explicit HeldDatabase(const std::filesystem::path& file) {
        if (sqlite3_open_v2(file.c_str(), &mDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(mDb, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error("the log database cannot be held");
        }
    }
    ~HeldDatabase() { letGo(); }
    void letGo() {
        if (mDb == nullptr) return;
        sqlite3_exec(mDb, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close_v2(mDb);
        mDb = nullptr;
    }

private:
    sqlite3* mDb = nullptr;
};

// Arg 0: the database held, 400 events/s. Arg 1: the service down, 800
// events/s, with the database at its default size.
void BM_LoadTheRoadCannotTake(benchmark::State& state) {
    BenchWorld& world = World();
    const bool held = state.range(0) == 0;
    const double rate = held ? 400 : 800;
    const auto events = static_cast<std::size_t>(rate * LoadSeconds());
    for (auto _ : state) {
        RemoveDatabase();
        world.server.reset();
        auto outcomes = std::make_shared<Outcomes>();
        Road road;
        road.client = TLMHttpClient::make(nullptr);
        // Nothing listens on port 9: every attempt is refused at once.
        road.ingestion = std::make_shared<TLMDefaultIngestion>(
            road.client, held ? world.server.baseUrl() : std::string("http://127.0.0.1:9"), TLMNewUuidString());
        road.ingestion->setAppSecret("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3");
        road.group = TLMChannelGroupDefault::make(road.client, road.ingestion);
        road.group->addDelegate(outcomes);
        road.unit = road.group->addChannelUnitWithConfiguration(
            TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));
        road.group->logsDispatchQueue()->sync([] {});
        std::optional<HeldDatabase> hold;
        if (held) hold.emplace(TLMLogDBStorage().dbFileURL());

        const double residentBefore = ResidentMiB();
        const double heapBefore = HeapInUseMiB();
        std::atomic<bool> done{false};
        const auto start = Clock::now();
        std::thread producer([&] {
            for (std::size_t i = 0; i < events; ++i) {
                std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(i) / rate));
                road.unit->enqueueItem(MakeEvent(i), TLMFlagsNormal);
            }
            done = true;
        });
        double residentPeak = residentBefore;
        while (!done) {
            residentPeak = std::max(residentPeak, ResidentMiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        producer.join();
        const double residentAfter = ResidentMiB();
        residentPeak = std::max(residentPeak, residentAfter);
        const double heapAfter = HeapInUseMiB();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["rss_before_MiB"] = residentBefore;
        state.counters["rss_peak_MiB"] = residentPeak;
        state.counters["rss_after_MiB"] = residentAfter;
        state.counters["heap_before_MiB"] = heapBefore;
        state.counters["heap_after_MiB"] = heapAfter;
        state.counters["pending_calls"] = static_cast<double>(road.client->pendingCalls().size());
        // Enqueued and not yet stored or dropped; dropped (while waiting, or
        // kept from a held file).
        state.counters["unfinished_logs"] = static_cast<double>(events - outcomes->completed);
        state.counters["dropped_logs"] = static_cast<double>(outcomes->completed - outcomes->stored);

        // Away with the road: what still waits is dropped with the unit.
        if (hold) hold->letGo();
        road.unit->setEnabled(false, true);
        road.group->logsDispatchQueue()->sync([] {});
        road.client->endForTests();
        road.unit.reset();
        road.group.reset();
    }
}

double HoldSeconds() {
    const char* text = std::getenv("VEKMONT_BENCH_HOLD_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 12;
}

// `units` UTF-16 units of a three-byte character after `lead`: as long as
// validation lets a text be, as many bytes as it can take.
std::string LongestText(const std::string& lead, std::size_t units) {
    std::string text = lead;
    for (std::size_t i = lead.size(); i < units; ++i) text += "\u20AC";
    return text;
}

// The largest event validation lets through: a name of 256 units and 17
// typed string properties, names and values of 125 units.
std::shared_ptr<TLMEventLog> MakeLargestEvent(std::size_t index) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName(LongestText("Largest", 256));
    event->setEventId(TLMNewUuidString());
    auto properties = std::make_shared<TLMEventProperties>();
    for (int i = 0; i < 17; ++i) {
        const std::string lead = std::to_string(i) + "-";
        properties->setString(LongestText(lead + std::to_string(index), 125), LongestText(lead, 125));
    }
    event->setTypedProperties(std::move(properties));
    return event;
}

// Arg 0: ordinary events. Arg 1: the largest valid ones.
void BM_BurstMeetsHeldFile(benchmark::State& state) {
    BenchWorld& world = World();
    const bool largest = state.range(0) == 1;
    const std::size_t events = 23000;
    for (auto _ : state) {
        RemoveDatabase();
        world.server.reset();
        // Held from before the start: the file is made, then held.
        std::optional<HeldDatabase> hold(std::in_place, TLMLogDBStorage().dbFileURL());
        auto outcomes = std::make_shared<Outcomes>();
        Road road;
        road.client = TLMHttpClient::make(nullptr);
        road.ingestion = std::make_shared<TLMDefaultIngestion>(road.client, world.server.baseUrl(), TLMNewUuidString());
        road.ingestion->setAppSecret("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3");
        road.group = TLMChannelGroupDefault::make(road.client, road.ingestion);
        road.group->addDelegate(outcomes);
        road.unit = road.group->addChannelUnitWithConfiguration(
            TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));

        const double heapBefore = HeapInUseMiB();
        double heapPeak = heapBefore;
        std::atomic<bool> produced{false};
        std::vector<double> enqueue;
        enqueue.reserve(events);
        const auto start = Clock::now();
        // Made as the app tracks them, one after the other.
        std::thread producer([&] {
            for (std::size_t i = 0; i < events; ++i) {
                auto event = largest ? MakeLargestEvent(i) : MakeEvent(i);
                const auto before = Clock::now();
                road.unit->enqueueItem(std::move(event), TLMFlagsNormal);
                enqueue.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
            }
            produced = true;
        });
        const auto heldUntil = start + std::chrono::duration<double>(HoldSeconds());
        while (!produced || Clock::now() < heldUntil) {
            heapPeak = std::max(heapPeak, HeapInUseMiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        producer.join();
        hold.reset();
        WaitForOutcomes(*outcomes, events);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        const std::size_t stored = outcomes->stored;
        if (outcomes->completed != events) throw std::runtime_error("a log was neither stored nor dropped");
        state.counters["heap_growth_peak_MiB"] = heapPeak - heapBefore;
        state.counters["bound_MiB"] = static_cast<double>(TLMChannelUnitDefault::kRefusedBytesLimit) / (1024 * 1024);
        state.counters["enqueue_median_us"] = Percentile(enqueue, 0.5);
        state.counters["dropped"] = static_cast<double>(events - stored);
        state.counters["stored"] = static_cast<double>(stored);

        road.unit->setEnabled(false, true);
        road.group->logsDispatchQueue()->sync([] {});
        road.client->endForTests();
        road.unit.reset();
        road.group.reset();
    }
}

}  // namespace

BENCHMARK(BM_BurstMeetsHeldFile)
    ->ArgName("largest")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_LoadTheRoadCannotTake)
    ->ArgName("down")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_EventsEndToEnd)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BurstFirstBatchAndAll)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_StorageAloneSaves)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BareQueueHandOver)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
