#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"

#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/VKMUISound.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/input/LongPressGestureRecognizer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/input/TapGestureRecognizer.h"

using namespace platform::ui;

double VKMLayoutActionButton::side() {
    return Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::tablet ? kTabletSide : kPhoneSide;
}

VKMLayoutActionButton::VKMLayoutActionButton(platform::Point origin)
    : Button(ButtonType::custom, {origin.x, origin.y, side(), side()}) {
    mCircleShapeLayer = ShapeLayer::make();
    mCircleShapeLayer->setStrokeColor(UIColorCColor::vkmActionButtonsTintColor());
    mCircleShapeLayer->setFillColor(platform::Color::white(0.975, 1));
    mCircleShapeLayer->setLineWidth(0.5);
    mCircleShapeLayer->setOpacity(1);
    // Below the image view, which comes with the button's subviews.
    layer()->insertSublayer(mCircleShapeLayer, 0);
    layer()->setShadowColor(SystemColors::kBlack);
    layer()->setShadowOpacity(0.1);
    layer()->setShadowOffset({2, 2});
    layer()->setShadowRadius(2.5);
    setExclusiveTouch(true);
}

std::shared_ptr<VKMLayoutActionButton> VKMLayoutActionButton::make(platform::Point origin) {
    auto button = std::make_shared<VKMLayoutActionButton>(origin);
    button->addRecognizers();
    return button;
}

void VKMLayoutActionButton::addRecognizers() {
    const std::weak_ptr<VKMLayoutActionButton> weak = std::static_pointer_cast<VKMLayoutActionButton>(sharedView());
    auto tap = std::make_shared<TapGestureRecognizer>();
    tap->setCancelsTouchesInView(true);
    tap->addAction([weak](GestureRecognizer&) {
        if (auto self = weak.lock()) self->buttonTapped();
    });
    addGestureRecognizer(tap);
    auto press = std::make_shared<LongPressGestureRecognizer>();
    press->setCancelsTouchesInView(true);
    press->setMinimumPressDuration(kMinimumPressDuration);
    press->addAction([weak](GestureRecognizer& recognizer) {
        if (auto self = weak.lock()) self->buttonLongPressed(recognizer);
    });
    addGestureRecognizer(press);
}

void VKMLayoutActionButton::buttonTapped() {
    if (mPlaysTapSound) VKMUISound::playActionButtonTappedSound();
    if (mTapActionBlock) mTapActionBlock();
}

void VKMLayoutActionButton::buttonLongPressed(GestureRecognizer& recognizer) {
    if (recognizer.state() == GestureRecognizerState::began && mLongPressActionBlock) mLongPressActionBlock();
}

platform::Size VKMLayoutActionButton::intrinsicContentSize() const { return {side(), side()}; }

void VKMLayoutActionButton::layoutSubviews() {
    Button::layoutSubviews();
    const platform::Rect box = bounds();
    platform::Path oval;
    oval.addEllipseInRect({0, 0, box.width, box.height});
    mCircleShapeLayer->setPath(oval);
    mCircleShapeLayer->setBounds({0, 0, box.width, box.height});
    mCircleShapeLayer->setPosition({box.x + box.width / 2, box.y + box.height / 2});
}

void VKMLayoutActionButton::tintColorDidChange() {
    Button::tintColorDidChange();
    switch (tintAdjustmentMode()) {
        case TintAdjustmentMode::dimmed: mCircleShapeLayer->setStrokeColor({2.0 / 3, 2.0 / 3, 2.0 / 3, 0.5}); break;
        case TintAdjustmentMode::normal:
            mCircleShapeLayer->setStrokeColor(UIColorCColor::vkmActionButtonsTintColor());
            break;
        default: break;
    }
}
