#include "platform/ui/sdl/DesktopWindow.h"

#include "platform/ui/sdl/WindowSizing.h"

#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/controllers/KeyCommands.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/Touch.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/Window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

// Last: it brings Xlib's macros (None, Success...) along.
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
#include <X11/Xutil.h>
#endif

namespace platform::ui::sdl {

namespace {

using namespace std::chrono_literals;

// Half the distance between the two fingers of a pinch when it begins.
constexpr double kPinchRadius = 50;
constexpr double kWheelPinchRadius = 100;
// Each notch of the wheel spreads or closes the fingers by this factor.
constexpr double kWheelStep = 1.1;
// Points a notch of the wheel scrolls.
constexpr double kWheelLine = 40;
// A touchpad's pinch reports the change of its fingers' spread as a share
// of the pad; taken as a change of a spread of a tenth of the pad.
constexpr double kTouchpadSpread = 0.1;
// The wheel's pinch lifts once the wheel has rested this long.
constexpr auto kWheelRest = 300ms;
// Longer than a long press's default half second, so a click is one.
constexpr auto kLongPressHold = 600ms;

bool anyAnimation(const Layer& layer) {
    if (layer.hasRunningAnimations()) return true;
    if (layer.mask() && anyAnimation(*layer.mask())) return true;
    for (const auto& sublayer : layer.sublayers())
        if (anyAnimation(*sublayer)) return true;
    return false;
}

Size screenSizeFor(UserInterfaceIdiom idiom) {
    return idiom == UserInterfaceIdiom::tablet ? Screen::kTabletSize : Screen::kDefaultSize;
}

// The device is held as the window is shaped.
DeviceOrientation orientationFor(Size points) {
    return points.width > points.height ? DeviceOrientation::landscapeLeft : DeviceOrientation::portrait;
}

#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
// Asking about a window that has gone is an error, which Xlib's own
// handler would end the program for.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

// `window`'s property `name` of `count` 32-bit items of `type`; none when it
// has none or has gone.
template <std::size_t count>
std::optional<std::array<unsigned long, count>> longsOf(Display* display, ::Window window, Atom name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<std::array<unsigned long, count>> longs;
    const int status =
        XGetWindowProperty(display, window, name, 0, count, False, type, &actual, &format, &items, &after, &data);
    if (status == Success && actual == type && format == 32 && items == count && data) {
        // Xlib hands 32-bit items as longs.
        longs.emplace();
        std::copy_n(reinterpret_cast<const unsigned long*>(data), count, longs->begin());
    }
    if (data) XFree(data);
    return longs;
}

struct X11Window {
    Display* display = nullptr;
    ::Window window = 0;
};

std::optional<X11Window> x11WindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return std::nullopt;
    return X11Window{info.info.x11.display, info.info.x11.window};
}
#endif

// Whether a window manager runs where `window` opened: none where the video
// driver cannot tell (not X11).
std::optional<bool> windowManagerRunsFor(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    const auto x11 = x11WindowOf(window);
    if (!x11) return std::nullopt;
    Display* display = x11->display;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const auto previous = XSetErrorHandler(ignoreXError);
    const auto byRoot = longsOf<1>(display, DefaultRootWindow(display), check, XA_WINDOW);
    const auto byItself =
        byRoot && (*byRoot)[0] != 0 ? longsOf<1>(display, (*byRoot)[0], check, XA_WINDOW) : std::nullopt;
    XSync(display, False);
    XSetErrorHandler(previous);
    return windowManagerRuns(byRoot ? std::optional((*byRoot)[0]) : std::nullopt,
                             byItself ? std::optional((*byItself)[0]) : std::nullopt);
#else
    (void)window;
    return std::nullopt;
#endif
}

// Puts the hidden `window`'s own top-left at `x`, `y` and asks its manager
// to keep it there, the frame around it (static gravity): by default a
// manager puts the frame's corner at the point, the window a title bar
// lower, and its frame is told only once shown, by some managers. SDL's
// own move waits to see the window moved.
void placeHidden(SDL_Window* window, int x, int y) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    const auto x11 = x11WindowOf(window);
    if (!x11) return;
    XMoveWindow(x11->display, x11->window, x, y);
    if (XSizeHints* hints = XAllocSizeHints()) {
        long supplied = 0;
        XGetWMNormalHints(x11->display, x11->window, hints, &supplied);
        // Some managers read the position from the hints.
        hints->flags |= USPosition | PWinGravity;
        hints->x = x;
        hints->y = y;
        hints->win_gravity = StaticGravity;
        XSetWMNormalHints(x11->display, x11->window, hints);
        XFree(hints);
    }
    XFlush(x11->display);
#else
    int nowX = 0;
    int nowY = 0;
    SDL_GetWindowPosition(window, &nowX, &nowY);
    if (nowX != x || nowY != y) SDL_SetWindowPosition(window, x, y);
#endif
}

