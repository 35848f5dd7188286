#pragma once
// The menu panel's content view: a view backed by a gradient layer from
// startColor to endColor, top to bottom unless horizontal or diagonal.

#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/views/View.h"

#include <memory>

class PopupMenuGradientView : public platform::ui::View {
public:
    explicit PopupMenuGradientView(const platform::Rect& frame = {});

    const platform::Color& startColor() const { return mStartColor; }
    void setStartColor(const platform::Color& color);
    const platform::Color& endColor() const { return mEndColor; }
    void setEndColor(const platform::Color& color);
    double startLocation() const { return mStartLocation; }
    void setStartLocation(double location) { mStartLocation = location; }
    double endLocation() const { return mEndLocation; }
    void setEndLocation(double location) { mEndLocation = location; }
    // Take effect through updatePoints (and every layout pass).
    bool horizontalMode() const { return mHorizontalMode; }
    void setHorizontalMode(bool horizontal) { mHorizontalMode = horizontal; }
    bool diagonalMode() const { return mDiagonalMode; }
    void setDiagonalMode(bool diagonal) { mDiagonalMode = diagonal; }

    void updatePoints();
    platform::ui::GradientLayer& gradientLayer() const;

    void layoutSubviews() override;
    std::string className() const override { return "PopupMenuGradientView"; }

private:
    void updateColors();

    platform::Color mStartColor{0, 0, 0, 1};
    platform::Color mEndColor{1, 1, 1, 1};
    double mStartLocation = 0.05;
    double mEndLocation = 0.95;
    bool mHorizontalMode = false;
    bool mDiagonalMode = false;
};
