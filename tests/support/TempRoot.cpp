#include "tests/support/TempRoot.h"

namespace testsupport {

TempRoot::TempRoot() : TempRoot(std::filesystem::temp_directory_path()) {}

TempRoot::TempRoot(const std::filesystem::path& parent) : mFolder("vekmont-test-", parent) {}

TempRoot::~TempRoot() = default;

}  // namespace testsupport
