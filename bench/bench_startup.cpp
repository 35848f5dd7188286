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
// above), the plain mix of an older file (P 1: version 9, four layers,
// the same tracks, texts and groups, no pictures or baseboards) or a layout
// of tracks alone, as a user draws one (P 2: version 12, five track layers
// of 20,000 tracks each, no texts, groups, shapes or pictures; written from
// a scenario). The first tiles of the first two draw thousands of labels
// side by side; those of the third only tracks.
//
// BM_VekmontTracksFirstFrame/tablet:T/tracks:N: the same, handed a layout of
// tracks alone as plain:2 but of N tracks (five layers of N / 5), for the
// sizes on either side of where the heaps' growth used to change.
//
// Each start's `start_peak_MB` is the app's VmHWM as its first frame is
// composed (MB of 10^6 bytes, the mean of the starts), as the app writes it
// into its mark; read from /proc here for an app that does not.
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
#include <cstdint>
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
// frames, in ms (negative when it wrote none), and its VmHWM then, in MB
// (0 from an app that does not write it).
struct tMark {
    double gap = -1;
    double peakMB = 0;
};
tMark ReadMark(const fs::path& mark) {
    tMark read;
    std::FILE* file = std::fopen(mark.c_str(), "r");
    if (file == nullptr) return read;
    int frames = 0;
    long peakKiB = 0;
    const int fields = std::fscanf(file, "main_loop_gap_ms %lf frames %d peak_kB %ld", &read.gap, &frames, &peakKiB);
    if (fields < 2) read.gap = -1;
    if (fields == 3) read.peakMB = static_cast<double>(peakKiB) * 1024 / 1e6;
    std::fclose(file);
    return read;
}

// A running process's VmHWM, in MB; 0 when it cannot be read.
double PeakMB(pid_t pid) {
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (file == nullptr) return 0;
    double kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr)
        if (std::sscanf(line, "VmHWM: %lf kB", &kib) == 1) break;
    std::fclose(file);
    return kib * 1024 / 1e6;
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
    double peaks = 0;
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
        // The app's own reading, when it gives one: read from here, the
        // peak may already include the PNG's encoding.
        const double outsidePeak = PeakMB(pid);
        const tMark mark = ReadMark(composed);
        peaks += mark.peakMB > 0 ? mark.peakMB : outsidePeak;
        const double gap = mark.gap;
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
    state.counters["start_peak_MB"] = peaks / iterations;
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

// A layoutgen scenario of `layers` track layers of `tracksPerLayer` tracks
// each, in chains of 20 to 200 laid end to end from random places:
// straights, curves both ways, turnouts and flex tracks. The same every run.
std::string TracksOnlyScenario(int layers, int tracksPerLayer) {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&state](std::uint64_t below) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return (state >> 33) % below;
    };
    std::string text = "version 12\n";
    for (int layer = 1; layer <= layers; ++layer) {
        text += "layer \"Tracks " + std::to_string(layer) + "\" type=track\n";
        int chainLeft = 0;
        for (int track = 0; track < tracksPerLayer; ++track, --chainLeft) {
            std::string start;
            if (chainLeft <= 0) {
                chainLeft = 20 + static_cast<int>(next(181));
                start = " at=" + std::to_string(static_cast<int>(next(40001)) - 20000) + "," +
                        std::to_string(static_cast<int>(next(40001)) - 20000) +
                        " angle=" + std::to_string(15 * next(24));
            }
            const auto pick = next(100);
            if (pick < 45) {
                text += pick % 3 == 0 ? "straight length=94.2 product=G-94" : "straight length=188.3 product=G-188";
            } else if (pick < 80) {
                text += pick % 2 == 0 ? "curve radius=360 sweep=30 product=R1-30"
                                      : "curve radius=437.5 sweep=-30 product=R2-30";
            } else if (pick < 92) {
                text += pick % 2 == 0 ? "turnout length=188.3 radius=437.5 sweep=24.28 hand=left product=W-L"
                                      : "turnout length=188.3 radius=437.5 sweep=24.28 hand=right product=W-R";
            } else {
                text += "flex length=" + std::to_string(200 + next(700)) + " bend=" + std::to_string(next(200)) +
                        " max=2000";
            }
            text += start + "\n";
        }
    }
    return text;
}

platform::TemporaryFolder& FirstFrameFiles() {
    static platform::TemporaryFolder files("vekmont-bench-first-frames");
    return files;
}

// Adds to `generate` the scenario of `tracks` tracks in five layers, written
// once; false when it cannot be written.
bool AddTracksScenario(std::vector<std::string>& generate, int tracks) {
    const fs::path scenario = FirstFrameFiles().path() / ("tracks-" + std::to_string(tracks) + ".txt");
    if (!fs::exists(scenario)) {
        std::FILE* file = std::fopen(scenario.c_str(), "w");
        const std::string text = TracksOnlyScenario(5, tracks / 5);
        const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (file != nullptr) std::fclose(file);
        if (!written) return false;
    }
    generate.insert(generate.end(), {"--scenario", scenario.string()});
    return true;
}

void BM_VekmontFirstFrame(benchmark::State& state) {
    const bool tablet = state.range(0) != 0;
    const auto mix = state.range(1);
    const char* names[] = {"own-100000.wkst", "plain-100000.wkst", "tracks-100000.wkst"};
    const fs::path layout = FirstFrameFiles().path() / names[mix];
    std::vector<std::string> generate{VEKMONT_LAYOUTGEN, "layout", layout.string()};
    if (mix == 2) {
        if (!AddTracksScenario(generate, 100000)) {
            state.SkipWithError("cannot write the scenario");
            return;
        }
    } else {
        generate.insert(generate.end(), {"--elements", "100000"});
        if (mix == 1) generate.insert(generate.end(), {"--version", "9"});
    }
    if (!fs::exists(layout) && wait(spawn(generate, {})) != 0) {
        state.SkipWithError("layoutgen did not run");
        return;
    }
    TimeFirstFrames(state, {"--idiom", tablet ? "tablet" : "phone", layout.string()});
}

void BM_VekmontTracksFirstFrame(benchmark::State& state) {
    const bool tablet = state.range(0) != 0;
    const int tracks = static_cast<int>(state.range(1));
    const fs::path layout = FirstFrameFiles().path() / ("tracks-" + std::to_string(tracks) + ".wkst");
    std::vector<std::string> generate{VEKMONT_LAYOUTGEN, "layout", layout.string()};
    if (!AddTracksScenario(generate, tracks)) {
        state.SkipWithError("cannot write the scenario");
        return;
    }
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
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_VekmontTracksFirstFrame)
    ->ArgNames({"tablet", "tracks"})
    ->ArgsProduct({{0, 1}, {10000, 13690, 14000, 30000}})
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
