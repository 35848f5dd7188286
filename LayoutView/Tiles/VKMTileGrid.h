#pragma once
// VKMTileGrid: the bookkeeping of a layout shown as square tiles of its
// picture at a zoom, apart from any view, layer or thread, so that it can
// be tested alone. Tile (c, r) of a level covers the zoomed layout's points
// c x side .. (c + 1) x side across and r x side .. (r + 1) x side down,
// the layout's origin at the grid's.
//
// It holds two levels: the current zoom's, and the one kept from before a
// pinch ended, shown stretched under the current one until that covers the
// view. For each it knows which tiles are placed; for the current one,
// which tiles were asked for and under which ticket. The view asks it, on
// each layout pass, which tiles it shows, which to let go, which to ask
// for and in which order, and which kept tiles are covered; the view then
// places the layers and asks whoever draws. Not thread-safe: one owner.

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/graphics/Geometry.h"

class VKMTileGrid {
public:
    using tIndex = std::pair<int, int>;  // column, row
    // Names a tile asked for, as whoever draws it names it; 0 names none.
    using tTicket = std::uint64_t;

    // Tiles from (column0, row0) to (column1, row1), both included.
    struct tRange {
        int column0 = 0, row0 = 0, column1 = -1, row1 = -1;
        bool contains(const tIndex& index) const {
            return index.first >= column0 && index.first <= column1 && index.second >= row0 && index.second <= row1;
        }
        bool empty() const { return column1 < column0 || row1 < row0; }
        friend bool operator==(const tRange&, const tRange&) = default;
    };

    // What the picture is drawn from besides the zoom. Tiles drawn from
    // another are never shown.
    struct tSource {
        std::uint64_t generation = 0;  // grows with every rebuild of what is drawn
        std::uintptr_t document = 0;
        double scale = 1;  // device pixels a point
        bool dark = false;
        bool grid = false;
        double workspaceWidth = 0;
        double workspaceHeight = 0;
    };
    // A digest of the source; a level's version is the digest of that and
    // its zoom.
    static std::uint64_t baseOf(const tSource& source);
    static std::uint64_t versionOf(std::uint64_t base, double zoom);

    struct tLevel {
        bool made = false;
        double zoom = 0;
        std::uint64_t base = 0;
        std::uint64_t version = 0;
        // A pass has placed or asked for its visible tiles.
        bool shown = false;
        std::set<tIndex> placed;
    };

    // What a pass's update did to the levels.
    enum class Change {
        // The current level stays.
        none,
        // Another source (or the first): both levels were dropped and a
        // new one made. Nothing of the old source is of use any more.
        source,
        // A zoom set outright: both levels dropped, a new one made.
        zoom,
        // The zoom a pinch ended at: the current level became the kept one,
        // a new one was made over it.
        pinchEnd,
    };

    // Tiles `side` points square at a scale of 1; `ring` tiles around the
    // view are wanted besides the visible ones.
    VKMTileGrid(double side, int ring);

    // At `scale` device pixels a point (not positive and finite: 1) a tile
    // is the whole number of pixels nearest side x scale, so that tiles
    // placed on a whole pixel meet pixel on pixel; its side in points is
    // that number over the scale. A new scale makes another source (baseOf),
    // so no level outlives it.
    void setScale(double scale);
    double side() const { return mSide; }
    int pixels() const { return mPixels; }
    int ring() const { return mRing; }

    const tLevel& level() const { return mLevel; }
    const tLevel& kept() const { return mKept; }

    // What an update is to know of the pass besides its source and zoom.
    struct tUpdateOptions {
        // A pinch is in progress: a change of zoom keeps the level, to be
        // stretched.
        bool interactive = false;
        // The zoom is the one a pinch ended at: the level is kept under the
        // new one.
        bool pinchEnded = false;
        // A new source keeps what was shown under the new level (an open
        // showing the document before until the new one's tiles cover the
        // view) instead of dropping it.
        bool keepShownUnderNewSource = false;
    };

    // Brings the current level to `base` and `zoom`, as `options` say (all
    // off when not given). Requests are left alone: the caller drops them
    // after any change (dropRequests).
    Change update(std::uint64_t base, double zoom, tUpdateOptions options);
    Change update(std::uint64_t base, double zoom) { return update(base, zoom, tUpdateOptions{}); }
    // Drops both levels.
    void clear();
    void dropKept() { mKept = {}; }

    // How much a level's tiles are stretched to show the layout at `zoom`.
    static double stretchOf(const tLevel& level, double zoom) { return zoom / level.zoom; }

    // The current level's tiles that a view of `size` shows, the layout's
    // origin at `offset` in it and the layout at `zoom`, widened by `ring`
    // tiles on every side. Empty for a view of no size, and far beyond any
    // layout rather than huge.
    tRange rangeAt(platform::Size size, platform::Point offset, double zoom, int ring) const;

    platform::Rect rectOf(const tIndex& index) const;
    // The piece of the cache's key that names the tile at the current
    // level: 16 bits of the level's version (the version says the rest),
    // column and row in 24 bits each.
    std::uint64_t partOf(const tIndex& index) const;

    bool isPlaced(const tIndex& index) const { return mLevel.placed.count(index) != 0; }
    void place(const tIndex& index) { mLevel.placed.insert(index); }
    // Forgets the current level's placed tiles outside `wanted` and returns
    // them, for their layers to go.
    std::vector<tIndex> releaseOutside(const tRange& wanted);

    // The tiles of `wanted` that are not placed: those of `visible` first,
    // nearest its middle first, then the others row by row.
    std::vector<tIndex> unplaced(const tRange& visible, const tRange& wanted) const;

    // Whether the visible tiles the pass lacks are drawn at once rather than
    // asked for: the current level has shown nothing and nothing is kept
    // under it (a first showing, another source, a zoom set outright, or a
    // first pass that came before the view had a size).
    bool drawsAtOnce() const { return !mLevel.shown && !mKept.made; }
    void markShown() { mLevel.shown = true; }

    // The kept level's placed tiles that placed tiles of the current level
    // cover whole. Both levels scale about the same origin, so what covers
    // a kept tile now covers it at any zoom.
    std::set<tIndex> coveredKept() const;

    // Requests: tiles of the current level asked for and not yet arrived,
    // with the ticket that calls their drawing off.
    bool isRequested(const tIndex& index) const;
    void requested(const tIndex& index, tTicket ticket);
    // The tile asked for under `ticket` for `version` arrived: forgets its
    // request, but not another asked for since under another ticket (a
    // drawing called off too late arrives too, maybe with nothing). True
    // when the tile is of the current level.
    bool arrived(std::uint64_t version, const tIndex& index, tTicket ticket);
    // Forgets every request but those of the current level inside `keep`
    // (all when null) and returns their tickets, for the drawing to be
    // called off.
    std::vector<tTicket> dropRequests(const tRange* keep);
    std::size_t requests() const { return mRequests.size(); }
    // Requests of the current level inside `range`.
    std::size_t requestsIn(const tRange& range) const;
    // The current level's tiles asked for and not arrived, in the order
    // they were asked for.
    std::vector<tIndex> requestedInOrder() const;

private:
    tLevel make(double zoom, std::uint64_t base) const;

    double mNominalSide;
    double mSide;
    int mPixels;
    int mRing;
    tLevel mLevel;
    tLevel mKept;
    struct tRequest {
        tTicket ticket = 0;
        std::uint64_t order = 0;
    };
    // By the version asked for, column and row.
    std::map<std::pair<std::uint64_t, tIndex>, tRequest> mRequests;
    std::uint64_t mNextOrder = 0;
};
