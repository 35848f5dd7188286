// Hit testing: a point in a leaf of a tree of 10,000 views, five subviews
// to a view, six levels below the root (the last level partly filled),
// each view a fifth of its superview's width or height (in turn). The leaf
// is the first subview of the first subview... down from the root, the
// last that hit testing tries at every level (front to back). The
// baseline scans the same tree's 10,000 rectangles, already in root
// coordinates, for the last one holding the point: what finding the view
// costs without the pruning of views that do not hold the point.
//
// Compositing a screen of layers into a 2732 x 2048 bitmap (a large tablet
// at scale 2): 350 shape layers (one in ten turned), 100 text layers and 50
// cards with soft shadows, 500 layers under one root. The first frame draws
// every raster and shadow; steady frames reuse them; a frame with ten
// animations running samples them and draws those layers afresh. The
// baseline draws the same shapes, texts and shadows straight into the
// context, as a screen without kept rasters would each frame.
//
// Presenting: a phone window of 390 x 844 points at scale 3 showing a
// screen of 60 labelled rows, on a virtual clock moved 1/60 s a frame; each
// frame is the layout pass and compositing of the whole window (a
// snapshot). A popover of 400 x 525 points is presented (0.2 s) and
// dismissed (0.2 s) again and again, a frame at a time; the same with a
// full-screen presentation over a blurred backdrop (a visual effect view
// blurred when presented); the baseline is the same screen with nothing
// presented.
//
// The pop-up menu: twelve rows over a dark blurred background (blurred
// once per presentation), presented from a control (0.138 s) and
// dismissed (0.0982 s) again and again, a frame at a time, in the same
// window as the presentations above; and the first frame of a
// presentation alone (the menu made, laid out, its backdrops drawn).
//
// Scrolling a table of 10,000 subtitle rows in a 390 x 844-point phone
// window at scale 3, one screen further each frame (60 frames a second of
// virtual time, back to the top at the end): each frame lays the table out
// (every row in view is new, so its cells are reused and filled afresh)
// and composites the window. The baseline composites the same window with
// nothing scrolled: what a frame costs without new rows.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Shadow.h"
#include "platform/dispatch/Clock.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/VisualEffectView.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/core/TextLayer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/SymbolImages.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
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


// --- hit testing -------------------------------------------------------

constexpr int kViews = 10000;
constexpr int kFanOut = 5;

struct ViewTree {
    std::shared_ptr<platform::ui::View> root;
    std::vector<Rect> rectangles;  // every view's, in root coordinates, tree order
    std::shared_ptr<platform::ui::View> leaf;
    Point leafCentre;  // in root coordinates
};

// Breadth first, so that every level fills before the next: 1 + 5 + 25 +
// 125 + 625 + 3125 views in the first levels, 6094 of 15625 in the last.
// `turned`: the views of the third level are scaled by 0.99 about their
// centres, so that every path to a leaf goes through a transform.
ViewTree makeViewTree(bool turned) {
    ViewTree tree;
    tree.root = std::make_shared<platform::ui::View>(Rect{0, 0, 15625, 15625});
    struct Pending {
        std::shared_ptr<platform::ui::View> view;
        int depth;
    };
    std::vector<Pending> queue{{tree.root, 0}};
    int made = 1;
    for (std::size_t next = 0; next < queue.size() && made < kViews; ++next) {
        const Pending parent = queue[next];
        const Rect b = parent.view->bounds();
        for (int i = 0; i < kFanOut && made < kViews; ++i, ++made) {
            const Rect frame = parent.depth % 2 == 0 ? Rect{b.width / kFanOut * i, 0, b.width / kFanOut, b.height}
                                                     : Rect{0, b.height / kFanOut * i, b.width, b.height / kFanOut};
            auto child = std::make_shared<platform::ui::View>(frame);
            if (turned && parent.depth + 1 == 3) child->setTransform(platform::AffineTransform::scale(0.99, 0.99));
            parent.view->addSubview(child);
            queue.push_back({child, parent.depth + 1});
        }
    }
    for (const Pending& p : queue) tree.rectangles.push_back(p.view->convertRectToView(p.view->bounds(), nullptr));
    // The first view of the last level: the first subview at every level.
    tree.leaf = queue[(1 + kFanOut + 25 + 125 + 625 + 3125)].view;
    const Rect b = tree.leaf->bounds();
    tree.leafCentre = tree.leaf->convertPointToView({b.x + b.width / 2, b.y + b.height / 2}, nullptr);
    return tree;
}

void hitTestLeaf(benchmark::State& state, bool turned) {
    const ViewTree tree = makeViewTree(turned);
    if (tree.root->hitTest(tree.leafCentre, nullptr) != tree.leaf) state.SkipWithError("the point misses the leaf");
    for (auto _ : state) benchmark::DoNotOptimize(tree.root->hitTest(tree.leafCentre, nullptr));
    state.counters["views"] = kViews;
}

