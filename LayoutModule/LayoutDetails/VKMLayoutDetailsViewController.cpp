#include "LayoutModule/LayoutDetails/VKMLayoutDetailsViewController.h"

#include <map>
#include <string>

#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "engine/services/ZDUtils.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/SegmentedControl.h"

using namespace platform::ui;

void VKMLayoutDetailsViewController::viewDidLoad() {
    ZDUtils::logInfo("Displaying details for '%s'", VKMCurrentCloudLayout::title().c_str());
    setPreferredContentSize(kPreferredContentSize);
    if (auto segments = outlets.pageControl.lock()) {
        segments->setSelectedSegmentIndex(0);
        segments->addTarget(std::static_pointer_cast<VKMLayoutDetailsViewController>(sharedController()),
                            &VKMLayoutDetailsViewController::segmentTapped, ControlEvents::valueChanged);
    }
    installChildViewControllerForSegmentIndex(0);
}

void VKMLayoutDetailsViewController::segmentTapped(SegmentedControl& sender) {
    ZDUtils::logDebug("Segment %ld selected in %s", static_cast<long>(sender.selectedSegmentIndex()),
                      className().c_str());
    installChildViewControllerForSegmentIndex(sender.selectedSegmentIndex());
}

void VKMLayoutDetailsViewController::installChildViewControllerForSegmentIndex(int index) {
    const char* identifier = index == 0 ? VKMLayoutScenes::kLayoutDescriptionId : VKMLayoutScenes::kLayoutSummaryId;
    const auto newViewController = VKMLayoutScenes::instantiate<ViewController>(identifier);
    if (mCurrentChild.lock()) removeChildViewControllers();
    // A page that cannot be made leaves the container empty.
    if (!newViewController) return;
    mCurrentChild = newViewController;
    installChildViewController(newViewController);
}

void VKMLayoutDetailsViewController::installChildViewController(const std::shared_ptr<ViewController>& child) {
    const auto container = outlets.containerView.lock();
    if (!child || !container) return;
    const auto childView = child->view();
    childView->setTranslatesAutoresizingMaskIntoConstraints(false);
    addChildViewController(child);
    container->addSubview(childView);
    const std::map<std::string, std::shared_ptr<View>> views{{"childView", childView}};
    LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat("|[childView]|", {}, views));
    LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|[childView]|", {}, views));
    child->didMoveToParentViewController(this);
}

void VKMLayoutDetailsViewController::removeChildViewControllers() {
    const auto child = mCurrentChild.lock();
    if (!child) return;
    child->willMoveToParentViewController(nullptr);
    if (auto childView = child->viewIfLoaded()) childView->removeFromSuperview();
    child->removeFromParentViewController();
    mCurrentChild.reset();
}
