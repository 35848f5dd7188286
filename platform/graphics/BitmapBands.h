#pragma once
// A bitmap drawn in bands of rows at once, one thread a band: the contexts
// on the bands' rows, made before the work, and the count of bands still
// drawing, so that whoever ends the last one knows the bitmap is whole.
// The compositor's frames and large rasters and the layout view's tiles
// are drawn this way.
//
// Threads: make the bands on one thread; then each band is drawn and
// ended (`end`) by one thread, any one; `end` of different bands may run
// at once. `takeImage` and `clear` run once no band is being drawn.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace platform {

// Rows [first, end) of a bitmap.
struct BandRows {
    int first;
    int end;
    friend bool operator==(const BandRows&, const BandRows&) = default;
};

// `count` bands of `height` rows, top to bottom, as even as whole rows
// allow; at least one and no more than `height` (none for no rows).
std::vector<BandRows> evenBands(int height, int count);

class BitmapBands {
public:
    // Bands of the caller's `bitmap` on `rows`, each starting with its
    // transform. The bitmap must outlive them and draw nothing while one is
    // left. None at all (`empty`) when one could not be made: a clip set,
    // a transparency layer open, rows outside the bitmap.
    static BitmapBands over(BitmapContext& bitmap, std::span<const BandRows> rows);
    // A bitmap of its own for bands (each clears its own rows), the point
    // `origin` of user space at its top-left corner, in bands on `rows`.
    // Empty when the bitmap or a band could not be made.
    static BitmapBands make(int pixelWidth, int pixelHeight, double scale, Point origin,
                            std::span<const BandRows> rows);

    BitmapBands() = default;
    BitmapBands(BitmapBands&&) noexcept;
    BitmapBands& operator=(BitmapBands&&) noexcept;
    ~BitmapBands();

    bool empty() const { return mContexts.empty(); }
    std::size_t size() const { return mContexts.size(); }
    // Band i's context, until it ends.
    BitmapContext& operator[](std::size_t i) { return *mContexts[i]; }
    std::span<const BandRows> rows() const { return mRows; }
    // The contexts, for whoever draws and lets each go by itself
    // (ui::replayInBands); a band let go that way counts as ended only
    // through `end`.
    std::span<std::unique_ptr<BitmapContext>> contexts() { return mContexts; }

    // Band i is drawn: its context goes (clearing what it left of its rows
    // uncleared). True for the band that ends last, once each has ended
    // once.
    bool end(std::size_t i);
    // The bitmap's pixels as an image, taken over rather than copied, once
    // no band is drawn (those left go first); null for bands over the
    // caller's bitmap, and after the first call.
    std::shared_ptr<Image> takeImage();
    // Lets every band go (and the bitmap, when its own).
    void clear();

private:
    std::unique_ptr<BitmapContext> mOwn;
    std::vector<std::unique_ptr<BitmapContext>> mContexts;
    std::vector<BandRows> mRows;
    // Behind a pointer so that the bands move.
    std::unique_ptr<std::atomic<std::size_t>> mLeft;
};

}  // namespace platform
