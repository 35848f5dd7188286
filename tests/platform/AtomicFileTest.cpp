#include "platform/foundation/AtomicFile.h"

#include "platform/foundation/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using platform::AtomicFile;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

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
    { std::ofstream(target) << "old"; }
    OpenUmask open;
    fs::path abandoned;
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.isOpen());
        abandoned = file.temporaryPath();
        EXPECT_EQ(abandoned.parent_path(), folder.path());
        EXPECT_EQ(permissionsOf(abandoned), 0600u);
        ASSERT_TRUE(file.write("never committed"));
        EXPECT_EQ(readFile(target), "old");
    }
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_EQ(readFile(target), "old");

    AtomicFile file(target);
    ASSERT_TRUE(file.write(std::string("new\0bytes", 9)));
    const fs::path temporary = file.temporaryPath();
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(readFile(target), std::string("new\0bytes", 9));
    EXPECT_EQ(permissionsOf(target), 0600u);
    EXPECT_FALSE(fs::exists(temporary));
}

TEST(AtomicFileTest, AFolderThatCannotHoldTheFileFailsAndLeavesNothing) {
    platform::TemporaryFolder folder("vekmont-atomic");
    const fs::path plain = folder.path() / "plain";
    { std::ofstream(plain) << "a regular file, not a folder"; }
    AtomicFile file(plain / "target");
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.write("x"));
    EXPECT_FALSE(file.commit());
    EXPECT_FALSE(platform::writeFileAtomically(plain / "target", "x"));
    EXPECT_EQ(readFile(plain), "a regular file, not a folder");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}
