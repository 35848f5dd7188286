// Windows, screens, the device and the application: snapshots of a small
// tree, tree dumps, key windows, touches reaching views through the
// responder chain, and what the toolkit posts and records.

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/FeedbackGenerator.h"
#include "platform/ui/views/Pasteboard.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using platform::Color;
using platform::Pixel;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::Application;
using platform::ui::ApplicationState;
using platform::ui::Device;
using platform::ui::DeviceOrientation;
using platform::ui::Event;
using platform::ui::HapticEvent;
using platform::ui::Screen;
using platform::ui::TouchSet;
using platform::ui::TouchSynth;
using platform::ui::View;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

// Draws a green square over its bounds.
class Painted : public View {
public:
    explicit Painted(const Rect& frame) : View(frame) { setNeedsDisplay(); }
    void drawRect(platform::Context& context, const Rect& rect) override {
        context.setFillColor(Color{0, 1, 0, 1});
        context.fillRect(rect);
    }
};

// Hears touches but passes them on, as a view that does not handle them.
class Passing : public View {
public:
    Passing(Log& log, std::string name, const Rect& frame) : View(frame), mLog(log), mName(std::move(name)) {}
    void touchesBegan(const TouchSet& t, const Event& e) override {
        mLog.push_back(mName + " began");
        View::touchesBegan(t, e);
    }
    void touchesEnded(const TouchSet& t, const Event& e) override {
        mLog.push_back(mName + " ended");
        if (!mSwallows) View::touchesEnded(t, e);
    }
    bool mSwallows = false;

private:
    Log& mLog;
    std::string mName;
};

// The names posted to the default centre while it lives.
struct Posted {
    Log names;
    platform::NotificationCenter::ObserverToken token =
        platform::NotificationCenter::defaultCenter().addObserverForName(
            std::nullopt, nullptr, [this](const platform::Notification& n) { names.push_back(n.name()); });
};

int channelNear(int actual, int expected, int tolerance) { return std::abs(actual - expected) <= tolerance; }

void expectPixel(const platform::Image& image, int x, int y, Pixel expected, const std::string& name) {
    const auto p = image.pixel(x, y);
    ASSERT_TRUE(p.has_value()) << name;
    EXPECT_TRUE(channelNear(p->red, expected.red, 2) && channelNear(p->green, expected.green, 2) &&
                channelNear(p->blue, expected.blue, 2) && channelNear(p->alpha, expected.alpha, 2))
        << name << ": " << int(p->red) << " " << int(p->green) << " " << int(p->blue) << " " << int(p->alpha);
}

}  // namespace

TEST(UiWindow, ASnapshotShowsTheTreeAtTheScreensScale) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 40, 30});
    window->setBackgroundColor(Color{1, 1, 1, 1});
    auto red = std::make_shared<View>(Rect{10, 5, 20, 10});
    red->setBackgroundColor(Color{1, 0, 0, 1});
    red->setClipsToBounds(true);
    auto blue = std::make_shared<View>(Rect{15, 0, 10, 10});  // half beyond red's right edge
    blue->setBackgroundColor(Color{0, 0, 1, 1});
    red->addSubview(blue);
    auto hidden = std::make_shared<View>(Rect{0, 0, 40, 30});
    hidden->setBackgroundColor(Color{0, 0, 0, 1});
    hidden->setHidden(true);
    auto shade = std::make_shared<View>(Rect{0, 20, 10, 10});
    shade->setBackgroundColor(Color{0, 0, 0, 1});
    shade->setAlpha(0.5);
    window->addSubview(red);
    window->addSubview(hidden);
    window->addSubview(shade);
    window->addSubview(std::make_shared<Painted>(Rect{30, 20, 10, 10}));

    const auto image = window->snapshot();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 80) << "40 points at scale 2";
    EXPECT_EQ(image->pixelHeight(), 60);
    // Pixels in the middle of each area (points times 2).
    expectPixel(*image, 4, 4, {255, 255, 255, 255}, "the window's background");
    expectPixel(*image, 24, 14, {255, 0, 0, 255}, "red at (12, 7)");
    expectPixel(*image, 54, 20, {0, 0, 255, 255}, "blue inside red at (27, 10)");
    expectPixel(*image, 64, 20, {255, 255, 255, 255}, "blue clipped beyond red at (32, 10)");
    expectPixel(*image, 10, 50, {128, 128, 128, 255}, "half-transparent black over white at (5, 25)");
    expectPixel(*image, 70, 50, {0, 255, 0, 255}, "drawn content at (35, 25)");

    // A window elsewhere on the screen renders from its own top-left.
    window->setFrame({100, 200, 40, 30});
    const auto moved = window->snapshot();
    expectPixel(*moved, 24, 14, {255, 0, 0, 255}, "red, the window moved");
}

