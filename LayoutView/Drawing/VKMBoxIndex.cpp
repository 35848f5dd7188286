#include "LayoutView/Drawing/VKMBoxIndex.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

// About one cell per two placed boxes: a box of the usual size then reaches
// into one to four cells, and a cell holds a handful of boxes.
constexpr std::size_t kBoxesPerCell = 2;
constexpr std::size_t kMaxCells = std::size_t{1} << 20;

}  // namespace

void VKMBoxIndex::chooseGrid(tExtent& extent) {
    if (extent.placed == 0 || extent.xs.empty()) return;
    // The grid spans where most boxes lie: a few far-off boxes would
    // otherwise stretch it until the rest share a cell. Boxes beyond it fall
    // into its edge cells (the mapping clamps), which keeps every answer
    // whole.
    auto quantile = [](std::vector<double>& values, double share) {
        const auto at = values.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(values.size() - 1));
        std::nth_element(values.begin(), at, values.end());
        return *at;
    };
    const double minX = std::max(extent.minX, quantile(extent.xs, 0.005));
    const double maxX = std::min(extent.maxX, quantile(extent.xs, 0.995));
    const double minY = std::max(extent.minY, quantile(extent.ys, 0.005));
    const double maxY = std::min(extent.maxY, quantile(extent.ys, 0.995));
    const double width = maxX - minX;
    const double height = maxY - minY;
    const double cells = static_cast<double>(std::clamp<std::size_t>(extent.placed / kBoxesPerCell, 1, kMaxCells));
    double columns = 1;
    double rows = 1;
    if (width > 0 && height > 0) {
        columns = std::clamp(std::round(std::sqrt(cells * width / height)), 1.0, cells);
        rows = std::clamp(std::round(cells / columns), 1.0, cells);
    } else if (width > 0) {
        columns = cells;
    } else if (height > 0) {
        rows = cells;
    }
    mColumns = static_cast<std::int32_t>(columns);
    mRows = static_cast<std::int32_t>(rows);
    mOriginX = minX;
    mOriginY = minY;
    mInverseCellWidth = width > 0 ? columns / width : 0.0;
    mInverseCellHeight = height > 0 ? rows / height : 0.0;
    if (!std::isfinite(mInverseCellWidth)) mInverseCellWidth = 0.0;
    if (!std::isfinite(mInverseCellHeight)) mInverseCellHeight = 0.0;
}

void VKMBoxIndex::fill(const Placement* placements, const tCells* spans) {
    // Filled in box order, so each cell lists its boxes ascending.
    const std::size_t cellCount = mCellStart.size() - 1;
    for (std::size_t c = 0; c < cellCount; ++c) mCellStart[c + 1] += mCellStart[c];
    mEntries.resize(mCellStart[cellCount]);
    std::vector<std::uint32_t> next(mCellStart.begin(), mCellStart.end() - 1);
    for (std::size_t i = 0; i < mCount; ++i) {
        if (placements[i] != Placement::placed) continue;
        const tCells& span = spans[i];
        for (std::int32_t y = span.y0; y <= span.y1; ++y) {
            std::uint32_t* const row = &next[static_cast<std::size_t>(y) * mColumns];
            for (std::int32_t x = span.x0; x <= span.x1; ++x) mEntries[row[x]++] = static_cast<std::uint32_t>(i);
        }
    }
}

bool VKMBoxIndex::coversAll(const tBox& area) const {
    if (mColumns == 0) return true;
    const tCells span = cellsOf(area);
    return span.x0 == 0 && span.y0 == 0 && span.x1 == mColumns - 1 && span.y1 == mRows - 1;
}

void VKMBoxIndex::query(const tBox& area, std::vector<std::uint32_t>& out) const {
    out.clear();
    if (mCount == 0) return;
    if (mColumns > 0) {
        const tCells span = cellsOf(area);
        for (std::int32_t y = span.y0; y <= span.y1; ++y) {
            const std::size_t rowStart = static_cast<std::size_t>(y) * mColumns;
            out.insert(out.end(), mEntries.begin() + mCellStart[rowStart + span.x0],
                       mEntries.begin() + mCellStart[rowStart + span.x1 + 1]);
        }
    }
    out.insert(out.end(), mAlways.begin(), mAlways.end());
    // A box in several cells comes several times; put in order and keep one
    // of each. Few answers are sorted; many are marked in a bitmap of all
    // the boxes and read back in order.
    const std::size_t words = (mCount + 63) / 64;
    if (out.size() < words) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return;
    }
    thread_local std::vector<std::uint64_t> marks;
    marks.assign(words, 0);
    for (const std::uint32_t i : out) marks[i >> 6] |= std::uint64_t{1} << (i & 63);
    out.clear();
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t bits = marks[w];
        while (bits != 0) {
            out.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))));
            bits &= bits - 1;
        }
    }
}
