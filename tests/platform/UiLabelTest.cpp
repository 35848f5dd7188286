// Labels measured and drawn against Pango's own measures: wrapping,
// truncation, the height limit, shrinking to fit, attributed text and
// shadows.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <cmath>

using platform::Color;
using platform::LineBreakMode;
using platform::measureText;
using platform::Rect;
using platform::ui::AttributedString;
using platform::ui::Font;
using platform::ui::Label;
using platform::ui::TextStyle;
using platform::ui::Window;

namespace {

constexpr double kSize = 16;

double width(const std::string& text, double size = kSize) { return measureText(text, "DejaVu Sans", size).width; }

double lineHeight(double size = kSize) { return platform::fontMetrics("DejaVu Sans", size).lineHeight; }

double ceil2(double v) { return std::ceil(v * 2) / 2; }

struct LabelScene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 200});
    std::shared_ptr<Label> label = std::make_shared<Label>();

    LabelScene() {
        window->setBackgroundColor(Color{1, 1, 1, 1});
        label->setFont(Font::systemFont(kSize));
        window->addSubview(label);
    }

    // The columns of the snapshot (in points) holding dark ink within the
    // label's frame; {-1, -1} for none.
    std::pair<double, double> inkColumns() {
        const auto shot = window->snapshot();
        const Rect f = label->frame();
        int first = -1, last = -1;
        for (int x = static_cast<int>(f.minX() * 2); x < static_cast<int>(f.maxX() * 2) + 40; ++x) {
            for (int y = static_cast<int>(f.minY() * 2); y < static_cast<int>(f.maxY() * 2); ++y) {
                const auto p = shot->pixel(x, y);
                if (!p || p->red > 128) continue;
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
        return {first / 2.0, (last + 1) / 2.0};
    }
};

}  // namespace

TEST(UiLabel, WrapsAtWordsAndSizesToTheLines) {
    LabelScene s;
    s.label->setText("Gleis Weiche Kreuzung Bogen Mast");
    s.label->setNumberOfLines(0);
    const double wrapWidth = width("Gleis Weiche Kreuzung") + 4;

    const auto fitted = s.label->sizeThatFits({wrapWidth, 1000});
    EXPECT_DOUBLE_EQ(fitted.height, ceil2(2 * lineHeight()));
    EXPECT_DOUBLE_EQ(fitted.width, ceil2(width("Gleis Weiche Kreuzung")));
    EXPECT_DOUBLE_EQ(s.label->intrinsicContentSize().width, ceil2(width("Gleis Weiche Kreuzung Bogen Mast")))
        << "no preferred width: one line";
    s.label->setPreferredMaxLayoutWidth(wrapWidth);
    EXPECT_DOUBLE_EQ(s.label->intrinsicContentSize().height, fitted.height);

    // Drawn in a box of three lines: two lines, centred vertically.
    s.label->setFrame({10, 10, wrapWidth, 3 * lineHeight()});
    const auto r = s.label->rendering();
    ASSERT_EQ(r.layout->lines().size(), 2u);
    EXPECT_NEAR(r.origin.y, lineHeight() / 2, 1e-9);
    EXPECT_FALSE(r.layout->isTruncated());

    // A box of one line shows one, the rest truncated at its tail.
    s.label->setFrame({10, 10, wrapWidth, lineHeight() + 2});
    const auto one = s.label->rendering();
    ASSERT_EQ(one.layout->lines().size(), 1u);
    EXPECT_TRUE(one.layout->isTruncated());

    // A single-line label fits its text whatever width it is asked for.
    s.label->setNumberOfLines(1);
    EXPECT_DOUBLE_EQ(s.label->sizeThatFits({50, 50}).width, ceil2(width("Gleis Weiche Kreuzung Bogen Mast")));
    s.label->setText("");
    EXPECT_EQ(s.label->intrinsicContentSize(), (platform::Size{0, 0}));
}

TEST(UiLabel, TheLineBreakModeDecidesWhatTheLastLineShows) {
    LabelScene s;
    const std::string text = "Gleis Weiche Kreuzung Bogen Mast";
    s.label->setText(text);
    s.label->setFrame({0, 0, 150, 40});
    ASSERT_GT(width(text), 150 + 20);

    s.label->setLineBreakMode(LineBreakMode::clipping);
    const auto clipped = s.inkColumns();
    EXPECT_GT(clipped.second, 148) << "clipped text runs to the edge";

    s.label->setLineBreakMode(LineBreakMode::truncatingTail);
    const auto tail = s.label->rendering();
    ASSERT_EQ(tail.layout->lines().size(), 1u);
    EXPECT_LE(tail.layout->size().width, 150);
    EXPECT_LE(s.inkColumns().second, 150.5);
    // The ellipsis stands where the text went on: after "Gleis Weiche" the
    // ink reaches past where "Gleis Weiche" ends.
    EXPECT_GT(s.inkColumns().second, width("Gleis Weiche"));

    s.label->setLineBreakMode(LineBreakMode::wordWrapping);
    const auto words = s.label->rendering();
    ASSERT_EQ(words.layout->lines().size(), 1u);
    EXPECT_NEAR(words.layout->size().width, width("Gleis Weiche"), 1e-6)
        << "the first line as wrapped, without an ellipsis";

    s.label->setTextAlignment(platform::TextAlignment::right);
    s.label->setLineBreakMode(LineBreakMode::truncatingHead);
    EXPECT_NEAR(s.inkColumns().second, 150, 1.5) << "the end of the text, right aligned";
}

