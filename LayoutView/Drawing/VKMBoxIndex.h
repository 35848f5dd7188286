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

#include <cstddef>
#include <cstdint>
#include <functional>
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
    enum class Placement {
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
    // says how to place it (for `placed` the box must be finite).
    VKMBoxIndex(std::size_t count, const std::function<Placement(std::size_t, tBox&)>& boxOf);

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
    tCells cellsOf(const tBox& box) const;
    std::int32_t column(double x) const;
    std::int32_t row(double y) const;

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
