#include "LayoutModule/Experiments/VKMImageFilters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace VKMImageFilters {

namespace {

std::uint8_t byte(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

double luminance(const platform::Pixel& p) {
    // Over white, so clear pixels read as paper.
    const double a = p.alpha / 255.0;
    const double r = p.red / 255.0 * a + (1 - a);
    const double g = p.green / 255.0 * a + (1 - a);
    const double b = p.blue / 255.0 * a + (1 - a);
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

// A plane of doubles with clamped reads.
struct tPlane {
    int width = 0;
    int height = 0;
    std::vector<double> values;
    double at(int x, int y) const {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return values[static_cast<std::size_t>(y) * width + x];
    }
};

tPlane luminancePlane(const tBitmap& input) {
    tPlane plane{input.width, input.height, std::vector<double>(input.pixels.size())};
    for (std::size_t i = 0; i < input.pixels.size(); ++i) plane.values[i] = luminance(input.pixels[i]);
    return plane;
}

tPlane boxMean3(const tPlane& plane) {
    tPlane out{plane.width, plane.height, std::vector<double>(plane.values.size())};
    for (int y = 0; y < plane.height; ++y) {
        for (int x = 0; x < plane.width; ++x) {
            double sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += plane.at(x + dx, y + dy);
            out.values[static_cast<std::size_t>(y) * plane.width + x] = sum / 9;
        }
    }
    return out;
}

double sobel(const tPlane& p, int x, int y) {
    const double gx = (p.at(x + 1, y - 1) + 2 * p.at(x + 1, y) + p.at(x + 1, y + 1)) -
                      (p.at(x - 1, y - 1) + 2 * p.at(x - 1, y) + p.at(x - 1, y + 1));
    const double gy = (p.at(x - 1, y + 1) + 2 * p.at(x, y + 1) + p.at(x + 1, y + 1)) -
                      (p.at(x - 1, y - 1) + 2 * p.at(x, y - 1) + p.at(x + 1, y - 1));
    return std::hypot(gx, gy) / 4;  // 1 for a full step
}

tBitmap sameShape(const tBitmap& input) {
    tBitmap out;
    out.width = input.width;
    out.height = input.height;
    out.scale = input.scale;
    out.pixels.resize(input.pixels.size());
    return out;
}

}  // namespace

tBitmap bitmapFromImage(const platform::Image& image) {
    tBitmap bitmap;
    bitmap.width = image.pixelWidth();
    bitmap.height = image.pixelHeight();
    bitmap.scale = image.scale();
    bitmap.pixels.reserve(static_cast<std::size_t>(bitmap.width) * std::max(bitmap.height, 0));
    const platform::Image::PixelRows rows = image.premultipliedRows();
    for (int y = 0; y < bitmap.height; ++y) {
        const auto* words =
            reinterpret_cast<const std::uint32_t*>(rows.data + static_cast<std::size_t>(y) * rows.bytesPerRow);
        for (int x = 0; x < bitmap.width; ++x) {
            const std::uint32_t w = words[x];
            const std::uint8_t a = w >> 24;
            auto unpremultiply = [a](std::uint32_t c) -> std::uint8_t { return a == 0 ? 0 : byte(c * 255.0 / a); };
            bitmap.pixels.push_back(
                {unpremultiply((w >> 16) & 0xFF), unpremultiply((w >> 8) & 0xFF), unpremultiply(w & 0xFF), a});
        }
    }
    return bitmap;
}

std::shared_ptr<platform::Image> imageFromBitmap(const tBitmap& bitmap) {
    if (bitmap.empty()) return nullptr;
    return platform::Image::fromPixels(bitmap.width, bitmap.height, bitmap.pixels, bitmap.scale);
}

tBitmap motionBlur(const tBitmap& input, double radius, double angleDegrees) {
    if (input.empty()) return {};
    tBitmap out = sameShape(input);
    const double angle = angleDegrees * std::numbers::pi / 180;
    const double dx = std::cos(angle);
    const double dy = -std::sin(angle);
    const int steps = std::max(1, static_cast<int>(std::ceil(radius)));
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            // Premultiplied sums, so clear samples add no colour.
            double r = 0, g = 0, b = 0, a = 0;
            int n = 0;
            for (int s = -steps; s <= steps; ++s) {
                const double t = radius * s / steps;
                const int sx = std::clamp(static_cast<int>(std::lround(x + t * dx)), 0, input.width - 1);
                const int sy = std::clamp(static_cast<int>(std::lround(y + t * dy)), 0, input.height - 1);
                const platform::Pixel& p = input.at(sx, sy);
                const double pa = p.alpha / 255.0;
                r += p.red * pa, g += p.green * pa, b += p.blue * pa, a += pa;
                ++n;
            }
            platform::Pixel& o = out.pixels[static_cast<std::size_t>(y) * out.width + x];
            o = a > 0 ? platform::Pixel{byte(r / a), byte(g / a), byte(b / a), byte(a / n * 255)}
                      : platform::Pixel{0, 0, 0, 0};
        }
    }
    return out;
}

