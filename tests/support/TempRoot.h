#pragma once
// The temporary app root of this test process, made by the shared test main
// and removed when the process ends.

#include <filesystem>

namespace testsupport {

const std::filesystem::path& processRoot();

}  // namespace testsupport
