#pragma once
// The running application, as the screens see it: its state, its windows
// and what it does outside the app, recorded for tests (opened URLs,
// haptics, sounds). The desktop backend (or a test) reports state changes
// with setApplicationState. The life cycle (launch, documents handed in,
// memory warnings, the end) goes to the app's delegate; the application
// main (ApplicationMain.h) drives it, tests call it directly. Main thread
// only.

#include "platform/foundation/Value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {

class ApplicationDelegate;
class Window;

enum class ApplicationState { active, inactive, background };

enum class StatusBarStyle { defaultStyle, lightContent, darkContent };

// One haptic the app asked for.
struct HapticEvent {
    enum class Kind { impact, notification, selection };
    Kind kind = Kind::selection;
    // The impact's style or the notification's type, as the platform
    // numbers them; 0 for a selection.
    int style = 0;
    friend bool operator==(const HapticEvent&, const HapticEvent&) = default;
};

class Application {
public:
    static Application& sharedApplication();

    ApplicationState applicationState() const { return mState; }
    // Moves the application to `state`, posting the platform's notifications
    // in their order: going to the background from active passes through
    // inactive (will resign active, did enter background), coming back
    // (will enter foreground, did become active) likewise.
    void setApplicationState(ApplicationState state);

    // Windows made key and visible, in the order they first were; windows
    // that have gone are left out.
    std::vector<std::shared_ptr<Window>> windows() const;
    std::shared_ptr<Window> keyWindow() const { return mKeyWindow.lock(); }

    // A URL the app could hand to another app: one with a scheme.
    bool canOpenURL(const std::string& url) const;
    // Records the URL and, when a URL opener is installed, hands it on; the
    // completion (when given) hears on the main loop's next turn whether it
    // opened: without an opener whether it would have (canOpenURL).
    void openURL(const std::string& url, std::function<void(bool)> completion = {});
    // The desktop's handler of URLs (installed by the desktop window): true
    // when it took the URL. It must not block. Empty: URLs are only recorded.
    using URLOpener = std::function<bool(const std::string& url)>;
    void setURLOpener(URLOpener opener) { mURLOpener = std::move(opener); }
    const std::vector<std::string>& openedURLs() const { return mOpenedURLs; }

    void recordHaptic(const HapticEvent& haptic) { mHaptics.push_back(haptic); }
    const std::vector<HapticEvent>& haptics() const { return mHaptics; }
    // A sound the app played, by its resource name.
    void recordSound(std::string name) { mSounds.push_back(std::move(name)); }
    const std::vector<std::string>& playedSounds() const { return mSounds; }

    StatusBarStyle statusBarStyle() const { return mStatusBarStyle; }
    void setStatusBarStyle(StatusBarStyle style) { mStatusBarStyle = style; }

    // Forgets the recorded URLs, haptics and sounds.
    void clearRecords();

    // --- life cycle ------------------------------------------------------
    // Owned, as the application main keeps the delegate it made.
    std::shared_ptr<ApplicationDelegate> delegate() const { return mDelegate; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) { mDelegate = std::move(delegate); }
    // The delegate's launch, then kApplicationDidFinishLaunchingNotification;
    // the delegate's answer (true without a delegate).
    bool finishLaunching(const Value& launchOptions = Value());
    // A file handed in by another app, to the delegate's open-URL entry;
    // false without a delegate.
    bool handleOpenURL(const std::filesystem::path& url, const Value& options = Value());
    // The delegate hears that the process ends, then
    // kApplicationWillTerminateNotification is posted. Once: later calls
    // do nothing.
    void terminate();
    bool isTerminating() const { return mTerminated; }
    // Forgets the delegate and that the app has terminated, as a new
    // process starts: for tests that run the life cycle more than once in
    // one process.
    void resetLifeCycle();
    // The delegate first, then kApplicationDidReceiveMemoryWarningNotification,
    // then every view controller of every window.
    void receiveMemoryWarning();

private:
    friend class Window;
    Application() = default;
    void windowBecameKey(const std::shared_ptr<Window>& window);
    void addWindow(const std::shared_ptr<Window>& window);

    ApplicationState mState = ApplicationState::active;
    std::vector<std::weak_ptr<Window>> mWindows;
    std::weak_ptr<Window> mKeyWindow;
    std::vector<std::string> mOpenedURLs;
    URLOpener mURLOpener;
    std::vector<HapticEvent> mHaptics;
    std::vector<std::string> mSounds;
    StatusBarStyle mStatusBarStyle = StatusBarStyle::defaultStyle;
    std::shared_ptr<ApplicationDelegate> mDelegate;
    bool mTerminated = false;
};

}  // namespace platform::ui
