#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"
#include "platform/graphics/TextLayout.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/graphics/detail/GlyphMasks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Context;
using platform::StyledText;
using platform::TextAlignment;
using platform::TextAttributes;
using platform::TextLayout;
using platform::TextLayoutOptions;
namespace detail = platform::detail;

namespace {

TextAttributes font(double size, const std::string& name = "DejaVu Sans", Color color = {0, 0, 0, 1}) {
    TextAttributes a;
    a.fontName = name;
    a.fontSize = size;
    a.color = color;
    return a;
}

std::vector<std::uint8_t> bytesOf(const BitmapContext& c) {
    const auto image = c.makeImage();
    const auto rows = image->premultipliedRows();
    return {rows.data, rows.data + static_cast<std::size_t>(rows.bytesPerRow) * image->pixelHeight()};
}

bool anyInk(const std::vector<std::uint8_t>& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
}

struct Drawn {
    std::vector<std::uint8_t> bytes;
    std::size_t runsFromMasks = 0;
};

// Draws on a fresh bitmap with the glyph masks on or off on this thread.
Drawn drawWith(bool masks, int width, int height, double scale, const std::function<void(BitmapContext&)>& draw) {
    detail::setGlyphMasksEnabled(masks);
    const std::size_t before = detail::glyphRunsDrawnFromMasks();
    auto c = BitmapContext::create(width, height, scale);
    draw(*c);
    Drawn drawn{bytesOf(*c), detail::glyphRunsDrawnFromMasks() - before};
    detail::setGlyphMasksEnabled(true);
    return drawn;
}

StyledText mixedRuns() {
    StyledText s;
    s.text = "Gleis 7 (Weiche links) AVAWAY Tj ffi fjord \u00e4\u00f6\u00fc \u00df 0.125 m";
    s.attributes = font(12);
    s.runs.push_back({0, 5, font(15, "DejaVu Sans Bold", {0.8, 0.1, 0.1, 1})});
    s.runs.push_back({9, 13, font(11, "DejaVu Serif Italic", {0.1, 0.5, 0.2, 0.7})});
    s.runs.push_back({23, 6, font(17, "DejaVu Sans Oblique")});
    s.runs.push_back({37, 5, font(9.5, "DejaVu Sans Mono", {0.2, 0.2, 0.9, 0.35})});
    return s;
}

std::string farOutside() {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "AVAV";
    return text + std::string(40, ' ');
}

std::string longText() {
    std::string text;
    for (int i = 0; i < 12; ++i) text += "Bogen " + std::to_string(i * 37) + " mit Kreuzung, Weiche und Prellbock; ";
    return text;
}

}  // namespace

