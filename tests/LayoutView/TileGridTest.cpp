// The tile grid alone, without a view or a thread: which tiles a view
// shows at an offset and a stretch, how levels follow the source, the zoom
// and the end of a pinch, in which order missing tiles are asked for, which
// requests survive a pan, and when a kept tile is covered.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "LayoutView/Tiles/VKMTileGrid.h"

namespace {

using tIndex = VKMTileGrid::tIndex;
using tRange = VKMTileGrid::tRange;
using Change = VKMTileGrid::Change;

constexpr platform::Size kView{1366, 1024};

}  // namespace

TEST(TileGrid, RangesHoldEveryTileTheViewShowsAtAnOffsetAndAStretch) {
    struct Case {
        const char* name;
        platform::Size size;
        platform::Point offset;
        double zoom;  // the level's is 1
        int ring;
        tRange expected;
    };
    const Case cases[] = {
        {"the layout's origin at the view's", kView, {0, 0}, 1, 0, {0, 0, 5, 3}},
        {"panned off the pixel grid", kView, {-403.25, -317.5}, 1, 0, {1, 1, 6, 5}},
        {"a ring of one around it", kView, {0, 0}, 1, 1, {-1, -1, 6, 4}},
        {"the origin inside the view", kView, {300, 100}, 1, 0, {-2, -1, 4, 3}},
        {"edges on tile edges", {512, 256}, {-256, 0}, 1, 0, {1, 0, 2, 0}},
        {"stretched to twice by a pinch", kView, {0, 0}, 2, 0, {0, 0, 2, 1}},
        {"shrunk to half by a pinch", kView, {0, 0}, 0.5, 0, {0, 0, 10, 7}},
        {"a view of no size", {0, 1024}, {0, 0}, 1, 1, {}},
        {"far beyond any layout", kView, {-1e12, 0}, 1, 0, {}},
    };
    for (const Case& c : cases) {
        VKMTileGrid grid(256, 1);
        grid.update(7, 1);
        EXPECT_EQ(grid.rangeAt(c.size, c.offset, c.zoom, c.ring), c.expected) << c.name;
    }
    EXPECT_TRUE(tRange{}.empty());
}

TEST(TileGrid, LevelsFollowTheSourceTheZoomSetOutrightAndTheEndOfAPinch) {
    VKMTileGrid grid(256, 1);
    EXPECT_EQ(grid.update(7, 1), Change::source);
    EXPECT_TRUE(grid.drawsAtOnce()) << "a first showing";
    grid.place({0, 0});
    grid.markShown();
    EXPECT_FALSE(grid.drawsAtOnce());
    const std::uint64_t first = grid.level().version;
    EXPECT_EQ(grid.update(7, 1), Change::none);
    EXPECT_EQ(grid.update(7, 1.4, {.interactive = true}), Change::none) << "a pinch stretches the level";
    EXPECT_EQ(grid.level().zoom, 1);

    EXPECT_EQ(grid.update(7, 1.4, {.pinchEnded = true}), Change::pinchEnd);
    EXPECT_EQ(grid.kept().zoom, 1);
    EXPECT_EQ(grid.kept().placed, (std::set<tIndex>{{0, 0}})) << "the stretched tiles stay under the new zoom's";
    EXPECT_EQ(grid.level().zoom, 1.4);
    EXPECT_TRUE(grid.level().placed.empty());
    EXPECT_NE(grid.level().version, first);
    EXPECT_FALSE(grid.drawsAtOnce()) << "the kept picture shows while the tiles come";

    EXPECT_EQ(grid.update(7, 2), Change::zoom);
    EXPECT_FALSE(grid.kept().made) << "a zoom set outright keeps nothing";
    EXPECT_TRUE(grid.drawsAtOnce());
    const std::uint64_t part = grid.partOf({0, 0});
    EXPECT_EQ(grid.update(8, 2), Change::source);
    EXPECT_NE(grid.partOf({0, 0}), part) << "a tile of the old source found in the cache";

    // Back at the first source and zoom, the version is the first one: the
    // cache's tiles of it are shown again.
    grid.update(7, 1);
    EXPECT_EQ(grid.level().version, first);

    // An open keeps what was shown under the new document's tiles, and so
    // draws nothing at once; without it a new source keeps nothing.
    grid.place({1, 0});
    grid.markShown();
    EXPECT_EQ(grid.update(9, 1, {.keepShownUnderNewSource = true}), Change::source);
    EXPECT_EQ(grid.kept().version, first);
    EXPECT_EQ(grid.kept().placed, (std::set<tIndex>{{1, 0}}));
    EXPECT_FALSE(grid.drawsAtOnce()) << "the picture before shows while the new one's tiles come";
    EXPECT_EQ(grid.update(10, 1), Change::source);
    EXPECT_FALSE(grid.kept().made);
}

