#pragma once
// Every threshold the compositor steers by, in one place: how a frame is
// split into bands, how rasters are handed to the pool, what is kept, and
// how a view that shows a large picture as tiles (the layout view) has
// them drawn. Measured on an 8-core machine with the screens of bench_ui,
// bench_charts and bench_layout_screen (docs/PERFORMANCE.md); change them
// there first.

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

    // Tiles: this many points a side, aligned to the picture's origin; a
    // ring of this many tiles around the view asked for ahead of a pan.
    double tileSide = 256;
    int tileRing = 1;
    // A tile's image reaches this many pixels past its right and bottom
    // edges, under its neighbours: stretched by a pinch, tiles meet at
    // fractional pixels, and two edges covering a pixel in part let the
    // background through between them (a grid of faint lines). Covered by
    // the same pixels of the neighbour when not stretched.
    int tileOverlap = 2;
    // A tile drawn at once is drawn in this many bands of rows, each a job
    // of its own: over the dense middle of a fitted layout one tile holds
    // most of it, and drawn whole on one thread it would keep the others
    // waiting.
    int bandsATile = 8;
    // Tiles asked for are drawn on one in this many of the pool's threads
    // (at least `fewestTileThreads`), at low priority: the compositor draws
    // a frame's bands on the same pool, and a frame must not wait behind a
    // screenful of tiles while the user moves the picture.
    unsigned tileThreadsShare = 4;
    unsigned fewestTileThreads = 2;
    // While the user does not move the picture (a pinch or a pan has ended)
    // and visible tiles are missing, the tiles are drawn on all the pool's
    // threads: the user waits for nothing else. Once the view is covered the
    // ring's tiles are drawn on all its threads but one in this many, left
    // for the frames' bands (docs/PERFORMANCE.md, "Layout screen", has the
    // figures behind both shares).
    unsigned stillFreeThreadsShare = 4;
};

}  // namespace platform::ui