TEST(GlyphMasksTest, DrawTheSameBytesAsCairo) {
    TextLayoutOptions wrapped;
    wrapped.width = 230;
    TextLayoutOptions centred = wrapped;
    centred.alignment = TextAlignment::center;
    centred.maximumLines = 4;
    centred.lineBreakMode = platform::LineBreakMode::truncatingTail;

    struct Case {
        const char* name;
        StyledText text;
        TextLayoutOptions options;
        double scale;
        std::function<void(BitmapContext&, const TextLayout&)> draw;
    };
    const auto at = [](double x, double y) {
        return [x, y](BitmapContext& c, const TextLayout& l) { c.drawTextLayout(l, {x, y}); };
    };
    const std::vector<Case> cases = {
        {"small text at scale 1", {"Weiche 12 links", font(9), {}}, {}, 1, at(3.25, 4.6)},
        {"half pixels round up", {"Il1 |Il1", font(13), {}}, {}, 1, at(1.5, 2.5)},
        {"negative half pixels round up", {"Il1 |Il1", font(13), {}}, {}, 1, at(-0.5, -1.5)},
        {"label at scale 2", {"Gleis 7", font(11), {}}, {}, 2, at(0.3, 0.7)},
        {"bold at scale 3", {"Prellbock 0.5", font(14, "DejaVu Sans Bold"), {}}, {}, 3, at(1.17, 2.5)},
        {"large at scale 2", {"Mast", font(60), {}}, {}, 2, at(2.2, 1.1)},
        {"colour with alpha", {"Kreuzung", font(16, "DejaVu Serif", {0.2, 0.6, 0.9, 0.55}), {}}, {}, 2, at(4, 3)},
        {"colour out of range", {"Kreuzung", font(16, "DejaVu Serif", {1.7, -0.3, 0.5, 1}), {}}, {}, 1, at(4, 3)},
        {"all but transparent", {"Kreuzung", font(16, "DejaVu Serif", {0, 0, 0, 0.02}), {}}, {}, 1, at(4, 3)},
        {"context alpha",
         {"Bogen", font(20, "DejaVu Sans", {0.3, 0.3, 0.3, 0.9}), {}},
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.setAlpha(0.4);
             c.drawTextLayout(l, {1.3, 2});
         }},
        {"several runs", mixedRuns(), {}, 2, at(0.25, 1.75)},
        {"marks and right to left",
         {"Cafe\u0301 n\u0303 \u05e9\u05dc\u05d5\u05dd \u0645\u0631\u062d\u0628\u0627 x\u0323\u0307", font(15), {}},
         {},
         2,
         at(1.3, 0.6)},
        {"long text on many lines", {longText(), font(10.5), {}}, wrapped, 1, at(2.4, 1.6)},
        {"centred and shortened", {longText(), font(11, "DejaVu Serif"), {}}, centred, 3, at(1, 1)},
        {"translated and scaled",
         mixedRuns(),
         {},
         1,
         [](BitmapContext& c, const TextLayout& l) {
             c.translate(0.37, 0.2);
             c.scale(1.25, 1.25);
             c.drawTextLayout(l, {1, 2});
         }},
        {"clip of whole pixels",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.clipToRect({20.5, 3, 60, 9.5});
             c.drawTextLayout(l, {0.25, 1.75});
         }},
        {"clip through pixels",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.clipToRect({20.3, 3.1, 60.2, 9.7});
             c.drawTextLayout(l, {0.25, 1.75});
         }},
        {"clip of a layer's bounds",
         {"Weiche 12", font(9), {}},
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.translate(3.2, 4.1);
             c.clipToRect({0, 0, l.size().width, l.size().height});
             c.drawTextLayout(l, {0, 0});
         }},
        {"clip of two rectangles",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.clipToRect({15.3, 2.2, 90, 20});
             c.scale(1.5, 1.5);
             c.clipToRect({5, 0.1, 40.1, 7.45});
             c.drawTextLayout(l, {0.25, 1.75});
         }},
        {"a clip of a path restored",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.clipToRect({10.5, 0, 200, 30});
             c.save();
             platform::Path circle;
             circle.addEllipseInRect({20, -20, 70, 70});
             c.clipToPath(circle);
             c.restore();
             c.drawTextLayout(l, {0.25, 1.75});
         }},
        {"in a transparency layer",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.setAlpha(0.8);
             c.clipToRect({10, 0, 200, 30});
             c.beginTransparencyLayer();
             c.drawTextLayout(l, {0.6, 1.2});
             c.endTransparencyLayer();
         }},
        {"on a band",
         mixedRuns(),
         {},
         2,
         [](BitmapContext& c, const TextLayout& l) {
             c.translate(0.5, 0.25);
             auto band = c.band(13, 29);
             ASSERT_NE(band, nullptr);
             band->drawTextLayout(l, {1, 2.2});
         }},
        // Glyphs far outside are dropped before Cairo looks for glyphs that
        // meet: these kerned ones would meet, the ones drawn do not.
        {"line starting far outside",
         {farOutside() + "Kreuzung", font(16, "DejaVu Serif"), {}},
         {},
         1,
         at(2.3 - platform::measureText(farOutside(), "DejaVu Serif", 16).width, 2)},
        {"over what was drawn",
         mixedRuns(),
         {},
         1,
         [](BitmapContext& c, const TextLayout& l) {
             c.setFillColor({0.9, 0.8, 0.1, 0.6});
             c.fillRect({0, 0, 120, 12});
             c.drawTextLayout(l, {0.4, 0.4});
             c.drawTextLayout(l, {1.1, 3.3});
         }},
    };
    for (const Case& k : cases) {
        const auto layout = TextLayout::make(k.text, k.options);
        const auto draw = [&](BitmapContext& c) { k.draw(c, *layout); };
        const Drawn masks = drawWith(true, 260, 60, k.scale, draw);
        const Drawn cairo = drawWith(false, 260, 60, k.scale, draw);
        EXPECT_GT(masks.runsFromMasks, 0u) << k.name;
        EXPECT_EQ(cairo.runsFromMasks, 0u) << k.name;
        EXPECT_TRUE(anyInk(cairo.bytes)) << k.name;
        EXPECT_TRUE(masks.bytes == cairo.bytes) << k.name;
    }
}

