#include "widgets/TouchMarks/TouchMarkWindow.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"
#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/SwipeGestureRecognizer.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/input/Touch.h"
#include "widgets/TouchMarks/TouchMarkOverlayWindow.h"
#include "widgets/TouchMarks/TouchMarkView.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <numbers>

using platform::ui::Touch;
using platform::ui::TouchPhase;
using platform::ui::View;

namespace {

platform::Clock::Duration seconds(double s) {
    return std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(s));
}

// A text's truth as the platform reads it: after blanks, a sign and leading
// zeros, "Y", "y", "T", "t" or a digit 1 to 9.
bool textIsTrue(const char* text) {
    if (!text) return false;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    if (*text == '+' || *text == '-') ++text;
    while (*text == '0') ++text;
    const char c = *text;
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool environmentShowsMarks() {
    static const bool show = textIsTrue(std::getenv("DEBUG_TOUCH_MARKS_WINDOW"));
    return show;
}

}  // namespace

TouchMarkWindow::TouchMarkWindow() : platform::ui::Window() { TouchMarkWindow_commonInit(); }

TouchMarkWindow::TouchMarkWindow(const platform::Rect& frame) : platform::ui::Window(frame) {
    TouchMarkWindow_commonInit();
}

// The observer tokens go with the window, removing their observers.
TouchMarkWindow::~TouchMarkWindow() = default;

void TouchMarkWindow::TouchMarkWindow_commonInit() {
    auto& center = platform::NotificationCenter::defaultCenter();
    // The tokens are members: the blocks cannot outlive the window.
    mConnectObserver = center.addObserverForName(platform::ui::kScreenDidConnectNotification, nullptr,
                                                 [this](const platform::Notification& n) { screenConnect(n); });
    mDisconnectObserver = center.addObserverForName(platform::ui::kScreenDidDisconnectNotification, nullptr,
                                                    [this](const platform::Notification& n) { screenDisconnect(n); });
    updateFingertipsAreActive();
}

std::shared_ptr<platform::Image> TouchMarkWindow::touchImage() {
    if (mTouchImage) return mTouchImage;
    auto context = platform::BitmapContext::createForPointSize({kMarkSide, kMarkSide}, screen()->scale());
    if (!context) return nullptr;
    platform::Path circle;
    circle.addArc({kMarkSide / 2, kMarkSide / 2}, kMarkRadius, 0, 2 * std::numbers::pi, true);
    context->setLineWidth(kMarkLineWidth);
    context->setStrokeColor(mStrokeColor);
    context->strokePath(circle);
    context->setFillColor(mFillColor);
    context->fillPath(circle);
    mTouchImage = context->makeImage();
    return mTouchImage;
}

void TouchMarkWindow::setAlwaysShowTouches(bool show) {
    if (show == mAlwaysShowTouches) return;
    mAlwaysShowTouches = show;
    updateFingertipsAreActive();
}

std::shared_ptr<TouchMarkOverlayWindow> TouchMarkWindow::overlayWindow() {
    if (!mOverlayWindow) {
        mOverlayWindow = std::make_shared<TouchMarkOverlayWindow>(frame());
        mOverlayWindow->setScreen(screen());
        mOverlayWindow->setUserInteractionEnabled(false);
        mOverlayWindow->setWindowLevel(platform::ui::kWindowLevelStatusBar);
        mOverlayWindow->setBackgroundColor(platform::Color::clear());
        mOverlayWindow->setHidden(false);
    }
    return mOverlayWindow;
}

void TouchMarkWindow::screenConnect(const platform::Notification&) { updateFingertipsAreActive(); }

void TouchMarkWindow::screenDisconnect(const platform::Notification&) { updateFingertipsAreActive(); }

bool TouchMarkWindow::anyScreenIsMirrored() {
    const auto screens = platform::ui::Screen::screens();
    return std::any_of(screens.begin(), screens.end(), [](const auto& s) { return s->mirroredScreen() != nullptr; });
}

void TouchMarkWindow::updateFingertipsAreActive() {
    mActive = mAlwaysShowTouches || environmentShowsMarks() || anyScreenIsMirrored();
}

void TouchMarkWindow::sendEvent(const platform::ui::Event& event) {
    // The toolkit's window finds a new touch's view and recognisers as it
    // hands the event on, and the timeout rule needs them: so the event
    // goes on first and the marks follow.
    platform::ui::Window::sendEvent(event);
    if (mActive) {
        for (const auto& touch : event.allTouches()) {
            if (touch) placeMark(*touch);
        }
    }
    scheduleFingerTipRemoval();
}

