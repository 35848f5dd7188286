#pragma once
// A view: a rectangle of the screen that draws, lays out its subviews and
// takes touches, as the platform's screens are built of. Views are shared
// (std::shared_ptr, made with std::make_shared): a view owns its subviews,
// its layer, its gesture recognisers and the constraints it holds; its
// superview and window are weak.
//
// Geometry is the layer's (Layer.h): `bounds` is the view's own coordinate
// space, `center` is where the middle of the bounds sits in the superview
// (the layer's position), `transform` turns and scales about the centre,
// and `frame` is derived: the box of the transformed bounds in the
// superview. Setting the frame sets the centre and the bounds' size (use
// it on views without a transform).
//
// Drawing: a view that draws overrides drawRect and calls setNeedsDisplay()
// once it has something to show (a subclass usually in its constructor);
// the content is drawn into the layer's kept raster at the next compositing
// and stays until the next setNeedsDisplay() or a change of size. Views
// that do not draw keep no raster.
//
// Layout: setNeedsLayout() marks a view; the layout pass (layoutIfNeeded(),
// and in a window on the main loop's next turn and before a snapshot)
// solves the constraints of the tree, then calls layoutSubviews() top
// down, parents before children, siblings in order, on every marked view.
// A new view, a view whose bounds change size, and a view given or losing
// a subview are marked.
//
// Animations: property changes made inside View::animate's `changes` block
// (frame, bounds, centre, transform, alpha, background colour) set the
// model value at once and add a layer animation of the key path ("position",
// "bounds", "transform", "opacity", "backgroundColor") from what was shown
// to the new value; elsewhere views change at once.
//
// Main thread only.

#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/core/EdgeInsets.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/input/Responder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Context;
}

