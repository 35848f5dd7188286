// Views as a tree: hit testing (through transforms, past hidden, disabled
// and transparent views), conversions between views and windows, the order
// of subviews against their layers, moves and their hooks, tints, and the
// find helpers.

#include "platform/ui/core/Layer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

using platform::AffineTransform;
using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::TintAdjustmentMode;
using platform::ui::View;
using platform::ui::Window;

namespace {

std::shared_ptr<View> viewAt(const Rect& frame, const std::string& name) {
    auto view = std::make_shared<View>(frame);
    view->setAccessibilityIdentifier(name);
    return view;
}

std::string hitName(View& root, Point p) {
    auto hit = root.hitTest(p, nullptr);
    return hit ? hit->accessibilityIdentifier() : "none";
}

void expectPoint(Point actual, Point expected, const std::string& name) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << name;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << name;
}

// Records the hooks a view hears, in order.
class HookView : public View {
public:
    explicit HookView(std::vector<std::string>& log, std::string name) : mLog(log), mName(std::move(name)) {}
    void willMoveToSuperview(View* s) override {
        mLog.push_back(mName + " willMoveToSuperview " + (s ? "some" : "none"));
    }
    void didMoveToSuperview() override { mLog.push_back(mName + " didMoveToSuperview"); }
    void willMoveToWindow(Window* w) override { mLog.push_back(mName + " willMoveToWindow " + (w ? "some" : "none")); }
    void didMoveToWindow() override { mLog.push_back(mName + " didMoveToWindow " + (window() ? "some" : "none")); }
    void tintColorDidChange() override { mLog.push_back(mName + " tint"); }

private:
    std::vector<std::string>& mLog;
    std::string mName;
};

class Special : public View {};

}  // namespace

TEST(UiViewTree, HitTestingFindsTheFrontMostEnabledVisibleViewThroughTransforms) {
    // root 0..400; a at (100,100) 100x100; b inside a at (50,50) 100x100
    // (half outside a); c on top of a, rotated a quarter turn.
    auto root = viewAt({0, 0, 400, 400}, "root");
    auto a = viewAt({100, 100, 100, 100}, "a");
    auto b = viewAt({50, 50, 100, 100}, "b");
    auto c = viewAt({250, 100, 100, 40}, "c");  // centre (300, 120)
    root->addSubview(a);
    a->addSubview(b);
    root->addSubview(c);
    c->setTransform(AffineTransform::rotation(std::numbers::pi / 2));  // now 40 wide, 100 tall about (300, 120)

    struct Case {
        const char* name;
        Point point;
        const char* hit;
    };
    const Case open[] = {
        {"inside a only", {120, 120}, "a"},
        {"inside b, within a", {170, 170}, "b"},
        {"b outside its superview's bounds is not hit", {220, 220}, "root"},
        {"rotated c, along its turned length", {300, 165}, "c"},
        {"rotated c, beyond its turned width", {330, 120}, "root"},
        {"outside the root", {450, 10}, "none"},
        {"the root's maximum edge is outside", {400, 10}, "none"},
    };
    for (const Case& k : open) EXPECT_EQ(hitName(*root, k.point), k.hit) << k.name;

    b->setHidden(true);
    EXPECT_EQ(hitName(*root, {170, 170}), "a") << "a hidden view is skipped";
    b->setHidden(false);
    b->setUserInteractionEnabled(false);
    EXPECT_EQ(hitName(*root, {170, 170}), "a") << "a view that takes no touches is skipped";
    b->setUserInteractionEnabled(true);
    b->setAlpha(0.009);
    EXPECT_EQ(hitName(*root, {170, 170}), "a") << "a nearly transparent view is skipped";
    b->setAlpha(0.01);
    EXPECT_EQ(hitName(*root, {170, 170}), "b") << "alpha 0.01 still takes touches";
    a->setUserInteractionEnabled(false);
    EXPECT_EQ(hitName(*root, {170, 170}), "root") << "a disabled view's subviews are skipped with it";

    // A scaled superview: a point maps through the scale to its subview.
    a->setUserInteractionEnabled(true);
    a->setTransform(AffineTransform::scale(2, 2));  // a now covers 50..250
    EXPECT_EQ(hitName(*root, {60, 60}), "a");
    EXPECT_EQ(hitName(*root, {160, 160}), "b") << "a's (105, 105) is inside b";
}

