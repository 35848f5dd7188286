#include "platform/graphics/TextMeasure.h"
#include "platform/ui/views/AttributedString.h"
#include "platform/ui/views/Font.h"

#include <gtest/gtest.h>

using platform::measureText;
using platform::Range;
using platform::ui::AttributedString;
using platform::ui::Font;
using platform::ui::FontWeight;
using platform::ui::TextStyle;

TEST(UiFontTest, SystemFontWeightsDrawInTheNearestDejaVuFace) {
    const bool lightInstalled = platform::fontExists("DejaVu Sans ExtraLight");
    const struct {
        FontWeight weight;
        const char* face;
        const char* name;
    } cases[] = {
        {FontWeight::ultraLight, lightInstalled ? "DejaVu Sans ExtraLight" : "DejaVu Sans", "System-UltraLight"},
        {FontWeight::light, lightInstalled ? "DejaVu Sans ExtraLight" : "DejaVu Sans", "System-Light"},
        {FontWeight::regular, "DejaVu Sans", "System"},
        {FontWeight::medium, "DejaVu Sans", "System-Medium"},
        {FontWeight::semibold, "DejaVu Sans Bold", "System-Semibold"},
        {FontWeight::bold, "DejaVu Sans Bold", "System-Bold"},
        {FontWeight::black, "DejaVu Sans Bold", "System-Black"},
    };
    for (const auto& c : cases) {
        const Font font = Font::systemFont(20, c.weight);
        EXPECT_EQ(font.fontName(), c.name);
        EXPECT_TRUE(font.isSystemFont());
        EXPECT_NEAR(platform::ui::textSize("Gleisplan", font).width, measureText("Gleisplan", c.face, 20).width, 1e-9)
            << c.name;
        EXPECT_EQ(Font::named(c.name, 20), font) << "a system font is found by its own name";
    }
    EXPECT_EQ(Font::boldSystemFont(15), Font::systemFont(15, FontWeight::bold));
    EXPECT_NEAR(platform::ui::textSize("Gleisplan", Font::italicSystemFont(20)).width,
                measureText("Gleisplan", "DejaVu Sans Oblique", 20).width, 1e-9);
    EXPECT_GT(platform::ui::textSize("Gleisplan", Font::boldSystemFont(20)).width,
              platform::ui::textSize("Gleisplan", Font::systemFont(20)).width);
}

TEST(UiFontTest, NamedFontsAreFoundOrMissing) {
    const auto avenir = Font::named("Avenir-Medium", 18);
    ASSERT_TRUE(avenir.has_value());
    EXPECT_EQ(avenir->fontName(), "Avenir-Medium");
    EXPECT_EQ(avenir->pointSize(), 18);
    EXPECT_FALSE(avenir->isSystemFont());
    EXPECT_TRUE(Font::named("DejaVuSans-Bold", 12).has_value());
    EXPECT_FALSE(Font::named("NoSuchFont-Regular", 12).has_value());
    EXPECT_FALSE(Font::named("", 12).has_value());
    EXPECT_EQ(Font::namedOrSystem("NoSuchFont-Regular", 13), Font::systemFont(13));
    EXPECT_EQ(avenir->withSize(10).pointSize(), 10);
    EXPECT_EQ(avenir->withSize(10).fontName(), "Avenir-Medium");
}

TEST(UiFontTest, MetricsAreTheFacesAtTheSize) {
    // DejaVu Sans: ascent 1901, descent 483 of 2048 units.
    const Font font = Font::systemFont(17);
    EXPECT_NEAR(font.ascender(), 17 * 1901.0 / 2048, 0.02);
    EXPECT_NEAR(font.descender(), -17 * 483.0 / 2048, 0.02);
    EXPECT_NEAR(font.lineHeight(), font.ascender() - font.descender(), 1e-9);
    EXPECT_NEAR(platform::ui::textSize("Weiche", font).height, font.lineHeight(), 1e-9);

    const double word = platform::ui::textSize("Weiche", font).width;
    const auto wrapped = platform::ui::boundingSize("Weiche Weiche Weiche", font, 2.5 * word);
    EXPECT_NEAR(wrapped.height, 2 * font.lineHeight(), 1e-9);
    EXPECT_NEAR(platform::ui::boundingSize("Weiche Weiche Weiche", font, 0).height, font.lineHeight(), 1e-9)
        << "no width: no wrapping";
}

TEST(UiFontTest, AttributedStringsKeepRunsSplitAndMerged) {
    TextStyle bold;
    bold.font = Font::boldSystemFont(12);
    TextStyle red;
    red.foregroundColor = platform::Color{1, 0, 0, 1};
    TextStyle boldRed = bold;
    boldRed.add(red);

    AttributedString s("Gleisplan");
    s.addAttributes(bold, Range{2, 3});
    s.addAttributes(red, Range{0, 100});  // cut to the string
    ASSERT_EQ(s.runs().size(), 3u);
    EXPECT_EQ(s.runs()[0], (AttributedString::Run{Range{0, 2}, red}));
    EXPECT_EQ(s.runs()[1], (AttributedString::Run{Range{2, 3}, boldRed}));
    EXPECT_EQ(s.runs()[2], (AttributedString::Run{Range{5, 4}, red}));
    Range effective;
    EXPECT_EQ(s.attributesAt(4, &effective), boldRed);
    EXPECT_EQ(effective, (Range{2, 3}));
    EXPECT_EQ(s.attributesAt(9, &effective), TextStyle{});
    EXPECT_EQ(effective, Range{});

    // Setting replaces; equal neighbours merge into one run.
    s.setAttributes(red, Range{2, 3});
    ASSERT_EQ(s.runs().size(), 1u);
    EXPECT_EQ(s.runs()[0].range, (Range{0, 9}));

    AttributedString tail(" 42", bold);
    s.append(tail);
    EXPECT_EQ(s.string(), "Gleisplan 42");
    ASSERT_EQ(s.runs().size(), 2u);
    EXPECT_EQ(s.runs()[1], (AttributedString::Run{Range{9, 3}, bold}));

    // Drawing attributes: the run's own, else the defaults given.
    TextStyle outlined;
    outlined.strokeWidth = -3;
    outlined.strokeColor = platform::Color{0, 1, 0, 1};
    s.addAttributes(outlined, Range{0, 1});
    const auto styled = s.styledText(Font::systemFont(20), platform::Color{0, 0, 1, 1});
    ASSERT_EQ(styled.runs.size(), 3u);
    EXPECT_EQ(styled.runs[0].attributes.strokeWidth, -3);
    EXPECT_EQ(styled.runs[0].attributes.fontName, "DejaVu Sans");
    EXPECT_EQ(styled.runs[0].attributes.fontSize, 20);
    EXPECT_EQ(styled.runs[1].attributes.color, (platform::Color{1, 0, 0, 1}));
    EXPECT_EQ(styled.runs[2].attributes.fontName, "DejaVu Sans Bold");
    EXPECT_EQ(styled.runs[2].attributes.fontSize, 12);
    EXPECT_EQ(styled.runs[2].attributes.color, (platform::Color{0, 0, 1, 1}));
}
