#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/TextLayout.h"
#include "platform/graphics/TextMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::LineBreakMode;
using platform::measureText;
using platform::StyledText;
using platform::TextAlignment;
using platform::TextAttributes;
using platform::TextLayout;
using platform::TextLayoutOptions;

namespace {

TextAttributes sans(double size, const std::string& name = "DejaVu Sans") {
    TextAttributes a;
    a.fontName = name;
    a.fontSize = size;
    return a;
}

std::string lineText(const std::string& text, const TextLayout::Line& line) {
    return text.substr(line.start, line.length);
}

// Columns of the bitmap that hold any ink, as [first, last]; {-1, -1} for none.
std::pair<int, int> inkColumns(const BitmapContext& c) {
    int first = -1, last = -1;
    for (int x = 0; x < c.pixelWidth(); ++x) {
        for (int y = 0; y < c.pixelHeight(); ++y) {
            if (c.pixel(x, y)->alpha == 0) continue;
            if (first < 0) first = x;
            last = x;
            break;
        }
    }
    return {first, last};
}

}  // namespace

TEST(TextLayoutTest, FontMetricsAreTheFontsOwnAndAgreeWithMeasuredLines) {
    // DejaVu Sans: ascent 1901 and descent 483 units of 2048 per em.
    const auto m = platform::fontMetrics("DejaVu Sans", 20);
    EXPECT_NEAR(m.ascender, 20 * 1901.0 / 2048, 0.02);
    EXPECT_NEAR(m.descender, -20 * 483.0 / 2048, 0.02);
    EXPECT_NEAR(m.lineHeight, m.ascender - m.descender, 1e-9);
    EXPECT_NEAR(m.lineHeight, measureText("Gleis", "DejaVu Sans", 20).height, 1e-9);
    EXPECT_EQ(platform::fontMetrics("DejaVu Sans", 0).lineHeight, 0);
    EXPECT_EQ(platform::fontMetrics("NoSuchFont", 20).lineHeight, m.lineHeight) << "unknown fonts are the system font";
}

TEST(TextLayoutTest, PlatformFontNamesDrawInTheirStandIns) {
    // The typewriter face of dimension texts draws monospaced (advance 1233
    // of 2048), whatever fontconfig calls it.
    EXPECT_TRUE(platform::fontExists("CourierNewPSMT"));
    EXPECT_TRUE(platform::fontExists("couriernewpsmt"));
    EXPECT_TRUE(platform::fontExists("Futura-Medium"));
    EXPECT_NEAR(measureText("iiii", "CourierNewPSMT", 100).width, 400 * 1233.0 / 2048, 0.1);
    EXPECT_NEAR(measureText("Gleis", "AppleSDGothicNeo-Bold", 20).width,
                measureText("Gleis", "DejaVu Sans Bold", 20).width, 1e-9);
    EXPECT_NEAR(measureText("Gleis", "Avenir-Medium", 20).width, measureText("Gleis", "DejaVu Sans", 20).width, 1e-9);
}

