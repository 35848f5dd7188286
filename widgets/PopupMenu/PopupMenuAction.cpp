#include "widgets/PopupMenu/PopupMenuAction.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/View.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"

using platform::AffineTransform;
using platform::Color;
using platform::ui::LayoutConstraint;
using platform::ui::View;
using platform::ui::ViewAnimationOptions;
using PopupMenuColorHelpers::withAlpha;

std::shared_ptr<PopupMenuDefaultAction> PopupMenuDefaultAction::make(std::optional<std::string> title,
                                                                     std::shared_ptr<platform::Image> image,
                                                                     std::optional<Color> color,
                                                                     SelectHandler didSelect) {
    return std::make_shared<PopupMenuDefaultAction>(std::move(title), std::move(image), color, std::move(didSelect));
}

PopupMenuDefaultAction::PopupMenuDefaultAction(std::optional<std::string> title, std::shared_ptr<platform::Image> image,
                                               std::optional<Color> color, SelectHandler didSelect)
    : mTitle(std::move(title)),
      mImage(std::move(image)),
      mView(std::make_shared<View>()),
      mColor(color),
      mDidSelect(std::move(didSelect)) {}

PopupMenuDefaultAction::~PopupMenuDefaultAction() = default;

const std::shared_ptr<platform::ui::Label>& PopupMenuDefaultAction::titleLabel() {
    if (!mTitleLabel) {
        mTitleLabel = std::make_shared<platform::ui::Label>();
        mTitleLabel->setTranslatesAutoresizingMaskIntoConstraints(false);
        mTitleLabel->setUserInteractionEnabled(false);
        mTitleLabel->setText(mTitle.value_or(""));
    }
    return mTitleLabel;
}

const std::shared_ptr<platform::ui::ImageView>& PopupMenuDefaultAction::iconImageView() {
    if (!mIconImageView) {
        mIconImageView = std::make_shared<platform::ui::ImageView>();
        mIconImageView->setTranslatesAutoresizingMaskIntoConstraints(false);
        if (mImage) mIconImageView->setImage(mImage->withRenderingMode(mImageRenderingMode));
    }
    return mIconImageView;
}

Color PopupMenuDefaultAction::tintColor() const {
    return const_cast<PopupMenuDefaultAction*>(this)->titleLabel()->textColor();
}

void PopupMenuDefaultAction::setTintColor(const Color& color) {
    titleLabel()->setTextColor(color);
    iconImageView()->setTintColor(color);
    // Light text gets a dark highlight and dark text a light one.
    mBackgroundColor = PopupMenuColorHelpers::blackOrWhiteContrastingColor(color);
}

platform::ui::Font PopupMenuDefaultAction::font() const {
    return const_cast<PopupMenuDefaultAction*>(this)->titleLabel()->font();
}

void PopupMenuDefaultAction::setFont(const platform::ui::Font& font) { titleLabel()->setFont(font); }

double PopupMenuDefaultAction::cornerRadius() const { return mView->layer()->cornerRadius(); }

void PopupMenuDefaultAction::setCornerRadius(double radius) { mView->layer()->setCornerRadius(radius); }

void PopupMenuDefaultAction::renderActionView() {
    mView->layer()->setCornerRadius(renderedCornerRadius);
    mView->layer()->setMasksToBounds(true);

    const auto& label = titleLabel();
    if (mImage) {
        const auto& icon = iconImageView();
        mView->addSubview(icon);
        LayoutConstraint::activateConstraints({
            icon->widthAnchor().constraintEqualToConstant(mIconWidthHeight),
            icon->heightAnchor().constraintEqualToAnchor(icon->widthAnchor()),
            icon->leadingAnchor().constraintEqualToAnchor(mView->leadingAnchor(), iconLeftPadding),
            icon->centerYAnchor().constraintEqualToAnchor(mView->centerYAnchor()),
        });
    }
    mView->addSubview(label);
    LayoutConstraint::activateConstraints({
        mImage ? label->leadingAnchor().constraintEqualToAnchor(mIconImageView->trailingAnchor(), iconTextSpacing)
               : label->leadingAnchor().constraintEqualToAnchor(mView->leadingAnchor(), textLeftPadding),
        // Inside the row, so that a long title is cut short, not cut off.
        label->trailingAnchor().constraintEqualToAnchor(mView->trailingAnchor(), -textRightPadding),
        label->centerYAnchor().constraintEqualToAnchor(mView->centerYAnchor()),
    });
}

void PopupMenuDefaultAction::setHighlighted(bool highlighted) {
    if (highlighted == mHighlighted) return;
    mHighlighted = highlighted;
    platform::DispatchQueue::main().async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->animateHighlight();
    });
}

void PopupMenuDefaultAction::animateHighlight() {
    const bool highlighted = mHighlighted;
    const auto view = mView;
    const Color tint = mBackgroundColor;
    View::animate(highlightDuration, 0, highlightDamping, highlightVelocity,
                  highlighted ? ViewAnimationOptions::curveEaseIn : ViewAnimationOptions::curveEaseOut, [&] {
                      if (highlighted) {
                          view->setTransform(AffineTransform::scale(highlightScale, highlightScale));
                          view->setBackgroundColor(withAlpha(tint, highlightAlpha));
                      } else {
                          view->setTransform(AffineTransform::identity());
                          view->setBackgroundColor(Color::clear());
                      }
                  });
}

void PopupMenuDefaultAction::actionSelected(bool animated) {
    if (mDidSelect) mDidSelect(*this);
    if (!animated) return;
    platform::DispatchQueue::main().async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->animatePress();
    });
}

void PopupMenuDefaultAction::animatePress() {
    const auto view = mView;
    View::animate(
        pressDuration,
        [&] {
            view->setTransform(AffineTransform::scale(pressScale, pressScale));
            view->setBackgroundColor(withAlpha(mBackgroundColor, pressAlpha));
        },
        [view](bool) {
            View::animate(pressDuration, [&] {
                view->setTransform(AffineTransform::identity());
                view->setBackgroundColor(Color::clear());
            });
        });
}
