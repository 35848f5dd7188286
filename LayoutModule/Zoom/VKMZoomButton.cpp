#include "LayoutModule/Zoom/VKMZoomButton.h"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/VKMUISound.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/input/TapGestureRecognizer.h"

namespace {

bool isPhone() {
    return platform::ui::Device::currentDevice().userInterfaceIdiom() == platform::ui::UserInterfaceIdiom::phone;
}

constexpr platform::Color kTeal{48.0 / 255, 176.0 / 255, 199.0 / 255, 1};

}  // namespace

VKMZoomButton::VKMZoomButton(const platform::Rect& frame) : View(frame) {}

std::shared_ptr<VKMZoomButton> VKMZoomButton::make(const platform::Rect& frame) {
    auto button = std::make_shared<VKMZoomButton>(frame);
    button->build();
    return button;
}

void VKMZoomButton::build() {
    using namespace platform::ui;
    mZoomLabel = std::make_shared<Label>(bounds());
    mZoomLabel->setTextColor(SystemColors::kWhite);
    mZoomLabel->setFont(Font::systemFont(isPhone() ? 11 : 13, FontWeight::medium));
    mZoomLabel->setTextAlignment(platform::TextAlignment::center);
    mZoomLabel->setTranslatesAutoresizingMaskIntoConstraints(false);
    addSubview(mZoomLabel);
    LayoutConstraint::activateConstraints({
        mZoomLabel->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
        mZoomLabel->centerYAnchor().constraintEqualToAnchor(centerYAnchor()),
    });
    setCurrentZoomFactor(1.0);

    setBackgroundColor(UIColorCColor::vkmActionButtonsTintColor());
    layer()->setCornerRadius(kCornerRadius);
    layer()->setShadowColor(SystemColors::kBlack);
    layer()->setShadowOpacity(0.1);
    layer()->setShadowOffset({2, 2});
    layer()->setShadowRadius(2.5);
    const platform::Size size = intrinsicContentSize();
    setTranslatesAutoresizingMaskIntoConstraints(false);
    LayoutConstraint::activateConstraints({
        widthAnchor().constraintEqualToConstant(size.width),
        heightAnchor().constraintEqualToConstant(size.height),
    });

    auto tap = std::make_shared<TapGestureRecognizer>();
    const std::weak_ptr<VKMZoomButton> weak = std::static_pointer_cast<VKMZoomButton>(sharedView());
    tap->addAction([weak](GestureRecognizer&) {
        if (auto self = weak.lock()) self->handleTap();
    });
    addGestureRecognizer(tap);
}

void VKMZoomButton::setCurrentZoomFactor(double zoomFactor) {
    mCurrentZoomFactor = zoomFactor;
    if (mZoomLabel) mZoomLabel->setText(formattedPercentage(zoomFactor).value_or("?"));
}

void VKMZoomButton::handleTap() {
    if (mTapAction) mTapAction();
    VKMUISound::playActionButtonTappedSound();
}

void VKMZoomButton::provideVisualFeedback() {
    const std::weak_ptr<VKMZoomButton> weak = std::static_pointer_cast<VKMZoomButton>(sharedView());
    View::animate(
        0.1, [this] { setBackgroundColor(kTeal); },
        [weak](bool) {
            if (auto self = weak.lock()) {
                View::animate(
                    0.1, [raw = self.get()] { raw->setBackgroundColor(UIColorCColor::vkmActionButtonsTintColor()); });
            }
        });
}

void VKMZoomButton::tintColorDidChange() {
    switch (tintAdjustmentMode()) {
        case platform::ui::TintAdjustmentMode::dimmed:
            setBackgroundColor(platform::Color{2.0 / 3, 2.0 / 3, 2.0 / 3, 0.3});
            break;
        case platform::ui::TintAdjustmentMode::normal:
            setBackgroundColor(UIColorCColor::vkmActionButtonsTintColor());
            break;
        default: break;
    }
}

platform::Size VKMZoomButton::intrinsicContentSize() const {
    return isPhone() ? platform::Size{54, 25} : platform::Size{60, 27.5};
}

std::optional<std::string> VKMZoomButton::formattedPercentage(double value) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(platform::Locale::current().identifier().c_str());
    std::unique_ptr<icu::NumberFormat> format(icu::NumberFormat::createPercentInstance(locale, status));
    if (U_FAILURE(status) || !format) return std::nullopt;
    icu::UnicodeString text;
    format->format(value, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}
