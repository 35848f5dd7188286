// Decoding pictures from outside: the time, and the peak of heap memory a
// decode takes against the bitmap it makes.
//
//   BM_Decode/<picture>   Image::decode of the picture's bytes (already in
//                         memory), or Image::decodeFile of the same bytes in
//                         a file.
//   BM_CairoPngReader     the baseline, what decoding a PNG without alpha
//                         took before: Cairo's own reader (an RGB24 bitmap,
//                         and a copy of the file) and the ARGB32 copy made
//                         from it while it lived (the hostile grey picture
//                         takes 2 GiB so, for a moment).
//
// Pictures (made here, by libpng, and by the tests' JPEG writer):
//   grey, rgb, rgba       4096 x 4096, the budget exactly: a smooth ramp
//                         with a little noise, as a scanned plan has; the
//                         RGBA one half transparent.
//   jpeg, progressive     the RGB picture as baseline and progressive JPEG
//                         at quality 90, 4:2:0.
//   text-bomb             1024 x 1024 of one colour behind 900 chunks of
//                         compressed text that inflate to 7.9 MB each, a
//                         file of 7 MB.
//   hostile-grey, hostile-rgba
//                         16384 x 16384 of one colour: 0.26 MB and 1 MB of
//                         PNG that ask for a 1 GiB bitmap; decoded at 4096 x
//                         4096.
//
//   BM_DecodeUnits/<make-up>
//                         the time a decode takes per unit of the decode
//                         meter's count, against a plain picture's (the
//                         rgb one, reduced to 342 x 342 as a layout of 32
//                         decodes it) decoded alternately in the same run,
//                         by the clock and by the thread's processor time;
//                         the meter's weights keep the ratio at or below
//                         1.5 for every make-up:
//                           png_photo_whole the plain picture at full size
//                           png_paeth_zeros 8192 x 8192 RGBA, rows of zeros,
//                                           every one Paeth, at 1639 x 1639
//                                           (a layout of nine's share)
//                           png_grey1       16384 x 16384 at 1 bit, reduced
//                           png_rgba_paeth  8192 x 8192 RGBA, every row
//                                           Paeth-filtered, reduced
//                           png_rgb16_paeth the same in RGB at 16 bits
//                           png_rgba_none, png_rgba_sub, png_rgba_avg
//                                           4096 x 4096 RGBA, every row
//                                           with that filter
//                           png_rows_<kind>_<filter>
//                                           8192 x 8192 at 1639 x 1639,
//                                           every row with the filter
//                                           (none, sub, up, avg, paeth):
//                                           rows of zeros in grey, rgb,
//                                           rgba, rgb16, rgba16, opaque
//                                           RGBA (paeth), or one row of
//                                           RGB noise again (noise, paeth)
//                           png_filtered_photo_<filter>
//                                           the baseline's photo with
//                                           every row so filtered
//                           png_adam7_rgba  4096 x 4096 RGBA interlaced
//                           png_noise_rgb   2048 x 2048 of noise (literals)
//                           png_palette     8192 x 8192 of 256 colours with
//                                           alpha, reduced
//                           png_idat_bytes  1024 x 1024 RGBA of noise, its
//                                           compressed rows in chunks of
//                                           a byte
//                           png_thin        1 x 16384 RGBA
//                           png_zlib_tail   1 x 1 with 1000 MiB of zeros
//                                           compressed after its row
//                           png_empty_dynamic, png_empty_full_dynamic,
//                           png_empty_fixed, png_empty_stored
//                                           1 x 1 behind 23 MB of empty
//                                           deflate blocks of the kind
//                                           (dynamic: the smallest header,
//                                           and every table at its largest)
//                           jpeg_baseline, jpeg_progressive, jpeg_cmyk
//                                           4096 x 4096
//                           jpeg_restart    a restart marker every MCU
//                           jpeg_arithmetic arithmetic coding
//                           jpeg_noise, jpeg_arithmetic_noise,
//                           jpeg_progressive_noise
//                                           2048 x 2048 of noise at quality
//                                           100; jpeg_progressive_noise_eighth
//                                           the progressive one at 1/8
//                           jpeg_coefficients, jpeg_arithmetic_coefficients
//                                           every coefficient 500
//                           jpeg_segments, jpeg_app14
//                                           64 x 64 behind a million empty
//                                           comments or Adobe segments
//                           jpeg_thin, jpeg_progressive_thin
//                                           1 x 16384
//                           jpeg_photo_eighth, jpeg_progressive_eighth
//                                           a phone's photograph (4032 x
//                                           3024) at 1/8: the progressive
//                                           one read to its DC only
//                         Counters: the time and units of one decode, the
//                         ns a unit of both and their ratio
//                         (per_unit_vs_baseline).
//
//   BM_DecodeStop/<make-up>
//                         a decode whose meter's question is answered yes
//                         from another thread halfway through, as a newer
//                         open does: the worst wait from the answer to the
//                         decode's return (worst_wait_ms), beside the
//                         whole decode's time.
//
//   BM_OpenLayoutPeak     a layout opened and shown in the layout screen
//                         of a phone (390 x 844 points at scale 3), as
//                         the app does, in a process of its own (this
//                         program again), whose peak resident memory
//                         (VmHWM, ru_maxrss) is read once its tiles are
//                         all placed: the shipped sample, and the sample
//                         with an image layer of 32 pictures of 4096 x
//                         4096 (PNGs of one colour each, a small file).
//                         Counters: both peaks, the second over the
//                         first, the layout's budget for pictures, the
//                         bytes its pictures were decoded to, and the
//                         time from the open to the last tile placed.
//
//   BM_OpenLayoutPictures/<case>
//                         a layout opened as the app opens one
//                         (VKMLayoutDocumentHelper::openLayoutFile with
//                         the layout screen's preparer: read on the load
//                         queue, pictures decoded, elements built), timed
//                         from the open to its completion on the main
//                         thread, beside the same file without its
//                         pictures (the baseline, opened in the same
//                         run): the sample with an image layer of
//                           hostile_16384   PNGs of 16384 x 16384 at 1 bit
//                                           a pixel (one colour, about
//                                           40 KB each) to 20 MB;
//                           at_the_bound    PNGs of 8192 x 8192 at 1 bit a
//                                           pixel (about 8 KB each), at
//                                           the work one picture may have,
//                                           to 20 MB: the most work a file
//                                           of 20 MB can ask for;
//                           photos_40       40 photographs of a phone's
//                                           camera (4032 x 3024, 2.98 MB
//                                           of JPEG each), a file of 119
//                                           MB.
//                         Counters: the file's size, both opens' times
//                         and what the pictures added, the pictures shown.
//   BM_NewerOpenDuringHostile
//                         the sample opened a quarter, half and three
//                         quarters of the way into an open of the
//                         at_the_bound file (which decodes its pictures
//                         nearly all that time), timed from its open to its
//                         completion, beside the sample opened alone: the
//                         worst of the three, and what it waited.
//
// Counters: bitmap_MiB is the decoded bitmap, peak_MiB the most heap in use
// above what was in use before the decode (the tests' counting hook on
// malloc, tests/support/HeapPeak.h, compiled in), peak_per_bitmap their
// ratio. The picture's bytes are not counted: they are the caller's.
// Everything allocates through malloc here (Cairo, pixman, libpng, zlib,
// libjpeg, operator new), so the hook sees it all.

