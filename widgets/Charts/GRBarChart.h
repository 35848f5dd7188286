#pragma once
// A vertical bar chart: one GRBar per value over labelled x slots, y-axis
// labels on the left, an optional border and an optional level line for
// negative values, all growing in; a tap on a bar goes to the delegate.
//
// The owner sets the properties, then xLabels (their count fixes the bar
// slots), then yValues, then calls drawChart. Main thread only.

#include "platform/ui/core/ShapeLayer.h"
#include "widgets/Charts/GRBar.h"
#include "widgets/Charts/GRChartDelegate.h"
#include "widgets/Charts/GRChartLabel.h"
#include "widgets/Charts/GRGenericChart.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class GRBarChart : public GRGenericChart {
public:
    explicit GRBarChart(const platform::Rect& frame);

    void setupDefaultValues();

    const std::vector<std::string>& xLabels() const { return mXLabels; }
    // Stores the labels and builds the x-axis labels.
    void setXLabels(std::vector<std::string> labels);
    // Explicit y-axis values, bottom to top; none: computed from the values.
    const std::optional<std::vector<double>>& yLabels() const { return mYLabels; }
    void setYLabels(std::optional<std::vector<double>> labels) { mYLabels = std::move(labels); }
    const std::vector<double>& yValues() const { return mYValues; }
    // Stores the values and builds the y-axis labels.
    void setYValues(std::vector<double> values);
    // New values, the bars animated to them.
    void updateChartData(std::vector<double> values);

    const std::vector<std::shared_ptr<GRBar>>& bars() const { return mBars; }
    const std::vector<std::shared_ptr<GRChartLabel>>& xChartLabels() const { return mXChartLabels; }
    const std::vector<std::shared_ptr<GRChartLabel>>& yChartLabels() const { return mYChartLabels; }
    double xLabelWidth() const { return mXLabelWidth; }
    float yValueMax() const { return mYValueMax; }

    const std::optional<platform::Color>& strokeColor() const { return mStrokeColor; }
    void setStrokeColor(std::optional<platform::Color> color) { mStrokeColor = color; }
    // Used only when there is one colour per value.
    const std::vector<platform::Color>& strokeColors() const { return mStrokeColors; }
    void setStrokeColors(std::vector<platform::Color> colors) { mStrokeColors = std::move(colors); }
    double yChartLabelWidth() const { return mYChartLabelWidth; }
    void setYChartLabelWidth(double width) { mYChartLabelWidth = width; }
    using LabelFormatter = std::function<std::string(double)>;
    void setYLabelFormatter(LabelFormatter formatter) { mYLabelFormatter = std::move(formatter); }
    void setYLabelPrefix(std::string prefix) { mYLabelPrefix = std::move(prefix); }
    void setYLabelSuffix(std::string suffix) { mYLabelSuffix = std::move(suffix); }
    bool showLabel() const { return mShowLabel; }
    void setShowLabel(bool show) { mShowLabel = show; }
    bool showChartBorder() const { return mShowChartBorder; }
    void setShowChartBorder(bool show) { mShowChartBorder = show; }
    void setChartBorderColor(const platform::Color& color) { mChartBorderColor = color; }
    bool showLevelLine() const { return mShowLevelLine; }
    void setShowLevelLine(bool show) { mShowLevelLine = show; }
    const std::shared_ptr<platform::ui::ShapeLayer>& chartBottomLine() const { return mChartBottomLine; }
    const std::shared_ptr<platform::ui::ShapeLayer>& chartLeftLine() const { return mChartLeftLine; }
    const std::shared_ptr<platform::ui::ShapeLayer>& chartLevelLine() const { return mChartLevelLine; }
    void setBarRadius(double radius) { mBarRadius = radius; }
    // 0: computed from the slot width.
    void setBarWidth(double width) { mBarWidth = width; }
    void setLabelMarginTop(double margin) { mLabelMarginTop = margin; }
    void setBarBackgroundColor(const platform::Color& color) { mBarBackgroundColor = color; }
    void setLabelTextColor(std::optional<platform::Color> color) { mLabelTextColor = color; }
    void setLabelFont(platform::ui::Font font) { mLabelFont = std::move(font); }
    // A label for every n-th x entry.
    void setXLabelSkip(std::int64_t skip) { mXLabelSkip = skip; }
    // Steps of the y axis; 4 also means: as many as there are values.
    std::int64_t yLabelSum() const { return mYLabelSum; }
    void setYLabelSum(std::int64_t sum) { mYLabelSum = sum; }
    // A fixed maximum; 0: from the data.
    void setYMaxValue(double value) { mYMaxValue = value; }
    // The maximum when every value is 0.
    void setYMinValue(double value) { mYMinValue = value; }
    void setRotateForXAxisText(bool rotate) { mRotateForXAxisText = rotate; }
    std::shared_ptr<GRChartDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<GRChartDelegate> delegate) { mDelegate = std::move(delegate); }
    void setIsGradientShow(bool show) { mIsGradientShow = show; }
    void setIsShowNumbers(bool show) { mIsShowNumbers = show; }

    void drawChart();
    void touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;

    std::string className() const override { return "GRBarChart"; }

private:
    void processYMaxValue();
    float getYValueMax(const std::vector<double>& values) const;
    void addYCoordinateLabelsValues();
    void updateBar();
    void addBorderAnimationIfNeeded();
    void addSeparatorAnimationIfNeeded();
    std::optional<platform::Color> barColorAtIndex(std::size_t index) const;
    std::shared_ptr<platform::ui::ShapeLayer> axisLine(platform::Point from, platform::Point to,
                                                       const platform::Color& color);
    void touchPoint(const platform::ui::TouchSet& touches);

    std::vector<std::string> mXLabels;
    std::optional<std::vector<double>> mYLabels;
    std::vector<double> mYValues;
    std::vector<std::shared_ptr<GRBar>> mBars;
    std::vector<std::shared_ptr<GRChartLabel>> mXChartLabels;
    std::vector<std::shared_ptr<GRChartLabel>> mYChartLabels;
    double mXLabelWidth = 0;
    float mYValueMax = 0;
    std::optional<platform::Color> mStrokeColor;
    std::vector<platform::Color> mStrokeColors;
    double mYChartLabelWidth = 18;
    LabelFormatter mYLabelFormatter;
    std::string mYLabelPrefix;
    std::string mYLabelSuffix;
    bool mShowLabel = true;
    bool mShowChartBorder = false;
    platform::Color mChartBorderColor;
    bool mShowLevelLine = false;
    std::shared_ptr<platform::ui::ShapeLayer> mChartBottomLine;
    std::shared_ptr<platform::ui::ShapeLayer> mChartLeftLine;
    std::shared_ptr<platform::ui::ShapeLayer> mChartLevelLine;
    double mBarRadius = 2;
    double mBarWidth = 0;
    double mLabelMarginTop = 2;
    platform::Color mBarBackgroundColor;
    std::optional<platform::Color> mLabelTextColor;
    platform::ui::Font mLabelFont = platform::ui::Font::systemFont(11);
    std::int64_t mXLabelSkip = 1;
    std::int64_t mYLabelSum = 4;
    double mYMaxValue = 0;
    double mYMinValue = 0;
    bool mRotateForXAxisText = false;
    std::weak_ptr<GRChartDelegate> mDelegate;
    bool mIsGradientShow = true;
    bool mIsShowNumbers = true;
};
