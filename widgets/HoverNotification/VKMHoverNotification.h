#pragma once
// The app-wide transient message: a banner near the bottom of the key
// window, above a tab bar there (VKMBouncyMessageTextView), that shows for
// three seconds without blocking touches; a new message replaces the one
// showing. Each message is also handed to the message log: the app
// connects that to its own log, and without a connection the message goes
// to standard error. Main thread only.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class VKMBouncyMessageTextView;

class VKMHoverNotification {
public:
    using tMessageLog = std::function<void(const std::string& text)>;

    static VKMHoverNotification& sharedInstance();

    // showWithString on the shared instance.
    static void displayMessage(const std::string& text);

    // Logs the message and shows it in a new banner, started at once; the
    // banner removes itself when it has played.
    void showWithString(const std::string& text);
    // Hides the banners showing, then adds a new one to the key window (the
    // first window without one); null when there is no window.
    std::shared_ptr<VKMBouncyMessageTextView> installBouncyTextViewWithString(const std::string& text);
    // Stops the animations of every banner in that window and makes them
    // transparent; each one's completion then removes it.
    void hideInstalledBouncyMessageViews();
    // Transparent and out of its window.
    void removeBouncyTextView(VKMBouncyMessageTextView& view);

    // Banners shown since the start.
    std::size_t activeNotifications() const { return mActiveNotifications; }

    // Where shown messages are written; an empty function restores
    // standard error.
    void setMessageLog(tMessageLog log);

    // No banner counted and no message log, as in a new process. For tests
    // that run one after another in a process.
    void resetForTests();

private:
    VKMHoverNotification() = default;

    tMessageLog mMessageLog;
    std::size_t mActiveNotifications = 0;
};
