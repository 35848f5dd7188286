#include "tests/LayoutModule/TabFixture.h"

#include <gtest/gtest.h>

namespace sidetest {

using namespace platform::ui;

void TabFixture::show(UserInterfaceIdiom idiom) {
    ScreenFixture::show(idiom);
    ASSERT_NE(controller, nullptr);
    window->setRootViewController(nullptr);
    tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({controller});
    window->setRootViewController(tabs);
    window->layoutIfNeeded();
    advance(0.1);
}

void TabFixture::tap(const View& view) {
    window->layoutIfNeeded();
    const platform::Rect frame = view.convertRectToView(view.bounds(), nullptr);
    synth->tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
}

}  // namespace sidetest
