// The kernel's version from its release text, and the reporter's
// diagnostics about a text of an unexpected shape.

#include "crashes/reporter/setup/TLCrashHostInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

TEST(HostInfo, ScansThreeNumbersAndReportsOtherShapes) {
    struct Case {
        const char* release;
        TLCrashHostVersion version;
        bool expected;
    };
    const Case cases[] = {
        {"6.1.0-13-amd64", {6, 1, 0}, true},   {"5.10.200", {5, 10, 200}, true}, {"23.1", {23, 1, 0}, false},
        {"4.x.1", {4, 0, 0}, false},           {"abc", {0, 0, 0}, false},        {"-1.2.3", {0, 0, 0}, false},
        {"1.2.99999999999", {1, 2, 0}, false}, {"", {0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        const TLCrashHostInfo info(c.release);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_EQ(info.darwinVersion(), c.version) << c.release;
        EXPECT_EQ(diagnostics,
                  c.expected
                      ? std::string()
                      : "[TLCrashReporter] Unexpected kernel release string format: " + std::string(c.release) + "\n")
            << c.release;
    }
}

TEST(HostInfo, CurrentHostHasTheRunningKernelsVersion) {
    std::ifstream in("/proc/sys/kernel/osrelease");
    std::string release;
    std::getline(in, release);
    unsigned major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(release.c_str(), "%u.%u", &major, &minor), 2) << release;

    const auto info = TLCrashHostInfo::currentHostInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->darwinVersion().major, major);
    EXPECT_EQ(info->darwinVersion().minor, minor);
}
