#pragma once
// A chart of one or more lines over a shared x axis of labelled slots:
// y labels generated from the data range (or given), x labels, optional
// axes with arrows, ticks and units, dashed grid lines, point markers and
// value labels, lines that draw themselves in, colour bands along the y
// values, touches matched to segments and points, and a legend.
//
// The owner sets the properties, setXLabels, optionally setYLabels, then
// setChartData and drawChart. drawChart keeps a value range once computed;
// updateChartData animates to new data and recomputes a range that the new
// values would leave (unless its ends are fixed). Main thread only.

#include "platform/graphics/Path.h"
#include "platform/ui/core/Animation.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"
#include "widgets/Charts/GRChartDelegate.h"
#include "widgets/Charts/GRChartLabel.h"
#include "widgets/Charts/GRGenericChart.h"
#include "widgets/Charts/GRLineChartData.h"

#include <cfloat>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {
class BasicAnimation;
class ImageView;
}  // namespace platform::ui

class GRLineChart : public GRGenericChart {
public:
    using Lines = std::vector<std::shared_ptr<GRLineChartData>>;
    // The value of an unset range end.
    static constexpr double kUnset = -FLT_MAX;

    explicit GRLineChart(const platform::Rect& frame);

    void setupDefaultValues();

    // --- data and labels ----------------------------------------------
    const Lines& chartData() const { return mChartData; }
    void setChartData(Lines lines) { mChartData = std::move(lines); }
    const std::vector<std::string>& xLabels() const { return mXLabels; }
    // Slots of equal width over the canvas (the frame less margins without
    // labels); no labels give slots of no width.
    void setXLabels(const std::vector<std::string>& labels);
    void setXLabels(const std::vector<std::string>& labels, double width);
    double computeEqualWidthForXLabels(const std::vector<std::string>& labels) const;
    const std::vector<std::string>& yLabels() const { return mYLabels; }
    // Explicit y labels: no more generated ones.
    void setYLabels(const std::vector<std::string>& labels);
    void setYLabels(const std::vector<std::string>& labels, double height);
    // Builds the generated y labels from the value range.
    void setYLabels();
    const std::vector<std::shared_ptr<GRChartLabel>>& xChartLabels() const { return mXChartLabels; }
    const std::vector<std::shared_ptr<GRChartLabel>>& yChartLabels() const { return mYChartLabels; }
    double xLabelWidth() const { return mXLabelWidth; }

