// PNG through libpng, row by row into the ARGB32 bitmap. The transforms are
// the ones Cairo's own PNG reader sets up (palette and grey to RGB, tRNS to
// alpha, 16 bits cut to 8, filler 0xFF), and each row is turned into
// premultiplied ARGB words in place, in its own 4 bytes a pixel, with Cairo's
// rounding: the pixels are the ones Cairo gave, without its second bitmap
// for pictures without alpha or its copy of the file.

#include "platform/foundation/ByteOrder.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/detail/ImageDecoders.h"
#include "platform/graphics/detail/ImageImpl.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace platform::detail {

bool ByteSource::read(std::uint8_t* out, std::size_t count) {
    if (file != nullptr) return std::fread(out, 1, count, file) == count;
    if (count > size - position) return false;
    std::memcpy(out, data + position, count);
    position += count;
    return true;
}

namespace {

// The work of each part, in DecodeMeter's units, from bench_images'
// BM_DecodeUnits: each at the dearest make-up that has it.
// A byte of the file read: a chunk's CRC, or the inflating of stored bytes
// that the rows are copied from.
constexpr long long kFedByte = 8;
// Each chunk beside its bytes (its header read and its CRC checked): a
// file can cut its compressed rows into chunks of a byte.
constexpr long long kChunk = 180;
// Each deflate block, whatever it puts out, by the bits it takes up to the
// dearest block's work: zlib builds three Huffman tables for a block of
// dynamic codes, and a stream of the smallest empty ones (90 bits each)
// puts out nothing; a block of stored bytes or fixed codes is far cheaper
// (an empty one is 35 or 10 bits).
constexpr long long kBlockBit = 30;
constexpr long long kBlock = 11000;
// Each call of png_read_row, whatever it reads: a row of a thin picture, or
// of a pass of an interlaced one, costs far more than its bytes.
constexpr long long kRowCall = 80;
// A byte of a row as the file has it (at 16 bits a sample, twice the
// pixel's), inflated and unfiltered, by the row's filter (None, Sub, Up,
// Average, Paeth; a byte that is no filter, which libpng refuses, as
// Paeth), spent as the row is inflated, where its filter byte is seen.
// Paeth's cost depends on the pixels: libpng's predictor branches, and
// rows of a photograph or of noise take four times as long as rows of one
// colour; it is counted at the dearer.
constexpr long long kRowByte[5] = {12, 12, 12, 16, 30};
// A byte of a row put out (four a pixel: transforms, premultiplying, a
// pass's row spread over the whole width, averaging when reduced).
constexpr long long kOutByte = 2;
// A pass's row of an interlaced picture is spread over the whole width a
// byte at a time; a palette's index becomes four bytes through its table
// (and tRNS).
constexpr long long kInterlacedOutByte = 3;
constexpr long long kPalettePixel = 8;
// A pixel of a picture with alpha, premultiplied one at a time (a row of
// opaque pixels takes a quicker way, but which rows are is known only
// once they are out).
constexpr long long kAlphaPixel = 12;
// The compressed rows are read this much at a time. Once the rows are out,
// what the stream and the file still hold is read only a short tail far (a
// usual file's whole tail: the stream's end, its CRC and IEND, checked),
// and the rows are the picture however much more there is.
constexpr std::size_t kIdatReadSize = 1024;
constexpr std::size_t kTailBytes = 64;
// A byte of that tail may inflate to 1032 bytes of nothing, and so may each
// byte held when the rows were done: counted when the tail is cut inside
// compressed data (in a usual file they hold the stream's end, and what
// follows is other chunks).
constexpr long long kTailByte = 6000;
// libpng is handed the inflated rows as stored blocks (the most one
// holds), each in an IDAT chunk of its own, and reads them this much at a
// time.
constexpr std::uint32_t kStoredBlock = 65535;
constexpr std::size_t kHandedPiece = 16 * 1024;

// The rows' bytes as the file has them, pass by pass (one pass when not
// interlaced): how many rows a pass has and the bytes of each, its filter
// byte first. A pass without columns has no rows.
struct RowSizes {
    std::uint32_t rows[7];
    std::uint64_t bytes[7];
    int passes;
};

// The file as libpng reads it, with its compressed rows inflated here
// rather than by libpng: zlib stops at the end of every deflate block
// (Z_BLOCK), so each block is spent, however little it puts out. libpng
// gets a stream of stored blocks of exactly the rows' bytes, without their
// check (the real stream's is checked here), in IDAT chunks whose CRCs it
// does not check; the CRCs of the file's critical chunks are checked here,
// as libpng checked them.
struct PngInput {
    ByteSource* source;
    png_infop info;
    std::uint64_t offset;  // of the file read so far
    DecodeMeter* meter;
    long long rowsLeft;    // rows libpng has still to put out
    std::size_t tailLeft;  // what may still be read once the rows are out
    bool rowsRead;         // the last row came back
    bool whole;            // every row is out, and more than the tail was wanted
    bool cut;              // the meter said no
    // A chunk handed over as the file has it.
    bool inIdat;    // one of compressed rows (after the stream: left to libpng)
    bool critical;  // its CRC is checked here
    uLong crc;      // of its type and the data so far
    // The file's compressed rows.
    z_stream z;
    bool streamStarted;      // `z` is set up
    bool streamEnded;        // inflate saw its end
    bool idatsEnded;         // the chunk after the IDATs is read, its header in `next`
    long long blockFrom;     // the bit of the stream where the block being inflated began
    std::uint32_t idatLeft;  // data of the IDAT chunk being read
    uLong idatCrc;
    std::uint8_t next[8];
    std::uint8_t in[kIdatReadSize];
    // What libpng is handed: the IDAT chunks still to begin cover
    // `rowBytesLeft`; of the one being read, its zlib and block headers
    // from `head[headAt]`, the stored bytes still to inflate, and the
    // stream's check after the last.
    bool handing;
    std::uint64_t rowBytesLeft;
    RowSizes rows;  // of the passes, to find each row's filter byte
    int pass;       // of the row being inflated
    std::uint32_t passRowsLeft;
    std::uint64_t rowLeft;  // of its bytes, the filter byte first
    std::uint8_t head[7];
    unsigned headAt;
    unsigned headLength;
    std::uint32_t storedLeft;
    unsigned checkLeft;
};

// IHDR's length and type, right after the signature. libpng would read
// unknown chunks before it, but the size a layout shares its budget by is
// read from there alone (`Image::declaredSize`): a file that declares none
// must not decode.
constexpr std::uint8_t kIhdrFirst[8] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
constexpr std::uint64_t kIhdrAt = 8;

void spend(png_structp png, PngInput& input, long long units) {
    if (!input.meter->spend(units)) {
        input.cut = true;
        png_error(png, "work spent");
    }
}

// `count` bytes of the file into `out`, spent first (`work` besides).
void readSpent(png_structp png, PngInput& input, std::uint8_t* out, std::size_t count, long long work) {
    spend(png, input, work + kFedByte * static_cast<long long>(count));
    if (!input.source->read(out, count)) png_error(png, "cut short");
    for (std::size_t i = 0; i < count && input.offset + i < kIhdrAt + sizeof kIhdrFirst; ++i) {
        const std::uint64_t at = input.offset + i;
        if (at >= kIhdrAt && out[i] != kIhdrFirst[at - kIhdrAt]) png_error(png, "IHDR is not the first chunk");
    }
    input.offset += count;
}

// `count` bytes of the file into `out`. Once the rows are out, only the
// tail is read: asking for more ends the reading, the picture whole, after
// spending what was held (`compressed`: inside the compressed rows or the
// chunks' frames, not another chunk's data).
void take(png_structp png, PngInput& input, std::uint8_t* out, std::size_t count, bool compressed) {
    long long work = 0;
    if (input.rowsLeft == 0) {
        if (count > input.tailLeft) {
            if (compressed) spend(png, input, kTailByte * static_cast<long long>(kIdatReadSize));
            input.whole = true;
            png_error(png, "rows done");
        }
        input.tailLeft -= count;
        work = kTailByte * static_cast<long long>(count);
    }
    readSpent(png, input, out, count, work);
}

// A chunk's header into `out`, its own work spent.
void takeHeader(png_structp png, PngInput& input, std::uint8_t* out) {
    take(png, input, out, 8, true);
    spend(png, input, kChunk);
    if (loadBigEndian32(out) > PNG_UINT_31_MAX) png_error(png, "chunk length");
}

// The rest of the IDAT chunk being read, passed over uninflated, and its
// CRC checked; `whole`: however far that is, what lies past the tail at a
// read byte's rate (nothing of it is inflated).
void endIdat(png_structp png, PngInput& input, bool whole) {
    const auto read = [&](std::uint8_t* out, std::size_t count) {
        if (whole && count > input.tailLeft) return readSpent(png, input, out, count, 0);
        take(png, input, out, count, true);
    };
    input.z.avail_in = 0;
    while (input.idatLeft > 0) {
        const auto count = static_cast<uInt>(std::min<std::size_t>(input.idatLeft, kIdatReadSize));
        read(input.in, count);
        input.idatCrc = crc32(input.idatCrc, input.in, count);
        input.idatLeft -= count;
    }
    std::uint8_t crc[4];
    read(crc, 4);
    if (loadBigEndian32(crc) != input.idatCrc) png_error(png, "IDAT: CRC error");
}

// The header of the chunk after the one ended: false when it is no IDAT.
bool beginIdat(png_structp png, PngInput& input) {
    takeHeader(png, input, input.next);
    if (std::memcmp(input.next + 4, "IDAT", 4) != 0) {
        input.idatsEnded = true;
        return false;
    }
    input.idatLeft = loadBigEndian32(input.next);
    input.idatCrc = crc32(0, input.next + 4, 4);
    return true;
}

// More compressed rows for inflate; false when the IDAT chunks have ended.
bool fillStream(png_structp png, PngInput& input) {
    while (input.idatLeft == 0) {
        if (input.idatsEnded) return false;
        endIdat(png, input, false);
        if (!beginIdat(png, input)) return false;
    }
    const auto count = static_cast<uInt>(std::min<std::size_t>(input.idatLeft, kIdatReadSize));
    take(png, input, input.in, count, true);
    input.idatCrc = crc32(input.idatCrc, input.in, count);
    input.idatLeft -= count;
    input.z.next_in = input.in;
    input.z.avail_in = count;
    return true;
}

// Once a call of inflate has ended a block, the block is spent.
void spendBlock(png_structp png, PngInput& input) {
    if ((input.z.data_type & 128) == 0) return;
    const long long bit = static_cast<long long>(input.z.total_in) * 8 - (input.z.data_type & 7);
    spend(png, input, std::min(kBlock, kBlockBit * (bit - input.blockFrom)));
    input.blockFrom = bit;
}

// One call of inflate into `z`'s output, up to the end of a block at
// most; the block spent once it is done.
void inflateStep(png_structp png, PngInput& input) {
    if (input.z.avail_in == 0 && !fillStream(png, input)) png_error(png, "not enough image data");
    const int status = inflate(&input.z, Z_BLOCK);
    if (status == Z_STREAM_END) {
        input.streamEnded = true;
    } else if (status != Z_OK) {
        png_error(png, "bad compressed data");
    }
    spendBlock(png, input);
}

// The rows' sizes as the file has them: the stream inflates to exactly
// these. Sides past what a bitmap may have are refused once the header is
// read; here they are only kept from overflowing.
RowSizes rowSizesOf(png_structp png, png_infop info) {
    const std::uint32_t width = std::min<png_uint_32>(png_get_image_width(png, info), 1u << 20);
    const std::uint32_t height = std::min<png_uint_32>(png_get_image_height(png, info), 1u << 20);
    const std::uint64_t bits = std::uint64_t{png_get_channels(png, info)} * png_get_bit_depth(png, info);
    RowSizes sizes{};
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) {
        sizes = {{height}, {(bits * width + 7) / 8 + 1}, 1};
        return sizes;
    }
    sizes.passes = 7;
    for (int pass = 0; pass < 7; ++pass) {
        const std::uint64_t columns = PNG_PASS_COLS(width, pass);
        if (columns == 0) continue;
        sizes.rows[pass] = PNG_PASS_ROWS(height, pass);
        sizes.bytes[pass] = (bits * columns + 7) / 8 + 1;
    }
    return sizes;
}

