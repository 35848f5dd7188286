#pragma once
// The view that shows the open layout. It does not scroll: it asks its
// delegate for the layout (whose zoom it reads) and the content offset,
// and shows the document background, the grid and its cached render data
// translated and scaled by them. The render data are rebuilt only when
// asked, with the delegate's display edits applied to the document for the
// length of the build. Main thread only.
//
// In a window it shows the layout as tiles of the picture at the current
// zoom (a VKMTileGrid decides which), kept in the window's raster cache and
// shown as sublayers; outside one it keeps them in a cache of its own. A
// first showing, a change of the document or of the display settings, or
// another zoom set outright draws the visible tiles at once, side by side
// on the pool. A pan moves them and asks a width-limited queue on the pool
// for the tiles it uncovers, and for a ring around the view ahead of them;
// a pinch stretches them, and its end asks for the visible tiles at the new
// zoom, then the ring's, while the stretched ones stay underneath until the
// visible ones arrive. A visible tile is asked for as bands of rows, so
// that the queue's threads share the dense ones rather than one thread
// drawing each whole. The queue draws on a quarter of the pool while the
// user pans or pinches, on the whole pool once the picture stands still
// while visible tiles are missing, and on three quarters once they are
// placed (the rest is the frames'). The tiles are drawn by VKMTileJobs and
// the render data kept by a VKMRenderDataKeeper: the view places layers.
// drawRect is the same drawing pass, for drawing the view elsewhere.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutView/Drawing/VKMPreparedRenderData.h"
#include "LayoutView/Drawing/VKMRenderDataKeeper.h"
#include "LayoutView/Tiles/VKMTileGrid.h"
#include "LayoutView/Tiles/VKMTileJobs.h"
#include "engine/drawing/TransientEdits.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/RenderTuning.h"
#include "platform/ui/views/View.h"

class CLayout;

// What the view asks for; the layout view controller answers.
class VKMLayoutViewDelegate {
public:
    virtual ~VKMLayoutViewDelegate() = default;
    // The layout to show, or null.
    virtual CLayout* trackLayout() const = 0;
    // Where the layout's origin lies in the view, in points.
    virtual platform::Point contentOffset() const = 0;
    // The display edits, a copy per call.
    virtual tTransientEditActions transientEditActions() const = 0;
};

class VKMLayoutView : public platform::ui::View {
public:
    // The user default that turns the document background dark.
    static constexpr const char* kDarkBackgroundKey = "VKMUserDefaultLayoutStyleDarkBackground";

    VKMLayoutView();
    explicit VKMLayoutView(const platform::Rect& frame);

