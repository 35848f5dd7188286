#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "app/Utilities/Strings/ZDJSONUtils.h"
#include "app/Utilities/Strings/ZDUtilsDictionary.h"
#include "app/Utilities/Strings/ZDValueTransformers.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

using platform::Value;

namespace {

Value reply() {
    auto parsed = Value::fromJson(R"({"name": "Gleisplan", "likes": 12, "price": 1.5, "flag": true,
        "text12": "12abc", "textTrue": "true", "textNegative": "  -7 pieces", "huge": "99999999999",
        "tiny": "-99999999999", "yes": "YES", "zeros": "  +0012", "zero": "0", "no": "no",
        "list": [1, 2], "object": {"a": 1}, "nothing": null})");
    return *parsed;
}

}  // namespace

TEST(JsonHelpers, ReadersGiveTheValueOnlyWhenItIsOfTheKindAsked) {
    const Value json = reply();
    ASSERT_NE(ZDUtils::getValueAsStringForKey(json, "name"), nullptr);
    EXPECT_EQ(*ZDUtils::getValueAsStringForKey(json, "name"), "Gleisplan");
    EXPECT_EQ(ZDUtils::getValueAsStringForKey(json, "likes"), nullptr);
    EXPECT_EQ(ZDUtils::getValueAsStringForKey(json, "missing"), nullptr);

    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "likes"), Value(12));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "price"), Value(1.5));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "flag"), Value(1));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "text12"), Value(12));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "textTrue"), Value(0));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "textNegative"), Value(-7));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "huge"), Value(std::numeric_limits<std::int32_t>::max()));
    EXPECT_EQ(ZDUtils::getValueAsNumberForKey(json, "tiny"), Value(std::numeric_limits<std::int32_t>::min()));
    EXPECT_FALSE(ZDUtils::getValueAsNumberForKey(json, "list").has_value());
    EXPECT_FALSE(ZDUtils::getValueAsNumberForKey(json, "nothing").has_value());

    EXPECT_TRUE(ZDUtils::getValueAsBoolForKey(json, "flag"));
    EXPECT_TRUE(ZDUtils::getValueAsBoolForKey(json, "likes"));
    EXPECT_TRUE(ZDUtils::getValueAsBoolForKey(json, "yes"));
    EXPECT_TRUE(ZDUtils::getValueAsBoolForKey(json, "textTrue"));
    EXPECT_TRUE(ZDUtils::getValueAsBoolForKey(json, "zeros"));
    EXPECT_FALSE(ZDUtils::getValueAsBoolForKey(json, "zero"));
    EXPECT_FALSE(ZDUtils::getValueAsBoolForKey(json, "no"));
    EXPECT_FALSE(ZDUtils::getValueAsBoolForKey(json, "object"));

    ASSERT_NE(ZDUtils::getValueAsArrayForKey(json, "list"), nullptr);
    EXPECT_EQ(ZDUtils::getValueAsArrayForKey(json, "list")->size(), 2u);
    EXPECT_EQ(ZDUtils::getValueAsArrayForKey(json, "object"), nullptr);
    ASSERT_NE(ZDUtils::getValueAsDictionaryForKey(json, "object"), nullptr);
    EXPECT_EQ(ZDUtils::getValueAsDictionaryForKey(json, "list"), nullptr);
    EXPECT_FALSE(ZDUtils::getValueAsDateForKey(json, "name").has_value());
    const Value::Date when{std::chrono::seconds(1'700'000'000)};
    EXPECT_EQ(ZDUtils::getValueAsDateForKey(Value(Value::Dictionary{{"when", when}}), "when"), when);

    // A reply of the wrong shape reads as nothing.
    const Value notAnObject = *Value::fromJson("[1, 2, 3]");
    EXPECT_EQ(ZDUtils::getValueAsStringForKey(notAnObject, "name"), nullptr);
    EXPECT_FALSE(ZDUtils::getValueAsNumberForKey(notAnObject, "likes").has_value());
    EXPECT_FALSE(ZDUtils::getValueAsBoolForKey(Value(), "flag"));
}

TEST(JsonHelpers, WhatJsonCannotHoldIsRefusedWithAReason) {
    Value deep = Value(Value::Array{});
    for (int i = 0; i < 600; ++i) deep = Value(Value::Array{deep});
    struct Case {
        const char* name;
        Value value;
        const char* reason;
    };
    const Case cases[] = {
        {"a top-level text", Value("text"), "top level"},
        {"data", Value(Value::Dictionary{{"blob", Value(Value::Data{1, 2})}}), "data"},
        {"a date", Value(Value::Array{Value(Value::Date{})}), "date"},
        {"not a number", Value(Value::Dictionary{{"x", std::nan("")}}), "not finite"},
        {"infinity", Value(Value::Array{std::numeric_limits<double>::infinity()}), "not finite"},
        {"bytes that are not UTF-8", Value(Value::Array{Value(std::string("a\xFF"))}), "not UTF-8"},
        {"a key that is not UTF-8", Value(Value::Dictionary{{std::string("\xC3"), 1}}), "not UTF-8"},
        {"deep nesting", deep, "deeper"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ZDJSONUtils::getJsonDataFromDictionary(c.value).has_value()) << c.name;
        const std::string console = testing::internal::GetCapturedStderr();
        EXPECT_EQ(console.rfind("Got an error: ", 0), 0u) << c.name << ": " << console;
        EXPECT_NE(console.find(c.reason), std::string::npos) << c.name << ": " << console;
    }
}

TEST(JsonHelpers, WrittenJsonIsPrettyAndReadsBackEqual) {
    const Value object = reply();
    const auto data = ZDJSONUtils::getJsonDataFromDictionary(object);
    ASSERT_TRUE(data.has_value());
    const std::string text(data->begin(), data->end());
    EXPECT_NE(text.find("\n  \"flag\": true"), std::string::npos) << text;
    EXPECT_EQ(Value::fromJson(text), object);
}

TEST(JsonHelpers, DatesShowInTheLocalesShortStyles) {
    platform::TimeZone::setDefaultTimeZone(platform::TimeZone::forSecondsFromGMT(3600));
    platform::Locale::setCurrent("de_DE");
    // 2026-12-05 13:30:00 UTC, 14:30 an hour east.
    const Value::Date date{std::chrono::seconds(1'796'477'400)};
    EXPECT_EQ(ZDJSONUtils::dateString(date), "05.12.26, 14:30");
    platform::TimeZone::setDefaultTimeZone(std::nullopt);
}

TEST(JsonHelpers, TransformersAnswerZeroAndEmptyForBindings) {
    const ZDZeroNumberTransformer zero;
    EXPECT_EQ(zero.transformedValue(Value()), Value(true));
    EXPECT_EQ(zero.transformedValue(Value(0)), Value(true));
    EXPECT_EQ(zero.transformedValue(Value(-0.0)), Value(true));
    EXPECT_EQ(zero.transformedValue(Value(1e-50)), Value(true));  // zero in single precision
    EXPECT_EQ(zero.transformedValue(Value(0.5)), Value(false));
    EXPECT_EQ(zero.transformedValue(Value(false)), Value(true));
    EXPECT_EQ(zero.transformedValue(Value("0.0")), Value(true));
    EXPECT_EQ(zero.transformedValue(Value("2")), Value(false));
    EXPECT_EQ(zero.transformedValue(Value(Value::Array{})), Value(false));

    const ZDIsEmptyStringValueTransformer empty;
    EXPECT_EQ(empty.transformedValue(Value()), Value(true));
    EXPECT_EQ(empty.transformedValue(Value("")), Value(true));
    EXPECT_EQ(empty.transformedValue(Value(" ")), Value(false));
    EXPECT_EQ(empty.transformedValue(Value(0)), Value(false));

    EXPECT_FALSE(ZDValueTransformer::allowsReverseTransformation());
    EXPECT_EQ(zero.reverseTransformedValue(Value(7)), Value(7));
}
