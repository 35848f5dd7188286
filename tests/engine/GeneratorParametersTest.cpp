// Generator parameters: the text form of values, typed reads with their
// defaults, the element's generator map and the log text of a set.

#include "engine/model/GeneratorParameters.h"

#include "engine/services/Logger.h"
#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using testsupport::LastLogMessage;

tGeneratorParameters WithText(int key, const std::string& text) {
    tGeneratorParameters parameters;
    parameters[key] = CGeneratorParameter(text);
    return parameters;
}

TEST(GeneratorParameterTest, ValuesAreKeptAsText) {
    struct Case {
        const char* name;
        CGeneratorParameter value;
        const char* text;
    };
    const Case cases[] = {
        {"integer", CGeneratorParameter(85), "85"},
        {"negative integer", CGeneratorParameter(-3), "-3"},
        {"real with six decimals", CGeneratorParameter(360.0), "360.000000"},
        {"real rounded to six decimals", CGeneratorParameter(0.1234567), "0.123457"},
        {"text", CGeneratorParameter(std::string("#FF102030")), "#FF102030"},
        {"C string", CGeneratorParameter("Library A"), "Library A"},
        {"null C string", CGeneratorParameter(static_cast<const char*>(nullptr)), ""},
        {"empty", CGeneratorParameter(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value.GetText(), c.text) << c.name;

    CGeneratorParameter parameter("old");
    parameter.SetInt(500);
    EXPECT_EQ(parameter.GetText(), "500");
    parameter.SetDouble(1.5);
    EXPECT_EQ(parameter.GetText(), "1.500000");
}

TEST(GeneratorParameterTest, GetIntReadsLikeTheStandardConversionAndNeverThrows) {
    struct Case {
        const char* name;
        const char* text;
        int expected;
        const char* warning;  // null: no warning
    };
    const int kDefault = -77;
    const Case cases[] = {
        {"integer stored as a real", "500.000000", 500, nullptr},
        {"digits then letters", "12abc", 12, nullptr},
        {"leading blanks", "  7", 7, nullptr},
        {"negative", "-42", -42, nullptr},
        {"largest int", "2147483647", INT_MAX, nullptr},
        {"smallest int", "-2147483648", INT_MIN, nullptr},
        {"letters", "abc", kDefault, "Generator parameter 9: 'abc' is not a number"},
        {"empty text", "", kDefault, "Generator parameter 9: '' is not a number"},
        {"sign alone", "-", kDefault, "Generator parameter 9: '-' is not a number"},
        {"one above int", "2147483648", kDefault, "Generator parameter 9: '2147483648' is out of range"},
        {"above long", "99999999999999999999", kDefault,
         "Generator parameter 9: '99999999999999999999' is out of range"},
    };
    for (const Case& c : cases) {
        LogWarning("marker before %s", c.name);
        const std::string marker = LastLogMessage();
        int value = 0;
        EXPECT_NO_THROW(value = UGeneratorParameters::GetInt(WithText(9, c.text), 9, kDefault)) << c.name;
        EXPECT_EQ(value, c.expected) << c.name;
        EXPECT_EQ(LastLogMessage(), c.warning != nullptr ? std::string(c.warning) : marker) << c.name;
    }
}

TEST(GeneratorParameterTest, GetDoubleReadsLikeTheStandardConversionAndNeverThrows) {
    struct Case {
        const char* name;
        const char* text;
        double expected;
        const char* warning;
    };
    const double kDefault = 1.0 / 3.0;
    const Case cases[] = {
        {"six decimals", "360.000000", 360.0, nullptr},
        {"exponent", "1.5e2", 150.0, nullptr},
        {"number then unit", "2.5mm", 2.5, nullptr},
        {"integer text", "-12", -12.0, nullptr},
        {"letters", "abc", kDefault, "Generator parameter 4: 'abc' is not a number"},
        {"empty text", "", kDefault, "Generator parameter 4: '' is not a number"},
        {"not a number", "nan", kDefault, "Generator parameter 4: 'nan' is not a number"},
        {"overflow", "1e999", kDefault, "Generator parameter 4: '1e999' is out of range"},
        {"infinity", "-inf", kDefault, "Generator parameter 4: '-inf' is out of range"},
    };
    for (const Case& c : cases) {
        LogWarning("marker before %s", c.name);
        const std::string marker = LastLogMessage();
        double value = 0.0;
        EXPECT_NO_THROW(value = UGeneratorParameters::GetDouble(WithText(4, c.text), 4, kDefault)) << c.name;
        EXPECT_EQ(value, c.expected) << c.name;
        EXPECT_EQ(LastLogMessage(), c.warning != nullptr ? std::string(c.warning) : marker) << c.name;
    }
}

TEST(GeneratorParameterTest, AbsentKeysGiveTheDefaultsUnchanged) {
    tGeneratorParameters parameters;
    parameters[2] = CGeneratorParameter(100);
    parameters[7] = CGeneratorParameter("abc");

    EXPECT_TRUE(UGeneratorParameters::HasParameter(parameters, 2));
    EXPECT_FALSE(UGeneratorParameters::HasParameter(parameters, 3));
    ASSERT_NE(UGeneratorParameters::FindParameter(parameters, 7), nullptr);
    EXPECT_EQ(UGeneratorParameters::FindParameter(parameters, 7)->GetText(), "abc");
    EXPECT_EQ(UGeneratorParameters::FindParameter(parameters, 3), nullptr);

    const double oddDefault = 0.1 + 0.2;  // not 0.3: the exact default must come back
    EXPECT_EQ(UGeneratorParameters::GetDouble(parameters, 3, oddDefault), oddDefault);
    EXPECT_EQ(UGeneratorParameters::GetInt(parameters, 3, -5), -5);
    EXPECT_EQ(UGeneratorParameters::GetString(parameters, 3, "fallback"), "fallback");

    EXPECT_EQ(UGeneratorParameters::GetInt(parameters, 2, -5), 100);
    EXPECT_EQ(UGeneratorParameters::GetDouble(parameters, 2, 0.0), 100.0);
    EXPECT_EQ(UGeneratorParameters::GetString(parameters, 2, "fallback"), "100");
    EXPECT_EQ(UGeneratorParameters::GetString(parameters, 7, "fallback"), "abc");
}

TEST(GeneratorParameterTest, ElementGeneratorMapAnswersTheFirstGeneratorOfAType) {
    tGeneratorMap generators;
    tGeneratorParameters straight;
    straight[2] = CGeneratorParameter(100);
    tGeneratorParameters firstCurve;
    firstCurve[5] = CGeneratorParameter(450.5);
    tGeneratorParameters secondCurve;
    secondCurve[5] = CGeneratorParameter(90.0);
    secondCurve[4] = CGeneratorParameter(15);
    generators.insert({2, firstCurve});
    generators.insert({1, straight});
    generators.insert({2, secondCurve});

    const tGeneratorParameters copy = UGeneratorParameters::GetParametersForGenerator(generators, 2);
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_EQ(copy.at(5).GetText(), "450.500000");
    EXPECT_TRUE(UGeneratorParameters::GetParametersForGenerator(generators, 3).empty());
    EXPECT_TRUE(UGeneratorParameters::GetParametersForGenerator(tGeneratorMap(), 2).empty());

    EXPECT_EQ(UGeneratorParameters::GetGeneratorDouble(generators, 2, 5, 360.0), 450.5);
    EXPECT_EQ(UGeneratorParameters::GetGeneratorDouble(generators, 7, 5, 360.0), 360.0);
    EXPECT_EQ(UGeneratorParameters::GetGeneratorDouble(generators, 7, 5), 0.0);
    // The first curve lacks key 4: the second curve's 15 must not leak in.
    EXPECT_EQ(UGeneratorParameters::GetGeneratorDouble(generators, 2, 4, 30.0), 30.0);
}

TEST(GeneratorParameterTest, ToStringListsEntriesInKeyOrder) {
    struct Case {
        const char* name;
        tGeneratorParameters parameters;
        const char* text;
    };
    const Case cases[] = {
        {"empty set", {}, ""},
        {"one empty value", {{0, CGeneratorParameter()}}, "[ 0 ] = "},
        {"keys 2 and 5, added in reverse",
         {{5, CGeneratorParameter(360.0)}, {2, CGeneratorParameter(100)}},
         "[ 2 ] = 100, [ 5 ] = 360.000000"},
        {"negative key first",
         {{12, CGeneratorParameter("x")}, {-1, CGeneratorParameter("y")}, {3, CGeneratorParameter("z")}},
         "[ -1 ] = y, [ 3 ] = z, [ 12 ] = x"},
    };
    for (const Case& c : cases) EXPECT_EQ(UComponentGeneratorParameters::ToString(c.parameters), c.text) << c.name;
}

}  // namespace
