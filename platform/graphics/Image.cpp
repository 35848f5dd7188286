#include "platform/graphics/Image.h"

#include "platform/graphics/detail/ImageImpl.h"
#include "platform/graphics/detail/ImageDecoders.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace platform {

namespace detail {

bool bitmapSizeAllowed(long long width, long long height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           width * height <= kMaxBitmapPixels;
}

std::optional<Pixel> pixelOf(cairo_surface_t* surface, int x, int y) {
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) || y >= cairo_image_surface_get_height(surface))
        return std::nullopt;
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + static_cast<std::size_t>(y) * cairo_image_surface_get_stride(surface);
    std::uint32_t word = 0;
    std::memcpy(&word, row + 4 * static_cast<std::size_t>(x), 4);
    const unsigned a = word >> 24;
    if (a == 0) return Pixel{};
    const auto unpremultiply = [a](unsigned v) {
        return static_cast<std::uint8_t>(std::min(255u, (v * 255 + a / 2) / a));
    };
    return Pixel{unpremultiply((word >> 16) & 0xFF), unpremultiply((word >> 8) & 0xFF), unpremultiply(word & 0xFF),
                 static_cast<std::uint8_t>(a)};
}

namespace {

// Bitmaps of some megabytes lie on 2 MiB pages where the system gives them
// (transparent huge pages on request), those of their 2 MiB ranges that
// they cover whole: on a virtual machine each fault of a 4 KiB page cost
// some tens of microseconds, and the 16,384 of a 64 MiB picture took a
// third of its decode. Allocated as any other, not aligned, so that no
// padding is held.
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
constexpr std::size_t kOnLargePagesFrom = std::size_t{4} << 20;
const cairo_user_data_key_t kLargePagesKey{};

struct OnLargePages {
    void* data;
    void* first;  // of the large pages asked for
    std::size_t bytes;
};

// The range goes back as any other: its later tenants are not given large
// pages they did not ask for.
void freeLargePages(void* held) {
    const auto* pages = static_cast<OnLargePages*>(held);
    if (pages->bytes > 0) madvise(pages->first, pages->bytes, MADV_NOHUGEPAGE);
    std::free(pages->data);
    delete pages;
}

cairo_surface_t* newArgbSurfaceOnLargePages(int width, int height, int stride, std::size_t bytes) {
    void* data = std::malloc(bytes);
    if (data == nullptr) return nullptr;
    const auto from = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (from + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (from + bytes) & ~(kLargePage - 1);
    auto* pages = new OnLargePages{data, reinterpret_cast<void*>(first), end > first ? end - first : 0};
    // Refused where the system has none: small pages serve.
    if (pages->bytes > 0 && madvise(pages->first, pages->bytes, MADV_HUGEPAGE) != 0) pages->bytes = 0;
    // Cleared after the advice, so that its first touch is on large pages.
    std::memset(data, 0, bytes);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data),
                                                                   CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(surface, &kLargePagesKey, pages, freeLargePages) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        freeLargePages(pages);
        return nullptr;
    }
    return surface;
}

}  // namespace

cairo_surface_t* newArgbSurface(int width, int height) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (stride > 0 && height > 0) {
        const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
        if (bytes >= kOnLargePagesFrom) return newArgbSurfaceOnLargePages(width, height, stride, bytes);
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    return surface;
}

cairo_surface_t* surfaceWithin(cairo_surface_t* whole, int x, int y, int width, int height) {
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || width > cairo_image_surface_get_width(whole) - x ||
        height > cairo_image_surface_get_height(whole) - y) {
        return nullptr;
    }
    cairo_surface_flush(whole);
    const int stride = cairo_image_surface_get_stride(whole);
    unsigned char* first = cairo_image_surface_get_data(whole) + static_cast<std::ptrdiff_t>(y) * stride +
                           static_cast<std::ptrdiff_t>(x) * 4;
    cairo_surface_t* part = cairo_image_surface_create_for_data(first, CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(part) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(part);
        return nullptr;
    }
    static cairo_user_data_key_t kWhole;
    cairo_surface_reference(whole);
    if (cairo_surface_set_user_data(part, &kWhole, whole, [](void* owner) {
            cairo_surface_destroy(static_cast<cairo_surface_t*>(owner));
        }) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(whole);
        cairo_surface_destroy(part);
        return nullptr;
    }
    return part;
}

