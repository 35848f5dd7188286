#include "LayoutModule/Layout/VKMLayoutView.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
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

VKMLayoutView::VKMLayoutView() : VKMLayoutView(platform::Rect{}) {}

VKMLayoutView::VKMLayoutView(const platform::Rect& frame) : View(frame) {}

bool VKMLayoutView::isDarkBackground() {
    return platform::UserDefaults::standard().boolValue(kDarkBackgroundKey).value_or(false);
}

namespace {

// Tiles asked for ahead of a pan, around the visible ones.
constexpr int kRing = 1;
// Bands of rows a tile drawn at once is split into, each a job of its own.
constexpr int kBandsATile = 8;

std::uint64_t bitsOf(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Tile jobs run on a quarter of the pool's threads (at least two), at low
// priority: the compositor draws a frame's bands on the same pool, and a
// frame must not wait behind a screenful of tiles. Half the pool sharpened
// sooner but doubled the frames over 16.7 ms after a pinch at 100,000
// elements, while the stretched tiles were composited.
class TileWorkers {
public:
    static TileWorkers& shared() {
        static auto* workers = new TileWorkers();  // outlives the threads
        return *workers;
    }

    void add(std::function<void()> job) {
        {
            std::lock_guard lock(mMutex);
            mJobs.push_back(std::move(job));
            if (mRunners >= mMostRunners) return;
            ++mRunners;
        }
        platform::DispatchQueue::global(platform::DispatchQueuePriority::Low).async([this] { run(); });
    }

private:
    TileWorkers() : mMostRunners(std::max(2u, platform::DispatchQueue::concurrency() / 4)) {}

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(mMutex);
                if (mJobs.empty()) {
                    --mRunners;
                    return;
                }
                job = std::move(mJobs.front());
                mJobs.pop_front();
            }
            try {
                job();
            } catch (...) {
                // A tile that could not be drawn stays missing; the others go on.
            }
        }
    }

    std::mutex mMutex;
    std::deque<std::function<void()>> mJobs;
    unsigned mRunners = 0;
    const unsigned mMostRunners;
};

platform::Rect tileRect(const std::pair<int, int>& index) {
    constexpr double side = VKMLayoutView::kTileSide;
    return {index.first * side, index.second * side, side, side};
}

