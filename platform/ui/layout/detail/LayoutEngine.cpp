#include "platform/ui/layout/detail/LayoutEngine.h"

#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/layout/detail/LinearSolver.h"

#include <cmath>
#include <unordered_map>

namespace platform::ui::detail {

namespace {

std::uint64_t gEpoch = 1;

// A layout pass that keeps marking views gives up after this many rounds.
constexpr int kMaximumLayoutRounds = 16;

// A view's rectangle (untransformed, as constraints see it) in the
// coordinates of the root's bounds, as linear expressions of the variables.
struct RectExpression {
    LinearExpression x, y, width, height;
};

class Engine {
public:
    explicit Engine(LayoutNode& root) : mRoot(root) {}

    void solve() {
        collect(mRoot);
        if (mConstraints.empty()) return;
        for (const auto& c : mConstraints) {
            addParticipant(c->firstItem());
            addParticipant(c->secondItem());
        }
        std::vector<double> preferred;
        for (LayoutNode* view : mParticipants) {
            const Rect r = currentRect(*view);
            preferred.insert(preferred.end(), {r.x, r.y, r.width, r.height});
        }
        LinearSolver solver(std::move(preferred));
        for (const auto& c : mConstraints) addConstraint(solver, *c);
        for (std::size_t i = 0; i < mParticipants.size(); ++i) addIntrinsicSize(solver, *mParticipants[i], i);
        std::vector<double> values = solver.solve();
        countBrokenConstraints(solver.brokenRequired());
        round(values);
        apply(values);
    }

private:
    void collect(LayoutNode& view) {
        if (view.nodeSubtreeConstraintCount() == 0) return;
        for (const auto& c : view.nodeConstraints()) mConstraints.push_back(c);
        for (const auto& subview : view.nodeSubviews()) collect(*subview);
    }

    void addParticipant(const std::shared_ptr<LayoutItem>& item) {
        LayoutNode* view = dynamic_cast<LayoutNode*>(item.get());
        if (!view) {
            if (auto* guide = dynamic_cast<LayoutGuide*>(item.get())) view = guide->owningNode().get();
        }
        if (!view || view == &mRoot || view->nodeTranslatesAutoresizingMask()) return;
        if (mIndex.emplace(view, mParticipants.size()).second) mParticipants.push_back(view);
    }

    // In the root's bounds coordinates, from the views' current geometry.
    Rect currentRect(const LayoutNode& view) const {
        if (&view == &mRoot) return mRoot.nodeBounds();
        const Rect r = view.nodeLayoutRect();
        const auto super = view.nodeSuperview();
        if (!super) return r;
        const Rect s = currentRect(*super);
        const Rect b = super->nodeBounds();
        return {s.x - b.x + r.x, s.y - b.y + r.y, r.width, r.height};
    }

    const RectExpression& expressionOf(const LayoutNode& view) {
        if (auto found = mExpressions.find(&view); found != mExpressions.end()) return found->second;
        RectExpression e;
        if (auto index = mIndex.find(&view); index != mIndex.end()) {
            const std::size_t base = 4 * index->second;
            e.x.addTerm(base, 1);
            e.y.addTerm(base + 1, 1);
            e.width.addTerm(base + 2, 1);
            e.height.addTerm(base + 3, 1);
        } else if (auto super = view.nodeSuperview(); &view != &mRoot && super) {
            // Placed by its frame: follows its superview, resized by its
            // mask when the superview's size changes.
            const RectExpression s = expressionOf(*super);
            const Rect b = super->nodeBounds();
            const Rect r = view.nodeLayoutRect();
            const ViewAutoresizing mask =
                super->nodeAutoresizesSubviews() ? view.nodeAutoresizingMask() : ViewAutoresizing::none;
            const auto h = autoresizeShares(
                r.x, r.width, b.width - r.x - r.width, hasFlag(mask, ViewAutoresizing::flexibleLeftMargin),
                hasFlag(mask, ViewAutoresizing::flexibleWidth), hasFlag(mask, ViewAutoresizing::flexibleRightMargin));
            const auto v = autoresizeShares(
                r.y, r.height, b.height - r.y - r.height, hasFlag(mask, ViewAutoresizing::flexibleTopMargin),
                hasFlag(mask, ViewAutoresizing::flexibleHeight), hasFlag(mask, ViewAutoresizing::flexibleBottomMargin));
            LinearExpression dw = s.width;
            dw.constant -= b.width;
            LinearExpression dh = s.height;
            dh.constant -= b.height;
            e.x = s.x;
            e.x.constant += r.x - b.x;
            e.x.add(dw, h.leadingMargin);
            e.y = s.y;
            e.y.constant += r.y - b.y;
            e.y.add(dh, v.leadingMargin);
            e.width.constant = r.width;
            e.width.add(dw, h.size);
            e.height.constant = r.height;
            e.height.add(dh, v.size);
        } else {
            const Rect r = currentRect(view);
            e.x.constant = r.x;
            e.y.constant = r.y;
            e.width.constant = r.width;
            e.height.constant = r.height;
        }
        return mExpressions.emplace(&view, std::move(e)).first->second;
    }

