#pragma once
// The rasters of one frame, asked for by the planner as it walks: each goes
// into a slot that the plan shows. On the pool (a frame drawn in bands),
// jobs make them on the shared pool's threads, starting as soon as they are
// asked for while the walk goes on, and once they are all made the main
// thread keeps them in the cache. At once (a frame drawn in one piece on
// the main thread), each is made on the asking thread before the request
// returns and kept at once: the planner asks the same way in both.
//
// Three things may be asked: a raster of a layer's content drawn from a
// work (small ones of one kind drawn together in batches, large ones in
// rows by several jobs at once), a raster made from parts (a kept whole,
// a shadow of a layer's drawing: the rasters its drawing needs are made
// first, by the same job or side by side), and a raster made by a function
// of its own (a shadow path's blur). A raster made for a shadow's drawing
// can be found again, so that the layer's body shows it too.
//
// Jobs read only what they are handed (snapshots, shared paths, plans),
// never a layer of the tree; what is made at once may be drawn from the
// layers themselves. The planner's side is the main thread's.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/ui/render/FramePlan.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/RenderTuning.h"
#include "platform/ui/render/Scheduler.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {
class Context;
class Path;
}  // namespace platform

namespace platform::ui {

class Layer;

// The pixels of a raster of `box` (points) at `scale`, rounded; none when
// it would be empty or larger than a bitmap may be.
struct PixelSize {
    int width;
    int height;
};
std::optional<PixelSize> pixelSize(const Rect& box, double scale);

// Draws into a new raster of `box` (points, placed so that its top-left is
// the raster's) at `scale`; null when it would be empty or too large, or
// there is no memory.
std::shared_ptr<Image> rasterize(const Rect& box, double scale, const std::function<void(Context&)>& draw);

// A plan drawn into a new raster of `box`, clipped to `clip`: in bands on
// several threads when it is large enough for them (bandsFor), as a screen
// is; in one piece when the plan is the main thread's.
std::shared_ptr<Image> rasterizePlan(const Rect& box, double scale, const Rect& clip, const FramePlan& drawing,
                                     const RenderTuning& tuning);

// The shadow of a shadow path: the path filled into a raster of `box` at
// `scale`, blurred by `sigma` pixels and tinted; when `scale` is below
// `deviceScale`, stretched to the device's pixels over `rect` (the
// shadow's place before its offset). Null when it cannot be made. Reads no
// layer: any thread.
std::shared_ptr<Image> makePathShadow(const Path& path, const Rect& box, double scale, double sigma, const Color& color,
                                      double deviceScale, const Rect& rect);

// A background drawn into the raster of a layer's content, below it.
struct KeptBackground {
    Color color;
    Rect bounds;
    double cornerRadius = 0;
};

// A layer's content as its raster keeps it: the background when given,
// then drawInContext, clipped to `extent` unless the layer draws from its
// properties (`vector`), which keep to it by themselves.
void drawKept(Layer& layer, Context& bitmap, const Rect& extent, const std::optional<KeptBackground>& under,
              bool vector);

// What a job draws a layer's content from: a snapshot of the layer or, for
// a shape that only strokes its whole path, that path and `stroke` (the
// path never changes once set, so no copy of the layer is needed).
struct RasterWork {
    std::shared_ptr<Layer> snapshot;
    std::shared_ptr<const Path> path;
    Rect box;  // points of the layer, on whole pixels at `scale`
    double scale = 1;
    Rect extent;
    std::optional<KeptBackground> under;
    bool vector = false;
    std::optional<StrokeStyle> stroke;
};

// Draws what `work` holds, as drawKept would draw the layer.
void drawWork(const RasterWork& work, Context& context);

// The key of a raster made for its frame alone (a shadow cut to what
// shows, a mask): kept nowhere, held by the plan through its slots.
inline constexpr RasterKey kKeptNowhere{};

class Rasterizer {
public:
    // Rasters made by jobs on the pool. `expected`: rasters to make room for
    // at once (the last frame's).
    explicit Rasterizer(const RenderTuning& tuning, std::size_t expected = 0);
    // Rasters made at once, on the asking thread, and kept in `cache` (none:
    // kept nowhere) as soon as each is made, so that the walk finds them
    // again.
    struct AtOnce {
        RasterCache* cache = nullptr;
    };
    explicit Rasterizer(AtOnce atOnce);
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Whether jobs on the pool make the rasters (the plan may then be
    // replayed in bands, and must draw from snapshots), or each is made at
    // once.
    bool onPool() const { return mOnPool; }

    // A raster asked for this frame: where it goes, what it is kept as (its
    // image put in once made), and whether it was made at once, on the
    // planner's thread (its slot is filled before any job that shows it
    // starts).
    struct Requested {
        RasterKey key;
        RasterEntry entry;
        RasterSlot* slot;
        bool madeHere = false;
    };

    // --- The planner's side ---------------------------------------------
    // A raster of `work`, kept under `key` as `entry` once made. None when
    // it would be empty or too large for a bitmap (the caller draws the
    // content in its place). A large one that cannot be made after all
    // draws its content in its place (RasterSlot::fallback). At once, as
    // requestHere.
    RasterSlot* request(RasterWork work, const RasterKey& key, const RasterEntry& entry);
    // The same, made here and now (a delegate's drawing needs the main
    // thread; `work` may then hold a layer of the tree); none when it cannot
    // be made.
    RasterSlot* requestHere(const RasterWork& work, const RasterKey& key, const RasterEntry& entry);
    // A raster `make` makes on a job's thread, kept under `key` as `entry`.
    using Make = std::function<std::shared_ptr<Image>()>;
    RasterSlot& request(Make make, const RasterKey& key, const RasterEntry& entry);
    // A job that makes no raster of its own (a shape's stamps).
    void run(std::function<void()> job);

    // Rasters made from parts. What is asked for while `plan` runs is a
    // part (drawn alone, not batched): with `forShadow`, of a shadow's
    // drawing, and found by madeForShadows. Parts may nest.
    class Parts;
    template <typename Plan>
    Parts partsOf(bool forShadow, Plan&& plan);
    // The raster `make` makes once `parts` are made, by the same job, kept
    // under `key` as `entry`; where it cannot be made, `fallback` draws in
    // its place.
    RasterSlot& makeWhole(Parts parts, Make make, const RasterKey& key, const RasterEntry& entry,
                          std::function<void(Context&)> fallback = {});
    // The same for a shadow's drawing outside any whole: its parts side by
    // side (a menu's rows), the one that ends last making it; within
    // another's parts, after its parts by the same job.
    RasterSlot& makeShadow(Parts parts, Make make, const RasterKey& key, const RasterEntry& entry);
    // Made here and now, its parts first (its drawing needs the main
    // thread).
    RasterSlot& makeHere(Parts parts, const Make& make, const RasterKey& key, const RasterEntry& entry);
    // No raster is made of them after all: the parts are drawn with the
    // rest of the frame.
    void drawApart(Parts parts);

    // The rasters made this frame for shadows' drawings, in the order
    // asked: a layer's body, planned after its shadow, shows the one that
    // stands for its content rather than asking for it again. Empty in
    // frames without such a shadow, and at once (they are kept at once).
    std::span<const Requested> madeForShadows() const;

    // The slots of this frame's rasters, for the plan to hold: its images
    // point into them.
    std::shared_ptr<const void> slots() const;

    // --- The frame's end --------------------------------------------------
    // Runs what is left, waits for every job and keeps the rasters made in
    // `cache`. At once, everything is made and kept already.
    void finish(RasterCache* cache);
    // The same in two steps: the rasters are all made once `wait` returns,
    // and may be kept while the plan is replayed. `keep` also lets go of
    // the snapshots the jobs drew from.
    void wait();
    void keep(RasterCache* cache);
    // Whether rasters were asked for that are to be kept.
    bool hasRastersToKeep() const;
    // How many rasters of works were asked for.
    std::size_t requested() const;
    // Whether, once `wait` returns, a raster could not be made and its
    // content is drawn in its place: the plan is then replayed in one
    // piece (on the main thread, as a delegate may draw).
    bool drawsSomeInPlace() const;

private:
    void beginParts(bool forShadow);
    // Ends the innermost gathering, handing over its parts.
    Parts endParts();

    struct State;
    std::unique_ptr<State> mState;
    bool mOnPool;
};

// The jobs of parts gathered while a drawing was planned; handed back to
// the rasterizer, which runs them before what is made of them. At once,
// there are none: each part was made as it was asked for.
class Rasterizer::Parts {
public:
    bool empty() const { return mJobs.empty(); }

private:
    friend class Rasterizer;
    std::vector<std::function<void()>> mJobs;
};

template <typename Plan>
Rasterizer::Parts Rasterizer::partsOf(bool forShadow, Plan&& plan) {
    beginParts(forShadow);
    // Ended however `plan` ends, so that later requests are not taken for
    // parts of a drawing given up.
    struct End {
        Rasterizer& rasters;
        bool ended = false;
        ~End() {
            if (!ended) rasters.endParts();
        }
    } end{*this};
    plan();
    end.ended = true;
    return endParts();
}

}  // namespace platform::ui
