// What a decode takes from the heap: its bitmap and a few rows more. Rows
// go straight into the bitmap and are turned into premultiplied words in
// place, and a picture over its budget is reduced as its rows are read, so
// no second bitmap and no copy of the file is ever made.
//
// This program carries the tests' counting hook on the C allocator
// (tests/support/HeapPeak.h); Cairo, pixman, libpng and zlib allocate
// through it. Under a sanitizer there is none and the test is skipped.

#include "platform/graphics/Image.h"

#include "tests/support/HeapPeak.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <png.h>

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
