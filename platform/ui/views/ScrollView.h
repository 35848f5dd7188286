#pragma once
// A scroll view: shows part of a larger content through its bounds, whose
// origin is the content offset. A pan drags the content (past its edges
// with a rubber band when it bounces, else held at them); let go, it glides
// on and slows (by decelerationRate each millisecond) until a finger comes
// down on it, springs back inside its edges, or settles on a page when
// paging. A pinch zooms the view that
// the delegate names for zooming, between the minimum and maximum zoom
// scales, about the fingers; the pan and the pinch go on together (the
// pinch keeps the content under the fingers while both run).
//
// The content offset runs from (-inset.left, -inset.top) to the content
// size plus the right and bottom insets less the bounds' size (never below
// the start). Gliding, springing and animated offsets move on the main
// loop's display link, so a virtual clock drives them in tests; each step
// tells the delegate scrollViewDidScroll.
//
// Main thread only.

#include "platform/ui/views/View.h"

#include <memory>

namespace platform {
class DisplayLink;
}

namespace platform::ui {

class PanGestureRecognizer;
class PinchGestureRecognizer;
class ScrollView;

// Optional answers and notices; held weakly.
// The platform's values.
enum class ScrollViewIndicatorStyle { defaultStyle = 0, black = 1, white = 2 };

class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(ScrollView& scrollView) { (void)scrollView; }
    virtual void scrollViewDidZoom(ScrollView& scrollView) { (void)scrollView; }
    virtual void scrollViewWillBeginDragging(ScrollView& scrollView) { (void)scrollView; }
    virtual void scrollViewDidEndDragging(ScrollView& scrollView, bool willDecelerate) {
        (void)scrollView;
        (void)willDecelerate;
    }
    virtual void scrollViewWillBeginDecelerating(ScrollView& scrollView) { (void)scrollView; }
    virtual void scrollViewDidEndDecelerating(ScrollView& scrollView) { (void)scrollView; }
    // After setContentOffset(offset, true) or setZoomScale(scale, true).
    virtual void scrollViewDidEndScrollingAnimation(ScrollView& scrollView) { (void)scrollView; }
    // The view that zooms; none (the default) means no zooming.
    virtual std::shared_ptr<View> viewForZoomingInScrollView(ScrollView& scrollView) {
        (void)scrollView;
        return nullptr;
    }
    virtual void scrollViewWillBeginZooming(ScrollView& scrollView, View* view) {
        (void)scrollView;
        (void)view;
    }
    virtual void scrollViewDidEndZooming(ScrollView& scrollView, View* view, double scale) {
        (void)scrollView;
        (void)view;
        (void)scale;
    }
};

class ScrollView : public View {
public:
    static constexpr double kDecelerationRateNormal = 0.998;  // per millisecond
    static constexpr double kDecelerationRateFast = 0.99;
    // How long an animated offset or zoom takes.
    static constexpr double kAnimationDuration = 0.3;
    // Let go slower than this (points a second), the content stops.
    static constexpr double kMinimumGlideSpeed = 20;
    // Let go faster than this, paging goes on to the next page.
    static constexpr double kPageFlickSpeed = 300;

    static std::shared_ptr<ScrollView> make(const Rect& frame = {});
    ScrollView();
    explicit ScrollView(const Rect& frame);
    ~ScrollView() override;

    Point contentOffset() const;
    // Sets it as given (a program may scroll past the edges); with
    // `animated`, over kAnimationDuration, ending in
    // scrollViewDidEndScrollingAnimation.
    void setContentOffset(Point offset, bool animated = false);
    Size contentSize() const { return mContentSize; }
    void setContentSize(Size size);
    EdgeInsets contentInset() const { return mContentInset; }
    void setContentInset(const EdgeInsets& insets);
    Point minimumContentOffset() const;
    Point maximumContentOffset() const;

