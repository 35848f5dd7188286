#include "platform/ui/core/Layer.h"

#include <atomic>

#include "platform/dispatch/MainThread.h"
#include "platform/ui/core/detail/KeyPath.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/Transaction.h"
#include "platform/ui/core/detail/AnimationEntry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace platform::ui {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t nextEntryId() {
    static std::uint64_t next = 0;
    return ++next;
}

using detail::KeyPath;
using Value = std::optional<AnimationValue>;

// A part of the transform, read and written as TransformParts takes it
// apart; none, and no write, when it does not come apart.
template <auto Transform, double TransformParts::*Part>
constexpr KeyPath transformPartKeyPath(std::string_view name) {
    return {name,
            [](const Layer& layer) -> Value {
                const auto parts = TransformParts::of(layer.*Transform);
                if (!parts) return std::nullopt;
                return (*parts).*Part;
            },
            [](Layer& layer, const AnimationValue& value) {
                auto parts = TransformParts::of(layer.*Transform);
                const double* number = std::get_if<double>(&value);
                if (!parts || !number) return false;
                (*parts).*Part = *number;
                layer.*Transform = parts->compose();
                return true;
            },
            true, false};
}

}  // namespace

// --- life ------------------------------------------------------------------

namespace {
std::atomic<std::uint64_t> gNextLayerIdentifier{1};
}  // namespace

Layer::Layer() : mIdentifier(gNextLayerIdentifier.fetch_add(1, std::memory_order_relaxed)) {}

Layer::Layer(const Layer& other)
    : std::enable_shared_from_this<Layer>(),
      mBounds(other.mBounds),
      mPosition(other.mPosition),
      mAnchorPoint(other.mAnchorPoint),
      mZPosition(other.mZPosition),
      mTransform(other.mTransform),
      mOpacity(other.mOpacity),
      mHidden(other.mHidden),
      mBackgroundColor(other.mBackgroundColor),
      mCornerRadius(other.mCornerRadius),
      mMasksToBounds(other.mMasksToBounds),
      mBorderWidth(other.mBorderWidth),
      mBorderColor(other.mBorderColor),
      mShadowColor(other.mShadowColor),
      mShadowOpacity(other.mShadowOpacity),
      mShadowOffset(other.mShadowOffset),
      mShadowRadius(other.mShadowRadius),
      mShadowPath(other.mShadowPath),
      mContents(other.mContents),
      mContentsGravity(other.mContentsGravity),
      mName(other.mName),
      mDelegate(other.mDelegate),
      mNeedsDisplay(other.mNeedsDisplay),
      mNeedsDisplayOnBoundsChange(other.mNeedsDisplayOnBoundsChange),
      mDisplayed(other.mDisplayed),
      mIdentifier(other.mIdentifier) {}

Layer::~Layer() {
    // Sublayers that outlive this one (held elsewhere) no longer reach it.
    for (const auto& sublayer : mSublayers) sublayer->mHolder = nullptr;
    for (auto& entry : mAnimations) stopEntry(std::move(entry));
}

std::shared_ptr<Layer> Layer::makeCopy() const { return copyOf(*this); }

// --- geometry --------------------------------------------------------------

void Layer::setBounds(const Rect& bounds) {
    const bool resized = bounds.size() != mBounds.size();
    changeProperty("bounds", mBounds, bounds, false);
    if (resized && mNeedsDisplayOnBoundsChange) setNeedsDisplay();
}

void Layer::setPosition(Point position) { changeProperty("position", mPosition, position, false); }

void Layer::setAnchorPoint(Point anchorPoint) { changeProperty("anchorPoint", mAnchorPoint, anchorPoint, false); }

void Layer::setZPosition(double zPosition) { changeProperty("zPosition", mZPosition, zPosition, false); }

void Layer::setTransform(const Transform3D& transform) { changeProperty("transform", mTransform, transform, false); }

Rect Layer::frame() const {
    if (mTransform.isIdentity()) {
        return {mPosition.x - mAnchorPoint.x * mBounds.width, mPosition.y - mAnchorPoint.y * mBounds.height,
                mBounds.width, mBounds.height};
    }
    return transformToSuperlayer().applyToRect(mBounds);
}

