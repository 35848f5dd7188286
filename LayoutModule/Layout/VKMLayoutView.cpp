#include "LayoutModule/Layout/VKMLayoutView.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "engine/services/VKMSoftAssert.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
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

// Draws what a tile covers, as the view does, from what it was handed.
VKMTileJobs::tDraw tileDrawing(const VKMLayoutView::tDrawSettings& settings,
                               std::shared_ptr<VKMLayoutRenderData> renderData) {
    return [settings, renderData = std::move(renderData)](platform::Context& context, const platform::Rect& dirty) {
        VKMLayoutView::drawLayout(context, dirty, settings, renderData.get(), {0, 0});
    };
}

}  // namespace

VKMLayoutView::VKMLayoutView() : VKMLayoutView(platform::Rect{}) {}

VKMLayoutView::VKMLayoutView(const platform::Rect& frame)
    : View(frame),
      mGrid(kTuning.tileSide, kTuning.tileRing),
      // The jobs, and with them their arrivals, go with the view.
      mTiles("com.vekmont.layout.tiles", tileThreads(Pace::moving), platform::DispatchQueuePriority::Low,
             [this](VKMTileJobs::tArrival arrival) { tileArrived(std::move(arrival)); }) {}

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
    drawLayout(context, rect, source ? source->trackLayout() : nullptr, renderData().get(),
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
        VKMTileGrid::baseOf({mRenderData.generation(), reinterpret_cast<std::uintptr_t>(&layout), scale, settings.dark,
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
        mTiles.setWidth(tileThreads(pace));
        return;
    }
    if (mPace == pace) return;
    mPace = pace;
    const auto self = weak_from_this().lock();
    if (!self) return;
    std::weak_ptr<VKMLayoutView> weak = std::static_pointer_cast<VKMLayoutView>(self);
    platform::DispatchQueue::main().async([weak, pace] {
        const auto view = weak.lock();
        if (view && view->mPace == pace) view->mTiles.setWidth(tileThreads(pace));
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

VKMTileJobs::tTile VKMLayoutView::tileOf(const tTileIndex& index, int bands) const {
    return {index, mGrid.level().version, drawnRect(index), drawnPixels(), screenScale(), bands};
}

void VKMLayoutView::drawTilesNow(const std::vector<tTileIndex>& tiles, const tDrawSettings& settings) {
    if (tiles.empty()) return;
    std::vector<VKMTileJobs::tTile> drawn;
    for (const tTileIndex& index : tiles) drawn.push_back(tileOf(index, kTuning.bandsATile));
    const auto images = VKMTileJobs::drawNow(drawn, tileDrawing(settings, renderData()));
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (!images[i]) continue;
        tileCache().store(tileKey(tiles[i]), {images[i], drawn[i].rect, drawn[i].scale, drawn[i].version});
        placeTile(tiles[i], images[i]);
    }
}

std::vector<std::shared_ptr<platform::Image>> VKMLayoutView::drawTiles(const tDrawSettings& settings,
                                                                       VKMLayoutRenderData* renderData,
                                                                       const std::vector<std::pair<int, int>>& tiles,
                                                                       double scale) {
    std::vector<VKMTileJobs::tTile> drawn;
    for (const auto& index : tiles) {
        const platform::Rect rect = tileRect(index);
        drawn.push_back({index, 0, rect, static_cast<int>(std::ceil(rect.width * scale)), scale, kTuning.bandsATile});
    }
    return VKMTileJobs::drawNow(drawn,
                                [&settings, renderData](platform::Context& context, const platform::Rect& dirty) {
                                    drawLayout(context, dirty, settings, renderData, {0, 0});
                                });
}

void VKMLayoutView::askForTile(const tTileIndex& index, const tDrawSettings& settings, int bands) {
    if (mGrid.isRequested(index)) return;
    // The drawing keeps the render data alive; a rebuild meanwhile waits
    // for it (the render data's lock) and frees nothing under it, and what
    // it drew then is dropped on arrival, its version being past.
    mGrid.requested(index, mTiles.ask(tileOf(index, bands), tileDrawing(settings, renderData())));
}

void VKMLayoutView::tileArrived(VKMTileJobs::tArrival arrival) {
    const tTileIndex& index = arrival.tile.index;
    if (!mGrid.arrived(arrival.tile.version, index, arrival.ticket) || !arrival.image || !mLevel.layer) return;
    tileCache().store(tileKey(index), {arrival.image, arrival.tile.rect, arrival.tile.scale, arrival.tile.version});
    if (mGrid.isPlaced(index)) return;
    if (mPace == Pace::sharpening && mVisible.contains(index)) {
        // The view's tiles at the new zoom are placed together, by the pass
        // after the last arrives, from the cache: each placed alone would
        // have the frames composite the window anew, on the threads that
        // draw the rest.
        if (mGrid.requestsIn(mVisible) == 0) setNeedsDisplayOfLayout();
        return;
    }
    placeTile(index, std::move(arrival.image));
    // The next pass lets the kept picture go once the view is covered.
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::cancelTiles(const VKMTileGrid::tRange* keep) {
    for (const VKMTileGrid::tTicket ticket : mGrid.dropRequests(keep)) mTiles.cancel(ticket);
}

bool VKMLayoutView::waitForTiles(std::chrono::milliseconds realTimeout) {
    return platform::RunLoop::main()->runUntil([this] { return mTiles.inFlight() == 0; }, realTimeout);
}

bool VKMLayoutView::waitForTileDrawing(std::chrono::milliseconds realTimeout) const {
    return mTiles.waitUntilIdle(realTimeout);
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
    // Tiles still queued were asked for the old data and would be dropped
    // on arrival; drawn first, they would hold the rebuild's write lock off.
    cancelTiles(nullptr);
    mRenderData.rebuild(*layout, source->transientEditActions(), isDarkBackground(), backgroundOnly);
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::prepareLayoutRenderData() {
    const auto source = delegate();
    CLayout* layout = source ? source->trackLayout() : nullptr;
    if (layout == nullptr) return;
    mRenderData.prepare(*layout, source->transientEditActions(), isDarkBackground());
}

void VKMLayoutView::keepPreparedRenderData(VKMPreparedRenderData prepared) {
    mRenderData.keepPrepared(std::move(prepared));
}

void VKMLayoutView::refreshLayoutRenderDataWithPrepared() {
    const auto source = delegate();
    if (!source) return;
    CLayout* layout = source->trackLayout();
    if (!VKM_SOFT_ASSERT(layout != nullptr)) return;
    cancelTiles(nullptr);
    mRenderData.refreshWithPrepared(*layout, source->transientEditActions(), isDarkBackground());
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::buildRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                    const tTransientEditActions& actions, bool backgroundOnly) {
    VKMRenderDataKeeper::build(renderData, layout, actions, isDarkBackground(), backgroundOnly);
}

void VKMLayoutView::clearRenderData() {
    mRenderData.clear();
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
