#include "LayoutModule/Layout/VKMLayoutView.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <vector>

#include "LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/services/VKMSoftAssert.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/HashMix.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/core/Transform3D.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/input/Touch.h"

namespace {

constexpr platform::ui::RenderTuning kTuning{};

// Tile jobs' threads at each pace of the picture.
unsigned tileThreads(VKMLayoutView::Pace pace) {
    const unsigned pool = platform::DispatchQueue::concurrency();
    unsigned threads = pool;
    if (pace == VKMLayoutView::Pace::moving) threads = pool / std::max(1u, kTuning.tileThreadsShare);
    if (pace == VKMLayoutView::Pace::still) threads = pool - pool / std::max(1u, kTuning.stillFreeThreadsShare);
    return std::max(kTuning.fewestTileThreads, threads);
}

platform::Rect tileRect(const std::pair<int, int>& index) {
    constexpr double side = VKMLayoutView::kTileSide;
    return {index.first * side, index.second * side, side, side};
}

// A bitmap of `pixels` a side (0: the rectangle's size at the scale, up to
// whole pixels) with the rectangle's corner at its origin.
std::unique_ptr<platform::BitmapContext> tileCanvas(const platform::Rect& rect, int pixels, double scale, bool bands) {
    const int width = pixels > 0 ? pixels : static_cast<int>(std::ceil(rect.width * scale));
    const int height = pixels > 0 ? pixels : static_cast<int>(std::ceil(rect.height * scale));
    auto canvas = bands ? platform::BitmapContext::createForBands(width, height, scale)
                        : platform::BitmapContext::create(width, height, scale);
    if (canvas) canvas->translate(-rect.x, -rect.y);
    return canvas;
}

// A band of rows of a tile's canvas, and what of the picture it covers.
struct tBand {
    platform::Rect rect;
    std::unique_ptr<platform::BitmapContext> context;
};

// `count` bands of the canvas drawn from `rect` at `scale`; none when the
// canvas could not be split.
std::vector<tBand> bandsOf(platform::BitmapContext& canvas, const platform::Rect& rect, double scale, int count) {
    std::vector<tBand> bands;
    const int height = canvas.pixelHeight();
    count = std::max(1, std::min(count, height));
    for (int b = 0; b < count; ++b) {
        const int first = height * b / count;
        const int end = height * (b + 1) / count;
        auto band = canvas.band(first, end);
        if (!band) return {};
        // A point more on either side within the tile: the band's own
        // rows clip it, and no row is left to the rounding of its edges.
        const double top = std::max(rect.y, rect.y + first / scale - 1);
        const double bottom = std::min(rect.maxY(), rect.y + end / scale + 1);
        bands.push_back({{rect.x, top, rect.width, bottom - top}, std::move(band)});
    }
    return bands;
}

// The tiles of `rects`, each drawn in bands of rows side by side on the
// pool, the calling thread taking its share. Each tile's rows are drawn in
// bands of their own: a third of a second of 100,000 elements' first frame
// went to one thread drawing the tile over the dense middle whole.
std::vector<std::shared_ptr<platform::Image>> drawTilesInBands(const VKMLayoutView::tDrawSettings& settings,
                                                               VKMLayoutRenderData* renderData,
                                                               const std::vector<platform::Rect>& rects, int pixels,
                                                               double scale) {
    // The bands are destroyed (their last rows cleared) before their
    // canvases, on the thread that drew them, and every band has been
    // before the canvases give up their pixels.
    std::vector<std::unique_ptr<platform::BitmapContext>> canvases(rects.size());
    std::vector<tBand> bands;
    for (std::size_t i = 0; i < rects.size(); ++i) {
        canvases[i] = tileCanvas(rects[i], pixels, scale, true);
        if (!canvases[i]) continue;
        auto own = bandsOf(*canvases[i], rects[i], scale, kTuning.bandsATile);
        if (own.empty()) {
            canvases[i].reset();
            continue;
        }
        for (tBand& band : own) bands.push_back(std::move(band));
    }
    platform::DispatchQueue::concurrentPerform(bands.size(), [&](std::size_t i) {
        VKMLayoutView::drawLayout(*bands[i].context, bands[i].rect, settings, renderData, {0, 0});
        bands[i].context.reset();
    });
    bands.clear();
    std::vector<std::shared_ptr<platform::Image>> images(rects.size());
    for (std::size_t i = 0; i < rects.size(); ++i)
        images[i] = platform::BitmapContext::takeImage(std::move(canvases[i]));
    return images;
}

}  // namespace