#include "platform/graphics/Image.h"

#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "LayoutModule/Scenes/VKMLayoutScenes.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "bench/BenchSupport.h"
#include "bench/LayoutOpening.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Window.h"
#include "tests/support/HeapPeak.h"
#include "tests/support/TestPictures.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

#include <benchmark/benchmark.h>

#include <cairo.h>
#include <png.h>
#include <zlib.h>
// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- pictures ----

std::uint8_t ramp(int x, int y, int channel, std::uint32_t& noise) {
    noise = noise * 1664525u + 1013904223u;
    return static_cast<std::uint8_t>((x / 16 + y / 24 + channel * 60) + ((noise >> 28) & 3));
}

Bytes writeJpeg(int side, bool progressive) {
    std::uint32_t noise = 1;
    return testsupport::Jpeg({side, side, progressive, 90}, [&noise](int x, int y, std::uint8_t* rgb) {
        for (int c = 0; c < 3; ++c) rgb[c] = ramp(x, y, c, noise);
    });
}

// `side` rows of `row` (its filter byte first; the first row `first` when
// given), `side` pixels wide, deflated as a whole at level 9 in pieces of
// `rowsAPiece` rows (zlib keeps no more than the piece in memory).
Bytes repeatedRowsPng(int side, std::uint8_t depth, std::uint8_t colour, const Bytes& row, int rowsAPiece,
                      const Bytes& first = {}) {
    z_stream z{};
    deflateInit(&z, 9);
    Bytes data;
    Bytes piece(row.size() * static_cast<std::size_t>(rowsAPiece));
    for (int i = 0; i < rowsAPiece; ++i) std::memcpy(piece.data() + i * row.size(), row.data(), row.size());
    int y = 0;
    if (!first.empty()) {
        testsupport::DeflatePiece(&z, first.data(), first.size(), Z_NO_FLUSH, data);
        y = 1;
    }
    for (; y < side; y += rowsAPiece) {
        const int rows = std::min(rowsAPiece, side - y);
        const int flush = y + rows >= side ? Z_FINISH : Z_NO_FLUSH;
        testsupport::DeflatePiece(&z, piece.data(), static_cast<std::size_t>(rows) * row.size(), flush, data);
    }
    deflateEnd(&z);
    Bytes header;
    for (int k = 0; k < 2; ++k)
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(side >> shift));
    header.insert(header.end(), {depth, colour, 0, 0, 0});
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    testsupport::PutPngChunk(png, "IHDR", header);
    testsupport::PutPngChunk(png, "IDAT", data);
    testsupport::PutPngChunk(png, "IEND", {});
    return png;
}

// One colour at `side` x `side` (16384 unless given), 8 bits a sample.
Bytes hostilePng(int colour, const Bytes& pixel, int side = 16384) {
    Bytes row{0};
    for (int x = 0; x < side; ++x) row.insert(row.end(), pixel.begin(), pixel.end());
    return repeatedRowsPng(side, 8, static_cast<std::uint8_t>(colour), row, 64);
}

// A layout scenario the benchmark writes itself, parsed; it ends the run
// when it does not parse.
ULayoutGen::tLayoutDocument parsedScenario(const std::string& scenario) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    if (!ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    return document;
}

const Bytes& picture(const std::string& name) {
    static std::map<std::string, Bytes> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    Bytes bytes;
    if (name == "grey") bytes = testsupport::PhotoPng(4096, 4096, PNG_COLOR_TYPE_GRAY);
    if (name == "rgb") bytes = testsupport::PhotoPng(4096, 4096, PNG_COLOR_TYPE_RGB);
    if (name == "rgba") bytes = testsupport::PhotoPng(4096, 4096, PNG_COLOR_TYPE_RGB_ALPHA);
    if (name == "jpeg") bytes = writeJpeg(4096, false);
    if (name == "progressive") bytes = writeJpeg(4096, true);
    if (name == "hostile-grey") bytes = hostilePng(PNG_COLOR_TYPE_GRAY, {77});
    if (name == "hostile-rgba") bytes = hostilePng(PNG_COLOR_TYPE_RGB_ALPHA, {200, 100, 50, 128});
    if (name == "text-bomb") {
        // 1024 x 1024 behind 900 chunks of compressed text, 7.9 MB each
        // once inflated, in 7 MB.
        const Bytes plain(7'900'000, 'a');
        uLongf length = compressBound(static_cast<uLong>(plain.size()));
        Bytes chunk{'k', 'e', 'y', 0, 0};
        Bytes deflated(length);
        compress2(deflated.data(), &length, plain.data(), static_cast<uLong>(plain.size()), 9);
        chunk.insert(chunk.end(), deflated.begin(), deflated.begin() + static_cast<std::ptrdiff_t>(length));
        const Bytes png = testsupport::PlainPng(1024, 1024, PNG_COLOR_TYPE_RGB, {1, 2, 3});
        bytes.assign(png.begin(), png.begin() + 33);  // the signature and IHDR
        for (int i = 0; i < 900; ++i) testsupport::PutPngChunk(bytes, "zTXt", chunk);
        bytes.insert(bytes.end(), png.begin() + 33, png.end());
    }
    return made.emplace(name, std::move(bytes)).first->second;
}

