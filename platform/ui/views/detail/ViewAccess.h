#pragma once
// Private to platform/ui: the doors into views that views, windows and
// controllers use.

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
    // The frame the view would have without its transform, in its
    // superview's coordinates.
    static Rect layoutRect(const View& view);
    // Moves and sizes the view so that layoutRect() becomes `rect`.
    static void setLayoutRect(View& view, const Rect& rect);
    // The controller whose root view this is.
    static std::shared_ptr<Responder> controller(const View& view) { return view.mViewController.lock(); }
};

}  // namespace platform::ui::detail
