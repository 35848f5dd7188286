#pragma once
// Private to platform/ui: the layout pass and the constraint engine behind
// it, and how autoresizing masks share a change of size.

#include <cstddef>
#include <cstdint>

namespace platform::ui {
class LayoutNode;
}

namespace platform::ui::detail {

// Counts changes that may move what constraints place (geometry,
// constraints, intrinsic sizes, the tree); a tree solved at the current
// count needs no solving.
std::uint64_t layoutEpoch();
void bumpLayoutEpoch();

// Solves the constraints held in `root`'s tree when anything changed since
// the last solve there, setting the frames of the views they place and
// marking for layout the superviews of those whose frames changed.
void solveLayoutIfNeeded(LayoutNode& root);

// Solves, then lays out top down every view marked, until nothing is
// (or a bound on rounds is reached, for layouts that never settle).
void runLayoutPass(LayoutNode& root);

// Adds to LayoutConstraint::brokenConstraintCount().
void countBrokenConstraints(std::size_t count);

// How a change of a superview's size along one axis is shared by a view's
// flexible parts: the margin before it, its size and the margin after.
// Each part that is flexible gets a share in proportion to its current
// length (equal shares when they are all zero); the fractions returned are
// those of the leading margin and of the size.
struct AutoresizeShares {
    double leadingMargin = 0;
    double size = 0;
};
AutoresizeShares autoresizeShares(double leadingMargin, double size, double trailingMargin, bool flexibleLeading,
                                  bool flexibleSize, bool flexibleTrailing);

}  // namespace platform::ui::detail
