// A tool's session as an app's life: its end tells the application will
// terminate (the logs queue finishes its saves) before a temporary root goes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/views/Notifications.h"
#include "tests/support/TempRoot.h"
#include "tools/common/ToolSession.h"

TEST(ToolSession, TheEndTellsTheApplicationWillTerminateWhileTheTemporaryRootIsStillThere) {
    const std::filesystem::path temporary = testsupport::processRoot() / "tmp";
    std::filesystem::create_directories(temporary);
    setenv("TMPDIR", temporary.c_str(), 1);
    unsetenv("VEKMONT_HOME");
    std::optional<CToolSession> session;
    session.emplace("session-test");
    ASSERT_TRUE(session->IsTemporaryRoot());
    const std::filesystem::path root = session->Root();
    int posted = 0;
    bool rootThere = false;
    const auto token = platform::NotificationCenter::defaultCenter().addObserverForName(
        platform::ui::kApplicationWillTerminateNotification, nullptr, [&](const auto&) {
            ++posted;
            rootThere = std::filesystem::exists(root);
        });
    session.reset();
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(rootThere);
    EXPECT_FALSE(std::filesystem::exists(root));
}
