// vekmont: the app. Opens its window (SDL2) or runs headless, hands FILE to
// the app as a document another app would hand in, and runs until the
// window is closed or SIGTERM (or Ctrl-C) comes; the app hears that it
// terminates either way. SIGUSR1 is a memory warning.
//
//   vekmont [--headless] [--idiom phone|tablet] [--scale S] [--snapshot OUT.png] [--test-crash] [FILE]
//
// $VEKMONT_APP_SECRET replaces the build's telemetry secret and
// $VEKMONT_TELEMETRY_URL the ingestion's address (a test server's). With
// --test-crash the crashes service ends the app with its test crash once it
// has launched (a development build only: its resources hold
// "embedded.mobileprovision").
//
// Headless with --snapshot it writes the window's first frame, after the
// launch and the document, as PNG and ends; with $VEKMONT_SNAPSHOT_MARK set
// it also creates that file once the frame is composed, before the PNG is
// encoded, for timing the start apart from the encoding; it holds
// "main_loop_gap_ms G frames N peak_kB P": the longest the main loop kept a
// frame waiting (from its first frame to the one taken), the frames it ran
// and the process's resident peak so far (VmHWM; read here, as a reader
// outside would read it while the PNG is already being encoded).
// The app's folders lie under $VEKMONT_HOME (else the XDG folders). The
// exit status is one of tools/common/ExitCodes.h.

#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/VKMAppDelegate.h"
#include "crashes/TelemetryCrashes/TLMCrashes.h"
#include "engine/services/Logger.h"
#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Image.h"
#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/views/Window.h"
#include "telemetry/TLMTelemetry.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMain.h"
#include "tools/common/ToolOptions.h"
#include "tools/vekmont/VekmontScenes.h"

#ifdef VEKMONT_HAVE_SDL
#include "platform/ui/sdl/DesktopRunner.h"
#include "platform/ui/sdl/DesktopSoundPlayer.h"
#endif

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace platform::ui;