std::uint64_t rowBytesOf(const RowSizes& sizes) {
    std::uint64_t bytes = 0;
    for (int pass = 0; pass < sizes.passes; ++pass) bytes += sizes.rows[pass] * sizes.bytes[pass];
    return bytes;
}

// The rows' bytes just inflated, `count` from `bytes`: each row that
// begins among them is spent by its filter.
void spendRowBytes(png_structp png, PngInput& input, const std::uint8_t* bytes, std::size_t count) {
    long long work = 0;
    while (count > 0) {
        if (input.rowLeft == 0) {
            while (input.passRowsLeft == 0) {
                // Past the last pass only when the stream puts out more
                // than the rows, which the handing never asks for.
                if (++input.pass >= input.rows.passes) return spend(png, input, work);
                input.passRowsLeft = input.rows.rows[input.pass];
            }
            --input.passRowsLeft;
            input.rowLeft = input.rows.bytes[input.pass];
            const std::uint8_t filter = std::min<std::uint8_t>(*bytes, 4);
            work += kRowByte[filter] * static_cast<long long>(input.rowLeft);
        }
        const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(count, input.rowLeft));
        bytes += skipped;
        count -= skipped;
        input.rowLeft -= skipped;
    }
    spend(png, input, work);
}

// The header of the next IDAT chunk handed to libpng: one stored block,
// after the zlib header in the first, before the stream's check in the
// last. Stored bytes refer to nothing before them: the header asks for
// the smallest window (256 bytes), which spares libpng's zlib copying
// every byte into a window of 32 KiB.
void beginHandedChunk(PngInput& input, std::uint8_t* out) {
    const bool first = input.headLength == 0;
    const auto stored = static_cast<std::uint32_t>(std::min<std::uint64_t>(input.rowBytesLeft, kStoredBlock));
    input.rowBytesLeft -= stored;
    const bool last = input.rowBytesLeft == 0;
    unsigned at = 0;
    if (first) {
        input.head[at++] = 0x08;  // deflate, a window of 2^8
        input.head[at++] = 0x1D;  // the check making the header a multiple of 31
    }
    const std::uint8_t block[5] = {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(stored),
                                   static_cast<std::uint8_t>(stored >> 8), static_cast<std::uint8_t>(~stored),
                                   static_cast<std::uint8_t>(~stored >> 8)};
    std::memcpy(input.head + at, block, sizeof block);
    input.headLength = at + sizeof block;
    input.headAt = 0;
    input.storedLeft = stored;
    input.checkLeft = last ? 4 : 0;
    const std::uint32_t length = input.headLength + stored + input.checkLeft;
    storeBigEndian32(out, length);
    std::memcpy(out + 4, "IDAT", 4);
}

