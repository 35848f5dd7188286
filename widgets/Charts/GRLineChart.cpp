#include "widgets/Charts/GRLineChart.h"

#include "platform/foundation/Locale.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/TextLayout.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/Transaction.h"
#include "widgets/Charts/GRChartColors.h"
#include "widgets/Support/NumberFormat.h"

#include <algorithm>
#include <cmath>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::BasicAnimation;
using platform::ui::ShapeLayer;

namespace {

// Whole values are cut toward zero.
double whole(double value) { return std::trunc(value); }

Color withAlpha(Color color, double alpha) {
    color.alpha = alpha;
    return color;
}

}  // namespace

GRLineChart::GRLineChart(const Rect& frame) : GRGenericChart(frame) { setupDefaultValues(); }

void GRLineChart::setupDefaultValues() {
    GRGenericChart::setupDefaultValues();
    setBackgroundColor(GRChartColors::kWhite);
    setClipsToBounds(true);
    setUserInteractionEnabled(true);
    mChartData.clear();
    mXLabels.clear();
    mYLabels.clear();
    mYValueMax = mYValueMin = mYFixedValueMax = mYFixedValueMin = kUnset;
    mYLabelNum = 5;
    mYLabelHeight = 11;  // the point size of an axis label's font
    const Rect f = frame();
    mChartCanvasWidth = f.width - mChartMarginLeft - mChartMarginRight;
    mChartCanvasHeight = f.height - mChartMarginBottom - mChartMarginTop;
    mShowLabel = true;
    mShowGenYLabels = true;
    mShowYGridLines = false;
    mYGridLinesColor.reset();
    mThousandsSeparator = false;
    mShowCoordinateAxis = false;
    mAxisColor = GRChartColors::kAxisGrey;
    mAxisWidth = 1;
    mXUnit.clear();
    mYUnit.clear();
    mYLabelFormat = "%1.f";
    mYLabelBlockFormatter = nullptr;
    mShowSmoothLines = false;
    mPathAnimation.reset();
}

bool GRLineChart::setYLabelFormat(std::string format) {
    if (!NumberFormat::check(format)) return false;
    mYLabelFormat = std::move(format);
    return true;
}

void GRLineChart::removeLabels(std::vector<std::shared_ptr<GRChartLabel>>& labels) {
    for (const auto& label : labels) label->removeFromSuperview();
    labels.clear();
}

void GRLineChart::setCustomStyleForXLabel(GRChartLabel& label) const {
    if (mXLabelFont) label.setFont(*mXLabelFont);
    if (mXLabelColor) label.setTextColor(*mXLabelColor);
}

void GRLineChart::setCustomStyleForYLabel(GRChartLabel& label) const {
    if (mYLabelFont) label.setFont(*mYLabelFont);
    if (mYLabelColor) label.setTextColor(*mYLabelColor);
}

double GRLineChart::computeEqualWidthForXLabels(const std::vector<std::string>& labels) const {
    if (labels.empty()) return 0;
    return (mShowLabel ? mChartCanvasWidth : frame().width) / labels.size();
}

void GRLineChart::setXLabels(const std::vector<std::string>& labels) {
    const double available = mShowLabel ? mChartCanvasWidth : frame().width - mChartMarginLeft - mChartMarginRight;
    // No labels: slots of no width rather than of infinite width.
    setXLabels(labels, labels.empty() ? 0 : available / labels.size());
}

void GRLineChart::setXLabels(const std::vector<std::string>& labels, double width) {
    mXLabels = labels;
    mXLabelWidth = width;
    removeLabels(mXChartLabels);
    if (!mShowLabel) return;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        auto label = std::make_shared<GRChartLabel>(Rect{whole(mChartMarginLeft + i * width),
                                                         whole(mChartMarginBottom + mChartCanvasHeight), whole(width),
                                                         whole(mChartMarginBottom)});
        label->setTextAlignment(platform::TextAlignment::center);
        label->setText(labels[i]);
        setCustomStyleForXLabel(*label);
        addSubview(label);
        mXChartLabels.push_back(label);
    }
}

void GRLineChart::setYLabels(const std::vector<std::string>& labels) {
    mShowGenYLabels = false;
    mYLabelNum = static_cast<std::int64_t>(labels.size());
    const double available = mShowLabel ? mChartCanvasHeight : frame().height;
    setYLabels(labels, labels.empty() ? 0 : available / labels.size());
}

