#include "LayoutModule/Info/VKMLayoutInfoHelper.h"

#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"
#include "LayoutModule/LayoutSettings/VKMLayoutSettingsHelper.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/View.h"

using namespace platform::ui;

void VKMLayoutInfoHelper::presentLayoutInfoWithInfoButton(const std::shared_ptr<View>& button) {
    const auto details = VKMLayoutScenes::instantiate<ViewController>(VKMLayoutScenes::kLayoutDetailsId);
    if (!details) return;
    details->setModalPresentationStyle(ModalPresentationStyle::popover);
    if (auto popover = details->popoverPresentationController(); popover && button) {
        popover->setPermittedArrowDirections(PopoverArrowDirection::up | PopoverArrowDirection::left |
                                             PopoverArrowDirection::right);
        popover->setSourceRect(button->bounds());
        popover->setSourceView(button);
    }
    presentViewControllerWithViewController(details);
}

void VKMLayoutInfoHelper::presentViewControllerWithViewController(const std::shared_ptr<ViewController>& controller) {
    VKMLayoutSettingsHelper::presentViewController(controller);
}
