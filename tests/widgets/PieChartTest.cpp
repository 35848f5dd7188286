// The pie chart: sector shares and label placement as data, the reveal
// animation on the virtual clock, touches through synthetic taps, the
// legend, and a snapshot against the same ring drawn by hand.

#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/MediaTime.h"
#include "tests/widgets/support/ChartTestSupport.h"
#include "widgets/Charts/GRPieChart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using charttest::RecordingDelegate;
using charttest::Scene;
using platform::Color;
using platform::Rect;
using platform::ui::Label;
using platform::ui::ShapeLayer;

namespace {

const Color kPieRed{1, 0, 0, 1};
const Color kPieBlue{0, 0, 1, 1};
const Color kYellow{1, 1, 0, 1};

// Shares 0.25, 0.5 and 0.25: item 0 at the top right, item 1 the lower
// half, item 2 the top left.
GRPieChart::Items ThreeItems() {
    return {GRPieChartDataItem::dataItemWithValue(1, kPieRed, "A"),
            GRPieChartDataItem::dataItemWithValue(2, kPieBlue, "B"),
            GRPieChartDataItem::dataItemWithValue(1, kYellow, "C")};
}

std::vector<std::shared_ptr<ShapeLayer>> Sectors(const GRPieChart& chart) {
    std::vector<std::shared_ptr<ShapeLayer>> sectors;
    for (const auto& layer : chart.pieLayer()->sublayers()) {
        sectors.push_back(std::dynamic_pointer_cast<ShapeLayer>(layer));
    }
    return sectors;
}

}  // namespace

TEST(PieChart, SectorsRunClockwiseFromTheTopWithLabelsInTheirMiddle) {
    auto chart = GRPieChart::make({0, 0, 300, 300}, ThreeItems());
    chart->setDisplayAnimated(false);
    chart->drawChart();
    const auto sectors = Sectors(*chart);
    ASSERT_EQ(sectors.size(), 3u);
    const double starts[] = {0, 0.25, 0.75};
    const double ends[] = {0.25, 0.75, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(sectors[i]->strokeStart(), starts[i]) << i;
        EXPECT_DOUBLE_EQ(sectors[i]->strokeEnd(), ends[i]) << i;
        EXPECT_DOUBLE_EQ(sectors[i]->lineWidth(), 100) << "outer 150 less inner 50";
    }
    // The arc starts at the top of a circle of radius 100 about the middle.
    const auto& first = sectors[0]->path().elements().front();
    EXPECT_NEAR(first.points[0].x, 150, 1e-9);
    EXPECT_NEAR(first.points[0].y, 50, 1e-9);
    EXPECT_EQ(chart->pieLayer()->mask() != nullptr, true);

    const auto& labels = chart->descriptionLabels();
    ASSERT_EQ(labels.size(), 3u);
    const double d = 100 * std::sqrt(0.5);
    struct Expected {
        const char* text;
        double x, y;
    } expected[] = {{"25%\nA", 150 + d, 150 - d}, {"50%\nB", 150, 250}, {"25%\nC", 150 - d, 150 - d}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(labels[i]->text(), expected[i].text);
        EXPECT_NEAR(labels[i]->center().x, expected[i].x, 1e-6) << i;
        EXPECT_NEAR(labels[i]->center().y, expected[i].y, 1e-6) << i;
        EXPECT_EQ(labels[i]->frame().width, 100);
        EXPECT_EQ(labels[i]->alpha(), 1) << "shown at once without animation";
    }
}

TEST(PieChart, LabelTextsFollowTheSettings) {
    struct Case {
        const char* name;
        GRPieChart::Items items;
        void (*setUp)(GRPieChart&);
        std::vector<std::string> texts;
    } cases[] = {
        {"values summing to 0 give equal shares",
         {GRPieChartDataItem::dataItemWithValue(0, kPieRed), GRPieChartDataItem::dataItemWithValue(0, kPieBlue)},
         [](GRPieChart&) {},
         {"50%", "50%"}},
        {"absolute values",
         {GRPieChartDataItem::dataItemWithValue(3, kPieRed, "A"), GRPieChartDataItem::dataItemWithValue(1, kPieBlue)},
         [](GRPieChart& c) { c.setShowAbsoluteValues(true); },
         {"3\nA", "1"}},
        {"only values",
         {GRPieChartDataItem::dataItemWithValue(3, kPieRed, "A"), GRPieChartDataItem::dataItemWithValue(1, kPieBlue)},
         [](GRPieChart& c) { c.setShowOnlyValues(true); },
         {"75%", "25%"}},
        {"hidden values leave the description, or nothing",
         {GRPieChartDataItem::dataItemWithValue(3, kPieRed, "A"), GRPieChartDataItem::dataItemWithValue(1, kPieBlue)},
         [](GRPieChart& c) { c.setHideValues(true); },
         {"A", ""}},
        {"a share below the cutoff keeps an empty label",
         {GRPieChartDataItem::dataItemWithValue(9, kPieRed), GRPieChartDataItem::dataItemWithValue(1, kPieBlue)},
         [](GRPieChart& c) { c.setLabelPercentageCutoff(0.2); },
         {"90%", ""}},
    };
    for (auto& c : cases) {
        auto chart = GRPieChart::make({0, 0, 200, 200}, c.items);
        c.setUp(*chart);
        chart->drawChart();
        std::vector<std::string> texts;
        for (const auto& label : chart->descriptionLabels()) texts.push_back(label->text());
        EXPECT_EQ(texts, c.texts) << c.name;
    }
    auto empty = GRPieChart::make({0, 0, 200, 200}, {});
    empty->drawChart();
    EXPECT_TRUE(empty->pieLayer()->sublayers().empty());
    EXPECT_EQ(empty->getLegendWithMaxWidth(200), nullptr);
}

