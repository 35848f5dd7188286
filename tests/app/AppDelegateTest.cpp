// The app's start-up on a virtual clock and a temporary app root: the
// launch dates over two launches, the tab bar shaped from the storyboard's
// six tabs, the part-list tab's rules, the observers' tab switches, the
// profile picture on the last tab, documents handed in, telemetry and the
// crash attachment of the recent log (the previous log included), the
// application object telemetry's sessions follow, an end that waits for a
// layout being opened, and what happens without a library folder.

#include "app/VKMAppDelegate.h"

#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/VKMNotificationNames.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "engine/services/Logger.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/security/Keychain.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/NamedImages.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Context/TLMSessionContext.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TempRoot.h"
#include "tests/app/support/AppFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace platform::ui;
using platform::Value;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kStoryboardTabs{"catalog", "local", "layout", "parts", "profile", "debug"};

std::vector<std::string> titles(const TabBarController& tabs) {
    std::vector<std::string> out;
    for (const auto& controller : tabs.viewControllers()) out.push_back(controller->title());
    return out;
}

std::shared_ptr<TabBarController> makeTabs(const std::vector<std::string>& names) {
    auto tabs = std::make_shared<TabBarController>();
    std::vector<std::shared_ptr<ViewController>> controllers;
    for (const auto& name : names) {
        auto controller = std::make_shared<ViewController>();
        controller->setTitle(name);
        controllers.push_back(controller);
    }
    tabs->setViewControllers(controllers);
    return tabs;
}

std::optional<platform::Clock::Date> storedDate(const char* key) {
    auto value = platform::UserDefaults::standard().object(key);
    if (!value || !value->asDate()) return std::nullopt;
    return *value->asDate();
}

std::string attachmentText(VKMAppDelegate& delegate) {
    const auto attachments = delegate.attachmentsWithCrashes(
        TLMCrashes::sharedInstance(),
        TLMErrorReport(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, nullptr, 0));
    EXPECT_EQ(attachments.size(), 1u);
    if (attachments.empty()) return "";
    EXPECT_EQ(attachments[0]->filename(), std::optional<std::string>("App.log"));
    const auto& data = attachments[0]->data();
    return data ? std::string(data->begin(), data->end()) : std::string();
}

// Numbered lines "<prefix> <i>\n" from `first` to `last`.
std::string numberedLines(const std::string& prefix, int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) text += prefix + " " + std::to_string(i) + "\n";
    return text;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class AppDelegateTest : public ::testing::Test {
protected:
    // A delegate launched with the storyboard's six tabs in a phone window.
    std::shared_ptr<VKMAppDelegate> launch(VKMAppDelegate::Configuration configuration = {}) {
        auto delegate = std::make_shared<VKMAppDelegate>(std::move(configuration));
        auto window = std::make_shared<Window>();
        window->setRootViewController(makeTabs(kStoryboardTabs));
        delegate->setWindow(window);
        EXPECT_TRUE(delegate->applicationDidFinishLaunchingWithOptions(Application::sharedApplication(), Value()));
        window->makeKeyAndVisible();
        return delegate;
    }

    void signIn(const std::string& userId) {
        platform::UserDefaults::standard().setString(VKMSharedLayoutsUser::kUserIDKey, userId);
        const std::string password = "secret";
        platform::security::Keychain().setItem(
            VKMSharedLayoutsUser::kKeychainService, userId,
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(password.data()), password.size()));
    }

    void cacheProfilePicture(const std::string& userId) {
        auto bitmap = platform::BitmapContext::create(8, 8);
        bitmap->setFillColor({1, 0, 0, 1});
        bitmap->fillRect({0, 0, 8, 8});
        auto& cache = QLProfileImageCache::sharedInstance();
        fs::create_directories(cache.files().pathForKey(userId).parent_path());
        ASSERT_TRUE(bitmap->makeImage()->writePNG(cache.files().pathForKey(userId)));
        cache.files().record(userId);
    }

    testsupport::VirtualTime time;
};

