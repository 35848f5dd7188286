// The layout pass: its order, what marks a view, autoresizing masks, and
// constraints solved for edges, centring, stacks, priorities, intrinsic
// sizes, the safe area and the visual format.

#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Rect;
using platform::Size;
using platform::ui::EdgeInsets;
using platform::ui::LayoutAttribute;
using platform::ui::LayoutConstraint;
using platform::ui::LayoutRelation;
using platform::ui::View;
using platform::ui::ViewAutoresizing;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

class LoggingView : public View {
public:
    LoggingView(Log& log, std::string name, const Rect& frame = {}) : View(frame), mLog(log), mName(std::move(name)) {}
    void layoutSubviews() override { mLog.push_back(mName); }

private:
    Log& mLog;
    std::string mName;
};

// A view whose content wants a size.
class Sized : public View {
public:
    explicit Sized(Size size) : mSize(size) { setTranslatesAutoresizingMaskIntoConstraints(false); }
    Size intrinsicContentSize() const override { return mSize; }
    void setSize(Size size) {
        mSize = size;
        invalidateIntrinsicContentSize();
    }

private:
    Size mSize;
};

std::shared_ptr<View> constrained() {
    auto view = std::make_shared<View>();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    return view;
}

void expectFrame(const View& view, const Rect& expected, const std::string& name) {
    const Rect f = view.frame();
    EXPECT_DOUBLE_EQ(f.x, expected.x) << name;
    EXPECT_DOUBLE_EQ(f.y, expected.y) << name;
    EXPECT_DOUBLE_EQ(f.width, expected.width) << name;
    EXPECT_DOUBLE_EQ(f.height, expected.height) << name;
}

}  // namespace

TEST(UiLayout, ThePassLaysOutMarkedViewsTopDownOnTheNextTurn) {
    testsupport::VirtualTime time;
    Log log;
    auto window = std::make_shared<Window>(Rect{0, 0, 300, 300});
    auto a = std::make_shared<LoggingView>(log, "a", Rect{0, 0, 100, 100});
    auto a1 = std::make_shared<LoggingView>(log, "a1");
    auto a2 = std::make_shared<LoggingView>(log, "a2");
    auto b = std::make_shared<LoggingView>(log, "b");
    a->addSubview(a1);
    a->addSubview(a2);
    window->addSubview(a);
    window->addSubview(b);
    EXPECT_EQ(log, Log{}) << "nothing until the main loop's turn";
    time.clock->advance({});
    EXPECT_EQ(log, (Log{"a", "a1", "a2", "b"})) << "parents first, siblings in order";

    log.clear();
    time.clock->advance({});
    EXPECT_EQ(log, Log{}) << "nothing marked, nothing laid out";

    a2->setNeedsLayout();
    a->setFrame({0, 0, 100, 100});  // the same size: no mark
    b->setFrame({0, 0, 50, 50});    // a new size: marked
    window->layoutIfNeeded();
    EXPECT_EQ(log, (Log{"a2", "b"}));

    log.clear();
    a1->addSubview(std::make_shared<View>());
    a1->layoutIfNeeded();
    EXPECT_EQ(log, Log{"a1"}) << "a new subview marks its superview";

    // Outside a window nothing is scheduled; layoutIfNeeded does it.
    log.clear();
    auto loose = std::make_shared<LoggingView>(log, "loose");
    loose->addSubview(std::make_shared<LoggingView>(log, "child"));
    time.clock->advance({});
    EXPECT_EQ(log, Log{});
    loose->layoutIfNeeded();
    EXPECT_EQ(log, (Log{"loose", "child"}));
}

TEST(UiLayout, AutoresizingMasksShareAChangeOfSize) {
    auto root = std::make_shared<View>(Rect{0, 0, 200, 100});
    struct Case {
        const char* name;
        ViewAutoresizing mask;
        Rect after;  // when the root grows from 200 x 100 to 300 x 160
    };
    const Rect start{20, 10, 100, 50};  // margins 20 | 100 | 80 and 10 | 50 | 40
    const Case cases[] = {
        {"fixed", ViewAutoresizing::none, {20, 10, 100, 50}},
        {"flexible width and height",
         ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight,
         {20, 10, 200, 110}},
        {"pinned to the right and bottom",
         ViewAutoresizing::flexibleLeftMargin | ViewAutoresizing::flexibleTopMargin,
         {120, 70, 100, 50}},
        {"width and right margin share by length (100 : 80)",
         ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleRightMargin,
         {20, 10, 100 + 100.0 * 100 / 180, 50}},
        {"both margins: stays centred in proportion",
         ViewAutoresizing::flexibleLeftMargin | ViewAutoresizing::flexibleRightMargin,
         {20 + 100.0 * 20 / 100, 10, 100, 50}},
    };
    std::vector<std::shared_ptr<View>> views;
    for (const Case& c : cases) {
        auto v = std::make_shared<View>(start);
        v->setAutoresizingMask(c.mask);
        root->addSubview(v);
        views.push_back(v);
    }
    root->setBounds({0, 0, 300, 160});
    for (std::size_t i = 0; i < views.size(); ++i) expectFrame(*views[i], cases[i].after, cases[i].name);

    root->setAutoresizesSubviews(false);
    root->setBounds({0, 0, 100, 100});
    expectFrame(*views[1], cases[1].after, "a superview that does not autoresize leaves them");
}

