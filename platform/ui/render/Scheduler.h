#pragma once
// What work a frame's rasters and bands are split into, decided from sizes
// alone (no pixels): which bands a bitmap is drawn in, and which jobs the
// rasters a frame needs are drawn by. Everything it decides by is in
// RenderTuning.

#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/render/RenderTuning.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace platform::ui {

using platform::BandRows;

// The bands a bitmap of this many pixels is drawn in, top to bottom, of
// even height; one for a bitmap drawn in one piece.
std::vector<BandRows> bandsFor(int pixelWidth, int pixelHeight, const RenderTuning& tuning);
// Counts a leaf of the tree whose pixels lie in `area` (device pixels) in
// the load of each band it overlaps.
void addBandLoad(std::span<const BandRows> rows, const Rect& area, std::span<std::size_t> loads);

// How a stroke is painted: shapes that only stroke their whole path with
// the same style are drawn as one path.
struct StrokeStyle {
    Color color;
    double width = 1;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
    double miterLimit = Context::kDefaultMiterLimit;
    bool same(const StrokeStyle& other) const;
};

// A raster the frame needs: its pixels, its scale, whether it is drawn
// from properties alone (a shape, text, a gradient) and with which stroke
// when it only strokes, and whether it is a part of a whole (drawn by the
// whole's job, not batched).
struct RasterRequest {
    int width = 0;
    int height = 0;
    double scale = 1;
    bool fromProperties = false;
    bool inWhole = false;
    std::optional<StrokeStyle> stroke;
    double pixels() const { return static_cast<double>(width) * height; }
};

// A job: one raster, one in rows (`pieces` jobs at once), a batch of
// small ones drawn into one bitmap, one below the other (as one path when
// `stroked`), or a kept whole with its parts. `requests` are the ids given
// to `add` (to `addWhole` for a whole).
struct RasterJobSpec {
    enum class Kind { single, rows, batch, whole };
    Kind kind = Kind::single;
    std::vector<std::size_t> requests;
    int pieces = 1;
    bool stroked = false;
    friend bool operator==(const RasterJobSpec&, const RasterJobSpec&) = default;
};

// Hands rasters to jobs as they come: a single or rows job at once, a batch
// when it is full (or at `finish`).
class RasterScheduler {
public:
    using Emit = std::function<void(RasterJobSpec)>;
    RasterScheduler(const RenderTuning& tuning, Emit emit) : mTuning(tuning), mEmit(std::move(emit)) {}
    void add(std::size_t id, const RasterRequest& request);
    // A whole, its parts planned: started at once, while the walk goes on.
    // Held to the end of the walk, a chart's many small wholes (a bar
    // each) would all wait for it, and then for each other.
    void addWhole(std::size_t id);
    // Emits the batches still open.
    void finish();

    // How many row jobs a raster of this many pixels is drawn by.
    static int rowPieces(double pixels, const RenderTuning& tuning);

private:
    struct Batch {
        std::optional<StrokeStyle> stroke;
        double scale;
        RasterJobSpec spec;
        int rows = 0;
    };
    void flush(Batch& batch);

    const RenderTuning& mTuning;
    Emit mEmit;
    std::vector<Batch> mBatches;
};

}  // namespace platform::ui
