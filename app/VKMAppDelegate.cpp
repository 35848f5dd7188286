#include "app/VKMAppDelegate.h"

#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/VKMCloudCaches.h"
#include "SharingModule/Model/VKMSharedLayouts.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Utilities/Images/UIImageZDUtils.h"
#include "app/Utilities/Messages/VKMHoverNotificationLog.h"
#include "app/Utilities/Rating/VKMAppStoreRatingHelper.h"
#include "app/Utilities/Strings/ZDUtilsStrings.h"
#include "app/Utilities/System/VKMTelemetryApplication.h"
#include "app/Utilities/VKMUISound.h"
#include "app/VKMNotificationNames.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/NamedImages.h"
#include "platform/ui/views/SoundPlayer.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#ifndef VEKMONT_APP_SECRET
#define VEKMONT_APP_SECRET ""
#endif

using platform::Value;
using platform::ui::Application;
using platform::ui::TabBarController;
using platform::ui::ViewController;
namespace fs = std::filesystem;

namespace {

// The whole file; an error description when it cannot be read.
std::optional<std::string> readWholeFile(const fs::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot open ") + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
    return content.str();
}

// One log file as text: UTF-8, else Mac OS Roman as the log may hold other
// bytes; none when it cannot be read.
std::optional<std::string> readLogText(const fs::path& path) {
    std::string error;
    auto bytes = readWholeFile(path, error);
    if (bytes && platform::isValidUtf8(*bytes)) return bytes;
    if (bytes) error = "the log is not UTF-8";
    ZDUtils::logInfo("Failed to read log contents as NSUTF8StringEncoding: %s", error.c_str());
    if (!bytes) {
        ZDUtils::logInfo("Also failed to read log contents as NSMacOSRomanStringEncoding: %s", error.c_str());
        return std::nullopt;
    }
    return platform::macRomanToUtf8(*bytes);
}

std::optional<platform::Clock::Date> storedDate(const std::string& key) {
    auto value = platform::UserDefaults::standard().object(key);
    if (!value || !value->asDate()) return std::nullopt;
    return *value->asDate();
}

}  // namespace

std::string VKMAppDelegate::buildAppSecret() { return VEKMONT_APP_SECRET; }

VKMAppDelegate::VKMAppDelegate(Configuration configuration) : mConfiguration(std::move(configuration)) {}

VKMAppDelegate::~VKMAppDelegate() = default;

bool VKMAppDelegate::applicationDidFinishLaunchingWithOptions(Application& application, const Value& launchOptions) {
    (void)application, (void)launchOptions;
    initializeTelemetry();
    mNotificationTracker = std::make_unique<QLNotificationObserverTracker>();
    registerForNotifications();

    const auto logPath = getPathToLogFile();
    UEngineStartup::Start(logPath ? logPath->c_str() : nullptr);
    // The messages shown to the user go to the log from now on.
    VKMHoverNotificationLog::connect();

    // A sound output that cannot be readied stays silent; nothing to report.
    if (mConfiguration.soundPlayer) mConfiguration.soundPlayer->activateAmbientSession();
    VKMUISound::setSoundPlayer(mConfiguration.soundPlayer);

    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    VKMCloudCaches::removeObsoleteCachedFiles();
    removeDebugTab();
    refreshUserProfileImage();
    setPartListTabItemVisibilityTo(false);
    storeInitialLaunchDate();
    maintainLastAppLaunchDate();
    if (VKMSharedLayouts::sharedLayoutsUser()->hasValidUserCredentials()) refreshUserDetails();

    const auto name = platform::Bundle::main() ? platform::Bundle::main()->infoValue("CFBundleName") : std::nullopt;
    const std::string bundleName = name && name->asString() ? *name->asString() : "";
    const auto& device = platform::ui::Device::currentDevice();
    ZDUtils::logInfo("%s launch completed on \"%s\" (%s %s)", bundleName.c_str(), device.name().c_str(),
                     device.systemName().c_str(), device.systemVersion().c_str());
    const auto languages = platform::Locale::preferredLanguages();
    const std::string language = languages.empty() ? platform::Locale::current().languageCode() : languages.front();
    ZDUtils::logInfo("Device locale: %s", language.c_str());
    return true;
}

bool VKMAppDelegate::applicationOpenURL(Application& application, const fs::path& url, const Value& options) {
    (void)application, (void)options;
    ZDUtils::logInfo("App was requested to open file at %s", url.c_str());
    platform::NotificationCenter::defaultCenter().postNotificationName(
        VKMNotificationNames::kOpenLocalLayout, this,
        Value(Value::Dictionary{{VKMNotificationNames::kKeyFileURL, Value(url.string())}}));
    return !url.empty();
}