TEST(UiWindow, SnapshotsKeepTheirPixelsWhileHeldAndStartFromTransparency) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 40, 30});
    auto square = std::make_shared<View>(Rect{0, 0, 40, 30});
    square->setBackgroundColor(Color{1, 0, 0, 1});
    window->addSubview(square);
    auto red = window->snapshot();
    square->setBackgroundColor(Color{0, 0, 1, 1});
    const auto blue = window->snapshot();
    square->setBackgroundColor(Color{0, 1, 0, 1});
    const auto green = window->snapshot();
    expectPixel(*red, 70, 50, {255, 0, 0, 255}, "the first snapshot, held");
    expectPixel(*blue, 70, 50, {0, 0, 255, 255}, "the second, held");
    expectPixel(*green, 70, 50, {0, 255, 0, 255}, "the third");

    // A snapshot let go lends its pixels to a later one, which still
    // shows only what is there now.
    red.reset();
    square->setFrame({0, 0, 10, 10});
    const auto small = window->snapshot();
    expectPixel(*small, 4, 4, {0, 255, 0, 255}, "the square, smaller");
    expectPixel(*small, 70, 50, {0, 0, 0, 0}, "transparency where the square was");
    expectPixel(*blue, 70, 50, {0, 0, 255, 255}, "the second, still held");
}

TEST(UiWindow, TheTreeDumpIsStableText) {
    auto window = std::make_shared<Window>(Rect{0, 0, 100, 50});
    auto root = std::make_shared<View>();
    window->setRootView(root);
    auto a = std::make_shared<View>(Rect{1.5, 2, 30, 40.25});
    a->setTag(4);
    a->setAccessibilityIdentifier("first");
    a->setAlpha(0.5);
    auto b = std::make_shared<Painted>(Rect{0, 0, 10, 10});
    b->setHidden(true);
    b->setUserInteractionEnabled(false);
    b->setBackgroundColor(Color{1, 0.5, 0, 1});
    root->addSubview(a);
    a->addSubview(b);
    const std::string expected =
        "Window (0 0; 100 50)\n"
        "  View (0 0; 100 50)\n"
        "    View (1.5 2; 30 40.25) alpha=0.5 tag=4 id=first\n"
        "      (anonymous namespace)::Painted (0 0; 10 10) hidden background=(1 0.5 0 1) noTouches\n";
    EXPECT_EQ(window->dumpTree(), expected);
    window->setFrame({0, 0, 200, 50});
    EXPECT_NE(window->dumpTree().find("  View (0 0; 200 50)"), std::string::npos) << "the root view follows the window";
}

