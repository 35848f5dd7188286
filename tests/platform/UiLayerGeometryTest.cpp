#include "platform/ui/core/Layer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

using platform::Point;
using platform::Rect;
using platform::ui::Layer;
using platform::ui::Transform3D;

namespace {

constexpr double pi = std::numbers::pi;

void expectRect(const Rect& actual, const Rect& expected, const std::string& name) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << name;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << name;
    EXPECT_NEAR(actual.width, expected.width, 1e-9) << name;
    EXPECT_NEAR(actual.height, expected.height, 1e-9) << name;
}

void expectPoint(Point actual, Point expected, const std::string& name) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << name;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << name;
}

std::shared_ptr<Layer> layerWithFrame(const Rect& frame) {
    auto layer = Layer::make();
    layer->setFrame(frame);
    return layer;
}

}  // namespace

TEST(UiLayerGeometry, FrameFollowsBoundsPositionAnchorAndTransform) {
    struct Case {
        const char* name;
        Rect bounds;
        Point position;
        Point anchor;
        Transform3D transform;
        Rect frame;
    };
    const Case cases[] = {
        {"centred anchor", {0, 0, 100, 50}, {200, 100}, {0.5, 0.5}, {}, {150, 75, 100, 50}},
        {"top-left anchor", {0, 0, 100, 50}, {200, 100}, {0, 0}, {}, {200, 100, 100, 50}},
        {"bottom-right anchor", {0, 0, 100, 50}, {200, 100}, {1, 1}, {}, {100, 50, 100, 50}},
        {"bounds origin does not move the frame", {30, 40, 100, 50}, {200, 100}, {0.5, 0.5}, {}, {150, 75, 100, 50}},
        {"scaled twice about the anchor",
         {0, 0, 100, 50},
         {200, 100},
         {0.5, 0.5},
         Transform3D::scale(2, 2),
         {100, 50, 200, 100}},
        {"scaled about a corner anchor",
         {0, 0, 100, 50},
         {200, 100},
         {0, 0},
         Transform3D::scale(2, 3),
         {200, 100, 200, 150}},
        {"quarter turn swaps the sides",
         {0, 0, 100, 50},
         {200, 100},
         {0.5, 0.5},
         Transform3D::rotationZ(pi / 2),
         {175, 50, 50, 100}},
        {"translation moves it",
         {0, 0, 100, 50},
         {200, 100},
         {0.5, 0.5},
         Transform3D::translation(5, -7),
         {155, 68, 100, 50}},
    };
    for (const auto& c : cases) {
        auto layer = Layer::make();
        layer->setBounds(c.bounds);
        layer->setPosition(c.position);
        layer->setAnchorPoint(c.anchor);
        layer->setTransform(c.transform);
        expectRect(layer->frame(), c.frame, c.name);
    }

    // Setting the frame sets the position for the anchor and the bounds'
    // size, keeping their origin.
    auto layer = Layer::make();
    layer->setBounds({7, 8, 1, 1});
    layer->setAnchorPoint({0.25, 1});
    layer->setFrame({10, 20, 40, 60});
    expectPoint(layer->position(), {20, 80}, "position from the frame");
    expectRect(layer->bounds(), {7, 8, 40, 60}, "bounds from the frame");
    expectRect(layer->frame(), {10, 20, 40, 60}, "frame read back");
}

