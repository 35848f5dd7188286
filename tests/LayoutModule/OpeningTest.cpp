// Opening a layout as a user meets it, in the whole app (the delegate and
// the program's tab bar) on a virtual clock: a file handed in at launch,
// and one opened from the local layouts tab. From the open's start until
// the first frame that shows the layout, every frame of the layout tab shows
// that it is busy (the busy view from its delay on) and never that no
// layout is open; and frames go on being presented while the steps off the
// main thread are held in turn: the read, then the tiles. The document
// arrives fitted with its elements built, so the main thread builds nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DocPickerModule/LocalLayouts/VKMLocalLayoutsViewController.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "app/Helper/VKMFileManager.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/VKMAppDelegate.h"
#include "app/Utilities/Views/ZDThreeDotProgressView.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ServiceLocator.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/Image.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/TableView.h"
#include "platform/ui/views/Window.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/platform/support/VirtualTime.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/vekmont/VekmontScenes.h"

using namespace platform::ui;

namespace {

constexpr double kFrame = 1.0 / 60;
constexpr double kBusyViewDelay = VKMLayoutViewController::kProgressDelay;

// A generated layout (tracks, labels, shapes, groups, layers, pictures).
std::filesystem::path WriteGenerated(const std::string& name) {
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, 1500, 20240601, 13);
    const auto path = platform::Paths::tmp() / name;
    const auto bytes = ULayoutFileWriter::LayoutFileBytes(document.FileContent());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Holds a serial queue, or every thread of the shared pool, until released
// (at the latest when it goes, so that a failed check never hangs the
// process).
class Hold {
public:
    void onQueue(platform::DispatchQueue& queue) {
        queue.async([held = mReleased] { held.wait(); });
    }
    // Blocks of higher priority than the tiles' take every thread.
    void onPool() {
        std::vector<std::shared_ptr<std::promise<void>>> started;
        for (unsigned i = 0; i < platform::DispatchQueue::concurrency(); ++i) {
            auto running = std::make_shared<std::promise<void>>();
            started.push_back(running);
            platform::DispatchQueue::global(platform::DispatchQueuePriority::High).async([held = mReleased, running] {
                running->set_value();
                held.wait();
            });
        }
        for (const auto& running : started) running->get_future().wait();
    }
    void release() {
        if (!mDone) mRelease.set_value();
        mDone = true;
    }
    ~Hold() { release(); }

private:
    std::promise<void> mRelease;
    std::shared_future<void> mReleased = mRelease.get_future().share();
    bool mDone = false;
};

// What one frame of the app showed.
struct tFrame {
    double at = 0;           // seconds since the open began
    bool presented = false;  // the window was composited
    bool layoutTab = false;  // the layout tab was the one shown
    bool noLayoutOpen = false;
    bool busyView = false;
};

class OpeningApp {
public:
    OpeningApp() {
        // layoutgen measures its labels.
        layouttest::RegisterServices();
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
        Screen::mainScreen()->setSize({390, 844});
        Screen::mainScreen()->setScale(2);
        vekmont::registerScenes();
        mShownToken = platform::NotificationCenter::defaultCenter().addObserverForName(
            VKMLayoutViewController::kLayoutShownNotification, nullptr,
            [this](const platform::Notification&) { ++shown; });
        mLoadedToken = platform::NotificationCenter::defaultCenter().addObserverForName(
            VKMLayoutDocumentHelper::kDocumentLoadedNotification, nullptr,
            [this](const platform::Notification&) { ++loaded; });
        // The open begins with its close and this.
        mLoadingToken = platform::NotificationCenter::defaultCenter().addObserverForName(
            VKMLayoutDocumentHelper::kDocumentLoadingNotification, nullptr, [this](const platform::Notification&) {
                if (!mOpenedAt) mOpenedAt = time.clock->instant();
            });
    }
    ~OpeningApp() {
        mProbe.reset();
        if (window) window->setRootViewController(nullptr);
        Application::sharedApplication().setDelegate(nullptr);
    }

