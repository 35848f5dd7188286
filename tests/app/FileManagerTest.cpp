// The local layouts folder: listing and its order, names that must not
// reach outside the folder, copies and their names, deletion, modification
// times, and opening a handed-in file under a coordinated read.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Helper/VKMFileManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/model/CurrentCloudLayout.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/controllers/AlertController.h"
#include "tests/app/support/AppFiles.h"
#include "tests/app/support/AppStage.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

namespace fs = std::filesystem;
using platform::ui::AlertController;

namespace {

fs::path Folder() { return VKMFileManager::pathToVKMDocumentsFolder(); }

}  // namespace

TEST(FileManager, ListsLayoutFilesOnlyInCaseInsensitiveOrder) {
    testsupport::RegisterServices();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    EXPECT_EQ(VKMFileManager::nameOfFirstLayoutFile(), std::nullopt);

    // Nothing a layout file could be: the first name is none of them.
    testsupport::WriteText(Folder() / ".hidden", "x");
    testsupport::WriteText(Folder() / "export.png", "x");
    EXPECT_TRUE(VKMFileManager::contentsOfVKMDocumentsFolder().empty());
    EXPECT_EQ(VKMFileManager::nameOfFirstLayoutFile(), std::nullopt);

    for (const char* name : {"plan 2", "Zed", "Plan", "plan 10", "apple", "a.", "Notes.txt"})
        testsupport::WriteText(Folder() / name, "x");
    const std::vector<std::string> expected{"a.", "apple", "Plan", "plan 10", "plan 2", "Zed"};
    EXPECT_EQ(VKMFileManager::contentsOfVKMDocumentsFolder(), expected);
    EXPECT_EQ(VKMFileManager::nameOfFirstLayoutFile(), std::optional<std::string>("a."));
    EXPECT_EQ(VKMFileManager::folderIndexOfFile("plan 2"), std::optional<std::size_t>(4));
    EXPECT_EQ(VKMFileManager::folderIndexOfFile("export.png"), std::nullopt);
    EXPECT_EQ(VKMFileManager::folderIndexOfFile("plan"), std::nullopt);

    EXPECT_EQ(VKMFileManager::pathToVKMDocumentsFolder(), platform::Paths::documents() / "Local Track Plans");
    EXPECT_EQ(VKMFileManager::pathForAutoSaveFile(), platform::Paths::documents() / "AUTOSAVE");
}

TEST(FileManager, NewNamesMustBeFreePlainAndOfTheAllowedCharacters) {
    testsupport::RegisterServices();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    testsupport::WriteText(Folder() / "Plan", "x");
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"My plan (copy two)", true},
        {"plan", true},  // differs from "Plan" in case only
        {"Gleisplan Ölmühle #3 [v2]", true},
        {"tab\there_+-", true},
        {"Plan", false},
        {"a/b", false},
        {"plan:1", false},
        {"", false},
        {".", false},
        {"..", false},
        {".plan", false},
        {"bad\xff", false},
    };
    for (const Case& c : cases) EXPECT_EQ(VKMFileManager::isValidNewFilename(c.name), c.valid) << c.name;
    EXPECT_FALSE(VKMFileManager::isUniqueFilename("Plan"));
    EXPECT_TRUE(VKMFileManager::isUniqueFilename("Plan 2"));
}

TEST(FileManager, HostileNamesReachNothingInsideOrOutsideTheFolder) {
    testsupport::RegisterServices();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    const fs::path outside = platform::Paths::documents() / "outside";
    testsupport::WriteText(outside, "keep me");
    testsupport::WriteText(Folder() / ".hidden", "keep me too");
    testsupport::WriteText(Folder() / "Plan", "plan");

    const std::string hostile[] = {"",    ".",          "..",          ".hidden",
                                   "a/b", "../outside", "/etc/passwd", std::string("Plan\0x", 6)};
    for (const std::string& name : hostile) {
        EXPECT_EQ(VKMFileManager::absolutePathToPlan(name), std::nullopt) << name;
        EXPECT_FALSE(VKMFileManager::fileExists(name)) << name;
        EXPECT_EQ(VKMFileManager::cloneFile(name), std::nullopt) << name;
        EXPECT_EQ(VKMFileManager::modificationTimeForFile(name), 0) << name;
        VKMFileManager::deleteFile(name);
    }
    EXPECT_EQ(testsupport::ReadText(outside), "keep me");
    EXPECT_EQ(testsupport::ReadText(Folder() / ".hidden"), "keep me too");
    EXPECT_EQ(testsupport::ReadText(Folder() / "Plan"), "plan");
    EXPECT_EQ(VKMFileManager::contentsOfVKMDocumentsFolder(), std::vector<std::string>{"Plan"});

    // Absolute paths: only what lies inside the folder goes.
    fs::create_symlink(platform::Paths::documents(), Folder() / "Up");
    fs::create_symlink(outside, Folder() / "Link");
    const fs::path refusedPaths[] = {outside,
                                     Folder(),
                                     Folder() / ".." / "outside",
                                     Folder() / "Up" / "outside",
                                     Folder() / "Up" / "Local Track Plans",
                                     Folder() / "Plan" / ".."};
    for (const fs::path& path : refusedPaths) {
        testsupport::LogWatch watch;
        VKMFileManager::deleteFileAtAbsolutePath(path);
        EXPECT_EQ(watch.Count("Refused to delete"), 1) << path;
    }
    EXPECT_EQ(testsupport::ReadText(outside), "keep me");
    EXPECT_EQ(testsupport::ReadText(Folder() / "Plan"), "plan");

    // A link in the folder is removed, not what it points to; a folder goes
    // with what it holds.
    VKMFileManager::deleteFileAtAbsolutePath(Folder() / "Link");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Folder() / "Link")));
    EXPECT_EQ(testsupport::ReadText(outside), "keep me");
    testsupport::WriteText(Folder() / "Bundle" / "inner" / "file", "x");
    VKMFileManager::deleteFile("Bundle");
    EXPECT_FALSE(fs::exists(Folder() / "Bundle"));
    VKMFileManager::deleteFile("Plan");
    EXPECT_FALSE(fs::exists(Folder() / "Plan"));

    testsupport::LogWatch watch;
    VKMFileManager::deleteFile("Plan");
    EXPECT_EQ(watch.Count("No file named 'Plan' at " + (Folder() / "Plan").string()), 1);
    VKMFileManager::deleteFileAtAbsolutePath(Folder() / "Plan");
    EXPECT_EQ(watch.Count("Assert: Condition not satisfied - \"rc\""), 1);
    EXPECT_EQ(watch.Count("Failed to delete plan at " + (Folder() / "Plan").string()), 1);
}