void Layer::setFrame(const Rect& frame) {
    setPosition({frame.x + mAnchorPoint.x * frame.width, frame.y + mAnchorPoint.y * frame.height});
    setBounds({mBounds.x, mBounds.y, frame.width, frame.height});
}

AffineTransform Layer::transformToSuperlayer() const {
    const Point anchor{mBounds.x + mAnchorPoint.x * mBounds.width, mBounds.y + mAnchorPoint.y * mBounds.height};
    const AffineTransform moved =
        AffineTransform::concat(AffineTransform::translation(-anchor.x, -anchor.y), mTransform.affine());
    return AffineTransform::concat(moved, AffineTransform::translation(mPosition.x, mPosition.y));
}

AffineTransform Layer::transformToRoot() const {
    AffineTransform t = transformToSuperlayer();
    for (auto layer = superlayer(); layer; layer = layer->superlayer()) {
        t = AffineTransform::concat(t, layer->transformToSuperlayer());
    }
    return t;
}

Point Layer::convertPointFromLayer(Point point, const Layer* other) const {
    const Point inRoot = other ? other->transformToRoot().apply(point) : point;
    const auto fromRoot = transformToRoot().inverted();
    return fromRoot ? fromRoot->apply(inRoot) : Point{kNaN, kNaN};
}

Point Layer::convertPointToLayer(Point point, const Layer* other) const {
    const Point inRoot = transformToRoot().apply(point);
    if (!other) return inRoot;
    const auto fromRoot = other->transformToRoot().inverted();
    return fromRoot ? fromRoot->apply(inRoot) : Point{kNaN, kNaN};
}

Rect Layer::convertRectFromLayer(const Rect& rect, const Layer* other) const {
    const auto fromRoot = transformToRoot().inverted();
    if (!fromRoot) return {kNaN, kNaN, kNaN, kNaN};
    const AffineTransform toRoot = other ? other->transformToRoot() : AffineTransform{};
    return AffineTransform::concat(toRoot, *fromRoot).applyToRect(rect);
}

Rect Layer::convertRectToLayer(const Rect& rect, const Layer* other) const {
    AffineTransform t = transformToRoot();
    if (other) {
        const auto fromRoot = other->transformToRoot().inverted();
        if (!fromRoot) return {kNaN, kNaN, kNaN, kNaN};
        t = AffineTransform::concat(t, *fromRoot);
    }
    return t.applyToRect(rect);
}

// --- appearance ------------------------------------------------------------

void Layer::setOpacity(double opacity) { changeProperty("opacity", mOpacity, opacity, false); }

void Layer::setHidden(bool hidden) { changeProperty("hidden", mHidden, hidden, false); }

void Layer::setBackgroundColor(const Color& color) {
    changeProperty("backgroundColor", mBackgroundColor, color, false);
}

void Layer::setCornerRadius(double radius) { changeProperty("cornerRadius", mCornerRadius, radius, false); }

void Layer::setMasksToBounds(bool masks) { changeProperty("masksToBounds", mMasksToBounds, masks, false); }

void Layer::setBorderWidth(double width) { changeProperty("borderWidth", mBorderWidth, width, false); }

void Layer::setBorderColor(const Color& color) { changeProperty("borderColor", mBorderColor, color, false); }

void Layer::setShadowColor(const Color& color) { changeProperty("shadowColor", mShadowColor, color, false); }

void Layer::setShadowOpacity(double opacity) { changeProperty("shadowOpacity", mShadowOpacity, opacity, false); }

void Layer::setShadowOffset(Size offset) { changeProperty("shadowOffset", mShadowOffset, offset, false); }

void Layer::setShadowRadius(double radius) { changeProperty("shadowRadius", mShadowRadius, radius, false); }

void Layer::setShadowPath(std::optional<Path> path) { changeProperty("shadowPath", mShadowPath, path, false); }

void Layer::setContents(std::shared_ptr<const Image> image) { changeProperty("contents", mContents, image, false); }

void Layer::setContentsGravity(ContentsGravity gravity) {
    changeProperty("contentsGravity", mContentsGravity, gravity, false);
}

