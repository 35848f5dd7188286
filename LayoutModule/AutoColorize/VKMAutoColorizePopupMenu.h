#pragma once
// The menu of the ways to colour the layout's tracks: one row per way,
// titled with its translation and ordered by it, each with a brush icon.
// Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class PopupMenuViewController;

class VKMAutoColorizePopupMenu {
public:
    using SelectedAction = std::function<void(int operation)>;
    static constexpr double kIconSize = 20;
    static constexpr double kCornerRadius = 10;
    static constexpr std::size_t kActionCountForScrollable = 9;
    static constexpr double kFontSize = 17;

    // `colorizeOptions`: translated title to operation code.
    VKMAutoColorizePopupMenu(std::weak_ptr<platform::ui::ViewController> parentViewController,
                             std::map<std::string, int> colorizeOptions, SelectedAction menuItemSelectedAction);

    // Presents the menu at the source view by the parent controller; the
    // menu presented, or null when there is no parent to present it.
    std::shared_ptr<PopupMenuViewController> presentMenu(const std::shared_ptr<platform::ui::View>& sourceView);

    const std::map<std::string, int>& colorizeOptions() const { return mColorizeOptions; }

private:
    std::weak_ptr<platform::ui::ViewController> mParentViewController;
    std::map<std::string, int> mColorizeOptions;
    SelectedAction mMenuItemSelectedAction;
};
