#pragma once
// Image filters of our own for the pencil-drawing experiment: a motion
// blur, a line overlay (edges as dark lines on transparency), a constant
// colour, source-over compositing and a comic effect (flat colour bands with
// inked edges). They work on straight (not premultiplied) RGBA bitmaps of
// one size each and keep that size; edges are extended, not faded. Pure
// functions, safe on any thread.

#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/Image.h"

namespace VKMImageFilters {

struct tBitmap {
    int width = 0;
    int height = 0;
    double scale = 1;
    std::vector<platform::Pixel> pixels;  // row after row from the top-left

    bool empty() const { return width <= 0 || height <= 0; }
    const platform::Pixel& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

tBitmap bitmapFromImage(const platform::Image& image);
// Null for an empty bitmap.
std::shared_ptr<platform::Image> imageFromBitmap(const tBitmap& bitmap);

// Each pixel the mean of samples along a line through it, `radius` pixels
// to either side, at `angleDegrees` from the x axis (counter-clockwise, as
// y grows downwards on screen: up and to the right for 45). Empty in,
// empty out.
tBitmap motionBlur(const tBitmap& input, double radius, double angleDegrees);

// The luminance's edges as black lines: detail smaller than `noiseLevel`
// (0 to 1, of the local contrast) is smoothed away first and what is left
// sharpened by `sharpness`; the Sobel gradient times `edgeIntensity`, less
// `threshold`, times `contrast` gives each pixel's alpha. Elsewhere clear.
tBitmap lineOverlay(const tBitmap& input, double noiseLevel, double sharpness, double edgeIntensity = 1.0,
                    double threshold = 0.1, double contrast = 50.0);

tBitmap constantColor(int width, int height, double scale, platform::Pixel color);

// `source` over `background` (the background's size; both must match, else
// empty).
tBitmap sourceOver(const tBitmap& source, const tBitmap& background);

// Colours flattened to four levels a channel with the luminance's strong
// edges inked black; opaque.
tBitmap comicEffect(const tBitmap& input);

}  // namespace VKMImageFilters
