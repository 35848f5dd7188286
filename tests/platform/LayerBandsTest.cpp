// Large frames are drawn in horizontal bands on several threads: a bitmap's
// bands share its pixels, and a layer tree drawn in bands looks exactly as
// the same tree drawn in one piece. In the platform tests (not the
// toolkit's) so that the thread sanitizer pass runs them.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/FrameBitmaps.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"
#include "platform/ui/core/Transform3D.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Context;
using platform::Path;
using platform::Pixel;
using platform::Rect;
using platform::ui::BasicAnimation;
using platform::ui::GradientLayer;
using platform::ui::Layer;
using platform::ui::LayerDelegate;
using platform::ui::RenderOptions;
using platform::ui::ShapeLayer;
using platform::ui::TextLayer;

namespace {

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Color kGreen{0, 1, 0, 1};

// Pixels of two bitmaps of one size that differ by more than two steps on
// some channel (the drawing library's edges can differ by a step or two where
// a shape is drawn into a bitmap of other rows); -1 when the sizes differ.
int differingPixels(const BitmapContext& a, const BitmapContext& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return -1;
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const Pixel p = a.pixel(x, y).value_or(Pixel{});
            const Pixel q = b.pixel(x, y).value_or(Pixel{});
            const auto off = [](int u, int v) { return std::abs(u - v) > 2; };
            differing += off(p.red, q.red) || off(p.green, q.green) || off(p.blue, q.blue) || off(p.alpha, q.alpha);
        }
    }
    return differing;
}

void drawScene(Context& context) {
    context.setFillColor(kBlue);
    Path disc;
    disc.addEllipseInRect({13.3, 9.7, 70.2, 41.9});
    context.fillPath(disc);
    context.setStrokeColor({0.2, 0.7, 0.1, 0.6});
    context.setLineWidth(3.5);
    Path zigzag;
    zigzag.moveTo({0, 0});
    for (int i = 1; i < 20; ++i) zigzag.lineTo({i * 5.5, (i % 2) * 63.0});
    context.strokePath(zigzag);
}

}  // namespace