TEST_F(AppDelegateTest, TwoLaunchesKeepTheFirstDateAndMoveTheCurrentToTheLast) {
    const auto firstNow = time.clock->now();
    auto first = launch();
    EXPECT_EQ(storedDate(VKMAppDelegate::kFirstLaunchDateKey), firstNow);
    EXPECT_EQ(storedDate(VKMAppDelegate::kCurrentAppLaunchDateKey), firstNow);
    EXPECT_FALSE(storedDate(VKMAppDelegate::kLastAppLaunchDateKey)) << "no last launch before the first";
    first.reset();

    time.clock->setDate(firstNow + std::chrono::hours(30));
    testsupport::LogWatch log;
    auto second = launch();
    EXPECT_EQ(storedDate(VKMAppDelegate::kFirstLaunchDateKey), firstNow);
    EXPECT_EQ(storedDate(VKMAppDelegate::kLastAppLaunchDateKey), firstNow);
    EXPECT_EQ(storedDate(VKMAppDelegate::kCurrentAppLaunchDateKey), firstNow + std::chrono::hours(30));
    EXPECT_EQ(log.Count("Initial launch date was "), 1);
    // Written through to the file, as another process would read them.
    platform::UserDefaults reread(platform::UserDefaults::standard().domain());
    EXPECT_TRUE(reread.object(VKMAppDelegate::kLastAppLaunchDateKey).has_value());

    EXPECT_EQ(log.Count("Vekmont launch completed on \""), 1);
    EXPECT_EQ(log.Count("Device locale: "), 1);
    EXPECT_EQ(log.Count("Removing obsolete cached files older 7 days"), 1);
}

TEST_F(AppDelegateTest, LaunchDropsTheDebugTabHidesThePartListAndStartsTheLog) {
    auto delegate = launch();
    auto tabs = delegate->tabBarController();
    ASSERT_TRUE(tabs);
    EXPECT_EQ(titles(*tabs), (std::vector<std::string>{"catalog", "local", "layout", "profile"}));
    ASSERT_TRUE(delegate->partsViewController());
    EXPECT_EQ(delegate->partsViewController()->title(), "parts");

    const auto path = VKMAppDelegate::getPathToLogFile();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, platform::Paths::library() / "Logs" / "Vekmont.log");
    CLogger::Instance().Flush();
    std::ifstream file(*path);
    const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("launch completed on"), std::string::npos);
    EXPECT_EQ(TLMCrashes::delegate(), delegate) << "the crash service asks this delegate for attachments";
}

TEST_F(AppDelegateTest, MessagesShownToTheUserReachTheLogAfterLaunch) {
    VKMHoverNotification::sharedInstance().setMessageLog({});
    auto delegate = launch();
    testsupport::LogWatch log;
    VKMHoverNotification::displayMessage("Part list copied");
    EXPECT_EQ(log.Count("Message: Part list copied"), 1);
}

TEST_F(AppDelegateTest, PartListTabComesOnceWithADocumentAndGoesOnlyFromFourTabs) {
    auto delegate = launch();
    auto tabs = delegate->tabBarController();
    auto& center = platform::NotificationCenter::defaultCenter();
    center.postNotificationName(VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr);
    center.postNotificationName(VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr);
    EXPECT_EQ(titles(*tabs), (std::vector<std::string>{"catalog", "local", "layout", "parts", "profile"}));

    delegate->setPartListTabItemVisibilityTo(false);
    EXPECT_EQ(titles(*tabs), (std::vector<std::string>{"catalog", "local", "layout", "profile"}));

    // Fewer than four tabs: nothing to hide.
    tabs->setViewControllers({tabs->viewControllers()[0], tabs->viewControllers()[1], tabs->viewControllers()[2]});
    delegate->setPartListTabItemVisibilityTo(false);
    EXPECT_EQ(titles(*tabs), (std::vector<std::string>{"catalog", "local", "layout"}));
    EXPECT_EQ(delegate->partsViewController()->title(), "parts");
}

