#include "platform/ui/views/View.h"

#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/layout/detail/LayoutEngine.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/views/detail/ViewAccess.h"
#include "platform/ui/views/detail/ViewAnimationState.h"

#include "platform/dispatch/MainThread.h"

#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

namespace platform::ui {

namespace {

// The platform's default tint.
constexpr Color kSystemBlue{0, 122.0 / 255, 1, 1};

Point fromSuperview(const Layer& layer, Point p) {
    const Rect b = layer.bounds();
    if (layer.transform().isIdentity()) {
        const Point pos = layer.position();
        const Point a = layer.anchorPoint();
        return {p.x - pos.x + a.x * b.width + b.x, p.y - pos.y + a.y * b.height + b.y};
    }
    const auto inverse = layer.transformToSuperlayer().inverted();
    return inverse ? inverse->apply(p) : Point{NAN, NAN};
}

using Views = std::vector<std::shared_ptr<View>>;

Views::iterator findIn(Views& list, const View* view) {
    return std::find_if(list.begin(), list.end(), [&](const std::shared_ptr<View>& s) { return s.get() == view; });
}

const View* topOf(const View* view) {
    while (auto super = view->superview()) view = super.get();
    return view;
}


}  // namespace

// --- the layer's delegate --------------------------------------------------

class View::LayerBridge final : public LayerDelegate {
public:
    explicit LayerBridge(View& view) : mView(view) {}

    void drawLayer(Layer& layer, Context& context) override { mView.drawRect(context, layer.bounds()); }
    bool drawsOnAnyThread(const Layer& layer) const override {
        (void)layer;
        return mView.drawsOnAnyThread();
    }
    std::optional<Rect> contentExtent(const Layer& layer) const override {
        auto part = mView.drawnExtent();
        if (!part || &layer == mView.mLayer.get()) return part;
        // A copy whose bounds animate: the same share of its bounds, as
        // the content drawn for the model's is stretched to them.
        const Rect from = mView.mLayer->bounds();
        const Rect to = layer.bounds();
        if (from == to) return part;
        if (from.width == 0 || from.height == 0) return std::nullopt;
        return part->movedWith(from, to);
    }

