#include "tests/support/TestPictures.h"

#include <png.h>
#include <zlib.h>
// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

void PutPngChunk(Bytes& png, const char* type, const Bytes& data) {
    const auto put32 = [&png](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    put32(static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}


// Every row is the same (filter Sub, so all zeros after the first pixel) and
// is deflated once, flushed whole so that it stands alone, and its deflated
// bytes repeated. libpng's own writer takes seconds over the gigabyte of a
// 16384 x 16384 picture.
Bytes PlainPng(int width, int height, int colour, const Bytes& pixel, int depth,
               const std::vector<std::pair<std::string, Bytes>>& chunks) {
    Bytes row(1 + static_cast<std::size_t>(width) * pixel.size(), 0);
    row[0] = 1;  // filter: Sub
    std::copy(pixel.begin(), pixel.end(), row.begin() + 1);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);  // raw deflate
    Bytes deflated(deflateBound(&z, static_cast<uLong>(row.size())) + 16);
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    z.next_out = deflated.data();
    z.avail_out = static_cast<uInt>(deflated.size());
    deflate(&z, Z_FULL_FLUSH);
    deflated.erase(deflated.end() - static_cast<std::ptrdiff_t>(z.avail_out), deflated.end());
    deflateEnd(&z);

    Bytes header;
    for (const int side : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(side >> shift));
    header.insert(header.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colour), 0, 0, 0});
    Bytes data{0x78, 0xDA};
    const uLong rowSum = adler32(1, row.data(), static_cast<uInt>(row.size()));
    uLong sum = 1;
    for (int y = 0; y < height; ++y) {
        data.insert(data.end(), deflated.begin(), deflated.end());
        sum = adler32_combine(sum, rowSum, static_cast<z_off_t>(row.size()));
    }
    data.insert(data.end(), {0x03, 0x00});  // the last block: empty, fixed codes
    for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<std::uint8_t>(sum >> shift));
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutPngChunk(png, "IHDR", header);
    for (const auto& [type, bytes] : chunks) PutPngChunk(png, type.c_str(), bytes);
    PutPngChunk(png, "IDAT", data);
    PutPngChunk(png, "IEND", {});
    return png;
}

