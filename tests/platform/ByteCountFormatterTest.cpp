// Byte counts in the file style: decimal units, the fraction digits of each
// unit, rounding that carries into the next unit, and the locale's numbers.

#include <gtest/gtest.h>

#include "platform/foundation/ByteCountFormatter.h"
#include "platform/foundation/Locale.h"

using platform::ByteCountFormatter;

TEST(ByteCountFormatter, WritesFileSizesInDecimalUnits) {
    platform::Locale::setCurrent("en_US");
    const struct {
        const char* name;
        std::int64_t bytes;
        const char* expected;
    } cases[] = {
        {"nothing", 0, "Zero KB"},
        {"one byte", 1, "1 byte"},
        {"below a kilobyte", 999, "999 bytes"},
        {"a kilobyte is a thousand bytes", 1000, "1 KB"},
        {"kilobytes without fraction, rounded down", 1499, "1 KB"},
        {"and rounded half up", 1500, "2 KB"},
        {"the largest kilobyte count", 999499, "999 KB"},
        {"rounding carries into megabytes", 999500, "1 MB"},
        {"megabytes with one digit", 1234567, "1.2 MB"},
        {"trailing zeros dropped", 2000000, "2 MB"},
        {"gigabytes with two digits", 3456789012, "3.46 GB"},
        {"a negative count keeps its sign", -1500, "-2 KB"},
    };
    for (const auto& c : cases) EXPECT_EQ(ByteCountFormatter::stringFromByteCount(c.bytes), c.expected) << c.name;

    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(ByteCountFormatter::stringFromByteCount(1234567), "1,2 MB");
}
