// Settings survive a kill: a program that changes them and is killed with
// SIGKILL soon after finds them at its next start.

#include "platform/foundation/Value.h"
#include "tests/tools/support/ToolsTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

using toolstest::PathFor;
namespace fs = std::filesystem;

namespace {

const char* const kHelper = VEKMONT_SETTINGS_HELPER;

// The value of `key` in a settings file, when it holds an integer there.
std::optional<std::int64_t> StoredInteger(const std::string& file, const std::string& key) {
    const auto stored = platform::Value::fromStoredForm(testsupport::ReadWholeFile(file));
    if (!stored) return std::nullopt;
    const platform::Value* value = stored->find(key);
    if (value == nullptr || value->asInteger() == nullptr) return std::nullopt;
    return *value->asInteger();
}

}  // namespace

TEST(SettingsProgram, SettingsChangedBeforeAKillAreThereAtTheNextStart) {
    const std::string home = PathFor("home-settings");
    fs::create_directories(home);
    const std::vector<std::string> environment{"VEKMONT_HOME=" + home};
    const std::string file = home + "/Library/Preferences/com.vekmont.app.json";

    const testsupport::tRunningProgram running = testsupport::StartProgram(
        kHelper, {"change", "QLJointAngleTolerance", "12", "VKMSettingsProbe", "7"}, environment);
    ASSERT_GT(running.pid, 0) << running.startError;
    // Both reach the file while the program runs on.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((StoredInteger(file, "QLJointAngleTolerance") != 12 || StoredInteger(file, "VKMSettingsProbe") != 7) &&
           testsupport::IsRunning(running) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(testsupport::IsRunning(running)) << "it ended before it was killed";
    int signal = 0;
    const testsupport::tProgramRun killed = testsupport::WaitForProgram(running, SIGKILL, &signal);
    EXPECT_EQ(signal, SIGKILL) << killed.err;
    EXPECT_NE(killed.out.find("changed\n"), std::string::npos) << killed.out;

    const testsupport::tProgramRun next =
        toolstest::RunTool(kHelper, {"show", "QLJointAngleTolerance", "VKMSettingsProbe"}, environment);
    ASSERT_EQ(next.status, 0) << next.err;
    // The service logs its registration on standard output too.
    EXPECT_NE(next.out.find("\nQLJointAngleTolerance=12\nVKMSettingsProbe=7\n"), std::string::npos) << next.out;
}
