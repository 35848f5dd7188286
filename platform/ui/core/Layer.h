#pragma once
// A layer: a rectangle of content placed in its superlayer's coordinates,
// with sublayers, as the platform composites screens. Layers are shared
// (std::shared_ptr, made with Layer::make() or std::make_shared): a layer
// owns its sublayers and its mask; its superlayer and delegate are weak.
//
// Geometry, as the platform defines it: `bounds` is the layer's own
// coordinate space (its origin is the point shown at the top-left);
// `anchorPoint` (unit coordinates of the bounds, 0.5, 0.5 by default) is
// the point that sits at `position` in the superlayer and about which
// `transform` turns and scales; `frame` is derived: the bounding box of the
// transformed bounds in the superlayer. Compositing is flat: a transform's
// depth and perspective are dropped (Transform3D::affine()), and
// `zPosition` only orders siblings (higher in front, ties in list order).
//
// Model and presentation: setters change the model value at once; running
// animations change only the presentation, presentationLayer(time).
//
// Key paths (for animations and valueForKeyPath / setValueForKeyPath):
// "bounds", "bounds.origin", "bounds.origin.x", "bounds.origin.y",
// "bounds.size", "bounds.size.width", "bounds.size.height", "position",
// "position.x", "position.y", "anchorPoint", "zPosition", "transform",
// "transform.scale" (x and y), "transform.scale.x", ".y", ".z",
// "transform.rotation" (= ".z"), "transform.rotation.z",
// "transform.translation" (a size), "transform.translation.x", ".y", ".z",
// "opacity", "backgroundColor", "cornerRadius", "borderWidth",
// "borderColor", "shadowColor", "shadowOpacity", "shadowOffset",
// "shadowRadius", "shadowPath"; subclasses add their own. The transform's
// parts are read and written as TransformParts takes them apart (a
// transform that does not come apart reads none and is left alone).
//
// Everything here is for the main thread.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"
#include "platform/ui/core/AnimationValue.h"
#include "platform/ui/core/Transform3D.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Context;
class Image;
}  // namespace platform

namespace platform::ui {

class Animation;
class Layer;

namespace detail {
struct AnimationEntry;
struct KeyPath;
struct LayerCache;
struct LayerAccess;
}  // namespace detail

// Where contents smaller or larger than the bounds go ("top" is the top on
// screen).
enum class ContentsGravity {
    resize,
    resizeAspect,
    resizeAspectFill,
    center,
    top,
    bottom,
    left,
    right,
    topLeft,
    topRight,
    bottomLeft,
    bottomRight,
};

// What a view does for its layer. Not owned by the layer.
class LayerDelegate {
public:
    virtual ~LayerDelegate() = default;
    // Draws the layer's content, in the layer's coordinates, clipped to its
    // bounds (see Layer::setNeedsDisplay).
    virtual void drawLayer(Layer& layer, Context& context) {
        (void)layer;
        (void)context;
    }
    // True when drawLayer reads nothing but the layer's and the delegate's
    // own state and draws only through the context given, so that it may
    // run on another thread, or on several at once (each drawing a part of
    // the bounds), while the main thread waits for it or draws other
    // layers.
    virtual bool drawsOnAnyThread(const Layer& layer) const {
        (void)layer;
        return false;
    }
    // Where within the bounds drawLayer draws, when the delegate knows it
    // to be less than them (text in a wide label): the compositor keeps a
    // raster of that alone. None: all of the bounds.
    virtual std::optional<Rect> contentExtent(const Layer& layer) const {
        (void)layer;
        return std::nullopt;
    }
    // The action for a change of `key`: none leaves it to the layer, a null
    // pointer means no action, an animation is added under the key.
    virtual std::optional<std::shared_ptr<Animation>> actionForLayer(Layer& layer, const std::string& key) {
        (void)layer;
        (void)key;
        return std::nullopt;
    }
};

class Layer : public std::enable_shared_from_this<Layer> {
public:
    static std::shared_ptr<Layer> make() { return std::make_shared<Layer>(); }
    Layer();
    virtual ~Layer();
    Layer& operator=(const Layer&) = delete;

    // --- geometry ------------------------------------------------------
    Rect bounds() const { return mBounds; }
    void setBounds(const Rect& bounds);
    Point position() const { return mPosition; }
    void setPosition(Point position);
    Point anchorPoint() const { return mAnchorPoint; }
    void setAnchorPoint(Point anchorPoint);
    double zPosition() const { return mZPosition; }
    void setZPosition(double zPosition);
    const Transform3D& transform() const { return mTransform; }
    void setTransform(const Transform3D& transform);
    AffineTransform affineTransform() const { return mTransform.affine(); }
    void setAffineTransform(const AffineTransform& transform) { setTransform(Transform3D::fromAffine(transform)); }