TEST_F(AppDelegateTest, ObserversSwitchTabsAndStopWithTheDelegate) {
    auto delegate = launch();
    auto tabs = delegate->tabBarController();
    auto& center = platform::NotificationCenter::defaultCenter();
    struct Case {
        const char* notification;
        std::size_t from;
        std::size_t selected;
    };
    const Case cases[] = {
        {VKMNotificationNames::kOpenCloudLayoutRequested, 0, 2},
        {VKMNotificationNames::kOpenLocalLayout, 1, 2},
        {VKMNotificationNames::kChangeCatalogFilter, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notification);
        tabs->setSelectedIndex(c.from);
        center.postNotificationName(c.notification, nullptr);
        EXPECT_EQ(tabs->selectedIndex(), c.selected);
    }

    std::weak_ptr<VKMAppDelegate> gone = delegate;
    delegate.reset();
    EXPECT_TRUE(gone.expired());
    tabs->setSelectedIndex(1);
    center.postNotificationName(VKMNotificationNames::kOpenLocalLayout, nullptr);
    EXPECT_EQ(tabs->selectedIndex(), 1u) << "no observer outlives the delegate";
}

TEST_F(AppDelegateTest, ProfileTabShowsThePictureOfTheSignedInUserOrTheSignedOutImage) {
    auto delegate = launch();
    auto tabs = delegate->tabBarController();
    const auto profile = tabs->viewControllers().back();
    const auto signedOut = imageNamed(VKMAppDelegate::kSignedOutTabImage);
    ASSERT_TRUE(signedOut) << "the resource ships with the app";
    EXPECT_EQ(profile->tabBarItem().image(), signedOut);
    EXPECT_EQ(profile->tabBarItem().selectedImage(), signedOut);

    // Signed in without a cached picture: the item stays as it was.
    signIn("ada");
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kUserLoggedIn, nullptr);
    EXPECT_EQ(profile->tabBarItem().image(), signedOut);

    cacheProfilePicture("ada");
    platform::NotificationCenter::defaultCenter().postNotificationName(QLProfileImageCache::kUpdatedNotification,
                                                                       nullptr);
    const auto picture = profile->tabBarItem().image();
    ASSERT_TRUE(picture);
    EXPECT_NE(picture, signedOut);
    EXPECT_EQ(picture->renderingMode(), platform::ImageRenderingMode::alwaysOriginal) << "never tinted";
    // A grey disc of 32 points cut from the red square.
    EXPECT_EQ(picture->size().width, 32);
    EXPECT_EQ(picture->size().height, 32);
    const auto middle = picture->pixel(picture->pixelWidth() / 2, picture->pixelHeight() / 2);
    const auto corner = picture->pixel(0, 0);
    ASSERT_TRUE(middle && corner);
    EXPECT_EQ(middle->red, middle->green);
    EXPECT_EQ(middle->green, middle->blue);
    EXPECT_GT(middle->alpha, 250);
    EXPECT_EQ(corner->alpha, 0) << "outside the circle";
    EXPECT_EQ(profile->tabBarItem().selectedImage(), picture);

    // With more than five tabs the picture goes on the fifth.
    auto six = makeTabs({"a", "b", "c", "d", "e", "f"});
    delegate->window()->setRootViewController(six);
    delegate->refreshUserProfileImage();
    const auto fifth = six->viewControllers()[4]->tabBarItem().image();
    ASSERT_TRUE(fifth);
    EXPECT_EQ(fifth->renderingMode(), platform::ImageRenderingMode::alwaysOriginal);
    EXPECT_FALSE(six->viewControllers()[5]->tabBarItem().image());

    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kUserLoggedOut, nullptr);
    EXPECT_NE(six->viewControllers()[4]->tabBarItem().image(), signedOut)
        << "still signed in by the stored credentials";
    platform::UserDefaults::standard().setString(VKMSharedLayoutsUser::kUserIDKey, "");
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kUserLoggedOut, nullptr);
    EXPECT_EQ(six->viewControllers()[4]->tabBarItem().image(), signedOut);
}

