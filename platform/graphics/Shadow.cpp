#include "platform/graphics/Shadow.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/detail/ImageImpl.h"
#include "platform/graphics/detail/PixelBuffers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {

namespace detail {

namespace {

constexpr int kPasses = 3;

// Box widths (odd) whose three passes come nearest the Gaussian's variance:
// after Kovesi, "Fast almost-Gaussian filtering" (2010), with the variance
// of a box of w pixels taken as (w * w - 1) / 12, as it is on pixels.
std::array<int, kPasses> boxRadii(double sigma) {
    std::array<int, kPasses> radii{};
    if (!(sigma > 0) || !std::isfinite(sigma)) return radii;
    const double variance = 12 * sigma * sigma;
    int lower = static_cast<int>(std::floor(std::sqrt(variance / kPasses + 1)));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    // How many passes take the narrower box.
    const double narrower = (kPasses * (upper * upper - 1.0) - variance) / (upper * upper - lower * lower);
    const int m = std::clamp(static_cast<int>(std::lround(narrower)), 0, kPasses);
    for (int i = 0; i < kPasses; ++i) radii[i] = ((i < m ? lower : upper) - 1) / 2;
    return radii;
}

// Averages of `2 radius + 1` values, rounded, by one multiplication: the
// divisor is the same for a whole pass.
class BoxAverage {
public:
    explicit BoxAverage(int radius)
        : mWidth(2 * static_cast<std::uint64_t>(radius) + 1), mReciprocal(((1ULL << 32) + mWidth - 1) / mWidth) {}
    std::uint16_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint16_t>(((sum + mWidth / 2) * mReciprocal) >> 32);
    }

private:
    std::uint64_t mWidth;
    std::uint64_t mReciprocal;
};

// Rows [first, end) of a plane that hold the same values.
struct EqualRows {
    int first;
    int end;
};

// The runs of two or more equal rows, top to bottom: the middle of a tall
// outline's plane, and its empty margins.
std::vector<EqualRows> equalRows(const std::uint16_t* plane, int width, int height) {
    std::vector<EqualRows> runs;
    const auto bytes = static_cast<std::size_t>(width) * sizeof(std::uint16_t);
    int first = 0;
    for (int y = 1; y <= height; ++y) {
        if (y < height && std::memcmp(plane + static_cast<std::ptrdiff_t>(y) * width,
                                      plane + static_cast<std::ptrdiff_t>(y - 1) * width, bytes) == 0) {
            continue;
        }
        if (y - first >= 2) runs.push_back({first, y});
        first = y;
    }
    return runs;
}

// One box pass along each row, in place, through a copy of the row. A row
// equal to the one above comes out equal to it: copied.
void boxRows(std::uint16_t* plane, int width, int height, int radius, std::vector<std::uint16_t>& row,
             const std::vector<EqualRows>& runs) {
    const BoxAverage average(radius);
    row.resize(static_cast<std::size_t>(width));
    auto run = runs.begin();
    for (int y = 0; y < height; ++y) {
        std::uint16_t* line = plane + static_cast<std::ptrdiff_t>(y) * width;
        while (run != runs.end() && run->end <= y) ++run;
        if (run != runs.end() && run->first < y) {
            std::copy(line - width, line, line);
            continue;
        }
        std::copy(line, line + width, row.begin());
        std::uint32_t sum = 0;
        for (int i = 0; i < std::min(radius, width); ++i) sum += row[i];
        for (int i = 0; i < width; ++i) {
            if (i + radius < width) sum += row[i + radius];
            line[i] = average(sum);
            if (i - radius >= 0) sum -= row[i - radius];
        }
    }
}

// One box pass down each column, walking rows in memory order with a sum
// per column, from a copy of the plane. A row whose rows within reach are
// all equal keeps its values (an average of equal values is the value, as
// BoxAverage rounds): the runs' middles are passed over, and the runs
// shrink by the radius at each end.
void boxColumns(std::uint16_t* plane, int width, int height, int radius, std::vector<std::uint16_t>& copy,
                std::vector<std::uint32_t>& sums, std::vector<EqualRows>& runs) {
    const BoxAverage average(radius);
    copy.assign(plane, plane + static_cast<std::ptrdiff_t>(width) * height);
    const auto rowOf = [&](int y) { return copy.data() + static_cast<std::ptrdiff_t>(y) * width; };
    // The sums of rows [from, to) within the plane.
    const auto sumRows = [&](int from, int to) {
        sums.assign(static_cast<std::size_t>(width), 0);
        for (int y = std::max(from, 0); y < std::min(to, height); ++y) {
            const std::uint16_t* in = rowOf(y);
            for (int x = 0; x < width; ++x) sums[x] += in[x];
        }
    };
    std::vector<EqualRows> kept;
    for (const EqualRows& run : runs) {
        if (run.end - run.first > 2 * radius) kept.push_back({run.first + radius, run.end - radius});
    }
    runs = std::move(kept);
    sumRows(-radius, radius);
    auto run = runs.begin();
    for (int y = 0; y < height; ++y) {
        if (run != runs.end() && run->first == y) {
            y = run->end;
            ++run;
            if (y >= height) break;
            sumRows(y - radius, y + radius);
        }
        if (y + radius < height) {
            const std::uint16_t* in = rowOf(y + radius);
            for (int x = 0; x < width; ++x) sums[x] += in[x];
        }
        std::uint16_t* out = plane + static_cast<std::ptrdiff_t>(y) * width;
        for (int x = 0; x < width; ++x) out[x] = average(sums[x]);
        if (y - radius >= 0) {
            const std::uint16_t* in = rowOf(y - radius);
            for (int x = 0; x < width; ++x) sums[x] -= in[x];
        }
    }
}

}  // namespace

