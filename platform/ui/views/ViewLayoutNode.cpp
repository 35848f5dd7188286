// A view as the layout floor sees it: LayoutNode (LayoutConstraint.h).

#include "platform/ui/views/Screen.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/views/detail/ViewAccess.h"

namespace platform::ui {

std::shared_ptr<View> View::nodeView() { return sharedView(); }

std::shared_ptr<LayoutNode> View::nodeSuperview() const { return superview(); }

std::vector<std::shared_ptr<LayoutNode>> View::nodeSubviews() const { return {mSubviews.begin(), mSubviews.end()}; }

const std::vector<std::shared_ptr<LayoutConstraint>>& View::nodeConstraints() const { return mConstraints; }

std::size_t View::nodeSubtreeConstraintCount() const { return mSubtreeConstraintCount; }

void View::holdConstraint(const std::shared_ptr<LayoutConstraint>& constraint) { addConstraint(constraint); }

void View::releaseConstraint(const std::shared_ptr<LayoutConstraint>& constraint) { removeConstraint(constraint); }

void View::requestLayoutPass() {
    if (auto w = window()) w->scheduleLayoutPass();
}

Rect View::nodeBounds() const { return bounds(); }

Rect View::nodeLayoutRect() const { return detail::ViewAccess::layoutRect(*this); }

void View::setNodeLayoutRect(const Rect& rect) { detail::ViewAccess::setLayoutRect(*this, rect); }

EdgeInsets View::nodeSafeAreaInsets() const { return safeAreaInsets(); }

double View::nodeScreenScale() const {
    const auto w = window();
    const auto screen = w ? w->screen() : Screen::mainScreen();
    return screen && screen->scale() > 0 ? screen->scale() : 1;
}

bool View::nodeTranslatesAutoresizingMask() const { return mTranslatesAutoresizingMask; }

bool View::nodeAutoresizesSubviews() const { return mAutoresizesSubviews; }

ViewAutoresizing View::nodeAutoresizingMask() const { return mAutoresizingMask; }

Size View::nodeIntrinsicContentSize() const { return intrinsicContentSize(); }

LayoutPriority View::nodeHugging(LayoutConstraintAxis axis) const { return contentHuggingPriorityForAxis(axis); }

LayoutPriority View::nodeCompressionResistance(LayoutConstraintAxis axis) const {
    return contentCompressionResistancePriorityForAxis(axis);
}

bool View::nodeNeedsLayout() const { return mNeedsLayout; }

bool View::nodeSubtreeNeedsLayout() const { return mSubtreeNeedsLayout; }

void View::clearNodeLayoutMarks() {
    mNeedsLayout = false;
    mSubtreeNeedsLayout = false;
}

void View::setNodeNeedsLayout() { setNeedsLayout(); }

std::uint64_t View::nodeSolvedEpoch() const { return mSolvedEpoch; }

void View::setNodeSolvedEpoch(std::uint64_t epoch) { mSolvedEpoch = epoch; }

void View::layOutNode() {
    detail::controllerWillLayout(*this);
    layoutSubviews();
    detail::controllerDidLayout(*this);
}

}  // namespace platform::ui
