// The layout screen at work: a generated layout of 10,000 elements (the mix
// of bench_layout_load) opened in the layout screen of a tablet window of
// 1366 x 1024 points at scale 2 (2732 x 2048 pixels), fitted as on a load
// (and the 4K cases below).
//
//   BM_PanFrame       one frame of a pan: the content offset moves by a few
//                     points (to and fro), the view redraws from its cached
//                     render data and the window is composited (a snapshot).
//   BM_PinchFrame     one frame of a pinch: the zoom moves by a few percent
//                     about the middle of the view (to and fro), the same
//                     redraw and compositing.
//   BM_StillFrame     the baseline: the window composited with nothing
//                     changed (the view's kept raster copied).
//   BM_PaintLayout    the baseline of drawing: the layout view's drawing
//                     pass straight into a bitmap of the window's pixels,
//                     with no view or compositing around it.
//   BM_HitTest        finding the element under a point (on an element, in
//                     the middle of the layout) with the screen's display
//                     edits, as a long press does (through the element
//                     boxes, made by the first search; bench_hit_test has
//                     them beside a look at every element).
//   BM_HitTestMiss    the same at a point where nothing lies.
//   (The hit tests run at 10,000 and 100,000 elements.)
//
// Frames as a user meets them, at 10,000 and 100,000 elements, paced at
// 60 frames a second (the rest of each 16.7 ms slept, as the display waits):
// a frame's time is all the main thread does for it, the blocks posted to
// it since the last frame (placing tiles the workers drew, layout passes)
// included. Counters: p50, p90, p99 of the frame times, the share of
// frames over 16.7 ms, and the share of frames that lacked visible tiles
// (showing the kept picture stretched, or the background, where they go).
//
//   BM_SustainedPan   one screen of movement over 120 frames and back,
//                     fitted (zoom 1) and at 4x the fitting zoom (zoom 4).
//   BM_PinchEnd       the frame that ends a pinch (ten frames of pinching
//                     in or out by up to 30 %, then the end), six pinches;
//                     p50 and the largest of the ending frames, and the
//                     share over 16.7 ms of the 30 frames after each end
//                     while its tiles arrive.
//   BM_PinchSharp     the time from the end of a pinch (the start of the
//                     frame that ends it) to the end of the first frame
//                     with no visible tile missing or stretched at the new
//                     zoom, over the same six pinches: p50 and the largest,
//                     and the frames it took. After each, the frames to
//                     the 30th after the end, as BM_PinchEnd.
//   BM_ZoomAtOnce     the baseline of the same run beside it: the same six
//                     changes of zoom set outright (as the zoom sheet or a
//                     double tap does), whose frame draws the visible tiles
//                     at once on the whole pool; p50 and the largest frame.
//   BM_StillFrameAt   the baseline beside them: the window composited
//                     with nothing changed, at the same size.
//
// The desktop's tablet window on a 3840 x 2160 display (820 x 1180 points
// at its fitted scale of 1.75, 1435 x 2065 pixels), at 100,000 elements:
//
//   BM_PinchSharp4K   BM_PinchSharp pinched from the fitting zoom, where
//                     every element is in view and most are a few pixels.
//   BM_ZoomAtOnce4K   its baseline, as BM_ZoomAtOnce.
//   BM_TilesAtDensity4K  the tiles that window shows fitted drawn at once
//                     at 100, 50 and 25 % of its pixels a point, with the
//                     processor time per drawing (cpu_ms): what a coarser
//                     first pass would save.

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "LayoutView/Drawing/VKMElementIndex.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/Window.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

using namespace platform::ui;

namespace {

constexpr std::size_t kElements = 10000;
constexpr platform::Size kPoints{1366, 1024};

// A window's screen: its points and pixels a point.
struct Display {
    platform::Size points;
    double scale;
    friend bool operator==(const Display&, const Display&) = default;
};
// The tablet of most cases, and the desktop's tablet window fitted to a
// 3840 x 2160 display (820 x 1180 points at 1.75: 1435 x 2065 pixels).
constexpr Display kTablet{kPoints, 2};
constexpr Display kTablet4K{{820, 1180}, 1.75};

struct Screen {
    Display display = kTablet;
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::unique_ptr<platform::ScopedClock> scoped;
    std::shared_ptr<Window> window;
    std::shared_ptr<VKMLayoutViewController> controller;

