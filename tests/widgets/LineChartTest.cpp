// The line chart: key points, markers and segments as data, y and x
// labels, the value range through drawing and updating, colour bands,
// smoothed curves, animations on the virtual clock, touches, the legend,
// the dashed grid and axes, and a snapshot against lines drawn by hand.

#include "platform/foundation/Locale.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/MediaTime.h"
#include "tests/widgets/support/ChartTestSupport.h"
#include "widgets/Charts/GRLineChart.h"

#include <gtest/gtest.h>

#include <cmath>

using charttest::RecordingDelegate;
using charttest::Scene;
using platform::Color;
using platform::Path;
using platform::Point;
using platform::Rect;

namespace {

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};

std::shared_ptr<GRLineChartData> Line(std::vector<double> values, std::uint64_t style = GRLineChartPointStyleNone) {
    auto line = GRLineChartData::make();
    line->itemCount = values.size();
    line->getData = [values](std::size_t i) { return GRLineChartDataItem::dataItemWithY(values[i]); };
    line->inflexionPointStyle = style;
    line->color = kBlue;
    return line;
}

// 320 by 250 points, margins 25: a canvas of 270 by 200. The screen y of
// a value v in a range of 0 to 110 is 200 (1 - v / 110) - 5.5 + 25.
double ScreenY(double v) { return 200 * (1 - v / 110) + 19.5; }

std::shared_ptr<GRLineChart> Chart(GRLineChart::Lines lines, std::vector<std::string> xLabels,
                                   void (*setUp)(GRLineChart&) = nullptr) {
    auto chart = std::make_shared<GRLineChart>(Rect{0, 0, 320, 250});
    chart->setDisplayAnimated(false);
    if (setUp) setUp(*chart);
    chart->setXLabels(xLabels);
    chart->setChartData(std::move(lines));
    chart->drawChart();
    return chart;
}

std::vector<std::string> LineTexts(const std::vector<std::shared_ptr<GRChartLabel>>& labels) {
    std::vector<std::string> texts;
    for (const auto& label : labels) texts.push_back(label->text());
    return texts;
}

void ExpectNear(Point p, double x, double y, const char* what) {
    EXPECT_NEAR(p.x, x, 1e-4) << what;
    EXPECT_NEAR(p.y, y, 1e-4) << what;
}

}  // namespace

TEST(LineChart, KeyPointsSitInTheirSlotsAtTheirValues) {
    auto chart = Chart({Line({0, 50, 100})}, {"Mo", "Tu", "We"});
    EXPECT_DOUBLE_EQ(chart->xLabelWidth(), 90);
    EXPECT_DOUBLE_EQ(chart->yValueMin(), 0);
    EXPECT_NEAR(chart->yValueMax(), 110, 1e-9);
    const auto& points = chart->pathPoints()[0];
    ASSERT_EQ(points.size(), 3u);
    ExpectNear(points[0], 70, ScreenY(0), "first");
    ExpectNear(points[1], 160, ScreenY(50), "second");
    ExpectNear(points[2], 250, ScreenY(100), "third");
    // Without markers each segment runs from point to point.
    const auto& ends = chart->endPointsOfPath()[0];
    ASSERT_EQ(ends.size(), 4u);
    ExpectNear(ends[0], 70, ScreenY(0), "segment 1 from");
    ExpectNear(ends[3], 250, ScreenY(100), "segment 2 to");
    ASSERT_EQ(chart->chartLineArray()[0].size(), 2u);
    EXPECT_EQ(chart->chartLineArray()[0][1]->strokeColor(), kBlue);
    EXPECT_EQ(chart->chartLineArray()[0][1]->strokeEnd(), 1) << "drawn at once without animation";

    EXPECT_EQ(LineTexts(chart->yChartLabels()), (std::vector<std::string>{"0", "22", "44", "66", "88", "110"}));
    EXPECT_EQ(chart->yChartLabels()[0]->frame(), (Rect{0, 225, 22.5, 11}));
    EXPECT_EQ(chart->yChartLabels()[1]->frame(), (Rect{0, 185, 22.5, 11}));
    EXPECT_EQ(LineTexts(chart->xChartLabels()), (std::vector<std::string>{"Mo", "Tu", "We"}));
    EXPECT_EQ(chart->xChartLabels()[1]->frame(), (Rect{115, 225, 90, 25}));
}