void Layer::setMask(std::shared_ptr<Layer> mask) {
    if (mask.get() == this) throw std::invalid_argument("A layer cannot be its own mask");
    if (mMask == mask) return;
    if (mask) mask->removeFromSuperlayer();
    mMask = std::move(mask);
    markChanged(false);
}

// --- drawn content ---------------------------------------------------------

void Layer::setNeedsDisplay() {
    if (mIsPresentationCopy) return;
    mNeedsDisplay = true;
    mDisplayed = true;
    markChanged(true);
}

void Layer::drawInContext(Context& context) {
    if (auto delegate = mDelegate.lock()) delegate->drawLayer(*this, context);
}

Rect Layer::contentExtent() const {
    if (const auto delegate = mDelegate.lock()) {
        if (const auto part = delegate->contentExtent(*this)) return *part;
    }
    return mBounds;
}

// --- the tree --------------------------------------------------------------

void Layer::insertAt(const std::shared_ptr<Layer>& layer, std::size_t index) {
    if (!layer) throw std::invalid_argument("A null layer cannot be a sublayer");
    for (const Layer* up = this; up != nullptr; up = up->mHolder) {
        if (up == layer.get()) throw std::invalid_argument("A layer cannot be a sublayer of itself or its sublayers");
    }
    const std::shared_ptr<Layer> keep = layer;  // alive while it moves
    keep->removeFromSuperlayer();
    index = std::min(index, mSublayers.size());
    mSublayers.insert(mSublayers.begin() + static_cast<std::ptrdiff_t>(index), keep);
    keep->mSuperlayer = weak_from_this();
    keep->mHolder = this;
    markChanged(false);
}

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) { insertAt(layer, SIZE_MAX); }

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index) { insertAt(layer, index); }

void Layer::insertSublayerAbove(const std::shared_ptr<Layer>& layer, const Layer* sibling) {
    insertBeside(layer, sibling, true);
}

void Layer::insertSublayerBelow(const std::shared_ptr<Layer>& layer, const Layer* sibling) {
    insertBeside(layer, sibling, false);
}

void Layer::insertBeside(const std::shared_ptr<Layer>& layer, const Layer* sibling, bool above) {
    if (layer.get() == sibling && layer) return;
    // A copy: `layer` may be a reference into a list the removal changes.
    const std::shared_ptr<Layer> keep = layer;
    if (keep) keep->removeFromSuperlayer();
    const auto found = std::find_if(mSublayers.begin(), mSublayers.end(),
                                    [&](const std::shared_ptr<Layer>& l) { return l.get() == sibling; });
    std::size_t index = above ? mSublayers.size() : 0;
    if (found != mSublayers.end()) index = static_cast<std::size_t>(found - mSublayers.begin()) + (above ? 1 : 0);
    insertAt(keep, index);
}

void Layer::replaceSublayer(const Layer* old, const std::shared_ptr<Layer>& replacement) {
    if (!replacement) throw std::invalid_argument("A null layer cannot be a sublayer");
    if (old == replacement.get()) return;
    const auto isOld = [&](const std::shared_ptr<Layer>& l) { return l.get() == old; };
    if (std::find_if(mSublayers.begin(), mSublayers.end(), isOld) == mSublayers.end()) return;
    const std::shared_ptr<Layer> keep = replacement;
    keep->removeFromSuperlayer();  // may move `old`
    const auto found = std::find_if(mSublayers.begin(), mSublayers.end(), isOld);
    const auto index = static_cast<std::size_t>(found - mSublayers.begin());
    // `old` may go with its last owner once detached: the index is kept.
    detachSublayer(old);
    insertAt(keep, index);
}

void Layer::removeFromSuperlayer() {
    Layer* const holder = mHolder;
    mSuperlayer.reset();
    mHolder = nullptr;
    // Last: the superlayer may hold the only reference to this layer.
    if (holder) holder->detachSublayer(this);
}

void Layer::detachSublayer(const Layer* layer) {
    const auto found = std::find_if(mSublayers.begin(), mSublayers.end(),
                                    [&](const std::shared_ptr<Layer>& l) { return l.get() == layer; });
    if (found == mSublayers.end()) return;
    const std::shared_ptr<Layer> keep = std::move(*found);
    keep->mSuperlayer.reset();
    keep->mHolder = nullptr;
    mSublayers.erase(found);
    markChanged(false);
}

