// What decoding a picture takes, counted from its headers as libjpeg would
// read them; JPEGs over budget even at 1/8 come as block means at 1/8.

#include "platform/graphics/Image.h"
#include "platform/graphics/detail/ImageDecoders.h"
#include "tests/support/TestPictures.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

using platform::Image;
using testsupport::JpegColours;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes jpeg(testsupport::JpegSpec spec) {
    const int count = static_cast<int>(spec.colours);
    return testsupport::Jpeg(spec, [count](int x, int y, std::uint8_t* samples) {
        for (int k = 0; k < count; ++k) samples[k] = static_cast<std::uint8_t>(x * 7 + y * 3 + k * 50);
    });
}

// Where the marker FF `code` first stands; the size when it is not there.
std::size_t markerAt(const Bytes& bytes, std::uint8_t code, std::size_t from = 2) {
    for (std::size_t i = from; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
    return bytes.size();
}

Bytes inserted(Bytes bytes, std::size_t at, const Bytes& more) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), more.begin(), more.end());
    return bytes;
}

Bytes patched(Bytes bytes, std::size_t at, std::uint8_t value) { return bytes[at] = value, bytes; }

Bytes segment(std::uint8_t code, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    Bytes out{0xFF, code, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<std::uint32_t> wordsOf(const Image& image) {
    std::vector<std::uint32_t> words(static_cast<std::size_t>(image.pixelWidth()) * image.pixelHeight());
    const auto rows = image.premultipliedRows();
    for (int y = 0; y < image.pixelHeight(); ++y)
        std::memcpy(&words[static_cast<std::size_t>(y) * image.pixelWidth()], rows.data + y * rows.bytesPerRow,
                    4 * image.pixelWidth());
    return words;
}

}  // namespace

TEST(ImageDecodeWork, EachScanAndBlockIsCountedFromTheMarkersAsLibjpegReadsThem) {
    // 64 x 32 in colour at 4:2:0: 8 MCUs of 4 luma and 2 chroma blocks, 48
    // blocks. Grey: 32 blocks. CMYK: four components of 32 blocks.
    const Bytes baseline = jpeg({64, 32});
    const Bytes progressive = jpeg({64, 32, true});
    // A camera's EXIF block carries a JPEG of its own, scans and all.
    const Bytes exif = inserted({'E', 'x', 'i', 'f', 0, 0}, 6, jpeg({16, 16, true}));
    const std::size_t sof = markerAt(baseline, 0xC0);
    const std::size_t sofLength = (std::size_t{baseline[sof + 2]} << 8 | baseline[sof + 3]) + 2;
    // The last scan again and again: libjpeg goes on, but past 1000 scans
    // the decode gives up.
    const Bytes small = jpeg({16, 16, true, 90, JpegColours::Grey});
    std::size_t lastScan = 0;
    for (std::size_t at = markerAt(small, 0xDA); at < small.size(); at = markerAt(small, 0xDA, at + 2)) lastScan = at;
    const std::size_t end = small.size() - 2;
    Bytes manyScans(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(end));
    for (int i = 0; i < 1000; ++i) manyScans.insert(manyScans.end(), small.begin() + lastScan, small.begin() + end);
    manyScans.insert(manyScans.end(), {0xFF, 0xD9});
    struct Case {
        const char* name;
        Bytes bytes;
        long long expected;  // besides a JPEG's two a byte; kRefused: none known, and no decode
    };
    constexpr long long kRefused = -1;
    const Case cases[] = {
        {"PNG, 8 bits a sample: its pixels", testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1}), 60'000},
        {"PNG, 16 bits a sample: twice", testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1, 2}, 16), 120'000},
        {"baseline: each block once", baseline, 4 * 48},
        {"grey", jpeg({64, 32, false, 90, JpegColours::Grey}), 4 * 32},
        {"CMYK", jpeg({64, 32, false, 90, JpegColours::Cmyk}), 4 * 128},
        // Ten scans: DC of all 48 blocks twice, luma's 32 four times, each
        // chroma's 8 twice; then all 48 once more to put them out.
        {"progressive: every scan's blocks and the output", progressive, 10 * (2 * 48 + 4 * 32 + 4 * 8 + 48)},
        {"arithmetic coding: the blocks at their worst", jpeg({64, 32, false, 90, JpegColours::Rgb, true}),
         4 * 48 + 1024 * 48},
        {"restart markers inside the scan", jpeg({64, 32, false, 90, JpegColours::Rgb, false, 1}), 4 * 48},
        {"a thumbnail's scans inside EXIF are not the picture's", inserted(baseline, 2, segment(0xE1, exif)), 4 * 48},
        // libjpeg reads nothing after the end marker, whatever comes.
        {"bytes after the end marker",
         inserted(baseline, baseline.size(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9}),
         4 * 48},
        // Skipped, with a harmless warning.
        {"stray bytes between segments", inserted(baseline, markerAt(baseline, 0xDB), {0x01, 0xFF, 0x00, 0x03}),
         4 * 48},
        // What libjpeg refuses.
        {"no end marker", Bytes(baseline.begin(), baseline.end() - 2), kRefused},
        {"a second frame header", inserted(baseline, sof, Bytes(&baseline[sof], &baseline[sof + sofLength])), kRefused},
        {"lossless coding", patched(baseline, sof + 1, 0xC3), kRefused},
        {"12 bits a sample", patched(baseline, sof + 4, 12), kRefused},
        {"a scan of a component the frame lacks", patched(baseline, markerAt(baseline, 0xDA) + 5, 9), kRefused},
        {"more than 1000 scans", manyScans, kRefused},
        {"a scan before the frame", inserted(baseline, 2, segment(0xDA, {1, 1, 0, 0, 63, 0})), kRefused},
        {"GIF", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, kRefused},
        {"PNG cut after its size",
         [] {
             const Bytes png = testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1});
             return Bytes(png.begin(), png.begin() + 24);
         }(),
         kRefused},
    };
    for (const Case& c : cases) {
        const long long bytes = c.bytes[0] == 0xFF ? 2 * static_cast<long long>(c.bytes.size()) : 0;
        const bool known = c.expected != kRefused;
        EXPECT_EQ(Image::decodeWork(c.bytes), known ? std::optional(c.expected + bytes) : std::nullopt) << c.name;
        EXPECT_EQ(Image::fromData(c.bytes) != nullptr, known) << c.name << " decodes";
    }

    // The decoder reads no more scans than it is told there are.
    for (const int scans : {9, 10}) {
        platform::detail::ByteSource source{progressive.data(), progressive.size(), 0, nullptr};
        platform::DecodeMeter meter(1'000'000'000);
        const auto decoded = platform::detail::decodeJpeg(source, 64 * 32, meter, scans);
        EXPECT_EQ(decoded.surface != nullptr, scans == 10) << scans;
        if (decoded.surface != nullptr) cairo_surface_destroy(decoded.surface);
    }
}

