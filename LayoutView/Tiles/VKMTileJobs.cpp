#include "LayoutView/Tiles/VKMTileJobs.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapBands.h"

namespace {

// What of the picture band `rows` of a tile covers: a point more on either
// side within the tile, which the band's own rows clip, so that no row is
// left to the rounding of its edges.
platform::Rect bandRect(const VKMTileJobs::tTile& tile, const platform::BandRows& rows) {
    const platform::Rect& rect = tile.rect;
    const double top = std::max(rect.y, rect.y + rows.first / tile.scale - 1);
    const double bottom = std::min(rect.maxY(), rect.y + rows.end / tile.scale + 1);
    return {rect.x, top, rect.width, bottom - top};
}

platform::BitmapBands bandsOf(const VKMTileJobs::tTile& tile) {
    return platform::BitmapBands::make(tile.pixels, tile.pixels, tile.scale, tile.rect.origin(),
                                       platform::evenBands(tile.pixels, tile.bands));
}

}  // namespace

// A tile asked of the queue. The first of its blocks to start makes its
// bitmap and bands (off the main thread: the frame that asks for a
// screenful of tiles would pay for their memory); a band is then touched
// only by its block. Whoever ends the last block, the block itself or the
// main thread taking the last blocks back, lets the bands go, every block
// that started having ended by then.
struct VKMTileJobs::tJob {
    tTile tile;
    tDraw draw;
    std::once_flag made;
    platform::BitmapBands bands;
    std::vector<platform::WidthLimitedQueue::Ticket> blocks;
    // Blocks neither ended nor taken back.
    std::atomic<std::size_t> left{0};
    std::atomic<bool> calledOff{false};
    std::atomic<bool> failed{false};

    void make() {
        bands = bandsOf(tile);
        // Without memory the tile arrives without an image; its owner asks again.
        if (bands.size() != static_cast<std::size_t>(tile.bands)) {
            bands.clear();
            failed = true;
        }
    }
    // Block i's band, on the pool; true for the block that ends last.
    bool drawBand(std::size_t i) {
        std::call_once(made, [this] { make(); });
        if (i < bands.size()) {
            try {
                draw(bands[i], bandRect(tile, bands.rows()[i]));
            } catch (...) {
                // This tile is missing; the others go on.
                failed = true;
            }
            bands.end(i);
        }
        return left.fetch_sub(1) == 1;
    }
};

// The main thread's: the tiles asked for, by ticket. The blocks reach it
// only through the main loop, and only while it lives.
struct VKMTileJobs::tState {
    std::function<void(tArrival)> arrived;
    std::map<tTicket, std::shared_ptr<tJob>> jobs;
    tTicket next = 1;

    void arrive(tTicket ticket, std::shared_ptr<platform::Image> image) {
        const auto found = jobs.find(ticket);
        if (found == jobs.end()) return;
        tArrival arrival{ticket, found->second->tile, std::move(image)};
        jobs.erase(found);
        arrived(std::move(arrival));
    }
};

VKMTileJobs::VKMTileJobs(std::string label, unsigned width, platform::DispatchQueuePriority priority,
                         std::function<void(tArrival)> arrived)
    : mState(std::make_shared<tState>()), mQueue(std::move(label), width, priority) {
    mState->arrived = std::move(arrived);
}

VKMTileJobs::~VKMTileJobs() = default;

VKMTileJobs::tTicket VKMTileJobs::ask(const tTile& tile, tDraw draw) {
    auto job = std::make_shared<tJob>();
    job->tile = tile;
    job->tile.pixels = std::max(1, tile.pixels);
    job->tile.bands = std::clamp(tile.bands, 1, job->tile.pixels);
    job->draw = std::move(draw);
    const auto count = static_cast<std::size_t>(job->tile.bands);
    job->left = count;
    job->blocks.resize(count);
    const tTicket ticket = mState->next++;
    const std::weak_ptr<tState> state = mState;
    for (std::size_t i = 0; i < count; ++i) {
        job->blocks[i] = mQueue.async([job, i, state, ticket] {
            if (!job->drawBand(i)) return;
            std::shared_ptr<platform::Image> image;
            if (!job->failed && !job->calledOff) image = job->bands.takeImage();
            job->bands.clear();
            // What it drew from goes now, not when the main loop hears of it.
            job->draw = nullptr;
            platform::DispatchQueue::main().async([state, ticket, image = std::move(image)]() mutable {
                if (const auto alive = state.lock()) alive->arrive(ticket, std::move(image));
            });
        });
    }
    mState->jobs[ticket] = std::move(job);
    return ticket;
}

void VKMTileJobs::cancel(tTicket ticket) {
    const auto found = mState->jobs.find(ticket);
    if (found == mState->jobs.end()) return;
    tJob& job = *found->second;
    job.calledOff = true;
    std::size_t taken = 0;
    for (const platform::WidthLimitedQueue::Ticket block : job.blocks) {
        if (mQueue.cancel(block)) ++taken;
    }
    // With bands still drawing, the last of them answers.
    if (taken == 0 || job.left.fetch_sub(taken) != taken) return;
    job.bands.clear();
    mState->jobs.erase(found);
}

std::size_t VKMTileJobs::inFlight() const { return mState->jobs.size(); }

void VKMTileJobs::setWidth(unsigned width) { mQueue.setWidth(width); }

unsigned VKMTileJobs::width() const { return mQueue.width(); }

bool VKMTileJobs::waitUntilIdle(std::chrono::milliseconds timeout) const { return mQueue.waitUntilIdle(timeout); }

std::vector<std::shared_ptr<platform::Image>> VKMTileJobs::drawNow(const std::vector<tTile>& tiles, const tDraw& draw) {
    std::vector<platform::BitmapBands> bitmaps;
    bitmaps.reserve(tiles.size());
    // Every band of every tile, as (tile, band).
    std::vector<std::pair<std::size_t, std::size_t>> bands;
    for (std::size_t t = 0; t < tiles.size(); ++t) {
        bitmaps.push_back(bandsOf(tiles[t]));
        for (std::size_t b = 0; b < bitmaps[t].size(); ++b) bands.emplace_back(t, b);
    }
    platform::DispatchQueue::concurrentPerform(bands.size(), [&](std::size_t i) {
        const auto [t, b] = bands[i];
        draw(bitmaps[t][b], bandRect(tiles[t], bitmaps[t].rows()[b]));
        bitmaps[t].end(b);
    });
    std::vector<std::shared_ptr<platform::Image>> images;
    for (platform::BitmapBands& bitmap : bitmaps) images.push_back(bitmap.takeImage());
    return images;
}
