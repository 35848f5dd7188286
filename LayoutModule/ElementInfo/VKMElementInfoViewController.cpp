#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"

#include <cmath>

#include "app/Utilities/Localization/StringVekmont.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/SystemColors.h"

using namespace platform::ui;

namespace {

// Characters, not bytes: UTF-8 continuation bytes are not counted.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::shared_ptr<Label> makeLabel(double size, bool bold) {
    auto label = std::make_shared<Label>();
    label->setFont(bold ? Font::boldSystemFont(size) : Font::systemFont(size));
    label->setNumberOfLines(0);
    // The popover's width is fixed: the labels wrap to the stack's width,
    // which their intrinsic heights need to know.
    label->setPreferredMaxLayoutWidth(VKMElementInfoViewController::kContentWidth -
                                      2 * (VKMElementInfoViewController::kTextInset + 8));
    return label;
}

}  // namespace

std::shared_ptr<ViewController> VKMElementInfoViewController::makeScene() {
    auto controller = std::make_shared<VKMElementInfoViewController>();
    auto root = std::make_shared<View>(platform::Rect{0, 0, kContentWidth, kFixedHeight});
    root->setBackgroundColor(SystemColors::kClear);
    auto title = makeLabel(15, true);
    auto description = makeLabel(13, false);
    auto library = makeLabel(11, false);
    library->setTextColor(SystemColors::kDarkGray);
    auto scale = makeLabel(11, false);
    scale->setTextColor(SystemColors::kDarkGray);
    auto stack = StackView::make({title, description, library, scale});
    stack->setAxis(LayoutConstraintAxis::vertical);
    stack->setSpacing(4);
    stack->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(stack);
    auto centre = stack->centerYAnchor().constraintEqualToAnchor(root->centerYAnchor());
    LayoutConstraint::activateConstraints({
        centre,
        stack->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor(), kTextInset + 8),
        stack->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor(), -(kTextInset + 8)),
    });
    controller->outlets = {title, description, library, scale, centre};
    controller->setView(root);
    return controller;
}

void VKMElementInfoViewController::viewDidLoad() {
    for (const auto& label :
         {outlets.titleLabel, outlets.descriptionLabel, outlets.libraryLabel, outlets.modelScaleLabel}) {
        if (auto shown = label.lock()) shown->setText("");
    }
}

void VKMElementInfoViewController::viewDidLayoutSubviews() {
    const auto popover = popoverPresentationController();
    const auto centre = outlets.stackVCenterConstraint.lock();
    if (!popover || !centre || modalPresentationStyle() != ModalPresentationStyle::popover) return;
    double constant = 0;
    switch (popover->arrowDirection()) {
        case PopoverArrowDirection::up: constant = -kPopoverArrowOffset; break;
        case PopoverArrowDirection::down: constant = kPopoverArrowOffset; break;
        default: break;
    }
    // Only a change asks for another layout pass.
    if (centre->constant() == constant) return;
    centre->setConstant(constant);
    view()->setNeedsLayout();
}

void VKMElementInfoViewController::configureWithName(const std::string& name, const std::string& description,
                                                     const std::string& producer, const std::string& library,
                                                     const std::string& modelScale, std::int64_t usageCount) {
    loadViewIfNeeded();
    std::string title = name;
    if (characterCount(producer) >= 2) title += " (" + producer + ")";
    if (usageCount >= 1) title += " (" + std::to_string(usageCount) + "\u00D7)";
    if (auto label = outlets.titleLabel.lock()) label->setText(title);
    const auto descriptionLabel = outlets.descriptionLabel.lock();
    if (descriptionLabel) descriptionLabel->setText(description);

    if (auto label = outlets.modelScaleLabel.lock()) {
        const bool shown = characterCount(modelScale) >= 2;
        label->setHidden(!shown);
        if (shown) {
            std::string prefix = StringVekmont::localized("ModelScalePrefix");
            if (prefix.empty() || prefix == "ModelScalePrefix") prefix = "??";
            label->setText(prefix + " " + modelScale);
        }
    }
    if (auto label = outlets.libraryLabel.lock()) {
        const bool shown = characterCount(library) >= 4;
        label->setHidden(!shown);
        if (shown) label->setText(StringVekmont::localizedFormat("FromLibrary", {library}));
    }

    const EdgeInsets margins = view()->layoutMargins();
    const double textWidth = kContentWidth - margins.left - margins.right - 2 * kTextInset;
    double textHeight = 0;
    if (descriptionLabel && !description.empty()) {
        textHeight = std::ceil(2 * boundingSize(description, descriptionLabel->font(), textWidth).height);
    }
    setPreferredContentSize({kContentWidth, textHeight + kFixedHeight});
}

std::optional<ModalPresentationStyle> VKMElementInfoViewController::adaptivePresentationStyleForPresentationController(
    PresentationController& controller, const TraitCollection& traits) {
    (void)controller;
    (void)traits;
    return ModalPresentationStyle::none;
}
