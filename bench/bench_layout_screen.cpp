// The layout screen at work: a generated layout of 10,000 elements (the mix
// of bench_layout_load) opened in the layout screen of a tablet window of
// 1366 x 1024 points at scale 2 (2732 x 2048 pixels), fitted as on a load.
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

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <filesystem>
#include <fstream>
#include <memory>

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
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/dispatch/Clock.h"
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

struct Screen {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::unique_ptr<platform::ScopedClock> scoped;
    std::shared_ptr<Window> window;
    std::shared_ptr<VKMLayoutViewController> controller;

    void advance(double seconds) {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
};

Screen& OpenScreen() {
    static Screen* screen = [] {
        SetUpBenchEngine("vekmont-bench-layout-screen");
        auto* counters = new QLPerformanceCountersService();
        counters->Enable();
        CServiceLocator::Instance().RegisterService(counters);
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

        ULayoutGen::tLayoutDocument document;
        ULayoutGen::ComposeLargeLayout(document, kElements, 20240601, 13);
        const auto path = platform::Paths::tmp() / "screen.wkst";
        const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!VKMLayoutDocumentHelper::loadLayoutFile(path)) std::abort();
        s->advance(1);
        s->window->snapshot();
        return s;
    }();
    return *screen;
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

void HitTestAt(benchmark::State& state, bool onElement) {
    Screen& screen = OpenScreen();
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
BENCHMARK(BM_HitTest)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HitTestMiss)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
