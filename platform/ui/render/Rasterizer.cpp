#include "platform/ui/render/Rasterizer.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Path.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/Replay.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

namespace platform::ui {

std::optional<PixelSize> pixelSize(const Rect& box, double scale) {
    const double width = std::round(box.width * scale);
    const double height = std::round(box.height * scale);
    if (!(width >= 1 && height >= 1 && width <= 1e6 && height <= 1e6)) return std::nullopt;
    return PixelSize{static_cast<int>(width), static_cast<int>(height)};
}

std::shared_ptr<Image> rasterize(const Rect& box, double scale, const std::function<void(Context&)>& draw) {
    const auto size = pixelSize(box, scale);
    if (!size) return nullptr;
    auto bitmap = BitmapContext::create(size->width, size->height, scale);
    if (!bitmap) return nullptr;
    bitmap->translate(-box.x, -box.y);
    draw(*bitmap);
    return BitmapContext::takeImage(std::move(bitmap));
}

// In bands as the screen is: drawn on one thread, a popover faded as one
// (a million pixels) would hold its frame up.
std::shared_ptr<Image> rasterizePlan(const Rect& box, double scale, const Rect& clip, const FramePlan& drawing,
                                     const RenderTuning& tuning) {
    const auto size = pixelSize(box, scale);
    if (!size) return nullptr;
    const std::vector<BandRows> rows = bandsFor(size->width, size->height, tuning);
    const auto inOnePiece = [&] {
        return rasterize(box, scale, [&](Context& bitmap) {
            bitmap.clipToRect(clip);
            replayPlan(drawing, bitmap);
        });
    };
    if (rows.size() < 2 || drawing.mainThread) return inOnePiece();
    BitmapBands bands = BitmapBands::make(size->width, size->height, scale, box.origin(), rows);
    if (bands.empty()) return inOnePiece();
    for (std::size_t i = 0; i < bands.size(); ++i) bands[i].clipToRect(clip);
    replayInBands(drawing, bands.contexts(), bands.rows());
    return bands.takeImage();
}

std::shared_ptr<Image> makePathShadow(const Path& path, const Rect& box, double scale, double sigma, const Color& color,
                                      double deviceScale, const Rect& rect) {
    const auto source = rasterize(box, scale, [&](Context& context) {
        context.setFillColor({0, 0, 0, 1});
        context.fillPath(path);
    });
    if (!source) return nullptr;
    const ShadowImage made = makeShadowImage(*source, sigma, color);
    if (!made.image || scale >= deviceScale) return made.image;
    const Rect blurred{box.x - made.margin / scale, box.y - made.margin / scale, box.width + 2 * made.margin / scale,
                       box.height + 2 * made.margin / scale};
    return rasterize(rect, deviceScale, [&](Context& context) { context.drawImage(*made.image, blurred); });
}

void drawKept(Layer& layer, Context& bitmap, const Rect& extent, const std::optional<KeptBackground>& under,
              bool vector) {
    if (under) {
        Path path;
        path.addRoundedRect(under->bounds, under->cornerRadius > 0 ? under->cornerRadius : 0);
        bitmap.setFillColor(under->color);
        bitmap.fillPath(path);
    }
    // Shapes, text and gradients keep to their extent by themselves; a clip
    // off the pixel grid would only slow them down.
    if (!vector) bitmap.clipToRect(extent);
    layer.drawInContext(bitmap);
}

namespace {

void setStroke(Context& context, const StrokeStyle& style) {
    context.setStrokeColor(style.color);
    context.setLineWidth(style.width);
    context.setLineCap(style.cap);
    context.setLineJoin(style.join);
    context.setMiterLimit(style.miterLimit);
}

}  // namespace

void drawWork(const RasterWork& work, Context& context) {
    if (work.snapshot) {
        drawKept(*work.snapshot, context, work.extent, work.under, work.vector);
        return;
    }
    setStroke(context, *work.stroke);
    context.strokePath(*work.path);
}

namespace {

// Items added a block at a time, each staying where it was put: jobs on
// other threads read those added earlier while more are added, and a
// chart's thousands are not allocated one by one.
template <typename T, std::size_t kBlock>
class Blocks {
public:
    T& add(T item) {
        if (mSize % kBlock == 0) mBlocks.push_back(std::make_unique<T[]>(kBlock));
        T& at = mBlocks.back()[mSize++ % kBlock];
        at = std::move(item);
        return at;
    }
    T& operator[](std::size_t i) { return mBlocks[i / kBlock][i % kBlock]; }
    void clear() {
        mBlocks.clear();
        mSize = 0;
    }
    std::size_t size() const { return mSize; }

private:
    std::vector<std::unique_ptr<T[]>> mBlocks;
    std::size_t mSize = 0;
};

using Job = std::function<void()>;

// A raster of a layer's content to draw: what from, at how many pixels,
// and where it goes.
struct Work {
    RasterWork work;
    PixelSize size{0, 0};
    RasterSlot* slot = nullptr;
};

// Draws the rasters of a batch into one bitmap, one below the other a
// pixel apart, and gives each its part: strokes of one style as one path,
// the rest one by one, each from a state as fresh as its own bitmap's.
// Each is placed on whole pixels and has rows of its own: the drawing
// library samples the edges of a row more finely when no other shape's
// edges meet it, so each part holds the pixels its own raster would. When
// the bitmap cannot be made, each is drawn into one of its own.
void drawStacked(std::span<const Work* const> items, bool stroked, double scale) {
    int width = 0;
    std::vector<int> top;
    top.reserve(items.size());
    int height = 0;
    for (const Work* item : items) {
        width = std::max(width, item->size.width);
        top.push_back(height);
        height += item->size.height + 1;
    }
    auto bitmap = BitmapContext::create(width, height - 1, scale);
    if (!bitmap) {
        if (items.size() > 1) {
            for (std::size_t i = 0; i < items.size(); ++i) drawStacked(items.subspan(i, 1), stroked, scale);
        }
        return;
    }
    const auto place = [&](std::size_t i) {
        bitmap->translate(-items[i]->work.box.x, top[i] / scale - items[i]->work.box.y);
    };
    if (stroked) {
        setStroke(*bitmap, *items.front()->work.stroke);
        bitmap->beginPath();
        for (std::size_t i = 0; i < items.size(); ++i) {
            bitmap->save();
            place(i);
            bitmap->addPath(*items[i]->work.path);
            bitmap->restore();
        }
        bitmap->stroke();
    } else {
        for (std::size_t i = 0; i < items.size(); ++i) {
            bitmap->save();
            place(i);
            drawWork(items[i]->work, *bitmap);
            bitmap->restore();
        }
    }
    const auto image = BitmapContext::takeImage(std::move(bitmap));
    if (!image) return;
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i]->slot->put(image->cropped(0, top[i], items[i]->size.width, items[i]->size.height));
    }
}

}  // namespace

