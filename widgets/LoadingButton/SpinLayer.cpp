#include "widgets/LoadingButton/SpinLayer.h"

#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/MediaTimingFunction.h"

#include <limits>
#include <numbers>

SpinLayer::SpinLayer(const platform::Rect& buttonFrame) {
    const double side = buttonFrame.height;
    setFrame({0, 0, side, side});
    platform::Path arc;
    const platform::Rect b = bounds();
    arc.addArc({side / 2, (b.minY() + b.maxY()) / 2}, side * kRadiusFraction, -std::numbers::pi / 2,
               3 * std::numbers::pi / 2, true);
    setPath(arc);
    setFillColor(platform::Color::clear());
    setStrokeColor(platform::Color{1, 1, 1, 1});
    setLineWidth(1.0);
    setStrokeEnd(kStrokeEnd);
    setHidden(true);
}

std::shared_ptr<SpinLayer> SpinLayer::make(const platform::Rect& buttonFrame) {
    return std::make_shared<SpinLayer>(buttonFrame);
}

void SpinLayer::beginAnimation() {
    setHidden(false);
    auto rotation = platform::ui::BasicAnimation::make("transform.rotation.z");
    rotation->setToValue(2 * std::numbers::pi);
    rotation->setDuration(kTurnDuration);
    rotation->setTimingFunction(platform::ui::MediaTimingFunction::linear());
    rotation->setRepeatCount(std::numeric_limits<float>::max());
    rotation->setFillMode(platform::ui::FillMode::forwards);
    rotation->setRemovedOnCompletion(false);
    addAnimation(rotation, rotation->keyPath());
}

void SpinLayer::stopAnimation() {
    setHidden(true);
    removeAllAnimations();
}