TEST(TextLayoutTest, WrapsAtWordsToTheWidthAndStacksLinesOfTheFontsHeight) {
    const std::string text = "Gleis Weiche Kreuzung Bogen Mast";
    const double threeWords = measureText("Gleis Weiche Kreuzung", "DejaVu Sans", 16).width;
    const double fourWords = measureText("Gleis Weiche Kreuzung Bogen", "DejaVu Sans", 16).width;
    ASSERT_LT(threeWords + 4, fourWords);
    TextLayoutOptions options;
    options.width = threeWords + 4;
    const auto layout = TextLayout::make(text, sans(16), options);
    ASSERT_EQ(layout->lines().size(), 2u);
    EXPECT_EQ(lineText(text, layout->lines()[0]), "Gleis Weiche Kreuzung ");
    EXPECT_EQ(lineText(text, layout->lines()[1]), "Bogen Mast");
    const double lineHeight = platform::fontMetrics("DejaVu Sans", 16).lineHeight;
    EXPECT_NEAR(layout->size().height, 2 * lineHeight, 1e-6);
    EXPECT_NEAR(layout->lines()[1].frame.y, lineHeight, 1e-6);
    EXPECT_NEAR(layout->lines()[1].baseline, lineHeight + platform::fontMetrics("DejaVu Sans", 16).ascender, 1e-6);
    EXPECT_NEAR(layout->size().width, threeWords, 1e-6) << "the space where a line wraps takes no room";
    EXPECT_FALSE(layout->isTruncated());

    // Hard line breaks end paragraphs with or without a width.
    const auto paragraphs = TextLayout::make("Gleis\nWeiche\nBogen", sans(16), TextLayoutOptions{});
    ASSERT_EQ(paragraphs->lines().size(), 3u);
    EXPECT_NEAR(paragraphs->size().width, measureText("Weiche", "DejaVu Sans", 16).width, 1e-6);

    // A word longer than the width breaks between characters.
    TextLayoutOptions narrow;
    narrow.width = measureText("Kreuz", "DejaVu Sans", 16).width + 1;
    const auto broken = TextLayout::make("Kreuzungsweiche", sans(16), narrow);
    EXPECT_GE(broken->lines().size(), 3u);
    for (const auto& line : broken->lines()) EXPECT_LE(line.frame.width, narrow.width + 1e-6);

    const auto empty = TextLayout::make("", sans(16), options);
    EXPECT_TRUE(empty->lines().empty());
    EXPECT_EQ(empty->size().width, 0);
    EXPECT_EQ(empty->size().height, 0);
}

TEST(TextLayoutTest, TheLastLineAllowedShowsTheRestAsTheModeSays) {
    const std::string text = "Gleis Weiche Kreuzung Bogen Prellbock";
    const double width = measureText("Gleis Weiche", "DejaVu Sans", 16).width + 4;
    const double lineHeight = platform::fontMetrics("DejaVu Sans", 16).lineHeight;
    struct Case {
        const char* name;
        LineBreakMode mode;
        std::size_t secondLineLength;  // bytes the second line stands for
        bool fitsWidth;
    };
    const Case cases[] = {
        {"word wrapping ends where the line wrapped", LineBreakMode::wordWrapping, std::string("Kreuzung ").size(),
         true},
        {"clipping shows the whole rest of the paragraph", LineBreakMode::clipping,
         std::string("Kreuzung Bogen Prellbock").size(), false},
        {"tail truncation shortens the rest to the width", LineBreakMode::truncatingTail,
         std::string("Kreuzung Bogen Prellbock").size(), true},
        {"head truncation too", LineBreakMode::truncatingHead, std::string("Kreuzung Bogen Prellbock").size(), true},
        {"middle truncation too", LineBreakMode::truncatingMiddle, std::string("Kreuzung Bogen Prellbock").size(),
         true},
    };
    for (const auto& c : cases) {
        TextLayoutOptions options;
        options.width = width;
        options.maximumLines = 2;
        options.lineBreakMode = c.mode;
        const auto layout = TextLayout::make(text, sans(16), options);
        ASSERT_EQ(layout->lines().size(), 2u) << c.name;
        EXPECT_TRUE(layout->isTruncated()) << c.name;
        EXPECT_EQ(lineText(text, layout->lines()[0]), "Gleis Weiche ") << c.name;
        EXPECT_EQ(layout->lines()[1].start, std::string("Gleis Weiche ").size()) << c.name;
        EXPECT_EQ(layout->lines()[1].length, c.secondLineLength) << c.name;
        EXPECT_NEAR(layout->size().height, 2 * lineHeight, 1e-6) << c.name;
        EXPECT_EQ(layout->lines()[1].frame.width <= width, c.fitsWidth) << c.name;
    }

    // Head truncation keeps the end of the text: drawn right-aligned, its
    // last ink lies where the untruncated text's does.
    TextLayoutOptions head;
    head.width = 120;
    head.maximumLines = 1;
    head.lineBreakMode = LineBreakMode::truncatingHead;
    head.alignment = TextAlignment::right;
    TextLayoutOptions whole = head;
    whole.width = 1000;
    auto a = BitmapContext::create(1100, 30);
    auto b = BitmapContext::create(1100, 30);
    a->drawTextLayout(*TextLayout::make(text, sans(16), head), {880, 2});
    b->drawTextLayout(*TextLayout::make(text, sans(16), whole), {0, 2});
    EXPECT_NEAR(inkColumns(*a).second, inkColumns(*b).second, 1);
    EXPECT_GE(inkColumns(*a).first, 880);
}

