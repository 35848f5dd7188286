#include "widgets/HoverNotification/VKMHoverNotification.h"

#include <cstdio>

VKMHoverNotification& VKMHoverNotification::sharedInstance() {
    static VKMHoverNotification instance;
    return instance;
}

void VKMHoverNotification::displayMessage(const std::string& text) { sharedInstance().showWithString(text); }

void VKMHoverNotification::showWithString(const std::string& text) {
    if (mMessageLog) {
        mMessageLog(text);
        return;
    }
    std::fprintf(stderr, "Message: %s\n", text.c_str());
}

void VKMHoverNotification::setMessageLog(tMessageLog log) { mMessageLog = std::move(log); }
