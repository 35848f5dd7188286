// The message banner on a virtual clock: its place and size, its keyframe
// timeline sampled from the layers' presentation and seen in snapshots, its
// replacement by the next message, the completions of its animations, its
// scaling to the view's bounds, and touches passing through it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Image.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/HoverNotification/BouncyMessageTextPassthroughView.h"
#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"
#include "widgets/Views/UIViewVekmont.h"

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::Font;
using platform::ui::Label;
using platform::ui::View;
using platform::ui::Window;

namespace {

using Banner = VKMBouncyMessageTextView;

class BouncyMessage : public testing::Test {
protected:
    void SetUp() override {
        VKMHoverNotification::sharedInstance().setMessageLog(
            [this](const std::string& text) { logged.push_back(text); });
        window->setBackgroundColor(Color{1, 1, 1, 1});
        window->makeKeyAndVisible();
    }
    void TearDown() override { VKMHoverNotification::sharedInstance().setMessageLog({}); }

    // Moves the clock on by `seconds`, firing what falls due.
    void advance(double seconds) {
        time.clock->advance(std::chrono::round<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }
    std::vector<std::shared_ptr<Banner>> banners() const { return UIViewVekmont::subViewsOfKind<Banner>(*window); }

    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::vector<std::string> logged;
};

// The value a named view of the banner shows now.
double shown(const Banner& banner, const char* name, const char* keyPath) {
    const auto view = banner.viewNamed(name);
    if (!view) return NAN;
    const auto value = view->layer()->presentationLayer()->valueForKeyPath(keyPath);
    return value ? std::get<double>(*value) : NAN;
}

// The box of the pixels darker than mid grey, in points (scale 2).
struct DarkBox {
    double minX = 1e9, minY = 1e9, maxX = -1, maxY = -1;
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
    Point centre() const { return {(minX + maxX) / 2, (minY + maxY) / 2}; }
    bool empty() const { return maxX < 0; }
};

DarkBox darkBox(const platform::Image& image) {
    DarkBox box;
    const double scale = image.scale();
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            const auto p = image.pixel(x, y);
            if (!p || p->red > 127) continue;
            box.minX = std::min(box.minX, x / scale);
            box.minY = std::min(box.minY, y / scale);
            box.maxX = std::max(box.maxX, (x + 1) / scale);
            box.maxY = std::max(box.maxY, (y + 1) / scale);
        }
    }
    return box;
}

const Font kStandIn = Font::named("DejaVu Sans", 20).value();

}  // namespace

TEST_F(BouncyMessage, TheBannerSitsAboveTheBottomAsWideAsItsTextAndTheFontsStandIn) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    VKMHoverNotification::displayMessage("Part list copied");
    EXPECT_EQ(logged, std::vector<std::string>{"Part list copied"}) << "the message is logged too";
    const auto all = banners();
    ASSERT_EQ(all.size(), 1u);
    const auto& banner = *all.front();
    EXPECT_EQ(banner.frame(), screen);
    EXPECT_FALSE(banner.isUserInteractionEnabled());

    const auto label = std::dynamic_pointer_cast<Label>(banner.viewNamed(Banner::kLabelName));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "Part list copied");
    EXPECT_EQ(label->font().fontName(), "AvenirNext-Medium");
    EXPECT_EQ(label->font().pointSize(), 20);
    EXPECT_EQ(label->textColor(), (Color{1, 1, 1, 1}));
    EXPECT_EQ(label->backgroundColor(), (Color{0, 0, 0, 0.75}));
    EXPECT_EQ(label->layer()->cornerRadius(), 7.5);
    EXPECT_TRUE(label->clipsToBounds());
    const double textWidth = platform::ui::textSize("Part list copied", kStandIn).width;
    EXPECT_NEAR(label->bounds().width, textWidth + 30, 1e-9) << "measured in the stand-in face";
    EXPECT_EQ(label->bounds().height, 35);
    // The model place: centred, 95 points above the bottom.
    const Rect inWindow = label->convertRectToView(label->bounds(), window.get());
    EXPECT_NEAR(inWindow.x + inWindow.width / 2, screen.width / 2, 1e-9);
    EXPECT_NEAR(inWindow.y + inWindow.height / 2, screen.height - 95, 1e-9);
    EXPECT_EQ(VKMHoverNotification::sharedInstance().activeNotifications(), 1u);
}