namespace {

struct Options {
    bool headless = false;
    UserInterfaceIdiom idiom = UserInterfaceIdiom::phone;
    // Pixels a point in the window; none: the largest that fits the display.
    std::optional<double> scale;
    std::string snapshot;
    bool testCrash = false;
    std::optional<std::filesystem::path> file;
};

void printHelp() {
    std::printf(
        "usage: vekmont [--headless] [--idiom phone|tablet] [--scale S] [--snapshot OUT.png] [--test-crash] [FILE]\n"
        "The model-railway layout viewer. FILE is opened as a document handed in by\n"
        "another app.\n"
        "  --headless       no window: the app runs until SIGTERM or Ctrl-C\n"
        "  --idiom I        phone (390 x 844 points, the default) or tablet (820 x 1180)\n"
        "  --scale S        window pixels a point, above 0 and at most 4 (default: the\n"
        "                   largest, up to 2, at which the window fits the display;\n"
        "                   a tablet opens in landscape on a wide display where it\n"
        "                   would get less than 0.75 upright)\n"
        "  --snapshot OUT   headless only: write the first frame as PNG, then end\n"
        "  --test-crash     end with the crash reporter's test crash once launched\n"
        "                   (development builds)\n"
        "  -h, --help       this help\n"
        "In the window: left button a finger, Ctrl-drag a pinch, the wheel scrolls\n"
        "(Ctrl with the wheel zooms), right button a long press; Tab moves between\n"
        "text fields, Escape dismisses, Return answers an alert, Ctrl+Q or Ctrl+W\n"
        "ends the app. SIGUSR1 sends the app a memory warning.\n");
    PrintExitCodes(stdout, {kExitOk, kExitUsage, kExitCannotOpen, kExitInternal});
}

std::optional<Options> parse(int argc, char** argv, bool& help) {
    Options options;
    const std::vector<UToolOptions::tOption> known = {
        UToolOptions::Flag("--headless", options.headless),
        {"--idiom", true,
         [&](const char* idiom) {
             if (std::strcmp(idiom, "phone") != 0 && std::strcmp(idiom, "tablet") != 0) {
                 std::fprintf(stderr, "vekmont: --idiom takes phone or tablet\n");
                 return false;
             }
             options.idiom = std::strcmp(idiom, "tablet") == 0 ? UserInterfaceIdiom::tablet : UserInterfaceIdiom::phone;
             return true;
         }},
        {"--scale", true,
         [&](const char* text) {
             double scale = 0;
             if (!UToolOptions::ParseNumber(text, scale) || !(scale > 0 && scale <= 4)) {
                 std::fprintf(stderr, "vekmont: --scale takes a number above 0, at most 4\n");
                 return false;
             }
             options.scale = scale;
             return true;
         }},
        UToolOptions::Text("--snapshot", options.snapshot),
        UToolOptions::Flag("--test-crash", options.testCrash),
    };
    // One file at the most.
    const auto file = [&](const char* path) {
        if (options.file) return false;
        options.file = std::filesystem::absolute(path);
        return true;
    };
    if (!UToolOptions::Parse("vekmont", argc, argv, known, help, file)) return std::nullopt;
    if (!options.snapshot.empty() && !options.headless) {
        std::fprintf(stderr, "vekmont: --snapshot goes with --headless\n");
        return std::nullopt;
    }
    return options;
}

// Headless: the window's frame goes to a PNG (written beside and renamed,
// so that it appears whole) on the main loop's turn after the opened
// screen's first frame was committed, and the app ends: right after the
// launch, or with a layout handed in, once it is loaded and shown (or its
// load failed).
class SnapshotRunner : public HeadlessRunner {
public:
    SnapshotRunner(UserInterfaceIdiom idiom, std::string path, bool awaitDocument)
        : HeadlessRunner(idiom), mPath(std::move(path)), mReady(!awaitDocument) {
        // Heard from before the launch: a file that cannot be opened fails
        // while the app is handed it.
        for (const char* name : {VKMLayoutViewController::kLayoutShownNotification,
                                 VKMLayoutDocumentHelper::kDocumentLoadFailedNotification}) {
            mTokens.push_back(platform::NotificationCenter::defaultCenter().addObserverForName(
                name, nullptr, [this](const platform::Notification&) {
                    mReady = true;
                    if (mWindow) platform::RunLoop::main()->post([this] { take(); });
                }));
        }
    }
    void run(const std::shared_ptr<Window>& window) override {
        mWindow = window;
        if (const char* mark = std::getenv("VEKMONT_SNAPSHOT_MARK"); mark != nullptr && *mark != '\0') {
            mFrames = std::make_unique<platform::DisplayLink>([this](const platform::DisplayLink::Frame&) {
                const auto now = std::chrono::steady_clock::now();
                if (mLastFrame) mLongestGap = std::max(mLongestGap, now - *mLastFrame);
                mLastFrame = now;
                ++mFrameCount;
            });
            mFrames->addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Common);
        }
        if (mReady) platform::RunLoop::main()->post([this] { take(); });
        // Never wait for ever.
        mTimer = platform::RunLoop::main()->postAfter(std::chrono::seconds(60), [this] { take(); });
        HeadlessRunner::run(window);
    }
    int status() const { return mStatus; }

private:
    void take() {
        if (mTaken) return;
        mTaken = true;
        if (mFrames) mFrames->invalidate();
        mStatus = write(mWindow);
        ApplicationMainRequestEnd();
    }

    int write(const std::shared_ptr<Window>& window) {
        const auto image = window->snapshot();
        if (!image) {
            std::fprintf(stderr, "vekmont: the window drew nothing\n");
            return kExitInternal;
        }
        markComposed();
        const std::string partial = mPath + ".partial";
        if (!image->writePNG(partial)) {
            std::fprintf(stderr, "vekmont: cannot write %s: %s\n", partial.c_str(),
                         errno != 0 ? std::strerror(errno) : "the image could not be encoded");
            return kExitCannotOpen;
        }
        std::error_code error;
        std::filesystem::rename(partial, mPath, error);
        if (error) {
            std::fprintf(stderr, "vekmont: cannot write %s: %s\n", mPath.c_str(), error.message().c_str());
            return kExitCannotOpen;
        }
        return kExitOk;
    }