    std::optional<std::shared_ptr<Animation>> actionForLayer(Layer& layer, const std::string& key) override {
        (void)layer;
        return detail::viewActionForKey(key);
    }

private:
    View& mView;
};

// --- life ------------------------------------------------------------------

View::View() : View(Layer::make(), Rect{}) {}

View::View(const Rect& frame) : View(Layer::make(), frame) {}

View::View(std::shared_ptr<Layer> layer, const Rect& frame) : mLayer(std::move(layer)) {
    detail::connectInputToViews();
    if (!mLayer) throw std::invalid_argument("A view needs a layer");
    mBridge = std::make_shared<LayerBridge>(*this);
    detail::ScopedNoViewAnimation still;
    mLayer->setDelegate(mBridge);
    mLayer->setFrame(frame);
}

View::~View() {
    // Subviews that outlive their superview (held elsewhere) are left
    // without one.
    // Their layers leave ours in one pass: one by one, each would shift the
    // rest, quadratic in the number of subviews.
    std::vector<const Layer*> layers;
    layers.reserve(mSubviews.size());
    for (const auto& subview : mSubviews) {
        subview->mSuperview.reset();
        if (subview->mLayer->superlayer() == mLayer) {
            layers.push_back(subview->mLayer.get());
        } else {
            subview->mLayer->removeFromSuperlayer();
        }
    }
    detail::LayerAccess::detachSublayers(*mLayer, std::move(layers));
    for (const auto& subview : mSubviews) {
        if (!subview->mWindow.expired()) subview->moveToWindow(nullptr);
    }
    for (const auto& constraint : mConstraints) constraint->mHolder.reset();
    detail::bumpLayoutEpoch();
}

// --- geometry --------------------------------------------------------------

Rect View::frame() const { return mLayer->frame(); }

void View::setFrame(const Rect& frame) {
    const Size old = mLayer->bounds().size();
    mLayer->setFrame(frame);
    detail::bumpLayoutEpoch();
    if (mLayer->bounds().size() != old) boundsSizeChanged(old);
}

Rect View::bounds() const { return mLayer->bounds(); }

void View::setBounds(const Rect& bounds) {
    const Size old = mLayer->bounds().size();
    mLayer->setBounds(bounds);
    detail::bumpLayoutEpoch();
    if (bounds.size() != old) boundsSizeChanged(old);
}

Point View::center() const { return mLayer->position(); }

void View::setCenter(Point center) {
    mLayer->setPosition(center);
    detail::bumpLayoutEpoch();
}

AffineTransform View::transform() const { return mLayer->affineTransform(); }

void View::setTransform(const AffineTransform& transform) { mLayer->setAffineTransform(transform); }

void View::boundsSizeChanged(Size oldSize) {
    setNeedsLayout();
    if (mAutoresizesSubviews) resizeSubviews(oldSize);
}

void View::resizeSubviews(Size oldSize) {
    const Size size = bounds().size();
    for (const auto& subview : mSubviews) {
        const ViewAutoresizing mask = subview->mAutoresizingMask;
        if (!subview->mTranslatesAutoresizingMask || mask == ViewAutoresizing::none) continue;
        Rect r = detail::ViewAccess::layoutRect(*subview);
        const auto h = detail::autoresizeShares(
            r.x, r.width, oldSize.width - r.x - r.width, hasFlag(mask, ViewAutoresizing::flexibleLeftMargin),
            hasFlag(mask, ViewAutoresizing::flexibleWidth), hasFlag(mask, ViewAutoresizing::flexibleRightMargin));
        const auto v = detail::autoresizeShares(
            r.y, r.height, oldSize.height - r.y - r.height, hasFlag(mask, ViewAutoresizing::flexibleTopMargin),
            hasFlag(mask, ViewAutoresizing::flexibleHeight), hasFlag(mask, ViewAutoresizing::flexibleBottomMargin));
        const double dw = size.width - oldSize.width;
        const double dh = size.height - oldSize.height;
        r = {r.x + h.leadingMargin * dw, r.y + v.leadingMargin * dh, r.width + h.size * dw, r.height + v.size * dh};
        detail::ViewAccess::setLayoutRect(*subview, r);
    }
}

// --- appearance ------------------------------------------------------------

double View::alpha() const { return mLayer->opacity(); }

void View::setAlpha(double alpha) { mLayer->setOpacity(alpha); }

bool View::isHidden() const { return mLayer->isHidden(); }

void View::setHidden(bool hidden) {
    if (hidden == mLayer->isHidden()) return;
    mLayer->setHidden(hidden);
    if (auto super = superview()) super->subviewLayoutInputsChanged(*this);
}

void View::setBackgroundColor(std::optional<Color> color) {
    mBackgroundColor = color;
    mLayer->setBackgroundColor(color.value_or(Color::clear()));
}

bool View::clipsToBounds() const { return mLayer->masksToBounds(); }

void View::setClipsToBounds(bool clips) { mLayer->setMasksToBounds(clips); }

void View::setContentMode(ViewContentMode mode) {
    mContentMode = mode;
    mLayer->setNeedsDisplayOnBoundsChange(mode == ViewContentMode::redraw);
}

Color View::undimmedTintColor() const {
    for (const View* view = this; view;) {
        if (view->mTintColor) return *view->mTintColor;
        auto super = view->superview();
        view = super.get();
    }
    return kSystemBlue;
}

Color View::tintColor() const {
    const Color color = undimmedTintColor();
    if (tintAdjustmentMode() != TintAdjustmentMode::dimmed) return color;
    const double luminance = 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
    return Color{luminance, luminance, luminance, color.alpha};
}

void View::setTintColor(std::optional<Color> color) {
    if (color == mTintColor) return;
    const Color before = undimmedTintColor();
    mTintColor = color;
    if (undimmedTintColor() != before) notifyTintChange(true, false);
}

TintAdjustmentMode View::tintAdjustmentMode() const {
    for (const View* view = this; view;) {
        if (view->mTintAdjustmentMode != TintAdjustmentMode::automatic) return view->mTintAdjustmentMode;
        auto super = view->superview();
        view = super.get();
    }
    return TintAdjustmentMode::normal;
}

void View::setTintAdjustmentMode(TintAdjustmentMode mode) {
    if (mode == mTintAdjustmentMode) return;
    const TintAdjustmentMode before = tintAdjustmentMode();
    mTintAdjustmentMode = mode;
    if (tintAdjustmentMode() != before) notifyTintChange(false, true);
}

void View::notifyTintChange(bool color, bool mode) {
    if (!color && !mode) return;
    tintColorDidChange();
    for (const auto& subview : std::vector<std::shared_ptr<View>>(mSubviews)) {
        subview->notifyTintChange(color && !subview->mTintColor,
                                  mode && subview->mTintAdjustmentMode == TintAdjustmentMode::automatic);
    }
}

// --- hierarchy -------------------------------------------------------------

void View::addSubview(const std::shared_ptr<View>& view) { insertAt(view, static_cast<std::size_t>(-1), nullptr); }

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) { insertAt(view, index, nullptr); }

