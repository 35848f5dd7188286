#include "LayoutModule/AutoColorize/VKMAutoColorizePopupMenu.h"

#include <algorithm>

#include "LayoutModule/Layout/VKMLayoutSymbols.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/controllers/ViewController.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

VKMAutoColorizePopupMenu::VKMAutoColorizePopupMenu(std::weak_ptr<platform::ui::ViewController> parentViewController,
                                                   std::map<std::string, int> colorizeOptions,
                                                   SelectedAction menuItemSelectedAction)
    : mParentViewController(std::move(parentViewController)),
      mColorizeOptions(std::move(colorizeOptions)),
      mMenuItemSelectedAction(std::move(menuItemSelectedAction)) {}

std::shared_ptr<PopupMenuViewController> VKMAutoColorizePopupMenu::presentMenu(
    const std::shared_ptr<platform::ui::View>& sourceView) {
    const auto parent = mParentViewController.lock();
    if (!parent) return nullptr;
    std::vector<std::shared_ptr<PopupMenuAction>> actions;
    const auto icon = VKMLayoutSymbols::image(VKMLayoutSymbols::kColorizeFill, kIconSize);
    for (const auto& [title, operation] : mColorizeOptions) {
        auto action = PopupMenuDefaultAction::make(
            title, icon, std::nullopt, [selected = mMenuItemSelectedAction, code = operation](PopupMenuAction&) {
                if (selected) selected(code);
            });
        action->setIconWidthHeight(kIconSize);
        actions.push_back(std::move(action));
    }
    std::stable_sort(actions.begin(), actions.end(),
                     [](const auto& a, const auto& b) { return a->title().value_or("") < b->title().value_or(""); });
    auto appearance = std::make_shared<PopupMenuAppearance>();
    appearance->setPopupMenuBackgroundStyle(PopupMenuBackgroundStyle::none());
    appearance->setPopupMenuCornerRadius(kCornerRadius);
    appearance->setPopupMenuActionCountForScrollable(kActionCountForScrollable);
    appearance->setPopupMenuColor(PopupMenuColor::configure(
        PopupMenuActionBackgroundColor::solid(
            platform::ui::SystemColors::systemBackground(platform::ui::UserInterfaceStyle::light)),
        PopupMenuActionColor::tint(platform::ui::SystemColors::kBlack)));
    appearance->setPopupMenuFont(platform::ui::Font::systemFont(kFontSize));
    auto menu = PopupMenuViewController::make(sourceView, std::move(actions), appearance);
    parent->presentViewController(menu, true);
    return menu;
}