VKMLayoutView::VKMLayoutView() : VKMLayoutView(platform::Rect{}) {}

VKMLayoutView::VKMLayoutView(const platform::Rect& frame)
    : View(frame),
      mGrid(kTuning.tileSide, kTuning.tileRing),
      mTileQueue("com.vekmont.layout.tiles", tileThreads(Pace::moving), platform::DispatchQueuePriority::Low) {}

bool VKMLayoutView::isDarkBackground() {
    return platform::UserDefaults::standard().boolValue(kDarkBackgroundKey).value_or(false);
}

double VKMLayoutView::screenScale() const {
    const auto inWindow = window();
    const auto screen = inWindow ? inWindow->screen() : platform::ui::Screen::mainScreen();
    return screen ? screen->scale() : 1.0;
}

platform::ui::RasterCache& VKMLayoutView::tileCache() {
    if (const auto inWindow = window()) return inWindow->rasterCache();
    if (!mOwnCache) mOwnCache = std::make_unique<platform::ui::RasterCache>();
    return *mOwnCache;
}

void VKMLayoutView::drawRect(platform::Context& context, const platform::Rect& rect) {
    const auto source = delegate();
    drawLayout(context, rect, source ? source->trackLayout() : nullptr, mRenderData.get(),
               source ? source->contentOffset() : platform::Point{0, 0});
}

void VKMLayoutView::layoutSubviews() {
    View::layoutSubviews();
    showLayout();
}

void VKMLayoutView::showLayout() {
    const auto source = delegate();
    const CLayout* layout = source ? source->trackLayout() : nullptr;
    const platform::Color documentColor = isDarkBackground() ? VKMLayoutColors::vkmDocumentDarkBackgroundColor()
                                                             : VKMLayoutColors::vkmDocumentBackgroundColor();
    // The tiles cover the view but while a pinch shrinks them.
    setBackgroundColor(layout == nullptr || mInteractiveZoom ? std::optional<platform::Color>(documentColor)
                                                             : std::nullopt);
    fitPictureLayer();
    if (layout == nullptr) {
        forgetPicture();
        return;
    }
    // A window's compositor starts the frames of its cache; a cache of the
    // view's own (no window) starts one at each update.
    if (!window()) tileCache().beginFrame();

    // On whole pixels, so that tiles land pixel on pixel.
    const double scale = screenScale();
    const platform::Point requested = source->contentOffset();
    const platform::Point offset{std::round(requested.x * scale) / scale, std::round(requested.y * scale) / scale};
    const tDrawSettings settings = drawSettingsOf(*layout);
    const VKMTileGrid::Change change = updateLevels(*layout, settings, scale);
    placeLevel(mKept, mGrid.kept(), offset, settings.zoom);
    placeLevel(mLevel, mGrid.level(), offset, settings.zoom);
    const bool moving = mInteractiveZoom || (change == VKMTileGrid::Change::none && offset != mShownOffset);
    mShownOffset = offset;
    if (moving) setPace(Pace::moving);
    // A pinch stretches what is there.
    if (mInteractiveZoom) return;

    mMissing = fillView(offset, settings);
    if (!moving) setPace(mMissing > 0 ? Pace::sharpening : Pace::still);
    showKept(mMissing == 0);
    // Where no tile lies yet, the document's background; none under a
    // covered view, where it would only cost a fill of the whole frame.
    mPictureLayer->setBackgroundColor(mMissing == 0 ? platform::Color::clear() : documentColor);
}

