#pragma once
// Private to platform/graphics: PNG (libpng) and JPEG (libjpeg) bytes to an
// ARGB32 Cairo surface, premultiplied. Rows are decoded straight into the
// surface, so a decode needs its bitmap and a few rows more.
//
// A picture of more pixels than the caller's budget is decoded at a reduced
// size while reading (a PNG without interlace: averaged over whole blocks
// of pixels, row by row; a JPEG: libjpeg's scaled IDCT, down to 1/8, and
// below that the rows at 1/8 averaged over whole blocks). An interlaced PNG
// fills every row in seven passes: it is decoded whole and reduced after,
// when it has no more than `wholePixels`, and refused otherwise. Any error,
// any warning about corrupt JPEG data, a file truncated before what the
// picture needs, and a file that declares more than the bitmap limits give
// no surface. What the picture does not need is not read: a PNG's data
// beyond a short tail after its last row, a progressive JPEG's scans after
// its DC's when it is put out at 1/8 or less.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace platform {
class DecodeMeter;
}

namespace platform::detail {

// Where a decoder reads: bytes in memory, or an open file from its current
// position (read as needed, never held whole).
struct ByteSource {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    std::FILE* file = nullptr;

    // Exactly `count` bytes into `out`; false when fewer are left.
    bool read(std::uint8_t* out, std::size_t count);
};

struct DecodedBitmap {
    cairo_surface_t* surface = nullptr;  // null when refused; owned by the caller
    int fileWidth = 0;                   // as the file declares; 0 when it was not read that far
    int fileHeight = 0;
    bool overBudget = false;  // the file declares more pixels than allowed
    double reduction = 1;     // file pixels per decoded pixel along a side
    bool cut = false;         // the meter said no: no surface
};

// Working memory libjpeg may take beside the bitmap: a progressive file
// keeps every DCT coefficient of the whole picture until its last scan, 2
// bytes each: 3 bytes a file pixel at 4:2:0, 6 at 4:4:4, 8 in CMYK. Every
// progressive picture within the default budget fits (a CMYK one of 4096 x
// 4096 keeps 128 MiB); a header claiming 16384 x 16384 (768 MiB or more)
// is refused before the coefficients are allocated.
constexpr long kJpegWorkingMemory = 136L * 1024 * 1024;

// More scans than any real progressive file has; a forged file can ask for
// thousands of tiny scans and keep the decoder busy for minutes.
constexpr int kMaxJpegScans = 1000;

// Both spend their work from `meter` as they go (see DecodeMeter for the
// unit) and stop, with no surface, as soon as it says no.
DecodedBitmap decodePng(ByteSource& source, long long maxPixels, long long wholePixels, DecodeMeter& meter);
DecodedBitmap decodeJpeg(ByteSource& source, long long maxPixels, DecodeMeter& meter);


// Reducing by whole blocks of pixels as rows come (premultiplied ARGB
// words): the smallest whole factor a side that brings width x height
// within `maxPixels`; a side reduced by it; a row's pixels summed into the
// sums of its band's decoded pixels (four a pixel: alpha, red, green, blue);
// the band's decoded row of the rounded means, which clears the sums.
long long reducedSide(long long side, int factor);
int reductionFor(long long width, long long height, long long maxPixels);
void addRow(const std::uint8_t* row, long long width, int factor, std::uint64_t* sums);
void writeBand(std::uint64_t* sums, long long width, int factor, long long rows, std::uint8_t* out);

// The size the JPEG's frame header declares, read through libjpeg as the
// decode reads it (markers up to the first scan); false when the bytes end
// or break before it.
bool readJpegSize(std::span<const std::uint8_t> bytes, int& width, int& height);

}  // namespace platform::detail
