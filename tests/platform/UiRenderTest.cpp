// Compositing checked on pixels we can reason about, and against the same
// drawing made straight into a context (never against stored images).

#include "platform/graphics/BitmapContext.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"
#include "platform/ui/core/detail/AnimationRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Context;
using platform::Path;
using platform::Pixel;
using platform::Rect;
using platform::ui::BasicAnimation;
using platform::ui::ContentsGravity;
using platform::ui::GradientLayer;
using platform::ui::Layer;
using platform::ui::LayerDelegate;
using platform::ui::RenderOptions;
using platform::ui::ShapeLayer;
using platform::ui::TextLayer;
using platform::ui::Transform3D;

namespace {

constexpr double pi = std::numbers::pi;
const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Color kGreen{0, 1, 0, 1};

std::unique_ptr<BitmapContext> render(Layer& root, int width, int height, double scale = 1, double time = 0) {
    auto context = BitmapContext::create(width, height, scale);
    platform::ui::renderLayerTree(root, *context, RenderOptions{time, scale});
    return context;
}

Pixel at(const BitmapContext& context, int x, int y) { return context.pixel(x, y).value_or(Pixel{1, 2, 3, 4}); }

std::shared_ptr<Layer> filled(const Rect& frame, const Color& color) {
    auto layer = Layer::make();
    layer->setFrame(frame);
    layer->setBackgroundColor(color);
    return layer;
}

std::shared_ptr<ShapeLayer> strokedPath(const Path& path, double width) {
    auto shape = ShapeLayer::make();
    shape->setPath(path);
    shape->setFillColor(Color::clear());
    shape->setStrokeColor(kRed);
    shape->setLineWidth(width);
    return shape;
}

class CountingDrawer : public LayerDelegate {
public:
    void drawLayer(Layer& layer, Context& context) override {
        ++draws;
        context.setFillColor(kBlue);
        context.fillRect(layer.bounds());
    }
    int draws = 0;
};

}  // namespace

TEST(UiRender, PartialStrokesCoverTheirShareOfThePathsLength) {
    Path line;
    line.moveTo({0, 10});
    line.lineTo({100, 10});
    auto half = strokedPath(line, 4);
    half->setStrokeEnd(0.5);
    auto bitmap = render(*half, 100, 20);
    EXPECT_EQ(at(*bitmap, 10, 10), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(*bitmap, 49, 10), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(*bitmap, 50, 10).alpha, 0) << "the stroke ends at half its length";
    EXPECT_EQ(at(*bitmap, 90, 10).alpha, 0);

    half->setStrokeStart(0.25);
    half->setStrokeEnd(0.75);
    bitmap = render(*half, 100, 20);
    EXPECT_EQ(at(*bitmap, 24, 10).alpha, 0);
    EXPECT_EQ(at(*bitmap, 25, 10).alpha, 255);
    EXPECT_EQ(at(*bitmap, 74, 10).alpha, 255);
    EXPECT_EQ(at(*bitmap, 75, 10).alpha, 0);

    // A ring from the top, clockwise, half drawn: the right half.
    Path ring;
    ring.addArc({50, 50}, 40, -pi / 2, 3 * pi / 2, true);
    auto sector = strokedPath(ring, 10);
    sector->setStrokeEnd(0.5);
    bitmap = render(*sector, 100, 100);
    const double s = std::sin(pi / 6) * 40;
    const double c = std::cos(pi / 6) * 40;
    EXPECT_EQ(at(*bitmap, 90, 50).alpha, 255) << "right";
    EXPECT_EQ(at(*bitmap, int(50 + c), int(50 + s)).alpha, 255) << "lower right";
    EXPECT_EQ(at(*bitmap, int(50 + c), int(50 - s)).alpha, 255) << "upper right";
    EXPECT_EQ(at(*bitmap, 10, 50).alpha, 0) << "left";
    EXPECT_EQ(at(*bitmap, int(50 - c), int(50 + s)).alpha, 0) << "lower left";

    // The fill is never cut.
    auto disc = ShapeLayer::make();
    Path circle;
    circle.addEllipseInRect({10, 10, 80, 80});
    disc->setPath(circle);
    disc->setFillColor(kBlue);
    disc->setStrokeEnd(0);
    bitmap = render(*disc, 100, 100);
    EXPECT_EQ(at(*bitmap, 20, 50), (Pixel{0, 0, 255, 255}));
}

