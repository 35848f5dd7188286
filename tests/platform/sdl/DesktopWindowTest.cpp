// The desktop window on SDL's offscreen driver: mouse and keyboard events
// pushed into SDL's queue become touches and typed text, and what reaches
// the SDL window's surface is the window's snapshot.

#include "platform/ui/controllers/AlertController.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/input/LongPressGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/ApplicationDelegate.h"
#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/sdl/DesktopRunner.h"
#include "platform/ui/sdl/DesktopWindow.h"
#include "tests/platform/support/VirtualTime.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using platform::Color;
using platform::Pixel;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::AlertAction;
using platform::ui::AlertActionStyle;
using platform::ui::AlertController;
using platform::ui::AlertControllerStyle;
using platform::ui::Button;
using platform::ui::ButtonType;
using platform::ui::Control;
using platform::ui::ControlEvents;
using platform::ui::GestureRecognizer;
using platform::ui::GestureRecognizerState;
using platform::ui::LongPressGestureRecognizer;
using platform::ui::PinchGestureRecognizer;
using platform::ui::TextField;
using platform::ui::View;
using platform::ui::ViewController;
using platform::ui::ViewControllerTransitionCoordinator;
using platform::ui::Window;
using platform::ui::sdl::DesktopOptions;
using platform::ui::sdl::DesktopWindow;
using namespace std::chrono_literals;

namespace {

bool near(Pixel actual, Pixel expected, int tolerance = 8) {
    return std::abs(actual.red - expected.red) <= tolerance && std::abs(actual.green - expected.green) <= tolerance &&
           std::abs(actual.blue - expected.blue) <= tolerance;
}

std::string show(std::optional<Pixel> p) {
    if (!p) return "none";
    return std::to_string(p->red) + "," + std::to_string(p->green) + "," + std::to_string(p->blue);
}

constexpr Pixel kWhite{255, 255, 255, 255};
constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kBlue{0, 0, 255, 255};

struct Desk {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<View> root = std::make_shared<View>();
    std::shared_ptr<Button> button = Button::make(ButtonType::custom);
    std::shared_ptr<View> pad = std::make_shared<View>(Rect{0, 200, 300, 200});
    std::shared_ptr<TextField> field = std::make_shared<TextField>(Rect{160, 40, 120, 34});
    std::shared_ptr<PinchGestureRecognizer> pinch = std::make_shared<PinchGestureRecognizer>();
    std::shared_ptr<LongPressGestureRecognizer> press = std::make_shared<LongPressGestureRecognizer>();
    std::vector<std::string> heard;
    std::unique_ptr<DesktopWindow> desk;

    Desk() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        root->setBackgroundColor(Color{1, 1, 1, 1});
        button->setFrame({40, 40, 100, 60});
        button->setBackgroundColor(Color{1, 0, 0, 1});
        button->addAction([this](Control&) { heard.push_back("button"); }, ControlEvents::touchUpInside);
        pad->setBackgroundColor(Color{0, 0, 1, 1});
        pad->addGestureRecognizer(pinch);
        pad->addGestureRecognizer(press);
        pinch->addAction([this](GestureRecognizer& r) { heard.push_back("pinch " + state(r)); });
        press->addAction([this](GestureRecognizer& r) { heard.push_back("press " + state(r)); });
        window->setRootView(root);
        DesktopOptions options;
        options.size = Size{300, 400};
        options.scale = 2;
        desk = std::make_unique<DesktopWindow>(window, options);
        root->addSubview(button);
        root->addSubview(pad);
        root->addSubview(field);
    }

    static std::string state(GestureRecognizer& r) {
        switch (r.state()) {
            case GestureRecognizerState::began: return "began";
            case GestureRecognizerState::changed: return "changed";
            case GestureRecognizerState::ended: return "ended";
            default: return "other";
        }
    }

