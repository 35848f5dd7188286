// The telemetry client's sending road, end to end: 100,000 events from 8
// threads through a channel unit's enqueue, the log database, batching and
// the HTTP client to the local ingestion test server, until every batch has
// been answered. It reports the events per second over the whole road and
// the time one enqueueItem takes on the caller's thread (median and 99th
// percentile).
//
// Beside it, in the same run: the log database saving the same events on one
// thread with nothing else going on (the rate storage alone allows), and
// handing the same log to a serial queue with nothing done for it (what an
// enqueue costs at the least).
//
// A burst: 8 threads enqueue 10,000 events each at once. It reports how
// soon the first batch has been answered, how long until every log has
// been, and how many logs were answered before the last log of the burst
// was stored; the server's record is then checked for every event id
// exactly once.
//
// VEKMONT_BENCH_EVENTS sets another number of events (for a quick look).
// VEKMONT_BENCH_BURST_EVENTS sets the burst's events per thread.
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
#include "telemetry/core/Context/TLMDeviceTracker.h"
#include "telemetry/core/Util/TLMUuid.h"
#include "tests/telemetry/support/IngestionTestServer.h"

#include "bench/Percentile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

// Counts the outcomes of every log of the group.
class Outcomes final : public TLMChannelDelegate {
public:
    void channelDidSucceedSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&) override {
        ++succeeded;
    }
    void channelDidFailSendingLog(TLMChannelUnitDefault&, const std::shared_ptr<TLMAbstractLog>&,
                                  const platform::Error&) override {
        ++failed;
    }
    std::atomic<std::size_t> succeeded{0};
    std::atomic<std::size_t> failed{0};
};

// Waits until `expected` logs have an outcome.
void WaitForOutcomes(const Outcomes& outcomes, std::size_t expected) {
    std::size_t last = 0;
    auto lastProgress = Clock::now();
    for (;;) {
        const std::size_t done = outcomes.succeeded + outcomes.failed;
        if (done >= expected) return;
        if (done != last) {
            last = done;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress > kStallTimeout) {
            throw std::runtime_error("sending stood still at " + std::to_string(done) + " logs");
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

void BM_EventsEndToEnd(benchmark::State& state) {
    BenchWorld& world = World();
    const std::size_t events = EventCount();
    for (auto _ : state) {
        RemoveDatabase();
        world.server.reset();
        // No reachability watch: the bench is about the road, not the links.
        auto client = TLMHttpClient::make(nullptr);
        auto ingestion = std::make_shared<TLMDefaultIngestion>(client, world.server.baseUrl(), TLMNewUuidString());
        ingestion->setAppSecret("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3");
        auto group = TLMChannelGroupDefault::make(client, ingestion);
        // Room for every event at once: the producers outrun the storage,
        // and a full database would evict unsent logs.
        group->setMaxStorageSize(kStorageSize, nullptr);
        auto outcomes = std::make_shared<Outcomes>();
        group->addDelegate(outcomes);
        auto unit =
            group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));
        group->logsDispatchQueue()->sync([] {});

        const auto start = Clock::now();
        std::vector<double> enqueue = TimedCalls(
            events, [&](std::shared_ptr<TLMEventLog> event) { unit->enqueueItem(std::move(event), TLMFlagsNormal); });
        // Whatever is short of a full batch goes with the flush interval: the
        // bench sends whole batches only.
        WaitForOutcomes(*outcomes, events / 50 * 50);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (outcomes->failed != 0) throw std::runtime_error("a batch failed");
        state.counters["events/s"] = static_cast<double>(events / 50 * 50) / seconds;
        state.counters["enqueue_median_us"] = Percentile(enqueue, 0.5);
        state.counters["enqueue_p99_us"] = Percentile(enqueue, 0.99);
        state.counters["requests"] = static_cast<double>(world.server.requests().size());
        unit.reset();
        group.reset();
    }
}

// When the burst's steps happened, on the steady clock.
class BurstTimes final : public TLMChannelDelegate {
public:
    explicit BurstTimes(std::size_t total) : mTotal(total) {}
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
        RemoveDatabase();
        world.server.reset();
        auto client = TLMHttpClient::make(nullptr);
        auto ingestion = std::make_shared<TLMDefaultIngestion>(client, world.server.baseUrl(), TLMNewUuidString());
        ingestion->setAppSecret("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3");
        auto group = TLMChannelGroupDefault::make(client, ingestion);
        group->setMaxStorageSize(kStorageSize, nullptr);
        auto times = std::make_shared<BurstTimes>(events);
        group->addDelegate(times);
        auto unit =
            group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));
        group->logsDispatchQueue()->sync([] {});

        // The events are made beforehand: the burst is the enqueueing alone.
        std::vector<std::vector<std::shared_ptr<TLMEventLog>>> made(kThreads);
        std::set<std::string> expectedIds;
        for (std::size_t i = 0; i < events; ++i) {
            auto event = MakeEvent(i);
            expectedIds.insert(event->eventId());
            made[i % kThreads].push_back(std::move(event));
        }
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (auto& part : made) {
            threads.emplace_back([&unit, &part] {
                for (auto& event : part) unit->enqueueItem(std::move(event), TLMFlagsNormal);
            });
        }
        for (auto& thread : threads) thread.join();
        std::size_t last = 0;
        auto lastProgress = Clock::now();
        while (times->succeeded() + times->failed < events) {
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

        // Every id once at the server, none twice, none missing.
        std::multiset<std::string> sent;
        const auto requests = world.server.requests();
        for (const auto& request : requests) {
            for (const auto& log : request.logs) {
                const platform::Value* id = log.find("id");
                sent.insert(id != nullptr && id->asString() != nullptr ? *id->asString() : std::string());
            }
        }
        if (sent.size() != events || std::set<std::string>(sent.begin(), sent.end()) != expectedIds) {
            throw std::runtime_error("the server got " + std::to_string(sent.size()) + " logs, not each of " +
                                     std::to_string(events) + " once");
        }
        state.counters["requests"] = static_cast<double>(requests.size());
        unit.reset();
        group.reset();
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

}  // namespace

BENCHMARK(BM_EventsEndToEnd)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BurstFirstBatchAndAll)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_StorageAloneSaves)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BareQueueHandOver)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