TEST(UiRender, OpacityFadesALayerAndItsSublayersAsOne) {
    auto parent = Layer::make();
    parent->setFrame({0, 0, 30, 10});
    parent->addSublayer(filled({0, 0, 20, 10}, kRed));
    parent->addSublayer(filled({10, 0, 20, 10}, kRed));
    parent->setOpacity(0.5);
    auto bitmap = render(*parent, 30, 10);
    EXPECT_EQ(at(*bitmap, 5, 5).alpha, 128);
    EXPECT_EQ(at(*bitmap, 15, 5).alpha, 128) << "the overlap is no darker";
    EXPECT_EQ(at(*bitmap, 25, 5).alpha, 128);

    // A lone layer with a background and a border fades as one too: the
    // border does not show the background through it.
    auto framed = filled({0, 0, 30, 10}, kRed);
    framed->setBorderWidth(2);
    framed->setBorderColor(kBlue);
    framed->setOpacity(0.5);
    bitmap = render(*framed, 30, 10);
    EXPECT_EQ(at(*bitmap, 0, 5), (Pixel{0, 0, 255, 128}));
    EXPECT_EQ(at(*bitmap, 15, 5), (Pixel{255, 0, 0, 128}));

    // Hidden layers and fully transparent ones draw nothing.
    framed->setOpacity(0);
    EXPECT_EQ(at(*render(*framed, 30, 10), 15, 5).alpha, 0);
    framed->setOpacity(1);
    framed->setHidden(true);
    EXPECT_EQ(at(*render(*framed, 30, 10), 15, 5).alpha, 0);
}

TEST(UiRender, CornersBordersAndMasksClip) {
    // Rounded corners cut the background and, when masking, the sublayers;
    // the border lies inside the bounds, above the sublayers.
    auto card = filled({0, 0, 40, 40}, kRed);
    card->setCornerRadius(10);
    card->addSublayer(filled({0, 0, 40, 20}, kBlue));
    card->setBorderWidth(3);
    card->setBorderColor(kGreen);
    auto bitmap = render(*card, 40, 40);
    EXPECT_EQ(at(*bitmap, 1, 1), (Pixel{0, 0, 255, 255})) << "the sublayer is not clipped yet";
    EXPECT_EQ(at(*bitmap, 20, 1), (Pixel{0, 255, 0, 255})) << "the border covers the sublayer";
    EXPECT_EQ(at(*bitmap, 1, 38).alpha, 0) << "the background's corner is cut";
    EXPECT_EQ(at(*bitmap, 20, 30), (Pixel{255, 0, 0, 255}));
    card->setMasksToBounds(true);
    bitmap = render(*card, 40, 40);
    EXPECT_EQ(at(*bitmap, 1, 1).alpha, 0) << "now the sublayer's corner is cut";
    EXPECT_EQ(at(*bitmap, 20, 10), (Pixel{0, 0, 255, 255}));

    // A mask layer's alpha cuts the layer: a disc of the square.
    auto square = filled({0, 0, 40, 40}, kRed);
    auto disc = ShapeLayer::make();
    Path circle;
    circle.addEllipseInRect({0, 0, 40, 40});
    disc->setPath(circle);
    square->setMask(disc);
    bitmap = render(*square, 80, 80, 2);
    EXPECT_EQ(at(*bitmap, 40, 40), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(*bitmap, 3, 3).alpha, 0);
    EXPECT_EQ(disc->superlayer(), nullptr) << "a mask has no superlayer";
}