TEST(BitmapBands, BandsShareThePixelsKeepTheStateAndClearWhatWasLeftToClear) {
    // The same drawing into four bands at once, on four threads, and into
    // the bitmap itself: the same pixels.
    auto whole = BitmapContext::create(240, 160, 2);
    auto banded = BitmapContext::create(240, 160, 2);
    for (auto* context : {whole.get(), banded.get()}) {
        context->translate(3.25, -1.5);
        context->setAlpha(0.75);
    }
    drawScene(*whole);
    std::vector<std::unique_ptr<BitmapContext>> bands;
    for (int i = 0; i < 4; ++i) bands.push_back(banded->band(i * 40, i * 40 + 40));
    for (const auto& band : bands) ASSERT_NE(band, nullptr);
    std::vector<std::thread> threads;
    for (auto& band : bands) threads.emplace_back([&band] { drawScene(*band); });
    for (auto& thread : threads) thread.join();
    bands.clear();
    EXPECT_EQ(differingPixels(*whole, *banded), 0);

    // A fresh bitmap drawn only in bands is drawn as what the bands left,
    // not as the clear bitmap it was, by Cairo's road too (faded).
    auto fresh = BitmapContext::create(240, 160, 2);
    fresh->band(0, 160)->fillRect({0, 0, 120, 80});
    const auto drawnInBands = BitmapContext::takeImage(std::move(fresh));
    auto faded = BitmapContext::create(240, 160, 2);
    faded->drawImage(*drawnInBands, {0, 0, 120, 80}, 0.5);
    EXPECT_EQ(faded->pixel(100, 100)->alpha, 128);

    // Rows outside, an open transparency layer and a clip refuse bands.
    EXPECT_EQ(banded->band(-1, 10), nullptr);
    EXPECT_EQ(banded->band(150, 161), nullptr);
    EXPECT_EQ(banded->band(20, 20), nullptr);
    banded->beginTransparencyLayer();
    EXPECT_EQ(banded->band(0, 10), nullptr);
    banded->endTransparencyLayer();
    banded->save();
    banded->clipToRect({0, 0, 10, 10});
    EXPECT_EQ(banded->band(0, 10), nullptr);
    banded->restore();
    EXPECT_NE(banded->band(0, 10), nullptr) << "the clip went with the state it was set in";

    // A reused frame is cleared lazily: rows a band draws nothing on are
    // cleared by the band, rows it draws on show only the new drawing.
    platform::FrameBitmaps frames;
    {
        auto first = frames.context({120, 80}, 2);
        first->setFillColor(kRed);
        first->fillRect({0, 0, 120, 80});
        frames.image(std::move(first));  // let go at once: its pixels return
    }
    auto reused = frames.context({120, 80}, 2);
    ASSERT_NE(reused, nullptr);
    {
        auto top = reused->band(0, 80);
        auto bottom = reused->band(80, 160);
        ASSERT_NE(top, nullptr);
        ASSERT_NE(bottom, nullptr);
        top->setFillColor(kGreen);
        top->fillRect({0, 0, 60, 20});
    }
    const auto image = frames.image(std::move(reused));
    auto look = BitmapContext::create(240, 160);
    look->drawImage(*image, {0, 0, 240, 160});
    EXPECT_EQ(look->pixel(10, 10), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(look->pixel(200, 10)->alpha, 0) << "the top band cleared the old frame";
    EXPECT_EQ(look->pixel(10, 120)->alpha, 0) << "the bottom band cleared the old frame";
}

namespace {

class Stripes : public LayerDelegate {
public:
    void drawLayer(Layer& layer, Context& context) override {
        const Rect b = layer.bounds();
        for (int i = 0; i < 6; ++i) {
            context.setFillColor(i % 2 ? kRed : kGreen);
            context.fillRect({b.x, b.y + i * b.height / 6, b.width, b.height / 6});
        }
    }
};

// Drawing that may run on any thread, and on several at once: counts its
// calls.
class Lines : public LayerDelegate {
public:
    void drawLayer(Layer& layer, Context& context) override {
        calls.fetch_add(1);
        const Rect b = layer.bounds();
        context.setFillColor({0.3, 0.2, 0.7, 0.4});
        context.fillRect({b.x + 20.3, b.y + 15.6, b.width / 3, b.height - 40.2});
        context.setStrokeColor({0.6, 0.1, 0.1, 0.8});
        context.setLineWidth(1.3);
        context.setLineDash(0.5, {7, 4});
        context.beginPath();
        for (int i = 0; i < 12; ++i) {
            context.moveTo({b.x + i * 37.1, b.y});
            context.lineTo({b.x + b.width - i * 11.3, b.y + b.height});
        }
        context.stroke();
        platform::TextAttributes text;
        text.fontSize = 14;
        context.drawText("drawn on any thread", {b.x + 40.25, b.y + b.height / 2 - 3.3}, text);
    }
    bool drawsOnAnyThread(const Layer&) const override { return true; }
    std::atomic<int> calls{0};
};

std::shared_ptr<Layer> filled(const Rect& frame, const Color& color) {
    auto layer = Layer::make();
    layer->setFrame(frame);
    layer->setBackgroundColor(color);
    return layer;
}

// A tree with every kind of thing the renderer keeps or draws, much of it
// across the rows where bands meet. The views it shows are kept in `views`.
std::shared_ptr<Layer> busyTree(const std::shared_ptr<LayerDelegate>& delegate,
                                const std::shared_ptr<LayerDelegate>& lines, double begin,
                                std::vector<std::shared_ptr<platform::ui::View>>& views) {
    auto root = filled({0, 0, 600, 500}, {0.95, 0.95, 0.9, 1});
    // Large enough to be drawn in rows on several threads.
    auto wash = GradientLayer::make();
    wash->setFrame({10.5, 60.25, 300, 230});
    wash->setColors({{0.9, 0.8, 0.2, 1}, {0.2, 0.6, 0.9, 0.5}});
    wash->setStartPoint({0, 0.1});
    wash->setEndPoint({1, 0.9});
    root->addSublayer(wash);
    // A large drawing that may run on any thread: drawn in rows too.
    auto lined = Layer::make();
    lined->setFrame({12.4, 30.7, 560, 420});
    lined->setDelegate(lines);
    lined->setNeedsDisplay();
    root->addSublayer(lined);
    for (int i = 0; i < 120; ++i) {
        auto segment = ShapeLayer::make();
        Path line;
        line.moveTo({10 + i * 4.7, 40.0 + (i * 37) % 400});
        line.lineTo({14.7 + i * 4.7, 40.0 + (i * 53) % 400});
        segment->setPath(line);
        segment->setStrokeColor({0.1, 0.3, 0.8, 1});
        segment->setFillColor(Color::clear());
        segment->setLineWidth(2);
        root->addSublayer(segment);

        auto label = TextLayer::make();
        label->setFrame({10 + i * 4.7, 20.0 + (i * 29) % 460, 30, 12});
        label->setString(std::to_string(i * 7));
        label->setFontSize(9);
        label->setAlignmentMode(platform::TextAlignment::center);
        label->setForegroundColor({0, 0, 0, 1});
        label->setBackgroundColor({1, 1, 0.8, 1});
        root->addSublayer(label);
    }
    // Many copies of one mark, stamped.
    auto marks = ShapeLayer::make();
    Path rings;
    for (int i = 0; i < 60; ++i) rings.addEllipseInRect({20 + i * 9.3, 230 + (i % 9) * 7.1, 6, 6});
    marks->setPath(rings);
    marks->setStrokeColor(kRed);
    marks->setFillColor(Color::clear());
    marks->setLineWidth(1.5);
    root->addSublayer(marks);

    // A card with rounded clipping, border, shadow and a gradient inside.
    auto card = filled({200.3, 100.45, 150, 260}, kGreen);
    card->setCornerRadius(12);
    card->setMasksToBounds(true);
    card->setBorderWidth(2);
    card->setBorderColor(kBlue);
    auto gradient = GradientLayer::make();
    gradient->setFrame({0, 100, 150, 160});
    gradient->setColors({kRed, kBlue});
    card->addSublayer(gradient);
    auto holder = Layer::make();
    holder->setFrame({0, 0, 600, 500});
    holder->setShadowOpacity(0.7);
    holder->setShadowRadius(8);
    holder->setShadowOffset({4, 6});
    holder->addSublayer(card);
    root->addSublayer(holder);

    // A delegate's drawing, faded as a group with a sublayer, and masked.
    auto drawn = Layer::make();
    drawn->setFrame({380, 180, 180, 200});
    drawn->setDelegate(delegate);
    drawn->setNeedsDisplay();
    drawn->setOpacity(0.6);
    drawn->addSublayer(filled({20, 20, 60, 150}, kBlue));
    auto disc = ShapeLayer::make();
    Path oval;
    oval.addEllipseInRect({0, 0, 180, 200});
    disc->setPath(oval);
    drawn->setMask(disc);
    root->addSublayer(drawn);

    // Labels: views whose text may be drawn on any thread.
    for (int i = 0; i < 12; ++i) {
        auto label = std::make_shared<platform::ui::Label>(Rect{30.0 + i * 40, 440.0 + (i % 3) * 9.5, 60, 24});
        label->setText("Label " + std::to_string(i));
        label->setTextColor(kBlue);
        label->setTextAlignment(platform::TextAlignment::center);
        root->addSublayer(label->layer());
        views.push_back(label);
    }

    // Small holders whose sublayers draw far outside them, in other bands:
    // one turned and scaled, one shadowed, one clipping what lies outside.
    auto turned = filled({60, 120, 30, 20}, kBlue);
    turned->setTransform(platform::ui::Transform3D::rotationZ(0.3).scaled(1.5, 1.5));
    turned->addSublayer(filled({10, 150, 20, 40}, kRed));
    root->addSublayer(turned);
    auto shadowed = Layer::make();
    shadowed->setFrame({140, 60, 10, 10});
    auto far = filled({0, 320, 30, 30}, kGreen);
    far->setShadowOpacity(1);
    far->setShadowRadius(6);
    far->setShadowOffset({0, 14});
    shadowed->addSublayer(far);
    root->addSublayer(shadowed);
    auto clipping = filled({480, 60, 60, 60}, kGreen);
    clipping->setMasksToBounds(true);
    clipping->addSublayer(filled({10, 40, 30, 300}, kRed));
    root->addSublayer(clipping);

    // One that an animation moves across the bands.
    auto moving = filled({40, 300, 80, 80}, kRed);
    moving->setCornerRadius(20);
    auto slide = BasicAnimation::make("position.y");
    slide->setFromValue(340.0);
    slide->setToValue(100.0);
    slide->setDuration(10);
    slide->setBeginTime(begin);
    moving->addAnimation(slide, "slide");
    root->addSublayer(moving);
    return root;
}

}  // namespace

TEST(LayerBands, ATreeDrawnInBandsLooksAsDrawnInOnePiece) {
    // A clip over the whole bitmap keeps a frame in one piece. Two frames
    // each: the second draws what the first kept, and keeps the card whole.
    // Two trees alike, as what a tree keeps changes from frame to frame.
    const auto delegate = std::make_shared<Stripes>();
    const auto lines = std::make_shared<Lines>();
    const double now = platform::ui::currentMediaTime();
    std::vector<std::shared_ptr<platform::ui::View>> views;
    const auto bandedTree = busyTree(delegate, lines, now, views);
    const auto wholeTree = busyTree(delegate, lines, now, views);
    const auto frame = [&](bool inOnePiece, double time) {
        auto context = BitmapContext::create(1200, 1000, 2);
        if (inOnePiece) context->clipToRect({0, 0, 600, 500});
        platform::ui::renderLayerTree(inOnePiece ? *wholeTree : *bandedTree, *context, RenderOptions{time, 2});
        return context;
    };
    for (const double time : {now + 1, now + 1, now + 4.5, now + 20}) {
        const int calls = lines->calls.load();
        const auto banded = frame(false, time);
        if (time == now + 1 && calls == 0) {
            EXPECT_GT(lines->calls.load(), 1) << "the large drawing, in rows";
        }
        const auto whole = frame(true, time);
        EXPECT_EQ(differingPixels(*banded, *whole), 0) << "at " << time - now << " s";
    }
    // Something of everything shows.
    const auto shot = frame(false, now + 20);
    EXPECT_EQ(shot->pixel(2 * 210, 2 * 110), (Pixel{0, 255, 0, 255})) << "the card";
    const Pixel stripe = shot->pixel(2 * 470, 2 * 300).value_or(Pixel{});
    EXPECT_GT(stripe.red, 240) << "a red stripe of the delegate's, faded over the background";
    EXPECT_LT(stripe.green, 110);
    int blue = 0;
    for (int y = 2 * 440; y < 2 * 464; ++y) {
        for (int x = 2 * 30; x < 2 * 90; ++x) blue += shot->pixel(x, y)->blue > 200 && shot->pixel(x, y)->red < 60;
    }
    EXPECT_GT(blue, 40) << "the first label's text";
}

namespace {

const Color kPaper{0.95, 0.95, 0.9, 1};

// The shapes (sublayers of a root of `width` x `height` points on paper)
// drawn one by one straight into a bitmap.
std::unique_ptr<BitmapContext> drawnDirectly(const std::vector<std::shared_ptr<ShapeLayer>>& shapes, double width,
                                             double height, double scale) {
    auto context = BitmapContext::create(static_cast<int>(width * scale), static_cast<int>(height * scale), scale);
    context->setFillColor(kPaper);
    context->fillRect({0, 0, width, height});
    for (const auto& shape : shapes) {
        context->save();
        shape->drawInContext(*context);
        context->restore();
    }
    return context;
}

std::unique_ptr<BitmapContext> drawnInBands(Layer& root, double scale, double time) {
    const Rect frame = root.frame();
    auto context =
        BitmapContext::create(static_cast<int>(frame.width * scale), static_cast<int>(frame.height * scale), scale);
    platform::ui::renderLayerTree(root, *context, RenderOptions{time, scale});
    return context;
}

}  // namespace

TEST(LayerBands, SmallStrokesDrawnTogetherLookAsEachDrawnAlone) {
    // Short strokes of a few styles in turn, between pixels, drawn in a
    // frame large enough for bands (where those of one style are drawn as
    // one path into one bitmap) and drawn one by one straight into a
    // bitmap; dashed and filled ones among them are drawn apart.
    const auto root = filled({0, 0, 600, 500}, kPaper);
    std::vector<std::shared_ptr<ShapeLayer>> shapes;
    for (int i = 0; i < 300; ++i) {
        auto shape = ShapeLayer::make();
        const double x = 5.3 + (i % 40) * 14.7;
        const double y = 7.9 + (i / 40) * 61.3 + (i % 7) * 3.1;
        Path path;
        path.moveTo({x, y});
        path.lineTo({x + (i % 5) * 2.2 - 4, y + 9.6 - (i % 3) * 4.1});
        if (i % 11 == 3) path.lineTo({x + 6, y + 2});  // a turn: mitred as far as the limit
        if (i % 10 == 7) path.lineTo({x - 3, y + 8});  // encloses something, and is filled
        shape->setPath(path);
        shape->setFillColor(i % 10 == 7 ? kGreen : Color::clear());
        shape->setStrokeColor(i % 3 ? Color{0.1, 0.3, 0.8, 1} : Color{0.8, 0.2, 0.1, 0.7});
        shape->setLineWidth(i % 3 == 2 ? 3.5 : 1.5);
        shape->setLineCap(i % 4 == 1 ? platform::LineCap::round : platform::LineCap::butt);
        shape->setMiterLimit(i % 2 ? 10 : 2);
        if (i % 17 == 5) shape->setLineDashPattern({3, 2});
        root->addSublayer(shape);
        shapes.push_back(shape);
    }
    const double now = platform::ui::currentMediaTime();
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now), *drawnDirectly(shapes, 600, 500, 2)), 0);
    // Some change: theirs are drawn again, and the rest, kept, still show
    // the pixels they shared with them.
    for (std::size_t i = 4; i < shapes.size(); i += 9) shapes[i]->setStrokeColor(kGreen);
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now + 1), *drawnDirectly(shapes, 600, 500, 2)), 0)
        << "after changes";
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now + 2), *drawnDirectly(shapes, 600, 500, 2)), 0) << "kept";
}