// ---- make-ups, for the decode meter ----

// A PNG written by libpng with one filter on every row; all rows alike
// (the ramp with a little noise) unless `noise`, where each row is new
// noise that deflate cannot shrink.
struct PngMake {
    int width;
    int height;
    int depth;
    int colour;
    bool interlaced = false;
    int filter = PNG_FILTER_PAETH;
    bool noise = false;
};

Bytes makePng(const PngMake& m) {
    testsupport::PngSpec spec{m.width, m.height, m.colour, m.depth};
    spec.interlaced = m.interlaced;
    spec.filters = m.filter;
    std::uint32_t noise = 1;
    Bytes same;
    return testsupport::PngFromRows(spec, [&](int, std::uint8_t* row, std::size_t size) {
        if (m.noise) {
            for (std::size_t i = 0; i < size; ++i)
                row[i] = static_cast<std::uint8_t>((noise = noise * 1664525u + 1013904223u) >> 28);
            return;
        }
        if (same.empty())
            for (std::size_t i = 0; i < size; ++i) same.push_back(ramp(static_cast<int>(i), 0, 0, noise));
        std::copy(same.begin(), same.end(), row);
    });
}

// A 1 x 1 RGBA PNG whose compressed stream goes on after its only row with
// `mebibytes` of zeros, in one IDAT chunk.
Bytes tailPng(int mebibytes) {
    z_stream z{};
    deflateInit(&z, 9);
    Bytes data;
    const Bytes row{0, 10, 20, 30, 255};
    const Bytes zeros(1 << 20, 0);
    const auto put = [&](const Bytes& in, int flush) {
        testsupport::DeflatePiece(&z, in.data(), in.size(), flush, data);
    };
    put(row, Z_NO_FLUSH);
    for (int i = 0; i < mebibytes; ++i) put(zeros, i + 1 == mebibytes ? Z_FINISH : Z_NO_FLUSH);
    deflateEnd(&z);
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    testsupport::PutPngChunk(png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, 0, 0, 0});
    testsupport::PutPngChunk(png, "IDAT", data);
    testsupport::PutPngChunk(png, "IEND", {});
    return png;
}

Bytes photoJpeg(int width, int height, testsupport::JpegSpec spec) {
    spec.width = width;
    spec.height = height;
    std::uint32_t noise = 1;
    return testsupport::Jpeg(spec, [&noise](int x, int y, std::uint8_t* rgb) {
        for (int c = 0; c < 3; ++c) {
            noise = noise * 1664525u + 1013904223u;
            rgb[c] = static_cast<std::uint8_t>(x / 7 + y / 5 + c * 60 + (noise >> 24) % 12);
        }
    });
}

// A grey JPEG of `side` x `side` written from its coefficients: every
// block alike, every coefficient `value` (quantized by ones), so that an
// arithmetic coder learns it and spends next to no bytes on a block.
Bytes coefficientJpeg(int side, short value, bool arithmetic) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(side);
    cinfo.image_height = static_cast<JDIMENSION>(side);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.arith_code = arithmetic ? TRUE : FALSE;
    const auto blocks = static_cast<JDIMENSION>(side / 8);
    jvirt_barray_ptr arrays[1] = {
        cinfo.mem->request_virt_barray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, TRUE, blocks, blocks, 1)};
    jpeg_write_coefficients(&cinfo, arrays);
    for (JDIMENSION y = 0; y < blocks; ++y) {
        JBLOCKARRAY row = cinfo.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&cinfo), arrays[0], y, 1, TRUE);
        for (JDIMENSION x = 0; x < blocks; ++x)
            for (int k = 0; k < DCTSIZE2; ++k) row[0][x][k] = static_cast<JCOEF>(k == 0 ? 0 : value);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// `png` with its compressed rows cut into IDAT chunks of one byte each.
Bytes byteChunks(const Bytes& png) {
    Bytes out(png.begin(), png.begin() + 33);  // the signature and IHDR
    std::size_t at = 33;
    while (at + 8 <= png.size()) {
        const std::size_t length = (std::size_t{png[at]} << 24) | (std::size_t{png[at + 1]} << 16) |
                                   (std::size_t{png[at + 2]} << 8) | png[at + 3];
        const Bytes data(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                         png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               png.begin() + static_cast<std::ptrdiff_t>(at + 8));
        if (type == "IDAT") {
            for (const std::uint8_t byte : data) testsupport::PutPngChunk(out, "IDAT", {byte});
        } else {
            testsupport::PutPngChunk(out, type.c_str(), data);
        }
        at += 12 + length;
    }
    return out;
}

struct MakeUp {
    Bytes bytes;
    long long maxPixels = platform::Image::kDecodedPixelBudget;
    int repeat = 1;  // decodes a measurement, for the quick ones
};