TEST(UiRender, AWideShadowMadeAtFewerPixelsStillFallsOffAsTheGaussian) {
    auto root = Layer::make();
    root->setFrame({0, 0, 300, 300});
    auto box = filled({100, 100, 100, 100}, kBlue);
    box->setShadowOpacity(1);
    box->setShadowRadius(20);
    box->setShadowOffset({0, 0});
    root->addSublayer(box);
    // 40 pixels of deviation at scale 2: made at fewer pixels.
    const auto bitmap = render(*root, 600, 600, 2);
    // Right of the box's middle: the Gaussian's tail beyond an edge, 0.988
    // of it along a side of five deviations.
    struct Case {
        double beyond;  // points past the right edge
        double alpha;
    };
    for (const Case& c :
         {Case{1, 255 * 0.480 * 0.988}, Case{20, 255 * 0.159 * 0.988}, Case{40, 255 * 0.0228 * 0.988}}) {
        SCOPED_TRACE(c.beyond);
        EXPECT_NEAR(at(*bitmap, static_cast<int>(2 * (200 + c.beyond)), 300).alpha, c.alpha, 6);
    }
    EXPECT_EQ(at(*bitmap, 300, 300), (Pixel{0, 0, 255, 255})) << "the box over its shadow";
    EXPECT_EQ(at(*bitmap, 598, 300).alpha, 0);
}

TEST(UiRender, ShadowsFollowTheLayersShapeOrItsShadowPath) {
    auto root = Layer::make();
    root->setFrame({0, 0, 100, 100});
    auto box = filled({20, 20, 20, 20}, kBlue);
    box->setShadowOpacity(1);
    box->setShadowRadius(0);
    box->setShadowOffset({30, 30});
    root->addSublayer(box);
    auto bitmap = render(*root, 100, 100);
    EXPECT_EQ(at(*bitmap, 30, 30), (Pixel{0, 0, 255, 255})) << "the layer";
    EXPECT_EQ(at(*bitmap, 60, 60), (Pixel{0, 0, 0, 255})) << "its hard shadow";
    EXPECT_EQ(at(*bitmap, 45, 45).alpha, 0);

    // A blurred shadow of half opacity: half of that on its edges.
    box->setShadowRadius(3);
    box->setShadowOpacity(0.5);
    bitmap = render(*root, 100, 100);
    EXPECT_NEAR(at(*bitmap, 60, 60).alpha, 128, 2) << "deep inside the shadow";
    EXPECT_NEAR((at(*bitmap, 69, 60).alpha + at(*bitmap, 70, 60).alpha) / 2.0, 64, 4) << "its edge";
    EXPECT_EQ(at(*bitmap, 85, 60).alpha, 0);

    // The shadow of a layer with sublayers has their shape; a shadow path
    // replaces it.
    box->setBackgroundColor(Color::clear());
    box->addSublayer(filled({0, 0, 10, 10}, kRed));
    box->setShadowRadius(0);
    box->setShadowOpacity(1);
    bitmap = render(*root, 100, 100);
    EXPECT_EQ(at(*bitmap, 55, 55).alpha, 255) << "under the sublayer";
    EXPECT_EQ(at(*bitmap, 65, 65).alpha, 0) << "where the clear background is";
    Path path;
    path.addRect({10, 10, 10, 10});
    box->setShadowPath(path);
    bitmap = render(*root, 100, 100);
    EXPECT_EQ(at(*bitmap, 55, 55).alpha, 0);
    EXPECT_EQ(at(*bitmap, 65, 65).alpha, 255);
}