    LinearExpression attributeOf(const std::shared_ptr<LayoutItem>& item, LayoutAttribute attribute) {
        RectExpression e;
        if (auto* view = dynamic_cast<LayoutNode*>(item.get())) {
            e = expressionOf(*view);
        } else if (auto* guide = dynamic_cast<LayoutGuide*>(item.get())) {
            const auto owner = guide->owningNode();
            if (!owner) return {};
            e = expressionOf(*owner);
            const EdgeInsets insets = owner->nodeSafeAreaInsets();
            e.x.constant += insets.left;
            e.y.constant += insets.top;
            e.width.constant -= insets.left + insets.right;
            e.height.constant -= insets.top + insets.bottom;
        }
        switch (attribute) {
            case LayoutAttribute::left:
            case LayoutAttribute::leading: return e.x;
            case LayoutAttribute::top: return e.y;
            case LayoutAttribute::width: return e.width;
            case LayoutAttribute::height: return e.height;
            case LayoutAttribute::right:
            case LayoutAttribute::trailing: return along(e.x, e.width, 1);
            case LayoutAttribute::bottom: return along(e.y, e.height, 1);
            case LayoutAttribute::centerX: return along(e.x, e.width, 0.5);
            case LayoutAttribute::centerY: return along(e.y, e.height, 0.5);
            case LayoutAttribute::notAnAttribute: break;
        }
        return {};
    }

    // The point a fraction of the way along an edge.
    static LinearExpression along(const LinearExpression& start, const LinearExpression& size, double fraction) {
        LinearExpression out = start;
        out.add(size, fraction);
        return out;
    }

    static LinearRelation relationOf(LayoutRelation r) {
        return r == LayoutRelation::equal             ? LinearRelation::equal
               : r == LayoutRelation::lessThanOrEqual ? LinearRelation::lessOrEqual
                                                      : LinearRelation::greaterOrEqual;
    }

    void addConstraint(LinearSolver& solver, const LayoutConstraint& c) {
        const auto first = c.firstItem();
        if (!first) return;
        LinearExpression e = attributeOf(first, c.firstAttribute());
        if (const auto second = c.secondItem()) e.add(attributeOf(second, c.secondAttribute()), -c.multiplier());
        e.constant -= c.constant();
        if (e.terms.empty()) return;  // relates nothing the engine places
        solver.add(std::move(e), relationOf(c.relation()), c.priority());
    }

    static void addIntrinsicSize(LinearSolver& solver, const LayoutNode& view, std::size_t index) {
        const Size size = view.nodeIntrinsicContentSize();
        const struct {
            double value;
            std::size_t variable;
            LayoutConstraintAxis axis;
        } axes[] = {{size.width, 4 * index + 2, LayoutConstraintAxis::horizontal},
                    {size.height, 4 * index + 3, LayoutConstraintAxis::vertical}};
        for (const auto& axis : axes) {
            if (!(axis.value >= 0) || !std::isfinite(axis.value)) continue;
            LinearExpression e;
            e.addTerm(axis.variable, 1);
            e.constant = -axis.value;
            solver.add(e, LinearRelation::lessOrEqual, view.nodeHugging(axis.axis));
            solver.add(std::move(e), LinearRelation::greaterOrEqual, view.nodeCompressionResistance(axis.axis));
        }
    }

