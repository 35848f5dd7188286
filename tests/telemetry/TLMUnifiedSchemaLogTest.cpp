// The unified-schema log: its exact JSON line, its texts for time zones,
// systems and client versions, validity, equality, archives, and the
// conversion of every log kind into one unified-schema log per token.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/TLMTestRecords.h"

#include "platform/foundation/Bundle.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using tlmtest::fixedTime;

std::string json(const TLMAbstractLog& log) { return log.serializeLogWithPrettyPrinting(false).value_or("<none>"); }

std::shared_ptr<TLMUnifiedSchemaLog> archivedAndRead(const std::shared_ptr<TLMUnifiedSchemaLog>& log) {
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
    const auto bytes = TLMUtility::archiveKeyedData(log);
    if (!bytes) return nullptr;
    const auto value = TLMUtility::unarchiveKeyedData(*bytes);
    if (!value || !value->asObject()) return nullptr;
    return std::dynamic_pointer_cast<TLMUnifiedSchemaLog>(*value->asObject());
}

// A log with every field and every extension set.
std::shared_ptr<TLMUnifiedSchemaLog> fullLog() {
    auto log = std::make_shared<TLMUnifiedSchemaLog>();
    log->setVer("3.0");
    log->setName("layout.opened");
    log->setTimestamp(fixedTime());
    log->setIKey("o:4dacd24d");
    log->setFlags(2);
    log->setPopSample(50);
    log->setCV("cv-1");
    // Fields of the base that a unified-schema line never carries.
    log->setType("event");
    log->setSid("session");
    log->setDevice(tlmtest::validDevice());

    auto ext = std::make_shared<TLMCSExtensions>();
    auto protocol = std::make_shared<TLMProtocolExtension>();
    protocol->setTicketKeys(std::vector<std::string>{"t1", "t2"});
    protocol->setDevMake("Maker");
    protocol->setDevModel("x86_64");
    ext->setProtocolExt(protocol);
    auto user = std::make_shared<TLMUserExtension>();
    user->setLocalId("c:alice");
    user->setLocale("de-DE");
    ext->setUserExt(user);
    auto os = std::make_shared<TLMOSExtension>();
    os->setName("Debian GNU/Linux");
    os->setVer("Version 12 (Build 6.1.0)");
    ext->setOsExt(os);
    auto app = std::make_shared<TLMAppExtension>();
    app->setAppId("I:com.vekmont.app");
    app->setVer("0.1.0");
    app->setName("Vekmont");
    app->setLocale("de");
    ext->setAppExt(app);
    auto net = std::make_shared<TLMNetExtension>();
    net->setProvider("Net");
    ext->setNetExt(net);
    auto sdk = std::make_shared<TLMSDKExtension>();
    sdk->setLibVer("telemetry.ios-1.0.0");
    sdk->setEpoch("E");
    sdk->setSeq(7);
    sdk->setInstallId(TLMUuidFromString("0a1b2c3d-4e5f-4061-8273-9495a6b7c8d9"));
    ext->setSdkExt(sdk);
    auto loc = std::make_shared<TLMLocExtension>();
    loc->setTz("+05:30");
    ext->setLocExt(loc);
    auto device = std::make_shared<TLMDeviceExtension>();
    device->setLocalId("d-1");
    ext->setDeviceExt(device);
    auto metadata = std::make_shared<TLMMetadataExtension>();
    TLMOrderedDictionary typeOfB;
    typeOfB.setObject(4, "b");
    TLMOrderedDictionary inA;
    inA.setObject(typeOfB, "f");
    TLMOrderedDictionary fields;
    fields.setObject(inA, "a");
    TLMOrderedDictionary tree;
    tree.setObject(fields, "f");
    metadata->setMetadata(tree);
    ext->setMetadataExt(metadata);
    log->setExt(ext);

    // Other keys first: the base keys still lead.
    TLMOrderedDictionary properties;
    properties.setObject("x", "other");
    TLMOrderedDictionary baseData;
    baseData.setObject(5, "b");
    properties.setObject(baseData, "baseData");
    properties.setObject("Layout", "baseType");
    auto data = std::make_shared<TLMCSData>();
    data->setProperties(properties);
    log->setData(data);
    return log;
}

