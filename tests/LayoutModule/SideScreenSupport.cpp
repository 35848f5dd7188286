#include "tests/LayoutModule/SideScreenSupport.h"

#include <gtest/gtest.h>

#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/EngineServices.h"

namespace sidetest {

using namespace platform::ui;

TabFixture::TabFixture() {
    layouttest::RegisterServices();
    testsupport::Analytics();
    VKMLayoutScenes::registerScenes();
}

TabFixture::~TabFixture() {
    if (window) window->setRootViewController(nullptr);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    Screen::mainScreen()->setSize({390, 844});
}

void TabFixture::show(UserInterfaceIdiom idiom) {
    const platform::Size size =
        idiom == UserInterfaceIdiom::tablet ? platform::Size{820, 1180} : platform::Size{390, 844};
    Device::currentDevice().setUserInterfaceIdiom(idiom);
    Screen::mainScreen()->setSize(size);
    Screen::mainScreen()->setScale(2);
    window = std::make_shared<Window>(platform::Rect{0, 0, size.width, size.height});
    synth = std::make_shared<TouchSynth>(window);
    controller = Storyboard(VKMLayoutScenes::kStoryboard)
                     .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
    ASSERT_NE(controller, nullptr);
    tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({controller});
    window->setRootViewController(tabs);
    window->makeKeyAndVisible();
    window->layoutIfNeeded();
    advance(0.1);
}

void TabFixture::open(const std::string& scenario, const std::string& fileName) {
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(layouttest::WriteScenario(scenario, fileName)));
    advance(1);
    window->layoutIfNeeded();
}

void TabFixture::advance(double seconds) {
    clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
}

void TabFixture::tap(const View& view) {
    window->layoutIfNeeded();
    const platform::Rect frame = view.convertRectToView(view.bounds(), nullptr);
    synth->tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
}

Heard::Heard(const char* name)
    : token(platform::NotificationCenter::defaultCenter().addObserverForName(std::string(name), nullptr,
                                                                             [this](const platform::Notification& n) {
                                                                                 ++count;
                                                                                 lastObject = n.object();
                                                                                 lastInfo = n.userInfo();
                                                                             })) {}

}  // namespace sidetest
