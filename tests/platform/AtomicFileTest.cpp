#include "platform/foundation/AtomicFile.h"

#include "platform/foundation/TemporaryFolder.h"
#include "tests/support/RunProgram.h"

#include <gtest/gtest.h>

#include <sys/stat.h>


namespace fs = std::filesystem;
using platform::AtomicFile;

namespace {

mode_t permissionsOf(const fs::path& p) {
    struct stat info {};
    EXPECT_EQ(::stat(p.c_str(), &info), 0) << p;
    return info.st_mode & 07777;
}

// Clears the umask for a scope, so a file made wider than 0600 would show.
class OpenUmask {
public:
    OpenUmask() : mSaved(::umask(0)) {}
    ~OpenUmask() { ::umask(mSaved); }

private:
    mode_t mSaved;
};

}  // namespace

TEST(AtomicFileTest, TheTemporaryFileIsPrivateAndReplacesTheTargetOnlyOnCommit) {
    platform::TemporaryFolder folder("vekmont-atomic");
    const fs::path target = folder.path() / "secret";
    testsupport::WriteWholeFile(target, "old");
    OpenUmask open;
    fs::path abandoned;
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.isOpen());
        abandoned = file.temporaryPath();
        EXPECT_EQ(abandoned.parent_path(), folder.path());
        EXPECT_EQ(permissionsOf(abandoned), 0600u);
        ASSERT_TRUE(file.write("never committed"));
        EXPECT_EQ(testsupport::ReadWholeFile(target), "old");
    }
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_EQ(testsupport::ReadWholeFile(target), "old");

    AtomicFile file(target);
    ASSERT_TRUE(file.write(std::string("new\0bytes", 9)));
    const fs::path temporary = file.temporaryPath();
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(testsupport::ReadWholeFile(target), std::string("new\0bytes", 9));
    EXPECT_EQ(permissionsOf(target), 0600u);
    EXPECT_FALSE(fs::exists(temporary));
}
