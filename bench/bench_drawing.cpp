// Drawing a layout: layouts of 1,000, 10,000 and 100,000 elements generated
// by layoutgen (the mix of bench_layout_load: tracks with turnouts, flex
// tracks, texts and shapes on several layers), each written to a temporary
// file and loaded with CLayout::Load once per process.
//
//   BM_BuildInstructions  the viewer's content layer: every element of the
//                         visible layers rendered through the render strategy
//                         into drawing instructions, fill and outline pass
//                         (VKMRenderDataFactory::getElementsDataForLayout),
//                         on as many threads as the build takes (threads:0)
//                         and on one (threads:1).
//                         Beside it, in the same iterations, the baseline
//                         (`baseline_ms`, `vs_baseline`): the geometry the
//                         build cannot do without, the two side lines of
//                         every track component (GetParallelPathPair at the
//                         half gauge, as the layer's fills and rails take
//                         them) and the points of every shape, moved by the
//                         element's position and summed, with no instruction
//                         made.
//   BM_PaintInstructions  that layer painted by the viewer's painter into a
//                         1920 x 1080 bitmap, with the content fitted to the
//                         bitmap (view 0) or at 8 times that zoom about the
//                         content's centre (view 1), where most instructions
//                         lie outside and are skipped by their boxes.
//   BM_PaintSingleLine    the same, with the layer built in the viewer's
//                         single-line track style (the display edit that
//                         draws tracks without bed: a narrow fill and the
//                         two side lines at the rail width), the drawing
//                         nearest to the baseline's.
//   BM_SameStrokes        the baseline: the very fills and strokes of the
//                         layer's paths (their points, colours, widths and
//                         caps, taken out beforehand), handed straight to
//                         the same context with no instruction layer
//                         between, each skipped by the painter's own test on
//                         its stored box (outside the view and wider than
//                         1.0). What the painter adds to Cairo's own work.
//   BM_MakeGrid           making the grid over the content layer's boxes,
//                         which the first painting of a layer does.
//   BM_StrokeCentreLines  a floor: the centre line of every track component
//                         (GetParallelPath at offset 0, moved by the element
//                         position), one stroke per track where the painter
//                         draws three (a fill and two rails), at the width
//                         the track takes on the plan (its bed, in the
//                         element's fill colour; bed:1) or at the rail width
//                         (bed:0), skipped by the same test on its box (its
//                         points widened by the line width). Fitted, rails
//                         are about 0.02 pixels wide, and Cairo draws nothing
//                         for strokes under 0.05 pixels: the rail floor then
//                         costs only handing the lines over.
//
// BM_PaintInstructions and BM_PaintSingleLine also draw the same-strokes
// baseline of their layer and the bed-wide centre lines in every iteration,
// right after the painter, and report the ratios (`vs_baseline` against the
// same strokes, `vs_centre_lines` against the floor) so the comparison does
// not depend on the order the benchmarks ran in. Items are elements;
// `instructions` is the size of the content layer.
//
// The program replaces operator new to count the allocations of the thread
// that builds: BM_BuildInstructions reports `allocations_per_instruction`
// (every operator new of a build, the list's own storage included, divided
// by the instructions built).

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/BasicGeometry.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/PolyBIG.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

// Allocations through operator new made by this thread so far.
thread_local std::uint64_t tAllocations = 0;

void* Allocate(std::size_t size) noexcept {
    ++tAllocations;
    return std::malloc(size == 0 ? 1 : size);
}

// Out of line, so the compiler does not pair the malloc it sees inside new
// with the free it sees inside delete and take them for a mismatch.
[[gnu::noinline]] void Free(void* pointer) noexcept { std::free(pointer); }

void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    ++tAllocations;
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a multiple of the alignment.
    return std::aligned_alloc(align, (size + align - 1) / align * align);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* pointer = Allocate(size)) return pointer;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* pointer = AllocateAligned(size, alignment)) return pointer;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}