void VKMLayoutView::fitPictureLayer() {
    if (!mPictureLayer) {
        mPictureLayer = platform::ui::Layer::make();
        // The view clips it (its controller has it clip to its bounds).
        mPictureLayer->setAnchorPoint({0, 0});
        // Below the buttons that are subviews of this view.
        layer()->insertSublayer(mPictureLayer, 0);
    }
    const platform::Size size = bounds().size();
    mPictureLayer->setBounds({0, 0, size.width, size.height});
    mPictureLayer->setPosition({0, 0});
}

void VKMLayoutView::forgetPicture() {
    mVisible = {};
    cancelTiles(nullptr);
    dropLevelLayers(mKept);
    dropLevelLayers(mLevel);
    mGrid.clear();
    mPictureLayer->setBackgroundColor(platform::Color::clear());
    mPinchEnded = false;
}

VKMTileGrid::Change VKMLayoutView::updateLevels(const CLayout& layout, const tDrawSettings& settings, double scale) {
    mGrid.setScale(scale);
    const std::uint64_t base =
        VKMTileGrid::baseOf({mGeneration, reinterpret_cast<std::uintptr_t>(&layout), scale, settings.dark,
                             settings.grid, settings.workspaceWidth, settings.workspaceHeight});
    const bool hadLevel = mGrid.level().made;
    // An open keeps the picture before under the new document's tiles until
    // they cover the view.
    const bool keepShown = mDrawTilesAside && hadLevel;
    const VKMTileGrid::Change change = mGrid.update(
        base, settings.zoom,
        {.interactive = mInteractiveZoom, .pinchEnded = mPinchEnded, .keepShownUnderNewSource = keepShown});
    mPinchEnded = false;
    if (change == VKMTileGrid::Change::none) return change;
    cancelTiles(nullptr);
    // All that is kept shows another document or other settings.
    if (change == VKMTileGrid::Change::source && hadLevel) tileCache().eraseOwner(mPictureLayer->identifier());
    dropLevelLayers(mKept);
    if (change == VKMTileGrid::Change::pinchEnd || (change == VKMTileGrid::Change::source && keepShown)) {
        mKept = std::move(mLevel);
    } else {
        dropLevelLayers(mLevel);
    }
    mLevel = makeLevelLayers();
    return change;
}

std::size_t VKMLayoutView::fillView(platform::Point offset, const tDrawSettings& settings) {
    const platform::Size size = bounds().size();
    const VKMTileGrid::tRange visible = mGrid.rangeAt(size, offset, settings.zoom, 0);
    mVisible = visible;
    const VKMTileGrid::tRange wanted = mGrid.rangeAt(size, offset, settings.zoom, mGrid.ring());
    for (const tTileIndex& index : mGrid.releaseOutside(wanted)) {
        // The cache keeps its image for a pan back.
        const auto tile = mLevel.tiles.find(index);
        if (tile == mLevel.tiles.end()) continue;
        tile->second->removeFromSuperlayer();
        mLevel.tiles.erase(tile);
    }
    cancelTiles(&wanted);

    // The visible tiles the cache lacks, the middle of the view first, then
    // the ring's.
    std::vector<tTileIndex> missing;
    std::vector<tTileIndex> ring;
    for (const tTileIndex& index : mGrid.unplaced(visible, wanted)) {
        if (placeKeptTile(index)) continue;
        (visible.contains(index) ? missing : ring).push_back(index);
    }
    const bool held = !weak_from_this().expired();
    // An open draws even its first tiles on the pool, with the picture
    // before shown until they cover the view: the main thread keeps
    // presenting frames meanwhile.
    if (!held || (mGrid.drawsAtOnce() && !mDrawTilesAside)) {
        drawTilesNow(missing, settings);
        missing.clear();
    } else {
        // In bands: the threads share the dense tiles the user waits for.
        for (const tTileIndex& index : missing) askForTile(index, settings, kTuning.bandsATile);
    }
    if (held) {
        for (const tTileIndex& index : ring) askForTile(index, settings, 1);
    }
    if (!visible.empty()) mGrid.markShown();
    return missing.size();
}

