// The analytics service on the caller's side: TLMAnalytics::trackEvent with
// 10 string properties from 8 threads at once, through the whole client
// (validation, typed properties, the service's lock, sessions, the channel's
// preparation). It reports the calls per second over the burst and the time
// one call takes on its thread (median and 99th percentile).
//
// Beside it, in the same run: the same event, made by hand, handed straight
// to the "Analytics" unit's enqueueItem (what the channel costs without the
// service).
//
// The "Analytics" unit itself is switched off (the service stays on), so the
// logs queue drops the logs instead of storing them: the log database, which
// bench_telemetry measures, would set the pace otherwise. Every caller-side
// step is the same. The queue is drained between repetitions.
// VEKMONT_BENCH_EVENTS sets another number of calls. Run with
// --benchmark_enable_random_interleaving=true.

#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMUuid.h"

#include "bench/Percentile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
using Clock = std::chrono::steady_clock;

std::size_t CallCount() {
    const char* text = std::getenv("VEKMONT_BENCH_EVENTS");
    const long count = text != nullptr ? std::atol(text) : 0;
    return count > 0 ? static_cast<std::size_t>(count) : 40000;
}

std::map<std::string, std::string> TenProperties(std::size_t index) {
    std::map<std::string, std::string> properties;
    for (int p = 0; p < 10; ++p) {
        properties.emplace("Property" + std::to_string(p), "value " + std::to_string(index * 10 + p));
    }
    return properties;
}

// One app root and a started client for the run.
struct BenchWorld {
    BenchWorld() : root("vekmont-bench-analytics") {
        platform::Paths::setRoot(root.path());
        TLMTelemetry::start("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", {&TLMAnalytics::sharedInstance});
        TLMTelemetry::sharedInstance().setNetworkRequestsAllowed(false);
        TLMAnalytics::sharedInstance().channelUnit()->setEnabled(false, false);
    }
    // What the last repetition left on the logs queue is done.
    void settle() {
        TLMTelemetry::sharedInstance().channelGroup()->logsDispatchQueue()->sync([] {});
    }
    platform::TemporaryFolder root;
};

BenchWorld& World() {
    static BenchWorld world;
    return world;
}

// Runs `call(index)` for each index on kThreads threads; the time of each
// call in microseconds, and the seconds of the whole burst.
template <typename Call>
double TimedBurst(std::size_t calls, Call call, std::vector<double>& times) {
    std::vector<std::vector<double>> perThread(kThreads);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            perThread[t].reserve(calls / kThreads + 1);
            for (std::size_t i = static_cast<std::size_t>(t); i < calls; i += kThreads) {
                const auto begin = Clock::now();
                call(i);
                perThread[t].push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const auto& part : perThread) times.insert(times.end(), part.begin(), part.end());
    return seconds;
}

void Report(benchmark::State& state, std::size_t calls, double seconds, std::vector<double>& times) {
    state.SetIterationTime(seconds);
    state.counters["calls/s"] = static_cast<double>(calls) / seconds;
    state.counters["median_us"] = Percentile(times, 0.5);
    state.counters["p99_us"] = Percentile(times, 0.99);
}

void BM_TrackEventTenProperties(benchmark::State& state) {
    BenchWorld& world = World();
    const std::size_t calls = CallCount();
    for (auto _ : state) {
        world.settle();
        std::vector<double> times;
        // The properties are made before the clock starts, as the caller has them.
        std::vector<std::map<std::string, std::string>> properties(calls);
        for (std::size_t i = 0; i < calls; ++i) properties[i] = TenProperties(i);
        const double seconds = TimedBurst(
            calls, [&](std::size_t i) { TLMAnalytics::trackEvent("LayoutLoaded", properties[i]); }, times);
        Report(state, calls, seconds, times);
    }
}

void BM_UnitEnqueueTenProperties(benchmark::State& state) {
    BenchWorld& world = World();
    const std::size_t calls = CallCount();
    for (auto _ : state) {
        world.settle();
        auto unit = TLMAnalytics::sharedInstance().channelUnit();
        std::vector<double> times;
        std::vector<std::shared_ptr<TLMEventLog>> events(calls);
        for (std::size_t i = 0; i < calls; ++i) {
            events[i] = std::make_shared<TLMEventLog>();
            events[i]->setName("LayoutLoaded");
            events[i]->setEventId(TLMNewUuidString());
            events[i]->setTypedProperties(std::make_shared<TLMEventProperties>(TenProperties(i)));
        }
        const double seconds = TimedBurst(
            calls, [&](std::size_t i) { unit->enqueueItem(events[i], TLMFlagsNormal); }, times);
        Report(state, calls, seconds, times);
    }
}

}  // namespace

BENCHMARK(BM_TrackEventTenProperties)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnitEnqueueTenProperties)->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