    // Window coordinates are device pixels: scale 2.
    void mouse(Uint32 type, Point p, Uint8 button = SDL_BUTTON_LEFT) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_MOUSEMOTION) {
            e.motion.windowID = desk->windowID();
            e.motion.x = static_cast<int>(p.x * 2);
            e.motion.y = static_cast<int>(p.y * 2);
            e.motion.state = SDL_BUTTON_LMASK;
        } else {
            e.button.windowID = desk->windowID();
            e.button.button = button;
            e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
            e.button.clicks = 1;
            e.button.x = static_cast<int>(p.x * 2);
            e.button.y = static_cast<int>(p.y * 2);
        }
        SDL_PushEvent(&e);
    }
    void click(Point p, Uint8 button = SDL_BUTTON_LEFT) {
        mouse(SDL_MOUSEBUTTONDOWN, p, button);
        mouse(SDL_MOUSEBUTTONUP, p, button);
    }
    void type(const char* text) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = desk->windowID();
        std::strncpy(e.text.text, text, sizeof e.text.text - 1);
        SDL_PushEvent(&e);
    }
    void key(SDL_Keycode code) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = desk->windowID();
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = code;
        SDL_PushEvent(&e);
    }
    // Surface pixels are device pixels too.
    std::optional<Pixel> shown(Point p) const {
        return desk->surfacePixel(static_cast<int>(p.x * 2), static_cast<int>(p.y * 2));
    }
};

}  // namespace

TEST(DesktopWindow, AClickRunsTheButtonAndFramesArePresentedOnlyWhenSomethingChanged) {
    Desk d;
    EXPECT_EQ(d.desk->windowUnitsPerPoint(), 2);
    EXPECT_EQ(d.window->bounds().size().width, 300);
    EXPECT_EQ(d.root->frame().size().height, 400);

    EXPECT_TRUE(d.desk->frame()) << "the first frame is presented";
    auto image = d.desk->lastPresentedImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 600);
    EXPECT_EQ(image->pixelHeight(), 800);
    EXPECT_TRUE(near(*d.shown({90, 70}), kRed)) << show(d.shown({90, 70}));
    EXPECT_TRUE(near(*d.shown({20, 150}), kWhite)) << show(d.shown({20, 150}));
    EXPECT_TRUE(near(*d.shown({150, 300}), kBlue)) << show(d.shown({150, 300}));
    EXPECT_TRUE(near(*d.shown({150, 300}), *image->pixel(300, 600))) << "the surface shows the snapshot";

    const int presented = d.desk->presentedFrames();
    EXPECT_FALSE(d.desk->frame());
    d.time.clock->advance(100ms);
    EXPECT_EQ(d.desk->presentedFrames(), presented) << "nothing changed, nothing presented";

    d.click({90, 70});
    d.desk->frame();
    EXPECT_EQ(d.heard, std::vector<std::string>{"button"});

    d.button->setBackgroundColor(Color{0, 0, 1, 1});
    d.time.clock->advance(20ms);
    EXPECT_GT(d.desk->presentedFrames(), presented);
    EXPECT_TRUE(near(*d.shown({90, 70}), kBlue)) << show(d.shown({90, 70}));

    // A click outside the button does not run it.
    d.click({20, 150});
    d.desk->frame();
    EXPECT_EQ(d.heard.size(), 1u);

    // A running animation is presented on every display-link frame (60 a
    // second), its end state once more, then nothing.
    auto fade = platform::ui::BasicAnimation::make("opacity");
    fade->setFromValue(0.0);
    fade->setToValue(1.0);
    fade->setDuration(0.25);
    d.pad->layer()->addAnimation(fade, "fade");
    const int beforeFade = d.desk->presentedFrames();
    d.time.clock->advance(100ms);
    EXPECT_GE(d.desk->presentedFrames() - beforeFade, 5);
    EXPECT_TRUE(near(*d.shown({150, 300}), Pixel{153, 153, 255, 255}, 40))
        << "the pad fades in over the white root: " << show(d.shown({150, 300}));
    d.time.clock->advance(300ms);
    EXPECT_TRUE(near(*d.shown({150, 300}), kBlue)) << show(d.shown({150, 300}));
    const int afterFade = d.desk->presentedFrames();
    d.time.clock->advance(300ms);
    EXPECT_EQ(d.desk->presentedFrames(), afterFade);

    // One kept after its end shows its end state, presented once and then
    // left alone.
    auto dim = platform::ui::BasicAnimation::make("opacity");
    dim->setFromValue(1.0);
    dim->setToValue(0.0);
    // Not a whole number of frames: the last frame before the end is short of it.
    dim->setDuration(0.26);
    dim->setRemovedOnCompletion(false);
    dim->setFillMode(platform::ui::FillMode::forwards);
    d.pad->layer()->addAnimation(dim, "dim");
    d.time.clock->advance(400ms);
    EXPECT_TRUE(near(*d.shown({150, 300}), kWhite, 2)) << show(d.shown({150, 300}));
    const int afterDim = d.desk->presentedFrames();
    d.time.clock->advance(300ms);
    EXPECT_EQ(d.desk->presentedFrames(), afterDim);
}