    void advance(double seconds) {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
};

void OpenDocument(Screen& s, std::size_t elements) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, elements, 20240601, 13);
    const auto path = platform::Paths::tmp() / ("screen-" + std::to_string(elements) + ".wkst");
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!VKMLayoutDocumentHelper::loadLayoutFile(path)) std::abort();
    s.advance(1);
    s.window->snapshot();
}

// Puts the window on `display`, as a desktop window opened there would be.
void UseDisplay(Screen& s, const Display& display) {
    if (s.display == display) return;
    s.display = display;
    s.window->setScreen(std::make_shared<platform::ui::Screen>(display.points, display.scale));
    s.window->transitionToSize(display.points, 0);
    s.advance(0.1);
    s.window->snapshot();
}

Screen& OpenScreen(std::size_t elements = kElements, const Display& display = kTablet) {
    static std::size_t opened = kElements;
    static Screen* screen = [] {
        SetUpBenchEngine("vekmont-bench-layout-screen");
        EnablePerformanceCounters();
        auto* s = new Screen();
        s->scoped = std::make_unique<platform::ScopedClock>(s->clock);
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::tablet);
        platform::ui::Screen::mainScreen()->setSize(kPoints);
        platform::ui::Screen::mainScreen()->setScale(2);
        VKMLayoutScenes::registerScenes();
        s->controller =
            Storyboard(VKMLayoutScenes::kStoryboard)
                .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
        s->window = std::make_shared<Window>(platform::Rect{0, 0, kPoints.width, kPoints.height});
        s->window->setRootViewController(s->controller);
        s->window->makeKeyAndVisible();
        s->advance(0.1);

        OpenDocument(*s, kElements);
        return s;
    }();
    UseDisplay(*screen, display);
    if (opened != elements) {
        OpenDocument(*screen, elements);
        opened = elements;
    }
    return *screen;
}

// Frames whose layout pass lacked visible tiles (showing the kept picture
// stretched or the background where they go).
int gUnsharp = 0;

using FrameClock = std::chrono::steady_clock;
constexpr auto kFramePeriod = std::chrono::microseconds(16667);
// When the last paced frame's work ended.
FrameClock::time_point gFrameEnd;

// Runs what was posted to the main thread since the last frame (tiles to
// place, layout passes), then the frame's own change and the compositing;
// sleeps out the rest of the frame period. The frame's time in ms.
template <typename Change>
double PacedFrame(Screen& screen, Change&& change) {
    const auto start = FrameClock::now();
    platform::RunLoop::main()->runUntil([] { return false; }, platform::Clock::Duration::zero());
    change();
    benchmark::DoNotOptimize(screen.window->snapshot());
    const auto end = FrameClock::now();
    gFrameEnd = end;
    if (const auto view = screen.controller->outlets.layoutView.lock(); view && view->missingTiles() > 0) ++gUnsharp;
    std::this_thread::sleep_until(start + kFramePeriod);
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Percentile(std::vector<double> times, double share) {
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(times.size() - 1) + 0.5);
    return times[std::min(index, times.size() - 1)];
}

void ReportFrames(benchmark::State& state, const std::vector<double>& times) {
    state.counters["p50_ms"] = Percentile(times, 0.5);
    state.counters["p90_ms"] = Percentile(times, 0.9);
    state.counters["p99_ms"] = Percentile(times, 0.99);
    const auto over = std::count_if(times.begin(), times.end(), [](double t) { return t > 16.7; });
    state.counters["over16.7_pct"] = 100.0 * static_cast<double>(over) / static_cast<double>(times.size());
    state.counters["frames"] = static_cast<double>(times.size());
    state.counters["unsharp_pct"] = 100.0 * gUnsharp / static_cast<double>(times.size());
}

// The screen at `zoomTimesFitted` x the fitting zoom, centred as a load
// leaves it, with every tile placed.
VKMLayoutViewController& Settle(Screen& screen, double zoomTimesFitted) {
    VKMLayoutViewController& controller = *screen.controller;
    const double fitted = controller.fittingZoomFactor();
    const platform::Size points = screen.display.points;
    controller.setTouchDownLocation({points.width / 2, points.height / 2});
    controller.changeZoomTo(fitted);
    controller.zoomToFitIntoBounds();
    controller.changeZoomTo(fitted * zoomTimesFitted);
    screen.window->snapshot();
    const auto view = controller.outlets.layoutView.lock();
    view->waitForTiles();
    screen.window->snapshot();
    return controller;
}