const char* const kFullLogJson =
    R"({"ver":"3.0","name":"layout.opened","time":"2024-03-05T06:07:08.009Z","iKey":"o:4dacd24d","flags":2,)"
    R"("ext":{"metadata":{"f":{"a":{"f":{"b":4}}}},)"
    R"("protocol":{"ticketKeys":["t1","t2"],"devMake":"Maker","devModel":"x86_64"},)"
    R"("user":{"localId":"c:alice","locale":"de-DE"},"device":{"localId":"d-1"},)"
    R"j("os":{"name":"Debian GNU/Linux","ver":"Version 12 (Build 6.1.0)"},)j"
    R"("app":{"id":"I:com.vekmont.app","ver":"0.1.0","name":"Vekmont","locale":"de"},)"
    R"("net":{"provider":"Net"},)"
    R"("sdk":{"libVer":"telemetry.ios-1.0.0","epoch":"E","seq":7,"installId":"0A1B2C3D-4E5F-4061-8273-9495A6B7C8D9"},)"
    R"("loc":{"tz":"+05:30"}},)"
    R"("data":{"baseType":"Layout","baseData":{"b":5},"other":"x"}})";

}  // namespace

TEST(TLMUnifiedSchemaLog, ExactJsonLine) {
    auto log = fullLog();
    EXPECT_EQ(json(*log), kFullLogJson);

    // Flags 0, an empty device extension, an SDK extension with only a
    // sequence number of 0, and empty data leave their keys out.
    log->setFlags(0);
    log->ext()->setDeviceExt(std::make_shared<TLMDeviceExtension>());
    auto sdk = std::make_shared<TLMSDKExtension>();
    sdk->setSeq(0);
    log->ext()->setSdkExt(sdk);
    log->setData(std::make_shared<TLMCSData>());
    const std::string line = json(*log);
    EXPECT_EQ(line.find("\"flags\""), std::string::npos);
    EXPECT_EQ(line.find("\"device\""), std::string::npos);
    EXPECT_EQ(line.find("\"sdk\""), std::string::npos);
    EXPECT_EQ(line.find("\"data\""), std::string::npos);

    // Only what is set: no extensions at all is an empty "ext".
    TLMUnifiedSchemaLog bare;
    bare.setVer("3.0");
    bare.setName("n");
    bare.setTimestamp(fixedTime());
    bare.setExt(std::make_shared<TLMCSExtensions>());
    EXPECT_EQ(json(bare), R"({"ver":"3.0","name":"n","time":"2024-03-05T06:07:08.009Z","ext":{}})");
}

TEST(TLMUnifiedSchemaLog, ValidityEqualityAndArchive) {
    TLMLogCapture capture;
    TLMUnifiedSchemaLog log;
    log.setTimestamp(fixedTime());
    log.setVer("3.0");
    EXPECT_FALSE(log.isValid());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose, "TLMUnifiedSchemaLog: \"name\" is not valid."));
    // No type and no device are needed, nor extensions or data.
    log.setName("n");
    EXPECT_TRUE(log.isValid());
    log.setVer("");
    EXPECT_FALSE(log.isValid());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelVerbose, "TLMUnifiedSchemaLog: \"ver\" is not valid."));

    // Every field and the base's survive the archive; popSample and cV too,
    // though never written to JSON. Trees read back with sorted keys, still
    // equal as dictionaries, and the leading base keys keep their place.
    auto full = fullLog();
    EXPECT_EQ(json(*full).find("cv-1"), std::string::npos);
    EXPECT_EQ(json(*full).find("popSample"), std::string::npos);
    const auto read = archivedAndRead(full);
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->isEqual(*full));
    EXPECT_EQ(read->popSample(), 50);
    EXPECT_EQ(read->cV(), "cv-1");
    EXPECT_EQ(read->sid(), "session");
    EXPECT_EQ(json(*read), kFullLogJson);

    // One differing field in a log or deep in an extension makes them
    // unequal; the tokens do not count.
    auto other = archivedAndRead(full);
    other->setPopSample(51);
    EXPECT_FALSE(other->isEqual(*full));
    other = archivedAndRead(full);
    other->ext()->sdkExt()->setSeq(8);
    EXPECT_FALSE(other->isEqual(*full));
    other = archivedAndRead(full);
    other->ext()->setLocExt(nullptr);
    EXPECT_FALSE(other->isEqual(*full));
    other = archivedAndRead(full);
    other->addTransmissionTargetToken("another-token");
    EXPECT_TRUE(other->isEqual(*full));

    // A data tree holding something JSON has no kind for (a date) is a
    // forged archive, not a missing field.
    std::vector<std::uint8_t> forged{'T', 'L', 'M', 'A', 1, 0x0B};
    const auto text = [&forged](const std::string& value) {
        forged.insert(forged.end(), {0, 0, 0, static_cast<std::uint8_t>(value.size())});
        forged.insert(forged.end(), value.begin(), value.end());
    };
    text("TLMCSData");
    forged.insert(forged.end(), {0, 0, 0, 1});
    text("properties");
    forged.insert(forged.end(), {0x0A, 0, 0, 0, 1});
    text("when");
    forged.insert(forged.end(), {0x07, 0, 0, 0, 0, 0, 0, 0, 1});
    TLMAllowedClasses allowed;
    allowed.add({TLMArchiveClass::of<TLMCSData>(), TLMArchiveClass::dictionary(), TLMArchiveClass::date(),
                 TLMArchiveClass::number()});
    std::string error;
    EXPECT_FALSE(TLMKeyedUnarchiver::unarchivedValue(forged.data(), forged.size(), allowed, &error));
    EXPECT_EQ(error, "TLMCSData: \"properties\" is not a dictionary of JSON values");
    // The same tree with a number reads.
    forged.back() = 0;
    forged[forged.size() - 9] = 0x03;
    EXPECT_TRUE(TLMKeyedUnarchiver::unarchivedValue(forged.data(), forged.size(), allowed, &error)) << error;
}

