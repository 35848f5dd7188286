#pragma once
// Pictures for tests of decoding, made by our own code.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A PNG of one colour, however large, written in a moment: `pixel` holds
// the bytes of one pixel as the colour type and depth have them (8 bits: 1
// grey, 3 RGB, 4 RGBA; 16 bits: two bytes a sample). A 16384 x 16384
// picture is 1 to 7 MB. `chunks` (type, data) come between the header and
// the pixels.
std::vector<std::uint8_t> PlainPng(int width, int height, int colourType, const std::vector<std::uint8_t>& pixel,
                                   int depth = 8,
                                   const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& chunks = {});

// Appends a PNG chunk: its length, `type` (four letters), `data` and CRC.
void PutPngChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data);

// Deflates `size` bytes through `z` with `flush` (Z_FINISH ends the
// stream), appending what comes out to `into`.
void DeflatePiece(void* z, const std::uint8_t* data, std::size_t size, int flush, std::vector<std::uint8_t>& into);

// A zlib stream of `data` in one final stored block (at most 65535 bytes)
// after `emptyBlocks` empty deflate blocks of `blockType`: 0 stored, 1
// fixed codes, 2 dynamic codes with the smallest header zlib takes (90
// bits, three Huffman tables built for nothing), 3 dynamic codes with
// every table at its largest (694 bits).
std::vector<std::uint8_t> ZlibAfterEmptyBlocks(int blockType, long long emptyBlocks,
                                               const std::vector<std::uint8_t>& data);
// A PNG of `width` x `height` at 8 bits a sample whose compressed rows are
// `zlib` as given, in IDAT chunks of at most `chunkBytes`.
std::vector<std::uint8_t> PngOfStream(int width, int height, int colourType, const std::vector<std::uint8_t>& zlib,
                                      std::size_t chunkBytes = 1u << 30);

// A PNG written by libpng as a picture program writes one: the filter of
// each row left to libpng's own choice, zlib at `level`. `pixel(x, y,
// samples)` gives each pixel's samples (up to 255, or 65535 at 16 bits),
// row by row and left to right.
struct PngSpec {
    int width = 0;
    int height = 0;
    int colourType = 2;  // RGB
    int depth = 8;
    int level = 6;
    bool interlaced = false;  // Adam7
    int filters = -1;         // libpng's PNG_FILTER_* flags; -1 leaves the choice to libpng
};
std::vector<std::uint8_t> Png(const PngSpec& spec, const std::function<void(int, int, std::uint16_t*)>& pixel);
// The same from rows as the file keeps them: `row(y, bytes, size)` fills
// row y (asked again in each pass of an interlaced picture). A palette
// picture gets all 256 entries, each with an alpha.
std::vector<std::uint8_t> PngFromRows(const PngSpec& spec,
                                      const std::function<void(int, std::uint8_t*, std::size_t)>& row);

// A photograph as a picture program keeps it, 8 bits a sample: smooth
// ramps under a little noise (the RGBA one clear on its left half), as
// above. `shade` shifts the colours, so that pictures differ.
std::vector<std::uint8_t> PhotoPng(int width, int height, int colourType, int shade = 0);

// The samples of a JPEG's pixels, and how many a pixel has.
enum class JpegColours { Grey = 1, Rgb = 3, Cmyk = 4 };

struct JpegSpec {
    int width = 0;
    int height = 0;
    bool progressive = false;
    int quality = 95;
    JpegColours colours = JpegColours::Rgb;
    bool arithmetic = false;  // arithmetic coding rather than Huffman's
    int restartRows = 0;      // a restart marker after every so many rows of MCUs
    int restartMcus = 0;      // or after every so many MCUs
};

// A JPEG written by libjpeg with its default sampling (4:2:0 for colour):
// `pixel(x, y, samples)` gives each pixel, row by row and left to right.
std::vector<std::uint8_t> Jpeg(const JpegSpec& spec, const std::function<void(int, int, std::uint8_t*)>& pixel);

// A photograph as a phone's camera takes it: 4032 x 3024 pixels of
// baseline (or progressive) JPEG at 4:2:0, about 2.9 MB (gradients under
// noise). The same bytes each time; made once.
const std::vector<std::uint8_t>& PhonePhoto(bool progressive = false);

}  // namespace testsupport