Bytes Jpeg(const JpegSpec& spec, const std::function<void(int, int, std::uint8_t*)>& pixel) {
    const int components = static_cast<int>(spec.colours);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(spec.width);
    cinfo.image_height = static_cast<JDIMENSION>(spec.height);
    cinfo.input_components = components;
    cinfo.in_color_space = spec.colours == JpegColours::Grey   ? JCS_GRAYSCALE
                           : spec.colours == JpegColours::Cmyk ? JCS_CMYK
                                                               : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, spec.quality, TRUE);
    if (spec.progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = spec.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = spec.restartRows;
    if (spec.restartMcus > 0) cinfo.restart_interval = static_cast<unsigned>(spec.restartMcus);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(static_cast<std::size_t>(spec.width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < spec.width; ++x) pixel(x, y, row.data() + static_cast<std::size_t>(x) * components);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void DeflatePiece(void* stream, const std::uint8_t* data, std::size_t size, int flush, Bytes& into) {
    z_stream& z = *static_cast<z_stream*>(stream);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    std::uint8_t out[1 << 16];
    int status = Z_OK;
    do {
        z.next_out = out;
        z.avail_out = sizeof out;
        status = deflate(&z, flush);
        into.insert(into.end(), out, out + (sizeof out - z.avail_out));
    } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

namespace {

// Deflate's bits, least significant first.
struct BitWriter {
    Bytes out;
    int used = 0;  // bits of the last byte taken
    void put(unsigned value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (used == 0) out.push_back(0);
            out.back() = static_cast<std::uint8_t>(out.back() | (((value >> i) & 1u) << used));
            used = (used + 1) % 8;
        }
    }
    void align() { used = 0; }
};

void putStoredBlock(BitWriter& w, bool last, const std::uint8_t* data, std::size_t size) {
    w.put(last ? 1 : 0, 3);
    w.align();
    const auto length = static_cast<unsigned>(size);
    for (const unsigned v : {length, ~length & 0xFFFFu}) {
        w.out.push_back(static_cast<std::uint8_t>(v));
        w.out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    w.out.insert(w.out.end(), data, data + size);
}

void putEmptyDynamicBlock(BitWriter& w) {
    w.put(2 << 1, 3);                                                  // not last, dynamic codes
    w.put(0, 5);                                                       // 257 literal/length codes
    w.put(0, 5);                                                       // 1 distance code
    w.put(14, 4);                                                      // 18 code length codes
    for (int i = 0; i < 18; ++i) w.put(i == 2 || i == 17 ? 1 : 0, 3);  // symbols 18 and 1: codes 1 and 0
    w.put(1, 1), w.put(127, 7);                                        // 138 zeros
    w.put(1, 1), w.put(107, 7);                                        // 118 zeros: literals 0 to 255 unused
    w.put(0, 1);                                                       // end of block: length 1
    w.put(0, 1);                                                       // the distance code: length 1
    w.put(0, 1);                                                       // end of block
}

// Huffman codes go most significant bit first.
void putCode(BitWriter& w, unsigned code, int bits) {
    for (int i = bits - 1; i >= 0; --i) w.put((code >> i) & 1u, 1);
}

// Every table at its largest: 286 literal/length codes (226 of 8 bits, 60
// of 9) and 30 distance codes (2 of 4 bits, 28 of 5), each length sent
// alone, 694 bits.
void putFullDynamicBlock(BitWriter& w) {
    w.put(2 << 1, 3);
    w.put(29, 5);
    w.put(29, 5);
    w.put(8, 4);  // 12 code length codes: symbols 4, 5, 8 and 9 of 2 bits (codes 0 to 3)
    for (int i = 0; i < 12; ++i) w.put(i == 4 || i == 6 || i == 9 || i == 11 ? 2 : 0, 3);
    const auto length = [&w](int bits) { putCode(w, bits == 4 ? 0 : bits == 5 ? 1 : bits == 8 ? 2 : 3, 2); };
    for (int i = 0; i < 286; ++i) length(i < 226 ? 8 : 9);
    for (int i = 0; i < 30; ++i) length(i < 2 ? 4 : 5);
    putCode(w, 452 + (256 - 226), 9);  // end of block
}

}  // namespace

Bytes ZlibAfterEmptyBlocks(int blockType, long long emptyBlocks, const Bytes& data) {
    BitWriter w;
    w.out = {0x78, 0x01};
    for (long long i = 0; i < emptyBlocks; ++i) {
        if (blockType == 0) putStoredBlock(w, false, nullptr, 0);
        if (blockType == 1) w.put(1 << 1, 3), w.put(0, 7);  // fixed codes: end of block at once
        if (blockType == 2) putEmptyDynamicBlock(w);
        if (blockType == 3) putFullDynamicBlock(w);
    }
    putStoredBlock(w, true, data.data(), data.size());
    const uLong check = adler32(1, data.data(), static_cast<uInt>(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) w.out.push_back(static_cast<std::uint8_t>(check >> shift));
    return std::move(w.out);
}

Bytes PngOfStream(int width, int height, int colourType, const Bytes& zlib, std::size_t chunkBytes) {
    Bytes header;
    for (const int side : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(side >> shift));
    header.insert(header.end(), {8, static_cast<std::uint8_t>(colourType), 0, 0, 0});
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutPngChunk(png, "IHDR", header);
    for (std::size_t at = 0; at < zlib.size(); at += chunkBytes) {
        const auto end = zlib.begin() + static_cast<std::ptrdiff_t>(std::min(zlib.size(), at + chunkBytes));
        PutPngChunk(png, "IDAT", Bytes(zlib.begin() + static_cast<std::ptrdiff_t>(at), end));
    }
    PutPngChunk(png, "IEND", {});
    return png;
}

Bytes PngFromRows(const PngSpec& spec, const std::function<void(int, std::uint8_t*, std::size_t)>& fill) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) std::abort();
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    png_set_compression_level(png, spec.level);
    if (spec.filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, spec.filters);
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec.width), static_cast<png_uint_32>(spec.height), spec.depth,
                 spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (spec.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        png_byte alpha[256];
        for (int i = 0; i < 256; ++i) {
            palette[i] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i), static_cast<png_byte>(i / 2)};
            alpha[i] = static_cast<png_byte>(i);
        }
        png_set_PLTE(png, info, palette, 256);
        png_set_tRNS(png, info, alpha, 256, nullptr);
    }
    png_write_info(png, info);
    Bytes row(png_get_rowbytes(png, info));
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < spec.height; ++y) {
            fill(y, row.data(), row.size());
            png_write_row(png, row.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes Png(const PngSpec& spec, const std::function<void(int, int, std::uint16_t*)>& pixel) {
    const bool wide = spec.depth == 16;
    return PngFromRows(spec, [&](int y, std::uint8_t* at, std::size_t size) {
        const std::size_t channels = size / (wide ? 2 : 1) / static_cast<std::size_t>(spec.width);
        std::uint16_t samples[4] = {};
        for (int x = 0; x < spec.width; ++x) {
            pixel(x, y, samples);
            for (std::size_t c = 0; c < channels; ++c) {
                if (wide) *at++ = static_cast<std::uint8_t>(samples[c] >> 8);
                *at++ = static_cast<std::uint8_t>(samples[c]);
            }
        }
    });
}

Bytes PhotoPng(int width, int height, int colourType, int shade) {
    std::uint32_t noise = 1;
    const int channels = colourType == PNG_COLOR_TYPE_GRAY ? 1 : colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
    return Png({width, height, colourType}, [&](int x, int y, std::uint16_t* samples) {
        for (int c = 0; c < channels; ++c) {
            if (c == 3) {
                samples[c] = static_cast<std::uint16_t>(x < width / 2 ? x % 256 : 255);
                continue;
            }
            noise = noise * 1664525u + 1013904223u;
            samples[c] = static_cast<std::uint8_t>(x / 16 + y / 24 + c * 60 + shade + ((noise >> 28) & 3));
        }
    });
}

const Bytes& PhonePhoto(bool progressive) {
    const auto make = [](bool progressive) {
        std::uint32_t noise = 1;
        return Jpeg({4032, 3024, progressive, 92}, [&noise](int x, int y, std::uint8_t* rgb) {
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                rgb[c] = static_cast<std::uint8_t>(x / 7 + y / 5 + c * 60 + (noise >> 24) % 12);
            }
        });
    };
    if (progressive) {
        static const Bytes photo = make(true);
        return photo;
    }
    static const Bytes photo = make(false);
    return photo;
}

}  // namespace testsupport
