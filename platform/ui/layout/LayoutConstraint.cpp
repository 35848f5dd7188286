#include "platform/ui/layout/LayoutConstraint.h"

#include "platform/ui/layout/detail/LayoutEngine.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace platform::ui {

namespace {

std::atomic<std::uint64_t> gBroken{0};

enum class Kind { none, x, y, size };

Kind kindOf(LayoutAttribute a) {
    switch (a) {
        case LayoutAttribute::left:
        case LayoutAttribute::right:
        case LayoutAttribute::leading:
        case LayoutAttribute::trailing:
        case LayoutAttribute::centerX: return Kind::x;
        case LayoutAttribute::top:
        case LayoutAttribute::bottom:
        case LayoutAttribute::centerY: return Kind::y;
        case LayoutAttribute::width:
        case LayoutAttribute::height: return Kind::size;
        case LayoutAttribute::notAnAttribute: return Kind::none;
    }
    return Kind::none;
}

// The view an item is placed with: the view itself, or a guide's view.
std::shared_ptr<LayoutNode> viewOf(const std::shared_ptr<LayoutItem>& item) {
    if (!item) return nullptr;
    if (auto view = std::dynamic_pointer_cast<LayoutNode>(item)) return view;
    if (auto guide = std::dynamic_pointer_cast<LayoutGuide>(item)) return guide->owningNode();
    return nullptr;
}

// True for the view itself too (View::isDescendantOfView).
bool isDescendant(const LayoutNode& view, const LayoutNode* ancestor) {
    for (const LayoutNode* v = &view; v;) {
        if (v == ancestor) return true;
        auto super = v->nodeSuperview();
        v = super.get();
    }
    return false;
}

std::shared_ptr<LayoutNode> commonAncestor(const std::shared_ptr<LayoutNode>& a, const std::shared_ptr<LayoutNode>& b) {
    if (!b) return a;
    for (auto v = a; v; v = v->nodeSuperview()) {
        if (isDescendant(*b, v.get())) return v;
    }
    return nullptr;
}

std::shared_ptr<LayoutNode> holderFor(const LayoutConstraint& c) {
    const auto first = viewOf(c.firstItem());
    const auto second = viewOf(c.secondItem());
    if (!first || (c.secondItem() && !second)) {
        throw std::invalid_argument("A constraint whose items have gone cannot be activated");
    }
    auto holder = commonAncestor(first, second);
    if (!holder)
        throw std::invalid_argument("A constraint between views without a common ancestor cannot be activated");
    return holder;
}

// --- the visual format -----------------------------------------------------

constexpr double kStandardSpacing = 8;
constexpr double kStandardEdgeSpacing = 20;

struct Predicate {
    LayoutRelation relation = LayoutRelation::equal;
    double constant = 0;
    LayoutPriority priority = kLayoutPriorityRequired;
};

class FormatReader {
public:
    FormatReader(std::string_view format, const std::map<std::string, double>& metrics,
                 const std::map<std::string, std::shared_ptr<LayoutNode>>& views)
        : mText(format), mMetrics(metrics), mViews(views) {}

