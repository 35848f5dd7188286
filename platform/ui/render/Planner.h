#pragma once
// The planner: the only part of the compositor that reads layers. It walks
// a tree as the screen shows it at a time (presentation copies of what
// animates), passes over what lands outside the pixels drawn on, finds
// kept rasters, decides what is drawn how (a kept raster, a batch, rows, a
// whole, a shadow, a stamp of marks, drawn afresh) and leaves a FramePlan.
//
// Rasters it needs are asked of a Rasterizer, never drawn by the walk:
// with one on the pool, made by jobs that read only snapshots it took, and
// the plan may be replayed once the rasterizer's `wait` returns; without
// one given, each is made at once as it is asked for. Main thread only.

#include "platform/graphics/Geometry.h"
#include "platform/ui/render/FramePlan.h"
#include "platform/ui/render/RenderTuning.h"
#include "platform/ui/render/Scheduler.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

namespace platform {
class Context;
}

namespace platform::ui {

class Layer;
class RasterCache;
class Rasterizer;

struct PlanSetup {
    double time = 0;
    double scale = 1;  // pixels per point of kept rasters
    // False for a drawing apart from the screen's: nothing kept is made,
    // replaced or read, and content is drawn afresh.
    bool keepsRasters = true;
    // False for offscreen drawing (shadows, masks): vector content is then
    // drawn afresh, so that its kept raster stays the screen's.
    bool keepsVectors = true;
    // The plan may be replayed in bands, on other threads (a faded layer's
    // drawing, rastered as the screen is): content drawn afresh from its
    // properties is drawn from snapshots. A frame with raster jobs is
    // planned so anyway.
    bool inBands = false;
    // The device pixels drawn on, when known: layers wholly outside are
    // left out, and each subtree's area is noted for bands.
    std::optional<Rect> area;
    // The bands the plan is to be replayed in, when chosen before it: the
    // planner counts the leaves each holds (FramePlan::bandLoads), rather
    // than the replay reading the whole plan for them first.
    std::span<const BandRows> bands;
    // What the display's last frame left (its plan's storage, taken over,
    // and how many items it had): a plan of thousands of items is not
    // allocated afresh each frame. None for a plan made apart.
    PlanStorage* storage = nullptr;
    RenderTuning tuning{};
};

// The plan of `root` as the device transform `device` places it, drawn at
// `alpha`. The rasters the plan needs go to `cache` (none when nothing is
// kept) and are made by `rasters`, or at once when it is none.
FramePlan planFrame(Layer& root, const AffineTransform& device, double alpha, const PlanSetup& setup,
                    RasterCache* cache, Rasterizer* rasters);
// The same, placed by the transform and alpha `placed` has now (nothing is
// drawn into it).
FramePlan planFrame(Layer& root, const Context& placed, const PlanSetup& setup, RasterCache* cache,
                    Rasterizer* rasters);

}  // namespace platform::ui
