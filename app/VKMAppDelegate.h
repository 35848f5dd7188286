#pragma once
// The application's delegate: starts telemetry (showing it the application
// object, whose state its sessions follow) and crash reporting, the
// engine with its log, the documents folder and the caches, shapes the tab
// bar of the main storyboard's window, keeps the launch dates, refreshes
// the signed-in user, and afterwards switches tabs and refreshes the
// profile picture on the last tab as app-wide notifications come. It is
// also the crash service's delegate, attaching the recent log to reports.
//
// Tabs of the window's tab bar controller: 0 the catalogue, 2 the layout
// screen, 3 the part list (only while a document is loaded), the profile
// last; the storyboard's last entry, the debug screen, is removed at
// launch. Main thread only; observers run on the posting thread.

#include "app/Utilities/System/QLNotificationObserverTracker.h"
#include "crashes/TelemetryCrashes/TLMCrashesDelegate.h"
#include "platform/ui/views/ApplicationDelegate.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Image;
}
namespace platform::ui {
class SoundPlayer;
class TabBarController;
class ViewController;
}  // namespace platform::ui

class VKMAppDelegate : public platform::ui::ApplicationDelegate,
                       public TLMCrashesDelegate,
                       public std::enable_shared_from_this<VKMAppDelegate> {
public:
    // User defaults of the launch dates (dates).
    static constexpr const char* kFirstLaunchDateKey = "VKMFirstLaunchDateTime";
    static constexpr const char* kCurrentAppLaunchDateKey = "VKMCurrentAppLaunchDateDefault";
    static constexpr const char* kLastAppLaunchDateKey = "VKMLastAppLaunchDateDefault";

    static constexpr std::size_t kCatalogTabIndex = 0;
    static constexpr std::size_t kLayoutTabIndex = 2;
    static constexpr std::size_t kPartListTabIndex = 3;
    // Tab bars with more items than this put the picture on this item.
    static constexpr std::size_t kProfileTabLimit = 5;
    static constexpr const char* kSignedOutTabImage = "ic_account_circle";

    static constexpr int kAttachedLogLines = 200;
    static constexpr const char* kLogAttachmentName = "App.log";

    struct Configuration {
        // The telemetry client's application secret; the build's by default.
        std::string appSecret = buildAppSecret();
        // The program's sound output; none keeps the app silent.
        std::shared_ptr<platform::ui::SoundPlayer> soundPlayer;
    };

    // The secret the build was configured with (VEKMONT_APP_SECRET).
    static std::string buildAppSecret();

    VKMAppDelegate() : VKMAppDelegate(Configuration()) {}
    explicit VKMAppDelegate(Configuration configuration);
    ~VKMAppDelegate() override;

    std::shared_ptr<platform::ui::Window> window() const override { return mWindow; }
    void setWindow(std::shared_ptr<platform::ui::Window> window) override { mWindow = std::move(window); }
    // The delegate's observers; made at launch.
    const std::unique_ptr<QLNotificationObserverTracker>& notificationTracker() const { return mNotificationTracker; }
    // The part-list screen while its tab is hidden.
    std::shared_ptr<platform::ui::ViewController> partsViewController() const { return mPartsViewController; }

    // The launch, in its fixed order; always true.
    bool applicationDidFinishLaunchingWithOptions(platform::ui::Application& application,
                                                  const platform::Value& launchOptions) override;
    // Posts the request to open the file; true for a non-empty path.
    bool applicationOpenURL(platform::ui::Application& application, const std::filesystem::path& url,
                            const platform::Value& options) override;
    // Logs, stops a layout being read and waits for it, then waits half a
    // second on a background queue.
    void applicationWillTerminate(platform::ui::Application& application) override;
    void applicationDidReceiveMemoryWarning(platform::ui::Application& application) override;

    // The recent log as "App.log".
    std::vector<std::shared_ptr<TLMErrorAttachmentLog>> attachmentsWithCrashes(TLMCrashes& crashes,
                                                                               const TLMErrorReport& report) override;

    // "Logs/Vekmont.log" under the library folder (made when missing);
    // none when there is no library folder.
    static std::optional<std::filesystem::path> getPathToLogFile();
    // The last 200 lines of the previous log (kept when the log was trimmed
    // at start) and the current one together; none when neither reads.
    static std::optional<std::string> stringWithRecentContentsOfLog();

    // The launch's steps and the observers' reactions.
    void initializeTelemetry();
    void registerForNotifications();
    void removeDebugTab();
    void refreshUserProfileImage();
    void setPartListTabItemVisibilityTo(bool visible);
    static void storeInitialLaunchDate();
    static void maintainLastAppLaunchDate();
    void refreshUserDetails();
    void cacheProfileImage(const std::string& blobName);

    // The window's root controller as a tab bar controller; null otherwise.
    std::shared_ptr<platform::ui::TabBarController> tabBarController() const;

private:
    void selectTab(std::size_t index);

    Configuration mConfiguration;
    std::shared_ptr<platform::ui::Window> mWindow;
    std::shared_ptr<platform::ui::ViewController> mPartsViewController;
    std::unique_ptr<QLNotificationObserverTracker> mNotificationTracker;
};