TEST(TextLayoutTest, LinesAlignInTheWidth) {
    const double width = 200;
    const double textWidth = measureText("Bogen", "DejaVu Sans", 16).width;
    const std::pair<TextAlignment, double> cases[] = {
        {TextAlignment::left, 0},
        {TextAlignment::center, (width - textWidth) / 2},
        {TextAlignment::right, width - textWidth},
    };
    for (const auto& [alignment, x] : cases) {
        TextLayoutOptions options;
        options.width = width;
        options.alignment = alignment;
        const auto layout = TextLayout::make("Bogen", sans(16), options);
        ASSERT_EQ(layout->lines().size(), 1u);
        EXPECT_NEAR(layout->lines()[0].frame.x, x, 1e-6);
        EXPECT_NEAR(layout->alignmentWidth(), width, 1e-9);
    }
}

TEST(TextLayoutTest, RunsLayOutAndDrawInTheirOwnAttributes) {
    StyledText styled;
    styled.text = "abcDEF";
    styled.attributes = sans(20);
    TextAttributes bold = sans(20, "DejaVu Sans Bold");
    styled.runs.push_back({3, 3, bold});
    const auto layout = TextLayout::make(styled, TextLayoutOptions{});
    EXPECT_NEAR(layout->size().width,
                measureText("abc", "DejaVu Sans", 20).width + measureText("DEF", "DejaVu Sans Bold", 20).width, 0.01);

    // A red run beside a blue one, each a full block glyph.
    StyledText blocks;
    blocks.text = "\u2588\u2588";
    blocks.attributes = sans(40);
    blocks.attributes.color = {1, 0, 0, 1};
    TextAttributes blue = sans(40);
    blue.color = {0, 0, 1, 1};
    blocks.runs.push_back({3, 3, blue});
    const auto drawn = TextLayout::make(blocks, TextLayoutOptions{});
    auto c = BitmapContext::create(100, 60);
    c->drawTextLayout(*drawn, {0, 0});
    const double half = drawn->size().width / 2;
    const double y = drawn->lines()[0].baseline - 10;
    EXPECT_EQ(*c->pixel(static_cast<int>(half / 2), static_cast<int>(y)), (platform::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(*c->pixel(static_cast<int>(half * 1.5), static_cast<int>(y)), (platform::Pixel{0, 0, 255, 255}));

    // Runs beyond the text, inside a character or empty do no harm: bytes
    // they do not cover keep the base attributes.
    StyledText odd;
    odd.text = "\u00e4bc";  // two bytes, then two
    odd.attributes = sans(20);
    odd.runs.push_back({1, 2, bold});  // from inside the first character
    odd.runs.push_back({10, 5, bold});
    odd.runs.push_back({2, 0, bold});
    const auto oddLayout = TextLayout::make(odd, TextLayoutOptions{});
    EXPECT_NEAR(oddLayout->size().width,
                measureText("\u00e4b", "DejaVu Sans Bold", 20).width + measureText("c", "DejaVu Sans", 20).width, 0.01)
        << "a run starting inside a character starts where that character does";
}

TEST(TextLayoutTest, OutlinesStrokeOrFillAndStrokeTheGlyphs) {
    StyledText styled;
    styled.text = "\u2588";
    styled.attributes = sans(60);
    styled.attributes.color = {0, 0, 1, 1};
    styled.attributes.strokeColor = platform::Color{1, 0, 0, 1};
    for (double strokeWidth : {10.0, -10.0}) {
        styled.attributes.strokeWidth = strokeWidth;
        const auto layout = TextLayout::make(styled, TextLayoutOptions{});
        auto c = BitmapContext::create(100, 100);
        c->drawTextLayout(*layout, {10, 10});
        const int centreX = static_cast<int>(10 + layout->size().width / 2);
        const int centreY = static_cast<int>(10 + layout->lines()[0].baseline - 20);
        const auto centre = *c->pixel(centreX, centreY);
        if (strokeWidth > 0) {
            EXPECT_EQ(centre.alpha, 0) << "a positive width strokes the outline only";
        } else {
            EXPECT_EQ(centre, (platform::Pixel{0, 0, 255, 255})) << "a negative width fills too";
        }
        // The outline is red: the block's left edge, 6 points wide.
        bool red = false;
        for (int x = 0; x < centreX; ++x) red = red || *c->pixel(x, centreY) == platform::Pixel{255, 0, 0, 255};
        EXPECT_TRUE(red) << strokeWidth;
    }
}

TEST(TextLayoutTest, BrokenTextAndHugeSizesLayOut) {
    const std::string broken = std::string("Gl\xff") + "eis\xc3";
    const auto layout = TextLayout::make(broken, sans(16), TextLayoutOptions{});
    ASSERT_EQ(layout->lines().size(), 1u);
    EXPECT_GT(layout->size().width, measureText("Gleis", "DejaVu Sans", 16).width);

    // Past Pango's largest size, text is laid out smaller and scaled.
    const auto huge = TextLayout::make("Gleis", sans(4000), TextLayoutOptions{});
    const auto small = TextLayout::make("Gleis", sans(40), TextLayoutOptions{});
    EXPECT_NEAR(huge->size().width, 100 * small->size().width, 0.5);
    EXPECT_NEAR(huge->size().height, 100 * small->size().height, 0.5);
}

TEST(TextLayoutTest, SeveralTextsLaidOutTogetherAreLaidOutAsOneByOne) {
    // Empty, broken, huge, of no size, with a run, and one of them twice.
    StyledText withRun{"Weiche 12", sans(11), {}};
    withRun.runs.push_back({0, 6, sans(14, "DejaVu Serif")});
    const std::vector<StyledText> texts = {
        {"Gleis 7", sans(12), {}}, {"", sans(12), {}},    {std::string("Gl\xff") + "eis\xc3", sans(16), {}},
        {"Gleis", sans(4000), {}}, {"none", sans(0), {}}, withRun,
        {"Gleis 7", sans(12), {}}};
    TextLayoutOptions options;
    options.width = 40;
    const auto several = TextLayout::makeSeveral(texts, options);
    ASSERT_EQ(several.size(), texts.size());
    EXPECT_NE(several[0], several[6]) << "none kept: each is made";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto alone = TextLayout::make(texts[i], options);
        ASSERT_NE(several[i], nullptr) << i;
        EXPECT_EQ(several[i]->size(), alone->size()) << i;
        ASSERT_EQ(several[i]->lines().size(), alone->lines().size()) << i;
        for (std::size_t l = 0; l < alone->lines().size(); ++l) {
            EXPECT_EQ(several[i]->lines()[l].frame, alone->lines()[l].frame) << i << " line " << l;
            EXPECT_EQ(several[i]->lines()[l].start, alone->lines()[l].start) << i << " line " << l;
            EXPECT_EQ(several[i]->lines()[l].length, alone->lines()[l].length) << i << " line " << l;
        }
    }
    EXPECT_TRUE(TextLayout::makeSeveral({}, options).empty());
}

TEST(TextLayoutTest, ATextMeasuredFirstLaysOutAndDrawsAsOneNeverMeasured) {
    // Measuring keeps the text's Pango layout, and laying the text out
    // again takes it: what is drawn must not depend on which came first.
    // Texts of their own, so that no other test measured them.
    TextAttributes outlined = sans(14);
    outlined.strokeWidth = -3;
    outlined.strokeColor = platform::Color{1, 0, 0, 1};
    TextLayoutOptions cut;
    cut.maximumLines = 1;
    cut.lineBreakMode = LineBreakMode::truncatingTail;
    TextLayoutOptions centred;
    centred.alignment = TextAlignment::center;
    const struct {
        StyledText text;
        TextLayoutOptions options;
    } cases[] = {
        {{"Bahnhof Nord 3", sans(12), {}}, {}},
        {{"Gleis 9 \uE000 Ost", sans(13), {}}, {}},  // a character no font has
        {{"Weiche\nlinks 4", sans(11), {}}, centred},
        {{"Signal A\nSignal B", sans(12), {}}, cut},
        {{"Brücke 5", outlined, {}}, {}},
        {{std::string("Tunnel \xff") + "6", sans(12), {}}, {}},
    };
    const auto render = [](const TextLayout& l) {
        auto c = BitmapContext::create(160, 60, 2);
        c->drawTextLayout(l, {3, 4});
        const auto image = c->makeImage();
        const auto rows = image->premultipliedRows();
        return std::vector<std::uint8_t>(rows.data,
                                         rows.data + static_cast<std::size_t>(rows.bytesPerRow) * image->pixelHeight());
    };
    for (const auto& c : cases) {
        const std::string& name = c.text.text;
        const auto fresh = TextLayout::makeSeveral({&c.text, 1}, c.options).front();
        measureText(name, c.text.attributes.fontName, c.text.attributes.fontSize);
        // Laid out on threads at once from the one kept layout.
        std::vector<std::shared_ptr<const TextLayout>> reused(4);
        std::vector<std::thread> threads;
        for (auto& r : reused)
            threads.emplace_back([&r, &c] { r = TextLayout::makeSeveral({&c.text, 1}, c.options).front(); });
        for (auto& thread : threads) thread.join();
        const auto pixels = render(*fresh);
        ASSERT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](std::uint8_t b) { return b != 0; })) << name;
        for (const auto& r : reused) {
            EXPECT_EQ(r->size(), fresh->size()) << name;
            EXPECT_EQ(r->isTruncated(), fresh->isTruncated()) << name;
            ASSERT_EQ(r->lines().size(), fresh->lines().size()) << name;
            for (std::size_t l = 0; l < fresh->lines().size(); ++l) {
                EXPECT_EQ(r->lines()[l].frame, fresh->lines()[l].frame) << name << " line " << l;
                EXPECT_EQ(r->lines()[l].baseline, fresh->lines()[l].baseline) << name << " line " << l;
                EXPECT_EQ(r->lines()[l].length, fresh->lines()[l].length) << name << " line " << l;
            }
            EXPECT_EQ(render(*r), pixels) << name;
        }
    }
}

