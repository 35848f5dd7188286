// The engine's failure routines: the null check that throws, and the error
// reporter that writes to standard error and the log and may end the process.

#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"

#include "platform/foundation/Paths.h"
#include "tests/support/LogWatch.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The info values of the bundle the tests run with (resources/Info.json).
constexpr const char* kBundleName = "Vekmont";
constexpr const char* kBundleIdentifier = "com.vekmont.app";
constexpr const char* kBundleVersion = "1";

const std::string kSeparator = std::string(60, '=') + "\n";

// Messages of the memory lines, each with its level marker.
std::vector<std::string> Messages() {
    std::vector<std::string> lines = testsupport::RecentLines();
    for (auto& line : lines) line = line.substr(20);
    return lines;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the log shows after a report: header line, system and bundle lines,
// the report between two separators.
std::vector<std::string> ReportLines(const std::string& header, const std::string& report) {
    struct utsname names {};
    uname(&names);
    return {
        header,
        std::string("[WARN    ] :       OS/sysname: ") + names.sysname,
        std::string("[WARN    ] :        Node name: ") + names.nodename,
        std::string("[WARN    ] :          Machine: ") + names.machine,
        std::string("[WARN    ] :   Bundle Version: ") + kBundleVersion,
        "[WARN    ] :  " + kSeparator,
        "[WARN    ] :  " + report,
        "[WARN    ] :  " + kSeparator,
    };
}

}  // namespace

TEST(ErrorHandling, ThrowIfNullReturnsPointersAndThrowsOnNull) {
    const char* signature = "static double UColorizeByRadius::GetCurveRadius(const CCompositeGeometry *)";
    int value = 7;
    EXPECT_EQ(UErrorHandling::ThrowIfNull(&value, signature, "Parameter is NULL"), &value);
    EXPECT_TRUE(Messages().empty());

    int* missing = nullptr;
    try {
        UErrorHandling::ThrowIfNull(missing, signature, "Parameter is NULL");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "<<< Parameter is NULL >>>");
    }
    const std::vector<std::string> expected = {
        std::string("[ERROR   ] :  An application error occured in '") + signature + "'",
        "[ERROR   ] :  <<< Parameter is NULL >>>",
    };
    EXPECT_EQ(Messages(), expected);
}

TEST(ErrorHandling, ReportsGoToStandardErrorAndTheLog) {
    const std::string bundle = std::string(kBundleName) + " (" + kBundleIdentifier + ")";
    const std::string longTitle(150, 'T');
    const std::string longDescription(1000, 'd');
    struct Case {
        const char* name;
        int code;
        const char* title;
        const char* description;
        int kind;
        std::string report;
        std::string header;
    };
    const std::vector<Case> cases = {
        {"warning without a title", 7, nullptr, "disk full", UErrorHandling::kWarning,
         "???\n\n Error Code  :  7\n Description :  disk full\n\n", "[WARN    ] :  Warning logged for " + bundle},
        {"null pointer shows no code", -1, "CTag::CTag()", "Failed to allocate memory for tag data",
         UErrorHandling::kNullPointer,
         "CTag::CTag()\n\n Error Code  :  <NULL>\n Description :  Failed to allocate memory for tag data\n\n",
         "[ERROR   ] :  Error logged for " + bundle},
        {"unknown kind is an error", -12, "Loader", "bad", 9, "Loader\n\n Error Code  :  -12\n Description :  bad\n\n",
         "[ERROR   ] :  Error logged for " + bundle},
        {"long title and description are cut", 5, longTitle.c_str(), longDescription.c_str(), UErrorHandling::kWarning,
         (std::string(99, 'T') + "\n\n Error Code  :  5\n Description :  " + std::string(1000, 'd')).substr(0, 511),
         "[WARN    ] :  Warning logged for " + bundle},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = Messages().size();

        testing::internal::CaptureStderr();
        UErrorHandling::ReportError(c.code, c.title, c.description, c.kind);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.report);

        const std::vector<std::string> all = Messages();
        const std::vector<std::string> added(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        EXPECT_EQ(added, ReportLines(c.header, c.report));
    }
}

TEST(ErrorHandling, ReportTitleIsNotCutInsideACharacter) {
    // 98 bytes, then a two-byte character that would straddle the 99-byte cut.
    const std::string title = std::string(98, 'T') + "\xC3\xA9";
    testing::internal::CaptureStderr();
    UErrorHandling::ReportError(1, title.c_str(), "x", UErrorHandling::kWarning);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(98, 'T') + "\n\n Error Code  :  1\n Description :  x\n\n");
}

TEST(ErrorHandling, CheckAllocationReturnsForAPointer) {
    int value = 0;
    UErrorHandling::CheckAllocation(&value, "CBundle::CBundle()", "CFBundleGetMainBundle() failed");
    EXPECT_TRUE(Messages().empty());
}

namespace {

// Death tests re-run this binary for the child, which gets an app root of its
// own; the parent's log path reaches it through the environment (the child's
// own run of the test body must not replace it, hence no overwrite).
fs::path SharedDeathLog() {
    setenv("VEKMONT_TEST_DEATH_LOG", (platform::Paths::logs() / "death.log").c_str(), 0);
    return std::getenv("VEKMONT_TEST_DEATH_LOG");
}

void LogToSharedFileAndDropOwnRoot(const fs::path& log) {
    CLogger::Instance().AddFileSink(log.string(), 250, true);
    // Ends without destructors: the child's own temporary root would stay behind.
    if (!log.string().starts_with(platform::Paths::root().string())) {
        std::error_code ignored;
        fs::remove_all(platform::Paths::root(), ignored);
    }
}

}  // namespace

TEST(ErrorHandlingDeathTest, FailedAllocationEndsTheProcessWithFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path log = SharedDeathLog();
    EXPECT_EXIT(
        {
            LogToSharedFileAndDropOwnRoot(log);
            UErrorHandling::CheckAllocation(nullptr, "CTag::CTag()", "Failed to allocate memory for tag data");
        },
        testing::ExitedWithCode(EXIT_FAILURE), "Error Code  :  <NULL>");

    // The child's report reached the file before it ended.
    const std::string content = ReadFile(log);
    EXPECT_NE(content.find("]   Error logged for Vekmont (com.vekmont.app)\n"), std::string::npos) << content;
    EXPECT_NE(content.find("]   CTag::CTag()\n\n Error Code  :  <NULL>\n Description :  "
                           "Failed to allocate memory for tag data\n\n\n"),
              std::string::npos)
        << content;
}

TEST(ErrorHandlingDeathTest, FatalReportEndsTheProcessWithFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path log = SharedDeathLog();
    EXPECT_EXIT(
        {
            LogToSharedFileAndDropOwnRoot(log);
            UErrorHandling::ReportError(3, "Fatal title", "fatal description", UErrorHandling::kFatal);
        },
        testing::ExitedWithCode(EXIT_FAILURE), "Fatal title\n\n Error Code  :  3\n Description :  fatal description");
    EXPECT_NE(ReadFile(log).find("]   Error logged for Vekmont (com.vekmont.app)\n"), std::string::npos);
}