TEST(UiWindow, TouchesGoUpTheResponderChainUntilHandled) {
    testsupport::VirtualTime time;
    Log log;
    auto window = std::make_shared<Window>(Rect{0, 0, 100, 100});
    auto outer = std::make_shared<Passing>(log, "outer", Rect{0, 0, 100, 100});
    auto inner = std::make_shared<Passing>(log, "inner", Rect{10, 10, 50, 50});
    window->addSubview(outer);
    outer->addSubview(inner);
    inner->mSwallows = true;
    window->makeKeyAndVisible();
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(Application::sharedApplication().keyWindow(), window);

    TouchSynth synth(window);
    auto touch = synth.touchDown({20, 20});
    EXPECT_EQ(touch->view(), inner);
    EXPECT_EQ(touch->tapCount(), 1);
    synth.move({touch}, {{90, 90}});
    synth.lift({touch});
    EXPECT_EQ(log, (Log{"inner began", "outer began", "inner ended"}))
        << "later phases go to the view it came down in, even outside it";
    const Point inView = touch->locationInView(inner.get());
    EXPECT_EQ(inView.x, 80);
    EXPECT_EQ(inView.y, 80);

    // Taps in quick succession count up; a pause starts again.
    synth.tap({20, 20});
    synth.wait(0.1);
    auto second = synth.touchDown({22, 20});
    EXPECT_EQ(second->tapCount(), 2);
    synth.lift({second});
    synth.wait(1);
    EXPECT_EQ(synth.touchDown({20, 20})->tapCount(), 1);

    // A second window made key takes over.
    auto other = std::make_shared<Window>(Rect{0, 0, 10, 10});
    other->makeKeyAndVisible();
    EXPECT_FALSE(window->isKeyWindow());
    EXPECT_EQ(Application::sharedApplication().windows().size(), 2u);
}

TEST(UiWindow, ScreensDevicesAndTheApplicationPostAndRecord) {
    Posted posted;
    auto external = std::make_shared<Screen>(Size{1920, 1080}, 1);
    external->setMirroredScreen(Screen::mainScreen());
    Screen::connectScreen(external);
    Screen::connectScreen(external);
    EXPECT_EQ(Screen::screens().size(), 2u);
    Screen::disconnectScreen(external);
    Screen::disconnectScreen(external);
    EXPECT_EQ(Screen::screens().size(), 1u);

    Device::currentDevice().setOrientation(DeviceOrientation::landscapeLeft);
    Device::currentDevice().setOrientation(DeviceOrientation::landscapeLeft);

    Application& app = Application::sharedApplication();
    app.setApplicationState(ApplicationState::background);
    app.setApplicationState(ApplicationState::active);
    EXPECT_EQ(posted.names,
              (Log{"UIScreenDidConnectNotification", "UIScreenDidDisconnectNotification",
                   "UIDeviceOrientationDidChangeNotification", "UIApplicationWillResignActiveNotification",
                   "UIApplicationDidEnterBackgroundNotification", "UIApplicationWillEnterForegroundNotification",
                   "UIApplicationDidBecomeActiveNotification"}))
        << "each once, in the platform's order";

    testsupport::VirtualTime time;
    std::vector<bool> opened;
    app.openURL("https://example.org/a", [&](bool ok) { opened.push_back(ok); });
    app.openURL("not a url", [&](bool ok) { opened.push_back(ok); });
    EXPECT_TRUE(opened.empty()) << "completions come on the next turn";
    time.clock->advance({});
    EXPECT_EQ(opened, (std::vector<bool>{true, false}));
    EXPECT_EQ(app.openedURLs(), (Log{"https://example.org/a", "not a url"}));

    platform::ui::ImpactFeedbackGenerator(platform::ui::ImpactFeedbackStyle::medium).impactOccurred();
    platform::ui::SelectionFeedbackGenerator().selectionChanged();
    EXPECT_EQ(app.haptics(),
              (std::vector<HapticEvent>{{HapticEvent::Kind::impact, 2}, {HapticEvent::Kind::selection, 0}}));

    auto& board = platform::ui::Pasteboard::generalPasteboard();
    const auto count = board.changeCount();
    board.setString("parts");
    EXPECT_EQ(board.string(), "parts");
    board.clear();
    EXPECT_FALSE(board.hasStrings());
    EXPECT_EQ(board.changeCount(), count + 2);
}

// Stands in for the desktop's clipboard.
class FakeClipboard : public platform::ui::SystemClipboard {
public:
    void setString(const std::string& text) override { heard.push_back("text " + text); }
    void setImage(const std::shared_ptr<const platform::Image>& image) override {
        heard.push_back("image " + std::to_string(image->pixelWidth()));
    }
    void clear() override { heard.push_back("clear"); }
    Log heard;
};