void TouchMarkWindow::placeMark(const Touch& touch) {
    const auto hash = static_cast<std::int64_t>(touch.identifier());
    switch (touch.phase()) {
        case TouchPhase::ended:
        case TouchPhase::cancelled: removeFingerTipWithHash(hash, true); return;
        case TouchPhase::began:
        case TouchPhase::moved:
        case TouchPhase::stationary: break;
    }
    const auto overlay = overlayWindow();
    const bool stationary = touch.phase() == TouchPhase::stationary;
    auto mark = std::dynamic_pointer_cast<TouchMarkView>(overlay->viewWithTag(hash));
    // A finger that moves again while its mark fades gets a fresh one.
    if (!stationary && mark && mark->isFadingOut()) {
        mark->removeFromSuperview();
        mark = nullptr;
    }
    if (!mark && !stationary) {
        mark = std::make_shared<TouchMarkView>(touchImage());
        overlay->addSubview(mark);
    }
    if (!mark || mark->isFadingOut()) return;
    mark->setAlpha(mTouchAlpha);
    mark->setCenter(touch.locationInView(overlay.get()));
    mark->setTag(hash);
    mark->setTimestamp(touch.timestamp());
    mark->setShouldAutomaticallyRemoveAfterTimeout(shouldAutomaticallyRemoveFingerTipForTouch(touch));
}

void TouchMarkWindow::scheduleFingerTipRemoval() {
    if (mFingerTipRemovalScheduled) return;
    mFingerTipRemovalScheduled = true;
    std::weak_ptr<View> weak = sharedView();
    platform::RunLoop::main()->postAfter(seconds(kSweepInterval), [weak] {
        if (const auto self = std::static_pointer_cast<TouchMarkWindow>(weak.lock())) self->removeInactiveFingerTips();
    });
}

void TouchMarkWindow::removeInactiveFingerTips() {
    mFingerTipRemovalScheduled = false;
    if (!mOverlayWindow) return;
    const double now = platform::ui::currentMediaTime();
    for (const auto& view : mOverlayWindow->subviews()) {
        const auto mark = std::dynamic_pointer_cast<TouchMarkView>(view);
        if (mark && mark->shouldAutomaticallyRemoveAfterTimeout() && mark->timestamp() + kStaleAfter < now) {
            removeFingerTipWithHash(mark->tag(), true);
        }
    }
    if (!mOverlayWindow->subviews().empty()) scheduleFingerTipRemoval();
}

void TouchMarkWindow::removeFingerTipWithHash(std::int64_t hash, bool animated) {
    if (!mOverlayWindow) return;
    const auto mark = std::dynamic_pointer_cast<TouchMarkView>(mOverlayWindow->viewWithTag(hash));
    if (!mark || mark->isFadingOut()) return;

    const bool animationsWereEnabled = View::areAnimationsEnabled();
    if (animated) View::setAnimationsEnabled(true);
    const auto fade = [&] {
        const platform::Rect f = mark->frame();
        mark->setFrame({f.x - f.width / 2, f.y - f.height / 2, f.width * 2, f.height * 2});
        mark->setAlpha(0);
    };
    if (animated) {
        View::animate(mFadeDuration, fade);
    } else {
        fade();
    }
    View::setAnimationsEnabled(animationsWereEnabled);

    mark->setFadingOut(true);
    std::weak_ptr<TouchMarkView> weakMark = mark;
    platform::RunLoop::main()->postAfter(seconds(mFadeDuration), [weakMark] {
        if (const auto gone = weakMark.lock()) gone->removeFromSuperview();
    });
}

bool TouchMarkWindow::shouldAutomaticallyRemoveFingerTipForTouch(const Touch& touch) const {
    const auto view = touch.view();
    if (!view) return false;
    const auto& recognizers = touch.gestureRecognizers();
    for (auto v = view->hitTest(touch.locationInView(view.get()), nullptr); v; v = v->superview()) {
        if (dynamic_cast<platform::ui::TableViewCell*>(v.get())) {
            const bool swiped = std::any_of(recognizers.begin(), recognizers.end(), [](const auto& r) {
                return dynamic_cast<const platform::ui::SwipeGestureRecognizer*>(r.get()) != nullptr;
            });
            if (swiped) return true;
        } else if (dynamic_cast<platform::ui::TableView*>(v.get())) {
            if (recognizers.empty()) return true;
        }
    }
    return false;
}
