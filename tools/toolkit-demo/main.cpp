// toolkit-demo: shows the screen toolkit's pieces in one screen: layers (a
// gradient header, a card with rounded corners and a shadow), a button that
// counts its taps into a label, a switch that starts and stops a spinning
// star, and a text field whose text a label repeats.
//
//   toolkit-demo [--tablet] [--scale S]
//   toolkit-demo --headless --snapshot OUT.png [--tablet] [--scale S] [--time T]
//
// In a desktop window (SDL2) it runs until the window is closed; the mouse
// and keyboard act as fingers and typing (platform/ui/sdl/DesktopWindow.h).
// Headless it runs on a virtual clock, moves it on T seconds (1 by default)
// and writes that frame as PNG, without SDL. The exit status is one of
// tools/common/ExitCodes.h.

#include "platform/dispatch/Clock.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/views/Window.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMain.h"
#include "tools/common/ToolOptions.h"

#ifdef VEKMONT_HAVE_SDL
#include "platform/ui/sdl/DesktopWindow.h"
#endif

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace platform;
using namespace platform::ui;

namespace {

struct Options {
    bool tablet = false;
    double scale = 2;
    bool headless = false;
    std::string snapshot;
    double time = 1;
};

void printHelp() {
    std::printf(
        "usage: toolkit-demo [--tablet] [--scale S]\n"
        "       toolkit-demo --headless --snapshot OUT.png [--tablet] [--scale S] [--time T]\n"
        "Shows the screen toolkit's pieces (layers, a button, labels, a switch, a text\n"
        "field, an animated shape) in a desktop window, or writes one frame headless.\n"
        "  --tablet        a tablet's screen (820 x 1180 points) instead of a phone's (390 x 844)\n"
        "  --scale S       pixels a point (default 2)\n"
        "  --headless      no window: run on a virtual clock and write a frame\n"
        "  --snapshot OUT  the PNG file the headless frame goes to\n"
        "  --time T        seconds of animation before the headless frame (default 1)\n"
        "  -h, --help      this help\n"
        "In the window: left button a finger, Ctrl-drag a pinch, the wheel a pinch,\n"
        "right button a long press; typing goes to the text field being edited.\n");
    PrintExitCodes(stdout, {kExitOk, kExitUsage, kExitCannotOpen, kExitInternal});
}

// Null and a message on stderr when the command line is wrong.
std::optional<Options> parse(int argc, char** argv, bool& help) {
    Options options;
    const std::vector<UToolOptions::tOption> known = {
        UToolOptions::Flag("--tablet", options.tablet),
        UToolOptions::Flag("--headless", options.headless),
        UToolOptions::Text("--snapshot", options.snapshot),
        {"--scale", true,
         [&](const char* text) {
             if (!UToolOptions::ParseNumber(text, options.scale) || options.scale <= 0 || options.scale > 4) {
                 std::fprintf(stderr, "toolkit-demo: --scale takes a number above 0, at most 4\n");
                 return false;
             }
             return true;
         }},
        {"--time", true,
         [&](const char* text) {
             if (!UToolOptions::ParseNumber(text, options.time) || options.time < 0 || options.time > 3600) {
                 std::fprintf(stderr, "toolkit-demo: --time takes seconds from 0 to 3600\n");
                 return false;
             }
             return true;
         }},
    };
    if (!UToolOptions::Parse("toolkit-demo", argc, argv, known, help)) return std::nullopt;
    if (options.headless != !options.snapshot.empty()) {
        std::fprintf(stderr, "toolkit-demo: --headless and --snapshot go together\n");
        return std::nullopt;
    }
    return options;
}

Path starPath(Point centre, double outer, double inner) {
    Path path;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? outer : inner;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const Point p{centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)};
        if (i == 0) path.moveTo(p);
        else path.lineTo(p);
    }
    path.closePath();
    return path;
}

void spin(Layer& layer) {
    auto rotation = BasicAnimation::make("transform.rotation.z");
    rotation->setFromValue(0.0);
    rotation->setToValue(2 * std::numbers::pi);
    rotation->setDuration(4);
    rotation->setRepeatCount(INFINITY);
    layer.addAnimation(rotation, "spin");
    auto pulse = BasicAnimation::make("transform.scale");
    pulse->setFromValue(1.0);
    pulse->setToValue(1.25);
    pulse->setDuration(0.8);
    pulse->setAutoreverses(true);
    pulse->setRepeatCount(INFINITY);
    layer.addAnimation(pulse, "pulse");
}

std::shared_ptr<Label> makeLabel(const Rect& frame, std::string text, const Font& font) {
    auto label = std::make_shared<Label>(frame);
    label->setText(std::move(text));
    label->setFont(font);
    return label;
}