void BM_HitTestLeaf(benchmark::State& state) { hitTestLeaf(state, false); }
BENCHMARK(BM_HitTestLeaf)->Unit(benchmark::kMicrosecond);

void BM_HitTestLeafThroughTransforms(benchmark::State& state) { hitTestLeaf(state, true); }
BENCHMARK(BM_HitTestLeafThroughTransforms)->Unit(benchmark::kMicrosecond);

void BM_ScanRectangles_Baseline(benchmark::State& state) {
    const ViewTree tree = makeViewTree(false);
    for (auto _ : state) {
        std::size_t found = tree.rectangles.size();  // the last holding it is the front-most
        for (std::size_t i = 0; i < tree.rectangles.size(); ++i) {
            if (tree.rectangles[i].contains(tree.leafCentre)) found = i;
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["views"] = kViews;
}
BENCHMARK(BM_ScanRectangles_Baseline)->Unit(benchmark::kMicrosecond);

// --- presenting ---------------------------------------------------------------

namespace present {

using namespace platform::ui;

struct Stage {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installed{clock};
    std::shared_ptr<Screen> screen = std::make_shared<Screen>(platform::Size{390, 844}, 3);
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<View> anchor;

    Stage() {
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::tablet);  // a popover stays one
        window->setScreen(screen);
        window->setRootViewController(root);
        root->view()->setBackgroundColor(Color{1, 1, 1, 1});
        for (int row = 0; row < 60; ++row) {
            auto label = std::make_shared<platform::ui::Label>(Rect{16, 14.0 * row, 358, 14});
            label->setText("Row " + std::to_string(row) + " of the list");
            label->setBackgroundColor(row % 2 ? Color{0.95, 0.95, 0.97, 1} : Color{1, 1, 1, 1});
            root->view()->addSubview(label);
        }
        anchor = std::make_shared<View>(Rect{300, 20, 44, 44});
        root->view()->addSubview(anchor);
        frame();
    }
    ~Stage() {
        window->setRootViewController(nullptr);
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    }
    void frame() {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(1.0 / 60)));
        auto image = window->snapshot();
        benchmark::DoNotOptimize(image->pixel(0, 0));
    }
};

std::shared_ptr<ViewController> makePopover(Stage& stage) {
    auto content = std::make_shared<ViewController>();
    content->setModalPresentationStyle(ModalPresentationStyle::popover);
    content->setPreferredContentSize({400, 525});
    auto popover = content->popoverPresentationController();
    popover->setSourceView(stage.anchor);
    popover->setPermittedArrowDirections(PopoverArrowDirection::up);
    for (int row = 0; row < 10; ++row) {
        auto label = std::make_shared<platform::ui::Label>(Rect{8, 8 + 30.0 * row, 300, 24});
        label->setText("Setting " + std::to_string(row));
        content->view()->addSubview(label);
    }
    return content;
}

std::shared_ptr<ViewController> makeBlurred(Stage&) {
    auto content = std::make_shared<ViewController>();
    content->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
    content->view()->setBackgroundColor(std::nullopt);
    auto blur = std::make_shared<VisualEffectView>(BlurEffectStyle::dark, Rect{0, 0, 390, 844});
    content->view()->addSubview(blur);
    auto panel = std::make_shared<View>(Rect{40, 300, 310, 240});
    panel->setBackgroundColor(Color{1, 1, 1, 1});
    content->view()->addSubview(panel);
    return content;
}

// A pop-up menu of twelve rows (scrolling from six) opened from the anchor
// over a dark blurred background.
std::shared_ptr<ViewController> makePopupMenu(Stage& stage) {
    auto appearance = std::make_shared<PopupMenuAppearance>();
    appearance->setPopupMenuBackgroundStyle(PopupMenuBackgroundStyle::blurred(BlurEffectStyle::dark));
    std::vector<std::shared_ptr<PopupMenuAction>> actions;
    for (int row = 0; row < 12; ++row) {
        actions.push_back(PopupMenuDefaultAction::make("Colour by choice " + std::to_string(row),
                                                       systemImage("xmark.circle.fill", 27, 3)));
    }
    return PopupMenuViewController::make(stage.anchor, std::move(actions), appearance);
}

// One benchmark iteration a frame; a presentation or dismissal begins on
// the frame after the last one ended. The slowest frame is reported too.
void run(benchmark::State& state, std::shared_ptr<ViewController> (*make)(Stage&)) {
    Stage stage;
    std::shared_ptr<ViewController> shown;
    bool busy = false;
    double worst = 0;
    for (auto _ : state) {
        const auto begun = std::chrono::steady_clock::now();
        if (make && !busy) {
            busy = true;
            if (!shown) {
                shown = make(stage);
                stage.root->presentViewController(shown, true, [&] { busy = false; });
            } else {
                shown->dismissViewController(true, [&] {
                    busy = false;
                    shown.reset();
                });
            }
        }
        stage.frame();
        worst = std::max(worst,
                         std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun).count());
    }
    state.counters["worst_ms"] = worst;
    // Nothing left running for the next run's clock.
    for (int frame = 0; busy && frame < 60; ++frame) stage.frame();
    if (shown) shown->dismissViewController(false);
}

}  // namespace present

