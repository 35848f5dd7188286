// The first window's size on common displays: the screen's points are kept
// and the scale is chosen so that the window with its title bar fits.

#include "platform/ui/sdl/WindowSizing.h"
#include "platform/ui/views/Screen.h"

#include <gtest/gtest.h>

#include <string>

using platform::Size;
using platform::ui::Screen;
using platform::ui::UserInterfaceIdiom;
using platform::ui::sdl::minimumPointsFor;
using platform::ui::sdl::sizeWindow;

namespace {

struct Expected {
    const char* name;
    UserInterfaceIdiom idiom;
    Size usable;
    double scale;
    int width, height, minimumWidth, minimumHeight;
};

}  // namespace

TEST(WindowSizing, TheWindowFitsCommonDisplaysForBothIdiomsAtTheLargestStep) {
    const auto phone = UserInterfaceIdiom::phone;
    const auto tablet = UserInterfaceIdiom::tablet;
    // Worked by hand: the scale is the largest sixteenth, at most 2, at
    // which the points and 32 x 72 pixels of frame fit the area; pixels
    // are rounded up.
    const Expected cases[] = {
        {"phone 1920x1080", phone, {1920, 1080}, 1.1875, 464, 1003, 380, 675},
        {"phone 1366x768", phone, {1366, 768}, 0.8125, 317, 686, 260, 462},
        {"phone 3840x2160", phone, {3840, 2160}, 2.0, 780, 1688, 640, 1136},
        {"tablet 1920x1080", tablet, {1920, 1080}, 0.8125, 667, 959, 624, 832},
        {"tablet 1366x768", tablet, {1366, 768}, 0.5625, 462, 664, 432, 576},
        {"tablet 3840x2160", tablet, {3840, 2160}, 1.75, 1435, 2065, 1344, 1792},
    };
    for (const Expected& c : cases) {
        const Size points = c.idiom == tablet ? Screen::kTabletSize : Screen::kDefaultSize;
        const auto sizing = sizeWindow(points, minimumPointsFor(c.idiom), c.usable, std::nullopt);
        EXPECT_DOUBLE_EQ(sizing.scale, c.scale) << c.name;
        EXPECT_EQ(sizing.width, c.width) << c.name;
        EXPECT_EQ(sizing.height, c.height) << c.name;
        EXPECT_EQ(sizing.minimumWidth, c.minimumWidth) << c.name;
        EXPECT_EQ(sizing.minimumHeight, c.minimumHeight) << c.name;
        EXPECT_LE(sizing.height + 72, c.usable.height) << c.name << ": the title bar is on screen";
        EXPECT_LE(sizing.width, c.usable.width) << c.name;
    }
}

TEST(WindowSizing, AScaleAskedForIsTakenAndAnUnknownOrTinyDisplayHasLimits) {
    const Size phone = Screen::kDefaultSize;
    const Size minimum = minimumPointsFor(UserInterfaceIdiom::phone);
    auto asked = sizeWindow(phone, minimum, Size{1920, 1080}, 3.0);
    EXPECT_EQ(asked.scale, 3.0);
    EXPECT_EQ(asked.width, 1170);
    EXPECT_EQ(asked.height, 2532);

    auto unknown = sizeWindow(phone, minimum, std::nullopt, std::nullopt);
    EXPECT_EQ(unknown.scale, 2.0);
    EXPECT_EQ(unknown.height, 1688);

    // Smaller than half a pixel a point is not legible: the window is then
    // larger than the display.
    auto tiny = sizeWindow(phone, minimum, Size{640, 480}, std::nullopt);
    EXPECT_EQ(tiny.scale, 0.5);
    EXPECT_EQ(tiny.width, 195);
    EXPECT_EQ(tiny.height, 422);

    // A screen smaller than the minimum is its own minimum.
    auto small = sizeWindow(Size{300, 400}, minimum, Size{1920, 1080}, 2.0);
    EXPECT_EQ(small.minimumWidth, 600);
    EXPECT_EQ(small.minimumHeight, 800);
}
