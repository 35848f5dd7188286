#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

#include "tests/support/TempRoot.h"
#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using platform::BitmapContext;
using platform::Image;
using platform::Pixel;
using testsupport::JpegColours;

namespace {

using Bytes = std::vector<std::uint8_t>;

// --- a small PNG writer of our own (stored deflate blocks), so that the
// expected pixels do not come from the code under test ---

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put32(png, crc32(typed.data(), typed.size()));
}

// An 8-bit RGB (colour type 2) or RGBA (6) PNG; `rows` holds the raw samples.
Bytes makePng(std::uint32_t width, std::uint32_t height, bool alpha, const Bytes& samples) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, static_cast<std::uint8_t>(alpha ? 6 : 2), 0, 0, 0});
    chunk(png, "IHDR", header);

    const std::size_t rowBytes = static_cast<std::size_t>(width) * (alpha ? 4 : 3);
    Bytes raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), samples.begin() + y * rowBytes, samples.begin() + (y + 1) * rowBytes);
    }
    Bytes z{0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        if (last) break;
    }
    put32(z, (b << 16) | a);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

// A PNG whose header alone claims the size; no pixel data follows.
Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    Bytes png = makePng(1, 1, false, {1, 2, 3});
    // Rewrite IHDR's width and height, then its CRC.
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = crc32(png.data() + 12, 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return png;
}

// --- JPEG through libjpeg itself (the shared writer) ---

Bytes makeJpeg(int width, int height, JpegColours colours, const Bytes& samples, bool progressive = false) {
    const auto components = static_cast<std::size_t>(colours);
    return testsupport::Jpeg({width, height, progressive, 95, colours}, [&](int x, int y, std::uint8_t* pixel) {
        std::memcpy(pixel, samples.data() + (static_cast<std::size_t>(y) * width + x) * components, components);
    });
}

// Left half one colour, right half another.
Bytes halves(int width, int height, const Bytes& left, const Bytes& right) {
    Bytes out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bytes& c = x < width / 2 ? left : right;
            out.insert(out.end(), c.begin(), c.end());
        }
    return out;
}

void expectPixelNear(const Pixel& actual, const Pixel& expected, int tolerance, const std::string& name) {
    EXPECT_NEAR(actual.red, expected.red, tolerance) << name;
    EXPECT_NEAR(actual.green, expected.green, tolerance) << name;
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << name;
    EXPECT_EQ(actual.alpha, expected.alpha) << name;
}

}  // namespace

TEST(ImageTest, DecodesPngPixelsAsWritten) {
    // 3 x 2, RGB: red green blue / white black grey.
    const Bytes rgb{255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    auto image = Image::fromData(makePng(3, 2, false, rgb));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), 3);
    EXPECT_EQ(image->pixelHeight(), 2);
    EXPECT_EQ(image->scale(), 1.0);
    const Pixel expected[2][3] = {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}},
                                  {{255, 255, 255, 255}, {0, 0, 0, 255}, {128, 128, 128, 255}}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(*image->pixel(x, y), expected[y][x]) << x << "," << y;
    EXPECT_FALSE(image->pixel(3, 0).has_value());
    EXPECT_FALSE(image->pixel(0, -1).has_value());

    // With alpha: straight (not premultiplied) values come back.
    const Bytes rgba{255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 128, 255, 255, 255, 51};
    auto translucent = Image::fromData(makePng(2, 2, true, rgba));
    ASSERT_NE(translucent, nullptr);
    EXPECT_EQ(*translucent->pixel(0, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(translucent->pixel(1, 0)->alpha, 0);
    expectPixelNear(*translucent->pixel(0, 1), {0, 255, 0, 128}, 1, "half green");
    expectPixelNear(*translucent->pixel(1, 1), {255, 255, 255, 51}, 3, "faint white");

    // Scale: pixels per point.
    auto retina = Image::fromData(makePng(3, 2, false, rgb), 2);
    EXPECT_EQ(retina->size(), (platform::Size{1.5, 1}));
    EXPECT_EQ(Image::fromData(makePng(3, 2, false, rgb), std::nan(""))->scale(), 1.0);
}

TEST(ImageTest, PngRoundTripKeepsEveryPixel) {
    auto c = BitmapContext::create(7, 5);
    c->setFillColor({1, 0.5, 0, 1});
    c->fillRect({0, 0, 4, 5});
    c->setFillColor({0, 0, 1, 0.5});
    c->fillRect({3, 1, 4, 3});
    c->setFillColor({0.2, 0.8, 0.4, 0.2});
    c->fillRect({6, 4, 1, 1});
    auto original = c->makeImage();
    ASSERT_NE(original, nullptr);

    const Bytes png = original->pngData();
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 4), (Bytes{0x89, 'P', 'N', 'G'}));

    const auto path = testsupport::processRoot() / "round-trip.png";
    ASSERT_TRUE(original->writePNG(path));
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".partial"));
    for (const auto& decoded : {Image::fromData(png), Image::fromFile(path)}) {
        ASSERT_NE(decoded, nullptr);
        ASSERT_EQ(decoded->pixelWidth(), 7);
        ASSERT_EQ(decoded->pixelHeight(), 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const Pixel a = *original->pixel(x, y);
                const Pixel b = *decoded->pixel(x, y);
                // Opaque pixels exactly; translucent ones within rounding.
                expectPixelNear(b, a, a.alpha == 255 ? 0 : 2, std::to_string(x) + "," + std::to_string(y));
            }
    }
    // Writing into a folder that does not exist fails and leaves nothing.
    EXPECT_FALSE(original->writePNG(testsupport::processRoot() / "no-such-folder" / "x.png"));
    EXPECT_EQ(Image::fromFile(testsupport::processRoot() / "missing.png"), nullptr);
}

