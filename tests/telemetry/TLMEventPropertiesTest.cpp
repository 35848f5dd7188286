// Typed event properties and their container: JSON, equality, archives and
// the setters' checks; and how an event's typed properties become the data
// and metadata trees of its unified-schema logs.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"

#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using tlmtest::fixedTime;

namespace {

std::string json(const TLMOrderedDictionary& dictionary) { return dictionary.jsonText(false).value_or("<none>"); }

std::string json(const TLMJsonValue::Array& array) {
    TLMOrderedDictionary holder;
    holder.setObject(array, "a");
    const std::string text = json(holder);
    return text.substr(5, text.size() - 6);  // {"a":...}
}

// The unified-schema log of the event for one token.
std::shared_ptr<TLMUnifiedSchemaLog> converted(const TLMEventLog& event) {
    const auto logs = event.toUnifiedSchemaLogsWithFlags(TLMFlagsNormal);
    return logs.size() == 1 ? logs[0] : nullptr;
}

std::string dataJson(const TLMUnifiedSchemaLog& log) {
    return log.data() ? json(log.data()->serializeToDictionary()) : "<none>";
}

std::string metadataJson(const TLMUnifiedSchemaLog& log) {
    return log.ext() && log.ext()->metadataExt() ? json(log.ext()->metadataExt()->metadata()) : "<none>";
}

std::shared_ptr<TLMEventLog> eventWith(std::shared_ptr<TLMEventProperties> properties) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName("opened");
    event->setEventId("E1");
    event->setTimestamp(fixedTime());
    event->setTypedProperties(std::move(properties));
    event->addTransmissionTargetToken("4dacd24d-token");
    return event;
}

}  // namespace

TEST(TLMTypedProperty, JsonEqualityAndArchives) {
    TLMStringTypedProperty noText;
    noText.setName("s");
    EXPECT_EQ(json(noText.serializeToDictionary()), R"({"type":"string","name":"s"})");
    noText.setValue("");
    EXPECT_EQ(json(noText.serializeToDictionary()), R"({"type":"string","name":"s","value":""})");
    TLMDateTimeTypedProperty noDate;
    EXPECT_EQ(json(noDate.serializeToDictionary()), R"({"type":"dateTime"})");
    noDate.setValue(fixedTime());
    EXPECT_EQ(json(noDate.serializeToDictionary()), R"({"type":"dateTime","value":"2024-03-05T06:07:08.009Z"})");
    EXPECT_EQ(json(TLMBooleanTypedProperty().serializeToDictionary()), R"({"type":"boolean","value":false})");
    EXPECT_EQ(json(TLMDoubleTypedProperty().serializeToDictionary()), R"({"type":"double","value":0.0})");
    EXPECT_EQ(json(TLMLongTypedProperty().serializeToDictionary()), R"({"type":"long","value":0})");

    TLMLongTypedProperty five;
    five.setName("a");
    five.setValue(5);
    TLMLongTypedProperty otherFive;
    otherFive.setName("b");
    otherFive.setValue(5);
    TLMDoubleTypedProperty doubleFive;
    doubleFive.setValue(5);
    EXPECT_TRUE(five.isEqual(otherFive));  // names take no part
    EXPECT_FALSE(five.isEqual(doubleFive));
    EXPECT_FALSE(doubleFive.isEqual(five));
    TLMDoubleTypedProperty notANumber;
    notANumber.setValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(notANumber.isEqual(notANumber));

    // An event archived with its typed properties reads back whole.
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
    TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses();
    auto properties = std::make_shared<TLMEventProperties>();
    properties->setString("text", "s").setBool(true, "b").setDouble(2.5, "d").setInt64(-7, "l");
    properties->setDate(fixedTime(), "t");
    auto event = eventWith(properties);
    event->setDevice(tlmtest::validDevice());
    const auto bytes = TLMUtility::archiveKeyedData(TLMArchiveValue(event));
    ASSERT_TRUE(bytes.has_value());
    const auto restored = TLMUtility::unarchiveKeyedData(*bytes);
    ASSERT_TRUE(restored && restored->asObject());
    auto back = std::dynamic_pointer_cast<TLMEventLog>(*restored->asObject());
    ASSERT_NE(back, nullptr);
    ASSERT_NE(back->typedProperties(), nullptr);
    EXPECT_TRUE(back->typedProperties()->isEqual(*properties));
    EXPECT_EQ(json(back->serializeToDictionary()), json(event->serializeToDictionary()));
    EXPECT_EQ(json(properties->serializeToArray()),
              R"([{"type":"boolean","name":"b","value":true},{"type":"double","name":"d","value":2.5},)"
              R"({"type":"long","name":"l","value":-7},{"type":"string","name":"s","value":"text"},)"
              R"({"type":"dateTime","name":"t","value":"2024-03-05T06:07:08.009Z"}])");
}

