#include "widgets/Charts/GRBarChart.h"

#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/input/Touch.h"
#include "widgets/Charts/GRChartColors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::ShapeLayer;

namespace {

void viewCleanupForCollection(std::vector<std::shared_ptr<GRChartLabel>>& views) {
    for (const auto& view : views) view->removeFromSuperview();
    views.clear();
}

std::shared_ptr<platform::ui::BasicAnimation> strokeEndAnimation() {
    auto animation = platform::ui::BasicAnimation::make("strokeEnd");
    animation->setFromValue(0.0);
    animation->setToValue(1.0);
    animation->setDuration(0.5);
    animation->setTimingFunction(platform::ui::MediaTimingFunction::easeInEaseOut());
    return animation;
}

}  // namespace

GRBarChart::GRBarChart(const Rect& frame) : GRGenericChart(frame) { setupDefaultValues(); }

void GRBarChart::setupDefaultValues() {
    GRGenericChart::setupDefaultValues();
    setBackgroundColor(GRChartColors::kWhite);
    setClipsToBounds(true);
    mXLabels.clear();
    mYLabels.reset();
    mYValues.clear();
    mStrokeColor.reset();
    mStrokeColors.clear();
    mYChartLabelWidth = 18;
    mYLabelFormatter = [](double value) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%1.f", value);
        return std::string(buffer);
    };
    mYLabelPrefix.clear();
    mYLabelSuffix.clear();
    mShowLabel = true;
    mShowChartBorder = false;
    mChartBorderColor = GRChartColors::kLightGrey;
    mShowLevelLine = false;
    mBarRadius = 2;
    mBarWidth = 0;
    mLabelMarginTop = 2;
    mBarBackgroundColor = GRChartColors::kLightGrey;
    mLabelTextColor = GRChartColors::kGreyColor;
    mLabelFont = platform::ui::Font::systemFont(11);
    mXLabelSkip = 1;
    mYLabelSum = 4;
    mYMaxValue = 0;
    mYMinValue = 0;
    mRotateForXAxisText = false;
    mIsGradientShow = true;
    mIsShowNumbers = true;
    mXChartLabels.clear();
    mYChartLabels.clear();
    mBars.clear();
}

void GRBarChart::setYValues(std::vector<double> values) {
    mYValues = std::move(values);
    if (mShowLabel) {
        addYCoordinateLabelsValues();
    } else {
        processYMaxValue();
    }
}

void GRBarChart::updateChartData(std::vector<double> values) {
    setYValues(std::move(values));
    updateBar();
}

float GRBarChart::getYValueMax(const std::vector<double>& values) const {
    float max = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float value = static_cast<float>(values[i]);
        if (i == 0 || value > max) max = value;
    }
    return max == 0 ? static_cast<float>(mYMinValue) : max;
}

void GRBarChart::processYMaxValue() {
    const std::vector<double>& source = mYLabels ? *mYLabels : mYValues;
    if (mYLabels) mYLabelSum = static_cast<std::int64_t>(mYLabels->size()) - 1;
    mYValueMax = mYMaxValue != 0 ? static_cast<float>(mYMaxValue) : getYValueMax(source);
    if (mYLabelSum == 4) {
        const auto count = static_cast<std::int64_t>(source.size());
        mYLabelSum = count % 2 == 1 ? count + 1 : count;
    }
}

void GRBarChart::addYCoordinateLabelsValues() {
    viewCleanupForCollection(mYChartLabels);
    processYMaxValue();
    // No steps (no values) draws no axis rather than labels of 0 / 0.
    if (mYLabelSum <= 0) return;
    const Rect f = frame();
    const float stepHeight = static_cast<float>((f.height - mChartMarginTop - mChartMarginBottom - 20) / mYLabelSum);
    for (std::int64_t i = 0; i <= mYLabelSum; ++i) {
        double value;
        if (mYLabels) {
            const auto index = static_cast<std::int64_t>(mYLabels->size()) - 1 - i;
            if (index < 0) break;
            value = (*mYLabels)[static_cast<std::size_t>(index)];
        } else {
            value =
                static_cast<float>(static_cast<float>(mYLabelSum - i) / static_cast<float>(mYLabelSum) * mYValueMax);
        }
        const std::string text = mYLabelPrefix + mYLabelFormatter(value) + mYLabelSuffix;
        auto label = std::make_shared<GRChartLabel>(
            Rect{0, mChartMarginTop + i * stepHeight - 5.5 + 20 + mLabelMarginTop, mYChartLabelWidth, 11});
        label->setFont(mLabelFont);
        if (mLabelTextColor) label->setTextColor(*mLabelTextColor);
        label->setTextAlignment(platform::TextAlignment::right);
        label->setText(text);
        addSubview(label);
        mYChartLabels.push_back(label);
    }
}