// Maps `window` without waiting for it to be mapped, as SDL's show does:
// what is presented before it is mapped is lost, and presented again when
// it is exposed.
void showWithoutWaiting(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    if (const auto x11 = x11WindowOf(window)) {
        XMapRaised(x11->display, x11->window);
        XFlush(x11->display);
        return;
    }
#endif
    SDL_ShowWindow(window);
}

// Until its first frame is on screen the window shows `color`, painted by
// the X server where nothing is drawn yet, not black or what lay beneath.
// With none, nothing again: after the first frame an exposure or a resize
// keeps what was drawn until it is drawn anew, without a flash. True when
// the colour was set.
bool setPlainBackground(SDL_Window* window, std::optional<Color> color) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    const auto x11 = x11WindowOf(window);
    if (!x11) return false;
    if (!color) {
        XSetWindowBackgroundPixmap(x11->display, x11->window, None);
        XFlush(x11->display);
        return false;
    }
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x11->display, x11->window, &attributes) || !attributes.visual) return false;
    const Visual& visual = *attributes.visual;
    // Colour-mapped visuals keep the default.
    const auto pixel = pixelIn(*color, visual.red_mask, visual.green_mask, visual.blue_mask);
    if (!pixel) return false;
    XSetWindowBackground(x11->display, x11->window, *pixel);
    XFlush(x11->display);
    return true;
#else
    (void)window;
    (void)color;
    return false;
#endif
}

// Whether what is drawn into `window` now reaches the screen.
bool viewable(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    if (const auto x11 = x11WindowOf(window)) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(x11->display, x11->window, &attributes) && attributes.map_state == IsViewable;
    }
#endif
    return (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) != 0;
}

// Hides `window`, also while SDL has not yet heard it mapped (and would
// take it for hidden still).
void hide(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11) && defined(VEKMONT_HAVE_X11)
    if (const auto x11 = x11WindowOf(window)) {
        XWithdrawWindow(x11->display, x11->window, DefaultScreen(x11->display));
        XFlush(x11->display);
    }
#endif
    SDL_HideWindow(window);
}

}  // namespace

struct DesktopWindow::Impl {
    DesktopWindow& owner;
    std::shared_ptr<Window> window;
    SDL_Window* sdl = nullptr;
    std::unique_ptr<DisplayLink> link;

    std::uint64_t presentedVersion = 0;
    bool presentedOnce = false;

    // The window is made hidden and shown at its place, on X11 as it is
    // made, elsewhere as its first frame begins; nothing waits for its
    // manager. Nothing moves the window once it is seen.
    struct Placement {
        Rect usable;
        int width = 0;
        int height = 0;
        std::optional<bool> managerRuns;
    };
    std::optional<Placement> placement;
    bool shown = false;
    // The window's plain colour stays until a frame was drawn on screen.
    bool plainBackground = false;

    // One finger (left or right button), or two pinching (Ctrl-drag or wheel).
    std::shared_ptr<Touch> finger;
    std::shared_ptr<Touch> pinchA;
    std::shared_ptr<Touch> pinchB;
    Point pinchAnchor;
    Point dragStart;
    double wheelRadius = 0;
    bool wheelPinch = false;
    Clock::Instant fingerDown;
    RunLoop::Timer pendingLift;

    Impl(DesktopWindow& owner, std::shared_ptr<Window> window) : owner(owner), window(std::move(window)) {}

