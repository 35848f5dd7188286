// Page controls tapped like a user and activity indicators turning on the
// display link of the virtual clock, checked in their pixels.

#include "platform/graphics/Image.h"
#include "platform/ui/views/ActivityIndicatorView.h"
#include "platform/ui/views/PageControl.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::ActivityIndicatorView;
using platform::ui::ActivityIndicatorViewStyle;
using platform::ui::Control;
using platform::ui::ControlEvents;
using platform::ui::PageControl;
using platform::ui::TouchSynth;
using platform::ui::Window;

TEST(UiPageControl, TapsBesideTheCurrentDotTurnAPage) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 400, 100});
    window->setBackgroundColor(Color{0, 0, 0, 1});
    auto pages = std::make_shared<PageControl>(Rect{0, 0, 400, PageControl::kHeight});
    pages->setNumberOfPages(5);
    pages->setCurrentPage(2);
    window->addSubview(pages);
    int changes = 0;
    pages->addAction([&](Control&) { ++changes; }, ControlEvents::valueChanged);
    TouchSynth synth(window);

    const double row = 5 * PageControl::kDotDiameter + 4 * PageControl::kDotSpacing;
    EXPECT_EQ(PageControl::sizeForNumberOfPages(5), (platform::Size{row, PageControl::kHeight}));
    EXPECT_EQ(pages->dotCenter(2), (Point{200, PageControl::kHeight / 2})) << "the dots centred";

    synth.tap({150, 13});
    EXPECT_EQ(pages->currentPage(), 1);
    synth.wait(1);
    synth.tap({390, 13});
    EXPECT_EQ(pages->currentPage(), 2) << "one page a tap, however far to the side";
    EXPECT_EQ(changes, 2);

    pages->setCurrentPage(0);
    synth.wait(1);
    synth.tap({10, 13});
    EXPECT_EQ(pages->currentPage(), 0);
    EXPECT_EQ(changes, 2) << "no page before the first";

    // The current dot is drawn in its colour, the others fainter.
    pages->setCurrentPage(3);
    const auto shot = window->snapshot();
    const auto at = [&](Point p) { return *shot->pixel(static_cast<int>(p.x * 2), static_cast<int>(p.y * 2)); };
    EXPECT_EQ(at(pages->dotCenter(3)), (platform::Pixel{255, 255, 255, 255}));
    EXPECT_NEAR(at(pages->dotCenter(1)).red, 0.3 * 255, 2);
    EXPECT_EQ(at({pages->dotCenter(3).x + PageControl::kDotDiameter, 13}).red, 0) << "between the dots";

    pages->setCurrentPage(9);
    EXPECT_EQ(pages->currentPage(), 4);
    pages->setNumberOfPages(2);
    EXPECT_EQ(pages->currentPage(), 1);
    pages->setHidesForSinglePage(true);
    EXPECT_FALSE(pages->isHidden());
    pages->setNumberOfPages(1);
    EXPECT_TRUE(pages->isHidden());
}

TEST(UiActivityIndicator, SpokesTurnOnTheDisplayLinkWhileAnimating) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 100, 100});
    window->setBackgroundColor(Color{1, 1, 1, 1});
    auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::large);
    spinner->setColor({0, 0, 0, 1});
    spinner->setCenter({50, 50});
    window->addSubview(spinner);
    EXPECT_EQ(spinner->bounds().width, ActivityIndicatorView::kLargeSide);
    EXPECT_TRUE(spinner->isHidden()) << "hidden while stopped";
    TouchSynth synth(window);

    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    // How dark the middle of a spoke is: the brightest spoke is opaque.
    const auto darkness = [&](int spoke) {
        const auto shot = window->snapshot();
        const double angle = 2 * std::numbers::pi * spoke / ActivityIndicatorView::kSpokes;
        const double r = ActivityIndicatorView::kLargeSide / 2 * 0.72;
        const Point p{50 + r * std::sin(angle), 50 - r * std::cos(angle)};
        return 255 - shot->pixel(static_cast<int>(p.x * 2), static_cast<int>(p.y * 2))->red;
    };
    EXPECT_EQ(spinner->brightestSpoke(), 0);
    EXPECT_GT(darkness(0), darkness(6) + 100);

    synth.wait(6 / ActivityIndicatorView::kStepsPerSecond + 0.01);
    EXPECT_EQ(spinner->brightestSpoke(), 6);
    EXPECT_GT(darkness(6), darkness(0) + 100);
    EXPECT_GT(darkness(5), darkness(4)) << "fading behind the turn";

    synth.wait(6 / ActivityIndicatorView::kStepsPerSecond);
    EXPECT_EQ(spinner->brightestSpoke(), 0) << "a whole turn a second";

    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    synth.wait(0.5);
    EXPECT_EQ(spinner->brightestSpoke(), 0) << "stopped";
    spinner->setHidesWhenStopped(false);
    EXPECT_FALSE(spinner->isHidden());
}
