// The reporter's error values, diagnostics and fatal assertions.

#include "crashes/reporter/setup/TLCrashLog.h"
#include "crashes/reporter/setup/TLCrashReporterError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

TEST(ReporterError, BuildsErrorsOfTheDomainWithTheSystemsErrorUnderneath) {
    // Nothing is built without a place for it.
    TLCrashReporterPopulateError(nullptr, TLCrashReporterError::Unknown, "ignored");
    TLCrashReporterPopulatePOSIXError(nullptr, ENOENT, "ignored");

    std::optional<platform::Error> error;
    TLCrashReporterPopulateError(&error, TLCrashReporterError::ResourceBusy,
                                 "A TLCrashReporter instance has already been enabled");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "TLCrashReporterErrorDomain");
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(error->localizedDescription(), "A TLCrashReporter instance has already been enabled");
    EXPECT_FALSE(error->hasUserInfo(platform::Error::UnderlyingErrorKey));

    TLCrashReporterPopulatePOSIXError(&error, ENOENT, "Failed to create temporary path");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1);
    EXPECT_EQ(error->localizedDescription(), "Failed to create temporary path");
    const auto* underlying = error->userInfoValue<platform::Error>(platform::Error::UnderlyingErrorKey);
    ASSERT_NE(underlying, nullptr);
    EXPECT_EQ(underlying->domain(), platform::POSIXErrorDomain);
    EXPECT_EQ(underlying->code(), ENOENT);
}

TEST(ReporterError, DiagnosticsCarryThePrefixAndEndTheirLine) {
    testing::internal::CaptureStderr();
    tlcrash_log("Write failed with error %s", "Not found");
    tlcrash_log("%s", std::string(2000, 'x').c_str());
    const std::string output = testing::internal::GetCapturedStderr();
    const std::string first = "[TLCrashReporter] Write failed with error Not found\n";
    ASSERT_EQ(output.compare(0, first.size(), first), 0) << output;
    // A long message is cut and still ends its line.
    const std::string second = output.substr(first.size());
    EXPECT_LT(second.size(), 1024u);
    EXPECT_EQ(second.compare(0, 18, "[TLCrashReporter] "), 0);
    EXPECT_EQ(second.back(), '\n');
}

TEST(ReporterError, FailedAssertionsEndTheProcessNamingTheExpressionFileAndFunction) {
    const int count = 3;
    TLCRASH_ASSERT(count == 3);
    EXPECT_DEATH(TLCRASH_ASSERT(count == 0), "ReporterErrorTest.cpp:[0-9]+: .*TestBody.*Assertion `count == 0' failed");
}
