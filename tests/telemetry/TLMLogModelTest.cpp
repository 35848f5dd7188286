// The log records: their exact JSON, validity with its messages, equality,
// keyed archives and the batch that carries them.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"

#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Model/TLMLogContainer.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/core/Model/TLMHistoryInfo.h"
#include "telemetry/core/Model/TLMLogWithProperties.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using tlmtest::fixedTime;
using tlmtest::kValidDeviceJson;
using tlmtest::validDevice;

std::shared_ptr<TLMLogWithProperties> minimalLog() {
    auto log = std::make_shared<TLMLogWithProperties>();
    log->setType("event");
    log->setTimestamp(fixedTime());
    log->setDevice(validDevice());
    return log;
}

std::shared_ptr<TLMStartServiceLog> startServiceLog(std::optional<std::vector<std::string>> services) {
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setTimestamp(fixedTime());
    log->setDevice(validDevice());
    log->setServices(std::move(services));
    return log;
}

std::string json(const TLMAbstractLog& log) { return log.serializeLogWithPrettyPrinting(false).value_or("<none>"); }

// Archived and read back through the client's allowed classes.
template <typename T>
std::shared_ptr<T> archivedAndRead(const std::shared_ptr<T>& log) {
    const auto bytes = TLMUtility::archiveKeyedData(log);
    if (!bytes) return nullptr;
    const auto value = TLMUtility::unarchiveKeyedData(*bytes);
    if (!value || !value->asObject()) return nullptr;
    return std::dynamic_pointer_cast<T>(*value->asObject());
}

}  // namespace