    std::shared_ptr<VKMLayoutViewDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<VKMLayoutViewDelegate> delegate) { mDelegate = std::move(delegate); }

    // Background, grid (when the layout shows one), then the render layers,
    // translated by the content offset and scaled by the layout's zoom.
    // Timed as "DrawLayoutView".
    void drawRect(platform::Context& context, const platform::Rect& rect) override;

    // Marks the shown layout for drawing at the next layout pass (before
    // the next frame): after a pan, a zoom or a change of the document.
    void setNeedsDisplayOfLayout() { setNeedsLayout(); }
    void layoutSubviews() override;

    // The side of a tile, in points.
    static constexpr double kTileSide = platform::ui::RenderTuning{}.tileSide;
    // Tiles asked of worker threads and not yet placed.
    std::size_t pendingTiles() const { return mTiles.inFlight(); }
    // Visible tiles the last layout pass did not have (shown stretched from
    // the kept picture, or as the background).
    std::size_t missingTiles() const { return mMissing; }
    // How the picture moves, which sets how much of the pool draws tiles:
    // a quarter while the user pans or pinches; all of it while it stands
    // still and visible tiles are missing; three quarters once they are
    // placed (the rest for the frames).
    enum class Pace { moving, sharpening, still };
    Pace pace() const { return mPace; }
    // The tiles (column, row) at the current zoom asked of worker threads
    // and not yet placed, in the order they were asked for.
    std::vector<std::pair<int, int>> requestedTiles() const { return mGrid.requestedInOrder(); }
    // Runs the main loop until every tile asked for so far has been placed
    // (and those the layout passes meanwhile ask for), or `realTimeout`
    // passes; true when none is left.
    bool waitForTiles(std::chrono::milliseconds realTimeout = std::chrono::seconds(20));
    // Waits until the worker threads have drawn (or dropped) every tile
    // asked for so far, without placing them: their results wait on the
    // main loop. True when none is left.
    bool waitForTileDrawing(std::chrono::milliseconds realTimeout = std::chrono::seconds(20)) const;

    // Rebuilds the background layer and, unless `backgroundOnly`, the
    // elements and overlay layers, then asks for a redraw. Nothing without a
    // delegate or a layout. The document is restored on every way out; a
    // build that throws leaves the render data as they were. Tiles still
    // queued for the old data are dropped first. Timed as
    // "CreateLayoutRenderData".
    void refreshLayoutRenderDataBackgroundOnly(bool backgroundOnly);
    void refreshLayoutRenderData() { refreshLayoutRenderDataBackgroundOnly(false); }
    // Builds the elements and overlay layers now and keeps them aside, for
    // a refresh that is known to come (the open's, after its pause);
    // keepPreparedRenderData keeps layers prepared elsewhere (an open's)
    // aside the same way. refreshLayoutRenderDataWithPrepared is a full
    // refresh that puts them in while they still hold
    // (VKMPreparedRenderData::holdsFor) and builds them otherwise. Any
    // other full rebuild, or a clearing, drops them. Nothing is kept when
    // the build throws.
    void prepareLayoutRenderData();
    void keepPreparedRenderData(VKMPreparedRenderData prepared);
    void refreshLayoutRenderDataWithPrepared();
    bool hasPreparedRenderData() const { return mRenderData.hasPrepared(); }
    // Replaces the render data by empty ones.
    void clearRenderData();
    bool hasRenderData() const { return mRenderData.renderData() != nullptr; }
    const std::shared_ptr<VKMLayoutRenderData>& renderData() const { return mRenderData.renderData(); }

    // (zoom x workspace width, zoom x workspace height) of the delegate's
    // layout; without one, no intrinsic size.
    platform::Size intrinsicContentSize() const override;
    static platform::Size intrinsicContentSize(const CLayout& layout);

    // While set (a pinch in progress) a change of zoom stretches the last
    // picture drawn instead of drawing the layout afresh; clearing it draws
    // afresh.
    bool isInteractiveZoom() const { return mInteractiveZoom; }
    void setInteractiveZoom(bool interactive);

    // While set (a document being opened behind a busy view), what would be
    // drawn at once on the main thread is drawn on the pool and placed as
    // it comes, the picture before staying under it until then.
    bool drawsTilesAside() const { return mDrawTilesAside; }
    void setDrawsTilesAside(bool aside) { mDrawTilesAside = aside; }

    void touchesEnded(const platform::ui::TouchSet& touches, const platform::ui::Event& event) override;
    std::string className() const override { return "VKMLayoutView"; }

    // What the drawing pass reads of the layout and the user defaults, so
    // that a worker thread can draw without them.
    struct tDrawSettings {
        double zoom = 1;
        bool grid = false;
        bool dark = false;
        double workspaceWidth = 0;
        double workspaceHeight = 0;
    };
    static tDrawSettings drawSettingsOf(const CLayout& layout);

    // The drawing pass itself, for whatever draws a layout as the view does.
    static void drawLayout(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
                           VKMLayoutRenderData* renderData, platform::Point contentOffset);
    // The same with the settings read beforehand; safe on any thread while
    // the render data are kept alive.
    static void drawLayout(platform::Context& context, const platform::Rect& dirtyRect, const tDrawSettings& settings,
                           VKMLayoutRenderData* renderData, platform::Point contentOffset);
    // The tiles (column, row; kTileSide points square from the layout's
    // origin) at `scale`, drawn as drawLayout draws them, side by side on
    // the pool in bands of rows; null for a tile that could not be made.
    static std::vector<std::shared_ptr<platform::Image>> drawTiles(const tDrawSettings& settings,
                                                                   VKMLayoutRenderData* renderData,
                                                                   const std::vector<std::pair<int, int>>& tiles,
                                                                   double scale);
    // Builds the layers into `renderData` (made when null) as the refresh
    // does, for the current background style.
    static void buildRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                const tTransientEditActions& actions, bool backgroundOnly);
    // Whether the dark document background is on (absent reads off).
    static bool isDarkBackground();

