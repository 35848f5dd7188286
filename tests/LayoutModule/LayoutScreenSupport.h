#pragma once
// The layout screen in a headless window on a virtual clock: made from its
// scene, shown at a phone's or a tablet's size, with layouts that layoutgen
// writes opened through the app's document helper.

#include <memory>
#include <string>

#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"

namespace layouttest {

// Counts the notifications of one name, from any poster, and keeps the last
// one's object and user info.
struct Heard {
    explicit Heard(const char* name)
        : token(platform::NotificationCenter::defaultCenter().addObserverForName(
              std::string(name), nullptr, [this](const platform::Notification& n) {
                  ++count;
                  object = n.object();
                  last = n.userInfo();
              })) {}
    int count = 0;
    const void* object = nullptr;
    platform::Value last;
    platform::NotificationCenter::ObserverToken token;
};

class ScreenFixture {
public:
    // Registers the services and the scenes.
    ScreenFixture();
    // Closes the document and puts the device back to a phone.
    ~ScreenFixture();

    // The layout screen as the window's root at the idiom's size (phone
    // 390 x 844, tablet 820 x 1180, both at scale 2), appeared.
    void show(platform::ui::UserInterfaceIdiom idiom);
    // Writes the scenario, opens it and lets the screen fit it.
    void open(const std::string& scenario, const std::string& fileName);
    void advance(double seconds);

    CLayout& layout() const;
    double zoom() const;

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock{clock};
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::TouchSynth> synth;
    std::shared_ptr<VKMLayoutViewController> controller;
};

}  // namespace layouttest
