// The bar chart: bar frames and shares for positive, zero and negative
// values, axis labels, the border and level lines, updates, animations on
// the virtual clock, taps, and a snapshot against bars drawn by hand.

#include "platform/ui/core/MediaTime.h"
#include "tests/widgets/support/ChartTestSupport.h"
#include "widgets/Charts/GRBarChart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using charttest::RecordingDelegate;
using charttest::Scene;
using platform::Color;
using platform::Rect;

namespace {

// 300 by 250 points, margins 25: x slots of 62.5, a canvas 180 high whose
// bars start at y 50.
std::shared_ptr<GRBarChart> Chart(std::vector<double> values, void (*setUp)(GRBarChart&) = nullptr) {
    auto chart = std::make_shared<GRBarChart>(Rect{0, 0, 300, 250});
    chart->setDisplayAnimated(false);
    if (setUp) setUp(*chart);
    chart->setXLabels({"A", "B", "C", "D"});
    chart->setYValues(std::move(values));
    chart->drawChart();
    return chart;
}

std::vector<std::string> Texts(const std::vector<std::shared_ptr<GRChartLabel>>& labels) {
    std::vector<std::string> texts;
    for (const auto& label : labels) texts.push_back(label->text());
    return texts;
}

}  // namespace

TEST(BarChart, BarsFillTheirSlotsToTheirShare) {
    auto chart = Chart({2, 4, 0, -3});
    EXPECT_DOUBLE_EQ(chart->xLabelWidth(), 62.5);
    EXPECT_FLOAT_EQ(chart->yValueMax(), 4);
    const auto& bars = chart->bars();
    ASSERT_EQ(bars.size(), 4u);
    const float grades[] = {0.5, 1, 0, 0.75};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bars[i]->frame(), (Rect{25 + i * 62.5 + 15.625, 50, 31.25, 180})) << i;
        EXPECT_FLOAT_EQ(bars[i]->grade(), grades[i]) << i;
        EXPECT_EQ(bars[i]->tag(), i);
    }
    // A line as wide as the bar from its foot up to its share.
    const auto& line = bars[0]->chartLine()->path().elements();
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(line[0].points[0], (platform::Point{15.625, 180}));
    EXPECT_EQ(line[1].points[0], (platform::Point{15.625, 90}));
    EXPECT_DOUBLE_EQ(bars[0]->chartLine()->lineWidth(), 31.25);
    // Without the level line a negative value stands upright.
    EXPECT_TRUE(bars[3]->transform().isIdentity());
    EXPECT_EQ(bars[3]->textLayer()->string(), "3");

    // No strokeColor and no colour per value: default green, no gradient.
    EXPECT_EQ(bars[0]->chartLine()->strokeColor(), (Color{77 / 255.0, 186 / 255.0, 122 / 255.0, 1}));
    EXPECT_EQ(bars[0]->gradientLayer(), nullptr);
    auto coloured = Chart({1, 2, 3, 4}, [](GRBarChart& c) {
        c.setStrokeColors({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}});
    });
    EXPECT_EQ(coloured->bars()[2]->chartLine()->strokeColor(), (Color{0, 0, 1, 1}));
    ASSERT_NE(coloured->bars()[2]->gradientLayer(), nullptr);
    EXPECT_EQ(coloured->bars()[2]->gradientLayer()->colors()[1], (Color{1, 1, 1, 0.8}));
}

