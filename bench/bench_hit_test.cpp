// Picking the element under a point, as a long press on the layout screen
// does, in a generated layout of 100,000 elements (the mix of
// bench_layout_load), with the render data built as the layout view builds
// them.
//
//   BM_HitTest/indexed:1       a point on a track of the element in the
//                              middle of the list, through the element
//                              boxes the first search made (and the screen
//                              keeps with its render data).
//   BM_HitTestMiss/indexed:1   a point inside the layout's content where no
//                              element lies.
//   indexed:0                  the baseline, in the same run: the same
//                              points by looking at every element (each
//                              element's box worked out, the list sorted).
//   BM_BuildElementIndex       making the boxes: what the first search
//                              after a rebuild of the render data adds.

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMElementIndex.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ProcessMemory.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

constexpr std::size_t kElements = 100000;

struct tScene {
    std::unique_ptr<CLayout> layout;
    std::shared_ptr<VKMLayoutRenderData> renderData;
    std::shared_ptr<const VKMElementIndex> index;
    platform::Point onElement{};
    platform::Point onNothing{};
};

tScene* MakeScene() {
    SetUpBenchEngine("vekmont-bench-hit-test");
    EnablePerformanceCounters();
    auto* s = new tScene();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, kElements, 20240601, CLayout::kNewestFileVersion);
    const auto path = platform::Paths::tmp() / "hit-test.wkst";
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent())) std::abort();
    s->layout = std::make_unique<CLayout>();
    if (s->layout->Load(path.string()) != kLayoutLoaded) std::abort();
    std::filesystem::remove(path);
    VKMLayoutView::buildRenderData(s->renderData, *s->layout, {}, false);

    // On a track of the element in the middle of the list, found by
    // trying points over its box.
    CLayout& layout = *s->layout;
    const tElements& elements = layout.GetElements();
    const tDoubleRect box = UElementVectorOperations::GetBoundingBox({elements[elements.size() / 2]});
    s->onElement = {(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2};
    for (int tries = 0; tries < 200; ++tries) {
        if (VKMLayoutElementHitTestHelper::findElementAtPosition(s->onElement, layout, {}) != nullptr) break;
        s->onElement.x = box.minX + (box.maxX - box.minX) * ((tries * 37) % 100) / 100.0;
        s->onElement.y = box.minY + (box.maxY - box.minY) * ((tries * 61) % 100) / 100.0;
    }
    // Inside the content, where nothing is hit: tried along a diagonal.
    const tDoubleRect content = ULayoutBounds::GetContentBoundingBox(layout, ULayoutBounds::kBoundsModeAll);
    s->onNothing = {content.minX - 1, content.minY - 1};
    for (int step = 1; step < 1000; ++step) {
        const platform::Point point{content.minX + (content.maxX - content.minX) * step / 1000.0,
                                    content.minY + (content.maxY - content.minY) * ((step * 7) % 1000) / 1000.0};
        if (VKMLayoutElementHitTestHelper::findElementAtPosition(point, layout, {}, s->index) == nullptr) {
            s->onNothing = point;
            break;
        }
    }
    return s;
}

tScene& Scene() {
    static tScene* scene = [] {
        tScene* made = MakeScene();
        // What making it freed (the generated document, its file's bytes)
        // would otherwise go back to the system during the first timed
        // second, and the hit test would pay for that.
        platform::giveFreedMemoryBack();
        return made;
    }();
    return *scene;
}

void HitTestAt(benchmark::State& state, bool onElement) {
    tScene& scene = Scene();
    const bool indexed = state.range(0) != 0;
    const platform::Point point = onElement ? scene.onElement : scene.onNothing;
    bool found = false;
    for (auto _ : state) {
        found = (indexed ? VKMLayoutElementHitTestHelper::findElementAtPosition(point, *scene.layout, {}, scene.index)
                         : VKMLayoutElementHitTestHelper::findElementAtPosition(point, *scene.layout, {})) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    if (found != onElement) state.SkipWithError("unexpected answer");
}

void BM_HitTest(benchmark::State& state) { HitTestAt(state, true); }
void BM_HitTestMiss(benchmark::State& state) { HitTestAt(state, false); }

void BM_BuildElementIndex(benchmark::State& state) {
    tScene& scene = Scene();
    for (auto _ : state) {
        VKMElementIndex index(*scene.layout);
        benchmark::DoNotOptimize(&index);
    }
}

}  // namespace

BENCHMARK(BM_HitTest)->ArgName("indexed")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HitTestMiss)->ArgName("indexed")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildElementIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