TEST(FileManager, ACopyTakesAFreeNameAndAFailedOneGivesNone) {
    testsupport::RegisterServices();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    testsupport::WriteText(Folder() / "Plan", "the plan");
    EXPECT_EQ(VKMFileManager::cloneFile("Plan"), std::optional<std::string>("Copy of Plan"));
    EXPECT_EQ(VKMFileManager::cloneFile("Plan"), std::optional<std::string>("Copy of Plan 2"));
    EXPECT_EQ(testsupport::ReadText(Folder() / "Copy of Plan 2"), "the plan");
    EXPECT_EQ(VKMFileManager::cloneFile("Copy of Plan"), std::optional<std::string>("Copy of Copy of Plan"));

    testsupport::LogWatch watch;
    EXPECT_EQ(VKMFileManager::cloneFile("Missing"), std::nullopt);
    EXPECT_EQ(watch.Count("No file named 'Missing'"), 1);

    // "Copy of " makes the name longer than a file name may be.
    const std::string longName(250, 'p');
    testsupport::WriteText(Folder() / longName, "x");
    EXPECT_EQ(VKMFileManager::cloneFile(longName), std::nullopt);
    EXPECT_EQ(watch.Count("Failed to clone file at"), 1);

    // A link in the folder to a file outside is not copied in.
    const fs::path outside = platform::Paths::documents() / "secret";
    testsupport::WriteText(outside, "secret");
    fs::create_symlink(outside, Folder() / "Link");
    EXPECT_EQ(VKMFileManager::cloneFile("Link"), std::nullopt);
    EXPECT_FALSE(fs::exists(Folder() / "Copy of Link"));
}

TEST(FileManager, ModificationTimesCountWholeSecondsFromTheReferenceDate) {
    testsupport::RegisterServices();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    using namespace std::chrono;
    struct Case {
        const char* name;
        sys_time<milliseconds> time;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"in 2020", sys_days(2020y / 1 / 1) + 700ms, 599529600},
        {"at the reference date", sys_days(2001y / 1 / 1) + 0ms, 0},
        {"half a second before", sys_days(2001y / 1 / 1) - 500ms, 0},
        {"in 1990", sys_days(1990y / 1 / 1) - 1500ms, -347155201},
    };
    for (const Case& c : cases) {
        testsupport::WriteText(Folder() / "Timed", "x");
        fs::last_write_time(Folder() / "Timed", file_clock::from_sys(c.time));
        EXPECT_EQ(VKMFileManager::modificationTimeForFile("Timed"), c.expected) << c.name;
    }
    EXPECT_EQ(VKMFileManager::modificationTimeForFile("Missing"), 0);

    testsupport::LogWatch watch;
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    EXPECT_EQ(watch.Count("Local layouts folder located at: " + Folder().string()), 1);
}

TEST(FileManager, TheFolderIsMadeOnceAtLaunch) {
    testsupport::RegisterServices();
    testsupport::LogWatch watch;
    ASSERT_FALSE(fs::exists(Folder()));
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    EXPECT_TRUE(fs::is_directory(Folder()));
    EXPECT_EQ(watch.Count("Document folder created."), 1);
}

namespace {

// A handed-in file is read off the main thread: runs the main loop (on the
// test's virtual clock, which stays) until its document is handed over.
bool LoadEnded() {
    return platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                               std::chrono::seconds(20));
}

}  // namespace

