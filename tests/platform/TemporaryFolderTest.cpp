#include "platform/foundation/TemporaryFolder.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;
using platform::TemporaryFolder;

TEST(TemporaryFolder, IsNewUnderTmpdirAndGoesWithAllItHolds) {
    const fs::path tmpdir = testsupport::processRoot() / "tmpdir";
    fs::create_directories(tmpdir);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    EXPECT_EQ(platform::temporaryDirectory(), tmpdir);

    fs::path kept;
    {
        TemporaryFolder first("vekmont-run");
        TemporaryFolder second("vekmont-run");
        kept = first.path();
        EXPECT_EQ(first.path().parent_path(), tmpdir);
        EXPECT_TRUE(first.path().filename().string().starts_with("vekmont-run-"));
        EXPECT_EQ(first.path().filename().string().size(), std::string("vekmont-run-XXXXXX").size());
        EXPECT_NE(first.path(), second.path());
        EXPECT_TRUE(fs::is_directory(first.path()));
        EXPECT_TRUE(fs::is_empty(first.path()));

        fs::create_directories(first.path() / "Library" / "Logs");
        std::ofstream(first.path() / "Library" / "Logs" / "Vekmont.log") << "a line\n";
    }
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_TRUE(fs::is_empty(tmpdir));

    // A $TMPDIR that names no folder falls back to /tmp.
    setenv("TMPDIR", (tmpdir / "missing").c_str(), 1);
    EXPECT_EQ(platform::temporaryDirectory(), fs::path("/tmp"));
    unsetenv("TMPDIR");
}

TEST(TemporaryFolder, AMissingParentThrowsWithTheReason) {
    const fs::path missing = testsupport::processRoot() / "no-such-folder";
    try {
        TemporaryFolder folder("vekmont-run", missing);
        FAIL() << "made " << folder.path();
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(missing));
}
