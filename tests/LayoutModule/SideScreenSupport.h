#pragma once
// The side screens of the layout in a headless window on a virtual clock:
// a tab bar at the window's root with the layout screen and the part list
// (as the program has them), layouts that layoutgen writes opened through
// the app's document helper, and what the screens show to the user.

#include <memory>
#include <string>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/PartList/VKMPartListViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/LayoutModule/TabFixture.h"

namespace sidescreens {

inline constexpr std::size_t kLayoutTab = 0;
inline constexpr std::size_t kPartListTab = 1;

class SideScreens {
public:
    // Registers the services, the analytics recorder and the scenes, and
    // keeps the messages shown to the user.
    SideScreens();
    ~SideScreens();

    // The tab bar as the window's root at the idiom's size (phone 390 x 844,
    // tablet 820 x 1180, scale 2), `tab` selected and appeared.
    void show(platform::ui::UserInterfaceIdiom idiom, std::size_t tab);
    // Writes the scenario, opens it and lets the screens settle.
    void open(const std::string& scenario, const std::string& fileName);
    void advance(double seconds);
    // The centre of the view in window coordinates.
    platform::Point centreOf(const platform::ui::View& view) const;
    // The controller presented by the tab bar, if any.
    std::shared_ptr<platform::ui::ViewController> presented() const;

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::TouchSynth> synth;
    std::shared_ptr<platform::ui::TabBarController> tabs;
    std::shared_ptr<VKMLayoutViewController> layoutScreen;
    std::shared_ptr<VKMPartListViewController> partList;
    // The hover messages shown, in order.
    std::vector<std::string> messages;
};

// Whether the two images have the same size and pixels.
bool SamePixels(const platform::Image& a, const platform::Image& b);

using sidetest::Heard;

}  // namespace sidescreens
