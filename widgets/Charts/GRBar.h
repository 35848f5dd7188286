#pragma once
// One bar of a bar chart: a view whose shape layer is a vertical line as
// wide as the bar, stroked from the bottom up to the bar's share of the
// height, with an optional highlight gradient and its number.

#include "platform/graphics/Color.h"
#include "platform/ui/core/Animation.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"
#include "platform/ui/views/View.h"

#include <memory>
#include <optional>
#include <string>

class GRBar : public platform::ui::View {
public:
    explicit GRBar(const platform::Rect& frame);

    // The bar's height as a share of the view's height, 0 to 1; a change
    // grows the bar in (from 0) or moves it (from another share).
    float grade() const { return mGrade; }
    void setGrade(float grade);
    // The value a full bar stands for, for the number shown.
    float maxDivisor() const { return mMaxDivisor; }
    void setMaxDivisor(float divisor) { mMaxDivisor = divisor; }
    float copyGrade() const { return mCopyGrade; }

    const std::shared_ptr<platform::ui::ShapeLayer>& chartLine() const { return mChartLine; }
    const std::optional<platform::Color>& barColor() const { return mBarColor; }
    void setBarColor(std::optional<platform::Color> color) { mBarColor = color; }
    const std::optional<platform::Color>& barColorGradientStart() const { return mBarColorGradientStart; }
    void setBarColorGradientStart(std::optional<platform::Color> color);
    double barRadius() const { return mBarRadius; }
    void setBarRadius(double radius);
    const std::shared_ptr<platform::ui::ShapeLayer>& gradientMask() const { return mGradientMask; }
    const std::shared_ptr<platform::ui::GradientLayer>& gradientLayer() const { return mGradientLayer; }
    // Made on first use, hidden until the number is shown.
    const std::shared_ptr<platform::ui::TextLayer>& textLayer();
    const std::optional<platform::Color>& labelTextColor() const { return mLabelTextColor; }
    void setLabelTextColor(std::optional<platform::Color> color);
    bool isShowNumber() const { return mIsShowNumber; }
    void setIsShowNumber(bool show);
    bool isNegative() const { return mIsNegative; }
    // True writes the number as negative and turns it upright on the
    // turned bar; false does nothing.
    void setIsNegative(bool negative);
    bool displayAnimated() const { return mDisplayAnimated; }
    void setDisplayAnimated(bool animated) { mDisplayAnimated = animated; }

    // Places the number above the bar, or in it when it fits.
    void setGradeFrame(double grade, double startPosY);
    // Fades the stroke colour to clear.
    void rollBack();

    std::string className() const override { return "GRBar"; }

private:
    std::shared_ptr<platform::ui::Animation> fadeAnimation() const;
    void addAnimationIfNeededWithProgressLine(const platform::Path& path);
    void addRotationAnimationIfNeeded();
    // Sets the text and sizes the text layer; keeps its position.
    platform::Size setNumberText(std::string text);

    float mGrade = 0;
    float mMaxDivisor = 0;
    float mCopyGrade = 0;
    std::shared_ptr<platform::ui::ShapeLayer> mChartLine;
    std::optional<platform::Color> mBarColor;
    std::optional<platform::Color> mBarColorGradientStart;
    double mBarRadius = 2;
    std::shared_ptr<platform::ui::ShapeLayer> mGradientMask;
    std::shared_ptr<platform::ui::GradientLayer> mGradientLayer;
    std::shared_ptr<platform::ui::TextLayer> mTextLayer;
    std::optional<platform::Color> mLabelTextColor;
    bool mIsShowNumber = false;
    bool mIsNegative = false;
    bool mDisplayAnimated = true;
};