    // As the application main starts the app: the window with the main
    // storyboard's tab bar, the launch, the window shown, then the file
    // handed in (when there is one).
    void launch(const std::optional<std::filesystem::path>& handedIn = std::nullopt) {
        VKMAppDelegate::Configuration quiet;
        quiet.appSecret.clear();
        delegate = std::make_shared<VKMAppDelegate>(quiet);
        Application& application = Application::sharedApplication();
        application.setDelegate(delegate);
        window = std::make_shared<Window>(platform::Rect{0, 0, 390, 844});
        tabs = std::dynamic_pointer_cast<TabBarController>(
            Storyboard(vekmont::kMainStoryboard).instantiateInitialViewController());
        ASSERT_NE(tabs, nullptr);
        window->setRootViewController(tabs);
        delegate->setWindow(window);
        application.finishLaunching();
        // The launch's services replace the test's: counters that count.
        auto* counters = new QLPerformanceCountersService();
        counters->Enable();
        CServiceLocator::Instance().RegisterService(counters);
        QLPerformanceCounters::forgetService();
        window->makeKeyAndVisible();
        mProbe = std::make_unique<platform::DisplayLink>([this](const platform::DisplayLink::Frame&) { record(); });
        mProbe->addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Common);
        if (handedIn) application.handleOpenURL(*handedIn);
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i)
            time.clock->advance(
                std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(kFrame)));
    }

    // Frames until the open has begun (a sheet's action runs once the sheet
    // has gone).
    bool untilOpenBegins() {
        for (int i = 0; i < 120 && !mOpenedAt; ++i) frames(1);
        return mOpenedAt.has_value();
    }
    // Frames until the loaded notification, the document read off the main
    // thread meanwhile.
    bool untilLoaded() {
        return untilInRealTime([this] { return loaded > 0; });
    }
    // Frames, with the tiles' arrival waited for, until the layout is shown.
    bool untilShown() {
        return untilInRealTime([this] {
            if (const auto view = layoutView()) view->waitForTiles(std::chrono::milliseconds(50));
            return shown > 0;
        });
    }

    std::shared_ptr<VKMLayoutViewController> layoutScreen() const {
        if (!tabs) return nullptr;
        for (const auto& controller : tabs->viewControllers()) {
            if (auto screen = std::dynamic_pointer_cast<VKMLayoutViewController>(controller)) return screen;
        }
        return nullptr;
    }
    std::shared_ptr<VKMLayoutView> layoutView() const {
        const auto screen = layoutScreen();
        return screen ? screen->outlets.layoutView.lock() : nullptr;
    }

    // Frames from the open's start on.
    std::vector<tFrame> openFrames() const {
        std::vector<tFrame> open;
        for (const tFrame& frame : mFrames) {
            if (frame.at >= 0) open.push_back(frame);
        }
        return open;
    }
    std::size_t frameCount() const { return mFrames.size(); }
    const tFrame& lastFrame() const { return mFrames.back(); }
    std::shared_ptr<platform::Image> lastPicture() const { return mLastPicture; }

    testsupport::VirtualTime time;
    std::shared_ptr<VKMAppDelegate> delegate;
    std::shared_ptr<Window> window;
    std::shared_ptr<TabBarController> tabs;
    int shown = 0;
    int loaded = 0;

private:
    template <typename Done>
    bool untilInRealTime(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            frames(1);
        }
        return true;
    }

    void record() {
        tFrame frame;
        frame.at = mOpenedAt ? std::chrono::duration<double>(time.clock->instant() - *mOpenedAt).count() : -1;
        mLastPicture = window->snapshot();
        frame.presented = mLastPicture != nullptr;
        const auto screen = layoutScreen();
        frame.layoutTab = screen && tabs->selectedViewController() == screen;
        if (screen && screen->isViewLoaded()) {
            const auto empty = screen->outlets.emptyStateStackView.lock();
            frame.noLayoutOpen = frame.layoutTab && empty && !empty->isHidden() && empty->window() != nullptr;
            const auto busy = screen->progressHUD();
            frame.busyView = frame.layoutTab && busy && busy->window() != nullptr && busy->alpha() > 0.99;
        }
        mFrames.push_back(frame);
    }

    std::unique_ptr<platform::DisplayLink> mProbe;
    std::optional<platform::Clock::Instant> mOpenedAt;
    std::vector<tFrame> mFrames;
    std::shared_ptr<platform::Image> mLastPicture;
    platform::NotificationCenter::ObserverToken mShownToken;
    platform::NotificationCenter::ObserverToken mLoadedToken;
    platform::NotificationCenter::ObserverToken mLoadingToken;
};

// Measurements recorded under the counter's name so far.
int CounterCalls(const std::string& name) {
    const auto lines = QLPerformanceCounters::getCountersAsStrings();
    if (!lines) return -1;
    for (const std::string& line : *lines) {
        if (line.rfind(name + ",", 0) == 0) return std::stoi(line.substr(name.size() + 1));
    }
    return 0;
}

// The open's frames up to the layout shown: every one on the layout tab,
// busy and never saying that no layout is open, the busy view there from
// its delay on; `upTo` frames since the open's start are checked.
void ExpectBusyThroughout(const std::vector<tFrame>& frames, std::size_t upTo) {
    ASSERT_GE(frames.size(), upTo);
    for (std::size_t i = 0; i < upTo; ++i) {
        const tFrame& frame = frames[i];
        SCOPED_TRACE("frame at " + std::to_string(frame.at) + " s");
        EXPECT_TRUE(frame.presented);
        EXPECT_TRUE(frame.layoutTab);
        EXPECT_FALSE(frame.noLayoutOpen) << "the screen says no layout is open";
        // A frame's time is a little past the delay's timer.
        if (frame.at > kBusyViewDelay + kFrame) {
            EXPECT_TRUE(frame.busyView) << "no busy view";
        }
    }
}

