#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using platform::Value;
using namespace std::chrono;

namespace {

Value::Date dateAt(long long seconds, long long micros) {
    return Value::Date{duration_cast<system_clock::duration>(std::chrono::seconds{seconds} + microseconds{micros})};
}

}  // namespace

TEST(ValueTest, StoredFormRoundTripsEveryTypeExactly) {
    struct Case {
        const char* name;
        Value value;
        Value::Type type;
    };
    const Case cases[] = {
        {"null", Value(), Value::Type::Null},
        {"true", Value(true), Value::Type::Bool},
        {"false", Value(false), Value::Type::Bool},
        {"int 3 stays integer", Value(3), Value::Type::Integer},
        {"int64 min", Value(std::numeric_limits<std::int64_t>::min()), Value::Type::Integer},
        {"int64 max", Value(std::numeric_limits<std::int64_t>::max()), Value::Type::Integer},
        {"3.0 stays real", Value(3.0), Value::Type::Real},
        {"0.1 exact", Value(0.1), Value::Type::Real},
        {"tiny denormal", Value(4.9406564584124654e-324), Value::Type::Real},
        {"huge", Value(1.7976931348623157e308), Value::Type::Real},
        {"infinity", Value(std::numeric_limits<double>::infinity()), Value::Type::Real},
        {"minus infinity", Value(-std::numeric_limits<double>::infinity()), Value::Type::Real},
        {"empty string", Value(""), Value::Type::String},
        {"unicode string", Value("Gleis \xE2\x82\xAC \"quoted\"\n\ttab"), Value::Type::String},
        {"string that is not UTF-8", Value(std::string("caf\xE9\xFF")), Value::Type::String},
        {"string looking like a date", Value("2023-11-14T22:13:20Z"), Value::Type::String},
        {"empty data", Value(Value::Data{}), Value::Type::Data},
        {"data 1 byte", Value(Value::Data{0xFF}), Value::Type::Data},
        {"data 2 bytes", Value(Value::Data{0x00, 0x80}), Value::Type::Data},
        {"data 5 bytes", Value(Value::Data{0, 1, 2, 255, 0x7F}), Value::Type::Data},
        {"date with microseconds", Value(dateAt(1700000000, 123456)), Value::Type::Date},
        {"date before 1970", Value(dateAt(-86401, 1)), Value::Type::Date},
        {"epoch", Value(dateAt(0, 0)), Value::Type::Date},
        {"latest date", Value(Value::Date::max()), Value::Type::Date},
        {"earliest date", Value(Value::Date::min()), Value::Type::Date},
        {"earliest date and a bit", Value(Value::Date::min() + milliseconds(500)), Value::Type::Date},
        {"array of mixed", Value(Value::Array{Value(1), Value(1.0), Value("1"), Value(Value::Data{1})}),
         Value::Type::Array},
        {"dictionary with a $type key of its own",
         Value(Value::Dictionary{{"$type", Value("data")}, {"base64", Value("AA==")}}), Value::Type::Dictionary},
        {"nested",
         Value(Value::Dictionary{{"list", Value(Value::Array{Value(Value::Dictionary{{"when", Value(dateAt(5, 7))}})})},
                                 {"empty", Value(Value::Dictionary{})}}),
         Value::Type::Dictionary},
    };
    for (const auto& c : cases) {
        const std::string text = c.value.toStoredForm();
        auto back = Value::fromStoredForm(text);
        ASSERT_TRUE(back.has_value()) << c.name << ": " << text;
        EXPECT_EQ(back->type(), c.type) << c.name;
        EXPECT_EQ(*back, c.value) << c.name << ": " << text;
    }

    // NaN never equals itself; check it separately. -0.0 keeps its sign.
    auto nan = Value::fromStoredForm(Value(std::nan("")).toStoredForm());
    ASSERT_TRUE(nan && nan->asReal());
    EXPECT_TRUE(std::isnan(*nan->asReal()));
    auto negativeZero = Value::fromStoredForm(Value(-0.0).toStoredForm());
    ASSERT_TRUE(negativeZero && negativeZero->asReal());
    EXPECT_TRUE(std::signbit(*negativeZero->asReal()));
}

TEST(ValueTest, StoredFormTellsIntegersFromReals) {
    EXPECT_EQ(Value(3).toStoredForm(), "3");
    EXPECT_EQ(Value(3.0).toStoredForm(), "3.0");
    EXPECT_TRUE(Value::fromStoredForm("3")->isInteger());
    EXPECT_TRUE(Value::fromStoredForm("3.0")->isReal());
}