namespace platform::ui {

class Event;
class GestureRecognizer;
class Layer;
class Window;

namespace detail {
struct ViewAccess;
}

// How a view's content follows its bounds (for views that show an image
// or scale their content); `redraw` draws afresh whenever the size changes.
enum class ViewContentMode {
    scaleToFill,
    scaleAspectFit,
    scaleAspectFill,
    redraw,
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

enum class TintAdjustmentMode { automatic, normal, dimmed };

// The platform's values; one curve at a time.
enum class ViewAnimationOptions : unsigned {
    none = 0,
    allowUserInteraction = 1 << 1,
    beginFromCurrentState = 1 << 2,
    repeat = 1 << 3,  // for ever
    autoreverse = 1 << 4,
    curveEaseInOut = 0 << 16,  // the default
    curveEaseIn = 1 << 16,
    curveEaseOut = 2 << 16,
    curveLinear = 3 << 16,
};
constexpr ViewAnimationOptions operator|(ViewAnimationOptions a, ViewAnimationOptions b) {
    return static_cast<ViewAnimationOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasFlag(ViewAnimationOptions options, ViewAnimationOptions flag) {
    return (static_cast<unsigned>(options) & static_cast<unsigned>(flag)) != 0;
}

// An intrinsic size of this along an axis means none.
inline constexpr double kViewNoIntrinsicMetric = -1;

class View : public Responder, public LayoutNode {
public:
    View();
    explicit View(const Rect& frame);
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // The view as a shared pointer (it must be owned by one).
    std::shared_ptr<View> sharedView() { return std::static_pointer_cast<View>(shared_from_this()); }
    std::shared_ptr<const View> sharedView() const { return std::static_pointer_cast<const View>(shared_from_this()); }

    // The view's layer; the view is its delegate. Its sublayers follow the
    // subviews (other sublayers may be added beside them).
    const std::shared_ptr<Layer>& layer() const { return mLayer; }

    // --- geometry ------------------------------------------------------
    Rect frame() const;
    void setFrame(const Rect& frame);
    Rect bounds() const;
    void setBounds(const Rect& bounds);
    Point center() const;
    void setCenter(Point center);
    AffineTransform transform() const;
    void setTransform(const AffineTransform& transform);

    // --- appearance ----------------------------------------------------
    double alpha() const;
    void setAlpha(double alpha);
    bool isHidden() const;
    void setHidden(bool hidden);
    // None (the default) draws nothing, as clear does.
    const std::optional<Color>& backgroundColor() const { return mBackgroundColor; }
    void setBackgroundColor(std::optional<Color> color);
    bool clipsToBounds() const;
    void setClipsToBounds(bool clips);
    bool isOpaque() const { return mOpaque; }
    void setOpaque(bool opaque) { mOpaque = opaque; }
    ViewContentMode contentMode() const { return mContentMode; }
    void setContentMode(ViewContentMode mode);

    // The tint: the view's own, else its superview's, else the system's
    // blue; greyed (the colour's luminance, its alpha kept) while the
    // adjustment mode in force is dimmed. tintAdjustmentMode() reads the
    // mode in force: the view's own unless automatic, else its superview's,
    // else normal. tintColorDidChange() is called on the view and the
    // subviews that inherit from it when either changes, and when a move to
    // another superview changes them.
    Color tintColor() const;
    void setTintColor(std::optional<Color> color);
    TintAdjustmentMode tintAdjustmentMode() const;
    void setTintAdjustmentMode(TintAdjustmentMode mode);
    virtual void tintColorDidChange() {}

    std::int64_t tag() const { return mTag; }
    void setTag(std::int64_t tag) { mTag = tag; }
    const std::string& accessibilityIdentifier() const { return mAccessibilityIdentifier; }
    void setAccessibilityIdentifier(std::string identifier) { mAccessibilityIdentifier = std::move(identifier); }

    // Touches: a view that is not enabled (or hidden, or nearly
    // transparent) is skipped with its subviews by hit testing. A view
    // that takes one touch at a time hears of no second one while the
    // first is down (its gesture recognisers still do); an exclusive view
    // takes touches only while no other view of the window has one, and
    // keeps others from taking any while it has.
    bool isUserInteractionEnabled() const { return mUserInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled) { mUserInteractionEnabled = enabled; }
    bool isMultipleTouchEnabled() const { return mMultipleTouchEnabled; }
    void setMultipleTouchEnabled(bool enabled) { mMultipleTouchEnabled = enabled; }
    bool isExclusiveTouch() const { return mExclusiveTouch; }
    void setExclusiveTouch(bool exclusive) { mExclusiveTouch = exclusive; }

    // --- hierarchy -----------------------------------------------------
    std::shared_ptr<View> superview() const { return mSuperview.lock(); }
    // Back to front; a copy, so that the tree may change while it is walked.
    std::vector<std::shared_ptr<View>> subviews() const { return mSubviews; }
    // The window the view is in (a window's is itself); null outside one.
    std::shared_ptr<Window> window() const;

    // Each first takes the view from its old superview. Adding a null view,
    // the view itself or one of its ancestors throws std::invalid_argument.
    // An index beyond the end appends; a sibling that is not a subview puts
    // the view at the front (above) or the back (below).
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
    void insertSubviewAboveSubview(const std::shared_ptr<View>& view, const View* sibling);
    void insertSubviewBelowSubview(const std::shared_ptr<View>& view, const View* sibling);
    void removeFromSuperview();
    // Nothing for a view that is not a subview.
    void bringSubviewToFront(const View* view);
    void sendSubviewToBack(const View* view);
    // True for the view itself too.
    bool isDescendantOfView(const View* view) const;
    // The first view with the tag, the view itself included, depth first.
    std::shared_ptr<View> viewWithTag(std::int64_t tag);

    // Called around moves, with the hierarchy before (will) and after (did).
    virtual void willMoveToSuperview(View* newSuperview) { (void)newSuperview; }
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(Window* newWindow) { (void)newWindow; }
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(View& subview) { (void)subview; }
    virtual void willRemoveSubview(View& subview) { (void)subview; }

    // --- finding views (tests) -----------------------------------------
    // Every view below this one, depth first, each before its subviews.
    std::vector<std::shared_ptr<View>> allDescendants() const;
    template <typename T>
    std::vector<std::shared_ptr<T>> findViews() const {
        std::vector<std::shared_ptr<T>> found;
        for (const auto& view : allDescendants()) {
            if (auto typed = std::dynamic_pointer_cast<T>(view)) found.push_back(std::move(typed));
        }
        return found;
    }
    template <typename T>
    std::shared_ptr<T> findView() const {
        auto found = findViews<T>();
        return found.empty() ? nullptr : found.front();
    }
    // The first below this one with the identifier; null when none.
    std::shared_ptr<View> findViewWithAccessibilityIdentifier(std::string_view identifier) const;

    // The view's class as written, without the toolkit's namespace ("View",
    // "Window", "VKMLayoutView"), for tree dumps.
    virtual std::string className() const;
    // Appends " name=value" pairs beyond the geometry to a tree dump's line;
    // subclasses add theirs after calling this.
    virtual void describeForDump(std::string& line) const;

    // --- drawing -------------------------------------------------------
    // Draws the view's content in its own coordinates; `rect` is the area
    // to draw (the bounds). The default draws nothing.
    virtual void drawRect(Context& context, const Rect& rect);
    void setNeedsDisplay();
    // True when drawRect reads nothing but the view's own properties,
    // draws only through the context it is given and never waits for the
    // main thread: the compositor may then run it on another thread, or on
    // several at once (each drawing a part of the bounds), while the main
    // thread waits for it or draws other layers. False by default.
    virtual bool drawsOnAnyThread() const { return false; }
    // Where in the bounds drawRect draws, when it is known to be less than
    // them; the compositor then keeps a raster of that part alone. None
    // (the default): all of the bounds.
    virtual std::optional<Rect> drawnExtent() const { return std::nullopt; }

    // --- layout --------------------------------------------------------
    void setNeedsLayout();
    bool needsLayout() const { return mNeedsLayout; }
    // Runs the layout pass now for the tree this view is in, when anything
    // in it is marked or its constraints changed.
    void layoutIfNeeded();
    // Places the subviews; the constraints' frames are set just before.
    virtual void layoutSubviews() {}
    // The size that suits the view within `size`; the default is the
    // current size.
    virtual Size sizeThatFits(Size size) const;
    // Sets the bounds' size to sizeThatFits(current size), keeping the
    // frame's origin.
    void sizeToFit();
    // The size the content needs; kViewNoIntrinsicMetric on an axis that
    // has none (the default, on both).
    virtual Size intrinsicContentSize() const;
    void invalidateIntrinsicContentSize();
    // Called on the superview when a subview is hidden or shown, or its
    // intrinsic size is invalidated (a stack view lays itself out anew);
    // the default does nothing.
    virtual void subviewLayoutInputsChanged(View& subview) { (void)subview; }

    ViewAutoresizing autoresizingMask() const { return mAutoresizingMask; }
    void setAutoresizingMask(ViewAutoresizing mask) { mAutoresizingMask = mask; }
    bool autoresizesSubviews() const { return mAutoresizesSubviews; }
    void setAutoresizesSubviews(bool autoresizes) { mAutoresizesSubviews = autoresizes; }
    bool translatesAutoresizingMaskIntoConstraints() const { return mTranslatesAutoresizingMask; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);

    // The constraints this view holds (active ones whose nearest common
    // ancestor it is, or that were added to it).
    // (A copy, as subviews().)
    std::vector<std::shared_ptr<LayoutConstraint>> constraints() const { return mConstraints; }
    // Activates the constraint, held by this view; throws
    // std::invalid_argument when one of its views is not this view or
    // below it.
    void addConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    void removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

    // How strongly the view keeps to its intrinsic size: hugging (not
    // larger; 250 by default), compression resistance (not smaller; 750).
    LayoutPriority contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const;
    void setContentHuggingPriority(LayoutPriority priority, LayoutConstraintAxis axis);
    LayoutPriority contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const;
    void setContentCompressionResistancePriority(LayoutPriority priority, LayoutConstraintAxis axis);

    // Spacing the view's content keeps from its edges: 8 points a side
    // unless set.
    EdgeInsets layoutMargins() const { return mLayoutMargins; }
    void setLayoutMargins(const EdgeInsets& margins) { mLayoutMargins = margins; }

    // The part of the bounds that the window's safe area covers, as
    // insets from each edge (none outside a window).
    EdgeInsets safeAreaInsets() const;
    // The bounds inset by safeAreaInsets(), for constraints.
    std::shared_ptr<LayoutGuide> safeAreaLayoutGuide();

    // --- coordinates ---------------------------------------------------
    // Between this view's coordinates and `view`'s (any view, even in
    // another window: screens' coordinates join windows); null means this
    // view's window (or the top of its tree outside one). A rectangle maps
    // to the box of its corners.
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;

    // --- hit testing ---------------------------------------------------
    // The front-most view of this tree that contains `point` (in this
    // view's coordinates): null when this view is hidden, has alpha below
    // 0.01, takes no touches, or pointInside is false (so subviews outside
    // their superview's bounds are not hit); otherwise the first hit among
    // the subviews from front to back, else this view.
    virtual std::shared_ptr<View> hitTest(Point point, const Event* event);
    // True when the point lies within the bounds.
    virtual bool pointInside(Point point, const Event* event) const;

    // --- gesture recognisers -------------------------------------------
    // The view owns its recognisers; a recogniser belongs to one view (it
    // leaves the one it was on).
    void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const GestureRecognizer* recognizer);
    // (A copy, as subviews().)
    std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers() const { return mGestureRecognizers; }
    // Asked before one of the view's recognisers (or one above it that
    // got a touch here) leaves the possible state; false makes it fail.
    virtual bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
        (void)recognizer;
        return true;
    }

