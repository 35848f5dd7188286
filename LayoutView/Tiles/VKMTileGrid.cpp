#include "LayoutView/Tiles/VKMTileGrid.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "platform/foundation/HashMix.h"

std::uint64_t VKMTileGrid::baseOf(const tSource& source) {
    return platform::hashMix(source.generation, source.document, std::bit_cast<std::uint64_t>(source.scale),
                             source.dark, source.grid, std::bit_cast<std::uint64_t>(source.workspaceWidth),
                             std::bit_cast<std::uint64_t>(source.workspaceHeight));
}

std::uint64_t VKMTileGrid::versionOf(std::uint64_t base, double zoom) {
    return platform::hashMix(base, std::bit_cast<std::uint64_t>(zoom));
}

VKMTileGrid::VKMTileGrid(double side, int ring) : mNominalSide(side), mSide(side), mPixels(0), mRing(ring) {
    setScale(1);
}

void VKMTileGrid::setScale(double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
    mPixels = static_cast<int>(std::clamp(std::round(mNominalSide * scale), 1.0, 16384.0));
    mSide = mPixels / scale;
}

VKMTileGrid::tLevel VKMTileGrid::make(double zoom, std::uint64_t base) const {
    tLevel level;
    level.made = true;
    level.zoom = zoom;
    level.base = base;
    level.version = versionOf(base, zoom);
    return level;
}

VKMTileGrid::Change VKMTileGrid::update(std::uint64_t base, double zoom, tUpdateOptions options) {
    if (!mLevel.made || mLevel.base != base) {
        mKept = options.keepShownUnderNewSource && mLevel.made ? std::move(mLevel) : tLevel{};
        mLevel = make(zoom, base);
        return Change::source;
    }
    if (mLevel.zoom == zoom || options.interactive) return Change::none;
    if (options.pinchEnded) {
        // Stretched under the new zoom's tiles until they arrive.
        mKept = std::move(mLevel);
        mLevel = make(zoom, base);
        return Change::pinchEnd;
    }
    mKept = {};
    mLevel = make(zoom, base);
    return Change::zoom;
}

void VKMTileGrid::clear() {
    mKept = {};
    mLevel = {};
}

VKMTileGrid::tRange VKMTileGrid::rangeAt(platform::Size size, platform::Point offset, double zoom, int ring) const {
    const double stretch = stretchOf(mLevel, zoom);
    if (!(stretch > 0) || !std::isfinite(stretch) || size.width <= 0 || size.height <= 0) return {};
    const auto first = [&](double viewPoint, double origin) {
        return static_cast<int>(std::floor((viewPoint - origin) / stretch / mSide));
    };
    const auto last = [&](double viewPoint, double origin) {
        return static_cast<int>(std::ceil((viewPoint - origin) / stretch / mSide)) - 1;
    };
    // Far beyond any layout, the range is empty rather than huge.
    constexpr double kMost = 1 << 22;
    const double x0 = (0 - offset.x) / stretch / mSide;
    const double y0 = (0 - offset.y) / stretch / mSide;
    if (std::abs(x0) > kMost || std::abs(y0) > kMost) return {};
    return {first(0, offset.x) - ring, first(0, offset.y) - ring, last(size.width, offset.x) + ring,
            last(size.height, offset.y) + ring};
}

platform::Rect VKMTileGrid::rectOf(const tIndex& index) const {
    return {index.first * mSide, index.second * mSide, mSide, mSide};
}

std::uint64_t VKMTileGrid::partOf(const tIndex& index) const {
    const std::uint64_t level = mLevel.version >> 48;
    const auto packed = [](int value) { return static_cast<std::uint64_t>(value + (1 << 23)) & 0xffffff; };
    return (level << 48) | (packed(index.first) << 24) | packed(index.second);
}

std::vector<VKMTileGrid::tIndex> VKMTileGrid::releaseOutside(const tRange& wanted) {
    std::vector<tIndex> released;
    for (auto it = mLevel.placed.begin(); it != mLevel.placed.end();) {
        if (wanted.contains(*it)) {
            ++it;
        } else {
            released.push_back(*it);
            it = mLevel.placed.erase(it);
        }
    }
    return released;
}

