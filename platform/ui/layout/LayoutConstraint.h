#pragma once
// Auto-layout, the part the screens use: linear relations between the
// edges, centres and sizes of views and layout guides,
//     first.attribute  (= | >= | <=)  multiplier * second.attribute + constant,
// each with a priority (1000 is required; below it a relation may give way
// to stronger ones). Views that translate their autoresizing masks into
// constraints keep the frames they are given (resized by their masks when
// their superview's size changes); the others are placed by their
// constraints, together with their intrinsic content sizes (hugging and
// compression resistance), in the layout pass (View::layoutIfNeeded).
//
// The solver is exact for consistent systems of equalities (edges, centres,
// chains and stacks, equal sizes); of two relations that cannot both hold,
// the stronger wins and the weaker is dropped whole (of equal priority, the
// one activated first wins); an inequality that does not hold is held at
// its bound. A view that its constraints leave free along an axis keeps
// its current place or size there. Frames are rounded to the pixels of the
// screen. A required constraint that cannot hold is broken and counted
// (LayoutConstraint::brokenConstraintCount) rather than thrown.
//
// An active constraint is held by the nearest common ancestor of its views
// (View::constraints()); items are held weakly. Taking a view out of its
// superview deactivates the constraints that tie it (or its subviews) to
// views outside. Main thread only.
//
// The layout floor sits below views: it sees a view as a LayoutNode (below),
// which View implements.

#include "platform/graphics/Geometry.h"
#include "platform/ui/core/EdgeInsets.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

class LayoutConstraint;
class LayoutDimension;
class LayoutNode;
class LayoutXAxisAnchor;
class LayoutYAxisAnchor;
class View;

enum class LayoutAttribute {
    notAnAttribute,
    left,
    right,
    top,
    bottom,
    leading,  // left to right only: the same as left
    trailing,
    width,
    height,
    centerX,
    centerY,
};

enum class LayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

enum class LayoutConstraintAxis { horizontal, vertical };

using LayoutPriority = float;
inline constexpr LayoutPriority kLayoutPriorityRequired = 1000;
inline constexpr LayoutPriority kLayoutPriorityDefaultHigh = 750;
inline constexpr LayoutPriority kLayoutPriorityDefaultLow = 250;
inline constexpr LayoutPriority kLayoutPriorityFittingSizeLevel = 50;