    Point toPoints(double x, double y) const {
        return {x / owner.mWindowUnitsPerPoint, y / owner.mWindowUnitsPerPoint};
    }
    bool busy() const { return finger || pinchA || pendingLift.isValid(); }
    void send(TouchSet touches) { window->sendEvent(Event(std::move(touches))); }

    void movePinch(Point offset) {
        pinchA->update(TouchPhase::moved, {pinchAnchor.x + offset.x, pinchAnchor.y + offset.y});
        pinchB->update(TouchPhase::moved, {pinchAnchor.x - offset.x, pinchAnchor.y - offset.y});
        send({pinchA, pinchB});
    }
    // The fingers go to the view under the anchor, however far apart.
    void beginPinch(Point anchor, double radius) {
        pinchAnchor = anchor;
        pinchA = Touch::makeAimed(window, {anchor.x + radius, anchor.y}, anchor);
        pinchB = Touch::makeAimed(window, {anchor.x - radius, anchor.y}, anchor);
        send({pinchA, pinchB});
    }
    void endPinch() {
        pendingLift.cancel();
        if (!pinchA) return;
        pinchA->update(TouchPhase::ended, pinchA->locationInWindow());
        pinchB->update(TouchPhase::ended, pinchB->locationInWindow());
        auto a = std::move(pinchA);
        auto b = std::move(pinchB);
        wheelPinch = false;
        send({a, b});
    }
    void liftFinger() {
        pendingLift.cancel();
        if (!finger) return;
        finger->update(TouchPhase::ended, finger->locationInWindow());
        auto touch = std::move(finger);
        send({touch});
    }