void VKMAppDelegate::applicationWillTerminate(Application& application) {
    (void)application;
    ZDUtils::logInfo("Application will terminate");
    // A layout still being read would read on into the teardown of the
    // engine's statics once the program returns.
    VKMLayoutDocumentHelper::stopLoading();
    // Gives the log and the telemetry queues a moment to finish writing.
    platform::DispatchQueue::global(platform::DispatchQueuePriority::Background).sync([] {
        platform::Clock::shared()->sleepFor(std::chrono::milliseconds(500));
    });
}

void VKMAppDelegate::applicationDidReceiveMemoryWarning(Application& application) {
    (void)application;
    ZDUtils::logInfo("Memory warning received in %s", "VKMAppDelegate");
}

std::vector<std::shared_ptr<TLMErrorAttachmentLog>> VKMAppDelegate::attachmentsWithCrashes(
    TLMCrashes& crashes, const TLMErrorReport& report) {
    (void)crashes, (void)report;
    return {TLMErrorAttachmentLog::attachmentWithText(stringWithRecentContentsOfLog(), kLogAttachmentName)};
}

std::optional<fs::path> VKMAppDelegate::getPathToLogFile() {
    const fs::path library = platform::Paths::library();
    std::error_code error;
    if (!fs::is_directory(library, error)) return std::nullopt;
    fs::create_directory(library / "Logs", error);
    return library / "Logs" / "Vekmont.log";
}

std::optional<std::string> VKMAppDelegate::stringWithRecentContentsOfLog() {
    const auto path = getPathToLogFile();
    if (!path) return std::nullopt;
    ZDUtils::logInfo("Grabbing application log from %s", path->c_str());
    // The start-up keeps a log over its limit as the previous one: the
    // lines before a crash may lie there.
    const fs::path previousPath = CLogger::PreviousLogPath(path->string());
    std::error_code error;
    std::optional<std::string> previous;
    if (fs::exists(previousPath, error)) previous = readLogText(previousPath);
    std::optional<std::string> current = readLogText(*path);
    if (!previous && !current) return std::nullopt;
    std::string text = previous.value_or("");
    if (!text.empty() && text.back() != '\n' && current) text += '\n';
    text += current.value_or("");
    return ZDUtils::substringWithLastLines(text, kAttachedLogLines);
}

void VKMAppDelegate::initializeTelemetry() {
    // Before the start: the session tracker starts a session only for an
    // application it sees on screen.
    VKMTelemetryApplication::registerWithTelemetry(Application::sharedApplication());
    TLMCrashes::setDelegate(weak_from_this());
    // The log gathers its lines: a crash writes them out before the process
    // ends, so that the report's attachment has them.
    TLMCrashes::setCrashWriter(&CLogger::WriteBufferedLinesAtCrash);
    TLMTelemetry::start(mConfiguration.appSecret,
                        {[]() -> TLMServiceAbstract& { return TLMAnalytics::sharedInstance(); },
                         []() -> TLMServiceAbstract& { return TLMCrashes::sharedInstance(); }});
}

void VKMAppDelegate::registerForNotifications() {
    const std::weak_ptr<VKMAppDelegate> weak = weak_from_this();
    auto reaction = [weak](void (*react)(VKMAppDelegate&)) {
        return [weak, react](const platform::Notification&) {
            if (auto self = weak.lock()) react(*self);
        };
    };
    mNotificationTracker->observeNotifications(
        {VKMNotificationNames::kOpenCloudLayoutRequested, VKMNotificationNames::kOpenLocalLayout},
        reaction([](VKMAppDelegate& self) { self.selectTab(kLayoutTabIndex); }));
    mNotificationTracker->observeNotification(VKMLayoutDocumentHelper::kDocumentLoadedNotification,
                                              reaction([](VKMAppDelegate& self) {
                                                  self.setPartListTabItemVisibilityTo(true);
                                                  VKMAppStoreRatingHelper::askForRatingConditionalIn(self.mWindow);
                                              }));
    mNotificationTracker->observeNotification(VKMNotificationNames::kChangeCatalogFilter,
                                              reaction([](VKMAppDelegate& self) { self.selectTab(kCatalogTabIndex); }));
    mNotificationTracker->observeNotifications(
        {QLProfileImageCache::kUpdatedNotification, VKMNotificationNames::kUserLoggedOut,
         VKMNotificationNames::kUserLoggedIn},
        reaction([](VKMAppDelegate& self) { self.refreshUserProfileImage(); }));
}

