// Engine preferences: value conversions, registered defaults, persistence
// across restarts, what is written when, and the accessors used before
// start-up.

#include "engine/services/CFPreferences.h"
#include "engine/services/PreferencesService.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>

namespace {

// Stands for quitting and launching again: the persisted preferences are
// read back from disk.
void Restart() { platform::UserDefaults::standard().reload(); }

std::optional<platform::Value> Persisted(const std::string& key) {
    return platform::UserDefaults::standard().object(key);
}

// What tells one write of a file from another: every write puts a new file
// (a new inode) in place.
struct FileState {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{};
    std::string content;

    bool operator==(const FileState& other) const {
        return exists == other.exists && inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec && content == other.content;
    }
    bool operator!=(const FileState& other) const { return !(*this == other); }
};

std::ostream& operator<<(std::ostream& out, const FileState& state) {
    return out << (state.exists ? "inode " + std::to_string(state.inode) : std::string("no file"));
}

FileState StateOf(const std::filesystem::path& path) {
    FileState state;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return state;
    state.exists = true;
    state.inode = info.st_ino;
    state.modified = info.st_mtim;
    std::ifstream in(path, std::ios::binary);
    state.content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return state;
}

}  // namespace

TEST(PreferenceValue, ConvertsBetweenTypes) {
    struct Case {
        const char* name;
        CPreferenceValue value;
        int asInt;
        double asDouble;
        bool asBool;
        const char* asString;
    };
    const Case cases[] = {
        {"default", CPreferenceValue(), 0, 0.0, false, ""},
        {"bool true", CPreferenceValue(true), 0, 0.0, true, "True"},
        {"bool false", CPreferenceValue(false), 0, 0.0, false, "False"},
        {"int 7", CPreferenceValue(7), 7, 7.0, false, ""},
        {"int -12", CPreferenceValue(-12), -12, -12.0, false, ""},
        {"double 2.7 truncates down", CPreferenceValue(2.7), 2, 2.7, false, ""},
        {"double -2.7 truncates toward zero", CPreferenceValue(-2.7), -2, -2.7, false, ""},
        {"double above int range saturates", CPreferenceValue(1e12), INT_MAX, 1e12, false, ""},
        {"double below int range saturates", CPreferenceValue(-1e12), INT_MIN, -1e12, false, ""},
        {"string True", CPreferenceValue("True"), 0, 0.0, true, "True"},
        {"string true is not True", CPreferenceValue("true"), 0, 0.0, false, "true"},
        {"string TRUE is not True", CPreferenceValue(std::string("TRUE")), 0, 0.0, false, "TRUE"},
        {"numeric string is no number", CPreferenceValue("42"), 0, 0.0, false, "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.value.GetInt(), c.asInt);
        EXPECT_DOUBLE_EQ(c.value.GetDouble(), c.asDouble);
        EXPECT_EQ(c.value.GetBool(), c.asBool);
        EXPECT_EQ(c.value.GetString(), c.asString);
    }
    EXPECT_EQ(CPreferenceValue(std::numeric_limits<double>::quiet_NaN()).GetInt(), 0);
    EXPECT_EQ(CPreferenceValue(2147483647.9).GetInt(), INT_MAX);
    EXPECT_EQ(CPreferenceValue(-2147483648.9).GetInt(), INT_MIN);
}

TEST(PreferencesService, RegistersEveryDefaultInMetricLocale) {
    platform::Locale::setCurrent("de_DE");
    CServiceLocator::Instance().RegisterService(new VKMPreferencesService());

    struct IntDefault {
        const char* key;
        int value;
    };
    const IntDefault ints[] = {
        {"QLWSDefaultZoom", 75},
        {"QLWSDefaultTrackStyle", 105},
        {"QLUnits", 2},
        {"QLWSDefaultGridSpacing", 10},
        {"QLLayoutPadding", 10},
        {"QLLayoutBoundsMode", 1},
        {"QLJointDistanceTolerancePercent", 25},
        {"QLJointAngleTolerance", 30},
        {"QLDefaultWSWidth", 3000},
        {"QLDefaultWSHeight", 3000},
        {"QLMaxConnectTrackItems", 5},
        {"QLMinConnectTolerancePercent", 10},
        {"QLConnectTracksMaxSolutions", 10},
        {"QLSnapAreaFactor", 100},
    };
    for (const IntDefault& d : ints) {
        SCOPED_TRACE(d.key);
        EXPECT_EQ(UPreferences::GetInt(d.key), d.value);
    }
    for (const char* key : {"QLAutoColorize", "QLConnectTrackUsePlain"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(UPreferences::GetBool(key));
    }
    EXPECT_EQ(UMeasureUnits::GetUnitType(), 2);
    // Defaults are not written: nothing was stored, nothing changed.
    EXPECT_FALSE(std::filesystem::exists(platform::UserDefaults::standard().filePath()));

    // An int key read as the other types.
    EXPECT_DOUBLE_EQ(UPreferences::GetDouble("QLSnapAreaFactor"), 100.0);
    EXPECT_FALSE(UPreferences::GetBool("QLSnapAreaFactor"));
    EXPECT_EQ(UPreferences::GetString("QLSnapAreaFactor"), "");

    // A key nobody registered or set.
    EXPECT_FALSE(UPreferences::GetBool("QLNoSuchKey"));
    EXPECT_EQ(UPreferences::GetString("QLNoSuchKey"), "");
    EXPECT_DOUBLE_EQ(UPreferences::GetDouble("QLNoSuchKey"), 0.0);
    EXPECT_EQ(UPreferences::GetInt("QLNoSuchKey"), 0);
}

TEST(PreferencesService, UnitsAreInchesWhereTheLocaleIsNotMetric) {
    platform::Locale::setCurrent("en_US");
    VKMPreferencesService service;
    EXPECT_EQ(service.GetInt("QLUnits"), 4);
}

TEST(PreferencesService, StoredValuesBeatDefaultsButUnitsFollowTheLocale) {
    // Stored before the first start, as a previous run would have left them.
    platform::UserDefaults::standard().setInteger("QLJointDistanceTolerancePercent", 40);
    platform::UserDefaults::standard().setInteger("QLUnits", 5);
    platform::UserDefaults::standard().setBool("QLAutoColorize", false);
    ASSERT_TRUE(platform::UserDefaults::standard().synchronize());
    Restart();

    platform::Locale::setCurrent("de_DE");
    {
        VKMPreferencesService service;
        EXPECT_EQ(service.GetInt("QLJointDistanceTolerancePercent"), 40);
        EXPECT_FALSE(service.GetBool("QLAutoColorize"));
        EXPECT_EQ(service.GetInt("QLJointAngleTolerance"), 30);
        EXPECT_EQ(service.GetInt("QLUnits"), 2);
        service.SetInt("QLJointAngleTolerance", 12);
    }
    Restart();
    EXPECT_EQ(*Persisted("QLUnits")->asInteger(), 2);

    // The next start in another locale switches the unit again, and keeps
    // what the last run set.
    platform::Locale::setCurrent("en_US");
    VKMPreferencesService service;
    EXPECT_EQ(service.GetInt("QLUnits"), 4);
    EXPECT_EQ(service.GetInt("QLJointAngleTolerance"), 12);
    EXPECT_EQ(service.GetInt("QLJointDistanceTolerancePercent"), 40);
}

TEST(PreferencesService, StartingWritesNothingAndAChangeIsWrittenWhenSynchronised) {
    platform::UserDefaults::standard().setInteger("QLJointDistanceTolerancePercent", 40);
    platform::UserDefaults::standard().setInteger("QLUnits", 2);
    ASSERT_TRUE(platform::UserDefaults::standard().synchronize());
    Restart();
    const FileState stored = StateOf(platform::UserDefaults::standard().filePath());
    ASSERT_TRUE(stored.exists);

    // A start in a metric locale: the defaults registered and the unit set
    // to what is stored already.
    platform::Locale::setCurrent("de_DE");
    VKMPreferencesService service;
    EXPECT_EQ(service.GetInt("QLJointDistanceTolerancePercent"), 40);
    EXPECT_EQ(service.GetInt("QLUnits"), 2);
    EXPECT_EQ(StateOf(platform::UserDefaults::standard().filePath()), stored) << "the start wrote the file";

    // Setting what a key holds, or synchronising without a change, writes
    // nothing either.
    service.SetInt("QLJointAngleTolerance", 30);
    service.SetInt("QLJointDistanceTolerancePercent", 40);
    service.SetBool("QLAutoColorize", true);
    EXPECT_TRUE(service.Synchronize());
    EXPECT_EQ(StateOf(platform::UserDefaults::standard().filePath()), stored) << "an unchanged value was written";

    // A change is written, with its type.
    service.SetInt("QLJointAngleTolerance", 12);
    const FileState changed = StateOf(platform::UserDefaults::standard().filePath());
    EXPECT_NE(changed, stored);
    EXPECT_TRUE(service.Synchronize());
    EXPECT_EQ(StateOf(platform::UserDefaults::standard().filePath()), changed) << "written again without a change";
    service.SetDouble("QLJointAngleTolerance", 12.0);
    EXPECT_NE(StateOf(platform::UserDefaults::standard().filePath()), changed) << "a new type was not written";

    Restart();
    VKMPreferencesService restarted;
    EXPECT_DOUBLE_EQ(*Persisted("QLJointAngleTolerance")->asReal(), 12.0);
    EXPECT_EQ(restarted.GetInt("QLJointAngleTolerance"), 12);
    EXPECT_EQ(restarted.GetInt("QLJointDistanceTolerancePercent"), 40);
}

TEST(PreferencesService, ValueSetThroughTheServiceSurvivesARestart) {
    platform::Locale::setCurrent("de_DE");
    CServiceLocator::Instance().RegisterService(new VKMPreferencesService());
    UPreferences::SetInt("QLJointDistanceTolerancePercent", 40);
    UPreferences::SetDouble("QLDoubleSetting", -2.7);
    EXPECT_EQ(UPreferences::GetInt("QLDoubleSetting"), -2);
    UPreferences::SetDouble("QLDoubleSetting", 2.7);
    EXPECT_EQ(UPreferences::GetInt("QLDoubleSetting"), 2);
    EXPECT_DOUBLE_EQ(UPreferences::GetDouble("QLDoubleSetting"), 2.7);

    Restart();
    VKMPreferencesService restarted;
    EXPECT_EQ(restarted.GetInt("QLJointDistanceTolerancePercent"), 40);
    const auto stored = Persisted("QLDoubleSetting");
    ASSERT_TRUE(stored.has_value() && stored->isReal());
    EXPECT_DOUBLE_EQ(*stored->asReal(), 2.7);
}

TEST(PreferencesService, BoolKeysReadOnlyTheExactTextTrue) {
    PreferencesService service;
    service.SetString("QLFlagText", "true");
    EXPECT_FALSE(service.GetBool("QLFlagText"));
    service.SetString("QLFlagText", "True");
    EXPECT_TRUE(service.GetBool("QLFlagText"));
    service.SetBool("QLFlag", true);
    EXPECT_EQ(service.GetString("QLFlag"), "True");
    EXPECT_EQ(service.GetInt("QLFlag"), 0);
}

TEST(PreferencesService, AKeyRewrittenWithAnotherTypeKeepsOnlyTheNewValue) {
    PreferencesService service;

    // Text first, then an int: the persisted value must be the int, not the
    // (empty) text of the int value written after it.
    service.SetString("QLMixed", "abc");
    service.SetInt("QLMixed", 7);
    auto stored = Persisted("QLMixed");
    ASSERT_TRUE(stored.has_value());
    ASSERT_TRUE(stored->isInteger());
    EXPECT_EQ(*stored->asInteger(), 7);

    // Bool first, then an int.
    service.SetBool("QLMixedFlag", true);
    service.SetInt("QLMixedFlag", 5);
    stored = Persisted("QLMixedFlag");
    ASSERT_TRUE(stored.has_value());
    ASSERT_TRUE(stored->isInteger());
    EXPECT_EQ(*stored->asInteger(), 5);

    // Int first, then a double: the fraction is kept.
    service.SetInt("QLMixedNumber", 3);
    service.SetDouble("QLMixedNumber", 3.25);
    stored = Persisted("QLMixedNumber");
    ASSERT_TRUE(stored.has_value());
    ASSERT_TRUE(stored->isReal());
    EXPECT_DOUBLE_EQ(*stored->asReal(), 3.25);

    // A later synchronisation (any setter) does not bring an old type back.
    service.SetInt("QLOther", 1);
    EXPECT_EQ(*Persisted("QLMixed")->asInteger(), 7);

    Restart();
    PreferencesService restarted;
    restarted.RegisterDefaultInt("QLMixed", 1);
    restarted.RegisterDefaultInt("QLMixedFlag", 1);
    EXPECT_EQ(restarted.GetInt("QLMixed"), 7);
    EXPECT_EQ(restarted.GetInt("QLMixedFlag"), 5);
}

TEST(PreferencesService, TextOutsideMacRomanSurvivesARestart) {
    const std::string name =
        "Gleis \xE2\x86\x92 Bahnhof \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC";  // arrow, check mark, CJK
    {
        PreferencesService service;
        service.SetString("QLLastLayoutName", name);
        EXPECT_EQ(service.GetString("QLLastLayoutName"), name);
    }
    Restart();
    const auto stored = Persisted("QLLastLayoutName");
    ASSERT_TRUE(stored.has_value());
    ASSERT_TRUE(stored->isString());
    EXPECT_EQ(*stored->asString(), name);
}

TEST(PreferencesService, AccessorsBeforeRegistrationDoNotPoisonLaterCalls) {
    platform::Locale::setCurrent("de_DE");
    EXPECT_EQ(UPreferences::GetPreferencesService(), nullptr);
    EXPECT_EQ(UPreferences::GetInt("QLUnits"), 0);
    EXPECT_FALSE(UPreferences::GetBool("QLAutoColorize"));
    EXPECT_DOUBLE_EQ(UPreferences::GetDouble("QLSnapAreaFactor"), 0.0);
    EXPECT_EQ(UPreferences::GetString("QLSnapAreaFactor"), "");
    EXPECT_EQ(UMeasureUnits::GetUnitType(), 0);
    UPreferences::SetInt("QLEarlyKey", 9);
    UPreferences::SetBool("QLEarlyFlag", true);
    UPreferences::SetString("QLEarlyText", "x");
    UPreferences::SetDouble("QLEarlyNumber", 1.5);

    auto* service = new VKMPreferencesService();
    CServiceLocator::Instance().RegisterService(service);
    EXPECT_EQ(UPreferences::GetPreferencesService(), service);
    EXPECT_EQ(UPreferences::GetInt("QLUnits"), 2);
    EXPECT_EQ(UMeasureUnits::GetUnitType(), 2);
    EXPECT_TRUE(UPreferences::GetBool("QLAutoColorize"));
    // Writes made while nothing was registered went nowhere.
    EXPECT_EQ(UPreferences::GetInt("QLEarlyKey"), 0);
    EXPECT_FALSE(UPreferences::GetBool("QLEarlyFlag"));
    EXPECT_FALSE(Persisted("QLEarlyKey").has_value());

    UPreferences::SetString("QLText", "value");
    EXPECT_EQ(service->GetString("QLText"), "value");
}

TEST(CFPreferences, ReadsReportWhetherAUsableValueWasStored) {
    bool valid = true;
    EXPECT_EQ(UCFPreferences::GetAppIntegerValue("QLMissing", &valid), 0);
    EXPECT_FALSE(valid);
    valid = true;
    EXPECT_FALSE(UCFPreferences::GetAppBooleanValue("QLMissing", &valid));
    EXPECT_FALSE(valid);

    UCFPreferences::SetAppInt("QLInt", -17);
    UCFPreferences::SetAppBoolean("QLBool", true);
    UCFPreferences::SetAppDouble("QLDouble", 0.5);
    UCFPreferences::SetAppString("QLString", "text");
    ASSERT_TRUE(UCFPreferences::AppSynchronize());
    Restart();

    EXPECT_EQ(UCFPreferences::GetAppIntegerValue("QLInt", &valid), -17);
    EXPECT_TRUE(valid);
    EXPECT_TRUE(UCFPreferences::GetAppBooleanValue("QLBool", &valid));
    EXPECT_TRUE(valid);
    EXPECT_DOUBLE_EQ(*Persisted("QLDouble")->asReal(), 0.5);
    EXPECT_EQ(*Persisted("QLString")->asString(), "text");
    EXPECT_FALSE(UCFPreferences::GetAppBooleanValue("QLString", &valid));
    EXPECT_FALSE(valid);

    // A stored integer wider than 32 bits keeps its low 32 bits.
    platform::UserDefaults::standard().setInteger("QLWide", (std::int64_t{1} << 32) + 40);
    EXPECT_EQ(UCFPreferences::GetAppIntegerValue("QLWide", &valid), 40);
    EXPECT_TRUE(valid);
}
