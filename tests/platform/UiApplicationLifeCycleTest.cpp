// The application's life cycle as the app's delegate hears it: launch,
// documents handed in, memory warnings reaching delegate, observers and
// controllers, one end only; and the application main run headless with
// the main storyboard's initial scene, ended by a request and by SIGTERM,
// waiting for the work still running on the global queues.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/ApplicationDelegate.h"
#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using namespace platform::ui;

namespace {

// Writes what it hears into a shared journal.
class JournalDelegate : public ApplicationDelegate {
public:
    explicit JournalDelegate(std::shared_ptr<std::vector<std::string>> journal) : mJournal(std::move(journal)) {}
    std::shared_ptr<Window> window() const override { return mWindow; }
    void setWindow(std::shared_ptr<Window> window) override {
        mJournal->push_back("window");
        mWindow = std::move(window);
    }
    bool applicationDidFinishLaunchingWithOptions(Application&, const Value& options) override {
        const auto* dictionary = options.asDictionary();
        mJournal->push_back(std::string("launch") + (dictionary && dictionary->count("k") ? " with options" : "") +
                            (mWindow && mWindow->isKeyWindow() ? " shown" : ""));
        return true;
    }
    bool applicationOpenURL(Application&, const std::filesystem::path& url, const Value&) override {
        mJournal->push_back("open " + url.string());
        return true;
    }
    void applicationWillTerminate(Application&) override { mJournal->push_back("terminate"); }
    void applicationDidReceiveMemoryWarning(Application&) override { mJournal->push_back("memory"); }

private:
    std::shared_ptr<std::vector<std::string>> mJournal;
    std::shared_ptr<Window> mWindow;
};

class WarnedController : public ViewController {
public:
    explicit WarnedController(std::shared_ptr<std::vector<std::string>> journal) : mJournal(std::move(journal)) {}
    void didReceiveMemoryWarning() override { mJournal->push_back("controller memory"); }

private:
    std::shared_ptr<std::vector<std::string>> mJournal;
};

// What a memory warning and then the end leave in the journal.
const std::vector<std::string> kWarningThenEnd{"memory", kApplicationDidReceiveMemoryWarningNotification,
                                               "controller memory", "terminate", kApplicationWillTerminateNotification};

std::vector<std::string> followedByWarningThenEnd(std::vector<std::string> first) {
    first.insert(first.end(), kWarningThenEnd.begin(), kWarningThenEnd.end());
    return first;
}

// Each test begins as a new process would, whatever ran before it: no
// delegate, not terminated, a phone's screen.
class ApplicationLifeCycle : public ::testing::Test {
protected:
    static void freshApplication() {
        Application::sharedApplication().resetLifeCycle();
        Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
        Screen::mainScreen()->setSize(Screen::kDefaultSize);
    }
    void SetUp() override {
        freshApplication();
        journal = std::make_shared<std::vector<std::string>>();
        for (const char* name : {kApplicationDidFinishLaunchingNotification, kApplicationWillTerminateNotification,
                                 kApplicationDidReceiveMemoryWarningNotification}) {
            tokens.push_back(NotificationCenter::defaultCenter().addObserverForName(
                name, nullptr, [journal = journal](const Notification& n) { journal->push_back(n.name()); }));
        }
    }
    void TearDown() override {
        tokens.clear();
        freshApplication();
    }