const MakeUp& makeUp(const std::string& name) {
    static std::map<std::string, MakeUp> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    MakeUp m;
    constexpr int kGrey = PNG_COLOR_TYPE_GRAY;
    constexpr int kRgb = PNG_COLOR_TYPE_RGB;
    constexpr int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;
    if (name == "png_baseline" || name == "png_photo_whole") m.bytes = picture("rgb");
    // As a layout of 32 decodes each: 342 x 342.
    if (name == "png_baseline") m.maxPixels = 342 * 342;
    if (name == "png_paeth_zeros") {
        // A layout's hostile picture: rows of zeros, every one Paeth, at
        // the share each of nine gets (1639 x 1639).
        Bytes row(1 + 8192 * 4, 0);
        row[0] = PNG_FILTER_VALUE_PAETH;
        m.bytes = repeatedRowsPng(8192, 8, kRgba, row, 64);
        m.maxPixels = 1639 * 1639;
    }
    if (name.starts_with("png_rows_") || name.starts_with("png_filtered_photo_")) {
        // png_rows_<colour>_<filter>: 8192 x 8192, rows of zeros, every one
        // with the filter, at the share each of nine gets (the same pixels
        // whatever the filter); png_filtered_photo_<filter>: the baseline's photo
        // with every row so filtered, as a layout of 32 decodes it.
        const bool photo = name.starts_with("png_filtered_photo_");
        const std::string colourName = photo ? "" : name.substr(9, name.rfind('_') - 9);
        const std::map<std::string, int> filters{{"none", 0}, {"sub", 1}, {"up", 2}, {"avg", 3}, {"paeth", 4}};
        const int filter = filters.at(name.substr(name.rfind('_') + 1));
        if (photo) {
            std::uint32_t noise = 1;
            testsupport::PngSpec spec{4096, 4096, kRgb};
            spec.filters = PNG_FILTER_NONE << filter;
            m.bytes = testsupport::Png(spec, [&noise](int x, int y, std::uint16_t* samples) {
                for (int c = 0; c < 3; ++c) {
                    noise = noise * 1664525u + 1013904223u;
                    samples[c] = static_cast<std::uint8_t>(x / 16 + y / 24 + c * 60 + ((noise >> 28) & 3));
                }
            });
            m.maxPixels = 342 * 342;
        } else {
            struct Colour {
                int type;
                int depth;
                int bytes;
            };
            const std::map<std::string, Colour> colours{{"grey", {kGrey, 8, 1}},    {"rgb", {kRgb, 8, 3}},
                                                        {"rgba", {kRgba, 8, 4}},    {"rgb16", {kRgb, 16, 6}},
                                                        {"rgba16", {kRgba, 16, 8}}, {"opaque", {kRgba, 8, 4}},
                                                        {"noise", {kRgb, 8, 3}}};
            const Colour colour = colours.at(colourName);
            Bytes row(1 + 8192 * static_cast<std::size_t>(colour.bytes), 0);
            row[0] = static_cast<std::uint8_t>(filter);
            const auto depth = static_cast<std::uint8_t>(colour.depth);
            const auto type = static_cast<std::uint8_t>(colour.type);
            // Opaque (Paeth): the first row's first alpha spreads along it
            // and down. Noise: the same row of noise again and again (long
            // matches to inflate), pixels Paeth cannot foresee.
            Bytes first;
            if (colourName == "opaque") first = row, first[4] = 255;
            if (colourName == "noise") {
                std::uint32_t noise = 5;
                for (std::size_t i = 1; i < row.size(); ++i)
                    row[i] = static_cast<std::uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24);
            }
            m.bytes = repeatedRowsPng(8192, depth, type, row, 64, first);
            m.maxPixels = 1639 * 1639;
        }
    }
    if (name == "png_grey1") m.bytes = makePng({16384, 16384, 1, kGrey, false, PNG_FILTER_UP});
    if (name == "png_rgba_paeth") m.bytes = makePng({8192, 8192, 8, kRgba});
    if (name == "png_rgba_none") m.bytes = makePng({4096, 4096, 8, kRgba, false, PNG_FILTER_NONE});
    if (name == "png_rgba_sub") m.bytes = makePng({4096, 4096, 8, kRgba, false, PNG_FILTER_SUB});
    if (name == "png_rgba_avg") m.bytes = makePng({4096, 4096, 8, kRgba, false, PNG_FILTER_AVG});
    if (name == "png_rgb16_paeth") m.bytes = makePng({8192, 8192, 16, kRgb});
    if (name == "png_adam7_rgba") m.bytes = makePng({4096, 4096, 8, kRgba, true});
    if (name == "png_noise_rgb") m.bytes = makePng({2048, 2048, 8, kRgb, false, PNG_FILTER_NONE, true});
    if (name == "png_palette") m.bytes = makePng({8192, 8192, 8, PNG_COLOR_TYPE_PALETTE});
    if (name == "png_idat_bytes") m.bytes = byteChunks(makePng({1024, 1024, 8, kRgba, false, PNG_FILTER_NONE, true}));
    if (name == "png_thin") {
        m.bytes = makePng({1, 16384, 8, kRgba});
        m.repeat = 200;
    }
    if (name == "png_zlib_tail") {
        m.bytes = tailPng(1000);
        m.repeat = 20;
    }
    if (name.starts_with("png_empty_")) {
        // 1 x 1 RGBA behind 23 MB of empty deflate blocks of the kind.
        const int type = name == "png_empty_full_dynamic" ? 3
                         : name == "png_empty_dynamic"    ? 2
                         : name == "png_empty_fixed"      ? 1
                                                          : 0;
        const long long blocks = 23'000'000LL * 8 / (type == 3 ? 694 : type == 2 ? 90 : type == 1 ? 10 : 40);
        m.bytes =
            testsupport::PngOfStream(1, 1, kRgba, testsupport::ZlibAfterEmptyBlocks(type, blocks, {0, 1, 2, 3, 4}));
    }
    if (name == "jpeg_baseline") m.bytes = picture("jpeg");
    if (name == "jpeg_progressive") m.bytes = picture("progressive");
    if (name == "jpeg_restart") m.bytes = photoJpeg(4096, 4096, {.quality = 90, .restartMcus = 1});
    if (name == "jpeg_arithmetic") m.bytes = photoJpeg(4096, 4096, {.quality = 90, .arithmetic = true});
    if (name == "jpeg_cmyk") {
        std::uint32_t noise = 1;
        m.bytes = testsupport::Jpeg({4096, 4096, false, 90, testsupport::JpegColours::Cmyk},
                                    [&noise](int x, int y, std::uint8_t* cmyk) {
                                        for (int c = 0; c < 4; ++c) cmyk[c] = ramp(x, y, c, noise);
                                    });
    }
    if (name == "jpeg_noise" || name == "jpeg_arithmetic_noise" || name == "jpeg_progressive_noise" ||
        name == "jpeg_progressive_noise_eighth") {
        // Every coefficient large: the most decisions an arithmetic-coded
        // block can take, the most bits a progressive scan refines.
        std::uint32_t noise = 1;
        const bool progressive = name.starts_with("jpeg_progressive");
        if (name == "jpeg_progressive_noise_eighth") m.maxPixels = 256 * 256;
        m.bytes = testsupport::Jpeg(
            {2048, 2048, progressive, 100, testsupport::JpegColours::Rgb, name == "jpeg_arithmetic_noise"},
            [&noise](int, int, std::uint8_t* rgb) {
                for (int c = 0; c < 3; ++c)
                    rgb[c] = static_cast<std::uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24);
            });
    }
    if (name == "jpeg_coefficients") m.bytes = coefficientJpeg(2048, 500, false);
    if (name == "jpeg_arithmetic_coefficients") m.bytes = coefficientJpeg(2048, 500, true);
    if (name == "jpeg_segments" || name == "jpeg_app14") {
        // A small picture behind a million empty comments (or Adobe
        // segments), 4 MB (14 MB).
        const Bytes picture = photoJpeg(64, 64, {.quality = 90});
        const Bytes segment = name == "jpeg_segments"
                                  ? Bytes{0xFF, 0xFE, 0x00, 0x02}
                                  : Bytes{0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
        m.bytes.assign(picture.begin(), picture.begin() + 2);
        for (int i = 0; i < 1'000'000; ++i) m.bytes.insert(m.bytes.end(), segment.begin(), segment.end());
        m.bytes.insert(m.bytes.end(), picture.begin() + 2, picture.end());
    }
    if (name == "jpeg_thin") {
        m.bytes = photoJpeg(1, 16384, {.quality = 90});
        m.repeat = 50;
    }
    if (name == "jpeg_progressive_thin") {
        m.bytes = photoJpeg(1, 16384, {.progressive = true, .quality = 90});
        m.repeat = 50;
    }
    if (name == "jpeg_photo_eighth" || name == "jpeg_progressive_eighth") {
        m.bytes = name == "jpeg_photo_eighth" ? testsupport::PhonePhoto()
                                              : photoJpeg(4032, 3024, {.progressive = true, .quality = 92});
        m.maxPixels = (4032 / 8) * (3024 / 8);
        m.repeat = 4;
    }
    return made.emplace(name, std::move(m)).first->second;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Seconds for the make-up's decodes; their units added to `units`, the
// processor time they took to `cpu`.
double timedDecodes(const MakeUp& m, long long& units, bool& decoded, double* cpu = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    for (int i = 0; i < m.repeat; ++i) {
        const auto decoding = platform::Image::decode(m.bytes, 1, m.maxPixels);
        units += decoding.work;
        decoded = decoded && decoding.image != nullptr;
    }
    if (cpu != nullptr) *cpu += threadCpuSeconds() - cpuStart;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// BM_DecodeUnits/<make-up>: the time of a decode per unit the decode meter
// counted for it, against the baseline's (4096 x 4096 of RGB written with
// libpng's usual filters, reduced to 342 x 342 as a layout of 32 such
// photos decodes it, decoded alternately in the same run). Counters: the
// make-up's time and units a decode, the ns per unit of both, and their
// ratio (per_unit_vs_baseline, which the meter's weights keep at or below
// 1.5), and the same ratio in processor time (cpu_per_unit_vs_baseline).
void BM_DecodeUnits(benchmark::State& state, const std::string& name) {
    const MakeUp& baseline = makeUp("png_baseline");
    const MakeUp& m = makeUp(name);
    double seconds = 0;
    double baseSeconds = 0;
    double cpu = 0;
    double baseCpu = 0;
    long long units = 0;
    long long baseUnits = 0;
    bool decoded = true;
    for (auto _ : state) {
        baseSeconds += timedDecodes(baseline, baseUnits, decoded, &baseCpu);
        const double s = timedDecodes(m, units, decoded, &cpu);
        seconds += s;
        state.SetIterationTime(s / m.repeat);
    }
    if (!decoded || units == 0 || baseUnits == 0) {
        state.SkipWithError("a picture did not decode");
        return;
    }
    const double decodes = static_cast<double>(state.iterations()) * m.repeat;
    const double perUnit = seconds * 1e9 / static_cast<double>(units);
    const double basePerUnit = baseSeconds * 1e9 / static_cast<double>(baseUnits);
    state.counters["file_MB"] = static_cast<double>(m.bytes.size()) / 1e6;
    state.counters["ms_a_decode"] = seconds * 1e3 / decodes;
    state.counters["Munits_a_decode"] = static_cast<double>(units) / 1e6 / decodes;
    state.counters["ns_per_unit"] = perUnit;
    state.counters["baseline_ns_per_unit"] = basePerUnit;
    state.counters["per_unit_vs_baseline"] = perUnit / basePerUnit;
    state.counters["cpu_per_unit_vs_baseline"] =
        (cpu / static_cast<double>(units)) / (baseCpu / static_cast<double>(baseUnits));
}

// BM_DecodeStop/<make-up>: a decode no longer wanted halfway through (its
// meter's question answered yes from another thread, as a newer open
// does): the time from the answer changing to the decode's return, the
// worst of the runs.
void BM_DecodeStop(benchmark::State& state, const std::string& name) {
    const MakeUp& m = makeUp(name);
    long long units = 0;
    bool decoded = true;
    const double whole = timedDecodes({m.bytes, m.maxPixels, 1}, units, decoded);
    double worst = 0;
    bool stopped = true;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::chrono::steady_clock::time_point asked;
        std::thread asker([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(whole / 2));
            asked = std::chrono::steady_clock::now();
            stop = true;
        });
        platform::DecodeMeter meter(std::numeric_limits<long long>::max(), [&stop] { return stop.load(); });
        const auto decoding = platform::Image::decode(m.bytes, 1, m.maxPixels, &meter);
        const auto done = std::chrono::steady_clock::now();
        asker.join();
        stopped = stopped && decoding.cut == platform::ImageDecoding::Cut::stopped;
        const double waited = std::chrono::duration<double>(done - asked).count();
        worst = std::max(worst, waited);
        state.SetIterationTime(waited);
    }
    if (!stopped) {
        state.SkipWithError("a decode was not stopped");
        return;
    }
    state.counters["whole_decode_ms"] = whole * 1e3;
    state.counters["worst_wait_ms"] = worst * 1e3;
}