TEST(LineChart, MarkersKeepSegmentsClearOfTheirCentres) {
    struct Case {
        const char* name;
        std::uint64_t style;
        double gap;  // from each key point to the segment's end
    } cases[] = {{"circle", GRLineChartPointStyleCircle, 3}, {"triangle", GRLineChartPointStyleTriangle, 3 / 1.4}};
    for (const auto& c : cases) {
        auto chart = Chart({Line({0, 100}, c.style)}, {"A", "B"});
        const auto& points = chart->pathPoints()[0];
        const auto& ends = chart->endPointsOfPath()[0];
        ASSERT_EQ(ends.size(), 2u) << c.name;
        EXPECT_NEAR(std::hypot(ends[0].x - points[0].x, ends[0].y - points[0].y), c.gap, 1e-4) << c.name;
        EXPECT_NEAR(std::hypot(ends[1].x - points[1].x, ends[1].y - points[1].y), c.gap, 1e-4) << c.name;
        EXPECT_FALSE(chart->pointPath()[0].isEmpty()) << c.name;
    }
    // Squares cut the segment at their sides.
    auto square = Chart({Line({0, 100}, GRLineChartPointStyleSquare)}, {"A", "B"});
    const auto& points = square->pathPoints()[0];
    EXPECT_NEAR(square->endPointsOfPath()[0][0].x, points[0].x + 3, 1e-4);
    EXPECT_NEAR(square->endPointsOfPath()[0][1].x, points[1].x - 3, 1e-4);
    // The marker layer takes the default green without a marker colour.
    EXPECT_EQ(square->chartPointArray()[0]->strokeColor(), (Color{77 / 255.0, 186 / 255.0, 122 / 255.0, 1}));

    // Point labels over circles show the raw value in the line's format.
    auto labelled = Chart({Line({12, 100}, GRLineChartPointStyleCircle)}, {"A", "B"}, nullptr);
    auto line = labelled->chartData()[0];
    line->showPointLabel = true;
    line->pointLabelFormat = "%.1f";
    labelled->drawChart();
    const auto& labels = labelled->gradeStringPaths()[0];
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0]->string(), "12.0");
    EXPECT_EQ(labels[0]->superlayer(), labelled->layer());
    EXPECT_EQ(labels[0]->frame().width, 48);
}

TEST(LineChart, EqualValuesAndEmptyChartsDrawAtMidHeight) {
    auto flat = Chart({Line({0, 0, 0})}, {"A", "B", "C"});
    EXPECT_EQ(LineTexts(flat->yChartLabels()), (std::vector<std::string>{"0", "0", "0"}));
    for (const auto& p : flat->pathPoints()[0]) EXPECT_NEAR(p.y, 100 - 5.5 + 25, 1e-9);

    // No labels and no points: an empty chart with finite geometry.
    auto empty = Chart({Line({})}, {});
    EXPECT_EQ(empty->xLabelWidth(), 0);
    EXPECT_TRUE(empty->pathPoints()[0].empty());
    EXPECT_EQ(empty->yValueMin(), 0);
    for (const auto& text : LineTexts(empty->yChartLabels())) EXPECT_EQ(text, "0");
    auto none = Chart({}, {"A"});
    EXPECT_EQ(none->getLegendWithMaxWidth(200), nullptr);
    none->setYLabels(std::vector<std::string>{});
    EXPECT_TRUE(none->yChartLabels().empty());

    // Without labels: no x labels, generated y labels still; canvas 250 - 22.
    auto bare = Chart({Line({1, 2})}, {"A", "B"}, [](GRLineChart& c) { c.setShowLabel(false); });
    EXPECT_TRUE(bare->xChartLabels().empty());
    EXPECT_EQ(bare->yChartLabels().size(), 6u);
    EXPECT_EQ(bare->chartCanvasHeight(), 228);
}

