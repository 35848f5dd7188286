#include "platform/ui/controllers/AlertController.h"

#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/SystemSheets.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr double kTextHeight = 22;
constexpr double kSheetMargin = 8;

}  // namespace

AlertController::AlertController(std::string title, std::string message, AlertControllerStyle style)
    : mMessage(std::move(message)), mStyle(style) {
    setTitle(std::move(title));
    const bool popover = style == AlertControllerStyle::actionSheet &&
                         Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::tablet;
    // Presented over the window, which stays shown beneath the dimming.
    setModalPresentationStyle(popover ? ModalPresentationStyle::popover : ModalPresentationStyle::overFullScreen);
}

void AlertController::addAction(const std::shared_ptr<AlertAction>& action) {
    if (!action) return;
    mActions.push_back(action);
    // A popover sheet is as tall as its rows.
    if (mStyle == AlertControllerStyle::actionSheet) setPreferredContentSize({300, boxHeight()});
}

double AlertController::boxHeight() const {
    double height = 0;
    if (!title().empty()) height += kTextHeight + 8;
    if (!mMessage.empty()) height += kTextHeight + 8;
    return height + kButtonHeight * static_cast<double>(mActions.size());
}

void AlertController::loadView() {
    // Tablet action sheets are popovers: no dimming of their own.
    const bool popover = modalPresentationStyle() == ModalPresentationStyle::popover;
    auto view = std::make_shared<View>(Screen::mainScreen()->bounds());
    if (!popover) view->setBackgroundColor(Color{0, 0, 0, 0.4});
    mBox = std::make_shared<View>();
    mBox->setBackgroundColor(Color{0.97, 0.97, 0.97, 1});
    mBox->layer()->setCornerRadius(popover ? 0 : 13);
    view->addSubview(mBox);
    auto addLabel = [&](const std::string& text) {
        auto label = std::make_shared<Label>();
        label->setText(text);
        label->setTextAlignment(TextAlignment::center);
        mBox->addSubview(label);
    };
    if (!title().empty()) addLabel(title());
    if (!mMessage.empty()) addLabel(mMessage);
    for (const auto& action : mActions) {
        auto button = Button::make(ButtonType::system);
        button->setTitle(action->title(), ControlState::normal);
        if (action->style() == AlertActionStyle::destructive)
            button->setTitleColor(Color{1, 0.23, 0.19, 1}, ControlState::normal);
        button->setEnabled(action->isEnabled());
        button->setAccessibilityIdentifier(action->title());
        std::weak_ptr<AlertController> weak = std::static_pointer_cast<AlertController>(sharedController());
        std::weak_ptr<AlertAction> weakAction = action;
        button->addAction(
            [weak, weakAction](Control&) {
                auto self = weak.lock();
                auto a = weakAction.lock();
                if (self && a) self->tap(a);
            },
            ControlEvents::touchUpInside);
        mBox->addSubview(button);
    }
    setView(view);
}

void AlertController::viewWillLayoutSubviews() {
    const auto view = viewIfLoaded();
    if (!view || !mBox) return;
    const Rect b = view->bounds();
    const double height = boxHeight();
    if (modalPresentationStyle() == ModalPresentationStyle::popover) {
        mBox->setFrame(b);
    } else if (mStyle == AlertControllerStyle::alert) {
        mBox->setFrame({b.x + (b.width - kAlertWidth) / 2, b.y + (b.height - height) / 2, kAlertWidth, height});
    } else {
        const double bottom = view->safeAreaInsets().bottom + kSheetMargin;
        mBox->setFrame({b.x + kSheetMargin, b.maxY() - bottom - height, b.width - 2 * kSheetMargin, height});
    }
    double y = 0;
    const double width = mBox->bounds().width;
    for (const auto& subview : mBox->subviews()) {
        const bool isButton = std::dynamic_pointer_cast<Button>(subview) != nullptr;
        const double h = isButton ? kButtonHeight : kTextHeight + 8;
        subview->setFrame({0, y, width, h});
        y += h;
    }
}

bool AlertController::tapActionWithTitle(std::string_view title) {
    for (const auto& action : mActions) {
        if (action->title() == title && action->isEnabled()) {
            if (!presentingViewController() || isBeingDismissed() || mTapped) return false;
            tap(action);
            return true;
        }
    }
    return false;
}

void AlertController::tap(const std::shared_ptr<AlertAction>& action) {
    if (mTapped || !action->isEnabled()) return;
    mTapped = true;
    dismissViewController(true, [action] {
        if (action->mHandler) action->mHandler(*action);
    });
}

std::vector<std::shared_ptr<AlertController>> AlertController::presentedAlerts() {
    return presentedControllers<AlertController>();
}

}  // namespace platform::ui
