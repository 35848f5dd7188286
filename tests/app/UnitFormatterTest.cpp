#include <gtest/gtest.h>

#include <string>

#include "app/Utilities/Units/QLDefaults.h"
#include "app/Utilities/Units/QLUnitFormatter.h"
#include "platform/foundation/Locale.h"
#include "tests/support/EngineServices.h"

using platform::Value;

namespace {

double readBack(QLUnitFormatter& formatter, const std::string& text) {
    Value value(-1.0);
    std::string error;
    EXPECT_TRUE(formatter.getObjectValue(&value, text, &error)) << text << ": " << error;
    return value.numberAsDouble().value_or(-1.0);
}

}  // namespace

TEST(UnitFormatter, LengthsShowRoundedInEveryUnitAndReadBack) {
    testsupport::RegisterServices("en");
    platform::Locale::setCurrent("en_US");
    struct Case {
        int unit;
        double millimeters;
        const char* text;
        double readMillimeters;
    };
    const Case cases[] = {
        {1, 1234.5, "1,234.5 mm", 1234.5},              // grouped
        {1, 0.25, "0.3 mm", 0.3},                       // halves round up
        {1, 20.0, "20 mm", 20.0},                       // no fraction needed
        {2, 1234.5, "123.5 cm", 1235.0},                // one digit at most
        {2, 1234.0, "123.4 cm", 1234.0},                // exact
        {2, 12345678.0, "1,234,567.8 cm", 12345678.0},  // large
        {3, 1234.5, "1.23 m", 1230.0},                  // two digits at most
        {3, 1000.0, "1.0 m", 1000.0},                   // one digit at least
        {3, 1235.0, "1.24 m", 1240.0},                  // half up again
        {4, 1234.5, "48.6 \"", 1234.44},                // inches
        {4, 254.0, "10.0 \"", 254.0},                   // exact inches
        {5, 1234.5, "4.05 ft", 1234.44},                // feet
        {5, -304.8, "-1.0 ft", -304.8},                 // negative
        {6, 1234.5, "1.35 yd", 1234.44},                // yards
    };
    QLUnitFormatter formatter;
    EXPECT_EQ(formatter.unitType(), 2);
    for (const Case& c : cases) {
        formatter.setUnitType(c.unit);
        const std::string text = formatter.stringFromNumber(c.millimeters);
        EXPECT_EQ(text, c.text) << "unit " << c.unit;
        const double back = readBack(formatter, text);
        EXPECT_NEAR(back, c.readMillimeters, 1e-9) << text;
        // What was read shows as the same text again.
        EXPECT_EQ(formatter.stringFromNumber(back), text);
    }
}

TEST(UnitFormatter, HighPrecisionShowsThreeDigitsAndTheLocaleSetsTheSeparators) {
    testsupport::RegisterServices("en");
    platform::Locale::setCurrent("de_DE");
    QLUnitFormatter formatter;
    EXPECT_EQ(formatter.stringFromNumber(1234.5), "123,5 cm");
    formatter.setHighPrecisionMode(true);
    const char* expected[] = {"1.234,500 mm", "123,450 cm", "1,235 m", "48,602 \"", "4,050 ft", "1,350 yd"};
    for (int unit = 1; unit <= 6; ++unit) {
        formatter.setUnitType(unit);
        EXPECT_EQ(formatter.stringFromNumber(1234.5), expected[unit - 1]) << "unit " << unit;
    }
    formatter.setUnitType(2);
    EXPECT_NEAR(readBack(formatter, "123,45 cm"), 1234.5, 1e-9);
}

TEST(UnitFormatter, TypedTextDropsLettersAndTakesTheFirstDigitGroupWhenItMust) {
    testsupport::RegisterServices("en");
    platform::Locale::setCurrent("en_US");
    QLUnitFormatter formatter;
    EXPECT_NEAR(readBack(formatter, "12 cm"), 120.0, 1e-9);
    EXPECT_NEAR(readBack(formatter, "  12.5cm "), 125.0, 1e-9);
    EXPECT_NEAR(readBack(formatter, "1'2"), 10.0, 1e-9);
    EXPECT_NEAR(readBack(formatter, "-3"), -30.0, 1e-9);
    formatter.setUnitType(4);
    EXPECT_NEAR(readBack(formatter, "2 inches"), 50.8, 1e-9);

    EXPECT_EQ(formatter.stringForObjectValue(Value("as it is")), "as it is");
    EXPECT_EQ(formatter.stringForObjectValue(Value(254)), "10.0 \"");
    EXPECT_FALSE(formatter.stringForObjectValue(Value(Value::Array{})).has_value());
}

TEST(UnitFormatter, TextWithoutANumberIsRefusedAndTheFieldKeepsItsValue) {
    testsupport::RegisterServices("en");
    platform::Locale::setCurrent("en_US");
    QLUnitFormatter formatter;
    for (const char* text : {"abc", "", "cm", "--", "  "}) {
        Value value(250.0);
        std::string error;
        EXPECT_FALSE(formatter.getObjectValue(&value, text, &error)) << text;
        EXPECT_EQ(value, Value(250.0)) << text;
        EXPECT_NE(error.find("is not a length"), std::string::npos) << text;
    }
}

TEST(Defaults, TypedPreferencesAndTheMeasureUnit) {
    testsupport::RegisterServices("en");
    QLDefaults::setBoolean(true, "VKMTestFlag");
    QLDefaults::setInt(42, "VKMTestCount");
    QLDefaults::setDouble(2.5, "VKMTestRatio");
    QLDefaults::setString("Gleis ✓", "VKMTestName");
    EXPECT_TRUE(QLDefaults::booleanValue("VKMTestFlag"));
    EXPECT_EQ(QLDefaults::intValue("VKMTestCount"), 42);
    EXPECT_EQ(QLDefaults::doubleValue("VKMTestRatio"), 2.5);
    EXPECT_EQ(QLDefaults::stringValue("VKMTestName"), "Gleis ✓");

    for (int unit = 1; unit <= 6; ++unit) {
        QLDefaults::setInt(unit, "QLUnits");
        EXPECT_EQ(QLDefaults::unitType(), unit);
        EXPECT_EQ(QLDefaults::unitTypeIsBaseTen(), unit <= 3) << unit;
    }
}