// Data of the IDAT chunk being handed: its headers, the rows' bytes
// inflated straight into `out`, the (unchecked) check.
void handData(png_structp png, PngInput& input, std::uint8_t* out, std::size_t length) {
    while (length > 0) {
        std::size_t count = 0;
        if (input.headAt < input.headLength) {
            count = std::min<std::size_t>(length, input.headLength - input.headAt);
            std::memcpy(out, input.head + input.headAt, count);
            input.headAt += static_cast<unsigned>(count);
        } else if (input.storedLeft > 0) {
            count = std::min<std::size_t>(length, input.storedLeft);
            input.z.next_out = out;
            input.z.avail_out = static_cast<uInt>(count);
            while (input.z.avail_out > 0) {
                if (input.streamEnded) png_error(png, "not enough image data");
                inflateStep(png, input);
            }
            spendRowBytes(png, input, out, count);
            input.storedLeft -= static_cast<std::uint32_t>(count);
        } else if (input.checkLeft > 0) {
            count = std::min<std::size_t>(length, input.checkLeft);
            std::memset(out, 0, count);
            input.checkLeft -= static_cast<unsigned>(count);
        } else {
            png_error(png, "read past a chunk");
        }
        out += count;
        length -= count;
    }
}

// Once the rows are out. Every byte that made them is checked: the chunk
// the last came from is read to its CRC, however far that is. The stream
// is inflated on, within the tail, only as far as it goes without putting
// anything out, so that its check is checked when it is there; damage
// found past that chunk is no longer the picture's. What comes only after
// the rows refuses nothing: more put out than the rows (a tail of zeros;
// a bit flipped near the end is caught by the CRC), a copy from before
// the window, data past the stream's end, a check in a later chunk, a
// stream that never ends.
void finishStream(png_structp png, PngInput& input) {
    // libpng wants no more than the rows' bytes: it has put them all out.
    if (input.rowsLeft != 0) png_error(png, "not enough image data");
    bool rowsChunk = true;  // in the chunk the last row bytes came from
    const auto nextChunk = [&] {
        endIdat(png, input, rowsChunk);
        rowsChunk = false;
        return beginIdat(png, input);
    };
    bool more = false;  // the stream would put out more than the rows, or goes on past the tail
    while (!input.streamEnded) {
        if (input.z.avail_in == 0) {
            if (input.idatLeft == 0) {
                if (!nextChunk()) break;
                continue;
            }
            if (rowsChunk && std::min<std::size_t>(input.idatLeft, kIdatReadSize) > input.tailLeft) {
                more = true;
                break;
            }
            fillStream(png, input);
        }
        std::uint8_t none = 0;
        input.z.next_out = &none;
        input.z.avail_out = 0;
        const int status = inflate(&input.z, Z_BLOCK);
        if (status == Z_STREAM_END) {
            input.streamEnded = true;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            if (rowsChunk) png_error(png, "bad compressed data");
            break;
        }
        spendBlock(png, input);
        if (!input.streamEnded && input.z.avail_in > 0 && (input.z.data_type & 128) == 0) {
            more = true;
            break;
        }
    }
    if (more) {
        spend(png, input, kTailByte * static_cast<long long>(kIdatReadSize));
        if (rowsChunk) endIdat(png, input, true);
        input.whole = true;
        png_error(png, "rows done");
    }
    // Data after the stream's end is passed over, as libpng did.
    while (!input.idatsEnded) nextChunk();
}

