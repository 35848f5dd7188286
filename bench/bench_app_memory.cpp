// The app's resident memory around one layout: the whole app (its delegate,
// storyboard and screens, the tablet idiom, headless) in a process of its
// own (this program again), handed `layoutgen`'s layout of 100,000 elements
// as a file from another app, shown, then closed as the catalogue closes the
// document before it fetches another; three times in the one process.
//
//   BM_AppMemoryAroundALayout/100000
//
// Counters (MB of 10^6 bytes, VmRSS unless said): `launch_MB` at rest after
// the launch (the catalogue tab), `before_MB` at rest with the layout screen
// shown empty (its tiles of the empty workspace are the screen's, and stay),
// `shown_MB` once the layout is shown and its tiles are in, `peak_MB` the
// most on the way (VmHWM), `after_MB` at rest after the close (`after_N_MB`
// after the Nth; `after_MB` the most of them), and `after_over_before_MB`,
// which each close should bring within 60 MB: more is reported as an error. "At rest" is after 3 s of the main loop
// with nothing to do.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutViewController.h"
#include "bench/Spawn.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/VKMAppDelegate.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/ui/controllers/ApplicationMain.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"
#include "tools/vekmont/VekmontScenes.h"


namespace {

namespace fs = std::filesystem;

// The target: what a close may leave above the app before the open.
constexpr double kMostLeftAfterCloseMB = 60;
constexpr std::chrono::seconds kRest{3};
constexpr int kCycles = 3;

// A field of /proc/self/status, in MB.
double StatusMB(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::size_t length = std::strlen(field);
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atof(line.c_str() + length + 1) * 1024.0 / 1e6;
    }
    return -1;
}

struct Figures {
    double launch = -1;
    double before = -1;
    double shown = -1;
    double peak = -1;
    double after[kCycles] = {-1, -1, -1};
    double mostAfter() const { return *std::max_element(std::begin(after), std::end(after)); }
};

// Drives the launched app: rest, open, shown, close, rest; then ends it.
class MemoryRunner : public platform::ui::HeadlessRunner {
public:
    MemoryRunner(fs::path layout, Figures& figures)
        : HeadlessRunner(platform::ui::UserInterfaceIdiom::tablet), mLayout(std::move(layout)), mFigures(figures) {}

    void run(const std::shared_ptr<platform::ui::Window>& window) override {
        auto loop = platform::RunLoop::main();
        const auto never = [] { return false; };
        loop->runUntil(never, kRest);
        mFigures.launch = StatusMB("VmRSS");
        // The layout screen, empty, as the open shows it (its tiles of the
        // empty workspace are the screen's, not the document's).
        if (auto tabs = std::dynamic_pointer_cast<platform::ui::TabBarController>(window->rootViewController()))
            tabs->setSelectedIndex(VKMAppDelegate::kLayoutTabIndex);
        loop->runUntil(never, kRest);
        mFigures.before = StatusMB("VmRSS");
        bool shown = false;
        auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
            VKMLayoutViewController::kLayoutShownNotification, nullptr,
            [&shown](const platform::Notification&) { shown = true; });
        for (double& after : mFigures.after) {
            shown = false;
            platform::ui::Application::sharedApplication().handleOpenURL(mLayout);
            if (!loop->runUntil([&shown] { return shown; }, std::chrono::minutes(3))) return;
            loop->runUntil(never, std::chrono::seconds(1));
            mFigures.shown = std::max(mFigures.shown, StatusMB("VmRSS"));
            mFigures.peak = StatusMB("VmHWM");
            VKMLayoutDocumentHelper::closeCurrentLayout();
            loop->runUntil(never, kRest);
            after = StatusMB("VmRSS");
        }
    }

private:
    fs::path mLayout;
    Figures& mFigures;
};

// The child: the app with the layout, its figures on standard output.
int DriveApp(const char* layout) {
    vekmont::registerScenes();
    Figures figures;
    MemoryRunner runner(layout, figures);
    platform::ui::ApplicationMainOptions options;
    options.mainStoryboard = vekmont::kMainStoryboard;
    platform::ui::ApplicationMain(std::make_shared<VKMAppDelegate>(), options, runner);
    std::printf("\nmemory: %.1f %.1f %.1f %.1f %.1f %.1f %.1f\n", figures.launch, figures.before, figures.shown,
                figures.peak, figures.after[0], figures.after[1], figures.after[2]);
    std::fflush(stdout);
    std::_Exit(*std::min_element(std::begin(figures.after), std::end(figures.after)) < 0 ? 1 : 0);
}

bool Succeeded(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_AppMemoryAroundALayout(benchmark::State& state) {
    static platform::TemporaryFolder files("vekmont-bench-memory");
    const fs::path layout = files.path() / ("untyped-" + std::to_string(state.range(0)) + ".wkst");
    if (!fs::exists(layout) && !Succeeded(SpawnProgram({VEKMONT_LAYOUTGEN, "layout", layout.string(), "--elements",
                                                        std::to_string(state.range(0))},
                                                       {}, kSpawnOutputInherited))) {
        state.SkipWithError("layoutgen did not run");
        return;
    }
    Figures figures;
    for (auto _ : state) {
        platform::TemporaryFolder home("vekmont-bench-memory-home");
        const fs::path report = home.path() / "report.txt";
        std::FILE* out = std::fopen(report.c_str(), "w");
        const pid_t child =
            SpawnProgram({"/proc/self/exe", "--drive-app", layout.string()},
                         {"VEKMONT_HOME=" + home.path().string(), "VEKMONT_RESOURCES=" VEKMONT_RESOURCES_DIR},
                         out != nullptr ? fileno(out) : kSpawnOutputInherited);
        if (out != nullptr) std::fclose(out);
        const bool ran = Succeeded(child);
        std::ifstream in(report);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t line = text.rfind("\nmemory: ");
        if (!ran || line == std::string::npos ||
            std::sscanf(text.c_str() + line, "\nmemory: %lf %lf %lf %lf %lf %lf %lf", &figures.launch, &figures.before,
                        &figures.shown, &figures.peak, &figures.after[0], &figures.after[1], &figures.after[2]) != 7) {
            state.SkipWithError("the app did not show and close the layout");
            return;
        }
    }
    state.counters["launch_MB"] = figures.launch;
    state.counters["before_MB"] = figures.before;
    state.counters["shown_MB"] = figures.shown;
    state.counters["peak_MB"] = figures.peak;
    for (int cycle = 0; cycle < kCycles; ++cycle)
        state.counters["after_" + std::to_string(cycle + 1) + "_MB"] = figures.after[cycle];
    const double after = figures.mostAfter();
    state.counters["after_MB"] = after;
    state.counters["after_over_before_MB"] = after - figures.before;
    if (after - figures.before > kMostLeftAfterCloseMB) {
        // An error hides the counters: the figures go into its text.
        char text[160];
        std::snprintf(text, sizeof text, "the close left %.0f MB above the app before the open (%.0f to %.0f MB)",
                      after - figures.before, figures.before, after);
        state.SkipWithError(text);
    }
}

}  // namespace

BENCHMARK(BM_AppMemoryAroundALayout)->Arg(1000)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--drive-app") == 0) return DriveApp(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