    Rect frame() const;
    // Sets the position and the bounds' size (the bounds' origin stays), as
    // the platform does; meant for layers without a transform.
    void setFrame(const Rect& frame);

    // Maps the layer's coordinates to its superlayer's.
    AffineTransform transformToSuperlayer() const;
    // Maps the layer's coordinates to those of the top of its tree.
    AffineTransform transformToRoot() const;

    // Points and rectangles between this layer and `other` (in any tree;
    // null: the top of this layer's tree). A rectangle maps to the bounding
    // box of its corners. A transform that collapses the plane gives
    // points that are not numbers.
    Point convertPointFromLayer(Point point, const Layer* other) const;
    Point convertPointToLayer(Point point, const Layer* other) const;
    Rect convertRectFromLayer(const Rect& rect, const Layer* other) const;
    Rect convertRectToLayer(const Rect& rect, const Layer* other) const;

    // --- appearance ----------------------------------------------------
    double opacity() const { return mOpacity; }
    void setOpacity(double opacity);  // drawn clamped to 0 to 1
    bool isHidden() const { return mHidden; }
    void setHidden(bool hidden);
    // Clear draws nothing.
    Color backgroundColor() const { return mBackgroundColor; }
    void setBackgroundColor(const Color& color);
    double cornerRadius() const { return mCornerRadius; }
    void setCornerRadius(double radius);
    // Clips the contents and the sublayers to the (rounded) bounds.
    bool masksToBounds() const { return mMasksToBounds; }
    void setMasksToBounds(bool masks);
    // Drawn inside the bounds, above the sublayers.
    double borderWidth() const { return mBorderWidth; }
    void setBorderWidth(double width);
    Color borderColor() const { return mBorderColor; }
    void setBorderColor(const Color& color);

    // A shadow of the layer's whole drawing (sublayers included), or of
    // `shadowPath` when set, blurred as a Gaussian whose standard deviation
    // is the radius. Defaults as the platform's: black, opacity 0 (none),
    // offset (0, -3), radius 3.
    Color shadowColor() const { return mShadowColor; }
    void setShadowColor(const Color& color);
    double shadowOpacity() const { return mShadowOpacity; }
    void setShadowOpacity(double opacity);
    Size shadowOffset() const { return mShadowOffset; }
    void setShadowOffset(Size offset);
    double shadowRadius() const { return mShadowRadius; }
    void setShadowRadius(double radius);
    const std::optional<Path>& shadowPath() const { return mShadowPath; }
    void setShadowPath(std::optional<Path> path);

    // An image shown in the bounds as the gravity places it (at its size
    // in points), under the drawn content.
    const std::shared_ptr<const Image>& contents() const { return mContents; }
    void setContents(std::shared_ptr<const Image> image);
    ContentsGravity contentsGravity() const { return mContentsGravity; }
    void setContentsGravity(ContentsGravity gravity);

    // A layer whose alpha masks this layer's drawing (shadow and sublayers
    // included), placed in this layer's coordinates. It has no superlayer.
    const std::shared_ptr<Layer>& mask() const { return mMask; }
    void setMask(std::shared_ptr<Layer> mask);

    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }

    std::shared_ptr<LayerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<LayerDelegate> delegate) { mDelegate = std::move(delegate); }

    // --- drawn content -------------------------------------------------
    // A layer draws content of its own (drawInContext) once it is told
    // to: after setNeedsDisplay() it is drawn at the next compositing into
    // a raster, which is kept and shown until the next setNeedsDisplay() or
    // until its size or the compositing scale changes.
    void setNeedsDisplay();
    bool needsDisplay() const { return mNeedsDisplay; }
    bool needsDisplayOnBoundsChange() const { return mNeedsDisplayOnBoundsChange; }
    void setNeedsDisplayOnBoundsChange(bool needs) { mNeedsDisplayOnBoundsChange = needs; }
    // Draws the content in the layer's coordinates; the default asks the
    // delegate.
    virtual void drawInContext(Context& context);

    // --- the tree ------------------------------------------------------
    // A copy, so that it may be walked while the tree changes.
    std::vector<std::shared_ptr<Layer>> sublayers() const { return mSublayers; }
    std::shared_ptr<Layer> superlayer() const { return mSuperlayer.lock(); }
    // Each of these first takes the layer from its old superlayer. Adding a
    // layer to itself or to one of its own sublayers, or a null layer,
    // throws std::invalid_argument. An index beyond the end appends; a
    // sibling that is not a sublayer puts the layer at the end (above) or
    // the start (below).
    void addSublayer(const std::shared_ptr<Layer>& layer);
    void insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index);
    void insertSublayerAbove(const std::shared_ptr<Layer>& layer, const Layer* sibling);
    void insertSublayerBelow(const std::shared_ptr<Layer>& layer, const Layer* sibling);
    // Puts `replacement` where `old` was; nothing when `old` is not a
    // sublayer.
    void replaceSublayer(const Layer* old, const std::shared_ptr<Layer>& replacement);
    void removeFromSuperlayer();

    // --- hit testing ---------------------------------------------------
    // True when the point (in the layer's coordinates) lies in its bounds.
    virtual bool containsPoint(Point point) const;
    // The front-most layer of this tree that contains `point`, given in the
    // superlayer's coordinates: sublayers first (front to back), then the
    // layer itself. Hidden layers and their sublayers are never hit; a layer
    // that masks to its bounds hides its sublayers outside them.
    std::shared_ptr<Layer> hitTest(Point point);

    // --- animations ----------------------------------------------------
    // Adds `animation` under `key` (empty: no key), replacing (and
    // stopping) one under the same key, and joins the open transactions.
    void addAnimation(const std::shared_ptr<Animation>& animation, const std::string& key);
    std::shared_ptr<Animation> animationForKey(const std::string& key) const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();
    // Keys of the animations held, in the order they were added.
    std::vector<std::string> animationKeys() const;
    bool hasAnimations() const { return !mAnimations.empty(); }
    // Held animations that have not reached their end (one kept after it
    // ends shows its end state, which no longer changes).
    bool hasRunningAnimations() const;

    // Grows with every change to what this layer or one below it draws
    // (model values, sublayers, content); a display whose version has not
    // moved, with no animation running, need not composite again.
    std::uint64_t treeVersion() const { return mTreeVersion; }

    // Unique among the process's layers, never reused, and shared by a
    // layer's presentation copies: what keeps rasters for it (a window's
    // RasterCache) keys them by it.
    std::uint64_t identifier() const { return mIdentifier; }

    // The action for a change of `key`: the delegate's choice; without a
    // delegate, an implicit basic animation when the transaction set an
    // animation duration (the duration and curve of the transaction), else
    // none. Views answer for their own layers; standalone layers change at
    // once unless the change is made in such a transaction. A change asks
    // only when one of the two could answer (a delegate is set, or the
    // transaction set a duration) and actions are not disabled.
    virtual std::shared_ptr<Animation> actionForKey(std::string_view key);

    // The layer as shown at `time`: a copy of its properties with every
    // animation applied in the order added, without sublayers, superlayer,
    // mask or animations of its own. Of the same class for the layers of
    // this toolkit (a subclass elsewhere copies as its nearest one here).
    std::shared_ptr<Layer> presentationLayer(double time) const;
    std::shared_ptr<Layer> presentationLayer() const;

    // --- key-value access ----------------------------------------------
    // None for a key path the layer does not have.
    std::optional<AnimationValue> valueForKeyPath(std::string_view keyPath) const;
    // Sets the model value through its setter (so actions run); false for
    // an unknown key path or a value of the wrong kind.
    bool setValueForKeyPath(std::string_view keyPath, const AnimationValue& value);