int gaussianReach(double sigma) {
    int reach = 0;
    for (int radius : boxRadii(sigma)) reach += radius;
    return reach;
}

void blurPlane(std::uint16_t* plane, int width, int height, double sigma) {
    std::vector<std::uint16_t> copy;
    std::vector<std::uint32_t> sums;
    std::vector<EqualRows> runs = equalRows(plane, width, height);
    for (int radius : boxRadii(sigma)) {
        if (radius == 0) continue;
        boxRows(plane, width, height, radius, copy, runs);
        boxColumns(plane, width, height, radius, copy, sums, runs);
    }
}

}  // namespace detail

ShadowImage makeShadowImage(const Image& source, double sigma, const Color& color) {
    ShadowImage result;
    if (!std::isfinite(sigma)) sigma = 0;
    const int margin = detail::gaussianReach(sigma);
    cairo_surface_t* from = source.impl().surface;
    const int sourceWidth = cairo_image_surface_get_width(from);
    const int sourceHeight = cairo_image_surface_get_height(from);
    const long long width = sourceWidth + 2LL * margin;
    const long long height = sourceHeight + 2LL * margin;
    if (!detail::bitmapSizeAllowed(width, height)) return result;
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);

    // Alpha scaled to 16 bits, so that six passes do not band.
    std::vector<std::uint16_t> plane(static_cast<std::size_t>(w) * h, 0);
    cairo_surface_flush(from);
    const unsigned char* pixels = cairo_image_surface_get_data(from);
    const int stride = cairo_image_surface_get_stride(from);
    for (int y = 0; y < sourceHeight; ++y) {
        const unsigned char* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint16_t* out = plane.data() + static_cast<std::ptrdiff_t>(y + margin) * w + margin;
        for (int x = 0; x < sourceWidth; ++x) {
            std::uint32_t word = 0;
            std::memcpy(&word, row + 4 * static_cast<std::ptrdiff_t>(x), 4);
            out[x] = static_cast<std::uint16_t>((word >> 24) * 257);
        }
    }
    detail::blurPlane(plane.data(), w, h, sigma);

    cairo_surface_t* surface = detail::newArgbSurface(w, h);
    if (surface == nullptr) return result;
    const auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
    const double alpha = unit(color.alpha);
    const double red = unit(color.red);
    const double green = unit(color.green);
    const double blue = unit(color.blue);
    // One premultiplied pixel per level of alpha.
    std::array<std::uint32_t, 256> tinted{};
    for (std::uint32_t level = 0; level < 256; ++level) {
        const double a = level / 255.0;
        tinted[level] = (level << 24) | (static_cast<std::uint32_t>(std::lround(a * red * 255)) << 16) |
                        (static_cast<std::uint32_t>(std::lround(a * green * 255)) << 8) |
                        static_cast<std::uint32_t>(std::lround(a * blue * 255));
    }
    const std::uint64_t alphaScale = static_cast<std::uint64_t>(std::lround(alpha * 255));
    unsigned char* target = cairo_image_surface_get_data(surface);
    const int targetStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        unsigned char* row = target + static_cast<std::ptrdiff_t>(y) * targetStride;
        const std::uint16_t* in = plane.data() + static_cast<std::ptrdiff_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const auto level = static_cast<std::size_t>((in[x] * alphaScale + 32767) / 65535);
            std::memcpy(row + 4 * static_cast<std::ptrdiff_t>(x), &tinted[level], 4);
        }
    }
    cairo_surface_mark_dirty(surface);
    result.image = std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(surface, source.scale())));
    result.margin = margin;
    return result;
}

