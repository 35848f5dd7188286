#include "tools/vekmont/VekmontScenes.h"

#include "DocPickerModule/Catalog/VKMCatalogViewController.h"
#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"
#include "DocPickerModule/VKMDocPickerScenes.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "UserProfileModule/Profile/VKMUserProfileViewController.h"
#include "UserProfileModule/VKMUserProfileScenes.h"
#include "app/Debug/VKMDebugViewController.h"
#include "engine/services/LocalizationService.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"

#include <memory>
#include <string>
#include <vector>

using namespace platform::ui;
using platform::Rect;

namespace vekmont {

namespace {

// A screen not built yet: its name in the middle.
class PlaceholderViewController : public ViewController {
public:
    explicit PlaceholderViewController(std::string text) : mText(std::move(text)) {}
    void viewDidLoad() override {
        view()->setBackgroundColor(platform::Color::white(1));
        auto label = std::make_shared<Label>(Rect{0, 0, view()->bounds().width, 40});
        label->setText(mText);
        label->setTextAlignment(platform::TextAlignment::center);
        label->setFont(Font::systemFont(17));
        label->setTag(1);
        label->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleTopMargin |
                                   ViewAutoresizing::flexibleBottomMargin);
        label->setCenter(view()->center());
        view()->addSubview(label);
    }
    std::string className() const override { return "PlaceholderViewController"; }

private:
    std::string mText;
};

struct Tab {
    const char* identifier;
    // Its title's key in the app's table, for a screen that has no title
    // of its own.
    const char* titleKey;
};

// The storyboard's tab order; the debug screen last.
const std::vector<Tab>& tabs() {
    static const std::vector<Tab> list{
        {"VKMCatalogViewController", "TabCatalog"},
        {"VKMLocalLayoutsViewController", "TabLocalLayouts"},
        {"VKMLayoutViewController", "TabLayout"},
        {"VKMPartListViewController", "TabParts"},
        {VKMUserProfileViewController::kSceneIdentifier, "TabProfile"},
        {VKMDebugViewController::kSceneIdentifier, "TabDebug"},
    };
    return list;
}

// Made before the app's services are up: straight from the bundle's table.
std::string tabTitle(const Tab& tab) {
    const platform::Bundle* bundle = platform::Bundle::main();
    return bundle ? bundle->localizedString(tab.titleKey, LocalizationService::kStringTable).value_or(tab.titleKey)
                  : tab.titleKey;
}

std::shared_ptr<ViewController> makeTab(const Storyboard& storyboard, const Tab& tab) {
    auto controller = storyboard.instantiateViewController(tab.identifier);
    if (!controller) controller = std::make_shared<PlaceholderViewController>(tabTitle(tab));
    if (controller->title().empty()) controller->setTitle(tabTitle(tab));
    return controller;
}

}  // namespace

void registerScenes() {
    VKMDocPickerScenes::registerScenes();
    VKMUserProfileScenes::registerScenes();
    VKMDebugViewController::registerScene();
    VKMLayoutScenes::registerScenes();
    Storyboard::registerScene(kMainStoryboard, Storyboard::kInitialSceneIdentifier, [] {
        auto tabBar = std::make_shared<TabBarController>();
        const Storyboard storyboard(kMainStoryboard);
        std::vector<std::shared_ptr<ViewController>> controllers;
        for (const Tab& tab : tabs()) controllers.push_back(makeTab(storyboard, tab));
        tabBar->setViewControllers(std::move(controllers));
        return tabBar;
    });
}

}  // namespace vekmont