TEST(FileManager, AHandedInFileIsLoadedInPlaceAndOneThatCannotBeReadIsReported) {
    testsupport::RegisterServices();
    testsupport::RecordingAnalytics& analytics = testsupport::Analytics();
    testsupport::AppStage stage;
    std::vector<std::string> posted;
    std::vector<platform::NotificationCenter::ObserverToken> tokens;
    for (const char* name : {VKMLayoutDocumentHelper::kDocumentLoadedNotification,
                             VKMLayoutDocumentHelper::kDocumentDidCloseNotification}) {
        tokens.push_back(platform::NotificationCenter::defaultCenter().addObserverForName(
            name, nullptr, [&](const platform::Notification& n) { posted.push_back(n.name()); }));
    }
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    session.setCloudLayoutId(std::string("L1"));
    const fs::path good = testsupport::WriteLayout(platform::Paths::tmp() / "handed in.wkst", 2, 2);
    VKMFileManager::openFileAtURL(good);
    ASSERT_TRUE(LoadEnded());
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 2u);
    EXPECT_EQ(session.cloudLayoutId(), std::nullopt);
    ASSERT_EQ(analytics.events.size(), 1u);
    EXPECT_EQ(analytics.events[0].first, "LocalLayoutLoaded");
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back(), "VKMLayoutDocumentLoadedNotification");

    // A broken file is the loader's failure: its alert, no success event.
    VKMFileManager::openFileAtURL(testsupport::WriteLayout(platform::Paths::tmp() / "broken.wkst", 1, 2));
    ASSERT_TRUE(LoadEnded());
    stage.advance(0.5);
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(AlertController::presentedAlerts()[0]->message(), "The elements of the layout could not be read.");
    ASSERT_TRUE(stage.tapAlertButton(AlertController::presentedAlerts()[0], "OK"));
    EXPECT_EQ(analytics.events.back().first, "LayoutLoadFailed");

    // Another program writing the file holds it: the reader is told, and
    // the open document stays as it was.
    VKMFileManager::openFileAtURL(good);
    ASSERT_TRUE(LoadEnded());
    ASSERT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 2u);
    const int writer = ::open(good.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    posted.clear();
    const std::size_t events = analytics.events.size();
    testsupport::LogWatch watch;
    VKMFileManager::openFileAtURL(good);
    ::close(writer);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 2u);
    EXPECT_EQ(analytics.events.size(), events);
    EXPECT_EQ(watch.Count("Failed to read local layout file at '" + good.string() + "'"), 1);
    stage.advance(0.5);
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(AlertController::presentedAlerts()[0]->title(), "Operation failed");
    EXPECT_EQ(AlertController::presentedAlerts()[0]->message(), "The layout file could not be opened.");
    ASSERT_TRUE(stage.tapAlertButton(AlertController::presentedAlerts()[0], "OK"));

    // So is a file that is not there.
    VKMFileManager::openFileAtURL(platform::Paths::tmp() / "gone.wkst");
    stage.advance(0.5);
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_TRUE(posted.empty());
    ASSERT_TRUE(stage.tapAlertButton(AlertController::presentedAlerts()[0], "OK"));

    // A pipe nobody writes to cannot be opened either; the read never waits
    // for a writer.
    const fs::path pipe = platform::Paths::tmp() / "pipe.wkst";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    VKMFileManager::openFileAtURL(pipe);
    if (!LoadEnded()) {
        ADD_FAILURE() << "the read waits for a writer of the pipe";
        ::close(::open(pipe.c_str(), O_WRONLY));
        ASSERT_TRUE(LoadEnded());
    }
    stage.advance(0.5);
    ASSERT_EQ(AlertController::presentedAlerts().size(), 1u);
    EXPECT_EQ(AlertController::presentedAlerts()[0]->message(), "The layout file could not be opened.");
    EXPECT_EQ(watch.Count("Failed to load layout file: not a plain file"), 1);
}

TEST(FileManager, AHandedInFileIsClosedOverOnceAndHeldUntilItHasBeenRead) {
    testsupport::RegisterServices();
    testsupport::AppStage stage;
    int closes = 0;
    const auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMLayoutDocumentHelper::kDocumentDidCloseNotification, nullptr,
        [&](const platform::Notification&) { ++closes; });
    const fs::path good = testsupport::WriteLayout(platform::Paths::tmp() / "held.wkst", 3, 3);

    // The read waits behind a block that holds the load queue.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    VKMLayoutDocumentHelper::loadQueue().async([released] { released.wait(); });
    VKMFileManager::openFileAtURL(good);
    EXPECT_EQ(closes, 1) << "the current layout closed more than once";
    ASSERT_TRUE(VKMLayoutDocumentHelper::isLoading());
    // A writer cannot take the file between the coordination and the read.
    const int writer = ::open(good.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_NE(::flock(writer, LOCK_EX | LOCK_NB), 0) << "the file was let go before it was read";
    release.set_value();
    ASSERT_TRUE(LoadEnded());
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 3u);
    EXPECT_EQ(closes, 1);
    // Once read, it is let go.
    EXPECT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    ::close(writer);
    platform::NotificationCenter::defaultCenter().removeObserver(token);
}
