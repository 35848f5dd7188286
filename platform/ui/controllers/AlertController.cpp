#include "platform/ui/controllers/AlertController.h"

#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/controllers/SystemSheets.h"
#include "platform/ui/input/TapGestureRecognizer.h"

#include <algorithm>

namespace platform::ui {

namespace {

constexpr double kSheetMargin = 8;
// The platform's alert metrics: text inset 16 at the sides and 20 above and
// below, a title in bold 17 (13 in a sheet), a message in 13, 4 between.
constexpr double kTextSideInset = 16;
constexpr double kTextTopInset = 20;
constexpr double kTextBottomInset = 20;
constexpr double kTitleMessageGap = 4;
constexpr double kMessageFontSize = 13;
// An alert keeps this far from the window's safe edges.
constexpr double kAlertScreenMargin = 20;
constexpr double kPopoverSheetWidth = 300;

std::shared_ptr<Label> makeTextLabel(const std::string& text, const Font& font) {
    auto label = std::make_shared<Label>();
    label->setText(text);
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setLineBreakMode(LineBreakMode::wordWrapping);
    label->setTextAlignment(TextAlignment::center);
    return label;
}

double labelHeight(const std::string& text, const Font& font, double width) {
    if (text.empty()) return 0;
    return makeTextLabel(text, font)->sizeThatFits({width, 0}).height;
}

Font titleFont(AlertControllerStyle style) {
    return Font::boldSystemFont(style == AlertControllerStyle::alert ? 17 : kMessageFontSize);
}

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
    if (mStyle == AlertControllerStyle::actionSheet)
        setPreferredContentSize({kPopoverSheetWidth, boxHeight(kPopoverSheetWidth)});
}

double AlertController::textHeight(double boxWidth) const {
    if (title().empty() && mMessage.empty()) return 0;
    const double width = std::max(0.0, boxWidth - 2 * kTextSideInset);
    const double titleHeight = labelHeight(title(), titleFont(mStyle), width);
    const double messageHeight = labelHeight(mMessage, Font::systemFont(kMessageFontSize), width);
    const double gap = titleHeight > 0 && messageHeight > 0 ? kTitleMessageGap : 0;
    return kTextTopInset + titleHeight + gap + messageHeight + kTextBottomInset;
}

double AlertController::boxHeight(double boxWidth) const {
    return textHeight(boxWidth) + kButtonHeight * static_cast<double>(mActions.size());
}

void AlertController::loadView() {
    // Tablet action sheets are popovers: no dimming of their own.
    const bool popover = modalPresentationStyle() == ModalPresentationStyle::popover;
    auto view = std::make_shared<View>(Screen::mainScreen()->bounds());
    if (!popover) view->setBackgroundColor(Color{0, 0, 0, 0.4});
    if (!popover && mStyle == AlertControllerStyle::actionSheet) {
        // A sheet need not offer a way out: a tap beside its box is one. A
        // view of its own beneath the box, so that the buttons keep theirs.
        auto outside = std::make_shared<View>(view->bounds());
        outside->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
        auto tap = std::make_shared<TapGestureRecognizer>();
        tap->addAction([weak = std::weak_ptr<AlertController>(
                            std::static_pointer_cast<AlertController>(sharedController()))](GestureRecognizer&) {
            if (auto self = weak.lock()) self->tappedOutside();
        });
        outside->addGestureRecognizer(tap);
        view->addSubview(outside);
    }
    mBox = std::make_shared<View>();
    mBox->setBackgroundColor(Color{0.97, 0.97, 0.97, 1});
    mBox->layer()->setCornerRadius(popover ? 0 : 13);
    view->addSubview(mBox);
    mTextScroll = std::make_shared<ScrollView>();
    mTextScroll->setBounces(false);
    mBox->addSubview(mTextScroll);
    if (!title().empty()) {
        mTitleLabel = makeTextLabel(title(), titleFont(mStyle));
        mTextScroll->addSubview(mTitleLabel);
    }
    if (!mMessage.empty()) {
        mMessageLabel = makeTextLabel(mMessage, Font::systemFont(kMessageFontSize));
        mTextScroll->addSubview(mMessageLabel);
    }
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
    const EdgeInsets safe = view->safeAreaInsets();
    const double buttons = kButtonHeight * static_cast<double>(mActions.size());
    if (modalPresentationStyle() == ModalPresentationStyle::popover) {
        mBox->setFrame(b);
    } else if (mStyle == AlertControllerStyle::alert) {
        const double room = b.height - safe.top - safe.bottom - 2 * kAlertScreenMargin;
        const double height = std::max(buttons, std::min(boxHeight(kAlertWidth), room));
        mBox->setFrame({b.x + (b.width - kAlertWidth) / 2, b.y + (b.height - height) / 2, kAlertWidth, height});
    } else {
        const double width = b.width - 2 * kSheetMargin;
        const double room = b.height - safe.top - safe.bottom - 2 * kSheetMargin;
        const double height = std::max(buttons, std::min(boxHeight(width), room));
        mBox->setFrame({b.x + kSheetMargin, b.maxY() - safe.bottom - kSheetMargin - height, width, height});
    }
    // The text takes what the buttons leave and scrolls when it needs more.
    const double width = mBox->bounds().width;
    const double text = textHeight(width);
    const double shown = std::max(0.0, std::min(text, mBox->bounds().height - buttons));
    mTextScroll->setFrame({0, 0, width, shown});
    mTextScroll->setContentSize({width, text});
    double y = kTextTopInset;
    const double labelWidth = std::max(0.0, width - 2 * kTextSideInset);
    for (const auto& label : {mTitleLabel, mMessageLabel}) {
        if (!label) continue;
        const double h = label->sizeThatFits({labelWidth, 0}).height;
        label->setFrame({kTextSideInset, y, labelWidth, h});
        y += h + kTitleMessageGap;
    }
    y = shown;
    for (const auto& subview : mBox->subviews()) {
        if (!std::dynamic_pointer_cast<Button>(subview)) continue;
        subview->setFrame({0, y, width, kButtonHeight});
        y += kButtonHeight;
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

void AlertController::tappedOutside() {
    if (!presentingViewController() || isBeingPresented() || isBeingDismissed() || mTapped) return;
    // As its cancel action would, when it has one.
    for (const auto& action : mActions) {
        if (action->style() == AlertActionStyle::cancel && action->isEnabled()) return tap(action);
    }
    mTapped = true;
    dismissViewController(true, {});
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
