// The crash attachment's cut: the last 200 lines of the log's 4,096 memory
// lines through substringWithLastLines, beside the plainest cut of the same
// text at line feeds (find, split, join), which knows no other breaks.

#include "app/Utilities/Strings/ZDUtilsStrings.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kLines = 4096;
constexpr std::size_t kKept = 200;

std::string makeLog() {
    std::string log;
    for (int i = 0; i < kLines; ++i) {
        if (i > 0) log += '\n';
        log += "2026-12-07 10:53:18: [info   ]    Loaded layout \"Bahnhof Süd\" with " + std::to_string(i) +
               " elements in 12 ms";
    }
    return log;
}

void BM_LastLinesSplitAtLineFeeds(benchmark::State& state) {
    const std::string log = makeLog();
    for (auto _ : state) {
        std::vector<std::string> pieces;
        std::size_t start = 0;
        for (std::size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', start)) {
            pieces.push_back(log.substr(start, at - start));
            start = at + 1;
        }
        pieces.push_back(log.substr(start));
        std::string out;
        for (std::size_t i = pieces.size() - kKept; i < pieces.size(); ++i) {
            if (!out.empty()) out += '\n';
            out += pieces[i];
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}
BENCHMARK(BM_LastLinesSplitAtLineFeeds)->Unit(benchmark::kMicrosecond);

void BM_SubstringWithLastLines(benchmark::State& state) {
    const std::string log = makeLog();
    for (auto _ : state) benchmark::DoNotOptimize(ZDUtils::substringWithLastLines(log, kKept));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}
BENCHMARK(BM_SubstringWithLastLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
