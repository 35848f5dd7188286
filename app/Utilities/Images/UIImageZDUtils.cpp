#include "app/Utilities/Images/UIImageZDUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Screen.h"

namespace UIImageZDUtils {

namespace {

// The luminance weights of a grey bitmap.
std::uint8_t greyLevel(std::uint32_t argb) {
    const double level = 0.299 * ((argb >> 16) & 0xFF) + 0.587 * ((argb >> 8) & 0xFF) + 0.114 * (argb & 0xFF);
    return static_cast<std::uint8_t>(std::min(255.0, std::round(level)));
}

}  // namespace

std::shared_ptr<platform::Image> normalizedImage(const std::shared_ptr<platform::Image>& image) { return image; }

std::shared_ptr<platform::Image> grayscaleImage(const platform::Image& image) {
    const platform::Size size = image.size();
    const int width = static_cast<int>(size.width);
    const int height = static_cast<int>(size.height);
    auto bitmap = platform::BitmapContext::create(width, height);
    if (!bitmap) return nullptr;
    // No alpha: what is transparent shows the black beneath.
    bitmap->fillRect({0, 0, static_cast<double>(width), static_cast<double>(height)});
    bitmap->drawImage(image, {0, 0, static_cast<double>(width), static_cast<double>(height)});
    const auto drawn = bitmap->makeImage();
    if (!drawn) return nullptr;
    const platform::Image::PixelRows rows = drawn->premultipliedRows();
    std::vector<platform::Pixel> grey(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t word = 0;
            std::memcpy(&word, rows.data + static_cast<std::size_t>(y) * rows.bytesPerRow + 4 * std::size_t(x), 4);
            const std::uint8_t level = greyLevel(word);
            grey[static_cast<std::size_t>(y) * width + x] = {level, level, level, 255};
        }
    }
    return platform::Image::fromPixels(width, height, grey);
}

std::shared_ptr<platform::Image> cropToSquare(const platform::Image& image) {
    const platform::Size size = image.size();
    const double side = std::min(size.width, size.height);
    return imageCroppedToFitSize(image, {side, side});
}

std::shared_ptr<platform::Image> imageCroppedToFitSize(const platform::Image& image, platform::Size size) {
    const platform::Size full = image.size();
    const double scale = image.scale();
    // In pixels at the image's scale, widened to whole pixels and kept
    // within the image.
    const double x = (full.width - size.width) / 2 * scale;
    const double y = (full.height - size.height) / 2 * scale;
    const double left = std::max(0.0, std::floor(x));
    const double top = std::max(0.0, std::floor(y));
    const double right = std::min(static_cast<double>(image.pixelWidth()), std::ceil(x + size.width * scale));
    const double bottom = std::min(static_cast<double>(image.pixelHeight()), std::ceil(y + size.height * scale));
    if (!(right > left && bottom > top)) return nullptr;
    auto bitmap =
        platform::BitmapContext::create(static_cast<int>(right - left), static_cast<int>(bottom - top), scale);
    if (!bitmap) return nullptr;
    // Whole pixels apart, so the pixels are copied, not resampled.
    bitmap->drawImage(image, {-left / scale, -top / scale, full.width, full.height});
    return bitmap->makeImage();
}

std::shared_ptr<platform::Image> cropToCircle(const platform::Image& image) {
    const platform::Size size = image.size();
    const double side = std::min(size.width, size.height);
    auto bitmap = platform::BitmapContext::create(image.pixelWidth(), image.pixelHeight(), image.scale());
    if (!bitmap) return nullptr;
    bitmap->beginPath();
    bitmap->addEllipseInRect({0, 0, side, side});
    bitmap->clip();
    bitmap->drawImage(image, {0, 0, side, side});
    return bitmap->makeImage();
}

std::shared_ptr<platform::Image> scaleImageToSize(const platform::Image& image, platform::Size size) {
    auto bitmap = platform::BitmapContext::createForPointSize(size, platform::ui::Screen::mainScreen()->scale());
    if (!bitmap) return nullptr;
    bitmap->drawImage(image, {0, 0, size.width, size.height});
    return bitmap->makeImage();
}

std::optional<platform::Color> colorAtPixel(const platform::Image& image, platform::Point point) {
    const platform::Size size = image.size();
    if (!(point.x >= 0 && point.x < size.width && point.y >= 0 && point.y < size.height)) return std::nullopt;
    auto bitmap = platform::BitmapContext::create(1, 1);
    if (!bitmap) return std::nullopt;
    bitmap->translate(-std::trunc(point.x), -std::trunc(point.y));
    bitmap->drawImage(image, {0, 0, size.width, size.height});
    const std::optional<platform::Pixel> pixel = bitmap->pixel(0, 0);
    if (!pixel) return std::nullopt;
    return platform::Color{pixel->red / 255.0, pixel->green / 255.0, pixel->blue / 255.0, pixel->alpha / 255.0};
}

}  // namespace UIImageZDUtils