void Layer::detachSublayers(std::vector<const Layer*> layers) {
    std::sort(layers.begin(), layers.end());
    std::vector<std::shared_ptr<Layer>> staying;
    std::vector<std::shared_ptr<Layer>> leaving;  // may go with their last owner once we are consistent
    staying.reserve(mSublayers.size());
    for (auto& sublayer : mSublayers) {
        if (std::binary_search(layers.begin(), layers.end(), sublayer.get())) {
            sublayer->mSuperlayer.reset();
            sublayer->mHolder = nullptr;
            leaving.push_back(std::move(sublayer));
        } else {
            staying.push_back(std::move(sublayer));
        }
    }
    mSublayers = std::move(staying);
    if (!leaving.empty()) markChanged(false);
}

// --- hit testing -----------------------------------------------------------

bool Layer::containsPoint(Point point) const { return mBounds.contains(point); }

std::shared_ptr<Layer> Layer::hitTest(Point point) {
    if (mHidden) return nullptr;
    const auto fromSuperlayer = transformToSuperlayer().inverted();
    if (!fromSuperlayer) return nullptr;
    const Point local = fromSuperlayer->apply(point);
    const bool inside = containsPoint(local);
    if (mMasksToBounds && !inside) return nullptr;
    // Front to back: higher z first, then later in the list.
    std::vector<Layer*> order;
    order.reserve(mSublayers.size());
    for (const auto& sublayer : mSublayers) order.push_back(sublayer.get());
    std::stable_sort(order.begin(), order.end(), [](Layer* a, Layer* b) { return a->mZPosition < b->mZPosition; });
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (auto hit = (*it)->hitTest(local)) return hit;
    }
    return inside ? shared_from_this() : nullptr;
}

// --- changes and actions ---------------------------------------------------

std::shared_ptr<Animation> Layer::actionForKey(std::string_view key) {
    if (auto delegate = mDelegate.lock()) {
        if (auto action = delegate->actionForLayer(*this, std::string(key))) return *action;
    }
    if (!Transaction::hasAnimationDuration() || !valueForKeyPath(key)) return nullptr;
    auto animation = BasicAnimation::make(std::string(key));
    animation->setDuration(Transaction::animationDuration());
    animation->setTimingFunction(Transaction::animationTimingFunction().value_or(MediaTimingFunction::defaultTiming()));
    return animation;
}

Layer::PendingChange Layer::willChange(const char* key) {
    // A presentation copy is the renderer's own, on whatever thread draws.
    if (mIsPresentationCopy) return {};
    VEKMONT_MAIN_THREAD_ONLY("Layer property change", key);
    // Most changes have no one to answer for them (a chart sets some
    // twenty thousand properties as it is built): nothing to ask then.
    if (mDelegate.expired() && !Transaction::hasAnimationDuration()) return {};
    return askForAction(key);
}

Layer::PendingChange Layer::askForAction(const char* key) {
    PendingChange change;
    if (Transaction::disableActions()) return change;
    change.key = key;
    change.action = actionForKey(key);
    if (!change.action) return change;
    // What was on screen, for the action to start from.
    if (auto shown = presentationLayer()->valueForKeyPath(key)) {
        change.before = std::make_unique<AnimationValue>(std::move(*shown));
    }
    return change;
}

void Layer::didChange(PendingChange&& change, bool content) {
    if (mIsPresentationCopy) return;
    markChanged(content);
    if (change.action) addAnimationWithPrevious(change.action, change.key, change.before.get());
}

void Layer::markChanged(bool content) {
    if (mIsPresentationCopy) return;
    if (content) ++mContentVersion;
    ++mTreeVersion;
    for (Layer* layer = mHolder; layer; layer = layer->mHolder) ++layer->mTreeVersion;
}

// --- animations ------------------------------------------------------------

void Layer::addAnimation(const std::shared_ptr<Animation>& animation, const std::string& key) {
    addAnimationWithPrevious(animation, key, nullptr);
}

