// The compositor's plans and raster jobs, checked without pixels: which
// items a tree gives, in which order and nesting, what is left out, which
// jobs given rasters make, which bands a bitmap is drawn in, where rasters
// are kept, and that raster jobs draw from snapshots, never from the
// layers of the tree.

#include "tests/support/PixelCompare.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/Transform3D.h"
#include "platform/ui/core/detail/AnimationRun.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/render/Planner.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/Rasterizer.h"
#include "platform/ui/render/Replay.h"
#include "platform/ui/render/Scheduler.h"
#include "platform/ui/views/Label.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numeric>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Context;
using platform::Path;
using platform::Rect;
using platform::RunLoop;
using platform::TextAlignment;
using namespace platform::ui;

namespace {

std::shared_ptr<Layer> filledLayer(const Rect& frame, const Color& color) {
    auto layer = Layer::make();
    layer->setFrame(frame);
    layer->setBackgroundColor(color);
    return layer;
}

// The plan's items by kind, one letter each: Enter, eXit, Group begin and
// end (g), Clip begin and end (c), Fill, Image, Draw, Marks, Low quality.
std::string kinds(const FramePlan& plan) {
    static const char kLetters[] = "EXLGgCcFIDM";
    std::string out;
    for (const PlanItem& item : plan.items) out += kLetters[item.index()];
    return out;
}

// A frame planned with raster jobs over `area`, its rasters kept in
// `cache` once the jobs are done.
FramePlan planWithJobs(Layer& root, Context& context, RasterCache& cache, const Rect& area) {
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.area = area;
    Rasterizer jobs{RenderTuning{}};
    FramePlan planned = planFrame(root, context, setup, &cache, &jobs);
    jobs.finish(&cache);
    return planned;
}

FramePlan plan(Layer& root, Context& context, RasterCache* cache, bool keepsRasters = true) {
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.keepsRasters = keepsRasters;
    setup.area = Rect{0, 0, 200, 200};
    return planFrame(root, context, setup, cache, nullptr);
}

}  // namespace

namespace platform::ui {
void PrintTo(const RasterJobSpec& job, std::ostream* out) {
    *out << "{kind " << static_cast<int>(job.kind) << ", requests";
    for (const std::size_t r : job.requests) *out << ' ' << r;
    *out << ", pieces " << job.pieces << (job.stroked ? ", stroked}" : "}");
}
}  // namespace platform::ui

TEST(RenderPlan, ATreeGivesItsItemsInOrderNestedAndCulled) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto plain = filledLayer({10, 10, 20, 20}, {1, 0, 0, 1});
    root->addSublayer(plain);
    auto hidden = filledLayer({10, 10, 20, 20}, {1, 0, 0, 1});
    hidden->setHidden(true);
    root->addSublayer(hidden);
    auto away = filledLayer({500, 500, 20, 20}, {1, 0, 0, 1});  // off the bitmap
    root->addSublayer(away);
    // Two parts at half opacity fade as one group; a bordered child inside.
    auto faded = filledLayer({50, 50, 40, 40}, {0, 0, 1, 1});
    faded->setOpacity(0.5);
    auto bordered = filledLayer({5, 5, 10, 10}, {0, 1, 0, 1});
    bordered->setBorderWidth(1);
    bordered->setBorderColor({0, 0, 0, 1});
    faded->addSublayer(bordered);
    root->addSublayer(faded);
    // Clipping to its bounds around a sublayer, drawn above the rest.
    auto clipping = filledLayer({100, 100, 30, 30}, {0, 1, 0, 1});
    clipping->setMasksToBounds(true);
    clipping->addSublayer(filledLayer({0, 0, 60, 60}, {0, 0, 0, 1}));
    clipping->setZPosition(1);
    root->insertSublayer(clipping, 0);
    // A masked layer: a group ended through the mask's raster.
    auto masked = filledLayer({150, 10, 30, 30}, {0, 0, 0, 1});
    masked->setMask(filledLayer({0, 0, 15, 30}, {0, 0, 0, 1}));
    root->addSublayer(masked);

    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const FramePlan frame = plan(*root, *context, &cache);
    EXPECT_EQ(kinds(frame),
              "EF"
              "EFX"
              "EGFEFFXgX"
              "EGFgX"
              "EFCEFXcX"
              "X");
    EXPECT_FALSE(frame.mainThread);
    // Each enter knows its exit; the group's alpha is the layer's, and
    // inside it its sublayer starts from full alpha.
    for (std::size_t i = 0; i < frame.items.size(); ++i) {
        if (const auto* enter = std::get_if<PlanEnter>(&frame.items[i])) {
            ASSERT_LT(enter->end, frame.items.size());
            EXPECT_TRUE(std::holds_alternative<PlanExit>(frame.items[enter->end])) << "item " << i;
        }
    }
    EXPECT_EQ(std::get<PlanEnter>(frame.items[0]).end, frame.items.size() - 1);
    EXPECT_DOUBLE_EQ(std::get<PlanEnter>(frame.items[5]).alpha, 0.5);
    EXPECT_DOUBLE_EQ(std::get<PlanEnter>(frame.items[8]).alpha, 1.0);
    const auto& maskEnd = std::get<PlanGroupEnd>(frame.items[17]);
    ASSERT_NE(maskEnd.mask, nullptr);
    EXPECT_EQ(maskEnd.maskRect, (Rect{0, 0, 15, 30}));
    const auto& clip = std::get<PlanClipBegin>(frame.items[21]);
    EXPECT_EQ(clip.path.boundingBox(), (Rect{0, 0, 30, 30}));
}

// The red of each fill the plan draws, in order (a fill left out has no
// shape).
std::vector<double> fillsDrawn(const FramePlan& plan) {
    std::vector<double> reds;
    for (const PlanItem& item : plan.items) {
        const auto* fill = std::get_if<PlanFill>(&item);
        if (fill && (fill->path || fill->rounded)) reds.push_back(fill->color.red);
    }
    return reds;
}

TEST(RenderPlan, AnOpaqueBackgroundOnWholePixelsLeavesOutTheBackgroundsItHides) {
    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    // A screen's background under a table's, under a cell's: only the last
    // is drawn where it covers the others wholly.
    auto root = filledLayer({0, 0, 200, 200}, {0.1, 1, 1, 1});
    auto table = filledLayer({0, 0, 200, 200}, {0.2, 1, 1, 1});
    auto cell = filledLayer({0, 0, 200, 200}, {0.3, 1, 1, 1});
    auto label = filledLayer({10, 10, 20, 20}, {0.4, 1, 1, 1});
    root->addSublayer(table);
    table->addSublayer(cell);
    cell->addSublayer(label);
    const FramePlan covered = plan(*root, *context, &cache);
    EXPECT_EQ(kinds(covered), "EFEFEFEFXXXX");
    EXPECT_EQ(fillsDrawn(covered), (std::vector<double>{0.3, 0.4}));
    // Replayed, the frame shows the cell's background and the label on it.
    replayPlan(covered, *context);
    const auto image = context->makeImage();
    const auto at = [&](int x, int y) { return image->pixel(x, y).value_or(platform::Pixel{}); };
    EXPECT_NEAR(at(100, 100).red, 0.3 * 255, 1);
    EXPECT_EQ(at(100, 100).alpha, 255);
    EXPECT_EQ(at(0, 0), at(100, 100));
    EXPECT_NEAR(at(15, 15).red, 0.4 * 255, 1);

    // A background's path is made again only when its bounds or corners
    // change.
    const auto labelPath = [](const FramePlan& frame) { return std::get<PlanFill>(frame.items[7]).path; };
    const auto first = labelPath(covered);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(labelPath(plan(*root, *context, &cache)), first);
    label->setBounds({0, 0, 30, 20});
    const auto wider = labelPath(plan(*root, *context, &cache));
    ASSERT_NE(wider, nullptr);
    EXPECT_EQ(wider->boundingBox(), (Rect{0, 0, 30, 20}));
    label->setCornerRadius(5);
    const auto rounded = labelPath(plan(*root, *context, &cache));
    ASSERT_NE(rounded, nullptr);
    EXPECT_NE(rounded->elements().size(), wider->elements().size()) << "corners made round";

    // Nothing is hidden by a background that lets anything show through or
    // does not reach the edge of a pixel: translucent, rounded, faded by
    // its layer's opacity, off the pixel grid, smaller, or cut by a clip
    // opened since.
    const auto keeps = [&](const std::function<void(Layer&)>& change, const char* why) {
        auto under = filledLayer({0, 0, 200, 200}, {0.1, 1, 1, 1});
        auto over = filledLayer({0, 0, 200, 200}, {0.2, 1, 1, 1});
        auto between = Layer::make();
        between->setFrame({0, 0, 200, 200});
        under->addSublayer(between);
        between->addSublayer(over);
        change(*over);
        EXPECT_EQ(fillsDrawn(plan(*under, *context, &cache)), (std::vector<double>{0.1, 0.2})) << why;
    };
    keeps([](Layer& over) { over.setBackgroundColor(Color{0.2, 1, 1, 0.5}); }, "translucent");
    keeps([](Layer& over) { over.setCornerRadius(4); }, "rounded");
    keeps([](Layer& over) { over.setOpacity(0.5); }, "faded");
    keeps([](Layer& over) { over.setFrame({-0.5, -0.5, 201, 201}); }, "off the pixel grid");
    keeps([](Layer& over) { over.setFrame({0, 0, 200, 199}); }, "smaller");
    keeps(
        [](Layer& over) {
            over.superlayer()->setFrame({0, 0, 100, 100});
            over.superlayer()->setMasksToBounds(true);
        },
        "clipped");
}

