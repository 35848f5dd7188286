#pragma once
// The layout's details: a segmented control of two pages, the description
// pages (segment 0) and the summary, over a container view that holds the
// page shown as a child. Each switch makes the page anew. Main thread only.

#include <memory>

#include "platform/ui/controllers/ViewController.h"

namespace platform::ui {
class SegmentedControl;
}

class VKMLayoutDetailsViewController : public platform::ui::ViewController {
public:
    static constexpr const char* kSceneIdentifier = "LayoutDetailsId";
    static constexpr platform::Size kPreferredContentSize{600, 435};

    struct Outlets {
        std::weak_ptr<platform::ui::View> containerView;
        std::weak_ptr<platform::ui::SegmentedControl> pageControl;
    };
    Outlets outlets;

    void viewDidLoad() override;
    void segmentTapped(platform::ui::SegmentedControl& sender);
    // Shows the description pages for 0 and the summary otherwise; a page
    // that cannot be made leaves the container empty.
    void installChildViewControllerForSegmentIndex(int index);
    void installChildViewController(const std::shared_ptr<platform::ui::ViewController>& child);
    void removeChildViewControllers();

    std::shared_ptr<platform::ui::ViewController> currentChildViewController() const { return mCurrentChild.lock(); }
    std::string className() const override { return "VKMLayoutDetailsViewController"; }

private:
    // Kept alive by the containment.
    std::weak_ptr<platform::ui::ViewController> mCurrentChild;
};
