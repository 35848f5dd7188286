// The device record of this host: what can be known of it, read by the
// test on its own, and the readers of os-release files and locale names.

#include "telemetry/core/Context/TLMDeviceTracker.h"

#include "platform/foundation/Locale.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

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