TEST(RenderPlan, KeptContentIsFoundByLayerIdAndDelegatesDrawingAfreshKeepTheFrameOnTheMainThread) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto shape = ShapeLayer::make();
    shape->setFrame({10, 10, 50, 50});
    Path path;
    path.addEllipseInRect({0, 0, 40, 40});
    shape->setPath(path);
    shape->setFillColor({1, 0, 0, 1});
    root->addSublayer(shape);
    struct Ink : LayerDelegate {
        void drawLayer(Layer&, Context& context) override { context.fillRect({0, 0, 5, 5}); }
    };
    const auto ink = std::make_shared<Ink>();
    auto drawn = Layer::make();
    drawn->setFrame({100, 100, 20, 20});
    drawn->setDelegate(ink);
    drawn->setNeedsDisplay();
    root->addSublayer(drawn);

    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const FramePlan first = plan(*root, *context, &cache);
    EXPECT_EQ(kinds(first), "EFEIXEIXX");
    const RasterEntry* kept = cache.find({shape->identifier(), kRasterContent, 0});
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->image.get(), std::get<PlanImage>(first.items[3]).image);
    ASSERT_NE(cache.find({drawn->identifier(), kRasterContent, 0}), nullptr);
    // The next frame finds the same rasters; a change makes the shape's anew.
    const FramePlan again = plan(*root, *context, &cache);
    EXPECT_EQ(std::get<PlanImage>(again.items[3]).image, std::get<PlanImage>(first.items[3]).image);
    shape->setFillColor({0, 0, 1, 1});
    const FramePlan changed = plan(*root, *context, &cache);
    EXPECT_NE(std::get<PlanImage>(changed.items[3]).image, std::get<PlanImage>(first.items[3]).image);
    EXPECT_FALSE(changed.mainThread);

    // Drawn apart from the screen, content is drawn afresh: the shape from
    // anywhere, the delegate on the main thread only.
    const std::size_t stored = cache.count();
    const FramePlan apart = plan(*root, *context, &cache, false);
    EXPECT_EQ(kinds(apart), "EFEDXEDXX");
    EXPECT_FALSE(std::get<PlanDraw>(apart.items[3]).clips);
    EXPECT_EQ(std::get<PlanDraw>(apart.items[6]).layer, drawn.get()) << "a delegate draws from its own layer";
    EXPECT_TRUE(std::get<PlanDraw>(apart.items[6]).clips);
    EXPECT_TRUE(apart.mainThread) << "no bands for this plan";
    EXPECT_EQ(cache.count(), stored) << "nothing kept apart from the screen";
}

// A label keeps a raster of where its text draws, not of its whole width:
// its text (with an em of room each side) and nothing far beyond it.
TEST(RenderPlan, AShortTextInAWideLabelIsKeptOnlyWhereItDraws) {
    constexpr double kSize = 12;
    const double text = platform::measureText("Hi", "DejaVu Sans", kSize).width;
    const double room = 2 * (kSize + 1) + 1;  // an em and a point each side, a pixel of rounding
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto label = std::make_shared<Label>(Rect{10, 20, 180, 30});
    label->setFont(Font::systemFont(kSize));
    label->setText("Hi");
    root->addSublayer(label->layer());
    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const RasterKey key{label->layer()->identifier(), kRasterContent, 0};

    plan(*root, *context, &cache);
    const RasterEntry* left = cache.find(key);
    ASSERT_NE(left, nullptr);
    // In the label's own coordinates.
    EXPECT_LE(left->rect.minX(), 0);
    EXPECT_GE(left->rect.maxX(), text);
    EXPECT_LE(left->rect.width, text + room);
    EXPECT_EQ(left->rect.minY(), 0);
    EXPECT_EQ(left->rect.height, 30);

    label->setTextAlignment(TextAlignment::right);
    plan(*root, *context, &cache);
    const RasterEntry* right = cache.find(key);
    ASSERT_NE(right, nullptr);
    EXPECT_LE(right->rect.minX(), 180 - text);
    EXPECT_EQ(right->rect.maxX(), 180) << "to the bounds' edge, no further";
    EXPECT_LE(right->rect.width, text + room);

    // No text: no raster at all.
    label->setText("");
    EXPECT_EQ(kinds(plan(*root, *context, &cache)), "EFEXX");
}

// While a label's bounds animate, the raster made for its model's bounds is
// stretched to the bounds shown: the part its text draws in is taken at the
// same share of them, so that it stretches as the whole bounds did.
TEST(RenderPlan, ALabelsTextPartStretchesWithTheBoundsShown) {
    using detail::LayerAccess;
    auto label = std::make_shared<Label>(Rect{0, 0, 180, 30});
    label->setFont(Font::systemFont(12));
    label->setText("Hi");
    label->setTextAlignment(TextAlignment::center);
    const Rect model = LayerAccess::contentExtent(*label->layer());
    ASSERT_LT(model.width, 90);
    ASSERT_GT(model.minX(), 45);
    const auto shown = label->layer()->presentationLayer();
    ASSERT_TRUE(LayerAccess::assignValue(*shown, "bounds", Rect{0, 0, 360, 60}));
    const Rect stretched = LayerAccess::contentExtent(*shown);
    EXPECT_DOUBLE_EQ(stretched.minX(), 2 * model.minX());
    EXPECT_DOUBLE_EQ(stretched.width, 2 * model.width);
    EXPECT_DOUBLE_EQ(stretched.minY(), 0);
    EXPECT_DOUBLE_EQ(stretched.height, 60);
    EXPECT_EQ(LayerAccess::contentExtent(*label->layer()), model) << "the model's part is unchanged";
}

TEST(RenderPlan, AShapesPathIsMeasuredWhenFirstAskedFromAnyThreadAndItsCopiesShareIt) {
    using detail::LayerAccess;
    // A V whose tip turns sharply: its mitred corner reaches the root of
    // 101 half line widths out, within the limit of 20.
    Path v;
    v.moveTo({0, 0});
    v.lineTo({10, 100});
    v.lineTo({20, 0});
    auto shape = ShapeLayer::make();
    shape->setStrokeColor({0, 0, 0, 1});
    shape->setLineWidth(2);
    shape->setLineJoin(platform::LineJoin::miter);
    shape->setMiterLimit(20);
    shape->setPath(v);
    const double outset = 1 + std::sqrt(101.0);  // anti-aliasing, then the corner
    const Rect box{0, 0, 20, 100};
    const Rect extent{-outset, -outset, 20 + 2 * outset, 100 + 2 * outset};

    // Copies made before anything asked, asked at once on several threads.
    constexpr int kThreads = 6;
    std::vector<std::shared_ptr<Layer>> copies;
    for (int i = 0; i < kThreads; ++i) copies.push_back(shape->presentationLayer());
    std::vector<Rect> boxes(kThreads);
    std::vector<Rect> extents(kThreads);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) std::this_thread::yield();
            const auto& copy = static_cast<const ShapeLayer&>(*copies[static_cast<std::size_t>(i)]);
            boxes[static_cast<std::size_t>(i)] = copy.pathBoundingBox();
            extents[static_cast<std::size_t>(i)] = LayerAccess::contentExtent(copy);
        });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(boxes[static_cast<std::size_t>(i)], box) << "copy " << i;
        const Rect& e = extents[static_cast<std::size_t>(i)];
        EXPECT_NEAR(e.x, extent.x, 1e-9) << "copy " << i;
        EXPECT_NEAR(e.y, extent.y, 1e-9) << "copy " << i;
        EXPECT_NEAR(e.width, extent.width, 1e-9) << "copy " << i;
        EXPECT_NEAR(e.height, extent.height, 1e-9) << "copy " << i;
    }
    EXPECT_EQ(shape->pathBoundingBox(), box) << "the model shares what its copies measured";

    // A new path is measured afresh; copies made before keep the old one.
    Path flat;
    flat.moveTo({5, 5});
    flat.lineTo({45, 5});
    shape->setPath(flat);
    EXPECT_EQ(shape->pathBoundingBox(), (Rect{5, 5, 40, 0}));
    const Rect flatExtent = LayerAccess::contentExtent(*shape);
    const double capReach = 1 + std::sqrt(2.0);  // a straight line turns nowhere: the square cap's reach
    EXPECT_NEAR(flatExtent.x, 5 - capReach, 1e-9);
    EXPECT_NEAR(flatExtent.height, 2 * capReach, 1e-9);
    EXPECT_EQ(static_cast<const ShapeLayer&>(*copies.front()).pathBoundingBox(), box);
    // An empty path draws nothing.
    shape->setPath(Path{});
    EXPECT_EQ(LayerAccess::contentExtent(*shape), Rect{});
}