TEST(TLMUnifiedSchemaLog, TimeZoneTexts) {
    struct Case {
        std::int64_t minutes;
        const char* text;
    };
    for (const Case& c : std::vector<Case>{{0, "+00:00"},
                                           {120, "+02:00"},
                                           {345, "+05:45"},
                                           {330, "+05:30"},
                                           {-330, "-05:30"},
                                           {30, "+00:30"},
                                           // West of UTC by less than an hour keeps its sign.
                                           {-1, "-00:01"},
                                           {-30, "-00:30"},
                                           {-59, "-00:59"},
                                           {-60, "-01:00"},
                                           {-61, "-01:01"},
                                           {-720, "-12:00"},
                                           {840, "+14:00"}}) {
        EXPECT_EQ(TLMAbstractLog::convertTimeZoneOffsetToISO8601(c.minutes), c.text) << c.minutes;
    }
}

TEST(TLMUnifiedSchemaLog, OsAndSdkTexts) {
    EXPECT_EQ(TLMAbstractLog::combineOsVersion("17.2", "21C62"), "Version 17.2 (Build 21C62)");
    EXPECT_EQ(TLMAbstractLog::combineOsVersion("17.2", ""), "Version 17.2");
    // A build without a version never carries a null.
    EXPECT_EQ(TLMAbstractLog::combineOsVersion("", "21C62"), "Build 21C62");
    EXPECT_EQ(TLMAbstractLog::combineOsVersion("", ""), "");

    EXPECT_EQ(TLMAbstractLog::combineSDKLibVer("lib.ios", "1.2.3"), "lib.ios-1.2.3");
    EXPECT_EQ(TLMAbstractLog::combineSDKLibVer("lib.ios", ""), "");
    EXPECT_EQ(TLMAbstractLog::combineSDKLibVer("", "1.2.3"), "");
}

