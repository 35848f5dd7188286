// vekmont headless, as a script runs it: a generated layout handed in at
// start is opened on the layout tab and its first frame written; the app
// ends cleanly on SIGTERM with its will-terminate step, with telemetry
// sending too; its events carry the session its launch started; a wrong
// command line is refused.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/Image.h"
#include "tests/telemetry/support/IngestionTestServer.h"
#include "tests/tools/support/ToolsTestSupport.h"

extern char** environ;

using toolstest::Eventually;
using toolstest::PathFor;
using toolstest::RunningTool;
using toolstest::RunTool;
namespace fs = std::filesystem;

// The sanitized build leaves the app out: its screens read no untrusted input.
#ifdef VEKMONT_APP

namespace {

const char* const kApp = VEKMONT_APP;

// The app's own root for one run.
std::string AppHome(const std::string& name) {
    const std::string home = PathFor(name);
    fs::create_directories(home);
    return home;
}

std::string AppLog(const std::string& home) { return testsupport::ReadWholeFile(home + "/Library/Logs/Vekmont.log"); }

bool IsWhite(const std::optional<platform::Pixel>& p) { return p && p->red > 245 && p->green > 245 && p->blue > 245; }

bool LogHolds(const std::string& home, const std::string& text) { return AppLog(home).find(text) != std::string::npos; }

const char* const kAppSecret = "5b2e8c41-7d0f-4a93-b6e1-3f9a0c7d2e58";

// What a run with telemetry sending to `server` needs besides its home.
std::vector<std::string> TelemetryEnvironment(const std::string& home, const testsupport::IngestionTestServer& server) {
    return {"VEKMONT_HOME=" + home, std::string("VEKMONT_APP_SECRET=") + kAppSecret,
            "VEKMONT_TELEMETRY_URL=" + server.baseUrl()};
}

// The logs of one type in every request the server received, in order.
std::vector<platform::Value::Dictionary> SentLogs(const testsupport::IngestionTestServer& server,
                                                  const std::string& type) {
    std::vector<platform::Value::Dictionary> logs;
    for (const auto& request : server.requests()) {
        for (const platform::Value& log : request.logs) {
            const auto* fields = log.asDictionary();
            if (fields && fields->count("type") && fields->at("type") == platform::Value(type)) logs.push_back(*fields);
        }
    }
    return logs;
}

std::string Text(const platform::Value::Dictionary& fields, const std::string& key) {
    const auto found = fields.find(key);
    return found != fields.end() && found->second.asString() ? *found->second.asString() : std::string();
}

// Waits for the app's end and says how it ended.
std::string Ending(RunningTool& app) {
    int signal = 0;
    const testsupport::tProgramRun& run = app.wait(&signal);
    return (signal != 0 ? "ended by signal " + std::to_string(signal) : "exit status " + std::to_string(run.status)) +
           "\n" + run.err;
}

}  // namespace

TEST(VekmontProgram, HeadlessItOpensAHandedInLayoutOnTheLayoutTabAndWritesTheFrame) {
    const std::string layout = toolstest::WriteSampleLayout("handed-in.wkst");
    const std::string home = AppHome("home-snapshot");
    const std::string frame = PathFor("frame.png");
    const auto run = RunTool(kApp, {"--headless", "--snapshot", frame, layout}, {"VEKMONT_HOME=" + home});
    ASSERT_EQ(run.status, 0) << run.err;

    const std::string log = AppLog(home);
    EXPECT_NE(log.find("App was requested to open file at " + layout), std::string::npos) << log;
    EXPECT_NE(log.find("successfully loaded"), std::string::npos);
    EXPECT_NE(log.find("Application will terminate"), std::string::npos);
    EXPECT_FALSE(fs::exists(frame + ".partial"));

    const auto image = platform::Image::fromFile(frame);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 780);
    EXPECT_EQ(image->pixelHeight(), 1688);
    // The layout tab shows the document: drawn pixels between the title and
    // the tab bar, where an empty screen is white.
    int drawn = 0;
    for (int y = 200; y < 1500; y += 4) {
        for (int x = 0; x < 780; x += 4) drawn += IsWhite(image->pixel(x, y)) ? 0 : 1;
    }
    EXPECT_GT(drawn, 50) << "no layout drawn on the layout tab";
    const auto bar = image->pixel(390, 1680);
    ASSERT_TRUE(bar);
    EXPECT_LT(bar->red + bar->green + bar->blue, 3 * 255) << "the tab bar's grey, below the white screen";

    // A second launch finds the first one's dates; it marks the frame
    // composed when asked to (the start-up benchmark's clock).
    const std::string mark = PathFor("again.composed");
    const auto again = RunTool(kApp, {"--headless", "--snapshot", PathFor("again.png"), "--idiom", "tablet"},
                               {"VEKMONT_HOME=" + home, "VEKMONT_SNAPSHOT_MARK=" + mark});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(AppLog(home).find("Initial launch date was "), std::string::npos);
    EXPECT_EQ(platform::Image::fromFile(PathFor("again.png"))->pixelWidth(), 1640);
    EXPECT_TRUE(fs::exists(mark));
    EXPECT_EQ(testsupport::ReadWholeFile(mark).rfind("main_loop_gap_ms ", 0), 0u) << "the main loop's longest wait";
}

