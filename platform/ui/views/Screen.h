#pragma once
// The screens the app shows on: the main (built-in) screen, and external
// displays that the desktop backend (or a test) connects and disconnects,
// which may mirror the main screen. Connecting and disconnecting post the
// platform's notifications with the screen as object. Main thread only.

#include "platform/graphics/Geometry.h"

#include <memory>
#include <vector>

namespace platform::ui {

class Screen : public std::enable_shared_from_this<Screen> {
public:
    // A phone's screen by default: 390 x 844 points at 2 pixels a point.
    static constexpr Size kDefaultSize{390, 844};
    static constexpr double kDefaultScale = 2;
    // A tablet's, for the desktop window and the demo's tablet idiom.
    static constexpr Size kTabletSize{820, 1180};

    // Not positive or not finite scales are taken as 1.
    Screen(Size size, double scale);

    static std::shared_ptr<Screen> mainScreen();
    // The main screen first, then the connected ones in the order they came.
    static std::vector<std::shared_ptr<Screen>> screens();
    // Connecting a screen twice, or disconnecting one not connected (or the
    // main screen), does nothing and posts nothing.
    static void connectScreen(const std::shared_ptr<Screen>& screen);
    static void disconnectScreen(const std::shared_ptr<Screen>& screen);

    // The screen's coordinates start at its top-left: (0, 0, width, height).
    Rect bounds() const { return {0, 0, mSize.width, mSize.height}; }
    void setSize(Size size) { mSize = size; }
    double scale() const { return mScale; }
    void setScale(double scale);

    // The screen this one shows a copy of; null when it shows its own.
    std::shared_ptr<Screen> mirroredScreen() const { return mMirrored.lock(); }
    void setMirroredScreen(std::weak_ptr<Screen> screen) { mMirrored = std::move(screen); }

private:
    Size mSize;
    double mScale;
    std::weak_ptr<Screen> mMirrored;
};

}  // namespace platform::ui
