// Charts laid out and drawn on a 1024 x 768-point tablet screen at scale 2:
// a line chart of 1,000 points with circle markers, a value label at every
// point, axes and grid lines, and a bar chart of 200 bars with their
// numbers, x labels and border. Three cases each: building the chart
// (labels, data, drawChart, the layout pass), building it and compositing
// its first frame (every raster made), and compositing a frame of a chart
// already drawn. The baselines draw the same lines, markers, bars and
// texts straight into the context.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Screen.h"
#include "widgets/Charts/GRBarChart.h"
#include "widgets/Charts/GRLineChart.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kWidth = 1024;
constexpr double kHeight = 768;
constexpr double kScale = 2;
constexpr int kPoints = 1000;
constexpr int kBars = 200;

std::unique_ptr<platform::BitmapContext> makeScreen() {
    return platform::BitmapContext::create(static_cast<int>(kWidth * kScale), static_cast<int>(kHeight * kScale),
                                           kScale);
}

double pointValue(int i) { return 50 + 40 * std::sin(i / 25.0) + (i % 7); }
double barValue(int i) { return 10 + (i * 37) % 90; }

std::shared_ptr<GRLineChartData> makeLine() {
    auto line = GRLineChartData::make();
    line->itemCount = kPoints;
    line->getData = [](std::size_t i) { return GRLineChartDataItem::dataItemWithY(pointValue(static_cast<int>(i))); };
    line->inflexionPointStyle = GRLineChartPointStyleCircle;
    line->inflexionPointWidth = 4;
    line->showPointLabel = true;
    line->pointLabelFont = platform::ui::Font::systemFont(8);
    line->color = platform::Color{0.1, 0.3, 0.8, 1};
    return line;
}

std::shared_ptr<GRLineChart> makeLineChart() {
    auto chart = std::make_shared<GRLineChart>(platform::Rect{0, 0, kWidth, kHeight});
    chart->setDisplayAnimated(false);
    chart->setShowYGridLines(true);
    chart->setShowCoordinateAxis(true);
    chart->setXLabels(std::vector<std::string>(kPoints, ""));
    chart->setChartData({makeLine()});
    chart->drawChart();
    chart->layoutIfNeeded();
    return chart;
}

std::vector<double> barValues() {
    std::vector<double> values;
    for (int i = 0; i < kBars; ++i) values.push_back(barValue(i));
    return values;
}

std::shared_ptr<GRBarChart> makeBarChart() {
    std::vector<std::string> xLabels;
    for (int i = 0; i < kBars; ++i) xLabels.push_back(std::to_string(i + 1));
    auto chart = std::make_shared<GRBarChart>(platform::Rect{0, 0, kWidth, kHeight});
    chart->setDisplayAnimated(false);
    chart->setShowChartBorder(true);
    chart->setXLabels(xLabels);
    chart->setYValues(barValues());
    chart->drawChart();
    chart->layoutIfNeeded();
    return chart;
}

void compose(platform::ui::View& chart, platform::BitmapContext& screen) {
    platform::ui::renderLayerTree(*chart.layer(), screen, {platform::ui::currentMediaTime(), kScale});
    benchmark::DoNotOptimize(screen.pixel(0, 0));
}

// Building the chart's layers and label views, without compositing.
template <typename Make>
void layoutOnly(benchmark::State& state, Make make) {
    platform::ui::Screen::mainScreen()->setScale(kScale);
    for (auto _ : state) {
        auto chart = make();
        benchmark::DoNotOptimize(chart.get());
        state.PauseTiming();
        chart.reset();  // tearing the tree down is not timed
        state.ResumeTiming();
    }
}

// Building, then the first frame: every raster made.
template <typename Make>
void layoutAndFirstFrame(benchmark::State& state, Make make) {
    platform::ui::Screen::mainScreen()->setScale(kScale);
    auto screen = makeScreen();
    for (auto _ : state) {
        auto chart = make();
        compose(*chart, *screen);
        state.PauseTiming();
        chart.reset();
        state.ResumeTiming();
    }
}

// A frame of a chart already drawn: kept rasters.
template <typename Make>
void steadyFrame(benchmark::State& state, Make make) {
    platform::ui::Screen::mainScreen()->setScale(kScale);
    auto screen = makeScreen();
    auto chart = make();
    compose(*chart, *screen);
    for (auto _ : state) compose(*chart, *screen);
}