// Runs the open from its start, the read and the tiles held in turn: what
// each road shares once the open has begun.
void RunHeldOpen(OpeningApp& app, Hold& read) {
    ASSERT_TRUE(app.untilOpenBegins());
    // The read waits: half a second of frames, all presented and busy.
    app.frames(30);
    const std::size_t duringRead = app.openFrames().size();
    EXPECT_GE(duringRead, 30u);
    EXPECT_EQ(app.loaded, 0);
    EXPECT_TRUE(CCurrentCloudLayout::Instance().Layout()->GetElements().empty());

    const int builtBefore = CounterCalls("CreateContentRenderData");
    read.release();
    ASSERT_TRUE(app.untilLoaded());
    const int built = CounterCalls("CreateContentRenderData");
    EXPECT_EQ(built, builtBefore + 1) << "the elements built with the read, once";

    // The tiles wait: the centring comes and goes, and frames with it,
    // while the layout is not shown yet.
    Hold tiles;
    tiles.onPool();
    const std::size_t before = app.openFrames().size();
    app.frames(30);
    EXPECT_EQ(app.openFrames().size(), before + 30);
    EXPECT_EQ(app.shown, 0) << "the tiles were not drawn on the main thread";
    const auto view = app.layoutView();
    ASSERT_NE(view, nullptr);
    EXPECT_GT(view->missingTiles(), 0u);

    tiles.release();
    ASSERT_TRUE(app.untilShown());
    EXPECT_EQ(app.shown, 1);
    EXPECT_EQ(view->missingTiles(), 0u);
    // Every frame up to the one that shows the layout was busy.
    ExpectBusyThroughout(app.openFrames(), app.openFrames().size() - 1);
    EXPECT_EQ(CounterCalls("CreateContentRenderData"), built) << "nothing rebuilt on the main thread";

    // The busy view fades over the drawn layout.
    app.frames(40);
    EXPECT_EQ(app.layoutScreen()->progressHUD(), nullptr);
    EXPECT_FALSE(app.lastFrame().noLayoutOpen);
    EXPECT_FALSE(app.lastFrame().busyView);
    const auto picture = app.lastPicture();
    ASSERT_NE(picture, nullptr);
    int drawn = 0;
    for (int y = 300; y < 1400; y += 4) {
        for (int x = 0; x < picture->pixelWidth(); x += 4) {
            const auto pixel = picture->pixel(x, y);
            drawn += pixel && (pixel->red < 240 || pixel->green < 240 || pixel->blue < 240) ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 50) << "no layout drawn";
}

}  // namespace

TEST(Opening, AFileHandedInAtLaunchKeepsTheLayoutTabBusyAndItsFramesComingUntilItIsShown) {
    OpeningApp app;
    const auto file = WriteGenerated("handed-in.wkst");
    Hold read;
    read.onQueue(VKMLayoutDocumentHelper::loadQueue());
    app.launch(file);
    RunHeldOpen(app, read);
    EXPECT_GT(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 1000u);
}

TEST(Opening, AFileOpenedFromTheLocalLayoutsKeepsTheLayoutTabBusyAndItsFramesComingUntilItIsShown) {
    OpeningApp app;
    app.launch();
    VKMFileManager::createVKMDocumentsFolderIfNotExists();
    std::filesystem::copy_file(WriteGenerated("local.wkst"),
                               VKMFileManager::pathToVKMDocumentsFolder() / "Harbour Town Junction",
                               std::filesystem::copy_options::overwrite_existing);
    // The layout tab was seen first, saying that no layout is open.
    app.tabs->setSelectedIndex(2);
    app.frames(10);
    EXPECT_TRUE(app.lastFrame().noLayoutOpen);

    app.tabs->setSelectedIndex(1);
    app.frames(10);
    const auto list = std::dynamic_pointer_cast<VKMLocalLayoutsViewController>(app.tabs->selectedViewController());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->layouts().size(), 1u);
    app.window->layoutIfNeeded();
    const auto table = list->tableView();
    const platform::Rect row = table->rectForRowAtIndexPath({0, 0});
    const platform::Rect inWindow = table->convertRectToView(row, nullptr);
    TouchSynth(app.window).tap({inWindow.x + inWindow.width / 2, inWindow.y + inWindow.height / 2});
    app.frames(30);
    const auto sheets = AlertController::presentedAlerts();
    ASSERT_EQ(sheets.size(), 1u);
    Hold read;
    read.onQueue(VKMLayoutDocumentHelper::loadQueue());
    ASSERT_TRUE(sheets[0]->tapActionWithTitle("Open"));
    RunHeldOpen(app, read);
    EXPECT_GT(CCurrentCloudLayout::Instance().Layout()->GetElements().size(), 1000u);
}
