// Decoded pictures within their pixel budget: huge pictures of small files
// come reduced or not at all, pictures within it come whole with the pixels
// Cairo's own reader gave.

#include "platform/graphics/Image.h"

#include "tests/support/TempRoot.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using platform::Image;
using platform::Pixel;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct PngSpec {
    int width;
    int height;
    int colour;  // PNG_COLOR_TYPE_*
    int depth = 8;
    bool interlaced = false;
    std::vector<png_color> palette = {};
    Bytes paletteAlpha = {};                       // tRNS of a palette
    std::optional<png_color_16> transparent = {};  // tRNS of grey or RGB
};

// A PNG written by libpng; `row(y, samples)` fills one row of samples as
// the colour type and depth have them (16-bit samples big-endian).
Bytes writePng(const PngSpec& spec, const std::function<void(int, std::uint8_t*)>& row) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test picture";
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + length);
        },
        nullptr);
    png_set_compression_level(png, 1);  // quick
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec.width), static_cast<png_uint_32>(spec.height), spec.depth,
                 spec.colour, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty()) png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.paletteAlpha.empty())
        png_set_tRNS(png, info, spec.paletteAlpha.data(), static_cast<int>(spec.paletteAlpha.size()), nullptr);
    if (spec.transparent) png_set_tRNS(png, info, nullptr, 0, &*spec.transparent);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    std::vector<std::uint8_t> samples(png_get_rowbytes(png, info));
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < spec.height; ++y) {
            std::fill(samples.begin(), samples.end(), 0);
            row(y, samples.data());
            png_write_row(png, samples.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The words of an image as it keeps them: 0xAARRGGBB premultiplied.
std::vector<std::uint32_t> wordsOf(const Image& image) {
    std::vector<std::uint32_t> words;
    const auto rows = image.premultipliedRows();
    for (int y = 0; y < image.pixelHeight(); ++y) {
        const std::uint8_t* row = rows.data + static_cast<std::size_t>(y) * rows.bytesPerRow;
        for (int x = 0; x < image.pixelWidth(); ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * x, 4);
            words.push_back(word);
        }
    }
    return words;
}

// The flags of the mapping that holds `address` (VmFlags in
// /proc/self/smaps, " hg" for large pages asked for); empty when none does.
std::string mappingFlags(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long from = 0;
        unsigned long to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) inside = from <= at && at < to;
        if (inside && line.rfind("VmFlags:", 0) == 0) return line.substr(8) + " ";
    }
    return {};
}

// The same bytes through Cairo's own PNG reader, as every PNG was decoded
// before; Cairo's RGB24 words carry 0xFF in their alpha byte.
std::vector<std::uint32_t> cairoWords(const Bytes& png) {
    struct Cursor {
        const Bytes* bytes;
        std::size_t at;
    } cursor{&png, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int length) {
            auto* c = static_cast<Cursor*>(closure);
            if (length > c->bytes->size() - c->at) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(out, c->bytes->data() + c->at, length);
            c->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &cursor);
    std::vector<std::uint32_t> words;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < cairo_image_surface_get_height(surface); ++y)
            for (int x = 0; x < cairo_image_surface_get_width(surface); ++x) {
                std::uint32_t word;
                std::memcpy(&word, data + static_cast<std::size_t>(y) * stride + 4 * x, 4);
                words.push_back(opaque ? word | 0xFF000000u : word);
            }
    }
    cairo_surface_destroy(surface);
    return words;
}

