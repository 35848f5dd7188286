#include "platform/ui/views/ScrollView.h"

#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

// The spring that brings content back inside its edges or onto a page:
// critically damped, natural frequency in radians a second.
constexpr double kSpringFrequency = 12;
// Moving slower than this (points a second) and nearer than this (points)
// to where it goes, content has arrived.
constexpr double kRestSpeed = 5;
constexpr double kRestDistance = 0.25;
// The longest step the motions are integrated in.
constexpr double kLongestStep = 1.0 / 240;
// How stiff the rubber band is when dragged past an edge.
constexpr double kRubberBand = 0.55;

double rubber(double beyond, double dimension) {
    if (dimension <= 0) return 0;
    return (1 - 1 / (beyond * kRubberBand / dimension + 1)) * dimension;
}

double smoothStep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// One axis of a spring toward `target`; returns true at rest (snapped).
bool springStep(double& position, double& velocity, double target, double dt) {
    const double w = kSpringFrequency;
    const double acceleration = -w * w * (position - target) - 2 * w * velocity;
    velocity += acceleration * dt;
    position += velocity * dt;
    if (std::abs(position - target) < kRestDistance && std::abs(velocity) < kRestSpeed) {
        position = target;
        velocity = 0;
        return true;
    }
    return false;
}

}  // namespace

// Lets the scroll view's own pan and pinch recognise together. The pan does
// not begin for a drag that runs mostly along an axis the content does not
// fill (it could not move the content): a drag across a text that scrolls
// down is left to what holds it, such as a page view that pages sideways.
class ScrollView::RecognizerDelegate final : public GestureRecognizerDelegate {
public:
    RecognizerDelegate(const ScrollView& owner, const GestureRecognizer* pan, const GestureRecognizer* pinch)
        : mOwner(owner), mPan(pan), mPinch(pinch) {}
    bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer& recognizer,
                                                        GestureRecognizer& other) override {
        return (&recognizer == mPan && &other == mPinch) || (&recognizer == mPinch && &other == mPan);
    }
    bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override {
        if (&recognizer != mPan) return true;
        const Point t = static_cast<PanGestureRecognizer&>(recognizer).translationInView(&mOwner);
        const Point least = mOwner.minimumContentOffset();
        const Point most = mOwner.maximumContentOffset();
        const bool alongX = most.x > least.x;
        const bool alongY = most.y > least.y;
        if (std::fabs(t.x) > std::fabs(t.y)) return alongX;
        if (std::fabs(t.y) > std::fabs(t.x)) return alongY;
        return alongX || alongY;
    }

private:
    const ScrollView& mOwner;
    const GestureRecognizer* mPan;
    const GestureRecognizer* mPinch;
};

struct ScrollView::Motion {
    enum class Kind { glide, settle, offset, zoom };


    Kind kind = Kind::glide;
    Point position;  // the offset being moved (glide, settle)
    Point velocity;  // points a second (glide, settle)
    Point target;    // settle
    Point from, to;  // offset animation
    double fromScale = 1, toScale = 1;
    double elapsed = 0;
};

// The scroll view's pan: a finger coming down stops content gliding (within
// its edges; content out of them goes on springing back).
class ScrollView::Pan final : public PanGestureRecognizer {
public:
    explicit Pan(ScrollView& owner) : mOwner(owner) {}

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override {
        if (mOwner.mMotion && mOwner.mMotion->kind == Motion::Kind::glide &&
            mOwner.clampedOffset(mOwner.contentOffset()) == mOwner.contentOffset()) {
            mOwner.stopMotion();
        }
        PanGestureRecognizer::touchesBegan(touches, event);
    }

private:
    ScrollView& mOwner;
};

std::shared_ptr<ScrollView> ScrollView::make(const Rect& frame) {
    auto view = std::make_shared<ScrollView>(frame);
    view->installRecognizers();
    return view;
}

ScrollView::ScrollView() : ScrollView(Rect{}) {}

ScrollView::ScrollView(const Rect& frame)
    : View(frame),
      mPan(std::make_shared<Pan>(*this)),
      mPinch(std::make_shared<PinchGestureRecognizer>()),
      mRecognizerDelegate(std::make_shared<RecognizerDelegate>(*this, mPan.get(), mPinch.get())) {
    setClipsToBounds(true);
    mPan->setDelegate(mRecognizerDelegate);
    mPinch->setDelegate(mRecognizerDelegate);
}