namespace {

// The four channels of a pixel side by side, in vector registers.
using Channels = float __attribute__((vector_size(16)));

// Pixels of working memory a thread keeps for the next blur (4 MiB).
constexpr std::size_t kMostKeptBlurPixels = 256 * 1024;

// Box passes over pixels of four channels as blurPlane makes them over one
// (everything outside counts as 0), on floating-point values: one vector
// operation does a pixel's four.
void blurPixels(Channels* plane, int width, int height, double sigma, std::vector<Channels>& copy,
                std::vector<Channels>& sums) {
    const auto w = static_cast<std::size_t>(width);
    for (int radius : detail::boxRadii(sigma)) {
        if (radius == 0) continue;
        const float average = 1.0f / static_cast<float>(2 * radius + 1);
        copy.resize(w);
        for (int y = 0; y < height; ++y) {
            Channels* line = plane + static_cast<std::size_t>(y) * w;
            std::copy(line, line + w, copy.begin());
            Channels sum{};
            for (int i = 0; i < std::min(radius, width); ++i) sum += copy[static_cast<std::size_t>(i)];
            for (int i = 0; i < width; ++i) {
                if (i + radius < width) sum += copy[static_cast<std::size_t>(i + radius)];
                line[i] = sum * average;
                if (i - radius >= 0) sum -= copy[static_cast<std::size_t>(i - radius)];
            }
        }
        copy.assign(plane, plane + w * static_cast<std::size_t>(height));
        sums.assign(w, Channels{});
        const auto rowOf = [&](int y) { return copy.data() + static_cast<std::size_t>(y) * w; };
        for (int y = 0; y < std::min(radius, height); ++y) {
            for (std::size_t x = 0; x < w; ++x) sums[x] += rowOf(y)[x];
        }
        for (int y = 0; y < height; ++y) {
            if (y + radius < height) {
                for (std::size_t x = 0; x < w; ++x) sums[x] += rowOf(y + radius)[x];
            }
            Channels* out = plane + static_cast<std::size_t>(y) * w;
            for (std::size_t x = 0; x < w; ++x) out[x] = sums[x] * average;
            if (y - radius >= 0) {
                for (std::size_t x = 0; x < w; ++x) sums[x] -= rowOf(y - radius)[x];
            }
        }
    }
}

}  // namespace

