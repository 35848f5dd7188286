#pragma once
// Every threshold the compositor steers by, in one place: how a frame is
// split into bands, how rasters are handed to the pool, what is kept.
// Measured on an 8-core machine with the screens of bench_ui and
// bench_charts (docs/PERFORMANCE.md); change them there first.

#include <cstddef>

namespace platform::ui {

struct RenderTuning {
    // Bands: none below this many pixels, where threads cost more than
    // they save; about this many pixels a band, at most this many bands
    // (about two for each of 8 threads: a menu or a popover crowds its
    // drawing into a few rows, and smaller bands spread it), none thinner
    // than this many rows. Fixed by the size alone, not by the processors
    // there are, so that a frame comes out the same everywhere.
    double fewestPixelsForBands = 512.0 * 1024;
    double pixelsPerBand = 128.0 * 1024;
    int mostBands = 16;
    int fewestRowsPerBand = 64;

    // Rasters of this many device pixels or more are drawn in rows apart,
    // side by side (one job for each quarter of it, up to `mostRowPieces`):
    // one alone would hold up the end of a frame's rasters.
    double rowsApartPixels = 256.0 * 1024;
    int mostRowPieces = 8;

    // Rasters of content drawn from properties of this many device pixels
    // at most are drawn in batches, one bitmap each: making and clearing a
    // bitmap costs more than a small raster's pixels. A batch holds this
    // many rasters and this many rows at most; a raster joins one of the
    // last few batches open.
    double largestBatchedPixels = 64.0 * 64;
    std::size_t rastersPerBatch = 64;
    int mostBatchRows = 4096;
    std::size_t batchesLookedAt = 8;

    // A layer clipping to rounded corners is kept whole up to this many
    // device pixels.
    double largestKeptWholePixels = 512.0 * 512;
    // A layer that fades with several parts (a popover's body and its
    // shadow) is kept as one raster up to this many device pixels.
    double largestKeptFadePixels = 4096.0 * 1024;

    // The deviation, in pixels of the raster it is made in, beyond which a
    // shadow is made at a lower resolution.
    double wideShadowPixels = 16;

    // A shape is drawn by stamping its marks when its path is at least
    // this many copies of one mark no larger than `largestMark` device
    // pixels a side.
    std::size_t fewestMarks = 16;
    double largestMark = 64;
};

}  // namespace platform::ui