TEST(VekmontProgram, HeadlessItRunsUntilSigtermAndThenTerminatesCleanly) {
    const std::string home = AppHome("home-sigterm");
    const std::string variable = "VEKMONT_HOME=" + home;
    std::vector<std::string> environment{variable};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("VEKMONT_HOME=", 0) != 0) environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = kApp;
    std::string headless = "--headless";
    char* argv[] = {program.data(), headless.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, PathFor("sigterm.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, kApp, &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (AppLog(home).find("Device locale: ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(AppLog(home).find("Device locale: "), std::string::npos) << "the launch did not complete";
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "it keeps running";
    kill(child, SIGUSR1);
    // The warning is taken in before the end is asked for.
    EXPECT_TRUE(Eventually([&] { return LogHolds(home, "Memory warning received in "); }));
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of cleanly";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = AppLog(home);
    EXPECT_NE(log.find("Memory warning received in VKMAppDelegate"), std::string::npos);
    EXPECT_NE(log.find("Application will terminate"), std::string::npos);
}

TEST(VekmontProgram, WithTelemetrySigtermAndMemoryWarningsReachTheAppOnEveryFirstLaunch) {
    testsupport::IngestionTestServer server;
    server.start();
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::string home = AppHome("home-telemetry-" + std::to_string(run));
        RunningTool app(kApp, {"--headless"}, TelemetryEnvironment(home, server));
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(Eventually([&] { return LogHolds(home, "Device locale: ") || !app.running(); }));
        ASSERT_TRUE(app.running()) << Ending(app);
        // Every other run has a memory warning first.
        if (run % 2 == 1) {
            app.signal(SIGUSR1);
            ASSERT_TRUE(Eventually([&] { return LogHolds(home, "Memory warning received in ") || !app.running(); }));
        }
        app.signal(SIGTERM);
        EXPECT_EQ(app.wait().status, 0) << Ending(app);
        EXPECT_TRUE(LogHolds(home, "Application will terminate"));
        // The client was configured: it made its log database.
        EXPECT_TRUE(fs::exists(fs::path(home) / "Library/Application Support/com.vekmont.telemetry/Logs.sqlite"));
    }
}

TEST(VekmontProgram, WithTelemetryTheLaunchStartsASessionThatItsEventsCarry) {
    testsupport::IngestionTestServer server;
    server.start();
    const std::string layout = toolstest::WriteSampleLayout("session.wkst");
    const std::string home = AppHome("home-session");
    RunningTool app(kApp, {"--headless", layout}, TelemetryEnvironment(home, server));
    ASSERT_TRUE(app.started());
    // The session's start is queued before the events, on the same unit.
    const auto layoutLoaded = [&] {
        const auto events = SentLogs(server, "event");
        return std::any_of(events.begin(), events.end(),
                           [](const auto& e) { return Text(e, "name") == "LayoutLoaded"; });
    };
    const bool sent = Eventually([&] { return layoutLoaded() || !app.running(); });
    app.signal(SIGTERM);
    ASSERT_TRUE(sent && layoutLoaded()) << Ending(app);
    EXPECT_EQ(app.wait().status, 0) << Ending(app);

    const auto starts = SentLogs(server, "startSession");
    ASSERT_EQ(starts.size(), 1u);
    const std::string session = Text(starts[0], "sid");
    EXPECT_EQ(session.size(), 36u) << session;
    const auto events = SentLogs(server, "event");
    for (const auto& event : events) EXPECT_EQ(Text(event, "sid"), session) << Text(event, "name");
}

TEST(VekmontProgram, AWrongCommandLineIsRefused) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--snapshot", PathFor("a.png")},
             {"--headless", "--idiom", "watch"},
             {"--headless", "--idiom"},
             {"--headless", "a.wkst", "b.wkst"},
             {"--colour"},
         }) {
        const auto run = RunTool(kApp, arguments, {"VEKMONT_HOME=" + AppHome("home-usage")});
        EXPECT_EQ(run.status, 1) << arguments.back();
        EXPECT_NE(run.err.find("vekmont: "), std::string::npos) << run.err;
    }
    const auto help = RunTool(kApp, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: vekmont"), std::string::npos);
}

#endif  // VEKMONT_APP