void VKMLayoutView::showKept(bool covered) {
    if (covered) {
        dropLevelLayers(mKept);
        mGrid.dropKept();
        return;
    }
    // A kept tile wholly under placed tiles of the current zoom would be
    // stretched into the frame for nothing.
    const std::set<tTileIndex> hidden = mGrid.coveredKept();
    for (const auto& [index, tile] : mKept.tiles) tile->setHidden(hidden.count(index) != 0);
}

void VKMLayoutView::setPace(Pace pace) {
    // While the user moves the picture the compositor needs the pool for
    // the frames; once it stands (the end of a pinch, a pan that stopped)
    // the visible tiles it lacks take all of it, and the ring's most of it,
    // from the loop's next turn on: the frame of this pass (the one that
    // ends a pinch) is composited before they do.
    if (pace == Pace::moving) {
        mPace = pace;
        mTileQueue.setWidth(tileThreads(pace));
        return;
    }
    if (mPace == pace) return;
    mPace = pace;
    const auto self = weak_from_this().lock();
    if (!self) return;
    std::weak_ptr<VKMLayoutView> weak = std::static_pointer_cast<VKMLayoutView>(self);
    platform::DispatchQueue::main().async([weak, pace] {
        const auto view = weak.lock();
        if (view && view->mPace == pace) view->mTileQueue.setWidth(tileThreads(pace));
    });
}

VKMLayoutView::tLevelLayers VKMLayoutView::makeLevelLayers() {
    tLevelLayers level;
    level.layer = platform::ui::Layer::make();
    level.layer->setAnchorPoint({0, 0});
    level.layer->setBounds({0, 0, 0, 0});
    // Above the kept picture.
    mPictureLayer->addSublayer(level.layer);
    return level;
}

void VKMLayoutView::dropLevelLayers(tLevelLayers& level) {
    if (level.layer) level.layer->removeFromSuperlayer();
    level = {};
}

void VKMLayoutView::placeLevel(const tLevelLayers& layers, const VKMTileGrid::tLevel& level, platform::Point offset,
                               double zoom) {
    if (!layers.layer) return;
    // A layout point p lies at zoom(level) x p in the level's layer and
    // belongs at offset + zoom x p in the view.
    const double stretch = VKMTileGrid::stretchOf(level, zoom);
    layers.layer->setTransform(stretch == 1 ? platform::ui::Transform3D::identity()
                                            : platform::ui::Transform3D::scale(stretch, stretch));
    layers.layer->setPosition(offset);
}

platform::Rect VKMLayoutView::drawnRect(const tTileIndex& index) const {
    const platform::Rect tile = mGrid.rectOf(index);
    const double overlap = kTuning.tileOverlap * (tile.width / mGrid.pixels());
    return {tile.x, tile.y, tile.width + overlap, tile.height + overlap};
}

int VKMLayoutView::drawnPixels() const { return mGrid.pixels() + kTuning.tileOverlap; }

platform::ui::RasterKey VKMLayoutView::tileKey(const tTileIndex& index) const {
    return {mPictureLayer ? mPictureLayer->identifier() : 0, platform::ui::kRasterTile, mGrid.partOf(index)};
}

bool VKMLayoutView::placeKeptTile(const tTileIndex& index) {
    const platform::ui::RasterEntry* kept = tileCache().find(tileKey(index));
    if (kept == nullptr || kept->version != mGrid.level().version || !kept->image) return false;
    placeTile(index, kept->image);
    return true;
}