TEST(GlyphMasksTest, CairoStillDrawsWhatMasksCannotDrawExactly) {
    struct Case {
        const char* name;
        StyledText text;
        std::function<void(BitmapContext&, const TextLayout&)> draw;
        std::size_t runsFromMasks;
    };
    StyledText outlined{"Weiche", font(20), {}};
    outlined.attributes.strokeWidth = -3;
    outlined.attributes.strokeColor = Color{1, 0, 0, 1};
    StyledText missing{"Gleis \uE000 links", font(16), {}};
    missing.runs.push_back({0, 5, font(16, "DejaVu Sans Bold")});
    const std::vector<Case> cases = {
        {"rotated",
         {"Weiche", font(16), {}},
         [](BitmapContext& c, const TextLayout& l) {
             c.translate(20, 5);
             c.rotate(0.2);
             c.drawTextLayout(l, {0, 0});
         },
         0},
        {"stretched",
         {"Weiche", font(16), {}},
         [](BitmapContext& c, const TextLayout& l) {
             c.scale(1.5, 1);
             c.drawTextLayout(l, {1, 1});
         },
         0},
        {"clip of a circle",
         {"Weiche", font(16), {}},
         [](BitmapContext& c, const TextLayout& l) {
             platform::Path circle;
             circle.addEllipseInRect({3, -5, 30, 30});
             c.clipToPath(circle);
             c.drawTextLayout(l, {1, 1});
         },
         0},
        // A quarter turn and back leaves user space upright; the clip
        // set in between is taken for a path.
        {"clip of a turned rectangle",
         {"Weiche", font(16), {}},
         [](BitmapContext& c, const TextLayout& l) {
             c.rotate(std::numbers::pi / 2);
             c.clipToRect({0.3, -60.2, 20, 60});
             c.rotate(-std::numbers::pi / 2);
             c.drawTextLayout(l, {1, 1});
         },
         0},
        {"outlined", outlined,
         [](BitmapContext& c, const TextLayout& l) {
             c.drawTextLayout(l, {1, 1});
         },
         0},
        {"too large",
         {"W", font(150), {}},
         [](BitmapContext& c, const TextLayout& l) {
             c.drawTextLayout(l, {1, 1});
         },
         0},
        // The run with the glyph no font has goes to Cairo, the bold one
        // before it does not, and they land in order.
        {"a glyph no font has", missing,
         [](BitmapContext& c, const TextLayout& l) {
             c.drawTextLayout(l, {1.5, 1.5});
         },
         1},
    };
    for (const Case& k : cases) {
        const auto layout = TextLayout::make(k.text, TextLayoutOptions{});
        const auto draw = [&](BitmapContext& c) { k.draw(c, *layout); };
        const Drawn masks = drawWith(true, 200, 160, 2, draw);
        const Drawn cairo = drawWith(false, 200, 160, 2, draw);
        EXPECT_EQ(masks.runsFromMasks, k.runsFromMasks) << k.name;
        EXPECT_TRUE(anyInk(masks.bytes)) << k.name;
        EXPECT_TRUE(masks.bytes == cairo.bytes) << k.name;
    }
}

TEST(GlyphMasksTest, AGlyphWhoseImageCannotBeMadeLeavesTheRunToCairo) {
    StyledText text{"Gleis 7 (Weiche links) AVAWAY", font(14, "DejaVu Sans", {0.8, 0.1, 0.1, 0.9}), {}};
    const auto layout = TextLayout::make(text, TextLayoutOptions{});
    const auto draw = [&](BitmapContext& c) { c.drawTextLayout(*layout, {1.5, 2}); };
    const Drawn cairo = drawWith(false, 240, 40, 2, draw);
    ASSERT_TRUE(anyInk(cairo.bytes));

    detail::setGlyphImagesFail(true);
    const Drawn failing = drawWith(true, 240, 40, 2, draw);
    detail::setGlyphImagesFail(false);
    EXPECT_EQ(failing.runsFromMasks, 0u);
    EXPECT_TRUE(failing.bytes == cairo.bytes);

    // Once images can be made again, masks draw the runs once more.
    const Drawn again = drawWith(true, 240, 40, 2, draw);
    EXPECT_GT(again.runsFromMasks, 0u);
    EXPECT_TRUE(again.bytes == cairo.bytes);
}