// ---- measuring ----

void report(benchmark::State& state, long long peak, long long bitmap, std::size_t fileBytes) {
    constexpr double kMiB = 1024.0 * 1024.0;
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["bitmap_MiB"] = static_cast<double>(bitmap) / kMiB;
    state.counters["peak_MiB"] = static_cast<double>(peak) / kMiB;
    state.counters["peak_per_bitmap"] = bitmap > 0 ? static_cast<double>(peak) / static_cast<double>(bitmap) : 0;
}

long long bitmapBytes(const platform::Image& image) {
    return static_cast<long long>(image.premultipliedRows().bytesPerRow) * image.pixelHeight();
}

void BM_Decode(benchmark::State& state, const std::string& name, bool fromFile) {
    const Bytes& bytes = picture(name);
    std::filesystem::path file;
    if (fromFile) {
        file = std::filesystem::temp_directory_path() / ("bench-images-" + std::to_string(getpid()) + "-" + name);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    long long peak = 0;
    long long bitmap = 0;
    for (auto _ : state) {
        const testsupport::HeapPeak measured;
        auto decoded = fromFile ? platform::Image::decodeFile(file) : platform::Image::decode(bytes);
        peak = std::max(peak, measured.bytes());
        if (!decoded.image) {
            state.SkipWithError("the picture did not decode");
            break;
        }
        bitmap = bitmapBytes(*decoded.image);
        benchmark::DoNotOptimize(decoded.image->premultipliedRows().data);
    }
    report(state, peak, bitmap, bytes.size());
    if (fromFile) std::filesystem::remove(file);
}

void BM_CairoPngReader(benchmark::State& state, const std::string& name) {
    const Bytes& bytes = picture(name);
    long long peak = 0;
    long long bitmap = 0;
    for (auto _ : state) {
        const testsupport::HeapPeak measured;
        struct Cursor {
            const Bytes* bytes;
            std::size_t at;
        } cursor{&bytes, 0};
        cairo_surface_t* read = cairo_image_surface_create_from_png_stream(
            [](void* closure, unsigned char* out, unsigned int length) {
                auto* c = static_cast<Cursor*>(closure);
                if (length > c->bytes->size() - c->at) return CAIRO_STATUS_READ_ERROR;
                std::memcpy(out, c->bytes->data() + c->at, length);
                c->at += length;
                return CAIRO_STATUS_SUCCESS;
            },
            &cursor);
        // The conversion the decoder made for pictures without alpha.
        cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(read),
                                                           cairo_image_surface_get_height(read));
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_surface(cr, read, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(read);
        cairo_surface_flush(argb);
        peak = std::max(peak, measured.bytes());
        bitmap = static_cast<long long>(cairo_image_surface_get_stride(argb)) * cairo_image_surface_get_height(argb);
        cairo_surface_destroy(argb);
    }
    report(state, peak, bitmap, bytes.size());
}

// ---- a layout opened in the app's layout screen, in a process of its own ----

#ifndef VEKMONT_SAMPLE_SCENARIO
#error "the layout case needs the sample scenario"
#endif

std::string readText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The sample, and with `pictures` of 4096 x 4096 on an image layer of its
// own laid over the workspace; written by layoutgen. The file's path.
std::filesystem::path writeLayout(const std::filesystem::path& folder, int pictures) {
    std::string scenario = readText(VEKMONT_SAMPLE_SCENARIO);
    if (pictures > 0) scenario += "\nlayer \"Pictures\" type=image\n";
    for (int i = 0; i < pictures; ++i) {
        scenario += "image \"Picture " + std::to_string(i + 1) + "\" at=" + std::to_string(-450 + 370 * (i % 8)) + "," +
                    std::to_string(-420 + 470 * (i / 8)) + " size=350,450 layer=\"Pictures\"\n";
    }
    ULayoutGen::tLayoutDocument document = parsedScenario(scenario);
    for (std::size_t i = 0; i < document.images.size(); ++i) {
        const auto grey = static_cast<std::uint8_t>(40 + 6 * i);
        document.ReplacePicture(
            i, hostilePng(PNG_COLOR_TYPE_RGB, {grey, static_cast<std::uint8_t>(255 - grey), 128}, 4096));
    }
    const auto path = folder / ("layout-" + std::to_string(pictures) + ".wkst");
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent())) std::abort();
    return path;
}

