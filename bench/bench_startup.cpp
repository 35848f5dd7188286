// Cold start of the app: `vekmont --headless --snapshot` from the spawn to
// its first frame composed (the launch, the engine, the tab bar and one
// render; the counters add the PNG written and the process ended), beside
// spawning a trivial program. The app root is kept between
// runs, as a user's is; one run before timing warms fontconfig's cache.
//
// BM_VekmontTabletFirstFrame/0 is the bare start on the tablet idiom, the
// baseline of /100000: the same start handed a layout of 100,000 elements
// without stored types (layoutgen's), to the first frame that shows it.
//
// BM_VekmontTabletOpenMainLoopGap times, for the same starts, the longest
// the app's main loop kept a frame waiting from its first frame to the one
// that shows the layout (what the app writes into its mark file): the open
// of /100000 beside that of a layout of 1,000 elements (/1000), whose work
// is small beside a frame (16.7 ms).
//
// BM_VekmontFirstFrame/tablet:T/plain:P: the start handed a layout of
// 100,000 elements to the first frame that shows it, on the phone (T 0) or
// the tablet (T 1): layoutgen's own mix (P 0: the newest version, with its
// groups, six layers, texts, two pictures and two baseboards, as /100000
// above) or the plain mix of an older file (P 1: version 9, four layers,
// the same tracks, texts and groups, no pictures or baseboards). The first
// tiles of either draw thousands of labels side by side.
//
//   bench_startup --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// $VEKMONT_BENCH_APP, when set, names the app to start instead of this
// build's (another tree's, to alternate runs of the two).

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/Spawn.h"
#include "platform/foundation/TemporaryFolder.h"


namespace {

namespace fs = std::filesystem;

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment) {
    const pid_t pid = SpawnProgram(arguments, extraEnvironment, kSpawnOutputDiscarded);
    if (pid < 0) throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

int wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_TrivialProgramStart(benchmark::State& state) {
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        wait(spawn({"/bin/true"}, {}));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
}

// What the app wrote into its mark: its main loop's longest wait between
// frames, in ms; negative when it wrote none.
double MainLoopGap(const fs::path& mark) {
    std::FILE* file = std::fopen(mark.c_str(), "r");
    if (file == nullptr) return -1;
    double gap = -1;
    int frames = 0;
    if (std::fscanf(file, "main_loop_gap_ms %lf frames %d", &gap, &frames) != 2) gap = -1;
    std::fclose(file);
    return gap;
}

// Times each start to its first frame composed, or (`gaps`) reports as each
// iteration's time the main loop's longest wait between frames meanwhile.
void TimeFirstFrames(benchmark::State& state, const std::vector<std::string>& options, bool gaps = false) {
    platform::TemporaryFolder home("vekmont-bench-start");
    const fs::path frame = home.path() / "frame.png";
    const fs::path composed = home.path() / "composed";
    // Another build's app may be timed instead, for runs alternated with it.
    const char* other = std::getenv("VEKMONT_BENCH_APP");
    std::vector<std::string> arguments{other != nullptr ? other : VEKMONT_APP, "--headless", "--snapshot",
                                       frame.string()};
    for (const std::string& option : options) arguments.push_back(option);
    const std::vector<std::string> environment{"VEKMONT_HOME=" + home.path().string(),
                                               "VEKMONT_RESOURCES=" VEKMONT_RESOURCES_DIR,
                                               "VEKMONT_SNAPSHOT_MARK=" + composed.string()};
    if (wait(spawn(arguments, environment)) != 0) {
        state.SkipWithError("vekmont did not run");
        return;
    }
    double frameWritten = 0;
    double ended = 0;
    double longestGap = 0;
    for (auto _ : state) {
        fs::remove(frame);
        fs::remove(composed);
        const auto begin = std::chrono::steady_clock::now();
        const auto since = [&begin] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        };
        const pid_t pid = spawn(arguments, environment);
        bool reaped = false;
        // Polls for the file; false when the app ended without it.
        const auto await = [&](const fs::path& file) {
            struct stat info {};
            int status = 0;
            while (::stat(file.c_str(), &info) != 0) {
                if (!reaped && waitpid(pid, &status, WNOHANG) == pid) reaped = true;
                if (reaped) return ::stat(file.c_str(), &info) == 0;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            return true;
        };
        // The mark appears once the frame is composed, before its PNG is
        // encoded; the frame is renamed into place whole.
        if (!await(composed)) {
            state.SkipWithError("vekmont ended without composing its frame");
            break;
        }
        const double composedAt = since();
        const double gap = MainLoopGap(composed);
        if (gap < 0) {
            state.SkipWithError("vekmont wrote no main loop gap");
            break;
        }
        longestGap = std::max(longestGap, gap);
        state.SetIterationTime(gaps ? gap * 1e-3 : composedAt);
        if (!await(frame)) {
            state.SkipWithError("vekmont ended without writing its frame");
            break;
        }
        frameWritten += since();
        if (!reaped) wait(pid);
        ended += since();
    }
    // Beside the time to the composed frame (the benchmark's own), in ms.
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["png_written_ms"] = frameWritten / iterations * 1e3;
    state.counters["ended_ms"] = ended / iterations * 1e3;
    state.counters["longest_gap_ms"] = longestGap;
}

void BM_VekmontHeadlessToFirstFrame(benchmark::State& state) { TimeFirstFrames(state, {}); }

void TabletStarts(benchmark::State& state, bool gaps) {
    static platform::TemporaryFolder files("vekmont-bench-layouts");
    const auto elements = state.range(0);
    std::vector<std::string> options{"--idiom", "tablet"};
    if (elements > 0) {
        const fs::path layout = files.path() / ("untyped-" + std::to_string(elements) + ".wkst");
        if (!fs::exists(layout) &&
            wait(spawn({VEKMONT_LAYOUTGEN, "layout", layout.string(), "--elements", std::to_string(elements)}, {})) !=
                0) {
            state.SkipWithError("layoutgen did not run");
            return;
        }
        options.push_back(layout.string());
    }
    TimeFirstFrames(state, options, gaps);
}

void BM_VekmontTabletFirstFrame(benchmark::State& state) { TabletStarts(state, false); }

void BM_VekmontFirstFrame(benchmark::State& state) {
    static platform::TemporaryFolder files("vekmont-bench-first-frames");
    const bool tablet = state.range(0) != 0;
    const bool plain = state.range(1) != 0;
    const fs::path layout = files.path() / (plain ? "plain-100000.wkst" : "own-100000.wkst");
    std::vector<std::string> generate{VEKMONT_LAYOUTGEN, "layout", layout.string(), "--elements", "100000"};
    if (plain) generate.insert(generate.end(), {"--version", "9"});
    if (!fs::exists(layout) && wait(spawn(generate, {})) != 0) {
        state.SkipWithError("layoutgen did not run");
        return;
    }
    TimeFirstFrames(state, {"--idiom", tablet ? "tablet" : "phone", layout.string()});
}
void BM_VekmontTabletOpenMainLoopGap(benchmark::State& state) { TabletStarts(state, true); }

}  // namespace

BENCHMARK(BM_TrivialProgramStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_VekmontHeadlessToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_VekmontTabletFirstFrame)
    ->Arg(0)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_VekmontFirstFrame)
    ->ArgNames({"tablet", "plain"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_VekmontTabletOpenMainLoopGap)
    ->Arg(1000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK_MAIN();