TEST(ImageDecodeWork, AJpegOverItsBudgetAtAnEighthComesAsTheMeansOfWholeBlocksOfThatEighth) {
    // 264 x 136: 33 x 17 at 1/8; within 153 pixels that is halved a side to
    // 17 x 9, the last column and row of blocks cut short.
    const std::pair<const char*, testsupport::JpegSpec> cases[] = {
        {"colour", {264, 136}},
        {"CMYK", {264, 136, false, 90, JpegColours::Cmyk}},
    };
    for (const auto& [name, spec] : cases) {
        const Bytes bytes = jpeg(spec);
        const auto eighth = Image::decode(bytes, 2, 33 * 17);
        const auto reduced = Image::decode(bytes, 2, 153);
        ASSERT_TRUE(eighth.image && eighth.image->pixelWidth() == 33 && reduced.image) << name;
        EXPECT_DOUBLE_EQ(reduced.image->scale(), 2.0 / 16) << name;
        EXPECT_EQ(reduced.warning(), "a picture of 264 x 136 pixels is over the budget of 153: decoded at 17 x 9")
            << name;
        // Each channel the rounded mean of its block at 1/8.
        const std::vector<std::uint32_t> words = wordsOf(*eighth.image);
        std::vector<std::uint32_t> expected(17 * 9, 0);
        for (int i = 0; i < 17 * 9; ++i) {
            for (int shift = 0; shift < 32; shift += 8) {
                unsigned sum = 0, n = 0;
                for (int y = 2 * (i / 17); y < std::min(2 * (i / 17) + 2, 17); ++y)
                    for (int x = 2 * (i % 17); x < std::min(2 * (i % 17) + 2, 33); ++x, ++n)
                        sum += (words[y * 33 + x] >> shift) & 0xFF;
                expected[i] |= ((sum + n / 2) / n) << shift;
            }
        }
        EXPECT_EQ(wordsOf(*reduced.image), expected) << name << ", 17 x 9";
    }
}