void GRLineChart::setYLabels(const std::vector<std::string>& labels, double height) {
    mYLabels = labels;
    mYLabelHeight = height;
    removeLabels(mYChartLabels);
    if (!mShowLabel || mYLabelNum <= 0) return;
    const double stepHeight = mChartCanvasHeight / mYLabelNum;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const double y = whole(mChartCanvasHeight + mChartMarginTop - i * stepHeight) -
                         static_cast<long long>(whole(mChartMarginBottom)) / 2;
        auto label = std::make_shared<GRChartLabel>(Rect{0, y, whole(mChartMarginLeft) * 0.9, whole(height)});
        label->setTextAlignment(platform::TextAlignment::right);
        label->setText(labels[i]);
        setCustomStyleForYLabel(*label);
        addSubview(label);
        mYChartLabels.push_back(label);
    }
}

void GRLineChart::setYLabels() {
    removeLabels(mYChartLabels);
    // No steps: no labels rather than a division by zero.
    if (mYLabelNum <= 0) return;
    const double stepValue = (mYValueMax - mYValueMin) / mYLabelNum;
    const double stepHeight = mChartCanvasHeight / mYLabelNum;
    auto add = [&](const Rect& frame, double value) {
        auto label = std::make_shared<GRChartLabel>(frame);
        label->setTextAlignment(platform::TextAlignment::right);
        label->setText(formatYLabel(value));
        setCustomStyleForYLabel(*label);
        addSubview(label);
        mYChartLabels.push_back(label);
    };
    if (stepValue != 0) {
        for (std::int64_t i = 0; i <= mYLabelNum; ++i) {
            add({0, whole(mChartCanvasHeight + mChartMarginTop - i * stepHeight), whole(mChartMarginLeft) * 0.9,
                 whole(mYLabelHeight)},
                mYValueMin + i * stepValue);
        }
        return;
    }
    const double width = whole(mChartMarginBottom);
    const double height = whole(mYLabelHeight);
    add({0, whole(mChartCanvasHeight), width, height}, 0);
    add({0, whole(mChartCanvasHeight / 2), width, height}, mYValueMax);
    add({0, 0, width, height}, mYValueMax * 2);
}

std::string GRLineChart::formatYLabel(double value) const {
    if (mYLabelBlockFormatter) return mYLabelBlockFormatter(value);
    if (mThousandsSeparator) return platform::Locale::current().formatDecimal(value);
    return NumberFormat::format(mYLabelFormat, value).value_or("");
}

double GRLineChart::yValuePositionInLineChart(double value) const {
    const double range = mYValueMax - mYValueMin;
    const double share = range == 0 ? 0.5 : (value - mYValueMin) / range;
    return mChartCanvasHeight * (1 - share) - mYLabelHeight / 2 + mChartMarginTop;
}

void GRLineChart::prepareYLabelsWithData() {
    float largest = 0;
    float smallest = FLT_MAX;
    bool any = false;
    for (const auto& line : mChartData) {
        if (!line->getData) continue;
        for (std::size_t i = 0; i < line->itemCount; ++i) {
            const float y = static_cast<float>(line->getData(i).y);
            largest = std::max(largest, y);
            smallest = std::min(smallest, y);
            any = true;
        }
    }
    // Without points the range is empty at 0, not from the largest float.
    if (!any) smallest = 0;
    if (mYValueMin == kUnset) mYValueMin = mYFixedValueMin != kUnset ? mYFixedValueMin : smallest;
    if (mYValueMax == kUnset) mYValueMax = mYFixedValueMax != kUnset ? mYFixedValueMax : largest + largest / 10;
    if (mShowGenYLabels) setYLabels();
}

std::shared_ptr<platform::ui::Animation> GRLineChart::pathAnimation() {
    if (!displayAnimated()) {
        mPathAnimation.reset();
        return nullptr;
    }
    if (!mPathAnimation) {
        mPathAnimation = BasicAnimation::make("strokeEnd");
        mPathAnimation->setFromValue(0.0);
        mPathAnimation->setToValue(1.0);
        mPathAnimation->setDuration(1.0);
        mPathAnimation->setTimingFunction(platform::ui::MediaTimingFunction::easeInEaseOut());
    }
    return mPathAnimation;
}

std::shared_ptr<platform::ui::Animation> GRLineChart::fadeAnimation() const {
    if (!displayAnimated()) return nullptr;
    auto fade = BasicAnimation::make("opacity");
    fade->setFromValue(0.0);
    fade->setToValue(1.0);
    fade->setDuration(2.0);
    return fade;
}

std::shared_ptr<ShapeLayer> GRLineChart::segmentLayer(const GRLineChartData& line, const platform::Path& path,
                                                      const Color& color) const {
    auto layer = ShapeLayer::make();
    layer->setLineCap(platform::LineCap::butt);
    layer->setLineJoin(platform::LineJoin::miter);
    layer->setFillColor(backgroundColor().value_or(GRChartColors::kClear));
    layer->setLineWidth(line.lineWidth);
    layer->setPath(path);
    layer->setStrokeEnd(0);
    layer->setStrokeColor(color);
    return layer;
}

