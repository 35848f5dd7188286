#pragma once
// The layout screen as the app shows it on a tablet, for the benchmarks of
// what a tap on it starts: a window of 1366 x 1024 points at scale 2 with
// the tab bar at its root, on a virtual clock, and a layout of generated
// elements (the mix of bench_layout_load) or the shipped sample open in it.

#include <cstddef>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/graphics/Geometry.h"

class VKMLayoutViewController;
namespace platform::ui {
class TabBarController;
class TouchSynth;
class View;
class Window;
}  // namespace platform::ui

struct LayoutTablet {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::unique_ptr<platform::ScopedClock> scoped;
    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::TouchSynth> synth;
    std::shared_ptr<platform::ui::TabBarController> tabs;
    std::shared_ptr<VKMLayoutViewController> layout;
    // The elements of the open layout plus one; 0 before the first.
    std::size_t opened = 0;

    // Moves the virtual clock on, running what falls due.
    void advance(double seconds);
};

// The one tablet of the process, made at the first call with the bench
// engine's files under a root named `name`, with the layout of `elements`
// (0: the sample) open and its tiles drawn; a layout is opened anew only
// when another is asked for. Aborts when the layout cannot be opened.
LayoutTablet& OpenLayoutTablet(const char* name, std::size_t elements);

// The centre of `view` in its window's coordinates, where a finger taps it.
platform::Point CentreInWindow(const platform::ui::View& view);
