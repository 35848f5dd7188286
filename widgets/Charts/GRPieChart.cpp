#include "widgets/Charts/GRPieChart.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/Touch.h"
#include "widgets/Charts/GRChartColors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <numbers>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::ImageView;
using platform::ui::Label;
using platform::ui::ShapeLayer;
using platform::ui::View;

namespace {

constexpr double kPi = std::numbers::pi;

std::string formatValue(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

}  // namespace

std::shared_ptr<GRPieChart> GRPieChart::make(const Rect& frame, Items items) {
    auto chart = std::make_shared<GRPieChart>(frame);
    chart->mItems = std::move(items);
    chart->baseInit();
    return chart;
}

GRPieChart::GRPieChart(const Rect& frame) : GRGenericChart(frame) {}

void GRPieChart::baseInit() {
    mSelectedItems.clear();
    recompute();
    mDescriptionTextFont = platform::ui::Font::namedOrSystem("Avenir-Medium", 18);
    mDescriptionTextColor = GRChartColors::kWhite;
    mDescriptionTextShadowColor = Color{0, 0, 0, 0.4};
    mDescriptionTextShadowOffset = Size{0, 1};
    mDuration = 1.0;
    mShowOnlyValues = false;
    mShowAbsoluteValues = false;
    mLabelPercentageCutoff = 0;
    mShouldHighlightSectorOnTouch = true;
    mEnableMultipleSelection = false;
    mHideValues = false;
    setupDefaultValues();
    loadDefault();
}

void GRPieChart::recompute() {
    const Rect b = bounds();
    const double side = std::min(b.width, b.height);
    mOuterCircleRadius = side / 2;
    mInnerCircleRadius = side / 6;
}

void GRPieChart::loadDefault() {
    float total = 0;
    for (const auto& item : mItems) total += static_cast<float>(item->value);
    mEndPercentages.clear();
    double running = 0;
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        if (total != 0) {
            running += mItems[i]->value;
            mEndPercentages.push_back(running / total);
        } else {
            mEndPercentages.push_back(static_cast<double>(i + 1) / static_cast<double>(mItems.size()));
        }
    }
    // The content is built afresh in one kept view: a new subview would mark
    // the chart for layout again from inside its own layout pass.
    if (!mContentView) {
        mContentView = std::make_shared<View>(bounds());
        addSubview(mContentView);
    } else {
        for (const auto& view : mContentView->subviews()) view->removeFromSuperview();
        for (const auto& layer : mContentView->layer()->sublayers()) layer->removeFromSuperlayer();
        mContentView->setFrame(bounds());
    }
    mDescriptionLabels.clear();
    mPieLayer = ShapeLayer::make();
    mContentView->layer()->addSublayer(mPieLayer);
}

void GRPieChart::drawChart() {
    loadDefault();
    recompute();
    // Highlights went with the old content: the next tap selects afresh.
    mSelectedItems.clear();
    mSectorHighlight.reset();
    const double radius = mInnerCircleRadius + (mOuterCircleRadius - mInnerCircleRadius) / 2;
    const double width = mOuterCircleRadius - mInnerCircleRadius;
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        mPieLayer->addSublayer(newCircleLayerWithRadius(radius, width, GRChartColors::kClear, mItems[i]->color,
                                                        startPercentageForItemAtIndex(i),
                                                        endPercentageForItemAtIndex(i)));
    }
    maskChart();
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        auto label = descriptionLabelForItemAtIndex(i);
        mContentView->addSubview(label);
        mDescriptionLabels.push_back(label);
    }
    addAnimationIfNeeded();
}

void GRPieChart::layoutSubviews() {
    GRGenericChart::layoutSubviews();
    drawChart();
}

double GRPieChart::startPercentageForItemAtIndex(std::size_t index) const {
    return index == 0 ? 0 : static_cast<float>(mEndPercentages.at(index - 1));
}

double GRPieChart::endPercentageForItemAtIndex(std::size_t index) const {
    return static_cast<float>(mEndPercentages.at(index));
}

double GRPieChart::ratioForItemAtIndex(std::size_t index) const {
    return endPercentageForItemAtIndex(index) - startPercentageForItemAtIndex(index);
}

std::shared_ptr<ShapeLayer> GRPieChart::newCircleLayerWithRadius(double radius, double borderWidth,
                                                                 const Color& fillColor, const Color& borderColor,
                                                                 double startPercentage, double endPercentage) {
    auto circle = ShapeLayer::make();
    const Rect b = bounds();
    platform::Path path;
    path.addArc({b.width / 2, b.height / 2}, radius, -kPi / 2, 3 * kPi / 2, true);
    circle->setFillColor(fillColor);
    circle->setStrokeColor(borderColor);
    circle->setStrokeStart(startPercentage);
    circle->setStrokeEnd(endPercentage);
    circle->setLineWidth(borderWidth);
    circle->setPath(std::move(path));
    return circle;
}