TEST(LayerBands, SmallRastersDrawnTogetherLookAsEachDrawnAlone) {
    // Labels with backgrounds of several colours (some rounded, some none),
    // small gradients and filled shapes: drawn into shared bitmaps, each
    // as it is drawn alone, its background below it.
    const auto root = filled({0, 0, 600, 500}, kPaper);
    std::vector<std::shared_ptr<Layer>> layers;
    for (int i = 0; i < 260; ++i) {
        const double x = 7.3 + (i * 37) % 560;
        const double y = 5.55 + (i * 53) % 470;
        std::shared_ptr<Layer> layer;
        if (i % 5 == 3) {
            auto gradient = GradientLayer::make();
            gradient->setColors({kRed, {0.2, 0.6, 0.9, 0.5}});
            layer = gradient;
        } else if (i % 5 == 4) {
            auto shape = ShapeLayer::make();
            Path triangle;
            triangle.moveTo({0, 0});
            triangle.lineTo({11.3, 4.2});
            triangle.lineTo({3.1, 9.9});
            triangle.closePath();
            shape->setPath(triangle);
            shape->setFillColor({0.9, 0.5, 0.1, 0.8});
            shape->setStrokeColor(kBlue);
            shape->setLineWidth(0.75);
            layer = shape;
        } else {
            auto label = TextLayer::make();
            label->setString(std::to_string(i * 13));
            label->setFontSize(8 + i % 3);
            label->setAlignmentMode(platform::TextAlignment::center);
            label->setForegroundColor({0.1, 0.1, 0.1, 1});
            if (i % 4 != 0) label->setBackgroundColor(i % 4 == 1 ? Color{1, 1, 0.8, 1} : Color{0.8, 0.9, 1, 0.9});
            if (i % 7 == 2) label->setCornerRadius(3);
            layer = label;
        }
        layer->setFrame({x, y, 24.4 + i % 9, 10.3 + i % 4});
        root->addSublayer(layer);
        layers.push_back(layer);
    }
    const auto direct = [&] {
        auto context = BitmapContext::create(1200, 1000, 2);
        context->setFillColor(kPaper);
        context->fillRect({0, 0, 600, 500});
        for (const auto& layer : layers) {
            context->save();
            context->concat(layer->transformToSuperlayer());
            if (layer->backgroundColor().alpha > 0) {
                Path background;
                background.addRoundedRect(layer->bounds(), layer->cornerRadius());
                context->setFillColor(layer->backgroundColor());
                context->fillPath(background);
            }
            layer->drawInContext(*context);
            context->restore();
        }
        return context;
    };
    const double now = platform::ui::currentMediaTime();
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now), *direct()), 0);
    for (std::size_t i = 2; i < layers.size(); i += 7) layers[i]->setBackgroundColor(kGreen);
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now + 1), *direct()), 0) << "after changes";
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now + 2), *direct()), 0) << "kept";
}

