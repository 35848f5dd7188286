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

#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/Window.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

using namespace platform::ui;

namespace {

constexpr platform::Size kPoints{1366, 1024};
using FrameClock = std::chrono::steady_clock;
constexpr auto kFramePeriod = std::chrono::microseconds(16667);

struct Tablet {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::unique_ptr<platform::ScopedClock> scoped;
    std::shared_ptr<Window> window;
    std::shared_ptr<TouchSynth> synth;
    std::shared_ptr<TabBarController> tabs;
    std::size_t opened = 0;

    void advance(double seconds) {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
};

// 0 elements: the shipped sample.
void OpenDocument(Tablet& t, std::size_t elements) {
    ULayoutGen::tLayoutDocument document;
    if (elements == 0) {
        std::ifstream in(VEKMONT_SAMPLE_SCENARIO);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ULayoutGen::tScenarioSummary summary;
        std::string error;
        if (!ULayoutGen::ParseLayoutScenario(text, document, summary, error)) std::abort();
    } else {
        ULayoutGen::ComposeLargeLayout(document, elements, 20240601, 13);
    }
    const auto path = platform::Paths::tmp() / ("layers-" + std::to_string(elements) + ".wkst");
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!VKMLayoutDocumentHelper::loadLayoutFile(path)) std::abort();
    t.advance(1);
    t.window->snapshot();
}

Tablet& OpenTablet(std::size_t elements) {
    static Tablet* tablet = [] {
        SetUpBenchEngine("vekmont-bench-layer-list");
        auto* counters = new QLPerformanceCountersService();
        counters->Enable();
        CServiceLocator::Instance().RegisterService(counters);
        auto* t = new Tablet();
        t->scoped = std::make_unique<platform::ScopedClock>(t->clock);
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::tablet);
        platform::ui::Screen::mainScreen()->setSize(kPoints);
        platform::ui::Screen::mainScreen()->setScale(2);
        VKMLayoutScenes::registerScenes();
        const auto layout =
            Storyboard(VKMLayoutScenes::kStoryboard)
                .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
        t->window = std::make_shared<Window>(platform::Rect{0, 0, kPoints.width, kPoints.height});
        t->synth = std::make_shared<TouchSynth>(t->window);
        t->tabs = std::make_shared<TabBarController>();
        t->tabs->setViewControllers({layout});
        t->window->setRootViewController(t->tabs);
        t->window->makeKeyAndVisible();
        t->advance(0.1);
        return t;
    }();
    if (tablet->opened != elements + 1) {
        OpenDocument(*tablet, elements);
        tablet->opened = elements + 1;
    }
    return *tablet;
}

double Milliseconds(FrameClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool EveryPreviewShown(const VKMLayerListViewController& list, int rows) {
    return list.previewsMade() >= static_cast<std::size_t>(rows);
}

void BM_OpenLayerList(benchmark::State& state) {
    Tablet& t = OpenTablet(static_cast<std::size_t>(state.range(0)));
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kLayer);
    if (!button) {
        state.SkipWithError("no layer button");
        return;
    }
    const platform::Rect bounds = button->bounds();
    const platform::Point centre =
        button->convertPointToView({bounds.x + bounds.width / 2, bounds.y + bounds.height / 2}, nullptr);
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
    state.counters["tap_ms"] = Median(taps);
    state.counters["frame_max_ms"] = Median(frames);
    state.counters["last_preview_ms"] = Median(arrivals);
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