    // --- responder chain -----------------------------------------------
    // The controller whose root view this is (set by the controller), else
    // the superview.
    std::shared_ptr<Responder> nextResponder() const override;
    void setViewControllerResponder(std::weak_ptr<Responder> controller) { mViewController = std::move(controller); }

    // --- block animations ----------------------------------------------
    // Animates the property changes made in `changes` over `duration`
    // seconds after `delay` (the old value shows during the delay); the
    // completion runs on the main loop once every animation made has ended:
    // with true when all ran to their end, false when one was cut (another
    // change of the same property animated, or removed). With nothing to
    // animate, or a duration of 0 or less, the changes are made at once and
    // the completion runs on the next turn with true. Inner blocks use their
    // own timing.
    static void animate(double duration, const std::function<void()>& changes,
                        std::function<void(bool)> completion = {});
    static void animate(double duration, double delay, ViewAnimationOptions options,
                        const std::function<void()>& changes, std::function<void(bool)> completion = {});
    // A spring that settles (within a thousandth of the change) as the
    // duration ends: `dampingRatio` 1 comes to rest without overshoot,
    // smaller ones swing (taken within 0.01 to 1); `velocity` is the
    // initial speed in whole changes per second. The curve options are not
    // used.
    static void animate(double duration, double delay, double dampingRatio, double velocity,
                        ViewAnimationOptions options, const std::function<void()>& changes,
                        std::function<void(bool)> completion = {});
    // Makes the changes at once, even inside an animation block.
    static void performWithoutAnimation(const std::function<void()>& changes);
    // While off, animation blocks make their changes at once.
    static bool areAnimationsEnabled();
    static void setAnimationsEnabled(bool enabled);

protected:
    // A view backed by a layer of another class (a gradient, a shape).
    View(std::shared_ptr<Layer> layer, const Rect& frame);

