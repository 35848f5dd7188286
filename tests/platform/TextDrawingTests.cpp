#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/TextMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::Pixel;
using platform::TextAttributes;

namespace {

struct Ink {
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;  // inclusive pixel bounds
    bool any() const { return maxX >= 0; }
};

template <typename Predicate>
Ink inkWhere(const BitmapContext& c, Predicate predicate) {
    Ink ink;
    for (int y = 0; y < c.pixelHeight(); ++y) {
        for (int x = 0; x < c.pixelWidth(); ++x) {
            if (!predicate(*c.pixel(x, y))) continue;
            ink.minX = std::min(ink.minX, x);
            ink.maxX = std::max(ink.maxX, x);
            ink.minY = std::min(ink.minY, y);
            ink.maxY = std::max(ink.maxY, y);
        }
    }
    return ink;
}

Ink inkOf(const BitmapContext& c) {
    return inkWhere(c, [](const Pixel& p) { return p.alpha > 0; });
}

TextAttributes font(const std::string& name, double size) {
    TextAttributes a;
    a.fontName = name;
    a.fontSize = size;
    return a;
}

}  // namespace

TEST(TextDrawingTest, DrawnInkFillsTheBoxThatMeasureTextReports) {
    // Texts whose first and last glyphs have small side bearings, so the ink
    // spans nearly the whole advance width.
    struct Case {
        const char* text;
        const char* font;
        double size;
        double scale;
    };
    const Case cases[] = {
        {"HIIH", "DejaVu Sans", 20, 1},    {"HIIH", "DejaVu Sans", 20, 2}, {"Hamburg Hbf", "DejaVu Sans", 16, 1},
        {"MNM", "DejaVuSans-Bold", 24, 1}, {"HIIH", "NoSuchFont", 20, 1},  // unknown fonts draw as they measure: in the
                                                                           // system font
    };
    for (const auto& k : cases) {
        const auto measured = platform::measureText(k.text, k.font, k.size);
        auto c = BitmapContext::create(static_cast<int>(300 * k.scale), static_cast<int>(60 * k.scale), k.scale);
        ASSERT_NE(c, nullptr);
        const double left = 10;
        const double top = 10;
        c->drawText(k.text, {left, top}, font(k.font, k.size));
        const Ink ink = inkOf(*c);
        ASSERT_TRUE(ink.any()) << k.text;
        const double inkLeft = ink.minX / k.scale;
        const double inkRight = (ink.maxX + 1) / k.scale;
        const double inkTop = ink.minY / k.scale;
        const double inkBottom = (ink.maxY + 1) / k.scale;
        // Ink ends within two points of the measured advance on both sides
        // (side bearings of H and M are about a tenth of the size).
        EXPECT_NEAR(inkLeft, left, 2.5) << k.text << " at scale " << k.scale;
        EXPECT_NEAR(inkRight, left + measured.width, 2.5) << k.text << " at scale " << k.scale;
        // Capitals sit inside the line box: not above its top, not below it.
        EXPECT_GE(inkTop, top) << k.text;
        EXPECT_LE(inkBottom, top + measured.height + 0.5) << k.text;
        EXPECT_GT(inkBottom - inkTop, k.size * 0.6) << k.text;  // cap height of DejaVu is 0.73 em
    }
}

TEST(TextDrawingTest, UnknownFontDrawsExactlyLikeTheSystemFont) {
    auto a = BitmapContext::create(200, 40);
    auto b = BitmapContext::create(200, 40);
    a->drawText("Weiche 12", {5, 5}, font("NoSuchFont-Regular", 18));
    b->drawText("Weiche 12", {5, 5}, font(platform::systemFontFamily(), 18));
    int differing = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) differing += *a->pixel(x, y) == *b->pixel(x, y) ? 0 : 1;
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(inkOf(*a).any());
}

TEST(TextDrawingTest, OutlineWidthSignChoosesFillAndStroke) {
    const auto isRed = [](const Pixel& p) { return p.alpha == 255 && p.red > 200 && p.green < 60 && p.blue < 60; };
    const auto isBlack = [](const Pixel& p) { return p.alpha == 255 && p.red < 40 && p.green < 40 && p.blue < 40; };
    struct Case {
        const char* name;
        double strokeWidth;
        bool red;
        bool black;
    };
    const Case cases[] = {
        {"no outline", 0, false, true},
        {"negative: fill and outline", -8, true, true},
        {"positive: outline only", 8, true, false},
    };
    for (const auto& k : cases) {
        auto c = BitmapContext::create(200, 80);
        TextAttributes a = font("DejaVuSans-Bold", 48);
        a.color = {0, 0, 0, 1};
        a.strokeColor = platform::Color{1, 0, 0, 1};
        a.strokeWidth = k.strokeWidth;
        c->drawText("IOI", {10, 10}, a);
        EXPECT_EQ(inkWhere(*c, isRed).any(), k.red) << k.name;
        EXPECT_EQ(inkWhere(*c, isBlack).any(), k.black) << k.name;
    }
}

