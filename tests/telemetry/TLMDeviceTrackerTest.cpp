// The device record of this host: what can be known of it, read by the
// test on its own, and the readers of os-release files and locale names.

#include "telemetry/core/Context/TLMDeviceTracker.h"

#include "platform/foundation/Locale.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

TEST(TLMDeviceTracker, ReadsOsReleaseFilesAsTheShellWould) {
    const auto path = testsupport::processRoot() / "os-release";
    {
        std::ofstream out(path);
        out << "# a comment\n"
               "NAME=\"Debian GNU/Linux\"\n"
               "VERSION_ID='12'\n"
               "  PRETTY_NAME=\"Say \\\"hi\\\" for \\$5\\\\now\"  \n"
               "ID=debian\n"
               "BROKEN\n"
               "=nokey\n"
               "EMPTY=\n"
               "ESCAPED=a\\ b\n";
    }
    const auto values = TLMDeviceTracker::osReleaseValues(path);
    EXPECT_EQ(values, (std::map<std::string, std::string>{{"NAME", "Debian GNU/Linux"},
                                                          {"VERSION_ID", "12"},
                                                          {"PRETTY_NAME", "Say \"hi\" for $5\\now"},
                                                          {"ID", "debian"},
                                                          {"EMPTY", ""},
                                                          {"ESCAPED", "a b"}}));
    EXPECT_TRUE(TLMDeviceTracker::osReleaseValues(testsupport::processRoot() / "missing").empty());
}

TEST(TLMDeviceTracker, LocaleInTheRecordsForm) {
    EXPECT_EQ(TLMDeviceTracker::localeText("de_DE"), "de_DE");
    EXPECT_EQ(TLMDeviceTracker::localeText("sr_Latn_RS"), "sr-Latn_RS");
    EXPECT_EQ(TLMDeviceTracker::localeText("zh-Hans-CN"), "zh-Hans_CN");
    EXPECT_EQ(TLMDeviceTracker::localeText("en_US.UTF-8"), "en_US");
    EXPECT_EQ(TLMDeviceTracker::localeText("de_DE@euro"), "de_DE");
    EXPECT_EQ(TLMDeviceTracker::localeText("es_419"), "es_419");
    // No country: nothing dangles after the language.
    EXPECT_EQ(TLMDeviceTracker::localeText("fr"), "fr");
    EXPECT_EQ(TLMDeviceTracker::localeText("uz_Cyrl"), "uz-Cyrl");
}

TEST(TLMDeviceTracker, HostRecordOnThisMachine) {
    platform::Locale::setCurrent("sr_Latn_RS");
    setenv("TZ", "<+0530>-5:30", 1);
    tzset();
    const std::shared_ptr<TLMDevice> device = TLMDeviceTracker::hostDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->isValid());

    utsname host{};
    ASSERT_EQ(uname(&host), 0);
    EXPECT_EQ(device->model(), host.machine);
    EXPECT_EQ(device->osBuild(), host.release);

    // The NAME line of the system's own file, read here without the tracker.
    std::string name;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(path);
        for (std::string line; name.empty() && std::getline(in, line);) {
            if (line.rfind("NAME=", 0) != 0) continue;
            name = line.substr(5);
            if (name.size() >= 2 && (name.front() == '"' || name.front() == '\''))
                name = name.substr(1, name.size() - 2);
        }
        if (!name.empty()) break;
    }
    EXPECT_EQ(device->osName(), name.empty() ? std::string(host.sysname) : name);
    EXPECT_FALSE(device->osVersion().empty());

    EXPECT_EQ(device->locale(), "sr-Latn_RS");
    EXPECT_EQ(device->timeZoneOffset(), 330);
    EXPECT_EQ(device->sdkName(), "telemetry.ios");
    EXPECT_EQ(device->sdkVersion(), "1.0.0");
    // The test bundle's Info.json.
    EXPECT_EQ(device->appVersion(), "0.1.0");
    EXPECT_EQ(device->appBuild(), "1");
    EXPECT_EQ(device->appNamespace(), "com.vekmont.app");
    // Nothing a host does not have.
    EXPECT_EQ(device->carrierName(), "");
    EXPECT_EQ(device->carrierCountry(), "");
    EXPECT_EQ(device->screenSize(), "");
    EXPECT_FALSE(device->osApiLevel().has_value());

    // West of UTC, offsets are negative and cut toward zero.
    setenv("TZ", "<-023030>2:30:30", 1);
    tzset();
    EXPECT_EQ(TLMDeviceTracker::hostDevice()->timeZoneOffset(), -150);

    // The tracker reads once and hands out the same record.
    EXPECT_EQ(TLMDeviceTracker::sharedInstance().device(), TLMDeviceTracker::sharedInstance().device());
}

TEST(TLMDeviceTracker, HostTextsThatAreNotUtf8AreMendedWhereTheRecordIsMade) {
    const std::filesystem::path latin1 = testsupport::processRoot() / "os-release-latin1";
    const std::filesystem::path utf8 = testsupport::processRoot() / "os-release-utf8";
    const std::filesystem::path missing = testsupport::processRoot() / "no-os-release";
    std::ofstream(latin1) << "NAME=\"Syst\xE8me\"\nVERSION_ID=12\xB7\n";
    std::ofstream(utf8) << "NAME=\"Syst\xC3\xA8me\"\nVERSION_ID=12.1\n";
    const std::string fffd = "\xEF\xBF\xBD";  // U+FFFD
    const std::string utf8Name = "Syst\xC3\xA8me";
    const std::string mendedName = "Syst" + fffd + "me";
    struct Case {
        const char* name;
        const char* locale;
        std::vector<std::filesystem::path> osRelease;
        std::string wantLocale, wantOsName, wantOsVersion;
    };
    const Case cases[] = {
        {"a Latin-1 locale", "fr_F\xE9", {utf8}, "fr_F" + fffd, utf8Name, "12.1"},
        {"a byte never in UTF-8, then the codeset", "de_D\xFF.UTF-8", {utf8}, "de_D" + fffd, utf8Name, "12.1"},
        {"a Latin-1 os-release", "de_DE", {latin1}, "de_DE", mendedName, "12" + fffd},
        {"the first os-release with values", "de_DE", {missing, latin1, utf8}, "de_DE", mendedName, "12" + fffd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Locale::setCurrent(c.locale);
        const std::shared_ptr<TLMDevice> device = TLMDeviceTracker::hostDevice(c.osRelease);
        EXPECT_EQ(device->locale(), c.wantLocale);
        EXPECT_EQ(device->osName(), c.wantOsName);
        EXPECT_EQ(device->osVersion(), c.wantOsVersion);
        // Every log carries it: JSON must hold it.
        std::string reason;
        EXPECT_TRUE(device->serializeToDictionary().jsonText(false, &reason).has_value()) << reason;
    }

    // The shared tracker reads the files it is given.
    platform::Locale::setCurrent("fr_F\xE9");
    TLMDeviceTracker::sharedInstance().setOsReleaseFiles({latin1});
    EXPECT_EQ(TLMDeviceTracker::sharedInstance().device()->osName(), mendedName);
    EXPECT_EQ(TLMDeviceTracker::sharedInstance().device()->locale(), "fr_F" + fffd);
}