TEST(RenderPlan, BandsAreChosenFromTheSizeAndKeepWhatOverlapsThem) {
    const RenderTuning tuning;
    EXPECT_EQ(bandsFor(600, 500, tuning).size(), 1u) << "too small to pay for threads";
    const auto sixteen = bandsFor(2048, 1536, tuning);
    ASSERT_EQ(sixteen.size(), 16u);
    for (std::size_t i = 0; i < sixteen.size(); ++i) EXPECT_EQ(sixteen[i], (BandRows{96 * int(i), 96 * int(i + 1)}));
    const auto nine = bandsFor(1200, 1000, tuning);  // 1.2 Mpx at 128 Kpx a band
    ASSERT_EQ(nine.size(), 9u);
    EXPECT_EQ(nine[1], (BandRows{111, 222}));
    EXPECT_EQ(nine.back().end, 1000);
    RenderTuning few = tuning;
    few.mostBands = 4;
    EXPECT_EQ(bandsFor(2048, 1536, few).size(), 4u);
    few.fewestRowsPerBand = 1000;
    EXPECT_EQ(bandsFor(2048, 1536, few).size(), 1u) << "no band thinner than its fewest rows";

    // A band counts the leaves whose area overlaps its rows.
    FramePlan frame;
    const auto leaf = [&](double top, double height) {
        const auto at = static_cast<std::uint32_t>(frame.items.size());
        frame.items.push_back(PlanEnter{{}, 1, at + 2, true, Rect{0, top, 10, height}});
        frame.items.push_back(PlanFill{});
        frame.items.push_back(PlanExit{});
    };
    frame.items.push_back(PlanEnter{{}, 1, 0, true, Rect{0, 0, 10, 300}});
    leaf(0, 10);
    leaf(95, 10);
    leaf(250, 10);
    std::get<PlanEnter>(frame.items[0]).end = static_cast<std::uint32_t>(frame.items.size());
    frame.items.push_back(PlanExit{});
    const std::vector<BandRows> rows{{0, 100}, {100, 200}, {200, 300}};
    EXPECT_EQ(bandLoads(frame, rows), (std::vector<std::size_t>{2, 1, 1}));

    // The planner counts them as it goes, faded and shadowed parts too.
    auto root = filledLayer({0, 0, 300, 300}, {1, 1, 1, 1});
    for (int i = 0; i < 9; ++i) {
        auto part = filledLayer({10.0 + i * 30, 12.0 + i * 31, 20, 40}, {0, 0, 1, 1});
        if (i % 3 == 0) part->addSublayer(filledLayer({2, 2, 8, 8}, {1, 0, 0, 1}));
        if (i == 4) part->setOpacity(0.5);
        root->addSublayer(part);
    }
    auto shadowed = filledLayer({200, 20, 60, 40}, {1, 1, 1, 1});
    shadowed->setShadowOpacity(0.3);
    shadowed->setShadowRadius(20);
    root->addSublayer(shadowed);
    auto bitmap = BitmapContext::create(300, 300);
    RasterCache cache;
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.area = Rect{0, 0, 300, 300};
    setup.bands = rows;
    Rasterizer jobs{RenderTuning{}};
    const FramePlan planned = planFrame(*root, *bitmap, setup, &cache, &jobs);
    jobs.finish(&cache);
    EXPECT_EQ(planned.bandLoads, bandLoads(planned, rows));
    EXPECT_GE(std::accumulate(planned.bandLoads.begin(), planned.bandLoads.end(), std::size_t{0}), 10u)
        << "ten leaves, each in a band at least";
}

TEST(RenderPlan, BandsRunWhatGoesAlongsideOnceOnTheCallingThread) {
    auto root = filledLayer({0, 0, 64, 64}, {1, 0, 0, 1});
    root->addSublayer(filledLayer({0, 40, 64, 24}, {0, 0, 1, 1}));
    auto bitmap = BitmapContext::create(64, 64);
    RasterCache cache;
    const FramePlan frame = plan(*root, *bitmap, &cache);
    const std::vector<BandRows> rows{{0, 16}, {16, 32}, {32, 48}, {48, 64}};
    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<BitmapContext>> bands;
        for (const BandRows& band : rows) bands.push_back(bitmap->band(band.first, band.end));
        int runs = 0;
        std::thread::id where;
        replayInBands(frame, bands, rows, [&] {
            ++runs;
            where = std::this_thread::get_id();
        });
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(where, std::this_thread::get_id());
        for (const auto& band : bands) EXPECT_EQ(band, nullptr) << "each band let go once drawn";
    }
    const auto image = bitmap->makeImage();
    EXPECT_EQ(image->pixel(10, 10), (platform::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(image->pixel(10, 50), (platform::Pixel{0, 0, 255, 255}));
}

TEST(RenderPlan, RastersGiveBatchesRowsAndSingleJobs) {
    RenderTuning tuning;
    tuning.rastersPerBatch = 3;
    tuning.batchesLookedAt = 2;
    std::vector<RasterJobSpec> jobs;
    RasterScheduler scheduler(tuning, [&](RasterJobSpec job) { jobs.push_back(std::move(job)); });
    const StrokeStyle blue{{0, 0, 1, 1}, 2};
    const StrokeStyle red{{1, 0, 0, 1}, 2};
    const auto small = [](std::optional<StrokeStyle> stroke) { return RasterRequest{20, 20, 2, true, false, stroke}; };
    scheduler.add(0, small(blue));
    scheduler.add(1, small(red));
    scheduler.add(2, small(blue));
    scheduler.add(3, small(blue));                                   // fills the blue batch
    scheduler.add(4, small(std::nullopt));                           // a text: batched apart from strokes
    scheduler.add(5, RasterRequest{600, 600, 2, true, false, {}});   // 360,000 pixels: in rows
    scheduler.add(6, RasterRequest{100, 100, 2, false, false, {}});  // a view's drawing: alone
    scheduler.add(7, RasterRequest{20, 20, 2, true, true, blue});    // a part of a whole: alone
    scheduler.add(8, RasterRequest{20, 20, 3, true, false, red});    // another scale: a batch of its own
    scheduler.add(9, small(red));  // the red batch is past the last two looked at: a new one
    scheduler.finish();
    using Kind = RasterJobSpec::Kind;
    const std::vector<RasterJobSpec> expected{
        {Kind::batch, {0, 2, 3}, 1, true}, {Kind::rows, {5}, 5, false}, {Kind::single, {6}, 1, false},
        {Kind::single, {7}, 1, false},     {Kind::batch, {1}, 1, true}, {Kind::batch, {4}, 1, false},
        {Kind::batch, {8}, 1, true},       {Kind::batch, {9}, 1, true},
    };
    EXPECT_EQ(jobs, expected);
    EXPECT_EQ(RasterScheduler::rowPieces(10.0 * 1024 * 1024, tuning), 8) << "no more pieces than threads";

    // A batch is drawn once its rows would pass the most it holds.
    tuning.mostBatchRows = 50;
    jobs.clear();
    RasterScheduler rows(tuning, [&](RasterJobSpec job) { jobs.push_back(std::move(job)); });
    for (std::size_t i = 0; i < 3; ++i) rows.add(i, small(std::nullopt));
    rows.finish();
    EXPECT_EQ(jobs, (std::vector<RasterJobSpec>{{Kind::batch, {0, 1}, 1, false}, {Kind::batch, {2}, 1, false}}));
}

// A chart of many bars clipped to rounded corners: each bar a kept whole
// with a label as its part. Each whole's job goes out as soon as it is
// planned, not after the walk, and nothing of them waits for `finish`.
TEST(RenderPlan, WholesGoToJobsAsTheyArePlanned) {
    RenderTuning tuning;
    std::vector<RasterJobSpec> jobs;
    RasterScheduler scheduler(tuning, [&](RasterJobSpec job) { jobs.push_back(std::move(job)); });
    using Kind = RasterJobSpec::Kind;
    constexpr std::size_t kBars = 200;
    for (std::size_t bar = 0; bar < kBars; ++bar) {
        scheduler.add(bar, RasterRequest{20, 20, 2, true, true, {}});  // the bar's label
        scheduler.addWhole(bar);
        ASSERT_EQ(jobs.size(), 2 * (bar + 1)) << "bar " << bar;
        EXPECT_EQ(jobs[2 * bar], (RasterJobSpec{Kind::single, {bar}, 1, false}));
        EXPECT_EQ(jobs[2 * bar + 1], (RasterJobSpec{Kind::whole, {bar}, 1, false}));
    }
    scheduler.finish();
    EXPECT_EQ(jobs.size(), 2 * kBars);
}

namespace {

// Records which layers it is asked to draw, from any thread.
class Recorder : public LayerDelegate {
public:
    void drawLayer(Layer& layer, Context& context) override {
        {
            std::lock_guard lock(mMutex);
            mDrawn.insert(&layer);
        }
        context.setFillColor({0, 0, 1, 1});
        context.fillRect(layer.bounds());
    }
    bool drawsOnAnyThread(const Layer&) const override { return true; }
    std::set<const Layer*> drawn() {
        std::lock_guard lock(mMutex);
        return mDrawn;
    }

private:
    std::mutex mMutex;
    std::set<const Layer*> mDrawn;
};

}  // namespace

TEST(RenderPlan, RasterJobsDrawSnapshotsIntoTheCacheGiven) {
    // Large enough for bands: the rasters are drawn by jobs on the pool.
    auto root = filledLayer({0, 0, 600, 500}, {1, 1, 1, 1});
    const auto recorder = std::make_shared<Recorder>();
    std::vector<std::shared_ptr<Layer>> drawn;
    for (int i = 0; i < 40; ++i) {
        auto layer = Layer::make();
        layer->setFrame({10.0 + (i % 8) * 70, 10.0 + (i / 8) * 90, 60, 80});
        layer->setDelegate(recorder);
        layer->setNeedsDisplay();
        root->addSublayer(layer);
        drawn.push_back(layer);
    }
    auto screen = BitmapContext::create(1200, 1000, 2);
    RasterCache cache;
    RenderOptions options{currentMediaTime(), 2};
    options.cache = &cache;
    renderLayerTree(*root, *screen, options);
    const auto asked = recorder->drawn();
    EXPECT_EQ(asked.size(), drawn.size());
    for (const auto& layer : drawn) {
        EXPECT_EQ(asked.count(layer.get()), 0u) << "a job drew from a layer of the tree";
        const RasterEntry* kept = cache.find({layer->identifier(), kRasterContent, 0});
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->image->pixelWidth(), 120);
    }
    EXPECT_EQ(screen->pixel(2 * 40, 2 * 40), (platform::Pixel{0, 0, 255, 255}));
    // Drawn in one piece, chosen before the work, the same rasters serve.
    const std::size_t count = cache.count();
    options.banding = Banding::onePiece;
    auto piece = BitmapContext::create(1200, 1000, 2);
    renderLayerTree(*root, *piece, options);
    EXPECT_EQ(recorder->drawn().size(), asked.size()) << "nothing drawn again";
    EXPECT_EQ(cache.count(), count);
    EXPECT_EQ(piece->pixel(2 * 40, 2 * 40), (platform::Pixel{0, 0, 255, 255}));
}