// The platform's values.
enum class ViewAutoresizing : unsigned {
    none = 0,
    flexibleLeftMargin = 1 << 0,
    flexibleWidth = 1 << 1,
    flexibleRightMargin = 1 << 2,
    flexibleTopMargin = 1 << 3,
    flexibleHeight = 1 << 4,
    flexibleBottomMargin = 1 << 5,
};
constexpr ViewAutoresizing operator|(ViewAutoresizing a, ViewAutoresizing b) {
    return static_cast<ViewAutoresizing>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasFlag(ViewAutoresizing mask, ViewAutoresizing flag) {
    return (static_cast<unsigned>(mask) & static_cast<unsigned>(flag)) != 0;
}

// What constraints place: a view or a layout guide. Items are shared
// (std::shared_ptr); asking one for an anchor needs that.
class LayoutItem {
public:
    virtual ~LayoutItem() = default;

    LayoutXAxisAnchor leadingAnchor();
    LayoutXAxisAnchor trailingAnchor();
    LayoutXAxisAnchor leftAnchor();
    LayoutXAxisAnchor rightAnchor();
    LayoutXAxisAnchor centerXAnchor();
    LayoutYAxisAnchor topAnchor();
    LayoutYAxisAnchor bottomAnchor();
    LayoutYAxisAnchor centerYAnchor();
    LayoutDimension widthAnchor();
    LayoutDimension heightAnchor();

protected:
    LayoutItem() = default;
    virtual std::shared_ptr<LayoutItem> layoutItemPointer() = 0;
};

// A view as the layout floor sees it: an item in a tree, which the layout
// pass walks and the engine places. View implements it (privately: what a
// view offers is in View.h); the engine and the constraints reach views
// through it alone, as views sit on the floor above.
class LayoutNode : public LayoutItem {
public:
    // The view itself.
    virtual std::shared_ptr<View> nodeView() = 0;
    virtual std::shared_ptr<LayoutNode> nodeSuperview() const = 0;
    // Back to front; a copy, so that the tree may change while it is walked.
    virtual std::vector<std::shared_ptr<LayoutNode>> nodeSubviews() const = 0;

    // The constraints the view holds, and how many it and the views below
    // it hold.
    virtual const std::vector<std::shared_ptr<LayoutConstraint>>& nodeConstraints() const = 0;
    virtual std::size_t nodeSubtreeConstraintCount() const = 0;
    // View::addConstraint and View::removeConstraint.
    virtual void holdConstraint(const std::shared_ptr<LayoutConstraint>& constraint) = 0;
    virtual void releaseConstraint(const std::shared_ptr<LayoutConstraint>& constraint) = 0;
    // A constraint it holds changed: its window, if any, lays out on the
    // main loop's next turn.
    virtual void requestLayoutPass() = 0;

    // The bounds; the frame the view would have without its transform, in
    // its superview's coordinates; the safe area's insets; the pixels a
    // point of its screen has (its window's, else the main one).
    virtual Rect nodeBounds() const = 0;
    virtual Rect nodeLayoutRect() const = 0;
    // Moves and sizes the view so that nodeLayoutRect() becomes `rect`.
    virtual void setNodeLayoutRect(const Rect& rect) = 0;
    virtual EdgeInsets nodeSafeAreaInsets() const = 0;
    virtual double nodeScreenScale() const = 0;

    // What places it: its frame and mask, or its constraints with its
    // intrinsic size.
    virtual bool nodeTranslatesAutoresizingMask() const = 0;
    virtual bool nodeAutoresizesSubviews() const = 0;
    virtual ViewAutoresizing nodeAutoresizingMask() const = 0;
    virtual Size nodeIntrinsicContentSize() const = 0;
    virtual LayoutPriority nodeHugging(LayoutConstraintAxis axis) const = 0;
    virtual LayoutPriority nodeCompressionResistance(LayoutConstraintAxis axis) const = 0;

    // The layout pass: the marks on the view and below it, the layout
    // epoch its tree was last solved at, and laying out its subviews
    // (with its controller told before and after).
    virtual bool nodeNeedsLayout() const = 0;
    virtual bool nodeSubtreeNeedsLayout() const = 0;
    virtual void clearNodeLayoutMarks() = 0;
    virtual void setNodeNeedsLayout() = 0;
    virtual std::uint64_t nodeSolvedEpoch() const = 0;
    virtual void setNodeSolvedEpoch(std::uint64_t epoch) = 0;
    virtual void layOutNode() = 0;

protected:
    LayoutNode() = default;
};

// A rectangle that constraints can refer to without a view: the safe area
// of a view (View::safeAreaLayoutGuide()). Its frame follows its view.
class LayoutGuide final : public LayoutItem, public std::enable_shared_from_this<LayoutGuide> {
public:
    // Made by views.
    explicit LayoutGuide(std::weak_ptr<LayoutNode> owningView, std::string identifier);

    std::shared_ptr<View> owningView() const;
    std::shared_ptr<LayoutNode> owningNode() const { return mOwningView.lock(); }
    // In the owning view's coordinates; empty without one.
    Rect layoutFrame() const;
    const std::string& identifier() const { return mIdentifier; }

protected:
    std::shared_ptr<LayoutItem> layoutItemPointer() override { return shared_from_this(); }

private:
    std::weak_ptr<LayoutNode> mOwningView;
    std::string mIdentifier;
};

class LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
public:
    // A new, inactive constraint. Throws std::invalid_argument for a null
    // first item, an attribute of nothing, a second item without an
    // attribute (or an attribute without an item), a constant alone for
    // anything but a width or a height, or a relation of a position to a
    // size or of the two axes' positions.
    static std::shared_ptr<LayoutConstraint> constraintWithItem(const std::shared_ptr<LayoutItem>& item,
                                                                LayoutAttribute attribute, LayoutRelation relation,
                                                                const std::shared_ptr<LayoutItem>& toItem,
                                                                LayoutAttribute toAttribute, double multiplier,
                                                                double constant);

    // The platform's visual format, the part the screens use: "H:" (the
    // default) or "V:", "|" for the superview's edges, views by name in
    // brackets with an optional size ("[button]", "[button(44)]",
    // "[button(>=44@750)]"), and spaces between them: "-" (8 points; 20
    // to an edge), "-12-", "-metric-", "-(>=8)-", none (0). Numbers may be
    // names of `metrics`. Throws std::invalid_argument for a format it
    // cannot read or a view it is not given. The constraints are inactive.
    // (Views are LayoutNodes; the map of views is taken where View is known.)
    template <typename AView>
    static std::vector<std::shared_ptr<LayoutConstraint>> constraintsWithVisualFormat(
        std::string_view format, const std::map<std::string, double>& metrics,
        const std::map<std::string, std::shared_ptr<AView>>& views) {
        return constraintsWithVisualFormat(
            format, metrics, std::map<std::string, std::shared_ptr<LayoutNode>>(views.begin(), views.end()));
    }
    static std::vector<std::shared_ptr<LayoutConstraint>> constraintsWithVisualFormat(
        std::string_view format, const std::map<std::string, double>& metrics,
        const std::map<std::string, std::shared_ptr<LayoutNode>>& views);

    // Activating adds each constraint to the nearest common ancestor of
    // its views; throws std::invalid_argument (activating none of them)
    // when views share no ancestor.
    static void activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    static void deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

    // Required constraints broken by the solver since the process began.
    static std::uint64_t brokenConstraintCount();

    std::shared_ptr<LayoutItem> firstItem() const { return mFirstItem.lock(); }
    LayoutAttribute firstAttribute() const { return mFirstAttribute; }
    LayoutRelation relation() const { return mRelation; }
    std::shared_ptr<LayoutItem> secondItem() const { return mSecondItem.lock(); }
    LayoutAttribute secondAttribute() const { return mSecondAttribute; }
    double multiplier() const { return mMultiplier; }
    double constant() const { return mConstant; }
    void setConstant(double constant);
    LayoutPriority priority() const { return mPriority; }
    // Clamped to 1 to 1000.
    void setPriority(LayoutPriority priority);
    bool isActive() const { return !mHolder.expired(); }
    void setActive(bool active);
    const std::string& identifier() const { return mIdentifier; }
    void setIdentifier(std::string identifier) { mIdentifier = std::move(identifier); }

    // Made through constraintWithItem or an anchor.
    LayoutConstraint(const std::shared_ptr<LayoutItem>& item, LayoutAttribute attribute, LayoutRelation relation,
                     const std::shared_ptr<LayoutItem>& toItem, LayoutAttribute toAttribute, double multiplier,
                     double constant);

private:
    friend class View;
    void changed();

    std::weak_ptr<LayoutItem> mFirstItem;
    LayoutAttribute mFirstAttribute;
    LayoutRelation mRelation;
    std::weak_ptr<LayoutItem> mSecondItem;
    LayoutAttribute mSecondAttribute;
    double mMultiplier;
    double mConstant;
    LayoutPriority mPriority = kLayoutPriorityRequired;
    std::string mIdentifier;
    std::weak_ptr<LayoutNode> mHolder;
};

