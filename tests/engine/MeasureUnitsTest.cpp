#include "engine/model/MeasureUnits.h"

#include "platform/foundation/Bundle.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// The shipped English names, whatever the environment's language.
void UseEnglish() {
    if (platform::Bundle* main = platform::Bundle::main()) main->setPreferredLanguage("en");
}

}  // namespace

TEST(MeasureUnits, ConversionsForEveryUnitType) {
    struct Case {
        int type;
        double from1000mm;
        double twoUnitsInMm;
    };
    const Case cases[] = {
        {1, 1000.0, 2.0},         {2, 100.0, 20.0},           {3, 1.0, 2000.0},
        {4, 1000.0 / 25.4, 50.8}, {5, 1000.0 / 304.8, 609.6}, {6, 1000.0 / 914.4, 1828.8},
        {0, 1000.0, 2.0},         {7, 1000.0, 2.0},           {-3, 1000.0, 2.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(UMeasureUnits::ConvertFromMillimeters(c.type, 1000.0), c.from1000mm, 1e-9) << c.type;
        EXPECT_NEAR(UMeasureUnits::ConvertToMillimeters(c.type, 2.0), c.twoUnitsInMm, 1e-9) << c.type;
    }
    EXPECT_NEAR(UMeasureUnits::ConvertToMillimeters(5, UMeasureUnits::ConvertFromMillimeters(5, 1234.5)), 1234.5, 1e-9);
}

TEST(MeasureUnits, FormatLengthForEveryUnitType) {
    UseEnglish();
    struct Case {
        int type;
        double millimeters;
        const char* expected;
    };
    const Case cases[] = {
        {1, 1000.0, "1000.0 mm"},
        {2, 1000.0, "100.0 cm"},
        {3, 1234.0, "1.2 m"},
        {4, 25.4, "1.00 \""},
        {4, 1000.0, "39.37 \""},
        {5, 1000.0, "3.28 ft"},
        {6, 1000.0, "1.09 yd"},
        {1, -0.05, "-0.1 mm"},
        {0, 1000.0, "1000.0 Unsupported Measure Unit!"},
        {7, 12.34, "12.3 Unsupported Measure Unit!"},
    };
    for (const Case& c : cases) EXPECT_EQ(UMeasureUnits::FormatLength(c.type, c.millimeters), c.expected) << c.type;

    const std::string huge = UMeasureUnits::FormatLength(1, 1e200);
    EXPECT_EQ(huge.size(), 127u);
    EXPECT_EQ(huge.substr(0, 3), "999");
}

TEST(MeasureUnits, UnitNamesAndBaseTenUnits) {
    UseEnglish();
    const char* full[] = {"mm", "cm", "Meter", "Inch", "Feet", "Yard"};
    const char* abbreviated[] = {"mm", "cm", "m", "\"", "ft", "yd"};
    for (int type = 1; type <= 6; ++type) {
        EXPECT_EQ(UMeasureUnits::GetUnitName(type, false), full[type - 1]) << type;
        EXPECT_EQ(UMeasureUnits::GetUnitName(type, true), abbreviated[type - 1]) << type;
        EXPECT_EQ(UMeasureUnits::IsBaseTenUnit(type), type <= 3) << type;
    }
    for (int type : {0, 7, -1}) {
        EXPECT_EQ(UMeasureUnits::GetUnitName(type, false), "Unsupported Measure Unit!");
        EXPECT_EQ(UMeasureUnits::GetUnitName(type, true), "Unsupported Measure Unit!");
        EXPECT_FALSE(UMeasureUnits::IsBaseTenUnit(type));
    }
}

TEST(MeasureUnits, UnitNamesComeFromTheBundleTable) {
    const std::filesystem::path folder = testsupport::processRoot() / "UnitBundle";
    std::filesystem::create_directories(folder / "en.lproj");
    {
        std::ofstream table(folder / "en.lproj" / "Localizable.strings");
        table << "Feet\t" << std::string(64, 'f') << "\n"
              << "Yard\t" << std::string(63, 'y') << "\n"
              << "ft\tFu\u00DF\n"
              << "\"\tinch\n";
    }
    platform::Bundle bundle(folder);
    bundle.setPreferredLanguage("en");

    EXPECT_EQ(UMeasureUnits::GetUnitName(5, true, &bundle), "Fu\u00DF");
    EXPECT_EQ(UMeasureUnits::GetUnitName(5, false, &bundle), "") << "64 bytes do not fit";
    EXPECT_EQ(UMeasureUnits::GetUnitName(6, false, &bundle), std::string(63, 'y'));
    EXPECT_EQ(UMeasureUnits::GetUnitName(4, true, &bundle), "\"") << "the inch mark is never translated";
    EXPECT_EQ(UMeasureUnits::GetUnitName(4, false, &bundle), "Inch") << "no entry: the English text";
    EXPECT_EQ(UMeasureUnits::GetUnitName(3, false, nullptr), "Meter");
}
