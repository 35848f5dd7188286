// The client's settings behind their prefix, and the one-time move of the
// keys earlier releases used.

#include "tests/telemetry/TLMLogCapture.h"

#include "platform/foundation/UserDefaults.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include <gtest/gtest.h>

using platform::UserDefaults;
using platform::Value;

namespace {

std::optional<Value> stored(const std::string& key) { return UserDefaults::standard().object(key); }

}  // namespace

TEST(TLMTelemetryUserDefaults, KeysLiveBehindThePrefix) {
    auto& defaults = TLMTelemetryUserDefaults::shared();
    EXPECT_EQ(TLMTelemetryUserDefaults::getTelemetryKeyFrom("InstallId"), "TLTelemetryInstallId");
    UserDefaults::standard().setObject("InstallId", Value("the app's own"));
    EXPECT_FALSE(defaults.objectForKey("InstallId").has_value());
    defaults.setObject(Value("5C7E5A2E"), "InstallId");
    EXPECT_EQ(stored("TLTelemetryInstallId"), Value("5C7E5A2E"));
    EXPECT_EQ(stored("InstallId"), Value("the app's own"));
    defaults.removeObjectForKey("InstallId");
    EXPECT_FALSE(stored("TLTelemetryInstallId").has_value());
}

TEST(TLMTelemetryUserDefaults, MigrationMovesOldKeysOncePerService) {
    TLMLogCapture capture;
    auto& app = UserDefaults::standard();
    auto& defaults = TLMTelemetryUserDefaults::shared();
    app.setObject("oldSingle", Value(Value::Data{1, 2}));
    app.setObject("oldFamily", Value(1));
    app.setObject("oldFamily:Analytics", Value(2));
    app.setObject("oldFamilyCrashes", Value(3));
    app.setObject("oldFamil", Value("not of the family"));
    app.setObject("same", Value("kept"));
    const std::map<std::string, TLMUserDefaultsOldKey> table{
        {"NewSingle", "oldSingle"},
        {"NewFamily", TLMUserDefaultsPrefixKey("oldFamily")},
        {"NewAbsent", "oldAbsent"},
        {"same", "same"},
    };
    defaults.migrateKeys(table, "Service");

    EXPECT_EQ(stored("NewSingle"), Value(Value::Data{1, 2}));
    EXPECT_EQ(stored("NewFamily"), Value(1));
    EXPECT_EQ(stored("NewFamily:Analytics"), Value(2));
    EXPECT_EQ(stored("NewFamilyCrashes"), Value(3));
    for (const char* moved : {"oldSingle", "oldFamily", "oldFamily:Analytics", "oldFamilyCrashes"}) {
        EXPECT_FALSE(stored(moved).has_value()) << moved;
    }
    EXPECT_EQ(stored("oldFamil"), Value("not of the family"));
    EXPECT_FALSE(stored("NewAbsent").has_value());
    EXPECT_EQ(stored("same"), Value("kept"));
    EXPECT_EQ(stored("TLTelemetry310ServiceUserDefaultsMigratedKey"), Value(true));

    // Persisted, and never again for this service, even with old keys back.
    app.reload();
    EXPECT_EQ(stored("NewFamily:Analytics"), Value(2));
    app.setObject("oldSingle", Value("again"));
    defaults.migrateKeys(table, "Service");
    EXPECT_EQ(stored("oldSingle"), Value("again"));
    EXPECT_EQ(stored("NewSingle"), Value(Value::Data{1, 2}));
    // Another service has a marker of its own.
    defaults.migrateKeys({{"OtherSingle", "oldSingle"}}, "Other");
    EXPECT_EQ(stored("OtherSingle"), Value("again"));

    std::vector<std::string> messages;
    for (const auto& line : capture.linesAt(TLMLogLevelVerbose)) messages.push_back(line.message);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Migrating the old NSDefaults keys to new ones.",
                            "Migrating key oldFamily -> NewFamily",
                            "Migrating key oldFamily:Analytics -> NewFamily:Analytics",
                            "Migrating key oldFamilyCrashes -> NewFamilyCrashes",
                            "Migrating key oldSingle -> NewSingle",
                            "Migrating the old NSDefaults keys to new ones.",
                            "Migrating key oldSingle -> OtherSingle",
                        }));
}

TEST(TLMTelemetryUserDefaults, TheClientAndAnalyticsMoveTheirKeysWhenMade) {
    auto& app = UserDefaults::standard();
    app.setObject("TLInstallId", Value("5C7E5A2E-0000-4000-8000-000000000001"));
    app.setObject("TLTelemetryIsEnabled", Value(false));
    app.setObject("TLChannelStartTimer:Analytics", Value(Value::Date{}));
    app.setObject("SessionIdHistory", Value(Value::Data{7}));
    app.setObject("kTLAnalyticsIsEnabledKey", Value(false));
    app.synchronize();

    TLMTelemetry::sharedInstance();
    TLMAnalytics::sharedInstance();
    EXPECT_EQ(stored("TLTelemetryInstallId"), Value("5C7E5A2E-0000-4000-8000-000000000001"));
    EXPECT_EQ(stored("TLTelemetryTelemetryIsEnabled"), Value(false));
    EXPECT_EQ(stored("TLTelemetryChannelStartTimer:Analytics"), Value(Value::Date{}));
    EXPECT_EQ(stored("TLTelemetrySessionIdHistory"), Value(Value::Data{7}));
    EXPECT_EQ(stored("TLTelemetryAnalyticsIsEnabled"), Value(false));
    EXPECT_FALSE(stored("TLInstallId").has_value());
    EXPECT_FALSE(stored("kTLAnalyticsIsEnabledKey").has_value());
    EXPECT_EQ(stored("TLTelemetry310TelemetryUserDefaultsMigratedKey"), Value(true));
    EXPECT_EQ(stored("TLTelemetry310AnalyticsUserDefaultsMigratedKey"), Value(true));
    // The moved switch is the one the client reads.
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().boolForKey("TelemetryIsEnabled", true));
    EXPECT_FALSE(TLMTelemetryUserDefaults::shared().boolForKey("AnalyticsIsEnabled", true));
}