long long peakResidentKiB() {
    long long kib = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) kib = std::atoll(line.c_str() + 6);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::max(kib, static_cast<long long>(usage.ru_maxrss));
}

// The child: opens the layout in the layout screen of a phone as the app
// does and prints its peak resident memory and the bytes of its decoded
// pictures.
int openLayoutAndReport(const char* path) {
    SetUpBenchEngine("vekmont-bench-images");
    using namespace platform::ui;
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scoped(clock);
    const auto advance = [&clock](double seconds) {
        clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    };
    const platform::Size points{390, 844};
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    Screen::mainScreen()->setSize(points);
    Screen::mainScreen()->setScale(3);
    VKMLayoutScenes::registerScenes();
    auto controller = Storyboard(VKMLayoutScenes::kStoryboard)
                          .instantiateViewControllerAs<VKMLayoutViewController>(VKMLayoutScenes::kLayoutViewController);
    auto window = std::make_shared<Window>(platform::Rect{0, 0, points.width, points.height});
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    advance(0.1);
    const auto start = std::chrono::steady_clock::now();
    if (!VKMLayoutDocumentHelper::loadLayoutFile(path)) return 1;
    advance(1);
    window->snapshot();
    if (!controller->outlets.layoutView.lock()->waitForTiles()) return 1;
    window->snapshot();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t decoded = VKMLayoutPictures::decodedBytes(CCurrentCloudLayout::Instance().Layout()->GetImages());
    std::printf("\nopened: %lld KiB at the peak, %zu bytes of pictures, %.3f s\n", peakResidentKiB(), decoded, seconds);
    std::fflush(stdout);
    // Ends without tearing the app down; its root is removed here, as the
    // exit would have.
    std::error_code ignored;
    if (const char* root = std::getenv("VEKMONT_HOME")) std::filesystem::remove_all(root, ignored);
    std::_Exit(0);
}

