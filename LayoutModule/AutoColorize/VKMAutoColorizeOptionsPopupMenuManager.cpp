#include "LayoutModule/AutoColorize/VKMAutoColorizeOptionsPopupMenuManager.h"

#include <map>
#include <string>

#include "LayoutModule/AutoColorize/VKMAutoColorizePopupMenu.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "app/Utilities/VKMUISound.h"
#include "engine/services/ZDUtils.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

namespace {

// The operation codes of the helper and the keys of their titles.
constexpr struct {
    const char* titleKey;
    int operation;
} kOptions[] = {
    {"AutoColorizeByType", 1},      {"AutoColorizeByLayer", 2},  {"AutoColorizeByManufacturer", 3},
    {"AutoColorizeByProductNr", 4}, {"AutoColorizeByRadius", 5}, {"AutoColorizeByHeight", 6},
};

}  // namespace

VKMAutoColorizeOptionsPopupMenuManager& VKMAutoColorizeOptionsPopupMenuManager::sharedInstance() {
    static VKMAutoColorizeOptionsPopupMenuManager instance;
    return instance;
}

std::shared_ptr<PopupMenuViewController> VKMAutoColorizeOptionsPopupMenuManager::showPopupMenuAt(
    const std::shared_ptr<platform::ui::View>& sourceView,
    const std::shared_ptr<platform::ui::ViewController>& parentViewController) {
    std::map<std::string, int> options;
    for (const auto& option : kOptions) options[ZDUtils::localizedString(option.titleKey)] = option.operation;
    VKMAutoColorizePopupMenu menu(parentViewController, std::move(options),
                                  [this](int operation) { handleColorizeChoice(operation); });
    auto shown = menu.presentMenu(sourceView);
    VKMUISound::playWhopSound();
    return shown;
}

void VKMAutoColorizeOptionsPopupMenuManager::handleColorizeChoice(int operation) {
    ZDUtils::logInfo("Colorize popup menu action selected: Type %d", operation);
    VKMAutoColorizeHelper::autoColorizeTracks(operation);
}