// The JPEG with the size in its frame header changed: the scans that follow
// are those of the small picture.
Bytes claimingSize(Bytes jpeg, int width, int height) {
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {  // SOF0, SOF2
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

void expectNear(const Pixel& actual, const Pixel& expected, int tolerance, const std::string& name) {
    EXPECT_NEAR(actual.red, expected.red, tolerance) << name;
    EXPECT_NEAR(actual.green, expected.green, tolerance) << name;
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << name;
    EXPECT_EQ(actual.alpha, expected.alpha) << name;
}

}  // namespace

TEST(ImageBudget, HugePngsOfSmallFilesComeReducedToTheBudget) {
    // 16384 x 16384: a 1 GiB bitmap at full size, from files of a few
    // hundred kilobytes. Grey without alpha used to take 2 GiB to decode.
    struct Case {
        const char* name;
        int colour;
        Bytes pixel;
        std::uint32_t word;  // as kept: premultiplied 0xAARRGGBB
    };
    const Case cases[] = {
        {"grey", PNG_COLOR_TYPE_GRAY, {77}, 0xFF4D4D4Du},
        // 200, 100, 50 at alpha 128, premultiplied with rounding: 100, 50, 25.
        {"RGBA", PNG_COLOR_TYPE_RGB_ALPHA, {200, 100, 50, 128}, 0x80643219u},
    };
    for (const Case& c : cases) {
        const Bytes png = testsupport::PlainPng(16384, 16384, c.colour, c.pixel);
        EXPECT_LT(png.size(), 8'000'000u) << c.name;
        const auto decoded = Image::decode(png, 2);
        ASSERT_NE(decoded.image, nullptr) << c.name;
        EXPECT_EQ(decoded.image->pixelWidth(), 4096) << c.name;
        EXPECT_EQ(decoded.image->pixelHeight(), 4096) << c.name;
        // The same picture in points: a quarter of the pixels per point.
        EXPECT_EQ(decoded.image->scale(), 0.5) << c.name;
        EXPECT_EQ(decoded.image->size(), (platform::Size{8192, 8192})) << c.name;
        EXPECT_TRUE(decoded.overBudget);
        EXPECT_EQ(decoded.fileWidth, 16384);
        EXPECT_EQ(decoded.warning(),
                  "a picture of 16384 x 16384 pixels is over the budget of 16777216: decoded at 4096 x 4096");
        const auto words = wordsOf(*decoded.image);
        EXPECT_EQ(std::count(words.begin(), words.end(), c.word), 4096 * 4096) << c.name;
    }

    // Just inside the budget the picture comes whole; one pixel wider, it
    // comes at half the size.
    const Bytes inside = writePng({4096, 4096, PNG_COLOR_TYPE_RGB}, [](int y, std::uint8_t* samples) {
        for (int x = 0; x < 4096; ++x) {
            samples[3 * x] = static_cast<std::uint8_t>(x);
            samples[3 * x + 1] = static_cast<std::uint8_t>(y);
            samples[3 * x + 2] = 9;
        }
    });
    const auto whole = Image::decode(inside);
    ASSERT_NE(whole.image, nullptr);
    EXPECT_FALSE(whole.overBudget);
    EXPECT_EQ(whole.warning(), "");
    EXPECT_EQ(whole.image->pixelWidth(), 4096);
    EXPECT_EQ(whole.image->scale(), 1.0);
    EXPECT_EQ(*whole.image->pixel(300, 4000), (Pixel{300 & 0xFF, 4000 & 0xFF, 9, 255}));
    EXPECT_EQ(*whole.image->pixel(4095, 4095), (Pixel{255, 255, 9, 255}));
    const auto wider = Image::fromData(testsupport::PlainPng(4097, 4096, PNG_COLOR_TYPE_GRAY, {5}));
    ASSERT_NE(wider, nullptr);
    EXPECT_EQ(wider->pixelWidth(), 2049);
    EXPECT_EQ(wider->pixelHeight(), 2048);
    EXPECT_EQ(*wider->pixel(2048, 2047), (Pixel{5, 5, 5, 255}));
}

TEST(ImageBudget, EveryKindOfPngGivesThePixelsCairoGave) {
    // 13 x 7 pictures whose samples vary along both sides.
    const auto sample = [](int x, int y, int channel) {
        return static_cast<std::uint8_t>(x * 19 + y * 37 + channel * 71);
    };
    std::vector<png_color> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back({static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i * 9), 40});
    struct Case {
        const char* name;
        PngSpec spec;
    };
    const Case cases[] = {
        {"grey", {13, 7, PNG_COLOR_TYPE_GRAY}},
        {"grey, 1 bit", {13, 7, PNG_COLOR_TYPE_GRAY, 1}},
        {"grey, 16 bits", {13, 7, PNG_COLOR_TYPE_GRAY, 16}},
        {"grey with a transparent value", {13, 7, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, png_color_16{0, 0, 0, 0, 56}}},
        {"grey and alpha", {13, 7, PNG_COLOR_TYPE_GRAY_ALPHA}},
        {"RGB", {13, 7, PNG_COLOR_TYPE_RGB}},
        {"RGB, 16 bits", {13, 7, PNG_COLOR_TYPE_RGB, 16}},
        {"RGBA", {13, 7, PNG_COLOR_TYPE_RGB_ALPHA}},
        {"RGBA, 16 bits", {13, 7, PNG_COLOR_TYPE_RGB_ALPHA, 16}},
        {"palette, 4 bits, with alpha", {13, 7, PNG_COLOR_TYPE_PALETTE, 4, false, palette, {255, 0, 128, 7}}},
        {"RGB, interlaced", {13, 7, PNG_COLOR_TYPE_RGB, 8, true}},
        {"RGBA, interlaced", {13, 7, PNG_COLOR_TYPE_RGB_ALPHA, 8, true}},
    };
    for (const Case& c : cases) {
        const Bytes png = writePng(c.spec, [&](int y, std::uint8_t* samples) {
            const int bits = c.spec.depth;
            const int channels = c.spec.colour == PNG_COLOR_TYPE_GRAY || c.spec.colour == PNG_COLOR_TYPE_PALETTE ? 1
                                 : c.spec.colour == PNG_COLOR_TYPE_GRAY_ALPHA                                    ? 2
                                 : c.spec.colour == PNG_COLOR_TYPE_RGB                                           ? 3
                                                                                                                 : 4;
            for (int x = 0; x < c.spec.width; ++x)
                for (int k = 0; k < channels; ++k) {
                    const int index = x * channels + k;
                    const std::uint8_t v = sample(x, y, k);
                    if (bits == 16) {
                        samples[2 * index] = v;
                        samples[2 * index + 1] = static_cast<std::uint8_t>(255 - v);
                    } else if (bits == 8) {
                        samples[index] = v;
                    } else {  // packed from the high bits
                        const int perByte = 8 / bits;
                        const int value = v >> (8 - bits);
                        samples[index / perByte] |=
                            static_cast<std::uint8_t>(value << (8 - bits * (1 + index % perByte)));
                    }
                }
        });
        const std::vector<std::uint32_t> expected = cairoWords(png);
        ASSERT_EQ(expected.size(), 13u * 7u) << c.name;
        const auto image = Image::fromData(png);
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(wordsOf(*image), expected) << c.name;
    }

    // Values set by hand: grey 1 bit is black or white; a palette entry of
    // alpha 128 is premultiplied with rounding.
    const Bytes bits = writePng({8, 1, PNG_COLOR_TYPE_GRAY, 1}, [](int, std::uint8_t* s) { s[0] = 0b10100000; });
    EXPECT_EQ(wordsOf(*Image::fromData(bits)),
              (std::vector<std::uint32_t>{0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFF000000u, 0xFF000000u,
                                          0xFF000000u, 0xFF000000u}));
    const Bytes indexed =
        writePng({3, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {{200, 100, 50}, {1, 2, 3}, {9, 9, 9}}, {128, 0}},
                 [](int, std::uint8_t* s) {
                     s[0] = 0;
                     s[1] = 1;
                     s[2] = 2;
                 });
    EXPECT_EQ(wordsOf(*Image::fromData(indexed)), (std::vector<std::uint32_t>{0x80643219u, 0u, 0xFF090909u}));
}

