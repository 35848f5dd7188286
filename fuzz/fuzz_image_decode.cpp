// Decodes arbitrary bytes as a layout image (PNG or JPEG) and, when they
// decode, draws the image into a small bitmap as the image painter would.
// A decoded image never has more pixels than the budget, and one reduced
// to fit it is one whose file declared more; the size read from the header
// alone, as a layout shares out its budget, is the size decoding read. A
// decode metered with half its work is cut and gives no image.

#include "fuzz/support/FuzzSupport.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto declared = platform::Image::declaredSize(bytes);
    const auto decoded = platform::Image::decode(bytes, 1.0);
    const auto& image = decoded.image;
    if (!image) return 0;
    fuzzsupport::Require(declared && declared->width == decoded.fileWidth && declared->height == decoded.fileHeight,
                         "a picture that decodes declared the size its decode read");
    const long long pixels = static_cast<long long>(image->pixelWidth()) * image->pixelHeight();
    fuzzsupport::Require(pixels <= platform::Image::kDecodedPixelBudget, "a decoded image is within the budget");
    fuzzsupport::Require(decoded.work >= static_cast<long long>(decoded.fileWidth / 8) * (decoded.fileHeight / 8),
                         "a picture that decodes has its work counted, at least a unit a block");
    platform::DecodeMeter half(decoded.work / 2);
    const auto cut = platform::Image::decode(bytes, 1.0, platform::Image::kDecodedPixelBudget, &half);
    fuzzsupport::Require(!cut.image && cut.cut == platform::ImageDecoding::Cut::workSpent,
                         "a decode its meter cuts gives no image");
    fuzzsupport::Require(
        decoded.overBudget == (image->pixelWidth() < decoded.fileWidth || image->pixelHeight() < decoded.fileHeight),
        "an image is reduced exactly when its file is over the budget");
    auto bitmap = platform::BitmapContext::create(32, 32, 1.0);
    if (!bitmap) return 0;
    bitmap->drawImage(*image, platform::Rect{0, 0, 32, 32}, 1.0);
    return 0;
}