    // --- settings -------------------------------------------------------
    void setXLabelFont(std::optional<platform::ui::Font> font) { mXLabelFont = std::move(font); }
    void setXLabelColor(std::optional<platform::Color> color) { mXLabelColor = color; }
    void setYLabelFont(std::optional<platform::ui::Font> font) { mYLabelFont = std::move(font); }
    void setYLabelColor(std::optional<platform::Color> color) { mYLabelColor = color; }
    double yValueMax() const { return mYValueMax; }
    void setYValueMax(double value) { mYValueMax = value; }
    double yValueMin() const { return mYValueMin; }
    void setYValueMin(double value) { mYValueMin = value; }
    void setYFixedValueMax(double value) { mYFixedValueMax = value; }
    void setYFixedValueMin(double value) { mYFixedValueMin = value; }
    std::int64_t yLabelNum() const { return mYLabelNum; }
    void setYLabelNum(std::int64_t count) { mYLabelNum = count; }
    double yLabelHeight() const { return mYLabelHeight; }
    double chartCanvasWidth() const { return mChartCanvasWidth; }
    double chartCanvasHeight() const { return mChartCanvasHeight; }
    bool showLabel() const { return mShowLabel; }
    void setShowLabel(bool show) { mShowLabel = show; }
    bool showGenYLabels() const { return mShowGenYLabels; }
    void setShowGenYLabels(bool show) { mShowGenYLabels = show; }
    void setShowYGridLines(bool show) { mShowYGridLines = show; }
    void setYGridLinesColor(std::optional<platform::Color> color) { mYGridLinesColor = color; }
    void setThousandsSeparator(bool separate) { mThousandsSeparator = separate; }
    bool isShowCoordinateAxis() const { return mShowCoordinateAxis; }
    void setShowCoordinateAxis(bool show) { mShowCoordinateAxis = show; }
    void setAxisColor(const platform::Color& color) { mAxisColor = color; }
    void setAxisWidth(double width) { mAxisWidth = width; }
    void setXUnit(std::string unit) { mXUnit = std::move(unit); }
    void setYUnit(std::string unit) { mYUnit = std::move(unit); }
    // A printf format with one numeric conversion (see NumberFormat);
    // a refused format is not taken: false.
    bool setYLabelFormat(std::string format);
    void setYLabelBlockFormatter(std::function<std::string(double)> formatter) {
        mYLabelBlockFormatter = std::move(formatter);
    }
    bool showSmoothLines() const { return mShowSmoothLines; }
    void setShowSmoothLines(bool smooth) { mShowSmoothLines = smooth; }
    std::shared_ptr<GRChartDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<GRChartDelegate> delegate) { mDelegate = std::move(delegate); }

    // --- drawing --------------------------------------------------------
    void drawChart();
    void updateChartData(Lines lines);
    std::string formatYLabel(double value) const;
    // The screen y of a value.
    double yValuePositionInLineChart(double value) const;
    void drawRect(platform::Context& context, const platform::Rect& rect) override;
    // Axes and grid are drawn from the chart's own properties.
    bool drawsOnAnyThread() const override { return true; }
    static void drawTextInContext(platform::Context& context, const std::string& text, const platform::Rect& rect,
                                  const platform::ui::Font& font, const std::optional<platform::Color>& color);

    // The per-line working state, indexed by line.
    const std::vector<std::vector<std::shared_ptr<platform::ui::ShapeLayer>>>& chartLineArray() const {
        return mChartLineArray;
    }
    const std::vector<std::shared_ptr<platform::ui::ShapeLayer>>& chartPointArray() const { return mChartPointArray; }
    const std::vector<std::vector<platform::Path>>& chartPath() const { return mChartPath; }
    const std::vector<std::vector<platform::Color>>& progressLinePathsColors() const {
        return mProgressLinePathsColors;
    }
    const std::vector<platform::Path>& pointPath() const { return mPointPath; }
    const std::vector<std::vector<platform::Point>>& pathPoints() const { return mPathPoints; }
    const std::vector<std::vector<platform::Point>>& endPointsOfPath() const { return mEndPointsOfPath; }
    const std::vector<std::vector<std::shared_ptr<platform::ui::TextLayer>>>& gradeStringPaths() const {
        return mGradeStringPaths;
    }

    // --- geometry of the lines -------------------------------------------
    // A coloured piece of a segment.
    struct ColoredPiece {
        platform::Color color;
        platform::Point from;
        platform::Point to;
    };
    // The pieces covering the segment p1 to p2, in the colour of the first
    // band it meets, the rest in `defaultColor`.
    std::vector<ColoredPiece> colorRangesBetweenP1(platform::Point p1, platform::Point p2,
                                                   const std::vector<GRLineChartColorRange>& rangeColors,
                                                   const platform::Color& defaultColor) const;
    static platform::Point midPointBetweenPoint1(platform::Point p1, platform::Point p2);
    static platform::Point controlPointBetweenPoint1(platform::Point p1, platform::Point p2);
    static double xOfY(double y, platform::Point p1, platform::Point p2);
    std::shared_ptr<platform::ui::TextLayer> createPointLabelFor(double value, platform::Point center, double width,
                                                                 const GRLineChartData& line);

    void touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;
    void touchesMoved(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;

    std::shared_ptr<platform::ui::View> getLegendWithMaxWidth(double maxWidth) override;
    static std::shared_ptr<platform::ui::ImageView> drawInflexion(double size, platform::Point center,
                                                                  double strokeWidth, std::uint64_t style,
                                                                  const platform::Color& color, double alpha);

    std::string className() const override { return "GRLineChart"; }

private:
    void prepareYLabelsWithData();
    void removeLabels(std::vector<std::shared_ptr<GRChartLabel>>& labels);
    void setCustomStyleForXLabel(GRChartLabel& label) const;
    void setCustomStyleForYLabel(GRChartLabel& label) const;
    std::shared_ptr<platform::ui::Animation> pathAnimation();
    std::shared_ptr<platform::ui::Animation> fadeAnimation() const;
    std::shared_ptr<platform::ui::ShapeLayer> segmentLayer(const GRLineChartData& line, const platform::Path& path,
                                                           const platform::Color& color) const;
    // Fills every per-line array for the current chartData.
    void calculateChartPath();
    void touchPoint(const platform::ui::TouchSet& touches);
    void touchKeyPoint(const platform::ui::TouchSet& touches);

    Lines mChartData;
    std::vector<std::string> mXLabels;
    std::vector<std::string> mYLabels;
    std::vector<std::shared_ptr<GRChartLabel>> mXChartLabels;
    std::vector<std::shared_ptr<GRChartLabel>> mYChartLabels;
    double mXLabelWidth = 0;
    std::optional<platform::ui::Font> mXLabelFont;
    std::optional<platform::Color> mXLabelColor;
    std::optional<platform::ui::Font> mYLabelFont;
    std::optional<platform::Color> mYLabelColor;
    double mYValueMax = kUnset;
    double mYValueMin = kUnset;
    double mYFixedValueMax = kUnset;
    double mYFixedValueMin = kUnset;
    std::int64_t mYLabelNum = 5;
    double mYLabelHeight = 11;
    double mChartCanvasWidth = 0;
    double mChartCanvasHeight = 0;
    bool mShowLabel = true;
    bool mShowGenYLabels = true;
    bool mShowYGridLines = false;
    std::optional<platform::Color> mYGridLinesColor;
    bool mThousandsSeparator = false;
    bool mShowCoordinateAxis = false;
    platform::Color mAxisColor;
    double mAxisWidth = 1;
    std::string mXUnit;
    std::string mYUnit;
    std::string mYLabelFormat = "%1.f";
    std::function<std::string(double)> mYLabelBlockFormatter;
    bool mShowSmoothLines = false;
    std::weak_ptr<GRChartDelegate> mDelegate;
    std::shared_ptr<platform::ui::BasicAnimation> mPathAnimation;

    std::vector<std::vector<std::shared_ptr<platform::ui::ShapeLayer>>> mChartLineArray;
    std::vector<std::shared_ptr<platform::ui::ShapeLayer>> mChartPointArray;
    std::vector<std::vector<platform::Path>> mChartPath;
    std::vector<std::vector<platform::Color>> mProgressLinePathsColors;
    std::vector<platform::Path> mPointPath;
    std::vector<std::vector<platform::Point>> mPathPoints;
    std::vector<std::vector<platform::Point>> mEndPointsOfPath;
    std::vector<std::vector<std::shared_ptr<platform::ui::TextLayer>>> mGradeStringPaths;
};
