#include "LayoutView/Drawing/VKMBoxIndex.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

// About one cell per placed box: a box of the usual size then reaches into
// one to four cells, and a cell holds a handful of boxes.
constexpr std::size_t kMaxCells = std::size_t{1} << 20;
// A box reaching into more cells than this is cheaper to test on every
// query than to list in each of them.
constexpr std::int64_t kMaxCellsPerBox = 256;
// Centres sampled for the grid's extent.
constexpr std::size_t kSample = 4096;

bool IsPlaceable(const VKMBoxIndex::tBox& box) {
    return std::isfinite(box.minX) && std::isfinite(box.minY) && std::isfinite(box.maxX) && std::isfinite(box.maxY) &&
           box.minX <= box.maxX && box.minY <= box.maxY;
}

// Cell of a coordinate already scaled to cells: truncation is the floor
// between the clamps, and a value that is not a number lands in cell 0.
std::int32_t Clamped(double at, std::int32_t cells) {
    if (!(at > 0.0)) return 0;
    if (at >= static_cast<double>(cells - 1)) return cells - 1;
    return static_cast<std::int32_t>(at);
}

}  // namespace

VKMBoxIndex::VKMBoxIndex(std::size_t count, const std::function<Placement(std::size_t, tBox&)>& boxOf) : mCount(count) {
    if (count >= (std::size_t{1} << 24)) {
        // Beyond what the flat lists count: every box is tested instead.
        for (std::size_t i = 0; i < count; ++i) {
            tBox box;
            if (boxOf(i, box) != Placement::never) mAlways.push_back(static_cast<std::uint32_t>(i));
        }
        return;
    }
    // First pass: what each box is, and where the boxes lie.
    std::unique_ptr<Placement[]> placements(new Placement[count]);
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    std::size_t placed = 0;
    const std::size_t every = std::max<std::size_t>(1, count / kSample);
    std::vector<double> xs;
    std::vector<double> ys;
    for (std::size_t i = 0; i < count; ++i) {
        tBox box;
        Placement placement = boxOf(i, box);
        if (placement == Placement::placed && !IsPlaceable(box)) placement = Placement::always;
        placements[i] = placement;
        if (placement != Placement::placed) continue;
        ++placed;
        minX = std::min(minX, box.minX);
        minY = std::min(minY, box.minY);
        maxX = std::max(maxX, box.maxX);
        maxY = std::max(maxY, box.maxY);
        if (i % every == 0) {
            xs.push_back(box.minX / 2 + box.maxX / 2);
            ys.push_back(box.minY / 2 + box.maxY / 2);
        }
    }
    if (placed > 0 && !xs.empty()) {
        // The grid spans where most boxes lie: a few far-off boxes would
        // otherwise stretch it until the rest share a cell. Boxes beyond
        // it fall into its edge cells (the mapping clamps), which keeps
        // every answer whole.
        auto quantile = [](std::vector<double>& values, double share) {
            const auto at =
                values.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(values.size() - 1));
            std::nth_element(values.begin(), at, values.end());
            return *at;
        };
        minX = std::max(minX, quantile(xs, 0.005));
        maxX = std::min(maxX, quantile(xs, 0.995));
        minY = std::max(minY, quantile(ys, 0.005));
        maxY = std::min(maxY, quantile(ys, 0.995));
        const double width = maxX - minX;
        const double height = maxY - minY;
        const double cells = static_cast<double>(std::clamp<std::size_t>(placed, 1, kMaxCells));
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

    // Second pass: the cells of each placed box, counted per cell; then
    // filled in box order, so each cell lists its boxes ascending.
    const std::size_t cellCount = static_cast<std::size_t>(mColumns) * static_cast<std::size_t>(mRows);
    std::unique_ptr<tCells[]> spans(new tCells[placed > 0 ? count : 0]);
    mCellStart.assign(cellCount + 1, 0);
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
    for (std::size_t c = 0; c < cellCount; ++c) mCellStart[c + 1] += mCellStart[c];
    mEntries.resize(mCellStart[cellCount]);
    std::vector<std::uint32_t> next(mCellStart.begin(), mCellStart.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
        if (placements[i] != Placement::placed) continue;
        const tCells& span = spans[i];
        for (std::int32_t y = span.y0; y <= span.y1; ++y) {
            std::uint32_t* const row = &next[static_cast<std::size_t>(y) * mColumns];
            for (std::int32_t x = span.x0; x <= span.x1; ++x) mEntries[row[x]++] = static_cast<std::uint32_t>(i);
        }
    }
}

std::int32_t VKMBoxIndex::column(double x) const { return Clamped((x - mOriginX) * mInverseCellWidth, mColumns); }

std::int32_t VKMBoxIndex::row(double y) const { return Clamped((y - mOriginY) * mInverseCellHeight, mRows); }

// The same monotone mapping for boxes and areas: when two intervals meet,
// so do their cell ranges.
VKMBoxIndex::tCells VKMBoxIndex::cellsOf(const tBox& box) const {
    return {column(box.minX), row(box.minY), column(box.maxX), row(box.maxY)};
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
