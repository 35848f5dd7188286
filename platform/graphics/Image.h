#pragma once
// An immutable bitmap image: decoded from PNG or JPEG bytes, or made by a
// BitmapContext. Safe to share between threads.
//
// Decoding never trusts the bytes: anything that is not a whole, well-formed
// PNG or JPEG, or that declares more than 16384 pixels on a side, gives no
// image (nullptr) rather than a partial one. Only what the picture shown
// needs is read: a PNG's rows (what follows its last row is read a few
// bytes far, to check the end of a usual file, and no further), a
// progressive JPEG shown at 1/8 or less its scans up to the one that
// completes the DC coefficients. A decode's work is spent from a
// DecodeMeter as it is done, which may cut it. A picture of more pixels than
// its budget is decoded at a reduced size (same size in points, fewer
// pixels) as it is read, and the bitmap is the decode's only large
// allocation. An interlaced PNG, which cannot be reduced as it is read, is
// decoded whole and then reduced when it is within kDecodedPixelBudget (its
// whole bitmap lives for that moment), and refused beyond. A JPEG is
// reduced by libjpeg's scaling down to 1/8, and its rows at 1/8 averaged
// over whole blocks below that.

#include "platform/graphics/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

namespace detail {
struct ImageImpl;
struct DecodedBitmap;
}  // namespace detail

struct Color;
struct ShadowImage;
struct ImageDecoding;

// One pixel, not premultiplied.
struct Pixel {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

// The work decodes may do, spent as it is done rather than guessed from the
// headers, and whether it is still wanted. One meter may serve several
// decodes in turn; it is used from one thread at a time.
//
// One unit is about 0.3 ns of decoding on the development machine under
// its usual load (0.28 to 0.34 ns): a plain picture, 4096 x 4096 of 8-bit
// RGB PNG (18.7 MB), is 899 M units; a phone's photograph of 4032 x 3024
// (3 MB of baseline JPEG) 84 M at 1/8, 223 M progressive at 1/8. Each make-up is counted from what its decoder
// really does, each part weighed at its dearest (PNG: the bytes read, each
// chunk, each deflate block by its bits, each row call, each byte of a row
// as the file has it by its filter, each byte put out; JPEG: the
// bytes handed to libjpeg, each block of each scan by the coefficients it
// codes, each row of MCUs of a scan, restarts, each visit of the buffer of
// coefficients, the inverse DCT at the output's scale, each pixel put
// out), so that no make-up takes more than 1.5 times
// as long per unit as that plain picture (bench_images' BM_DecodeUnits).
class DecodeMeter {
public:
    explicit DecodeMeter(long long allowance, std::function<bool()> stopped = {});

    long long allowance() const { return mAllowance; }
    long long spent() const { return mSpent; }
    long long left() const { return mSpent < mAllowance ? mAllowance - mSpent : 0; }
    // Counts `units` (none when not positive); false once the units spent
    // pass the allowance or `stopped` answered yes, after which the decode
    // gives up. `stopped` is asked once every kAskEvery units; a decoder
    // spends a step at a time (a row, a row of MCUs, a piece of the file of
    // at most 64 KiB), so no decode goes on much longer unasked.
    bool spend(long long units);
    bool wasStopped() const { return mWasStopped; }

    // Under a millisecond of decoding between questions.
    static constexpr long long kAskEvery = 2'000'000;

private:
    const long long mAllowance;
    long long mSpent = 0;
    long long mAskAt = 0;
    bool mWasStopped = false;
    std::function<bool()> mStopped;
};

// How the screen toolkit shows an image: as drawn, or as a template whose
// alpha is filled with the tint colour. Automatic leaves it to the view (as
// drawn, except symbol images). Numbered as the platform numbers them.
enum class ImageRenderingMode { automatic = 0, alwaysOriginal = 1, alwaysTemplate = 2 };

class Image {
public:
    // The most pixels a decoded picture has unless its caller allows fewer:
    // 4096 x 4096, 64 MiB of ARGB. The largest pictures the app shows are a
    // layout's images (a scanned plan, a photograph under the track), which
    // a phone's camera takes at 12 Mpx (4032 x 3024) and which the layout
    // view shows at most a screen at a time; a picture of 64 MiB is what a
    // phone can give one image beside the drawing of the layout (all of a
    // layout's pictures together have a budget of their own, which the
    // layout viewer shares out). Without a budget, a 261 KB PNG could ask
    // for a 1 GiB bitmap.
    static constexpr long long kDecodedPixelBudget = 4096LL * 4096;