TEST(LayerBands, TallThinStrokesTogetherAreAllDrawn) {
    // Small in pixels but a thousand rows high each: one below the other,
    // sixty-four of them would not fit in one bitmap.
    const auto root = filled({0, 0, 1000, 1100}, kPaper);
    std::vector<std::shared_ptr<ShapeLayer>> shapes;
    for (int i = 0; i < 150; ++i) {
        auto shape = ShapeLayer::make();
        Path path;
        path.moveTo({5.5 + i * 6.5, 20});
        path.lineTo({5.5 + i * 6.5, 1020});
        shape->setPath(path);
        shape->setFillColor(Color::clear());
        shape->setStrokeColor(kBlue);
        shape->setLineWidth(0.5);
        root->addSublayer(shape);
        shapes.push_back(shape);
    }
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 1, platform::ui::currentMediaTime()),
                              *drawnDirectly(shapes, 1000, 1100, 1)),
              0);
}

TEST(LayerBands, LargeStrokesMadeByJobsFromTheirPathsLookAsDrawnDirectly) {
    // Strokes too large for a batch: a ring and a curve each one job's, a
    // zigzag over most of the frame drawn in rows by several; one dashed
    // and one half-stroked, drawn from copies of their layers.
    const auto root = filled({0, 0, 600, 500}, kPaper);
    std::vector<std::shared_ptr<ShapeLayer>> shapes;
    const auto stroked = [&](const Path& path, const Color& color, double width) {
        auto shape = ShapeLayer::make();
        shape->setPath(path);
        shape->setFillColor(Color::clear());
        shape->setStrokeColor(color);
        shape->setLineWidth(width);
        root->addSublayer(shape);
        shapes.push_back(shape);
        return shape;
    };
    Path zigzag;
    zigzag.moveTo({20.3, 30.7});
    for (int i = 1; i < 12; ++i) zigzag.lineTo({20.3 + i * 47.1, i % 2 ? 460.2 : 30.7});
    stroked(zigzag, {0.1, 0.3, 0.8, 1}, 2.5)->setLineJoin(platform::LineJoin::round);
    Path ring;
    ring.addEllipseInRect({100.4, 80.6, 90.5, 70.25});
    stroked(ring, {0.8, 0.2, 0.1, 0.7}, 3);
    Path curve;
    curve.moveTo({300.5, 300.5});
    curve.addCurveTo({340, 200}, {420, 420}, {470.2, 310.9});
    stroked(curve, kGreen, 4)->setLineCap(platform::LineCap::round);
    Path dashed;
    dashed.moveTo({40, 200});
    dashed.lineTo({260, 240});
    stroked(dashed, kBlue, 2)->setLineDashPattern({6, 3});
    stroked(curve, kRed, 1)->setStrokeEnd(0.5);

    const double now = platform::ui::currentMediaTime();
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now), *drawnDirectly(shapes, 600, 500, 2)), 0);
    // A path set anew replaces the one a copy of the layer shares, and
    // leaves the copy's as it was.
    const auto copy = std::static_pointer_cast<ShapeLayer>(shapes[1]->presentationLayer(now + 1));
    ASSERT_EQ(copy->sharedPath(), shapes[1]->sharedPath());
    Path moved;
    moved.addEllipseInRect({120.4, 100.6, 90.5, 70.25});
    shapes[1]->setPath(moved);
    EXPECT_EQ(copy->path(), ring);
    EXPECT_EQ(shapes[1]->path(), moved);
    EXPECT_EQ(differingPixels(*drawnInBands(*root, 2, now + 1), *drawnDirectly(shapes, 600, 500, 2)), 0)
        << "after the ring moved";
}
