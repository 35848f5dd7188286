// The work of decodes, spent from a meter as it is done: a decode is cut
// when its allowance is spent or it is no longer wanted, inside a picture;
// no more is read than the picture shown needs. JPEGs over budget even at
// 1/8 come as block means at 1/8.

#include "platform/graphics/Image.h"
#include "platform/graphics/detail/ImageDecoders.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

using platform::DecodeMeter;
using platform::Image;
using platform::ImageDecoding;
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

std::vector<std::uint32_t> meterWordsOf(const Image& image) {
    std::vector<std::uint32_t> words(static_cast<std::size_t>(image.pixelWidth()) * image.pixelHeight());
    const auto rows = image.premultipliedRows();
    for (int y = 0; y < image.pixelHeight(); ++y)
        std::memcpy(&words[static_cast<std::size_t>(y) * image.pixelWidth()], rows.data + y * rows.bytesPerRow,
                    4 * image.pixelWidth());
    return words;
}

// An interlaced RGBA PNG by libpng, a ramp.
Bytes interlacedPng(int width, int height) {
    testsupport::PngSpec spec{width, height, PNG_COLOR_TYPE_RGB_ALPHA};
    spec.interlaced = true;
    return testsupport::PngFromRows(spec, [](int y, std::uint8_t* row, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) row[i] = static_cast<std::uint8_t>(i + 3 * y);
    });
}

// A 1 x 1 RGBA PNG of (10, 20, 30, 255) whose compressed stream goes on
// after its only row with `mebibytes` of zeros.
Bytes tailPng(int mebibytes) {
    Bytes raw{0, 10, 20, 30, 255};
    raw.resize(raw.size() + (static_cast<std::size_t>(mebibytes) << 20), 0);
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    Bytes data(length);
    compress2(data.data(), &length, raw.data(), static_cast<uLong>(raw.size()), 9);
    data.resize(length);
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    testsupport::PutPngChunk(png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, 0, 0, 0});
    testsupport::PutPngChunk(png, "IDAT", data);
    testsupport::PutPngChunk(png, "IEND", {});
    return png;
}

// A 1 x 1 grey PNG whose stream goes on after its row with 2 KiB of noise,
// which deflate keeps stored: 2,118 bytes.
Bytes noiseTailPng() {
    Bytes data{0, 128};
    std::uint32_t noise = 7;
    for (int i = 0; i < 2048; ++i)
        data.push_back(static_cast<std::uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24));
    return testsupport::PngOfStream(1, 1, PNG_COLOR_TYPE_GRAY, testsupport::ZlibAfterEmptyBlocks(0, 0, data));
}

}  // namespace

TEST(ImageDecodeMeter, TheMeterSpendsItsAllowanceAndAsksWhetherTheWorkIsStillWanted) {
    int asked = 0;
    bool stop = false;
    DecodeMeter meter(5'000'000, [&] { return ++asked, stop; });
    EXPECT_TRUE(meter.spend(1'999'999));
    EXPECT_EQ(asked, 0);  // not before kAskEvery units
    EXPECT_TRUE(meter.spend(1));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(meter.spend(-7));  // nothing
    EXPECT_TRUE(meter.spend(1'999'999));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(meter.spend(1'000'001));  // the allowance exactly
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(meter.left(), 0);
    EXPECT_FALSE(meter.spend(1));
    EXPECT_EQ(meter.spent(), 5'000'001);
    EXPECT_EQ(meter.left(), 0);
    EXPECT_FALSE(meter.wasStopped());
    // Once the answer is yes, the work ends for good.
    stop = true;
    DecodeMeter second(9'000'000, [&] { return ++asked, stop; });
    EXPECT_TRUE(second.spend(1'999'999));
    EXPECT_FALSE(second.spend(1));  // asked
    EXPECT_TRUE(second.wasStopped());
    EXPECT_FALSE(second.spend(0));
    EXPECT_EQ(asked, 3);
}