TEST(TextDrawingTest, TextInARectangleWrapsAlignsAndClips) {
    const auto measuredWord = platform::measureText("Gleis", "DejaVu Sans", 20);
    const double lineHeight = measuredWord.height;

    // One word, right-aligned: its ink ends at the rectangle's right edge.
    auto right = BitmapContext::create(300, 60);
    right->drawTextInRect("HIIH", platform::Rect{10, 10, 200, 40}, font("DejaVu Sans", 20),
                          platform::TextAlignment::right);
    EXPECT_NEAR(inkOf(*right).maxX + 1, 210, 2.5);

    // Centred: the ink's middle is the rectangle's middle.
    auto centred = BitmapContext::create(300, 60);
    centred->drawTextInRect("HIIH", platform::Rect{10, 10, 200, 40}, font("DejaVu Sans", 20),
                            platform::TextAlignment::center);
    const Ink ci = inkOf(*centred);
    EXPECT_NEAR((ci.minX + ci.maxX + 1) / 2.0, 110, 1.5);

    // Three words in a box one word wide: three lines, wrapped at spaces.
    auto wrapped = BitmapContext::create(300, 200);
    wrapped->drawTextInRect("Gleis Gleis Gleis", platform::Rect{10, 10, measuredWord.width + 4, 150},
                            font("DejaVu Sans", 20));
    const Ink wi = inkOf(*wrapped);
    EXPECT_LE(wi.maxX + 1, 10 + measuredWord.width + 4);
    EXPECT_GT(wi.maxY + 1, 10 + 2 * lineHeight);  // the third line is drawn
    EXPECT_LT(wi.maxY + 1, 10 + 3 * lineHeight + 1);

    // The same in a box one line high: only the first line shows.
    auto clipped = BitmapContext::create(300, 200);
    clipped->drawTextInRect("Gleis Gleis Gleis", platform::Rect{10, 10, measuredWord.width + 4, lineHeight},
                            font("DejaVu Sans", 20));
    EXPECT_LE(inkOf(*clipped).maxY + 1, 10 + lineHeight);
}

TEST(TextDrawingTest, HostileTextArgumentsDrawNothingAndKeepTheContext) {
    auto c = BitmapContext::create(100, 40);
    c->drawText("Hello", {5, 5}, font("DejaVu Sans", 0));
    c->drawText("Hello", {5, 5}, font("DejaVu Sans", -12));
    c->drawText("Hello", {5, 5}, font("DejaVu Sans", std::nan("")));
    c->drawText("Hello", {std::nan(""), 5}, font("DejaVu Sans", 12));
    c->drawTextInRect("Hello", platform::Rect{0, 0, 0, 40}, font("DejaVu Sans", 12));
    EXPECT_FALSE(inkOf(*c).any());
    // Broken UTF-8 and huge sizes still draw, without harm.
    c->drawText(std::string("a\xFF"
                            "b"),
                {5, 5}, font("DejaVu Sans", 12));
    c->drawText("H", {-2000, -2000}, font("DejaVu Sans", 5000));
    EXPECT_TRUE(inkOf(*c).any());
    c->fillRect({0, 0, 100, 40});
    EXPECT_EQ(c->pixel(50, 20)->alpha, 255);
}

TEST(TextDrawingTest, ATextMeasuredBeforeItIsDrawnDrawsAsOneDrawnFirst) {
    // Font names are looked up regardless of case, but each spelling has
    // layouts of its own: one text is measured before its first drawing,
    // the other is drawn first.
    const platform::TextSize measured = platform::measureText("Signal 4711", "dejavu sans", 17);
    EXPECT_GT(measured.width, 0);
    auto a = BitmapContext::create(200, 40);
    auto b = BitmapContext::create(200, 40);
    a->drawText("Signal 4711", {5, 5}, font("dejavu sans", 17));
    b->drawText("Signal 4711", {5, 5}, font("DejaVu Sans", 17));
    int differing = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) differing += *a->pixel(x, y) == *b->pixel(x, y) ? 0 : 1;
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(inkOf(*a).any());
    EXPECT_EQ(platform::measureText("Signal 4711", "DejaVu Sans", 17).width, measured.width);
}

TEST(TextDrawingTest, ConcurrentDrawingGivesTheSerialPixels) {
    const auto render = [] {
        auto c = BitmapContext::create(160, 30);
        c->drawText("Kreuzung 7", {4, 4}, font("DejaVu Sans", 16));
        return c->makeImage()->pngData();
    };
    const auto expected = render();
    constexpr int kThreads = 6;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                if (render() != expected) ++mismatches[t];
                platform::measureText("Kreuzung 7", "DejaVu Sans", 16);
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}