TEST(UiLayout, ConstraintsPinEdgesAndCentreAndFollowTheirSuperview) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 400, 300});
    auto container = std::make_shared<View>(Rect{0, 0, 400, 300});
    container->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    window->addSubview(container);
    auto pinned = constrained();
    auto centred = std::make_shared<Sized>(Size{60, 20});
    container->addSubview(pinned);
    container->addSubview(centred);
    LayoutConstraint::activateConstraints({
        pinned->leadingAnchor().constraintEqualToAnchor(container->leadingAnchor(), 10),
        pinned->trailingAnchor().constraintEqualToAnchor(container->trailingAnchor(), -10),
        pinned->topAnchor().constraintEqualToAnchor(container->topAnchor(), 20),
        pinned->heightAnchor().constraintEqualToConstant(44),
        centred->centerXAnchor().constraintEqualToAnchor(container->centerXAnchor()),
        centred->centerYAnchor().constraintEqualToAnchor(container->centerYAnchor()),
    });
    EXPECT_EQ(pinned->constraints().size(), 1u) << "a size of its own is held by the view";
    EXPECT_EQ(container->constraints().size(), 5u) << "the others by the nearest common ancestor";
    time.clock->advance({});
    expectFrame(*pinned, {10, 20, 380, 44}, "pinned");
    expectFrame(*centred, {170, 140, 60, 20}, "centred at its intrinsic size");

    window->setFrame({0, 0, 300, 500});
    time.clock->advance({});
    expectFrame(*pinned, {10, 20, 280, 44}, "follows its superview's new width");
    expectFrame(*centred, {120, 240, 60, 20}, "stays centred");

    centred->setSize({61, 21});
    window->layoutIfNeeded();
    expectFrame(*centred, {119.5, 239.5, 61, 21}, "a new intrinsic size, edges on half points at scale 2");

    // Taking the view out deactivates what tied it to the rest.
    pinned->removeFromSuperview();
    EXPECT_EQ(container->constraints().size(), 2u);
    EXPECT_EQ(pinned->constraints().size(), 1u) << "its own stays with it";
}

TEST(UiLayout, StacksOfConstraintsShareTheSpaceBetweenEdges) {
    auto root = std::make_shared<View>(Rect{0, 0, 100, 320});
    auto a = constrained();
    auto b = constrained();
    auto c = constrained();
    for (const auto& v : {a, b, c}) {
        root->addSubview(v);
        LayoutConstraint::activateConstraints({v->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor()),
                                               v->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor())});
    }
    // A column, 10 apart, equal heights, filling the root: (320 - 20) / 3.
    LayoutConstraint::activateConstraints({
        a->topAnchor().constraintEqualToAnchor(root->topAnchor()),
        b->topAnchor().constraintEqualToAnchor(a->bottomAnchor(), 10),
        c->topAnchor().constraintEqualToAnchor(b->bottomAnchor(), 10),
        c->bottomAnchor().constraintEqualToAnchor(root->bottomAnchor()),
        b->heightAnchor().constraintEqualToAnchor(a->heightAnchor()),
        c->heightAnchor().constraintEqualToAnchor(a->heightAnchor()),
    });
    root->layoutIfNeeded();
    expectFrame(*a, {0, 0, 100, 100}, "first");
    expectFrame(*b, {0, 110, 100, 100}, "second");
    expectFrame(*c, {0, 220, 100, 100}, "third");

    // Proportions: b twice as tall as a.
    auto twice = b->heightAnchor().constraintEqualToAnchor(a->heightAnchor(), 2, 0);
    twice->setPriority(900);
    LayoutConstraint::activateConstraints({twice});
    root->layoutIfNeeded();
    expectFrame(*b, {0, 110, 100, 100}, "the required equal heights hold over a weaker proportion");
    for (const auto& k : root->constraints()) {
        if (k->firstItem() == b && k->firstAttribute() == LayoutAttribute::height && k != twice) k->setActive(false);
    }
    root->layoutIfNeeded();
    expectFrame(*a, {0, 0, 100, 75}, "a: (300) = h + 2h + h");
    expectFrame(*b, {0, 85, 100, 150}, "b: twice a");
    expectFrame(*c, {0, 245, 100, 75}, "c: equal to a");
}