// Batched rasters are parts of one bitmap, large ones drawn in rows by
// several jobs: the cache counts each at its own pixels.
TEST(RenderPlan, RastersMadeByJobsAreCountedAtTheirOwnPixels) {
    auto root = filledLayer({0, 0, 600, 500}, {1, 1, 1, 1});
    std::vector<std::shared_ptr<Layer>> shapes;
    const auto add = [&](const Rect& frame) {
        auto shape = ShapeLayer::make();
        shape->setFrame(frame);
        Path path;
        path.addEllipseInRect({0, 0, frame.width, frame.height});
        shape->setPath(path);
        shape->setFillColor({1, 0, 0, 1});
        root->addSublayer(shape);
        shapes.push_back(shape);
    };
    for (int i = 0; i < 30; ++i) add({10.0 + (i % 10) * 30, 10.0 + (i / 10) * 30, 20, 20.0 + i % 3});
    add({320, 10, 100, 60});
    add({10, 120, 580, 370});
    auto screen = BitmapContext::create(1200, 1000, 2);
    RasterCache cache;
    RenderOptions options{currentMediaTime(), 2};
    options.cache = &cache;
    renderLayerTree(*root, *screen, options);
    std::size_t sum = 0;
    std::set<std::pair<int, int>> sizes;
    for (const auto& shape : shapes) {
        const RasterEntry* kept = cache.find({shape->identifier(), kRasterContent, 0});
        ASSERT_NE(kept, nullptr);
        sizes.insert({kept->image->pixelWidth(), kept->image->pixelHeight()});
        sum += RasterCache::bytesOf(*kept);
    }
    EXPECT_EQ(sizes.size(), 5u) << "three heights of small ones, a middle one and a large one";
    EXPECT_EQ(cache.bytes(), sum);
    EXPECT_EQ(screen->pixel(2 * 20, 2 * 20), (platform::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(screen->pixel(2 * 300, 2 * 300), (platform::Pixel{255, 0, 0, 255}));
}

TEST(RenderPlan, RastersOfALayerThatWentAwayLeaveTheCacheAtTheNextFrame) {
    auto root = filledLayer({0, 0, 100, 100}, {1, 1, 1, 1});
    auto shape = ShapeLayer::make();
    shape->setFrame({10, 10, 50, 50});
    Path path;
    path.addEllipseInRect({0, 0, 40, 40});
    shape->setPath(path);
    shape->setFillColor({1, 0, 0, 1});
    root->addSublayer(shape);
    auto kept = ShapeLayer::make();
    kept->setFrame({60, 60, 20, 20});
    kept->setPath(path);
    kept->setFillColor({0, 0, 1, 1});
    root->addSublayer(kept);
    auto context = BitmapContext::create(100, 100);
    RasterCache cache;
    RenderOptions options{currentMediaTime(), 1};
    options.cache = &cache;
    renderLayerTree(*root, *context, options);
    const RasterKey key{shape->identifier(), kRasterContent, 0};
    ASSERT_NE(cache.find(key), nullptr);
    shape->removeFromSuperlayer();
    shape.reset();
    renderLayerTree(*root, *context, options);
    EXPECT_EQ(cache.find(key), nullptr) << "not left to wait for the budget";
    EXPECT_NE(cache.find({kept->identifier(), kRasterContent, 0}), nullptr);
}

namespace {

// A box over a white root, its shadow given by an outline of rounded
// corners: a deviation of 20 pixels, made at fewer pixels and kept
// stretched.
std::shared_ptr<Layer> shadowedBox(const Rect& frame, double cornerRadius) {
    auto box = filledLayer(frame, {1, 1, 1, 1});
    box->setShadowOpacity(0.3);
    box->setShadowRadius(20);
    box->setShadowOffset({0, 2});
    Path outline;
    outline.addRoundedRect({0, 0, frame.width, frame.height}, cornerRadius);
    box->setShadowPath(outline);
    return box;
}

// The plan's shadows are the images it samples quickly.
const PlanImage& shadowIn(const FramePlan& plan) {
    for (const PlanItem& item : plan.items) {
        if (const auto* image = std::get_if<PlanImage>(&item); image && image->lowQuality) return *image;
    }
    static const PlanImage kNone{};
    ADD_FAILURE() << "no shadow in the plan";
    return kNone;
}

bool samePixels(const platform::Image& a, const platform::Image& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return false;
    for (int y = 0; y < a.pixelHeight(); ++y) {
        const auto* rowA = a.premultipliedRows().data + std::ptrdiff_t{y} * a.premultipliedRows().bytesPerRow;
        const auto* rowB = b.premultipliedRows().data + std::ptrdiff_t{y} * b.premultipliedRows().bytesPerRow;
        if (std::memcmp(rowA, rowB, std::size_t(a.pixelWidth()) * 4) != 0) return false;
    }
    return true;
}

}  // namespace

// A popover's shadow: blurred once, then found while its layer fades and
// moves, and by a layer made anew with the same outline (the popover shown
// again). Where the frame has raster jobs, the blur is one of them and the
// walk does not wait for it.
TEST(RenderPlan, AShadowPathIsBlurredOnceAndFoundByWhatShowsItAgain) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto box = shadowedBox({40, 40, 60, 40}, 8);
    root->addSublayer(box);
    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const FramePlan first = plan(*root, *context, &cache);
    const PlanImage made = shadowIn(first);
    ASSERT_NE(made.image, nullptr);

    // Frames of a fade in that also slides the box.
    const double now = currentMediaTime();
    auto fade = BasicAnimation::make("opacity");
    fade->setFromValue(0.2);
    fade->setToValue(1.0);
    fade->setDuration(10);
    fade->setBeginTime(now);
    box->addAnimation(fade, "fade");
    auto slide = BasicAnimation::make("position.y");
    slide->setFromValue(100.0);
    slide->setToValue(60.0);
    slide->setDuration(10);
    slide->setBeginTime(now);
    box->addAnimation(slide, "slide");
    for (int frame = 0; frame < 2; ++frame) {
        const FramePlan fading = plan(*root, *context, &cache);
        EXPECT_EQ(shadowIn(fading).image, made.image) << "frame " << frame << " of the fade blurred again";
    }

    // The same outline on a layer made anew, elsewhere: the same raster.
    auto again = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    again->addSublayer(shadowedBox({20, 90, 60, 40}, 8));
    EXPECT_EQ(shadowIn(plan(*again, *context, &cache)).image, made.image) << "shown again, blurred again";
    // Another outline, or another shadow, is blurred anew.
    auto other = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto rounder = shadowedBox({40, 40, 60, 40}, 12);
    other->addSublayer(rounder);
    EXPECT_NE(shadowIn(plan(*other, *context, &cache)).image, made.image);
    rounder->setShadowPath(box->shadowPath());
    rounder->setShadowOpacity(0.5);
    EXPECT_NE(shadowIn(plan(*other, *context, &cache)).image, made.image);

    // With raster jobs, into a cache that has not seen it: the walk leaves
    // the blur to a job, which makes the same pixels in the same place.
    RasterCache fresh;
    Rasterizer jobs{RenderTuning{}};
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.area = Rect{0, 0, 200, 200};
    auto shown = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    shown->addSublayer(shadowedBox({40, 40, 60, 40}, 8));
    const FramePlan queued = planFrame(*shown, *context, setup, &fresh, &jobs);
    const PlanImage job = shadowIn(queued);
    EXPECT_EQ(job.image, nullptr) << "blurred by the walk";
    ASSERT_NE(job.slot, nullptr);
    EXPECT_EQ(job.rect, made.rect);
    jobs.finish(&fresh);
    ASSERT_NE(job.slot->shown, nullptr);
    EXPECT_TRUE(samePixels(*job.slot->shown, *made.image));
    EXPECT_EQ(shadowIn(plan(*shown, *context, &fresh)).image, job.slot->shown) << "kept once the jobs are done";
}

// Two layers showing one outline share its blurred raster: the first
// changing its outline leaves it to the other, still showing it; the last
// one changing lets it go.
TEST(RenderPlan, AnOutlineStillShownKeepsItsShadowWhenAnotherLayerChangesOutline) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto first = shadowedBox({20, 20, 60, 40}, 8);
    auto second = shadowedBox({110, 110, 60, 40}, 8);
    root->addSublayer(first);
    root->addSublayer(second);
    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const auto shadows = [&] {
        std::vector<const platform::Image*> images;
        for (const PlanItem& item : plan(*root, *context, &cache).items) {
            if (const auto* image = std::get_if<PlanImage>(&item); image && image->lowQuality)
                images.push_back(image->image);
        }
        return images;
    };
    const auto shared = shadows();
    ASSERT_EQ(shared.size(), 2u);
    ASSERT_NE(shared[0], nullptr);
    EXPECT_EQ(shared[0], shared[1]) << "one raster for one outline";
    const std::size_t kept = cache.count();

    Path rounder;
    rounder.addRoundedRect({0, 0, 60, 40}, 12);
    first->setShadowPath(rounder);
    for (int frame = 0; frame < 2; ++frame) {
        const auto shown = shadows();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_NE(shown[0], shared[0]);
        EXPECT_EQ(shown[1], shared[1]) << "frame " << frame << ": the second layer's shadow was made again";
    }
    EXPECT_EQ(cache.count(), kept + 1);

    // The second follows: nobody shows the first outline, and it goes.
    second->setShadowPath(rounder);
    const auto same = shadows();
    ASSERT_EQ(same.size(), 2u);
    EXPECT_EQ(same[0], same[1]);
    EXPECT_EQ(cache.count(), kept) << "a raster nobody shows was left to the budget";
}

