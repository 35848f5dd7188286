#include "platform/ui/views/StackView.h"

#include <algorithm>
#include <numeric>

namespace platform::ui {

namespace {

struct Item {
    double intrinsic;  // along the axis; negative: none
    double breadth;    // across it; negative: none
    LayoutPriority hugging;
    LayoutPriority compression;
    double length = 0;
};

// Gives `room` (positive: spare, negative: missing) to the items in order
// of `priority` (lowest first, later items first among equals), each taking
// what it can.
template <typename Priority>
void share(std::vector<Item>& items, double room, Priority priority) {
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return priority(items[a]) < priority(items[b]) || (priority(items[a]) == priority(items[b]) && a > b);
    });
    for (std::size_t i : order) {
        if (room >= 0) {
            items[i].length += room;
            return;
        }
        const double taken = std::min(items[i].length, -room);
        items[i].length -= taken;
        room += taken;
        if (room >= 0) return;
    }
}

void fill(std::vector<Item>& items, double room) {
    for (auto& item : items) item.length = std::max(0.0, item.intrinsic);
    const double slack = room - std::accumulate(items.begin(), items.end(), 0.0,
                                                [](double sum, const Item& i) { return sum + i.length; });
    if (slack > 0) {
        std::vector<Item*> open;
        for (auto& item : items) {
            if (item.intrinsic < 0) open.push_back(&item);
        }
        if (!open.empty()) {
            for (Item* item : open) item->length += slack / static_cast<double>(open.size());
            return;
        }
        share(items, slack, [](const Item& i) { return i.hugging; });
    } else if (slack < 0) {
        share(items, slack, [](const Item& i) { return i.compression; });
    }
}

// Gaps between consecutive items for equal spacing (none when short).
std::vector<double> equalGaps(std::vector<Item>& items, double along, double spacing) {
    const std::size_t n = items.size();
    double sum = 0;
    for (auto& item : items) sum += item.length = std::max(0.0, item.intrinsic);
    if (n < 2) return {};
    if (along - sum < spacing * static_cast<double>(n - 1)) {
        fill(items, along - spacing * static_cast<double>(n - 1));
        return std::vector<double>(n - 1, spacing);
    }
    return std::vector<double>(n - 1, (along - sum) / static_cast<double>(n - 1));
}

}  // namespace

StackView::StackView() = default;

StackView::StackView(const std::vector<std::shared_ptr<View>>& arrangedSubviews) : mArranged(arrangedSubviews) {
    std::erase(mArranged, nullptr);
}

std::shared_ptr<StackView> StackView::make(const std::vector<std::shared_ptr<View>>& arrangedSubviews) {
    auto stack = std::make_shared<StackView>(arrangedSubviews);
    stack->adoptArranged();
    return stack;
}

void StackView::adoptArranged() {
    for (const auto& view : std::vector<std::shared_ptr<View>>(mArranged)) {
        if (view->superview().get() != this) addSubview(view);
    }
}

void StackView::didMoveToSuperview() {
    View::didMoveToSuperview();
    adoptArranged();
}