ScrollView::~ScrollView() = default;

void ScrollView::didMoveToSuperview() {
    View::didMoveToSuperview();
    installRecognizers();
}

void ScrollView::installRecognizers() {
    if (mPan->view().get() == this) return;
    // The recognisers belong to this view, which outlives their actions.
    mPan->addAction([this](GestureRecognizer& r) { handlePan(static_cast<PanGestureRecognizer&>(r)); });
    mPinch->addAction([this](GestureRecognizer& r) { handlePinch(static_cast<PinchGestureRecognizer&>(r)); });
    addGestureRecognizer(mPan);
    addGestureRecognizer(mPinch);
}

Point ScrollView::contentOffset() const { return bounds().origin(); }

void ScrollView::setContentOffset(Point offset, bool animated) {
    stopMotion();
    if (!animated) {
        applyOffset(offset);
        return;
    }
    auto motion = std::make_unique<Motion>();
    motion->kind = Motion::Kind::offset;
    motion->from = contentOffset();
    motion->to = offset;
    startMotion(std::move(motion));
}

void ScrollView::setContentSize(Size size) { mContentSize = size; }

void ScrollView::setContentInset(const EdgeInsets& insets) { mContentInset = insets; }

Point ScrollView::minimumContentOffset() const { return {-mContentInset.left, -mContentInset.top}; }

Point ScrollView::maximumContentOffset() const {
    const Point least = minimumContentOffset();
    const Rect b = bounds();
    return {std::max(least.x, mContentSize.width + mContentInset.right - b.width),
            std::max(least.y, mContentSize.height + mContentInset.bottom - b.height)};
}

bool ScrollView::isScrollEnabled() const { return mPan->isEnabled(); }

void ScrollView::setScrollEnabled(bool enabled) { mPan->setEnabled(enabled); }

void ScrollView::setDecelerationRate(double rate) {
    if (std::isfinite(rate) && rate > 0 && rate < 1) mDecelerationRate = rate;
}

void ScrollView::setMinimumZoomScale(double scale) {
    if (std::isfinite(scale) && scale > 0) mMinimumZoomScale = scale;
}

void ScrollView::setMaximumZoomScale(double scale) {
    if (std::isfinite(scale) && scale > 0) mMaximumZoomScale = scale;
}

void ScrollView::setZoomScale(double scale, bool animated) {
    if (!std::isfinite(scale)) return;
    const double target = std::clamp(scale, mMinimumZoomScale, std::max(mMinimumZoomScale, mMaximumZoomScale));
    stopMotion();
    if (!animated) {
        applyZoom(target);
        return;
    }
    auto motion = std::make_unique<Motion>();
    motion->kind = Motion::Kind::zoom;
    motion->fromScale = mZoomScale;
    motion->toScale = target;
    startMotion(std::move(motion));
}

void ScrollView::applyOffset(Point offset) {
    const Rect b = bounds();
    if (offset == b.origin()) return;
    setBounds({offset.x, offset.y, b.width, b.height});
    // Subclasses that lay out what is shown (tables) do so for each offset.
    setNeedsLayout();
    if (auto d = delegate()) d->scrollViewDidScroll(*this);
}

void ScrollView::applyZoom(double scale) {
    const auto d = delegate();
    const auto view = d ? d->viewForZoomingInScrollView(*this) : nullptr;
    if (!view) return;
    const Size size = view->bounds().size();
    View::performWithoutAnimation([&] {
        view->setTransform(AffineTransform::scale(scale, scale));
        view->setCenter({size.width * scale / 2, size.height * scale / 2});
    });
    mContentSize = {size.width * scale, size.height * scale};
    const bool changed = scale != mZoomScale;
    mZoomScale = scale;
    if (changed) d->scrollViewDidZoom(*this);
}

Point ScrollView::clampedOffset(Point offset) const {
    const Point least = minimumContentOffset();
    const Point most = maximumContentOffset();
    return {std::clamp(offset.x, least.x, most.x), std::clamp(offset.y, least.y, most.y)};
}

Point ScrollView::rubberBanded(Point offset) const {
    if (!mBounces) return clampedOffset(offset);
    const Point least = minimumContentOffset();
    const Point most = maximumContentOffset();
    const Rect b = bounds();
    const auto band = [](double v, double lo, double hi, double dimension) {
        if (v < lo) return lo - rubber(lo - v, dimension);
        if (v > hi) return hi + rubber(v - hi, dimension);
        return v;
    };
    return {band(offset.x, least.x, most.x, b.width), band(offset.y, least.y, most.y, b.height)};
}

