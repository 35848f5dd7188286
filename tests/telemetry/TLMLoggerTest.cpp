// The telemetry logger's default handler: what it prints and when it even
// builds the message.

#include "telemetry/TLMLogger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

// Prints one message through the default handler and returns what reached
// standard error.
std::string printed(TLMLogLevel level, std::atomic<int>& built) {
    testing::internal::CaptureStderr();
    TLMLogger::logMessage(
        [&built] {
            ++built;
            return std::string("Log is not valid.");
        },
        level, "Telemetry", "TLMChannelUnitDefault.cpp", "enqueueItem", 42);
    TLMLogger::waitUntilIdle();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(TLMLogger, DefaultHandlerPrintsAtOrAboveTheCurrentLevelOnly) {
    EXPECT_EQ(TLMLogger::currentLogLevel(), TLMLogLevelAssert);
    EXPECT_FALSE(TLMLogger::isUserDefinedLogLevel());
    TLMLogger::setCurrentLogLevel(TLMLogLevelWarning);
    EXPECT_TRUE(TLMLogger::isUserDefinedLogLevel());

    struct Case {
        TLMLogLevel level;
        const char* expected;
    };
    const Case cases[] = {
        {TLMLogLevelVerbose, ""},
        {TLMLogLevelDebug, ""},
        {TLMLogLevelInfo, ""},
        {TLMLogLevelWarning, "[Telemetry] WARNING: enqueueItem/42 Log is not valid.\n"},
        {TLMLogLevelError, "[Telemetry] ERROR: enqueueItem/42 Log is not valid.\n"},
        {TLMLogLevelAssert, "[Telemetry] ASSERT: enqueueItem/42 Log is not valid.\n"},
        {TLMLogLevelNone, ""},
    };
    for (const Case& c : cases) {
        std::atomic<int> built{0};
        EXPECT_EQ(printed(c.level, built), c.expected) << "level " << c.level;
        // The text is built only for a line that is printed.
        EXPECT_EQ(built.load(), std::string(c.expected).empty() ? 0 : 1) << "level " << c.level;
    }

    TLMLogger::setCurrentLogLevel(TLMLogLevelNone);
    std::atomic<int> built{0};
    EXPECT_EQ(printed(TLMLogLevelAssert, built), "");
}

TEST(TLMLogger, NoHandlerMeansSilence) {
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    TLMLogger::setLogHandler(nullptr);
    std::atomic<int> built{0};
    EXPECT_EQ(printed(TLMLogLevelError, built), "");
    EXPECT_EQ(built.load(), 0);
    TLMLogger::resetLogHandler();
    EXPECT_NE(printed(TLMLogLevelError, built), "");
}

// Tests that run one after another in a process begin each with the logger
// as a new process has it.
TEST(TLMLogger, AResetForTheNextTestRestoresTheStartingLevelAndHandler) {
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    TLMLogger::setLogHandler(nullptr);
    TLMLogger::resetForTests();
    EXPECT_EQ(TLMLogger::currentLogLevel(), TLMLogLevelAssert);
    EXPECT_FALSE(TLMLogger::isUserDefinedLogLevel());
    std::atomic<int> built{0};
    EXPECT_EQ(printed(TLMLogLevelError, built), "");
    EXPECT_NE(printed(TLMLogLevelAssert, built), "");
}