TEST(ValueTest, MalformedTextGivesNullopt) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"unclosed object", "{\"a\": 1"},
        {"trailing comma", "[1,]"},
        {"bare word", "hello"},
        {"single quotes", "{'a': 1}"},
        {"two documents", "{} {}"},
        {"invalid UTF-8 in string", "\"caf\xE9\""},
        {"very deep nesting", std::string(100000, '[')},
        {"deep but closed", std::string(5000, '[') + std::string(5000, ']')},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(Value::fromJson(c.text, &error), std::nullopt) << c.name;
        EXPECT_FALSE(error.empty()) << c.name << ": no error text";
        EXPECT_EQ(Value::fromStoredForm(c.text), std::nullopt) << c.name;
    }
    const Case badTags[] = {
        {"unknown tag", R"({"$type": "widget", "value": 1})"},
        {"data with bad base64", R"({"$type": "data", "base64": "A*=="})"},
        {"data with bad length", R"({"$type": "data", "base64": "AAA"})"},
        {"date without zone", R"({"$type": "date", "value": "2023-11-14T22:13:20"})"},
        {"date of month 13", R"({"$type": "date", "value": "2023-13-14T22:13:20Z"})"},
        {"date with a negative hour", R"({"$type": "date", "value": "2023-11-14T-1:13:20Z"})"},
        {"date with a negative minute", R"({"$type": "date", "value": "2023-11-14T22:-3:20Z"})"},
        {"date with a blank-padded hour", R"({"$type": "date", "value": "2023-11-14T 2:13:20Z"})"},
        {"date with a signed year", R"({"$type": "date", "value": "+023-11-14T22:13:20Z"})"},
        {"tag with extra member", R"({"$type": "data", "base64": "AA==", "x": 1})"},
    };
    for (const auto& c : badTags) EXPECT_EQ(Value::fromStoredForm(c.text), std::nullopt) << c.name;
}