std::optional<ArgbPixels> ArgbPixels::of(cairo_surface_t* surface) {
    if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        return std::nullopt;
    }
    ArgbPixels p{reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface)),
                 cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface),
                 cairo_image_surface_get_stride(surface)};
    if (p.data == nullptr || p.width <= 0 || p.height <= 0) return std::nullopt;
    return p;
}

ImageImpl::ImageImpl(cairo_surface_t* s, double sc) : surface(s), scale(sc), pixels(ArgbPixels::of(s)) {
    constexpr long long kLargeImage = 256 * 1024;
    if (pixels && static_cast<long long>(pixels->width) * pixels->height >= kLargeImage) {
        const std::size_t runs = static_cast<std::size_t>((pixels->height + kInkRows - 1) / kInkRows);
        mInk = std::make_unique<std::atomic<std::uint64_t>[]>(runs);
    }
}

ImageImpl::~ImageImpl() { cairo_surface_destroy(surface); }

bool ImageImpl::opaque() const {
    int known = mOpaque.load(std::memory_order_relaxed);
    if (known < 0) {
        known = pixels ? 1 : 0;
        for (int y = 0; known == 1 && y < pixels->height; ++y) {
            const auto* row = reinterpret_cast<const unsigned char*>(pixels->data) +
                              static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels->stride);
            // All alphas of a row at once, so the loop vectorises.
            std::uint32_t all = 0xFFFFFFFFu;
            for (int x = 0; x < pixels->width; ++x) {
                std::uint32_t word;
                std::memcpy(&word, row + 4 * static_cast<std::size_t>(x), 4);
                all &= word;
            }
            if ((all >> 24) != 0xFF) known = 0;
        }
        mOpaque.store(known, std::memory_order_relaxed);
    }
    return known == 1;
}

namespace {

// The first column of [from, to) of a row that is not clear; `to` when none.
// Eight pixels at a time, as long rows are mostly clear.
int firstInk(const std::uint32_t* row, int from, int to) {
    while (from + 8 <= to) {
        std::uint64_t words[4];
        std::memcpy(words, row + from, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0) break;
        from += 8;
    }
    while (from < to && row[from] == 0) ++from;
    return from;
}

// One past the last column of [from, to) that is not clear; `from` when
// none.
int endOfInk(const std::uint32_t* row, int from, int to) {
    while (to - 8 >= from) {
        std::uint64_t words[4];
        std::memcpy(words, row + to - 8, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0) break;
        to -= 8;
    }
    while (to > from && row[to - 1] == 0) --to;
    return to;
}

}  // namespace

std::optional<ImageImpl::Columns> ImageImpl::inkColumns(int run) const {
    if (!mInk || run < 0 || run * kInkRows >= pixels->height) return std::nullopt;
    constexpr std::uint64_t kKnown = std::uint64_t{1} << 63;
    std::atomic<std::uint64_t>& kept = mInk[static_cast<std::size_t>(run)];
    std::uint64_t known = kept.load(std::memory_order_relaxed);
    if (known == 0) {
        int x0 = pixels->width;
        int x1 = 0;
        const int last = std::min(pixels->height, (run + 1) * kInkRows);
        for (int y = run * kInkRows; y < last; ++y) {
            const std::uint32_t* row = reinterpret_cast<const std::uint32_t*>(
                reinterpret_cast<const unsigned char*>(pixels->data) +
                static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels->stride));
            // Only beyond the columns known so far.
            const int left = firstInk(row, 0, x0);
            if (left == pixels->width) continue;  // clear, as all before it
            x0 = std::min(x0, left);
            x1 = std::max(x1, endOfInk(row, x1, pixels->width));
        }
        if (x0 >= x1) x0 = x1 = 0;
        known = kKnown | (static_cast<std::uint64_t>(x0) << 32) | static_cast<std::uint64_t>(x1);
        kept.store(known, std::memory_order_relaxed);
    }
    return Columns{static_cast<int>((known >> 32) & 0x7FFFFFFF), static_cast<int>(known & 0xFFFFFFFF)};
}

}  // namespace detail

namespace {

// Larger files are refused before reading; no decodable image needs more.
constexpr std::uintmax_t kMaxImageFileSize = 256u * 1024 * 1024;

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

double validScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0; }

long long budgetOf(long long maxPixels) { return std::clamp<long long>(maxPixels, 1, detail::kMaxBitmapPixels); }

bool isPng(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0;
}

