// The app log's cost: lines per second through the file sink (and the memory
// list), and what a debug call below the level costs its caller.
//
// BM_OpenLinesToConsole writes the lines a 100,000-element open writes (one
// "Guessed type" line for each of 88,123 elements) through every sink, the
// console included, with standard output sent to /dev/null (/0) and through
// a pipe that a thread of the benchmark reads as fast as it can (/1).

#include "engine/services/Logger.h"
#include "platform/foundation/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace {

// Swallows the console sink's lines: they are still formatted, but the
// terminal's speed stays out of the figures.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// One temporary folder for the whole run, removed at exit; the file sink
// can only be added, so every benchmark shares it.
std::filesystem::path BenchFolder() {
    static const platform::TemporaryFolder folder("vekmont-bench-log");
    return folder.path();
}

CLogger& FileLogger() {
    static CLogger& logger = []() -> CLogger& {
        CLogger& instance = CLogger::Instance();
        // As the app writes its log: lines gathered, written in blocks.
        instance.AddFileSink((BenchFolder() / "Vekmont.log").string(), 1 << 20, false);
        instance.SetLevel(2);
        return instance;
    }();
    return logger;
}

// Waits until the queue has appended everything written so far.
void DrainMemoryList() {
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(1, lines);
}

void BM_InfoLineToFile(benchmark::State& state) {
    FileLogger();
    const std::string text(static_cast<std::size_t>(state.range(0)), 'x');
    int n = 0;
    for (auto _ : state) LogInfo("%d %s", n++, text.c_str());
    DrainMemoryList();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InfoLineToFile)->Arg(40)->Arg(400);

void BM_WarningLineFromThreads(benchmark::State& state) {
    FileLogger();
    for (auto _ : state) LogWarning("thread %d line", state.thread_index());
    if (state.thread_index() == 0) DrainMemoryList();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WarningLineFromThreads)->Threads(1)->Threads(4)->UseRealTime();

void BM_DebugBelowLevel(benchmark::State& state) {
    FileLogger();
    const std::string text(200, 'y');
    for (auto _ : state) LogDebug("%s %d", text.c_str(), 7);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DebugBelowLevel);

// std::cout's own buffer, which main swaps for one that swallows lines.
std::streambuf* gConsole = nullptr;

// Standard output (the descriptor and std::cout) to /dev/null or into a
// pipe drained by a thread, until destroyed.
class ConsoleTo {
public:
    explicit ConsoleTo(bool pipeToReader) {
        std::fflush(stdout);
        mSaved = ::dup(STDOUT_FILENO);
        int target = -1;
        if (pipeToReader) {
            int ends[2];
            if (::pipe(ends) != 0) std::abort();
            target = ends[1];
            mReader = std::thread([fd = ends[0], this] {
                char buffer[64 * 1024];
                for (;;) {
                    const ssize_t got = ::read(fd, buffer, sizeof buffer);
                    if (got <= 0) break;
                    mRead += static_cast<std::size_t>(got);
                }
                ::close(fd);
            });
        } else {
            target = ::open("/dev/null", O_WRONLY);
        }
        ::dup2(target, STDOUT_FILENO);
        ::close(target);
        mSwallower = std::cout.rdbuf(gConsole);
    }
    ~ConsoleTo() {
        CLogger::Instance().Flush();
        std::fflush(stdout);
        std::cout.rdbuf(mSwallower);
        ::dup2(mSaved, STDOUT_FILENO);
        ::close(mSaved);
        if (mReader.joinable()) mReader.join();
    }
    std::size_t bytesRead() const { return mRead; }

private:
    int mSaved = -1;
    std::thread mReader;
    std::atomic<std::size_t> mRead{0};
    std::streambuf* mSwallower = nullptr;
};

void BM_OpenLinesToConsole(benchmark::State& state) {
    FileLogger();
    constexpr int kLines = 88123;
    const char* const names[] = {"Track", "Turnout", "Crossing"};
    double bytes = 0;
    {
        ConsoleTo console(state.range(0) == 1);
        for (auto _ : state) {
            for (int i = 0; i < kLines; ++i) LogInfo("Guessed type %d (%s) for %s", 1 + i % 3, names[i % 3], "R3-15");
            CLogger::Instance().Flush();
        }
        DrainMemoryList();
        bytes = static_cast<double>(console.bytesRead());
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    // What reached the reader, an open's lines at a time.
    if (state.range(0) == 1) state.counters["piped_bytes_per_open"] = bytes / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenLinesToConsole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RecentLinesForViewer(benchmark::State& state) {
    FileLogger();
    for (int i = 0; i < 4096; ++i) LogInfo("filler %d", i);
    std::vector<std::string> lines;
    for (auto _ : state) {
        CLogger::Instance().GetRecentLines(200, lines);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_RecentLinesForViewer);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The report goes to standard output; the logger's console sink, which
    // writes to std::cout, goes nowhere.
    NullBuffer nothing;
    std::streambuf* const console = std::cout.rdbuf(&nothing);
    gConsole = console;
    std::ostream report(console);
    benchmark::ConsoleReporter display(benchmark::ConsoleReporter::OO_Tabular);
    display.SetOutputStream(&report);
    display.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&display);
    report.flush();
    benchmark::Shutdown();
    // The logger flushes its console sink when it is destroyed after main
    // returns: give std::cout its own buffer back before `nothing` goes.
    CLogger::Instance().Flush();
    std::cout.rdbuf(console);
    std::error_code ignored;
    std::filesystem::remove_all(BenchFolder(), ignored);
    return 0;
}