void BM_LineChart1000Points_Layout(benchmark::State& state) { layoutOnly(state, makeLineChart); }
BENCHMARK(BM_LineChart1000Points_Layout)->Unit(benchmark::kMillisecond);
void BM_LineChart1000Points_LayoutAndFirstFrame(benchmark::State& state) { layoutAndFirstFrame(state, makeLineChart); }
BENCHMARK(BM_LineChart1000Points_LayoutAndFirstFrame)->Unit(benchmark::kMillisecond);
void BM_LineChart1000Points_SteadyFrame(benchmark::State& state) { steadyFrame(state, makeLineChart); }
BENCHMARK(BM_LineChart1000Points_SteadyFrame)->Unit(benchmark::kMillisecond);

void BM_LineChart1000Points_Baseline(benchmark::State& state) {
    auto screen = makeScreen();
    const auto attributes = platform::ui::Font::systemFont(8).textAttributes({0, 0, 0, 1});
    const double slot = (kWidth - 50) / kPoints;
    for (auto _ : state) {
        screen->setFillColor({1, 1, 1, 1});
        screen->fillRect({0, 0, kWidth, kHeight});
        screen->setStrokeColor({0.1, 0.3, 0.8, 1});
        screen->setLineWidth(2);
        screen->beginPath();
        for (int i = 0; i < kPoints; ++i) {
            const platform::Point p{25 + i * slot + slot / 2, 700 - 6 * pointValue(i)};
            if (i == 0) {
                screen->moveTo(p);
            } else {
                screen->lineTo(p);
            }
        }
        screen->stroke();
        char text[16];
        for (int i = 0; i < kPoints; ++i) {
            const platform::Point p{25 + i * slot + slot / 2, 700 - 6 * pointValue(i)};
            screen->beginPath();
            screen->addArc(p, 2, 0, 2 * std::numbers::pi, true);
            screen->stroke();
            std::snprintf(text, sizeof text, "%1.f", pointValue(i));
            screen->drawText(text, {p.x - 8, p.y - 12}, attributes);
        }
        benchmark::DoNotOptimize(screen->pixel(0, 0));
    }
}
BENCHMARK(BM_LineChart1000Points_Baseline)->Unit(benchmark::kMillisecond);

void BM_BarChart200Bars_Layout(benchmark::State& state) { layoutOnly(state, makeBarChart); }
BENCHMARK(BM_BarChart200Bars_Layout)->Unit(benchmark::kMillisecond);
void BM_BarChart200Bars_LayoutAndFirstFrame(benchmark::State& state) { layoutAndFirstFrame(state, makeBarChart); }
BENCHMARK(BM_BarChart200Bars_LayoutAndFirstFrame)->Unit(benchmark::kMillisecond);
void BM_BarChart200Bars_SteadyFrame(benchmark::State& state) { steadyFrame(state, makeBarChart); }
BENCHMARK(BM_BarChart200Bars_SteadyFrame)->Unit(benchmark::kMillisecond);

void BM_BarChart200Bars_Baseline(benchmark::State& state) {
    auto screen = makeScreen();
    const auto numbers = platform::ui::Font::systemFont(18).textAttributes({0, 0, 0, 1});
    const auto labels = platform::ui::Font::boldSystemFont(11).textAttributes({0.5, 0.5, 0.5, 1});
    const double slot = (kWidth - 50) / kBars;
    for (auto _ : state) {
        screen->setFillColor({1, 1, 1, 1});
        screen->fillRect({0, 0, kWidth, kHeight});
        for (int i = 0; i < kBars; ++i) {
            const platform::Rect bar{25 + i * slot + slot / 4, 50, slot / 2, 698};
            const double height = bar.height * barValue(i) / 100;
            screen->setFillColor({225 / 255.0, 225 / 255.0, 225 / 255.0, 1});
            screen->addRoundedRect(bar, 2);
            screen->fill();
            screen->setFillColor({77 / 255.0, 186 / 255.0, 122 / 255.0, 1});
            screen->fillRect({bar.x, bar.maxY() - height, bar.width, height});
            screen->drawText(std::to_string(static_cast<int>(barValue(i))), {bar.x, bar.maxY() - height - 22}, numbers);
            screen->drawText(std::to_string(i + 1), {bar.x, 750}, labels);
        }
        benchmark::DoNotOptimize(screen->pixel(0, 0));
    }
}
BENCHMARK(BM_BarChart200Bars_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
