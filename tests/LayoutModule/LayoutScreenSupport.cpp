#include "tests/LayoutModule/LayoutScreenSupport.h"

#include <gtest/gtest.h>

#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/Storyboard.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/EngineServices.h"

namespace layouttest {

using namespace platform::ui;

ScreenFixture::ScreenFixture() {
    RegisterServices();
    testsupport::Analytics();
    VKMLayoutScenes::registerScenes();
}

ScreenFixture::~ScreenFixture() {
    if (window) window->setRootViewController(nullptr);
    VKMLayoutDocumentHelper::closeCurrentLayout();
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    Screen::mainScreen()->setSize({390, 844});
}

void ScreenFixture::show(UserInterfaceIdiom idiom) {
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
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    window->layoutIfNeeded();
    advance(0.1);
}

void ScreenFixture::open(const std::string& scenario, const std::string& fileName) {
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(WriteScenario(scenario, fileName)));
    // Loaded, centred 0.1 s later, fully drawn 0.1 s after that; the action
    // buttons fade in over 0.75 s.
    advance(1);
    window->layoutIfNeeded();
}

void ScreenFixture::advance(double seconds) {
    clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
}

CLayout& ScreenFixture::layout() const { return *CCurrentCloudLayout::Instance().Layout(); }

double ScreenFixture::zoom() const { return layout().GetZoom(); }

}  // namespace layouttest