TEST(ImageTest, DecodesJpegInEveryColourSpace) {
    struct Case {
        const char* name;
        JpegColours colours;
        Bytes left, right;
        Pixel expectedLeft, expectedRight;
    };
    const Case cases[] = {
        {"RGB", JpegColours::Rgb, {255, 0, 0}, {0, 0, 255}, {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"grey", JpegColours::Grey, {40}, {220}, {40, 40, 40, 255}, {220, 220, 220, 255}},
        // libjpeg marks CMYK files as Adobe's, whose samples are inverted ink:
        // 255 means no ink. Left: magenta + yellow ink = red; right: none = white.
        {"Adobe CMYK",
         JpegColours::Cmyk,
         {255, 0, 0, 255},
         {255, 255, 255, 255},
         {255, 0, 0, 255},
         {255, 255, 255, 255}},
    };
    for (const auto& k : cases) {
        const Bytes jpeg = makeJpeg(32, 16, k.colours, halves(32, 16, k.left, k.right));
        auto image = Image::fromData(jpeg);
        ASSERT_NE(image, nullptr) << k.name;
        EXPECT_EQ(image->pixelWidth(), 32) << k.name;
        EXPECT_EQ(image->pixelHeight(), 16) << k.name;
        // Away from the edge between the halves, where JPEG rings.
        expectPixelNear(*image->pixel(4, 8), k.expectedLeft, 8, std::string(k.name) + " left");
        expectPixelNear(*image->pixel(28, 8), k.expectedRight, 8, std::string(k.name) + " right");
    }
    // A progressive file decodes the same.
    const Bytes progressive = makeJpeg(32, 16, JpegColours::Rgb, halves(32, 16, {0, 200, 0}, {250, 250, 0}), true);
    auto image = Image::fromData(progressive);
    ASSERT_NE(image, nullptr);
    expectPixelNear(*image->pixel(4, 8), {0, 200, 0, 255}, 8, "progressive left");
    expectPixelNear(*image->pixel(28, 8), {250, 250, 0, 255}, 8, "progressive right");
    // Cut short, it is refused like a baseline file.
    EXPECT_EQ(Image::fromData(Bytes(progressive.begin(), progressive.begin() + progressive.size() * 2 / 3)), nullptr);
}

TEST(ImageTest, HostileBytesGiveNoImage) {
    const Bytes rgb(300 * 200 * 3, 77);
    const Bytes png = makePng(300, 200, false, rgb);
    const Bytes jpeg = makeJpeg(64, 64, JpegColours::Rgb, Bytes(64 * 64 * 3, 90));
    ASSERT_NE(Image::fromData(png), nullptr);
    ASSERT_NE(Image::fromData(jpeg), nullptr);

    // A JPEG whose frame header claims 60000 x 60000.
    Bytes hugeJpeg = jpeg;
    for (std::size_t i = 2; i + 8 < hugeJpeg.size(); ++i) {
        if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            hugeJpeg[i + 5] = 0xEA;
            hugeJpeg[i + 6] = 0x60;
            hugeJpeg[i + 7] = 0xEA;
            hugeJpeg[i + 8] = 0x60;
            break;
        }
    }
    Bytes brokenCrc = png;
    brokenCrc[60] ^= 0xFF;  // inside the IDAT data (IHDR ends at byte 33)

    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"PNG signature only", Bytes(png.begin(), png.begin() + 8)},
        {"PNG cut in its header", Bytes(png.begin(), png.begin() + 20)},
        {"PNG cut in half", Bytes(png.begin(), png.begin() + png.size() / 2)},
        {"PNG without its last byte", Bytes(png.begin(), png.end() - 1)},
        {"PNG with damaged pixel data", brokenCrc},
        {"PNG claiming 100000 x 100000", pngHeaderOnly(100000, 100000)},
        {"PNG claiming 20000 x 10", pngHeaderOnly(20000, 10)},
        {"PNG claiming 16384 x 16385", pngHeaderOnly(16384, 16385)},
        {"PNG claiming 0 x 10", pngHeaderOnly(0, 10)},
        {"PNG claiming 2^31 x 1", pngHeaderOnly(0x80000000u, 1)},
        {"JPEG start marker only", {0xFF, 0xD8, 0xFF}},
        {"JPEG cut in half", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)},
        {"JPEG cut before its end marker", Bytes(jpeg.begin(), jpeg.end() - 40)},
        {"JPEG claiming 60000 x 60000", hugeJpeg},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
    };
    for (const auto& k : cases) EXPECT_EQ(Image::fromData(k.bytes), nullptr) << k.name;

    // The side limit is exact: 16384 pixels decode, 16385 do not.
    EXPECT_NE(Image::fromData(makePng(16384, 1, false, Bytes(16384 * 3, 9))), nullptr);
    EXPECT_EQ(Image::fromData(makePng(16385, 1, false, Bytes(16385 * 3, 9))), nullptr);

    // A file of garbage.
    const auto path = testsupport::processRoot() / "garbage.png";
    std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1a\nnot really";
    EXPECT_EQ(Image::fromFile(path), nullptr);
}

