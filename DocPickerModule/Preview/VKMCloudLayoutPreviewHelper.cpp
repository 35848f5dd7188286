#include "DocPickerModule/Preview/VKMCloudLayoutPreviewHelper.h"

#include "platform/ui/views/ImageView.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/layout/LayoutConstraint.h"

using namespace platform::ui;

std::shared_ptr<ImageView> VKMCloudLayoutPreviewHelper::addPreviewImageViewToSuperview(
    const std::shared_ptr<View>& superview, double bottomReservedHeight) {
    auto preview = std::make_shared<ImageView>();
    preview->setTag(kPreviewImageViewTag);
    preview->setOpaque(false);
    preview->setBackgroundColor(platform::Color::clear());
    preview->setContentMode(ViewContentMode::scaleAspectFit);
    preview->setClipsToBounds(true);
    preview->layer()->setCornerRadius(kCornerRadius);
    preview->setTranslatesAutoresizingMaskIntoConstraints(false);
    superview->addSubview(preview);

    // As large as fits: the inequalities hold the edges, the wish for the
    // full width gives way to them.
    auto wide = preview->widthAnchor().constraintEqualToConstant(kMaximumWidth);
    wide->setPriority(kLayoutPriorityDefaultHigh);
    LayoutConstraint::activateConstraints({
        preview->centerXAnchor().constraintEqualToAnchor(superview->centerXAnchor()),
        preview->bottomAnchor().constraintEqualToAnchor(superview->bottomAnchor(), -(bottomReservedHeight + kMargin)),
        preview->topAnchor().constraintGreaterThanOrEqualToAnchor(superview->topAnchor(), kMargin),
        preview->leadingAnchor().constraintGreaterThanOrEqualToAnchor(superview->leadingAnchor(), kMargin),
        preview->widthAnchor().constraintLessThanOrEqualToConstant(kMaximumWidth),
        preview->widthAnchor().constraintEqualToAnchor(preview->heightAnchor(), kAspectRatio, 0),
        wide,
    });
    return preview;
}