TEST(DesktopWindow, CtrlDragAndTheWheelPinchAndTheRightButtonPressesLong) {
    Desk d;
    d.desk->frame();

    // Fingers start 50 points either side of the press; 50 more to the
    // right doubles their distance.
    SDL_SetModState(KMOD_LCTRL);
    d.mouse(SDL_MOUSEBUTTONDOWN, {150, 300});
    d.mouse(SDL_MOUSEMOTION, {175, 300});
    d.mouse(SDL_MOUSEMOTION, {200, 300});
    d.desk->frame();
    EXPECT_NEAR(d.pinch->scale(), 2.0, 0.01);
    EXPECT_EQ(d.pinch->locationInView(d.pad.get()).x, 150) << "about the start point";
    d.mouse(SDL_MOUSEBUTTONUP, {200, 300});
    d.desk->frame();
    SDL_SetModState(KMOD_NONE);
    ASSERT_FALSE(d.heard.empty());
    EXPECT_EQ(d.heard.front(), "pinch began");
    EXPECT_EQ(d.heard.back(), "pinch ended");
    d.heard.clear();

    // Two notches up spread the fingers by 1.1 each; the pinch ends when
    // the wheel rests.
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = d.desk->windowID();
    wheel.wheel.y = 1;
    wheel.wheel.mouseX = 200;
    wheel.wheel.mouseY = 600;
    SDL_PushEvent(&wheel);
    SDL_PushEvent(&wheel);
    d.desk->frame();
    EXPECT_NEAR(d.pinch->scale(), 1.21, 0.01);
    EXPECT_EQ(d.pinch->locationInView(nullptr).x, 100);
    EXPECT_EQ(d.pinch->state(), GestureRecognizerState::changed);
    d.time.clock->advance(400ms);
    EXPECT_EQ(d.heard.back(), "pinch ended");
    d.heard.clear();

    // A right click is held long enough for a long press.
    d.click({150, 300}, SDL_BUTTON_RIGHT);
    d.desk->frame();
    EXPECT_TRUE(d.heard.empty());
    d.time.clock->advance(700ms);
    EXPECT_EQ(d.heard, (std::vector<std::string>{"press began", "press ended"}));
}

TEST(DesktopWindow, TypedTextReachesTheFieldBeingEditedAndAResizeResizesTheRoot) {
    Desk d;
    d.type("x");
    d.desk->frame();
    EXPECT_EQ(d.field->text(), "") << "nothing is edited yet";

    d.click({200, 57});
    d.desk->frame();
    ASSERT_TRUE(d.field->isEditing());
    d.type("Gl\u00e4");
    d.type("ise");
    d.key(SDLK_BACKSPACE);
    d.desk->frame();
    EXPECT_EQ(d.field->text(), "Gl\u00e4is");

    Size told;
    d.desk->setResizeHandler([&](Size size) { told = size; });
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = d.desk->windowID();
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 500;
    e.window.data2 = 700;
    SDL_PushEvent(&e);
    d.desk->frame();
    EXPECT_EQ(told.width, 250);
    EXPECT_EQ(told.height, 350);
    EXPECT_EQ(d.root->frame().size().width, 250);
    EXPECT_EQ(d.window->screen()->bounds().size().height, 350);
    EXPECT_EQ(d.desk->lastPresentedImage()->pixelWidth(), 500);
}

