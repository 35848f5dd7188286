#include "platform/graphics/BitmapBands.h"

#include <algorithm>

namespace platform {

std::vector<BandRows> evenBands(int height, int count) {
    std::vector<BandRows> rows;
    if (height <= 0) return rows;
    count = std::clamp(count, 1, height);
    for (int i = 0; i < count; ++i) rows.push_back({height * i / count, height * (i + 1) / count});
    return rows;
}

BitmapBands BitmapBands::over(BitmapContext& bitmap, std::span<const BandRows> rows) {
    BitmapBands bands;
    for (const BandRows& band : rows) {
        auto context = bitmap.band(band.first, band.end);
        if (!context) return {};
        bands.mContexts.push_back(std::move(context));
    }
    bands.mRows.assign(rows.begin(), rows.end());
    bands.mLeft = std::make_unique<std::atomic<std::size_t>>(bands.mContexts.size());
    return bands;
}

BitmapBands BitmapBands::make(int pixelWidth, int pixelHeight, double scale, Point origin,
                              std::span<const BandRows> rows) {
    auto bitmap = BitmapContext::createForBands(pixelWidth, pixelHeight, scale);
    if (!bitmap) return {};
    bitmap->translate(-origin.x, -origin.y);
    BitmapBands bands = over(*bitmap, rows);
    if (bands.empty()) return {};
    bands.mOwn = std::move(bitmap);
    return bands;
}

BitmapBands::BitmapBands(BitmapBands&&) noexcept = default;
BitmapBands& BitmapBands::operator=(BitmapBands&& other) noexcept {
    // The bands go before the bitmap they draw into.
    clear();
    mOwn = std::move(other.mOwn);
    mContexts = std::move(other.mContexts);
    mRows = std::move(other.mRows);
    mLeft = std::move(other.mLeft);
    return *this;
}

BitmapBands::~BitmapBands() { clear(); }

bool BitmapBands::end(std::size_t i) {
    mContexts[i].reset();
    return mLeft->fetch_sub(1, std::memory_order_acq_rel) == 1;
}

std::shared_ptr<Image> BitmapBands::takeImage() {
    for (auto& context : mContexts) context.reset();
    return BitmapContext::takeImage(std::move(mOwn));
}

void BitmapBands::clear() {
    mContexts.clear();
    mOwn.reset();
}

}  // namespace platform
