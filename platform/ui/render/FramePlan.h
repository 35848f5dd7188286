#pragma once
// A frame as the planner leaves it: a flat list of what to draw, in order,
// that the replay draws into one context or into bands. Items point at
// what they draw without a share of it, and the plan holds it: kept
// rasters through its pin of the cache (`kept`), the slots of raster jobs,
// which are done before the replay starts, through `slots`, and the rest
// (snapshots, layers' contents, rasters made for this frame alone) in
// `held`. A plan that may be replayed in bands points at no layer of the
// tree: what it draws afresh from properties is a snapshot, and a
// delegate's drawing, which needs its layer, makes the plan the main
// thread's (`mainThread`), replayed there in one piece while the tree
// holds the layer. A plan replayed in one piece on the main thread as soon
// as it is made may draw from the layers of the tree.

#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace platform::ui {

class Layer;

namespace detail {
struct MarkStamps;
}

// Where a raster job leaves its image; read only once the jobs are done.
// Where no image could be made (a bitmap too large, or no memory),
// `fallback`, when there is one, draws the same content in its place.
struct RasterSlot {
    // The image made, until it is handed to the cache.
    std::shared_ptr<Image> image;
    // The image made, as the replay draws it: the cache takes `image` while
    // bands are drawn, and thousands of shares would be counted on cold
    // memory. Its pixels' bytes are taken where it was made, for the same
    // reason.
    const Image* shown = nullptr;
    std::size_t bytes = 0;
    std::function<void(Context&)> fallback;

    void put(std::shared_ptr<Image> made) {
        bytes = made ? made->byteCount() : 0;
        shown = made.get();
        image = std::move(made);
    }
};

// A layer's subtree begins: the state is saved, the layer's transform
// applied and the alpha set. `end` is the index of its Exit; `area` the
// device pixels the subtree may touch (a band it misses passes over it),
// or none when not known.
struct PlanEnter {
    AffineTransform transform;
    double alpha = 1;
    std::uint32_t end = 0;
    bool hasArea = false;
    Rect area;
};
struct PlanExit {};
// Images after it are sampled quickly (stretched by an animation).
struct PlanLowQuality {};
// Parts that fade or are masked as one: clipped to `clip`, drawn into a
// group, composited through the mask when there is one.
struct PlanGroupBegin {
    Rect clip;
};
struct PlanGroupEnd {
    std::shared_ptr<Image> mask;
    Rect maskRect;
};
// A rect with rounded corners, made into a path where it is drawn: in a
// plan replayed once (a kept whole's body, by its job), its arcs are not
// made on the planner's thread.
struct PlanRoundedRect {
    Rect rect;
    double radius = 0;
    Path path() const;
};
// Clipped to a path (or to `rounded` when it has one) until the matching
// PlanClipEnd.
struct PlanClipBegin {
    Path path;
    std::shared_ptr<const PlanRoundedRect> rounded;
};
struct PlanClipEnd {};
// A path (or `rounded` when it has one) filled. Shapes are held apart, so
// that every item stays as small as an enter: a chart's plan holds
// thousands, written by the planner and read by every band each frame.
struct PlanFill {
    std::shared_ptr<const Path> path;
    Color color;
    FillRule rule = FillRule::nonZero;
    std::shared_ptr<const PlanRoundedRect> rounded;
};
// A raster: an image at hand, or the one a job makes (`slot`). Neither is
// a share: a chart's thousands would be counted in and out every frame.
struct PlanImage {
    const Image* image = nullptr;
    RasterSlot* slot = nullptr;
    Rect rect;
    bool lowQuality = false;
};
// Content drawn afresh from `layer` (a snapshot, or the layer itself for a
// delegate's drawing, which makes the plan's `mainThread`), clipped to
// `clip` when `clips`.
struct PlanDraw {
    Layer* layer = nullptr;
    bool clips = false;
    Rect clip;
};
// A shape's marks stamped: a stamp (by phase) at each rect. Where stamps
// were left to jobs, `whole` is a snapshot of the shape as they drew it,
// drawn whole in their place if one of them could not be made.
struct PlanMarks {
    std::shared_ptr<const detail::MarkStamps> stamps;
    std::vector<std::pair<std::size_t, Rect>> placements;
    Layer* whole = nullptr;
};

using PlanItem = std::variant<PlanEnter, PlanExit, PlanLowQuality, PlanGroupBegin, PlanGroupEnd, PlanClipBegin,
                              PlanClipEnd, PlanFill, PlanImage, PlanDraw, PlanMarks>;

struct FramePlan {
    std::vector<PlanItem> items;
    // A delegate draws during the replay: only the main thread may replay
    // it, in one piece.
    bool mainThread = false;
    // The cache's pin (RasterCache::pin), when it shows kept rasters.
    std::shared_ptr<const void> kept;
    // The slots of raster jobs its images show.
    std::shared_ptr<const void> slots;
    // What else its items point at: snapshots, layers' contents, rasters
    // made for this plan alone.
    std::vector<std::shared_ptr<const void>> held;
    // For each band it was planned for (PlanSetup::bands), the leaves of
    // the tree whose pixels overlap it, as bandLoads counts them; empty
    // when not counted.
    std::vector<std::size_t> bandLoads;
};

// What a display's frame leaves for its next: the storage of its plan,
// emptied of what its items held, for the next plan to be written over (a
// plan of thousands of items is not allocated afresh each frame, and what
// is the same is left unwritten), and how many items and raster jobs it
// had, to make room for at once.
struct PlanStorage {
    std::vector<PlanItem> items;
    // The plan's `held`, emptied.
    std::vector<std::shared_ptr<const void>> held;
    std::size_t lastItems = 0;
    std::size_t lastRasters = 0;
};

}  // namespace platform::ui