namespace {

class SizeListener final : public ViewController {
public:
    void viewWillTransitionToSize(Size size, ViewControllerTransitionCoordinator& coordinator) override {
        ViewController::viewWillTransitionToSize(size, coordinator);
        heard.push_back(size);
    }
    std::vector<Size> heard;
};

}  // namespace

TEST(DesktopWindow, AResizeIsASizeTransitionForTheRootController) {
    testsupport::VirtualTime time;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto window = std::make_shared<Window>();
    auto controller = std::make_shared<SizeListener>();
    window->setRootViewController(controller);
    DesktopOptions options;
    options.size = Size{300, 400};
    options.scale = 2;
    DesktopWindow desk(window, options);
    desk.frame();

    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = desk.windowID();
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 500;
    e.window.data2 = 700;
    SDL_PushEvent(&e);
    desk.frame();
    ASSERT_EQ(controller->heard.size(), 1u);
    EXPECT_EQ(controller->heard[0].width, 250);
    EXPECT_EQ(controller->heard[0].height, 350);
    EXPECT_EQ(controller->view()->frame().size().width, 250);

    // Made wider than high the device is held on its side, as the screens
    // hear a turn; high again, upright.
    auto& device = platform::ui::Device::currentDevice();
    int turns = 0;
    const auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        platform::ui::kDeviceOrientationDidChangeNotification, nullptr,
        [&](const platform::Notification&) { ++turns; });
    EXPECT_EQ(device.orientation(), platform::ui::DeviceOrientation::portrait);
    for (const auto& [width, height, orientation] :
         {std::tuple{900, 500, platform::ui::DeviceOrientation::landscapeLeft},
          std::tuple{1000, 600, platform::ui::DeviceOrientation::landscapeLeft},
          std::tuple{600, 600, platform::ui::DeviceOrientation::portrait}}) {
        e.window.data1 = width;
        e.window.data2 = height;
        SDL_PushEvent(&e);
        desk.frame();
        EXPECT_EQ(device.orientation(), orientation) << width << " x " << height;
    }
    EXPECT_EQ(turns, 2);
    EXPECT_EQ(controller->heard.size(), 4u);
    platform::NotificationCenter::defaultCenter().removeObserver(token);
}

namespace {

class EndCountingDelegate : public platform::ui::ApplicationDelegate {
public:
    std::shared_ptr<platform::ui::Window> window() const override { return mWindow; }
    void setWindow(std::shared_ptr<platform::ui::Window> window) override { mWindow = std::move(window); }
    void applicationWillTerminate(platform::ui::Application&) override { ++ends; }
    int ends = 0;

private:
    std::shared_ptr<platform::ui::Window> mWindow;
};

}  // namespace

TEST(DesktopWindow, AnApplicationMainInTheWindowShowsTheInitialSceneAndEndsWhenAskedTo) {
    platform::ui::Storyboard::registerScene("DesktopMain", platform::ui::Storyboard::kInitialSceneIdentifier, [] {
        auto controller = std::make_shared<platform::ui::ViewController>();
        controller->view()->setBackgroundColor(Color{0, 0.5, 0, 1});
        return controller;
    });
    platform::ui::ApplicationMainOptions options;
    options.mainStoryboard = "DesktopMain";
    platform::ui::sdl::DesktopOptions desktop;
    desktop.idiom = platform::ui::UserInterfaceIdiom::tablet;
    platform::ui::sdl::DesktopRunner runner(desktop);
    auto delegate = std::make_shared<EndCountingDelegate>();
    platform::RunLoop::main()->postAfter(std::chrono::milliseconds(200),
                                         [] { platform::ui::ApplicationMainRequestEnd(); });
    EXPECT_EQ(platform::ui::ApplicationMain(delegate, options, runner), 0);
    EXPECT_EQ(delegate->ends, 1);
    ASSERT_TRUE(runner.desktop());
    EXPECT_GE(runner.desktop()->presentedFrames(), 1);
    const auto shown = runner.desktop()->surfacePixel(100, 100);
    ASSERT_TRUE(shown);
    EXPECT_NEAR(shown->green, 128, 2);
    // The offscreen display is 1024 x 768: upright the tablet would get
    // 0.5625 pixels a point, on its side 0.8125.
    EXPECT_EQ(delegate->window()->bounds().size(), (platform::Size{1180, 820})) << "the tablet's screen on its side";
    EXPECT_EQ(runner.desktop()->windowUnitsPerPoint(), 0.8125);
    EXPECT_EQ(platform::ui::Device::currentDevice().orientation(), platform::ui::DeviceOrientation::landscapeLeft);
    platform::ui::Device::currentDevice().setOrientation(platform::ui::DeviceOrientation::portrait);
}