// Over a tab bar the banner stands as far above the bar as it would above
// the bottom, clear of what the screen keeps at its own bottom edge; a
// hidden bar does not count.
TEST_F(BouncyMessage, TheBannerStandsAboveATabBarAlongTheBottom) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    window->setFrame(screen);
    auto tabs = std::make_shared<platform::ui::TabBarController>();
    tabs->setViewControllers({std::make_shared<platform::ui::ViewController>()});
    window->setRootViewController(tabs);
    window->layoutIfNeeded();
    const Rect bar = tabs->tabBar()->convertRectToView(tabs->tabBar()->bounds(), window.get());
    ASSERT_GT(bar.height, 0);
    ASSERT_EQ(bar.maxY(), screen.maxY());
    const auto middleY = [this] {
        const auto label = banners().back()->viewNamed(Banner::kLabelName);
        const Rect inWindow = label->convertRectToView(label->bounds(), window.get());
        return inWindow.y + inWindow.height / 2;
    };
    VKMHoverNotification::displayMessage("Layout liked");
    EXPECT_NEAR(middleY(), bar.y - 95, 1e-9);
    tabs->tabBar()->setHidden(true);
    VKMHoverNotification::displayMessage("Layout liked");
    EXPECT_NEAR(middleY(), screen.height - 95, 1e-9);
    window->setRootViewController(nullptr);
}

TEST_F(BouncyMessage, ALongTextTakesLinesAndTheBannerStaysOnTheScreenWithItsTextWhole) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    const std::string longText =
        "The layout could not be shared because the image was larger than the share sheet accepts today";
    ASSERT_GT(platform::ui::textSize(longText, kStandIn).width, screen.width) << "one line would not fit";
    const auto banner = Banner::make(longText);
    const auto label = std::dynamic_pointer_cast<Label>(banner->viewNamed(Banner::kLabelName));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(banner->labelString(), longText);
    // Its words, on lines of their own, none lost.
    std::string words = label->text();
    ASSERT_NE(words.find('\n'), std::string::npos);
    std::replace(words.begin(), words.end(), '\n', ' ');
    EXPECT_EQ(words, longText);
    // Inside the screen with 8 points to spare on either side, taller than
    // one line, and the text whole with 15 points from the banner's sides.
    EXPECT_LE(label->bounds().width, screen.width - 16 + 1e-9);
    EXPECT_GT(label->bounds().height, 35);
    EXPECT_FALSE(label->truncatesText());
    const Label::Rendering shown = label->rendering();
    for (const auto& line : shown.layout->lines()) {
        EXPECT_GE(shown.origin.x + line.frame.minX(), 15 - 0.5);
        EXPECT_LE(shown.origin.x + line.frame.maxX(), label->bounds().width - 15 + 0.5);
    }
}

TEST_F(BouncyMessage, TheKeyframesPopBounceSettleAndFadeWithinThreeSeconds) {
    VKMHoverNotification::displayMessage("Tracks coloured");
    const auto banner = banners().front();
    using B = Banner;
    struct Sample {
        double at;  // seconds since the message
        double translationY, scaleX, scaleY, rotation, opacity;
    };
    // Key times times 3 s: the values at the key frames, and in the still
    // stretch between the settling and the fade.
    const Sample samples[] = {
        {0.0, 100, 0.25, 0.25, 0, 1},   {0.201, -50, 2.0, 1.75, NAN, 1}, {0.33, 0, NAN, NAN, 0.087, 1},
        {0.381, NAN, 1.0, 1.0, NAN, 1}, {0.45, NAN, 1, 1, -0.035, 1},    {0.501, NAN, 1, 1, 0, 1},
        {2.25, 17.97753, 1, 1, 0, 1},
    };
    double now = 0;
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.at);
        advance(s.at - now);
        now = s.at;
        if (!std::isnan(s.translationY)) {
            EXPECT_NEAR(shown(*banner, B::kRootName, "transform.translation.y"), s.translationY, 1e-3);
        }
        if (!std::isnan(s.scaleX)) {
            EXPECT_NEAR(shown(*banner, B::kXScaleName, "transform.scale.x"), s.scaleX, 1e-6);
        }
        if (!std::isnan(s.scaleY)) {
            EXPECT_NEAR(shown(*banner, B::kYScaleName, "transform.scale.y"), s.scaleY, 1e-6);
        }
        if (!std::isnan(s.rotation)) {
            EXPECT_NEAR(shown(*banner, B::kRootName, "transform.rotation.z"), s.rotation, 1e-6);
        }
        EXPECT_NEAR(shown(*banner, B::kRootName, "opacity"), s.opacity, 1e-6);
    }
    advance(2.6 - now);
    const double fading = shown(*banner, B::kRootName, "opacity");
    EXPECT_GT(fading, 0);
    EXPECT_LT(fading, 1);
    advance(2.976 - 2.6);
    EXPECT_NEAR(shown(*banner, B::kRootName, "opacity"), 0, 1e-6) << "faded out at 2.976 s";
    EXPECT_EQ(banner->superview(), window) << "still there until the end";

    advance(3.0 - 2.976);
    EXPECT_TRUE(banners().empty()) << "the completion took it out";
    EXPECT_EQ(banner->superview(), nullptr);
    EXPECT_EQ(banner->alpha(), 0);
}

