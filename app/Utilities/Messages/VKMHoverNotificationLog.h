#pragma once
// Hands the transient messages (VKMHoverNotification) to the app log, as
// info lines "Message: <text>", while no banner shows them. The start-up
// connects it once; connecting again changes nothing.

class VKMHoverNotificationLog {
public:
    static void connect();
};