TEST(DesktopWindow, OneWindowFittedToTheDisplayThatHidesAtOnceWhenClosed) {
    testsupport::VirtualTime time;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto window = std::make_shared<Window>();
    window->setRootView(std::make_shared<View>());
    window->rootView()->setBackgroundColor(Color{1, 1, 1, 1});
    DesktopOptions options;
    DesktopWindow desk(window, options);
    SDL_Window* sdl = SDL_GetWindowFromID(desk.windowID());
    ASSERT_NE(sdl, nullptr);

    // The phone's points at a scale at which the window fits the display.
    SDL_Rect usable{};
    ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0);
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(window->bounds().size().width, 390);
    EXPECT_EQ(window->bounds().size().height, 844);
    EXPECT_LE(height, usable.h) << "scale " << desk.windowUnitsPerPoint();
    EXPECT_LE(width, usable.w);
    EXPECT_EQ(width, static_cast<int>(std::ceil(390 * desk.windowUnitsPerPoint())));
    // At 0.8125 on the offscreen display's 1024 x 768, 317 x 686 pixels,
    // centred with its frame: (1024 - 317 - 32) / 2 + 16 and
    // (768 - 686 - 72) / 2 + 56.
    ASSERT_EQ(desk.windowUnitsPerPoint(), 0.8125);
    int x = 0;
    int y = 0;
    SDL_GetWindowPosition(sdl, &x, &y);
    EXPECT_EQ(x, 353);
    EXPECT_EQ(y, 61);
    EXPECT_EQ(platform::ui::Device::currentDevice().orientation(), platform::ui::DeviceOrientation::portrait);
    int minimumWidth = 0;
    int minimumHeight = 0;
    SDL_GetWindowMinimumSize(sdl, &minimumWidth, &minimumHeight);
    EXPECT_EQ(minimumWidth, static_cast<int>(std::ceil(320 * desk.windowUnitsPerPoint())));
    EXPECT_EQ(minimumHeight, static_cast<int>(std::ceil(568 * desk.windowUnitsPerPoint())));

    // Off X11 shown as its first frame begins.
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
    // Frames go to the window's own surface: no renderer, for which SDL
    // would make the window anew.
    EXPECT_TRUE(desk.frame());
    EXPECT_EQ(SDL_GetRenderer(sdl), nullptr);
    EXPECT_EQ(SDL_GetWindowFromID(desk.windowID()), sdl);

    // Closed: hidden before the loop stops and the end's work begins.
    ASSERT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = desk.windowID();
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    desk.frame();
    EXPECT_TRUE(desk.closeRequested());
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
}