TEST(UiWindow, TheDesktopsClipboardAndURLHandlerHearWhatTheAppCopiesAndOpens) {
    testsupport::VirtualTime time;
    auto& board = platform::ui::Pasteboard::generalPasteboard();
    auto clipboard = std::make_shared<FakeClipboard>();
    board.setSystemClipboard(clipboard);
    board.setString("Part list");
    const std::vector<Pixel> pixels(6, Pixel{10, 20, 30, 255});
    board.setImage(platform::Image::fromPixels(3, 2, pixels));
    board.setImage(nullptr);
    board.clear();
    board.setSystemClipboard(nullptr);
    board.setString("kept in the app");
    EXPECT_EQ(clipboard->heard, (Log{"text Part list", "image 3", "clear", "clear"}));
    EXPECT_EQ(board.string(), "kept in the app");

    Application& app = Application::sharedApplication();
    app.clearRecords();
    Log handed;
    app.setURLOpener([&](const std::string& url) {
        handed.push_back(url);
        return url.find("refused") == std::string::npos;
    });
    std::vector<bool> opened;
    app.openURL("https://example.org/page", [&](bool ok) { opened.push_back(ok); });
    app.openURL("https://example.org/refused", [&](bool ok) { opened.push_back(ok); });
    app.openURL("no scheme", [&](bool ok) { opened.push_back(ok); });
    app.setURLOpener({});
    time.clock->advance({});
    EXPECT_EQ(handed, (Log{"https://example.org/page", "https://example.org/refused"}));
    EXPECT_EQ(opened, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(app.openedURLs().size(), 3u);
}

TEST(UiWindow, TheSystemsNameAndVersionComeFromOsRelease) {
    platform::TemporaryFolder folder("ui-device");
    const auto path = folder.path() / "os-release";
    std::ofstream(path) << "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                           "NAME=\"Debian \\\"GNU\\\"/Linux\"\n"
                           "VERSION_ID='12'\n"
                           "garbage line\n";
    const auto info = Device::readSystemInfo(path);
    EXPECT_EQ(info.name, "Debian \"GNU\"/Linux");
    EXPECT_EQ(info.version, "12");

    const auto fallback = Device::readSystemInfo(folder.path() / "missing");
    EXPECT_FALSE(fallback.name.empty()) << "uname's system name";
    EXPECT_FALSE(fallback.version.empty()) << "uname's release";
    EXPECT_FALSE(Device::currentDevice().systemName().empty());
}

TEST(UiWindow, ViewsTakingOneTouchAtATimeOrExclusiveTouchesHearNoOthers) {
    testsupport::VirtualTime time;
    Log log;
    auto window = std::make_shared<Window>(Rect{0, 0, 200, 100});
    auto left = std::make_shared<Passing>(log, "left", Rect{0, 0, 100, 100});
    auto right = std::make_shared<Passing>(log, "right", Rect{100, 0, 100, 100});
    window->addSubview(left);
    window->addSubview(right);
    TouchSynth synth(window);

    auto first = synth.touchDown({10, 10});
    auto second = synth.touchDown({20, 20});
    EXPECT_EQ(log, Log{"left began"}) << "a second finger on a view that takes one touch goes unheard";
    left->setMultipleTouchEnabled(true);
    auto third = synth.touchDown({30, 30});
    EXPECT_EQ(log, (Log{"left began", "left began"}));
    synth.lift({first, second, third});

    log.clear();
    left->setExclusiveTouch(true);
    first = synth.touchDown({10, 10});
    second = synth.touchDown({150, 10});
    EXPECT_EQ(log, Log{"left began"}) << "while an exclusive view has a touch, no other view takes one";
    EXPECT_EQ(second->view(), nullptr);
    synth.lift({first, second});
    log.clear();
    first = synth.touchDown({150, 10});
    second = synth.touchDown({10, 10});
    EXPECT_EQ(log, Log{"right began"}) << "nor does the exclusive view take one while another view has one";
}
