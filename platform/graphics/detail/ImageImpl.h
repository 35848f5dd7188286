#pragma once
// Private to platform/graphics: the pixels behind an Image.

#include "platform/graphics/Image.h"

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform::detail {

// Largest bitmap we create, and the largest picture a decoder reads at all: a
// side of 16384 pixels and 256 Mi pixels in all (1 GiB of ARGB). Decoded
// pictures have a far smaller budget (Image::kDecodedPixelBudget).
constexpr int kMaxBitmapSide = 16384;
constexpr long long kMaxBitmapPixels = 256LL * 1024 * 1024;

bool bitmapSizeAllowed(long long width, long long height);

// A new ARGB32 surface, flushed so that its data may be written directly
// (mark it dirty after); null when Cairo cannot make it.
cairo_surface_t* newArgbSurface(int width, int height);

// A surface over the rectangle of `whole`'s pixels from column x, row y,
// sharing them (a row of the whole apart) and keeping `whole` alive; null
// when the rectangle is not inside or Cairo cannot make it.
cairo_surface_t* surfaceWithin(cairo_surface_t* whole, int x, int y, int width, int height);

// One pixel of an ARGB32 surface, unpremultiplied; none outside it. The
// surface must have been flushed after drawing.
std::optional<Pixel> pixelOf(cairo_surface_t* surface, int x, int y);

// The pixels of an ARGB32 image surface, read once rather than through
// Cairo at every draw.
struct ArgbPixels {
    std::uint32_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes
    // None unless `surface` is an ARGB32 image surface with pixels.
    static std::optional<ArgbPixels> of(cairo_surface_t* surface);
};

struct ImageImpl {
    // Takes ownership of an ARGB32 image surface (premultiplied alpha).
    ImageImpl(cairo_surface_t* surface, double scale);
    ~ImageImpl();
    ImageImpl(const ImageImpl&) = delete;
    ImageImpl& operator=(const ImageImpl&) = delete;

    // Whether every pixel is opaque; worked out once, on first asking.
    bool opaque() const;

    // For a large image, mostly clear (a chart's axes over the screen):
    // the columns [x0, x1) of run `run` of kInkRows rows that hold all its
    // pixels that are not clear (x0 == x1 when none), worked out once for
    // each run, on first asking, on any thread. None for other images.
    static constexpr int kInkRows = 16;
    struct Columns {
        int x0;
        int x1;
    };
    std::optional<Columns> inkColumns(int run) const;
    bool tracksInk() const { return mInk != nullptr; }

    cairo_surface_t* surface;
    double scale;
    std::optional<ArgbPixels> pixels;

private:
    mutable std::atomic<int> mOpaque{-1};  // -1 not known yet
    // By run: 0 not known yet, else the columns and a bit for known.
    std::unique_ptr<std::atomic<std::uint64_t>[]> mInk;
};

}  // namespace platform::detail