struct Rasterizer::State {
    State(const RenderTuning& t, bool now, RasterCache* keptIn)
        : atOnce(now),
          cache(keptIn),
          tuning(t),
          scheduler(tuning, [this](RasterJobSpec spec) { run(std::move(spec)); }) {}

    // A raster put together from its parts once they are made, by the
    // thread that makes them.
    struct Whole {
        std::vector<Job> parts;
        Job make;
    };
    // Parts being gathered: a shadow's or a whole's, innermost last.
    struct Gathering {
        std::vector<Job> jobs;
        bool forShadow;
    };

    // Slots come a block at a time: a chart's thousands of rasters are not
    // allocated one by one, and the plan holds them all with one share.
    RasterSlot& slot() {
        if (!slots) slots = std::make_shared<Blocks<RasterSlot, 256>>();
        return slots->add({});
    }
    // Kept once made (a raster of its frame alone is not); content asked
    // for within a shadow's parts is found by madeForShadows too.
    RasterSlot& requested(const RasterKey& key, const RasterEntry& entry, bool content = false, bool here = false) {
        RasterSlot& made = slot();
        if (key == kKeptNowhere || (atOnce && !cache)) return made;
        stores.push_back({key, entry, &made, here});
        if (content && !gathering.empty() && gathering.back().forShadow) forShadows.push_back(stores.back());
        return made;
    }
    // At once, what was just made is kept now.
    void keptAtOnce() {
        if (!atOnce) return;
        for (const Requested& store : stores) {
            if (!store.slot->shown && store.slot->fallback) drawsSomeInPlace = true;
        }
        keep(cache);
    }
    void keep(RasterCache* into);
    void whole(Whole made) {
        if (atOnce) {
            for (const Job& part : made.parts) part();
            made.make();
            return;
        }
        wholes.push_back(std::move(made));
        scheduler.addWhole(wholes.size() - 1);
    }
    void add(Job job) {
        if (atOnce) {
            job();
        } else if (!gathering.empty()) {
            gathering.back().jobs.push_back(std::move(job));
        } else {
            if (!feed) feed.emplace();
            feed->add(std::move(job));
        }
    }
    void run(RasterJobSpec spec);