struct Opened {
    double peakMiB = 0;
    double decodedMiB = 0;
    double seconds = 0;
};

// Runs this program again on the layout and reads what it printed.
Opened openInChild(const std::filesystem::path& layout) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) std::abort();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        execl("/proc/self/exe", "bench_images", "--open-layout", layout.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, std::size_t(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    long long kib = 0;
    unsigned long long decoded = 0;
    double seconds = 0;
    // The log shares the output: the line of the result is found by its start.
    const std::size_t line = out.rfind("\nopened: ");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || line == std::string::npos ||
        std::sscanf(out.c_str() + line, "\nopened: %lld KiB at the peak, %llu bytes of pictures, %lf s", &kib, &decoded,
                    &seconds) != 3)
        return {};
    return {static_cast<double>(kib) / 1024.0, static_cast<double>(decoded) / (1024.0 * 1024.0), seconds};
}

void BM_OpenLayoutPeak(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / ("bench-images-layouts-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto sample = writeLayout(folder, 0);
    const auto pictures = writeLayout(folder, 32);
    Opened alone;
    Opened with;
    for (auto _ : state) {
        alone = openInChild(sample);
        with = openInChild(pictures);
        if (alone.peakMiB == 0 || with.peakMiB == 0) {
            state.SkipWithError("the layout screen did not open the layout");
            break;
        }
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(pictures)) / 1e6;
    state.counters["sample_peak_MiB"] = alone.peakMiB;
    state.counters["pictures_peak_MiB"] = with.peakMiB;
    state.counters["over_sample_MiB"] = with.peakMiB - alone.peakMiB;
    state.counters["budget_MiB"] = static_cast<double>(VKMLayoutPictures::kLayoutPictureBytes) / (1024.0 * 1024.0);
    state.counters["decoded_MiB"] = with.decodedMiB;
    state.counters["sample_open_s"] = alone.seconds;
    state.counters["pictures_open_s"] = with.seconds;
    std::filesystem::remove_all(folder);
}

// ---- opening layouts of many pictures as the app opens them ----

// Grey of `side` x `side` at 1 bit a pixel, all black: what a hostile file
// declares for the least bytes.
Bytes bitPng(int side) {
    return repeatedRowsPng(side, 1, PNG_COLOR_TYPE_GRAY, Bytes(1 + static_cast<std::size_t>(side) / 8, 0), 256);
}

// The sample with `count` copies of `picture` on an image layer of its
// own, or without them (and without the layer): the file's path.
std::filesystem::path writePicturesLayout(const std::filesystem::path& path, const Bytes& picture, int count,
                                          bool withPictures) {
    std::string scenario = readText(VEKMONT_SAMPLE_SCENARIO);
    if (withPictures) {
        scenario += "\nlayer \"Pictures\" type=image\n";
        for (int i = 0; i < count; ++i) {
            scenario += "image \"Picture " + std::to_string(i + 1) + "\" at=" + std::to_string(-450 + 40 * (i % 32)) +
                        "," + std::to_string(-420 + 40 * (i / 32)) + " size=35,45 layer=\"Pictures\"\n";
        }
    }
    ULayoutGen::tLayoutDocument document = parsedScenario(scenario);
    for (std::size_t i = 0; i < document.images.size(); ++i) document.ReplacePicture(i, picture);
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent())) std::abort();
    return path;
}

using benchsupport::Open;
using benchsupport::OpenAndWait;
using benchsupport::PicturesShown;

void setUpOpening() { benchsupport::SetUpOpening("vekmont-bench-images"); }

const Bytes& layoutPicture(const std::string& name) {
    static std::map<std::string, Bytes> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    Bytes bytes;
    if (name == "hostile_16384") bytes = bitPng(16384);
    if (name == "at_the_bound") bytes = bitPng(8192);
    if (name == "photos_40") bytes = testsupport::PhonePhoto();
    return made.emplace(name, std::move(bytes)).first->second;
}

// Copies of the picture to make a file of about 20 MB; 40 photographs.
int copiesOf(const std::string& name) {
    if (name == "photos_40") return 40;
    return static_cast<int>(std::min<std::size_t>(4096, 20'000'000 / (layoutPicture(name).size() + 200)));
}

