#pragma once
// A page view controller: one page (a controller) shown at a time. A drag
// across the page (anywhere on it: a text that scrolls down leaves sideways
// drags to it) moves the page with the finger; let go past a third of the
// width, or flicked, it shows the data source's next page (dragged to the
// left) or the one before (to the right), sliding as a push or a pop does;
// otherwise the page springs back, as it does at the first and last page.
// With a data source that counts its pages (a count above 0) a page
// control at the bottom shows where the page is: it follows the pages
// turned by hand, asks the data source's presentation index when pages are
// set, and a tap beside its current dot turns one page that way. Pages are
// children; the one leaving disappears as the one coming appears (will,
// will, did, did) while the controller is shown. Main thread only.

#include "platform/ui/controllers/ViewController.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform::ui {

class GestureRecognizer;
class PageControl;
class PageViewController;

enum class PageViewControllerNavigationDirection { forward = 0, reverse = 1 };

class PageViewControllerDataSource {
public:
    virtual ~PageViewControllerDataSource() = default;
    virtual std::shared_ptr<ViewController> viewControllerBefore(PageViewController& pages,
                                                                 ViewController& controller) = 0;
    virtual std::shared_ptr<ViewController> viewControllerAfter(PageViewController& pages,
                                                                ViewController& controller) = 0;
    // 0 (the default): no page control.
    virtual int presentationCount(PageViewController& pages) {
        (void)pages;
        return 0;
    }
    virtual int presentationIndex(PageViewController& pages) {
        (void)pages;
        return 0;
    }
};

class PageViewControllerDelegate {
public:
    virtual ~PageViewControllerDelegate() = default;
    // After a swipe's turn ends.
    virtual void didFinishAnimating(PageViewController& pages, bool finished,
                                    const std::vector<std::shared_ptr<ViewController>>& previous, bool completed) {
        (void)pages, (void)finished, (void)previous, (void)completed;
    }
};

class PageViewController : public ViewController {
public:
    std::vector<std::shared_ptr<ViewController>> viewControllers() const;
    // Shows the first of `controllers` (the toolkit shows one page); the
    // completion hears whether the turn finished. Ignored while a turn runs.
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers,
                            PageViewControllerNavigationDirection direction, bool animated,
                            std::function<void(bool)> completion = {});
    std::shared_ptr<PageViewControllerDataSource> dataSource() const { return mDataSource.lock(); }
    void setDataSource(std::weak_ptr<PageViewControllerDataSource> source);
    std::shared_ptr<PageViewControllerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<PageViewControllerDelegate> delegate) { mDelegate = std::move(delegate); }
    // Null before the view loads.
    std::shared_ptr<PageControl> pageControl() const { return mPageControl; }

    // What a drag or a tap on the page control does: false when the data
    // source has no such page (or a turn runs).
    bool showNextPage();
    bool showPreviousPage();

    // Let go past this share of the width, or faster than kTurnSpeed
    // (points a second), a drag turns the page.
    static constexpr double kTurnShare = 1.0 / 3;
    static constexpr double kTurnSpeed = 300;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    std::string className() const override { return "PageViewController"; }

private:
    class DragDelegate;
    bool showAdjacentPage(bool next);
    void handleDrag(GestureRecognizer& recognizer);
    void pageControlTapped();
    void turn(const std::shared_ptr<ViewController>& to, PageViewControllerNavigationDirection direction, bool animated,
              bool bySwipe, std::function<void(bool)> completion);
    void refreshPageControl();
    // The page control's dot moved by `step` pages (a turn by hand).
    void stepPageControl(int step);

    std::shared_ptr<ViewController> mPage;
    std::shared_ptr<PageControl> mPageControl;
    std::weak_ptr<PageViewControllerDataSource> mDataSource;
    std::weak_ptr<PageViewControllerDelegate> mDelegate;
    std::shared_ptr<DragDelegate> mDragDelegate;
    int mIndicatedPage = 0;
    bool mTurning = false;
};

}  // namespace platform::ui