TEST(UiViewTree, PointsAndRectanglesConvertBetweenViewsAndWindows) {
    auto window = std::make_shared<Window>(Rect{10, 20, 300, 600});  // placed on the screen at (10, 20)
    auto a = viewAt({100, 50, 100, 100}, "a");
    auto b = viewAt({10, 10, 50, 50}, "b");
    window->addSubview(a);
    a->addSubview(b);
    a->setBounds({-20, 0, 100, 100});  // a scrolls: its content moves right by 20

    expectPoint(b->convertPointToView({0, 0}, nullptr), {130, 60}, "to the window");
    expectPoint(b->convertPointToView({0, 0}, window.get()), {130, 60}, "to the window by name");
    expectPoint(a->convertPointFromView({130, 60}, nullptr), {10, 10}, "from the window");
    expectPoint(b->convertPointToView({5, 5}, a.get()), {15, 15}, "to the superview");
    expectPoint(a->convertPointToView({15, 15}, b.get()), {5, 5}, "the other way");

    a->setTransform(AffineTransform::scale(2, 2));  // about a's centre, (150, 100) in the window
    // b's origin is (10, 10) in a's coordinates, whose bounds centre is
    // (30, 50): (-20, -40) from it, doubled (-40, -80) from (150, 100).
    expectPoint(b->convertPointToView({0, 0}, nullptr), {110, 20}, "through a scale");
    const Rect r = b->convertRectToView({0, 0, 50, 50}, nullptr);
    EXPECT_NEAR(r.width, 100, 1e-9);
    EXPECT_NEAR(r.height, 100, 1e-9);
    expectPoint(r.origin(), {110, 20}, "a rectangle through a scale");

    // Another window elsewhere on the screen: points go through the screen.
    auto other = std::make_shared<Window>(Rect{200, 300, 100, 100});
    auto c = viewAt({5, 5, 10, 10}, "c");
    other->addSubview(c);
    a->setTransform(AffineTransform::identity());
    // b's (0,0) is (130, 60) in its window, (140, 80) on the screen,
    // (-60, -220) in the other window, (-65, -225) in c.
    expectPoint(b->convertPointToView({0, 0}, c.get()), {-65, -225}, "across windows");

    // Outside a window, null means the top of the tree.
    auto loose = viewAt({0, 0, 100, 100}, "loose");
    auto inner = viewAt({30, 40, 10, 10}, "inner");
    loose->addSubview(inner);
    loose->setCenter({500, 500});
    expectPoint(inner->convertPointToView({1, 1}, nullptr), {31, 41}, "to the top view's own coordinates");
}

TEST(UiViewTree, SubviewsKeepTheirOrderWithTheirLayersAndOtherSublayers) {
    auto root = viewAt({0, 0, 100, 100}, "root");
    auto a = viewAt({}, "a");
    auto b = viewAt({}, "b");
    auto c = viewAt({}, "c");
    auto d = viewAt({}, "d");
    auto extra = platform::ui::Layer::make();
    root->addSubview(a);
    root->layer()->addSublayer(extra);  // a plain layer above a
    root->addSubview(b);
    root->insertSubview(c, 1);                    // a c b
    root->insertSubviewBelowSubview(d, a.get());  // d a c b
    root->insertSubviewAboveSubview(a, c.get());  // d c a b
    auto names = [&] {
        std::string s;
        for (const auto& v : root->subviews()) s += v->accessibilityIdentifier();
        return s;
    };
    EXPECT_EQ(names(), "dcab");
    // Layers follow the subviews; the extra layer stays between the views
    // it was between (above a's old place, below b).
    auto indexOf = [&](const platform::ui::Layer* l) {
        const auto layers = root->layer()->sublayers();
        return std::find_if(layers.begin(), layers.end(), [&](const auto& x) { return x.get() == l; }) - layers.begin();
    };
    EXPECT_LT(indexOf(d->layer().get()), indexOf(c->layer().get()));
    EXPECT_LT(indexOf(c->layer().get()), indexOf(a->layer().get()));
    EXPECT_LT(indexOf(a->layer().get()), indexOf(b->layer().get()));
    EXPECT_LT(indexOf(extra.get()), indexOf(b->layer().get()));

    root->bringSubviewToFront(d.get());
    EXPECT_EQ(names(), "cabd");
    EXPECT_EQ(root->layer()->sublayers().back(), d->layer());
    root->sendSubviewToBack(b.get());
    EXPECT_EQ(names(), "bcad");
    EXPECT_LT(indexOf(b->layer().get()), indexOf(c->layer().get()));
    root->insertSubview(a, 99);
    EXPECT_EQ(names(), "bcda") << "an index beyond the end appends";

    EXPECT_THROW(a->addSubview(root), std::invalid_argument) << "a view cannot go below itself";
    EXPECT_THROW(a->addSubview(a), std::invalid_argument);
    EXPECT_THROW(a->addSubview(nullptr), std::invalid_argument);

    c->removeFromSuperview();
    EXPECT_EQ(names(), "bda");
    EXPECT_EQ(c->superview(), nullptr);
    EXPECT_EQ(c->layer()->superlayer(), nullptr);

    // A view that goes leaves the subviews held elsewhere without a
    // superview and their layers without a superlayer; its layer, held
    // too, keeps only the layers that were not its subviews', in order.
    auto many = viewAt({}, "many");
    auto tail = platform::ui::Layer::make();
    for (int i = 0; i < 300; ++i) many->addSubview(viewAt({}, "x"));
    many->addSubview(a);
    many->layer()->addSublayer(extra);
    many->addSubview(c);
    many->layer()->addSublayer(tail);
    const auto manyLayer = many->layer();
    many.reset();
    for (const auto* v : {a.get(), c.get()}) {
        EXPECT_EQ(v->superview(), nullptr);
        EXPECT_EQ(v->layer()->superlayer(), nullptr);
    }
    EXPECT_EQ(extra->superlayer(), manyLayer);
    EXPECT_EQ(manyLayer->sublayers(), (std::vector<std::shared_ptr<platform::ui::Layer>>{extra, tail}));
}

