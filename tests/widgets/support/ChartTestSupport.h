#pragma once
// Shared helpers of the chart tests: a window on the virtual clock with
// synthetic touches, a delegate that records what the charts report, and
// images compared within a tolerance.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/Charts/GRChartDelegate.h"

#include <memory>
#include <string>
#include <vector>

namespace charttest {

// A window of 400 by 400 points on a virtual clock.
struct Scene {
    testsupport::VirtualTime time;
    std::shared_ptr<platform::ui::Window> window =
        std::make_shared<platform::ui::Window>(platform::Rect{0, 0, 400, 400});
    platform::ui::TouchSynth synth{window};

    Scene();
    // Advances the virtual clock, firing what falls due.
    void advance(double seconds);
};

// Every delegate call as a line of text: "pie 2", "unselect", "bar 1",
// "line 0", "point 1 3".
class RecordingDelegate : public GRChartDelegate {
public:
    std::vector<std::string> calls;

    void chartTappedOnLinePoint(platform::Point point, std::int64_t lineIndex) override;
    void chartTappedOnLineKeyPoint(platform::Point point, std::int64_t lineIndex, std::int64_t pointIndex) override;
    void chartTappedOnBarAtIndex(std::int64_t barIndex) override;
    void chartTappedOnPieIndexItem(std::int64_t pieIndex) override;
    void didUnselectPieItem() override;
};

// A white bitmap of the window's size at the window's scale (2), to draw
// what a snapshot should show.
std::unique_ptr<platform::BitmapContext> ExpectedCanvas();

// Pixels of the two images (same size) that differ by more than
// `tolerance` on some colour channel.
int CountDiffering(const platform::Image& shot, const platform::BitmapContext& expected, int tolerance);

}  // namespace charttest
