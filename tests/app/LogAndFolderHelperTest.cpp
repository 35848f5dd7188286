// The log file helper's paths, backup and recent lines, and the folder
// helper's folders named after the bundle.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/Helper/QLFolderHelper.h"
#include "app/Helper/QLLogFileHelper.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "tests/app/support/AppFiles.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

namespace fs = std::filesystem;

namespace {

std::string Numbered(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += (i > from ? "\n" : "") + std::to_string(i);
    return text;
}

}  // namespace

TEST(LogFileHelper, RecentLinesComeFromTheBackupWhenThereIsOneAndAreTheLast250) {
    testsupport::RegisterServices();
    const fs::path log = QLLogFileHelper::logFilePath();
    EXPECT_EQ(log, platform::Paths::library() / "Logs" / "Quenlor.log");
    EXPECT_EQ(fs::path(QLLogFileHelper::backupLogFilePath()), platform::Paths::tmp() / "Quenlor.log.bak");

    testsupport::LogWatch watch;
    EXPECT_EQ(QLLogFileHelper::recentLogLines(), "");
    EXPECT_EQ(watch.Count("Failed to read log contents as UTF-8 encoding"), 1);

    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"300 lines keep their last 250", Numbered(1, 300), Numbered(51, 300)},
        {"250 lines stay whole", Numbered(1, 250), Numbered(1, 250)},
        {"a final newline is an empty last line", Numbered(1, 300) + "\n", Numbered(52, 300) + "\n"},
        {"one line", "only", "only"},
        {"nothing", "", ""},
    };
    for (const Case& c : cases) {
        testsupport::WriteText(log, c.text);
        EXPECT_EQ(QLLogFileHelper::recentLogLines(), c.expected) << c.name;
    }

    testsupport::WriteText(log, "old line");
    EXPECT_TRUE(QLLogFileHelper::createCrashLogBackup());
    testsupport::WriteText(log, "newer line");
    EXPECT_EQ(QLLogFileHelper::recentLogLines(), "old line");
    EXPECT_FALSE(QLLogFileHelper::createCrashLogBackup()) << "a backup is never overwritten";
    EXPECT_EQ(watch.Count("Error creating crash log backup: "), 1);
    EXPECT_EQ(QLLogFileHelper::recentLogLines(), "old line");

    testsupport::WriteText(QLLogFileHelper::backupLogFilePath(), "bad \xC3 byte");
    EXPECT_EQ(QLLogFileHelper::recentLogLines(), "");
    EXPECT_EQ(watch.Count("Failed to read log contents as UTF-8 encoding"), 2);
}

TEST(FolderHelper, FoldersAreNamedAfterTheBundleAndMadeWhenMissing) {
    testsupport::RegisterServices();
    EXPECT_EQ(QLFolderHelper::getPathToBundledLibrariesFolder(), std::nullopt);

    const fs::path support = platform::Paths::applicationSupport() / "Vekmont";
    EXPECT_EQ(QLFolderHelper::getPathToQLAppSupportFolder(), support);
    EXPECT_FALSE(fs::exists(support)) << "only named";
    EXPECT_EQ(QLFolderHelper::getPathToCustomLibrariesFolder(), support / "Libraries");
    EXPECT_TRUE(fs::is_directory(support / "Libraries"));

    const fs::path cache = platform::Paths::caches() / "Vekmont";
    EXPECT_EQ(QLFolderHelper::getPathToAppCacheFolder(), cache);
    EXPECT_TRUE(fs::is_directory(cache));
    testsupport::WriteText(cache / "kept", "x");
    EXPECT_EQ(QLFolderHelper::getPathToAppCacheFolder(), cache);
    EXPECT_TRUE(fs::exists(cache / "kept"));

    // A file where the folder should be: nothing, and the reason is logged.
    fs::remove_all(support / "Libraries");
    testsupport::WriteText(support / "Libraries", "in the way");
    testsupport::LogWatch watch;
    EXPECT_EQ(QLFolderHelper::getPathToCustomLibrariesFolder(), std::nullopt);
    EXPECT_EQ(watch.Count("Failed to create custom libraries directory at " + (support / "Libraries").string()), 1);
}