TEST(TextLayoutTest, OneLayoutDrawsTheSamePixelsFromManyThreadsAtOnce) {
    // Two fonts, an outline, wrapping, an ellipsis and a character no font
    // has (drawn as a box with its code).
    StyledText styled;
    styled.text = "Weiche links \uE000 und Gleis 7 mit einer langen Beschreibung";
    styled.attributes = sans(13);
    styled.attributes.color = {0.1, 0.4, 0.8, 0.9};
    TextAttributes outlined = sans(15, "DejaVu Serif");
    outlined.strokeWidth = -3;
    outlined.strokeColor = platform::Color{1, 0, 0, 1};
    styled.runs.push_back({7, 5, outlined});
    TextLayoutOptions options;
    options.width = 120;
    options.maximumLines = 3;
    options.lineBreakMode = LineBreakMode::truncatingTail;
    options.alignment = TextAlignment::center;
    auto layout = TextLayout::make(styled, options);

    const auto render = [](const TextLayout& l) {
        auto c = BitmapContext::create(150, 70, 2);
        c->translate(0.3, 0.7);
        c->drawTextLayout(l, {2, 3});
        const auto image = c->makeImage();
        const auto rows = image->premultipliedRows();
        return std::vector<std::uint8_t>(rows.data,
                                         rows.data + static_cast<std::size_t>(rows.bytesPerRow) * image->pixelHeight());
    };
    const auto alone = render(*layout);
    ASSERT_TRUE(std::any_of(alone.begin(), alone.end(), [](std::uint8_t b) { return b != 0; }));

    constexpr int kThreads = 6;
    std::vector<int> differing(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        // Each thread holds the layout; the last to finish lets it go.
        threads.emplace_back([&differing, &render, &alone, t, held = layout] {
            for (int i = 0; i < 15; ++i) differing[t] += render(*held) != alone ? 1 : 0;
        });
    }
    layout.reset();
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(differing[t], 0) << "thread " << t;
}

