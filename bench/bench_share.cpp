// The share picture of a generated layout of 1,000 to 100,000 elements:
// the whole picture as the share button makes it (a copy of the document
// on the main thread, then the cropped, labelled picture of the copy), the
// copy alone, and as a baseline the picture drawn straight from the
// document, as it was made before the copy.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "LayoutModule/Share/VKMLayoutCopy.h"
#include "LayoutModule/Share/VKMSharingHelper.h"
#include "bench/BenchSupport.h"
#include "engine/model/Layout.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/Image.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

constexpr std::uint64_t kSeed = 20240601;

CLayout& Layout(std::size_t elements) {
    static std::map<std::size_t, std::unique_ptr<CLayout>> layouts;
    auto& layout = layouts[elements];
    if (layout) return *layout;
    SetUpBenchEngine("vekmont-bench-share");
    const std::filesystem::path path = platform::Paths::tmp() / ("share-" + std::to_string(elements));
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, elements, kSeed, CLayout::kNewestFileVersion);
    layout = std::make_unique<CLayout>();
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent()) ||
        layout->Load(path.string()) != kLayoutLoaded) {
        std::fprintf(stderr, "the generated layout of %zu elements did not load\n", elements);
        std::abort();
    }
    std::filesystem::remove(path);
    return *layout;
}

const VKMSharingHelper::tOverlayTexts kTexts{"Benchmark Valley", "someone", "Vekmont"};

void BM_SharePicture(benchmark::State& state) {
    CLayout& layout = Layout(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const auto copy = VKMLayoutCopy::copyForDrawing(layout);
        const auto image = VKMSharingHelper::getCroppedOverlayedImage(*copy, kTexts);
        if (!image) state.SkipWithError("no picture");
        benchmark::DoNotOptimize(image.get());
    }
    state.counters["elements/s"] =
        benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SharePictureFromTheDocument(benchmark::State& state) {
    CLayout& layout = Layout(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const auto image = VKMSharingHelper::getCroppedOverlayedImage(layout, kTexts);
        if (!image) state.SkipWithError("no picture");
        benchmark::DoNotOptimize(image.get());
    }
}

void BM_ShareCopyOnly(benchmark::State& state) {
    CLayout& layout = Layout(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(VKMLayoutCopy::copyForDrawing(layout).get());
}

}  // namespace

BENCHMARK(BM_SharePicture)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SharePictureFromTheDocument)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ShareCopyOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