TEST(TLMLogModel, JsonOfEveryLogKind) {
    // Only what is set, in a fixed order, never null.
    auto log = minimalLog();
    EXPECT_EQ(json(*log), std::string(R"({"type":"event","timestamp":"2024-03-05T06:07:08.009Z","device":)") +
                              kValidDeviceJson + "}");

    log->setSid("5C7E5A2E-0001");
    log->setDistributionGroupId("group");
    log->setUserId("c:alice");
    log->setDataResidencyRegion("eu");
    log->setTag(std::make_shared<int>(1));
    log->addTransmissionTargetToken("target-token");
    log->setProperties({{"URL", "https://layouts.example/api/v1/layouts?offset=20"}, {"Path", "a/b"}});
    EXPECT_EQ(json(*log), std::string(R"({"type":"event","timestamp":"2024-03-05T06:07:08.009Z",)") +
                              R"("sid":"5C7E5A2E-0001","distributionGroupId":"group","userId":"c:alice","device":)" +
                              kValidDeviceJson +
                              R"(,"dataResidencyRegion":"eu","properties":{"Path":"a/b",)"
                              R"("URL":"https://layouts.example/api/v1/layouts?offset=20"}})");

    // Empty properties write no key.
    log->setProperties({});
    EXPECT_EQ(json(*log).find("properties"), std::string::npos);

    // The start-service log: both keys with services, neither without.
    auto started = startServiceLog(std::vector<std::string>{"Crashes", "Analytics"});
    started->setUnifiedCollectorEnabled(true);
    EXPECT_EQ(json(*started),
              std::string(R"({"type":"startService","timestamp":"2024-03-05T06:07:08.009Z","device":)") +
                  kValidDeviceJson + R"(,"services":["Crashes","Analytics"],)" +
                  R"("isUnifiedCollectorEnabled":true})");
    started->setServices(std::vector<std::string>{});
    started->setUnifiedCollectorEnabled(false);
    EXPECT_NE(json(*started).find(R"("services":[],"isUnifiedCollectorEnabled":false})"), std::string::npos);
    auto withoutServices = startServiceLog(std::nullopt);
    withoutServices->setUnifiedCollectorEnabled(true);
    EXPECT_EQ(json(*withoutServices),
              std::string(R"({"type":"startService","timestamp":"2024-03-05T06:07:08.009Z","device":)") +
                  kValidDeviceJson + "}");

    // A device with every field: the wrapper's keys first, then the table's
    // order; numbers as numbers.
    TLMDevice device;
    device.setWrapperSdkVersion("2.0");
    device.setWrapperSdkName("wrapper");
    device.setWrapperRuntimeVersion("rt");
    device.setHotUpdateReleaseLabel("v1");
    device.setHotUpdateDeploymentKey("key");
    device.setHotUpdatePackageHash("hash");
    device.setAppNamespace("com.vekmont.app");
    device.setAppBuild("1");
    device.setCarrierCountry("de");
    device.setCarrierName("Net");
    device.setAppVersion("0.1.0");
    device.setScreenSize("1920x1080");
    device.setTimeZoneOffset(-330);
    device.setLocale("sr-Latn_RS");
    device.setOsApiLevel(12);
    device.setOsBuild("6.1.0-18-amd64");
    device.setOsVersion("12");
    device.setOsName("Debian GNU/Linux");
    device.setOemName("Maker");
    device.setModel("x86_64");
    device.setSdkVersion("1.0.0");
    device.setSdkName("telemetry.ios");
    EXPECT_EQ(device.serializeToDictionary().jsonText(false).value_or(""),
              R"({"wrapperSdkVersion":"2.0","wrapperSdkName":"wrapper","wrapperRuntimeVersion":"rt",)"
              R"("hotUpdateReleaseLabel":"v1","hotUpdateDeploymentKey":"key","hotUpdatePackageHash":"hash",)"
              R"("sdkName":"telemetry.ios","sdkVersion":"1.0.0","model":"x86_64","oemName":"Maker",)"
              R"("osName":"Debian GNU/Linux","osVersion":"12","osBuild":"6.1.0-18-amd64","osApiLevel":12,)"
              R"("locale":"sr-Latn_RS","timeZoneOffset":-330,"screenSize":"1920x1080","appVersion":"0.1.0",)"
              R"("carrierName":"Net","carrierCountry":"de","appBuild":"1","appNamespace":"com.vekmont.app"})");
    EXPECT_EQ(device.description(), device.serializeToDictionary().jsonText(false));
}

TEST(TLMLogModel, ContainerBodyAndItsFailure) {
    auto first = minimalLog();
    first->setProperties({{"Path", "/Documents/Layout 1.vkm"}});
    auto second = startServiceLog(std::vector<std::string>{"Analytics"});
    TLMLogContainer container("batch-1", {first, second});
    EXPECT_EQ(container.serializeLog().value_or(""), "{\"logs\":[" + json(*first) + "," + json(*second) + "]}");
    EXPECT_NE(container.serializeLog()->find(R"("Path":"/Documents/Layout 1.vkm")"), std::string::npos);

    TLMLogContainer small("batch-2", {startServiceLog(std::vector<std::string>{"A"})});
    small.logs()[0]->setDevice(nullptr);
    EXPECT_EQ(small.serializeLogWithPrettyPrinting(true).value_or(""),
              "{\n"
              "  \"logs\": [\n"
              "    {\n"
              "      \"type\": \"startService\",\n"
              "      \"timestamp\": \"2024-03-05T06:07:08.009Z\",\n"
              "      \"services\": [\n"
              "        \"A\"\n"
              "      ],\n"
              "      \"isUnifiedCollectorEnabled\": false\n"
              "    }\n"
              "  ]\n"
              "}");

    // A log JSON cannot hold is dropped alone and the others make the body,
    // compact or pretty; with no log left there is no body, never an empty
    // one. One error per batch gives the count.
    TLMLogCapture capture;
    auto broken = minimalLog();
    broken->setProperties({{"Name", "Gleis \xFF"}});
    TLMLogContainer mixed("batch-3", {first, broken, second});
    EXPECT_EQ(mixed.serializeLog().value_or(""), "{\"logs\":[" + json(*first) + "," + json(*second) + "]}");
    EXPECT_EQ(mixed.serializeLogWithPrettyPrinting(true),
              TLMLogContainer("batch-3", {first, second}).serializeLogWithPrettyPrinting(true));
    EXPECT_EQ(mixed.unwritableLogs(), (std::vector<std::shared_ptr<TLMAbstractLog>>{broken}));
    TLMLogContainer failing("batch-4", {broken, broken});
    EXPECT_FALSE(failing.serializeLog().has_value());
    EXPECT_FALSE(failing.serializeLogWithPrettyPrinting(true).has_value());
    EXPECT_FALSE(broken->serializeLogWithPrettyPrinting(false).has_value());
    std::vector<std::string> errors;
    for (const TLMCapturedLine& line : capture.linesAt(TLMLogLevelError)) {
        EXPECT_EQ(line.tag, "Telemetry");
        errors.push_back(line.message);
    }
    // The single log fails silently.
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "Couldn't serialize 1 of 3 log(s) of batch Id batch-3 to json, dropped: a text is not UTF-8",
                          "Couldn't serialize 2 of 2 log(s) of batch Id batch-4 to json, dropped: a text is not UTF-8",
                      }));
}