std::shared_ptr<Image> makeBlurredImage(const Image& source, double sigma) {
    if (!std::isfinite(sigma) || sigma < 0) sigma = 0;
    const int margin = detail::gaussianReach(sigma);
    cairo_surface_t* from = source.impl().surface;
    cairo_surface_flush(from);
    const int sw = cairo_image_surface_get_width(from);
    const int sh = cairo_image_surface_get_height(from);
    const long long width = sw + 2LL * margin;
    const long long height = sh + 2LL * margin;
    if (sw <= 0 || sh <= 0 || !detail::bitmapSizeAllowed(width, height)) return nullptr;
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    const unsigned char* pixels = cairo_image_surface_get_data(from);
    const int stride = cairo_image_surface_get_stride(from);
    cairo_surface_t* surface = detail::newArgbSurface(sw, sh);
    if (surface == nullptr) return nullptr;
    unsigned char* target = cairo_image_surface_get_data(surface);
    const int targetStride = cairo_image_surface_get_stride(surface);
    // Working memory kept on the thread from one blur to the next: fresh
    // pages cost more than the blur of a backdrop's still.
    thread_local std::vector<Channels> plane;
    thread_local std::vector<Channels> copy;
    thread_local std::vector<Channels> sums;
    // The premultiplied pixels padded with their nearest edge; channel c is
    // a word's bits from 8 c.
    plane.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            pixels + static_cast<std::ptrdiff_t>(std::clamp(y - margin, 0, sh - 1)) * stride);
        Channels* out = plane.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t word = row[std::clamp(x - margin, 0, sw - 1)];
            out[x] = Channels{static_cast<float>(word & 0xFF), static_cast<float>((word >> 8) & 0xFF),
                              static_cast<float>((word >> 16) & 0xFF), static_cast<float>(word >> 24)};
        }
    }
    blurPixels(plane.data(), w, h, sigma, copy, sums);
    // Rounded; premultiplied colour may not exceed alpha.
    const auto level = [](float v) { return static_cast<std::uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    for (int y = 0; y < sh; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(target + static_cast<std::ptrdiff_t>(y) * targetStride);
        const Channels* in = plane.data() + static_cast<std::size_t>(y + margin) * static_cast<std::size_t>(w) + margin;
        for (int x = 0; x < sw; ++x) {
            const std::uint32_t a = level(in[x][3]);
            row[x] = (a << 24) | (std::min(level(in[x][2]), a) << 16) | (std::min(level(in[x][1]), a) << 8) |
                     std::min(level(in[x][0]), a);
        }
    }
    if (plane.capacity() > kMostKeptBlurPixels) {
        for (auto* kept : {&plane, &copy, &sums}) std::vector<Channels>().swap(*kept);
    }
    cairo_surface_mark_dirty(surface);
    return std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(surface, source.scale())));
}

namespace {

// Where an output pixel's centre falls between two source pixels: their
// indices and the second one's weight out of 256.
struct Tap {
    int first;
    int second;
    std::uint32_t weight;
};

std::vector<Tap> tapsFor(int outputs, int sources, double cover) {
    std::vector<Tap> taps(static_cast<std::size_t>(outputs));
    const double step = sources / cover;
    for (int i = 0; i < outputs; ++i) {
        const double at = (i + 0.5) * step - 0.5;
        const double below = std::floor(at);
        Tap& tap = taps[static_cast<std::size_t>(i)];
        if (!(at > 0)) {
            tap = {0, 0, 0};
        } else if (below >= sources - 1) {
            tap = {sources - 1, sources - 1, 0};
        } else {
            tap.first = static_cast<int>(below);
            tap.second = tap.first + 1;
            tap.weight = static_cast<std::uint32_t>(std::lround((at - below) * 256));
        }
    }
    return taps;
}

// Two premultiplied pixels mixed, b at `w` out of 256, rounded: two
// channels at a time in 16-bit lanes, where 255 * 256 fits.
std::uint32_t mixPixels(std::uint32_t a, std::uint32_t b, std::uint32_t w) {
    constexpr std::uint32_t kLanes = 0x00FF00FF;
    constexpr std::uint32_t kHalf = 0x00800080;
    const std::uint32_t v = 256 - w;
    const std::uint32_t even = (((a & kLanes) * v + (b & kLanes) * w + kHalf) >> 8) & kLanes;
    const std::uint32_t odd = (((a >> 8) & kLanes) * v + ((b >> 8) & kLanes) * w + kHalf) & ~kLanes;
    return even | odd;
}

// out = (a (256 - w) + b w) / 256, rounded, byte by byte: sixteen bytes at
// a time in vector registers.
void mixRows(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t w, std::uint8_t* out, std::size_t count) {
    using Bytes = std::uint8_t __attribute__((vector_size(16)));
    using Wide = std::uint16_t __attribute__((vector_size(32)));
    const auto v = static_cast<std::uint16_t>(256 - w);
    const auto u = static_cast<std::uint16_t>(w);
    std::size_t i = 0;
    for (; i + sizeof(Bytes) <= count; i += sizeof(Bytes)) {
        Bytes x;
        Bytes y;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        const Wide mixed = (__builtin_convertvector(x, Wide) * v + __builtin_convertvector(y, Wide) * u + 128) >> 8;
        const Bytes result = __builtin_convertvector(mixed, Bytes);
        std::memcpy(out + i, &result, sizeof result);
    }
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>((a[i] * v + b[i] * u + 128) >> 8);
}

}  // namespace