TEST(UiRender, DrawnContentIsKeptUntilItChanges) {
    auto drawer = std::make_shared<CountingDrawer>();
    auto layer = Layer::make();
    layer->setFrame({0, 0, 20, 20});
    layer->setDelegate(drawer);
    render(*layer, 20, 20);
    EXPECT_EQ(drawer->draws, 0) << "nothing is drawn before it is asked for";

    layer->setNeedsDisplay();
    EXPECT_TRUE(layer->needsDisplay());
    auto bitmap = render(*layer, 20, 20);
    EXPECT_EQ(at(*bitmap, 10, 10), (Pixel{0, 0, 255, 255}));
    EXPECT_FALSE(layer->needsDisplay());
    render(*layer, 20, 20);
    layer->setPosition({12, 12});
    render(*layer, 40, 40);
    EXPECT_EQ(drawer->draws, 1) << "kept across frames and moves";

    layer->setNeedsDisplay();
    render(*layer, 20, 20);
    EXPECT_EQ(drawer->draws, 2);
    layer->setBounds({0, 0, 30, 30});
    render(*layer, 40, 40);
    EXPECT_EQ(drawer->draws, 3) << "drawn again at a new size";
    render(*layer, 80, 80, 2);
    EXPECT_EQ(drawer->draws, 4) << "and at a new scale";

    layer->setNeedsDisplayOnBoundsChange(true);
    layer->setBounds({0, 0, 10, 10});
    EXPECT_TRUE(layer->needsDisplay());

    // While an animation changes what a shape draws, it is drawn each
    // frame from its presentation.
    Path line;
    line.moveTo({0, 5});
    line.lineTo({100, 5});
    auto shape = strokedPath(line, 4);
    auto grow = BasicAnimation::make("strokeEnd");
    grow->setFromValue(0.0);
    grow->setToValue(1.0);
    grow->setDuration(1);
    grow->setBeginTime(100);
    shape->addAnimation(grow, "strokeEndAnimation");
    EXPECT_EQ(at(*render(*shape, 100, 10, 1, 100.25), 30, 5).alpha, 0);
    EXPECT_EQ(at(*render(*shape, 100, 10, 1, 100.5), 30, 5).alpha, 255);
    EXPECT_EQ(at(*render(*shape, 100, 10, 1, 100.5), 60, 5).alpha, 0);
    EXPECT_EQ(at(*render(*shape, 100, 10, 1, 102), 90, 5).alpha, 255) << "after the end: the model";
}

TEST(UiRender, ARasterKeptWhileItsLayerMovesIsMadeAfreshOnceTheMotionEnds) {
    // A gradient in a layer that glides to a place between pixels.
    const auto scene = [](bool animated) {
        auto root = filled({0, 0, 100, 100}, Color::clear());
        auto mover = filled({10, 10, 40, 40}, Color::clear());
        auto gradient = GradientLayer::make();
        gradient->setFrame({0, 0, 40, 40});
        gradient->setColors({kRed, kBlue});
        mover->addSublayer(gradient);
        root->addSublayer(mover);
        mover->setPosition({50.3, 50.3});
        if (animated) {
            auto glide = BasicAnimation::make("position");
            glide->setFromValue(platform::Point{30, 30});
            glide->setToValue(platform::Point{50.3, 50.3});
            glide->setDuration(1);
            glide->setBeginTime(100);
            mover->addAnimation(glide, "glide");
        }
        return root;
    };
    const auto moving = scene(true);
    for (const double time : {100.2, 100.5, 100.8}) render(*moving, 200, 200, 2, time);
    // Ended: the main loop takes the animation away.
    moving->sublayers().front()->removeAllAnimations();
    const auto after = render(*moving, 200, 200, 2, 102);
    const auto still = render(*scene(false), 200, 200, 2, 102);
    int differing = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            const Pixel a = at(*after, x, y);
            const Pixel b = at(*still, x, y);
            differing +=
                std::abs(a.red - b.red) > 1 || std::abs(a.blue - b.blue) > 1 || std::abs(a.alpha - b.alpha) > 1;
        }
    }
    EXPECT_EQ(differing, 0) << "the same pixels as a layer that never moved";
}

TEST(UiRender, ADrawingApartFromTheScreenLeavesWhatTheScreenKeeps) {
    auto drawer = std::make_shared<CountingDrawer>();
    auto root = filled({0, 0, 40, 40}, Color::clear());
    auto drawn = Layer::make();
    drawn->setFrame({0, 0, 20, 20});
    drawn->setDelegate(drawer);
    drawn->setNeedsDisplay();
    root->addSublayer(drawn);
    auto shadowed = filled({24, 24, 10, 10}, kRed);
    shadowed->setShadowOpacity(1);
    shadowed->setShadowRadius(2);
    root->addSublayer(shadowed);
    const auto first = render(*root, 80, 80, 2);
    ASSERT_EQ(drawer->draws, 1);

    // A backdrop at a quarter of a pixel a point draws everything afresh.
    auto backdrop = BitmapContext::create(10, 10, 0.25);
    RenderOptions apart{0, 0.25};
    apart.keepsRasters = false;
    platform::ui::renderLayerTree(*root, *backdrop, apart);
    EXPECT_EQ(drawer->draws, 2);
    EXPECT_GT(at(*backdrop, 2, 2).blue, 100) << "the delegate's drawing is in it";
    EXPECT_GT(at(*backdrop, 7, 7).red, 100) << "and the shadowed layer";

    // The screen's next frame finds its rasters as it left them.
    const auto next = render(*root, 80, 80, 2);
    EXPECT_EQ(drawer->draws, 2);
    for (const auto& [x, y] : {std::pair{10, 10}, std::pair{58, 58}, std::pair{70, 72}}) {
        EXPECT_EQ(at(*next, x, y), at(*first, x, y)) << x << "," << y;
    }
}

