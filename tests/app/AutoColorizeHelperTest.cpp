// Auto-colourise from the app's side on a layout written by layoutgen and
// opened as the current document: groups share a colour of the app's list,
// and the layout screen, the analytics and the user each hear of it.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "app/Utilities/Messages/VKMHoverNotificationLog.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"

namespace {

// Two straights, two curves of 360, one of 500 and a text, all white.
const char* const kScenario = R"(version 13
layer "Tracks"
straight length=200 color=1,1,1
curve radius=360 sweep=30 color=1,1,1
curve radius=360 sweep=30 color=1,1,1
straight length=100 color=1,1,1
curve radius=500 sweep=15 color=1,1,1
text "Station" at=0,300 size=12 color=1,1,1
)";

struct Opened {
    Opened() {
        layouttest::RegisterServices();
        testsupport::Analytics();
        VKMHoverNotificationLog::connect();
        const std::string path = layouttest::WriteScenario(kScenario, "colorize.wkst");
        EXPECT_TRUE(CCurrentCloudLayout::Instance().LoadLayout(path));
    }
    const tElements& elements() const { return CCurrentCloudLayout::Instance().Layout()->GetElements(); }
};

// What the helper's observers heard.
struct Heard {
    int notifications = 0;
    platform::NotificationCenter::ObserverToken token =
        platform::NotificationCenter::defaultCenter().addObserverForName(
            std::string(kQLLayoutPropertiesChangedNotification), VKMAutoColorizeHelper::notificationObject(),
            [this](const platform::Notification&) { ++notifications; });
};

bool InAppList(const CColor& color) {
    for (const platform::Color& listed : VKMAutoColorizeHelper::autoColorizeColors()) {
        if (UIColorCColor::CColor(listed) == color) return true;
    }
    return false;
}

int CountEvents(const std::string& name) {
    const auto& events = testsupport::Analytics().events;
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.first == name; }));
}

}  // namespace

TEST(AutoColorizeHelper, ByRadiusGroupsShareTheirColourAndEveryoneIsTold) {
    Opened layout;
    const tElements& elements = layout.elements();
    ASSERT_EQ(elements.size(), 6u);
    Heard heard;
    testsupport::LogWatch log;

    VKMAutoColorizeHelper::autoColorizeTracks(kColorizeByRadius);

    const auto colour = [&](std::size_t i) { return elements[i]->GetFirstColor(); };
    EXPECT_EQ(colour(0), colour(3)) << "the straights are one group";
    EXPECT_EQ(colour(1), colour(2)) << "the curves of 360";
    std::set<std::string> distinct;
    for (std::size_t i : {0u, 1u, 4u, 5u}) {
        EXPECT_TRUE(InAppList(colour(i))) << colour(i).ToString();
        distinct.insert(colour(i).ToHexString());
    }
    EXPECT_EQ(distinct.size(), 4u) << "four groups, four colours of eleven";

    EXPECT_EQ(heard.notifications, 1);
    EXPECT_EQ(CountEvents("AutoColorized"), 1);
    EXPECT_EQ(log.Count("Message: Tracks coloured automatically"), 1);
}

TEST(AutoColorizeHelper, AnUnknownOperationColoursNothingButStillTells) {
    Opened layout;
    Heard heard;
    testsupport::LogWatch log;

    VKMAutoColorizeHelper::autoColorizeTracks(7);

    for (const CCompositeGeometry* element : layout.elements()) EXPECT_EQ(element->GetFirstColor(), CColor::White());
    EXPECT_EQ(heard.notifications, 1);
    EXPECT_EQ(CountEvents("AutoColorized"), 1);
    EXPECT_EQ(log.Count("Message: Tracks coloured automatically"), 1);
    EXPECT_EQ(log.Count("Colorize operation <7> not recognized"), 1);
}

TEST(AutoColorizeHelper, HeightBandsAreAsManyAsColours) {
    // Eleven colours make eleven bands 10 high (100 / 11 rounded up) from
    // 0 to 110: the tracks at 0, 10, ..., 100 each get a band and a colour.
    std::string scenario = "version 13\nlayer \"Tracks\"\n";
    for (int i = 0; i <= 10; ++i) {
        scenario +=
            "straight length=50 at=" + std::to_string(i * 100) + ",0," + std::to_string(i * 10) + " color=1,1,1\n";
    }
    layouttest::RegisterServices();
    ASSERT_TRUE(CCurrentCloudLayout::Instance().LoadLayout(layouttest::WriteScenario(scenario, "heights.wkst")));
    const tElements& elements = CCurrentCloudLayout::Instance().Layout()->GetElements();
    ASSERT_EQ(elements.size(), 11u);

    VKMAutoColorizeHelper::colorizeWithColorList(
        VKMAutoColorizeHelper::convertToColorList(VKMAutoColorizeHelper::autoColorizeColors()), kColorizeByHeight);

    std::set<std::string> distinct;
    for (const CCompositeGeometry* element : elements) {
        EXPECT_TRUE(InAppList(element->GetFirstColor()));
        distinct.insert(element->GetFirstColor().ToHexString());
    }
    EXPECT_EQ(distinct.size(), 11u);
}