TEST(TextLayoutTest, TheSameTextLaidOutAgainIsTheKeptLayoutAndAnyDifferenceMakesAnother) {
    TextAttributes base;
    base.fontName = "DejaVu Sans";
    base.fontSize = 14;
    StyledText styled{"Kept text", base, {}};
    styled.runs.push_back({0, 4, base});
    TextLayoutOptions options;
    options.width = 80;
    const auto first = TextLayout::make(styled, options);
    EXPECT_EQ(TextLayout::make(styled, options), first);

    // Each thing a layout is made from tells it apart.
    std::vector<std::pair<const char*, std::pair<StyledText, TextLayoutOptions>>> others;
    const auto add = [&](const char* what, auto change) {
        StyledText s = styled;
        TextLayoutOptions o = options;
        change(s, o);
        others.push_back({what, {s, o}});
    };
    add("text", [](StyledText& s, TextLayoutOptions&) { s.text = "Kept texts"; });
    add("font", [](StyledText& s, TextLayoutOptions&) { s.attributes.fontName = "DejaVu Sans Mono"; });
    add("size", [](StyledText& s, TextLayoutOptions&) { s.attributes.fontSize = 14.5; });
    add("colour", [](StyledText& s, TextLayoutOptions&) { s.attributes.color.blue = 0.5; });
    add("outline", [](StyledText& s, TextLayoutOptions&) { s.attributes.strokeWidth = 3; });
    add("outline colour", [](StyledText& s, TextLayoutOptions&) { s.attributes.strokeColor = s.attributes.color; });
    add("run", [](StyledText& s, TextLayoutOptions&) { s.runs[0].length = 5; });
    add("run's colour", [](StyledText& s, TextLayoutOptions&) { s.runs[0].attributes.color.red = 1; });
    add("no run", [](StyledText& s, TextLayoutOptions&) { s.runs.clear(); });
    add("width", [](StyledText&, TextLayoutOptions& o) { o.width = 81; });
    add("lines", [](StyledText&, TextLayoutOptions& o) { o.maximumLines = 1; });
    add("break mode", [](StyledText&, TextLayoutOptions& o) { o.lineBreakMode = LineBreakMode::truncatingTail; });
    add("alignment", [](StyledText&, TextLayoutOptions& o) { o.alignment = TextAlignment::right; });
    // Text and font name side by side must not run into each other.
    add("text into font", [](StyledText& s, TextLayoutOptions&) {
        s.text = "Kept textD";
        s.attributes.fontName = "ejaVu Sans";
    });
    for (const auto& [what, made] : others) {
        const auto other = TextLayout::make(made.first, made.second);
        EXPECT_NE(other, first) << what;
        EXPECT_EQ(TextLayout::make(made.first, made.second), other) << what;
    }
    // Long texts are laid out each time rather than kept by the thousand.
    const StyledText longText{std::string(2000, 'w'), base, {}};
    EXPECT_NE(TextLayout::make(longText, options), TextLayout::make(longText, options));
    // A changed colour is drawn in that colour, not the kept one's.
    StyledText blue = styled;
    blue.runs.clear();
    blue.attributes.color = {0, 0, 1, 1};
    auto bitmap = BitmapContext::create(200, 40);
    bitmap->drawTextLayout(*TextLayout::make(blue, options), {0, 0});
    bool anyBlue = false;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x)
            anyBlue = anyBlue || (bitmap->pixel(x, y)->blue > 200 && bitmap->pixel(x, y)->red < 50);
    }
    EXPECT_TRUE(anyBlue);
}

TEST(TextLayoutTest, AKeptLayoutInUseStaysWhileManyOthersFillTheTable) {
    TextAttributes base;
    base.fontName = "DejaVu Sans";
    base.fontSize = 12;
    TextLayoutOptions options;
    const StyledText hot{"Hot", base, {}};
    const auto first = TextLayout::make(hot, options);
    // More others than the table holds, the hot one used among them.
    for (int i = 0; i < 4200; ++i) {
        TextLayout::make(StyledText{std::to_string(i), base, {}}, options);
        if (i % 64 == 0) {
            ASSERT_EQ(TextLayout::make(hot, options), first) << i;
        }
    }
    EXPECT_EQ(TextLayout::make(hot, options), first);
}
