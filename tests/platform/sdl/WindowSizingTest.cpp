// The first window's size and place on common displays: the screen's points
// are kept (a tablet turned on a wide display where upright would be too
// small) and the scale is chosen so that the window with its title bar
// fits; it is centred in the area the desktop's panels leave, with the
// frame a window manager gives it, if one runs.

#include "platform/ui/sdl/WindowSizing.h"
#include "platform/ui/views/Screen.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::Screen;
using platform::ui::UserInterfaceIdiom;
using platform::ui::sdl::minimumPointsFor;
using platform::ui::sdl::placeWindow;
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

TEST(WindowSizing, ATabletOpensOnItsSideOnAWideDisplayWhereUprightIsTooSmallToRead) {
    const Size tablet = Screen::kTabletSize;
    const Size minimum = minimumPointsFor(UserInterfaceIdiom::tablet);
    struct Case {
        const char* name;
        Size usable;
        bool landscape;
        double scale;
        int width, height, minimumWidth, minimumHeight;
    };
    // Worked by hand. 1366 x 768: upright (768 - 72) / 1180 gives 0.5625;
    // on its side min(1334 / 1180, 696 / 820) = 0.8488, stepped 0.8125.
    // 1920 x 1080: upright 0.8125 is enough. A display higher than wide
    // keeps the tablet upright; a small wide one turns it for what it gives.
    const Case cases[] = {
        {"1366x768", {1366, 768}, true, 0.8125, 959, 667, 832, 624},
        {"1920x1080", {1920, 1080}, false, 0.8125, 667, 959, 624, 832},
        {"3840x2160", {3840, 2160}, false, 1.75, 1435, 2065, 1344, 1792},
        {"1080x1920 upright", {1080, 1920}, false, 1.25, 1025, 1475, 960, 1280},
        {"1024x600", {1024, 600}, true, 0.625, 738, 513, 640, 480},
    };
    for (const Case& c : cases) {
        const auto sizing = sizeWindow(tablet, minimum, c.usable, std::nullopt, true);
        EXPECT_EQ(sizing.landscape, c.landscape) << c.name;
        EXPECT_DOUBLE_EQ(sizing.scale, c.scale) << c.name;
        EXPECT_EQ(sizing.points.width, c.landscape ? 1180 : 820) << c.name;
        EXPECT_EQ(sizing.points.height, c.landscape ? 820 : 1180) << c.name;
        EXPECT_EQ(sizing.width, c.width) << c.name;
        EXPECT_EQ(sizing.height, c.height) << c.name;
        EXPECT_EQ(sizing.minimumWidth, c.minimumWidth) << c.name;
        EXPECT_EQ(sizing.minimumHeight, c.minimumHeight) << c.name;
        EXPECT_LE(sizing.height + 72, c.usable.height) << c.name << ": the title bar is on screen";
        EXPECT_LE(sizing.width + 32, c.usable.width) << c.name;
    }
    // A scale asked for is taken upright; a window that may not turn stays
    // upright.
    EXPECT_FALSE(sizeWindow(tablet, minimum, Size{1366, 768}, 0.5, true).landscape);
    const auto upright = sizeWindow(tablet, minimum, Size{1366, 768}, std::nullopt, false);
    EXPECT_FALSE(upright.landscape);
    EXPECT_EQ(upright.scale, 0.5625);
}

TEST(WindowSizing, TheWindowIsCentredInTheUsableAreaClearOfPanels) {
    struct Case {
        const char* name;
        Rect usable;
        int width, height;
        double x, y;
        platform::ui::sdl::FrameExtents frame = platform::ui::sdl::kAllowedFrame;
    };
    // Worked by hand: the window with 16 pixels of frame on either side,
    // 56 above and 16 below, or the frame the window manager tells (1, 1,
    // 20, 5 as a common one draws it), centred in the area, down to whole
    // pixels.
    const Case cases[] = {
        {"no panel", {0, 0, 1366, 768}, 959, 667, 203, 70},
        {"a panel below", {0, 0, 1366, 740}, 959, 667, 203, 56},
        {"a panel above", {0, 28, 1366, 740}, 959, 667, 203, 84},
        {"a dock on the left", {64, 0, 1302, 768}, 317, 686, 556, 61},
        // Larger than the area: the title bar stays on screen.
        {"too small", {0, 24, 1366, 744}, 462, 800, 452, 80},
        {"framed, 1920x1080, a panel below", {0, 0, 1920, 1032}, 439, 950, 740, 48, {1, 1, 20, 5}},
        {"framed, 1366x768, a panel below", {0, 0, 1366, 720}, 293, 633, 536, 51, {1, 1, 20, 5}},
        {"a thicker frame, a panel above", {0, 28, 1366, 740}, 317, 686, 524, 68, {4, 4, 30, 4}},
        {"no frame", {0, 0, 1920, 1080}, 464, 1003, 728, 38, {0, 0, 0, 0}},
        {"framed, too small", {0, 24, 1366, 744}, 462, 800, 452, 44, {1, 1, 20, 5}},
    };
    for (const Case& c : cases) {
        const Point at = placeWindow(c.width, c.height, c.usable, c.frame);
        EXPECT_EQ(at.x, c.x) << c.name;
        EXPECT_EQ(at.y, c.y) << c.name;
        if (c.frame.top + c.height + c.frame.bottom <= c.usable.height) {
            EXPECT_GE(at.y - c.frame.top, c.usable.minY()) << c.name << ": the title bar below the area's top";
            EXPECT_LE(at.y + c.height + c.frame.bottom, c.usable.maxY()) << c.name << ": the window above the panel";
        }
    }
}