void StackView::changed() {
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void StackView::subviewLayoutInputsChanged(View& subview) {
    View::subviewLayoutInputsChanged(subview);
    if (std::any_of(mArranged.begin(), mArranged.end(), [&](const auto& v) { return v.get() == &subview; })) changed();
}

void StackView::addArrangedSubview(const std::shared_ptr<View>& view) { insertArrangedSubview(view, mArranged.size()); }

void StackView::insertArrangedSubview(const std::shared_ptr<View>& view, std::size_t index) {
    if (!view) throw std::invalid_argument("A null view cannot be arranged");
    std::erase(mArranged, view);
    mArranged.insert(mArranged.begin() + static_cast<std::ptrdiff_t>(std::min(index, mArranged.size())), view);
    if (view->superview().get() != this) addSubview(view);
    changed();
}

void StackView::removeArrangedSubview(const View* view) {
    std::erase_if(mArranged, [view](const std::shared_ptr<View>& v) { return v.get() == view; });
    changed();
}

void StackView::willRemoveSubview(View& subview) {
    View::willRemoveSubview(subview);
    removeArrangedSubview(&subview);
}

void StackView::setAxis(LayoutConstraintAxis axis) {
    mAxis = axis;
    changed();
}

void StackView::setSpacing(double spacing) {
    mSpacing = spacing;
    changed();
}

void StackView::setDistribution(StackViewDistribution distribution) {
    mDistribution = distribution;
    changed();
}

void StackView::setAlignment(StackViewAlignment alignment) {
    mAlignment = alignment;
    changed();
}

std::vector<std::shared_ptr<View>> StackView::visibleArranged() const {
    std::vector<std::shared_ptr<View>> visible;
    for (const auto& view : mArranged) {
        if (!view->isHidden()) visible.push_back(view);
    }
    return visible;
}

Size StackView::intrinsicContentSize() const {
    const bool vertical = mAxis == LayoutConstraintAxis::vertical;
    const auto views = visibleArranged();
    double along = 0;
    double longest = 0;
    double across = 0;
    for (const auto& view : views) {
        const Size s = view->intrinsicContentSize();
        const double a = std::max(0.0, vertical ? s.height : s.width);
        along += a;
        longest = std::max(longest, a);
        across = std::max(across, vertical ? s.width : s.height);
    }
    if (mDistribution == StackViewDistribution::fillEqually) along = longest * static_cast<double>(views.size());
    if (!views.empty()) along += mSpacing * static_cast<double>(views.size() - 1);
    return vertical ? Size{across, along} : Size{along, across};
}

Size StackView::sizeThatFits(Size size) const {
    (void)size;
    return intrinsicContentSize();
}

void StackView::layoutSubviews() {
    adoptArranged();
    const auto views = visibleArranged();
    if (views.empty()) return;
    const bool vertical = mAxis == LayoutConstraintAxis::vertical;
    const LayoutConstraintAxis axis = mAxis;
    const Rect b = bounds();
    const double along = vertical ? b.height : b.width;
    const double across = vertical ? b.width : b.height;
    const std::size_t n = views.size();
    const double spacingTotal = mSpacing * static_cast<double>(n - 1);

    std::vector<Item> items;
    for (const auto& view : views) {
        const Size s = view->intrinsicContentSize();
        items.push_back(Item{vertical ? s.height : s.width, vertical ? s.width : s.height,
                             view->contentHuggingPriorityForAxis(axis),
                             view->contentCompressionResistancePriorityForAxis(axis)});
    }

    std::vector<double> gaps(n - 1, mSpacing);
    switch (mDistribution) {
        case StackViewDistribution::fill: fill(items, along - spacingTotal); break;
        case StackViewDistribution::fillEqually:
            for (auto& item : items) item.length = std::max(0.0, (along - spacingTotal) / static_cast<double>(n));
            break;
        case StackViewDistribution::fillProportionally: {
            double total = 0;
            for (const auto& item : items) total += std::max(0.0, item.intrinsic);
            for (auto& item : items) {
                const double share = total > 0 ? std::max(0.0, item.intrinsic) / total : 1.0 / static_cast<double>(n);
                item.length = std::max(0.0, (along - spacingTotal) * share);
            }
            break;
        }
        case StackViewDistribution::equalSpacing: gaps = equalGaps(items, along, mSpacing); break;
        case StackViewDistribution::equalCentering: {
            for (auto& item : items) item.length = std::max(0.0, item.intrinsic);
            bool fits = n > 1;
            if (fits) {
                const double step =
                    (along - items.front().length / 2 - items.back().length / 2) / static_cast<double>(n - 1);
                for (std::size_t i = 0; i + 1 < n; ++i) {
                    gaps[i] = step - items[i].length / 2 - items[i + 1].length / 2;
                    fits = fits && gaps[i] >= mSpacing - 1e-9;
                }
            }
            if (!fits) gaps = equalGaps(items, along, mSpacing);
            break;
        }
    }

    double position = vertical ? b.minY() : b.minX();
    const double start = vertical ? b.minX() : b.minY();
    for (std::size_t i = 0; i < n; ++i) {
        const Item& item = items[i];
        // A view never reaches past the stack's sides.
        double breadth =
            item.breadth < 0 || mAlignment == StackViewAlignment::fill ? across : std::min(item.breadth, across);
        double offset = 0;
        if (mAlignment == StackViewAlignment::center) offset = (across - breadth) / 2;
        if (mAlignment == StackViewAlignment::trailing) offset = across - breadth;
        const Rect frame = vertical ? Rect{start + offset, position, breadth, item.length}
                                    : Rect{position, start + offset, item.length, breadth};
        views[i]->setFrame(frame);
        position += item.length + (i + 1 < n ? gaps[i] : 0);
    }
}

}  // namespace platform::ui
