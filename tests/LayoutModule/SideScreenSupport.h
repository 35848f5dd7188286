#pragma once
// The layout screen as the selected tab of a tab bar controller (where the
// side screens present themselves) in a headless window of either idiom,
// on a virtual clock, with taps on views and counts of notifications.

#include <memory>
#include <string>

#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Device.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TouchSynth.h"
#include "platform/ui/Window.h"

namespace sidetest {

class TabFixture {
public:
    TabFixture();
    ~TabFixture();

    // Phone 390 x 844, tablet 820 x 1180, both at scale 2.
    void show(platform::ui::UserInterfaceIdiom idiom);
    void open(const std::string& scenario, const std::string& fileName);
    void advance(double seconds);
    // Taps the middle of the view with a finger.
    void tap(const platform::ui::View& view);

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::TouchSynth> synth;
    std::shared_ptr<platform::ui::TabBarController> tabs;
    std::shared_ptr<VKMLayoutViewController> controller;
};

// Counts the posts of one notification name.
struct Heard {
    explicit Heard(const char* name);
    int count = 0;
    const void* lastObject = nullptr;
    platform::Value lastInfo;
    platform::NotificationCenter::ObserverToken token;
};

}  // namespace sidetest