tBitmap lineOverlay(const tBitmap& input, double noiseLevel, double sharpness, double edgeIntensity, double threshold,
                    double contrast) {
    if (input.empty()) return {};
    const tPlane lum = luminancePlane(input);
    const tPlane mean = boxMean3(lum);
    // Detail below the noise level goes; what stays is sharpened.
    tPlane clean = mean;
    for (std::size_t i = 0; i < clean.values.size(); ++i) {
        const double detail = lum.values[i] - mean.values[i];
        if (std::fabs(detail) >= noiseLevel * 0.1) clean.values[i] = mean.values[i] + (1 + sharpness) * detail;
    }
    tBitmap out = sameShape(input);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const double edge = sobel(clean, x, y) * edgeIntensity;
            out.pixels[static_cast<std::size_t>(y) * out.width + x] = {0, 0, 0,
                                                                       byte((edge - threshold) * contrast * 255)};
        }
    }
    return out;
}

tBitmap constantColor(int width, int height, double scale, platform::Pixel color) {
    if (width <= 0 || height <= 0) return {};
    return {width, height, scale, std::vector<platform::Pixel>(static_cast<std::size_t>(width) * height, color)};
}

tBitmap sourceOver(const tBitmap& source, const tBitmap& background) {
    if (source.empty() || source.width != background.width || source.height != background.height) return {};
    tBitmap out = sameShape(background);
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        const platform::Pixel& s = source.pixels[i];
        const platform::Pixel& d = background.pixels[i];
        const double sa = s.alpha / 255.0;
        const double da = d.alpha / 255.0;
        const double a = sa + da * (1 - sa);
        auto channel = [&](double sc, double dc) { return a > 0 ? (sc * sa + dc * da * (1 - sa)) / a : 0.0; };
        out.pixels[i] = {byte(channel(s.red, d.red)), byte(channel(s.green, d.green)), byte(channel(s.blue, d.blue)),
                         byte(a * 255)};
    }
    return out;
}

tBitmap comicEffect(const tBitmap& input) {
    if (input.empty()) return {};
    const tPlane lum = luminancePlane(input);
    tBitmap out = sameShape(input);
    auto band = [](std::uint8_t c) { return byte(std::round(c / 255.0 * 3) * 85); };
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const platform::Pixel& p = input.at(x, y);
            const double ink = std::clamp((sobel(lum, x, y) - 0.2) * 4, 0.0, 1.0);
            auto inked = [ink](std::uint8_t c) { return byte(c * (1 - ink)); };
            // Flattened over white, so the result is opaque.
            const double a = p.alpha / 255.0;
            auto flat = [&](std::uint8_t c) { return band(byte(c * a + 255 * (1 - a))); };
            out.pixels[static_cast<std::size_t>(y) * out.width + x] = {inked(flat(p.red)), inked(flat(p.green)),
                                                                       inked(flat(p.blue)), 255};
        }
    }
    return out;
}

}  // namespace VKMImageFilters
