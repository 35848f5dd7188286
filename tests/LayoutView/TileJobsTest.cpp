// The tile jobs without a view or a window; the racing cases run under the
// thread sanitizer. The order tiles start in is the queue's.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <stdexcept>
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

struct Jobs {
    std::vector<VKMTileJobs::tArrival> arrived;
    VKMTileJobs jobs;

    explicit Jobs(unsigned width)
        : jobs("com.vekmont.test.tiles", width, platform::DispatchQueuePriority::Low,
               [this](VKMTileJobs::tArrival arrival) { arrived.push_back(std::move(arrival)); }) {}
    bool runUntilNoneInFlight() {
        return platform::RunLoop::main()->runUntil([this] { return jobs.inFlight() == 0; }, 20s);
    }
};

// Runs the main loop until what was queued on it so far has run.
void runWhatIsQueued() {
    bool turned = false;
    platform::DispatchQueue::main().async([&turned] { turned = true; });
    platform::RunLoop::main()->runUntil([&] { return turned; }, 20s);
}

// A gate the bands of chosen tiles wait at before they draw.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;
    int started = 0;

    // A failed test still lets its drawings leave the gate first.
    ~Gate() {
        release();
        waitForWaiting(0);
    }
    VKMTileJobs::tDraw held() {
        return [this](platform::Context& context, const platform::Rect& dirty) {
            {
                std::unique_lock lock(mutex);
                ++started;
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

TEST(TileJobs, ATileDrawnInBandsIsTheTileDrawnInOnePieceAndOneWhoseDrawingThrowsArrivesWithoutAnImage) {
    // Uneven rows at 7; no more bands than the 96 rows at 500.
    for (const int bands : {1, 7, 8, 500}) {
        Jobs j(4);
        const auto throwing = j.jobs.ask(tileAt(2, bands), [](platform::Context&, const platform::Rect& dirty) {
            if (dirty.maxY() > 32) throw std::runtime_error("a band that cannot be drawn");
        });
        const tTile tile = tileAt(1, bands);
        const auto drawn = j.jobs.ask(tile, drawPicture);
        ASSERT_TRUE(throwing != drawn && throwing != 0 && drawn != 0) << "a ticket of its own each";
        ASSERT_TRUE(j.runUntilNoneInFlight()) << bands;
        ASSERT_EQ(j.arrived.size(), 2u) << bands;
        const auto expected = inOnePiece(tile);
        for (const auto& arrival : j.arrived) {
            EXPECT_EQ(arrival.ticket, arrival.tile.index.first == 2 ? throwing : drawn) << bands;
            if (arrival.tile.index.first == 2) {
                EXPECT_EQ(arrival.image, nullptr) << bands << ": its drawing threw";
            } else {
                ASSERT_NE(arrival.image, nullptr) << bands;
                EXPECT_EQ(testsupport::DifferingPixels(*arrival.image, *expected), 0) << bands;
            }
        }

        const auto now = VKMTileJobs::drawNow({tile, tileAt(2, bands)}, drawPicture);
        ASSERT_TRUE(now.size() == 2 && now[0] && now[1]) << bands;
        EXPECT_EQ(testsupport::DifferingPixels(*now[0], *expected), 0) << bands << ", drawn now";
        EXPECT_EQ(testsupport::DifferingPixels(*now[1], *inOnePiece(tileAt(2, 1))), 0) << bands << ", drawn now";
    }
}

TEST(TileJobs, ATileCalledOffBeforeItStartsNeverDrawsAndOneCalledOffWhileBandsDrawArrivesWithoutAnImage) {
    Jobs j(2);
    Gate gate;
    // Two of the first tile's four bands take both threads.
    const auto drawing = j.jobs.ask(tileAt(0, 4), gate.held());
    const auto waiting = j.jobs.ask(tileAt(1, 4), [](platform::Context&, const platform::Rect&) {
        ADD_FAILURE() << "a tile called off before it started drew";
    });
    ASSERT_TRUE(gate.waitForWaiting(2));

    j.jobs.cancel(waiting);
    EXPECT_EQ(j.jobs.inFlight(), 1u) << "nothing of it started: counted back at once";
    j.jobs.cancel(drawing);
    j.jobs.cancel(drawing);
    j.jobs.cancel(12345);
    EXPECT_EQ(j.jobs.inFlight(), 1u) << "two bands still draw; called off twice, or a ticket never given: nothing more";
    gate.release();
    ASSERT_TRUE(j.runUntilNoneInFlight());
    ASSERT_TRUE(j.jobs.waitUntilIdle(20s));
    runWhatIsQueued();
    EXPECT_EQ(gate.started, 2) << "the bands not started were taken back";
    ASSERT_EQ(j.arrived.size(), 1u) << "the tile called off whole never arrives";
    EXPECT_EQ(j.arrived[0].ticket, drawing);
    EXPECT_EQ(j.arrived[0].image, nullptr);
}

TEST(TileJobs, TilesAskedForAndCalledOffWhileTheWidthChangesAllComeBack) {
    Jobs j(2);
    std::mt19937 random(7);
    std::vector<VKMTileJobs::tTicket> live;
    std::size_t calledOff = 0;
    for (int round = 1; round <= 30; ++round) {
        for (int i = 0; i < 6; ++i)
            live.push_back(j.jobs.ask(tileAt(i, 1 + static_cast<int>(random() % 8), round), drawPicture));
        // A pan calls some off: waiting, drawing or drawn.
        for (int i = 0; i < 3; ++i) {
            const std::size_t pick = random() % live.size();
            const std::size_t before = j.jobs.inFlight();
            j.jobs.cancel(live[pick]);
            calledOff += before - j.jobs.inFlight();
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
        }
        j.jobs.setWidth(1 + random() % 6);
        runWhatIsQueued();
    }
    ASSERT_TRUE(j.runUntilNoneInFlight());
    EXPECT_EQ(j.arrived.size() + calledOff, 30u * 6) << "every tile arrived or was called off whole";
    // Destroyed as a tile leaves the gate to draw, the jobs leave it to end
    // on its own.
    Gate gate;
    j.jobs.ask(tileAt(0, 1), gate.held());
    ASSERT_TRUE(gate.waitForWaiting(1));
}
