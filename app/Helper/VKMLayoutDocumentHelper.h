#pragma once
// The app's way to open and close the one layout document of the
// current-layout holder. Opening first closes (the close notification comes
// before the loaded one), times the load into the counter "LoadLayout" and
// tells the user of a failure in an alert, after which the holder has an
// empty document. Both keep the layout session in step: it forgets the
// document whenever it is closed or replaced. Main thread only.

#include <string>

class VKMLayoutDocumentHelper {
public:
    static constexpr const char* kDocumentLoadedNotification = "VKMLayoutDocumentLoadedNotification";
    static constexpr const char* kDocumentDidCloseNotification = "QLLayoutDocumentDidCloseNotification";

    // The object of both notifications.
    static const void* notificationObject();

    // False for an empty path (only logged) and for a failed load, which is
    // counted as the event "LayoutLoadFailed" and shown in an alert with the
    // holder's failure message.
    static bool loadLayoutFile(const std::string& path);
    // Replaces the document by an empty one, clears the session's dirty
    // flag and posts the close notification.
    static void closeCurrentLayout();
};