TEST(UiLayerGeometry, HitTestingFindsTheFrontMostVisibleLayerThroughTransforms) {
    auto root = layerWithFrame({0, 0, 300, 300});
    auto a = layerWithFrame({10, 10, 100, 100});
    auto b = layerWithFrame({50, 50, 100, 100});
    a->setName("a");
    b->setName("b");
    root->addSublayer(a);
    root->addSublayer(b);

    // A bar 100 long and 20 wide turned upright about its centre (150, 250).
    auto bar = layerWithFrame({100, 240, 100, 20});
    bar->setTransform(Transform3D::rotationZ(pi / 2));
    root->addSublayer(bar);

    // A layer scaled twice about its top-left corner with a small child.
    auto scaled = Layer::make();
    scaled->setAnchorPoint({0, 0});
    scaled->setBounds({0, 0, 20, 20});
    scaled->setPosition({200, 10});
    scaled->setTransform(Transform3D::scale(2, 2));
    auto dot = layerWithFrame({15, 15, 5, 5});
    scaled->addSublayer(dot);
    root->addSublayer(scaled);

    EXPECT_EQ(root->hitTest({60, 60}), b) << "the later sibling is in front";
    EXPECT_EQ(root->hitTest({20, 20}), a);
    EXPECT_EQ(root->hitTest({250, 150}), root) << "no sublayer there";
    EXPECT_EQ(root->hitTest({310, 10}), nullptr) << "outside everything";
    EXPECT_EQ(root->hitTest({110, 110}), b) << "the maximum edge of a lies outside it";

    EXPECT_EQ(root->hitTest({150, 205}), bar) << "inside the turned bar";
    EXPECT_EQ(root->hitTest({190, 250}), root) << "where the bar lay before it turned";

    EXPECT_EQ(root->hitTest({235, 45}), dot) << "the child, scaled with its parent: 30..40";
    EXPECT_EQ(root->hitTest({225, 45}), scaled) << "the parent, not the child";

    a->setZPosition(1);
    EXPECT_EQ(root->hitTest({60, 60}), a) << "a higher z is in front of later siblings";
    a->setZPosition(0);

    b->setHidden(true);
    EXPECT_EQ(root->hitTest({60, 60}), a) << "a hidden layer is never hit";
    b->setHidden(false);

    // A sublayer reaching outside its parent is hit there unless the parent
    // masks to its bounds.
    auto parent = layerWithFrame({0, 200, 40, 40});
    auto child = layerWithFrame({30, 30, 40, 40});
    parent->addSublayer(child);
    root->addSublayer(parent);
    EXPECT_EQ(root->hitTest({60, 260}), child);
    parent->setMasksToBounds(true);
    EXPECT_EQ(root->hitTest({60, 260}), root);
    EXPECT_EQ(root->hitTest({35, 235}), child);
}

TEST(UiLayerGeometry, PointsAndRectsConvertBetweenLayersThroughTransforms) {
    auto root = layerWithFrame({0, 0, 400, 400});
    // A square turned a quarter about its centre (100, 100).
    auto turned = layerWithFrame({50, 50, 100, 100});
    turned->setTransform(Transform3D::rotationZ(pi / 2));
    root->addSublayer(turned);
    // Scaled twice about its centre (300, 300), with its bounds' origin
    // moved, and a child in it.
    auto scaled = layerWithFrame({250, 250, 100, 100});
    scaled->setBounds({10, 20, 100, 100});
    scaled->setTransform(Transform3D::scale(2, 2));
    root->addSublayer(scaled);
    auto child = layerWithFrame({10, 20, 10, 10});
    scaled->addSublayer(child);

    // The right middle of the turned square (100, 50 from its top-left,
    // 50 right of its centre) turns to below the centre.
    expectPoint(turned->convertPointToLayer({100, 50}, root.get()), {100, 150}, "turned to root");
    expectPoint(turned->convertPointFromLayer({100, 150}, root.get()), {100, 50}, "root to turned");
    expectPoint(turned->convertPointToLayer({100, 50}, nullptr), {100, 150}, "no layer means the top");

    // The child's top-left is the scaled layer's bounds origin, which is
    // its top-left on screen: 300 - 2 * 50.
    expectPoint(child->convertPointToLayer({0, 0}, root.get()), {200, 200}, "child's corner on screen");
    expectPoint(child->convertPointToLayer({10, 10}, root.get()), {220, 220}, "child's far corner");
    expectPoint(child->convertPointToLayer({0, 0}, turned.get()), turned->convertPointFromLayer({200, 200}, root.get()),
                "between two branches");

    const Rect inRoot = turned->convertRectToLayer({0, 0, 100, 20}, root.get());
    expectRect(inRoot, {130, 50, 20, 100}, "a strip turns upright");
    expectRect(turned->convertRectFromLayer(inRoot, root.get()), {0, 0, 100, 20}, "and back");

    // A layer squashed to nothing has no way back.
    auto flat = layerWithFrame({0, 0, 10, 10});
    flat->setTransform(Transform3D::scale(0, 1));
    root->addSublayer(flat);
    EXPECT_TRUE(std::isnan(flat->convertPointFromLayer({5, 5}, root.get()).x));
    EXPECT_EQ(root->hitTest({5, 5}), root) << "nor can it be hit";
}

