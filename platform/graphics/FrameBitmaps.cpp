#include "platform/graphics/FrameBitmaps.h"

#include "platform/graphics/detail/PixelBuffers.h"

#include <limits>

namespace platform {

FrameBitmaps::FrameBitmaps()
    : mSpares(detail::PixelBuffers::make({0, kMostSpare, std::numeric_limits<std::size_t>::max()})) {}

FrameBitmaps::~FrameBitmaps() = default;

std::unique_ptr<BitmapContext> FrameBitmaps::context(Size pointSize, double scale) {
    // What opaque images cover of a frame is never cleared.
    return BitmapContext::createForPointSize(*mSpares, true, pointSize, scale);
}

std::shared_ptr<Image> FrameBitmaps::image(std::unique_ptr<BitmapContext> context) {
    // The pixels come back when the last holder lets go.
    return BitmapContext::takeImage(std::move(context));
}

}  // namespace platform
