#pragma once
// A context drawing into a bitmap in memory (32-bit ARGB, transparent at the
// start). User space is in points: one point is `scale` pixels.

#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"

#include <memory>
#include <optional>

namespace platform {

namespace detail {
class PixelBuffers;
}

class BitmapContext : public Context {
public:
    // None when a side is not positive or the bitmap is larger than an image
    // may be (16384 pixels a side, 256 Mi pixels), or the scale is not
    // positive and finite.
    static std::unique_ptr<BitmapContext> create(int pixelWidth, int pixelHeight, double scale = 1);
    // A bitmap covering `pointSize` at `scale`, each side rounded up to whole
    // pixels.
    static std::unique_ptr<BitmapContext> createForPointSize(Size pointSize, double scale = 1);
    // As `create`, for a bitmap drawn through its bands: a band clears its
    // own rows as it draws, on its own thread, rather than this clearing
    // them all at once.
    static std::unique_ptr<BitmapContext> createForBands(int pixelWidth, int pixelHeight, double scale = 1);

    int pixelWidth() const;
    int pixelHeight() const;
    double contentScale() const;  // pixels per point

    // The pixel at column x, row y from the top-left; none outside.
    std::optional<Pixel> pixel(int x, int y) const;
    // A copy of what has been drawn so far, with this context's scale.
    std::shared_ptr<Image> makeImage() const;
    // What `context` drew, as an image that takes over its pixels instead
    // of copying them; null for a null context.
    static std::shared_ptr<Image> takeImage(std::unique_ptr<BitmapContext> context);

    // A context on rows [firstRow, endRow) of this bitmap's pixels, shared
    // rather than copied, so that bands can be drawn on several threads at
    // once. It starts with this context's transform (moved up by
    // `firstRow`), colours, alpha and sampling, and no clip; what was still
    // to be cleared in its rows is cleared by it, at the latest when it is
    // destroyed. This context must draw nothing while a band of it exists.
    // None for rows outside the bitmap, or while a clip is set or a
    // transparency layer is open.
    std::unique_ptr<BitmapContext> band(int firstRow, int endRow);

private:
    friend class FrameBitmaps;
    BitmapContext(std::unique_ptr<detail::ContextImpl> impl, double scale);
    // As the public ones, over pixels from `buffers`; kept pixels are
    // cleared as they are drawn when `lazily`.
    static std::unique_ptr<BitmapContext> create(detail::PixelBuffers& buffers, bool lazily, int pixelWidth,
                                                 int pixelHeight, double scale);
    static std::unique_ptr<BitmapContext> createForPointSize(detail::PixelBuffers& buffers, bool lazily, Size pointSize,
                                                             double scale);
    double mScale;
};

}  // namespace platform
