// The main loop's cost: blocks posted and drained by runUntil, from the
// loop's own thread and from another one, beside a plain mutex-guarded
// deque of std::function drained the same way; and timers fired by
// advancing a virtual clock, beside a multimap of due times walked in order.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kPosts = 100'000;
constexpr int kTimers = 10'000;

// The baseline: what a loop without timers, modes or clocks would be.
class PlainQueue {
public:
    void post(std::function<void()> block) {
        {
            std::lock_guard lock(mMutex);
            mBlocks.push_back(std::move(block));
        }
        mWake.notify_all();
    }
    // Runs blocks until `done()`, waiting when there are none.
    void runUntil(const std::function<bool()>& done) {
        std::unique_lock lock(mMutex);
        while (!done()) {
            if (mBlocks.empty()) {
                mWake.wait(lock);
                continue;
            }
            auto block = std::move(mBlocks.front());
            mBlocks.pop_front();
            lock.unlock();
            block();
            block = nullptr;
            lock.lock();
        }
    }

private:
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mBlocks;
};

void BM_PostsFromTheLoopThread_Baseline(benchmark::State& state) {
    PlainQueue queue;
    int ran = 0;
    for (auto _ : state) {
        ran = 0;
        for (int i = 0; i < kPosts; ++i) queue.post([&ran] { ++ran; });
        queue.runUntil([&] { return ran == kPosts; });
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}
BENCHMARK(BM_PostsFromTheLoopThread_Baseline)->Unit(benchmark::kMillisecond);

void BM_PostsFromTheLoopThread_RunLoop(benchmark::State& state) {
    auto loop = platform::RunLoop::main();
    int ran = 0;
    for (auto _ : state) {
        ran = 0;
        for (int i = 0; i < kPosts; ++i) loop->post([&ran] { ++ran; });
        loop->runUntil(platform::Clock::shared()->instant());
    }
    if (ran != kPosts) state.SkipWithError("not every block ran");
    state.SetItemsProcessed(state.iterations() * kPosts);
}
BENCHMARK(BM_PostsFromTheLoopThread_RunLoop)->Unit(benchmark::kMillisecond);

void BM_PostsFromAnotherThread_Baseline(benchmark::State& state) {
    PlainQueue queue;
    for (auto _ : state) {
        int ran = 0;
        std::thread poster([&] {
            for (int i = 0; i < kPosts; ++i) queue.post([&ran] { ++ran; });
        });
        queue.runUntil([&] { return ran == kPosts; });
        poster.join();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}
BENCHMARK(BM_PostsFromAnotherThread_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PostsFromAnotherThread_RunLoop(benchmark::State& state) {
    auto loop = platform::RunLoop::main();
    for (auto _ : state) {
        int ran = 0;
        std::thread poster([&] {
            for (int i = 0; i < kPosts; ++i) loop->post([&ran] { ++ran; });
        });
        if (!loop->runUntil([&] { return ran == kPosts; }, 60s)) state.SkipWithError("not every block ran");
        poster.join();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}
BENCHMARK(BM_PostsFromAnotherThread_RunLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TimersInTimeOrder_Baseline(benchmark::State& state) {
    int fired = 0;
    for (auto _ : state) {
        std::multimap<platform::Clock::Duration, std::function<void()>> due;
        for (int i = 0; i < kTimers; ++i)
            due.emplace(std::chrono::microseconds((i * 7919) % kTimers), [&] { ++fired; });
        while (!due.empty()) {
            auto first = due.begin();
            auto block = std::move(first->second);
            due.erase(first);
            block();
        }
    }
    benchmark::DoNotOptimize(fired);
    state.SetItemsProcessed(state.iterations() * kTimers);
}
BENCHMARK(BM_TimersInTimeOrder_Baseline)->Unit(benchmark::kMillisecond);

// Schedules timers on the main loop with `schedule` and fires them by
// advancing a virtual clock by `span`; they must fire kTimers times.
void FireByAdvance(benchmark::State& state, platform::Clock::Duration span,
                   const std::function<void(platform::RunLoop&, int&)>& schedule) {
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed(clock);
    auto loop = platform::RunLoop::main();
    int fired = 0;
    for (auto _ : state) {
        fired = 0;
        schedule(*loop, fired);
        clock->advance(span);
    }
    if (fired != kTimers) state.SkipWithError("not every timer fired");
    state.SetItemsProcessed(state.iterations() * kTimers);
}

// 10,000 one-shot timers at scattered times, all fired by one advance.
void BM_TimersFiredByAdvance(benchmark::State& state) {
    FireByAdvance(state, 1s, [](platform::RunLoop& loop, int& fired) {
        for (int i = 0; i < kTimers; ++i) {
            loop.scheduleTimer(std::chrono::microseconds((i * 7919) % kTimers), false,
                               [&fired](platform::RunLoop::Timer&) { ++fired; });
        }
    });
}
BENCHMARK(BM_TimersFiredByAdvance)->Unit(benchmark::kMillisecond);

// One repeating timer (a frame timer) firing 10,000 times in one advance.
void BM_RepeatingTimerFiredByAdvance(benchmark::State& state) {
    FireByAdvance(state, std::chrono::milliseconds(kTimers), [](platform::RunLoop& loop, int& fired) {
        loop.scheduleTimer(1ms, true, [&fired](platform::RunLoop::Timer& timer) {
            if (++fired == kTimers) timer.cancel();
        });
    });
}
BENCHMARK(BM_RepeatingTimerFiredByAdvance)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