void VKMLayoutView::placeTile(const tTileIndex& index, std::shared_ptr<const platform::Image> image) {
    auto tile = platform::ui::Layer::make();
    tile->setFrame(drawnRect(index));
    tile->setContents(std::move(image));
    mLevel.layer->addSublayer(tile);
    mLevel.tiles[index] = std::move(tile);
    mGrid.place(index);
}

void VKMLayoutView::drawTilesNow(const std::vector<tTileIndex>& tiles, const tDrawSettings& settings) {
    if (tiles.empty()) return;
    const double scale = screenScale();
    std::vector<platform::Rect> rects;
    for (const tTileIndex& index : tiles) rects.push_back(drawnRect(index));
    const auto images = drawTilesInBands(settings, mRenderData.get(), rects, drawnPixels(), scale);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (!images[i]) continue;
        tileCache().store(tileKey(tiles[i]), {images[i], rects[i], scale, mGrid.level().version});
        placeTile(tiles[i], images[i]);
    }
}

std::vector<std::shared_ptr<platform::Image>> VKMLayoutView::drawTiles(const tDrawSettings& settings,
                                                                       VKMLayoutRenderData* renderData,
                                                                       const std::vector<std::pair<int, int>>& tiles,
                                                                       double scale) {
    std::vector<platform::Rect> rects;
    for (const auto& index : tiles) rects.push_back(tileRect(index));
    return drawTilesInBands(settings, renderData, rects, 0, scale);
}

// A tile asked of the queue: its canvas, drawn in bands of rows, each a
// block of its own. The first block to start makes the canvas and its
// bands (off the main thread: the frame that asks for a screenful of tiles
// would pay for their memory); a band is then touched only by its block.
// Whoever ends the last band, the block that draws it or the main thread
// taking the last blocks back, lets the bands and the canvas go, every
// block that started having ended by then.
struct VKMLayoutView::tTileJob {
    platform::Rect rect;
    int pixels = 0;
    double scale = 1;
    std::size_t count = 1;
    std::once_flag made;
    std::unique_ptr<platform::BitmapContext> canvas;
    std::vector<tBand> bands;
    std::vector<platform::WidthLimitedQueue::Ticket> tickets;
    // Bands neither drawn nor taken back.
    std::atomic<std::size_t> left{0};
    std::atomic<bool> calledOff{false};
    std::atomic<bool> failed{false};

    void make() {
        canvas = tileCanvas(rect, pixels, scale, true);
        if (canvas) bands = bandsOf(*canvas, rect, scale, static_cast<int>(count));
        // Without memory the tile stays missing; the next pass asks again.
        if (bands.size() != count) {
            bands.clear();
            failed = true;
        }
    }
    void drop() {
        bands.clear();
        canvas.reset();
    }
};

void VKMLayoutView::askForTile(const tTileIndex& index, const tDrawSettings& settings, int bands) {
    if (mGrid.isRequested(index)) return;
    auto job = std::make_shared<tTileJob>();
    job->rect = drawnRect(index);
    job->pixels = drawnPixels();
    job->scale = screenScale();
    job->count = static_cast<std::size_t>(std::clamp(bands, 1, job->pixels));
    job->left = job->count;
    const VKMTileGrid::tTicket ticket = mNextTicket++;
    // The blocks keep the render data alive; a rebuild meanwhile waits for
    // their drawing (the render data's lock) and frees nothing under it, and
    // what they drew then is dropped here, its version being past. The last
    // band's block always answers, so that every tile asked for is counted
    // back.
    std::weak_ptr<VKMLayoutView> weak = std::static_pointer_cast<VKMLayoutView>(sharedView());
    const std::uint64_t version = mGrid.level().version;
    for (std::size_t i = 0; i < job->count; ++i) {
        job->tickets.push_back(mTileQueue.async([job, i, weak, renderData = mRenderData, settings, index, version,
                                                 ticket] {
            std::call_once(job->made, [&] { job->make(); });
            if (i < job->bands.size()) {
                tBand& band = job->bands[i];
                try {
                    drawLayout(*band.context, band.rect, settings, renderData.get(), {0, 0});
                } catch (...) {
                    // A tile that could not be drawn stays missing; the others go on.
                    job->failed = true;
                }
                band.context.reset();
            }
            if (job->left.fetch_sub(1) != 1) return;
            std::shared_ptr<platform::Image> image;
            if (!job->failed && !job->calledOff) {
                job->bands.clear();
                image = platform::BitmapContext::takeImage(std::move(job->canvas));
            }
            job->drop();
            platform::DispatchQueue::main().async([weak, version, index, ticket, image = std::move(image)]() mutable {
                if (const auto view = weak.lock()) view->tileArrived(ticket, version, index, std::move(image));
            });
        }));
    }
    mJobs[ticket] = std::move(job);
    mGrid.requested(index, ticket);
    ++mInFlight;
}

