#include "platform/ui/views/Switch.h"

#include "platform/ui/core/Layer.h"

namespace platform::ui {

namespace {

constexpr double kThumbSide = Switch::kSize.height - 2 * Switch::kThumbInset;

}  // namespace

std::shared_ptr<Switch> Switch::make() {
    auto s = std::make_shared<Switch>();
    s->installSubviews();
    return s;
}

Switch::Switch() : Switch(Rect{}) {}

Switch::Switch(const Rect& frame)
    : Control(Rect{frame.x, frame.y, kSize.width, kSize.height}),
      mTrack(std::make_shared<View>()),
      mThumb(std::make_shared<View>()) {
    mTrack->setUserInteractionEnabled(false);
    mTrack->layer()->setCornerRadius(kSize.height / 2);
    mThumb->layer()->setCornerRadius(kThumbSide / 2);
    mThumb->layer()->setShadowOpacity(0.2);
    mThumb->layer()->setShadowOffset({0, 2});
    mThumb->layer()->setShadowRadius(2);
    View::performWithoutAnimation([this] { place(); });
}

void Switch::didMoveToSuperview() {
    Control::didMoveToSuperview();
    installSubviews();
}

void Switch::installSubviews() {
    if (mTrack->superview().get() == this) return;
    addSubview(mTrack);
    mTrack->addSubview(mThumb);
}

void Switch::place() {
    mTrack->setFrame({0, 0, kSize.width, kSize.height});
    mTrack->setBackgroundColor(mOn ? mOnTint : kOffTrack);
    mTrack->setAlpha(isEnabled() ? 1 : kDisabledAlpha);
    const double x = mOn ? kSize.width - kThumbInset - kThumbSide : kThumbInset;
    mThumb->setFrame({x, kThumbInset, kThumbSide, kThumbSide});
    mThumb->setBackgroundColor(mThumbTint);
}

void Switch::setOn(bool on, bool animated) {
    if (on == mOn) return;
    mOn = on;
    if (animated) {
        View::animate(kToggleDuration, [this] { place(); });
    } else {
        View::performWithoutAnimation([this] { place(); });
    }
}

void Switch::setOnTintColor(const Color& color) {
    mOnTint = color;
    View::performWithoutAnimation([this] { place(); });
}

void Switch::setThumbTintColor(const Color& color) {
    mThumbTint = color;
    View::performWithoutAnimation([this] { place(); });
}

Size Switch::sizeThatFits(Size size) const {
    (void)size;
    return kSize;
}

void Switch::layoutSubviews() {
    // The track keeps its size whatever the bounds.
    View::performWithoutAnimation([this] { mTrack->setFrame({0, 0, kSize.width, kSize.height}); });
}

void Switch::stateDidChange() {
    View::performWithoutAnimation([this] { mTrack->setAlpha(isEnabled() ? 1 : kDisabledAlpha); });
}

void Switch::endTrackingWithTouch(const Touch* touch, const Event* event) {
    Control::endTrackingWithTouch(touch, event);
    if (!isTouchInside()) return;
    setOn(!mOn, true);
    sendActionsForControlEvents(ControlEvents::valueChanged);
    sendActionsForControlEvents(ControlEvents::primaryActionTriggered);
}

void Switch::describeForDump(std::string& line) const {
    Control::describeForDump(line);
    line += mOn ? " on=true" : " on=false";
}

}  // namespace platform::ui