// One tile of the picture at the settings' zoom, the layout's origin at
// the tile grid's origin.
std::shared_ptr<platform::Image> drawTile(const VKMLayoutView::tDrawSettings& settings, VKMLayoutRenderData* renderData,
                                          const std::pair<int, int>& index, double scale) {
    const platform::Rect rect = tileRect(index);
    auto canvas = platform::BitmapContext::createForPointSize(rect.size(), scale);
    if (!canvas) return nullptr;
    canvas->translate(-rect.x, -rect.y);
    VKMLayoutView::drawLayout(*canvas, rect, settings, renderData, {0, 0});
    return platform::BitmapContext::takeImage(std::move(canvas));
}

}  // namespace

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
    const bool dark = isDarkBackground();
    const platform::Color documentColor =
        dark ? VKMLayoutColors::vkmDocumentDarkBackgroundColor() : VKMLayoutColors::vkmDocumentBackgroundColor();
    // The tiles cover the view but while a pinch shrinks them.
    setBackgroundColor(layout == nullptr || mInteractiveZoom ? std::optional<platform::Color>(documentColor)
                                                             : std::nullopt);
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
    if (layout == nullptr) {
        cancelTiles(nullptr);
        dropLevel(mKept);
        dropLevel(mLevel);
        mPictureLayer->setBackgroundColor(platform::Color::clear());
        mPinchEnded = false;
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
    const std::uint64_t base =
        platform::hashMix(mGeneration, reinterpret_cast<std::uintptr_t>(layout), bitsOf(scale), settings.dark,
                          settings.grid, bitsOf(settings.workspaceWidth), bitsOf(settings.workspaceHeight));
    const double zoom = settings.zoom;
    const std::uint64_t version = platform::hashMix(base, bitsOf(zoom));

    bool drawNow = false;
    if (!mLevel.layer || mLevel.base != base) {
        // All that is kept shows another document or other settings.
        cancelTiles(nullptr);
        if (mLevel.layer) tileCache().eraseOwner(mPictureLayer->identifier());
        dropLevel(mKept);
        if (mDrawTilesAside && mLevel.layer) {
            // Shown until the tiles drawn aside cover the view.
            mKept = std::move(mLevel);
            mLevel = {};
        } else {
            dropLevel(mLevel);
        }
        mLevel = makeLevel(zoom, base, version);
        drawNow = true;
    } else if (mLevel.zoom != zoom && !mInteractiveZoom) {
        cancelTiles(nullptr);
        dropLevel(mKept);
        if (mPinchEnded) {
            // Stretched under the new zoom's tiles until they arrive.
            mKept = std::move(mLevel);
            mLevel = {};
        } else {
            dropLevel(mLevel);
            drawNow = true;
        }
        mLevel = makeLevel(zoom, base, version);
    }
    mPinchEnded = false;
    placeLevel(mKept, offset, zoom);
    placeLevel(mLevel, offset, zoom);
    // A pinch stretches what is there.
    if (mInteractiveZoom) return;

    const tRange visible = visibleTiles(mLevel, offset, zoom, 0);
    const tRange wanted = visibleTiles(mLevel, offset, zoom, kRing);
    for (auto it = mLevel.tiles.begin(); it != mLevel.tiles.end();) {
        if (wanted.contains(it->first)) {
            ++it;
        } else {
            // The cache keeps its image for a pan back.
            it->second->removeFromSuperlayer();
            it = mLevel.tiles.erase(it);
        }
    }
    cancelTiles(&wanted);

    std::vector<tTileIndex> missing;
    for (int row = visible.row0; row <= visible.row1; ++row) {
        for (int column = visible.column0; column <= visible.column1; ++column) {
            const tTileIndex index{column, row};
            if (mLevel.tiles.count(index) == 0 && !placeKeptTile(index)) missing.push_back(index);
        }
    }
    // The middle of the view first.
    const double middleColumn = (visible.column0 + visible.column1) / 2.0;
    const double middleRow = (visible.row0 + visible.row1) / 2.0;
    std::sort(missing.begin(), missing.end(), [&](const tTileIndex& a, const tTileIndex& b) {
        return std::hypot(a.first - middleColumn, a.second - middleRow) <
               std::hypot(b.first - middleColumn, b.second - middleRow);
    });
    // A level that has shown nothing and has nothing kept under it (its
    // first pass came before the view had a size) draws at once too.
    const bool atOnce = drawNow || (!mLevel.shown && !mKept.layer) || weak_from_this().expired();
    if (atOnce && mDrawTilesAside && !weak_from_this().expired()) {
        drawTilesAside(missing, settings);
    } else if (atOnce) {
        drawTilesNow(missing, settings);
        missing.clear();
    } else {
        for (const tTileIndex& index : missing) askForTile(index, settings);
    }
    for (int row = wanted.row0; row <= wanted.row1; ++row) {
        for (int column = wanted.column0; column <= wanted.column1; ++column) {
            const tTileIndex index{column, row};
            if (visible.contains(index) || mLevel.tiles.count(index) != 0 || placeKeptTile(index)) continue;
            if (!weak_from_this().expired()) askForTile(index, settings);
        }
    }
    mMissing = missing.size();
    if (visible.column1 >= visible.column0 && visible.row1 >= visible.row0) mLevel.shown = true;
    if (missing.empty()) {
        dropLevel(mKept);
    } else {
        hideCoveredKeptTiles();
    }
    // Where no tile lies yet, the document's background; none under a
    // covered view, where it would only cost a fill of the whole frame.
    mPictureLayer->setBackgroundColor(missing.empty() ? platform::Color::clear() : documentColor);
}