bool isJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// PNG or JPEG by the signature at the start of `source`, which `signature`
// holds (fewer bytes when the source is shorter).
detail::DecodedBitmap decodeFrom(detail::ByteSource& source, std::span<const std::uint8_t> signature, long long budget,
                                 DecodeMeter& meter) {
    if (isPng(signature)) return detail::decodePng(source, budget, std::max(budget, Image::kDecodedPixelBudget), meter);
    if (isJpeg(signature)) return detail::decodeJpeg(source, budget, meter);
    return {};
}

// Without a meter of the caller's, the work is only counted.
DecodeMeter unmetered() { return DecodeMeter(std::numeric_limits<long long>::max()); }

}  // namespace

std::string ImageDecoding::warning() const {
    if (!overBudget) return {};
    std::string text = "a picture of " + std::to_string(fileWidth) + " x " + std::to_string(fileHeight) +
                       " pixels is over the budget of " + std::to_string(budget) + ": ";
    if (!image) return text + "refused";
    return text + "decoded at " + std::to_string(image->pixelWidth()) + " x " + std::to_string(image->pixelHeight());
}

DecodeMeter::DecodeMeter(long long allowance, std::function<bool()> stopped)
    : mAllowance(allowance), mAskAt(kAskEvery), mStopped(std::move(stopped)) {}

bool DecodeMeter::spend(long long units) {
    if (units > 0)
        mSpent = units > std::numeric_limits<long long>::max() - mSpent ? std::numeric_limits<long long>::max()
                                                                        : mSpent + units;
    if (mWasStopped || mSpent > mAllowance) return false;
    if (mStopped && mSpent >= mAskAt) {
        mAskAt = mSpent + kAskEvery;
        mWasStopped = mStopped();
    }
    return !mWasStopped;
}

Image::Image(std::unique_ptr<detail::ImageImpl> impl) : mImpl(std::move(impl)) {}

Image::~Image() = default;

ImageDecoding Image::decoded(const detail::DecodedBitmap& bitmap, long long budget, double scale,
                             const DecodeMeter& meter, long long spentBefore) {
    ImageDecoding result;
    result.work = meter.spent() - spentBefore;
    if (bitmap.cut) result.cut = meter.wasStopped() ? ImageDecoding::Cut::stopped : ImageDecoding::Cut::workSpent;
    result.fileWidth = bitmap.fileWidth;
    result.fileHeight = bitmap.fileHeight;
    result.budget = budget;
    result.overBudget = bitmap.overBudget;
    if (bitmap.surface != nullptr) {
        result.image = std::shared_ptr<Image>(
            new Image(std::make_unique<detail::ImageImpl>(bitmap.surface, validScale(scale) / bitmap.reduction)));
    }
    return result;
}

ImageDecoding Image::decode(std::span<const std::uint8_t> bytes, double scale, long long maxPixels,
                            DecodeMeter* meter) {
    const long long budget = budgetOf(maxPixels);
    DecodeMeter own = unmetered();
    DecodeMeter& used = meter != nullptr ? *meter : own;
    const long long before = used.spent();
    detail::ByteSource source{bytes.data(), bytes.size(), 0, nullptr};
    return decoded(decodeFrom(source, bytes.first(std::min<std::size_t>(bytes.size(), 8)), budget, used), budget, scale,
                   used, before);
}