void GRLineChart::drawChart() {
    for (const auto& layers : mChartLineArray) {
        for (const auto& layer : layers) layer->removeFromSuperlayer();
    }
    for (const auto& layer : mChartPointArray) layer->removeFromSuperlayer();
    mChartLineArray.clear();
    mChartPointArray.clear();
    for (const auto& line : mChartData) {
        mChartLineArray.emplace_back();
        auto marker = ShapeLayer::make();
        marker->setStrokeColor(line->color ? withAlpha(*line->color, line->alpha) : GRChartColors::kClear);
        marker->setLineCap(platform::LineCap::round);
        marker->setLineJoin(platform::LineJoin::bevel);
        marker->setFillColor(GRChartColors::kClear);
        marker->setLineWidth(line->lineWidth);
        layer()->addSublayer(marker);
        mChartPointArray.push_back(marker);
    }

    const Rect f = frame();
    if (mShowLabel) {
        mChartCanvasHeight = f.height - mChartMarginBottom - mChartMarginTop;
    } else {
        mChartCanvasHeight = f.height - 2 * mYLabelHeight;
        mChartCanvasWidth = f.width;
        mXLabelWidth = mXLabels.empty() ? 0 : f.width / mXLabels.size();
    }
    prepareYLabelsWithData();
    calculateChartPath();

    for (std::size_t i = 0; i < mChartData.size(); ++i) {
        auto& layers = mChartLineArray[i];
        layers.clear();
        for (std::size_t k = 0; k < mChartPath[i].size(); ++k) {
            auto segment = segmentLayer(*mChartData[i], mChartPath[i][k], mProgressLinePathsColors[i][k]);
            layer()->addSublayer(segment);
            layers.push_back(segment);
        }
    }

    if (!mChartData.empty()) {
        const auto animation = pathAnimation();
        const auto fade = fadeAnimation();
        for (std::size_t i = 0; i < mChartData.size(); ++i) {
            const auto& line = *mChartData[i];
            const auto& marker = mChartPointArray[i];
            marker->setStrokeColor(line.inflexionPointColor ? withAlpha(*line.inflexionPointColor, line.alpha)
                                                            : GRChartColors::kGreen);
            marker->setPath(mPointPath[i]);
            platform::ui::Transaction::begin();
            for (const auto& segment : mChartLineArray[i]) {
                if (animation) segment->addAnimation(animation, "strokeEndAnimation");
                segment->setStrokeEnd(1);
            }
            if (line.inflexionPointStyle != GRLineChartPointStyleNone && animation) {
                marker->addAnimation(animation, "strokeEndAnimation");
            }
            platform::ui::Transaction::commit();
            if (fade) {
                for (const auto& label : mGradeStringPaths[i]) label->addAnimation(fade, "fade");
            }
        }
    }
    setNeedsDisplay();
}

void GRLineChart::updateChartData(Lines lines) {
    // Another number of lines has no layers to animate from.
    if (lines.size() != mChartLineArray.size()) {
        mChartData = std::move(lines);
        drawChart();
        return;
    }
    mChartData = std::move(lines);
    // A kept range would drop new values off the chart: take a new one
    // (and new labels) when they leave it, unless its ends are fixed.
    float low = FLT_MAX;
    float high = -FLT_MAX;
    for (const auto& line : mChartData) {
        if (!line->getData) continue;
        for (std::size_t i = 0; i < line->itemCount; ++i) {
            const float y = static_cast<float>(line->getData(i).y);
            low = std::min(low, y);
            high = std::max(high, y);
        }
    }
    if (low < mYValueMin && mYFixedValueMin == kUnset) mYValueMin = kUnset;
    if (high > mYValueMax && mYFixedValueMax == kUnset) mYValueMax = kUnset;
    prepareYLabelsWithData();
    calculateChartPath();

    auto morph = [](const std::shared_ptr<ShapeLayer>& layer, const platform::Path& path) {
        auto animation = BasicAnimation::make("path");
        animation->setFromValue(layer->path());
        animation->setToValue(path);
        animation->setDuration(0.5);
        animation->setAutoreverses(false);
        animation->setTimingFunction(platform::ui::MediaTimingFunction::easeInEaseOut());
        layer->addAnimation(animation, "animationKey");
        layer->setPath(path);
    };
    for (std::size_t i = 0; i < mChartData.size(); ++i) {
        auto& layers = mChartLineArray[i];
        const auto& paths = mChartPath[i];
        const std::size_t paired = std::min(layers.size(), paths.size());
        for (std::size_t k = 0; k < paired; ++k) {
            morph(layers[k], paths[k]);
            layers[k]->setStrokeColor(mProgressLinePathsColors[i][k]);
        }
        // Segments without a partner: old ones go, new ones show at once.
        for (std::size_t k = paired; k < layers.size(); ++k) layers[k]->removeFromSuperlayer();
        layers.resize(paired);
        for (std::size_t k = paired; k < paths.size(); ++k) {
            auto segment = segmentLayer(*mChartData[i], paths[k], mProgressLinePathsColors[i][k]);
            segment->setStrokeEnd(1);
            layer()->addSublayer(segment);
            layers.push_back(segment);
        }
        morph(mChartPointArray[i], mPointPath[i]);
    }
    setNeedsDisplay();
}

