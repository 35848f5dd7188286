// The share picture of a generated layout of 1,000 to 100,000 elements:
// the whole picture as the share button makes it (a copy of the document,
// then the cropped, labelled picture of the copy), the copy alone, and as a
// baseline the picture drawn straight from the document, as it was made
// before the copy. And the share button tapped on the layout screen: the
// main thread's work from the tap to the sheet's first frame and when the
// picture arrives, beside the shipped sample.

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "LayoutModule/Share/VKMLayoutCopy.h"
#include "LayoutModule/Share/VKMSharingHelper.h"
#include "bench/BenchSupport.h"
#include "bench/LayoutTablet.h"
#include "bench/Percentile.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/Image.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Window.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

using namespace platform::ui;

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

// The share button tapped on the layout screen of a tablet window (1366 x
// 1024 points at scale 2, the tab bar at its root, as the app has it), the
// layout the shipped sample (the baseline) or a generated one of 100,000
// elements. Main-thread processor time (the thread's own clock, so other
// work on the machine does not count), medians over the taps of a run:
//   tap_cpu_ms      the finger's lift to the first frame with the sheet
//   frame_cpu_ms    the longest other frame until the picture is offered
//                   (frames at 60 a second: the blocks posted to the main
//                   thread, the clock's step, the compositing)
//   arrival_cpu_ms  the frame the picture arrives in, with its compositing
//   offered_cpu_ms  the frame its preview arrives in and the sheet offers
//                   it (the same frame when the picture needs no reducing)
//   picture_ms      real time from the lift to the frame that offers it
//   still_frame_cpu_ms  the baseline: the longest of 30 frames of the
//                   screen without the sheet, before the tap

// The calling thread's processor time.
double ThreadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void BM_ShareTap(benchmark::State& state) {
    LayoutTablet& t = OpenLayoutTablet("vekmont-bench-share-tap", static_cast<std::size_t>(state.range(0)));
    const auto button = VKMLayoutActionButtonHelper::button(VKMLayoutActionButtonHelper::kShare);
    if (!button) {
        state.SkipWithError("no share button");
        return;
    }
    const platform::Point centre = CentreInWindow(*button);
    using Wall = std::chrono::steady_clock;
    constexpr auto kFramePeriod = std::chrono::microseconds(16667);
    std::vector<double> taps, frames, arrivals, offers, pictures, still;
    for (auto _ : state) {
        // The baseline: the longest of as many frames of the screen alone.
        state.PauseTiming();
        double idle = 0;
        for (int frame = 0; frame < 30; ++frame) {
            const auto start = Wall::now();
            const double frameCpu = ThreadMilliseconds();
            t.advance(1.0 / 60);
            t.window->snapshot();
            idle = std::max(idle, ThreadMilliseconds() - frameCpu);
            std::this_thread::sleep_until(start + kFramePeriod);
        }
        still.push_back(idle);
        state.ResumeTiming();
        const auto finger = t.synth->touchDown(centre);
        t.synth->wait(TouchSynth::kTapDuration);
        const auto lifted = Wall::now();
        const double cpu = ThreadMilliseconds();
        t.synth->lift({finger});
        t.window->snapshot();
        taps.push_back(ThreadMilliseconds() - cpu);
        const auto sheets = presentedControllers<ActivityViewController>();
        if (sheets.size() != 1) {
            state.SkipWithError("no share sheet");
            return;
        }
        const auto sheet = sheets.front();
        double longest = 0, arrival = 0, offered = 0;
        bool gotPicture = false;
        const auto hasPicture = [&sheet] {
            return !sheet->activityItems().empty() && sheet->activityItems().front().image != nullptr;
        };
        while (sheet->isWaitingForItems()) {
            if (Wall::now() - lifted > std::chrono::seconds(60)) {
                state.SkipWithError("the picture did not come");
                return;
            }
            const auto start = Wall::now();
            const double frameCpu = ThreadMilliseconds();
            t.advance(1.0 / 60);
            t.window->snapshot();
            const double spent = ThreadMilliseconds() - frameCpu;
            const bool arrived = !gotPicture && hasPicture();
            if (arrived) {
                gotPicture = true;
                arrival = spent;
            }
            if (sheet->isWaitingForItems()) {
                if (!arrived) longest = std::max(longest, spent);
                std::this_thread::sleep_until(start + kFramePeriod);
            } else {
                offered = spent;
            }
        }
        pictures.push_back(std::chrono::duration<double, std::milli>(Wall::now() - lifted).count());
        frames.push_back(longest);
        arrivals.push_back(arrival);
        offers.push_back(offered);
        state.PauseTiming();
        if (sheet->activityItems().empty() || !sheet->activityItems().front().image) state.SkipWithError("no picture");
        t.advance(1);
        sheet->complete(std::nullopt, false);
        t.advance(1);
        t.window->snapshot();
        state.ResumeTiming();
    }
    state.counters["tap_cpu_ms"] = Percentile(taps, 0.5);
    state.counters["frame_cpu_ms"] = Percentile(frames, 0.5);
    state.counters["arrival_cpu_ms"] = Percentile(arrivals, 0.5);
    state.counters["offered_cpu_ms"] = Percentile(offers, 0.5);
    state.counters["picture_ms"] = Percentile(pictures, 0.5);
    state.counters["still_frame_cpu_ms"] = Percentile(still, 0.5);
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

// 0: the sample.
BENCHMARK(BM_ShareTap)->Arg(0)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