std::optional<Image::PixelSize> Image::declaredSize(std::span<const std::uint8_t> bytes) {
    PixelSize size;
    if (isPng(bytes)) {
        // IHDR comes first: length 13, type, width and height big-endian.
        constexpr std::uint8_t kHeader[8] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        if (bytes.size() < 24 || std::memcmp(bytes.data() + 8, kHeader, 8) != 0) return std::nullopt;
        const auto word = [&bytes](std::size_t at) {
            return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
                   (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
        };
        const std::uint32_t width = word(16);
        const std::uint32_t height = word(20);
        if (!detail::bitmapSizeAllowed(width, height)) return std::nullopt;
        size = {static_cast<int>(width), static_cast<int>(height)};
    } else if (isJpeg(bytes)) {
        if (!detail::readJpegSize(bytes, size.width, size.height) ||
            !detail::bitmapSizeAllowed(size.width, size.height))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return size;
}

std::shared_ptr<Image> Image::fromData(std::span<const std::uint8_t> bytes, double scale, long long maxPixels,
                                       DecodeMeter* meter) {
    return decode(bytes, scale, maxPixels, meter).image;
}

std::shared_ptr<Image> Image::fromPixels(int pixelWidth, int pixelHeight, std::span<const Pixel> pixels, double scale) {
    if (!detail::bitmapSizeAllowed(pixelWidth, pixelHeight) ||
        pixels.size() != static_cast<std::size_t>(pixelWidth) * static_cast<std::size_t>(pixelHeight))
        return nullptr;
    cairo_surface_t* surface = detail::newArgbSurface(pixelWidth, pixelHeight);
    if (surface == nullptr) return nullptr;
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const auto premultiply = [](unsigned value, unsigned alpha) { return (value * alpha + 127) / 255; };
    for (int y = 0; y < pixelHeight; ++y) {
        for (int x = 0; x < pixelWidth; ++x) {
            const Pixel& p = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(pixelWidth) +
                                    static_cast<std::size_t>(x)];
            const std::uint32_t word = (std::uint32_t{p.alpha} << 24) | (premultiply(p.red, p.alpha) << 16) |
                                       (premultiply(p.green, p.alpha) << 8) | premultiply(p.blue, p.alpha);
            std::memcpy(data + static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(x), &word, 4);
        }
    }
    cairo_surface_mark_dirty(surface);
    return std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(surface, validScale(scale))));
}

ImageDecoding Image::decodeFile(const std::filesystem::path& path, double scale, long long maxPixels,
                                DecodeMeter* meter) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size == 0 || size > kMaxImageFileSize) return {};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return {};
    std::uint8_t signature[8];
    const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return {};
    const long long budget = budgetOf(maxPixels);
    DecodeMeter own = unmetered();
    DecodeMeter& used = meter != nullptr ? *meter : own;
    const long long before = used.spent();
    detail::ByteSource source{nullptr, 0, 0, file.get()};
    return decoded(decodeFrom(source, std::span<const std::uint8_t>(signature, got), budget, used), budget, scale, used,
                   before);
}

std::shared_ptr<Image> Image::fromFile(const std::filesystem::path& path, double scale, long long maxPixels) {
    return decodeFile(path, scale, maxPixels).image;
}

int Image::pixelWidth() const { return cairo_image_surface_get_width(mImpl->surface); }

int Image::pixelHeight() const { return cairo_image_surface_get_height(mImpl->surface); }

std::size_t Image::byteCount() const { return std::size_t(pixelWidth()) * std::size_t(pixelHeight()) * 4; }

double Image::scale() const { return mImpl->scale; }

std::shared_ptr<Image> Image::withRenderingMode(ImageRenderingMode mode) const {
    // Pixels are never changed once made, so the copy shares them.
    auto copy = std::shared_ptr<Image>(
        new Image(std::make_unique<detail::ImageImpl>(cairo_surface_reference(mImpl->surface), mImpl->scale)));
    copy->mRenderingMode = mode;
    return copy;
}

std::shared_ptr<Image> Image::cropped(int x, int y, int width, int height) const {
    cairo_surface_t* part = detail::surfaceWithin(mImpl->surface, x, y, width, height);
    if (part == nullptr) return nullptr;
    auto image = std::shared_ptr<Image>(new Image(std::make_unique<detail::ImageImpl>(part, mImpl->scale)));
    image->mRenderingMode = mRenderingMode;
    return image;
}

Size Image::size() const { return {pixelWidth() / mImpl->scale, pixelHeight() / mImpl->scale}; }

std::optional<Pixel> Image::pixel(int x, int y) const { return detail::pixelOf(mImpl->surface, x, y); }

Image::PixelRows Image::premultipliedRows() const {
    return {cairo_image_surface_get_data(mImpl->surface), cairo_image_surface_get_stride(mImpl->surface)};
}

std::vector<std::uint8_t> Image::pngData() const {
    std::vector<std::uint8_t> out;
    if (cairo_surface_write_to_png_stream(mImpl->surface, appendToVector, &out) != CAIRO_STATUS_SUCCESS) out.clear();
    return out;
}

bool Image::writePNG(const std::filesystem::path& path) const {
    errno = 0;
    const auto bytes = pngData();
    if (bytes.empty()) return false;
    std::filesystem::path temporary = path;
    temporary += ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            const int reason = errno;
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            errno = reason;
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        errno = error.value();
        return false;
    }
    return true;
}

}  // namespace platform