TEST(PieChart, RevealSweepsTheMaskThenFadesTheLabelsIn) {
    Scene s;
    auto chart = GRPieChart::make({0, 0, 300, 300}, ThreeItems());
    s.window->addSubview(chart);
    s.advance(0);  // the layout pass strokes the chart
    const auto mask = chart->pieLayer()->mask();
    ASSERT_NE(mask, nullptr);
    ASSERT_NE(mask->animationForKey("circleAnimation"), nullptr);
    const double begin = platform::ui::currentMediaTime();
    auto strokeEnd = [&](double t) {
        return std::get<double>(*mask->presentationLayer(begin + t)->valueForKeyPath("strokeEnd"));
    };
    EXPECT_NEAR(strokeEnd(0), 0, 1e-9);
    EXPECT_NEAR(strokeEnd(0.5), 0.5, 1e-9) << "ease in and out is half way at half time";
    EXPECT_LT(strokeEnd(0.25), 0.25);
    s.advance(0.9);
    EXPECT_EQ(chart->descriptionLabels()[0]->alpha(), 0) << "labels wait for the sweep";
    s.advance(0.1);
    EXPECT_EQ(mask->animationForKey("circleAnimation"), nullptr) << "removed on completion";
    const auto label = chart->descriptionLabels()[1];
    EXPECT_EQ(label->alpha(), 1);
    const double fadeBegin = platform::ui::currentMediaTime();
    EXPECT_NEAR(std::get<double>(*label->layer()->presentationLayer(fadeBegin + 0.1)->valueForKeyPath("opacity")), 0.5,
                0.05);
    s.advance(0.2);
    EXPECT_FALSE(label->layer()->hasRunningAnimations());

    // A stroke during the sweep drops the old sweep; the new labels still
    // wait for their own.
    chart->drawChart();
    s.advance(0.5);
    chart->drawChart();
    s.advance(0.5);
    EXPECT_EQ(chart->descriptionLabels()[0]->alpha(), 0);
    s.advance(0.5);
    EXPECT_EQ(chart->descriptionLabels()[0]->alpha(), 1);
}

TEST(PieChart, TapsPickTheSectorInTheirDirection) {
    Scene s;
    auto chart = GRPieChart::make({50, 50, 300, 300}, ThreeItems());
    auto recorder = std::make_shared<RecordingDelegate>();
    chart->setDelegate(recorder);
    chart->setDisplayAnimated(false);
    s.window->addSubview(chart);
    s.advance(0);
    // The chart's centre is at (200, 200) of the window.
    s.synth.tap({200, 80});   // straight above the centre: the first sector
    s.synth.tap({200, 320});  // straight below: the middle of the second
    s.synth.tap({90, 150});   // up and left: the third
    s.synth.tap({340, 340});  // beyond the ring, lower right: still a sector
    s.synth.tap({210, 210});  // the hole
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"pie 0", "pie 1", "pie 2", "pie 1", "unselect"}));
    EXPECT_EQ(chart->sectorHighlight()->superlayer(), nullptr) << "the hole removes the highlight";

    s.synth.tap({200, 320});
    const auto highlight = chart->sectorHighlight();
    ASSERT_NE(highlight->superlayer(), nullptr);
    EXPECT_DOUBLE_EQ(highlight->strokeStart(), 0.25);
    EXPECT_DOUBLE_EQ(highlight->strokeEnd(), 0.75);
    EXPECT_EQ(highlight->strokeColor(), (Color{0, 0, 1, 0.5}));
    EXPECT_DOUBLE_EQ(highlight->lineWidth(), 10);
}

