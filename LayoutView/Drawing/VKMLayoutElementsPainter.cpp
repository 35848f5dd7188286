#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>
#include <vector>

#include "LayoutView/Drawing/VKMInstructionList.h"

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/Drawing/VKMTunnelTrackOverlayPainter.h"
#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/ParallelPathCache.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

// Elements a thread of the build is given at least: below that, starting
// the thread costs more than it saves. At most as many runs as the pool has
// threads.
constexpr std::size_t kLeastPerThread = 2048;
// Layouts of more layers than this draw them one after the other.
constexpr std::size_t kMostLayerThreads = 8;
std::atomic<std::size_t> gBuildThreads{0};

std::size_t ThreadsFor(std::size_t elements) {
    const std::size_t asked = gBuildThreads.load(std::memory_order_relaxed);
    if (asked != 0) return std::clamp<std::size_t>(elements, 1, asked);
    const std::size_t most = std::max(1u, platform::DispatchQueue::concurrency());
    return std::clamp<std::size_t>(elements / kLeastPerThread, 1, most);
}

// Runs `draw(job, list)` for jobs 0 to count - 1, the first `inlineJobs`
// of them here and the others on the shared pool, every job into a list of
// its own, and appends the lists to `instructions` in job order once all
// have ended. The first exception of a job passes on after all have ended;
// every list drawn is then deleted.
template <typename Draw>
void DrawJoined(std::size_t count, std::size_t inlineJobs, tDrawingInstructions& instructions, Draw&& draw) {
    std::vector<VKMScopedInstructionList> parts(count);
    {
        // Declared after the lists, so that it has waited for its blocks
        // before they go, however this scope is left.
        platform::ConcurrentFeed feed;
        for (std::size_t job = inlineJobs; job < count; ++job)
            feed.add([&draw, &parts, job] { draw(job, parts[job].list()); });
        for (std::size_t job = 0; job < inlineJobs && job < count; ++job) draw(job, parts[job].list());
        feed.finish();
    }
    std::size_t total = instructions.size();
    for (VKMScopedInstructionList& part : parts) total += part.list().size();
    instructions.reserve(total);
    for (VKMScopedInstructionList& part : parts) {
        const tDrawingInstructions drawn = part.release();
        instructions.insert(instructions.end(), drawn.begin(), drawn.end());
    }
}

}  // namespace

void VKMLayoutElementsPainter::drawElementsInLayout(const CLayout& layout, tDrawingInstructions& instructions,
                                                    const std::function<bool()>& stopped) {
    CStopwatch stopwatch;
    stopwatch.Start();
    const tLayers layerList = layout.GetLayerManager().GetLayers();
    if (!VKM_SOFT_ASSERT(!layerList.empty())) return;
    const CLayoutParameters& parameters = layout.GetParameters();
    // The elements of each listed layer in layout order, sorted out in one
    // pass rather than one pass per layer.
    std::unordered_map<const CLayer*, tElements> elementsByLayer;
    for (const CLayer* layer : layerList) {
        if (layer != nullptr && layer->IsVisible()) elementsByLayer.try_emplace(layer);
    }
    for (CCompositeGeometry* element : layout.GetElements()) {
        if (element == nullptr) continue;
        const auto found = elementsByLayer.find(element->GetLayer());
        if (found != elementsByLayer.end()) found->second.push_back(element);
    }
    // About three instructions per element (a fill and two lines per track,
    // one per text or shape, a few more for joint ends and tunnels): room
    // for four each, so that the list need not grow.
    std::size_t visibleElements = 0;
    for (const auto& [layer, elements] : elementsByLayer) visibleElements += elements.size();
    instructions.reserve(instructions.size() + 4 * visibleElements);
    std::vector<const tElements*> layers;
    for (auto it = layerList.rbegin(); it != layerList.rend(); ++it) {
        const CLayer* layer = *it;
        if (layer == nullptr || !layer->IsVisible()) continue;
        layers.push_back(&elementsByLayer[layer]);
    }
    auto drawLayer = [&](const tElements& elements, tDrawingInstructions& into) {
        drawElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, into, nullptr, stopped);
        if (stopped && stopped()) return;
        drawOverlaysForElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, into);
    };
    if (layers.size() > 1 && layers.size() <= kMostLayerThreads && ThreadsFor(visibleElements) > 1) {
        // The layers, each with its stripes, at the same time (each may
        // split its own list further), joined in drawing order. The first
        // is drawn here.
        DrawJoined(layers.size(), 1, instructions,
                   [&](std::size_t job, tDrawingInstructions& into) { drawLayer(*layers[job], into); });
    } else {
        for (const tElements* elements : layers) drawLayer(*elements, instructions);
    }
    QLPerformanceCounters::addToCounter("CreateElementsRenderData", stopwatch.Stop());
}

namespace {

constexpr std::size_t kElementsAhead = 6;
// Elements drawn between two looks whether the build is still wanted.
constexpr std::size_t kElementsBetweenLooks = 1024;
constexpr std::size_t kComponentsAhead = 3;
// About the size of a track component, joints included.
constexpr std::size_t kComponentBytes = 384;
constexpr std::size_t kCacheLine = 64;

}  // namespace

void VKMLayoutElementsPainter::drawElements(const tElements& elements, std::int32_t trackStyle,
                                            std::int32_t tunnelStyle, tDrawingInstructions& instructions) {
    drawElements(elements, trackStyle, tunnelStyle, instructions, nullptr);
}

