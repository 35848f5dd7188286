// The tile jobs alone, without a view or a window: a tile drawn in bands is
// the tile drawn in one piece; tiles start in the order asked for; a tile
// called off before it starts never draws and is counted back at once, one
// called off while bands draw arrives without an image once they end; a
// drawing that throws loses its tile only; and many tiles asked for and
// called off while the width changes all come back, and jobs destroyed
// while a tile draws leave it to end on its own (run under the thread
// sanitizer).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "LayoutView/Tiles/VKMTileJobs.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"
#include "tests/support/PixelCompare.h"

using namespace std::chrono_literals;
using tTile = VKMTileJobs::tTile;

namespace {

// A picture with edges off the pixel grid in every band of a tile.
void drawPicture(platform::Context& context, const platform::Rect& dirty) {
    context.save();
    context.clipToRect(dirty);
    context.setFillColor({0.2, 0.5, 0.9, 1});
    context.fillRect({13.3, 7.7, 200, 181.4});
    context.setStrokeColor({0.8, 0.1, 0.1, 0.9});
    context.setLineWidth(2.5);
    platform::Path path;
    path.moveTo({0, 250});
    path.lineTo({250, 3});
    context.strokePath(path);
    context.restore();
}

tTile tileAt(int column, int bands, std::uint64_t version = 1) {
    return {{column, 0}, version, {column * 64.0, 0, 64, 64}, 96, 1.5, bands};
}


std::shared_ptr<platform::Image> inOnePiece(const tTile& tile) {
    auto bitmap = platform::BitmapContext::create(tile.pixels, tile.pixels, tile.scale);
    bitmap->translate(-tile.rect.x, -tile.rect.y);
    drawPicture(*bitmap, tile.rect);
    return platform::BitmapContext::takeImage(std::move(bitmap));
}

// What reached the main loop.
struct Arrivals {
    std::vector<VKMTileJobs::tArrival> all;
    std::function<void(VKMTileJobs::tArrival)> sink() {
        return [this](VKMTileJobs::tArrival arrival) { all.push_back(std::move(arrival)); };
    }
};

bool runUntilNoneInFlight(const VKMTileJobs& jobs) {
    return platform::RunLoop::main()->runUntil([&] { return jobs.inFlight() == 0; }, 20s);
}

// Runs the main loop until what was queued on it so far has run.
void runWhatIsQueued() {
    bool turned = false;
    platform::DispatchQueue::main().async([&turned] { turned = true; });
    platform::RunLoop::main()->runUntil([&] { return turned; }, 20s);
}

// A gate the drawings of chosen tiles wait at, and the bands that started.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;
    std::vector<double> started;  // each band's dirty top, as they started