void VKMLayoutView::hideCoveredKeptTiles() {
    // A kept tile wholly under placed tiles of the current zoom would be
    // stretched into the frame for nothing. Both levels scale about the
    // same origin, so what covers it now covers it at any zoom (a next
    // pinch stretches both alike).
    const double stretch = mLevel.zoom / mKept.zoom;
    for (const auto& [index, tile] : mKept.tiles) {
        const platform::Rect kept = tileRect(index);
        const int column0 = static_cast<int>(std::floor(stretch * kept.x / kTileSide));
        const int row0 = static_cast<int>(std::floor(stretch * kept.y / kTileSide));
        const int column1 = static_cast<int>(std::ceil(stretch * kept.maxX() / kTileSide)) - 1;
        const int row1 = static_cast<int>(std::ceil(stretch * kept.maxY() / kTileSide)) - 1;
        bool covered = true;
        for (int row = row0; covered && row <= row1; ++row) {
            for (int column = column0; covered && column <= column1; ++column) {
                covered = mLevel.tiles.count({column, row}) != 0;
            }
        }
        tile->setHidden(covered);
    }
}

VKMLayoutView::tLevel VKMLayoutView::makeLevel(double zoom, std::uint64_t base, std::uint64_t version) {
    tLevel level;
    level.layer = platform::ui::Layer::make();
    level.layer->setAnchorPoint({0, 0});
    level.layer->setBounds({0, 0, 0, 0});
    level.zoom = zoom;
    level.base = base;
    level.version = version;
    // Above the kept picture.
    mPictureLayer->addSublayer(level.layer);
    return level;
}

void VKMLayoutView::dropLevel(tLevel& level) {
    if (level.layer) level.layer->removeFromSuperlayer();
    level = {};
}

void VKMLayoutView::placeLevel(tLevel& level, platform::Point offset, double zoom) const {
    if (!level.layer) return;
    // A layout point p lies at zoom(level) x p in the level's layer and
    // belongs at offset + zoom x p in the view.
    const double stretch = zoom / level.zoom;
    level.layer->setTransform(stretch == 1 ? platform::ui::Transform3D::identity()
                                           : platform::ui::Transform3D::scale(stretch, stretch));
    level.layer->setPosition(offset);
}

VKMLayoutView::tRange VKMLayoutView::visibleTiles(const tLevel& level, platform::Point offset, double zoom,
                                                  int ring) const {
    const platform::Size size = bounds().size();
    const double stretch = zoom / level.zoom;
    if (!(stretch > 0) || !std::isfinite(stretch) || size.width <= 0 || size.height <= 0) return {};
    const auto first = [&](double viewPoint, double origin) {
        return static_cast<int>(std::floor((viewPoint - origin) / stretch / kTileSide));
    };
    const auto last = [&](double viewPoint, double origin) {
        return static_cast<int>(std::ceil((viewPoint - origin) / stretch / kTileSide)) - 1;
    };
    // Far beyond any layout, the range is empty rather than huge.
    constexpr double kMost = 1 << 22;
    const double x0 = (0 - offset.x) / stretch / kTileSide;
    const double y0 = (0 - offset.y) / stretch / kTileSide;
    if (std::abs(x0) > kMost || std::abs(y0) > kMost) return {};
    return {first(0, offset.x) - ring, first(0, offset.y) - ring, last(size.width, offset.x) + ring,
            last(size.height, offset.y) + ring};
}

platform::ui::RasterKey VKMLayoutView::tileKey(const tTileIndex& index) const {
    // The level's 16 bits (its version says the rest), column and row in
    // 24 bits each.
    const std::uint64_t level = mLevel.version >> 48;
    const auto packed = [](int value) { return static_cast<std::uint64_t>(value + (1 << 23)) & 0xffffff; };
    return {mPictureLayer ? mPictureLayer->identifier() : 0, platform::ui::kRasterTile,
            (level << 48) | (packed(index.first) << 24) | packed(index.second)};
}

bool VKMLayoutView::placeKeptTile(const tTileIndex& index) {
    const platform::ui::RasterEntry* kept = tileCache().find(tileKey(index));
    if (kept == nullptr || kept->version != mLevel.version || !kept->image) return false;
    placeTile(index, kept->image);
    return true;
}

void VKMLayoutView::placeTile(const tTileIndex& index, std::shared_ptr<const platform::Image> image) {
    auto tile = platform::ui::Layer::make();
    tile->setFrame(tileRect(index));
    tile->setContents(std::move(image));
    mLevel.layer->addSublayer(tile);
    mLevel.tiles[index] = std::move(tile);
}

