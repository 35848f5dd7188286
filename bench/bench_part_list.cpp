// The part list tab of a layout of 2,400 distinct parts (1,200 straights
// and 1,200 curves of their own lengths and radii, turned every way), in a
// phone window of 390 x 844 points at scale 3 on a virtual clock. Each
// frame scrolls the table one screen further (back to the top at the end)
// and composites the window: every row in view is new, so each cell is
// filled afresh with its part's picture, drawn from a copy of the part.
// The baseline composites the same window with nothing scrolled. The
// counters "worst_ms" and "p99_ms" are the slowest frame after the first
// and the 99th percentile of those frames.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LayoutModule/PartList/VKMPartListViewController.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "bench/BenchSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/Window.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

namespace {

using platform::ui::TableView;
using platform::ui::Window;

constexpr double kWidth = 390;
constexpr double kHeight = 844;
constexpr double kScale = 3;
constexpr int kPairs = 1200;

std::string PartsScenario() {
    std::string text = "version 13\nlayer \"Tracks\"\n";
    char line[160];
    for (int i = 0; i < kPairs; ++i) {
        std::snprintf(line, sizeof line, "straight length=%.1f at=0,%d angle=%d product=S%04d maker=Vekmo\n",
                      60 + i * 0.25, i * 40, (i * 37) % 360, i);
        text += line;
        std::snprintf(line, sizeof line, "curve radius=%.1f sweep=%d product=R%04d maker=Vekmo\n", 200 + i * 0.5,
                      15 + i % 30, i);
        text += line;
    }
    return text;
}

bool OpenParts() {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    if (!ULayoutGen::ParseLayoutScenario(PartsScenario(), document, summary, error)) return false;
    const std::filesystem::path path = platform::Paths::tmp() / "parts.wkst";
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent())) return false;
    return VKMLayoutDocumentHelper::loadLayoutFile(path.string());
}

struct PartsTab {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scoped{clock};
    std::shared_ptr<Window> window;
    std::shared_ptr<VKMPartListViewController> parts;
    std::shared_ptr<TableView> table;
    std::unique_ptr<platform::BitmapContext> screen;
    int frame = 0;

    PartsTab() {
        platform::ui::Device::currentDevice().setUserInterfaceIdiom(platform::ui::UserInterfaceIdiom::phone);
        platform::ui::Screen::mainScreen()->setSize({kWidth, kHeight});
        platform::ui::Screen::mainScreen()->setScale(kScale);
        window = std::make_shared<Window>(platform::Rect{0, 0, kWidth, kHeight});
        parts = std::static_pointer_cast<VKMPartListViewController>(VKMPartListViewController::makeScene());
        window->setRootViewController(parts);
        window->makeKeyAndVisible();
        table = parts->outlets.partsTableView.lock();
        screen = platform::BitmapContext::create(static_cast<int>(kWidth * kScale), static_cast<int>(kHeight * kScale),
                                                 kScale);
        draw();
    }

    void draw() {
        window->layoutIfNeeded();
        platform::ui::renderLayerTree(*window->layer(), *screen, {frame / 60.0, kScale});
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(1.0 / 60)));
        ++frame;
    }
};

PartsTab& Tab() {
    static PartsTab* tab = [] {
        SetUpBenchEngine("bench_part_list");
        // As in the app: the pictures' painting adds to the counters.
        EnablePerformanceCounters();
        auto* made = new PartsTab();
        if (!OpenParts()) std::fprintf(stderr, "the part layout could not be opened\n");
        made->parts->refreshPartListAndTable();
        made->draw();
        return made;
    }();
    return *tab;
}

void Measure(benchmark::State& state, bool scroll) {
    PartsTab& tab = Tab();
    std::vector<double> frames;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (scroll) {
            double y = tab.table->contentOffset().y + tab.table->bounds().height;
            if (y > tab.table->maximumContentOffset().y) y = 0;
            tab.table->setContentOffset({0, y});
        }
        tab.draw();
        frames.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    // After the first frame: the slowest, and the 99th percentile, which a
    // busy machine's odd preemption does not move.
    if (frames.size() > 1) frames.erase(frames.begin());
    std::sort(frames.begin(), frames.end());
    state.counters["worst_ms"] = frames.empty() ? 0 : frames.back();
    state.counters["p99_ms"] = frames.empty() ? 0 : frames[frames.size() * 99 / 100];
    state.counters["rows"] = tab.table->numberOfRowsInSection(0);
}

void BM_PartListScrollScreenPerFrame(benchmark::State& state) { Measure(state, true); }
BENCHMARK(BM_PartListScrollScreenPerFrame)->Unit(benchmark::kMillisecond);

void BM_PartListSteadyFrame_Baseline(benchmark::State& state) { Measure(state, false); }
BENCHMARK(BM_PartListSteadyFrame_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