    bool bounces() const { return mBounces; }
    void setBounces(bool bounces) { mBounces = bounces; }
    bool isScrollEnabled() const;
    void setScrollEnabled(bool enabled);
    bool isPagingEnabled() const { return mPagingEnabled; }
    void setPagingEnabled(bool enabled) { mPagingEnabled = enabled; }
    double decelerationRate() const { return mDecelerationRate; }
    void setDecelerationRate(double rate);

    // 1 by default; zooming needs a view for zooming and a range.
    double minimumZoomScale() const { return mMinimumZoomScale; }
    void setMinimumZoomScale(double scale);
    double maximumZoomScale() const { return mMaximumZoomScale; }
    void setMaximumZoomScale(double scale);
    double zoomScale() const { return mZoomScale; }
    // Kept within the range; scales the view for zooming about its top-left
    // (which sits at the content's origin) and makes the content its size.
    void setZoomScale(double scale, bool animated = false);

    std::shared_ptr<ScrollViewDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate) { mDelegate = std::move(delegate); }

    bool isDragging() const { return mDragging; }
    bool isDecelerating() const { return mDecelerating; }

    // Kept for the screens that set them; no indicators are drawn.
    bool showsVerticalScrollIndicator() const { return mShowsVerticalIndicator; }
    void setShowsVerticalScrollIndicator(bool shows) { mShowsVerticalIndicator = shows; }
    bool showsHorizontalScrollIndicator() const { return mShowsHorizontalIndicator; }
    void setShowsHorizontalScrollIndicator(bool shows) { mShowsHorizontalIndicator = shows; }
    ScrollViewIndicatorStyle indicatorStyle() const { return mIndicatorStyle; }
    void setIndicatorStyle(ScrollViewIndicatorStyle style) { mIndicatorStyle = style; }
    bool isZooming() const { return mZooming; }

    const std::shared_ptr<PanGestureRecognizer>& panGestureRecognizer() const { return mPan; }
    const std::shared_ptr<PinchGestureRecognizer>& pinchGestureRecognizer() const { return mPinch; }

    void didMoveToSuperview() override;
    std::string className() const override { return "ScrollView"; }
    void describeForDump(std::string& line) const override;

private:
    struct Motion;
    class Pan;
    class RecognizerDelegate;
    void installRecognizers();
    void handlePan(PanGestureRecognizer& pan);
    void handlePinch(PinchGestureRecognizer& pinch);
    void applyOffset(Point offset);
    void applyZoom(double scale);
    Point clampedOffset(Point offset) const;
    Point rubberBanded(Point offset) const;
    void startMotion(std::unique_ptr<Motion> motion);
    void stopMotion();
    void step(double seconds);
    void motionEnded();

    Size mContentSize;
    EdgeInsets mContentInset;
    bool mBounces = true;
    bool mShowsVerticalIndicator = true;
    bool mShowsHorizontalIndicator = true;
    ScrollViewIndicatorStyle mIndicatorStyle = ScrollViewIndicatorStyle::defaultStyle;
    bool mPagingEnabled = false;
    double mDecelerationRate = kDecelerationRateNormal;
    double mMinimumZoomScale = 1;
    double mMaximumZoomScale = 1;
    double mZoomScale = 1;
    std::weak_ptr<ScrollViewDelegate> mDelegate;

    bool mDragging = false;
    bool mDecelerating = false;
    bool mZooming = false;
    Point mDragStartOffset;
    double mPinchStartScale = 1;
    Point mPinchContentPoint;  // the content point under the fingers, unscaled

    std::shared_ptr<PanGestureRecognizer> mPan;
    std::shared_ptr<PinchGestureRecognizer> mPinch;
    std::shared_ptr<RecognizerDelegate> mRecognizerDelegate;
    std::unique_ptr<Motion> mMotion;
    std::unique_ptr<DisplayLink> mLink;
    double mLastFrame = -1;
};

}  // namespace platform::ui
