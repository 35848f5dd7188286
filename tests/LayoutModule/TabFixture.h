#pragma once
// The layout screen as the selected tab of a tab bar controller (where the
// side screens present themselves) in a headless window of either idiom,
// on a virtual clock, with taps on views and counts of notifications.

#include <memory>

#include "platform/ui/controllers/TabBarController.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"

namespace sidetest {

class TabFixture : public layouttest::ScreenFixture {
public:
    // The layout screen of ScreenFixture::show, moved into a tab bar
    // controller at the window's root.
    void show(platform::ui::UserInterfaceIdiom idiom);
    // Taps the middle of the view with a finger.
    void tap(const platform::ui::View& view);

    std::shared_ptr<platform::ui::TabBarController> tabs;
};

using layouttest::Heard;

}  // namespace sidetest