TEST(LineChart, RangeKeptByDrawingAndWidenedByUpdates) {
    auto chart = Chart({Line({0, 50, 100})}, {"A", "B", "C"});
    // Drawing again with larger values keeps the scale.
    chart->setChartData({Line({0, 150, 200})});
    chart->drawChart();
    EXPECT_NEAR(chart->yValueMax(), 110, 1e-9);
    // An update whose values fit keeps it too, and animates the segments.
    chart->updateChartData({Line({10, 20, 30})});
    EXPECT_NEAR(chart->yValueMax(), 110, 1e-9);
    const auto segment = chart->chartLineArray()[0][0];
    ASSERT_NE(segment->animationForKey("animationKey"), nullptr);
    EXPECT_EQ(segment->path(), chart->chartPath()[0][0]);
    // One that would leave the chart takes a new range and new labels.
    chart->updateChartData({Line({0, 100, 200})});
    EXPECT_NEAR(chart->yValueMax(), 220, 1e-4);
    EXPECT_EQ(chart->yChartLabels().back()->text(), "220");
    EXPECT_NEAR(chart->pathPoints()[0][2].y, 25 - 5.5 + 200 * (1 - 200 / 220.0), 1e-4);
    EXPECT_EQ(chart->chartLineArray()[0][0], segment) << "the same layers move";
    // Fixed ends stay fixed.
    auto fixed = Chart({Line({0, 50})}, {"A", "B"}, [](GRLineChart& c) { c.setYFixedValueMax(100); });
    fixed->updateChartData({Line({0, 500})});
    EXPECT_EQ(fixed->yValueMax(), 100);
}

TEST(LineChart, LabelFormats) {
    auto chart = Chart({Line({0, 12345})}, {"A", "B"});
    EXPECT_EQ(chart->formatYLabel(12345.4), "12345");
    EXPECT_TRUE(chart->setYLabelFormat("%.1f kg"));
    EXPECT_EQ(chart->formatYLabel(2.25), "2.2 kg");
    EXPECT_FALSE(chart->setYLabelFormat("%s"));
    EXPECT_EQ(chart->formatYLabel(2.25), "2.2 kg");
    chart->setThousandsSeparator(true);
    platform::Locale::setCurrent("en_US");
    EXPECT_EQ(chart->formatYLabel(12345), "12,345");
    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(chart->formatYLabel(12345), "12.345");
    chart->setYLabelBlockFormatter([](double v) { return std::to_string(static_cast<int>(v)) + "!"; });
    EXPECT_EQ(chart->formatYLabel(7), "7!");
}

TEST(LineChart, ColourBandsCutSegmentsIntoPieces) {
    // Values 40 to 60 in red.
    auto make = [](std::vector<double> values) {
        auto line = Line(std::move(values));
        line->rangeColors = {GRLineChartColorRange({40, 20}, kRed)};
        return line;
    };
    auto chart = Chart({make({100, 0})}, {"A", "B"});
    const auto& colors = chart->progressLinePathsColors()[0];
    ASSERT_EQ(colors, (std::vector<Color>{kBlue, kRed, kBlue}));
    const auto& paths = chart->chartPath()[0];
    const double top = ScreenY(60);
    const double bottom = ScreenY(40);
    EXPECT_NEAR(paths[0].elements()[1].points[0].y, top - 0.001, 1e-9) << "joins lie just outside the band";
    EXPECT_NEAR(paths[1].elements()[0].points[0].y, top - 0.001, 1e-9);
    EXPECT_NEAR(paths[1].elements()[1].points[0].y, bottom, 1e-9);
    EXPECT_NEAR(paths[2].elements()[0].points[0].y, bottom + 0.001, 1e-9);
    // Every piece lies on the segment.
    const Point p1 = chart->pathPoints()[0][0];
    const Point p2 = chart->pathPoints()[0][1];
    const Point cut = paths[1].elements()[1].points[0];
    EXPECT_NEAR((cut.x - p1.x) * (p2.y - p1.y) - (cut.y - p1.y) * (p2.x - p1.x), 0, 1e-6);

    const Point a{10, 10};
    const Point b{5, 200};
    const auto bands = chart->chartData()[0]->rangeColors;
    EXPECT_EQ(chart->colorRangesBetweenP1(a, b, bands, kBlue).size(), 1u) << "ending left of its start";
    EXPECT_EQ(chart->colorRangesBetweenP1(a, {20, 200}, {}, kBlue).size(), 1u) << "no bands";
    EXPECT_EQ(chart->colorRangesBetweenP1(a, {20, 20}, bands, kBlue)[0].color, kBlue) << "clear of the band";
}