TEST(ImageBudget, AReducedPngIsTheMeanOfWholeBlocks) {
    // Grey 7 x 5, value 10 x + y, at most 4 pixels: blocks of 4 x 4, the
    // right and bottom ones cut. Means: (0..3, 0..3) 16.5, (4..6, 0..3) 51.5,
    // (0..3, 4) 19, (4..6, 4) 54, rounded half up.
    const Bytes grey = writePng({7, 5, PNG_COLOR_TYPE_GRAY}, [](int y, std::uint8_t* s) {
        for (int x = 0; x < 7; ++x) s[x] = static_cast<std::uint8_t>(10 * x + y);
    });
    const auto reduced = Image::decode(grey, 2, 4);
    ASSERT_NE(reduced.image, nullptr);
    EXPECT_EQ(wordsOf(*reduced.image),
              (std::vector<std::uint32_t>{0xFF111111u, 0xFF343434u, 0xFF131313u, 0xFF363636u}));
    EXPECT_EQ(reduced.image->scale(), 0.5);
    EXPECT_EQ(reduced.warning(), "a picture of 7 x 5 pixels is over the budget of 4: decoded at 2 x 2");

    // Premultiplied pixels are averaged: opaque red beside clear gives half
    // red at half alpha, not a purple.
    const Bytes halfClear = writePng({2, 1, PNG_COLOR_TYPE_RGB_ALPHA}, [](int, std::uint8_t* s) {
        const std::uint8_t pixels[8] = {255, 0, 0, 255, 0, 0, 255, 0};
        std::memcpy(s, pixels, 8);
    });
    const auto mixed = Image::fromData(halfClear, 1, 1);
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(wordsOf(*mixed), (std::vector<std::uint32_t>{0x80800000u}));

    // An interlaced file fills its rows in seven passes and cannot be read
    // smaller: it is decoded whole and reduced after, to the same blocks.
    const Bytes interlaced = writePng({7, 5, PNG_COLOR_TYPE_GRAY, 8, true}, [](int y, std::uint8_t* s) {
        for (int x = 0; x < 7; ++x) s[x] = static_cast<std::uint8_t>(10 * x + y);
    });
    const auto afterwards = Image::decode(interlaced, 2, 4);
    ASSERT_NE(afterwards.image, nullptr);
    EXPECT_EQ(wordsOf(*afterwards.image), wordsOf(*reduced.image));
    EXPECT_EQ(afterwards.image->scale(), 0.5);
    EXPECT_EQ(afterwards.warning(), "a picture of 7 x 5 pixels is over the budget of 4: decoded at 2 x 2");
    // Whole, it may have no more than the default budget: one pixel more
    // (a file of a few kilobytes) is refused.
    const Bytes wide = writePng({4097, 4096, PNG_COLOR_TYPE_GRAY, 8, true}, [](int, std::uint8_t*) {});
    const auto refused = Image::decode(wide, 1, 4096 * 4096);
    EXPECT_EQ(refused.image, nullptr);
    EXPECT_TRUE(refused.overBudget);
    EXPECT_EQ(refused.warning(), "a picture of 4097 x 4096 pixels is over the budget of 16777216: refused");
    // A damaged file is refused whether or not it is reduced.
    Bytes cut = grey;
    cut.resize(cut.size() - 1);
    EXPECT_EQ(Image::fromData(cut, 1, 4), nullptr);
}