void GRPieChart::maskChart() {
    const double radius = mInnerCircleRadius + (mOuterCircleRadius - mInnerCircleRadius) / 2;
    const double width = mOuterCircleRadius - mInnerCircleRadius;
    mPieLayer->setMask(newCircleLayerWithRadius(radius, width, GRChartColors::kClear, GRChartColors::kBlack, 0, 1));
}

std::shared_ptr<Label> GRPieChart::descriptionLabelForItemAtIndex(std::size_t index) {
    auto label = std::make_shared<Label>(Rect{0, 0, 100, 80});
    const auto& item = mItems[index];
    const std::string valueText = mShowAbsoluteValues ? formatValue("%.0f", item->value)
                                                      : formatValue("%.0f%%", ratioForItemAtIndex(index) * 100);
    std::string text;
    if (mHideValues) {
        text = item->textDescription.value_or("");
    } else if (!item->textDescription) {
        text = valueText;
    } else if (mShowOnlyValues) {
        text = valueText;
    } else {
        text = valueText + "\n" + *item->textDescription;
    }
    if (ratioForItemAtIndex(index) < mLabelPercentageCutoff) text.clear();

    const double angle = 2 * kPi * (startPercentageForItemAtIndex(index) + endPercentageForItemAtIndex(index)) / 2;
    const double distance = mInnerCircleRadius + (mOuterCircleRadius - mInnerCircleRadius) / 2;
    const Point center{mOuterCircleRadius + distance * std::sin(angle),
                       mOuterCircleRadius - distance * std::cos(angle)};

    label->setFont(mDescriptionTextFont);
    const double height = platform::ui::boundingSize(text, mDescriptionTextFont, 0).height;
    label->setText(std::move(text));
    label->setFrame({0, 0, 100, height});
    label->setNumberOfLines(0);
    label->setTextColor(mDescriptionTextColor);
    label->setShadowColor(mDescriptionTextShadowColor);
    label->setShadowOffset(mDescriptionTextShadowOffset);
    label->setTextAlignment(platform::TextAlignment::center);
    label->setCenter(center);
    label->setAlpha(0);
    label->setBackgroundColor(std::nullopt);
    return label;
}

void GRPieChart::addAnimationIfNeeded() {
    if (!displayAnimated()) {
        for (const auto& label : mDescriptionLabels) label->setAlpha(1);
        return;
    }
    auto animation = platform::ui::BasicAnimation::make("strokeEnd");
    animation->setFromValue(0.0);
    animation->setToValue(1.0);
    animation->setDuration(mDuration);
    animation->setTimingFunction(platform::ui::MediaTimingFunction::easeInEaseOut());
    animation->setRemovedOnCompletion(true);
    animation->setDelegate(std::weak_ptr<AnimationDelegate>(std::static_pointer_cast<GRPieChart>(sharedView())));
    mRevealAnimation = animation;
    mPieLayer->mask()->addAnimation(animation, "circleAnimation");
}

void GRPieChart::animationDidStop(platform::ui::Animation& animation, bool finished) {
    (void)finished;
    // The sweep of an earlier stroke, dropped with its ring, does not show
    // the labels of the new one before their sweep.
    if (&animation != mRevealAnimation.get()) return;
    for (const auto& label : mDescriptionLabels) {
        std::weak_ptr<Label> weak = label;
        View::animate(0.2, [weak] {
            if (auto shown = weak.lock()) shown->setAlpha(1);
        });
    }
}

void GRPieChart::touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    (void)event;
    for (const auto& touch : touches) didTouchAt(touch->locationInView(mContentView.get()));
}

double GRPieChart::findPercentageOfAngleInCircle(Point center, Point point) {
    // Clockwise from the top on a y-down screen; atan2 keeps the quadrant,
    // the vertical through the centre included.
    double share = std::atan2(point.x - center.x, center.y - point.y) / (2 * kPi);
    if (share < 0) share += 1;
    return share;
}

std::shared_ptr<ShapeLayer> GRPieChart::highlightLayerForItem(std::size_t index) {
    Color color = mItems[index]->color;
    color.alpha /= 2;
    return newCircleLayerWithRadius(mOuterCircleRadius + 5, 10, GRChartColors::kClear, color,
                                    startPercentageForItemAtIndex(index), endPercentageForItemAtIndex(index));
}

