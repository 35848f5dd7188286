#include "platform/ui/controllers/ApplicationMain.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/ApplicationDelegate.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/Storyboard.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <thread>

namespace platform::ui {

namespace {

// How long the end waits for blocks running on the global queues.
constexpr std::chrono::milliseconds kMostExitWait{3000};

void endMainLoop() {
    auto loop = RunLoop::main();
    loop->post([loop] { loop->stop(); });
}

// Takes the blocked signals with sigtimedwait, so it notices its own end
// within a tenth of a second without a signal of its own.
class SignalThread {
public:
    SignalThread() {
        sigemptyset(&mSignals);
        sigaddset(&mSignals, SIGTERM);
        sigaddset(&mSignals, SIGINT);
        sigaddset(&mSignals, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &mSignals, &mPrevious);
        mThread = startThread([this] { loop(); });
    }
    ~SignalThread() {
        mDone.store(true);
        mThread.join();
        pthread_sigmask(SIG_SETMASK, &mPrevious, nullptr);
    }
    SignalThread(const SignalThread&) = delete;
    SignalThread& operator=(const SignalThread&) = delete;

private:
    void loop() {
        const timespec wait{0, 100'000'000};
        while (!mDone.load()) {
            const int signal = sigtimedwait(&mSignals, nullptr, &wait);
            if (signal == SIGTERM || signal == SIGINT) {
                endMainLoop();
            } else if (signal == SIGUSR1) {
                RunLoop::main()->post([] { Application::sharedApplication().receiveMemoryWarning(); });
            }
        }
    }

    sigset_t mSignals;
    sigset_t mPrevious;
    std::atomic<bool> mDone{false};
    std::thread mThread;
};

}  // namespace

void HeadlessRunner::prepare(const std::shared_ptr<Window>& window) {
    Device::currentDevice().setUserInterfaceIdiom(mIdiom);
    auto screen = Screen::mainScreen();
    screen->setSize(mIdiom == UserInterfaceIdiom::tablet ? Screen::kTabletSize : Screen::kDefaultSize);
    window->setFrame(screen->bounds());
}

void HeadlessRunner::run(const std::shared_ptr<Window>& window) {
    (void)window;
    RunLoop::main()->run();
}

int ApplicationMain(std::shared_ptr<ApplicationDelegate> delegate, const ApplicationMainOptions& options,
                    ApplicationRunner& runner) {
    SignalThread signals;
    Application& application = Application::sharedApplication();
    application.setDelegate(delegate);

    auto window = std::make_shared<Window>();
    runner.prepare(window);
    int status = 0;
    std::shared_ptr<ViewController> root;
    if (auto storyboard = Storyboard::named(options.mainStoryboard))
        root = storyboard->instantiateInitialViewController();
    if (root) {
        window->setRootViewController(root);
    } else {
        std::fprintf(stderr, "The storyboard '%s' has no initial scene\n", options.mainStoryboard.c_str());
        status = 1;
    }
    if (delegate) delegate->setWindow(window);

    application.finishLaunching(options.launchOptions);
    window->makeKeyAndVisible();
    if (options.openURL) application.handleOpenURL(*options.openURL);

    runner.run(window);
    // Blocks still running on the pool would go on into the teardown of the
    // services and statics they use: let them end first, results undelivered.
    if (!DispatchQueue::closeGlobalQueues(kMostExitWait)) {
        std::fprintf(stderr, "Work on the global queues still runs at exit\n");
    }
    application.terminate();
    return status;
}

void ApplicationMainRequestEnd() { endMainLoop(); }

}  // namespace platform::ui
