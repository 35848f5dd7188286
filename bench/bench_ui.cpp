// Compositing a screen of layers into a 2732 x 2048 bitmap (a large tablet
// at scale 2): 350 shape layers (one in ten turned), 100 text layers and 50
// cards with soft shadows, 500 layers under one root. The first frame draws
// every raster and shadow; steady frames reuse them; a frame with ten
// animations running samples them and draws those layers afresh. The
// baseline draws the same shapes, texts and shadows straight into the
// context, as a screen without kept rasters would each frame.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/BasicAnimation.h"
#include "platform/ui/LayerRenderer.h"
#include "platform/ui/MediaTime.h"
#include "platform/ui/ShapeLayer.h"
#include "platform/ui/TextLayer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

using platform::BitmapContext;
using platform::Color;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::ui::Layer;
using platform::ui::ShapeLayer;
using platform::ui::TextLayer;

constexpr double kScale = 2;
constexpr double kWidth = 1366;
constexpr double kHeight = 1024;
constexpr int kShapes = 350;
constexpr int kTexts = 100;
constexpr int kCards = 50;
constexpr double pi = std::numbers::pi;

// What is drawn, kept apart from how, so that the layers and the baseline
// draw the same.
struct Shape {
    Path path;
    Point position;
    double angle;
    Color fill;
    Color stroke;
};
struct Label {
    std::string text;
    Rect frame;
};
struct Card {
    Rect frame;
    Color color;
};
struct Scene {
    std::vector<Shape> shapes;
    std::vector<Label> labels;
    std::vector<Card> cards;
};

Path shapePath(int i) {
    Path path;
    switch (i % 3) {
        case 0: path.addEllipseInRect({-20, -20, 40, 40}); break;
        case 1:
            path.moveTo({0, -22});
            for (int k = 1; k < 5; ++k) path.lineTo({22 * std::sin(k * 4 * pi / 5), -22 * std::cos(k * 4 * pi / 5)});
            path.closePath();
            break;
        default:
            path.moveTo({-20, 10});
            path.addCurveTo({-10, -25}, {10, 25}, {20, -10});
            break;
    }
    return path;
}

Scene makeScene() {
    Scene scene;
    for (int i = 0; i < kShapes; ++i) {
        const double x = 30 + (i % 25) * 54;
        const double y = 30 + (i / 25) * 72;
        const double hue = (i % 7) / 7.0;
        scene.shapes.push_back(
            {shapePath(i), {x, y}, i % 10 == 0 ? 0.4 : 0, Color{hue, 0.4, 1 - hue, 1}, Color{0.1, 0.1, 0.1, 1}});
    }
    for (int i = 0; i < kTexts; ++i) {
        scene.labels.push_back(
            {"Label " + std::to_string(i), Rect{20.0 + (i % 10) * 134, 50.0 + (i / 10) * 96, 120, 24}});
    }
    for (int i = 0; i < kCards; ++i) {
        scene.cards.push_back(
            {Rect{40.0 + (i % 10) * 132, 120.0 + (i / 10) * 180, 110, 80}, Color{1, 0.95, 0.8 - 0.01 * i, 1}});
    }
    return scene;
}

std::shared_ptr<Layer> makeTree(const Scene& scene) {
    auto root = Layer::make();
    root->setFrame({0, 0, kWidth, kHeight});
    root->setBackgroundColor({1, 1, 1, 1});
    for (const Shape& s : scene.shapes) {
        auto layer = ShapeLayer::make();
        layer->setPath(s.path);
        layer->setPosition(s.position);
        if (s.angle != 0) layer->setTransform(platform::ui::Transform3D::rotationZ(s.angle));
        layer->setFillColor(s.fill);
        layer->setStrokeColor(s.stroke);
        layer->setLineWidth(2);
        root->addSublayer(layer);
    }
    for (const Card& c : scene.cards) {
        auto layer = Layer::make();
        layer->setFrame(c.frame);
        layer->setBackgroundColor(c.color);
        layer->setCornerRadius(8);
        layer->setShadowOpacity(0.3);
        layer->setShadowRadius(4);
        layer->setShadowOffset({0, 2});
        root->addSublayer(layer);
    }
    for (const Label& l : scene.labels) {
        auto layer = TextLayer::make();
        layer->setFrame(l.frame);
        layer->setString(l.text);
        layer->setFontSize(16);
        layer->setForegroundColor({0.1, 0.1, 0.1, 1});
        root->addSublayer(layer);
    }
    return root;
}

std::unique_ptr<BitmapContext> makeScreen() {
    return BitmapContext::create(static_cast<int>(kWidth * kScale), static_cast<int>(kHeight * kScale), kScale);
}

void compose(Layer& root, BitmapContext& screen, double time) {
    platform::ui::renderLayerTree(root, screen, {time, kScale});
}