void Layer::addAnimationWithPrevious(const std::shared_ptr<Animation>& animation, std::string_view key,
                                     const AnimationValue* previous) {
    if (!animation) throw std::invalid_argument("A null animation cannot be added");
    if (mIsPresentationCopy) return;
    const double now = currentMediaTime();
    if (!key.empty()) {
        const auto found =
            std::find_if(mAnimations.begin(), mAnimations.end(),
                         [&](const std::unique_ptr<detail::AnimationEntry>& e) { return e->key == key; });
        if (found != mAnimations.end()) {
            auto replaced = std::move(*found);
            mAnimations.erase(found);
            stopEntry(std::move(replaced));
        }
    }
    auto entry = std::make_unique<detail::AnimationEntry>();
    entry->id = nextEntryId();
    entry->key = key;
    entry->animation = animation;
    entry->run = detail::AnimationAccess::makeRun(*animation, *presentationLayer(now),
                                                  previous ? std::optional(*previous) : std::nullopt);
    entry->begin = animation->beginTime() != 0 ? animation->beginTime() : now;
    entry->end = entry->begin + animation->activeDuration();
    entry->groups = detail::joinOpenTransactions();

    const std::weak_ptr<Layer> self = weak_from_this();
    const std::uint64_t id = entry->id;
    entry->startCall = detail::callOnMainAt(entry->begin, [self, id] {
        if (auto layer = self.lock()) layer->entryStarted(id);
    });
    if (std::isfinite(entry->end)) {
        entry->endCall = detail::callOnMainAt(entry->end, [self, id] {
            if (auto layer = self.lock()) layer->entryEnded(id);
        });
    }
    mAnimations.push_back(std::move(entry));
    markChanged(false);
}

void Layer::entryStarted(std::uint64_t id) {
    const auto found = std::find_if(mAnimations.begin(), mAnimations.end(),
                                    [&](const std::unique_ptr<detail::AnimationEntry>& e) { return e->id == id; });
    if (found == mAnimations.end() || (*found)->started) return;
    (*found)->started = true;
    const std::shared_ptr<Animation> animation = (*found)->animation;
    if (auto delegate = animation->delegate()) delegate->animationDidStart(*animation);
}

void Layer::entryEnded(std::uint64_t id) {
    auto found = std::find_if(mAnimations.begin(), mAnimations.end(),
                              [&](const std::unique_ptr<detail::AnimationEntry>& e) { return e->id == id; });
    if (found == mAnimations.end() || (*found)->ended) return;
    if (!(*found)->started) {
        entryStarted(id);
        found = std::find_if(mAnimations.begin(), mAnimations.end(),
                             [&](const std::unique_ptr<detail::AnimationEntry>& e) { return e->id == id; });
        if (found == mAnimations.end()) return;  // the delegate removed it
    }
    detail::AnimationEntry& entry = **found;
    entry.ended = true;
    const std::shared_ptr<Animation> animation = entry.animation;
    const auto groups = std::move(entry.groups);
    entry.groups.clear();
    if (animation->isRemovedOnCompletion()) {
        entry.startCall.cancel();
        mAnimations.erase(found);
    }
    // Removed, the model shows; kept, the end state: either is a change a
    // display presents once more.
    markChanged(false);
    if (auto delegate = animation->delegate()) delegate->animationDidStop(*animation, true);
    for (const auto& group : groups) group->animationEnded();
}

void Layer::stopEntry(std::unique_ptr<detail::AnimationEntry> entry) {
    entry->startCall.cancel();
    entry->endCall.cancel();
    if (entry->ended) return;  // it has told its delegate already
    detail::postToMain([animation = entry->animation, groups = std::move(entry->groups)] {
        if (auto delegate = animation->delegate()) delegate->animationDidStop(*animation, false);
        for (const auto& group : groups) group->animationEnded();
    });
}

bool Layer::hasRunningAnimations() const {
    return std::any_of(mAnimations.begin(), mAnimations.end(),
                       [](const std::unique_ptr<detail::AnimationEntry>& e) { return !e->ended; });
}

std::shared_ptr<Animation> Layer::animationForKey(const std::string& key) const {
    if (key.empty()) return nullptr;
    for (const auto& entry : mAnimations) {
        if (entry->key == key) return entry->animation;
    }
    return nullptr;
}