TEST(TLMUnifiedSchemaLog, EveryLogKindConvertsOncePerToken) {
    platform::Bundle::main()->setPreferredLanguage("de");
    auto device = tlmtest::validDevice();
    device->setOemName("Maker");
    device->setModel("x86_64");
    device->setOsBuild("6.1.0");
    device->setCarrierName("Net");
    device->setAppNamespace("com.vekmont.app");
    device->setTimeZoneOffset(-30);

    auto start = std::make_shared<TLMStartServiceLog>();
    start->setServices(std::vector<std::string>{"Analytics"});
    auto withProperties = std::make_shared<TLMLogWithProperties>();
    withProperties->setType("page");
    withProperties->setProperties({{"k", "v"}});
    auto event = std::make_shared<TLMEventLog>();
    event->setName("opened");
    event->setEventId("E1");
    const std::vector<std::shared_ptr<TLMAbstractLog>> kinds{start, withProperties, event};

    for (const auto& log : kinds) {
        SCOPED_TRACE(log->className());
        log->setTimestamp(fixedTime());
        log->setDevice(device);
        log->setUserId("alice");
        EXPECT_TRUE(log->toUnifiedSchemaLogsWithFlags(TLMFlagsNormal).empty());

        for (const char* token : {"aaaa-1111", "bbbb-2222", "cccc-3333"}) log->addTransmissionTargetToken(token);
        const auto converted = log->toUnifiedSchemaLogsWithFlags(TLMFlagsCritical);
        ASSERT_EQ(converted.size(), 3u);
        std::set<std::string> seen;
        for (const auto& unified : converted) {
            const auto tokens = unified->transmissionTargetTokens();
            ASSERT_TRUE(tokens && tokens->size() == 1);
            const std::string& token = *tokens->begin();
            seen.insert(token);
            EXPECT_EQ(unified->iKey(), "o:" + token.substr(0, 4));
            EXPECT_EQ(unified->timestamp(), fixedTime());
            EXPECT_EQ(unified->flags(), TLMFlagsCritical);
        }
        EXPECT_EQ(seen, (std::set<std::string>{"aaaa-1111", "bbbb-2222", "cccc-3333"}));

        // Without a name the converted log is not sendable until a kind
        // that has one sets it, as an event does.
        const std::string name = log == event ? R"("name":"opened",)" : "";
        EXPECT_EQ(json(*converted[0]),
                  R"({"ver":"3.0",)" + name +
                      R"("time":"2024-03-05T06:07:08.009Z","iKey":"o:aaaa","flags":2,"ext":{)"
                      R"("protocol":{"devMake":"Maker","devModel":"x86_64"},)"
                      R"("user":{"localId":"c:alice","locale":"de-DE"},)"
                      R"j("os":{"name":"Debian GNU/Linux","ver":"Version 12 (Build 6.1.0)"},)j"
                      R"("app":{"id":"I:com.vekmont.app","ver":"0.1.0","locale":"de"},)"
                      R"("net":{"provider":"Net"},"sdk":{"libVer":"telemetry.ios-1.0.0"},"loc":{"tz":"-00:30"}}})");
        EXPECT_NE(converted[0]->ext()->deviceExt(), nullptr);
    }

    // A prefixed user id passes as it is; a token whose key part is empty
    // gives no iKey.
    auto log = std::make_shared<TLMStartServiceLog>();
    log->setTimestamp(fixedTime());
    log->setDevice(device);
    log->setUserId("c:abc");
    log->addTransmissionTargetToken("-keyless");
    const auto converted = log->toUnifiedSchemaLogsWithFlags(TLMFlagsNone);
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_EQ(converted[0]->ext()->userExt()->localId(), "c:abc");
    EXPECT_EQ(converted[0]->iKey(), "");
    EXPECT_EQ(json(*converted[0]).find("\"flags\""), std::string::npos);

    // Without a device record or user: no app id of "I:" alone, no time
    // zone made up, no user id.
    log->setDevice(nullptr);
    log->setUserId("");
    const auto bare = log->toUnifiedSchemaLogsWithFlags(TLMFlagsNormal);
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0]->ext()->serializeToDictionary().jsonText(false).value_or(""), R"({"app":{"locale":"de"}})");
}

TEST(TLMUnifiedSchemaLog, DataIsReadWholeWhileAnotherThreadSetsIt) {
    // Each tree holds "n" and a list of n entries: a reader sees one tree or
    // the other, never parts of both (run under the thread sanitizer too).
    auto data = std::make_shared<TLMCSData>();
    auto treeOf = [](int n) {
        TLMOrderedDictionary tree;
        tree.setObject(n, "n");
        tree.setObject(TLMJsonValue::Array(static_cast<std::size_t>(n), TLMJsonValue(n)), "list");
        return tree;
    };
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int n = 1; n <= 2000; ++n) data->setProperties(treeOf(n % 7 + 1));
        done = true;
    });
    int reads = 0;
    while (!done || reads == 0) {
        const TLMOrderedDictionary tree = data->serializeToDictionary();
        ++reads;
        if (tree.count() == 0) continue;
        const std::int64_t n = *tree.objectForKey("n")->asInteger();
        ASSERT_EQ(tree.objectForKey("list")->asArray()->size(), static_cast<std::size_t>(n));
    }
    writer.join();
}
