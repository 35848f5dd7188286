#include "platform/ui/render/LayerRenderer.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/Planner.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/Rasterizer.h"
#include "platform/ui/render/Replay.h"
#include "platform/ui/render/Scheduler.h"
#include "platform/ui/render/detail/LayerCache.h"

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

namespace {

// The plans of trees shown in no window, drawn with the main thread's
// cache for them. From a mebibyte (a large screen's plan) each allocation
// would map pages afresh, as the app sets the allocator, and fault them in
// as the plan is written.
PlanStorage& windowlessPlans() {
    static PlanStorage plans;
    return plans;
}

// Keeps a frame's plan at the end of the frame in `storage` for the next to
// write over (what is the same is left unwritten), unless it is far larger
// than frames need. Items that hold paths or masks of their own let them
// go now, as does what the plan held for its items (its storage is kept
// too); what the others point at is only compared.
struct Recycle {
    FramePlan& plan;
    PlanStorage* storage;
    ~Recycle() {
        if (!storage || plan.items.capacity() > 2 * storage->lastItems + 1024) return;
        for (PlanItem& item : plan.items) {
            const bool holds = std::holds_alternative<PlanFill>(item) || std::holds_alternative<PlanClipBegin>(item) ||
                               std::holds_alternative<PlanGroupEnd>(item);
            if (holds) item = PlanExit{};
        }
        storage->items = std::move(plan.items);
        plan.held.clear();
        storage->held = std::move(plan.held);
    }
};

// Erases the rasters of layers gone since the last frame from `cache`
// (those of another window's cache wait for its budget). Their pixels are
// given back on another thread: a chart gone leaves thousands of rasters.
void eraseGoneLayers(RasterCache& cache) {
    std::vector<std::shared_ptr<Image>> released;
    for (const detail::GoneOwner& gone : detail::takeGoneOwners()) {
        for (const RasterKind kind : {kRasterContent, kRasterShadow, kRasterWhole}) {
            if (!(gone.kinds & (1u << kind))) continue;
            if (auto image = cache.take({gone.owner, kind, 0})) released.push_back(std::move(image));
        }
    }
    if (!released.empty()) {
        DispatchQueue::global(DispatchQueuePriority::Background).async([released = std::move(released)]() mutable {
            released.clear();
        });
    }
}

}  // namespace

RasterCache& windowlessRasterCache() {
    static RasterCache cache;
    return cache;
}

void renderLayerTree(Layer& root, Context& context, const RenderOptions& options) {
    const double scale = std::isfinite(options.contentsScale) && options.contentsScale > 0 ? options.contentsScale : 1;
    RasterCache* cache = options.keepsRasters ? (options.cache ? options.cache : &windowlessRasterCache()) : nullptr;
    // A render inside another's frame of the same cache (a delegate drawing
    // a tree while a frame is drawn): in one piece, it starts no frame of
    // the cache, so that the outer frame's rasters stay this frame's and are
    // not evicted before it shows them, and carries no plan over.
    const bool nested = cache && cache->drawing();
    PlanStorage* storage = nullptr;
    if (!nested) {
        storage = options.plans ? options.plans : options.keepsRasters && !options.cache ? &windowlessPlans() : nullptr;
    }
    std::optional<RasterCache::Drawing> drawing;
    if (cache) {
        drawing.emplace(*cache);
        if (!nested) {
            cache->beginFrame();
            eraseGoneLayers(*cache);
        }
    }

    auto* bitmap = dynamic_cast<BitmapContext*>(&context);
    PlanSetup setup;
    setup.time = options.time;
    setup.scale = scale;
    setup.keepsRasters = options.keepsRasters;
    setup.tuning = options.tuning;
    setup.storage = storage;
    if (bitmap) {
        setup.area = Rect{0, 0, static_cast<double>(bitmap->pixelWidth()), static_cast<double>(bitmap->pixelHeight())};
    }

    // Bands are chosen before the work: by the bitmap's size, and only
    // when the bitmap takes them (no clip, no open transparency layer).
    BitmapBands bands;
    if (bitmap && options.keepsRasters && options.banding == Banding::bySize && !nested) {
        const std::vector<BandRows> rows = bandsFor(bitmap->pixelWidth(), bitmap->pixelHeight(), options.tuning);
        if (rows.size() >= 2) bands = BitmapBands::over(*bitmap, rows);
        // The planner reads the bands' own rows, which last the frame.
        if (!bands.empty()) setup.bands = bands.rows();
    }

    // The planner starts from the context's transform and alpha and tracks
    // them itself.
    const AffineTransform device = context.transform();
    const double alpha = context.alpha();
    if (bands.empty()) {
        // Rasters made at once, as the walk asks for them.
        FramePlan plan = planFrame(root, device, alpha, setup, cache, nullptr);
        if (storage) storage->lastItems = plan.items.size();
        const Recycle recycle{plan, storage};
        replayPlan(plan, context);
        return;
    }
    Rasterizer jobs(options.tuning, storage ? storage->lastRasters : 0);
    FramePlan plan = planFrame(root, device, alpha, setup, cache, &jobs);
    if (storage) {
        storage->lastItems = plan.items.size();
        storage->lastRasters = jobs.requested();
    }
    const Recycle recycle{plan, storage};
    jobs.wait();
    if (plan.mainThread || jobs.drawsSomeInPlace()) {
        // A delegate draws during compositing (or in place of a raster
        // that could not be made): here, in one piece.
        jobs.keep(cache);
        bands.clear();
        replayPlan(plan, context);
        return;
    }
    // The rasters made are kept while the pool's threads start on the
    // bands, which read them from the plan, so the bands never wait for a
    // chart's thousands of rasters to be stored.
    // A frame that made none (a steady one) hands its bands to the pool at
    // once, as one request.
    if (!cache || !jobs.hasRastersToKeep()) {
        replayInBands(plan, bands.contexts(), bands.rows());
        return;
    }
    replayInBands(plan, bands.contexts(), bands.rows(), [&] { jobs.keep(cache); });
}

}  // namespace platform::ui