TEST_F(BouncyMessage, SnapshotsShowTheBannerGrowingFromBelowAndSettling) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    // Taller than the screen, to see the banner start below its edge.
    window->setFrame({0, 0, screen.width, screen.height + 60});
    VKMHoverNotification::displayMessage("Saved");
    const double width = platform::ui::textSize("Saved", kStandIn).width + 30;

    // At once: a quarter of its size, 100 points below its place (and so
    // below the screen's edge).
    auto box = darkBox(*window->snapshot());
    ASSERT_FALSE(box.empty());
    EXPECT_NEAR(box.width(), width / 4, 1.5);
    EXPECT_NEAR(box.height(), 35.0 / 4, 1.5);
    EXPECT_NEAR(box.centre().x, screen.width / 2, 1);
    EXPECT_NEAR(box.centre().y, screen.height - 95 + 100, 1);

    // At 1 s: full size, upright, drifting down linearly from 0.33 s
    // towards 25 points at 3 s.
    advance(1.0);
    box = darkBox(*window->snapshot());
    EXPECT_NEAR(box.width(), width, 1.5);
    EXPECT_NEAR(box.height(), 35, 1.5);
    EXPECT_NEAR(box.centre().x, screen.width / 2, 1);
    EXPECT_NEAR(box.centre().y, screen.height - 95 + 25 * (1.0 - 0.33) / (3.0 - 0.33), 1);

    advance(2.0);
    EXPECT_TRUE(darkBox(*window->snapshot()).empty()) << "gone after 3 s";
}

TEST_F(BouncyMessage, TheNextMessageReplacesTheOneShowing) {
    VKMHoverNotification::displayMessage("First");
    const auto first = banners().front();
    advance(0.5);
    VKMHoverNotification::displayMessage("Second");
    EXPECT_EQ(first->alpha(), 0) << "hidden at once";
    EXPECT_FALSE(first->viewNamed(Banner::kRootName)->layer()->hasAnimations());
    advance(0);
    auto shownNow = banners();
    ASSERT_EQ(shownNow.size(), 1u) << "the first one's completion took it out";
    const auto second = shownNow.front();
    EXPECT_EQ(std::dynamic_pointer_cast<Label>(second->viewNamed(Banner::kLabelName))->text(), "Second");

    // The second plays in full: still there just before its 3 s.
    advance(2.99);
    EXPECT_EQ(second->superview(), window);
    EXPECT_EQ(second->alpha(), 1);
    advance(0.01);
    EXPECT_TRUE(banners().empty());

    // Three in one turn of the loop: the first is still in the window when
    // the third comes, and the second must not stay on under the third.
    VKMHoverNotification::displayMessage("A");
    VKMHoverNotification::displayMessage("B");
    VKMHoverNotification::displayMessage("C");
    advance(0);
    shownNow = banners();
    ASSERT_EQ(shownNow.size(), 1u);
    EXPECT_EQ(std::dynamic_pointer_cast<Label>(shownNow.front()->viewNamed(Banner::kLabelName))->text(), "C");
    EXPECT_EQ(logged, (std::vector<std::string>{"First", "Second", "A", "B", "C"}));
}

TEST_F(BouncyMessage, WithoutAWindowNothingIsShownButTheMessageIsLogged) {
    window.reset();
    const auto before = VKMHoverNotification::sharedInstance().activeNotifications();
    EXPECT_EQ(VKMHoverNotification::sharedInstance().installBouncyTextViewWithString("Offline"), nullptr);
    VKMHoverNotification::displayMessage("Offline");
    EXPECT_EQ(logged, std::vector<std::string>{"Offline"});
    EXPECT_EQ(VKMHoverNotification::sharedInstance().activeNotifications(), before);
}