TEST(GlyphMasksTest, TextClippedByItsDrawingLooksAsUnderAClipSetFirst) {
    // Clipping by the text's own drawing sets no Cairo clip for the runs
    // masks draw: the same bytes as under clipToRect, for masks and for
    // what Cairo draws (a glyph no font has, outlines, masks off), off the
    // pixel grid, in a band, and with the rectangle partly off the bitmap.
    StyledText outlined{"Weiche 12", font(20), {}};
    outlined.attributes.strokeWidth = -3;
    outlined.attributes.strokeColor = Color{1, 0, 0, 1};
    StyledText missing{"Gleis \uE000 links", font(16), {}};
    missing.runs.push_back({0, 5, font(16, "DejaVu Sans Bold")});
    const std::vector<StyledText> texts = {mixedRuns(), outlined, missing};
    const std::vector<platform::Rect> clips = {
        {10.3, 4.6, 120.45, 9.7}, {-5, -3, 60.2, 40}, {33.33, 2.01, 0.4, 30}, {50, 10, 0, 5}, {0, 0, 400, 300}};
    int cut = 0;
    for (const StyledText& text : texts) {
        const auto layout = TextLayout::make(text, TextLayoutOptions{});
        for (const platform::Rect& clip : clips) {
            for (const bool masks : {true, false}) {
                for (const bool band : {false, true}) {
                    const auto draw = [&](bool byItself) {
                        return drawWith(masks, 220, 60, 2, [&](BitmapContext& c) {
                            auto part = band ? c.band(7, 60) : nullptr;
                            Context& into = part ? static_cast<Context&>(*part) : c;
                            into.translate(0.37, -0.81);
                            if (byItself) {
                                into.drawTextLayout(*layout, {1.3, 2.45}, clip);
                                return;
                            }
                            into.save();
                            into.clipToRect(clip);
                            into.drawTextLayout(*layout, {1.3, 2.45});
                            into.restore();
                        });
                    };
                    const Drawn byItself = draw(true);
                    const Drawn underClip = draw(false);
                    const std::string what = text.text + " in " + std::to_string(clip.x) + ", masks " +
                                             std::to_string(masks) + ", band " + std::to_string(band);
                    EXPECT_TRUE(byItself.bytes == underClip.bytes) << what;
                    if (clip.width > 10) {
                        EXPECT_EQ(byItself.runsFromMasks, underClip.runsFromMasks) << what;
                    }
                    if (clip.width > 10 && clip.x > 0) {
                        EXPECT_TRUE(anyInk(byItself.bytes)) << what;
                        cut += byItself.bytes != drawWith(masks, 220, 60, 2, [&](BitmapContext& c) {
                                                     auto part = band ? c.band(7, 60) : nullptr;
                                                     Context& into = part ? static_cast<Context&>(*part) : c;
                                                     into.translate(0.37, -0.81);
                                                     into.drawTextLayout(*layout, {1.3, 2.45});
                                                 }).bytes;
                    }
                }
            }
        }
    }
    EXPECT_GT(cut, 0) << "some clip cuts the text";
}

TEST(GlyphMasksTest, ThreadsDrawLayoutsAtOnceAsOneThreadDrawsThemAlone) {
    // Sizes no other test uses, so the threads also meet while the masks
    // are made.
    std::vector<std::shared_ptr<const TextLayout>> layouts;
    for (int i = 0; i < 12; ++i) {
        StyledText text = mixedRuns();
        text.attributes.fontSize = 7.3 + i * 0.7;
        text.text += " " + std::to_string(i * 1009);
        layouts.push_back(TextLayout::make(text, TextLayoutOptions{}));
    }
    const auto render = [&layouts] {
        auto c = BitmapContext::create(300, 200, 2);
        for (std::size_t i = 0; i < layouts.size(); ++i)
            c->drawTextLayout(*layouts[i], {0.3 + static_cast<double>(i % 3) * 0.4, 0.7 + static_cast<double>(i) * 8});
        return bytesOf(*c);
    };

    constexpr int kThreads = 8;
    std::vector<std::vector<std::uint8_t>> first(kThreads);
    std::vector<int> differing(kThreads, 0);
    std::vector<std::size_t> fromMasks(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            first[t] = render();
            for (int i = 0; i < 10; ++i) differing[t] += render() != first[t] ? 1 : 0;
            fromMasks[t] = detail::glyphRunsDrawnFromMasks();
        });
    }
    for (auto& thread : threads) thread.join();

    detail::setGlyphMasksEnabled(false);
    const auto alone = render();
    detail::setGlyphMasksEnabled(true);
    ASSERT_TRUE(anyInk(alone));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(first[t] == alone) << "thread " << t;
        EXPECT_EQ(differing[t], 0) << "thread " << t;
        EXPECT_GT(fromMasks[t], 0u) << "thread " << t;
    }
}

TEST(GlyphMasksTest, DrawTheSameOnceTheOldestMasksAreDropped) {
    // More fonts and glyphs than are kept: 300 sizes of 36 glyphs.
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";
    std::vector<std::shared_ptr<const TextLayout>> layouts;
    for (int i = 0; i < 300; ++i) layouts.push_back(TextLayout::make(letters, font(6 + i * 0.1), TextLayoutOptions{}));
    const auto draw = [&](std::size_t i) {
        return [&, i](BitmapContext& c) { c.drawTextLayout(*layouts[i], {0.5, 0.5}); };
    };
    const Drawn first = drawWith(true, 300, 40, 1, draw(0));
    for (std::size_t i = 1; i < layouts.size(); ++i) drawWith(true, 300, 40, 1, draw(i));
    const Drawn again = drawWith(true, 300, 40, 1, draw(0));
    const Drawn cairo = drawWith(false, 300, 40, 1, draw(0));
    EXPECT_EQ(again.runsFromMasks, 1u);
    EXPECT_TRUE(anyInk(cairo.bytes));
    EXPECT_TRUE(first.bytes == cairo.bytes);
    EXPECT_TRUE(again.bytes == cairo.bytes);
}
