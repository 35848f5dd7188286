// Which element a long press finds: pixel-exact hits through an image of
// the element alone, layers in drawing order, the higher element number on
// top within a layer, hidden layers and hidden tunnels passed over, parts
// of an element left of and above its position, and the document left as
// it was whatever display edits the search applied.

#include <gtest/gtest.h>

#include <string>

#include "LayoutModule/ElementInfo/VKMElementInfoViewController.h"
#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/LayoutBounds.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/controllers/ViewController.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/LayoutModule/LayoutScreenSupport.h"

namespace {

// Elements by product number; "A" on the top layer overlaps "B" below it,
// "C" and "D" overlap on one layer (D added later), "ARC" is a quarter
// circle, "TURNED" a bar turned back over its position, "TUNNEL" a track in
// a tunnel, "HIDDEN" lies on a hidden layer.
const char* const kHitTestScenario = R"(version 13
param grid off
layer "Top"
rect size=100,100 at=0,0 product=A
layer "Bottom"
rect size=100,100 at=50,50 product=B
rect size=100,100 at=300,0 product=C
rect size=100,100 at=350,0 product=D
curve radius=360 sweep=90 at=0,600 angle=0 product=ARC
rect size=200,20 at=900,300 angle=135 product=TURNED
straight length=200 at=0,1200 angle=0 tunnel=0,100 product=TUNNEL
layer "Hidden" hidden
rect size=100,100 at=1200,1200 product=HIDDEN
)";

CCompositeGeometry* Element(CLayout& layout, const std::string& product) {
    for (CCompositeGeometry* element : layout.GetElements()) {
        if (product == element->GetProductNumber()) return element;
    }
    ADD_FAILURE() << "no element " << product;
    return nullptr;
}

tDoubleRect Box(CCompositeGeometry* element) { return UElementVectorOperations::GetBoundingBox({element}); }

platform::Point Centre(const tDoubleRect& box) { return {(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2}; }

std::string Found(CLayout& layout, platform::Point point, const tTransientEditActions& actions = {}) {
    CCompositeGeometry* element = VKMLayoutElementHitTestHelper::findElementAtPosition(point, layout, actions);
    return element ? element->GetProductNumber() : "(none)";
}

}  // namespace