    // PNG or JPEG, told apart by their signatures. `scale` is pixels per
    // point (1 when not positive and finite). At most `maxPixels` pixels
    // (1 to the bitmap limit): a picture reduced by a factor f gets the scale
    // divided by f, so its size in points stays. With a meter, the work is
    // spent from it as it is done, and a decode it cuts gives no image;
    // without one the work is only counted.
    static ImageDecoding decode(std::span<const std::uint8_t> bytes, double scale = 1,
                                long long maxPixels = kDecodedPixelBudget, DecodeMeter* meter = nullptr);
    // The same from a file, read as it is decoded rather than first whole;
    // no image when it cannot be read.
    static ImageDecoding decodeFile(const std::filesystem::path& path, double scale = 1,
                                    long long maxPixels = kDecodedPixelBudget, DecodeMeter* meter = nullptr);
    // The size in pixels the bytes declare, read from the PNG's header or
    // the JPEG's frame header without decoding: what decode would see
    // first. None when they are no PNG or JPEG, end before that header, or
    // declare a size no image may have (more than 16384 pixels a side).
    struct PixelSize {
        int width = 0;
        int height = 0;
        long long pixels() const { return static_cast<long long>(width) * height; }
        friend bool operator==(const PixelSize&, const PixelSize&) = default;
    };
    static std::optional<PixelSize> declaredSize(std::span<const std::uint8_t> bytes);
    // Only the image of decode and decodeFile.
    static std::shared_ptr<Image> fromData(std::span<const std::uint8_t> bytes, double scale = 1,
                                           long long maxPixels = kDecodedPixelBudget, DecodeMeter* meter = nullptr);
    static std::shared_ptr<Image> fromFile(const std::filesystem::path& path, double scale = 1,
                                           long long maxPixels = kDecodedPixelBudget);
    // Pixels given row by row from the top-left, not premultiplied. None
    // when their number is not width x height or the size is not one an
    // image may have.
    static std::shared_ptr<Image> fromPixels(int pixelWidth, int pixelHeight, std::span<const Pixel> pixels,
                                             double scale = 1);

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    int pixelWidth() const;
    int pixelHeight() const;
    // The bytes its pixels take: four a pixel.
    std::size_t byteCount() const;
    double scale() const;
    Size size() const;  // in points: pixels / scale

    // The pixel at column x, row y from the top-left; none outside the image.
    std::optional<Pixel> pixel(int x, int y) const;

    // The pixels as they are kept, for handing to a display whole: 32-bit
    // words 0xAARRGGBB in the machine's byte order, premultiplied by alpha,
    // row after row `bytesPerRow` apart from the top. Valid while the image
    // lives.
    struct PixelRows {
        const std::uint8_t* data = nullptr;
        int bytesPerRow = 0;
    };
    PixelRows premultipliedRows() const;

    ImageRenderingMode renderingMode() const { return mRenderingMode; }
    // The same pixels in another rendering mode.
    std::shared_ptr<Image> withRenderingMode(ImageRenderingMode mode) const;
    // The pixels of a rectangle of this image (pixel x, y from the top-left,
    // width and height), shared rather than copied: the part keeps them all
    // alive. None when the rectangle is empty or not wholly inside.
    std::shared_ptr<Image> cropped(int x, int y, int width, int height) const;

    // PNG bytes of the image; empty when encoding failed.
    std::vector<std::uint8_t> pngData() const;
    // Writes the PNG through a temporary file renamed over `path`, so an
    // existing file is replaced whole or not at all. False on failure, with
    // the system's reason in errno (0 when there is none).
    bool writePNG(const std::filesystem::path& path) const;

private:
    friend class Context;
    friend class BitmapContext;
    friend ShadowImage makeShadowImage(const Image& source, double sigma, const Color& color);
    friend std::shared_ptr<Image> makeBlurredImage(const Image& source, double sigma);
    friend std::shared_ptr<Image> makeTintedEnlargement(const Image& source, int width, int height, Size cover,
                                                        double scale, const Color& tint);
    explicit Image(std::unique_ptr<detail::ImageImpl> impl);
    const detail::ImageImpl& impl() const { return *mImpl; }
    // Takes the decoder's surface.
    static ImageDecoding decoded(const detail::DecodedBitmap& bitmap, long long budget, double scale,
                                 const DecodeMeter& meter, long long spentBefore);

    std::unique_ptr<detail::ImageImpl> mImpl;
    ImageRenderingMode mRenderingMode = ImageRenderingMode::automatic;
};

// What decoding made of a picture's bytes.
struct ImageDecoding {
    std::shared_ptr<Image> image;  // none when refused
    int fileWidth = 0;             // the size the bytes declare; 0 when not read that far
    int fileHeight = 0;
    long long budget = 0;     // the pixels allowed
    bool overBudget = false;  // declared more: the image is reduced, or there is none
    long long work = 0;       // the units this decode spent (DecodeMeter)
    // A decode its meter cut gives no image.
    enum class Cut { none, workSpent, stopped };
    Cut cut = Cut::none;

    // For the log: what became of a picture over its budget ("a picture of
    // 16384 x 16384 pixels is over the budget of 16777216: decoded at 4096 x
    // 4096"); empty for one within it.
    std::string warning() const;
};

}  // namespace platform