void BM_SustainedPan(benchmark::State& state) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)));
    VKMLayoutViewController& controller = Settle(screen, static_cast<double>(state.range(1)));
    std::vector<double> times;
    gUnsharp = 0;
    for (auto _ : state) {
        controller.setTouchDownContentOffset(controller.contentOffset());
        for (int frame = 1; frame <= 240; ++frame) {
            const double travelled = (frame <= 120 ? frame : 240 - frame) / 120.0;
            times.push_back(PacedFrame(screen, [&] {
                controller.panContentWithDelta({-screen.display.points.width * travelled, 0});
            }));
        }
    }
    ReportFrames(state, times);
}

// Six pinches, starting at 2x the fitting zoom: ten frames in or out about a point
// beside the middle; `ended` makes the frame that ends the pinch.
template <typename Ended>
void SixPinches(Screen& screen, VKMLayoutViewController& controller, Ended&& ended) {
    const auto view = controller.outlets.layoutView.lock();
    for (int pinch = 0; pinch < 6; ++pinch) {
        const double direction = pinch % 2 == 0 ? 1 : -1;
        controller.setTouchDownScale(CCurrentCloudLayout::Instance().Layout()->GetZoom());
        const platform::Size points = screen.display.points;
        controller.setTouchDownLocation({points.width / 2 + 100 * direction, points.height / 2});
        PacedFrame(screen, [&] { view->setInteractiveZoom(true); });
        for (int frame = 1; frame <= 10; ++frame) {
            const double scale = direction > 0 ? 1 + 0.03 * frame : 1 - 0.023 * frame;
            PacedFrame(screen, [&] { controller.zoomContentWithPinchScale(scale); });
        }
        ended();
    }
}

void BM_PinchEnd(benchmark::State& state) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)));
    VKMLayoutViewController& controller = Settle(screen, 2);
    const auto view = controller.outlets.layoutView.lock();
    std::vector<double> ends;
    std::vector<double> after;
    int unsharp = 0;
    for (auto _ : state) {
        SixPinches(screen, controller, [&] {
            ends.push_back(PacedFrame(screen, [&] { view->setInteractiveZoom(false); }));
            gUnsharp = 0;
            for (int frame = 0; frame < 30; ++frame) after.push_back(PacedFrame(screen, [] {}));
            unsharp += gUnsharp;
        });
    }
    state.counters["end_p50_ms"] = Percentile(ends, 0.5);
    state.counters["end_max_ms"] = Percentile(ends, 1.0);
    const auto over = std::count_if(after.begin(), after.end(), [](double t) { return t > 16.7; });
    state.counters["after_over16.7_pct"] = 100.0 * static_cast<double>(over) / static_cast<double>(after.size());
    state.counters["after_p99_ms"] = Percentile(after, 0.99);
    state.counters["after_unsharp_pct"] = 100.0 * unsharp / static_cast<double>(after.size());
}

void PinchSharp(benchmark::State& state, const Display& display, double zoomTimesFitted) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)), display);
    VKMLayoutViewController& controller = Settle(screen, zoomTimesFitted);
    const auto view = controller.outlets.layoutView.lock();
    std::vector<double> sharp;
    std::vector<double> frames;
    for (auto _ : state) {
        SixPinches(screen, controller, [&] {
            const auto start = FrameClock::now();
            PacedFrame(screen, [&] { view->setInteractiveZoom(false); });
            int frame = 1;
            // At most 5 s.
            for (; view->missingTiles() > 0 && frame < 300; ++frame) PacedFrame(screen, [] {});
            sharp.push_back(std::chrono::duration<double, std::milli>(gFrameEnd - start).count());
            frames.push_back(frame);
            for (; frame < 31; ++frame) PacedFrame(screen, [] {});
        });
    }
    state.counters["sharp_p50_ms"] = Percentile(sharp, 0.5);
    state.counters["sharp_max_ms"] = Percentile(sharp, 1.0);
    state.counters["sharp_frames_p50"] = Percentile(frames, 0.5);
}