TEST(BarChart, NegativeValuesHangBelowTheLevelLine) {
    auto chart = Chart({2, 4, 0, -3}, [](GRBarChart& c) {
        c.setShowLevelLine(true);
        c.setShowChartBorder(true);
    });
    const auto& negative = chart->bars()[3];
    // Half a canvas high, turned about its centre and moved down by its height.
    EXPECT_NEAR(negative->center().y, 50 + 45 + 90, 1e-9);
    EXPECT_NEAR(negative->frame().y, 140, 1e-9);
    EXPECT_NEAR(negative->transform().b, std::sin(std::numbers::pi), 1e-12);
    EXPECT_NEAR(negative->transform().a, -1, 1e-12);
    EXPECT_TRUE(negative->isNegative());
    EXPECT_EQ(negative->textLayer()->string(), "- 3");
    EXPECT_FALSE(chart->bars()[0]->isNegative());

    ASSERT_NE(chart->chartLevelLine(), nullptr);
    const auto& level = chart->chartLevelLine()->path().elements();
    EXPECT_EQ(level[0].points[0], (platform::Point{25, 115}));
    EXPECT_EQ(level[1].points[0], (platform::Point{250, 115}));
    const auto& bottom = chart->chartBottomLine()->path().elements();
    EXPECT_EQ(bottom[0].points[0], (platform::Point{25, 230}));
    EXPECT_EQ(bottom[1].points[0], (platform::Point{275, 230}));
    const auto& left = chart->chartLeftLine()->path().elements();
    EXPECT_EQ(left[1].points[0], (platform::Point{25, 25}));

    // An update of the same count turns each bar once: no drift, and a
    // bar whose value turns positive stands up again.
    chart->updateChartData({2, 4, -3, 3});
    chart->updateChartData({2, 4, -3, 3});
    EXPECT_NEAR(chart->bars()[2]->frame().y, 140, 1e-9);
    EXPECT_TRUE(chart->bars()[3]->transform().isIdentity());
    EXPECT_NEAR(chart->bars()[3]->frame().y, 50, 1e-9);

    // Redrawing replaces the border lines rather than adding more.
    chart->drawChart();
    int lines = 0;
    for (const auto& layer : chart->layer()->sublayers()) {
        if (std::dynamic_pointer_cast<platform::ui::ShapeLayer>(layer)) ++lines;
    }
    EXPECT_EQ(lines, 3) << "bottom, left and level line";

    // A second drawing without the level line takes it away.
    chart->setShowLevelLine(false);
    const auto oldLevel = chart->chartLevelLine();
    chart->drawChart();
    EXPECT_EQ(chart->chartLevelLine(), nullptr);
    EXPECT_EQ(oldLevel->superlayer(), nullptr);
}

TEST(BarChart, AxisLabelsFollowTheValuesAndSettings) {
    struct Case {
        const char* name;
        std::vector<double> values;
        void (*setUp)(GRBarChart&);
        std::vector<std::string> yTexts;
        std::vector<std::string> xTexts;
    } cases[] = {
        {"four values: four steps", {1, 2, 3, 4}, nullptr, {"4", "3", "2", "1", "0"}, {"A", "B", "C", "D"}},
        {"five values: six steps", {1, 2, 3, 4, 6}, nullptr, {"6", "5", "4", "3", "2", "1", "0"}, {"A", "B", "C", "D"}},
        {"explicit labels, prefix and suffix",
         {1, 2},
         [](GRBarChart& c) {
             c.setYLabels(std::vector<double>{0, 50, 100});
             c.setYLabelPrefix("$");
             c.setYLabelSuffix("k");
         },
         {"$100k", "$50k", "$0k"},
         {"A", "B", "C", "D"}},
        {"a fixed maximum", {1, 2, 3, 4}, [](GRBarChart& c) { c.setYMaxValue(8); }, {"8", "6", "4", "2", "0"}, {}},
        {"every third x label", {1, 2, 3, 4}, [](GRBarChart& c) { c.setXLabelSkip(3); }, {}, {"C"}},
    };
    for (auto& c : cases) {
        auto chart = Chart(c.values, c.setUp);
        if (!c.yTexts.empty()) {
            EXPECT_EQ(Texts(chart->yChartLabels()), c.yTexts) << c.name;
        }
        if (!c.xTexts.empty()) {
            EXPECT_EQ(Texts(chart->xChartLabels()), c.xTexts) << c.name;
        }
    }
    // Placement: y labels right-aligned at the left, one step (45) apart;
    // x labels centred in their slots below the canvas.
    auto chart = Chart({1, 2, 3, 4});
    const auto& y = chart->yChartLabels();
    EXPECT_EQ(y[0]->frame(), (Rect{0, 25 - 5.5 + 20 + 2, 18, 11}));
    EXPECT_EQ(y[1]->frame(), (Rect{0, 25 + 45 - 5.5 + 20 + 2, 18, 11}));
    EXPECT_EQ(y[0]->textAlignment(), platform::TextAlignment::right);
    EXPECT_EQ(chart->xChartLabels()[1]->center(), (platform::Point{25 + 62.5 * 1.5, 250 - 25 + 10 + 2}));

    // Empty values and labels draw an empty chart with finite geometry.
    auto empty = std::make_shared<GRBarChart>(Rect{0, 0, 300, 250});
    empty->setXLabels({});
    empty->setYValues({});
    empty->drawChart();
    EXPECT_EQ(empty->xLabelWidth(), 0);
    EXPECT_TRUE(empty->bars().empty());
    for (const auto& label : empty->yChartLabels()) EXPECT_EQ(label->text().find("nan"), std::string::npos);
    EXPECT_TRUE(empty->yChartLabels().empty());
    // All values 0: a maximum of 0, shares that are not numbers, bars of no height.
    auto zeros = Chart({0, 0, 0, 0});
    EXPECT_EQ(zeros->bars()[1]->grade(), 0);
    EXPECT_EQ(Texts(zeros->yChartLabels()), (std::vector<std::string>{"0", "0", "0", "0", "0"}));
}