namespace {

// Follows a finger by moving a layer in its layout pass, as the layout
// screen draws a pan.
class LaidOutFollower final : public View {
public:
    using View::View;
    void touchesMoved(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override {
        View::touchesMoved(touches, event);
        setNeedsLayout();
    }
    void layoutSubviews() override {
        View::layoutSubviews();
        layer()->setOpacity(layer()->opacity() > 0.9 ? 0.8 : 1.0);
    }
};

}  // namespace

TEST(DesktopWindow, ADragThatIsDrawnInTheLayoutPassIsPresentedOnEveryFrame) {
    testsupport::VirtualTime time;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto window = std::make_shared<Window>();
    auto follower = std::make_shared<LaidOutFollower>();
    follower->setBackgroundColor(Color{0, 0, 1, 1});
    window->setRootView(follower);
    DesktopOptions options;
    options.size = Size{200, 200};
    options.scale = 1;
    DesktopWindow desk(window, options);
    desk.frame();

    auto push = [&](Uint32 type, int x) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_MOUSEMOTION) {
            e.motion.windowID = desk.windowID();
            e.motion.x = x;
            e.motion.y = 100;
            e.motion.state = SDL_BUTTON_LMASK;
        } else {
            e.button.windowID = desk.windowID();
            e.button.button = SDL_BUTTON_LEFT;
            e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
            e.button.x = x;
            e.button.y = 100;
        }
        SDL_PushEvent(&e);
    };
    push(SDL_MOUSEBUTTONDOWN, 10);
    time.clock->advance(std::chrono::milliseconds(17));
    // A move for every display frame: each is presented in its own frame.
    const int before = desk.presentedFrames();
    for (int i = 1; i <= 30; ++i) {
        push(SDL_MOUSEMOTION, 10 + 2 * i);
        time.clock->advance(std::chrono::microseconds(16667));
    }
    EXPECT_GE(desk.presentedFrames() - before, 29) << "not at half the display's rate";
    push(SDL_MOUSEBUTTONUP, 70);
    desk.frame();
}

namespace {

struct ManyRows : platform::ui::TableViewDataSource {
    int numberOfRowsInSection(platform::ui::TableView&, int) override { return 100; }
    std::shared_ptr<platform::ui::TableViewCell> cellForRowAtIndexPath(platform::ui::TableView&,
                                                                       platform::ui::IndexPath) override {
        return nullptr;
    }
};

SDL_Event wheelAt(std::uint32_t windowID, int x, int y, int notches) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = windowID;
    e.wheel.y = notches;
    e.wheel.preciseY = static_cast<float>(notches);
    e.wheel.mouseX = x;
    e.wheel.mouseY = y;
    return e;
}

}  // namespace

TEST(DesktopWindow, TheWheelScrollsTheTableUnderThePointerAndCtrlWithItZoomsAboutThePointerAnywhere) {
    testsupport::VirtualTime time;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto window = std::make_shared<Window>();
    auto root = std::make_shared<View>();
    window->setRootView(root);
    // A table on the left; on the right a view that pinches, up to the
    // window's right edge.
    auto rows = std::make_shared<ManyRows>();
    auto table = platform::ui::TableView::make({0, 0, 150, 400});
    table->setDataSource(rows);
    root->addSubview(table);
    auto map = std::make_shared<View>(Rect{150, 0, 150, 400});
    auto pinch = std::make_shared<PinchGestureRecognizer>();
    std::vector<std::string> heard;
    pinch->addAction(
        [&](GestureRecognizer& r) { heard.push_back(r.state() == GestureRecognizerState::began ? "began" : "other"); });
    map->addGestureRecognizer(pinch);
    root->addSubview(map);
    DesktopOptions options;
    options.size = Size{300, 400};
    options.scale = 1;
    DesktopWindow desk(window, options);
    desk.frame();

    // Two notches down scroll the table two lines; up at the top it stays.
    SDL_Event down = wheelAt(desk.windowID(), 75, 200, -2);
    SDL_PushEvent(&down);
    desk.frame();
    EXPECT_EQ(table->contentOffset().y, 80);
    SDL_Event up = wheelAt(desk.windowID(), 75, 200, 5);
    SDL_PushEvent(&up);
    desk.frame();
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_TRUE(heard.empty()) << "the wheel over a list does not pinch";

    // Ctrl and two notches up, 5 points from the right edge: both fingers
    // go to the view under the pointer, pinching about it.
    SDL_SetModState(KMOD_LCTRL);
    SDL_Event zoom = wheelAt(desk.windowID(), 295, 100, 2);
    SDL_PushEvent(&zoom);
    SDL_PushEvent(&zoom);
    desk.frame();
    SDL_SetModState(KMOD_NONE);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), "began");
    EXPECT_NEAR(pinch->scale(), 1.1 * 1.1 * 1.1 * 1.1, 0.01);
    EXPECT_EQ(pinch->locationInView(nullptr).x, 295);
    EXPECT_EQ(pinch->locationInView(nullptr).y, 100);
    time.clock->advance(400ms);
    EXPECT_EQ(pinch->state(), GestureRecognizerState::possible) << "lifted once the wheel rests";

    // A touchpad's pinch zooms about the pointer too, wherever it is.
    heard.clear();
    SDL_WarpMouseInWindow(SDL_GetWindowFromID(desk.windowID()), 160, 390);
    SDL_Event spread{};
    spread.type = SDL_MULTIGESTURE;
    spread.mgesture.dDist = 0.02f;
    SDL_PushEvent(&spread);
    SDL_PushEvent(&spread);
    desk.frame();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), "began");
    EXPECT_NEAR(pinch->scale(), std::exp(0.4), 0.01);
    EXPECT_EQ(pinch->locationInView(nullptr).x, 160);
    EXPECT_EQ(pinch->locationInView(nullptr).y, 390);
    time.clock->advance(400ms);
}

