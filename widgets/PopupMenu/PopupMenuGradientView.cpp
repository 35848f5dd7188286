#include "widgets/PopupMenu/PopupMenuGradientView.h"

using platform::Point;

PopupMenuGradientView::PopupMenuGradientView(const platform::Rect& frame)
    : View(platform::ui::GradientLayer::make(), frame) {}

platform::ui::GradientLayer& PopupMenuGradientView::gradientLayer() const {
    return static_cast<platform::ui::GradientLayer&>(*layer());
}

void PopupMenuGradientView::setStartColor(const platform::Color& color) {
    mStartColor = color;
    updateColors();
}

void PopupMenuGradientView::setEndColor(const platform::Color& color) {
    mEndColor = color;
    updateColors();
}

void PopupMenuGradientView::updateColors() { gradientLayer().setColors({mStartColor, mEndColor}); }

void PopupMenuGradientView::updatePoints() {
    auto& gradient = gradientLayer();
    if (mHorizontalMode) {
        gradient.setStartPoint(mDiagonalMode ? Point{1, 0} : Point{0, 0.5});
        gradient.setEndPoint(mDiagonalMode ? Point{0, 1} : Point{1, 0.5});
    } else {
        gradient.setStartPoint(mDiagonalMode ? Point{0, 0} : Point{0.5, 0});
        gradient.setEndPoint(mDiagonalMode ? Point{1, 1} : Point{0.5, 1});
    }
}

void PopupMenuGradientView::layoutSubviews() {
    updatePoints();
    gradientLayer().setLocations({mStartLocation, mEndLocation});
    updateColors();
}