TEST(TLMLogModel, ValidityChecksInOrderAndNamesTheField) {
    TLMLogCapture capture;
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    auto log = std::make_shared<TLMLogWithProperties>();
    EXPECT_FALSE(log->isValid());
    log->setType("event");
    EXPECT_FALSE(log->isValid());
    log->setTimestamp(fixedTime());
    EXPECT_FALSE(log->isValid());
    auto device = validDevice();
    device->setTimeZoneOffset(std::nullopt);
    log->setDevice(device);
    EXPECT_FALSE(log->isValid());
    device->setTimeZoneOffset(0);
    EXPECT_TRUE(log->isValid());

    EXPECT_FALSE(TLMLogContainer("empty", {}).isValid());
    EXPECT_TRUE(TLMLogContainer("one", {log}).isValid());
    EXPECT_FALSE(TLMLogContainer("mixed", {log, std::make_shared<TLMStartServiceLog>(), log}).isValid());

    std::vector<std::string> messages;
    for (const TLMCapturedLine& line : capture.linesAt(TLMLogLevelVerbose)) {
        EXPECT_EQ(line.tag, "Telemetry");
        messages.push_back(line.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "TLMLogWithProperties: \"type\" is not valid.",
                            "TLMLogWithProperties: \"timestamp\" is not valid.",
                            "TLMLogWithProperties: \"device\" is not valid.",
                            "TLMDevice: \"timeZoneOffset\" is not valid.",
                            "TLMLogWithProperties: \"device\" is not valid.",
                            "TLMLogContainer: there are no logs in container.",
                            "TLMStartServiceLog: \"timestamp\" is not valid.",
                        }));
}

TEST(TLMLogModel, EqualityFieldByField) {
    auto a = minimalLog();
    auto b = minimalLog();
    EXPECT_TRUE(a->isEqual(*b));

    // Tokens take no part; the tag does, by identity.
    a->addTransmissionTargetToken("one");
    EXPECT_TRUE(a->isEqual(*b));
    auto tag = std::make_shared<int>(7);
    a->setTag(tag);
    EXPECT_FALSE(a->isEqual(*b));
    b->setTag(std::make_shared<int>(7));
    EXPECT_FALSE(a->isEqual(*b));
    b->setTag(tag);
    EXPECT_TRUE(a->isEqual(*b));

    // The device by its own equality, absent on both sides equal.
    b->device()->setCarrierName("Net");
    EXPECT_FALSE(a->isEqual(*b));
    b->setDevice(validDevice());
    EXPECT_TRUE(a->isEqual(*b));
    a->setDevice(nullptr);
    EXPECT_FALSE(a->isEqual(*b));
    b->setDevice(nullptr);
    EXPECT_TRUE(a->isEqual(*b));

    for (auto change : std::vector<std::function<void(TLMLogWithProperties&)>>{
             [](TLMLogWithProperties& log) { log.setType("page"); },
             [](TLMLogWithProperties& log) { log.setTimestamp(fixedTime() + std::chrono::milliseconds(1)); },
             [](TLMLogWithProperties& log) { log.setSid("s"); },
             [](TLMLogWithProperties& log) { log.setDistributionGroupId("g"); },
             [](TLMLogWithProperties& log) { log.setUserId("u"); },
             [](TLMLogWithProperties& log) { log.setDataResidencyRegion("r"); },
             [](TLMLogWithProperties& log) {
                 log.setProperties({{"k", "v"}});
             },
         }) {
        auto changed = minimalLog();
        change(*changed);
        EXPECT_FALSE(minimalLog()->isEqual(*changed));
        EXPECT_FALSE(changed->isEqual(*minimalLog()));
    }

    // Each class asks for its own class; the unified-collector flag is not
    // compared, the services are.
    auto started = startServiceLog(std::vector<std::string>{"Analytics"});
    auto other = startServiceLog(std::vector<std::string>{"Analytics"});
    other->setUnifiedCollectorEnabled(true);
    EXPECT_TRUE(started->isEqual(*other));
    other->setServices(std::nullopt);
    EXPECT_FALSE(started->isEqual(*other));
    started->setType("event");
    EXPECT_FALSE(started->isEqual(*minimalLog()));
    EXPECT_FALSE(minimalLog()->isEqual(*started));

    TLMWrapperSdk wrapper;
    TLMDevice device;
    EXPECT_TRUE(device.isEqual(TLMDevice()));
    EXPECT_FALSE(device.isEqual(wrapper));
    EXPECT_TRUE(wrapper.isEqual(device));  // any wrapper record compares as one
}