TEST(UiRender, AnAnimatedPathIsDrawnWhereItIsNotWhereItEnds) {
    // It ends below the bitmap; a quarter of the way it crosses it.
    Path from;
    from.moveTo({10, 10});
    from.lineTo({90, 10});
    Path to;
    to.moveTo({10, 190});
    to.lineTo({90, 190});
    auto line = strokedPath(to, 4);
    auto slide = BasicAnimation::make("path");
    slide->setFromValue(from);
    slide->setToValue(to);
    slide->setDuration(1);
    slide->setBeginTime(100);
    line->addAnimation(slide, "slide");
    auto root = filled({0, 0, 100, 100}, Color::clear());
    root->addSublayer(line);
    const auto shot = render(*root, 100, 100, 1, 100.25);
    EXPECT_EQ(at(*shot, 50, 55), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(*shot, 50, 10).alpha, 0);
}

TEST(UiRender, ContentsTextAndGradientsLandInTheirBounds) {
    auto image = BitmapContext::create(10, 10);
    image->setFillColor(kGreen);
    image->fillRect({0, 0, 10, 10});
    auto picture = filled({0, 0, 40, 40}, Color::clear());
    picture->setContents(image->makeImage());
    picture->setContentsGravity(ContentsGravity::center);
    auto bitmap = render(*picture, 40, 40);
    EXPECT_EQ(at(*bitmap, 20, 20), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(at(*bitmap, 14, 20).alpha, 0);
    EXPECT_EQ(at(*bitmap, 15, 20).alpha, 255);
    picture->setContentsGravity(ContentsGravity::bottomRight);
    bitmap = render(*picture, 40, 40);
    EXPECT_EQ(at(*bitmap, 35, 35).alpha, 255);
    EXPECT_EQ(at(*bitmap, 29, 35).alpha, 0);
    picture->setContentsGravity(ContentsGravity::resize);
    EXPECT_EQ(at(*render(*picture, 40, 40), 1, 1).alpha, 255);

    auto gradient = GradientLayer::make();
    gradient->setFrame({0, 0, 10, 100});
    gradient->setColors({kRed, kBlue});
    bitmap = render(*gradient, 10, 100);
    EXPECT_GT(at(*bitmap, 5, 1).red, 245);
    EXPECT_GT(at(*bitmap, 5, 98).blue, 245);
    EXPECT_NEAR(at(*bitmap, 5, 50).red, 125, 5);

    // Centred text puts its ink about the middle of the bounds.
    auto text = TextLayer::make();
    text->setFrame({0, 0, 200, 40});
    text->setString("Hi");
    text->setFontSize(20);
    text->setForegroundColor(kRed);
    text->setAlignmentMode(platform::TextAlignment::center);
    bitmap = render(*text, 200, 40);
    double inkX = 0;
    double ink = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            inkX += at(*bitmap, x, y).alpha * x;
            ink += at(*bitmap, x, y).alpha;
        }
    }
    ASSERT_GT(ink, 0);
    EXPECT_NEAR(inkX / ink, 100, 5);
}