    std::vector<std::shared_ptr<LayoutConstraint>> read() {
        bool vertical = false;
        if (mText.starts_with("V:")) {
            vertical = true;
            mPos = 2;
        } else if (mText.starts_with("H:")) {
            mPos = 2;
        }
        const LayoutAttribute leading = vertical ? LayoutAttribute::top : LayoutAttribute::leading;
        const LayoutAttribute trailing = vertical ? LayoutAttribute::bottom : LayoutAttribute::trailing;
        const LayoutAttribute size = vertical ? LayoutAttribute::height : LayoutAttribute::width;

        std::vector<std::shared_ptr<LayoutConstraint>> made;
        std::shared_ptr<LayoutNode> previous;  // null: the superview's edge, or nothing yet
        bool edgeBefore = false;
        if (accept('|')) edgeBefore = true;
        std::optional<std::vector<Predicate>> spacing;
        if (edgeBefore) spacing = readConnection(true).value_or(std::vector<Predicate>{Predicate{}});
        if (peek() != '[') fail("a view was expected");
        while (peek() == '[') {
            auto [view, sizes] = readView();
            for (const Predicate& p : sizes) {
                made.push_back(make(view, size, p.relation, nullptr, LayoutAttribute::notAnAttribute, p));
            }
            if (spacing) {
                for (const Predicate& p : *spacing) {
                    if (previous) {
                        made.push_back(make(view, leading, p.relation, previous, trailing, p));
                    } else {
                        made.push_back(make(view, leading, p.relation, superviewOf(view), leading, p));
                    }
                }
            }
            previous = view;
            spacing = readConnection(false);
            if (accept('|')) {
                if (!spacing) spacing = std::vector<Predicate>{Predicate{}};
                for (const Predicate& p : *spacing) {
                    made.push_back(make(superviewOf(view), trailing, p.relation, view, trailing, p));
                }
                spacing.reset();
                break;
            }
            if (peek() == '\0') {
                if (spacing) fail("a connection leads nowhere");
                break;
            }
            if (!spacing) spacing = std::vector<Predicate>{Predicate{}};
            if (peek() != '[') fail("a view was expected after a connection");
        }
        if (mPos != mText.size()) fail("unexpected text");
        return made;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw std::invalid_argument("Visual format \"" + std::string(mText) + "\" at " + std::to_string(mPos) + ": " +
                                    why);
    }
    char peek() const { return mPos < mText.size() ? mText[mPos] : '\0'; }
    bool accept(char c) {
        if (peek() != c) return false;
        ++mPos;
        return true;
    }
    void expect(char c) {
        if (accept(c)) return;
        std::string message = "'";
        message += c;
        fail(message + "' was expected");
    }

    std::string readName() {
        const std::size_t start = mPos;
        while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_') ++mPos;
        if (start == mPos) fail("a name was expected");
        return std::string(mText.substr(start, mPos - start));
    }

    double readConstant() {
        const char c = peek();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const std::string name = readName();
            const auto found = mMetrics.find(name);
            if (found == mMetrics.end()) fail("no metric named " + name);
            return found->second;
        }
        const std::string rest(mText.substr(mPos));
        char* end = nullptr;
        const double value = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str()) fail("a number or a metric was expected");
        mPos += static_cast<std::size_t>(end - rest.c_str());
        return value;
    }

    Predicate readPredicate() {
        Predicate p;
        if (mText.substr(mPos).starts_with("==")) {
            mPos += 2;
        } else if (mText.substr(mPos).starts_with(">=")) {
            mPos += 2;
            p.relation = LayoutRelation::greaterThanOrEqual;
        } else if (mText.substr(mPos).starts_with("<=")) {
            mPos += 2;
            p.relation = LayoutRelation::lessThanOrEqual;
        }
        p.constant = readConstant();
        if (accept('@')) p.priority = static_cast<LayoutPriority>(readConstant());
        return p;
    }

    std::vector<Predicate> readPredicateList() {
        std::vector<Predicate> list{readPredicate()};
        while (accept(',')) list.push_back(readPredicate());
        return list;
    }

    // None when there is no connection (the items touch).
    std::optional<std::vector<Predicate>> readConnection(bool fromEdge) {
        if (!accept('-')) return std::nullopt;
        if (peek() == '[' || peek() == '|') {
            // A bare dash: the standard space (or "[view]-|", towards the edge).
            return std::vector<Predicate>{Predicate{LayoutRelation::equal,
                                                    fromEdge || peek() == '|' ? kStandardEdgeSpacing : kStandardSpacing,
                                                    kLayoutPriorityRequired}};
        }
        std::vector<Predicate> list;
        if (accept('(')) {
            list = readPredicateList();
            expect(')');
        } else {
            list.push_back(Predicate{LayoutRelation::equal, readConstant(), kLayoutPriorityRequired});
        }
        expect('-');
        return list;
    }

    std::pair<std::shared_ptr<LayoutNode>, std::vector<Predicate>> readView() {
        expect('[');
        const std::string name = readName();
        const auto found = mViews.find(name);
        if (found == mViews.end() || !found->second) fail("no view named " + name);
        std::vector<Predicate> sizes;
        if (accept('(')) {
            sizes = readPredicateList();
            expect(')');
        }
        expect(']');
        return {found->second, sizes};
    }

    std::shared_ptr<LayoutNode> superviewOf(const std::shared_ptr<LayoutNode>& view) const {
        auto super = view->nodeSuperview();
        if (!super) fail("an edge needs the view to have a superview");
        return super;
    }

    static std::shared_ptr<LayoutConstraint> make(const std::shared_ptr<LayoutNode>& a, LayoutAttribute aa,
                                                  LayoutRelation relation, const std::shared_ptr<LayoutNode>& b,
                                                  LayoutAttribute ba, const Predicate& p) {
        auto c = LayoutConstraint::constraintWithItem(a, aa, relation, b, ba, 1, p.constant);
        c->setPriority(p.priority);
        return c;
    }

    std::string_view mText;
    std::size_t mPos = 0;
    const std::map<std::string, double>& mMetrics;
    const std::map<std::string, std::shared_ptr<LayoutNode>>& mViews;
};

}  // namespace

