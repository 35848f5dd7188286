// The tab bar as the platform's: the selected tab in the tint and the others
// grey, titles that fit their items (a narrow item stacks a small title under
// its image), on a phone's and a tablet's width and the smallest of each.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

using namespace platform::ui;
using platform::Color;
using platform::Rect;
using platform::Size;

namespace {

bool SameColour(const Color& a, const Color& b) {
    return std::abs(a.red - b.red) < 0.01 && std::abs(a.green - b.green) < 0.01 && std::abs(a.blue - b.blue) < 0.01;
}

}  // namespace

TEST(UiTabBarFit, TheSelectedTabIsTintedAndEveryTitleFits) {
    const Color blue = View().tintColor();
    for (const Size size : {Size{390, 844}, Size{320, 568}, Size{820, 1180}, Size{768, 1024}}) {
        testsupport::VirtualTime time;
        auto window = std::make_shared<Window>(Rect{0, 0, size.width, size.height});
        std::vector<std::shared_ptr<ViewController>> controllers;
        for (const char* title : {"Layouts", "Local layouts", "Layout", "Parts", "Profile", "Lokale Gleispläne"}) {
            auto controller = std::make_shared<ViewController>();
            controller->setTitle(title);
            controllers.push_back(controller);
        }
        // A picture as large as the profile's.
        const auto picture = platform::BitmapContext::createForPointSize(Size{32, 32}, 2)->makeImage();
        controllers[4]->tabBarItem().setImage(picture);
        auto tabs = std::make_shared<TabBarController>();
        tabs->setViewControllers(controllers);
        window->setRootViewController(tabs);
        window->layoutIfNeeded();

        const auto check = [&](std::size_t selected) {
            const auto buttons = tabs->tabBar()->buttons();
            ASSERT_EQ(buttons.size(), controllers.size());
            for (std::size_t i = 0; i < buttons.size(); ++i) {
                const auto& button = buttons[i];
                const std::string what = std::to_string(size.width) + " tab " + std::to_string(i);
                EXPECT_FALSE(button->titleLabel()->truncatesText()) << what << " " << button->titleLabel()->text();
                EXPECT_EQ(SameColour(button->currentTitleColor(), blue), i == selected) << what;
                const Rect title = button->titleLabel()->frame();
                const Rect bounds = button->bounds();
                EXPECT_GE(title.minX(), bounds.minX() - 0.01) << what;
                EXPECT_LE(title.maxX(), bounds.maxX() + 0.01) << what;
                EXPECT_LE(title.maxY(), TabBar::kHeight + 0.01) << what;
            }
            // The picture stays whole and apart from its title.
            const auto profile = buttons[4];
            const Rect image = profile->imageView()->frame();
            const Rect title = profile->titleLabel()->frame();
            EXPECT_GT(image.width, 20);
            const bool apart = image.maxY() <= title.minY() + 0.01 || image.maxX() <= title.minX() + 0.01;
            EXPECT_TRUE(apart) << size.width;
        };
        check(0);
        tabs->tapTab(2);
        window->layoutIfNeeded();
        check(2);
        window->setRootViewController(nullptr);
    }
}

TEST(UiTabBarFit, ALongTitleTakesTwoLinesAndAllTitlesShareOneLegibleSize) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 320, 568});
    std::vector<std::shared_ptr<ViewController>> controllers;
    for (const char* title : {"Gleispläne", "Lokale Gleispläne", "Gleisplan", "Teile", "Profil", "Debug"}) {
        auto controller = std::make_shared<ViewController>();
        controller->setTitle(title);
        controllers.push_back(controller);
    }
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers(controllers);
    window->setRootViewController(tabs);
    window->layoutIfNeeded();

    const auto buttons = tabs->tabBar()->buttons();
    ASSERT_EQ(buttons.size(), controllers.size());
    const double size = buttons[0]->titleLabel()->font().pointSize();
    // Narrow items: 10 points at most, 8 at least.
    EXPECT_LE(size, 10);
    EXPECT_GE(size, 8);
    for (const auto& button : buttons) {
        const auto& title = *button->titleLabel();
        EXPECT_DOUBLE_EQ(title.font().pointSize(), size) << title.text();
        EXPECT_FALSE(title.truncatesText()) << title.text();
        // Drawn at the size set, not shrunk further on its own.
        EXPECT_DOUBLE_EQ(title.rendering().scale, 1) << title.text();
    }
    // Its words whole, one a line.
    const auto& lines = buttons[1]->titleLabel()->rendering().layout->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].start, std::string("Lokale ").size());
    window->setRootViewController(nullptr);
}
