#pragma once
// Composites a layer tree into a context, as the screen shows it at a given
// time: each layer's presentation at that time, placed by its geometry,
// with its shadow, background, contents, drawn content, sublayers and
// border, faded as one group by its opacity and cut by its mask.
//
// In three steps: the planner walks the tree and leaves a flat plan of
// what to draw (Planner.h), the rasters it needs are drawn side by side on
// the shared pool's threads from snapshots (Rasterizer.h), and the plan is
// replayed into the context, or into bands of a large bitmap at once
// (Replay.h).
//
// Drawn content (drawInContext: a delegate's drawing, shapes, text,
// gradients) is drawn into rasters at `contentsScale` pixels per point and
// kept in a RasterCache between frames, until it changes, its size changes
// or the scale does; while an animation changes what a layer draws (a
// stroke end, a path), it is drawn afresh each frame. Shadows and wholes
// are kept the same way while nothing they depend on moves.
//
// The context maps points to whatever it draws on (a BitmapContext made
// for a point size at a scale); its current transform places the root
// layer's superlayer space. Main thread only; delegates draw on it.
//
// The compositor's words:
// - kept: a raster held in the RasterCache from one frame to the next, and
//   shown again while what it was drawn from (its version and source)
//   stays the same.
// - afresh: drawn straight into the frame (or its bands) each time, from
//   the layer or a snapshot of it, rather than from a kept raster.
// - snapshot: a presentation copy of a layer that other threads draw from;
//   they never read a layer of the tree.
// - whole: one kept raster standing for a layer's drawing with its
//   sublayers (the body of a layer clipped to rounded corners, a fading
//   layer with its shadow), shown in place of its parts.
// - part: a raster a whole's or a shadow's drawing needs, made before it
//   by the same job (or, for a shadow, side by side).
// - job: work on the shared pool's threads making rasters (Rasterizer.h).
// - slot: where a job leaves the raster it made; a plan shows it once the
//   jobs are done, and the main thread then keeps it.
// - pin: a plan's hold on the cache (RasterCache::pin): what the cache lets
//   go of while the plan lives stays alive, so that the plan shows kept
//   rasters without a share of each.
// - band: rows of a large bitmap that one thread draws; the plan is
//   replayed into every band at once.

#include "platform/ui/render/RenderTuning.h"

namespace platform {
class Context;
}

namespace platform::ui {

class Layer;
class RasterCache;
struct PlanStorage;

enum class Banding {
    // In bands when the context is a bitmap large enough (bandsFor) that
    // can be drawn in bands (no clip set, no transparency layer open) and
    // no delegate has to draw during the replay; decided before the work.
    bySize,
    onePiece,
};

struct RenderOptions {
    double time = 0;           // media time to sample (currentMediaTime() for the screen)
    double contentsScale = 1;  // pixels per point of kept rasters
    // False for a drawing apart from the screen's, at another scale (a
    // blurred backdrop): nothing is kept, read or replaced, and content is
    // drawn afresh.
    bool keepsRasters = true;
    // Where rasters are kept: the window's. None for a tree shown in no
    // window (an offscreen drawing, a test): the main thread's cache for
    // such trees is used, so that their frames keep rasters too.
    RasterCache* cache = nullptr;
    // Where the display keeps its plans from one frame to the next (the
    // window's, beside its cache; a backdrop's, drawn again and again). None:
    // the main thread's for trees shown in no window when `cache` is none
    // and rasters are kept, else nothing is carried over.
    //
    // A render inside another's frame of the same cache (a delegate drawing
    // a tree while a frame is drawn, which the cache tells) is drawn in one
    // piece, starts no frame of the cache and carries no plan over.
    PlanStorage* plans = nullptr;
    Banding banding = Banding::bySize;
    RenderTuning tuning{};
};

void renderLayerTree(Layer& root, Context& context, const RenderOptions& options);

// The cache of trees shown in no window (main thread only).
RasterCache& windowlessRasterCache();

}  // namespace platform::ui