TEST(TileGrid, EveryPartOfTheSourceChangesTheBase) {
    const VKMTileGrid::tSource source{3, 0x5000, 2, false, false, 3000, 1200};
    const auto changed = [&](auto change) {
        VKMTileGrid::tSource other = source;
        change(other);
        return other;
    };
    const std::pair<const char*, VKMTileGrid::tSource> cases[] = {
        {"a rebuild", changed([](auto& s) { s.generation = 4; })},
        {"another document", changed([](auto& s) { s.document = 0x5008; })},
        {"another screen scale", changed([](auto& s) { s.scale = 3; })},
        {"the dark style", changed([](auto& s) { s.dark = true; })},
        {"the grid", changed([](auto& s) { s.grid = true; })},
        {"a wider workspace", changed([](auto& s) { s.workspaceWidth = 3001; })},
        {"a higher workspace", changed([](auto& s) { s.workspaceHeight = 1201; })},
    };
    for (const auto& [name, other] : cases) {
        EXPECT_NE(VKMTileGrid::baseOf(other), VKMTileGrid::baseOf(source)) << name;
    }
    EXPECT_EQ(VKMTileGrid::baseOf(source), VKMTileGrid::baseOf(changed([](auto&) {})));
}

TEST(TileGrid, MissingTilesAreAskedForFromTheMiddleOfTheViewOutThenTheRing) {
    VKMTileGrid grid(256, 1);
    grid.update(7, 1);
    const tRange visible{0, 0, 2, 2};
    const tRange wanted{-1, -1, 3, 3};
    grid.place({0, 0});
    grid.place({3, 3});
    const std::vector<tIndex> order = grid.unplaced(visible, wanted);
    ASSERT_EQ(order.size(), 23u);
    EXPECT_EQ(order[0], tIndex(1, 1)) << "the middle first";
    const std::vector<tIndex> edges(order.begin() + 1, order.begin() + 5);
    EXPECT_EQ(edges, (std::vector<tIndex>{{1, 0}, {0, 1}, {2, 1}, {1, 2}})) << "then its sides, row by row";
    const std::vector<tIndex> corners(order.begin() + 5, order.begin() + 8);
    EXPECT_EQ(corners, (std::vector<tIndex>{{2, 0}, {0, 2}, {2, 2}})) << "then the corners not placed";
    for (std::size_t i = 8; i < order.size(); ++i) {
        EXPECT_FALSE(visible.contains(order[i])) << "ring tile " << i;
        EXPECT_NE(order[i], tIndex(3, 3)) << "a placed ring tile asked for";
    }
    EXPECT_EQ(order[8], tIndex(-1, -1));
    EXPECT_EQ(order.back(), tIndex(2, 3));

    // A pan lets go of what left the wanted range.
    EXPECT_EQ(grid.releaseOutside({0, 0, 2, 2}), (std::vector<tIndex>{{3, 3}}));
    EXPECT_EQ(grid.level().placed, (std::set<tIndex>{{0, 0}}));
}

TEST(TileGrid, RequestsInsideTheWantedRangeOfTheCurrentLevelSurviveAPan) {
    VKMTileGrid grid(256, 1);
    grid.update(7, 1);
    const std::uint64_t version = grid.level().version;
    grid.requested({0, 0}, 11);
    grid.requested({5, 0}, 12);
    grid.requested({1, 1}, 13);
    EXPECT_TRUE(grid.isRequested({5, 0}));
    EXPECT_EQ(grid.requestedInOrder(), (std::vector<tIndex>{{0, 0}, {5, 0}, {1, 1}})) << "in the order asked";
    const tRange keep{0, 0, 2, 2};
    EXPECT_EQ(grid.requestsIn(keep), 2u);
    EXPECT_EQ(grid.requestsIn({1, 1, 1, 1}), 1u);
    EXPECT_EQ(grid.dropRequests(&keep), std::vector<VKMTileGrid::tTicket>{12});
    EXPECT_FALSE(grid.isRequested({5, 0}));
    EXPECT_TRUE(grid.arrived(version, {1, 1}, 13));
    EXPECT_FALSE(grid.isRequested({1, 1}));
    // A drawing called off too late leaves the tile asked for again alone.
    grid.requested({5, 0}, 14);
    EXPECT_TRUE(grid.arrived(version, {5, 0}, 12));
    EXPECT_TRUE(grid.isRequested({5, 0})) << "the request asked for again was taken by the one called off";
    EXPECT_TRUE(grid.arrived(version, {5, 0}, 14));
    EXPECT_FALSE(grid.isRequested({5, 0}));

    // After the end of a pinch the old zoom's requests go, also inside the
    // range, and what arrives for the old zoom is not shown.
    grid.update(7, 1.5, {.pinchEnded = true});
    EXPECT_FALSE(grid.isRequested({0, 0})) << "a request of the old level taken for the new one's";
    EXPECT_EQ(grid.requestsIn(keep), 0u) << "the old level's requests counted for the new one";
    EXPECT_EQ(grid.dropRequests(&keep), std::vector<VKMTileGrid::tTicket>{11});
    EXPECT_FALSE(grid.arrived(version, {0, 0}, 11));
    grid.requested({0, 0}, 15);
    EXPECT_TRUE(grid.arrived(grid.level().version, {0, 0}, 15));
    EXPECT_EQ(grid.requests(), 0u);
}

