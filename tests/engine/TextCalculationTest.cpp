// Text bounds: rotation of the measured box, font fallback, reading of
// non-UTF-8 text, and the zero rectangle for unusable input.

#include "engine/services/Logger.h"
#include "engine/services/TextCalculationService.h"
#include "platform/graphics/TextMeasure.h"
#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using testsupport::RecentLines;

const char* const kFont = "DejaVu Sans";
const char* const kText = "Vekmont 1:87";

void ExpectRect(const tDoubleRect& actual, double maxY, double maxX, const std::string& name) {
    const double tolerance = 1e-9 * std::max(1.0, std::max(std::fabs(maxX), std::fabs(maxY)));
    EXPECT_EQ(actual.minY, 0.0) << name;
    EXPECT_EQ(actual.minX, 0.0) << name;
    EXPECT_NEAR(actual.maxY, maxY, tolerance) << name;
    EXPECT_NEAR(actual.maxX, maxX, tolerance) << name;
}

}  // namespace

TEST(TextCalculation, RotationGivesTheBoundsOfTheTurnedBox) {
    VKMTextCalculationService service;
    const platform::TextSize size = platform::measureText(kText, kFont, 12);
    const double w = size.width;
    const double h = size.height;
    ASSERT_GT(w, h);  // a one-line text is wider than high, so a swap shows
    ASSERT_GT(h, 0.0);
    const double diagonal = (w + h) / std::sqrt(2.0);

    struct Case {
        const char* name;
        double angle;
        double maxY;
        double maxX;
    };
    const Case cases[] = {
        {"unturned", 0, h, w},
        {"quarter turn swaps width and height", 90, w, h},
        {"half turn", 180, h, w},
        {"quarter turn back", -90, w, h},
        {"three quarters", 270, w, h},
        {"eighth turn: both sides (w + h) / sqrt 2", 45, diagonal, diagonal},
        {"eighth turn back", -45, diagonal, diagonal},
        {"full turn", 360, h, w},
        {"thirty degrees", 30, w * 0.5 + h * std::sqrt(3.0) / 2, w * std::sqrt(3.0) / 2 + h * 0.5},
    };
    for (const Case& c : cases) ExpectRect(service.GetTextBounds(kFont, 12, kText, c.angle), c.maxY, c.maxX, c.name);
}

TEST(TextCalculation, UnknownFontMeasuresAsTheSystemFontOfTheSameSize) {
    VKMTextCalculationService service;
    ASSERT_FALSE(platform::fontExists("Vekmont No Such Font"));
    const tDoubleRect fallback = service.GetTextBounds("Vekmont No Such Font", 14, "Gleisplan", 0);
    const tDoubleRect system = service.GetTextBounds(platform::systemFontFamily(), 14, "Gleisplan", 0);
    EXPECT_GT(fallback.maxX, 0.0);
    EXPECT_EQ(fallback, system);
    // and of the same size: a larger size gives a larger box
    EXPECT_GT(service.GetTextBounds("Vekmont No Such Font", 28, "Gleisplan", 0).maxX, fallback.maxX);
}

TEST(TextCalculation, TextThatIsNotUtf8IsReadAsMacRoman) {
    VKMTextCalculationService service;
    struct Case {
        const char* name;
        std::string macRoman;
        std::string utf8;
    };
    const Case cases[] = {
        {"e acute", "Caf\x8E", "Caf\xC3\xA9"},
        {"bullet", "\xA5", "\xE2\x80\xA2"},
        {"u umlaut and degree sign",
         "Br\x9F"
         "cke 30\xA1",
         "Br\xC3\xBC"
         "cke 30\xC2\xB0"},
    };
    for (const Case& c : cases) {
        const tDoubleRect read = service.GetTextBounds(kFont, 12, c.macRoman, 0);
        EXPECT_GT(read.maxX, 0.0) << c.name;
        EXPECT_EQ(read, service.GetTextBounds(kFont, 12, c.utf8, 0)) << c.name;
    }
}

TEST(TextCalculation, UnusableInputGivesFourZerosAndWritesNothing) {
    CLogger::Instance().SetLevel(1);  // even a debug line would show
    VKMTextCalculationService service;
    const std::vector<std::string> before = RecentLines();

    struct Case {
        const char* name;
        std::string font;
        int size;
        std::string text;
        double angle;
    };
    const Case cases[] = {
        {"empty font name", "", 12, "Text", 0},
        {"empty text", kFont, 12, "", 0},
        {"both empty", "", 12, "", 45},
        {"size zero", kFont, 0, "Text", 0},
        {"negative size", kFont, -12, "Text", 0},
        {"angle not a number", kFont, 12, "Text", std::numeric_limits<double>::quiet_NaN()},
        {"infinite angle", kFont, 12, "Text", std::numeric_limits<double>::infinity()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(service.GetTextBounds(c.font, c.size, c.text, c.angle), tDoubleRect{}) << c.name;
    }
    EXPECT_EQ(RecentLines(), before);
}
