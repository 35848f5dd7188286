#include "tools/vekmont/VekmontScenes.h"

#include "DocPickerModule/Catalog/VKMCatalogViewController.h"
#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"
#include "DocPickerModule/VKMDocPickerScenes.h"
#include "LayoutModule/LayoutView/ImageExport/VKMImageExportHelper.h"
#include "UserProfileModule/Profile/VKMUserProfileViewController.h"
#include "UserProfileModule/VKMUserProfileScenes.h"
#include "app/Debug/VKMDebugViewController.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Image.h"
#include "platform/ui/BarItems.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TabBarController.h"

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

// Until the layout screen comes: the loaded document drawn as a picture.
class LayoutPlaceholderViewController : public PlaceholderViewController {
public:
    LayoutPlaceholderViewController() : PlaceholderViewController("No layout open") {}
    void viewDidLoad() override {
        PlaceholderViewController::viewDidLoad();
        mPicture = std::make_shared<ImageView>(std::shared_ptr<platform::Image>());
        const Rect bounds = view()->bounds();
        mPicture->setFrame({20, 60, bounds.width - 40, bounds.height - 120});
        mPicture->setContentMode(ViewContentMode::scaleAspectFit);
        mPicture->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
        view()->addSubview(mPicture);
        const std::weak_ptr<LayoutPlaceholderViewController> weak =
            std::static_pointer_cast<LayoutPlaceholderViewController>(shared_from_this());
        mObserver = platform::NotificationCenter::defaultCenter().addObserverForName(
            VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr, [weak](const platform::Notification&) {
                if (auto self = weak.lock()) self->showDocument();
            });
        // A document may have come before this tab was first shown.
        if (!CCurrentCloudLayout::Instance().Layout()->GetElements().empty()) showDocument();
    }
    std::string className() const override { return "LayoutPlaceholderViewController"; }

private:
    void showDocument() {
        CLayout& layout = *CCurrentCloudLayout::Instance().Layout();
        mPicture->setImage(VKMImageExportHelper::getCroppedImage(layout, 10, 700));
        if (auto label = std::dynamic_pointer_cast<Label>(view()->viewWithTag(1))) {
            label->setText(std::to_string(layout.GetElements().size()) + " elements");
            label->setFrame({0, 16, view()->bounds().width, 40});
        }
    }

    std::shared_ptr<ImageView> mPicture;
    platform::NotificationCenter::ObserverToken mObserver;
};

struct Tab {
    const char* identifier;
    const char* title;
};

// The storyboard's tab order; the debug screen last.
const std::vector<Tab>& tabs() {
    static const std::vector<Tab> list{
        {"VKMCatalogViewController", "Catalog"},
        {"VKMLocalLayoutsViewController", "My Layouts"},
        {"VKMLayoutViewController", "Layout"},
        {"VKMPartListViewController", "Parts"},
        {VKMUserProfileViewController::kSceneIdentifier, "Profile"},
        {VKMDebugViewController::kSceneIdentifier, "Debug"},
    };
    return list;
}

std::shared_ptr<ViewController> makeTab(const Storyboard& storyboard, const Tab& tab) {
    auto controller = storyboard.instantiateViewController(tab.identifier);
    if (!controller && std::string(tab.identifier) == "VKMLayoutViewController") {
        controller = std::make_shared<LayoutPlaceholderViewController>();
    }
    if (!controller) controller = std::make_shared<PlaceholderViewController>(tab.title);
    if (controller->title().empty()) controller->setTitle(tab.title);
    return controller;
}

}  // namespace

void registerScenes() {
    VKMDocPickerScenes::registerScenes();
    VKMUserProfileScenes::registerScenes();
    VKMDebugViewController::registerScene();
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
