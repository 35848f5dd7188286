#include "platform/ui/layout/detail/LayoutEngine.h"

#include "platform/ui/views/Screen.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/layout/detail/LinearSolver.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/views/detail/ViewAccess.h"

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
    explicit Engine(View& root) : mRoot(root) {}

    void solve() {
        collect(mRoot);
        if (mConstraints.empty()) return;
        for (const auto& c : mConstraints) {
            addParticipant(c->firstItem());
            addParticipant(c->secondItem());
        }
        std::vector<double> preferred;
        for (View* view : mParticipants) {
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
    void collect(View& view) {
        if (ViewAccess::subtreeConstraintCount(view) == 0) return;
        for (const auto& c : view.constraints()) mConstraints.push_back(c);
        for (const auto& subview : view.subviews()) collect(*subview);
    }

    void addParticipant(const std::shared_ptr<LayoutItem>& item) {
        View* view = dynamic_cast<View*>(item.get());
        if (!view) {
            if (auto* guide = dynamic_cast<LayoutGuide*>(item.get())) view = guide->owningView().get();
        }
        if (!view || view == &mRoot || view->translatesAutoresizingMaskIntoConstraints()) return;
        if (mIndex.emplace(view, mParticipants.size()).second) mParticipants.push_back(view);
    }

    // In the root's bounds coordinates, from the views' current geometry.
    Rect currentRect(const View& view) const {
        if (&view == &mRoot) return mRoot.bounds();
        const Rect r = ViewAccess::layoutRect(view);
        const auto super = view.superview();
        if (!super) return r;
        const Rect s = currentRect(*super);
        const Rect b = super->bounds();
        return {s.x - b.x + r.x, s.y - b.y + r.y, r.width, r.height};
    }

    const RectExpression& expressionOf(const View& view) {
        if (auto found = mExpressions.find(&view); found != mExpressions.end()) return found->second;
        RectExpression e;
        if (auto index = mIndex.find(&view); index != mIndex.end()) {
            const std::size_t base = 4 * index->second;
            e.x.addTerm(base, 1);
            e.y.addTerm(base + 1, 1);
            e.width.addTerm(base + 2, 1);
            e.height.addTerm(base + 3, 1);
        } else if (auto super = view.superview(); &view != &mRoot && super) {
            // Placed by its frame: follows its superview, resized by its
            // mask when the superview's size changes.
            const RectExpression s = expressionOf(*super);
            const Rect b = super->bounds();
            const Rect r = ViewAccess::layoutRect(view);
            const ViewAutoresizing mask =
                super->autoresizesSubviews() ? view.autoresizingMask() : ViewAutoresizing::none;
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
        if (auto* view = dynamic_cast<View*>(item.get())) {
            e = expressionOf(*view);
        } else if (auto* guide = dynamic_cast<LayoutGuide*>(item.get())) {
            const auto owner = guide->owningView();
            if (!owner) return {};
            e = expressionOf(*owner);
            const EdgeInsets insets = owner->safeAreaInsets();
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

    static void addIntrinsicSize(LinearSolver& solver, const View& view, std::size_t index) {
        const Size size = view.intrinsicContentSize();
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
            solver.add(e, LinearRelation::lessOrEqual, view.contentHuggingPriorityForAxis(axis.axis));
            solver.add(std::move(e), LinearRelation::greaterOrEqual,
                       view.contentCompressionResistancePriorityForAxis(axis.axis));
        }
    }

    // Edges to whole pixels of the screen, as the platform places views.
    void round(std::vector<double>& values) const {
        const auto window = mRoot.window();
        const auto screen = window ? window->screen() : Screen::mainScreen();
        const double scale = screen && screen->scale() > 0 ? screen->scale() : 1;
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
            View& view = *mParticipants[i];
            const auto super = view.superview();
            if (!super) continue;
            const Rect b = super->bounds();
            const RectExpression& s = expressionOf(*super);
            const Rect frame{values[4 * i] - s.x.evaluate(values) + b.x, values[4 * i + 1] - s.y.evaluate(values) + b.y,
                             values[4 * i + 2], values[4 * i + 3]};
            if (!std::isfinite(frame.x) || !std::isfinite(frame.y) || !std::isfinite(frame.width) ||
                !std::isfinite(frame.height) || frame == ViewAccess::layoutRect(view)) {
                continue;
            }
            ViewAccess::setLayoutRect(view, frame);
            super->setNeedsLayout();
        }
    }

    View& mRoot;
    std::vector<std::shared_ptr<LayoutConstraint>> mConstraints;
    std::vector<View*> mParticipants;
    std::unordered_map<const View*, std::size_t> mIndex;
    std::unordered_map<const View*, RectExpression> mExpressions;
};

void layoutBelow(View& root, View& view) {
    const std::shared_ptr<View> keep = view.sharedView();
    const bool marked = ViewAccess::needsLayout(view);
    ViewAccess::needsLayout(view) = false;
    ViewAccess::subtreeNeedsLayout(view) = false;
    if (marked) {
        controllerWillLayout(view);
        view.layoutSubviews();
        controllerDidLayout(view);
        // What it moved may move what constraints place below.
        solveLayoutIfNeeded(root);
    }
    for (const auto& subview : std::vector<std::shared_ptr<View>>(view.subviews())) {
        if (ViewAccess::needsLayout(*subview) || ViewAccess::subtreeNeedsLayout(*subview)) layoutBelow(root, *subview);
    }
}

}  // namespace

std::uint64_t layoutEpoch() { return gEpoch; }

void bumpLayoutEpoch() { ++gEpoch; }

void solveLayoutIfNeeded(View& root) {
    if (ViewAccess::subtreeConstraintCount(root) == 0 || ViewAccess::solvedEpoch(root) == gEpoch) return;
    Engine(root).solve();
    // What the solve moved is its own doing, not a change to solve again.
    ViewAccess::solvedEpoch(root) = gEpoch;
}

void runLayoutPass(View& root) {
    const std::shared_ptr<View> keep = root.sharedView();
    for (int round = 0; round < kMaximumLayoutRounds; ++round) {
        solveLayoutIfNeeded(root);
        if (!ViewAccess::needsLayout(root) && !ViewAccess::subtreeNeedsLayout(root)) return;
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