// Under an animation (a popover fading in) the frame does not wait for a
// shadow path's blur: it goes on without the shadow, and once the blur is
// made the layer is marked changed and the next frame shows the same
// pixels in the same place as a frame that waited.
TEST(RenderPlan, AShadowBlurredUnderAnAnimationIsNotWaitedForAndShownOnceMade) {
    auto context = BitmapContext::create(200, 200);
    RasterCache waited;
    auto still = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    still->addSublayer(shadowedBox({40, 40, 60, 40}, 10));
    const PlanImage made = shadowIn(plan(*still, *context, &waited));
    ASSERT_NE(made.image, nullptr);

    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto box = shadowedBox({40, 40, 60, 40}, 10);
    root->addSublayer(box);
    auto fade = BasicAnimation::make("opacity");
    fade->setFromValue(0.2);
    fade->setToValue(1.0);
    fade->setDuration(10);
    fade->setBeginTime(currentMediaTime());
    box->addAnimation(fade, "fade");
    RasterCache cache;
    const auto frame = [&] { return planWithJobs(*root, *context, cache, Rect{0, 0, 200, 200}); };
    const auto shadows = [](const FramePlan& planned) {
        return std::count_if(planned.items.begin(), planned.items.end(), [](const PlanItem& item) {
            const auto* image = std::get_if<PlanImage>(&item);
            return image && image->lowQuality;
        });
    };
    const std::uint64_t before = box->treeVersion();
    EXPECT_EQ(shadows(frame()), 0) << "the frame waits for the blur";

    ASSERT_TRUE(RunLoop::main()->runUntil([&] { return box->treeVersion() != before; }, std::chrono::seconds(5)))
        << "the layer is not marked changed once the blur is made";
    const FramePlan next = frame();
    ASSERT_EQ(shadows(next), 1);
    const PlanImage shown = shadowIn(next);
    EXPECT_EQ(shown.slot, nullptr) << "blurred again by the frame";
    ASSERT_NE(shown.image, nullptr);
    EXPECT_EQ(shown.rect, made.rect);
    EXPECT_TRUE(samePixels(*shown.image, *made.image));
    // Shown unchanged again, the fading box is kept as one raster, the
    // shadow in it the one kept: a box still, with the same outline, finds it.
    const FramePlan after = frame();
    EXPECT_EQ(shadows(after), 0);
    auto again = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    again->addSublayer(shadowedBox({40, 40, 60, 40}, 10));
    EXPECT_EQ(shadowIn(plan(*again, *context, &cache)).image, shown.image) << "not kept";
}

// A layer fading with its shadow and a sublayer: drawn through a group the
// first time, kept as one raster at the device's pixels (the shadow in it)
// once it shows unchanged again, drawn at the fade's alpha with the
// group's pixels, and found after. A change below, or an animation there,
// brings the group back.
TEST(RenderPlan, AFadingLayerThatShowsUnchangedIsKeptAsOneRasterWithItsShadow) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto box = shadowedBox({40, 40, 60, 40}, 8);
    auto inside = filledLayer({10, 10, 20, 10}, {0, 0, 1, 1});
    box->addSublayer(inside);
    box->setOpacity(0.5);
    root->addSublayer(box);
    auto context = BitmapContext::create(200, 200);
    RasterCache cache;
    const FramePlan first = plan(*root, *context, &cache);
    EXPECT_EQ(kinds(first), "EFEGIFEFXgXX");
    const PlanImage shadow = shadowIn(first);
    const FramePlan second = plan(*root, *context, &cache);
    ASSERT_EQ(kinds(second), "EFEIXX");
    EXPECT_DOUBLE_EQ(std::get<PlanEnter>(second.items[2]).alpha, 0.5);
    const auto kept = std::get<PlanImage>(second.items[3]);
    ASSERT_NE(kept.image, nullptr);
    EXPECT_EQ(kept.image->pixelWidth(), static_cast<int>(kept.rect.width));
    EXPECT_TRUE(kept.rect.minX() <= shadow.rect.minX() && kept.rect.minY() <= shadow.rect.minY() &&
                kept.rect.maxX() >= shadow.rect.maxX() && kept.rect.maxY() >= shadow.rect.maxY())
        << "the shadow is cut";
    const auto replayed = [](const FramePlan& planned) {
        auto bitmap = BitmapContext::create(200, 200);
        replayPlan(planned, *bitmap);
        return BitmapContext::takeImage(std::move(bitmap));
    };
    EXPECT_TRUE(samePixels(*replayed(first), *replayed(second)));
    EXPECT_EQ(std::get<PlanImage>(plan(*root, *context, &cache).items[3]).image, kept.image) << "made again";

    // A change below: the group for a frame, then a raster made anew.
    inside->setBackgroundColor({1, 0, 0, 1});
    EXPECT_EQ(kinds(plan(*root, *context, &cache)), "EFEGIFEFXgXX");
    const FramePlan changed = plan(*root, *context, &cache);
    ASSERT_EQ(kinds(changed), "EFEIXX");
    EXPECT_NE(std::get<PlanImage>(changed.items[3]).image, kept.image);
    // Something below animates: the group every frame.
    auto slide = BasicAnimation::make("position.x");
    slide->setFromValue(20.0);
    slide->setToValue(30.0);
    slide->setDuration(10);
    slide->setBeginTime(currentMediaTime());
    inside->addAnimation(slide, "slide");
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_EQ(kinds(plan(*root, *context, &cache)).substr(0, 4), "EFEG") << "frame " << frame;
    }
    inside->removeAllAnimations();

    // With raster jobs the raster is a job's, and the band area of the
    // layer takes it in, a sublayer beyond its shadow too.
    box->addSublayer(filledLayer({150, 10, 10, 10}, {0, 1, 0, 1}));
    RasterCache fresh;
    const auto frame = [&] { return planWithJobs(*root, *context, fresh, Rect{0, 0, 200, 200}); };
    frame();
    const FramePlan queued = frame();
    ASSERT_EQ(kinds(queued), "EFEIXX");
    const auto job = std::get<PlanImage>(queued.items[3]);
    EXPECT_EQ(job.image, nullptr) << "made by the walk";
    ASSERT_NE(job.slot, nullptr);
    ASSERT_NE(job.slot->shown, nullptr);
    const auto& enter = std::get<PlanEnter>(queued.items[2]);
    const Rect onDevice = enter.transform.applyToRect(job.rect);
    ASSERT_TRUE(enter.hasArea);
    EXPECT_TRUE(enter.area.minX() <= onDevice.minX() && enter.area.minY() <= onDevice.minY() &&
                enter.area.maxX() >= onDevice.maxX() && enter.area.maxY() >= onDevice.maxY())
        << "bands may pass over the raster";
    EXPECT_EQ(std::get<PlanImage>(frame().items[3]).image, job.slot->shown) << "not kept";
}

// A large layer faded as one is rastered in bands by several threads: the
// frame that shows its raster looks as the one that drew it as a group.
TEST(RenderPlan, ALargeFadedLayerRasteredInBandsLooksAsItsGroup) {
    auto root = filledLayer({0, 0, 900, 800}, {1, 1, 1, 1});
    auto box = shadowedBox({60, 50, 760, 680}, 12);
    for (int i = 0; i < 12; ++i) box->addSublayer(filledLayer({20.0 + i * 60, 30.0 + i * 50, 50, 40}, {0, 0.2, 1, 1}));
    box->setOpacity(0.6);
    root->addSublayer(box);
    auto context = BitmapContext::create(900, 800);
    RasterCache cache;
    const auto frame = [&] { return planWithJobs(*root, *context, cache, Rect{0, 0, 900, 800}); };
    const auto replayed = [](const FramePlan& planned) {
        auto bitmap = BitmapContext::create(900, 800);
        replayPlan(planned, *bitmap);
        return BitmapContext::takeImage(std::move(bitmap));
    };
    const FramePlan grouped = frame();
    ASSERT_NE(kinds(grouped).find('G'), std::string::npos);
    const FramePlan kept = frame();
    ASSERT_EQ(kinds(kept), "EFEIXX");
    const auto& raster = std::get<PlanImage>(kept.items[3]);
    ASSERT_NE(raster.slot, nullptr);
    ASSERT_NE(raster.slot->shown, nullptr);
    EXPECT_GT(double(raster.slot->shown->pixelWidth()) * raster.slot->shown->pixelHeight(), 512.0 * 1024)
        << "too small for bands";
    EXPECT_TRUE(samePixels(*replayed(grouped), *replayed(kept)));
}

// The same without raster jobs (a frame in one piece): the faded drawing
// is still rastered in bands, so what it draws afresh (a turned shape) is
// drawn from a snapshot, never from the layer of the tree.
TEST(RenderPlan, AFadedLayerRasteredInBandsDrawsFromSnapshots) {
    struct Counted : ShapeLayer {
        void drawInContext(Context& context) override {
            ++draws;
            ShapeLayer::drawInContext(context);
        }
        std::atomic<int> draws{0};
    };
    auto root = filledLayer({0, 0, 900, 800}, {1, 1, 1, 1});
    auto box = filledLayer({40, 30, 820, 740}, {0.9, 0.9, 1, 1});
    box->addSublayer(filledLayer({20, 30, 50, 40}, {0, 0.2, 1, 1}));
    auto turned = std::make_shared<Counted>();
    turned->setFrame({30, 80, 120, 80});
    Path ring;
    ring.addEllipseInRect({0, 0, 120, 80});
    turned->setPath(ring);
    turned->setFillColor({1, 0, 0, 1});
    turned->setTransform(Transform3D::rotationZ(0.3));
    box->addSublayer(turned);
    box->setOpacity(0.6);
    root->addSublayer(box);
    auto context = BitmapContext::create(900, 800);
    RasterCache cache;
    const auto replayed = [](const FramePlan& planned) {
        auto bitmap = BitmapContext::create(900, 800);
        replayPlan(planned, *bitmap);
        return BitmapContext::takeImage(std::move(bitmap));
    };
    const FramePlan grouped = plan(*root, *context, &cache);
    ASSERT_NE(kinds(grouped).find('G'), std::string::npos);
    const auto groupPixels = replayed(grouped);
    ASSERT_GT(turned->draws, 0);
    turned->draws = 0;
    const FramePlan kept = plan(*root, *context, &cache);
    ASSERT_EQ(kinds(kept), "EFEIXX");
    const auto* raster = std::get<PlanImage>(kept.items[3]).image;
    ASSERT_NE(raster, nullptr);
    ASSERT_GE(bandsFor(raster->pixelWidth(), raster->pixelHeight(), RenderTuning{}).size(), 2u);
    EXPECT_EQ(turned->draws, 0) << "the bands drew the layer of the tree";
    EXPECT_TRUE(samePixels(*groupPixels, *replayed(kept)));
}