void BM_OpenLayoutPictures(benchmark::State& state, const std::string& name) {
    setUpOpening();
    const auto folder = std::filesystem::temp_directory_path() / ("bench-images-open-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const Bytes& picture = layoutPicture(name);
    const int copies = copiesOf(name);
    const auto with = writePicturesLayout(folder / (name + ".wkst"), picture, copies, true);
    const auto without = writePicturesLayout(folder / (name + "-without.wkst"), picture, copies, false);
    // The worst of the runs: the target is for every open.
    Open alone;
    Open opened;
    double added = 0;
    std::size_t shown = 0;
    for (auto _ : state) {
        const Open baseline = OpenAndWait(without);
        const Open open = OpenAndWait(with);
        shown = PicturesShown();
        if (!baseline.ok || !open.ok) {
            state.SkipWithError("the layout did not open");
            break;
        }
        if (open.seconds - baseline.seconds >= added) {
            added = open.seconds - baseline.seconds;
            alone = baseline;
            opened = open;
        }
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(with)) / 1e6;
    state.counters["pictures"] = copies;
    state.counters["shown"] = static_cast<double>(shown);
    state.counters["without_s"] = alone.seconds;
    state.counters["with_s"] = opened.seconds;
    state.counters["added_s"] = added;
    std::filesystem::remove_all(folder);
}

void BM_NewerOpenDuringHostile(benchmark::State& state) {
    setUpOpening();
    const auto folder = std::filesystem::temp_directory_path() / ("bench-images-newer-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const Bytes& picture = layoutPicture("at_the_bound");
    const auto hostile = writePicturesLayout(folder / "hostile.wkst", picture, copiesOf("at_the_bound"), true);
    const auto sample = writePicturesLayout(folder / "sample.wkst", picture, 0, false);
    Open alone;
    Open hostileAlone;
    double waited = 0;
    double during = 0;
    for (auto _ : state) {
        alone = OpenAndWait(sample);
        hostileAlone = OpenAndWait(hostile);
        // The newer open a quarter, half and three quarters into the
        // hostile one (its decode is nearly all of it); the worst.
        for (const double part : {0.25, 0.5, 0.75}) {
            bool hostileDone = false;
            VKMLayoutDocumentHelper::openLayoutFile(hostile.string(), [&hostileDone](bool) { hostileDone = true; });
            std::this_thread::sleep_for(std::chrono::duration<double>(hostileAlone.seconds * part));
            const Open newer = OpenAndWait(sample);
            platform::RunLoop::main()->runUntil([&hostileDone] { return hostileDone; }, std::chrono::minutes(1));
            if (!alone.ok || !hostileAlone.ok || !newer.ok) {
                state.SkipWithError("the layouts did not open");
                break;
            }
            if (newer.seconds - alone.seconds >= waited) {
                waited = newer.seconds - alone.seconds;
                during = newer.seconds;
            }
        }
    }
    state.counters["alone_s"] = alone.seconds;
    state.counters["hostile_s"] = hostileAlone.seconds;
    state.counters["during_hostile_s"] = during;
    state.counters["waited_s"] = waited;
    std::filesystem::remove_all(folder);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Decode, grey, std::string("grey"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, rgb, std::string("rgb"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, rgba, std::string("rgba"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, rgb_from_file, std::string("rgb"), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, jpeg, std::string("jpeg"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, jpeg_from_file, std::string("jpeg"), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, progressive, std::string("progressive"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, hostile_grey, std::string("hostile-grey"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, hostile_rgba, std::string("hostile-rgba"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, text_bomb, std::string("text-bomb"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CairoPngReader, grey, std::string("grey"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CairoPngReader, rgb, std::string("rgb"))->Unit(benchmark::kMillisecond);
// 2 GiB for a moment: what the hostile picture cost before.
BENCHMARK_CAPTURE(BM_CairoPngReader, hostile_grey, std::string("hostile-grey"))->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_DecodeUnits, png_baseline, std::string("png_baseline"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_photo_whole, std::string("png_photo_whole"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_paeth_zeros, std::string("png_paeth_zeros"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_grey1, std::string("png_grey1"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_rgba_paeth, std::string("png_rgba_paeth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_rgba_sub, std::string("png_rgba_sub"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_rgba_avg, std::string("png_rgba_avg"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_rgba_none, std::string("png_rgba_none"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_rgb16_paeth, std::string("png_rgb16_paeth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_adam7_rgba, std::string("png_adam7_rgba"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_noise_rgb, std::string("png_noise_rgb"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_palette, std::string("png_palette"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_idat_bytes, std::string("png_idat_bytes"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_thin, std::string("png_thin"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_zlib_tail, std::string("png_zlib_tail"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_empty_dynamic, std::string("png_empty_dynamic"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_empty_full_dynamic, std::string("png_empty_full_dynamic"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_empty_fixed, std::string("png_empty_fixed"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, png_empty_stored, std::string("png_empty_stored"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_baseline, std::string("jpeg_baseline"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_progressive, std::string("jpeg_progressive"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_restart, std::string("jpeg_restart"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_arithmetic, std::string("jpeg_arithmetic"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_cmyk, std::string("jpeg_cmyk"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_noise, std::string("jpeg_noise"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_arithmetic_noise, std::string("jpeg_arithmetic_noise"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_progressive_noise, std::string("jpeg_progressive_noise"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_progressive_noise_eighth, std::string("jpeg_progressive_noise_eighth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_coefficients, std::string("jpeg_coefficients"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_arithmetic_coefficients, std::string("jpeg_arithmetic_coefficients"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_segments, std::string("jpeg_segments"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_app14, std::string("jpeg_app14"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_thin, std::string("jpeg_thin"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_progressive_thin, std::string("jpeg_progressive_thin"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_photo_eighth, std::string("jpeg_photo_eighth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeUnits, jpeg_progressive_eighth, std::string("jpeg_progressive_eighth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

BENCHMARK_CAPTURE(BM_DecodeStop, png_rgba_paeth, std::string("png_rgba_paeth"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeStop, png_adam7_rgba, std::string("png_adam7_rgba"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeStop, jpeg_baseline, std::string("jpeg_baseline"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeStop, jpeg_progressive, std::string("jpeg_progressive"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_DecodeStop, jpeg_arithmetic, std::string("jpeg_arithmetic"))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

BENCHMARK(BM_OpenLayoutPeak)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_OpenLayoutPictures, hostile_16384, std::string("hostile_16384"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_OpenLayoutPictures, at_the_bound, std::string("at_the_bound"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_OpenLayoutPictures, photos_40, std::string("photos_40"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_NewerOpenDuringHostile)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--open-layout") == 0) return openLayoutAndReport(argv[2]);
    // Each filter on rows of zeros, and on the photo.
    std::vector<std::string> filtered;
    for (const char* filter : {"none", "sub", "up", "avg", "paeth"}) {
        for (const char* colour : {"grey", "rgb", "rgba", "rgb16", "rgba16"})
            filtered.push_back(std::string("png_rows_") + colour + "_" + filter);
        filtered.push_back(std::string("png_filtered_photo_") + filter);
    }
    filtered.push_back("png_rows_opaque_paeth");
    filtered.push_back("png_rows_noise_paeth");
    for (const std::string& name : filtered) {
        benchmark::RegisterBenchmark(("BM_DecodeUnits/" + name).c_str(),
                                     [name](benchmark::State& state) { BM_DecodeUnits(state, name); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(5);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