TEST(ValueTest, StoredDatesBeyondTheClockSaturate) {
    // A far-off date in a stored file (9999 is a common "never") was read
    // as some year in between; now it is the nearest date a Date holds, in
    // the same direction, and the rest of the file reads as before.
    struct Case {
        const char* name;
        const char* date;
        Value::Date expected;
    };
    const Case cases[] = {
        {"year 9999", "9999-12-31T23:59:59.999999999Z", Value::Date::max()},
        {"year 2263", "2263-01-01T00:00:00Z", Value::Date::max()},
        {"year 0015", "0015-06-01T12:00:00Z", Value::Date::min()},
        {"year 0000", "0000-01-01T00:00:00Z", Value::Date::min()},
        {"the nanosecond before the earliest", "1677-09-21T00:12:43.145224191Z", Value::Date::min()},
        {"the nanosecond after the latest", "2262-04-11T23:47:16.854775808Z", Value::Date::max()},
        {"1678 still itself", "1678-01-01T00:00:00Z", Value::Date{sys_days{year{1678} / 1 / 1}}},
        {"2261 still itself", "2261-12-31T23:59:59.5Z",
         Value::Date{sys_days{year{2261} / 12 / 31} + 23h + 59min + 59s + 500ms}},
    };
    for (const auto& c : cases) {
        const std::string text =
            std::string(R"({"prefs": {"until": {"$type": "date", "value": ")") + c.date + R"("}, "n": 1}})";
        auto back = Value::fromStoredForm(text);
        ASSERT_TRUE(back) << c.name;
        const Value* until = back->find("prefs")->find("until");
        ASSERT_TRUE(until && until->asDate()) << c.name;
        EXPECT_EQ(*until->asDate(), c.expected) << c.name;
        EXPECT_EQ(*back->find("prefs")->find("n"), Value(1)) << c.name;
    }
}

TEST(ValueTest, TheDeepestValuesSurviveTheStoredForm) {
    // Read from JSON as deep as it may be (511 levels and a leaf), then stored as a settings file
    // stores it; a dictionary with a "$type" key of its own is wrapped at
    // every level, and the leaf is a tagged date.
    struct Case {
        const char* name;
        std::string open;
        std::string close;
    };
    const Case cases[] = {
        {"typed dictionaries", R"({"$type": 1, "a": )", "}"},
        {"arrays", "[", "]"},
        {"dictionaries", R"({"a": )", "}"},
    };
    for (const auto& c : cases) {
        std::string text;
        for (int level = 0; level < 511; ++level) text += c.open;
        text += "0";
        for (int level = 0; level < 511; ++level) text += c.close;
        auto value = Value::fromJson(text);
        ASSERT_TRUE(value) << c.name;
        Value* innermost = &*value;
        while (innermost->asArray() || innermost->asDictionary()) {
            innermost =
                innermost->asArray() ? &innermost->asArray()->front() : &innermost->asDictionary()->rbegin()->second;
        }
        *innermost = Value(dateAt(1700000000, 250));
        const auto stored = Value::fromStoredForm(value->toStoredForm());
        ASSERT_TRUE(stored) << c.name;
        EXPECT_EQ(*stored, *value) << c.name;
    }
}

TEST(ValueTest, ParsesJsonIntoTheMatchingTypes) {
    auto v = Value::fromJson(R"({"i": 12, "neg": -4, "r": 1.5, "e": 1e2, "s": "x\u00e9", "b": true,
                                "n": null, "a": [1, "two"], "big": 18446744073709551615})");
    ASSERT_TRUE(v && v->isDictionary());
    EXPECT_EQ(v->find("i")->asInteger() ? *v->find("i")->asInteger() : -1, 12);
    EXPECT_EQ(*v->find("neg")->asInteger(), -4);
    EXPECT_EQ(*v->find("r")->asReal(), 1.5);
    EXPECT_TRUE(v->find("e")->isReal());
    EXPECT_EQ(*v->find("s")->asString(), "x\xC3\xA9");
    EXPECT_EQ(*v->find("b")->asBool(), true);
    EXPECT_TRUE(v->find("n")->isNull());
    EXPECT_EQ(*v->find("a"), Value(Value::Array{Value(1), Value("two")}));
    // Beyond int64: kept as a real rather than wrapped to a negative number.
    ASSERT_TRUE(v->find("big")->isReal());
    EXPECT_EQ(*v->find("big")->asReal(), 18446744073709551615.0);
    EXPECT_EQ(v->find("missing"), nullptr);
    EXPECT_EQ(Value(3).find("i"), nullptr);
}

TEST(ValueTest, JsonTextOfDataDatesAndStrings) {
    struct Case {
        const char* name;
        Value value;
        std::string json;
    };
    const Case cases[] = {
        {"data as base64", Value(Value::Data{0, 1, 2, 255}), "\"AAEC/w==\""},
        {"date in whole seconds", Value(dateAt(1700000000, 0)), "\"2023-11-14T22:13:20Z\""},
        {"date with milliseconds", Value(dateAt(1700000000, 123456)), "\"2023-11-14T22:13:20.123Z\""},
        {"date before 1970", Value(dateAt(-1, 0)), "\"1969-12-31T23:59:59Z\""},
        {"escapes", Value("a\"b\\c\n"), "\"a\\\"b\\\\c\\n\""},
        {"invalid UTF-8 replaced, not thrown",
         Value(std::string("a\xFF"
                           "b")),
         "\"a\xEF\xBF\xBD"
         "b\""},
        {"dictionary keys sorted", Value(Value::Dictionary{{"b", Value(1)}, {"a", Value(2.5)}}), "{\"a\":2.5,\"b\":1}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.toJson(), c.json) << c.name;
}

TEST(ValueTest, NumberConversions) {
    struct Case {
        const char* name;
        Value value;
        std::optional<std::int64_t> integer;
        std::optional<double> real;
    };
    const Case cases[] = {
        {"integer", Value(7), 7, 7.0},
        {"real truncates down", Value(2.9), 2, 2.9},
        {"negative real truncates toward zero", Value(-2.9), -2, -2.9},
        {"real too large for int64", Value(1e30), std::nullopt, 1e30},
        {"NaN has no integer", Value(std::nan("")), std::nullopt, std::nullopt},
        {"string is no number", Value("3"), std::nullopt, std::nullopt},
        {"bool is no number", Value(true), std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.numberAsInteger(), c.integer) << c.name;
        if (c.value.isReal() && std::isnan(*c.value.asReal())) continue;
        EXPECT_EQ(c.value.numberAsDouble(), c.real) << c.name;
    }
}