void View::insertSubviewAboveSubview(const std::shared_ptr<View>& view, const View* sibling) {
    insertAt(view, static_cast<std::size_t>(-1), sibling && sibling != view.get() ? sibling->mLayer.get() : nullptr);
}

void View::insertSubviewBelowSubview(const std::shared_ptr<View>& view, const View* sibling) {
    const bool found = sibling && sibling != view.get() && findIn(mSubviews, sibling) != mSubviews.end();
    // Marked with the sibling's own layer; its index is found after the
    // view left its old place.
    if (!found) {
        insertAt(view, 0, nullptr);
        return;
    }
    insertAt(view, static_cast<std::size_t>(-2), sibling->mLayer.get());
}

// `index` is where the view goes once out of its old place (clamped);
// with `sibling` set, -1 means just above it and -2 just below.
void View::insertAt(const std::shared_ptr<View>& view, std::size_t index, const Layer* sibling) {
    VEKMONT_MAIN_THREAD_ONLY("View::addSubview/insertSubview", nullptr);
    if (!view) throw std::invalid_argument("A null view cannot be added");
    if (isDescendantOfView(view.get())) {
        throw std::invalid_argument("A view cannot be added to itself or to a view below it");
    }
    const std::shared_ptr<View> self = sharedView();
    const std::shared_ptr<View> oldSuperview = view->superview();
    const bool sameSuperview = oldSuperview.get() == this;
    const std::shared_ptr<Window> newWindow = window();
    const bool windowChanges = view->window() != newWindow;
    const Color colorBefore = view->undimmedTintColor();
    const TintAdjustmentMode modeBefore = view->tintAdjustmentMode();

    if (!sameSuperview) view->willMoveToSuperview(this);
    if (windowChanges) {
        view->willMoveToWindow(newWindow.get());
        for (const auto& below : view->allDescendants()) below->willMoveToWindow(newWindow.get());
    }
    if (sameSuperview) {
        mSubviews.erase(std::find(mSubviews.begin(), mSubviews.end(), view));
    } else if (oldSuperview) {
        oldSuperview->willRemoveSubview(*view);
        oldSuperview->detachSubview(*view);
    }

    if (sibling) {
        const auto at = std::find_if(mSubviews.begin(), mSubviews.end(),
                                     [&](const std::shared_ptr<View>& s) { return s->mLayer.get() == sibling; });
        const std::size_t siblingIndex = static_cast<std::size_t>(at - mSubviews.begin());
        index = at == mSubviews.end()                   ? mSubviews.size()
                : index == static_cast<std::size_t>(-2) ? siblingIndex
                                                        : siblingIndex + 1;
    }
    index = std::min(index, mSubviews.size());
    mSubviews.insert(mSubviews.begin() + static_cast<std::ptrdiff_t>(index), view);
    view->mSuperview = self;
    if (index + 1 < mSubviews.size()) {
        mLayer->insertSublayerBelow(view->mLayer, mSubviews[index + 1]->mLayer.get());
    } else {
        mLayer->addSublayer(view->mLayer);
    }
    if (!sameSuperview) {
        for (View* v = this; v;) {
            v->mSubtreeConstraintCount += view->mSubtreeConstraintCount;
            auto super = v->superview();
            v = super.get();
        }
    }
    detail::bumpLayoutEpoch();
    if (windowChanges) view->moveToWindow(newWindow);
    if (!sameSuperview) {
        view->didMoveToSuperview();
        didAddSubview(*view);
        view->notifyTintChange(view->undimmedTintColor() != colorBefore, view->tintAdjustmentMode() != modeBefore);
    }
    view->setNeedsLayout();
    view->markSubtreeNeedsLayout();
    setNeedsLayout();
}

