// Opening and closing the layout document from the app: the notifications
// and their order, the counter and event, the failure alert with the
// holder's message, and an empty document after any failure.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/controllers/AlertController.h"
#include "tests/app/support/AppFiles.h"
#include "tests/app/support/AppStage.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/TempRoot.h"

namespace {

using platform::ui::AlertController;

struct Posted {
    std::vector<std::string> names;
    std::vector<platform::NotificationCenter::ObserverToken> tokens;
    Posted() {
        for (const char* name : {VKMLayoutDocumentHelper::kDocumentLoadedNotification,
                                 VKMLayoutDocumentHelper::kDocumentDidCloseNotification}) {
            tokens.push_back(platform::NotificationCenter::defaultCenter().addObserverForName(
                name, VKMLayoutDocumentHelper::notificationObject(),
                [this](const platform::Notification& n) { names.push_back(n.name()); }));
        }
    }
};

std::string WriteLayout(const std::string& name, int count, int claimed) {
    return testsupport::WriteLayout(testsupport::processRoot() / name, count, claimed).string();
}

int LoadLayoutCalls() {
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    if (!lines) return -1;
    for (const std::string& line : *lines) {
        if (line.rfind("LoadLayout,", 0) == 0) return std::stoi(line.substr(11));
    }
    return 0;
}

// A counters service of this test's own, counting from nothing: the app side
// looks the service up anew for every test. Never freed, as at start-up.
void RegisterCounters() {
    auto* service = new QLPerformanceCountersService();
    CServiceLocator::Instance().RegisterService(service);
    service->Enable();
}

}  // namespace

TEST(LayoutDocumentHelper, AGoodLayoutClosesThenLoadsAndABrokenOneLeavesAnEmptyDocumentAndAnAlert) {
    testsupport::RegisterServices();
    RegisterCounters();
    testsupport::RecordingAnalytics& analytics = testsupport::Analytics();
    testsupport::AppStage stage;
    Posted posted;
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();

    session.setIsDirty(true);
    session.setLayout(holder.Layout());
    session.setCloudLayoutId(std::string("L7"));
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(WriteLayout("good.wkst", 3, 3)));
    EXPECT_EQ(posted.names, (std::vector<std::string>{"QLLayoutDocumentDidCloseNotification",
                                                      "VKMLayoutDocumentLoadedNotification"}));
    EXPECT_EQ(holder.Layout()->GetElements().size(), 3u);
    EXPECT_FALSE(session.isDirty());
    EXPECT_EQ(session.layout(), nullptr) << "the closed document is forgotten";
    EXPECT_EQ(session.cloudLayoutId(), std::optional<std::string>("L7")) << "the opener's business";
    EXPECT_EQ(LoadLayoutCalls(), 1);
    EXPECT_TRUE(AlertController::presentedAlerts().empty());
    EXPECT_TRUE(analytics.events.empty());

    // Cut short after two of three elements: the reader has read two.
    posted.names.clear();
    testsupport::LogWatch watch;
    session.setLayout(holder.Layout());
    EXPECT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile(WriteLayout("cut.wkst", 2, 3)));
    EXPECT_EQ(posted.names, std::vector<std::string>{"QLLayoutDocumentDidCloseNotification"});
    EXPECT_TRUE(holder.Layout()->GetElements().empty()) << "no half-read document for the screens";
    ASSERT_EQ(holder.Layout()->GetLayerManager().GetLayers().size(), 1u);
    EXPECT_EQ(holder.Layout()->GetLayerManager().GetLayers()[0]->GetName(), "N/A");
    EXPECT_EQ(holder.GetLastLoadErrorMessage(), "The elements of the layout could not be read.");
    EXPECT_EQ(session.layout(), nullptr);
    EXPECT_EQ(LoadLayoutCalls(), 2);
    ASSERT_EQ(analytics.events.size(), 1u);
    EXPECT_EQ(analytics.events[0].first, "LayoutLoadFailed");
    EXPECT_EQ(watch.Count("Assert: Condition not satisfied - \"rc\""), 1);

    stage.advance(0.5);
    auto alerts = AlertController::presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "Operation failed");
    EXPECT_EQ(alerts[0]->message(), "The elements of the layout could not be read.");
    ASSERT_TRUE(stage.tapAlertButton(alerts[0], "OK"));
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    // A file that is not there.
    posted.names.clear();
    EXPECT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile((testsupport::processRoot() / "none.wkst").string()));
    EXPECT_EQ(posted.names, std::vector<std::string>{"QLLayoutDocumentDidCloseNotification"});
    stage.advance(0.5);
    alerts = AlertController::presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->message(), "The layout file could not be opened.");
    EXPECT_EQ(analytics.events.size(), 2u);
    EXPECT_EQ(LoadLayoutCalls(), 3);
}

TEST(LayoutDocumentHelper, AnEmptyPathIsOnlyLoggedAndClosingResetsTheDocumentAndTheSession) {
    testsupport::RegisterServices();
    RegisterCounters();
    testsupport::AppStage stage;
    Posted posted;
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    ASSERT_TRUE(holder.LoadLayout(WriteLayout("kept.wkst", 2, 2)));

    testsupport::LogWatch watch;
    EXPECT_FALSE(VKMLayoutDocumentHelper::loadLayoutFile(""));
    EXPECT_EQ(watch.Count("Invalid input file at loadLayoutFile:"), 1);
    EXPECT_TRUE(posted.names.empty());
    EXPECT_EQ(holder.Layout()->GetElements().size(), 2u) << "nothing else happens";
    EXPECT_EQ(LoadLayoutCalls(), 0);
    stage.advance(0.5);
    EXPECT_TRUE(AlertController::presentedAlerts().empty());

    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    session.setIsDirty(true);
    session.setLayout(holder.Layout());
    VKMLayoutDocumentHelper::closeCurrentLayout();
    EXPECT_EQ(watch.Count("Closing current document"), 1);
    EXPECT_EQ(posted.names, std::vector<std::string>{"QLLayoutDocumentDidCloseNotification"});
    EXPECT_TRUE(holder.Layout()->GetElements().empty());
    EXPECT_FALSE(session.isDirty());
    EXPECT_EQ(session.layout(), nullptr);
}