TEST(PieChart, MultipleSelectionTogglesAndARelayoutStartsAfresh) {
    Scene s;
    auto chart = GRPieChart::make({50, 50, 300, 300}, ThreeItems());
    auto recorder = std::make_shared<RecordingDelegate>();
    chart->setDelegate(recorder);
    chart->setDisplayAnimated(false);
    chart->setEnableMultipleSelection(true);
    s.window->addSubview(chart);
    s.advance(0);
    s.synth.tap({300, 100});
    s.synth.tap({200, 320});
    EXPECT_EQ(chart->selectedItems().size(), 2u);
    s.synth.tap({300, 100});
    EXPECT_EQ(chart->selectedItems().size(), 1u) << "a second tap deselects";
    EXPECT_EQ(chart->selectedItems().count("1"), 1u);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"pie 0", "pie 1", "pie 0"}));

    // A relayout draws a new ring; the first tap on a sector selects it.
    chart->setFrame({50, 50, 300, 301});
    s.advance(0);
    EXPECT_TRUE(chart->selectedItems().empty());
    s.synth.tap({200, 320});
    ASSERT_EQ(chart->selectedItems().count("1"), 1u);
    EXPECT_NE(chart->selectedItems().at("1")->superlayer(), nullptr);
}

TEST(PieChart, HighlightAtIndexOutOfRangeOnlyRemoves) {
    auto chart = GRPieChart::make({0, 0, 300, 300}, ThreeItems());
    chart->drawChart();
    chart->highlightAtIndex(2);
    const auto shown = chart->sectorHighlight();
    ASSERT_NE(shown->superlayer(), nullptr);
    EXPECT_DOUBLE_EQ(shown->strokeStart(), 0.75);
    chart->highlightAtIndex(-1);
    EXPECT_EQ(shown->superlayer(), nullptr);
    chart->highlightAtIndex(1);
    const auto second = chart->sectorHighlight();
    chart->highlightAtIndex(3);
    EXPECT_EQ(second->superlayer(), nullptr);
    EXPECT_EQ(chart->sectorHighlight(), second) << "no new ring for the count";
}

TEST(PieChart, LegendListsItemsUpToTheFirstWithoutDescription) {
    auto chart =
        GRPieChart::make({0, 0, 300, 300}, {GRPieChartDataItem::dataItemWithValue(1, kPieRed, "Straight track"),
                                            GRPieChartDataItem::dataItemWithValue(1, kPieBlue),
                                            GRPieChartDataItem::dataItemWithValue(1, kYellow, "Curves")});
    auto legend = chart->getLegendWithMaxWidth(300);
    ASSERT_NE(legend, nullptr);
    const auto labels = legend->findViews<Label>();
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0]->text(), "Straight track");
    const auto dots = legend->findViews<platform::ui::ImageView>();
    ASSERT_EQ(dots.size(), 1u);
    const double h0 = GRGenericChart::sizeOfString("Test", 1e30f, platform::ui::Font::systemFont(12)).height;
    EXPECT_NEAR(dots[0]->frame().x, 8 - 4.8, 1e-9);
    EXPECT_NEAR(dots[0]->frame().y, h0 / 2 - 4.8, 1e-9);
    EXPECT_EQ(labels[0]->frame().x, 16);
    EXPECT_NEAR(legend->frame().width, labels[0]->frame().width + 16, 1e-3);

    // Side by side, wrapping into a second row when the next would not fit.
    auto rows = GRPieChart::make({0, 0, 300, 300}, {GRPieChartDataItem::dataItemWithValue(1, kPieRed, "Straight track"),
                                                    GRPieChartDataItem::dataItemWithValue(1, kPieBlue, "Turnouts"),
                                                    GRPieChartDataItem::dataItemWithValue(1, kYellow, "Curves")});
    rows->setLegendStyle(1);
    const auto wrapped = rows->getLegendWithMaxWidth(200)->findViews<Label>();
    ASSERT_EQ(wrapped.size(), 3u);
    EXPECT_EQ(wrapped[1]->frame().y, 0) << "the second fits beside the first";
    EXPECT_GT(wrapped[2]->frame().y, 0) << "the third starts a row";
    EXPECT_EQ(wrapped[2]->frame().x, 16);
}

TEST(PieChart, SnapshotShowsTheRingAsDrawnByHand) {
    Scene s;
    auto chart = GRPieChart::make({50, 50, 300, 300}, ThreeItems());
    chart->setDisplayAnimated(false);
    chart->setLabelPercentageCutoff(2);  // no label texts: the ring alone
    s.window->addSubview(chart);
    s.advance(0);
    const auto shot = s.window->snapshot();

    auto expected = charttest::ExpectedCanvas();
    const double top = -std::numbers::pi / 2;
    const Color colors[] = {kPieRed, kPieBlue, kYellow};
    const double shares[] = {0, 0.25, 0.75, 1};
    expected->setLineWidth(100);
    for (int i = 0; i < 3; ++i) {
        expected->setStrokeColor(colors[i]);
        expected->beginPath();
        expected->addArc({200, 200}, 100, top + shares[i] * 2 * std::numbers::pi,
                         top + shares[i + 1] * 2 * std::numbers::pi, true);
        expected->stroke();
    }
    // Only antialiased edges may differ.
    EXPECT_LT(charttest::CountDiffering(*shot, *expected, 24), 2000);
    // And a plain white canvas differs a lot: the comparison sees the ring.
    EXPECT_GT(charttest::CountDiffering(*shot, *charttest::ExpectedCanvas(), 24), 100000);
}