// The screen, filling `window`; what it holds lives in the views' actions.
void buildScene(const std::shared_ptr<Window>& window) {
    const double width = window->bounds().width;
    auto root = std::make_shared<View>();
    root->setBackgroundColor(Color{0.94, 0.94, 0.96, 1});
    window->setRootView(root);

    auto header = std::make_shared<GradientLayer>();
    header->setFrame({0, 0, width, 140});
    header->setColors({Color{0.13, 0.35, 0.85, 1}, Color{0.10, 0.70, 0.70, 1}});
    header->setStartPoint({0, 0});
    header->setEndPoint({1, 1});
    root->layer()->addSublayer(header);
    auto title = makeLabel({20, 70, width - 40, 40}, "Screen toolkit", Font::boldSystemFont(30));
    title->setTextColor(Color::white(1));
    root->addSubview(title);

    auto card = std::make_shared<View>(Rect{20, 170, width - 40, 330});
    card->setBackgroundColor(Color::white(1));
    card->layer()->setCornerRadius(14);
    card->layer()->setShadowColor(Color{0, 0, 0, 1});
    card->layer()->setShadowOpacity(0.2);
    card->layer()->setShadowRadius(6);
    card->layer()->setShadowOffset({0, 3});
    root->addSubview(card);

    auto taps = makeLabel({20, 20, 200, 30}, "No taps yet", Font::systemFont(17));
    card->addSubview(taps);
    auto button = Button::make(ButtonType::system);
    button->setFrame({20, 60, 120, 44});
    button->setTitle("Tap me", ControlState::normal);
    button->setBackgroundColor(Color{0.90, 0.93, 1.0, 1});
    button->layer()->setCornerRadius(10);
    card->addSubview(button);
    auto count = std::make_shared<int>(0);
    std::weak_ptr<Label> weakTaps = taps;
    button->addAction(
        [count, weakTaps](Control&) {
            if (auto label = weakTaps.lock())
                label->setText(++*count == 1 ? "1 tap" : std::to_string(*count) + " taps");
        },
        ControlEvents::touchUpInside);

    card->addSubview(makeLabel({20, 126, 200, 30}, "Spin the star", Font::systemFont(17)));
    auto toggle = Switch::make();
    toggle->setFrame({card->bounds().width - 71, 126, 51, 31});
    toggle->setOn(true);
    card->addSubview(toggle);

    auto field = std::make_shared<TextField>(Rect{20, 190, card->bounds().width - 40, 36});
    field->setPlaceholder("Type here");
    field->setBorderStyle(TextBorderStyle::roundedRect);
    card->addSubview(field);
    auto echo = makeLabel({20, 240, card->bounds().width - 40, 60}, "", Font::italicSystemFont(15));
    echo->setNumberOfLines(2);
    card->addSubview(echo);
    std::weak_ptr<Label> weakEcho = echo;
    field->addAction(
        [weakEcho](Control& control) {
            if (auto label = weakEcho.lock()) label->setText(static_cast<TextField&>(control).text());
        },
        ControlEvents::editingChanged);

    auto star = ShapeLayer::make();
    star->setBounds({0, 0, 120, 120});
    star->setPosition({width / 2, 620});
    star->setPath(starPath({60, 60}, 56, 24));
    star->setFillColor(Color{1.0, 0.62, 0.10, 1});
    star->setStrokeColor(Color{0.55, 0.25, 0.0, 1});
    star->setLineWidth(3);
    root->layer()->addSublayer(star);
    spin(*star);
    std::weak_ptr<ShapeLayer> weakStar = star;
    toggle->addAction(
        [weakStar](Control& control) {
            auto layer = weakStar.lock();
            if (!layer) return;
            if (static_cast<Switch&>(control).isOn()) {
                spin(*layer);
            } else {
                layer->removeAnimationForKey("spin");
                layer->removeAnimationForKey("pulse");
            }
        },
        ControlEvents::valueChanged);
}

void setUpScreen(const Options& options) {
    const auto idiom = options.tablet ? UserInterfaceIdiom::tablet : UserInterfaceIdiom::phone;
    Device::currentDevice().setUserInterfaceIdiom(idiom);
    auto screen = Screen::mainScreen();
    screen->setSize(options.tablet ? Screen::kTabletSize : Screen::kDefaultSize);
    screen->setScale(options.scale);
}

int runHeadless(const Options& options) {
    auto clock = std::make_shared<VirtualClock>();
    ScopedClock installed(clock);
    setUpScreen(options);
    auto window = std::make_shared<Window>();
    buildScene(window);
    window->makeKeyAndVisible();
    clock->advance(std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(options.time)));
    const auto image = window->snapshot();
    if (!image) {
        std::fprintf(stderr, "toolkit-demo: the window drew nothing\n");
        return kExitInternal;
    }
    if (!image->writePNG(options.snapshot)) {
        std::fprintf(stderr, "toolkit-demo: cannot write %s: %s\n", options.snapshot.c_str(),
                     errno != 0 ? std::strerror(errno) : "the image could not be encoded");
        return kExitCannotOpen;
    }
    return kExitOk;
}

int runWindow(const Options& options) {
#ifdef VEKMONT_HAVE_SDL
    setUpScreen(options);
    auto window = std::make_shared<Window>();
    sdl::DesktopOptions desktop;
    desktop.idiom = options.tablet ? UserInterfaceIdiom::tablet : UserInterfaceIdiom::phone;
    desktop.scale = options.scale;
    desktop.title = "Vekmont toolkit demo";
    try {
        sdl::DesktopWindow desk(window, desktop);
        buildScene(window);
        window->makeKeyAndVisible();
        desk.run();
    } catch (const sdl::DesktopError& error) {
        std::fprintf(stderr, "toolkit-demo: %s (try --headless --snapshot OUT.png)\n", error.what());
        return kExitCannotOpen;
    }
    return kExitOk;
#else
    (void)options;
    std::fprintf(stderr, "toolkit-demo: built without SDL2; only --headless --snapshot OUT.png works\n");
    return kExitUsage;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    bool help = false;
    const auto options = parse(argc, argv, help);
    return UToolMain::Run("toolkit-demo", help, options.has_value(), printHelp,
                          [&] { return options->headless ? runHeadless(*options) : runWindow(*options); });
}
