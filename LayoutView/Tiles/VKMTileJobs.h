#pragma once
// VKMTileJobs: tiles of a picture drawn off the main thread, apart from any
// view or layer, so that it can be tested alone. A tile asked for is drawn
// as bands of rows, each a block of a width-limited queue on the pool, so
// that the queue's threads share a dense tile rather than one thread
// drawing it whole; the main loop hears of it once, under its ticket, when
// its last band ends.
//
// Tiles start in the order asked for; each carries what it is drawn for
// (the level's version, its rectangle and scale), and comes back with it,
// so tiles of several levels may be asked for side by side.
//
// Threads: ask, cancel and the rest on the main thread; the drawing runs on
// the pool and must be safe there. Destroyed, it drops the blocks that have
// not started; those running end on their own and nobody hears of them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LayoutView/Tiles/VKMTileGrid.h"
#include "platform/dispatch/WidthLimitedQueue.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"

class VKMTileJobs {
public:
    using tTicket = VKMTileGrid::tTicket;
    // Draws the picture's points `dirty` into `context`, whose user space is
    // the picture's points; called on any thread, bands of one tile at once.
    using tDraw = std::function<void(platform::Context& context, const platform::Rect& dirty)>;

    struct tTile {
        VKMTileGrid::tIndex index;
        // The level it is drawn for; handed back with it.
        std::uint64_t version = 0;
        // What of the picture it shows, in points: the rectangle's top-left
        // corner at its first pixel, `pixels` a side at `scale` pixels a point.
        platform::Rect rect;
        int pixels = 1;
        double scale = 1;
        // Bands of rows, each a block of its own (1 to `pixels`).
        int bands = 1;
    };
    // A tile that ended: its image is null when it could not be drawn (no
    // memory, a drawing that threw) or was called off while bands drew.
    struct tArrival {
        tTicket ticket = 0;
        tTile tile;
        std::shared_ptr<platform::Image> image;
    };

    // `arrived` runs on the main loop, once for each tile asked for that is
    // not called off whole.
    VKMTileJobs(std::string label, unsigned width, platform::DispatchQueuePriority priority,
                std::function<void(tArrival)> arrived);
    ~VKMTileJobs();
    VKMTileJobs(const VKMTileJobs&) = delete;
    VKMTileJobs& operator=(const VKMTileJobs&) = delete;

    // Queues the tile's bands after what waits; never 0.
    tTicket ask(const tTile& tile, tDraw draw);
    // Calls the tile off: its bands not yet started are taken back. With
    // none drawing it is over at once and never arrives; otherwise it
    // arrives without an image once they end. Nothing for a ticket that
    // has arrived or was never given.
    void cancel(tTicket ticket);
    // Tiles asked for that have neither arrived nor been called off whole.
    std::size_t inFlight() const;

    // How many blocks draw at once: a wider queue starts what waits at
    // once, a narrower one starts no more until fewer draw.
    void setWidth(unsigned width);
    unsigned width() const;
    // Waits until every band has been drawn or taken back, without letting
    // the main loop hear of them; false when `timeout` passed first.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;

    // The tiles drawn now, their bands side by side on the pool with the
    // calling thread taking its share; null for a tile that could not be made.
    static std::vector<std::shared_ptr<platform::Image>> drawNow(const std::vector<tTile>& tiles, const tDraw& draw);

private:
    struct tJob;
    struct tState;
    std::shared_ptr<tState> mState;
    // Last: gone first, dropping the blocks that wait.
    platform::WidthLimitedQueue mQueue;
};
