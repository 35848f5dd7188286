#pragma once
// A stack view: lays its arranged subviews out in a row or a column, at
// their intrinsic sizes, spaced, as its distribution and alignment say.
// Arranged views that are hidden take no room and no spacing.
//
// Along the axis:
// - fill: each view at its intrinsic length; room left over goes to the
//   view that hugs least (the last of equals), room missing comes from the
//   one that resists compression least (the last of equals); a view with
//   no intrinsic length takes the slack before any other;
// - fillEqually: every view as long as the others, the room shared out;
// - fillProportionally: lengths in proportion to the intrinsic ones;
// - equalSpacing: intrinsic lengths, the room left over shared out as equal
//   gaps (never below the spacing; when short, as fill);
// - equalCentering: the centres equally spaced, gaps never below the
//   spacing (when short, as equalSpacing).
// Across it: fill stretches each view; leading, center and trailing place
// it at its intrinsic length (the whole breadth when it has none).
//
// The intrinsic size is the arranged views' lengths and spacing along the
// axis and the largest breadth across it. Main thread only.

#include "platform/ui/views/View.h"

#include <memory>
#include <vector>

namespace platform::ui {

enum class StackViewDistribution { fill, fillEqually, fillProportionally, equalSpacing, equalCentering };
// top is leading and bottom trailing for a row.
enum class StackViewAlignment { fill, leading, top = leading, center, trailing, bottom = trailing };

class StackView : public View {
public:
    // With the views arranged and added as subviews.
    static std::shared_ptr<StackView> make(const std::vector<std::shared_ptr<View>>& arrangedSubviews = {});
    StackView();
    // The views become subviews once the stack is shared: through make(),
    // once it is added to a superview, or at its first layout.
    explicit StackView(const std::vector<std::shared_ptr<View>>& arrangedSubviews);

    const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return mArranged; }
    // Arranged views are subviews too: adding one adds it as a subview
    // (taking it from where it was); removing one keeps it as a subview;
    // removing the subview removes it from the arrangement.
    void addArrangedSubview(const std::shared_ptr<View>& view);
    void insertArrangedSubview(const std::shared_ptr<View>& view, std::size_t index);
    void removeArrangedSubview(const View* view);

    LayoutConstraintAxis axis() const { return mAxis; }
    void setAxis(LayoutConstraintAxis axis);
    double spacing() const { return mSpacing; }
    void setSpacing(double spacing);
    StackViewDistribution distribution() const { return mDistribution; }
    void setDistribution(StackViewDistribution distribution);
    StackViewAlignment alignment() const { return mAlignment; }
    void setAlignment(StackViewAlignment alignment);

    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void layoutSubviews() override;
    void willRemoveSubview(View& subview) override;
    void didMoveToSuperview() override;
    std::string className() const override { return "StackView"; }

    // An arranged view hidden or shown, or whose intrinsic size changed,
    // lays the stack out anew.
    void subviewLayoutInputsChanged(View& subview) override;

private:
    void changed();
    void adoptArranged();
    std::vector<std::shared_ptr<View>> visibleArranged() const;

    std::vector<std::shared_ptr<View>> mArranged;
    LayoutConstraintAxis mAxis = LayoutConstraintAxis::horizontal;
    double mSpacing = 0;
    StackViewDistribution mDistribution = StackViewDistribution::fill;
    StackViewAlignment mAlignment = StackViewAlignment::fill;
};

}  // namespace platform::ui
