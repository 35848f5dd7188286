// What a decode takes from the heap: its bitmap and a few rows more. Rows
// go straight into the bitmap and are turned into premultiplied words in
// place, and a picture over its budget is reduced as its rows are read, so
// no second bitmap and no copy of the file is ever made (JPEGs too), and
// chunks that make no pixels are skipped unread.
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

#include <algorithm>
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
    const auto jpeg = [](testsupport::JpegSpec spec) {
        return testsupport::Jpeg(spec, [count = static_cast<int>(spec.colours)](int x, int y, std::uint8_t* s) {
            for (int k = 0; k < count; ++k) s[k] = static_cast<std::uint8_t>((x * 13) ^ (y * 7) ^ (k * 91));
        });
    };
    // 900 chunks of text before the pixels, each inflating to 7.9 MB.
    const std::vector<std::uint8_t> plain(7'900'000, 'a');
    uLongf length = compressBound(static_cast<uLong>(plain.size()));
    std::vector<std::uint8_t> text(5 + length, 0);
    std::copy_n("key", 3, text.begin());
    compress2(text.data() + 5, &length, plain.data(), static_cast<uLong>(plain.size()), 9);
    text.resize(5 + length);
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> texts(900, {"zTXt", text});
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        long long maxPixels;
        int width;
    };
    const Case cases[] = {
        {"baseline JPEG of the budget's size", jpeg({4096, 4096, false, 90}), 4096LL * 4096, 4096},
        {"baseline CMYK JPEG", jpeg({2048, 2048, false, 90, JpegColours::Cmyk}), 2048LL * 2048, 2048},
        {"JPEG reduced below an eighth", jpeg({8192, 8192, false, 90}), 512LL * 512, 512},
        {"PNG with compressed text", testsupport::PlainPng(1024, 1024, PNG_COLOR_TYPE_RGB, {1, 2, 3}, 8, texts),
         1024LL * 1024, 1024},
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