void View::detachSubview(View& view) {
    mSubviews.erase(findIn(mSubviews, &view));
    view.mLayer->removeFromSuperlayer();
    view.mSuperview.reset();
    for (View* v = this; v;) {
        v->mSubtreeConstraintCount -= view.mSubtreeConstraintCount;
        auto super = v->superview();
        v = super.get();
    }
    // Constraints above that tie the view's tree to the rest go.
    auto inside = [&](const std::shared_ptr<LayoutItem>& item) {
        if (!item) return false;
        if (auto* v = dynamic_cast<View*>(item.get())) return v->isDescendantOfView(&view);
        if (auto* guide = dynamic_cast<LayoutGuide*>(item.get())) {
            auto owner = guide->owningView();
            return owner && owner->isDescendantOfView(&view);
        }
        return false;
    };
    for (View* v = this; v;) {
        std::vector<std::shared_ptr<LayoutConstraint>> gone;
        for (const auto& c : v->mConstraints) {
            if (inside(c->firstItem()) || inside(c->secondItem())) gone.push_back(c);
        }
        v->removeConstraints(gone);
        auto super = v->superview();
        v = super.get();
    }
    detail::bumpLayoutEpoch();
}

void View::removeFromSuperview() {
    const std::shared_ptr<View> superview = this->superview();
    if (!superview) return;
    const std::shared_ptr<View> self = sharedView();
    const Color colorBefore = undimmedTintColor();
    const TintAdjustmentMode modeBefore = tintAdjustmentMode();
    const bool inWindow = !mWindow.expired();
    willMoveToSuperview(nullptr);
    if (inWindow) {
        willMoveToWindow(nullptr);
        for (const auto& below : allDescendants()) below->willMoveToWindow(nullptr);
    }
    superview->willRemoveSubview(*this);
    superview->detachSubview(*this);
    if (inWindow) moveToWindow(nullptr);
    didMoveToSuperview();
    notifyTintChange(undimmedTintColor() != colorBefore, tintAdjustmentMode() != modeBefore);
    superview->setNeedsLayout();
}

std::shared_ptr<Window> View::window() const {
    if (!mIsWindow) return mWindow.lock();
    return std::static_pointer_cast<Window>(std::const_pointer_cast<Responder>(weak_from_this().lock()));
}

void View::moveToWindow(const std::shared_ptr<Window>& window) {
    const bool wasInWindow = !mWindow.expired();
    mWindow = window;
    didMoveToWindow();
    if (wasInWindow != (window != nullptr)) detail::controllerViewMovedToWindow(*this, window != nullptr);
    for (const auto& subview : std::vector<std::shared_ptr<View>>(mSubviews)) subview->moveToWindow(window);
}

void View::bringSubviewToFront(const View* view) {
    const auto at = findIn(mSubviews, view);
    if (at == mSubviews.end()) return;
    const std::shared_ptr<View> moved = *at;
    mSubviews.erase(at);
    mSubviews.push_back(moved);
    mLayer->addSublayer(moved->mLayer);
}

void View::sendSubviewToBack(const View* view) {
    const auto at = findIn(mSubviews, view);
    if (at == mSubviews.end()) return;
    const std::shared_ptr<View> moved = *at;
    mSubviews.erase(at);
    mSubviews.insert(mSubviews.begin(), moved);
    if (mSubviews.size() > 1) {
        mLayer->insertSublayerBelow(moved->mLayer, mSubviews[1]->mLayer.get());
    } else {
        mLayer->insertSublayer(moved->mLayer, 0);
    }
}

bool View::isDescendantOfView(const View* view) const {
    if (!view) return false;
    for (const View* v = this; v;) {
        if (v == view) return true;
        auto super = v->superview();
        v = super.get();
    }
    return false;
}

std::shared_ptr<View> View::viewWithTag(std::int64_t tag) {
    if (mTag == tag) return sharedView();
    for (const auto& subview : mSubviews) {
        if (auto found = subview->viewWithTag(tag)) return found;
    }
    return nullptr;
}

std::vector<std::shared_ptr<View>> View::allDescendants() const {
    std::vector<std::shared_ptr<View>> found;
    // Depth first, each view before its subviews, subviews in order.
    std::vector<std::pair<const View*, std::size_t>> path{{this, 0}};
    while (!path.empty()) {
        auto& [view, next] = path.back();
        if (next == view->mSubviews.size()) {
            path.pop_back();
            continue;
        }
        const auto& child = view->mSubviews[next++];
        found.push_back(child);
        path.emplace_back(child.get(), 0);
    }
    return found;
}

std::shared_ptr<View> View::findViewWithAccessibilityIdentifier(std::string_view identifier) const {
    for (const auto& view : allDescendants()) {
        if (view->mAccessibilityIdentifier == identifier) return view;
    }
    return nullptr;
}

std::string View::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    constexpr std::string_view kToolkit = "platform::ui::";
    if (name.starts_with(kToolkit)) name.erase(0, kToolkit.size());
    return name;
}

