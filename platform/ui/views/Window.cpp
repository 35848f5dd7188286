#include "platform/ui/views/Window.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/FrameBitmaps.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/FramePlan.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/Touch.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/views/detail/Transition.h"
#include "platform/ui/layout/detail/LayoutEngine.h"
#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/input/detail/TouchRouter.h"
#include "platform/ui/views/detail/ViewAccess.h"


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

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (controller == mRootViewController) return;
    const auto keep = sharedView();
    const auto old = mRootViewController;
    const auto& controllers = detail::controllers();
    // What the old root presents goes with it (left over the new root, its
    // views would stay in the window).
    if (old) controllers.dismissPresented(*old);
    if (old) controllers.beginAppearanceTransition(*old, false);
    if (controller) controllers.beginAppearanceTransition(*controller, true);
    mRootViewController = controller;
    setRootView(controller ? controllers.view(*controller) : nullptr);
    if (old) controllers.endAppearanceTransition(*old);
    if (controller) controllers.endAppearanceTransition(*controller);
    mReportedTraits = traitCollection();
}

TraitCollection Window::traitsFor(Size size, const Screen& screen, UserInterfaceStyle style) {
    TraitCollection traits;
    traits.userInterfaceIdiom = Device::currentDevice().userInterfaceIdiom();
    traits.displayScale = screen.scale();
    traits.userInterfaceStyle = style;
    if (traits.userInterfaceIdiom == UserInterfaceIdiom::tablet) {
        traits.horizontalSizeClass = UserInterfaceSizeClass::regular;
        traits.verticalSizeClass = UserInterfaceSizeClass::regular;
    } else {
        const bool upright = size.height >= size.width;
        traits.horizontalSizeClass = UserInterfaceSizeClass::compact;
        traits.verticalSizeClass = upright ? UserInterfaceSizeClass::regular : UserInterfaceSizeClass::compact;
    }
    return traits;
}

TraitCollection Window::traitCollection() const { return traitsFor(bounds().size(), *screen(), mStyle); }

void Window::setUserInterfaceStyle(UserInterfaceStyle style) {
    mStyle = style;
    updateTraits();
}

void Window::updateTraits() {
    const TraitCollection now = traitCollection();
    const TraitCollection before = mReportedTraits.value_or(now);
    mReportedTraits = now;
    if (before == now) return;
    if (mRootViewController) detail::controllers().updateTraits(mRootViewController, before, now);
}

void Window::transitionToSize(Size size, double duration) {
    const auto keep = sharedView();
    auto transition = std::make_shared<detail::Transition>();
    transition->container = keep;
    transition->animated = duration > 0;
    transition->fromInitial = bounds();
    transition->toFinal = {0, 0, size.width, size.height};
    // No animator: the size changes in the coordinator's own block.
    class SizeAnimator final : public ViewControllerAnimatedTransitioning {
    public:
        explicit SizeAnimator(double duration) : mDuration(duration) {}
        double transitionDuration(const ViewControllerContextTransitioning*) override { return mDuration; }
        void animateTransition(ViewControllerContextTransitioning& context) override {
            detail::callOnMainAt(detail::mediaTimeNow() + mDuration, [&context] { context.completeTransition(true); });
        }

    private:
        double mDuration;
    };
    if (duration > 0) transition->animator = std::make_shared<SizeAnimator>(duration);
    transition->animateAlongsideTransition(
        [this, size](ViewControllerContextTransitioning&) {
            Rect f = frame();
            f.width = size.width;
            f.height = size.height;
            setFrame(f);
            layoutIfNeeded();
        },
        nullptr);
    transition->finish = [keep, root = mRootViewController](bool) {
        if (root) detail::controllers().setCoordinator(*root, nullptr);
        std::static_pointer_cast<Window>(keep)->updateTraits();
    };
    if (mRootViewController) {
        const auto& controllers = detail::controllers();
        controllers.setCoordinator(*mRootViewController, transition);
        controllers.viewWillTransitionToSize(*mRootViewController, size, *transition);
    }
    transition->start();
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
    if (!mFrames) mFrames = std::make_unique<FrameBitmaps>();
    auto context = mFrames->context(b.size(), screen()->scale());
    if (!context) return nullptr;
    // The window's layer is placed at its frame on the screen; the image
    // starts at the top-left of its bounds.
    const AffineTransform toScreen = layer()->transformToSuperlayer();
    const auto fromScreen = toScreen.inverted();
    if (!fromScreen) return nullptr;
    context->translate(-b.x, -b.y);
    context->concat(*fromScreen);
    RenderOptions options{currentMediaTime(), screen()->scale()};
    options.cache = &mRasterCache;
    if (!mPlans) mPlans = std::make_unique<PlanStorage>();
    options.plans = mPlans.get();
    renderLayerTree(*layer(), *context, options);
    return mFrames->image(std::move(context));
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