void ZoomAtOnce(benchmark::State& state, const Display& display, double zoomTimesFitted) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)), display);
    VKMLayoutViewController& controller = Settle(screen, zoomTimesFitted);
    std::vector<double> times;
    for (auto _ : state) {
        for (int change = 0; change < 6; ++change) {
            const double direction = change % 2 == 0 ? 1 : -1;
            const double zoom = CCurrentCloudLayout::Instance().Layout()->GetZoom();
            const platform::Size points = screen.display.points;
            controller.setTouchDownLocation({points.width / 2 + 100 * direction, points.height / 2});
            times.push_back(PacedFrame(
                screen, [&] { controller.changeZoomTo(zoom * (direction > 0 ? 1 + 0.03 * 10 : 1 - 0.023 * 10)); }));
            for (int frame = 1; frame < 31; ++frame) PacedFrame(screen, [] {});
        }
    }
    state.counters["frame_p50_ms"] = Percentile(times, 0.5);
    state.counters["frame_max_ms"] = Percentile(times, 1.0);
}

void BM_PinchSharp(benchmark::State& state) { PinchSharp(state, kTablet, 2); }
void BM_ZoomAtOnce(benchmark::State& state) { ZoomAtOnce(state, kTablet, 2); }
// The desktop's tablet window on a 4K display, pinched from the fitting
// zoom, where every element is in view and most are a few pixels.
void BM_PinchSharp4K(benchmark::State& state) { PinchSharp(state, kTablet4K, 1); }
void BM_ZoomAtOnce4K(benchmark::State& state) { ZoomAtOnce(state, kTablet4K, 1); }

void BM_StillFrameAt(benchmark::State& state) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)));
    Settle(screen, 1);
    std::vector<double> times;
    gUnsharp = 0;
    for (auto _ : state) {
        for (int frame = 0; frame < 60; ++frame) times.push_back(PacedFrame(screen, [] {}));
    }
    ReportFrames(state, times);
}

void ReportPixels(benchmark::State& state, const std::shared_ptr<platform::Image>& image) {
    if (!image || image->pixelWidth() != 2732 || image->pixelHeight() != 2048) state.SkipWithError("wrong snapshot");
}

void BM_PanFrame(benchmark::State& state) {
    Screen& screen = OpenScreen();
    VKMLayoutViewController& controller = *screen.controller;
    controller.setTouchDownContentOffset(controller.contentOffset());
    int frame = 0;
    std::shared_ptr<platform::Image> shot;
    for (auto _ : state) {
        const double step = (frame++ % 20 < 10) ? frame % 10 : 10 - frame % 10;
        controller.panContentWithDelta({-8.0 * step, -6.0 * step});
        shot = screen.window->snapshot();
    }
    ReportPixels(state, shot);
}

void BM_PinchFrame(benchmark::State& state) {
    Screen& screen = OpenScreen();
    VKMLayoutViewController& controller = *screen.controller;
    const double fitted = screen.controller->fittingZoomFactor();
    controller.setTouchDownScale(fitted);
    controller.setTouchDownLocation({kPoints.width / 2, kPoints.height / 2});
    // As between the began and ended states of a pinch.
    const auto view = controller.outlets.layoutView.lock();
    view->setInteractiveZoom(true);
    int frame = 0;
    std::shared_ptr<platform::Image> shot;
    for (auto _ : state) {
        const int step = frame++ % 20;
        controller.zoomContentWithPinchScale(1.0 + 0.03 * (step < 10 ? step : 20 - step));
        shot = screen.window->snapshot();
    }
    view->setInteractiveZoom(false);
    controller.changeZoomTo(fitted);
    screen.window->snapshot();
    ReportPixels(state, shot);
}

void BM_StillFrame(benchmark::State& state) {
    Screen& screen = OpenScreen();
    std::shared_ptr<platform::Image> shot;
    for (auto _ : state) shot = screen.window->snapshot();
    ReportPixels(state, shot);
}