TEST(UiRender, ALayerTreeLooksAsTheSameDrawingMadeDirectly) {
    // Shapes turned, scaled and placed between pixels, at a scale of 2,
    // against vector drawing straight into a context.
    auto root = Layer::make();
    root->setFrame({0, 0, 120, 80});
    Path star;
    star.moveTo({0, -20});
    for (int i = 1; i < 5; ++i) star.lineTo({20 * std::sin(i * 4 * pi / 5), -20 * std::cos(i * 4 * pi / 5)});
    star.closePath();
    auto shape = ShapeLayer::make();
    shape->setPath(star);
    shape->setFillColor(kBlue);
    shape->setStrokeColor(kRed);
    shape->setLineWidth(2);
    shape->setPosition({40, 40});
    shape->setTransform(Transform3D::rotationZ(0.3).scaled(1.5, 1.5));
    root->addSublayer(shape);
    auto card = filled({70, 10, 40, 60}, kGreen);
    card->setCornerRadius(8);
    root->addSublayer(card);
    // Upright, off the pixel grid: kept as a raster aligned to the pixels.
    Path dot;
    dot.addEllipseInRect({-6, -6, 12, 12});
    auto upright = ShapeLayer::make();
    upright->setPath(dot);
    upright->setFillColor(kRed);
    upright->setStrokeColor(kBlue);
    upright->setPosition({20.3, 30.75});
    card->addSublayer(upright);
    auto rendered = render(*root, 240, 160, 2);
    rendered = render(*root, 240, 160, 2);  // the second frame, from the kept raster

    auto direct = BitmapContext::create(240, 160, 2);
    direct->save();
    direct->translate(40, 40);
    direct->concat(Transform3D::rotationZ(0.3).scaled(1.5, 1.5).affine());
    direct->setFillColor(kBlue);
    direct->fillPath(star);
    direct->setStrokeColor(kRed);
    direct->setLineWidth(2);
    direct->strokePath(star);
    direct->restore();
    direct->setFillColor(kGreen);
    Path rounded;
    rounded.addRoundedRect({70, 10, 40, 60}, 8);
    direct->fillPath(rounded);
    direct->translate(70 + 20.3, 10 + 30.75);
    direct->setFillColor(kRed);
    direct->fillPath(dot);
    direct->setStrokeColor(kBlue);
    direct->setLineWidth(1);
    direct->strokePath(dot);

    int differing = 0;
    int worst = 0;
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 240; ++x) {
            const Pixel a = at(*rendered, x, y);
            const Pixel b = at(*direct, x, y);
            const int d = std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue),
                                    std::abs(a.alpha - b.alpha)});
            worst = std::max(worst, d);
            if (d > 2) ++differing;
        }
    }
    // Only rounding may differ.
    EXPECT_EQ(differing, 0) << "worst difference " << worst;
}

namespace {

// The largest channel difference between two renderings, and how many
// pixels differ by more than `slack`.
std::pair<int, int> compare(const BitmapContext& a, const BitmapContext& b, int slack) {
    int worst = 0;
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            // Premultiplied: the colour of a nearly clear pixel counts for
            // as little as it shows.
            const Pixel p = at(a, x, y);
            const Pixel q = at(b, x, y);
            const auto channel = [](int value, int alpha) { return value * alpha / 255; };
            const int d =
                std::max({std::abs(channel(p.red, p.alpha) - channel(q.red, q.alpha)),
                          std::abs(channel(p.green, p.alpha) - channel(q.green, q.alpha)),
                          std::abs(channel(p.blue, p.alpha) - channel(q.blue, q.alpha)), std::abs(p.alpha - q.alpha)});
            worst = std::max(worst, d);
            if (d > slack) ++differing;
        }
    }
    return {worst, differing};
}

}  // namespace