TEST_F(AppDelegateTest, AHandedInFileIsPostedAsALocalLayoutWithItsPath) {
    auto delegate = launch();
    std::vector<std::pair<const void*, Value>> posts;
    auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMNotificationNames::kOpenLocalLayout, nullptr,
        [&](const platform::Notification& n) { posts.emplace_back(n.object(), n.userInfo()); });
    testsupport::LogWatch log;

    EXPECT_TRUE(Application::sharedApplication().handleOpenURL("/somewhere/not a layout.txt") == false)
        << "no delegate is set on the application in this test";
    EXPECT_TRUE(delegate->applicationOpenURL(Application::sharedApplication(), "/somewhere/not a layout.txt", Value()));
    EXPECT_FALSE(delegate->applicationOpenURL(Application::sharedApplication(), "", Value()));

    ASSERT_EQ(posts.size(), 2u) << "posted whatever the file";
    EXPECT_EQ(posts[0].first, delegate.get());
    EXPECT_EQ(posts[0].second, Value(Value::Dictionary{{"kQLKeyFileURL", Value("/somewhere/not a layout.txt")}}));
    EXPECT_EQ(log.Count("App was requested to open file at /somewhere/not a layout.txt"), 1);
    EXPECT_EQ(delegate->tabBarController()->selectedIndex(), VKMAppDelegate::kLayoutTabIndex);
}