void VKMLayoutView::drawTilesNow(const std::vector<tTileIndex>& tiles, const tDrawSettings& settings) {
    if (tiles.empty()) return;
    const double scale = screenScale();
    const auto images = drawTiles(settings, mRenderData.get(), tiles, scale);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (!images[i]) continue;
        tileCache().store(tileKey(tiles[i]), {images[i], tileRect(tiles[i]), scale, mLevel.version});
        placeTile(tiles[i], images[i]);
    }
}

void VKMLayoutView::drawTilesAside(const std::vector<tTileIndex>& tiles, const tDrawSettings& settings) {
    // Drawn as drawTilesNow draws them, in bands on the whole pool, from a
    // block of its own; each is asked for as a worker's tile is, so that it
    // is dropped when cancelled or when its level has gone.
    struct tAsked {
        tTileIndex index;
        std::uint64_t job;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    std::vector<tAsked> asked;
    for (const tTileIndex& index : tiles) {
        const auto key = std::make_tuple(mLevel.version, index.first, index.second);
        if (mPending.count(key) != 0) continue;
        auto cancelled = std::make_shared<std::atomic<bool>>(false);
        const std::uint64_t job = mNextJob++;
        mPending[key] = {job, cancelled};
        asked.push_back({index, job, std::move(cancelled)});
    }
    if (asked.empty()) return;
    mInFlight += asked.size();
    {
        std::lock_guard lock(mDrawing->mutex);
        mDrawing->count += asked.size();
    }
    std::weak_ptr<VKMLayoutView> weak = std::static_pointer_cast<VKMLayoutView>(sharedView());
    platform::DispatchQueue::global(platform::DispatchQueuePriority::Low)
        .async([weak, renderData = mRenderData, settings, asked, scale = screenScale(), version = mLevel.version,
                drawing = mDrawing] {
            std::vector<std::pair<int, int>> wanted;
            std::vector<std::size_t> at;
            for (std::size_t i = 0; i < asked.size(); ++i) {
                if (asked[i].cancelled->load()) continue;
                wanted.push_back(asked[i].index);
                at.push_back(i);
            }
            std::vector<std::shared_ptr<platform::Image>> images(asked.size());
            try {
                const auto drawn = drawTiles(settings, renderData.get(), wanted, scale);
                for (std::size_t i = 0; i < at.size(); ++i) images[at[i]] = drawn[i];
            } catch (...) {
                // Tiles that could not be drawn stay missing.
            }
            {
                std::lock_guard lock(drawing->mutex);
                drawing->count -= asked.size();
            }
            drawing->drawn.notify_all();
            platform::DispatchQueue::main().async([weak, version, asked, images = std::move(images)] {
                const auto view = weak.lock();
                if (!view) return;
                for (std::size_t i = 0; i < asked.size(); ++i)
                    view->tileArrived(version, asked[i].index, asked[i].job, images[i]);
            });
        });
}

std::vector<std::shared_ptr<platform::Image>> VKMLayoutView::drawTiles(const tDrawSettings& settings,
                                                                       VKMLayoutRenderData* renderData,
                                                                       const std::vector<std::pair<int, int>>& tiles,
                                                                       double scale) {
    // A tile over the dense middle of a fitted layout holds most of its
    // elements: drawn whole on one thread it kept the others waiting (a
    // third of a second of 100,000 elements' first frame). Each tile's rows
    // are drawn in bands of their own instead.
    std::vector<std::unique_ptr<platform::BitmapContext>> canvases(tiles.size());
    std::vector<std::unique_ptr<platform::BitmapContext>> bands;
    struct tBand {
        platform::Rect rect;
        std::size_t band;
    };
    std::vector<tBand> work;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const platform::Rect rect = tileRect(tiles[i]);
        const platform::Size pixels{std::ceil(rect.width * scale), std::ceil(rect.height * scale)};
        canvases[i] = platform::BitmapContext::createForBands(static_cast<int>(pixels.width),
                                                              static_cast<int>(pixels.height), scale);
        if (!canvases[i]) continue;
        canvases[i]->translate(-rect.x, -rect.y);
        const int height = canvases[i]->pixelHeight();
        for (int b = 0; b < kBandsATile; ++b) {
            const int first = height * b / kBandsATile;
            const int end = height * (b + 1) / kBandsATile;
            auto band = canvases[i]->band(first, end);
            if (!band) continue;
            // A point more on either side within the tile: the band's own
            // rows clip it, and no row is left to the rounding of its edges.
            const double top = std::max(rect.y, rect.y + first / scale - 1);
            const double bottom = std::min(rect.maxY(), rect.y + end / scale + 1);
            work.push_back({{rect.x, top, rect.width, bottom - top}, bands.size()});
            bands.push_back(std::move(band));
        }
    }
    platform::DispatchQueue::concurrentPerform(work.size(), [&](std::size_t i) {
        drawLayout(*bands[work[i].band], work[i].rect, settings, renderData, {0, 0});
        bands[work[i].band].reset();
    });
    bands.clear();
    std::vector<std::shared_ptr<platform::Image>> images(tiles.size());
    for (std::size_t i = 0; i < tiles.size(); ++i)
        images[i] = platform::BitmapContext::takeImage(std::move(canvases[i]));
    return images;
}

