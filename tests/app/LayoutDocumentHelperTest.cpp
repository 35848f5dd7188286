// Opening and closing the layout document from the app: the notifications
// and their order, the counter and event, the failure alert with the
// holder's message, and an empty document after any failure.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
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

namespace {

// Records where and when its work runs; the work sees the document alone.
class RecordingPreparer : public VKMLayoutDocumentHelper::DocumentPreparer {
public:
    tWork beginPreparing() override {
        std::lock_guard lock(mutex);
        events.push_back("begin");
        return [this](CLayout& layout, const tSuperseded&) {
            std::lock_guard lock(mutex);
            events.push_back("prepare " + std::to_string(layout.GetElements().size()));
            offMain = offMain && std::this_thread::get_id() != mainThread;
            // Not handed over yet: the holder has the closed, empty document.
            unseen = unseen && CCurrentCloudLayout::Instance().Layout() != &layout;
            layout.GetParameters().mWorkspaceWidth = 4321;
        };
    }
    void documentAdopted(CLayout& layout) override {
        std::lock_guard lock(mutex);
        events.push_back("adopted");
        EXPECT_EQ(CCurrentCloudLayout::Instance().Layout(), &layout);
    }
    std::vector<std::string> taken() {
        std::lock_guard lock(mutex);
        return std::exchange(events, {});
    }

    std::mutex mutex;
    std::vector<std::string> events;
    const std::thread::id mainThread = std::this_thread::get_id();
    bool offMain = true;
    bool unseen = true;
};

// Its first work runs until the open it prepares is superseded (looked at
// every millisecond, 20 s at most); the others return at once.
struct StoppablePreparer : VKMLayoutDocumentHelper::DocumentPreparer {
    tWork beginPreparing() override {
        return [this](CLayout&, const tSuperseded& superseded) {
            if (works++ > 0) return;
            started.set_value();
            for (int i = 0; i < 20'000 && !superseded(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stopped = superseded();
        };
    }

    std::atomic<int> works{0};
    std::promise<void> started;
    std::atomic<bool> stopped{false};
};

}  // namespace

TEST(LayoutDocumentHelper, APreparerReadiesEachDocumentAnOpenReadsBeforeItIsHandedOver) {
    testsupport::RegisterServices();
    RegisterCounters();
    testsupport::AppStage stage;
    auto preparer = std::make_shared<RecordingPreparer>();
    VKMLayoutDocumentHelper::setDocumentPreparer(preparer);
    std::vector<std::string> loaded;
    const auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr,
        [&](const platform::Notification&) { loaded.push_back("loaded"); });
    const auto opened = [] {
        return platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                                   std::chrono::seconds(20));
    };
    const std::string good = WriteLayout("prepared.wkst", 3, 3);

    // The load queue is held so that the read cannot come before the look.
    std::promise<void> first;
    VKMLayoutDocumentHelper::loadQueue().async([held = first.get_future().share()] { held.wait(); });
    VKMLayoutDocumentHelper::openLayoutFile(good);
    EXPECT_EQ(preparer->taken(), std::vector<std::string>{"begin"}) << "begun on the main thread as the open starts";
    first.set_value();
    ASSERT_TRUE(opened());
    EXPECT_EQ(preparer->taken(), (std::vector<std::string>{"prepare 3", "adopted"}));
    EXPECT_EQ(loaded.size(), 1u) << "after the adoption";
    EXPECT_TRUE(preparer->offMain);
    EXPECT_TRUE(preparer->unseen);
    EXPECT_EQ(CCurrentCloudLayout::Instance().Layout()->GetParameters().mWorkspaceWidth, 4321);

    // An open a later one replaces is not prepared; a file that is not read
    // is neither prepared nor adopted.
    std::promise<void> release;
    VKMLayoutDocumentHelper::loadQueue().async([held = release.get_future().share()] { held.wait(); });
    VKMLayoutDocumentHelper::openLayoutFile(good);
    VKMLayoutDocumentHelper::openLayoutFile(WriteLayout("cut.wkst", 3, 5));
    release.set_value();
    ASSERT_TRUE(opened());
    stage.advance(0.5);
    EXPECT_EQ(preparer->taken(), (std::vector<std::string>{"begin", "begin"}));
    EXPECT_EQ(loaded.size(), 1u);
    for (const auto& alert : AlertController::presentedAlerts()) alert->dismissViewController(false);

    // Loading on the main thread, and opening with no preparer, prepare nothing.
    ASSERT_TRUE(VKMLayoutDocumentHelper::loadLayoutFile(good));
    VKMLayoutDocumentHelper::setDocumentPreparer(nullptr);
    VKMLayoutDocumentHelper::openLayoutFile(good);
    ASSERT_TRUE(opened());
    EXPECT_TRUE(preparer->taken().empty());
    EXPECT_EQ(loaded.size(), 3u);
    EXPECT_NE(CCurrentCloudLayout::Instance().Layout()->GetParameters().mWorkspaceWidth, 4321);
}