TEST(TileGrid, AKeptTileIsCoveredOnlyWhenTheNewZoomsTilesCoverItWhole) {
    struct Case {
        const char* name;
        double zoom;  // the kept level's is 1
        tIndex kept;
        std::vector<tIndex> placed;
        bool covered;
    };
    const Case cases[] = {
        {"twice the zoom, all four over it", 2, {0, 0}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, true},
        {"twice the zoom, one of four missing", 2, {0, 0}, {{0, 0}, {1, 0}, {0, 1}}, false},
        {"one and a half, straddling tiles", 1.5, {1, 0}, {{1, 0}, {2, 0}, {1, 1}, {2, 1}}, true},
        {"one and a half, the last column missing", 1.5, {1, 0}, {{1, 0}, {1, 1}}, false},
        {"half the zoom, inside one tile", 0.5, {3, 1}, {{1, 0}}, true},
        {"half the zoom, the neighbour placed", 0.5, {3, 1}, {{2, 0}}, false},
    };
    for (const Case& c : cases) {
        VKMTileGrid grid(256, 1);
        grid.update(7, 1);
        grid.place(c.kept);
        grid.update(7, c.zoom, {.pinchEnded = true});
        for (const tIndex& index : c.placed) grid.place(index);
        EXPECT_EQ(grid.coveredKept().count(c.kept) != 0, c.covered) << c.name;
    }
}

TEST(TileGrid, KeyPartsTellNeighboursNegativeTilesAndLevelsApart) {
    VKMTileGrid grid(256, 1);
    grid.update(7, 1);
    const std::uint64_t level = grid.level().version >> 48;
    EXPECT_EQ(grid.partOf({0, 0}), (level << 48) | (std::uint64_t{1} << 47) | (std::uint64_t{1} << 23));
    EXPECT_EQ(grid.partOf({-1, 2}), (level << 48) | (std::uint64_t{0x7fffff} << 24) | 0x800002);
    std::set<std::uint64_t> parts;
    for (int column = -3; column <= 3; ++column) {
        for (int row = -3; row <= 3; ++row) parts.insert(grid.partOf({column, row}));
    }
    EXPECT_EQ(parts.size(), 49u);
    EXPECT_EQ(grid.rectOf({-1, 2}), (platform::Rect{-256, 512, 256, 256}));
}

TEST(TileGrid, ATileIsAWholeNumberOfPixelsAtAnyScale) {
    struct Case {
        const char* name;
        double scale;
        int pixels;
    };
    const Case cases[] = {
        {"a scale of 2", 2, 512},
        {"a scale of 1", 1, 256},
        {"a window fitted at 0.9", 0.9, 230},
        {"a window fitted at 1.3", 1.3, 333},
        {"no scale", 0, 256},
        {"a scale not a number", std::nan(""), 256},
    };
    for (const Case& c : cases) {
        VKMTileGrid grid(256, 1);
        grid.setScale(c.scale);
        EXPECT_EQ(grid.pixels(), c.pixels) << c.name;
        const double scale = std::isfinite(c.scale) && c.scale > 0 ? c.scale : 1;
        for (const int column : {-7, 1, 3, 1000}) {
            const double left = grid.rectOf({column, 0}).x * scale;
            EXPECT_NEAR(left, column * c.pixels, 1e-6) << c.name << ", column " << column;
        }
        EXPECT_NEAR(grid.rectOf({0, 0}).width * scale, c.pixels, 1e-9) << c.name;
    }
}