    void buttonDown(const SDL_MouseButtonEvent& e) {
        if (wheelPinch) endPinch();
        if (busy()) return;
        const Point p = toPoints(e.x, e.y);
        if (e.button == SDL_BUTTON_LEFT && (SDL_GetModState() & KMOD_CTRL) != 0) {
            dragStart = p;
            beginPinch(p, kPinchRadius);
        } else if (e.button == SDL_BUTTON_LEFT || e.button == SDL_BUTTON_RIGHT) {
            finger = Touch::make(window, p);
            fingerDown = Clock::shared()->instant();
            send({finger});
        }
    }
    void buttonUp(const SDL_MouseButtonEvent& e) {
        if (e.button == SDL_BUTTON_LEFT) {
            if (pinchA && !wheelPinch) endPinch();
            else liftFinger();
        } else if (e.button == SDL_BUTTON_RIGHT && finger && !pendingLift.isValid()) {
            const auto held = Clock::shared()->instant() - fingerDown;
            if (held >= kLongPressHold) {
                liftFinger();
            } else {
                pendingLift = RunLoop::main()->postAfter(kLongPressHold - held, [this] { liftFinger(); });
            }
        }
    }
    void motion(const SDL_MouseMotionEvent& e) {
        const Point p = toPoints(e.x, e.y);
        if (pinchA && !wheelPinch) {
            movePinch({kPinchRadius + p.x - dragStart.x, p.y - dragStart.y});
        } else if (finger) {
            finger->update(TouchPhase::moved, p);
            send({finger});
        }
    }
    void wheel(const SDL_MouseWheelEvent& e) {
        const double flip = e.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        // Whole notches from events that carry no fractions.
        const double across = (e.preciseX != 0 ? e.preciseX : e.x) * flip;
        const double along = (e.preciseY != 0 ? e.preciseY : e.y) * flip;
        const Point pointer = toPoints(e.mouseX, e.mouseY);
        const bool zoom = (SDL_GetModState() & KMOD_CTRL) != 0;
        if (!zoom && !wheelPinch && scrollUnder(pointer, {across * kWheelLine, -along * kWheelLine})) return;
        // Ctrl, or no scroll view there (the layout): a pinch about the pointer.
        if (along != 0) spreadPinch(pointer, std::pow(kWheelStep, along));
    }
    // The touchpad's two-finger pinch.
    void touchpadPinch(const SDL_MultiGestureEvent& e) {
        if (e.dDist == 0) return;
        int x = 0;
        int y = 0;
        SDL_GetMouseState(&x, &y);
        spreadPinch(toPoints(x, y), std::exp(e.dDist / kTouchpadSpread));
    }
    // Spreads the wheel's pinch by `factor`, beginning it about `pointer`;
    // it lifts once the wheel rests.
    void spreadPinch(Point pointer, double factor) {
        if (!wheelPinch) {
            if (busy()) return;
            wheelPinch = true;
            wheelRadius = kWheelPinchRadius;
            beginPinch(pointer, wheelRadius);
        }
        wheelRadius = std::clamp(wheelRadius * factor, 5.0, 2000.0);
        movePinch({wheelRadius, 0});
        pendingLift.cancel();
        pendingLift = RunLoop::main()->postAfter(kWheelRest, [this] { endPinch(); });
    }
    // Scrolls the innermost scroll view under `pointer` that can move by
    // `delta` (held at its edges). False when there is no scroll view
    // there; true when there is one, moved or not.
    bool scrollUnder(Point pointer, Point delta) {
        bool found = false;
        for (auto view = window->hitTest(pointer, nullptr); view; view = view->superview()) {
            auto* scroll = dynamic_cast<ScrollView*>(view.get());
            if (!scroll || !scroll->isScrollEnabled()) continue;
            found = true;
            const Point from = scroll->contentOffset();
            const Point least = scroll->minimumContentOffset();
            const Point most = scroll->maximumContentOffset();
            const Point to{std::clamp(from.x + delta.x, std::min(least.x, from.x), std::max(most.x, from.x)),
                           std::clamp(from.y + delta.y, std::min(least.y, from.y), std::max(most.y, from.y))};
            if (to.x == from.x && to.y == from.y) continue;
            scroll->setContentOffset(to);
            return true;
        }
        return found;
    }
    void key(const SDL_KeyboardEvent& e) {
        const SDL_Keycode sym = e.keysym.sym;
        if (sym == SDLK_BACKSPACE) window->deleteBackward();
        KeyCommand command;
        if ((e.keysym.mod & KMOD_SHIFT) != 0) command.modifiers = command.modifiers | KeyModifierFlags::shift;
        if ((e.keysym.mod & KMOD_CTRL) != 0) command.modifiers = command.modifiers | KeyModifierFlags::control;
        if ((e.keysym.mod & KMOD_ALT) != 0) command.modifiers = command.modifiers | KeyModifierFlags::alternate;
        if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) {
            // An alert on top answers it, before a field behind it could;
            // else it is typed. Held, it does not repeat: it would answer
            // one alert after another.
            if (e.repeat != 0) return;
            command.input = KeyCommand::kInputReturn;
            if (!RouteKeyCommand(*window, command)) window->insertText("\n");
            return;
        }
        if (sym == SDLK_ESCAPE) {
            command.input = KeyCommand::kInputEscape;
        } else if (sym == SDLK_TAB) {
            command.input = KeyCommand::kInputTab;
        } else if (((sym >= SDLK_a && sym <= SDLK_z) || (sym >= SDLK_0 && sym <= SDLK_9)) &&
                   (e.keysym.mod & (KMOD_CTRL | KMOD_ALT)) != 0) {
            // Plain letters are text (SDL_TEXTINPUT); with Ctrl or Alt, commands.
            command.input = std::string(1, static_cast<char>(sym));
        } else {
            return;
        }
        // A held key repeats; only Tab goes on stepping (a held Escape would
        // take down one presentation after another).
        if (e.repeat != 0 && sym != SDLK_TAB) return;
        if (RouteKeyCommand(*window, command)) return;
        // The app's own: Ctrl+Q quits and Ctrl+W closes its one window, both
        // as closing the window does.
        if (command.is("q", KeyModifierFlags::control) || command.is("w", KeyModifierFlags::control)) close();
    }
    void resized(int width, int height) {
        const Size size{width / owner.mWindowUnitsPerPoint, height / owner.mWindowUnitsPerPoint};
        if (auto screen = window->screen()) screen->setSize(size);
        // A size transition, so controllers hear it as they hear a rotation;
        // a drag of the window's edge is followed at once, not animated.
        window->transitionToSize(size, 0);
        // Made wider than high, or high again: turned, as the screens hear
        // a device turned.
        Device::currentDevice().setOrientation(orientationFor(size));
        presentedOnce = false;
        if (owner.mResizeHandler) owner.mResizeHandler(size);
    }

    void handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_MOUSEBUTTONDOWN: buttonDown(e.button); break;
            case SDL_MOUSEBUTTONUP: buttonUp(e.button); break;
            case SDL_MOUSEMOTION: motion(e.motion); break;
            case SDL_MOUSEWHEEL: wheel(e.wheel); break;
            case SDL_MULTIGESTURE: touchpadPinch(e.mgesture); break;
            case SDL_TEXTINPUT: window->insertText(e.text.text); break;
            case SDL_KEYDOWN: key(e.key); break;
            case SDL_QUIT: close(); break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) resized(e.window.data1, e.window.data2);
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED) presentedOnce = false;
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) close();
                break;
            default: break;
        }
    }
    void close() {
        // The end's work may take seconds; the window goes at once.
        hide(sdl);
        owner.mCloseRequested = true;
        RunLoop::main()->stop();
    }

    void show() {
        shown = true;
        if (placement) {
            const Point at =
                openingPoint(placement->width, placement->height, placement->usable, placement->managerRuns);
            placeHidden(sdl, static_cast<int>(at.x), static_cast<int>(at.y));
            placement.reset();
        }
        showWithoutWaiting(sdl);
    }

    // Copies `image` into the window's surface, not yet shown.
    bool draw(const Image& image) {
        SDL_Surface* target = SDL_GetWindowSurface(sdl);
        if (!target) return false;
        const auto rows = image.premultipliedRows();
        SDL_Surface* source =
            SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(rows.data), image.pixelWidth(),
                                               image.pixelHeight(), 32, rows.bytesPerRow, SDL_PIXELFORMAT_ARGB8888);
        if (!source) return false;
        // Premultiplied colour copied as it is: the window over black.
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
        if (source->w == target->w && source->h == target->h) {
            SDL_BlitSurface(source, nullptr, target, nullptr);
        } else {
            SDL_BlitScaled(source, nullptr, target, nullptr);
        }
        SDL_FreeSurface(source);
        return true;
    }

    bool present() {
        auto image = window->snapshot();
        // What the layout pass of the snapshot changed is in the image.
        presentedVersion = window->layer()->treeVersion();
        presentedOnce = true;
        if (!image || !draw(*image)) return false;
        const bool onScreen = plainBackground && viewable(sdl);
        SDL_UpdateWindowSurface(sdl);
        if (onScreen) plainBackground = setPlainBackground(sdl, std::nullopt);
        owner.mLastPresented = std::move(image);
        ++owner.mPresentedFrames;
        return true;
    }
};