TEST(TLMLogModel, TokensAreReplacedNeverChangedInPlace) {
    auto log = minimalLog();
    EXPECT_EQ(log->transmissionTargetTokens(), nullptr);
    log->addTransmissionTargetToken("a");
    const auto held = log->transmissionTargetTokens();
    log->addTransmissionTargetToken("b");
    log->addTransmissionTargetToken("a");
    EXPECT_EQ(*held, (TLMAbstractLog::TargetTokens{"a"}));
    EXPECT_EQ(*log->transmissionTargetTokens(), (TLMAbstractLog::TargetTokens{"a", "b"}));
}

TEST(TLMLogModel, ArchivesOfEveryLogKindReadBackEqual) {
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
    auto log = minimalLog();
    log->setSid("sid");
    log->setDistributionGroupId("group");
    log->setUserId("user");
    log->setDataResidencyRegion("eu");
    log->setProperties({{"a", "1"}, {"b", ""}});
    log->device()->setOsApiLevel(-3);
    log->device()->setWrapperSdkName("wrapper");
    log->addTransmissionTargetToken("token");
    auto back = archivedAndRead(log);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isEqual(*log));
    EXPECT_EQ(json(*back), json(*log));
    EXPECT_EQ(back->transmissionTargetTokens(), nullptr);  // kept apart by the database

    auto started = startServiceLog(std::vector<std::string>{"Crashes", "Analytics"});
    started->setUnifiedCollectorEnabled(true);
    auto startedBack = archivedAndRead(started);
    ASSERT_NE(startedBack, nullptr);
    EXPECT_TRUE(startedBack->isEqual(*started));
    EXPECT_TRUE(startedBack->isUnifiedCollectorEnabled());
    EXPECT_EQ(json(*startedBack), json(*started));
    auto absentServices = archivedAndRead(startServiceLog(std::nullopt));
    ASSERT_NE(absentServices, nullptr);
    EXPECT_FALSE(absentServices->services().has_value());

    // A log without device or timestamp keeps them absent.
    auto bare = std::make_shared<TLMLogWithProperties>();
    bare->setType("event");
    auto bareBack = archivedAndRead(bare);
    ASSERT_NE(bareBack, nullptr);
    EXPECT_EQ(bareBack->device(), nullptr);
    EXPECT_FALSE(bareBack->timestamp().has_value());

    auto device = archivedAndRead(validDevice());
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->isEqual(*validDevice()));
    auto entry = archivedAndRead(std::make_shared<TLMHistoryInfo>(fixedTime()));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->timestamp(), fixedTime());

    // A class the client does not restore.
    TLMLogCapture capture;
    auto event = std::make_shared<TLMEventLog>();
    EXPECT_EQ(archivedAndRead(event), nullptr);
    ASSERT_EQ(capture.linesAt(TLMLogLevelError).size(), 1u);
    EXPECT_EQ(capture.linesAt(TLMLogLevelError)[0].message,
              "Unarchiving NSData failed with error: class \"TLMEventLog\" is not allowed");
}