protected:
    // A copy of the properties only (for presentation layers).
    Layer(const Layer& other);
    // Copies for presentation: each layer class of this toolkit makes one
    // of its own class.
    virtual std::shared_ptr<Layer> makeCopy() const;
    // A copy of `layer` and its count in one allocation: a frame copies
    // thousands.
    template <typename T>
    static std::shared_ptr<Layer> copyOf(const T& layer) {
        struct Copy final : T {
            explicit Copy(const T& from) : T(from) {}
        };
        return std::make_shared<Copy>(layer);
    }
    // The class's key path of that name: how it reads and writes and what
    // an animation of it changes, from one table per class. Subclasses look
    // in theirs, then call this one.
    virtual const detail::KeyPath* findKeyPath(std::string_view keyPath) const;
    // Sets one key path's value directly, with no action and no change
    // notice; false when the key path is not this layer's or the value is
    // of the wrong kind.
    bool assignValue(std::string_view keyPath, const AnimationValue& value);
    // True when an animation of `keyPath` changes what drawInContext draws
    // (so the kept raster cannot stand for it while it runs).
    bool keyPathAffectsContent(std::string_view keyPath) const;
    // The area drawInContext may draw into (the bounds, or the delegate's
    // part of them, by default), and
    // whether the layer draws from its own properties alone (shapes, text,
    // gradients): such a layer draws without setNeedsDisplay and may be
    // drawn afresh at any resolution, so it is kept as a raster only where
    // it lands pixel on pixel, and drawn as vectors elsewhere.
    virtual Rect contentExtent() const;
    virtual bool drawsWithoutDisplay() const { return false; }

    // For setters: a change of the property `key`, in two steps around the
    // assignment, so that an action animates from the value shown before.
    // `key` must outlive the change (a literal, or a string the setter
    // holds until didChange). Small, and nothing allocated, unless there is
    // an action.
    struct PendingChange {
        const char* key = nullptr;
        std::shared_ptr<Animation> action;
        std::unique_ptr<AnimationValue> before;  // none: nothing was shown
    };
    PendingChange willChange(const char* key);
    // `content` tells whether drawn content changes too (the kept raster
    // goes stale).
    void didChange(PendingChange&& change, bool content);
    // Setters of subclasses: assigns `value` to `field` with the change
    // notices, when it differs.
    template <typename T>
    void changeProperty(const char* key, T& field, const T& value, bool content) {
        if (field == value) return;
        PendingChange change = willChange(key);
        field = value;
        didChange(std::move(change), content);
    }

    bool isPresentationCopy() const { return mIsPresentationCopy; }

private:
    friend struct detail::LayerAccess;

    void insertAt(const std::shared_ptr<Layer>& layer, std::size_t index);
    void insertBeside(const std::shared_ptr<Layer>& layer, const Layer* sibling, bool above);
    void detachSublayer(const Layer* layer);
    // Many at once, in one pass over the sublayers.
    void detachSublayers(std::vector<const Layer*> layers);
    void markChanged(bool content);
    // willChange once someone may answer: asks for the action.
    PendingChange askForAction(const char* key);
    // `previous`: the value shown before a change, or null.
    void addAnimationWithPrevious(const std::shared_ptr<Animation>& animation, std::string_view key,
                                  const AnimationValue* previous);
    void stopEntry(std::unique_ptr<detail::AnimationEntry> entry);
    void entryStarted(std::uint64_t id);
    void entryEnded(std::uint64_t id);

    Rect mBounds;
    Point mPosition;
    Point mAnchorPoint{0.5, 0.5};
    double mZPosition = 0;
    Transform3D mTransform;
    double mOpacity = 1;
    bool mHidden = false;
    Color mBackgroundColor = Color::clear();
    double mCornerRadius = 0;
    bool mMasksToBounds = false;
    double mBorderWidth = 0;
    Color mBorderColor{0, 0, 0, 1};
    Color mShadowColor{0, 0, 0, 1};
    double mShadowOpacity = 0;
    Size mShadowOffset{0, -3};
    double mShadowRadius = 3;
    std::optional<Path> mShadowPath;
    std::shared_ptr<const Image> mContents;
    ContentsGravity mContentsGravity = ContentsGravity::resize;
    std::string mName;
    std::weak_ptr<LayerDelegate> mDelegate;
    bool mNeedsDisplay = false;
    bool mNeedsDisplayOnBoundsChange = false;
    bool mDisplayed = false;  // told to draw at least once
    bool mIsPresentationCopy = false;

    std::shared_ptr<Layer> mMask;
    std::vector<std::shared_ptr<Layer>> mSublayers;
    std::weak_ptr<Layer> mSuperlayer;
    // The layer whose sublayers hold this one, unowned: what a change walks
    // up through without locking each step. Cleared when that layer
    // detaches this one or is destroyed.
    Layer* mHolder = nullptr;

    std::vector<std::unique_ptr<detail::AnimationEntry>> mAnimations;
    std::uint64_t mContentVersion = 0;  // drawn content
    std::uint64_t mTreeVersion = 0;     // anything drawn here or below
    std::uint64_t mIdentifier;
    // What the renderer keeps with the layer (render/detail/LayerCache.h):
    // shared, so that its deleter comes from the renderer, which makes it.
    mutable std::shared_ptr<detail::LayerCache> mCache;
};

}  // namespace platform::ui
