#pragma once
// Soft shadows on bitmaps: the alpha of an image blurred by an approximate
// Gaussian and tinted. Three box blurs whose widths are chosen for the
// standard deviation stand in for the Gaussian (within a few percent of it),
// at a cost that does not grow with the blur.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"

#include <cstdint>
#include <memory>

namespace platform {

struct ShadowImage {
    // Premultiplied `color` times the blurred alpha, with the source's
    // scale; null when the result would be larger than an image may be.
    std::shared_ptr<Image> image;
    // Pixels added on every side of the source, so that nothing of the blur
    // is cut: the shadow of a source drawn at (x, y) starts at x - margin,
    // y - margin (in pixels). 0 without blur.
    int margin = 0;
};

// `sigma` is the Gaussian's standard deviation in pixels; 0 or less (or not
// finite) gives the tinted alpha unblurred.
ShadowImage makeShadowImage(const Image& source, double sigma, const Color& color);

// The image blurred by the same approximate Gaussian, colour and alpha
// alike, its edges extended (not faded to transparency), as a backdrop
// blur wants; null when the image is too large to pad.
std::shared_ptr<Image> makeBlurredImage(const Image& source, double sigma);

// `source` stretched over an image of `width` x `height` pixels at `scale`
// pixels a point, with `tint` laid over it: the source's pixels span
// `cover` (in the result's pixels, from its top-left), sampled bilinearly
// between pixel centres with the edges extended, as an image drawn larger
// with the good filter is. Rows are made on several threads, straight into
// the result (a blurred backdrop kept at the screen's pixels). Null when
// the size is not allowed.
std::shared_ptr<Image> makeTintedEnlargement(const Image& source, int width, int height, Size cover, double scale,
                                             const Color& tint);

namespace detail {

// How far three box blurs for `sigma` reach beyond a pixel, in pixels.
int gaussianReach(double sigma);

// Blurs a plane of 16-bit values in place (`width` * `height`, rows packed),
// treating everything outside it as 0. Values stay within 0 to 65535.
void blurPlane(std::uint16_t* plane, int width, int height, double sigma);

}  // namespace detail

}  // namespace platform