void GRBarChart::setXLabels(std::vector<std::string> labels) {
    mXLabels = std::move(labels);
    viewCleanupForCollection(mXChartLabels);
    const Rect f = frame();
    // No labels: no slots, rather than slots of infinite width.
    mXLabelWidth = mXLabels.empty() ? 0 : (f.width - mChartMarginLeft - mChartMarginRight) / mXLabels.size();
    if (!mShowLabel || mXLabels.empty()) return;
    std::int64_t counter = 0;
    for (std::size_t index = 0; index < mXLabels.size(); ++index) {
        ++counter;
        if (counter != mXLabelSkip) continue;
        counter = 0;
        auto label = std::make_shared<GRChartLabel>(Rect{0, 0, mXLabelWidth, 20});
        label->setFont(mLabelFont);
        if (mLabelTextColor) label->setTextColor(*mLabelTextColor);
        label->setTextAlignment(platform::TextAlignment::center);
        label->setText(mXLabels[index]);
        double centerX;
        if (mRotateForXAxisText) {
            label->setTransform(platform::AffineTransform::rotation(std::numbers::pi / 4));
            centerX = mChartMarginLeft + index * mXLabelWidth + mXLabelWidth / 1.5;
        } else {
            centerX = mChartMarginLeft + index * mXLabelWidth + mXLabelWidth / 2;
        }
        label->setCenter({centerX, f.height - mChartMarginTop + 20.0 / 2 + mLabelMarginTop});
        mXChartLabels.push_back(label);
        addSubview(label);
    }
}

std::optional<Color> GRBarChart::barColorAtIndex(std::size_t index) const {
    if (mStrokeColors.size() == mYValues.size() && index < mStrokeColors.size()) return mStrokeColors[index];
    return mStrokeColor;
}

void GRBarChart::updateBar() {
    const Rect f = frame();
    const double canvasHeight = f.height - mChartMarginTop - mChartMarginBottom - 20;
    // Another number of values gets new bars, not new ones beside the old.
    if (mBars.size() != mYValues.size()) {
        for (const auto& bar : mBars) bar->removeFromSuperview();
        mBars.clear();
    }
    const bool reuse = !mBars.empty();
    for (std::size_t i = 0; i < mYValues.size(); ++i) {
        const double value = mYValues[i];
        Rect slot;
        if (mBarWidth != 0) {
            slot.x = mChartMarginLeft + i * mXLabelWidth + mXLabelWidth / 2 - mBarWidth / 2;
            slot.width = mBarWidth;
        } else {
            slot.x = mChartMarginLeft + i * mXLabelWidth + mXLabelWidth / 4;
            slot.width = mShowLabel ? mXLabelWidth / 2 : mXLabelWidth * 0.6;
        }
        slot.y = f.height - canvasHeight - 20 - mChartMarginBottom + mChartMarginTop;
        slot.height = mShowLevelLine ? canvasHeight / 2 : canvasHeight;

        std::shared_ptr<GRBar> bar;
        if (reuse) {
            bar = mBars[i];
            // A reused bar starts upright in its slot, so a sign change
            // flips it once and never twice.
            bar->setTransform(platform::AffineTransform::identity());
            bar->setFrame(slot);
        } else {
            bar = std::make_shared<GRBar>(slot);
            bar->setBarRadius(mBarRadius);
            bar->setDisplayAnimated(displayAnimated());
            bar->setBackgroundColor(mBarBackgroundColor);
            bar->setBarColor(mStrokeColor ? mStrokeColor : barColorAtIndex(i));
            if (mLabelTextColor) bar->setLabelTextColor(mLabelTextColor);
            if (mIsGradientShow) bar->setBarColorGradientStart(bar->barColor());
            bar->setTag(static_cast<std::int64_t>(i));
            mBars.push_back(bar);
            addSubview(bar);
        }
        const float share = static_cast<float>(value) / mYValueMax;
        bar->setMaxDivisor(mYValueMax);
        bar->setGrade(std::isnan(share) ? 0 : std::fabs(share));
        bar->setIsShowNumber(mIsShowNumbers);
        if (std::signbit(value) && mShowLevelLine) {
            bar->setTransform(platform::AffineTransform::rotation(std::numbers::pi));
            const Point center = bar->center();
            bar->setCenter({center.x, center.y + slot.height});
            bar->setIsNegative(true);
        }
    }
}

