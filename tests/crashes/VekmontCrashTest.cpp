// vekmont with the crashes service: its test crash ends the app, and the
// next start sends the report with the app log to the telemetry server.

#include "platform/security/Crypto.h"
#include "tests/crashes/support/SentLogs.h"
#include "tests/support/RunProgram.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace fs = std::filesystem;

#ifdef VEKMONT_APP

using crashtest::sentLogs;
using crashtest::text;

namespace {

const char* const kAppSecret = "9a4e3f0c-21d7-4b6b-8e15-2c90f4a6d7e3";

}  // namespace

TEST(VekmontCrash, TheTestCrashIsSentAtTheNextStartWithTheAppLog) {
    testsupport::IngestionTestServer server;
    server.start();
    const fs::path root = fs::path(std::getenv("VEKMONT_HOME"));
    const fs::path home = root / "app-home";
    // A development build's resources: the test crash is ignored in a store build.
    const fs::path resources = root / "resources";
    fs::copy(std::getenv("VEKMONT_RESOURCES"), resources, fs::copy_options::recursive);
    std::ofstream(resources / "embedded.mobileprovision").put('\n');
    const std::vector<std::string> environment{
        "VEKMONT_HOME=" + home.string(), "VEKMONT_RESOURCES=" + resources.string(),
        std::string("VEKMONT_APP_SECRET=") + kAppSecret, "VEKMONT_TELEMETRY_URL=" + server.baseUrl()};

    const auto crashed = testsupport::RunProgram(VEKMONT_APP, {"--headless", "--test-crash"}, environment);
    ASSERT_EQ(crashed.status, -1) << crashed.err;

    // The next start runs until the report is out, then is asked to end.
    std::vector<std::string> strings{VEKMONT_APP, "--headless"};
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(environment.begin(), environment.end(),
                                          [&](const std::string& set) { return set.rfind(name, 0) == 0; });
        if (!replaced) envStrings.push_back(entry);
    }
    for (const auto& e : environment) envStrings.push_back(e);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, VEKMONT_APP, nullptr, nullptr, argv.data(), envp.data()), 0);
    const bool sent = testsupport::eventually(
        [&] { return !sentLogs(server, "appleError").empty() && !sentLogs(server, "errorAttachment").empty(); });
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(sent);

    const auto error = sentLogs(server, "appleError")[0];
    EXPECT_EQ(text(error, "osExceptionType"), "SIGTRAP");
    EXPECT_EQ(error.at("fatal"), platform::Value(true));
    const auto attachment = sentLogs(server, "errorAttachment")[0];
    EXPECT_EQ(text(attachment, "fileName"), "App.log");
    EXPECT_EQ(text(attachment, "errorId"), text(error, "id"));
    EXPECT_EQ(text(attachment, "contentType"), "text/plain");
    // The log gathers its lines; the one written just before the crash
    // reached the file all the same.
    const auto log = platform::security::base64Decode(text(attachment, "data"));
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(std::string(log->begin(), log->end()).find("Ending with the test crash"), std::string::npos);
    EXPECT_TRUE(WIFEXITED(status)) << status;
}

#endif