TEST(BarChart, UpdatesAnimateBarsOrRebuildThemForAnotherCount) {
    Scene s;
    auto chart = std::make_shared<GRBarChart>(Rect{0, 0, 300, 250});
    chart->setXLabels({"A", "B", "C", "D"});
    chart->setYValues({1, 2, 3, 4});
    chart->setShowChartBorder(true);
    chart->drawChart();
    s.window->addSubview(chart);
    const double begin = platform::ui::currentMediaTime();
    const auto& line = chart->bars()[1]->chartLine();
    ASSERT_NE(line->animationForKey("strokeEndAnimation"), nullptr);
    auto strokeEnd = [&](const auto& layer, double t) {
        return std::get<double>(*layer->presentationLayer(begin + t)->valueForKeyPath("strokeEnd"));
    };
    EXPECT_NEAR(strokeEnd(line, 0.5), 0.5, 1e-9);
    EXPECT_NEAR(strokeEnd(chart->chartBottomLine(), 0.25), 0.5, 1e-9) << "the border grows in half a second";
    s.advance(1.0);
    EXPECT_EQ(line->animationForKey("strokeEndAnimation"), nullptr);

    // Same count: the same bars move to the new shares.
    const auto second = chart->bars()[1];
    chart->updateChartData({4, 4, 4, 8});
    EXPECT_EQ(chart->bars()[1], second);
    EXPECT_FLOAT_EQ(second->grade(), 0.5);
    ASSERT_NE(second->chartLine()->animationForKey("animationKey"), nullptr);

    // Another count: the old bars go.
    chart->updateChartData({1, 2});
    EXPECT_EQ(chart->bars().size(), 2u);
    EXPECT_EQ(chart->findViews<GRBar>().size(), 2u);
    EXPECT_EQ(second->superview(), nullptr);
}

TEST(BarChart, ATapOnABarReportsItsIndex) {
    Scene s;
    auto chart = Chart({1, 2, 3, 4});
    auto recorder = std::make_shared<RecordingDelegate>();
    chart->setDelegate(recorder);
    s.window->addSubview(chart);
    s.advance(0);
    s.synth.tap({25 + 62.5 * 2 + 31, 200});  // the third bar
    s.synth.tap({25 + 62.5 * 2 + 5, 200});   // the gap beside it
    s.synth.tap({25 + 25, 60});              // the top of the first bar's background
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"bar 2", "bar 0"}));
}

TEST(BarChart, SnapshotShowsBarsAsDrawnByHand) {
    Scene s;
    auto chart = std::make_shared<GRBarChart>(Rect{50, 50, 300, 250});
    chart->setDisplayAnimated(false);
    chart->setShowLabel(false);
    chart->setIsShowNumbers(false);
    chart->setXLabels({"A", "B", "C", "D"});
    chart->setYValues({1, 2, 3, 4});
    chart->drawChart();
    s.window->addSubview(chart);
    s.advance(0);
    const auto shot = s.window->snapshot();

    auto expected = charttest::ExpectedCanvas();
    for (int i = 0; i < 4; ++i) {
        const Rect bar{50 + 25 + i * 62.5 + 15.625, 100, 62.5 * 0.6, 180};
        expected->save();
        expected->beginPath();
        expected->addRoundedRect(bar, 2);
        expected->clip();
        expected->setFillColor({225 / 255.0, 225 / 255.0, 225 / 255.0, 1});
        expected->fillRect(bar);
        const double height = bar.height * (i + 1) / 4;
        expected->setFillColor({77 / 255.0, 186 / 255.0, 122 / 255.0, 1});
        expected->fillRect({bar.x, bar.y + bar.height - height, bar.width, height});
        expected->restore();
    }
    // The bars' sides fall on quarter pixels: only those columns may differ.
    EXPECT_LT(charttest::CountDiffering(*shot, *expected, 24), 8 * 360);
    EXPECT_GT(charttest::CountDiffering(*shot, *charttest::ExpectedCanvas(), 24), 40000);
}