void View::describeForDump(std::string& line) const {
    const auto number = detail::dumpNumber;
    if (isHidden()) line += " hidden";
    if (alpha() != 1) line += " alpha=" + number(alpha());
    if (mTag != 0) line += " tag=" + std::to_string(mTag);
    if (!mAccessibilityIdentifier.empty()) line += " id=" + mAccessibilityIdentifier;
    if (mBackgroundColor) {
        const Color& c = *mBackgroundColor;
        line += " background=(" + number(c.red) + " " + number(c.green) + " " + number(c.blue) + " " + number(c.alpha) +
                ")";
    }
    if (clipsToBounds()) line += " clips";
    if (!mUserInteractionEnabled) line += " noTouches";
    if (!transform().isIdentity()) line += " transformed";
}

// --- drawing ---------------------------------------------------------------

void View::drawRect(Context& context, const Rect& rect) {
    (void)context;
    (void)rect;
}

void View::setNeedsDisplay() {
    VEKMONT_MAIN_THREAD_ONLY("View::setNeedsDisplay", nullptr);
    mLayer->setNeedsDisplay();
}

// --- layout ----------------------------------------------------------------

void View::setNeedsLayout() {
    VEKMONT_MAIN_THREAD_ONLY("View::setNeedsLayout", nullptr);
    mNeedsLayout = true;
    if (auto super = superview()) super->markSubtreeNeedsLayout();
    if (auto w = window()) w->scheduleLayoutPass();
}

void View::markSubtreeNeedsLayout() {
    for (View* v = this; v && !v->mSubtreeNeedsLayout;) {
        v->mSubtreeNeedsLayout = true;
        auto super = v->superview();
        v = super.get();
    }
}

void View::layoutIfNeeded() {
    View* root = this;
    while (auto super = root->superview()) root = super.get();
    detail::runLayoutPass(*root);
}

Size View::sizeThatFits(Size size) const {
    (void)size;
    return bounds().size();
}

void View::sizeToFit() {
    const Rect f = frame();
    const Size size = sizeThatFits(bounds().size());
    setFrame({f.x, f.y, size.width, size.height});
}

Size View::intrinsicContentSize() const { return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric}; }

void View::invalidateIntrinsicContentSize() {
    detail::bumpLayoutEpoch();
    if (auto w = window()) w->scheduleLayoutPass();
    if (auto super = superview()) super->subviewLayoutInputsChanged(*this);
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    if (translates == mTranslatesAutoresizingMask) return;
    mTranslatesAutoresizingMask = translates;
    detail::bumpLayoutEpoch();
    if (auto w = window()) w->scheduleLayoutPass();
}

void View::adjustConstraintCount(std::ptrdiff_t delta) {
    for (View* v = this; v;) {
        v->mSubtreeConstraintCount =
            static_cast<std::size_t>(static_cast<std::ptrdiff_t>(v->mSubtreeConstraintCount) + delta);
        auto super = v->superview();
        v = super.get();
    }
}

void View::addConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    if (!constraint) throw std::invalid_argument("A null constraint cannot be added");
    auto within = [&](const std::shared_ptr<LayoutItem>& item) {
        if (!item) return true;
        if (auto* v = dynamic_cast<View*>(item.get())) return v->isDescendantOfView(this);
        auto* guide = dynamic_cast<LayoutGuide*>(item.get());
        auto owner = guide ? guide->owningView() : nullptr;
        return owner && owner->isDescendantOfView(this);
    };
    if (!constraint->firstItem() || !within(constraint->firstItem()) || !within(constraint->secondItem())) {
        throw std::invalid_argument("A constraint can only be added to a view that holds both its items");
    }
    if (auto holder = constraint->mHolder.lock()) {
        if (holder.get() == this) return;
        holder->releaseConstraint(constraint);
    }
    mConstraints.push_back(constraint);
    constraint->mHolder = sharedView();
    adjustConstraintCount(1);
    constraint->changed();
}

void View::addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
    const auto at = std::find(mConstraints.begin(), mConstraints.end(), constraint);
    if (at == mConstraints.end()) return;
    mConstraints.erase(at);
    constraint->mHolder.reset();
    adjustConstraintCount(-1);
    detail::bumpLayoutEpoch();
    setNeedsLayout();
}

void View::removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) removeConstraint(c);
}

LayoutPriority View::contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const {
    return mHugging[axis == LayoutConstraintAxis::horizontal ? 0 : 1];
}