void operator delete(void* pointer) noexcept { Free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { Free(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept { Free(pointer); }

namespace {

constexpr std::uint64_t kSeed = 20240601;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kCloseZoom = 8.0;

// The shared set-up, and as in the app: builds and paints add their times
// to the performance counters.
void SetUp() {
    static const bool ready = [] {
        SetUpBenchEngine("vekmont-bench-drawing");
        EnablePerformanceCounters();
        // For counting instructions under a tool that follows one thread:
        // every build, the scenes' own included, on this many threads.
        if (const char* threads = std::getenv("VEKMONT_BENCH_BUILD_THREADS"))
            VKMLayoutElementsPainter::setBuildThreads(static_cast<std::size_t>(std::atoi(threads)));
        return true;
    }();
    (void)ready;
}

// One centre line of the floor, in layout units, with its box at either
// width (the points widened by the line width, as a path's stored box is).
struct tCentreLine {
    std::vector<platform::Point> points;
    double railWidth = 1.0;
    platform::Color railColor;
    double bedWidth = 1.0;
    platform::Color bedColor;
    platform::Rect railBox;
    platform::Rect bedBox;
};

// One path of a layer as the baseline draws it: a polyline filled and/or
// stroked, with the box the painter tests.
struct tSameStroke {
    std::vector<platform::Point> points;
    platform::Rect box;
    bool fill = false;
    platform::Color fillColor;
    bool stroke = false;
    platform::Color strokeColor;
    double lineWidth = 1.0;
    platform::LineCap cap = platform::LineCap::butt;
};

// A loaded layout with its content layer and what the baseline strokes.
struct tScene {
    std::unique_ptr<CLayout> layout;
    std::size_t elements = 0;
    tDoubleRect content{};
    VKMLayoutRenderData renderData;
    std::size_t instructions = 0;
    // The same layer in the single-line track style.
    VKMLayoutRenderData singleLineData;
    std::size_t singleLineInstructions = 0;
    std::vector<tCentreLine> centreLines;
    std::vector<tSameStroke> sameStrokes;
    std::vector<tSameStroke> singleLineSameStrokes;
};

// The painter's skipping test.
bool Skipped(const platform::Rect& box, const platform::Rect& visible) {
    return !box.intersects(visible) && box.width > 1.0;
}

platform::Rect Widened(const std::vector<platform::Point>& points, double width) {
    double minX = points.front().x, maxX = minX, minY = points.front().y, maxY = minY;
    for (const platform::Point& p : points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return {minX - width, minY - width, maxX - minX + 2 * width, maxY - minY + 2 * width};
}

// The polyline paths of a layer (every track fill and rail, every shape),
// in order; other instructions are left out.
std::vector<tSameStroke> SameStrokes(const VKMLayoutRenderData& renderData) {
    std::vector<tSameStroke> strokes;
    for (const CDrawingInstruction* instruction : *renderData.elementsData()->drawingInstructions()) {
        const auto* path = dynamic_cast<const CPathDrawingInstruction*>(instruction);
        if (path == nullptr || path->mDrawWithDash) continue;
        tSameStroke same;
        bool polyline = true;
        for (const CPathMicroInstruction& step : path->mPathMicroInstructions) {
            const auto* lineTo = std::get_if<CPathLineToMicroInstruction>(&step);
            if (lineTo == nullptr) {
                polyline = false;
                break;
            }
            same.points.push_back({lineTo->mPoint.x, lineTo->mPoint.y});
        }
        if (!polyline || same.points.empty()) continue;
        const tDoubleRect& bounds = path->mBounds;
        same.box = {bounds.minX, bounds.minY, bounds.maxX - bounds.minX, bounds.maxY - bounds.minY};
        same.fill = path->mUseFill;
        same.fillColor = VKMLayoutColors::colorWithCColor(path->mFillColor);
        same.stroke = path->mUseStroke;
        same.strokeColor = VKMLayoutColors::colorWithCColor(path->mStrokeColor);
        same.lineWidth = path->mLineWidth;
        same.cap = path->mLineCapStyle == 1   ? platform::LineCap::round
                   : path->mLineCapStyle == 2 ? platform::LineCap::square
                                              : platform::LineCap::butt;
        strokes.push_back(std::move(same));
    }
    return strokes;
}

bool IsTrack(const CBasicGeometry& component) {
    const int type = component.GetType();
    return type == kComponentTypeStraight || type == kComponentTypeCurve || type == kComponentTypeFlexTrack;
}

// Centre lines of the track components of the visible layers, last layer
// first as the painter goes. Joint state is put back as the renderers do.
std::vector<tCentreLine> CentreLines(const CLayout& layout) {
    std::vector<tCentreLine> lines;
    const tLayers layers = layout.GetLayerManager().GetLayers();
    std::vector<CPoint> points;
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
        if (*layer == nullptr || !(*layer)->IsVisible()) continue;
        for (CCompositeGeometry* element : layout.GetElements()) {
            if (element == nullptr || element->GetLayer() != *layer) continue;
            const CPoint& position = element->GetPosition();
            for (CBasicGeometry* component : element->GetComponents()) {
                if (component == nullptr || !IsTrack(*component)) continue;
                struct tSaved {
                    double angle;
                    CPoint layoutPoint, elementPoint;
                    std::uint8_t mark;
                } saved[2];
                for (int i = 0; i < 2; ++i) {
                    const CJoint* joint = component->GetJoint(i);
                    saved[i] = {joint->GetAngle(), joint->GetLayoutPoint(), joint->GetElementPoint(), joint->GetMark()};
                }
                component->GetParallelPath(points, element->GetAngle(), 0.0);
                for (int i = 0; i < 2; ++i) {
                    CJoint* joint = component->GetJoint(i);
                    joint->SetAngle(saved[i].angle);
                    joint->SetLayoutPoint(saved[i].layoutPoint);
                    joint->SetElementPoint(saved[i].elementPoint);
                    joint->SetMark(saved[i].mark);
                }
                if (points.size() < 2) continue;
                tCentreLine line;
                line.railWidth = component->GetRailWidth();
                line.railColor = VKMLayoutColors::colorWithCColor(element->GetSecondColor());
                line.bedWidth = component->GetTrackbedWidth();
                line.bedColor = VKMLayoutColors::colorWithCColor(element->GetFirstColor());
                line.points.reserve(points.size());
                for (const CPoint& p : points) line.points.push_back({p.x + position.x, p.y + position.y});
                line.railBox = Widened(line.points, line.railWidth);
                line.bedBox = Widened(line.points, line.bedWidth);
                lines.push_back(std::move(line));
            }
        }
    }
    return lines;
}

tScene& Scene(std::size_t elements) {
    static std::map<std::size_t, std::unique_ptr<tScene>> scenes;
    auto found = scenes.find(elements);
    if (found != scenes.end()) return *found->second;

    SetUp();
    const std::string path = (platform::Paths::tmp() / ("layout-" + std::to_string(elements))).string();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, elements, kSeed, CLayout::kNewestFileVersion);
    if (!ULayoutFileWriter::WriteLayoutFile(std::filesystem::path(path), document.FileContent())) {
        std::fprintf(stderr, "cannot write the layout to %s\n", path.c_str());
        std::abort();
    }
    auto scene = std::make_unique<tScene>();
    scene->layout = std::make_unique<CLayout>();
    const LayoutErrorCode code = scene->layout->Load(path);
    std::filesystem::remove(path);
    if (code != kLayoutLoaded || scene->layout->GetElements().size() != elements) {
        std::fprintf(stderr, "the generated layout of %zu elements did not load whole\n", elements);
        std::abort();
    }
    scene->elements = elements;
    scene->content = ULayoutBounds::GetContentBoundingBox(*scene->layout, ULayoutBounds::kBoundsModeVisible);
    scene->renderData.setElementsData(VKMRenderDataFactory::getElementsDataForLayout(*scene->layout));
    scene->instructions = scene->renderData.elementsData()->drawingInstructions()->size();
    {
        // As the viewer applies the setting: edited for the build only.
        CSingleLineStyleEditAction singleLine;
        const tTransientEditActions actions{&singleLine};
        CTransientEditScope edits(*scene->layout, actions);
        scene->singleLineData.setElementsData(VKMRenderDataFactory::getElementsDataForLayout(*scene->layout));
    }
    scene->singleLineInstructions = scene->singleLineData.elementsData()->drawingInstructions()->size();
    scene->centreLines = CentreLines(*scene->layout);
    scene->sameStrokes = SameStrokes(scene->renderData);
    scene->singleLineSameStrokes = SameStrokes(scene->singleLineData);
    return *scenes.emplace(elements, std::move(scene)).first->second;
}

// Where the bitmap looks: the zoom, the shift in bitmap points and the
// rectangle of layout units it shows.
struct tView {
    double zoom = 1;
    double tx = 0;
    double ty = 0;
    platform::Rect visible;
};

tView ViewOf(const tScene& scene, double closeUp) {
    const double width = std::max(scene.content.maxX - scene.content.minX, 1.0);
    const double height = std::max(scene.content.maxY - scene.content.minY, 1.0);
    const double centreX = (scene.content.minX + scene.content.maxX) / 2;
    const double centreY = (scene.content.minY + scene.content.maxY) / 2;
    tView view;
    view.zoom = std::min(kWidth / width, kHeight / height) * closeUp;
    view.tx = kWidth / 2.0 - centreX * view.zoom;
    view.ty = kHeight / 2.0 - centreY * view.zoom;
    view.visible = {-view.tx / view.zoom, -view.ty / view.zoom, kWidth / view.zoom, kHeight / view.zoom};
    return view;
}

void PaintInstructions(platform::Context& context, VKMLayoutRenderData& renderData, const tView& view) {
    context.save();
    context.translate(view.tx, view.ty);
    renderData.drawWithZoom(context, view.zoom, view.visible);
    context.restore();
}

void StrokeCentreLines(platform::Context& context, const tScene& scene, const tView& view, bool bed) {
    context.save();
    context.translate(view.tx, view.ty);
    context.scale(view.zoom, view.zoom);
    context.clipToRect(view.visible);
    context.setLineCap(platform::LineCap::butt);
    for (const tCentreLine& line : scene.centreLines) {
        if (Skipped(bed ? line.bedBox : line.railBox, view.visible)) continue;
        platform::Path path;
        path.moveTo(line.points.front());
        for (std::size_t i = 1; i < line.points.size(); ++i) path.lineTo(line.points[i]);
        context.setStrokeColor(bed ? line.bedColor : line.railColor);
        context.setLineWidth(bed ? line.bedWidth : line.railWidth);
        context.strokePath(path);
    }
    context.restore();
}

void DrawSameStrokes(platform::Context& context, const std::vector<tSameStroke>& strokes, const tView& view) {
    context.save();
    context.translate(view.tx, view.ty);
    context.scale(view.zoom, view.zoom);
    context.clipToRect(view.visible);
    context.setLineDash(0, {});
    for (const tSameStroke& same : strokes) {
        if (Skipped(same.box, view.visible)) continue;
        const bool stroke = same.stroke && context.strokeWidthDraws(same.lineWidth);
        if (!same.fill && !stroke) continue;
        context.setLineCap(same.cap);
        if (same.fill) {
            context.setFillColor(same.fillColor);
            context.addLines(same.points.data(), same.points.size());
            context.fill(platform::FillRule::nonZero);
        }
        if (stroke) {
            context.setStrokeColor(same.strokeColor);
            context.setLineWidth(same.lineWidth);
            context.addLines(same.points.data(), same.points.size());
            context.stroke();
        }
    }
    context.restore();
}

void Clear(platform::Context& context) {
    context.setFillColor(platform::Color::white(1.0));
    context.fillRect({0, 0, kWidth, kHeight});
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SetItems(benchmark::State& state, const tScene& scene) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(scene.elements));
    state.counters["instructions"] = static_cast<double>(scene.instructions);
    state.counters["centre_lines"] = static_cast<double>(scene.centreLines.size());
}

// The baseline of a build: every track component's side lines and every
// shape's points, moved by the element's position and summed up (written
// nowhere, so that the baseline leaves the caches as it found them). The
// number of points goes to `count`. Joint state is put back as the
// renderers do.
double SideLinesAndPoints(const CLayout& layout, std::size_t& count) {
    double sum = 0;
    count = 0;
    const tLayers layers = layout.GetLayerManager().GetLayers();
    std::vector<CPoint> first;
    std::vector<CPoint> second;
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
        if (*layer == nullptr || !(*layer)->IsVisible()) continue;
        for (CCompositeGeometry* element : layout.GetElements()) {
            if (element == nullptr || element->GetLayer() != *layer) continue;
            const CPoint& position = element->GetPosition();
            for (CBasicGeometry* component : element->GetComponents()) {
                if (component == nullptr) continue;
                if (IsTrack(*component)) {
                    struct tSaved {
                        double angle;
                        CPoint layoutPoint, elementPoint;
                        std::uint8_t mark;
                    } saved[2];
                    for (int i = 0; i < 2; ++i) {
                        const CJoint* joint = component->GetJoint(i);
                        saved[i] = {joint->GetAngle(), joint->GetLayoutPoint(), joint->GetElementPoint(),
                                    joint->GetMark()};
                    }
                    const double halfGauge = component->GetGauge() / 2.0;
                    component->GetParallelPathPair(first, second, element->GetAngle(), -halfGauge, halfGauge);
                    for (int i = 0; i < 2; ++i) {
                        CJoint* joint = component->GetJoint(i);
                        joint->SetAngle(saved[i].angle);
                        joint->SetLayoutPoint(saved[i].layoutPoint);
                        joint->SetElementPoint(saved[i].elementPoint);
                        joint->SetMark(saved[i].mark);
                    }
                } else if (auto* poly = dynamic_cast<CPolyBIG*>(component)) {
                    first = poly->GetTransformedPoints(element->GetAngle());
                    second.clear();
                } else {
                    continue;
                }
                for (const CPoint& p : first) sum += (p.x + position.x) + (p.y + position.y);
                for (const CPoint& p : second) sum += (p.x + position.x) + (p.y + position.y);
                count += first.size() + second.size();
            }
        }
    }
    return sum;
}

void BM_BuildInstructions(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    VKMLayoutElementsPainter::setBuildThreads(static_cast<std::size_t>(state.range(1)));
    std::size_t built = 0;
    std::uint64_t allocations = 0;
    double baseline = 0;
    std::size_t points = 0;
    double building = 0;
    for (auto _ : state) {
        const std::uint64_t allocationsBefore = tAllocations;
        const auto buildStart = std::chrono::steady_clock::now();
        VKMRenderDataFactory::tLayer layer = VKMRenderDataFactory::getElementsDataForLayout(*scene.layout);
        building += SecondsSince(buildStart);
        allocations += tAllocations - allocationsBefore;
        built = layer->drawingInstructions()->size();
        state.PauseTiming();
        layer.reset();
        VKMDrawingInstructionsRenderData::waitForPendingReleases();
        const auto start = std::chrono::steady_clock::now();
        const double sum = SideLinesAndPoints(*scene.layout, points);
        baseline += SecondsSince(start);
        benchmark::DoNotOptimize(sum);
        state.ResumeTiming();
    }
    state.counters["baseline_ms"] = baseline / static_cast<double>(state.iterations()) * 1e3;
    state.counters["baseline_points"] = static_cast<double>(points);
    state.counters["vs_baseline"] = baseline > 0 ? building / baseline : 0.0;
    VKMLayoutElementsPainter::setBuildThreads(0);
    if (built != scene.instructions) state.SkipWithError("a build made another number of instructions");
    SetItems(state, scene);
    state.counters["instructions_per_element"] =
        static_cast<double>(scene.instructions) / static_cast<double>(scene.elements);
    state.counters["allocations_per_instruction"] =
        static_cast<double>(allocations) /
        (static_cast<double>(state.iterations()) * static_cast<double>(scene.instructions));
}

// The painter on `renderData` (a layer of the scene), with its same-strokes
// baseline and the centre-line floor drawn after it in every iteration.
void PaintAgainstBaseline(benchmark::State& state, tScene& scene, VKMLayoutRenderData& renderData,
                          std::size_t instructions, const std::vector<tSameStroke>& sameStrokes) {
    const tView view = ViewOf(scene, state.range(1) == 0 ? 1.0 : kCloseZoom);
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::create(kWidth, kHeight);
    if (!context) {
        state.SkipWithError("no bitmap");
        return;
    }
    double painter = 0;
    double baseline = 0;
    double centreLines = 0;
    for (auto _ : state) {
        Clear(*context);
        auto start = std::chrono::steady_clock::now();
        PaintInstructions(*context, renderData, view);
        const double painted = SecondsSince(start);
        painter += painted;
        state.SetIterationTime(painted);

        Clear(*context);
        start = std::chrono::steady_clock::now();
        DrawSameStrokes(*context, sameStrokes, view);
        baseline += SecondsSince(start);

        Clear(*context);
        start = std::chrono::steady_clock::now();
        StrokeCentreLines(*context, scene, view, true);
        centreLines += SecondsSince(start);
    }
    SetItems(state, scene);
    state.counters["instructions"] = static_cast<double>(instructions);
    state.counters["same_strokes"] = static_cast<double>(sameStrokes.size());
    const double n = static_cast<double>(state.iterations());
    state.counters["zoom"] = view.zoom;
    state.counters["baseline_ms"] = baseline / n * 1e3;
    state.counters["vs_baseline"] = baseline > 0 ? painter / baseline : 0.0;
    state.counters["centre_lines_ms"] = centreLines / n * 1e3;
    state.counters["vs_centre_lines"] = centreLines > 0 ? painter / centreLines : 0.0;
}

void BM_PaintInstructions(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    PaintAgainstBaseline(state, scene, scene.renderData, scene.instructions, scene.sameStrokes);
}

void BM_PaintSingleLine(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    PaintAgainstBaseline(state, scene, scene.singleLineData, scene.singleLineInstructions, scene.singleLineSameStrokes);
}

// Making the grid over the content layer's boxes, which the first painting
// of a layer does.
void BM_MakeGrid(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    const std::vector<platform::Rect>& boxes = *scene.renderData.elementsData()->instructionBoxes();
    for (auto _ : state) {
        VKMBoxIndex grid = VKMDrawingInstructionsPainter::indexOf(boxes);
        benchmark::DoNotOptimize(&grid);
    }
    SetItems(state, scene);
}

void BM_SameStrokes(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    const tView view = ViewOf(scene, state.range(1) == 0 ? 1.0 : kCloseZoom);
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::create(kWidth, kHeight);
    if (!context) {
        state.SkipWithError("no bitmap");
        return;
    }
    for (auto _ : state) {
        Clear(*context);
        const auto start = std::chrono::steady_clock::now();
        DrawSameStrokes(*context, scene.sameStrokes, view);
        state.SetIterationTime(SecondsSince(start));
    }
    SetItems(state, scene);
    state.counters["same_strokes"] = static_cast<double>(scene.sameStrokes.size());
    state.counters["zoom"] = view.zoom;
}

void BM_StrokeCentreLines(benchmark::State& state) {
    tScene& scene = Scene(static_cast<std::size_t>(state.range(0)));
    const tView view = ViewOf(scene, state.range(1) == 0 ? 1.0 : kCloseZoom);
    std::unique_ptr<platform::BitmapContext> context = platform::BitmapContext::create(kWidth, kHeight);
    if (!context) {
        state.SkipWithError("no bitmap");
        return;
    }
    for (auto _ : state) {
        Clear(*context);
        const auto start = std::chrono::steady_clock::now();
        StrokeCentreLines(*context, scene, view, state.range(2) != 0);
        state.SetIterationTime(SecondsSince(start));
    }
    SetItems(state, scene);
    state.counters["zoom"] = view.zoom;
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int elements : {1000, 10000, 100000}) b->Args({elements, 0})->Args({elements, 1});
}

}  // namespace

BENCHMARK(BM_BuildInstructions)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"elements", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PaintInstructions)
    ->Apply(Sizes)
    ->ArgNames({"elements", "close"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_PaintSingleLine)
    ->Apply(Sizes)
    ->ArgNames({"elements", "close"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_MakeGrid)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SameStrokes)
    ->Apply(Sizes)
    ->ArgNames({"elements", "close"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_StrokeCentreLines)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}, {1, 0}})
    ->ArgNames({"elements", "close", "bed"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

BENCHMARK_MAIN();
