#include "widgets/Charts/GRBar.h"

#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/Font.h"
#include "widgets/Charts/GRChartColors.h"

#include <cstdio>
#include <numbers>

using platform::Color;
using platform::Path;
using platform::Rect;
using platform::Size;
using platform::ui::BasicAnimation;
using platform::ui::MediaTimingFunction;
using platform::ui::ShapeLayer;

namespace {

std::string format(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

}  // namespace

GRBar::GRBar(const Rect& frame) : View(frame) {
    mChartLine = ShapeLayer::make();
    mChartLine->setLineCap(platform::LineCap::butt);
    mChartLine->setFillColor(GRChartColors::kWhite);
    mChartLine->setLineWidth(frame.width);
    mChartLine->setStrokeEnd(0);
    setClipsToBounds(true);
    layer()->addSublayer(mChartLine);
    setBarRadius(2);
}

void GRBar::setBarRadius(double radius) {
    mBarRadius = radius;
    layer()->setCornerRadius(radius);
}

void GRBar::setGrade(float grade) {
    mCopyGrade = grade;
    const Rect f = frame();
    Path path;
    path.moveTo({f.width / 2, f.height});
    path.lineTo({f.width / 2, f.height * (1 - grade)});
    addAnimationIfNeededWithProgressLine(path);
    mChartLine->setStrokeColor(mBarColor.value_or(GRChartColors::kGreen));
    if (mGrade == 0) {
        mChartLine->setStrokeEnd(1);
        mChartLine->setPath(path);
        if (mBarColorGradientStart && mBarColor) {
            const Rect b = bounds();
            mGradientMask = ShapeLayer::make();
            mGradientMask->setFillColor(GRChartColors::kClear);
            mGradientMask->setStrokeColor(GRChartColors::kBlack);
            mGradientMask->setLineWidth(f.width);
            mGradientMask->setFrame({0, 0, b.width, b.height});
            mGradientMask->setPath(path);
            mGradientLayer = platform::ui::GradientLayer::make();
            mGradientLayer->setStartPoint({0, 0});
            mGradientLayer->setEndPoint({1, 0});
            mGradientLayer->setFrame({0, 0, b.width, b.height});
            mGradientLayer->setColors({*mBarColor, Color{1, 1, 1, 0.8}, *mBarColor});
            mGradientLayer->setMask(mGradientMask);
            mChartLine->addSublayer(mGradientLayer);
            mGradientMask->setStrokeEnd(1);
            if (auto fade = fadeAnimation()) textLayer()->addAnimation(fade, "fade");
        }
    } else {
        mChartLine->setPath(path);
        if (mBarColorGradientStart) {
            if (mGradientMask) mGradientMask->setPath(path);
            if (auto fade = fadeAnimation()) textLayer()->addAnimation(fade, "fade");
        }
    }
    mGrade = grade;
}

void GRBar::addAnimationIfNeededWithProgressLine(const Path& path) {
    if (!mDisplayAnimated) return;
    std::shared_ptr<BasicAnimation> animation;
    if (mGrade == 0) {
        animation = BasicAnimation::make("strokeEnd");
        animation->setFromValue(0.0);
        animation->setToValue(1.0);
        animation->setDuration(1.0);
        animation->setTimingFunction(MediaTimingFunction::easeInEaseOut());
        mChartLine->addAnimation(animation, "strokeEndAnimation");
    } else {
        animation = BasicAnimation::make("path");
        animation->setFromValue(mChartLine->path());
        animation->setToValue(path);
        animation->setDuration(0.5);
        animation->setAutoreverses(false);
        animation->setTimingFunction(MediaTimingFunction::easeInEaseOut());
        mChartLine->addAnimation(animation, "animationKey");
    }
    if (mGradientMask) mGradientMask->addAnimation(animation, "animationKey");
}

std::shared_ptr<platform::ui::Animation> GRBar::fadeAnimation() const {
    if (!mDisplayAnimated) return nullptr;
    auto fade = BasicAnimation::make("opacity");
    fade->setFromValue(0.0);
    fade->setToValue(1.0);
    fade->setDuration(2.0);
    return fade;
}

void GRBar::setBarColorGradientStart(std::optional<Color> color) {
    for (const auto& layer : mChartLine->sublayers()) layer->removeFromSuperlayer();
    mBarColorGradientStart = color;
    setGrade(mGrade);
}

const std::shared_ptr<platform::ui::TextLayer>& GRBar::textLayer() {
    if (!mTextLayer) {
        mTextLayer = platform::ui::TextLayer::make();
        mTextLayer->setString("0");
        mTextLayer->setAlignmentMode(platform::TextAlignment::center);
        mTextLayer->setForegroundColor(mLabelTextColor.value_or(GRChartColors::kBlack));
        mTextLayer->setHidden(true);
    }
    return mTextLayer;
}

void GRBar::setLabelTextColor(std::optional<Color> color) {
    mLabelTextColor = color;
    if (mTextLayer && color) mTextLayer->setForegroundColor(*color);
}

void GRBar::setIsShowNumber(bool show) {
    mIsShowNumber = show;
    textLayer()->setHidden(!show);
    if (show) setGradeFrame(mCopyGrade, 0);
}

Size GRBar::setNumberText(std::string text) {
    const auto& label = textLayer();
    const Size size = platform::ui::boundingSize(text, platform::ui::Font::systemFont(18), 320);
    label->setString(std::move(text));
    const Rect old = label->frame();
    label->setFrame({old.x, old.y, size.width, size.height});
    return size;
}

void GRBar::setGradeFrame(double grade, double startPosY) {
    (void)startPosY;
    const auto& label = textLayer();
    mChartLine->addSublayer(label);
    label->setFontSize(18);
    const Size text = setNumberText(format("%0.f", mMaxDivisor * grade));
    const Rect b = bounds();
    const double barHeight = b.height * mGrade;
    const float y = static_cast<float>(b.height * (1 - mGrade) +
                                       (text.height < barHeight ? (barHeight - text.height) / 2 : -text.height));
    label->setFrame({(b.width - text.width) / 2, y, text.width, text.height});
}

void GRBar::setIsNegative(bool negative) {
    if (!negative) return;
    mIsNegative = true;
    const Size text = setNumberText(format("- %1.f", mGrade * mMaxDivisor));
    const Rect old = textLayer()->frame();
    textLayer()->setFrame({(bounds().width - text.width) / 2, old.y, text.width, text.height});
    addRotationAnimationIfNeeded();
}

void GRBar::addRotationAnimationIfNeeded() {
    if (!mDisplayAnimated) return;
    auto turn = BasicAnimation::make("transform.rotation.z");
    turn->setToValue(static_cast<double>(static_cast<float>(std::numbers::pi)));
    turn->setDuration(0.1);
    turn->setRepeatCount(0);
    turn->setRemovedOnCompletion(false);
    turn->setFillMode(platform::ui::FillMode::forwards);
    textLayer()->addAnimation(turn, "Rotation");
}

void GRBar::rollBack() {
    auto line = mChartLine;
    View::animate(0.3, 0, platform::ui::ViewAnimationOptions::curveEaseOut,
                  [line] { line->setStrokeColor(GRChartColors::kClear); });
}