    std::shared_ptr<LayoutItem> layoutItemPointer() override { return sharedView(); }

private:
    friend struct detail::ViewAccess;
    friend class Window;
    class LayerBridge;

    void insertAt(const std::shared_ptr<View>& view, std::size_t index, const Layer* belowLayer);
    void detachSubview(View& view);
    void moveToWindow(const std::shared_ptr<Window>& window);
    // The layer of `view`, or for null of the window (else the top view).
    const Layer* referenceLayer(const View* view) const;
    void resizeSubviews(Size oldSize);
    void boundsSizeChanged(Size oldSize);
    Color undimmedTintColor() const;
    // Tells the view, and the views below that inherit what changed.
    void notifyTintChange(bool color, bool mode);
    void markSubtreeNeedsLayout();
    void adjustConstraintCount(std::ptrdiff_t delta);

    // The view as the layout floor sees it (ViewLayoutNode.cpp).
    std::shared_ptr<View> nodeView() override;
    std::shared_ptr<LayoutNode> nodeSuperview() const override;
    std::vector<std::shared_ptr<LayoutNode>> nodeSubviews() const override;
    const std::vector<std::shared_ptr<LayoutConstraint>>& nodeConstraints() const override;
    std::size_t nodeSubtreeConstraintCount() const override;
    void holdConstraint(const std::shared_ptr<LayoutConstraint>& constraint) override;
    void releaseConstraint(const std::shared_ptr<LayoutConstraint>& constraint) override;
    void requestLayoutPass() override;
    Rect nodeBounds() const override;
    Rect nodeLayoutRect() const override;
    void setNodeLayoutRect(const Rect& rect) override;
    EdgeInsets nodeSafeAreaInsets() const override;
    double nodeScreenScale() const override;
    bool nodeTranslatesAutoresizingMask() const override;
    bool nodeAutoresizesSubviews() const override;
    ViewAutoresizing nodeAutoresizingMask() const override;
    Size nodeIntrinsicContentSize() const override;
    LayoutPriority nodeHugging(LayoutConstraintAxis axis) const override;
    LayoutPriority nodeCompressionResistance(LayoutConstraintAxis axis) const override;
    bool nodeNeedsLayout() const override;
    bool nodeSubtreeNeedsLayout() const override;
    void clearNodeLayoutMarks() override;
    void setNodeNeedsLayout() override;
    std::uint64_t nodeSolvedEpoch() const override;
    void setNodeSolvedEpoch(std::uint64_t epoch) override;
    void layOutNode() override;

