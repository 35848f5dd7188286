#pragma once
// Private to platform/graphics: what a Context keeps behind its pointer.

#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/detail/ImageImpl.h"

#include <cairo.h>
#include <pixman.h>

#include <optional>
#include <vector>

namespace platform::detail {

// Whole device pixels: x0 <= x < x1, y0 <= y < y1.
struct PixelRect {
    int x0, y0, x1, y1;
};

// The part of the graphics state that Cairo does not keep for us. Saved and
// restored together with Cairo's own state.
struct ExtraState {
    Color fillColor{0, 0, 0, 1};
    Color strokeColor{0, 0, 0, 1};
    double alpha = 1;
    InterpolationQuality interpolation = InterpolationQuality::defaultQuality;
    // Set when a transform made user space collapse (or stop being finite):
    // Cairo refuses such a matrix for good, so we keep it here and draw
    // nothing until the state that made it is restored.
    bool degenerate = false;
    // A clip was set (bands of a bitmap do not carry one over).
    bool clipped = false;
    // The clip, when it is one rectangle of whole pixels of the bitmap.
    std::optional<PixelRect> clipPixels;
    // A clip was set that is not a rectangle upright in device space.
    bool clippedToPath = false;
    // The clip in device pixels while every clip set was a rectangle
    // upright there; none when not clipped or when one was not.
    std::optional<Rect> clipDevice;
    AffineTransform degenerateTransform;
};

struct ContextImpl {
    // Takes a reference on the surface.
    explicit ContextImpl(cairo_surface_t* surface);
    ~ContextImpl();
    ContextImpl(const ContextImpl&) = delete;
    ContextImpl& operator=(const ContextImpl&) = delete;

    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    // The surface's pixels when it is an ARGB32 image, and an image of them
    // for copying pixels onto them (made on first use).
    std::optional<ArgbPixels> pixels;
    pixman_image_t* pixelImage = nullptr;
    ExtraState state;
    std::vector<ExtraState> saved;

    // An open transparency layer: the depth of `saved` just after its begin,
    // and the alpha it is composited with at its end.
    struct TransparencyLayer {
        std::size_t depth;
        double alpha;
    };
    std::vector<TransparencyLayer> layers;

    // A reused bitmap is cleared to transparency lazily: these pixel
    // rectangles of it are still to be cleared before anything reads them
    // or draws there, so what opaque images cover is never cleared.
    using PixelRect = detail::PixelRect;
    mutable std::vector<PixelRect> uncleared;
    // Clears what is left to clear.
    void clearUncleared() const;
    // Set on a band of another bitmap: nobody takes its pixels, so it clears
    // what is left when it is destroyed.
    bool clearsWhenDestroyed = false;
    // Every pixel of `r` was replaced by an opaque drawing.
    void covered(const PixelRect& r);
};

// Sets a colour as Cairo's source: components clamped to 0 to 1 (not a
// number is 0), the colour's alpha times `alpha`.
void setSourceColor(cairo_t* cr, const Color& color, double alpha);

}  // namespace platform::detail