TEST(LineChart, SmoothLinesCurveFromFourPoints) {
    auto smooth = [](GRLineChart& c) { c.setShowSmoothLines(true); };
    auto three = Chart({Line({0, 50, 100})}, {"A", "B", "C"}, smooth);
    EXPECT_EQ(three->chartPath()[0][0].elements()[1].type, Path::ElementType::lineTo);
    auto four = Chart({Line({0, 50, 100, 20})}, {"A", "B", "C", "D"}, smooth);
    const auto& elements = four->chartPath()[0][0].elements();
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[1].type, Path::ElementType::curveTo);
    // The curve passes through the segment's middle.
    const Point p = four->pathPoints()[0][0];
    const Point q = four->pathPoints()[0][1];
    ExpectNear(elements[1].points[2], (p.x + q.x) / 2, (p.y + q.y) / 2, "mid point");
    // The control point: the middle moved by the whole part of the rise.
    const Point control = GRLineChart::controlPointBetweenPoint1({0, 0}, {10, 9});
    EXPECT_EQ(control, (Point{5, 4.5 + 4}));
    EXPECT_EQ(GRLineChart::controlPointBetweenPoint1({0, 9}, {10, 0}), (Point{5, 4.5 - 4}));
    EXPECT_TRUE(std::isnan(GRLineChart::xOfY(3, {0, 1}, {5, 1})));
    EXPECT_EQ(GRLineChart::xOfY(3, {2, 1}, {2, 9}), 2);
    EXPECT_EQ(GRLineChart::xOfY(5, {0, 1}, {4, 9}), 2);
}

TEST(LineChart, DrawingInAnimatesStrokesAndFadesLabels) {
    Scene s;
    auto chart = std::make_shared<GRLineChart>(Rect{0, 0, 320, 250});
    chart->setXLabels({"A", "B", "C"});
    auto line = Line({0, 50, 100}, GRLineChartPointStyleCircle);
    line->showPointLabel = true;
    chart->setChartData({line});
    s.window->addSubview(chart);
    chart->drawChart();
    const double begin = platform::ui::currentMediaTime();
    const auto segment = chart->chartLineArray()[0][0];
    auto value = [&](const auto& layer, const char* key, double t) {
        return std::get<double>(*layer->presentationLayer(begin + t)->valueForKeyPath(key));
    };
    EXPECT_NEAR(value(segment, "strokeEnd", 0.5), 0.5, 1e-9);
    EXPECT_NEAR(value(chart->chartPointArray()[0], "strokeEnd", 0.5), 0.5, 1e-9);
    EXPECT_NEAR(value(chart->gradeStringPaths()[0][0], "opacity", 1.0), 0.5, 1e-9);
    s.advance(1.0);
    EXPECT_EQ(segment->animationForKey("strokeEndAnimation"), nullptr);
    EXPECT_EQ(segment->strokeEnd(), 1);
    s.advance(1.0);
    EXPECT_FALSE(chart->gradeStringPaths()[0][0]->hasRunningAnimations());

    chart->setDisplayAnimated(false);
    chart->drawChart();
    EXPECT_TRUE(chart->chartLineArray()[0][0]->animationKeys().empty());
    EXPECT_TRUE(chart->gradeStringPaths()[0][1]->animationKeys().empty());
}

TEST(LineChart, TouchesFindTheSegmentAndThePointNearby) {
    Scene s;
    auto chart = std::make_shared<GRLineChart>(Rect{0, 0, 320, 250});
    auto recorder = std::make_shared<RecordingDelegate>();
    chart->setDelegate(recorder);
    chart->setDisplayAnimated(false);
    chart->setXLabels({"A", "B"});
    // Line 0 flat at 100, line 1 rising from 0 to 100: x 92.5 to 227.5.
    chart->setChartData({Line({100, 100}), Line({0, 100})});
    chart->drawChart();
    s.window->addSubview(chart);
    s.advance(0);
    const double top = ScreenY(100);
    const double low = ScreenY(0);
    s.synth.tap({160, (top + low) / 2 + 3});  // beside the middle of line 1
    s.synth.tap({160, top - 4});              // just above line 0
    s.synth.tap({92.5 + 9, low});             // 9 from line 1's first point
    s.synth.tap({92.5, low + 11});            // 11 from every point
    // Beyond the end of line 1, on its straight continuation.
    s.synth.tap({227.5 + 13.5, top - 18.2});
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"line 1", "line 0", "point 1 0"}));
}

