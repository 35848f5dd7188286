#pragma once
// The app-wide transient message. Until the banner is built, a message is
// handed to the message log: the app connects that to its own log, and
// without a connection the message goes to standard error. Main thread only.

#include <functional>
#include <string>

class VKMHoverNotification {
public:
    using tMessageLog = std::function<void(const std::string& text)>;

    static VKMHoverNotification& sharedInstance();

    // showWithString on the shared instance.
    static void displayMessage(const std::string& text);

    void showWithString(const std::string& text);

    // Where shown messages are written; an empty function restores
    // standard error.
    void setMessageLog(tMessageLog log);

private:
    VKMHoverNotification() = default;

    tMessageLog mMessageLog;
};