void Layer::removeAnimationForKey(const std::string& key) {
    const auto found = std::find_if(mAnimations.begin(), mAnimations.end(),
                                    [&](const std::unique_ptr<detail::AnimationEntry>& e) { return e->key == key; });
    if (key.empty() || found == mAnimations.end()) return;
    auto entry = std::move(*found);
    mAnimations.erase(found);
    markChanged(false);
    stopEntry(std::move(entry));
}

void Layer::removeAllAnimations() {
    if (mAnimations.empty()) return;
    auto entries = std::move(mAnimations);
    mAnimations.clear();
    markChanged(false);
    for (auto& entry : entries) stopEntry(std::move(entry));
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& entry : mAnimations) {
        if (!entry->key.empty()) keys.push_back(entry->key);
    }
    return keys;
}

namespace detail {

bool LayerAccess::contentAnimated(const Layer& layer) {
    return std::any_of(layer.mAnimations.begin(), layer.mAnimations.end(),
                       [&](const std::unique_ptr<AnimationEntry>& e) { return e->run->affectsContent(layer); });
}

bool LayerAccess::keyPathAffectsComposite(const Layer& layer, std::string_view keyPath) {
    const KeyPath* entry = layer.findKeyPath(keyPath);
    return entry && !entry->onlyPlaces && entry->read(layer).has_value();
}

bool LayerAccess::compositeAnimated(const Layer& layer) {
    return std::any_of(layer.mAnimations.begin(), layer.mAnimations.end(),
                       [&](const std::unique_ptr<AnimationEntry>& e) { return e->run->affectsComposite(layer); });
}

}  // namespace detail

std::shared_ptr<Layer> Layer::presentationLayer(double time) const {
    std::shared_ptr<Layer> copy = makeCopy();
    copy->mIsPresentationCopy = true;
    for (const auto& entry : mAnimations) entry->run->apply(*copy, time, entry->begin);
    return copy;
}

std::shared_ptr<Layer> Layer::presentationLayer() const { return presentationLayer(currentMediaTime()); }

// --- key-value access ------------------------------------------------------