TEST(LineChart, LegendLaysOutSamplesMarkersAndTitles) {
    auto first = Line({1, 2}, GRLineChartPointStyleCircle);
    first->dataTitle = "Straight track in the station";
    auto second = Line({1, 2});
    second->dataTitle = "Curves";
    auto chart = Chart({first, second}, {"A", "B"});
    auto legend = chart->getLegendWithMaxWidth(150);
    ASSERT_NE(legend, nullptr);
    auto labels = legend->findViews<platform::ui::Label>();
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0]->frame().x, 40);
    EXPECT_LE(labels[0]->frame().width, 110) << "wrapped to 150 - 40";
    EXPECT_GT(labels[0]->frame().height, labels[1]->frame().height) << "on two lines";
    EXPECT_EQ(labels[1]->frame().y, labels[0]->frame().height) << "one under the other";
    EXPECT_EQ(legend->frame().width, 150);
    EXPECT_NEAR(legend->frame().height, labels[0]->frame().height + labels[1]->frame().height, 1e-9);
    // A marker splits the sample in two around it.
    EXPECT_EQ(legend->findViews<platform::ui::ImageView>().size(), 2u);
    const auto samples = legend->subviews();
    EXPECT_EQ(samples[0]->frame().width, 13);  // (32 - 6) / 2
    EXPECT_EQ(samples[1]->frame().x, 4 + 13 + 6);

    chart->setLegendStyle(1);
    labels = chart->getLegendWithMaxWidth(400)->findViews<platform::ui::Label>();
    EXPECT_EQ(labels[1]->frame().y, 0) << "side by side";
    labels = chart->getLegendWithMaxWidth(200)->findViews<platform::ui::Label>();
    EXPECT_GT(labels[1]->frame().y, 0) << "wrapped to a second row";
    EXPECT_EQ(labels[1]->frame().x, 40);
}

TEST(LineChart, DrawsDashedGridLinesAndAxes) {
    auto chart = Chart({Line({0, 100})}, {"A", "B"}, [](GRLineChart& c) {
        c.setShowYGridLines(true);
        c.setShowCoordinateAxis(true);
    });
    auto canvas = platform::BitmapContext::create(640, 500, 2);
    canvas->setFillColor({1, 1, 1, 1});
    canvas->fillRect({0, 0, 320, 250});
    chart->drawRect(*canvas, chart->bounds());
    // The grid line of row 1 at y = 200 - 40 + 5.5: 6 points on from x 35, 5 off.
    const int row = static_cast<int>(2 * (200 - 40 + 5.5));
    auto ink = [&](double x) { return canvas->pixel(static_cast<int>(2 * x), row)->red < 240; };
    EXPECT_TRUE(ink(37)) << "dash";
    EXPECT_FALSE(ink(43.5)) << "gap";
    EXPECT_TRUE(ink(48)) << "next dash";
    // The y axis at x 35 in the axis grey.
    const auto axis = *canvas->pixel(70, 200);
    EXPECT_NEAR(axis.red, 102, 30);
    EXPECT_EQ(canvas->pixel(90, 200)->red, 255);
}

TEST(LineChart, SnapshotShowsLinesAsDrawnByHand) {
    Scene s;
    auto chart = std::make_shared<GRLineChart>(Rect{40, 60, 320, 250});
    chart->setDisplayAnimated(false);
    chart->setShowLabel(false);
    chart->setShowGenYLabels(false);
    chart->setXLabels({"A", "B", "C"});
    auto line = Line({0, 100, 30});
    line->lineWidth = 4;
    chart->setChartData({line});
    chart->drawChart();
    s.window->addSubview(chart);
    s.advance(0);
    const auto shot = s.window->snapshot();

    auto expected = charttest::ExpectedCanvas();
    expected->setStrokeColor(kBlue);
    expected->setLineWidth(4);
    const auto& points = chart->pathPoints()[0];
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        expected->beginPath();
        expected->moveTo({40 + points[i].x, 60 + points[i].y});
        expected->lineTo({40 + points[i + 1].x, 60 + points[i + 1].y});
        expected->stroke();
    }
    EXPECT_LT(charttest::CountDiffering(*shot, *expected, 32), 200);
    EXPECT_GT(charttest::CountDiffering(*shot, *charttest::ExpectedCanvas(), 32), 2000);
}
