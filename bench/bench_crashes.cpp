// The crash reporter's costs: unwinding a deep stack with the frame cursor
// beside glibc's backtrace() over the same frames, and a live report of a
// process with 1 and with 16 threads; the crashes service's share: a live
// report of 16 threads turned into the error log that is sent, and the
// crash-time log buffer (one log in and out, all 60 slots written).

#include "crashes/TelemetryCrashes/Internals/LogBuffer/TLMCrashesLogBuffer.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMErrorLogFormatter.h"
#include "crashes/reporter/async/TLCrashAsyncFrameCursor.h"
#include "crashes/reporter/setup/TLCrashImageRegistrySetup.h"
#include "crashes/reporter/setup/TLCrashReport.h"
#include "crashes/reporter/setup/TLCrashReporter.h"

#include <benchmark/benchmark.h>

#include <execinfo.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

tlcrash_async_image_registry& registry() { return tlcrash_async_image_registry_process(); }

struct Walk {
    size_t frames = 0;
};

tlcrash_error_t walk(tlcrash_async_thread_state* state, void* context) {
    auto* result = static_cast<Walk*>(context);
    tlcrash_async_frame_cursor cursor;
    tlcrash_async_frame_cursor_open(&cursor, tlcrash_task_self(), state, &registry());
    result->frames = 0;
    while (result->frames < 512 && tlcrash_async_frame_cursor_step(&cursor) == TLCRASH_FRAME_SUCCESS) {
        ++result->frames;
    }
    return TLCRASH_ERR_NONE;
}

// Runs `body` 530 calls deep in one recursive function.
template <typename Body>
__attribute__((noinline)) int deep(int depth, Body& body) {
    if (depth == 0) {
        body();
        return 0;
    }
    const int result = deep(depth - 1, body);
    benchmark::DoNotOptimize(result);
    return result + 1;
}

void BM_Unwind512Frames(benchmark::State& state) {
    registry();
    Walk result;
    auto body = [&] {
        for (auto _ : state) tlcrash_async_capture_current_thread(walk, &result);
    };
    deep(530, body);
    if (result.frames != 512) state.SkipWithError("the walk did not reach 512 frames");
    state.counters["frames"] = static_cast<double>(result.frames);
}
BENCHMARK(BM_Unwind512Frames)->Unit(benchmark::kMicrosecond);

void BM_Backtrace512Frames(benchmark::State& state) {
    void* frames[512];
    int count = 0;
    auto body = [&] {
        for (auto _ : state) count = backtrace(frames, 512);
    };
    deep(530, body);
    state.counters["frames"] = count;
}
BENCHMARK(BM_Backtrace512Frames)->Unit(benchmark::kMicrosecond);

// Threads that wait on a condition until the object goes, beside the
// calling one.
class WaitingThreads {
public:
    explicit WaitingThreads(int count) {
        for (int i = 0; i < count; ++i) {
            mThreads.emplace_back([this] {
                std::unique_lock<std::mutex> guard(mLock);
                mChanged.wait(guard, [this] { return mDone; });
            });
        }
    }
    ~WaitingThreads() {
        {
            std::lock_guard<std::mutex> guard(mLock);
            mDone = true;
        }
        mChanged.notify_all();
        for (std::thread& t : mThreads) t.join();
    }

private:
    std::mutex mLock;
    std::condition_variable mChanged;
    bool mDone = false;
    std::vector<std::thread> mThreads;
};

void BM_LiveReport(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const WaitingThreads waiting(threads - 1);
    const auto base = std::filesystem::temp_directory_path() / "bench_crashes";
    TLCrashReporter reporter("bench", "1", std::nullopt,
                             std::make_shared<TLCrashReporterConfig>(0, 0, true, base.string()));
    size_t bytes = 0;
    for (auto _ : state) {
        const auto report = reporter.generateLiveReport();
        if (!report) state.SkipWithError("no report");
        bytes = report ? report->size() : 0;
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LiveReport)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// A live report of 16 threads, read and converted as at the next start.
void BM_ErrorLogFromReport(benchmark::State& state) {
    std::optional<TLCrashReporter::Data> data;
    {
        const WaitingThreads waiting(15);
        const auto base = std::filesystem::temp_directory_path() / "bench_crashes";
        TLCrashReporter reporter("bench", "1", std::nullopt,
                                 std::make_shared<TLCrashReporterConfig>(0, 1, true, base.string()));
        data = reporter.generateLiveReport();
    }
    if (!data) {
        state.SkipWithError("no report");
        return;
    }
    for (auto _ : state) {
        const auto report = TLCrashReport::makeWithData(*data);
        const auto log = TLMErrorLogFormatter::errorLogFromCrashReport(*report, *data);
        benchmark::DoNotOptimize(log);
    }
}
BENCHMARK(BM_ErrorLogFromReport)->Unit(benchmark::kMillisecond);

// One event-sized archive buffered and freed, as every log passes.
void BM_LogBufferStoreAndFree(benchmark::State& state) {
    const auto directory = std::filesystem::temp_directory_path() / "bench_crashes_buffer";
    std::filesystem::create_directories(directory);
    TLMCrashesLogBuffer::setup(directory);
    const std::vector<std::uint8_t> archive(600, 0x41);
    for (auto _ : state) {
        TLMCrashesLogBuffer::store(archive, "", "B1C2D3E4-0000-4000-8000-000000000000", 1.0);
        benchmark::DoNotOptimize(TLMCrashesLogBuffer::free("B1C2D3E4-0000-4000-8000-000000000000"));
    }
}
BENCHMARK(BM_LogBufferStoreAndFree)->Unit(benchmark::kMicrosecond);

// The crash-time write of 60 slots of 1 KiB with tokens.
void BM_LogBufferSaveAtCrash(benchmark::State& state) {
    const auto directory = std::filesystem::temp_directory_path() / "bench_crashes_buffer";
    std::filesystem::create_directories(directory);
    TLMCrashesLogBuffer::setup(directory);
    const std::vector<std::uint8_t> archive(1024, 0x42);
    for (int i = 0; i < 60; ++i)
        TLMCrashesLogBuffer::store(archive, std::string(180, 'T'), "id" + std::to_string(i), i);
    for (auto _ : state) TLMCrashesLogBuffer::saveAtCrash();
    std::filesystem::remove_all(directory);
}
BENCHMARK(BM_LogBufferSaveAtCrash)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
