// What a decode takes from the heap: its bitmap and a few rows more. Rows
// go straight into the bitmap and are turned into premultiplied words in
// place, and a picture over its budget is reduced as its rows are read, so
// no second bitmap and no copy of the file is ever made. A JPEG is decoded
// row by row into the bitmap too (a baseline file keeps a row of MCUs, a
// progressive one its coefficients, which a picture of the budget's size
// as baseline does not have), and one over its budget at 1/8 is averaged
// as its rows come. Chunks that make no pixels are skipped unread.
//
// This program carries the tests' counting hook on the C allocator
// (tests/support/HeapPeak.h); Cairo, pixman, libpng and zlib allocate
// through it. Under a sanitizer there is none and the test is skipped.

#include "platform/graphics/Image.h"

#include "tests/support/HeapPeak.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

TEST(ImageDecodeMemory, ADecodeTakesItsBitmapAndATenthMoreAtMost) {
    if (!testsupport::kHeapCounted) GTEST_SKIP() << "a sanitizer's runtime owns the allocator";
    struct Case {
        const char* name;
        int side;
        int colour;
        std::vector<std::uint8_t> pixel;
        platform::Pixel expected;
    };
    // 4096 x 4096 is the budget exactly: a bitmap of 64 MiB, whatever the
    // file's colour type. 16384 x 16384 is reduced to it as it is read.
    const Case cases[] = {
        {"grey, widened to four bytes a pixel in place", 4096, PNG_COLOR_TYPE_GRAY, {77}, {77, 77, 77, 255}},
        {"grey and alpha", 4096, PNG_COLOR_TYPE_GRAY_ALPHA, {77, 255}, {77, 77, 77, 255}},
        {"RGB", 4096, PNG_COLOR_TYPE_RGB, {200, 100, 50}, {200, 100, 50, 255}},
        {"RGBA, premultiplied in place", 4096, PNG_COLOR_TYPE_RGB_ALPHA, {200, 100, 50, 128}, {200, 100, 50, 128}},
        {"grey of 16384 x 16384, reduced as it is read", 16384, PNG_COLOR_TYPE_GRAY, {77}, {77, 77, 77, 255}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> png = testsupport::PlainPng(c.side, c.side, c.colour, c.pixel);
        const testsupport::HeapPeak measured;
        std::shared_ptr<platform::Image> image = platform::Image::fromData(png);
        const long long peak = measured.bytes();
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->pixelWidth(), 4096) << c.name;
        const auto bitmap = static_cast<long long>(image->byteCount());
        EXPECT_EQ(bitmap, 64LL * 1024 * 1024) << c.name;
        EXPECT_GE(peak, bitmap) << c.name << ": the bitmap is counted";
        EXPECT_LE(peak, bitmap + bitmap / 10) << c.name;
        // Premultiplied and back, 128 loses a little on the way.
        const auto last = image->pixel(4095, 4095);
        ASSERT_TRUE(last.has_value()) << c.name;
        EXPECT_NEAR(last->red, c.expected.red, 1) << c.name;
        EXPECT_NEAR(last->blue, c.expected.blue, 1) << c.name;
        EXPECT_EQ(last->alpha, c.expected.alpha) << c.name;
    }
}

TEST(ImageDecodeMemory, AJpegAndAPngOfCompressedTextTakeTheirBitmapAndATenthMoreAtMost) {
    if (!testsupport::kHeapCounted) GTEST_SKIP() << "a sanitizer's runtime owns the allocator";
    using testsupport::JpegColours;
    const auto noisy = [](int x, int y, std::uint8_t* samples, int count) {
        for (int k = 0; k < count; ++k) samples[k] = static_cast<std::uint8_t>((x * 13) ^ (y * 7) ^ (k * 91));
    };
    const auto jpeg = [&noisy](testsupport::JpegSpec spec) {
        const int count = static_cast<int>(spec.colours);
        return testsupport::Jpeg(spec, [&](int x, int y, std::uint8_t* s) { noisy(x, y, s, count); });
    };
    // A PNG of 1024 x 1024 with 900 chunks of text that inflate to 7.9 MB
    // each, before its pixels.
    std::vector<std::uint8_t> text;
    {
        const std::vector<std::uint8_t> plain(7'900'000, 'a');
        uLongf length = compressBound(static_cast<uLong>(plain.size()));
        std::vector<std::uint8_t> deflated(length);
        compress2(deflated.data(), &length, plain.data(), static_cast<uLong>(plain.size()), 9);
        deflated.resize(length);
        std::vector<std::uint8_t> chunk{'k', 'e', 'y', 0, 0};
        chunk.insert(chunk.end(), deflated.begin(), deflated.end());
        const std::vector<std::uint8_t> png = testsupport::PlainPng(1024, 1024, PNG_COLOR_TYPE_RGB, {1, 2, 3});
        text.assign(png.begin(), png.begin() + 33);  // the signature and IHDR
        for (int i = 0; i < 900; ++i) {
            for (int shift = 24; shift >= 0; shift -= 8)
                text.push_back(static_cast<std::uint8_t>(chunk.size() >> shift));
            const std::size_t start = text.size();
            text.insert(text.end(), {'z', 'T', 'X', 't'});
            text.insert(text.end(), chunk.begin(), chunk.end());
            const auto crc = crc32(0, text.data() + start, static_cast<uInt>(text.size() - start));
            for (int shift = 24; shift >= 0; shift -= 8) text.push_back(static_cast<std::uint8_t>(crc >> shift));
        }
        text.insert(text.end(), png.begin() + 33, png.end());
    }
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        long long maxPixels;
        int width;
    };
    const Case cases[] = {
        {"baseline JPEG of the budget's size", jpeg({4096, 4096, false, 90}), 4096LL * 4096, 4096},
        {"baseline grey JPEG", jpeg({4096, 4096, false, 90, JpegColours::Grey}), 4096LL * 4096, 4096},
        {"baseline CMYK JPEG", jpeg({2048, 2048, false, 90, JpegColours::Cmyk}), 2048LL * 2048, 2048},
        {"JPEG reduced below an eighth", jpeg({8192, 8192, false, 90}), 512LL * 512, 512},
        {"PNG with compressed text", text, 1024LL * 1024, 1024},
    };
    for (const Case& c : cases) {
        const testsupport::HeapPeak measured;
        const auto image = platform::Image::fromData(c.bytes, 1, c.maxPixels);
        const long long peak = measured.bytes();
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->pixelWidth(), c.width) << c.name;
        const auto bitmap = static_cast<long long>(image->byteCount());
        EXPECT_GE(peak, bitmap) << c.name << ": the bitmap is counted";
        EXPECT_LE(peak, bitmap + bitmap / 10) << c.name;
    }
}
