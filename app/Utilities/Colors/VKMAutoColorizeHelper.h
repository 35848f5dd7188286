#pragma once
// The app's entry to auto-colourise: colours the open layout's elements by
// one criterion with eleven light palette colours, then tells the layout
// screen (QLLayoutPropertiesChangedNotification), the analytics
// ("AutoColorized") and the user (a short message). Main thread only.

#include <vector>

#include "engine/model/AutoColorize.h"
#include "platform/graphics/Color.h"

// Posted after the open layout's display properties changed; the layout
// screen redraws.
inline constexpr const char* kQLLayoutPropertiesChangedNotification = "QLLayoutPropertiesChangedNotification";

class VKMAutoColorizeHelper {
public:
    // The operation codes of UAutoColorize (1 type to 6 height). The
    // notification, the event and the message follow even when the code
    // is unknown and nothing was coloured.
    static void autoColorizeTracks(int operation);
    // The engine's form of each colour, in order.
    static tColorList convertToColorList(const std::vector<platform::Color>& colors);
    // Groups the current document's elements for the operation (as many
    // height bands as colours) and colours the groups with a shuffled list.
    static void colorizeWithColorList(const tColorList& colors, int operation);

    // Teal, deep orange, green, amber, light blue, yellow, indigo, red,
    // lime, pink and blue grey, each of shade 200.
    static std::vector<platform::Color> autoColorizeColors();
    // The object the notification is posted with.
    static const void* notificationObject();
};