// --- items and guides ------------------------------------------------------

LayoutXAxisAnchor LayoutItem::leadingAnchor() { return {layoutItemPointer(), LayoutAttribute::leading}; }
LayoutXAxisAnchor LayoutItem::trailingAnchor() { return {layoutItemPointer(), LayoutAttribute::trailing}; }
LayoutXAxisAnchor LayoutItem::leftAnchor() { return {layoutItemPointer(), LayoutAttribute::left}; }
LayoutXAxisAnchor LayoutItem::rightAnchor() { return {layoutItemPointer(), LayoutAttribute::right}; }
LayoutXAxisAnchor LayoutItem::centerXAnchor() { return {layoutItemPointer(), LayoutAttribute::centerX}; }
LayoutYAxisAnchor LayoutItem::topAnchor() { return {layoutItemPointer(), LayoutAttribute::top}; }
LayoutYAxisAnchor LayoutItem::bottomAnchor() { return {layoutItemPointer(), LayoutAttribute::bottom}; }
LayoutYAxisAnchor LayoutItem::centerYAnchor() { return {layoutItemPointer(), LayoutAttribute::centerY}; }
LayoutDimension LayoutItem::widthAnchor() { return {layoutItemPointer(), LayoutAttribute::width}; }
LayoutDimension LayoutItem::heightAnchor() { return {layoutItemPointer(), LayoutAttribute::height}; }

LayoutGuide::LayoutGuide(std::weak_ptr<LayoutNode> owningView, std::string identifier)
    : mOwningView(std::move(owningView)), mIdentifier(std::move(identifier)) {}

std::shared_ptr<View> LayoutGuide::owningView() const {
    const auto view = owningNode();
    return view ? view->nodeView() : nullptr;
}

Rect LayoutGuide::layoutFrame() const {
    const auto view = owningNode();
    return view ? insetRect(view->nodeBounds(), view->nodeSafeAreaInsets()) : Rect{};
}

// --- constraints -----------------------------------------------------------

