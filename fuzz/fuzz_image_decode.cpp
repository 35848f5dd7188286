// Decodes arbitrary bytes as a layout image (PNG or JPEG) and, when they
// decode, draws the image into a small bitmap as the image painter would.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto image = platform::Image::fromData(std::span<const std::uint8_t>(data, size), 1.0);
    if (!image) return 0;
    auto bitmap = platform::BitmapContext::create(32, 32, 1.0);
    if (!bitmap) return 0;
    bitmap->drawImage(*image, platform::Rect{0, 0, 32, 32}, 1.0);
    return 0;
}
