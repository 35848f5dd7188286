#include "app/Utilities/Views/ZDThreeDotProgressView.h"

#include <chrono>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/ui/core/Layer.h"

namespace {

using platform::ui::View;
using platform::ui::ViewAnimationOptions;

constexpr double kGrowSeconds = 0.15;
constexpr double kShrinkSeconds = 0.3;
constexpr double kCornerRadiusDivisor = 7.5;

platform::Clock::Duration seconds(double value) {
    return std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(value));
}

platform::Rect grown(const platform::Rect& frame, double by) {
    return {frame.x - by / 2, frame.y - by / 2, frame.width + by, frame.height + by};
}

}  // namespace

ZDThreeDotProgressCircleView::ZDThreeDotProgressCircleView(const platform::Rect& frame) : View(frame) {
    setOpaque(false);
    setNeedsDisplay();
}

void ZDThreeDotProgressCircleView::drawRect(platform::Context& context, const platform::Rect& rect) {
    context.setFillColor(platform::Color::white(1));
    context.beginPath();
    context.addEllipseInRect(rect);
    context.fill();
}

ZDThreeDotProgressView::ZDThreeDotProgressView(const platform::Rect& frame, double pointDiameter, double interval)
    : View(frame), mInterval(interval), mPointDiameter(pointDiameter) {
    for (auto& circle : mCircles) {
        circle = std::make_shared<ZDThreeDotProgressCircleView>(platform::Rect{0, 0, pointDiameter, pointDiameter});
    }
}

std::shared_ptr<ZDThreeDotProgressView> ZDThreeDotProgressView::make(const platform::Rect& frame, double pointDiameter,
                                                                     double interval) {
    auto view = std::make_shared<ZDThreeDotProgressView>(frame, pointDiameter, interval);
    view->layOutCircles();
    view->startAnimating();
    return view;
}

platform::Size ZDThreeDotProgressView::intrinsicContentSize() const { return frame().size(); }

void ZDThreeDotProgressView::layOutCircles() {
    setBackgroundColor(platform::Color{0, 0, 0, 0.5});
    layer()->setCornerRadius(frame().width / kCornerRadiusDivisor);
    // About the middle of the view's own bounds, wherever its frame lies.
    const platform::Rect area = bounds();
    const platform::Point middle{area.x + area.width / 2, area.y + area.height / 2};
    const double offsets[3] = {-2 * mPointDiameter, 0, 2 * mPointDiameter};
    for (std::size_t i = 0; i < mCircles.size(); ++i) {
        mCircles[i]->setCenter({middle.x + offsets[i], middle.y});
        addSubview(mCircles[i]);
    }
}

void ZDThreeDotProgressView::startAnimating() {
    mAnimating = true;
    mStep = 0;
    // A step must take some time: without one the dots stay still.
    if (!(mInterval > 0)) return;
    auto self = std::static_pointer_cast<ZDThreeDotProgressView>(sharedView());
    platform::DispatchQueue::main().asyncAfter(seconds(mInterval / 2), [self] {
        platform::RunLoop::main()->scheduleTimer(seconds(self->mInterval), true,
                                                 [self](platform::RunLoop::Timer& timer) {
                                                     if (!self->tick()) timer.cancel();
                                                 });
    });
}

bool ZDThreeDotProgressView::tick() {
    if (mStep < mCircles.size()) {
        pulse(*mCircles[mStep]);
        ++mStep;
        return true;
    }
    // A quiet tick between rounds; the last one when stopped.
    if (!mAnimating) return false;
    mStep = 0;
    return true;
}

void ZDThreeDotProgressView::pulse(View& circle) const {
    auto dot = std::static_pointer_cast<View>(circle.sharedView());
    const double by = mPointDiameter;
    View::animate(
        kGrowSeconds, 0, ViewAnimationOptions::curveEaseIn, [dot, by] { dot->setFrame(grown(dot->frame(), by)); },
        [dot, by](bool) {
            View::animate(kShrinkSeconds, 0, ViewAnimationOptions::curveEaseOut,
                          [dot, by] { dot->setFrame(grown(dot->frame(), -by)); });
        });
}