const KeyPath* Layer::findKeyPath(std::string_view keyPath) const {
    using detail::fieldKeyPath;
    using detail::partKeyPath;
    // Where the layer is put, how opaquely, and its shadow only place it;
    // none changes what drawInContext draws.
    static constexpr KeyPath kEntries[] = {
        fieldKeyPath<&Layer::mBounds>("bounds", false, false),
        {"bounds.origin", [](const Layer& layer) -> Value { return layer.mBounds.origin(); },
         [](Layer& layer, const AnimationValue& value) {
             const Point* origin = std::get_if<Point>(&value);
             if (!origin) return false;
             layer.mBounds.x = origin->x;
             layer.mBounds.y = origin->y;
             return true;
         },
         false, false},
        partKeyPath<&Layer::mBounds, &Rect::x>("bounds.origin.x", false, false),
        partKeyPath<&Layer::mBounds, &Rect::y>("bounds.origin.y", false, false),
        {"bounds.size", [](const Layer& layer) -> Value { return layer.mBounds.size(); },
         [](Layer& layer, const AnimationValue& value) {
             const Size* size = std::get_if<Size>(&value);
             if (!size) return false;
             layer.mBounds.width = size->width;
             layer.mBounds.height = size->height;
             return true;
         },
         false, false},
        partKeyPath<&Layer::mBounds, &Rect::width>("bounds.size.width", false, false),
        partKeyPath<&Layer::mBounds, &Rect::height>("bounds.size.height", false, false),
        fieldKeyPath<&Layer::mPosition>("position", true, false),
        partKeyPath<&Layer::mPosition, &Point::x>("position.x", true, false),
        partKeyPath<&Layer::mPosition, &Point::y>("position.y", true, false),
        fieldKeyPath<&Layer::mAnchorPoint>("anchorPoint", true, false),
        fieldKeyPath<&Layer::mZPosition>("zPosition", true, false),
        fieldKeyPath<&Layer::mTransform>("transform", true, false),
        // The mean of the three scales; sets all three.
        {"transform.scale",
         [](const Layer& layer) -> Value {
             const auto parts = TransformParts::of(layer.mTransform);
             if (!parts) return std::nullopt;
             return (parts->scaleX + parts->scaleY + parts->scaleZ) / 3;
         },
         [](Layer& layer, const AnimationValue& value) {
             auto parts = TransformParts::of(layer.mTransform);
             const double* number = std::get_if<double>(&value);
             if (!parts || !number) return false;
             parts->scaleX = parts->scaleY = parts->scaleZ = *number;
             layer.mTransform = parts->compose();
             return true;
         },
         true, false},
        transformPartKeyPath<&Layer::mTransform, &TransformParts::scaleX>("transform.scale.x"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::scaleY>("transform.scale.y"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::scaleZ>("transform.scale.z"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::rotationZ>("transform.rotation"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::rotationZ>("transform.rotation.z"),
        {"transform.translation",
         [](const Layer& layer) -> Value {
             const auto parts = TransformParts::of(layer.mTransform);
             if (!parts) return std::nullopt;
             return Size{parts->translationX, parts->translationY};
         },
         [](Layer& layer, const AnimationValue& value) {
             auto parts = TransformParts::of(layer.mTransform);
             const Size* size = std::get_if<Size>(&value);
             if (!parts || !size) return false;
             parts->translationX = size->width;
             parts->translationY = size->height;
             layer.mTransform = parts->compose();
             return true;
         },
         true, false},
        transformPartKeyPath<&Layer::mTransform, &TransformParts::translationX>("transform.translation.x"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::translationY>("transform.translation.y"),
        transformPartKeyPath<&Layer::mTransform, &TransformParts::translationZ>("transform.translation.z"),
        fieldKeyPath<&Layer::mOpacity>("opacity", true, false),
        fieldKeyPath<&Layer::mBackgroundColor>("backgroundColor", false, false),
        fieldKeyPath<&Layer::mCornerRadius>("cornerRadius", false, false),
        fieldKeyPath<&Layer::mBorderWidth>("borderWidth", false, false),
        fieldKeyPath<&Layer::mBorderColor>("borderColor", false, false),
        fieldKeyPath<&Layer::mShadowColor>("shadowColor", true, false),
        fieldKeyPath<&Layer::mShadowOpacity>("shadowOpacity", true, false),
        fieldKeyPath<&Layer::mShadowOffset>("shadowOffset", true, false),
        fieldKeyPath<&Layer::mShadowRadius>("shadowRadius", true, false),
        // No path reads as an empty one.
        {"shadowPath", [](const Layer& layer) -> Value { return layer.mShadowPath.value_or(Path{}); },
         [](Layer& layer, const AnimationValue& value) {
             const Path* path = std::get_if<Path>(&value);
             if (!path) return false;
             layer.mShadowPath = *path;
             return true;
         },
         true, false},
    };
    static constexpr detail::KeyPathTable kKeyPaths(kEntries);
    return kKeyPaths.find(keyPath);
}

std::optional<AnimationValue> Layer::valueForKeyPath(std::string_view keyPath) const {
    const KeyPath* entry = findKeyPath(keyPath);
    return entry ? entry->read(*this) : std::nullopt;
}

bool Layer::assignValue(std::string_view keyPath, const AnimationValue& value) {
    const KeyPath* entry = findKeyPath(keyPath);
    return entry && entry->write(*this, value);
}

bool Layer::keyPathAffectsContent(std::string_view keyPath) const {
    const KeyPath* entry = findKeyPath(keyPath);
    return entry && entry->affectsContent;
}

bool Layer::setValueForKeyPath(std::string_view keyPath, const AnimationValue& value) {
    if (!valueForKeyPath(keyPath)) return false;
    const std::string key(keyPath);
    // Through a scratch copy first, so that a value of the wrong kind
    // changes nothing and runs no action.
    if (!makeCopy()->assignValue(keyPath, value)) return false;
    PendingChange change = willChange(key.c_str());
    const Size sizeBefore = mBounds.size();
    assignValue(keyPath, value);
    didChange(std::move(change), keyPathAffectsContent(keyPath));
    if (mBounds.size() != sizeBefore && mNeedsDisplayOnBoundsChange) setNeedsDisplay();
    return true;
}

}  // namespace platform::ui