TEST(RenderPlan, RastersOfALayerThatGoesBetweenFramesLeaveTheCacheWithIt) {
    Path path;
    path.addEllipseInRect({0, 0, 40, 40});
    const auto shapeAt = [&](const Rect& frame) {
        auto shape = ShapeLayer::make();
        shape->setFrame(frame);
        shape->setPath(path);
        shape->setFillColor({1, 0, 0, 1});
        return shape;
    };
    auto root = filledLayer({0, 0, 100, 100}, {1, 1, 1, 1});
    auto shape = shapeAt({10, 10, 50, 50});
    auto elsewhere = shapeAt({60, 10, 30, 30});
    root->addSublayer(shape);
    root->addSublayer(elsewhere);
    auto context = BitmapContext::create(100, 100);
    RasterCache cache;
    RenderOptions options{currentMediaTime(), 1};
    options.cache = &cache;
    renderLayerTree(*root, *context, options);
    const RasterKey key{shape->identifier(), kRasterContent, 0};
    const RasterKey otherKey{elsewhere->identifier(), kRasterContent, 0};
    ASSERT_NE(cache.find(key), nullptr);
    ASSERT_NE(cache.find(otherKey), nullptr);
    shape->removeFromSuperlayer();
    shape.reset();
    EXPECT_EQ(cache.find(key), nullptr) << "left for the next frame to erase";
    EXPECT_EQ(cache.bytes(), RasterCache::bytesOf(*cache.find(otherKey)));

    // Gone on another thread: the next frame drops its rasters.
    elsewhere->removeFromSuperlayer();
    std::thread([gone = std::move(elsewhere)]() mutable { gone.reset(); }).join();
    EXPECT_NE(cache.find(otherKey), nullptr);
    renderLayerTree(*root, *context, options);
    EXPECT_EQ(cache.find(otherKey), nullptr);

    // A cache gone first is not touched when the layer goes.
    auto shortLived = std::make_unique<RasterCache>();
    auto last = shapeAt({10, 10, 50, 50});
    root->addSublayer(last);
    options.cache = shortLived.get();
    renderLayerTree(*root, *context, options);
    ASSERT_EQ(shortLived->count(), 1u);
    shortLived.reset();
    last->removeFromSuperlayer();
    last.reset();
}

