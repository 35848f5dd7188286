#include "engine/model/RailConstants.h"

#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

namespace {

using testsupport::LastLogMessage;

struct Scale {
    int code;
    const char* shortName;
    const char* longName;
    double denominator;
    double gauge;
    double railWidth;
};

const Scale kScales[] = {
    {11, "Z", "Z (1:220)", 220, 6.5, 0.5},
    {12, "N", "N (1:160)", 160, 9.0, 0.7},
    {13, "TT", "TT (1:120)", 120, 12.0, 0.8},
    {14, "H0e / H0n30", "H0e / H0n30 (1:87)", 87, 9.0, 0.9},
    {15, "H0m / H0n3\u00BD", "H0m / H0n3\u00BD (1:87)", 87, 12.0, 0.9},
    {16, "H0", "H0 (1:87)", 87, 16.5, 0.9},
    {17, "0", "0 (1:45)", 45, 32.0, 1.6},
    {18, "I", "I (1:32)", 32, 45.0, 2.3},
    {19, "IIm / G", "IIm / G (1:22,5)", 22.5, 45.0, 1.3},
    {20, "Custom Scale", "Custom Scale", 1, 50.0, 5.0},
    {21, "S", "S (1:64)", 64, 22.45, 1.1},
    {22, "00", "00 (1:76)", 76, 16.5, 1.1},
};

}  // namespace

TEST(RailConstants, TableOfModelScales) {
    for (const Scale& s : kScales) {
        EXPECT_EQ(URailConstants::GetModelScaleAsString(s.code, true), s.shortName) << s.code;
        EXPECT_EQ(URailConstants::GetModelScaleAsString(s.code, false), s.longName) << s.code;
        EXPECT_DOUBLE_EQ(URailConstants::GetFactorForModelScale(s.code), 1.0 / s.denominator) << s.code;
        EXPECT_DOUBLE_EQ(URailConstants::GetGaugeForModelScale(s.code), s.gauge) << s.code;
        EXPECT_DOUBLE_EQ(URailConstants::GetDefaultRailWidthForModelScale(s.code), s.railWidth) << s.code;
    }
    EXPECT_EQ(URailConstants::kModelScaleH0, 16);
    EXPECT_EQ(URailConstants::kModelScaleUnknown, 23);
}

TEST(RailConstants, UnknownCodesWarnWithTheOperationAndGivePlaceholders) {
    EXPECT_DOUBLE_EQ(URailConstants::GetFactorForModelScale(10), 1.0);
    EXPECT_EQ(LastLogMessage(), "Unsupported model scale 10 in double URailConstants::GetFactorForModelScale(int)");
    EXPECT_DOUBLE_EQ(URailConstants::GetGaugeForModelScale(23), 1.0);
    EXPECT_EQ(LastLogMessage(), "Unsupported model scale 23 in double URailConstants::GetGaugeForModelScale(int)");
    EXPECT_DOUBLE_EQ(URailConstants::GetDefaultRailWidthForModelScale(-1), 1.0);
    EXPECT_EQ(LastLogMessage(),
              "Unsupported model scale -1 in double URailConstants::GetDefaultRailWidthForModelScale(int)");
    EXPECT_EQ(URailConstants::GetModelScaleAsString(0, false), "???");
    EXPECT_EQ(LastLogMessage(),
              "Unsupported model scale 0 in std::string URailConstants::GetModelScaleAsString(int, bool)");
}

TEST(RailConstants, ParsingFindsNamesAndTheirPiecesIgnoringAsciiCase) {
    // Every name of the table and every piece of a "/" name.
    for (const Scale& s : kScales) EXPECT_EQ(URailConstants::ParseModelScaleString(s.shortName), s.code) << s.shortName;

    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        {"h0", 16},  {"H0", 16},         {"h0n30", 14},        {"H0E", 14},
        {"h0m", 15}, {"H0n3\u00BD", 15}, {"H0N3\u00BD", 15},   {"g", 19},
        {"IIM", 19}, {"iim / g", 19},    {"custom scale", 20}, {"z", 11},
        {"tt", 13},  {"0", 17},          {"00", 22},           {"s", 21},
        {"i", 18},
    };
    for (const Case& c : cases) EXPECT_EQ(URailConstants::ParseModelScaleString(c.text), c.code) << c.text;
}

TEST(RailConstants, ParsingFailuresWarnWithTheLoweredText) {
    struct Case {
        const char* text;
        const char* lowered;
    };
    const Case cases[] = {
        {" N", " n"},                                    // not trimmed
        {"H0 ", "h0 "},   {"", ""}, {"IIm/G", "iim/g"},  // the whole name with other spacing
        {"1:87", "1:87"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URailConstants::ParseModelScaleString(c.text), 23) << c.text;
        EXPECT_EQ(LastLogMessage(), std::string("Failed to parse model scale string '") + c.lowered + "'");
    }
}