void BM_ComposeFirstFrame(benchmark::State& state) {
    const Scene scene = makeScene();
    auto screen = makeScreen();
    for (auto _ : state) {
        state.PauseTiming();
        auto root = makeTree(scene);
        state.ResumeTiming();
        compose(*root, *screen, platform::ui::currentMediaTime());
        benchmark::DoNotOptimize(screen->pixel(0, 0));
        state.PauseTiming();
        root.reset();  // rasters go with their layers, outside the timing
        state.ResumeTiming();
    }
    state.counters["layers"] = kShapes + kTexts + kCards;
}
BENCHMARK(BM_ComposeFirstFrame)->Unit(benchmark::kMillisecond);

void BM_ComposeSteadyFrame(benchmark::State& state) {
    const Scene scene = makeScene();
    auto root = makeTree(scene);
    auto screen = makeScreen();
    compose(*root, *screen, platform::ui::currentMediaTime());
    for (auto _ : state) {
        compose(*root, *screen, platform::ui::currentMediaTime());
        benchmark::DoNotOptimize(screen->pixel(0, 0));
    }
}
BENCHMARK(BM_ComposeSteadyFrame)->Unit(benchmark::kMillisecond);

void BM_ComposeFrameWithTenAnimations(benchmark::State& state) {
    const Scene scene = makeScene();
    auto root = makeTree(scene);
    auto screen = makeScreen();
    // Five shapes drawing themselves in, five cards growing, all repeating.
    const double begin = platform::ui::currentMediaTime();
    for (int i = 0; i < 5; ++i) {
        auto stroke = platform::ui::BasicAnimation::make("strokeEnd");
        stroke->setFromValue(0.0);
        stroke->setToValue(1.0);
        stroke->setDuration(1);
        stroke->setRepeatCount(1e6);
        root->sublayers()[i * 7 + 1]->addAnimation(stroke, "strokeEndAnimation");
        auto grow = platform::ui::BasicAnimation::make("transform.scale");
        grow->setFromValue(1.0);
        grow->setToValue(1.2);
        grow->setDuration(1);
        grow->setRepeatCount(1e6);
        root->sublayers()[kShapes + i * 9]->addAnimation(grow, "grow");
    }
    compose(*root, *screen, begin);
    double time = begin;
    for (auto _ : state) {
        time += 1 / 60.0;
        compose(*root, *screen, time);
        benchmark::DoNotOptimize(screen->pixel(0, 0));
    }
}
BENCHMARK(BM_ComposeFrameWithTenAnimations)->Unit(benchmark::kMillisecond);

// The same picture drawn straight into the context each frame.
void BM_DrawDirect_Baseline(benchmark::State& state) {
    const Scene scene = makeScene();
    auto screen = makeScreen();
    for (auto _ : state) {
        auto& c = *screen;
        c.setFillColor({1, 1, 1, 1});
        c.fillRect({0, 0, kWidth, kHeight});
        for (const Shape& s : scene.shapes) {
            c.save();
            c.translate(s.position.x, s.position.y);
            if (s.angle != 0) c.rotate(s.angle);
            c.setFillColor(s.fill);
            c.fillPath(s.path);
            c.setStrokeColor(s.stroke);
            c.setLineWidth(2);
            c.strokePath(s.path);
            c.restore();
        }
        for (const Card& card : scene.cards) {
            // The shadow: the card's shape blurred, as a layer's shadow is.
            auto mask = BitmapContext::create(static_cast<int>(card.frame.width * kScale),
                                              static_cast<int>(card.frame.height * kScale), kScale);
            mask->setFillColor({0, 0, 0, 1});
            Path rounded;
            rounded.addRoundedRect({0, 0, card.frame.width, card.frame.height}, 8);
            mask->fillPath(rounded);
            const auto shadow = platform::makeShadowImage(*mask->makeImage(), 4 * kScale, {0, 0, 0, 0.3});
            const double margin = shadow.margin / kScale;
            c.drawImage(*shadow.image, {card.frame.x - margin, card.frame.y + 2 - margin, card.frame.width + 2 * margin,
                                        card.frame.height + 2 * margin});
            c.save();
            c.translate(card.frame.x, card.frame.y);
            c.setFillColor(card.color);
            c.fillPath(rounded);
            c.restore();
        }
        platform::TextAttributes attributes;
        attributes.fontSize = 16;
        attributes.color = {0.1, 0.1, 0.1, 1};
        for (const Label& l : scene.labels) {
            c.save();
            c.clipToRect(l.frame);
            c.drawText(l.text, l.frame.origin(), attributes);
            c.restore();
        }
        benchmark::DoNotOptimize(screen->pixel(0, 0));
    }
}
BENCHMARK(BM_DrawDirect_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