void readBytes(png_structp png, png_bytep out, png_size_t length) {
    auto& input = *static_cast<PngInput*>(png_get_io_ptr(png));
    const png_uint_32 where = png_get_io_state(png) & PNG_IO_MASK_LOC;
    if (input.handing) {
        if (where == PNG_IO_CHUNK_DATA) return handData(png, input, out, length);
        if (where == PNG_IO_CHUNK_CRC) return static_cast<void>(std::memset(out, 0, length));
        if (length != 8) png_error(png, "unexpected read");
        if (input.rowBytesLeft > 0) return beginHandedChunk(input, out);
        // The chunk after the IDATs, as the file has it.
        finishStream(png, input);
        input.handing = false;
        std::memcpy(out, input.next, 8);
        input.inIdat = std::memcmp(out + 4, "IDAT", 4) == 0;
        input.critical = (out[4] & 0x20) == 0;
        input.crc = crc32(0, out + 4, 4);
        return;
    }
    if (where == PNG_IO_CHUNK_HDR && length == 8) {
        takeHeader(png, input, out);
        input.inIdat = std::memcmp(out + 4, "IDAT", 4) == 0;
        if (input.inIdat && !input.streamStarted) {
            if (inflateInit(&input.z) != Z_OK) png_error(png, "no memory");
            input.streamStarted = true;
            input.idatLeft = loadBigEndian32(out);
            input.idatCrc = crc32(0, out + 4, 4);
            input.rows = rowSizesOf(png, input.info);
            input.rowBytesLeft = rowBytesOf(input.rows);
            input.pass = -1;
            input.handing = true;
            return beginHandedChunk(input, out);
        }
        input.critical = (out[4] & 0x20) == 0;
        input.crc = crc32(0, out + 4, 4);
        return;
    }
    take(png, input, out, length, where != PNG_IO_CHUNK_DATA || input.inIdat);
    if (where == PNG_IO_CHUNK_DATA && input.critical) input.crc = crc32(input.crc, out, static_cast<uInt>(length));
    if (where == PNG_IO_CHUNK_CRC && input.critical && length == 4 && loadBigEndian32(out) != input.crc)
        png_error(png, "CRC error");
}