TEST(UiLabel, ShrinksToFitNoSmallerThanTheMinimumScale) {
    LabelScene s;
    const std::string text = "Gleisplan Hauptbahnhof";
    const double natural = width(text);
    s.label->setText(text);
    s.label->setFrame({0, 0, natural * 0.6, 40});
    s.label->setAdjustsFontSizeToFitWidth(true);
    s.label->setMinimumScaleFactor(0.5);

    const auto shrunk = s.label->rendering();
    EXPECT_NEAR(shrunk.scale, 0.6, 1e-3);
    EXPECT_FALSE(shrunk.layout->isTruncated());
    EXPECT_LE(shrunk.layout->size().width, natural * 0.6);
    EXPECT_NEAR(shrunk.layout->size().width, width(text, kSize * shrunk.scale), 1e-6)
        << "every glyph at the shrunk size";
    EXPECT_LE(s.inkColumns().second, natural * 0.6 + 0.5) << "within the pixel the edge falls in";

    s.label->setMinimumScaleFactor(0.8);
    const auto limited = s.label->rendering();
    EXPECT_DOUBLE_EQ(limited.scale, 0.8);
    EXPECT_TRUE(limited.layout->isTruncated()) << "what still does not fit is truncated";

    s.label->setMinimumScaleFactor(0);
    EXPECT_DOUBLE_EQ(s.label->rendering().scale, 1) << "a scale of 0 keeps the size";

    // Several lines shrink until the text fits the box without being cut.
    s.label->setText("Gleis Weiche Kreuzung Bogen Mast Signal");
    s.label->setNumberOfLines(2);
    s.label->setMinimumScaleFactor(0.3);
    s.label->setFrame({0, 0, 140, 2 * lineHeight() + 1});
    const auto lines = s.label->rendering();
    EXPECT_LT(lines.scale, 1);
    EXPECT_FALSE(lines.layout->isTruncated());
    EXPECT_LE(lines.layout->lines().size(), 2u);
    const auto larger = platform::TextLayout::make(
        "Gleis Weiche Kreuzung Bogen Mast Signal",
        Font::systemFont(kSize * (lines.scale + 0.01)).textAttributes(Color{}),
        platform::TextLayoutOptions{140, 2, LineBreakMode::truncatingTail, platform::TextAlignment::left});
    EXPECT_TRUE(larger->isTruncated()) << "the largest size that fits, to a hundredth";
}

TEST(UiLabel, AttributedTextDrawsRunsAndItsShadow) {
    LabelScene s;
    AttributedString text("\u2588\u2588");
    TextStyle red;
    red.foregroundColor = Color{1, 0, 0, 1};
    text.addAttributes(red, platform::Range{3, 3});
    TextStyle shadowed;
    shadowed.shadow = platform::ui::TextShadow{{4, 4}, 0, Color{0, 0, 1, 1}};
    text.addAttributes(shadowed, platform::Range{0, 3});
    s.label->setAttributedText(text);
    s.label->setFont(Font::systemFont(40));
    EXPECT_EQ(s.label->text(), "\u2588\u2588");
    s.label->sizeToFit();
    s.label->setFrame({10, 10, s.label->bounds().width + 10, s.label->bounds().height + 10});

    const auto r = s.label->rendering();
    const double blockWidth = width("\u2588", 40);
    const double baseline = 10 + r.origin.y + r.layout->lines()[0].baseline;
    const auto shot = s.window->snapshot();
    const auto at = [&](double x, double y) { return *shot->pixel(static_cast<int>(x * 2), static_cast<int>(y * 2)); };
    EXPECT_EQ(at(10 + blockWidth / 2, baseline - 10), (platform::Pixel{0, 0, 0, 255})) << "the label's colour";
    EXPECT_EQ(at(10 + blockWidth * 1.5, baseline - 10), (platform::Pixel{255, 0, 0, 255})) << "the run's own";
    EXPECT_EQ(at(10 + 2 * blockWidth + 2, baseline - 10), (platform::Pixel{0, 0, 255, 255}))
        << "the first character's shadow holds for all the text";

    // Setting plain text drops the attributes.
    s.label->setText("\u2588\u2588");
    EXPECT_FALSE(s.label->attributedText().has_value());
    const auto plain = s.window->snapshot();
    EXPECT_EQ(*plain->pixel(static_cast<int>((10 + blockWidth * 1.5) * 2), static_cast<int>((baseline - 10) * 2)),
              (platform::Pixel{0, 0, 0, 255}));
}

TEST(UiLabel, TextBetweenPixelsIsAsSharpAsDrawnStraightOntoThem) {
    // Kept at the screen's pixels, not at the label's own and resampled.
    LabelScene s;
    s.label->setText("Sharp 47 ixl");
    s.label->setFrame({10.25, 20.75, 120, 24});
    s.window->snapshot();
    const auto shot = s.window->snapshot();  // from what the first kept

    const auto direct = platform::BitmapContext::create(800, 400, 2);
    direct->setFillColor({1, 1, 1, 1});
    direct->fillRect({0, 0, 400, 200});
    direct->translate(10.25, 20.75);
    direct->clipToRect(s.label->bounds());
    s.label->drawRect(*direct, s.label->bounds());

    int ink = 0;
    int off = 0;
    for (int y = 36; y < 100; ++y) {
        for (int x = 16; x < 270; ++x) {
            const auto a = *shot->pixel(x, y);
            const auto b = *direct->pixel(x, y);
            ink += a.red < 100;
            off += std::abs(a.red - b.red) > 8 || std::abs(a.green - b.green) > 8 || std::abs(a.blue - b.blue) > 8;
        }
    }
    EXPECT_GT(ink, 50);
    EXPECT_EQ(off, 0);
}