void VKMLayoutElementsPainter::setBuildThreads(std::size_t threads) {
    gBuildThreads.store(threads, std::memory_order_relaxed);
}

void VKMLayoutElementsPainter::drawElements(const tElements& elements, std::int32_t trackStyle,
                                            std::int32_t tunnelStyle, tDrawingInstructions& instructions,
                                            const CColor* outlineColor, const std::function<bool()>& stopped) {
    const std::size_t threads = ThreadsFor(elements.size());
    if (threads <= 1) {
        drawElementRange(elements, 0, elements.size(), trackStyle, tunnelStyle, instructions, outlineColor, stopped);
        return;
    }
    // Each element is drawn from its own data alone (its components' joints
    // are put back as they were), so consecutive runs of the list are drawn
    // on threads of their own, each into a list and an arena of its own, and
    // the lists joined in order: the same instructions in the same order.
    // The first run is drawn here.
    auto begin = [&](std::size_t part) { return elements.size() * part / threads; };
    DrawJoined(threads, 1, instructions, [&](std::size_t part, tDrawingInstructions& into) {
        drawElementRange(elements, begin(part), begin(part + 1), trackStyle, tunnelStyle, into, outlineColor, stopped);
    });
}

void VKMLayoutElementsPainter::drawElementRange(const tElements& elements, std::size_t from, std::size_t to,
                                                std::int32_t trackStyle, std::int32_t tunnelStyle,
                                                tDrawingInstructions& instructions, const CColor* outlineColor,
                                                const std::function<bool()>& stopped) {
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions fill(&instructions, CDrawingInstructionsRenderOptions::kFillPass);
    CDrawingInstructionsRenderOptions outline(&instructions, CDrawingInstructionsRenderOptions::kOutlinePass, fill);
    for (std::size_t i = from; i < to; ++i) {
        if ((i - from) % kElementsBetweenLooks == 0 && stopped && stopped()) return;
        // Building waits mostly for memory: each element and its components
        // lie apart on the heap. Ask for an element a few places ahead, and
        // for the components of one nearer (whose own memory is there by
        // then). Written out here: moved into a helper of their own, the
        // prefetches were dropped by the optimizer.
        if (i + kElementsAhead < to && elements[i + kElementsAhead] != nullptr) {
            const char* const ahead = reinterpret_cast<const char*>(elements[i + kElementsAhead]);
            for (std::size_t at = 0; at < sizeof(CCompositeGeometry); at += kCacheLine) __builtin_prefetch(ahead + at);
        }
        if (i + kComponentsAhead < to && elements[i + kComponentsAhead] != nullptr) {
            const CCompositeGeometry& next = *elements[i + kComponentsAhead];
            __builtin_prefetch(next.GetIdentifier().data());
            for (const CBasicGeometry* component : next.GetComponents()) {
                const char* const part = reinterpret_cast<const char*>(component);
                for (std::size_t at = 0; at < kComponentBytes; at += kCacheLine) __builtin_prefetch(part + at);
            }
        }
        CCompositeGeometry* const element = elements[i];
        if (element == nullptr) continue;
        fill.mIdentifier = outline.mIdentifier = element->GetIdentifier();
        fill.mOwnerLayer = outline.mOwnerLayer = element->GetLayer();
        drawElement(*element, strategy, fill, outline, trackStyle, tunnelStyle, outlineColor);
    }
}

void VKMLayoutElementsPainter::drawElement(CCompositeGeometry& element,
                                           CDrawingInstructionsRenderStrategy& renderStrategy,
                                           CDrawingInstructionsRenderOptions& fillRenderOptions,
                                           CDrawingInstructionsRenderOptions& outlineRenderOptions,
                                           std::int32_t trackStyle, std::int32_t tunnelStyle,
                                           const CColor* outlineColor) {
    const bool tunnelHidden = tunnelStyle == kTunnelsHidden && UElementInspector::IsTrackElement(&element) &&
                              UElementInspector::IsTunnelTrack(&element);
    CDrawingOptions options(element, trackStyle, tunnelHidden, CColor::White());
    if (outlineColor != nullptr) options.mOutlineColor = *outlineColor;
    if (trackStyle & kLightOutline) options.mRailColor = CColor(kLightOutlineGray, element.GetSecondColor().mAlpha);
    // The outline pass draws the side lines the fill pass worked out. One
    // cache per thread, emptied for each element, keeps its memory.
    thread_local CParallelPathCache pathCache;
    pathCache.Clear();
    options.mPathCache = &pathCache;
    options.mRenderOptions = &fillRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
    options.mRenderOptions = &outlineRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
    pathCache.Clear();
}

void VKMLayoutElementsPainter::drawOverlaysForElements(const tElements& elements, std::int32_t trackStyle,
                                                       std::int32_t tunnelStyle,
                                                       tDrawingInstructions& drawingInstructions) {
    CStopwatch stopwatch;
    stopwatch.Start();
    if (tunnelStyle != kTunnelsHidden) {
        CColor stripeColor = tunnelStyle == kTunnelsShown
                                 ? CColor(kShownTunnelGray, 1.0)
                                 : VKMLayoutColors::cColorWithColor(VKMLayoutColors::vkmDocumentBackgroundColor());
        stripeColor.mAlpha = kTunnelStripeAlpha;
        VKMTunnelTrackOverlayPainter::painter()->drawTunnelForElements(elements, (trackStyle & kFullTrackBed) != 0,
                                                                       stripeColor, drawingInstructions);
    }
    QLPerformanceCounters::addToCounter("DrawPerLayerTunnelOverlays", stopwatch.Stop());
}
