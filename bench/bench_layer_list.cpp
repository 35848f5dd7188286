// The layer list opened from the layout screen's layer button, in a tablet
// window of 1366 x 1024 points at scale 2 with the tab bar at its root, as
// the app has it; the layout is the shipped sample (the baseline) or a
// generated one of 10,000 or 100,000 elements (the mix of
// bench_layout_load: four tracks layers, an image layer, a baseboard layer).
//
//   BM_OpenLayerList  one opening: the finger lifts from the layer button,
//                     the main thread runs what the tap posted and draws the
//                     first frame with the list in it; then frames paced at
//                     60 a second (the rest of each 16.7 ms slept, as the
//                     display waits) until every row shows its preview; the
//                     list is closed again outside the timings.
//
// Counters, medians over the openings of a run:
//   tap_ms            the main thread's time from the lift to the first
//                     frame that shows the list's rows
//   frame_max_ms      the longest main-thread frame while previews arrive
//                     (the blocks posted to the main thread since the last
//                     frame, the clock's step and the compositing)
//   last_preview_ms   real time from the lift to the frame that shows the
//                     last preview

#include <benchmark/benchmark.h>

#include "bench/LayoutTablet.h"
#include "bench/Percentile.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;

namespace {

using FrameClock = std::chrono::steady_clock;
constexpr auto kFramePeriod = std::chrono::microseconds(16667);

double Milliseconds(FrameClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool EveryPreviewShown(const VKMLayerListViewController& list, int rows) {
    return list.previewsMade() >= static_cast<std::size_t>(rows);
}

void BM_OpenLayerList(benchmark::State& state) {
    LayoutTablet& t = OpenLayoutTablet("vekmont-bench-layer-list", static_cast<std::size_t>(state.range(0)));
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kLayer);
    if (!button) {
        state.SkipWithError("no layer button");
        return;
    }
    const platform::Point centre = CentreInWindow(*button);
    std::vector<double> taps, frames, arrivals;
    for (auto _ : state) {
        const auto finger = t.synth->touchDown(centre);
        t.synth->wait(TouchSynth::kTapDuration);
        const auto lifted = FrameClock::now();
        t.synth->lift({finger});
        t.window->snapshot();
        const auto shown = FrameClock::now();
        const auto list = std::dynamic_pointer_cast<VKMLayerListViewController>(t.tabs->presentedViewController());
        const int rows = list ? list->tableView()->numberOfRowsInSection(0) : 0;
        if (!list || rows == 0 || list->tableView()->visibleCells().empty()) {
            state.SkipWithError("the list is not shown");
            return;
        }
        taps.push_back(Milliseconds(shown - lifted));
        double longest = 0;
        auto arrived = shown;
        while (!EveryPreviewShown(*list, rows)) {
            if (shown - lifted > std::chrono::seconds(60) || FrameClock::now() - lifted > std::chrono::seconds(60)) {
                state.SkipWithError("the previews did not come");
                return;
            }
            const auto start = FrameClock::now();
            t.advance(1.0 / 60);
            t.window->snapshot();
            arrived = FrameClock::now();
            longest = std::max(longest, Milliseconds(arrived - start));
            std::this_thread::sleep_until(start + kFramePeriod);
        }
        frames.push_back(longest);
        arrivals.push_back(Milliseconds(arrived - lifted));
        state.PauseTiming();
        t.advance(1);
        list->dismissViewController(false);
        t.advance(0.5);
        t.window->snapshot();
        state.ResumeTiming();
    }
    state.counters["tap_ms"] = Percentile(taps, 0.5);
    state.counters["frame_max_ms"] = Percentile(frames, 0.5);
    state.counters["last_preview_ms"] = Percentile(arrivals, 0.5);
}

}  // namespace

// 0: the sample.
BENCHMARK(BM_OpenLayerList)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();


BENCHMARK_MAIN();