// Damage in or after a PNG's compressed rows. A picture is shown only when
// every byte that made its rows is checked: the CRC of the chunk they came
// from, and the stream's check when it lies there too. What comes only
// after the rows does not refuse a picture whose rows are whole.
TEST(ImageTest, APngIsJudgedByTheBytesThatMakeItsRows) {
    constexpr int kWidth = 16;
    constexpr int kHeight = 8;
    Bytes rows;  // as the file has them: filter none, then a ramp
    for (int y = 0; y < kHeight; ++y) {
        rows.push_back(0);
        for (int i = 0; i < 3 * kWidth; ++i) rows.push_back(static_cast<std::uint8_t>(i * 5 + y * 17));
    }
    const auto zlibOf = [](const Bytes& data, int flush) {
        z_stream z{};
        deflateInit(&z, 9);
        Bytes out;
        testsupport::DeflatePiece(&z, data.data(), data.size(), flush, out);
        deflateEnd(&z);
        return out;
    };
    const auto png = [](const std::vector<Bytes>& idats) {
        Bytes out = makePng(kWidth, kHeight, false, Bytes(3 * kWidth * kHeight, 0));
        out.resize(33);  // signature and IHDR
        for (const Bytes& data : idats) chunk(out, "IDAT", data);
        chunk(out, "IEND", {});
        return out;
    };
    // The last CRC before IEND, or IHDR's, with a bit flipped.
    const auto lastCrcFlipped = [](Bytes bytes) { return bytes[bytes.size() - 13] ^= 1, bytes; };
    const auto headerCrcFlipped = [](Bytes bytes) { return bytes[32] ^= 1, bytes; };
    const auto split = [](const Bytes& data, std::size_t at) {
        return std::vector<Bytes>{Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(at)),
                                  Bytes(data.begin() + static_cast<std::ptrdiff_t>(at), data.end())};
    };
    const Bytes stream = zlibOf(rows, Z_FINISH);
    const Bytes flushed = zlibOf(rows, Z_SYNC_FLUSH);  // the rows whole, the stream not ended
    // The rows, then 2 KiB of noise: read on past the piece the rows end in.
    Bytes rowsAndMore = rows;
    std::uint32_t noise = 1;
    for (int i = 0; i < 2048; ++i)
        rowsAndMore.push_back(static_cast<std::uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24));
    const Bytes goesOn = zlibOf(rowsAndMore, Z_FINISH);
    // What a flipped bit near the end did: the last row changed, then a
    // byte more put out; the chunk's CRC no longer matches.
    Bytes changed = rows;
    changed.back() ^= 0x40;
    changed.push_back(7);
    // A final block of fixed codes whose first copy reaches 769 bytes back,
    // before the first row byte.
    Bytes tooFarBack = flushed;
    tooFarBack.insert(tooFarBack.end(), {0x03, 0x66, 0x00, 0x00, 0, 0, 0, 0});
    const Bytes goesOnPng = png({goesOn});
    Bytes ownCheck = stream;  // its check alone in an IDAT, and wrong
    ownCheck.back() ^= 1;

    struct Case {
        const char* damage;
        Bytes bytes;
        bool shown;
    };
    const Case cases[] = {
        {"the last IDAT's CRC, the stream going on past the rows", lastCrcFlipped(png(split(goesOn, 20))), false},
        {"a bit flip: the last row changed, then more", lastCrcFlipped(png({zlibOf(changed, Z_FINISH)})), false},
        {"the last IDAT cut short after the rows", Bytes(goesOnPng.begin(), goesOnPng.end() - 19), false},
        {"the stream's check, in the rows' chunk", png({ownCheck}), false},
        {"IHDR's CRC", headerCrcFlipped(png({stream})), false},
        {"the stream's check, in an IDAT of its own", png(split(ownCheck, ownCheck.size() - 4)), true},
        {"a copy from before the window, after the rows", png({tooFarBack}), true},
        {"the stream cut off by IEND after the rows", png({flushed}), true},
    };
    const auto pixels = [](const Image& image) {
        std::vector<std::optional<Pixel>> out;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) out.push_back(image.pixel(x, y));
        return out;
    };
    const auto whole = Image::fromData(png({stream}));
    ASSERT_NE(whole, nullptr);
    for (const Case& c : cases) {
        const auto image = Image::fromData(c.bytes);
        EXPECT_EQ(image != nullptr, c.shown) << c.damage;
        if (image) {
            EXPECT_EQ(pixels(*image), pixels(*whole)) << c.damage;
        }
    }
}