    std::shared_ptr<std::vector<std::string>> journal;
    std::vector<NotificationCenter::ObserverToken> tokens;
};

TEST_F(ApplicationLifeCycle, DelegateHearsEachStageBeforeItsNotificationAndTheEndOnce) {
    Application& application = Application::sharedApplication();
    EXPECT_FALSE(application.handleOpenURL("/tmp/a.wkst")) << "no delegate takes no document";

    application.setDelegate(std::make_shared<JournalDelegate>(journal));
    auto window = std::make_shared<Window>();
    window->setRootViewController(std::make_shared<WarnedController>(journal));
    window->makeKeyAndVisible();

    Value::Dictionary options;
    options["k"] = Value(1);
    EXPECT_TRUE(application.finishLaunching(Value(options)));
    EXPECT_TRUE(application.handleOpenURL("/tmp/a.wkst"));
    application.receiveMemoryWarning();
    application.terminate();
    application.terminate();
    EXPECT_TRUE(application.isTerminating());

    EXPECT_EQ(*journal, followedByWarningThenEnd(
                            {"launch with options", kApplicationDidFinishLaunchingNotification, "open /tmp/a.wkst"}));
}

// Registers the initial scene of the storyboard "LifeCycleMain".
void registerMainScene(const std::shared_ptr<std::vector<std::string>>& journal) {
    Storyboard::registerScene("LifeCycleMain", Storyboard::kInitialSceneIdentifier,
                              [journal] { return std::make_shared<WarnedController>(journal); });
}

TEST_F(ApplicationLifeCycle, MainLaunchesWithTheInitialSceneHandsInTheDocumentAndEndsOnRequest) {
    registerMainScene(journal);
    auto delegate = std::make_shared<JournalDelegate>(journal);
    ApplicationMainOptions options;
    options.mainStoryboard = "LifeCycleMain";
    options.openURL = "/tmp/handed in.wkst";
    RunLoop::main()->post([journal = journal] {
        journal->push_back("loop runs");
        Application::sharedApplication().receiveMemoryWarning();
        ApplicationMainRequestEnd();
    });
    HeadlessRunner runner(UserInterfaceIdiom::tablet);
    EXPECT_EQ(ApplicationMain(delegate, options, runner), 0);

    ASSERT_TRUE(delegate->window());
    EXPECT_TRUE(std::dynamic_pointer_cast<WarnedController>(delegate->window()->rootViewController()));
    EXPECT_EQ(delegate->window()->bounds().width, 820) << "the tablet's screen";
    EXPECT_EQ(*journal, followedByWarningThenEnd({"window", "launch", kApplicationDidFinishLaunchingNotification,
                                                  "open /tmp/handed in.wkst", "loop runs"}));
}

// A process signal goes to any thread that lets it through, and a thread
// that an earlier test started would end the process by the default
// action: the main runs, as it must, before any other thread, in a process
// of its own.
TEST_F(ApplicationLifeCycle, MainTakesUsr1AsAMemoryWarningAndEndsCleanlyOnSigterm) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            registerMainScene(journal);
            ApplicationMainOptions options;
            options.mainStoryboard = "LifeCycleMain";
            // Signalled from inside the loop: the signal thread hands both back to it.
            RunLoop::main()->post([] {
                kill(getpid(), SIGUSR1);
                RunLoop::main()->postAfter(std::chrono::milliseconds(300), [] { kill(getpid(), SIGTERM); });
            });
            HeadlessRunner runner;
            const int status = ApplicationMain(std::make_shared<JournalDelegate>(journal), options, runner);
            for (const std::string& line : *journal) std::fprintf(stderr, "%s\n", line.c_str());
            const bool ok = status == 0 && !journal->empty() &&
                            journal->back() == kApplicationWillTerminateNotification &&
                            std::count(journal->begin(), journal->end(), "memory") == 1 &&
                            std::count(journal->begin(), journal->end(), "terminate") == 1;
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(ApplicationLifeCycle, MainWithoutAnInitialSceneStillLaunchesAndSaysSo) {
    ApplicationMainOptions options;
    options.mainStoryboard = "NoSuchStoryboard";
    RunLoop::main()->post([] { ApplicationMainRequestEnd(); });
    HeadlessRunner runner;
    auto delegate = std::make_shared<JournalDelegate>(journal);
    EXPECT_EQ(ApplicationMain(delegate, options, runner), 1);
    ASSERT_TRUE(delegate->window());
    EXPECT_FALSE(delegate->window()->rootViewController());
    EXPECT_EQ(journal->back(), kApplicationWillTerminateNotification);
}

TEST_F(ApplicationLifeCycle, MainLetsWorkOnTheGlobalQueuesEndBeforeTheEndAndDropsWhatItPostsBack) {
    registerMainScene(journal);
    ApplicationMainOptions options;
    options.mainStoryboard = "LifeCycleMain";
    std::latch started(1);
    std::latch release(1);
    std::atomic<bool> ended{false};
    std::atomic<bool> terminating{false};
    tokens.push_back(NotificationCenter::defaultCenter().addObserverForName(
        kApplicationWillTerminateNotification, nullptr, [&, journal = journal](const Notification&) {
            journal->push_back(ended ? "work ended" : "work still runs");
            terminating = true;
        }));
    // A picture still being drawn when the user quits.
    RunLoop::main()->post([&, journal = journal] {
        DispatchQueue::global(DispatchQueuePriority::High).async([&, journal] {
            started.count_down();
            release.wait();
            DispatchQueue::main().async([journal] { journal->push_back("result delivered"); });
            ended = true;
        });
        started.wait();
        ApplicationMainRequestEnd();
    });
    // Let go once the end waits for it (or, were it not waited for, once
    // the app terminates).
    std::thread releaser([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!DispatchQueue::globalQueuesClosed() && !terminating && std::chrono::steady_clock::now() < end) {
            std::this_thread::yield();
        }
        release.count_down();
    });
    HeadlessRunner runner;
    EXPECT_EQ(ApplicationMain(std::make_shared<JournalDelegate>(journal), options, runner), 0);
    releaser.join();

    bool turned = false;
    RunLoop::main()->post([&turned] { turned = true; });
    ASSERT_TRUE(RunLoop::main()->runUntil([&] { return turned; }, std::chrono::seconds(60)));
    const std::vector<std::string> last(journal->end() - 3, journal->end());
    EXPECT_EQ(last, (std::vector<std::string>{"terminate", kApplicationWillTerminateNotification, "work ended"}));
    EXPECT_EQ(std::count(journal->begin(), journal->end(), "result delivered"), 0);
}

}  // namespace