std::vector<VKMTileGrid::tIndex> VKMTileGrid::unplaced(const tRange& visible, const tRange& wanted) const {
    std::vector<tIndex> tiles;
    for (int row = visible.row0; row <= visible.row1; ++row) {
        for (int column = visible.column0; column <= visible.column1; ++column) {
            if (!isPlaced({column, row})) tiles.emplace_back(column, row);
        }
    }
    // The middle of the view first.
    const double middleColumn = (visible.column0 + visible.column1) / 2.0;
    const double middleRow = (visible.row0 + visible.row1) / 2.0;
    std::stable_sort(tiles.begin(), tiles.end(), [&](const tIndex& a, const tIndex& b) {
        return std::hypot(a.first - middleColumn, a.second - middleRow) <
               std::hypot(b.first - middleColumn, b.second - middleRow);
    });
    for (int row = wanted.row0; row <= wanted.row1; ++row) {
        for (int column = wanted.column0; column <= wanted.column1; ++column) {
            const tIndex index{column, row};
            if (!visible.contains(index) && !isPlaced(index)) tiles.push_back(index);
        }
    }
    return tiles;
}

std::set<VKMTileGrid::tIndex> VKMTileGrid::coveredKept() const {
    std::set<tIndex> covered;
    if (!mKept.made || !mLevel.made) return covered;
    const double stretch = mLevel.zoom / mKept.zoom;
    for (const tIndex& index : mKept.placed) {
        const platform::Rect kept = rectOf(index);
        const int column0 = static_cast<int>(std::floor(stretch * kept.x / mSide));
        const int row0 = static_cast<int>(std::floor(stretch * kept.y / mSide));
        const int column1 = static_cast<int>(std::ceil(stretch * kept.maxX() / mSide)) - 1;
        const int row1 = static_cast<int>(std::ceil(stretch * kept.maxY() / mSide)) - 1;
        bool all = true;
        for (int row = row0; all && row <= row1; ++row) {
            for (int column = column0; all && column <= column1; ++column) all = isPlaced({column, row});
        }
        if (all) covered.insert(index);
    }
    return covered;
}

bool VKMTileGrid::isRequested(const tIndex& index) const { return mRequests.count({mLevel.version, index}) != 0; }

void VKMTileGrid::requested(const tIndex& index, tTicket ticket) {
    mRequests[{mLevel.version, index}] = {ticket, mNextOrder++};
}

bool VKMTileGrid::arrived(std::uint64_t version, const tIndex& index, tTicket ticket) {
    const auto request = mRequests.find({version, index});
    if (request != mRequests.end() && request->second.ticket == ticket) mRequests.erase(request);
    return mLevel.made && version == mLevel.version;
}

std::vector<VKMTileGrid::tTicket> VKMTileGrid::dropRequests(const tRange* keep) {
    std::vector<tTicket> dropped;
    for (auto it = mRequests.begin(); it != mRequests.end();) {
        const auto& [version, index] = it->first;
        if (keep != nullptr && version == mLevel.version && keep->contains(index)) {
            ++it;
        } else {
            dropped.push_back(it->second.ticket);
            it = mRequests.erase(it);
        }
    }
    return dropped;
}

std::size_t VKMTileGrid::requestsIn(const tRange& range) const {
    std::size_t count = 0;
    for (const auto& [key, request] : mRequests) {
        if (key.first == mLevel.version && range.contains(key.second)) ++count;
    }
    return count;
}

std::vector<VKMTileGrid::tIndex> VKMTileGrid::requestedInOrder() const {
    std::vector<std::pair<std::uint64_t, tIndex>> asked;
    for (const auto& [key, request] : mRequests) {
        if (key.first == mLevel.version) asked.emplace_back(request.order, key.second);
    }
    std::sort(asked.begin(), asked.end());
    std::vector<tIndex> tiles;
    for (const auto& [order, index] : asked) tiles.push_back(index);
    return tiles;
}
