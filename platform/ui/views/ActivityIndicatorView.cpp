#include "platform/ui/views/ActivityIndicatorView.h"

#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/ui/core/MediaTime.h"

#include <cmath>
#include <numbers>

namespace platform::ui {

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style) : mStyle(style) {
    const Size size = intrinsicContentSize();
    setFrame({0, 0, size.width, size.height});
    setUserInteractionEnabled(false);
    setHidden(true);
    setNeedsDisplay();
}

ActivityIndicatorView::~ActivityIndicatorView() = default;

void ActivityIndicatorView::setStyle(ActivityIndicatorViewStyle style) {
    mStyle = style;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void ActivityIndicatorView::setColor(const Color& color) {
    mColor = color;
    setNeedsDisplay();
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    mHidesWhenStopped = hides;
    if (!isAnimating()) setHidden(hides);
}

Size ActivityIndicatorView::intrinsicContentSize() const {
    const double side = mStyle == ActivityIndicatorViewStyle::large ? kLargeSide : kMediumSide;
    return {side, side};
}

void ActivityIndicatorView::startAnimating() {
    if (isAnimating()) return;
    setHidden(false);
    mStart = currentMediaTime();
    mLink = std::make_unique<DisplayLink>([this](const DisplayLink::Frame&) {
        // A frame that falls on a step's time shows that step, whatever the
        // rounding of the times.
        const double steps = (currentMediaTime() - mStart) * kStepsPerSecond;
        const int step = static_cast<int>(std::floor(steps + 1e-6)) % kSpokes;
        if (step == mStep) return;
        mStep = step;
        setNeedsDisplay();
    });
    // In every mode: it turns while a finger is down too.
    mLink->addToRunLoop(RunLoop::main(), RunLoopMode::Common);
}

void ActivityIndicatorView::stopAnimating() {
    if (!isAnimating()) return;
    mLink.reset();
    if (mHidesWhenStopped) setHidden(true);
}

void ActivityIndicatorView::drawRect(Context& context, const Rect& rect) {
    (void)rect;
    const Rect b = bounds();
    const double side = std::min(b.width, b.height);
    const double outer = side / 2;
    const double inner = outer * 0.45;
    context.save();
    context.translate(b.minX() + b.width / 2, b.minY() + b.height / 2);
    context.setLineWidth(side * 0.09);
    context.setLineCap(LineCap::round);
    for (int i = 0; i < kSpokes; ++i) {
        // The brightest spoke, then fading back against the turn.
        const int behind = (mStep - i + kSpokes) % kSpokes;
        Color color = mColor;
        color.alpha *= 1 - 0.75 * behind / (kSpokes - 1);
        const double angle = 2 * std::numbers::pi * i / kSpokes;
        const double sx = std::sin(angle);
        const double sy = -std::cos(angle);
        const double width = side * 0.09;
        context.setStrokeColor(color);
        context.moveTo({sx * (inner + width / 2), sy * (inner + width / 2)});
        context.lineTo({sx * (outer - width / 2), sy * (outer - width / 2)});
        context.stroke();
    }
    context.restore();
}

}  // namespace platform::ui