// An attribute of an item, to make constraints from. The three kinds keep
// positions of one axis and sizes apart at compile time.
class LayoutAnchor {
public:
    std::shared_ptr<LayoutItem> item() const { return mItem.lock(); }
    LayoutAttribute attribute() const { return mAttribute; }

protected:
    LayoutAnchor(std::weak_ptr<LayoutItem> item, LayoutAttribute attribute)
        : mItem(std::move(item)), mAttribute(attribute) {}
    std::shared_ptr<LayoutConstraint> constrain(LayoutRelation relation, const LayoutAnchor* other, double multiplier,
                                                double constant) const;

private:
    std::weak_ptr<LayoutItem> mItem;
    LayoutAttribute mAttribute;
};

template <typename Self>
class LayoutAxisAnchor : public LayoutAnchor {
public:
    std::shared_ptr<LayoutConstraint> constraintEqualToAnchor(const Self& anchor, double constant = 0) const {
        return constrain(LayoutRelation::equal, &anchor, 1, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualToAnchor(const Self& anchor,
                                                                           double constant = 0) const {
        return constrain(LayoutRelation::greaterThanOrEqual, &anchor, 1, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualToAnchor(const Self& anchor, double constant = 0) const {
        return constrain(LayoutRelation::lessThanOrEqual, &anchor, 1, constant);
    }

protected:
    using LayoutAnchor::LayoutAnchor;
};

class LayoutXAxisAnchor final : public LayoutAxisAnchor<LayoutXAxisAnchor> {
public:
    LayoutXAxisAnchor(std::weak_ptr<LayoutItem> item, LayoutAttribute attribute)
        : LayoutAxisAnchor(std::move(item), attribute) {}
};

class LayoutYAxisAnchor final : public LayoutAxisAnchor<LayoutYAxisAnchor> {
public:
    LayoutYAxisAnchor(std::weak_ptr<LayoutItem> item, LayoutAttribute attribute)
        : LayoutAxisAnchor(std::move(item), attribute) {}
};

class LayoutDimension final : public LayoutAxisAnchor<LayoutDimension> {
public:
    LayoutDimension(std::weak_ptr<LayoutItem> item, LayoutAttribute attribute)
        : LayoutAxisAnchor(std::move(item), attribute) {}

    using LayoutAxisAnchor::constraintEqualToAnchor;
    using LayoutAxisAnchor::constraintGreaterThanOrEqualToAnchor;
    using LayoutAxisAnchor::constraintLessThanOrEqualToAnchor;
    std::shared_ptr<LayoutConstraint> constraintEqualToAnchor(const LayoutDimension& anchor, double multiplier,
                                                              double constant) const {
        return constrain(LayoutRelation::equal, &anchor, multiplier, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualToAnchor(const LayoutDimension& anchor,
                                                                           double multiplier, double constant) const {
        return constrain(LayoutRelation::greaterThanOrEqual, &anchor, multiplier, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualToAnchor(const LayoutDimension& anchor,
                                                                        double multiplier, double constant) const {
        return constrain(LayoutRelation::lessThanOrEqual, &anchor, multiplier, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintEqualToConstant(double constant) const {
        return constrain(LayoutRelation::equal, nullptr, 1, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualToConstant(double constant) const {
        return constrain(LayoutRelation::greaterThanOrEqual, nullptr, 1, constant);
    }
    std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualToConstant(double constant) const {
        return constrain(LayoutRelation::lessThanOrEqual, nullptr, 1, constant);
    }
};

}  // namespace platform::ui