std::shared_ptr<ShapeLayer> GRBarChart::axisLine(Point from, Point to, const Color& color) {
    auto line = ShapeLayer::make();
    line->setLineCap(platform::LineCap::butt);
    line->setFillColor(GRChartColors::kWhite);
    line->setLineWidth(1);
    line->setStrokeEnd(0);
    platform::Path path;
    path.moveTo(from);
    path.lineTo(to);
    line->setPath(std::move(path));
    line->setStrokeColor(color);
    line->setStrokeEnd(1);
    return line;
}

void GRBarChart::drawChart() {
    for (const auto& bar : mBars) bar->removeFromSuperview();
    mBars.clear();
    updateBar();
    // Lines of an earlier drawing go; a redraw makes them anew.
    for (auto* line : {&mChartBottomLine, &mChartLeftLine}) {
        if (*line) (*line)->removeFromSuperlayer();
        line->reset();
    }
    if (mChartLevelLine) mChartLevelLine->removeFromSuperlayer();
    mChartLevelLine.reset();
    if (!mShowChartBorder) return;
    const Rect f = frame();
    const double baseY = f.height - 20 - mChartMarginBottom + mChartMarginTop;
    mChartBottomLine = axisLine({mChartMarginLeft, baseY}, {f.width - mChartMarginRight, baseY}, mChartBorderColor);
    layer()->addSublayer(mChartBottomLine);
    mChartLeftLine = axisLine({mChartMarginLeft, baseY}, {mChartMarginLeft, mChartMarginTop}, mChartBorderColor);
    addBorderAnimationIfNeeded();
    layer()->addSublayer(mChartLeftLine);
    if (mShowLevelLine) {
        const double levelY = (f.height - 20) / 2;
        mChartLevelLine = axisLine({mChartMarginLeft, levelY}, {f.width - mChartMarginLeft - mChartMarginRight, levelY},
                                   GRChartColors::kLightGrey);
        addSeparatorAnimationIfNeeded();
        layer()->addSublayer(mChartLevelLine);
    }
}

void GRBarChart::addBorderAnimationIfNeeded() {
    if (!displayAnimated()) return;
    mChartBottomLine->addAnimation(strokeEndAnimation(), "strokeEndAnimation");
    mChartLeftLine->addAnimation(strokeEndAnimation(), "strokeEndAnimation");
}

void GRBarChart::addSeparatorAnimationIfNeeded() {
    if (!displayAnimated()) return;
    mChartLevelLine->addAnimation(strokeEndAnimation(), "strokeEndAnimation");
}

void GRBarChart::touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    touchPoint(touches);
    GRGenericChart::touchesBegan(touches, event);
}

void GRBarChart::touchPoint(const platform::ui::TouchSet& touches) {
    if (touches.empty()) return;
    const Point location = touches.front()->locationInView(this);
    if (auto bar = std::dynamic_pointer_cast<GRBar>(hitTest(location, nullptr))) {
        if (auto d = delegate()) d->chartTappedOnBarAtIndex(bar->tag());
    }
}