private:
    using tTileIndex = VKMTileGrid::tIndex;
    // The layers of a level: one placed at the content offset and scaled by
    // the current zoom over the level's own, with a sublayer per tile placed.
    struct tLevelLayers {
        std::shared_ptr<platform::ui::Layer> layer;
        std::map<tTileIndex, std::shared_ptr<platform::ui::Layer>> tiles;
    };

    double screenScale() const;
    platform::ui::RasterCache& tileCache();
    void showLayout();
    // Makes the layer that holds the levels, the view's size.
    void fitPictureLayer();
    // Without a layout: no tile, asked for or shown.
    void forgetPicture();
    // Brings the levels to the document, its settings and the zoom; a new
    // level drops the old one's requests, and the end of a pinch keeps the
    // old level's layers under the new one.
    VKMTileGrid::Change updateLevels(const CLayout& layout, const tDrawSettings& settings, double scale);
    // Places the current level's tiles the view and its ring need, from the
    // cache where it holds them, and draws or asks for the others, the
    // visible first. How many visible tiles are missing.
    std::size_t fillView(platform::Point offset, const tDrawSettings& settings);
    // Lets the kept picture go once the current level covers the view
    // (`covered`), else hides its tiles that the current level covers.
    void showKept(bool covered);
    // Sets the tile queue's width for the pace.
    void setPace(Pace pace);
    tLevelLayers makeLevelLayers();
    static void dropLevelLayers(tLevelLayers& level);
    static void placeLevel(const tLevelLayers& layers, const VKMTileGrid::tLevel& level, platform::Point offset,
                           double zoom);
    // Places the tile from the cache when it holds it at the level's version.
    bool placeKeptTile(const tTileIndex& index);
    void placeTile(const tTileIndex& index, std::shared_ptr<const platform::Image> image);
    void drawTilesNow(const std::vector<tTileIndex>& tiles, const tDrawSettings& settings);
    // Asks the jobs for the tile, drawn in `bands` blocks of rows.
    void askForTile(const tTileIndex& index, const tDrawSettings& settings, int bands);
    void tileArrived(VKMTileJobs::tArrival arrival);
    // The tile at the current level, drawn in `bands` bands of rows.
    VKMTileJobs::tTile tileOf(const tTileIndex& index, int bands) const;
    // Calls off the tiles asked for but those of the current level inside
    // `keep` (all when null).
    void cancelTiles(const VKMTileGrid::tRange* keep);
    platform::ui::RasterKey tileKey(const tTileIndex& index) const;
    // What a tile's image covers, in the level's points, and its pixels a
    // side: the tile and the overlap of the tuning past its right and
    // bottom edges.
    platform::Rect drawnRect(const tTileIndex& index) const;
    int drawnPixels() const;

    std::weak_ptr<VKMLayoutViewDelegate> mDelegate;
    VKMRenderDataKeeper mRenderData;
    // Holds the levels; its own background is the document's, shown where no
    // tile lies yet.
    std::shared_ptr<platform::ui::Layer> mPictureLayer;
    VKMTileGrid mGrid;
    tLevelLayers mLevel;
    // The picture kept from before the current level (the zoom before a
    // pinch ended), stretched under it until the current level's visible
    // tiles are all placed.
    tLevelLayers mKept;
    // Draws the tiles asked for; its tickets are those the grid knows.
    VKMTileJobs mTiles;
    std::size_t mMissing = 0;
    // The current level's tiles the last pass found visible.
    VKMTileGrid::tRange mVisible;
    // Where the last pass placed the layout's origin: a pass elsewhere at the
    // same zoom is a frame of a pan.
    platform::Point mShownOffset;
    Pace mPace = Pace::moving;
    // For a view outside a window.
    std::unique_ptr<platform::ui::RasterCache> mOwnCache;
    bool mInteractiveZoom = false;
    bool mPinchEnded = false;
    bool mDrawTilesAside = false;
};