    std::shared_ptr<Layer> mLayer;
    std::shared_ptr<LayerBridge> mBridge;
    std::weak_ptr<View> mSuperview;
    std::vector<std::shared_ptr<View>> mSubviews;
    std::weak_ptr<Window> mWindow;
    bool mIsWindow = false;

    std::optional<Color> mBackgroundColor;
    std::optional<Color> mTintColor;
    TintAdjustmentMode mTintAdjustmentMode = TintAdjustmentMode::automatic;
    ViewContentMode mContentMode = ViewContentMode::scaleToFill;
    std::int64_t mTag = 0;
    std::string mAccessibilityIdentifier;
    bool mOpaque = true;
    bool mUserInteractionEnabled = true;
    bool mMultipleTouchEnabled = false;
    bool mExclusiveTouch = false;

    bool mNeedsLayout = true;
    bool mSubtreeNeedsLayout = false;
    bool mAutoresizesSubviews = true;
    bool mTranslatesAutoresizingMask = true;
    ViewAutoresizing mAutoresizingMask = ViewAutoresizing::none;
    std::vector<std::shared_ptr<LayoutConstraint>> mConstraints;
    std::size_t mSubtreeConstraintCount = 0;  // held here and below
    std::shared_ptr<LayoutGuide> mSafeAreaGuide;
    EdgeInsets mLayoutMargins{8, 8, 8, 8};
    LayoutPriority mHugging[2] = {kLayoutPriorityDefaultLow, kLayoutPriorityDefaultLow};
    LayoutPriority mCompression[2] = {kLayoutPriorityDefaultHigh, kLayoutPriorityDefaultHigh};
    std::uint64_t mSolvedEpoch = 0;  // the tree's constraints, as last solved here

    std::vector<std::shared_ptr<GestureRecognizer>> mGestureRecognizers;
    std::weak_ptr<Responder> mViewController;
};

}  // namespace platform::ui