LayoutConstraint::LayoutConstraint(const std::shared_ptr<LayoutItem>& item, LayoutAttribute attribute,
                                   LayoutRelation relation, const std::shared_ptr<LayoutItem>& toItem,
                                   LayoutAttribute toAttribute, double multiplier, double constant)
    : mFirstItem(item),
      mFirstAttribute(attribute),
      mRelation(relation),
      mSecondItem(toItem),
      mSecondAttribute(toAttribute),
      mMultiplier(multiplier),
      mConstant(constant) {
    if (!item) throw std::invalid_argument("A constraint needs a first item");
    const Kind first = kindOf(attribute);
    const Kind second = kindOf(toAttribute);
    if (first == Kind::none) throw std::invalid_argument("A constraint needs an attribute of its first item");
    if (!toItem != (second == Kind::none)) {
        throw std::invalid_argument("A constraint's second item and attribute go together");
    }
    if (!toItem && first != Kind::size) throw std::invalid_argument("Only a width or a height can equal a constant");
    if (toItem && (first == Kind::size) != (second == Kind::size)) {
        throw std::invalid_argument("A position cannot be related to a size");
    }
    if (toItem && first != Kind::size && first != second) {
        throw std::invalid_argument("A horizontal position cannot be related to a vertical one");
    }
}

std::shared_ptr<LayoutConstraint> LayoutConstraint::constraintWithItem(
    const std::shared_ptr<LayoutItem>& item, LayoutAttribute attribute, LayoutRelation relation,
    const std::shared_ptr<LayoutItem>& toItem, LayoutAttribute toAttribute, double multiplier, double constant) {
    return std::make_shared<LayoutConstraint>(item, attribute, relation, toItem, toAttribute, multiplier, constant);
}

std::vector<std::shared_ptr<LayoutConstraint>> LayoutConstraint::constraintsWithVisualFormat(
    std::string_view format, const std::map<std::string, double>& metrics,
    const std::map<std::string, std::shared_ptr<LayoutNode>>& views) {
    return FormatReader(format, metrics, views).read();
}

void LayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    std::vector<std::shared_ptr<LayoutNode>> holders;
    holders.reserve(constraints.size());
    for (const auto& c : constraints) holders.push_back(c ? holderFor(*c) : nullptr);
    for (std::size_t i = 0; i < constraints.size(); ++i) {
        if (constraints[i] && !constraints[i]->isActive()) holders[i]->holdConstraint(constraints[i]);
    }
}

void LayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) {
        if (c) c->setActive(false);
    }
}

std::uint64_t LayoutConstraint::brokenConstraintCount() { return gBroken.load(); }

void LayoutConstraint::setConstant(double constant) {
    if (constant == mConstant) return;
    mConstant = constant;
    changed();
}

void LayoutConstraint::setPriority(LayoutPriority priority) {
    priority = std::clamp(priority, LayoutPriority{1}, kLayoutPriorityRequired);
    if (priority == mPriority) return;
    mPriority = priority;
    changed();
}

void LayoutConstraint::setActive(bool active) {
    if (active == isActive()) return;
    if (active) {
        holderFor(*this)->holdConstraint(shared_from_this());
    } else if (auto holder = mHolder.lock()) {
        holder->releaseConstraint(shared_from_this());
    }
}

void LayoutConstraint::changed() {
    detail::bumpLayoutEpoch();
    if (auto holder = mHolder.lock()) holder->requestLayoutPass();
}

std::shared_ptr<LayoutConstraint> LayoutAnchor::constrain(LayoutRelation relation, const LayoutAnchor* other,
                                                          double multiplier, double constant) const {
    const auto first = item();
    if (!first) throw std::invalid_argument("An anchor whose item has gone makes no constraint");
    std::shared_ptr<LayoutItem> second;
    if (other) {
        second = other->item();
        if (!second) throw std::invalid_argument("An anchor whose item has gone makes no constraint");
    }
    return LayoutConstraint::constraintWithItem(first, mAttribute, relation, second,
                                                other ? other->mAttribute : LayoutAttribute::notAnAttribute, multiplier,
                                                constant);
}

namespace detail {

void countBrokenConstraints(std::size_t count) { gBroken += count; }

}  // namespace detail

}  // namespace platform::ui