DesktopWindow::DesktopWindow(std::shared_ptr<Window> window, const DesktopOptions& options)
    : mImpl(std::make_unique<Impl>(*this, std::move(window))) {
    if (!mImpl->window) throw std::invalid_argument("A desktop window needs a window to show");
    // The accelerated framebuffer puts a renderer behind the window surface,
    // and SDL makes the window anew for it on the first frame: a second
    // window, more memory and a visible jump. The software one blits
    // into the window we made.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        throw DesktopError(std::string("SDL cannot start its video: ") + SDL_GetError());

    const Size size = options.size.value_or(screenSizeFor(options.idiom));
    std::optional<Rect> usable;
    if (SDL_Rect area{}; SDL_GetDisplayUsableBounds(0, &area) == 0 && area.w > 0 && area.h > 0)
        usable = Rect{static_cast<double>(area.x), static_cast<double>(area.y), static_cast<double>(area.w),
                      static_cast<double>(area.h)};
    // A tablet of the idiom's own size opens on its side on a wide display
    // where upright it would be too small to read.
    const bool mayTurn = options.idiom == UserInterfaceIdiom::tablet && !options.size;
    const WindowSizing sizing =
        sizeWindow(size, minimumPointsFor(options.idiom), usable ? std::optional<Size>(usable->size()) : std::nullopt,
                   options.scale, mayTurn);
    Device::currentDevice().setUserInterfaceIdiom(options.idiom);
    Device::currentDevice().setOrientation(orientationFor(sizing.points));
    auto screen = Screen::mainScreen();
    screen->setSize(sizing.points);
    screen->setScale(sizing.scale);
    mImpl->window->setScreen(screen);
    mImpl->window->setFrame(screen->bounds());
    mWindowUnitsPerPoint = screen->scale();

    // Made hidden, centred in the usable area with the frame allowed for,
    // clear of the desktop's panels; without a window manager, centred
    // itself before it is shown.
    int x = SDL_WINDOWPOS_CENTERED;
    int y = SDL_WINDOWPOS_CENTERED;
    if (usable) {
        const Point at = placeWindow(sizing.width, sizing.height, *usable);
        x = static_cast<int>(at.x);
        y = static_cast<int>(at.y);
    }
    mImpl->sdl = SDL_CreateWindow(options.title.c_str(), x, y, sizing.width, sizing.height,
                                  SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!mImpl->sdl) {
        const std::string reason = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        throw DesktopError("SDL cannot open a window: " + reason);
    }
    SDL_SetWindowMinimumSize(mImpl->sdl, sizing.minimumWidth, sizing.minimumHeight);
    mImpl->plainBackground =
        setPlainBackground(mImpl->sdl, SystemColors::systemBackground(mImpl->window->userInterfaceStyle()));
    if (usable) {
        const auto managerRuns = windowManagerRunsFor(mImpl->sdl);
        mImpl->placement = Impl::Placement{*usable, sizing.width, sizing.height, managerRuns};
        // On X11 mapped now, so the manager's map overlaps the app's start;
        // elsewhere as the first frame begins.
        if (managerRuns) mImpl->show();
    }
    SDL_StartTextInput();

    mImpl->link = std::make_unique<DisplayLink>([this](const DisplayLink::Frame&) { frame(); });
    mImpl->link->addToRunLoop(RunLoop::main(), RunLoopMode::Common);
}