void BM_PopoverPresentDismissFrame(benchmark::State& state) { present::run(state, present::makePopover); }
BENCHMARK(BM_PopoverPresentDismissFrame)->Unit(benchmark::kMillisecond);

void BM_BlurredBackdropPresentDismissFrame(benchmark::State& state) { present::run(state, present::makeBlurred); }
BENCHMARK(BM_BlurredBackdropPresentDismissFrame)->Unit(benchmark::kMillisecond);

void BM_PopupMenuPresentDismissFrame(benchmark::State& state) { present::run(state, present::makePopupMenu); }
BENCHMARK(BM_PopupMenuPresentDismissFrame)->Unit(benchmark::kMillisecond);

// The first frame of a presentation alone: the menu made and presented,
// then one frame; it is taken away unanimated, untimed.
void BM_PopupMenuFirstFrame(benchmark::State& state) {
    present::Stage stage;
    for (auto _ : state) {
        auto menu = present::makePopupMenu(stage);
        stage.root->presentViewController(menu, true);
        stage.frame();
        state.PauseTiming();
        stage.clock->advance(std::chrono::milliseconds(200));
        menu->dismissViewController(false);
        stage.clock->advance(std::chrono::milliseconds(20));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PopupMenuFirstFrame)->Unit(benchmark::kMillisecond);

// Drawing and blurring one backdrop of the whole window, as a presentation
// over a visual effect view does once.
void BM_VisualEffectBackdrop(benchmark::State& state) {
    present::Stage stage;
    auto blur =
        std::make_shared<platform::ui::VisualEffectView>(platform::ui::BlurEffectStyle::dark, Rect{0, 0, 390, 844});
    stage.window->addSubview(blur);
    for (auto _ : state) blur->refreshBackdrop();
}
BENCHMARK(BM_VisualEffectBackdrop)->Unit(benchmark::kMillisecond);

void BM_PhoneScreenFrame_Baseline(benchmark::State& state) { present::run(state, nullptr); }
BENCHMARK(BM_PhoneScreenFrame_Baseline)->Unit(benchmark::kMillisecond);

namespace table {

using platform::ui::IndexPath;
using platform::ui::TableView;
using platform::ui::TableViewCell;
using platform::ui::TableViewCellStyle;

constexpr double kPhoneWidth = 390;
constexpr double kPhoneHeight = 844;
constexpr double kPhoneScale = 3;
constexpr int kRows = 10000;

class Rows : public platform::ui::TableViewDataSource {
public:
    int numberOfRowsInSection(TableView&, int) override { return kRows; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, IndexPath indexPath) override {
        auto cell = tableView.dequeueReusableCell("Row");
        cell->textLabel()->setText("Row " + std::to_string(indexPath.row));
        cell->detailTextLabel()->setText("Detail of row " + std::to_string(indexPath.row));
        return cell;
    }
};

struct Phone {
    std::shared_ptr<platform::ui::View> root =
        std::make_shared<platform::ui::View>(Rect{0, 0, kPhoneWidth, kPhoneHeight});
    std::shared_ptr<TableView> table = TableView::make({0, 0, kPhoneWidth, kPhoneHeight});
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
    std::unique_ptr<BitmapContext> screen = BitmapContext::create(
        static_cast<int>(kPhoneWidth * kPhoneScale), static_cast<int>(kPhoneHeight* kPhoneScale), kPhoneScale);
    int frame = 0;

    Phone() {
        root->setBackgroundColor(Color{1, 1, 1, 1});
        table->registerCell("Row", [](const std::string& identifier) {
            return std::make_shared<TableViewCell>(TableViewCellStyle::subtitle, identifier);
        });
        table->setDataSource(rows);
        root->addSubview(table);
        draw();
    }

    void draw() {
        root->layoutIfNeeded();
        platform::ui::renderLayerTree(*root->layer(), *screen, {frame / 60.0, kPhoneScale});
        ++frame;
    }
};

void BM_TableScrollScreenPerFrame(benchmark::State& state) {
    Phone phone;
    std::size_t cells = 0;
    for (auto _ : state) {
        double y = phone.table->contentOffset().y + kPhoneHeight;
        if (y > phone.table->maximumContentOffset().y) y = 0;
        phone.table->setContentOffset({0, y});
        phone.draw();
        cells = std::max(cells, phone.table->findViews<TableViewCell>().size());
    }
    state.counters["cells"] = static_cast<double>(cells);
}
BENCHMARK(BM_TableScrollScreenPerFrame)->Unit(benchmark::kMillisecond);

void BM_TableSteadyFrame_Baseline(benchmark::State& state) {
    Phone phone;
    for (auto _ : state) phone.draw();
}
BENCHMARK(BM_TableSteadyFrame_Baseline)->Unit(benchmark::kMillisecond);

}  // namespace table

}  // namespace

BENCHMARK_MAIN();