// A tree a delegate draws while a frame of the same cache is drawn, which
// the cache tells: in one piece, it starts no frame of it, so the rasters
// the outer frame has kept stay this frame's and are not evicted for the
// budget before the frame shows them.
TEST(RenderPlan, ATreeDrawnInsideAFrameLeavesTheFramesRastersInPlace) {
    const auto square = [](const Rect& frame, const Color& color) {
        auto shape = ShapeLayer::make();
        shape->setFrame(frame);
        Path path;
        path.addRect({0, 0, frame.width, frame.height});
        shape->setPath(path);
        shape->setFillColor(color);
        return shape;
    };
    RasterCache cache(1);  // every store evicts what this frame does not use
    struct Nested : LayerDelegate {
        void drawLayer(Layer&, Context& context) override {
            RenderOptions options{currentMediaTime(), 1};
            options.cache = cache;
            renderLayerTree(*tree, context, options);
        }
        std::shared_ptr<Layer> tree;
        RasterCache* cache = nullptr;
    };
    const auto nested = std::make_shared<Nested>();
    nested->tree = filledLayer({0, 0, 50, 50}, {1, 1, 1, 1});
    nested->tree->addSublayer(square({10, 10, 30, 30}, {0, 0, 1, 1}));
    nested->cache = &cache;
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto outer = square({10, 10, 40, 40}, {1, 0, 0, 1});
    root->addSublayer(outer);
    auto drawn = Layer::make();
    drawn->setFrame({100, 100, 50, 50});
    drawn->setDelegate(nested);
    drawn->setNeedsDisplay();
    root->addSublayer(drawn);

    auto context = BitmapContext::create(200, 200);
    RenderOptions options{currentMediaTime(), 1};
    options.cache = &cache;
    renderLayerTree(*root, *context, options);
    EXPECT_EQ(context->pixel(20, 20), (platform::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(context->pixel(125, 125), (platform::Pixel{0, 0, 255, 255})) << "the tree drawn inside";
    const RasterEntry* kept = cache.find({outer->identifier(), kRasterContent, 0});
    ASSERT_NE(kept, nullptr) << "evicted by the render inside the frame";
    const std::weak_ptr<platform::Image> red = kept->image;
    renderLayerTree(*root, *context, options);
    EXPECT_EQ(cache.find({outer->identifier(), kRasterContent, 0})->image, red.lock()) << "made again";
}

TEST(RenderPlan, AKeptRasterLetGoStaysWhileAPlanThatShowsItLives) {
    auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
    auto shape = ShapeLayer::make();
    shape->setFrame({10, 10, 50, 50});
    Path path;
    path.addRect({0, 0, 40, 40});
    shape->setPath(path);
    shape->setFillColor({1, 0, 0, 1});
    root->addSublayer(shape);
    auto context = BitmapContext::create(200, 200);
    auto cache = std::make_unique<RasterCache>();
    const RasterKey key{shape->identifier(), kRasterContent, 0};
    // Made, then found by the plan kept.
    plan(*root, *context, cache.get());
    std::optional<FramePlan> first = plan(*root, *context, cache.get());
    ASSERT_NE(cache->find(key), nullptr);
    const std::weak_ptr<platform::Image> red = cache->find(key)->image;
    // A later frame's plan comes and goes; the next replaces the raster,
    // one after finds it, then the cache goes before its plans.
    cache->beginFrame();
    plan(*root, *context, cache.get());
    cache->beginFrame();
    shape->setFillColor({0, 0, 1, 1});
    plan(*root, *context, cache.get());
    std::optional<FramePlan> changed = plan(*root, *context, cache.get());
    ASSERT_NE(cache->find(key), nullptr);
    const std::weak_ptr<platform::Image> blue = cache->find(key)->image;
    EXPECT_FALSE(red.expired()) << "replaced while a plan shows it";
    cache.reset();
    EXPECT_FALSE(blue.expired()) << "gone with the cache while a plan shows it";
    replayPlan(*first, *context);
    EXPECT_EQ(context->pixel(30, 30), (platform::Pixel{255, 0, 0, 255}));
    replayPlan(*changed, *context);
    EXPECT_EQ(context->pixel(30, 30), (platform::Pixel{0, 0, 255, 255}));
    first.reset();
    changed.reset();
    EXPECT_TRUE(red.expired() && blue.expired()) << "kept after the plans went";
}

TEST(RenderPlan, APlanWrittenOverTheLastFramesIsTheOneMadeAfresh) {
    auto root = filledLayer({0, 0, 600, 500}, {1, 1, 1, 1});
    std::vector<std::shared_ptr<Layer>> parts;
    for (int i = 0; i < 6; ++i) {
        auto part = filledLayer({10.0 + i * 90, 10, 80, 80}, {0, 0, 1, 1});
        part->addSublayer(filledLayer({5, 5, 20, 20}, {1, 0, 0, 1}));
        root->addSublayer(part);
        parts.push_back(part);
    }
    auto screen = BitmapContext::create(600, 500);
    RasterCache cache;
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.area = Rect{0, 0, 600, 500};
    const auto make = [&](PlanStorage* storage) {
        setup.storage = storage;
        Rasterizer jobs(setup.tuning);
        FramePlan made = planFrame(*root, *screen, setup, &cache, &jobs);
        jobs.finish(&cache);
        return made;
    };
    PlanStorage spare;
    spare.items = make(nullptr).items;
    // Moved, faded, gone and added: items shift against the last frame's.
    parts[1]->setPosition({200, 300});
    parts[2]->setOpacity(0.5);
    parts[3]->removeFromSuperlayer();
    parts[0]->addSublayer(filledLayer({40, 40, 10, 10}, {0, 1, 0, 1}));
    make(nullptr);  // the faded part is kept as one raster from its second frame
    const FramePlan over = make(&spare);
    const FramePlan fresh = make(nullptr);
    ASSERT_EQ(kinds(over), kinds(fresh));
    EXPECT_EQ(std::get<PlanEnter>(fresh.items[0]).area, (Rect{-1, -1, 602, 502}));
    for (std::size_t i = 0; i < fresh.items.size(); ++i) {
        if (const auto* enter = std::get_if<PlanEnter>(&fresh.items[i])) {
            const auto& was = std::get<PlanEnter>(over.items[i]);
            EXPECT_EQ(was.end, enter->end) << "item " << i;
            EXPECT_EQ(was.transform, enter->transform) << "item " << i;
            EXPECT_EQ(was.alpha, enter->alpha) << "item " << i;
            EXPECT_EQ(was.hasArea, enter->hasArea) << "item " << i;
            EXPECT_EQ(was.area, enter->area) << "item " << i;
        }
    }
}

namespace {

// Bands of `pixelsPerBand` pixels and at least `fewestRows` rows, so that
// a small screen is drawn in several: `root` drawn `frames` times in bands
// and as many in one piece, each way with a cache of its own (the rasters
// made, then kept), each screen handed to `check`.
void drawnInBandsAndOnePiece(Layer& root, int width, int height, RenderTuning tuning, int frames,
                             const std::function<void(const BitmapContext&, Banding, const std::string&)>& check) {
    tuning.fewestPixelsForBands = 0;
    ASSERT_GE(bandsFor(width, height, tuning).size(), 2u);
    RenderOptions options{currentMediaTime(), 1};
    options.tuning = tuning;
    for (const Banding banding : {Banding::bySize, Banding::onePiece}) {
        RasterCache cache;
        options.cache = &cache;
        options.banding = banding;
        for (int frame = 0; frame < frames; ++frame) {
            auto screen = BitmapContext::create(width, height);
            renderLayerTree(root, *screen, options);
            check(*screen, banding, "banding " + std::to_string(int(banding)) + ", frame " + std::to_string(frame));
        }
    }
}

RenderTuning smallBands(double pixelsPerBand, int fewestRows) {
    RenderTuning tuning;
    tuning.pixelsPerBand = pixelsPerBand;
    tuning.fewestRowsPerBand = fewestRows;
    return tuning;
}

}  // namespace

// Content whose raster cannot be made (wider than any bitmap may be) is
// drawn straight into the frame in its place, a background kept in its
// raster with it: from jobs (rows, single) when the frame is in bands,
// and in one piece.
TEST(RenderPlan, ContentTooLargeForARasterIsDrawnInItsPlace) {
    auto root = filledLayer({0, 0, 200, 120}, {1, 1, 1, 1});
    const auto wideShape = [&](double y, double width) {
        auto shape = ShapeLayer::make();
        shape->setFrame({100 - width / 2, y, width, 10});
        Path bar;
        bar.addRect({0, 0, width, 10});
        shape->setPath(bar);
        shape->setFillColor({1, 0, 0, 1});
        root->addSublayer(shape);
    };
    wideShape(10, 18000);  // 180,000 pixels: one job
    wideShape(30, 30000);  // 300,000 pixels: in rows
    wideShape(50, 2e6);    // larger than any raster is made
    const auto recorder = std::make_shared<Recorder>();
    auto drawn = Layer::make();
    drawn->setFrame({-15000, 70, 30000, 10});
    drawn->setDelegate(recorder);
    drawn->setNeedsDisplay();
    root->addSublayer(drawn);
    auto gradient = GradientLayer::make();
    gradient->setFrame({-15000, 90, 30000, 10});
    gradient->setColors({{0, 0, 0, 0}, {0, 0, 0, 0}});
    gradient->setBackgroundColor({0, 1, 0, 1});
    root->addSublayer(gradient);

    const platform::Pixel red{255, 0, 0, 255};
    const platform::Pixel blue{0, 0, 255, 255};
    const platform::Pixel green{0, 255, 0, 255};
    drawnInBandsAndOnePiece(*root, 200, 120, smallBands(4000, 20), 2,
                            [&](const BitmapContext& screen, Banding banding, const std::string& at) {
                                EXPECT_EQ(screen.pixel(100, 15), red) << at;
                                EXPECT_EQ(screen.pixel(100, 35), red) << at;
                                EXPECT_EQ(screen.pixel(100, 55), red) << at;
                                EXPECT_EQ(screen.pixel(100, 75), blue) << at;
                                EXPECT_EQ(screen.pixel(100, 95), green) << at;
                                EXPECT_EQ(screen.pixel(100, 110), (platform::Pixel{255, 255, 255, 255})) << at;
                                if (banding == Banding::bySize) {
                                    EXPECT_EQ(recorder->drawn().count(drawn.get()), 0u)
                                        << "drawn from a layer of the tree, not a snapshot";
                                }
                            });
}

// A shadow wider than any raster may be is made of the part that lands on
// the screen, rather than left out.
TEST(RenderPlan, ShadowTooLargeForARasterIsDrawnWhereItShows) {
    auto root = filledLayer({0, 0, 200, 80}, {1, 1, 1, 1});
    const auto shadowed = [&](double y, double radius) {
        auto bar = filledLayer({-1e6, y, 2e6, 10}, {1, 0, 0, 1});
        bar->setShadowColor({0, 0, 1, 1});
        bar->setShadowOpacity(1);
        bar->setShadowRadius(radius);
        bar->setShadowOffset({0, 12});
        root->addSublayer(bar);
    };
    shadowed(4, 0);
    shadowed(40, 3);
    const platform::Pixel red{255, 0, 0, 255};
    const platform::Pixel blue{0, 0, 255, 255};
    drawnInBandsAndOnePiece(*root, 200, 80, smallBands(4000, 20), 2,
                            [&](const BitmapContext& screen, Banding, const std::string& at) {
                                EXPECT_EQ(screen.pixel(100, 8), red) << at;
                                EXPECT_EQ(screen.pixel(100, 20), blue) << at;
                                EXPECT_EQ(screen.pixel(0, 20), blue) << at;
                                EXPECT_EQ(screen.pixel(199, 20), blue) << at;
                                // The blurred one: dark at its middle, fading below it.
                                const platform::Pixel mid = screen.pixel(100, 57).value_or(platform::Pixel{});
                                EXPECT_EQ(screen.pixel(100, 45), red) << at;
                                EXPECT_LT(mid.red, 60) << at;
                                EXPECT_EQ(mid.red, mid.green) << at;
                                EXPECT_EQ(screen.pixel(5, 57), mid) << at;
                                const platform::Pixel below = screen.pixel(100, 64).value_or(platform::Pixel{});
                                EXPECT_GT(below.red, mid.red + 60) << at;
                                EXPECT_EQ(screen.pixel(100, 75), (platform::Pixel{255, 255, 255, 255})) << at;
                            });
}

// A mask wider than any raster may be masks with the part over the
// screen; where no part of it can be made, the layer shows unmasked rather
// than not at all.
TEST(RenderPlan, MaskTooLargeForARasterStillShowsTheLayer) {
    auto root = filledLayer({0, 0, 200, 40}, {1, 1, 1, 1});
    auto masked = filledLayer({-1e6, 10, 2e6, 20}, {1, 0, 0, 1});
    masked->setMask(filledLayer({0, 0, 2e6, 10}, {0, 0, 0, 1}));
    root->addSublayer(masked);
    const platform::Pixel red{255, 0, 0, 255};
    const platform::Pixel white{255, 255, 255, 255};
    drawnInBandsAndOnePiece(*root, 200, 40, smallBands(2000, 10), 1,
                            [&](const BitmapContext& screen, Banding, const std::string& at) {
                                EXPECT_EQ(screen.pixel(100, 15), red) << at;
                                EXPECT_EQ(screen.pixel(0, 15), red) << at;
                                EXPECT_EQ(screen.pixel(100, 25), white) << at;
                            });
    // Planned with no pixels known to be drawn on.
    auto apart = BitmapContext::create(200, 40);
    PlanSetup setup;
    setup.time = currentMediaTime();
    replayPlan(planFrame(*root, *apart, setup, nullptr, nullptr), *apart);
    EXPECT_EQ(apart->pixel(100, 15), red);
    EXPECT_EQ(apart->pixel(100, 25), red);
    EXPECT_EQ(apart->pixel(100, 35), white);
}

// A shape of repeated marks whose stamp cannot be made (wider than any
// bitmap may be) is drawn whole, in bands where its stamps were left to
// jobs and in one piece, rather than with marks missing.
TEST(RenderPlan, MarksWhoseStampCannotBeMadeAreDrawnWhole) {
    auto root = filledLayer({0, 0, 200, 80}, {1, 1, 1, 1});
    auto shape = ShapeLayer::make();
    shape->setFrame({-8400, 4, 17000, 70});
    Path marks;
    for (int i = 0; i < 16; ++i) marks.addRect({0, 4.0 * i, 17000, 2});
    shape->setPath(marks);
    shape->setFillColor({1, 0, 0, 1});
    root->addSublayer(shape);
    RenderTuning tuning = smallBands(4000, 20);
    tuning.largestMark = 1e5;  // stamps as wide as the shape
    const platform::Pixel red{255, 0, 0, 255};
    drawnInBandsAndOnePiece(*root, 200, 80, tuning, 2,
                            [&](const BitmapContext& screen, Banding, const std::string& at) {
                                for (int i = 0; i < 16; ++i) {
                                    EXPECT_EQ(screen.pixel(100, 5 + 4 * i), red) << "mark " << i << ", " << at;
                                }
                            });
}

// A panel's shadow without an outline given: the blur of its whole drawing,
// nested sublayers included. Where the frame has raster jobs, the walk
// leaves it to a job that draws from presentation copies, never from the
// tree, and the rasters that drawing needs also serve the panel's own body:
// each is drawn once.
TEST(RenderPlan, AShadowOfTheDrawingIsMadeByAJobFromCopiesSharingItsRasters) {
    struct Counter : LayerDelegate {
        void drawLayer(Layer& layer, Context& context) override {
            ++draws;
            if (tree.count(&layer)) ++fromTree;
            context.setFillColor({0, 0, 1, 1});
            context.fillRect({2, 2, layer.bounds().width - 4, layer.bounds().height - 4});
        }
        bool drawsOnAnyThread(const Layer&) const override { return true; }
        std::set<const Layer*> tree;  // set before the frame, then only read
        std::atomic<int> draws{0};
        std::atomic<int> fromTree{0};
    };
    const auto counter = std::make_shared<Counter>();
    const auto make = [&](bool innerShadow = false) {
        auto root = filledLayer({0, 0, 200, 200}, {1, 1, 1, 1});
        auto panel = Layer::make();
        panel->setFrame({40, 40, 100, 80});
        panel->setBackgroundColor({0.9, 0.9, 0.9, 0.7});
        panel->setCornerRadius(9);
        panel->setShadowOpacity(0.5);
        panel->setShadowRadius(20);  // made at fewer pixels, kept sharp
        panel->setShadowOffset({0, 2});
        auto row = Layer::make();
        row->setFrame({10, 10, 80, 20});
        auto inner = Layer::make();
        inner->setFrame({10, 40, 60, 30});
        auto nested = Layer::make();
        nested->setFrame({5, 5, 40, 20});
        for (const auto& drawn : {row, nested}) {
            drawn->setDelegate(counter);
            drawn->setNeedsDisplay();
            counter->tree.insert(drawn.get());
        }
        inner->addSublayer(nested);
        if (innerShadow) {
            inner->setShadowOpacity(0.8);
            inner->setShadowRadius(3);
        }
        panel->addSublayer(row);
        panel->addSublayer(inner);
        root->addSublayer(panel);
        return root;
    };
    auto context = BitmapContext::create(200, 200);
    // Made on the walk's thread, without jobs: what the job must match.
    RasterCache walked;
    const PlanImage made = shadowIn(plan(*make(), *context, &walked));
    ASSERT_NE(made.image, nullptr);

    RasterCache fresh;
    Rasterizer jobs{RenderTuning{}};
    PlanSetup setup;
    setup.time = currentMediaTime();
    setup.area = Rect{0, 0, 200, 200};
    auto shown = make();
    counter->draws = 0;
    counter->fromTree = 0;
    const FramePlan queued = planFrame(*shown, *context, setup, &fresh, &jobs);
    const PlanImage job = shadowIn(queued);
    EXPECT_EQ(job.image, nullptr) << "blurred by the walk";
    ASSERT_NE(job.slot, nullptr);
    EXPECT_EQ(job.rect, made.rect);
    // The body shows the rasters the shadow's job made.
    std::vector<RasterSlot*> bodySlots;
    for (const PlanItem& item : queued.items) {
        if (const auto* image = std::get_if<PlanImage>(&item); image && !image->lowQuality && image->slot)
            bodySlots.push_back(image->slot);
    }
    EXPECT_EQ(bodySlots.size(), 2u);
    jobs.finish(&fresh);
    EXPECT_EQ(counter->fromTree, 0) << "a job drew from a layer of the tree";
    EXPECT_EQ(counter->draws, 2) << "a raster drawn twice";
    ASSERT_NE(job.slot->shown, nullptr);
    EXPECT_TRUE(samePixels(*job.slot->shown, *made.image));
    for (const auto& slot : bodySlots) EXPECT_NE(slot->shown, nullptr);
    const PlanImage kept = shadowIn(plan(*shown, *context, &fresh));
    EXPECT_EQ(kept.image, job.slot->shown) << "kept once the jobs are done";
    EXPECT_EQ(counter->draws, 2) << "the next frame drew again";

    // A shadow within the drawing of another: made by the same job, first.
    RasterCache walkedInner;
    const PlanImage madeInner = shadowIn(plan(*make(true), *context, &walkedInner));
    ASSERT_NE(madeInner.image, nullptr);
    counter->fromTree = 0;
    RasterCache freshInner;
    Rasterizer innerJobs{RenderTuning{}};
    const FramePlan queuedInner = planFrame(*make(true), *context, setup, &freshInner, &innerJobs);
    const PlanImage jobInner = shadowIn(queuedInner);
    ASSERT_NE(jobInner.slot, nullptr);
    innerJobs.finish(&freshInner);
    EXPECT_EQ(counter->fromTree, 0) << "a job drew from a layer of the tree";
    ASSERT_NE(jobInner.slot->shown, nullptr);
    EXPECT_TRUE(samePixels(*jobInner.slot->shown, *madeInner.image));
}

namespace {

// Counts its drawings; draws on the main thread only.
struct CountedInk : LayerDelegate {
    void drawLayer(Layer& layer, Context& context) override {
        ++draws;
        context.setFillColor({0.8, 0.1, 0.5, 1});
        context.fillRect({3, 3, layer.bounds().width - 6, layer.bounds().height / 2});
    }
    int draws = 0;
};

std::shared_ptr<Layer> drawnBy(const Rect& frame, const std::shared_ptr<LayerDelegate>& delegate) {
    auto layer = Layer::make();
    layer->setFrame(frame);
    layer->setDelegate(delegate);
    layer->setNeedsDisplay();
    return layer;
}

// Of every kind of raster a frame asks for beyond those of content alone
// (which the rasterizer's own test makes at once): stamped marks, content
// a delegate draws on any thread, a shadow of a drawing and one of a shadow
// path, a mask, a layer kept whole at its rounded corners (a shadowed
// drawing inside it) and one kept with its fade.
std::shared_ptr<Layer> everyRaster(const std::shared_ptr<CountedInk>& ink, const std::shared_ptr<Recorder>& recorder) {
    const auto shape = [](const Rect& frame, const Path& path, const Color& fill, const Color& stroke) {
        auto layer = ShapeLayer::make();
        layer->setFrame(frame);
        layer->setPath(path);
        layer->setFillColor(fill);
        layer->setStrokeColor(stroke);
        layer->setLineWidth(1.5);
        return layer;
    };
    Path rings, round;
    for (int i = 0; i < 20; ++i) rings.addEllipseInRect({i * 6.3, (i % 4) * 3.1, 4, 4});
    round.addEllipseInRect({2, 6, 44, 38});
    auto root = filledLayer({0, 0, 300, 240}, {1, 1, 1, 1});
    root->addSublayer(shape({70, 5, 130, 20}, rings, Color::clear(), {1, 0, 0, 1}));
    root->addSublayer(drawnBy({10, 30, 30, 20}, recorder));

    auto panel = filledLayer({50, 35, 90, 60}, {0.9, 0.9, 0.9, 0.8});
    panel->setCornerRadius(6);
    panel->setShadowOpacity(0.6);
    panel->setShadowRadius(5);
    panel->setShadowOffset({2, 4});
    panel->addSublayer(drawnBy({10, 10, 50, 30}, ink));
    root->addSublayer(panel);
    root->addSublayer(shadowedBox({160, 40, 60, 40}, 8));

    auto masked = filledLayer({230, 40, 50, 50}, {0, 0.3, 1, 1});
    masked->addSublayer(filledLayer({5, 5, 20, 20}, {1, 1, 0, 1}));
    masked->setMask(shape({0, 0, 50, 50}, round, {0, 0, 0, 1}, Color::clear()));
    root->addSublayer(masked);

    auto card = filledLayer({20, 110, 120, 110}, {0.2, 0.7, 0.3, 1});
    card->setCornerRadius(14);
    card->setMasksToBounds(true);
    auto holder = Layer::make();
    holder->setFrame({10, 10, 80, 70});
    holder->setShadowOpacity(0.8);
    holder->setShadowRadius(3);
    holder->addSublayer(drawnBy({5, 5, 60, 40}, ink));
    card->addSublayer(holder);
    card->addSublayer(filledLayer({100, 90, 40, 40}, {0, 0, 0, 1}));
    root->addSublayer(card);

    auto faded = filledLayer({160, 110, 110, 100}, {0.3, 0.3, 0.9, 1});
    faded->setOpacity(0.6);
    faded->setShadowOpacity(0.5);
    faded->setShadowRadius(6);
    faded->addSublayer(filledLayer({10, 10, 40, 30}, {1, 0.5, 0, 1}));
    root->addSublayer(faded);
    return root;
}

}  // namespace

// The same frames planned with raster jobs on the pool and with each
// raster made at once: the same pixels, and a delegate's drawing made once
// either way, also where it shows in a shadow's drawing inside a layer
// kept whole.
TEST(RenderPlan, RastersMadeAtOnceLookAsThoseJobsMake) {
    const auto ink = std::make_shared<CountedInk>();
    const auto recorder = std::make_shared<Recorder>();
    const auto byJobs = everyRaster(ink, recorder);
    const auto atOnce = everyRaster(ink, recorder);
    RasterCache jobsCache;
    RasterCache atOnceCache;
    const auto frame = [&](bool pooled) {
        auto bitmap = BitmapContext::create(600, 480, 2);
        PlanSetup setup;
        setup.time = currentMediaTime();
        setup.scale = 2;
        setup.area = Rect{0, 0, 600, 480};
        std::optional<Rasterizer> jobs;
        if (pooled) jobs.emplace(RenderTuning{});
        const FramePlan planned = planFrame(pooled ? *byJobs : *atOnce, *bitmap, setup,
                                            pooled ? &jobsCache : &atOnceCache, jobs ? &*jobs : nullptr);
        if (jobs) jobs->finish(&jobsCache);
        replayPlan(planned, *bitmap);
        return std::make_pair(kinds(planned), BitmapContext::takeImage(std::move(bitmap)));
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("frame " + std::to_string(round));
        const int inked = ink->draws;
        const auto jobsPixels = frame(true).second;
        EXPECT_EQ(ink->draws - inked, round == 0 ? 2 : 0) << "by jobs";
        const auto [atOnceKinds, atOncePixels] = frame(false);
        EXPECT_EQ(ink->draws - inked, round == 0 ? 4 : 0) << "at once";
        ASSERT_TRUE(jobsPixels && atOncePixels);
        EXPECT_EQ(testsupport::DifferingPixels(*jobsPixels, *atOncePixels), 0);
        if (round == 0) {
            EXPECT_EQ(std::count(atOnceKinds.begin(), atOnceKinds.end(), 'g'), 2) << "the mask and the fade, kept";
        }
    }
    EXPECT_EQ(atOnceCache.count(), jobsCache.count());
}