DesktopWindow::~DesktopWindow() {
    mImpl->link->invalidate();
    mImpl->pendingLift.cancel();
    SDL_StopTextInput();
    SDL_DestroyWindow(mImpl->sdl);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

void DesktopWindow::run() {
    mCloseRequested = false;
    RunLoop::main()->run();
}

bool DesktopWindow::frame() {
    // Mapped while the first frame is drawn.
    if (!mImpl->shown && !mCloseRequested) mImpl->show();
    SDL_Event event;
    while (SDL_PollEvent(&event)) mImpl->handle(event);
    // What the events asked to be laid out changes the tree only in the
    // layout pass: run it now, or a view that draws in its layout (the
    // layout screen during a pan) would be presented every other frame,
    // its pass posted for after this one.
    mImpl->window->layoutIfNeeded();
    // An animation that ends changes the tree (it is removed, or marked
    // ended when kept), so its end state is presented too.
    const bool changed = !mImpl->presentedOnce || mImpl->window->layer()->treeVersion() != mImpl->presentedVersion;
    return (changed || anyAnimation(*mImpl->window->layer())) && mImpl->present();
}

std::optional<Pixel> DesktopWindow::surfacePixel(int x, int y) const {
    SDL_Surface* surface = SDL_GetWindowSurface(mImpl->sdl);
    if (!surface || x < 0 || y < 0 || x >= surface->w || y >= surface->h) return std::nullopt;
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    const auto* row =
        static_cast<const std::uint8_t*>(surface->pixels) + static_cast<std::ptrdiff_t>(y) * surface->pitch;
    std::uint32_t word = 0;
    SDL_memcpy(&word, row + x * surface->format->BytesPerPixel, std::min<int>(4, surface->format->BytesPerPixel));
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    Pixel pixel;
    SDL_GetRGBA(word, surface->format, &pixel.red, &pixel.green, &pixel.blue, &pixel.alpha);
    return pixel;
}

std::uint32_t DesktopWindow::windowID() const { return SDL_GetWindowID(mImpl->sdl); }

}  // namespace platform::ui::sdl