void View::setContentHuggingPriority(LayoutPriority priority, LayoutConstraintAxis axis) {
    mHugging[axis == LayoutConstraintAxis::horizontal ? 0 : 1] = priority;
    invalidateIntrinsicContentSize();
}

LayoutPriority View::contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const {
    return mCompression[axis == LayoutConstraintAxis::horizontal ? 0 : 1];
}

void View::setContentCompressionResistancePriority(LayoutPriority priority, LayoutConstraintAxis axis) {
    mCompression[axis == LayoutConstraintAxis::horizontal ? 0 : 1] = priority;
    invalidateIntrinsicContentSize();
}

EdgeInsets View::safeAreaInsets() const {
    const auto w = window();
    if (!w) return {};
    const Rect b = bounds();
    const Rect safe = convertRectFromView(insetRect(w->bounds(), w->windowSafeAreaInsets()), w.get());
    return {std::max(0.0, safe.minY() - b.minY()), std::max(0.0, safe.minX() - b.minX()),
            std::max(0.0, b.maxY() - safe.maxY()), std::max(0.0, b.maxX() - safe.maxX())};
}

std::shared_ptr<LayoutGuide> View::safeAreaLayoutGuide() {
    if (!mSafeAreaGuide) mSafeAreaGuide = std::make_shared<LayoutGuide>(sharedView(), "safeArea");
    return mSafeAreaGuide;
}

// --- coordinates -----------------------------------------------------------

const Layer* View::referenceLayer(const View* view) const {
    if (!view) view = mWindow.expired() && !mIsWindow ? topOf(this) : window().get();
    return view->mLayer.get();
}

Point View::convertPointToView(Point point, const View* view) const {
    return mLayer->convertPointToLayer(point, referenceLayer(view));
}

Point View::convertPointFromView(Point point, const View* view) const {
    return mLayer->convertPointFromLayer(point, referenceLayer(view));
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    return mLayer->convertRectToLayer(rect, referenceLayer(view));
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const {
    return mLayer->convertRectFromLayer(rect, referenceLayer(view));
}

// --- hit testing -----------------------------------------------------------

std::shared_ptr<View> View::hitTest(Point point, const Event* event) {
    if (!mUserInteractionEnabled || mLayer->isHidden() || mLayer->opacity() < 0.01) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    for (auto it = mSubviews.rbegin(); it != mSubviews.rend(); ++it) {
        View& subview = **it;
        if (auto hit = subview.hitTest(fromSuperview(*subview.mLayer, point), event)) return hit;
    }
    return sharedView();
}

bool View::pointInside(Point point, const Event* event) const {
    (void)event;
    return bounds().contains(point);
}

// --- gesture recognisers ---------------------------------------------------

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
    if (!recognizer) throw std::invalid_argument("A null gesture recogniser cannot be added");
    if (auto old = recognizer->view()) {
        if (old.get() == this) return;
        old->removeGestureRecognizer(recognizer.get());
    }
    mGestureRecognizers.push_back(recognizer);
    recognizer->attachTo(sharedView());
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
    const auto at = std::find_if(mGestureRecognizers.begin(), mGestureRecognizers.end(),
                                 [&](const std::shared_ptr<GestureRecognizer>& r) { return r.get() == recognizer; });
    if (at == mGestureRecognizers.end()) return;
    const std::shared_ptr<GestureRecognizer> removed = *at;
    mGestureRecognizers.erase(at);
    removed->attachTo(nullptr);
}

// --- responder chain -------------------------------------------------------

std::shared_ptr<Responder> View::nextResponder() const {
    if (auto controller = mViewController.lock()) return controller;
    return superview();
}

// --- engine doors ----------------------------------------------------------

namespace detail {

std::string dumpNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? std::string("0") : s;
}

Rect ViewAccess::layoutRect(const View& view) {
    const Layer& layer = *view.mLayer;
    const Rect b = layer.bounds();
    const Point p = layer.position();
    const Point a = layer.anchorPoint();
    return {p.x - a.x * b.width, p.y - a.y * b.height, b.width, b.height};
}

void ViewAccess::setLayoutRect(View& view, const Rect& rect) {
    const Rect b = view.bounds();
    const Point a = view.mLayer->anchorPoint();
    view.setCenter({rect.x + a.x * rect.width, rect.y + a.y * rect.height});
    if (b.width != rect.width || b.height != rect.height) view.setBounds({b.x, b.y, rect.width, rect.height});
}

}  // namespace detail

}  // namespace platform::ui