struct Picture {
    const char* name;
    Bytes bytes;
    long long maxPixels = Image::kDecodedPixelBudget;
};

// Made once for the tests that share them.
const std::vector<Picture>& pictures() {
    static const Bytes interlaced = interlacedPng(1024, 512);
    static const Bytes sequential = jpeg({1024, 1024});
    static const Bytes progressive = jpeg({1024, 1024, true});
    static const std::vector<Picture> made{
        {"PNG", testsupport::PlainPng(1024, 1024, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 4})},
        {"PNG reduced as it is read", testsupport::PlainPng(1024, 1024, PNG_COLOR_TYPE_GRAY, {9}), 256 * 256},
        {"interlaced PNG", interlaced},
        {"interlaced PNG reduced after", interlaced, 128 * 64},
        {"JPEG", sequential},
        {"JPEG at 1/2", sequential, 512 * 512},
        {"progressive JPEG", progressive},
        {"progressive JPEG at 1/8", progressive, 128 * 128},
        {"CMYK JPEG", jpeg({1024, 1024, false, 90, JpegColours::Cmyk})},
    };
    return made;
}

TEST(ImageDecodeMeter, ADecodeIsCutWhenItsWorkPassesTheAllowance) {
    for (const Picture& p : pictures()) {
        const auto unmetered = Image::decode(p.bytes, 1, p.maxPixels);
        ASSERT_NE(unmetered.image, nullptr) << p.name;
        const long long work = unmetered.work;
        EXPECT_GT(work, 4 * DecodeMeter::kAskEvery) << p.name;
        // Exactly its work: the same image, counted alike. Two decodes in
        // turn on one meter.
        DecodeMeter enough(2 * work);
        for (int i = 0; i < 2; ++i) {
            const auto metered = Image::decode(p.bytes, 1, p.maxPixels, &enough);
            ASSERT_NE(metered.image, nullptr) << p.name;
            EXPECT_EQ(metered.work, work) << p.name;
            EXPECT_EQ(metered.cut, ImageDecoding::Cut::none) << p.name;
            EXPECT_EQ(meterWordsOf(*metered.image), meterWordsOf(*unmetered.image)) << p.name;
        }
        EXPECT_EQ(enough.left(), 0) << p.name;
        // A unit less: cut, no image, and no more spent than asked.
        DecodeMeter short1(work - 1);
        const auto cut = Image::decode(p.bytes, 1, p.maxPixels, &short1);
        EXPECT_EQ(cut.image, nullptr) << p.name;
        EXPECT_EQ(cut.cut, ImageDecoding::Cut::workSpent) << p.name;
        EXPECT_EQ(cut.fileWidth, unmetered.fileWidth) << p.name;
        EXPECT_LE(cut.work, work) << p.name;
        EXPECT_FALSE(short1.wasStopped()) << p.name;
    }
}

TEST(ImageDecodeMeter, AStopEndsADecodeWithinAFewRows) {
    for (const Picture& p : pictures()) {
        const auto whole = Image::decode(p.bytes, 1, p.maxPixels);
        ASSERT_NE(whole.image, nullptr) << p.name;
        // No longer wanted at the third question.
        const DecodeMeter* self = nullptr;
        long long spentWhenStopped = -1;
        int asked = 0;
        DecodeMeter meter(whole.work, [&] {
            if (++asked < 3) return false;
            spentWhenStopped = self->spent();
            return true;
        });
        self = &meter;
        const auto stopped = Image::decode(p.bytes, 1, p.maxPixels, &meter);
        EXPECT_EQ(stopped.image, nullptr) << p.name;
        EXPECT_EQ(stopped.cut, ImageDecoding::Cut::stopped) << p.name;
        EXPECT_EQ(asked, 3) << p.name;
        // Nothing more once stopped; asked after no more than kAskEvery
        // and a row of MCUs' work (16 rows) or a piece of the file handed
        // over (64 KiB at 40 units a byte, a progressive file's) each time.
        EXPECT_EQ(meter.spent(), spentWhenStopped) << p.name;
        EXPECT_GE(spentWhenStopped, 3 * DecodeMeter::kAskEvery) << p.name;
        const long long step = std::max(whole.work / whole.fileHeight * 16, 40LL * 65536);
        EXPECT_LE(spentWhenStopped, 3 * (DecodeMeter::kAskEvery + step)) << p.name;
        EXPECT_LT(spentWhenStopped, whole.work) << p.name;
    }
}

