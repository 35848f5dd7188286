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

#include "platform/graphics/Geometry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

class LayoutConstraint;
class LayoutDimension;
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

// A rectangle that constraints can refer to without a view: the safe area
// of a view (View::safeAreaLayoutGuide()). Its frame follows its view.
class LayoutGuide final : public LayoutItem, public std::enable_shared_from_this<LayoutGuide> {
public:
    // Made by views.
    explicit LayoutGuide(std::weak_ptr<View> owningView, std::string identifier);

    std::shared_ptr<View> owningView() const { return mOwningView.lock(); }
    // In the owning view's coordinates; empty without one.
    Rect layoutFrame() const;
    const std::string& identifier() const { return mIdentifier; }

protected:
    std::shared_ptr<LayoutItem> layoutItemPointer() override { return shared_from_this(); }

private:
    std::weak_ptr<View> mOwningView;
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
    static std::vector<std::shared_ptr<LayoutConstraint>> constraintsWithVisualFormat(
        std::string_view format, const std::map<std::string, double>& metrics,
        const std::map<std::string, std::shared_ptr<View>>& views);

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
    std::weak_ptr<View> mHolder;
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