    // Each raster made as it is asked for, on the asking thread, and kept
    // in `cache` at once.
    const bool atOnce;
    RasterCache* const cache;
    std::shared_ptr<Blocks<RasterSlot, 256>> slots;
    // A copy: the scheduler reads it all frame, and callers pass temporaries.
    const RenderTuning tuning;
    // Jobs read their work where it is; `keep` lets its snapshots go
    // while the frame's bands are drawn.
    Blocks<Work, 64> works;
    std::vector<Whole> wholes;
    std::vector<Requested> stores;
    std::vector<Requested> forShadows;
    std::vector<Gathering> gathering;
    bool drawsSomeInPlace = false;
    RasterScheduler scheduler;
    // Last: gone first, waiting for the jobs that use the rest. Made with
    // the first job: a steady frame makes none.
    std::optional<ConcurrentFeed> feed;
};

void Rasterizer::State::run(RasterJobSpec spec) {
    switch (spec.kind) {
        case RasterJobSpec::Kind::batch: {
            std::vector<const Work*> items;
            items.reserve(spec.requests.size());
            for (const std::size_t i : spec.requests) items.push_back(&works[i]);
            add([items = std::move(items), stroked = spec.stroked] {
                drawStacked(items, stroked, items.front()->work.scale);
            });
            break;
        }
        case RasterJobSpec::Kind::single: {
            add([&work = works[spec.requests.front()]] {
                work.slot->put(
                    rasterize(work.work.box, work.work.scale, [&](Context& bitmap) { drawWork(work.work, bitmap); }));
            });
            break;
        }
        case RasterJobSpec::Kind::whole: {
            add([whole = std::move(wholes[spec.requests.front()])] {
                for (const Job& part : whole.parts) part();
                whole.make();
            });
            break;
        }
        case RasterJobSpec::Kind::rows: {
            // Several threads draw rows of it at once; the job that ends
            // last keeps the raster.
            const Work& work = works[spec.requests.front()];
            auto rows = std::make_shared<BitmapBands>(BitmapBands::make(work.size.width, work.size.height,
                                                                        work.work.scale, work.work.box.origin(),
                                                                        evenBands(work.size.height, spec.pieces)));
            if (rows->empty()) return;
            for (std::size_t i = 0; i < rows->size(); ++i) {
                add([rows, i, &work] {
                    drawWork(work.work, (*rows)[i]);
                    if (rows->end(i)) work.slot->put(rows->takeImage());
                });
            }
            break;
        }
    }
}

Rasterizer::Rasterizer(const RenderTuning& tuning, std::size_t expected)
    : mState(std::make_unique<State>(tuning, false, nullptr)), mOnPool(true) {
    mState->stores.reserve(expected);
}

Rasterizer::Rasterizer(AtOnce atOnce)
    : mState(std::make_unique<State>(RenderTuning{}, true, atOnce.cache)), mOnPool(false) {}

Rasterizer::~Rasterizer() = default;

RasterSlot* Rasterizer::request(RasterWork work, const RasterKey& key, const RasterEntry& entry) {
    State& state = *mState;
    if (state.atOnce) return requestHere(work, key, entry);
    const auto size = pixelSize(work.box, work.scale);
    if (!size) return nullptr;
    RasterSlot& slot = state.requested(key, entry, true);
    // Not for the small rasters drawn in batches, a chart's thousands: one
    // of them failing leaves no memory for drawing.
    if (size->width * double(size->height) > state.tuning.largestBatchedPixels) {
        slot.fallback = [work](Context& context) { drawWork(work, context); };
    }
    const RasterRequest request{size->width, size->height, work.scale, work.vector, !state.gathering.empty(),
                                work.stroke};
    state.works.add({std::move(work), *size, &slot});
    state.scheduler.add(state.works.size() - 1, request);
    return &slot;
}