void GRPieChart::didTouchAt(Point point) {
    if (mItems.empty()) return;
    const Rect b = mContentView->bounds();
    const Point center{b.width / 2, b.height / 2};
    const float distance = std::hypot(static_cast<float>(point.x - center.x), static_cast<float>(point.y - center.y));
    if (mInnerCircleRadius > distance) {
        if (auto d = delegate()) d->didUnselectPieItem();
        if (mSectorHighlight) mSectorHighlight->removeFromSuperlayer();
        return;
    }
    const double share = findPercentageOfAngleInCircle(center, point);
    std::size_t index = mItems.size() - 1;
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        if (!(endPercentageForItemAtIndex(i) < share)) {
            index = i;
            break;
        }
    }
    if (auto d = delegate()) d->chartTappedOnPieIndexItem(static_cast<std::int64_t>(index));
    if (!mShouldHighlightSectorOnTouch) return;
    if (!mEnableMultipleSelection && mSectorHighlight) mSectorHighlight->removeFromSuperlayer();
    mSectorHighlight = highlightLayerForItem(index);
    if (mEnableMultipleSelection) {
        const std::string key = std::to_string(static_cast<int>(index));
        const auto found = mSelectedItems.find(key);
        if (found != mSelectedItems.end()) {
            found->second->removeFromSuperlayer();
            mSelectedItems.erase(found);
        } else {
            mSelectedItems[key] = mSectorHighlight;
            mContentView->layer()->addSublayer(mSectorHighlight);
        }
    } else {
        mContentView->layer()->addSublayer(mSectorHighlight);
    }
}

void GRPieChart::highlightAtIndex(int index) {
    if (mSectorHighlight) mSectorHighlight->removeFromSuperlayer();
    if (index < 0 || static_cast<std::size_t>(index) >= mItems.size()) return;
    mSectorHighlight = highlightLayerForItem(static_cast<std::size_t>(index));
    mContentView->layer()->addSublayer(mSectorHighlight);
}

std::shared_ptr<View> GRPieChart::getLegendWithMaxWidth(double maxWidth) {
    if (mItems.empty()) return nullptr;
    const auto font = legendFontOrDefault();
    const Color textColor = legendFontColorOrDefault();
    const bool serial = legendStyle() == 1;
    const float measureWidth = serial ? FLT_MAX : static_cast<float>(maxWidth - 16);
    const double h0 = sizeOfString("Test", FLT_MAX, font).height;
    constexpr double kDot = 9.6;

    double x = 0;
    double y = 0;
    long rowWidth = 0;
    long rowHeight = 0;
    float legendWidth = 0;
    double legendHeight = 0;
    std::vector<std::shared_ptr<View>> parts;
    for (const auto& item : mItems) {
        if (!item->textDescription) break;
        const Size size = sizeOfString(*item->textDescription, measureWidth, font);
        if (size.width + rowWidth + 16 > maxWidth && serial) {
            y += rowHeight;
            x = 0;
            rowWidth = 0;
            rowHeight = 0;
        }
        rowWidth = static_cast<long>(rowWidth + size.width + 16);
        parts.push_back(drawInflexion(kDot, {x + 8, y + h0 / 2}, item->color));
        auto label = std::make_shared<Label>(Rect{x + 16, y, size.width, size.height});
        label->setText(*item->textDescription);
        label->setFont(font);
        label->setTextColor(textColor);
        label->setLineBreakMode(platform::LineBreakMode::wordWrapping);
        label->setNumberOfLines(0);
        parts.push_back(label);
        legendWidth = serial ? std::max(legendWidth, static_cast<float>(rowWidth))
                             : std::max(legendWidth, static_cast<float>(size.width + 16));
        rowHeight = static_cast<long>(std::max(static_cast<double>(rowHeight), size.height));
        if (serial) {
            x += size.width + 16;
            legendHeight = std::max(legendHeight, y + rowHeight);
        } else {
            y += size.height;
            legendHeight += size.height;
        }
    }
    auto legend = std::make_shared<View>(Rect{0, 0, legendWidth, legendHeight});
    for (const auto& part : parts) legend->addSubview(part);
    return legend;
}

std::shared_ptr<ImageView> GRPieChart::drawInflexion(double diameter, Point center, const Color& color) {
    auto bitmap =
        platform::BitmapContext::createForPointSize({diameter, diameter}, platform::ui::Screen::mainScreen()->scale());
    if (bitmap) {
        bitmap->setFillColor(color);
        bitmap->addEllipseInRect({0, 0, diameter, diameter});
        bitmap->fill();
    }
    auto view = std::make_shared<ImageView>(bitmap ? bitmap->makeImage() : nullptr);
    view->setFrame({center.x - diameter / 2, center.y - diameter / 2, diameter, diameter});
    return view;
}