TEST(UiRender, StrokesKeepToTheirRasterAtEveryCorner) {
    // Mitred corners under the limit reach far; over it they are cut, and a
    // single piece has none: each kept raster holds the whole stroke.
    auto root = Layer::make();
    root->setFrame({0, 0, 200, 100});
    std::vector<Path> paths(4);
    paths[0].moveTo({10, 70});  // a sharp V, mitred
    paths[0].lineTo({30, 30});
    paths[0].lineTo({34, 70});
    paths[1].moveTo({60, 40});  // a turn back, bevelled
    paths[1].lineTo({90, 40});
    paths[1].lineTo({60, 41});
    paths[2].moveTo({110, 20});  // one slanted piece, square caps
    paths[2].lineTo({130, 80});
    paths[3].moveTo({150, 80});  // a closed sliver: its sharpest corner is where it closes
    paths[3].lineTo({190, 84});
    paths[3].lineTo({190, 76});
    paths[3].closePath();
    std::vector<std::shared_ptr<ShapeLayer>> shapes;
    for (const Path& path : paths) {
        auto shape = strokedPath(path, 6);
        if (&path == &paths[2]) shape->setLineCap(platform::LineCap::square);
        root->addSublayer(shape);
        shapes.push_back(shape);
    }
    auto rendered = render(*root, 400, 200, 2);
    auto direct = BitmapContext::create(400, 200, 2);
    direct->setStrokeColor(kRed);
    direct->setLineWidth(6);
    for (const Path& path : paths) {
        direct->setLineCap(&path == &paths[2] ? platform::LineCap::square : platform::LineCap::butt);
        direct->strokePath(path);
    }
    EXPECT_EQ(compare(*rendered, *direct, 2).second, 0);
    // A single piece is not padded for miters it cannot have.
    EXPECT_LT(platform::ui::detail::LayerAccess::contentExtent(*shapes[2]).width, 20 + 6 * std::numbers::sqrt2 + 3);
}

TEST(UiRender, ManyCopiesOfOneMarkLookAsTheWholePath) {
    // Forty rings off the pixel grid, as a chart's point markers: drawn
    // from a raster of one ring placed to within a sixteenth of a pixel.
    Path rings;
    for (int i = 0; i < 40; ++i) {
        const platform::Point c{6.37 + i * 7.13, 10.2 + 3.3 * std::sin(i)};
        rings.moveTo({c.x + 2, c.y});
        rings.addArc(c, 2, 0, 2 * pi, true);
    }
    auto direct = [&](const Path& path, const Color& stroke, const std::vector<double>& dash) {
        auto context = BitmapContext::create(600, 60, 2);
        context->setStrokeColor(stroke);
        context->setLineWidth(1);
        context->setLineDash(0, dash);
        context->strokePath(path);
        return context;
    };
    auto layerOf = [&](const Path& path, const Color& stroke) {
        auto root = Layer::make();
        root->setFrame({0, 0, 300, 30});
        auto shape = strokedPath(path, 1);
        shape->setStrokeColor(stroke);
        root->addSublayer(shape);
        return std::make_pair(root, shape);
    };

    auto [root, shape] = layerOf(rings, kRed);
    auto first = render(*root, 600, 60, 2);
    auto second = render(*root, 600, 60, 2);
    const auto wanted = direct(rings, kRed, {});
    const auto [worst, differing] = compare(*first, *wanted, 40);
    EXPECT_EQ(differing, 0) << "worst difference " << worst;
    EXPECT_GT(worst, 0);  // drawn from stamps, not as the path
    EXPECT_EQ(compare(*first, *second, 0).first, 0);
    EXPECT_EQ(at(*first, static_cast<int>(2 * (6.37 + 2)), static_cast<int>(2 * 10.2)).red, 255);

    // A new path takes new marks.
    Path moved;
    for (int i = 0; i < 40; ++i) moved.addEllipseInRect({3.1 + i * 7, 20.4, 4, 4});
    shape->setPath(moved);
    EXPECT_EQ(compare(*render(*root, 600, 60, 2), *direct(moved, kRed, {}), 40).second, 0);

    // A see-through stroke, a dash or sub-paths that differ are drawn as
    // the path itself.
    const Color seeThrough{1, 0, 0, 0.5};
    auto [root2, shape2] = layerOf(rings, seeThrough);
    EXPECT_EQ(compare(*render(*root2, 600, 60, 2), *direct(rings, seeThrough, {}), 2).second, 0);
    shape2->setStrokeColor(kRed);
    shape2->setLineDashPattern({1, 1});
    EXPECT_EQ(compare(*render(*root2, 600, 60, 2), *direct(rings, kRed, {1, 1}), 2).second, 0);
    Path mixed = rings;
    mixed.addEllipseInRect({100.3, 15.2, 5, 3});
    shape2->setLineDashPattern({});
    shape2->setPath(mixed);
    EXPECT_EQ(compare(*render(*root2, 600, 60, 2), *direct(mixed, kRed, {}), 2).second, 0);
}

