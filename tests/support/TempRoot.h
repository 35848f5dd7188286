#pragma once
// The temporary app root of this test process, made by the shared test main
// and removed when the process ends.

#include <filesystem>
#include <string>

namespace testsupport {

const std::filesystem::path& processRoot();

// The path of `name` in the process's root.
inline std::string PathFor(const std::string& name) { return (processRoot() / name).string(); }

}  // namespace testsupport
