#pragma once
// VKMBoxIndex: which of a fixed set of boxes may meet an area, without
// looking at every box. A uniform grid over the boxes' extent, each cell
// listing the boxes that reach into it (one flat array, cell after cell).
// Built once, then only read: any number of threads may query it at once.
//
// A query answers a superset: every box that meets the area (edges
// included) is in it, some that do not may be. Callers keep their own exact
// test. Boxes that cannot be placed in the grid (not finite, or spanning a
// large part of it) are answered by every query. The answer comes in the
// boxes' own order, each once, so what is drawn through it is drawn in the
// same order as a walk over all.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class VKMBoxIndex {
public:
    // Normalised: min <= max on both axes.
    struct tBox {
        double minX = 0;
        double minY = 0;
        double maxX = 0;
        double maxY = 0;
    };
    // What a box is to the index.
    enum class Placement : std::uint8_t {
        // Answered when its cells meet the area's.
        placed,
        // Answered by every query (its own test decides).
        always,
        // Never answered: the caller knows it can never meet any area.
        never,
    };

    // An index of nothing.
    VKMBoxIndex() = default;
    // `count` boxes, numbered from 0; `boxOf(i, box)` fills the box of i and
    // says how to place it (a `placed` box that is not finite and
    // normalised is answered by every query). Called twice for each box.
    template <typename BoxOf>
    VKMBoxIndex(std::size_t count, BoxOf&& boxOf);

    std::size_t size() const { return mCount; }

    // The numbers of the boxes that may meet `area` (finite, normalised),
    // ascending, into `out` (emptied first).
    void query(const tBox& area, std::vector<std::uint32_t>& out) const;
    // Whether `area` takes in every cell of the grid, so that a query would
    // answer every placed box: then walking all is the quicker way.
    bool coversAll(const tBox& area) const;

private:
    struct tCells {
        std::int32_t x0, y0, x1, y1;
    };
    // Where the placed boxes lie, with a sample of their centres.
    struct tExtent {
        double minX = std::numeric_limits<double>::infinity();
        double minY = std::numeric_limits<double>::infinity();
        double maxX = -std::numeric_limits<double>::infinity();
        double maxY = -std::numeric_limits<double>::infinity();
        std::size_t placed = 0;
        std::vector<double> xs;
        std::vector<double> ys;
    };
    static constexpr std::size_t kSample = 1024;
    // Beyond this many boxes every box is tested instead.
    static constexpr std::size_t kMostBoxes = std::size_t{1} << 24;
    // A box reaching into more cells than this is cheaper to test on every
    // query than to list in each of them.
    static constexpr std::int64_t kMaxCellsPerBox = 256;

    static bool isPlaceable(const tBox& box) {
        return std::isfinite(box.minX) && std::isfinite(box.minY) && std::isfinite(box.maxX) &&
               std::isfinite(box.maxY) && box.minX <= box.maxX && box.minY <= box.maxY;
    }
    // Cell of a coordinate already scaled to cells: truncation is the floor
    // between the clamps, and a value that is not a number lands in cell 0.
    // The same monotone mapping for boxes and areas: when two intervals
    // meet, so do their cell ranges.
    static std::int32_t clamped(double at, std::int32_t cells) {
        if (!(at > 0.0)) return 0;
        if (at >= static_cast<double>(cells - 1)) return cells - 1;
        return static_cast<std::int32_t>(at);
    }
    tCells cellsOf(const tBox& box) const {
        return {clamped((box.minX - mOriginX) * mInverseCellWidth, mColumns),
                clamped((box.minY - mOriginY) * mInverseCellHeight, mRows),
                clamped((box.maxX - mOriginX) * mInverseCellWidth, mColumns),
                clamped((box.maxY - mOriginY) * mInverseCellHeight, mRows)};
    }
    // Sets the grid over the extent.
    void chooseGrid(tExtent& extent);
    // Fills the cells from the spans of the placed boxes.
    void fill(const Placement* placements, const tCells* spans);

    std::size_t mCount = 0;
    double mOriginX = 0;
    double mOriginY = 0;
    double mInverseCellWidth = 0;
    double mInverseCellHeight = 0;
    std::int32_t mColumns = 0;
    std::int32_t mRows = 0;
    // Cell c lists mEntries[mCellStart[c] .. mCellStart[c + 1]).
    std::vector<std::uint32_t> mCellStart;
    std::vector<std::uint32_t> mEntries;
    // Ascending.
    std::vector<std::uint32_t> mAlways;
};

template <typename BoxOf>
VKMBoxIndex::VKMBoxIndex(std::size_t count, BoxOf&& boxOf) : mCount(count) {
    if (count >= kMostBoxes) {
        for (std::size_t i = 0; i < count; ++i) {
            tBox box;
            if (boxOf(i, box) != Placement::never) mAlways.push_back(static_cast<std::uint32_t>(i));
        }
        return;
    }
    // First pass: what each box is, and where the boxes lie.
    std::unique_ptr<Placement[]> placements(new Placement[count]);
    tExtent extent;
    const std::size_t every = std::max<std::size_t>(1, count / kSample);
    std::size_t untilSample = 0;
    for (std::size_t i = 0; i < count; ++i) {
        tBox box;
        Placement placement = boxOf(i, box);
        if (placement == Placement::placed && !isPlaceable(box)) placement = Placement::always;
        placements[i] = placement;
        if (placement != Placement::placed) continue;
        ++extent.placed;
        extent.minX = std::min(extent.minX, box.minX);
        extent.minY = std::min(extent.minY, box.minY);
        extent.maxX = std::max(extent.maxX, box.maxX);
        extent.maxY = std::max(extent.maxY, box.maxY);
        if (untilSample-- == 0) {
            untilSample = every - 1;
            extent.xs.push_back(box.minX / 2 + box.maxX / 2);
            extent.ys.push_back(box.minY / 2 + box.maxY / 2);
        }
    }
    chooseGrid(extent);
    // Second pass: the cells of each placed box, counted per cell.
    std::unique_ptr<tCells[]> spans(new tCells[extent.placed > 0 ? count : 0]);
    mCellStart.assign(static_cast<std::size_t>(mColumns) * static_cast<std::size_t>(mRows) + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (placements[i] == Placement::never) continue;
        if (placements[i] == Placement::placed) {
            tBox box;
            boxOf(i, box);
            const tCells span = cellsOf(box);
            const std::int64_t reach = std::int64_t{span.x1 - span.x0 + 1} * std::int64_t{span.y1 - span.y0 + 1};
            if (reach <= kMaxCellsPerBox) {
                spans[i] = span;
                for (std::int32_t y = span.y0; y <= span.y1; ++y) {
                    std::uint32_t* const row = &mCellStart[static_cast<std::size_t>(y) * mColumns + 1];
                    for (std::int32_t x = span.x0; x <= span.x1; ++x) ++row[x];
                }
                continue;
            }
            placements[i] = Placement::always;
        }
        mAlways.push_back(static_cast<std::uint32_t>(i));
    }
    fill(placements.get(), spans.get());
}