TEST(ImageBudget, ABitmapOfSomeMegabytesIsAskedForLargePages) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "the system has no large pages to ask for";
    const struct {
        int side;
        bool large;
    } cases[] = {{2048, true}, {512, false}};  // 16 MiB and 1 MiB of ARGB
    for (const auto& c : cases) {
        const auto image = Image::fromData(writePng({c.side, c.side, PNG_COLOR_TYPE_GRAY}, [](int, std::uint8_t*) {}));
        ASSERT_NE(image, nullptr) << c.side;
        const auto rows = image->premultipliedRows();
        const std::string flags = mappingFlags(rows.data + rows.bytesPerRow * (c.side / 2));
        ASSERT_FALSE(flags.empty()) << c.side;
        EXPECT_EQ(flags.find(" hg ") != std::string::npos, c.large) << c.side << ": " << flags;
        EXPECT_EQ(image->pixel(c.side - 1, c.side - 1)->alpha, 255) << c.side;
    }
}

TEST(ImageBudget, JpegsOverTheBudgetAreDecodedScaledDown) {
    // 64 x 32, the left half red, the right half blue.
    const auto halves = [](int x, int, std::uint8_t* rgb) {
        rgb[0] = x < 32 ? 255 : 0;
        rgb[1] = 0;
        rgb[2] = x < 32 ? 0 : 255;
    };
    for (const bool progressive : {false, true}) {
        const std::string name = progressive ? "progressive" : "baseline";
        const Bytes jpeg = testsupport::Jpeg({64, 32, progressive}, halves);
        const auto whole = Image::decode(jpeg, 1, 64 * 32);
        ASSERT_NE(whole.image, nullptr) << name;
        EXPECT_FALSE(whole.overBudget) << name;
        EXPECT_EQ(whole.image->pixelWidth(), 64) << name;

        // 3/8 is the largest of libjpeg's scalings within 24 x 12.
        const auto reduced = Image::decode(jpeg, 1, 24 * 12);
        ASSERT_NE(reduced.image, nullptr) << name;
        EXPECT_TRUE(reduced.overBudget) << name;
        EXPECT_EQ(reduced.image->pixelWidth(), 24) << name;
        EXPECT_EQ(reduced.image->pixelHeight(), 12) << name;
        EXPECT_DOUBLE_EQ(reduced.image->scale(), 3.0 / 8) << name;
        expectNear(*reduced.image->pixel(3, 6), {255, 0, 0, 255}, 8, name + " left");
        expectNear(*reduced.image->pixel(20, 6), {0, 0, 255, 255}, 8, name + " right");

        // Even 1/8 (8 x 4) is over 31 pixels: its rows are halved again, to
        // 1/16; within one pixel, to one.
        const auto sixteenth = Image::decode(jpeg, 1, 31);
        ASSERT_NE(sixteenth.image, nullptr) << name;
        EXPECT_TRUE(sixteenth.overBudget) << name;
        EXPECT_DOUBLE_EQ(sixteenth.image->scale(), 1.0 / 16) << name;
        EXPECT_EQ(sixteenth.warning(), "a picture of 64 x 32 pixels is over the budget of 31: decoded at 4 x 2");
        expectNear(*sixteenth.image->pixel(0, 1), {255, 0, 0, 255}, 8, name + " left at 1/16");
        expectNear(*sixteenth.image->pixel(3, 0), {0, 0, 255, 255}, 8, name + " right at 1/16");
        const auto one = Image::decode(jpeg, 1, 1);
        ASSERT_NE(one.image, nullptr) << name;
        EXPECT_EQ(one.warning(), "a picture of 64 x 32 pixels is over the budget of 1: decoded at 1 x 1");
        expectNear(*one.image->pixel(0, 0), {128, 0, 128, 255}, 8, name + " both halves");

        // Read from a file as it is decoded; cut short there, refused.
        const auto path = testsupport::processRoot() / (name + ".jpg");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        const auto fromFile = Image::fromFile(path);
        ASSERT_NE(fromFile, nullptr) << name;
        EXPECT_EQ(wordsOf(*fromFile), wordsOf(*whole.image)) << name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size() * 2 / 3);
        EXPECT_EQ(Image::fromFile(path), nullptr) << name;
    }

    // Frame headers claiming 16384 x 16384 before the scans of 64 x 32 are
    // refused, over the budget (a baseline file runs out of data at 1/4; a
    // progressive one would need 768 MiB of coefficients first).
    for (const bool progressive : {false, true}) {
        const auto claimed =
            Image::decode(claimingSize(testsupport::Jpeg({64, 32, progressive}, halves), 16384, 16384));
        EXPECT_EQ(claimed.image, nullptr) << progressive;
        EXPECT_EQ(claimed.fileWidth, 16384) << progressive;
        EXPECT_TRUE(claimed.overBudget) << progressive;
    }
}

