#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"

#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/UIColorCColorPalette.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/NotificationCenter.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

namespace {

// The app always shuffles the list and starts at a random colour.
constexpr int kShuffle = 1;
constexpr int kShuffledMode = 1;

}  // namespace

void VKMAutoColorizeHelper::autoColorizeTracks(int operation) {
    colorizeWithColorList(convertToColorList(autoColorizeColors()), operation);
    platform::NotificationCenter::defaultCenter().postNotificationName(kQLLayoutPropertiesChangedNotification,
                                                                       notificationObject());
    QLActivityAnalytics::trackEvent("AutoColorized");
    VKMHoverNotification::displayMessage(ZDUtils::localizedString("AutoColorized"));
}

tColorList VKMAutoColorizeHelper::convertToColorList(const std::vector<platform::Color>& colors) {
    tColorList list;
    list.reserve(colors.size());
    for (const platform::Color& color : colors) list.push_back(UIColorCColor::CColor(color));
    return list;
}

void VKMAutoColorizeHelper::colorizeWithColorList(const tColorList& colors, int operation) {
    const tElements& elements = CCurrentCloudLayout::Instance().Layout()->GetElements();
    const tElementGroups groups =
        UAutoColorize::GroupElementsForOperation(elements, operation, static_cast<int>(colors.size()));
    UAutoColorize::ApplyColorList(groups, colors, kShuffle, kShuffledMode);
}

std::vector<platform::Color> VKMAutoColorizeHelper::autoColorizeColors() {
    using namespace UIColorCColor;
    return {paperColorTeal200(),      paperColorDeepOrange200(), paperColorGreen200(),   paperColorAmber200(),
            paperColorLightBlue200(), paperColorYellow200(),     paperColorIndigo200(),  paperColorRed200(),
            paperColorLime200(),      paperColorPink200(),       paperColorBlueGray200()};
}

const void* VKMAutoColorizeHelper::notificationObject() {
    static const char identity = 0;
    return &identity;
}