std::shared_ptr<TabBarController> VKMAppDelegate::tabBarController() const {
    return mWindow ? std::dynamic_pointer_cast<TabBarController>(mWindow->rootViewController()) : nullptr;
}

void VKMAppDelegate::selectTab(std::size_t index) {
    if (auto tabs = tabBarController()) tabs->setSelectedIndex(index);
}

void VKMAppDelegate::removeDebugTab() {
    auto tabs = tabBarController();
    if (!tabs) return;
    auto controllers = tabs->viewControllers();
    if (controllers.empty()) return;
    controllers.pop_back();
    tabs->setViewControllers(std::move(controllers));
}

void VKMAppDelegate::setPartListTabItemVisibilityTo(bool visible) {
    auto tabs = tabBarController();
    if (!tabs) return;
    auto controllers = tabs->viewControllers();
    if (visible) {
        if (mPartsViewController &&
            std::find(controllers.begin(), controllers.end(), mPartsViewController) == controllers.end()) {
            controllers.insert(controllers.begin() + std::min(kPartListTabIndex, controllers.size()),
                               mPartsViewController);
        }
    } else if (controllers.size() > kPartListTabIndex) {
        mPartsViewController = controllers[kPartListTabIndex];
        controllers.erase(controllers.begin() + kPartListTabIndex);
    }
    tabs->setViewControllers(std::move(controllers));
}

void VKMAppDelegate::refreshUserProfileImage() {
    auto tabs = tabBarController();
    if (!tabs) return;
    const auto controllers = tabs->viewControllers();
    if (controllers.empty()) return;
    ViewController& owner =
        controllers.size() <= kProfileTabLimit ? *controllers.back() : *controllers[kProfileTabLimit - 1];

    std::shared_ptr<platform::Image> image;
    const auto user = VKMSharedLayouts::sharedLayoutsUser();
    if (user->hasValidUserCredentials()) {
        auto picture = QLProfileImageCache::sharedInstance().profileImageForUserId(user->userID().value_or(""));
        if (!picture) return;
        auto scaled = UIImageZDUtils::scaleImageToSize(*picture, {32, 32});
        auto grey = scaled ? UIImageZDUtils::grayscaleImage(*scaled) : nullptr;
        auto round = grey ? UIImageZDUtils::cropToCircle(*grey) : nullptr;
        if (!round) return;
        image = round->withRenderingMode(platform::ImageRenderingMode::alwaysOriginal);
    } else {
        image = platform::ui::imageNamed(kSignedOutTabImage);
    }
    owner.tabBarItem().setImage(image);
    owner.tabBarItem().setSelectedImage(image);
    tabs->refreshTabBar();
}

void VKMAppDelegate::storeInitialLaunchDate() {
    if (const auto first = storedDate(kFirstLaunchDateKey)) {
        const std::string text = platform::Locale::current().formatDate(*first, platform::DateStyle::fullStyle,
                                                                        platform::DateStyle::shortStyle);
        ZDUtils::logInfo("Initial launch date was %s", text.c_str());
    } else {
        platform::UserDefaults::standard().setObject(kFirstLaunchDateKey, Value(platform::Clock::shared()->now()));
    }
}

void VKMAppDelegate::maintainLastAppLaunchDate() {
    auto& defaults = platform::UserDefaults::standard();
    if (const auto current = storedDate(kCurrentAppLaunchDateKey))
        defaults.setObject(kLastAppLaunchDateKey, Value(*current));
    defaults.setObject(kCurrentAppLaunchDateKey, Value(platform::Clock::shared()->now()));
    defaults.synchronize();
}

void VKMAppDelegate::refreshUserDetails() {
    const auto user = VKMSharedLayouts::sharedLayoutsUser();
    const std::weak_ptr<VKMAppDelegate> weak = weak_from_this();
    VKMSharedLayouts::sharedLayoutsClient()->summaryForUser(user->userID().value_or(""), [weak](const Value& summary) {
        const auto* fields = summary.asDictionary();
        if (!fields) return;
        const auto blob = fields->find("profileImage512");
        if (blob == fields->end() || !blob->second.asString()) return;
        if (auto self = weak.lock()) self->cacheProfileImage(*blob->second.asString());
    });
}

void VKMAppDelegate::cacheProfileImage(const std::string& blobName) {
    const std::string userId = VKMSharedLayouts::sharedLayoutsUser()->userID().value_or("");
    auto& cache = QLProfileImageCache::sharedInstance();
    if (cache.profileImageForUserId(userId)) return;
    cache.requestProfileImageForUserId(userId, blobName, VKMSharedLayouts::sharedLayoutsClient());
}