TEST(DesktopWindow, EscapeReturnTabAndCtrlQAreKeyCommandsOfTheWindow) {
    testsupport::VirtualTime time;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto window = std::make_shared<Window>();
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    DesktopOptions options;
    options.size = Size{300, 400};
    options.scale = 1;
    DesktopWindow desk(window, options);
    window->makeKeyAndVisible();
    desk.frame();
    auto press = [&](SDL_Keycode code, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = desk.windowID();
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = code;
        e.key.keysym.mod = mod;
        e.key.repeat = repeat;
        SDL_PushEvent(&e);
        desk.frame();
    };

    auto sheet = std::make_shared<ViewController>();
    root->presentViewController(sheet, false);
    auto first = std::make_shared<TextField>(Rect{10, 10, 200, 34});
    auto second = std::make_shared<TextField>(Rect{10, 50, 200, 34});
    sheet->view()->addSubview(first);
    sheet->view()->addSubview(second);
    ASSERT_TRUE(first->becomeFirstResponder());
    press(SDLK_TAB);
    EXPECT_TRUE(second->isFirstResponder());
    press(SDLK_TAB, KMOD_LSHIFT);
    EXPECT_TRUE(first->isFirstResponder());

    press(SDLK_q);
    EXPECT_FALSE(desk.closeRequested()) << "a plain letter is text";
    press(SDLK_ESCAPE, KMOD_NONE, 1);
    time.clock->advance(600ms);
    EXPECT_EQ(root->presentedViewController(), sheet) << "a held key's repeats dismiss nothing";
    press(SDLK_ESCAPE);
    time.clock->advance(600ms);
    EXPECT_EQ(root->presentedViewController(), nullptr);

    // A notice with only OK: Escape answers OK.
    int acknowledged = 0;
    auto notice = std::make_shared<AlertController>("Saved", "", AlertControllerStyle::alert);
    notice->addAction(
        std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle, [&](AlertAction&) { ++acknowledged; }));
    root->presentViewController(notice, false);
    press(SDLK_ESCAPE);
    time.clock->advance(600ms);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(acknowledged, 1);

    // Return answers it too, before a field behind it, which hears Return
    // once the alert has gone.
    int returned = 0;
    first->addAction([&](platform::ui::Control&) { ++returned; }, platform::ui::ControlEvents::editingDidEndOnExit);
    root->view()->addSubview(first);
    ASSERT_TRUE(first->becomeFirstResponder());
    notice = std::make_shared<AlertController>("Saved", "", AlertControllerStyle::alert);
    notice->addAction(
        std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle, [&](AlertAction&) { ++acknowledged; }));
    root->presentViewController(notice, false);
    press(SDLK_RETURN, KMOD_NONE, 1);
    time.clock->advance(600ms);
    EXPECT_EQ(acknowledged, 1) << "a held Return answers nothing";
    press(SDLK_RETURN);
    time.clock->advance(600ms);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(acknowledged, 2);
    EXPECT_EQ(returned, 0);
    press(SDLK_KP_ENTER);
    EXPECT_EQ(returned, 1) << "typed in the field";

    SDL_Window* sdl = SDL_GetWindowFromID(desk.windowID());
    press(SDLK_q, KMOD_LCTRL);
    EXPECT_TRUE(desk.closeRequested());
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
}