TEST(UiRender, ATextsBackgroundKeptWithItsTextLooksAsDrawnDirectly) {
    // Overlapping labels off the pixel grid, each on a background of its
    // own, as a chart's point labels.
    auto root = Layer::make();
    root->setFrame({0, 0, 100, 40});
    std::vector<std::shared_ptr<TextLayer>> labels;
    for (int i = 0; i < 3; ++i) {
        auto label = TextLayer::make();
        label->setFrame({10.3 + i * 9.6, 8.45 + i * 3.1, 30, 12});
        label->setString(std::to_string(40 + i));
        label->setFontSize(10);
        label->setForegroundColor(kRed);
        label->setBackgroundColor(kGreen);
        root->addSublayer(label);
        labels.push_back(label);
    }
    auto expected = [&](const Color& firstBackground) {
        auto direct = BitmapContext::create(200, 80, 2);
        for (const auto& label : labels) {
            direct->save();
            direct->translate(label->frame().x, label->frame().y);
            direct->setFillColor(label == labels.front() ? firstBackground : kGreen);
            Path box;
            box.addRoundedRect(label->bounds(), 0);
            direct->fillPath(box);
            label->drawInContext(*direct);
            direct->restore();
        }
        return direct;
    };
    render(*root, 200, 80, 2);
    EXPECT_EQ(compare(*render(*root, 200, 80, 2), *expected(kGreen), 2).second, 0);
    // A new colour is a new raster, though the text has not changed.
    labels.front()->setBackgroundColor(kBlue);
    EXPECT_EQ(compare(*render(*root, 200, 80, 2), *expected(kBlue), 2).second, 0);
}

TEST(UiRender, ALayerClippedToRoundedCornersKeptWholeFollowsChangesBelow) {
    // A tall bar off the pixel grid that clips a shape and a text to its
    // rounded bounds, as a bar chart's bars, kept as one raster: against
    // the same tree composited part by part (an animation that changes
    // nothing below keeps it from being kept whole), after each change.
    struct Bar {
        std::shared_ptr<Layer> root;
        std::shared_ptr<Layer> bar;
        std::shared_ptr<ShapeLayer> body;
        std::shared_ptr<TextLayer> number;
    };
    const auto make = [](bool composited) {
        Bar b;
        b.root = Layer::make();
        b.root->setFrame({0, 0, 40, 120});
        b.bar = filled({10.3, 5.45, 9.7, 110}, kGreen);
        b.bar->setCornerRadius(3);
        b.bar->setMasksToBounds(true);
        b.root->addSublayer(b.bar);
        Path line;
        line.moveTo({4.85, 110});
        line.lineTo({4.85, 40});
        b.body = strokedPath(line, 9.7);
        b.body->setStrokeColor(kBlue);
        b.bar->addSublayer(b.body);
        b.number = TextLayer::make();
        b.number->setFrame({0.5, 30, 20, 14});
        b.number->setString("77");
        b.number->setFontSize(12);
        b.number->setForegroundColor(kRed);
        b.body->addSublayer(b.number);
        if (composited) {
            auto idle = BasicAnimation::make("not.a.real.key");
            idle->setDuration(1e6);
            b.number->addAnimation(idle, "idle");
        }
        return b;
    };
    Bar kept = make(false);
    Bar parts = make(true);
    const auto same = [&]() {
        render(*kept.root, 80, 240, 2);
        const auto [worst, differing] = compare(*render(*kept.root, 80, 240, 2), *render(*parts.root, 80, 240, 2), 2);
        return differing == 0 && worst < 255;
    };
    EXPECT_TRUE(same());
    // A change two levels down, to a text, and to the layer itself.
    for (Bar* b : {&kept, &parts}) {
        Path line;
        line.moveTo({4.85, 110});
        line.lineTo({4.85, 10});
        b->body->setPath(line);
    }
    EXPECT_TRUE(same());
    kept.number->setString("100");
    parts.number->setString("100");
    EXPECT_TRUE(same());
    kept.bar->setBackgroundColor(kRed);
    parts.bar->setBackgroundColor(kRed);
    EXPECT_TRUE(same());
}