TEST_F(BouncyMessage, CompletionsHearWhetherTheAnimationRanOrWasRemoved) {
    std::vector<std::string> heard;
    const auto kept = Banner::make("kept");
    window->addSubview(kept);
    kept->addBouncyTextAnimationWithCompletion(
        [&](bool finished) { heard.push_back(finished ? "kept ran" : "kept cut"); });
    const auto dropped = Banner::make("dropped");
    window->addSubview(dropped);
    dropped->addBouncyTextAnimationAndRemoveOnCompletion(
        true, [&](bool finished) { heard.push_back(finished ? "dropped ran" : "dropped cut"); });
    const auto cut = Banner::make("cut");
    window->addSubview(cut);
    cut->addBouncyTextAnimationWithCompletion(
        [&](bool finished) { heard.push_back(finished ? "cut ran" : "cut cut"); });

    advance(1);
    cut->removeAllAnimations();
    EXPECT_TRUE(heard.empty()) << "never from inside the removal";
    advance(0);
    EXPECT_EQ(heard, std::vector<std::string>{"cut cut"});
    EXPECT_FALSE(cut->layer()->hasAnimations());
    for (const char* name : {Banner::kRootName, Banner::kXScaleName, Banner::kYScaleName}) {
        EXPECT_FALSE(cut->viewNamed(name)->layer()->hasAnimations()) << name;
    }

    advance(2);
    EXPECT_EQ(heard, (std::vector<std::string>{"cut cut", "kept ran", "dropped ran"}));
    // Kept animations hold their last frame; removed ones leave the model.
    EXPECT_EQ(shown(*kept, Banner::kRootName, "transform.translation.y"), 25);
    EXPECT_EQ(shown(*kept, Banner::kRootName, "opacity"), 0);
    EXPECT_EQ(kept->viewNamed(Banner::kRootName)->layer()->animationKeys().size(), 3u);
    EXPECT_FALSE(dropped->viewNamed(Banner::kRootName)->layer()->hasAnimations());
    EXPECT_EQ(shown(*dropped, Banner::kRootName, "opacity"), 1);

    kept->removeBouncyTextAnimation();
    for (const char* name : {Banner::kRootName, Banner::kXScaleName, Banner::kYScaleName}) {
        EXPECT_FALSE(kept->viewNamed(name)->layer()->hasAnimations()) << name;
    }
    advance(0);
    EXPECT_EQ(heard.size(), 3u) << "each completion once";
}

TEST_F(BouncyMessage, TheScreenSizedContentScalesToTheViewAsItsContentModeSays) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    struct Case {
        const char* name;
        platform::ui::ViewContentMode mode;
        double widthShare, heightShare;
        double sx, sy;
    };
    const Case cases[] = {
        {"stretched", platform::ui::ViewContentMode::scaleToFill, 1, 0.5, 1, 0.5},
        {"aspect fill takes the larger", platform::ui::ViewContentMode::scaleAspectFill, 1, 0.5, 1, 1},
        {"aspect fit takes the smaller", platform::ui::ViewContentMode::scaleAspectFit, 1, 0.5, 0.5, 0.5},
        {"other modes fit too", platform::ui::ViewContentMode::center, 0.25, 1, 0.25, 0.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto banner = Banner::make("scaled");
        banner->setContentMode(c.mode);
        banner->setFrame({0, 0, screen.width * c.widthShare, screen.height * c.heightShare});
        banner->layoutIfNeeded();
        const auto scaling = banner->viewNamed(Banner::kScalingName);
        const auto t = scaling->transform();
        EXPECT_NEAR(t.a, c.sx, 1e-12);
        EXPECT_NEAR(t.d, c.sy, 1e-12);
        EXPECT_NEAR(scaling->center().x, screen.width * c.widthShare / 2, 1e-9);
        EXPECT_NEAR(scaling->center().y, screen.height * c.heightShare / 2, 1e-9);
    }
}

TEST_F(BouncyMessage, TouchesReachTheViewsBelow) {
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    auto button = std::make_shared<platform::ui::Button>();
    button->setFrame(screen);
    int taps = 0;
    button->addAction([&](platform::ui::Control&) { ++taps; }, platform::ui::ControlEvents::touchUpInside);
    window->addSubview(button);
    VKMHoverNotification::displayMessage("Liked");
    advance(0.5);
    const Point onBanner{screen.width / 2, screen.height - 95};
    platform::ui::TouchSynth touches(window);
    touches.tap(onBanner);
    touches.tap({20, 20});
    EXPECT_EQ(taps, 2) << "the banner takes no touch, on it or beside it";

    // The containers are hit only where the banner is.
    const auto banner = banners().front();
    const auto root = banner->viewNamed(Banner::kRootName);
    EXPECT_TRUE(root->pointInside(root->convertPointFromView(onBanner, window.get()), nullptr));
    EXPECT_FALSE(root->pointInside(root->convertPointFromView({20, 20}, window.get()), nullptr));
    EXPECT_FALSE(std::make_shared<BouncyMessageTextPassthroughView>(Rect{0, 0, 50, 50})->pointInside({10, 10}, nullptr))
        << "an empty container is hit nowhere";
}
