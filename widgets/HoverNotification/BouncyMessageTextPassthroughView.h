#pragma once
// A container of the message banner that is only as large as what it
// holds: a point is inside only where one of its subviews is, so touches
// elsewhere reach the views below.

#include "platform/ui/views/View.h"

class BouncyMessageTextPassthroughView : public platform::ui::View {
public:
    using View::View;

    // True when the point, converted into one of the subviews, lies inside
    // that subview (as that subview tells).
    bool pointInside(platform::Point point, const platform::ui::Event* event) const override;
    std::string className() const override { return "BouncyMessageTextPassthroughView"; }
};