void GRLineChart::drawTextInContext(platform::Context& context, const std::string& text, const Rect& rect,
                                    const platform::ui::Font& font, const std::optional<Color>& color) {
    platform::TextLayoutOptions options;
    options.width = rect.width;
    options.maximumLines = 1;
    options.lineBreakMode = platform::LineBreakMode::truncatingTail;
    options.alignment = platform::TextAlignment::left;
    const auto layout =
        platform::TextLayout::make(text, font.textAttributes(color.value_or(GRChartColors::kBlack)), options);
    context.save();
    context.clipToRect(rect);
    context.drawTextLayout(*layout, rect.origin());
    context.restore();
}

void GRLineChart::drawRect(platform::Context& context, const Rect& rect) {
    if (mShowCoordinateAxis) {
        context.save();
        context.setLineWidth(mAxisWidth);
        context.setStrokeColor(mAxisColor);
        const double w = rect.width - (mChartMarginLeft + mChartMarginRight) / 2;
        const double h = mChartMarginBottom + mChartCanvasHeight;
        const double a = mChartMarginBottom + 10;
        context.beginPath();
        context.moveTo({a - 3, 6});
        context.lineTo({a, 0});
        context.lineTo({a + 3, 6});
        context.moveTo({w - 6, h - 3});
        context.lineTo({w, h});
        context.lineTo({w - 6, h + 3});
        context.stroke();
        // Axes and ticks apart from the slanted arrow heads: a path of
        // upright lines alone is stroked as boxes, far faster for the
        // thousand ticks of a long chart.
        context.beginPath();
        context.moveTo({a, 0});
        context.lineTo({a, h});
        context.lineTo({w, h});
        if (mShowLabel) {
            for (std::size_t i = 0; i < mXLabels.size(); ++i) {
                const double x = 2 * mChartMarginLeft + i * mXLabelWidth;
                context.moveTo({x, h - 2});
                context.lineTo({x, h});
            }
            // One tick per y label row.
            if (mYLabelNum > 0) {
                for (std::size_t i = 0; i < mYChartLabels.size(); ++i) {
                    const double y = mChartCanvasHeight - i * (mChartCanvasHeight / mYLabelNum) + mYLabelHeight / 2;
                    context.moveTo({a, y});
                    context.lineTo({a + 2, y});
                }
            }
        }
        context.stroke();
        const auto font = platform::ui::Font::systemFont(11);
        if (!mYUnit.empty()) {
            const double height = sizeOfString(mYUnit, 30, font).height;
            drawTextInContext(context, mYUnit, {mChartMarginLeft + 15, 0, 30, height}, font, mYLabelColor);
        }
        if (!mXUnit.empty()) {
            const double height = sizeOfString(mXUnit, 25, font).height;
            drawTextInContext(context, mXUnit, {rect.width - mChartMarginLeft + 5, h - height / 2, 25, height}, font,
                              mXLabelColor);
        }
        context.restore();
    }
    if (mShowYGridLines && mYLabelNum > 0) {
        context.save();
        context.setStrokeColor(mYGridLinesColor.value_or(GRChartColors::kLightGreyColor));
        context.setLineWidth(0.5);
        context.setLineCap(platform::LineCap::round);
        context.setLineDash(0, {6, 5});
        const double startX = mChartMarginLeft + (mShowLabel ? 10 : 0);
        context.beginPath();
        for (std::int64_t i = 0; i < mYLabelNum; ++i) {
            const double y = mChartCanvasHeight - i * (mChartCanvasHeight / mYLabelNum) + mYLabelHeight / 2;
            context.moveTo({startX, y});
            context.lineTo({rect.width - mChartMarginLeft + 5, y});
        }
        context.stroke();
        context.restore();
    }
    GRGenericChart::drawRect(context, rect);
}