TEST_F(AppDelegateTest, CrashAttachmentHoldsTheLast200LinesOfThePreviousAndTheCurrentLog) {
    const fs::path path = platform::Paths::library() / "Logs" / "Vekmont.log";
    // A log of the last run past its limit: the start-up keeps it aside.
    const std::string before = numberedLines("before the crash", 1, 12000);
    ASSERT_GT(before.size(), 250u * 1024);
    writeFile(path, before);

    auto delegate = launch();
    CLogger::Instance().Flush();
    EXPECT_EQ(fs::file_size(CLogger::PreviousLogPath(path.string())), before.size());
    const std::string text = attachmentText(*delegate);
    EXPECT_NE(text.find("before the crash 12000\n"), std::string::npos) << "the lines before the crash survive";
    EXPECT_NE(text.find("launch completed on"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 199) << "200 lines, the last one empty after the break";
    EXPECT_EQ(text.find("before the crash 1\n"), std::string::npos);
}

TEST_F(AppDelegateTest, ShortLogsAreAttachedWholeAndForeignBytesReadAsMacRoman) {
    const fs::path path = platform::Paths::library() / "Logs" / "Vekmont.log";
    writeFile(path, "one\ntwo\nthree");
    EXPECT_EQ(VKMAppDelegate::stringWithRecentContentsOfLog(), std::optional<std::string>("one\ntwo\nthree"));

    writeFile(path, "caf\x8e\n");
    testsupport::LogWatch log;
    EXPECT_EQ(VKMAppDelegate::stringWithRecentContentsOfLog(), std::optional<std::string>("caf\xC3\xA9\n"));
    EXPECT_EQ(log.Count("Failed to read log contents as NSUTF8StringEncoding"), 1);

    fs::remove(path);
    EXPECT_EQ(VKMAppDelegate::stringWithRecentContentsOfLog(), std::nullopt) << "nothing to read, no text";
    EXPECT_EQ(log.Count("Also failed to read log contents as NSMacOSRomanStringEncoding"), 1);
}

TEST_F(AppDelegateTest, WithoutALibraryFolderTheLaunchLogsToTheConsoleOnly) {
    const fs::path root = platform::Paths::root();
    fs::remove_all(root / "Library");
    writeFile(root / "Library", "a file where the folder belongs");

    EXPECT_EQ(VKMAppDelegate::getPathToLogFile(), std::nullopt);
    testsupport::LogWatch log;
    auto delegate = launch();
    EXPECT_EQ(log.Count("logging to the console only"), 1);
    EXPECT_EQ(log.Count("launch completed on"), 1);
    EXPECT_EQ(VKMAppDelegate::stringWithRecentContentsOfLog(), std::nullopt);
}

TEST_F(AppDelegateTest, TelemetryStartsWithBothServicesAndTheEndWaitsHalfASecond) {
    TLMTelemetry::setLogUrl("http://127.0.0.1:9");
    VKMAppDelegate::Configuration configuration;
    configuration.appSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";
    auto delegate = launch(configuration);
    EXPECT_TRUE(TLMTelemetry::sharedInstance().isSdkConfigured());
    EXPECT_TRUE(TLMAnalytics::sharedInstance().started());
    EXPECT_TRUE(TLMCrashes::sharedInstance().started());

    testsupport::LogWatch log;
    delegate->applicationDidReceiveMemoryWarning(Application::sharedApplication());
    EXPECT_EQ(log.Count("Memory warning received in VKMAppDelegate"), 1);

    time.clock->setAutoAdvance(true);
    const auto before = time.clock->instant();
    delegate->applicationWillTerminate(Application::sharedApplication());
    EXPECT_EQ(time.clock->instant() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(log.Count("Application will terminate"), 1);
}

namespace {

// Holds an open in its preparation until the open is stopped (30 s at most).
struct PreparationUntilStopped : VKMLayoutDocumentHelper::DocumentPreparer {
    tWork beginPreparing() override {
        return [this](CLayout&, const tSuperseded& superseded) {
            started.count_down();
            for (int i = 0; i < 30'000 && !superseded(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stopped = superseded();
            ended = true;
        };
    }
    std::latch started{1};
    std::atomic<bool> stopped{false};
    std::atomic<bool> ended{false};
};

}  // namespace

TEST_F(AppDelegateTest, TheEndStopsALayoutStillBeingOpenedAndWaitsForItsLoader) {
    auto delegate = launch();
    auto preparer = std::make_shared<PreparationUntilStopped>();
    VKMLayoutDocumentHelper::setDocumentPreparer(preparer);
    std::optional<bool> opened;
    VKMLayoutDocumentHelper::openLayoutFile(
        testsupport::WriteLayout(testsupport::processRoot() / "quit.wkst", 3, 3).string(),
        [&opened](bool ok) { opened = ok; });
    preparer->started.wait();

    time.clock->setAutoAdvance(true);
    delegate->applicationWillTerminate(Application::sharedApplication());
    // What runs after the delegate (the program's return, the statics'
    // teardown) meets no loader.
    EXPECT_TRUE(preparer->ended);
    EXPECT_TRUE(preparer->stopped);
    VKMLayoutDocumentHelper::setDocumentPreparer(nullptr);
    ASSERT_TRUE(
        platform::RunLoop::main()->runUntil([&opened] { return opened.has_value(); }, std::chrono::seconds(30)));
    EXPECT_FALSE(*opened);
}

TEST_F(AppDelegateTest, TelemetrySeesTheApplicationSoTheLaunchStartsASessionThatFollowsItsState) {
    TLMTelemetry::setLogUrl("http://127.0.0.1:9");
    VKMAppDelegate::Configuration configuration;
    configuration.appSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";
    auto& application = Application::sharedApplication();
    auto delegate = launch(configuration);

    // On screen at launch: the analytics service's tracker starts a session.
    EXPECT_EQ(TLMUtility::applicationState(), 0);
    const auto first = TLMSessionContext::sharedInstance().sessionId();
    ASSERT_TRUE(first) << "no session started at launch";
    EXPECT_EQ(first->size(), 36u);
    ASSERT_TRUE(TLMUtility::sharedApp());
    EXPECT_TRUE(TLMUtility::sharedApp()->canOpenURL("https://example.org"));
    EXPECT_FALSE(TLMUtility::sharedApp()->canOpenURL("no scheme"));

    application.setApplicationState(ApplicationState::inactive);
    EXPECT_EQ(TLMUtility::applicationState(), 1);
    application.setApplicationState(ApplicationState::background);
    // The crashes service asks from a background queue.
    EXPECT_EQ(std::async(std::launch::async, [] { return TLMUtility::applicationState(); }).get(), 2);

    // Half a minute away with nothing logged: coming back starts another.
    time.clock->advance(std::chrono::seconds(30));
    application.setApplicationState(ApplicationState::active);
    EXPECT_EQ(TLMUtility::applicationState(), 0);
    const auto second = TLMSessionContext::sharedInstance().sessionId();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *first);
}

}  // namespace