TEST(TLMEventProperties, SettersRefuseWhatCannotBeSent) {
    TLMLogCapture capture;
    TLMEventProperties properties;
    properties.setDouble(std::numeric_limits<double>::infinity(), "inf");
    properties.setDouble(std::nan(""), "nan");
    properties.setString(std::nullopt, "none");
    properties.setDate(std::nullopt, "noDate");
    properties.setInt64(1, "");
    EXPECT_TRUE(properties.isEmpty());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                   "Double value for property 'inf' must be finite (cannot be INFINITY or NAN)."));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                   "Double value for property 'nan' must be finite (cannot be INFINITY or NAN)."));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Value cannot be null. Property will not be added."));
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Key cannot be null. Property will not be added."));
    EXPECT_EQ(capture.linesAt(TLMLogLevelError).size(), 5u);

    properties.setDouble(0.0, "zero").setString("", "empty").setInt64(1, "same");
    properties.setBool(true, "same");  // replaces the long
    const auto held = properties.properties();
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held.at("same")->type(), "boolean");

    TLMEventProperties other;
    other.setString("theirs", "zero").setString("new", "added");
    properties.mergeEventProperties(other);
    EXPECT_EQ(properties.properties().at("zero")->type(), "string");
    EXPECT_EQ(properties.count(), 4u);
}

TEST(TLMEventLog, TypedPropertiesBecomeTheDataAndMetadataTrees) {
    auto properties = std::make_shared<TLMEventProperties>();
    properties->setInt64(5, "a.b").setDouble(1.5, "a.c").setDate(fixedTime(), "when").setBool(true, "x.y");
    properties->setString("v", "s");
    auto log = converted(*eventWith(properties));
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->name(), "opened");
    EXPECT_EQ(dataJson(*log), R"({"a":{"b":5,"c":1.5},"s":"v","when":"2024-03-05T06:07:08.009Z","x":{"y":true}})");
    EXPECT_EQ(metadataJson(*log), R"({"f":{"a":{"f":{"b":4,"c":6}},"when":9}})");

    // No typed properties: neither data nor metadata.
    auto bare = converted(*eventWith(nullptr));
    EXPECT_EQ(bare->data(), nullptr);
    EXPECT_EQ(bare->ext()->metadataExt(), nullptr);
}

TEST(TLMEventLog, ConflictingNamesKeepTheFirstAndLeaveNoMetadataBehind) {
    TLMLogCapture capture;
    auto textFirst = std::make_shared<TLMEventProperties>();
    textFirst->setString("text", "a").setInt64(5, "a.b");  // "a" comes first in the name order
    auto log = converted(*eventWith(textFirst));
    EXPECT_EQ(dataJson(*log), R"({"a":"text"})");
    EXPECT_EQ(metadataJson(*log), "<none>");
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, "Property key 'b' already has a value, choosing one."));

    capture.clear();
    auto longFirst = std::make_shared<TLMEventProperties>();
    longFirst->setInt64(5, "b.c").setInt64(6, "b.c.d");
    log = converted(*eventWith(longFirst));
    EXPECT_EQ(dataJson(*log), R"({"b":{"c":5}})");
    EXPECT_EQ(metadataJson(*log), R"({"f":{"b":{"f":{"c":4}}}})");
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, "Property key 'd' already has a value, choosing one."));

    capture.clear();
    auto nestedFirst = std::make_shared<TLMEventProperties>();
    nestedFirst->setInt64(1, "n").setDouble(2, "n.m");
    log = converted(*eventWith(nestedFirst));
    EXPECT_EQ(dataJson(*log), R"({"n":1})");
    EXPECT_EQ(metadataJson(*log), R"({"f":{"n":4}})");
}

TEST(TLMEventLog, BaseTypeAndBaseDataGoTogetherAndTheEventKeepsItsOwn) {
    struct Case {
        const char* name;
        std::function<void(TLMEventProperties&)> fill;
        const char* data;
        const char* warning;
    };
    const Case cases[] = {
        {"both", [](TLMEventProperties& p) { p.setString("T", "baseType").setString("z", "baseData.y"); },
         R"({"baseType":"T","baseData":{"y":"z"}})", nullptr},
        {"type alone", [](TLMEventProperties& p) { p.setString("T", "baseType").setInt64(1, "k"); }, R"({"k":1})",
         "baseType was set but baseData is missing."},
        {"data alone", [](TLMEventProperties& p) { p.setString("z", "baseData.y").setInt64(1, "k"); }, R"({"k":1})",
         "baseData was set but baseType is missing or invalid."},
        {"type not a text", [](TLMEventProperties& p) { p.setInt64(3, "baseType").setString("z", "baseData.y"); },
         "<none>", "baseData was set but baseType is missing or invalid."},
        {"type as object", [](TLMEventProperties& p) { p.setString("T", "baseType.x").setInt64(1, "k"); }, R"({"k":1})",
         "baseType must not be an object."},
        {"data as value",
         [](TLMEventProperties& p) {
             p.setString("T", "baseType").setString("v", "baseData").setString("z", "baseData.y");
         },
         R"({"baseType":"T","baseData":{"y":"z"}})", "baseData must be an object."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLMLogCapture capture;
        auto properties = std::make_shared<TLMEventProperties>();
        c.fill(*properties);
        const auto before = properties->properties();
        auto event = eventWith(properties);
        // Two targets convert the same event: both see every property.
        event->addTransmissionTargetToken("77777777-token");
        const auto logs = event->toUnifiedSchemaLogsWithFlags(TLMFlagsNormal);
        ASSERT_EQ(logs.size(), 2u);
        EXPECT_EQ(dataJson(*logs[0]), c.data);
        EXPECT_EQ(dataJson(*logs[1]), c.data);
        EXPECT_EQ(properties->properties(), before);
        if (c.warning != nullptr) {
            EXPECT_TRUE(capture.hasMessage(TLMLogLevelWarning, c.warning));
        }
    }
}