TEST(ImageBudget, TheDeclaredSizeIsReadFromTheHeaderAlone) {
    using Size = Image::PixelSize;
    const Bytes png = testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1});
    const Bytes jpeg = testsupport::Jpeg({64, 32}, [](int, int, std::uint8_t* rgb) { rgb[0] = rgb[1] = rgb[2] = 9; });
    const Bytes progressive =
        testsupport::Jpeg({64, 32, true}, [](int, int, std::uint8_t* rgb) { rgb[0] = rgb[1] = rgb[2] = 9; });
    Bytes cutPng = png;
    cutPng.resize(23);
    Bytes jpegHeaderOnly = jpeg;
    // Up to the frame header and the tables, without any scan: libjpeg
    // reads on to the first scan and finds the end of the data instead.
    for (std::size_t i = 2; i + 1 < jpegHeaderOnly.size(); ++i)
        if (jpegHeaderOnly[i] == 0xFF && jpegHeaderOnly[i + 1] == 0xDA) {
            jpegHeaderOnly.resize(i);
            break;
        }
    Bytes notIhdr = png;
    notIhdr[12] = 'X';
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<Size> expected;
    };
    const Case cases[] = {
        {"PNG", png, Size{300, 200}},
        {"PNG of 16384 x 16384", testsupport::PlainPng(16384, 16384, PNG_COLOR_TYPE_GRAY, {1}), Size{16384, 16384}},
        {"PNG of 16385 x 1: no image may have it", testsupport::PlainPng(16385, 1, PNG_COLOR_TYPE_GRAY, {1}),
         std::nullopt},
        {"PNG cut inside its header", cutPng, std::nullopt},
        {"PNG whose first chunk is no IHDR", notIhdr, std::nullopt},
        {"baseline JPEG", jpeg, Size{64, 32}},
        {"progressive JPEG", progressive, Size{64, 32}},
        {"JPEG claiming 16384 x 16384", claimingSize(jpeg, 16384, 16384), Size{16384, 16384}},
        {"JPEG claiming 20000 x 10", claimingSize(jpeg, 20000, 10), std::nullopt},
        {"JPEG cut before its first scan", jpegHeaderOnly, std::nullopt},
        {"JPEG cut before its frame header", Bytes(jpeg.begin(), jpeg.begin() + 20), std::nullopt},
        {"neither", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, std::nullopt},
        {"nothing", Bytes{}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Image::declaredSize(c.bytes), c.expected) << c.name;
        // What the decode reads first agrees (the large one's decode is
        // the first test's).
        if (!c.expected || c.expected->pixels() > 1 << 20) continue;
        const auto decoded = Image::decode(c.bytes);
        {
            EXPECT_EQ(decoded.fileWidth, c.expected->width) << c.name;
            EXPECT_EQ(decoded.fileHeight, c.expected->height) << c.name;
        }
    }
    EXPECT_EQ(Image::fromData(jpegHeaderOnly), nullptr);
}

