#include "tests/LayoutModule/SideScreenSupport.h"

#include <gtest/gtest.h>

#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/Storyboard.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/EngineServices.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

namespace sidescreens {

using namespace platform::ui;

SideScreens::SideScreens() {
    layouttest::RegisterServices();
    testsupport::Analytics();
    VKMLayoutScenes::registerScenes();
    VKMHoverNotification::sharedInstance().setMessageLog([this](const std::string& text) { messages.push_back(text); });
}

SideScreens::~SideScreens() {
    VKMHoverNotification::sharedInstance().setMessageLog({});
    if (window) window->setRootViewController(nullptr);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    Device::currentDevice().setOrientation(DeviceOrientation::portrait);
    Screen::mainScreen()->setSize({390, 844});
}

void SideScreens::show(UserInterfaceIdiom idiom, std::size_t tab) {
    const platform::Size size =
        idiom == UserInterfaceIdiom::tablet ? platform::Size{820, 1180} : platform::Size{390, 844};
    Device::currentDevice().setUserInterfaceIdiom(idiom);
    Screen::mainScreen()->setSize(size);
    Screen::mainScreen()->setScale(2);
    window = std::make_shared<Window>(platform::Rect{0, 0, size.width, size.height});
    synth = std::make_shared<TouchSynth>(window);
    const Storyboard storyboard(VKMLayoutScenes::kStoryboard);
    layoutScreen =
        storyboard.instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
    partList =
        storyboard.instantiateViewControllerAs<VKMPartListViewController>(VKMLayoutScenes::kPartListViewController);
    ASSERT_NE(layoutScreen, nullptr);
    ASSERT_NE(partList, nullptr);
    tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({layoutScreen, partList});
    tabs->setSelectedIndex(tab);
    window->setRootViewController(tabs);
    window->makeKeyAndVisible();
    window->layoutIfNeeded();
    advance(0.1);
}

void SideScreens::open(const std::string& scenario, const std::string& fileName) {
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(layouttest::WriteScenario(scenario, fileName)));
    // Loaded, centred and drawn; the action buttons fade in over 0.75 s.
    advance(1);
    window->layoutIfNeeded();
}

void SideScreens::advance(double seconds) {
    clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    if (window) window->layoutIfNeeded();
}

platform::Point SideScreens::centreOf(const View& view) const {
    const platform::Rect bounds = view.bounds();
    return view.convertPointToView({bounds.x + bounds.width / 2, bounds.y + bounds.height / 2}, nullptr);
}

std::shared_ptr<ViewController> SideScreens::presented() const {
    return tabs ? tabs->presentedViewController() : nullptr;
}

bool SamePixels(const platform::Image& a, const platform::Image& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            if (*a.pixel(x, y) != *b.pixel(x, y)) return false;
        }
    }
    return true;
}

}  // namespace sidescreens