    // The process's resident peak so far (VmHWM), or -1.
    static long peakKiB() {
        rusage usage{};
        return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
    }

    void markComposed() const {
        const char* mark = std::getenv("VEKMONT_SNAPSHOT_MARK");
        if (mark == nullptr || *mark == '\0') return;
        // Renamed into place whole: its reader waits for it to appear.
        const std::string partial = std::string(mark) + ".partial";
        std::FILE* file = std::fopen(partial.c_str(), "w");
        if (file == nullptr) return;
        std::fprintf(file, "main_loop_gap_ms %.1f frames %d peak_kB %ld\n",
                     std::chrono::duration<double, std::milli>(mLongestGap).count(), mFrameCount, peakKiB());
        if (std::fclose(file) == 0) std::rename(partial.c_str(), mark);
    }

    std::string mPath;
    std::shared_ptr<Window> mWindow;
    bool mReady;
    bool mTaken = false;
    int mStatus = kExitInternal;
    std::vector<platform::NotificationCenter::ObserverToken> mTokens;
    platform::RunLoop::Timer mTimer;
    // The main loop's frames until the one taken, for the start-up bench.
    std::unique_ptr<platform::DisplayLink> mFrames;
    std::optional<std::chrono::steady_clock::time_point> mLastFrame;
    std::chrono::steady_clock::duration mLongestGap{0};
    int mFrameCount = 0;
};

// The signals the application main takes on a thread of its own and hands
// to the main loop. Blocked before anything can start a thread (the
// telemetry client's, the desktop's, the sound output's): a thread keeps
// the mask it was made with, and one that let them through could be handed
// a process signal and end the app by its default action.
void blockApplicationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

// The build's telemetry settings, or those of the environment.
VKMAppDelegate::Configuration configuration() {
    VKMAppDelegate::Configuration configuration;
    if (const char* secret = std::getenv("VEKMONT_APP_SECRET"); secret != nullptr && *secret != '\0') {
        configuration.appSecret = secret;
    }
    if (const char* url = std::getenv("VEKMONT_TELEMETRY_URL"); url != nullptr && *url != '\0') {
        TLMTelemetry::setLogUrl(url);
    }
    return configuration;
}

int run(const Options& options) {
    vekmont::registerScenes();
    VKMAppDelegate::Configuration settings = configuration();
    // Runs once the launch is over and the loop turns.
    if (options.testCrash) {
        platform::RunLoop::main()->post([] {
            LogWarning("Ending with the test crash");
            TLMCrashes::generateTestCrash();
        });
    }
    ApplicationMainOptions main;
    main.mainStoryboard = vekmont::kMainStoryboard;
    main.openURL = options.file;

    if (!options.snapshot.empty()) {
        SnapshotRunner runner(options.idiom, options.snapshot, options.file.has_value());
        const int status = ApplicationMain(std::make_shared<VKMAppDelegate>(settings), main, runner);
        return status != 0 ? kExitInternal : runner.status();
    }
    if (options.headless) {
        HeadlessRunner runner(options.idiom);
        return ApplicationMain(std::make_shared<VKMAppDelegate>(settings), main, runner) != 0 ? kExitInternal : kExitOk;
    }
#ifdef VEKMONT_HAVE_SDL
    sdl::DesktopOptions desktop;
    desktop.idiom = options.idiom;
    desktop.scale = options.scale;
    sdl::DesktopRunner runner(desktop);
    settings.soundPlayer = std::make_shared<sdl::DesktopSoundPlayer>();
    try {
        return ApplicationMain(std::make_shared<VKMAppDelegate>(settings), main, runner) != 0 ? kExitInternal : kExitOk;
    } catch (const sdl::DesktopError& error) {
        std::fprintf(stderr, "vekmont: %s (try --headless)\n", error.what());
        return kExitCannotOpen;
    }
#else
    std::fprintf(stderr, "vekmont: built without SDL2; only --headless works\n");
    return kExitUsage;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    blockApplicationSignals();
    bool help = false;
    const auto options = parse(argc, argv, help);
    return UToolMain::Run("vekmont", help, options.has_value(), printHelp, [&] { return run(*options); });
}