std::shared_ptr<Image> makeTintedEnlargement(const Image& source, int width, int height, Size cover, double scale,
                                             const Color& tint) {
    cairo_surface_t* from = source.impl().surface;
    cairo_surface_flush(from);
    const int sw = cairo_image_surface_get_width(from);
    const int sh = cairo_image_surface_get_height(from);
    if (sw <= 0 || sh <= 0 || width <= 0 || height <= 0 || !detail::bitmapSizeAllowed(width, height) ||
        !(cover.width > 0) || !(cover.height > 0) || !std::isfinite(cover.width) || !std::isfinite(cover.height)) {
        return nullptr;
    }
    // Every pixel is written below: no clearing.
    cairo_surface_t* surface =
        detail::PixelBuffers::shared().surface(width, height, detail::PixelBuffers::Clearing::none).surface;
    if (surface == nullptr) return nullptr;
    cairo_surface_flush(surface);

    // The tint is laid over the source's few pixels: over a constant
    // colour commutes with mixing pixels, up to rounding.
    const auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
    const double alpha = unit(tint.alpha);
    const double channels[] = {unit(tint.blue), unit(tint.green), unit(tint.red), 1.0};  // by shift / 8
    std::array<std::array<std::uint8_t, 256>, 4> over{};
    for (std::size_t c = 0; c < 4; ++c) {
        for (int level = 0; level < 256; ++level) {
            over[c][static_cast<std::size_t>(level)] =
                static_cast<std::uint8_t>(std::lround(channels[c] * alpha * 255 + level * (1 - alpha)));
        }
    }
    std::vector<std::uint32_t> tinted(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh));
    const unsigned char* pixels = cairo_image_surface_get_data(from);
    const int stride = cairo_image_surface_get_stride(from);
    for (int y = 0; y < sh; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        std::uint32_t* out = tinted.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(sw);
        for (int x = 0; x < sw; ++x) {
            std::uint32_t p = 0;
            for (std::size_t c = 0; c < 4; ++c) p |= std::uint32_t{over[c][(in[x] >> (8 * c)) & 0xFF]} << (8 * c);
            out[x] = p;
        }
    }

    unsigned char* target = cairo_image_surface_get_data(surface);
    const int targetStride = cairo_image_surface_get_stride(surface);
    const std::vector<Tap> columns = tapsFor(width, sw, cover.width);
    const std::vector<Tap> rows = tapsFor(height, sh, cover.height);
    const auto across = [&](int sourceRow, std::uint32_t* out) {
        const std::uint32_t* in = tinted.data() + static_cast<std::size_t>(sourceRow) * static_cast<std::size_t>(sw);
        for (int x = 0; x < width; ++x) {
            const Tap& tap = columns[static_cast<std::size_t>(x)];
            out[x] = mixPixels(in[tap.first], in[tap.second], tap.weight);
        }
    };
    const int bands = std::clamp(height / 64, 1, 8);
    DispatchQueue::concurrentPerform(static_cast<std::size_t>(bands), [&](std::size_t band) {
        const int top = static_cast<int>(static_cast<long long>(height) * static_cast<long long>(band) / bands);
        const int bottom = static_cast<int>(static_cast<long long>(height) * static_cast<long long>(band + 1) / bands);
        // The two source rows last stretched across, kept for the output
        // rows between them.
        std::vector<std::uint32_t> upper(static_cast<std::size_t>(width));
        std::vector<std::uint32_t> lower(static_cast<std::size_t>(width));
        int upperRow = -1;
        int lowerRow = -1;
        for (int y = top; y < bottom; ++y) {
            const Tap& tap = rows[static_cast<std::size_t>(y)];
            if (upperRow != tap.first) {
                if (lowerRow == tap.first) {
                    std::swap(upper, lower);
                    std::swap(upperRow, lowerRow);
                } else {
                    across(tap.first, upper.data());
                    upperRow = tap.first;
                }
            }
            if (lowerRow != tap.second) {
                across(tap.second, lower.data());
                lowerRow = tap.second;
            }
            mixRows(reinterpret_cast<const std::uint8_t*>(upper.data()),
                    reinterpret_cast<const std::uint8_t*>(lower.data()), tap.weight,
                    target + static_cast<std::ptrdiff_t>(y) * targetStride, 4 * static_cast<std::size_t>(width));
        }
    });
    cairo_surface_mark_dirty(surface);
    return std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(surface, scale)));
}

}  // namespace platform
