#include "LayoutModule/LayerList/VKMLayerListHelper.h"

#include "LayoutModule/LayerList/VKMLayerListViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;

std::shared_ptr<ViewController> VKMLayerListHelper::selectedTabController() {
    const auto windows = Application::sharedApplication().windows();
    if (windows.empty()) return nullptr;
    const auto tabs = std::dynamic_pointer_cast<TabBarController>(windows.front()->rootViewController());
    return tabs ? tabs->selectedViewController() : nullptr;
}

bool VKMLayerListHelper::presentLayerListAtButton(const std::shared_ptr<View>& button) {
    const auto presenter = selectedTabController();
    if (!presenter || !button) return false;
    const auto list =
        VKMLayoutScenes::instantiate<VKMLayerListViewController>(VKMLayerListViewController::kSceneIdentifier);
    if (!list) return false;
    std::shared_ptr<ViewController> shown = list;
    if (Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::phone) {
        shown = NavigationController::make(list);
    }
    shown->setModalPresentationStyle(ModalPresentationStyle::popover);
    const platform::Size screen = Screen::mainScreen()->bounds().size();
    shown->setPreferredContentSize({screen.width / 2, screen.height * 3 / 4});
    if (auto popover = shown->popoverPresentationController()) {
        popover->setPermittedArrowDirections(PopoverArrowDirection::up | PopoverArrowDirection::left);
        popover->setSourceRect(button->bounds());
        popover->setSourceView(button);
        popover->setBackgroundColor(SystemColors::kWhite);
    }
    presenter->presentViewController(shown, true);
    return true;
}