TEST(HitTest, PicksTheElementDrawnOnTopAtEachPoint) {
    layouttest::RegisterServices();
    auto layout = layouttest::LoadScenario(kHitTestScenario, "hits.wkst");
    CLayout& plan = *layout;
    const tDoubleRect a = Box(Element(plan, "A"));
    const tDoubleRect b = Box(Element(plan, "B"));
    const tDoubleRect d = Box(Element(plan, "D"));
    const tDoubleRect arc = Box(Element(plan, "ARC"));

    const struct {
        const char* name;
        platform::Point point;
        const char* expected;
    } cases[] = {
        {"inside A alone", {a.minX + 10, a.minY + 10}, "A"},
        {"A over B: the earlier layer wins", {(a.maxX + b.minX) / 2, (a.maxY + b.minY) / 2}, "A"},
        {"inside B alone", {b.maxX - 10, b.maxY - 10}, "B"},
        {"C and D on one layer: the later one wins", {d.minX + 20, d.minY + 50}, "D"},
        {"inside the arc's box but off the track", Centre(arc), "(none)"},
        {"far from everything", {2000, 2000}, "(none)"},
        {"on the hidden layer", Centre(Box(Element(plan, "HIDDEN"))), "(none)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Found(plan, c.point), c.expected) << c.name;

    // Turned in place, the bar reaches left of its position: it is found
    // there too, along the edge of its box, and nowhere outside the box.
    CCompositeGeometry* turned = Element(plan, "TURNED");
    turned->SetAngle(200);
    tDoubleRect own;
    turned->CalcBoundingBox(own);
    ASSERT_LT(own.minX, -5);
    const CPoint position = turned->GetPosition();
    int leftHits = 0;
    for (double y = position.y + own.minY; y <= position.y + own.maxY; y += 1) {
        if (Found(plan, {position.x + own.minX + 2, y}) == "TURNED") ++leftHits;
        EXPECT_EQ(Found(plan, {position.x + own.minX - 3, y}), "(none)") << y;
    }
    EXPECT_GT(leftHits, 3);

    // On the arc itself it is found.
    CCompositeGeometry* curve = Element(plan, "ARC");
    const platform::Point start{curve->GetPosition().x + 5, curve->GetPosition().y};
    EXPECT_EQ(Found(plan, start), "ARC");

    // Tunnels: found while shown, never while hidden.
    const platform::Point tunnel = Centre(Box(Element(plan, "TUNNEL")));
    plan.GetParameters().mTunnelDisplayMode = 0;
    EXPECT_EQ(Found(plan, tunnel), "TUNNEL");
    plan.GetParameters().mTunnelDisplayMode = VKMLayoutElementHitTestHelper::kTunnelsHidden;
    EXPECT_EQ(Found(plan, tunnel), "(none)");
}

TEST(HitTest, SearchesTheDocumentAsShownAndLeavesItAsItWas) {
    layouttest::RegisterServices();
    auto layout = layouttest::LoadScenario(kHitTestScenario, "edits.wkst");
    CLayout& plan = *layout;
    const layouttest::tDocumentState before(plan);
    const platform::Point onA = {Box(Element(plan, "A")).minX + 10, Box(Element(plan, "A")).minY + 10};
    const platform::Point tunnel = Centre(Box(Element(plan, "TUNNEL")));

    // Tracks only: the shapes are not there to be found; hidden tunnels:
    // neither is the tunnel.
    CTracksOnlyEditAction tracksOnly;
    CHideTunnelsEditAction hideTunnels;
    EXPECT_EQ(Found(plan, onA, {&tracksOnly}), "(none)");
    EXPECT_EQ(Found(plan, tunnel, {&tracksOnly}), "TUNNEL");
    EXPECT_EQ(Found(plan, tunnel, {&tracksOnly, &hideTunnels}), "(none)");
    EXPECT_TRUE(layouttest::tDocumentState(plan) == before);
    EXPECT_EQ(Found(plan, onA), "A");

    // An element without a drawable component is passed over, not drawn.
    CCompositeGeometry broken;
    broken.GetComponents().push_back(nullptr);
    EXPECT_FALSE(VKMLayoutElementHitTestHelper::performHitTestForElement(broken, onA));
    broken.GetComponents().clear();
}

TEST(HitTest, ALongPressOnAnElementShowsItsInformationUnlessTheSceneCannotBeMade) {
    layouttest::ScreenFixture screen;
    screen.show(platform::ui::UserInterfaceIdiom::tablet);
    screen.open(kHitTestScenario, "press.wkst");
    // The information is presented by the tab bar at the root, as in the app.
    auto tabs = std::make_shared<platform::ui::TabBarController>();
    tabs->setViewControllers({screen.controller});
    screen.window->setRootViewController(tabs);
    screen.window->layoutIfNeeded();
    platform::ui::TabBarController& controller = *tabs;
    CCompositeGeometry* a = Element(screen.layout(), "A");
    const tDoubleRect box = Box(a);
    const double zoom = screen.zoom();
    const platform::Point press{screen.controller->contentOffset().x + zoom * (box.minX + box.maxX) / 2,
                                screen.controller->contentOffset().y + zoom * (box.minY + box.maxY) / 2};
    const tElements elements = screen.layout().GetElements();

    screen.synth->longPress(press, 0.8);
    screen.synth->wait(1);
    auto shown = std::dynamic_pointer_cast<VKMElementInfoViewController>(controller.presentedViewController());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->element(), a);
    EXPECT_EQ(shown->modalPresentationStyle(), platform::ui::ModalPresentationStyle::popover);
    EXPECT_EQ(screen.layout().GetElements(), elements);
    controller.dismissViewController(false);

    // A press on empty space shows nothing.
    screen.synth->longPress({5, screen.window->bounds().height - 5}, 0.8);
    screen.synth->wait(1);
    EXPECT_EQ(controller.presentedViewController(), nullptr);

    // A scene that cannot be made, or of another class: nothing is shown.
    using platform::ui::Storyboard;
    Storyboard::removeScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutItemDetailsId);
    screen.synth->longPress(press, 0.8);
    screen.synth->wait(1);
    EXPECT_EQ(controller.presentedViewController(), nullptr);
    Storyboard::registerScene(VKMLayoutScenes::kStoryboard, VKMLayoutScenes::kLayoutItemDetailsId,
                              [] { return std::make_shared<platform::ui::ViewController>(); });
    screen.synth->longPress(press, 0.8);
    screen.synth->wait(1);
    EXPECT_EQ(controller.presentedViewController(), nullptr);
    VKMLayoutScenes::registerScenes();
}