TEST(LayoutDocumentHelper, ANewerOpenStopsThePreparationOfTheOneItReplacesWhichReadsNothingWhenItsTurnHasNotCome) {
    testsupport::RegisterServices();
    RegisterCounters();
    testsupport::AppStage stage;
    auto preparer = std::make_shared<StoppablePreparer>();
    VKMLayoutDocumentHelper::setDocumentPreparer(preparer);
    const auto opened = [] {
        return platform::RunLoop::main()->runUntil([] { return !VKMLayoutDocumentHelper::isLoading(); },
                                                   std::chrono::seconds(30));
    };
    std::vector<std::string> results;
    const auto record = [&results](const std::string& name) {
        return [&results, name](bool ok) { results.push_back(name + (ok ? " opened" : " dropped")); };
    };

    // The first open's preparation runs until the second open begins.
    VKMLayoutDocumentHelper::openLayoutFile(WriteLayout("slow.wkst", 2, 2), record("slow"));
    preparer->started.get_future().wait();
    VKMLayoutDocumentHelper::openLayoutFile(WriteLayout("newer.wkst", 4, 4), record("newer"));
    ASSERT_TRUE(opened());
    EXPECT_TRUE(preparer->stopped);

    // An open replaced while it waits for its turn never reads its file.
    const std::string missing = (testsupport::processRoot() / "never-read.wkst").string();
    const testsupport::LogWatch watch;
    std::promise<void> release;
    VKMLayoutDocumentHelper::loadQueue().async([held = release.get_future().share()] { held.wait(); });
    VKMLayoutDocumentHelper::openLayoutFile(missing, record("missing"));
    VKMLayoutDocumentHelper::openLayoutFile(WriteLayout("last.wkst", 3, 3), record("last"));
    release.set_value();
    ASSERT_TRUE(opened());
    EXPECT_EQ(watch.Count(missing), 1) << "only the open's own line";
    EXPECT_EQ(results, (std::vector<std::string>{"slow dropped", "newer opened", "missing dropped", "last opened"}));
    EXPECT_EQ(preparer->works, 3);

    // A close stops an open's preparation as a newer open does, and the
    // document stays closed.
    auto closing = std::make_shared<StoppablePreparer>();
    VKMLayoutDocumentHelper::setDocumentPreparer(closing);
    VKMLayoutDocumentHelper::openLayoutFile(WriteLayout("closed.wkst", 5, 5), record("closed"));
    closing->started.get_future().wait();
    VKMLayoutDocumentHelper::closeCurrentLayout();
    EXPECT_FALSE(VKMLayoutDocumentHelper::isLoading());
    ASSERT_TRUE(
        platform::RunLoop::main()->runUntil([&results] { return results.size() == 5; }, std::chrono::seconds(30)));
    EXPECT_TRUE(closing->stopped);
    EXPECT_EQ(results.back(), "closed dropped");
    EXPECT_TRUE(CCurrentCloudLayout::Instance().Layout()->GetElements().empty());
    VKMLayoutDocumentHelper::setDocumentPreparer(nullptr);
}