// A layout shares its budget by the sizes its pictures' headers declare, and
// gives none to a picture that declares none, expecting its decode to fail:
// a file that libpng reads anyway would take a whole picture's budget.
TEST(ImageBudget, APngWhoseFirstChunkIsNoIhdrDoesNotDecodeEither) {
    const Bytes png = testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1});
    // A private ancillary chunk, which libpng skips wherever it is.
    const auto withChunkAt = [&png](std::size_t at, bool goodCrc) {
        Bytes chunk{0, 0, 0, 4, 'p', 'r', 'V', 't', 1, 2, 3, 4};
        const auto crc = static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, 8));
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk.push_back(static_cast<std::uint8_t>(goodCrc ? crc >> shift : 0));
        Bytes out = png;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
        return out;
    };
    constexpr std::size_t kAfterSignature = 8;
    constexpr std::size_t kAfterIhdr = 8 + 25;
    const auto afterIhdr = withChunkAt(kAfterIhdr, true);
    EXPECT_EQ(Image::declaredSize(afterIhdr), (Image::PixelSize{300, 200}));
    ASSERT_NE(Image::fromData(afterIhdr), nullptr);

    const std::pair<const char*, Bytes> cases[] = {
        {"before IHDR", withChunkAt(kAfterSignature, true)},
        {"before IHDR, its CRC wrong", withChunkAt(kAfterSignature, false)},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(Image::declaredSize(bytes), std::nullopt) << name;
        const auto decoded = Image::decode(bytes);
        EXPECT_EQ(decoded.image, nullptr) << name;
        EXPECT_FALSE(decoded.overBudget) << name;
        const auto path = testsupport::processRoot() / (std::string(name) + ".png");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        EXPECT_EQ(Image::fromFile(path), nullptr) << name;
    }
}
