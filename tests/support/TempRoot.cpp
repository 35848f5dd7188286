#include "tests/support/TempRoot.h"

#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace testsupport {

TempRoot::TempRoot() : TempRoot(std::filesystem::temp_directory_path()) {}

TempRoot::TempRoot(const std::filesystem::path& parent) {
    std::string pattern = (parent / "vekmont-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    mPath = pattern;
}

TempRoot::~TempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
}

}  // namespace testsupport
