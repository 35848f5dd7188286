// The end every program's main shares: help, a usage error or the run, and
// an exception that escapes the run.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMain.h"

namespace {

int gHelpShown = 0;
void showHelp() { ++gHelpShown; }

}  // namespace

TEST(ToolMain, HelpUsageRunAndAnEscapedException) {
    int runs = 0;
    const auto counted = [&] { return ++runs, kExitDamaged; };

    gHelpShown = 0;
    EXPECT_EQ(UToolMain::Run("tool", true, true, showHelp, counted), kExitOk);
    EXPECT_EQ(gHelpShown, 1);
    EXPECT_EQ(UToolMain::Run("tool", false, false, showHelp, counted), kExitUsage);
    EXPECT_EQ(runs, 0) << "neither help nor a wrong command line runs the program";
    EXPECT_EQ(UToolMain::Run("tool", false, true, showHelp, counted), kExitDamaged);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(gHelpShown, 1);

    testing::internal::CaptureStderr();
    const int status =
        UToolMain::Run("some-tool", false, true, showHelp, []() -> int { throw std::runtime_error("disk on fire"); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "some-tool: disk on fire\n");
    EXPECT_EQ(status, kExitInternal);
}