void VKMLayoutView::askForTile(const tTileIndex& index, const tDrawSettings& settings) {
    const auto key = std::make_tuple(mLevel.version, index.first, index.second);
    if (mPending.count(key) != 0) return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const std::uint64_t job = mNextJob++;
    mPending[key] = {job, cancelled};
    ++mInFlight;
    {
        std::lock_guard lock(mDrawing->mutex);
        ++mDrawing->count;
    }
    // The job keeps the render data alive; a rebuild meanwhile waits for
    // its drawing (the render data's lock) and frees nothing under it, and
    // what it drew then is dropped here, its version being past.
    std::weak_ptr<VKMLayoutView> weak = std::static_pointer_cast<VKMLayoutView>(sharedView());
    TileWorkers::shared().add([weak, renderData = mRenderData, settings, index, scale = screenScale(), cancelled,
                               version = mLevel.version, job, drawing = mDrawing] {
        std::shared_ptr<platform::Image> image;
        if (!cancelled->load()) image = drawTile(settings, renderData.get(), index, scale);
        {
            std::lock_guard lock(drawing->mutex);
            --drawing->count;
        }
        drawing->drawn.notify_all();
        platform::DispatchQueue::main().async([weak, version, index, job, image = std::move(image)]() mutable {
            if (const auto view = weak.lock()) view->tileArrived(version, index, job, std::move(image));
        });
    });
}

void VKMLayoutView::tileArrived(std::uint64_t version, const tTileIndex& index, std::uint64_t job,
                                std::shared_ptr<platform::Image> image) {
    if (mInFlight > 0) --mInFlight;
    const auto pending = mPending.find(std::make_tuple(version, index.first, index.second));
    if (pending != mPending.end() && pending->second.job == job) mPending.erase(pending);
    if (!image || !mLevel.layer || version != mLevel.version) return;
    tileCache().store(tileKey(index), {image, tileRect(index), screenScale(), version});
    if (mLevel.tiles.count(index) != 0) return;
    placeTile(index, std::move(image));
    // The next pass lets the kept picture go once the view is covered.
    setNeedsDisplayOfLayout();
}

void VKMLayoutView::cancelTiles(const tRange* keep) {
    for (auto it = mPending.begin(); it != mPending.end();) {
        const auto& [version, column, row] = it->first;
        if (keep != nullptr && version == mLevel.version && keep->contains({column, row})) {
            ++it;
        } else {
            it->second.cancelled->store(true);
            it = mPending.erase(it);
        }
    }
}

bool VKMLayoutView::waitForTiles(std::chrono::milliseconds realTimeout) {
    return platform::RunLoop::main()->runUntil([this] { return mInFlight == 0; }, realTimeout);
}

bool VKMLayoutView::waitForTileDrawing(std::chrono::milliseconds realTimeout) const {
    std::unique_lock lock(mDrawing->mutex);
    return mDrawing->drawn.wait_for(lock, realTimeout, [&] { return mDrawing->count == 0; });
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
    return {layout.GetZoom(), parameters.mShowGrid, isDarkBackground(), parameters.mWorkspaceWidth,
            parameters.mWorkspaceHeight};
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
