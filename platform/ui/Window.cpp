#include "platform/ui/Window.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/ui/Application.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayerRenderer.h"
#include "platform/ui/MediaTime.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "platform/ui/detail/LayoutEngine.h"
#include "platform/ui/detail/MainLoop.h"
#include "platform/ui/detail/TouchRouter.h"
#include "platform/ui/detail/ViewAccess.h"


namespace platform::ui {

namespace {

void dump(const View& view, int depth, std::string& out) {
    const auto number = detail::dumpNumber;
    const Rect f = view.frame();
    std::string line(static_cast<std::size_t>(2 * depth), ' ');
    line += view.className() + " (" + number(f.x) + " " + number(f.y) + "; " + number(f.width) + " " +
            number(f.height) + ")";
    view.describeForDump(line);
    out += line;
    out += '\n';
    for (const auto& subview : view.subviews()) dump(*subview, depth + 1, out);
}

}  // namespace

Window::Window() : Window(Screen::mainScreen()->bounds()) {}

Window::Window(const Rect& frame) : View(frame), mRouter(std::make_unique<detail::TouchRouter>(*this)) {
    mScreen = Screen::mainScreen();
    mIsWindow = true;
}

Window::~Window() = default;

std::shared_ptr<Screen> Window::screen() const {
    auto screen = mScreen.lock();
    return screen ? screen : Screen::mainScreen();
}

void Window::setScreen(std::shared_ptr<Screen> screen) { mScreen = screen ? screen : Screen::mainScreen(); }

void Window::setRootView(std::shared_ptr<View> view) {
    if (view == mRootView) return;
    if (mRootView && mRootView->superview().get() == this) mRootView->removeFromSuperview();
    mRootView = std::move(view);
    if (!mRootView) return;
    mRootView->setFrame(bounds());
    mRootView->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    addSubview(mRootView);
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void Window::makeKeyWindow() {
    const auto self = std::static_pointer_cast<Window>(sharedView());
    Application::sharedApplication().addWindow(self);
    Application::sharedApplication().windowBecameKey(self);
}

bool Window::isKeyWindow() const { return Application::sharedApplication().keyWindow().get() == this; }

void Window::setSafeAreaInsets(const EdgeInsets& insets) {
    if (insets == mSafeAreaInsets) return;
    mSafeAreaInsets = insets;
    detail::bumpLayoutEpoch();
    scheduleLayoutPass();
}

void Window::sendEvent(const Event& event) { mRouter->sendEvent(event); }

detail::TouchRouter& Window::router() { return *mRouter; }

std::shared_ptr<Image> Window::snapshot() {
    layoutIfNeeded();
    const Rect b = bounds();
    auto context = BitmapContext::createForPointSize(b.size(), screen()->scale());
    if (!context) return nullptr;
    // The window's layer is placed at its frame on the screen; the image
    // starts at the top-left of its bounds.
    const AffineTransform toScreen = layer()->transformToSuperlayer();
    const auto fromScreen = toScreen.inverted();
    if (!fromScreen) return nullptr;
    context->translate(-b.x, -b.y);
    context->concat(*fromScreen);
    renderLayerTree(*layer(), *context, RenderOptions{currentMediaTime(), screen()->scale()});
    return context->makeImage();
}

std::string Window::dumpTree() const {
    std::string out;
    dump(*this, 0, out);
    return out;
}

void Window::scheduleLayoutPass() {
    if (mLayoutPassPosted) return;
    mLayoutPassPosted = true;
    detail::postToMain([weak = std::weak_ptr<View>(sharedView())] {
        const auto self = std::static_pointer_cast<Window>(weak.lock());
        if (!self) return;
        self->mLayoutPassPosted = false;
        self->layoutIfNeeded();
    });
}

}  // namespace platform::ui