    // A failed test still lets its drawings leave the gate first.
    ~Gate() {
        release();
        waitForWaiting(0);
    }
    VKMTileJobs::tDraw held() {
        return [this](platform::Context& context, const platform::Rect& dirty) {
            {
                std::unique_lock lock(mutex);
                started.push_back(dirty.x);
                ++waiting;
                changed.notify_all();
                changed.wait(lock, [this] { return open; });
                --waiting;
                changed.notify_all();
            }
            drawPicture(context, dirty);
        };
    }
    bool waitForWaiting(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return waiting == count; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

}  // namespace

TEST(TileJobs, ATileDrawnInBandsIsTheTileDrawnInOnePiece) {
    struct Case {
        std::string name;
        int bands;
        int expectedBands;
    };
    const std::vector<Case> cases{
        {"one band", 1, 1},
        {"eight bands", 8, 8},
        {"uneven rows", 7, 7},
        {"no more bands than rows", 500, 96},
    };
    for (const Case& c : cases) {
        Arrivals arrivals;
        VKMTileJobs jobs("com.vekmont.test.tiles", 4, platform::DispatchQueuePriority::Low, arrivals.sink());
        std::mutex mutex;
        std::vector<platform::Rect> dirty;
        const tTile tile = tileAt(1, c.bands);
        jobs.ask(tile, [&](platform::Context& context, const platform::Rect& rect) {
            {
                std::lock_guard lock(mutex);
                dirty.push_back(rect);
            }
            drawPicture(context, rect);
        });
        ASSERT_TRUE(runUntilNoneInFlight(jobs)) << c.name;
        ASSERT_EQ(arrivals.all.size(), 1u) << c.name;
        const auto expected = inOnePiece(tile);
        ASSERT_NE(arrivals.all[0].image, nullptr) << c.name;
        EXPECT_EQ(testsupport::DifferingPixels(*arrivals.all[0].image, *expected), 0) << c.name;
        EXPECT_EQ(arrivals.all[0].tile.index, tile.index) << c.name;
        EXPECT_EQ(arrivals.all[0].tile.version, tile.version) << c.name;
        // Each band draws within the tile and the bands cover it.
        EXPECT_EQ(dirty.size(), static_cast<std::size_t>(c.expectedBands)) << c.name;
        double covered = 0;
        for (const platform::Rect& rect : dirty) {
            EXPECT_EQ(rect.x, tile.rect.x) << c.name;
            EXPECT_EQ(rect.width, tile.rect.width) << c.name;
            EXPECT_GE(rect.y, tile.rect.y) << c.name;
            EXPECT_LE(rect.maxY(), tile.rect.maxY()) << c.name;
            covered = std::max(covered, rect.maxY());
        }
        EXPECT_EQ(covered, tile.rect.maxY()) << c.name;

        const auto now = VKMTileJobs::drawNow({tile, tileAt(2, c.bands)}, drawPicture);
        ASSERT_EQ(now.size(), 2u);
        ASSERT_NE(now[0], nullptr);
        EXPECT_EQ(testsupport::DifferingPixels(*now[0], *expected), 0) << c.name << ", drawn now";
        EXPECT_EQ(testsupport::DifferingPixels(*now[1], *inOnePiece(tileAt(2, 1))), 0) << c.name << ", drawn now";
    }
}

TEST(TileJobs, TilesStartAndArriveInTheOrderAskedForEachUnderItsOwnTicket) {
    Arrivals arrivals;
    VKMTileJobs jobs("com.vekmont.test.tiles.order", 1, platform::DispatchQueuePriority::Low, arrivals.sink());
    Gate gate;
    std::vector<VKMTileJobs::tTicket> tickets;
    tickets.push_back(jobs.ask(tileAt(0, 1), gate.held()));
    ASSERT_TRUE(gate.waitForWaiting(1)) << "the first holds the one thread";
    for (int column : {5, 3, 4}) tickets.push_back(jobs.ask(tileAt(column, 2), gate.held()));
    EXPECT_EQ(jobs.inFlight(), 4u);
    gate.release();
    ASSERT_TRUE(runUntilNoneInFlight(jobs));
    EXPECT_EQ(gate.started, (std::vector<double>{0, 320, 320, 192, 192, 256, 256})) << "band by band, tile by tile";
    ASSERT_EQ(arrivals.all.size(), 4u);
    std::map<VKMTileJobs::tTicket, int> columns;
    for (std::size_t i = 0; i < arrivals.all.size(); ++i) {
        EXPECT_EQ(arrivals.all[i].ticket, tickets[i]);
        EXPECT_NE(arrivals.all[i].ticket, 0u);
        EXPECT_NE(arrivals.all[i].image, nullptr);
        columns[arrivals.all[i].ticket] = arrivals.all[i].tile.index.first;
    }
    EXPECT_EQ(columns.size(), 4u) << "tickets are not reused";
}

TEST(TileJobs, ATileCalledOffBeforeItStartsNeverDrawsAndOneCalledOffWhileBandsDrawArrivesWithoutAnImage) {
    Arrivals arrivals;
    VKMTileJobs jobs("com.vekmont.test.tiles.cancel", 2, platform::DispatchQueuePriority::Low, arrivals.sink());
    Gate gate;
    std::atomic<int> drawnWaiting{0};
    // Two of the first tile's four bands take both threads.
    const auto drawing = jobs.ask(tileAt(0, 4), gate.held());
    const auto waiting = jobs.ask(tileAt(1, 4), [&](platform::Context&, const platform::Rect&) { ++drawnWaiting; });
    ASSERT_TRUE(gate.waitForWaiting(2));
    EXPECT_EQ(jobs.inFlight(), 2u);

    jobs.cancel(waiting);
    EXPECT_EQ(jobs.inFlight(), 1u) << "nothing of it started: counted back at once";
    jobs.cancel(drawing);
    EXPECT_EQ(jobs.inFlight(), 1u) << "two bands still draw";
    jobs.cancel(drawing);
    jobs.cancel(12345);
    EXPECT_EQ(jobs.inFlight(), 1u) << "called off twice, or a ticket never given: nothing more";
    gate.release();
    ASSERT_TRUE(runUntilNoneInFlight(jobs));
    ASSERT_TRUE(jobs.waitUntilIdle(20s));
    runWhatIsQueued();
    EXPECT_EQ(drawnWaiting.load(), 0);
    EXPECT_EQ(gate.started.size(), 2u) << "the bands not started were taken back";
    ASSERT_EQ(arrivals.all.size(), 1u) << "the tile called off whole never arrives";
    EXPECT_EQ(arrivals.all[0].ticket, drawing);
    EXPECT_EQ(arrivals.all[0].image, nullptr);
    jobs.cancel(drawing);
    EXPECT_EQ(jobs.inFlight(), 0u) << "called off once it arrived: nothing";
}

TEST(TileJobs, ADrawingThatThrowsLosesItsTileOnly) {
    Arrivals arrivals;
    VKMTileJobs jobs("com.vekmont.test.tiles.throw", 2, platform::DispatchQueuePriority::Low, arrivals.sink());
    jobs.ask(tileAt(0, 3), [](platform::Context& context, const platform::Rect& dirty) {
        if (dirty.y > 0) throw std::runtime_error("a band that cannot be drawn");
        drawPicture(context, dirty);
    });
    jobs.ask(tileAt(1, 3), drawPicture);
    ASSERT_TRUE(runUntilNoneInFlight(jobs));
    ASSERT_EQ(arrivals.all.size(), 2u);
    for (const auto& arrival : arrivals.all) {
        EXPECT_EQ(arrival.image == nullptr, arrival.tile.index.first == 0) << arrival.tile.index.first;
    }
}

TEST(TileJobs, TilesAskedForAndCalledOffWhileTheWidthChangesAllComeBack) {
    Arrivals arrivals;
    std::uint64_t version = 0;
    std::size_t asked = 0;
    std::size_t calledOff = 0;
    {
        VKMTileJobs jobs("com.vekmont.test.tiles.race", 2, platform::DispatchQueuePriority::Low, arrivals.sink());
        std::mt19937 random(7);
        std::vector<VKMTileJobs::tTicket> live;
        for (int round = 0; round < 30; ++round) {
            ++version;
            for (int i = 0; i < 6; ++i) {
                tTile tile = tileAt(i, 1 + static_cast<int>(random() % 8), version);
                tile.pixels = 48;
                live.push_back(jobs.ask(tile, drawPicture));
                ++asked;
            }
            // A pan calls some off: waiting, drawing or drawn.
            for (int i = 0; i < 3 && !live.empty(); ++i) {
                const std::size_t pick = random() % live.size();
                const std::size_t before = jobs.inFlight();
                jobs.cancel(live[pick]);
                calledOff += before - jobs.inFlight();
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
            }
            jobs.setWidth(1 + random() % 6);
            runWhatIsQueued();
        }
        ASSERT_TRUE(runUntilNoneInFlight(jobs));
        EXPECT_EQ(arrivals.all.size() + calledOff, asked) << "every tile arrived or was called off whole";
        // Destroyed while a tile draws, the jobs leave the drawing to end
        // on its own.
        Gate gate;
        jobs.ask(tileAt(0, 1), gate.held());
        ASSERT_TRUE(gate.waitForWaiting(1));
    }
    for (const auto& arrival : arrivals.all) {
        if (arrival.image) {
            EXPECT_EQ(arrival.image->pixelWidth(), 48);
        }
    }
}