void ScrollView::handlePan(PanGestureRecognizer& pan) {
    const auto keep = sharedView();
    const auto d = delegate();
    const Point least = minimumContentOffset();
    const Point most = maximumContentOffset();
    // An axis the content does not fill does not move.
    const bool alongX = most.x > least.x;
    const bool alongY = most.y > least.y;
    switch (pan.state()) {
        case GestureRecognizerState::began:
            stopMotion();
            mDragging = true;
            mDragStartOffset = contentOffset();
            if (d) d->scrollViewWillBeginDragging(*this);
            [[fallthrough]];
        case GestureRecognizerState::changed: {
            // While a pinch zooms, it places the content.
            if (mZooming) break;
            const Point t = pan.translationInView(this);
            const Point proposed{alongX ? mDragStartOffset.x - t.x : mDragStartOffset.x,
                                 alongY ? mDragStartOffset.y - t.y : mDragStartOffset.y};
            applyOffset(rubberBanded(proposed));
            break;
        }
        case GestureRecognizerState::ended:
        case GestureRecognizerState::cancelled: {
            mDragging = false;
            Point velocity;
            if (pan.state() == GestureRecognizerState::ended) {
                const Point v = pan.velocityInView(this);
                velocity = {alongX ? -v.x : 0, alongY ? -v.y : 0};
            }
            const Point offset = contentOffset();
            auto motion = std::make_unique<Motion>();
            motion->position = offset;
            motion->velocity = velocity;
            if (mPagingEnabled) {
                const Rect b = bounds();
                const auto page = [&](double at, double start, double v, double size, double lo, double hi) {
                    if (size <= 0) return at;
                    double index = std::round(at / size);
                    if (std::abs(v) > kPageFlickSpeed) index = std::round(start / size) + (v > 0 ? 1 : -1);
                    return std::clamp(index * size, lo, hi);
                };
                motion->kind = Motion::Kind::settle;
                motion->target = {page(offset.x, mDragStartOffset.x, velocity.x, b.width, least.x, most.x),
                                  page(offset.y, mDragStartOffset.y, velocity.y, b.height, least.y, most.y)};
            } else if (clampedOffset(offset) != offset) {
                motion->kind = Motion::Kind::settle;
                motion->target = clampedOffset(offset);
            } else if (std::hypot(velocity.x, velocity.y) > kMinimumGlideSpeed) {
                motion->kind = Motion::Kind::glide;
            } else {
                motion.reset();
            }
            if (motion && motion->kind == Motion::Kind::settle && motion->target == offset && velocity == Point{}) {
                motion.reset();
            }
            if (d) d->scrollViewDidEndDragging(*this, motion != nullptr);
            if (motion) {
                mDecelerating = true;
                if (d) d->scrollViewWillBeginDecelerating(*this);
                startMotion(std::move(motion));
            }
            break;
        }
        default: break;
    }
}

void ScrollView::handlePinch(PinchGestureRecognizer& pinch) {
    const auto keep = sharedView();
    const auto d = delegate();
    const auto view = d ? d->viewForZoomingInScrollView(*this) : nullptr;
    if (!view) return;
    switch (pinch.state()) {
        case GestureRecognizerState::began: {
            stopMotion();
            mZooming = true;
            mPinchStartScale = mZoomScale;
            const Point at = pinch.locationInView(this);
            mPinchContentPoint = {at.x / mZoomScale, at.y / mZoomScale};
            d->scrollViewWillBeginZooming(*this, view.get());
            [[fallthrough]];
        }
        case GestureRecognizerState::changed: {
            const double scale = std::clamp(mPinchStartScale * pinch.scale(), mMinimumZoomScale,
                                            std::max(mMinimumZoomScale, mMaximumZoomScale));
            // Where the fingers are in the frame, before the offset moves.
            const Point at = pinch.locationInView(this);
            const Point offset = contentOffset();
            const Point inFrame{at.x - offset.x, at.y - offset.y};
            applyZoom(scale);
            applyOffset(
                clampedOffset({mPinchContentPoint.x * scale - inFrame.x, mPinchContentPoint.y * scale - inFrame.y}));
            break;
        }
        case GestureRecognizerState::ended:
        case GestureRecognizerState::cancelled: {
            mZooming = false;
            // A drag still going on goes on from here.
            const Point t = mPan->translationInView(this);
            const Point offset = contentOffset();
            mDragStartOffset = {offset.x + t.x, offset.y + t.y};
            d->scrollViewDidEndZooming(*this, view.get(), mZoomScale);
            break;
        }
        default: break;
    }
}

