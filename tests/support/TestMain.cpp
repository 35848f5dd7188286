// Test main: every test process gets its own app root, so logs, preferences
// and caches of one test never leak into another.

#include "tests/support/TempRoot.h"

#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace testsupport {

static TempRoot* gRoot = nullptr;

const std::filesystem::path& processRoot() { return gRoot->path(); }

}  // namespace testsupport

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testsupport::TempRoot root;
    testsupport::gRoot = &root;
    setenv("VEKMONT_HOME", root.path().c_str(), 1);
    platform::Paths::setRoot(root.path());
    const int result = RUN_ALL_TESTS();
    testsupport::gRoot = nullptr;
    return result;
}