    // Edges to whole pixels of the screen, as the platform places views.
    void round(std::vector<double>& values) const {
        const double scale = mRoot.nodeScreenScale();
        auto snap = [scale](double v) { return std::round(v * scale) / scale; };
        for (std::size_t i = 0; i + 3 < values.size(); i += 4) {
            for (std::size_t axis = 0; axis < 2; ++axis) {
                const double start = values[i + axis];
                const double end = start + values[i + 2 + axis];
                if (!std::isfinite(start) || !std::isfinite(end)) continue;
                values[i + axis] = snap(start);
                values[i + 2 + axis] = std::max(0.0, snap(end) - snap(start));
            }
        }
    }

    void apply(const std::vector<double>& values) {
        for (std::size_t i = 0; i < mParticipants.size(); ++i) {
            LayoutNode& view = *mParticipants[i];
            const auto super = view.nodeSuperview();
            if (!super) continue;
            const Rect b = super->nodeBounds();
            const RectExpression& s = expressionOf(*super);
            const Rect frame{values[4 * i] - s.x.evaluate(values) + b.x, values[4 * i + 1] - s.y.evaluate(values) + b.y,
                             values[4 * i + 2], values[4 * i + 3]};
            if (!std::isfinite(frame.x) || !std::isfinite(frame.y) || !std::isfinite(frame.width) ||
                !std::isfinite(frame.height) || frame == view.nodeLayoutRect()) {
                continue;
            }
            view.setNodeLayoutRect(frame);
            super->setNodeNeedsLayout();
        }
    }

    LayoutNode& mRoot;
    std::vector<std::shared_ptr<LayoutConstraint>> mConstraints;
    std::vector<LayoutNode*> mParticipants;
    std::unordered_map<const LayoutNode*, std::size_t> mIndex;
    std::unordered_map<const LayoutNode*, RectExpression> mExpressions;
};

void layoutBelow(LayoutNode& root, LayoutNode& view) {
    const std::shared_ptr<View> keep = view.nodeView();
    const bool marked = view.nodeNeedsLayout();
    view.clearNodeLayoutMarks();
    if (marked) {
        // layoutSubviews, with the view's controller told before and after.
        view.layOutNode();
        // What it moved may move what constraints place below.
        solveLayoutIfNeeded(root);
    }
    for (const auto& subview : view.nodeSubviews()) {
        if (subview->nodeNeedsLayout() || subview->nodeSubtreeNeedsLayout()) layoutBelow(root, *subview);
    }
}

}  // namespace

std::uint64_t layoutEpoch() { return gEpoch; }

void bumpLayoutEpoch() { ++gEpoch; }

void solveLayoutIfNeeded(LayoutNode& root) {
    if (root.nodeSubtreeConstraintCount() == 0 || root.nodeSolvedEpoch() == gEpoch) return;
    Engine(root).solve();
    // What the solve moved is its own doing, not a change to solve again.
    root.setNodeSolvedEpoch(gEpoch);
}

void runLayoutPass(LayoutNode& root) {
    const std::shared_ptr<View> keep = root.nodeView();
    for (int round = 0; round < kMaximumLayoutRounds; ++round) {
        solveLayoutIfNeeded(root);
        if (!root.nodeNeedsLayout() && !root.nodeSubtreeNeedsLayout()) return;
        layoutBelow(root, root);
    }
}

AutoresizeShares autoresizeShares(double leadingMargin, double size, double trailingMargin, bool flexibleLeading,
                                  bool flexibleSize, bool flexibleTrailing) {
    const int count = int(flexibleLeading) + int(flexibleSize) + int(flexibleTrailing);
    if (count == 0) return {};
    const double l = flexibleLeading ? std::max(0.0, leadingMargin) : 0;
    const double s = flexibleSize ? std::max(0.0, size) : 0;
    const double t = flexibleTrailing ? std::max(0.0, trailingMargin) : 0;
    const double total = l + s + t;
    if (!(total > 0) || !std::isfinite(total)) {
        return {flexibleLeading ? 1.0 / count : 0, flexibleSize ? 1.0 / count : 0};
    }
    return {l / total, s / total};
}

}  // namespace platform::ui::detail