void VKMLayoutView::tileArrived(VKMTileGrid::tTicket ticket, std::uint64_t version, const tTileIndex& index,
                                std::shared_ptr<platform::Image> image) {
    mJobs.erase(ticket);
    if (mInFlight > 0) --mInFlight;
    if (!mGrid.arrived(version, index, ticket) || !image || !mLevel.layer) return;
    tileCache().store(tileKey(index), {image, drawnRect(index), screenScale(), version});
    if (mGrid.isPlaced(index)) return;
    if (mPace == Pace::sharpening && mVisible.contains(index)) {
        // The view's tiles at the new zoom are placed together, by the pass
        // after the last arrives, from the cache: each placed alone would
        // have the frames composite the window anew, on the threads that
        // draw the rest.
        if (mGrid.requestsIn(mVisible) == 0) setNeedsDisplayOfLayout();
        return;
    }
    placeTile(index, std::move(image));
    // The next pass lets the kept picture go once the view is covered.
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::cancelTiles(const VKMTileGrid::tRange* keep) {
    for (const VKMTileGrid::tTicket ticket : mGrid.dropRequests(keep)) {
        const auto found = mJobs.find(ticket);
        if (found == mJobs.end()) continue;
        tTileJob& job = *found->second;
        job.calledOff = true;
        std::size_t taken = 0;
        for (const platform::WidthLimitedQueue::Ticket band : job.tickets) {
            if (mTileQueue.cancel(band)) ++taken;
        }
        // With bands still drawing, the last of them answers and is
        // counted back then.
        if (taken == 0 || job.left.fetch_sub(taken) != taken) continue;
        job.drop();
        mJobs.erase(found);
        if (mInFlight > 0) --mInFlight;
    }
}

bool VKMLayoutView::waitForTiles(std::chrono::milliseconds realTimeout) {
    return platform::RunLoop::main()->runUntil([this] { return mInFlight == 0; }, realTimeout);
}

bool VKMLayoutView::waitForTileDrawing(std::chrono::milliseconds realTimeout) const {
    return mTileQueue.waitUntilIdle(realTimeout);
}

void VKMLayoutView::setInteractiveZoom(bool interactive) {
    if (mInteractiveZoom == interactive) return;
    mInteractiveZoom = interactive;
    if (!interactive) {
        mPinchEnded = true;
        setNeedsDisplayOfLayout();
    }
}

VKMLayoutView::tDrawSettings VKMLayoutView::drawSettingsOf(const CLayout& layout) {
    const CLayoutParameters& parameters = layout.GetParameters();
    return {layout.GetZoom(), parameters.mShowGrid, isDarkBackground(), static_cast<double>(parameters.mWorkspaceWidth),
            static_cast<double>(parameters.mWorkspaceHeight)};
}

void VKMLayoutView::drawLayout(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
                               VKMLayoutRenderData* renderData, platform::Point contentOffset) {
    if (layout == nullptr) {
        tDrawSettings settings;
        settings.dark = isDarkBackground();
        context.save();
        context.translate(contentOffset.x, contentOffset.y);
        context.setFillColor(settings.dark ? VKMLayoutColors::vkmDocumentDarkBackgroundColor()
                                           : VKMLayoutColors::vkmDocumentBackgroundColor());
        context.fillRect(
            {dirtyRect.x - contentOffset.x, dirtyRect.y - contentOffset.y, dirtyRect.width, dirtyRect.height});
        context.restore();
        return;
    }
    drawLayout(context, dirtyRect, drawSettingsOf(*layout), renderData, contentOffset);
}

void VKMLayoutView::drawLayout(platform::Context& context, const platform::Rect& dirtyRect,
                               const tDrawSettings& settings, VKMLayoutRenderData* renderData,
                               platform::Point contentOffset) {
    context.save();
    context.translate(contentOffset.x, contentOffset.y);
    const platform::Rect moved{dirtyRect.x - contentOffset.x, dirtyRect.y - contentOffset.y, dirtyRect.width,
                               dirtyRect.height};
    context.setFillColor(settings.dark ? VKMLayoutColors::vkmDocumentDarkBackgroundColor()
                                       : VKMLayoutColors::vkmDocumentBackgroundColor());
    context.fillRect(moved);

    CStopwatch stopwatch;
    stopwatch.Start();
    const double zoom = settings.zoom;
    if (settings.grid) {
        const platform::Rect grid{0, 0, zoom * settings.workspaceWidth, zoom * settings.workspaceHeight};
        VKMGridPainter::drawGridInRect(
            context, grid, moved, zoom, zoom,
            settings.dark ? platform::Color::white(1.0) : VKMLayoutColors::vkmLayoutGridColor());
    }
    if (renderData != nullptr) renderData->drawWithScaleFactor(context, zoom, moved);
    QLPerformanceCounters::addToCounter("DrawLayoutView", stopwatch.Stop());
    context.restore();
}

void VKMLayoutView::refreshLayoutRenderDataBackgroundOnly(bool backgroundOnly) {
    const auto source = delegate();
    if (!source) return;
    CLayout* layout = source->trackLayout();
    if (!VKM_SOFT_ASSERT(layout != nullptr)) return;
    if (!backgroundOnly) mPrepared.reset();
    // Tiles still queued were asked for the old data and would be dropped
    // on arrival; drawn first, they would hold the rebuild's write lock off.
    cancelTiles(nullptr);
    CStopwatch stopwatch;
    stopwatch.Start();
    buildRenderData(mRenderData, *layout, source->transientEditActions(), backgroundOnly);
    ++mGeneration;
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
    setNeedsDisplayOfLayout();
}

namespace {

std::vector<std::string> namesOf(const tTransientEditActions& actions) {
    std::vector<std::string> names;
    for (const CTransientEditAction* action : actions) names.push_back(action ? action->GetName() : std::string());
    return names;
}

}  // namespace

void VKMLayoutView::prepareLayoutRenderData() {
    mPrepared.reset();
    const auto source = delegate();
    CLayout* layout = source ? source->trackLayout() : nullptr;
    if (layout == nullptr) return;
    const tTransientEditActions actions = source->transientEditActions();
    auto prepared = std::make_unique<tPrepared>();
    prepared->dark = isDarkBackground();
    CStopwatch stopwatch;
    stopwatch.Start();
    try {
        CTransientEditScope edits(*layout, actions);
        prepared->elements = VKMRenderDataFactory::getElementsDataForLayout(*layout);
        prepared->overlays = VKMRenderDataFactory::getOverlayDataForLayout(*layout, prepared->dark);
    } catch (...) {
        // The refresh builds them again and meets the fault there.
        return;
    }
    QLPerformanceCounters::addToCounter("PrepareLayoutRenderData", stopwatch.Stop());
    // Read after the build: its display edits count as changes.
    prepared->layout = layout;
    prepared->changes = UContentChanges::Count();
    prepared->actions = namesOf(actions);
    // Their spatial indexes are made on the pool meanwhile, rather than by
    // the first tile drawn while the others wait for it.
    for (const VKMLayoutRenderData::tLayer& layer : {prepared->elements, prepared->overlays}) {
        if (!layer) continue;
        platform::DispatchQueue::global().async([layer] { layer->instructionIndex(); });
    }
    mPrepared = std::move(prepared);
}

void VKMLayoutView::refreshLayoutRenderDataWithPrepared() {
    const std::unique_ptr<tPrepared> prepared = std::move(mPrepared);
    const auto source = delegate();
    CLayout* layout = source ? source->trackLayout() : nullptr;
    const bool holds = prepared && layout != nullptr && layout == prepared->layout &&
                       UContentChanges::Count() == prepared->changes && isDarkBackground() == prepared->dark &&
                       namesOf(source->transientEditActions()) == prepared->actions;
    if (!holds) {
        refreshLayoutRenderData();
        return;
    }
    refreshLayoutRenderDataWithLayers(prepared->elements, prepared->overlays);
}

void VKMLayoutView::refreshLayoutRenderDataWithLayers(VKMLayoutRenderData::tLayer elements,
                                                      VKMLayoutRenderData::tLayer overlays) {
    mPrepared.reset();
    const auto source = delegate();
    CLayout* layout = source ? source->trackLayout() : nullptr;
    if (!VKM_SOFT_ASSERT(layout != nullptr)) return;
    cancelTiles(nullptr);
    CStopwatch stopwatch;
    stopwatch.Start();
    buildRenderData(mRenderData, *layout, source->transientEditActions(), true);
    mRenderData->setElementsData(std::move(elements));
    mRenderData->setOverlayData(std::move(overlays));
    mRenderData->setElementIndex(nullptr);
    ++mGeneration;
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::buildRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                    const tTransientEditActions& actions, bool backgroundOnly) {
    if (!renderData) renderData = std::make_shared<VKMLayoutRenderData>();
    VKM_SOFT_ASSERT(renderData != nullptr);
    // Every layer is built first and stored only when all were built, so a
    // failed build leaves the render data as they were; the scope restores
    // the document on every way out.
    VKMRenderDataFactory::tLayer background;
    VKMRenderDataFactory::tLayer elements;
    VKMRenderDataFactory::tLayer overlays;
    {
        CTransientEditScope edits(layout, actions);
        background = VKMRenderDataFactory::getBackgroundDataForLayout(layout);
        if (!backgroundOnly) {
            elements = VKMRenderDataFactory::getElementsDataForLayout(layout);
            overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout, isDarkBackground());
        }
    }
    renderData->setBackgroundData(std::move(background));
    if (!backgroundOnly) {
        renderData->setElementsData(std::move(elements));
        renderData->setOverlayData(std::move(overlays));
        // The elements may have changed: the next search makes the boxes
        // afresh.
        renderData->setElementIndex(nullptr);
    }
}

void VKMLayoutView::clearRenderData() {
    mPrepared.reset();
    mRenderData = std::make_shared<VKMLayoutRenderData>();
    ++mGeneration;
    setNeedsDisplayOfLayout();
}

platform::Size VKMLayoutView::intrinsicContentSize() const {
    const auto source = delegate();
    const CLayout* layout = source ? source->trackLayout() : nullptr;
    return layout == nullptr ? View::intrinsicContentSize() : intrinsicContentSize(*layout);
}

platform::Size VKMLayoutView::intrinsicContentSize(const CLayout& layout) {
    const double zoom = layout.GetZoom();
    return {zoom * layout.GetParameters().mWorkspaceWidth, zoom * layout.GetParameters().mWorkspaceHeight};
}

void VKMLayoutView::touchesEnded(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    ZDUtils::logDebug("Received touch %zu touch(es)", touches.size());
    View::touchesEnded(touches, event);
}