void ScrollView::startMotion(std::unique_ptr<Motion> motion) {
    mMotion = std::move(motion);
    mLastFrame = currentMediaTime();
    std::weak_ptr<View> weak = sharedView();
    mLink = std::make_unique<DisplayLink>([weak](const DisplayLink::Frame& frame) {
        (void)frame;
        auto self = std::static_pointer_cast<ScrollView>(weak.lock());
        if (!self || !self->mMotion) return;
        const double now = currentMediaTime();
        const double dt = std::max(0.0, now - self->mLastFrame);
        self->mLastFrame = now;
        self->step(dt);
    });
    mLink->addToRunLoop(RunLoop::main(), RunLoopMode::Common);
}

void ScrollView::stopMotion() {
    if (!mMotion) return;
    const bool wasDecelerating = mDecelerating;
    mMotion.reset();
    mLink.reset();
    mDecelerating = false;
    if (wasDecelerating) {
        if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
    }
}

void ScrollView::step(double seconds) {
    Motion& m = *mMotion;
    bool done = false;
    switch (m.kind) {
        case Motion::Kind::offset:
        case Motion::Kind::zoom: {
            m.elapsed += seconds;
            const double t = smoothStep(m.elapsed / kAnimationDuration);
            if (m.kind == Motion::Kind::offset) {
                applyOffset({m.from.x + (m.to.x - m.from.x) * t, m.from.y + (m.to.y - m.from.y) * t});
            } else {
                applyZoom(m.fromScale + (m.toScale - m.fromScale) * t);
            }
            done = m.elapsed >= kAnimationDuration;
            break;
        }
        case Motion::Kind::settle:
        case Motion::Kind::glide: {
            const Point least = minimumContentOffset();
            const Point most = maximumContentOffset();
            bool restX = false;
            bool restY = false;
            for (double left = seconds; left > 0; left -= kLongestStep) {
                const double dt = std::min(left, kLongestStep);
                const auto axis = [&](double& p, double& v, double target, double lo, double hi) {
                    if (m.kind == Motion::Kind::settle) return springStep(p, v, target, dt);
                    if (p < lo || p > hi) {
                        if (!mBounces) {
                            p = std::clamp(p, lo, hi);
                            v = 0;
                            return true;
                        }
                        return springStep(p, v, std::clamp(p, lo, hi), dt);
                    }
                    // v(t) = v0 r^(1000 t), integrated over the step.
                    const double k = 1000 * std::log(mDecelerationRate);
                    const double decay = std::exp(k * dt);
                    p += v * (decay - 1) / k;
                    v *= decay;
                    if (!mBounces && (p < lo || p > hi)) {
                        p = std::clamp(p, lo, hi);
                        v = 0;
                    }
                    if (std::abs(v) < kRestSpeed && p >= lo && p <= hi) {
                        v = 0;
                        return true;
                    }
                    return false;
                };
                restX = axis(m.position.x, m.velocity.x, m.target.x, least.x, most.x);
                restY = axis(m.position.y, m.velocity.y, m.target.y, least.y, most.y);
                if (restX && restY) break;
            }
            applyOffset(m.position);
            done = restX && restY;
            break;
        }
    }
    if (done) motionEnded();
}

void ScrollView::motionEnded() {
    const auto kind = mMotion->kind;
    mMotion.reset();
    mLink.reset();
    const auto d = delegate();
    if (kind == Motion::Kind::offset || kind == Motion::Kind::zoom) {
        if (d) d->scrollViewDidEndScrollingAnimation(*this);
        return;
    }
    mDecelerating = false;
    if (d) d->scrollViewDidEndDecelerating(*this);
}

void ScrollView::describeForDump(std::string& line) const {
    View::describeForDump(line);
    const Point offset = contentOffset();
    line += " contentOffset=(" + std::to_string(offset.x) + ", " + std::to_string(offset.y) + ")";
    line += " contentSize=(" + std::to_string(mContentSize.width) + ", " + std::to_string(mContentSize.height) + ")";
}

}  // namespace platform::ui