TEST(UiLayerGeometry, TheTreeKeepsOneSuperlayerAndRefusesCycles) {
    auto root = Layer::make();
    auto a = Layer::make();
    auto b = Layer::make();
    auto c = Layer::make();
    root->addSublayer(a);
    root->addSublayer(b);
    root->insertSublayer(c, 1);
    ASSERT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{a, c, b}));

    root->insertSublayerAbove(a, b.get());
    EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{c, b, a}));
    root->insertSublayerBelow(a, c.get());
    EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{a, c, b}));
    root->insertSublayerAbove(c, c.get());
    EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{a, c, b})) << "above itself: nothing moves";

    // Moving a layer takes it from its old superlayer.
    c->addSublayer(b);
    EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{a, c}));
    EXPECT_EQ(b->superlayer(), c);

    auto d = Layer::make();
    root->replaceSublayer(a.get(), d);
    EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<Layer>>{d, c}));
    EXPECT_EQ(a->superlayer(), nullptr);
    EXPECT_EQ(d->superlayer(), root);

    EXPECT_THROW(b->addSublayer(root), std::invalid_argument);
    EXPECT_THROW(b->addSublayer(b), std::invalid_argument);
    EXPECT_THROW(root->addSublayer(nullptr), std::invalid_argument);
    EXPECT_EQ(b->superlayer(), c) << "a refused move changes nothing";

    // A layer whose only owner is its superlayer survives leaving it until
    // the caller lets go.
    std::weak_ptr<Layer> weakC = c;
    c.reset();
    weakC.lock()->removeFromSuperlayer();
    EXPECT_TRUE(weakC.expired());
    EXPECT_EQ(b->superlayer(), nullptr) << "its sublayers lose their superlayer with it";

    // The list handed out is a copy: walking it while removing is safe.
    for (const auto& sublayer : root->sublayers()) sublayer->removeFromSuperlayer();
    EXPECT_TRUE(root->sublayers().empty());
}

TEST(UiLayerGeometry, AChangeMarksEveryLayerAboveItUntilItLeavesThemOrTheyGo) {
    auto root = Layer::make();
    auto middle = Layer::make();
    auto leaf = Layer::make();
    root->addSublayer(middle);
    middle->addSublayer(leaf);
    struct Versions {
        std::uint64_t root, middle, leaf;
    };
    const auto versions = [&] { return Versions{root->treeVersion(), middle->treeVersion(), leaf->treeVersion()}; };

    Versions before = versions();
    leaf->setOpacity(0.5);
    Versions after = versions();
    EXPECT_GT(after.leaf, before.leaf);
    EXPECT_GT(after.middle, before.middle) << "one level up";
    EXPECT_GT(after.root, before.root) << "the top of the tree";

    // Moved under the root: its changes reach the root, not its old place.
    root->addSublayer(leaf);
    before = versions();
    leaf->setOpacity(0.25);
    after = versions();
    EXPECT_EQ(after.middle, before.middle);
    EXPECT_GT(after.root, before.root);

    // Gone from the tree: it changes alone.
    leaf->removeFromSuperlayer();
    before = versions();
    leaf->setOpacity(1);
    after = versions();
    EXPECT_EQ(after.root, before.root);
    EXPECT_GT(after.leaf, before.leaf);

    // A superlayer that goes while its sublayer lives on elsewhere: the
    // sublayer's changes reach nothing that has gone (the sanitizer pass
    // would see it), and it may join another tree.
    middle->addSublayer(leaf);
    middle->removeFromSuperlayer();
    middle.reset();
    EXPECT_EQ(leaf->superlayer(), nullptr);
    leaf->setOpacity(0.5);
    leaf->removeFromSuperlayer();
    root->addSublayer(leaf);
    EXPECT_EQ(leaf->superlayer(), root);
    const std::uint64_t joined = root->treeVersion();
    leaf->setOpacity(0.75);
    EXPECT_GT(root->treeVersion(), joined);
}
