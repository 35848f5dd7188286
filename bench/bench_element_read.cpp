// Reading element records: 100,000 records of mixed kinds written by
// layoutgen into a temporary file once per process and record version, then
// read back with CCompositeGeometry::Load, record after record, as the
// layout and library readers do. Reports records/s and MB/s.
//
// Texts are measured by the text measurement service, as in the app.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "engine/model/CompositeGeometry.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/TemporaryFolder.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

constexpr std::size_t kRecordCount = 100000;
constexpr std::uint64_t kSeed = 20240601;

struct tRecordFile {
    std::filesystem::path path;
    std::uintmax_t bytes = 0;
};

void RegisterTextMeasurement() {
    static const bool registered = [] {
        CServiceLocator::Instance().RegisterService(new VKMTextCalculationService());
        return true;
    }();
    (void)registered;
}

// The records of `version`, written on first use; the files are removed
// when the process ends.
const tRecordFile& RecordFile(int version) {
    static std::map<int, tRecordFile> files;
    auto found = files.find(version);
    if (found != files.end()) return found->second;

    RegisterTextMeasurement();
    static const platform::TemporaryFolder folder("vekmont-bench-elements");
    const std::string path = (folder.path() / ("records-" + std::to_string(version))).string();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || !ULayoutGen::WriteRandomElementRecords(file, kRecordCount, kSeed, version) ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write the element records to %s\n", path.c_str());
        std::abort();
    }
    tRecordFile record{path, std::filesystem::file_size(path)};
    return files.emplace(version, record).first->second;
}

void BM_ReadElementRecords(benchmark::State& state) {
    const int version = static_cast<int>(state.range(0));
    const tRecordFile& records = RecordFile(version);
    std::size_t read = 0;
    for (auto _ : state) {
        FILE* file = std::fopen(records.path.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the record file");
            break;
        }
        read = 0;
        std::string error;
        for (std::size_t i = 0; i < kRecordCount; ++i) {
            CCompositeGeometry element;
            if (!element.Load(file, error)) break;
            benchmark::DoNotOptimize(element.GetComponents().data());
            ++read;
        }
        std::fclose(file);
        if (read != kRecordCount) {
            state.SkipWithError(("record " + std::to_string(read) + " failed: " + error).c_str());
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecordCount));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * records.bytes));
    state.counters["file_MB"] = static_cast<double>(records.bytes) / 1e6;
}

}  // namespace

BENCHMARK(BM_ReadElementRecords)->Arg(13)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