// Only a window manager frames the window; without one the placement waits
// for no frame. Its check window names itself while it runs.
TEST(WindowSizing, AWindowManagerRunsOnlyWhileItsCheckWindowNamesItself) {
    struct Case {
        const char* name;
        std::optional<unsigned long> namedByRoot, namedByItself;
        bool runs;
    };
    const Case cases[] = {
        {"a bare X server", std::nullopt, std::nullopt, false},
        {"the root names None", 0ul, std::nullopt, false},
        {"the named window has gone", 0x200004ul, std::nullopt, false},
        {"the named window, reused, names another", 0x200004ul, 0x400001ul, false},
        {"the named window names nothing", 0x200004ul, 0ul, false},
        {"running", 0x200004ul, 0x200004ul, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ui::sdl::windowManagerRuns(c.namedByRoot, c.namedByItself), c.runs) << c.name;
    }
}

// The window is asked to open where it stays: its own corner, which its
// manager keeps (static gravity), centred with the allowance under a
// manager (or where none can be told), alone without one.
TEST(WindowSizing, TheWindowIsAskedToOpenWhereItStaysWithOrWithoutAWindowManager) {
    using platform::ui::sdl::kAllowedFrame;
    struct Case {
        const char* name;
        Rect usable;
        int width, height;
        std::optional<bool> managerRuns;
        double x, y;
    };
    // Worked by hand: 16 pixels of frame on either side, 56 above and 16
    // below, or none, around the window centred, down to whole pixels.
    const Case cases[] = {
        {"phone 1920x1080, a manager", {0, 0, 1920, 1080}, 464, 1003, true, 728, 58},
        {"phone 1920x1080, no manager", {0, 0, 1920, 1080}, 464, 1003, false, 728, 38},
        {"phone 1920x1080, cannot tell", {0, 0, 1920, 1080}, 464, 1003, std::nullopt, 728, 58},
        {"tablet 1366x768 on its side, a manager", {0, 0, 1366, 768}, 959, 667, true, 203, 70},
        {"tablet 1366x768 on its side, no manager", {0, 0, 1366, 768}, 959, 667, false, 203, 50},
        {"phone 1366x768, a panel above, no manager", {0, 28, 1366, 740}, 317, 686, false, 524, 55},
        {"tablet 1920x1080, a panel below, a manager", {0, 0, 1920, 1040}, 667, 959, true, 626, 60},
        {"too high, a manager: the title bar at the area's top", {0, 24, 1366, 744}, 462, 800, true, 452, 80},
        {"too high, no manager: the window at the area's top", {0, 24, 1366, 744}, 462, 800, false, 452, 24},
    };
    for (const Case& c : cases) {
        const Point at = platform::ui::sdl::openingPoint(c.width, c.height, c.usable, c.managerRuns);
        EXPECT_EQ(at.x, c.x) << c.name;
        EXPECT_EQ(at.y, c.y) << c.name;
        if (c.managerRuns != false) {
            EXPECT_GE(at.y - kAllowedFrame.top, c.usable.minY()) << c.name << ": the title bar above the area";
        }
    }
}

// The window's colour before its first frame, in the bits a visual gives
// each channel.
TEST(WindowSizing, AColourBecomesThePixelOfTheVisual) {
    struct Case {
        const char* name;
        platform::Color color;
        unsigned long red, green, blue;
        std::optional<unsigned long> pixel;
    };
    const Case cases[] = {
        {"white, 24 bits", {1, 1, 1, 1}, 0xff0000, 0xff00, 0xff, 0xffffff},
        {"grey, 24 bits", {0.5, 0.5, 0.5, 1}, 0xff0000, 0xff00, 0xff, 0x808080},
        {"orange, 24 bits, blue first", {1, 0.5, 0, 1}, 0xff, 0xff00, 0xff0000, 0x0080ff},
        {"grey, 16 bits (5, 6, 5)", {0.5, 0.5, 0.5, 1}, 0xf800, 0x7e0, 0x1f, 0x8410},
        {"red, 16 bits", {1, 0, 0, 1}, 0xf800, 0x7e0, 0x1f, 0xf800},
        {"white, 30 bits", {1, 1, 1, 1}, 0x3ff00000, 0xffc00, 0x3ff, 0x3fffffff},
        {"out of range, held", {1.5, -0.5, 1, 1}, 0xff0000, 0xff00, 0xff, 0xff00ff},
        {"colour-mapped: no masks", {1, 1, 1, 1}, 0, 0, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ui::sdl::pixelIn(c.color, c.red, c.green, c.blue), c.pixel) << c.name;
    }
}