[[noreturn]] void fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Warnings are about what the picture does without: a damaged ancillary
// chunk (dropped), data after the last row. Cairo ignores them too.
void ignore(png_structp, png_const_charp) {}

unsigned multiplyAlpha(unsigned alpha, unsigned colour) {
    const unsigned t = alpha * colour + 0x80;
    return (t + (t >> 8)) >> 8;
}

// The row as libpng hands it (R, G, B, A bytes; A is the filler 0xFF without
// alpha) becomes the premultiplied native words 0xAARRGGBB, in place.
void toArgbWords(png_structp png, png_row_infop row, png_bytep data) {
    --static_cast<PngInput*>(png_get_user_transform_ptr(png))->rowsLeft;
    const png_size_t count = row->rowbytes / 4;
    unsigned opaque = 0xFF;
    for (png_size_t i = 0; i < count; ++i) opaque &= data[4 * i + 3];
    if (opaque == 0xFF && std::endian::native == std::endian::little) {
        // Most rows: no multiplying, only red and blue swapped, in a loop
        // that vectorises.
        for (png_size_t i = 0; i < count; ++i) {
            std::uint32_t word;
            std::memcpy(&word, data + 4 * i, 4);
            word = (word & 0xFF00FF00u) | ((word << 16) & 0x00FF0000u) | ((word >> 16) & 0xFFu);
            std::memcpy(data + 4 * i, &word, 4);
        }
        return;
    }
    if (opaque == 0xFF) {
        for (png_size_t i = 0; i < count; ++i) {
            std::uint8_t* p = data + 4 * i;
            const std::uint32_t word = 0xFF000000u | (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
            std::memcpy(p, &word, 4);
        }
        return;
    }
    for (png_size_t i = 0; i < count; ++i) {
        std::uint8_t* p = data + 4 * i;
        const unsigned a = p[3];
        std::uint32_t word = 0;
        if (a == 0xFF) {
            word = 0xFF000000u | (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
        } else if (a != 0) {
            word = (a << 24) | (multiplyAlpha(a, p[0]) << 16) | (multiplyAlpha(a, p[1]) << 8) | multiplyAlpha(a, p[2]);
        }
        std::memcpy(p, &word, 4);
    }
}

// Everything touched after setjmp that must survive a longjmp lives here, in
// plain storage of the caller, so no C++ object is skipped over.
struct DecodeState {
    png_structp png;
    png_infop info;
    cairo_surface_t* surface;
    cairo_surface_t* whole;  // an interlaced file's rows at full size, when reducing
    std::uint8_t* row;       // one file row, when reducing
    std::uint64_t* sums;     // four sums a decoded pixel of the band, when reducing
    png_uint_32 width;
    png_uint_32 height;
    int factor;
    bool reduceAfter;
};

// Row `y` of the file, at full size, averaged into its band of the reduced
// surface (written out at the band's last row).
bool reduceRow(DecodeState& s, PngInput& input, png_uint_32 y, const std::uint8_t* row) {
    if (!input.meter->spend(kOutByte * 4LL * s.width)) {
        input.cut = true;
        return false;
    }
    const auto factor = static_cast<png_uint_32>(s.factor);
    addRow(row, s.width, s.factor, s.sums);
    const png_uint_32 band = y / factor;
    const png_uint_32 first = band * factor;
    if (y + 1 == s.height || y + 1 - first == factor) {
        const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(s.surface));
        writeBand(s.sums, s.width, s.factor, y + 1 - first, cairo_image_surface_get_data(s.surface) + band * stride);
    }
    return true;
}

// What reading each row costs, by pass (one entry when not interlaced).
struct RowCosts {
    long long inPass[7];  // a row of the pass
    int passes;
    bool interlaced;
};

RowCosts rowCostsOf(png_uint_32 width, bool interlaced, int passes, bool palette, bool alpha) {
    RowCosts costs{{}, passes, interlaced};
    for (int pass = 0; pass < passes; ++pass) {
        const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
        const long long outByte = interlaced ? kInterlacedOutByte : kOutByte;
        costs.inPass[pass] = columns == 0 ? kRowCall
                                          : kRowCall + outByte * 4LL * width + (palette ? kPalettePixel * columns : 0) +
                                                (alpha ? kAlphaPixel * columns : 0);
    }
    return costs;
}

// Row `y` of `pass` into `row`, its work spent first; false when the meter
// says no.
bool readRow(png_structp png, PngInput& input, const RowCosts& costs, png_bytep row, png_uint_32 y, int pass) {
    const bool inPass = !costs.interlaced || PNG_ROW_IN_INTERLACE_PASS(y, pass);
    if (!input.meter->spend(inPass ? costs.inPass[pass] : kRowCall)) {
        input.cut = true;
        return false;
    }
    png_read_row(png, row, nullptr);
    return true;
}

// The rows libpng puts out through the transforms: those of each pass that
// has any columns.
long long rowsOut(png_uint_32 width, png_uint_32 height, bool interlaced) {
    if (!interlaced) return height;
    long long rows = 0;
    for (int pass = 0; pass < 7; ++pass)
        if (PNG_PASS_COLS(width, pass) > 0) rows += PNG_PASS_ROWS(height, pass);
    return rows;
}

bool decodeInto(DecodeState& s, PngInput& input, long long maxPixels, long long wholePixels, DecodedBitmap& out) {
    if (setjmp(png_jmpbuf(s.png)) != 0) return false;
    png_set_read_fn(s.png, &input, readBytes);
    png_set_compression_buffer_size(s.png, kHandedPiece);
    // The file's own stream and its critical chunks are checked as they
    // are read (PngInput); ancillary chunks are libpng's to check.
    png_set_crc_action(s.png, PNG_CRC_QUIET_USE, PNG_CRC_DEFAULT);
    png_set_option(s.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    // Only the pixels are wanted: every chunk but those that make them is
    // skipped unread. Text and colour profiles come compressed, and a few
    // megabytes of them can inflate to gigabytes that libpng would read
    // and drop, for a picture of a few pixels.
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(s.png, s.info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    int interlace = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    out.fileWidth = static_cast<int>(width);  // libpng allows at most 2^31 - 1
    out.fileHeight = static_cast<int>(height);
    if (!bitmapSizeAllowed(width, height)) {
        out.overBudget = true;
        return false;
    }
    const int factor = reductionFor(width, height, maxPixels);
    // The passes of an interlaced file fill every row again and again: it
    // is decoded whole, within `wholePixels`, and reduced after.
    const bool interlaced = interlace != PNG_INTERLACE_NONE;
    const bool reduceAfter = factor > 1 && interlaced;
    if (factor > 1) {
        out.overBudget = true;
        if (reduceAfter && static_cast<long long>(width) * height > wholePixels) return false;
    }

    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.png);
    if (colour == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(s.png);
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
    if (png_get_valid(s.png, s.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s.png);
    if (depth == 16) png_set_strip_16(s.png);
    if (depth < 8) png_set_packing(s.png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s.png);
    png_set_filler(s.png, 0xFF, PNG_FILLER_AFTER);
    png_set_read_user_transform_fn(s.png, toArgbWords);
    png_set_user_transform_info(s.png, &input, 0, 0);
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    const int finalColour = png_get_color_type(s.png, s.info);
    if (png_get_bit_depth(s.png, s.info) != 8 ||
        (finalColour != PNG_COLOR_TYPE_RGB && finalColour != PNG_COLOR_TYPE_RGB_ALPHA) ||
        png_get_rowbytes(s.png, s.info) != 4 * static_cast<png_size_t>(width)) {
        return false;
    }
    const RowCosts costs = rowCostsOf(width, interlaced, passes, colour == PNG_COLOR_TYPE_PALETTE, alpha);
    input.rowsLeft = rowsOut(width, height, interlaced);

    s.width = width;
    s.height = height;
    s.factor = factor;
    s.reduceAfter = reduceAfter;
    s.surface =
        newArgbSurface(static_cast<int>(reducedSide(width, factor)), static_cast<int>(reducedSide(height, factor)));
    if (s.surface == nullptr) return false;
    if (factor > 1) {
        s.sums = static_cast<std::uint64_t*>(
            std::calloc(4 * static_cast<std::size_t>(reducedSide(width, factor)), sizeof(std::uint64_t)));
        if (s.sums == nullptr) return false;
    }
    if (reduceAfter) {
        s.whole = newArgbSurface(static_cast<int>(width), static_cast<int>(height));
        if (s.whole == nullptr) return false;
    }
    if (factor == 1 || reduceAfter) {
        // Each row straight into its place in the full-size bitmap.
        cairo_surface_t* target = reduceAfter ? s.whole : s.surface;
        unsigned char* pixels = cairo_image_surface_get_data(target);
        const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(target));
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                if (!readRow(s.png, input, costs, pixels + y * stride, y, pass)) return false;
    } else {
        s.row = static_cast<std::uint8_t*>(std::malloc(4 * static_cast<std::size_t>(width)));
        if (s.row == nullptr) return false;
        for (png_uint_32 y = 0; y < height; ++y)
            if (!readRow(s.png, input, costs, s.row, y, 0) || !reduceRow(s, input, y, s.row)) return false;
    }
    input.rowsRead = true;
    png_read_end(s.png, nullptr);
    return true;
}

// What is left once every row is read: an interlaced file's whole bitmap
// reduced, or the last row of one reduced as it is read (when libpng was
// stopped inside it).
bool finish(DecodeState& s, PngInput& input, bool insideLastRow) {
    if (s.reduceAfter) {
        const auto* whole = cairo_image_surface_get_data(s.whole);
        const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(s.whole));
        for (png_uint_32 y = 0; y < s.height; ++y)
            if (!reduceRow(s, input, y, whole + y * stride)) return false;
    } else if (s.factor > 1 && insideLastRow) {
        if (!reduceRow(s, input, s.height - 1, s.row)) return false;
    }
    cairo_surface_mark_dirty(s.surface);
    return true;
}

}  // namespace

DecodedBitmap decodePng(ByteSource& source, long long maxPixels, long long wholePixels, DecodeMeter& meter) {
    DecodedBitmap out;
    DecodeState s{};
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore);
    if (s.png == nullptr) return out;
    s.info = png_create_info_struct(s.png);
    PngInput input{};
    input.source = &source;
    input.info = s.info;
    input.meter = &meter;
    input.rowsLeft = -1;
    input.tailLeft = kTailBytes;
    const bool read = s.info != nullptr && decodeInto(s, input, maxPixels, wholePixels, out);
    // Stopped in the tail: inside the last row, or in the chunks after it.
    const bool ok = (read || input.whole) && !input.cut && s.surface != nullptr && finish(s, input, !input.rowsRead);
    if (ok) out.reduction = s.factor;
    out.cut = input.cut;
    png_destroy_read_struct(&s.png, s.info != nullptr ? &s.info : nullptr, nullptr);
    if (input.streamStarted) inflateEnd(&input.z);
    if (s.whole != nullptr) cairo_surface_destroy(s.whole);
    std::free(s.row);
    std::free(s.sums);
    if (ok) {
        out.surface = s.surface;
    } else if (s.surface != nullptr) {
        cairo_surface_destroy(s.surface);
    }
    return out;
}

}  // namespace platform::detail
