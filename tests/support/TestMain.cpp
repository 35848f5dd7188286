// Test main: every test process gets its own app root, so logs, preferences
// and caches of one test never leak into another.

#include "tests/support/TempRoot.h"

#include "tests/support/BetweenTests.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace testsupport {

static platform::TemporaryFolder* gRoot = nullptr;

const std::filesystem::path& processRoot() { return gRoot->path(); }

}  // namespace testsupport

namespace {

constexpr const char* kRootPrefix = "vekmont-test";

// A death test re-runs the binary in a child that ends without returning
// from main; its root goes inside the parent's, which the parent removes.
std::unique_ptr<platform::TemporaryFolder> MakeRoot(int argc, char** argv) {
    const char* inherited = std::getenv("VEKMONT_HOME");
    for (int i = 1; i < argc && inherited != nullptr; ++i) {
        if (std::strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) {
            std::error_code error;
            if (std::filesystem::is_directory(inherited, error)) {
                return std::make_unique<platform::TemporaryFolder>(kRootPrefix, std::filesystem::path(inherited));
            }
        }
    }
    return std::make_unique<platform::TemporaryFolder>(kRootPrefix);
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<platform::TemporaryFolder> ownRoot = MakeRoot(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    platform::TemporaryFolder& root = *ownRoot;
    testsupport::gRoot = &root;
    setenv("VEKMONT_HOME", root.path().c_str(), 1);
    platform::Paths::setRoot(root.path());
    testsupport::InstallResetsAfterEachTest();
    const int result = RUN_ALL_TESTS();
    testsupport::gRoot = nullptr;
    return result;
}