TEST(UiViewTree, MovesCallTheirHooksInOrderAndTintsFollowTheTree) {
    std::vector<std::string> log;
    auto window = std::make_shared<Window>(Rect{0, 0, 100, 100});
    auto outer = std::make_shared<HookView>(log, "outer");
    auto inner = std::make_shared<HookView>(log, "inner");
    outer->addSubview(inner);
    window->setTintColor(Color{1, 0, 0, 1});
    log.clear();

    window->addSubview(outer);
    const std::vector<std::string> added{
        "outer willMoveToSuperview some",
        "outer willMoveToWindow some",
        "inner willMoveToWindow some",
        "outer didMoveToWindow some",
        "inner didMoveToWindow some",
        "outer didMoveToSuperview",
        "outer tint",
        "inner tint",
    };
    EXPECT_EQ(log, added);
    EXPECT_EQ(inner->tintColor(), (Color{1, 0, 0, 1})) << "the tint is inherited";

    log.clear();
    inner->setTintColor(Color{0, 0, 1, 1});
    outer->setTintAdjustmentMode(TintAdjustmentMode::dimmed);
    EXPECT_EQ(log, (std::vector<std::string>{"inner tint", "outer tint", "inner tint"}));
    EXPECT_EQ(inner->tintAdjustmentMode(), TintAdjustmentMode::dimmed) << "the mode in force is inherited";
    const Color dimmed = inner->tintColor();
    EXPECT_NEAR(dimmed.red, 0.0722, 1e-9) << "dimmed is the luminance of blue";
    EXPECT_EQ(dimmed.red, dimmed.green);
    EXPECT_EQ(dimmed.alpha, 1);

    log.clear();
    outer->removeFromSuperview();
    EXPECT_EQ(log, (std::vector<std::string>{"outer willMoveToSuperview none", "outer willMoveToWindow none",
                                             "inner willMoveToWindow none", "outer didMoveToWindow none",
                                             "inner didMoveToWindow none", "outer didMoveToSuperview", "outer tint"}))
        << "inner keeps its own tint, so only outer's changes";
    EXPECT_EQ(outer->window(), nullptr);
    EXPECT_EQ(window->window(), window) << "a window's window is itself";
}

TEST(UiViewTree, FindHelpersSearchDepthFirstBelowTheView) {
    auto root = viewAt({}, "root");
    auto a = viewAt({}, "a");
    auto a1 = std::make_shared<Special>();
    a1->setAccessibilityIdentifier("a1");
    a1->setTag(7);
    auto b = std::make_shared<Special>();
    b->setAccessibilityIdentifier("b");
    b->setTag(7);
    root->addSubview(a);
    a->addSubview(a1);
    root->addSubview(b);
    root->setTag(3);

    std::string order;
    for (const auto& v : root->allDescendants()) order += v->accessibilityIdentifier() + " ";
    EXPECT_EQ(order, "a a1 b ");
    const auto specials = root->findViews<Special>();
    ASSERT_EQ(specials.size(), 2u);
    EXPECT_EQ(specials[0], a1);
    EXPECT_EQ(root->findView<Special>(), a1);
    EXPECT_EQ(a1->findView<Special>(), nullptr) << "the view itself is not among those below it";
    EXPECT_EQ(root->viewWithTag(7), a1);
    EXPECT_EQ(root->viewWithTag(3), root) << "viewWithTag includes the view itself";
    EXPECT_EQ(root->viewWithTag(99), nullptr);
    EXPECT_EQ(root->findViewWithAccessibilityIdentifier("b"), b);
    EXPECT_EQ(root->findViewWithAccessibilityIdentifier("root"), nullptr);
    EXPECT_EQ(b->className(), "(anonymous namespace)::Special");
    EXPECT_EQ(root->className(), "View");
}
