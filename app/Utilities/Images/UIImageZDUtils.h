#pragma once
// Small image operations of the screens: upright images, grey scale,
// square and circular crops, scaling and one pixel's colour. Each returns a
// new image (or the same one, or none) and leaves its argument alone.
// Main thread only.

#include <memory>
#include <optional>

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"

namespace UIImageZDUtils {

// Our images are always upright: the image itself.
std::shared_ptr<platform::Image> normalizedImage(const std::shared_ptr<platform::Image>& image);

// Opaque grey levels of the image drawn over black at its size in points
// (truncated), scale 1. None for an image less than a point wide or high.
std::shared_ptr<platform::Image> grayscaleImage(const platform::Image& image);

// The centred square whose side is the shorter side.
std::shared_ptr<platform::Image> cropToSquare(const platform::Image& image);
// The centred rectangle of that size in points, cut out at the image's
// scale (pixels wholly or partly inside it, within the image). None when
// nothing of the image is left.
std::shared_ptr<platform::Image> imageCroppedToFitSize(const platform::Image& image, platform::Size size);
// The image's size and scale, the whole image squeezed into the square of
// the shorter side at the top-left and clipped to the circle in it;
// transparent elsewhere.
std::shared_ptr<platform::Image> cropToCircle(const platform::Image& image);
// The image drawn at that size at the main screen's scale.
std::shared_ptr<platform::Image> scaleImageToSize(const platform::Image& image, platform::Size size);

// The colour of the point (in points, truncated to whole points), not
// premultiplied; none outside (0, 0, width, height).
std::optional<platform::Color> colorAtPixel(const platform::Image& image, platform::Point point);

}  // namespace UIImageZDUtils