TEST(ImageDecodeMeter, CompressedDataAfterAPngsLastRowIsNotInflated) {
    // libpng would inflate all of a tail inside the last row: the longer
    // tail's 28 MiB more cost only the reading of its chunk to the CRC.
    const Bytes shortTail = tailPng(4);
    const Bytes longTail = tailPng(32);
    ASSERT_GT(longTail.size(), 30'000u);
    const auto a = Image::decode(shortTail);
    const auto b = Image::decode(longTail);
    ASSERT_NE(b.image, nullptr);
    EXPECT_EQ(b.image->pixel(0, 0), (platform::Pixel{10, 20, 30, 255}));
    EXPECT_LT(b.work - a.work, 16 * static_cast<long long>(longTail.size() - shortTail.size()));
    // The end of a usual stream is still read, and checked.
    const Bytes plain = testsupport::PlainPng(64, 64, PNG_COLOR_TYPE_RGB, {1, 2, 3});
    Bytes badCrc = plain;
    badCrc[badCrc.size() - 13] ^= 1;  // the IDAT chunk's CRC, before IEND
    EXPECT_NE(Image::fromData(plain), nullptr);
    EXPECT_EQ(Image::fromData(badCrc), nullptr);
}

TEST(ImageDecodeMeter, AMeterThatSaysNoInTheTailGivesNoImage) {
    const Bytes png = noiseTailPng();
    ASSERT_EQ(png.size(), 2118u);
    const auto whole = Image::decode(png);
    ASSERT_NE(whole.image, nullptr);  // the rows are the picture
    EXPECT_GT(whole.work, 1'000'000);
    DecodeMeter meter(1'000'000);
    const auto cut = Image::decode(png, 1, Image::kDecodedPixelBudget, &meter);
    EXPECT_EQ(cut.image, nullptr);
    EXPECT_EQ(cut.cut, ImageDecoding::Cut::workSpent);
}

// The scans of a JPEG: where each starts, and whether it carries DC
// coefficients.
std::vector<std::pair<std::size_t, bool>> scansOf(const Bytes& bytes) {
    std::vector<std::pair<std::size_t, bool>> scans;
    for (std::size_t at = markerAt(bytes, 0xDA); at < bytes.size(); at = markerAt(bytes, 0xDA, at + 2)) {
        const std::size_t ss = at + 5 + 2 * std::size_t{bytes[at + 4]};
        scans.emplace_back(at, bytes[ss] == 0);
    }
    return scans;
}

// Each part of a decode is spent at no less than the floor that keeps its
// dearest make-up within 1.5 times a plain picture's time a unit
// (bench_images' BM_DecodeUnits), with room: the units of a picture with
// `count` parts more than the same picture without them.
TEST(ImageDecodeMeter, EachPartOfADecodeIsSpentAtLeastItsFloor) {
    constexpr int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;
    const auto flatJpeg = [](testsupport::JpegSpec spec) {
        const int components = spec.colours == JpegColours::Grey ? 1 : spec.colours == JpegColours::Cmyk ? 4 : 3;
        return testsupport::Jpeg(spec, [components](int, int, std::uint8_t* samples) {
            std::fill(samples, samples + components, std::uint8_t{90});
        });
    };
    const auto flat = [&flatJpeg](int side, bool progressive) {
        return flatJpeg({side, side, progressive, 90, JpegColours::Grey});
    };
    const auto noise = [](int side) {
        std::uint32_t state = 3;
        return testsupport::Jpeg({side, side, true, 100, JpegColours::Grey}, [&state](int, int, std::uint8_t* samples) {
            samples[0] = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
        });
    };
    // The last scan of a progressive picture again and again: each visits
    // every block, and libjpeg applies it once more.
    const auto scansAgain = [](const Bytes& jpegBytes, int times) {
        const std::size_t last = scansOf(jpegBytes).back().first;
        const std::size_t end = jpegBytes.size() - 2;
        Bytes out(jpegBytes.begin(), jpegBytes.begin() + static_cast<std::ptrdiff_t>(end));
        for (int i = 0; i < times; ++i) out.insert(out.end(), jpegBytes.begin() + last, jpegBytes.begin() + end);
        out.insert(out.end(), {0xFF, 0xD9});
        return out;
    };
    const auto flatPng = [](testsupport::PngSpec spec) {
        return testsupport::PngFromRows(
            spec, [](int, std::uint8_t* row, std::size_t size) { std::fill(row, row + size, std::uint8_t{7}); });
    };
    const auto thin = [&flatPng](int height) { return flatPng({1, height, kRgba}); };
    const auto interlaced = [](testsupport::PngSpec spec) { return spec.interlaced = true, spec; };
    // Rows of zeros are the same pixels whatever their filter.
    const auto zeros = [](testsupport::PngSpec spec, int filter) {
        spec.filters = filter;
        return testsupport::PngFromRows(
            spec, [](int, std::uint8_t* row, std::size_t size) { std::fill(row, row + size, std::uint8_t{0}); });
    };
    // The rows' bytes of 1024 x 64 RGBA, filter bytes too: Adam7's passes
    // (columns, rows).
    long long interlacedBytes = 0;
    for (const auto& [columns, rows] :
         {std::pair{128, 8}, {128, 8}, {256, 8}, {256, 16}, {512, 16}, {512, 32}, {1024, 32}})
        interlacedBytes += rows * (1 + 4 * columns);
    const Bytes pixel{0, 9, 8, 7, 6};
    // In chunks of two bytes, the stream's end and IEND still fit the
    // tail after the rows.
    const Bytes stored = testsupport::ZlibAfterEmptyBlocks(0, 0, Bytes(128 * 129, 0));
    const Bytes flat256 = flat(256, true);
    const Bytes noise256 = noise(256);
    const Bytes tallProgressive = flatJpeg({8, 8192, true, 90, JpegColours::Grey});
    const auto scans = static_cast<long long>(scansOf(tallProgressive).size());
    struct Case {
        const char* part;
        Bytes with;
        Bytes without;
        long long count;
        long long floor;
    };
    const Case cases[] = {
        {"a byte of a PNG row", testsupport::PlainPng(1024, 64, kRgba, {1, 2, 3, 4}),
         testsupport::PlainPng(1, 64, kRgba, {1, 2, 3, 4}), 64 * (4 * 1024 - 4), 10},
        {"a byte of a Paeth row over an unfiltered one", zeros({1024, 64, kRgba}, PNG_FILTER_PAETH),
         zeros({1024, 64, kRgba}, PNG_FILTER_NONE), 64 * (1 + 4 * 1024), 15},
        {"a byte of an Average row over an unfiltered one", zeros({1024, 64, kRgba}, PNG_FILTER_AVG),
         zeros({1024, 64, kRgba}, PNG_FILTER_NONE), 64 * (1 + 4 * 1024), 3},
        {"a byte of a pass's Paeth row over an unfiltered one", zeros(interlaced({1024, 64, kRgba}), PNG_FILTER_PAETH),
         zeros(interlaced({1024, 64, kRgba}), PNG_FILTER_NONE), interlacedBytes, 15},
        {"a PNG row", thin(4096), thin(1), 4095, 110},
        {"a PNG chunk's frame", testsupport::PngOfStream(128, 128, PNG_COLOR_TYPE_GRAY, stored, 2),
         testsupport::PngOfStream(128, 128, PNG_COLOR_TYPE_GRAY, stored),
         static_cast<long long>(stored.size() + 1) / 2 - 1, 200},
        {"an empty deflate block of the smallest dynamic codes",
         testsupport::PngOfStream(1, 1, kRgba, testsupport::ZlibAfterEmptyBlocks(2, 1000, pixel)),
         testsupport::PngOfStream(1, 1, kRgba, testsupport::ZlibAfterEmptyBlocks(2, 0, pixel)), 1000, 1800},
        {"an empty deflate block of the largest dynamic codes",
         testsupport::PngOfStream(1, 1, kRgba, testsupport::ZlibAfterEmptyBlocks(3, 1000, pixel)),
         testsupport::PngOfStream(1, 1, kRgba, testsupport::ZlibAfterEmptyBlocks(3, 0, pixel)), 1000, 10000},
        {"a JPEG restart", jpeg({256, 256, false, 90, JpegColours::Rgb, false, 0, 1}), jpeg({256, 256, false, 90}), 255,
         300},
        {"a block of a JPEG scan, by its coefficients", scansAgain(flat256, 100), flat256, 100 * 32 * 32, 130},
        {"a byte of a progressive JPEG", noise256, flat256,
         static_cast<long long>(noise256.size()) - static_cast<long long>(flat256.size()), 30},
        {"a row of MCUs of a progressive scan", tallProgressive, flatJpeg({8, 8, true, 90, JpegColours::Grey}),
         scans * 1023, 350},
        {"a JPEG row put out", flatJpeg({8, 4096, false, 90, JpegColours::Grey}),
         flatJpeg({8, 8, false, 90, JpegColours::Grey}), 4088, 100},
        {"a CMYK pixel", flatJpeg({1024, 64, false, 90, JpegColours::Cmyk}),
         flatJpeg({8, 64, false, 90, JpegColours::Cmyk}), 1016 * 64, 27},
        {"a palette pixel", flatPng({1024, 64, PNG_COLOR_TYPE_PALETTE}), flatPng({1, 64, PNG_COLOR_TYPE_PALETTE}),
         1023 * 64, 36},
        {"a pixel with alpha", flatPng({1024, 64, kRgba}), flatPng({1024, 64, PNG_COLOR_TYPE_RGB}), 1024 * 64, 20},
        // Each of the passes' 120 rows is put out over the whole width.
        {"a pixel of an interlaced pass put out", flatPng(interlaced({1024, 64, kRgba})), flatPng({1024, 64, kRgba}),
         120 * 1024, 7},
    };
    for (const Case& c : cases) {
        const auto with = Image::decode(c.with);
        const auto without = Image::decode(c.without);
        ASSERT_TRUE(with.image && without.image) << c.part;
        EXPECT_GE(with.work - without.work, c.count * c.floor) << c.part;
    }
}

TEST(ImageDecodeMeter, AProgressiveJpegAtAnEighthOrLessReadsOnlyItsDcScans) {
    for (const JpegColours colours : {JpegColours::Grey, JpegColours::Rgb}) {
        const Bytes progressive = jpeg({512, 256, true, 90, colours});
        // Cut inside the first scan after the last that carries DC, with no
        // end marker.
        const auto scans = scansOf(progressive);
        std::size_t lastDc = 0;
        for (std::size_t i = 0; i < scans.size(); ++i)
            if (scans[i].second) lastDc = i;
        ASSERT_LT(lastDc + 1, scans.size());
        const Bytes cut(progressive.begin(),
                        progressive.begin() + static_cast<std::ptrdiff_t>(scans[lastDc + 1].first + 40));
        for (const long long maxPixels : {64LL * 32, 32LL * 16}) {
            const auto whole = Image::decode(progressive, 1, maxPixels);
            const auto dcOnly = Image::decode(cut, 1, maxPixels);
            ASSERT_TRUE(whole.image && dcOnly.image) << maxPixels;
            EXPECT_EQ(meterWordsOf(*dcOnly.image), meterWordsOf(*whole.image)) << maxPixels;
        }
        // At 1/4 every scan is wanted.
        EXPECT_NE(Image::fromData(progressive, 1, 128 * 64), nullptr);
        EXPECT_EQ(Image::fromData(cut, 1, 128 * 64), nullptr);
    }
    // One grey block at 1/8 is its DC alone: the same as the picture
    // written in one scan, which is read whole.
    const Bytes sequential = jpeg({512, 256, false, 90, JpegColours::Grey});
    const Bytes progressive = jpeg({512, 256, true, 90, JpegColours::Grey});
    EXPECT_EQ(meterWordsOf(*Image::fromData(progressive, 1, 64 * 32)),
              meterWordsOf(*Image::fromData(sequential, 1, 64 * 32)));
}

TEST(ImageDecodeMeter, WhatLibjpegRefusesGivesNoImage) {
    const Bytes baseline = jpeg({64, 32});
    const std::size_t sof = markerAt(baseline, 0xC0);
    const std::size_t sofLength = (std::size_t{baseline[sof + 2]} << 8 | baseline[sof + 3]) + 2;
    // The last scan again and again: libjpeg goes on, but past 1000 scans
    // the decode gives up.
    const Bytes small = jpeg({16, 16, true, 90, JpegColours::Grey});
    const std::size_t lastScan = scansOf(small).back().first;
    const std::size_t end = small.size() - 2;
    const auto repeated = [&](int times) {
        Bytes out(small.begin(), small.begin() + static_cast<std::ptrdiff_t>(end));
        for (int i = 0; i < times; ++i) out.insert(out.end(), small.begin() + lastScan, small.begin() + end);
        out.insert(out.end(), {0xFF, 0xD9});
        return out;
    };
    const Bytes png = testsupport::PlainPng(300, 200, PNG_COLOR_TYPE_GRAY, {1});
    struct Case {
        const char* name;
        Bytes bytes;
        bool decodes;
    };
    const Case cases[] = {
        {"a thumbnail's scans inside EXIF are not the picture's",
         inserted(baseline, 2, segment(0xE1, inserted({'E', 'x', 'i', 'f', 0, 0}, 6, jpeg({16, 16, true})))), true},
        {"bytes after the end marker",
         inserted(baseline, baseline.size(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9}),
         true},
        {"stray bytes between segments", inserted(baseline, markerAt(baseline, 0xDB), {0x01, 0xFF, 0x00, 0x03}), true},
        {"restart markers", jpeg({64, 32, false, 90, JpegColours::Rgb, false, 1}), true},
        {"arithmetic coding", jpeg({64, 32, false, 90, JpegColours::Rgb, true}), true},
        {"no end marker", Bytes(baseline.begin(), baseline.end() - 2), false},
        {"a second frame header", inserted(baseline, sof, Bytes(&baseline[sof], &baseline[sof + sofLength])), false},
        {"lossless coding", patched(baseline, sof + 1, 0xC3), false},
        {"12 bits a sample", patched(baseline, sof + 4, 12), false},
        {"a scan of a component the frame lacks", patched(baseline, markerAt(baseline, 0xDA) + 5, 9), false},
        {"more than 1000 scans", repeated(1000), false},
        {"a scan before the frame", inserted(baseline, 2, segment(0xDA, {1, 1, 0, 0, 63, 0})), false},
        {"GIF", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, false},
        // Nothing is read past the end of a header cut short.
        {"PNG cut after its size", Bytes(png.begin(), png.begin() + 24), false},
        {"PNG cut inside its header", Bytes(png.begin(), png.begin() + 30), false},
    };
    for (const Case& c : cases) EXPECT_EQ(Image::fromData(c.bytes) != nullptr, c.decodes) << c.name;
}

TEST(ImageDecodeMeter, AJpegOverItsBudgetAtAnEighthComesAsTheMeansOfWholeBlocksOfThatEighth) {
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
        const std::vector<std::uint32_t> words = meterWordsOf(*eighth.image);
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
        EXPECT_EQ(meterWordsOf(*reduced.image), expected) << name << ", 17 x 9";
    }
}
