#pragma once
// Private to platform/ui: the doors into views that the layout engine, the
// windows and the animations use.

#include "platform/graphics/Geometry.h"
#include "platform/ui/views/View.h"

#include <string>

namespace platform::ui::detail {

// Sets the input floor's bridge to views (input/detail/ViewBridge.h); every
// view's constructor calls it, the first call counts.
void connectInputToViews();

// A number for tree dumps: two decimals at most, no trailing zeros.
std::string dumpNumber(double value);

struct ViewAccess {
    static bool& needsLayout(View& view) { return view.mNeedsLayout; }
    static bool& subtreeNeedsLayout(View& view) { return view.mSubtreeNeedsLayout; }
    static std::size_t subtreeConstraintCount(const View& view) { return view.mSubtreeConstraintCount; }
    static std::uint64_t& solvedEpoch(View& view) { return view.mSolvedEpoch; }
    static LayoutPriority hugging(const View& view, LayoutConstraintAxis axis) {
        return view.contentHuggingPriorityForAxis(axis);
    }
    // The frame the view would have without its transform, in its
    // superview's coordinates.
    static Rect layoutRect(const View& view);
    // Moves and sizes the view so that layoutRect() becomes `rect`.
    static void setLayoutRect(View& view, const Rect& rect);
    // The controller whose root view this is.
    static std::shared_ptr<Responder> controller(const View& view) { return view.mViewController.lock(); }
};

}  // namespace platform::ui::detail
