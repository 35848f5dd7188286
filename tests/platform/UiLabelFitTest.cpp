// Whether a label's bounds show its whole text, against Pango's own
// measures: too narrow, too few lines, too short, or shrunk until it fits.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/graphics/TextMeasure.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/views/Label.h"
#include "tests/platform/support/VirtualTime.h"

using platform::Rect;
using platform::ui::Font;
using platform::ui::Label;

TEST(UiLabelFit, ALabelTellsWhenItsBoundsCutItsText) {
    testsupport::VirtualTime time;
    const std::string text = "The layout file could not be opened.";
    const double width = platform::measureText(text, "DejaVu Sans", 17).width;
    const double line = platform::fontMetrics("DejaVu Sans", 17).lineHeight;
    auto label = std::make_shared<Label>();
    label->setFont(Font::systemFont(17));
    label->setText(text);

    label->setFrame({0, 0, width + 2, line + 2});
    EXPECT_FALSE(label->truncatesText()) << "room to spare";
    label->setFrame({0, 0, width * 0.6, line + 2});
    EXPECT_TRUE(label->truncatesText()) << "one line, too narrow";
    label->setLineBreakMode(platform::LineBreakMode::clipping);
    EXPECT_TRUE(label->truncatesText()) << "clipped is cut too";
    label->setLineBreakMode(platform::LineBreakMode::truncatingTail);

    // Two lines where the bounds hold two; one line's height cuts the second.
    label->setNumberOfLines(2);
    label->setFrame({0, 0, width * 0.6, 2 * line + 2});
    EXPECT_FALSE(label->truncatesText());
    label->setFrame({0, 0, width * 0.6, line + 2});
    EXPECT_TRUE(label->truncatesText());
    label->setNumberOfLines(0);
    label->setFrame({0, 0, width + 2, line * 0.5});
    EXPECT_TRUE(label->truncatesText()) << "a single line taller than its bounds";

    // Shrinking within the minimum scale fits it; beyond it, it is cut.
    label->setNumberOfLines(1);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumScaleFactor(0.5);
    label->setFrame({0, 0, width * 0.8, line + 2});
    EXPECT_FALSE(label->truncatesText());
    label->setFrame({0, 0, width * 0.3, line + 2});
    EXPECT_TRUE(label->truncatesText());

    label->setText("");
    EXPECT_FALSE(label->truncatesText()) << "no text, nothing cut";
}