TEST(UiLayout, PrioritiesInequalitiesAndMultipliersDecideWhatHolds) {
    auto root = std::make_shared<View>(Rect{0, 0, 400, 400});
    auto v = constrained();
    root->addSubview(v);
    auto wide = v->widthAnchor().constraintEqualToAnchor(root->widthAnchor(), 1, -40);
    wide->setPriority(750);
    auto capped = v->widthAnchor().constraintLessThanOrEqualToConstant(200);
    auto centred = LayoutConstraint::constraintWithItem(v, LayoutAttribute::centerX, LayoutRelation::equal, root,
                                                        LayoutAttribute::centerX, 0.5, 0);
    LayoutConstraint::activateConstraints({
        wide,
        capped,
        v->heightAnchor().constraintEqualToAnchor(v->widthAnchor()),  // square
        v->leadingAnchor().constraintGreaterThanOrEqualToAnchor(root->leadingAnchor(), 20),
        centred,
        v->topAnchor().constraintEqualToAnchor(root->topAnchor()),
    });
    const auto brokenBefore = LayoutConstraint::brokenConstraintCount();
    root->layoutIfNeeded();
    // The centre is required at 400 / 2 * 0.5 = 100 and the leading edge
    // at 20 or more: the width can be 160 at most, below the cap; the
    // weaker 360 gives way.
    expectFrame(*v, {20, 0, 160, 160}, "required centre and edge");
    EXPECT_EQ(LayoutConstraint::brokenConstraintCount(), brokenBefore) << "no required constraint broke";

    centred->setPriority(500);
    root->layoutIfNeeded();
    expectFrame(*v, {20, 0, 200, 200}, "a weaker centre gives way to the width, capped at 200; the edge holds");

    capped->setConstant(500);
    root->layoutIfNeeded();
    expectFrame(*v, {20, 0, 360, 360}, "the cap allows the wanted width");

    // Free along an axis: a view keeps its place.
    auto free = constrained();
    root->addSubview(free);
    free->setFrame({5, 6, 7, 8});
    LayoutConstraint::activateConstraints({free->widthAnchor().constraintEqualToConstant(30)});
    root->layoutIfNeeded();
    expectFrame(*free, {5, 6, 30, 8}, "only the width is constrained");

    // Two required widths: the first activated holds, the other breaks.
    LayoutConstraint::activateConstraints({free->widthAnchor().constraintEqualToConstant(50)});
    root->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(free->frame().width, 30);
    EXPECT_EQ(LayoutConstraint::brokenConstraintCount(), brokenBefore + 1);

    EXPECT_THROW(LayoutConstraint::constraintWithItem(v, LayoutAttribute::top, LayoutRelation::equal, root,
                                                      LayoutAttribute::leading, 1, 0),
                 std::invalid_argument);
    EXPECT_THROW(LayoutConstraint::constraintWithItem(v, LayoutAttribute::top, LayoutRelation::equal, nullptr,
                                                      LayoutAttribute::notAnAttribute, 1, 10),
                 std::invalid_argument);
    auto stranger = constrained();
    EXPECT_THROW(v->topAnchor().constraintEqualToAnchor(stranger->topAnchor())->setActive(true), std::invalid_argument)
        << "views without a common ancestor";
}

TEST(UiLayout, TheSafeAreaAndTheVisualFormatPlaceViews) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    window->setSafeAreaInsets(EdgeInsets{47, 0, 34, 0});
    auto root = std::make_shared<View>();
    window->setRootView(root);
    auto column = constrained();
    root->addSubview(column);
    LayoutConstraint::activateConstraints({
        column->leadingAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->leadingAnchor(), 10),
        column->topAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->topAnchor()),
        column->bottomAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->bottomAnchor()),
        column->widthAnchor().constraintEqualToConstant(40),
    });
    time.clock->advance({});
    expectFrame(*column, {10, 47, 40, 844 - 47 - 34}, "inside the safe area");
    EXPECT_EQ(column->safeAreaInsets(), (EdgeInsets{0, 0, 0, 0}));
    EXPECT_EQ(root->safeAreaInsets(), (EdgeInsets{47, 0, 34, 0}));

    auto child = constrained();
    auto button = constrained();
    root->addSubview(child);
    root->addSubview(button);
    const std::map<std::string, std::shared_ptr<View>> views{{"child", child}, {"button", button}};
    const std::map<std::string, double> metrics{{"margin", 17.5}};
    LayoutConstraint::activateConstraints(LayoutConstraint::constraintsWithVisualFormat("|[child]|", {}, views));
    LayoutConstraint::activateConstraints(
        LayoutConstraint::constraintsWithVisualFormat("V:|-100-[child(50)]-[button(>=30)]", {}, views));
    LayoutConstraint::activateConstraints(
        LayoutConstraint::constraintsWithVisualFormat("[button(80)]-margin-|", metrics, views));
    time.clock->advance({});
    expectFrame(*child, {0, 100, 390, 50}, "child: edge to edge, 100 down, 50 high");
    expectFrame(*button, {292.5, 158, 80, 30}, "button: 8 below, 17.5 from the right, its least height");

    for (const char* bad : {"[nobody]", "|-[child", "[child]-", "H:[child(==)]", "|-x-[child]"}) {
        EXPECT_THROW(LayoutConstraint::constraintsWithVisualFormat(bad, {}, views), std::invalid_argument) << bad;
    }
}