void BM_PaintLayout(benchmark::State& state) {
    Screen& screen = OpenScreen();
    const auto view = screen.controller->outlets.layoutView.lock();
    auto bitmap = platform::BitmapContext::createForPointSize(kPoints, 2);
    for (auto _ : state) {
        VKMLayoutView::drawLayout(*bitmap, {0, 0, kPoints.width, kPoints.height},
                                  CCurrentCloudLayout::Instance().Layout(), view->renderData().get(),
                                  screen.controller->contentOffset());
    }
}

// The tiles the 4K tablet window shows at the fitting zoom, drawn at once on
// the pool with the caller taking its share, at `density` percent of the
// screen's pixels a point; the counter is the process's processor time per
// drawing, which load changes less than the real time.
void BM_TilesAtDensity4K(benchmark::State& state) {
    Screen& screen = OpenScreen(100000, kTablet4K);
    VKMLayoutViewController& controller = Settle(screen, 1);
    const auto view = controller.outlets.layoutView.lock();
    const VKMLayoutView::tDrawSettings settings =
        VKMLayoutView::drawSettingsOf(*CCurrentCloudLayout::Instance().Layout());
    const double scale = kTablet4K.scale * static_cast<double>(state.range(0)) / 100;
    const platform::Point offset = controller.contentOffset();
    const platform::Size points = kTablet4K.points;
    constexpr double side = VKMLayoutView::kTileSide;
    std::vector<std::pair<int, int>> tiles;
    for (int row = static_cast<int>(std::floor(-offset.y / side)); row * side < points.height - offset.y; ++row) {
        for (int column = static_cast<int>(std::floor(-offset.x / side)); column * side < points.width - offset.x;
             ++column) {
            tiles.emplace_back(column, row);
        }
    }
    const auto processorMs = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    const double before = processorMs();
    for (auto _ : state) {
        benchmark::DoNotOptimize(VKMLayoutView::drawTiles(settings, view->renderData().get(), tiles, scale));
    }
    state.counters["cpu_ms"] = (processorMs() - before) / static_cast<double>(state.iterations());
    state.counters["tiles"] = static_cast<double>(tiles.size());
}


void HitTestAt(benchmark::State& state, bool onElement) {
    Screen& screen = OpenScreen(static_cast<std::size_t>(state.range(0)));
    CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
    const tElements& elements = layout.GetElements();
    platform::Point point{-1e6, -1e6};
    if (onElement) {
        // Along the first track component of the element in the middle of
        // the list, where its centre line runs.
        CCompositeGeometry* element = elements[elements.size() / 2];
        const tDoubleRect box = UElementVectorOperations::GetBoundingBox({element});
        point = {(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2};
        for (int tries = 0; tries < 200; ++tries) {
            if (VKMLayoutElementHitTestHelper::findElementAtPosition(point, layout, {}) != nullptr) break;
            point.x = box.minX + (box.maxX - box.minX) * ((tries * 37) % 100) / 100.0;
            point.y = box.minY + (box.maxY - box.minY) * ((tries * 61) % 100) / 100.0;
        }
    }
    const tTransientEditActions actions = screen.controller->transientEditActions();
    // As a long press finds it: through the element boxes the screen keeps
    // (made by the first search).
    std::shared_ptr<const VKMElementIndex> index;
    bool found = false;
    for (auto _ : state) {
        found = VKMLayoutElementHitTestHelper::findElementAtPosition(point, layout, actions, index) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    if (found != onElement) state.SkipWithError("unexpected hit");
}

void BM_HitTest(benchmark::State& state) { HitTestAt(state, true); }
void BM_HitTestMiss(benchmark::State& state) { HitTestAt(state, false); }

}  // namespace

BENCHMARK(BM_PanFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PinchFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StillFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintLayout)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HitTest)->Arg(10000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HitTestMiss)->Arg(10000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Each run is one sequence of paced frames; the counters are per frame.
BENCHMARK(BM_StillFrameAt)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SustainedPan)
    ->Args({10000, 1})
    ->Args({10000, 4})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PinchEnd)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PinchSharp)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomAtOnce)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StillFrameAt)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SustainedPan)
    ->Args({100000, 1})
    ->Args({100000, 4})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PinchEnd)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PinchSharp)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomAtOnce)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PinchSharp4K)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomAtOnce4K)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TilesAtDensity4K)->Arg(100)->Arg(50)->Arg(25)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HitTest)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HitTestMiss)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
