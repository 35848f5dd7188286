// Generated elements and whole-layout passes over a layout of 100,000
// elements made by layoutgen with generated elements (flex tracks made by
// the flex-track generators, arrows and dimension lines):
//
//   BM_RegenerateAll       every generated element's components rebuilt
//                          from its stored generators
//                          (UGeneratedElements::RegenerateComponents).
//   BM_AutoColorize        grouping by one criterion (type, layer,
//                          manufacturer, product number, radius, height in
//                          4 bands) and colouring the groups from a list.
//   BM_TunnelPaths         the tunnel sections of chains of connected
//                          tracks (30 tracks each, trimmed at both ends of
//                          the chain) joined into paths, for 10,000 and
//                          100,000 tracks. `per_item` shows the growth:
//                          n log n allows the 100,000 case about 1.25 times
//                          the per-item time of the 10,000 case.
//
// Each layout is made once per process. Targets: regeneration and each
// colouring pass under 200 ms at 100,000 elements.

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/generators/Regeneration.h"
#include "engine/model/AutoColorize.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/TunnelPaths.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutComposer.h"

namespace {

constexpr std::uint64_t kSeed = 20261206;
constexpr std::size_t kLayoutElements = 100000;

// VEKMONT_BENCH_ELEMENTS makes the generated layout smaller, for profiling.
std::size_t LayoutElements() {
    const char* text = std::getenv("VEKMONT_BENCH_ELEMENTS");
    const long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? static_cast<std::size_t>(value) : kLayoutElements;
}

void SetUp() { SetUpBenchEngine("vekmont-bench-generators"); }

struct tGeneratedLayout {
    ULayoutGen::tLayoutDocument document;
    tElements all;
    tElements generated;
};

tGeneratedLayout& Layout() {
    static tGeneratedLayout* layout = [] {
        SetUp();
        auto* made = new tGeneratedLayout();
        ULayoutGen::ComposeLargeLayout(made->document, LayoutElements(), kSeed, CLayout::kNewestFileVersion, true);
        for (auto& element : made->document.elements) {
            // As a load would: the layer named in the record.
            if (made->document.layers)
                element->SetLayer(made->document.layers->FindLayerByName(element->GetLayerName()));
            made->all.push_back(element.get());
            if (!element->GetGeneratorMap().empty()) made->generated.push_back(element.get());
        }
        return made;
    }();
    return *layout;
}

void BM_RegenerateAll(benchmark::State& state) {
    tGeneratedLayout& layout = Layout();
    for (auto _ : state) {
        for (CCompositeGeometry* element : layout.generated) {
            benchmark::DoNotOptimize(UGeneratedElements::RegenerateComponents(element, nullptr));
        }
    }
    state.counters["generated"] = static_cast<double>(layout.generated.size());
    state.counters["elements"] = static_cast<double>(layout.all.size());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(layout.generated.size()));
}
BENCHMARK(BM_RegenerateAll)->Unit(benchmark::kMillisecond);

void BM_AutoColorize(benchmark::State& state) {
    tGeneratedLayout& layout = Layout();
    const int operation = static_cast<int>(state.range(0));
    const tColorList colors = {CColor(0.9, 0.1, 0.1, 1.0), CColor(0.1, 0.7, 0.2, 1.0), CColor(0.1, 0.3, 0.9, 1.0),
                               CColor(0.8, 0.6, 0.1, 1.0), CColor(0.5, 0.2, 0.7, 1.0)};
    std::size_t groups = 0;
    for (auto _ : state) {
        const tElementGroups grouped = UAutoColorize::GroupElementsForOperation(layout.all, operation, 4);
        groups = grouped.size();
        benchmark::DoNotOptimize(UAutoColorize::ApplyColorList(grouped, colors, 0, 0));
    }
    state.counters["groups"] = static_cast<double>(groups);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(layout.all.size()));
}
BENCHMARK(BM_AutoColorize)->DenseRange(kColorizeByType, kColorizeByHeight)->Unit(benchmark::kMillisecond);

// Chains of 30 straight tunnel tracks, joint to joint; the first of each
// chain starts its tunnel a fifth in, the last ends it four fifths along.
struct tTunnelLayout {
    ULayoutGen::tLayoutDocument document;
    tElements tracks;
};

tTunnelLayout& TunnelLayout(std::size_t count) {
    static std::map<std::size_t, std::unique_ptr<tTunnelLayout>> made;
    std::unique_ptr<tTunnelLayout>& slot = made[count];
    if (slot) return *slot;
    SetUp();
    slot = std::make_unique<tTunnelLayout>();
    ULayoutGen::CLayoutComposer composer(slot->document);
    constexpr std::size_t kChain = 30;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t place = i % kChain;
        ULayoutGen::tPart part;
        part.startTrim = place == 0 ? 20 : 0;
        part.endTrim = place == kChain - 1 ? 80 : 100;
        std::optional<ULayoutGen::tPose> at;
        if (place == 0) {
            const std::size_t chain = i / kChain;
            at = ULayoutGen::tPose{static_cast<double>(chain % 100) * 4000.0, static_cast<double>(chain / 100) * 400.0,
                                   0.0, 0.0};
        }
        composer.AddStraight(part, 100.0, at);
        if (place != 0) {
            CCompositeGeometry* previous = slot->document.elements[i - 1].get();
            CCompositeGeometry* current = slot->document.elements[i].get();
            CJoint::Connect(previous->GetJoints(kJointFilterAll).at(1), current->GetJoints(kJointFilterAll).at(0));
        }
    }
    composer.Finish();
    for (auto& element : slot->document.elements) slot->tracks.push_back(element.get());
    return *slot;
}

void BM_TunnelPaths(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    tTunnelLayout& layout = TunnelLayout(count);
    std::size_t paths = 0;
    for (auto _ : state) {
        const tTunnelSectionPaths result = UContiguousTunnelPaths::GetPathsForTunnelTracks(layout.tracks, 1);
        paths = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["paths"] = static_cast<double>(paths);
    // Time per track, shown in seconds with their prefix (ns, us).
    state.counters["per_item"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}
BENCHMARK(BM_TunnelPaths)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
