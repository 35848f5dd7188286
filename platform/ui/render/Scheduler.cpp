#include "platform/ui/render/Scheduler.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

std::vector<BandRows> bandsFor(int pixelWidth, int pixelHeight, const RenderTuning& tuning) {
    const double pixels = static_cast<double>(pixelWidth) * pixelHeight;
    int count = 1;
    if (pixelWidth > 0 && pixelHeight > 0 && pixels >= tuning.fewestPixelsForBands) {
        const double most =
            std::min({static_cast<double>(tuning.mostBands), std::floor(pixels / tuning.pixelsPerBand),
                      std::floor(pixelHeight / static_cast<double>(std::max(1, tuning.fewestRowsPerBand)))});
        if (most >= 2) count = static_cast<int>(most);
    }
    return evenBands(pixelHeight, count);
}

void addBandLoad(std::span<const BandRows> rows, const Rect& area, std::span<std::size_t> loads) {
    const auto below = [](const BandRows& band, double y) { return band.end <= y; };
    auto band = std::lower_bound(rows.begin(), rows.end(), area.minY(), below);
    for (; band != rows.end() && band->first < area.maxY(); ++band) ++loads[band - rows.begin()];
}

bool StrokeStyle::same(const StrokeStyle& other) const {
    return color == other.color && width == other.width && cap == other.cap && join == other.join &&
           (join != LineJoin::miter || miterLimit == other.miterLimit);
}

int RasterScheduler::rowPieces(double pixels, const RenderTuning& tuning) {
    return static_cast<int>(
        std::clamp(std::floor(pixels / (tuning.rowsApartPixels / 4)), 1.0, static_cast<double>(tuning.mostRowPieces)));
}

void RasterScheduler::add(std::size_t id, const RasterRequest& request) {
    const double pixels = request.pixels();
    if (request.fromProperties && !request.inWhole && pixels <= mTuning.largestBatchedPixels) {
        // Among the last few batches only: rasters of one kind come together.
        Batch* into = nullptr;
        for (std::size_t i = mBatches.size(); i > 0 && i + mTuning.batchesLookedAt > mBatches.size(); --i) {
            Batch& batch = mBatches[i - 1];
            const bool sameKind = request.stroke ? batch.stroke && batch.stroke->same(*request.stroke) : !batch.stroke;
            if (batch.scale == request.scale && sameKind) {
                into = &batch;
                break;
            }
        }
        if (!into) {
            into = &mBatches.emplace_back(Batch{request.stroke, request.scale, {}, 0});
            into->spec.kind = RasterJobSpec::Kind::batch;
            into->spec.stroked = request.stroke.has_value();
        }
        if (!into->spec.requests.empty() && into->rows + request.height > mTuning.mostBatchRows) flush(*into);
        into->spec.requests.push_back(id);
        into->rows += request.height + 1;
        if (into->spec.requests.size() == mTuning.rastersPerBatch) flush(*into);
        return;
    }
    RasterJobSpec spec;
    spec.requests.push_back(id);
    if (pixels >= mTuning.rowsApartPixels) {
        spec.kind = RasterJobSpec::Kind::rows;
        spec.pieces = rowPieces(pixels, mTuning);
    }
    mEmit(std::move(spec));
}

void RasterScheduler::addWhole(std::size_t id) { mEmit(RasterJobSpec{RasterJobSpec::Kind::whole, {id}, 1, false}); }

void RasterScheduler::flush(Batch& batch) {
    RasterJobSpec spec = batch.spec;
    batch.spec.requests.clear();
    batch.rows = 0;
    mEmit(std::move(spec));
}

void RasterScheduler::finish() {
    for (Batch& batch : mBatches) {
        if (!batch.spec.requests.empty()) flush(batch);
    }
    mBatches.clear();
}

}  // namespace platform::ui