RasterSlot* Rasterizer::requestHere(const RasterWork& work, const RasterKey& key, const RasterEntry& entry) {
    auto made = rasterize(work.box, work.scale, [&](Context& bitmap) { drawWork(work, bitmap); });
    if (!made) return nullptr;
    RasterSlot& slot = mState->requested(key, entry, true, true);
    slot.put(std::move(made));
    mState->keptAtOnce();
    return &slot;
}

RasterSlot& Rasterizer::request(Make make, const RasterKey& key, const RasterEntry& entry) {
    RasterSlot& slot = mState->requested(key, entry);
    mState->add([&slot, make = std::move(make)] { slot.put(make()); });
    mState->keptAtOnce();
    return slot;
}

void Rasterizer::run(std::function<void()> job) { mState->add(std::move(job)); }

void Rasterizer::beginParts(bool forShadow) { mState->gathering.push_back({{}, forShadow}); }

Rasterizer::Parts Rasterizer::endParts() {
    Parts parts;
    parts.mJobs = std::move(mState->gathering.back().jobs);
    mState->gathering.pop_back();
    return parts;
}

RasterSlot& Rasterizer::makeWhole(Parts parts, Make make, const RasterKey& key, const RasterEntry& entry,
                                  std::function<void(Context&)> fallback) {
    RasterSlot& slot = mState->requested(key, entry);
    slot.fallback = std::move(fallback);
    mState->whole({std::move(parts.mJobs), [&slot, make = std::move(make)] { slot.put(make()); }});
    mState->keptAtOnce();
    return slot;
}

RasterSlot& Rasterizer::makeShadow(Parts parts, Make make, const RasterKey& key, const RasterEntry& entry) {
    if (!mState->gathering.empty() || parts.empty()) return makeWhole(std::move(parts), std::move(make), key, entry);
    RasterSlot& slot = mState->requested(key, entry);
    const auto left = std::make_shared<std::atomic<std::size_t>>(parts.mJobs.size());
    const auto last = std::make_shared<Job>([&slot, make = std::move(make)] { slot.put(make()); });
    for (auto& part : parts.mJobs) {
        mState->add([part = std::move(part), left, last] {
            part();
            if (left->fetch_sub(1, std::memory_order_acq_rel) == 1) (*last)();
        });
    }
    return slot;
}

RasterSlot& Rasterizer::makeHere(Parts parts, const Make& make, const RasterKey& key, const RasterEntry& entry) {
    for (const auto& part : parts.mJobs) part();
    RasterSlot& slot = mState->requested(key, entry, false, true);
    slot.put(make());
    mState->keptAtOnce();
    return slot;
}

void Rasterizer::drawApart(Parts parts) {
    for (auto& part : parts.mJobs) mState->add(std::move(part));
}

std::span<const Rasterizer::Requested> Rasterizer::madeForShadows() const { return mState->forShadows; }

std::shared_ptr<const void> Rasterizer::slots() const { return mState->slots; }

void Rasterizer::finish(RasterCache* cache) {
    wait();
    keep(cache);
}

void Rasterizer::wait() {
    State& state = *mState;
    state.scheduler.finish();
    if (state.feed) state.feed->finish();
    state.wholes.clear();
    for (const Requested& store : state.stores) {
        if (!store.slot->shown && store.slot->fallback) state.drawsSomeInPlace = true;
    }
}

bool Rasterizer::hasRastersToKeep() const { return !mState->stores.empty(); }

std::size_t Rasterizer::requested() const { return mState->works.size(); }

bool Rasterizer::drawsSomeInPlace() const { return mState->drawsSomeInPlace; }

void Rasterizer::keep(RasterCache* cache) { mState->keep(cache); }

void Rasterizer::State::keep(RasterCache* into) {
    if (!into) return;
    for (Requested& store : stores) {
        if (store.slot->image) {
            store.entry.image = std::move(store.slot->image);
            into->store(store.key, std::move(store.entry), store.slot->bytes);
        } else {
            into->erase(store.key);
        }
    }
    stores.clear();
    forShadows.clear();
    // The snapshots drawn from go here, while the frame's bands are drawn,
    // rather than after them.
    works.clear();
}

}  // namespace platform::ui
